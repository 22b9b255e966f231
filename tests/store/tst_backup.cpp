#include "filebytes.h"
#include "filesizelimit.h"

#include "store/db/backup.h"
#include "store/db/database.h"
#include "store/db/newdatabasefile.h"
#include "store/db/preparedstatement.h"
#include "store/db/schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

bool makeShop(Database& db, const QString& path, int rows, QString* error)
{
    if (!db.open(path, true, error) || !schema::createDelivered(db, error))
        return false;
    Transaction t(db);
    for (int i = 0; i < rows; ++i)
        if (!db.exec(Statement{QStringLiteral("insert into data (a, b, day1) values (?, ?, '2026-01-05')"),
                               {QStringLiteral("商品名称很长一些%1").arg(i), QStringLiteral("规格%1").arg(i)}},
                     error))
            return false;
    return t.commit(error);
}

// The answer of `sql` (one number) from the sound database at `path`; -1 when
// it does not open or fails the engine's checks.
qint64 askSound(const QString& path, const QString& sql)
{
    Database db;
    QString error;
    QueryResult r;
    if (!db.open(path, false, &error) || !schema::check(db).isEmpty() || !db.query(Statement{sql, {}}, &r, &error))
        return -1;
    return r.rows.at(0).at(0).toLongLong();
}

// Sets the time `path` (not what a link names) was last changed to `secondsAgo` before now.
bool age(const QString& path, int secondsAgo)
{
    timespec times[2] = {};
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= secondsAgo;
    times[1] = times[0];
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

bool isFifo(const QString& path)
{
    struct stat st = {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISFIFO(st.st_mode);
}

QStringList entries(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    names.sort();
    return names;
}

QString systemText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

const QString kCount = QStringLiteral("select count(*) from data");
const QString kChanged = QStringLiteral("select count(*) from data where a = 'changed'");

} // namespace

class TestBackup : public QObject
{
    Q_OBJECT

private slots:
    void restoreNeverAppliesTheOldFilesJournals_data();
    void restoreNeverAppliesTheOldFilesJournals();
    void backupOfALoggedDatabaseStandsAlone();
    void backupReplacesOnlyARegularFile_data();
    void backupReplacesOnlyARegularFile();
    void failedWritesBlameTheDiskNotTheBackup_data();
    void failedWritesBlameTheDiskNotTheBackup();
    void restoreOnlyReadsTheChosenBackup_data();
    void restoreOnlyReadsTheChosenBackup();
    void leftoversOfKilledRunsAreRemoved();
};

void TestBackup::restoreNeverAppliesTheOldFilesJournals_data()
{
    QTest::addColumn<QString>("crash");
    QTest::addColumn<qint64>("keptRows"); // what the safety copy holds; -1: nothing sound
    // A write cut short in the middle: changed pages are in the file, the
    // journal holds the originals to roll back.
    QTest::newRow("rollback journal of a cut write") << "journal" << qint64(2000);
    // Committed rows that live only in the write-ahead log.
    QTest::newRow("write-ahead log of committed rows") << "wal" << qint64(2100);
    // A file that no longer opens, with a journal beside it.
    QTest::newRow("damaged file with a journal") << "damaged" << qint64(-1);
}

void TestBackup::restoreNeverAppliesTheOldFilesJournals()
{
    QFETCH(QString, crash);
    QFETCH(qint64, keptRows);
    QTemporaryDir dir;
    QString error;
    const QString live = dir.filePath(QStringLiteral("live/data.mdb"));
    const QString shop = dir.filePath(QStringLiteral("shop/data.mdb"));
    const QString backupFile = dir.filePath(QStringLiteral("backup.mdb"));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("live")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("shop")));
    {
        Database b;
        QVERIFY2(makeShop(b, backupFile, 50, &error), qPrintable(error));
    }

    // The files as a crash of the program would leave them: copied while the
    // connection is in the middle of its work.
    Database db;
    QVERIFY2(makeShop(db, live, 2000, &error), qPrintable(error));
    if (crash == QLatin1String("wal")) {
        QVERIFY(db.exec(QStringLiteral("PRAGMA journal_mode = WAL"), &error));
        Transaction t(db);
        for (int i = 0; i < 100; ++i)
            QVERIFY(db.exec(Statement{QStringLiteral("insert into data (a, day1) values ('logged', '2026-02-01')"), {}},
                            &error));
        QVERIFY(t.commit(&error));
        QVERIFY(QFile::exists(live + QStringLiteral("-wal")));
    } else {
        // A small cache makes the engine write changed pages into the file before the commit.
        QVERIFY(db.exec(QStringLiteral("PRAGMA journal_mode = DELETE"), &error));
        QVERIFY(db.exec(QStringLiteral("PRAGMA cache_size = 5"), &error));
        QVERIFY(db.exec(QStringLiteral("BEGIN"), &error));
        QVERIFY(db.exec(QStringLiteral("update data set a = 'changed'"), &error));
        QVERIFY(QFile::exists(live + QStringLiteral("-journal")));
    }
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        if (QFile::exists(live + QLatin1String(suffix)))
            QVERIFY(writeBytes(shop + QLatin1String(suffix), bytesOf(live + QLatin1String(suffix))));
    db.close();
    if (crash == QLatin1String("damaged"))
        QVERIFY(writeBytes(shop, QByteArray(64 * 1024, 'x')));

    QString kept;
    QVERIFY2(backup::restore(backupFile, shop, &kept, &error), qPrintable(error));

    // The restored file is the backup, whole: nothing of the old file was rolled into it.
    QCOMPARE(askSound(shop, kCount), 50);
    QCOMPARE(askSound(shop, kChanged), 0);
    for (const char* suffix : {"-journal", "-wal", "-shm"})
        QVERIFY(!QFile::exists(shop + QLatin1String(suffix)));
    // The safety copy is the old database as it was committed.
    QVERIFY(QFile::exists(kept));
    QCOMPARE(askSound(kept, kCount), keptRows);
    if (keptRows >= 0)
        QCOMPARE(askSound(kept, kChanged), 0);
}

void TestBackup::backupOfALoggedDatabaseStandsAlone()
{
    QTemporaryDir dir;
    QString error;
    Database db;
    QVERIFY2(makeShop(db, dir.filePath(QStringLiteral("data.mdb")), 20, &error), qPrintable(error));
    QVERIFY(db.exec(QStringLiteral("PRAGMA journal_mode = WAL"), &error));
    QVERIFY(db.exec(QStringLiteral("insert into data (a, day1) values ('logged', '2026-02-01')"), &error));

    const QString target = dir.filePath(QStringLiteral("copy.mdb"));
    QVERIFY(writeBytes(target, "an older backup"));
    QVERIFY2(backup::copyTo(db, target, &error), qPrintable(error));
    // The copy is complete without any log beside it, and says so to a reader
    // that cannot change it.
    QVERIFY(!QFile::exists(target + QStringLiteral("-wal")));
    sqlite3* raw = nullptr;
    QCOMPARE(sqlite3_open_v2(QFile::encodeName(target).constData(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    const QByteArray key = QStringLiteral("PRAGMA key = '%1'").arg(Database::password()).toUtf8();
    QCOMPARE(sqlite3_exec(raw, key.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    {
        const PreparedStatement st(raw, "PRAGMA journal_mode", &error);
        QVERIFY2(st.isValid(), qPrintable(error));
        QCOMPARE(sqlite3_step(st.get()), SQLITE_ROW);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0))), QByteArray("delete"));
    }
    sqlite3_close(raw);
    QCOMPARE(askSound(target, kCount), 21);
}

void TestBackup::backupReplacesOnlyARegularFile_data()
{
    QTest::addColumn<QString>("target");  // what "target" in the folder is
    QTest::addColumn<QString>("written"); // the file that receives the backup; empty: refused
    QTest::addColumn<QString>("refusal");
    QTest::newRow("link to a file elsewhere") << "link:usb/b.mdb"
                                              << "usb/b.mdb"
                                              << "";
    QTest::newRow("link to a link to a file") << "link:chain"
                                              << "usb/b.mdb"
                                              << "";
    QTest::newRow("link to no file yet") << "link:usb/new.mdb"
                                         << "usb/new.mdb"
                                         << "";
    QTest::newRow("named pipe") << "fifo"
                                << ""
                                << "命名管道";
    QTest::newRow("link to a named pipe") << "link:pipe"
                                          << ""
                                          << "命名管道";
    QTest::newRow("link to a device") << "link:/dev/null"
                                      << ""
                                      << "是设备";
    QTest::newRow("link to a folder") << "link:usb"
                                      << ""
                                      << "是一个文件夹";
}

void TestBackup::backupReplacesOnlyARegularFile()
{
    QFETCH(QString, target);
    QFETCH(QString, written);
    QFETCH(QString, refusal);
    QTemporaryDir dir;
    QString error;
    Database db;
    QVERIFY2(makeShop(db, dir.filePath(QStringLiteral("data.mdb")), 30, &error), qPrintable(error));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("usb")));
    QVERIFY(writeBytes(dir.filePath(QStringLiteral("usb/b.mdb")), "an older backup"));
    QVERIFY(QFile::link(QStringLiteral("usb/b.mdb"), dir.filePath(QStringLiteral("chain"))));
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("pipe"))).constData(), 0644), 0);
    const QString path = dir.filePath(QStringLiteral("target"));
    if (target.startsWith(QLatin1String("link:")))
        QVERIFY(QFile::link(target.mid(5), path));
    else
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
    const QString before = QFileInfo(path).symLinkTarget();

    const bool done = backup::copyTo(db, path, &error);
    if (written.isEmpty()) {
        QVERIFY(!done);
        QVERIFY2(error.contains(refusal), qPrintable(error));
    } else {
        QVERIFY2(done, qPrintable(error));
        QCOMPARE(askSound(dir.filePath(written), kCount), 30);
    }
    // What was there is there still: the link, and the pipe it may name.
    QCOMPARE(QFileInfo(path).isSymLink(), target.startsWith(QLatin1String("link:")));
    QCOMPARE(QFileInfo(path).symLinkTarget(), before);
    QVERIFY(isFifo(dir.filePath(QStringLiteral("pipe"))));
    QCOMPARE(isFifo(path), target == QLatin1String("fifo"));
    if (written != QLatin1String("usb/b.mdb"))
        QCOMPARE(bytesOf(dir.filePath(QStringLiteral("usb/b.mdb"))), QByteArray("an older backup"));
    for (const QString& name : entries(dir.filePath(QStringLiteral("usb"))) + entries(dir.path()))
        QVERIFY2(!name.endsWith(QLatin1String(".new")), qPrintable(name));
}

void TestBackup::failedWritesBlameTheDiskNotTheBackup_data()
{
    QTest::addColumn<QString>("run");
    QTest::addColumn<QString>("failed"); // the file the message names
    QTest::newRow("backup") << "backup"
                            << "usb/b.mdb";
    // A transaction of the program's own is open: the engine's online backup writes the copy.
    QTest::newRow("backup during a transaction") << "backup in transaction"
                                                 << "usb/b.mdb";
    QTest::newRow("restore") << "restore"
                             << "shop/data.mdb";
    QTest::newRow("restore, keeping the former file") << "restore small"
                                                      << "shop/data-before-restore-";
}

void TestBackup::failedWritesBlameTheDiskNotTheBackup()
{
    QFETCH(QString, run);
    QFETCH(QString, failed);
    QTemporaryDir dir;
    QString error;
    for (const char* folder : {"shop", "usb"})
        QVERIFY(QDir(dir.path()).mkdir(QLatin1String(folder)));
    const QString shop = dir.filePath(QStringLiteral("shop/data.mdb"));
    const QString usb = dir.filePath(QStringLiteral("usb/b.mdb"));
    Database db;
    QVERIFY2(makeShop(db, shop, 3000, &error), qPrintable(error));
    {
        Database small;
        QVERIFY2(makeShop(small, dir.filePath(QStringLiteral("usb/small.mdb")), 5, &error), qPrintable(error));
    }
    if (run.startsWith(QLatin1String("restore"))) {
        QVERIFY2(backup::copyTo(db, usb, &error), qPrintable(error));
        db.close();
    } else {
        QVERIFY(writeBytes(usb, "an older backup"));
    }
    QVERIFY(!db.isOpen() || db.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"), &error));
    const QByteArray shopBefore = bytesOf(shop);
    const QByteArray usbBefore = bytesOf(usb);
    // Room for the small backup, not for the shop's 3000 rows.
    QVERIFY(QFileInfo(shop).size() > 256 * 1024);
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("usb/small.mdb"))).size() < 128 * 1024);

    QString kept;
    bool done;
    {
        if (run == QLatin1String("backup in transaction"))
            QVERIFY(db.exec(QStringLiteral("BEGIN"), &error));
        FileSizeLimit disk(128 * 1024);
        QVERIFY(disk.isActive());
        if (run.startsWith(QLatin1String("backup")))
            done = backup::copyTo(db, usb, &error);
        else
            done =
                backup::restore(run == QLatin1String("restore") ? usb : dir.filePath(QStringLiteral("usb/small.mdb")),
                                shop, &kept, &error);
    }
    QVERIFY(!done);
    const QString written = QStringLiteral("不能写入文件（%1").arg(QDir::toNativeSeparators(dir.filePath(failed)));
    QVERIFY2(error.contains(written), qPrintable(error));
    QVERIFY2(error.contains(QStringLiteral("）：") + systemText(EFBIG)), qPrintable(error));
    QVERIFY2(!error.contains(QStringLiteral("不是可用的数据库备份")), qPrintable(error));
    QCOMPARE(bytesOf(shop), shopBefore);
    QCOMPARE(bytesOf(usb), usbBefore);
    for (const QString& folder : {QStringLiteral("shop"), QStringLiteral("usb")})
        for (const QString& name : entries(dir.filePath(folder)))
            QVERIFY2(!name.contains(QLatin1String(".new")) && !name.startsWith(QLatin1String("data-before")),
                     qPrintable(name));
}

void TestBackup::restoreOnlyReadsTheChosenBackup_data()
{
    QTest::addColumn<int>("loggedRows"); // committed rows that live only in the log beside the backup
    // A copy of a running shop's file: in write-ahead-log mode, with no log beside it.
    QTest::newRow("file in write-ahead-log mode") << 0;
    // The log beside it belongs to it: its commits are restored too.
    QTest::newRow("with commits in its log") << 7;
}

void TestBackup::restoreOnlyReadsTheChosenBackup()
{
    QFETCH(int, loggedRows);
    QTemporaryDir dir;
    QString error;
    const QString media = dir.filePath(QStringLiteral("media"));
    const QString source = media + QStringLiteral("/beifen.mdb");
    const QString shop = dir.filePath(QStringLiteral("data.mdb"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("media")));
    {
        Database db;
        QVERIFY2(makeShop(db, dir.filePath(QStringLiteral("running.mdb")), 40, &error), qPrintable(error));
        QVERIFY2(makeShop(db, shop, 3, &error), qPrintable(error));
    }
    // The running shop's connection: in write-ahead-log mode, rows committed into the log only.
    sqlite3* running = nullptr;
    const QString runningPath = dir.filePath(QStringLiteral("running.mdb"));
    QCOMPARE(sqlite3_open(QFile::encodeName(runningPath).constData(), &running), SQLITE_OK);
    const QByteArray setup = QStringLiteral("PRAGMA key = '%1'; PRAGMA journal_mode = WAL; "
                                            "PRAGMA wal_autocheckpoint = 0; SELECT count(*) FROM data;")
                                 .arg(Database::password())
                                 .toUtf8();
    QCOMPARE(sqlite3_exec(running, setup.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    for (int i = 0; i < loggedRows; ++i)
        QCOMPARE(sqlite3_exec(running, "insert into data (a, day1) values ('logged', '2026-02-01')", nullptr, nullptr,
                              nullptr),
                 SQLITE_OK);
    QVERIFY(writeBytes(source, bytesOf(runningPath)));
    if (loggedRows > 0)
        QVERIFY(writeBytes(source + QStringLiteral("-wal"), bytesOf(runningPath + QStringLiteral("-wal"))));
    sqlite3_close(running);
    const QStringList before = entries(media);
    const QByteArray sourceBefore = bytesOf(source);
    // Read-only media (as far as the file system lets this user be refused).
    QVERIFY(QFile::setPermissions(media, QFile::ReadOwner | QFile::ExeOwner));

    QString kept;
    const bool restored = backup::restore(source, shop, &kept, &error);
    QFile::setPermissions(media, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY2(restored, qPrintable(error));
    QCOMPARE(askSound(shop, kCount), 40 + loggedRows);
    QCOMPARE(bytesOf(source), sourceBefore);
    if (loggedRows == 0)
        QCOMPARE(entries(media), before);
}

void TestBackup::leftoversOfKilledRunsAreRemoved()
{
    QTemporaryDir dir;
    QString error;
    {
        Database db;
        QVERIFY2(makeShop(db, dir.filePath(QStringLiteral("data.mdb")), 1, &error), qPrintable(error));
    }
    // A run of another process that is still at work: its file is in use.
    NewDatabaseFile live(dir.filePath(QStringLiteral("data.mdb")));
    QVERIFY2(live.reserve(&error), qPrintable(error));
    QVERIFY(age(live.tempPath(), 3600));

    struct File
    {
        QString name;
        int secondsAgo; // -1: made now, after this process started
        bool stays;
    };
    const QList<File> files{
        {QStringLiteral("data.mdb.1a2b3c.new"), 3600, false},
        {QStringLiteral("data.mdb.1a2b3c.new-journal"), 3600, false},
        {QStringLiteral("data-before-restore-2026-12-10-093015.mdb.abcdef.new"), 3600, false},
        {QStringLiteral("data.mdb.bbbbbb.new-wal"), 3600, false}, // its database file already gone
        {QStringLiteral("data.mdb.4d5e6f.new"), -1, true},        // a run that began after this process
        {QStringLiteral("data.mdb.4d5e6f.new-wal"), 3600, true},  // beside that run's file
        {QStringLiteral("other.mdb.123456.new"), 3600, true},     // another file's
        {QStringLiteral("data.mdb.12345.new"), 3600, true},       // not the temporary name's form
        {QStringLiteral("data.mdb.ABCDEF.new"), 3600, true},
        {QStringLiteral("data.mdb.1a2b3c.new.txt"), 3600, true},
        {QStringLiteral("xdata.mdb.1a2b3c.new"), 3600, true},
    };
    for (const File& f : files) {
        QVERIFY(writeBytes(dir.filePath(f.name), "left behind"));
        if (f.secondsAgo >= 0)
            QVERIFY(age(dir.filePath(f.name), f.secondsAgo));
    }
    // Only regular files: a link of the right name stays, and so does what it names.
    QVERIFY(QFile::link(QStringLiteral("other.mdb.123456.new"), dir.filePath(QStringLiteral("data.mdb.aaaaaa.new"))));
    QVERIFY(age(dir.filePath(QStringLiteral("data.mdb.aaaaaa.new")), 3600));

    QStringList expected{QStringLiteral("data.mdb"), QStringLiteral("data.mdb.aaaaaa.new"),
                         QFileInfo(live.tempPath()).fileName()};
    for (const File& f : files)
        if (f.stays)
            expected << f.name;
    expected.sort();
    QCOMPARE(backup::removeLeftovers(dir.filePath(QStringLiteral("data.mdb"))),
             int(files.size() + 3 - expected.size()));
    QCOMPARE(entries(dir.path()), expected);
}

QTEST_GUILESS_MAIN(TestBackup)
#include "tst_backup.moc"
