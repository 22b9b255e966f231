#include "store/db/serverschema.h"

#include "store/db/columns.h"
#include "store/db/passwordhash.h"
#include "store/db/schema.h"
#include "store/db/serverclerk.h"
#include "store/db/serverconnection.h"

namespace serverschema {

namespace {

const QLatin1StringView kRowId{"rowid"};

QString quoted(const QString& name)
{
    QString q = name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

// The file's REAL columns: `a5` and the digit names.
bool isNumberColumn(const QString& name)
{
    return name == QLatin1String("a5") || (name.size() == 1 && name.at(0).isDigit());
}

// `columns` in order, then the row identity. `key` names the column that the
// file makes of its rowid: here a column generated from `rowid`.
QString createTable(const QString& table, const QStringList& columns, const QString& key)
{
    QStringList defs;
    for (const QString& c : columns) {
        if (c == key)
            defs << quoted(c) + QStringLiteral(" bigint GENERATED ALWAYS AS (%1) STORED").arg(kRowId);
        else if (c == salecol::stockRowId)
            defs << quoted(c) + QLatin1String(" bigint");
        else if (isNumberColumn(c))
            defs << quoted(c) + QLatin1String(" double precision");
        else
            defs << quoted(c) + QLatin1String(" text");
    }
    defs << QString(kRowId) + QLatin1String(" bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY");
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(quoted(table), defs.join(QLatin1String(", ")));
}

QStringList shopTables()
{
    return {QStringLiteral("data"),      QStringLiteral("data1"),          QStringLiteral("userdb"),
            QStringLiteral("rz"),        QString(daySequence::table), QString(failedLogin::table),
            versionTable()};
}

QStringList createStatements()
{
    const QString number = quoted(QString(salecol::saleNumber));
    return {
        createTable(QStringLiteral("data"), QStringList{stockcol::id} + schema::stockColumns(), stockcol::id),
        createTable(QStringLiteral("data1"), schema::saleColumns() + schema::keyColumns(QStringLiteral("data1")),
                    salecol::id),
        createTable(QStringLiteral("userdb"), schema::userColumns(), QString()),
        createTable(QStringLiteral("rz"), schema::logColumns(), QStringLiteral("id")),
        createTable(QString(failedLogin::table),
                    {QString(failedLogin::id), QString(failedLogin::name), QString(failedLogin::at)}, failedLogin::id),
        QStringLiteral("CREATE TABLE %1 (%2 text PRIMARY KEY, %3 bigint NOT NULL)")
            .arg(quoted(QString(daySequence::table)), quoted(QString(daySequence::day)),
                 quoted(QString(daySequence::sequence))),
        QStringLiteral("CREATE TABLE %1 (version integer NOT NULL)").arg(quoted(versionTable())),
        // The stock list is read in stock-in date order; the sales windows
        // filter by sale date and look sale numbers up by equality and length.
        QStringLiteral("CREATE INDEX data_day1 ON data (%1)").arg(quoted(QString(stockcol::stockInDate))),
        QStringLiteral("CREATE INDEX data1_day1 ON data1 (%1)").arg(quoted(QString(salecol::saleDate))),
        QStringLiteral("CREATE INDEX data1_z ON data1 (%1)").arg(number),
        QStringLiteral("CREATE INDEX data1_z_length ON data1 (length(%1))").arg(number),
        // A day's sale numbers are a range in byte order, whatever the
        // database's own text order (which may pass over punctuation).
        QStringLiteral("CREATE INDEX data1_z_bytes ON data1 (%1 COLLATE \"C\")").arg(number),
        // Every till keeps copies of these two tables in memory: each row
        // written is told to all of them when its transaction commits
        // (notifications of one transaction are delivered at its commit, and
        // only once for the same row).
        QStringLiteral("CREATE FUNCTION tarvik_note_row() RETURNS trigger LANGUAGE plpgsql AS $$\n"
                       "BEGIN\n"
                       "  IF TG_OP = 'DELETE' THEN\n"
                       "    PERFORM pg_notify('%1', TG_TABLE_NAME || ' ' || OLD.rowid);\n"
                       "    RETURN OLD;\n"
                       "  END IF;\n"
                       "  PERFORM pg_notify('%1', TG_TABLE_NAME || ' ' || NEW.rowid);\n"
                       "  RETURN NEW;\n"
                       "END\n"
                       "$$")
            .arg(rowsChannel()),
        QStringLiteral("CREATE TRIGGER data_noted AFTER INSERT OR UPDATE OR DELETE ON data "
                       "FOR EACH ROW EXECUTE FUNCTION tarvik_note_row()"),
        QStringLiteral("CREATE TRIGGER data1_noted AFTER INSERT OR UPDATE OR DELETE ON data1 "
                       "FOR EACH ROW EXECUTE FUNCTION tarvik_note_row()"),
    };
}

} // namespace

QString versionTable()
{
    return QStringLiteral("schemaversion");
}

QString rowsChannel()
{
    return QStringLiteral("tarvik_rows");
}

bool hasRowIdentity(const QString& table)
{
    static const QStringList tables{QStringLiteral("data"), QStringLiteral("data1"), QStringLiteral("userdb"),
                                    QStringLiteral("rz"), QString(failedLogin::table)};
    return tables.contains(table, Qt::CaseInsensitive);
}

bool verifyUsable(ServerConnection& db, QString* error)
{
    const std::optional<int> found = version(db, error);
    if (!found)
        return false;
    if (*found != schema::kVersion) {
        *error = QStringLiteral("the server database has schema version %1; this program works on version %2")
                     .arg(*found)
                     .arg(schema::kVersion);
        return false;
    }
    // The same column lists the file is checked with: a missing table or
    // column gives the server's own words.
    const QList<std::pair<QString, QStringList>> tables{
        {QStringLiteral("data"), schema::stockColumns() + schema::keyColumns(QStringLiteral("data"))},
        {QStringLiteral("data1"), schema::saleColumns() + schema::keyColumns(QStringLiteral("data1"))},
        {QStringLiteral("userdb"), schema::userColumns()},
        {QStringLiteral("rz"), schema::logColumns()},
    };
    for (const auto& [table, columns] : tables) {
        QStringList quotedColumns;
        for (const QString& c : columns)
            quotedColumns << quoted(c);
        if (!db.exec(Statement{QStringLiteral("SELECT %1 FROM %2 LIMIT 0")
                                   .arg(quotedColumns.join(QLatin1Char(',')), quoted(table)),
                               {}},
                     error))
            return false;
    }
    return true;
}

std::optional<QStringList> existingTables(ServerConnection& db, QString* error)
{
    QStringList marks;
    QVariantList names;
    for (const QString& t : shopTables()) {
        marks << QStringLiteral("?");
        names << t;
    }
    QueryResult r;
    if (!db.query(Statement{QStringLiteral("SELECT table_name FROM information_schema.tables "
                                           "WHERE table_schema = current_schema() AND table_name IN (%1) "
                                           "ORDER BY table_name")
                                .arg(marks.join(QLatin1Char(','))),
                            names},
                  &r, error))
        return std::nullopt;
    QStringList out;
    for (const auto& row : r.rows)
        out << row.at(0).toString();
    return out;
}

std::optional<int> version(ServerConnection& db, QString* error)
{
    // Looked up by name as the statements below find it: a till of ordinary
    // users finds its views first and the version table beside the tables.
    QueryResult r;
    if (!db.query(Statement{QStringLiteral("SELECT to_regclass(?) IS NOT NULL"), {versionTable()}}, &r, error))
        return std::nullopt;
    if (r.rows.isEmpty() || r.rows.at(0).at(0).toLongLong() == 0)
        return 0;
    if (!db.query(Statement{QStringLiteral("SELECT max(version) FROM %1").arg(quoted(versionTable())), {}}, &r, error))
        return std::nullopt;
    return r.rows.isEmpty() ? 0 : int(r.rows.at(0).at(0).toLongLong());
}

bool createDelivered(ServerConnection& db, QString* error)
{
    ServerTransaction t(db);
    if (!t.begun()) {
        *error = t.error();
        return false;
    }
    const std::optional<QStringList> existing = existingTables(db, error);
    if (!existing)
        return false;
    if (!existing->isEmpty()) {
        *error = QStringLiteral("the database already holds the tables %1; it was left as it is")
                     .arg(existing->join(QLatin1String(", ")));
        return false;
    }
    // With the tables, what the tills of ordinary users read and call.
    for (const QString& sql : createStatements() + serverclerk::objectStatements())
        if (!db.exec(sql, error))
            return false;
    return db.exec(Statement{QStringLiteral("INSERT INTO %1 (version) VALUES (?)").arg(quoted(versionTable())),
                             {qint64(schema::kVersion)}},
                   error) &&
           db.exec(Statement{QStringLiteral("INSERT INTO userdb (username, passwd) VALUES (?, ?)"),
                             {schema::superAdministrator(), hashPassword(QStringLiteral("864"))}},
                   error) &&
           t.commit(error);
}

} // namespace serverschema
