#include "filesizelimit.h"
#include "keys.h"
#include "login.h"
#include "recordingport.h"
#include "testdb.h"

#include "app/thelpform.h"
#include "app/tmainform.h"
#include "core/clock.h"
#include "settings/layoutfile.h"
#include "settings/settingkeys.h"
#include "settings/settingsstore.h"
#include "stock/stockcolumnsettings.h"
#include "stock/stockgridcolumns.h"
#include "stock/stockinpanel.h"
#include "stock/stocksearchbox.h"
#include "store/db/columns.h"
#include "store/db/passwordhash.h"
#include "store/memory/memtable.h"
#include "store/ops/tableloader.h"
#include "store/ops/tdmfm.h"
#include "ui/datagrid.h"
#include "ui/datagridmodel.h"
#include "ui/datefield.h"
#include "ui/numberbox.h"
#include "ui/tableloadprogress.h"
#include "users/tloginfm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMoveEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSemaphore>
#include <QStyle>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <memory>

namespace {

// Types into whatever has the focus, then presses Enter.
void typeAndEnter(const QString& text)
{
    QWidget* w = QApplication::focusWidget();
    QVERIFY(w);
    typeText(w, text);
    QTest::keyClick(w, Qt::Key_Return);
}

QStringList names(Tdmfm& dm)
{
    QStringList out;
    for (int r = 0; r < dm.stock().list().rowCount(); ++r)
        out << dm.stock().list().value(r, stockcol::name).toString();
    return out;
}

QVariantMap storedRow(Tdmfm& dm, const QString& name)
{
    RowSet& q = scratchRows();
    (void)dm.OpenQuery(q, Statement{QStringLiteral("select * from data where a=?"), {name}});
    QVariantMap row;
    for (int c = 0; q.rowCount() == 1 && c < q.columns().size(); ++c)
        row.insert(q.columns().at(c), q.value(0, c));
    return row;
}

QVariantMap storedRow(Tdmfm& dm, qint64 rowId)
{
    RowSet& q = scratchRows();
    (void)dm.OpenQuery(q, Statement{QStringLiteral("select * from data where rowid=?"), {rowId}});
    QVariantMap row;
    for (int c = 0; q.rowCount() == 1 && c < q.columns().size(); ++c)
        row.insert(q.columns().at(c), q.value(0, c));
    return row;
}

// A click with the mouse on a grid line, in its first column.
void clickRow(TMainForm& main, int row, Qt::MouseButton button = Qt::LeftButton)
{
    QTableView* view = main.grid()->view();
    const QRect cell = view->visualRect(view->model()->index(row, 0));
    QTest::mouseClick(view->viewport(), button, {}, cell.center());
}

// Replaces what a field holds by typing, as a user who selects it all first.
void retype(QLineEdit* edit, const QString& text)
{
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    typeText(edit, text);
}

// Whether a line edit shows `text` whole, without scrolling it: the text and
// the cursor behind it within the width less the frame and the edit's own
// two-pixel margin on either side.
bool showsWhole(const QLineEdit* edit, const QString& text)
{
    const int frame = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit) : 0;
    const QMargins m = edit->textMargins();
    return edit->fontMetrics().horizontalAdvance(text) + 1 <= edit->width() - 2 * frame - 4 - m.left() - m.right();
}

// A widget's rectangle in the coordinates of `window`.
QRect rectIn(const QWidget* w, const QWidget* window)
{
    return QRect(w->mapTo(window, QPoint(0, 0)), w->size());
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { QFont::insertSubstitution(QStringLiteral("宋体"), QStringLiteral("Noto Serif CJK SC")); }
    void superAdministratorTakesStockInFindsChangesDeletes();
    void changeWritesTheRowItWasStartedOn_data();
    void changeWritesTheRowItWasStartedOn();
    void deleteRemovesTheRowRightClicked();
    void ordinaryUserCannotReachStockIn();
    void invalidSearchDateFailsTheSearch_data();
    void invalidSearchDateFailsTheSearch();
    void clearConditionsListsEverythingAndReloadClearsMarkers();
    void reloadListsEverythingButKeepsTypedConditions();
    void titleClicksSortDescendingThenFlip();
    void gridShowsTheEnginesRowsThroughSearchesAndWrites();
    void titleClickSortsTextsInChineseOrder();
    void alarmColoursAtTheBoundary();
    void settingsSurviveARestart();
    void frameFollowsTheWindowAndKeepsDatesFilled();
    void closingWritesTheLogoutTime();
    void closingTheLoginEndsTheProgram();
    void failedLoginLogEndsTheProgram();
    void storedCountersOutOfRangeAreIgnored();
    void gridMenuInItsOrder();
    void gridMenuOverRowsTitlesAndTotals_data();
    void gridMenuOverRowsTitlesAndTotals();
    void gridHeightKnownAtShowAndAfterMaximise();
    void commandAreaShowsEveryBoxWhole_data();
    void commandAreaShowsEveryBoxWhole();
    void windowsPlacedWithOnlyACloseBox();
    void webSiteWithoutBrowserSaysSo();
    void failedSettingWritesAreShown();
    void stockListFillsWhenTheStockIsRead();
    void failedBackgroundReadIsReported();
};

void TestMainWindow::superAdministratorTakesStockInFindsChangesDeletes()
{
    TestShop shop;
    RecordingPort port;
    TMainForm main(shop.dm());
    QVERIFY(logIn(main, QStringLiteral("超级管理员"), QStringLiteral("864")));
    QCOMPARE(main.statusPanel(1)->text(), QStringLiteral("超级管理员"));
    QVERIFY(main.newStockButton()->isVisible());

    // Take an article into stock by typing and pressing Enter through the fields.
    main.action(QStringLiteral("新建入库"))->trigger();
    StockInPanel* panel = main.stockInPanel();
    QVERIFY(panel->isVisible());
    panel->nameList()->setFocus();
    QTRY_VERIFY(panel->nameList()->hasFocus() || panel->nameList()->lineEdit()->hasFocus());
    typeAndEnter(QStringLiteral("李宁篮球"));
    typeAndEnter(QStringLiteral("7号 室内外"));
    typeAndEnter(QStringLiteral("6901234"));
    typeAndEnter(QStringLiteral("球类"));
    typeAndEnter(QString()); // the date is filled with today
    typeAndEnter(QStringLiteral("12.5"));
    typeAndEnter(QStringLiteral("4"));
    typeAndEnter(QStringLiteral("19.9"));
    typeAndEnter(QStringLiteral("O'Neil体育"));
    typeAndEnter(QStringLiteral("新品"));
    QCOMPARE(QApplication::focusWidget(), panel->newButton());
    QTest::keyClick(panel->newButton(), Qt::Key_Space);
    QVERIFY2(port.entries.isEmpty(), qPrintable(port.texts().join(QLatin1Char('|'))));
    QVERIFY(main.noticePanel()->isVisible());
    QCOMPARE(main.noticePanel()->text(), QStringLiteral("数据入库成功..."));
    QTRY_VERIFY_WITH_TIMEOUT(!main.noticePanel()->isVisible(), 4000);

    QVariantMap row = storedRow(shop.dm(), QStringLiteral("李宁篮球"));
    QCOMPARE(row.value(stockcol::nameInitials).toString(), QStringLiteral("lnlq"));
    QCOMPARE(row.value(stockcol::purchaseAmount).toDouble(), 50.0);
    QCOMPARE(row.value(stockcol::stockQuantity).toDouble(), 4.0);
    QCOMPARE(row.value(stockcol::stockAmount).toDouble(), 50.0);
    QCOMPARE(row.value(stockcol::supplier).toString(), QStringLiteral("O'Neil体育"));
    QCOMPARE(main.grid()->footerText(stockcol::purchaseAmount), QStringLiteral("50"));

    // Find it by its initials in either letter case and by a scanned code.
    shop.addStock(QStringLiteral("羽毛球拍"), QStringLiteral("全碳素"), QStringLiteral("6905555"),
                  QStringLiteral("乒羽用品"), 80, 3, 150);
    main.reloadStockList();
    QCOMPARE(shop.dm().stock().list().rowCount(), 2);
    StockSearchBox* search = main.searchBox();
    QTest::keyClicks(search->nameBox(), QStringLiteral("LQ"));
    QCOMPARE(names(shop.dm()), QStringList{QStringLiteral("李宁篮球")});
    search->nameBox()->clear();
    QTest::keyClicks(search->nameBox(), QStringLiteral("ymq"));
    QCOMPARE(names(shop.dm()), QStringList{QStringLiteral("羽毛球拍")});
    search->nameBox()->clear();
    QCOMPARE(shop.dm().stock().list().rowCount(), 2);
    QStringList seen;
    for (QChar c : QStringLiteral("69012")) {
        QTest::keyClick(search->codeBox(), c.toLatin1());
        seen << QString::number(shop.dm().stock().list().rowCount());
    }
    QCOMPARE(seen, (QStringList{QStringLiteral("2"), QStringLiteral("2"), QStringLiteral("2"), QStringLiteral("1"),
                                QStringLiteral("1")}));
    QTest::keyClicks(search->remarkBox(), QStringLiteral("'"));
    QVERIFY(port.entries.isEmpty()); // a quote is searched for, not an error
    QCOMPARE(shop.dm().stock().list().rowCount(), 0);
    QTest::mouseClick(search->clearButton(), Qt::LeftButton);
    QCOMPARE(shop.dm().stock().list().rowCount(), 2);

    // Change its quantity: the held amounts are stored by the formulas.
    QString error;
    QVERIFY(shop.dm().db().exec(Statement{QStringLiteral("update data set [5]=1, [6]=19.9, [7]=3, [8]=37.5 where a=?"),
                                          {QStringLiteral("李宁篮球")}},
                                &error));
    main.reloadStockList();
    const int line = names(shop.dm()).indexOf(QStringLiteral("李宁篮球"));
    shop.dm().stock().list().setCurrent(line);
    main.action(QStringLiteral("修 改"))->trigger();
    QVERIFY(panel->isVisible() && panel->changeButton()->isVisible() && !panel->newButton()->isVisible());
    auto* quantity = panel->findChild<NumberBox*>(QStringLiteral("quantityBox"));
    QVERIFY(quantity);
    QCOMPARE(quantity->text(), QStringLiteral("4"));
    quantity->setFocus();
    QTest::keyClick(quantity, Qt::Key_Backspace);
    QTest::keyClicks(quantity, QStringLiteral("10"));
    QCOMPARE(quantity->text(), QStringLiteral("10"));
    port.answers << MessagePort::Answer::Ok;
    QTest::mouseClick(panel->changeButton(), Qt::LeftButton);
    QCOMPARE(port.entries.size(), 1);
    QCOMPARE(port.entries.at(0).title, QStringLiteral("警告！"));
    QCOMPARE(port.entries.at(0).text, QStringLiteral("你确实要修改选中资料吗？"));
    row = storedRow(shop.dm(), QStringLiteral("李宁篮球"));
    QCOMPARE(row.value(stockcol::quantityIn).toDouble(), 10.0);
    QCOMPARE(row.value(stockcol::purchaseAmount).toDouble(), 125.0);
    QCOMPARE(row.value(stockcol::soldQuantity).toDouble(), 1.0);
    QCOMPARE(row.value(stockcol::stockQuantity).toDouble(), 9.0);
    QCOMPARE(row.value(stockcol::stockAmount).toDouble(), 112.5);
    QCOMPARE(main.noticePanel()->text(), QStringLiteral("修改数据成功..."));
    QVERIFY(!panel->isVisible());

    // Delete it after answering the question.
    port.clear();
    shop.dm().stock().list().setCurrent(names(shop.dm()).indexOf(QStringLiteral("李宁篮球")));
    port.answers << MessagePort::Answer::Cancel;
    main.action(QStringLiteral("删 除"))->trigger();
    QCOMPARE(shop.dm().stock().list().rowCount(), 2);
    port.answers << MessagePort::Answer::Ok;
    main.action(QStringLiteral("删 除"))->trigger();
    QCOMPARE(port.entries.last().text, QStringLiteral("你真的要删除选中资料吗？"));
    QCOMPARE(names(shop.dm()), QStringList{QStringLiteral("羽毛球拍")});
    QCOMPARE(main.noticePanel()->text(), QStringLiteral("删除数据成功..."));
    QVERIFY(storedRow(shop.dm(), QStringLiteral("李宁篮球")).isEmpty());
}

void TestMainWindow::changeWritesTheRowItWasStartedOn_data()
{
    QTest::addColumn<QString>("meanwhile");
    QTest::addColumn<bool>("gone");
    QTest::newRow("a letter in 商品编码") << "search" << false;
    QTest::newRow("Down arrow") << "down" << false;
    QTest::newRow("全部记录") << "reload" << false;
    QTest::newRow("不显示零库存") << "zero" << false;
    QTest::newRow("row deleted in the grid") << "delete" << true;
    QTest::newRow("row deleted by another program") << "elsewhere" << true;
}

void TestMainWindow::changeWritesTheRowItWasStartedOn()
{
    QFETCH(QString, meanwhile);
    QFETCH(bool, gone);
    TestShop shop;
    RecordingPort port;
    const qint64 a =
        shop.addStock(QStringLiteral("甲球拍"), QStringLiteral("A型"), QStringLiteral("A100"), QStringLiteral("球拍"),
                      10, 5, 20, QStringLiteral("2026-01-01"), QStringLiteral("甲厂"));
    const qint64 b =
        shop.addStock(QStringLiteral("乙球鞋"), QStringLiteral("B型"), QStringLiteral("B200"), QStringLiteral("球鞋"),
                      30, 8, 50, QStringLiteral("2026-01-02"), QStringLiteral("乙厂"));
    const QVariantMap storedB = storedRow(shop.dm(), b);
    TMainForm main(shop.dm());
    QVERIFY(logIn(main, QStringLiteral("超级管理员"), QStringLiteral("864")));
    QCOMPARE(names(shop.dm()), (QStringList{QStringLiteral("甲球拍"), QStringLiteral("乙球鞋")}));

    // Click 甲, 修 改.
    clickRow(main, 0);
    QCOMPARE(shop.dm().stock().list().current(), 0);
    main.action(QStringLiteral("修 改"))->trigger();
    StockInPanel* panel = main.stockInPanel();
    QVERIFY(panel->isVisible() && panel->changeButton()->isEnabled());
    QCOMPARE(panel->nameList()->currentText(), QStringLiteral("甲球拍"));

    // Something else makes another row current, or takes 甲 away.
    if (meanwhile == QLatin1String("search")) {
        QTest::keyClick(main.searchBox()->codeBox(), Qt::Key_B);
    } else if (meanwhile == QLatin1String("down")) {
        QTest::keyClick(main.grid()->view(), Qt::Key_Down);
    } else if (meanwhile == QLatin1String("reload")) {
        QTest::mouseClick(main.searchBox()->allButton(), Qt::LeftButton);
    } else if (meanwhile == QLatin1String("zero")) {
        QTest::mouseClick(main.hideZeroBox(), Qt::LeftButton);
        QVERIFY(main.hideZeroBox()->isChecked());
    } else if (meanwhile == QLatin1String("delete")) {
        clickRow(main, 0); // the same line: the change stays open
        port.answers << MessagePort::Answer::Ok;
        main.action(QStringLiteral("删 除"))->trigger();
        QCOMPARE(main.noticePanel()->text(), QStringLiteral("删除数据成功..."));
    } else {
        QString error;
        QVERIFY(shop.dm().db().exec(Statement{QStringLiteral("delete from data where rowid=?"), {a}}, &error));
    }
    if (meanwhile != QLatin1String("elsewhere"))
        QCOMPARE(shop.dm().stock().list().field(QStringLiteral("a")).toString(), QStringLiteral("乙球鞋"));
    QVERIFY(panel->isVisible() && panel->changeButton()->isEnabled());

    // A reload empties the panel's lists; the user types them again. Then the
    // quantity changes and 修改入库 is pressed and answered with OK.
    const std::pair<QComboBox*, QString> lists[] = {{panel->nameList(), QStringLiteral("甲球拍")},
                                                    {panel->modelList(), QStringLiteral("A型")},
                                                    {panel->codeList(), QStringLiteral("A100")},
                                                    {panel->categoryList(), QStringLiteral("球拍")},
                                                    {panel->supplierList(), QStringLiteral("甲厂")}};
    for (const auto& [list, text] : lists)
        if (list->currentText().isEmpty())
            typeText(list->lineEdit(), text);
    retype(panel->quantityBox()->findChild<QLineEdit*>(), QStringLiteral("7"));
    port.clear();
    port.answers << MessagePort::Answer::Ok;
    QTest::mouseClick(panel->changeButton(), Qt::LeftButton);

    QCOMPARE(storedRow(shop.dm(), b), storedB); // 乙 is untouched
    const QVariantMap rowA = storedRow(shop.dm(), a);
    if (gone) {
        QCOMPARE(port.texts(), (QStringList{QStringLiteral("你确实要修改选中资料吗？"),
                                            QStringLiteral("要修改的记录已经不存在（可能已被删除），修改没有保存。")}));
        QVERIFY(rowA.isEmpty());
        QVERIFY(
            shop.dm().OpenQuery(scratchRows(), Statement{QStringLiteral("select count(*) from data"), {}}));
        QCOMPARE(scratchRows().value(0, 0).toInt(), 1);
        QVERIFY(!panel->changeButton()->isEnabled());
        return;
    }
    QCOMPARE(port.texts(), QStringList{QStringLiteral("你确实要修改选中资料吗？")});
    QCOMPARE(rowA.value(stockcol::name).toString(), QStringLiteral("甲球拍"));
    QCOMPARE(rowA.value(stockcol::code).toString(), QStringLiteral("A100"));
    QCOMPARE(rowA.value(stockcol::supplier).toString(), QStringLiteral("甲厂"));
    QCOMPARE(rowA.value(stockcol::stockInDate).toString(), QStringLiteral("2026-01-01"));
    QCOMPARE(rowA.value(stockcol::quantityIn).toDouble(), 7.0);
    QCOMPARE(rowA.value(stockcol::purchaseAmount).toDouble(), 70.0);
    QCOMPARE(rowA.value(stockcol::stockQuantity).toDouble(), 7.0);
    QCOMPARE(rowA.value(stockcol::stockAmount).toDouble(), 70.0);
    QCOMPARE(main.noticePanel()->text(), QStringLiteral("修改数据成功..."));
    QVERIFY(!panel->isVisible());
}

void TestMainWindow::deleteRemovesTheRowRightClicked()
{
    TestShop shop;
    RecordingPort port;
    const qint64 a = shop.addStock(QStringLiteral("甲"), QString(), QStringLiteral("1"), QStringLiteral("k"), 1, 1, 1,
                                   QStringLiteral("2026-01-01"));
    const qint64 b = shop.addStock(QStringLiteral("乙"), QString(), QStringLiteral("2"), QStringLiteral("k"), 1, 1, 1,
                                   QStringLiteral("2026-01-02"));
    const qint64 c = shop.addStock(QStringLiteral("丙"), QString(), QStringLiteral("3"), QStringLiteral("k"), 1, 1, 1,
                                   QStringLiteral("2026-01-03"));
    TMainForm main(shop.dm());
    QVERIFY(logIn(main, QStringLiteral("超级管理员"), QStringLiteral("864")));
    QCOMPARE(shop.dm().stock().list().current(), 2); // the newest, 丙

    // The right click on 乙 chooses it and opens the grid menu; 删 除 is clicked there.
    clickRow(main, 1, Qt::RightButton);
    QCOMPARE(shop.dm().stock().list().current(), 1);
    QTableView* view = main.grid()->view();
    const QPoint at = view->visualRect(view->model()->index(1, 0)).center();
    QContextMenuEvent request(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view->viewport(), &request);
    QMenu* menu = main.gridMenu();
    QTRY_VERIFY(menu->isVisible());
    QAction* remove = main.action(QStringLiteral("删 除"));
    port.answers << MessagePort::Answer::Ok;
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(remove).center());
    QTRY_COMPARE(port.texts(), QStringList{QStringLiteral("你真的要删除选中资料吗？")});
    QCOMPARE(names(shop.dm()), (QStringList{QStringLiteral("甲"), QStringLiteral("丙")}));
    QVERIFY(storedRow(shop.dm(), b).isEmpty());
    QVERIFY(!storedRow(shop.dm(), a).isEmpty());
    QVERIFY(!storedRow(shop.dm(), c).isEmpty());

    // A row that another program deleted meanwhile: said so, nothing else deleted.
    QString error;
    Database other;
    QVERIFY2(other.open(shop.dbPath(), false, &error), qPrintable(error));
    QVERIFY(other.exec(Statement{QStringLiteral("delete from data where rowid=?"), {c}}, &error));
    shop.dm().stock().list().setCurrent(1);
    port.clear();
    port.answers << MessagePort::Answer::Ok;
    main.action(QStringLiteral("删 除"))->trigger();
    QCOMPARE(port.texts(), (QStringList{QStringLiteral("你真的要删除选中资料吗？"),
                                        QStringLiteral("要删除的记录已经不存在（可能已被删除）。")}));
    QVERIFY(!storedRow(shop.dm(), a).isEmpty());
}

void TestMainWindow::ordinaryUserCannotReachStockIn()
{
    TestShop shop;
    RecordingPort port;
    QVERIFY(shop.dm().appendRow(QStringLiteral("userdb"),
                                {{QStringLiteral("username"), QStringLiteral("店员")},
                                 {QStringLiteral("passwd"), hashPassword(QStringLiteral("a1"))}}));
    shop.addStock(QStringLiteral("篮球"), QString(), QStringLiteral("1"), QStringLiteral("球类"), 50, 10, 90);
    // A saved layout that shows every column must not bring purchase prices back.
    TMainForm main(shop.dm());
    QVERIFY(logIn(main, QStringLiteral("店员"), QStringLiteral("A1")));
    QCOMPARE(main.statusPanel(1)->text(), QStringLiteral("店员"));
    QCOMPARE(shop.dm().stock().list().rowCount(), 1);

    for (const char* caption : {"新建入库", "Excel导入", "修 改", "删 除", "隐藏进货单价", "隐藏金额"}) {
        QAction* a = main.action(QString::fromUtf8(caption));
        QVERIFY2(a && !a->isVisible() && !a->isEnabled(), caption);
    }
    QVERIFY(!main.newStockButton()->isVisible());
    for (const char* field : {"1", "3", "8"})
        QVERIFY2(!main.grid()->isColumnVisible(QString::fromLatin1(field)), field);
    QVERIFY(main.grid()->isColumnVisible(stockcol::salesAmount));
    // "隐藏销售单价" still works and cannot be used to show the hidden groups.
    main.action(QStringLiteral("隐藏销售单价"))->trigger();
    QVERIFY(!main.grid()->isColumnVisible(stockcol::salePrice));
    // Neither the menu slots nor a double click open the stock-in panel.
    QVERIFY(QMetaObject::invokeMethod(main.stockList(), "openStockInForNew"));
    QVERIFY(QMetaObject::invokeMethod(main.stockList(), "openStockInForChange"));
    QVERIFY(!main.stockInPanel()->isVisible());
    QVERIFY(QMetaObject::invokeMethod(main.stockList(), "deleteStockRow"));
    QCOMPARE(shop.dm().stock().list().rowCount(), 1);
    QVERIFY(port.entries.isEmpty());
}

void TestMainWindow::reloadListsEverythingButKeepsTypedConditions()
{
    TestShop shop;
    RecordingPort port;
    shop.addStock(QStringLiteral("篮球"), QString(), QStringLiteral("1"), QStringLiteral("球类"), 1, 2, 1,
                  QStringLiteral("2026-01-01"), QStringLiteral("甲商行"));
    shop.addStock(QStringLiteral("瑜伽垫"), QString(), QStringLiteral("2"), QStringLiteral("健身器材"), 1, 2, 1,
                  QStringLiteral("2026-01-02"), QStringLiteral("乙商行"));
    TMainForm main(shop.dm());
    QVERIFY(logIn(main, QStringLiteral("超级管理员"), QStringLiteral("864")));
    StockSearchBox* search = main.searchBox();
    QCOMPARE(search->categoryList()->count(), 2);
    // Picking a category searches at once; the supplier list waits for 查询.
    search->categoryList()->setCurrentText(QStringLiteral("健身"));
    QCOMPARE(names(shop.dm()), QStringList{QStringLiteral("瑜伽垫")});
    search->supplierList()->setCurrentText(QStringLiteral("甲"));
    QCOMPARE(names(shop.dm()), QStringList{QStringLiteral("瑜伽垫")});
    QTest::mouseClick(search->searchButton(), Qt::LeftButton);
    QCOMPARE(shop.dm().stock().list().rowCount(), 0);
    QTest::keyClicks(search->nameBox(), QStringLiteral("yj"));

    QTest::mouseClick(search->allButton(), Qt::LeftButton);
    QCOMPARE(names(shop.dm()), (QStringList{QStringLiteral("篮球"), QStringLiteral("瑜伽垫")}));
    QCOMPARE(shop.dm().stock().list().current(), 1); // the newest stock-in
    QCOMPARE(search->categoryList()->currentText(), QString());
    QCOMPARE(search->supplierList()->currentText(), QString());
    QCOMPARE(search->nameBox()->text(), QStringLiteral("yj"));

    // The date range includes both ends.
    search->nameBox()->clear();
    search->fromDate()->setDate(QDate(2026, 1, 2));
    search->toDate()->setDate(QDate(2026, 1, 2));
    search->dateCheck()->setChecked(true);
    QTest::mouseClick(search->searchButton(), Qt::LeftButton);
    QCOMPARE(names(shop.dm()), QStringList{QStringLiteral("瑜伽垫")});
    QVERIFY(port.entries.isEmpty());
}

void TestMainWindow::invalidSearchDateFailsTheSearch_data()
{
    QTest::addColumn<bool>("toDate");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("from emptied") << false << ""
                                  << "    -  -  ";
    QTest::newRow("from half typed") << false << "202601"
                                     << "2026-01-  ";
    QTest::newRow("from impossible") << false << "20261345"
                                     << "2026-13-45";
    QTest::newRow("to half typed") << true << "2026"
                                   << "2026-  -  ";
    QTest::newRow("to impossible") << true << "20260230"
                                   << "2026-02-30";
}

void TestMainWindow::invalidSearchDateFailsTheSearch()
{
    QFETCH(bool, toDate);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    TestShop shop;
    RecordingPort port;
    shop.addStock(QStringLiteral("篮球"), QString(), QStringLiteral("1"), QStringLiteral("球类"), 1, 2, 1,
                  QStringLiteral("2026-01-01"));
    shop.addStock(QStringLiteral("足球"), QString(), QStringLiteral("2"), QStringLiteral("球类"), 1, 2, 1,
                  QStringLiteral("2026-02-01"));
    TMainForm main(shop.dm());
    QVERIFY(logIn(main, QStringLiteral("超级管理员"), QStringLiteral("864")));
    StockSearchBox* search = main.searchBox();
    search->fromDate()->setDate(QDate(2026, 1, 1));
    search->toDate()->setDate(QDate(2026, 12, 31));
    QTest::mouseClick(search->dateCheck(), Qt::LeftButton);
    QVERIFY(search->dateCheck()->isChecked());

    // The date is emptied with the keyboard, then typed again from its start.
    DateField* field = toDate ? search->toDate() : search->fromDate();
    field->lineEdit()->selectAll();
    QTest::keyClick(field->lineEdit(), Qt::Key_Backspace);
    QVERIFY(field->isEmpty());
    QTest::mouseClick(field->lineEdit(), Qt::LeftButton, {}, QPoint(4, field->lineEdit()->height() / 2));
    typeText(field->lineEdit(), typed);
    QCOMPARE(field->lineEdit()->displayText(), shown);

    QTest::mouseClick(search->searchButton(), Qt::LeftButton);
    QCOMPARE(port.texts(), QStringList{QStringLiteral("'%1' is not a valid date").arg(shown)});
    QCOMPARE(port.entries.at(0).kind, QStringLiteral("error"));
    QVERIFY(!shop.dm().stock().list().isOpen());
    QCOMPARE(main.grid()->model()->rowCount(), 0);
    // Typing in a text box searches, and fails, the same way.
    port.clear();
    QTest::keyClick(search->nameBox(), Qt::Key_Z);
    QCOMPARE(port.texts(), QStringList{QStringLiteral("'%1' is not a valid date").arg(shown)});
    QCOMPARE(main.grid()->model()->rowCount(), 0);

    // A real date again: the search lists the rows between the dates.
    search->nameBox()->clear();
    field->setDate(toDate ? QDate(2026, 1, 31) : QDate(2026, 1, 2));
    port.clear();
    QTest::mouseClick(search->searchButton(), Qt::LeftButton);
    QVERIFY(port.entries.isEmpty());
    QCOMPARE(names(shop.dm()), QStringList{toDate ? QStringLiteral("篮球") : QStringLiteral("足球")});
}

void TestMainWindow::clearConditionsListsEverythingAndReloadClearsMarkers()
{
    TestShop shop;
    RecordingPort port;
    shop.addStock(QStringLiteral("篮球"), QString(), QStringLiteral("1"), QStringLiteral("球类"), 1, 3, 1,
                  QStringLiteral("2026-01-01"), QStringLiteral("甲商行"));
    shop.addStock(QStringLiteral("瑜伽垫"), QString(), QStringLiteral("2"), QStringLiteral("健身器材"), 1, 1, 1,
                  QStringLiteral("2026-01-02"), QStringLiteral("乙商行"));
    shop.addStock(QStringLiteral("哑铃"), QString(), QStringLiteral("3"), QStringLiteral("健身器材"), 1, 2, 1,
                  QStringLiteral("2026-03-01"), QStringLiteral("乙商行"));
    TMainForm main(shop.dm());
    QVERIFY(logIn(main, QStringLiteral("超级管理员"), QStringLiteral("864")));
    StockSearchBox* search = main.searchBox();
    const QStringList all{QStringLiteral("篮球"), QStringLiteral("瑜伽垫"), QStringLiteral("哑铃")};

    // Conditions only the lists and the dates hold, then 清空条件.
    typeText(search->categoryList()->lineEdit(), QStringLiteral("健身"));
    typeText(search->supplierList()->lineEdit(), QStringLiteral("乙"));
    search->fromDate()->setDate(QDate(2026, 1, 1));
    search->toDate()->setDate(QDate(2026, 1, 31));
    QTest::mouseClick(search->dateCheck(), Qt::LeftButton);
    QTest::mouseClick(search->searchButton(), Qt::LeftButton);
    QCOMPARE(names(shop.dm()), QStringList{QStringLiteral("瑜伽垫")});
    QTest::mouseClick(search->clearButton(), Qt::LeftButton);
    QCOMPARE(search->categoryList()->currentText(), QString());
    QCOMPARE(search->supplierList()->currentText(), QString());
    QVERIFY(!search->dateCheck()->isChecked());
    QCOMPARE(names(shop.dm()), all);

    // Text boxes too: one search once everything is empty.
    QTest::keyClicks(search->codeBox(), QStringLiteral("3"));
    QCOMPARE(names(shop.dm()), QStringList{QStringLiteral("哑铃")});
    QTest::mouseClick(search->clearButton(), Qt::LeftButton);
    QCOMPARE(names(shop.dm()), all);
    QVERIFY(port.entries.isEmpty());

    // A title click marks its column; 全部记录 puts the rows back in date order without marks.
    QHeaderView* header = main.grid()->view()->horizontalHeader();
    const int section = main.grid()->model()->columnOf(QStringLiteral("2"));
    QTest::mouseClick(
        header->viewport(), Qt::LeftButton, {},
        QPoint(header->sectionViewportPosition(section) + header->sectionSize(section) / 2, header->height() - 6));
    QCOMPARE(names(shop.dm()), (QStringList{QStringLiteral("篮球"), QStringLiteral("哑铃"), QStringLiteral("瑜伽垫")}));
    QCOMPARE(main.grid()->sortMarker(stockcol::quantityIn), 1);
    QTest::mouseClick(search->allButton(), Qt::LeftButton);
    QCOMPARE(names(shop.dm()), all);
    for (const GridColumn& column : main.grid()->columns())
        QVERIFY2(main.grid()->sortMarker(column.field) == 0, qPrintable(column.field));
}

void TestMainWindow::titleClicksSortDescendingThenFlip()
{
    TestShop shop;
    RecordingPort port;
    shop.addStock(QStringLiteral("乙"), QString(), QStringLiteral("1"), QStringLiteral("k"), 1, 2, 1);
    shop.addStock(QStringLiteral("甲"), QString(), QStringLiteral("2"), QStringLiteral("k"), 1, 1, 1);
    shop.addStock(QStringLiteral("丙"), QString(), QStringLiteral("3"), QStringLiteral("k"), 1, 3, 1);
    TMainForm main(shop.dm());
    QVERIFY(logIn(main, QStringLiteral("超级管理员"), QStringLiteral("864")));
    main.action(QStringLiteral("新建入库"))->trigger();
    QHeaderView* header = main.grid()->view()->horizontalHeader();
    const int section = main.grid()->model()->columnOf(QStringLiteral("2"));
    const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2, header->height() - 6);
    const QStringList desc{QStringLiteral("丙"), QStringLiteral("乙"), QStringLiteral("甲")};
    const QStringList asc{QStringLiteral("甲"), QStringLiteral("乙"), QStringLiteral("丙")};
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(names(shop.dm()), desc);
    QVERIFY(!main.stockInPanel()->isVisible());
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(names(shop.dm()), asc);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(names(shop.dm()), desc);
    QCOMPARE(main.grid()->sortMarker(stockcol::quantityIn), 1); // none -> down -> up -> down
}

namespace {

// Clicks the title of the grid column showing `field`.
void clickTitle(TMainForm& main, const QString& field)
{
    QHeaderView* header = main.grid()->view()->horizontalHeader();
    const int section = main.grid()->model()->columnOf(field);
    const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2, header->height() - 6);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

// The row identities the engine returns for `st`, in its order.
QList<qint64> engineRows(Tdmfm& dm, const Statement& st)
{
    RowSet& q = scratchRows();
    (void)dm.OpenQuery(q, st);
    QList<qint64> out;
    for (int r = 0; r < q.rowCount(); ++r)
        out << q.rowId(r);
    return out;
}

QList<qint64> gridRows(Tdmfm& dm)
{
    QList<qint64> out;
    for (int r = 0; r < dm.stock().list().rowCount(); ++r)
        out << dm.stock().list().rowId(r);
    return out;
}

QStringList items(const QComboBox* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->itemText(i);
    return out;
}

// The grid against the engine: the rows of `st` in its order, totals equal
// to a total made afresh over the same rows, and the name list of the
// stock-in panel equal to the engine's distinct names.
void checkAgainstEngine(TMainForm& main, Tdmfm& dm, const Statement& st)
{
    QCOMPARE(gridRows(dm), engineRows(dm, st));
    DataGridModel fresh;
    fresh.setColumns(stockGridColumns());
    fresh.setRowSet(&dm.stock().list());
    for (const char* field : {"2", "3", "5", "6", "7", "8"})
        QCOMPARE(main.grid()->footerText(QLatin1String(field)), fresh.footerText(fresh.columnOf(QLatin1String(field))));
}

void checkLists(TMainForm& main, Tdmfm& dm)
{
    RowSet& q = scratchRows();
    for (auto [list, column] :
         {std::pair{main.stockInPanel()->nameList(), "a"}, std::pair{main.stockInPanel()->codeList(), "c"},
          std::pair{main.searchBox()->categoryList(), "d"}}) {
        QVERIFY(dm.OpenDistinctColumn(q, QLatin1String(column), QStringLiteral("data")));
        QStringList engine;
        for (int r = 0; r < q.rowCount(); ++r)
            engine << q.value(r, 0).toString();
        QCOMPARE(items(list), engine);
        QCOMPARE(list->currentText(), QString());
    }
}

} // namespace

void TestMainWindow::gridShowsTheEnginesRowsThroughSearchesAndWrites()
{
    TestShop shop;
    RecordingPort port;
    Tdmfm& dm = shop.dm();
    // Names in two letter cases collapse into one list item: the newest row's.
    shop.addStock(QStringLiteral("足球"), QStringLiteral("5号"), QStringLiteral("6901"), QStringLiteral("球类"), 10.1,
                  5, 20);
    shop.addStock(QStringLiteral("篮球架"), QStringLiteral("户外"), QStringLiteral("6902"), QStringLiteral("器材"), 300,
                  2, 450, QStringLiteral("2026-01-03"));
    shop.addStock(QStringLiteral("Pro拍"), QString(), QStringLiteral("6913"), QStringLiteral("球类"), 0.35, 3, 1);
    shop.addStock(QStringLiteral("pro拍"), QString(), QStringLiteral("7913"), QStringLiteral("球类"), 0.1, 0, 1);
    shop.addStock(QStringLiteral("排球"), QString(), QStringLiteral("6914"), QString(), 33.3, 7, 50);
    TMainForm main(dm);
    QVERIFY(logIn(main, QStringLiteral("超级管理员"), QStringLiteral("864")));
    checkAgainstEngine(main, dm, stockq::listAll(stockq::ZeroStock::Shown));
    checkLists(main, dm);

    // Typing narrows; a second box and 清空条件 search again.
    StockSearchBox* box = main.searchBox();
    stockq::Conditions c;
    QTest::keyClicks(box->nameBox(), QStringLiteral("Q"));
    c.nameInitials = QStringLiteral("Q");
    checkAgainstEngine(main, dm, stockq::search(stockq::ZeroStock::Shown, c));
    QTest::keyClicks(box->codeBox(), QStringLiteral("69"));
    c.code = QStringLiteral("69");
    checkAgainstEngine(main, dm, stockq::search(stockq::ZeroStock::Shown, c));
    QTest::mouseClick(box->clearButton(), Qt::LeftButton);
    checkAgainstEngine(main, dm, stockq::search(stockq::ZeroStock::Shown, {}));

    // 新建入库 through the panel.
    main.action(QStringLiteral("新建入库"))->trigger();
    StockInPanel* panel = main.stockInPanel();
    panel->nameList()->setEditText(QStringLiteral("羽毛球"));
    panel->codeList()->setEditText(QStringLiteral("6920"));
    panel->categoryList()->setEditText(QStringLiteral("乒羽用品"));
    panel->purchasePriceBox()->setText(QStringLiteral("2.25"));
    panel->quantityBox()->setText(QStringLiteral("12"));
    panel->salePriceBox()->setText(QStringLiteral("4"));
    QTest::mouseClick(panel->newButton(), Qt::LeftButton);
    QVERIFY2(port.entries.isEmpty(), qPrintable(port.texts().join(QLatin1Char('|'))));
    checkAgainstEngine(main, dm, stockq::listAll(stockq::ZeroStock::Shown));
    checkLists(main, dm);

    // 修改入库 of the row chosen in the grid.
    dm.stock().list().setCurrent(names(dm).indexOf(QStringLiteral("篮球架")));
    main.action(QStringLiteral("修 改"))->trigger();
    panel->nameList()->setEditText(QStringLiteral("篮球架PRO"));
    panel->quantityBox()->setText(QStringLiteral("3"));
    port.answers << MessagePort::Answer::Ok;
    QTest::mouseClick(panel->changeButton(), Qt::LeftButton);
    QCOMPARE(main.noticePanel()->text(), QStringLiteral("修改数据成功..."));
    checkAgainstEngine(main, dm, stockq::listAll(stockq::ZeroStock::Shown));
    checkLists(main, dm);

    // A one-row change without a reload: the totals take the difference and
    // come out as a full re-sum does; the list stays as it was filled.
    QTest::keyClicks(box->nameBox(), QStringLiteral("q"));
    c = {};
    c.nameInitials = QStringLiteral("q");
    const qint64 changed = dm.stock().list().rowId(0);
    QVERIFY(dm.updateRow(dm.stock().list(), changed,
                         {{QString(stockcol::purchaseAmount), 1e15},
                          {QString(stockcol::stockQuantity), QStringLiteral("2.5")},
                          {QString(stockcol::stockAmount), 0.0001}}));
    QCOMPARE(dm.stock().list().value(dm.stock().list().rowOf(changed), QStringLiteral("8")).toDouble(), 0.0001);
    checkAgainstEngine(main, dm, stockq::search(stockq::ZeroStock::Shown, c));

    // 删 除: the row leaves the grid and its totals at once.
    port.clear();
    dm.stock().list().setCurrent(0);
    port.answers << MessagePort::Answer::Ok;
    main.action(QStringLiteral("删 除"))->trigger();
    QCOMPARE(main.noticePanel()->text(), QStringLiteral("删除数据成功..."));
    checkAgainstEngine(main, dm, stockq::search(stockq::ZeroStock::Shown, c));

    // Another program writes the file: the next search and reload read it.
    {
        Database other;
        QString error;
        QVERIFY(other.open(shop.dbPath(), false, &error));
        QVERIFY(other.exec(
            Statement{
                QStringLiteral("insert into data (a,c,d,e,[2],[3],[7]) values ('PRO球','6930','球类','proq',1,9.99,1)"),
                {}},
            &error));
        QVERIFY(other.exec(
            Statement{QStringLiteral("update data set [3]=[3]+1, e='qq' where a=?"), {QStringLiteral("排球")}},
            &error));
    }
    QTest::keyClick(box->nameBox(), Qt::Key_Backspace);
    QTest::keyClicks(box->nameBox(), QStringLiteral("q"));
    checkAgainstEngine(main, dm, stockq::search(stockq::ZeroStock::Shown, c));
    main.reloadStockList();
    checkAgainstEngine(main, dm, stockq::listAll(stockq::ZeroStock::Shown));
    checkLists(main, dm);

    // With zero stock hidden (the stored choice), the same.
    main.hideZeroBox()->setChecked(true);
    checkAgainstEngine(main, dm, stockq::listAll(stockq::ZeroStock::Hidden));
    QTest::keyClick(box->nameBox(), Qt::Key_Backspace);
    QTest::keyClicks(box->nameBox(), QStringLiteral("p"));
    c.nameInitials = QStringLiteral("p");
    checkAgainstEngine(main, dm, stockq::search(stockq::ZeroStock::Hidden, c));
}

void TestMainWindow::titleClickSortsTextsInChineseOrder()
{
    TestShop shop;
    RecordingPort port;
    // Code point order: 安 波 篮 足 车; pinyin: an bo che lan zu.
    for (const char* name : {"足球", "车载架", "安踏鞋", "篮球", "波比球"})
        shop.addStock(QString::fromUtf8(name), QString(), QStringLiteral("1"), QStringLiteral("k"), 1, 1, 1);
    TMainForm main(shop.dm());
    QVERIFY(logIn(main, QStringLiteral("超级管理员"), QStringLiteral("864")));
    const QStringList ascending{QStringLiteral("安踏鞋"), QStringLiteral("波比球"), QStringLiteral("车载架"),
                                QStringLiteral("篮球"), QStringLiteral("足球")};
    QStringList descending = ascending;
    std::reverse(descending.begin(), descending.end());
    clickTitle(main, stockcol::name);
    QCOMPARE(names(shop.dm()), descending);
    clickTitle(main, stockcol::name);
    QCOMPARE(names(shop.dm()), ascending);
    // A row rewritten between two sorts takes its new place.
    QVERIFY(shop.dm().updateRow(shop.dm().stock().list(), shop.dm().stock().list().rowId(4),
                                {{QString(stockcol::name), QStringLiteral("阿")}}));
    clickTitle(main, stockcol::name);
    clickTitle(main, stockcol::name);
    QCOMPARE(names(shop.dm()).first(), QStringLiteral("阿"));
}

void TestMainWindow::alarmColoursAtTheBoundary()
{
    TestShop shop;
    RecordingPort port;
    const double stock[] = {5, 5.4, 5.5, 4.5, 0.4, 0.6};
    for (double s : stock)
        shop.addStock(QString::number(s), QString(), QStringLiteral("c"), QStringLiteral("k"), 1, s, 1);
    TMainForm main(shop.dm());
    QVERIFY(logIn(main, QStringLiteral("超级管理员"), QStringLiteral("864")));
    auto red = [&] {
        QStringList out;
        DataGridModel* m = main.grid()->model();
        for (int r = 0; r < m->rowCount(); ++r)
            if (m->data(m->index(r, 0), Qt::ForegroundRole).value<QColor>() == QColor(255, 0, 0))
                out << shop.dm().stock().list().value(r, stockcol::name).toString();
        return out;
    };
    QCOMPARE(main.alarmNumber(), QStringLiteral("5"));
    QCOMPARE(red(), (QStringList{QStringLiteral("5"), QStringLiteral("5.4"), QStringLiteral("4.5"),
                                 QStringLiteral("0.4"), QStringLiteral("0.6")}));
    // Emptying the box gives "0"; only stock that rounds to 0 stays red.
    main.alarmBox()->setFocus();
    main.alarmBox()->selectAll();
    QTest::keyClick(main.alarmBox(), Qt::Key_Backspace);
    QCOMPARE(main.alarmBox()->text(), QStringLiteral("0"));
    QCOMPARE(SettingsStore::read(settingkeys::stockAlarm), QStringLiteral("0"));
    QCOMPARE(red(), QStringList{QStringLiteral("0.4")});
    // Letters never reach the box.
    QTest::keyClicks(main.alarmBox(), QStringLiteral("a-1"));
    QCOMPARE(main.alarmBox()->text(), QStringLiteral("01"));
    // Nor does pasted text that is not a whole number.
    main.alarmBox()->selectAll();
    main.alarmBox()->insert(QStringLiteral("7a"));
    QCOMPARE(main.alarmBox()->text(), QStringLiteral("01"));
    QCOMPARE(SettingsStore::read(settingkeys::stockAlarm), QStringLiteral("01"));
}

void TestMainWindow::settingsSurviveARestart()
{
    TestShop shop;
    RecordingPort port;
    shop.addStock(QStringLiteral("篮球"), QString(), QStringLiteral("1"), QStringLiteral("k"), 1, 1, 1);
    shop.addStock(QStringLiteral("足球"), QString(), QStringLiteral("2"), QStringLiteral("k"), 1, 1, 1);
    QString error;
    QVERIFY(shop.dm().db().exec(QStringLiteral("update data set [7]=0 where c='2'"), &error));
    int categoryWidth = 0;
    {
        TMainForm main(shop.dm());
        QVERIFY(logIn(main, QStringLiteral("超级管理员"), QStringLiteral("864")));
        QCOMPARE(shop.dm().stock().list().rowCount(), 2);
        main.action(QStringLiteral("隐藏金额"))->trigger();
        QVERIFY(!main.grid()->isColumnVisible(stockcol::salesAmount));
        main.hideZeroBox()->setChecked(true);
        QCOMPARE(shop.dm().stock().list().rowCount(), 1);
        // A layout saved with the remark column hidden and a wider category column.
        main.grid()->setColumnVisible(stockcol::remark, false);
        main.grid()->view()->horizontalHeader()->resizeSection(main.grid()->model()->columnOf(QStringLiteral("d")), 77);
        categoryWidth = main.grid()->columnWidth(stockcol::category);
        QCOMPARE(categoryWidth, 77);
        main.action(QStringLiteral("保存当前列宽"))->trigger();
        QVERIFY(port.entries.isEmpty());
        main.close();
    }
    QCOMPARE(SettingsStore::read(settingkeys::hideAmounts), QStringLiteral("yes"));
    QCOMPARE(SettingsStore::read(settingkeys::zeroStock), QStringLiteral("no"));
    QVERIFY(!SettingsStore::read(settingkeys::saleDate).isEmpty());

    TMainForm again(shop.dm());
    again.show();
    // The flags apply when the window shows, before the login.
    QVERIFY(!again.grid()->isColumnVisible(stockcol::purchaseAmount));
    QVERIFY(again.action(QStringLiteral("隐藏金额"))->isChecked());
    QVERIFY(again.grid()->isColumnVisible(stockcol::remark));
    QVERIFY(logIn(again, QStringLiteral("超级管理员"), QStringLiteral("864")));
    // The login restores the layout and the zero-stock choice.
    QVERIFY(!again.grid()->isColumnVisible(stockcol::remark));
    QVERIFY(!again.action(QStringLiteral("隐藏备注信息"))->isChecked());
    QCOMPARE(again.grid()->columnWidth(stockcol::category), categoryWidth);
    QVERIFY(again.hideZeroBox()->isChecked());
    QCOMPARE(shop.dm().stock().list().rowCount(), 1);
    // Choosing "隐藏金额" again shows the three columns and stores "no".
    again.action(QStringLiteral("隐藏金额"))->trigger();
    for (const char* f : {"3", "6", "8"})
        QVERIFY(again.grid()->isColumnVisible(QString::fromLatin1(f)));
    QCOMPARE(SettingsStore::read(settingkeys::hideAmounts), QStringLiteral("no"));
}

void TestMainWindow::frameFollowsTheWindowAndKeepsDatesFilled()
{
    const wallclock::FixedClock clock(QDateTime(QDate(2026, 3, 15), QTime(23, 59, 59)));
    TestShop shop;
    RecordingPort port;
    TMainForm main(shop.dm());
    QVERIFY(logIn(main, QStringLiteral("超级管理员"), QStringLiteral("864")));
    QCOMPARE(main.windowTitle(), QStringLiteral("Tarvik运动品销售管理软件 V4.3.7(春节珍藏版)"));
    QCOMPARE(main.statusPanel(2)->text(), QStringLiteral("今天：2026-03-15"));
    // The grid grows with the window, the command area keeps its height.
    const int before = main.grid()->height();
    main.resize(main.width(), main.height() + 150);
    QTRY_COMPARE(main.grid()->height(), before + 150);

    // The date keeper puts today back into an emptied stock-in date.
    main.action(QStringLiteral("新建入库"))->trigger();
    main.stockInPanel()->dateField()->clear();
    QVERIFY(main.stockInPanel()->dateField()->isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(main.stockInPanel()->dateField()->text(), QStringLiteral("2026-03-15"), 2000);

    // The help window shows without blocking the main window.
    main.action(QStringLiteral("使用帮助"))->trigger();
    QVERIFY(main.helpWindow()->isVisible());
    QVERIFY(!main.helpWindow()->isModal());
    QVERIFY(port.entries.isEmpty());
}

void TestMainWindow::closingWritesTheLogoutTime()
{
    TestShop shop;
    RecordingPort port;
    {
        TMainForm main(shop.dm());
        QVERIFY(logIn(main, QStringLiteral("超级管理员"), QStringLiteral("864")));
        const qint64 id = main.sessionId();
        QVERIFY(
            shop.dm().OpenQuery(scratchRows(),
                                Statement{QStringLiteral("select username, btime, jtime from rz where id=?"), {id}}));
        QCOMPARE(scratchRows().value(0, 0).toString(), QStringLiteral("超级管理员"));
        QVERIFY(scratchRows().value(0, 2).isNull());
        main.close();
    }
    QVERIFY(
        shop.dm().OpenQuery(scratchRows(), Statement{QStringLiteral("select btime, jtime from rz"), {}}));
    QCOMPARE(scratchRows().rowCount(), 1);
    const QString jtime = scratchRows().value(0, 1).toString();
    QVERIFY2(QDateTime::fromString(jtime, QStringLiteral("yyyy-MM-dd hh:mm:ss")).isValid(), qPrintable(jtime));
    QVERIFY(jtime >= scratchRows().value(0, 0).toString());
}

void TestMainWindow::closingTheLoginEndsTheProgram()
{
    TestShop shop;
    RecordingPort port;
    TMainForm main(shop.dm());
    main.show();
    QTRY_VERIFY(main.loginWindow()->isVisible());
    main.loginWindow()->reject();
    QTRY_VERIFY(!main.isVisible());
    QCOMPARE(main.sessionId(), 0);
    QVERIFY(shop.dm().OpenQuery(scratchRows(), Statement{QStringLiteral("select count(*) from rz"), {}}));
    QCOMPARE(scratchRows().value(0, 0).toInt(), 0);
}

void TestMainWindow::failedLoginLogEndsTheProgram()
{
    TestShop shop;
    RecordingPort port;
    // The password is right, but the login log cannot be written (a full disk).
    QString error;
    QVERIFY(shop.dm().db().exec(QStringLiteral("CREATE TRIGGER full BEFORE INSERT ON rz "
                                               "BEGIN SELECT RAISE(FAIL, 'database or disk is full'); END"),
                                &error));
    TMainForm main(shop.dm());
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    Tloginfm* login = main.loginWindow();
    QTRY_VERIFY(login->isVisible());
    login->userList()->setCurrentText(QStringLiteral("超级管理员"));
    QTest::keyClicks(login->passwordBox(), QStringLiteral("864"));
    QTest::mouseClick(login->loginButton(), Qt::LeftButton);
    // The error is shown once and the program ends instead of asking again.
    QTRY_VERIFY(!main.isVisible());
    QCOMPARE(port.texts(),
             QStringList{QStringLiteral("磁盘已满，数据没有保存。请腾出磁盘空间后再试。（database or disk is full）")});
    QVERIFY(!login->isVisible());
    QCOMPARE(main.sessionId(), 0);
}

void TestMainWindow::storedCountersOutOfRangeAreIgnored()
{
    TestShop shop;
    RecordingPort port;
    QVERIFY(SettingsStore::write(settingkeys::stockAlarm, QStringLiteral("-5")));
    TMainForm main(shop.dm());
    main.show();
    QCOMPARE(main.alarmNumber(), QStringLiteral("5"));
    QVERIFY(port.entries.isEmpty());
    // Reading wrote nothing back.
    QCOMPARE(SettingsStore::read(settingkeys::stockAlarm), QStringLiteral("-5"));
    QTRY_VERIFY(main.loginWindow()->isVisible());
    main.loginWindow()->reject();
    QTRY_VERIFY(!main.isVisible());
}

void TestMainWindow::gridMenuInItsOrder()
{
    TestShop shop;
    RecordingPort port;
    TMainForm main(shop.dm());
    QVERIFY(logIn(main, QStringLiteral("超级管理员"), QStringLiteral("864")));
    QStringList captions;
    for (QAction* a : main.gridMenu()->actions())
        if (a->isVisible())
            captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
    const QStringList expected{
        QStringLiteral("新建入库"), QStringLiteral("修 改"),
        QStringLiteral("删 除"),    QStringLiteral("全部记录"),
        QStringLiteral("-"),        QStringLiteral("导出Excel"),
        QStringLiteral("打 印"),    QStringLiteral("销售明细"),
        QStringLiteral("汇总统计"), QStringLiteral("-"),
        QStringLiteral("隐藏列"),   QStringLiteral("保存当前列宽"),
        QStringLiteral("-"),        QStringLiteral("销售单(小票)打印"),
        QStringLiteral("打印设置"),
    };
    QCOMPARE(captions, expected);
}

void TestMainWindow::gridMenuOverRowsTitlesAndTotals_data()
{
    QTest::addColumn<QString>("part");
    QTest::newRow("rows") << "rows";
    QTest::newRow("column titles") << "titles";
    QTest::newRow("totals row") << "totals";
}

void TestMainWindow::gridMenuOverRowsTitlesAndTotals()
{
    QFETCH(QString, part);
    TestShop shop;
    RecordingPort port;
    shop.addStock(QStringLiteral("篮球"), QString(), QStringLiteral("1"), QStringLiteral("球类"), 1, 2, 1);
    TMainForm main(shop.dm());
    QVERIFY(logIn(main, QStringLiteral("超级管理员"), QStringLiteral("864")));
    QWidget* target = main.grid()->view()->viewport();
    if (part == QLatin1String("titles"))
        target = main.grid()->view()->horizontalHeader()->viewport();
    else if (part == QLatin1String("totals"))
        target = main.grid()->findChild<QWidget*>(QStringLiteral("footer"));
    QVERIFY(target && target->isVisible());
    const QPoint at(40, target->height() / 2);
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, target->mapToGlobal(at));
    QApplication::sendEvent(target, &click);
    QVERIFY(main.gridMenu()->isVisible());
    QCOMPARE(main.gridMenu()->pos().y(), target->mapToGlobal(at).y()); // x is kept on the screen
    main.gridMenu()->hide();
    QVERIFY(port.entries.isEmpty());
}

void TestMainWindow::gridHeightKnownAtShowAndAfterMaximise()
{
    TestShop shop;
    RecordingPort port;
    TMainForm main(shop.dm());
    QVERIFY(logIn(main, QStringLiteral("超级管理员"), QStringLiteral("864")));
    // Without any resize, the grid already reckons with the real frame.
    QTRY_COMPARE(main.grid()->height(), main.frameGeometry().height() - 196);
    const int normal = main.grid()->height();
    main.showMaximized();
    QTRY_VERIFY(main.isMaximized());
    QTRY_COMPARE(main.grid()->height(), main.frameGeometry().height() - 196);
    main.showNormal();
    QTRY_VERIFY(!main.isMaximized());
    QTRY_COMPARE(main.grid()->height(), normal);

    // A window manager tells the frame late, with a move or a change of state
    // and no resize; the layout follows each of them.
    main.grid()->resize(main.grid()->width(), 50);
    QMoveEvent moved(main.pos(), main.pos());
    QApplication::sendEvent(&main, &moved);
    QCOMPARE(main.grid()->height(), normal);
    main.grid()->resize(main.grid()->width(), 50);
    QWindowStateChangeEvent changed(Qt::WindowMaximized);
    QApplication::sendEvent(&main, &changed);
    QCOMPARE(main.grid()->height(), normal);
}

void TestMainWindow::commandAreaShowsEveryBoxWhole_data()
{
    QTest::addColumn<QSize>("extra");
    QTest::newRow("default size") << QSize();
    QTest::newRow("wider and taller") << QSize(240, 120);
}

void TestMainWindow::commandAreaShowsEveryBoxWhole()
{
    QFETCH(QSize, extra);
    const wallclock::FixedClock clock(QDateTime(QDate(2026, 3, 15), QTime(23, 59, 59)));
    TestShop shop;
    RecordingPort port;
    TMainForm main(shop.dm());
    QVERIFY(logIn(main, QStringLiteral("超级管理员"), QStringLiteral("864")));
    QCOMPARE(main.size(), QSize(1031, 636));
    if (extra.isValid()) {
        main.resize(main.size() + extra);
        QTRY_COMPARE(main.size(), QSize(1031, 636) + extra);
    }
    QApplication::processEvents();
    StockSearchBox* search = main.searchBox();

    // The two dates show their ten characters whole.
    for (DateField* date : {search->fromDate(), search->toDate()}) {
        QCOMPARE(date->text(), QStringLiteral("2026-03-15"));
        QVERIFY(showsWhole(date->lineEdit(), QStringLiteral("2026-12-10")));
    }
    // The text boxes hold a scanned 13-digit article code, or some pinyin
    // initials, in sight; the lists a category or supplier name.
    for (QLineEdit* box : {search->nameBox(), search->modelBox(), search->codeBox(), search->remarkBox()})
        QVERIFY2(showsWhole(box, QStringLiteral("6910628701903")), qPrintable(QString::number(box->width())));
    for (QComboBox* list : {search->categoryList(), search->supplierList()})
        QVERIFY(showsWhole(list->lineEdit(), QStringLiteral("户外用品商城")));

    // Every control of the command area is whole inside the window and none
    // covers another; the buttons' captions fit them.
    QWidget* area = main.stockList()->findChild<QFrame*>(QStringLiteral("commandArea"));
    QVERIFY(area);
    QList<QWidget*> controls;
    for (QWidget* w : search->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->isVisible())
            controls << w;
    for (QWidget* w : main.stockList()->toolbarArea()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->isVisible())
            controls << w;
    QCOMPARE(main.stockList()->toolbarArea()->findChildren<QToolButton*>().size(), 7);
    const QRect window = rectIn(area, &main).intersected(main.rect());
    for (qsizetype i = 0; i < controls.size(); ++i) {
        const QRect r = rectIn(controls[i], &main);
        const QString what = QString::fromLatin1(controls[i]->metaObject()->className()) + QStringLiteral(" ") +
                             controls[i]->property("text").toString();
        QVERIFY2(window.contains(r), qPrintable(what));
        if (controls[i]->parentWidget() == search)
            QVERIFY2(search->contentsRect().contains(controls[i]->geometry()), qPrintable(what));
        for (qsizetype j = i + 1; j < controls.size(); ++j)
            QVERIFY2(!r.intersects(rectIn(controls[j], &main)),
                     qPrintable(what + QStringLiteral(" / ") + controls[j]->property("text").toString()));
        if (auto* b = qobject_cast<QAbstractButton*>(controls[i]))
            QVERIFY2(b->fontMetrics().horizontalAdvance(b->text()) <= b->width(), qPrintable(what));
    }
    QVERIFY(!rectIn(search, &main).intersects(rectIn(main.stockList()->toolbarArea(), &main)));

    // The status bar's panels lie in the window; the web address shows whole.
    for (int i = 0; i < 4; ++i)
        QVERIFY2(main.rect().contains(rectIn(main.statusPanel(i), &main)), qPrintable(QString::number(i)));
    QLabel* address = main.statusPanel(3);
    QVERIFY(address->fontMetrics().horizontalAdvance(address->text()) <= address->contentsRect().width());
    QVERIFY2(main.statusPanel(0)->width() >= 300, qPrintable(QString::number(main.statusPanel(0)->width())));
}

void TestMainWindow::windowsPlacedWithOnlyACloseBox()
{
    TestShop shop;
    RecordingPort port;
    TMainForm main(shop.dm());
    // Away from the middle of the desktop, so that the two centres differ.
    main.move(QApplication::primaryScreen()->availableGeometry().topLeft() + QPoint(10, 10));
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    Tloginfm* login = main.loginWindow();
    QTRY_VERIFY(login->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(login));
    const auto near = [](QPoint a, QPoint b) { return (a - b).manhattanLength() <= 2; };
    QVERIFY2(near(login->frameGeometry().center(), main.frameGeometry().center()),
             qPrintable(QStringLiteral("login %1,%2 main %3,%4")
                            .arg(login->frameGeometry().center().x())
                            .arg(login->frameGeometry().center().y())
                            .arg(main.frameGeometry().center().x())
                            .arg(main.frameGeometry().center().y())));
    // The window manager may place the main window after the login is up.
    main.move(main.pos() + QPoint(37, 23));
    QTRY_VERIFY(near(login->frameGeometry().center(), main.frameGeometry().center()));
    login->userList()->setCurrentText(QStringLiteral("超级管理员"));
    QTest::keyClicks(login->passwordBox(), QStringLiteral("864"));
    QTest::mouseClick(login->loginButton(), Qt::LeftButton);
    QTRY_VERIFY(main.sessionId() > 0);

    main.action(QStringLiteral("使用帮助"))->trigger();
    THelpForm* help = main.helpWindow();
    QVERIFY(QTest::qWaitForWindowExposed(help));
    const QPoint desktop = QApplication::primaryScreen()->availableGeometry().center();
    QVERIFY2(near(help->frameGeometry().center(), desktop), qPrintable(QStringLiteral("help %1,%2 desktop %3,%4")
                                                                           .arg(help->frameGeometry().center().x())
                                                                           .arg(help->frameGeometry().center().y())
                                                                           .arg(desktop.x())
                                                                           .arg(desktop.y())));

    for (QWidget* w : {static_cast<QWidget*>(login), static_cast<QWidget*>(help)}) {
        const Qt::WindowFlags flags = w->windowFlags();
        QVERIFY(flags & Qt::CustomizeWindowHint); // without it the desktop adds every box
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QCOMPARE(w->minimumSize(), w->maximumSize());
    }
    QVERIFY(port.entries.isEmpty());
}

void TestMainWindow::webSiteWithoutBrowserSaysSo()
{
    TestShop shop;
    RecordingPort port;
    TMainForm main(shop.dm());
    QVERIFY(logIn(main, QStringLiteral("超级管理员"), QStringLiteral("864")));
    QTemporaryDir empty;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", empty.path().toUtf8());
    main.action(QStringLiteral("官方网站"))->trigger();
    qputenv("PATH", path);
    QCOMPARE(port.entries.size(), 1);
    QCOMPARE(port.entries.at(0).kind, QStringLiteral("inform"));
    QVERIFY(port.entries.at(0).text.startsWith(QStringLiteral("没有找到网页浏览器")));
    QVERIFY(port.entries.at(0).text.contains(TMainForm::webAddress()));
}

void TestMainWindow::failedSettingWritesAreShown()
{
    TestShop shop;
    RecordingPort port;
    TMainForm main(shop.dm());
    QVERIFY(logIn(main, QStringLiteral("超级管理员"), QStringLiteral("864")));
    QVERIFY(port.entries.isEmpty());

    // A full disk: a new stock alarm number cannot be stored, every value
    // stored before stays, and the message says which file and why.
    for (const QLatin1StringView key : {settingkeys::company, settingkeys::receiptTitle, settingkeys::backupPath})
        QVERIFY(SettingsStore::write(key, QStringLiteral("体育用品店 ") + QString(key)));
    QVERIFY(SettingsStore::write(settingkeys::saleDaySequence, QStringLiteral("12")));
    QFile settings(SettingsStore::filePath());
    QVERIFY(settings.open(QIODevice::ReadOnly));
    const QByteArray stored = settings.readAll();
    settings.close();
    main.alarmBox()->setFocus();
    main.alarmBox()->selectAll();
    {
        FileSizeLimit full(rlim_t(stored.size() / 2));
        QVERIFY(full.isActive());
        QTest::keyClicks(main.alarmBox(), QStringLiteral("9"));
    }
    QCOMPARE(main.alarmBox()->text(), QStringLiteral("9"));
    QCOMPARE(port.texts(),
             QStringList{QStringLiteral("Unable to write to %1\nFile too large").arg(SettingsStore::filePath())});
    QVERIFY(settings.open(QIODevice::ReadOnly));
    QCOMPARE(settings.readAll(), stored);
    settings.close();
    QCOMPARE(QDir(SettingsStore::folderPath()).entryList(QDir::Files).filter(QStringLiteral(".tmp")), QStringList());
    port.clear();

    // The configuration folder is a plain file: nothing can be written below it.
    const QString blocker = shop.folder() + QStringLiteral("/blocked");
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    qputenv("XDG_CONFIG_HOME", blocker.toLocal8Bit());
    const QString settingsFailure =
        QStringLiteral("Unable to write to %1\nNot a directory").arg(SettingsStore::filePath());

    // Each choice still takes effect; the write's failure text is shown once.
    main.action(QStringLiteral("保存当前列宽"))->trigger();
    QCOMPARE(port.texts(), QStringList{QStringLiteral("Unable to write to %1\nNot a directory").arg(layoutFilePath())});
    port.clear();
    main.action(QStringLiteral("隐藏金额"))->trigger();
    QVERIFY(!main.grid()->isColumnVisible(stockcol::salesAmount));
    QCOMPARE(port.texts(), QStringList{settingsFailure});
    port.clear();
    main.hideZeroBox()->setChecked(true);
    QCOMPARE(port.texts(), QStringList{settingsFailure});
    port.clear();
    main.close();
    QCOMPARE(port.texts(), QStringList{settingsFailure}); // the remembered sale date
}

// The stock table is read in the background while the login window shows:
// the login gives a working window at once, the read's progress shows over
// it, and the list fills once the table is in.
void TestMainWindow::stockListFillsWhenTheStockIsRead()
{
    TestShop shop;
    RecordingPort port;
    QString error;
    const int rows = 3 * MemTable::loadProgressStep();
    QVERIFY2(shop.dm().db().exec(QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n "
                                                "where i < %1) insert into data (a, [7]) select '商品' || i, 1 from n")
                                     .arg(rows),
                                 &error),
             qPrintable(error));
    const int showAfter = TableLoadProgress::showAfterMs();
    TableLoadProgress::setShowAfterMs(0);
    const auto restore = qScopeGuard([&] { TableLoadProgress::setShowAfterMs(showAfter); });
    // The read stops after its first step until the session runs, and after
    // its second until the test has seen the progress.
    std::atomic<int> steps{0};
    QSemaphore go;
    shop.dm().stock().loader().setWorkerStep([&](qint64 read) {
        if (read > 0 && read % MemTable::loadProgressStep() == 0 && steps.fetch_add(1) < 2)
            go.tryAcquire(1, 20000);
    });
    const auto release = qScopeGuard([&] { go.release(2); });
    std::atomic<int> saleSteps{0};
    shop.dm().sales().loader().setWorkerStep([&](qint64) { ++saleSteps; });
    TMainForm main(shop.dm());
    // The read is under way before the login, as at a real login.
    main.show();
    QTRY_VERIFY(steps.load() > 0);
    QCoreApplication::processEvents();
    QVERIFY(logInWithoutWaiting(main));
    QVERIFY(shop.dm().stock().isWaitingForLoad());
    QCOMPARE(main.grid()->model()->rowCount(), 0);
    // The sale table's read, begun at the login, waits for the stock table's.
    QVERIFY(shop.dm().sales().isWaitingForLoad());
    QTest::qWait(300);
    QCOMPARE(saleSteps.load(), 0);
    go.release();
    const auto progress = [] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QProgressDialog*>(top); d && d->isVisible())
                return d->labelText();
        return QString();
    };
    QTRY_COMPARE(progress(),
                 QStringLiteral("正在读取库存记录… %1 / %2").arg(2 * MemTable::loadProgressStep()).arg(rows));
    QCOMPARE(main.grid()->model()->rowCount(), 0);
    go.release();
    QTRY_COMPARE(main.grid()->model()->rowCount(), rows);
    QCOMPARE(progress(), QString());
    QTRY_VERIFY(shop.dm().sales().table().isLoaded());
    QVERIFY2(port.entries.isEmpty(), qPrintable(port.lastText()));
}

// A read in the background that fails is reported, and the program goes on:
// the stock list reads the table on the program's own connection.
void TestMainWindow::failedBackgroundReadIsReported()
{
    TestShop shop;
    RecordingPort port;
    shop.addStock(QStringLiteral("甲球拍"), QStringLiteral("A型"), QStringLiteral("A100"), QStringLiteral("球拍"), 10,
                  5, 20, QStringLiteral("2026-01-01"), QStringLiteral("甲厂"));
    // The open connection keeps the file; a new one finds nothing at its name.
    const QString moved = shop.dbPath() + QStringLiteral(".moved");
    QVERIFY(QFile::rename(shop.dbPath(), moved));
    const auto back = qScopeGuard([&] { QFile::rename(moved, shop.dbPath()); });
    TMainForm main(shop.dm());
    QVERIFY(logIn(main));
    QCOMPARE(port.entries.size(), 2); // the stock table's read and the sale table's
    for (const QString& text : port.texts())
        QVERIFY2(text.contains(QStringLiteral("data.mdb")), qPrintable(text));
    QCOMPARE(names(shop.dm()), QStringList{QStringLiteral("甲球拍")});
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
