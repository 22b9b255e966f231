#include "formats/workbookreader.h"

#include <QFileInfo>
#include <QStringDecoder>

#include <iconv.h>

// Comma-separated text (.csv), UTF-8 or GBK: one sheet named after the file.

namespace workbook::reader {

namespace {

QString fromGbk(const QByteArray& bytes, bool* ok)
{
    *ok = false;
    const iconv_t cd = iconv_open("UTF-8", "GB18030");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return {};
    QByteArray out(bytes.size() * 2 + 4, Qt::Uninitialized);
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    char* o = out.data();
    size_t outLeft = size_t(out.size());
    const size_t rc = iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    if (rc == size_t(-1))
        return {};
    out.truncate(out.size() - qsizetype(outLeft));
    *ok = true;
    return QString::fromUtf8(out);
}

} // namespace

bool readCsv(const QString& path, QByteArray data, const Selection& selection, Book* book, QString* error)
{
    QString text;
    if (data.startsWith("\xEF\xBB\xBF")) {
        data.remove(0, 3);
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    text = utf8.decode(data);
    if (utf8.hasError()) {
        bool ok = false;
        text = fromGbk(data, &ok);
        if (!ok) {
            *error = QStringLiteral("CSV 文件既不是 UTF-8 也不是 GBK 编码的文本");
            return false;
        }
    }
    data = QByteArray(); // only the text from here on
    if (text.contains(QChar(0))) {
        *error = notAWorkbook();
        return false;
    }
    book->format = Book::Format::Csv;
    book->sheets.append(Sheet());
    Sheet& sheet = book->sheets.last();
    sheet.name = QFileInfo(path).completeBaseName();
    TextBudget budget;
    SheetBuilder builder(selection, &sheet, &budget);
    int row = 0, col = 0;
    QString field;
    bool quoted = false, wasQuoted = false;
    bool more = true, refused = false;
    const auto endField = [&] {
        if (col >= kCsvColumns) {
            *error = QStringLiteral("CSV 文件第 %1 行超过 %2 列").arg(row + 1).arg(kCsvColumns);
            more = false;
            refused = true;
            return;
        }
        if (!field.isEmpty()) {
            more = builder.add(row, col, textCell(field), false, error);
            refused = !more && !builder.full();
        }
        field.clear();
        wasQuoted = false;
        ++col;
    };
    for (qsizetype i = 0; i < text.size() && more; ++i) {
        const QChar ch = text.at(i);
        if (quoted) {
            if (ch == QLatin1Char('"')) {
                if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                    field += ch;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += ch;
            }
        } else if (ch == QLatin1Char('"') && field.isEmpty()) {
            quoted = wasQuoted = true;
        } else if (ch == QLatin1Char(',')) {
            endField();
        } else if (ch == QLatin1Char('\r') || ch == QLatin1Char('\n')) {
            if (ch == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            endField();
            ++row;
            col = 0;
        } else {
            field += ch;
        }
    }
    if (!more)
        return !refused;
    if (quoted) {
        *error = QStringLiteral("CSV 文件在第 %1 行有未结束的引号").arg(row + 1);
        return false;
    }
    if (!field.isEmpty() || wasQuoted || col > 0) {
        endField();
        if (!more)
            return !refused;
    }
    return true;
}

} // namespace workbook::reader
