#include "fakehosts.h"
#include "keys.h"
#include "login.h"
#include "recordingport.h"
#include "testdb.h"

#include "app/tmainform.h"
#include "pos/salepanel.h"
#include "pos/slippanel.h"
#include "store/db/columns.h"
#include "store/ops/tdmfm.h"
#include "ui/datagrid.h"
#include "ui/numberbox.h"
#include "users/tloginfm.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>

namespace {

struct Counter
{
    TestShop shop;
    RecordingPort port;
    FakePosHost host{shop.dm()};
    QWidget window;
    SalePanel* sale = nullptr;
    SlipPanel* slip = nullptr;
    int printed = 0;
    qint64 ball = -1;
    qint64 rope = -1;

    Counter()
    {
        window.resize(1000, 700);
        sale = new SalePanel(shop.dm(), host, &window);
        sale->move(680, 0);
        slip = new SlipPanel(shop.dm(), *sale, &window);
        slip->setReceiptPrinter([this] {
            ++printed;
            return true;
        });
        window.show();
        window.activateWindow();
        ball = shop.addStock(QStringLiteral("篮球"), QStringLiteral("7号"), QStringLiteral("B7"),
                             QStringLiteral("球类"), 12, 10, 19.9);
        rope = shop.addStock(QStringLiteral("跳绳"), {}, QStringLiteral("S1"), QStringLiteral("健身"), 30, 10, 60);
    }
    bool ready() { return shop.isValid() && QTest::qWaitForWindowActive(&window); }

    // Sells `quantity` of the stock row `id` under the panel's current number.
    bool sell(qint64 id, const QString& quantity, const QString& customer = {})
    {
        host.showStockList();
        if (!sale->openForRow(shop.dm().stock().list(), shop.dm().stock().list().rowOf(id)))
            return false;
        sale->quantityBox()->setText(quantity);
        if (!customer.isEmpty())
            sale->customerList()->setEditText(customer);
        return sale->confirm();
    }
};

void typeCash(SlipPanel* slip, const QString& text)
{
    slip->cashEdit()->clear();
    slip->cashEdit()->setFocus();
    typeText(slip->cashEdit(), text);
}

} // namespace

class TestSlipPanel : public QObject
{
    Q_OBJECT

private slots:
    void listsTheNumberWithTotalAndChange();
    void numberFooterCellsAreLightOrange();
    void fragmentAndReturn();
    void receiptChecks_data();
    void receiptChecks();
    void stepsToOtherNumbers();
    void toggles();
};

void TestSlipPanel::listsTheNumberWithTotalAndChange()
{
    Counter c;
    QVERIFY(c.ready());
    QVERIFY(c.sell(c.ball, QStringLiteral("2"), QStringLiteral("老张")));
    QVERIFY(c.sell(c.rope, QStringLiteral("1"), QStringLiteral("老张")));
    SlipPanel* s = c.slip;
    s->toggle();
    QVERIFY(s->isVisible());
    QCOMPARE(s->grid()->model()->rowCount(), 2);
    QCOMPARE(s->grid()->displayText(0, salecol::name), QStringLiteral("篮球"));
    QCOMPARE(s->grid()->displayText(0, salecol::amount), QStringLiteral("39.8"));
    QCOMPARE(s->grid()->footerText(salecol::name), QStringLiteral("销售单号："));
    QCOMPARE(s->grid()->footerText(salecol::model), c.sale->saleNumber());
    QCOMPARE(s->grid()->footerText(salecol::quantity), QStringLiteral("3"));
    QCOMPARE(s->total(), QStringLiteral("99.8"));
    QCOMPARE(s->customerLine()->text(), QStringLiteral("客户名称："));

    // Cash typed key by key; the change follows every key.
    typeCash(s, QStringLiteral("100"));
    QCOMPARE(s->change(), QStringLiteral("0.2"));
    typeCash(s, QStringLiteral("99"));
    QCOMPARE(s->change(), QStringLiteral("-0.8"));
    // Keys other than digits and "." are dropped; Enter goes on to the receipt button.
    typeText(s->cashEdit(), QStringLiteral("a-"));
    QCOMPARE(s->cash(), QStringLiteral("99"));
    QTest::keyClick(s->cashEdit(), Qt::Key_Return);
    QVERIFY(s->receiptButton()->hasFocus());
    // A lone "." is no number: the message, and the change stays.
    typeCash(s, QStringLiteral("."));
    QCOMPARE(c.port.lastText(), QStringLiteral("'.' is not a valid floating point value"));
    QCOMPARE(s->change(), QStringLiteral("-0.8"));
}

void TestSlipPanel::numberFooterCellsAreLightOrange()
{
    Counter c;
    QVERIFY(c.ready());
    QVERIFY(c.sell(c.ball, QStringLiteral("1")));
    c.slip->toggle();
    DataGrid* grid = c.slip->grid();
    QWidget* footer = grid->findChild<QWidget*>(QStringLiteral("footer"));
    QVERIFY(footer);
    const QImage image = footer->grab().toImage();
    const QHeaderView* header = grid->view()->horizontalHeader();
    // The footer lies under the table: a cell starts where its column does, in
    // the view's viewport. One pixel in from the cell's left is background.
    const int left = grid->view()->viewport()->geometry().left();
    const auto background = [&](QLatin1StringView field) {
        const int x = left + header->sectionViewportPosition(grid->model()->columnOf(field)) + 1;
        return image.pixelColor(x, image.height() / 2);
    };
    const QColor lightOrange(255, 224, 178);
    QCOMPARE(background(salecol::name), lightOrange);
    QCOMPARE(background(salecol::model), lightOrange);
    // The others keep the grid's footer colour.
    QCOMPARE(background(salecol::quantity), QColor(255, 194, 134));
    QCOMPARE(background(salecol::amount), QColor(255, 194, 134));
}

void TestSlipPanel::fragmentAndReturn()
{
    Counter c;
    QVERIFY(c.ready());
    QVERIFY(c.sell(c.ball, QStringLiteral("1")));
    QVERIFY(c.sell(c.rope, QStringLiteral("-1")));
    QCOMPARE(c.slip->total(), QStringLiteral("-40.1"));
    QTest::mouseClick(c.sale->nextButton(), Qt::LeftButton);
    QVERIFY(c.sell(c.rope, QStringLiteral("1")));
    QCOMPARE(c.slip->total(), QStringLiteral("60"));
    // A fragment of the number lists every number that contains it.
    c.sale->numberEdit()->setText(QDate::currentDate().toString(QStringLiteral("yyyyMMdd")));
    QCOMPARE(c.slip->grid()->model()->rowCount(), 3);
    QCOMPARE(c.slip->total(), QStringLiteral("19.9"));
}

void TestSlipPanel::receiptChecks_data()
{
    QTest::addColumn<bool>("sold");
    QTest::addColumn<QString>("cash");
    QTest::addColumn<QString>("message");

    QTest::newRow("nothing sold") << false << "100"
                                  << "先进行销售";
    QTest::newRow("no cash") << true << ""
                             << "输入现金额";
    QTest::newRow("cash short") << true << "99"
                                << "现金不足";
    QTest::newRow("cash exact") << true << "99.8"
                                << "";
    QTest::newRow("cash over") << true << "100"
                               << "";
}

void TestSlipPanel::receiptChecks()
{
    QFETCH(bool, sold);
    QFETCH(QString, cash);
    QFETCH(QString, message);

    Counter c;
    QVERIFY(c.ready());
    if (sold) {
        QVERIFY(c.sell(c.ball, QStringLiteral("2")));
        QVERIFY(c.sell(c.rope, QStringLiteral("1")));
    }
    typeCash(c.slip, cash);
    c.port.clear();
    QTest::mouseClick(c.slip->receiptButton(), Qt::LeftButton);
    QCOMPARE(c.port.lastText(), message);
    QCOMPARE(c.printed, message.isEmpty() ? 1 : 0);
    if (message == u"输入现金额")
        QVERIFY(c.slip->cashEdit()->hasFocus());
    if (message.isEmpty()) {
        // Printed: the list is done, the figures stay.
        QCOMPARE(c.slip->grid()->model()->rowCount(), 0);
        QCOMPARE(c.slip->total(), QStringLiteral("99.8"));
        QCOMPARE(c.slip->cash(), cash);
    }
}

void TestSlipPanel::stepsToOtherNumbers()
{
    Counter c;
    QVERIFY(c.ready());
    QVERIFY(c.sell(c.ball, QStringLiteral("2")));
    const QString first = c.sale->saleNumber();
    typeCash(c.slip, QStringLiteral("50"));
    QTest::mouseClick(c.slip->nextButton(), Qt::LeftButton);
    QVERIFY(c.sale->saleNumber() != first);
    QCOMPARE(c.slip->grid()->model()->rowCount(), 0);
    QCOMPARE(c.slip->total(), QStringLiteral("0"));
    QCOMPARE(c.slip->cash(), QStringLiteral("0"));
    QCOMPARE(c.slip->change(), QStringLiteral("0"));
    QTest::mouseClick(c.slip->previousButton(), Qt::LeftButton);
    QCOMPARE(c.sale->saleNumber(), first);
    QCOMPARE(c.slip->total(), QStringLiteral("39.8"));
    QCOMPARE(c.slip->cash(), QStringLiteral("0"));
    QCOMPARE(c.slip->change(), QStringLiteral("-39.8"));
}

void TestSlipPanel::toggles()
{
    TestShop shop;
    RecordingPort port;
    shop.addStock(QStringLiteral("篮球"), QString(), QStringLiteral("1"), QStringLiteral("球类"), 50, 10, 90);
    TMainForm main(shop.dm());
    QVERIFY(logIn(main));
    SlipPanel* slip = main.slipPanel();
    QVERIFY(!slip->isVisible());
    QTest::mouseClick(main.slipButton(), Qt::LeftButton);
    QVERIFY(slip->isVisible());
    main.action(QStringLiteral("销售单(小票)打印"))->trigger();
    QVERIFY(!slip->isVisible());
    QTest::mouseClick(main.salePanel()->previewButton(), Qt::LeftButton);
    QVERIFY(slip->isVisible());
    QTest::mouseClick(slip->closeButton(), Qt::LeftButton);
    QVERIFY(!slip->isVisible());
}

QTEST_MAIN(TestSlipPanel)
#include "tst_slippanel.moc"
