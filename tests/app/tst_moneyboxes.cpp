// Every money and quantity box the till takes in (the sale panel, the slip
// panel's cash, the stock-in panel and the change panel of a recorded sale),
// driven as a cashier drives them: keys and the wheel never change an amount,
// coming in by a click, Enter or Ctrl+A lets typing replace it, and a paste
// after "退" brings in nothing the keys would not.

#include "fakehosts.h"
#include "recordingport.h"
#include "testdb.h"

#include "pos/salepanel.h"
#include "pos/slippanel.h"
#include "sales/saleeditpanel.h"
#include "stock/stockinpanel.h"
#include "store/db/database.h"
#include "store/memory/rowset.h"
#include "store/ops/tdmfm.h"
#include "ui/numberbox.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// The four panels open side by side over one active window.
struct Till
{
    TestShop shop;
    RecordingPort port;
    FakePosHost pos{shop.dm()};
    FakeStockHost stock{shop.dm()};
    QWidget window;
    SalePanel* sale = new SalePanel(shop.dm(), pos, &window);
    SlipPanel* slip = new SlipPanel(shop.dm(), *sale, &window);
    StockInPanel* stockIn = new StockInPanel(shop.dm(), stock, &window);
    SaleEditPanel* change = new SaleEditPanel(shop.dm(), &window);

    bool open()
    {
        window.resize(1300, 800);
        slip->move(310, 0);
        stockIn->move(780, 0);
        change->move(780, 300);
        window.show();
        window.activateWindow();
        if (!shop.isValid() || !QTest::qWaitForWindowActive(&window))
            return false;
        const qint64 ball = shop.addStock(u"篮球"_s, u"7号"_s, u"B7"_s, u"球类"_s, 1200, 10, 1999);
        pos.showStockList();
        if (!sale->openForRow(shop.dm().stock().list(), shop.dm().stock().list().rowOf(ball)))
            return false;
        slip->toggle();
        stockIn->openForNew();
        const QVariantMap sold{{u"a"_s, u"篮球"_s}, {u"2"_s, 1999.0}, {u"3"_s, 1.0},
                               {u"4"_s, 1999.0},    {u"6"_s, 0.0},    {u"z"_s, u"20260105001"_s}};
        RowSet& sales = scratchRows();
        return shop.dm().appendRow(u"data1"_s, sold) && shop.dm().OpenQuery(sales, Statement{u"select * from data1"_s, {}}) &&
               change->openFor(sales, 0, SaleEditPanel::Mode::Change);
    }

    QWidget* panel(const QString& name) const
    {
        if (name == u"sale")
            return sale;
        if (name == u"slip")
            return slip;
        if (name == u"stock-in")
            return stockIn;
        return change;
    }
};

QWidget* focused()
{
    return QApplication::focusWidget();
}

void type(const QString& text)
{
    for (QChar c : text)
        QTest::keyClick(focused(), c.toLatin1());
}

void wheel(QWidget* w, int delta)
{
    const QPointF at(w->rect().center());
    QWheelEvent event(at, w->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &event);
}

// Every money and quantity box, and the field whose Enter leads into it (none for a first field).
void boxes()
{
    QTest::addColumn<QString>("panel");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("before");
    const QList<std::array<const char*, 3>> rows{
        {"sale", "priceBox", ""},
        {"sale", "discountBox", "priceBox"},
        {"sale", "quantityBox", "discountBox"},
        {"sale", "owedBox", "quantityBox"},
        {"slip", "cashEdit", ""},
        {"stock-in", "purchasePriceBox", ""},
        {"stock-in", "quantityBox", "purchasePriceBox"},
        {"stock-in", "salePriceBox", "quantityBox"},
        {"change", "owedBox", ""},
    };
    for (const auto& [panel, box, before] : rows)
        QTest::addRow("%s %s", panel, box)
            << QString::fromLatin1(panel) << QString::fromLatin1(box) << QString::fromLatin1(before);
}

} // namespace

class TestMoneyBoxes : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void keysAndWheelChangeNoAmount_data() { boxes(); }
    void keysAndWheelChangeNoAmount();
    void typingReplacesTheAmount_data() { boxes(); }
    void typingReplacesTheAmount();
    void pasteAfterReturnBringsInOnlyDigits();
    void cleanupTestCase() { m_till.reset(); }

private:
    NumberBox* box(const QString& panel, const QString& name) const
    {
        return m_till->panel(panel)->findChild<NumberBox*>(name);
    }
    std::unique_ptr<Till> m_till;
};

void TestMoneyBoxes::initTestCase()
{
    m_till = std::make_unique<Till>();
    QVERIFY(m_till->open());
}

void TestMoneyBoxes::keysAndWheelChangeNoAmount()
{
    QFETCH(QString, panel);
    QFETCH(QString, box);
    NumberBox* b = this->box(panel, box);
    QVERIFY(b);
    b->setFocus();
    QVERIFY(b->hasFocus());
    for (const QString& start : {u"1999"_s, u"50"_s}) {
        b->setText(start);
        for (Qt::Key key : {Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown})
            QTest::keyClick(b, key);
        wheel(b, 120);
        wheel(b, -120);
        QCOMPARE(b->text(), start);
    }
    QVERIFY(m_till->port.entries.isEmpty());
}

void TestMoneyBoxes::typingReplacesTheAmount()
{
    QFETCH(QString, panel);
    QFETCH(QString, box);
    QFETCH(QString, before);
    NumberBox* b = this->box(panel, box);
    QVERIFY(b);
    auto* edit = b->findChild<QLineEdit*>();
    QVERIFY(edit);

    // A click from elsewhere.
    b->setText(u"100"_s);
    b->clearFocus();
    QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(edit->width() - 4, edit->height() / 2));
    QVERIFY(b->hasFocus());
    type(u"90"_s);
    QCOMPARE(b->text(), u"90"_s);

    // Ctrl+A where the cursor is.
    b->setText(u"100"_s);
    edit->end(false);
    QTest::keyClick(b, Qt::Key_A, Qt::ControlModifier);
    type(u"90"_s);
    QCOMPARE(b->text(), u"90"_s);

    // Enter in the field before moves on into it.
    if (!before.isEmpty()) {
        NumberBox* from = this->box(panel, before);
        QVERIFY(from);
        from->setFocus();
        b->setText(u"100"_s);
        QTest::keyClick(from, Qt::Key_Return);
        QVERIFY(b->hasFocus());
        type(u"90"_s);
        QCOMPARE(b->text(), u"90"_s);
    }
    QVERIFY(m_till->port.entries.isEmpty());
}

void TestMoneyBoxes::pasteAfterReturnBringsInOnlyDigits()
{
    SalePanel* sale = m_till->sale;
    NumberBox* quantity = sale->quantityBox();
    quantity->setText(u"2"_s);
    QTest::mouseClick(sale->findChild<QPushButton*>(u"returnButton"_s), Qt::LeftButton);
    QCOMPARE(quantity->text(), u"-2"_s);
    quantity->setFocus(Qt::TabFocusReason);
    QGuiApplication::clipboard()->setText(u"3e3"_s);
    quantity->findChild<QLineEdit*>()->paste(); // the context menu's 粘贴
    QCOMPARE(quantity->text(), u"-2"_s);
    quantity->selectAll();
    QTest::keyClick(quantity, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(quantity->text(), u"-2"_s);
    // Digits may replace it, as typing them would.
    QGuiApplication::clipboard()->setText(u"3"_s);
    QTest::keyClick(quantity, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(quantity->text(), u"3"_s);
}

QTEST_MAIN(TestMoneyBoxes)
#include "tst_moneyboxes.moc"
