#include "fakehosts.h"
#include "keys.h"
#include "recordingport.h"
#include "testdb.h"

#include "stock/stockinpanel.h"
#include "store/db/columns.h"
#include "store/ops/tdmfm.h"
#include "ui/datefield.h"
#include "ui/numberbox.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <functional>

namespace {

// A shop with the panel floating over a shown, active window.
struct Shop
{
    TestShop shop;
    RecordingPort port;
    FakeStockHost main{shop.dm()};
    QWidget window;
    StockInPanel* panel = nullptr;

    Shop()
    {
        window.resize(900, 600);
        panel = new StockInPanel(shop.dm(), main, &window);
        main.refillLists = [this] { panel->refillLists(); };
        window.show();
        window.activateWindow();
    }
    bool ready() { return shop.isValid() && QTest::qWaitForWindowActive(&window); }
    Tdmfm& dm() { return shop.dm(); }

    // Every stored stock row, oldest first.
    RowSet& rows()
    {
        (void)dm().OpenQuery(scratchRows(), Statement{QStringLiteral("select * from data order by rowid"), {}});
        return scratchRows();
    }
    void execute(const QString& sql) { (void)dm().ExecStatement(scratchRows(), Statement{sql, {}}); }
    // Loads the stock list the way the grid shows it, with the last row current.
    void reload() { main.reloadStockList(); }
};

QWidget* focused()
{
    return QApplication::focusWidget();
}

void enter()
{
    QTest::keyClick(focused(), Qt::Key_Return);
}

// The field's text replaced by typing.
void retype(QWidget* field, const QString& text)
{
    // Coming in with Tab selects the whole text.
    field->clearFocus();
    field->setFocus(Qt::TabFocusReason);
    QTest::keyClick(focused(), Qt::Key_Backspace);
    typeText(focused(), text);
}

bool hasFocus(QWidget* w)
{
    return w->hasFocus();
}

// Fills the panel with a valid new article without going through the keyboard.
void fillValid(StockInPanel* p)
{
    p->nameList()->setEditText(QStringLiteral("羽毛球"));
    p->codeList()->setEditText(QStringLiteral("Y01"));
    p->categoryList()->setEditText(QStringLiteral("球类"));
    p->purchasePriceBox()->setText(QStringLiteral("2"));
    p->quantityBox()->setText(QStringLiteral("3"));
    p->salePriceBox()->setText(QStringLiteral("5"));
    p->dateField()->setText(QStringLiteral("2026-02-01"));
}

QString invalid(const QString& text)
{
    return QStringLiteral("'%1' is not a valid floating point value").arg(text);
}

QString outOfRange(const QString& field, const QString& text)
{
    return QStringLiteral("%1的数值“%2”超出允许范围：应为 0 至 999999999999999 之间、最多15位有效数字的数。")
        .arg(field, text);
}

} // namespace

class TestStockIn : public QObject
{
    Q_OBJECT

private slots:
    void dateFieldTextForms();
    void newArticleTypedWithEnter_data();
    void newArticleTypedWithEnter();
    void tabFollowsTheEnterOrder();
    void requiredFieldsInOrder();
    void badTextWritesNothing_data();
    void badTextWritesNothing();
    void changeRecomputesFromSoldQuantity_data();
    void changeRecomputesFromSoldQuantity();
    void refusedChangeWritesNothing_data();
    void refusedChangeWritesNothing();
    void changeWithoutStartedRowWritesNothing();
    void rowClickCopiesArticle();
    void deleteCurrentRow();
    void dragMovesWithinParent();
};

void TestStockIn::dateFieldTextForms()
{
    QWidget window;
    auto* field = new DateField(&window);
    field->resize(120, 24);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QVERIFY(field->isEmpty());
    QCOMPARE(field->text(), QString());
    QCOMPARE(field->lineEdit()->displayText(), QStringLiteral("    -  -  "));
    QVERIFY(!field->date());

    field->setDate(QDate(2026, 3, 9));
    QCOMPARE(field->text(), QStringLiteral("2026-03-09"));
    QCOMPARE(field->date(), QDate(2026, 3, 9));
    // Entered from the keyboard, typing replaces the whole date.
    field->clearFocus();
    field->setFocus(Qt::TabFocusReason);
    typeText(focused(), QStringLiteral("20251231"));
    QCOMPARE(field->date(), QDate(2025, 12, 31));

    // Clicked into when empty, typing starts at the first digit; partly typed
    // is shown as it is and is no date.
    field->clear();
    QVERIFY(field->isEmpty());
    QTest::mouseClick(field->lineEdit(), Qt::LeftButton, {}, QPoint(field->width() - 4, 12));
    typeText(focused(), QStringLiteral("202601"));
    QVERIFY(!field->isEmpty());
    QCOMPARE(field->text(), QStringLiteral("2026-01-  "));
    QVERIFY(!field->date());

    QSignalSpy changes(field, &DateField::textChanged);
    field->setText(QStringLiteral("2026-02-30"));
    QCOMPARE(field->text(), QStringLiteral("2026-02-30"));
    QVERIFY(!field->date());
    field->setText(QString());
    QVERIFY(field->isEmpty());
    QCOMPARE(changes.size(), 2);
    QCOMPARE(changes.at(1).at(0).toString(), QString());
}

void TestStockIn::newArticleTypedWithEnter_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("storedName");
    QTest::addColumn<QString>("storedModel");
    QTest::addColumn<QString>("nameInitials");
    QTest::addColumn<QString>("specInitials");
    QTest::newRow("chinese, blank model") << "乒乓球拍"
                                          << ""
                                          << "乒乓球拍"
                                          << ""
                                          << "ppqp"
                                          << "";
    QTest::newRow("trimmed") << "  李宁 "
                             << " T恤  "
                             << "李宁"
                             << "T恤"
                             << "ln"
                             << "Tx";
    // The apostrophe is no letter or listed sign: it and the letter after it make one "!".
    QTest::newRow("apostrophe") << "O'Neil"
                                << "Nike 2013"
                                << "O'Neil"
                                << "Nike 2013"
                                << "O!eil"
                                << "Nike!013";
}

void TestStockIn::newArticleTypedWithEnter()
{
    QFETCH(QString, name);
    QFETCH(QString, model);
    Shop s;
    QVERIFY(s.ready());
    StockInPanel* p = s.panel;
    p->openForNew();
    QVERIFY(p->isVisible());
    QVERIFY(p->newButton()->isVisible());
    QVERIFY(!p->changeButton()->isVisible());

    p->nameList()->setFocus();
    struct Step
    {
        QString text;
        QWidget* next;
    };
    const Step steps[] = {
        {name, p->modelList()},
        {model, p->codeList()},
        {QStringLiteral("6901"), p->categoryList()},
        {QStringLiteral(" 球拍"), p->dateField()},
        {QStringLiteral("20260105"), p->purchasePriceBox()},
        {QStringLiteral("12.5"), p->quantityBox()},
        {QStringLiteral("4"), p->salePriceBox()},
        {QStringLiteral("20"), p->supplierList()},
        {QStringLiteral("O'Brien 体育 "), p->remarkEdit()},
        {QStringLiteral(" 新到 "), p->newButton()},
    };
    for (const Step& step : steps) {
        typeText(focused(), step.text);
        enter();
        QVERIFY2(hasFocus(step.next), qPrintable(step.next->objectName()));
    }
    QVERIFY(s.port.entries.isEmpty());
    enter(); // presses 新建入库

    QCOMPARE(s.port.texts(), QStringList());
    RowSet& rows = s.rows();
    QCOMPARE(rows.rowCount(), 1);
    auto stored = [&](const char* field) { return rows.value(0, QLatin1String(field)); };
    QTEST(stored("a").toString(), "storedName");
    QTEST(stored("b").toString(), "storedModel");
    QTEST(stored("e").toString(), "nameInitials");
    QTEST(stored("f").toString(), "specInitials");
    QCOMPARE(stored("c").toString(), QStringLiteral("6901"));
    QCOMPARE(stored("d").toString(), QStringLiteral("球拍"));
    QCOMPARE(stored("g").toString(), QStringLiteral("O'Brien 体育"));
    QCOMPARE(stored("z").toString(), QStringLiteral("新到"));
    QCOMPARE(stored("day1").toString(), QStringLiteral("2026-01-05"));
    const double expected[] = {12.5, 4, 50, 20, 0, 0, 4, 50}; // `1` .. `8`
    for (int column = 1; column <= 8; ++column) {
        const QVariant v = rows.value(0, QString::number(column));
        QCOMPARE(v.typeId(), QMetaType::Double);
        QCOMPARE(v.toDouble(), expected[column - 1]);
    }

    QCOMPARE(s.main.notices, QStringList{QStringLiteral("数据入库成功...")});
    QCOMPARE(s.main.reloads, 1);
    QVERIFY(p->isVisible());
    QVERIFY(!p->changeButton()->isEnabled());
    for (QComboBox* list : {p->nameList(), p->modelList(), p->codeList(), p->categoryList(), p->supplierList()})
        QCOMPARE(list->currentText(), QString());
    for (NumberBox* box : {p->purchasePriceBox(), p->quantityBox(), p->salePriceBox()})
        QCOMPARE(box->text(), QString());
    QCOMPARE(p->remarkEdit()->text(), QString());
    QTEST(p->nameList()->itemText(p->nameList()->count() - 1), "storedName");
    QVERIFY(p->categoryList()->findText(QStringLiteral("球拍")) >= 0);
    QVERIFY(p->supplierList()->findText(QStringLiteral("O'Brien 体育")) >= 0);
    QCOMPARE(s.dm().stock().list().current(), s.dm().stock().list().rowCount() - 1);
}

void TestStockIn::tabFollowsTheEnterOrder()
{
    Shop s;
    QVERIFY(s.ready());
    StockInPanel* p = s.panel;
    p->openForNew();
    p->nameList()->setFocus();
    const QList<QWidget*> order{p->modelList(),        p->codeList(),    p->categoryList(), p->dateField(),
                                p->purchasePriceBox(), p->quantityBox(), p->salePriceBox(), p->supplierList(),
                                p->remarkEdit(),       p->newButton()};
    for (QWidget* next : order) {
        QTest::keyClick(focused(), Qt::Key_Tab);
        QVERIFY2(hasFocus(next), qPrintable(next->objectName()));
    }
    // Open for a change, Enter in the remark goes to the button that is shown.
    s.shop.addStock(QStringLiteral("网球"), QString(), QStringLiteral("W1"), QStringLiteral("球类"), 3, 5, 6);
    s.reload();
    QVERIFY(p->openForChange());
    p->remarkEdit()->setFocus();
    enter();
    QVERIFY(p->changeButton()->hasFocus());
    // With it disabled (another grid line was clicked) the focus stays.
    p->setChangeEnabled(false);
    p->remarkEdit()->setFocus();
    enter();
    QVERIFY(p->remarkEdit()->hasFocus());
    QVERIFY(s.port.entries.isEmpty());
}

void TestStockIn::requiredFieldsInOrder()
{
    Shop s;
    QVERIFY(s.ready());
    StockInPanel* p = s.panel;
    p->openForNew();
    p->dateField()->clear();
    struct Check
    {
        QWidget* field;
        QString message;
        std::function<void()> fill;
    };
    const Check checks[] = {
        {p->nameList(), QStringLiteral("商品名称必须输入！"),
         [&] { p->nameList()->setEditText(QStringLiteral("球网")); }},
        {p->codeList(), QStringLiteral("商品编码必须输入！"),
         [&] { p->codeList()->setEditText(QStringLiteral("N1")); }},
        {p->categoryList(), QStringLiteral("商品类别必须输入！"),
         [&] { p->categoryList()->setEditText(QStringLiteral("配件")); }},
        {p->purchasePriceBox(), QStringLiteral("进货单价必须输入！"),
         [&] { p->purchasePriceBox()->setText(QStringLiteral("8")); }},
        {p->quantityBox(), QStringLiteral("进货数量必须输入！"),
         [&] { p->quantityBox()->setText(QStringLiteral("2")); }},
        {p->salePriceBox(), QStringLiteral("销售单价必须输入！"),
         [&] { p->salePriceBox()->setText(QStringLiteral("12")); }},
    };
    // A name of blanks only is no name.
    p->nameList()->setEditText(QStringLiteral("   "));
    for (const Check& check : checks) {
        p->remarkEdit()->setFocus();
        s.port.clear();
        p->newButton()->click();
        QCOMPARE(s.port.entries.size(), 1);
        QCOMPARE(s.port.entries.at(0).kind, QStringLiteral("warning"));
        QCOMPARE(s.port.entries.at(0).title, QStringLiteral("Warning"));
        QCOMPARE(s.port.entries.at(0).text, check.message);
        QVERIFY2(check.field->hasFocus(), qPrintable(check.message));
        check.fill();
    }
    // The model and the supplier may stay blank; the date may not.
    s.port.clear();
    p->newButton()->click();
    QCOMPARE(s.port.entries.size(), 1);
    QCOMPARE(s.port.entries.at(0).kind, QStringLiteral("inform"));
    QCOMPARE(s.port.entries.at(0).text, QStringLiteral("入库日期必须输入"));
    QCOMPARE(s.rows().rowCount(), 0);
    QCOMPARE(s.main.reloads, 0);

    p->dateField()->setText(QStringLiteral("2026-04-01"));
    s.port.clear();
    p->newButton()->click();
    QCOMPARE(s.port.texts(), QStringList());
    QCOMPARE(s.rows().rowCount(), 1);
    QCOMPARE(s.rows().value(0, stockcol::model).toString(), QString());
    QCOMPARE(s.rows().value(0, stockcol::supplier).toString(), QString());
}

void TestStockIn::badTextWritesNothing_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("how"); // "typed", "pasted" or "set" (a date set as text)
    QTest::addColumn<bool>("atOnce"); // the recomputation already reports it
    QTest::addColumn<QString>("message");
    QTest::newRow("pasted price") << "purchasePriceBox"
                                  << "1.2.3"
                                  << "pasted" << true << invalid(QStringLiteral("1.2.3"));
    QTest::newRow("lone point quantity") << "quantityBox"
                                         << "."
                                         << "typed" << true << invalid(QStringLiteral("."));
    QTest::newRow("pasted sale price") << "salePriceBox"
                                       << "1.2.3"
                                       << "pasted" << true << invalid(QStringLiteral("1.2.3"));
    QTest::newRow("17 digits") << "quantityBox"
                               << "12345678901234567"
                               << "pasted" << false
                               << outOfRange(QStringLiteral("数量"), QStringLiteral("12345678901234567"));
    QTest::newRow("400 digits") << "purchasePriceBox" << QString(QLatin1Char('9')).repeated(400) << "pasted" << false
                                << outOfRange(QStringLiteral("进货单价"), QString(QLatin1Char('9')).repeated(400));
    QTest::newRow("16 significant digits")
        << "salePriceBox"
        << "1234567890.123456"
        << "typed" << false << outOfRange(QStringLiteral("销售单价"), QStringLiteral("1234567890.123456"));
    // 15 digits each, but their product is beyond what the amount forms show.
    QTest::newRow("product too large") << "quantityBox"
                                       << "999999999999999"
                                       << "typed" << false
                                       << QStringLiteral(
                                              "进货金额的计算结果“2E15”超出允许范围：不能达到 1000000000000000。");
    QTest::newRow("impossible date") << "dateField"
                                     << "2026-13-45"
                                     << "set" << false << "'2026-13-45' is not a valid date";
    QTest::newRow("half date") << "dateField"
                               << "2026-01"
                               << "set" << false << "'2026-01-  ' is not a valid date";
}

void TestStockIn::badTextWritesNothing()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, how);
    QFETCH(bool, atOnce);
    QFETCH(QString, message);
    Shop s;
    QVERIFY(s.ready());
    StockInPanel* p = s.panel;
    p->openForNew();
    fillValid(p);
    const StockInPanel::HeldAmounts before = p->heldAmounts();
    QCOMPARE(before.purchaseAmount, QStringLiteral("6"));

    auto* target = p->findChild<QWidget*>(field);
    QVERIFY(target);
    if (how == QLatin1String("typed")) {
        retype(target, text);
    } else if (how == QLatin1String("pasted")) {
        auto* edit = target->findChild<QLineEdit*>();
        QVERIFY(edit);
        edit->selectAll();
        QGuiApplication::clipboard()->setText(text);
        edit->paste();
    } else {
        p->dateField()->setText(text);
    }
    if (atOnce) {
        // Converting the new text for the held amounts fails at once; the amounts stay.
        QCOMPARE(s.port.texts(), QStringList{message});
        QCOMPARE(p->heldAmounts().purchaseAmount, before.purchaseAmount);
        QCOMPARE(p->heldAmounts().stockAmount, before.stockAmount);
        QCOMPARE(p->heldAmounts().salesAmount, before.salesAmount);
    } else {
        QCOMPARE(s.port.texts(), QStringList());
    }
    if (how != QLatin1String("set"))
        QCOMPARE(target->property("text").toString(), text);
    s.port.clear();
    p->newButton()->click();
    QCOMPARE(s.port.texts(), QStringList{message});
    QCOMPARE(s.port.entries.at(0).kind, QStringLiteral("error"));
    QCOMPARE(s.rows().rowCount(), 0);
    QVERIFY(s.main.notices.isEmpty());
}

void TestStockIn::changeRecomputesFromSoldQuantity_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<double>>("expected"); // `1` .. `8` after the change
    // Stored: cost 2.5, 10 taken in, sale price 4, 3 sold for 12.
    QTest::newRow("quantity") << "quantityBox"
                              << "12" << QList<double>{2.5, 12, 30, 4, 3, 12, 9, 22.5};
    QTest::newRow("sale price") << "salePriceBox"
                                << "5" << QList<double>{2.5, 10, 25, 5, 3, 15, 7, 17.5};
    QTest::newRow("purchase price") << "purchasePriceBox"
                                    << "0.1" << QList<double>{0.1, 10, 1, 4, 3, 12, 7, 0.7};
    QTest::newRow("remark only") << "remarkEdit"
                                 << "换货" << QList<double>{2.5, 10, 25, 4, 3, 12, 7, 17.5};
}

void TestStockIn::changeRecomputesFromSoldQuantity()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QList<double>, expected);
    Shop s;
    QVERIFY(s.ready());
    StockInPanel* p = s.panel;
    s.shop.addStock(QStringLiteral("旧货"), QString(), QStringLiteral("J0"), QStringLiteral("杂项"), 1, 1, 1,
                    QStringLiteral("2025-12-01"));
    s.shop.addStock(QStringLiteral("乒乓球拍"), QStringLiteral("红双喜"), QStringLiteral("P1"), QStringLiteral("球拍"),
                    2.5, 10, 4, QStringLiteral("2026-01-05"), QStringLiteral("体育用品厂"), QStringLiteral("样品"));
    s.execute(QStringLiteral("update data set [5]=3, [6]=12, [7]=7, [8]=17.5 where a='乒乓球拍'"));
    s.reload();
    p->setChangeEnabled(false);

    QVERIFY(p->openForChange());
    QVERIFY(p->isVisible());
    QVERIFY(!p->newButton()->isVisible());
    QVERIFY(p->changeButton()->isVisible() && p->changeButton()->isEnabled());
    QCOMPARE(p->nameList()->currentText(), QStringLiteral("乒乓球拍"));
    QCOMPARE(p->modelList()->currentText(), QStringLiteral("红双喜"));
    QCOMPARE(p->supplierList()->currentText(), QStringLiteral("体育用品厂"));
    QCOMPARE(p->remarkEdit()->text(), QStringLiteral("样品"));
    QCOMPARE(p->dateField()->text(), QStringLiteral("2026-01-05"));
    QCOMPARE(p->purchasePriceBox()->text(), QStringLiteral("2.5"));
    QCOMPARE(p->quantityBox()->text(), QStringLiteral("10"));
    // After the filling the held amounts are the stored ones.
    const StockInPanel::HeldAmounts held = p->heldAmounts();
    QCOMPARE(
        QStringList({held.purchaseAmount, held.soldQuantity, held.salesAmount, held.stockQuantity, held.stockAmount}),
        QStringList({QStringLiteral("25"), QStringLiteral("3"), QStringLiteral("12"), QStringLiteral("7"),
                     QStringLiteral("17.5")}));

    retype(p->findChild<QWidget*>(field), text);
    if (field == QLatin1String("quantityBox"))
        QCOMPARE(p->heldAmounts().stockQuantity, text); // until the save recomputes it

    // Enter walks to the button that is shown and presses it.
    s.port.answers << MessagePort::Answer::Ok;
    p->remarkEdit()->setFocus();
    enter();
    enter();
    QCOMPARE(s.port.texts(), QStringList{QStringLiteral("你确实要修改选中资料吗？")});
    QCOMPARE(s.port.entries.at(0).title, QStringLiteral("警告！"));

    RowSet& rows = s.rows();
    QCOMPARE(rows.rowCount(), 2);
    for (int column = 1; column <= 8; ++column)
        QCOMPARE(rows.value(1, QString::number(column)).toDouble(), expected.at(column - 1));
    QCOMPARE(rows.value(1, stockcol::nameInitials).toString(), QStringLiteral("ppqp"));
    QCOMPARE(rows.value(1, stockcol::modelInitials).toString(), QStringLiteral("hsx"));
    QCOMPARE(rows.value(1, stockcol::stockInDate).toString(), QStringLiteral("2026-01-05"));
    QCOMPARE(rows.value(0, stockcol::name).toString(), QStringLiteral("旧货"));
    QCOMPARE(rows.value(0, stockcol::purchaseAmount).toDouble(), 1.0);

    QCOMPARE(s.main.reloads, 2);
    QCOMPARE(s.main.notices, QStringList{QStringLiteral("修改数据成功...")});
    QVERIFY(!p->isVisible());
    QVERIFY(!p->changeButton()->isEnabled());
    QCOMPARE(p->quantityBox()->text(), QString());
    QCOMPARE(p->remarkEdit()->text(), QString());
}

void TestStockIn::refusedChangeWritesNothing_data()
{
    QTest::addColumn<bool>("soldIsEmpty");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("cancelled") << false << int(MessagePort::Answer::Cancel)
                               << QStringList{QStringLiteral("你确实要修改选中资料吗？")};
    // An imported row can lack its sold quantity: the save's recomputation cannot convert it.
    QTest::newRow("sold quantity empty") << true << int(MessagePort::Answer::Ok) << QStringList{invalid(QString())};
}

void TestStockIn::refusedChangeWritesNothing()
{
    QFETCH(bool, soldIsEmpty);
    QFETCH(int, answer);
    QFETCH(QStringList, messages);
    Shop s;
    QVERIFY(s.ready());
    StockInPanel* p = s.panel;
    s.shop.addStock(QStringLiteral("篮球"), QStringLiteral("7号"), QStringLiteral("L7"), QStringLiteral("球类"), 50, 4,
                    80);
    if (soldIsEmpty)
        s.execute(QStringLiteral("update data set [5]=NULL"));
    s.reload();
    QVERIFY(p->openForChange());
    QCOMPARE(p->heldAmounts().soldQuantity, soldIsEmpty ? QString() : QStringLiteral("0"));
    p->quantityBox()->setText(QStringLiteral("9"));
    s.port.clear();
    s.port.answers << MessagePort::Answer(answer);
    p->changeButton()->click();
    QCOMPARE(s.port.texts(), messages);

    RowSet& rows = s.rows();
    QCOMPARE(rows.value(0, stockcol::quantityIn).toDouble(), 4.0);
    QCOMPARE(rows.value(0, stockcol::stockQuantity).toDouble(), 4.0);
    QCOMPARE(rows.value(0, stockcol::soldQuantity).isNull(), soldIsEmpty);
    QCOMPARE(s.main.reloads, 1);
    QVERIFY(s.main.notices.isEmpty());
    QVERIFY(p->isVisible());
    QCOMPARE(p->quantityBox()->text(), QStringLiteral("9"));
}

void TestStockIn::changeWithoutStartedRowWritesNothing()
{
    Shop s;
    QVERIFY(s.ready());
    StockInPanel* p = s.panel;
    s.shop.addStock(QStringLiteral("篮球"), QStringLiteral("7号"), QStringLiteral("L7"), QStringLiteral("球类"), 50, 4,
                    80);
    s.reload();
    // A row click copies the article but starts no change; enabling the button
    // from elsewhere does not either.
    QVERIFY(p->copyFromRow(s.dm().stock().list(), 0));
    p->quantityBox()->setText(QStringLiteral("9"));
    p->show();
    p->changeButton()->show();
    p->setChangeEnabled(true);
    QCOMPARE(p->changeRowId(), -1);
    s.port.answers << MessagePort::Answer::Ok;
    QTest::mouseClick(p->changeButton(), Qt::LeftButton);
    QCOMPARE(s.port.texts(), QStringList{QStringLiteral("没有要修改的记录：请在列表中选中记录，再点“修 改”。")});
    QCOMPARE(s.rows().value(0, stockcol::quantityIn).toDouble(), 4.0);
    QVERIFY(s.main.notices.isEmpty());

    // "修 改" binds the row; a click on another line lets go of it again.
    QVERIFY(p->openForChange());
    QVERIFY(p->changeRowId() > 0);
    p->setChangeEnabled(false);
    QCOMPARE(p->changeRowId(), -1);
}

void TestStockIn::rowClickCopiesArticle()
{
    Shop s;
    QVERIFY(s.ready());
    StockInPanel* p = s.panel;
    s.shop.addStock(QString(), QString(), QStringLiteral("X"), QStringLiteral("无名"), 1, 1, 1,
                    QStringLiteral("2024-01-01"));
    s.shop.addStock(QStringLiteral("羽毛球拍"), QStringLiteral("YY"), QStringLiteral("Y2"), QStringLiteral("球拍"), 0.1,
                    3, 0.5, QStringLiteral("2025-06-01"), QStringLiteral("厂甲"), QStringLiteral("蓝色"));
    s.reload();
    p->openForNew();
    p->dateField()->setText(QStringLiteral("2026-03-03"));
    p->supplierList()->setEditText(QStringLiteral("厂乙"));

    QVERIFY(!p->copyFromRow(s.dm().stock().list(), 0)); // no name: nothing copied
    QCOMPARE(p->codeList()->currentText(), QString());
    QCOMPARE(p->quantityBox()->text(), QString());

    QVERIFY(p->copyFromRow(s.dm().stock().list(), 1));
    QCOMPARE(p->nameList()->currentText(), QStringLiteral("羽毛球拍"));
    QCOMPARE(p->modelList()->currentText(), QStringLiteral("YY"));
    QCOMPARE(p->codeList()->currentText(), QStringLiteral("Y2"));
    QCOMPARE(p->categoryList()->currentText(), QStringLiteral("球拍"));
    QCOMPARE(p->purchasePriceBox()->text(), QStringLiteral("0.1"));
    QCOMPARE(p->quantityBox()->text(), QStringLiteral("3"));
    QCOMPARE(p->salePriceBox()->text(), QStringLiteral("0.5"));
    QCOMPARE(p->remarkEdit()->text(), QStringLiteral("蓝色"));
    QCOMPARE(p->dateField()->text(), QStringLiteral("2026-03-03"));
    QCOMPARE(p->supplierList()->currentText(), QStringLiteral("厂乙"));
    QCOMPARE(p->heldAmounts().purchaseAmount, QStringLiteral("0.3"));
    QCOMPARE(p->heldAmounts().stockQuantity, QStringLiteral("3"));

    // Taking in more of the clicked article is one button.
    p->newButton()->click();
    QCOMPARE(s.port.texts(), QStringList());
    RowSet& rows = s.rows();
    QCOMPARE(rows.rowCount(), 3);
    QCOMPARE(rows.value(2, stockcol::purchaseAmount).toDouble(), 0.3);
    QCOMPARE(rows.value(2, stockcol::stockAmount).toDouble(), 0.3);
    QCOMPARE(rows.value(2, stockcol::supplier).toString(), QStringLiteral("厂乙"));
    QCOMPARE(rows.value(2, stockcol::stockInDate).toString(), QStringLiteral("2026-03-03"));
}

void TestStockIn::deleteCurrentRow()
{
    Shop s;
    QVERIFY(s.ready());
    StockInPanel* p = s.panel;

    // Nothing loaded yet: the confirmation, then the empty-dataset error.
    s.port.answers << MessagePort::Answer::Ok;
    QVERIFY(!p->deleteCurrentRow());
    QCOMPARE(
        s.port.texts(),
        QStringList({QStringLiteral("你真的要删除选中资料吗？"),
                     MessagePort::userErrorText(QStringLiteral("Cannot perform this operation on an empty dataset"))}));
    QCOMPARE(s.port.entries.at(0).title, QStringLiteral("警告！"));

    s.shop.addStock(QStringLiteral("排球"), QString(), QStringLiteral("V1"), QStringLiteral("球类"), 30, 2, 45);
    s.shop.addStock(QStringLiteral("足球"), QString(), QStringLiteral("F1"), QStringLiteral("球类"), 60, 2, 90);
    s.reload();
    s.port.clear();
    QVERIFY(!p->deleteCurrentRow()); // answered Cancel
    QCOMPARE(s.rows().rowCount(), 2);

    s.reload();
    s.port.answers << MessagePort::Answer::Ok;
    QVERIFY(p->deleteCurrentRow());
    QCOMPARE(s.main.notices, QStringList{QStringLiteral("删除数据成功...")});
    QCOMPARE(s.main.reloads, 2); // not reloaded afterwards
    QCOMPARE(s.dm().stock().list().rowCount(), 1);
    QCOMPARE(s.dm().stock().list().value(0, stockcol::name).toString(), QStringLiteral("排球"));
    QCOMPARE(s.rows().rowCount(), 1);
    QCOMPARE(s.rows().value(0, stockcol::name).toString(), QStringLiteral("排球"));
}

void TestStockIn::dragMovesWithinParent()
{
    Shop s;
    QVERIFY(s.ready());
    StockInPanel* p = s.panel;
    QCOMPARE(p->size(), QSize(489, 216));
    p->openForNew();
    p->move(100, 100);
    const QPoint grip(240, 10); // background above the fields
    QVERIFY(!p->childAt(grip));
    QTest::mousePress(p, Qt::LeftButton, {}, grip);
    QTest::mouseMove(p, grip + QPoint(50, 30));
    QCOMPARE(p->pos(), QPoint(150, 130));
    QTest::mouseMove(p, grip + QPoint(5000, 5000));
    QCOMPARE(p->pos(), QPoint(900 - 489, 600 - 216));
    QTest::mouseRelease(p, Qt::LeftButton, {}, grip);
    const QPoint after = p->pos();
    QTest::mouseMove(p, grip + QPoint(-30, -30));
    QCOMPARE(p->pos(), after);

    // A press on a control does not drag.
    p->move(100, 100);
    QTest::mousePress(p->remarkEdit(), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(p->remarkEdit(), QPoint(60, 60));
    QTest::mouseRelease(p->remarkEdit(), Qt::LeftButton, {}, QPoint(60, 60));
    QCOMPARE(p->pos(), QPoint(100, 100));
}

QTEST_MAIN(TestStockIn)
#include "tst_stockin.moc"
