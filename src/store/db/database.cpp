#include "store/db/database.h"

#include "store/db/columns.h"
#include "store/db/preparedstatement.h"
#include "store/db/serverconnection.h"
#include "store/db/serverschema.h"
#include "text/chinesecollation.h"

#include <sqlite3.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <atomic>
#include <utility>

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

namespace {

int collateChinese(void*, int aBytes, const void* a, int bBytes, const void* b)
{
    const QStringView x(static_cast<const char16_t*>(a), aBytes / 2);
    const QStringView y(static_cast<const char16_t*>(b), bBytes / 2);
    return chinese::compare(x, y);
}

// Makes the Chinese order available to the statements of one connection.
bool registerChineseOrder(sqlite3* db, QString* error)
{
    // UTF-16 in the machine's byte order is QString's own form: the engine
    // converts once and the collator reads the text in place.
    if (sqlite3_create_collation_v2(db, chinese::kCollation, SQLITE_UTF16, nullptr, &collateChinese, nullptr) !=
        SQLITE_OK) {
        *error = QString::fromUtf8(sqlite3_errmsg(db));
        return false;
    }
    return true;
}

QString engineText(sqlite3* db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

QVariant columnValue(sqlite3_stmt* stmt, int col)
{
    switch (sqlite3_column_type(stmt, col)) {
    case SQLITE_NULL:
        return QVariant();
    case SQLITE_INTEGER:
        return QVariant(qint64(sqlite3_column_int64(stmt, col)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt, col));
    default: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, col));
        return QVariant(QString::fromUtf8(text, sqlite3_column_bytes(stmt, col)));
    }
    }
}

quint64 nextSerial()
{
    static std::atomic<quint64> serials{0};
    return ++serials;
}

// The table of a plain `INSERT INTO t (…) VALUES (…)`, whose new row's
// identity the server returns when asked; empty for every other statement.
QString plainInsertTable(const QString& sql)
{
    static const QRegularExpression re(
        QStringLiteral(R"(^\s*insert\s+into\s+[\["]?(\w+)[\]"]?\s*\([^()]*\)\s*values\s*\([^;]*\)\s*$)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = re.match(sql);
    if (!m.hasMatch() || sql.contains(QLatin1String("returning"), Qt::CaseInsensitive))
        return {};
    return m.captured(1);
}

} // namespace

Database::Database() = default;

Database::~Database()
{
    close();
}

bool Database::isOpen() const
{
    return m_db != nullptr || m_server != nullptr;
}

QString Database::password()
{
    return QStringLiteral("Qm7t.Lx2Vb");
}

bool Database::open(const QString& path, bool create, QString* error)
{
    close();
    // The engine takes an empty file for an empty database and would write a
    // new one into it: a shop file emptied by a crash or a full disk must be
    // refused as it is, so that it can still be restored.
    if (!create && QFileInfo(path).isFile() && QFileInfo(path).size() == 0) {
        *error = QStringLiteral("%1: file is empty").arg(path);
        return false;
    }
    // The program uses a connection from one thread only: without the
    // connection's own mutex every value read costs no lock (a million sale
    // rows of twenty columns read three values a cell at the first load).
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr) != SQLITE_OK) {
        *error = db ? engineText(db) : QStringLiteral("out of memory");
        if (!create && !QFileInfo::exists(path))
            *error = QStringLiteral("%1: %2").arg(path, *error);
        sqlite3_close(db);
        return false;
    }
    m_db = db;
    m_path = path;
    m_serial = nextSerial();
    sqlite3_busy_timeout(m_db, 5000);
    sqlite3_update_hook(m_db, &Database::onUpdate, this);
    if (!registerChineseOrder(m_db, error)) {
        close();
        return false;
    }
    // The key is a fixed text of the code, never user input.
    const QString setup = QStringLiteral("PRAGMA key = '%1';").arg(password());
    QString err;
    // Reading the schema fails on a file that is not a database or has another key.
    if (!exec(setup, &err) || !exec(QStringLiteral("SELECT count(*) FROM sqlite_master"), &err) ||
        !exec(QStringLiteral("PRAGMA synchronous = FULL"), &err) ||
        !exec(QStringLiteral("PRAGMA foreign_keys = OFF"), &err)) {
        *error = err;
        close();
        return false;
    }
    // A committed write must survive a crash and a power cut. While open, the
    // file works with a write-ahead log ("-wal" beside it, indexed by "-shm"),
    // synced at every commit: one sync per commit where the rollback journal
    // takes four. Where the log cannot be made (a read-only file or folder)
    // the file keeps its rollback journal, as durable; such a connection
    // cannot write anyway, which the caller's checks find out. close() makes
    // the file one file again.
    exec(QStringLiteral("PRAGMA journal_mode = WAL"), &err);
    // Keep up to 64 MiB of decrypted pages between statements: with the small
    // default cache every scan of the stock table decrypted all of it again.
    exec(QStringLiteral("PRAGMA cache_size = -65536"), &err);
    return true;
}

bool Database::openServer(const QString& database, QString* error)
{
    close();
    auto server = std::make_unique<ServerConnection>();
    if (!server->open(database, error))
        return false;
    if (!server->listen(serverschema::rowsChannel(), error))
        return false;
    m_server = std::move(server);
    m_path = m_server->description();
    m_serial = nextSerial();
    listenToSocket();
    return true;
}

Result<bool> Database::readsPurchasePrices()
{
    if (!m_server)
        return true;
    if (m_pricesAskedOf == m_serial)
        return m_readsPrices;
    // `data` as this connection's statements find it: the table, or the view
    // of a role that must not read the figures.
    QueryResult r;
    QString error;
    if (!query(Statement{QStringLiteral("SELECT c.relkind IN ('r', 'p') AND has_column_privilege(c.oid, ?, 'SELECT') "
                                        "FROM pg_class c WHERE c.oid = to_regclass('data')"),
                         {QString(stockcol::purchasePrice)}},
               &r, &error))
        return Error::engine(error);
    m_readsPrices = r.rows.isEmpty() || r.rows.at(0).at(0).toLongLong() != 0;
    m_pricesAskedOf = m_serial;
    return m_readsPrices;
}

void Database::listenToSocket()
{
    m_notifier.reset();
    // Other tills' commits arrive on the connection's socket while the
    // program waits for input.
    if (QCoreApplication::instance() && m_server->socket() >= 0) {
        m_notifier = std::make_unique<QSocketNotifier>(qintptr(m_server->socket()), QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] {
            takeServerNotes();
            // A broken connection's socket stays readable: stop listening to
            // it, and make the connection anew now and then until it works (a
            // statement meanwhile tries at once and reports the failure).
            if (m_server->isBroken()) {
                m_notifier->setEnabled(false);
                if (!m_reconnect) {
                    m_reconnect = std::make_unique<QTimer>();
                    m_reconnect->setInterval(reconnectIntervalMs());
                    QObject::connect(m_reconnect.get(), &QTimer::timeout, m_reconnect.get(),
                                     [this] { tryReconnect(); });
                }
                m_reconnect->start();
            }
            publishNoted();
        });
    }
}

void Database::tryReconnect()
{
    if (m_probing)
        return; // the last question has not been answered yet
    const auto madeAnew = [this] {
        m_reconnect->stop();
        if (m_onReconnect)
            m_onReconnect();
    };
    if (!m_server) {
        m_reconnect->stop();
        return;
    }
    if (!m_server->isBroken()) {
        madeAnew(); // a statement made it anew meanwhile
        return;
    }
    // Whether the server answers is asked on a thread of its own: a connect
    // attempt to a host that does not answer (a pulled cable) waits for the
    // connection's timeout, which would hold the window every few seconds.
    // Only when it answers is the connection made anew here.
    m_probing = true;
    auto answered = std::make_shared<std::atomic<bool>>(false);
    QThread* probe = QThread::create([ping = m_server->pinger(), answered] { *answered = ping(); });
    QObject::connect(probe, &QThread::finished, probe, &QObject::deleteLater);
    QObject::connect(probe, &QThread::finished, m_reconnect.get(), [this, answered, madeAnew] {
        m_probing = false;
        if (!*answered || !m_server)
            return; // again at the next tick
        QString ignored;
        (void)reconnectIfBroken(&ignored); // not inside a transaction
        if (!m_server->isBroken())
            madeAnew();
    });
    probe->start();
}

bool Database::reconnectIfBroken(QString* error)
{
    if (!m_server || !m_server->isBroken() || m_transactions > 0)
        return true;
    m_notifier.reset();
    if (!m_server->reconnect(error) || !m_server->listen(serverschema::rowsChannel(), error))
        return false;
    // Commits while the connection was down were not told: the copies of
    // the tables know that from the new serial and read themselves whole.
    m_serial = nextSerial();
    m_pending.clear();
    for (auto& [table, rows] : m_written)
        rows.clear();
    listenToSocket();
    return true;
}

void Database::takeServerNotes()
{
    if (!m_server)
        return;
    for (const ServerNotification& n : m_server->takeNotifications()) {
        if (n.channel != serverschema::rowsChannel())
            continue;
        const qsizetype space = n.payload.indexOf(QLatin1Char(' '));
        bool ok = false;
        const qint64 rowId = space < 0 ? 0 : QStringView(n.payload).sliced(space + 1).toLongLong(&ok);
        if (!ok)
            continue;
        std::string table = QStringView(n.payload).first(space).toUtf8().toStdString();
        if (m_written.count(table))
            m_pending.emplace_back(std::move(table), rowId);
    }
    if (m_server->inTransaction())
        return; // a rollback of this connection's transaction must not lose them
    for (auto& [table, rowId] : m_pending)
        m_written[table].push_back(rowId);
    if (!m_pending.empty())
        ++m_arrivals;
    m_pending.clear();
}

void Database::publishNoted()
{
    if (!m_onCommit || m_publishing || inTransaction())
        return;
    // The listener reads the rows again, and rows that arrive meanwhile are
    // published after it, not inside it.
    if (!hasNotedWrites())
        return;
    m_publishing = true;
    for (int round = 0; round < 16; ++round) {
        const quint64 before = m_arrivals;
        m_onCommit();
        if (m_arrivals == before || !hasNotedWrites())
            break;
    }
    m_publishing = false;
}

void Database::trackWrites(const QString& table)
{
    m_written.try_emplace(table.toUtf8().toStdString());
}

std::vector<qint64> Database::takeWrittenRows(const QString& table)
{
    const auto it = m_written.find(table.toUtf8().toStdString());
    if (it == m_written.end())
        return {};
    return std::exchange(it->second, {});
}

void Database::onUpdate(void* self, int, const char*, const char* table, qint64 rowId)
{
    auto* db = static_cast<Database*>(self);
    const auto it = db->m_written.find(table);
    if (it != db->m_written.end())
        it->second.push_back(rowId);
}

void Database::releaseCache()
{
    if (m_db)
        sqlite3_db_release_memory(m_db);
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

void Database::close()
{
    m_notifier.reset();
    m_reconnect.reset();
    if (m_server) {
        m_server.reset();
        m_pending.clear();
        m_lastInsert = 0;
    }
    if (m_db) {
        // Back to the rollback journal: the log is folded into the file and
        // removed, so that the file at rest is complete on its own (a copy of
        // it is a copy of the shop, a read-only opener needs no log). While
        // another connection has the file open this fails at once, and the
        // last one to close does it.
        sqlite3_busy_timeout(m_db, 0);
        sqlite3_exec(m_db, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

Database::WriteMark Database::writeMark() const
{
    WriteMark mark;
    for (const auto& [table, rows] : m_written)
        mark.emplace(table, rows.size());
    return mark;
}

void Database::forgetWritesSince(const WriteMark& mark)
{
    for (auto& [table, rows] : m_written) {
        const auto it = mark.find(table);
        const size_t keep = it == mark.end() ? 0 : it->second;
        if (rows.size() > keep)
            rows.resize(keep);
    }
}

bool Database::hasNotedWrites() const
{
    return std::any_of(m_written.begin(), m_written.end(), [](const auto& t) { return !t.second.empty(); });
}

bool Database::inTransaction() const
{
    if (m_server)
        return m_server->inTransaction();
    return m_db && !sqlite3_get_autocommit(m_db);
}

bool Database::transactionAborted() const
{
    return m_server && m_server->transactionAborted();
}

bool Database::runOnServer(const Statement& st, QueryResult* out, QString* error, int* changes)
{
    if (!reconnectIfBroken(error))
        return false;
    bool ok;
    const QString insertInto = out ? QString() : plainInsertTable(st.sql);
    if (!insertInto.isEmpty() && serverschema::hasRowIdentity(insertInto)) {
        QueryResult inserted;
        ok = m_server->query(Statement{st.sql + QLatin1String(" RETURNING rowid"), st.params}, &inserted, error);
        if (ok) {
            if (changes)
                *changes = int(inserted.rows.size());
            if (!inserted.rows.isEmpty())
                m_lastInsert = inserted.rows.at(0).at(0).toLongLong();
        }
    } else {
        ok = out ? m_server->query(st, out, error) : m_server->exec(st, error, changes);
    }
    if (!ok && m_server->lastError().isRetryable())
        m_retryable = true;
    // Committed rows are told of at the commit, to every connection listening
    // (this one included); none come inside a transaction.
    if (!m_server->inTransaction()) {
        takeServerNotes();
        publishNoted();
    }
    return ok;
}

bool Database::dataVersion(qint64* out, QString* error)
{
    if (m_server) {
        // Reading what has arrived finds out whether the server went away.
        takeServerNotes();
        if (!reconnectIfBroken(error))
            return false;
        *out = qint64(m_serial);
        return true;
    }
    QueryResult r;
    if (!query(Statement{QStringLiteral("PRAGMA data_version"), {}}, &r, error))
        return false;
    *out = r.rows.value(0).value(0).toLongLong();
    return true;
}

bool Database::readRows(const Statement& st, int batchRows, const std::function<bool(const RowBatch&)>& each,
                        QString* error)
{
    if (!m_server) {
        *error = QStringLiteral("Database is not open");
        return false;
    }
    return m_server->readRows(st, batchRows, each, error);
}

bool Database::exec(const Statement& st, QString* error, int* changes)
{
    if (m_server)
        return runOnServer(st, nullptr, error, changes);
    const WriteMark before = m_onCommit ? writeMark() : WriteMark();
    const bool ok = run(st, error, changes);
    if (!m_db || !sqlite3_get_autocommit(m_db))
        return ok; // inside a transaction: its end decides
    if (!ok) {
        forgetWritesSince(before); // the engine rolled the statement back
        return false;
    }
    if (m_onCommit && hasNotedWrites())
        m_onCommit();
    return true;
}

bool Database::run(const Statement& st, QString* error, int* changes)
{
    if (!m_db) {
        *error = QStringLiteral("Database is not open");
        return false;
    }
    const PreparedStatement p(m_db, st, error);
    if (!p.isValid())
        return false;
    int rc;
    while ((rc = sqlite3_step(p.get())) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) {
        *error = engineText(m_db);
        return false;
    }
    if (changes)
        *changes = sqlite3_changes(m_db);
    return true;
}

bool Database::query(const Statement& st, QueryResult* out, QString* error)
{
    if (m_server)
        return runOnServer(st, out, error, nullptr);
    if (!m_db) {
        *error = QStringLiteral("Database is not open");
        return false;
    }
    const PreparedStatement p(m_db, st, error);
    if (!p.isValid())
        return false;
    QueryResult result;
    const int n = sqlite3_column_count(p.get());
    for (int c = 0; c < n; ++c)
        result.columns << QString::fromUtf8(sqlite3_column_name(p.get(), c));
    int rc;
    while ((rc = sqlite3_step(p.get())) == SQLITE_ROW) {
        QVector<QVariant> row(n);
        for (int c = 0; c < n; ++c)
            row[c] = columnValue(p.get(), c);
        result.rows.append(std::move(row));
    }
    if (rc != SQLITE_DONE) {
        *error = engineText(m_db);
        return false;
    }
    *out = std::move(result);
    return true;
}

qint64 Database::lastInsertRowId() const
{
    if (m_server)
        return m_lastInsert;
    return m_db ? sqlite3_last_insert_rowid(m_db) : 0;
}

QString lockForUpdate(const Database& db)
{
    return db.engine() == Database::Engine::Server ? QStringLiteral(" FOR UPDATE") : QString();
}

QString asciiLower(Database::Engine engine, const QString& expr)
{
    if (engine != Database::Engine::Server)
        return expr;
    // Only the ASCII letters, as NOCASE: lower() would also fold other
    // alphabets by the server's locale.
    return QStringLiteral("translate(%1, 'ABCDEFGHIJKLMNOPQRSTUVWXYZ', 'abcdefghijklmnopqrstuvwxyz')").arg(expr);
}

QString equalsIgnoringCase(Database::Engine engine, const QString& column)
{
    return asciiLower(engine, column) + QLatin1Char('=') + asciiLower(engine, QStringLiteral("?"));
}

QString likeIgnoringCase(Database::Engine engine, const QString& column)
{
    if (engine != Database::Engine::Server)
        return column + QLatin1String(" like ?");
    return asciiLower(engine, column) + QLatin1String(" like ") + asciiLower(engine, QStringLiteral("?")) +
           QLatin1String(" escape ''");
}

Transaction::Transaction(Database& db, Lock lock)
    : m_db(db)
    , m_mark(db.writeMark())
{
    if (m_db.engine() == Database::Engine::Server) {
        // The server has no transaction-wide write lock to take; a savepoint
        // needs an open transaction.
        m_outer = !m_db.inTransaction();
        m_begun = m_db.exec(m_outer ? QStringLiteral("BEGIN") : QStringLiteral("SAVEPOINT tx"), &m_error);
        if (m_begun)
            ++m_db.m_transactions;
        return;
    }
    if (lock == Lock::Immediate && m_db.handle() && sqlite3_get_autocommit(m_db.handle())) {
        m_begun = m_db.exec(QStringLiteral("BEGIN IMMEDIATE"), &m_error);
        m_outer = m_begun;
        return;
    }
    // A savepoint acts as a transaction of its own at the outermost level and
    // nests inside an enclosing one (a bulk fill wrapping many sales).
    m_begun = m_db.exec(QStringLiteral("SAVEPOINT tx"), &m_error);
}

Transaction::~Transaction()
{
    // Its last statement (the rollback below) still belongs to its session.
    const auto ended = qScopeGuard([this] {
        if (m_begun && m_db.engine() == Database::Engine::Server)
            --m_db.m_transactions;
    });
    if (m_begun && !m_done) {
        // Nothing written since the start is published.
        m_db.forgetWritesSince(m_mark);
        QString ignored;
        if (m_outer) {
            m_db.exec(QStringLiteral("ROLLBACK"), &ignored);
            return;
        }
        m_db.exec(QStringLiteral("ROLLBACK TO tx"), &ignored);
        m_db.exec(QStringLiteral("RELEASE tx"), &ignored);
    }
}

bool Transaction::commit(QString* error)
{
    if (!m_begun) {
        *error = m_error;
        return false;
    }
    // The server answers COMMIT of a transaction that a failed statement
    // aborted with a rollback, not an error: the caller must hear that
    // nothing was written.
    if (m_outer && m_db.engine() == Database::Engine::Server && m_db.transactionAborted()) {
        *error = QStringLiteral("The transaction was rolled back after a failed statement");
        return false; // the destructor rolls back
    }
    if (!m_db.exec(m_outer ? QStringLiteral("COMMIT") : QStringLiteral("RELEASE tx"), error))
        return false; // the destructor rolls back
    m_done = true;
    return true;
}

QString quoteIdentifier(const QString& name)
{
    // Brackets, not double quotes: the engine reads an unknown "name" as a
    // text literal, which would hide a missing column.
    QString q = name;
    q.remove(QLatin1Char(']'));
    return QLatin1Char('[') + q + QLatin1Char(']');
}

bool isPlainIdentifier(const QString& name)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z0-9_]+$"));
    return re.match(name).hasMatch();
}
