#pragma once

#include "core/clock.h"

#include <QDate>
#include <QSet>
#include <QString>

class DataGrid;
class QPrinter;

struct GridPrintOptions
{
    // The heading above the grid, e.g. "商 品 进 货 统 计 报 表".
    QString heading;
    // The placeholder of the signature: "%[Today1]" (stock and summary grids)
    // or "%[Today]" (sales grid). It is the text below the grid, and wherever
    // it occurs in the heading or that text it is replaced by the signature.
    QString macro;
    QString userName;
    // Fields (lower case) this user may not see; never printed.
    QSet<QString> restrictedFields;
};

// "打 印" of the program's grids. Every window calls it the same way:
//
//   GridPrintOptions options{QStringLiteral("商 品 进 货 统 计 报 表"), QStringLiteral("%[Today1]"), user, restricted};
//   GridPrint::preview(grid, options);
//
// A4 with 2 cm margins; each page has "Page. n" centred at the top over a
// double line. The first page starts with the heading (bold, 14 pt, centred)
// and an empty line; then the grid as it shows: its visible columns in screen
// order stretched or shrunk to the page width, the column titles (repeated on
// each page), the rows with their wrapped texts in the grid's colours, the
// totals row; then an empty line and, right-aligned in 10 pt, the text below
// with the signature "制表人：<user>    日期：<yyyy-mm-dd>".
class GridPrint final
{
public:
    // Opens the print preview of the grid; printing happens from there.
    static void preview(DataGrid& grid, const GridPrintOptions& options);

    // Sets up `printer` (A4, margins) and paints every page on it. A PDF file
    // replaces an existing one only when written whole; false (with *error
    // naming the file and the reason) when it was not.
    static bool print(QPrinter& printer, const DataGrid& grid, const GridPrintOptions& options,
                      const QDate& today = wallclock::today(), QString* error = nullptr);

    static QString signature(const QString& userName, const QDate& today);
    // `text` with every occurrence of the options' macro replaced by the signature.
    static QString expand(const QString& text, const GridPrintOptions& options, const QDate& today);
};
