#include "store/ops/tdmfm.h"

#include "store/db/columns.h"
#include "store/db/schema.h"
#include "store/memory/distinctvalues.h"
#include "store/memory/memtable.h"
#include "store/memory/salefilter.h"
#include "store/memory/sortranks.h"
#include "store/memory/stockfilter.h"
#include "store/ops/summary.h"
#include "text/chinesecollation.h"

#include <QRegularExpression>
#include <QScopedValueRollback>
#include <QStringList>

#include <algorithm>

Tdmfm::Tdmfm(QObject* parent)
    : QObject(parent)
    , m_stockList(QStringLiteral("stock list query"), QStringLiteral("data"))
    , m_salesList(QStringLiteral("sales list query"), QStringLiteral("data1"))
    , m_summaryQuery(QStringLiteral("summary query"))
{
    // The columns the searches match with LIKE.
    m_stockTable =
        std::make_unique<MemTable>(m_db, QStringLiteral("data"),
                                   QStringList{stockcol::category, stockcol::nameInitials, stockcol::modelInitials,
                                               stockcol::code, stockcol::remark, stockcol::supplier});
    m_salesTable = std::make_unique<MemTable>(
        m_db, QStringLiteral("data1"),
        QStringList{salecol::category, salecol::nameInitials, salecol::code, salecol::modelInitials, salecol::customer,
                    salecol::customerRemark, salecol::saleNumber, salecol::saleDate});
    m_stockFilter = std::make_unique<StockFilter>(*m_stockTable);
    m_saleFilter = std::make_unique<SaleFilter>(*m_salesTable);
    m_saleRanks = std::make_unique<SortRanks>(*m_salesTable);
    m_saleDistinct = std::make_unique<DistinctValues>(*m_salesTable, QStringList{salecol::category});
    m_stockRanks = std::make_unique<SortRanks>(*m_stockTable);
    m_stockDistinct =
        std::make_unique<DistinctValues>(*m_stockTable, QStringList{stockcol::name, stockcol::model, stockcol::code,
                                                                    stockcol::category, stockcol::supplier});
    // A re-read the list did not ask for (the connection was replaced): show
    // the same statement's rows again.
    connect(m_stockTable.get(), &MemTable::reloaded, this, [this] {
        if (!m_runningStockQuery && m_stockList.viewTable() == m_stockTable.get() && m_stockTable->isLoaded())
            (void)runStockQuery();
    });
    // The same for the sales list.
    connect(m_salesTable.get(), &MemTable::reloaded, this, [this] {
        if (!m_runningSalesQuery && m_salesQuery && m_salesList.viewTable() == m_salesTable.get() &&
            m_salesTable->isLoaded())
            (void)showSales(*m_salesQuery);
    });
    // Every write to the two tables is noted from the start, whether their
    // copies are loaded or not, and published when it is committed.
    m_db.trackWrites(m_stockTable->table());
    m_db.trackWrites(m_salesTable->table());
    m_db.setCommitListener([this] { publishCommitted(); });
}

Tdmfm::~Tdmfm()
{
    m_db.setCommitListener({});
}

bool Tdmfm::open(const QString& path, QString* error)
{
    m_path = path;
    if (!m_db.open(path, false, error))
        return false;
    if (!schema::migrate(m_db, error) || !schema::verifyUsable(m_db, error)) {
        m_db.close();
        return false;
    }
    return true;
}

void Tdmfm::closeConnection()
{
    for (RowSet* set : {&m_stockList, &m_salesList, &m_summaryQuery})
        set->close();
    m_customers.reset();
    m_db.close();
}

bool Tdmfm::reopen(QString* error)
{
    closeConnection();
    return open(m_path, error);
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

// Reads the written rows into a loaded copy; many rows are read faster at once
// than one by one. False when a row could not be read.
bool takeRows(MemTable& table, const QList<qint64>& rows)
{
    if (!table.isLoaded() || rows.isEmpty())
        return true; // the first load reads everything
    constexpr qsizetype kReadOneByOne = 64;
    QString error;
    if (rows.size() > kReadOneByOne)
        return table.load(&error);
    for (const qint64 id : rows)
        if (!table.refreshRow(id, &error))
            return false;
    return true;
}

} // namespace

void Tdmfm::publishCommitted()
{
    StoreChange change{distinctRows(m_db.takeWrittenRows(m_stockTable->table())),
                       distinctRows(m_db.takeWrittenRows(m_salesTable->table()))};
    if (change.stockRows.isEmpty() && change.saleRows.isEmpty())
        return;
    // A row that cannot be read now leaves the copy behind the file: it is
    // read whole at its next use, which returns the engine's error if it
    // still fails.
    if (!takeRows(*m_stockTable, change.stockRows))
        m_stockStale = true;
    if (!takeRows(*m_salesTable, change.saleRows))
        m_salesStale = true;
    constexpr qsizetype kCustomersOneByOne = 64;
    if (m_customers && change.saleRows.size() > kCustomersOneByOne) {
        m_customers.reset(); // read again at the next use
    } else if (m_customers && !change.saleRows.isEmpty()) {
        QStringList marks;
        QVariantList ids;
        for (const qint64 id : change.saleRows) {
            marks << QStringLiteral("?");
            ids << id;
        }
        QueryResult names;
        QString error;
        if (m_db.query(Statement{QStringLiteral("select %1 from data1 where rowid in (%2)")
                                     .arg(quoteIdentifier(salecol::customer), marks.join(QLatin1Char(','))),
                                 ids},
                       &names, &error)) {
            for (const auto& row : names.rows)
                customerWritten(row.at(0).toString());
        } else {
            m_customers.reset(); // read again at the next use
        }
    }
    emit changed(change);
}

Result<void> Tdmfm::freshStockTable()
{
    QString error;
    const bool fresh = std::exchange(m_stockStale, false) ? m_stockTable->load(&error)
                                                          : m_stockTable->reloadIfChangedElsewhere(&error);
    if (!fresh) {
        m_stockList.close();
        return Error::engine(error);
    }
    return {};
}

Result<void> Tdmfm::runStockQuery()
{
    const StockQuery& q = m_stockQuery;
    if (!q.search) {
        m_stockList.showPositions(*m_stockTable, *m_stockRanks, m_stockFilter->listAll(q.zero));
        return {};
    }
    std::vector<int> rows;
    QString error;
    if (!m_stockFilter->search(q.zero, q.conditions, &rows, &error)) {
        m_stockList.close();
        return Error::engine(error);
    }
    m_stockList.showPositions(*m_stockTable, *m_stockRanks, std::move(rows));
    return {};
}

Result<void> Tdmfm::showAllStock(stockq::ZeroStock zero)
{
    const QScopedValueRollback running(m_runningStockQuery, true);
    m_stockQuery = StockQuery{false, zero, {}};
    if (auto fresh = freshStockTable(); !fresh)
        return fresh;
    return runStockQuery();
}

Result<void> Tdmfm::searchStock(stockq::ZeroStock zero, const stockq::Conditions& c)
{
    const QScopedValueRollback running(m_runningStockQuery, true);
    m_stockQuery = StockQuery{true, zero, c};
    if (auto fresh = freshStockTable(); !fresh)
        return fresh;
    return runStockQuery();
}

Result<DistinctValues::Snapshot> Tdmfm::stockValues(const QString& column)
{
    if (auto fresh = freshStockTable(); !fresh)
        return fresh.error();
    return m_stockDistinct->values(column);
}

Result<void> Tdmfm::refreshSummary()
{
    m_summaryQuery.close();
    if (auto fresh = freshStockTable(); !fresh)
        return fresh;
    m_summaryQuery.loadColumns(summary::compute(*m_stockTable, *m_stockRanks));
    m_summaryQuery.last();
    return {};
}

Result<void> Tdmfm::freshSalesTable()
{
    QString error;
    const bool fresh = std::exchange(m_salesStale, false) ? m_salesTable->load(&error)
                                                          : m_salesTable->reloadIfChangedElsewhere(&error);
    if (!fresh)
        return Error::engine(error);
    return {};
}

Result<void> Tdmfm::showSales(const salesearch::Query& q)
{
    const QScopedValueRollback running(m_runningSalesQuery, true);
    if (auto fresh = freshSalesTable(); !fresh)
        return fresh;
    std::vector<int> rows;
    QString error;
    if (!m_saleFilter->run(q, &rows, &error))
        return Error::engine(error);
    m_salesQuery = q;
    m_salesList.showPositions(*m_salesTable, *m_saleRanks, std::move(rows));
    return {};
}

Result<DistinctValues::Snapshot> Tdmfm::saleValues(const QString& column)
{
    if (auto fresh = freshSalesTable(); !fresh)
        return fresh.error();
    return m_saleDistinct->values(column);
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

Result<void> Tdmfm::OpenDistinctColumn(RowSet& set, const QString& column, const QString& table)
{
    if (!isPlainIdentifier(column) || !isPlainIdentifier(table)) {
        set.close();
        return Error::invalid(QStringLiteral("Invalid column or table name: %1.%2").arg(table, column));
    }
    // Grouped by the column's own NOCASE rule, whose equality is the Chinese
    // order's, so only the distinct values pay for the collator.
    const QString c = quoteIdentifier(column);
    return OpenQuery(set, Statement{QStringLiteral("select %1 from %2 group by %1 order by %1 collate %3")
                                        .arg(c, quoteIdentifier(table), QLatin1String(chinese::kCollation)),
                                    {}});
}

Result<QStringList> Tdmfm::customerNames()
{
    // data_version moves only with the commits of other connections.
    QueryResult r;
    QString error;
    if (!m_db.query(Statement{QStringLiteral("PRAGMA data_version"), {}}, &r, &error))
        return Error::engine(error);
    const qint64 version = r.rows.value(0).value(0).toLongLong();
    if (!m_customers || version != m_customersDataVersion) {
        m_customers.reset();
        RowSet read(QStringLiteral("customer names"));
        const Result<void> readOk = OpenDistinctColumn(read, QString(salecol::customer), QStringLiteral("data1"));
        // The statement read every sale row; their pages are not needed again soon.
        m_db.releaseCache();
        if (!readOk)
            return readOk.error();
        QStringList list;
        list.reserve(read.rowCount());
        for (int row = 0; row < read.rowCount(); ++row)
            list << read.value(row, 0).toString();
        m_customers = std::move(list);
        m_customersDataVersion = version;
    }
    return *m_customers;
}

void Tdmfm::customerWritten(const QString& name)
{
    if (!m_customers)
        return; // the first read finds it
    // The list groups names the way the column compares them: ASCII letters
    // without regard to case, everything else exactly.
    const auto sameName = [&](const QString& other) {
        if (other.size() != name.size())
            return false;
        for (qsizetype i = 0; i < name.size(); ++i) {
            const char16_t a = name.at(i).unicode();
            const char16_t b = other.at(i).unicode();
            const auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
            if (fold(a) != fold(b))
                return false;
        }
        return true;
    };
    QStringList& list = *m_customers;
    const auto at = std::lower_bound(list.begin(), list.end(), name,
                                     [](const QString& a, const QString& b) { return chinese::compare(a, b) < 0; });
    // Equal names sit next to the insertion point (the order ignores case as the grouping does).
    for (auto it = at; it != list.end() && chinese::compare(*it, name) == 0; ++it)
        if (sameName(*it))
            return;
    if (at != list.begin() && sameName(*(at - 1)))
        return;
    list.insert(at, name);
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

bool isPlainIdentifier(const QString& name)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z0-9_]+$"));
    return re.match(name).hasMatch();
}
