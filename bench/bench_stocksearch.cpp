// Times what a keystroke in the search box costs: one search statement over
// the stock table and its load into the stock list, on a filled database.
// Usage: bench_stocksearch [STOCK-ROWS]   (prints medians of repeated runs)

#include "benchsupport.h"

#include "core/messageport.h"
#include "store/memory/stockqueries.h"
#include "store/ops/tdmfm.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kRuns = 15;

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString rows = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("20000");
    QTemporaryDir dir;
    const QString admin = QCoreApplication::applicationDirPath() + QStringLiteral("/tarvik-admin");
    if (QProcess::execute(admin, {QStringLiteral("demo"), QStringLiteral("--stock"), rows, QStringLiteral("--sales"),
                                  QStringLiteral("2000"), dir.path()}) != 0) {
        std::fprintf(stderr, "could not fill the sample database with %s\n", qPrintable(admin));
        return 1;
    }
    Tdmfm dm;
    if (const Result<void> opened = dm.open(dir.filePath(QStringLiteral("data.mdb"))); !opened) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.error().text));
        return 1;
    }
    auto search = [&](stockq::Conditions c) {
        return [&dm, c] { (void)dm.OpenQuery(dm.stock().list(), stockq::search(stockq::ZeroStock::Shown, c)); };
    };
    stockq::Conditions none, initials, initials2, code, category;
    initials.nameInitials = QStringLiteral("l");
    initials2.nameInitials = QStringLiteral("lq");
    code.code = QStringLiteral("6912");
    category.category = QStringLiteral("球类");
    std::printf("stock rows: %s (medians of %d runs, ms)\n", qPrintable(rows), kRuns);
    std::printf("reload (全部记录)          %8.2f\n",
                medianMs([&] { (void)dm.OpenQuery(dm.stock().list(), stockq::listAll(stockq::ZeroStock::Shown)); }, kRuns));
    std::printf("search, no condition      %8.2f\n", medianMs(search(none), kRuns));
    std::printf("search, initials 'l'      %8.2f\n", medianMs(search(initials), kRuns));
    std::printf("search, initials 'lq'     %8.2f\n", medianMs(search(initials2), kRuns));
    std::printf("search, code '6912'       %8.2f\n", medianMs(search(code), kRuns));
    std::printf("search, category          %8.2f\n", medianMs(search(category), kRuns));
    std::printf("sort loaded rows by [7]   %8.2f\n",
                medianMs([&] { dm.stock().list().sort(QStringLiteral("7 DESC")); }, kRuns));
    return 0;
}
