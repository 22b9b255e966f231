#include "text/pinyininitials.h"

#include "text/pinyinlists.h"

#include <QSysInfo>

#include <array>
#include <cerrno>
#include <iconv.h>
#include <string_view>

namespace {

constexpr std::string_view kPassThrough =
    "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ!.#$%()*+-,/[\\|^~`@{}_";
static_assert(kPassThrough.size() == 84);

struct CodeRange
{
    char letter;
    unsigned from; // inclusive
    unsigned to;   // inclusive
};

// GB2312 first-level characters are ordered by reading, so each initial owns one
// contiguous block of codes. The blocks touch; i, u and v have none.
constexpr std::array<CodeRange, 23> kRanges = {{
    {'a', 0xB0A1, 0xB0C4}, {'b', 0xB0C5, 0xB2C0}, {'c', 0xB2C1, 0xB4ED}, {'d', 0xB4EE, 0xB6E9}, {'e', 0xB6EA, 0xB7A1},
    {'f', 0xB7A2, 0xB8C0}, {'g', 0xB8C1, 0xB9FD}, {'h', 0xB9FE, 0xBBF6}, {'j', 0xBBF7, 0xBFA5}, {'k', 0xBFA6, 0xC0AB},
    {'l', 0xC0AC, 0xC2E7}, {'m', 0xC2E8, 0xC4C2}, {'n', 0xC4C3, 0xC5B5}, {'o', 0xC5B6, 0xC5BD}, {'p', 0xC5BE, 0xC6D9},
    {'q', 0xC6DA, 0xC8BA}, {'r', 0xC8BB, 0xC8F5}, {'s', 0xC8F6, 0xCBF9}, {'t', 0xCBFA, 0xCDD9}, {'w', 0xCDDA, 0xCEF3},
    {'x', 0xCEF4, 0xD1B8}, {'y', 0xD1B9, 0xD4D0}, {'z', 0xD4D1, 0xD7F9},
}};

// GBK "？": stands in for a character GBK lacks. It is a complete two-byte unit
// (so the following characters stay aligned) that no range and no list holds.
constexpr char kUnknownUnit[] = "\xA3\xBF";

bool isPassThrough(char byte)
{
    return kPassThrough.find(byte) != std::string_view::npos;
}

char letterOfUnit(char first, char second)
{
    if (const auto letter = InitialOfCode(static_cast<unsigned char>(first), static_cast<unsigned char>(second)))
        return *letter;
    // The two bytes are searched anywhere in the list text, not entry by entry:
    // a unit made of a blank and a lead byte, or of a trail byte and a blank,
    // can match across two entries. Kept so that initials match those already stored.
    const char unit[2] = {first, second};
    for (const PinyinLetterList& list : PinyinLetterLists()) {
        if (list.text.find(std::string_view(unit, 2)) != std::string_view::npos)
            return list.letter;
    }
    return '!';
}

// Unicode to GBK through glibc's iconv, with kUnknownUnit for each character
// that has no GBK code. Converts from UTF-16 directly: QString::toUtf8() would
// turn a lone surrogate into a one-byte "?", which starts a unit with the next
// byte and shifts every character after it.
QByteArray toGbk(const QString& text)
{
    QByteArray gbk;
    if (text.isEmpty())
        return gbk;
    const char* fromCode = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "UTF-16LE" : "UTF-16BE";
    const iconv_t cd = iconv_open("GBK", fromCode);
    if (cd == reinterpret_cast<iconv_t>(-1))
        qFatal("iconv cannot convert UTF-16 to GBK");
    // A UTF-16 code unit gives at most two GBK bytes, the stand-in included.
    gbk.resize(text.size() * 2);
    const auto* units = reinterpret_cast<const char16_t*>(text.constData());
    size_t unitsLeft = static_cast<size_t>(text.size());
    char* out = gbk.data();
    size_t outLeft = static_cast<size_t>(gbk.size());
    while (unitsLeft > 0) {
        char* in = reinterpret_cast<char*>(const_cast<char16_t*>(units));
        size_t inLeft = unitsLeft * 2;
        const size_t rc = iconv(cd, &in, &inLeft, &out, &outLeft);
        units = reinterpret_cast<const char16_t*>(in);
        unitsLeft = inLeft / 2;
        if (rc != static_cast<size_t>(-1) || (errno != EILSEQ && errno != EINVAL))
            break; // done; E2BIG cannot happen, the buffer is large enough
        // Skip the character GBK lacks: a surrogate pair, or one code unit
        // (a lone surrogate included).
        const size_t length =
            QChar::isHighSurrogate(units[0]) && unitsLeft > 1 && QChar::isLowSurrogate(units[1]) ? 2 : 1;
        units += length;
        unitsLeft -= length;
        *out++ = kUnknownUnit[0];
        *out++ = kUnknownUnit[1];
        outLeft -= 2;
    }
    iconv_close(cd);
    gbk.truncate(gbk.size() - static_cast<qsizetype>(outLeft));
    return gbk;
}

} // namespace

std::optional<char> InitialOfCode(unsigned char first, unsigned char second)
{
    const unsigned code = first * 256u + second;
    for (const CodeRange& range : kRanges) {
        if (code >= range.from && code <= range.to)
            return range.letter;
    }
    return std::nullopt;
}

QByteArray PinyinInitials(const QByteArray& gbk)
{
    QByteArray result;
    qsizetype pos = 0;
    while (pos < gbk.size()) {
        const char byte = gbk.at(pos);
        if (isPassThrough(byte)) {
            result.append(byte);
            ++pos;
            continue;
        }
        const char second = pos + 1 < gbk.size() ? gbk.at(pos + 1) : '\0';
        result.append(letterOfUnit(byte, second));
        pos += 2;
    }
    return result;
}

QString PinyinInitials(const QString& text)
{
    return QString::fromLatin1(PinyinInitials(toGbk(text)));
}
