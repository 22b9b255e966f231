#pragma once

#include <QString>
#include <QTest>

// Brings up the main window and logs in through its real login window: a name
// picked, the password typed key by key, "登 录" clicked. True once the login
// window is gone and a session runs; the tables may still be being read in
// the background. A template so that the support library stays below the
// window libraries; each test program instantiates it with the main window it
// links.
template <typename MainWindow>
bool logInWithoutWaiting(MainWindow& main, const QString& user = QStringLiteral("超级管理员"),
                         const QString& password = QStringLiteral("864"))
{
    main.show();
    if (!QTest::qWaitForWindowExposed(&main))
        return false;
    auto* login = main.loginWindow();
    if (!QTest::qWaitFor([&] { return login->isVisible(); }, 5000))
        return false;
    login->userList()->setCurrentText(user);
    QTest::keyClicks(login->passwordBox(), password);
    QTest::mouseClick(login->loginButton(), Qt::LeftButton);
    return QTest::qWaitFor([&] { return !login->isVisible() && main.sessionId() > 0; }, 5000);
}

// The same, and true once the tables read in the background are in too (the
// stock list shows its rows).
template <typename MainWindow>
bool logIn(MainWindow& main, const QString& user = QStringLiteral("超级管理员"),
           const QString& password = QStringLiteral("864"))
{
    return logInWithoutWaiting(main, user, password) &&
           QTest::qWaitFor([&] { return !main.isLoadingInBackground(); }, 10000);
}
