#pragma once

#include "core/result.h"

#include <QString>
#include <QStringList>

#include <functional>

class ServerConnection;

// Moving a shop from its database file to a database server, and comparing
// the two afterwards.
namespace servermigration {

// Called while a copy runs: the table being copied, its rows copied so far
// and its row count. Called at the start and end of each table and every
// 100,000 rows in between.
using Progress = std::function<void(const QString& table, qint64 done, qint64 total)>;

struct Copied
{
    int tables = 0;
    qint64 rows = 0;
};

// Copies the shop file at `filePath` into `db`, which must hold none of the
// shop tables, in one server transaction: the tables of serverschema, then
// every row of every table that both the file and the server schema have.
// Rows keep their identities (the file's rowid becomes `rowid`), and each
// identity counter continues after the highest identity the file ever handed
// out. The file's users replace the delivered super administrator; a file
// without users keeps it.
//
// The file is only read (opened read-only, under one read transaction, so the
// copy is one consistent state of it) and streamed, never held whole. Values
// keep their meaning: numbers as double precision, whole numbers as bigint,
// texts as text, NULL as NULL. A value the server column cannot hold with the
// same meaning (a text in a number column, a fraction where a row identity
// belongs) refuses the whole copy with the table, row identity and column of
// each such value; so does a column of the file the server schema lacks. On
// any failure nothing is left on the server.
Result<Copied> copyFile(const QString& filePath, ServerConnection& db, const Progress& progress = {});

// What is missing or wrong in the shop on the server, as schema::check says
// it for a file: the schema version, the tables and their columns, the super
// administrator. Empty when the shop is complete.
Result<QStringList> checkServer(ServerConnection& db);

// Per table: the row count, the sum of every number column and the count of
// non-NULL values of every text column, on the server and in the file at
// `filePath`. Number sums are added in row identity order on both sides, so
// equal values give equal sums to the last bit. Returns one line per
// difference; empty when both hold the same.
struct Comparison
{
    QStringList differences;
    int tables = 0;
    qint64 rows = 0; // on the server
};
Result<Comparison> compareWithFile(ServerConnection& db, const QString& filePath);

} // namespace servermigration
