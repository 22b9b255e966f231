// Charts and summary bench, on a copy of a big shop (by default
// /work/big/sales1m.mdb: 100,000 stock rows, about 1,000,000 sale rows):
//   case=chart_month  "查询利润" of the month chart end to end: the month
//                     totals of a year from the in-memory sale table, put into
//                     the chart, painted;
//   case=chart_day    the same for the day chart of one month;
//   case=summary      the summary window's refresh at 100,000 stock rows: the
//                     per-article sums into the grid, painted.
// Each line gives the median over the runs beside the engine running the
// equivalent statement on the file (raw_scan_ms) and their ratio, and the
// median CPU time of the process per run (cpu_ms). The first
// summary also pays for the Chinese sort keys of the article texts; it is
// printed as first_ms.
//
//   bench_charts [shop.mdb] [--picture file.png] [--summary]
// --picture writes the charts page for the last full year of the shop;
// --summary runs the summary case alone (the sale table is not loaded).

#include "benchsupport.h"

#include "app/startup.h"

#include "core/messageport.h"
#include "sales/saleschartspage.h"
#include "sales/tform1.h"
#include "store/memory/memtable.h"
#include "store/ops/salescharts.h"
#include "store/ops/tdmfm.h"
#include "ui/datagrid.h"

#include <QApplication>
#include <QBarSet>
#include <QChartView>
#include <QComboBox>
#include <QDate>
#include <QFile>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>

namespace {

// Median of the process's CPU time per run, in milliseconds: on a machine
// shared with other work it tells what a run costs when it has a core to itself.
double medianCpuMs(const std::function<void()>& work, int runs)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        timespec a{}, b{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &a);
        work();
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &b);
        times.push_back(double(b.tv_sec - a.tv_sec) * 1e3 + double(b.tv_nsec - a.tv_nsec) / 1e6);
    }
    return median(std::move(times));
}

double engineMs(Database& db, const Statement& st, int runs)
{
    return medianMs(
        [&] {
            QueryResult r;
            QString error;
            if (!db.query(st, &r, &error))
                std::fprintf(stderr, "%s\n", qPrintable(error));
        },
        runs);
}

void line(const char* name, int rows, double ms, double raw, double cpu)
{
    std::printf("case=%s rows=%d median_ms=%.2f raw_scan_ms=%.1f ratio=%.4f cpu_ms=%.2f\n", name, rows, ms, raw,
                ms / raw, cpu);
    std::fflush(stdout);
}

// The two chart cases over the in-memory sale table; false when it cannot be read.
bool charts(Tdmfm& dm, const QString& picture)
{
    QElapsedTimer load;
    load.start();
    if (!dm.sales().fresh())
        return false;
    const int saleRows = dm.sales().table().rowCount();
    std::fprintf(stderr, "sale table loaded: %d rows in %lld ms\n", saleRows, load.elapsed());

    // The year before the newest sale's: a full year of sales.
    const MemTable& sales = dm.sales().table();
    const int dayCol = sales.columnIndex(QStringLiteral("day1"));
    int newest = 0;
    for (const int pos : sales.positionsInRowIdOrder()) {
        int y, m, d;
        const auto t = sales.utf8(pos, dayCol);
        if (salescharts::dateParts(t, &y, &m, &d))
            newest = std::max(newest, y);
    }
    const int year = newest - 1;
    const int month = 6;

    SalesChartsPage page(dm);
    page.resize(1000, 560);
    page.show();
    page.monthChartYearBox()->setCurrentText(QString::number(year));
    page.dayChartYearBox()->setCurrentText(QString::number(year));
    page.monthBox()->setCurrentText(QString::number(month));
    QApplication::processEvents();
    const int runs = 21;
    const auto monthChart = [&] {
        page.monthProfitButton()->click();
        page.monthChart()->viewport()->repaint();
    };
    const double monthMs = medianMs(monthChart, runs);
    const double monthCpu = medianCpuMs(monthChart, runs);
    const double monthRaw = engineMs(dm.db(), salescharts::monthStatement(salescharts::Measure::Profit, year), 3);
    line("chart_month", saleRows, monthMs, monthRaw, monthCpu);
    const auto dayChart = [&] {
        page.dayProfitButton()->click();
        page.dayChart()->viewport()->repaint();
    };
    const double dayMs = medianMs(dayChart, runs);
    const double dayCpu = medianCpuMs(dayChart, runs);
    const double dayRaw = engineMs(dm.db(), salescharts::dayStatement(salescharts::Measure::Profit, year, month), 3);
    line("chart_day", saleRows, dayMs, dayRaw, dayCpu);
    if (!picture.isEmpty()) {
        page.monthProfitButton()->click();
        page.daySalesButton()->click();
        QApplication::processEvents();
        page.grab().save(picture);
    }
    page.hide();
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Fonts, style and texts as the program sets them.
    startup::configureApplication(app);
    PrintingPort port;
    setMessagePort(&port);
    QString source = QStringLiteral("/work/big/sales1m.mdb");
    QString picture;
    bool summaryOnly = false;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--picture") && i + 1 < args.size())
            picture = args.at(++i);
        else if (args.at(i) == QLatin1String("--summary"))
            summaryOnly = true;
        else
            source = args.at(i);
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.mdb"));
    if (!QFile::copy(source, path)) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(source));
        return 1;
    }
    Tdmfm dm;
    if (const Result<void> opened = dm.open(path); !opened) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.error().text));
        return 1;
    }
    if (!summaryOnly && !charts(dm, picture))
        return 1;

    TForm1 summary(dm, [] { return QStringLiteral("bench"); });
    QElapsedTimer first;
    first.start();
    summary.show();
    QApplication::processEvents();
    summary.grid()->view()->viewport()->repaint();
    const double firstMs = double(first.nsecsElapsed()) / 1e6;
    const int stockRows = dm.stock().table().rowCount();
    const auto refresh = [&] {
        summary.refresh();
        summary.grid()->view()->viewport()->repaint();
    };
    const double summaryMs = medianMs(refresh, 11);
    const double summaryCpu = medianCpuMs(refresh, 11);
    // The statement as the summary has always run it.
    const double summaryRaw =
        engineMs(dm.db(),
                 Statement{QStringLiteral("sELECT a,b,c,d, sum([2]) AS 进货数量,sum([3]) AS 进货金额,"
                                          "sum([5]) AS 销售数量,sum([6]) AS 销售金额, sum([7]) AS "
                                          "库存数量,sum([8]) AS 库存金额 FROM data GROUP BY a,b,c,d "),
                           {}},
                 3);
    std::printf("case=summary rows=%d median_ms=%.2f raw_scan_ms=%.1f ratio=%.4f cpu_ms=%.2f first_ms=%.1f "
                "articles=%d\n",
                stockRows, summaryMs, summaryRaw, summaryMs / summaryRaw, summaryCpu, firstMs,
                dm.stock().summary().rowCount());
    return port.failures == 0 ? 0 : 1;
}
