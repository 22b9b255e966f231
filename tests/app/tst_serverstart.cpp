// The program started on a shop whose database is on a server, through the
// start-up steps the program itself takes.
#include "login.h"
#include "testdb.h"
#include "testserver.h"

#include "app/shopdatabase.h"
#include "app/tmainform.h"
#include "stock/stocklistpanel.h"
#include "store/db/columns.h"
#include "store/db/serverconnection.h"
#include "store/db/serverschema.h"
#include "store/ops/tdmfm.h"
#include "users/tloginfm.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

bool writeConfig(const QString& text)
{
    QFile f(shopdatabase::configFileName());
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text.toUtf8()) == text.toUtf8().size();
}

// A port on 127.0.0.1 that nothing listens on: one the system just handed
// out and took back. 0 when none could be had.
quint16 closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

} // namespace

class TestServerStart : public QObject
{
    Q_OBJECT

    QString m_server;

private slots:
    void initTestCase() { TARVIK_REQUIRE_TEST_SERVER(m_server); }

    // database.conf names the server; the login window says which database
    // it opens, the super administrator logs in and sees the stock list.
    void logsInOnTheServerNamedByTheShopFolder()
    {
        TestShop folder;
        ScratchServerDatabase scratch(m_server);
        QVERIFY2(scratch.isValid(), qPrintable(scratch.error()));
        {
            QString error;
            QVERIFY2(scratch.createShop(&error), qPrintable(error));
        }
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(folder.folder()));
        QVERIFY(writeConfig(scratch.connInfo() + u"\n"_s));
        QString error;
        const std::optional<ShopLocation> location = shopdatabase::choose(std::nullopt, &error);
        QVERIFY(QDir::setCurrent(before));
        QVERIFY2(location, qPrintable(error));
        QCOMPARE(*location, ShopLocation::server(scratch.connInfo()));

        Tdmfm dm;
        QVERIFY(shopdatabase::open(dm, *location));
        QVERIFY(dm.appendRow(u"data"_s, {{QString(stockcol::name), u"篮球"_s}, {QString(stockcol::stockQuantity), 3.0}})
                    .ok());
        TMainForm main(dm);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QTRY_VERIFY(main.loginWindow()->isVisible());
        QVERIFY(main.loginWindow()->shopLabel()->isVisible());
        QCOMPARE(main.loginWindow()->shopLabel()->text(), location->describe());
        QVERIFY(logIn(main, u"超级管理员"_s, u"864"_s));
        QVERIFY(main.stockList()->isVisible());
        QCOMPARE(dm.stock().list().rowCount(), 1);
        QCOMPARE(dm.stock().list().value(0, stockcol::name).toString(), u"篮球"_s);
    }

    // The desktop shortcut written at login starts the program on the same
    // shop: a server named on the command line is named by the shortcut too
    // (never with a password); one that the shop folder's database.conf names
    // is left to that file, which may later name another.
    void shortcutNamesTheServerOfTheCommandLine()
    {
        TestShop folder; // HOME is its configuration folder
        ScratchServerDatabase scratch(m_server);
        QVERIFY2(scratch.isValid(), qPrintable(scratch.error()));
        {
            QString error;
            QVERIFY2(scratch.createShop(&error), qPrintable(error));
        }
        const QString desktop = QDir(folder.configFolder()).filePath(u"Desktop"_s);
        QVERIFY(QDir().mkpath(desktop));
        const QString shortcut = QDir(desktop).filePath(u"Tarvik运动品销售管理软件.desktop"_s);
        const QString program = u"\""_s + QCoreApplication::applicationFilePath() + u"\""_s;
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(folder.folder())); // the program runs in its shop folder
        const auto execLine = [&](const ShopLocation& location) {
            Tdmfm dm;
            if (!dm.open(location).ok())
                return u"(not opened)"_s;
            Tloginfm login(dm);
            login.open();
            login.reject();
            QFile f(shortcut);
            if (!f.open(QIODevice::ReadOnly))
                return u"(no shortcut)"_s;
            for (const QString& line : QString::fromUtf8(f.readAll()).split(u'\n'))
                if (line.startsWith(u"Exec="_s))
                    return line.mid(5);
            return u"(no Exec line)"_s;
        };
        const QString named = execLine(ShopLocation::server(scratch.connInfo()));
        // The test server trusts its clients: a password given is not needed, only written.
        const QString withPassword = execLine(ShopLocation::server(scratch.connInfo() + u" password=secret"_s));
        QVERIFY(writeConfig(scratch.connInfo() + u"\n"_s));
        const QString byFolder = execLine(ShopLocation::server(scratch.connInfo()));
        QVERIFY(QDir::setCurrent(before));
        QCOMPARE(named, program + u" \"--database\" \""_s + scratch.connInfo() + u"\""_s);
        QCOMPARE(withPassword, program);
        QCOMPARE(byFolder, program);
    }

    // A server that does not answer is said, with the choice to try again
    // (asked again) or to end the program; no shop is opened.
    void unreachableServerOffersRetry()
    {
        const quint16 port = closedPort();
        QVERIFY(port > 0);
        const ShopLocation closed =
            ShopLocation::server(u"host=127.0.0.1 port=%1 dbname=shop connect_timeout=5"_s.arg(port));

        QStringList texts;
        QList<QStringList> buttons;
        QTimer answer;
        answer.setInterval(20);
        connect(&answer, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible() || box->property("answered").toBool())
                return;
            box->setProperty("answered", true);
            texts << box->text();
            QStringList shown;
            for (QAbstractButton* b : box->buttons())
                shown << b->text();
            buttons << shown;
            const QString choice = texts.size() == 1 ? u"重试"_s : u"退出"_s;
            for (QAbstractButton* b : box->buttons())
                if (b->text() == choice) {
                    QTest::mouseClick(b, Qt::LeftButton);
                    return;
                }
            box->done(0); // a box without the choice: the test fails below
        });
        answer.start();
        Tdmfm dm;
        QVERIFY(!shopdatabase::open(dm, closed));
        answer.stop();
        QCOMPARE(texts.size(), 2);
        for (const QString& text : texts) {
            QVERIFY2(text.startsWith(u"无法连接到数据库服务器："_s), qPrintable(text));
            QVERIFY2(text.size() > 13, qPrintable(text));
        }
        QCOMPARE(buttons.at(0), (QStringList{u"重试"_s, u"退出"_s}));
        QVERIFY(!dm.db().isOpen());
    }

    // database.conf names a server without its password: one written into it
    // is refused, however the connection is written.
    void passwordInTheShopFolderRefused_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("refused");
        QTest::newRow("service") << u"shop"_s << false;
        QTest::newRow("keywords") << u"host=db dbname=shop user=till"_s << false;
        QTest::newRow("password keyword") << u"host=db PassWord = 'se cret' dbname=shop"_s << true;
        QTest::newRow("address") << u"postgresql://till@db/shop"_s << false;
        QTest::newRow("address with password") << u"postgresql://till:secret@db/shop"_s << true;
        QTest::newRow("address parameter") << u"postgres://db/shop?user=till&password=secret"_s << true;
    }
    void passwordInTheShopFolderRefused()
    {
        QFETCH(QString, line);
        QFETCH(bool, refused);
        TestShop folder;
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(folder.folder()));
        QVERIFY(writeConfig(u"\n"_s + line + u"\n"_s));
        QString error;
        const std::optional<ShopLocation> location = shopdatabase::choose(std::nullopt, &error);
        QVERIFY(QDir::setCurrent(before));
        QCOMPARE(!location, refused);
        if (refused)
            QCOMPARE(error, u"database.conf 中不能写数据库的密码：请把密码写在 ~/.pgpass 文件中。"_s);
        else
            QCOMPARE(*location, ShopLocation::server(line));
        // Named on the command line, the server is taken over database.conf.
        QCOMPARE(shopdatabase::choose(u"other"_s, &error).value_or(ShopLocation()), ShopLocation::server(u"other"_s));
    }
};

QTEST_MAIN(TestServerStart)
#include "tst_serverstart.moc"
