#pragma once

#include "core/safefile.h"

#include <QString>

#include <optional>

class QPrinter;

// Printing to a PDF file (a test's printer, or "print to file" in the print
// dialog) replaces the file whole or not at all. While this lives, a printer
// set to write a PDF file writes a temporary file beside it instead; finish()
// checks that the PDF was written to its end and only then puts it in place.
// The printer's own PDF writer does not report a write that failed (a full
// disk), so an existing file would otherwise be left cut short or empty.
// Printers of any other kind are left alone.
//
//   PdfOutput pdf(printer);
//   ... paint on printer ...
//   if (!pdf.finish()) show(pdf.errorText());
class PdfOutput final
{
public:
    explicit PdfOutput(QPrinter& printer);
    // Gives the printer its file name back; an unfinished temporary file is removed.
    ~PdfOutput();
    PdfOutput(const PdfOutput&) = delete;
    PdfOutput& operator=(const PdfOutput&) = delete;

    // Call once the painter has ended. True when there was nothing to put in
    // place or the whole PDF replaced the file; false with errorText().
    bool finish();
    // "不能写入文件（<file>）：<reason>"
    QString errorText() const;

private:
    void restorePrinter();

    QPrinter& m_printer;
    std::optional<SafeFile> m_file; // set while a PDF file is being replaced
    QString m_error;
};
