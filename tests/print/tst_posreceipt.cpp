#include "escposdecoder.h"
#include "recordingport.h"
#include "testdb.h"

#include "core/numbers.h"
#include "print/escpos.h"
#include "print/posreceipt.h"
#include "print/receiptsender.h"
#include "print/tpos.h"
#include "store/db/columns.h"
#include "store/ops/salelookup.h"
#include "store/ops/tdmfm.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace posreceipt;

namespace {

const QString kSaleNumber = QStringLiteral("20260105001");

// Three articles of one sale, the last one given back.
QList<Article> threeArticles()
{
    return {
        {QStringLiteral("斯伯丁7号篮球比赛用球"), 2.0, 239.0, 478.0},
        {QStringLiteral("李宁羽毛球拍N90"), 1.0, 599.0, 599.0},
        {QStringLiteral("运动护腕"), -1.0, 25.0, -25.0},
    };
}

Receipt sample()
{
    Receipt r;
    r.shop = QStringLiteral("Tarvik运动用品店");
    r.address = QStringLiteral("体育路88号");
    r.phone = QStringLiteral("0571-88886666");
    r.title = QStringLiteral("POS小票销售单");
    r.saleNumber = kSaleNumber;
    r.cashier = QStringLiteral("超级管理员");
    r.printedAt = QStringLiteral("2026-01-05 10:20:30");
    r.customer = QStringLiteral("张先生");
    r.articles = threeArticles();
    setAmounts(r, 1052, 1100);
    r.promotion1 = QStringLiteral("Tarvik进销存软件提供技术支持");
    r.promotion2 = QStringLiteral("官网：https://tarvik.example.com");
    r.closing = QStringLiteral("欢迎下次惠顾！");
    return r;
}

QStringList utf8List(std::initializer_list<const char*> items)
{
    QStringList out;
    for (const char* i : items)
        out << QString::fromUtf8(i);
    return out;
}

QStringList texts(const QList<Line>& lines)
{
    QStringList out;
    for (const Line& l : lines)
        out << l.text;
    return out;
}

QString run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000))
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

bool hasTool(const char* name)
{
    return !QStandardPaths::findExecutable(QString::fromLatin1(name)).isEmpty();
}

// The receipt drawn through Qt printing into a PDF at `dpi`.
QString printPdf(const QTemporaryDir& dir, const QList<Line>& lines, const Paper& paper, int dpi = 600)
{
    const QString pdf = dir.filePath(QStringLiteral("receipt%1.pdf").arg(paper.widthMm));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setResolution(dpi);
    QString error;
    return print(printer, lines, paper, &error) ? pdf : QString();
}

struct Word
{
    double xMin, yMin, xMax, yMax;
    QString text;
};

// A line of pdftotext as the receipt wrote it: blanks simplified, and the
// look-alike characters a CJK face's glyphs are named by (the Kangxi radical
// ⼩ for 小, the traditional 戶 for 户) mapped back.
QString readable(const QString& line)
{
    return line.simplified().normalized(QString::NormalizationForm_KC).replace(QChar(0x6236), QChar(0x6237));
}

// Words of a PDF with their boxes in points (pdftotext -bbox).
QList<Word> pdfWords(const QString& pdf, QSizeF* page = nullptr)
{
    const QString bbox = run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    if (page) {
        const auto m =
            QRegularExpression(QStringLiteral(R"re(<page width="([\d.]+)" height="([\d.]+)")re")).match(bbox);
        *page = QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble());
    }
    QList<Word> words;
    QRegularExpression word(
        QStringLiteral(R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    for (auto it = word.globalMatch(bbox); it.hasNext();) {
        const auto m = it.next();
        words.append({m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble(),
                      m.captured(4).toDouble(), m.captured(5)});
    }
    return words;
}

// Accepts one connection on the loopback and keeps what it reads.
class Listener
{
public:
    Listener()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_fd, 4);
        socklen_t len = sizeof a;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        m_thread = std::thread([this] {
            const int c = ::accept(m_fd, nullptr, nullptr);
            if (c >= 0) {
                char buf[4096];
                for (ssize_t n; (n = ::read(c, buf, sizeof buf)) > 0;)
                    m_received.append(buf, n);
                ::close(c);
            }
            m_done = true;
        });
    }
    ~Listener() { stop(); }
    // The bytes of the one connection, once the sender has closed it (at most
    // `timeoutMs` later); empty when nobody connected.
    QByteArray wait(int timeoutMs = 30000)
    {
        // A sender that never connects leaves the bytes empty, which the caller sees.
        (void)QTest::qWaitFor([this] { return m_done.load(); }, timeoutMs);
        stop();
        return m_received;
    }

    int port = 0;

private:
    void stop()
    {
        if (!m_thread.joinable())
            return;
        ::shutdown(m_fd, SHUT_RDWR); // ends an accept still waiting
        m_thread.join();
        ::close(m_fd);
    }
    int m_fd = -1;
    std::atomic<bool> m_done{false};
    QByteArray m_received; // the reader's until m_done
    std::thread m_thread;
};

// A shop whose sale `kSaleNumber` has the three articles, and another sale.
void addSale(Tdmfm& dm, const QString& customer = QString(), double owed = 0)
{
    for (const Article& a : threeArticles())
        QVERIFY(dm.appendRow(QStringLiteral("data1"), {{QString(salecol::name), a.name},
                                                       {QString(salecol::saleNumber), kSaleNumber},
                                                       {QString(salecol::price), a.price},
                                                       {QString(salecol::quantity), a.quantity},
                                                       {QString(salecol::amount), a.amount},
                                                       {QString(salecol::customer), customer},
                                                       {QString(salecol::owed), owed / 3}}));
    QVERIFY(dm.appendRow(QStringLiteral("data1"), {{QString(salecol::name), QStringLiteral("别的")},
                                                   {QString(salecol::saleNumber), QStringLiteral("20260105002")}}));
}

CurrentSale currentSale()
{
    return {kSaleNumber, QStringLiteral("超级管理员"), QStringLiteral("1052"), QStringLiteral("1100")};
}

// cups-pdf writes into the PDF folder of the job owner's home (from the user
// database, not $HOME, which the tests move) or into its anonymous folder.
QStringList pdfsNow()
{
    QStringList folders{QStringLiteral("/var/spool/cups-pdf/ANONYMOUS")};
    if (const passwd* pw = getpwuid(getuid()))
        folders.prepend(QString::fromLocal8Bit(pw->pw_dir) + QStringLiteral("/PDF"));
    QStringList files;
    for (const QString& folder : folders)
        for (const QFileInfo& f : QDir(folder).entryInfoList({QStringLiteral("*.pdf")}, QDir::Files))
            files << f.absoluteFilePath();
    return files;
}

QString fixture(const QString& name)
{
    return QStringLiteral(TARVIK_SOURCE_DIR "/tests/fixtures/receipts/") + name;
}

} // namespace

class TestPosReceipt : public QObject
{
    Q_OBJECT

private slots:
    void wrap_data();
    void wrap();
    void sampleAt58And80();
    void nothingCutAtAnyWidth_data();
    void nothingCutAtAnyWidth();
    void pdfPageIsTheContent_data();
    void pdfPageIsTheContent();
    void goldenStreams_data();
    void goldenStreams();
    void textEncodingAndChineseMode();
    void networkPrinterGetsTheReceipt();
    void printerErrorsLeaveTheSale();
    void rawCupsQueue();
    void printedThroughCupsPageDriver();
    void noPrinterGivesOneMessage();
};

void TestPosReceipt::wrap_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QStringList>("pieces");
    QTest::newRow("fits") << "篮球" << 4 << utf8List({"篮球"});
    QTest::newRow("a Chinese character is never halved") << "篮球ABC" << 3 << utf8List({"篮", "球", "ABC"});
    QTest::newRow("ASCII word moves whole") << "李宁羽毛球拍N90" << 14 << utf8List({"李宁羽毛球拍", "N90"});
    QTest::newRow("word longer than a line is split") << "ABCDEFGH" << 5 << utf8List({"ABCDE", "FGH"});
    QTest::newRow("no blank at a wrapped start") << "AB CD" << 3 << utf8List({"AB ", "CD"});
    QTest::newRow("empty") << "" << 8 << utf8List({""});
}

void TestPosReceipt::wrap()
{
    QFETCH(QString, text);
    QFETCH(int, columns);
    QFETCH(QStringList, pieces);
    QCOMPARE(posreceipt::wrap(text, columns), pieces);
}

// The three-article sale with a return, line by line, as a customer reads it.
void TestPosReceipt::sampleAt58And80()
{
    QCOMPARE(Paper{58}.columns(), 32);
    QCOMPARE(Paper{80}.columns(), 48);
    QCOMPARE(Paper{48}.columns(), 25);
    const QStringList at58{
        QStringLiteral("        Tarvik运动用品店"),
        QStringLiteral("        地址：体育路88号"),
        QStringLiteral("      电话：0571-88886666"),
        QStringLiteral("         POS小票销售单"),
        QStringLiteral("--------------------------------"),
        QStringLiteral("销售单号：20260105001"),
        QStringLiteral("收银员：超级管理员"),
        QStringLiteral("打印时间：2026-01-05 10:20:30"),
        QStringLiteral("客户：张先生"),
        QStringLiteral("--------------------------------"),
        QStringLiteral("商品名称      数量   单价   金额"),
        QStringLiteral("斯伯丁7号篮球    2 239.00 478.00"),
        QStringLiteral("比赛用球"),
        QStringLiteral("李宁羽毛球拍     1 599.00 599.00"),
        QStringLiteral("N90"),
        QStringLiteral("[退货]运动护    -1  25.00 -25.00"),
        QStringLiteral("腕"),
        QStringLiteral("--------------------------------"),
        QStringLiteral("件数:                        2件"),
        QStringLiteral("合计:                  1052.00元"),
        QStringLiteral("现金:                  1100.00元"),
        QStringLiteral("找零:                    48.00元"),
        QStringLiteral("--------------------------------"),
        QStringLiteral("Tarvik进销存软件提供技术支持"),
        QStringLiteral("官网：https://tarvik.example.com"),
        QStringLiteral("--------------------------------"),
        QStringLiteral("         欢迎下次惠顾！"),
        QStringLiteral("--------------------------------"),
    };
    const QList<Line> lines = layout(sample(), 32);
    QCOMPARE(texts(lines), at58);
    QCOMPARE(lines.at(0).style, Style::Bold);
    QCOMPARE(lines.at(3).style, Style::Title);

    const QList<Line> wide = layout(sample(), 48);
    const QStringList at80 = texts(wide);
    QCOMPARE(at80.at(1), QStringLiteral("     地址：体育路88号  电话：0571-88886666"));
    QCOMPARE(at80.mid(9, 4), (QStringList{
                                 QStringLiteral("商品名称                      数量   单价   金额"),
                                 QStringLiteral("斯伯丁7号篮球比赛用球            2 239.00 478.00"),
                                 QStringLiteral("李宁羽毛球拍N90                  1 599.00 599.00"),
                                 QStringLiteral("[退货]运动护腕                  -1  25.00 -25.00"),
                             }));
    // An owed amount is printed after the change; nothing owed prints no line.
    Receipt owing = sample();
    owing.owed = 120;
    const QStringList withOwed = texts(layout(owing, 32));
    QCOMPARE(withOwed.size(), at58.size() + 1);
    QCOMPARE(withOwed.at(22), QStringLiteral("欠款:                   120.00元"));
}

void TestPosReceipt::nothingCutAtAnyWidth_data()
{
    QTest::addColumn<int>("paperMm");
    QTest::addColumn<double>("quantity");
    QTest::addColumn<double>("price");
    for (int mm : {48, 58, 80}) {
        QTest::addRow("%d mm, small", mm) << mm << 2.0 << 19.9;
        QTest::addRow("%d mm, 9999 at 999999.99", mm) << mm << 9999.0 << 999999.99;
        QTest::addRow("%d mm, return of 9999 at 999999.99", mm) << mm << -9999.0 << 999999.99;
    }
}

// Every text of the receipt is printed whole and inside the printable width:
// counted in cells, and measured in dots as the receipt face draws them.
void TestPosReceipt::nothingCutAtAnyWidth()
{
    QFETCH(int, paperMm);
    QFETCH(double, quantity);
    QFETCH(double, price);
    const Paper paper{paperMm};
    Receipt r = sample();
    const double amount = quantity > 0 ? 999999.99 : -999999.99;
    r.articles.append({QStringLiteral("乒乓球拍红双喜狂飙3号专业比赛用加长版"), quantity, price, amount});
    r.owed = 999999.99;
    setAmounts(r, 999999.99, 1000000);
    const QList<Line> lines = layout(r, paper.columns());
    const QString all = texts(lines).join(QString());
    for (const QString& whole :
         {num::quantityText(quantity), num::fixed2(price), num::fixed2(amount), QStringLiteral("999999.99元"),
          QStringLiteral("1000000.00元"), QStringLiteral("0.01元")})
        QVERIFY2(all.contains(whole), qPrintable(whole));
    // Names come back whole when their wrapped lines are joined.
    // Names come back whole when their wrapped lines are joined without the numbers.
    QString joined;
    static const QRegularExpression numbers(QStringLiteral(R"( +-?[\d.]+ +-?[\d.]+ +-?[\d.]+$)"));
    for (const QString& t : texts(lines))
        joined += QString(t).remove(numbers).trimmed();
    QVERIFY(joined.contains(QStringLiteral("[退货]运动护腕")));
    QVERIFY(joined.contains(QStringLiteral("乒乓球拍红双喜狂飙3号专业比赛用加长版")));

    const int right = paper.printableDots();
    for (const Line& line : lines) {
        QVERIFY2(displayWidth(line.text) <= paper.columns(), qPrintable(line.text));
        const QFontMetricsF metrics(receiptFont(line.style));
        int cell = 0;
        for (char32_t c : line.text.toUcs4()) {
            const double edge = cell * kCellDots + metrics.horizontalAdvance(QString::fromUcs4(&c, 1));
            QVERIFY2(edge <= right + 0.5,
                     qPrintable(QStringLiteral("%1 ends at %2 of %3 dots").arg(line.text).arg(edge).arg(right)));
            cell += cellsOf(c);
        }
    }
    // The amounts of the article lines end on the right edge (a common edge).
    for (const QString& t : texts(lines))
        if (t.endsWith(num::fixed2(amount)) && !t.contains(QLatin1Char(':')))
            QCOMPARE(displayWidth(t), paper.columns());

    // And on the page Qt prints, measured by pdftotext in points.
    if (!hasTool("pdftotext"))
        return;
    QTemporaryDir dir;
    const QString pdf = printPdf(dir, lines, paper);
    QVERIFY(!pdf.isEmpty());
    QSizeF page;
    const QList<Word> words = pdfWords(pdf, &page);
    QVERIFY(!words.isEmpty());
    const double pointsPerDot = 72.0 / (kDotsPerMm * 25.4);
    const double printableRight = (paper.marginDots() + paper.printableDots()) * pointsPerDot;
    QVERIFY(qAbs(page.width() - paperMm * 72.0 / 25.4) < 0.5);
    for (const Word& w : words) {
        QVERIFY2(w.xMax <= printableRight + 0.5,
                 qPrintable(QStringLiteral("%1 ends at %2 pt of %3").arg(w.text).arg(w.xMax).arg(printableRight)));
        QVERIFY2(w.xMin >= paper.marginDots() * pointsPerDot - 0.5, qPrintable(w.text));
    }
}

void TestPosReceipt::pdfPageIsTheContent_data()
{
    QTest::addColumn<int>("paperMm");
    QTest::addColumn<int>("articles");
    QTest::newRow("58 mm, three articles") << 58 << 3;
    QTest::newRow("80 mm, forty articles") << 80 << 40;
}

// Through Qt printing the page is as long as the receipt: the lines read in
// order, and the last one ends within 5 mm of the page's end.
void TestPosReceipt::pdfPageIsTheContent()
{
    if (!hasTool("pdftotext"))
        QSKIP("pdftotext (poppler-utils) is not installed; scripts/deps.sh installs it");
    QFETCH(int, paperMm);
    QFETCH(int, articles);
    Receipt r = sample();
    while (r.articles.size() < articles)
        r.articles.append({QStringLiteral("羽毛球%1").arg(r.articles.size()), 1.0, 5.0, 5.0});
    const Paper paper{paperMm};
    const QList<Line> lines = layout(r, paper.columns());
    QTemporaryDir dir;
    const QString pdf = printPdf(dir, lines, paper);
    QSizeF page;
    const QList<Word> words = pdfWords(pdf, &page);
    QVERIFY(!words.isEmpty());
    double bottom = 0;
    for (const Word& w : words)
        bottom = std::max(bottom, w.yMax);
    const double mm = 25.4 / 72.0;
    QVERIFY2(page.height() * mm - bottom * mm < 5.0,
             qPrintable(QStringLiteral("%1 mm of paper under %2 mm of text").arg(page.height() * mm).arg(bottom * mm)));
    QVERIFY(page.height() * mm >= bottom * mm);

    // Every line reads as laid out, in order.
    const QString text = run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    QStringList got;
    for (const QString& l : text.split(u'\n'))
        if (!l.trimmed().isEmpty())
            got << readable(l);
    QStringList want;
    for (const QString& l : texts(lines))
        if (!l.trimmed().isEmpty())
            want << readable(l);
    QCOMPARE(got, want);
}

void TestPosReceipt::goldenStreams_data()
{
    QTest::addColumn<int>("paperMm");
    QTest::addColumn<int>("mode");
    for (int mm : {58, 80}) {
        QTest::addRow("text-%d", mm) << mm << int(escpos::Mode::Gb18030);
        QTest::addRow("raster-%d", mm) << mm << int(escpos::Mode::Raster);
    }
}

// The bytes a printer gets for the sample sale, against the stored stream, and
// what a printer makes of them: the lines of the layout, or the picture the
// receipt's painting code draws, begun with ESC @ and ended by the drawer pulse
// of a cash sale and a partial cut. Set TARVIK_WRITE_GOLDEN=1 to rewrite the
// stored streams after a deliberate change, and look at them before committing.
void TestPosReceipt::goldenStreams()
{
    QFETCH(int, paperMm);
    QFETCH(int, mode);
    ReceiptSetup setup;
    setup.paper.widthMm = paperMm;
    setup.escPos = true;
    setup.options.mode = escpos::Mode(mode);
    setup.options.openDrawer = true;
    const QByteArray bytes = escPosBytes(sample(), setup);
    const QString name = QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".bin");
    QFile golden(fixture(name));
    if (qEnvironmentVariableIsSet("TARVIK_WRITE_GOLDEN")) {
        QVERIFY(golden.open(QIODevice::WriteOnly));
        golden.write(bytes);
        golden.close();
    }
    QVERIFY2(golden.open(QIODevice::ReadOnly), qPrintable(golden.fileName()));
    const EscPosPrint print = decodeEscPos(bytes);
    QCOMPARE(print.unknown, -1);
    QVERIFY(print.initialised);
    QCOMPARE(print.cuts, 1);
    QVERIFY(print.cutLast);
    QCOMPARE(print.drawerPulses, 1);
    const QList<Line> lines = layout(sample(), setup.paper.columns());
    if (escpos::Mode(mode) == escpos::Mode::Raster) {
        QVERIFY(print.lines.isEmpty());
        QCOMPARE(print.image.width(), setup.paper.printableDots());
        QCOMPARE(print.image.height(), heightDots(lines));
        QCOMPARE(print.image, image(lines, setup.paper).convertToFormat(QImage::Format_RGB32));
        // Against the page Qt prints: the same rows carry ink, to a dot.
        if (hasTool("pdftoppm")) {
            QTemporaryDir dir;
            const QString pdf = printPdf(dir, lines, setup.paper);
            const QString png = dir.filePath(QStringLiteral("page"));
            QCOMPARE(
                QProcess::execute(QStringLiteral("pdftoppm"),
                                  {QStringLiteral("-r"), QString::number(kDotsPerMm * 25.4), QStringLiteral("-gray"),
                                   QStringLiteral("-png"), QStringLiteral("-singlefile"), pdf, png}),
                0);
            const QImage page = QImage(png + QStringLiteral(".png")).convertToFormat(QImage::Format_Grayscale8);
            const auto inkRows = [](const QImage& img, int left, int width) {
                QList<int> rows;
                for (int y = 0; y < img.height(); ++y)
                    for (int x = left; x < left + width && x < img.width(); ++x)
                        if (qGray(img.pixel(x, y)) < 128) {
                            rows << y;
                            break;
                        }
                return rows;
            };
            const QList<int> raster = inkRows(print.image, 0, print.image.width());
            const QList<int> drawn = inkRows(page, setup.paper.marginDots(), setup.paper.printableDots());
            QVERIFY(!raster.isEmpty());
            int near = 0;
            for (int y : raster)
                near += drawn.contains(y) || drawn.contains(y - 1) || drawn.contains(y + 1);
            QVERIFY2(near >= raster.size() * 95 / 100,
                     qPrintable(QStringLiteral("%1 of %2").arg(near).arg(raster.size())));
        }
    } else {
        QVERIFY(print.chineseMode);
        QCOMPARE(print.lines, texts(lines));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QCOMPARE(print.doubleHeightLines.at(i), lines.at(i).style == Style::Title);
            QCOMPARE(print.boldLines.at(i), lines.at(i).style != Style::Normal);
        }
    }
    QVERIFY2(golden.readAll() == bytes, "the bytes differ from the stored stream");
}

// GBK cannot write every character; GB18030 can. A printer that starts in
// Chinese mode is not sent FS &.
void TestPosReceipt::textEncodingAndChineseMode()
{
    const QString name = QStringLiteral("𠮷野家护膝");
    QCOMPARE(escpos::encode(name, escpos::Mode::Gbk),
             QByteArray("?") + escpos::encode(QStringLiteral("野家护膝"), escpos::Mode::Gbk));
    QCOMPARE(decodeGb18030(escpos::encode(name, escpos::Mode::Gb18030)), name);
    QCOMPARE(escpos::encode(QStringLiteral("退货"), escpos::Mode::Gbk), QByteArray("\xCD\xCB\xBB\xF5"));

    Receipt r = sample();
    r.cash = 0; // not a cash sale: no drawer
    ReceiptSetup setup;
    setup.escPos = true;
    setup.options.chineseMode = false;
    setup.options.openDrawer = true;
    const EscPosPrint print = decodeEscPos(escPosBytes(r, setup));
    QVERIFY(!print.chineseMode);
    QVERIFY(!escPosBytes(r, setup).contains(escpos::chineseModeOn()));
    QCOMPARE(print.drawerPulses, 0);
    QCOMPARE(print.cuts, 1);
}

// The slip panel's print call with an ESC/POS printer on TCP: it returns once
// the bytes are handed over, and the printer gets the sale's receipt.
void TestPosReceipt::networkPrinterGetsTheReceipt()
{
    TestShop shop;
    RecordingPort port;
    addSale(shop.dm(), QStringLiteral("张先生"), 30);
    Listener printer;
    Tpos settings;
    settings.field(Tpos::Address)->setText(QStringLiteral("体育路88号"));
    ReceiptSetup setup;
    setup.paper.widthMm = 58;
    setup.escPos = true;
    setup.port = {PrinterPort::Kind::Network, QStringLiteral("127.0.0.1:%1").arg(printer.port)};
    setup.options.openDrawer = true;
    settings.setSetup(setup);
    ReceiptSender sender;
    QSignalSpy finished(&sender, &ReceiptSender::finished);
    QVERIFY(printCurrentSale(shop.dm(), settings, currentSale(), sender, QPrinterInfo()));
    QVERIFY(finished.wait(30000));
    QCOMPARE(finished.first().first().toString(), QString());
    QVERIFY(port.entries.isEmpty());
    const EscPosPrint print = decodeEscPos(printer.wait());
    QCOMPARE(print.unknown, -1);
    QCOMPARE(print.drawerPulses, 1);
    QCOMPARE(print.cuts, 1);
    const QString all = print.lines.join(u'\n');
    for (const QString& part :
         {QStringLiteral("Tarvik运动用品店"), QStringLiteral("地址：体育路88号"), QStringLiteral("客户：张先生"),
          QStringLiteral("[退货]运动护"), QStringLiteral("欠款:                    30.00元"),
          QStringLiteral("合计:                  1052.00元")})
        QVERIFY2(all.contains(part), qPrintable(part));
    QVERIFY(!all.contains(QStringLiteral("别的")));
}

// A printer that is missing, refuses or is not set up: one Chinese message,
// the sale rows as they were, and printing again works once it is there.
void TestPosReceipt::printerErrorsLeaveTheSale()
{
    TestShop shop;
    RecordingPort port;
    addSale(shop.dm());
    const QString before = contentOf(shop.dbPath());
    Tpos settings;
    ReceiptSetup setup;
    setup.escPos = true;
    ReceiptSender sender;
    QSignalSpy finished(&sender, &ReceiptSender::finished);
    int closedPort = 0;
    {
        Listener gone;
        closedPort = gone.port;
    }
    const struct
    {
        PrinterPort port;
        QString message;
    } cases[] = {
        {{PrinterPort::Kind::DeviceFile, QStringLiteral("/dev/usb/lp9")},
         QStringLiteral("找不到小票打印机“/dev/usb/lp9”：请检查打印机电源和USB连接。")},
        {{PrinterPort::Kind::Network, QStringLiteral("127.0.0.1:%1").arg(closedPort)},
         QStringLiteral("小票打印机 127.0.0.1:%1 拒绝连接：请检查打印机是否开机、地址和端口是否正确。")
             .arg(closedPort)},
        {{PrinterPort::Kind::Network, QString()},
         QStringLiteral("小票打印机的网络地址没有设置，请在“打印设置”中填写（如 192.168.1.100）。")},
    };
    for (const auto& c : cases) {
        port.clear();
        finished.clear();
        setup.port = c.port;
        settings.setSetup(setup);
        QVERIFY(printCurrentSale(shop.dm(), settings, currentSale(), sender, QPrinterInfo()));
        QVERIFY(finished.wait(30000));
        QCOMPARE(port.texts(), QStringList{c.message});
    }
    QCOMPARE(contentOf(shop.dbPath()), before);

    // The device is there now (a plain file stands in for it): the same receipt prints.
    QTemporaryDir dir;
    const QString device = dir.filePath(QStringLiteral("lp0"));
    QFile(device).open(QIODevice::WriteOnly);
    port.clear();
    finished.clear();
    setup.port = {PrinterPort::Kind::DeviceFile, device};
    settings.setSetup(setup);
    QVERIFY(printCurrentSale(shop.dm(), settings, currentSale(), sender, QPrinterInfo()));
    QVERIFY(finished.wait(30000));
    QVERIFY(port.entries.isEmpty());
    QFile written(device);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QVERIFY(decodeEscPos(written.readAll()).lines.join(u'\n').contains(QStringLiteral("斯伯丁7号篮球比赛用球")));
}

// Through a CUPS queue in raw mode: the scheduler passes the bytes unchanged
// to the printer's socket (here the test's listener).
void TestPosReceipt::rawCupsQueue()
{
    if (!run(QStringLiteral("lpstat"), {QStringLiteral("-r")}).contains(QStringLiteral("is running")) ||
        !hasTool("lpadmin"))
        QSKIP("no CUPS scheduler; scripts/test.sh starts one");
    Listener printer;
    const QString queue = QStringLiteral("tarvik-receipt-raw");
    if (QProcess::execute(QStringLiteral("lpadmin"),
                          {QStringLiteral("-p"), queue, QStringLiteral("-E"), QStringLiteral("-v"),
                           QStringLiteral("socket://127.0.0.1:%1").arg(printer.port)}) != 0)
        QSKIP("cannot add a CUPS queue here (lpadmin needs root or the lpadmin group)");
    struct Remove
    {
        QString queue;
        ~Remove() { QProcess::execute(QStringLiteral("lpadmin"), {QStringLiteral("-x"), queue}); }
    } remove{queue};
    TestShop shop;
    RecordingPort port;
    addSale(shop.dm());
    Tpos settings;
    ReceiptSetup setup;
    setup.escPos = true;
    setup.paper.widthMm = 80;
    setup.port = {PrinterPort::Kind::CupsQueue, queue};
    settings.setSetup(setup);
    ReceiptSender sender;
    QSignalSpy finished(&sender, &ReceiptSender::finished);
    QVERIFY(printCurrentSale(shop.dm(), settings, currentSale(), sender, QPrinterInfo()));
    QVERIFY(finished.wait(30000));
    QVERIFY2(port.entries.isEmpty(), qPrintable(port.texts().join(u'|')));
    const QByteArray received = printer.wait(60000);
    QVERIFY2(!received.isEmpty(), "the queue sent nothing");
    const EscPosPrint print = decodeEscPos(received);
    QCOMPARE(print.unknown, -1);
    QVERIFY(print.initialised);
    QCOMPARE(print.cuts, 1);
    // The article table arrives as laid out for 80 mm.
    const QStringList want = texts(layout(sample(), 48));
    const qsizetype at = print.lines.indexOf(QRegularExpression(QStringLiteral("商品名称.*")));
    QVERIFY(at > 0);
    QCOMPARE(print.lines.mid(at, 4), want.mid(want.indexOf(QRegularExpression(QStringLiteral("商品名称.*"))), 4));
}

void TestPosReceipt::printedThroughCupsPageDriver()
{
    if (QPrinterInfo::defaultPrinter().isNull() || !hasTool("pdftotext"))
        QSKIP("no default CUPS queue or no pdftotext; scripts/test.sh sets up the cups-pdf queue");
    TestShop shop;
    RecordingPort port;
    Tdmfm& dm = shop.dm();
    addSale(dm);
    Tpos texts;
    texts.field(Tpos::Pos1)->setText(QStringLiteral("体育用品店小票")); // unsaved texts print too
    ReceiptSender sender;
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    QVERIFY(printCurrentSale(dm, texts, currentSale(), sender));
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
    // what the queue printed must still be one page as long as the receipt.
    const QString info = run(QStringLiteral("pdfinfo"), {pdf});
    QVERIFY2(info.contains(QStringLiteral("Pages:           1")), qPrintable(info));
    const auto size = QRegularExpression(QStringLiteral(R"(Page size:\s+([\d.]+) x ([\d.]+) pts)")).match(info);
    QVERIFY2(size.hasMatch(), qPrintable(info));
    const double expectedMm =
        (heightDots(layout(*currentSale(dm, texts, ::currentSale()), Paper{80}.columns())) + kFeedDots) /
        double(kDotsPerMm);
    QVERIFY2(qAbs(size.captured(2).toDouble() * 25.4 / 72 - expectedMm) < 5,
             qPrintable(QStringLiteral("%1 pt for %2 mm").arg(size.captured(2)).arg(expectedMm)));
}

void TestPosReceipt::noPrinterGivesOneMessage()
{
    TestShop shop;
    RecordingPort port;
    Tpos texts;
    ReceiptSender sender;
    QVERIFY(!printCurrentSale(
        shop.dm(), texts, {QStringLiteral("1"), QStringLiteral("超级管理员"), QStringLiteral("5"), QStringLiteral("5")},
        sender, QPrinterInfo()));
    QCOMPARE(port.texts(), QStringList{noPrinterText()});
    // A cash text that is no number stops the receipt before any printer is asked.
    port.clear();
    QVERIFY(!printCurrentSale(
        shop.dm(), texts, {QStringLiteral("1"), QStringLiteral("超级管理员"), QStringLiteral("5"), QStringLiteral(".")},
        sender));
    QCOMPARE(port.texts(), QStringList{QStringLiteral("'.' is not a valid floating point value")});
}

QTEST_MAIN(TestPosReceipt)
#include "tst_posreceipt.moc"
