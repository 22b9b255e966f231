#pragma once

#include <QObject>

#include <memory>
#include <vector>

class MemTable;

// The order of a title-click sort over the rows of an in-memory table: the
// engine's storage-class order (storageClassRank) with texts in Chinese order:
// NULL first, then numbers by value, then texts, then blobs by their bytes.
// Each row's key is computed once per column and the keys are ranked once, so
// sorting any list of rows by that column compares integers. A row the program
// rewrites or appends gets its keys recomputed and the ranks of its columns
// re-derived on the next sort; a reload of the table drops everything.
class SortRanks final : public QObject
{
    Q_OBJECT
public:
    explicit SortRanks(const MemTable& table, QObject* parent = nullptr);
    ~SortRanks() override;

    // Rank of every position of the table in `column` (equal values share a rank).
    const std::vector<int>& ranks(int column);
    // Whether the ranks of `column` are ready, so a sort costs only the reorder.
    bool isRanked(int column) const;

private:
    struct Column;
    void dropAll();
    void rowWritten(int pos);
    Column& column(int c);

    const MemTable& m_table;
    std::vector<std::unique_ptr<Column>> m_columns;
};
