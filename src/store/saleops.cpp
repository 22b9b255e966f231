#include "store/saleops.h"

#include "core/messageport.h"
#include "core/numbers.h"
#include "store/pinyin/pinyininitials.h"
#include "store/tdmfm.h"

namespace saleops {

namespace {

// A stored number read back through its general text, as the fields hold it.
std::optional<long double> stored(const QVariant& v, QString* error)
{
    const QString text = num::general(v);
    return num::toDecimal(text.isEmpty() ? QStringLiteral("0") : text, error);
}

} // namespace

bool recordSale(Tdmfm& dm, const SaleInput& in)
{
    Database& db = dm.db();
    QString error;
    QueryResult stock;
    if (!db.query(Statement{QStringLiteral("select * from data where rowid=?"), {in.stockRowId}}, &stock, &error)) {
        Tdmfm::report(error);
        return false;
    }
    if (stock.rows.isEmpty()) {
        Tdmfm::report(QStringLiteral("Cannot perform this operation on an empty dataset"));
        return false;
    }
    auto col = [&](const char* name) { return stock.rows.at(0).at(stock.columns.indexOf(QLatin1String(name))); };

    const auto q = num::toDecimal(in.quantity, &error);
    const auto p = q ? num::toDecimal(in.price, &error) : std::nullopt;
    const auto owed = !p ? std::nullopt
                         : (in.owed.isEmpty() ? std::optional<long double>(0) : num::toDecimal(in.owed, &error));
    const auto cost = owed ? stored(col("1"), &error) : std::nullopt;
    const auto sold = cost ? stored(col("5"), &error) : std::nullopt;
    const auto amount = sold ? stored(col("6"), &error) : std::nullopt;
    const auto onHand = amount ? stored(col("7"), &error) : std::nullopt;
    if (!onHand) {
        messagePort().error(error);
        return false;
    }

    // Each computed value passes through its general text, as the fields do.
    auto g = [](long double v) { return *num::toDecimal(num::general(v)); };
    const long double remaining = *onHand - *q;
    const QVariantMap stockChange{
        {QStringLiteral("5"), double(g(*sold + *q))},
        {QStringLiteral("6"), double(g(*amount + g(*p * *q)))},
        {QStringLiteral("7"), double(num::round2(remaining))},
        {QStringLiteral("8"), double(g(remaining * *cost))},
    };
    const QString name = col("a").toString().trimmed();
    const QString model = col("b").toString().trimmed();
    const QVariantMap sale{
        {QStringLiteral("a"), name},
        {QStringLiteral("b"), model},
        {QStringLiteral("c"), col("c").toString().trimmed()},
        {QStringLiteral("d"), col("d").toString().trimmed()},
        {QStringLiteral("e"), PinyinInitials(name)},
        {QStringLiteral("f"), PinyinInitials(model)},
        {QStringLiteral("g"), in.customer.trimmed()},
        {QStringLiteral("h"), in.address.trimmed()},
        {QStringLiteral("i"), in.contact.trimmed()},
        {QStringLiteral("j"), in.customerRemark.trimmed()},
        {QStringLiteral("z"), in.saleNumber},
        {QStringLiteral("1"), double(*cost)},
        {QStringLiteral("2"), double(*p)},
        {QStringLiteral("3"), double(*q)},
        {QStringLiteral("4"), double(g(*p * *q))},
        {QStringLiteral("a5"), double(num::round2((*p - *cost) * *q))},
        {QStringLiteral("6"), double(*owed)},
        {QStringLiteral("day1"), in.saleDate},
        {QStringLiteral("day2"), col("day1")},
    };

    Transaction t(db);
    if (!t.begun()) {
        Tdmfm::report(t.error());
        return false;
    }
    QStringList sets;
    QVariantList params;
    for (auto it = stockChange.cbegin(); it != stockChange.cend(); ++it) {
        sets << quoteIdentifier(it.key()) + QLatin1String("=?");
        params << it.value();
    }
    params << in.stockRowId;
    if (!db.exec(Statement{QStringLiteral("update data set %1 where rowid=?").arg(sets.join(QLatin1Char(','))), params},
                 &error)) {
        Tdmfm::report(error);
        return false;
    }
    if (!dm.appendRow(QStringLiteral("data1"), sale))
        return false; // reported; the transaction rolls the stock change back
    if (!t.commit(&error)) {
        Tdmfm::report(error);
        return false;
    }
    return true;
}

} // namespace saleops
