#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

// The Excel export file: a bare stream of BIFF8 records (no compound-document
// container) that spreadsheet programs open as an .xls workbook of one sheet.
// Texts are stored as BIFF8 strings: Latin-1 when every character fits it,
// UTF-16 otherwise, so every character reads back as it was (characters
// outside GBK such as "𠀀", "€" or an emoji included). A small workbook part
// (begin of file, code page 1200, the sheet's name and place, end of file)
// comes first: readers such as xlrd accept a BIFF8 sheet only behind it.
//
// The sheet, top to bottom:
//   row 0          the title, column 3
//   row 1          "制表人：" + user (column 0), "制表时间：" + time (column 5)
//   rows 2..2+L-1  the column titles, one row per title level ("a|b" has two)
//   rows 2+L..     the data rows
//   next row       the totals row
// where L is the largest number of title levels of any column, hidden
// columns included. A hidden column keeps its position and stays empty in
// every row: its title is not written and its cells are blank cells.
namespace biff {

// Row numbers are 16 bits: the last row a sheet can hold.
inline constexpr int kLastRow = 65535;

struct SheetColumn
{
    bool shown = true;      // false: the position stays empty (blank data cells)
    QStringList titleParts; // the title split at "|", blanks kept
    QString totalText;      // what the totals row writes under the column
    // A field written to the right of the grid's columns: data cells only,
    // no title cells and no totals cell.
    bool beyondGrid = false;
};

struct Sheet
{
    QString title;
    QString userName;
    QString madeAt;             // "yyyy-mm-dd hh:mm:ss"
    QList<SheetColumn> columns; // by position, left to right
    int rowCount = 0;
    // The value of a shown column's cell; never asked for a hidden column.
    // Null or an empty text gives a blank cell, integers an integer cell
    // (a number cell when they do not fit one), floating-point numbers a
    // number cell, bytes an empty text cell, anything else a text cell.
    std::function<QVariant(int row, int column)> value;
    // Called after each data row with the number of rows written so far.
    std::function<void(int written)> rowWritten;
};

// The number of title rows (L above).
int titleLevels(const Sheet& sheet);
// The sheet row the totals go into; a sheet whose totals row is beyond
// kLastRow cannot be written.
int totalsRow(const Sheet& sheet);
bool fits(const Sheet& sheet);
// The refusal shown for a sheet that does not fit.
QString tooManyRowsText(int rowCount);

// The whole file as bytes; empty (with the refusal in *error) when the sheet
// does not fit.
QByteArray sheetBytes(const Sheet& sheet, QString* error);
// Writes the file at `path`, replacing an existing one only once the whole
// stream is written. A sheet that does not fit is refused before anything is
// written. On failure returns false with a message for the user.
bool writeSheet(const QString& path, const Sheet& sheet, QString* error);

// The longest text a cell holds, in UTF-16 code units: one text cell record
// of at most 65,535 bytes. A longer text is cut before the character that
// would pass it.
inline constexpr int kMaxTextUnits = 32763;

} // namespace biff
