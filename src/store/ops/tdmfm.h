#pragma once

#include "core/result.h"
#include "store/db/database.h"
#include "store/db/shoplocation.h"
#include "store/memory/rowset.h"
#include "store/ops/salesledger.h"
#include "store/ops/stockcatalogue.h"

#include <QObject>
#include <QVariantMap>

#include <memory>
#include <optional>

// The rows of the stock table (`data`) and the sale table (`data1`) one
// commit wrote: inserted, changed or deleted, each identity once.
struct StoreChange
{
    QList<qint64> stockRows;
    QList<qint64> saleRows;
};

// Tdmfm is the program's data module: it holds the program's connection to
// the shop database, the stock catalogue (the in-memory stock table with the
// stock list, summary and drop-down values) and the sales ledger (the
// in-memory sale table with the sales list and the customer names); the two
// tables may be read in the background, each on a connection of its own that
// lives only for that read (TableLoader). It holds the statement
// helpers windows run on them. Rows read for one purpose (a slip, a customer,
// the user names) come back as values from the free functions of
// salelookup.h and userqueries.h; no result set is shared between windows. It
// shows nothing: every operation that can fail returns a Result with the
// engine's own text, for the window to show.
//
// Writes are published once, after their commit: the connection notes the
// rows each statement writes, and when they are committed the catalogue and
// the ledger read exactly those rows and changed() is emitted once. A write
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
    Result<void> open(const QString& path) { return open(ShopLocation::file(path)); }
    // The same for a shop on either engine; on a server the schema version
    // must be this program's and the four tables readable.
    Result<void> open(const ShopLocation& location);
    // The file's path; empty for a shop on a server.
    QString path() const { return m_location.isServer() ? QString() : m_location.target(); }
    const ShopLocation& location() const { return m_location; }
    Database& db() { return m_db; }
    bool isOpen() const { return m_db.isOpen(); }
    // Closes the connection, so that the file can be replaced underneath
    // (restore), and every list shown with it.
    void closeConnection();
    // Opens the same database again, as open() does. The stock table and the
    // customer names are read again at their next use: the file may hold
    // other rows now.
    Result<void> reopen();

    // Start reading the stock table or the sale table in the background, on
    // a connection of their own to the open shop (see TableLoader); a read
    // of the table before it is done waits for it.
    void loadStockInBackground();
    void loadSalesInBackground();

    StockCatalogue& stock() { return *m_stock; }
    SalesLedger& sales() { return *m_sales; }

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
    // The commit listener of the connection: takes the rows written and
    // publishes them.
    void publishCommitted();

    Database m_db;
    ShopLocation m_location;
    std::unique_ptr<StockCatalogue> m_stock;
    std::unique_ptr<SalesLedger> m_sales;
};

// The distinct values of one column of a table in ascending (Chinese) order,
// read now; only plain identifiers are accepted.
Result<QueryResult> readDistinctColumn(Database& db, const QString& column, const QString& table);
