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

// The shop tables the server database already holds, of those this schema
// makes.
std::optional<QStringList> existingTables(ServerConnection& db, QString* error);
// The schema version recorded in the database; 0 when none is.
std::optional<int> version(ServerConnection& db, QString* error);

// Creates the tables, the version record and the super administrator with
// the default password "864", in one transaction. Refuses a database that
// already holds any of the tables.
bool createDelivered(ServerConnection& db, QString* error);

} // namespace serverschema
