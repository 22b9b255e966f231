#include "adminrun.h"
#include "core/numbers.h"
#include "store/db/columns.h"
#include "store/db/database.h"
#include "store/db/schema.h"
#include "store/ops/saleops.h"
#include "store/ops/tdmfm.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <filesystem>

namespace {

using Run = AdminRun;

Run admin(const QStringList& args, const QByteArray& input = {}, const QString& cwd = {})
{
    return runAdmin(args, cwd, input);
}

// Runs the admin tool from a bash script ($ADMIN names it), for what QProcess
// cannot do itself: file size limits and arguments that are not valid UTF-8.
Run adminInShell(const QString& script, const QString& cwd)
{
    QProcess p;
    p.setWorkingDirectory(cwd);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ADMIN"), QStringLiteral(TARVIK_ADMIN_PATH));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("bash"), {QStringLiteral("-c"), script});
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

} // namespace

class TestAdmin : public QObject
{
    Q_OBJECT

private slots:
    void initCreatesOnceAndCheckAgrees();
    void initIsAllOrNothing();
    void checkReportsMissingColumn();
    void checkFailsOnOneLine_data();
    void checkFailsOnOneLine();
    void pinyinAndCapital();
    void capitalRefusesWhatItCannotWrite_data();
    void capitalRefusesWhatItCannotWrite();
    void folderIsUsedAsTheBytesGiven();
    void leftoversOfKilledRunsGoAtTheNextStart();
    void demoKeepsTheStockRules();
    void demoRowsAreWhatTheSaleOperationWrites();
    void demoFailingHalfWayLeavesNothing();
    void importAddsRowsOrNothing();
    void usageAndErrors();
};

void TestAdmin::initCreatesOnceAndCheckAgrees()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("shop"));
    Run r = admin({QStringLiteral("init"), folder});
    QCOMPARE(r.code, 0);
    const QString path = folder + QStringLiteral("/data.mdb");
    QVERIFY(QFile::exists(path));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();

    r = admin({QStringLiteral("init"), folder});
    QCOMPARE(r.code, 1);
    QVERIFY(r.err.contains(QStringLiteral("already exists")));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    f.close();

    r = admin({QStringLiteral("check")}, {}, folder); // default: data.mdb of the current folder
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.contains(QStringLiteral("present")));
}

void TestAdmin::initIsAllOrNothing()
{
    QTemporaryDir dir;
    // The file size limit kills the tool in the middle of writing the database,
    // as a kill or a power cut would.
    Run r = adminInShell(QStringLiteral("ulimit -f 8; exec \"$ADMIN\" init shop"), dir.path());
    QVERIFY(r.code != 0);
    const QString folder = dir.filePath(QStringLiteral("shop"));
    QVERIFY2(!QFile::exists(folder + QStringLiteral("/data.mdb")), qPrintable(entries(folder).join(QLatin1Char(' '))));
    QCOMPARE(QDir(folder).entryList({QStringLiteral("data.mdb.*.new")}).size(), 1); // the half-written file

    // Nothing stands in the way of the next try, and what it creates is
    // complete; the half-written file of the killed one is gone.
    r = admin({QStringLiteral("init"), folder});
    QCOMPARE(r.code, 0);
    QCOMPARE(entries(folder), QStringList{QStringLiteral("data.mdb")});
    r = admin({QStringLiteral("check"), folder + QStringLiteral("/data.mdb")});
    QCOMPARE(r.code, 0);
    QFileInfo created(folder + QStringLiteral("/data.mdb"));
    QVERIFY(created.permissions().testFlag(QFile::ReadOther));
}

void TestAdmin::checkReportsMissingColumn()
{
    QTemporaryDir dir;
    QCOMPARE(admin({QStringLiteral("init"), dir.path()}).code, 0);
    const QString path = dir.filePath(QStringLiteral("data.mdb"));
    {
        Database db;
        QString error;
        QVERIFY(db.open(path, false, &error));
        QVERIFY(db.exec(QStringLiteral("DROP TABLE rz"), &error));
        QVERIFY(db.exec(QStringLiteral("CREATE TABLE rz (id INTEGER PRIMARY KEY, username TEXT, btime TEXT)"), &error));
    }
    Run r = admin({QStringLiteral("check"), path});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains(QStringLiteral("table rz has no column jtime")), qPrintable(r.err));

    QFile plain(dir.filePath(QStringLiteral("plain.txt")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.write("hello");
    plain.close();
    r = admin({QStringLiteral("check"), plain.fileName()});
    QCOMPARE(r.code, 1);
    QVERIFY(r.err.contains(QStringLiteral("not a database")));
}

void TestAdmin::checkFailsOnOneLine_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("message");

    QTest::newRow("integrity") << "index"
                               << "integrity check failed";
    // The engine tells of a page that belongs to nothing in two lines of its own.
    QTest::newRow("page used by nothing") << "page"
                                          << "integrity check failed: *** in database main *** Page";
    QTest::newRow("newer schema") << "version"
                                  << "newer version of the program (schema 99)";
    QTest::newRow("no super administrator") << "admin"
                                            << "no 超级管理员";
    QTest::newRow("stock rows without their key") << "key"
                                                  << "row identities could be reused";
}

void TestAdmin::checkFailsOnOneLine()
{
    QFETCH(QString, damage);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QCOMPARE(admin({QStringLiteral("init"), dir.path()}).code, 0);
    const QString path = dir.filePath(QStringLiteral("data.mdb"));
    {
        Database db;
        QString error;
        QVERIFY(db.open(path, false, &error));
        if (damage == QLatin1String("index")) {
            // The index is declared on another column than the one it was built
            // from: its entries no longer match the rows.
            QVERIFY(db.exec(QStringLiteral("insert into data (a, day1) values ('x', '2026-01-05')"), &error));
            QVERIFY(db.exec(QStringLiteral("PRAGMA writable_schema = ON"), &error));
            QVERIFY(db.exec(QStringLiteral("update sqlite_master set sql='CREATE INDEX data_day1 ON data(a)' "
                                           "where name='data_day1'"),
                            &error));
        } else if (damage == QLatin1String("page")) {
            QVERIFY(db.exec(QStringLiteral("PRAGMA writable_schema = ON"), &error));
            QVERIFY(db.exec(QStringLiteral("delete from sqlite_master where name='data_day1'"), &error));
        } else if (damage == QLatin1String("version")) {
            QVERIFY(db.exec(QStringLiteral("PRAGMA user_version = 99"), &error));
        } else if (damage == QLatin1String("key")) {
            // Every column is there, but the rowid is bare again.
            QVERIFY(db.exec(QStringLiteral("CREATE TABLE plain AS SELECT a,b,c,d,e,f,g,[1],[2],[3],[4],[5],[6],[7],[8],"
                                           "z,day1 FROM data"),
                            &error));
            QVERIFY(db.exec(QStringLiteral("DROP TABLE data"), &error));
            QVERIFY(db.exec(QStringLiteral("ALTER TABLE plain RENAME TO data"), &error));
        } else {
            QVERIFY(db.exec(QStringLiteral("delete from userdb"), &error));
        }
    }
    const Run r = admin({QStringLiteral("check"), path});
    QCOMPARE(r.code, 1);
    QVERIFY(r.out.isEmpty());
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
}

void TestAdmin::pinyinAndCapital()
{
    Run r = admin({QStringLiteral("pinyin"), QStringLiteral("李宁"), QStringLiteral("Nike 2013")});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QStringLiteral("ln\nNike!013\n"));
    r = admin({QStringLiteral("pinyin")}, QStringLiteral("乒乓球拍\n羽毛球\n").toUtf8());
    QCOMPARE(r.out, QStringLiteral("ppqp\nymq\n"));
    r = admin({QStringLiteral("capital"), QStringLiteral("1005.05")});
    QCOMPARE(r.out, QStringLiteral("壹仟零伍元零伍分\n"));
    // The largest amount that still has units.
    r = admin({QStringLiteral("capital"), QString(28, QLatin1Char('9'))});
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.startsWith(QStringLiteral("玖仟玖佰玖拾玖亿亿亿")));
    r = admin({QStringLiteral("capital"), QStringLiteral("-5")});
    QCOMPARE(r.code, 1);
    QVERIFY(r.out.isEmpty());
}

void TestAdmin::capitalRefusesWhatItCannotWrite_data()
{
    QTest::addColumn<QString>("amount");

    QTest::newRow("two points") << "1.2.3";
    QTest::newRow("two leading points") << "..5";
    QTest::newRow("only a point") << ".";
    QTest::newRow("empty") << "";
    QTest::newRow("full-width digits") << QStringLiteral("１２");
    QTest::newRow("Arabic-Indic digits") << QStringLiteral("٣٤");
    QTest::newRow("sign") << "-5";
    QTest::newRow("beyond the units") << QStringLiteral("1") + QString(28, QLatin1Char('0'));
}

void TestAdmin::capitalRefusesWhatItCannotWrite()
{
    QFETCH(QString, amount);
    const Run r = admin({QStringLiteral("capital"), amount});
    QCOMPARE(r.code, 1);
    QVERIFY(r.out.isEmpty());
    QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
}

void TestAdmin::folderIsUsedAsTheBytesGiven()
{
    QTemporaryDir dir;
    // "shop" followed by the byte 0xFF, which no UTF-8 text holds.
    Run r = adminInShell(QStringLiteral("exec \"$ADMIN\" init \"$(printf 'shop\\377')\""), dir.path());
    QCOMPARE(r.code, 0);
    const QByteArray root = QFile::encodeName(dir.path());
    QVERIFY(std::filesystem::exists(std::filesystem::path((root + "/shop\xff/data.mdb").toStdString())));
    QVERIFY(!std::filesystem::exists(std::filesystem::path((root + "/shop\xef\xbf\xbd").toStdString())));
    r = adminInShell(QStringLiteral("exec \"$ADMIN\" check \"$(printf 'shop\\377/data.mdb')\""), dir.path());
    QCOMPARE(r.code, 0);
    r = adminInShell(QStringLiteral("exec \"$ADMIN\" demo --stock 5 --sales 5 \"$(printf 'other\\377')\""), dir.path());
    QCOMPARE(r.code, 0);
    QVERIFY(std::filesystem::exists(std::filesystem::path((root + "/other\xff/data.mdb").toStdString())));
}

void TestAdmin::leftoversOfKilledRunsGoAtTheNextStart()
{
    QTemporaryDir dir;
    const QString shop = dir.filePath(QStringLiteral("shop"));
    const QString usb = dir.filePath(QStringLiteral("usb"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("usb")));
    Run r = admin({QStringLiteral("demo"), QStringLiteral("--stock"), QStringLiteral("3000"), QStringLiteral("--sales"),
                   QStringLiteral("0"), shop});
    QCOMPARE(r.code, 0);
    QCOMPARE(admin({QStringLiteral("backup"), QStringLiteral("../usb/full.mdb")}, {}, shop).code, 0);
    QVERIFY(QFileInfo(shop + QStringLiteral("/data.mdb")).size() > 200 * 1024);
    // A backup and a restore killed half-way by the file size limit, as by a kill or a power cut.
    for (const QString& run : {QStringLiteral("backup ../usb/b.mdb"), QStringLiteral("restore ../usb/full.mdb")})
        QVERIFY(adminInShell(QStringLiteral("ulimit -f 100; exec \"$ADMIN\" %1").arg(run), shop).code != 0);
    const QStringList temporary{QStringLiteral("*.new")};
    QCOMPARE(QDir(shop).entryList(temporary).size(), 1);
    QCOMPARE(QDir(usb).entryList(temporary).size(), 1);

    // The program's start removes the one beside the database.
    QTemporaryDir config;
    QProcess program;
    program.setWorkingDirectory(shop);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.insert(QStringLiteral("HOME"), config.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(TARVIK_PROGRAM_PATH), QStringList());
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QDir(shop).entryList(temporary).isEmpty(), 60000);
    QCOMPARE(program.state(), QProcess::Running); // started, and waits for its user
    program.kill();
    program.waitForFinished();

    // The next backup to the same file removes the one beside it.
    QCOMPARE(admin({QStringLiteral("backup"), QStringLiteral("../usb/b.mdb")}, {}, shop).code, 0);
    QCOMPARE(entries(usb), (QStringList{QStringLiteral("b.mdb"), QStringLiteral("full.mdb")}));
}

void TestAdmin::demoKeepsTheStockRules()
{
    QTemporaryDir dir;
    Run r = admin({QStringLiteral("demo"), QStringLiteral("--stock"), QStringLiteral("60"), QStringLiteral("--sales"),
                   QStringLiteral("200"), dir.path()});
    QCOMPARE(r.code, 0);
    Database db;
    QString error;
    QVERIFY(db.open(dir.filePath(QStringLiteral("data.mdb")), false, &error));
    QVERIFY(schema::check(db).isEmpty());
    QueryResult stock, sold;
    QVERIFY(db.query(Statement{QStringLiteral("select rowid,[1],[2],[3],[5],[6],[7],[8],e from data"), {}}, &stock,
                     &error));
    QCOMPARE(stock.rows.size(), 60);
    QVERIFY(
        db.query(Statement{QStringLiteral("select d.rowid, sum(s.[3]), sum(s.[4]), count(*) from data d join data1 s "
                                          "on s.a=d.a and s.b=d.b and s.c=d.c and s.d=d.d and s.day2=d.day1 "
                                          "group by d.rowid"),
                           {}},
                 &sold, &error));
    QHash<qint64, QVector<QVariant>> perRow;
    for (const auto& row : sold.rows)
        perRow.insert(row.at(0).toLongLong(), row);
    auto near = [](double a, double b) { return std::fabs(a - b) < 1e-6; };
    int withSales = 0;
    for (const auto& row : stock.rows) {
        const double cost = row.at(1).toDouble(), in = row.at(2).toDouble(), soldQty = row.at(4).toDouble();
        QVERIFY(near(row.at(3).toDouble(), cost * in));             // purchase amount
        QVERIFY(near(row.at(6).toDouble(), in - soldQty));          // stock on hand
        QVERIFY(row.at(6).toDouble() >= 0);                         // never sold short
        QVERIFY(near(row.at(7).toDouble(), (in - soldQty) * cost)); // stock amount
        QVERIFY(!row.at(8).toString().isEmpty());                   // initials stored
        const auto s = perRow.value(row.at(0).toLongLong());
        if (!s.isEmpty()) {
            ++withSales;
            QVERIFY(near(s.at(1).toDouble(), soldQty));
            QVERIFY(near(s.at(2).toDouble(), row.at(5).toDouble()));
        } else {
            QCOMPARE(soldQty, 0.0);
        }
    }
    QVERIFY(withSales > 10);
    QueryResult profits;
    QVERIFY(db.query(Statement{QStringLiteral("select [1],[2],[3],a5,z,day1 from data1"), {}}, &profits, &error));
    for (const auto& row : profits.rows) {
        const double expected =
            std::round((row.at(1).toDouble() - row.at(0).toDouble()) * row.at(2).toDouble() * 100) / 100;
        QVERIFY(near(row.at(3).toDouble(), expected));
        QCOMPARE(row.at(4).toString().left(8), row.at(5).toString().remove(QLatin1Char('-')));
    }
}

void TestAdmin::demoRowsAreWhatTheSaleOperationWrites()
{
    // The demo computes its sales' figures itself. The same stock rows, with
    // the same sales and returns recorded one by one through the sale
    // operation, must end with exactly the same rows in both tables.
    QTemporaryDir dir;
    QCOMPARE(admin({QStringLiteral("demo"), QStringLiteral("--stock"), QStringLiteral("40"), QStringLiteral("--sales"),
                    QStringLiteral("400"), QStringLiteral("demo")},
                   {}, dir.path())
                 .code,
             0);
    QCOMPARE(admin({QStringLiteral("init"), QStringLiteral("replay")}, {}, dir.path()).code, 0);
    Database demo;
    QString error;
    QVERIFY(demo.open(dir.filePath(QStringLiteral("demo/data.mdb")), false, &error));
    const auto rows = [&](Database& db, const QString& table) {
        QueryResult r;
        const bool read = db.query(Statement{QStringLiteral("select rowid,* from %1 order by rowid").arg(table), {}},
                                   &r, &error);
        return read ? r : QueryResult{};
    };
    const QueryResult stock = rows(demo, QStringLiteral("data"));
    const QueryResult sales = rows(demo, QStringLiteral("data1"));
    QCOMPARE(stock.rows.size(), 40);
    const auto at = [](const QueryResult& r, int row, QLatin1StringView column) {
        return r.rows.at(row).at(r.columns.indexOf(QString(column)));
    };

    Tdmfm replay;
    QVERIFY(replay.open(dir.filePath(QStringLiteral("replay/data.mdb"))));
    for (int i = 0; i < stock.rows.size(); ++i) {
        // Each stock row as it was taken in: all of it in stock, nothing sold.
        QVariantMap row;
        for (int c = 2; c < stock.columns.size(); ++c)
            row.insert(stock.columns.at(c), stock.rows.at(i).at(c));
        row.insert(QString(stockcol::soldQuantity), 0.0);
        row.insert(QString(stockcol::salesAmount), 0.0);
        row.insert(QString(stockcol::stockQuantity), at(stock, i, stockcol::quantityIn));
        row.insert(QString(stockcol::stockAmount), at(stock, i, stockcol::purchaseAmount));
        const Result<qint64> id = replay.appendRow(QStringLiteral("data"), row);
        QVERIFY(id);
        QCOMPARE(*id, stock.rows.at(i).at(0).toLongLong());
    }
    int returns = 0;
    for (int i = 0; i < sales.rows.size(); ++i) {
        saleops::SaleInput in;
        in.stockRowId = at(sales, i, salecol::stockRowId).toLongLong();
        in.quantity = num::general(at(sales, i, salecol::quantity));
        in.price = num::general(at(sales, i, salecol::price));
        in.owed = num::general(at(sales, i, salecol::owed));
        in.saleNumber = at(sales, i, salecol::saleNumber).toString();
        in.saleDate = at(sales, i, salecol::saleDate).toString();
        in.customer = at(sales, i, salecol::customer).toString();
        in.address = at(sales, i, salecol::address).toString();
        in.contact = at(sales, i, salecol::contact).toString();
        in.customerRemark = at(sales, i, salecol::customerRemark).toString();
        returns += in.quantity.startsWith(QLatin1Char('-')) ? 1 : 0;
        const Result<qint64> id = saleops::recordSale(replay, in);
        QVERIFY2(id, qPrintable(id ? QString() : id.error().text));
    }
    QVERIFY(sales.rows.size() > 200);
    QVERIFY(returns > 5);

    for (const QString& table : {QStringLiteral("data"), QStringLiteral("data1")}) {
        const QueryResult made = rows(demo, table);
        const QueryResult recorded = rows(replay.db(), table);
        QCOMPARE(recorded.columns, made.columns);
        QCOMPARE(recorded.rows.size(), made.rows.size());
        for (int i = 0; i < made.rows.size(); ++i)
            for (int c = 0; c < made.columns.size(); ++c)
                QVERIFY2(recorded.rows.at(i).at(c) == made.rows.at(i).at(c),
                         qPrintable(QStringLiteral("%1 row %2 column %3: demo %4, sale operation %5")
                                        .arg(table)
                                        .arg(made.rows.at(i).at(0).toLongLong())
                                        .arg(made.columns.at(c), made.rows.at(i).at(c).toString(),
                                             recorded.rows.at(i).at(c).toString())));
    }
}

void TestAdmin::demoFailingHalfWayLeavesNothing()
{
    // Into an empty folder: the disk fills up half-way (a file size limit whose
    // signal is ignored makes the writes fail as on a full disk).
    QTemporaryDir dir;
    Run r = adminInShell(
        QStringLiteral("trap '' XFSZ; ulimit -f 200; exec \"$ADMIN\" demo --stock 3000 --sales 0 shop"), dir.path());
    QCOMPARE(r.code, 1);
    QVERIFY2(entries(dir.filePath(QStringLiteral("shop"))).isEmpty(),
             qPrintable(entries(dir.filePath(QStringLiteral("shop"))).join(QLatin1Char(' '))));

    // Into an existing shop: the sales cannot be written, so the stock rows
    // written before them must go too.
    QCOMPARE(admin({QStringLiteral("init"), dir.path()}).code, 0);
    const QString path = dir.filePath(QStringLiteral("data.mdb"));
    QString error;
    {
        Database db;
        QVERIFY(db.open(path, false, &error));
        QStringList cols;
        for (const QString& c : schema::saleColumns())
            cols << quoteIdentifier(c == QLatin1String("a5") ? QStringLiteral("5") : c);
        QVERIFY(db.exec(QStringLiteral("DROP TABLE data1"), &error));
        QVERIFY(db.exec(QStringLiteral("CREATE TABLE data1 (%1)").arg(cols.join(QLatin1Char(','))), &error));
    }
    r = admin({QStringLiteral("demo"), QStringLiteral("--stock"), QStringLiteral("20"), QStringLiteral("--sales"),
               QStringLiteral("20"), dir.path()});
    QCOMPARE(r.code, 1);
    Database db;
    QVERIFY(db.open(path, false, &error));
    QueryResult counts;
    QVERIFY(db.query(Statement{QStringLiteral("select (select count(*) from data), (select count(*) from data1)"), {}},
                     &counts, &error));
    QCOMPARE(counts.rows.at(0), (QVector<QVariant>{qint64(0), qint64(0)}));
}

void TestAdmin::importAddsRowsOrNothing()
{
    QTemporaryDir dir;
    QCOMPARE(admin({QStringLiteral("init"), dir.path()}).code, 0);
    const QString fixtures = QStringLiteral(TARVIK_SOURCE_DIR "/tests/fixtures/workbooks/");
    const auto stockRows = [&] {
        Database db;
        QString error;
        QueryResult r;
        if (!db.open(dir.filePath(QStringLiteral("data.mdb")), false, &error) ||
            !db.query(Statement{QStringLiteral("SELECT count(*) FROM data"), {}}, &r, &error))
            return -1;
        return r.rows.value(0).value(0).toInt();
    };
    // DATABASE defaults to data.mdb in the current folder.
    Run r = admin({QStringLiteral("import"), fixtures + QStringLiteral("stock.xls")}, {}, dir.path());
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.startsWith(QStringLiteral("Imported 3 stock rows")), qPrintable(r.out));
    QCOMPARE(stockRows(), 3);

    r = admin(
        {QStringLiteral("import"), fixtures + QStringLiteral("badrow7.xls"), dir.filePath(QStringLiteral("data.mdb"))});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
    QVERIFY2(r.err.contains(QStringLiteral("第 7 行 a2 列")), qPrintable(r.err));
    QCOMPARE(stockRows(), 3);

    r = admin(
        {QStringLiteral("import"), fixtures + QStringLiteral("stock.xls"), dir.filePath(QStringLiteral("none.mdb"))});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.startsWith(QStringLiteral("tarvik-admin: cannot open")), qPrintable(r.err));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("none.mdb"))));
    QCOMPARE(admin({QStringLiteral("import")}).code, 2);
}

void TestAdmin::usageAndErrors()
{
    QCOMPARE(admin({QStringLiteral("--help")}).code, 0);
    Run r = admin({QStringLiteral("bogus")});
    QCOMPARE(r.code, 2);
    QVERIFY(r.err.contains(QStringLiteral("unknown command")));
    QCOMPARE(admin({}).code, 2);
    QCOMPARE(admin({QStringLiteral("demo"), QStringLiteral("--stock"), QStringLiteral("x")}).code, 1);
}

QTEST_GUILESS_MAIN(TestAdmin)
#include "tst_admin.moc"
