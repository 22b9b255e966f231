#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class ServerConnection;

// The shop's tables on a database server: the four tables of schema.h with
// the same columns in the same order, the sale numbers' day counters and the
// failed logins, at the same schema version (schema::kVersion).
//
// Numbers are double precision, texts and dates text. Every table ends in a
// hidden row identity `rowid` (bigint, generated always as identity, the
// primary key), handed out once and never again, so that statements that
// name `rowid` read the same on both engines. A key the file makes of its
// rowid (`ID` of data and data1, `id` of rz and of the failed logins) is a
// column generated from `rowid`, always equal to it.
namespace serverschema {

// The table that holds the schema version, in its one row.
QString versionTable();

// The channel on which the server tells every listening connection, at each
// commit, which rows of the stock and sale tables it wrote: one notification
// per row, "table rowid" (triggers on `data` and `data1`).
QString rowsChannel();
// Whether `table` is one of the shop tables with the hidden `rowid`.
bool hasRowIdentity(const QString& table);

// The shop tables the server database already holds, of those this schema
// makes.
std::optional<QStringList> existingTables(ServerConnection& db, QString* error);
// The schema version recorded in the database; 0 when none is.
std::optional<int> version(ServerConnection& db, QString* error);

// Checks that the program can work on the open server database: the schema
// version is this program's, and every column of the four shop tables can be
// read. On failure, false with the server's text or the version found.
bool verifyUsable(ServerConnection& db, QString* error);

// Creates the tables, the version record and the super administrator with
// the default password "864", in one transaction. Refuses a database that
// already holds any of the tables.
bool createDelivered(ServerConnection& db, QString* error);

} // namespace serverschema
