#pragma once

#include "core/result.h"
#include "store/memory/distinctvalues.h"
#include "store/memory/rowset.h"
#include "store/memory/salesearch.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <memory>
#include <optional>

class Database;
class MemTable;
class SaleFilter;
class SortRanks;
class TableLoader;
class ShopLocation;

// The sale table `data1` held in memory, for the sales list of the sales
// detail window, the charts and the summaries, and the customer names of the
// sale panel and its lookups (salelookup.h). Loaded at its first use or in
// the background (loadInBackground); every commit of this program hands it
// the rows it wrote (takeWritten), and writes of other programs are read
// before anything is shown.
class SalesLedger final : public QObject
{
    Q_OBJECT
public:
    explicit SalesLedger(Database& db, QObject* parent = nullptr);
    ~SalesLedger() override;

    MemTable& table() { return *m_table; }
    RowSet& list() { return m_list; }

    // Loads the table the first time (waiting for a load in the background,
    // if one runs, and reading it here if that failed), and reads it again
    // after another program wrote the file.
    Result<void> fresh();
    // Reads the table in the background on a connection of its own
    // (TableLoader): a window asks isWaitingForLoad() before it reads, and
    // the loader's signals tell of the progress and the end.
    void loadInBackground(const ShopLocation& location);
    TableLoader& loader() { return *m_loader; }
    // True while the table has not been loaded and a load in the background
    // runs: a read now would wait for it.
    bool isWaitingForLoad() const;
    // The rows of salesearch::statement(q), shown in the list as a view of the
    // table. A query the engine would refuse leaves the list as it was.
    Result<void> show(const salesearch::Query& q);
    // The distinct values of a column (d) for a drop-down list, in the stock
    // lists' order.
    Result<DistinctValues::Snapshot> values(const QString& column);
    // The customer names of the sales, as "select g from data1 group by g
    // order by g" gives them (names differing only in the case of ASCII
    // letters are one; NULL first, as an empty name), from the loaded table.
    Result<QStringList> customerNames();

    // The rows one commit of this program wrote: read into the loaded table.
    void takeWritten(const QList<qint64>& rows);
    // The connection is closing: the list closes with it.
    void close();

private:
    Database& m_db;
    RowSet m_list;
    std::unique_ptr<MemTable> m_table;
    std::unique_ptr<SaleFilter> m_filter;
    std::unique_ptr<SortRanks> m_ranks;
    std::unique_ptr<DistinctValues> m_distinct;
    std::optional<salesearch::Query> m_query;
    bool m_runningQuery = false;
    bool m_stale = false;
    std::unique_ptr<DistinctValues> m_customers;
    std::unique_ptr<TableLoader> m_loader; // after the table: goes first
};
