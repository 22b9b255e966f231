#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

class Database;

// Copies of the shop database that can be trusted: a backup is consistent
// even while the program works on the file (the file's pages are copied under
// a read lock that keeps writers out, or, for a database that keeps a
// write-ahead log, with the engine's online backup), and every copy is opened
// and checked under a temporary name before it is renamed into place. A kill at any moment leaves the target as it was
// or the complete, checked copy.
namespace backup {

// How far a backup or restore has come, told now and then from the thread it
// runs on: the bytes (or pages) of the copy written of `total`, then the check
// of the copy (no counts), and for a restore the keeping of the former file.
enum class Step { Copy, Check, Keep };
using Progress = std::function<void(Step step, qint64 done, qint64 total)>;

// Copies the open database to `target`. The copy is written beside the
// target, synced, checked (it opens with the database password, passes the
// engine's integrity check, has the four tables with their columns and the
// super administrator, and its schema is not newer than this program's) and
// renamed over the target, which it replaces when it exists. A symbolic link
// is followed: the file it leads to is replaced. Only a regular file is ever
// replaced: a folder, named pipe, device or socket is refused, and so is the
// database file itself (or one of its journal files). On failure false with
// the reason (a failed write names the file and the system's reason, "No
// space left on device"); the target is left as it was.
bool copyTo(Database& db, const QString& target, QString* error, const Progress& progress = {});

// Removes the temporary files that killed backups, restores and inits left
// beside the database file `dbPath` (see NewDatabaseFile::removeStale).
// Returns how many files were removed.
int removeLeftovers(const QString& dbPath);

// Replaces the database file `dbPath`, whose connections must be closed, by
// the backup `source`:
//  1. a copy of `source` is written beside `dbPath` and checked as above;
//     a file that fails the check changes nothing;
//  2. the current file is kept beside it as a dated safety copy
//     (safetyCopyName), together with any journal the engine left, so no
//     journal of the old file can ever be applied to the new one;
//  3. the checked copy is renamed over `dbPath` and the folder synced.
// *safetyCopy names the safety copy (empty when there was no database file).
// The backup is only read, as an unchanging file: nothing is written beside
// it, and one on read-only media restores as well.
// On failure false with the reason, and `dbPath` still holds the former file;
// a failed write names the file and the system's reason, never the backup.
bool restore(const QString& source, const QString& dbPath, QString* safetyCopy, QString* error,
             const Progress& progress = {});

// "data-before-restore-2026-12-10-093015.mdb" beside "data.mdb".
QString safetyCopyName(const QString& dbPath, const QDateTime& at);

} // namespace backup
