#pragma once

// What the readers of the three workbook formats share: the limits of what is
// kept, the texts of their refusals, the cells they make, the sheet builder
// that keeps what the selection asks for, and the libgsf handles. Only the
// files of this folder include it; the import reads through workbook.h.

#include "core/blanks.h"
#include "formats/workbook.h"

#include <QByteArray>
#include <QString>

#include <gsf/gsf-infile.h>
#include <gsf/gsf-input.h>

#include <algorithm>
#include <memory>

namespace workbook::reader {

// The .xls record stream is read record by record; one longer than this is no workbook a shop writes.
inline constexpr qint64 kMaxStreamBytes = 512LL * 1024 * 1024;
// An XML part of an .xlsx file is inflated as it is parsed; parsing this much takes a few seconds,
// and a sheet of 65,535 stock rows needs a fraction of it.
inline constexpr qint64 kMaxXmlBytes = 128LL * 1024 * 1024;
// The XML reader holds a text or a tag whole: no stretch between two '<' may be longer.
inline constexpr qint64 kMaxXmlRunBytes = 1024 * 1024;
// A CSV file is decoded in memory.
inline constexpr qint64 kMaxCsvBytes = 64LL * 1024 * 1024;
// The most characters Excel puts in one cell.
inline constexpr qsizetype kMaxCellText = 32767;
// Texts held at once: the shared strings and the kept cells' own texts.
inline constexpr qsizetype kMaxHeldChars = 32'000'000;
inline constexpr qsizetype kMaxSharedStrings = 1'000'000;
// The last row and column of the formats (1-based).
inline constexpr int kXlsColumns = 256, kXlsxColumns = 16384, kXlsxRows = 1048576;
// A CSV line may have as many fields as an .xlsx row has columns.
inline constexpr int kCsvColumns = kXlsxColumns;

QString notAWorkbook();
QString encrypted();
QString damaged(const QString& what);
QString tooMuchText();
// "A1" names of columns: 1 -> "A", 27 -> "AA".
QString columnName(qint64 column);
QString beyondXls(const QString& sheet, int row, int column);
QString beyondXlsx(const QString& sheet, const QString& where);

// The text of a cell; a text longer than kept is cut (see Cell::fullLength).
Cell textCell(QString text);

// The characters of texts held while a book is read.
class TextBudget
{
public:
    bool take(qsizetype chars, QString* error)
    {
        m_chars += chars;
        if (m_chars <= kMaxHeldChars)
            return true;
        *error = tooMuchText();
        return false;
    }

private:
    qsizetype m_chars = 0;
};

// Keeps of the cells of the selected sheet, which come in row order, what the
// selection asks for.
class SheetBuilder
{
public:
    SheetBuilder(const Selection& selection, Sheet* sheet, TextBudget* budget)
        : m_selection(selection)
        , m_sheet(sheet)
        , m_budget(budget)
    {
        m_sheet->read = true;
    }

    // Takes the cell at (row, column), 0-based. `sharedText`: its text is held
    // already (a shared string). False stops the reading: with *error, or with
    // Sheet::tooManyRows set, or with nothing more to keep (full()).
    bool add(int row, int column, Cell cell, bool sharedText, QString* error)
    {
        if (cell.isEmpty())
            return true;
        if (row < m_lastRow) {
            *error = damaged(QStringLiteral("工作表“%1”的第 %2 行写在第 %3 行之后")
                                 .arg(m_sheet->name)
                                 .arg(row + 1)
                                 .arg(m_lastRow + 1));
            return false;
        }
        m_lastRow = row;
        if (m_sheet->titleRow < 0)
            m_sheet->titleRow = row;
        if (row == m_sheet->titleRow) {
            addTitle(column, cell);
            return true;
        }
        if (m_sheet->columns.isEmpty()) {
            m_done = true; // the title row named none of the titles: nothing below it is kept
            return false;
        }
        const qsizetype at = m_sheet->columns.indexOf(column);
        if (at < 0)
            return true;
        if (m_sheet->rows.isEmpty() || m_sheet->rows.constLast().row != row) {
            if (m_sheet->rows.size() >= m_selection.maxRows) {
                m_sheet->tooManyRows = m_done = true;
                return false;
            }
            m_sheet->rows.append({row, QVector<Cell>(m_sheet->columns.size())});
        }
        if (!sharedText && !m_budget->take(cell.text.size(), error))
            return false;
        m_sheet->rows.last().cells[at] = std::move(cell);
        return true;
    }

    // Whether the reading stopped because nothing more would be kept (no
    // column is, or the rows reached the selection's limit).
    bool full() const { return m_done; }

private:
    void addTitle(int column, const Cell& cell)
    {
        if (cell.kind != Cell::Kind::Text)
            return;
        const QString text = trimControlsAndSpaces(cell.text);
        const auto named = [&](const QString& t) { return text.compare(t, Qt::CaseInsensitive) == 0; };
        if (std::none_of(m_selection.titles.begin(), m_selection.titles.end(), named))
            return;
        const bool again = std::any_of(m_sheet->titles.cbegin(), m_sheet->titles.cend(),
                                       [&](const Sheet::Title& t) { return named(t.text) || t.column == column; });
        m_sheet->titles.append({column, text});
        if (!again)
            m_sheet->columns.append(column);
    }

    const Selection& m_selection;
    Sheet* m_sheet;
    TextBudget* m_budget;
    int m_lastRow = -1;
    bool m_done = false;
};

// Whether a number format shows its number as a date or a time (see workbookreader.cpp).
bool isDateFormat(int id, const QString& code);
Cell numberCell(double value, bool dateForm, bool system1904);
// The text Excel shows for a formula error code ("#DIV/0!").
QString errorText(quint8 code);
Cell errorCell(QString text);

// ---- libgsf ------------------------------------------------------------------------

struct GObjectUnref
{
    void operator()(void* p) const
    {
        if (p)
            g_object_unref(p);
    }
};
using InputPtr = std::unique_ptr<GsfInput, GObjectUnref>;
using InfilePtr = std::unique_ptr<GsfInfile, GObjectUnref>;

QString takeError(GError*& err);
// The child of a compound file or zip folder, letter case of the name ignored.
InputPtr childNamed(GsfInfile* dir, const char* name);

// ---- The readers ----------------------------------------------------------------------

// One reader per format, each in its own file. workbook::read() opens the file,
// tells the format by its first bytes and hands it to one of them; a reader
// fills `book` with the sheet names and the selected cells, or returns false
// with the sentence saying why.
bool readXls(GsfInput* file, const Selection& selection, Book* book, QString* error);  // xlsreader.cpp
bool readXlsx(GsfInput* file, const Selection& selection, Book* book, QString* error); // xlsxreader.cpp
bool readCsv(const QString& path, QByteArray data, const Selection& selection, Book* book,
             QString* error); // csvreader.cpp

} // namespace workbook::reader
