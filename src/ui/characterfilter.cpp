#include "ui/characterfilter.h"

#include <QInputMethodEvent>
#include <QKeyEvent>

CharacterFilter::CharacterFilter(Predicate allowed, QObject* parent)
    : QObject(parent)
    , m_allowed(allowed)
{
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
