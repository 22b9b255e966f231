#include "hostileworkbooks.h"

#include "store/ops/stockimport.h"

#include <QFile>

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace {

// One part of a zip: its deflated bytes, CRC and length.
struct ZipPart
{
    QByteArray name;
    QByteArray deflated;
    quint32 crc = 0;
    quint64 size = 0;
};

// A part made of `head`, then `body` `times` times, then `tail`. The body is
// deflated once and its deflated bytes repeated: each copy ends on a full
// flush, which makes it a stand-alone run of deflate blocks.
ZipPart repeatedPart(const char* name, const QByteArray& head, const QByteArray& body, qint64 times,
                     const QByteArray& tail)
{
    ZipPart part{name, {}, 0, 0};
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    const auto pass = [&](const QByteArray& in, int flush) {
        QByteArray out(int(deflateBound(&z, uLong(in.size()))) + 64, '\0');
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
        z.avail_in = uInt(in.size());
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = uInt(out.size());
        deflate(&z, flush);
        out.truncate(out.size() - z.avail_out);
        return out;
    };
    part.deflated = pass(head, Z_FULL_FLUSH);
    const QByteArray once = pass(body, Z_FULL_FLUSH);
    for (qint64 i = 0; i < times; ++i)
        part.deflated += once;
    part.deflated += pass(tail, Z_FINISH);
    deflateEnd(&z);
    const auto crcOf = [](const QByteArray& b) {
        return quint32(crc32(0, reinterpret_cast<const Bytef*>(b.constData()), uInt(b.size())));
    };
    const quint32 bodyCrc = crcOf(body);
    quint32 crc = crcOf(head);
    for (qint64 i = 0; i < times; ++i)
        crc = quint32(crc32_combine(crc, bodyCrc, body.size()));
    part.crc = quint32(crc32_combine(crc, crcOf(tail), tail.size()));
    part.size = quint64(head.size()) + quint64(body.size()) * quint64(times) + quint64(tail.size());
    return part;
}

ZipPart plainPart(const char* name, const QByteArray& text)
{
    return repeatedPart(name, text, {}, 0, {});
}

// A zip of the parts (each under 4 GB).
bool writeZip(const QString& path, const QList<ZipPart>& parts)
{
    QByteArray zip, directory;
    // Little-endian; bytes past the eighth are zeros (a shift by 64 or more
    // is undefined).
    const auto le = [](QByteArray* out, quint64 v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out->append(char(i < 8 ? (v >> (8 * i)) & 0xFF : 0));
    };
    for (const ZipPart& p : parts) {
        const quint64 offset = quint64(zip.size());
        le(&zip, 0x04034b50, 4);
        le(&zip, 20, 2);
        le(&zip, 0, 2);
        le(&zip, 8, 2); // deflated
        le(&zip, 0, 4);
        le(&zip, p.crc, 4);
        le(&zip, quint64(p.deflated.size()), 4);
        le(&zip, p.size, 4);
        le(&zip, quint64(p.name.size()), 2);
        le(&zip, 0, 2);
        zip += p.name + p.deflated;
        le(&directory, 0x02014b50, 4);
        le(&directory, 20, 2);
        le(&directory, 20, 2);
        le(&directory, 0, 2);
        le(&directory, 8, 2);
        le(&directory, 0, 4);
        le(&directory, p.crc, 4);
        le(&directory, quint64(p.deflated.size()), 4);
        le(&directory, p.size, 4);
        le(&directory, quint64(p.name.size()), 2);
        le(&directory, 0, 2 + 2 + 2 + 2 + 4);
        le(&directory, offset, 4);
        directory += p.name;
    }
    const quint64 directoryAt = quint64(zip.size());
    zip += directory;
    le(&zip, 0x06054b50, 4);
    le(&zip, 0, 4);
    le(&zip, quint64(parts.size()), 2);
    le(&zip, quint64(parts.size()), 2);
    le(&zip, quint64(directory.size()), 4);
    le(&zip, directoryAt, 4);
    le(&zip, 0, 2);
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(zip) == zip.size();
}

} // namespace

namespace hostile {

// An .xls file whose sheet korvel holds one NUMBER record at column 65535 of
// each of `rows` rows: an Excel 97-2003 sheet has 256 columns.
bool writeXlsBeyondLastColumn(const QString& path, int rows)
{
    const auto record = [](QByteArray* out, quint16 id, const QByteArray& body) {
        const quint16 head[2] = {id, quint16(body.size())};
        out->append(reinterpret_cast<const char*>(head), 4); // little-endian, as the machine is
        out->append(body);
    };
    const QByteArray bof("\x00\x06\x10\x00\x00\x00\x00\x00\x00\x00\x00\x00\x06\x00\x00\x00", 16);
    QByteArray globals, sheet;
    record(&globals, 0x0809, bof);
    // BOUNDSHEET: offset (filled below), visible worksheet, name "korvel" in one byte a character.
    const QByteArray name("korvel");
    QByteArray bound(4, '\0');
    bound += QByteArray("\x00\x00", 2) + char(name.size()) + '\0' + name;
    const qsizetype boundAt = globals.size() + 4;
    record(&globals, 0x0085, bound);
    record(&globals, 0x000A, {});
    const quint32 sheetOffset = quint32(globals.size());
    std::memcpy(globals.data() + boundAt, &sheetOffset, 4);
    QByteArray bofSheet = bof;
    bofSheet[2] = 0x10; // a worksheet
    record(&sheet, 0x0809, bofSheet);
    for (int r = 0; r < rows; ++r) {
        QByteArray number(14, '\0');
        const quint16 at[2] = {quint16(r), 0xFFFF};
        std::memcpy(number.data(), at, 4);
        const double one = 1;
        std::memcpy(number.data() + 6, &one, 8);
        record(&sheet, 0x0203, number);
    }
    record(&sheet, 0x000A, {});
    const QByteArray stream = globals + sheet;

    gsf_init();
    GError* err = nullptr;
    GsfOutput* file = gsf_output_stdio_new(QFile::encodeName(path).constData(), &err);
    if (!file)
        return false;
    GsfOutfile* ole = gsf_outfile_msole_new(file);
    GsfOutput* workbook = gsf_outfile_new_child(ole, "Workbook", FALSE);
    const bool ok =
        gsf_output_write(workbook, size_t(stream.size()), reinterpret_cast<const guint8*>(stream.constData()));
    gsf_output_close(workbook);
    g_object_unref(workbook);
    gsf_output_close(GSF_OUTPUT(ole)); // closes the file too
    g_object_unref(ole);
    g_object_unref(file);
    return ok;
}

// An .xlsx file whose sheet korvel is `head`, then `row` `times` times, then
// the end of the sheet. `times` is below 10,000 or a multiple of it.
bool writeXlsx(const QString& path, const QByteArray& head, const QByteArray& row, qint64 times)
{
    const qint64 perBody = std::min<qint64>(times, 10000);
    const QByteArray body = row.repeated(perBody);
    const QByteArray workbook = "<workbook xmlns:r=\"r\"><sheets><sheet name=\"korvel\" sheetId=\"1\" r:id=\"rId1\"/>"
                                "</sheets></workbook>";
    const QByteArray rels = "<Relationships><Relationship Id=\"rId1\" Target=\"worksheets/sheet1.xml\"/>"
                            "</Relationships>";
    return writeZip(path, {plainPart("xl/workbook.xml", workbook), plainPart("xl/_rels/workbook.xml.rels", rels),
                           repeatedPart("xl/worksheets/sheet1.xml", "<worksheet><sheetData>" + head, body,
                                        perBody ? times / perBody : 0, "</sheetData></worksheet>")});
}

// The title row of a sheet korvel as inline texts.
QByteArray xlsxTitleRow()
{
    QByteArray row = "<row r=\"1\">";
    for (const QString& title : stockimport::sheetColumns())
        row += "<c t=\"inlineStr\"><is><t>" + title.toUtf8() + "</t></is></c>";
    return row + "</row>";
}

} // namespace hostile
