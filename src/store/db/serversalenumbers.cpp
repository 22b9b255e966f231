#include "store/db/serversalenumbers.h"

#include "store/db/columns.h"
#include "store/db/serverconnection.h"

#include <algorithm>

namespace salenumbers {

std::optional<SaleNumber> take(ServerConnection& db, const QDate& day, QString* error)
{
    const QString dayKey = SaleNumber::first(day);
    // The day's numbers are a byte-order range of the sale number index;
    // other texts of that range are skipped.
    QueryResult stored;
    if (!db.query(Statement{QStringLiteral("SELECT DISTINCT [%1] FROM data1 WHERE [%1] COLLATE \"C\" >= ? AND [%1] "
                                           "COLLATE \"C\" < ?")
                                .arg(salecol::saleNumber),
                            {dayKey, SaleNumber::pastLast(day)}},
                  &stored, error))
        return std::nullopt;
    qint64 highestStored = 0;
    for (const auto& row : stored.rows) {
        const std::optional<SaleNumber> n = SaleNumber::parse(row.at(0).toString());
        if (n && n->day == day)
            highestStored = std::max(highestStored, n->sequence);
    }
    QueryResult taken;
    if (!db.query(Statement{QStringLiteral("INSERT INTO [%1] AS counter ([%2], [%3]) VALUES (?, ?) "
                                           "ON CONFLICT ([%2]) DO UPDATE SET [%3] = "
                                           "greatest(counter.[%3] + 1, excluded.[%3]) RETURNING [%3]")
                                .arg(daySequence::table, daySequence::day, daySequence::sequence),
                            {dayKey, highestStored + 1}},
                  &taken, error))
        return std::nullopt;
    if (taken.rows.size() != 1) {
        *error = QStringLiteral("The day counter returned no number");
        return std::nullopt;
    }
    return SaleNumber{day, taken.rows.at(0).at(0).toLongLong()};
}

} // namespace salenumbers
