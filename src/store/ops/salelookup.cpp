#include "store/ops/salelookup.h"

#include "store/db/columns.h"
#include "store/ops/tdmfm.h"

#include <algorithm>

namespace salelookup {

namespace {
QString col(QLatin1StringView name)
{
    return quoteIdentifier(name);
}
} // namespace

Statement customerByName(const QString& name)
{
    using namespace salecol;
    return Statement{QStringLiteral("select %1,%2 from data1 where %3=? group by %1,%2")
                         .arg(col(address), col(contact), col(customer)),
                     {name}};
}

Statement customerBySaleNumber(const QString& saleNumber)
{
    return Statement{QStringLiteral("select %1,%2,%3,%4 from data1 where %5=? group by %1,%2,%3,%4")
                         .arg(col(salecol::customer), col(salecol::address), col(salecol::contact),
                              col(salecol::customerRemark), col(salecol::saleNumber)),
                     {saleNumber}};
}

Statement slipRows(const QString& fragment)
{
    const QString number = col(salecol::saleNumber);
    const QString pattern = QStringLiteral("%") + fragment + QStringLiteral("%");
    const bool digitsOnly = !fragment.isEmpty() && std::all_of(fragment.cbegin(), fragment.cend(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
    if (!digitsOnly)
        return Statement{QStringLiteral("select * from data1 where %1 like ?").arg(number), {pattern}};
    // A number of n characters that contains n given digits is exactly those
    // digits, and a shorter one contains none of them: the rows are those whose
    // number equals the digits, plus the longer numbers that contain them. Both
    // parts are index searches (data1_z, data1_z_length); the longer numbers
    // are usually few. Digits have no case and are no LIKE wildcards, so the
    // equality matches exactly what the LIKE would.
    return Statement{QStringLiteral("select * from data1 where rowid in ("
                                    "select rowid from data1 where %1=? union all "
                                    "select rowid from data1 where length(%1)>? and %1 like ?) order by rowid")
                         .arg(number),
                     {fragment, qint64(fragment.size()), pattern}};
}

Result<QueryResult> readSlipRows(Tdmfm& dm, const QString& fragment)
{
    QueryResult rows;
    QString error;
    if (!dm.db().query(slipRows(fragment), &rows, &error))
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
    const auto row = firstRow(dm, customerByName(name));
    if (!row)
        return row.error();
    if (!*row)
        return std::optional<CustomerDetails>();
    return std::optional<CustomerDetails>(CustomerDetails{{}, (*row)->at(0).toString(), (*row)->at(1).toString(), {}});
}

Result<std::optional<CustomerDetails>> customerBySaleNumber(Tdmfm& dm, const QString& saleNumber)
{
    const auto row = firstRow(dm, customerBySaleNumber(saleNumber));
    if (!row)
        return row.error();
    if (!*row)
        return std::optional<CustomerDetails>();
    const QVector<QVariant>& r = **row;
    return std::optional<CustomerDetails>(
        CustomerDetails{r.at(0).toString(), r.at(1).toString(), r.at(2).toString(), r.at(3).toString()});
}

} // namespace salelookup
