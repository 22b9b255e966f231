#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class ServerConnection;

// What the tills of ordinary users may read and write on a shop server.
//
// Ordinary users never see purchase prices, purchase and stock amounts or
// profits. Their tills connect with a role of their own (a "clerk role") whose
// search_path starts with the schema clerkSchema(): there `data` and `data1`
// are views with the tables' columns in the tables' order, the hidden columns
// given as NULL, so the program's statements run unchanged and read nothing
// they must not. The role has no privilege on the tables themselves. Its
// `userdb` leaves out the super administrator, who cannot log in there. A sale
// needs the purchase price (stock amount, profit), so a clerk role sells
// through saleFunction(), which runs as the tables' owner and computes the
// figures exactly as the program does (saleops::recordSale).
namespace serverclerk {

// The schema of the views.
QString clerkSchema();
// The name of the sale function, unqualified (it lives beside the tables).
QString saleFunction();
// Its call, with `?` for each argument in the order of saleFunctionArguments.
QString saleFunctionCall();

// The statements that make (or make again, unchanged) the schema, the views
// and the functions. Part of the shop's tables on a server (serverschema).
QStringList objectStatements();

// The SQLSTATEs the sale function fails with.
namespace state {
inline constexpr QLatin1StringView stockRowGone{"TK001"};    // no stock row with that identity
inline constexpr QLatin1StringView stockRowChanged{"TK002"}; // its texts are no longer those read
inline constexpr QLatin1StringView notANumber{"TK003"};      // message: "figure:" and the figure's general text
inline constexpr QLatin1StringView shortage{"TK004"};        // message: the stock quantity stored
inline constexpr QLatin1StringView outOfRange{
    "TK005"}; // message: "<column> <value>", the value left out for the stock amount
} // namespace state

// A long double exactly, as the sale function reads its figures: "[-]MpE",
// the value M × 2^E with a whole M ("-0p0" for a negative zero).
QString binaryText(long double v);

// Grants the existing role `role` what the tills of ordinary users need, and
// nothing on the stock and sale tables themselves; makes the views and
// functions first when the database lacks them (a shop made before them) and
// sets the role's search_path in this database. Refuses a role that does not
// exist, a superuser and a role that owns (or is a member of the owner of)
// the shop's tables. Running it again changes nothing. On failure false with
// an English text for the admin tool.
bool grantClerkRole(ServerConnection& db, const QString& role, QString* error);

// The roles grantClerkRole() made tills' roles in this database: those whose
// search_path here starts with clerkSchema(). A restore replaces the views
// and functions without their privileges and grants them again.
std::optional<QStringList> clerkRoles(ServerConnection& db, QString* error);

} // namespace serverclerk
