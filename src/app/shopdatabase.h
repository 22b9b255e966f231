#pragma once

#include "store/db/shoplocation.h"

#include <QString>
#include <QStringList>

#include <optional>

class Tdmfm;

// Which database the program opens in its shop folder, and opening it.
//
// The shop's database is data.mdb unless a server is named: by
// `--database CONNINFO-OR-SERVICE` on the command line, or by the one line of
// the shop folder's database.conf (a libpq connection string, a postgresql://
// address or a service name of pg_service.conf). Passwords belong in
// ~/.pgpass: database.conf holding one is refused.
namespace shopdatabase {

// The file in the shop folder that names a server database.
QString configFileName();

// The program's arguments with `--database X` (or `--database=X`) taken out.
struct Arguments
{
    QStringList rest;                // what is left, in order (the shop folder)
    std::optional<QString> database; // the server named on the command line
    QString error;                   // set when `--database` has no value
};
Arguments parse(const QStringList& arguments);

// The database of the shop folder, which is the current folder:
// `fromCommandLine` when given, else what database.conf names, else
// data.mdb. nullopt with *error when database.conf cannot be read or holds a
// password.
std::optional<ShopLocation> choose(const std::optional<QString>& fromCommandLine, QString* error);

// Opens the shop for the program. A server that cannot be reached is said
// with the choice to try again or to end the program; any other failure is
// shown. False when the program is to end.
bool open(Tdmfm& dm, const ShopLocation& location);

} // namespace shopdatabase
