#include "store/ops/stockops.h"

#include "core/blanks.h"
#include "core/numbers.h"
#include "store/db/columns.h"
#include "store/ops/tdmfm.h"
#include "text/pinyininitials.h"

#include <functional>

namespace stockops {

namespace {

// The value a number column receives from a text.
enum class Source { Typed, Computed };
std::optional<QVariant> storedNumber(const QString& text, const QString& field, Source source, QString* error)
{
    if (text.isEmpty())
        return QVariant();
    std::optional<long double> value;
    if (source == Source::Typed) {
        value = num::toStorable(text, field, error);
    } else {
        value = num::toDecimal(text, error);
        if (value && !num::isStorableResult(*value)) {
            *error = num::resultOutOfRangeText(field, text);
            value.reset();
        }
    }
    if (!value)
        return std::nullopt;
    return QVariant(static_cast<double>(*value));
}

// One write in one transaction, committed when the write succeeded; the
// commit publishes the row to the in-memory stock table. Run again when it
// collided with another till's transaction (withRetries()).
template <typename T> Result<T> inTransaction(Tdmfm& dm, const std::function<Result<T>()>& write)
{
    return withRetries<T>(dm.db(), [&]() -> Result<T> {
        Transaction t(dm.db(), Transaction::Lock::Immediate);
        if (!t.begun())
            return Error::engine(t.error());
        Result<T> written = write();
        if (!written)
            return written;
        QString error;
        if (!t.commit(&error))
            return Error::engine(error);
        return written;
    });
}

} // namespace

HeldAmounts recompute(Edit edit, const QString& purchasePrice, const QString& quantity, const QString& salePrice,
                      HeldAmounts held, QString* error)
{
    const auto number = [&](const QString& text) { return num::toDecimal(text, error); };
    const HeldAmounts before = held;
    switch (edit) {
    case Edit::PurchasePrice: {
        if (purchasePrice.isEmpty() || quantity.isEmpty() || held.stockQuantity.isEmpty())
            return held;
        const auto p = number(purchasePrice);
        const auto q = p ? number(quantity) : std::nullopt;
        const auto stock = q ? number(held.stockQuantity) : std::nullopt;
        if (!stock)
            return before;
        held.purchaseAmount = num::general(*p * *q);
        held.stockAmount = num::general(*p * *stock);
        return held;
    }
    case Edit::Quantity: {
        held.stockQuantity = quantity;
        if (purchasePrice.isEmpty() || quantity.isEmpty())
            return held;
        const auto p = number(purchasePrice);
        const auto q = p ? number(quantity) : std::nullopt;
        if (!q)
            return held;
        const QString purchaseAmount = num::general(*p * *q);
        // The stock amount follows only a purchase amount that changed.
        if (purchaseAmount != held.purchaseAmount) {
            held.purchaseAmount = purchaseAmount;
            held.stockAmount = num::general(*p * *q);
        }
        return held;
    }
    case Edit::SalePrice: {
        if (salePrice.isEmpty() || held.soldQuantity.isEmpty())
            return held;
        const auto p = number(salePrice);
        const auto sold = p ? number(held.soldQuantity) : std::nullopt;
        if (!sold)
            return before;
        held.salesAmount = num::general(*p * *sold);
        return held;
    }
    case Edit::BeforeChange: {
        if (purchasePrice.isEmpty() || quantity.isEmpty())
            return held; // the required-field checks report these
        const auto p = number(purchasePrice);
        const auto q = p ? number(quantity) : std::nullopt;
        const auto sold = q ? number(held.soldQuantity) : std::nullopt;
        if (!sold)
            return before;
        held.purchaseAmount = num::general(*p * *q);
        held.stockQuantity = num::general(*q - *sold);
        held.stockAmount = num::general((*q - *sold) * *p);
        return held;
    }
    }
    return held;
}

std::optional<QVariantMap> rowValues(const Entry& entry, const HeldAmounts& held, const QString& stockAmount,
                                     QString* error)
{
    const QString name = trimControlsAndSpaces(entry.name);
    const QString model = trimControlsAndSpaces(entry.model);
    QVariantMap values{
        {QString(stockcol::name), name},
        {QString(stockcol::model), model},
        {QString(stockcol::code), trimControlsAndSpaces(entry.code)},
        {QString(stockcol::category), trimControlsAndSpaces(entry.category)},
    };
    // Converted in column order, so the first bad text is the one reported.
    struct Number
    {
        QLatin1StringView column;
        QString text;
        QString field;
        Source source;
    };
    const Number numbers[] = {
        {stockcol::purchasePrice, entry.purchasePrice, QStringLiteral("进货单价"), Source::Typed},
        {stockcol::quantityIn, entry.quantity, QStringLiteral("数量"), Source::Typed},
        {stockcol::purchaseAmount, held.purchaseAmount, QStringLiteral("进货金额"), Source::Computed},
        {stockcol::salePrice, entry.salePrice, QStringLiteral("销售单价"), Source::Typed},
        {stockcol::soldQuantity, held.soldQuantity, QStringLiteral("销售数量"), Source::Computed},
        {stockcol::salesAmount, held.salesAmount, QStringLiteral("销售金额"), Source::Computed},
        {stockcol::stockQuantity, held.stockQuantity, QStringLiteral("库存数量"), Source::Computed},
        {stockcol::stockAmount, stockAmount, QStringLiteral("库存金额"), Source::Computed},
    };
    for (const auto& [column, text, field, source] : numbers) {
        const std::optional<QVariant> value = storedNumber(text, field, source, error);
        if (!value)
            return std::nullopt;
        values.insert(column, *value);
    }
    values.insert(stockcol::remark, trimControlsAndSpaces(entry.remark));
    values.insert(stockcol::stockInDate, entry.date);
    values.insert(stockcol::supplier, trimControlsAndSpaces(entry.supplier));
    values.insert(stockcol::nameInitials, PinyinInitials(name));
    values.insert(stockcol::modelInitials, PinyinInitials(model));
    return values;
}

Result<qint64> add(Tdmfm& dm, const QVariantMap& values)
{
    return inTransaction<qint64>(dm, [&] { return dm.appendRow(QStringLiteral("data"), values); });
}

Result<void> change(Tdmfm& dm, qint64 rowId, const QVariantMap& values)
{
    return inTransaction<void>(dm, [&] { return dm.updateRow(dm.stock().list(), rowId, values); });
}

Result<void> remove(Tdmfm& dm, qint64 rowId)
{
    return inTransaction<void>(dm, [&] { return dm.deleteRow(dm.stock().list(), rowId); });
}

} // namespace stockops
