#pragma once

#include "core/result.h"
#include "store/db/backup.h"

#include <QDateTime>
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
// `progress` is told the bytes of the dump written so far (no total), then its check.
Result<void> dumpTo(const QString& database, const QString& target, const backup::Progress& progress = {});

// Whether `file` is a backup of a shop database: empty when it is, else why not.
QString problemOf(const QString& file);

// Replaces the shop's tables in `database` by those of the backup `source`:
// refused unless the backup passes problemOf(); the shop as it is now is
// first backed up to `safetyCopy` (dumpTo), and nothing is restored unless
// that succeeded; restored in one transaction; the shop is checked afterwards
// as the program opens it. Other programs connected to the shop read their
// tables again when they next connect.
// `progress` is told the safety copy's bytes (Step::Keep), then the restore
// (Step::Copy, no counts) and the check.
Result<void> restore(const QString& source, const QString& database, const QString& safetyCopy,
                     const backup::Progress& progress = {});

// "shop-before-restore-2026-12-10-093015.backup" in `folder`.
QString safetyCopyName(const QString& folder, const QDateTime& at);

} // namespace serverbackup
