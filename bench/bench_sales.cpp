// What the sales detail window costs on a shop with about 1,000,000 sale rows,
// beside the bare engine scan of the same statements on the same file.
//
// Usage: bench_sales [--stock N] [--sales M] [FILE]
// FILE (copied, never written) defaults to the admin tool's demo shop of N stock
// rows (100,000) and M sales (1,000,000), made once and kept in the build folder.
// Run it offscreen (QT_QPA_PLATFORM=offscreen). Prints, end to end in a
// logged-in main window with the sales window open (the text typed or the
// button clicked, the filter, the grid model with its totals, a repaint):
//   case=<name> rows=<n> median_ms=<x> raw_scan_ms=<y> ratio=<x/y>
//   case=this_month rows=<n> median_ms=<x> raw_scan_ms=<y> ratio=<x/y>   "本 月"
//   case=month_<yyyy-mm> ...               a month that holds sales, by the same path
//   login rows=<n> usable_ms=<x>           the login button to a painted main window
//   background rows=<n> loaded_after_login_ms=<x>  the sale table read in the background, from the login
//   open rows=<n> first_ms=<x> at_once=<0|1>   the first showing: after that read, or at
//                                          once (TARVIK_BENCH_OPEN_AT_ONCE=1), waiting for its rest
//   rss_mb rows=<n> value=<x> peak=<y> memtable_mb=<z>   memory of the process with the
//                                          rows loaded: after the first showing, and after every case

#include "benchsupport.h"

#include "app/startup.h"
#include "app/tmainform.h"
#include "core/messageport.h"
#include "sales/txstj.h"
#include "store/db/database.h"
#include "store/memory/memtable.h"
#include "store/memory/salefilter.h"
#include "store/memory/salesearch.h"
#include "store/ops/tdmfm.h"
#include "ui/datagrid.h"
#include "ui/datefield.h"

#include <sqlite3.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

QString text(const MemTable& t, int pos, const QString& column)
{
    return t.value(pos, t.columnIndex(column)).toString();
}

void run(const QString& path)
{
    // The sale table is read in the background from the login on. The window
    // is opened once it is in, or at once (TARVIK_BENCH_OPEN_AT_ONCE=1: the
    // first showing then waits for the rest of the read).
    const bool atOnce = qEnvironmentVariableIntValue("TARVIK_BENCH_OPEN_AT_ONCE") == 1;
    LoginSession session;
    if (!session.start(ShopLocation::file(path), !atOnce))
        return;
    Tdmfm& dm = session.dm;
    TMainForm& main = *session.main;
    QString error;
    const double loginMs = session.loginMs;
    const double loadedMs = session.loadedMs;

    Txstj* w = main.salesWindow();
    PaintCounter painted(w->grid()->view()->viewport());
    const auto paint = [] { paintPending(); };
    QElapsedTimer opening;
    opening.start();
    w->openModal();
    paint();
    const double openMs = double(opening.nsecsElapsed()) / 1e6;
    const MemTable& table = dm.sales().table();
    const int rows = table.rowCount();
    std::printf("login rows=%d usable_ms=%.1f\n", rows, loginMs);
    if (!atOnce)
        std::printf("background rows=%d loaded_after_login_ms=%.1f\n", rows, loadedMs);
    std::printf("open rows=%d first_ms=%.1f at_once=%d\n", rows, openMs, atOnce ? 1 : 0);
    std::printf("rss_mb rows=%d value=%.1f peak=%.1f memtable_mb=%.1f\n", rows, statusMb("VmRSS:"), statusMb("VmHWM:"),
                double(table.memoryBytes()) / (1024.0 * 1024.0));
    std::fflush(stdout);

    // Values that occur, from a row in the middle.
    const int mid = table.positionsInRowIdOrder()[size_t(rows / 2)];
    const QString initials = text(table, mid, QStringLiteral("e"));
    const QString code = text(table, mid, QStringLiteral("c"));
    const QString customer = text(table, mid, QStringLiteral("g"));
    const QString number = text(table, mid, QStringLiteral("z"));
    const QString day = text(table, mid, QStringLiteral("day1"));

    const int runs = 7;
    const auto report = [&](const QString& name, double ms, double raw) {
        std::printf("case=%s rows=%d median_ms=%.3f raw_scan_ms=%.2f ratio=%.4f\n", qPrintable(name), rows, ms, raw,
                    ms / raw);
        std::fflush(stdout);
    };
    // TARVIK_BENCH_NO_RAW=1 skips the engine scans (ratios then read "inf"), for quick runs.
    const bool scans = !qEnvironmentVariableIsSet("TARVIK_BENCH_NO_RAW");
    // The scans are this bench's yardstick, not the program's work: they run
    // on a connection of their own with a small cache (each page is read once
    // per scan anyway), so that the memory lines tell the program's own.
    Database scanDb;
    if (scans) {
        QString scanError;
        if (!scanDb.open(dm.db().path(), false, &scanError) ||
            !scanDb.exec(QStringLiteral("PRAGMA cache_size = -2048"), &scanError)) {
            std::fprintf(stderr, "%s\n", qPrintable(scanError));
            return;
        }
    }
    const auto raw = [&](const salesearch::Query& q) {
        if (!scans)
            return 0.0;
        return medianMs([&] { rawScan(scanDb, salesearch::statement(q)); }, 3);
    };
    bool keepDates = false; // the date range stays ticked while boxes are emptied
    const auto emptyBoxes = [&] {
        w->dateCheck()->setChecked(keepDates);
        for (QLineEdit* e : {w->nameBox(), w->codeBox(), w->customerBox(), w->modelBox(), w->remarkBox()})
            e->clear();
        w->categoryList()->setCurrentText(QString());
        paint();
    };
    // A keystroke into the empty boxes: `before` typed untimed, then `key` timed.
    const auto keystroke = [&](const QString& name, QLineEdit* box, const QString& before, const QString& key) {
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) {
            emptyBoxes();
            if (!before.isEmpty()) {
                box->setText(before);
                paint();
            }
            QElapsedTimer t;
            t.start();
            box->insert(key);
            paint();
            times.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        salesearch::Conditions c = w->conditions();
        // The same search again without the window: the store's part of it.
        const double store = medianMs([&] { (void)dm.sales().show(salesearch::search(c)); }, 3);
        std::printf("store_part case=%s hits=%d median_ms=%.3f\n", qPrintable(name), dm.sales().list().rowCount(), store);
        report(name, median(times), raw(salesearch::search(c)));
    };
    {
        // The parts of a search: the filter alone (a fresh one, nothing to
        // narrow), then the list shown through the model without a repaint.
        salesearch::Conditions c;
        c.nameInitials = initials.left(1);
        std::vector<int> hits;
        const double filter = medianMs(
            [&] {
                SaleFilter f(table);
                f.run(salesearch::search(c), &hits, &error);
            },
            runs);
        const double shown = medianMs([&] { (void)dm.sales().show(salesearch::search(c)); }, runs);
        std::printf("parts rows=%d hits=%zu filter_ms=%.3f filter_and_model_ms=%.3f\n", rows, hits.size(), filter,
                    shown);
        c = {};
        c.customer = customer;
        const double customerFilter = medianMs(
            [&] {
                SaleFilter f(table);
                f.run(salesearch::search(c), &hits, &error);
            },
            runs);
        std::printf("parts case=customer hits=%zu filter_ms=%.3f\n", hits.size(), customerFilter);
        std::fflush(stdout);
    }
    keystroke(QStringLiteral("name_first_letter"), w->nameBox(), QString(), initials.left(1));
    keystroke(QStringLiteral("name_second_letter"), w->nameBox(), initials.left(1), initials.mid(1, 1));
    keystroke(QStringLiteral("name_initials"), w->nameBox(), QString(), initials);
    keystroke(QStringLiteral("code"), w->codeBox(), code.left(code.size() - 1), code.right(1));
    keystroke(QStringLiteral("customer"), w->customerBox(), QString(), customer);
    {
        // The slip group's sale number search, a click.
        emptyBoxes();
        w->saleNumberBox()->setText(number);
        QPushButton* find = w->button(QStringLiteral("销售单打印"), QStringLiteral("查 询"));
        const double ms = medianMs(
            [&] {
                find->click();
                paint();
            },
            runs);
        report(QStringLiteral("sale_number"), ms, raw(salesearch::saleNumberQuery(number)));
    }
    {
        // One month of sales by the date range, "查 询" clicked.
        emptyBoxes();
        const QDate d = QDate::fromString(day, QStringLiteral("yyyy-MM-dd"));
        w->fromDate()->setDate(QDate(d.year(), d.month(), 1));
        w->toDate()->setDate(QDate(d.year(), d.month(), d.daysInMonth()));
        w->dateCheck()->setChecked(true);
        QPushButton* find = w->button(QStringLiteral(" 快速拼音查询"), QStringLiteral("查 询"));
        const double ms = medianMs(
            [&] {
                find->click();
                paint();
            },
            runs);
        const salesearch::Conditions c = w->conditions();
        report(QStringLiteral("date_range"), ms, raw(salesearch::search(c)));
        // A name initial typed with the range ticked.
        keepDates = true;
        keystroke(QStringLiteral("date_range_name"), w->nameBox(), QString(), initials.left(1));
        keepDates = false;
    }
    emptyBoxes();
    {
        QPushButton* month = w->button(QStringLiteral(" 快速拼音查询"), QStringLiteral("本 月"));
        const double ms = medianMs(
            [&] {
                month->click();
                paint();
            },
            runs);
        std::printf("case=this_month rows=%d listed=%d median_ms=%.3f raw_scan_ms=%.2f ratio=%.4f\n", rows,
                    dm.sales().list().rowCount(), ms, raw(salesearch::thisMonth(QDate::currentDate())),
                    ms / raw(salesearch::thisMonth(QDate::currentDate())));
        // The same command on a month that holds sales (this month may hold none yet).
        const QDate d = QDate::fromString(day, QStringLiteral("yyyy-MM-dd"));
        const salesearch::Query q = salesearch::thisMonth(d);
        const double busy = medianMs(
            [&] {
                (void)dm.sales().show(q);
                dm.sales().list().last();
                paint();
            },
            runs);
        std::printf("case=month_%s rows=%d listed=%d median_ms=%.3f raw_scan_ms=%.2f ratio=%.4f\n",
                    qPrintable(d.toString(QStringLiteral("yyyy-MM"))), rows, dm.sales().list().rowCount(), busy, raw(q),
                    busy / raw(q));
    }
    {
        QPushButton* all = w->button(QStringLiteral(" 快速拼音查询"), QStringLiteral("全部记录"));
        const double ms = medianMs(
            [&] {
                all->click();
                paint();
            },
            3);
        report(QStringLiteral("all_records"), ms, raw(salesearch::all()));
    }
    std::printf("rss_mb rows=%d value=%.1f peak=%.1f memtable_mb=%.1f\n", rows, statusMb("VmRSS:"), statusMb("VmHWM:"),
                double(table.memoryBytes()) / (1024.0 * 1024.0));
    std::printf("paints rows=%d grid=%d\n", rows, painted.count);
    std::fflush(stdout);
    w->close();
}

} // namespace

int main(int argc, char** argv)
{
    const BenchApplication bench(argc, argv);
    PrintingPort port;
    setMessagePort(&port);
    QStringList args = QCoreApplication::arguments().mid(1);
    const DemoShopSize size = DemoShopSize::fromArguments(&args);
    const QString source = args.isEmpty() ? cachedDemoShop(size) : args.first();
    if (source.isEmpty())
        return 1;
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("data.mdb"));
    if (!QFile::copy(source, copy)) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(source));
        return 1;
    }
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    run(copy);
    return 0;
}
