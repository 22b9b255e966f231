#pragma once

#include "core/result.h"
#include "store/db/database.h"
#include "store/memory/distinctvalues.h"
#include "store/memory/rowset.h"
#include "store/memory/salesearch.h"
#include "store/memory/stockqueries.h"

#include <QObject>
#include <QVariantMap>

#include <memory>
#include <optional>

class MemTable;
class SaleFilter;
class SortRanks;
class StockFilter;

// The rows of the stock table (`data`) and the sale table (`data1`) one
// commit wrote: inserted, changed or deleted, each identity once.
struct StoreChange
{
    QList<qint64> stockRows;
    QList<qint64> saleRows;
};

// Tdmfm is the program's data module: the one connection to the shop database,
// the in-memory stock and sale tables with the stock list, sales list and
// summary they show, and the query helpers that run statements on them. Rows
// read for one purpose (a slip, a customer, the user names) come back as values
// from the free functions of salelookup.h and userqueries.h; no result set is
// shared between windows. It shows nothing: every operation that can fail
// returns a Result with the engine's own text, for the window to show.
//
// Writes are published once, after their commit: the connection notes the
// rows each statement writes, and when they are committed the in-memory
// tables read exactly those rows again and changed() is emitted once. A write
// rolled back publishes nothing.
class Tdmfm final : public QObject
{
    Q_OBJECT
public:
    explicit Tdmfm(QObject* parent = nullptr);
    ~Tdmfm() override;

    // Opens the connection to an existing database file and makes sure the
    // program can work on it: the four tables with their columns can be read
    // and the file can be written. Nothing is reported here: the caller
    // decides how to show the engine's error text.
    bool open(const QString& path, QString* error);
    QString path() const { return m_path; }
    Database& db() { return m_db; }
    bool isOpen() const { return m_db.isOpen(); }
    // Closes the connection, so that the file can be replaced underneath
    // (restore), and every data set with it.
    void closeConnection();
    // Opens the same file again, as open() does. The stock table and the
    // customer names are read again at their next use: the file may hold
    // other rows now.
    bool reopen(QString* error);

    RowSet& stockList() { return m_stockList; }

    // The stock table `data` held in memory: the stock list shows rows of it,
    // and the drop-down lists take their values from it. Loaded by the first
    // showAllStock() or searchStock(); kept current by every commit.
    MemTable& stockTable() { return *m_stockTable; }
    // The distinct values of a column of the stock table (a, b, c, d or g) for
    // a drop-down list, as "group by c order by c" gives them; writes of other
    // programs are read first.
    Result<DistinctValues::Snapshot> stockValues(const QString& column);
    // "全部记录" and "查询" on the stock list: the rows of stockq::listAll() and
    // stockq::search(), shown as a view of the stock table. Writes another
    // program committed to the file are read first. A condition the engine
    // would refuse leaves the list closed.
    Result<void> showAllStock(stockq::ZeroStock zero);
    Result<void> searchStock(stockq::ZeroStock zero, const stockq::Conditions& c);

    // The sale table `data1` held in memory, for the sales list, the charts and
    // the summaries: freshSalesTable() loads it the first time and re-reads it
    // after another program wrote the file; every commit keeps it current.
    MemTable& salesTable() { return *m_salesTable; }
    Result<void> freshSalesTable();
    // The sales detail window's commands on the sales list: the rows of
    // salesearch::statement(q), shown as a view of the sale table. Writes another
    // program committed are read first. A query the engine would refuse
    // leaves the list as it was.
    Result<void> showSales(const salesearch::Query& q);
    // The distinct values of a column of the sale table (d) for a drop-down
    // list, in the stock lists' order; the table is made fresh first.
    Result<DistinctValues::Snapshot> saleValues(const QString& column);
    RowSet& salesList() { return m_salesList; }
    RowSet& summaryQuery() { return m_summaryQuery; }
    // "汇总统计": the summary of the stock table (summary.h) into the summary
    // query, from the in-memory stock table after reading what other programs
    // wrote; the last row becomes current. An engine error leaves the query
    // closed.
    Result<void> refreshSummary();
    // The customer names of the sales for the sale panel's list, as
    // OpenDistinctColumn gives them: read once (a scan of every sale row), then
    // kept current by every commit of sale rows, and read again when another
    // program wrote the file.
    Result<QStringList> customerNames();

    // Close the set, replace its statement, open it. A failed statement leaves the set closed.
    Result<void> OpenQuery(RowSet& set, const Statement& st);
    // Close the set and execute a statement that returns no rows; the number
    // of rows it changed.
    Result<int> ExecStatement(RowSet& set, const Statement& st);
    // The distinct values of one column in ascending order.
    Result<void> OpenDistinctColumn(RowSet& set, const QString& column, const QString& table);

    // Appends one row to a table; `values` maps column names to values. The
    // new row's identity.
    Result<qint64> appendRow(const QString& table, const QVariantMap& values);
    // Writes changed fields of the set's current row to its table, by row identity.
    Result<void> updateCurrent(RowSet& set, const QVariantMap& values);
    // Deletes the set's current row from its table and from the set.
    Result<void> deleteCurrent(RowSet& set);

    // Writes `values` into the row of the set's table whose identity is `rowId`,
    // in one statement, whichever row of the set is current; the set shows the
    // stored row afterwards if it holds it. When no stored row has that identity
    // (deleted meanwhile) nothing is written: Error::Kind::Gone.
    Result<void> updateRow(RowSet& set, qint64 rowId, const QVariantMap& values);
    // Deletes the row with identity `rowId` from the set's table and from the
    // set; a row that is no longer stored gives Error::Kind::Gone.
    Result<void> deleteRow(RowSet& set, qint64 rowId);

signals:
    // Once after every commit that wrote stock or sale rows, when the
    // in-memory tables and the customer names hold them.
    void changed(const StoreChange& change);

private:
    // Why the set's current row cannot be changed or deleted, if it cannot.
    static std::optional<Error> cannotWriteCurrent(const RowSet& set);
    Result<void> freshStockTable();
    Result<void> runStockQuery();
    // The commit listener of the connection: takes the rows written and
    // publishes them.
    void publishCommitted();
    void customerWritten(const QString& name);

    // The last stock list statement, run again when the table is re-read.
    struct StockQuery
    {
        bool search = false;
        stockq::ZeroStock zero = stockq::ZeroStock::Shown;
        stockq::Conditions conditions;
    };

    Database m_db;
    QString m_path;
    RowSet m_stockList;
    RowSet m_salesList;
    RowSet m_summaryQuery;
    std::optional<QStringList> m_customers;
    qint64 m_customersDataVersion = -1;
    std::unique_ptr<MemTable> m_stockTable;
    std::unique_ptr<MemTable> m_salesTable;
    std::unique_ptr<StockFilter> m_stockFilter;
    std::unique_ptr<SortRanks> m_stockRanks;
    std::unique_ptr<SaleFilter> m_saleFilter;
    std::unique_ptr<SortRanks> m_saleRanks;
    std::unique_ptr<DistinctValues> m_saleDistinct;
    std::optional<salesearch::Query> m_salesQuery;
    bool m_runningSalesQuery = false;
    std::unique_ptr<DistinctValues> m_stockDistinct;
    // A row the last publication could not read: the table is read whole at its next use.
    bool m_stockStale = false;
    bool m_salesStale = false;
    StockQuery m_stockQuery;
    bool m_runningStockQuery = false;
};

// True for the names the code uses for tables and columns; anything else is
// refused before it can reach a statement text.
bool isPlainIdentifier(const QString& name);
