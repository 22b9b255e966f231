#pragma once

#include "core/salenumber.h"

#include <QDate>
#include <QString>

#include <optional>

class ServerConnection;

namespace salenumbers {

// Takes the next sale number of `day` from the server's day counter, in one
// statement: the counter row of the day is created or advanced under its row
// lock and the new value returned, so tills taking numbers at the same moment
// each get their own. As on the file, the number is also past the highest
// one of that day already stored in a sale row (numbers typed by hand).
// Taken inside a longer transaction, the day's row stays locked until that
// transaction ends, and other tills wait for it: take numbers outside one.
// On failure, nothing with the server's text in *error.
std::optional<SaleNumber> take(ServerConnection& db, const QDate& day, QString* error);

} // namespace salenumbers
