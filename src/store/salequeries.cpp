#include "store/salequeries.h"

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
    return Statement{QStringLiteral("select * from data1 where z like ?"),
                     {QStringLiteral("%") + fragment + QStringLiteral("%")}};
}

} // namespace saleq
