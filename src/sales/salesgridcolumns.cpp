#include "sales/salesgridcolumns.h"

#include "store/db/columns.h"

namespace {

const QColor kSkyBlue(166, 202, 240);

GridColumn column(QLatin1StringView field, const char* title, GridColumn::Format format, int width,
                  Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter)
{
    GridColumn c;
    c.field = field;
    c.title = QString::fromUtf8(title);
    c.format = format;
    c.width = width;
    c.fitted = true;
    c.titleColor = kSkyBlue;
    c.alignment = alignment;
    return c;
}

// A column whose texts have one length (dates) keeps its width when the grid fits.
GridColumn fixedWidth(GridColumn c)
{
    c.fitted = false;
    return c;
}

GridColumn summed(GridColumn c)
{
    c.footer = GridColumn::Footer::Sum;
    c.footerAlignment = Qt::AlignRight | Qt::AlignVCenter;
    return c;
}

} // namespace

QList<GridColumn> salesGridColumns()
{
    using F = GridColumn::Format;
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    GridColumn name = column(salecol::name, "商 品 信 息| 名 称", F::Text, 90);
    name.footer = GridColumn::Footer::Text;
    name.footerText = QStringLiteral("合计");
    name.footerAlignment = Qt::AlignCenter;
    GridColumn number = column(salecol::saleNumber, "销 售 信 息|单 号", F::Text, 96, Qt::AlignCenter);
    number.visible = false;
    return {
        name,
        column(salecol::model, "商 品 信 息|规格型号", F::Text, 70),
        column(salecol::code, "商 品 信 息| 编 码", F::Text, 80),
        column(salecol::category, "商 品 信 息|类 别", F::Text, 56),
        column(salecol::price, "销 售 信 息|单 价", F::General, 56, right),
        summed(column(salecol::quantity, "销 售 信 息|数 量", F::Quantity, 52, right)),
        summed(column(salecol::amount, "销 售 信 息|金 额", F::Amount, 72, right)),
        fixedWidth(column(salecol::saleDate, "销 售 信 息|日 期", F::Date, 86, Qt::AlignCenter)),
        summed(column(salecol::owed, "销 售 信 息|欠款额", F::Amount, 60, right)),
        summed(column(salecol::profit, "销 售 信 息|净利润", F::General, 64, right)),
        number,
        column(salecol::customer, "客 户|名 称", F::Text, 70),
        column(salecol::contact, "客 户|联系方式", F::Text, 80),
        column(salecol::address, "客 户|地 址", F::Text, 90),
        column(salecol::customerRemark, "客 户|备 注", F::Text, 60),
    };
}
