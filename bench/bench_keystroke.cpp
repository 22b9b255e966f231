// What a keystroke in the stock search costs, beside the bare engine scan of
// the same statement on the same file.
//
// Usage: bench_keystroke [ROWS...]          default: 20000 100000
//        TARVIK_BENCH_MILLION=1 bench_keystroke   adds 1000000 (takes a few minutes)
// Run it offscreen (QT_QPA_PLATFORM=offscreen). Prints one line per case:
//   case=<name> rows=<n> median_ms=<x> raw_scan_ms=<y> ratio=<x/y>
// measured end to end in a logged-in main window: the text typed into the
// search box, the filter, the grid model and a repaint of the grid; then
//   reload rows=<n> median_ms=<x>          "全部记录" with the lists and a repaint
//   login rows=<n> median_ms=<x> list_filled_ms=<y>   login button to a painted, usable
//                                          window; to the stock list filled (read in the background)
//   sort rows=<n> column=<field> median_ms=<x> first_ms=<y>   title sorts, repainted
//   rss_mb rows=<n> value=<x> peak=<y>     memory of the process
//   paints rows=<n> grid=<count>           paint events the rows received (0: nothing was measured)
// and, with filter_ prefixed, the filter alone, plus load and page-cache lines.

#include "benchsupport.h"

#include "app/tmainform.h"
#include "stock/stocksearchbox.h"
#include "store/db/database.h"
#include "store/memory/memtable.h"
#include "store/memory/stockfilter.h"
#include "store/memory/stockqueries.h"
#include "store/ops/tdmfm.h"
#include "ui/datagrid.h"
#include "users/tloginfm.h"

#include <sqlite3.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

const QStringList kLikeColumns{QStringLiteral("d"), QStringLiteral("e"), QStringLiteral("f"),
                               QStringLiteral("c"), QStringLiteral("z"), QStringLiteral("g")};

double rssMb()
{
    return statusMb("VmRSS:");
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
    if (!growStock(db, seedRows, rows, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    return t.commit(&error);
}

void endToEnd(const QString& path, int rows, const QString& code13)
{
    double login = 0;
    double loginLoaded = 0;
    {
        std::vector<double> times, loaded;
        for (int i = 0; i < 3; ++i) {
            LoginSession s;
            if (!s.start(ShopLocation::file(path)))
                return;
            times.push_back(s.loginMs);
            loaded.push_back(s.loadedMs);
        }
        std::sort(times.begin(), times.end());
        std::sort(loaded.begin(), loaded.end());
        login = times[1];
        loginLoaded = loaded[1];
    }
    LoginSession s;
    if (!s.start(ShopLocation::file(path)))
        return;
    std::printf("login rows=%d median_ms=%.1f list_filled_ms=%.1f\n", rows, login, loginLoaded);
    TMainForm& main = *s.main;
    StockSearchBox* box = main.searchBox();
    PaintCounter painted(main.grid()->view()->viewport());
    const auto zero = stockq::ZeroStock::Shown;
    const int runs = rows >= 1000000 ? 5 : 21; // many: a shared machine's noise comes in bursts
    const auto paint = [] { paintPending(); };
    const auto report = [&](const char* name, double ms, double raw) {
        std::printf("case=%s rows=%d median_ms=%.3f raw_scan_ms=%.2f ratio=%.4f\n", name, rows, ms, raw, ms / raw);
        std::fflush(stdout);
    };
    const auto raw = [&](const stockq::Conditions& c) {
        return medianMs([&] { rawScan(s.dm.db(), stockq::search(zero, c)); }, runs);
    };
    const auto emptyBoxes = [&] {
        for (QLineEdit* e : {box->nameBox(), box->modelBox(), box->codeBox(), box->remarkBox()})
            e->clear();
        paint();
    };
    // A first keystroke into empty boxes.
    const auto first = [&](const char* name, QLineEdit* edit, const QString& text) {
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) {
            emptyBoxes();
            QElapsedTimer t;
            t.start();
            edit->setText(text);
            paint();
            times.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        std::sort(times.begin(), times.end());
        stockq::Conditions c;
        (edit == box->codeBox() ? c.code : c.nameInitials) = text;
        report(name, times[times.size() / 2], raw(c));
    };
    {
        // "查询" with every box empty.
        emptyBoxes();
        const double ms = medianMs(
            [&] {
                box->searchButton()->click();
                paint();
            },
            runs);
        report("none", ms, raw({}));
    }
    first("l", box->nameBox(), QStringLiteral("l"));
    first("fylq", box->nameBox(), QStringLiteral("fylq"));
    first("code", box->codeBox(), QStringLiteral("6912"));
    {
        // "q" typed after "l".
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) {
            emptyBoxes();
            box->nameBox()->setText(QStringLiteral("l"));
            paint();
            QElapsedTimer t;
            t.start();
            box->nameBox()->insert(QStringLiteral("q"));
            paint();
            times.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        std::sort(times.begin(), times.end());
        stockq::Conditions c;
        c.nameInitials = QStringLiteral("lq");
        report("lq", times[times.size() / 2], raw(c));
    }
    {
        // A scanner sends 13 digits, each a search and a repaint.
        std::vector<double> times;
        for (int i = 0; i < std::max(3, runs / 2); ++i) {
            emptyBoxes();
            QElapsedTimer t;
            t.start();
            for (const QChar ch : code13) {
                box->codeBox()->insert(QString(ch));
                paint();
            }
            times.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        std::sort(times.begin(), times.end());
        const double rawMs = medianMs(
            [&] {
                stockq::Conditions c;
                for (int k = 1; k <= code13.size(); ++k) {
                    c.code = code13.left(k);
                    rawScan(s.dm.db(), stockq::search(zero, c));
                }
            },
            std::max(3, runs / 2));
        report("scan13", times[times.size() / 2], rawMs);
    }
    emptyBoxes();
    const double reload = medianMs(
        [&] {
            main.reloadStockList();
            paint();
        },
        runs);
    std::printf("reload rows=%d median_ms=%.1f\n", rows, reload);
    for (const QString& field : {QStringLiteral("a"), QStringLiteral("7")}) {
        std::vector<double> times;
        bool descending = true;
        for (int i = 0; i < runs; ++i) {
            QElapsedTimer t;
            t.start();
            s.dm.stock().list().sort(descending ? field + QStringLiteral(" DESC") : field);
            paint();
            times.push_back(double(t.nsecsElapsed()) / 1e6);
            descending = !descending;
        }
        const double firstMs = times.front();
        std::sort(times.begin(), times.end());
        std::printf("sort rows=%d column=%s median_ms=%.1f first_ms=%.1f\n", rows, qPrintable(field),
                    times[times.size() / 2], firstMs);
    }
    std::printf("rss_mb rows=%d value=%.1f peak=%.1f\n", rows, rssMb(), statusMb("VmHWM:"));
    std::printf("paints rows=%d grid=%d\n", rows, painted.count);
    std::fflush(stdout);
}

void run(int rows)
{
    QTemporaryDir dir;
    if (!buildShop(dir.path(), rows))
        return;
    {
        // A code that exists, for the scanner case.
        Database probe;
        QString error;
        QueryResult r;
        if (!probe.open(dir.filePath(QStringLiteral("data.mdb")), false, &error) ||
            !probe.query(Statement{QStringLiteral("select c from data where rowid=?"), {qint64(rows / 2)}}, &r, &error))
            return;
        const QString code = r.rows.value(0).value(0).toString();
        probe.close();
        endToEnd(dir.filePath(QStringLiteral("data.mdb")), rows, code);
    }
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
    std::printf("filter_rss_mb rows=%d value=%.1f\n", rows, rssMb());
    std::printf("memtable_mb rows=%d value=%.1f\n", rows, double(table.memoryBytes()) / (1024.0 * 1024.0));

    // A code that exists, for the scanner case.
    const int codeCol = table.columnIndex(QStringLiteral("c"));
    const std::string_view codeBytes = table.utf8(table.positionsInRowIdOrder()[size_t(rows / 2)], codeCol);
    const QString code13 = QString::fromUtf8(codeBytes.data(), qsizetype(codeBytes.size()));

    std::vector<int> hits;
    const int runs = rows >= 1000000 ? 5 : 21; // many: a shared machine's noise comes in bursts
    auto report = [&](const char* name, double ms, double raw) {
        std::printf("filter_case=%s rows=%d median_ms=%.3f raw_scan_ms=%.2f ratio=%.4f\n", name, rows, ms, raw,
                    ms / raw);
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
    QApplication app(argc, argv);
    // Settings of the bench's own, never a real shop's.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
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
