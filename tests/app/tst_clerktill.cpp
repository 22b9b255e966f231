// A till that connects to the shop's server with a role of ordinary users
// (tarvik-admin clerk): its ordinary users log in, the super administrator is
// turned away with a reason, and the backup window backs up nothing for an
// ordinary user.
#include "clerkshop.h"
#include "keys.h"
#include "recordingport.h"
#include "testserver.h"

#include "maint/trepair.h"
#include "store/db/passwordhash.h"
#include "store/db/shoplocation.h"
#include "store/ops/tdmfm.h"
#include "users/tloginfm.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kRefusedHere = u"这台电脑连接数据库服务器所用的账号只供普通用户使用，超级管理员不能在这里登录。"_s;

// HOME and the settings in folders of the test's own.
class OwnFolders final
{
public:
    OwnFolders()
        : m_home(qgetenv("HOME"))
        , m_config(qgetenv("XDG_CONFIG_HOME"))
    {
        qputenv("HOME", m_dir.filePath(u"home"_s).toUtf8());
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(u"config"_s).toUtf8());
    }
    ~OwnFolders()
    {
        qputenv("HOME", m_home);
        qputenv("XDG_CONFIG_HOME", m_config);
    }
    QString path(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QByteArray m_home, m_config;
};

// Logs in through the window as a person does; whether it let the user in.
bool logIn(Tloginfm& login, const QString& user, const QString& password)
{
    login.open();
    if (!QTest::qWaitForWindowExposed(&login))
        return false;
    login.userList()->lineEdit()->selectAll();
    QTest::keyClick(login.userList(), Qt::Key_Backspace);
    typeText(login.userList(), user);
    typeText(login.passwordBox(), password);
    QTest::mouseClick(login.loginButton(), Qt::LeftButton);
    return login.loggedIn();
}

} // namespace

class TestClerkTill : public QObject
{
    Q_OBJECT

    QString m_server;

private slots:
    void initTestCase() { TARVIK_REQUIRE_TEST_SERVER(m_server); }

    void superAdministratorTurnedAwayOnAnOrdinaryTill()
    {
        OwnFolders folders;
        ClerkShop shop(m_server);
        QVERIFY2(shop.isValid(), qPrintable(shop.error()));
        Tdmfm owner;
        QVERIFY(owner.open(ShopLocation::server(shop.ownerConnInfo())).ok());
        QVERIFY(owner.appendRow(u"userdb"_s, {{u"username"_s, u"店员"_s}, {u"passwd"_s, hashPassword(u"Ab1"_s)}}));

        Tdmfm till;
        QVERIFY(till.open(ShopLocation::server(shop.clerkConnInfo())).ok());
        RecordingPort port;
        {
            Tloginfm login(till);
            QVERIFY(!logIn(login, u"超级管理员"_s, u"864"_s));
            QCOMPARE(port.lastText(), kRefusedHere);
            QVERIFY(login.isVisible());
            QVERIFY(login.passwordBox()->text().isEmpty());
        }
        {
            Tloginfm login(till);
            QVERIFY(logIn(login, u"店员"_s, u"Ab1"_s));
        }
        // The shop owner's till lets the super administrator in.
        {
            Tloginfm login(owner);
            QVERIFY(logIn(login, u"超级管理员"_s, u"864"_s));
        }
        QCOMPARE(port.texts().count(kRefusedHere), 1);
    }

    void backupOfAServerShopIsTheSuperAdministrators()
    {
        OwnFolders folders;
        ClerkShop shop(m_server);
        QVERIFY2(shop.isValid(), qPrintable(shop.error()));
        Tdmfm till;
        QVERIFY(till.open(ShopLocation::server(shop.clerkConnInfo())).ok());
        RecordingPort port;
        Trepair window(till, false);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QString target = folders.path(u"shop.backup"_s);
        window.backupPathBox()->selectAll();
        QTest::keyClick(window.backupPathBox(), Qt::Key_Backspace);
        typeText(window.backupPathBox(), target);
        QTest::mouseClick(window.backupButton(), Qt::LeftButton);
        QCOMPARE(port.lastText(), u"服务器上的店铺数据库只有超级管理员才能备份，请让超级管理员登录后再备份。"_s);
        QVERIFY(!QFileInfo::exists(target));
    }
};

QTEST_MAIN(TestClerkTill)
#include "tst_clerktill.moc"
