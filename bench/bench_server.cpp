// Server shop bench: a private PostgreSQL cluster started for the run
// (scripts/pgcluster.sh into a temporary folder, stopped at the end), a shop
// on it of 10,000 stock rows and 100,000 sale rows (or "--stock N" and
// "--sales M"), then
//   case=sale_confirm    a new customer's sale end to end through the store: a
//                        sale number from the server's day counter, the sale's
//                        transaction with the stock row locked, the loaded
//                        stock and sales tables updated;
//   case=notify_visible  from till A's committed sale to till B's loaded stock
//                        table holding the row's new figures, both tills in
//                        this process, B only processing events;
//   case=login           the login button to a painted, usable main window of
//                        a program started on the server shop (its stock table
//                        read from the server).
// Each line gives the median over the runs. Run it offscreen
// (QT_QPA_PLATFORM=offscreen).

#include "benchsupport.h"

#include "core/clock.h"
#include "core/salenumber.h"
#include "store/db/columns.h"
#include "store/db/salenumbers.h"
#include "store/db/serverconnection.h"
#include "store/db/serverschema.h"
#include "store/db/shoplocation.h"
#include "store/memory/memtable.h"
#include "store/memory/stockqueries.h"
#include "store/ops/saleops.h"
#include "store/ops/tdmfm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <vector>

namespace {

bool fail(const QString& error)
{
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return false;
}

// The cluster of the run; stopped and removed with this object.
class Cluster final
{
public:
    Cluster() { m_dir = m_tmp.filePath(QStringLiteral("pg")); }
    ~Cluster()
    {
        if (!m_conninfo.isEmpty())
            QProcess::execute(QStringLiteral("bash"), {script(), QStringLiteral("stop"), m_dir});
    }
    bool start()
    {
        if (QProcess::execute(QStringLiteral("bash"), {script(), QStringLiteral("start"), m_dir}) != 0)
            return fail(QStringLiteral("the PostgreSQL cluster did not start"));
        QFile f(m_dir + QStringLiteral("/conninfo"));
        if (!f.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("no connection string from the cluster"));
        m_conninfo = QString::fromUtf8(f.readAll()).trimmed();
        return !m_conninfo.isEmpty();
    }
    QString conninfo() const { return m_conninfo; }

private:
    static QString script() { return QStringLiteral(TARVIK_SOURCE_DIR "/scripts/pgcluster.sh"); }
    QTemporaryDir m_tmp;
    QString m_dir;
    QString m_conninfo;
};

// The delivered shop with `stockRows` stock rows (plenty on hand) and
// `saleRows` sale rows spread over them, three hundred numbers a day.
bool buildShop(const QString& conninfo, int stockRows, int saleRows)
{
    ServerConnection db;
    QString error;
    if (!db.open(conninfo, &error) || !serverschema::createDelivered(db, &error))
        return fail(error);
    const Statement stock{
        QStringLiteral("insert into data (a, b, c, d, g, [1], [2], [3], [4], [5], [6], [7], [8], day1)"
                       " select '球' || g, 'M' || (g % 50), 'C' || g, '球类', '供货商', 10, 1000000, 10000000, 25,"
                       " 0, 0, 1000000, 10000000, '2026-03-02' from generate_series(1, ?::int) g"),
        {stockRows}};
    const Statement sales{
        QStringLiteral("insert into data1 (a, b, c, d, g, z, [1], [2], [3], [4], a5, [6], day1, day2, stockrow)"
                       " select '球' || s, 'M', 'C' || s, '球类', '顾客' || (g % 997),"
                       " to_char(date '2025-01-01' + g / 300, 'YYYYMMDD') || lpad((g % 300 + 1)::text, 3, '0'),"
                       " 10, 25, 1, 25, 15, 0,"
                       " to_char(date '2025-01-01' + g / 300, 'YYYY-MM-DD'), '2026-03-02', s"
                       " from (select g, 1 + g % ?::int as s from generate_series(0, ?::int - 1) g) x"),
        {stockRows, saleRows}};
    if (!db.exec(stock, &error) || !db.exec(sales, &error) || !db.exec(QStringLiteral("analyze"), &error))
        return fail(error);
    return true;
}

double loadedStock(Tdmfm& dm, qint64 rowId)
{
    MemTable& t = dm.stock().table();
    const int pos = t.position(rowId);
    return pos < 0 ? -1 : t.number(pos, t.columnIndex(stockcol::stockQuantity));
}

std::optional<saleops::SaleInput> newSale(Tdmfm& dm, qint64 rowId)
{
    QString error;
    const std::optional<SaleNumber> number = salenumbers::take(dm.db(), wallclock::today(), &error);
    if (!number) {
        fail(error);
        return std::nullopt;
    }
    saleops::SaleInput in;
    in.stockRowId = rowId;
    in.quantity = QStringLiteral("1");
    in.price = QStringLiteral("24.5");
    in.owed = QStringLiteral("0");
    in.saleNumber = number->text();
    in.saleDate = wallclock::today().toString(QStringLiteral("yyyy-MM-dd"));
    in.customer = QStringLiteral("顾客");
    return in;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QStringList args = app.arguments();
    // A modest shop unless the command line names a size.
    DemoShopSize size = DemoShopSize::fromArguments(&args);
    if (args.size() == app.arguments().size())
        size = DemoShopSize{10000, 100000};

    Cluster cluster;
    if (!cluster.start() || !buildShop(cluster.conninfo(), size.stockRows, size.sales))
        return 1;
    const ShopLocation shop = ShopLocation::server(cluster.conninfo());
    {
        std::vector<double> logins;
        for (int i = 0; i < 3; ++i) {
            LoginSession session;
            if (!session.start(shop))
                return 1;
            logins.push_back(session.loginMs);
        }
        std::printf("case=login engine=postgres stock=%d rows=%d median_ms=%.1f\n", size.stockRows, size.sales,
                    median(logins));
        std::fflush(stdout);
    }
    Tdmfm tillA;
    Tdmfm tillB;
    for (Tdmfm* dm : {&tillA, &tillB}) {
        if (const Result<void> opened = dm->open(shop); !opened)
            return fail(opened.error().text), 1;
        if (const Result<void> shown = dm->stock().showAll(stockq::ZeroStock::Shown); !shown)
            return fail(shown.error().text), 1;
        if (const auto fresh = dm->sales().fresh(); !fresh)
            return fail(fresh.error().text), 1;
    }
    QRandomGenerator random(7);
    const int runs = 200;

    bool failed = false;
    std::vector<double> times;
    for (int i = 0; i < runs && !failed; ++i) {
        const qint64 rowId = 1 + random.bounded(size.stockRows);
        QElapsedTimer t;
        t.start();
        const std::optional<saleops::SaleInput> in = newSale(tillA, rowId);
        const Result<qint64> sold = in ? saleops::recordSale(tillA, *in) : Result<qint64>(Error::engine({}));
        times.push_back(t.nsecsElapsed() / 1e6);
        failed = !sold && fail(sold.error().text);
    }
    if (failed)
        return 1;
    std::printf("case=sale_confirm engine=postgres stock=%d rows=%d median_ms=%.2f\n", size.stockRows,
                size.sales + runs, median(times));
    std::fflush(stdout);

    // Till B only waits for events; a timer wakes it now and then so that a
    // lost notification shows as a failure instead of a hang.
    QTimer wake;
    wake.start(50);
    times.clear();
    for (int i = 0; i < runs / 4 && !failed; ++i) {
        QCoreApplication::processEvents();
        const qint64 rowId = 1 + random.bounded(size.stockRows);
        const double expected = loadedStock(tillB, rowId) - 1;
        const std::optional<saleops::SaleInput> in = newSale(tillA, rowId);
        // Till A publishes its sale once it is committed: the clock starts there.
        QElapsedTimer t;
        const QMetaObject::Connection committed =
            QObject::connect(&tillA, &Tdmfm::changed, &tillA, [&t] { t.start(); });
        const bool sold = in && saleops::recordSale(tillA, *in);
        QObject::disconnect(committed);
        if (!sold || !t.isValid())
            return fail(QStringLiteral("the sale on till A failed")), 1;
        while (loadedStock(tillB, rowId) != expected && t.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (loadedStock(tillB, rowId) != expected)
            return fail(QStringLiteral("till B never saw till A's sale")), 1;
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf("case=notify_visible engine=postgres stock=%d median_ms=%.2f\n", size.stockRows, median(times));
    printRss(size.stockRows);
    return 0;
}
