// Changing and deleting a recorded sale through the change/delete panel of the
// sales detail window, with the stock given back to exactly its own row.

#include "salesshop.h"

#include "keys.h"

#include "sales/saleeditpanel.h"
#include "store/ops/saleops.h"
#include "ui/numberbox.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace {

// A stock row with the given figures, written as stored.
qint64 addStockRow(SalesShop& s, const QString& name, double sold, double soldAmount, double stock, double stockAmount,
                   const QString& day = u"2026-01-05"_s)
{
    const QVariantMap row{{u"a"_s, name},  {u"b"_s, u"7号"_s},     {u"c"_s, u"6901"_s}, {u"d"_s, u"球类"_s},
                          {u"1"_s, 30.0},  {u"2"_s, sold + stock}, {u"5"_s, sold},      {u"6"_s, soldAmount},
                          {u"7"_s, stock}, {u"8"_s, stockAmount},  {u"day1"_s, day}};
    return s.dm().appendRow(u"data"_s, row).valueOr(-1);
}

SaleRow soldFrom(const QString& name, double quantity, double amount)
{
    SaleRow r = saleRow(name, u"7号"_s, u"6901"_s, u"球类"_s, quantity, amount / quantity);
    r.purchasePrice = 30;
    r.number = u"20261210001"_s;
    r.customer = u"张三"_s;
    return r;
}

QVector<QVariant> stockFigures(SalesShop& s, qint64 id)
{
    QueryResult r;
    QString error;
    s.dm().db().query(Statement{u"select [5],[6],[7],[8] from data where rowid=?"_s, {id}}, &r, &error);
    return r.rows.value(0);
}

int saleCount(SalesShop& s)
{
    QueryResult r;
    QString error;
    s.dm().db().query(Statement{u"select count(*) from data1"_s, {}}, &r, &error);
    return r.rows.value(0).value(0).toInt();
}

// Opens the window and the delete panel on the row of `name` with the Delete key.
bool openDelete(SalesShop& s, const QString& name)
{
    if (!s.open())
        return false;
    s.clickRow(s.rowOf(name));
    QTest::keyClick(s.grid()->view(), Qt::Key_Delete);
    return s.window()->editPanel()->isVisible() && s.window()->editPanel()->mode() == SaleEditPanel::Mode::Delete;
}

} // namespace

class TestSaleEdit : public QObject
{
    Q_OBJECT

private slots:
    void deletionGivesTheStockBack_data();
    void deletionGivesTheStockBack();
    void deletionFindsTheStockRowExactly();
    void deletionWithoutStockRowAsksFirst();
    void deletionGivesBackToTheBatchSoldFrom();
    void failedDeletionLeavesTheStockAlone();
    void changeWritesOwedAndCustomerOnly();
    void changeRefusesAnOwedAmountThatIsNoNumber();
    void panelClosesWhenTheRowChanges();
};

void TestSaleEdit::deletionGivesTheStockBack_data()
{
    QTest::addColumn<double>("quantity");
    QTest::addColumn<double>("amount");
    QTest::addColumn<QVector<double>>("before"); // sold, sold amount, stock, stock amount
    QTest::addColumn<QVector<double>>("after");
    QTest::newRow("sale of 2 for 100") << 2.0 << 100.0 << QVector<double>{5, 250, 8, 240}
                                       << QVector<double>{3, 150, 10, 300};
    QTest::newRow("return of 1 for -50") << -1.0 << -50.0 << QVector<double>{5, 250, 8, 240}
                                         << QVector<double>{6, 300, 7, 210};
}

void TestSaleEdit::deletionGivesTheStockBack()
{
    QFETCH(double, quantity);
    QFETCH(double, amount);
    QFETCH(QVector<double>, before);
    QFETCH(QVector<double>, after);
    SalesShop s;
    const qint64 stock = addStockRow(s, u"篮球"_s, before[0], before[1], before[2], before[3]);
    s.addSale(soldFrom(u"篮球"_s, quantity, amount));
    QVERIFY(s.start());
    QVERIFY(openDelete(s, u"篮球"_s));
    QTest::mouseClick(s.window()->editPanel()->deleteButton(), Qt::LeftButton);
    QCOMPARE(s.port.texts(), QStringList{u"删除销售记录成功！"_s});
    const QVector<QVariant> figures = stockFigures(s, stock);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(figures.value(i).toDouble(), after[i]);
    QCOMPARE(saleCount(s), 0);
    QVERIFY(!s.window()->editPanel()->isVisible());
    QCOMPARE(s.list().rowCount(), 0);
    // The stock list shows the stored figures.
    const int row = s.dm().stock().list().rowOf(stock);
    QCOMPARE(s.dm().stock().list().value(row, u"7"_s).toDouble(), after[2]);
}

void TestSaleEdit::deletionFindsTheStockRowExactly()
{
    // 篮球鞋 contains 篮球, and a 篮球 batch of another day has the same texts.
    SalesShop s;
    const qint64 shoes = addStockRow(s, u"篮球鞋"_s, 5, 250, 8, 240);
    const qint64 otherDay = addStockRow(s, u"篮球"_s, 5, 250, 8, 240, u"2026-02-01"_s);
    const qint64 ball = addStockRow(s, u"篮球"_s, 5, 250, 8, 240);
    s.addSale(soldFrom(u"篮球"_s, 2, 100));
    QVERIFY(s.start());
    QVERIFY(openDelete(s, u"篮球"_s));
    QTest::mouseClick(s.window()->editPanel()->deleteButton(), Qt::LeftButton);
    QCOMPARE(stockFigures(s, ball).value(2).toDouble(), 10.0);
    QCOMPARE(stockFigures(s, shoes).value(2).toDouble(), 8.0);
    QCOMPARE(stockFigures(s, otherDay).value(2).toDouble(), 8.0);
}

void TestSaleEdit::deletionWithoutStockRowAsksFirst()
{
    SalesShop s;
    const qint64 shoes = addStockRow(s, u"篮球鞋"_s, 5, 250, 8, 240);
    s.addSale(soldFrom(u"篮球"_s, 2, 100));
    QVERIFY(s.start());
    QVERIFY(openDelete(s, u"篮球"_s));
    // Cancel: nothing happens.
    QTest::mouseClick(s.window()->editPanel()->deleteButton(), Qt::LeftButton);
    QCOMPARE(s.port.entries.size(), 1);
    QCOMPARE(s.port.entries.at(0).kind, u"confirm"_s);
    QVERIFY(s.port.entries.at(0).text.contains(u"不会把数量退回库存"_s));
    QCOMPARE(saleCount(s), 1);
    // OK: the sale goes, the stock stays, and the message says so.
    s.port.clear();
    s.port.answers = {MessagePort::Answer::Ok};
    QTest::mouseClick(s.window()->editPanel()->deleteButton(), Qt::LeftButton);
    QCOMPARE(saleCount(s), 0);
    QCOMPARE(stockFigures(s, shoes).value(2).toDouble(), 8.0);
    QCOMPARE(s.port.lastText(), u"删除销售记录成功！库存没有变动。"_s);
}

void TestSaleEdit::deletionGivesBackToTheBatchSoldFrom()
{
    // Two stock-ins of one article on one day: the sale was taken from the second.
    SalesShop s;
    const qint64 first = addStockRow(s, u"篮球"_s, 5, 250, 8, 240);
    const qint64 second = addStockRow(s, u"篮球"_s, 5, 250, 8, 240);
    saleops::SaleInput in;
    in.stockRowId = second;
    in.quantity = u"2"_s;
    in.price = u"50"_s;
    in.saleNumber = u"20261210001"_s;
    in.saleDate = u"2026-12-10"_s;
    QVERIFY(saleops::recordSale(s.dm(), in));
    QVERIFY(s.start());
    QVERIFY(openDelete(s, u"篮球"_s));
    QTest::mouseClick(s.window()->editPanel()->deleteButton(), Qt::LeftButton);
    QCOMPARE(s.port.texts(), QStringList{u"删除销售记录成功！"_s});
    QCOMPARE(stockFigures(s, second), (QVector<QVariant>{5.0, 250.0, 8.0, 240.0}));
    QCOMPARE(stockFigures(s, first), (QVector<QVariant>{5.0, 250.0, 8.0, 240.0}));
    QCOMPARE(saleCount(s), 0);

    // A sale written before the batches were told apart: which one it came
    // from is unknown, so nothing is deleted and nothing given back.
    SalesShop older;
    const qint64 olderFirst = addStockRow(older, u"篮球"_s, 5, 250, 8, 240);
    const qint64 olderSecond = addStockRow(older, u"篮球"_s, 5, 250, 8, 240);
    older.addSale(soldFrom(u"篮球"_s, 2, 100));
    QVERIFY(older.start());
    QVERIFY(openDelete(older, u"篮球"_s));
    QTest::mouseClick(older.window()->editPanel()->deleteButton(), Qt::LeftButton);
    QCOMPARE(older.port.entries.size(), 1);
    QCOMPARE(older.port.entries.at(0).kind, u"warning"_s);
    QVERIFY2(older.port.lastText().contains(u"无法确定退回哪一批库存，未删除"_s), qPrintable(older.port.lastText()));
    QCOMPARE(saleCount(older), 1);
    QCOMPARE(stockFigures(older, olderFirst), (QVector<QVariant>{5.0, 250.0, 8.0, 240.0}));
    QCOMPARE(stockFigures(older, olderSecond), (QVector<QVariant>{5.0, 250.0, 8.0, 240.0}));
    QVERIFY(older.window()->editPanel()->isVisible());
}

void TestSaleEdit::failedDeletionLeavesTheStockAlone()
{
    // The sale row cannot be deleted after the stock row was written: the
    // stock row goes back to what it was.
    SalesShop s;
    const qint64 stock = addStockRow(s, u"篮球"_s, 5, 250, 8, 240);
    s.addSale(soldFrom(u"篮球"_s, 2, 100));
    QString error;
    QVERIFY(s.dm().db().exec(u"create trigger keep before delete on data1 begin select raise(abort, '不能删除'); end"_s,
                             &error));
    QVERIFY(s.start());
    QVERIFY(openDelete(s, u"篮球"_s));
    QTest::mouseClick(s.window()->editPanel()->deleteButton(), Qt::LeftButton);
    QCOMPARE(s.port.texts(), QStringList{u"不能删除"_s});
    QCOMPARE(stockFigures(s, stock), (QVector<QVariant>{5.0, 250.0, 8.0, 240.0}));
    QCOMPARE(saleCount(s), 1);
    QVERIFY(s.window()->editPanel()->isVisible());
}

void TestSaleEdit::changeWritesOwedAndCustomerOnly()
{
    SalesShop s;
    const qint64 stock = addStockRow(s, u"篮球"_s, 5, 250, 8, 240);
    const qint64 sale = s.addSale(soldFrom(u"篮球"_s, 2, 100));
    QVERIFY(s.start());
    QVERIFY(s.open());
    s.doubleClickRow(0);
    SaleEditPanel* p = s.window()->editPanel();
    QVERIFY(p->isVisible());
    QCOMPARE(p->mode(), SaleEditPanel::Mode::Change);
    QCOMPARE(p->field(u"销售数量："_s)->text(), u"2"_s);
    QCOMPARE(p->customerEdit()->text(), u"张三"_s);
    // Letters and "-" do not type into the amount owed; Enter moves on.
    p->owedEdit()->setFocus();
    p->owedEdit()->selectAll();
    typeText(p->owedEdit(), u"1a2-.5"_s);
    QCOMPARE(p->owedEdit()->text(), u"12.5"_s);
    QTest::keyClick(p->owedEdit(), Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), p->numberEdit());
    p->numberEdit()->selectAll();
    typeText(p->numberEdit(), u"  20261210009  "_s);
    p->customerEdit()->selectAll();
    typeText(p->customerEdit(), u" 李四 "_s);
    QTest::mouseClick(p->changeButton(), Qt::LeftButton);
    QCOMPARE(s.port.texts(), QStringList{u"修改记录成功！"_s});
    QVERIFY(!p->isVisible());
    QueryResult r;
    QString error;
    QVERIFY(s.dm().db().query(Statement{u"select [6],z,g,[3],[4] from data1 where rowid=?"_s, {sale}}, &r, &error));
    QCOMPARE(r.rows.value(0), (QVector<QVariant>{12.5, u"20261210009"_s, u"李四"_s, 2.0, 100.0}));
    QCOMPARE(stockFigures(s, stock), (QVector<QVariant>{5.0, 250.0, 8.0, 240.0}));
    // The grid shows the stored row.
    QCOMPARE(s.grid()->displayText(0, u"g"_s), u"李四"_s);
    QCOMPARE(s.grid()->footerText(u"6"_s), u"12.5"_s);
}

void TestSaleEdit::changeRefusesAnOwedAmountThatIsNoNumber()
{
    SalesShop s;
    const qint64 sale = s.addSale(soldFrom(u"篮球"_s, 2, 100));
    QVERIFY(s.start());
    QVERIFY(s.open());
    s.clickRow(0);
    s.window()->action(u"修 改 "_s)->trigger();
    SaleEditPanel* p = s.window()->editPanel();
    QVERIFY(p->isVisible());
    for (const QString& bad : {u"1.2.3"_s, QString()}) {
        s.port.clear();
        p->owedEdit()->selectAll();
        QTest::keyClick(p->owedEdit(), Qt::Key_Backspace);
        typeText(p->owedEdit(), bad);
        QTest::mouseClick(p->changeButton(), Qt::LeftButton);
        QCOMPARE(s.port.texts(), QStringList{num::invalidDecimalText(bad)});
        QVERIFY(p->isVisible());
    }
    QueryResult r;
    QString error;
    QVERIFY(s.dm().db().query(Statement{u"select [6] from data1 where rowid=?"_s, {sale}}, &r, &error));
    QCOMPARE(r.rows.value(0).value(0).toDouble(), 0.0);
}

void TestSaleEdit::panelClosesWhenTheRowChanges()
{
    SalesShop s;
    s.addSale(soldFrom(u"篮球"_s, 2, 100));
    s.addSale(soldFrom(u"足球"_s, 1, 80));
    QVERIFY(s.start());
    QVERIFY(s.open());
    SaleEditPanel* p = s.window()->editPanel();
    s.doubleClickRow(0);
    QVERIFY(p->isVisible());
    s.clickRow(1);
    QVERIFY(!p->isVisible());
    s.doubleClickRow(1);
    QVERIFY(p->isVisible());
    // A title click closes it too.
    QHeaderView* header = s.grid()->view()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(5) + 10, header->height() - 6));
    QVERIFY(!p->isVisible());
}

QTEST_MAIN(TestSaleEdit)
#include "tst_saleedit.moc"
