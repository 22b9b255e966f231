#include "store/ops/salelookup.h"

#include "store/db/columns.h"
#include "store/db/schema.h"
#include "store/memory/firstgroup.h"
#include "store/memory/memtable.h"
#include "store/ops/tdmfm.h"

#include <algorithm>

namespace salelookup {

namespace {
QString col(QLatin1StringView name)
{
    return quoteIdentifier(name);
}

// The file groups its NOCASE texts without regard to letter case and hands
// the groups out in that order, empty values first. On a server the same
// groups and order: `columns` grouped and ordered by their ASCII-lowered
// bytes, each shown by the values of its last row, as the file shows it.
// `where` is the condition.
QString distinctOnServer(const QStringList& columns, const QString& where)
{
    const Database::Engine server = Database::Engine::Server;
    QStringList shown, keys, order;
    for (const QString& c : columns) {
        shown << QStringLiteral("(array_agg(%1 order by rowid desc))[1] as %1").arg(c);
        keys << asciiLower(server, c);
        order << asciiLower(server, c) + QLatin1String(" collate \"C\" nulls first");
    }
    return QStringLiteral("select %1 from data1 where %2 group by %3 order by %4")
        .arg(shown.join(QLatin1Char(',')), where, keys.join(QLatin1Char(',')), order.join(QLatin1Char(',')));
}

// Every column of a sale row as the file's `select *` gives them: the
// server's tables add their row identity at the end.
QString saleRowColumns(Database::Engine engine)
{
    if (engine != Database::Engine::Server)
        return QStringLiteral("*");
    QStringList cols;
    for (const QString& c : schema::saleColumns() + schema::keyColumns(QStringLiteral("data1")))
        cols << quoteIdentifier(c);
    return cols.join(QLatin1Char(','));
}

} // namespace

Statement customerByName(const QString& name, Database::Engine engine)
{
    using namespace salecol;
    if (engine == Database::Engine::Server)
        return Statement{distinctOnServer({col(address), col(contact)}, equalsIgnoringCase(engine, col(customer))),
                         {name}};
    return Statement{QStringLiteral("select %1,%2 from data1 where %3=? group by %1,%2")
                         .arg(col(address), col(contact), col(customer)),
                     {name}};
}

Statement customerBySaleNumber(const QString& number, Database::Engine engine)
{
    using namespace salecol;
    if (engine == Database::Engine::Server)
        return Statement{distinctOnServer({col(customer), col(address), col(contact), col(customerRemark)},
                                          equalsIgnoringCase(engine, col(saleNumber))),
                         {number}};
    return Statement{QStringLiteral("select %1,%2,%3,%4 from data1 where %5=? group by %1,%2,%3,%4")
                         .arg(col(customer), col(address), col(contact), col(customerRemark), col(saleNumber)),
                     {number}};
}

Statement slipRows(const QString& fragment, Database::Engine engine)
{
    const QString number = col(salecol::saleNumber);
    const QString pattern = QStringLiteral("%") + fragment + QStringLiteral("%");
    const bool digitsOnly = !fragment.isEmpty() && std::all_of(fragment.cbegin(), fragment.cend(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
    const QString columns = saleRowColumns(engine);
    if (!digitsOnly) {
        // Stored order: the file's scan gives it, a server is told.
        const QString order = engine == Database::Engine::Server ? QStringLiteral(" order by rowid") : QString();
        return Statement{
            QStringLiteral("select %1 from data1 where %2%3").arg(columns, likeIgnoringCase(engine, number), order),
            {pattern}};
    }
    // A number of n characters that contains n given digits is exactly those
    // digits, and a shorter one contains none of them: the rows are those whose
    // number equals the digits, plus the longer numbers that contain them. Both
    // parts are index searches (data1_z, data1_z_length); the longer numbers
    // are usually few. Digits have no case and are no LIKE wildcards, so the
    // equality matches exactly what the LIKE would.
    return Statement{QStringLiteral("select %2 from data1 where rowid in ("
                                    "select rowid from data1 where %1=? union all "
                                    "select rowid from data1 where length(%1)>? and %1 like ?) order by rowid")
                         .arg(number, columns),
                     {fragment, qint64(fragment.size()), pattern}};
}

Result<QueryResult> readSlipRows(Tdmfm& dm, const QString& fragment)
{
    QueryResult rows;
    QString error;
    if (!dm.db().query(slipRows(fragment, dm.db().engine()), &rows, &error))
        return Error::engine(error);
    return rows;
}

namespace {

// The sale table's column index of each name, in the loaded table.
std::vector<int> columnsOf(const MemTable& t, std::initializer_list<QLatin1StringView> names)
{
    std::vector<int> out;
    for (const QLatin1StringView n : names)
        out.push_back(t.columnIndex(QString(n)));
    return out;
}

// The first row of the statement's answer, from the loaded sale table: the
// rows whose `keyColumn` equals `key`, grouped by `shown`; -1 when none.
// The table is made current first (rows of other programs included).
Result<int> firstGroup(Tdmfm& dm, QLatin1StringView keyColumn, const QString& key,
                       std::initializer_list<QLatin1StringView> shown)
{
    SalesLedger& sales = dm.sales();
    if (auto ok = sales.fresh(); !ok)
        return ok.error();
    const MemTable& t = sales.table();
    const int keyAt = t.columnIndex(QString(keyColumn));
    const std::vector<int> columns = columnsOf(t, shown);
    if (keyAt < 0 || std::find(columns.begin(), columns.end(), -1) != columns.end())
        return Error::engine(QStringLiteral("no such column in data1"));
    const QByteArray text = key.toUtf8();
    return firstGroupRow(t, t.positionsEqualTo(keyAt, std::string_view(text.constData(), size_t(text.size()))),
                         columns);
}

} // namespace

// Both lookups run at every key typed: they read the loaded sale table, not
// the file, and answer what the first row of their statement above holds.
Result<std::optional<CustomerDetails>> customerByName(Tdmfm& dm, const QString& name)
{
    using namespace salecol;
    const Result<int> row = firstGroup(dm, customer, name, {address, contact});
    if (!row)
        return row.error();
    if (*row < 0)
        return std::optional<CustomerDetails>();
    const MemTable& t = dm.sales().table();
    const auto text = [&](QLatin1StringView c) { return t.value(*row, t.columnIndex(QString(c))).toString(); };
    return std::optional<CustomerDetails>(CustomerDetails{{}, text(address), text(contact), {}});
}

Result<std::optional<CustomerDetails>> customerBySaleNumber(Tdmfm& dm, const QString& saleNumber)
{
    using namespace salecol;
    const Result<int> row =
        firstGroup(dm, salecol::saleNumber, saleNumber, {customer, address, contact, customerRemark});
    if (!row)
        return row.error();
    if (*row < 0)
        return std::optional<CustomerDetails>();
    const MemTable& t = dm.sales().table();
    const auto text = [&](QLatin1StringView c) { return t.value(*row, t.columnIndex(QString(c))).toString(); };
    return std::optional<CustomerDetails>(
        CustomerDetails{text(customer), text(address), text(contact), text(customerRemark)});
}

} // namespace salelookup
