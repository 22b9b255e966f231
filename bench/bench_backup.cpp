// Backup bench: the admin tool's sample shop grown to about 100 MB (or the
// size in MB given as the first argument), then
//   case=backup   the backup window's copy of the open database: the engine's
//                 online backup into a temporary file, the check of the copy
//                 (integrity, tables, schema version) and the rename over the
//                 previous backup.
// The line gives the median over the runs, the rows and the file's size; then
//   rss_mb rows=<n> value=<x> peak=<y>   memory of the process after the backups.

#include "benchsupport.h"

#include "store/db/backup.h"
#include "store/db/database.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>
#include <vector>

namespace {

bool fail(const QString& text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
    return false;
}

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

qint64 number(Database& db, const QString& sql)
{
    QueryResult r;
    QString error;
    return db.query(Statement{sql, {}}, &r, &error) && !r.rows.isEmpty() ? r.rows.at(0).at(0).toLongLong() : -1;
}

// The sample shop with 100,000 stock rows, then sale rows added until the
// file holds `megabytes`.
bool buildShop(const QString& folder, qint64 megabytes, qint64* rows)
{
    const QString admin = QCoreApplication::applicationDirPath() + QStringLiteral("/tarvik-admin");
    const int seedRows = 3000;
    if (QProcess::execute(admin, {QStringLiteral("demo"), QStringLiteral("--stock"), QString::number(seedRows),
                                  QStringLiteral("--sales"), QStringLiteral("1500"), folder}) != 0)
        return fail(QStringLiteral("could not fill the sample database with ") + admin);
    Database db;
    QString error;
    if (!db.open(folder + QStringLiteral("/data.mdb"), false, &error))
        return fail(error);
    db.exec(QStringLiteral("PRAGMA synchronous = OFF"), &error);
    Transaction t(db);
    if (!growStock(db, seedRows, 100000, &error))
        return fail(error);
    const Statement sales{
        QStringLiteral("with recursive n(k) as (select 0 union all select k + 1 from n where k + 1 < 50000) "
                       "insert into data1 (a,b,c,d,e,f,g,z,[1],[2],[3],[4],a5,[6],day1,day2) "
                       "select '商品' || (k % 977), '型号' || (k % 13), 'C' || (k % 977), '球类', 'sp', 'xh', "
                       "'顾客' || (k % 501), strftime('%Y%m%d', '2023-01-01', '+' || (k / 1500) || ' days') || "
                       "printf('%03d', (k / 5) % 300 + 1), 10, 19.9, 1, 19.9, 9.9, 0, "
                       "strftime('%Y-%m-%d', '2023-01-01', '+' || (k / 1500) || ' days'), '2022-12-01' from n"),
        {}};
    const auto bytes = [&db] {
        return number(db, QStringLiteral("PRAGMA page_count")) * number(db, QStringLiteral("PRAGMA page_size"));
    };
    while (bytes() < megabytes * 1000 * 1000)
        if (!db.exec(sales, &error))
            return fail(error);
    if (!t.commit(&error))
        return fail(error);
    *rows = number(db, QStringLiteral("select count(*) from data")) +
            number(db, QStringLiteral("select count(*) from data1"));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const qint64 megabytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 100;
    QTemporaryDir dir;
    qint64 rows = 0;
    if (!buildShop(dir.path(), megabytes, &rows))
        return 1;
    Database db;
    QString error;
    if (!db.open(dir.path() + QStringLiteral("/data.mdb"), false, &error))
        return fail(error) ? 0 : 1;
    const QString target = dir.path() + QStringLiteral("/beifen.mdb");
    bool ok = true;
    // Processor time too: on a machine shared with other work the wall time
    // also counts the waits for a processor.
    std::vector<double> cpu;
    const double ms = medianMs(
        [&] {
            const double before = cpuMs();
            if (!backup::copyTo(db, target, &error)) {
                ok = false;
                fail(error);
            }
            cpu.push_back(cpuMs() - before);
        },
        5);
    if (!ok)
        return 1;
    std::printf("case=backup rows=%lld median_ms=%.1f cpu_ms=%.1f size_mb=%.1f\n", rows, ms, median(cpu),
                double(QFileInfo(dir.path() + QStringLiteral("/data.mdb")).size()) / 1e6);
    // What the process holds after the backups: their page caches are given back.
    std::printf("rss_mb rows=%lld value=%.1f peak=%.1f\n", rows, statusMb("VmRSS:"), statusMb("VmHWM:"));
    return 0;
}
