#include "store/backup.h"
#include "store/database.h"
#include "store/schema.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

namespace {

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

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
    sqlite3_stmt* st = nullptr;
    QCOMPARE(sqlite3_prepare_v2(raw, "PRAGMA journal_mode", -1, &st, nullptr), SQLITE_OK);
    QCOMPARE(sqlite3_step(st), SQLITE_ROW);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))), QByteArray("delete"));
    sqlite3_finalize(st);
    sqlite3_close(raw);
    QCOMPARE(askSound(target, kCount), 21);
}

QTEST_GUILESS_MAIN(TestBackup)
#include "tst_backup.moc"
