#pragma once

#include "ui/datagridmodel.h"

#include <QColor>
#include <QString>

// The one way the grids' column lists are written, a column per line:
//
//   gridColumn(stockcol::quantityIn, "进 货|数 量", Format::Quantity, 52).titled(kTeal, Qt::white).summed()
//
// A new column shows its values as `format` says, aligned by it (texts left,
// dates centred, numbers right), at `width` pixels that do not grow with the
// grid; the steps change what differs.
class GridColumnBuilder
{
public:
    using Format = GridColumn::Format;

    GridColumnBuilder(const QString& field, const char* title, Format format, int width);

    // The column shares the grid's spare width.
    GridColumnBuilder& fitted(bool fitted = true);
    GridColumnBuilder& titled(const QColor& background, const QColor& text = QColor());
    GridColumnBuilder& aligned(Qt::Alignment alignment);
    // The totals row shows the column's sum.
    GridColumnBuilder& summed(Qt::Alignment alignment = Qt::AlignRight | Qt::AlignVCenter);
    // The totals row shows `caption` ("总计", "合计") centred.
    GridColumnBuilder& captioned(const QString& caption);
    GridColumnBuilder& hidden();

    operator GridColumn() const { return m_column; }

private:
    GridColumn m_column;
};

inline GridColumnBuilder gridColumn(const QString& field, const char* title, GridColumn::Format format, int width)
{
    return GridColumnBuilder(field, title, format, width);
}
