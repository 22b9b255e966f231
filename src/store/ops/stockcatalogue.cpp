#include "store/ops/stockcatalogue.h"

#include "store/db/columns.h"
#include "store/memory/memtable.h"
#include "store/memory/sortranks.h"
#include "store/memory/stockfilter.h"
#include "store/ops/summary.h"

#include <QScopedValueRollback>

#include <utility>

StockCatalogue::StockCatalogue(Database& db, QObject* parent)
    : QObject(parent)
    , m_list(QStringLiteral("stock list query"), QStringLiteral("data"))
    , m_summary(QStringLiteral("summary query"))
{
    // The columns the searches match with LIKE.
    m_table = std::make_unique<MemTable>(db, QStringLiteral("data"),
                                         QStringList{stockcol::category, stockcol::nameInitials, stockcol::modelInitials,
                                                     stockcol::code, stockcol::remark, stockcol::supplier});
    m_filter = std::make_unique<StockFilter>(*m_table);
    m_ranks = std::make_unique<SortRanks>(*m_table);
    m_distinct = std::make_unique<DistinctValues>(*m_table, QStringList{stockcol::name, stockcol::model, stockcol::code,
                                                                        stockcol::category, stockcol::supplier});
    // A re-read the list did not ask for (the connection was replaced): show
    // the same statement's rows again.
    connect(m_table.get(), &MemTable::reloaded, this, [this] {
        if (!m_runningQuery && m_list.viewTable() == m_table.get() && m_table->isLoaded())
            (void)runQuery();
    });
}

StockCatalogue::~StockCatalogue() = default;

bool takeWrittenRows(MemTable& table, const QList<qint64>& rows)
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

void StockCatalogue::takeWritten(const QList<qint64>& rows)
{
    // A row that cannot be read now leaves the copy behind the file: it is
    // read whole at its next use, which returns the engine's error if it
    // still fails.
    if (!takeWrittenRows(*m_table, rows))
        m_stale = true;
}

void StockCatalogue::close()
{
    m_list.close();
    m_summary.close();
}

Result<void> freshenTable(MemTable& table, bool& stale)
{
    QString error;
    if (!(std::exchange(stale, false) ? table.load(&error) : table.reloadIfChangedElsewhere(&error)))
        return Error::engine(error);
    return {};
}

Result<void> StockCatalogue::fresh()
{
    Result<void> ok = freshenTable(*m_table, m_stale);
    if (!ok)
        m_list.close();
    return ok;
}

Result<void> StockCatalogue::runQuery()
{
    if (!m_query.search) {
        m_list.showPositions(*m_table, *m_ranks, m_filter->listAll(m_query.zero));
        return {};
    }
    std::vector<int> rows;
    QString error;
    if (!m_filter->search(m_query.zero, m_query.conditions, &rows, &error)) {
        m_list.close();
        return Error::engine(error);
    }
    m_list.showPositions(*m_table, *m_ranks, std::move(rows));
    return {};
}

Result<void> StockCatalogue::showAll(stockq::ZeroStock zero)
{
    const QScopedValueRollback running(m_runningQuery, true);
    m_query = Query{false, zero, {}};
    if (auto ok = fresh(); !ok)
        return ok;
    return runQuery();
}

Result<void> StockCatalogue::search(stockq::ZeroStock zero, const stockq::Conditions& c)
{
    const QScopedValueRollback running(m_runningQuery, true);
    m_query = Query{true, zero, c};
    if (auto ok = fresh(); !ok)
        return ok;
    return runQuery();
}

Result<DistinctValues::Snapshot> StockCatalogue::values(const QString& column)
{
    if (auto ok = fresh(); !ok)
        return ok.error();
    return m_distinct->values(column);
}

Result<void> StockCatalogue::refreshSummary()
{
    m_summary.close();
    if (auto ok = fresh(); !ok)
        return ok;
    m_summary.loadColumns(summary::compute(*m_table, *m_ranks));
    m_summary.last();
    return {};
}
