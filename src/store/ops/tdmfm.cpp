#include "store/ops/tdmfm.h"

#include "store/db/columns.h"
#include "store/db/schema.h"
#include "store/memory/memtable.h"
#include "store/ops/salesledger.h"
#include "store/ops/stockcatalogue.h"
#include "store/ops/tableloader.h"
#include "text/chinesecollation.h"

#include <QSet>
#include <QStringList>

#include <algorithm>

Tdmfm::Tdmfm(QObject* parent)
    : QObject(parent)
    , m_stock(std::make_unique<StockCatalogue>(m_db))
    , m_sales(std::make_unique<SalesLedger>(m_db))
{
    // Every write to the two tables is noted from the start, whether their
    // copies are loaded or not, and published when it is committed.
    m_db.trackWrites(m_stock->table().table());
    m_db.trackWrites(m_sales->table().table());
    m_db.setCommitListener([this] { publishCommitted(); });
    // A till's connection made anew by itself: what other tills committed
    // meanwhile was not told, so the loaded tables are read whole, in the
    // background (a million sale rows take seconds); they stay readable as
    // they are until then, and their lists show the same query's rows again.
    m_db.setReconnectListener([this] {
        if (m_stock->table().isLoaded())
            m_stock->loader().start(m_location);
        if (m_sales->table().isLoaded())
            m_sales->loader().start(m_location);
    });
}

Tdmfm::~Tdmfm()
{
    m_db.setCommitListener({});
    m_db.setReconnectListener({});
}

Result<void> Tdmfm::open(const ShopLocation& location)
{
    m_location = location;
    QString error;
    const bool opened =
        location.isServer() ? m_db.openServer(location.target(), &error) : m_db.open(location.target(), false, &error);
    if (!opened)
        return Error::engine(error);
    if (!schema::migrate(m_db, &error) || !schema::verifyUsable(m_db, &error)) {
        m_db.close();
        return Error::engine(error);
    }
    return {};
}

void Tdmfm::loadStockInBackground()
{
    if (isOpen())
        m_stock->loadInBackground(m_location);
}

void Tdmfm::loadSalesInBackground()
{
    if (isOpen())
        m_sales->loadInBackground(m_location);
}

void Tdmfm::closeConnection()
{
    m_stock->close();
    m_sales->close();
    m_db.close();
}

Result<void> Tdmfm::reopen()
{
    closeConnection();
    return open(m_location);
}

namespace {

// Each identity once, in the order first written.
QList<qint64> distinctRows(const std::vector<qint64>& written)
{
    QList<qint64> rows;
    QSet<qint64> seen;
    for (const qint64 id : written)
        if (!seen.contains(id)) {
            seen.insert(id);
            rows << id;
        }
    return rows;
}

} // namespace

void Tdmfm::publishCommitted()
{
    StoreChange change{distinctRows(m_db.takeWrittenRows(m_stock->table().table())),
                       distinctRows(m_db.takeWrittenRows(m_sales->table().table()))};
    if (change.stockRows.isEmpty() && change.saleRows.isEmpty())
        return;
    m_stock->takeWritten(change.stockRows);
    m_sales->takeWritten(change.saleRows);
    emit changed(change);
}

Result<void> Tdmfm::OpenQuery(RowSet& set, const Statement& st)
{
    set.close();
    QueryResult result;
    QString error;
    if (!m_db.query(st, &result, &error))
        return Error::engine(error);
    set.load(std::move(result));
    return {};
}

Result<int> Tdmfm::ExecStatement(RowSet& set, const Statement& st)
{
    set.close();
    QString error;
    int changes = 0;
    if (!m_db.exec(st, &error, &changes))
        return Error::engine(error);
    return changes;
}

Result<QueryResult> readDistinctColumn(Database& db, const QString& column, const QString& table)
{
    if (!isPlainIdentifier(column) || !isPlainIdentifier(table))
        return Error::invalid(QStringLiteral("Invalid column or table name: %1.%2").arg(table, column));
    // Grouped by the column's own NOCASE rule, whose equality is the Chinese
    // order's, so only the distinct values pay for the collator.
    const QString c = quoteIdentifier(column);
    QueryResult result;
    QString error;
    if (db.engine() == Database::Engine::File) {
        if (!db.query(Statement{QStringLiteral("select %1 from %2 group by %1 order by %1 collate %3")
                                    .arg(c, quoteIdentifier(table), QLatin1String(chinese::kCollation)),
                                {}},
                      &result, &error))
            return Error::engine(error);
        return result;
    }
    // The server knows neither the Chinese order nor the file's NOCASE
    // texts: its distinct values are ordered here, and values equal in that
    // order (differing only in the case of ASCII letters) kept once.
    if (!db.query(Statement{QStringLiteral("select distinct %1 from %2").arg(c, quoteIdentifier(table)), {}}, &result,
                  &error))
        return Error::engine(error);
    // NULL first, numbers before texts, as the file orders them.
    const auto rank = [](const QVariant& v) { return v.isNull() ? 0 : v.typeId() == QMetaType::QString ? 2 : 1; };
    const auto order = [&](const QVector<QVariant>& a, const QVariant& b) {
        const QVariant& x = a.at(0);
        if (rank(x) != rank(b))
            return rank(x) < rank(b) ? -1 : 1;
        if (rank(x) == 1)
            return x.toDouble() < b.toDouble() ? -1 : x.toDouble() > b.toDouble() ? 1 : 0;
        return rank(x) == 2 ? chinese::compare(x.toString(), b.toString()) : 0;
    };
    std::stable_sort(result.rows.begin(), result.rows.end(),
                     [&](const QVector<QVariant>& a, const QVector<QVariant>& b) { return order(a, b.at(0)) < 0; });
    const auto last = std::unique(result.rows.begin(), result.rows.end(),
                                  [&](const QVector<QVariant>& a, const QVector<QVariant>& b) { return order(a, b.at(0)) == 0; });
    result.rows.erase(last, result.rows.end());
    return result;
}

Result<void> Tdmfm::OpenDistinctColumn(RowSet& set, const QString& column, const QString& table)
{
    set.close();
    Result<QueryResult> read = readDistinctColumn(m_db, column, table);
    if (!read)
        return read.error();
    set.load(std::move(*read));
    return {};
}

Result<qint64> Tdmfm::appendRow(const QString& table, const QVariantMap& values)
{
    QStringList names, marks;
    QVariantList params;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (!isPlainIdentifier(it.key()))
            return Error::invalid(QStringLiteral("Invalid column name: %1").arg(it.key()));
        names << quoteIdentifier(it.key());
        marks << QStringLiteral("?");
        params << it.value();
    }
    if (!isPlainIdentifier(table))
        return Error::invalid(QStringLiteral("Invalid table name: %1").arg(table));
    QString error;
    const Statement st{QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                           .arg(quoteIdentifier(table), names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
                       params};
    // On a server the statement returns the new row's identity (Database).
    if (!m_db.exec(st, &error))
        return Error::engine(error);
    return m_db.lastInsertRowId();
}

std::optional<Error> Tdmfm::cannotWriteCurrent(const RowSet& set)
{
    if (!set.isOpen() || set.current() < 0)
        return Error::engine(QStringLiteral("Cannot perform this operation on an empty dataset"));
    if (set.writeTable().isEmpty() || set.rowId(set.current()) < 0)
        return Error::engine(QStringLiteral("Cannot modify a read-only dataset"));
    return std::nullopt;
}

Result<void> Tdmfm::updateCurrent(RowSet& set, const QVariantMap& values)
{
    if (auto refused = cannotWriteCurrent(set))
        return *refused;
    return updateRow(set, set.rowId(set.current()), values);
}

Result<void> Tdmfm::deleteCurrent(RowSet& set)
{
    if (auto refused = cannotWriteCurrent(set))
        return *refused;
    return deleteRow(set, set.rowId(set.current()));
}

Result<void> Tdmfm::updateRow(RowSet& set, qint64 rowId, const QVariantMap& values)
{
    if (set.writeTable().isEmpty())
        return Error::engine(QStringLiteral("Cannot modify a read-only dataset"));
    QStringList assignments;
    QVariantList params;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (!isPlainIdentifier(it.key()))
            return Error::invalid(QStringLiteral("Invalid column name: %1").arg(it.key()));
        assignments << quoteIdentifier(it.key()) + QLatin1String("=?");
        params << it.value();
    }
    if (assignments.isEmpty())
        return {};
    params << rowId;
    QString error;
    int changes = 0;
    const Statement st{QStringLiteral("UPDATE %1 SET %2 WHERE rowid=?")
                           .arg(quoteIdentifier(set.writeTable()), assignments.join(QLatin1Char(','))),
                       params};
    if (!m_db.exec(st, &error, &changes))
        return Error::engine(error);
    if (changes == 0)
        return Error::gone();
    // A view of a table shows the stored row once the write is committed.
    const int row = set.rowOf(rowId);
    if (row < 0 || set.isView())
        return {};
    // Keep the grid showing what is now stored, as a re-read would.
    QueryResult stored;
    if (m_db.query(
            Statement{QStringLiteral("SELECT * FROM %1 WHERE rowid=?").arg(quoteIdentifier(set.writeTable())), {rowId}},
            &stored, &error) &&
        !stored.rows.isEmpty()) {
        QVariantMap fresh;
        for (int i = 0; i < stored.columns.size(); ++i)
            fresh.insert(stored.columns.at(i), stored.rows.at(0).at(i));
        set.replaceRow(row, fresh);
    } else {
        set.replaceRow(row, values);
    }
    return {};
}

Result<void> Tdmfm::deleteRow(RowSet& set, qint64 rowId)
{
    if (set.writeTable().isEmpty())
        return Error::engine(QStringLiteral("Cannot modify a read-only dataset"));
    QString error;
    int changes = 0;
    if (!m_db.exec(
            Statement{QStringLiteral("DELETE FROM %1 WHERE rowid=?").arg(quoteIdentifier(set.writeTable())), {rowId}},
            &error, &changes))
        return Error::engine(error);
    if (changes == 0)
        return Error::gone();
    // A view of the table loses the row once the delete is committed.
    if (!set.isView())
        set.removeRow(set.rowOf(rowId));
    return {};
}
