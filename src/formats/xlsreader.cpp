#include "formats/workbookreader.h"

#include <QHash>

#include <gsf/gsf-infile-msole.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace workbook::reader {

namespace {

// Excel 97-2003 workbooks (.xls): the BIFF8 records of the "Workbook" stream of a
// compound file, read one record at a time.

// ---- BIFF8 records -----------------------------------------------------------------

quint16 u16(const uchar* p)
{
    return quint16(p[0] | (p[1] << 8));
}
quint32 u32(const uchar* p)
{
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}
double f64(const uchar* p)
{
    quint64 bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = (bits << 8) | p[i];
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

double rkValue(quint32 rk)
{
    double v;
    if (rk & 2) {
        v = double(qint32(rk) >> 2);
    } else {
        const quint64 bits = quint64(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&v, &bits, sizeof v);
    }
    return (rk & 1) ? v / 100 : v;
}

struct Record
{
    quint16 id = 0;
    QByteArray bytes;
    qint64 offset = 0; // of the record's header in the stream

    const uchar* data() const { return reinterpret_cast<const uchar*>(bytes.constData()); }
    int size() const { return int(bytes.size()); }
};

// The records of a workbook stream, read one at a time.
class RecordStream
{
public:
    explicit RecordStream(GsfInput* input)
        : m_input(input)
        , m_size(gsf_input_size(input))
    {
    }
    void seek(qint64 offset)
    {
        m_hasAhead = false;
        m_pos = offset;
    }
    // The next record; false at the end or on a record that runs past it.
    bool next(Record* r)
    {
        if (m_hasAhead) {
            *r = std::move(m_ahead);
            m_hasAhead = false;
            return true;
        }
        return read(r);
    }
    // Id of the record after the current one, or 0 at the end.
    quint16 peekId()
    {
        if (!m_hasAhead) {
            if (!read(&m_ahead))
                return 0;
            m_hasAhead = true;
        }
        return m_ahead.id;
    }

private:
    bool read(Record* r)
    {
        if (m_pos < 0 || m_pos + 4 > m_size)
            return false;
        if (gsf_input_tell(m_input) != m_pos && gsf_input_seek(m_input, m_pos, G_SEEK_SET))
            return false;
        guint8 head[4];
        if (!gsf_input_read(m_input, 4, head))
            return false;
        const int size = u16(head + 2);
        if (m_pos + 4 + size > m_size)
            return false;
        r->id = u16(head);
        r->offset = m_pos;
        r->bytes.resize(size);
        if (size > 0 && !gsf_input_read(m_input, size_t(size), reinterpret_cast<guint8*>(r->bytes.data())))
            return false;
        m_pos += 4 + size;
        return true;
    }

    GsfInput* m_input;
    qint64 m_size;
    qint64 m_pos = 0;
    Record m_ahead; // read by peekId, given by the next call of next
    bool m_hasAhead = false;
};

constexpr quint16 kContinue = 0x003C;

// Reads a record from a byte on and, when given the stream, the CONTINUE
// records after it as one sequence of bytes, each read when it is reached. A
// character array cut by a record boundary goes on after one option byte that
// says whether the rest is stored in one or two bytes per character.
class Cursor
{
public:
    Cursor(const Record& r, int from, RecordStream* continues = nullptr)
        : m_bytes(r.bytes)
        , m_off(from)
        , m_stream(continues)
    {
    }

    bool bad() const { return m_bad; }
    quint8 byte()
    {
        if (!more())
            return 0;
        return quint8(m_bytes.at(m_off++));
    }
    quint16 word()
    {
        const quint16 lo = byte();
        return quint16(lo | (byte() << 8));
    }
    quint32 dword()
    {
        const quint32 lo = word();
        return lo | (quint32(word()) << 16);
    }
    void skip(qint64 n)
    {
        while (n > 0 && more()) {
            const int step = int(std::min<qint64>(n, m_bytes.size() - m_off));
            m_off += step;
            n -= step;
        }
    }
    // cch characters, one byte each (Latin-1) or two (UTF-16) as `wide` says.
    QString chars(int cch, bool wide)
    {
        QString s;
        s.reserve(cch);
        while (cch > 0 && !m_bad) {
            if (m_off >= m_bytes.size()) {
                if (!nextRecord())
                    break;
                wide = (byte() & 1) != 0;
                continue;
            }
            const uchar* p = reinterpret_cast<const uchar*>(m_bytes.constData()) + m_off;
            const int avail = int(m_bytes.size()) - m_off;
            const int n = std::min(cch, wide ? avail / 2 : avail);
            if (n == 0) {
                m_bad = true; // half a character before the boundary
                break;
            }
            for (int i = 0; i < n; ++i)
                s.append(wide ? QChar(char16_t(u16(p + 2 * i))) : QChar(char16_t(p[i])));
            m_off += wide ? 2 * n : n;
            cch -= n;
        }
        return s;
    }
    // An XLUnicodeString (16-bit count) or ShortXLUnicodeString (8-bit count),
    // with the rich-text runs and phonetic data of a shared string skipped.
    QString string(bool shortCount)
    {
        const int cch = shortCount ? byte() : word();
        const quint8 flags = byte();
        const int runs = (flags & 0x08) ? word() : 0;
        const quint32 ext = (flags & 0x04) ? dword() : 0;
        QString s = chars(cch, (flags & 0x01) != 0);
        skip(qint64(runs) * 4);
        skip(ext);
        return s;
    }

private:
    // Whether a byte is there, going on into the next CONTINUE record at the end of this one.
    bool more()
    {
        while (!m_bad && m_off >= m_bytes.size())
            nextRecord();
        return !m_bad;
    }
    bool nextRecord()
    {
        Record c;
        if (!m_stream || m_stream->peekId() != kContinue || !m_stream->next(&c)) {
            m_bad = true;
            return false;
        }
        m_bytes = std::move(c.bytes);
        m_off = 0;
        return true;
    }

    QByteArray m_bytes;
    int m_off = 0;
    RecordStream* m_stream;
    bool m_bad = false;
};

namespace rec {
constexpr quint16 formula = 0x0006, eof = 0x000A, filepass = 0x002F, datemode = 0x0022, sheetIndex = 0x0085,
                  mulrk = 0x00BD, sst = 0x00FC, labelsst = 0x00FD, xf = 0x00E0, rstring = 0x00D6, number = 0x0203,
                  label = 0x0204, boolerr = 0x0205, string = 0x0207, rk = 0x027E, format = 0x041E, bof = 0x0809;
} // namespace rec

struct SheetEntry
{
    QString name;
    qint64 offset;
};

struct Globals
{
    std::vector<Cell> strings;
    std::vector<quint16> xfFormats;
    QHash<int, QString> formats;
    bool system1904 = false;
    QList<SheetEntry> sheets;

    bool isDate(int xf) const
    {
        if (xf < 0 || size_t(xf) >= xfFormats.size())
            return false;
        const int id = xfFormats[size_t(xf)];
        return isDateFormat(id, formats.value(id));
    }
};

bool readGlobals(RecordStream& rs, Globals* g, TextBudget* budget, QString* error)
{
    Record r;
    if (!rs.next(&r) || r.id != rec::bof || r.size() < 4) {
        *error = notAWorkbook();
        return false;
    }
    if (u16(r.data()) != 0x0600) {
        *error = QStringLiteral("工作簿是 Excel 5.0/95 或更早的格式，请在 Excel 中另存为“Excel 97-2003 工作簿”再导入");
        return false;
    }
    while (rs.next(&r)) {
        const uchar* d = r.data();
        switch (r.id) {
        case rec::eof:
            return true;
        case rec::filepass:
            *error = encrypted();
            return false;
        case rec::datemode:
            if (r.size() >= 2)
                g->system1904 = u16(d) == 1;
            break;
        case rec::xf:
            if (r.size() >= 4)
                g->xfFormats.push_back(u16(d + 2));
            break;
        case rec::format:
            if (r.size() >= 5) {
                Cursor c(r, 2);
                const QString code = c.string(false);
                if (!c.bad())
                    g->formats.insert(u16(d), code);
            }
            break;
        case rec::sheetIndex:
            if (r.size() >= 8) {
                Cursor c(r, 6);
                const QString name = c.string(true);
                // Only worksheets hold cells (not chart sheets or macro sheets).
                if (!c.bad() && d[5] == 0)
                    g->sheets.append({name, qint64(u32(d))});
            }
            break;
        case rec::sst: {
            Cursor c(r, 0, &rs);
            c.skip(4);
            const quint32 unique = c.dword();
            for (quint32 i = 0; i < unique && !c.bad(); ++i) {
                if (g->strings.size() >= size_t(kMaxSharedStrings)) {
                    *error = tooMuchText();
                    return false;
                }
                Cell cell = textCell(c.string(false));
                if (!budget->take(cell.text.size(), error))
                    return false;
                g->strings.push_back(std::move(cell));
            }
            if (c.bad()) {
                *error = damaged(QStringLiteral("共享字符串表"));
                return false;
            }
            break;
        }
        default:
            break;
        }
    }
    *error = damaged(QStringLiteral("工作簿记录不完整"));
    return false;
}

bool readSheet(RecordStream& rs, const Globals& g, SheetBuilder& out, const SheetEntry& entry, QString* error)
{
    rs.seek(entry.offset);
    Record r;
    if (!rs.next(&r) || r.id != rec::bof) {
        *error = damaged(QStringLiteral("工作表“%1”找不到").arg(entry.name));
        return false;
    }
    int depth = 1;
    // A formula whose result is text: the text follows in a STRING record.
    int pendingRow = -1, pendingColumn = -1;
    bool more = true;     // false once the builder has all it may hold, or on a refusal
    bool refused = false; // the cell could not be taken: *error says why
    const auto put = [&](int row, int col, Cell cell, bool shared = false) {
        if (col >= kXlsColumns) {
            *error = beyondXls(entry.name, row, col);
            more = false;
        } else {
            more = out.add(row, col, std::move(cell), shared, error);
        }
        refused = !more && !out.full();
    };
    const auto number = [&](int row, int col, int xf, double v) {
        put(row, col, numberCell(v, g.isDate(xf), g.system1904));
    };
    while (more && rs.next(&r)) {
        if (r.id == rec::bof) {
            ++depth; // an embedded chart's records, until its EOF
            continue;
        }
        if (r.id == rec::eof) {
            if (--depth == 0)
                return true;
            continue;
        }
        if (depth != 1)
            continue;
        const uchar* d = r.data();
        const int size = r.size();
        switch (r.id) {
        case rec::labelsst:
            if (size >= 10) {
                const quint32 index = u32(d + 6);
                if (index >= g.strings.size()) {
                    *error = damaged(QStringLiteral("字符串编号超出范围"));
                    return false;
                }
                put(u16(d), u16(d + 2), g.strings[index], true);
            }
            break;
        case rec::label:
        case rec::rstring:
            if (size >= 9) {
                Cursor c(r, 6);
                const int cch = c.word();
                const quint8 flags = c.byte();
                const QString text = c.chars(cch, (flags & 1) != 0);
                if (!c.bad())
                    put(u16(d), u16(d + 2), textCell(text));
            }
            break;
        case rec::number:
            if (size >= 14)
                number(u16(d), u16(d + 2), u16(d + 4), f64(d + 6));
            break;
        case rec::rk:
            if (size >= 10)
                number(u16(d), u16(d + 2), u16(d + 4), rkValue(u32(d + 6)));
            break;
        case rec::mulrk:
            if (size >= 6) {
                const int row = u16(d);
                const int first = u16(d + 2);
                const int count = (size - 6) / 6;
                for (int i = 0; i < count && more; ++i)
                    number(row, first + i, u16(d + 4 + 6 * i), rkValue(u32(d + 6 + 6 * i)));
            }
            break;
        case rec::boolerr:
            if (size >= 8) {
                if (d[7])
                    put(u16(d), u16(d + 2), errorCell(errorText(d[6])));
                else
                    put(u16(d), u16(d + 2), textCell(d[6] ? QStringLiteral("TRUE") : QStringLiteral("FALSE")));
            }
            break;
        case rec::formula:
            if (size >= 14) {
                const int row = u16(d), col = u16(d + 2), xf = u16(d + 4);
                const uchar* v = d + 6;
                pendingRow = -1;
                if (v[6] != 0xFF || v[7] != 0xFF) {
                    number(row, col, xf, f64(v));
                } else {
                    switch (v[0]) {
                    case 0: // text, in the STRING record that follows
                        pendingRow = row;
                        pendingColumn = col;
                        break;
                    case 1:
                        put(row, col, textCell(v[2] ? QStringLiteral("TRUE") : QStringLiteral("FALSE")));
                        break;
                    case 2:
                        put(row, col, errorCell(errorText(v[2])));
                        break;
                    default: // 3: an empty text
                        break;
                    }
                }
            }
            break;
        case rec::string: {
            Cursor c(r, 0, &rs);
            const QString text = c.string(false);
            if (c.bad()) {
                *error = damaged(QStringLiteral("公式结果"));
                return false;
            }
            if (pendingRow >= 0 && !text.isEmpty())
                put(pendingRow, pendingColumn, textCell(text));
            pendingRow = -1;
            break;
        }
        default:
            break;
        }
    }
    if (!more)
        return !refused;
    *error = damaged(QStringLiteral("工作表“%1”不完整").arg(entry.name));
    return false;
}

} // namespace

bool readXls(GsfInput* file, const Selection& selection, Book* book, QString* error)
{
    GError* err = nullptr;
    const InfilePtr ole(gsf_infile_msole_new(file, &err));
    if (!ole) {
        *error = damaged(takeError(err));
        return false;
    }
    InputPtr stream = childNamed(ole.get(), "Workbook");
    if (!stream) {
        if (childNamed(ole.get(), "EncryptedPackage") || childNamed(ole.get(), "EncryptionInfo"))
            *error = encrypted();
        else if (childNamed(ole.get(), "Book"))
            *error =
                QStringLiteral("工作簿是 Excel 5.0/95 或更早的格式，请在 Excel 中另存为“Excel 97-2003 工作簿”再导入");
        else
            *error = notAWorkbook();
        return false;
    }
    if (gsf_input_size(stream.get()) > kMaxStreamBytes) {
        *error = damaged(QStringLiteral("工作簿记录超过 %1 MB").arg(kMaxStreamBytes >> 20));
        return false;
    }
    RecordStream rs(stream.get());
    Globals g;
    TextBudget budget;
    if (!readGlobals(rs, &g, &budget, error))
        return false;
    book->format = Book::Format::Xls;
    for (const SheetEntry& entry : std::as_const(g.sheets)) {
        Sheet sheet;
        sheet.name = entry.name;
        book->sheets.append(std::move(sheet));
    }
    for (qsizetype i = 0; i < g.sheets.size(); ++i) {
        if (g.sheets.at(i).name.compare(selection.sheet, Qt::CaseInsensitive) != 0)
            continue;
        SheetBuilder builder(selection, &book->sheets[i], &budget);
        return readSheet(rs, g, builder, g.sheets.at(i), error);
    }
    return true;
}

} // namespace workbook::reader
