#include "ui/centring.h"

#include <QApplication>
#include <QEvent>
#include <QRect>
#include <QScreen>
#include <QWidget>

namespace {

class FirstShowCentring final : public QObject
{
public:
    explicit FirstShowCentring(QWidget* window)
        : QObject(window)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched == parent()) {
            if (QScreen* screen = QApplication::primaryScreen())
                centreFrameOn(static_cast<QWidget*>(watched), screen->availableGeometry());
            watched->removeEventFilter(this);
            deleteLater();
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void centreFrameOn(QWidget* window, const QRect& area)
{
    QRect frame = window->frameGeometry();
    frame.moveCenter(area.center());
    window->move(frame.topLeft());
}

void centreOnFirstShow(QWidget* window)
{
    new FirstShowCentring(window);
}
