#pragma once

#include "store/memory/columntable.h"

#include <QObject>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <memory>
#include <optional>
#include <vector>

class MemTable;
class SortRanks;
struct QueryResult;

// An in-memory result of one statement, as a grid shows it: column names, rows,
// a current row and an in-memory sort. Rows read with a hidden identity (a
// result column "_rid") can be changed and deleted through the data module,
// which writes the change to the row's table by that identity.
//
// A set can also be a view: a list of row positions into an in-memory table
// (showPositions). Nothing is copied then; values are read from the table, a
// sort reorders the positions by keys the SortRanks computed once, and the set
// follows the table: a row rewritten there is shown changed, a row removed
// there leaves the set, and a reload of the table empties the set until its
// owner shows new positions.
//
// A set can also hold a column-oriented result (loadColumns): its rows are
// read from the ColumnTable through a list of row numbers, which a sort
// reorders; such a set is read-only.
class RowSet final : public QObject
{
    Q_OBJECT
public:
    explicit RowSet(QString name, QString writeTable = {}, QObject* parent = nullptr);

    QString name() const { return m_name; }
    // Table that changes and deletions of the current row are written to; empty for read-only sets.
    QString writeTable() const { return m_writeTable; }

    bool isOpen() const { return m_open; }
    const QStringList& columns() const { return m_columns; }
    int columnIndex(const QString& field) const; // case-insensitive, -1 when absent
    int rowCount() const { return m_table || m_columnTable ? int(m_positions.size()) : int(m_rows.size()); }
    bool isEmpty() const { return rowCount() == 0; }

    QVariant value(int row, int column) const;
    QVariant value(int row, const QString& field) const;
    qint64 rowId(int row) const;
    // The row that holds identity `id`; -1 when the set does not hold it.
    int rowOf(qint64 id) const;

    int current() const { return m_current; }
    void setCurrent(int row);
    void last() { setCurrent(rowCount() - 1); }
    // Field of the current row; null when there is none.
    QVariant field(const QString& name) const { return value(m_current, name); }

    // "field" sorts ascending, "field DESC" descending; stable; empty values first
    // when ascending. The current row stays the same row.
    void sort(const QString& sortOrder);
    QString sortSpec() const { return m_sort; }

    // Used by the data module.
    void close();
    void load(QueryResult&& result);
    // Holds `table` and shows all its rows in its order.
    void loadColumns(ColumnTable&& table);
    void replaceRow(int row, const QVariantMap& values);
    void removeRow(int row);

    // Makes the set a view of `positions` of `table`, in that order; `ranks`
    // (of the same table) orders its sorts. Neither is owned.
    void showPositions(const MemTable& table, SortRanks& ranks, std::vector<int> positions);
    bool isView() const { return m_table != nullptr; }
    const MemTable* viewTable() const { return m_table; }
    // The table position a row of a view shows; -1 for other sets.
    int position(int row) const;
    const std::vector<int>& positions() const { return m_positions; }
    // A number column's total in 1/10000 units over the rows of a set loaded
    // by loadColumns, when its table holds the column's units
    // (ColumnTable::units) and the total fits; nothing otherwise.
    std::optional<qint64> unitsTotal(int column) const;

signals:
    void aboutToReset();
    void resetDone();
    // A sort: the same rows in another order.
    void aboutToReorder();
    void reordered();
    // Around a change of one row's values (the old ones are readable before).
    void aboutToChangeRow(int row);
    void rowChanged(int row);
    void aboutToRemoveRow(int row);
    void rowRemoved(int row);
    void currentChanged(int row);

private:
    void detachView();
    int rowOfPosition(int pos) const;
    void sortPositions(const std::vector<int>& rank, bool descending);

    QString m_name;
    QString m_writeTable;
    QString m_sort;
    bool m_open = false;
    QStringList m_columns;
    QVector<QVector<QVariant>> m_rows;
    QVector<qint64> m_ids;
    int m_current = -1;
    // View mode.
    const MemTable* m_table = nullptr;
    SortRanks* m_ranks = nullptr;
    std::vector<int> m_positions;
    quint64 m_viewLoad = 0;
    // Column mode: m_positions are rows of this table.
    std::unique_ptr<ColumnTable> m_columnTable;
};

// Orders two stored values: empty first, numbers by value, texts in Chinese order (chinesecollation.h).
int compareValues(const QVariant& a, const QVariant& b);
