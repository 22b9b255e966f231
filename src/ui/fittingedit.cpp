#include "ui/fittingedit.h"

#include <QStyle>
#include <QStyleOptionFrame>

#include <algorithm>

FittingEdit::FittingEdit(const QString& sample, QWidget* parent)
    : QLineEdit(parent)
    , m_sample(sample)
{
}

QSize FittingEdit::minimumSizeHint() const
{
    ensurePolished();
    const QMargins margins = textMargins();
    // QLineEdit keeps two pixels free on either side of its text; one more
    // leaves the cursor room behind the last character.
    const int text = fontMetrics().horizontalAdvance(m_sample) + 2 * 2 + 1 + margins.left() + margins.right();
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QSize base = QLineEdit::minimumSizeHint();
    const int width = style()->sizeFromContents(QStyle::CT_LineEdit, &option, QSize(text, base.height()), this).width();
    return {std::max(width, base.width()), base.height()};
}
