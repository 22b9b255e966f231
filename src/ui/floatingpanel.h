#pragma once

#include <QFrame>
#include <QPoint>

class QToolButton;

// A small panel floating over a window's contents (stock-in, sale, slip): a
// raised frame in 宋体 14 px that takes the skin's colours. A press of the left
// button on its background (not on one of its controls) drags it; it stays
// inside the window it floats over.
class FloatingPanel : public QFrame
{
    Q_OBJECT
public:
    explicit FloatingPanel(QWidget* parent = nullptr);

protected:
    // The small close picture at the top right corner; call once the panel has its size.
    QToolButton* addCloseButton();

    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_dragging = false;
    QPoint m_dragOffset;
};
