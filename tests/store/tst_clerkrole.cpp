// A till of ordinary users connects with a role that `tarvik-admin clerk`
// made: it reads nothing of purchase prices, purchase and stock amounts and
// profits by any statement, yet everything an ordinary user does works, and a
// sale through the server's function stores the very figures the program
// computes on the shop owner's connection.
#include "clerkshop.h"
#include "testserver.h"

#include "core/numbers.h"
#include "store/db/columns.h"
#include "store/db/serverconnection.h"
#include "store/db/shoplocation.h"
#include "store/memory/memtable.h"
#include "store/ops/salelookup.h"
#include "store/ops/saleops.h"
#include "store/ops/stockops.h"
#include "store/ops/tdmfm.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <bit>
#include <cmath>
#include <limits>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

// One stock row's figures as stored (NULL where nullopt).
struct Figures
{
    std::optional<double> cost, sold, salesAmount, stock, stockAmount;
};

QVariant stored(const std::optional<double>& v)
{
    return v ? QVariant(*v) : QVariant();
}

Result<qint64> addStockRow(Tdmfm& owner, const Figures& f)
{
    return owner.appendRow(u"data"_s, {{QString(stockcol::name), u" 篮球 "_s},
                                       {QString(stockcol::model), u"M1"_s},
                                       {QString(stockcol::code), u"C-1"_s},
                                       {QString(stockcol::category), u"球类"_s},
                                       {QString(stockcol::purchasePrice), stored(f.cost)},
                                       {QString(stockcol::soldQuantity), stored(f.sold)},
                                       {QString(stockcol::salesAmount), stored(f.salesAmount)},
                                       {QString(stockcol::stockQuantity), stored(f.stock)},
                                       {QString(stockcol::stockAmount), stored(f.stockAmount)},
                                       {QString(stockcol::stockInDate), u"2026-03-02"_s}});
}

saleops::SaleInput saleOf(qint64 stockRow, const QString& quantity, const QString& price, const QString& owed = {})
{
    saleops::SaleInput in;
    in.stockRowId = stockRow;
    in.quantity = quantity;
    in.price = price;
    in.owed = owed;
    in.saleNumber = u"20260302001"_s;
    in.saleDate = u"2026-03-02"_s;
    in.customer = u"O'Neil"_s;
    in.address = u"  河畔路 3 号 "_s;
    in.shownName = u"篮球"_s;
    return in;
}

// A value as it must compare: doubles by their bits (a negative zero is not
// a zero), everything else as it is.
QString exactly(const QVariant& v)
{
    if (v.typeId() == QMetaType::Double)
        return u"double:%1"_s.arg(std::bit_cast<quint64>(v.toDouble()), 16, 16, QLatin1Char('0'));
    return v.isNull() ? u"NULL"_s : QLatin1String(v.typeName()) + u":"_s + v.toString();
}

// The row of `table` with identity `rowId`, every column but the identities,
// as the shop owner reads it.
QStringList rowRead(ServerConnection& owner, const QString& table, qint64 rowId)
{
    QueryResult r;
    QString error;
    if (!owner.query(Statement{u"select * from "_s + table + u" where rowid=?"_s, {rowId}}, &r, &error))
        return {u"cannot read: "_s + error};
    if (r.rows.size() != 1)
        return {u"no row"_s};
    QStringList out;
    for (int c = 0; c < r.columns.size(); ++c) {
        const QString name = r.columns.at(c);
        if (name == u"rowid"_s || name == QString(stockcol::id) || name == QString(salecol::stockRowId))
            continue;
        out << name + u"="_s + exactly(r.rows.at(0).at(c));
    }
    return out;
}

QString outcome(const Result<qint64>& r)
{
    if (r.ok())
        return u"sold"_s;
    return u"refused %1: %2 [%3]"_s.arg(int(r.error().kind)).arg(r.error().text, r.error().onHand);
}

// The role a connection string logs in as.
QString ownerOf(const QString& conninfo)
{
    ServerConnection db;
    QueryResult r;
    QString error;
    if (!db.open(conninfo, &error) || !db.query(Statement{u"select current_user"_s, {}}, &r, &error))
        return u"(none: %1)"_s.arg(error);
    return r.rows.at(0).at(0).toString();
}

} // namespace

class TestClerkRole : public QObject
{
    Q_OBJECT

    QString m_server;

private slots:
    void initTestCase() { TARVIK_REQUIRE_TEST_SERVER(m_server); }

    // Every statement the role can think of either is refused or finds the
    // hidden columns NULL, while the shop owner reads them; nor does it read
    // the super administrator's password hash.
    void hiddenFiguresReadByNoRoute_data()
    {
        QTest::addColumn<QString>("sql");
        // The columns that must come back NULL when the statement runs; the
        // statement must give at least one row then, unless `mayBeEmpty`.
        QTest::addColumn<QStringList>("hidden");
        QTest::addColumn<bool>("mayBeEmpty");
        const QStringList stockHidden{u"1"_s, u"3"_s, u"8"_s};
        const QStringList saleHidden{u"1"_s, u"a5"_s};
        QTest::newRow("stock table") << u"select \"1\", \"3\", \"8\" from public.data"_s << stockHidden << false;
        QTest::newRow("sale table") << u"select * from public.data1"_s << saleHidden << false;
        QTest::newRow("stock table, nothing but a count")
            << u"select count(*) from public.data where \"1\" > 0"_s << QStringList{u"count"_s} << false;
        QTest::newRow("stock view, all columns") << u"select * from data"_s << stockHidden << false;
        QTest::newRow("sale view, all columns") << u"select * from data1"_s << saleHidden << false;
        QTest::newRow("stock view named")
            << u"select \"1\", \"3\", \"8\" from tarvik_clerk.data"_s << stockHidden << false;
        QTest::newRow("copy of the stock table") << u"copy public.data to stdout"_s << QStringList{} << false;
        QTest::newRow("copy of a query") << u"copy (select a5 from public.data1) to stdout"_s << QStringList{} << false;
        QTest::newRow("a changed sale's returned row")
            << u"update data1 set g = g returning \"1\", a5"_s << saleHidden << false;
        QTest::newRow("column statistics")
            << u"select most_common_vals::text as v, histogram_bounds::text as h from pg_stats "
               "where tablename in ('data', 'data1') and attname in ('1', '3', '8', 'a5')"_s
            << QStringList{u"v"_s, u"h"_s} << true;
        QTest::newRow("raw statistics") << u"select stavalues1::text as v from pg_statistic"_s << QStringList{u"v"_s}
                                        << true;
        QTest::newRow("explain analyze") << u"explain analyze select \"1\" from public.data"_s << QStringList{}
                                         << false;
        QTest::newRow("user table") << u"select passwd from public.userdb"_s << QStringList{} << false;
        QTest::newRow("the super administrator's password")
            << u"select passwd from userdb where username = '超级管理员'"_s << QStringList{u"passwd"_s} << true;
        QTest::newRow("the owner's role") << u"set role "_s + ownerOf(m_server) << QStringList{} << false;
    }
    void hiddenFiguresReadByNoRoute()
    {
        QFETCH(QString, sql);
        QFETCH(QStringList, hidden);
        QFETCH(bool, mayBeEmpty);
        ClerkShop shop(m_server);
        QVERIFY2(shop.isValid(), qPrintable(shop.error()));
        {
            Tdmfm owner;
            QVERIFY(owner.open(ShopLocation::server(shop.ownerConnInfo())).ok());
            const Result<qint64> row = addStockRow(owner, {12.5, 0, 0, 8, 100});
            QVERIFY(row.ok());
            QVERIFY(saleops::recordSale(owner, saleOf(*row, u"3"_s, u"20"_s)).ok());
            QString error;
            QVERIFY2(owner.db().exec(u"analyze"_s, &error), qPrintable(error));
        }
        ServerConnection clerk;
        QString error;
        QVERIFY2(clerk.open(shop.clerkConnInfo(), &error), qPrintable(error));
        QueryResult r;
        if (!clerk.query(Statement{sql, {}}, &r, &error)) {
            QVERIFY2(error.contains(u"permission denied"_s), qPrintable(error));
            return;
        }
        QVERIFY2(!hidden.isEmpty(), "the statement was expected to be refused");
        QVERIFY2(mayBeEmpty || !r.rows.isEmpty(), "the statement found no row to look at");
        for (const QString& column : hidden) {
            const int at = int(r.columns.indexOf(column));
            QVERIFY2(at >= 0, qPrintable(column));
            for (const auto& row : r.rows)
                QVERIFY2(row.at(at).isNull() || (column == u"count"_s && row.at(at).toLongLong() == 0),
                         qPrintable(u"%1 = %2"_s.arg(column, row.at(at).toString())));
        }
    }

    // What an ordinary user does works through the role: the stock list, a
    // sale, a return, the refusals a sale can meet, the change of a sale,
    // the customer lookups, the receipt rows and the summary. What only the
    // super administrator does is refused by the server.
    void ordinaryWorkThroughTheRole()
    {
        ClerkShop shop(m_server);
        QVERIFY2(shop.isValid(), qPrintable(shop.error()));
        Tdmfm owner;
        QVERIFY(owner.open(ShopLocation::server(shop.ownerConnInfo())).ok());
        const qint64 stockRow = addStockRow(owner, {10, 0, 0, 5, 50}).valueOr(-1);
        QVERIFY(stockRow > 0);

        Tdmfm till;
        const Result<void> opened = till.open(ShopLocation::server(shop.clerkConnInfo()));
        QVERIFY2(opened.ok(), qPrintable(opened.ok() ? QString() : opened.error().text));
        QCOMPARE(till.db().readsPurchasePrices().valueOr(true), false);
        QCOMPARE(owner.db().readsPurchasePrices().valueOr(false), true);
        QVERIFY(till.stock().showAll(stockq::ZeroStock::Shown).ok());
        RowSet& list = till.stock().list();
        QCOMPARE(list.rowCount(), 1);
        QCOMPARE(list.value(0, QString(stockcol::stockQuantity)).toDouble(), 5.0);
        QVERIFY(list.value(0, QString(stockcol::purchasePrice)).isNull());

        const Result<qint64> sold = saleops::recordSale(till, saleOf(stockRow, u"2"_s, u"25"_s));
        QCOMPARE(outcome(sold), u"sold"_s);
        MemTable& stock = till.stock().table();
        QCOMPARE(stock.value(stock.position(stockRow), stock.columnIndex(stockcol::stockQuantity)).toDouble(), 3.0);
        MemTable& sales = till.sales().table();
        QVERIFY(till.sales().fresh().ok());
        QCOMPARE(sales.value(sales.position(*sold), sales.columnIndex(salecol::amount)).toDouble(), 50.0);
        QVERIFY(sales.value(sales.position(*sold), sales.columnIndex(salecol::profit)).isNull());

        const Result<qint64> returned = saleops::recordSale(till, saleOf(stockRow, u"-1"_s, u"25"_s));
        QCOMPARE(outcome(returned), u"sold"_s);
        QCOMPARE(stock.value(stock.position(stockRow), stock.columnIndex(stockcol::stockQuantity)).toDouble(), 4.0);

        const Result<qint64> tooMany = saleops::recordSale(till, saleOf(stockRow, u"9"_s, u"25"_s));
        QCOMPARE(outcome(tooMany), u"refused %1: 库存不足 [4]"_s.arg(int(Error::Kind::Shortage)));
        // A return so large that the stock amount goes out of range is refused
        // without the amount, which would tell the purchase price.
        QCOMPARE(outcome(saleops::recordSale(till, saleOf(stockRow, u"-100000000000000"_s, u"0"_s))),
                 u"refused %1: 库存金额的计算结果超出允许范围：不能达到 1000000000000000。 []"_s.arg(
                     int(Error::Kind::Invalid)));
        saleops::SaleInput other = saleOf(stockRow, u"1"_s, u"25"_s);
        other.shownName = u"排球"_s;
        const Result<qint64> replaced = saleops::recordSale(till, other);
        QVERIFY(!replaced.ok());
        QCOMPARE(replaced.error().kind, Error::Kind::Replaced);

        const Result<void> changed = saleops::changeSale(
            till, *sold, {u"12.5"_s, u"20260302001"_s, u"O'Neil"_s, u"新地址"_s, u"138"_s, u"老客户"_s});
        QVERIFY2(changed.ok(), qPrintable(changed.ok() ? QString() : changed.error().text));
        const auto customer = salelookup::customerBySaleNumber(till, u"20260302001"_s);
        QVERIFY(customer.ok() && customer->has_value());
        const auto byName = salelookup::customerByName(till, u"O'Neil"_s);
        QVERIFY(byName.ok() && byName->has_value());
        const Result<QueryResult> slip = salelookup::readSlipRows(till, u"20260302001"_s);
        QVERIFY(slip.ok());
        QCOMPARE(slip->rows.size(), 2);
        QVERIFY(till.stock().refreshSummary().ok());

        // The figures the owner reads are those of the sale.
        const QStringList saleRow = rowRead(*owner.db().server(), u"data1"_s, *sold);
        QVERIFY2(saleRow.contains(u"1="_s + exactly(10.0)), qPrintable(saleRow.join(u' ')));
        QVERIFY2(saleRow.contains(u"a5="_s + exactly(30.0)), qPrintable(saleRow.join(u' ')));
        QVERIFY2(saleRow.contains(u"6="_s + exactly(12.5)), qPrintable(saleRow.join(u' ')));
        QVERIFY2(saleRow.contains(u"h="_s + exactly(u"新地址"_s)), qPrintable(saleRow.join(u' ')));
        QVERIFY2(rowRead(*owner.db().server(), u"data"_s, stockRow).contains(u"8="_s + exactly(40.0)),
                 qPrintable(rowRead(*owner.db().server(), u"data"_s, stockRow).join(u' ')));

        // Taking goods into stock and deleting a sale are the super administrator's.
        const Result<saleops::Deleted> deleted = saleops::deleteSale(till, *sold, false);
        QVERIFY(!deleted.ok());
        QVERIFY2(deleted.error().text.contains(u"permission denied"_s), qPrintable(deleted.error().text));
        const Result<qint64> added = stockops::add(till, {{QString(stockcol::name), u"排球"_s}});
        QVERIFY(!added.ok());
        QVERIFY2(added.error().text.contains(u"permission denied"_s), qPrintable(added.error().text));
    }

    // The sale function computes as the program does: the same sale on two
    // equal stock rows, once on the owner's connection and once through the
    // role, leaves the same rows, bit for bit, or the same refusal.
    void saleFunctionStoresTheProgramsFigures()
    {
        ClerkShop shop(m_server);
        QVERIFY2(shop.isValid(), qPrintable(shop.error()));
        Tdmfm owner;
        QVERIFY(owner.open(ShopLocation::server(shop.ownerConnInfo())).ok());
        Tdmfm till;
        QVERIFY(till.open(ShopLocation::server(shop.clerkConnInfo())).ok());

        struct Case
        {
            const char* name;
            Figures row;
            QString quantity, price, owed;
        };
        const double nan = std::numeric_limits<double>::quiet_NaN();
        QList<Case> cases{
            {"plain", {10, 0, 0, 5, 50}, u"2"_s, u"25"_s, {}},
            {"return", {10, 3, 75, 2, 20}, u"-3"_s, u"19.9"_s, u"5"_s},
            {"fractions", {1.1, 0.25, 0.8, 7.7, 8.47}, u"0.333"_s, u"3.3"_s, {}},
            {"two-decimal prices", {0.03, 0, 0, 100, 3}, u"3"_s, u"0.07"_s, u"0.21"_s},
            {"stored figures off their decimals",
             {0.1 * 3, 0.1 + 0.2, 0.7 + 0.1, 0.1 + 0.2, 1.0 / 3},
             u"0.1"_s,
             u"0.3"_s,
             {}},
            {"half cents", {2.675, 0, 0, 1.005, 2.69}, u"0.001"_s, u"1.005"_s, {}},
            {"large values", {123456789.12, 5e5, 6.1e13, 100000, 1.2345678912e13}, u"1000"_s, u"99999999.99"_s, {}},
            {"many typed digits", {3.14159, 0, 0, 1, 3.14159}, u"0.1234567890123456789"_s, u"7.77"_s, {}},
            {"tiny quantity", {3, 0, 0, 1, 3}, u"1e-7"_s, u"3"_s, {}},
            {"exponent price", {3, 0, 0, 10, 30}, u"2"_s, u"1.5E2"_s, {}},
            {"negative zero", {3, 0, 0, 1, 3}, u"-0"_s, u"0"_s, u"0"_s},
            {"half a cent left", {10, 0, 0, 2.68, 26.8}, u"0.005"_s, u"1"_s, {}},
            {"half a cent of profit", {0.005, 0, 0, 3, 0.015}, u"1"_s, u"0.01"_s, {}},
            // Values next to a rounding edge: the 18 digits of the general
            // form round up across it, the long double product lies on the
            // other side of it than the exact one.
            {"general digits rounded twice", {1, 0, 0, 5, 5}, u"0.1234567890123444996"_s, u"1"_s, {}},
            {"stored price on an edge", {96.83984230363005, 0, 0, 5, 484.2}, u"1"_s, u"100"_s, {}},
            {"product on an edge", {1, 0, 0, 5, 5}, u"1.993423300255774714576962e-3"_s, u"981"_s, {}},
            {"product of a half on an edge", {1, 0, 0, 5, 5}, u"1.222828685393177332e-1"_s, u"37.5"_s, {}},
            {"whole stock", {4.4, 0, 0, 2.2, 9.68}, u"2.2"_s, u"5"_s, {}},
            {"shortage", {10, 0, 0, 1, 10}, u"1.01"_s, u"25"_s, {}},
            {"shortage on stored noise", {10, 0, 0, 0.1 + 0.2, 3}, u"0.3000001"_s, u"25"_s, {}},
            {"no purchase price", {std::nullopt, 0, 0, 5, 50}, u"1"_s, u"25"_s, {}},
            {"stock amount not a number", {10, 0, 0, 5, nan}, u"1"_s, u"25"_s, {}},
            {"sales amount past the limit", {10, 0, 9.9e14, 5, 50}, u"1"_s, u"999999999999999"_s, {}},
            {"stock amount past the limit", {9e14, 0, 0, 5, 50}, u"-1"_s, u"25"_s, {}},
        };
        // Random sales and returns: prices in cents, quantities to three
        // decimals, stored figures as earlier sums may have left them.
        QRandomGenerator random(20261211);
        for (int i = 0; i < 120; ++i) {
            const double cost = double(random.bounded(1, 2000000)) / 100;
            const double stock = double(random.bounded(0, 200000)) / 1000 + (i % 3 == 0 ? 0.1 + 0.2 - 0.3 : 0);
            const double sold = double(random.bounded(0, 50000)) / 100 * (i % 4 == 0 ? 1.1 : 1);
            const QString quantity = (random.bounded(5) == 0 ? u"-"_s : QString()) +
                                     num::general(static_cast<long double>(random.bounded(1, 30000)) / 1000);
            const QString price = num::general(static_cast<long double>(random.bounded(0, 5000000)) / 100);
            cases.append({"random",
                          {cost, sold, sold * cost * 1.3, stock, stock * cost},
                          quantity,
                          price,
                          QString::number(random.bounded(100))});
        }

        for (const Case& c : cases) {
            const QString label = u"%1: %2 × %3"_s.arg(QLatin1String(c.name), c.quantity, c.price);
            const qint64 ownersRow = addStockRow(owner, c.row).valueOr(-1);
            const qint64 tillsRow = addStockRow(owner, c.row).valueOr(-1);
            QVERIFY(ownersRow > 0 && tillsRow > 0);
            const Result<qint64> byOwner = saleops::recordSale(owner, saleOf(ownersRow, c.quantity, c.price, c.owed));
            const Result<qint64> byTill = saleops::recordSale(till, saleOf(tillsRow, c.quantity, c.price, c.owed));
            // A stock amount out of range would tell the purchase price: the
            // till hears that it is, not what it is.
            const QString tillExpected =
                !byOwner.ok() && byOwner.error().text.startsWith(u"库存金额的计算结果"_s)
                    ? u"refused %1: 库存金额的计算结果超出允许范围：不能达到 1000000000000000。 []"_s.arg(
                          int(Error::Kind::Invalid))
                    : outcome(byOwner);
            QVERIFY2(tillExpected == outcome(byTill),
                     qPrintable(u"%1\n owner: %2\n till:  %3"_s.arg(label, outcome(byOwner), outcome(byTill))));
            ServerConnection& read = *owner.db().server();
            QVERIFY2(rowRead(read, u"data"_s, ownersRow) == rowRead(read, u"data"_s, tillsRow),
                     qPrintable(label + u"\n owner: "_s + rowRead(read, u"data"_s, ownersRow).join(u' ') +
                                u"\n till:  "_s + rowRead(read, u"data"_s, tillsRow).join(u' ')));
            if (byOwner.ok() && byTill.ok())
                QVERIFY2(rowRead(read, u"data1"_s, *byOwner) == rowRead(read, u"data1"_s, *byTill),
                         qPrintable(label + u"\n owner: "_s + rowRead(read, u"data1"_s, *byOwner).join(u' ') +
                                    u"\n till:  "_s + rowRead(read, u"data1"_s, *byTill).join(u' ')));
        }
    }

    // The sale function reads and writes the shop's tables, never tables
    // of the same names the role makes for its own session.
    void saleFunctionIgnoresTheRolesOwnTables()
    {
        ClerkShop shop(m_server);
        QVERIFY2(shop.isValid(), qPrintable(shop.error()));
        Tdmfm owner;
        QVERIFY(owner.open(ShopLocation::server(shop.ownerConnInfo())).ok());
        const qint64 stockRow = addStockRow(owner, {10, 0, 0, 5, 50}).valueOr(-1);
        QVERIFY(stockRow > 0);

        ServerConnection clerk;
        QString error;
        QVERIFY2(clerk.open(shop.clerkConnInfo(), &error), qPrintable(error));
        QVERIFY2(clerk.exec(u"create temporary table data as select * from tarvik_clerk.data"_s, &error),
                 qPrintable(error));
        QVERIFY2(clerk.exec(u"update pg_temp.data set \"1\" = 999, \"7\" = 1000, \"8\" = 0"_s, &error),
                 qPrintable(error));
        QueryResult sold;
        const bool called = clerk.query(
            Statement{u"select tarvik_record_sale(?, '2p0', '25p0', '0p0', ?, 'M1', 'C-1', '球类', '2026-03-02', "
                      "'篮球', 'M1', 'C-1', '球类', 'lq', 'M1', '', '', '', '', '20260302001', '2026-03-02')"_s,
                      {stockRow, u" 篮球 "_s}},
            &sold, &error);
        QVERIFY2(called, qPrintable(error));
        const QStringList saleRow = rowRead(*owner.db().server(), u"data1"_s, sold.rows.at(0).at(0).toLongLong());
        QVERIFY2(saleRow.contains(u"1="_s + exactly(10.0)), qPrintable(saleRow.join(u' ')));
        QVERIFY2(rowRead(*owner.db().server(), u"data"_s, stockRow).contains(u"7="_s + exactly(3.0)),
                 qPrintable(rowRead(*owner.db().server(), u"data"_s, stockRow).join(u' ')));
    }

    // A restore replaces the views and the sale function by those of the
    // backup; the tills of ordinary users go on working.
    void restoreKeepsTheTillsWorking()
    {
        ClerkShop shop(m_server);
        QVERIFY2(shop.isValid(), qPrintable(shop.error()));
        QTemporaryDir folder;
        const QString backup = folder.filePath(u"shop.backup"_s);
        {
            Tdmfm owner;
            QVERIFY(owner.open(ShopLocation::server(shop.ownerConnInfo())).ok());
            QVERIFY(addStockRow(owner, {10, 0, 0, 5, 50}).ok());
        }
        const AdminRun dumped = runAdmin({u"backup"_s, backup, u"--database"_s, shop.ownerConnInfo()}, folder.path());
        QVERIFY2(dumped.code == 0, qPrintable(dumped.err));
        const AdminRun restored =
            runAdmin({u"restore"_s, backup, u"--database"_s, shop.ownerConnInfo()}, folder.path());
        QVERIFY2(restored.code == 0, qPrintable(restored.err));

        Tdmfm till;
        const Result<void> opened = till.open(ShopLocation::server(shop.clerkConnInfo()));
        QVERIFY2(opened.ok(), qPrintable(opened.ok() ? QString() : opened.error().text));
        QVERIFY(till.stock().showAll(stockq::ZeroStock::Shown).ok());
        QCOMPARE(till.stock().list().rowCount(), 1);
        const qint64 stockRow = till.stock().list().value(0, QString(stockcol::id)).toLongLong();
        QCOMPARE(outcome(saleops::recordSale(till, saleOf(stockRow, u"1"_s, u"25"_s))), u"sold"_s);
        ServerConnection clerk;
        QString error;
        QVERIFY2(clerk.open(shop.clerkConnInfo(), &error), qPrintable(error));
        QueryResult r;
        QVERIFY(!clerk.query(Statement{u"select \"1\" from public.data"_s, {}}, &r, &error));
    }

    // The command grants nothing to a role that must not be a till's: one
    // missing, a superuser, one that may act as the tables' owner.
    void clerkCommandRefusesRolesThatReadEverything_data()
    {
        QTest::addColumn<QString>("role");
        QTest::addColumn<bool>("memberOfOwner"); // made by the test, a member of the owner's role
        QTest::addColumn<QString>("why");
        QTest::newRow("missing") << u"no_such_till_role"_s << false << u"there is no role no_such_till_role"_s;
        const QString owner = ownerOf(m_server); // the test server's superuser
        QTest::newRow("superuser") << owner << false << owner + u" is a superuser"_s;
        const QString member = u"owner_member_%1"_s.arg(QCoreApplication::applicationPid());
        QTest::newRow("member of the owner") << member << true << member + u" owns the shop's tables"_s;
    }
    void clerkCommandRefusesRolesThatReadEverything()
    {
        QFETCH(QString, role);
        QFETCH(bool, memberOfOwner);
        QFETCH(QString, why);
        ServerConnection admin;
        QString error;
        QVERIFY2(admin.open(m_server, &error), qPrintable(error));
        // After the shop's database, and with it anything granted there.
        const auto dropRole = qScopeGuard([&] {
            if (memberOfOwner)
                admin.exec(u"DROP ROLE IF EXISTS %1"_s.arg(role), &error);
        });
        ClerkShop shop(m_server);
        QVERIFY2(shop.isValid(), qPrintable(shop.error()));
        if (memberOfOwner)
            QVERIFY2(admin.exec(u"CREATE ROLE %1 LOGIN IN ROLE %2"_s.arg(role, ownerOf(m_server)), &error),
                     qPrintable(error));
        const AdminRun run = runAdmin({u"clerk"_s, role, u"--database"_s, shop.ownerConnInfo()});
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.contains(why), qPrintable(run.err));
    }
};

QTEST_GUILESS_MAIN(TestClerkRole)
#include "tst_clerkrole.moc"
