#include "store/stockqueries.h"

namespace stockq {

namespace {
const QString kSelect = QStringLiteral("select rowid as _rid, * from data ");

QString baseCondition(ZeroStock zero)
{
    // With zero stock hidden, rows whose stock is negative stay listed.
    return zero == ZeroStock::Hidden ? QStringLiteral("where [7]<>0 ") : QStringLiteral("where [2]>0 ");
}

void addLike(Statement& st, const QString& column, const QString& text)
{
    if (text.isEmpty())
        return;
    st.sql += QStringLiteral(" and %1 like ?").arg(column);
    st.params << QString(QLatin1Char('%') + text + QLatin1Char('%'));
}
} // namespace

Statement listAll(ZeroStock zero)
{
    return Statement{kSelect + (zero == ZeroStock::Hidden ? baseCondition(zero) : QString()) +
                         QStringLiteral("order by day1, rowid"),
                     {}};
}

Statement search(ZeroStock zero, const Conditions& c)
{
    Statement st{kSelect + baseCondition(zero), {}};
    addLike(st, QStringLiteral("d"), c.category);
    addLike(st, QStringLiteral("e"), c.nameInitials);
    addLike(st, QStringLiteral("f"), c.specInitials);
    addLike(st, QStringLiteral("c"), c.code);
    addLike(st, QStringLiteral("z"), c.remark);
    addLike(st, QStringLiteral("g"), c.supplier);
    if (c.byDate) {
        st.sql += QStringLiteral(" and day1>=? and day1<=?");
        st.params << c.from << c.to;
    }
    return st;
}

} // namespace stockq
