#include "ui/numberbox.h"

#include "core/numbers.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QWheelEvent>

#include <algorithm>

#include <cmath>

namespace {

// The value the arrows step from: a text that is empty or not a number counts as 0.
long double stepBase(const QString& text)
{
    return num::toDecimal(text).value_or(0.0L);
}

bool keyGetsThrough(int key)
{
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return true;
    switch (key) {
    case Qt::Key_Period:
    case Qt::Key_Backspace:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Delete:
        return true;
    default:
        return false;
    }
}

// Characters the keyboard could not have brought in.
qsizetype otherCharacters(const QString& text)
{
    return std::count_if(text.cbegin(), text.cend(), [](QChar c) { return !(c == u'.' || (c >= u'0' && c <= u'9')); });
}

} // namespace

NumberBox::NumberBox(QWidget* parent)
    : QAbstractSpinBox(parent)
{
    // An input method would commit text without key presses, past the key filter.
    lineEdit()->setAttribute(Qt::WA_InputMethodEnabled, false);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setInputMethodHints(Qt::ImhFormattedNumbersOnly);
    connect(lineEdit(), &QLineEdit::textChanged, this, [this](const QString& text) {
        m_accepted = text;
        update(); // the arrows' enabled state follows the text
        emit textChanged(text);
    });
}

void NumberBox::setText(const QString& text)
{
    m_accepted = text; // the program's text is taken as it is
    lineEdit()->setText(text);
}

QAbstractSpinBox::StepEnabled NumberBox::stepEnabled() const
{
    const long double v = stepBase(text());
    StepEnabled enabled = StepNone;
    if (v < kMaximum)
        enabled |= StepUpEnabled;
    if (v > kMinimum)
        enabled |= StepDownEnabled;
    return enabled;
}

void NumberBox::stepBy(int steps)
{
    if (steps == 0)
        return;
    const long double v = stepBase(text());
    // A step goes to the next whole number in its direction and never leaves 0..100;
    // a box already at (or beyond) the end it moves towards stays as it is.
    if ((steps > 0 && v >= kMaximum) || (steps < 0 && v <= kMinimum))
        return;
    const long double start = steps > 0 ? std::floor(v) : std::ceil(v);
    const long double next = std::clamp(start + static_cast<long double>(steps) * m_step,
                                        static_cast<long double>(kMinimum), static_cast<long double>(kMaximum));
    setText(QString::number(static_cast<int>(next)));
    lineEdit()->selectAll();
}

QValidator::State NumberBox::validate(QString& input, int&) const
{
    // Every edit of the box (typing, pasting, dropping) passes here; a text the
    // program sets does not. An edit may bring in digits and "." only, so
    // pasted "-5" or "1e308" is refused as the same keys would be, while an
    // edit next to what the program put there still works.
    return otherCharacters(input) <= otherCharacters(m_accepted) ? QValidator::Acceptable : QValidator::Invalid;
}

void NumberBox::fixup(QString&) const {}

void NumberBox::keyPressEvent(QKeyEvent* event)
{
    if (!keyGetsThrough(event->key())) {
        event->accept();
        return;
    }
    QAbstractSpinBox::keyPressEvent(event);
}

void NumberBox::wheelEvent(QWheelEvent* event)
{
    // Scrolling over the panel must not change an amount.
    event->ignore();
}
