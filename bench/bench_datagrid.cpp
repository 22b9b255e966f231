// Times the data grid on a large stock list: loading the rows into the grid,
// a title-click sort, a totals recompute after one row changed, and painting
// one page after a scroll.
// Usage: bench_datagrid [ROWS]   (default 100000; prints medians of repeated runs)

#include "benchsupport.h"

#include "store/db/database.h"
#include "store/memory/rowset.h"
#include "ui/datagrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QScrollBar>
#include <QTableView>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int kRuns = 7;

// Rows shaped like the stock table: texts, quantities, prices, amounts, a date.
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
                       u"供货商%1"_s.arg(i % 31), QString()});
    }
    return r;
}

QList<GridColumn> stockColumns()
{
    using F = GridColumn::Format;
    using S = GridColumn::Footer;
    struct Def
    {
        const char16_t* field;
        const char16_t* title;
        F format;
        S footer;
        bool fitted;
    };
    const Def defs[] = {
        {u"a", u"商 品 信 息|名 称", F::Text, S::Text, true}, {u"b", u"商 品 信 息|规格型号", F::Text, S::None, true},
        {u"c", u"商 品 信 息|编 码", F::Text, S::None, true}, {u"d", u"商 品 信 息|类 别", F::Text, S::None, false},
        {u"2", u"进 货|数 量", F::Quantity, S::Sum, false},   {u"1", u"进 货|单 价", F::General, S::None, false},
        {u"3", u"进 货|金 额", F::Amount, S::Sum, true},      {u"5", u"销 售|数 量", F::Quantity, S::Sum, false},
        {u"4", u"销 售|单 价", F::General, S::None, false},   {u"6", u"销 售|金 额", F::Amount, S::Sum, true},
        {u"7", u"存 货|数 量", F::Quantity, S::Sum, false},   {u"8", u"存 货|金 额", F::Amount, S::Sum, true},
        {u"day1", u"备 注|入库日期", F::Date, S::None, true}, {u"g", u"备 注|供货商", F::Text, S::None, true},
        {u"z", u"备 注|备 注", F::Text, S::None, true},
    };
    QList<GridColumn> cols;
    for (const Def& d : defs) {
        GridColumn c;
        c.field = QString::fromUtf16(d.field);
        c.title = QString::fromUtf16(d.title);
        c.format = d.format;
        c.footer = d.footer;
        c.fitted = d.fitted;
        c.width = d.fitted ? 64 : 50;
        if (d.format != F::Text)
            c.alignment = d.format == F::Date ? Qt::Alignment(Qt::AlignCenter) : (Qt::AlignRight | Qt::AlignVCenter);
        if (d.footer == S::Text) {
            c.footerText = u"总计"_s;
            c.footerAlignment = Qt::AlignCenter;
        }
        cols.append(c);
    }
    return cols;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QFont::insertSubstitution(u"宋体"_s, u"Noto Serif CJK SC"_s);
    const int count = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 100000;

    const QueryResult data = stockRows(count);
    RowSet rows(u"stock"_s, u"data"_s);
    DataGrid grid;
    grid.setColumns(stockColumns());
    grid.setRowSet(&rows);
    grid.setRowTextColor(
        [](const RowSet& set, int row) { return set.value(row, 13).toDouble() <= 5 ? QColor(255, 0, 0) : QColor(); });
    grid.resize(1000, 600);
    grid.show();
    app.processEvents();

    QueryResult copy;
    const double load = medianMs([&] { copy = data; },
                                 [&] {
                                     rows.load(std::move(copy));
                                     rows.last();
                                     app.processEvents();
                                 },
                                 kRuns);

    bool descending = true;
    const double sort = medianMs([] {},
                                 [&] {
                                     rows.sort(descending ? u"3 DESC"_s : u"3"_s);
                                     descending = !descending;
                                     app.processEvents();
                                 },
                                 kRuns);

    int changes = 0;
    const double footer = medianMs([] {},
                                   [&] {
                                       rows.replaceRow(0, {{u"2"_s, 1.5 + changes++}});
                                       app.processEvents();
                                   },
                                   kRuns);

    QImage image(grid.size(), QImage::Format_ARGB32_Premultiplied);
    QScrollBar* bar = grid.view()->verticalScrollBar();
    int step = 0;
    const double paint = medianMs([] {},
                                  [&] {
                                      bar->setValue(bar->maximum() * (++step % 10) / 10);
                                      grid.render(&image);
                                  },
                                  kRuns);

    std::printf("data grid, %d rows, median of %d runs (ms)\n", count, kRuns);
    std::printf("  load into the grid       %9.2f\n", load);
    std::printf("  sort on one column       %9.2f\n", sort);
    std::printf("  totals after a change    %9.2f\n", footer);
    std::printf("  scroll and paint a page  %9.2f\n", paint);
    std::printf("  footer: %s / %s\n", qPrintable(grid.footerText(u"2"_s)), qPrintable(grid.footerText(u"3"_s)));
    printRss(count);
    return 0;
}
