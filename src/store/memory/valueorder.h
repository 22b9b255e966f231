#pragma once

#include <QtGlobal>

#include <string_view>

// How the database engine orders and equates the values of one column, for
// every piece of the in-memory tables that sorts, groups or compares: the
// storage classes, their order, and the BINARY and NOCASE collations. LIKE is
// LikePattern's; the Chinese order of texts is chinese::compare's.

// The storage class the engine gave a value.
enum class ValueKind : quint8 { Null, Integer, Real, Text, Blob };

// The engine's order of the storage classes: NULL, numbers (integers and
// reals compare by value with each other), texts, blobs. Values of a lower
// rank sort before every value of a higher one.
constexpr int storageClassRank(ValueKind k)
{
    switch (k) {
    case ValueKind::Null:
        return 0;
    case ValueKind::Integer:
    case ValueKind::Real:
        return 1;
    case ValueKind::Text:
        return 2;
    case ValueKind::Blob:
        return 3;
    }
    return 0;
}

namespace valueorder {

// The rank numbers storageClassRank() gives.
constexpr int kNullRank = 0, kNumberRank = 1, kTextRank = 2, kBlobRank = 3;

// The engine's BINARY (nocase false) and NOCASE orders of two UTF-8 texts:
// <0, 0, >0. Blobs compare as BINARY.
int collateTexts(std::string_view a, std::string_view b, bool nocase);

// NOCASE's folding: ASCII capitals to small letters, every other byte as it is.
constexpr unsigned char foldAscii(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

} // namespace valueorder
