#include "ui/gridcolumnbuilder.h"

GridColumnBuilder::GridColumnBuilder(const QString& field, const char* title, Format format, int width)
{
    m_column.field = field;
    m_column.title = QString::fromUtf8(title);
    m_column.format = format;
    m_column.width = width;
    if (format == Format::Date)
        m_column.alignment = Qt::AlignCenter;
    else if (format != Format::Text)
        m_column.alignment = Qt::AlignRight | Qt::AlignVCenter;
}

GridColumnBuilder& GridColumnBuilder::fitted(bool fitted)
{
    m_column.fitted = fitted;
    return *this;
}

GridColumnBuilder& GridColumnBuilder::titled(const QColor& background, const QColor& text)
{
    m_column.titleColor = background;
    m_column.titleTextColor = text;
    return *this;
}

GridColumnBuilder& GridColumnBuilder::aligned(Qt::Alignment alignment)
{
    m_column.alignment = alignment;
    return *this;
}

GridColumnBuilder& GridColumnBuilder::summed(Qt::Alignment alignment)
{
    m_column.footer = GridColumn::Footer::Sum;
    m_column.footerAlignment = alignment;
    return *this;
}

GridColumnBuilder& GridColumnBuilder::captioned(const QString& caption)
{
    m_column.footer = GridColumn::Footer::Text;
    m_column.footerText = caption;
    m_column.footerAlignment = Qt::AlignCenter;
    return *this;
}

GridColumnBuilder& GridColumnBuilder::hidden()
{
    m_column.visible = false;
    return *this;
}
