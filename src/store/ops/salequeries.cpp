#include "store/ops/salequeries.h"

#include "store/db/columns.h"

#include <algorithm>

namespace saleq {

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

} // namespace saleq
