#include "testdb.h"

#include "core/salenumber.h"
#include "store/db/columns.h"
#include "store/db/database.h"
#include "store/db/salenumbers.h"
#include "store/db/schema.h"
#include "store/ops/tdmfm.h"

#include <QSet>
#include <QTest>

#include <thread>

using namespace Qt::StringLiterals;

namespace {

const QDate kDay(2026, 3, 15);

void addSale(Database& db, const QString& number)
{
    QString error;
    QVERIFY2(db.exec(Statement{u"insert into data1 (a,z) values ('x',?)"_s, {number}}, &error), qPrintable(error));
}

qint64 take(Database& db, const QDate& day = kDay)
{
    QString error;
    const std::optional<SaleNumber> n = salenumbers::take(db, day, &error);
    if (!n) {
        qWarning() << error;
        return -1;
    }
    return n->day == day ? n->sequence : -2;
}

} // namespace

class TestSaleNumbers : public QObject
{
    Q_OBJECT

private slots:
    void textAndParse_data();
    void textAndParse();
    void takenPastEveryNumberOfTheDay();
    void olderFileGetsTheCounter();
    void twoProgramsNeverGetOneNumber();
};

void TestSaleNumbers::textAndParse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("day"); // invalid: not one of the till's numbers
    QTest::addColumn<qint64>("sequence");

    QTest::newRow("fifth of the day") << u"20140315005"_s << QDate(2014, 3, 15) << qint64(5);
    QTest::newRow("four digits") << u"201403151000"_s << QDate(2014, 3, 15) << qint64(1000);
    QTest::newRow("sequence 0") << u"20140315000"_s << QDate(2014, 3, 15) << qint64(0);
    QTest::newRow("leading zeros kept apart") << u"2014031500012"_s << QDate(2014, 3, 15) << qint64(12);
    QTest::newRow("two digits only") << u"2014031505"_s << QDate() << qint64(0);
    QTest::newRow("no real date") << u"20140231005"_s << QDate() << qint64(0);
    QTest::newRow("typed text") << u"VIP-7"_s << QDate() << qint64(0);
    QTest::newRow("blank around") << u" 20140315005"_s << QDate() << qint64(0);
    QTest::newRow("letter in the sequence") << u"2014031500a"_s << QDate() << qint64(0);
    QTest::newRow("beyond 64 bits") << u"20140315"_s + QString(19, u'9') << QDate() << qint64(0);
}

void TestSaleNumbers::textAndParse()
{
    QFETCH(QString, text);
    QFETCH(QDate, day);
    QFETCH(qint64, sequence);
    const std::optional<SaleNumber> n = SaleNumber::parse(text);
    QCOMPARE(n.has_value(), day.isValid());
    if (!n)
        return;
    QCOMPARE(n->day, day);
    QCOMPARE(n->sequence, sequence);
    // Composed again, a number of three digits or more reads the same.
    if (text.size() - 8 == qMax<qsizetype>(3, QString::number(sequence).size()))
        QCOMPARE(n->text(), text);
    QVERIFY(SaleNumber::first(day) <= text && text < SaleNumber::pastLast(day));
}

void TestSaleNumbers::takenPastEveryNumberOfTheDay()
{
    TestShop shop;
    QString error;
    {
        Database db;
        QVERIFY(db.open(shop.dbPath(), false, &error));
        QCOMPARE(take(db), 1);
        QCOMPARE(take(db), 2);
    }
    // A restart (or a crash after the number was offered) goes on after it.
    Database db;
    QVERIFY(db.open(shop.dbPath(), false, &error));
    QCOMPARE(take(db), 3);
    // Numbers stored in sale rows count, typed ones too; other texts and other days do not.
    addSale(db, u"20260315007"_s);
    addSale(db, u"2026031500012"_s);
    addSale(db, u"20260315x99"_s);
    addSale(db, u"20260316050"_s);
    addSale(db, u"2026031"_s);
    QCOMPARE(take(db), 13);
    QCOMPARE(take(db, kDay.addDays(1)), 51);
    QCOMPARE(take(db, kDay.addDays(2)), 1);
    QCOMPARE(take(db), 14);
}

void TestSaleNumbers::olderFileGetsTheCounter()
{
    TestShop shop;
    QString error;
    {
        Database db;
        QVERIFY(db.open(shop.dbPath(), false, &error));
        QVERIFY(db.exec(u"DROP TABLE %1"_s.arg(QString(daySequence::table)), &error));
        QVERIFY(db.exec(u"PRAGMA user_version = 3"_s, &error));
        addSale(db, u"20260315004"_s);
    }
    Tdmfm& dm = shop.dm();
    QCOMPARE(take(dm.db()), 5);
    QCOMPARE(schema::check(dm.db()), QStringList());
}

void TestSaleNumbers::twoProgramsNeverGetOneNumber()
{
    TestShop shop;
    constexpr int kEach = 150;
    QVector<qint64> got[2];
    auto till = [&](int which) {
        Database db;
        QString error;
        if (!db.open(shop.dbPath(), false, &error))
            return;
        for (int i = 0; i < kEach; ++i)
            got[which] << take(db);
    };
    std::thread first(till, 0);
    std::thread second(till, 1);
    first.join();
    second.join();
    QSet<qint64> all;
    for (const auto& numbers : got) {
        QCOMPARE(numbers.size(), kEach);
        for (qint64 n : numbers) {
            QVERIFY(n > 0);
            all.insert(n);
        }
    }
    QCOMPARE(all.size(), 2 * kEach);
}

QTEST_GUILESS_MAIN(TestSaleNumbers)
#include "tst_salenumbers.moc"
