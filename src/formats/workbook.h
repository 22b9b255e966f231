#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

#include <limits>

// Spreadsheet files read for the stock import, cell by cell, keeping in memory
// only what the import asks for.
//
// Three kinds of file are read, told apart by their first bytes, not by the
// name: Excel 97-2003 workbooks (.xls, BIFF8 records inside a compound file,
// as Excel, WPS and LibreOffice save them), Office Open XML workbooks (.xlsx,
// a zip of XML parts) and, for a file that is neither, comma-separated text
// (.csv, UTF-8 or GBK). Both workbook kinds are read with libgsf (its
// compound-file and zip readers) and the cell records or XML parsed as they
// stream in, one reader per format (xlsreader.cpp, xlsxreader.cpp,
// csvreader.cpp); no part of a file is inflated into memory whole.
//
// Whatever a file says, what is kept stays small: one sheet, the columns its
// title row names, a bounded number of rows, texts cut to kMaxKeptText
// characters, a bounded shared-string table. A file that asks for more (a cell
// beyond the format's last row or column, too much text) is refused.
namespace workbook {

// Characters kept of one text; a longer text is cut (see Cell::fullLength).
inline constexpr qsizetype kMaxKeptText = 1024;

struct Cell
{
    enum class Kind : quint8 {
        Empty,
        Text,   // text; a boolean cell reads as the text "TRUE" or "FALSE"
        Number, // a number shown as a number
        Date,   // a number the cell's format shows as a date or time
        Error,  // a formula error such as "#DIV/0!", held in `text`
    };
    Kind kind = Kind::Empty;
    // Text: a text of more than kMaxKeptText characters holds the first of
    // them after the blanks around it are taken away, and fullLength says how
    // many that trimmed text had; -1 for a text held whole.
    QString text;
    qsizetype fullLength = -1;
    double number = 0; // Number; Date: the day count it was stored as
    QDate date;        // Date: the calendar day (invalid for a time of day alone)

    bool isEmpty() const { return kind == Kind::Empty; }
};

// What to read of a book.
struct Selection
{
    // The sheet whose cells are read (letter case ignored); of the other
    // sheets only the names. A CSV file's one sheet is read whatever its name.
    QString sheet;
    // The sheet's first row holding anything is its title row. Of it only
    // the text cells that read as one of these titles (blanks around and
    // letter case ignored) are kept, and of the rows below it only the cells
    // in those columns.
    QStringList titles;
    // Rows below the title row that hold anything in those columns: reading
    // stops at the first one past this many, and Sheet::tooManyRows is set.
    int maxRows = std::numeric_limits<int>::max();
};

struct Sheet
{
    QString name;
    bool read = false; // the selected sheet: its cells were read

    struct Title
    {
        int column;   // sheet column, 0-based
        QString text; // as written, blanks around taken away
    };
    int titleRow = -1;    // 0-based sheet row of the title row; -1 when the sheet holds nothing
    QList<Title> titles;  // the title row's cells that name a selected title, left to right as read
    QVector<int> columns; // the kept columns: the first column of each title

    struct Row
    {
        int row;             // 0-based sheet row
        QVector<Cell> cells; // cells[i] is the cell in columns[i]
    };
    // The rows below the title row that hold anything in a kept column, top to bottom.
    QVector<Row> rows;
    bool tooManyRows = false;
};

struct Book
{
    enum class Format { Xls, Xlsx, Csv };
    Format format = Format::Xls;
    QList<Sheet> sheets; // in the file's order; a CSV file has one, named after the file

    // The sheet with this name (letter case ignored), or nullptr.
    const Sheet* sheet(const QString& name) const;
};

// Reads the file at `path`: the names of its sheets and the cells `selection`
// asks for. On failure returns false with a sentence saying why (not found,
// not a workbook, encrypted, damaged, an old Excel version, a cell beyond the
// format's limits, more text than can be held).
bool read(const QString& path, const Selection& selection, Book* book, QString* error);

// The calendar day of an Excel day count (1900 or 1904 system); invalid
// before the first day of the system.
QDate dateOfSerial(double serial, bool system1904);

} // namespace workbook
