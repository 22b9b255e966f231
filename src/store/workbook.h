#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QVector>

// Spreadsheet files read into memory, cell by cell, for the stock import.
//
// Three kinds of file are read, told apart by their first bytes, not by the
// name: Excel 97-2003 workbooks (.xls, BIFF8 records inside a compound file,
// as Excel, WPS and LibreOffice save them), Office Open XML workbooks (.xlsx,
// a zip of XML parts) and, for a file that is neither, comma-separated text
// (.csv, UTF-8 or GBK). Both workbook kinds are read with libgsf (its
// compound-file and zip readers) and the cell records or XML parsed here.
namespace workbook {

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
    QString text;
    double number = 0; // Number; Date: the day count it was stored as
    QDate date;        // Date: the calendar day (invalid for a time of day alone)

    bool isEmpty() const { return kind == Kind::Empty; }
};

// A formula cell reads as the result the file saved with it.
struct Sheet
{
    QString name;
    // rows[r][c] is the cell of sheet row r + 1, column c + 1; a row is only
    // as long as its last cell, and a missing cell is empty.
    QVector<QVector<Cell>> rows;

    const Cell& cell(int row, int column) const;
};

struct Book
{
    enum class Format { Xls, Xlsx, Csv };
    Format format = Format::Xls;
    QList<Sheet> sheets; // in the file's order; a CSV file has one, named after the file

    // The sheet with this name (letter case ignored), or nullptr.
    const Sheet* sheet(const QString& name) const;
};

// Reads the file at `path`. On failure returns false with a sentence saying
// why (not found, not a workbook, encrypted, damaged, an old Excel version).
bool read(const QString& path, Book* book, QString* error);

// The calendar day of an Excel day count (1900 or 1904 system); invalid
// before the first day of the system.
QDate dateOfSerial(double serial, bool system1904);

} // namespace workbook
