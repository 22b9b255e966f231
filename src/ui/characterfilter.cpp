#include "ui/characterfilter.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QValidator>

CharacterFilter::CharacterFilter(Predicate allowed, QObject* parent)
    : QObject(parent)
    , m_allowed(allowed)
{
}

namespace {
// Refuses any text, however it arrived, with a character the predicate does not allow.
class CharacterValidator final : public QValidator
{
public:
    CharacterValidator(CharacterFilter::Predicate allowed, QObject* parent)
        : QValidator(parent)
        , m_allowed(allowed)
    {
    }
    State validate(QString& input, int&) const override
    {
        for (QChar c : std::as_const(input))
            if (!m_allowed(c))
                return Invalid;
        return Acceptable;
    }

private:
    CharacterFilter::Predicate m_allowed;
};
} // namespace

void CharacterFilter::install(QLineEdit* box, Predicate allowed)
{
    box->installEventFilter(new CharacterFilter(allowed, box));
    box->setValidator(new CharacterValidator(allowed, box));
}

bool CharacterFilter::accepts(const QString& text, Predicate allowed)
{
    for (QChar c : text) {
        const bool control = c.unicode() < 0x20 || c.unicode() == 0x7f;
        if (!control && !allowed(c))
            return false;
    }
    return true;
}

bool CharacterFilter::isAsciiDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

bool CharacterFilter::isAsciiLetterOrDigit(QChar c)
{
    const char16_t u = c.unicode();
    return isAsciiDigit(c) || (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z');
}

bool CharacterFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && !accepts(static_cast<QKeyEvent*>(event)->text(), m_allowed))
        return true;
    if (event->type() == QEvent::InputMethod &&
        !accepts(static_cast<QInputMethodEvent*>(event)->commitString(), m_allowed))
        return true;
    return QObject::eventFilter(watched, event);
}
