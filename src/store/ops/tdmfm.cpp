#include "store/ops/tdmfm.h"

#include "core/messageport.h"
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
    , m_generalQuery(QStringLiteral("general query"))
    , m_salesList(QStringLiteral("sales list query"), QStringLiteral("data1"))
    , m_summaryQuery(QStringLiteral("summary query"))
    , m_customerQuery(QStringLiteral("customer query"))
    , m_slipQuery(QStringLiteral("slip query"))
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
            runStockQuery();
    });
    // The same for the sales list.
    connect(m_salesTable.get(), &MemTable::reloaded, this, [this] {
        if (!m_runningSalesQuery && m_salesQuery && m_salesList.viewTable() == m_salesTable.get() &&
            m_salesTable->isLoaded())
            showSales(*m_salesQuery);
    });
}

Tdmfm::~Tdmfm() = default;

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
    for (RowSet* set : {&m_stockList, &m_generalQuery, &m_salesList, &m_summaryQuery, &m_customerQuery, &m_slipQuery})
        set->close();
    m_customers.reset();
    m_db.close();
}

bool Tdmfm::reopen(QString* error)
{
    closeConnection();
    return open(m_path, error);
}

bool Tdmfm::freshStockTable()
{
    QString error;
    if (!m_stockTable->reloadIfChangedElsewhere(&error)) {
        m_stockList.close();
        report(error);
        return false;
    }
    return true;
}

bool Tdmfm::runStockQuery()
{
    const StockQuery& q = m_stockQuery;
    if (!q.search) {
        m_stockList.showPositions(*m_stockTable, *m_stockRanks, m_stockFilter->listAll(q.zero),
                                  stockq::listAll(q.zero).sql);
        return true;
    }
    std::vector<int> rows;
    QString error;
    if (!m_stockFilter->search(q.zero, q.conditions, &rows, &error)) {
        m_stockList.close();
        report(error);
        return false;
    }
    m_stockList.showPositions(*m_stockTable, *m_stockRanks, std::move(rows), stockq::search(q.zero, q.conditions).sql);
    return true;
}

bool Tdmfm::showAllStock(stockq::ZeroStock zero)
{
    const QScopedValueRollback running(m_runningStockQuery, true);
    m_stockQuery = StockQuery{false, zero, {}};
    return freshStockTable() && runStockQuery();
}

bool Tdmfm::searchStock(stockq::ZeroStock zero, const stockq::Conditions& c)
{
    const QScopedValueRollback running(m_runningStockQuery, true);
    m_stockQuery = StockQuery{true, zero, c};
    return freshStockTable() && runStockQuery();
}

DistinctValues::Snapshot Tdmfm::stockValues(const QString& column)
{
    QString error;
    if (!m_stockTable->reloadIfChangedElsewhere(&error)) {
        report(error);
        return std::make_shared<const std::vector<DistinctValues::Entry>>();
    }
    return m_stockDistinct->values(column);
}

void Tdmfm::stockRowsWritten(const QList<qint64>& rowIds)
{
    if (!m_stockTable->isLoaded())
        return; // the first load reads everything
    QString error;
    for (const qint64 id : rowIds)
        if (!m_stockTable->refreshRow(id, &error)) {
            report(error);
            return;
        }
}

bool Tdmfm::refreshSummary()
{
    m_summaryQuery.close();
    QString error;
    if (!m_stockTable->reloadIfChangedElsewhere(&error)) {
        report(error);
        return false;
    }
    m_summaryQuery.loadColumns(summary::statement().sql, summary::compute(*m_stockTable, *m_stockRanks));
    m_summaryQuery.last();
    return true;
}

bool Tdmfm::freshSalesTable()
{
    QString error;
    if (!m_salesTable->reloadIfChangedElsewhere(&error)) {
        report(error);
        return false;
    }
    return true;
}

void Tdmfm::saleRowsWritten(const QList<qint64>& rowIds)
{
    if (!m_salesTable->isLoaded())
        return; // the first load reads everything
    QString error;
    for (const qint64 id : rowIds)
        if (!m_salesTable->refreshRow(id, &error)) {
            report(error);
            return;
        }
}

bool Tdmfm::showSales(const salesq::Query& q)
{
    const QScopedValueRollback running(m_runningSalesQuery, true);
    if (!freshSalesTable())
        return false;
    std::vector<int> rows;
    QString error;
    if (!m_saleFilter->run(q, &rows, &error)) {
        report(error);
        return false;
    }
    m_salesQuery = q;
    m_salesList.showPositions(*m_salesTable, *m_saleRanks, std::move(rows), salesq::statement(q).sql);
    return true;
}

DistinctValues::Snapshot Tdmfm::saleValues(const QString& column)
{
    if (!freshSalesTable())
        return std::make_shared<const std::vector<DistinctValues::Entry>>();
    return m_saleDistinct->values(column);
}

void Tdmfm::report(const QString& error)
{
    messagePort().error(error);
}

bool Tdmfm::OpenQuery(RowSet& set, const Statement& st)
{
    set.close();
    QueryResult result;
    QString error;
    if (!m_db.query(st, &result, &error)) {
        report(error);
        return false;
    }
    set.load(st.sql, std::move(result));
    return true;
}

bool Tdmfm::ExecStatement(RowSet& set, const Statement& st, int* changes)
{
    set.close();
    QString error;
    if (!m_db.exec(st, &error, changes)) {
        report(error);
        return false;
    }
    return true;
}

bool Tdmfm::OpenDistinctColumn(RowSet& set, const QString& column, const QString& table)
{
    if (!isPlainIdentifier(column) || !isPlainIdentifier(table)) {
        set.close();
        report(QStringLiteral("Invalid column or table name: %1.%2").arg(table, column));
        return false;
    }
    // Grouped by the column's own NOCASE rule, whose equality is the Chinese
    // order's, so only the distinct values pay for the collator.
    const QString c = quoteIdentifier(column);
    return OpenQuery(set, Statement{QStringLiteral("select %1 from %2 group by %1 order by %1 collate %3")
                                        .arg(c, quoteIdentifier(table), QLatin1String(chinese::kCollation)),
                                    {}});
}

bool Tdmfm::customerNames(QStringList* names)
{
    // data_version moves only with the commits of other connections.
    QueryResult r;
    QString error;
    if (!m_db.query(Statement{QStringLiteral("PRAGMA data_version"), {}}, &r, &error)) {
        report(error);
        return false;
    }
    const qint64 version = r.rows.value(0).value(0).toLongLong();
    if (!m_customers || version != m_customersDataVersion) {
        m_customers.reset();
        const bool read = OpenDistinctColumn(m_customerQuery, QString(salecol::customer), QStringLiteral("data1"));
        // The statement read every sale row; their pages are not needed again soon.
        m_db.releaseCache();
        if (!read)
            return false;
        QStringList list;
        list.reserve(m_customerQuery.rowCount());
        for (int row = 0; row < m_customerQuery.rowCount(); ++row)
            list << m_customerQuery.value(row, 0).toString();
        m_customers = std::move(list);
        m_customersDataVersion = version;
    }
    *names = *m_customers;
    return true;
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

bool Tdmfm::appendRow(const QString& table, const QVariantMap& values, qint64* rowId)
{
    QStringList names, marks;
    QVariantList params;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (!isPlainIdentifier(it.key())) {
            report(QStringLiteral("Invalid column name: %1").arg(it.key()));
            return false;
        }
        names << quoteIdentifier(it.key());
        marks << QStringLiteral("?");
        params << it.value();
    }
    if (!isPlainIdentifier(table)) {
        report(QStringLiteral("Invalid table name: %1").arg(table));
        return false;
    }
    QString error;
    const Statement st{QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                           .arg(quoteIdentifier(table), names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
                       params};
    if (!m_db.exec(st, &error)) {
        report(error);
        return false;
    }
    const qint64 id = m_db.lastInsertRowId();
    if (rowId)
        *rowId = id;
    if (table == m_stockTable->table())
        stockRowsWritten({id});
    return true;
}

bool Tdmfm::canWriteCurrent(const RowSet& set)
{
    if (!set.isOpen() || set.current() < 0) {
        report(QStringLiteral("Cannot perform this operation on an empty dataset"));
        return false;
    }
    if (set.writeTable().isEmpty() || set.rowId(set.current()) < 0) {
        report(QStringLiteral("Cannot modify a read-only dataset"));
        return false;
    }
    return true;
}

bool Tdmfm::updateCurrent(RowSet& set, const QVariantMap& values)
{
    if (!canWriteCurrent(set))
        return false;
    bool gone = false;
    if (updateRow(set, set.rowId(set.current()), values, &gone))
        return true;
    if (gone)
        report(QStringLiteral("Record is deleted"));
    return false;
}

bool Tdmfm::deleteCurrent(RowSet& set)
{
    if (!canWriteCurrent(set))
        return false;
    bool gone = false;
    if (deleteRow(set, set.rowId(set.current()), &gone))
        return true;
    if (gone)
        report(QStringLiteral("Record is deleted"));
    return false;
}

bool Tdmfm::updateRow(RowSet& set, qint64 rowId, const QVariantMap& values, bool* gone)
{
    if (gone)
        *gone = false;
    if (set.writeTable().isEmpty()) {
        report(QStringLiteral("Cannot modify a read-only dataset"));
        return false;
    }
    QStringList assignments;
    QVariantList params;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (!isPlainIdentifier(it.key())) {
            report(QStringLiteral("Invalid column name: %1").arg(it.key()));
            return false;
        }
        assignments << quoteIdentifier(it.key()) + QLatin1String("=?");
        params << it.value();
    }
    if (assignments.isEmpty())
        return true;
    params << rowId;
    QString error;
    int changes = 0;
    const Statement st{QStringLiteral("UPDATE %1 SET %2 WHERE rowid=?")
                           .arg(quoteIdentifier(set.writeTable()), assignments.join(QLatin1Char(','))),
                       params};
    if (!m_db.exec(st, &error, &changes)) {
        report(error);
        return false;
    }
    if (changes == 0) {
        if (gone)
            *gone = true;
        return false;
    }
    if (set.writeTable() == m_stockTable->table())
        stockRowsWritten({rowId}); // a view of the table shows the stored row from here
    const int row = set.rowOf(rowId);
    if (row < 0 || set.isView())
        return true;
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
    return true;
}

bool Tdmfm::deleteRow(RowSet& set, qint64 rowId, bool* gone)
{
    if (gone)
        *gone = false;
    if (set.writeTable().isEmpty()) {
        report(QStringLiteral("Cannot modify a read-only dataset"));
        return false;
    }
    QString error;
    int changes = 0;
    if (!m_db.exec(
            Statement{QStringLiteral("DELETE FROM %1 WHERE rowid=?").arg(quoteIdentifier(set.writeTable())), {rowId}},
            &error, &changes)) {
        report(error);
        return false;
    }
    if (changes == 0) {
        if (gone)
            *gone = true;
        return false;
    }
    if (set.writeTable() == m_stockTable->table())
        stockRowsWritten({rowId}); // a view of the table loses the row here
    set.removeRow(set.rowOf(rowId));
    return true;
}

bool isPlainIdentifier(const QString& name)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z0-9_]+$"));
    return re.match(name).hasMatch();
}
