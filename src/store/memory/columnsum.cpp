#include "store/memory/columnsum.h"

#include <charconv>

ColumnSum::Part ColumnSum::partOf(const QVariant& v)
{
    if (v.isNull() || !v.isValid())
        return {};
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        // Integers as the in-memory table reads them for a sum: as a double.
        return partOf(v.toDouble());
    default: {
        const QByteArray text = v.toString().toUtf8();
        return partOf(leadingNumber(std::string_view(text.constData(), size_t(text.size()))));
    }
    }
}

double ColumnSum::leadingNumber(std::string_view text)
{
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    const size_t start = i;
    size_t digits = 0;
    while (i < n && isDigit(text[i]))
        ++i, ++digits;
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && isDigit(text[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return 0;
    size_t end = i;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < n && (text[j] == '-' || text[j] == '+'))
            ++j;
        if (j < n && isDigit(text[j])) {
            while (j < n && isDigit(text[j]))
                ++j;
            end = j;
        }
    }
    double v = 0;
    std::from_chars(text.data() + start, text.data() + end, v);
    return negative ? -v : v;
}
