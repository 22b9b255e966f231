#include "store/saleops.h"

#include "core/messageport.h"
#include "core/numbers.h"
#include "store/columns.h"
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

// A typed amount that is stored as it is: a number, not negative, within the
// digits the general form keeps.
std::optional<long double> typedAmount(const QString& text, const QString& field, QString* error)
{
    return num::toStorable(text, field, error);
}

} // namespace

bool recordSale(Tdmfm& dm, const SaleInput& in, QString* onHand)
{
    // The typed values first: a bad text stops the sale before anything is read or locked.
    QString error;
    const auto q = num::toDecimal(in.quantity, &error);
    if (q && !num::isStorableResult(*q)) {
        error = num::resultOutOfRangeText(QStringLiteral("销售数量"), in.quantity);
    }
    const auto p = q && num::isStorableResult(*q) ? typedAmount(in.price, QStringLiteral("实际销售价"), &error)
                                                  : std::nullopt;
    const auto owed = !p ? std::nullopt
                         : (in.owed.isEmpty() ? std::optional<long double>(0)
                                              : typedAmount(in.owed, QStringLiteral("欠款金额"), &error));
    if (!owed) {
        messagePort().error(error);
        return false;
    }

    Database& db = dm.db();
    Transaction t(db, Transaction::Lock::Immediate);
    if (!t.begun()) {
        Tdmfm::report(t.error());
        return false;
    }
    QueryResult stock;
    if (!db.query(Statement{QStringLiteral("select * from data where rowid=?"), {in.stockRowId}}, &stock, &error)) {
        Tdmfm::report(error);
        return false;
    }
    if (stock.rows.isEmpty()) {
        Tdmfm::report(QStringLiteral("Cannot perform this operation on an empty dataset"));
        return false;
    }
    auto col = [&](QLatin1StringView name) { return stock.rows.at(0).at(stock.columns.indexOf(name)); };

    const auto cost = stored(col(stockcol::purchasePrice), &error);
    const auto sold = cost ? stored(col(stockcol::soldQuantity), &error) : std::nullopt;
    const auto amount = sold ? stored(col(stockcol::salesAmount), &error) : std::nullopt;
    const auto available = amount ? stored(col(stockcol::stockQuantity), &error) : std::nullopt;
    if (!available) {
        messagePort().error(error);
        return false;
    }
    if (*available < *q) {
        if (onHand)
            *onHand = num::general(*available);
        else
            messagePort().inform(QStringLiteral("库存不足"));
        return false;
    }

    // Each computed value passes through its general text, as the fields do.
    auto g = [](long double v) { return *num::toDecimal(num::general(v)); };
    const long double remaining = *available - *q;
    const long double saleAmount = g(*p * *q);
    const QVariantMap stockChange{
        {QString(stockcol::soldQuantity), double(g(*sold + *q))},
        {QString(stockcol::salesAmount), double(g(*amount + saleAmount))},
        {QString(stockcol::stockQuantity), double(num::round2(remaining))},
        {QString(stockcol::stockAmount), double(g(remaining * *cost))},
    };
    const QVariantMap fieldNames{{QString(stockcol::soldQuantity), QStringLiteral("已售数量")},
                                 {QString(stockcol::salesAmount), QStringLiteral("销售金额")},
                                 {QString(stockcol::stockQuantity), QStringLiteral("库存数量")},
                                 {QString(stockcol::stockAmount), QStringLiteral("库存金额")}};
    for (auto it = stockChange.cbegin(); it != stockChange.cend(); ++it) {
        if (!num::isStorableResult(it.value().toDouble())) {
            messagePort().error(num::resultOutOfRangeText(fieldNames.value(it.key()).toString(),
                                                          num::general(it.value())));
            return false;
        }
    }
    const QString name = col(stockcol::name).toString().trimmed();
    const QString model = col(stockcol::model).toString().trimmed();
    const QVariantMap sale{
        {QString(salecol::name), name},
        {QString(salecol::model), model},
        {QString(salecol::code), col(stockcol::code).toString().trimmed()},
        {QString(salecol::category), col(stockcol::category).toString().trimmed()},
        {QString(salecol::nameInitials), PinyinInitials(name)},
        {QString(salecol::modelInitials), PinyinInitials(model)},
        {QString(salecol::customer), in.customer.trimmed()},
        {QString(salecol::address), in.address.trimmed()},
        {QString(salecol::contact), in.contact.trimmed()},
        {QString(salecol::customerRemark), in.customerRemark.trimmed()},
        {QString(salecol::saleNumber), in.saleNumber.trimmed()},
        {QString(salecol::purchasePrice), double(*cost)},
        {QString(salecol::price), double(*p)},
        {QString(salecol::quantity), double(*q)},
        {QString(salecol::amount), double(saleAmount)},
        {QString(salecol::profit), double(num::round2((*p - *cost) * *q))},
        {QString(salecol::owed), double(*owed)},
        {QString(salecol::saleDate), in.saleDate},
        {QString(salecol::stockInDate), col(stockcol::stockInDate)},
    };

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
    qint64 saleRowId = 0;
    if (!dm.appendRow(QStringLiteral("data1"), sale, &saleRowId))
        return false; // reported; the transaction rolls the stock change back
    if (!t.commit(&error)) {
        Tdmfm::report(error);
        return false;
    }
    dm.stockRowsWritten({in.stockRowId}); // the stock list shows the stored figures from here
    dm.saleRowsWritten({saleRowId});
    dm.customerWritten(in.customer.trimmed());
    return true;
}

} // namespace saleops
