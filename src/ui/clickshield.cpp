#include "ui/clickshield.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTimer>

namespace {

// Room beyond the double-click interval for a slow second press.
constexpr int kExtraMs = 250;

} // namespace

ClickShield::ClickShield(QObject* parent)
    : QObject(parent)
{
}

void ClickShield::guard(QWidget* panel)
{
    m_panel = panel;
    m_rect = QRect(panel->mapToGlobal(QPoint(0, 0)), panel->size());
    m_durationMs = QApplication::doubleClickInterval() + kExtraMs;
    m_since.start();
    if (!m_installed) {
        qApp->installEventFilter(this);
        m_installed = true;
    }
    QTimer::singleShot(m_durationMs, this, [this] {
        if (!isGuarding())
            release();
    });
}

bool ClickShield::isGuarding() const
{
    return m_installed && m_since.isValid() && m_since.elapsed() < m_durationMs;
}

void ClickShield::release()
{
    if (m_installed) {
        qApp->removeEventFilter(this);
        m_installed = false;
    }
}

bool ClickShield::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        if (!isGuarding()) {
            release();
            break;
        }
        // A press reaches the filter first for the window, then for the widget
        // under it; both carry the same screen position.
        if (m_rect.contains(static_cast<QMouseEvent*>(event)->globalPosition().toPoint())) {
            auto* widget = qobject_cast<QWidget*>(watched);
            const bool forPanel = m_panel && widget && (widget == m_panel || m_panel->isAncestorOf(widget));
            if (!forPanel)
                return true;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
