#include "store/workbook.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
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

// Larger parts than this are not read into memory; no stock list comes near.
constexpr qint64 kMaxPartBytes = 512LL * 1024 * 1024;
// Cells right of this column of an .xlsx sheet are not kept (an .xls sheet has 256 columns).
constexpr int kMaxColumns = 1024;

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

void setCell(Sheet& sheet, int row, int column, Cell cell)
{
    if (row < 0 || column < 0)
        return;
    if (sheet.rows.size() <= row)
        sheet.rows.resize(row + 1);
    QVector<Cell>& cells = sheet.rows[row];
    if (cells.size() <= column)
        cells.resize(column + 1);
    cells[column] = std::move(cell);
}

Cell textCell(QString text)
{
    Cell c;
    c.kind = Cell::Kind::Text;
    c.text = std::move(text);
    return c;
}

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

bool readAll(GsfInput* input, QByteArray* out, QString* error)
{
    const gsf_off_t size = gsf_input_size(input);
    if (size < 0 || size > kMaxPartBytes) {
        *error = damaged(QStringLiteral("部件过大"));
        return false;
    }
    // Zeroed first: for a damaged zip entry libgsf may report success without
    // filling every byte.
    *out = QByteArray(qsizetype(size), '\0');
    if (size > 0 && !gsf_input_read(input, size_t(size), reinterpret_cast<guint8*>(out->data()))) {
        *error = damaged(QStringLiteral("读取中断"));
        return false;
    }
    return true;
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
    const uchar* data = nullptr;
    int size = 0;
    int offset = 0; // of the record's header in the stream
};

class RecordStream
{
public:
    explicit RecordStream(const QByteArray& bytes)
        : m_data(reinterpret_cast<const uchar*>(bytes.constData()))
        , m_size(int(bytes.size()))
    {
    }
    void seek(int offset) { m_pos = offset; }
    // The next record; false at the end or on a record that runs past it.
    bool next(Record* r)
    {
        if (m_pos < 0 || m_pos + 4 > m_size)
            return false;
        r->offset = m_pos;
        r->id = u16(m_data + m_pos);
        r->size = u16(m_data + m_pos + 2);
        r->data = m_data + m_pos + 4;
        if (m_pos + 4 + r->size > m_size) {
            m_truncated = true;
            return false;
        }
        m_pos += 4 + r->size;
        return true;
    }
    // Id of the record after the current one, or 0 at the end.
    quint16 peekId() const { return m_pos + 4 <= m_size ? u16(m_data + m_pos) : 0; }
    bool truncated() const { return m_truncated; }

private:
    const uchar* m_data;
    int m_size;
    int m_pos = 0;
    bool m_truncated = false;
};

constexpr quint16 kContinue = 0x003C;

// Reads a record and the CONTINUE records after it as one sequence of bytes.
// A character array cut by a record boundary goes on after one option byte
// that says whether the rest is stored in one or two bytes per character.
class Cursor
{
public:
    explicit Cursor(std::vector<std::pair<const uchar*, int>> spans)
        : m_spans(std::move(spans))
    {
    }

    bool bad() const { return m_bad; }
    quint8 byte()
    {
        while (m_span < m_spans.size() && m_off >= m_spans[m_span].second) {
            ++m_span;
            m_off = 0;
        }
        if (m_span >= m_spans.size()) {
            m_bad = true;
            return 0;
        }
        return m_spans[m_span].first[m_off++];
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
        while (n > 0 && !m_bad) {
            if (m_span >= m_spans.size()) {
                m_bad = true;
                return;
            }
            const int avail = m_spans[m_span].second - m_off;
            if (avail <= 0) {
                ++m_span;
                m_off = 0;
                continue;
            }
            const int step = int(std::min<qint64>(n, avail));
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
            if (m_span >= m_spans.size()) {
                m_bad = true;
                break;
            }
            if (m_off >= m_spans[m_span].second) {
                if (++m_span >= m_spans.size()) {
                    m_bad = true;
                    break;
                }
                m_off = 0;
                wide = (byte() & 1) != 0;
                continue;
            }
            const uchar* p = m_spans[m_span].first + m_off;
            const int avail = m_spans[m_span].second - m_off;
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
    std::vector<std::pair<const uchar*, int>> m_spans;
    size_t m_span = 0;
    int m_off = 0;
    bool m_bad = false;
};

// The record `r` with the CONTINUE records that follow it in `rs`.
Cursor withContinues(const Record& r, RecordStream& rs)
{
    std::vector<std::pair<const uchar*, int>> spans{{r.data, r.size}};
    while (rs.peekId() == kContinue) {
        Record c;
        if (!rs.next(&c))
            break;
        spans.emplace_back(c.data, c.size);
    }
    return Cursor(std::move(spans));
}

namespace rec {
constexpr quint16 formula = 0x0006, eof = 0x000A, filepass = 0x002F, datemode = 0x0022, sheetIndex = 0x0085,
                  mulrk = 0x00BD, sst = 0x00FC, labelsst = 0x00FD, xf = 0x00E0, rstring = 0x00D6, number = 0x0203,
                  label = 0x0204, boolerr = 0x0205, string = 0x0207, rk = 0x027E, format = 0x041E, bof = 0x0809;
} // namespace rec

struct SheetEntry
{
    QString name;
    int offset;
};

struct Globals
{
    std::vector<QString> strings;
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

bool readGlobals(RecordStream& rs, Globals* g, QString* error)
{
    Record r;
    if (!rs.next(&r) || r.id != rec::bof || r.size < 4) {
        *error = notAWorkbook();
        return false;
    }
    if (u16(r.data) != 0x0600) {
        *error = QStringLiteral("工作簿是 Excel 5.0/95 或更早的格式，请在 Excel 中另存为“Excel 97-2003 工作簿”再导入");
        return false;
    }
    while (rs.next(&r)) {
        switch (r.id) {
        case rec::eof:
            return true;
        case rec::filepass:
            *error = encrypted();
            return false;
        case rec::datemode:
            if (r.size >= 2)
                g->system1904 = u16(r.data) == 1;
            break;
        case rec::xf:
            if (r.size >= 4)
                g->xfFormats.push_back(u16(r.data + 2));
            break;
        case rec::format:
            if (r.size >= 5) {
                Cursor c({{r.data + 2, r.size - 2}});
                const QString code = c.string(false);
                if (!c.bad())
                    g->formats.insert(u16(r.data), code);
            }
            break;
        case rec::sheetIndex:
            if (r.size >= 8) {
                Cursor c({{r.data + 6, r.size - 6}});
                const QString name = c.string(true);
                // Only worksheets hold cells (not chart sheets or macro sheets).
                if (!c.bad() && r.data[5] == 0)
                    g->sheets.append({name, int(u32(r.data))});
            }
            break;
        case rec::sst: {
            Cursor c = withContinues(r, rs);
            c.skip(4);
            const quint32 unique = c.dword();
            for (quint32 i = 0; i < unique && !c.bad(); ++i) {
                g->strings.push_back(c.string(false));
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

bool readSheet(RecordStream& rs, const Globals& g, const SheetEntry& entry, Sheet* sheet, QString* error)
{
    sheet->name = entry.name;
    rs.seek(entry.offset);
    Record r;
    if (!rs.next(&r) || r.id != rec::bof) {
        *error = damaged(QStringLiteral("工作表“%1”找不到").arg(entry.name));
        return false;
    }
    int depth = 1;
    // A formula whose result is text: the text follows in a STRING record.
    int pendingRow = -1, pendingColumn = -1;
    const auto number = [&](int row, int col, int xf, double v) {
        setCell(*sheet, row, col, numberCell(v, g.isDate(xf), g.system1904));
    };
    while (rs.next(&r)) {
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
        const uchar* d = r.data;
        switch (r.id) {
        case rec::labelsst:
            if (r.size >= 10) {
                const quint32 index = u32(d + 6);
                if (index >= g.strings.size()) {
                    *error = damaged(QStringLiteral("字符串编号超出范围"));
                    return false;
                }
                setCell(*sheet, u16(d), u16(d + 2), textCell(g.strings[index]));
            }
            break;
        case rec::label:
        case rec::rstring:
            if (r.size >= 9) {
                Cursor c({{d + 6, r.size - 6}});
                const int cch = c.word();
                const quint8 flags = c.byte();
                const QString text = c.chars(cch, (flags & 1) != 0);
                if (!c.bad())
                    setCell(*sheet, u16(d), u16(d + 2), textCell(text));
            }
            break;
        case rec::number:
            if (r.size >= 14)
                number(u16(d), u16(d + 2), u16(d + 4), f64(d + 6));
            break;
        case rec::rk:
            if (r.size >= 10)
                number(u16(d), u16(d + 2), u16(d + 4), rkValue(u32(d + 6)));
            break;
        case rec::mulrk:
            if (r.size >= 6) {
                const int row = u16(d);
                const int first = u16(d + 2);
                const int count = (r.size - 6) / 6;
                for (int i = 0; i < count; ++i)
                    number(row, first + i, u16(d + 4 + 6 * i), rkValue(u32(d + 6 + 6 * i)));
            }
            break;
        case rec::boolerr:
            if (r.size >= 8) {
                if (d[7])
                    setCell(*sheet, u16(d), u16(d + 2), errorCell(errorText(d[6])));
                else
                    setCell(*sheet, u16(d), u16(d + 2),
                            textCell(d[6] ? QStringLiteral("TRUE") : QStringLiteral("FALSE")));
            }
            break;
        case rec::formula:
            if (r.size >= 14) {
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
                        setCell(*sheet, row, col, textCell(v[2] ? QStringLiteral("TRUE") : QStringLiteral("FALSE")));
                        break;
                    case 2:
                        setCell(*sheet, row, col, errorCell(errorText(v[2])));
                        break;
                    default: // 3: an empty text
                        setCell(*sheet, row, col, Cell());
                        break;
                    }
                }
            }
            break;
        case rec::string: {
            Cursor c = withContinues(r, rs);
            const QString text = c.string(false);
            if (c.bad()) {
                *error = damaged(QStringLiteral("公式结果"));
                return false;
            }
            if (pendingRow >= 0)
                setCell(*sheet, pendingRow, pendingColumn, text.isEmpty() ? Cell() : textCell(text));
            pendingRow = -1;
            break;
        }
        default:
            break;
        }
    }
    *error = damaged(QStringLiteral("工作表“%1”不完整").arg(entry.name));
    return false;
}

bool readXls(GsfInput* file, Book* book, QString* error)
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
    QByteArray bytes;
    if (!readAll(stream.get(), &bytes, error))
        return false;
    RecordStream rs(bytes);
    Globals g;
    if (!readGlobals(rs, &g, error))
        return false;
    book->format = Book::Format::Xls;
    for (const SheetEntry& entry : std::as_const(g.sheets)) {
        Sheet sheet;
        if (!readSheet(rs, g, entry, &sheet, error))
            return false;
        book->sheets.append(std::move(sheet));
    }
    return true;
}

// ---- Office Open XML -------------------------------------------------------------

// A part of the zip by its path ("xl/workbook.xml"); an empty array when missing.
bool readPart(GsfInfile* zip, const QString& path, QByteArray* out, bool* found, QString* error)
{
    *found = false;
    InfilePtr dirHolder;
    GsfInfile* dir = zip;
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        InputPtr child = childNamed(dir, parts.at(i).toUtf8().constData());
        if (!child)
            return true;
        if (i + 1 == parts.size()) {
            *found = true;
            return readAll(child.get(), out, error);
        }
        if (!GSF_IS_INFILE(child.get()))
            return true;
        dirHolder.reset(reinterpret_cast<GsfInfile*>(child.release()));
        dir = dirHolder.get();
    }
    return true;
}

// The column of a cell reference such as "AB12": 27 (0-based: 27); -1 when there is none.
int columnOfReference(QStringView ref)
{
    int col = 0;
    qsizetype i = 0;
    for (; i < ref.size(); ++i) {
        const char16_t c = QChar::toUpper(ref.at(i).unicode());
        if (c < u'A' || c > u'Z')
            break;
        col = col * 26 + (c - u'A' + 1);
        if (col > 16384)
            return -1;
    }
    return i == 0 ? -1 : col - 1;
}

// The text of the <t> elements inside the current element (phonetic runs left out).
QString inlineText(QXmlStreamReader& x)
{
    QString text;
    const QString end = x.name().toString();
    int phonetic = 0;
    while (!x.atEnd()) {
        x.readNext();
        if (x.isStartElement()) {
            if (x.name() == QLatin1String("rPh"))
                ++phonetic;
            else if (x.name() == QLatin1String("t") && phonetic == 0)
                text += x.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (x.isEndElement()) {
            if (x.name() == QLatin1String("rPh"))
                --phonetic;
            else if (x.name() == end)
                break;
        }
    }
    return text;
}

bool xmlFailed(const QXmlStreamReader& x, const QString& part, QString* error)
{
    if (!x.hasError())
        return false;
    *error = damaged(QStringLiteral("%1: %2").arg(part, x.errorString()));
    return true;
}

bool readXlsx(GsfInput* file, Book* book, QString* error)
{
    GError* err = nullptr;
    const InfilePtr zip(gsf_infile_zip_new(file, &err));
    if (!zip) {
        *error = damaged(takeError(err));
        return false;
    }
    QByteArray bytes;
    bool found = false;
    if (!readPart(zip.get(), QStringLiteral("xl/workbook.xml"), &bytes, &found, error))
        return false;
    if (!found) {
        *error = notAWorkbook();
        return false;
    }
    struct Entry
    {
        QString name, relation;
    };
    QList<Entry> entries;
    bool system1904 = false;
    {
        QXmlStreamReader x(bytes);
        while (!x.atEnd()) {
            if (x.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (x.name() == QLatin1String("sheet")) {
                QString relation;
                for (const QXmlStreamAttribute& a : x.attributes())
                    if (a.name() == QLatin1String("id"))
                        relation = a.value().toString();
                entries.append({x.attributes().value(QLatin1String("name")).toString(), relation});
            } else if (x.name() == QLatin1String("workbookPr")) {
                const auto v = x.attributes().value(QLatin1String("date1904"));
                system1904 = v == QLatin1String("1") || v == QLatin1String("true");
            }
        }
        if (xmlFailed(x, QStringLiteral("workbook.xml"), error))
            return false;
    }
    QHash<QString, QString> targets;
    if (!readPart(zip.get(), QStringLiteral("xl/_rels/workbook.xml.rels"), &bytes, &found, error))
        return false;
    {
        QXmlStreamReader x(bytes);
        while (!x.atEnd()) {
            if (x.readNext() == QXmlStreamReader::StartElement && x.name() == QLatin1String("Relationship"))
                targets.insert(x.attributes().value(QLatin1String("Id")).toString(),
                               x.attributes().value(QLatin1String("Target")).toString());
        }
        if (xmlFailed(x, QStringLiteral("workbook.xml.rels"), error))
            return false;
    }
    std::vector<QString> strings;
    if (!readPart(zip.get(), QStringLiteral("xl/sharedStrings.xml"), &bytes, &found, error))
        return false;
    if (found) {
        QXmlStreamReader x(bytes);
        while (!x.atEnd()) {
            if (x.readNext() == QXmlStreamReader::StartElement && x.name() == QLatin1String("si"))
                strings.push_back(inlineText(x));
        }
        if (xmlFailed(x, QStringLiteral("sharedStrings.xml"), error))
            return false;
    }
    // Which cell styles show dates.
    std::vector<bool> dateStyles;
    if (!readPart(zip.get(), QStringLiteral("xl/styles.xml"), &bytes, &found, error))
        return false;
    if (found) {
        QHash<int, QString> formats;
        QXmlStreamReader x(bytes);
        bool inCellXfs = false;
        while (!x.atEnd()) {
            const auto t = x.readNext();
            if (t == QXmlStreamReader::StartElement) {
                if (x.name() == QLatin1String("numFmt"))
                    formats.insert(x.attributes().value(QLatin1String("numFmtId")).toInt(),
                                   x.attributes().value(QLatin1String("formatCode")).toString());
                else if (x.name() == QLatin1String("cellXfs"))
                    inCellXfs = true;
                else if (inCellXfs && x.name() == QLatin1String("xf")) {
                    const int id = x.attributes().value(QLatin1String("numFmtId")).toInt();
                    dateStyles.push_back(isDateFormat(id, formats.value(id)));
                }
            } else if (t == QXmlStreamReader::EndElement && x.name() == QLatin1String("cellXfs")) {
                inCellXfs = false;
            }
        }
        if (xmlFailed(x, QStringLiteral("styles.xml"), error))
            return false;
    }
    book->format = Book::Format::Xlsx;
    for (const Entry& e : std::as_const(entries)) {
        QString target = targets.value(e.relation);
        if (target.startsWith(QLatin1Char('/')))
            target = target.mid(1);
        else
            target.prepend(QLatin1String("xl/"));
        if (!readPart(zip.get(), target, &bytes, &found, error))
            return false;
        if (!found) {
            *error = damaged(QStringLiteral("工作表“%1”找不到").arg(e.name));
            return false;
        }
        Sheet sheet;
        sheet.name = e.name;
        QXmlStreamReader x(bytes);
        int row = -1, nextColumn = 0;
        while (!x.atEnd()) {
            if (x.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (x.name() == QLatin1String("row")) {
                const auto r = x.attributes().value(QLatin1String("r"));
                if (r.isEmpty()) {
                    ++row;
                } else {
                    bool ok = false;
                    const int n = r.toInt(&ok);
                    row = ok && n >= 1 && n <= 1048576 ? n - 1 : -1;
                }
                nextColumn = 0;
                continue;
            }
            if (x.name() != QLatin1String("c") || row < 0)
                continue;
            const QXmlStreamAttributes a = x.attributes();
            const auto ref = a.value(QLatin1String("r"));
            const int col = ref.isEmpty() ? nextColumn : columnOfReference(ref);
            nextColumn = col + 1;
            const QString type = a.value(QLatin1String("t")).toString();
            const int style = a.value(QLatin1String("s")).toInt();
            QString value;
            bool hasValue = false;
            QString inlineString;
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
                    inlineString = inlineText(x);
                    hasValue = true;
                } else if (x.name() == QLatin1String("f")) {
                    x.skipCurrentElement();
                }
            }
            // No stock sheet reaches that far right; such cells would only cost memory.
            if (!hasValue || col < 0 || col >= kMaxColumns)
                continue;
            Cell cell;
            if (type == QLatin1String("s")) {
                bool ok = false;
                const qulonglong index = value.toULongLong(&ok);
                if (!ok || index >= strings.size()) {
                    *error = damaged(QStringLiteral("字符串编号超出范围"));
                    return false;
                }
                cell = textCell(strings[index]);
            } else if (type == QLatin1String("inlineStr")) {
                cell = textCell(inlineString);
            } else if (type == QLatin1String("str")) {
                cell = textCell(value);
            } else if (type == QLatin1String("b")) {
                cell = textCell(value == QLatin1String("1") ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
            } else if (type == QLatin1String("e")) {
                cell = errorCell(value);
            } else if (type == QLatin1String("d")) {
                // An ISO 8601 date, which few programs write.
                cell.kind = Cell::Kind::Date;
                cell.date = QDate::fromString(value.left(10), Qt::ISODate);
            } else {
                bool ok = false;
                const double v = value.toDouble(&ok);
                if (!ok) {
                    *error = damaged(QStringLiteral("单元格数值“%1”").arg(value.left(40)));
                    return false;
                }
                const bool date = style >= 0 && size_t(style) < dateStyles.size() && dateStyles[size_t(style)];
                cell = numberCell(v, date, system1904);
            }
            if (cell.kind == Cell::Kind::Text && cell.text.isEmpty())
                cell = Cell();
            setCell(sheet, row, col, std::move(cell));
        }
        if (xmlFailed(x, e.name, error))
            return false;
        book->sheets.append(std::move(sheet));
    }
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

bool readCsv(const QString& path, const QByteArray& bytes, Book* book, QString* error)
{
    QByteArray data = bytes;
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
    if (text.contains(QChar(0))) {
        *error = notAWorkbook();
        return false;
    }
    Sheet sheet;
    sheet.name = QFileInfo(path).completeBaseName();
    int row = 0, col = 0;
    QString field;
    bool quoted = false, wasQuoted = false;
    const auto endField = [&] {
        if (!field.isEmpty() || wasQuoted)
            setCell(sheet, row, col, field.isEmpty() ? Cell() : textCell(field));
        field.clear();
        wasQuoted = false;
        ++col;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
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
    if (quoted) {
        *error = QStringLiteral("CSV 文件在第 %1 行有未结束的引号").arg(row + 1);
        return false;
    }
    if (!field.isEmpty() || wasQuoted || col > 0)
        endField();
    book->format = Book::Format::Csv;
    book->sheets.append(std::move(sheet));
    return true;
}

} // namespace

const Cell& Sheet::cell(int row, int column) const
{
    static const Cell empty;
    if (row < 0 || row >= rows.size() || column < 0 || column >= rows.at(row).size())
        return empty;
    return rows.at(row).at(column);
}

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

bool read(const QString& path, Book* book, QString* error)
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
            if (f.size() > kMaxPartBytes) {
                *error = QStringLiteral("CSV 文件过大");
                return false;
            }
            return readCsv(path, f.readAll(), book, error);
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
    const bool ok = isOle ? readXls(input.get(), book, error) : readXlsx(input.get(), book, error);
    if (!ok)
        *book = Book();
    return ok;
}

} // namespace workbook
