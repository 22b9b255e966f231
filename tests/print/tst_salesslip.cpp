#include "login.h"
#include "pdfwords.h"
#include "recordingport.h"
#include "testdb.h"

#include "app/tmainform.h"
#include "pos/salepanel.h"
#include "pos/slippanel.h"
#include "print/salesslip.h"
#include "print/tpos.h"
#include "sales/txstj.h"
#include "store/memory/rowset.h"
#include "store/ops/salelookup.h"
#include "store/ops/tdmfm.h"
#include "ui/printpreview.h"
#include "users/tloginfm.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

constexpr double kLeft = 15; // margins of the slip's page
constexpr double kTop = 10;
constexpr double kTolerance = 0.5;

const QString kNumber = QStringLiteral("20260315001");

// The top of a text's em box (where the slip places a text), from the box
// pdftotext gives it: that box starts at the font's ascent above the
// baseline, the em box of a CJK character at 0.88 em.
double emTop(const PdfWord& w, double points)
{
    QFont f(QStringLiteral("Noto Serif CJK SC"));
    f.setPixelSize(1000);
    const double ascent = QFontMetricsF(f).ascent() / 1000;
    return w.yMin + (ascent - 0.88) * points * 25.4 / 72;
}

// A Sale row as the sale panel stores it; `customer` etc. null when not given.
void addSale(TestShop& shop, const QString& number, const QString& name, double price, double qty,
             const QVariant& customer = {}, const QVariant& address = {}, const QVariant& contact = {},
             const QString& remark = {}, const QString& code = {})
{
    QVariantMap row{
        {QStringLiteral("a"), name},
        {QStringLiteral("b"), QStringLiteral("标准")},
        {QStringLiteral("c"), code.isEmpty() ? QStringLiteral("C-") + name.left(1) : code},
        {QStringLiteral("d"), QStringLiteral("球类")},
        {QStringLiteral("z"), number},
        {QStringLiteral("1"), 10.0},
        {QStringLiteral("2"), price},
        {QStringLiteral("3"), qty},
        {QStringLiteral("4"), price * qty},
        {QStringLiteral("day1"), QStringLiteral("2026-03-15")},
        {QStringLiteral("j"), remark},
    };
    if (!customer.isNull())
        row.insert(QStringLiteral("g"), customer);
    if (!address.isNull())
        row.insert(QStringLiteral("h"), address);
    if (!contact.isNull())
        row.insert(QStringLiteral("i"), contact);
    QVERIFY(shop.dm().appendRow(QStringLiteral("data1"), row));
}

salesslip::Texts shopTexts(const QString& promotion1 = QStringLiteral("买球拍送球一筒"))
{
    return {QStringLiteral("泰维克体育用品销售单"), QStringLiteral("地址：中山路8号 电话：0571-8888"), promotion1,
            QStringLiteral("欢迎再次光临")};
}

salesslip::Slip slipOf(TestShop& shop, const QString& number, const salesslip::Texts& texts = shopTexts())
{
    RowSet rows(QStringLiteral("rows"));
    (void)shop.dm().OpenQuery(rows, salelookup::slipRows(number));
    return salesslip::make(number, rows, texts, QStringLiteral("超级管理员"), QDate(2026, 3, 15));
}

QList<PdfWord> printed(const salesslip::Slip& slip, const QString& name)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("slip.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    salesslip::print(printer, slip);
    keepPrintout(pdf, name);
    return pdfWords(pdf);
}

} // namespace

class TestSalesSlip : public QObject
{
    Q_OBJECT

private slots:
    void init() { QFont::insertSubstitution(QStringLiteral("宋体"), QStringLiteral("Noto Serif CJK SC")); }
    void textsOfTheSale();
    void negativeTotal();
    void positionsOnThePage();
    void codesPrintWhole();
    void textLayerReadsAsPrinted();
    void promotionBand_data();
    void promotionBand();
    void longSaleGoesOnToAnotherPage();
    void previewFromTheSlipPanel();
};

void TestSalesSlip::textsOfTheSale()
{
    TestShop shop;
    RecordingPort port;
    // The customer of the first row heads the slip; an empty address prints
    // its label alone, a missing contact prints nothing.
    addSale(shop, kNumber, QStringLiteral("篮球"), 19.9, 2, QStringLiteral("老张"), QStringLiteral(""), QVariant());
    addSale(shop, kNumber, QStringLiteral("跳绳"), 60, 1, QStringLiteral("老李"));
    addSale(shop, QStringLiteral("20260315002"), QStringLiteral("护腕"), 5, 1);
    const salesslip::Slip s = slipOf(shop, kNumber);
    QCOMPARE(s.customer, QStringLiteral("客户名称：老张"));
    QCOMPARE(s.address, QStringLiteral("客户地址："));
    QCOMPARE(s.contact, QString());
    QCOMPARE(s.saleNumber, QStringLiteral("单 号：20260315001"));
    QCOMPARE(s.date, QStringLiteral("日 期：2026-03-15"));
    QCOMPARE(s.maker, QStringLiteral("制单人：超级管理员"));
    QCOMPARE(s.figure, QStringLiteral("￥99.8"));
    QCOMPARE(s.capital, QStringLiteral("（大写） 玖拾玖元捌角"));
    QCOMPARE(s.lines.size(), 2);
    QCOMPARE(s.lines.at(0).quantity, QStringLiteral("2"));
    QCOMPARE(s.lines.at(0).amount, QStringLiteral("39.8"));
    QVERIFY(port.entries.isEmpty());

    // A fragment of a number lists every number that holds it.
    QCOMPARE(slipOf(shop, QStringLiteral("202603150")).lines.size(), 3);
    // Nothing under the number: a slip without lines and without a customer.
    const salesslip::Slip none = slipOf(shop, QStringLiteral("19990101001"));
    QVERIFY(none.lines.isEmpty());
    QCOMPARE(none.customer, QString());
    QCOMPARE(none.figure, QStringLiteral("￥0"));
    QCOMPARE(none.capital, QStringLiteral("（大写） "));
}

void TestSalesSlip::negativeTotal()
{
    TestShop shop;
    RecordingPort port;
    addSale(shop, kNumber, QStringLiteral("篮球"), 19.9, -1);
    const salesslip::Slip s = slipOf(shop, kNumber);
    QCOMPARE(s.figure, QStringLiteral("￥-19.9"));
    QCOMPARE(s.capital, QStringLiteral("（大写） "));
    QCOMPARE(port.texts(), (QStringList{QStringLiteral("45"), QStringLiteral("读取错误，应为数字")}));
}

void TestSalesSlip::positionsOnThePage()
{
    TestShop shop;
    RecordingPort port;
    addSale(shop, kNumber, QStringLiteral("篮球"), 19.9, 2, QStringLiteral("老张"), QStringLiteral("中山路1号"),
            QStringLiteral("13800000000"), QStringLiteral("赠品"));
    addSale(shop, kNumber, QStringLiteral("跳绳"), 60, 1, QStringLiteral("老张"));
    const QList<PdfWord> words = printed(slipOf(shop, kNumber), QStringLiteral("salesslip.pdf"));
    QVERIFY(!words.isEmpty());

    // Band tops, from the top of the printable area.
    const double customer1 = 15.3, customer2 = 21.9, header = 28.5, row1 = 35.9, row2 = 42.5, summary = 49.1,
                 promotion = 58.6, signature = 70.8;
    enum Anchor { Left, Right, Centre };
    struct Place
    {
        const char* text;
        Anchor anchor;
        double x, top;
        double points = 11;
    };
    const Place places[] = {
        {"泰维克体育用品销售单", Centre, 91.1, 0.5, 16},
        {"地址：中山路8号 电话：0571-8888", Centre, 91.0, 9.0, 10},
        {"客户名称：老张", Left, 4.2, customer1 + 1.1},
        {"单 号：20260315001", Left, 137.3, customer1 + 1.1},
        {"客户地址：中山路1号", Left, 4.2, customer2 + 1.1},
        {"联系电话：13800000000", Left, 88.4, customer2 + 1.1},
        {"日 期：2026-03-15", Left, 137.3, customer2 + 1.1},
        {"商品名称", Left, 8.5, header + 1.6},
        {"规格型号", Left, 47.1, header + 1.6},
        {"编 码", Left, 83.9, header + 1.6},
        {"数量", Left, 104.5, header + 1.6},
        {"单 价", Left, 119.3, header + 1.6},
        {"金 额", Left, 136.5, header + 1.6},
        {"备 注", Left, 158.8, header + 1.6},
        {"篮球", Left, 2.1, row1 + 1.3},
        {"标准", Left, 36.8, row1 + 1.3},
        {"C-篮", Left, 77.3, row1 + 1.3},
        {"2", Right, 113.8, row1 + 1.3},
        {"19.9", Right, 129.9, row1 + 1.3},
        {"39.8", Right, 147.7, row1 + 1.3},
        {"赠品", Left, 150.8, row1 + 1.3},
        {"跳绳", Left, 2.1, row2 + 1.3},
        {"60", Right, 129.9, row2 + 1.3}, // the price; the amount 60 is further right
        {"合 计", Left, 4.5, summary + 0.5},
        {"人民币", Left, 3.4, summary + 4.8},
        {"（大写） 玖拾玖元捌角", Left, 14.6, summary + 2.4},
        {"￥99.8", Left, 136.3, summary + 3.2},
        {"买球拍送球一筒", Left, 3.2, promotion + 1.3, 10},
        {"欢迎再次光临", Left, 3.2, promotion + 6.3, 10},
        {"收货人：", Left, 6.3, signature + 2.1},
        {"送货人：", Left, 65.6, signature + 2.1},
        {"制单人：超级管理员", Left, 130.7, signature + 2.1},
    };
    for (const Place& p : places) {
        const QString text = QString::fromUtf8(p.text);
        const PdfWord w = findText(words, text);
        QVERIFY2(!w.text.isEmpty(), qPrintable(text));
        const double x = p.anchor == Left ? w.xMin : p.anchor == Right ? w.xMax : (w.xMin + w.xMax) / 2;
        const double top = emTop(w, p.points) - kTop;
        const QByteArray where =
            text.toUtf8() + " at " + QByteArray::number(x - kLeft) + ", " + QByteArray::number(top);
        QVERIFY2(qAbs(x - kLeft - p.x) <= kTolerance, where.constData());
        QVERIFY2(qAbs(top - p.top) <= kTolerance, where.constData());
    }
}

void TestSalesSlip::promotionBand_data()
{
    QTest::addColumn<QString>("promotion1");
    QTest::addColumn<double>("signatureTop");
    // One row: the summary band starts at 42.5, the promotion band at 52.0.
    QTest::newRow("with a first promotion line") << QStringLiteral("买球拍送球一筒") << 52.0 + 12.2 + 2.1;
    QTest::newRow("without: only the frame") << QString() << 52.0 + 0.5 + 2.1;
}

void TestSalesSlip::promotionBand()
{
    QFETCH(QString, promotion1);
    QFETCH(double, signatureTop);
    TestShop shop;
    RecordingPort port;
    addSale(shop, kNumber, QStringLiteral("篮球"), 19.9, 1);
    const QList<PdfWord> words =
        printed(slipOf(shop, kNumber, shopTexts(promotion1)), QStringLiteral("slip-promo.pdf"));
    const PdfWord receiver = findText(words, QStringLiteral("收货人："));
    QVERIFY(!receiver.text.isEmpty());
    const double top = emTop(receiver, 11) - kTop;
    QVERIFY2(qAbs(top - signatureTop) <= kTolerance, QByteArray::number(top).constData());
    // The second line shows only with the first.
    QCOMPARE(findText(words, QStringLiteral("欢迎再次光临")).text.isEmpty(), promotion1.isEmpty());
}

void TestSalesSlip::longSaleGoesOnToAnotherPage()
{
    salesslip::Slip slip;
    slip.texts = shopTexts();
    for (int i = 0; i < 40; ++i)
        slip.lines.append({QStringLiteral("篮球%1").arg(i), {}, {}, QStringLiteral("1"), {}, {}, {}});
    const QList<salesslip::Item> items = salesslip::layout(slip);
    QCOMPARE(salesslip::pageCount(items), 2);
    int titlesOnPage2 = 0;
    int rowsOnPage2 = 0;
    for (const salesslip::Item& i : items) {
        if (i.page != 1 || i.kind != salesslip::Item::Text)
            continue;
        if (i.text == u"商品名称") {
            ++titlesOnPage2;
            QCOMPARE(i.y, 1.6); // the column titles open the page
        }
        rowsOnPage2 += i.text.startsWith(QStringLiteral("篮球"));
        // Nothing runs past the page.
        QVERIFY(i.y + 4 <= salesslip::kPrintableHeight);
    }
    QCOMPARE(titlesOnPage2, 1);
    QVERIFY(rowsOnPage2 > 0 && rowsOnPage2 < 40);
}

// "销售单打印" of the main window's slip panel: refused without a sale,
// otherwise the preview of the current number's slip.
void TestSalesSlip::previewFromTheSlipPanel()
{
    TestShop shop;
    RecordingPort port;
    TMainForm main(shop.dm());
    QVERIFY(logIn(main));
    SlipPanel* slip = main.slipPanel();
    slip->toggle();
    QPushButton* button = slip->slipButton();
    QVERIFY(button->isVisible());
    QCOMPARE(button->text(), QStringLiteral("销售单打印"));

    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(port.texts(), QStringList{QStringLiteral("先进行销售")});

    port.clear();
    const QString number = main.salePanel()->saleNumber();
    addSale(shop, number, QStringLiteral("篮球"), 19.9, 2, QStringLiteral("老张"));
    slip->runQuery();
    QCOMPARE(slip->total(), QStringLiteral("39.8"));
    QString title;
    int pages = 0;
    // Looks until the preview is open, then reads and closes it.
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto* preview = qobject_cast<PrintPreview*>(QApplication::activeModalWidget());
        if (!preview)
            return;
        poll.stop();
        title = preview->windowTitle();
        pages = preview->pages()->pageCount();
        preview->command(QStringLiteral("关闭"))->trigger();
    });
    poll.start(20);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(title, QStringLiteral("销售单预览"));
    QCOMPARE(pages, 1);
    QVERIFY(port.entries.isEmpty());
    // The sales detail window's box follows the slip printed.
    QCOMPARE(main.salesWindow()->saleNumber(), number);
}

// A 13-digit code is a little wider than its column at 11 pt: it prints
// smaller, every digit between the rules of its column.
void TestSalesSlip::codesPrintWhole()
{
    TestShop shop;
    RecordingPort port;
    const QString code = QStringLiteral("6901234567890");
    addSale(shop, kNumber, QStringLiteral("篮球"), 19.9, 2, {}, {}, {}, {}, code);
    const QList<PdfWord> words = printed(slipOf(shop, kNumber), QStringLiteral("slipcode.pdf"));
    const PdfWord printedCode = findText(words, code);
    QVERIFY2(!printedCode.text.isEmpty(), "no whole code");
    QVERIFY(qAbs(printedCode.xMin - (kLeft + 77.3)) <= kTolerance);
    QVERIFY2(printedCode.xMax <= kLeft + 101.4, qPrintable(QString::number(printedCode.xMax - kLeft)));
    // On the line of the other texts of its row.
    QVERIFY(qAbs(printedCode.yMax - findText(words, QStringLiteral("篮球")).yMax) <= kTolerance);
}

// A copy or a search of a saved slip finds its texts as they were printed:
// digits before Latin letters, and characters whose glyph the font shares
// with a radical (金 with ⾦, 户 with ⼾, 角 with ⻆).
void TestSalesSlip::textLayerReadsAsPrinted()
{
    TestShop shop;
    RecordingPort port;
    addSale(shop, kNumber, QStringLiteral("15kg 电镀哑铃"), 19.9, 2, QStringLiteral("金山客户"), {}, {},
            QStringLiteral("40L／件"));
    const QList<PdfWord> words = printed(slipOf(shop, kNumber), QStringLiteral("sliptext.pdf"));
    const QStringList unread = unreadTexts(words, {QStringLiteral("15kg 电镀哑铃"), QStringLiteral("40L／件"),
                                                   QStringLiteral("客户名称：金山客户"), QStringLiteral("金 额"),
                                                   QStringLiteral("（大写） 叁拾玖元捌角")});
    QVERIFY2(unread.isEmpty(), qPrintable(QStringLiteral("read otherwise: ") + unread.join(QStringLiteral(" | "))));
}

QTEST_MAIN(TestSalesSlip)
#include "tst_salesslip.moc"
