// The totals and cell texts of a grid over a view of an in-memory table, kept
// by the table's values, against those made afresh over the same rows after
// the table's own writes.

#include "store/db/database.h"
#include "store/memory/memtable.h"
#include "store/memory/rowset.h"
#include "store/memory/sortranks.h"
#include "ui/datagridmodel.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

class TestViewTotals : public QObject
{
    Q_OBJECT

private slots:
    void totalsFollowTheTablesWrites();
};

void TestViewTotals::totalsFollowTheTablesWrites()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    Database db;
    QString error;
    QVERIFY2(db.open(dir.filePath(QStringLiteral("totals.mdb")), true, &error), qPrintable(error));
    // u: a value per row (kept by row in the table); r: 3 values shared by
    // many rows; t: texts holding numbers and a number too large for units.
    QVERIFY(db.exec(QStringLiteral("create table t (u, r, t)"), &error));
    QVERIFY2(db.exec(QStringLiteral("with recursive s(i) as (select 1 union all select i + 1 from s where i < 70000) "
                                    "insert into t select i + 0.125, i % 3, case i % 4 when 0 then '2.5x' "
                                    "when 1 then 1e30 else null end from s"),
                     &error),
             qPrintable(error));
    MemTable table(db, QStringLiteral("t"), {});
    QVERIFY2(table.load(&error), qPrintable(error));
    SortRanks ranks(table);
    RowSet view(QStringLiteral("view"));
    std::vector<int> shown;
    for (const int p : table.positionsInRowIdOrder())
        if (table.rowId(p) % 2 == 0)
            shown.push_back(p);
    view.showPositions(table, ranks, shown);

    QList<GridColumn> columns;
    for (const char* field : {"u", "r", "t"}) {
        GridColumn c;
        c.field = QLatin1String(field);
        c.title = c.field;
        c.format = GridColumn::Format::General;
        c.footer = GridColumn::Footer::Sum;
        columns << c;
    }
    DataGridModel model;
    model.setColumns(columns);
    model.setRowSet(&view);
    const auto sameAsFresh = [&] {
        DataGridModel fresh;
        fresh.setColumns(columns);
        fresh.setRowSet(&view);
        for (int c = 0; c < columns.size(); ++c)
            if (model.footerText(c) != fresh.footerText(c) || model.footerText(c).isEmpty())
                return QStringLiteral("%1: %2 instead of %3")
                    .arg(columns.at(c).field, model.footerText(c), fresh.footerText(c));
        // The cells' texts too, which the model keeps for the values it showed.
        for (int r = 0; r < view.rowCount(); ++r)
            for (int c = 0; c < columns.size(); ++c)
                if (model.text(r, c) != fresh.text(r, c))
                    return QStringLiteral("row %1 %2: %3 instead of %4")
                        .arg(QString::number(r), columns.at(c).field, model.text(r, c), fresh.text(r, c));
        return QString();
    };
    QString diff = sameAsFresh();
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
    QCOMPARE(model.footerText(1), QStringLiteral("35001")); // rowid % 3 over the even rowids 2..70000
    // A text adds the number it starts with, as the engine's sum() adds it:
    // '2.5x' in every fourth row, NULL in the other even ones.
    QueryResult engine;
    QVERIFY(db.query(Statement{QStringLiteral("select sum(t) from t where rowid % 2 = 0"), {}}, &engine, &error));
    QCOMPARE(engine.rows.at(0).at(0).toDouble(), 43750.0);
    QCOMPARE(model.footerText(2), QStringLiteral("43750"));

    for (int r = 0; r < 4; ++r) // shown last before the writes below
        for (int c = 0; c < columns.size(); ++c)
            model.text(r, c);

    // Shown and hidden rows rewritten: values by row change in place, shared
    // values change to new ones, numbers become texts and back, a row appears.
    QVERIFY(db.exec(QStringLiteral("update t set u = u * 3, r = 100 + rowid, t = '7' where rowid in (2, 3, 4, 69998)"),
                    &error));
    QVERIFY(db.exec(QStringLiteral("update t set u = 'x', r = null, t = 1.5 where rowid in (6, 8)"), &error));
    QVERIFY(db.exec(QStringLiteral("insert into t values (1, 2, 3)"), &error));
    for (const qint64 id : {2, 3, 4, 69998, 6, 8, 70001})
        QVERIFY2(table.refreshRow(id, &error), qPrintable(error));
    diff = sameAsFresh();
    QVERIFY2(diff.isEmpty(), qPrintable(diff));

    // The same fields shown as amounts: no text kept in the old format stays.
    QCOMPARE(model.text(0, 0), QStringLiteral("6.375"));
    for (GridColumn& c : columns)
        c.format = GridColumn::Format::Amount;
    model.setColumns(columns);
    QCOMPARE(model.text(0, 0), QStringLiteral("6.38")); // 6.375 in two decimals
    diff = sameAsFresh();
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
}

QTEST_MAIN(TestViewTotals)
#include "tst_viewtotals.moc"
