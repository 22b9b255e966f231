#include "store/db/rowwriter.h"

#include "store/db/database.h"

#include <sqlite3.h>

namespace {

QString quotedList(const QList<QLatin1StringView>& names, QLatin1StringView suffix)
{
    QStringList quoted;
    for (const QLatin1StringView name : names)
        quoted << quoteIdentifier(QString(name)) + suffix;
    return quoted.join(QLatin1Char(','));
}

// Binds `values` from the first parameter on, then `last` (when valid) after
// them, runs the statement once and makes it ready for the next row.
Result<void> runOnce(PreparedStatement& st, const QString& prepareError, const QVariantList& values,
                     const QVariant& last = QVariant())
{
    if (!st.isValid())
        return Error::engine(prepareError);
    const int expected = sqlite3_bind_parameter_count(st.get()) - (last.isValid() ? 1 : 0);
    if (values.size() != expected)
        return Error::engine(QStringLiteral("Statement expects %1 values, %2 given").arg(expected).arg(values.size()));
    int index = 1;
    for (const QVariant& v : values)
        if (!st.bind(index++, v))
            return Error::engine(st.engineError());
    if (last.isValid() && !st.bind(index, last))
        return Error::engine(st.engineError());
    const int rc = sqlite3_step(st.get());
    // Reset at once: a statement left stepping would hold its read of the table.
    sqlite3_reset(st.get());
    if (rc != SQLITE_DONE)
        return Error::engine(st.engineError());
    return {};
}

} // namespace

RowInserter::RowInserter(Database& db, QLatin1StringView table, const QList<QLatin1StringView>& columns)
{
    QStringList marks;
    for (qsizetype i = 0; i < columns.size(); ++i)
        marks << QStringLiteral("?");
    const QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                            .arg(quoteIdentifier(QString(table)), quotedList(columns, QLatin1StringView()),
                                 marks.join(QLatin1Char(',')));
    m_statement = PreparedStatement(db.handle(), QByteArrayView(sql.toUtf8()), &m_error);
}

Result<qint64> RowInserter::insert(const QVariantList& values)
{
    if (const Result<void> done = runOnce(m_statement, m_error, values); !done)
        return done.error();
    return qint64(sqlite3_last_insert_rowid(m_statement.connection()));
}

RowUpdater::RowUpdater(Database& db, QLatin1StringView table, const QList<QLatin1StringView>& columns)
{
    const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE rowid=?")
                            .arg(quoteIdentifier(QString(table)), quotedList(columns, QLatin1StringView("=?")));
    m_statement = PreparedStatement(db.handle(), QByteArrayView(sql.toUtf8()), &m_error);
}

Result<void> RowUpdater::update(qint64 rowId, const QVariantList& values)
{
    return runOnce(m_statement, m_error, values, QVariant(rowId));
}
