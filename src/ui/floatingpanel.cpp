#include "ui/floatingpanel.h"

#include <QFont>
#include <QMouseEvent>
#include <QStyle>
#include <QToolButton>

#include <algorithm>

FloatingPanel::FloatingPanel(QWidget* parent)
    : QFrame(parent)
{
    setProperty("floatingPanel", true); // the skins colour panels by this
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(2);
    setAutoFillBackground(true);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(14);
    setFont(font);
    // The background is the handle the panel is dragged by.
    setCursor(Qt::SizeAllCursor);
}

QToolButton* FloatingPanel::addCloseButton()
{
    auto* close = new QToolButton(this);
    close->setObjectName(QStringLiteral("closeButton"));
    close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    close->setAutoRaise(true);
    close->setFocusPolicy(Qt::NoFocus);
    close->setCursor(Qt::ArrowCursor);
    close->setGeometry(width() - 22, 4, 18, 18);
    return close;
}

void FloatingPanel::mousePressEvent(QMouseEvent* event)
{
    // Presses on the controls never get here; the background and the labels do.
    if (event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_dragOffset = event->position().toPoint();
        event->accept();
        return;
    }
    QFrame::mousePressEvent(event);
}

void FloatingPanel::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragging || !(event->buttons() & Qt::LeftButton)) {
        QFrame::mouseMoveEvent(event);
        return;
    }
    QPoint to = mapToParent(event->position().toPoint()) - m_dragOffset;
    if (const QWidget* host = parentWidget()) {
        to.setX(std::clamp(to.x(), 0, std::max(0, host->width() - width())));
        to.setY(std::clamp(to.y(), 0, std::max(0, host->height() - height())));
    }
    move(to);
    event->accept();
}

void FloatingPanel::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_dragging && event->button() == Qt::LeftButton) {
        m_dragging = false;
        event->accept();
        return;
    }
    QFrame::mouseReleaseEvent(event);
}
