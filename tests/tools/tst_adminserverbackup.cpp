// Backups and restores of a shop on the test server through tarvik-admin,
// with the server's own tools underneath.

#include "adminrun.h"
#include "filebytes.h"
#include "testserver.h"

#include "store/db/schema.h"
#include "store/db/serverbackup.h"
#include "store/db/serverconnection.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

using Run = AdminRun;

Run admin(const QStringList& args)
{
    return runAdmin(args);
}

// The stock rows' names in identity order, or the error.
QStringList stockNames(const QString& conninfo)
{
    ServerConnection db;
    QString error;
    QueryResult r;
    if (!db.open(conninfo, &error) ||
        !db.query(Statement{u"select [%1] from data order by rowid"_s.arg(schema::stockColumns().first()), {}}, &r,
                  &error))
        return {u"error: "_s + error};
    QStringList names;
    for (const auto& row : r.rows)
        names << row.at(0).toString();
    return names;
}

bool exec(const QString& conninfo, const Statement& st)
{
    ServerConnection db;
    QString error;
    const bool ok = db.open(conninfo, &error) && db.exec(st, &error);
    if (!ok)
        qWarning("%s", qPrintable(error));
    return ok;
}

Statement addStock(const QString& name)
{
    return {u"insert into data ([%1]) values (?)"_s.arg(schema::stockColumns().first()), {name}};
}

} // namespace

class TestAdminServerBackup : public QObject
{
    Q_OBJECT

private slots:
    void backupRestoresTheShopAsItWas();
    void refusesWhatIsNotAShopBackup();
};

void TestAdminServerBackup::backupRestoresTheShopAsItWas()
{
    QString server;
    TARVIK_REQUIRE_TEST_SERVER(server);
    ScratchServerDatabase shop(server);
    QVERIFY2(shop.isValid(), qPrintable(shop.error()));
    QTemporaryDir dir;
    const QString file = dir.filePath(u"shop.backup"_s);
    QCOMPARE(admin({u"init"_s, u"--database"_s, shop.connInfo()}).code, 0);
    QVERIFY(exec(shop.connInfo(), addStock(u"青山帐篷"_s)));
    QVERIFY(exec(shop.connInfo(), addStock(u"金羚篮球"_s)));
    QVERIFY(writeBytes(file, "an older backup"));

    const Run backedUp = admin({u"backup"_s, file, u"--database"_s, shop.connInfo()});
    QVERIFY2(backedUp.code == 0, qPrintable(backedUp.err));
    QCOMPARE(serverbackup::problemOf(file), QString());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"shop.backup"_s});

    // Changed after the backup: a row deleted, one added, the last identity used.
    QVERIFY(exec(shop.connInfo(), Statement{u"delete from data where rowid = 1"_s, {}}));
    QVERIFY(exec(shop.connInfo(), addStock(u"星驰跑步鞋"_s)));
    QCOMPARE(stockNames(shop.connInfo()), (QStringList{u"金羚篮球"_s, u"星驰跑步鞋"_s}));

    QTemporaryDir cwd;
    const Run restored = runAdmin({u"restore"_s, file, u"--database"_s, shop.connInfo()}, cwd.path());
    QVERIFY2(restored.code == 0, qPrintable(restored.err));
    QCOMPARE(stockNames(shop.connInfo()), (QStringList{u"青山帐篷"_s, u"金羚篮球"_s}));
    // What the restore replaced was backed up first, and restores in turn.
    const QStringList kept = QDir(cwd.path()).entryList({u"shop-before-restore-*.backup"_s}, QDir::Files);
    QCOMPARE(kept.size(), 1);
    const QString safetyCopy = QDir(cwd.path()).filePath(kept.at(0));
    QVERIFY(restored.out.contains(safetyCopy));
    QVERIFY(serverbackup::restore(safetyCopy, shop.connInfo(), dir.filePath(u"again.backup"_s)).ok());
    QCOMPARE(stockNames(shop.connInfo()), (QStringList{u"金羚篮球"_s, u"星驰跑步鞋"_s}));
    QVERIFY(serverbackup::restore(file, shop.connInfo(), dir.filePath(u"again.backup"_s)).ok());
    const Run checked = admin({u"check"_s, u"--database"_s, shop.connInfo()});
    QVERIFY2(checked.code == 0, qPrintable(checked.err));
    // The identities go on from where the backup's left off.
    QVERIFY(exec(shop.connInfo(), addStock(u"朝阳帐篷"_s)));
    ServerConnection db;
    QString error;
    QueryResult last;
    QVERIFY(db.open(shop.connInfo(), &error));
    QVERIFY(db.query(Statement{u"select max(rowid) from data"_s, {}}, &last, &error));
    QCOMPARE(last.rows.at(0).at(0).toLongLong(), 3);
}

void TestAdminServerBackup::refusesWhatIsNotAShopBackup()
{
    QString server;
    TARVIK_REQUIRE_TEST_SERVER(server);
    ScratchServerDatabase shop(server);
    ScratchServerDatabase other(server);
    QVERIFY2(shop.isValid() && other.isValid(), qPrintable(shop.error() + other.error()));
    QCOMPARE(admin({u"init"_s, u"--database"_s, shop.connInfo()}).code, 0);
    QVERIFY(exec(shop.connInfo(), addStock(u"青山帐篷"_s)));
    QVERIFY(exec(other.connInfo(), Statement{u"create table notes (t text)"_s, {}}));
    QVERIFY(exec(other.connInfo(), Statement{u"insert into notes values ('x')"_s, {}}));
    QTemporaryDir dir;
    const QString notAShop = dir.filePath(u"notes.backup"_s);
    const QString garbage = dir.filePath(u"garbage.backup"_s);
    QVERIFY(writeBytes(garbage, QByteArray("PGDMP") + QByteArray(4000, '\x7f')));
    QCOMPARE(admin({u"backup"_s, notAShop, u"--database"_s, other.connInfo()}).code, 1); // checked before it is kept
    QVERIFY(!QFile::exists(notAShop));
    QVERIFY(serverbackup::dumpTo(other.connInfo(), notAShop).error().text.contains(u"没有表 data"_s));

    for (const QString& source : {garbage, notAShop, dir.filePath(u"missing"_s), dir.path()}) {
        const Run r = admin({u"restore"_s, source, u"--database"_s, shop.connInfo()});
        QVERIFY2(r.code == 1 && r.err.contains(u"数据库没有改变"_s), qPrintable(source + u": "_s + r.err));
        QCOMPARE(stockNames(shop.connInfo()), QStringList{u"青山帐篷"_s});
    }

    // A server that cannot be reached leaves the former backup as it was,
    // and a folder is never written over.
    const QString kept = dir.filePath(u"kept.backup"_s);
    QVERIFY(writeBytes(kept, "the former backup"));
    QCOMPARE(admin({u"backup"_s, kept, u"--database"_s, u"host=127.0.0.1 port=1 dbname=x connect_timeout=2"_s}).code,
             1);
    QCOMPARE(bytesOf(kept), QByteArray("the former backup"));
    QCOMPARE(admin({u"backup"_s, dir.path(), u"--database"_s, shop.connInfo()}).code, 1);
    QVERIFY(QFileInfo(dir.path()).isDir());
}

QTEST_GUILESS_MAIN(TestAdminServerBackup)
#include "tst_adminserverbackup.moc"
