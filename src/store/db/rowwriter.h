#pragma once

#include "core/result.h"
#include "store/db/preparedstatement.h"

#include <QLatin1StringView>
#include <QList>
#include <QVariant>

class Database;

// Bulk writes of one table through one prepared statement: the statement text
// is built and prepared once, and every row only binds its values and steps.
// A fill of a million rows pays for one statement, not a million. Both run
// inside the caller's transaction; the columns are names the code supplies.

// Appends rows: INSERT INTO table (columns) VALUES (?, …).
class RowInserter final
{
public:
    RowInserter(Database& db, QLatin1StringView table, const QList<QLatin1StringView>& columns);
    // Why the statement could not be prepared; empty when it was.
    const QString& error() const { return m_error; }
    // One row, `values` in the order of the columns; the new row's identity.
    Result<qint64> insert(const QVariantList& values);

private:
    PreparedStatement m_statement;
    QString m_error;
};

// Writes chosen columns of rows picked by identity: UPDATE table SET c=?, … WHERE rowid=?.
class RowUpdater final
{
public:
    RowUpdater(Database& db, QLatin1StringView table, const QList<QLatin1StringView>& columns);
    const QString& error() const { return m_error; }
    // Writes `values` (in the order of the columns) into the row `rowId`; a
    // row that is not there is left unwritten without complaint.
    Result<void> update(qint64 rowId, const QVariantList& values);

private:
    PreparedStatement m_statement;
    QString m_error;
};
