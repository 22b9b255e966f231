// What a keystroke in the stock search costs with the in-memory stock table,
// beside the bare engine scan of the same statement on the same file.
//
// Usage: bench_keystroke [ROWS...]          default: 20000 100000
//        TARVIK_BENCH_MILLION=1 bench_keystroke   adds 1000000 (takes a few minutes)
// Prints one line per case:
//   case=<name> rows=<n> median_ms=<x> raw_scan_ms=<y> ratio=<x/y>
// and load, memory and page-cache lines.

#include "store/database.h"
#include "store/memtable.h"
#include "store/stockfilter.h"
#include "store/stockqueries.h"

#include <sqlite3.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

const QStringList kLikeColumns{QStringLiteral("d"), QStringLiteral("e"), QStringLiteral("f"),
                               QStringLiteral("c"), QStringLiteral("z"), QStringLiteral("g")};

double medianMs(const std::function<void()>& work, int runs)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double rssMb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

// Steps through every row of the statement without reading a value: what the
// engine alone costs for it.
void rawScan(Database& db, const Statement& st)
{
    sqlite3_stmt* s = nullptr;
    const QByteArray sql = st.sql.toUtf8();
    if (sqlite3_prepare_v2(db.handle(), sql.constData(), int(sql.size()), &s, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", sqlite3_errmsg(db.handle()));
        return;
    }
    for (int i = 0; i < st.params.size(); ++i) {
        const QByteArray v = st.params.at(i).toString().toUtf8();
        sqlite3_bind_text(s, i + 1, v.constData(), int(v.size()), SQLITE_TRANSIENT);
    }
    while (sqlite3_step(s) == SQLITE_ROW) {
    }
    sqlite3_finalize(s);
}

// A demo shop of `rows` stock rows: the admin tool's sample articles and
// sales, then copies of them with fresh codes, in one transaction.
bool buildShop(const QString& folder, int rows)
{
    const QString admin = QCoreApplication::applicationDirPath() + QStringLiteral("/tarvik-admin");
    const int seedRows = std::min(rows, 3000);
    if (QProcess::execute(admin, {QStringLiteral("demo"), QStringLiteral("--stock"), QString::number(seedRows),
                                  QStringLiteral("--sales"), QStringLiteral("1500"), folder}) != 0) {
        std::fprintf(stderr, "could not fill the sample database with %s\n", qPrintable(admin));
        return false;
    }
    Database db;
    QString error;
    if (!db.open(folder + QStringLiteral("/data.mdb"), false, &error))
        return false;
    db.exec(QStringLiteral("PRAGMA synchronous = OFF"), &error);
    Transaction t(db);
    for (int have = seedRows; have < rows;) {
        const int take = std::min(seedRows, rows - have);
        const Statement copy{
            QStringLiteral("insert into data (a,b,c,d,e,f,g,[1],[2],[3],[4],[5],[6],[7],[8],z,day1) "
                           "select a,b,'69' || substr('00000000000' || (abs(random()) % 100000000000), -11),"
                           "d,e,f,g,[1],[2],[3],[4],[5],[6],[7],[8],z,day1 from data where rowid <= ?"),
            {take}};
        if (!db.exec(copy, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return false;
        }
        have += take;
    }
    return t.commit(&error);
}

void run(int rows)
{
    QTemporaryDir dir;
    if (!buildShop(dir.path(), rows))
        return;
    Database db;
    QString error;
    if (!db.open(dir.filePath(QStringLiteral("data.mdb")), false, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return;
    }
    const auto zero = stockq::ZeroStock::Shown;
    const Statement everything = stockq::search(zero, {});

    // The page cache: the engine's default against what the connection sets.
    QueryResult r;
    db.query(Statement{QStringLiteral("PRAGMA cache_size"), {}}, &r, &error);
    const QString opened = r.rows.value(0).value(0).toString();
    db.exec(QStringLiteral("PRAGMA cache_size = -2000"), &error);
    rawScan(db, everything);
    const double before = medianMs([&] { rawScan(db, everything); }, 5);
    db.exec(QStringLiteral("PRAGMA cache_size = %1").arg(opened), &error);
    rawScan(db, everything);
    const double after = medianMs([&] { rawScan(db, everything); }, 5);
    std::printf("cache rows=%d setting=-2000 raw_scan_ms=%.2f\n", rows, before);
    std::printf("cache rows=%d setting=%s raw_scan_ms=%.2f\n", rows, qPrintable(opened), after);

    MemTable table(db, QStringLiteral("data"), kLikeColumns);
    const double load = medianMs([&] { table.load(&error); }, 3);
    std::printf("load rows=%d median_ms=%.2f\n", table.rowCount(), load);
    std::printf("rss_mb rows=%d value=%.1f\n", rows, rssMb());
    std::printf("memtable_mb rows=%d value=%.1f\n", rows, double(table.memoryBytes()) / (1024.0 * 1024.0));

    // A code that exists, for the scanner case.
    const int codeCol = table.columnIndex(QStringLiteral("c"));
    const std::string_view codeBytes = table.utf8(table.positionsInRowIdOrder()[size_t(rows / 2)], codeCol);
    const QString code13 = QString::fromUtf8(codeBytes.data(), qsizetype(codeBytes.size()));

    std::vector<int> hits;
    const int runs = rows >= 1000000 ? 5 : 9;
    auto report = [&](const char* name, double ms, double raw) {
        std::printf("case=%s rows=%d median_ms=%.3f raw_scan_ms=%.2f ratio=%.4f\n", name, rows, ms, raw, ms / raw);
        std::fflush(stdout);
    };
    // A first keystroke: nothing to narrow (a fresh filter each run).
    auto fresh = [&](const char* name, const stockq::Conditions& c) {
        const double ms = medianMs(
            [&] {
                StockFilter f(table);
                f.search(zero, c, &hits, &error);
            },
            runs);
        report(name, ms, medianMs([&] { rawScan(db, stockq::search(zero, c)); }, runs));
    };
    stockq::Conditions none, l, lq, fylq, code;
    l.nameInitials = QStringLiteral("l");
    lq.nameInitials = QStringLiteral("lq");
    fylq.nameInitials = QStringLiteral("fylq");
    code.code = QStringLiteral("6912");
    fresh("none", none);
    fresh("l", l);
    fresh("fylq", fylq);
    fresh("code", code);
    {
        // "lq" as typed: the keystroke after "l" narrows its hits.
        StockFilter f(table);
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) {
            f.search(zero, l, &hits, &error);
            QElapsedTimer t;
            t.start();
            f.search(zero, lq, &hits, &error);
            times.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        std::sort(times.begin(), times.end());
        report("lq", times[times.size() / 2], medianMs([&] { rawScan(db, stockq::search(zero, lq)); }, runs));
    }
    {
        // A scanner typing a 13-digit code: 13 searches, each narrowing the last.
        const double ms = medianMs(
            [&] {
                StockFilter f(table);
                stockq::Conditions c;
                for (int k = 1; k <= code13.size(); ++k) {
                    c.code = code13.left(k);
                    f.search(zero, c, &hits, &error);
                }
            },
            runs);
        const double raw = medianMs(
            [&] {
                stockq::Conditions c;
                for (int k = 1; k <= code13.size(); ++k) {
                    c.code = code13.left(k);
                    rawScan(db, stockq::search(zero, c));
                }
            },
            std::max(3, runs / 2));
        report("scan13", ms, raw);
    }
    {
        // The first call sorts by stock-in date; later ones reuse that order until the rows change.
        const double first = medianMs(
            [&] {
                StockFilter f(table);
                hits = f.listAll(zero);
            },
            3);
        StockFilter f(table);
        hits = f.listAll(zero);
        const double again = medianMs([&] { hits = f.listAll(zero); }, 3);
        std::printf("listall rows=%d first_ms=%.2f again_ms=%.2f\n", rows, first, again);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(QString::fromLocal8Bit(argv[i]).toInt());
    if (sizes.empty())
        sizes = {20000, 100000};
    if (qEnvironmentVariableIntValue("TARVIK_BENCH_MILLION") == 1)
        sizes.push_back(1000000);
    for (const int rows : sizes)
        if (rows > 0)
            run(rows);
    return 0;
}
