#include "store/ops/stockops.h"

#include <QTest>

using stockops::Edit;
using stockops::HeldAmounts;

Q_DECLARE_METATYPE(stockops::Edit)
Q_DECLARE_METATYPE(stockops::HeldAmounts)

namespace {
QString s(const char* text)
{
    return QString::fromUtf8(text);
}

// purchase amount, sold quantity, sales amount, stock quantity, stock amount
HeldAmounts h(const char* purchase, const char* sold, const char* sales, const char* stock, const char* stockAmount)
{
    return {s(purchase), s(sold), s(sales), s(stock), s(stockAmount)};
}
} // namespace

class TstStockOps : public QObject
{
    Q_OBJECT
private slots:
    void recompute_data();
    void recompute();
};

void TstStockOps::recompute_data()
{
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<QString>("purchasePrice");
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<QString>("salePrice");
    QTest::addColumn<HeldAmounts>("held");
    QTest::addColumn<HeldAmounts>("expected");
    QTest::addColumn<bool>("fails");

    const HeldAmounts fresh = h("", "0", "0", "", "");
    const HeldAmounts stored = h("100", "3", "60", "7", "70");

    QTest::newRow("price: both amounts follow")
        << Edit::PurchasePrice << s("12.5") << s("10") << s("") << h("", "0", "0", "10", "")
        << h("125", "0", "0", "10", "125") << false;
    QTest::newRow("price: no stock quantity yet, nothing")
        << Edit::PurchasePrice << s("12.5") << s("10") << s("") << fresh << fresh << false;
    QTest::newRow("price: stock amount uses the held stock quantity")
        << Edit::PurchasePrice << s("11") << s("10") << s("") << stored << h("110", "3", "60", "7", "77") << false;
    QTest::newRow("price: not a number keeps everything")
        << Edit::PurchasePrice << s("1.2.3") << s("10") << s("") << stored << stored << true;
    QTest::newRow("price: long double precision, general form")
        << Edit::PurchasePrice << s("0.1") << s("3") << s("") << h("", "0", "0", "3", "")
        << h("0.3", "0", "0", "3", "0.3") << false;

    QTest::newRow("quantity: stock quantity follows, amounts too")
        << Edit::Quantity << s("2") << s("6") << s("") << fresh << h("12", "0", "0", "6", "12") << false;
    QTest::newRow("quantity: no price, only the stock quantity")
        << Edit::Quantity << s("") << s("6") << s("") << fresh << h("", "0", "0", "6", "") << false;
    QTest::newRow("quantity: same purchase amount leaves the stock amount")
        << Edit::Quantity << s("10") << s("10") << s("") << stored << h("100", "3", "60", "10", "70") << false;
    QTest::newRow("quantity: emptied") << Edit::Quantity << s("2") << s("") << s("") << stored
                                       << h("100", "3", "60", "", "70") << false;
    QTest::newRow("quantity: not a number still moves the stock quantity")
        << Edit::Quantity << s("2") << s("-") << s("") << stored << h("100", "3", "60", "-", "70") << true;

    QTest::newRow("sale price: sales amount of the sold quantity")
        << Edit::SalePrice << s("") << s("") << s("25") << stored << h("100", "3", "75", "7", "70") << false;
    QTest::newRow("sale price: empty, nothing")
        << Edit::SalePrice << s("") << s("") << s("") << stored << stored << false;
    QTest::newRow("sale price: not a number keeps everything")
        << Edit::SalePrice << s("") << s("") << s("2x") << stored << stored << true;

    QTest::newRow("before change: what is left after the sales")
        << Edit::BeforeChange << s("10") << s("12") << s("") << stored << h("120", "3", "60", "9", "90") << false;
    QTest::newRow("before change: more sold than taken in")
        << Edit::BeforeChange << s("2.5") << s("2") << s("") << stored << h("5", "3", "60", "-1", "-2.5") << false;
    QTest::newRow("before change: empty price is left to the required checks")
        << Edit::BeforeChange << s("") << s("12") << s("") << stored << stored << false;
    QTest::newRow("before change: not a number keeps everything")
        << Edit::BeforeChange << s("10") << s("1e") << s("") << stored << stored << true;
}

void TstStockOps::recompute()
{
    QFETCH(Edit, edit);
    QFETCH(QString, purchasePrice);
    QFETCH(QString, quantity);
    QFETCH(QString, salePrice);
    QFETCH(HeldAmounts, held);
    QFETCH(HeldAmounts, expected);
    QFETCH(bool, fails);
    QString error;
    const HeldAmounts got = stockops::recompute(edit, purchasePrice, quantity, salePrice, held, &error);
    QCOMPARE(got.purchaseAmount, expected.purchaseAmount);
    QCOMPARE(got.soldQuantity, expected.soldQuantity);
    QCOMPARE(got.salesAmount, expected.salesAmount);
    QCOMPARE(got.stockQuantity, expected.stockQuantity);
    QCOMPARE(got.stockAmount, expected.stockAmount);
    QCOMPARE(!error.isEmpty(), fails);
}

QTEST_GUILESS_MAIN(TstStockOps)
#include "tst_stockops.moc"
