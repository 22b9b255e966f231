#pragma once

#include <QObject>

class Session;
class Tdmfm;
class Tloginfm;
class QWidget;

// Nobody works before logging in: the gate brings the login window up,
// application-modal and over the middle of the main window, when the main
// window is shown or activated without an open session (activation alone is
// not enough: not every desktop activates a new window), and keeps it there
// while the window manager moves the main window or changes its state.
class LoginGate final : public QObject
{
    Q_OBJECT
public:
    LoginGate(Tdmfm& dm, const Session& session, QWidget* window);

    Tloginfm* dialog() const { return m_login; }
    // Brings the login window up once, unless a session is open or it is on its way.
    void request();
    // Centres the login window over the main window while it is up.
    void follow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // The login window was closed; `loggedIn` after a right password.
    void finished(bool loggedIn);

private:
    void open();

    const Session& m_session;
    QWidget* m_window;
    Tloginfm* m_login;
    bool m_pending = false;
};
