#include "store/salequeries.h"

#include "store/columns.h"

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
    return Statement{QStringLiteral("select * from data1 where %1 like ?").arg(col(salecol::saleNumber)),
                     {QStringLiteral("%") + fragment + QStringLiteral("%")}};
}

} // namespace saleq
