#include "store/salequeries.h"

#include <algorithm>

namespace saleq {

Statement customerByName(const QString& name)
{
    return Statement{QStringLiteral("select h,i from data1 where g=? group by h,i"), {name}};
}

Statement customerBySaleNumber(const QString& saleNumber)
{
    return Statement{QStringLiteral("select g,h,i,j from data1 where z=? group by g,h,i,j"), {saleNumber}};
}

Statement slipRows(const QString& fragment)
{
    const QString pattern = QStringLiteral("%") + fragment + QStringLiteral("%");
    const bool digitsOnly = !fragment.isEmpty() && std::all_of(fragment.cbegin(), fragment.cend(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
    if (!digitsOnly)
        return Statement{QStringLiteral("select * from data1 where z like ?"), {pattern}};
    // A number of n characters that contains n given digits is exactly those
    // digits, and a shorter one contains none of them: the rows are those whose
    // number equals the digits, plus the longer numbers that contain them. Both
    // parts are index searches (data1_z, data1_z_length); the longer numbers
    // are usually few. Digits have no case and are no LIKE wildcards, so the
    // equality matches exactly what the LIKE would.
    return Statement{QStringLiteral("select * from data1 where rowid in ("
                                    "select rowid from data1 where z=? union all "
                                    "select rowid from data1 where length(z)>? and z like ?) order by rowid"),
                     {fragment, qint64(fragment.size()), pattern}};
}

} // namespace saleq
