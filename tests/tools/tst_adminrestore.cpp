#include "adminrun.h"
#include "filebytes.h"
#include "store/db/database.h"
#include "store/db/schema.h"

#include "testdb.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <sys/stat.h>

namespace {

using Run = AdminRun;

Run admin(const QStringList& args, const QString& cwd)
{
    return runAdmin(args, cwd);
}

// A delivered database at `path` whose stock table holds `rows` rows.
bool makeShop(const QString& path, int rows, QString* error)
{
    Database db;
    if (!db.open(path, true, error) || !schema::createDelivered(db, error))
        return false;
    Transaction t(db);
    for (int i = 0; i < rows; ++i)
        if (!db.exec(Statement{QStringLiteral("insert into data (a, b, c, [2], [7], day1) values (?, ?, ?, 10, 10, "
                                              "'2026-01-05')"),
                               {QStringLiteral("商品%1").arg(i), QStringLiteral("规格%1").arg(i % 37),
                                QStringLiteral("69%1").arg(i, 11, 10, QLatin1Char('0'))}},
                     error))
            return false;
    return t.commit(error);
}

// The number of stock rows of the database file at `path` when it opens with
// the password and passes the engine's checks; -1 otherwise, with the reason.
qint64 soundRows(const QString& path, QString* why)
{
    Database db;
    QueryResult r;
    if (!db.open(path, false, why))
        return -1;
    const QStringList problems = schema::check(db);
    if (!problems.isEmpty()) {
        *why = problems.join(QStringLiteral("; "));
        return -1;
    }
    if (!db.query(Statement{QStringLiteral("select count(*) from data"), {}}, &r, why))
        return -1;
    return r.rows.at(0).at(0).toLongLong();
}

// The identity of the file at `path`; 0 when there is none. A rename over the
// path gives it another.
ino_t inodeOf(const QString& path)
{
    struct stat st = {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

// Waits (without sleeping, so that no step of the child is missed) until
// `ready` holds or the child has had `limitMs`; false when it never held.
template<typename Ready>
bool spinUntil(Ready ready, qint64 limitMs)
{
    QElapsedTimer t;
    t.start();
    while (!ready())
        if (t.elapsed() > limitMs)
            return false;
    return true;
}

// A folder where a kill tests what the program does, not how fast the disk syncs.
QString scratchRoot()
{
    return QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm/tarvik-restore-XXXXXX")
                                                              : QString();
}

} // namespace

class TestAdminRestore : public QObject
{
    Q_OBJECT

private slots:
    void backupAndRestoreCommands();
    void restoreKilledAtAnyMomentLeavesOldOrNew();
};

void TestAdminRestore::backupAndRestoreCommands()
{
    QTemporaryDir dir;
    QString error;
    QVERIFY2(makeShop(dir.filePath(QStringLiteral("data.mdb")), 5, &error), qPrintable(error));

    Run r = admin({QStringLiteral("backup"), QStringLiteral("b.mdb")}, dir.path());
    QCOMPARE(r.code, 0);
    QCOMPARE(soundRows(dir.filePath(QStringLiteral("b.mdb")), &error), 5);
    // A long copy says how far it has come: a line a step in a log.
    QVERIFY2(r.err.startsWith(QStringLiteral("backup: copying ")), qPrintable(r.err));
    QVERIFY2(r.err.endsWith(QStringLiteral("backup: checking the copy\n")), qPrintable(r.err));
    QVERIFY(writeBytes(dir.filePath(QStringLiteral("notes.txt")), "not a database"));
    // A link to the copy elsewhere (on a USB stick) updates that copy and stays a link.
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("usb")));
    QVERIFY(writeBytes(dir.filePath(QStringLiteral("usb/b.mdb")), "an older backup"));
    QVERIFY(QFile::link(QStringLiteral("usb/b.mdb"), dir.filePath(QStringLiteral("link.mdb"))));
    r = admin({QStringLiteral("backup"), QStringLiteral("link.mdb")}, dir.path());
    QCOMPARE(r.code, 0);
    QCOMPARE(soundRows(dir.filePath(QStringLiteral("usb/b.mdb")), &error), 5);
    QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("link.mdb"))).symLinkTarget(),
             dir.filePath(QStringLiteral("usb/b.mdb")));
    const QString pipe = dir.filePath(QStringLiteral("pipe"));
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0644), 0);

    // Failures: exit 1, one line, data.mdb as it was.
    const QString before = contentOf(dir.filePath(QStringLiteral("data.mdb")));
    QVERIFY(!before.isEmpty());
    const QList<QStringList> failing{
        {QStringLiteral("restore"), QStringLiteral("notes.txt")},
        {QStringLiteral("restore"), QStringLiteral("missing.mdb")},
        {QStringLiteral("restore"), QStringLiteral("data.mdb")},
        {QStringLiteral("backup"), QStringLiteral("data.mdb")},
        {QStringLiteral("backup"), QStringLiteral("nowhere/b.mdb")},
        {QStringLiteral("backup"), QStringLiteral("pipe")},
    };
    for (const QStringList& args : failing) {
        r = admin(args, dir.path());
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.trimmed().count(QLatin1Char('\n')) == 0 && !r.err.trimmed().isEmpty(), qPrintable(r.err));
        QCOMPARE(contentOf(dir.filePath(QStringLiteral("data.mdb"))), before);
    }
    struct stat st = {};
    QVERIFY(::lstat(QFile::encodeName(pipe).constData(), &st) == 0 && S_ISFIFO(st.st_mode));

    QString other;
    QVERIFY(makeShop(dir.filePath(QStringLiteral("other.mdb")), 2, &other));
    r = admin({QStringLiteral("restore"), QStringLiteral("other.mdb")}, dir.path());
    QCOMPARE(r.code, 0);
    QCOMPARE(soundRows(dir.filePath(QStringLiteral("data.mdb")), &error), 2);
    const QStringList kept = QDir(dir.path()).entryList({QStringLiteral("data-before-restore-*.mdb")});
    QCOMPARE(kept.size(), 1);
    QVERIFY(r.out.contains(kept.at(0)));
    QCOMPARE(contentOf(dir.filePath(kept.at(0))), before);
}

void TestAdminRestore::restoreKilledAtAnyMomentLeavesOldOrNew()
{
    QTemporaryDir dir(scratchRoot());
    QVERIFY(dir.isValid());
    QString error;
    const int oldRows = 1500;
    const int newRows = 1000;
    const QString backupFile = dir.filePath(QStringLiteral("backup.mdb"));
    QVERIFY2(makeShop(dir.filePath(QStringLiteral("old.mdb")), oldRows, &error), qPrintable(error));
    QVERIFY2(makeShop(backupFile, newRows, &error), qPrintable(error));
    const QByteArray oldImage = bytesOf(dir.filePath(QStringLiteral("old.mdb")));
    QCOMPARE(soundRows(dir.filePath(QStringLiteral("old.mdb")), &error), oldRows);

    // How long a whole restore takes here; the kills fall anywhere in it.
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("timing")));
    const QString timing = dir.filePath(QStringLiteral("timing"));
    QVERIFY(writeBytes(timing + QStringLiteral("/data.mdb"), oldImage));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(admin({QStringLiteral("restore"), backupFile}, timing).code, 0);
    const qint64 wholeUs = std::max<qint64>(clock.nsecsElapsed() / 1000, 1000);

    // Where the kills fall. Two are placed by what the child has done, so
    // that both outcomes are always seen however loaded the machine is:
    // stopped once the new file has begun beside data.mdb (and data.mdb is
    // seen unchanged while the child stands still: the old file must stay),
    // and killed the moment data.mdb is another file (the new one must be
    // whole). The others are spread evenly over one and a half times the
    // measured restore, each at its own fixed moment.
    enum class Kill { WhileCopying, AfterSwap, AtTime };
    const int runs = 100;
    int sawOld = 0;
    int sawNew = 0;
    int timed = 0;
    bool placedOld = false;
    bool placedNew = false;
    for (int i = 0; i < runs; ++i) {
        // Should the child have swapped before it was stopped (it never has),
        // that run counts as any other and the stop comes again.
        const Kill kill = !placedOld && i < 10 ? Kill::WhileCopying : !placedNew ? Kill::AfterSwap : Kill::AtTime;
        const QString folder = dir.filePath(QStringLiteral("run%1").arg(i));
        const QString data = folder + QStringLiteral("/data.mdb");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeBytes(data, oldImage));
        const ino_t oldFile = inodeOf(data);
        QProcess p;
        p.setWorkingDirectory(folder);
        clock.restart();
        p.start(QStringLiteral(TARVIK_ADMIN_PATH), {QStringLiteral("restore"), backupFile});
        QVERIFY(p.waitForStarted());
        const pid_t pid = pid_t(p.processId());
        const qint64 limitMs = wholeUs / 1000 * 50 + 10000;
        qint64 killAt = -1;
        bool expectOld = false;
        switch (kill) {
        case Kill::WhileCopying:
            QVERIFY2(spinUntil(
                         [&] {
                             return !QDir(folder).entryList({QStringLiteral("*.new")}, QDir::Files).isEmpty();
                         },
                         limitMs),
                     "the restore made no new file");
            ::kill(pid, SIGSTOP);
            expectOld = inodeOf(data) == oldFile;
            break;
        case Kill::AfterSwap:
            QVERIFY2(spinUntil([&] { return inodeOf(data) != oldFile; }, limitMs), "data.mdb was never replaced");
            break;
        case Kill::AtTime: {
            killAt = (2 * timed + 1) * (wholeUs * 3 / 2) / (2 * (runs - 2));
            ++timed;
            const qint64 left = killAt - clock.nsecsElapsed() / 1000;
            if (left > 0)
                QThread::usleep(quint64(left));
            break;
        }
        }
        ::kill(pid, SIGKILL);
        p.waitForFinished(60000);

        // Nothing beside the file that the engine would apply to it on opening.
        for (const char* suffix : {"-journal", "-wal"})
            QVERIFY2(!QFile::exists(data + QLatin1String(suffix)), suffix);
        // The old file byte for byte is the sound old database; anything else
        // must be the new one, whole.
        const qint64 rows = bytesOf(data) == oldImage ? oldRows : soundRows(data, &error);
        const QString what =
            QStringLiteral("run %1 (kill %2, at %3 us): %4 rows (%5)").arg(i).arg(int(kill)).arg(killAt).arg(rows).arg(error);
        QVERIFY2(rows == oldRows || rows == newRows, qPrintable(what));
        if (kill == Kill::WhileCopying && expectOld) {
            QVERIFY2(rows == oldRows, qPrintable(what));
            placedOld = true;
        }
        if (kill == Kill::AfterSwap) {
            QVERIFY2(rows == newRows, qPrintable(what));
            placedNew = true;
        }
        (rows == oldRows ? sawOld : sawNew)++;
        QDir(folder).removeRecursively();
    }
    qInfo("restore of %lld us killed %d times: %d left the old database, %d the new one", wholeUs, runs, sawOld,
          sawNew);
    // The kills fell before and after the moment of the swap.
    QVERIFY(placedOld && placedNew);
    QVERIFY(sawOld > 0);
    QVERIFY(sawNew > 0);
}

QTEST_GUILESS_MAIN(TestAdminRestore)
#include "tst_adminrestore.moc"
