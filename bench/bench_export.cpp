// Times "导出Excel" of the stock grid: the sheet of 65,000 stock rows (the
// most a sheet takes with its title and totals rows) written to a file.
// Usage: bench_export [ROWS]   (default 65000; prints the median of repeated runs)

#include "benchsupport.h"

#include "stock/stockgridcolumns.h"
#include "store/db/database.h"
#include "store/memory/rowset.h"
#include "ui/datagrid.h"
#include "ui/gridexport.h"

#include <QApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

constexpr int kRuns = 7;

// Rows shaped like the stock list: texts, quantities, prices, amounts, a date.
QueryResult stockRows(int count)
{
    QueryResult r;
    r.columns = {u"_rid"_s, u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s, u"f"_s,    u"1"_s, u"2"_s,
                 u"3"_s,    u"4"_s, u"5"_s, u"6"_s, u"7"_s, u"8"_s, u"day1"_s, u"g"_s, u"z"_s};
    r.rows.reserve(count);
    const QStringList categories = {u"鞋类"_s, u"服装"_s, u"球类"_s, u"配件"_s};
    for (int i = 0; i < count; ++i) {
        const double cost = 10 + (i * 37 % 1000) / 10.0;
        const double qty = (i * 13 % 500) / 4.0;
        const double sold = (i * 7 % 200) / 4.0;
        const double price = cost * 1.35;
        r.rows.append({qint64(i + 1), u"商品%1"_s.arg(i), u"规格%1"_s.arg(i % 97),
                       u"6912%1"_s.arg(i, 9, 10, QChar(u'0')), categories.at(i % categories.size()),
                       u"sp%1"_s.arg(i % 97), u"gg"_s, cost, qty, cost * qty, price, sold, price * sold, qty - sold,
                       (qty - sold) * cost,
                       u"2024-%1-%2"_s.arg(i % 12 + 1, 2, 10, QChar(u'0')).arg(i % 28 + 1, 2, 10, QChar(u'0')),
                       u"供货商%1"_s.arg(i % 31), i % 5 ? QString() : u"备注%1"_s.arg(i)});
    }
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 65000;

    RowSet rows(u"stock"_s);
    rows.load(stockRows(count));
    DataGrid grid;
    grid.setColumns(stockGridColumns());
    grid.setRowSet(&rows);

    QTemporaryDir dir;
    const QString path = dir.filePath(u"stock.xls"_s);
    const GridExportOptions options{u"商品进货统计报表"_s, u"超级管理员"_s, {}};
    bool ok = true;
    QString error;
    const double ms = medianMs([&] { ok = GridExport::write(grid, options, path, &error) && ok; }, kRuns);
    if (!ok) {
        std::fprintf(stderr, "export failed: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("case=export rows=%d median_ms=%.1f bytes=%lld\n", count, ms, QFileInfo(path).size());
    printRss(count);
    return 0;
}
