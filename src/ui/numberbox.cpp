#include "ui/numberbox.h"

#include "core/numbers.h"

#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QScopedValueRollback>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// The value the arrows step from: a text that is empty or not a number counts as 0.
long double stepBase(const QString& text)
{
    return num::toDecimal(text).value_or(0.0L);
}

bool isTypable(QChar c)
{
    return c == u'.' || (c >= u'0' && c <= u'9');
}

bool keyGetsThrough(const QKeyEvent* event)
{
    // Editing shortcuts: a paste is held to the key rule by validate().
    if (event->matches(QKeySequence::SelectAll) || event->matches(QKeySequence::Paste) ||
        event->matches(QKeySequence::Copy) || event->matches(QKeySequence::Cut))
        return true;
    const int key = event->key();
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return true;
    switch (key) {
    case Qt::Key_Period:
    case Qt::Key_Backspace:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Delete:
        return true;
    default:
        return false; // Up, Down, Page Up and Page Down among them: they would step
    }
}

} // namespace

NumberBox::NumberBox(QWidget* parent)
    : QAbstractSpinBox(parent)
{
    // An input method would commit text without key presses, past the key filter.
    lineEdit()->setAttribute(Qt::WA_InputMethodEnabled, false);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setInputMethodHints(Qt::ImhFormattedNumbersOnly);
    lineEdit()->installEventFilter(this);
    connect(lineEdit(), &QLineEdit::textChanged, this, [this](const QString& text) {
        m_accepted = text;
        update(); // the arrows' enabled state follows the text
        emit textChanged(text);
    });
    connect(lineEdit(), &QLineEdit::returnPressed, this, &NumberBox::returnPressed);
}

void NumberBox::setText(const QString& text)
{
    m_accepted = text; // the program's text is taken as it is
    lineEdit()->setText(text);
}

QAbstractSpinBox::StepEnabled NumberBox::stepEnabled() const
{
    if (buttonSymbols() == NoButtons)
        return StepNone;
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
    if (steps == 0 || !m_arrowHeld || buttonSymbols() == NoButtons)
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
    // program sets does not. The edit is what lies between the part the old and
    // the new text begin with and the part they end with: that is what replaced
    // the selection (or nothing, at the cursor). It may be digits and "." only,
    // so pasted "-5", "3e3" or "1e308" is refused as the same keys would be,
    // while an edit next to a "-" the program put there still works.
    const QString& before = m_accepted;
    const qsizetype shorter = std::min(input.size(), before.size());
    qsizetype head = 0;
    while (head < shorter && input.at(head) == before.at(head))
        ++head;
    qsizetype tail = 0;
    while (tail < shorter - head && input.at(input.size() - 1 - tail) == before.at(before.size() - 1 - tail))
        ++tail;
    const QStringView inserted = QStringView(input).sliced(head, input.size() - head - tail);
    return std::all_of(inserted.cbegin(), inserted.cend(), isTypable) ? QValidator::Acceptable : QValidator::Invalid;
}

void NumberBox::fixup(QString&) const {}

bool NumberBox::eventFilter(QObject* watched, QEvent* event)
{
    // The press that brought the focus would put the cursor where it landed and
    // undo the selection; it, its moves and its release are kept from the line edit.
    if (watched == lineEdit()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (std::exchange(m_focusByClick, false) && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                m_keepSelection = true;
                selectAll();
                return true;
            }
            break;
        case QEvent::MouseMove:
            if (m_keepSelection)
                return true;
            break;
        case QEvent::MouseButtonRelease:
            if (std::exchange(m_keepSelection, false))
                return true;
            break;
        default:
            break;
        }
    }
    return QAbstractSpinBox::eventFilter(watched, event);
}

void NumberBox::keyPressEvent(QKeyEvent* event)
{
    // Escape belongs to the window the box is in (closing a panel or itself).
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    if (!keyGetsThrough(event)) {
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

void NumberBox::mousePressEvent(QMouseEvent* event)
{
    // Reaches the box itself only off the line edit: on the arrow buttons.
    m_focusByClick = false;
    const QScopedValueRollback arrow(m_arrowHeld, true);
    QAbstractSpinBox::mousePressEvent(event);
}

void NumberBox::timerEvent(QTimerEvent* event)
{
    // The auto-repeat of an arrow button held down.
    const QScopedValueRollback arrow(m_arrowHeld, true);
    QAbstractSpinBox::timerEvent(event);
}

void NumberBox::focusInEvent(QFocusEvent* event)
{
    QAbstractSpinBox::focusInEvent(event);
    switch (event->reason()) {
    case Qt::MouseFocusReason:
        // The press that gave the focus is delivered right after this, in the
        // same turn of the event loop; later presses place the cursor.
        m_focusByClick = true;
        QTimer::singleShot(0, this, [this] { m_focusByClick = false; });
        selectAll();
        break;
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
    case Qt::OtherFocusReason:
        selectAll();
        break;
    default:
        break; // back from a menu or another window: the selection stays as it was
    }
}

void NumberBox::focusOutEvent(QFocusEvent* event)
{
    m_focusByClick = false;
    m_keepSelection = false;
    QAbstractSpinBox::focusOutEvent(event);
}

void NumberBox::contextMenuEvent(QContextMenuEvent* event)
{
    // The line edit's own menu (its paste goes through validate()), without the
    // spin box's step entries.
    const QPointer<QMenu> menu = lineEdit()->createStandardContextMenu();
    if (!menu)
        return;
    const QPoint at = event->reason() == QContextMenuEvent::Mouse ? event->globalPos() : mapToGlobal(rect().center());
    menu->exec(at);
    delete menu.data();
    event->accept();
}
