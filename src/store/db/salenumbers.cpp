#include "store/db/salenumbers.h"

#include "store/db/columns.h"
#include "store/db/database.h"
#include "store/db/serversalenumbers.h"

#include <algorithm>

namespace salenumbers {

std::optional<SaleNumber> take(Database& db, const QDate& day, QString* error)
{
    // The server hands out the day's numbers itself, in one statement.
    if (db.server())
        return take(*db.server(), day, error);
    Transaction t(db, Transaction::Lock::Immediate);
    if (!t.begun()) {
        *error = t.error();
        return std::nullopt;
    }
    const QString dayKey = SaleNumber::first(day);
    QueryResult counter;
    if (!db.query(Statement{QStringLiteral("select %1 from %2 where %3=?")
                                .arg(quoteIdentifier(daySequence::sequence), quoteIdentifier(daySequence::table),
                                     quoteIdentifier(daySequence::day)),
                            {dayKey}},
                  &counter, error))
        return std::nullopt;
    qint64 highest = counter.rows.isEmpty() ? 0 : counter.rows.at(0).at(0).toLongLong();

    // Numbers typed by hand may lie beyond the counter. The day's numbers are
    // a range of the sale number index; other texts of that range are skipped.
    QueryResult stored;
    if (!db.query(Statement{QStringLiteral("select distinct %1 from data1 where %1>=? and %1<?")
                                .arg(quoteIdentifier(salecol::saleNumber)),
                            {dayKey, SaleNumber::pastLast(day)}},
                  &stored, error))
        return std::nullopt;
    for (const auto& row : stored.rows) {
        const std::optional<SaleNumber> n = SaleNumber::parse(row.at(0).toString());
        if (n && n->day == day)
            highest = std::max(highest, n->sequence);
    }

    const SaleNumber next{day, highest + 1};
    if (!db.exec(Statement{QStringLiteral("insert or replace into %1 (%2,%3) values (?,?)")
                               .arg(quoteIdentifier(daySequence::table), quoteIdentifier(daySequence::day),
                                    quoteIdentifier(daySequence::sequence)),
                           {dayKey, next.sequence}},
                 error))
        return std::nullopt;
    if (!t.commit(error))
        return std::nullopt;
    return next;
}

} // namespace salenumbers
