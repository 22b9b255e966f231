// Tloginfm is the login window "用户登录"; the shop's documents fix the name (docs/names.md).
#pragma once

#include <QDateTime>
#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class Tdmfm;

// The login window "用户登录". It checks a user name and password against the
// users table and closes accepted on success; closing it any other way rejects
// it, and the caller ends the program. What a login starts in the main window
// (stock list, layout, restrictions, the login log) is the caller's work, done
// after the dialog has returned.
//
// Every failed try is recorded; after a few for one name, the button waits
// before the next try of that name ("请稍候 N 秒"), longer after each further
// failure. The failures are kept in the database, so a restart does not end
// the wait.
class Tloginfm final : public QDialog
{
    Q_OBJECT
public:
    explicit Tloginfm(Tdmfm& dm, QWidget* parent = nullptr);

    // True once the password check has succeeded in the latest showing.
    bool loggedIn() const { return m_loggedIn; }
    // The user name exactly as it was typed or chosen at the successful login;
    // empty before.
    QString userName() const { return m_userName; }
    // The logged-in user is the one who has every right.
    bool isSuperAdministrator() const;

    QComboBox* userList() const { return m_user; }
    QLineEdit* passwordBox() const { return m_password; }
    QPushButton* loginButton() const { return m_login; }
    // Names the server database the window logs in to; hidden on a shop file.
    QLabel* shopLabel() const { return m_shop; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    // "登 录"
    void onLoginClicked();
    // A name chosen from the list.
    void onUserChosen();

private:
    // Each showing starts a new login: desktop shortcut, fresh user list,
    // focus on the first name.
    void prepare();
    // Reads the failures of the name shown and holds the button until the
    // wait they earn is over. False when a wait is running.
    bool checkWait();
    void showWait();

    Tdmfm& m_dm;
    QComboBox* m_user;
    QLineEdit* m_password;
    QLabel* m_hint;
    QLabel* m_shop;
    QPushButton* m_login;
    QTimer* m_waitTimer;
    QDateTime m_waitUntil;
    bool m_loggedIn = false;
    QString m_userName;
};
