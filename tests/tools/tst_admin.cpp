#include "store/database.h"
#include "store/schema.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {

struct Run
{
    int code;
    QString out;
    QString err;
};

Run admin(const QStringList& args, const QByteArray& input = {}, const QString& cwd = {})
{
    QProcess p;
    if (!cwd.isEmpty())
        p.setWorkingDirectory(cwd);
    p.start(QStringLiteral(TARVIK_ADMIN_PATH), args);
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(120000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

class TestAdmin : public QObject
{
    Q_OBJECT

private slots:
    void initCreatesOnceAndCheckAgrees();
    void checkReportsMissingColumn();
    void pinyinAndCapital();
    void demoKeepsTheStockRules();
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

void TestAdmin::pinyinAndCapital()
{
    Run r = admin({QStringLiteral("pinyin"), QStringLiteral("李宁"), QStringLiteral("Nike 2013")});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QStringLiteral("ln\nNike!013\n"));
    r = admin({QStringLiteral("pinyin")}, QStringLiteral("乒乓球拍\n羽毛球\n").toUtf8());
    QCOMPARE(r.out, QStringLiteral("ppqp\nymq\n"));
    r = admin({QStringLiteral("capital"), QStringLiteral("1005.05")});
    QCOMPARE(r.out, QStringLiteral("壹仟零伍元零伍分\n"));
    r = admin({QStringLiteral("capital"), QStringLiteral("-5")});
    QCOMPARE(r.code, 1);
    QVERIFY(r.out.isEmpty());
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
    QVERIFY(db.query(Statement{QStringLiteral("select rowid,[1],[2],[3],[5],[6],[7],[8],e from data"), {}}, &stock, &error));
    QCOMPARE(stock.rows.size(), 60);
    QVERIFY(db.query(Statement{QStringLiteral("select d.rowid, sum(s.[3]), sum(s.[4]), count(*) from data d join data1 s "
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
        QVERIFY(near(row.at(3).toDouble(), cost * in));                 // purchase amount
        QVERIFY(near(row.at(6).toDouble(), in - soldQty));              // stock on hand
        QVERIFY(row.at(6).toDouble() >= 0);                              // never sold short
        QVERIFY(near(row.at(7).toDouble(), (in - soldQty) * cost));     // stock amount
        QVERIFY(!row.at(8).toString().isEmpty());                       // initials stored
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
        const double expected = std::round((row.at(1).toDouble() - row.at(0).toDouble()) * row.at(2).toDouble() * 100) / 100;
        QVERIFY(near(row.at(3).toDouble(), expected));
        QCOMPARE(row.at(4).toString().left(8), row.at(5).toString().remove(QLatin1Char('-')));
    }
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
