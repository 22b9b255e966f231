#include "store/db/servermigration.h"

#include "store/db/columns.h"
#include "store/db/database.h"
#include "store/db/preparedstatement.h"
#include "store/db/schema.h"
#include "store/db/serverconnection.h"
#include "store/db/serverschema.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

namespace servermigration {

namespace {

constexpr qint64 kProgressEvery = 100000;
// Rows are sent to the server in pieces of about this size.
constexpr qsizetype kCopyChunk = 1 << 20;
// How many refused values a failed copy lists; the rest are counted.
constexpr int kListedRefusals = 20;

QString quoted(const QString& name)
{
    QString q = name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

QString fileQuoted(const QString& name)
{
    return quoteIdentifier(name);
}

// The shortest text that reads back as the same double, in the server's words
// for the values that have no digits.
QByteArray doubleText(double d)
{
    if (std::isinf(d))
        return d > 0 ? QByteArrayLiteral("Infinity") : QByteArrayLiteral("-Infinity");
    if (d == 0 && std::signbit(d))
        return QByteArrayLiteral("-0");
    return QByteArray::number(d, 'g', QLocale::FloatingPointShortest);
}

QString shownDouble(double d)
{
    return QString::fromLatin1(doubleText(d));
}

// ---------------------------------------------------------------- the file

// The shop file, opened only for reading. Its rows are read under one read
// transaction, so that what is read is one state of the file even while a
// program works on it; nothing is ever written to it.
class FileReader final
{
public:
    FileReader() = default;
    ~FileReader()
    {
        if (m_reading)
            sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close_v2(m_db);
    }
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    Result<void> open(const QString& path)
    {
        if (!QFileInfo(path).isFile())
            return Error::engine(QStringLiteral("%1: no such file").arg(path));
        if (QFileInfo(path).size() == 0)
            return Error::engine(QStringLiteral("%1: file is empty").arg(path));
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK)
            return Error::engine(
                QStringLiteral("%1: %2").arg(path, m_db ? engineText() : QStringLiteral("out of memory")));
        sqlite3_busy_timeout(m_db, 5000);
        // The key is a fixed text of the code; reading the schema fails on a
        // file that is not a database or has another key.
        const QByteArray setup = QStringLiteral("PRAGMA key = '%1';").arg(Database::password()).toUtf8();
        if (sqlite3_exec(m_db, setup.constData(), nullptr, nullptr, nullptr) != SQLITE_OK ||
            sqlite3_exec(m_db, "BEGIN; SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr) != SQLITE_OK)
            return Error::engine(QStringLiteral("%1: %2").arg(path, engineText()));
        m_reading = true;
        const auto version = integer(QStringLiteral("PRAGMA user_version"));
        if (!version)
            return version.error();
        if (*version > schema::kVersion)
            return Error::invalid(
                QStringLiteral("%1 was written by a newer version of the program (schema %2)").arg(path).arg(*version));
        for (const QString& t :
             {QStringLiteral("data"), QStringLiteral("data1"), QStringLiteral("userdb"), QStringLiteral("rz")}) {
            const auto cols = columns(t);
            if (!cols)
                return cols.error();
            if (cols->isEmpty())
                return Error::invalid(QStringLiteral("%1 is no shop database: table %2 is missing").arg(path, t));
        }
        return {};
    }

    sqlite3* handle() const { return m_db; }
    QString engineText() const { return QString::fromUtf8(sqlite3_errmsg(m_db)); }

    Result<qint64> integer(const QString& sql, const QVariantList& params = {})
    {
        QString error;
        const PreparedStatement st(m_db, Statement{sql, params}, &error);
        if (!st.isValid())
            return Error::engine(error);
        const int rc = sqlite3_step(st.get());
        if (rc == SQLITE_ROW)
            return qint64(sqlite3_column_int64(st.get(), 0));
        if (rc == SQLITE_DONE)
            return qint64(0);
        return Error::engine(engineText());
    }

    // The columns of `table` as the file names them; empty when it has no such table.
    Result<QStringList> columns(const QString& table)
    {
        QString error;
        const PreparedStatement st(m_db, QStringLiteral("PRAGMA table_info(%1)").arg(fileQuoted(table)).toUtf8(),
                                   &error);
        if (!st.isValid())
            return Error::engine(error);
        QStringList out;
        int rc;
        // The second column of table_info is the column's name.
        while ((rc = sqlite3_step(st.get())) == SQLITE_ROW)
            out << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 1)));
        if (rc != SQLITE_DONE)
            return Error::engine(engineText());
        return out;
    }

    // The highest identity the file's counter of `table` ever handed out
    // (deleted rows included); 0 when it keeps none.
    Result<qint64> identityCounter(const QString& table)
    {
        const auto has = integer(
            QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'sqlite_sequence'"));
        if (!has || *has == 0)
            return has;
        return integer(QStringLiteral("SELECT max(seq) FROM sqlite_sequence WHERE name = ? COLLATE NOCASE"), {table});
    }

private:
    sqlite3* m_db = nullptr;
    bool m_reading = false;
};

// ---------------------------------------------------------------- columns

// What a server column holds.
enum class Kind { Number, Whole, Text };

struct ServerColumn
{
    QString name;
    Kind kind = Kind::Text;
    bool identity = false;  // the row identity, filled from the file's rowid
    bool generated = false; // computed by the server (the keys made of the row identity)
};

Result<std::vector<ServerColumn>> serverColumns(ServerConnection& db, const QString& table)
{
    QueryResult r;
    QString error;
    if (!db.query(Statement{QStringLiteral("SELECT column_name, data_type, is_generated, is_identity "
                                           "FROM information_schema.columns "
                                           "WHERE table_schema = current_schema() AND table_name = ? "
                                           "ORDER BY ordinal_position"),
                            {table}},
                  &r, &error))
        return Error::engine(error);
    std::vector<ServerColumn> out;
    for (const auto& row : r.rows) {
        ServerColumn c;
        c.name = row.at(0).toString();
        const QString type = row.at(1).toString();
        if (type == QLatin1String("double precision") || type == QLatin1String("real") ||
            type == QLatin1String("numeric"))
            c.kind = Kind::Number;
        else if (type == QLatin1String("bigint") || type == QLatin1String("integer") ||
                 type == QLatin1String("smallint"))
            c.kind = Kind::Whole;
        c.generated = row.at(2).toString() == QLatin1String("ALWAYS");
        c.identity = row.at(3).toString() == QLatin1String("YES");
        out.push_back(c);
    }
    return out;
}

// One value of the file as the server column of `kind` takes it.
struct Cell
{
    enum class State { Null, Number, Whole, Text, Refused };
    State state = State::Null;
    double number = 0;
    qint64 whole = 0;
    QByteArrayView text; // valid until the statement steps on
    QString why;         // Refused: what the value is and why it has no place
};

QString shownText(QByteArrayView text)
{
    QString s = QString::fromUtf8(text.data(), text.size());
    if (s.size() > 40)
        s = s.left(40) + QStringLiteral("…");
    return s;
}

// The file lets any column hold any value; the server column holds one kind.
// A value is taken only when it keeps its meaning there.
Cell readCell(sqlite3_stmt* st, int col, Kind kind)
{
    Cell c;
    const int type = sqlite3_column_type(st, col);
    if (type == SQLITE_NULL)
        return c;
    if (type == SQLITE_BLOB) {
        c.state = Cell::State::Refused;
        c.why = QStringLiteral("binary data of %1 bytes").arg(sqlite3_column_bytes(st, col));
        return c;
    }
    if (type == SQLITE_TEXT) {
        const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
        c.text = QByteArrayView(t, sqlite3_column_bytes(st, col));
        if (kind == Kind::Text) {
            c.state = Cell::State::Text;
        } else {
            c.state = Cell::State::Refused;
            c.why = QStringLiteral("the text '%1' in a number column").arg(shownText(c.text));
        }
        return c;
    }
    if (type == SQLITE_INTEGER) {
        const qint64 v = sqlite3_column_int64(st, col);
        switch (kind) {
        case Kind::Whole:
            c.state = Cell::State::Whole;
            c.whole = v;
            return c;
        case Kind::Number: {
            const double d = double(v);
            // 2^63 itself is no qint64: compared first, the conversion back is defined.
            if (d >= 9223372036854775808.0 || qint64(d) != v) {
                c.state = Cell::State::Refused;
                c.why = QStringLiteral("the whole number %1, which a number column cannot hold exactly").arg(v);
                return c;
            }
            c.state = Cell::State::Number;
            c.number = d;
            return c;
        }
        case Kind::Text:
            c.state = Cell::State::Text;
            c.text = QByteArrayView(reinterpret_cast<const char*>(sqlite3_column_text(st, col)),
                                    sqlite3_column_bytes(st, col));
            return c;
        }
    }
    const double d = sqlite3_column_double(st, col);
    switch (kind) {
    case Kind::Number:
        c.state = Cell::State::Number;
        c.number = d;
        return c;
    case Kind::Whole:
        if (std::isfinite(d) && d == std::trunc(d) && d >= -9223372036854775808.0 && d < 9223372036854775808.0) {
            c.state = Cell::State::Whole;
            c.whole = qint64(d);
            return c;
        }
        c.state = Cell::State::Refused;
        c.why = QStringLiteral("the number %1 where a whole number belongs").arg(shownDouble(d));
        return c;
    case Kind::Text:
        // A number kept in a text column (one without a declared type) goes
        // as its exact text.
        c.state = Cell::State::Number;
        c.number = d;
        return c;
    }
    return c;
}

// The file's column for each server column that is copied (the row identity
// is the rowid), and the file's columns the server has no place for.
struct ColumnPlan
{
    std::vector<ServerColumn> copied;
    QStringList fileExpressions;
    QStringList unplaced;
};

ColumnPlan planColumns(const std::vector<ServerColumn>& server, const QStringList& fileColumns)
{
    ColumnPlan plan;
    QStringList placed;
    for (const ServerColumn& c : server) {
        const qsizetype at = [&] {
            for (qsizetype i = 0; i < fileColumns.size(); ++i)
                if (fileColumns.at(i).compare(c.name, Qt::CaseInsensitive) == 0)
                    return i;
            return qsizetype(-1);
        }();
        if (at >= 0)
            placed << fileColumns.at(at);
        // The server computes its generated columns (the keys the file makes
        // of its rowid) itself.
        if (c.generated)
            continue;
        if (c.identity) {
            plan.copied.push_back(c);
            plan.fileExpressions << QStringLiteral("rowid");
        } else if (at >= 0) {
            plan.copied.push_back(c);
            plan.fileExpressions << fileQuoted(fileColumns.at(at));
        }
    }
    for (const QString& f : fileColumns)
        if (!placed.contains(f))
            plan.unplaced << f;
    return plan;
}

const ServerColumn* identityColumn(const std::vector<ServerColumn>& columns)
{
    for (const ServerColumn& c : columns)
        if (c.identity)
            return &c;
    return nullptr;
}

// ---------------------------------------------------------------- copying

// Appends `text` to a row of the server's COPY text format.
void appendEscaped(QByteArray& out, QByteArrayView text)
{
    for (const char ch : text) {
        switch (ch) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += ch;
        }
    }
}

QString connectionText(pg_conn* conn)
{
    return QString::fromUtf8(PQerrorMessage(conn)).trimmed();
}

// The rows of one file table into its server table, streamed: COPY … FROM
// STDIN writes the given values into the identity column as INSERT …
// OVERRIDING SYSTEM VALUE would.
class TableCopy final
{
public:
    // scanOnly: only look for values that have no place on the server (a
    // copy already failed on one and nothing more is sent).
    TableCopy(ServerConnection& db, FileReader& file, const QString& table, const ColumnPlan& plan, bool scanOnly)
        : m_db(db)
        , m_file(file)
        , m_table(table)
        , m_plan(plan)
        , m_scanOnly(scanOnly)
    {
    }

    Result<qint64> run(qint64 total, const Progress& progress)
    {
        QStringList names;
        for (const ServerColumn& c : m_plan.copied)
            names << quoted(c.name);
        QString error;
        const PreparedStatement read(m_file.handle(),
                                     QStringLiteral("SELECT rowid, %1 FROM %2 ORDER BY rowid")
                                         .arg(m_plan.fileExpressions.join(QLatin1Char(',')), fileQuoted(m_table))
                                         .toUtf8(),
                                     &error);
        if (!read.isValid())
            return Error::engine(error);
        pg_conn* conn = m_db.handle();
        if (!m_scanOnly) {
            const QByteArray sql = QStringLiteral("COPY %1 (%2) FROM STDIN")
                                       .arg(quoted(m_table), names.join(QLatin1String(", ")))
                                       .toUtf8();
            PGresult* r = PQexec(conn, sql.constData());
            const bool started = r && PQresultStatus(r) == PGRES_COPY_IN;
            PQclear(r);
            if (!started)
                return Error::engine(connectionText(conn));
        }
        if (progress)
            progress(m_table, 0, total);
        QByteArray buffer;
        buffer.reserve(kCopyChunk + 64 * 1024);
        qint64 rows = 0;
        int rc;
        while ((rc = sqlite3_step(read.get())) == SQLITE_ROW) {
            const qint64 rowId = sqlite3_column_int64(read.get(), 0);
            for (int i = 0; i < int(m_plan.copied.size()); ++i) {
                if (i > 0)
                    buffer += '\t';
                const Cell cell = readCell(read.get(), i + 1, m_plan.copied.at(size_t(i)).kind);
                switch (cell.state) {
                case Cell::State::Null:
                    buffer += "\\N";
                    break;
                case Cell::State::Number:
                    buffer += doubleText(cell.number);
                    break;
                case Cell::State::Whole:
                    buffer += QByteArray::number(cell.whole);
                    break;
                case Cell::State::Text:
                    appendEscaped(buffer, cell.text);
                    break;
                case Cell::State::Refused:
                    refuse(rowId, m_plan.copied.at(size_t(i)).name, cell.why);
                    buffer += "\\N";
                    break;
                }
            }
            buffer += '\n';
            ++rows;
            if (m_scanOnly || m_refusals > 0)
                buffer.clear(); // nothing of this table is going to be kept
            if (buffer.size() >= kCopyChunk && !send(buffer))
                return abort(connectionText(conn));
            if (progress && rows % kProgressEvery == 0)
                progress(m_table, rows, total);
        }
        if (rc != SQLITE_DONE)
            return abort(m_file.engineText());
        if (!buffer.isEmpty() && !send(buffer))
            return abort(connectionText(conn));
        if (m_refusals > 0)
            return abort(QString());
        if (m_scanOnly)
            return rows;
        if (PQputCopyEnd(conn, nullptr) != 1)
            return Error::engine(connectionText(conn));
        if (const auto done = copyResult(); !done)
            return done.error();
        if (progress)
            progress(m_table, rows, total);
        return rows;
    }

    int refusals() const { return m_refusals; }
    const QStringList& refusalLines() const { return m_refusalLines; }

private:
    void refuse(qint64 rowId, const QString& column, const QString& why)
    {
        if (++m_refusals <= kListedRefusals)
            m_refusalLines
                << QStringLiteral("table %1, row %2, column %3: %4").arg(m_table).arg(rowId).arg(column, why);
    }

    bool send(QByteArray& buffer)
    {
        const bool sent = PQputCopyData(m_db.handle(), buffer.constData(), int(buffer.size())) == 1;
        buffer.clear();
        return sent;
    }

    // Ends the copy, so that the connection answers again; what the copy sent
    // is thrown away with the transaction.
    Result<qint64> abort(const QString& why)
    {
        if (m_scanOnly)
            return Error::engine(why);
        PQputCopyEnd(m_db.handle(), "copy stopped");
        static_cast<void>(copyResult()); // the stop itself fails the copy: its text says nothing new
        return Error::engine(why);
    }

    Result<void> copyResult()
    {
        Result<void> out;
        while (PGresult* r = PQgetResult(m_db.handle())) {
            if (PQresultStatus(r) != PGRES_COMMAND_OK && out.ok()) {
                const char* primary = PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY);
                const char* where = PQresultErrorField(r, PG_DIAG_CONTEXT);
                QString text = primary ? QString::fromUtf8(primary) : connectionText(m_db.handle());
                if (where)
                    text += QStringLiteral(" (%1)").arg(QString::fromUtf8(where).simplified());
                out = Error::engine(text);
            }
            PQclear(r);
        }
        if (out.ok() && PQstatus(m_db.handle()) != CONNECTION_OK)
            out = Error::engine(connectionText(m_db.handle()));
        return out;
    }

    ServerConnection& m_db;
    FileReader& m_file;
    QString m_table;
    const ColumnPlan& m_plan;
    bool m_scanOnly = false;
    int m_refusals = 0;
    QStringList m_refusalLines;
};

Result<qint64> serverInteger(ServerConnection& db, const Statement& st)
{
    QueryResult r;
    QString error;
    if (!db.query(st, &r, &error))
        return Error::engine(error);
    return r.rows.isEmpty() ? qint64(0) : r.rows.at(0).at(0).toLongLong();
}

// The shop tables on the server, the version record left out.
Result<QStringList> dataTables(ServerConnection& db)
{
    QString error;
    const std::optional<QStringList> tables = serverschema::existingTables(db, &error);
    if (!tables)
        return Error::engine(error);
    QStringList out = *tables;
    out.removeAll(serverschema::versionTable());
    return out;
}

// The identities of `table` go on after the highest one the file ever gave
// out, so that no new row takes the identity of a deleted one.
Result<void> continueIdentities(ServerConnection& db, FileReader& file, const QString& table,
                                const std::vector<ServerColumn>& server)
{
    const ServerColumn* identity = identityColumn(server);
    if (!identity)
        return {};
    const auto counter = file.identityCounter(table);
    if (!counter)
        return counter.error();
    const auto highest = serverInteger(
        db, Statement{QStringLiteral("SELECT coalesce(max(%1), 0) FROM %2").arg(quoted(identity->name), quoted(table)),
                      {}});
    if (!highest)
        return highest.error();
    const qint64 last = std::max(*counter, *highest);
    QString error;
    if (last > 0 && !db.exec(Statement{QStringLiteral("SELECT setval(pg_get_serial_sequence(?, ?), ?, true)"),
                                       {quoted(table), identity->name, last}},
                             &error))
        return Error::engine(error);
    return {};
}

} // namespace

Result<Copied> copyFile(const QString& filePath, ServerConnection& db, const Progress& progress)
{
    FileReader file;
    if (const auto opened = file.open(filePath); !opened)
        return opened.error();

    ServerTransaction t(db);
    if (!t.begun())
        return Error::engine(t.error());
    QString error;
    const std::optional<QStringList> existing = serverschema::existingTables(db, &error);
    if (!existing)
        return Error::engine(error);
    if (!existing->isEmpty())
        return Error::invalid(QStringLiteral("the database already holds the tables %1; it was left as it is")
                                  .arg(existing->join(QLatin1String(", "))));
    if (!serverschema::createDelivered(db, &error))
        return Error::engine(error);
    // The file's users, as they are, in place of the delivered one.
    const auto users = file.integer(QStringLiteral("SELECT count(*) FROM userdb"));
    if (!users)
        return users.error();
    if (*users > 0 && !db.exec(QStringLiteral("DELETE FROM userdb"), &error))
        return Error::engine(error);

    const auto tables = dataTables(db);
    if (!tables)
        return tables.error();
    // The copied rows are no one's news: without this, every one of them
    // would be told to every listening till at the commit (a notification a
    // row, a million for a big shop). The tables are new in this
    // transaction, so no other session can write them meanwhile.
    const auto switchTriggers = [&](const char* how) {
        for (const QString& table : *tables)
            if (!db.exec(QStringLiteral("ALTER TABLE %1 %2 TRIGGER USER").arg(quoteIdentifier(table), QLatin1String(how)),
                         &error))
                return false;
        return true;
    };
    if (!switchTriggers("DISABLE"))
        return Error::engine(error);
    Copied copied;
    QStringList refusals;
    int refused = 0;
    for (const QString& table : *tables) {
        const auto fileColumns = file.columns(table);
        if (!fileColumns)
            return fileColumns.error();
        if (fileColumns->isEmpty())
            continue; // an older file without this table: nothing to copy
        const auto server = serverColumns(db, table);
        if (!server)
            return server.error();
        const ColumnPlan plan = planColumns(*server, *fileColumns);
        if (!plan.unplaced.isEmpty())
            return Error::invalid(QStringLiteral("table %1 of the file has the columns %2, which the server's table "
                                                 "has no place for")
                                      .arg(table, plan.unplaced.join(QLatin1String(", "))));
        const auto total = file.integer(QStringLiteral("SELECT count(*) FROM %1").arg(fileQuoted(table)));
        if (!total)
            return total.error();
        // After a refusal the other tables are still read, for their
        // refusals; the copy that stopped is rolled back to here, so that the
        // server answers again.
        ServerTransaction tableCopied(db);
        if (!tableCopied.begun())
            return Error::engine(tableCopied.error());
        TableCopy copy(db, file, table, plan, refused > 0);
        const auto rows = copy.run(*total, progress);
        if (copy.refusals() > 0) {
            refused += copy.refusals();
            refusals += copy.refusalLines();
            continue;
        }
        if (!rows)
            return rows.error();
        if (refused > 0)
            continue;
        copied.rows += *rows;
        ++copied.tables;

        if (const auto continued = continueIdentities(db, file, table, *server); !continued)
            return continued.error();
        if (!tableCopied.commit(&error))
            return Error::engine(error);
    }
    if (refused > 0) {
        if (refused > refusals.size())
            refusals << QStringLiteral("and %1 more").arg(refused - refusals.size());
        return Error::invalid(QStringLiteral("%1 values of the file have no place on the server without changing "
                                             "their meaning (correct them in the program, then copy again): %2")
                                  .arg(refused)
                                  .arg(refusals.join(QLatin1String("; "))));
    }
    if (!switchTriggers("ENABLE") || !t.commit(&error))
        return Error::engine(error);
    return copied;
}

Result<QStringList> checkServer(ServerConnection& db)
{
    QString error;
    const std::optional<int> version = serverschema::version(db, &error);
    if (!version)
        return Error::engine(error);
    QStringList problems;
    if (*version > schema::kVersion)
        problems
            << QStringLiteral("The database was written by a newer version of the program (schema %1).").arg(*version);
    struct Expected
    {
        QString table;
        QStringList columns;
        bool identity;
    };
    const std::vector<Expected> expected{
        {QStringLiteral("data"), QStringList{stockcol::id} + schema::stockColumns(), true},
        {QStringLiteral("data1"), schema::saleColumns() + schema::keyColumns(QStringLiteral("data1")), true},
        {QStringLiteral("userdb"), schema::userColumns(), true},
        {QStringLiteral("rz"), schema::logColumns(), true},
        {QString(failedLogin::table),
         {QString(failedLogin::id), QString(failedLogin::name), QString(failedLogin::at)},
         true},
        {QString(daySequence::table), {QString(daySequence::day), QString(daySequence::sequence)}, false},
        {serverschema::versionTable(), {QStringLiteral("version")}, false},
    };
    for (const Expected& e : expected) {
        const auto columns = serverColumns(db, e.table);
        if (!columns)
            return columns.error();
        if (columns->empty()) {
            problems << QStringLiteral("table %1 is missing").arg(e.table);
            continue;
        }
        for (const QString& name : e.columns) {
            bool found = false;
            for (const ServerColumn& c : *columns)
                found = found || c.name == name;
            if (!found)
                problems << QStringLiteral("table %1 has no column %2").arg(e.table, name);
        }
        if (e.identity && !identityColumn(*columns))
            problems << QStringLiteral("table %1 has no row identity: identities could be reused").arg(e.table);
    }
    if (!problems.isEmpty())
        return problems;
    const auto admins = serverInteger(db, Statement{QStringLiteral("SELECT count(*) FROM userdb WHERE username = ?"),
                                                    {schema::superAdministrator()}});
    if (!admins)
        return admins.error();
    if (*admins == 0)
        problems << QStringLiteral("table userdb has no %1 (super administrator): nobody can log in to manage it")
                        .arg(schema::superAdministrator());
    return problems;
}

namespace {

// The figures of one column on one side.
struct ColumnFigures
{
    qint64 count = 0;          // non-NULL values
    std::optional<double> sum; // Number
    qint64 wholeSum = 0;       // Whole
    bool overflow = false;
};

QString wholeText(const ColumnFigures& f)
{
    if (f.count == 0)
        return QStringLiteral("none");
    return f.overflow ? QStringLiteral("beyond 64 bits") : QString::number(f.wholeSum);
}

QString numberText(const ColumnFigures& f)
{
    return f.sum ? shownDouble(*f.sum) : QStringLiteral("none");
}

} // namespace

Result<Comparison> compareWithFile(ServerConnection& db, const QString& filePath)
{
    FileReader file;
    if (const auto opened = file.open(filePath); !opened)
        return opened.error();
    const auto tables = dataTables(db);
    if (!tables)
        return tables.error();
    Comparison out;
    for (const QString& table : *tables) {
        const auto server = serverColumns(db, table);
        if (!server)
            return server.error();
        const ServerColumn* identity = identityColumn(*server);
        std::vector<ServerColumn> compared;
        for (const ServerColumn& c : *server)
            if (!c.generated) // computed from the row identity, which is compared
                compared.push_back(c);

        // The server's figures: sums of numbers added in row identity order,
        // as the file's are below, so equal values give the same bits.
        QStringList aggregates{QStringLiteral("count(*)")};
        for (const ServerColumn& c : compared) {
            switch (c.kind) {
            case Kind::Number:
                aggregates << (identity
                                   ? QStringLiteral("sum(%1 ORDER BY %2)").arg(quoted(c.name), quoted(identity->name))
                                   : QStringLiteral("sum(%1)").arg(quoted(c.name)));
                break;
            case Kind::Whole:
                aggregates << QStringLiteral("sum(%1)::text").arg(quoted(c.name));
                break;
            case Kind::Text:
                break;
            }
            aggregates << QStringLiteral("count(%1)").arg(quoted(c.name));
        }
        QueryResult r;
        QString error;
        if (!db.query(
                Statement{QStringLiteral("SELECT %1 FROM %2").arg(aggregates.join(QLatin1String(", ")), quoted(table)),
                          {}},
                &r, &error))
            return Error::engine(error);
        const QVector<QVariant> serverRow = r.rows.value(0);
        const qint64 serverRows = serverRow.value(0).toLongLong();

        // The file's figures, read row by row in rowid order.
        const auto fileColumns = file.columns(table);
        if (!fileColumns)
            return fileColumns.error();
        qint64 fileRows = 0;
        std::vector<ColumnFigures> figures(compared.size());
        QStringList unreadable;
        if (!fileColumns->isEmpty()) {
            QStringList expressions;
            for (const ServerColumn& c : compared) {
                QString expression = QStringLiteral("NULL");
                if (c.identity) {
                    expression = QStringLiteral("rowid");
                } else {
                    for (const QString& f : *fileColumns)
                        if (f.compare(c.name, Qt::CaseInsensitive) == 0)
                            expression = fileQuoted(f);
                }
                expressions << expression;
            }
            const PreparedStatement read(file.handle(),
                                         QStringLiteral("SELECT rowid, %1 FROM %2 ORDER BY rowid")
                                             .arg(expressions.join(QLatin1Char(',')), fileQuoted(table))
                                             .toUtf8(),
                                         &error);
            if (!read.isValid())
                return Error::engine(error);
            int rc;
            while ((rc = sqlite3_step(read.get())) == SQLITE_ROW) {
                ++fileRows;
                for (size_t i = 0; i < compared.size(); ++i) {
                    const Cell cell = readCell(read.get(), int(i) + 1, compared.at(i).kind);
                    ColumnFigures& f = figures.at(i);
                    switch (cell.state) {
                    case Cell::State::Null:
                        continue;
                    case Cell::State::Refused:
                        if (unreadable.size() < kListedRefusals)
                            unreadable << QStringLiteral("%1: row %2, column %3 of the file holds %4")
                                              .arg(table)
                                              .arg(sqlite3_column_int64(read.get(), 0))
                                              .arg(compared.at(i).name, cell.why);
                        continue;
                    case Cell::State::Number:
                        f.sum = f.sum ? *f.sum + cell.number : cell.number;
                        break;
                    case Cell::State::Whole:
                        f.overflow = f.overflow || __builtin_add_overflow(f.wholeSum, cell.whole, &f.wholeSum);
                        break;
                    case Cell::State::Text:
                        break;
                    }
                    ++f.count;
                }
            }
            if (rc != SQLITE_DONE)
                return Error::engine(file.engineText());
        }

        ++out.tables;
        out.rows += serverRows;
        out.differences += unreadable;
        if (fileRows != serverRows)
            out.differences
                << QStringLiteral("%1: %2 rows in the file, %3 on the server").arg(table).arg(fileRows).arg(serverRows);
        int at = 1;
        for (size_t i = 0; i < compared.size(); ++i) {
            const ServerColumn& c = compared.at(i);
            const ColumnFigures& f = figures.at(i);
            if (c.kind == Kind::Number) {
                const QVariant s = serverRow.value(at++);
                const std::optional<double> serverSum = s.isNull() ? std::nullopt : std::optional<double>(s.toDouble());
                if (serverSum != f.sum)
                    out.differences << QStringLiteral("%1: column %2 sums to %3 in the file, %4 on the server")
                                           .arg(table, c.name, numberText(f),
                                                serverSum ? shownDouble(*serverSum) : QStringLiteral("none"));
            } else if (c.kind == Kind::Whole) {
                const QVariant s = serverRow.value(at++);
                const QString serverSum = s.isNull() ? QStringLiteral("none") : s.toString();
                if (serverSum != wholeText(f))
                    out.differences << QStringLiteral("%1: column %2 sums to %3 in the file, %4 on the server")
                                           .arg(table, c.name, wholeText(f), serverSum);
            }
            const qint64 serverCount = serverRow.value(at++).toLongLong();
            if (serverCount != f.count)
                out.differences << QStringLiteral("%1: column %2 has %3 values in the file, %4 on the server")
                                       .arg(table, c.name)
                                       .arg(f.count)
                                       .arg(serverCount);
        }
    }
    return out;
}

} // namespace servermigration
