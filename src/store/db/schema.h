#pragma once

#include <QString>
#include <QStringList>

class Database;

// The four tables of the shop database and their exact columns.
namespace schema {

constexpr int kVersion = 4;

// Column names in table order.
const QStringList& stockColumns(); // table data: 17 columns
const QStringList& saleColumns();  // table data1: 42 columns, ID first
const QStringList& userColumns();  // table userdb
const QStringList& logColumns();   // table rz
// The columns the program keeps for itself in `table`, after the ones above
// (`data`: its key ID, the rowid; `data1`: the stock row of each sale). No
// grid, export or search shows them.
QStringList keyColumns(const QString& table);

// The sales list: every column of `data1` named, so that a table missing one
// of them fails to open with the engine's error.
QString salesListSelect();

// Creates the tables in an empty database and sets the schema version.
bool create(Database& db, QString* error);
// The user who has every right; the delivered database holds it.
QString superAdministrator();

// Creates the tables and the super administrator with the default password "864",
// in one transaction.
bool createDelivered(Database& db, QString* error);
// Creates the delivered database as a new file at `path`: built and synced under
// a temporary name beside it, then renamed into place, so `path` holds either
// nothing or the complete database. Fails when `path` exists.
bool createDeliveredFile(const QString& path, QString* error);
// Brings an older database up to the current version (one step per version).
bool migrate(Database& db, QString* error);
// Lists what is missing or wrong; empty when the database is as the program needs it:
// the engine's integrity check passes, the schema is not newer than this program's,
// every table has its columns (from version 3 also the key columns, `data`'s
// key an autoincrement one) and the super administrator exists.
QStringList check(Database& db);
// Whether the program can work on the open database: every column of the four
// tables can be read and the file can be written (a write is tried and rolled
// back). On failure, false with the engine's text.
bool verifyUsable(Database& db, QString* error);

} // namespace schema
