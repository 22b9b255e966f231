#pragma once

#include <QHash>
#include <QList>
#include <QObject>

#include <functional>

class QPushButton;
class QWidget;

// Enter in a field moves the focus on to the next field, the way the shop's
// windows are worked from the keyboard; Enter on a button of the chain presses
// it. One chain per window or panel, made after its widgets:
//
//   auto* enter = new EnterChain(this, Qt::OtherFocusReason);
//   enter->chain({m_old, m_new, m_repeat, m_change});
//   enter->press(m_change);
//
// Keys reach the widget that holds the focus: for a DateField that is its inner
// edit, for an editable list both the list and its edit; the chain watches
// those. An Enter the chain handles goes no further.
class EnterChain final : public QObject
{
public:
    // Whether a button is pressed by Enter with any modifier held, or only by
    // Enter alone (the keypad's Enter counts as alone).
    enum class Press { AnyEnter, PlainEnter };

    // The focus moves with `reason`: Qt::TabFocusReason selects the text of
    // the field reached, as Tab does; Qt::OtherFocusReason leaves it as it is.
    EnterChain(QObject* parent, Qt::FocusReason reason);

    // Enter in each widget of `order` but the last moves the focus to the next.
    void chain(const QList<QWidget*>& order);
    // Enter in `from` moves the focus to `to`.
    void link(QWidget* from, QWidget* to);
    // Enter in `from` moves the focus to what `to` returns when Enter is
    // pressed; nothing moves when it returns nullptr. Enter is taken either way.
    void link(QWidget* from, std::function<QWidget*()> to);
    // Enter in `field` does nothing.
    void stop(QWidget* field);
    // Enter on `button` while it has the focus presses it, as the space bar does.
    void press(QPushButton* button, Press press = Press::AnyEnter);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watch(QWidget* widget, const std::function<QWidget*()>& next);

    Qt::FocusReason m_reason;
    QHash<QObject*, std::function<QWidget*()>> m_next;
    QHash<QObject*, Press> m_buttons;
};
