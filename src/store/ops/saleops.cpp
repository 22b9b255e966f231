#include "store/ops/saleops.h"

#include "core/numbers.h"
#include "store/db/columns.h"
#include "store/db/serverclerk.h"
#include "store/db/serverconnection.h"
#include "store/ops/tdmfm.h"
#include "text/pinyininitials.h"

namespace saleops {

namespace {

// A computed value as the fields hold it: passed through its general text.
long double asStored(long double v)
{
    return *num::toDecimal(num::general(v));
}

// A stored number read back through its general text, as the fields hold it.
// An empty value (an imported row can have one) is no number: it fails with
// the invalid-number message like any other text, it never counts as 0.
std::optional<long double> stored(const QVariant& v, QString* error)
{
    return num::toDecimal(num::general(v), error);
}

QString replacedRowText()
{
    return QStringLiteral("这条库存记录已被删除或改成了其他商品（商品名称、商品编码或入库日期与打开销售面板时不同），"
                          "销售没有保存。请重新选择要销售的商品。");
}

// Whether a stored text is the one the seller saw (blanks around ignored).
bool sameText(const std::optional<QString>& shown, const QVariant& storedValue)
{
    return !shown || shown->trimmed() == storedValue.toString().trimmed();
}

// A typed amount that is stored as it is: a number, not negative, within the
// digits the general form keeps.
std::optional<long double> typedAmount(const QString& text, const QString& field, QString* error)
{
    return num::toStorable(text, field, error);
}

Result<qint64> writeSale(Tdmfm& dm, const SaleInput& in, long double q, long double p, long double owed);
Result<qint64> writeSaleThroughServer(Tdmfm& dm, const SaleInput& in, long double q, long double p, long double owed);

} // namespace

Result<qint64> recordSale(Tdmfm& dm, const SaleInput& in)
{
    // The typed values first: a bad text stops the sale before anything is read or locked.
    QString error;
    const auto q = num::toDecimal(in.quantity, &error);
    if (q && !num::isStorableResult(*q)) {
        error = num::resultOutOfRangeText(QStringLiteral("销售数量"), in.quantity);
    }
    const auto p =
        q && num::isStorableResult(*q) ? typedAmount(in.price, QStringLiteral("实际销售价"), &error) : std::nullopt;
    const auto owed = !p ? std::nullopt
                         : (in.owed.isEmpty() ? std::optional<long double>(0)
                                              : typedAmount(in.owed, QStringLiteral("欠款金额"), &error));
    if (!owed)
        return Error::invalid(error);

    // A till of ordinary users cannot read the purchase price the figures
    // need: the server computes them, as writeSale() does.
    const Result<bool> readsPrices = dm.db().readsPurchasePrices();
    if (!readsPrices)
        return readsPrices.error();
    if (!*readsPrices)
        return withRetries<qint64>(dm.db(), [&] { return writeSaleThroughServer(dm, in, *q, *p, *owed); });
    return withRetries<qint64>(dm.db(), [&] { return writeSale(dm, in, *q, *p, *owed); });
}

namespace {

// The transaction of recordSale(), from the typed values on.
Result<qint64> writeSale(Tdmfm& dm, const SaleInput& in, long double q, long double p, long double owed)
{
    QString error;
    Database& db = dm.db();
    Transaction t(db, Transaction::Lock::Immediate);
    if (!t.begun())
        return Error::engine(t.error());
    // The stock row is read under its lock: another till's sale of it waits
    // until this one is committed and then reads what this one wrote.
    QueryResult stock;
    if (!db.query(Statement{QStringLiteral("select * from data where rowid=?") + lockForUpdate(db), {in.stockRowId}},
                  &stock, &error))
        return Error::engine(error);
    if (stock.rows.isEmpty())
        return Error::engine(QStringLiteral("Cannot perform this operation on an empty dataset"));
    auto col = [&](QLatin1StringView name) { return stock.rows.at(0).at(stock.columns.indexOf(name)); };
    // Another program may have deleted the row the panel was opened for and
    // written another article in its place.
    if (!sameText(in.shownName, col(stockcol::name)) || !sameText(in.shownCode, col(stockcol::code)) ||
        !sameText(in.shownStockInDate, col(stockcol::stockInDate)))
        return Error::of(Error::Kind::Replaced, replacedRowText());

    const auto cost = stored(col(stockcol::purchasePrice), &error);
    const auto sold = cost ? stored(col(stockcol::soldQuantity), &error) : std::nullopt;
    const auto amount = sold ? stored(col(stockcol::salesAmount), &error) : std::nullopt;
    const auto available = amount ? stored(col(stockcol::stockQuantity), &error) : std::nullopt;
    // Not used (the new stock amount follows the stock quantity), but a row
    // whose figures are not all numbers is not sold from.
    const auto held = available ? stored(col(stockcol::stockAmount), &error) : std::nullopt;
    if (!held)
        return Error::invalid(error);
    if (*available < q)
        return Error{Error::Kind::Shortage, QStringLiteral("库存不足"), num::general(*available)};

    const long double remaining = *available - q;
    const long double saleAmount = asStored(p * q);
    const QVariantMap stockChange{
        {QString(stockcol::soldQuantity), double(asStored(*sold + q))},
        {QString(stockcol::salesAmount), double(asStored(*amount + saleAmount))},
        {QString(stockcol::stockQuantity), double(num::round2(remaining))},
        {QString(stockcol::stockAmount), double(asStored(remaining * *cost))},
    };
    const QVariantMap fieldNames{{QString(stockcol::soldQuantity), QStringLiteral("已售数量")},
                                 {QString(stockcol::salesAmount), QStringLiteral("销售金额")},
                                 {QString(stockcol::stockQuantity), QStringLiteral("库存数量")},
                                 {QString(stockcol::stockAmount), QStringLiteral("库存金额")}};
    for (auto it = stockChange.cbegin(); it != stockChange.cend(); ++it) {
        if (!num::isStorableResult(it.value().toDouble()))
            return Error::invalid(
                num::resultOutOfRangeText(fieldNames.value(it.key()).toString(), num::general(it.value())));
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
        {QString(salecol::price), double(p)},
        {QString(salecol::quantity), double(q)},
        {QString(salecol::amount), double(saleAmount)},
        {QString(salecol::profit), double(num::round2((p - *cost) * q))},
        {QString(salecol::owed), double(owed)},
        {QString(salecol::saleDate), in.saleDate},
        {QString(salecol::stockInDate), col(stockcol::stockInDate)},
        {QString(salecol::stockRowId), in.stockRowId},
    };

    QStringList sets;
    QVariantList params;
    for (auto it = stockChange.cbegin(); it != stockChange.cend(); ++it) {
        sets << quoteIdentifier(it.key()) + QLatin1String("=?");
        params << it.value();
    }
    params << in.stockRowId;
    if (!db.exec(Statement{QStringLiteral("update data set %1 where rowid=?").arg(sets.join(QLatin1Char(','))), params},
                 &error))
        return Error::engine(error);
    const Result<qint64> saleRowId = dm.appendRow(QStringLiteral("data1"), sale);
    if (!saleRowId)
        return saleRowId; // the transaction rolls the stock change back
    // The commit publishes both rows: the stock list shows the stored figures from here.
    if (!t.commit(&error))
        return Error::engine(error);
    return saleRowId;
}

// The refusal of a stock amount out of range on a till that must not learn
// the purchase price from it.
QString stockAmountOutOfRangeText()
{
    return QStringLiteral("库存金额的计算结果超出允许范围：不能达到 1000000000000000。");
}

// The sale function's failure as the error writeSale() gives for the same
// case (but for the value of a stock amount out of range); nullopt when the
// stock row's texts changed after they were read.
std::optional<Error> saleFunctionError(const ServerError& e)
{
    namespace st = serverclerk::state;
    if (e.sqlState == st::stockRowGone)
        return Error::engine(QStringLiteral("Cannot perform this operation on an empty dataset"));
    if (e.sqlState == st::stockRowChanged)
        return std::nullopt;
    if (e.sqlState == st::notANumber)
        return Error::invalid(num::invalidDecimalText(e.text.section(QLatin1Char(':'), 1)));
    if (e.sqlState == st::shortage)
        return Error{Error::Kind::Shortage, QStringLiteral("库存不足"), num::general(QVariant(e.text.toDouble()))};
    // The stock amount follows the purchase price: its value is not told.
    if (e.sqlState == st::outOfRange && e.text == QString(stockcol::stockAmount))
        return Error::invalid(stockAmountOutOfRangeText());
    if (e.sqlState == st::outOfRange) {
        static const QMap<QString, QString> fieldNames{{QString(stockcol::soldQuantity), QStringLiteral("已售数量")},
                                                       {QString(stockcol::salesAmount), QStringLiteral("销售金额")},
                                                       {QString(stockcol::stockQuantity), QStringLiteral("库存数量")},
                                                       {QString(stockcol::stockAmount), QStringLiteral("库存金额")}};
        return Error::invalid(
            num::resultOutOfRangeText(fieldNames.value(e.text.section(QLatin1Char(' '), 0, 0)),
                                      num::general(QVariant(e.text.section(QLatin1Char(' '), 1).toDouble()))));
    }
    return Error::engine(e.text);
}

// The transaction of recordSale() on a connection that cannot read the
// purchase price: the server's sale function locks the stock row, computes
// and writes the figures and the sale row (serverclerk.h). The texts the
// sale row copies are read here, through the view, and checked against the
// article shown; the function refuses them when the row has changed since,
// and they are read again.
Result<qint64> writeSaleThroughServer(Tdmfm& dm, const SaleInput& in, long double q, long double p, long double owed)
{
    Database& db = dm.db();
    for (int attempt = 0;; ++attempt) {
        QString error;
        QueryResult stock;
        if (!db.query(Statement{QStringLiteral("select %1,%2,%3,%4,%5 from data where rowid=?")
                                    .arg(quoteIdentifier(stockcol::name), quoteIdentifier(stockcol::model),
                                         quoteIdentifier(stockcol::code), quoteIdentifier(stockcol::category),
                                         quoteIdentifier(stockcol::stockInDate)),
                                {in.stockRowId}},
                      &stock, &error))
            return Error::engine(error);
        if (stock.rows.isEmpty())
            return Error::engine(QStringLiteral("Cannot perform this operation on an empty dataset"));
        const QVector<QVariant>& row = stock.rows.at(0);
        if (!sameText(in.shownName, row.at(0)) || !sameText(in.shownCode, row.at(2)) ||
            !sameText(in.shownStockInDate, row.at(4)))
            return Error::of(Error::Kind::Replaced, replacedRowText());
        const QString name = row.at(0).toString().trimmed();
        const QString model = row.at(1).toString().trimmed();
        const Statement call{serverclerk::saleFunctionCall(),
                             {in.stockRowId,
                              serverclerk::binaryText(q),
                              serverclerk::binaryText(p),
                              serverclerk::binaryText(owed),
                              row.at(0),
                              row.at(1),
                              row.at(2),
                              row.at(3),
                              row.at(4),
                              name,
                              model,
                              row.at(2).toString().trimmed(),
                              row.at(3).toString().trimmed(),
                              PinyinInitials(name),
                              PinyinInitials(model),
                              in.customer.trimmed(),
                              in.address.trimmed(),
                              in.contact.trimmed(),
                              in.customerRemark.trimmed(),
                              in.saleNumber.trimmed(),
                              in.saleDate}};
        // One statement, its own transaction unless the caller has one open;
        // the commit publishes both rows.
        Transaction t(db, Transaction::Lock::Immediate);
        if (!t.begun())
            return Error::engine(t.error());
        QueryResult sold;
        if (db.query(call, &sold, &error)) {
            if (!t.commit(&error))
                return Error::engine(error);
            return sold.rows.value(0).value(0).toLongLong();
        }
        const ServerError failure = db.server()->lastError();
        if (failure.isRetryable())
            return Error::engine(error); // withRetries runs it again
        const std::optional<Error> refused = saleFunctionError(failure);
        if (refused)
            return *refused;
        if (attempt == 3)
            return Error::engine(error);
    }
}

} // namespace

} // namespace saleops

namespace saleops {

Result<void> changeSale(Tdmfm& dm, qint64 saleRowId, const SaleChange& change)
{
    QString error;
    const auto owed = num::toStorable(change.owed, QStringLiteral("欠款金额"), &error);
    if (!owed)
        return Error::invalid(error);
    const Statement st{QStringLiteral("update data1 set %1=?,%2=?,%3=?,%4=?,%5=?,%6=? where rowid=?")
                           .arg(quoteIdentifier(salecol::owed), quoteIdentifier(salecol::saleNumber),
                                quoteIdentifier(salecol::customer), quoteIdentifier(salecol::address),
                                quoteIdentifier(salecol::contact), quoteIdentifier(salecol::customerRemark)),
                       {double(*owed), change.saleNumber.trimmed(), change.customer.trimmed(), change.address.trimmed(),
                        change.contact.trimmed(), change.customerRemark.trimmed(), saleRowId}};
    int changes = 0;
    if (!dm.db().exec(st, &error, &changes))
        return Error::engine(error);
    if (changes == 0)
        return Error::gone();
    return {};
}

StockFigures stockAfterDeletion(const StockFigures& before, long double quantity, long double amount,
                                long double purchasePrice)
{
    return StockFigures{asStored(before.sold - quantity), asStored(before.salesAmount - amount),
                        asStored(before.stock + quantity), asStored(quantity * purchasePrice + before.stockAmount)};
}

namespace {

Result<Deleted> writeDeletion(Tdmfm& dm, qint64 saleRowId, bool deleteWithoutStock);

} // namespace

Result<Deleted> deleteSale(Tdmfm& dm, qint64 saleRowId, bool deleteWithoutStock)
{
    return withRetries<Deleted>(dm.db(), [&] { return writeDeletion(dm, saleRowId, deleteWithoutStock); });
}

namespace {

// The transaction of deleteSale(). The rows it reads in order to write them
// are read under their locks (lockForUpdate()).
Result<Deleted> writeDeletion(Tdmfm& dm, qint64 saleRowId, bool deleteWithoutStock)
{
    Database& db = dm.db();
    Transaction t(db, Transaction::Lock::Immediate);
    if (!t.begun())
        return Error::engine(t.error());
    QString error;
    QueryResult sale;
    if (!db.query(Statement{QStringLiteral("select * from data1 where rowid=?") + lockForUpdate(db), {saleRowId}},
                  &sale, &error))
        return Error::engine(error);
    if (sale.rows.isEmpty())
        return Error::gone();
    auto saleCol = [&](QLatin1StringView name) { return sale.rows.at(0).at(sale.columns.indexOf(name)); };

    // The Stock row the sale came from. A sale names it (sales written before
    // the stock row identities were kept do not); that row is taken while it
    // still holds the sale's article texts and stock-in date. Otherwise the
    // row with exactly those texts and date (a sale of 篮球 is not one of
    // 篮球鞋) — unless several rows have them: two batches of one article taken
    // in on one day cannot be told apart, and no guess is made.
    const QString text = QStringLiteral("trim(coalesce(%1,''))=?");
    Statement find{QStringLiteral("select rowid,%1,%2,%3,%4 from data where %5=? and %6 and %7 and %8 and %9")
                       .arg(quoteIdentifier(stockcol::soldQuantity), quoteIdentifier(stockcol::salesAmount),
                            quoteIdentifier(stockcol::stockQuantity), quoteIdentifier(stockcol::stockAmount),
                            quoteIdentifier(stockcol::stockInDate), text.arg(quoteIdentifier(stockcol::name)),
                            text.arg(quoteIdentifier(stockcol::model)), text.arg(quoteIdentifier(stockcol::code)),
                            text.arg(quoteIdentifier(stockcol::category))),
                   {saleCol(salecol::stockInDate), saleCol(salecol::name).toString().trimmed(),
                    saleCol(salecol::model).toString().trimmed(), saleCol(salecol::code).toString().trimmed(),
                    saleCol(salecol::category).toString().trimmed()}};
    QueryResult stock;
    const QVariant recorded = sale.rows.at(0).value(sale.columns.indexOf(salecol::stockRowId));
    if (!recorded.isNull()) {
        const Statement own{find.sql + QStringLiteral(" and rowid=?") + lockForUpdate(db),
                            find.params + QVariantList{recorded}};
        if (!db.query(own, &stock, &error))
            return Error::engine(error);
    }
    if (stock.rows.isEmpty()) {
        find.sql += QStringLiteral(" order by rowid limit 2") + lockForUpdate(db);
        if (!db.query(find, &stock, &error))
            return Error::engine(error);
        if (stock.rows.size() > 1)
            return Error::of(Error::Kind::AmbiguousRow);
    }
    const bool found = !stock.rows.isEmpty();
    if (!found && !deleteWithoutStock)
        return Error::of(Error::Kind::NoStockRow);

    qint64 stockId = -1;
    if (found) {
        const QVector<QVariant>& row = stock.rows.at(0);
        stockId = row.at(0).toLongLong();
        const auto q = stored(saleCol(salecol::quantity), &error);
        const auto m = q ? stored(saleCol(salecol::amount), &error) : std::nullopt;
        const auto p = m ? stored(saleCol(salecol::purchasePrice), &error) : std::nullopt;
        const auto soldBefore = p ? stored(row.at(1), &error) : std::nullopt;
        const auto salesAmountBefore = soldBefore ? stored(row.at(2), &error) : std::nullopt;
        const auto stockBefore = salesAmountBefore ? stored(row.at(3), &error) : std::nullopt;
        const auto stockAmountBefore = stockBefore ? stored(row.at(4), &error) : std::nullopt;
        if (!stockAmountBefore)
            return Error::invalid(error);
        const StockFigures after =
            stockAfterDeletion({*soldBefore, *salesAmountBefore, *stockBefore, *stockAmountBefore}, *q, *m, *p);
        for (const long double v : {after.sold, after.salesAmount, after.stock, after.stockAmount}) {
            if (!num::isStorableResult(v))
                return Error::invalid(num::resultOutOfRangeText(QStringLiteral("库存"), num::general(v)));
        }
        const Statement update{
            QStringLiteral("update data set %1=?,%2=?,%3=?,%4=? where rowid=?")
                .arg(quoteIdentifier(stockcol::soldQuantity), quoteIdentifier(stockcol::salesAmount),
                     quoteIdentifier(stockcol::stockQuantity), quoteIdentifier(stockcol::stockAmount)),
            {double(after.sold), double(after.salesAmount), double(after.stock), double(after.stockAmount), stockId}};
        if (!db.exec(update, &error))
            return Error::engine(error);
    }
    if (!db.exec(Statement{QStringLiteral("delete from data1 where rowid=?"), {saleRowId}}, &error))
        return Error::engine(error); // the transaction rolls the stock change back
    if (!t.commit(&error))
        return Error::engine(error);
    return Deleted{stockId};
}

} // namespace

} // namespace saleops
