#pragma once

#include "core/result.h"

#include <QString>
#include <QVariantMap>

#include <optional>

class Tdmfm;

// Taking articles into stock, changing a Stock row and deleting one. The
// stock-in panel collects the values; these write them, each in one
// transaction, and keep the in-memory stock table current.
namespace stockops {

// What the stock-in panel holds when a button is pressed, as typed.
struct Entry
{
    QString name;
    QString model;
    QString code;
    QString category;
    QString purchasePrice;
    QString quantity;
    QString salePrice;
    QString supplier;
    QString remark;
    QString date; // "yyyy-mm-dd"
};

// The five amounts stored with a row but never shown, held as general-form texts:
//   purchase amount = purchase price × quantity         (`3`, and `8` of a new row)
//   sold quantity                                       (`5`; "0" for a new row)
//   sales amount    = sale price × sold quantity        (`6`)
//   stock quantity  = quantity (on a change: quantity − sold quantity) (`7`)
//   stock amount    = stock quantity × purchase price   (`8` of a changed row)
struct HeldAmounts
{
    QString purchaseAmount;
    QString soldQuantity;
    QString salesAmount;
    QString stockQuantity;
    QString stockAmount;

    bool operator==(const HeldAmounts&) const = default;
};

// Which typed value just changed; BeforeChange is the recomputation a change
// makes before it writes: what is left in stock after the sales so far.
enum class Edit { PurchasePrice, Quantity, SalePrice, BeforeChange };

// The held amounts after an edit of the typed texts. Every product is computed
// in long double from the texts and written back in the general form. A text
// that is not a number stops the recomputation: *error gets its conversion
// error and the amounts keep what they had (except that an edited quantity is
// always the new stock quantity). Empty operands leave the amounts alone.
HeldAmounts recompute(Edit edit, const QString& purchasePrice, const QString& quantity, const QString& salePrice,
                      HeldAmounts held, QString* error);

// The column values of a Stock row from an entry and its held amounts;
// `stockAmount` is the amount written as `8`. Nothing typed stores NULL;
// a typed number must be one the typed limits allow, a computed one one the
// magnitude limit allows. The first bad value gives nullopt and *error.
std::optional<QVariantMap> rowValues(const Entry& entry, const HeldAmounts& held, const QString& stockAmount,
                                     QString* error);

// Appends a new Stock row (its `8` is the purchase amount) and returns its
// identity. After a failure nothing is written.
Result<qint64> add(Tdmfm& dm, const QVariantMap& values);
// Writes `values` into the Stock row `rowId`. A row no longer stored gives
// Error::Kind::Gone and nothing is written.
Result<void> change(Tdmfm& dm, qint64 rowId, const QVariantMap& values);
// Deletes the Stock row `rowId`; a row no longer stored gives Error::Kind::Gone.
Result<void> remove(Tdmfm& dm, qint64 rowId);

} // namespace stockops
