#pragma once

#include <QByteArray>
#include <QString>

// Workbooks that ask for huge sheets while small on disk, written without a
// spreadsheet program: for the import's tests and its bench.
namespace hostile {

// An .xls file whose sheet korvel holds one NUMBER record at column 65535 of
// each of `rows` rows: an Excel 97-2003 sheet has 256 columns.
bool writeXlsBeyondLastColumn(const QString& path, int rows);
// An .xlsx file whose sheet korvel is `head`, then `row` `times` times, then
// the end of the sheet. `times` is below 10,000 or a multiple of it.
bool writeXlsx(const QString& path, const QByteArray& head, const QByteArray& row, qint64 times);
// The title row of a sheet korvel as inline texts.
QByteArray xlsxTitleRow();

} // namespace hostile
