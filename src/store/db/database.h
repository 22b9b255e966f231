#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <functional>
#include <map>
#include <string>
#include <vector>

struct sqlite3;

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

// The encrypted database file. Returns values or error texts; it never shows
// anything to the user.
class Database final
{
public:
    Database() = default;
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens an existing file (create = false) or creates a new one, with the
    // shop's database password. On failure returns false with the engine's text.
    bool open(const QString& path, bool create, QString* error);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    QString path() const { return m_path; }

    bool exec(const Statement& st, QString* error, int* changes = nullptr);
    bool exec(const QString& sql, QString* error) { return exec(Statement{sql, {}}, error); }
    bool query(const Statement& st, QueryResult* out, QString* error);
    qint64 lastInsertRowId() const;

    sqlite3* handle() const { return m_db; }
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
    // How many rows are noted per tracked table, so that a transaction rolled
    // back can forget the rows it noted and keep those noted before it.
    using WriteMark = std::map<std::string, size_t>;
    WriteMark writeMark() const;
    void forgetWritesSince(const WriteMark& mark);

    static QString password();

private:
    static void onUpdate(void* self, int op, const char* database, const char* table, qint64 rowId);
    bool run(const Statement& st, QString* error, int* changes);
    bool hasNotedWrites() const;

    sqlite3* m_db = nullptr;
    quint64 m_serial = 0;
    QString m_path;
    std::map<std::string, std::vector<qint64>> m_written; // tracked tables only
    std::function<void()> m_onCommit;
};

// Rolls back in its destructor unless committed. One operation that writes
// several rows or tables opens one of these; they nest.
class Transaction final
{
public:
    // Immediate: an outermost transaction takes the write lock at once, so that
    // what it reads cannot be changed by another connection before it writes.
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
    bool m_outer = false; // began with BEGIN IMMEDIATE, ends with COMMIT or ROLLBACK
    QString m_error;
    Database::WriteMark m_mark; // the rows noted before it began
};

// Quotes a column or table name that the code itself supplies ("2", "day1").
QString quoteIdentifier(const QString& name);
// True for the names the code uses for tables and columns; anything else is
// refused before it can reach a statement text.
bool isPlainIdentifier(const QString& name);
