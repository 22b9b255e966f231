// The sales detail window driven through its real widgets: searches, commands,
// totals, colours, column items, layouts, restrictions and the hooks of a sale.

#include "salesshop.h"

#include "keys.h"

#include "pos/salepanel.h"
#include "print/salesslip.h"
#include "sales/saleeditpanel.h"
#include "sales/saleschartspage.h"
#include "sales/salescolumnflags.h"
#include "settings/settingkeys.h"
#include "settings/settingsstore.h"
#include "store/db/database.h"
#include "store/memory/memtable.h"
#include "store/ops/tableloader.h"
#include "ui/datagridmodel.h"
#include "ui/datefield.h"
#include "ui/printpreview.h"
#include "ui/tableloadprogress.h"

#include <QAction>
#include <QApplication>
#include <QBarSet>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopeGuard>
#include <QTabWidget>
#include <QThread>
#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QString kSearch = QStringLiteral(" 快速拼音查询");
const QString kSlip = QStringLiteral("销售单打印");
const QString kReturns = QStringLiteral("退货");

// Sales of this month and of an earlier year, a return and tiny quantities.
void addRows(SalesShop& s)
{
    const QString older = QStringLiteral("2025-06-10");
    SaleRow r;
    r = saleRow(QStringLiteral("篮球"), QStringLiteral("XL7"), QStringLiteral("6901"), QStringLiteral("球类"), 2, 100,
                50, 40);
    r.number = QStringLiteral("20261210001");
    r.customer = QStringLiteral("O'Neil");
    r.remark = QStringLiteral("会员");
    r.initials = QStringLiteral("lq");
    r.modelInitials = QStringLiteral("xl7");
    s.addSale(r);
    r = saleRow(QStringLiteral("篮球鞋"), QStringLiteral("AJ"), QStringLiteral("6902"), QStringLiteral("鞋类"), 1, 300,
                0, 100);
    r.day = older;
    r.number = QStringLiteral("20250610001");
    r.customer = QStringLiteral("张三");
    r.initials = QStringLiteral("lqx");
    r.modelInitials = QStringLiteral("aj");
    s.addSale(r);
    r = saleRow(QStringLiteral("足球"), QString(), QStringLiteral("6903"), QStringLiteral("球类"), -1, 80, 0, -20);
    r.customer = QStringLiteral("张三");
    r.initials = QStringLiteral("zq");
    s.addSale(r);
    r = saleRow(QStringLiteral("羽毛球"), QString(), QString(), QStringLiteral("球类"), 0, 10);
    r.initials = QStringLiteral("ymq");
    s.addSale(r);
    r = saleRow(QStringLiteral("乒乓球"), QString(), QString(), QStringLiteral("球类"), 0.4, 10);
    r.day = QStringLiteral("2025-06-11");
    r.initials = QStringLiteral("ppq");
    s.addSale(r);
    r = saleRow(QStringLiteral("网球"), QString(), QString(), QStringLiteral("球类"), 0.6, 10);
    r.initials = QStringLiteral("wq");
    s.addSale(r);
    r = saleRow(QStringLiteral("排球"), QString(), QString(), QStringLiteral("球类"), 0.5, 10);
    r.initials = QStringLiteral("pq");
    s.addSale(r);
}

} // namespace

class TestSalesDetail : public QObject
{
    Q_OBJECT

private slots:
    void searchAsTyped_data();
    void searchAsTyped();
    void commands_data();
    void commands();
    void totalsAndColours();
    void invalidDateLeavesTheGridAsItWas();
    void rowClickTakesTheSaleNumber();
    void columnFlagsAtStart_data();
    void columnFlagsAtStart();
    void columnItemsToggleAndStore();
    void savedLayoutHidesAgainAtEveryShowing();
    void ordinaryUserSeesNoProfitAndCannotEdit();
    void saleShowsItsNumberAndTheMonth();
    void slipPreviewNeedsANumberWithSales();
    void escapeStepsBackAndTheWindowKeepsItsPlace();
    void clearingConditionsSearchesWithTheDatesStillTicked();
    void openedFromTheStockMenuAndClosed();
    void readingManySalesShowsItsProgress();
};

void TestSalesDetail::searchAsTyped_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("names");
    // Returns and quantities of 0 never show in a search.
    QTest::newRow("name initials") << u"name"_s << u"lq"_s << QStringList{u"篮球"_s, u"篮球鞋"_s};
    QTest::newRow("initials ignore case") << u"name"_s << u"LQX"_s << QStringList{u"篮球鞋"_s};
    QTest::newRow("code") << u"code"_s << u"690"_s << QStringList{u"篮球"_s, u"篮球鞋"_s};
    QTest::newRow("customer with a quote") << u"customer"_s << u"O'"_s << QStringList{u"篮球"_s};
    QTest::newRow("customer") << u"customer"_s << u"张"_s << QStringList{u"篮球鞋"_s};
    QTest::newRow("model initials") << u"model"_s << u"aj"_s << QStringList{u"篮球鞋"_s};
    QTest::newRow("remark") << u"remark"_s << u"会员"_s << QStringList{u"篮球"_s};
    QTest::newRow("category") << u"category"_s << u"球类"_s
                              << QStringList{u"篮球"_s, u"乒乓球"_s, u"网球"_s, u"排球"_s};
    QTest::newRow("nothing matches") << u"name"_s << u"qqq"_s << QStringList{};
}

void TestSalesDetail::searchAsTyped()
{
    QFETCH(QString, box);
    QFETCH(QString, text);
    QFETCH(QStringList, names);
    SalesShop s;
    addRows(s);
    QVERIFY(s.start());
    QVERIFY(s.open());
    Txstj* w = s.window();
    QWidget* field = box == u"name"_s       ? static_cast<QWidget*>(w->nameBox())
                     : box == u"code"_s     ? w->codeBox()
                     : box == u"customer"_s ? w->customerBox()
                     : box == u"model"_s    ? w->modelBox()
                     : box == u"remark"_s   ? w->remarkBox()
                                            : w->categoryList()->lineEdit();
    typeText(field, text);
    QCOMPARE(s.names(), names);
    QVERIFY(s.port.entries.isEmpty());
    // Emptying the box searches again: every sale.
    QLineEdit* edit = qobject_cast<QLineEdit*>(field);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(s.names(), (QStringList{u"篮球"_s, u"篮球鞋"_s, u"乒乓球"_s, u"网球"_s, u"排球"_s}));
}

void TestSalesDetail::commands_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("number");   // typed into the sale number box first
    QTest::addColumn<QString>("fromDate"); // typed into the first date box first
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<bool>("atLast");
    const QString none;
    QTest::newRow("本 月") << kSearch << u"本 月"_s << none << none
                           << QStringList{u"篮球"_s, u"足球"_s, u"羽毛球"_s, u"网球"_s, u"排球"_s} << true;
    QTest::newRow("全部记录 by date") << kSearch << u"全部记录"_s << none << none
                                      << QStringList{u"篮球鞋"_s, u"乒乓球"_s, u"篮球"_s, u"足球"_s,
                                                     u"羽毛球"_s, u"网球"_s,   u"排球"_s}
                                      << true;
    QTest::newRow("当 天") << kSearch << u"当 天"_s << none << none << QStringList{u"篮球"_s, u"网球"_s, u"排球"_s}
                           << false;
    QTest::newRow("当 天 from a moved date")
        << kSearch << u"当 天"_s << none << u"20250601"_s
        << QStringList{u"篮球"_s, u"篮球鞋"_s, u"乒乓球"_s, u"网球"_s, u"排球"_s} << false;
    QTest::newRow("全部退货") << kReturns << u"全部退货"_s << none << none << QStringList{u"足球"_s} << true;
    QTest::newRow("returns 查 询") << kReturns << u"查 询"_s << none << none << QStringList{u"足球"_s} << false;
    QTest::newRow("sale number with blanks")
        << kSlip << u"查 询"_s << u" 20250610 "_s << none << QStringList{u"篮球鞋"_s} << false;
}

void TestSalesDetail::commands()
{
    QFETCH(QString, group);
    QFETCH(QString, button);
    QFETCH(QString, number);
    QFETCH(QString, fromDate);
    QFETCH(QStringList, names);
    QFETCH(bool, atLast);
    SalesShop s;
    addRows(s);
    QVERIFY(s.start());
    QVERIFY(s.open());
    Txstj* w = s.window();
    // The showing lists this month.
    QCOMPARE(s.names(), (QStringList{u"篮球"_s, u"足球"_s, u"羽毛球"_s, u"网球"_s, u"排球"_s}));
    QVERIFY(w->button(kSearch, QStringLiteral("查 询"))->isVisible());
    if (!number.isEmpty())
        typeText(w->saleNumberBox(), number);
    if (!fromDate.isEmpty()) {
        w->fromDate()->setFocus();
        w->fromDate()->lineEdit()->home(false);
        typeText(w->fromDate()->lineEdit(), fromDate);
    }
    QTest::mouseClick(w->button(group, button), Qt::LeftButton);
    QCOMPARE(s.names(), names);
    QCOMPARE(s.list().current(), atLast ? int(names.size()) - 1 : 0);
    QVERIFY(s.port.entries.isEmpty());
}

void TestSalesDetail::totalsAndColours()
{
    SalesShop s;
    addRows(s);
    QVERIFY(s.start());
    QVERIFY(s.open());
    DataGrid* g = s.grid();
    // This month: 2 − 1 + 0 + 0.6 + 0.5 pieces for 200 − 80 + 0 + 6 + 5.
    QCOMPARE(g->footerText(QStringLiteral("a")), QStringLiteral("合计"));
    QCOMPARE(g->footerText(QStringLiteral("3")), QStringLiteral("2.1"));
    QCOMPARE(g->footerText(QStringLiteral("4")), QStringLiteral("131"));
    QCOMPARE(g->footerText(QStringLiteral("6")), QStringLiteral("50"));
    QCOMPARE(g->footerText(QStringLiteral("a5")), QStringLiteral("20"));
    QTest::mouseClick(s.window()->button(kSearch, QStringLiteral("全部记录")), Qt::LeftButton);
    QCOMPARE(g->footerText(QStringLiteral("3")), QStringLiteral("3.5"));
    // A quantity that rounds (halves to even) to 0 or less draws its row red.
    const QColor red(255, 0, 0);
    for (const auto& [name, isRed] : std::initializer_list<std::pair<const char*, bool>>{
             {"篮球", false}, {"足球", true}, {"羽毛球", true}, {"乒乓球", true}, {"排球", true}, {"网球", false}}) {
        const QModelIndex cell = g->model()->index(s.rowOf(QString::fromUtf8(name)), 0);
        QCOMPARE(g->model()->data(cell, Qt::ForegroundRole).value<QColor>() == red, isRed);
    }
}

void TestSalesDetail::invalidDateLeavesTheGridAsItWas()
{
    SalesShop s;
    addRows(s);
    QVERIFY(s.start());
    QVERIFY(s.open());
    Txstj* w = s.window();
    const QStringList before = s.names();
    QTest::mouseClick(w->dateCheck(), Qt::LeftButton, {}, QPoint(6, w->dateCheck()->height() / 2));
    QVERIFY(w->dateCheck()->isChecked());
    w->toDate()->setFocus();
    w->toDate()->lineEdit()->selectAll();
    QTest::keyClick(w->toDate()->lineEdit(), Qt::Key_Backspace);
    QTest::mouseClick(w->button(kSearch, QStringLiteral("查 询")), Qt::LeftButton);
    QCOMPARE(s.port.lastText(), num::invalidDateText(w->toDate()->lineEdit()->displayText()));
    QCOMPARE(s.names(), before);
    QVERIFY(s.list().isOpen());
    // Typing with the bad date ticked says so again and still keeps the rows.
    typeText(w->nameBox(), QStringLiteral("l"));
    QCOMPARE(s.port.entries.size(), 2);
    QCOMPARE(s.names(), before);
}

void TestSalesDetail::rowClickTakesTheSaleNumber()
{
    SalesShop s;
    addRows(s);
    QVERIFY(s.start());
    QVERIFY(s.open());
    QTest::mouseClick(s.window()->button(kSearch, QStringLiteral("全部记录")), Qt::LeftButton);
    s.clickRow(s.rowOf(QStringLiteral("篮球鞋")), QStringLiteral("c"));
    QCOMPARE(s.window()->saleNumber(), QStringLiteral("20250610001"));
}

void TestSalesDetail::columnFlagsAtStart_data()
{
    QTest::addColumn<QStringList>("flags"); // name=value pairs
    QTest::addColumn<QStringList>("hidden");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("checked");
    QTest::newRow("none stored") << QStringList{} << QStringList{u"z"_s}
                                 << QStringList{u"2"_s, u"day1"_s, u"6"_s, u"a5"_s, u"g"_s, u"i"_s} << QStringList{};
    // The single customer columns override u"隐藏全部客户信息"_s.
    QTest::newRow("all customer columns but the contact")
        << QStringList{u"xiaoshouyin5=yes"_s, u"xiaoshouyin8=no"_s} << QStringList{u"g"_s, u"h"_s, u"j"_s, u"z"_s}
        << QStringList{u"i"_s} << QStringList{u"隐藏全部客户信息"_s};
    QTest::newRow("sale number shown") << QStringList{u"xiaoshouyin6=yes"_s} << QStringList{} << QStringList{u"z"_s}
                                       << QStringList{u"显示客户编号"_s};
    QTest::newRow("other texts change nothing")
        << QStringList{u"xiaoshouyin1=YES"_s, u"xiaoshouyin3=yes"_s} << QStringList{u"6"_s, u"z"_s}
        << QStringList{u"2"_s} << QStringList{u"隐藏欠款"_s};
}

void TestSalesDetail::columnFlagsAtStart()
{
    QFETCH(QStringList, flags);
    QFETCH(QStringList, hidden);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, checked);
    SalesShop s;
    for (const QString& f : flags)
        QVERIFY(SettingsStore::write(f.section(QLatin1Char('='), 0, 0), f.section(QLatin1Char('='), 1)));
    QVERIFY(s.start());
    QVERIFY(s.open());
    for (const QString& f : hidden)
        QVERIFY2(!s.grid()->isColumnVisible(f), qPrintable(f));
    for (const QString& f : shown)
        QVERIFY2(s.grid()->isColumnVisible(f), qPrintable(f));
    for (QAction* a : s.window()->gridMenu()->actions())
        if (a->isCheckable())
            QCOMPARE(a->isChecked(), checked.contains(a->text()));
}

void TestSalesDetail::columnItemsToggleAndStore()
{
    SalesShop s;
    QVERIFY(s.start());
    QVERIFY(s.open());
    Txstj* w = s.window();
    QAction* owed = w->action(QStringLiteral("隐藏欠款"));
    owed->trigger();
    QVERIFY(!s.grid()->isColumnVisible(QStringLiteral("6")));
    QCOMPARE(SettingsStore::read(QStringLiteral("xiaoshouyin3")), QStringLiteral("yes"));
    // u"全部显示"_s shows the column but leaves the check mark and the flag.
    w->action(QStringLiteral("全部显示"))->trigger();
    QVERIFY(s.grid()->isColumnVisible(QStringLiteral("6")));
    QVERIFY(!s.grid()->isColumnVisible(QStringLiteral("z")));
    QVERIFY(owed->isChecked());
    owed->trigger();
    QCOMPARE(SettingsStore::read(QStringLiteral("xiaoshouyin3")), QStringLiteral("no"));
    QVERIFY(s.grid()->isColumnVisible(QStringLiteral("6")));
    // The sale number item shows its column when checked.
    w->action(QStringLiteral("显示客户编号"))->trigger();
    QVERIFY(s.grid()->isColumnVisible(QStringLiteral("z")));
    QCOMPARE(SettingsStore::read(QStringLiteral("xiaoshouyin6")), QStringLiteral("yes"));
}

void TestSalesDetail::savedLayoutHidesAgainAtEveryShowing()
{
    SalesShop s;
    QVERIFY(s.start());
    QVERIFY(s.open());
    Txstj* w = s.window();
    QAction* date = w->action(QStringLiteral("隐藏销售日期"));
    date->trigger();
    w->action(QStringLiteral("保存当前列宽"))->trigger();
    QVERIFY(s.port.entries.isEmpty());
    date->trigger(); // shown again, flag u"no"_s
    QVERIFY(s.grid()->isColumnVisible(QStringLiteral("day1")));
    w->close();
    QVERIFY(s.open());
    QVERIFY(!s.grid()->isColumnVisible(QStringLiteral("day1")));
}

void TestSalesDetail::ordinaryUserSeesNoProfitAndCannotEdit()
{
    SalesShop s;
    addRows(s);
    QVERIFY(s.addUser(QStringLiteral("店员"), QStringLiteral("a1")));
    {
        // The owner saves a layout in which the profit column shows.
        QVERIFY(s.start());
        QVERIFY(s.open());
        QVERIFY(s.grid()->isColumnVisible(QStringLiteral("a5")));
        s.window()->action(QStringLiteral("保存当前列宽"))->trigger();
        s.window()->close();
        s.main->close();
        s.main.reset();
    }
    QVERIFY(s.start(QStringLiteral("店员"), QStringLiteral("a1")));
    QVERIFY(s.open());
    Txstj* w = s.window();
    QVERIFY(!s.grid()->isColumnVisible(QStringLiteral("a5")));
    for (const char* item : {"修 改 ", "删 除", "隐藏净利润", "全部显示"}) {
        QAction* a = w->action(QString::fromUtf8(item));
        QVERIFY2(a && !a->isVisible() && !a->isEnabled(), item);
    }
    // Neither u"全部显示"_s nor the next showing brings the profits back.
    w->columnFlags()->showAll();
    QVERIFY(!s.grid()->isColumnVisible(QStringLiteral("a5")));
    w->close();
    QVERIFY(s.open());
    QVERIFY(!s.grid()->isColumnVisible(QStringLiteral("a5")));
    // A double click or the Delete key opens no change or delete panel.
    s.doubleClickRow(0);
    QVERIFY(!w->editPanel()->isVisible());
    s.grid()->view()->setFocus();
    QTest::keyClick(s.grid()->view(), Qt::Key_Delete);
    QVERIFY(!w->editPanel()->isVisible());
    QCOMPARE(s.list().rowCount(), 5);
}

void TestSalesDetail::saleShowsItsNumberAndTheMonth()
{
    SalesShop s;
    const qint64 stock = s.shop.addStock(u"篮球"_s, u"7"_s, u"6901"_s, u"球类"_s, 50, 10, 90);
    QVERIFY(s.start());
    SalePanel* sale = s.main->salePanel();
    const auto sell = [&] {
        s.main->stockRowDoubleClicked(s.dm().stock().list().rowOf(stock));
        QVERIFY(sale->isVisible());
        const QString number = sale->saleNumber();
        QTest::mouseClick(sale->confirmButton(), Qt::LeftButton);
        QVERIFY(!sale->isVisible());
        QCOMPARE(s.window()->saleNumber(), number);
        // The toolbar under the panel takes presses again once a double press is over.
        QTest::qWait(QApplication::doubleClickInterval() + 400);
    };
    // Before the window was ever shown the sale takes only the number: the
    // list stays closed and the charts undrawn, though the sales are in memory.
    QVERIFY(s.dm().sales().table().isLoaded());
    sell();
    QVERIFY(!s.list().isOpen());
    QCOMPARE(s.window()->findChild<SalesChartsPage*>()->monthBars()->count(), 0);
    // Once shown and closed, its list is closed until a sale runs "本 月".
    QVERIFY(s.open());
    s.window()->close();
    QVERIFY(!s.list().isOpen());
    sell();
    QVERIFY(s.list().isOpen());
    QCOMPARE(s.list().rowCount(), 2);
    QCOMPARE(s.list().value(1, u"z"_s).toString(), s.window()->saleNumber());
}

void TestSalesDetail::slipPreviewNeedsANumberWithSales()
{
    SalesShop s;
    SaleRow a = saleRow(u"篮球"_s, u"7"_s, u"6901"_s, u"球类"_s, 1, 90);
    a.number = u"20260105001"_s;
    SaleRow b = saleRow(u"足球"_s, u"5"_s, u"6902"_s, u"球类"_s, 2, 80);
    b.number = u"20260105002"_s;
    QVERIFY(s.addSale(a) > 0 && s.addSale(b) > 0);
    QVERIFY(s.start());
    QVERIFY(s.open());
    // Every preview that opens is counted and closed.
    int previews = 0;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        if (auto* preview = qobject_cast<PrintPreview*>(QApplication::activeModalWidget())) {
            ++previews;
            preview->command(QStringLiteral("关闭"))->trigger();
        }
    });
    poll.start(20);
    QPushButton* preview = s.window()->button(u"销售单打印"_s, u"销售单预览"_s);
    QLineEdit* box = s.window()->saleNumberBox();

    // An empty box is no slip of every sale; a number without sales prints nothing.
    box->clear();
    QTest::mouseClick(preview, Qt::LeftButton);
    QCOMPARE(s.port.lastText(), u"点选要打印的某行记录"_s);
    box->setText(u"20991231"_s);
    QTest::mouseClick(preview, Qt::LeftButton);
    QCOMPARE(s.port.lastText(), salesslip::noSaleText(u"20991231"_s));
    QCOMPARE(previews, 0);

    // A number with sales: its rows in the list, and its slip.
    s.port.clear();
    box->setText(u"20260105002"_s);
    QTest::mouseClick(preview, Qt::LeftButton);
    QCOMPARE(previews, 1);
    QVERIFY(s.port.entries.isEmpty());
    QCOMPARE(s.list().rowCount(), 1);
    QCOMPARE(s.list().value(0, u"a"_s).toString(), u"足球"_s);
}

void TestSalesDetail::escapeStepsBackAndTheWindowKeepsItsPlace()
{
    SalesShop s;
    SaleRow a = saleRow(u"篮球"_s, u"7"_s, u"6901"_s, u"球类"_s, 1, 90);
    QVERIFY(s.addSale(a) > 0);
    QVERIFY(s.start());
    QVERIFY(s.open());
    Txstj* w = s.window();
    // Escape closes the change panel first, then empties the box being typed in, then the window.
    s.doubleClickRow(0);
    QVERIFY(w->editPanel()->isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(!w->editPanel()->isVisible());
    QVERIFY(w->isVisible());
    QLineEdit* name = w->saleNumberBox();
    name->setFocus();
    typeText(name, u"2026"_s);
    QTest::keyClick(name, Qt::Key_Escape);
    QVERIFY(name->text().isEmpty());
    QVERIFY(w->isVisible());
    QTest::keyClick(name, Qt::Key_Escape);
    QVERIFY(!w->isVisible());

    // Shown again, the window is where the user left it.
    QVERIFY(s.open());
    w->move(w->pos() + QPoint(37, 23));
    const QPoint left = w->pos();
    w->close();
    QVERIFY(s.open());
    QCOMPARE(w->pos(), left);
}

void TestSalesDetail::clearingConditionsSearchesWithTheDatesStillTicked()
{
    SalesShop s;
    SaleRow old = saleRow(u"篮球"_s, u"7"_s, u"6901"_s, u"球类"_s, 1, 90);
    old.day = u"2025-06-01"_s;
    SaleRow recent = saleRow(u"篮板"_s, u"7"_s, u"6902"_s, u"球类"_s, 1, 50);
    recent.day = u"2026-01-05"_s;
    QVERIFY(s.addSale(old) > 0 && s.addSale(recent) > 0);
    QVERIFY(s.start());
    QVERIFY(s.open());
    Txstj* w = s.window();
    w->dateCheck()->setChecked(true);
    w->fromDate()->setDate(QDate(2026, 1, 1));
    w->toDate()->setDate(QDate(2026, 1, 31));
    w->button(u" 快速拼音查询"_s, u"查 询"_s)->click();
    QCOMPARE(s.names(), QStringList{u"篮板"_s});
    // With a code typed, 清空条件 searches as emptying the box does: the dates still count.
    typeText(w->codeBox(), u"690"_s);
    QCOMPARE(s.names(), QStringList{u"篮板"_s});
    w->button(u" 快速拼音查询"_s, u"清空条件"_s)->click();
    QCOMPARE(s.names(), QStringList{u"篮板"_s});
    QVERIFY(!w->dateCheck()->isChecked());
}

void TestSalesDetail::openedFromTheStockMenuAndClosed()
{
    SalesShop s;
    s.shop.addStock(QStringLiteral("篮球"), QString(), QStringLiteral("1"), QStringLiteral("球类"), 50, 10, 90);
    QVERIFY(s.start());
    QAction* item = s.main->action(QStringLiteral("销售明细"));
    QVERIFY(item);
    s.main->stockRowDoubleClicked(0);
    QVERIFY(s.main->salePanel()->isVisible());
    item->trigger();
    QVERIFY(QTest::qWaitForWindowExposed(s.window()));
    QVERIFY(s.window()->isModal());
    QCOMPARE(s.window()->pages()->count(), 2);
    QCOMPARE(s.window()->pages()->tabText(1), QStringLiteral("销售统计"));
    s.window()->close();
    QVERIFY(!s.main->salePanel()->isVisible());
    QVERIFY(!s.list().isOpen());
}

// The window opened while the sales are read in the background shows the
// read's progress, then the list; a read of its own (after another program's
// sale) the same.
void TestSalesDetail::readingManySalesShowsItsProgress()
{
    const int count = 50000;
    SalesShop s;
    QString error;
    // Today's sales, so that the showing's "本 月" lists every one.
    const QString insert = QStringLiteral(
        "insert into data1(a, c, d, e, g, z, [2], [3], [4], day1) "
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < %1) "
        "select '商品' || (i % 700), '69' || i, '类' || (i % 9), 'sp' || (i % 700), '客' || (i % 300), "
        "'2026' || i, 10, 1, 10, '%2' from n");
    QVERIFY2(s.dm().db().exec(insert.arg(count).arg(num::today()), &error), qPrintable(error));
    // The sales are read in the background from the login on, slowly enough
    // that the window opens while they are.
    s.dm().sales().loader().setWorkerStep([](qint64) { QThread::msleep(40); });
    s.main = std::make_unique<TMainForm>(s.dm());
    QVERIFY(logInWithoutWaiting(*s.main));
    QVERIFY(s.dm().sales().isWaitingForLoad());
    const int showAfter = TableLoadProgress::showAfterMs();
    TableLoadProgress::setShowAfterMs(0);
    const auto restore = qScopeGuard([&] { TableLoadProgress::setShowAfterMs(showAfter); });

    // What the user sees while the sales are read, sampled whenever events run.
    struct Seen
    {
        QList<int> values;
        QString label;
        int gridRows = -1;
    };
    Seen seen;
    QTimer watch;
    watch.setInterval(0);
    connect(&watch, &QTimer::timeout, this, [&] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QProgressDialog*>(top); d && d->isVisible()) {
                seen.values << d->value();
                seen.label = d->labelText();
                seen.gridRows = std::max(seen.gridRows, s.grid()->model()->rowCount());
            }
    });
    const auto check = [&](const char* when, int rows) {
        QVERIFY2(seen.values.size() >= 3, when);
        QVERIFY2(std::is_sorted(seen.values.cbegin(), seen.values.cend()), when);
        QVERIFY2(seen.values.last() > seen.values.first(), when);
        QVERIFY2(seen.label.startsWith(u"正在读取销售记录… "_s), qPrintable(seen.label));
        QVERIFY2(seen.label.endsWith(u" / %1"_s.arg(rows)), qPrintable(seen.label));
        // Nothing of the table is read while it is being filled.
        QCOMPARE(seen.gridRows, 0);
        for (QWidget* top : QApplication::topLevelWidgets())
            QVERIFY2(!qobject_cast<QProgressDialog*>(top) || !top->isVisible(), when);
        QCOMPARE(s.grid()->model()->rowCount(), rows);
        QVERIFY2(s.port.entries.isEmpty(), qPrintable(s.port.lastText()));
    };

    watch.start();
    QVERIFY(s.open());
    check("first showing", count);
    if (QTest::currentTestFailed())
        return;

    // Another program adds a sale: "全部记录" reads the table again while the
    // grid still shows the rows of the former read.
    Database other;
    QVERIFY2(other.open(s.shop.dbPath(), false, &error), qPrintable(error));
    QVERIFY2(other.exec(insert.arg(1).arg(num::today()), &error), qPrintable(error));
    seen = {};
    QTest::mouseClick(s.window()->button(kSearch, u"全部记录"_s), Qt::LeftButton);
    check("read again", count + 1);
}

QTEST_MAIN(TestSalesDetail)
#include "tst_salesdetail.moc"
