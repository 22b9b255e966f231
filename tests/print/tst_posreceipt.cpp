#include "recordingport.h"
#include "testdb.h"

#include "core/numbers.h"
#include "print/posreceipt.h"
#include "print/tpos.h"
#include "store/db/columns.h"
#include "store/ops/salequeries.h"
#include "store/ops/tdmfm.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

using namespace posreceipt;

namespace {

// Three articles: 17, 18 and 20 GBK bytes of name.
QList<Article> threeArticles()
{
    return {
        {QStringLiteral("篮球ABCDEFGHIJKLM"), 1.0, 19.9},     // 4 + 13 = 17 bytes
        {QStringLiteral("羽毛球拍YONEXA1234"), 2.0, 60.0},    // 8 + 10 = 18 bytes
        {QStringLiteral("乒乓球拍红双喜狂飙3"), -1.0, -19.9}, // 18 + 1 ... 19 bytes, cut
    };
}

Receipt sample()
{
    Receipt r;
    r.title = QStringLiteral("POS小票销售单");
    r.saleNumber = QStringLiteral("20260105001");
    r.cashier = QStringLiteral("超级管理员");
    r.printedAt = QStringLiteral("2026-01-05 10:20:30 ");
    r.articles = threeArticles();
    r.total = QStringLiteral("99.8");
    r.cash = 100;
    r.change = 0.2L;
    r.promotion1 = QStringLiteral("Tarvik进销存软件提供技术支持");
    r.promotion2 = QStringLiteral("官网：https://tarvik.example.com");
    r.closing = QStringLiteral("欢迎下次惠顾！");
    return r;
}

QString run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000))
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The non-empty lines of the text pdftotext finds, blanks at the ends removed.
QStringList pdfLines(const QString& pdf)
{
    QStringList lines;
    const QString text = run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    for (const QString& l : text.split(u'\n'))
        if (!l.trimmed().isEmpty())
            lines << l.trimmed();
    return lines;
}

// What the receipt's lines must read as, in order.
QStringList expectedLines(const Receipt& r)
{
    QStringList out;
    for (const Line& l : layout(r))
        if (!l.text.trimmed().isEmpty())
            out << l.text.trimmed();
    return out;
}

// Words of a line, so that a PDF's spacing between runs does not matter.
// The compatibility form maps look-alike glyph names a font may give its
// characters (the Kangxi radical ⼩ for 小) back to the characters.
QString words(const QString& line)
{
    return line.simplified().normalized(QString::NormalizationForm_KC);
}

// cups-pdf writes into the PDF folder of the job owner's home (from the user
// database, not $HOME, which the tests move) or into its anonymous folder.
QStringList cupsPdfFolders()
{
    QStringList folders{QStringLiteral("/var/spool/cups-pdf/ANONYMOUS")};
    if (const passwd* pw = getpwuid(getuid()))
        folders.prepend(QString::fromLocal8Bit(pw->pw_dir) + QStringLiteral("/PDF"));
    return folders;
}

QStringList pdfsNow()
{
    QStringList files;
    for (const QString& folder : cupsPdfFolders())
        for (const QFileInfo& f : QDir(folder).entryInfoList({QStringLiteral("*.pdf")}, QDir::Files))
            files << f.absoluteFilePath();
    return files;
}

} // namespace

class TestPosReceipt : public QObject
{
    Q_OBJECT

private slots:
    void nameColumn_data();
    void nameColumn();
    void lineLayout();
    void pdfThroughQPrinter();
    void printedThroughCups();
    void noPrinterGivesOneMessage();
};

void TestPosReceipt::nameColumn_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("column");
    QTest::newRow("17 bytes padded by one") << "篮球ABCDEFGHIJKLM"
                                            << "篮球ABCDEFGHIJKLM ";
    QTest::newRow("18 bytes and one more space") << "羽毛球拍YONEXA1234"
                                                 << "羽毛球拍YONEXA1234 ";
    QTest::newRow("20 bytes cut to 18") << "ABCDEFGHIJKLMNOPQRST"
                                        << "ABCDEFGHIJKLMNOPQR ";
    QTest::newRow("a character across byte 18") << "ABCDEFGHIJKLMNOPQ球"
                                                << "ABCDEFGHIJKLMNOPQ  ";
    QTest::newRow("empty") << ""
                           << "                  ";
}

void TestPosReceipt::nameColumn()
{
    QFETCH(QString, name);
    QFETCH(QString, column);
    QCOMPARE(posreceipt::nameColumn(name), column);
}

void TestPosReceipt::lineLayout()
{
    const QList<Line> lines = layout(sample());
    QCOMPARE(lines.first().y, 0);
    QVERIFY(lines.first().title);
    QCOMPARE(lines.first().text, QStringLiteral("   POS小票销售单"));
    QCOMPARE(lines.at(6).text, QStringLiteral("商品名称         数量     金额 "));
    QCOMPARE(lines.at(7).y, 210);
    QCOMPARE(lines.at(7).text, QStringLiteral("篮球ABCDEFGHIJKLM  1      19.9"));
    QCOMPARE(lines.at(9).text, QStringLiteral("乒乓球拍红双喜狂飙  -1      -19.9"));
    // Three articles: b = 300.
    QCOMPARE(lines.at(10).y, 300);
    QCOMPARE(lines.at(11).y, 330);
    QCOMPARE(lines.at(11).text, QStringLiteral("合计:99.8元  "));
    QCOMPARE(lines.at(12).text, QStringLiteral("现金:100.00元  找零:0.20元"));

    // A total below the cent (a discounted price of an older sale): the
    // customer sees the total to the cent, and cash less it is the change.
    Receipt odd = sample();
    setAmounts(odd, 1544.262L, 1600);
    QCOMPARE(layout(odd).at(11).text, QStringLiteral("合计:1544.26元  "));
    QCOMPARE(layout(odd).at(12).text, QStringLiteral("现金:1600.00元  找零:55.74元"));
    setAmounts(odd, 99.795L, 100);
    QCOMPARE(layout(odd).at(11).text, QStringLiteral("合计:99.80元  "));
    QCOMPARE(layout(odd).at(12).text, QStringLiteral("现金:100.00元  找零:0.20元"));
    QCOMPARE(lines.last().y, 540);
    QCOMPARE(lines.last().text, QStringLiteral("-------------------------------"));

    // Without articles the separator follows the column header directly.
    Receipt empty = sample();
    empty.articles.clear();
    QCOMPARE(layout(empty).at(7).y, 210);
    QCOMPARE(layout(empty).at(7).text, lines.last().text);
}

void TestPosReceipt::pdfThroughQPrinter()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed; scripts/deps.sh installs it");
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("receipt.pdf"));
    const Receipt r = sample();
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setResolution(600);
        printer.setPageSize(QPageSize(QSizeF(80, 250), QPageSize::Millimeter));
        QString error;
        QVERIFY2(print(printer, layout(r), &error), qPrintable(error));
    }
    // Every line reads as written, in order.
    QStringList got;
    for (const QString& l : pdfLines(pdf))
        got << words(l);
    QStringList want;
    for (const QString& l : expectedLines(r))
        want << words(l);
    QCOMPARE(got, want);

    // Each line stands at its own position: 30 dots of 203 dpi apart, in points.
    const QString bbox = run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    QRegularExpression word(
        QStringLiteral(R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="[\d.]+" yMax="([\d.]+)">([^<]*)</word>)re"));
    QList<double> tops;
    for (auto it = word.globalMatch(bbox); it.hasNext();) {
        const auto m = it.next();
        const double y = m.captured(2).toDouble();
        if (tops.isEmpty() || y - tops.last() > 3)
            tops << y;
        QVERIFY2(m.captured(1).toDouble() < 30 || y - tops.last() <= 3, "every line starts at the left edge");
    }
    QCOMPARE(tops.size(), want.size());
    const double pitch = 30.0 / 203.0 * 72.0; // 10.64 pt
    // Lines from the sale number (y 60) to the closing separator (y 540), whose dots are known.
    for (int i = 2; i + 1 < tops.size(); ++i) {
        const double gap = tops.at(i + 1) - tops.at(i);
        QVERIFY2(gap > pitch * 0.6, qPrintable(QStringLiteral("line %1 overlaps the next (%2 pt)").arg(i).arg(gap)));
    }
    // From the sale number line (60 dots) to the last separator (540 dots): 480 dots.
    QVERIFY2(qAbs((tops.last() - tops.at(2)) - 480.0 / 203.0 * 72.0) < 2.0,
             qPrintable(QStringLiteral("%1 pt").arg(tops.last() - tops.at(2))));
}

void TestPosReceipt::printedThroughCups()
{
    if (QPrinterInfo::defaultPrinter().isNull() ||
        QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("no default CUPS queue or no pdftotext; scripts/test.sh sets up the cups-pdf queue");
    TestShop shop;
    RecordingPort port;
    Tdmfm& dm = shop.dm();
    // Three Sale rows under one number, and one under another number that does not contain it.
    for (const Article& a : threeArticles())
        QVERIFY(dm.appendRow(QStringLiteral("data1"), {{QString(salecol::name), a.name},
                                                       {QString(salecol::saleNumber), QStringLiteral("20260105001")},
                                                       {QString(salecol::quantity), a.quantity},
                                                       {QString(salecol::amount), a.amount}}));
    QVERIFY(dm.appendRow(QStringLiteral("data1"), {{QString(salecol::name), QStringLiteral("别的")},
                                                   {QString(salecol::saleNumber), QStringLiteral("20260105002")}}));
    Tpos texts;
    texts.field(Tpos::Pos1)->setText(QStringLiteral("体育用品店小票")); // unsaved texts print too
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    // The slip panel's list, as it shows the sale.
    QVERIFY(dm.OpenQuery(dm.slipQuery(), saleq::slipRows(QStringLiteral("20260105001"))));
    QVERIFY(printCurrentSale(dm, texts,
                             {QStringLiteral("20260105001"), QStringLiteral("超级管理员"), QStringLiteral("59.9"),
                              QStringLiteral("100")}));
    QVERIFY2(port.entries.isEmpty(), qPrintable(port.texts().join(u'|')));
    // cups-pdf names the file after the job title, so a file of an earlier run is overwritten: look at times.
    QString pdf;
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     for (const QString& f : pdfsNow()) {
                         const QFileInfo info(f);
                         if (info.lastModified() >= before && info.size() > 0 &&
                             run(QStringLiteral("pdfinfo"), {f}).contains(QStringLiteral("Pages:")))
                             pdf = f;
                     }
                     return !pdf.isEmpty();
                 },
                 60000),
             "cups-pdf wrote no PDF");
    // The spooler's PostScript round trip drops the fonts' Unicode maps, so the
    // words cannot be read back from this file (the QPrinter test reads them);
    // what the queue printed must still be the receipt's lines, one under the other.
    const QStringList got = pdfLines(pdf);
    QVERIFY2(got.size() == 19, qPrintable(QString::number(got.size())));
    for (int separator : {5, 10, 13, 16, 18})
        QCOMPARE(got.at(separator), got.at(1));
    QVERIFY(got.at(7) != got.at(1) && got.at(12) != got.at(1));
    // The receipt read its rows on the side: the slip panel's list is the panel's.
    QVERIFY(dm.slipQuery().isOpen());
}

void TestPosReceipt::noPrinterGivesOneMessage()
{
    TestShop shop;
    RecordingPort port;
    Tpos texts;
    QVERIFY(!printCurrentSale(shop.dm(), texts,
                              {QStringLiteral("1"), QStringLiteral("超级管理员"), QStringLiteral("5"),
                               QStringLiteral("5")},
                              QPrinterInfo()));
    QCOMPARE(port.texts(), QStringList{noPrinterText()});
    // A cash text that is no number stops the receipt before any printer is asked.
    port.clear();
    QVERIFY(!printCurrentSale(shop.dm(), texts,
                              {QStringLiteral("1"), QStringLiteral("超级管理员"), QStringLiteral("5"),
                               QStringLiteral(".")}));
    QCOMPARE(port.texts(), QStringList{QStringLiteral("'.' is not a valid floating point value")});
}

QTEST_MAIN(TestPosReceipt)
#include "tst_posreceipt.moc"
