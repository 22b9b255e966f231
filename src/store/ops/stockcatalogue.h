#pragma once

#include "core/result.h"
#include "store/memory/distinctvalues.h"
#include "store/memory/rowset.h"
#include "store/memory/stockqueries.h"

#include <QList>
#include <QObject>

#include <memory>

class Database;
class MemTable;
class SortRanks;
class StockFilter;
class TableLoader;
class ShopLocation;

// The stock table `data` held in memory, and what the windows show of it:
// the stock list ("全部记录" and "查询"), the summary ("汇总统计") and the
// distinct values of the drop-down lists. Loaded at its first use or in the
// background (loadInBackground); every commit of this program hands it the
// rows it wrote (takeWritten), and writes of other programs are read before
// anything is shown.
class StockCatalogue final : public QObject
{
    Q_OBJECT
public:
    explicit StockCatalogue(Database& db, QObject* parent = nullptr);
    ~StockCatalogue() override;

    MemTable& table() { return *m_table; }
    RowSet& list() { return m_list; }
    RowSet& summary() { return m_summary; }

    // The rows of stockq::listAll() and stockq::search(), shown in the list as
    // a view of the table. A condition the engine would refuse leaves the
    // list closed.
    Result<void> showAll(stockq::ZeroStock zero);
    Result<void> search(stockq::ZeroStock zero, const stockq::Conditions& c);
    // The distinct values of a column (a, b, c, d or g) for a drop-down list,
    // as "group by c order by c" gives them.
    Result<DistinctValues::Snapshot> values(const QString& column);
    // The summary of the table (summary.h); the last row becomes current. An
    // engine error leaves it closed.
    Result<void> refreshSummary();

    // Reads the table in the background on a connection of its own
    // (TableLoader); a read of the table before it is done waits for it.
    void loadInBackground(const ShopLocation& location);
    TableLoader& loader() { return *m_loader; }
    // True while the table has not been loaded and a load in the background
    // runs: a read now would wait for it.
    bool isWaitingForLoad() const;

    // The rows one commit of this program wrote: read into the loaded table.
    void takeWritten(const QList<qint64>& rows);
    // The connection is closing: the list and the summary close with it.
    void close();
    // Loads the table the first time, and reads it again after another
    // program wrote the file (or the connection was made anew).
    Result<void> fresh();

private:
    Result<void> runQuery();

    // The last list statement, run again when the table is re-read.
    struct Query
    {
        bool search = false;
        stockq::ZeroStock zero = stockq::ZeroStock::Shown;
        stockq::Conditions conditions;
    };

    RowSet m_list;
    RowSet m_summary;
    std::unique_ptr<MemTable> m_table;
    std::unique_ptr<StockFilter> m_filter;
    std::unique_ptr<SortRanks> m_ranks;
    std::unique_ptr<DistinctValues> m_distinct;
    std::unique_ptr<TableLoader> m_loader; // after the table: goes first
    Query m_query;
    bool m_runningQuery = false;
    // A row the last commit could not read: the table is read whole at its next use.
    bool m_stale = false;
};

// Reads the rows one commit wrote into a loaded copy of their table; many
// rows are read faster at once than one by one. False when a row could not
// be read.
bool takeWrittenRows(MemTable& table, const QList<qint64>& rows);
// Makes a loaded copy current before it is shown: read whole when `stale`
// (a commit's rows could not be read; cleared here), else read again only
// if another program wrote the file.
Result<void> freshenTable(MemTable& table, bool& stale);
