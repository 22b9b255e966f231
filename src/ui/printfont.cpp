#include "ui/printfont.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QHash>
#include <QRawFont>
#include <QSaveFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

using CharMap = std::vector<std::pair<char32_t, quint32>>; // code point → glyph, by code point

quint16 read16(const QByteArray& b, qsizetype at)
{
    return at >= 0 && at + 2 <= b.size() ? qFromBigEndian<quint16>(b.constData() + at) : 0;
}

quint32 read32(const QByteArray& b, qsizetype at)
{
    return at >= 0 && at + 4 <= b.size() ? qFromBigEndian<quint32>(b.constData() + at) : 0;
}

void put16(QByteArray& out, quint16 v)
{
    char b[2];
    qToBigEndian(v, b);
    out.append(b, 2);
}

void put32(QByteArray& out, quint32 v)
{
    char b[4];
    qToBigEndian(v, b);
    out.append(b, 4);
}

CharMap readFormat12(const QByteArray& cmap, qsizetype at)
{
    CharMap map;
    const quint32 groups = read32(cmap, at + 12);
    if (at + 16 + qsizetype(groups) * 12 > cmap.size())
        return {};
    for (quint32 i = 0; i < groups; ++i) {
        const qsizetype g = at + 16 + qsizetype(i) * 12;
        const quint32 first = read32(cmap, g), last = read32(cmap, g + 4), glyph = read32(cmap, g + 8);
        if (last < first || last > 0x10FFFF)
            return {};
        for (quint32 c = first; c <= last; ++c)
            map.emplace_back(char32_t(c), glyph + (c - first));
    }
    return map;
}

CharMap readFormat4(const QByteArray& cmap, qsizetype at)
{
    CharMap map;
    const int segments = read16(cmap, at + 6) / 2;
    const qsizetype ends = at + 14, starts = ends + 2 * segments + 2, deltas = starts + 2 * segments,
                    ranges = deltas + 2 * segments;
    if (ranges + 2 * segments > cmap.size())
        return {};
    for (int s = 0; s < segments; ++s) {
        const quint16 first = read16(cmap, starts + 2 * s), last = read16(cmap, ends + 2 * s);
        const quint16 delta = read16(cmap, deltas + 2 * s), range = read16(cmap, ranges + 2 * s);
        for (quint32 c = first; c <= last && c != 0xFFFF; ++c) {
            quint16 glyph = 0;
            if (range == 0) {
                glyph = quint16(c + delta);
            } else {
                glyph = read16(cmap, ranges + 2 * s + range + 2 * (c - first));
                if (glyph != 0)
                    glyph = quint16(glyph + delta);
            }
            if (glyph != 0)
                map.emplace_back(char32_t(c), glyph);
        }
    }
    std::sort(map.begin(), map.end());
    return map;
}

// The face's Unicode map, and its table of variation sequences (format 14),
// kept as it is.
CharMap readCharMap(const QByteArray& cmap, QByteArray* variations)
{
    const int count = read16(cmap, 2);
    qsizetype full = -1, bmp = -1;
    for (int i = 0; i < count; ++i) {
        const qsizetype record = 4 + qsizetype(i) * 8;
        const quint16 platform = read16(cmap, record), encoding = read16(cmap, record + 2);
        const qsizetype at = read32(cmap, record + 4);
        const quint16 format = read16(cmap, at);
        if (format == 12 && ((platform == 3 && encoding == 10) || platform == 0))
            full = at;
        else if (format == 4 && ((platform == 3 && encoding == 1) || platform == 0))
            bmp = at;
        else if (format == 14 && platform == 0 && encoding == 5)
            *variations = cmap.mid(at, read32(cmap, at + 2));
    }
    if (full >= 0)
        return readFormat12(cmap, full);
    if (bmp >= 0)
        return readFormat4(cmap, bmp);
    return {};
}

// Of the characters a face draws with one glyph, the one its text stands for:
// the lowest rank, then the lowest code point.
int rank(char32_t c)
{
    if (c >= 0x2E80 && c <= 0x2FDF) // radicals, printed only in dictionaries
        return 3;
    if (QChar::decompositionTag(c) == QChar::Canonical) // 〈 (U+2329) for 〈, compatibility ideographs
        return 2;
    if (c == 0x3000 || (c >= 0xFF01 && c <= 0xFF5E)) // the blank and signs Chinese input types: ／ ～
        return 0;
    return 1;
}

// Leaves out the characters that share a glyph with one of a lower rank and
// sit below it: the lowest character of a glyph is the one a PDF reads.
CharMap withoutSharedBelow(const CharMap& map)
{
    QHash<quint32, char32_t> chosen;
    for (const auto& [c, glyph] : map) {
        auto it = chosen.find(glyph);
        if (it == chosen.end())
            chosen.insert(glyph, c);
        else if (std::pair(rank(c), c) < std::pair(rank(*it), *it))
            *it = c;
    }
    CharMap kept;
    for (const auto& entry : map)
        if (entry.first >= chosen.value(entry.second))
            kept.push_back(entry);
    return kept;
}

QByteArray cmapTable(const CharMap& map, const QByteArray& variations)
{
    QByteArray groups;
    quint32 count = 0;
    for (std::size_t i = 0; i < map.size();) {
        std::size_t j = i + 1;
        while (j < map.size() && map[j].first == map[j - 1].first + 1 && map[j].second == map[j - 1].second + 1)
            ++j;
        put32(groups, map[i].first);
        put32(groups, map[j - 1].first);
        put32(groups, map[i].second);
        ++count;
        i = j;
    }
    QByteArray format12;
    put16(format12, 12);
    put16(format12, 0);
    put32(format12, quint32(16 + groups.size()));
    put32(format12, 0);
    put32(format12, count);
    format12 += groups;

    const bool withVariations = !variations.isEmpty();
    const quint16 records = withVariations ? 3 : 2;
    const quint32 at12 = 4 + 8 * records;
    const quint32 at14 = at12 + quint32(format12.size());
    QByteArray out;
    put16(out, 0);
    put16(out, records);
    put16(out, 0); // Unicode, full repertoire
    put16(out, 4);
    put32(out, at12);
    if (withVariations) {
        put16(out, 0);
        put16(out, 5);
        put32(out, at14);
    }
    put16(out, 3); // Windows, full repertoire
    put16(out, 10);
    put32(out, at12);
    return out + format12 + variations;
}

QByteArray nameTable(const QString& family, const QString& style)
{
    QString postscript = family + QLatin1Char('-') + style;
    postscript.remove(QLatin1Char(' '));
    const std::pair<quint16, QString> names[] = {
        {1, family}, {2, style}, {4, family + QLatin1Char(' ') + style}, {6, postscript}};
    QByteArray strings;
    QByteArray out;
    put16(out, 0);
    put16(out, std::size(names));
    put16(out, quint16(6 + 12 * std::size(names)));
    for (const auto& [id, text] : names) {
        QByteArray utf16;
        for (const QChar ch : text)
            put16(utf16, ch.unicode());
        put16(out, 3);
        put16(out, 1);
        put16(out, 0x409);
        put16(out, id);
        put16(out, quint16(utf16.size()));
        put16(out, quint16(strings.size()));
        strings += utf16;
    }
    return out + strings;
}

quint32 checksum(const QByteArray& data)
{
    quint32 sum = 0;
    for (qsizetype i = 0; i < data.size(); i += 4) {
        char word[4] = {0, 0, 0, 0};
        std::copy_n(data.constData() + i, std::min<qsizetype>(4, data.size() - i), word);
        sum += qFromBigEndian<quint32>(word);
    }
    return sum;
}

// An OpenType file of the tables (tag → data, in the order of their tags).
QByteArray fontFile(const std::vector<std::pair<QByteArray, QByteArray>>& tables)
{
    const bool cff = std::any_of(tables.cbegin(), tables.cend(), [](const auto& t) { return t.first == "CFF "; });
    const auto n = quint16(tables.size());
    quint16 power = 1, log = 0;
    while (power * 2 <= n) {
        power *= 2;
        ++log;
    }
    QByteArray out;
    put32(out, cff ? 0x4F54544F : 0x00010000); // 'OTTO' for outlines in CFF
    put16(out, n);
    put16(out, quint16(power * 16));
    put16(out, log);
    put16(out, quint16(n * 16 - power * 16));
    quint32 offset = 12 + 16 * n;
    qsizetype headAt = -1;
    for (const auto& [tag, data] : tables) {
        out += tag;
        put32(out, checksum(data));
        put32(out, offset);
        put32(out, quint32(data.size()));
        if (tag == "head")
            headAt = offset;
        offset += quint32((data.size() + 3) & ~3);
    }
    for (const auto& table : tables) {
        out += table.second;
        out.append((4 - table.second.size() % 4) % 4, '\0');
    }
    if (headAt >= 0 && headAt + 12 <= out.size())
        qToBigEndian<quint32>(0xB1B0AFBA - checksum(out), out.data() + headAt + 8);
    return out;
}

// A copy of the face with the character map above, registered under its own
// family; an empty name when the face needs none or cannot be copied.
QString registerCopy(const QRawFont& face)
{
    QByteArray variations;
    const CharMap map = readCharMap(face.fontTable("cmap"), &variations);
    const CharMap kept = withoutSharedBelow(map);
    if (kept.size() == map.size()) // every glyph reads as its own character already
        return {};
    const QString family = face.familyName() + QStringLiteral(" Print");
    std::vector<std::pair<QByteArray, QByteArray>> tables;
    // Every table a face may carry but the two written anew, in the order of their tags.
    static const char* const tags[] = {"BASE", "CFF ", "CFF2", "COLR", "CPAL", "GDEF", "GPOS", "GSUB", "HVAR",
                                       "JSTF", "MATH", "MVAR", "OS/2", "STAT", "VORG", "VVAR", "avar", "cvt ",
                                       "fpgm", "fvar", "gasp", "glyf", "gvar", "head", "hhea", "hmtx", "kern",
                                       "loca", "maxp", "post", "prep", "vhea", "vmtx"};
    for (const char* tag : tags) {
        const QByteArray data = face.fontTable(tag);
        if (!data.isEmpty())
            tables.emplace_back(QByteArray(tag), data);
    }
    if (tables.empty())
        return {};
    for (auto& [tag, data] : tables)
        if (tag == "head" && data.size() >= 12)
            qToBigEndian<quint32>(0, data.data() + 8);
    tables.emplace_back(QByteArrayLiteral("cmap"), cmapTable(kept, variations));
    tables.emplace_back(QByteArrayLiteral("name"), nameTable(family, face.styleName()));
    std::sort(tables.begin(), tables.end());
    const QByteArray data = fontFile(tables);
    // A face in a file is read as it is needed rather than held in memory
    // (some 20 MB a face); in memory when there is no room for the file.
    static QTemporaryDir folder;
    static int files = 0;
    QSaveFile file(folder.filePath(QStringLiteral("%1.otf").arg(++files)));
    int id = -1;
    if (folder.isValid() && file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.commit())
        id = QFontDatabase::addApplicationFont(file.fileName());
    if (id < 0)
        id = QFontDatabase::addApplicationFontFromData(data);
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    return families.isEmpty() ? QString() : families.first();
}

} // namespace

QFont printableFont(const QFont& font)
{
    QFont out = font;
    out.setStyleStrategy(QFont::StyleStrategy(font.styleStrategy() | QFont::PreferNoShaping));
    const QRawFont face = QRawFont::fromFont(font, QFontDatabase::SimplifiedChinese);
    if (!face.isValid())
        return out;
    static QHash<QString, QString> copies; // face and weight → family of its copy
    const QString key = QStringLiteral("%1|%2|%3").arg(face.familyName(), face.styleName()).arg(face.weight());
    auto it = copies.find(key);
    if (it == copies.end())
        it = copies.insert(key, registerCopy(face));
    if (it->isEmpty())
        return out;
    // In front of the family that brings the face (itself or through a
    // substitution, as 宋体 does); after all of them when none does.
    QStringList families = font.families();
    if (families.isEmpty())
        families = {font.family()};
    qsizetype at = families.size();
    for (qsizetype i = 0; i < families.size(); ++i) {
        QFont alone = font;
        alone.setFamilies({families.at(i)});
        if (QFontInfo(alone).family() == face.familyName()) {
            at = i;
            break;
        }
    }
    families.insert(at, *it);
    out.setFamilies(families);
    return out;
}
