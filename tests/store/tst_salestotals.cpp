// The chart totals and the per-article summary, computed from the in-memory
// tables, against the engine running the equivalent statements on the same
// file: a demo shop with returns, plus rows with odd dates, texts and NULLs.

#include "columnrows.h"
#include "store/db/database.h"
#include "store/memory/columnsum.h"
#include "store/memory/memtable.h"
#include "store/memory/sortranks.h"
#include "store/ops/salescharts.h"
#include "store/ops/summary.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>
#include <memory>

using salescharts::Measure;

namespace {

bool close(double a, double b)
{
    return std::abs(a - b) <= 1e-6 * std::max(1.0, std::abs(b));
}

QString describe(const std::vector<salescharts::Bar>& bars)
{
    QStringList parts;
    for (const auto& b : bars)
        parts << QStringLiteral("%1:%2").arg(b.position).arg(double(b.total), 0, 'g', 17);
    return parts.join(QLatin1Char(' '));
}

QString describe(const QueryResult& r)
{
    QStringList parts;
    for (const auto& row : r.rows) {
        QStringList cells;
        for (const QVariant& v : row)
            cells << (v.isNull() ? QStringLiteral("NULL") : v.toString());
        parts << cells.join(QLatin1Char('|'));
    }
    return parts.join(QLatin1Char('\n'));
}

} // namespace

class TestSalesTotals : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void chartsEqualTheEngine();
    void chartCases_data();
    void chartCases();
    void leadingNumberReadsAsTheEngine_data();
    void leadingNumberReadsAsTheEngine();
    void partOfRoundsAsMoney_data();
    void partOfRoundsAsMoney();
    void summaryEqualsTheEngine();
    void summaryCases();

private:
    std::vector<salescharts::Bar> engineBars(const Statement& st);
    void addSale(const QVariant& day, const QVariant& profit, const QVariant& amount);

    QTemporaryDir m_dir;
    Database m_db;
    std::unique_ptr<MemTable> m_sales;
};

void TestSalesTotals::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QProcess admin;
    admin.start(QStringLiteral(TARVIK_ADMIN_PATH),
                {QStringLiteral("demo"), QStringLiteral("--stock"), QStringLiteral("1500"), QStringLiteral("--sales"),
                 QStringLiteral("2000"), m_dir.path()});
    QVERIFY(admin.waitForFinished(300000));
    QCOMPARE(admin.exitCode(), 0);
    QString error;
    QVERIFY2(m_db.open(m_dir.filePath(QStringLiteral("data.mdb")), false, &error), qPrintable(error));

    // Rows no sale writes: dates that are no real date or not in the strict
    // form, numbers stored as text, NULLs, values in binary fractions.
    Transaction t(m_db); // one sync for all the rows below
    const QVariant null;
    const QStringList oddDays{QStringLiteral("2024-1-5"),      QStringLiteral(""),
                              QStringLiteral("2023-02-29"),    QStringLiteral("2032-02-29"),
                              QStringLiteral("2024-13-01"),    QStringLiteral("2024-00-10"),
                              QStringLiteral("2024-04-31"),    QStringLiteral("0000-01-01"),
                              QStringLiteral(" 2024-01-05"),   QStringLiteral("2024-01-05 "),
                              QStringLiteral("2024/01/05"),    QStringLiteral("abcd-ef-gh"),
                              QStringLiteral("2024-01-05x"),   QStringLiteral("2024-01-00"),
                              QStringLiteral("2000-02-29"),    QStringLiteral("1900-02-29"),
                              QStringLiteral("２０２４-01-05")};
    for (const QString& d : oddDays)
        addSale(d, 7.5, 9.25);
    addSale(null, 3.0, 3.0);
    addSale(20240105, 3.0, 3.0);
    addSale(QStringLiteral("2031-03-07"), QStringLiteral("12元"), QStringLiteral("abc"));
    addSale(QStringLiteral("2031-03-07"), null, null);
    addSale(QStringLiteral("2031-05-01"), null, null); // a day whose values are all NULL
    addSale(QStringLiteral("2031-03-08"), 0.1, 0.1);
    addSale(QStringLiteral("2031-03-08"), 0.2, 0.2);
    QRandomGenerator rng(11);
    for (int i = 0; i < 3000; ++i) {
        const QString day = QStringLiteral("%1-%2-%3")
                                .arg(2023 + rng.bounded(3))
                                .arg(1 + rng.bounded(12), 2, 10, QLatin1Char('0'))
                                .arg(1 + rng.bounded(31), 2, 10, QLatin1Char('0'));
        const double sign = rng.bounded(6) == 0 ? -1 : 1; // returns
        addSale(day, sign * rng.bounded(100000) / 100.0, sign * rng.bounded(1000000) / 100.0);
    }
    QVERIFY2(t.commit(&error), qPrintable(error));
    m_sales = std::make_unique<MemTable>(m_db, QStringLiteral("data1"), QStringList{});
    QVERIFY2(m_sales->load(&error), qPrintable(error));
}

void TestSalesTotals::addSale(const QVariant& day, const QVariant& profit, const QVariant& amount)
{
    QString error;
    QVERIFY2(m_db.exec(Statement{QStringLiteral("insert into data1 (a,day1,a5,[4],[3]) values ('x',?,?,?,1)"),
                                 {day, profit, amount}},
                       &error),
             qPrintable(error));
}

std::vector<salescharts::Bar> TestSalesTotals::engineBars(const Statement& st)
{
    QueryResult r;
    QString error;
    if (!m_db.query(st, &r, &error))
        qFatal("%s", qPrintable(error));
    std::vector<salescharts::Bar> out;
    for (const auto& row : r.rows)
        if (!row.at(1).isNull()) // a group of NULL values only: no bar
            out.push_back({row.at(0).toInt(), row.at(1).toDouble()});
    return out;
}

void TestSalesTotals::chartsEqualTheEngine()
{
    const QList<double> years{2021, 2022, 2023, 2024, 2025,  2026,   2027, 2031,
                              2032, 2000, 1900, 0,    -2024, 2024.5, 99999};
    int barsSeen = 0;
    for (const Measure measure : {Measure::Profit, Measure::Sales}) {
        for (const double year : years) {
            const auto expected = engineBars(salescharts::monthStatement(measure, year));
            const auto got = salescharts::monthBars(*m_sales, measure, year);
            const QString what = QStringLiteral("month chart %1 of %2\n got %3\nwant %4")
                                     .arg(int(measure))
                                     .arg(year)
                                     .arg(describe(got), describe(expected));
            QVERIFY2(got.size() == expected.size(), qPrintable(what));
            for (size_t i = 0; i < got.size(); ++i)
                QVERIFY2(got[i].position == expected[i].position &&
                             close(double(got[i].total), double(expected[i].total)),
                         qPrintable(what));
            barsSeen += int(got.size());
            for (const double month : {0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0, 10.0, 11.0, 12.0, 13.0, 2.5}) {
                const auto dayExpected = engineBars(salescharts::dayStatement(measure, year, month));
                const auto dayGot = salescharts::dayBars(*m_sales, measure, year, month);
                const QString dayWhat = QStringLiteral("day chart %1 of %2-%3\n got %4\nwant %5")
                                            .arg(int(measure))
                                            .arg(year)
                                            .arg(month)
                                            .arg(describe(dayGot), describe(dayExpected));
                QVERIFY2(dayGot.size() == dayExpected.size(), qPrintable(dayWhat));
                for (size_t i = 0; i < dayGot.size(); ++i)
                    QVERIFY2(dayGot[i].position == dayExpected[i].position &&
                                 close(double(dayGot[i].total), double(dayExpected[i].total)),
                             qPrintable(dayWhat));
                barsSeen += int(dayGot.size());
            }
        }
    }
    QVERIFY(barsSeen > 1000); // the comparison saw real data
}

void TestSalesTotals::chartCases_data()
{
    QTest::addColumn<double>("year");
    QTest::addColumn<double>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("measure");
    QTest::addColumn<QVariant>("expected"); // the bar's total, or null: no bar

    const int profit = int(Measure::Profit), sales = int(Measure::Sales);
    // Fixed point: 0.1 + 0.2 is 0.3, not 0.30000000000000004.
    QTest::newRow("binary fractions") << 2031.0 << 3.0 << 8 << profit << QVariant(0.3);
    // The text "12元" adds 12, as the engine reads it; "abc" adds 0 but makes a bar.
    QTest::newRow("texts as numbers") << 2031.0 << 3.0 << 7 << profit << QVariant(12.0);
    QTest::newRow("text of no number") << 2031.0 << 3.0 << 7 << sales << QVariant(0.0);
    QTest::newRow("values all NULL") << 2031.0 << 5.0 << 1 << profit << QVariant();
    QTest::newRow("leap day of a leap year") << 2032.0 << 2.0 << 29 << profit << QVariant(7.5);
    QTest::newRow("leap day of 2000") << 2000.0 << 2.0 << 29 << sales << QVariant(9.25);
    QTest::newRow("no leap day in 1900") << 1900.0 << 2.0 << 29 << profit << QVariant();
}

void TestSalesTotals::chartCases()
{
    QFETCH(double, year);
    QFETCH(double, month);
    QFETCH(int, day);
    QFETCH(int, measure);
    QFETCH(QVariant, expected);
    const auto bars = salescharts::dayBars(*m_sales, Measure(measure), year, month);
    const auto it = std::find_if(bars.begin(), bars.end(), [&](const auto& b) { return b.position == day; });
    if (expected.isNull()) {
        QVERIFY2(it == bars.end(), qPrintable(describe(bars)));
        return;
    }
    QVERIFY2(it != bars.end(), qPrintable(describe(bars)));
    // Only the rows written above fall on these days (the random ones are in 2023-2025).
    // Exactly: QCOMPARE on doubles would let 0.30000000000000004 pass.
    QVERIFY2(double(it->total) == expected.toDouble(), qPrintable(describe(bars)));
}

void TestSalesTotals::leadingNumberReadsAsTheEngine_data()
{
    QTest::addColumn<QString>("text");
    for (const char* t : {"12元", "  -3.5kg", "+.5", "1e3x", "1e", "2E-2", ".", "-", "abc", "", "7.", "0x10", "１２"})
        QTest::newRow(t) << QString::fromUtf8(t);
}

void TestSalesTotals::leadingNumberReadsAsTheEngine()
{
    QFETCH(QString, text);
    QueryResult r;
    QString error;
    QVERIFY(
        m_db.query(Statement{QStringLiteral("select sum(x) from (select cast(? as blob) as x)"), {text}}, &r, &error));
    const QByteArray utf8 = text.toUtf8();
    QCOMPARE(ColumnSum::leadingNumber(std::string_view(utf8.constData(), size_t(utf8.size()))),
             r.rows.at(0).at(0).toDouble());
}

void TestSalesTotals::partOfRoundsAsMoney_data()
{
    QTest::addColumn<QList<double>>("values");
    const double nan = std::nan("");
    const double inf = std::numeric_limits<double>::infinity();
    // 0.03125 and 0.09375 are 312.5 and 937.5 units exactly: to the even one.
    QTest::newRow("halves of a unit") << QList<double>{0.03125, 0.09375, -0.03125, -0.09375,
                                                       0.00005, 0.00015, -0.00005, 1.00005};
    QTest::newRow("money and zeros") << QList<double>{3.0, 0.1, 0.2, 19.99, -7.35, 0.0, -0.0, 1e-300};
    QTest::newRow("around the short way's end")
        << QList<double>{399999999999.99994, 400000000000.0, -400000000000.0, 400000000000.00006, 9.2e14};
    QTest::newRow("beyond Money") << QList<double>{1e15, -1e20, nan, inf, -inf};
    // Mantissas of every size at many scales, both signs.
    QList<double> many;
    QRandomGenerator random(7);
    for (int i = 0; i < 200000; ++i)
        many << std::ldexp(double(random.generate64() >> 11), int(random.bounded(80)) - 90) * (i % 2 ? 1 : -1);
    for (int i = 0; i < 50000; ++i)
        many << double(qint64(random.bounded(2000000)) - 1000000) / (i % 3 ? 100.0 : 20000.0);
    QTest::newRow("many values") << many;
}

void TestSalesTotals::partOfRoundsAsMoney()
{
    // Sums in fixed point must take each value as num::Money does.
    QFETCH(QList<double>, values);
    for (const double v : values) {
        const ColumnSum::Part p = ColumnSum::partOf(v);
        const auto m = num::Money::fromDecimal(static_cast<long double>(v));
        QVERIFY2(!p.null && p.wide == !m && (!m || p.units == m->units()), qPrintable(QString::number(v, 'g', 17)));
    }
}

void TestSalesTotals::summaryEqualsTheEngine()
{
    QString error;
    // Articles that differ only in letter case are one article; one that
    // differs in category, or has NULL where another has "", is another.
    const QList<QVariantList> rows{
        {QStringLiteral("Nike跑鞋"), QStringLiteral("X1"), QStringLiteral("001"), QStringLiteral("鞋"), 2.0, 0.1},
        {QStringLiteral("NIKE跑鞋"), QStringLiteral("x1"), QStringLiteral("001"), QStringLiteral("鞋"), 3.0, 0.2},
        {QStringLiteral("nike跑鞋"), QStringLiteral("X1"), QStringLiteral("001"), QStringLiteral("服装"), 1.0, 5.0},
        {QStringLiteral("Nike跑鞋"), QVariant(), QStringLiteral("001"), QStringLiteral("鞋"), 1.0, 1.0},
        {QStringLiteral("Nike跑鞋"), QStringLiteral(""), QStringLiteral("001"), QStringLiteral("鞋"), 1.0, 1.0},
        {QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant()},
        {QStringLiteral("篮球"), QStringLiteral("7号"), QStringLiteral("002"), QStringLiteral("球类"),
         QStringLiteral("3个"), QStringLiteral("x")},
    };
    for (const QVariantList& r : rows)
        QVERIFY2(m_db.exec(Statement{QStringLiteral("insert into data (a,b,c,d,[2],[3],[5],[6],[7],[8],day1) "
                                                    "values (?,?,?,?,?,?,?,?,?,?,'2026-01-05')"),
                                     QVariantList(r) << r.at(4) << r.at(5) << r.at(4) << r.at(5)},
                           &error),
                 qPrintable(error));
    MemTable stock(m_db, QStringLiteral("data"), {});
    QVERIFY2(stock.load(&error), qPrintable(error));
    SortRanks ranks(stock);
    const auto equalsTheEngine = [&] {
        const QueryResult got = rowsOf(summary::compute(stock, ranks));
        QueryResult expected;
        QVERIFY2(m_db.query(summary::statement(), &expected, &error), qPrintable(error));

        QCOMPARE(got.columns, expected.columns);
        QVERIFY(got.rows.size() > 500);
        QCOMPARE(got.rows.size(), expected.rows.size());
        for (int i = 0; i < got.rows.size(); ++i) {
            const QString what =
                QStringLiteral("row %1\n got %2\nwant %3")
                    .arg(i)
                    .arg(describe(QueryResult{{}, {got.rows.at(i)}}), describe(QueryResult{{}, {expected.rows.at(i)}}));
            for (int c = 0; c < 4; ++c)
                QVERIFY2(got.rows.at(i).at(c) == expected.rows.at(i).at(c), qPrintable(what));
            for (int c = 4; c < 10; ++c) {
                const QVariant& g = got.rows.at(i).at(c);
                const QVariant& e = expected.rows.at(i).at(c);
                QVERIFY2(g.isNull() == e.isNull() && close(g.toDouble(), e.toDouble()), qPrintable(what));
            }
        }
    };
    equalsTheEngine();
    if (QTest::currentTestFailed())
        return;

    // After a sale (new figures), a change of an article's name and a new
    // article, as the program writes them: the summary follows all three.
    const qint64 sold = stock.rowId(stock.positionsInRowIdOrder()[10]);
    const qint64 renamed = stock.rowId(stock.positionsInRowIdOrder()[20]);
    QVERIFY(m_db.exec(Statement{QStringLiteral("update data set [5]=[5]+1,[6]=[6]+80,[7]=[7]-1 where rowid=?"), {sold}},
                      &error));
    QVERIFY(m_db.exec(Statement{QStringLiteral("update data set a='阿迪' where rowid=?"), {renamed}}, &error));
    QVERIFY(m_db.exec(QStringLiteral("insert into data (a,b,c,d,[2],[7],day1) values "
                                     "('篮球','7号','002','球类',1,1,'2026-02-01')"),
                      &error));
    const qint64 added = m_db.lastInsertRowId();
    for (const qint64 id : {sold, renamed, added})
        QVERIFY2(stock.refreshRow(id, &error), qPrintable(error));
    equalsTheEngine();
}

void TestSalesTotals::summaryCases()
{
    // One small shop, to show the figures themselves.
    Database db;
    QString error;
    QVERIFY(db.open(m_dir.filePath(QStringLiteral("small.mdb")), true, &error));
    QVERIFY(db.exec(QStringLiteral("create table data (a text collate nocase, b text collate nocase, "
                                   "c text collate nocase, d text collate nocase, [2] real, [3] real, [5] real, "
                                   "[6] real, [7] real, [8] real)"),
                    &error));
    MemTable stock(db, QStringLiteral("data"), {});
    SortRanks ranks(stock);
    QVERIFY(stock.load(&error));
    QCOMPARE(summary::compute(stock, ranks).rowCount(), 0); // an empty table: no article
    QVERIFY(db.exec(QStringLiteral("insert into data values ('球','b','c','d',1,0.1,1,0.1,0,0),"
                                   "('球','b','c','d',2,0.2,1,0.2,1,0.1),('球','b','c','e',5,5,0,0,5,5)"),
                    &error));
    QVERIFY(stock.load(&error));
    const QueryResult r = rowsOf(summary::compute(stock, ranks));
    QCOMPARE(r.rows.size(), 2);
    const QVector<QVariant> first{QStringLiteral("球"),
                                  QStringLiteral("b"),
                                  QStringLiteral("c"),
                                  QStringLiteral("d"),
                                  3.0,
                                  0.3,
                                  2.0,
                                  0.3,
                                  1.0,
                                  0.1};
    QCOMPARE(r.rows.at(0), first);
    QVERIFY(r.rows.at(0).at(5).toDouble() == 0.3); // exactly, not 0.30000000000000004
    QCOMPARE(r.rows.at(1).at(3).toString(), QStringLiteral("e"));
}

QTEST_GUILESS_MAIN(TestSalesTotals)
#include "tst_salestotals.moc"
