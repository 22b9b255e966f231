#pragma once

#include <QString>
#include <QVariant>

#include <QByteArrayView>

struct sqlite3;
struct sqlite3_stmt;
struct Statement;

// Owns one prepared statement of a connection and finalises it on every path.
// Every sqlite3_stmt of the program lives in one of these.
//
// Construction prepares (and, from a Statement, binds its values); on failure
// the object is empty (isValid() false) and *error holds the engine's text.
class PreparedStatement final
{
public:
    PreparedStatement() = default;
    // Prepares `sql` (UTF-8) on `db`; a null `db` gives "Database is not open".
    PreparedStatement(sqlite3* db, QByteArrayView sql, QString* error);
    // Prepares st.sql and binds st.params in order; the count of values must
    // be the count of the statement's parameters.
    PreparedStatement(sqlite3* db, const Statement& st, QString* error);
    ~PreparedStatement();
    PreparedStatement(PreparedStatement&& other) noexcept;
    PreparedStatement& operator=(PreparedStatement&& other) noexcept;
    PreparedStatement(const PreparedStatement&) = delete;
    PreparedStatement& operator=(const PreparedStatement&) = delete;

    bool isValid() const { return m_stmt != nullptr; }
    sqlite3_stmt* get() const { return m_stmt; }
    sqlite3* connection() const { return m_db; }

    // Binds one value (1-based index): a null or invalid QVariant as NULL,
    // doubles as reals, integer types and bools as integers, anything else as
    // its text. False when the engine refuses.
    bool bind(int index, const QVariant& value);
    // The engine's last error text on the statement's connection.
    QString engineError() const;

private:
    void reset();

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
};
