#pragma once

#include <QFrame>
#include <QPoint>

// A small panel floating over a window's contents (stock-in, sale, slip). A
// press of the left button on its background (not on one of its controls)
// drags it; it stays inside the window it floats over.
class FloatingPanel : public QFrame
{
    Q_OBJECT
public:
    explicit FloatingPanel(QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_dragging = false;
    QPoint m_dragOffset;
};
