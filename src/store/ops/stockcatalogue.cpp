#include "store/ops/stockcatalogue.h"

#include "store/db/columns.h"
#include "store/memory/memtable.h"
#include "store/memory/sortranks.h"
#include "store/memory/stockfilter.h"
#include "store/ops/summary.h"
#include "store/ops/tableloader.h"

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
    m_loader = std::make_unique<TableLoader>(*m_table);
    // A window's progress display follows a load in the background as it
    // follows one made here.
    connect(m_loader.get(), &TableLoader::progress, this, [this](qint64 read, qint64 expected) {
        if (m_table->loadProgress() && !m_table->isLoaded())
            m_table->loadProgress()(read, expected);
    });
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
    if (rows.isEmpty())
        return true;
    // A load in the background may have begun its read before these rows
    // were committed: they are read again once it is done.
    table.noteWritten(std::vector<qint64>(rows.cbegin(), rows.cend()));
    if (!table.isLoaded())
        return true; // the first load reads everything
    constexpr qsizetype kReadOneByOne = 64;
    QString error;
    if (rows.size() > kReadOneByOne && !table.isLoadingElsewhere())
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

void StockCatalogue::loadInBackground(const ShopLocation& location)
{
    if (!m_table->isLoaded() && !m_table->isLoading())
        m_loader->start(location);
}

bool StockCatalogue::isWaitingForLoad() const
{
    return m_loader->isRunning() && !m_table->isLoaded();
}

void StockCatalogue::close()
{
    m_loader->abandon();
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
    // A read in the background that fails is told by the loader (finished);
    // the table is then read here.
    if (isWaitingForLoad())
        (void)m_loader->wait();
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
