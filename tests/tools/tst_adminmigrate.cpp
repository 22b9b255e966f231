#include "adminrun.h"
#include "filebytes.h"
#include "testserver.h"

#include "store/db/database.h"
#include "store/db/passwordhash.h"
#include "store/db/serverconnection.h"
#include "store/db/servermigration.h"
#include "store/db/serverschema.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <map>

using namespace Qt::StringLiterals;

namespace {

using Run = AdminRun;

Run admin(const QStringList& args)
{
    return runAdmin(args);
}

Run migrate(const QString& file, const QString& conninfo)
{
    return admin({u"migrate"_s, file, u"--database"_s, conninfo});
}

Run checkAgainst(const QString& file, const QString& conninfo)
{
    return admin({u"check"_s, u"--database"_s, conninfo, u"--against"_s, file});
}

// The tables of the shop the server database holds.
QStringList serverTables(const QString& conninfo)
{
    ServerConnection db;
    QString error;
    if (!db.open(conninfo, &error))
        return {u"cannot connect: "_s + error};
    return serverschema::existingTables(db, &error).value_or(QStringList{u"cannot list: "_s + error});
}

const QStringList kIdentityTables{u"data"_s, u"data1"_s, u"userdb"_s, u"rz"_s, u"loginfail"_s};
// What the small shop holds besides the demo's rows.
const QString kAwkwardText = u"制表\there\nline\\back'quote\r"_s;
const double kManyDigits = 0.1 + 0.2;

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

class TestAdminMigrate : public QObject
{
    Q_OBJECT

    QString m_server;
    QTemporaryDir m_dir;
    QString m_shop;          // the small shop file every test starts from
    qint64 m_awkwardRow = 0; // the stock row holding kAwkwardText and kManyDigits
    // Per table, the highest identity the file handed out (deleted rows included).
    std::map<QString, qint64> m_highest;

    // A copy of the small shop of the test's own; `change` (a statement) is
    // run on it first when given.
    QString shopCopy(const QString& name, const Statement& change = {})
    {
        const QString path = m_dir.filePath(name);
        QFile::remove(path);
        if (!QFile::copy(m_shop, path))
            return {};
        if (!change.sql.isEmpty()) {
            Database db;
            QString error;
            if (!db.open(path, false, &error) || !db.exec(change, &error)) {
                qWarning("%s", qPrintable(error));
                return {};
            }
        }
        return path;
    }

private slots:
    void initTestCase();
    void migrateCopiesEveryRowWithItsIdentity();
    void failuresLeaveTheServerEmpty();
    void checkReportsEachDifference_data();
    void checkReportsEachDifference();
};

void TestAdminMigrate::initTestCase()
{
    TARVIK_REQUIRE_TEST_SERVER(m_server);
    QVERIFY(m_dir.isValid());
    const QString folder = m_dir.filePath(u"shop"_s);
    const Run demo = admin({u"demo"_s, u"--stock"_s, u"40"_s, u"--sales"_s, u"80"_s, folder});
    QVERIFY2(demo.code == 0, qPrintable(demo.err));
    m_shop = folder + u"/data.mdb"_s;

    // What the demo does not make: logins, failed logins, a second user, a
    // day counter, a deleted last stock row (its identity must never come
    // back), texts with the characters the copy has to escape, a number that
    // needs every digit.
    Database db;
    QString error;
    QVERIFY2(db.open(m_shop, false, &error), qPrintable(error));
    const QList<Statement> statements{
        {u"INSERT INTO userdb VALUES (?, ?)"_s, {u"收银员"_s, hashPassword(u"1"_s)}},
        {u"INSERT INTO rz (username, btime, jtime) VALUES (?, ?, ?)"_s,
         {u"超级管理员"_s, u"2026-12-01 08:00:00"_s, u"2026-12-01 18:00:00"_s}},
        {u"INSERT INTO rz (username, btime, jtime) VALUES (?, ?, NULL)"_s, {u"收银员"_s, u"2026-12-02 08:00:00"_s}},
        {u"INSERT INTO loginfail (username, ftime) VALUES (?, ?)"_s, {u"收银员"_s, u"2026-12-02 07:59:00"_s}},
        {u"INSERT INTO loginfail (username, ftime) VALUES (?, ?)"_s, {u"nobody"_s, u"2026-12-02 07:59:30"_s}},
        {u"INSERT OR REPLACE INTO daysequence VALUES (?, ?)"_s, {u"20261202"_s, qint64(7)}},
        {u"DELETE FROM data WHERE rowid = (SELECT max(rowid) FROM data)"_s, {}},
        {u"UPDATE data SET z = ?, [1] = ? WHERE rowid = (SELECT min(rowid) FROM data)"_s, {kAwkwardText, kManyDigits}},
    };
    for (const Statement& st : statements)
        QVERIFY2(db.exec(st, &error), qPrintable(st.sql + u": "_s + error));
    QueryResult r;
    QVERIFY(db.query({u"SELECT min(rowid) FROM data"_s, {}}, &r, &error));
    m_awkwardRow = r.rows.at(0).at(0).toLongLong();
    for (const QString& t : kIdentityTables) {
        QVERIFY(db.query(
            {u"SELECT max(max(rowid), coalesce((SELECT seq FROM sqlite_sequence WHERE name = ?), 0)) FROM "_s + t, {t}},
            &r, &error));
        m_highest[t] = r.rows.at(0).at(0).toLongLong();
        QVERIFY(m_highest[t] > 0);
    }
    QVERIFY(db.query({u"SELECT max(rowid) FROM data"_s, {}}, &r, &error));
    QVERIFY(m_highest[u"data"_s] > r.rows.at(0).at(0).toLongLong()); // the deleted last row
}

void TestAdminMigrate::migrateCopiesEveryRowWithItsIdentity()
{
    ScratchServerDatabase target(m_server);
    QVERIFY2(target.isValid(), qPrintable(target.error()));
    const QString shop = shopCopy(u"whole.mdb"_s);
    const QByteArray before = bytesOf(shop);
    QVERIFY(!before.isEmpty());

    // A till listening meanwhile is not told of the copied rows one by one.
    ServerConnection till;
    QString tillError;
    QVERIFY2(till.open(target.connInfo(), &tillError) && till.listen(serverschema::rowsChannel(), &tillError),
             qPrintable(tillError));
    Run r = migrate(shop, target.connInfo());
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QVERIFY2(r.err.contains(u"migrate: data1 0 of"_s), qPrintable(r.err)); // progress
    QCOMPARE(bytesOf(shop), before);
    QTest::qWait(300);
    QCOMPARE(till.takeNotifications().size(), 0);

    r = checkAgainst(shop, target.connInfo());
    QVERIFY2(r.code == 0, qPrintable(r.out + r.err));
    QVERIFY(r.out.startsWith(u"一致"_s));
    QCOMPARE(bytesOf(shop), before);

    ServerConnection db;
    QString error;
    QVERIFY2(db.open(target.connInfo(), &error), qPrintable(error));
    // Escaped characters and every digit arrive as they were.
    QueryResult values;
    QVERIFY2(db.query({u"SELECT z, [1] FROM data WHERE rowid = ?"_s, {m_awkwardRow}}, &values, &error),
             qPrintable(error));
    QCOMPARE(values.rows.size(), 1);
    QCOMPARE(values.rows.at(0).at(0).toString(), kAwkwardText);
    QVERIFY(sameBits(values.rows.at(0).at(1).toDouble(), kManyDigits));
    // A new row gets an identity no row of the file ever had.
    for (const QString& t : kIdentityTables) {
        QueryResult added;
        QVERIFY2(db.query({u"INSERT INTO "_s + t + u" DEFAULT VALUES RETURNING rowid"_s, {}}, &added, &error),
                 qPrintable(t + u": "_s + error));
        QVERIFY2(added.rows.at(0).at(0).toLongLong() > m_highest[t], qPrintable(t));
    }
    // and afterwards the tills hear of new rows again.
    qsizetype told = 0;
    QTRY_COMPARE(told += till.takeNotifications().size(), 2); // data and data1
}

void TestAdminMigrate::failuresLeaveTheServerEmpty()
{
    // A database that holds a shop already is left as it is.
    {
        ScratchServerDatabase target(m_server);
        QVERIFY2(target.isValid(), qPrintable(target.error()));
        QCOMPARE(admin({u"init"_s, u"--database"_s, target.connInfo()}).code, 0);
        const Run r = migrate(shopCopy(u"occupied.mdb"_s), target.connInfo());
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(u"already holds"_s), qPrintable(r.err));
        ServerConnection db;
        QString error;
        QVERIFY(db.open(target.connInfo(), &error));
        QueryResult rows;
        QVERIFY(db.query({u"SELECT (SELECT count(*) FROM userdb), (SELECT count(*) FROM data1)"_s, {}}, &rows, &error));
        QCOMPARE(rows.rows.at(0), (QVector<QVariant>{qint64(1), qint64(0)})); // the delivered shop
    }
    // A text in a number column (the file lets any column hold one) has no
    // number to become: the copy names it, and copies nothing.
    {
        ScratchServerDatabase target(m_server);
        QVERIFY2(target.isValid(), qPrintable(target.error()));
        const QString shop =
            shopCopy(u"text.mdb"_s, {u"UPDATE data1 SET [2] = 'twelve' WHERE rowid = ?"_s, {qint64(3)}});
        const Run r = migrate(shop, target.connInfo());
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(u"table data1, row 3, column 2: the text 'twelve' in a number column"_s),
                 qPrintable(r.err));
        QCOMPARE(serverTables(target.connInfo()), QStringList());
    }
    // A row the server refuses (the file lets a text key be NULL).
    {
        ScratchServerDatabase target(m_server);
        QVERIFY2(target.isValid(), qPrintable(target.error()));
        const QString shop = shopCopy(u"nullkey.mdb"_s, {u"INSERT INTO daysequence VALUES (NULL, 3)"_s, {}});
        const Run r = migrate(shop, target.connInfo());
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(u"null value"_s), qPrintable(r.err));
        QCOMPARE(serverTables(target.connInfo()), QStringList());
    }
    // The connection dies with some tables copied.
    {
        ScratchServerDatabase target(m_server);
        QVERIFY2(target.isValid(), qPrintable(target.error()));
        ServerConnection db;
        QString error;
        QVERIFY(db.open(target.connInfo(), &error));
        QueryResult pid;
        QVERIFY(db.query({u"SELECT pg_backend_pid()"_s, {}}, &pid, &error));
        QStringList started;
        const auto killAtSales = [&](const QString& table, qint64 done, qint64) {
            if (done == 0)
                started << table;
            if (table != QLatin1String("data1") || done != 0)
                return;
            ServerConnection killer;
            QString ignored;
            QVERIFY(killer.open(m_server, &ignored));
            QVERIFY(
                killer.exec({u"SELECT pg_terminate_backend(CAST(? AS integer))"_s, {pid.rows.at(0).at(0)}}, &ignored));
        };
        const auto copied = servermigration::copyFile(shopCopy(u"killed.mdb"_s), db, killAtSales);
        QVERIFY(!copied);
        QVERIFY2(started.contains(u"data"_s), qPrintable(started.join(u' '))); // part of the way was gone
        QCOMPARE(serverTables(target.connInfo()), QStringList());
    }
}

void TestAdminMigrate::checkReportsEachDifference_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("reported");
    QTest::newRow("a number") << u"UPDATE data1 SET [4] = [4] + 0.01 WHERE rowid = 5"_s << u"data1: column 4 sums to"_s;
    QTest::newRow("a text gone") << u"UPDATE rz SET jtime = NULL WHERE btime = '2026-12-01 08:00:00'"_s
                                 << u"rz: column jtime has"_s;
    QTest::newRow("a row gone") << u"DELETE FROM loginfail WHERE username = 'nobody'"_s
                                << u"loginfail: 2 rows in the file, 1 on the server"_s;
    QTest::newRow("an identity") << u"UPDATE data1 SET stockrow = stockrow + 1 WHERE rowid = 2"_s
                                 << u"data1: column stockrow sums to"_s;
    QTest::newRow("a day counter") << u"UPDATE daysequence SET sequence = 8 WHERE day = '20261202'"_s
                                   << u"daysequence: column sequence sums to"_s;
}

void TestAdminMigrate::checkReportsEachDifference()
{
    QFETCH(QString, change);
    QFETCH(QString, reported);
    ScratchServerDatabase target(m_server);
    QVERIFY2(target.isValid(), qPrintable(target.error()));
    const QString shop = shopCopy(u"compared.mdb"_s);
    QVERIFY2(migrate(shop, target.connInfo()).code == 0, "migrate");
    {
        ServerConnection db;
        QString error;
        QVERIFY(db.open(target.connInfo(), &error));
        int changed = 0;
        QVERIFY2(db.exec({change, {}}, &error, &changed), qPrintable(error));
        QCOMPARE(changed, 1);
    }
    const Run r = checkAgainst(shop, target.connInfo());
    QCOMPARE(r.code, 1);
    QVERIFY2(r.out.contains(reported), qPrintable(r.out + r.err));
    // Only the table that was changed differs.
    const QString table = reported.section(u':', 0, 0) + u':';
    for (const QString& line : r.out.split(u'\n', Qt::SkipEmptyParts))
        QVERIFY2(line.startsWith(table), qPrintable(line));
}

QTEST_GUILESS_MAIN(TestAdminMigrate)
#include "tst_adminmigrate.moc"
