#include "recordingport.h"
#include "testdb.h"

#include "core/numbers.h"
#include "store/db/columns.h"
#include "store/db/database.h"
#include "store/db/passwordhash.h"
#include "store/db/preparedstatement.h"
#include "store/db/schema.h"
#include "store/memory/memtable.h"
#include "store/memory/stockqueries.h"
#include "store/ops/salelookup.h"
#include "store/ops/saleops.h"
#include "store/ops/tdmfm.h"
#include "store/ops/userqueries.h"
#include "text/chinesecollation.h"
#include "ui/queryhelpers.h"
#include "ui/reporterror.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <sqlite3.h>
#include <unistd.h>

class TestStore : public QObject
{
    Q_OBJECT

private slots:
    void schemaHasEveryColumn();
    void missingColumnIsReported();
    void fileIsEncrypted();
    void apostrophesAreBoundNotSpliced();
    void searchMatchesInitialsInAnyCase_data();
    void searchMatchesInitialsInAnyCase();
    void rowSetWritesThroughByIdentity();
    void failedStatementLeavesSetClosed();
    void twoTableWriteIsAllOrNothing();
    void committedWriteIsInTheFile();
    void unusableFileIsRefusedAtOpen_data();
    void unusableFileIsRefusedAtOpen();
    void largeRowIdsComeBackWhole();
    void saleFiguresFollowTheStockRow_data();
    void saleFiguresFollowTheStockRow();
    void passwordsAreHashedAndCaseInsensitive();
    void requireTextWarnsAndFocuses();
    void fillDistinctListGroupsCaseInsensitively();
    void textsSortInPinyinOrder();
    void slipLookupMatchesContainment_data();
    void slipLookupMatchesContainment();
    void olderFileGetsSaleNumberIndexes();
    void keptCustomerNamesEqualTheEngines();
    void stockIdentitiesAreNeverReused_data();
    void stockIdentitiesAreNeverReused();
    void writesArePublishedOnceAfterTheirCommit();
    void saleRefusesARowThatHoldsAnotherArticle_data();
    void saleRefusesARowThatHoldsAnotherArticle();
    void emptyStockFigureStopsTheSale_data();
    void emptyStockFigureStopsTheSale();
    void emptyFigureStopsTheDeletion_data();
    void emptyFigureStopsTheDeletion();
};

namespace {
// Replaces table data1 by one whose columns differ from the program's.
bool rebuildSales(Database& db, const QString& drop, const QString& add, QString* error)
{
    QStringList cols;
    for (const QString& c : schema::saleColumns() + schema::keyColumns(QStringLiteral("data1")))
        if (c != drop)
            cols << quoteIdentifier(c);
    if (!add.isEmpty())
        cols << quoteIdentifier(add);
    return db.exec(QStringLiteral("DROP TABLE data1"), error) &&
           db.exec(QStringLiteral("CREATE TABLE data1 (%1)").arg(cols.join(QLatin1Char(','))), error);
}

// Gives the file the tables of schema version 2: `data` keyed by the bare
// rowid, `data1` without the stock row of each sale.
bool makeVersion2(Database& db, QString* error)
{
    const auto definitions = [](const QStringList& columns) {
        QStringList defs;
        for (const QString& c : columns) {
            const bool number = c == QLatin1String("a5") || (c.size() == 1 && c.at(0).isDigit());
            defs << quoteIdentifier(c) + (number ? QStringLiteral(" REAL") : QStringLiteral(" TEXT COLLATE NOCASE"));
        }
        return defs;
    };
    QStringList sales = definitions(schema::saleColumns().mid(1));
    sales.prepend(QStringLiteral("\"ID\" INTEGER PRIMARY KEY AUTOINCREMENT"));
    const QStringList statements{
        QStringLiteral("DROP TABLE data"),
        QStringLiteral("DROP TABLE data1"),
        QStringLiteral("CREATE TABLE data (%1)").arg(definitions(schema::stockColumns()).join(QLatin1Char(','))),
        QStringLiteral("CREATE TABLE data1 (%1)").arg(sales.join(QLatin1Char(','))),
        QStringLiteral("CREATE INDEX data_day1 ON data(day1)"),
        QStringLiteral("CREATE INDEX data1_day1 ON data1(day1)"),
        QStringLiteral("CREATE INDEX data1_z ON data1(z)"),
        QStringLiteral("CREATE INDEX data1_z_length ON data1(length(z))"),
        QStringLiteral("PRAGMA user_version = 2"),
    };
    for (const QString& sql : statements)
        if (!db.exec(sql, error))
            return false;
    return true;
}

QVector<QVariant> stockFiguresOf(Tdmfm& dm, qint64 id)
{
    QueryResult r;
    QString error;
    dm.db().query(Statement{QStringLiteral("select [5],[6],[7],[8] from data where rowid=?"), {id}}, &r, &error);
    return r.rows.value(0);
}

qint64 saleRowCount(Tdmfm& dm)
{
    QueryResult r;
    QString error;
    dm.db().query(Statement{QStringLiteral("select count(*) from data1"), {}}, &r, &error);
    return r.rows.value(0).value(0).toLongLong();
}

saleops::SaleInput saleOf(qint64 stockRowId)
{
    saleops::SaleInput in;
    in.stockRowId = stockRowId;
    in.quantity = QStringLiteral("2");
    in.price = QStringLiteral("19.9");
    in.saleNumber = QStringLiteral("20260105001");
    in.saleDate = QStringLiteral("2026-01-05");
    return in;
}
} // namespace

void TestStore::schemaHasEveryColumn()
{
    TestShop shop;
    QVERIFY(shop.isValid());
    QVERIFY(schema::check(shop.dm().db()).isEmpty());
    QCOMPARE(schema::saleColumns().size(), 42);
    QVERIFY(schema::saleColumns().contains(QStringLiteral("a5")));
    QVERIFY(!schema::saleColumns().contains(QStringLiteral("5")));
    QCOMPARE(schema::stockColumns().size(), 17);

    RecordingPort port;
    QVERIFY(shop.dm().OpenQuery(shop.dm().sales().list(), Statement{schema::salesListSelect(), {}}));
    QCOMPARE(shop.dm().sales().list().columns().size(), 42);
    QVERIFY(port.entries.isEmpty());

    // Autonumbered identities.
    QVERIFY(shop.dm().appendRow(QStringLiteral("data1"), {{QString(salecol::name), QStringLiteral("x")}}));
    QVERIFY(shop.dm().appendRow(QStringLiteral("data1"), {{QString(salecol::name), QStringLiteral("y")}}));
    QVERIFY(shop.dm().OpenQuery(scratchRows(), Statement{QStringLiteral("select ID from data1 order by ID"), {}}));
    QCOMPARE(scratchRows().value(0, 0).toLongLong() + 1, scratchRows().value(1, 0).toLongLong());
}

void TestStore::missingColumnIsReported()
{
    TestShop shop;
    Database& db = shop.dm().db();
    QString error;
    QVERIFY(rebuildSales(db, QStringLiteral("day6"), QString(), &error));
    QCOMPARE(schema::check(db), QStringList{QStringLiteral("table data1 has no column day6")});

    const Result<void> failed = shop.dm().OpenQuery(shop.dm().sales().list(), Statement{schema::salesListSelect(), {}});
    QVERIFY(!shop.dm().sales().list().isOpen());
    QVERIFY(failed.is(Error::Kind::Engine));
    QVERIFY2(failed.error().text.contains(QStringLiteral("day6")), qPrintable(failed.error().text));
}

void TestStore::fileIsEncrypted()
{
    TestShop shop;
    QFile f(shop.dbPath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(!f.read(16).startsWith("SQLite format 3"));
    f.close();

    // Neither a plain SQLite reader nor a wrong password gets in.
    QProcess plain;
    plain.start(QStringLiteral("sqlite3"), {shop.dbPath(), QStringLiteral("select count(*) from userdb;")});
    if (plain.waitForStarted(5000)) {
        plain.waitForFinished(10000);
        QVERIFY(plain.exitCode() != 0);
        QVERIFY(plain.readAllStandardError().contains("not a database"));
    }
    Database db;
    QString error;
    QVERIFY(db.open(shop.dbPath(), false, &error));
    QueryResult r;
    QVERIFY(db.query(Statement{QStringLiteral("select count(*) from userdb"), {}}, &r, &error));
    QCOMPARE(r.rows.at(0).at(0).toInt(), 1);

    QFile other(shop.folder() + QStringLiteral("/plain.db"));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.write("not a database at all, just text");
    other.close();
    Database bad;
    QVERIFY(!bad.open(other.fileName(), false, &error));
    QVERIFY2(error.contains(QStringLiteral("not a database")), qPrintable(error));
    QVERIFY(!bad.open(shop.folder() + QStringLiteral("/missing.mdb"), false, &error));
    QVERIFY(!QFile::exists(shop.folder() + QStringLiteral("/missing.mdb")));
}

void TestStore::apostrophesAreBoundNotSpliced()
{
    TestShop shop;
    RecordingPort port;
    shop.addStock(QStringLiteral("O'Neil篮球"), QStringLiteral("7'号"), QStringLiteral("C'1"), QStringLiteral("球类"),
                  10, 5, 20, QStringLiteral("2026-01-05"), QStringLiteral("O'Neil"), QStringLiteral("it's"));
    shop.addStock(QStringLiteral("足球"), QString(), QStringLiteral("C2"), QStringLiteral("球类"), 10, 5, 20);
    stockq::Conditions c;
    c.supplier = QStringLiteral("o'neil"); // letter case does not matter either
    c.remark = QStringLiteral("'s");
    QVERIFY(shop.dm().OpenQuery(shop.dm().stock().list(), stockq::search(stockq::ZeroStock::Shown, c)));
    QCOMPARE(shop.dm().stock().list().rowCount(), 1);
    QCOMPARE(shop.dm().stock().list().field(QStringLiteral("a")).toString(), QStringLiteral("O'Neil篮球"));
    // A quote that would end a spliced literal early just finds nothing.
    c = {};
    c.code = QStringLiteral("' or 1=1 --");
    QVERIFY(shop.dm().OpenQuery(shop.dm().stock().list(), stockq::search(stockq::ZeroStock::Shown, c)));
    QCOMPARE(shop.dm().stock().list().rowCount(), 0);
    QVERIFY(port.entries.isEmpty());
}

void TestStore::searchMatchesInitialsInAnyCase_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("hideZero");
    QTest::addColumn<QStringList>("names");
    const QStringList all{QStringLiteral("李宁球鞋"), QStringLiteral("篮球"), QStringLiteral("乒乓球拍")};
    QTest::newRow("no condition") << ""
                                  << "" << false << all;
    QTest::newRow("initials lower") << "name"
                                    << "lq" << false << QStringList{QStringLiteral("篮球")};
    QTest::newRow("initials upper") << "name"
                                    << "LQ" << false << QStringList{QStringLiteral("篮球")};
    QTest::newRow("initials inside") << "name"
                                     << "nq" << false << QStringList{QStringLiteral("李宁球鞋")};
    QTest::newRow("model initials") << "model"
                                    << "XL" << false << QStringList{QStringLiteral("乒乓球拍")};
    QTest::newRow("code part") << "code"
                               << "0012" << false << QStringList{QStringLiteral("篮球")};
    QTest::newRow("category") << "category"
                              << "球" << false << all;
    // Hidden zero stock keeps negative stock and drops rows with no stock left.
    QTest::newRow("zero hidden") << ""
                                 << "" << true << QStringList{QStringLiteral("李宁球鞋"), QStringLiteral("篮球")};
    QTest::newRow("dates inclusive") << "dates"
                                     << "" << false << QStringList{QStringLiteral("篮球"), QStringLiteral("乒乓球拍")};
}

void TestStore::searchMatchesInitialsInAnyCase()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(bool, hideZero);
    QFETCH(QStringList, names);
    TestShop shop;
    shop.addStock(QStringLiteral("李宁球鞋"), QStringLiteral("42码"), QStringLiteral("A1"), QStringLiteral("球类"), 1,
                  5, 2, QStringLiteral("2026-01-01"));
    shop.addStock(QStringLiteral("篮球"), QStringLiteral("7号"), QStringLiteral("690012"), QStringLiteral("球类"), 1, 5,
                  2, QStringLiteral("2026-01-02"));
    shop.addStock(QStringLiteral("乒乓球拍"), QStringLiteral("横拍-XL"), QStringLiteral("B3"), QStringLiteral("球类"),
                  1, 5, 2, QStringLiteral("2026-01-03"));
    Tdmfm& dm = shop.dm();
    // 李宁球鞋 sold out past zero (a return pending), 乒乓球拍 sold out.
    QString error;
    QVERIFY(dm.db().exec(QStringLiteral("update data set [7]=-1 where c='A1'"), &error));
    QVERIFY(dm.db().exec(QStringLiteral("update data set [7]=0 where c='B3'"), &error));
    stockq::Conditions c;
    if (field == QLatin1String("name"))
        c.nameInitials = text;
    else if (field == QLatin1String("model"))
        c.specInitials = text;
    else if (field == QLatin1String("code"))
        c.code = text;
    else if (field == QLatin1String("category"))
        c.category = text;
    else if (field == QLatin1String("dates")) {
        c.byDate = true;
        c.from = QStringLiteral("2026-01-02");
        c.to = QStringLiteral("2026-01-03");
    }
    RecordingPort port;
    QVERIFY(dm.OpenQuery(dm.stock().list(),
                         stockq::search(hideZero ? stockq::ZeroStock::Hidden : stockq::ZeroStock::Shown, c)));
    QStringList got;
    for (int r = 0; r < dm.stock().list().rowCount(); ++r)
        got << dm.stock().list().value(r, stockcol::name).toString();
    QCOMPARE(got, names);
}

void TestStore::rowSetWritesThroughByIdentity()
{
    TestShop shop;
    Tdmfm& dm = shop.dm();
    shop.addStock(QStringLiteral("甲"), {}, QStringLiteral("1"), QStringLiteral("k"), 1, 1, 1,
                  QStringLiteral("2026-01-03"));
    shop.addStock(QStringLiteral("乙"), {}, QStringLiteral("2"), QStringLiteral("k"), 1, 2, 1,
                  QStringLiteral("2026-01-01"));
    shop.addStock(QStringLiteral("丙"), {}, QStringLiteral("3"), QStringLiteral("k"), 1, 3, 1,
                  QStringLiteral("2026-01-02"));
    QVERIFY(dm.OpenQuery(dm.stock().list(), stockq::listAll(stockq::ZeroStock::Shown)));
    RowSet& set = dm.stock().list();
    QCOMPARE(set.value(0, stockcol::name).toString(), QStringLiteral("乙")); // stock-in date order
    QVERIFY(!set.columns().contains(QStringLiteral("_rid")));

    set.sort(QStringLiteral("2 DESC"));
    QCOMPARE(set.value(0, stockcol::name).toString(), QStringLiteral("丙"));
    set.setCurrent(0);
    QVERIFY(dm.updateCurrent(set, {{QString(stockcol::remark), QStringLiteral("改过")}}));
    QCOMPARE(set.field(QStringLiteral("z")).toString(), QStringLiteral("改过"));
    set.setCurrent(2); // 甲 after the sort
    QCOMPARE(set.field(QStringLiteral("a")).toString(), QStringLiteral("甲"));
    QVERIFY(dm.deleteCurrent(set));
    QCOMPARE(set.rowCount(), 2);

    QVERIFY(dm.OpenQuery(scratchRows(), Statement{QStringLiteral("select a, z from data order by a"), {}}));
    RowSet& g = scratchRows();
    QCOMPARE(g.rowCount(), 2);
    QStringList names{g.value(0, 0).toString(), g.value(1, 0).toString()};
    QVERIFY(!names.contains(QStringLiteral("甲")));
    for (int r = 0; r < 2; ++r)
        QCOMPARE(g.value(r, 1).toString(),
                 g.value(r, 0).toString() == QStringLiteral("丙") ? QStringLiteral("改过") : QString());

    // Deleting from an empty set is refused with the dataset message, shown by nobody.
    RecordingPort port;
    set.close();
    const Result<void> refused = dm.deleteCurrent(set);
    QVERIFY(!refused);
    QCOMPARE(refused.error().text, QStringLiteral("Cannot perform this operation on an empty dataset"));
    QVERIFY(port.entries.isEmpty());
}

void TestStore::failedStatementLeavesSetClosed()
{
    TestShop shop;
    Tdmfm& dm = shop.dm();
    shop.addStock(QStringLiteral("甲"), {}, QStringLiteral("1"), QStringLiteral("k"), 1, 1, 1);
    QVERIFY(dm.OpenQuery(dm.stock().list(), stockq::listAll(stockq::ZeroStock::Shown)));
    QCOMPARE(dm.stock().list().rowCount(), 1);
    RecordingPort port;
    const Result<void> failed =
        dm.OpenQuery(dm.stock().list(), Statement{QStringLiteral("select * from nosuchtable"), {}});
    QVERIFY(!dm.stock().list().isOpen());
    QCOMPARE(dm.stock().list().rowCount(), 0);
    QVERIFY(failed.is(Error::Kind::Engine));
    QCOMPARE(failed.error().text, QStringLiteral("no such table: nosuchtable"));
    // The window shows it in the user's words.
    reportError(failed.error());
    QCOMPARE(port.texts(), QStringList{QStringLiteral(
                               "数据库里缺少数据表：这不是本程序的数据库，或者已经损坏。请用备份恢复数据库。（no "
                               "such table: nosuchtable）")});
    QVERIFY(dm.ExecStatement(scratchRows(), Statement{QStringLiteral("update nosuch set a=1"), {}})
                .is(Error::Kind::Engine));
    QCOMPARE(port.entries.size(), 1);
}

void TestStore::twoTableWriteIsAllOrNothing()
{
    TestShop shop;
    Tdmfm& dm = shop.dm();
    const qint64 id = shop.addStock(QStringLiteral("篮球"), {}, QStringLiteral("1"), QStringLiteral("k"), 12, 10, 19.9);
    QString error;
    // The Sale row cannot be written: the stock change must not stay behind.
    QVERIFY(rebuildSales(dm.db(), QStringLiteral("a5"), QStringLiteral("5"), &error));
    saleops::SaleInput in;
    in.stockRowId = id;
    in.quantity = QStringLiteral("2");
    in.price = QStringLiteral("19.9");
    in.saleNumber = QStringLiteral("20260105001");
    in.saleDate = QStringLiteral("2026-01-05");
    const Result<qint64> failed = saleops::recordSale(dm, in);
    QVERIFY(failed.is(Error::Kind::Engine));
    QVERIFY2(failed.error().text.contains(QStringLiteral("a5")), qPrintable(failed.error().text));
    QueryResult r;
    QVERIFY(dm.db().query(Statement{QStringLiteral("select [5],[6],[7],[8] from data"), {}}, &r, &error));
    QCOMPARE(r.rows.at(0), (QVector<QVariant>{0.0, 0.0, 10.0, 120.0}));
    QVERIFY(dm.db().query(Statement{QStringLiteral("select count(*) from data1"), {}}, &r, &error));
    QCOMPARE(r.rows.at(0).at(0).toInt(), 0);

    // With the right table the same sale lands in both tables.
    QVERIFY(rebuildSales(dm.db(), QString(), QString(), &error));
    QVERIFY(saleops::recordSale(dm, in));
    QVERIFY(dm.db().query(Statement{QStringLiteral("select [5],[6],[7],[8] from data"), {}}, &r, &error));
    QCOMPARE(r.rows.at(0), (QVector<QVariant>{2.0, 39.8, 8.0, 96.0}));
    QVERIFY(dm.db().query(Statement{QStringLiteral("select [2],[3],[4],a5,day2 from data1"), {}}, &r, &error));
    QCOMPARE(r.rows.at(0), (QVector<QVariant>{19.9, 2.0, 39.8, 15.8, QStringLiteral("2026-01-05")}));
}

void TestStore::committedWriteIsInTheFile()
{
    TestShop shop;
    shop.addStock(QStringLiteral("篮球"), {}, QStringLiteral("1"), QStringLiteral("k"), 1, 1, 1);
    // The file and its write-ahead log copied while the connection is still
    // open, as a crash leaves them, already hold the committed row.
    const QString copy = shop.folder() + QStringLiteral("/after-crash.mdb");
    QVERIFY(QFile::copy(shop.dbPath(), copy));
    QVERIFY(QFile::copy(shop.dbPath() + QStringLiteral("-wal"), copy + QStringLiteral("-wal")));
    Database db;
    QString error;
    QVERIFY(db.open(copy, false, &error));
    QueryResult r;
    QVERIFY(db.query(Statement{QStringLiteral("select a from data"), {}}, &r, &error));
    QCOMPARE(r.rows.size(), 1);
    QVERIFY(db.query(Statement{QStringLiteral("PRAGMA synchronous"), {}}, &r, &error));
    QCOMPARE(r.rows.at(0).at(0).toInt(), 2); // FULL: the log is synced at every commit
    QVERIFY(db.query(Statement{QStringLiteral("PRAGMA journal_mode"), {}}, &r, &error));
    QCOMPARE(r.rows.at(0).at(0).toString(), QStringLiteral("wal"));

    // Once the last connection closes, the file alone holds everything again,
    // with the rollback journal written in it: a reader that cannot make a log
    // (a read-only folder) reads it as ever.
    db.close();
    shop.dm().db().close();
    QVERIFY(!QFile::exists(shop.dbPath() + QStringLiteral("-wal")));
    QVERIFY(!QFile::exists(shop.dbPath() + QStringLiteral("-shm")));
    {
        sqlite3* raw = nullptr;
        QCOMPARE(sqlite3_open_v2(QFile::encodeName(shop.dbPath()).constData(), &raw, SQLITE_OPEN_READONLY, nullptr),
                 SQLITE_OK);
        const QByteArray key = QStringLiteral("PRAGMA key = '%1'").arg(Database::password()).toUtf8();
        QCOMPARE(sqlite3_exec(raw, key.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        QString mode;
        {
            const PreparedStatement st(raw, "PRAGMA journal_mode", &error);
            QVERIFY2(st.isValid(), qPrintable(error));
            QCOMPARE(sqlite3_step(st.get()), SQLITE_ROW);
            mode = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0)));
        }
        sqlite3_close(raw);
        QCOMPARE(mode, QStringLiteral("delete"));
    }
    const QString alone = shop.folder() + QStringLiteral("/closed.mdb");
    QVERIFY(QFile::copy(shop.dbPath(), alone));
    QVERIFY(db.open(alone, false, &error));
    QVERIFY(db.query(Statement{QStringLiteral("select a from data"), {}}, &r, &error));
    QCOMPARE(r.rows.size(), 1);
}

void TestStore::unusableFileIsRefusedAtOpen_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("engineText");

    QTest::newRow("zero-length file") << "empty"
                                      << "file is empty";
    QTest::newRow("encrypted, no tables") << "no tables"
                                          << "no such table: data";
    QTest::newRow("table without a column") << "no day6"
                                            << "no such column: day6";
    QTest::newRow("journal cannot be created") << "journal blocked"
                                               << "disk I/O error";
    QTest::newRow("read-only file") << "read-only file"
                                    << "attempt to write a readonly database";
    QTest::newRow("read-only folder") << "read-only folder"
                                      << ""; // the words vary with the engine version
}

void TestStore::unusableFileIsRefusedAtOpen()
{
    QFETCH(QString, kind);
    QFETCH(QString, engineText);
    if (kind.startsWith(QLatin1String("read-only")) && ::geteuid() == 0)
        QSKIP("file permissions do not bind root");
    TestShop shop;
    const QString path = shop.dbPath();
    QString error;
    if (kind == QLatin1String("empty") || kind == QLatin1String("no tables")) {
        QVERIFY(QFile::remove(path));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        if (kind == QLatin1String("no tables")) {
            Database db;
            QVERIFY(db.open(path, true, &error));
            QVERIFY(db.exec(QStringLiteral("PRAGMA user_version = 1"), &error));
        }
    } else if (kind == QLatin1String("no day6")) {
        Database db;
        QVERIFY(db.open(path, false, &error));
        QVERIFY(rebuildSales(db, QStringLiteral("day6"), QString(), &error));
    } else if (kind == QLatin1String("journal blocked")) {
        // Something else holds the journal's name: no write can start (nor
        // the switch to the write-ahead log, which writes the file's header).
        shop.dm().db().close();
        QVERIFY(QDir().mkdir(path + QStringLiteral("-journal")));
    } else if (kind == QLatin1String("read-only file")) {
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    } else {
        QVERIFY(QFile::setPermissions(shop.folder(), QFile::ReadOwner | QFile::ExeOwner));
    }

    Tdmfm dm;
    const Result<void> opened = dm.open(path);
    QFile::setPermissions(shop.folder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(!opened);
    error = opened.error().text;
    QVERIFY(!error.isEmpty());
    if (!engineText.isEmpty())
        QVERIFY2(error.endsWith(engineText), qPrintable(error));
    // An empty file is not made into an empty database: it can still be restored over.
    if (kind == QLatin1String("empty"))
        QCOMPARE(QFileInfo(path).size(), qint64(0));
    // The delivered file opens.
    TestShop good;
    QVERIFY(good.dm().db().isOpen());
}

void TestStore::largeRowIdsComeBackWhole()
{
    TestShop shop;
    Tdmfm& dm = shop.dm();
    // Above 2^31, and above 2^53 where a double would lose the last digit.
    const qint64 ids[] = {3000000000LL, 9007199254740993LL};
    QString error;
    for (const qint64 id : ids)
        QVERIFY(
            dm.db().exec(Statement{QStringLiteral("insert into data (rowid, a, [2], [7], day1) values (?, ?, 1, 1, ?)"),
                                   {id, QString::number(id), QStringLiteral("2026-01-05")}},
                         &error));
    const Result<qint64> next =
        dm.appendRow(QStringLiteral("data"), {{QString(stockcol::name), QStringLiteral("next")}});
    QVERIFY(next);
    QCOMPARE(*next, ids[1] + 1);

    QVERIFY(dm.OpenQuery(scratchRows(), Statement{QStringLiteral("select rowid from data order by rowid"), {}}));
    QCOMPARE(scratchRows().value(0, 0).typeId(), int(QMetaType::LongLong));
    QCOMPARE(scratchRows().value(0, 0).toLongLong(), ids[0]);
    QCOMPARE(scratchRows().value(1, 0).toLongLong(), ids[1]);

    // The stock list keeps the identities and writes through by them.
    RowSet& set = dm.stock().list();
    QVERIFY(dm.OpenQuery(set, stockq::listAll(stockq::ZeroStock::Shown)));
    for (int r = 0; r < set.rowCount(); ++r) {
        const QString name = set.value(r, stockcol::name).toString();
        if (name != QLatin1String("next"))
            QCOMPARE(set.rowId(r), name.toLongLong());
    }
    for (int r = 0; r < set.rowCount(); ++r)
        if (set.rowId(r) == ids[1])
            set.setCurrent(r);
    QVERIFY(dm.updateCurrent(set, {{QString(stockcol::remark), QStringLiteral("改过")}}));
    QVERIFY(dm.OpenQuery(scratchRows(),
                         Statement{QStringLiteral("select rowid from data where z=?"), {QStringLiteral("改过")}}));
    QCOMPARE(scratchRows().rowCount(), 1);
    QCOMPARE(scratchRows().value(0, 0).toLongLong(), ids[1]);
}

void TestStore::saleFiguresFollowTheStockRow_data()
{
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<QString>("price");
    QTest::addColumn<QVector<QVariant>>("stock"); // [5], [6], [7], [8] after the second sale
    QTest::addColumn<QVector<QVariant>>("sale");  // [1], [2], [3], [4], a5, day1, day2 of the second sale

    // The Stock row: cost 12, 12 taken in on 2025-12-20, 2 already sold for 39.8.
    // The new stock quantity is rounded to two decimals (7.875 -> 7.88); the
    // stock amount is computed from the unrounded 7.875.
    QTest::newRow("fraction")
        << "0.125"
        << "20" << QVector<QVariant>{2.125, 42.3, 9.88, 118.5}
        << QVector<QVariant>{12.0, 20.0, 0.125, 2.5, 1.0, QStringLiteral("2026-01-07"), QStringLiteral("2025-12-20")};
    QTest::newRow("return")
        << "-1"
        << "19.9" << QVector<QVariant>{1.0, 19.9, 11.0, 132.0}
        << QVector<QVariant>{12.0, 19.9, -1.0, -19.9, -7.9, QStringLiteral("2026-01-07"), QStringLiteral("2025-12-20")};
}

void TestStore::saleFiguresFollowTheStockRow()
{
    QFETCH(QString, quantity);
    QFETCH(QString, price);
    QFETCH(QVector<QVariant>, stock);
    QFETCH(QVector<QVariant>, sale);
    TestShop shop;
    Tdmfm& dm = shop.dm();
    const qint64 id = shop.addStock(QStringLiteral("篮球"), QStringLiteral("7号"), QStringLiteral("1"),
                                    QStringLiteral("球类"), 12, 12, 19.9, QStringLiteral("2025-12-20"));
    RecordingPort port;
    saleops::SaleInput in;
    in.stockRowId = id;
    in.quantity = QStringLiteral("2");
    in.price = QStringLiteral("19.9");
    in.saleNumber = QStringLiteral("20260105001");
    in.saleDate = QStringLiteral("2026-01-05");
    QVERIFY(saleops::recordSale(dm, in));
    in.quantity = quantity;
    in.price = price;
    in.saleNumber = QStringLiteral("20260107001");
    in.saleDate = QStringLiteral("2026-01-07");
    QVERIFY(saleops::recordSale(dm, in));
    QVERIFY(port.entries.isEmpty());

    QString error;
    QueryResult r;
    QVERIFY(dm.db().query(Statement{QStringLiteral("select [5],[6],[7],[8] from data"), {}}, &r, &error));
    QCOMPARE(r.rows.at(0), stock);
    QVERIFY(dm.db().query(
        Statement{QStringLiteral("select [1],[2],[3],[4],a5,day1,day2 from data1 where z=?"), {in.saleNumber}}, &r,
        &error));
    QCOMPARE(r.rows.size(), 1);
    QCOMPARE(r.rows.at(0), sale);
}

void TestStore::passwordsAreHashedAndCaseInsensitive()
{
    TestShop shop;
    Tdmfm& dm = shop.dm();
    QVERIFY(dm.OpenQuery(scratchRows(), Statement{QStringLiteral("select username, passwd from userdb"), {}}));
    QCOMPARE(scratchRows().value(0, 0).toString(), QStringLiteral("超级管理员"));
    const QString stored = scratchRows().value(0, 1).toString();
    // Salt and hash, never the password itself (random hex may well contain "864").
    static const QRegularExpression form(QStringLiteral("^pbkdf2-sha256\\$[1-9][0-9]*\\$[0-9a-f]{32}\\$[0-9a-f]{64}$"));
    QVERIFY2(form.match(stored).hasMatch(), qPrintable(stored));
    QVERIFY(!stored.split(QLatin1Char('$')).contains(QStringLiteral("864")));
    QVERIFY(verifyPassword(QStringLiteral("864"), stored));
    QVERIFY(hashPassword(QStringLiteral("abc")) != hashPassword(QStringLiteral("abc"))); // salted
    QVERIFY(verifyPassword(QStringLiteral("AbC"), hashPassword(QStringLiteral("aBc"))));
    QVERIFY(!verifyPassword(QStringLiteral("865"), stored));

    QCOMPARE(userq::countMatches(dm, QStringLiteral("超级管理员"), QStringLiteral("864")).valueOr(-1), 1);
    QCOMPARE(userq::countMatches(dm, QStringLiteral("超级管理员"), QStringLiteral("8641")).valueOr(-1), 0);
    // Two identical users make the login ambiguous; names match in any case.
    QVERIFY(dm.appendRow(QStringLiteral("userdb"), {{QStringLiteral("username"), QStringLiteral("Ann")},
                                                    {QStringLiteral("passwd"), hashPassword(QStringLiteral("x1"))}}));
    QCOMPARE(userq::countMatches(dm, QStringLiteral("ANN"), QStringLiteral("X1")).valueOr(-1), 1);
    QVERIFY(dm.appendRow(QStringLiteral("userdb"), {{QStringLiteral("username"), QStringLiteral("ann")},
                                                    {QStringLiteral("passwd"), hashPassword(QStringLiteral("x1"))}}));
    QCOMPARE(userq::countMatches(dm, QStringLiteral("Ann"), QStringLiteral("x1")).valueOr(-1), 2);

    const qint64 session =
        userq::logLogin(dm, QStringLiteral("O'Neil"), QDateTime(QDate(2026, 12, 9), QTime(8, 5, 1))).valueOr(0);
    QVERIFY(session > 0);
    QVERIFY(userq::logLogout(dm, session, QDateTime(QDate(2026, 12, 9), QTime(18, 0, 0))));
    QVERIFY(dm.OpenQuery(scratchRows(), Statement{QStringLiteral("select username, btime, jtime from rz"), {}}));
    QCOMPARE(scratchRows().value(0, 0).toString(), QStringLiteral("O'Neil"));
    QCOMPARE(scratchRows().value(0, 1).toString(), QStringLiteral("2026-12-09 08:05:01"));
    QCOMPARE(scratchRows().value(0, 2).toString(), QStringLiteral("2026-12-09 18:00:00"));
}

void TestStore::requireTextWarnsAndFocuses()
{
    RecordingPort port;
    QWidget window;
    auto* filled = new QLineEdit(QStringLiteral(" x "), &window);
    auto* blank = new QLineEdit(QStringLiteral(" \t "), &window);
    auto* combo = new QComboBox(&window);
    combo->setEditable(true);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    filled->setFocus();

    QVERIFY(RequireText(filled, QStringLiteral("unused")));
    QVERIFY(port.entries.isEmpty());
    QVERIFY(!RequireText(blank, QStringLiteral("商品名称必须输入！")));
    QCOMPARE(port.entries.size(), 1);
    QCOMPARE(port.entries.at(0).kind, QStringLiteral("warning"));
    QCOMPARE(port.entries.at(0).title, QStringLiteral("Warning"));
    QCOMPARE(port.entries.at(0).text, QStringLiteral("商品名称必须输入！"));
    QTRY_VERIFY(blank->hasFocus());
    QVERIFY(!RequireText(combo, QStringLiteral("类别")));
    QTRY_VERIFY(combo->hasFocus());
    // A hidden control cannot take the focus: the platform's error follows the warning.
    port.clear();
    combo->hide();
    QVERIFY(!RequireText(combo, QStringLiteral("类别")));
    QCOMPARE(port.texts(),
             (QStringList{QStringLiteral("类别"), QStringLiteral("Cannot focus a disabled or invisible window")}));
}

void TestStore::fillDistinctListGroupsCaseInsensitively()
{
    TestShop shop;
    Tdmfm& dm = shop.dm();
    QComboBox list;
    list.setEditable(true);
    list.addItem(QStringLiteral("old"));
    list.setCurrentText(QStringLiteral("typed"));
    FillDistinctList(dm, QStringLiteral("g"), QStringLiteral("data"), &list);
    QCOMPARE(list.count(), 0);
    QCOMPARE(list.currentText(), QString());

    shop.addStock(QStringLiteral("a"), {}, QStringLiteral("1"), QStringLiteral("k"), 1, 1, 1,
                  QStringLiteral("2026-01-01"), QStringLiteral("Nike"));
    shop.addStock(QStringLiteral("b"), {}, QStringLiteral("2"), QStringLiteral("k"), 1, 1, 1,
                  QStringLiteral("2026-01-01"), QStringLiteral("NIKE"));
    shop.addStock(QStringLiteral("c"), {}, QStringLiteral("3"), QStringLiteral("k"), 1, 1, 1,
                  QStringLiteral("2026-01-01"), QStringLiteral("Adi"));
    QVERIFY(dm.appendRow(QStringLiteral("data"), {{QString(stockcol::name), QStringLiteral("d")}})); // supplier NULL
    list.setCurrentText(QStringLiteral("typed"));
    FillDistinctList(dm, QStringLiteral("g"), QStringLiteral("data"), &list);
    QCOMPARE(list.count(), 3);
    QCOMPARE(list.itemText(0), QString());
    QCOMPARE(list.itemText(1), QStringLiteral("Adi"));
    QCOMPARE(list.itemText(2).toLower(), QStringLiteral("nike"));
    QCOMPARE(list.currentText(), QString());

    // A statement that fails leaves the list empty after the engine's message.
    RecordingPort port;
    FillDistinctList(dm, QStringLiteral("nosuch"), QStringLiteral("data"), &list);
    QCOMPARE(list.count(), 0);
    QCOMPARE(port.entries.size(), 1);
}

void TestStore::textsSortInPinyinOrder()
{
    TestShop shop;
    Tdmfm& dm = shop.dm();
    RecordingPort port;
    const QStringList names{QStringLiteral("飞燕健身手套"), QStringLiteral("羽毛球拍"), QStringLiteral("飞燕乒乓球拍"),
                            QStringLiteral("阿迪跑鞋"), QStringLiteral("篮球")};
    const QStringList categories{QStringLiteral("乒羽用品"), QStringLiteral("健身器材"), QStringLiteral("户外用品"),
                                 QStringLiteral("球类"), QStringLiteral("健身器材")};
    for (int i = 0; i < names.size(); ++i)
        shop.addStock(names.at(i), {}, QString::number(i), categories.at(i), 1, 1, 1);

    // Distinct lists: hu, jian, ping, qiu.
    QComboBox list;
    FillDistinctList(dm, QStringLiteral("d"), QStringLiteral("data"), &list);
    QStringList shown;
    for (int i = 0; i < list.count(); ++i)
        shown << list.itemText(i);
    QCOMPARE(shown, (QStringList{QStringLiteral("户外用品"), QStringLiteral("健身器材"), QStringLiteral("乒羽用品"),
                                 QStringLiteral("球类")}));

    // A title-click sort, descending: yu, lan, fei-yan-ping, fei-yan-jian, a.
    RowSet& set = dm.stock().list();
    QVERIFY(dm.OpenQuery(set, stockq::listAll(stockq::ZeroStock::Shown)));
    set.sort(QStringLiteral("a DESC"));
    QStringList sorted;
    for (int r = 0; r < set.rowCount(); ++r)
        sorted << set.value(r, stockcol::name).toString();
    const QStringList descending{QStringLiteral("羽毛球拍"), QStringLiteral("篮球"), QStringLiteral("飞燕乒乓球拍"),
                                 QStringLiteral("飞燕健身手套"), QStringLiteral("阿迪跑鞋")};
    QCOMPARE(sorted, descending);

    // The database's order, the collator's and the sort keys' are one order.
    QVERIFY(dm.OpenQuery(
        scratchRows(),
        Statement{QStringLiteral("select a from data order by a collate %1").arg(QLatin1String(chinese::kCollation)),
                  {}}));
    QStringList byEngine;
    for (int r = 0; r < scratchRows().rowCount(); ++r)
        byEngine.prepend(scratchRows().value(r, 0).toString());
    QCOMPARE(byEngine, descending);
    const QStringList texts{QStringLiteral("Nike"),  QStringLiteral("NIKE"),       QStringLiteral("nike "),
                            QStringLiteral("a\x01"), QStringLiteral("a"),          QStringLiteral("Ａ"),
                            QStringLiteral("店员"),  QStringLiteral("超级管理员"), QString()};
    for (const QString& x : texts) {
        for (const QString& y : texts) {
            const int c = chinese::compare(x, y);
            QCOMPARE(chinese::sortKey(x).compare(chinese::sortKey(y)), c);
            QCOMPARE(chinese::compare(y, x), -c);
            // Equal exactly when the NOCASE columns call them equal, so GROUP BY merges nothing else.
            QCOMPARE(c == 0, x.compare(y, Qt::CaseInsensitive) == 0);
        }
    }
    QVERIFY(chinese::compare(QStringLiteral("超级管理员"), QStringLiteral("店员")) < 0);
    QVERIFY(port.entries.isEmpty());
}

void TestStore::slipLookupMatchesContainment_data()
{
    QTest::addColumn<QString>("fragment");
    QTest::newRow("a number") << "20260105001";
    QTest::newRow("inside a four-digit sequence") << "20260105100"; // 202601051000 contains it
    QTest::newRow("part of numbers") << "0105";
    QTest::newRow("only longer ones") << "2026010510";
    QTest::newRow("none") << "20260105999";
    QTest::newRow("letters in any case") << "ab7";
    QTest::newRow("wildcard") << "2026_105%1";
    QTest::newRow("empty") << "";
}

// The slip's lookup lists exactly the rows a LIKE '%fragment%' scan lists, in stored order.
void TestStore::slipLookupMatchesContainment()
{
    QFETCH(QString, fragment);
    TestShop shop;
    Tdmfm& dm = shop.dm();
    const QStringList numbers{
        QStringLiteral("20260105001"),  QStringLiteral("20260105100"), QStringLiteral("202601051000"),
        QStringLiteral("x20260105001"), QStringLiteral("20260105001"), QStringLiteral("2026010500"),
        QStringLiteral("AB7"),          QStringLiteral("ab7"),         QString(),
        QStringLiteral("20260105 001"), QStringLiteral("2026010510"),  QStringLiteral("售20260105100号")};
    for (const QString& z : numbers)
        QVERIFY(
            dm.appendRow(QStringLiteral("data1"), {{QString(salecol::saleNumber), z}, {QString(salecol::name), z}}));
    QString error;
    QVERIFY(dm.db().exec(QStringLiteral("insert into data1 (a) values ('no number')"), &error));

    auto ids = [&](const Statement& st) {
        QueryResult r;
        if (!dm.db().query(st, &r, &error))
            qWarning("%s", qPrintable(error));
        QList<qint64> out;
        const int id = int(r.columns.indexOf(QStringLiteral("ID")));
        for (const auto& row : r.rows)
            out << row.at(id).toLongLong();
        return out;
    };
    const Statement scan{QStringLiteral("select * from data1 where z like ? order by rowid"),
                         {QStringLiteral("%") + fragment + QStringLiteral("%")}};
    const Statement slip = salelookup::slipRows(fragment);
    QCOMPARE(ids(slip), ids(scan));

    // A sale number is found through the indexes, without reading every row.
    if (fragment == QLatin1String("20260105001")) {
        QCOMPARE(ids(slip).size(), 3);
        QueryResult plan;
        QVERIFY(dm.db().query(Statement{QStringLiteral("explain query plan ") + slip.sql, slip.params}, &plan, &error));
        QString steps;
        for (const auto& row : plan.rows)
            steps += row.last().toString() + QLatin1Char('\n');
        QVERIFY2(!steps.contains(QLatin1String("SCAN")), qPrintable(steps));
        QVERIFY2(steps.contains(QLatin1String("data1_z ")), qPrintable(steps));
        QVERIFY2(steps.contains(QLatin1String("data1_z_length")), qPrintable(steps));
    }
}

// A file of the first version gets the sale number indexes when it is opened.
void TestStore::olderFileGetsSaleNumberIndexes()
{
    TestShop shop;
    QString error;
    {
        Database db;
        QVERIFY(db.open(shop.dbPath(), false, &error));
        QVERIFY(db.exec(QStringLiteral("DROP INDEX data1_z_length"), &error));
        QVERIFY(db.exec(QStringLiteral("DROP INDEX data1_z"), &error));
        QVERIFY(db.exec(QStringLiteral("PRAGMA user_version = 1"), &error));
    }
    Tdmfm& dm = shop.dm();
    QueryResult r;
    QVERIFY(dm.db().query(Statement{QStringLiteral("PRAGMA user_version"), {}}, &r, &error));
    QCOMPARE(r.rows.at(0).at(0).toLongLong(), qint64(schema::kVersion));
    QVERIFY(dm.db().query(Statement{QStringLiteral("select name from sqlite_master where type='index' and "
                                                   "tbl_name='data1' order by name"),
                                    {}},
                          &r, &error));
    QStringList names;
    for (const auto& row : r.rows)
        names << row.at(0).toString();
    QCOMPARE(names,
             (QStringList{QStringLiteral("data1_day1"), QStringLiteral("data1_z"), QStringLiteral("data1_z_length")}));
    QCOMPARE(schema::check(dm.db()), QStringList());
}

void TestStore::keptCustomerNamesEqualTheEngines()
{
    TestShop shop;
    Tdmfm& dm = shop.dm();
    RecordingPort port;
    const qint64 id = shop.addStock(QStringLiteral("篮球"), QStringLiteral("7号"), QStringLiteral("1"),
                                    QStringLiteral("球类"), 12, 500, 19.9);
    const auto engineNames = [&] {
        RowSet set(QStringLiteral("check"));
        QStringList names;
        if (dm.OpenDistinctColumn(set, QStringLiteral("g"), QStringLiteral("data1")))
            for (int row = 0; row < set.rowCount(); ++row)
                names << set.value(row, 0).toString();
        return names;
    };
    saleops::SaleInput in;
    in.stockRowId = id;
    in.quantity = QStringLiteral("1");
    in.price = QStringLiteral("19.9");
    in.saleNumber = QStringLiteral("20260105001");
    in.saleDate = QStringLiteral("2026-01-05");
    const auto sellTo = [&](const QString& customer) {
        in.customer = customer;
        return saleops::recordSale(dm, in);
    };
    QVERIFY(sellTo(QStringLiteral("Bob")));
    // Enough sale rows for about 2 MB of pages.
    QString error;
    QVERIFY2(
        dm.db().exec(QStringLiteral("with recursive s(i) as (select 1 union all select i + 1 from s where i < 20000) "
                                    "insert into data1 (a, g, h) select 'n' || i, 'c' || (i % 7), "
                                    "printf('%.60d', i) from s"),
                     &error),
        qPrintable(error));
    QStringList kept;
    const auto readKept = [&] {
        const Result<QStringList> names = dm.sales().customerNames();
        kept = names.valueOr({});
        return names.ok();
    };
    QVERIFY(readKept()); // read once here, kept from now on
    // That read went through every sale row: the engine keeps their pages no longer.
    int cached = -1, highest = 0;
    QCOMPARE(sqlite3_db_status(dm.db().handle(), SQLITE_DBSTATUS_CACHE_USED, &cached, &highest, 0), SQLITE_OK);
    QVERIFY2(cached < 100000, qPrintable(QString::number(cached)));
    QCOMPARE(kept, engineNames());
    // New names in the middle and at both ends, a name in another letter case,
    // blanks, an apostrophe, Chinese names and one only in full-width letters.
    for (const QString& customer :
         {QStringLiteral("张三"), QStringLiteral("bob"), QStringLiteral("阿强"), QStringLiteral(" Ann "), QString(),
          QStringLiteral("O'Neil"), QStringLiteral("Ｂｏｂ"), QStringLiteral("李四"), QStringLiteral("张三"),
          QStringLiteral("zed")}) {
        QVERIFY(sellTo(customer));
        QVERIFY(readKept());
        QStringList engine = engineNames();
        QCOMPARE(kept.size(), engine.size());
        for (int i = 0; i < kept.size(); ++i) // one spelling of a group, whichever the list shows
            QCOMPARE(kept.at(i).toLower(), engine.at(i).toLower());
    }
    // A sale another program stored is read at the next refill.
    Database other;
    QVERIFY2(other.open(shop.dbPath(), false, &error), qPrintable(error));
    QVERIFY(
        other.exec(Statement{QStringLiteral("insert into data1 (g) values (?)"), {QStringLiteral("外来客")}}, &error));
    QVERIFY(readKept());
    QVERIFY(kept.contains(QStringLiteral("外来客")));
    QCOMPARE(kept, engineNames());
    QVERIFY(port.entries.isEmpty());
}

void TestStore::stockIdentitiesAreNeverReused_data()
{
    QTest::addColumn<bool>("older");
    QTest::newRow("new file") << false;
    QTest::newRow("file of version 2") << true;
}

void TestStore::stockIdentitiesAreNeverReused()
{
    QFETCH(bool, older);
    TestShop shop;
    QString error;
    if (older) {
        Database db;
        QVERIFY(db.open(shop.dbPath(), false, &error));
        QVERIFY2(makeVersion2(db, &error), qPrintable(error));
        // Rows 3 to 6 were deleted long ago; the sale of row 7 was written then.
        for (const qint64 id : {1, 2, 7})
            QVERIFY2(
                db.exec(Statement{QStringLiteral("insert into data (rowid, a, c, [1], [2], [5], [6], [7], [8], day1) "
                                                 "values (?, ?, '6901', 12, 10, 0, 0, 10, 120, '2026-01-05')"),
                                  {id, QStringLiteral("商品%1").arg(id)}},
                        &error),
                qPrintable(error));
        QVERIFY(db.exec(QStringLiteral("insert into data1 (a, c, [3], day2) values ('商品7', '6901', 1, '2026-01-05')"),
                        &error));
    }
    Tdmfm& dm = shop.dm();
    QVERIFY(dm.db().isOpen());
    QueryResult r;
    QVERIFY(dm.db().query(Statement{QStringLiteral("PRAGMA user_version"), {}}, &r, &error));
    QCOMPARE(r.rows.at(0).at(0).toLongLong(), qint64(schema::kVersion));
    QCOMPARE(schema::check(dm.db()), QStringList());
    if (older) {
        // Every row keeps its identity, its texts and its figures; the index is back.
        QVERIFY(
            dm.db().query(Statement{QStringLiteral("select rowid, a, [8] from data order by rowid"), {}}, &r, &error));
        QCOMPARE(r.rows.size(), 3);
        QCOMPARE(r.rows.at(2), (QVector<QVariant>{qint64(7), QStringLiteral("商品7"), 120.0}));
        QVERIFY(dm.db().query(
            Statement{QStringLiteral("select count(*) from sqlite_master where type='index' and name='data_day1'"), {}},
            &r, &error));
        QCOMPARE(r.rows.at(0).at(0).toLongLong(), qint64(1));
        QVERIFY(dm.db().query(Statement{QStringLiteral("select stockrow from data1"), {}}, &r, &error));
        QVERIFY(r.rows.at(0).at(0).isNull());
    } else {
        shop.addStock(QStringLiteral("篮球"), {}, QStringLiteral("1"), QStringLiteral("k"), 1, 1, 1);
        shop.addStock(QStringLiteral("足球"), {}, QStringLiteral("2"), QStringLiteral("k"), 1, 1, 1);
    }
    // The last row deleted: the next row gets a new identity, never the deleted one.
    QVERIFY(dm.db().query(Statement{QStringLiteral("select max(rowid) from data"), {}}, &r, &error));
    const qint64 last = r.rows.at(0).at(0).toLongLong();
    QVERIFY(dm.db().exec(Statement{QStringLiteral("delete from data where rowid=?"), {last}}, &error));
    const qint64 next = shop.addStock(QStringLiteral("排球"), {}, QStringLiteral("3"), QStringLiteral("k"), 1, 1, 1);
    QCOMPARE(next, last + 1);
    // The stock list shows the stock columns; the key stays the hidden row identity.
    QVERIFY(dm.OpenQuery(dm.stock().list(), stockq::listAll(stockq::ZeroStock::Shown)));
    QCOMPARE(dm.stock().list().rowId(dm.stock().list().rowCount() - 1), next);
}

// The in-memory tables and the change signal learn of a write only when it is
// committed: once per commit, with exactly the rows it wrote, and never of a
// write that was rolled back or refused.
void TestStore::writesArePublishedOnceAfterTheirCommit()
{
    TestShop shop;
    Tdmfm& dm = shop.dm();
    const qint64 ball =
        shop.addStock(QStringLiteral("篮球"), {}, QStringLiteral("1"), QStringLiteral("k"), 12, 10, 19.9);
    shop.addStock(QStringLiteral("足球"), {}, QStringLiteral("2"), QStringLiteral("k"), 12, 10, 19.9);
    QVERIFY(dm.stock().showAll(stockq::ZeroStock::Shown));
    QVERIFY(dm.sales().fresh());
    QList<StoreChange> published;
    connect(&dm, &Tdmfm::changed, &dm, [&](const StoreChange& c) { published << c; });
    QSignalSpy stockRowsRead(&dm.stock().table(), &MemTable::rowChanged);
    const auto listedRemark = [&] {
        const MemTable& t = dm.stock().table();
        return t.value(t.position(ball), t.columnIndex(QString(stockcol::remark)));
    };

    {
        Transaction t(dm.db(), Transaction::Lock::Immediate);
        QVERIFY(t.begun());
        QString error;
        QVERIFY(dm.db().exec(Statement{QStringLiteral("update data set z='草稿' where rowid=?"), {ball}}, &error));
        QVERIFY(dm.appendRow(QStringLiteral("data1"), {{QString(salecol::name), QStringLiteral("草稿")}}));
        QVERIFY(published.isEmpty()); // not before the commit
    }                                 // rolled back
    QString error;
    QVERIFY(
        dm.db().exec(Statement{QStringLiteral("select 1"), {}}, &error)); // a later statement publishes nothing either
    QVERIFY(published.isEmpty());
    QCOMPARE(stockRowsRead.count(), 0);
    QCOMPARE(dm.sales().table().rowCount(), 0);
    QVERIFY(listedRemark().toString().isEmpty());

    // Refused before anything was written: nothing.
    saleops::SaleInput tooMany = saleOf(ball);
    tooMany.quantity = QStringLiteral("11");
    const Result<qint64> refused = saleops::recordSale(dm, tooMany);
    QVERIFY(refused.is(Error::Kind::Shortage));
    QCOMPARE(refused.error().onHand, QStringLiteral("10"));
    QVERIFY(published.isEmpty());

    // A committed sale: one publication with its stock row and its sale row.
    const Result<qint64> sale = saleops::recordSale(dm, saleOf(ball));
    QVERIFY(sale);
    QCOMPARE(published.size(), 1);
    QCOMPARE(published.at(0).stockRows, QList<qint64>{ball});
    QCOMPARE(published.at(0).saleRows, QList<qint64>{*sale});
    QCOMPARE(stockRowsRead.count(), 1);
    const MemTable& stock = dm.stock().table();
    QCOMPARE(stock.value(stock.position(ball), stock.columnIndex(QString(stockcol::stockQuantity))), QVariant(8.0));
    QCOMPARE(dm.sales().table().rowCount(), 1);
    QVERIFY(dm.sales().table().position(*sale) >= 0);
}

void TestStore::saleRefusesARowThatHoldsAnotherArticle_data()
{
    QTest::addColumn<QString>("change"); // done to the stock row after the panel showed it

    QTest::newRow("unchanged") << "";
    QTest::newRow("another name") << "update data set a='足球'";
    QTest::newRow("another code") << "update data set c='6902'";
    QTest::newRow("another stock-in date") << "update data set day1='2026-01-06'";
    QTest::newRow("deleted and written again") << "delete from data; insert into data (rowid, a, c, [1], [5], [6], "
                                                  "[7], [8], day1) values (1, '足球', '6902', 1, 0, 0, 9, 9, "
                                                  "'2026-01-06')";
}

void TestStore::saleRefusesARowThatHoldsAnotherArticle()
{
    QFETCH(QString, change);
    TestShop shop;
    Tdmfm& dm = shop.dm();
    const qint64 id = shop.addStock(QStringLiteral("篮球"), QStringLiteral("7号"), QStringLiteral("6901"),
                                    QStringLiteral("球类"), 12, 10, 19.9);
    QCOMPARE(id, qint64(1));
    saleops::SaleInput in = saleOf(id);
    in.shownName = QStringLiteral("篮球");
    in.shownCode = QStringLiteral("6901");
    in.shownStockInDate = QStringLiteral("2026-01-05");
    QString error;
    for (const QString& sql : change.split(QStringLiteral("; "), Qt::SkipEmptyParts))
        QVERIFY2(dm.db().exec(sql, &error), qPrintable(error));
    const QVector<QVariant> before = stockFiguresOf(dm, id);
    if (change.isEmpty()) {
        QVERIFY(saleops::recordSale(dm, in));
        QCOMPARE(saleRowCount(dm), qint64(1));
        return;
    }
    const Result<qint64> refused = saleops::recordSale(dm, in);
    QVERIFY(refused.is(Error::Kind::Replaced));
    QVERIFY2(refused.error().text.contains(QStringLiteral("销售没有保存")), qPrintable(refused.error().text));
    QCOMPARE(stockFiguresOf(dm, id), before);
    QCOMPARE(saleRowCount(dm), qint64(0));
}

void TestStore::emptyStockFigureStopsTheSale_data()
{
    QTest::addColumn<QString>("column");
    QTest::addColumn<QVariant>("value");

    for (const char* column : {"1", "5", "6", "7", "8"})
        QTest::addRow("[%s] empty", column) << QString::fromLatin1(column) << QVariant();
    QTest::addRow("[%s] empty text", "1") << QStringLiteral("1") << QVariant(QString());
    QTest::addRow("[%s] no number", "6") << QStringLiteral("6") << QVariant(QStringLiteral("abc"));
}

void TestStore::emptyStockFigureStopsTheSale()
{
    QFETCH(QString, column);
    QFETCH(QVariant, value);
    TestShop shop;
    Tdmfm& dm = shop.dm();
    const qint64 id = shop.addStock(QStringLiteral("篮球"), {}, QStringLiteral("1"), QStringLiteral("k"), 12, 10, 19.9);
    QString error;
    QVERIFY(
        dm.db().exec(Statement{QStringLiteral("update data set %1=?").arg(quoteIdentifier(column)), {value}}, &error));
    const QVector<QVariant> before = stockFiguresOf(dm, id);
    const Result<qint64> refused = saleops::recordSale(dm, saleOf(id));
    QVERIFY(refused.is(Error::Kind::Invalid));
    QCOMPARE(refused.error().text, num::invalidDecimalText(value.toString()));
    QCOMPARE(stockFiguresOf(dm, id), before);
    QCOMPARE(saleRowCount(dm), qint64(0));
}

void TestStore::emptyFigureStopsTheDeletion_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("column");

    for (const char* column : {"5", "6", "7", "8"})
        QTest::addRow("stock [%s]", column) << QStringLiteral("data") << QString::fromLatin1(column);
    for (const char* column : {"1", "3", "4"})
        QTest::addRow("sale [%s]", column) << QStringLiteral("data1") << QString::fromLatin1(column);
}

void TestStore::emptyFigureStopsTheDeletion()
{
    QFETCH(QString, table);
    QFETCH(QString, column);
    TestShop shop;
    Tdmfm& dm = shop.dm();
    const qint64 id = shop.addStock(QStringLiteral("篮球"), {}, QStringLiteral("1"), QStringLiteral("k"), 12, 10, 19.9);
    QVERIFY(saleops::recordSale(dm, saleOf(id)));
    QString error;
    QVERIFY(dm.db().exec(QStringLiteral("update %1 set %2=NULL").arg(table, quoteIdentifier(column)), &error));
    const QVector<QVariant> before = stockFiguresOf(dm, id);
    const Result<saleops::Deleted> refused = saleops::deleteSale(dm, 1, false);
    QVERIFY(refused.is(Error::Kind::Invalid));
    QCOMPARE(refused.error().text, num::invalidDecimalText(QString()));
    QCOMPARE(stockFiguresOf(dm, id), before);
    QCOMPARE(saleRowCount(dm), qint64(1));
}

QTEST_MAIN(TestStore)
#include "tst_store.moc"
