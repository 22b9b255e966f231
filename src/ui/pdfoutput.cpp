#include "ui/pdfoutput.h"

#include <QFile>
#include <QPrinter>

#include <algorithm>

namespace {

// A PDF written to its end: it closes with "%%EOF", and the offset after its
// last "startxref" points at the cross-reference table. Bytes lost anywhere
// before the table (a write that failed half-way) move the table off that
// offset; bytes lost after it cut off the end. Only the end of the file and
// the table's first bytes are read, so a long printout is checked cheaply.
bool wholePdf(QFile& pdf)
{
    constexpr qint64 kTail = 4096;
    const qint64 size = pdf.size();
    const qint64 tailAt = std::max<qint64>(0, size - kTail);
    if (!pdf.seek(tailAt))
        return false;
    const QByteArray tail = pdf.read(kTail);
    const QByteArray end = tail.trimmed();
    if (!end.endsWith("%%EOF"))
        return false;
    const qsizetype at = end.lastIndexOf("startxref");
    if (at < 0)
        return false;
    bool ok = false;
    const qint64 table = end.mid(at + 9, end.size() - 5 - at - 9).trimmed().toLongLong(&ok);
    // The leading blanks trimmed off the tail do not move "startxref" within the file.
    const qint64 startxref = tailAt + tail.indexOf(end) + at;
    return ok && table > 0 && table < startxref && pdf.seek(table) && pdf.read(4) == "xref";
}

// Why the printer could not write the file. The printer does not say; the
// same write tried again on the (discarded) temporary file usually does: a
// full disk stays full.
QString writeFailure(const QString& path)
{
    QFile probe(path);
    if (probe.open(QIODevice::Append | QIODevice::Unbuffered)) {
        const QByteArray block(64 * 1024, ' ');
        if (probe.write(block) != block.size())
            return probe.errorString();
    }
    return QStringLiteral("PDF文件没有写完整");
}

} // namespace

PdfOutput::PdfOutput(QPrinter& printer)
    : m_printer(printer)
{
    const QString target = printer.outputFileName();
    if (printer.outputFormat() != QPrinter::PdfFormat || target.isEmpty())
        return;
    m_file.emplace(target);
    if (!m_file->open()) {
        // The printer then fails to begin on the missing folder itself, or
        // writes the file as it always did; finish() reports this reason.
        m_error = m_file->errorText();
        m_file.reset();
        return;
    }
    printer.setOutputFileName(m_file->tempPath());
}

PdfOutput::~PdfOutput()
{
    restorePrinter();
}

void PdfOutput::restorePrinter()
{
    if (m_file)
        m_printer.setOutputFileName(m_file->path());
}

bool PdfOutput::finish()
{
    if (!m_file)
        return m_error.isEmpty();
    restorePrinter();
    QFile written(m_file->tempPath());
    if (!written.open(QIODevice::ReadOnly) || !wholePdf(written))
        m_file->fail(writeFailure(m_file->tempPath()));
    const bool ok = m_file->commit();
    if (!ok)
        m_error = m_file->errorText();
    m_file.reset();
    return ok;
}

QString PdfOutput::errorText() const
{
    return m_error;
}
