// A till that connects to the shop's server with a role of ordinary users
// (tarvik-admin clerk): its ordinary users log in, the super administrator is
// turned away with a reason, and the backup window backs up nothing for an
// ordinary user.
#include "clerkshop.h"
#include "keys.h"
#include "recordingport.h"
#include "testserver.h"

#include "app/tmainform.h"
#include "login.h"
#include "maint/trepair.h"
#include "pos/salepanel.h"
#include "sales/tform1.h"
#include "store/db/columns.h"
#include "store/db/passwordhash.h"
#include "store/db/shoplocation.h"
#include "store/ops/tdmfm.h"
#include "ui/datagrid.h"
#include "ui/numberbox.h"
#include "users/tloginfm.h"

#include <QApplication>
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
bool logInHere(Tloginfm& login, const QString& user, const QString& password)
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
            QVERIFY(!logInHere(login, u"超级管理员"_s, u"864"_s));
            QCOMPARE(port.lastText(), kRefusedHere);
            QVERIFY(login.isVisible());
            QVERIFY(login.passwordBox()->text().isEmpty());
        }
        {
            Tloginfm login(till);
            QVERIFY(logInHere(login, u"店员"_s, u"Ab1"_s));
        }
        // The shop owner's till lets the super administrator in.
        {
            Tloginfm login(owner);
            QVERIFY(logInHere(login, u"超级管理员"_s, u"864"_s));
        }
        QCOMPARE(port.texts().count(kRefusedHere), 1);
    }

    // An ordinary user's day on such a till: the login, the stock list, a
    // sale typed into the sale panel, the summary and the sales window, with
    // nothing refused.
    void ordinaryUserWorksOnTheTill()
    {
        OwnFolders folders;
        ClerkShop shop(m_server);
        QVERIFY2(shop.isValid(), qPrintable(shop.error()));
        {
            Tdmfm owner;
            QVERIFY(owner.open(ShopLocation::server(shop.ownerConnInfo())).ok());
            QVERIFY(owner.appendRow(u"userdb"_s, {{u"username"_s, u"店员"_s}, {u"passwd"_s, hashPassword(u"Ab1"_s)}}));
            QVERIFY(owner
                        .appendRow(u"data"_s, {{QString(stockcol::name), u"篮球"_s},
                                               {QString(stockcol::purchasePrice), 10.0},
                                               {QString(stockcol::salePrice), 25.0},
                                               {QString(stockcol::soldQuantity), 0.0},
                                               {QString(stockcol::salesAmount), 0.0},
                                               {QString(stockcol::stockQuantity), 5.0},
                                               {QString(stockcol::stockAmount), 50.0},
                                               {QString(stockcol::stockInDate), u"2026-03-02"_s}})
                        .ok());
        }
        Tdmfm till;
        QVERIFY(till.open(ShopLocation::server(shop.clerkConnInfo())).ok());
        RecordingPort port;
        TMainForm main(till);
        QVERIFY(logIn(main, u"店员"_s, u"Ab1"_s));
        QCOMPARE(till.stock().list().rowCount(), 1);

        main.stockRowDoubleClicked(0);
        SalePanel* sale = main.salePanel();
        QTRY_VERIFY(sale->isVisible());
        QVERIFY(QTest::qWaitForWindowActive(&main));
        QTRY_VERIFY(sale->priceBox()->hasFocus());
        QTest::keyClick(sale->priceBox(), Qt::Key_Return);
        QTest::keyClick(sale->discountBox(), Qt::Key_Return);
        sale->quantityBox()->selectAll();
        QTest::keyClick(sale->quantityBox(), Qt::Key_Backspace);
        typeText(sale->quantityBox(), u"2"_s);
        QTest::keyClick(sale->quantityBox(), Qt::Key_Return);
        QTest::mouseClick(sale->confirmButton(), Qt::LeftButton);
        QVERIFY2(port.entries.isEmpty(), qPrintable(port.texts().join(u'|')));
        QCOMPARE(till.stock().list().value(0, QString(stockcol::stockQuantity)).toDouble(), 3.0);

        main.action(u"汇总统计"_s)->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(main.summaryWindow()));
        QCOMPARE(main.summaryWindow()->grid()->rowSet()->rowCount(), 1);
        main.summaryWindow()->close();
        QTest::mouseClick(main.salesButton(), Qt::LeftButton);
        QTest::qWait(200);
        QVERIFY2(port.entries.isEmpty(), qPrintable(port.texts().join(u'|')));
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
        // The server's dump is no database file: not proposed as one.
        QVERIFY2(window.backupPathBox()->text().endsWith(u"beifen.backup"_s),
                 qPrintable(window.backupPathBox()->text()));
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
