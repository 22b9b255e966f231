#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <unordered_map>
#include <vector>

class MemTable;
class RowSet;

// The totals of some columns over the rows a RowSet shows, added as the
// engine's sum() adds them (ColumnSum's rule) in fixed point (1/10000), so a
// grid's totals row equals the statement's sums. Computed once per reset of
// the set, then kept current by taking a changed or removed row's old values
// out and its new ones in; never while painting. Over a view of an in-memory
// table the share of each distinct value of a column (MemTable::entry()) is
// kept per load of the table, so a new list of positions is totalled without
// converting a value, and a row the table re-reads moves the totals by the
// difference.
class RowSetTotals final : public QObject
{
    Q_OBJECT
public:
    explicit RowSetTotals(QObject* parent = nullptr);

    // Totals the named columns (compared without regard to case) of the rows
    // `rows` shows now; called again after every reset of the set. A name the
    // set lacks totals to 0.
    void reset(const RowSet* rows, const QStringList& fields);
    // The total of the field at `index` of the names given to reset(); 0 when
    // no row has a value.
    long double total(int index) const;

signals:
    // A total changed between resets: a shown row was changed, re-read by its
    // table or removed.
    void changed();

private:
    __extension__ typedef __int128 Units;
    // One value's share of a total: units, or a number beyond their range.
    struct Part
    {
        qint64 units = 0;
        bool wide = false;
        long double wideValue = 0;
    };
    struct Sum
    {
        int field = -1; // column of the set (and of its table in view mode), -1 when absent
        Units units = 0;
        long double wide = 0;
    };
    // View mode: the share of a column's total of each entry of the column.
    struct Shares
    {
        std::vector<qint64> units;
        std::unordered_map<quint32, long double> wide;
    };

    static Part partOf(const QVariant& v);
    static void add(Sum& s, const Part& p, int sign);
    Part cachedPart(int field, int pos) const;
    void readShares(int field, Shares& sh);
    void readShare(int field, Shares& sh, quint32 entry);
    void attachRows(const RowSet* rows);
    void attachTable(const MemTable* table);
    void takeRow(int row, int sign);
    void tableRowAboutToChange(int pos);
    void tableRowWritten(int pos);

    QPointer<const RowSet> m_rows;
    const MemTable* m_table = nullptr; // the table the set is a view of
    std::vector<Sum> m_sums;
    std::unordered_map<int, Shares> m_shares; // by table column
    quint64 m_cacheLoad = ~quint64(0);        // load of the table the shares were read from
    std::vector<quint8> m_inView;             // by table position: shown by the set
};
