#include "keys.h"
#include "recordingport.h"

#include "app/shopfolder.h"
#include "settings/settingkeys.h"
#include "settings/settingsstore.h"
#include "store/db/database.h"
#include "store/db/schema.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// A user of its own: settings and data folders in a temporary folder, and an
// empty folder to start in, as the menu starts the program in the home folder.
struct Home
{
    QTemporaryDir dir;
    QString before = QDir::currentPath();

    Home()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path(QStringLiteral("config"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(path(QStringLiteral("data"))));
        QDir().mkpath(path(QStringLiteral("start")));
        QDir::setCurrent(path(QStringLiteral("start")));
    }
    ~Home() { QDir::setCurrent(before); }

    QString path(const QString& name) const { return QDir(dir.path()).filePath(name); }
    QString dataFolder() const { return path(QStringLiteral("data/tarvik")); }
};

// Answers the first-start question, when it comes, with `answer`; says how often it came.
class Asker final
{
public:
    explicit Asker(std::function<void(ShopFolderDialog&)> answer)
        : m_answer(std::move(answer))
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto* dialog = qobject_cast<ShopFolderDialog*>(QApplication::activeModalWidget())) {
                ++asked;
                shown = dialog->folderBox()->text();
                m_answer(*dialog);
            }
        });
        m_timer.start();
    }

    int asked = 0;
    QString shown; // the folder the question proposed

private:
    std::function<void(ShopFolderDialog&)> m_answer;
    QTimer m_timer;
};

void pressEnter(ShopFolderDialog& dialog)
{
    QTest::keyClick(dialog.folderBox(), Qt::Key_Return);
}

void cancel(ShopFolderDialog& dialog)
{
    QTest::keyClick(dialog.folderBox(), Qt::Key_Escape);
}

bool isDeliveredDatabase(const QString& path)
{
    Database db;
    QString error;
    return db.open(path, false, &error) && schema::check(db).isEmpty();
}

} // namespace

class TestShopFolder : public QObject
{
    Q_OBJECT

private slots:
    void menuStartsUseTheFolderChosenFirst();
    void startsWithAShopFolder_data();
    void startsWithAShopFolder();
};

void TestShopFolder::menuStartsUseTheFolderChosenFirst()
{
    Home home;
    RecordingPort port;
    const QString db = QDir(home.dataFolder()).filePath(QStringLiteral("data.mdb"));
    QString error;

    // The first start asks, proposing the user's data folder; Enter takes it.
    {
        Asker asker(pressEnter);
        QCOMPARE(shopfolder::enter({}, &error), shopfolder::Outcome::Ready);
        QCOMPARE(asker.asked, 1);
        QCOMPARE(asker.shown, home.dataFolder());
    }
    QCOMPARE(QDir::currentPath(), home.dataFolder());
    QVERIFY(isDeliveredDatabase(db));
    QCOMPARE(port.texts(),
             QStringList{QStringLiteral("已建立新的数据库：\n%1\n\n请以“超级管理员”登录，初始密码：864").arg(db)});

    // Later starts from elsewhere go there without asking and keep the database.
    port.clear();
    QVERIFY(QDir::setCurrent(home.path(QStringLiteral("start"))));
    const QDateTime written = QFileInfo(db).lastModified();
    {
        Asker asker(cancel);
        QCOMPARE(shopfolder::enter({}, &error), shopfolder::Outcome::Ready);
        QCOMPARE(asker.asked, 0);
    }
    QCOMPARE(QDir::currentPath(), home.dataFolder());
    QCOMPARE(QFileInfo(db).lastModified(), written);
    QVERIFY(port.entries.isEmpty());

    // A database removed from there is made again, and said again.
    QVERIFY(QFile::remove(db));
    QVERIFY(QDir::setCurrent(home.path(QStringLiteral("start"))));
    QCOMPARE(shopfolder::enter({}, &error), shopfolder::Outcome::Ready);
    QVERIFY(isDeliveredDatabase(db));
    QCOMPARE(port.entries.size(), 1);
    QVERIFY(port.lastText().contains(db));
}

// How a start finds its folder in each case: `arguments` (folders relative to
// the home), a database in the folder it starts in, what the user answers the
// first-start question (nothing, Escape, or a typed folder and Enter).
void TestShopFolder::startsWithAShopFolder_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("startedWith"); // the file in the folder it starts in, if any
    QTest::addColumn<QString>("typed");       // "" presses Escape
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("current"); // the folder entered, relative to the home
    QTest::addColumn<bool>("created");    // a database was made there
    QTest::addColumn<bool>("asked");

    using O = shopfolder::Outcome;
    const QString file = QStringLiteral("data.mdb");
    QTest::newRow("started in a shop folder")
        << QStringList() << file << QString() << int(O::Ready) << QStringLiteral("start") << false << false;
    // Its database is on a server: no database file is made there.
    QTest::newRow("started in a server shop's folder") << QStringList() << QStringLiteral("database.conf") << QString()
                                                       << int(O::Ready) << QStringLiteral("start") << false << false;
    // The missing database of a named folder is reported when it is opened.
    QTest::newRow("folder named") << QStringList{QStringLiteral("shop")} << file << QString() << int(O::Ready)
                                  << QStringLiteral("shop") << false << false;
    QTest::newRow("named folder missing") << QStringList{QStringLiteral("nowhere")} << QString() << QString()
                                          << int(O::Failed) << QStringLiteral("start") << false << false;
    QTest::newRow("question cancelled") << QStringList() << QString() << QString() << int(O::Cancelled)
                                        << QStringLiteral("start") << false << true;
    QTest::newRow("another folder typed") << QStringList() << QString() << QStringLiteral("my shop/店") << int(O::Ready)
                                          << QStringLiteral("my shop/店") << true << true;
}

void TestShopFolder::startsWithAShopFolder()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, startedWith);
    QFETCH(QString, typed);
    QFETCH(int, outcome);
    QFETCH(QString, current);
    QFETCH(bool, created);
    QFETCH(bool, asked);

    Home home;
    RecordingPort port;
    QVERIFY(QDir().mkpath(home.path(QStringLiteral("shop"))));
    if (startedWith == QLatin1String("data.mdb")) {
        QString error;
        QVERIFY2(schema::createDeliveredFile(QStringLiteral("data.mdb"), &error), qPrintable(error));
    } else if (!startedWith.isEmpty()) {
        QFile named(startedWith);
        QVERIFY(named.open(QIODevice::WriteOnly) && named.write("shop\n") == 5);
    }
    for (QString& a : arguments)
        a = home.path(a);

    Asker asker([&](ShopFolderDialog& dialog) {
        if (typed.isEmpty()) {
            cancel(dialog);
            return;
        }
        dialog.folderBox()->clear();
        typeText(dialog.folderBox(), home.path(typed));
        pressEnter(dialog);
    });
    QString error;
    QCOMPARE(int(shopfolder::enter(arguments, &error)), outcome);
    QCOMPARE(asker.asked, asked ? 1 : 0);
    QCOMPARE(QDir::currentPath(), home.path(current));
    if (outcome == int(shopfolder::Outcome::Failed))
        QCOMPARE(error, QStringLiteral("找不到文件夹 %1").arg(arguments.first()));
    QCOMPARE(isDeliveredDatabase(QDir(home.path(current)).filePath(QStringLiteral("data.mdb"))),
             created || (startedWith == QLatin1String("data.mdb") && current == QLatin1String("start")));
    QCOMPARE(port.entries.size(), created ? 1 : 0);
    // Only a folder actually entered is remembered, and the data folder is
    // made only when it is the one chosen.
    QCOMPARE(SettingsStore::read(QString(settingkeys::shopFolder)), created ? home.path(current) : QString());
    QVERIFY(!QFileInfo::exists(home.dataFolder()));
}

QTEST_MAIN(TestShopFolder)
#include "tst_shopfolder.moc"
