#include "store/db/serverconnection.h"

#include <libpq-fe.h>

#include <QLocale>

#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// Type codes of the server's built-in types (pg_type.oid); fixed since the
// server's first releases.
constexpr Oid kBool = 16;
constexpr Oid kInt8 = 20;
constexpr Oid kInt2 = 21;
constexpr Oid kInt4 = 23;
constexpr Oid kText = 25;
constexpr Oid kFloat4 = 700;
constexpr Oid kFloat8 = 701;
constexpr Oid kNumeric = 1700;

struct ResultDeleter
{
    void operator()(PGresult* r) const { PQclear(r); }
};
using ResultPtr = std::unique_ptr<PGresult, ResultDeleter>;

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$');
}

// The tag of a dollar-quoted text starting at `at` ("$$" or "$tag$"), or an
// empty view when none starts there.
QStringView dollarTag(QStringView sql, qsizetype at)
{
    if (sql.at(at) != QLatin1Char('$'))
        return {};
    if (at > 0 && isNameChar(sql.at(at - 1)))
        return {}; // part of a name such as a$b
    qsizetype end = at + 1;
    while (end < sql.size() && sql.at(end) != QLatin1Char('$')) {
        const QChar c = sql.at(end);
        if (!(c.isLetter() || c == QLatin1Char('_') || (end > at + 1 && c.isDigit())))
            return {}; // $1 and the like are parameters, not quotes
        ++end;
    }
    if (end >= sql.size())
        return {};
    return sql.sliced(at, end - at + 1);
}

double textToDouble(const char* text)
{
    const QByteArrayView v(text);
    if (v == "NaN")
        return std::nan("");
    if (v == "Infinity")
        return HUGE_VAL;
    if (v == "-Infinity")
        return -HUGE_VAL;
    double d = 0;
    std::from_chars(text, text + std::strlen(text), d);
    return d;
}

QVariant columnValue(const PGresult* r, int row, int col)
{
    if (PQgetisnull(r, row, col))
        return QVariant();
    const char* text = PQgetvalue(r, row, col);
    switch (PQftype(r, col)) {
    case kInt2:
    case kInt4:
    case kInt8:
        return QVariant(QByteArray(text).toLongLong());
    case kFloat4:
    case kFloat8:
    case kNumeric:
        return QVariant(textToDouble(text));
    case kBool:
        return QVariant(qint64(text[0] == 't' ? 1 : 0));
    default:
        return QVariant(QString::fromUtf8(text, PQgetlength(r, row, col)));
    }
}

// One parameter in the server's text form, with its type.
struct Parameter
{
    Oid type = 0;
    bool null = false;
    QByteArray text;
};

Parameter parameter(const QVariant& v)
{
    if (v.isNull() || !v.isValid())
        return {0, true, {}};
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = v.toDouble();
        if (std::isnan(d))
            return {kFloat8, false, QByteArrayLiteral("NaN")};
        if (std::isinf(d))
            return {kFloat8, false, d > 0 ? QByteArrayLiteral("Infinity") : QByteArrayLiteral("-Infinity")};
        if (d == 0 && std::signbit(d))
            return {kFloat8, false, QByteArrayLiteral("-0")}; // Qt writes it as "0"
        // The shortest text that reads back as the same double.
        return {kFloat8, false, QByteArray::number(d, 'g', QLocale::FloatingPointShortest)};
    }
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return {kInt8, false, QByteArray::number(v.toLongLong())};
    case QMetaType::Bool:
        return {kBool, false, v.toBool() ? QByteArrayLiteral("true") : QByteArrayLiteral("false")};
    default:
        return {kText, false, v.toString().toUtf8()};
    }
}

QString clientText(const char* text)
{
    return QString::fromUtf8(text).trimmed();
}

} // namespace

QByteArray serverStatementText(const QString& sql, int* placeholders)
{
    QString out;
    out.reserve(sql.size() + 16);
    int n = 0;
    const qsizetype size = sql.size();
    qsizetype i = 0;
    // Copies from `i` up to and including the first `close` after `from`.
    const auto copyThrough = [&](qsizetype from, QChar close, bool backslashEscapes) {
        qsizetype j = from;
        while (j < size) {
            const QChar c = sql.at(j);
            if (backslashEscapes && c == QLatin1Char('\\')) {
                j += 2;
                continue;
            }
            if (c == close) {
                if (j + 1 < size && sql.at(j + 1) == close) { // doubled: the character itself
                    j += 2;
                    continue;
                }
                ++j;
                break;
            }
            ++j;
        }
        j = std::min(j, size);
        out += QStringView(sql).sliced(i, j - i);
        i = j;
    };
    while (i < size) {
        const QChar c = sql.at(i);
        if (c == QLatin1Char('\'')) {
            // E'…' texts take backslash escapes; plain ones only double the quote.
            const bool escaped = i > 0 && (sql.at(i - 1) == QLatin1Char('E') || sql.at(i - 1) == QLatin1Char('e')) &&
                                 (i < 2 || !isNameChar(sql.at(i - 2)));
            copyThrough(i + 1, QLatin1Char('\''), escaped);
        } else if (c == QLatin1Char('"')) {
            copyThrough(i + 1, QLatin1Char('"'), false);
        } else if (c == QLatin1Char('-') && i + 1 < size && sql.at(i + 1) == QLatin1Char('-')) {
            qsizetype j = sql.indexOf(QLatin1Char('\n'), i);
            j = j < 0 ? size : j;
            out += QStringView(sql).sliced(i, j - i);
            i = j;
        } else if (c == QLatin1Char('/') && i + 1 < size && sql.at(i + 1) == QLatin1Char('*')) {
            // Block comments nest on this server.
            int depth = 0;
            qsizetype j = i;
            while (j < size) {
                if (sql.at(j) == QLatin1Char('/') && j + 1 < size && sql.at(j + 1) == QLatin1Char('*')) {
                    ++depth;
                    j += 2;
                } else if (sql.at(j) == QLatin1Char('*') && j + 1 < size && sql.at(j + 1) == QLatin1Char('/')) {
                    j += 2;
                    if (--depth == 0)
                        break;
                } else {
                    ++j;
                }
            }
            out += QStringView(sql).sliced(i, j - i);
            i = j;
        } else if (const QStringView tag = dollarTag(sql, i); !tag.isEmpty()) {
            const qsizetype close = sql.indexOf(tag, i + tag.size());
            const qsizetype j = close < 0 ? size : close + tag.size();
            out += QStringView(sql).sliced(i, j - i);
            i = j;
        } else if (c == QLatin1Char('?')) {
            out += QLatin1Char('$') + QString::number(++n);
            ++i;
        } else if (c == QLatin1Char('[') && !(i > 0 && (isNameChar(sql.at(i - 1)) || sql.at(i - 1) == QLatin1Char(']') ||
                                                         sql.at(i - 1) == QLatin1Char(')') ||
                                                         sql.at(i - 1) == QLatin1Char('"')))) {
            // A bracketed name; after a name or an expression a bracket is a
            // subscript and stays.
            const qsizetype close = sql.indexOf(QLatin1Char(']'), i + 1);
            if (close < 0) {
                out += c;
                ++i;
                continue;
            }
            QString name = sql.sliced(i + 1, close - i - 1);
            name.replace(QLatin1Char('"'), QLatin1String("\"\""));
            out += QLatin1Char('"') + name + QLatin1Char('"');
            i = close + 1;
        } else {
            out += c;
            ++i;
        }
    }
    if (placeholders)
        *placeholders = n;
    return out.toUtf8();
}

QString serverConnectionString(const QString& database)
{
    QString target = database.trimmed();
    const bool isString = target.contains(u'=') || target.startsWith(QLatin1String("postgresql://")) ||
                          target.startsWith(QLatin1String("postgres://"));
    if (target.isEmpty() || isString)
        return target;
    // A bare name is a service of pg_service.conf.
    target.replace(QLatin1String("\\"), QLatin1String("\\\\")).replace(QLatin1String("'"), QLatin1String("\\'"));
    return QLatin1String("service='") + target + QLatin1Char('\'');
}

ServerConnection::~ServerConnection()
{
    close();
}

bool ServerConnection::open(const QString& database, QString* error)
{
    close();
    m_lastError = {};
    QByteArray target = serverConnectionString(database).toUtf8();
    // Later keywords override earlier ones: a timeout written in the
    // connection string (or PGCONNECT_TIMEOUT) wins over the default here,
    // while the text encoding is always the one the program reads.
    std::vector<const char*> keys;
    std::vector<const char*> values;
    if (qEnvironmentVariableIsEmpty("PGCONNECT_TIMEOUT")) {
        keys.push_back("connect_timeout");
        values.push_back("10");
    }
    keys.push_back("application_name");
    values.push_back("tarvik");
    if (!target.isEmpty()) {
        keys.push_back("dbname");
        values.push_back(target.constData());
    }
    keys.push_back("client_encoding");
    values.push_back("UTF8");
    keys.push_back(nullptr);
    values.push_back(nullptr);
    PGconn* conn = PQconnectdbParams(keys.data(), values.data(), 1);
    if (!conn || PQstatus(conn) != CONNECTION_OK) {
        const QString why = conn ? clientText(PQerrorMessage(conn)) : QStringLiteral("out of memory");
        PQfinish(conn);
        m_lastError = {why, {}, true};
        *error = QStringLiteral("无法连接到数据库服务器：%1").arg(why);
        return false;
    }
    m_conn = conn;
    // The server's notices ("… does not exist, skipping") are not errors, and
    // the program shows nothing on standard error.
    PQsetNoticeProcessor(m_conn, [](void*, const char*) {}, nullptr);
    if (!setUp(error)) {
        close();
        return false;
    }
    return true;
}

bool ServerConnection::setUp(QString* error)
{
    // Doubles travel as text: every digit that tells them apart is asked for.
    // The placeholder translation reads quotes as the standard says.
    QString setupError;
    if (!exec(QStringLiteral("SET extra_float_digits = 3"), &setupError) ||
        !exec(QStringLiteral("SET standard_conforming_strings = on"), &setupError)) {
        *error = QStringLiteral("无法连接到数据库服务器：%1").arg(setupError);
        return false;
    }
    return true;
}

bool ServerConnection::reconnect(QString* error)
{
    if (!m_conn) {
        *error = QStringLiteral("Database is not open");
        return false;
    }
    // The client library still holds what named the database.
    PQreset(m_conn);
    if (PQstatus(m_conn) != CONNECTION_OK) {
        const QString why = clientText(PQerrorMessage(m_conn));
        m_lastError = {why, {}, true};
        *error = QStringLiteral("无法连接到数据库服务器：%1").arg(why);
        return false;
    }
    m_lastError = {};
    return setUp(error);
}

std::function<bool()> ServerConnection::pinger() const
{
    if (!m_conn)
        return [] { return false; };
    // The connection's options as it was opened (the password included: it
    // stays in memory, as in the client library).
    std::vector<std::pair<QByteArray, QByteArray>> options;
    if (PQconninfoOption* info = PQconninfo(m_conn)) {
        for (PQconninfoOption* o = info; o->keyword; ++o)
            if (o->val && *o->val)
                options.emplace_back(o->keyword, o->val);
        PQconninfoFree(info);
    }
    return [options = std::move(options)] {
        std::vector<const char*> keys;
        std::vector<const char*> values;
        for (const auto& [key, value] : options) {
            keys.push_back(key.constData());
            values.push_back(value.constData());
        }
        keys.push_back(nullptr);
        values.push_back(nullptr);
        return PQpingParams(keys.data(), values.data(), 0) == PQPING_OK;
    };
}

void ServerConnection::close()
{
    if (m_conn) {
        PQfinish(m_conn);
        m_conn = nullptr;
    }
}

QString ServerConnection::description() const
{
    if (!m_conn)
        return {};
    return QStringLiteral("%1 on %2:%3")
        .arg(QString::fromUtf8(PQdb(m_conn)), QString::fromUtf8(PQhost(m_conn)), QString::fromUtf8(PQport(m_conn)));
}

bool ServerConnection::inTransaction() const
{
    if (!m_conn)
        return false;
    const PGTransactionStatusType s = PQtransactionStatus(m_conn);
    return s == PQTRANS_INTRANS || s == PQTRANS_INERROR || s == PQTRANS_ACTIVE;
}

bool ServerConnection::isBroken() const
{
    return m_conn && PQstatus(m_conn) != CONNECTION_OK;
}

bool ServerConnection::transactionAborted() const
{
    return m_conn && PQtransactionStatus(m_conn) == PQTRANS_INERROR;
}

bool ServerConnection::exec(const Statement& st, QString* error, int* changes)
{
    return run(st, nullptr, error, changes);
}

bool ServerConnection::query(const Statement& st, QueryResult* out, QString* error)
{
    return run(st, out, error, nullptr);
}

PGresult* ServerConnection::execute(const Statement& st, QString* error)
{
    if (!m_conn) {
        m_lastError = {QStringLiteral("Database is not open"), {}, true};
        *error = m_lastError.text;
        return nullptr;
    }
    int expected = 0;
    const QByteArray sql = serverStatementText(st.sql, &expected);
    if (expected != st.params.size()) {
        m_lastError = {QStringLiteral("Statement expects %1 values, %2 given").arg(expected).arg(st.params.size()), {},
                       false};
        *error = m_lastError.text;
        return nullptr;
    }
    std::vector<Parameter> params;
    params.reserve(size_t(st.params.size()));
    for (const QVariant& v : st.params)
        params.push_back(parameter(v));
    std::vector<Oid> types;
    std::vector<const char*> values;
    for (const Parameter& p : params) {
        types.push_back(p.type);
        values.push_back(p.null ? nullptr : p.text.constData());
    }
    ResultPtr r(
        PQexecParams(m_conn, sql.constData(), int(params.size()), types.data(), values.data(), nullptr, nullptr, 0));
    const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        ServerError e;
        const char* primary = r ? PQresultErrorField(r.get(), PG_DIAG_MESSAGE_PRIMARY) : nullptr;
        e.text = primary ? clientText(primary) : clientText(PQerrorMessage(m_conn));
        if (e.text.isEmpty())
            e.text = QString::fromUtf8(PQresStatus(status));
        if (const char* state = r ? PQresultErrorField(r.get(), PG_DIAG_SQLSTATE) : nullptr)
            e.sqlState = QString::fromLatin1(state);
        e.connectionLost = PQstatus(m_conn) != CONNECTION_OK || e.sqlState.startsWith(QLatin1String("08"));
        m_lastError = e;
        *error = e.text;
        return nullptr;
    }
    m_lastError = {};
    return r.release();
}

bool ServerConnection::run(const Statement& st, QueryResult* out, QString* error, int* changes)
{
    const ResultPtr r(execute(st, error));
    if (!r)
        return false;
    if (changes) {
        const char* tuples = PQcmdTuples(r.get());
        *changes = tuples && *tuples ? QByteArray(tuples).toInt() : 0;
    }
    if (out) {
        QueryResult result;
        const int columns = PQnfields(r.get());
        const int rows = PQntuples(r.get());
        for (int c = 0; c < columns; ++c)
            result.columns << QString::fromUtf8(PQfname(r.get(), c));
        result.rows.reserve(rows);
        for (int row = 0; row < rows; ++row) {
            QVector<QVariant> cells(columns);
            for (int c = 0; c < columns; ++c)
                cells[c] = columnValue(r.get(), row, c);
            result.rows.append(std::move(cells));
        }
        *out = std::move(result);
    }
    return true;
}

bool ServerConnection::readRows(const Statement& st, int batchRows, const std::function<bool(const RowBatch&)>& each,
                                QString* error)
{
    if (batchRows <= 0) {
        const ResultPtr r(execute(st, error));
        if (!r)
            return false;
        each(RowBatch(r.get()));
        return true;
    }
    // A cursor lives in a transaction: the read has one of its own unless
    // one is open, and the cursor one name, as reads do not nest.
    const bool own = !inTransaction();
    if (own && !exec(QStringLiteral("BEGIN"), error))
        return false;
    const auto finish = [&](bool ok) {
        if (ok)
            return exec(own ? QStringLiteral("COMMIT") : QStringLiteral("CLOSE tarvik_rows"), error);
        // The failure is what the caller hears of, not the clean-up's.
        const ServerError why = m_lastError;
        QString ignored;
        exec(own ? QStringLiteral("ROLLBACK") : QStringLiteral("CLOSE tarvik_rows"), &ignored);
        m_lastError = why;
        return false;
    };
    if (!exec(Statement{QStringLiteral("DECLARE tarvik_rows NO SCROLL CURSOR FOR ") + st.sql, st.params}, error))
        return finish(false);
    const QString fetch = QStringLiteral("FETCH FORWARD %1 FROM tarvik_rows").arg(batchRows);
    for (;;) {
        const ResultPtr r(execute(Statement{fetch, {}}, error));
        if (!r)
            return finish(false);
        const int n = PQntuples(r.get());
        if (!each(RowBatch(r.get())) || n < batchRows)
            break;
    }
    return finish(true);
}

int RowBatch::rows() const
{
    return PQntuples(m_r);
}

int RowBatch::columns() const
{
    return PQnfields(m_r);
}

QString RowBatch::columnName(int column) const
{
    return QString::fromUtf8(PQfname(m_r, column));
}

bool RowBatch::isTextColumn(int column) const
{
    switch (PQftype(m_r, column)) {
    case kInt2:
    case kInt4:
    case kInt8:
    case kFloat4:
    case kFloat8:
    case kNumeric:
    case kBool:
        return false;
    default:
        return true;
    }
}

RowBatch::Kind RowBatch::kind(int row, int column) const
{
    if (PQgetisnull(m_r, row, column))
        return Kind::Null;
    switch (PQftype(m_r, column)) {
    case kInt2:
    case kInt4:
    case kInt8:
    case kBool:
        return Kind::Integer;
    case kFloat4:
    case kFloat8:
    case kNumeric:
        return Kind::Real;
    default:
        return Kind::Text;
    }
}

qint64 RowBatch::integer(int row, int column) const
{
    const char* text = PQgetvalue(m_r, row, column);
    if (PQftype(m_r, column) == kBool)
        return text[0] == 't' ? 1 : 0;
    qint64 v = 0;
    std::from_chars(text, text + PQgetlength(m_r, row, column), v);
    return v;
}

double RowBatch::real(int row, int column) const
{
    return textToDouble(PQgetvalue(m_r, row, column));
}

std::string_view RowBatch::text(int row, int column) const
{
    return std::string_view(PQgetvalue(m_r, row, column), size_t(PQgetlength(m_r, row, column)));
}

bool ServerConnection::listen(const QString& channel, QString* error)
{
    if (!m_conn) {
        *error = QStringLiteral("Database is not open");
        return false;
    }
    char* quoted = PQescapeIdentifier(m_conn, channel.toUtf8().constData(), size_t(channel.toUtf8().size()));
    if (!quoted) {
        *error = clientText(PQerrorMessage(m_conn));
        return false;
    }
    const QString sql = QStringLiteral("LISTEN ") + QString::fromUtf8(quoted);
    PQfreemem(quoted);
    return exec(sql, error);
}

int ServerConnection::socket() const
{
    return m_conn ? PQsocket(m_conn) : -1;
}

QVector<ServerNotification> ServerConnection::takeNotifications()
{
    QVector<ServerNotification> out;
    if (!m_conn)
        return out;
    // A server that went away sends its last words, then closes: a second
    // read finds the end of the connection, so that isBroken() tells.
    for (int read = 0; read < 2 && PQstatus(m_conn) == CONNECTION_OK; ++read)
        if (!PQconsumeInput(m_conn))
            m_lastError = {clientText(PQerrorMessage(m_conn)), {}, PQstatus(m_conn) != CONNECTION_OK};
    while (PGnotify* n = PQnotifies(m_conn)) {
        out.append({QString::fromUtf8(n->relname), QString::fromUtf8(n->extra)});
        PQfreemem(n);
    }
    return out;
}

ServerTransaction::ServerTransaction(ServerConnection& db)
    : m_db(db)
{
    m_outer = !m_db.inTransaction();
    // An inner one is a savepoint: rolling it back keeps what the enclosing
    // transaction wrote before it.
    m_begun = m_db.exec(m_outer ? QStringLiteral("BEGIN") : QStringLiteral("SAVEPOINT tx"), &m_error);
}

ServerTransaction::~ServerTransaction()
{
    if (m_begun && !m_done) {
        QString ignored;
        if (m_outer) {
            m_db.exec(QStringLiteral("ROLLBACK"), &ignored);
            return;
        }
        m_db.exec(QStringLiteral("ROLLBACK TO tx"), &ignored);
        m_db.exec(QStringLiteral("RELEASE tx"), &ignored);
    }
}

bool ServerTransaction::commit(QString* error)
{
    if (!m_begun) {
        *error = m_error;
        return false;
    }
    // The server answers COMMIT of a transaction that a failed statement
    // aborted with a rollback, not an error: the caller must hear that
    // nothing was written.
    if (m_outer && m_db.handle() && PQtransactionStatus(m_db.handle()) == PQTRANS_INERROR) {
        *error = QStringLiteral("The transaction was rolled back after a failed statement");
        return false; // the destructor rolls back
    }
    if (!m_db.exec(m_outer ? QStringLiteral("COMMIT") : QStringLiteral("RELEASE tx"), error))
        return false; // the destructor rolls back
    m_done = true;
    return true;
}
