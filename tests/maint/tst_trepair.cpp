#include "filebytes.h"
#include "keys.h"
#include "recordingport.h"
#include "testdb.h"

#include "maint/trepair.h"
#include "settings/settingkeys.h"
#include "settings/settingsstore.h"
#include "store/db/database.h"
#include "store/db/schema.h"
#include "store/ops/saleops.h"
#include "store/ops/tdmfm.h"
#include "ui/backgroundwork.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <sqlite3.h>

#include <sys/stat.h>

namespace {

// Rows of a table in the database file at `path`, read through a connection of its own; -1 when it cannot be read.
qint64 rowsIn(const QString& path, const QString& table)
{
    Database db;
    QString error;
    QueryResult r;
    if (!db.open(path, false, &error) ||
        !db.query(Statement{QStringLiteral("select count(*) from %1").arg(table), {}}, &r, &error))
        return -1;
    return r.rows.at(0).at(0).toLongLong();
}

bool sell(Tdmfm& dm, qint64 stockRow, int n)
{
    for (int i = 0; i < n; ++i) {
        saleops::SaleInput in;
        in.stockRowId = stockRow;
        in.quantity = QStringLiteral("1");
        in.price = QStringLiteral("120");
        in.saleNumber = QStringLiteral("20261210%1").arg(i + 1, 3, 10, QLatin1Char('0'));
        in.saleDate = QStringLiteral("2026-12-10");
        if (!saleops::recordSale(dm, in))
            return false;
    }
    return true;
}

// The stock quantity of the one stock row, as the program's stock list shows it.
QString listedStock(Tdmfm& dm)
{
    if (!dm.stock().showAll(stockq::ZeroStock::Shown) || dm.stock().list().rowCount() != 1)
        return QStringLiteral("(no list)");
    return dm.stock().list().value(0, QStringLiteral("7")).toString();
}

QStringList safetyCopies(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("data-before-restore-*")}, QDir::Files);
}

void replaceText(QLineEdit* box, const QString& text)
{
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    typeText(box, text);
}

} // namespace

class TestTrepair : public QObject
{
    Q_OBJECT

private slots:
    void backupPathIsRememberedOnEveryChange();
    void backUpWhileOpenThenRestoreAfterMoreSales();
    void restoreRefusesWhatIsNoBackup_data();
    void restoreRefusesWhatIsNoBackup();
    void backupFailuresSayWhy_data();
    void backupFailuresSayWhy();
    void backupAsksBeforeReplacingWhateverIsThere_data();
    void backupAsksBeforeReplacingWhateverIsThere();
    void restoreIsForTheSuperAdministratorOnly();
    void backupWaitsWithProgressForABusyFile();
};

void TestTrepair::backupPathIsRememberedOnEveryChange()
{
    TestShop shop;
    RecordingPort port;
    {
        Trepair w(shop.dm(), true);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.backupPathBox()->text(), settingkeys::defaultBackupPath());
        QCOMPARE(w.restoreSourceBox()->text(), settingkeys::defaultBackupPath()); // where the backup went
        QVERIFY(!SettingsStore::keyExists()); // showing the default writes nothing

        replaceText(w.backupPathBox(), QStringLiteral("/mnt/u"));
        QCOMPARE(SettingsStore::read(QString(settingkeys::backupPath)), QStringLiteral("/mnt/u"));
        typeText(w.backupPathBox(), QStringLiteral("/b"));
        QCOMPARE(SettingsStore::read(QString(settingkeys::backupPath)), QStringLiteral("/mnt/u/b"));
        QTest::mouseClick(w.defaultLink(), Qt::LeftButton, {}, w.defaultLink()->rect().center());
        QCOMPARE(w.backupPathBox()->text(), settingkeys::defaultBackupPath());
        QCOMPARE(SettingsStore::read(QString(settingkeys::backupPath)), settingkeys::defaultBackupPath());
        replaceText(w.backupPathBox(), QStringLiteral("/mnt/k.mdb"));
    }
    Trepair again(shop.dm(), true);
    QCOMPARE(again.backupPathBox()->text(), QStringLiteral("/mnt/k.mdb"));
    QCOMPARE(again.restoreSourceBox()->text(), QStringLiteral("/mnt/k.mdb"));
    QVERIFY(port.entries.isEmpty());
}

void TestTrepair::backUpWhileOpenThenRestoreAfterMoreSales()
{
    TestShop shop;
    RecordingPort port;
    const qint64 row = shop.addStock(QStringLiteral("羽毛球拍"), QStringLiteral("YB-1"), QStringLiteral("690001"),
                                     QStringLiteral("球拍"), 80, 10, 120);
    QVERIFY(sell(shop.dm(), row, 1));
    QCOMPARE(listedStock(shop.dm()), QStringLiteral("9"));

    Trepair w(shop.dm(), true);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QString backupFile = QDir(shop.folder()).filePath(QStringLiteral("备份/beifen.mdb"));
    QVERIFY(QDir(shop.folder()).mkdir(QStringLiteral("备份")));
    replaceText(w.backupPathBox(), backupFile);
    QTest::mouseClick(w.backupButton(), Qt::LeftButton);
    QCOMPARE(port.texts(), QStringList{QStringLiteral("数据库备份成功！")});
    QCOMPARE(rowsIn(backupFile, QStringLiteral("data1")), 1);

    // The program goes on selling on its open connection.
    QVERIFY(sell(shop.dm(), row, 2));
    QCOMPARE(listedStock(shop.dm()), QStringLiteral("7"));
    // Backing up again onto the file asks first; "Cancel" keeps the older backup.
    port.clear();
    QTest::mouseClick(w.backupButton(), Qt::LeftButton);
    QCOMPARE(port.entries.size(), 1);
    QCOMPARE(port.entries.at(0).kind, QStringLiteral("confirm"));
    QCOMPARE(rowsIn(backupFile, QStringLiteral("data1")), 1);

    port.clear();
    port.fileNames = {backupFile};
    QTest::mouseClick(w.openButton(), Qt::LeftButton);
    QCOMPARE(QDir::fromNativeSeparators(w.restoreSourceBox()->text()), backupFile);
    port.clear();
    QTest::mouseClick(w.restoreButton(), Qt::LeftButton);

    const QStringList kept = safetyCopies(shop.folder());
    QCOMPARE(kept.size(), 1);
    const QString keptPath = QDir(shop.folder()).filePath(kept.at(0));
    QCOMPARE(port.texts(), QStringList{QStringLiteral("数据库恢复成功！\n原来的数据库已保存为：%1").arg(keptPath)});
    // The sales after the backup are gone from the database and kept in the safety copy.
    QCOMPARE(rowsIn(shop.dbPath(), QStringLiteral("data1")), 1);
    QCOMPARE(rowsIn(keptPath, QStringLiteral("data1")), 3);
    // The program works on the restored file, its stock list included.
    QVERIFY(shop.dm().isOpen());
    QCOMPARE(listedStock(shop.dm()), QStringLiteral("9"));
    QVERIFY(sell(shop.dm(), row, 1));
    QCOMPARE(rowsIn(shop.dbPath(), QStringLiteral("data1")), 2);
    // No journal of the former file is left to be applied to this one: once
    // the program lets go of it, the restored file is one file.
    shop.dm().closeConnection();
    for (const char* suffix : {"-journal", "-wal", "-shm"})
        QVERIFY(!QFile::exists(shop.dbPath() + QLatin1String(suffix)));
}

void TestTrepair::restoreRefusesWhatIsNoBackup_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    const QString failed = QStringLiteral("数据库恢复失败！\n所选文件不是可用的数据库备份");
    QTest::newRow("text file") << "text" << failed;
    QTest::newRow("plain unencrypted database") << "plain" << failed;
    QTest::newRow("truncated backup") << "truncated" << failed;
    QTest::newRow("tables missing") << "empty" << failed;
    QTest::newRow("no such file") << "missing" << QStringLiteral("备份数据库没找到!");
}

void TestTrepair::restoreRefusesWhatIsNoBackup()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);
    TestShop shop;
    RecordingPort port;
    const qint64 row = shop.addStock(QStringLiteral("足球"), QStringLiteral("5号"), QStringLiteral("690002"),
                                     QStringLiteral("球类"), 50, 400, 90);
    QVERIFY(sell(shop.dm(), row, 3));
    QString error;
    const QString source = QDir(shop.folder()).filePath(QStringLiteral("chosen.mdb"));
    if (kind == QLatin1String("text")) {
        QVERIFY(writeBytes(source, "这不是数据库\n"));
    } else if (kind == QLatin1String("plain")) {
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(source).constData(), &db), SQLITE_OK);
        QCOMPARE(
            sqlite3_exec(db, "create table data (a text); insert into data values ('x');", nullptr, nullptr, nullptr),
            SQLITE_OK);
        sqlite3_close(db);
    } else if (kind == QLatin1String("truncated")) {
        const QString whole = QDir(shop.folder()).filePath(QStringLiteral("whole.mdb"));
        Trepair w(shop.dm(), true);
        replaceText(w.backupPathBox(), whole);
        QTest::mouseClick(w.backupButton(), Qt::LeftButton);
        const QByteArray bytes = bytesOf(whole);
        QVERIFY(bytes.size() > 8192);
        QVERIFY(writeBytes(source, bytes.left(bytes.size() * 2 / 3)));
    } else if (kind == QLatin1String("empty")) {
        Database db; // encrypted with the right password, but without the shop's tables
        QVERIFY(db.open(source, true, &error));
        QVERIFY(db.exec(QStringLiteral("create table data (a text)"), &error));
    }
    const QString before = contentOf(shop.dbPath());
    QVERIFY(!before.isEmpty());
    port.clear();

    Trepair w(shop.dm(), true);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    replaceText(w.restoreSourceBox(), source);
    QTest::mouseClick(w.restoreButton(), Qt::LeftButton);

    QCOMPARE(port.entries.size(), 1);
    QVERIFY2(port.lastText().startsWith(message), qPrintable(port.lastText()));
    QCOMPARE(contentOf(shop.dbPath()), before);
    QVERIFY(safetyCopies(shop.folder()).isEmpty());
    // Only the shop's files are left: no temporary copy stays behind.
    for (const QString& name : QDir(shop.folder()).entryList(QDir::Files))
        QVERIFY2(!name.startsWith(QLatin1String("data.mdb.")), qPrintable(name));
    QVERIFY(shop.dm().isOpen());
    QCOMPARE(listedStock(shop.dm()), QStringLiteral("397"));
}

void TestTrepair::backupFailuresSayWhy_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder missing") << "no-such-folder/b.mdb"
                                    << "文件夹不存在";
    QTest::newRow("the database itself") << "data.mdb"
                                         << "不能是正在使用的数据库本身";
    QTest::newRow("the database by another path") << "./sub/../data.mdb"
                                                  << "不能是正在使用的数据库本身";
    QTest::newRow("its journal") << "data.mdb-wal"
                                 << "不能是正在使用的数据库本身";
    QTest::newRow("a folder") << "sub"
                              << "是一个文件夹";
}

void TestTrepair::backupFailuresSayWhy()
{
    QFETCH(QString, target);
    QFETCH(QString, reason);
    TestShop shop;
    RecordingPort port;
    shop.addStock(QStringLiteral("跳绳"), QString(), QStringLiteral("690003"), QStringLiteral("健身"), 5, 20, 12);
    QVERIFY(QDir(shop.folder()).mkdir(QStringLiteral("sub")));
    const QString before = contentOf(shop.dbPath());
    QVERIFY(!before.isEmpty());

    Trepair w(shop.dm(), false);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    replaceText(w.backupPathBox(), target); // relative: in the shop folder
    port.answers = {MessagePort::Answer::Ok};
    QTest::mouseClick(w.backupButton(), Qt::LeftButton);
    QVERIFY2(port.lastText().startsWith(QStringLiteral("数据库备份失败！\n")), qPrintable(port.lastText()));
    QVERIFY2(port.lastText().contains(reason), qPrintable(port.lastText()));
    QCOMPARE(contentOf(shop.dbPath()), before);
    QCOMPARE(rowsIn(shop.dbPath(), QStringLiteral("data")), 1);
}

void TestTrepair::backupAsksBeforeReplacingWhateverIsThere_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("link to no file") << "dangling";
    QTest::newRow("named pipe") << "fifo";
    QTest::newRow("link to a file") << "link";
}

void TestTrepair::backupAsksBeforeReplacingWhateverIsThere()
{
    QFETCH(QString, kind);
    TestShop shop;
    RecordingPort port;
    const QString target = QDir(shop.folder()).filePath(QStringLiteral("beifen.mdb"));
    const QString elsewhere = QDir(shop.folder()).filePath(QStringLiteral("elsewhere.mdb"));
    if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(target).constData(), 0644), 0);
    else
        QVERIFY(QFile::link(elsewhere, target));
    if (kind == QLatin1String("link"))
        QVERIFY(writeBytes(elsewhere, "an older backup"));

    Trepair w(shop.dm(), false);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    replaceText(w.backupPathBox(), target);
    port.answers = {MessagePort::Answer::Cancel};
    QTest::mouseClick(w.backupButton(), Qt::LeftButton);
    // Asked, answered "Cancel": nothing more is said and nothing is written.
    QCOMPARE(port.entries.size(), 1);
    QCOMPARE(port.entries.at(0).kind, QStringLiteral("confirm"));
    QVERIFY(port.lastText().contains(target));
    QCOMPARE(bytesOf(elsewhere), kind == QLatin1String("link") ? QByteArray("an older backup") : QByteArray());
    QCOMPARE(QFileInfo(target).isSymLink(), kind != QLatin1String("fifo"));
}

void TestTrepair::restoreIsForTheSuperAdministratorOnly()
{
    TestShop shop;
    RecordingPort port;
    const QString backupFile = QDir(shop.folder()).filePath(QStringLiteral("beifen.mdb"));
    {
        Trepair super(shop.dm(), true);
        super.show();
        QVERIFY(QTest::qWaitForWindowExposed(&super));
        // The restore panel lies inside the window, not below its edge.
        QVERIFY(super.restorePanel()->isVisible());
        QVERIFY(super.rect().contains(super.restorePanel()->geometry()));
        replaceText(super.backupPathBox(), backupFile);
        QTest::mouseClick(super.backupButton(), Qt::LeftButton);
        QCOMPARE(port.lastText(), QStringLiteral("数据库备份成功！"));
    }
    shop.addStock(QStringLiteral("哑铃"), QString(), QStringLiteral("690004"), QStringLiteral("健身"), 30, 4, 45);
    const QString before = contentOf(shop.dbPath());
    QVERIFY(!before.isEmpty());
    port.clear();

    Trepair clerk(shop.dm(), false);
    clerk.show();
    QVERIFY(QTest::qWaitForWindowExposed(&clerk));
    QVERIFY(!clerk.restorePanel()->isVisible());
    QVERIFY(clerk.backupButton()->isVisible());
    clerk.restoreSourceBox()->setText(backupFile);
    clerk.restoreButton()->click(); // even a click that reaches the button restores nothing
    QVERIFY(port.entries.isEmpty());
    QCOMPARE(contentOf(shop.dbPath()), before);
    QVERIFY(safetyCopies(shop.folder()).isEmpty());
}

void TestTrepair::backupWaitsWithProgressForABusyFile()
{
    TestShop shop;
    RecordingPort port;
    shop.addStock(QStringLiteral("乒乓球"), QStringLiteral("3星"), QStringLiteral("690002"), QStringLiteral("球类"), 2,
                  100, 5);
    backgroundwork::setShowAfterMs(0);
    Trepair w(shop.dm(), true);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QString backupFile = QDir(shop.folder()).filePath(QStringLiteral("beifen.mdb"));
    replaceText(w.backupPathBox(), backupFile);

    // Another program is writing the file: the backup waits until it is done,
    // and the window meanwhile says so, takes no clicks and stays open.
    Database other;
    QString error;
    QVERIFY2(other.open(shop.dbPath(), false, &error), qPrintable(error));
    QVERIFY2(other.exec(QStringLiteral("BEGIN EXCLUSIVE"), &error), qPrintable(error));
    QString progressText;
    bool windowTookInput = true;
    bool windowClosed = true;
    QTimer::singleShot(300, &w, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->objectName() == QLatin1String("workProgress") && top->isVisible())
                progressText = top->findChild<QLabel*>()->text();
        }
        windowTookInput = w.isEnabled();
        w.close();
        windowClosed = !w.isVisible();
        QString ignored;
        other.exec(QStringLiteral("COMMIT"), &ignored);
    });
    QTest::mouseClick(w.backupButton(), Qt::LeftButton);
    backgroundwork::setShowAfterMs(500);

    QCOMPARE(progressText, QStringLiteral("正在备份数据库，请稍候……"));
    QVERIFY(!windowTookInput);
    QVERIFY(!windowClosed);
    QCOMPARE(port.texts(), QStringList{QStringLiteral("数据库备份成功！")});
    QVERIFY(w.isEnabled());
    QCOMPARE(rowsIn(backupFile, QStringLiteral("data")), 1);
}

QTEST_MAIN(TestTrepair)
#include "tst_trepair.moc"
