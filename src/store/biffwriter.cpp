#include "store/biffwriter.h"

#include "core/numbers.h"
#include "core/safefile.h"

#include <QBuffer>
#include <QDate>
#include <QDateTime>
#include <QSysInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <iconv.h>

namespace biff {

namespace {

constexpr quint16 kBof = 0x0809;
constexpr quint16 kCodePage = 0x0042;
constexpr quint16 kLabel = 0x0204;
constexpr quint16 kNumber = 0x0203;
constexpr quint16 kRk = 0x027E;
constexpr quint16 kBlank = 0x0201;
constexpr quint16 kEof = 0x000A;
constexpr quint16 kWorksheet = 0x0010;
constexpr quint16 kGbkCodePage = 936;
constexpr quint16 kBlankFormat = 23;
// The record length is 16 bits and a text cell spends 8 bytes on its place.
constexpr int kMaxTextBytes = 0xFFFF - 8;
// An integer cell holds 30 bits with sign.
constexpr qint64 kRkMin = -(qint64(1) << 29);
constexpr qint64 kRkMax = (qint64(1) << 29) - 1;
// Bytes gathered before they go to the device.
constexpr qsizetype kChunk = 1 << 20;

// UTF-16 to GBK through one iconv handle for the whole sheet.
class GbkEncoder final
{
public:
    GbkEncoder()
        : m_cd(iconv_open("GBK", QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "UTF-16LE" : "UTF-16BE"))
    {
    }
    ~GbkEncoder()
    {
        if (valid())
            iconv_close(m_cd);
    }
    GbkEncoder(const GbkEncoder&) = delete;
    GbkEncoder& operator=(const GbkEncoder&) = delete;

    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Appends the GBK bytes of `text` to `out`.
    void append(const QString& text, QByteArray& out)
    {
        const qsizetype start = out.size();
        // A UTF-16 code unit gives at most two GBK bytes.
        out.resize(start + text.size() * 2);
        const char16_t* units = reinterpret_cast<const char16_t*>(text.constData());
        size_t unitsLeft = size_t(text.size());
        char* o = out.data() + start;
        // ASCII needs no conversion; most texts of a sheet are digits and letters.
        while (unitsLeft > 0 && *units < 0x80) {
            *o++ = char(*units++);
            --unitsLeft;
        }
        size_t outLeft = size_t(out.size()) - size_t(o - out.data());
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        while (unitsLeft > 0) {
            char* in = reinterpret_cast<char*>(const_cast<char16_t*>(units));
            size_t inLeft = unitsLeft * 2;
            const size_t rc = iconv(m_cd, &in, &inLeft, &o, &outLeft);
            units = reinterpret_cast<const char16_t*>(in);
            unitsLeft = inLeft / 2;
            if (rc != size_t(-1) || (errno != EILSEQ && errno != EINVAL))
                break;
            // A character GBK lacks (a surrogate pair or a single unit) becomes "?".
            const size_t length =
                QChar::isHighSurrogate(units[0]) && unitsLeft > 1 && QChar::isLowSurrogate(units[1]) ? 2 : 1;
            units += length;
            unitsLeft -= length;
            *o++ = '?';
            --outLeft;
        }
        out.truncate(o - out.data());
    }

private:
    iconv_t m_cd;
};

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

    void bof()
    {
        header(kBof, 8);
        u16(0);
        u16(kWorksheet);
        u16(0);
        u16(0);
    }
    void codePage()
    {
        header(kCodePage, 2);
        u16(kGbkCodePage);
    }
    void eof() { header(kEof, 0); }

    void text(int row, int column, const QString& value)
    {
        m_text.clear();
        if (!value.isEmpty())
            m_gbk.append(value, m_text);
        if (m_text.size() > kMaxTextBytes)
            m_text.truncate(gbkCut(m_text, kMaxTextBytes));
        const auto n = quint16(m_text.size());
        header(kLabel, quint16(8 + n));
        place(row, column, 0);
        u16(n);
        m_buffer.append(m_text);
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

    bool encoderValid() const { return m_gbk.valid(); }

private:
    // The length of the longest start of `gbk` within `limit` bytes that ends
    // on a character boundary (a lead byte has its high bit set and takes the
    // next byte with it).
    static qsizetype gbkCut(const QByteArray& gbk, qsizetype limit)
    {
        qsizetype i = 0;
        while (i < gbk.size()) {
            const qsizetype len = (uchar(gbk.at(i)) & 0x80) ? 2 : 1;
            if (i + len > limit)
                break;
            i += len;
        }
        return i;
    }

    QIODevice& m_device;
    QByteArray m_buffer;
    QByteArray m_text;
    GbkEncoder m_gbk;
};

bool writeTo(QIODevice& device, const Sheet& sheet, QString* error)
{
    RecordStream out(device);
    if (!out.encoderValid()) {
        *error = QStringLiteral("导出失败：系统不能把文字转换为GBK编码。");
        return false;
    }
    const int levels = titleLevels(sheet);
    const int columns = int(sheet.columns.size());
    out.bof();
    out.codePage();
    out.text(0, 3, sheet.title);
    out.text(1, 0, QStringLiteral("制表人：") + sheet.userName);
    out.text(1, 5, QStringLiteral("制表时间：") + sheet.madeAt);
    for (int level = 0; level < levels; ++level)
        for (int c = 0; c < columns; ++c) {
            const SheetColumn& column = sheet.columns.at(c);
            if (column.shown)
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
        if (sheet.columns.at(c).shown)
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

QByteArray toGbk(const QString& text)
{
    QByteArray out;
    GbkEncoder gbk;
    if (gbk.valid())
        gbk.append(text, out);
    return out;
}

} // namespace biff
