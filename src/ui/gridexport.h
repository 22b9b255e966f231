#pragma once

#include "formats/biffwriter.h"

#include <QSet>
#include <QString>

class DataGrid;

struct GridExportOptions
{
    QString title;    // the sheet's title, e.g. "商品进货统计报表"
    QString userName; // the logged-in user, written after "制表人："
    // Fields (lower case) this user may not see: purchase prices, amounts,
    // profits. Their columns are written as hidden ones, with no title and no
    // value, whether the grid shows them or not.
    QSet<QString> restrictedFields;
    // The super administrator's export also holds the row set's fields that
    // are no grid column, to the right of the grid's columns in the row set's
    // order, without titles. Never set it for other users: those fields hold
    // purchase prices and profits.
    bool otherFields = false;
};

// "导出Excel" of the program's grids. Every window calls it the same way:
//
//   GridExportOptions options{QStringLiteral("商品进货统计报表"), userName, restricted};
//   GridExport::run(grid, options);
//
// The export writes what the grid shows: its columns in their screen order
// (a hidden or restricted column stays an empty column), their titles split
// at "|", every row of the grid's row set from first to last with its stored
// values, and the totals row with the columns' fixed totals texts (sums are
// not written). The row set's other fields follow for the super administrator
// only (GridExportOptions::otherFields).
class GridExport final
{
public:
    // The whole command: the save dialog ("Microsoft Excel xls文件"), nothing
    // for an empty grid or a blank name, the overwrite question, the progress
    // window, the file, then the file opened with the desktop's program for
    // .xls. Every message goes through the message port.
    static void run(DataGrid& grid, const GridExportOptions& options);

    // The sheet of the grid as it is now; values are read from its row set
    // while the sheet is written, so the grid must outlive the sheet.
    static biff::Sheet sheet(const DataGrid& grid, const GridExportOptions& options);
    // Writes the sheet of the grid to `path`; false with a message on failure.
    static bool write(const DataGrid& grid, const GridExportOptions& options, const QString& path, QString* error);

    // The file dialog's filter and the texts shown around the export.
    static QString fileFilter();
    static QString overwriteQuestion(const QString& path);
    static QString noProgramText(const QString& path);
};
