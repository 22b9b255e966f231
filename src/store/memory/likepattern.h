#pragma once

#include <QString>

#include <string>
#include <string_view>
#include <vector>

// The database engine's built-in LIKE without ESCAPE, compiled once per pattern:
// "%" matches any run of characters, "_" exactly one character (a UTF-8
// character, not a byte), ASCII letters match either case, every other
// character only itself.
//
// Two ways to match. matchesLower() takes a regular text (isRegularUtf8) in its
// ASCII-lower-cased form and works on bytes: memmem/memchr for the literal
// pieces. matchesRaw() is a character-by-character port of the engine's own
// matcher and accepts any bytes, including malformed UTF-8, which the engine
// reads in its own way (an overlong form or a lone continuation byte is a
// character of its own, U+FFFE and U+FFFF read as U+FFFD, a NUL ends the text).
// Use matchesLower() only when isRegular() says the pattern allows it.
class LikePattern final
{
public:
    // The pattern exactly as it is bound to a statement (UTF-8 of the text).
    explicit LikePattern(const QString& pattern);
    explicit LikePattern(std::string_view utf8);

    // Longer patterns are refused by the engine with this error text.
    static constexpr int kMaxBytes = 50000;
    static QString tooComplexText() { return QStringLiteral("LIKE or GLOB pattern too complex"); }
    bool tooComplex() const { return m_bytes > kMaxBytes; }

    // True when byte matching on lower-cased regular texts gives the engine's answer.
    bool isRegular() const { return m_regular; }
    // True for a pattern of nothing but "%": every non-NULL value matches.
    bool matchesEverything() const { return m_everything; }

    // For a pattern "%text%" whose text holds no wildcard: the lower-cased text.
    bool isContains(std::string_view* literal) const;

    bool matchesLower(std::string_view lowerText) const;
    bool matchesRaw(std::string_view text) const;

private:
    void compile(std::string_view utf8);

    struct Segment
    {
        std::string bytes; // lower-cased; '_' stands for one character
        int chars = 0;     // characters the segment spans
        bool hasOne = false;
    };
    // Matches seg at byte p of s; on success *end is the byte after it.
    static bool matchAt(const Segment& seg, std::string_view s, size_t p, size_t* end);
    // Leftmost match of seg at or after byte `from`; returns false when none.
    static bool find(const Segment& seg, std::string_view s, size_t from, size_t* end);

    std::string m_raw; // pattern bytes up to the first NUL, as the engine reads them
    qsizetype m_bytes = 0;
    bool m_regular = true;
    bool m_everything = false;
    bool m_hasAll = false;
    bool m_anchorStart = true;
    bool m_anchorEnd = true;
    std::vector<Segment> m_segments;
};

// Well-formed shortest-form UTF-8 up to U+10FFFF without NUL, surrogates,
// U+FFFE and U+FFFF: a text on which byte and character matching agree.
bool isRegularUtf8(std::string_view s);

// ASCII A-Z to a-z, every other byte unchanged (the engine's case folding).
inline char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c;
}
