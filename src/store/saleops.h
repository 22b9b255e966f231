#pragma once

#include <QString>

class Tdmfm;

// Recording one sale (or return, with a negative quantity) of a Stock row. The
// Stock row and the new Sale row are written in one transaction.
namespace saleops {

struct SaleInput
{
    qint64 stockRowId = -1;
    QString quantity;   // typed text; negative for a return
    QString price;      // actual unit price, typed text
    QString owed;       // amount owed by the customer, typed text (may be empty)
    QString saleNumber; // 销售单号
    QString saleDate;   // "yyyy-mm-dd"
    QString customer, address, contact, customerRemark;
};

// Applies the sale to the Stock row: sold quantity and sales amount grow, the
// stock quantity falls (rounded to two decimals) and the stock amount follows it
// at the purchase price; appends the Sale row with amount and profit. Returns
// false after reporting the engine's or the conversion's error; nothing is
// written then.
bool recordSale(Tdmfm& dm, const SaleInput& in);

} // namespace saleops
