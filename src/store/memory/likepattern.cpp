#include "store/memory/likepattern.h"

#include <cstdint>
#include <cstring>

namespace {

// Byte length of the UTF-8 character that starts with `lead` in a regular text.
inline size_t charLength(unsigned char lead)
{
    return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

// The engine's character reader: the value bits of a lead byte, then every
// following continuation byte, whatever the lead promised.
const unsigned char kTrans1[] = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f,
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x1b, 0x1c, 0x1d, 0x1e, 0x1f,
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f,
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x00, 0x01, 0x02, 0x03, 0x00, 0x01, 0x00, 0x00,
};

struct Reader
{
    const unsigned char* p;
    const unsigned char* end;

    bool atEnd() const { return p >= end || *p == 0; }
    // Next character, 0 at the end (end of the span or a NUL byte).
    uint32_t read()
    {
        if (atEnd())
            return 0;
        uint32_t c = *p++;
        if (c >= 0xc0) {
            c = kTrans1[c - 0xc0];
            while (p < end && (*p & 0xc0) == 0x80)
                c = (c << 6) + (0x3f & *p++);
            if (c < 0x80 || (c & 0xFFFFF800) == 0xD800 || (c & 0xFFFFFFFE) == 0xFFFE)
                c = 0xFFFD;
        }
        return c;
    }
    // Next byte, 0 at the end.
    uint32_t readByte() { return atEnd() ? 0 : *p++; }
};

inline uint32_t lowerAscii(uint32_t c)
{
    return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}
inline uint32_t upperAscii(uint32_t c)
{
    return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c;
}

// A port of the engine's LIKE matcher (case-insensitive for ASCII, no escape).
bool patternCompare(Reader pat, Reader str)
{
    uint32_t c;
    while ((c = pat.read()) != 0) {
        if (c == '%') {
            while ((c = pat.read()) == '%' || c == '_') {
                if (c == '_' && str.read() == 0)
                    return false;
            }
            if (c == 0)
                return true;
            if (c <= 0x80) {
                // The engine compares single bytes here, also for U+0080.
                const uint32_t cx = upperAscii(c);
                c = lowerAscii(c);
                uint32_t c2;
                while ((c2 = str.readByte()) != 0) {
                    if (c2 != c && c2 != cx)
                        continue;
                    if (patternCompare(pat, str))
                        return true;
                }
            } else {
                uint32_t c2;
                while ((c2 = str.read()) != 0) {
                    if (c2 != c)
                        continue;
                    if (patternCompare(pat, str))
                        return true;
                }
            }
            return false;
        }
        const uint32_t c2 = str.read();
        if (c == c2)
            continue;
        if (c < 0x80 && c2 < 0x80 && lowerAscii(c) == lowerAscii(c2))
            continue;
        if (c == '_' && c2 != 0)
            continue;
        return false;
    }
    return str.atEnd();
}

} // namespace

bool isRegularUtf8(std::string_view s)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
        const unsigned char b = *p;
        if (b == 0)
            return false;
        if (b < 0x80) {
            ++p;
            continue;
        }
        size_t n;
        uint32_t c;
        if (b >= 0xC2 && b <= 0xDF) {
            n = 2;
            c = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            n = 3;
            c = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            n = 4;
            c = b & 0x07;
        } else {
            return false;
        }
        if (size_t(end - p) < n)
            return false;
        for (size_t i = 1; i < n; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (p[i] & 0x3F);
        }
        const uint32_t minimum = n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000;
        if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF)
            return false;
        p += n;
    }
    return true;
}

LikePattern::LikePattern(const QString& pattern)
{
    const QByteArray utf8 = pattern.toUtf8();
    compile(std::string_view(utf8.constData(), size_t(utf8.size())));
}

LikePattern::LikePattern(std::string_view utf8)
{
    compile(utf8);
}

void LikePattern::compile(std::string_view utf8)
{
    // The engine counts every byte for its length limit but reads the pattern
    // as a C string.
    m_bytes = qsizetype(utf8.size());
    const size_t nul = utf8.find('\0');
    m_raw.assign(utf8.substr(0, nul));
    // U+0080 after a "%" is compared byte-wise by the engine, which no byte
    // search reproduces; such patterns take the slow path.
    m_regular = isRegularUtf8(m_raw) && m_raw.find("\xC2\x80") == std::string::npos;
    m_hasAll = m_raw.find('%') != std::string::npos;
    m_everything = !m_raw.empty() && m_raw.find_first_not_of('%') == std::string::npos;
    m_anchorStart = m_raw.empty() || m_raw.front() != '%';
    m_anchorEnd = m_raw.empty() || m_raw.back() != '%';
    if (!m_regular)
        return;
    Segment seg;
    auto flush = [&] {
        if (!seg.bytes.empty())
            m_segments.push_back(std::move(seg));
        seg = Segment{};
    };
    for (size_t i = 0; i < m_raw.size();) {
        const char ch = m_raw[i];
        if (ch == '%') {
            flush();
            ++i;
            continue;
        }
        if (ch == '_') {
            seg.hasOne = true;
            seg.bytes += '_';
            ++seg.chars;
            ++i;
            continue;
        }
        const size_t n = charLength(static_cast<unsigned char>(ch));
        for (size_t k = 0; k < n; ++k)
            seg.bytes += asciiLower(m_raw[i + k]);
        ++seg.chars;
        i += n;
    }
    flush();
}

bool LikePattern::matchAt(const Segment& seg, std::string_view s, size_t p, size_t* end)
{
    if (!seg.hasOne) {
        if (s.size() - p < seg.bytes.size() || std::memcmp(s.data() + p, seg.bytes.data(), seg.bytes.size()) != 0)
            return false;
        *end = p + seg.bytes.size();
        return true;
    }
    for (const char b : seg.bytes) {
        if (p >= s.size())
            return false;
        if (b == '_')
            p += charLength(static_cast<unsigned char>(s[p]));
        else if (s[p] == b)
            ++p;
        else
            return false;
    }
    if (p > s.size())
        return false;
    *end = p;
    return true;
}

bool LikePattern::find(const Segment& seg, std::string_view s, size_t from, size_t* end)
{
    if (from > s.size())
        return false;
    if (!seg.hasOne) {
        const void* hit;
        if (seg.bytes.size() == 1)
            hit = std::memchr(s.data() + from, seg.bytes.front(), s.size() - from);
        else
            hit = memmem(s.data() + from, s.size() - from, seg.bytes.data(), seg.bytes.size());
        if (!hit)
            return false;
        *end = size_t(static_cast<const char*>(hit) - s.data()) + seg.bytes.size();
        return true;
    }
    // A regular text: every candidate start is the lead byte of a character.
    for (size_t p = from; p < s.size(); p += charLength(static_cast<unsigned char>(s[p]))) {
        if (matchAt(seg, s, p, end))
            return true;
    }
    return false;
}

bool LikePattern::isContains(std::string_view* literal) const
{
    if (!m_regular || m_anchorStart || m_anchorEnd || m_segments.size() != 1 || m_segments.front().hasOne)
        return false;
    *literal = m_segments.front().bytes;
    return true;
}

bool LikePattern::matchesLower(std::string_view s) const
{
    if (m_everything)
        return true;
    const size_t n = m_segments.size();
    if (!m_hasAll) {
        // No "%": the whole text, character for character.
        if (n == 0)
            return s.empty();
        size_t end = 0;
        return matchAt(m_segments.front(), s, 0, &end) && end == s.size();
    }
    size_t pos = 0;
    size_t first = 0;
    size_t last = n;
    if (m_anchorStart) {
        if (!matchAt(m_segments.front(), s, 0, &pos))
            return false;
        first = 1;
    }
    if (m_anchorEnd)
        last = n - 1;
    for (size_t i = first; i < last; ++i) {
        size_t end = 0;
        if (!find(m_segments[i], s, pos, &end))
            return false;
        pos = end;
    }
    if (!m_anchorEnd)
        return true;
    // The last segment ends the text: it starts `chars` characters from the end.
    const Segment& tail = m_segments.back();
    size_t start = s.size();
    for (int k = 0; k < tail.chars; ++k) {
        if (start == 0)
            return false;
        --start;
        while (start > 0 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80)
            --start;
    }
    if (start < pos)
        return false;
    size_t end = 0;
    return matchAt(tail, s, start, &end) && end == s.size();
}

bool LikePattern::matchesRaw(std::string_view text) const
{
    const auto* pp = reinterpret_cast<const unsigned char*>(m_raw.data());
    const auto* sp = reinterpret_cast<const unsigned char*>(text.data());
    return patternCompare(Reader{pp, pp + m_raw.size()}, Reader{sp, sp + text.size()});
}
