#pragma once

#include "core/result.h"

#include <QString>

#include <optional>

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
    // The article the seller was shown for stockRowId. Each one given must
    // still be what the row holds (blanks around ignored), or the sale is
    // refused: another program may have put another article in its place.
    std::optional<QString> shownName, shownCode, shownStockInDate;
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
// A quantity above the stored stock quantity is refused with
// Error::Kind::Shortage and the stored stock quantity in its general text
// (Error::onHand); a Stock row that no longer holds the article shown with
// Error::Kind::Replaced. Other failures return the engine's or the
// conversion's error (also for an empty or non-numeric figure of the Stock
// row). Nothing is written after any failure. The Sale row keeps the Stock
// row's identity, so a deletion can give it back there. Returns the new Sale
// row's identity.
Result<qint64> recordSale(Tdmfm& dm, const SaleInput& in);

// What the change of a recorded sale may touch: the amount owed and the
// customer details. Quantities, prices, amounts, dates and the stock stay.
struct SaleChange
{
    QString owed;       // typed text; must be a number
    QString saleNumber; // texts are stored without leading and trailing blanks
    QString customer, address, contact, customerRemark;
};

// Writes the change into the sale row `saleRowId`. A text in "欠款金额" that
// is no number (also an empty one), or a sale row deleted meanwhile
// (Error::Kind::Gone), writes nothing.
Result<void> changeSale(Tdmfm& dm, qint64 saleRowId, const SaleChange& change);

// The Stock row figures a deletion writes back: the sale's quantity and amount
// leave the sold figures and its quantity returns to stock at the purchase
// price recorded with the sale. A return (negative quantity) works the other
// way round by the same formulas.
struct StockFigures
{
    long double sold = 0, salesAmount = 0, stock = 0, stockAmount = 0;
};
StockFigures stockAfterDeletion(const StockFigures& before, long double quantity, long double amount,
                                long double purchasePrice);

// A deleted sale: the Stock row that took its figures back, or -1 when there
// was none to give anything back to.
struct Deleted
{
    qint64 stockRowId = -1;
};

// Deletes the sale row `saleRowId` and gives its figures back to the Stock row
// it was sold from, in one transaction that holds the write lock from the
// start; the Stock row's figures are read inside it. The Stock row is the one
// the sale recorded, while it holds exactly the sale's name, model, code and
// category (blanks around them ignored) and the sale's stock-in date; for a
// sale without one (written by an older program) or whose row is gone or
// changed, the one row with those texts and date. Several such rows: nothing
// is written (Error::Kind::AmbiguousRow). Without such a row nothing is
// written (Error::Kind::NoStockRow) unless `deleteWithoutStock` is true; then
// only the sale row is deleted. The sale's quantity, amount and purchase price
// and the Stock row's four figures must all be numbers (an empty one is not),
// or the conversion's error is returned and nothing is written. A sale row
// deleted meanwhile gives Error::Kind::Gone.
Result<Deleted> deleteSale(Tdmfm& dm, qint64 saleRowId, bool deleteWithoutStock);

} // namespace saleops
