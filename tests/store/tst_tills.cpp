// Several tills selling on one server shop at once, one of them killed
// (SIGKILL) in the middle of its work and started again to finish it. Each
// till is a child process of this program (`--till`) that records sales and
// returns through the store's operations exactly as the sale panel does and
// says on stdout what it took and what was committed. Afterwards the shop must
// hold exactly what the tills were told, with figures that add up.
//
// TARVIK_TILL_SALES lowers the number of sales per till for a quick run by
// hand (returns are a tenth of it); the default is the full size.

#include "testserver.h"

#include "core/clock.h"
#include "core/salenumber.h"
#include "store/db/columns.h"
#include "store/db/salenumbers.h"
#include "store/db/serverconnection.h"
#include "store/db/serverschema.h"
#include "store/db/shoplocation.h"
#include "store/ops/saleops.h"
#include "store/ops/stockops.h"
#include "store/ops/tdmfm.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>

#include <cstdio>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int kArticles = 20;
constexpr int kTills = 4;

// Stock-in quantities: the first articles run out long before the tills are
// done, so shortages come up while others sell the same rows.
int stockInOf(int i)
{
    return i < 6 ? 40 + 10 * i : 400 + 60 * i;
}

double costOf(int i)
{
    return 3.5 + i * 1.25;
}

void say(const QByteArray& line)
{
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int complain(const QString& text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
    return 3;
}

// The child: `sales` sales and `returns` returns in random order on the shop's
// articles, each with a new customer's sale number from the server. It says
//   number <n>                  when it has taken a sale number,
//   sale <n> <stockrow> <qty>   when that sale (or return, qty < 0) is committed,
//   short <stockrow> <qty>      when a sale was refused for want of stock.
int runTill(const QString& conninfo, quint32 seed, int sales, int returns)
{
    Tdmfm dm;
    if (const Result<void> opened = dm.open(ShopLocation::server(conninfo)); !opened)
        return complain(opened.error().text);
    if (const Result<void> shown = dm.stock().showAll(stockq::ZeroStock::Shown); !shown)
        return complain(shown.error().text);
    struct Article
    {
        qint64 id;
        QString name, code, stockInDate;
    };
    std::vector<Article> articles;
    const RowSet& list = dm.stock().list();
    for (int row = 0; row < list.rowCount(); ++row)
        articles.push_back({list.rowId(row), list.value(row, QString(stockcol::name)).toString(),
                            list.value(row, QString(stockcol::code)).toString(),
                            list.value(row, QString(stockcol::stockInDate)).toString()});
    if (articles.size() != size_t(kArticles))
        return complain(u"the till sees %1 articles"_s.arg(articles.size()));

    QRandomGenerator random(seed);
    while (sales + returns > 0) {
        const bool isReturn = random.bounded(sales + returns) < returns;
        (isReturn ? returns : sales) -= 1;
        const Article& a = articles.at(random.bounded(int(articles.size())));
        const int quantity = isReturn ? -(1 + random.bounded(2)) : 1 + random.bounded(5);

        QString error;
        const std::optional<SaleNumber> number = salenumbers::take(dm.db(), wallclock::today(), &error);
        if (!number)
            return complain(error);
        const QString numberText = number->text();
        say("number " + numberText.toLatin1());

        saleops::SaleInput in;
        in.stockRowId = a.id;
        in.shownName = a.name;
        in.shownCode = a.code;
        in.shownStockInDate = a.stockInDate;
        in.quantity = QString::number(quantity);
        in.price = u"%1.%2"_s.arg(10 + random.bounded(90)).arg(random.bounded(100), 2, 10, QLatin1Char('0'));
        in.owed = u"0"_s;
        in.saleNumber = numberText;
        in.saleDate = wallclock::today().toString(u"yyyy-MM-dd"_s);
        in.customer = u"顾客%1"_s.arg(numberText);
        const Result<qint64> sold = saleops::recordSale(dm, in);
        if (sold) {
            say(QStringLiteral("sale %1 %2 %3").arg(numberText).arg(a.id).arg(quantity).toLatin1());
        } else if (sold.is(Error::Kind::Shortage)) {
            // The stock on hand the refusal names must be a real one: never
            // below zero, and too little for this sale.
            bool isNumber = false;
            const double onHand = sold.error().onHand.toDouble(&isNumber);
            if (!isNumber || onHand < 0 || onHand >= quantity)
                return complain(u"shortage of %1 with %2 on hand"_s.arg(quantity).arg(sold.error().onHand));
            say(QStringLiteral("short %1 %2").arg(a.id).arg(quantity).toLatin1());
        } else {
            return complain(sold.error().text);
        }
    }
    say("done");
    return 0;
}

// What one till process said.
struct Till
{
    std::unique_ptr<QProcess> process;
    QByteArray pending;
    int salesLeft = 0, returnsLeft = 0;
    bool finished = false;
    QStringList taken; // sale numbers, in order
    struct Sale
    {
        qint64 stockRow;
        int quantity;
    };
    QHash<QString, Sale> confirmed;
    int shortages = 0;
    int run = 0;

    void start(const QString& conninfo, int index)
    {
        process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(QCoreApplication::applicationFilePath(),
                       {u"--till"_s, conninfo, QString::number(1000 * index + ++run), QString::number(salesLeft),
                        QString::number(returnsLeft)});
    }

    // Reads what the till said so far; a line cut off by a kill is no line.
    void read()
    {
        pending += process->readAllStandardOutput();
        for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            const QList<QByteArray> words = pending.left(end).split(' ');
            pending.remove(0, end + 1);
            if (words.at(0) == "number") {
                taken << QString::fromLatin1(words.at(1));
            } else if (words.at(0) == "sale") {
                const int quantity = words.at(3).toInt();
                confirmed.insert(QString::fromLatin1(words.at(1)), {words.at(2).toLongLong(), quantity});
                (quantity < 0 ? returnsLeft : salesLeft) -= 1;
            } else if (words.at(0) == "short") {
                ++shortages;
                --salesLeft;
            } else if (words.at(0) == "done") {
                finished = true;
            }
        }
    }
};

int sizeFromEnvironment()
{
    bool ok = false;
    const int n = qEnvironmentVariableIntValue("TARVIK_TILL_SALES", &ok);
    return ok && n > 0 ? n : 500;
}

QString money(double v)
{
    return QString::number(v, 'f', 2);
}

} // namespace

class TestTills : public QObject
{
    Q_OBJECT

    QString m_server;

private slots:
    void initTestCase() { TARVIK_REQUIRE_TEST_SERVER(m_server); }
    void tillsStayExactWithOneKilled();
};

void TestTills::tillsStayExactWithOneKilled()
{
    ScratchServerDatabase scratch(m_server);
    QVERIFY2(scratch.isValid(), qPrintable(scratch.error()));
    {
        QString error;
        QVERIFY2(scratch.createShop(&error), qPrintable(error));
    }
    Tdmfm dm;
    QVERIFY(dm.open(ShopLocation::server(scratch.connInfo())).ok());
    QHash<qint64, int> stockInById;
    QHash<qint64, double> costById;
    for (int i = 0; i < kArticles; ++i) {
        const QString name = u"球%1"_s.arg(i);
        const QString quantity = QString::number(stockInOf(i));
        const QString cost = QString::number(costOf(i));
        const stockops::Entry entry{name,     u"M1"_s,  u"C%1"_s.arg(i, 3, 10, QLatin1Char('0')),
                                    u"球类"_s, cost,     quantity,
                                    u"25"_s,  u"供货商"_s, QString(),
                                    u"2026-03-02"_s};
        const QString amount = QString::number(costOf(i) * stockInOf(i));
        const stockops::HeldAmounts held{amount, u"0"_s, u"0"_s, quantity, amount};
        QString error;
        const std::optional<QVariantMap> values = stockops::rowValues(entry, held, held.stockAmount, &error);
        QVERIFY2(values, qPrintable(error));
        const Result<qint64> id = stockops::add(dm, *values);
        QVERIFY2(id.ok(), qPrintable(id.ok() ? QString() : id.error().text));
        stockInById.insert(*id, stockInOf(i));
        costById.insert(*id, costOf(i));
    }

    const int salesEach = sizeFromEnvironment();
    const int returnsEach = std::max(1, salesEach / 10);
    std::vector<Till> tills(kTills);
    for (int i = 0; i < kTills; ++i) {
        tills[i].salesLeft = salesEach;
        tills[i].returnsLeft = returnsEach;
        tills[i].start(scratch.connInfo(), i);
    }
    // Till 0 is killed once it has committed a third of its share, wherever
    // it is then, and started again for the rest.
    Till& victim = tills[0];
    bool killed = false;
    int victimTakenAtKill = 0;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        bool running = false;
        for (Till& t : tills) {
            if (t.process->state() != QProcess::NotRunning)
                t.process->waitForReadyRead(5);
            t.read();
            if (t.process->state() == QProcess::NotRunning && !t.finished) {
                QVERIFY2(&t == &victim && killed && t.process->exitStatus() == QProcess::CrashExit,
                         "a till stopped before it was done");
            }
            running = running || !t.finished;
        }
        if (!killed && victim.confirmed.size() >= (salesEach + returnsEach) / 3) {
            victim.process->kill();
            QVERIFY(victim.process->waitForFinished());
            victim.read();
            QCOMPARE(victim.process->exitStatus(), QProcess::CrashExit);
            QVERIFY2(!victim.finished, "the till was done before it could be killed");
            killed = true;
            victimTakenAtKill = int(victim.taken.size());
            victim.pending.clear();
            victim.start(scratch.connInfo(), 0);
        }
        if (!running)
            break;
        QVERIFY2(clock.elapsed() < 500000, "the tills took too long");
    }
    for (Till& t : tills) {
        QVERIFY(t.process->state() == QProcess::NotRunning || t.process->waitForFinished());
        QCOMPARE(t.process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(t.process->exitCode(), 0);
        QCOMPARE(t.salesLeft, 0);
        QCOMPARE(t.returnsLeft, 0);
    }
    qInfo("%d tills, %d sales and %d returns each, %lld ms; shortages %d %d %d %d; killed after %d numbers", kTills,
          salesEach, returnsEach, clock.elapsed(), tills[0].shortages, tills[1].shortages, tills[2].shortages,
          tills[3].shortages, victimTakenAtKill);

    // No sale number went to two customers, in one till or in two.
    QHash<QString, int> takenBy;
    for (int i = 0; i < kTills; ++i)
        for (const QString& n : tills[i].taken) {
            QVERIFY2(!takenBy.contains(n), qPrintable(u"sale number %1 taken twice"_s.arg(n)));
            takenBy.insert(n, i);
        }

    // Every committed sale is stored once as the till said it; nothing else
    // is stored but the one the killed till may have committed unseen.
    QueryResult stored;
    QString error;
    QVERIFY2(dm.db().query(Statement{u"select z, stockrow, [3], [4] from data1"_s, {}}, &stored, &error),
             qPrintable(error));
    QSet<QString> seen;
    QHash<qint64, double> soldById, amountById;
    int unconfirmed = 0;
    for (const QList<QVariant>& row : stored.rows) {
        const QString number = row.at(0).toString();
        QVERIFY2(!seen.contains(number), qPrintable(u"sale %1 stored twice"_s.arg(number)));
        seen.insert(number);
        const qint64 stockRow = row.at(1).toLongLong();
        soldById[stockRow] += row.at(2).toDouble();
        amountById[stockRow] += row.at(3).toDouble();
        QVERIFY2(takenBy.contains(number), qPrintable(u"sale %1 stored under a number no till took"_s.arg(number)));
        const Till& t = tills[takenBy.value(number)];
        if (const auto it = t.confirmed.constFind(number); it != t.confirmed.cend()) {
            QCOMPARE(row.at(1).toLongLong(), it->stockRow);
            QCOMPARE(row.at(2).toDouble(), double(it->quantity));
        } else {
            // Only the number the killed till held when it died.
            QVERIFY2(&t == &victim && t.taken.indexOf(number) == victimTakenAtKill - 1,
                     qPrintable(u"sale %1 stored but never confirmed"_s.arg(number)));
            ++unconfirmed;
        }
    }
    QVERIFY(unconfirmed <= 1);
    qsizetype confirmedCount = 0;
    for (const Till& t : tills)
        confirmedCount += t.confirmed.size();
    QCOMPARE(qsizetype(stored.rows.size()), confirmedCount + unconfirmed);

    // Each stock row: stock-in minus what its sale rows took, at its purchase price.
    QueryResult rows;
    QVERIFY2(dm.db().query(Statement{u"select [ID], [2], [5], [6], [7], [8] from data"_s, {}}, &rows, &error),
             qPrintable(error));
    QCOMPARE(rows.rows.size(), kArticles);
    for (const QList<QVariant>& row : rows.rows) {
        const qint64 id = row.at(0).toLongLong();
        const QString what = u"stock row %1: "_s.arg(id);
        const double sold = soldById.value(id);
        QCOMPARE(row.at(1).toDouble(), double(stockInById.value(id)));
        QVERIFY2(money(row.at(2).toDouble()) == money(sold), qPrintable(what + u"sold quantity"_s));
        QVERIFY2(money(row.at(3).toDouble()) == money(amountById.value(id)), qPrintable(what + u"sales amount"_s));
        QVERIFY2(money(row.at(4).toDouble()) == money(stockInById.value(id) - sold), qPrintable(what + u"stock"_s));
        QVERIFY2(row.at(4).toDouble() >= 0, qPrintable(what + u"stock below zero"_s));
        QVERIFY2(money(row.at(5).toDouble()) == money(row.at(4).toDouble() * costById.value(id)),
                 qPrintable(what + u"stock amount"_s));
    }

    QProcess check;
    check.start(QStringLiteral(TARVIK_ADMIN_PATH), {u"check"_s, u"--database"_s, scratch.connInfo()});
    QVERIFY(check.waitForFinished(60000));
    QVERIFY2(check.exitStatus() == QProcess::NormalExit && check.exitCode() == 0,
             check.readAllStandardError().constData());
}

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 6 && qstrcmp(argv[1], "--till") == 0)
        return runTill(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toUInt(), QByteArray(argv[4]).toInt(),
                       QByteArray(argv[5]).toInt());
    TestTills test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_tills.moc"
