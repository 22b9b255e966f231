#pragma once

#include <QString>
#include <QStringList>

class Database;

// The four tables of the shop database and their exact columns.
namespace schema {

constexpr int kVersion = 1;

// Column names in table order.
const QStringList& stockColumns(); // table data: 17 columns
const QStringList& saleColumns();  // table data1: 42 columns, ID first
const QStringList& userColumns();  // table userdb
const QStringList& logColumns();   // table rz

// The sales list: every column of `data1` named, so that a table missing one
// of them fails to open with the engine's error.
QString salesListSelect();

// Creates the tables in an empty database and sets the schema version.
bool create(Database& db, QString* error);
// Creates the tables and the super administrator with the default password "864".
bool createDelivered(Database& db, QString* error);
// Brings an older database up to the current version (one step per version).
bool migrate(Database& db, QString* error);
// Lists what is missing or wrong; empty when the database is as the program needs it.
QStringList check(Database& db);

} // namespace schema
