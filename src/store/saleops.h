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
// at the purchase price; appends the Sale row with amount and profit.
//
// Everything happens in one transaction that holds the write lock from the
// start: the Stock row's figures are read inside it, so a sale can never work
// on figures another sale (or another program on the same file) has changed
// meanwhile, and either both rows are written or neither.
//
// A quantity above the stored stock quantity is refused: false, nothing
// written, and the stored stock quantity in its general text in *onHand (when
// onHand is null the refusal is shown as "库存不足"). Other failures return
// false after reporting the engine's or the conversion's error; nothing is
// written then either.
bool recordSale(Tdmfm& dm, const SaleInput& in, QString* onHand = nullptr);

} // namespace saleops
