#include "core/numbers.h"
#include "recordingport.h"
#include "settings/layoutfile.h"
#include "settings/settingkeys.h"
#include "store/db/database.h"
#include "store/memory/rowset.h"
#include "ui/datagrid.h"
#include "ui/groupheaderview.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString kSection = u"korvel-net"_s;

// What the grid's owner does with the layout the grid offers: keeps it in the
// layout file, and applies what the file holds.
bool saveGrid(const DataGrid& grid, const QString& section)
{
    return saveLayout(section, QString(settingkeys::layoutGridName), grid.currentLayout());
}

bool restoreGrid(DataGrid& grid, const QString& section)
{
    GridLayout layout = grid.currentLayout();
    if (!restoreLayout(section, QString(settingkeys::layoutGridName), layout))
        return false;
    grid.applyLayout(layout);
    return true;
}

// A few stock-like columns: names, quantities, amounts, a price, a date.
QList<GridColumn> stockColumns()
{
    const QColor sky(166, 202, 240);
    QList<GridColumn> cols;
    GridColumn c;
    c.field = u"a"_s;
    c.title = u"商 品 信 息|名 称"_s;
    c.footer = GridColumn::Footer::Text;
    c.footerText = u"总计"_s;
    c.footerAlignment = Qt::AlignCenter;
    c.width = 80;
    c.titleColor = sky;
    cols << c;

    c = {};
    c.field = u"b"_s;
    c.title = u"商 品 信 息|规格型号"_s;
    c.width = 70;
    c.titleColor = sky;
    cols << c;

    c = {};
    c.field = u"2"_s;
    c.title = u"进 货|数 量"_s;
    c.format = GridColumn::Format::Quantity;
    c.alignment = Qt::AlignRight | Qt::AlignVCenter;
    c.footer = GridColumn::Footer::Sum;
    c.width = 50;
    c.titleColor = QColor(0, 128, 128);
    c.titleTextColor = Qt::white;
    cols << c;

    c.field = u"1"_s;
    c.title = u"进 货|单 价"_s;
    c.format = GridColumn::Format::General;
    c.footer = GridColumn::Footer::None;
    cols << c;

    c.field = u"3"_s;
    c.title = u"进 货|金 额"_s;
    c.format = GridColumn::Format::Amount;
    c.footer = GridColumn::Footer::Sum;
    c.width = 60;
    cols << c;

    c = {};
    c.field = u"day1"_s;
    c.title = u"备 注|入库日期"_s;
    c.format = GridColumn::Format::Date;
    c.alignment = Qt::AlignCenter;
    c.width = 90;
    cols << c;

    c = {};
    c.field = u"z"_s;
    c.title = u"备 注|备 注"_s;
    c.width = 60;
    cols << c;
    return cols;
}

struct Row
{
    QString name;
    QVariant qty;
    QVariant amount;
    QVariant price;
    QString day;
};

QueryResult result(const QList<Row>& rows)
{
    QueryResult r;
    r.columns = {u"_rid"_s, u"a"_s, u"b"_s, u"1"_s, u"2"_s, u"3"_s, u"day1"_s, u"z"_s};
    qint64 id = 1;
    for (const Row& row : rows)
        r.rows.append({id++, row.name, u"规格"_s, row.price, row.qty, row.amount, row.day, QString()});
    return r;
}

// Five rows whose quantities give a distinct order.
QList<Row> fiveRows()
{
    return {{u"甲"_s, 3.0, 30.5, 10.1, u"2024-01-01"_s},
            {u"乙"_s, 1.5, 15.0, 10.0, u"2024-01-02"_s},
            {u"丙"_s, 10.0, 100.25, 10.0, u"2024-01-03"_s},
            {u"丁"_s, 0.25, 2.0, 8.0, u"2024-01-04"_s},
            {u"戊"_s, 7.0, 70.0, 10.0, u"2024-01-05"_s}};
}

QString names(const RowSet& rows)
{
    QString out;
    for (int r = 0; r < rows.rowCount(); ++r)
        out += rows.value(r, u"a"_s).toString();
    return out;
}

// Order of the columns on screen, by field.
QString screenOrder(const DataGrid& grid)
{
    QStringList out;
    for (int p = 0; p < grid.columns().size(); ++p)
        out << grid.fieldAt(p);
    return out.join(u',');
}

int visibleWidth(const DataGrid& grid)
{
    const QHeaderView* h = grid.view()->horizontalHeader();
    int sum = 0;
    for (int c = 0; c < h->count(); ++c)
        if (!h->isSectionHidden(c))
            sum += h->sectionSize(c);
    return sum;
}

} // namespace

class TestDataGrid final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void modelStaysConsistent();
    void titleClicksSortDescendingThenFlip();
    void titleClickOnClosedSetShowsError();
    void cellTexts();
    void footerSums_data();
    void footerSums();
    void footerFollowsChangesAndRemovals();
    void hiddenColumns();
    void rowTextColour();
    void currentRowFollowsBothWays();
    void removingRowsKeepsSelectionWithSet();
    void fittedColumnsFillTheWidth();
    void totalsAlwaysShowWhole();
    void totalsAreNeverCut_data();
    void totalsAreNeverCut();
    void layoutRoundTrip();
    void restoreWithoutSectionChangesNothing();
    void gridLinesAndRepaints();

private:
    std::unique_ptr<QTemporaryDir> m_config;
    std::unique_ptr<DataGrid> m_grid;
    std::unique_ptr<RowSet> m_rows;

    void showGrid(int width = 700, int height = 300);
    void clickTitle(const QString& field);
};

void TestDataGrid::initTestCase()
{
    QFont::insertSubstitution(u"宋体"_s, u"Noto Serif CJK SC"_s);
}

void TestDataGrid::init()
{
    m_config = std::make_unique<QTemporaryDir>();
    QVERIFY(m_config->isValid());
    qputenv("XDG_CONFIG_HOME", m_config->path().toLocal8Bit());
    m_rows = std::make_unique<RowSet>(u"stock"_s);
    m_rows->load(result(fiveRows()));
    m_grid = std::make_unique<DataGrid>();
    m_grid->setColumns(stockColumns());
    m_grid->setRowSet(m_rows.get());
}

void TestDataGrid::cleanup()
{
    m_grid.reset();
    m_rows.reset();
    m_config.reset();
}

void TestDataGrid::showGrid(int width, int height)
{
    m_grid->resize(width, height);
    m_grid->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_grid.get()));
}

void TestDataGrid::clickTitle(const QString& field)
{
    QHeaderView* h = m_grid->view()->horizontalHeader();
    const int c = m_grid->model()->columnOf(field);
    // The column's own title lies below the group band.
    const QPoint pos(h->sectionViewportPosition(c) + h->sectionSize(c) / 2, h->height() - 4);
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, pos);
}

void TestDataGrid::modelStaysConsistent()
{
    QAbstractItemModelTester tester(m_grid->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    m_rows->sort(u"2 DESC"_s);
    m_rows->replaceRow(1, {{u"2"_s, 4.0}});
    m_rows->removeRow(0);
    m_rows->removeRow(m_rows->rowCount() - 1);
    m_rows->load(result({}));
    m_rows->load(result(fiveRows()));
    m_grid->setRowSet(nullptr);
    m_grid->setRowSet(m_rows.get());
    m_rows->close();
    QCOMPARE(m_grid->model()->rowCount(), 0);
}

void TestDataGrid::titleClicksSortDescendingThenFlip()
{
    showGrid();
    QStringList seenBeforeSort; // the set's order when titleClicked arrives
    connect(m_grid.get(), &DataGrid::titleClicked, this,
            [&](const QString& field) { seenBeforeSort << field + u':' + names(*m_rows); });

    clickTitle(u"2"_s);
    QCOMPARE(names(*m_rows), u"丙戊甲乙丁"_s);
    QCOMPARE(m_grid->sortMarker(u"2"_s), 1);
    clickTitle(u"2"_s);
    QCOMPARE(names(*m_rows), u"丁乙甲戊丙"_s);
    QCOMPARE(m_grid->sortMarker(u"2"_s), 2);
    clickTitle(u"2"_s);
    QCOMPARE(names(*m_rows), u"丙戊甲乙丁"_s);
    QCOMPARE(m_grid->sortMarker(u"2"_s), 1);
    QCOMPARE(m_grid->displayText(0, u"a"_s), u"丙"_s);
    QCOMPARE(seenBeforeSort, QStringList({u"2:甲乙丙丁戊"_s, u"2:丙戊甲乙丁"_s, u"2:丁乙甲戊丙"_s}));

    // Another column: its first click sorts descending, the old marker goes.
    m_grid->setSortMarker(u"1"_s, 2);
    clickTitle(u"3"_s);
    QCOMPARE(names(*m_rows), u"丙戊甲乙丁"_s);
    QCOMPARE(m_grid->sortMarker(u"3"_s), 1);
    QCOMPARE(m_grid->sortMarker(u"2"_s), 0);
    QCOMPARE(m_grid->sortMarker(u"1"_s), 0);
    QCOMPARE(m_rows->sortSpec(), u"3 DESC"_s);

    // A click on the group band belongs to no column.
    QHeaderView* h = m_grid->view()->horizontalHeader();
    const int c = m_grid->model()->columnOf(u"a"_s);
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(h->sectionViewportPosition(c) + 5, 3));
    QCOMPARE(m_grid->sortMarker(u"a"_s), 0);
    QCOMPARE(m_rows->sortSpec(), u"3 DESC"_s);
}

void TestDataGrid::titleClickOnClosedSetShowsError()
{
    RecordingPort port;
    showGrid();
    m_grid->setSortMarker(u"2"_s, 1);
    m_rows->close();
    QSignalSpy clicked(m_grid.get(), &DataGrid::titleClicked);
    clickTitle(u"3"_s);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(port.texts(), QStringList{u"Cannot perform this operation on a closed dataset"_s});
    QCOMPARE(m_grid->sortMarker(u"2"_s), 1);
    QCOMPARE(m_grid->sortMarker(u"3"_s), 0);
}

void TestDataGrid::cellTexts()
{
    m_rows->load(result({{u"甲"_s, 2.5, 3.456, 12.5, u"2024-03-09"_s},
                                      {u"乙"_s, 1.0004, 1.005, 0.1, QString()},
                                      {u"丙"_s, u"abc"_s, QVariant(), u"7.50"_s, QString()}}));
    const auto text = [&](int row, const char* field) { return m_grid->displayText(row, QString::fromLatin1(field)); };
    QCOMPARE(text(0, "2"), u"2.5"_s);
    QCOMPARE(text(0, "3"), u"3.46"_s);
    QCOMPARE(text(0, "1"), u"12.5"_s);
    QCOMPARE(text(0, "day1"), u"2024-03-09"_s);
    QCOMPARE(text(1, "2"), u"1"_s);
    QCOMPARE(text(1, "3"), u"1.01"_s);
    QCOMPARE(text(1, "1"), u"0.1"_s);
    QCOMPARE(text(2, "2"), u"abc"_s);
    QCOMPARE(text(2, "3"), QString());
    QCOMPARE(text(2, "1"), u"7.5"_s);

    // The view shows the same texts, aligned as configured, with the full text as tool tip.
    DataGridModel* m = m_grid->model();
    const QModelIndex qty = m->index(0, m->columnOf(u"2"_s));
    QCOMPARE(qty.data().toString(), u"2.5"_s);
    QCOMPARE(qty.data(Qt::ToolTipRole).toString(), u"2.5"_s);
    QCOMPARE(Qt::Alignment(qty.data(Qt::TextAlignmentRole).toInt()), Qt::AlignRight | Qt::AlignVCenter);
    QCOMPARE(Qt::Alignment(m->index(0, m->columnOf(u"day1"_s)).data(Qt::TextAlignmentRole).toInt()),
             Qt::Alignment(Qt::AlignCenter));
    QCOMPARE(m->headerData(m->columnOf(u"2"_s), Qt::Horizontal).toString(), u"数 量"_s);
    QCOMPARE(m->headerData(m->columnOf(u"2"_s), Qt::Horizontal, DataGridModel::GroupTitleRole).toString(), u"进 货"_s);
}

void TestDataGrid::footerSums_data()
{
    QTest::addColumn<QVariantList>("values");
    QTest::addColumn<QString>("quantity"); // "#0.###" column
    QTest::addColumn<QString>("amount");   // "#0.##" column

    QTest::newRow("halves and quarters") << QVariantList{1.5, 2.25} << u"3.75"_s << u"3.75"_s;
    QTest::newRow("tenths add up exactly") << QVariantList{0.1, 0.2} << u"0.3"_s << u"0.3"_s;
    QTest::newRow("rounded for display") << QVariantList{1.0004, 1.0004, 1.0} << u"3.001"_s << u"3"_s;
    QTest::newRow("half a cent rounds up") << QVariantList{1.0, 0.005} << u"1.005"_s << u"1.01"_s;
    QTest::newRow("returns subtract") << QVariantList{-1.5, 1.0} << u"-0.5"_s << u"-0.5"_s;
    QTest::newRow("empty and text count as 0")
        << QVariantList{QVariant(), u""_s, u"abc"_s, u"2.5"_s, 1} << u"3.5"_s << u"3.5"_s;
    QTest::newRow("no rows") << QVariantList{} << u"0"_s << u"0"_s;
    QVariantList many;
    for (int i = 0; i < 1000; ++i)
        many << 0.01;
    QTest::newRow("a thousand cents") << many << u"10"_s << u"10"_s;
}

void TestDataGrid::footerSums()
{
    QFETCH(QVariantList, values);
    QFETCH(QString, quantity);
    QFETCH(QString, amount);
    QList<Row> rows;
    for (const QVariant& v : values)
        rows.append({u"x"_s, v, v, 1.0, QString()});
    m_rows->load(result(rows));
    QCOMPARE(m_grid->footerText(u"2"_s), quantity);
    QCOMPARE(m_grid->footerText(u"3"_s), amount);
    QCOMPARE(m_grid->footerText(u"a"_s), u"总计"_s);
    QCOMPARE(m_grid->footerText(u"1"_s), QString());
}

void TestDataGrid::footerFollowsChangesAndRemovals()
{
    QCOMPARE(m_grid->footerText(u"2"_s), u"21.75"_s);
    QCOMPARE(m_grid->footerText(u"3"_s), u"217.75"_s);
    m_rows->replaceRow(0, {{u"2"_s, 3.5}, {u"3"_s, 31.0}});
    QCOMPARE(m_grid->footerText(u"2"_s), u"22.25"_s);
    QCOMPARE(m_grid->footerText(u"3"_s), u"218.25"_s);
    m_rows->removeRow(2); // 丙: 10, 100.25
    QCOMPARE(m_grid->footerText(u"2"_s), u"12.25"_s);
    QCOMPARE(m_grid->footerText(u"3"_s), u"118"_s);
    m_rows->sort(u"2"_s);
    QCOMPARE(m_grid->footerText(u"2"_s), u"12.25"_s);
    // A closed set has no totals; the fixed text stays.
    m_rows->close();
    QCOMPARE(m_grid->footerText(u"2"_s), QString());
    QCOMPARE(m_grid->footerText(u"a"_s), u"总计"_s);
}

void TestDataGrid::hiddenColumns()
{
    QList<GridColumn> cols = stockColumns();
    cols[6].visible = false; // z hidden by design
    m_grid->setColumns(cols);
    showGrid();
    QTableView* v = m_grid->view();
    DataGridModel* m = m_grid->model();
    QVERIFY(!m_grid->isColumnVisible(u"z"_s));
    QVERIFY(v->isColumnHidden(m->columnOf(u"z"_s)));

    const int width = m_grid->columnWidth(u"3"_s);
    m_grid->setColumnVisible(u"3"_s, false);
    QVERIFY(!m_grid->isColumnVisible(u"3"_s));
    QVERIFY(v->isColumnHidden(m->columnOf(u"3"_s)));
    QCOMPARE(m_grid->columnWidth(u"3"_s), width);      // remembered while hidden
    QCOMPARE(m_grid->footerText(u"3"_s), u"217.75"_s); // its totals are still known

    m_grid->setColumnVisible(u"z"_s, true);
    QVERIFY(m_grid->isColumnVisible(u"z"_s));
    QVERIFY(!v->isColumnHidden(m->columnOf(u"z"_s)));
    QCOMPARE(m_grid->columns().at(m->columnOf(u"3"_s)).visible, false);
    m_grid->setColumnVisible(u"unknown"_s, false); // no such column: nothing happens
    QVERIFY(!m_grid->isColumnVisible(u"unknown"_s));
}

void TestDataGrid::rowTextColour()
{
    // The stock alarm: stock rounded half to even at or below 5 is red.
    m_grid->setRowTextColor([](const RowSet& rows, int row) {
        return num::roundHalfEven(rows.value(row, u"2"_s)) <= 5 ? QColor(255, 0, 0) : QColor();
    });
    m_rows->load(result({{u"a"_s, 5.4, 1, 1, {}},
                                      {u"b"_s, 5.5, 1, 1, {}},
                                      {u"c"_s, 4.5, 1, 1, {}},
                                      {u"d"_s, QVariant(), 1, 1, {}},
                                      {u"e"_s, 6, 1, 1, {}}}));
    DataGridModel* m = m_grid->model();
    const auto colour = [&](int row, int column) { return m->index(row, column).data(Qt::ForegroundRole); };
    const QList<bool> red = {true, false, true, true, false};
    for (int r = 0; r < red.size(); ++r) {
        for (int c = 0; c < m->columnCount(); ++c) {
            if (red[r])
                QCOMPARE(colour(r, c).value<QBrush>().color(), QColor(255, 0, 0));
            else
                QVERIFY2(!colour(r, c).isValid(), qPrintable(u"row %1"_s.arg(r)));
        }
    }
}

void TestDataGrid::currentRowFollowsBothWays()
{
    showGrid();
    QTableView* v = m_grid->view();
    QSignalSpy changed(m_grid.get(), &DataGrid::currentRowChanged);
    QSignalSpy clicked(m_grid.get(), &DataGrid::cellClicked);

    m_rows->setCurrent(3);
    QCOMPARE(v->currentIndex().row(), 3);
    QCOMPARE(v->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(v->selectionModel()->selectedRows().first().row(), 3);
    QCOMPARE(changed.last().first().toInt(), 3);

    const QModelIndex cell = m_grid->model()->index(1, m_grid->model()->columnOf(u"3"_s));
    QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, v->visualRect(cell).center());
    QCOMPARE(m_rows->current(), 1);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.last().first().toInt(), 1);
    QCOMPARE(changed.last().first().toInt(), 1);

    QTest::keyClick(v, Qt::Key_Down);
    QCOMPARE(m_rows->current(), 2);
    QCOMPARE(v->selectionModel()->selectedRows().first().row(), 2);

    // A sort keeps the same row current, now at its new place.
    const QString name = m_rows->field(u"a"_s).toString();
    m_rows->sort(u"2"_s);
    QCOMPARE(m_rows->field(u"a"_s).toString(), name);
    QCOMPARE(v->currentIndex().row(), m_rows->current());

    // A load makes the first row current; last() moves to the end.
    m_rows->load(result(fiveRows()));
    QCOMPARE(v->currentIndex().row(), 0);
    m_rows->last();
    QCOMPARE(v->currentIndex().row(), 4);
    QCOMPARE(changed.last().first().toInt(), 4);

    QSignalSpy doubled(m_grid.get(), &DataGrid::rowDoubleClicked);
    const QModelIndex second = m_grid->model()->index(1, 0);
    // A person's double click: a first click, then the second press that makes it double.
    QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, v->visualRect(second).center());
    QTest::mouseDClick(v->viewport(), Qt::LeftButton, {}, v->visualRect(second).center());
    QCOMPARE(doubled.count(), 1);
    QCOMPARE(doubled.last().first().toInt(), 1);

    m_rows->close();
    QVERIFY(!v->currentIndex().isValid());
    QCOMPARE(changed.last().first().toInt(), -1);
}

void TestDataGrid::removingRowsKeepsSelectionWithSet()
{
    QAbstractItemModelTester tester(m_grid->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    showGrid();
    QTableView* v = m_grid->view();
    m_rows->setCurrent(4);
    m_rows->removeRow(4); // the current, last row
    QCOMPARE(m_grid->model()->rowCount(), 4);
    QCOMPARE(m_rows->current(), 3);
    QCOMPARE(v->currentIndex().row(), 3);
    QCOMPARE(v->selectionModel()->selectedRows().size(), 1);

    m_rows->setCurrent(1);
    m_rows->removeRow(1); // the current row in the middle: the set decides the next one
    QCOMPARE(m_rows->current(), 1);
    QCOMPARE(v->currentIndex().row(), 1);
    QCOMPARE(m_grid->displayText(1, u"a"_s), m_rows->field(u"a"_s).toString());
    QCOMPARE(names(*m_rows), u"甲丙丁"_s);
    QCOMPARE(m_grid->footerText(u"2"_s), u"13.25"_s);

    while (!m_rows->isEmpty())
        m_rows->removeRow(0);
    QCOMPARE(m_grid->model()->rowCount(), 0);
    QVERIFY(!v->currentIndex().isValid());
    QCOMPARE(m_grid->footerText(u"2"_s), u"0"_s);
}

void TestDataGrid::fittedColumnsFillTheWidth()
{
    QList<GridColumn> cols = stockColumns();
    for (const int c : {0, 1, 4, 5})
        cols[c].fitted = true;
    m_grid->setColumns(cols);
    showGrid(800, 300);
    QTableView* v = m_grid->view();
    QCOMPARE(visibleWidth(*m_grid), v->viewport()->width());
    QCOMPARE(m_grid->columnWidth(u"2"_s), 50); // fixed columns keep their width
    // Fitted columns share the spare width in proportion to their designed widths (80 : 90).
    QVERIFY(qAbs(m_grid->columnWidth(u"a"_s) * 90 - m_grid->columnWidth(u"day1"_s) * 80) <= 90);

    m_grid->resize(600, 300);
    QTRY_COMPARE(visibleWidth(*m_grid), v->viewport()->width());
    m_grid->setColumnVisible(u"day1"_s, false);
    QCOMPARE(visibleWidth(*m_grid), v->viewport()->width());

    // Dragging a border: that column keeps its width, the other fitted ones give way.
    QHeaderView* h = v->horizontalHeader();
    const int a = m_grid->model()->columnOf(u"a"_s);
    h->resizeSection(a, h->sectionSize(a) + 40);
    const int widened = h->sectionSize(a);
    QCOMPARE(visibleWidth(*m_grid), v->viewport()->width());
    QCOMPARE(m_grid->columnWidth(u"a"_s), widened);

    m_grid->setFitColumns(false);
    m_grid->resize(900, 300);
    QTRY_COMPARE(v->viewport()->width(), 900);
    QVERIFY(visibleWidth(*m_grid) < 900);
}

void TestDataGrid::totalsAlwaysShowWhole()
{
    QList<GridColumn> cols = stockColumns();
    for (const int c : {0, 1, 4, 5})
        cols[c].fitted = true; // "3" shares the spare width, "2" has a fixed 50
    m_grid->setColumns(cols);
    showGrid(700, 300);
    const QFontMetrics fm = m_grid->findChild<QWidget*>(u"footer"_s)->fontMetrics();
    // The footer draws its text 3 pixels in from the left and 4 from the right.
    auto whole = [&](const QString& field) {
        const QString total = m_grid->footerText(field);
        return !total.isEmpty() && m_grid->columnWidth(field) >= fm.horizontalAdvance(total) + 7;
    };
    QVERIFY(whole(u"2"_s) && whole(u"3"_s));

    // The totals grow past what the columns were showing.
    m_rows->load(result({{u"甲"_s, 152512345.125, 22286570123.45, 1.0, QString()},
                                      {u"乙"_s, 1.0, 0.5, 1.0, QString()}}));
    QCOMPARE(m_grid->footerText(u"2"_s), u"152512346.125"_s);
    QCOMPARE(m_grid->footerText(u"3"_s), u"22286570123.95"_s);
    QVERIFY2(whole(u"2"_s), qPrintable(QString::number(m_grid->columnWidth(u"2"_s))));
    QVERIFY2(whole(u"3"_s), qPrintable(QString::number(m_grid->columnWidth(u"3"_s))));
    QCOMPARE(visibleWidth(*m_grid), m_grid->view()->viewport()->width()); // still fills the grid

    // Neither a narrower grid nor a change of a row cuts them again.
    m_grid->resize(320, 300);
    QTRY_VERIFY(m_grid->view()->viewport()->width() <= 320);
    QVERIFY(whole(u"2"_s) && whole(u"3"_s));
    m_rows->replaceRow(1, {{u"2"_s, 9999999.0}, {u"3"_s, 999999999.0}});
    QVERIFY(whole(u"2"_s) && whole(u"3"_s));

    // A column shown again fits the totals that changed while it was hidden.
    m_grid->setColumnVisible(u"2"_s, false);
    m_rows->replaceRow(1, {{u"2"_s, 123456789012.5}});
    QVERIFY(!whole(u"2"_s));
    m_grid->setColumnVisible(u"2"_s, true);
    QVERIFY(whole(u"2"_s));
}

void TestDataGrid::totalsAreNeverCut_data()
{
    QTest::addColumn<double>("quantity");
    QTest::addColumn<double>("amount");
    // Totals seen cut by a pixel in shops' grids and summaries.
    QTest::newRow("small shop") << 5153.0 << 1310295.01;
    QTest::newRow("debts") << 0.0 << 52869.33;
    QTest::newRow("big shop sales") << 18107.0 << 422519067.35;
    QTest::newRow("big shop summary") << 14686644.0 << 409383786.23;
    QTest::newRow("profit") << 460765.0 << 787537.5;
}

void TestDataGrid::totalsAreNeverCut()
{
    QFETCH(double, quantity);
    QFETCH(double, amount);
    QList<GridColumn> cols = stockColumns();
    cols[0].fitted = true;
    cols[2].width = 10; // far too narrow for any total: the grid widens them
    cols[4].width = 10;
    m_grid->setColumns(cols);
    showGrid(700, 300);
    m_rows->load(result({{u"甲"_s, quantity, amount, 1.0, QString()}}));
    const QWidget* footer = m_grid->findChild<QWidget*>(u"footer"_s);
    // The footer draws its text 3 pixels in from the left and 4 from the right;
    // glyphs are placed at fractional positions, so whole pixels are not enough.
    const auto cut = [&](const QString& field) -> QString {
        const QString total = m_grid->footerText(field);
        const int room = m_grid->columnWidth(field) - 7;
        if (QFontMetricsF(footer->font()).horizontalAdvance(total) > room
            || footer->fontMetrics().elidedText(total, Qt::ElideRight, room) != total)
            return u"%1 in %2 pixels"_s.arg(total).arg(room);
        return {};
    };
    for (const QString& field : {u"2"_s, u"3"_s})
        QVERIFY2(cut(field).isEmpty(), qPrintable(cut(field)));

    // A border dragged further in stops where the total still shows whole.
    QHeaderView* h = m_grid->view()->horizontalHeader();
    h->resizeSection(m_grid->model()->columnOf(u"3"_s), 15);
    QVERIFY2(cut(u"3"_s).isEmpty(), qPrintable(cut(u"3"_s)));
    // Wider than its total is the user's to choose.
    h->resizeSection(m_grid->model()->columnOf(u"3"_s), 240);
    QCOMPARE(m_grid->columnWidth(u"3"_s), 240);
}

void TestDataGrid::layoutRoundTrip()
{
    QList<GridColumn> cols = stockColumns();
    cols[0].fitted = true;
    m_grid->setColumns(cols);
    showGrid(700, 300);
    QHeaderView* h = m_grid->view()->horizontalHeader();
    DataGridModel* m = m_grid->model();

    // The user's arrangement: two moves, a hidden column, new widths, a marker, a row height.
    h->moveSection(h->visualIndex(m->columnOf(u"day1"_s)), 0);
    h->moveSection(h->visualIndex(m->columnOf(u"3"_s)), 2);
    m_grid->setColumnVisible(u"b"_s, false);
    h->resizeSection(m->columnOf(u"1"_s), 77);
    clickTitle(u"2"_s);
    m_grid->setRowHeight(23);
    const GridLayout saved = m_grid->currentLayout();
    const QString order = screenOrder(*m_grid);
    QCOMPARE(order, u"day1,a,3,b,2,1,z"_s);
    QVERIFY(saveGrid(*m_grid, kSection));

    // What the file holds for one column: position, width, marker, visible, sort index, drop-down values.
    QFile file(layoutFilePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    QVERIFY2(text.contains(u"DBGridEh1.b=3,70,0,0,0,0,0"_s), qPrintable(text));
    QVERIFY2(text.contains(u"DBGridEh1.2=4,50,1,1,0,0,0"_s), qPrintable(text));
    QVERIFY2(text.contains(u"(Default)=23,1"_s), qPrintable(text));

    // Back to the design, rows in another order.
    m_grid->setColumns(cols);
    m_grid->setRowHeight(18);
    m_rows->sort(u"a"_s);
    const QString rowOrder = names(*m_rows);
    QCOMPARE(screenOrder(*m_grid), u"a,b,2,1,3,day1,z"_s);
    QVERIFY(m_grid->isColumnVisible(u"b"_s));

    QVERIFY(restoreGrid(*m_grid, kSection));
    QCOMPARE(screenOrder(*m_grid), order);
    QVERIFY(!m_grid->isColumnVisible(u"b"_s));
    QCOMPARE(m_grid->columnWidth(u"b"_s), 70);
    QCOMPARE(m_grid->columnWidth(u"1"_s), 77);
    QCOMPARE(m_grid->sortMarker(u"2"_s), 1);
    QCOMPARE(m_grid->rowHeight(), 23);
    QCOMPARE(names(*m_rows), rowOrder); // restoring a marker sorts nothing
    const GridLayout restored = m_grid->currentLayout();
    QCOMPARE(restored.columns.size(), saved.columns.size());
    for (int i = 0; i < saved.columns.size(); ++i) {
        const ColumnState& a = saved.columns[i];
        const ColumnState& b = restored.columns[i];
        QCOMPARE(b.field, a.field);
        QCOMPARE(b.position, a.position);
        QCOMPARE(b.width, a.width);
        QCOMPARE(b.sortMarker, a.sortMarker);
        QCOMPARE(b.visible, a.visible);
    }
    // Showing the hidden column again brings back its saved width.
    m_grid->setColumnVisible(u"b"_s, true);
    QCOMPARE(h->sectionSize(m->columnOf(u"b"_s)), 70);
}

void TestDataGrid::restoreWithoutSectionChangesNothing()
{
    const GridLayout before = m_grid->currentLayout();
    QVERIFY(!restoreGrid(*m_grid, kSection)); // no file
    QVERIFY(saveGrid(*m_grid, kSection));
    QVERIFY(!restoreGrid(*m_grid, QString(settingkeys::layoutSectionSales))); // file without the section
    const GridLayout after = m_grid->currentLayout();
    for (int i = 0; i < before.columns.size(); ++i) {
        QCOMPARE(after.columns[i].field, before.columns[i].field);
        QCOMPARE(after.columns[i].width, before.columns[i].width);
        QCOMPARE(after.columns[i].visible, before.columns[i].visible);
    }
}

namespace {
struct Paints : QObject
{
    int count = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        count += e->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};
} // namespace

void TestDataGrid::gridLinesAndRepaints()
{
    showGrid();
    QTableView* view = m_grid->view();
    QStyleOptionViewItem option;
    const QColor line = QColor::fromRgba(QRgb(view->style()->styleHint(QStyle::SH_Table_GridLineColor, &option, view)));
    const QImage image = view->viewport()->grab().toImage();
    const int rowBottom = view->rowViewportPosition(1) + view->rowHeight(1) - 1;
    const int columnRight = view->columnViewportPosition(0) + view->columnWidth(0) - 1;
    const int lastBottom = view->rowViewportPosition(4) + view->rowHeight(4) - 1;
    // The last pixel row and column of a cell are the grid's lines; a cell's
    // inside and the space under the last row are the rows' colour.
    QCOMPARE(image.pixelColor(1, rowBottom), line);
    QCOMPARE(image.pixelColor(columnRight, rowBottom - 3), line);
    QCOMPARE(image.pixelColor(1, rowBottom - 1), view->palette().color(QPalette::Base));
    QCOMPARE(image.pixelColor(columnRight, lastBottom), line);
    QCOMPARE(image.pixelColor(columnRight, lastBottom + 3), view->palette().color(QPalette::Base));

    // New rows under the same titles repaint the rows, not the titles.
    Paints rows, titles;
    view->viewport()->installEventFilter(&rows);
    view->horizontalHeader()->viewport()->installEventFilter(&titles);
    QApplication::processEvents();
    rows.count = titles.count = 0;
    m_rows->load(result(fiveRows()));
    m_rows->setCurrent(2);
    QApplication::processEvents();
    QVERIFY(rows.count > 0);
    QCOMPARE(titles.count, 0);
    // New columns repaint the titles.
    QList<GridColumn> columns = stockColumns();
    columns[0].title = u"商 品 信 息|品 名"_s;
    m_grid->setColumns(columns);
    QApplication::processEvents();
    QVERIFY(titles.count > 0);
    QCOMPARE(m_grid->model()->headerData(0, Qt::Horizontal).toString(), u"品 名"_s);
}

QTEST_MAIN(TestDataGrid)
#include "tst_datagrid.moc"
