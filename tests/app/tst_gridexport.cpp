#include "filebytes.h"
#include "filesizelimit.h"
#include "login.h"
#include "pdfwords.h"
#include "processmemory.h"
#include "recordingport.h"
#include "testdb.h"
#include "xlsreader.h"

#include "app/tmainform.h"
#include "core/clock.h"
#include "core/numbers.h"
#include "sales/tform1.h"
#include "sales/txstj.h"
#include "stock/stocklistpanel.h"
#include "store/db/database.h"
#include "store/db/passwordhash.h"
#include "store/memory/rowset.h"
#include "store/ops/saleops.h"
#include "store/ops/tdmfm.h"
#include "ui/datagrid.h"
#include "ui/gridexport.h"
#include "ui/gridprint.h"
#include "ui/printpreview.h"
#include "ui/qtmessageport.h"
#include "users/tloginfm.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPageSize>
#include <QPainter>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <QImage>
#include <QProcess>
#include <QProgressDialog>
#include <QRegularExpression>

#include <algorithm>

namespace {

// Stands in for the desktop's program for .xls files.
class FileOpener final : public QObject
{
    Q_OBJECT
public:
    FileOpener() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~FileOpener() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QStringList opened;

public slots:
    void open(const QUrl& url) { opened << url.toLocalFile(); }
};

// The stock grid's columns as the export writes them, left to right.
const QStringList kStockFields{QStringLiteral("a"),    QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d"),
                               QStringLiteral("2"),    QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("5"),
                               QStringLiteral("4"),    QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8"),
                               QStringLiteral("day1"), QStringLiteral("g"), QStringLiteral("z")};

struct Shop
{
    TestShop shop;
    RecordingPort port;
    FileOpener opener;
    QTemporaryDir out;

    Shop()
    {
        // 123.45 is the purchase price only, 370.35 the purchase and stock amounts only.
        shop.addStock(QStringLiteral("篮球"), QStringLiteral("7号"), QStringLiteral("B7"), QStringLiteral("球类"),
                      123.45, 3, 199, QStringLiteral("2026-01-05"), QStringLiteral("O'Neil体育"));
        shop.addStock(QStringLiteral("跳绳"), QString(), QStringLiteral("S1"), QStringLiteral("健身"), 12.5, 2, 30,
                      QStringLiteral("2026-01-06"), QString(), QStringLiteral("红色"));
        QVERIFY(shop.dm().appendRow(QStringLiteral("userdb"),
                                    {{QStringLiteral("username"), QStringLiteral("店员")},
                                     {QStringLiteral("passwd"), hashPassword(QStringLiteral("a1"))}}));
    }
    QString path(const QString& name) const { return out.filePath(name); }
};

// Presses the keys with the grid's rows focused, as a user does.
void pressInGrid(TMainForm& main, int key)
{
    main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    QTableView* view = main.grid()->view();
    view->setFocus(Qt::OtherFocusReason);
    QVERIFY(view->hasFocus());
    QTest::keyClick(view, Qt::Key(key), Qt::ControlModifier);
}

// The first word, from `from` on, where a run of words reading `text` starts; -1 when none does.
int wordIndex(const QList<PdfWord>& words, const QString& text, int from = 0)
{
    for (int i = from; i < words.size(); ++i) {
        const PdfWord box = findText(words, text, i);
        if (box.text.isEmpty())
            return -1;
        if (box.xMin == words.at(i).xMin && box.yMin == words.at(i).yMin)
            return i;
    }
    return -1;
}

// A printer that writes a high-resolution PDF to `file`.
void printToPdf(QPrinter& printer, const QString& file)
{
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
}

GridPrintOptions reportOptions()
{
    return {QStringLiteral("销 售 统 计 报 表"), QStringLiteral("%[Today]"), QStringLiteral("超级管理员"), {}};
}

// The columns of the made-up printed grids: 名 称 (field "a", "合计" below
// it when `withCode`), 编 码 ("c") when `withCode`, and 金 额 ("4") summed.
QList<GridColumn> nameCodeAmount(bool withCode)
{
    GridColumn name;
    name.field = QStringLiteral("a");
    name.title = QStringLiteral("名 称");
    GridColumn code;
    code.field = QStringLiteral("c");
    code.title = QStringLiteral("编 码");
    GridColumn amount;
    amount.field = QStringLiteral("4");
    amount.title = QStringLiteral("金 额");
    amount.format = GridColumn::Format::Amount;
    amount.footer = GridColumn::Footer::Sum;
    if (!withCode)
        return {name, amount};
    name.footer = GridColumn::Footer::Text;
    name.footerText = QStringLiteral("合计");
    return {name, code, amount};
}

// Shows `rows` in `grid` with those columns, at a small size.
bool showMadeUpGrid(DataGrid& grid, RowSet& rows, bool withCode)
{
    grid.setColumns(nameCodeAmount(withCode));
    grid.setRowSet(&rows);
    grid.resize(600, 400);
    grid.show();
    return QTest::qWaitForWindowExposed(&grid);
}

} // namespace

class TestGridExport : public QObject
{
    Q_OBJECT

private slots:
    void init() { QFont::insertSubstitution(QStringLiteral("宋体"), QStringLiteral("Noto Serif CJK SC")); }
    void exportsWhatTheStockGridShows();
    void ordinaryUserGetsNoCosts();
    void salesAndSummaryExportsHoldCostsForTheSuperAdministratorOnly_data();
    void salesAndSummaryExportsHoldCostsForTheSuperAdministratorOnly();
    void overwriteQuestionAndEmptyGrid();
    void saveDialogLeavesTheQuestionToTheExport();
    void printPreviewWindow();
    void printedGrid();
    void printedGridReadsAsPrinted();
    void printedSalesGridShowsWholeTextsInTheGridsColours();
    void bigGridAsksPreviewsItsFirstPagesAndStops();
    void pageCountAskedForCountsWrappedRows();
    void previewShowsThePrintedPage();
};

void TestGridExport::exportsWhatTheStockGridShows()
{
    const wallclock::FixedClock clock(QDateTime(QDate(2026, 3, 15), QTime(23, 59, 59)));
    Shop s;
    TMainForm main(s.shop.dm());
    QVERIFY(logIn(main));
    // The grid menu holds both commands after the separator below "全部记录".
    const QList<QAction*> menu = main.gridMenu()->actions();
    const qsizetype all =
        std::find_if(menu.cbegin(), menu.cend(), [](QAction* a) { return a->text() == u"全部记录"; }) - menu.cbegin();
    QVERIFY(all + 3 < menu.size());
    QVERIFY(menu.at(all + 1)->isSeparator());
    QCOMPARE(menu.at(all + 2)->text(), QStringLiteral("导出Excel"));
    QCOMPARE(menu.at(all + 2)->shortcut(), QKeySequence(QStringLiteral("Ctrl+E")));
    QCOMPARE(menu.at(all + 3)->text(), QStringLiteral("打 印"));
    QCOMPARE(menu.at(all + 3)->shortcut(), QKeySequence(QStringLiteral("Ctrl+D")));

    main.grid()->setColumnVisible(QStringLiteral("g"), false); // 供货商 hidden
    RowSet& rows = s.shop.dm().stock().list();
    QCOMPARE(rows.rowCount(), 2);

    // The name has no extension: the file gets ".xls".
    s.port.fileNames << s.path(QStringLiteral("库存"));
    pressInGrid(main, Qt::Key_E);
    const QString file = s.path(QStringLiteral("库存.xls"));
    QCOMPARE(s.opener.opened, QStringList{file});
    QCOMPARE(s.port.entries.size(), 1);
    QCOMPARE(s.port.entries.first().kind, QStringLiteral("save"));

    const XlsSheet x = readXls(file);
    QVERIFY2(x.ok, qPrintable(x.error));
    QCOMPARE(x.rows, 7);
    QCOMPARE(x.text(0, 3), QStringLiteral("商品进货统计报表"));
    QCOMPARE(x.text(1, 0), QStringLiteral("制表人：超级管理员"));
    QVERIFY(x.text(1, 5).startsWith(QStringLiteral("制表时间：2026-03-15")));
    QCOMPARE(x.text(2, 0), QStringLiteral("商 品 信 息"));
    QCOMPARE(x.text(3, 0), QStringLiteral("名 称"));
    QCOMPARE(x.text(2, 5), QStringLiteral("进 货"));
    QCOMPARE(x.text(3, 5), QStringLiteral("单 价"));
    for (int r = 0; r < rows.rowCount(); ++r)
        for (int c = 0; c < kStockFields.size(); ++c) {
            const QByteArray where = kStockFields.at(c).toUtf8() + " of row " + QByteArray::number(r);
            const XlsCell cell = x.at(4 + r, c);
            const QVariant stored = rows.value(r, kStockFields.at(c));
            if (kStockFields.at(c) == u"g" || stored.toString().isEmpty())
                QVERIFY2(cell.value.toString().isEmpty(), where.constData());
            else if (stored.typeId() == QMetaType::Double)
                QVERIFY2(cell.type == 2 && cell.value.toDouble() == stored.toDouble(), where.constData());
            else
                QVERIFY2(cell.type == 1 && cell.value.toString() == stored.toString(), where.constData());
        }
    QCOMPARE(x.text(4, 0), QStringLiteral("篮球"));
    QCOMPARE(x.text(5, 14), QStringLiteral("红色"));
    QCOMPARE(x.text(6, 0), QStringLiteral("总计"));
    QVERIFY(x.text(2, 13).isEmpty() && x.text(3, 13).isEmpty()); // the hidden column has no title
    QCOMPARE(rows.current(), 1);                                 // the current row stays

    // The super administrator's export goes on with the row set's other
    // fields in their order, with neither titles nor totals.
    QStringList others;
    for (const QString& field : rows.columns())
        if (!kStockFields.contains(field, Qt::CaseInsensitive))
            others << field;
    QVERIFY(others.contains(QStringLiteral("e"), Qt::CaseInsensitive)); // the pinyin initials of the name
    QVERIFY(x.columns > kStockFields.size() && x.columns <= kStockFields.size() + others.size());
    for (int i = 0; i < others.size(); ++i) {
        const int c = int(kStockFields.size()) + i;
        for (int row : {2, 3, 6})
            QCOMPARE(x.at(row, c).type, 0);
        for (int r = 0; r < rows.rowCount(); ++r) {
            const QByteArray where = others.at(i).toUtf8() + " of row " + QByteArray::number(r);
            const XlsCell cell = x.at(4 + r, c);
            const QVariant stored = rows.value(r, others.at(i));
            if (stored.toString().isEmpty() || stored.typeId() == QMetaType::QByteArray)
                QVERIFY2(cell.value.toString().isEmpty(), where.constData());
            else if (cell.type == 2)
                QVERIFY2(cell.value.toDouble() == stored.toDouble(), where.constData());
            else
                QVERIFY2(cell.type == 1 && cell.value.toString() == stored.toString(), where.constData());
        }
    }
    QCOMPARE(x.text(4, int(kStockFields.size() + others.indexOf(QStringLiteral("e")))), QStringLiteral("lq"));
}

// An ordinary user's export and printout never hold purchase prices and
// amounts, even from a grid that shows their columns, and the export holds
// the grid's columns alone.
void TestGridExport::ordinaryUserGetsNoCosts()
{
    Shop s;
    TMainForm main(s.shop.dm());
    QVERIFY(logIn(main, QStringLiteral("店员"), QStringLiteral("A1")));
    for (const char* field : {"1", "3", "8"})
        main.grid()->setColumnVisible(QString::fromLatin1(field), true);
    s.port.fileNames << s.path(QStringLiteral("stock.xls"));
    main.action(QStringLiteral("导出Excel"))->trigger();
    const XlsSheet x = readXls(s.path(QStringLiteral("stock.xls")));
    QVERIFY2(x.ok, qPrintable(x.error));
    QCOMPARE(x.text(1, 0), QStringLiteral("制表人：店员"));
    QCOMPARE(x.columns, kStockFields.size());
    for (auto it = x.cells.cbegin(); it != x.cells.cend(); ++it) {
        const double v = it.value().value.toDouble();
        QVERIFY2(v != 123.45 && v != 370.35 && v != 12.5 && v != 25,
                 qPrintable(QStringLiteral("cost at %1,%2").arg(it.key().first).arg(it.key().second)));
    }
    for (int row = 2; row < x.rows; ++row)
        for (int c : {5, 6, 11})
            QVERIFY(x.text(row, c).isEmpty());
    QCOMPARE(x.text(4, 0), QStringLiteral("篮球")); // the rest is there
    QCOMPARE(x.at(4, 4).value.toDouble(), 3.0);

    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("print.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printToPdf(printer, pdf);
    GridPrint::print(printer, *main.grid(),
                     {QStringLiteral("商 品 进 货 统 计 报 表"),
                      QStringLiteral("%[Today1]"),
                      QStringLiteral("店员"),
                      {QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("8")}});
    QStringList texts;
    for (const PdfWord& w : pdfWords(pdf))
        texts << w.text;
    QVERIFY(texts.contains(QStringLiteral("篮球")));
    for (const char* cost : {"123.45", "370.35", "12.5", "25"})
        QVERIFY2(!texts.contains(QString::fromLatin1(cost)), cost);
}

void TestGridExport::salesAndSummaryExportsHoldCostsForTheSuperAdministratorOnly_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<bool>("superAdministrator");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QList<double>>("hidden");
    QTest::addColumn<QList<double>>("beyondGrid"); // right of the sales grid's 15 columns
    // One 篮球 sold at 200: purchase price 123.45, profit 76.55; in the summary
    // the purchase, sales and stock amounts 370.35, 200 and 246.9.
    QTest::newRow("sales") << QStringLiteral("sales") << false << QStringLiteral("销 售 报 表")
                           << QList<double>{123.45, 76.55} << QList<double>{};
    QTest::newRow("summary") << QStringLiteral("summary") << false << QStringLiteral("商品进销存统计报表")
                             << QList<double>{370.35, 200, 246.9} << QList<double>{};
    // The purchase price is no column of the sales grid: the super
    // administrator's export writes it with the row set's other fields.
    QTest::newRow("sales, super administrator")
        << QStringLiteral("sales") << true << QStringLiteral("销 售 报 表") << QList<double>{} << QList<double>{123.45};
}

void TestGridExport::salesAndSummaryExportsHoldCostsForTheSuperAdministratorOnly()
{
    QFETCH(QString, window);
    QFETCH(bool, superAdministrator);
    QFETCH(QString, title);
    QFETCH(QList<double>, hidden);
    QFETCH(QList<double>, beyondGrid);
    Shop s;
    saleops::SaleInput sale;
    sale.stockRowId = 1; // 篮球
    sale.quantity = QStringLiteral("1");
    sale.price = QStringLiteral("200");
    sale.saleNumber = QStringLiteral("20260105001");
    sale.saleDate = num::dateText(wallclock::today());
    QVERIFY(saleops::recordSale(s.shop.dm(), sale));
    TMainForm main(s.shop.dm());
    const QString user = superAdministrator ? QStringLiteral("超级管理员") : QStringLiteral("店员");
    QVERIFY(superAdministrator ? logIn(main) : logIn(main, user, QStringLiteral("A1")));
    s.port.fileNames << s.path(QStringLiteral("out.xls"));
    if (window == u"sales") {
        main.salesWindow()->openModal();
        QVERIFY(QTest::qWaitForWindowExposed(main.salesWindow()));
        QCOMPARE(main.salesWindow()->grid()->view()->model()->rowCount(), 1);
        main.salesWindow()->action(QStringLiteral("导出Excel"))->trigger();
        main.salesWindow()->close();
    } else {
        main.summaryWindow()->show();
        QVERIFY(QTest::qWaitForWindowExposed(main.summaryWindow()));
        auto* menu = main.summaryWindow()->findChild<QMenu*>();
        QVERIFY(menu);
        QCOMPARE(menu->actions().first()->text(), QStringLiteral("导出Excel"));
        menu->actions().first()->trigger();
        main.summaryWindow()->close();
    }
    const XlsSheet x = readXls(s.path(QStringLiteral("out.xls")));
    QVERIFY2(x.ok, qPrintable(x.error));
    QCOMPARE(x.text(0, 3), title);
    QCOMPARE(x.text(1, 0), QStringLiteral("制表人：") + user);
    bool named = false;
    QList<double> found;
    for (auto it = x.cells.cbegin(); it != x.cells.cend(); ++it) {
        named = named || it.value().value.toString() == u"篮球";
        for (const double v : hidden)
            QVERIFY2(qAbs(it.value().value.toDouble() - v) > 1e-9,
                     qPrintable(QStringLiteral("%1 at %2,%3").arg(v).arg(it.key().first).arg(it.key().second)));
        if (it.key().second >= 15 && it.value().type == 2)
            found << it.value().value.toDouble();
    }
    QVERIFY(named); // the rest is there
    for (const double v : beyondGrid)
        QVERIFY2(found.contains(v), qPrintable(QString::number(v)));
    if (!superAdministrator)
        QVERIFY(x.columns <= 15);
}

void TestGridExport::overwriteQuestionAndEmptyGrid()
{
    Shop s;
    TMainForm main(s.shop.dm());
    QVERIFY(logIn(main));
    const QString file = s.path(QStringLiteral("old.xls"));
    QFile old(file);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("keep");
    old.close();

    // No keeps the file.
    s.port.fileNames << file;
    s.port.answers << MessagePort::Answer::Cancel;
    pressInGrid(main, Qt::Key_E);
    QCOMPARE(s.port.entries.size(), 2);
    QCOMPARE(s.port.entries.at(1).kind, QStringLiteral("yesno"));
    QCOMPARE(s.port.entries.at(1).title, QStringLiteral("提示"));
    QCOMPARE(s.port.entries.at(1).text, QStringLiteral("已存在文件（") + file + QStringLiteral("），是否覆盖？"));
    QCOMPARE(bytesOf(file), QByteArray("keep"));
    QVERIFY(s.opener.opened.isEmpty());

    // Yes replaces it and opens it.
    s.port.clear();
    s.port.fileNames << file;
    s.port.answers << MessagePort::Answer::Ok;
    pressInGrid(main, Qt::Key_E);
    QVERIFY(bytesOf(file).startsWith(QByteArray("\x09\x08\x10\x00", 4)));
    QCOMPARE(s.opener.opened, QStringList{file});

    // A disk without room for the new export leaves the former file whole
    // and says which file and why; nothing is opened.
    const QByteArray exported = bytesOf(file);
    s.port.clear();
    s.opener.opened.clear();
    s.port.fileNames << file;
    s.port.answers << MessagePort::Answer::Ok;
    {
        FileSizeLimit full(rlim_t(exported.size() / 2));
        QVERIFY(full.isActive());
        pressInGrid(main, Qt::Key_E);
    }
    QCOMPARE(bytesOf(file), exported);
    QCOMPARE(s.port.entries.size(), 3);
    QCOMPARE(s.port.entries.at(2).kind, QStringLiteral("error"));
    QCOMPARE(s.port.lastText(), QStringLiteral("不能写入文件（%1）：File too large").arg(file));
    QVERIFY(s.opener.opened.isEmpty());
    QCOMPARE(QDir(s.out.path()).entryList(QDir::Files), QStringList{QStringLiteral("old.xls")});

    // Without a program for .xls files (the headless platform has none) the
    // file is written and the user told so.
    s.port.clear();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    const QString other = s.path(QStringLiteral("other.xls"));
    s.port.fileNames << other;
    pressInGrid(main, Qt::Key_E);
    QVERIFY(QFile::exists(other));
    QCOMPARE(s.port.entries.size(), 2);
    QCOMPARE(s.port.entries.at(1).kind, QStringLiteral("inform"));
    QCOMPARE(s.port.lastText(),
             QStringLiteral("数据已导出到文件（") + other +
                 QStringLiteral("），但本机没有能打开.xls文件的程序，请安装电子表格软件后再打开它。"));

    // An empty list gives no file and no message.
    s.port.clear();
    s.shop.dm().stock().list().close();
    s.port.fileNames << s.path(QStringLiteral("empty.xls"));
    pressInGrid(main, Qt::Key_E);
    QCOMPARE(s.port.entries.size(), 1); // the save dialog only
    QVERIFY(!QFile::exists(s.path(QStringLiteral("empty.xls"))));
}

// The program's save dialog takes an existing file's name without a question
// of its own: the export asks once (above), also for the ".xls" it may add.
void TestGridExport::saveDialogLeavesTheQuestionToTheExport()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("old.xls"));
    QFile old(file);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.close();

    QtMessagePort port(QStringLiteral("Tarvik"));
    QStringList questions;
    int tries = 0;
    // Two timers: a timer does not fire again while its own slot runs, and a
    // question box opens inside the dialog's accept().
    QTimer answerer;
    answerer.setInterval(20);
    connect(&answerer, &QTimer::timeout, this, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            questions << box->text();
            if (QAbstractButton* yes = box->button(QMessageBox::Yes))
                yes->click();
            else
                box->reject();
        }
    });
    // Names the file until the dialog takes it (it may not be ready at first).
    QTimer driver;
    driver.setInterval(20);
    connect(&driver, &QTimer::timeout, this, [&] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            if (++tries > 100) { // gives up after 2 s: the test fails instead of hanging
                dialog->reject();
                return;
            }
            // The name typed into the dialog's name box, as a user does.
            if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                edit->setText(QFileInfo(file).fileName());
            static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept, as the Save button
        }
    });
    answerer.start();
    driver.start();
    const QString name = port.saveFileName(QString(), dir.path(), GridExport::fileFilter());
    driver.stop();
    answerer.stop();
    QCOMPARE(name, file);
    QCOMPARE(questions, QStringList());
}

void TestGridExport::printPreviewWindow()
{
    Shop s;
    TMainForm main(s.shop.dm());
    QVERIFY(logIn(main));
    QStringList commands;
    QStringList zoom;
    int pages = 0;
    // Looks until the preview is open, then reads and closes it.
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto* preview = qobject_cast<PrintPreview*>(QApplication::activeModalWidget());
        if (!preview)
            return;
        poll.stop();
        for (const char* text : {"打印", " 打印设置", "缩放", "上一页", "下一页", "停止", "关闭"})
            if (preview->command(QString::fromUtf8(text)))
                commands << QString::fromUtf8(text);
        for (QAction* a : preview->zoomChoices())
            zoom << a->text();
        pages = preview->pages()->pageCount();
        preview->command(QStringLiteral("关闭"))->trigger();
    });
    poll.start(20);
    s.port.clear();
    pressInGrid(main, Qt::Key_D);
    QVERIFY(s.port.entries.isEmpty()); // a short printout asks nothing
    QCOMPARE(commands, (QStringList{QStringLiteral("打印"), QStringLiteral(" 打印设置"), QStringLiteral("缩放"),
                                    QStringLiteral("上一页"), QStringLiteral("下一页"), QStringLiteral("停止"),
                                    QStringLiteral("关闭")}));
    QCOMPARE(zoom,
             (QStringList{QStringLiteral("500%"), QStringLiteral("200%"), QStringLiteral("150%"),
                          QStringLiteral("100%"), QStringLiteral("75%"), QStringLiteral("50%"), QStringLiteral("25%"),
                          QStringLiteral("10%"), QStringLiteral("页宽度"), QStringLiteral("全部页面")}));
    QCOMPARE(pages, 1);
}

// The printed stock grid: page header, heading, titles, rows, totals and the
// signature where the layout puts them (A4, 2 cm margins).
void TestGridExport::printedGrid()
{
    Shop s;
    TMainForm main(s.shop.dm());
    QVERIFY(logIn(main));
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("grid.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printToPdf(printer, pdf);
    const QDate day(2026, 3, 15);
    GridPrint::print(
        printer, *main.grid(),
        {QStringLiteral("商 品 进 货 统 计 报 表"), QStringLiteral("%[Today1]"), QStringLiteral("超级管理员"), {}},
        day);
    keepPrintout(pdf, QStringLiteral("stockgrid.pdf"));
    const QList<PdfWord> words = pdfWords(pdf);
    const QStringList missing = missingTexts(
        words, {QStringLiteral("Page. 1"), QStringLiteral("商 品 进 货 统 计 报 表"), QStringLiteral("篮球"),
                QStringLiteral("总计"), QStringLiteral("制表人：超级管理员 日期：2026-03-15")});
    QVERIFY2(missing.isEmpty(),
             qPrintable(QStringLiteral("not in the printout: ") + missing.join(QStringLiteral(" | "))));

    const PdfWord page = findText(words, QStringLiteral("Page. 1"));
    const PdfWord heading = findText(words, QStringLiteral("商 品 进 货 统 计 报 表"));
    const PdfWord name = findText(words, QStringLiteral("篮球"));
    const PdfWord total = findText(words, QStringLiteral("总计"));
    const PdfWord signature = findText(words, QStringLiteral("制表人：超级管理员 日期：2026-03-15"));
    // Centred on the page, right-aligned at the right margin, top margin 2 cm.
    QVERIFY(qAbs((page.xMin + page.xMax) / 2 - 105) <= 0.5);
    QVERIFY(qAbs(page.yMin - 20) <= 0.5);
    QVERIFY(qAbs((heading.xMin + heading.xMax) / 2 - 105) <= 0.5);
    // Right-aligned at the margin, followed by its blanks.
    QVERIFY2(signature.xMax > 183 && signature.xMax <= 190, QByteArray::number(signature.xMax).constData());
    // Top to bottom: header, heading, rows, totals, signature.
    QVERIFY(page.yMax < heading.yMin);
    QVERIFY(heading.yMax < name.yMin);
    QVERIFY(name.yMax < total.yMin);
    QVERIFY(total.yMax < signature.yMin);
    // The grid spans the page between the margins.
    const PdfWord first = findText(words, QStringLiteral("名 称"));
    QVERIFY(first.xMin >= 20 && first.xMin < 40);

    // Printing again to a disk without room for it leaves the former PDF whole.
    const QByteArray printed = bytesOf(pdf);
    QString error;
    {
        FileSizeLimit full(rlim_t(printed.size() / 2));
        QVERIFY(full.isActive());
        QVERIFY(!GridPrint::print(
            printer, *main.grid(),
            {QStringLiteral("商 品 进 货 统 计 报 表"), QStringLiteral("%[Today1]"), QStringLiteral("超级管理员"), {}},
            day, &error));
    }
    QCOMPARE(error, QStringLiteral("不能写入文件（%1）：File too large").arg(pdf));
    QCOMPARE(bytesOf(pdf), printed);
    QCOMPARE(printer.outputFileName(), pdf);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("grid.pdf")});
}

// A copy or a search of a saved printout finds the grid's texts as they were
// printed: digits before Latin letters, and characters whose glyph the font
// shares with a radical (金 with ⾦, 户 with ⼾, 角 with ⻆).
void TestGridExport::printedGridReadsAsPrinted()
{
    Shop s;
    s.shop.addStock(QStringLiteral("15kg 电镀"), QStringLiteral("40L"), QStringLiteral("B15"), QStringLiteral("金属"),
                    80, 1, 120, QStringLiteral("2026-01-07"), QStringLiteral("客户"), QStringLiteral("角钢"));
    TMainForm main(s.shop.dm());
    QVERIFY(logIn(main));
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("grid.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printToPdf(printer, pdf);
    QVERIFY(GridPrint::print(
        printer, *main.grid(),
        {QStringLiteral("商 品 进 货 统 计 报 表"), QStringLiteral("%[Today1]"), QStringLiteral("超级管理员"), {}}));
    keepPrintout(pdf, QStringLiteral("gridtext.pdf"));
    const QStringList unread = unreadTexts(
        pdfWords(pdf), {QStringLiteral("15kg 电镀"), QStringLiteral("40L"), QStringLiteral("金属"),
                        QStringLiteral("客户"), QStringLiteral("角钢"), QStringLiteral("制表人：超级管理员")});
    QVERIFY2(unread.isEmpty(), qPrintable(QStringLiteral("read otherwise: ") + unread.join(QStringLiteral(" | "))));
}

// A 13-digit code and a long text print whole in the sales grid, however
// narrow their columns are on screen, and the rows alternate their colours as
// the grid does.
void TestGridExport::printedSalesGridShowsWholeTextsInTheGridsColours()
{
    Shop s;
    const QString code = QStringLiteral("6901234567890");
    const QString longName = QStringLiteral("ProStar碳素纤维羽毛球拍比赛专用套装含拍包手胶与替换线");
    s.shop.addStock(longName, QStringLiteral("3U"), code, QStringLiteral("球拍"), 150, 5, 299);
    for (const qint64 stock : {1, 3, 1}) {
        saleops::SaleInput sale;
        sale.stockRowId = stock;
        sale.quantity = QStringLiteral("1");
        sale.price = QStringLiteral("200");
        sale.saleNumber = QStringLiteral("20260105001");
        sale.saleDate = num::dateText(wallclock::today());
        QVERIFY(saleops::recordSale(s.shop.dm(), sale));
    }
    TMainForm main(s.shop.dm());
    QVERIFY(logIn(main));
    main.salesWindow()->openModal();
    QVERIFY(QTest::qWaitForWindowExposed(main.salesWindow()));
    DataGrid* grid = main.salesWindow()->grid();
    QCOMPARE(grid->view()->model()->rowCount(), 3);
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("sales.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printToPdf(printer, pdf);
    QVERIFY(GridPrint::print(
        printer, *grid,
        {QStringLiteral("销 售 统 计 报 表"), QStringLiteral("%[Today]"), QStringLiteral("超级管理员"), {}}));
    main.salesWindow()->close();
    keepPrintout(pdf, QStringLiteral("salesgrid.pdf"));
    const QList<PdfWord> words = pdfWords(pdf);

    // The code on one line, ending before the category beside it starts.
    const PdfWord printedCode = findText(words, code);
    QVERIFY2(!printedCode.text.isEmpty(), "no whole code");
    const PdfWord category = findText(words, QStringLiteral("球拍"));
    QVERIFY(qAbs(category.yMin - printedCode.yMin) < 1);
    QVERIFY2(printedCode.xMax < category.xMin,
             qPrintable(QStringLiteral("%1 %2").arg(printedCode.xMax).arg(category.xMin)));
    // The long name, wrapped in its column: every character, top to bottom,
    // left of the model column.
    const PdfWord nameTitle = findText(words, QStringLiteral("名 称"));
    const PdfWord modelTitle = findText(words, QStringLiteral("规格型号"));
    QList<PdfWord> column;
    for (const PdfWord& w : words)
        if (w.page == 0 && w.yMin > nameTitle.yMax && w.xMax <= modelTitle.xMin)
            column.append(w);
    std::stable_sort(column.begin(), column.end(),
                     [](const PdfWord& a, const PdfWord& b) { return a.yMin < b.yMin - 1; });
    QString names;
    for (const PdfWord& w : column)
        names += w.text;
    bool whole = false;
    for (qsizetype i = 0; i + longName.size() <= names.size() && !whole; ++i)
        whole = sameGlyphs(names.mid(i, longName.size()), longName);
    QVERIFY2(whole, qPrintable(names));

    // Row colours, as the grid shows them: read in the empty customer column.
    const QString png = dir.filePath(QStringLiteral("page"));
    QCOMPARE(
        QProcess::execute(QStringLiteral("pdftoppm"), {QStringLiteral("-png"), QStringLiteral("-r"),
                                                       QStringLiteral("72"), QStringLiteral("-singlefile"), pdf, png}),
        0);
    const QImage page(png + QStringLiteral(".png"));
    QVERIFY(!page.isNull());
    const PdfWord customerTitle =
        findText(words, QStringLiteral("名 称"), wordIndex(words, QStringLiteral("名 称")) + 1);
    QVERIFY(!customerTitle.text.isEmpty() && customerTitle.xMin > modelTitle.xMax);
    const auto at = [&](double xMm, double yMm) {
        return page.pixelColor(qRound(xMm / 25.4 * 72), qRound(yMm / 25.4 * 72));
    };
    const QTableView* view = grid->view();
    QVERIFY(view->alternatingRowColors());
    const double x = (customerTitle.xMin + customerTitle.xMax) / 2;
    const PdfWord first = findText(words, QStringLiteral("篮球"));
    const PdfWord third = findText(words, QStringLiteral("篮球"), wordIndex(words, QStringLiteral("篮球")) + 1);
    const PdfWord second = findText(words, QStringLiteral("3U"));
    const QList<QPair<PdfWord, QColor>> rows{{first, view->palette().color(QPalette::Base)},
                                             {second, view->palette().color(QPalette::AlternateBase)},
                                             {third, view->palette().color(QPalette::Base)}};
    for (const auto& [word, colour] : rows) {
        const QColor shown = at(x, (word.yMin + word.yMax) / 2);
        QVERIFY2(qAbs(shown.red() - colour.red()) <= 3 && qAbs(shown.green() - colour.green()) <= 3 &&
                     qAbs(shown.blue() - colour.blue()) <= 3,
                 qPrintable(word.text + QLatin1Char(' ') + shown.name() + QStringLiteral(" for ") + colour.name()));
    }
}

// A grid of 200,000 rows: "打 印" asks first and No stops there; Yes previews
// only the first pages, in bounded memory; printing it shows its progress and
// "停止" ends it without leaving a file.
void TestGridExport::bigGridAsksPreviewsItsFirstPagesAndStops()
{
    constexpr int kRows = 200000;
    RecordingPort port;
    QueryResult result;
    result.columns = {QStringLiteral("a"), QStringLiteral("c"), QStringLiteral("4")};
    result.rows.reserve(kRows);
    for (int r = 0; r < kRows; ++r)
        result.rows.append({QStringLiteral("商品%1").arg(r), QStringLiteral("69%1").arg(r, 11, 10, QLatin1Char('0')),
                            double(r % 997) + 0.5});
    RowSet rows(QStringLiteral("big"));
    rows.load(std::move(result));
    DataGrid grid;
    QVERIFY(showMadeUpGrid(grid, rows, true));
    const GridPrintOptions options = reportOptions();

    // Printing to a PDF: the progress shows, 停止 ends it after a few pages.
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("big.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printToPdf(printer, pdf);
    int shownAt = -1;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* progress = qobject_cast<QProgressDialog*>(w);
            if (!progress || !progress->isVisible() || progress->value() < 200)
                continue;
            QCOMPARE(progress->maximum(), kRows + 1);
            shownAt = progress->value();
            auto* stop = progress->findChild<QPushButton*>();
            QVERIFY(stop);
            QCOMPARE(stop->text(), QStringLiteral("停止"));
            QTest::mouseClick(stop, Qt::LeftButton);
            poll.stop();
        }
    });
    poll.start(20);
    QElapsedTimer clock;
    clock.start();
    const qint64 before = processmemory::peakKb();
    QString error;
    QVERIFY(!GridPrint::print(printer, grid, options, QDate(2026, 3, 15), &error));
    poll.stop();
    QVERIFY2(shownAt > 0 && shownAt < kRows / 10, qPrintable(QString::number(shownAt)));
    QVERIFY(error.isEmpty());
    QVERIFY2(clock.elapsed() < 60000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{});
    QCOMPARE(printer.outputFileName(), pdf);

    // "打 印": the question, No stops; Yes previews the first pages with a note.
    bool previewed = false;
    int pages = 0;
    QString note;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto* preview = qobject_cast<PrintPreview*>(QApplication::activeModalWidget());
        if (!preview)
            return;
        previewed = true;
        pages = preview->pages()->pageCount();
        note = preview->note();
        preview->command(QStringLiteral("关闭"))->trigger();
    });
    poll.start(20);
    port.answers << MessagePort::Answer::Cancel << MessagePort::Answer::Ok;
    GridPrint::preview(grid, options);
    QVERIFY(!previewed);
    QCOMPARE(port.entries.size(), 1);
    QCOMPARE(port.entries.first().kind, QStringLiteral("yesno"));
    const QRegularExpressionMatch question =
        QRegularExpression(QStringLiteral("^共 (\\d+) 页，是否继续？$")).match(port.entries.first().text);
    QVERIFY2(question.hasMatch(), qPrintable(port.entries.first().text));
    const int total = question.captured(1).toInt();
    // Rows of 2 to 8 mm on 257 mm of page.
    QVERIFY2(total > kRows / (257 / 2) && total < kRows / (257 / 8), qPrintable(QString::number(total)));

    GridPrint::preview(grid, options);
    QVERIFY(previewed);
    const qint64 grown = processmemory::peakKb() - before;
    qInfo("peak memory grew by %lld kB", grown);
    QVERIFY2(grown < 100 * 1024 || !processmemory::kPeakIsTheProgramsOwn, qPrintable(QString::number(grown)));
    QCOMPARE(port.entries.size(), 2);
    QCOMPARE(port.entries.last().text, port.entries.first().text);
    QCOMPARE(pages, GridPrint::kPreviewPages);
    QCOMPARE(note, QStringLiteral("预览只显示前 %1 页（共约 %2 页），打印时输出全部页面。")
                       .arg(GridPrint::kPreviewPages)
                       .arg(total));
}

// The number of pages the question names is the number printed, also when
// half of the rows wrap their long names over several lines.
void TestGridExport::pageCountAskedForCountsWrappedRows()
{
    QueryResult result;
    result.columns = {QStringLiteral("a"), QStringLiteral("4")};
    for (int r = 0; r < 600; ++r)
        result.rows.append({r % 2 ? QStringLiteral("商品%1").arg(r)
                                  : QStringLiteral("碳素纤维羽毛球拍比赛专用套装含拍包手胶与替换线").repeated(6),
                            double(r)});
    RowSet rows(QStringLiteral("wrapped"));
    rows.load(std::move(result));
    DataGrid grid;
    QVERIFY(showMadeUpGrid(grid, rows, false));
    const GridPrintOptions options = reportOptions();
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("wrapped.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printToPdf(printer, pdf);
    const int estimated = GridPrint::estimatedPages(printer, grid, options);
    QVERIFY(GridPrint::print(printer, grid, options, QDate(2026, 3, 15)));
    int printed = 0;
    for (const PdfWord& w : pdfWords(pdf))
        printed = std::max(printed, w.page + 1);
    QVERIFY2(qAbs(estimated - printed) <= std::max(1, printed / 20),
             qPrintable(QStringLiteral("%1 of %2").arg(estimated).arg(printed)));
}

QTEST_MAIN(TestGridExport)
#include "tst_gridexport.moc"

// A sales grid shrunk to the page (its long name and model make it wider
// than A4) shows its 13-digit code whole, on paper and in the preview alike.
// The preview's page is drawn as the preview widget draws it, at the
// resolution of a rendering of the PDF, and the code's ink is compared
// column by column.
void TestGridExport::previewShowsThePrintedPage()
{
    Shop s;
    const QString code = QStringLiteral("6901234567890");
    s.shop.addStock(QStringLiteral("ProStarCarbonFiberTournamentRacketSet"),
                    QStringLiteral("TournamentEdition-3U-G5-Strung"), code, QStringLiteral("球拍"), 150, 5, 299);
    saleops::SaleInput sale;
    sale.stockRowId = 3;
    sale.quantity = QStringLiteral("1");
    sale.price = QStringLiteral("200");
    sale.saleNumber = QStringLiteral("20260105001");
    sale.saleDate = num::dateText(wallclock::today());
    QVERIFY(saleops::recordSale(s.shop.dm(), sale));
    TMainForm main(s.shop.dm());
    QVERIFY(logIn(main));
    main.salesWindow()->openModal();
    QVERIFY(QTest::qWaitForWindowExposed(main.salesWindow()));
    DataGrid* grid = main.salesWindow()->grid();
    const GridPrintOptions options = reportOptions();
    constexpr int dpi = 300;

    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("sales.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printToPdf(printer, pdf);
    QVERIFY(GridPrint::print(printer, *grid, options));
    keepPrintout(pdf, QStringLiteral("previewedsales.pdf"));
    const QString png = dir.filePath(QStringLiteral("paper"));
    QCOMPARE(QProcess::execute(QStringLiteral("pdftoppm"),
                               {QStringLiteral("-png"), QStringLiteral("-r"), QString::number(dpi),
                                QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("1"),
                                QStringLiteral("-singlefile"), pdf, png}),
             0);
    const QImage paper(png + QStringLiteral(".png"));
    QVERIFY(!paper.isNull());

    // The first page of the preview, drawn from the preview's own scene: its
    // page item, whose paper starts at the scene's origin, in printer pixels.
    QImage shown;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto* preview = qobject_cast<PrintPreview*>(QApplication::activeModalWidget());
        if (!preview)
            return;
        poll.stop();
        if (auto* view = preview->pages()->findChild<QGraphicsView*>()) {
            const QRectF page(QPointF(0, 0), QPageSize(QPageSize::A4).size(QPageSize::Inch) * printer.resolution());
            shown = QImage(paper.size(), QImage::Format_RGB32);
            shown.fill(Qt::white);
            QPainter painter(&shown);
            view->scene()->render(&painter, QRectF(QPointF(0, 0), page.size() * dpi / printer.resolution()), page);
        }
        preview->command(QStringLiteral("关闭"))->trigger();
    });
    poll.start(20);
    GridPrint::preview(*grid, options);
    main.salesWindow()->close();
    QCOMPARE(shown.size(), paper.size());

    // The code's ink, column by column, in the band of its box.
    const PdfWord printedCode = findText(pdfWords(pdf), code);
    QVERIFY2(!printedCode.text.isEmpty(), "no whole code in the printout's text");
    const auto px = [](double mm) { return qRound(mm / 25.4 * dpi); };
    const int top = px(printedCode.yMin), bottom = px(printedCode.yMax);
    const int left = px(printedCode.xMin) - 3, right = px(printedCode.xMax) + 2;
    const auto ink = [&](const QImage& image) {
        QString columns;
        for (int x = left; x <= right; ++x) {
            bool dark = false; // darker than the grey cell lines
            for (int y = top; y <= bottom && !dark; ++y)
                dark = qGray(image.pixel(x, y)) < 100;
            columns += dark ? QLatin1Char('#') : QLatin1Char('.');
        }
        return columns;
    };
    const QString onPaper = ink(paper);
    const QString inPreview = ink(shown);
    const QString both = QStringLiteral("\npaper   %1\npreview %2").arg(onPaper, inPreview);
    // Whole: 13 glyphs, the last "0" as wide as the third; the preview ends
    // where the paper does.
    for (const QString& columns : {onPaper, inPreview}) {
        const QStringList glyphs = columns.split(QLatin1Char('.'), Qt::SkipEmptyParts);
        QVERIFY2(glyphs.size() == code.size(), qPrintable(both));
        QVERIFY2(qAbs(glyphs.last().size() - glyphs.at(2).size()) <= 1, qPrintable(both));
    }
    QVERIFY2(qAbs(inPreview.lastIndexOf(QLatin1Char('#')) - onPaper.lastIndexOf(QLatin1Char('#'))) <= 1,
             qPrintable(both));
}
