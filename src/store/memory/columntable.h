#pragma once

#include <QStringList>
#include <QVariant>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A computed result held column by column, so that a row set can show it
// without a value object per cell (RowSet::loadColumns). Value columns hold
// stored values as an in-memory table does: NULL, integer, real, or text as
// UTF-8 in one buffer per column. Number columns hold doubles beside their
// fixed-point units (1/10000, as num::Money reads them), so that a column's
// total is a sum of integers. Built once, then only read; every cell starts
// NULL.
class ColumnTable final
{
public:
    explicit ColumnTable(int rowCount = 0);

    int rowCount() const { return m_rowCount; }
    const QStringList& columns() const { return m_names; }
    int columnIndex(const QString& name) const; // case-insensitive, -1 when absent

    int addValueColumn(const QString& name);
    void setText(int column, int row, std::string_view utf8);
    void setInteger(int column, int row, qint64 value);
    void setReal(int column, int row, double value);

    int addNumberColumn(const QString& name);
    void setNumber(int column, int row, double value);
    // The number `units` / 10000 from its exact units: the double read is
    // their nearest, and the units are known without converting it back.
    void setUnits(int column, int row, qint64 units);

    // Ranks that order the column's rows as a title-click sort orders their
    // values (equal values share a rank); nullptr when none were given.
    void setRanks(int column, std::vector<int> ranks);
    const std::vector<int>* ranks(int column) const;

    // The order the rows are shown in (a permutation of them); by default
    // their own.
    void setOrder(std::vector<int> order);
    std::vector<int> order() const;

    // As a row set reads it: null, qint64, double or QString.
    QVariant value(int row, int column) const;
    // A number column's values in units, NULL counting 0, when num::Money
    // holds every one of them; nothing for other columns.
    const std::vector<qint64>* units(int column) const;

private:
    enum class Kind : quint8 { Null, Integer, Real, Text, Units };
    struct Column
    {
        bool numbers = false;
        std::vector<Kind> kinds;
        // The integer, the double's bits, or offset << 32 | length into `bytes`;
        // for Units, nothing (the value comes from `units`).
        std::vector<quint64> cells;
        std::string bytes;
        std::vector<qint64> units;
        bool allUnits = true;
        std::optional<std::vector<int>> ranks;
    };
    int addColumn(const QString& name, bool numbers);

    int m_rowCount;
    std::vector<int> m_order; // empty: the rows' own
    QStringList m_names;
    std::vector<Column> m_cols;
};
