#include "testserver.h"

#include "core/salenumber.h"
#include "store/db/columns.h"
#include "store/db/passwordhash.h"
#include "store/db/schema.h"
#include "store/db/serverconnection.h"
#include "store/db/serversalenumbers.h"
#include "store/db/serverschema.h"

#include <QProcess>
#include <QSet>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

// Runs tarvik-admin init --database on `conninfo`; its exit code, its
// standard error in *err.
int adminInit(const QString& conninfo, QString* err)
{
    QProcess p;
    p.start(QStringLiteral(TARVIK_ADMIN_PATH), {u"init"_s, u"--database"_s, conninfo});
    if (!p.waitForFinished(60000))
        return -1;
    *err = QString::fromUtf8(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

class TestServerConnection : public QObject
{
    Q_OBJECT

    QString m_server;
    std::unique_ptr<ScratchServerDatabase> m_scratch;
    ServerConnection m_db;

    // A connection of its own to the test's database.
    bool openSecond(ServerConnection& db)
    {
        QString error;
        if (!db.open(m_scratch->connInfo(), &error)) {
            qWarning() << error;
            return false;
        }
        return true;
    }

private slots:
    void initTestCase() { TARVIK_REQUIRE_TEST_SERVER(m_server); }

    void init()
    {
        m_scratch = std::make_unique<ScratchServerDatabase>(m_server);
        QVERIFY2(m_scratch->isValid(), qPrintable(m_scratch->error()));
        QString error;
        QVERIFY2(m_db.open(m_scratch->connInfo(), &error), qPrintable(error));
    }

    void cleanup()
    {
        m_db.close();
        m_scratch.reset();
    }

    // What is stored comes back as the same value of the same kind, bit for bit.
    void valuesRoundTrip()
    {
        QString error;
        QVERIFY2(m_db.exec(u"CREATE TABLE v (n double precision, i bigint, t text)"_s, &error), qPrintable(error));
        const QVariantList values{
            0.1,
            1e15 + 0.25,
            -0.0,
            1.0 / 3.0,
            std::numeric_limits<double>::max(),
            std::numeric_limits<double>::denorm_min(),
            -123456789.123456789,
            std::numeric_limits<qint64>::max(),
            std::numeric_limits<qint64>::min(),
            qint64(0),
            u"运动鞋 O'Neil ? $1 \\ \"引号\""_s,
            QString(u""_s),
            QVariant(),
        };
        for (const QVariant& v : values) {
            const QString column = v.typeId() == QMetaType::Double     ? u"n"_s
                                   : v.typeId() == QMetaType::LongLong ? u"i"_s
                                                                       : u"t"_s;
            QueryResult r;
            QVERIFY2(m_db.exec(Statement{u"DELETE FROM v"_s, {}}, &error), qPrintable(error));
            QVERIFY2(m_db.exec(Statement{u"INSERT INTO v (%1) VALUES (?)"_s.arg(column), {v}}, &error),
                     qPrintable(error));
            QVERIFY2(m_db.query(Statement{u"SELECT %1 FROM v"_s.arg(column), {}}, &r, &error), qPrintable(error));
            const QVariant back = r.rows.at(0).at(0);
            QCOMPARE(back.typeId(), v.typeId());
            if (v.typeId() == QMetaType::Double)
                QVERIFY2(sameBits(back.toDouble(), v.toDouble()),
                         qPrintable(u"%1 came back as %2"_s.arg(v.toDouble(), 0, 'g', 17).arg(back.toDouble(), 0, 'g', 17)));
            else
                QCOMPARE(back, v);
        }
        // Values the server computes come back as the same kinds as the file's.
        QueryResult r;
        QVERIFY2(m_db.query(Statement{u"SELECT 2::int2, 3::int4, 1.5::float4, 2.25::numeric, true, ?, ? "_s,
                                      {true, 7}},
                            &r, &error),
                 qPrintable(error));
        QCOMPARE(r.rows.at(0), (QVector<QVariant>{qint64(2), qint64(3), 1.5, 2.25, qint64(1), qint64(1), qint64(7)}));
    }

    // A `?` is a value only outside quoted texts, quoted names and comments;
    // a bracketed name is a quoted name, a bracket after an expression a subscript.
    void placeholdersOutsideQuotes_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QVariantList>("params");
        QTest::addColumn<QVariantList>("row");
        QTest::newRow("text") << u"SELECT '?', ?"_s << QVariantList{5} << QVariantList{u"?"_s, qint64(5)};
        QTest::newRow("doubled quote") << u"SELECT 'it''s ?', ?"_s << QVariantList{5}
                                       << QVariantList{u"it's ?"_s, qint64(5)};
        QTest::newRow("escaped quote") << u"SELECT E'\\' ?', ?"_s << QVariantList{5} << QVariantList{u"' ?"_s, qint64(5)};
        QTest::newRow("quoted name") << u"SELECT ? AS \"a?\"\"b\""_s << QVariantList{5} << QVariantList{qint64(5)};
        QTest::newRow("dollar quote") << u"SELECT $t$ '? $t$, $$?$$, ?"_s << QVariantList{5}
                                      << QVariantList{u" '? "_s, u"?"_s, qint64(5)};
        QTest::newRow("comments") << u"SELECT /* ? /* ? */ ? */ ? -- ?\n, ?"_s << QVariantList{5, 6}
                                  << QVariantList{qint64(5), qint64(6)};
        QTest::newRow("bracketed name") << u"SELECT [ID], [a b] FROM (SELECT ? AS \"ID\", ? AS \"a b\") s"_s
                                        << QVariantList{5, u"x"_s} << QVariantList{qint64(5), u"x"_s};
        QTest::newRow("subscript") << u"SELECT (ARRAY[?, ?])[2], ('{7,8}'::int8[])[1]"_s << QVariantList{5, 6}
                                   << QVariantList{qint64(6), qint64(7)};
    }

    void placeholdersOutsideQuotes()
    {
        QFETCH(QString, sql);
        QFETCH(QVariantList, params);
        QFETCH(QVariantList, row);
        QueryResult r;
        QString error;
        QVERIFY2(m_db.query(Statement{sql, params}, &r, &error), qPrintable(error));
        QCOMPARE(r.rows.at(0), QVector<QVariant>(row.begin(), row.end()));
    }

    // The server's own message and its code; a lost connection is told apart.
    void errors()
    {
        QString error;
        QVERIFY2(m_db.exec(u"CREATE TABLE k (id bigint PRIMARY KEY)"_s, &error), qPrintable(error));
        QVERIFY2(m_db.exec(Statement{u"INSERT INTO k VALUES (?)"_s, {1}}, &error), qPrintable(error));
        QVERIFY(!m_db.exec(Statement{u"INSERT INTO k VALUES (?)"_s, {1}}, &error));
        QCOMPARE(error, u"duplicate key value violates unique constraint \"k_pkey\""_s);
        QCOMPARE(m_db.lastError().sqlState, u"23505"_s);
        QVERIFY(!m_db.lastError().connectionLost && !m_db.lastError().isRetryable());

        QVERIFY(!m_db.exec(Statement{u"SELECT ?"_s, {}}, &error));
        QCOMPARE(error, u"Statement expects 1 values, 0 given"_s);

        // Another session ends this one's connection.
        QueryResult pid;
        QVERIFY2(m_db.query(Statement{u"SELECT pg_backend_pid()"_s, {}}, &pid, &error), qPrintable(error));
        ServerConnection other;
        QVERIFY(openSecond(other));
        QVERIFY2(other.exec(Statement{u"SELECT pg_terminate_backend(?::int4)"_s, {pid.rows.at(0).at(0)}}, &error),
                 qPrintable(error));
        QVERIFY(!m_db.exec(u"SELECT 1"_s, &error));
        QVERIFY(m_db.lastError().connectionLost);

        ServerConnection nowhere;
        QVERIFY(!nowhere.open(u"host=127.0.0.1 port=1 connect_timeout=5"_s, &error));
        QVERIFY2(error.startsWith(u"无法连接到数据库服务器："_s) && error.size() > 14, qPrintable(error));
    }

    // A bare name is a service of pg_service.conf, named directly or by PGSERVICE.
    void namedByService()
    {
        QString error;
        QueryResult here;
        QVERIFY2(m_db.query(Statement{u"SELECT current_database()"_s, {}}, &here, &error), qPrintable(error));
        QStringList service{u"[tarvik shop]"_s};
        for (const QString& setting : m_server.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            if (!setting.startsWith(u"dbname="_s))
                service << setting;
        service << u"dbname="_s + here.rows.at(0).at(0).toString();
        QTemporaryDir dir;
        QFile file(dir.filePath(u"pg_service.conf"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(service.join(QLatin1Char('\n')).toUtf8() + '\n');
        file.close();
        qputenv("PGSERVICEFILE", QFile::encodeName(file.fileName()));
        const auto restore = qScopeGuard([] {
            qunsetenv("PGSERVICEFILE");
            qunsetenv("PGSERVICE");
        });
        for (const QString& name : {u"tarvik shop"_s, u" service='tarvik shop'"_s, QString()}) {
            if (name.isEmpty())
                qputenv("PGSERVICE", "tarvik shop");
            ServerConnection db;
            QVERIFY2(db.open(name, &error), qPrintable(error));
            QueryResult r;
            QVERIFY2(db.query(Statement{u"SELECT current_database()"_s, {}}, &r, &error), qPrintable(error));
            QCOMPARE(r.rows, here.rows);
            QVERIFY(db.description().startsWith(here.rows.at(0).at(0).toString() + u" on 127.0.0.1:"_s));
        }
    }

    // An inner transaction rolled back, even after a failed statement, keeps
    // what the outer one wrote; an outer one a failed statement spoilt does
    // not claim a commit.
    void nestedTransactions()
    {
        QString error;
        QVERIFY2(m_db.exec(u"CREATE TABLE k (id bigint PRIMARY KEY)"_s, &error), qPrintable(error));
        const auto insert = [&](qint64 id) { return m_db.exec(Statement{u"INSERT INTO k VALUES (?)"_s, {id}}, &error); };
        {
            ServerTransaction outer(m_db);
            QVERIFY2(outer.begun(), qPrintable(outer.error()));
            QVERIFY(insert(1));
            {
                ServerTransaction inner(m_db);
                QVERIFY2(inner.begun(), qPrintable(inner.error()));
                QVERIFY(insert(2));
                QVERIFY(!insert(1)); // fails: the inner transaction is spoilt
            }
            QVERIFY2(insert(3), qPrintable(error));
            QVERIFY2(outer.commit(&error), qPrintable(error));
        }
        {
            ServerTransaction outer(m_db);
            QVERIFY(insert(4));
            QVERIFY(!insert(4));
            QVERIFY(!outer.commit(&error));
        }
        QVERIFY(!m_db.inTransaction());
        QueryResult r;
        QVERIFY2(m_db.query(Statement{u"SELECT id FROM k ORDER BY id"_s, {}}, &r, &error), qPrintable(error));
        QCOMPARE(r.rows, (QVector<QVector<QVariant>>{{qint64(1)}, {qint64(3)}}));
    }

    // A notification another connection sends wakes the listener's socket.
    void notifications()
    {
        QString error;
        QVERIFY2(m_db.listen(u"stock"_s, &error), qPrintable(error));
        QSocketNotifier readable(qintptr(m_db.socket()), QSocketNotifier::Read);
        QSignalSpy woke(&readable, &QSocketNotifier::activated);
        ServerConnection other;
        QVERIFY(openSecond(other));
        QVERIFY2(other.exec(Statement{u"SELECT pg_notify(?, ?), pg_notify(?, ?)"_s,
                                      {u"elsewhere"_s, u"1"_s, u"stock"_s, u"12,13 库存"_s}},
                            &error),
                 qPrintable(error));
        QVERIFY(woke.wait(5000));
        const QVector<ServerNotification> got = m_db.takeNotifications();
        QCOMPARE(got.size(), 1);
        QCOMPARE(got.at(0).channel, u"stock"_s);
        QCOMPARE(got.at(0).payload, u"12,13 库存"_s);
        QVERIFY(m_db.takeNotifications().isEmpty());
    }

    // The admin tool makes the file's tables, columns in the file's order and
    // the row identity last, once.
    void initCreatesTheShopTables()
    {
        QString err;
        QCOMPARE(adminInit(m_scratch->connInfo(), &err), 0);
        struct Expected
        {
            QString table;
            QStringList columns;
        };
        const QList<Expected> expected{
            {u"data"_s, QStringList{stockcol::id} + schema::stockColumns()},
            {u"data1"_s, schema::saleColumns() + schema::keyColumns(u"data1"_s)},
            {u"userdb"_s, schema::userColumns()},
            {u"rz"_s, schema::logColumns()},
        };
        QString error;
        for (const Expected& e : expected) {
            QueryResult r;
            QVERIFY2(m_db.query(Statement{u"SELECT column_name FROM information_schema.columns WHERE table_name = ? "
                                          "AND table_schema = current_schema() ORDER BY ordinal_position"_s,
                                          {e.table}},
                                &r, &error),
                     qPrintable(error));
            QStringList have;
            for (const auto& row : r.rows)
                have << row.at(0).toString();
            QCOMPARE(have, e.columns + QStringList{u"rowid"_s});
        }
        QCOMPARE(serverschema::version(m_db, &error), std::optional<int>(schema::kVersion));
        QueryResult users;
        QVERIFY2(m_db.query(Statement{u"SELECT username, passwd FROM userdb"_s, {}}, &users, &error),
                 qPrintable(error));
        QCOMPARE(users.rows.size(), 1);
        QCOMPARE(users.rows.at(0).at(0).toString(), schema::superAdministrator());
        QVERIFY(verifyPassword(u"864"_s, users.rows.at(0).at(1).toString()));

        QCOMPARE(adminInit(m_scratch->connInfo(), &err), 1);
        QVERIFY2(err.contains(u"already holds"_s), qPrintable(err));
    }

    // A deleted last row's identity is not handed out again; a key the file
    // makes of its rowid equals it.
    void identitiesNeverReused()
    {
        QString error;
        QVERIFY2(serverschema::createDelivered(m_db, &error), qPrintable(error));
        struct Keyed
        {
            QString table, filled, key;
        };
        for (const Keyed& k : {Keyed{u"data"_s, u"a"_s, u"ID"_s}, Keyed{u"data1"_s, u"a"_s, u"ID"_s},
                               Keyed{u"rz"_s, u"username"_s, u"id"_s}}) {
            const QString table = k.table;
            const QString sql = u"INSERT INTO %1 ([%2]) VALUES ('x') RETURNING rowid, [%3]"_s.arg(k.table, k.filled, k.key);
            QueryResult first, second, third;
            QVERIFY2(m_db.query(Statement{sql, {}}, &first, &error), qPrintable(error));
            QVERIFY2(m_db.query(Statement{sql, {}}, &second, &error), qPrintable(error));
            QVERIFY2(m_db.exec(Statement{u"DELETE FROM %1 WHERE rowid = ?"_s.arg(table), {second.rows.at(0).at(0)}},
                               &error),
                     qPrintable(error));
            QVERIFY2(m_db.query(Statement{sql, {}}, &third, &error), qPrintable(error));
            QVERIFY(third.rows.at(0).at(0).toLongLong() > second.rows.at(0).at(0).toLongLong());
            QCOMPARE(third.rows.at(0).at(1), third.rows.at(0).at(0));
        }
    }

    // Two tills taking numbers at once never get the same one; a number typed
    // by hand is passed over.
    void dayCounterAcrossConnections()
    {
        QString error;
        QVERIFY2(serverschema::createDelivered(m_db, &error), qPrintable(error));
        const QDate day(2026, 12, 11);
        constexpr int kEach = 200;
        std::vector<qint64> taken[2];
        QString failure[2];
        const auto till = [&](int t) {
            ServerConnection db;
            if (!db.open(m_scratch->connInfo(), &failure[t]))
                return;
            for (int i = 0; i < kEach; ++i) {
                const std::optional<SaleNumber> n = salenumbers::take(db, day, &failure[t]);
                if (!n || n->day != day)
                    return;
                taken[t].push_back(n->sequence);
            }
        };
        std::thread a(till, 0), b(till, 1);
        a.join();
        b.join();
        QSet<qint64> all;
        for (int t = 0; t < 2; ++t) {
            QVERIFY2(int(taken[t].size()) == kEach, qPrintable(failure[t]));
            for (const qint64 n : taken[t])
                all.insert(n);
        }
        QCOMPARE(all.size(), 2 * kEach);
        QCOMPARE(*std::max_element(all.begin(), all.end()), qint64(2 * kEach));

        QVERIFY2(m_db.exec(Statement{u"INSERT INTO data1 ([z]) VALUES (?)"_s, {u"20261211950"_s}}, &error),
                 qPrintable(error));
        const std::optional<SaleNumber> next = salenumbers::take(m_db, day, &error);
        QVERIFY2(next, qPrintable(error));
        QCOMPARE(next->text(), u"20261211951"_s);
    }
};

QTEST_GUILESS_MAIN(TestServerConnection)
#include "tst_serverconnection.moc"
