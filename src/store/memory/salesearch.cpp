#include "store/memory/salesearch.h"

#include "store/db/columns.h"

namespace salesearch {

namespace {

const QString kSelect = QStringLiteral("select rowid as _rid, * from data1 ");

QString col(QLatin1StringView name)
{
    return quoteIdentifier(name);
}

void addLike(Statement& st, QLatin1StringView column, const QString& text)
{
    if (text.isEmpty())
        return;
    st.sql += QStringLiteral(" and %1 like ?").arg(col(column));
    st.params << QString(QLatin1Char('%') + text + QLatin1Char('%'));
}

Statement conditional(const QString& base, const Conditions& c)
{
    Statement st{kSelect + base, {}};
    using namespace salecol;
    addLike(st, category, c.category);
    addLike(st, nameInitials, c.nameInitials);
    addLike(st, code, c.code);
    addLike(st, modelInitials, c.specInitials);
    addLike(st, customer, c.customer);
    addLike(st, customerRemark, c.remark);
    if (c.byDate) {
        st.sql += QStringLiteral(" and %1>=? and %1<=?").arg(col(saleDate));
        st.params << c.from << c.to;
    }
    st.sql += QStringLiteral(" order by rowid");
    return st;
}

} // namespace

Query thisMonth(const QDate& day)
{
    Query q;
    q.kind = Kind::ThisMonth;
    q.year = day.year();
    q.month = day.month();
    return q;
}

Query all()
{
    Query q;
    q.kind = Kind::All;
    return q;
}

Query search(const Conditions& c)
{
    Query q;
    q.kind = Kind::Search;
    q.conditions = c;
    return q;
}

Query returnSearch(const Conditions& c)
{
    Query q;
    q.kind = Kind::ReturnSearch;
    q.conditions = c;
    return q;
}

Query allReturns()
{
    Query q;
    q.kind = Kind::AllReturns;
    return q;
}

Query saleNumberQuery(const QString& typed)
{
    Query q;
    q.kind = Kind::SaleNumber;
    q.saleNumber = typed.trimmed();
    return q;
}

Statement statement(const Query& q)
{
    const QString day = col(salecol::saleDate);
    const QString quantity = col(salecol::quantity);
    switch (q.kind) {
    case Kind::ThisMonth:
        return Statement{kSelect + QStringLiteral("where %1 like ? and %1 like ? order by rowid").arg(day),
                         {QStringLiteral("%1-%").arg(q.year, 4, 10, QLatin1Char('0')),
                          QStringLiteral("%-%1-%").arg(q.month, 2, 10, QLatin1Char('0'))}};
    case Kind::All:
        return Statement{kSelect + QStringLiteral("order by %1, rowid").arg(day), {}};
    case Kind::Search:
        return conditional(QStringLiteral("where %1>0").arg(quantity), q.conditions);
    case Kind::ReturnSearch:
        return conditional(QStringLiteral("where %1<0").arg(quantity), q.conditions);
    case Kind::AllReturns:
        return Statement{kSelect + QStringLiteral("where %1<0 order by %2, rowid").arg(quantity, day), {}};
    case Kind::SaleNumber:
        return Statement{kSelect + QStringLiteral("where %1 like ? order by rowid").arg(col(salecol::saleNumber)),
                         {QString(QLatin1Char('%') + q.saleNumber + QLatin1Char('%'))}};
    }
    return Statement{};
}

} // namespace salesearch
