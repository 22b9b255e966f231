// The summary window opened from the main window: the toolbar button (modal),
// the stock grid's Ctrl+H (beside the main window), its rows and totals, its
// refresh after a sale, and what an ordinary user sees.

#include "login.h"
#include "recordingport.h"
#include "testdb.h"

#include "app/tmainform.h"
#include "pos/salepanel.h"
#include "sales/tform1.h"
#include "store/db/passwordhash.h"
#include "store/memory/rowset.h"
#include "store/ops/saleops.h"
#include "store/ops/tdmfm.h"
#include "ui/datagrid.h"
#include "users/tloginfm.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

// Two batches of one article, and the same article in another category.
qint64 addArticles(TestShop& shop)
{
    const qint64 first = shop.addStock(QStringLiteral("篮球"), QStringLiteral("7号"), QStringLiteral("1"),
                                       QStringLiteral("球类"), 50, 10, 90, QStringLiteral("2026-01-05"));
    shop.addStock(QStringLiteral("篮球"), QStringLiteral("7号"), QStringLiteral("1"), QStringLiteral("球类"), 50, 5, 90,
                  QStringLiteral("2026-02-05"));
    shop.addStock(QStringLiteral("篮球"), QStringLiteral("7号"), QStringLiteral("1"), QStringLiteral("鞋类"), 50, 3, 90,
                  QStringLiteral("2026-01-05"));
    return first;
}

QStringList texts(std::initializer_list<const char*> list)
{
    QStringList out;
    for (const char* t : list)
        out << QString::fromUtf8(t);
    return out;
}

// Name, category and stock quantity of every row, as shown.
QString shownRows(const DataGrid* grid)
{
    QStringList out;
    for (int r = 0; r < grid->rowSet()->rowCount(); ++r)
        out << grid->displayText(r, QStringLiteral("a")) + grid->displayText(r, QStringLiteral("d")) +
                   grid->displayText(r, QStringLiteral("库存数量"));
    return out.join(QLatin1Char(' '));
}

void clickTitle(DataGrid* grid, const QString& field)
{
    QHeaderView* h = grid->view()->horizontalHeader();
    const int c = grid->model()->columnOf(field);
    // The column's own title lies below the group band.
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                      QPoint(h->sectionViewportPosition(c) + h->sectionSize(c) / 2, h->height() - 4));
}

QStringList rowTexts(const DataGrid* grid, int row)
{
    QStringList out;
    for (const char* f : {"a", "d", "进货数量", "进货金额", "销售数量", "销售金额", "库存数量", "库存金额"})
        out << grid->displayText(row, QString::fromUtf8(f));
    return out;
}

} // namespace

class TestSummary : public QObject
{
    Q_OBJECT

private slots:
    void toolbarOpensItModally();
    void gridShortcutOpensItBesideTheMainWindow();
    void ordinaryUserSeesNoAmounts();
    void titleClicksSort();
};

void TestSummary::toolbarOpensItModally()
{
    TestShop shop;
    RecordingPort port;
    addArticles(shop);
    TMainForm main(shop.dm());
    QVERIFY(logIn(main));
    TForm1* summary = main.summaryWindow();
    bool inspected = false;
    QTimer::singleShot(0, summary, [&] {
        QVERIFY(QTest::qWaitForWindowExposed(summary));
        QCOMPARE(QApplication::activeModalWidget(), summary);
        QCOMPARE(summary->windowTitle(), QStringLiteral("汇总统计"));
        const DataGrid* grid = summary->grid();
        QCOMPARE(grid->rowSet()->rowCount(), 2);
        // Two batches add up; the other category is an article of its own.
        QCOMPARE(rowTexts(grid, 0), texts({"篮球", "球类", "15", "750", "0", "0", "15", "750"}));
        QCOMPARE(rowTexts(grid, 1), texts({"篮球", "鞋类", "3", "150", "0", "0", "3", "150"}));
        QCOMPARE(grid->footerText(QStringLiteral("a")), QStringLiteral("总计"));
        QCOMPARE(grid->footerText(QStringLiteral("进货数量")), QStringLiteral("18"));
        QCOMPARE(grid->footerText(QStringLiteral("库存金额")), QStringLiteral("900"));
        QCOMPARE(grid->rowSet()->current(), 1); // the last row
        inspected = true;
        summary->close();
    });
    QTest::mouseClick(main.summaryButton(), Qt::LeftButton);
    QVERIFY(inspected);
    QVERIFY(!shop.dm().stock().summary().isOpen()); // closed with the window
    QVERIFY(port.entries.isEmpty());
}

void TestSummary::gridShortcutOpensItBesideTheMainWindow()
{
    TestShop shop;
    RecordingPort port;
    const qint64 basketball = addArticles(shop);
    TMainForm main(shop.dm());
    QVERIFY(logIn(main));
    QVERIFY(QTest::qWaitForWindowActive(&main));
    main.grid()->view()->setFocus();
    QTest::keyClick(main.grid()->view(), Qt::Key_H, Qt::ControlModifier);
    TForm1* summary = main.summaryWindow();
    QVERIFY(QTest::qWaitForWindowExposed(summary));
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(summary->grid()->rowSet()->rowCount(), 2);

    // A sale while the window shows: the sold figures appear at once.
    saleops::SaleInput sale;
    sale.stockRowId = basketball;
    sale.quantity = QStringLiteral("2");
    sale.price = QStringLiteral("90");
    sale.owed = QStringLiteral("0");
    sale.saleNumber = QStringLiteral("20260301001");
    sale.saleDate = QStringLiteral("2026-03-01");
    QVERIFY(saleops::recordSale(shop.dm(), sale));
    emit main.salePanel()->saleSaved(sale.saleNumber);
    QCOMPARE(rowTexts(summary->grid(), 0), texts({"篮球", "球类", "15", "750", "2", "180", "13", "650"}));

    // The grid fills the window but for 35 pixels at the bottom.
    summary->resize(1100, 700);
    QCOMPARE(summary->grid()->height(), summary->height() - 35);
    summary->close();
    QVERIFY(!shop.dm().stock().summary().isOpen());
    QVERIFY(port.entries.isEmpty());
}

void TestSummary::ordinaryUserSeesNoAmounts()
{
    TestShop shop;
    RecordingPort port;
    addArticles(shop);
    QVERIFY(shop.dm().appendRow(QStringLiteral("userdb"),
                                {{QStringLiteral("username"), QStringLiteral("店员")},
                                 {QStringLiteral("passwd"), hashPassword(QStringLiteral("a1"))}}));
    TMainForm main(shop.dm());
    QVERIFY(logIn(main, QStringLiteral("店员"), QStringLiteral("a1")));
    main.action(QStringLiteral("汇总统计"))->trigger();
    const DataGrid* grid = main.summaryWindow()->grid();
    QVERIFY(QTest::qWaitForWindowExposed(main.summaryWindow()));
    for (const char* field : {"进货金额", "销售金额", "库存金额"})
        QVERIFY2(!grid->isColumnVisible(QString::fromUtf8(field)), field);
    for (const char* field : {"a", "b", "c", "d", "进货数量", "销售数量", "库存数量"})
        QVERIFY2(grid->isColumnVisible(QString::fromUtf8(field)), field);
    // Still hidden when the window shows again.
    main.summaryWindow()->close();
    main.action(QStringLiteral("汇总统计"))->trigger();
    QVERIFY(!grid->isColumnVisible(QStringLiteral("库存金额")));
    QVERIFY(port.entries.isEmpty());
}

void TestSummary::titleClicksSort()
{
    TestShop shop;
    RecordingPort port;
    addArticles(shop);
    // Sorts first by name, though taken in last.
    shop.addStock(QStringLiteral("阿迪跑鞋"), QStringLiteral("42"), QStringLiteral("2"), QStringLiteral("鞋类"), 200, 8,
                  300);
    TForm1 summary(shop.dm(), [] { return QStringLiteral("店长"); });
    summary.show();
    QVERIFY(QTest::qWaitForWindowExposed(&summary));
    DataGrid* grid = summary.grid();
    QCOMPARE(shownRows(grid), QStringLiteral("阿迪跑鞋鞋类8 篮球球类15 篮球鞋类3"));

    // The first click sorts descending; rows of equal value keep their order.
    clickTitle(grid, QStringLiteral("库存数量"));
    QCOMPARE(grid->sortMarker(QStringLiteral("库存数量")), 1);
    QCOMPARE(shownRows(grid), QStringLiteral("篮球球类15 阿迪跑鞋鞋类8 篮球鞋类3"));
    // The current row is still the article that was last.
    QCOMPARE(grid->rowSet()->field(QStringLiteral("a")).toString() +
                 grid->rowSet()->field(QStringLiteral("d")).toString(),
             QStringLiteral("篮球鞋类"));
    clickTitle(grid, QStringLiteral("d"));
    QCOMPARE(shownRows(grid), QStringLiteral("阿迪跑鞋鞋类8 篮球鞋类3 篮球球类15"));
    clickTitle(grid, QStringLiteral("a"));
    QCOMPARE(shownRows(grid), QStringLiteral("篮球鞋类3 篮球球类15 阿迪跑鞋鞋类8"));
    clickTitle(grid, QStringLiteral("a"));
    QCOMPARE(grid->sortMarker(QStringLiteral("a")), 2);
    QCOMPARE(shownRows(grid), QStringLiteral("阿迪跑鞋鞋类8 篮球鞋类3 篮球球类15"));
    // Totals do not move with the order.
    QCOMPARE(grid->footerText(QStringLiteral("库存数量")), QStringLiteral("26"));
    QVERIFY(port.entries.isEmpty());
}

QTEST_MAIN(TestSummary)
#include "tst_summary.moc"
