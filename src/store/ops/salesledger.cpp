#include "store/ops/salesledger.h"

#include "store/db/columns.h"
#include "store/db/database.h"
#include "store/memory/memtable.h"
#include "store/memory/salefilter.h"
#include "store/memory/sortranks.h"
#include "store/ops/stockcatalogue.h"
#include "store/ops/tableloader.h"
#include "store/ops/tdmfm.h"

#include <QScopedValueRollback>

#include <utility>

SalesLedger::SalesLedger(Database& db, QObject* parent)
    : QObject(parent)
    , m_db(db)
    , m_list(QStringLiteral("sales list query"), QStringLiteral("data1"))
{
    // The columns the searches match with LIKE.
    m_table = std::make_unique<MemTable>(
        db, QStringLiteral("data1"),
        QStringList{salecol::category, salecol::nameInitials, salecol::code, salecol::modelInitials, salecol::customer,
                    salecol::customerRemark, salecol::saleNumber, salecol::saleDate});
    m_filter = std::make_unique<SaleFilter>(*m_table);
    m_ranks = std::make_unique<SortRanks>(*m_table);
    m_distinct = std::make_unique<DistinctValues>(*m_table, QStringList{salecol::category});
    // Apart: a new sale's name must not rebuild the categories' list.
    m_customers = std::make_unique<DistinctValues>(*m_table, QStringList{salecol::customer});
    m_loader = std::make_unique<TableLoader>(*m_table);
    // A window's progress display follows a load in the background as it
    // follows one made here.
    connect(m_loader.get(), &TableLoader::progress, this, [this](qint64 read, qint64 expected) {
        if (m_table->loadProgress() && !m_table->isLoaded())
            m_table->loadProgress()(read, expected);
    });
    // A re-read the list did not ask for (the connection was replaced): show
    // the same query's rows again.
    connect(m_table.get(), &MemTable::reloaded, this, [this] {
        if (!m_runningQuery && m_query && m_list.viewTable() == m_table.get() && m_table->isLoaded())
            (void)show(*m_query);
    });
}

SalesLedger::~SalesLedger() = default;

void SalesLedger::close()
{
    m_loader->abandon();
    m_list.close();
}

Result<void> SalesLedger::fresh()
{
    // A read in the background that fails is told by the loader (finished);
    // the table is then read here.
    if (isWaitingForLoad())
        (void)m_loader->wait();
    return freshenTable(*m_table, m_stale);
}

void SalesLedger::loadInBackground(const ShopLocation& location)
{
    if (!m_table->isLoaded() && !m_table->isLoading())
        m_loader->start(location);
}

bool SalesLedger::isWaitingForLoad() const
{
    return m_loader->isRunning() && !m_table->isLoaded();
}

Result<void> SalesLedger::show(const salesearch::Query& q)
{
    const QScopedValueRollback running(m_runningQuery, true);
    if (auto ok = fresh(); !ok)
        return ok;
    std::vector<int> rows;
    QString error;
    if (!m_filter->run(q, &rows, &error))
        return Error::engine(error);
    m_query = q;
    m_list.showPositions(*m_table, *m_ranks, std::move(rows));
    return {};
}

Result<DistinctValues::Snapshot> SalesLedger::values(const QString& column)
{
    if (auto ok = fresh(); !ok)
        return ok.error();
    return m_distinct->values(column);
}

void SalesLedger::takeWritten(const QList<qint64>& rows)
{
    // As for the stock table: a row that cannot be read now is read with the
    // whole table at its next use.
    if (!takeWrittenRows(*m_table, rows))
        m_stale = true;
}

Result<QStringList> SalesLedger::customerNames()
{
    if (auto ok = fresh(); !ok)
        return ok.error();
    const DistinctValues::Snapshot names = m_customers->values(QString(salecol::customer));
    QStringList list;
    list.reserve(qsizetype(names->size()));
    for (const DistinctValues::Entry& e : *names)
        list << e.text();
    return list;
}
