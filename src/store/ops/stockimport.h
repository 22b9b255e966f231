#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>
#include <vector>

class Tdmfm;
namespace workbook {
struct Book;
struct Selection;
} // namespace workbook

// Bulk stock-in from a workbook: every data row of the worksheet `korvel`
// becomes one new Stock row. The sheet's first row that holds anything names
// the columns (a, b, c, d, e, f, g, a1..a8, z, day1, in any order, letter case
// ignored; other columns are ignored). Every row is checked before anything is written, and
// the rows are written in one transaction: all of them land or none.
namespace stockimport {

// At most this many rows in one import: what one sheet of an Excel 97-2003
// workbook can hold below its title row.
inline constexpr int kMaxRows = 65535;
// At most this many characters in a text cell.
inline constexpr int kMaxTextLength = 255;

// The sheet's column names, in the order of the columns of `data` they fill.
const QStringList& sheetColumns();
// The columns of `data` they fill, in the same order.
const QStringList& tableColumns();

// What the import reads of a workbook: the sheet korvel, the columns its
// title row names, and one row more than it takes.
workbook::Selection selection();

// The checked rows of the book's `korvel` sheet (a CSV file's one sheet, whatever
// its name), each a list of values in tableColumns() order: texts trimmed, numbers
// as doubles, dates as "yyyy-mm-dd", NULL for an empty number or date cell.
// Empty pinyin initials (e, f) are computed from the name and the model text (规格型号)
// as stock-in does; rows with no value in any named column are skipped.
// Numbers are held to the rule of the stock-in panel (num::toStorable).
// On the first bad value returns false with a sentence naming the sheet row
// and column.
bool checkedRows(const workbook::Book& book, std::vector<QVariantList>* rows, QString* error);

enum class Outcome {
    Imported,
    ConnectFailed, // the database file cannot be opened as a shop database
    ImportFailed,  // the workbook cannot be read or checked, or the write failed
    Cancelled,     // the user cancelled before anything was written
};

struct Result
{
    Outcome outcome = Outcome::ImportFailed;
    int rows = 0;                  // rows written
    bool intoOpenDatabase = false; // written through the given data module's connection
    QString detail;                // why it failed
};

// Imports the workbook at `workbookPath` into the stock table of the database
// file at `databasePath`. When `open` is given and its file is that database,
// the rows are written through its connection and its stock table learns them;
// otherwise the file gets a connection of its own for the import. A shop on a
// server is named by its ShopLocation::describe() (or target()) and is only
// written through `open`.
//
// `readAside`, when given, is handed the reading and checking of the workbook
// (the long part of a big import; it touches no database) and returns once it
// has run: the import window runs it on a thread of its own with a progress
// window. It returns false when the user cancelled: nothing is written
// (Outcome::Cancelled). The write stays with the caller's thread.
using Runner = std::function<bool(const std::function<void()>&)>;
Result run(const QString& workbookPath, const QString& databasePath, Tdmfm* open, const Runner& readAside = {});

} // namespace stockimport
