#pragma once

#include "core/result.h"

#include <QString>

// Backups of a shop database on a server, made and read by the server's own
// tools (pg_dump's custom format, pg_restore), trusted as the file's backups
// are: a backup is written under a temporary name beside the target, checked
// (pg_restore can read it, and it holds the rows of the four shop tables) and
// only then renamed over the target; a restore checks the backup first and
// replaces the shop in one transaction, so a failure leaves the shop as it was.
namespace serverbackup {

// A consistent copy of the shop `database` (as ServerConnection::open takes
// it) in `target`; a regular file there is replaced, anything else refused.
Result<void> dumpTo(const QString& database, const QString& target);

// Whether `file` is a backup of a shop database: empty when it is, else why not.
QString problemOf(const QString& file);

// Replaces the shop's tables in `database` by those of the backup `source`:
// refused unless the backup passes problemOf(); restored in one transaction;
// the shop is checked afterwards as the program opens it. Other programs
// connected to the shop read their tables again when they next connect.
Result<void> restore(const QString& source, const QString& database);

} // namespace serverbackup
