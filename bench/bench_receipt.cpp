// Receipt bench: the slip panel's "POS小票打印" path with an ESC/POS printer on
// the network (a listener on the loopback standing in for TCP 9100), then
//   case=receipt_send  the print call end to end as the window sees it: the
//                      sale's rows read, the receipt laid out, encoded (text
//                      or raster) and handed to the sender; median over the runs;
//                      delivered_ms is the median until the printer had every byte.
// With --picture FILE.png it also draws the receipt of a sample sale at 58 and
// 80 mm through Qt printing (a PDF turned into PNG by pdftoppm), side by side.

#include "app/startup.h"
#include "benchsupport.h"
#include "core/messageport.h"
#include "print/posreceipt.h"
#include "print/receiptsender.h"
#include "print/tpos.h"
#include "store/db/columns.h"
#include "store/ops/tdmfm.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Accepts connections on the loopback and reads each to its end.
class Listener
{
public:
    Listener()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_fd, 16);
        socklen_t len = sizeof a;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        m_thread = std::thread([this] {
            for (;;) {
                const int c = ::accept(m_fd, nullptr, nullptr);
                if (c < 0)
                    return;
                char buf[65536];
                while (::read(c, buf, sizeof buf) > 0) {
                }
                ::close(c);
                ++received;
            }
        });
    }
    ~Listener()
    {
        ::shutdown(m_fd, SHUT_RDWR);
        ::close(m_fd);
        m_thread.join();
    }
    int port = 0;
    std::atomic<int> received{0};

private:
    int m_fd = -1;
    std::thread m_thread;
};

posreceipt::Receipt sampleReceipt()
{
    posreceipt::Receipt r;
    r.shop = QStringLiteral("Tarvik运动用品店");
    r.address = QStringLiteral("体育路88号");
    r.phone = QStringLiteral("0571-88886666");
    r.title = QStringLiteral("POS小票销售单");
    r.saleNumber = QStringLiteral("20260105001");
    r.cashier = QStringLiteral("超级管理员");
    r.printedAt = QStringLiteral("2026-01-05 10:20:30");
    r.customer = QStringLiteral("张先生");
    r.articles = {
        {QStringLiteral("斯伯丁7号篮球比赛用球"), 2, 239.0, 478.0},
        {QStringLiteral("李宁羽毛球拍N90"), 1, 599.0, 599.0},
        {QStringLiteral("运动护腕"), -1, 25.0, -25.0},
    };
    posreceipt::setAmounts(r, 1052, 1100);
    r.promotion1 = QStringLiteral("Tarvik进销存软件提供技术支持");
    r.promotion2 = QStringLiteral("官网：https://tarvik.example.com");
    r.closing = QStringLiteral("欢迎下次惠顾！");
    return r;
}

bool picture(const QString& file)
{
    QTemporaryDir dir;
    QList<QImage> pages;
    for (int mm : {58, 80}) {
        const QString pdf = dir.filePath(QStringLiteral("r%1.pdf").arg(mm));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setResolution(600);
        QString error;
        const posreceipt::Paper paper{mm};
        if (!posreceipt::print(printer, posreceipt::layout(sampleReceipt(), paper.columns()), paper, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return false;
        }
        const QString png = dir.filePath(QStringLiteral("r%1").arg(mm));
        if (QProcess::execute(QStringLiteral("pdftoppm"),
                              {QStringLiteral("-r"), QStringLiteral("160"), QStringLiteral("-png"),
                               QStringLiteral("-singlefile"), pdf, png}) != 0)
            return false;
        pages << QImage(png + QStringLiteral(".png"));
    }
    const int gap = 24;
    int width = gap, height = 0;
    for (const QImage& p : pages) {
        width += p.width() + gap;
        height = std::max(height, p.height());
    }
    QImage out(width, height + 2 * gap, QImage::Format_RGB32);
    out.fill(QColor(0xd8, 0xd8, 0xd8));
    QPainter painter(&out);
    int x = gap;
    for (const QImage& p : pages) {
        painter.fillRect(x + 3, gap + 3, p.width(), p.height(), QColor(0xa0, 0xa0, 0xa0));
        painter.drawImage(x, gap, p);
        x += p.width() + gap;
    }
    painter.end();
    return out.save(file);
}

void run()
{
    QTemporaryDir dir;
    const QString admin = QCoreApplication::applicationDirPath() + QStringLiteral("/tarvik-admin");
    if (QProcess::execute(admin, {QStringLiteral("init"), dir.path()}) != 0) {
        std::fprintf(stderr, "could not create a database with %s\n", qPrintable(admin));
        return;
    }
    PrintingPort port;
    setMessagePort(&port);
    Tdmfm dm;
    if (const Result<void> opened = dm.open(dir.path() + QStringLiteral("/data.mdb")); !opened) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.error().text));
        return;
    }
    for (const posreceipt::Article& a : sampleReceipt().articles)
        (void)dm.appendRow(QStringLiteral("data1"), {{QString(salecol::name), a.name},
                                                     {QString(salecol::saleNumber), QStringLiteral("20260105001")},
                                                     {QString(salecol::price), a.price},
                                                     {QString(salecol::quantity), a.quantity},
                                                     {QString(salecol::amount), a.amount}});
    Listener listener;
    Tpos settings;
    ReceiptSetup setup;
    setup.escPos = true;
    setup.port = {PrinterPort::Kind::Network, QStringLiteral("127.0.0.1:%1").arg(listener.port)};
    ReceiptSender sender;
    for (const auto& [name, mode] :
         {std::pair{"gb18030", escpos::Mode::Gb18030}, std::pair{"raster", escpos::Mode::Raster}}) {
        setup.options.mode = mode;
        for (int mm : {58, 80}) {
            setup.paper.widthMm = mm;
            settings.setSetup(setup);
            std::vector<double> handed, delivered;
            for (int i = 0; i < 21 && port.failures == 0; ++i) {
                QEventLoop loop;
                QElapsedTimer t;
                double done = 0;
                const auto c = QObject::connect(&sender, &ReceiptSender::finished, &loop, [&] {
                    done = double(t.nsecsElapsed()) / 1e6;
                    loop.quit();
                });
                t.start();
                posreceipt::printCurrentSale(dm, settings,
                                             {QStringLiteral("20260105001"), QStringLiteral("超级管理员"),
                                              QStringLiteral("1052"), QStringLiteral("1100")},
                                             sender);
                handed.push_back(double(t.nsecsElapsed()) / 1e6);
                QTimer::singleShot(10000, &loop, &QEventLoop::quit);
                loop.exec();
                QObject::disconnect(c);
                delivered.push_back(done);
            }
            std::printf("case=receipt_send mode=%s paper_mm=%d rows=3 median_ms=%.2f delivered_ms=%.2f\n", name, mm,
                        median(handed), median(delivered));
            std::fflush(stdout);
        }
    }
    setMessagePort(nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    BenchApplication bench(argc, argv);
    QApplication& app = bench.app;
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--picture"));
    if (at > 0 && at + 1 < args.size() && !picture(args.at(at + 1)))
        return 1;
    run();
    return 0;
}
