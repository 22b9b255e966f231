// Sales recorded by a child process that is killed (SIGKILL) at placed moments:
// after every kill the file holds each sale whole or not at all, every stock row
// equals its stock-in figures minus its sales, and the engine finds the file sound.

#include "recordingport.h"
#include "testdb.h"

#include "store/db/schema.h"
#include "store/ops/saleops.h"
#include "store/ops/tdmfm.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

constexpr int kArticles = 12;
constexpr double kOnHand = 100000;

double costOf(int i)
{
    return 2.5 + i * 1.25;
}

QString codeOf(int i)
{
    return QStringLiteral("K%1").arg(i, 3, 10, QLatin1Char('0'));
}

// One line to the parent, written at once so that a kill right after it cannot lose it.
void say(const QByteArray& line)
{
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// The child: sells and takes back articles of the shop at `path` until it is killed.
// Before each sale it says "S", after a recorded one "D".
int sellUntilKilled(const QString& path, quint32 seed)
{
    RecordingPort port;
    Tdmfm dm;
    QString error;
    if (const Result<void> opened = dm.open(path); !opened) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.error().text));
        return 2;
    }
    QueryResult ids;
    if (!dm.db().query(Statement{QStringLiteral("select rowid from data order by c"), {}}, &ids, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    QRandomGenerator random(seed);
    say("ready");
    for (int n = 0;; ++n) {
        saleops::SaleInput in;
        in.stockRowId = ids.rows.at(random.bounded(int(ids.rows.size()))).at(0).toLongLong();
        const int quantity = random.bounded(5) == 0 ? -1 : 1 + random.bounded(3);
        in.quantity = QString::number(quantity);
        in.price =
            QStringLiteral("%1.%2").arg(10 + random.bounded(90)).arg(random.bounded(100), 2, 10, QLatin1Char('0'));
        in.saleNumber = QStringLiteral("20260105%1").arg(seed % 1000, 3, 10, QLatin1Char('0'));
        in.saleDate = QStringLiteral("2026-01-05");
        in.customer = QStringLiteral("顾客%1").arg(n);
        say("S");
        if (const Result<qint64> sold = saleops::recordSale(dm, in); !sold) {
            std::fprintf(stderr, "%s\n", qPrintable(sold.error().text));
            return 3;
        }
        say("D");
    }
}

QString money(const QVariant& v)
{
    return QString::number(v.toDouble(), 'f', 2);
}

qint64 count(Tdmfm& dm, const QString& sql)
{
    QueryResult r;
    QString error;
    if (!dm.db().query(Statement{sql, {}}, &r, &error)) {
        qWarning("%s", qPrintable(error));
        return -1;
    }
    return r.rows.value(0).value(0).toLongLong();
}

} // namespace

class TestSaleCrash : public QObject
{
    Q_OBJECT

private slots:
    void killedSalesLeaveWholeSalesOnly();
};

void TestSaleCrash::killedSalesLeaveWholeSalesOnly()
{
    TestShop shop;
    QVERIFY(shop.isValid());
    for (int i = 0; i < kArticles; ++i)
        QVERIFY(shop.addStock(QStringLiteral("球%1").arg(i), QString(), codeOf(i), QStringLiteral("球类"), costOf(i),
                              kOnHand, 50) > 0);
    Tdmfm& dm = shop.dm();

    int rounds = 0;
    int killedMidSale = 0;
    qint64 stored = 0;
    // At least 200 sales, and enough kills that land inside a sale.
    while (stored < 200 || killedMidSale < 10) {
        QVERIFY2(++rounds <= 400, "the child recorded too few sales");
        QProcess child;
        child.setProcessChannelMode(QProcess::SeparateChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--sell"), shop.dbPath(), QString::number(rounds)});
        QVERIFY(child.waitForStarted());
        while (!child.canReadLine() && child.state() == QProcess::Running)
            child.waitForReadyRead(10000);
        QCOMPARE(child.readLine().trimmed(), QByteArray("ready"));
        // Each kill is placed by what the child says: when it has recorded its
        // n-th sale (one round in three: between two sales), or 0 to 1.9 ms
        // after it began its n-th sale (a sale takes a few milliseconds here:
        // the kill lands inside it, at a different step from round to round).
        // n runs from 1 to 23; the same rounds come in every run.
        const bool betweenSales = rounds % 3 == 0;
        const QByteArray mark = betweenSales ? QByteArray("D") : QByteArray("S");
        const int wanted = 1 + (rounds * 7) % 23;
        const auto delay = std::chrono::microseconds(betweenSales ? 0 : (rounds * 37) % 20 * 100);
        QList<QByteArray> lines;
        for (int seen = 0; seen < wanted;) {
            QVERIFY2(child.canReadLine() || child.waitForReadyRead(30000), child.readAllStandardError().constData());
            while (seen < wanted && child.canReadLine()) {
                lines.append(child.readLine().trimmed());
                seen += lines.last() == mark ? 1 : 0;
            }
        }
        std::this_thread::sleep_for(delay);
        child.kill();
        QVERIFY(child.waitForFinished());
        QVERIFY2(child.exitStatus() == QProcess::CrashExit, child.readAllStandardError().constData());

        lines += child.readAllStandardOutput().split('\n');
        const auto done = lines.count("D");
        const bool midSale = lines.lastIndexOf("S") > lines.lastIndexOf("D");
        killedMidSale += midSale ? 1 : 0;

        // Every sale the child saw recorded is stored; the one it was inside is stored whole or not at all.
        const qint64 now = count(dm, QStringLiteral("select count(*) from data1"));
        QVERIFY2(now == stored + done || (midSale && now == stored + done + 1),
                 qPrintable(QStringLiteral("round %1: %2 rows stored before, %3 recorded, %4 now")
                                .arg(rounds)
                                .arg(stored)
                                .arg(done)
                                .arg(now)));
        stored = now;

        QueryResult r;
        QString error;
        QVERIFY2(dm.db().query(Statement{QStringLiteral("select d.c, d.[1], d.[2], d.[5], d.[6], d.[7], d.[8],"
                                                        " coalesce(sum(s.[3]), 0), coalesce(sum(s.[4]), 0)"
                                                        " from data d left join data1 s on s.c = d.c"
                                                        " group by d.rowid order by d.c"),
                                         {}},
                               &r, &error),
                 qPrintable(error));
        QCOMPARE(r.rows.size(), kArticles);
        for (const auto& row : r.rows) {
            const QString what = QStringLiteral("round %1, %2").arg(rounds).arg(row.at(0).toString());
            const double sold = row.at(7).toDouble();
            QVERIFY2(money(row.at(3)) == money(sold), qPrintable(what + QStringLiteral(": sold quantity")));
            QVERIFY2(money(row.at(4)) == money(row.at(8)), qPrintable(what + QStringLiteral(": sales amount")));
            QVERIFY2(money(row.at(5)) == money(row.at(2).toDouble() - sold),
                     qPrintable(what + QStringLiteral(": stock")));
            QVERIFY2(money(row.at(6)) == money(row.at(5).toDouble() * row.at(1).toDouble()),
                     qPrintable(what + QStringLiteral(": stock amount")));
        }
        QCOMPARE(count(dm, QStringLiteral("select count(*) from data1 where c not in (select c from data)")), 0);
        QCOMPARE(schema::check(dm.db()), QStringList());
    }
    qInfo("%d kills, %d inside a sale, %lld sales stored", rounds, killedMidSale, stored);
}

int main(int argc, char* argv[])
{
    if (argc == 4 && qstrcmp(argv[1], "--sell") == 0) {
        QCoreApplication app(argc, argv);
        return sellUntilKilled(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toUInt());
    }
    QCoreApplication app(argc, argv);
    TestSaleCrash test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_salecrash.moc"
