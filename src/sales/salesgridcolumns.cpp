#include "sales/salesgridcolumns.h"

#include "store/db/columns.h"
#include "ui/gridcolumnbuilder.h"

namespace {

const QColor kSkyBlue(166, 202, 240);

// Every column shares the grid's spare width but the date: its texts have one
// length, so it keeps its width when the grid fits.
GridColumnBuilder salesColumn(QLatin1StringView field, const char* title, GridColumn::Format format, int width)
{
    return gridColumn(field, title, format, width).fitted().titled(kSkyBlue);
}

} // namespace

QList<GridColumn> salesGridColumns()
{
    using F = GridColumn::Format;
    return {
        salesColumn(salecol::name, "商 品 信 息| 名 称", F::Text, 90).captioned(QStringLiteral("合计")),
        salesColumn(salecol::model, "商 品 信 息|规格型号", F::Text, 70),
        salesColumn(salecol::code, "商 品 信 息| 编 码", F::Text, 80),
        salesColumn(salecol::category, "商 品 信 息|类 别", F::Text, 56),
        salesColumn(salecol::price, "销 售 信 息|单 价", F::General, 56),
        salesColumn(salecol::quantity, "销 售 信 息|数 量", F::Quantity, 52).summed(),
        salesColumn(salecol::amount, "销 售 信 息|金 额", F::Amount, 72).summed(),
        salesColumn(salecol::saleDate, "销 售 信 息|日 期", F::Date, 86).fitted(false),
        salesColumn(salecol::owed, "销 售 信 息|欠款额", F::Amount, 60).summed(),
        salesColumn(salecol::profit, "销 售 信 息|净利润", F::General, 64).summed(),
        salesColumn(salecol::saleNumber, "销 售 信 息|单 号", F::Text, 96).aligned(Qt::AlignCenter).hidden(),
        salesColumn(salecol::customer, "客 户|名 称", F::Text, 70),
        salesColumn(salecol::contact, "客 户|联系方式", F::Text, 80),
        salesColumn(salecol::address, "客 户|地 址", F::Text, 90),
        salesColumn(salecol::customerRemark, "客 户|备 注", F::Text, 60),
    };
}
