#include "formats/workbook.h"

#include "core/blanks.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QIODevice>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile-zip.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-utils.h>

#include <iconv.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace workbook {

namespace {

// The .xls record stream is read record by record; one longer than this is no workbook a shop writes.
constexpr qint64 kMaxStreamBytes = 512LL * 1024 * 1024;
// An XML part of an .xlsx file is inflated as it is parsed; parsing this much takes a few seconds,
// and a sheet of 65,535 stock rows needs a fraction of it.
constexpr qint64 kMaxXmlBytes = 128LL * 1024 * 1024;
// The XML reader holds a text or a tag whole: no stretch between two '<' may be longer.
constexpr qint64 kMaxXmlRunBytes = 1024 * 1024;
// A CSV file is decoded in memory.
constexpr qint64 kMaxCsvBytes = 64LL * 1024 * 1024;
// The most characters Excel puts in one cell.
constexpr qsizetype kMaxCellText = 32767;
// Texts held at once: the shared strings and the kept cells' own texts.
constexpr qsizetype kMaxHeldChars = 32'000'000;
constexpr qsizetype kMaxSharedStrings = 1'000'000;
// The last row and column of the formats (1-based).
constexpr int kXlsColumns = 256, kXlsxColumns = 16384, kXlsxRows = 1048576;
// A CSV line may have as many fields as an .xlsx row has columns.
constexpr int kCsvColumns = kXlsxColumns;

QString notAWorkbook()
{
    return QStringLiteral("文件不是 Excel 工作簿（.xls、.xlsx）或 CSV 文本");
}
QString encrypted()
{
    return QStringLiteral("工作簿设置了打开密码（已加密），请在 Excel 中取消密码后另存再导入");
}
QString damaged(const QString& what)
{
    return QStringLiteral("工作簿已损坏，无法读取（%1）").arg(what);
}
QString tooMuchText()
{
    return QStringLiteral("工作簿中的文字太多（超过 %1 万个字符或 %2 万个不同的文字），无法导入")
        .arg(kMaxHeldChars / 10000)
        .arg(kMaxSharedStrings / 10000);
}
// "A1" names of columns: 1 -> "A", 27 -> "AA".
QString columnName(qint64 column)
{
    QString name;
    for (qint64 c = column; c > 0; c = (c - 1) / 26)
        name.prepend(QChar(char16_t(u'A' + (c - 1) % 26)));
    return name;
}
QString beyondXls(const QString& sheet, int row, int column)
{
    return QStringLiteral(
               "工作表“%1”第 %2 行第 %3 列有单元格，超出 Excel 97-2003 工作表的 %4 列，文件已损坏或不是 Excel "
               "保存的")
        .arg(sheet)
        .arg(row + 1)
        .arg(column + 1)
        .arg(kXlsColumns);
}
QString beyondXlsx(const QString& sheet, const QString& where)
{
    return QStringLiteral(
               "工作表“%1”的单元格位置 %2 超出 Excel 工作表的范围（最多 %3 列，到 %4 列；%5 行），文件已损坏")
        .arg(sheet, where)
        .arg(kXlsxColumns)
        .arg(columnName(kXlsxColumns))
        .arg(kXlsxRows);
}

// The text of a cell; a text longer than kept is cut (see Cell::fullLength).
Cell textCell(QString text)
{
    Cell c;
    c.kind = Cell::Kind::Text;
    if (text.size() > kMaxKeptText) {
        text = trimBlanks(text);
        if (text.size() > kMaxKeptText) {
            c.fullLength = text.size();
            text.truncate(kMaxKeptText);
            text.squeeze();
        }
    }
    c.text = std::move(text);
    return c;
}

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
        const QString text = trimBlanks(cell.text);
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

// ---- Number formats --------------------------------------------------------------

// Whether a number format shows its number as a date or a time. The built-in
// formats are known by number (14-22 and 45-47 everywhere, 27-36 and 50-58 in
// the East Asian versions); any other format by its code: after quoted texts,
// escaped characters and bracketed parts ([Red], [$-804]) are taken out, a code
// with a year, month, day, hour or second letter is a date form.
bool isDateFormat(int id, const QString& code)
{
    if (code.isEmpty())
        return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) || (id >= 50 && id <= 58);
    if (code.compare(QLatin1String("General"), Qt::CaseInsensitive) == 0 || code == QLatin1String("@"))
        return false;
    bool quoted = false;
    int bracket = 0;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar ch = code.at(i);
        if (quoted) {
            quoted = ch != QLatin1Char('"');
            continue;
        }
        if (ch == QLatin1Char('"')) {
            quoted = true;
        } else if (ch == QLatin1Char('\\') || ch == QLatin1Char('_') || ch == QLatin1Char('*')) {
            ++i; // the next character is shown as it is (or fills / pads)
        } else if (ch == QLatin1Char('[')) {
            ++bracket;
        } else if (ch == QLatin1Char(']')) {
            bracket = std::max(0, bracket - 1);
        } else if (bracket == 0) {
            switch (ch.toLower().unicode()) {
            case u'y':
            case u'm':
            case u'd':
            case u'h':
            case u's':
                return true;
            case u';':
                return false; // the first section decides
            default:
                break;
            }
        }
    }
    return false;
}

Cell numberCell(double value, bool dateForm, bool system1904)
{
    Cell c;
    c.kind = dateForm ? Cell::Kind::Date : Cell::Kind::Number;
    c.number = value;
    if (dateForm)
        c.date = dateOfSerial(value, system1904);
    return c;
}

QString errorText(quint8 code)
{
    switch (code) {
    case 0x00:
        return QStringLiteral("#NULL!");
    case 0x07:
        return QStringLiteral("#DIV/0!");
    case 0x0F:
        return QStringLiteral("#VALUE!");
    case 0x17:
        return QStringLiteral("#REF!");
    case 0x1D:
        return QStringLiteral("#NAME?");
    case 0x24:
        return QStringLiteral("#NUM!");
    case 0x2A:
        return QStringLiteral("#N/A");
    default:
        return QStringLiteral("#ERROR!");
    }
}

Cell errorCell(QString text)
{
    Cell c;
    c.kind = Cell::Kind::Error;
    c.text = std::move(text);
    return c;
}

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

void initGsf()
{
    static const bool done = [] {
        gsf_init();
        return true;
    }();
    (void)done;
}

QString takeError(GError*& err)
{
    QString text = err ? QString::fromUtf8(err->message) : QString();
    if (err)
        g_error_free(err);
    err = nullptr;
    return text;
}

// The child of a compound file or zip folder, letter case of the name ignored.
InputPtr childNamed(GsfInfile* dir, const char* name)
{
    const int n = gsf_infile_num_children(dir);
    for (int i = 0; i < n; ++i) {
        const char* childName = gsf_infile_name_by_index(dir, i);
        if (childName && qstricmp(childName, name) == 0)
            return InputPtr(gsf_infile_child_by_index(dir, i));
    }
    return nullptr;
}

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

// ---- Office Open XML -------------------------------------------------------------

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

// ---- CSV ---------------------------------------------------------------------------

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

} // namespace

const Sheet* Book::sheet(const QString& name) const
{
    for (const Sheet& s : sheets)
        if (s.name.compare(name, Qt::CaseInsensitive) == 0)
            return &s;
    return nullptr;
}

QDate dateOfSerial(double serial, bool system1904)
{
    if (!std::isfinite(serial) || serial < 0 || serial > 3e6)
        return {};
    const qint64 days = qint64(std::floor(serial));
    if (system1904)
        return QDate(1904, 1, 1).addDays(days);
    // Day 60 is 1900-02-29, which never was; the 1900 system counts it anyway.
    if (days < 1 || days == 60)
        return {};
    return days < 60 ? QDate(1899, 12, 31).addDays(days) : QDate(1899, 12, 30).addDays(days);
}

bool read(const QString& path, const Selection& selection, Book* book, QString* error)
{
    *book = Book();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("无法打开文件 %1：%2").arg(path, f.errorString());
        return false;
    }
    const QByteArray head = f.peek(8);
    if (head.isEmpty()) {
        *error = QStringLiteral("文件是空的，不是 Excel 工作簿");
        return false;
    }
    static const QByteArray ole("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    const bool isOle = head == ole;
    const bool isZip = head.startsWith("PK\x03\x04");
    if (!isOle && !isZip) {
        if (path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) {
            if (f.size() > kMaxCsvBytes) {
                *error = QStringLiteral("CSV 文件过大（超过 %1 MB）").arg(kMaxCsvBytes >> 20);
                return false;
            }
            const bool ok = readCsv(path, f.readAll(), selection, book, error);
            if (!ok)
                *book = Book();
            return ok;
        }
        *error = notAWorkbook();
        return false;
    }
    f.close();
    initGsf();
    // libgsf complains about damaged files on stderr; the caller gets the reason.
    struct Quiet
    {
        GLogFunc previousLog =
            g_log_set_default_handler([](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
        GPrintFunc previousPrint = g_set_printerr_handler([](const gchar*) {});
        ~Quiet()
        {
            g_log_set_default_handler(previousLog, nullptr);
            g_set_printerr_handler(previousPrint);
        }
    } quiet;
    GError* err = nullptr;
    const InputPtr input(gsf_input_stdio_new(QFile::encodeName(path).constData(), &err));
    if (!input) {
        *error = QStringLiteral("无法打开文件 %1：%2").arg(path, takeError(err));
        return false;
    }
    const bool ok =
        isOle ? readXls(input.get(), selection, book, error) : readXlsx(input.get(), selection, book, error);
    if (!ok)
        *book = Book();
    return ok;
}

} // namespace workbook
