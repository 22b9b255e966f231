#include "keys.h"
#include "login.h"
#include "recordingport.h"
#include "testdb.h"

#include "app/tmainform.h"
#include "maint/trepair.h"
#include "store/db/passwordhash.h"
#include "store/ops/tdmfm.h"
#include "users/tchangepassfm.h"
#include "users/tloginfm.h"
#include "users/tuserglfm.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace {

template <class W> QList<W*> openWindows()
{
    QList<W*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<W*>(w); window && window->isVisible())
            found << window;
    return found;
}

QStringList captions(const QMenu* menu)
{
    QStringList out;
    for (const QAction* a : menu->actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

} // namespace

class TestAdminWindows : public QObject
{
    Q_OBJECT

private slots:
    void settingsItemsForTheSuperAdministratorOnly_data();
    void settingsItemsForTheSuperAdministratorOnly();
    void backupHidesTheMainWindowAndRestoreShowsTheRestoredFile();
};

void TestAdminWindows::settingsItemsForTheSuperAdministratorOnly_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("super");
    QTest::newRow("super administrator") << QStringLiteral("超级管理员") << QStringLiteral("864") << true;
    QTest::newRow("clerk") << QStringLiteral("店员") << QStringLiteral("a1") << false;
}

void TestAdminWindows::settingsItemsForTheSuperAdministratorOnly()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, super);
    TestShop shop;
    RecordingPort port;
    QVERIFY(shop.dm().appendRow(QStringLiteral("userdb"),
                                {{QStringLiteral("username"), QStringLiteral("店员")},
                                 {QStringLiteral("passwd"), hashPassword(QStringLiteral("a1"))}}));
    TMainForm main(shop.dm());
    QVERIFY(logIn(main, user, password));

    QCOMPARE(captions(main.settingsMenu()),
             (QStringList{QStringLiteral("打印设置"), QStringLiteral("修改密码"), QStringLiteral("用户管理"),
                          QStringLiteral("-"), QStringLiteral("界面换肤"), QStringLiteral("计算器"),
                          QStringLiteral("记事本")}));
    for (const char* caption : {"修改密码", "用户管理"}) {
        QAction* a = main.action(QString::fromUtf8(caption));
        QVERIFY2(a && a->isVisible() == super && a->isEnabled() == super, caption);
    }
    if (super) {
        // Opened once: a second request brings the open window back.
        for (int i = 0; i < 2; ++i) {
            main.action(QStringLiteral("用户管理"))->trigger();
            main.action(QStringLiteral("修改密码"))->trigger();
        }
        QCOMPARE(openWindows<Tuserglfm>().size(), 1);
        QCOMPARE(openWindows<Tchangepassfm>().size(), 1);
        QPointer<Tuserglfm> users(openWindows<Tuserglfm>().at(0));
        QCOMPARE(users->parentWidget(), &main);
        users->close();
        QTRY_VERIFY(users.isNull());
        openWindows<Tchangepassfm>().at(0)->close();
    }

    // Backup is for everyone; restore only for the super administrator.
    QVERIFY(main.backupButton()->isVisible());
    QTest::mouseClick(main.backupButton(), Qt::LeftButton);
    QTRY_COMPARE(openWindows<Trepair>().size(), 1);
    Trepair* backup = openWindows<Trepair>().at(0);
    QVERIFY(!main.isVisible());
    QCOMPARE(backup->restorePanel()->isVisible(), super);
    backup->close();
    QVERIFY(main.isVisible());
    QTRY_VERIFY(openWindows<Trepair>().isEmpty());
}

void TestAdminWindows::backupHidesTheMainWindowAndRestoreShowsTheRestoredFile()
{
    TestShop shop;
    RecordingPort port;
    shop.addStock(QStringLiteral("乒乓球"), QStringLiteral("三星"), QStringLiteral("690010"), QStringLiteral("球类"), 2,
                  100, 4);
    TMainForm main(shop.dm());
    QVERIFY(logIn(main));
    QCOMPARE(shop.dm().stock().list().rowCount(), 1);

    QTest::mouseClick(main.backupButton(), Qt::LeftButton);
    QTRY_COMPARE(openWindows<Trepair>().size(), 1);
    Trepair* backup = openWindows<Trepair>().at(0);
    QVERIFY(!main.isVisible());
    const QString backupFile = QDir(shop.folder()).filePath(QStringLiteral("b.mdb"));
    backup->backupPathBox()->setText(backupFile);
    QTest::mouseClick(backup->backupButton(), Qt::LeftButton);
    QCOMPARE(port.lastText(), QStringLiteral("数据库备份成功！"));
    backup->close();
    QVERIFY(main.isVisible());

    // A second row after the backup, then the backup restored: the list shows the one row again.
    shop.addStock(QStringLiteral("球网"), QString(), QStringLiteral("690011"), QStringLiteral("球类"), 20, 5, 35);
    main.reloadStockList();
    QCOMPARE(shop.dm().stock().list().rowCount(), 2);
    QTest::mouseClick(main.backupButton(), Qt::LeftButton);
    QTRY_COMPARE(openWindows<Trepair>().size(), 1);
    backup = openWindows<Trepair>().at(0);
    backup->restoreSourceBox()->setText(backupFile);
    QTest::mouseClick(backup->restoreButton(), Qt::LeftButton);
    QVERIFY2(port.lastText().startsWith(QStringLiteral("数据库恢复成功！")), qPrintable(port.lastText()));
    backup->close();
    QVERIFY(main.isVisible());
    QCOMPARE(shop.dm().stock().list().rowCount(), 1);
    QCOMPARE(shop.dm().stock().list().value(0, QStringLiteral("a")).toString(), QStringLiteral("乒乓球"));
    QVERIFY(main.sessionId() > 0); // the login is not asked again
    QVERIFY(!main.loginWindow()->isVisible());
}

QTEST_MAIN(TestAdminWindows)
#include "tst_adminwindows.moc"
