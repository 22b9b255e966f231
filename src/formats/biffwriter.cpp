#include "formats/biffwriter.h"

#include "core/numbers.h"
#include "core/safefile.h"

#include <QBuffer>
#include <QDate>
#include <QDateTime>

#include <algorithm>
#include <cstring>

namespace biff {

namespace {

constexpr quint16 kBof = 0x0809;
constexpr quint16 kCodePage = 0x0042;
constexpr quint16 kBoundSheet = 0x0085;
constexpr quint16 kLabel = 0x0204;
constexpr quint16 kNumber = 0x0203;
constexpr quint16 kRk = 0x027E;
constexpr quint16 kBlank = 0x0201;
constexpr quint16 kEof = 0x000A;
constexpr quint16 kDimensions = 0x0200;
constexpr quint16 kBiff8 = 0x0600;
constexpr quint16 kWorkbookPart = 0x0005;
constexpr quint16 kWorksheet = 0x0010;
constexpr quint16 kUtf16CodePage = 1200;
constexpr quint16 kBlankFormat = 23;
// The begin-of-file record's data: version, part, build and year of the
// program the format was made for (Excel 97), file history, lowest version.
constexpr quint16 kBofLength = 16;
constexpr quint16 kBuild = 0x0DBB;
constexpr quint16 kYear = 0x07CC;
constexpr quint32 kLowestVersion = 0x0006;
// A sheet name has at most 31 characters and none of these.
constexpr int kMaxSheetName = 31;
constexpr char16_t kNotInSheetName[] = u"[]:*?/\\";
// An integer cell holds 30 bits with sign.
constexpr qint64 kRkMin = -(qint64(1) << 29);
constexpr qint64 kRkMax = (qint64(1) << 29) - 1;
// Bytes gathered before they go to the device.
constexpr qsizetype kChunk = 1 << 20;

// The length of the longest start of `text` within kMaxTextUnits that does
// not split a surrogate pair.
qsizetype textCut(const QString& text)
{
    if (text.size() <= kMaxTextUnits)
        return text.size();
    qsizetype n = kMaxTextUnits;
    if (text.at(n - 1).isHighSurrogate())
        --n;
    return n;
}

// The name of the sheet: the title without blanks and without the characters
// a sheet name may not hold.
QString sheetName(const QString& title)
{
    QString name;
    for (const QChar c : title)
        if (!c.isSpace() && std::u16string_view(kNotInSheetName).find(c.unicode()) == std::u16string_view::npos)
            name.append(c);
    name.truncate(kMaxSheetName);
    if (!name.isEmpty() && name.back().isHighSurrogate())
        name.chop(1);
    return name.isEmpty() ? QStringLiteral("Sheet1") : name;
}

// Little-endian records gathered into chunks and handed to a device.
class RecordStream final
{
public:
    explicit RecordStream(QIODevice& device)
        : m_device(device)
    {
        m_buffer.reserve(kChunk + 0x10000);
    }

    void u16(quint16 v)
    {
        m_buffer.append(char(v & 0xFF));
        m_buffer.append(char(v >> 8));
    }
    void u32(quint32 v)
    {
        u16(quint16(v & 0xFFFF));
        u16(quint16(v >> 16));
    }
    void header(quint16 type, quint16 length)
    {
        u16(type);
        u16(length);
    }
    void place(int row, int column, quint16 format)
    {
        u16(quint16(row));
        u16(quint16(column));
        u16(format);
    }

    // The begin of the workbook part or of the sheet.
    void bof(quint16 part)
    {
        header(kBof, kBofLength);
        u16(kBiff8);
        u16(part);
        u16(kBuild);
        u16(kYear);
        u32(0);
        u32(kLowestVersion);
    }
    void codePage()
    {
        header(kCodePage, 2);
        u16(kUtf16CodePage);
    }
    // The sheet's name and the stream position of its begin of file.
    void boundSheet(quint32 sheetAt, const QString& name)
    {
        header(kBoundSheet, quint16(6 + stringLength(name, 1)));
        u32(sheetAt);
        u16(0); // a visible worksheet
        string(name, 1);
    }
    static quint16 boundSheetLength(const QString& name) { return quint16(4 + 6 + stringLength(name, 1)); }
    void eof() { header(kEof, 0); }
    // The rows and columns the sheet uses (the last of each one past the end).
    // Readers such as LibreOffice drop cells of a sheet that does not say.
    void dimensions(int rows, int columns)
    {
        header(kDimensions, 14);
        u32(0);
        u32(quint32(rows));
        u16(0);
        u16(quint16(columns));
        u16(0);
    }

    void text(int row, int column, const QString& value)
    {
        const QString cut = value.left(textCut(value));
        header(kLabel, quint16(6 + stringLength(cut, 2)));
        place(row, column, 0);
        string(cut, 2);
    }
    void number(int row, int column, double value)
    {
        header(kNumber, 14);
        place(row, column, 0);
        quint64 bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        u32(quint32(bits & 0xFFFFFFFFu));
        u32(quint32(bits >> 32));
    }
    void integer(int row, int column, qint64 value)
    {
        header(kRk, 10);
        place(row, column, 0);
        u32(quint32(value * 4 + 2));
    }
    void blank(int row, int column)
    {
        header(kBlank, 6);
        place(row, column, kBlankFormat);
    }

    void cell(int row, int column, const QVariant& v)
    {
        if (v.isNull()) {
            blank(row, column);
            return;
        }
        switch (v.typeId()) {
        case QMetaType::Double:
        case QMetaType::Float:
            number(row, column, v.toDouble());
            return;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Bool: {
            const qint64 i = v.toLongLong();
            if (i >= kRkMin && i <= kRkMax)
                integer(row, column, i);
            else
                number(row, column, double(i));
            return;
        }
        case QMetaType::ULongLong: {
            const quint64 u = v.toULongLong();
            if (u <= quint64(kRkMax))
                integer(row, column, qint64(u));
            else
                number(row, column, double(u));
            return;
        }
        case QMetaType::QByteArray:
            text(row, column, QString());
            return;
        case QMetaType::QDate:
            text(row, column, num::dateText(v.toDate()));
            return;
        case QMetaType::QDateTime:
            text(row, column, num::dateTimeText(v.toDateTime()));
            return;
        default:
            break;
        }
        const QString s = v.toString();
        if (s.isEmpty())
            blank(row, column);
        else
            text(row, column, s);
    }

    // Hands the gathered bytes to the device when a chunk is full (or always).
    bool flush(bool always)
    {
        if (!always && m_buffer.size() < kChunk)
            return true;
        const bool ok = m_device.write(m_buffer) == m_buffer.size();
        m_buffer.clear();
        return ok;
    }

    qsizetype size() const { return m_buffer.size(); }

private:
    static bool isLatin1(const QString& text)
    {
        return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x100; });
    }
    // The bytes of a string with a length field of `lengthBytes` bytes.
    static qsizetype stringLength(const QString& text, int lengthBytes)
    {
        return lengthBytes + 1 + text.size() * (isLatin1(text) ? 1 : 2);
    }
    // A BIFF8 string: the number of UTF-16 code units (a character outside
    // the basic plane counts two), the option flags (bit 0: UTF-16), then the
    // units, one byte each when all of them fit Latin-1.
    void string(const QString& text, int lengthBytes)
    {
        if (lengthBytes == 1)
            m_buffer.append(char(text.size()));
        else
            u16(quint16(text.size()));
        const bool latin1 = isLatin1(text);
        m_buffer.append(char(latin1 ? 0x00 : 0x01));
        for (const QChar c : text) {
            if (latin1)
                m_buffer.append(char(c.unicode()));
            else
                u16(c.unicode());
        }
    }

    QIODevice& m_device;
    QByteArray m_buffer;
};

bool writeTo(QIODevice& device, const Sheet& sheet, QString* error)
{
    RecordStream out(device);
    const int levels = titleLevels(sheet);
    const int columns = int(sheet.columns.size());
    // The workbook part, then the sheet right behind it.
    const QString name = sheetName(sheet.title);
    const quint32 sheetAt = (4 + kBofLength) + (4 + 2) + RecordStream::boundSheetLength(name) + 4;
    out.bof(kWorkbookPart);
    out.codePage();
    out.boundSheet(sheetAt, name);
    out.eof();
    Q_ASSERT(out.size() == qsizetype(sheetAt));
    out.bof(kWorksheet);
    // The heading uses six columns: the title in the fourth, the time in the sixth.
    constexpr int kHeadingColumns = 6;
    out.dimensions(totalsRow(sheet) + 1, std::max(columns, kHeadingColumns));
    out.text(0, 3, sheet.title);
    out.text(1, 0, QStringLiteral("制表人：") + sheet.userName);
    out.text(1, 5, QStringLiteral("制表时间：") + sheet.madeAt);
    for (int level = 0; level < levels; ++level)
        for (int c = 0; c < columns; ++c) {
            const SheetColumn& column = sheet.columns.at(c);
            if (column.shown && !column.beyondGrid)
                out.text(2 + level, c, column.titleParts.value(level));
        }
    const int first = 2 + levels;
    for (int r = 0; r < sheet.rowCount; ++r) {
        for (int c = 0; c < columns; ++c) {
            if (sheet.columns.at(c).shown)
                out.cell(first + r, c, sheet.value(r, c));
            else
                out.blank(first + r, c);
        }
        if (!out.flush(false)) {
            *error = QStringLiteral("导出失败：") + device.errorString();
            return false;
        }
        if (sheet.rowWritten)
            sheet.rowWritten(r + 1);
    }
    const int totals = first + sheet.rowCount;
    for (int c = 0; c < columns; ++c)
        if (sheet.columns.at(c).shown && !sheet.columns.at(c).beyondGrid)
            out.text(totals, c, sheet.columns.at(c).totalText);
    out.eof();
    if (!out.flush(true)) {
        *error = QStringLiteral("导出失败：") + device.errorString();
        return false;
    }
    return true;
}

} // namespace

int titleLevels(const Sheet& sheet)
{
    int levels = 1;
    for (const SheetColumn& c : sheet.columns)
        levels = std::max(levels, int(c.titleParts.size()));
    return levels;
}

int totalsRow(const Sheet& sheet)
{
    return 2 + titleLevels(sheet) + sheet.rowCount;
}

bool fits(const Sheet& sheet)
{
    return sheet.rowCount >= 0 && totalsRow(sheet) <= kLastRow;
}

QString tooManyRowsText(int rowCount)
{
    return QStringLiteral("要导出的记录有%1行，超过了Excel文件能容纳的行数（65536行，含表头和合计行），"
                          "没有导出。请先用查询缩小范围，再分批导出。")
        .arg(rowCount);
}

QByteArray sheetBytes(const Sheet& sheet, QString* error)
{
    if (!fits(sheet)) {
        *error = tooManyRowsText(sheet.rowCount);
        return {};
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!writeTo(buffer, sheet, error))
        return {};
    return bytes;
}

bool writeSheet(const QString& path, const Sheet& sheet, QString* error)
{
    if (!fits(sheet)) {
        *error = tooManyRowsText(sheet.rowCount);
        return false;
    }
    // Written beside the target and renamed over it once whole: a full disk
    // leaves an existing file as it was.
    SafeFile file(path);
    if (!file.open()) {
        *error = QStringLiteral("不能创建文件（%1）：%2").arg(path, file.errorString());
        return false;
    }
    if (!writeTo(file.device(), sheet, error)) {
        if (!file.errorString().isEmpty())
            *error = file.errorText();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorText();
        return false;
    }
    return true;
}

} // namespace biff
