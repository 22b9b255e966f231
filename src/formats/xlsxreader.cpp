#include "formats/workbookreader.h"

#include <QHash>
#include <QIODevice>
#include <QStringList>
#include <QXmlStreamReader>

#include <gsf/gsf-infile-zip.h>

#include <algorithm>
#include <vector>

namespace workbook::reader {

namespace {

// Office Open XML workbooks (.xlsx): the XML parts of a zip, parsed as they are
// inflated.

// A part of a zip, inflated a block at a time as the XML reader asks for it.
// The part may not be longer than kMaxXmlBytes (by the size the zip gives it,
// which is all libgsf reads) nor hold a stretch of more than kMaxXmlRunBytes
// between two '<'; past either the device fails and says why.
class PartDevice final : public QIODevice
{
public:
    explicit PartDevice(GsfInput* input)
        : m_input(input)
    {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }
    // Why the reading stopped early; empty when it did not.
    const QString& failure() const { return m_failure; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        if (!m_failure.isEmpty())
            return -1;
        if (gsf_input_size(m_input) > kMaxXmlBytes) {
            m_failure = damaged(QStringLiteral("%1 展开后超过 %2 MB")
                                    .arg(QString::fromUtf8(gsf_input_name(m_input)))
                                    .arg(kMaxXmlBytes >> 20));
            return -1;
        }
        const gsf_off_t left = gsf_input_remaining(m_input);
        if (left <= 0)
            return -1;
        if (maxSize <= 0)
            return 0;
        const qint64 n = std::min<qint64>(maxSize, left);
        if (!gsf_input_read(m_input, size_t(n), reinterpret_cast<guint8*>(data))) {
            m_failure = damaged(QStringLiteral("读取中断"));
            return -1;
        }
        const char* end = data + n;
        for (const char* p = data; p < end;) {
            const char* lt = static_cast<const char*>(std::memchr(p, '<', size_t(end - p)));
            if (!lt) {
                m_run += end - p;
                break;
            }
            m_run = 0;
            p = lt + 1;
        }
        if (m_run > kMaxXmlRunBytes) {
            m_failure = damaged(QStringLiteral("%1 中有超过 %2 KB 的连续文字")
                                    .arg(QString::fromUtf8(gsf_input_name(m_input)))
                                    .arg(kMaxXmlRunBytes >> 10));
            return -1;
        }
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    GsfInput* m_input;
    qint64 m_run = 0;
    QString m_failure;
};


// A part of the zip by its path ("xl/workbook.xml"), or nullptr when missing.
InputPtr openPart(GsfInfile* zip, const QString& path)
{
    InfilePtr dirHolder;
    GsfInfile* dir = zip;
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        InputPtr child = childNamed(dir, parts.at(i).toUtf8().constData());
        if (!child || i + 1 == parts.size())
            return child;
        if (!GSF_IS_INFILE(child.get()))
            return nullptr;
        dirHolder.reset(reinterpret_cast<GsfInfile*>(child.release()));
        dir = dirHolder.get();
    }
    return nullptr;
}

// The 0-based column of a cell reference such as "AB12" (27); -1 when it
// starts with no letter, kXlsxColumns for any column beyond the last.
int columnOfReference(QStringView ref)
{
    int col = 0;
    qsizetype i = 0;
    for (; i < ref.size(); ++i) {
        const char16_t c = QChar::toUpper(ref.at(i).unicode());
        if (c < u'A' || c > u'Z')
            break;
        col = col * 26 + (c - u'A' + 1);
        if (col > kXlsxColumns)
            return kXlsxColumns;
    }
    return i == 0 ? -1 : col - 1;
}

// The text of the <t> elements inside the current element (phonetic runs left
// out); false when it has more characters than a cell can hold.
bool inlineText(QXmlStreamReader& x, QString* text)
{
    text->clear();
    const QString end = x.name().toString();
    int phonetic = 0;
    while (!x.atEnd()) {
        x.readNext();
        if (x.isStartElement()) {
            if (x.name() == QLatin1String("rPh"))
                ++phonetic;
            else if (x.name() == QLatin1String("t") && phonetic == 0)
                *text += x.readElementText(QXmlStreamReader::IncludeChildElements);
            if (text->size() > kMaxCellText)
                return false;
        } else if (x.isEndElement()) {
            if (x.name() == QLatin1String("rPh"))
                --phonetic;
            else if (x.name() == end)
                break;
        }
    }
    return true;
}

QString tooLongText(const QString& part)
{
    return damaged(QStringLiteral("%1 中有超过 %2 个字符的文字").arg(part).arg(kMaxCellText));
}

// Reads a part of the zip with `parse`, which gets the XML reader and returns
// false with *error to stop. A missing part is read as empty when `required`
// is false and refused as damaged otherwise.
template <typename Parse>
bool readXmlPart(GsfInfile* zip, const QString& path, bool required, QString* error, Parse parse)
{
    const InputPtr input = openPart(zip, path);
    if (!input) {
        if (required)
            *error = damaged(QStringLiteral("%1 找不到").arg(path));
        return !required;
    }
    PartDevice device(input.get());
    QXmlStreamReader x(&device);
    if (!parse(x))
        return false;
    if (!device.failure().isEmpty()) {
        *error = device.failure();
        return false;
    }
    if (x.hasError()) {
        *error = damaged(QStringLiteral("%1: %2").arg(path, x.errorString()));
        return false;
    }
    return true;
}

} // namespace

bool readXlsx(GsfInput* file, const Selection& selection, Book* book, QString* error)
{
    GError* err = nullptr;
    const InfilePtr zip(gsf_infile_zip_new(file, &err));
    if (!zip) {
        *error = damaged(takeError(err));
        return false;
    }
    if (!openPart(zip.get(), QStringLiteral("xl/workbook.xml"))) {
        *error = notAWorkbook();
        return false;
    }
    constexpr int kMaxSheets = 4096;
    constexpr qsizetype kMaxName = 255, kMaxFormatCode = 255, kMaxFormats = 4096;
    qsizetype selected = -1;
    QString relation; // of the selected sheet
    bool system1904 = false;
    const bool listed =
        readXmlPart(zip.get(), QStringLiteral("xl/workbook.xml"), true, error, [&](QXmlStreamReader& x) {
            while (!x.atEnd()) {
                if (x.readNext() != QXmlStreamReader::StartElement)
                    continue;
                if (x.name() == QLatin1String("sheet")) {
                    if (book->sheets.size() >= kMaxSheets) {
                        *error = damaged(QStringLiteral("工作表超过 %1 个").arg(kMaxSheets));
                        return false;
                    }
                    Sheet sheet;
                    sheet.name = x.attributes().value(QLatin1String("name")).left(kMaxName).toString();
                    if (selected < 0 && sheet.name.compare(selection.sheet, Qt::CaseInsensitive) == 0) {
                        selected = book->sheets.size();
                        for (const QXmlStreamAttribute& a : x.attributes())
                            if (a.name() == QLatin1String("id"))
                                relation = a.value().toString();
                    }
                    book->sheets.append(std::move(sheet));
                } else if (x.name() == QLatin1String("workbookPr")) {
                    const auto v = x.attributes().value(QLatin1String("date1904"));
                    system1904 = v == QLatin1String("1") || v == QLatin1String("true");
                }
            }
            return true;
        });
    if (!listed)
        return false;
    book->format = Book::Format::Xlsx;
    if (selected < 0)
        return true;
    Sheet& sheet = book->sheets[selected];

    QString target;
    if (!readXmlPart(zip.get(), QStringLiteral("xl/_rels/workbook.xml.rels"), false, error, [&](QXmlStreamReader& x) {
            while (!x.atEnd()) {
                if (x.readNext() == QXmlStreamReader::StartElement && x.name() == QLatin1String("Relationship") &&
                    x.attributes().value(QLatin1String("Id")) == relation) {
                    target = x.attributes().value(QLatin1String("Target")).toString();
                    break;
                }
            }
            return true;
        }))
        return false;

    TextBudget budget;
    std::vector<Cell> strings;
    if (!readXmlPart(zip.get(), QStringLiteral("xl/sharedStrings.xml"), false, error, [&](QXmlStreamReader& x) {
            QString text;
            while (!x.atEnd()) {
                if (x.readNext() != QXmlStreamReader::StartElement || x.name() != QLatin1String("si"))
                    continue;
                if (!inlineText(x, &text)) {
                    *error = tooLongText(QStringLiteral("sharedStrings.xml"));
                    return false;
                }
                if (strings.size() >= size_t(kMaxSharedStrings)) {
                    *error = tooMuchText();
                    return false;
                }
                Cell cell = text.isEmpty() ? Cell() : textCell(text);
                if (!budget.take(cell.text.size(), error))
                    return false;
                strings.push_back(std::move(cell));
            }
            return true;
        }))
        return false;

    // Which cell styles show dates.
    std::vector<bool> dateStyles;
    if (!readXmlPart(zip.get(), QStringLiteral("xl/styles.xml"), false, error, [&](QXmlStreamReader& x) {
            QHash<int, QString> formats;
            bool inCellXfs = false;
            while (!x.atEnd()) {
                const auto t = x.readNext();
                if (t == QXmlStreamReader::StartElement) {
                    if (x.name() == QLatin1String("numFmt")) {
                        const auto code = x.attributes().value(QLatin1String("formatCode"));
                        if (formats.size() < kMaxFormats && code.size() <= kMaxFormatCode)
                            formats.insert(x.attributes().value(QLatin1String("numFmtId")).toInt(), code.toString());
                    } else if (x.name() == QLatin1String("cellXfs")) {
                        inCellXfs = true;
                    } else if (inCellXfs && x.name() == QLatin1String("xf")) {
                        const int id = x.attributes().value(QLatin1String("numFmtId")).toInt();
                        dateStyles.push_back(isDateFormat(id, formats.value(id)));
                    }
                } else if (t == QXmlStreamReader::EndElement && x.name() == QLatin1String("cellXfs")) {
                    inCellXfs = false;
                }
            }
            return true;
        }))
        return false;

    if (target.startsWith(QLatin1Char('/')))
        target = target.mid(1);
    else
        target.prepend(QLatin1String("xl/"));
    if (!openPart(zip.get(), target)) {
        *error = damaged(QStringLiteral("工作表“%1”找不到").arg(sheet.name));
        return false;
    }
    SheetBuilder builder(selection, &sheet, &budget);
    bool refused = false;
    const bool read = readXmlPart(zip.get(), target, true, error, [&](QXmlStreamReader& x) {
        int row = -1, nextColumn = 0;
        QString value, inlineString;
        while (!x.atEnd()) {
            if (x.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (x.name() == QLatin1String("row")) {
                const auto r = x.attributes().value(QLatin1String("r"));
                if (r.isEmpty()) {
                    ++row;
                } else {
                    bool ok = false;
                    const qint64 n = r.toLongLong(&ok);
                    if (!ok || n < 1) {
                        *error = damaged(QStringLiteral("工作表“%1”的行号“%2”").arg(sheet.name, r.left(20)));
                        refused = true;
                        return false;
                    }
                    row = int(std::min<qint64>(n, kXlsxRows + 1) - 1);
                }
                if (row >= kXlsxRows) {
                    *error = beyondXlsx(
                        sheet.name,
                        QStringLiteral("第 %1 行").arg(r.isEmpty() ? QString::number(row + 1) : r.left(20).toString()));
                    refused = true;
                    return false;
                }
                nextColumn = 0;
                continue;
            }
            if (x.name() != QLatin1String("c") || row < 0)
                continue;
            const QXmlStreamAttributes a = x.attributes();
            const auto ref = a.value(QLatin1String("r"));
            const int col = ref.isEmpty() ? nextColumn : columnOfReference(ref);
            if (col < 0) {
                *error = damaged(QStringLiteral("工作表“%1”的单元格位置“%2”").arg(sheet.name, ref.left(20)));
                refused = true;
                return false;
            }
            if (col >= kXlsxColumns) {
                *error =
                    beyondXlsx(sheet.name, ref.isEmpty() ? QStringLiteral("第 %1 行第 %2 列").arg(row + 1).arg(col + 1)
                                                         : ref.left(20).toString());
                refused = true;
                return false;
            }
            nextColumn = col + 1;
            const QString type = a.value(QLatin1String("t")).toString();
            const int style = a.value(QLatin1String("s")).toInt();
            value.clear();
            inlineString.clear();
            bool hasValue = false;
            while (!x.atEnd()) {
                const auto t = x.readNext();
                if (t == QXmlStreamReader::EndElement && x.name() == QLatin1String("c"))
                    break;
                if (t != QXmlStreamReader::StartElement)
                    continue;
                if (x.name() == QLatin1String("v")) {
                    value = x.readElementText();
                    hasValue = true;
                } else if (x.name() == QLatin1String("is")) {
                    if (!inlineText(x, &inlineString)) {
                        *error = tooLongText(sheet.name);
                        refused = true;
                        return false;
                    }
                    hasValue = true;
                } else if (x.name() == QLatin1String("f")) {
                    x.skipCurrentElement();
                }
            }
            if (!hasValue)
                continue;
            if (value.size() > kMaxCellText) {
                *error = tooLongText(sheet.name);
                refused = true;
                return false;
            }
            Cell cell;
            bool shared = false;
            if (type == QLatin1String("s")) {
                bool ok = false;
                const qulonglong index = value.toULongLong(&ok);
                if (!ok || index >= strings.size()) {
                    *error = damaged(QStringLiteral("字符串编号超出范围"));
                    refused = true;
                    return false;
                }
                cell = strings[index];
                shared = true;
            } else if (type == QLatin1String("inlineStr")) {
                cell = textCell(inlineString);
            } else if (type == QLatin1String("str")) {
                cell = textCell(value);
            } else if (type == QLatin1String("b")) {
                cell = textCell(value == QLatin1String("1") ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
            } else if (type == QLatin1String("e")) {
                cell = errorCell(value.left(40));
            } else if (type == QLatin1String("d")) {
                // An ISO 8601 date, which few programs write.
                cell.kind = Cell::Kind::Date;
                cell.date = QDate::fromString(value.left(10), Qt::ISODate);
            } else {
                bool ok = false;
                const double v = value.toDouble(&ok);
                if (!ok) {
                    *error = damaged(QStringLiteral("单元格数值“%1”").arg(value.left(40)));
                    refused = true;
                    return false;
                }
                const bool date = style >= 0 && size_t(style) < dateStyles.size() && dateStyles[size_t(style)];
                cell = numberCell(v, date, system1904);
            }
            if (cell.kind == Cell::Kind::Text && cell.text.isEmpty())
                continue;
            if (!builder.add(row, col, std::move(cell), shared, error)) {
                refused = !builder.full();
                return false;
            }
        }
        return true;
    });
    if (!read && (refused || !builder.full()))
        return false;
    return true;
}

} // namespace workbook::reader
