#include "users/logingate.h"

#include "ui/centring.h"
#include "users/session.h"
#include "users/tloginfm.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

LoginGate::LoginGate(Tdmfm& dm, const Session& session, QWidget* window)
    : QObject(window)
    , m_session(session)
    , m_window(window)
    , m_login(new Tloginfm(dm, window))
{
    connect(m_login, &QDialog::finished, this, [this] {
        m_pending = false;
        emit finished(m_login->loggedIn());
    });
    window->installEventFilter(this);
}

bool LoginGate::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window) {
        switch (event->type()) {
        case QEvent::Show:
            if (!event->spontaneous())
                request();
            break;
        case QEvent::WindowActivate:
            request();
            break;
        case QEvent::Move:
        case QEvent::WindowStateChange:
            follow();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void LoginGate::request()
{
    if (m_session.isOpen() || m_pending)
        return;
    m_pending = true;
    QTimer::singleShot(0, this, &LoginGate::open);
}

void LoginGate::open()
{
    if (m_session.isOpen())
        return;
    m_login->setWindowModality(Qt::ApplicationModal);
    m_login->open();
    follow();
}

void LoginGate::follow()
{
    // The window manager may place the main window after the login has been
    // put over it; the login goes with it while it is up.
    if (!m_login->isVisible())
        return;
    centreFrameOn(m_login, m_window->frameGeometry());
}
