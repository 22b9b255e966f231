#include "stock/stockgridcolumns.h"

#include "store/db/columns.h"
#include "ui/gridcolumnbuilder.h"

namespace {

const QColor kSkyBlue(166, 202, 240);
const QColor kTeal(0, 128, 128);
const QColor kMaroon(128, 0, 0);

} // namespace

// Starting widths are chosen so that prices, totals and dates of a shop's
// ordinary size show whole at the window's designed width.
QList<GridColumn> stockGridColumns()
{
    using F = GridColumn::Format;
    const QColor white(Qt::white);
    return {
        gridColumn(stockcol::name, "商 品 信 息|名 称", F::Text, 90)
            .fitted()
            .titled(kSkyBlue)
            .captioned(QStringLiteral("总计")),
        gridColumn(stockcol::model, "商 品 信 息|规格型号", F::Text, 70).fitted().titled(kSkyBlue),
        gridColumn(stockcol::code, "商 品 信 息|编 码", F::Text, 78).fitted().titled(kSkyBlue),
        gridColumn(stockcol::category, "商 品 信 息|类 别", F::Text, 58).titled(kSkyBlue),
        gridColumn(stockcol::quantityIn, "进 货|数 量", F::Quantity, 52).titled(kTeal, white).summed(),
        gridColumn(stockcol::purchasePrice, "进 货|单 价", F::General, 62).titled(kTeal, white),
        gridColumn(stockcol::purchaseAmount, "进 货|金 额", F::Amount, 88).fitted().titled(kTeal, white).summed(),
        gridColumn(stockcol::soldQuantity, "销 售|数 量", F::Quantity, 52).titled(kSkyBlue).summed(),
        gridColumn(stockcol::salePrice, "销 售|单 价", F::General, 62).titled(kSkyBlue),
        gridColumn(stockcol::salesAmount, "销 售|金 额", F::Amount, 92).fitted().titled(kSkyBlue).summed(),
        gridColumn(stockcol::stockQuantity, "存 货|数 量", F::Quantity, 52).titled(kMaroon, white).summed(),
        gridColumn(stockcol::stockAmount, "存 货|金 额", F::Amount, 88).fitted().titled(kMaroon, white).summed(),
        gridColumn(stockcol::stockInDate, "备 注|入库日期", F::Date, 84).fitted().titled(kSkyBlue),
        gridColumn(stockcol::supplier, "备 注|供货商", F::Text, 66).fitted().titled(kSkyBlue),
        gridColumn(stockcol::remark, "备 注|备 注", F::Text, 56).fitted().titled(kSkyBlue),
    };
}
