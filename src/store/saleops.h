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

// What the change of a recorded sale may touch: the amount owed and the
// customer details. Quantities, prices, amounts, dates and the stock stay.
struct SaleChange
{
    QString owed;       // typed text; must be a number
    QString saleNumber; // texts are stored without leading and trailing blanks
    QString customer, address, contact, customerRemark;
};

// Writes the change into the sale row `saleRowId`. A text in "欠款金额" that
// is no number (also an empty one), or a sale row deleted meanwhile, is
// reported and nothing is written (false).
bool changeSale(Tdmfm& dm, qint64 saleRowId, const SaleChange& change);

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

enum class DeleteOutcome {
    Failed,       // reported; nothing written
    NoStockRow,   // no Stock row matches and the caller did not allow that: nothing written
    Deleted,      // the sale row is gone and its Stock row took the figures back
    DeletedAlone, // the sale row is gone; there was no Stock row to give anything back to
};

// Deletes the sale row `saleRowId` and gives its figures back to the Stock row
// it was sold from, in one transaction that holds the write lock from the
// start; the Stock row's figures are read inside it. The Stock row is the one
// with exactly the sale's name, model, code and category (blanks
// around them ignored) and the sale's stock-in date; of several such rows the
// first stored. Without such a row nothing is written unless
// `deleteWithoutStock` is true; then only the sale row is deleted.
// *stockRowId (when given) receives the Stock row adjusted, or -1.
DeleteOutcome deleteSale(Tdmfm& dm, qint64 saleRowId, bool deleteWithoutStock, qint64* stockRowId = nullptr);

} // namespace saleops
