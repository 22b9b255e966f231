#include "ui/datefield.h"

#include "core/numbers.h"
#include "ui/fittingedit.h"

#include <QFocusEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMouseEvent>

#include <algorithm>

namespace {

bool hasDigit(const QString& text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isDigit(); });
}

// A masked edit overwrites from the cursor and ignores typing past its end. On
// its own it puts the cursor on the first blank when entered with Tab or Enter
// (on a filled date: the end) and where the mouse clicked (on an empty date:
// often the end). Selecting the whole date when entered from the keyboard, and
// starting an empty date at its first digit, lets typing always land. Layouts never make the edit narrower than a whole
// date.
class DateEdit final : public FittingEdit
{
public:
    explicit DateEdit(QWidget* parent)
        : FittingEdit(QStringLiteral("0000-00-00"), parent)
    {
    }

protected:
    void focusInEvent(QFocusEvent* event) override
    {
        QLineEdit::focusInEvent(event);
        const Qt::FocusReason reason = event->reason();
        if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason)
            selectAll();
        else if (!hasDigit(displayText()))
            setCursorPosition(0);
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        QLineEdit::mousePressEvent(event);
        if (!hasDigit(displayText()))
            setCursorPosition(0);
    }
};

} // namespace

DateField::DateField(QWidget* parent)
    : QWidget(parent)
    , m_edit(new DateEdit(this))
{
    // Blanks as the mask's fill character, so an empty field reads "    -  -  ".
    m_edit->setInputMask(QStringLiteral("9999-99-99; "));
    m_edit->setText(QString());
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_edit);
    setFocusProxy(m_edit);
    setFocusPolicy(m_edit->focusPolicy());
    setSizePolicy(m_edit->sizePolicy());
    connect(m_edit, &QLineEdit::textChanged, this, [this] {
        // The masked edit reports its text without blanks; report ours, and only real changes.
        const QString now = text();
        if (now == m_lastText)
            return;
        m_lastText = now;
        emit textChanged(now);
    });
}

bool DateField::isEmpty() const
{
    return !hasDigit(m_edit->displayText());
}

QString DateField::text() const
{
    return isEmpty() ? QString() : m_edit->displayText();
}

void DateField::setDate(const QDate& date)
{
    setText(num::dateText(date));
}

void DateField::setText(const QString& text)
{
    m_edit->setText(text);
}

std::optional<QDate> DateField::date() const
{
    return num::parseDate(text());
}

void DateField::clear()
{
    m_edit->setText(QString());
}
