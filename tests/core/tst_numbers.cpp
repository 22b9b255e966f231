#include "core/clock.h"
#include "core/numbers.h"

#include <QLocale>
#include <QTest>

#include <cstdlib>
#include <limits>

using namespace num;

namespace {

long double dec(const char* text)
{
    const auto v = toDecimal(QString::fromLatin1(text));
    if (!v)
        qFatal("test value %s does not convert", text);
    return *v;
}

// Rows of (name, text, expected text) for the forms that take one typed value.
void addTextRows(const QList<std::pair<const char*, const char*>>& rows)
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    for (const auto& [input, expected] : rows)
        QTest::newRow(input) << QString::fromUtf8(input) << QString::fromUtf8(expected);
}

} // namespace

class TestNumbers final : public QObject
{
    Q_OBJECT

private slots:
    void toDecimalAccepts_data();
    void toDecimalAccepts();
    void toDecimalRejects_data();
    void toDecimalRejects();
    void toInteger_data();
    void toInteger();

    void generalOfComputations_data();
    void generalOfComputations();
    void generalOfValues_data();
    void generalOfValues();
    void generalOfStoredValues();

    void fixed2_data();
    void fixed2();
    void round2();
    void quantityAndAmountText_data();
    void quantityAndAmountText();
    void storedQuantityAndAmountText();
    void chartValueText_data();
    void chartValueText();
    void patterns_data();
    void patterns();
    void formsIgnoreLocale();

    void roundHalfEven_data();
    void roundHalfEven();
    void roundHalfEvenOfStoredValues();

    void moneyFromValues();
    void moneySumsColumn();
    void moneyText_data();
    void moneyText();

    void dates();
    void parseDate_data();
    void parseDate();
};

// ---- Conversions ----------------------------------------------------------------

void TestNumbers::toDecimalAccepts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("exactText"); // the value as a long double literal would give it

    QTest::newRow("integer") << "12"
                             << "12";
    QTest::newRow("decimal") << "99.8"
                             << "99.8";
    QTest::newRow("blanks around") << "  12.5 "
                                   << "12.5";
    QTest::newRow("plus") << "+3"
                          << "3";
    QTest::newRow("minus") << "-0.5"
                           << "-0.5";
    QTest::newRow("no integer part") << ".5"
                                     << "0.5";
    QTest::newRow("trailing point") << "5."
                                    << "5";
    QTest::newRow("leading zeros") << "007"
                                   << "7";
    QTest::newRow("exponent") << "1e3"
                              << "1000";
    QTest::newRow("exponent with sign") << "1.5E-2"
                                        << "0.015";
    QTest::newRow("zero") << "0.0"
                          << "0";
}

void TestNumbers::toDecimalAccepts()
{
    QFETCH(QString, text);
    QFETCH(QString, exactText);
    QString error = QStringLiteral("untouched");
    const auto v = toDecimal(text, &error);
    QVERIFY(v.has_value());
    QCOMPARE(error, QStringLiteral("untouched"));
    // The conversion is exact to the long double nearest the decimal text.
    QVERIFY(*v == std::strtold(exactText.toLatin1().constData(), nullptr));
}

void TestNumbers::toDecimalRejects_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << "";
    QTest::newRow("blank") << "  ";
    QTest::newRow("lone point") << ".";
    QTest::newRow("two points") << "1.2.3";
    QTest::newRow("letters") << "abc";
    QTest::newRow("comma") << "1,5";
    QTest::newRow("sign only") << "-";
    QTest::newRow("two signs") << "--1";
    QTest::newRow("exponent without digits") << "1e";
    QTest::newRow("exponent without mantissa") << "e5";
    QTest::newRow("inner blank") << "1 2";
    QTest::newRow("trailing letter") << "12a";
    QTest::newRow("hexadecimal") << "0x10";
    QTest::newRow("infinity") << "inf";
    QTest::newRow("nan") << "nan";
    QTest::newRow("full-width digit") << QStringLiteral("１2");
    QTest::newRow("beyond range") << "1e5000";
}

void TestNumbers::toDecimalRejects()
{
    QFETCH(QString, text);
    QString error;
    QVERIFY(!toDecimal(text, &error).has_value());
    QCOMPARE(error, QStringLiteral("'%1' is not a valid floating point value").arg(text));
    QVERIFY(!toDecimal(text).has_value()); // no error pointer needed
}

void TestNumbers::toInteger_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qint64>("value");

    QTest::newRow("plain") << "2" << true << qint64(2);
    QTest::newRow("negative") << "-2" << true << qint64(-2);
    QTest::newRow("plus") << "+2" << true << qint64(2);
    QTest::newRow("blanks") << " 15 " << true << qint64(15);
    QTest::newRow("largest") << "9223372036854775807" << true << std::numeric_limits<qint64>::max();
    QTest::newRow("smallest") << "-9223372036854775808" << true << std::numeric_limits<qint64>::min();
    QTest::newRow("overflow") << "9223372036854775808" << false << qint64(0);
    QTest::newRow("fraction") << "1.5" << false << qint64(0);
    QTest::newRow("whole with point") << "2.0" << false << qint64(0);
    QTest::newRow("empty") << "" << false << qint64(0);
    QTest::newRow("sign only") << "-" << false << qint64(0);
    QTest::newRow("exponent") << "1e3" << false << qint64(0);
    QTest::newRow("letters") << "abc" << false << qint64(0);
}

void TestNumbers::toInteger()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(qint64, value);
    QString error;
    const auto v = num::toInteger(text, &error);
    QCOMPARE(v.has_value(), valid);
    if (valid) {
        QCOMPARE(*v, value);
        QVERIFY(error.isEmpty());
    } else {
        QCOMPARE(error, QStringLiteral("'%1' is not a valid integer value").arg(text));
    }
}

// ---- General form ---------------------------------------------------------------

void TestNumbers::generalOfComputations_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QChar>("op");
    QTest::addColumn<QString>("b");
    QTest::addColumn<QString>("expected");

    QTest::newRow("2 x 2.5") << "2" << QChar(u'*') << "2.5"
                             << "5";
    QTest::newRow("0.1 x 3") << "0.1" << QChar(u'*') << "3"
                             << "0.3";
    QTest::newRow("100 - 99.8") << "100" << QChar(u'-') << "99.8"
                                << "0.2";
    QTest::newRow("39.8 + 60") << "39.8" << QChar(u'+') << "60"
                               << "99.8";
    QTest::newRow("12.5 x 4") << "12.5" << QChar(u'*') << "4"
                              << "50";
    QTest::newRow("0.1 + 0.2") << "0.1" << QChar(u'+') << "0.2"
                               << "0.3";
    QTest::newRow("19.9 - 12") << "19.9" << QChar(u'-') << "12"
                               << "7.9";
    QTest::newRow("19.9 x 3") << "19.9" << QChar(u'*') << "3"
                              << "59.7";
    QTest::newRow("1.1 x 1.1") << "1.1" << QChar(u'*') << "1.1"
                               << "1.21";
    QTest::newRow("0 - 3") << "0" << QChar(u'-') << "3"
                           << "-3";
    QTest::newRow("negative zero") << "0" << QChar(u'*') << "-1"
                                   << "0";
    QTest::newRow("10 / 3") << "10" << QChar(u'/') << "3"
                            << "3.33333333333333";
    QTest::newRow("2 / 3") << "2" << QChar(u'/') << "3"
                           << "0.666666666666667";
    QTest::newRow("-2 / 3") << "-2" << QChar(u'/') << "3"
                            << "-0.666666666666667";
    QTest::newRow("return amount") << "-2" << QChar(u'*') << "19.9"
                                   << "-39.8";
    QTest::newRow("discount 85 of 200") << "17000" << QChar(u'/') << "100"
                                        << "170";
}

void TestNumbers::generalOfComputations()
{
    QFETCH(QString, a);
    QFETCH(QChar, op);
    QFETCH(QString, b);
    QFETCH(QString, expected);
    const long double x = *toDecimal(a);
    const long double y = *toDecimal(b);
    long double r = 0;
    switch (op.unicode()) {
    case u'+':
        r = x + y;
        break;
    case u'-':
        r = x - y;
        break;
    case u'*':
        r = x * y;
        break;
    default:
        r = x / y;
        break;
    }
    QCOMPARE(general(r), expected);
}

void TestNumbers::generalOfValues_data()
{
    addTextRows({
        {"0", "0"},
        {"-3", "-3"},
        {"1234.5", "1234.5"},
        {"0.0001", "0.0001"}, // smallest plain form
        {"0.00001", "1E-5"},  // exponent form below it
        {"-0.000015", "-1.5E-5"},
        {"999999999999999", "999999999999999"},
        {"999999999999999.9", "1E15"}, // rounding carries into the exponent form
        {"1000000000000000", "1E15"},
        {"123456789012345678", "1.23456789012346E17"},
        {"123456789012.3456", "123456789012.346"},
        {"1.0000000000000049", "1"},               // 16th digit 4: down
        {"1.000000000000005", "1.00000000000001"}, // 16th digit 5: half away from zero
        {"-1.000000000000005", "-1.00000000000001"},
        // Rounded to 18 digits first (1.00000000000000500), then to 15.
        {"1.00000000000000499999", "1.00000000000001"},
    });
}

void TestNumbers::generalOfValues()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(general(*toDecimal(input)), expected);
}

void TestNumbers::generalOfStoredValues()
{
    QCOMPARE(general(QVariant()), QString());
    QCOMPARE(general(QVariant(99.8)), QStringLiteral("99.8")); // a stored double widens cleanly
    QCOMPARE(general(QVariant(0.1 * 3)), QStringLiteral("0.3"));
    QCOMPARE(general(QVariant(qint64(123456789012345678))), QStringLiteral("123456789012345678"));
    QCOMPARE(general(QVariant(QStringLiteral("19.90"))), QStringLiteral("19.9"));
    QCOMPARE(general(QVariant(QString())), QString());
    QCOMPARE(general(QVariant(QStringLiteral("abc"))), QStringLiteral("abc"));
    QCOMPARE(general(std::numeric_limits<long double>::infinity()), QStringLiteral("INF"));
    QCOMPARE(general(std::numeric_limits<long double>::quiet_NaN()), QStringLiteral("NAN"));
}

// ---- Fixed forms ----------------------------------------------------------------

void TestNumbers::fixed2_data()
{
    addTextRows({
        {"7.9", "7.90"},
        {"2.675", "2.68"},
        {"1.005", "1.01"},
        {"-2.675", "-2.68"},
        {"0.125", "0.13"},
        {"0.994999", "0.99"},
        {"0.995", "1.00"},
        {"99.995", "100.00"},
        {"0", "0.00"},
        {"-0.004", "0.00"}, // never "-0.00"
        {"-0.005", "-0.01"},
        {"1234567.891", "1234567.89"},
        {"1000000000000000", "1000000000000000.00"},
    });
}

void TestNumbers::fixed2()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(num::fixed2(*toDecimal(input)), expected);
}

void TestNumbers::round2()
{
    // Profit of one article sold at 19.9 bought at 12.
    QCOMPARE(num::fixed2(1 * (dec("19.9") - dec("12"))), QStringLiteral("7.90"));
    // Values read back from a double column still round on their decimal digits.
    QCOMPARE(num::fixed2(static_cast<long double>(2.675)), QStringLiteral("2.68"));
    QCOMPARE(num::fixed2(static_cast<long double>(1.005)), QStringLiteral("1.01"));
    // New stock quantity 10 - 0.125 is stored rounded to two decimals.
    const long double stock = num::round2(dec("10") - dec("0.125"));
    QVERIFY(stock == dec("9.88"));
    QCOMPARE(general(stock), QStringLiteral("9.88"));
    QVERIFY(num::round2(dec("-1.005")) == dec("-1.01"));
    QVERIFY(num::round2(dec("-0.001")) == 0);
}

void TestNumbers::quantityAndAmountText_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<QString>("amount");

    QTest::newRow("whole") << "1"
                           << "1"
                           << "1";
    QTest::newRow("one decimal") << "1.5"
                                 << "1.5"
                                 << "1.5";
    QTest::newRow("trailing zeros") << "12.100"
                                    << "12.1"
                                    << "12.1";
    QTest::newRow("half away") << "1.2345"
                               << "1.235"
                               << "1.23";
    QTest::newRow("just below half") << "1.2344"
                                     << "1.234"
                                     << "1.23";
    QTest::newRow("amount half") << "19.905"
                                 << "19.905"
                                 << "19.91";
    QTest::newRow("binary error") << "2.675"
                                  << "2.675"
                                  << "2.68";
    QTest::newRow("carry") << "0.9995"
                           << "1"
                           << "1";
    QTest::newRow("negative") << "-1.0005"
                              << "-1.001"
                              << "-1";
    QTest::newRow("tiny negative") << "-0.0004"
                                   << "0"
                                   << "0";
    QTest::newRow("below one") << "0.05"
                               << "0.05"
                               << "0.05";
    QTest::newRow("large") << "1000000"
                           << "1000000"
                           << "1000000";
}

void TestNumbers::quantityAndAmountText()
{
    QFETCH(QString, input);
    QFETCH(QString, quantity);
    QFETCH(QString, amount);
    const long double v = *toDecimal(input);
    QCOMPARE(quantityText(v), quantity);
    QCOMPARE(amountText(v), amount);
}

void TestNumbers::chartValueText_data()
{
    addTextRows({{"36.38", "36.38"},
                 {"0.3", "0.3"},
                 {"-16.35", "-16.35"},
                 {"9999.99", "9999.99"},
                 {"9999.996", "1万"}, // rounds to 10000.00: the unit follows the rounded value
                 {"10000", "1万"},
                 {"336203.78", "33.6万"},
                 {"3334684.43", "333.5万"},
                 {"-52869.33", "-5.3万"},
                 {"99940000", "9994万"},
                 {"99999999", "1亿"},
                 {"409383786.23", "4.09亿"},
                 {"123456789012.5", "1234.57亿"}});
}

void TestNumbers::chartValueText()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(num::chartValueText(*toDecimal(input)), expected);
}

void TestNumbers::storedQuantityAndAmountText()
{
    QCOMPARE(quantityText(QVariant()), QString());
    QCOMPARE(amountText(QVariant()), QString());
    QCOMPARE(quantityText(QVariant(5.5)), QStringLiteral("5.5"));
    QCOMPARE(amountText(QVariant(19.905)), QStringLiteral("19.91"));
    QCOMPARE(amountText(QVariant(qint64(3))), QStringLiteral("3"));
    QCOMPARE(amountText(QVariant(QStringLiteral("abc"))), QStringLiteral("abc"));
}

void TestNumbers::patterns_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("0.00") << "0.00"
                          << "7.9"
                          << "7.90";
    QTest::newRow("#0.###") << "#0.###"
                            << "1.2345"
                            << "1.235";
    QTest::newRow("#0.##") << "#0.##"
                           << "0.5"
                           << "0.5";
    QTest::newRow("no integer digit") << "#.##"
                                      << "0.5"
                                      << ".5";
    QTest::newRow("padded") << "000"
                            << "7"
                            << "007";
    QTest::newRow("whole, half away") << "0"
                                      << "2.5"
                                      << "3";
    QTest::newRow("grouping and suffix") << "#,##0.###月"
                                         << "1234567.5"
                                         << "1,234,567.5月";
    QTest::newRow("small with suffix") << "#,##0.###日"
                                       << "5"
                                       << "5日";
    QTest::newRow("prefix") << "￥0.00"
                            << "3"
                            << "￥3.00";
    QTest::newRow("negative zero") << "0.00"
                                   << "-0.004"
                                   << "0.00";
}

void TestNumbers::patterns()
{
    QFETCH(QString, pattern);
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(format(*toDecimal(input), pattern), expected);
}

void TestNumbers::formsIgnoreLocale()
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const long double v = dec("1234.5");
    const QStringList texts = {general(v), num::fixed2(v), amountText(v), format(v, u"#,##0.##")};
    const bool converts = toDecimal(QStringLiteral("1234.5")).has_value() && !toDecimal(QStringLiteral("1234,5"));
    QLocale::setDefault(previous);
    QCOMPARE(texts, QStringList({QStringLiteral("1234.5"), QStringLiteral("1234.50"), QStringLiteral("1234.5"),
                                 QStringLiteral("1,234.5")}));
    QVERIFY(converts);
}

// ---- Rounding to whole numbers ----------------------------------------------------

void TestNumbers::roundHalfEven_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<qint64>("expected");

    QTest::newRow("5.5") << "5.5" << qint64(6);
    QTest::newRow("4.5") << "4.5" << qint64(4);
    QTest::newRow("5.4") << "5.4" << qint64(5);
    QTest::newRow("5") << "5" << qint64(5);
    QTest::newRow("0.49999") << "0.49999" << qint64(0);
    QTest::newRow("-0.5") << "-0.5" << qint64(0);
    QTest::newRow("-1.5") << "-1.5" << qint64(-2);
    QTest::newRow("-2.5") << "-2.5" << qint64(-2);
    QTest::newRow("-2.6") << "-2.6" << qint64(-3);
    QTest::newRow("huge") << "1e30" << std::numeric_limits<qint64>::max();
    QTest::newRow("huge negative") << "-1e30" << std::numeric_limits<qint64>::min();
}

void TestNumbers::roundHalfEven()
{
    QFETCH(QString, input);
    QFETCH(qint64, expected);
    QCOMPARE(num::roundHalfEven(*toDecimal(input)), expected);
}

void TestNumbers::roundHalfEvenOfStoredValues()
{
    QCOMPARE(num::roundHalfEven(QVariant()), qint64(0));
    QCOMPARE(num::roundHalfEven(QVariant(QString())), qint64(0));
    QCOMPARE(num::roundHalfEven(QVariant(QStringLiteral("abc"))), qint64(0));
    QCOMPARE(num::roundHalfEven(QVariant(4.5)), qint64(4));
    QCOMPARE(num::roundHalfEven(QVariant(QStringLiteral("5.5"))), qint64(6));
    QCOMPARE(num::roundHalfEven(QVariant(qint64(-7))), qint64(-7));
}

// ---- Money ----------------------------------------------------------------------

void TestNumbers::moneyFromValues()
{
    QCOMPARE(Money::fromDecimal(dec("19.9"))->units(), qint64(199000));
    QCOMPARE(Money::fromDecimal(19.9)->units(), qint64(199000)); // a stored double
    QCOMPARE(Money::fromDecimal(dec("-2.5"))->units(), qint64(-25000));
    QCOMPARE(Money::fromDecimal(dec("0.00004"))->units(), qint64(0));
    QCOMPARE(Money::fromDecimal(dec("0.00006"))->units(), qint64(1));
    // An exact binary half of a unit goes to the even neighbour.
    QCOMPARE(Money::fromDecimal(2.5L / 10000.0L)->units(), qint64(2));
    QCOMPARE(Money::fromDecimal(dec("0.00005"))->units(), qint64(0));
    QCOMPARE(Money::fromDecimal(dec("0.00015"))->units(), qint64(2));
    QCOMPARE(Money::fromDecimal(0.00005)->units(), qint64(1)); // the double lies above the half
    QVERIFY(!Money::fromDecimal(dec("1e20")));
    QVERIFY(!Money::fromDecimal(std::numeric_limits<long double>::infinity()));

    QCOMPARE(Money::fromVariant(QVariant())->units(), qint64(0));
    QCOMPARE(Money::fromVariant(QVariant(QString()))->units(), qint64(0));
    QCOMPARE(Money::fromVariant(QVariant(qint64(3)))->units(), qint64(30000));
    QCOMPARE(Money::fromVariant(QVariant(QStringLiteral("1.25")))->units(), qint64(12500));
    QVERIFY(!Money::fromVariant(QVariant(QStringLiteral("abc"))));
}

void TestNumbers::moneySumsColumn()
{
    // A slip whose stored amounts are doubles: the total comes out exact.
    Money total;
    for (double amount : {19.9, 39.8, 40.3})
        QVERIFY(total.add(*Money::fromDecimal(amount)));
    QCOMPARE(total.toText(), QStringLiteral("100"));

    Money tenths;
    for (int i = 0; i < 10; ++i)
        QVERIFY(tenths.add(*Money::fromDecimal(0.1)));
    QCOMPARE(tenths.toText(), QStringLiteral("1"));

    // A return cancels the sale.
    Money net = *Money::fromDecimal(19.9);
    QVERIFY(net.add(*Money::fromDecimal(-19.9)));
    QCOMPARE(net.toText(), QStringLiteral("0"));

    // Overflow is refused and leaves the total as it was.
    Money big = Money::fromUnits(std::numeric_limits<qint64>::max());
    QVERIFY(!big.add(Money::fromUnits(1)));
    QCOMPARE(big.units(), std::numeric_limits<qint64>::max());
}

void TestNumbers::moneyText_data()
{
    QTest::addColumn<qint64>("units");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero") << qint64(0) << "0";
    QTest::newRow("one decimal") << qint64(998000) << "99.8";
    QTest::newRow("four decimals") << qint64(12345) << "1.2345";
    QTest::newRow("small negative") << qint64(-5) << "-0.0005";
    QTest::newRow("whole") << qint64(1000000) << "100";
    QTest::newRow("smallest") << std::numeric_limits<qint64>::min() << "-922337203685477.5808";
}

void TestNumbers::moneyText()
{
    QFETCH(qint64, units);
    QFETCH(QString, text);
    const Money m = Money::fromUnits(units);
    QCOMPARE(m.toText(), text);
    if (units != std::numeric_limits<qint64>::min())
        QCOMPARE(general(m.toDecimal()), text); // the same as the general form
}

// ---- Dates ----------------------------------------------------------------------

void TestNumbers::dates()
{
    QCOMPARE(dateText(QDate(2014, 3, 5)), QStringLiteral("2014-03-05"));
    QCOMPARE(dateText(QDate()), QString());
    QCOMPARE(dateTimeText(QDateTime(QDate(2014, 3, 5), QTime(9, 5, 7))), QStringLiteral("2014-03-05 09:05:07"));
    QCOMPARE(dateTimeText(QDateTime()), QString());
    // Today and now are the program's clock in its forms, at any hour.
    wallclock::FixedClock clock(QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59)));
    QCOMPARE(today(), QStringLiteral("2026-12-31"));
    QCOMPARE(now(), QStringLiteral("2026-12-31 23:59:59"));
    clock.set(QDateTime(QDate(2027, 1, 1), QTime(0, 0, 0)));
    QCOMPARE(today(), QStringLiteral("2027-01-01"));
    QCOMPARE(now(), QStringLiteral("2027-01-01 00:00:00"));
}

void TestNumbers::parseDate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("expected"); // invalid: refused

    QTest::newRow("ordinary") << "2014-03-05" << QDate(2014, 3, 5);
    QTest::newRow("leap day") << "2016-02-29" << QDate(2016, 2, 29);
    QTest::newRow("no leap day") << "2015-02-29" << QDate();
    QTest::newRow("short parts") << "2014-3-5" << QDate();
    QTest::newRow("slashes") << "2014/03/05" << QDate();
    QTest::newRow("no separators") << "20140305" << QDate();
    QTest::newRow("blank before") << " 2014-03-05" << QDate();
    QTest::newRow("time after") << "2014-03-05 10:00:00" << QDate();
    QTest::newRow("month 13") << "2014-13-01" << QDate();
    QTest::newRow("year 0") << "0000-01-01" << QDate();
    QTest::newRow("sign") << "+014-03-05" << QDate();
    QTest::newRow("empty") << "" << QDate();
}

void TestNumbers::parseDate()
{
    QFETCH(QString, text);
    QFETCH(QDate, expected);
    const auto d = num::parseDate(text);
    QCOMPARE(d.has_value(), expected.isValid());
    if (d)
        QCOMPARE(*d, expected);
}

QTEST_GUILESS_MAIN(TestNumbers)
#include "tst_numbers.moc"
