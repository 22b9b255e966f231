#include "store/memory/stockqueries.h"

#include "store/db/columns.h"

namespace stockq {

namespace {
const QString kSelect = QStringLiteral("select rowid as _rid, * from data ");

QString baseCondition(ZeroStock zero)
{
    // With zero stock hidden, rows whose stock is negative stay listed.
    return zero == ZeroStock::Hidden ? QStringLiteral("where %1<>0 ").arg(quoteIdentifier(stockcol::stockQuantity))
                                     : QStringLiteral("where %1>0 ").arg(quoteIdentifier(stockcol::quantityIn));
}

void addLike(Statement& st, QLatin1StringView column, const QString& text)
{
    if (text.isEmpty())
        return;
    st.sql += QStringLiteral(" and %1 like ?").arg(quoteIdentifier(column));
    st.params << QString(QLatin1Char('%') + text + QLatin1Char('%'));
}
} // namespace

Statement listAll(ZeroStock zero)
{
    return Statement{kSelect + (zero == ZeroStock::Hidden ? baseCondition(zero) : QString()) +
                         QStringLiteral("order by %1, rowid").arg(quoteIdentifier(stockcol::stockInDate)),
                     {}};
}

Statement search(ZeroStock zero, const Conditions& c)
{
    Statement st{kSelect + baseCondition(zero), {}};
    addLike(st, stockcol::category, c.category);
    addLike(st, stockcol::nameInitials, c.nameInitials);
    addLike(st, stockcol::modelInitials, c.specInitials);
    addLike(st, stockcol::code, c.code);
    addLike(st, stockcol::remark, c.remark);
    addLike(st, stockcol::supplier, c.supplier);
    if (c.byDate) {
        const QString day = quoteIdentifier(stockcol::stockInDate);
        st.sql += QStringLiteral(" and %1>=? and %1<=?").arg(day);
        st.params << c.from << c.to;
    }
    return st;
}

} // namespace stockq
