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
//
// Columns are as wide as their titles, totals and texts need (numbers, dates
// and codes are never cut or wrapped; long texts may wrap), and rows take the
// grid's row colours. Pages are laid out and painted one at a time, reading
// the rows from the grid as they are needed, so memory stays the same for any
// number of rows.
class GridPrint final
{
public:
    // Above this many pages the user is asked before the preview opens.
    static constexpr int kAskAbovePages = 300;
    // The preview shows at most this many pages; printing prints them all.
    static constexpr int kPreviewPages = 50;

    // Opens the print preview of the grid; printing happens from there. A
    // printout of more than kAskAbovePages pages asks "共 N 页，是否继续？" first.
    static void preview(DataGrid& grid, const GridPrintOptions& options);

    // Sets up `printer` (A4, margins) and paints every page on it; a progress
    // window with "停止" shows while it takes time. A PDF file replaces an
    // existing one only when written whole; false (with *error naming the file
    // and the reason) when it was not, and false with *error untouched when
    // the user stopped the printing (the printer's job is aborted where the
    // printer can; a PDF file is not written).
    static bool print(QPrinter& printer, const DataGrid& grid, const GridPrintOptions& options,
                      const QDate& today = wallclock::today(), QString* error = nullptr);

    // The number of pages of the printout (with `printer` set up for it),
    // counting one line per row: cheap for any number of rows; rows whose
    // texts wrap can only add pages.
    static int estimatedPages(QPrinter& printer, const DataGrid& grid, const GridPrintOptions& options);
    // True when `pages` are few, or the user answers Yes to "共 N 页，是否继续？".
    static bool confirm(int pages);

    static QString signature(const QString& userName, const QDate& today);
    // `text` with every occurrence of the options' macro replaced by the signature.
    static QString expand(const QString& text, const GridPrintOptions& options, const QDate& today);
};
