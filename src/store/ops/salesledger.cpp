#include "store/ops/salesledger.h"

#include "store/db/columns.h"
#include "store/db/database.h"
#include "store/memory/memtable.h"
#include "store/memory/salefilter.h"
#include "store/memory/sortranks.h"
#include "store/ops/stockcatalogue.h"
#include "store/ops/tdmfm.h"
#include "text/chinesecollation.h"

#include <QScopedValueRollback>

#include <algorithm>
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
    m_list.close();
    m_customers.reset();
}

Result<void> SalesLedger::fresh()
{
    return freshenTable(*m_table, m_stale);
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
    if (!m_customers || rows.isEmpty())
        return;
    constexpr qsizetype kCustomersOneByOne = 64;
    if (rows.size() > kCustomersOneByOne) {
        m_customers.reset(); // read again at the next use
        return;
    }
    QStringList marks;
    QVariantList ids;
    for (const qint64 id : rows) {
        marks << QStringLiteral("?");
        ids << id;
    }
    QueryResult names;
    QString error;
    if (!m_db.query(Statement{QStringLiteral("select %1 from data1 where rowid in (%2)")
                                  .arg(quoteIdentifier(salecol::customer), marks.join(QLatin1Char(','))),
                              ids},
                    &names, &error)) {
        m_customers.reset(); // read again at the next use
        return;
    }
    for (const auto& row : names.rows)
        customerWritten(row.at(0).toString());
}

Result<QStringList> SalesLedger::customerNames()
{
    // data_version moves only with the commits of other connections.
    QueryResult r;
    QString error;
    if (!m_db.query(Statement{QStringLiteral("PRAGMA data_version"), {}}, &r, &error))
        return Error::engine(error);
    const qint64 version = r.rows.value(0).value(0).toLongLong();
    if (!m_customers || version != m_customersDataVersion) {
        m_customers.reset();
        const Result<QueryResult> read = readDistinctColumn(m_db, QString(salecol::customer), QStringLiteral("data1"));
        // The statement read every sale row; their pages are not needed again soon.
        m_db.releaseCache();
        if (!read)
            return read.error();
        QStringList list;
        list.reserve(read->rows.size());
        for (const auto& row : read->rows)
            list << row.value(0).toString();
        m_customers = std::move(list);
        m_customersDataVersion = version;
    }
    return *m_customers;
}

void SalesLedger::customerWritten(const QString& name)
{
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
