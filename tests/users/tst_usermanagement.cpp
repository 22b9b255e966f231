#include "keys.h"
#include "recordingport.h"
#include "testdb.h"

#include "store/ops/tdmfm.h"
#include "store/ops/userqueries.h"
#include "users/tchangepassfm.h"
#include "users/tloginfm.h"
#include "users/tuserglfm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QTest>

#include <memory>

namespace {

const QString kSuper = QStringLiteral("超级管理员");
const QString kAdded = QStringLiteral("成功添加新用户！缺省口令是：864,请此用户下次登录时及时修改口令！");

// Logs in through the real login window; true when the password check passed.
bool canLogIn(Tdmfm& dm, const QString& name, const QString& password)
{
    Tloginfm login(dm);
    login.open();
    if (!QTest::qWaitForWindowExposed(&login))
        return false;
    login.userList()->setCurrentText(name);
    typeText(login.passwordBox(), password);
    QTest::mouseClick(login.loginButton(), Qt::LeftButton);
    return login.loggedIn();
}

QStringList listed(const Tuserglfm& w)
{
    QStringList names;
    for (int i = 0; i < w.userList()->count(); ++i)
        names << w.userList()->item(i)->text();
    return names;
}

void clickName(Tuserglfm& w, const QString& name)
{
    const QList<QListWidgetItem*> found = w.userList()->findItems(name, Qt::MatchExactly);
    QVERIFY(!found.isEmpty());
    const QRect r = w.userList()->visualItemRect(found.first());
    QTest::mouseClick(w.userList()->viewport(), Qt::LeftButton, {}, r.center());
}

// The user management window, shown and unlocked with the super administrator's password.
std::unique_ptr<Tuserglfm> unlockedWindow(Tdmfm& dm, RecordingPort& port)
{
    auto w = std::make_unique<Tuserglfm>(dm);
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get()))
        return nullptr;
    typeText(w->passwordBox(), QStringLiteral("864"));
    QTest::keyClick(w->passwordBox(), Qt::Key_Return); // moves to "登录"
    QTest::keyClick(w->loginButton(), Qt::Key_Return);
    if (port.lastText() != QStringLiteral("超级管理员登录成功！"))
        return nullptr;
    port.clear();
    return w;
}

void addByTyping(Tuserglfm& w, const QString& name)
{
    w.tabs()->setCurrentIndex(1);
    w.newNameBox()->clear();
    typeText(w.newNameBox(), name);
    QTest::mouseClick(w.addButton(), Qt::LeftButton);
}

} // namespace

class TestUserManagement : public QObject
{
    Q_OBJECT

private slots:
    void unlocksOnlyWithTheSuperAdministratorsPassword();
    void addResetDeleteThenLogInAsThem();
    void addRefuses_data();
    void addRefuses();
    void deleteRefusesTheSuperAdministratorAndNobody();
    void changePasswordChecks_data();
    void changePasswordChecks();
    void changePasswordWithTheRightOldPassword();
};

void TestUserManagement::unlocksOnlyWithTheSuperAdministratorsPassword()
{
    TestShop shop;
    RecordingPort port;
    // A clerk's password is no key to this window, even the clerk's own "864".
    QVERIFY(userq::logFailedLogin(shop.dm(), QStringLiteral("店员B"), QDateTime(QDate(2026, 3, 15), QTime(8, 59))));
    Tuserglfm w(shop.dm());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(listed(w), QStringList{kSuper});
    QVERIFY(!w.userList()->isEnabled());
    QVERIFY(!w.tabs()->isEnabled());
    QCOMPARE(QApplication::focusWidget(), w.passwordBox());

    typeText(w.passwordBox(), QStringLiteral("865"));
    QTest::mouseClick(w.loginButton(), Qt::LeftButton);
    QCOMPARE(port.lastText(), QStringLiteral("密码不对！"));
    QVERIFY(!w.tabs()->isEnabled());

    w.passwordBox()->clear();
    typeText(w.passwordBox(), QStringLiteral("864"));
    QTest::mouseClick(w.loginButton(), Qt::LeftButton);
    QCOMPARE(port.lastText(), QStringLiteral("超级管理员登录成功！"));
    QVERIFY(w.tabs()->isEnabled());
    QVERIFY(w.userList()->isEnabled());
    QVERIFY(w.passwordBox()->text().isEmpty());
    // The failed logins, for the super administrator only.
    QCOMPARE(w.failureList()->topLevelItemCount(), 1);
    QCOMPARE(w.failureList()->topLevelItem(0)->text(0), QStringLiteral("2026-03-15 08:59:00"));
    QCOMPARE(w.failureList()->topLevelItem(0)->text(1), QStringLiteral("店员B"));

    QTest::keyClick(&w, Qt::Key_Escape);
    QVERIFY(!w.isVisible());
}

void TestUserManagement::addResetDeleteThenLogInAsThem()
{
    TestShop shop;
    RecordingPort port;
    auto w = unlockedWindow(shop.dm(), port);
    QVERIFY(w);

    addByTyping(*w, QStringLiteral("  店员A "));
    QCOMPARE(port.lastText(), kAdded);
    QCOMPARE(listed(*w), (QStringList{kSuper, QStringLiteral("店员A")}));
    QVERIFY(canLogIn(shop.dm(), QStringLiteral("店员A"), QStringLiteral("864")));

    // A forgotten password: the clerk had changed it, the reset brings back 864.
    {
        Tchangepassfm change(shop.dm());
        change.show();
        QVERIFY(QTest::qWaitForWindowExposed(&change));
        change.userList()->setCurrentIndex(change.userList()->findText(QStringLiteral("店员A")));
        typeText(change.oldPasswordBox(), QStringLiteral("864"));
        typeText(change.newPasswordBox(), QStringLiteral("Secret9"));
        typeText(change.repeatBox(), QStringLiteral("Secret9"));
        QTest::mouseClick(change.changeButton(), Qt::LeftButton);
        QCOMPARE(port.lastText(), QStringLiteral("你已经成功修改了密码！下次运行程序时生效！"));
    }
    QVERIFY(!canLogIn(shop.dm(), QStringLiteral("店员A"), QStringLiteral("864")));
    clickName(*w, QStringLiteral("店员A"));
    QCOMPARE(w->resetNameBox()->text(), QStringLiteral("店员A"));
    QCOMPARE(w->deleteNameBox()->text(), QStringLiteral("店员A"));
    w->tabs()->setCurrentIndex(0);
    QTest::mouseClick(w->resetButton(), Qt::LeftButton);
    QCOMPARE(port.lastText(), QStringLiteral("已经成功将密码初始化为：864"));
    QVERIFY(canLogIn(shop.dm(), QStringLiteral("店员A"), QStringLiteral("864")));
    QTest::mouseClick(w->hintButton(), Qt::LeftButton);
    QCOMPARE(port.lastText(), QStringLiteral("初始化口令用于忘记密码的用户，将口令更改为:864"));

    // Declining the question deletes nothing; yes deletes every row of the name.
    w->tabs()->setCurrentIndex(2);
    port.answers = {MessagePort::Answer::Cancel};
    QTest::mouseClick(w->deleteButton(), Qt::LeftButton);
    QCOMPARE(port.lastText(), QStringLiteral("你真的要删除用户：店员A吗?"));
    QCOMPARE(port.entries.last().kind, QStringLiteral("yesno")); // 是 / 否, not OK / Cancel
    QVERIFY(canLogIn(shop.dm(), QStringLiteral("店员A"), QStringLiteral("864")));
    port.answers = {MessagePort::Answer::Ok};
    QTest::mouseClick(w->deleteButton(), Qt::LeftButton);
    QCOMPARE(port.lastText(), QStringLiteral("成功删除！"));
    QVERIFY(w->deleteNameBox()->text().isEmpty());
    QCOMPARE(listed(*w), QStringList{kSuper});
    QVERIFY(!canLogIn(shop.dm(), QStringLiteral("店员A"), QStringLiteral("864")));

    // A name deleted meanwhile is not reported as reset.
    w->resetNameBox()->setText(QStringLiteral("店员A"));
    QTest::mouseClick(w->resetButton(), Qt::LeftButton);
    QVERIFY(port.lastText() != QStringLiteral("已经成功将密码初始化为：864"));
}

void TestUserManagement::addRefuses_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::newRow("blank") << QStringLiteral("   ") << QStringLiteral("请选择用户名！");
    QTest::newRow("second super administrator") << kSuper << QStringLiteral("超级管理员只能有一个，不能增加");
    // Such a second row would stop every login of the first user.
    QTest::newRow("same name") << QStringLiteral("Clerk")
                               << QStringLiteral("用户名“Clerk”已经存在（不分大小写），不能重复增加！");
    QTest::newRow("other letter case") << QStringLiteral("cLERK")
                                       << QStringLiteral("用户名“cLERK”已经存在（不分大小写），不能重复增加！");
}

void TestUserManagement::addRefuses()
{
    QFETCH(QString, name);
    QFETCH(QString, message);
    TestShop shop;
    RecordingPort port;
    auto w = unlockedWindow(shop.dm(), port);
    QVERIFY(w);
    addByTyping(*w, QStringLiteral("Clerk"));
    QCOMPARE(port.lastText(), kAdded);

    addByTyping(*w, name);
    QCOMPARE(port.lastText(), message);
    QCOMPARE(listed(*w), (QStringList{kSuper, QStringLiteral("Clerk")}));
    QVERIFY(canLogIn(shop.dm(), QStringLiteral("Clerk"), QStringLiteral("864")));
}

void TestUserManagement::deleteRefusesTheSuperAdministratorAndNobody()
{
    TestShop shop;
    RecordingPort port;
    auto w = unlockedWindow(shop.dm(), port);
    QVERIFY(w);
    w->tabs()->setCurrentIndex(2);
    QTest::mouseClick(w->deleteButton(), Qt::LeftButton);
    QCOMPARE(port.lastText(), QStringLiteral("请选择用户"));
    clickName(*w, kSuper);
    QTest::mouseClick(w->deleteButton(), Qt::LeftButton);
    QCOMPARE(port.lastText(), QStringLiteral("超级管理员不能删除！"));
    w->tabs()->setCurrentIndex(0);
    w->resetNameBox()->clear();
    QTest::mouseClick(w->resetButton(), Qt::LeftButton);
    QCOMPARE(port.lastText(), QStringLiteral("请选择用户名！"));
    QVERIFY(canLogIn(shop.dm(), kSuper, QStringLiteral("864")));
}

void TestUserManagement::changePasswordChecks_data()
{
    QTest::addColumn<bool>("choose");
    QTest::addColumn<QString>("oldPassword");
    QTest::addColumn<QString>("newPassword");
    QTest::addColumn<QString>("repeated");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus"); // object name of the field that gets the focus
    QTest::newRow("nobody chosen") << false << "864"
                                   << "abc"
                                   << "abc"
                                   << "必须选择操作员！"
                                   << "user";
    QTest::newRow("old missing") << true << ""
                                 << "abc"
                                 << "abc"
                                 << "必须输入旧口令！"
                                 << "old";
    QTest::newRow("new missing") << true << "864"
                                 << ""
                                 << ""
                                 << "新口令长度不能为空！"
                                 << "new";
    QTest::newRow("repeat differs") << true << "864"
                                    << "abc"
                                    << "abd"
                                    << "两次输入的密码不一致！请重新输入！"
                                    << "repeat";
    QTest::newRow("wrong old password") << true << "865"
                                        << "abc"
                                        << "abc"
                                        << "旧口令不正确！"
                                        << "old";
}

void TestUserManagement::changePasswordChecks()
{
    QFETCH(bool, choose);
    QFETCH(QString, oldPassword);
    QFETCH(QString, newPassword);
    QFETCH(QString, repeated);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    TestShop shop;
    RecordingPort port;
    Tchangepassfm w(shop.dm());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.userList()->currentIndex(), -1);
    QVERIFY(w.closeAfterChange()->isChecked());
    w.userList()->setObjectName(QStringLiteral("user"));
    w.oldPasswordBox()->setObjectName(QStringLiteral("old"));
    w.newPasswordBox()->setObjectName(QStringLiteral("new"));
    w.repeatBox()->setObjectName(QStringLiteral("repeat"));
    if (choose)
        w.userList()->setCurrentIndex(w.userList()->findText(kSuper));
    typeText(w.oldPasswordBox(), oldPassword);
    typeText(w.newPasswordBox(), newPassword);
    typeText(w.repeatBox(), repeated);
    QTest::mouseClick(w.changeButton(), Qt::LeftButton);

    QCOMPARE(port.texts(), QStringList{message});
    QVERIFY(w.isVisible());
    QCOMPARE(QApplication::focusWidget()->objectName(), focus);
    // Nothing changed: the old password still opens the program, the new one does not.
    QVERIFY(canLogIn(shop.dm(), kSuper, QStringLiteral("864")));
    if (!newPassword.isEmpty())
        QVERIFY(!canLogIn(shop.dm(), kSuper, newPassword));
}

void TestUserManagement::changePasswordWithTheRightOldPassword()
{
    TestShop shop;
    RecordingPort port;
    auto* w = new Tchangepassfm(shop.dm());
    w->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<Tchangepassfm> alive(w);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    // Keys only: choose, then Enter from field to field up to the button.
    QTest::keyClick(w->userList(), Qt::Key_Down);
    QCOMPARE(w->userList()->currentText(), kSuper);
    w->oldPasswordBox()->setFocus();
    typeText(w->oldPasswordBox(), QStringLiteral("864"));
    QTest::keyClick(w->oldPasswordBox(), Qt::Key_Return);
    typeText(QApplication::focusWidget(), QStringLiteral("New5"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    typeText(QApplication::focusWidget(), QStringLiteral("New5"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), w->changeButton());
    QTest::keyClick(w->changeButton(), Qt::Key_Return);
    QCOMPARE(port.lastText(), QStringLiteral("你已经成功修改了密码！下次运行程序时生效！"));
    QTRY_VERIFY(alive.isNull());                                  // "更改完毕退出" closed and destroyed it
    QVERIFY(canLogIn(shop.dm(), kSuper, QStringLiteral("new5"))); // letter case does not count
    QVERIFY(!canLogIn(shop.dm(), kSuper, QStringLiteral("864")));
}

QTEST_MAIN(TestUserManagement)
#include "tst_usermanagement.moc"
