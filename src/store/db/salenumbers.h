#pragma once

#include "core/salenumber.h"

#include <QDate>
#include <QString>

#include <optional>

class Database;

namespace salenumbers {

// Takes the next sale number of `day` for a new customer: one past both the
// highest sequence any program has taken for that day and the highest one
// stored in a sale row of that day, recorded before it is returned. Two
// programs on one file, or a program after a crash, never get the same
// number, and a number that holds sales is never offered again.
// On failure, nothing with the engine's text in *error.
std::optional<SaleNumber> take(Database& db, const QDate& day, QString* error);

} // namespace salenumbers
