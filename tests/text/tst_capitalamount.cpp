#include "text/capitalamount.h"

#include <QTest>

class TestCapitalAmount final : public QObject
{
    Q_OBJECT

private slots:
    void converts_data();
    void converts();
    void badCharacterRefusesWithCodeThenReadError_data();
    void badCharacterRefusesWithCodeThenReadError();
    void tooManyDigits();
};

void TestCapitalAmount::converts_data()
{
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("capital");

    const QList<std::pair<const char*, const char*>> rows = {
        // Worked examples of the conversion.
        {"0", ""},
        {"0.5", "伍角"},
        {"0.05", "伍分"},
        {"0.53", "伍角叁分"},
        {"1", "壹元整"},
        {"1.5", "壹元伍角"},
        {"1.08", "壹元零捌分"},
        {"10", "壹拾元整"},
        {"10.08", "壹拾元零捌分"},
        {"20.3", "贰拾元叁角"},
        {"99.8", "玖拾玖元捌角"},
        {"101", "壹佰零壹元整"},
        {"1010", "壹仟零壹拾元整"},
        {"1000.5", "壹仟元伍角"},
        {"1005.05", "壹仟零伍元零伍分"},
        {"3500", "叁仟伍佰元整"},
        {"10001", "壹万零壹元整"},
        {"100000", "壹拾万元整"},
        {"1000001", "壹佰万零壹元整"},
        {"100000000", "壹亿元整"},
        {"100010000", "壹亿零壹万元整"},
        {"120000000", "壹亿贰仟万元整"},
        {"1000100", "壹佰万零壹佰元整"},
        {"10100000", "壹仟零壹拾万元整"},
        {"2000000050", "贰拾亿零伍拾元整"},
        {"2345678.91", "贰佰叁拾肆万伍仟陆佰柒拾捌元玖角壹分"},
        // Cents that a binary multiplication by 100 would put just below.
        {"2.10", "贰元壹角"},
        {"4.20", "肆元贰角"},
        {"2345.50", "贰仟叁佰肆拾伍元伍角"},
        // Extra decimals are dropped, not rounded.
        {"1.999", "壹元玖角玖分"},
        {"0.009", ""},
        // Missing parts of the number.
        {"5.", "伍元整"},
        {".5", "伍角"},
        {".", ""},
        {"", ""},
        {"007.50", "柒元伍角"},
        // More than one point counts as zero, without a refusal.
        {"1.2.3", ""},
        // The largest groups the unit table covers (10^27 yuan has 30 fen digits).
        {"100000000000000", "壹佰万亿元整"},
        {"1000000000000000000000000000", "壹仟亿亿亿元整"},
        {"1000000000000000000000000001", "壹仟亿亿亿零壹元整"},
    };
    for (const auto& [amount, capital] : rows)
        QTest::newRow(amount[0] ? amount : "(empty)") << QString::fromUtf8(amount) << QString::fromUtf8(capital);
}

void TestCapitalAmount::converts()
{
    QFETCH(QString, amount);
    QFETCH(QString, capital);
    const CapitalAmountText result = CapitalAmount(amount);
    QCOMPARE(result.text, capital);
    QCOMPARE(result.refusal, QStringList());
}

void TestCapitalAmount::badCharacterRefusesWithCodeThenReadError_data()
{
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("code");

    QTest::newRow("negative total") << QStringLiteral("-5") << QStringLiteral("45");
    QTest::newRow("thousands separator") << QStringLiteral("1,000") << QStringLiteral("44");
    QTest::newRow("exponent") << QStringLiteral("1E5") << QStringLiteral("69");
    QTest::newRow("blank") << QStringLiteral(" 5") << QStringLiteral("32");
    QTest::newRow("first bad character counts") << QStringLiteral("5元-") << QStringLiteral("20803");
    QTest::newRow("checked before the points") << QStringLiteral("1.2.x") << QStringLiteral("120");
}

void TestCapitalAmount::badCharacterRefusesWithCodeThenReadError()
{
    QFETCH(QString, amount);
    QFETCH(QString, code);
    const CapitalAmountText result = CapitalAmount(amount);
    QCOMPARE(result.text, QString());
    QCOMPARE(result.refusal, QStringList({code, QStringLiteral("读取错误，应为数字")}));
}

void TestCapitalAmount::tooManyDigits()
{
    // 10^28 yuan needs 31 fen digits, beyond the last unit: no half-written text.
    const CapitalAmountText result = CapitalAmount(QStringLiteral("1") + QString(28, u'0'));
    QCOMPARE(result.text, QString());
    QCOMPARE(result.refusal, QStringList({QStringLiteral("读取错误，应为数字")}));
}

QTEST_GUILESS_MAIN(TestCapitalAmount)
#include "tst_capitalamount.moc"
