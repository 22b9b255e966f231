// A row set holding a column-oriented result (RowSet::loadColumns) against the
// same rows loaded as an ordinary result: the same cells in the same order,
// the same sorts and current row, the same totals in a grid model.

#include "columnrows.h"
#include "store/db/database.h"
#include "store/memory/columntable.h"
#include "store/memory/rowset.h"
#include "ui/datagridmodel.h"

#include <QAbstractItemModelTester>
#include <QTest>

#include <algorithm>
#include <numeric>

using namespace Qt::StringLiterals;

namespace {

// One row as it is put into the table: the name as a stored value (text,
// integer or NULL); the numbers as exact units (qint64), a double, or NULL.
struct Row
{
    QVariant name;
    QVariant quantity;
    QVariant amount;
    QVariant large = qint64(1);
};

constexpr qint64 kBig = qint64(1) << 51; // from here on units are converted back

QList<Row> rows()
{
    return {
        {u"b"_s, qint64(15000), 1e20},                          // a total beyond Money's range
        {u"a"_s, qint64(1000), 0.1, (qint64(1) << 62) + 12345}, // no double holds it
        {QVariant(), QVariant(), QVariant(), QVariant()},
        {u"C"_s, qint64(-22500), 2.5, (qint64(1) << 53) - 1},
        {u"c"_s, kBig, 0.005},
        {u"a"_s, qint64(2000), -0.005, -(qint64(1) << 52) - 3},
        {qint64(7), kBig - 1, QVariant()},
        {u"中文"_s, qint64(5), 1e-5},
    };
}

// The rows stored back to front and shown front to front, so that the
// table's own order and the shown order differ.
ColumnTable table(const QList<Row>& list, bool rankNames)
{
    const int n = int(list.size());
    ColumnTable t(n);
    const int name = t.addValueColumn(u"a"_s);
    const int quantity = t.addNumberColumn(u"2"_s);
    const int amount = t.addNumberColumn(u"3"_s);
    const int large = t.addNumberColumn(u"5"_s);
    std::vector<int> order;
    for (int i = 0; i < n; ++i) {
        const Row& r = list.at(i);
        const int row = n - 1 - i;
        order.push_back(row);
        if (r.name.typeId() == QMetaType::QString)
            t.setText(name, row, r.name.toString().toStdString());
        else if (r.name.isValid())
            t.setInteger(name, row, r.name.toLongLong());
        for (const auto& [column, v] :
             {std::pair{quantity, r.quantity}, std::pair{amount, r.amount}, std::pair{large, r.large}}) {
            if (v.typeId() == QMetaType::LongLong)
                t.setUnits(column, row, v.toLongLong());
            else if (v.isValid())
                t.setNumber(column, row, v.toDouble());
        }
    }
    t.setOrder(order);
    if (rankNames) {
        // Ranks as a sort of the values orders them.
        std::vector<int> byName(static_cast<size_t>(n));
        std::iota(byName.begin(), byName.end(), 0);
        std::sort(byName.begin(), byName.end(),
                  [&](int x, int y) { return compareValues(t.value(x, name), t.value(y, name)) < 0; });
        std::vector<int> ranks(static_cast<size_t>(n));
        for (size_t i = 1; i < byName.size(); ++i)
            ranks[size_t(byName[i])] = ranks[size_t(byName[i - 1])] +
                                       (compareValues(t.value(byName[i - 1], name), t.value(byName[i], name)) != 0);
        t.setRanks(name, std::move(ranks));
    }
    return t;
}

QList<GridColumn> columns()
{
    QList<GridColumn> cols;
    GridColumn c;
    c.field = u"a"_s;
    cols << c;
    for (const QString& field : {u"2"_s, u"3"_s, u"5"_s}) {
        c.field = field;
        c.format = GridColumn::Format::General;
        c.footer = GridColumn::Footer::Sum;
        cols << c;
    }
    return cols;
}

QString describe(const RowSet& set)
{
    QStringList out;
    for (int r = 0; r < set.rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < set.columns().size(); ++c) {
            const QVariant v = set.value(r, c);
            cells << (v.isNull() ? u"NULL"_s : QString::fromLatin1(v.typeName()) + u':' + v.toString());
        }
        out << cells.join(u'|');
    }
    return out.join(u'\n') + u"\ncurrent "_s + QString::number(set.current());
}

QString footer(const DataGridModel& model)
{
    return model.footerText(1) + u" / "_s + model.footerText(2) + u" / "_s + model.footerText(3);
}

} // namespace

class TestColumnSet final : public QObject
{
    Q_OBJECT

private slots:
    void valuesFromUnits();
    void behavesAsTheSameRows_data();
    void behavesAsTheSameRows();
};

void TestColumnSet::valuesFromUnits()
{
    const ColumnTable t = table(rows(), false);
    const int last = t.rowCount() - 1; // the first row listed
    QVERIFY(t.value(last, 1) == QVariant(1.5));
    QVERIFY(t.value(last - 1, 1) == QVariant(0.1)); // exactly, not 0.1 plus a binary rest
    QVERIFY(t.value(last - 3, 1) == QVariant(-2.25));
    QVERIFY(t.value(last - 2, 1).isNull());
    QCOMPARE(t.value(last - 6, 0), QVariant(qint64(7)));
    QCOMPARE(t.value(0, 0), QVariant(u"中文"_s));
    // The quantities' units are all known; the amounts hold one beyond them.
    QVERIFY(t.units(1));
    QVERIFY(!t.units(2));
    QVERIFY(!t.units(0));
}

void TestColumnSet::behavesAsTheSameRows_data()
{
    QTest::addColumn<QString>("sort");
    QTest::addColumn<bool>("rankNames");
    for (const bool ranked : {false, true})
        for (const QString& s : {u""_s, u"a"_s, u"a DESC"_s, u"2"_s, u"2 DESC"_s, u"3 DESC"_s})
            QTest::addRow("%s%s", qPrintable(s.isEmpty() ? u"unsorted"_s : s), ranked ? " (ranked names)" : "")
                << s << ranked;
}

void TestColumnSet::behavesAsTheSameRows()
{
    QFETCH(QString, sort);
    QFETCH(bool, rankNames);
    ColumnTable t = table(rows(), rankNames);
    RowSet expected(u"plain"_s), got(u"columns"_s);
    expected.load(rowsOf(t));
    DataGridModel expectedModel, gotModel;
    expectedModel.setColumns(columns());
    gotModel.setColumns(columns());
    expectedModel.setRowSet(&expected);
    gotModel.setRowSet(&got);
    QAbstractItemModelTester tester(&gotModel, QAbstractItemModelTester::FailureReportingMode::QtTest);
    got.loadColumns(std::move(t));
    QCOMPARE(got.rowCount(), int(rows().size()));

    const auto same = [&] {
        QCOMPARE(describe(got), describe(expected));
        QCOMPARE(footer(gotModel), footer(expectedModel));
        for (int r = 0; r < got.rowCount(); ++r)
            for (int c = 0; c < 4; ++c)
                QCOMPARE(gotModel.text(r, c), expectedModel.text(r, c));
    };
    same();
    QCOMPARE(gotModel.footerText(1), u"450359962736.6"_s);
    for (RowSet* s : {&expected, &got}) {
        s->setCurrent(3);
        if (!sort.isEmpty())
            s->sort(sort);
    }
    same();
    QCOMPARE(got.sortSpec(), sort);
    // The current row leaves; the totals lose its figures.
    for (RowSet* s : {&expected, &got})
        s->removeRow(s->current());
    same();
    // A second sort reorders by what the first one ranked.
    for (RowSet* s : {&expected, &got})
        s->sort(u"2"_s);
    same();

    // Read-only, without row identities; closing empties it.
    got.replaceRow(0, {{u"2"_s, 99.0}});
    same();
    QCOMPARE(got.rowId(0), qint64(-1));
    got.close();
    QCOMPARE(gotModel.rowCount(), 0);
    QCOMPARE(footer(gotModel), u" /  / "_s);
}

QTEST_MAIN(TestColumnSet)
#include "tst_columnset.moc"
