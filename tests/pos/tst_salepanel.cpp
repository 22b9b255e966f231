#include "fakehosts.h"
#include "keys.h"
#include "login.h"
#include "recordingport.h"
#include "testdb.h"

#include "app/tmainform.h"
#include "core/clock.h"
#include "core/numbers.h"
#include "pos/salepanel.h"
#include "settings/settingkeys.h"
#include "settings/settingsstore.h"
#include "stock/stockinpanel.h"
#include "store/db/columns.h"
#include "store/db/passwordhash.h"
#include "store/memory/memtable.h"
#include "store/ops/saleops.h"
#include "store/ops/tableloader.h"
#include "store/ops/tdmfm.h"
#include "ui/datagrid.h"
#include "ui/datagridmodel.h"
#include "ui/datefield.h"
#include "ui/numberbox.h"
#include "users/tloginfm.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QToolButton>

namespace {

// The till's day in these tests: sale numbers and dates do not depend on
// when the tests run.
const QDate kToday(2026, 3, 15);

struct Till
{
    wallclock::FixedClock clock{QDateTime(kToday, QTime(10, 0))};
    TestShop shop;
    RecordingPort port;
    FakePosHost host{shop.dm()};
    QWidget window;
    SalePanel* panel = nullptr;

    Till()
    {
        window.resize(700, 600);
        panel = new SalePanel(shop.dm(), host, &window);
        window.show();
        window.activateWindow();
    }
    bool ready() { return shop.isValid() && QTest::qWaitForWindowActive(&window); }
    Tdmfm& dm() { return shop.dm(); }

    // Opens the panel on the stock row with identity `id`, as a double click does.
    bool open(qint64 id)
    {
        host.showStockList();
        const int row = dm().stock().list().rowOf(id);
        return panel->openForRow(dm().stock().list(), row);
    }
    QVector<QVariant> stock(qint64 id, const QString& columns = QStringLiteral("[5],[6],[7],[8]"))
    {
        QueryResult r;
        QString error;
        dm().db().query(Statement{QStringLiteral("select %1 from data where rowid=?").arg(columns), {id}}, &r, &error);
        return r.rows.value(0);
    }
    QVector<QVector<QVariant>> sales(const QString& columns = QStringLiteral("[2],[3],[4],a5,z"))
    {
        QueryResult r;
        QString error;
        dm().db().query(Statement{QStringLiteral("select %1 from data1 order by id").arg(columns), {}}, &r, &error);
        return r.rows;
    }
};

QWidget* focused()
{
    return QApplication::focusWidget();
}

void enter()
{
    QTest::keyClick(focused(), Qt::Key_Return);
}

// Replaces a field's text by typing: coming in with Tab selects the whole text.
void retype(QWidget* field, const QString& text)
{
    field->clearFocus();
    field->setFocus(Qt::TabFocusReason);
    QTest::keyClick(focused(), Qt::Key_Backspace);
    typeText(focused(), text);
}

// The same for the focused field, then on with Enter.
void retypeAndEnter(const QString& text)
{
    retype(focused(), text);
    enter();
}

QString invalid(const QString& text)
{
    return QStringLiteral("'%1' is not a valid floating point value").arg(text);
}

void doubleClickRow(TMainForm& main, int row)
{
    QTableView* view = main.grid()->view();
    const QRect cell = view->visualRect(view->model()->index(row, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
}

QString today()
{
    return kToday.toString(QStringLiteral("yyyyMMdd"));
}

} // namespace

class TestSalePanel : public QObject
{
    Q_OBJECT

private slots:
    void saleTypedThroughTheFields_data();
    void saleTypedThroughTheFields();
    void stockListKeepsItsPlaceAfterASale();
    void refusedConfirmWritesNothing_data();
    void refusedConfirmWritesNothing();
    void storedStockDecides();
    void rowReplacedMeanwhileIsNotSold();
    void saleNumbers();
    void openingStartsClearedAndRefusalsKeepTheEntries();
    void quickSecondPressStaysOnTheTill();
    void customers();
    void sellsWhileTheSalesAreRead();
    void enterAndTabOrder();
    void closeAndReturnToggle();
    void mainWindowSellsOnDoubleClick();
    void tillOpenPastMidnight();
};

void TestSalePanel::saleTypedThroughTheFields_data()
{
    QTest::addColumn<double>("cost");
    QTest::addColumn<double>("onHand");
    QTest::addColumn<double>("suggested");
    QTest::addColumn<QString>("price");    // typed into 实际销售价; empty: keep the suggested price
    QTest::addColumn<QString>("discount"); // typed into 折; empty: keep "100"
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<bool>("takeBack"); // "退" before confirming
    QTest::addColumn<QString>("amountShown");
    QTest::addColumn<QVector<QVariant>>("stockAfter"); // [5],[6],[7],[8]
    QTest::addColumn<QVector<QVariant>>("saleRow");    // [2],[3],[4],a5

    QTest::newRow("19.9 at cost 12") << 12.0 << 10.0 << 19.9 << QString() << QString() << "1" << false << "19.9"
                                     << QVector<QVariant>{1.0, 19.9, 9.0, 108.0}
                                     << QVector<QVariant>{19.9, 1.0, 19.9, 7.9};
    QTest::newRow("discount 85 on 200") << 150.0 << 5.0 << 200.0 << QString() << "85"
                                        << "1" << false << "170" << QVector<QVariant>{1.0, 170.0, 4.0, 600.0}
                                        << QVector<QVariant>{170.0, 1.0, 170.0, 20.0};
    QTest::newRow("typed price, all the stock")
        << 2.5 << 3.0 << 5.0 << "4.1" << QString() << "3" << false << "12.3" << QVector<QVariant>{3.0, 12.3, 0.0, 0.0}
        << QVector<QVariant>{4.1, 3.0, 12.3, 4.8};
    QTest::newRow("return of two") << 12.0 << 10.0 << 19.9 << QString() << QString() << "2" << true << "-39.8"
                                   << QVector<QVariant>{-2.0, -39.8, 12.0, 144.0}
                                   << QVector<QVariant>{19.9, -2.0, -39.8, -15.8};
    QTest::newRow("discount 90 on 499.49, to the cent")
        << 400.0 << 5.0 << 499.49 << QString() << "90" << "3" << false << "1348.62"
        << QVector<QVariant>{3.0, 1348.62, 2.0, 800.0} << QVector<QVariant>{449.54, 3.0, 1348.62, 148.62};
    QTest::newRow("tenths add up exactly")
        << 0.1 << 100.0 << 0.3 << "0.1" << QString() << "3" << false << "0.3" << QVector<QVariant>{3.0, 0.3, 97.0, 9.7}
        << QVector<QVariant>{0.1, 3.0, 0.3, 0.0};
}

void TestSalePanel::saleTypedThroughTheFields()
{
    QFETCH(double, cost);
    QFETCH(double, onHand);
    QFETCH(double, suggested);
    QFETCH(QString, price);
    QFETCH(QString, discount);
    QFETCH(QString, quantity);
    QFETCH(bool, takeBack);
    QFETCH(QString, amountShown);
    QFETCH(QVector<QVariant>, stockAfter);
    QFETCH(QVector<QVariant>, saleRow);

    Till t;
    QVERIFY(t.ready());
    const qint64 id = t.shop.addStock(QStringLiteral("篮球"), QStringLiteral("7号"), QStringLiteral("B7"),
                                      QStringLiteral("球类"), cost, onHand, suggested, QStringLiteral("2025-12-20"));
    QVERIFY(t.open(id));
    SalePanel* p = t.panel;
    QVERIFY(p->isVisible());
    QCOMPARE(p->nameEdit()->text(), QStringLiteral("篮球"));
    // The discount is not applied on opening: the actual price is the suggested one.
    QCOMPARE(p->priceBox()->text(), p->suggestedPriceEdit()->text());
    QVERIFY(p->priceBox()->hasFocus());

    if (price.isEmpty())
        enter();
    else
        retypeAndEnter(price);
    QVERIFY(p->discountBox()->hasFocus());
    if (discount.isEmpty())
        enter();
    else
        retypeAndEnter(discount);
    QVERIFY(p->quantityBox()->hasFocus());
    retypeAndEnter(quantity);
    QVERIFY(p->owedBox()->hasFocus());
    if (takeBack)
        QTest::mouseClick(p->returnButton(), Qt::LeftButton);
    QCOMPARE(p->amountEdit()->text(), amountShown);

    QTest::mouseClick(p->confirmButton(), Qt::LeftButton);
    QVERIFY2(t.port.entries.isEmpty(), qPrintable(t.port.texts().join(u'|')));
    QCOMPARE(t.stock(id), stockAfter);
    const auto sales = t.sales(QStringLiteral("[2],[3],[4],a5,day2,day1,z,a,b,e"));
    QCOMPARE(sales.size(), 1);
    QCOMPARE(sales.at(0).mid(0, 4), saleRow);
    QCOMPARE(sales.at(0).at(4), QVariant(QStringLiteral("2025-12-20")));
    QCOMPARE(sales.at(0).at(5), QVariant(num::today()));
    QCOMPARE(sales.at(0).at(6), QVariant(today() + QStringLiteral("001")));
    QCOMPARE(sales.at(0).at(9), QVariant(QStringLiteral("lq")));

    // Afterwards: hidden, notice, the stock list showing the stored figures, the entries cleared.
    QVERIFY(!p->isVisible());
    QCOMPARE(t.host.notices, QStringList{QStringLiteral("销售数据保存成功...")});
    const RowSet& list = t.dm().stock().list();
    for (int i = 0; i < stockAfter.size(); ++i)
        QCOMPARE(list.value(list.rowOf(id), QString::number(5 + i)), stockAfter.at(i));
    QCOMPARE(p->quantityBox()->text(), QStringLiteral("1"));
    QCOMPARE(p->owedBox()->text(), QStringLiteral("0"));
    QCOMPARE(p->priceBox()->text(), QString());
}

// The sold row takes its new figures where it is shown: the list is not
// searched again, so the current row (and the grid's scroll place with it)
// stays, and the other rows are not read again.
void TestSalePanel::stockListKeepsItsPlaceAfterASale()
{
    Till t;
    QVERIFY(t.ready());
    qint64 sold = -1;
    for (int i = 0; i < 5; ++i)
        sold = t.shop.addStock(QStringLiteral("球%1").arg(i), {}, QStringLiteral("B%1").arg(i), QStringLiteral("球类"),
                               10, 8, 20);
    QVERIFY(t.open(sold));
    RowSet& list = t.dm().stock().list();
    const int row = list.rowOf(sold);
    QCOMPARE(row, 4);
    list.setCurrent(row);
    QSignalSpy resets(&list, &RowSet::aboutToReset);
    QSignalSpy changes(&list, &RowSet::rowChanged);

    retype(t.panel->quantityBox(), QStringLiteral("3"));
    QTest::mouseClick(t.panel->confirmButton(), Qt::LeftButton);
    QVERIFY2(t.port.entries.isEmpty(), qPrintable(t.port.texts().join(u'|')));
    QVERIFY(!t.panel->isVisible());

    QCOMPARE(resets.count(), 0);
    QCOMPARE(list.current(), row);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(changes.at(0).at(0).toInt(), row);
    QCOMPARE(list.value(row, QStringLiteral("7")), QVariant(5.0));
}

void TestSalePanel::refusedConfirmWritesNothing_data()
{
    QTest::addColumn<QString>("field"); // price, quantity, owed, date
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("quantityAfter");

    QTest::newRow("quantity 0") << "quantity"
                                << "0"
                                << "销售数量不能为0"
                                << "0";
    QTest::newRow("quantity 0.0") << "quantity"
                                  << "0.0"
                                  << "销售数量不能为0"
                                  << "0.0";
    QTest::newRow("more than in stock") << "quantity"
                                        << "6"
                                        << "库存不足"
                                        << "5";
    QTest::newRow("quantity empty") << "quantity"
                                    << ""
                                    << "销售数量必须输入！"
                                    << "";
    QTest::newRow("lone point") << "quantity"
                                << "." << invalid(QStringLiteral(".")) << ".";
    QTest::newRow("price empty") << "price"
                                 << ""
                                 << "实际销售价必须输入！"
                                 << "1";
    QTest::newRow("price too large") << "price"
                                     << "9999999999999999"
                                     << "实际销售价的数值“9999999999999999”超出允许范围：应为 0 至 "
                                        "999999999999999 之间、最多15位有效数字的数。"
                                     << "1";
    QTest::newRow("owed empty") << "owed"
                                << ""
                                << "欠款金额必须输入！"
                                << "1";
    QTest::newRow("owed lone point") << "owed"
                                     << "." << invalid(QStringLiteral(".")) << "1";
    QTest::newRow("date empty") << "date"
                                << ""
                                << "销售日期必须输入"
                                << "1";
    QTest::newRow("date half typed") << "date"
                                     << "2026"
                                     << "'2026-  -  ' is not a valid date"
                                     << "1";
}

void TestSalePanel::refusedConfirmWritesNothing()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, message);
    QFETCH(QString, quantityAfter);

    Till t;
    QVERIFY(t.ready());
    const qint64 id =
        t.shop.addStock(QStringLiteral("网球"), {}, QStringLiteral("T1"), QStringLiteral("球类"), 8, 5, 12);
    const QVector<QVariant> before = t.stock(id);
    QVERIFY(t.open(id));
    SalePanel* p = t.panel;
    QWidget* target = field == u"price"      ? static_cast<QWidget*>(p->priceBox())
                      : field == u"quantity" ? static_cast<QWidget*>(p->quantityBox())
                      : field == u"owed"     ? static_cast<QWidget*>(p->owedBox())
                                             : static_cast<QWidget*>(p->dateField());
    if (field == u"date")
        p->dateField()->clear();
    retype(target, text);
    t.port.clear();
    QTest::mouseClick(p->confirmButton(), Qt::LeftButton);
    QCOMPARE(t.port.lastText(), message);
    QCOMPARE(p->quantityBox()->text(), quantityAfter);
    QCOMPARE(t.stock(id), before);
    QVERIFY(t.sales().isEmpty());
    QVERIFY(p->isVisible());
    QVERIFY(t.host.notices.isEmpty());
}

void TestSalePanel::storedStockDecides()
{
    Till t;
    QVERIFY(t.ready());
    const qint64 id =
        t.shop.addStock(QStringLiteral("羽毛球拍"), {}, QStringLiteral("Y1"), QStringLiteral("拍类"), 50, 5, 80);
    QVERIFY(t.open(id));
    QCOMPARE(t.panel->stockEdit()->text(), QStringLiteral("5"));

    // Meanwhile a second program on the same file sells 4.
    Tdmfm other;
    QString error;
    QVERIFY(other.open(t.shop.dbPath()));
    saleops::SaleInput in;
    in.stockRowId = id;
    in.quantity = QStringLiteral("4");
    in.price = QStringLiteral("80");
    in.saleNumber = QStringLiteral("X1");
    in.saleDate = QStringLiteral("2026-01-05");
    QVERIFY(saleops::recordSale(other, in));

    // The panel still shows 5; the stored 1 decides, and takes the place of the quantity.
    retype(t.panel->quantityBox(), QStringLiteral("3"));
    QTest::mouseClick(t.panel->confirmButton(), Qt::LeftButton);
    QCOMPARE(t.port.texts(), QStringList{QStringLiteral("库存不足")});
    QCOMPARE(t.panel->quantityBox()->text(), QStringLiteral("1"));
    QCOMPARE(t.panel->stockEdit()->text(), QStringLiteral("1"));
    QCOMPARE(t.sales().size(), 1);

    // The second confirm sells the rest, on top of the other program's sale.
    QTest::mouseClick(t.panel->confirmButton(), Qt::LeftButton);
    QCOMPARE(t.port.texts().size(), 1);
    QCOMPARE(t.stock(id), (QVector<QVariant>{5.0, 400.0, 0.0, 0.0}));
    QCOMPARE(t.sales().size(), 2);
}

void TestSalePanel::rowReplacedMeanwhileIsNotSold()
{
    Till t;
    QVERIFY(t.ready());
    const qint64 id =
        t.shop.addStock(QStringLiteral("羽毛球拍"), {}, QStringLiteral("Y1"), QStringLiteral("拍类"), 50, 5, 80);
    QVERIFY(t.open(id));
    // Meanwhile a program on the same file deletes the row and writes another
    // article under its identity, taken in the same day.
    Database other;
    QString error;
    QVERIFY(other.open(t.shop.dbPath(), false, &error));
    QVERIFY(other.exec(Statement{QStringLiteral("delete from data where rowid=?"), {id}}, &error));
    QVERIFY(other.exec(Statement{QStringLiteral("insert into data (rowid, a, c, d, [1], [2], [5], [6], [7], [8], day1) "
                                                "values (?, '足球', 'Z9', '球类', 10, 9, 0, 0, 9, 90, '2026-01-05')"),
                                 {id}},
                       &error));
    const QVector<QVariant> before = t.stock(id);
    QTest::mouseClick(t.panel->confirmButton(), Qt::LeftButton);
    QCOMPARE(t.port.entries.size(), 1);
    QVERIFY2(t.port.lastText().contains(QStringLiteral("销售没有保存")), qPrintable(t.port.lastText()));
    QCOMPARE(t.stock(id), before);
    QVERIFY(t.sales().isEmpty());
    QVERIFY(t.host.notices.isEmpty());

    // The same article of another stock-in day is another batch.
    QVERIFY(t.open(id));
    QVERIFY(other.exec(Statement{QStringLiteral("update data set a='羽毛球拍', c='Y1', [4]=80 where rowid=?"), {id}}, &error));
    QVERIFY(t.open(id));
    QVERIFY(other.exec(Statement{QStringLiteral("update data set day1='2026-02-01' where rowid=?"), {id}}, &error));
    t.port.clear();
    QTest::mouseClick(t.panel->confirmButton(), Qt::LeftButton);
    QVERIFY2(t.port.lastText().contains(QStringLiteral("销售没有保存")), qPrintable(t.port.lastText()));
    QVERIFY(t.sales().isEmpty());
}

void TestSalePanel::saleNumbers()
{
    Till t;
    QVERIFY(t.ready());
    const qint64 id =
        t.shop.addStock(QStringLiteral("跳绳"), {}, QStringLiteral("S1"), QStringLiteral("健身"), 3, 100, 19.9);
    SalePanel* p = t.panel;
    QSignalSpy stepped(p, &SalePanel::numberStepped);
    auto number = [](int sequence) { return today() + QStringLiteral("%1").arg(sequence, 3, 10, QLatin1Char('0')); };
    QVERIFY(t.open(id));
    QCOMPARE(p->saleNumber(), number(1));

    // Two confirmations without "+" share one number; "+" moves on.
    QVERIFY(p->confirm());
    QVERIFY(t.open(id));
    p->quantityBox()->setText(QStringLiteral("2"));
    QVERIFY(p->confirm());
    QTest::mouseClick(p->nextButton(), Qt::LeftButton);
    QCOMPARE(stepped.size(), 1);
    QCOMPARE(p->saleNumber(), number(2));
    QVERIFY(t.open(id));
    QVERIFY(p->confirm());
    QCOMPARE(SettingsStore::read(QString(settingkeys::saleDaySequence)), QStringLiteral("2"));
    const auto rows = t.sales(QStringLiteral("z"));
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.at(0).at(0), rows.at(1).at(0));
    QCOMPARE(rows.at(2).at(0), QVariant(number(2)));

    // "-" goes back on purpose and never below 0; "+" then gives a number
    // nobody has had, not one of the numbers gone back over.
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(p->previousButton(), Qt::LeftButton);
    QCOMPARE(p->saleNumber(), number(0));
    QTest::mouseClick(p->nextButton(), Qt::LeftButton);
    QCOMPARE(p->saleNumber(), number(3));

    // The window shown again (after the backup window, say), a restart or a
    // second program on the file: each goes on after every number taken.
    p->forgetNumber();
    QVERIFY(t.open(id));
    QCOMPARE(p->saleNumber(), number(4));
    {
        SalePanel restarted(t.dm(), t.host, &t.window);
        QVERIFY(restarted.openForRow(t.dm().stock().list(), t.dm().stock().list().rowOf(id)));
        QCOMPARE(restarted.saleNumber(), number(5));
    }
    Tdmfm other;
    QString error;
    QVERIFY(other.open(t.shop.dbPath()));
    SalePanel second(other, t.host, &t.window);
    QVERIFY(second.openForRow(t.dm().stock().list(), t.dm().stock().list().rowOf(id)));
    QCOMPARE(second.saleNumber(), number(6));
    QTest::mouseClick(p->nextButton(), Qt::LeftButton);
    QCOMPARE(p->saleNumber(), number(7));

    // A number typed by hand is used as it is; one of today's form beyond the
    // counter is never offered again, and "+" from 999 gives four digits.
    retype(p->numberEdit(), QStringLiteral("VIP-7"));
    QVERIFY(p->confirm());
    QCOMPARE(t.sales(QStringLiteral("z")).last().at(0), QVariant(QStringLiteral("VIP-7")));
    QVERIFY(t.open(id));
    retype(p->numberEdit(), number(999));
    QVERIFY(p->confirm());
    QTest::mouseClick(p->nextButton(), Qt::LeftButton);
    QCOMPARE(p->saleNumber(), number(1000));

    // A till left open past midnight numbers the next customer on the new day.
    t.clock.setDate(kToday.addDays(1));
    QVERIFY(t.open(id));
    QCOMPARE(p->saleNumber(), kToday.addDays(1).toString(QStringLiteral("yyyyMMdd")) + QStringLiteral("001"));
}

void TestSalePanel::openingStartsClearedAndRefusalsKeepTheEntries()
{
    Till t;
    QVERIFY(t.ready());
    const qint64 ball =
        t.shop.addStock(QStringLiteral("排球"), {}, QStringLiteral("V1"), QStringLiteral("球类"), 30, 10, 60);
    const qint64 owing =
        t.shop.addStock(QStringLiteral("球网"), {}, QStringLiteral("N1"), QStringLiteral("网类"), 20, -2, 50);
    const qint64 none =
        t.shop.addStock(QStringLiteral("球针"), {}, QStringLiteral("P1"), QStringLiteral("配件"), 1, 0, 2);
    SalePanel* p = t.panel;

    // Entries typed for one article, the panel hidden by another window, then
    // another row opened: it starts from the cleared state.
    QVERIFY(t.open(ball));
    retype(p->quantityBox(), QStringLiteral("4"));
    retype(p->owedBox(), QStringLiteral("100"));
    p->hide();
    QVERIFY(t.open(none));
    QCOMPARE(p->quantityBox()->text(), QStringLiteral("1"));
    QCOMPARE(p->owedBox()->text(), QStringLiteral("0"));

    // A saved sale remembers its customer ...
    QVERIFY(t.open(ball));
    p->customerList()->setEditText(QStringLiteral("老王"));
    QVERIFY(p->confirm());
    // ... but a refused confirm keeps the customer the user typed.
    QVERIFY(t.open(ball));
    p->customerList()->setEditText(QStringLiteral("小李"));
    retype(p->quantityBox(), QStringLiteral("0"));
    QVERIFY(!p->confirm());
    QCOMPARE(p->customerName(), QStringLiteral("小李"));

    // Nothing (or less than nothing) on hand: refused, and the quantity stays
    // as typed, so that a second confirm cannot turn into a return.
    for (const qint64 id : {owing, none}) {
        QVERIFY(t.open(id));
        p->customerList()->setEditText(QStringLiteral("小李"));
        t.port.clear();
        for (int attempt = 0; attempt < 2; ++attempt) {
            QVERIFY(!p->confirm());
            QCOMPARE(t.port.lastText(), QStringLiteral("库存不足"));
            QCOMPARE(p->quantityBox()->text(), QStringLiteral("1"));
            QCOMPARE(p->customerName(), QStringLiteral("小李"));
        }
    }
    QCOMPARE(t.sales().size(), 1);
    QCOMPARE(t.stock(owing, QStringLiteral("[7]")), QVector<QVariant>{-2.0});
}

void TestSalePanel::quickSecondPressStaysOnTheTill()
{
    // A window with a button where the confirm button lies: the panel covers it.
    Till t;
    QVERIFY(t.ready());
    const qint64 id =
        t.shop.addStock(QStringLiteral("护膝"), {}, QStringLiteral("K1"), QStringLiteral("护具"), 10, 5, 30);
    SalePanel* p = t.panel;
    p->move(0, 0);
    QVERIFY(t.open(id));
    auto* under = new QPushButton(QStringLiteral("数据备份"), &t.window);
    under->setGeometry(QRect(p->confirmButton()->mapTo(&t.window, QPoint(0, 0)), p->confirmButton()->size()));
    under->show();
    under->lower();
    QSignalSpy backup(under, &QPushButton::clicked);
    const QPoint at = p->confirmButton()->rect().center();
    QTest::mouseClick(p->confirmButton(), Qt::LeftButton, {}, at);
    QVERIFY(!p->isVisible());
    QCOMPARE(t.sales().size(), 1);
    // The second press of a double press goes nowhere ...
    QTest::mouseClick(under, Qt::LeftButton, {}, under->rect().center());
    QCOMPARE(backup.size(), 0);
    // ... a press a moment later is the user's own.
    QTest::qWait(QApplication::doubleClickInterval() + 400);
    QTest::mouseClick(under, Qt::LeftButton, {}, under->rect().center());
    QCOMPARE(backup.size(), 1);
}

void TestSalePanel::customers()
{
    Till t;
    QVERIFY(t.ready());
    const qint64 id =
        t.shop.addStock(QStringLiteral("足球"), {}, QStringLiteral("F1"), QStringLiteral("球类"), 60, 20, 99);
    SalePanel* p = t.panel;
    QVERIFY(t.open(id));
    const QString longName = QString(10000, QChar(u'名'));
    const QString quoted = QStringLiteral("O'Neil \"老王\"");

    // A customer with quotes: typed, stored intact, found again by name.
    p->customerList()->setFocus();
    typeText(focused(), quoted);
    p->addressEdit()->setText(QStringLiteral("北街1号"));
    p->contactEdit()->setText(QStringLiteral("139"));
    p->remarkEdit()->setText(QStringLiteral("会员"));
    QVERIFY(p->confirm());
    QVERIFY2(t.port.entries.isEmpty(), qPrintable(t.port.texts().join(u'|')));
    QCOMPARE(t.sales(QStringLiteral("g,h,i,j")).at(0),
             (QVector<QVariant>{quoted, QStringLiteral("北街1号"), QStringLiteral("139"), QStringLiteral("会员")}));
    // The customer just used stays in the name; the list offers it.
    QCOMPARE(p->customerName(), quoted);
    QVERIFY(p->customerList()->findText(quoted) >= 0);

    // The next article under the same number: the name is emptied, the rest stays.
    QVERIFY(t.open(id));
    QCOMPARE(p->customerName(), QString());
    QCOMPARE(p->addressEdit()->text(), QStringLiteral("北街1号"));
    // Picking the name again looks address and contact up.
    p->addressEdit()->clear();
    p->contactEdit()->clear();
    p->customerList()->setCurrentIndex(p->customerList()->findText(quoted));
    QCOMPARE(p->addressEdit()->text(), QStringLiteral("北街1号"));
    QCOMPARE(p->contactEdit()->text(), QStringLiteral("139"));
    // Leaving an empty name clears address and contact.
    p->customerList()->setFocus();
    p->customerList()->setEditText(QString());
    QTest::mouseClick(p->remarkEdit(), Qt::LeftButton);
    QCOMPARE(p->addressEdit()->text(), QString());
    QCOMPARE(p->contactEdit()->text(), QString());

    // A very long name is stored whole.
    p->customerList()->setEditText(longName);
    QVERIFY(p->confirm());
    QCOMPARE(t.sales(QStringLiteral("g")).last().at(0), QVariant(longName));

    // A number with rows fills the four customer fields from its first row; a new number clears them.
    QVERIFY(t.open(id));
    QTest::mouseClick(p->nextButton(), Qt::LeftButton);
    QCOMPARE(p->addressEdit()->text(), QString());
    QCOMPARE(p->remarkEdit()->text(), QString());
    QTest::mouseClick(p->previousButton(), Qt::LeftButton);
    QCOMPARE(p->customerName(), quoted);
    QCOMPARE(p->addressEdit()->text(), QStringLiteral("北街1号"));
    QCOMPARE(p->contactEdit()->text(), QStringLiteral("139"));
    QCOMPARE(p->remarkEdit()->text(), QStringLiteral("会员"));
}

// The sale table is read in the background after the login: the panel sells
// at once, without waiting for it, and its customer list fills once it is in.
void TestSalePanel::sellsWhileTheSalesAreRead()
{
    Till t;
    QVERIFY(t.ready());
    const qint64 id =
        t.shop.addStock(QStringLiteral("足球"), {}, QStringLiteral("F1"), QStringLiteral("球类"), 60, 20, 99);
    QString error;
    QVERIFY2(t.dm().db().exec(QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n "
                                             "where i < %1) insert into data1 (g, z) select '客' || (i % 5), "
                                             "'2026031400' || (i % 9) from n")
                                  .arg(3 * MemTable::loadProgressStep()),
                              &error),
             qPrintable(error));
    // The read stops half-way until the sale is made.
    std::atomic<bool> reading{false};
    QSemaphore go;
    t.dm().sales().loader().setWorkerStep([&](qint64 read) {
        if (read == MemTable::loadProgressStep() && !reading.exchange(true))
            go.tryAcquire(1, 20000);
    });
    const auto release = qScopeGuard([&] { go.release(); });
    t.dm().loadSalesInBackground();
    QTRY_VERIFY(reading.load());

    SalePanel* p = t.panel;
    QVERIFY(t.open(id));
    QCOMPARE(p->customerList()->count(), 0);
    p->customerList()->setFocus();
    typeText(focused(), QStringLiteral("新客"));
    p->addressEdit()->setFocus();
    typeText(focused(), QStringLiteral("河西路1号"));
    QVERIFY(p->confirm());
    QVERIFY2(t.port.entries.isEmpty(), qPrintable(t.port.texts().join(u'|')));
    QCOMPARE(t.sales(QStringLiteral("g")).last().at(0).toString(), QStringLiteral("新客"));
    // Nothing waited for the read.
    QVERIFY(t.dm().sales().isWaitingForLoad());

    // A name typed meanwhile is looked up once the sales are in (the panel
    // keeps the last customer: the fields are emptied first).
    QVERIFY(t.open(id));
    QCOMPARE(p->customerList()->count(), 0);
    p->customerList()->setEditText(QString());
    p->addressEdit()->clear();
    p->customerList()->setFocus();
    typeText(focused(), QStringLiteral("新客"));
    QVERIFY(p->addressEdit()->text().isEmpty());
    go.release();
    QTRY_COMPARE(p->customerList()->count(), 6);
    QCOMPARE(p->customerList()->itemText(5), QStringLiteral("新客"));
    QCOMPARE(p->customerName(), QStringLiteral("新客"));
    QCOMPARE(p->addressEdit()->text(), QStringLiteral("河西路1号"));
}

void TestSalePanel::enterAndTabOrder()
{
    Till t;
    QVERIFY(t.ready());
    const qint64 id =
        t.shop.addStock(QStringLiteral("哑铃"), {}, QStringLiteral("D1"), QStringLiteral("健身"), 30, 4, 45);
    SalePanel* p = t.panel;
    QVERIFY(t.open(id));
    const QList<QWidget*> order{p->priceBox(),    p->discountBox(), p->quantityBox(),  p->owedBox(),
                                p->dateField(),   p->numberEdit(),  p->customerList(), p->addressEdit(),
                                p->contactEdit(), p->remarkEdit()};
    for (QWidget* w : order) {
        QVERIFY2(w->hasFocus() || w->isAncestorOf(focused()), qPrintable(w->objectName()));
        enter();
    }
    // Enter in the remark stays there; Tab goes on to the buttons.
    QVERIFY(p->remarkEdit()->hasFocus());
    for (QPushButton* b : {p->nextButton(), p->returnButton(), p->previousButton(), p->previewButton()}) {
        QTest::keyClick(focused(), Qt::Key_Tab);
        QVERIFY2(b->hasFocus(), qPrintable(b->objectName()));
    }
    // Keys other than digits and "." do not reach the number fields.
    retype(p->priceBox(), QStringLiteral("1a-2,.5"));
    QCOMPARE(p->priceBox()->text(), QStringLiteral("12.5"));
}

void TestSalePanel::closeAndReturnToggle()
{
    Till t;
    QVERIFY(t.ready());
    const qint64 id = t.shop.addStock(QStringLiteral("护腕"), {}, QStringLiteral("H1"), QStringLiteral("护具"), 5, 10,
                                      9, QStringLiteral("2026-01-05"), {}, QStringLiteral("特价"));
    SalePanel* p = t.panel;
    QVERIFY(t.open(id));
    QCOMPARE(t.host.opened, QStringList{QStringLiteral("特价")});
    p->quantityBox()->setText(QStringLiteral("2"));
    QTest::mouseClick(p->returnButton(), Qt::LeftButton);
    QCOMPARE(p->quantityBox()->text(), QStringLiteral("-2"));
    QTest::mouseClick(p->returnButton(), Qt::LeftButton);
    QCOMPARE(p->quantityBox()->text(), QStringLiteral("2"));
    p->quantityBox()->setText(QStringLiteral("1.5"));
    QTest::mouseClick(p->returnButton(), Qt::LeftButton);
    QCOMPARE(t.port.lastText(), QStringLiteral("'1.5' is not a valid integer value"));
    QCOMPARE(p->quantityBox()->text(), QStringLiteral("1.5"));

    QTest::mouseClick(p->closeButton(), Qt::LeftButton);
    QVERIFY(!p->isVisible());
    QCOMPARE(t.host.closed, 1);
    QCOMPARE(p->quantityBox()->text(), QStringLiteral("1"));
    QVERIFY(t.sales().isEmpty());
}

void TestSalePanel::mainWindowSellsOnDoubleClick()
{
    wallclock::FixedClock clock{QDateTime(kToday, QTime(10, 0))};
    TestShop shop;
    RecordingPort port;
    QVERIFY(shop.dm().appendRow(QStringLiteral("userdb"),
                                {{QStringLiteral("username"), QStringLiteral("店员")},
                                 {QStringLiteral("passwd"), hashPassword(QStringLiteral("a1"))}}));
    const qint64 ball =
        shop.addStock(QStringLiteral("篮球"), QString(), QStringLiteral("1"), QStringLiteral("球类"), 50, 10, 90);
    const qint64 other =
        shop.addStock(QStringLiteral("足球"), QString(), QStringLiteral("2"), QStringLiteral("球类"), 40, 5, 80);
    {
        TMainForm main(shop.dm());
        QVERIFY(logIn(main, QStringLiteral("店员"), QStringLiteral("A1")));
        // The grid's cells and totals, as the window shows them.
        DataGridModel* columns = main.grid()->model();
        QAbstractItemModel* model = main.grid()->view()->model();
        auto cell = [&](qint64 id, const char* field) {
            const int row = shop.dm().stock().list().rowOf(id);
            return model->index(row, columns->columnOf(QLatin1String(field))).data().toString();
        };
        auto totals = [&] {
            return QStringList{main.grid()->footerText(stockcol::soldQuantity),
                               main.grid()->footerText(stockcol::salesAmount),
                               main.grid()->footerText(stockcol::stockQuantity)};
        };
        QCOMPARE(cell(ball, "7"), QStringLiteral("10"));
        QCOMPARE(totals(), (QStringList{QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("15")}));
        doubleClickRow(main, shop.dm().stock().list().rowOf(ball));
        SalePanel* p = main.salePanel();
        QVERIFY(p->isVisible());
        QCOMPARE(p->nameEdit()->text(), QStringLiteral("篮球"));
        // Only the super administrator may change the sale date.
        QVERIFY(p->dateField()->lineEdit()->isReadOnly());
        QVERIFY(main.stockInPanel()->changeButton()->isEnabled());
        QTest::mouseClick(p->confirmButton(), Qt::LeftButton);
        QVERIFY2(port.entries.isEmpty(), qPrintable(port.texts().join(u'|')));
        QCOMPARE(main.noticePanel()->text(), QStringLiteral("销售数据保存成功..."));
        // The sold row and the totals under the grid show the stored figures.
        QCOMPARE(cell(ball, "5"), QStringLiteral("1"));
        QCOMPARE(cell(ball, "6"), QStringLiteral("90"));
        QCOMPARE(cell(ball, "7"), QStringLiteral("9"));
        QCOMPARE(cell(other, "7"), QStringLiteral("5"));
        QCOMPARE(totals(), (QStringList{QStringLiteral("1"), QStringLiteral("90"), QStringLiteral("14")}));
        QTest::mouseClick(p->nextButton(), Qt::LeftButton);
        doubleClickRow(main, 0);
        QVERIFY(p->confirm());
        QCOMPARE(totals()[2], QStringLiteral("13"));
        QCOMPARE(p->saleNumber(), today() + QStringLiteral("002"));
        main.close();
    }
    // A restart on the same day goes on after the stored sequence.
    TMainForm again(shop.dm());
    QVERIFY(logIn(again, QStringLiteral("超级管理员"), QStringLiteral("864")));
    doubleClickRow(again, 0);
    QVERIFY(!again.salePanel()->dateField()->lineEdit()->isReadOnly());
    QCOMPARE(again.salePanel()->saleNumber(), today() + QStringLiteral("003"));
}

void TestSalePanel::tillOpenPastMidnight()
{
    wallclock::FixedClock clock{QDateTime(kToday, QTime(23, 59, 59))};
    TestShop shop;
    RecordingPort port;
    shop.addStock(QStringLiteral("篮球"), QString(), QStringLiteral("1"), QStringLiteral("球类"), 50, 10, 90);
    const QDate tomorrow = kToday.addDays(1);
    auto lastSale = [&] {
        QueryResult r;
        QString error;
        shop.dm().db().query(Statement{QStringLiteral("select day1,z from data1 order by id desc limit 1"), {}}, &r,
                             &error);
        return r.rows.value(0);
    };
    {
        TMainForm main(shop.dm());
        QVERIFY(logIn(main, QStringLiteral("超级管理员"), QStringLiteral("864")));
        SalePanel* p = main.salePanel();
        doubleClickRow(main, 0);
        QVERIFY(p->confirm());
        QCOMPARE(lastSale(), (QVector<QVariant>{num::dateText(kToday), today() + QStringLiteral("001")}));

        // Midnight passes with the window open: the next sale is dated and numbered on the new day.
        clock.setDate(tomorrow);
        QTRY_COMPARE(p->dateField()->text(), num::dateText(tomorrow));
        doubleClickRow(main, 0);
        QVERIFY(p->confirm());
        QCOMPARE(lastSale(), (QVector<QVariant>{num::dateText(tomorrow),
                                                tomorrow.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral("001")}));

        // A date the super administrator typed on purpose stays past midnight.
        p->dateField()->setDate(QDate(2026, 3, 1));
        clock.setDate(tomorrow.addDays(1));
        QTest::qWait(700);
        QCOMPARE(p->dateField()->text(), QStringLiteral("2026-03-01"));
        main.close();
    }
    QVERIFY2(port.entries.isEmpty(), qPrintable(port.texts().join(u'|')));
}

QTEST_MAIN(TestSalePanel)
#include "tst_salepanel.moc"
