#pragma once

#include "store/db/database.h"

#include <QString>
#include <QVector>

#include <functional>

struct pg_conn;

// Why the last statement on the server failed.
struct ServerError
{
    // The server's primary message ("duplicate key value violates unique
    // constraint …"), or the client library's own text when no server answered.
    QString text;
    // The server's five-character error code; empty when no server answered.
    QString sqlState;
    // The connection broke (the server went away, the network failed): what
    // the statement did is unknown until it is looked up on a new connection.
    bool connectionLost = false;

    // Another transaction's writes made this one's impossible; running the
    // whole transaction again may succeed.
    bool isSerializationFailure() const { return sqlState == QLatin1String("40001"); }
    bool isDeadlock() const { return sqlState == QLatin1String("40P01"); }
    bool isRetryable() const { return isSerializationFailure() || isDeadlock(); }
};

// The libpq connection string of what ServerConnection::open() takes: a
// connection string or postgresql:// address as it is, a bare name as the
// service of that name. The server's own tools (pg_dump) take it too.
QString serverConnectionString(const QString& database);

// A notification that arrived on a channel this connection listens to.
struct ServerNotification
{
    QString channel;
    QString payload;
};

// A connection to the shop's database on a PostgreSQL server. It runs the same
// statements as Database and answers in the same shapes: `?` placeholders
// (outside quoted texts, quoted names and comments) become the server's $1…$n,
// and a name in brackets ([ID], as quoteIdentifier writes it) becomes a quoted
// name ("ID"). Values are sent typed: qint64 and the other integers as int8,
// double as float8, bool as bool, a null QVariant as NULL, everything else as
// text. Results come back as NULL, qint64 (int2/int4/int8, and bool as 0 or 1),
// double (float4/float8/numeric) or QString (everything else, UTF-8).
//
// Returns values or error texts; it never shows anything to the user. It
// keeps no connection string, so a password written into one is not kept
// either (the usual place of a password is ~/.pgpass).
class ServerConnection final
{
public:
    ServerConnection() = default;
    ~ServerConnection();
    ServerConnection(const ServerConnection&) = delete;
    ServerConnection& operator=(const ServerConnection&) = delete;

    // Opens `database`: a libpq connection string ("host=… dbname=…"), a
    // postgresql:// address, or the name of a service of pg_service.conf.
    // Empty: the client library's defaults (PGSERVICE, PGHOST, PGDATABASE, …).
    // On failure returns false with "无法连接到数据库服务器：" and the server's text.
    bool open(const QString& database, QString* error);
    void close();
    bool isOpen() const { return m_conn != nullptr; }
    // Whether the connection to the server broke (it stays open, unusable).
    bool isBroken() const;
    // Connects again to the same database, as a new session: what the old
    // one listened to or had begun is gone. False with the reason when the
    // server cannot be reached; the connection stays broken then.
    bool reconnect(QString* error);
    // Asks whether the server of this connection answers now, without
    // logging in: the returned function takes its own copy of what named the
    // connection and may be called on any thread (a connect attempt to a host
    // that does not answer waits for the connection's timeout). Returns
    // false when the connection is not open.
    std::function<bool()> pinger() const;
    // "dbname on host:port", for telling the user which shop database this is.
    QString description() const;

    bool exec(const Statement& st, QString* error, int* changes = nullptr);
    bool exec(const QString& sql, QString* error) { return exec(Statement{sql, {}}, error); }
    bool query(const Statement& st, QueryResult* out, QString* error);
    // Why the last failed statement failed; cleared by the next one that succeeds.
    const ServerError& lastError() const { return m_lastError; }
    // Whether a transaction is open (also one that a failed statement aborted).
    bool inTransaction() const;
    // Whether a failed statement aborted the open transaction.
    bool transactionAborted() const;

    // Runs `st` and hands its result to `each` in place, in one batch, or in
    // batches of at most `batchRows` rows read through a cursor (inside the
    // open transaction, or one of its own that ends with the read) when
    // `batchRows` is above 0. `each` returns false to stop reading.
    bool readRows(const Statement& st, int batchRows, const std::function<bool(const RowBatch&)>& each, QString* error);

    // Starts listening to `channel` (a name the code itself supplies).
    bool listen(const QString& channel, QString* error);
    // The connection's socket, for a QSocketNotifier: it becomes readable
    // when a notification arrives. -1 when closed.
    int socket() const;
    // Reads what the server has sent meanwhile (without waiting) and returns
    // every notification received since the last call, oldest first,
    // including those that arrived during a statement.
    QVector<ServerNotification> takeNotifications();

    pg_conn* handle() const { return m_conn; }

private:
    bool run(const Statement& st, QueryResult* out, QString* error, int* changes);
    bool setUp(QString* error);
    // Runs `st`; the server's result when it succeeded, else null with the error noted.
    pg_result* execute(const Statement& st, QString* error);

    pg_conn* m_conn = nullptr;
    ServerError m_lastError;
};

// Rolls back in its destructor unless committed. The outermost one is a
// transaction (BEGIN … COMMIT), an inner one a savepoint, so that an
// operation that writes several rows can be part of a larger one.
class ServerTransaction final
{
public:
    explicit ServerTransaction(ServerConnection& db);
    ~ServerTransaction();
    ServerTransaction(const ServerTransaction&) = delete;
    ServerTransaction& operator=(const ServerTransaction&) = delete;

    bool begun() const { return m_begun; }
    QString error() const { return m_error; }
    bool commit(QString* error);

private:
    ServerConnection& m_db;
    bool m_begun = false;
    bool m_done = false;
    bool m_outer = false;
    QString m_error;
};

// The statement text the server runs for `sql`: placeholders numbered and
// bracketed names quoted, as described at ServerConnection. *placeholders
// receives how many `?` it held.
QByteArray serverStatementText(const QString& sql, int* placeholders);
