#pragma once

#include "core/result.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct pg_result;
class QSocketNotifier;
class QTimer;
class ServerConnection;

// A statement text with its bound values. User text only ever travels in
// `params`; the text itself is built from fixed fragments.
struct Statement
{
    QString sql;
    QVariantList params;
};

// The raw result of a query: column names and rows of values (NULL, double,
// qint64 or QString).
struct QueryResult
{
    QStringList columns;
    QVector<QVector<QVariant>> rows;
};

// Rows of a result read in place, without a QVariant per cell: what the
// in-memory tables load from the server. Cells are the server's text of the
// value; kind() says how to read it.
class RowBatch final
{
public:
    enum class Kind { Null, Integer, Real, Text };
    explicit RowBatch(const pg_result* r)
        : m_r(r)
    {
    }
    int rows() const;
    int columns() const;
    QString columnName(int column) const;
    // Whether the column holds texts (not numbers).
    bool isTextColumn(int column) const;
    Kind kind(int row, int column) const;
    qint64 integer(int row, int column) const;
    double real(int row, int column) const;
    // UTF-8 bytes of a text; empty for NULL.
    std::string_view text(int row, int column) const;

private:
    const pg_result* m_r;
};

// The shop's database: the encrypted file or a database on a PostgreSQL
// server (serverconnection.h), behind one interface. Returns values or error
// texts; it never shows anything to the user.
class Database final
{
public:
    Database();
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    enum class Engine { File, Server };

    // Opens an existing file (create = false) or creates a new one, with the
    // shop's database password. On failure returns false with the engine's text.
    bool open(const QString& path, bool create, QString* error);
    // Opens a shop database on a server: a libpq connection string, a
    // postgresql:// address or a service name (see ServerConnection::open).
    // The connection listens for the rows other connections commit.
    bool openServer(const QString& database, QString* error);
    void close();
    bool isOpen() const;
    Engine engine() const { return m_server ? Engine::Server : Engine::File; }
    // The file's path; on a server "dbname on host:port".
    QString path() const { return m_path; }

    bool exec(const Statement& st, QString* error, int* changes = nullptr);
    bool exec(const QString& sql, QString* error) { return exec(Statement{sql, {}}, error); }
    bool query(const Statement& st, QueryResult* out, QString* error);
    // The identity of the row the last INSERT … VALUES (…) of this connection
    // appended (on the server: its `rowid`, which the statement returns).
    qint64 lastInsertRowId() const;
    // Whether a transaction is open.
    bool inTransaction() const;
    // Server: whether a failed statement aborted the open transaction, so
    // that its COMMIT would only roll it back.
    bool transactionAborted() const;
    // Whether a statement that failed since resetRetryable() failed only
    // because of another transaction's writes (a serialization failure
    // or a deadlock on the server): the whole transaction may be run again.
    bool lastFailureRetryable() const { return m_retryable; }
    void resetRetryable() { m_retryable = false; }
    // A number that moves when another connection committed something this
    // connection was not told of: the file's data_version. On a server every
    // commit is told (trackWrites()), so it moves only with a new connection,
    // which may have missed some: a connection found broken is made anew
    // here (as before any statement outside a transaction), and
    // connectionSerial() moves with it.
    bool dataVersion(qint64* out, QString* error);
    // Runs `st` and hands its rows to `each` in batches of at most `batchRows`
    // (a server cursor, so memory stays bounded), or all at once when
    // `batchRows` is 0. `each` returns false to stop. Server only.
    bool readRows(const Statement& st, int batchRows, const std::function<bool(const RowBatch&)>& each, QString* error);

    // Whether this connection may read the purchase prices (and with them
    // the stock amounts and profits): always on the file; on a server not
    // for a role of ordinary users' tills, whose `data` is a view without
    // them (serverclerk.h). Asked once per connection.
    Result<bool> readsPurchasePrices();

    // The file's connection; null on a server.
    sqlite3* handle() const { return m_db; }
    // The server connection; null on the file. For the server's own schema
    // functions beside this class.
    ServerConnection* server() const { return m_server.get(); }
    // Gives back the decrypted pages kept between statements, and the process
    // memory freed with them: after a one-off read of a whole large table,
    // whose pages nobody reads again soon.
    void releaseCache();
    // A number of its own for every connection this program opens: a copy of
    // data read through a connection that has since been closed and opened
    // again (the file may have been replaced meanwhile) is known by it, even
    // when the engine hands out the same handle address again.
    quint64 connectionSerial() const { return m_serial; }

    // Notes the identities of the rows this connection inserts, updates or
    // deletes in `table` from now on (the engine's update hook), so a copy of
    // the table held in memory can read them again whichever statement wrote them.
    void trackWrites(const QString& table);
    // The noted identities of `table`, forgotten here.
    std::vector<qint64> takeWrittenRows(const QString& table);
    // Called once whenever noted rows became committed: after the statement
    // that ended the outermost transaction, or after a statement that wrote
    // them outside of one. Rows of a statement or transaction rolled back are
    // forgotten first, so the listener only ever hears of stored rows.
    void setCommitListener(std::function<void()> listener) { m_onCommit = std::move(listener); }
    // Server: called when a connection that broke while the program waited
    // for input was made anew by itself (tried every reconnectIntervalMs()).
    // Commits made meanwhile were not told: what the program holds of the
    // tables is to be read whole.
    void setReconnectListener(std::function<void()> listener) { m_onReconnect = std::move(listener); }
    static constexpr int reconnectIntervalMs() { return 2000; }
    // How many rows are noted per tracked table, so that a transaction rolled
    // back can forget the rows it noted and keep those noted before it.
    using WriteMark = std::map<std::string, size_t>;
    WriteMark writeMark() const;
    void forgetWritesSince(const WriteMark& mark);

    static QString password();

private:
    static void onUpdate(void* self, int op, const char* database, const char* table, qint64 rowId);
    bool run(const Statement& st, QString* error, int* changes);
    bool runOnServer(const Statement& st, QueryResult* out, QString* error, int* changes);
    bool hasNotedWrites() const;
    // Server: reads the rows other connections (and this one) committed, and
    // publishes them when no transaction is open.
    void takeServerNotes();
    void publishNoted();
    // Server: makes a broken connection anew unless a Transaction is open on
    // it (its statements must not go on in a new session); true when there
    // is nothing to do.
    bool reconnectIfBroken(QString* error);
    // Server, every reconnectIntervalMs() while the connection is broken.
    void tryReconnect();
    void listenToSocket();
    friend class Transaction;

    sqlite3* m_db = nullptr;
    std::unique_ptr<ServerConnection> m_server;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::unique_ptr<QTimer> m_reconnect; // server: tries again while the connection is broken
    bool m_probing = false;              // server: a thread asks whether the server answers
    quint64 m_serial = 0;
    QString m_path;
    qint64 m_lastInsert = 0;                              // server: the rowid the last INSERT returned
    std::map<std::string, std::vector<qint64>> m_written; // tracked tables only
    // Server: rows committed that arrived while a transaction of this
    // connection was open; noted when it ends, so that its rollback keeps them.
    std::vector<std::pair<std::string, qint64>> m_pending;
    std::function<void()> m_onCommit;
    std::function<void()> m_onReconnect;
    bool m_publishing = false;
    quint64 m_arrivals = 0; // server: counts the drains that noted rows
    bool m_retryable = false;
    quint64 m_pricesAskedOf = 0; // the connectionSerial() readsPurchasePrices() last asked on
    bool m_readsPrices = true;
    int m_transactions = 0; // Transaction objects begun and not yet ended
};

// Rolls back in its destructor unless committed. One operation that writes
// several rows or tables opens one of these; they nest.
class Transaction final
{
public:
    // Immediate: an outermost transaction on the file takes the write lock at
    // once, so that what it reads cannot be changed by another connection
    // before it writes. On a server both begin with BEGIN: what a transaction
    // reads in order to write it locks itself (lockForUpdate()).
    enum class Lock { Deferred, Immediate };
    explicit Transaction(Database& db, Lock lock = Lock::Deferred);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool begun() const { return m_begun; }
    QString error() const { return m_error; }
    bool commit(QString* error);

private:
    Database& m_db;
    bool m_begun = false;
    bool m_done = false;
    bool m_outer = false; // began with BEGIN (IMMEDIATE), ends with COMMIT or ROLLBACK
    QString m_error;
    Database::WriteMark m_mark; // the rows noted before it began
};

// Quotes a column or table name that the code itself supplies ("2", "day1").
QString quoteIdentifier(const QString& name);
// True for the names the code uses for tables and columns; anything else is
// refused before it can reach a statement text.
bool isPlainIdentifier(const QString& name);

// Runs `attempt`, which makes one whole transaction and returns Result<T>.
// When it failed only because another connection's transaction wrote the
// same rows at the same time (see Database::lastFailureRetryable()), it is
// run again, up to three more times; then its error is returned. Inside an
// enclosing transaction it runs once: the enclosing one has failed with it.
template <typename T, typename Attempt> Result<T> withRetries(Database& db, Attempt attempt)
{
    const bool nested = db.inTransaction();
    for (int again = 0;; ++again) {
        db.resetRetryable();
        Result<T> r = attempt();
        if (r.ok() || nested || again == 3 || r.error().kind != Error::Kind::Engine || !db.lastFailureRetryable())
            return r;
    }
}

// The end of a SELECT that reads a row the transaction is about to write from
// what it read: " FOR UPDATE" on a server (the row stays locked against other
// tills until the transaction ends); empty on the file, whose writing
// transaction holds the whole file.
QString lockForUpdate(const Database& db);

// The file's texts compare and LIKE-match without regard to the case of ASCII
// letters (NOCASE columns, the engine's LIKE), and LIKE has no escape
// character. The server's texts compare exactly and its LIKE takes "\" as an
// escape. These give a statement the file's meaning on either engine.
//
// `expr` with its ASCII capitals made small on a server; unchanged on the file.
QString asciiLower(Database::Engine engine, const QString& expr);
// "`column`=?" comparing as the file's NOCASE does.
QString equalsIgnoringCase(Database::Engine engine, const QString& column);
// "`column` like ?" matching as the file's LIKE does.
QString likeIgnoringCase(Database::Engine engine, const QString& column);
