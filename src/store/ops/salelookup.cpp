#include "store/ops/salelookup.h"

#include "store/db/columns.h"
#include "store/db/schema.h"
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
// bytes, each shown by one of its spellings. `where` is the condition.
QString distinctOnServer(const QStringList& columns, const QString& where)
{
    const Database::Engine server = Database::Engine::Server;
    QStringList shown, keys, order;
    for (const QString& c : columns) {
        shown << QStringLiteral("min(%1) as %1").arg(c);
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

// The first row of a statement, nullopt when it has none.
Result<std::optional<QVector<QVariant>>> firstRow(Tdmfm& dm, const Statement& st)
{
    QueryResult rows;
    QString error;
    if (!dm.db().query(st, &rows, &error))
        return Error::engine(error);
    if (rows.rows.isEmpty())
        return std::optional<QVector<QVariant>>();
    return std::optional<QVector<QVariant>>(rows.rows.first());
}

} // namespace

Result<std::optional<CustomerDetails>> customerByName(Tdmfm& dm, const QString& name)
{
    const auto row = firstRow(dm, customerByName(name, dm.db().engine()));
    if (!row)
        return row.error();
    if (!*row)
        return std::optional<CustomerDetails>();
    return std::optional<CustomerDetails>(CustomerDetails{{}, (*row)->at(0).toString(), (*row)->at(1).toString(), {}});
}

Result<std::optional<CustomerDetails>> customerBySaleNumber(Tdmfm& dm, const QString& saleNumber)
{
    const auto row = firstRow(dm, customerBySaleNumber(saleNumber, dm.db().engine()));
    if (!row)
        return row.error();
    if (!*row)
        return std::optional<CustomerDetails>();
    const QVector<QVariant>& r = **row;
    return std::optional<CustomerDetails>(
        CustomerDetails{r.at(0).toString(), r.at(1).toString(), r.at(2).toString(), r.at(3).toString()});
}

} // namespace salelookup
