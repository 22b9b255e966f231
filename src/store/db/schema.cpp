#include "store/db/schema.h"

#include "store/db/columns.h"
#include "store/db/database.h"
#include "store/db/newdatabasefile.h"
#include "store/db/passwordhash.h"
#include "store/db/serverschema.h"

#include <array>

namespace schema {

namespace {

QStringList letters(char from, char to)
{
    QStringList out;
    for (char c = from; c <= to; ++c)
        out << QString(QLatin1Char(c));
    return out;
}

bool isNumberColumn(const QString& name)
{
    return name == QLatin1String("a5") || (name.size() == 1 && name.at(0).isDigit());
}

QString columnDefinition(const QString& name)
{
    if (name == salecol::stockRowId)
        return quoteIdentifier(name) + QLatin1String(" INTEGER");
    if (isNumberColumn(name))
        return quoteIdentifier(name) + QLatin1String(" REAL");
    // Texts and dates compare without regard to letter case, so lists group
    // "Nike" and "NIKE" into one value and user names match in any case.
    return quoteIdentifier(name) + QLatin1String(" TEXT COLLATE NOCASE");
}

QString createTable(const QString& table, const QStringList& columns, const QString& autoKey)
{
    QStringList defs;
    for (const QString& c : columns) {
        if (c == autoKey)
            defs << quoteIdentifier(c) + QLatin1String(" INTEGER PRIMARY KEY AUTOINCREMENT");
        else
            defs << columnDefinition(c);
    }
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(quoteIdentifier(table), defs.join(QLatin1String(", ")));
}

QStringList tableColumns(Database& db, const QString& table, QString* error)
{
    QueryResult r;
    if (!db.query(Statement{QStringLiteral("PRAGMA table_info(%1)").arg(quoteIdentifier(table)), {}}, &r, error))
        return {};
    const int name = int(r.columns.indexOf(QStringLiteral("name")));
    QStringList out;
    for (const auto& row : r.rows)
        out << row.at(name).toString();
    return out;
}

// The slip looks sale numbers up by equality, and by containment only among
// the numbers longer than the one asked for (see salelookup::slipRows).
QStringList saleNumberIndexes()
{
    const QString number = quoteIdentifier(salecol::saleNumber);
    return {QStringLiteral("CREATE INDEX IF NOT EXISTS data1_z ON data1(%1)").arg(number),
            QStringLiteral("CREATE INDEX IF NOT EXISTS data1_z_length ON data1(length(%1))").arg(number)};
}

// The stock table with its never-reused key first, then the user columns and
// any `extra` definitions an older file carried.
QString createStockTable(const QString& table, const QStringList& extra = {})
{
    QString sql = createTable(table, QStringList{stockcol::id} + stockColumns(), stockcol::id);
    if (!extra.isEmpty())
        sql.insert(sql.size() - 1, QLatin1String(", ") + extra.join(QLatin1String(", ")));
    return sql;
}

QString stockDateIndex()
{
    return QStringLiteral("CREATE INDEX data_day1 ON data(%1)").arg(quoteIdentifier(stockcol::stockInDate));
}

// Whether `data` has its key: the rowid named by an autoincrement column.
bool stockTableHasKey(Database& db, bool* has, QString* error)
{
    QueryResult r;
    if (!db.query(Statement{QStringLiteral("PRAGMA table_info(data)"), {}}, &r, error))
        return false;
    const int name = int(r.columns.indexOf(QStringLiteral("name")));
    const int pk = int(r.columns.indexOf(QStringLiteral("pk")));
    bool keyed = false;
    for (const auto& row : r.rows)
        if (row.at(name).toString().compare(stockcol::id, Qt::CaseInsensitive) == 0 && row.at(pk).toInt() == 1)
            keyed = true;
    if (!db.query(Statement{QStringLiteral("select sql from sqlite_master where type='table' and name='data'"), {}}, &r,
                  error))
        return false;
    *has = keyed && r.rows.value(0).value(0).toString().contains(QLatin1String("AUTOINCREMENT"), Qt::CaseInsensitive);
    return true;
}

// Version 3: `data` is rebuilt around an autoincrement key that takes over
// every row's rowid (the engine would otherwise hand out the identity of a
// deleted last row again), and each sale row gets the identity of the stock
// row it was taken from.
bool addStockIdentities(Database& db, QString* error)
{
    bool keyed = false;
    if (!stockTableHasKey(db, &keyed, error))
        return false;
    if (!keyed) {
        QueryResult info;
        if (!db.query(Statement{QStringLiteral("PRAGMA table_info(data)"), {}}, &info, error))
            return false;
        // Columns of the user's own the older file may carry go along.
        const int nameAt = int(info.columns.indexOf(QStringLiteral("name")));
        const int typeAt = int(info.columns.indexOf(QStringLiteral("type")));
        QStringList extra, extraNames;
        for (const auto& row : info.rows) {
            const QString name = row.at(nameAt).toString();
            if (name.compare(stockcol::id, Qt::CaseInsensitive) == 0 ||
                stockColumns().contains(name, Qt::CaseInsensitive))
                continue;
            extra << (quoteIdentifier(name) + QLatin1Char(' ') + row.at(typeAt).toString()).trimmed();
            extraNames << quoteIdentifier(name);
        }
        QStringList copied;
        for (const QString& c : stockColumns())
            copied << quoteIdentifier(c);
        copied += extraNames;
        const QString columns = copied.join(QLatin1Char(','));
        const QString rebuilt = QStringLiteral("tarvik_data_v3");
        const QStringList statements{
            createStockTable(rebuilt, extra),
            QStringLiteral("INSERT INTO %1 (%2,%3) SELECT rowid,%3 FROM data ORDER BY rowid")
                .arg(rebuilt, quoteIdentifier(stockcol::id), columns),
            QStringLiteral("DROP TABLE data"),
            QStringLiteral("ALTER TABLE %1 RENAME TO data").arg(rebuilt),
            stockDateIndex(),
        };
        for (const QString& sql : statements)
            if (!db.exec(sql, error))
                return false;
    }
    QString columnsError;
    const QStringList saleColumnsHeld = tableColumns(db, QStringLiteral("data1"), &columnsError);
    if (!columnsError.isEmpty()) {
        *error = columnsError;
        return false;
    }
    if (saleColumnsHeld.contains(salecol::stockRowId, Qt::CaseInsensitive))
        return true;
    return db.exec(
        QStringLiteral("ALTER TABLE data1 ADD COLUMN %1").arg(columnDefinition(QString(salecol::stockRowId))), error);
}

// The sale numbers handed out per day: a number once offered is never offered
// again, by this program after a restart or by another program on the file.
QString daySequenceTable()
{
    return QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2 TEXT PRIMARY KEY, %3 INTEGER NOT NULL)")
        .arg(quoteIdentifier(daySequence::table), quoteIdentifier(daySequence::day),
             quoteIdentifier(daySequence::sequence));
}

QString failedLoginTable()
{
    return QStringLiteral(
               "CREATE TABLE IF NOT EXISTS %1 (%2 INTEGER PRIMARY KEY AUTOINCREMENT, %3 TEXT COLLATE NOCASE, "
               "%4 TEXT)")
        .arg(quoteIdentifier(failedLogin::table), quoteIdentifier(failedLogin::id), quoteIdentifier(failedLogin::name),
             quoteIdentifier(failedLogin::at));
}

QString newerVersionText(qint64 version)
{
    return QStringLiteral("The database was written by a newer version of the program (schema %1).").arg(version);
}

} // namespace

const QStringList& stockColumns()
{
    using namespace stockcol;
    static const QStringList cols{name,        model,         code,        category,       nameInitials, modelInitials,
                                  supplier,    purchasePrice, quantityIn,  purchaseAmount, salePrice,    soldQuantity,
                                  salesAmount, stockQuantity, stockAmount, remark,         stockInDate};
    return cols;
}

const QStringList& saleColumns()
{
    static const QStringList cols = [] {
        QStringList c{salecol::id};
        c += letters('a', 'z');
        c += letters('1', '4');
        c << QStringLiteral("a5");
        c += letters('6', '9');
        for (int i = 1; i <= 6; ++i)
            c << QStringLiteral("day%1").arg(i);
        return c;
    }();
    return cols;
}

const QStringList& userColumns()
{
    static const QStringList cols{QStringLiteral("username"), QStringLiteral("passwd")};
    return cols;
}

const QStringList& logColumns()
{
    static const QStringList cols{QStringLiteral("id"), QStringLiteral("username"), QStringLiteral("btime"),
                                  QStringLiteral("jtime")};
    return cols;
}

QStringList keyColumns(const QString& table)
{
    if (table == QLatin1String("data"))
        return {QString(stockcol::id)};
    if (table == QLatin1String("data1"))
        return {QString(salecol::stockRowId)};
    return {};
}

QString salesListSelect()
{
    QStringList cols;
    for (const QString& c : saleColumns())
        cols << quoteIdentifier(c);
    return QStringLiteral("SELECT rowid as _rid, %1 from data1 ").arg(cols.join(QLatin1Char(',')));
}

bool create(Database& db, QString* error)
{
    Transaction t(db);
    if (!t.begun()) {
        *error = t.error();
        return false;
    }
    const QStringList statements{
        createStockTable(QStringLiteral("data")),
        createTable(QStringLiteral("data1"), saleColumns() + keyColumns(QStringLiteral("data1")), QStringLiteral("ID")),
        createTable(QStringLiteral("userdb"), userColumns(), QString()),
        createTable(QStringLiteral("rz"), logColumns(), QStringLiteral("id")),
        // The stock list is read in stock-in date order; the sales windows filter by sale date and number.
        stockDateIndex(),
        QStringLiteral("CREATE INDEX data1_day1 ON data1(%1)").arg(quoteIdentifier(salecol::saleDate)),
    };
    for (const QString& sql : statements)
        if (!db.exec(sql, error))
            return false;
    for (const QString& sql : saleNumberIndexes())
        if (!db.exec(sql, error))
            return false;
    if (!db.exec(daySequenceTable(), error) || !db.exec(failedLoginTable(), error))
        return false;
    if (!db.exec(QStringLiteral("PRAGMA user_version = %1").arg(kVersion), error))
        return false;
    return t.commit(error);
}

bool createDelivered(Database& db, QString* error)
{
    // Tables without the user would leave a login list nobody can use: both or neither.
    Transaction t(db);
    if (!t.begun()) {
        *error = t.error();
        return false;
    }
    return create(db, error) &&
           db.exec(Statement{QStringLiteral("INSERT INTO userdb VALUES (?, ?)"),
                             {superAdministrator(), hashPassword(QStringLiteral("864"))}},
                   error) &&
           t.commit(error);
}

bool createDeliveredFile(const QString& path, QString* error)
{
    NewDatabaseFile file(path);
    if (!file.reserve(error))
        return false;
    {
        Database db;
        if (!db.open(file.tempPath(), true, error) || !createDelivered(db, error))
            return false;
    }
    return file.publish(error);
}

bool migrate(Database& db, QString* error)
{
    // A server database is made at the current version by the admin tool;
    // verifyUsable() refuses any other.
    if (db.server())
        return true;
    QueryResult r;
    if (!db.query(Statement{QStringLiteral("PRAGMA user_version"), {}}, &r, error))
        return false;
    const qint64 version = r.rows.isEmpty() ? 0 : r.rows.at(0).at(0).toLongLong();
    if (version > kVersion) {
        *error = newerVersionText(version);
        return false;
    }
    if (version >= kVersion)
        return true;
    // A file without the sales table is left to the start-up check to refuse.
    if (!db.query(
            Statement{QStringLiteral("select count(*) from sqlite_master where type='table' and name='data1'"), {}}, &r,
            error))
        return false;
    if (r.rows.value(0).value(0).toLongLong() == 0)
        return true;
    Transaction t(db, Transaction::Lock::Immediate);
    if (!t.begun()) {
        *error = t.error();
        return false;
    }
    // Version 2: the sale number indexes.
    if (version < 2)
        for (const QString& sql : saleNumberIndexes())
            if (!db.exec(sql, error))
                return false;
    // Version 3: stock row identities that are never reused, kept on each sale.
    if (version < 3 && !addStockIdentities(db, error))
        return false;
    // Version 4: the sale numbers' day counters and the failed logins.
    if (version < 4 && (!db.exec(daySequenceTable(), error) || !db.exec(failedLoginTable(), error)))
        return false;
    return db.exec(QStringLiteral("PRAGMA user_version = %1").arg(kVersion), error) && t.commit(error);
}

QString superAdministrator()
{
    return QStringLiteral("超级管理员");
}

// The four tables with the columns each must have.
struct TableDefinition
{
    QString table;
    const QStringList& columns;
};

std::array<TableDefinition, 4> tableDefinitions()
{
    return {{{QStringLiteral("data"), stockColumns()},
             {QStringLiteral("data1"), saleColumns()},
             {QStringLiteral("userdb"), userColumns()},
             {QStringLiteral("rz"), logColumns()}}};
}

QStringList check(Database& db)
{
    QStringList problems;
    QString error;
    QueryResult r;
    // The engine's own check first: a damaged file makes every other answer doubtful.
    if (!db.query(Statement{QStringLiteral("PRAGMA integrity_check(1)"), {}}, &r, &error))
        return {error};
    if (r.rows.isEmpty() || r.rows.at(0).at(0).toString() != QLatin1String("ok")) {
        // The engine's text of a damaged page comes in lines ("*** in database
        // main ***\nPage 4 is never used"); a problem is said on one line.
        const QString found = r.rows.isEmpty() ? QString() : r.rows.at(0).at(0).toString();
        return {QStringLiteral("integrity check failed: %1").arg(found.simplified())};
    }
    if (!db.query(Statement{QStringLiteral("PRAGMA user_version"), {}}, &r, &error))
        return {error};
    const qint64 version = r.rows.isEmpty() ? 0 : r.rows.at(0).at(0).toLongLong();
    if (version > kVersion)
        problems << newerVersionText(version);
    const auto tables = tableDefinitions();
    for (const auto& t : tables) {
        QString tableError;
        const QStringList have = tableColumns(db, t.table, &tableError);
        if (!tableError.isEmpty()) {
            problems << tableError;
            continue;
        }
        if (have.isEmpty()) {
            problems << QStringLiteral("table %1 is missing").arg(t.table);
            continue;
        }
        for (const QString& c : t.columns)
            if (!have.contains(c, Qt::CaseInsensitive))
                problems << QStringLiteral("table %1 has no column %2").arg(t.table, c);
    }
    if (!problems.isEmpty())
        return problems;
    // From version 3 on the program relies on the stock key and the sale's stock row.
    if (version >= 3) {
        bool keyed = false;
        if (!stockTableHasKey(db, &keyed, &error))
            return {error};
        if (!keyed)
            problems << QStringLiteral("table data has no INTEGER PRIMARY KEY AUTOINCREMENT column %1: row identities "
                                       "could be reused")
                            .arg(stockcol::id);
        if (!tableColumns(db, QStringLiteral("data1"), &error).contains(salecol::stockRowId, Qt::CaseInsensitive))
            problems << QStringLiteral("table data1 has no column %1").arg(salecol::stockRowId);
        if (!problems.isEmpty())
            return problems;
    }
    // From version 4 on sale numbers are taken from their day counters, and failed logins are kept.
    if (version >= 4) {
        for (const QLatin1StringView table : {daySequence::table, failedLogin::table}) {
            const QStringList have = tableColumns(db, QString(table), &error);
            if (!error.isEmpty())
                return {error};
            if (have.isEmpty())
                problems << QStringLiteral("table %1 is missing").arg(table);
        }
        if (!problems.isEmpty())
            return problems;
    }
    if (!db.query(Statement{QStringLiteral("select count(*) from userdb where username=?"), {superAdministrator()}}, &r,
                  &error))
        return {error};
    if (r.rows.at(0).at(0).toLongLong() == 0)
        problems << QStringLiteral("table userdb has no %1 (super administrator): nobody can log in to manage it")
                        .arg(superAdministrator());
    return problems;
}

bool verifyUsable(Database& db, QString* error)
{
    if (db.server())
        return serverschema::verifyUsable(*db.server(), error);
    // Reading every column gives the engine's own words for a missing table or
    // column ("no such table: data"), as any later statement would.
    const auto tables = tableDefinitions();
    for (const auto& t : tables) {
        QStringList cols;
        for (const QString& c : t.columns + keyColumns(t.table))
            cols << quoteIdentifier(c);
        QueryResult r;
        if (!db.query(Statement{QStringLiteral("SELECT %1 FROM %2 LIMIT 0")
                                    .arg(cols.join(QLatin1Char(',')), quoteIdentifier(t.table)),
                                {}},
                      &r, error))
            return false;
    }
    // A read-only file opens read-only without a word, and a read-only folder
    // or a full disk only shows when the journal is written: try a write.
    if (!db.exec(QStringLiteral("BEGIN IMMEDIATE"), error))
        return false;
    const bool written = db.exec(QStringLiteral("CREATE TABLE tarvik_write_probe (x)"), error);
    QString ignored;
    db.exec(QStringLiteral("ROLLBACK"), &ignored);
    return written;
}

} // namespace schema
