// Sale bench: a shop of 100,000 stock rows and 1,000,000 sale rows (or the
// sizes given as arguments), then
//   case=panel_first_open the sale panel's first opening with the sale table
//                       in memory (as read in the background after the login),
//                       its customer list filled;
//   case=sale_confirm   the sale panel's confirm end to end: the sale's
//                       transaction, the in-memory stock row, the stock list,
//                       the customer list and the slip panel's rows and total,
//                       painted;
//   case=slip_query     the slip's rows of one sale number;
//   case=slip_like_scan the same rows by a plain LIKE over every sale row, for
//                       comparison;
//   case=customer_list, customer_by_name, customer_by_number
//                       the sale panel's customer list and its lookups by
//                       name and by sale number, from the loaded sale table.
// Each line gives the median over the runs.

#include "benchsupport.h"

#include "app/startup.h"

#include "core/messageport.h"
#include "pos/poshost.h"
#include "pos/salepanel.h"
#include "pos/slippanel.h"
#include "store/db/database.h"
#include "store/memory/stockqueries.h"
#include "store/ops/salelookup.h"
#include "store/ops/tdmfm.h"

#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

class Host final : public PosHost
{
public:
    explicit Host(Tdmfm& dm)
        : m_dm(dm)
    {
    }
    // Shows every stock row, as "全部记录" does.
    void loadStock() { (void)m_dm.stock().showAll(stockq::ZeroStock::Shown); }
    void showNotice(const QString&) override {}
    QString userName() const override { return QStringLiteral("超级管理员"); }
    void saleOpened(const QString&) override {}
    void saleClosed() override {}

private:
    Tdmfm& m_dm;
};

bool fail(const QString& error)
{
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return false;
}

// The admin tool's sample shop, its stock rows copied up to `stockRows` with
// plenty on hand, and sale rows up to `saleRows`: five rows a number, three
// hundred numbers a day, as a busy till writes them.
bool buildShop(const QString& folder, int stockRows, int saleRows)
{
    const QString admin = QCoreApplication::applicationDirPath() + QStringLiteral("/tarvik-admin");
    const int seedRows = std::min(stockRows, 3000);
    if (QProcess::execute(admin, {QStringLiteral("demo"), QStringLiteral("--stock"), QString::number(seedRows),
                                  QStringLiteral("--sales"), QStringLiteral("1500"), folder}) != 0)
        return fail(QStringLiteral("could not fill the sample database with ") + admin);
    Database db;
    QString error;
    if (!db.open(folder + QStringLiteral("/data.mdb"), false, &error))
        return fail(error);
    db.exec(QStringLiteral("PRAGMA synchronous = OFF"), &error);
    Transaction t(db);
    if (!growStock(db, seedRows, stockRows, &error))
        return fail(error);
    const Statement sales{
        QStringLiteral("with recursive n(k) as (select (select count(*) from data1) union all "
                       "select k + 1 from n where k + 1 < ?) "
                       "insert into data1 (a,b,c,d,e,f,g,z,[1],[2],[3],[4],a5,[6],day1,day2) "
                       "select '商品' || (k % 977), '型号' || (k % 13), 'C' || (k % 977), '球类', 'sp', 'xh', "
                       "'顾客' || (k % 501), strftime('%Y%m%d', '2023-01-01', '+' || (k / 1500) || ' days') || "
                       "printf('%03d', (k / 5) % 300 + 1), 10, 19.9, 1, 19.9, 9.9, 0, "
                       "strftime('%Y-%m-%d', '2023-01-01', '+' || (k / 1500) || ' days'), '2022-12-01' from n"),
        {saleRows}};
    if (!db.exec(sales, &error) || !db.exec(QStringLiteral("update data set [2]=[2]+100000, [7]=[7]+100000"), &error))
        return fail(error);
    return t.commit(&error);
}

void run(int stockRows, int saleRows)
{
    QTemporaryDir dir;
    if (!buildShop(dir.path(), stockRows, saleRows))
        return;
    PrintingPort port;
    setMessagePort(&port);
    Tdmfm dm;
    QString error;
    if (const Result<void> opened = dm.open(dir.path() + QStringLiteral("/data.mdb")); !opened) {
        fail(opened.error().text);
        return;
    }
    Host host(dm);
    host.loadStock();
    QWidget window;
    window.resize(1200, 800);
    auto* sale = new SalePanel(dm, host, &window);
    auto* slip = new SlipPanel(dm, *sale, &window);
    window.show();
    slip->show();
    QApplication::processEvents();

    std::printf("# %d stock rows, %d sale rows\n", stockRows, saleRows);
    // The sale table in memory, as the read in the background after the login
    // leaves it; then the panel's first opening, its customer list included.
    if (!dm.sales().fresh()) {
        fail(QStringLiteral("could not read the sale table"));
        return;
    }
    {
        QElapsedTimer t;
        t.start();
        (void)sale->openForRow(dm.stock().list(), 0);
        QApplication::processEvents();
        std::printf("case=panel_first_open rows=%d ms=%.1f customers=%d\n", saleRows, double(t.nsecsElapsed()) / 1e6,
                    sale->customerList()->count());
        sale->hide();
    }
    std::vector<double> confirm;
    for (int i = 0; i < 21 && port.failures == 0; ++i) {
        if (!sale->openForRow(dm.stock().list(), (i * 4099) % dm.stock().list().rowCount()))
            continue;
        QApplication::processEvents();
        QElapsedTimer t;
        t.start();
        const bool saved = sale->confirm();
        QApplication::processEvents();
        confirm.push_back(double(t.nsecsElapsed()) / 1e6);
        if (!saved)
            break;
    }
    std::printf("case=sale_confirm rows=%d median_ms=%.2f\n", saleRows, median(confirm));

    // A number from the middle of the stored sales.
    const QString number =
        QDate(2023, 1, 1).addDays(saleRows / 3000).toString(QStringLiteral("yyyyMMdd")) + QStringLiteral("123");
    std::vector<double> slipTimes, scanTimes;
    qsizetype found = 0, scanned = 0;
    for (int i = 0; i < 21; ++i) {
        QueryResult r;
        QElapsedTimer t;
        t.start();
        dm.db().query(salelookup::slipRows(number), &r, &error);
        slipTimes.push_back(double(t.nsecsElapsed()) / 1e6);
        found = r.rows.size();
        if (i < 5) {
            t.restart();
            dm.db().query(Statement{QStringLiteral("select * from data1 where z like ?"),
                                    {QStringLiteral("%") + number + QStringLiteral("%")}},
                          &r, &error);
            scanTimes.push_back(double(t.nsecsElapsed()) / 1e6);
            scanned = r.rows.size();
        }
    }
    std::printf("case=slip_query rows=%d median_ms=%.3f found=%lld\n", saleRows, median(slipTimes), qint64(found));
    std::printf("case=slip_like_scan rows=%d median_ms=%.2f found=%lld\n", saleRows, median(scanTimes),
                qint64(scanned));
    std::fflush(stdout);

    // The sale panel's customer answers, from the loaded sale table: its
    // customer list, a name looked up as it is typed, a sale number's customer.
    std::vector<double> listTimes, nameTimes, numberTimes;
    qsizetype names = 0;
    for (int i = 0; i < 21; ++i) {
        QElapsedTimer t;
        t.start();
        names = dm.sales().customerNames().valueOr({}).size();
        listTimes.push_back(double(t.nsecsElapsed()) / 1e6);
        t.restart();
        (void)salelookup::customerByName(dm, QStringLiteral("顾客%1").arg(i * 23 % 501));
        nameTimes.push_back(double(t.nsecsElapsed()) / 1e6);
        t.restart();
        (void)salelookup::customerBySaleNumber(dm, number);
        numberTimes.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::printf("case=customer_list rows=%d median_ms=%.3f names=%lld\n", saleRows, median(listTimes), qint64(names));
    std::printf("case=customer_by_name rows=%d median_ms=%.3f\n", saleRows, median(nameTimes));
    std::printf("case=customer_by_number rows=%d median_ms=%.3f\n", saleRows, median(numberTimes));
    std::fflush(stdout);
    setMessagePort(nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    const BenchApplication bench(argc, argv);
    const int stockRows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    const int saleRows = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 1000000;
    run(stockRows, saleRows);
    printRss(saleRows);
    return 0;
}
