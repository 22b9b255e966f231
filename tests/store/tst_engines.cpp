// The store's operations on a shop file and on a shop on the test server:
// each case runs on both engines (the data column `engine`), except where
// only the server has the behaviour (other tills' writes pushed to this one).
#include "testserver.h"

#include "store/db/columns.h"
#include "store/db/salenumbers.h"
#include "store/db/schema.h"
#include "store/db/serverconnection.h"
#include "store/db/serverschema.h"
#include "store/db/shoplocation.h"
#include "store/memory/memtable.h"
#include "store/ops/salelookup.h"
#include "store/ops/saleops.h"
#include "store/ops/stockimport.h"
#include "store/ops/stockops.h"
#include "store/ops/tableloader.h"
#include "store/ops/tdmfm.h"
#include "store/ops/userqueries.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(ShopLocation::Kind)

namespace {

// An empty delivered shop on one engine.
class Shop final
{
public:
    Shop(ShopLocation::Kind kind, const QString& server)
    {
        QString error;
        if (kind == ShopLocation::Kind::File) {
            const QString path = m_dir.filePath(u"data.mdb"_s);
            m_valid = m_dir.isValid() && schema::createDeliveredFile(path, &error);
            m_location = ShopLocation::file(path);
        } else {
            m_scratch = std::make_unique<ScratchServerDatabase>(server);
            m_valid = m_scratch->isValid() && m_scratch->createShop(&error);
            if (!m_scratch->isValid())
                error = m_scratch->error();
            m_location = ShopLocation::server(m_scratch->connInfo());
        }
        m_error = error;
    }

    bool isValid() const { return m_valid; }
    QString error() const { return m_error; }
    const ShopLocation& location() const { return m_location; }
    // Opens `dm` on the shop; false with error() when either fails.
    bool openIn(Tdmfm& dm)
    {
        if (!m_valid)
            return false;
        const Result<void> opened = dm.open(m_location);
        if (!opened)
            m_error = opened.error().text;
        return opened.ok();
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<ScratchServerDatabase> m_scratch;
    ShopLocation m_location;
    bool m_valid = false;
    QString m_error;
};

// Takes `quantity` pieces of one article into stock, as the stock-in panel does.
Result<qint64> stockIn(Tdmfm& dm, const QString& name, const QString& quantity)
{
    const stockops::Entry entry{name,     u"M1"_s, u"C-"_s + name, u"球类"_s, u"10"_s,
                                quantity, u"25"_s, u"供货商"_s,    QString(), u"2026-03-02"_s};
    const stockops::HeldAmounts held{QString::number(10 * quantity.toDouble()), u"0"_s, u"0"_s, quantity,
                                     QString::number(10 * quantity.toDouble())};
    QString error;
    const std::optional<QVariantMap> values = stockops::rowValues(entry, held, held.stockAmount, &error);
    if (!values)
        return Error::invalid(error);
    return stockops::add(dm, *values);
}

saleops::SaleInput sale(qint64 stockRowId, const QString& quantity, const QString& number = u"20260302001"_s)
{
    saleops::SaleInput in;
    in.stockRowId = stockRowId;
    in.quantity = quantity;
    in.price = u"25"_s;
    in.saleNumber = number;
    in.saleDate = u"2026-03-02"_s;
    in.customer = u"O'Neil"_s;
    return in;
}

// The stock quantity the loaded stock table holds for a row; -1 when it holds no such row.
double loadedStock(Tdmfm& dm, qint64 rowId)
{
    MemTable& t = dm.stock().table();
    const int pos = t.position(rowId);
    return pos < 0 ? -1 : t.number(pos, t.columnIndex(stockcol::stockQuantity));
}

qint64 count(Tdmfm& dm, const QString& table)
{
    QueryResult r;
    QString error;
    if (!dm.db().query(Statement{u"select count(*) from "_s + table, {}}, &r, &error))
        return -1;
    return r.rows.at(0).at(0).toLongLong();
}

// A relay on 127.0.0.1 between tills and the test server, in a thread of its
// own. cut() pulls the cable: the relayed connections end, and new ones are
// neither refused nor answered (the listening socket takes them but nobody
// reads them); mend() lets connections through again.
class Relay final
{
public:
    explicit Relay(quint16 serverPort)
        : m_serverPort(serverPort)
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), size) != 0 ||
            ::listen(m_listen, 16) != 0 || ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &size) != 0)
            return;
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~Relay()
    {
        m_state = kStop;
        if (m_thread.joinable())
            m_thread.join();
        if (m_listen >= 0)
            ::close(m_listen);
    }
    quint16 port() const { return m_port; }
    void cut() { m_state = kCut; }
    void mend() { m_state = kRelay; }

private:
    static constexpr int kRelay = 0, kCut = 1, kSilent = 2, kStop = 3;

    int connectToServer() const
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(m_serverPort);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
            return fd;
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    void run()
    {
        std::vector<std::pair<int, int>> pairs; // client, server
        const auto closeAll = [&] {
            for (const auto& [c, srv] : pairs) {
                ::close(c);
                ::close(srv);
            }
            pairs.clear();
        };
        for (;;) {
            int state = m_state;
            if (state == kStop)
                return closeAll();
            if (state == kCut) {
                closeAll();
                m_state.compare_exchange_strong(state, kSilent);
                continue;
            }
            std::vector<pollfd> fds;
            if (state == kRelay)
                fds.push_back({m_listen, POLLIN, 0});
            for (const auto& [c, srv] : pairs) {
                fds.push_back({c, POLLIN, 0});
                fds.push_back({srv, POLLIN, 0});
            }
            if (::poll(fds.data(), fds.size(), 50) <= 0)
                continue;
            size_t at = 0;
            if (state == kRelay && (fds[at++].revents & POLLIN)) {
                const int c = ::accept(m_listen, nullptr, nullptr);
                const int srv = c >= 0 ? connectToServer() : -1;
                if (srv >= 0)
                    pairs.emplace_back(c, srv);
                else if (c >= 0)
                    ::close(c);
            }
            std::vector<std::pair<int, int>> kept;
            for (size_t i = 0; i < pairs.size(); ++i, at += 2) {
                bool open = true;
                for (const size_t side : {at, at + 1}) {
                    if (side >= fds.size() || !(fds[side].revents & (POLLIN | POLLHUP | POLLERR)))
                        continue;
                    const int from = fds[side].fd;
                    const int to = from == pairs[i].first ? pairs[i].second : pairs[i].first;
                    char buffer[65536];
                    const ssize_t n = ::read(from, buffer, sizeof buffer);
                    for (ssize_t done = 0; open && n > 0 && done < n;) {
                        const ssize_t w = ::write(to, buffer + done, size_t(n - done));
                        open = w > 0;
                        done += w > 0 ? w : 0;
                    }
                    open = open && n > 0;
                }
                if (open) {
                    kept.push_back(pairs[i]);
                } else {
                    ::close(pairs[i].first);
                    ::close(pairs[i].second);
                }
            }
            pairs = std::move(kept);
        }
    }

    quint16 m_serverPort;
    int m_listen = -1;
    quint16 m_port = 0;
    std::atomic<int> m_state{kRelay};
    std::thread m_thread;
};

// The server ends `till`'s session (as a restart of the server or a broken
// network would), asked by `other`. True once `till` has learnt of the loss
// from its connection's socket (the server's last words, then the end), which
// it reads while it waits for input.
bool endSession(Tdmfm& till, Tdmfm& other)
{
    QueryResult r;
    QString error;
    if (!till.db().query(Statement{u"select pg_backend_pid()"_s, {}}, &r, &error) ||
        !other.db().query(Statement{u"select pg_terminate_backend(?::int)"_s, {r.rows.at(0).at(0)}}, &r, &error))
        return false;
    return QTest::qWaitFor([&] { return till.db().server()->isBroken(); });
}

} // namespace

class TestEngines : public QObject
{
    Q_OBJECT

    QString m_server;

    void engines()
    {
        QTest::addColumn<ShopLocation::Kind>("engine");
        QTest::newRow("file") << ShopLocation::Kind::File;
        QTest::newRow("server") << ShopLocation::Kind::Server;
    }

private slots:
    void initTestCase() { TARVIK_REQUIRE_TEST_SERVER(m_server); }

    void stockInShowsInTheList_data() { engines(); }
    void stockInShowsInTheList()
    {
        QFETCH(ShopLocation::Kind, engine);
        Shop shop(engine, m_server);
        Tdmfm dm;
        QVERIFY2(shop.openIn(dm), qPrintable(shop.error()));
        QVERIFY(dm.stock().showAll(stockq::ZeroStock::Shown).ok());
        QCOMPARE(dm.stock().list().rowCount(), 0);

        const Result<qint64> first = stockIn(dm, u"篮球"_s, u"3"_s);
        QVERIFY2(first.ok(), qPrintable(first.ok() ? QString() : first.error().text));
        const Result<qint64> second = stockIn(dm, u"排球"_s, u"4"_s);
        QVERIFY(second.ok());
        QVERIFY(*second != *first);
        QVERIFY(dm.stock().showAll(stockq::ZeroStock::Shown).ok());
        RowSet& list = dm.stock().list();
        QCOMPARE(list.rowCount(), 2);
        QVERIFY(list.rowOf(*first) >= 0);
        QCOMPARE(list.value(list.rowOf(*second), QString(stockcol::name)).toString(), u"排球"_s);
        QCOMPARE(list.value(list.rowOf(*second), QString(stockcol::stockQuantity)).toDouble(), 4.0);
        // The row identity is the key the program stores for the row.
        QCOMPARE(list.value(list.rowOf(*second), QString(stockcol::id)).toLongLong(), *second);
    }

    // The import window's bulk stock-in goes into the open shop on either
    // engine (a server shop named as the window shows it), all rows in one
    // transaction, and the program's stock table learns them.
    void stockImportIntoTheOpenShop_data() { engines(); }
    void stockImportIntoTheOpenShop()
    {
        QFETCH(ShopLocation::Kind, engine);
        Shop shop(engine, m_server);
        Tdmfm dm;
        QVERIFY2(shop.openIn(dm), qPrintable(shop.error()));
        QVERIFY(dm.stock().showAll(stockq::ZeroStock::Shown).ok());

        QTemporaryDir dir;
        const QString sheet = dir.filePath(u"stock.csv"_s);
        QByteArray text = "a,b,c,d,e,f,g,a1,a2,a3,a4,a5,a6,a7,a8,z,day1\n";
        const int rows = 1203; // more than one statement's worth on the server
        for (int i = 1; i <= rows; ++i)
            text += QStringLiteral("球%1,M,C%1,球类,,,供货商,10.5,%1,%2,25,0,0,%1,%2,,2026-03-02\n")
                        .arg(i)
                        .arg(10.5 * i)
                        .toUtf8();
        QFile f(sheet);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(text) == text.size());
        f.close();

        const QString name = engine == ShopLocation::Kind::File ? dm.path() : dm.location().describe();
        const stockimport::Result r = stockimport::run(sheet, name, &dm);
        QVERIFY2(r.outcome == stockimport::Outcome::Imported, qPrintable(r.detail));
        QCOMPARE(r.rows, rows);
        QVERIFY(r.intoOpenDatabase);
        QCOMPARE(count(dm, u"data"_s), rows);
        QVERIFY(dm.stock().showAll(stockq::ZeroStock::Shown).ok());
        RowSet& list = dm.stock().list();
        QCOMPARE(list.rowCount(), rows);
        QStringList last;
        for (const QLatin1StringView c : {stockcol::name, stockcol::nameInitials, stockcol::purchasePrice,
                                          stockcol::stockQuantity, stockcol::stockAmount, stockcol::stockInDate})
            last << list.value(list.rowOf(rows), QString(c)).toString();
        QCOMPARE(last, (QStringList{u"球1203"_s, u"q1203"_s, u"10.5"_s, u"1203"_s, u"12631.5"_s, u"2026-03-02"_s}));
    }

    // A sale writes its sale row and lowers the stock; both rows are published
    // once, after the commit. A sale that fails after its first write
    // publishes nothing and leaves nothing.
    void salePublishedOnceAfterCommit_data() { engines(); }
    void salePublishedOnceAfterCommit()
    {
        QFETCH(ShopLocation::Kind, engine);
        Shop shop(engine, m_server);
        Tdmfm dm;
        QVERIFY2(shop.openIn(dm), qPrintable(shop.error()));
        const qint64 stockId = stockIn(dm, u"网球拍"_s, u"5"_s).valueOr(-1);
        QVERIFY(stockId > 0);
        QVERIFY(dm.stock().showAll(stockq::ZeroStock::Shown).ok());
        QVERIFY(dm.sales().fresh().ok());

        QList<StoreChange> published;
        connect(&dm, &Tdmfm::changed, this, [&](const StoreChange& c) { published << c; });
        const Result<qint64> saleId = saleops::recordSale(dm, sale(stockId, u"2"_s));
        QVERIFY2(saleId.ok(), qPrintable(saleId.ok() ? QString() : saleId.error().text));
        QCOMPARE(published.size(), 1);
        QCOMPARE(published.at(0).stockRows, QList<qint64>{stockId});
        QCOMPARE(published.at(0).saleRows, QList<qint64>{*saleId});
        QCOMPARE(loadedStock(dm, stockId), 3.0);
        MemTable& sales = dm.sales().table();
        QVERIFY(sales.position(*saleId) >= 0);
        QCOMPARE(sales.value(sales.position(*saleId), sales.columnIndex(salecol::customer)).toString(), u"O'Neil"_s);

        // Nothing of a sale rolled back is published: here its enclosing
        // transaction is never committed.
        published.clear();
        {
            Transaction outer(dm.db());
            QVERIFY(outer.begun());
            const Result<qint64> rolledBack = saleops::recordSale(dm, sale(stockId, u"1"_s));
            QVERIFY(rolledBack.ok());
        }
        QCOMPARE(published.size(), 0);
        QCOMPARE(count(dm, u"data1"_s), 1);
        QCOMPARE(loadedStock(dm, stockId), 3.0);
        QVERIFY(dm.stock().showAll(stockq::ZeroStock::Shown).ok());
        QCOMPARE(loadedStock(dm, stockId), 3.0);
        QCOMPARE(published.size(), 0);
    }

    // Another till's sale reaches this program's loaded stock table by itself,
    // while it only waits for input.
    void otherTillsSaleArrives()
    {
        Shop shop(ShopLocation::Kind::Server, m_server);
        QVERIFY2(shop.isValid(), qPrintable(shop.error()));
        Tdmfm tillA;
        Tdmfm tillB;
        QVERIFY(tillA.open(shop.location()).ok());
        QVERIFY(tillB.open(shop.location()).ok());
        const qint64 stockId = stockIn(tillA, u"羽毛球"_s, u"6"_s).valueOr(-1);
        QVERIFY(stockId > 0);
        QVERIFY(tillB.stock().showAll(stockq::ZeroStock::Shown).ok());
        QCOMPARE(loadedStock(tillB, stockId), 6.0);
        QCOMPARE(tillB.sales().customerNames().valueOr({u"failed"_s}), QStringList());
        // The stock-in has been told to till B by now (at its statements).
        QList<StoreChange> published;
        connect(&tillB, &Tdmfm::changed, this, [&](const StoreChange& c) { published << c; });

        QVERIFY(saleops::recordSale(tillA, sale(stockId, u"4"_s)).ok());
        QTRY_COMPARE_WITH_TIMEOUT(loadedStock(tillB, stockId), 2.0, 1000);
        QCOMPARE(tillB.sales().customerNames().valueOr({u"failed"_s}), QStringList{u"O'Neil"_s});
        RowSet& list = tillB.stock().list();
        QCOMPARE(list.value(list.rowOf(stockId), QString(stockcol::stockQuantity)).toDouble(), 2.0);
        QCOMPARE(published.size(), 1);
        QCOMPARE(published.at(0).stockRows, QList<qint64>{stockId});
    }

    // A till whose connection was lost makes it anew, at its next use or by
    // itself while it waits for input, and, having missed what was committed
    // meanwhile, reads its tables whole; the next sale arrives by itself.
    void lostConnectionReadsTablesWhole_data()
    {
        QTest::addColumn<bool>("idle");
        QTest::newRow("at the next use") << false;
        QTest::newRow("by itself while idle") << true;
    }
    void lostConnectionReadsTablesWhole()
    {
        QFETCH(bool, idle);
        Shop shop(ShopLocation::Kind::Server, m_server);
        QVERIFY2(shop.isValid(), qPrintable(shop.error()));
        Tdmfm tillA;
        Tdmfm tillB;
        QVERIFY(tillA.open(shop.location()).ok());
        QVERIFY(tillB.open(shop.location()).ok());
        const qint64 stockId = stockIn(tillA, u"哑铃"_s, u"6"_s).valueOr(-1);
        QVERIFY(stockId > 0);
        QVERIFY(tillB.stock().showAll(stockq::ZeroStock::Shown).ok());
        QVERIFY(endSession(tillB, tillA));

        QVERIFY(saleops::recordSale(tillA, sale(stockId, u"4"_s)).ok());
        if (idle) {
            QTRY_COMPARE_WITH_TIMEOUT(loadedStock(tillB, stockId), 2.0, 3 * Database::reconnectIntervalMs());
        } else {
            const Result<void> shown = tillB.stock().showAll(stockq::ZeroStock::Shown);
            QVERIFY2(shown.ok(), qPrintable(shown.ok() ? QString() : shown.error().text));
            QCOMPARE(loadedStock(tillB, stockId), 2.0);
        }
        RowSet& list = tillB.stock().list();
        QCOMPARE(list.value(list.rowOf(stockId), QString(stockcol::stockQuantity)), QVariant(2.0));
        QVERIFY(saleops::recordSale(tillA, sale(stockId, u"1"_s)).ok());
        QTRY_COMPARE_WITH_TIMEOUT(loadedStock(tillB, stockId), 1.0, 1000);
    }

    // A till whose server stops answering (a pulled cable: connections are
    // neither refused nor answered) keeps its window going while it tries to
    // connect again, and connects by itself once the cable is back.
    void silentServerDoesNotHoldTheWindow()
    {
        Shop shop(ShopLocation::Kind::Server, m_server);
        Tdmfm tillA;
        QVERIFY2(shop.openIn(tillA), qPrintable(shop.error()));
        const QRegularExpressionMatch port = QRegularExpression(u"port=(\\d+)"_s).match(shop.location().target());
        QVERIFY(port.hasMatch());
        Relay relay(quint16(port.captured(1).toUInt()));
        QVERIFY(relay.port() > 0);
        Tdmfm tillB;
        const ShopLocation throughRelay =
            ShopLocation::server(shop.location().target() + u" port=%1 connect_timeout=3"_s.arg(relay.port()));
        QVERIFY(tillB.open(throughRelay).ok());
        const qint64 stockId = stockIn(tillA, u"护膝"_s, u"6"_s).valueOr(-1);
        QVERIFY(stockId > 0);
        QVERIFY(tillB.stock().showAll(stockq::ZeroStock::Shown).ok());

        relay.cut();
        QTRY_VERIFY(tillB.db().server()->isBroken());
        // Two tries while nothing answers: each would hold the window for the
        // connection's timeout (3 s) if it waited for the answer there.
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0;
        qint64 longest = 0;
        while (clock.elapsed() < 2 * Database::reconnectIntervalMs() + 3500) {
            QTest::qWait(20);
            longest = std::max(longest, clock.elapsed() - last);
            last = clock.elapsed();
        }
        QVERIFY2(longest < 1000, qPrintable(u"the window waited %1 ms"_s.arg(longest)));
        QVERIFY(tillB.db().server()->isBroken());

        QVERIFY(saleops::recordSale(tillA, sale(stockId, u"4"_s)).ok());
        relay.mend();
        QTRY_COMPARE_WITH_TIMEOUT(loadedStock(tillB, stockId), 2.0, 3 * Database::reconnectIntervalMs() + 4000);
    }

    // The in-memory stock table holds what it holds on the file whichever
    // engine it was read from (the filters, sorts and sums depend on the kind
    // of each value and on the texts' NOCASE rule), and a server table larger
    // than one read batch is read whole.
    void tableLoadsAsFromTheFile()
    {
        Shop fileShop(ShopLocation::Kind::File, m_server);
        Shop serverShop(ShopLocation::Kind::Server, m_server);
        QVERIFY2(fileShop.isValid() && serverShop.isValid(), qPrintable(fileShop.error() + serverShop.error()));
        Tdmfm onFile;
        Tdmfm onServer;
        QVERIFY(onFile.open(fileShop.location()).ok());
        QVERIFY(onServer.open(serverShop.location()).ok());
        const QList<QVariantMap> rows{
            {{QString(stockcol::name), u"Nike 篮球"_s},
             {QString(stockcol::purchasePrice), 10.5},
             {QString(stockcol::quantityIn), 3.0},
             {QString(stockcol::salePrice), QVariant()},
             {QString(stockcol::stockInDate), u"2026-03-02"_s}},
            {{QString(stockcol::name), u"NIKE 篮球"_s},
             {QString(stockcol::purchasePrice), -0.1},
             {QString(stockcol::remark), u"O'Neil"_s}},
        };
        for (const QVariantMap& row : rows) {
            QVERIFY(onFile.appendRow(u"data"_s, row).ok());
            QVERIFY(onServer.appendRow(u"data"_s, row).ok());
        }
        MemTable& file = onFile.stock().table();
        MemTable& server = onServer.stock().table();
        QString error;
        QVERIFY2(file.load(&error), qPrintable(error));
        QVERIFY2(server.load(&error), qPrintable(error));
        QCOMPARE(server.rowCount(), file.rowCount());
        for (int f = 0; f < file.columns().size(); ++f) {
            const QString& name = file.columns().at(f);
            const int c = server.columnIndex(name);
            QVERIFY2(c >= 0, qPrintable(name));
            QCOMPARE(server.isNoCase(c), file.isNoCase(f));
            for (int pos = 0; pos < file.rowCount(); ++pos) {
                QCOMPARE(server.kind(pos, c), file.kind(pos, f));
                QCOMPARE(server.value(pos, c), file.value(pos, f));
            }
        }
        QVERIFY(server.columnIndex(u"rowid"_s) < 0);

        QVERIFY(onServer.db().exec(
            Statement{u"insert into data ([%1]) select 'x' || g from generate_series(1, 25000) g"_s.arg(stockcol::name),
                      {}},
            &error));
        QVERIFY2(server.load(&error), qPrintable(error));
        QCOMPARE(server.rowCount(), 25002);
        const int last = server.positionsInRowIdOrder().back();
        QCOMPARE(server.value(last, server.columnIndex(stockcol::name)).toString(), u"x25000"_s);
        QCOMPARE(server.value(last, server.columnIndex(stockcol::id)).toLongLong(), server.rowId(last));
    }

    // The customer names of the sale panel: each once (ASCII letters without
    // regard to case) in the Chinese order, the same list on both engines.
    void customerNamesAsOnTheFile()
    {
        QStringList names[2];
        for (const ShopLocation::Kind engine : {ShopLocation::Kind::File, ShopLocation::Kind::Server}) {
            Shop shop(engine, m_server);
            Tdmfm dm;
            QVERIFY2(shop.openIn(dm), qPrintable(shop.error()));
            const qint64 stockId = stockIn(dm, u"跳绳"_s, u"10"_s).valueOr(-1);
            for (const QString& customer : {u"张三"_s, u"o'neil"_s, u"李四"_s, u"O'Neil"_s, u"张三"_s, u"Anna"_s}) {
                saleops::SaleInput in = sale(stockId, u"1"_s);
                in.customer = customer;
                QVERIFY(saleops::recordSale(dm, in).ok());
            }
            const Result<QStringList> read = dm.sales().customerNames();
            QVERIFY2(read.ok(), qPrintable(read.ok() ? QString() : read.error().text));
            names[engine == ShopLocation::Kind::Server] = *read;
        }
        QCOMPARE(names[0].size(), 4);
        QCOMPARE(names[1].size(), 4);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(names[1].at(i).toLower(), names[0].at(i).toLower());
        QVERIFY(names[0].indexOf(u"李四"_s) < names[0].indexOf(u"张三"_s));
    }

    // The sale panel's customer list and lookups come from the loaded sale
    // table: they answer what their statements answer, on rows that hold
    // every way two customers' texts can be alike, after deletions and after
    // another program's writes.
    void customersFromMemoryAsTheStatements_data() { engines(); }
    void customersFromMemoryAsTheStatements()
    {
        QFETCH(ShopLocation::Kind, engine);
        Shop shop(engine, m_server);
        Tdmfm dm;
        QVERIFY2(shop.openIn(dm), qPrintable(shop.error()));
        const QString insert = u"insert into data1 (%1,%2,%3,%4,%5) values (?,?,?,?,?)"_s.arg(
            quoteIdentifier(salecol::customer), quoteIdentifier(salecol::address), quoteIdentifier(salecol::contact),
            quoteIdentifier(salecol::customerRemark), quoteIdentifier(salecol::saleNumber));
        const QVariant null;
        // customer, address, contact, remark, sale number; in the order stored.
        const QList<QVariantList> rows{
            {u"Anna"_s, u"Berlin"_s, u"555"_s, u"r"_s, u"N1"_s},
            {u"ANNA"_s, u"berlin"_s, u"555"_s, u"r"_s, u"n1"_s}, // one group with the row above, shown by this one
            {u"anna"_s, u"北京"_s, u"777"_s, null, u"N1"_s},
            {u"Anna"_s, null, u"999"_s, u""_s, u"N2"_s}, // NULL sorts first
            {u"Anna "_s, u""_s, u"1"_s, u""_s, u"N3"_s}, // blanks make other names
            {u" Anna"_s, u"Paris"_s, u"2"_s, u"x"_s, u"N3"_s},
            {null, u"nowhere"_s, u"3"_s, u""_s, u"N4"_s},
            {u""_s, u"empty"_s, u"4"_s, u""_s, u"N4"_s},
            {u"Ａｎｎａ"_s, u"full"_s, u"5"_s, u""_s, u"n2"_s}, // full-width letters keep their case
            {u"O'Neil"_s, u"上海"_s, null, u""_s, u"X\\12"_s},
            {u"o'neil"_s, u"上海"_s, u""_s, u""_s, u"x\\12"_s},
            {u"张三"_s, u"Berlin"_s, u"555"_s, u"r"_s, u"N5"_s},
            {u"张三"_s, u"Berlin"_s, u"555"_s, u"r"_s, u"N5"_s},
        };
        QString error;
        QList<qint64> ids;
        for (const QVariantList& r : rows) {
            QVERIFY2(dm.db().exec(Statement{insert, r}, &error), qPrintable(error));
            ids << dm.db().lastInsertRowId();
        }
        const Database::Engine e = dm.db().engine();
        const auto shown = [](const Result<std::optional<salelookup::CustomerDetails>>& found) {
            if (!found)
                return u"error: "_s + found.error().text;
            if (!*found)
                return u"none"_s;
            return QStringList{(*found)->name, (*found)->address, (*found)->contact, (*found)->remark}.join(u'|');
        };
        const auto firstRow = [&](const Statement& st, bool byName) {
            QueryResult r;
            QString why;
            if (!dm.db().query(st, &r, &why))
                return u"error: "_s + why;
            if (r.rows.isEmpty())
                return u"none"_s;
            QStringList cells;
            for (const QVariant& v : r.rows.first())
                cells << v.toString();
            return (byName ? QStringList{QString()} + cells + QStringList{QString()} : cells).join(u'|');
        };
        // Every difference between the memory's answers and the statements'; empty when none.
        const auto differences = [&] {
            QStringList found;
            for (const QString& name : {u"aNNa"_s, u"Anna "_s, u" Anna"_s, u"Ａｎｎａ"_s, u"ａｎｎａ"_s, u"O'NEIL"_s,
                                        u"张三"_s, u""_s, u"nobody"_s, u"Ann%"_s}) {
                const QString memory = shown(salelookup::customerByName(dm, name));
                const QString statement = firstRow(salelookup::customerByName(name, e), true);
                if (memory != statement)
                    found << u"name [%1]: %2 / %3"_s.arg(name, memory, statement);
            }
            for (const QString& number :
                 {u"n1"_s, u"N2"_s, u"n3"_s, u"N4"_s, u"N2 "_s, u"x\\12"_s, u"N5"_s, u"n_"_s, u"none"_s}) {
                const QString memory = shown(salelookup::customerBySaleNumber(dm, number));
                const QString statement = firstRow(salelookup::customerBySaleNumber(number, e), false);
                if (memory != statement)
                    found << u"number [%1]: %2 / %3"_s.arg(number, memory, statement);
            }
            const Result<QStringList> names = dm.sales().customerNames();
            const Result<QueryResult> read = readDistinctColumn(dm.db(), QString(salecol::customer), u"data1"_s);
            QStringList expected;
            for (const auto& row : read.valueOr({}).rows)
                expected << row.at(0).toString();
            QStringList memory = names.valueOr({u"failed"_s});
            // The server's statement shows a group by any of its spellings.
            if (e == Database::Engine::Server)
                for (QStringList* list : {&memory, &expected})
                    for (QString& n : *list)
                        n = n.toLower();
            if (memory != expected || !read.ok())
                found << u"names: %1 / %2"_s.arg(memory.join(u','), expected.join(u','));
            return found.join(u'\n');
        };
        QCOMPARE(differences(), QString());
        QCOMPARE(shown(salelookup::customerByName(dm, u"aNNa"_s)), u"||999|"_s);
        QCOMPARE(shown(salelookup::customerBySaleNumber(dm, u"n1"_s)), u"ANNA|berlin|555|r"_s);

        // Deleted rows: the NULL address and the spelling shown go.
        for (const qint64 id : {ids.at(3), ids.at(1)})
            QVERIFY2(dm.db().exec(Statement{u"delete from data1 where rowid=?"_s, {id}}, &error), qPrintable(error));
        QCOMPARE(differences(), QString());
        QCOMPARE(shown(salelookup::customerByName(dm, u"aNNa"_s)), u"|Berlin|555|"_s);

        // Another program's rows: a name and an address in new spellings, a new name.
        Database other;
        QVERIFY2(engine == ShopLocation::Kind::File ? other.open(shop.location().target(), false, &error)
                                                    : other.openServer(shop.location().target(), &error),
                 qPrintable(error));
        QVERIFY2(other.exec(Statement{insert, {u"aNNA"_s, u"BERLIN"_s, u"555"_s, u"r3"_s, u"N1"_s}}, &error),
                 qPrintable(error));
        QVERIFY2(other.exec(Statement{insert, {u"李四"_s, u"Aachen"_s, u"6"_s, u""_s, u"N6"_s}}, &error),
                 qPrintable(error));
        QTRY_COMPARE(shown(salelookup::customerByName(dm, u"anna"_s)), u"|BERLIN|555|"_s);
        QCOMPARE(differences(), QString());
        QVERIFY(dm.sales().customerNames().valueOr({}).contains(u"李四"_s));
    }

    // The sale table read in the background: nothing reads it before the
    // read is handed over, and what this program and another commit while
    // it reads (new rows, changed rows already read, a deletion) is in the
    // table after it.
    void writesDuringABackgroundLoad_data()
    {
        QTest::addColumn<ShopLocation::Kind>("engine");
        QTest::addColumn<bool>("otherWrites"); // another program writes too
        for (const bool otherWrites : {true, false}) {
            const char* who = otherWrites ? "both programs" : "this program";
            QTest::addRow("file, %s", who) << ShopLocation::Kind::File << otherWrites;
            QTest::addRow("server, %s", who) << ShopLocation::Kind::Server << otherWrites;
        }
    }
    void writesDuringABackgroundLoad()
    {
        QFETCH(ShopLocation::Kind, engine);
        QFETCH(bool, otherWrites);
        Shop shop(engine, m_server);
        Tdmfm dm;
        QVERIFY2(shop.openIn(dm), qPrintable(shop.error()));
        QString error;
        // Rows for a few steps of the read.
        const int rows = 3 * MemTable::loadProgressStep();
        const QString fill = engine == ShopLocation::Kind::File
                                 ? u"with recursive s(i) as (select 1 union all select i + 1 from s where i < %1) "
                                   "insert into data1 (g, h, z) select 'c' || (i %% 50), 'old', 'n' || i from s"_s
                                 : u"insert into data1 (g, h, z) select 'c' || (i %% 50), 'old', 'n' || i "
                                   "from generate_series(1, %1) i"_s;
        QVERIFY2(dm.db().exec(fill.arg(rows).replace(u"%%"_s, u"%"_s), &error), qPrintable(error));
        QCOMPARE(count(dm, u"data1"_s), rows);
        QCoreApplication::processEvents(); // a server tells of the rows filled

        Database other;
        QVERIFY2(engine == ShopLocation::Kind::File ? other.open(shop.location().target(), false, &error)
                                                    : other.openServer(shop.location().target(), &error),
                 qPrintable(error));
        // The worker stops inside its read until both programs have written.
        std::atomic<bool> reading{false};
        QSemaphore written;
        dm.sales().loader().setWorkerStep([&](qint64 read) {
            if (read == MemTable::loadProgressStep() && !reading.exchange(true))
                written.tryAcquire(1, 20000);
        });
        dm.loadSalesInBackground();
        QTRY_VERIFY_WITH_TIMEOUT(reading.load(), 10000);
        QVERIFY(dm.sales().isWaitingForLoad());
        QVERIFY(!dm.sales().table().isLoaded());
        QCOMPARE(dm.sales().table().rowCount(), 0);

        const QString insert = u"insert into data1 (g, h) values (?, ?)"_s;
        const QString change = u"update data1 set h = ? where rowid = ?"_s;
        QVERIFY2(dm.db().exec(Statement{insert, {u"本机"_s, u"here"_s}}, &error), qPrintable(error));
        QVERIFY2(dm.db().exec(Statement{change, {u"changed here"_s, 1}}, &error), qPrintable(error));
        QVERIFY2(dm.db().exec(Statement{u"delete from data1 where rowid = ?"_s, {2}}, &error), qPrintable(error));
        if (otherWrites) {
            QVERIFY2(other.exec(Statement{insert, {u"外来客"_s, u"there"_s}}, &error), qPrintable(error));
            QVERIFY2(other.exec(Statement{change, {u"changed there"_s, 3}}, &error), qPrintable(error));
        }
        written.release();

        // The table as the handover leaves it, not read again at a use.
        QTRY_VERIFY_WITH_TIMEOUT(!dm.sales().loader().isRunning(), 20000);
        const MemTable& t = dm.sales().table();
        const int h = t.columnIndex(QString(salecol::address));
        const int g = t.columnIndex(QString(salecol::customer));
        const int added = otherWrites ? 2 : 1;
        QCOMPARE(t.rowCount(), rows + added - 1);
        QCOMPARE(t.position(2), -1);
        QCOMPARE(t.value(t.position(1), h).toString(), u"changed here"_s);
        QCOMPARE(t.value(t.position(3), h).toString(), otherWrites ? u"changed there"_s : u"old"_s);
        QStringList customers;
        for (int i = 1; i <= added; ++i) {
            const int pos = t.position(rows + i);
            customers << (pos < 0 ? u"missing"_s : t.value(pos, g).toString());
        }
        customers.sort();
        QCOMPARE(customers, (otherWrites ? QStringList{u"外来客"_s, u"本机"_s} : QStringList{u"本机"_s}));
        QVERIFY(dm.sales().loader().outcome().ok());
    }

    // A read in the background given up (the connection closes, the program
    // ends) stops at its next row instead of reading the rest.
    void readGivenUpStops_data() { engines(); }
    void readGivenUpStops()
    {
        QFETCH(ShopLocation::Kind, engine);
        Shop shop(engine, m_server);
        Tdmfm dm;
        QVERIFY2(shop.openIn(dm), qPrintable(shop.error()));
        QString error;
        const QString fill = engine == ShopLocation::Kind::File
                                 ? u"with recursive s(i) as (select 1 union all select i + 1 from s where i < %1) "
                                   "insert into data (a) select 'a' || i from s"_s
                                 : u"insert into data (a) select 'a' || i from generate_series(1, %1) i"_s;
        QVERIFY2(dm.db().exec(fill.arg(3 * MemTable::loadProgressStep()), &error), qPrintable(error));
        std::atomic<int> steps{0};
        QSemaphore never;
        dm.stock().loader().setWorkerStep([&](qint64 read) {
            if (read > 0 && steps.fetch_add(1) == 0)
                never.tryAcquire(1, 300); // long enough to be given up meanwhile
        });
        dm.loadStockInBackground();
        QTRY_VERIFY_WITH_TIMEOUT(steps.load() > 0, 10000);
        dm.stock().loader().abandon();
        QCOMPARE(steps.load(), 1);
        QVERIFY(!dm.stock().table().isLoaded());
        QVERIFY(dm.stock().showAll(stockq::ZeroStock::Shown).ok());
        QCOMPARE(dm.stock().table().rowCount(), 3 * MemTable::loadProgressStep());
    }

    // A read in the background that fails is told, and leaves the table as
    // it was: read here at its next use.
    void failedBackgroundLoad()
    {
        Shop shop(ShopLocation::Kind::File, m_server);
        Tdmfm dm;
        QVERIFY2(shop.openIn(dm), qPrintable(shop.error()));
        QList<Result<void>> told;
        connect(&dm.sales().loader(), &TableLoader::finished, this, [&](const Result<void>& r) { told << r; });
        QTemporaryDir empty;
        dm.sales().loader().start(ShopLocation::file(empty.filePath(u"missing.mdb"_s)));
        QTRY_COMPARE(told.size(), 1);
        QVERIFY(!told.at(0).ok());
        QVERIFY(!told.at(0).error().text.isEmpty());
        QVERIFY(!dm.sales().isWaitingForLoad());
        QVERIFY(!dm.sales().table().isLoaded());
        QVERIFY(dm.sales().fresh().ok());
        QVERIFY(dm.sales().table().isLoaded());
    }

    // Two tills taking sale numbers of one day never get the same one.
    void saleNumbersOfTwoTills_data() { engines(); }
    void saleNumbersOfTwoTills()
    {
        QFETCH(ShopLocation::Kind, engine);
        Shop shop(engine, m_server);
        QVERIFY2(shop.isValid(), qPrintable(shop.error()));
        Tdmfm tillA;
        Tdmfm tillB;
        QVERIFY(tillA.open(shop.location()).ok());
        QVERIFY(tillB.open(shop.location()).ok());
        const QDate day(2026, 3, 2);
        QStringList taken;
        for (Tdmfm* till : {&tillA, &tillB, &tillA}) {
            QString error;
            const std::optional<SaleNumber> n = salenumbers::take(till->db(), day, &error);
            QVERIFY2(n, qPrintable(error));
            taken << n->text();
        }
        QCOMPARE(taken, (QStringList{u"20260302001"_s, u"20260302002"_s, u"20260302003"_s}));
    }

    // A sale that collides with another till's transaction (a serialization
    // failure or a deadlock) is run again, up to three more times; any other
    // failure is returned at once. Nothing of a failed attempt is kept.
    void saleRetriedAfterCollision_data()
    {
        QTest::addColumn<int>("failures");
        QTest::addColumn<QString>("sqlState");
        QTest::addColumn<bool>("sold");
        QTest::addColumn<int>("attempts");
        QTest::newRow("serialization failure twice") << 2 << u"40001"_s << true << 3;
        QTest::newRow("deadlock three times") << 3 << u"40P01"_s << true << 4;
        QTest::newRow("serialization failure four times") << 4 << u"40001"_s << false << 4;
        QTest::newRow("other failure") << 1 << u"P0001"_s << false << 1;
    }
    void saleRetriedAfterCollision()
    {
        QFETCH(int, failures);
        QFETCH(QString, sqlState);
        QFETCH(bool, sold);
        QFETCH(int, attempts);
        Shop shop(ShopLocation::Kind::Server, m_server);
        Tdmfm dm;
        QVERIFY2(shop.openIn(dm), qPrintable(shop.error()));
        const qint64 stockId = stockIn(dm, u"乒乓球"_s, u"5"_s).valueOr(-1);
        QVERIFY(stockId > 0);
        // The sale row's insert fails the first `failures` times; a sequence
        // counts the attempts, as it is not rolled back with them.
        QString error;
        QVERIFY2(dm.db().exec(u"CREATE SEQUENCE attempts"_s, &error), qPrintable(error));
        QVERIFY2(dm.db().exec(u"CREATE FUNCTION collide() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                              "IF nextval('attempts') <= %1 THEN RAISE EXCEPTION 'collision' USING ERRCODE = '%2'; "
                              "END IF; RETURN NEW; END $$"_s.arg(failures)
                                  .arg(sqlState),
                              &error),
                 qPrintable(error));
        QVERIFY(dm.db().exec(u"CREATE TRIGGER collide BEFORE INSERT ON data1 FOR EACH ROW EXECUTE FUNCTION collide()"_s,
                             &error));

        const Result<qint64> result = saleops::recordSale(dm, sale(stockId, u"2"_s));
        QCOMPARE(result.ok(), sold);
        if (!sold) {
            QVERIFY(result.is(Error::Kind::Engine));
            QCOMPARE(result.error().text, u"collision"_s);
        }
        QueryResult r;
        QVERIFY(dm.db().query(Statement{u"select last_value from attempts"_s, {}}, &r, &error));
        QCOMPARE(r.rows.at(0).at(0).toInt(), attempts);
        QCOMPARE(count(dm, u"data1"_s), sold ? 1 : 0);
        QVERIFY(dm.db().query(Statement{u"select [%1] from data"_s.arg(stockcol::stockQuantity), {}}, &r, &error));
        QCOMPARE(r.rows.at(0).at(0).toDouble(), sold ? 3.0 : 5.0);
    }

    // Two tills sell the last piece of one stock row at the same moment:
    // exactly one sale is stored, the other is refused as a shortage.
    void lastPieceSoldOnce_data() { engines(); }
    void lastPieceSoldOnce()
    {
        QFETCH(ShopLocation::Kind, engine);
        Shop shop(engine, m_server);
        Tdmfm dm;
        QVERIFY2(shop.openIn(dm), qPrintable(shop.error()));
        const qint64 stockId = stockIn(dm, u"足球"_s, u"1"_s).valueOr(-1);
        QVERIFY(stockId > 0);

        // On the server both sales are held at their sale row's insert until
        // both have read the stock row: without its row lock each would then
        // see the last piece.
        ServerConnection blocker;
        ServerConnection watcher;
        if (engine == ShopLocation::Kind::Server) {
            QString error;
            QVERIFY(blocker.open(shop.location().target(), &error));
            QVERIFY(watcher.open(shop.location().target(), &error));
            QVERIFY(blocker.exec(u"BEGIN"_s, &error));
            QVERIFY2(blocker.exec(u"LOCK TABLE data1 IN EXCLUSIVE MODE"_s, &error), qPrintable(error));
        }

        std::atomic<int> ready{0};
        Result<qint64> results[2] = {Error::engine(u"not run"_s), Error::engine(u"not run"_s)};
        std::unique_ptr<QThread> tills[2];
        for (int i = 0; i < 2; ++i) {
            tills[i].reset(QThread::create([&, i] {
                Tdmfm till;
                if (!till.open(shop.location()).ok())
                    return;
                ++ready;
                while (ready < 2)
                    QThread::yieldCurrentThread();
                results[i] = saleops::recordSale(till, sale(stockId, u"1"_s, u"2026030200%1"_s.arg(i + 1)));
            }));
            tills[i]->start();
        }
        if (engine == ShopLocation::Kind::Server) {
            // Both tills wait for a lock: the first for the sale table, the
            // second for the stock row (or, unlocked, for the first's write).
            QTRY_VERIFY_WITH_TIMEOUT(
                [&] {
                    QueryResult r;
                    QString error;
                    return watcher.query(Statement{u"select count(*) from pg_locks where not granted"_s, {}}, &r,
                                         &error) &&
                           r.rows.at(0).at(0).toLongLong() >= 2;
                }(),
                10000);
            QString error;
            QVERIFY(blocker.exec(u"ROLLBACK"_s, &error));
        }
        for (auto& till : tills)
            QVERIFY(till->wait(30000));

        const int sold = int(results[0].ok()) + int(results[1].ok());
        QCOMPARE(sold, 1);
        const Result<qint64>& refused = results[0].ok() ? results[1] : results[0];
        QVERIFY2(refused.is(Error::Kind::Shortage), qPrintable(refused.error().text));
        QCOMPARE(refused.error().onHand, u"0"_s);
        QCOMPARE(count(dm, u"data1"_s), 1);
        QueryResult stock;
        QString error;
        QVERIFY(dm.db().query(Statement{u"select [%1], [%2] from data where rowid=?"_s.arg(stockcol::stockQuantity,
                                                                                           stockcol::soldQuantity),
                                        {stockId}},
                              &stock, &error));
        QCOMPARE(stock.rows.at(0).at(0).toDouble(), 0.0);
        QCOMPARE(stock.rows.at(0).at(1).toDouble(), 1.0);
    }

    // User names match in any letter case, as on the file: adding, logging
    // in, changing and counting failures all find the user however the name
    // is typed, and each login gets its own log row.
    void usersInAnyLetterCase_data() { engines(); }
    void usersInAnyLetterCase()
    {
        QFETCH(ShopLocation::Kind, engine);
        Shop shop(engine, m_server);
        Tdmfm dm;
        QVERIFY2(shop.openIn(dm), qPrintable(shop.error()));
        const Result<userq::AddResult> added = userq::addUser(dm, u"Anna"_s);
        QVERIFY2(added.ok(), qPrintable(added.ok() ? QString() : added.error().text));
        QCOMPARE(*added, userq::AddResult::Added);
        QCOMPARE(userq::addUser(dm, u"ANNA"_s).valueOr(userq::AddResult::Added), userq::AddResult::Exists);
        QCOMPARE(userq::userNames(dm).valueOr({}), (QStringList{userq::superAdministrator(), u"Anna"_s}));
        QCOMPARE(userq::countMatches(dm, u"aNNA"_s, u"864"_s).valueOr(-1), 1);
        QCOMPARE(userq::countMatches(dm, u"anna"_s, u"865"_s).valueOr(-1), 0);

        const QDateTime at(QDate(2026, 3, 2), QTime(9, 0));
        QVERIFY(userq::logFailedLogin(dm, u"anna"_s, at).ok());
        QVERIFY(userq::logFailedLogin(dm, u"ANNA"_s, at.addSecs(1)).ok());
        const Result<userq::FailedLogins> failed = userq::failedLoginsOf(dm, u"Anna"_s);
        QVERIFY2(failed.ok(), qPrintable(failed.ok() ? QString() : failed.error().text));
        QCOMPARE(failed->count, 2);
        QCOMPARE(failed->last, at.addSecs(1));

        const qint64 first = userq::logLogin(dm, u"aNNa"_s, at.addSecs(2)).valueOr(-1);
        const qint64 second = userq::logLogin(dm, userq::superAdministrator(), at.addSecs(3)).valueOr(-1);
        QVERIFY(first > 0 && second > first);
        QVERIFY(userq::logLogout(dm, first, at.addSecs(4)).ok());
        QCOMPARE(userq::failedLoginsOf(dm, u"ANNA"_s).valueOr({-1, {}}).count, 0);

        QCOMPARE(
            userq::changePassword(dm, u"ANNA"_s, u"864"_s, u"abc1"_s).valueOr(userq::ChangeResult::WrongOldPassword),
            userq::ChangeResult::Changed);
        QCOMPARE(userq::countMatches(dm, u"anna"_s, u"abc1"_s).valueOr(-1), 1);
        QCOMPARE(userq::deleteUser(dm, u"anNA"_s).valueOr(-1), 1);
        QCOMPARE(userq::userNames(dm).valueOr({}), QStringList{userq::superAdministrator()});
    }

    // The sale panel's and the slip's lookups read on a server what they
    // read on the file: the same columns, rows and order, texts and LIKE
    // patterns matched without regard to ASCII case, a backslash no escape.
    void saleLookupsAsOnTheFile()
    {
        QList<QueryResult> found[2];
        for (const ShopLocation::Kind engine : {ShopLocation::Kind::File, ShopLocation::Kind::Server}) {
            Shop shop(engine, m_server);
            Tdmfm dm;
            QVERIFY2(shop.openIn(dm), qPrintable(shop.error()));
            const qint64 stockId = stockIn(dm, u"跳绳"_s, u"10"_s).valueOr(-1);
            struct Sold
            {
                QString number, customer, address;
            };
            for (const Sold& s :
                 {Sold{u"20260302001"_s, u"Anna"_s, u"北京"_s}, Sold{u"20260302002"_s, u"O'Neil"_s, u"上海"_s},
                  Sold{u"x\\12"_s, u"ANNA"_s, u"Berlin"_s}, Sold{u"20260302001"_s, u"Anna"_s, u"北京"_s},
                  Sold{u"120260302001"_s, u"anna"_s, QString()}}) {
                saleops::SaleInput in = sale(stockId, u"1"_s, s.number);
                in.customer = s.customer;
                in.address = s.address;
                in.contact = u"555"_s;
                const Result<qint64> sold = saleops::recordSale(dm, in);
                QVERIFY2(sold.ok(), qPrintable(sold.ok() ? QString() : sold.error().text));
            }
            const Database::Engine e = dm.db().engine();
            for (const Statement& st :
                 {salelookup::customerByName(u"aNNa"_s, e), salelookup::customerBySaleNumber(u"20260302001"_s, e),
                  salelookup::customerBySaleNumber(u"X\\12"_s, e), salelookup::slipRows(u"20260302001"_s, e),
                  salelookup::slipRows(u"X\\"_s, e), salelookup::slipRows(u"0302_0"_s, e)}) {
                QueryResult r;
                QString error;
                QVERIFY2(dm.db().query(st, &r, &error), qPrintable(error));
                found[engine == ShopLocation::Kind::Server] << r;
            }
        }
        QCOMPARE(found[1].size(), found[0].size());
        for (int i = 0; i < found[0].size(); ++i) {
            QVERIFY(!found[0].at(i).rows.isEmpty());
            QCOMPARE(found[1].at(i).columns, found[0].at(i).columns);
            QCOMPARE(found[1].at(i).rows.size(), found[0].at(i).rows.size());
            for (int r = 0; r < found[0].at(i).rows.size(); ++r)
                for (int c = 0; c < found[0].at(i).columns.size(); ++c)
                    QCOMPARE(found[1].at(i).rows.at(r).at(c).toString(), found[0].at(i).rows.at(r).at(c).toString());
        }
    }
};

QTEST_GUILESS_MAIN(TestEngines)
#include "tst_engines.moc"
