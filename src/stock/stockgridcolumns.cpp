#include "stock/stockgridcolumns.h"

#include "store/db/columns.h"

namespace {

const QColor kSkyBlue(166, 202, 240);
const QColor kTeal(0, 128, 128);
const QColor kMaroon(128, 0, 0);

GridColumn column(QLatin1StringView field, const char* title, GridColumn::Format format, int width, bool fitted,
                  QColor titleColor, QColor titleText = QColor())
{
    GridColumn c;
    c.field = field;
    c.title = QString::fromUtf8(title);
    c.format = format;
    c.width = width;
    c.fitted = fitted;
    c.titleColor = titleColor;
    c.titleTextColor = titleText;
    if (format == GridColumn::Format::Date)
        c.alignment = Qt::AlignCenter;
    else if (format != GridColumn::Format::Text)
        c.alignment = Qt::AlignRight | Qt::AlignVCenter;
    return c;
}

GridColumn summed(GridColumn c)
{
    c.footer = GridColumn::Footer::Sum;
    c.footerAlignment = Qt::AlignRight | Qt::AlignVCenter;
    return c;
}

} // namespace

// Starting widths are chosen so that prices, totals and dates of a shop's
// ordinary size show whole at the window's designed width.
QList<GridColumn> stockGridColumns()
{
    using F = GridColumn::Format;
    const QColor white(Qt::white);
    GridColumn name = column(stockcol::name, "商 品 信 息|名 称", F::Text, 90, true, kSkyBlue);
    name.footer = GridColumn::Footer::Text;
    name.footerText = QStringLiteral("总计");
    name.footerAlignment = Qt::AlignCenter;
    return {
        name,
        column(stockcol::model, "商 品 信 息|规格型号", F::Text, 70, true, kSkyBlue),
        column(stockcol::code, "商 品 信 息|编 码", F::Text, 78, true, kSkyBlue),
        column(stockcol::category, "商 品 信 息|类 别", F::Text, 58, false, kSkyBlue),
        summed(column(stockcol::quantityIn, "进 货|数 量", F::Quantity, 52, false, kTeal, white)),
        column(stockcol::purchasePrice, "进 货|单 价", F::General, 62, false, kTeal, white),
        summed(column(stockcol::purchaseAmount, "进 货|金 额", F::Amount, 88, true, kTeal, white)),
        summed(column(stockcol::soldQuantity, "销 售|数 量", F::Quantity, 52, false, kSkyBlue)),
        column(stockcol::salePrice, "销 售|单 价", F::General, 62, false, kSkyBlue),
        summed(column(stockcol::salesAmount, "销 售|金 额", F::Amount, 92, true, kSkyBlue)),
        summed(column(stockcol::stockQuantity, "存 货|数 量", F::Quantity, 52, false, kMaroon, white)),
        summed(column(stockcol::stockAmount, "存 货|金 额", F::Amount, 88, true, kMaroon, white)),
        column(stockcol::stockInDate, "备 注|入库日期", F::Date, 84, true, kSkyBlue),
        column(stockcol::supplier, "备 注|供货商", F::Text, 66, true, kSkyBlue),
        column(stockcol::remark, "备 注|备 注", F::Text, 56, true, kSkyBlue),
    };
}
