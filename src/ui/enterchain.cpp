#include "ui/enterchain.h"

#include "ui/datefield.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

namespace {

bool isEnter(const QKeyEvent* key)
{
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

} // namespace

EnterChain::EnterChain(QObject* parent, Qt::FocusReason reason)
    : QObject(parent)
    , m_reason(reason)
{
}

void EnterChain::chain(const QList<QWidget*>& order)
{
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        link(order.at(i), order.at(i + 1));
}

void EnterChain::link(QWidget* from, QWidget* to)
{
    watch(from, [to] { return to; });
}

void EnterChain::link(QWidget* from, std::function<QWidget*()> to)
{
    watch(from, to);
}

void EnterChain::stop(QWidget* field)
{
    watch(field, [] { return static_cast<QWidget*>(nullptr); });
}

void EnterChain::press(QPushButton* button, Press press)
{
    button->installEventFilter(this);
    m_buttons.insert(button, press);
}

void EnterChain::watch(QWidget* widget, const std::function<QWidget*()>& next)
{
    QList<QWidget*> receivers{widget};
    if (auto* date = qobject_cast<DateField*>(widget))
        receivers = {date->lineEdit()};
    else if (auto* list = qobject_cast<QComboBox*>(widget); list && list->lineEdit())
        receivers << list->lineEdit();
    for (QWidget* receiver : receivers) {
        receiver->installEventFilter(this);
        m_next.insert(receiver, next);
    }
}

bool EnterChain::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || !isEnter(static_cast<QKeyEvent*>(event)))
        return QObject::eventFilter(watched, event);
    const auto next = m_next.constFind(watched);
    if (next != m_next.cend()) {
        if (QWidget* target = (*next)())
            target->setFocus(m_reason);
        return true;
    }
    const auto button = m_buttons.constFind(watched);
    if (button != m_buttons.cend()) {
        const auto modifiers = static_cast<QKeyEvent*>(event)->modifiers() & ~Qt::KeypadModifier;
        if (*button == Press::AnyEnter || modifiers == Qt::NoModifier) {
            static_cast<QPushButton*>(watched)->click();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
