#include "core/numbers.h"

#include "core/clock.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace num {

namespace {

constexpr int kGeneralDigits = 15;
// An x87 runtime writes 18 significant digits first (the width of its BCD
// store) and rounds those to the requested precision.
constexpr int kRawDigits = 18;

// A finite value as decimal digits: value = (negative ? -1 : 1) * 0.<digits> * 10^point.
// digits has no trailing zeros and is empty for zero.
struct Digits
{
    bool negative = false;
    std::string digits;
    int point = 0;
};

Digits generalDigits(long double v)
{
    Digits d;
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, kRawDigits - 1);
    const std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));

    std::size_t i = 0;
    if (text[i] == '-') {
        d.negative = true;
        ++i;
    }
    std::string raw;
    for (; i < text.size() && text[i] != 'e'; ++i) {
        if (text[i] != '.')
            raw.push_back(text[i]);
    }
    int exponent = 0;
    std::from_chars(text.data() + i + 1 + (text[i + 1] == '+' ? 1 : 0), text.data() + text.size(), exponent);

    // Round the 18 digits half away from zero to 15.
    std::string kept = raw.substr(0, kGeneralDigits);
    if (raw.size() > std::size_t(kGeneralDigits) && raw[kGeneralDigits] >= '5') {
        int j = kGeneralDigits - 1;
        while (j >= 0 && kept[std::size_t(j)] == '9') {
            kept[std::size_t(j)] = '0';
            --j;
        }
        if (j >= 0) {
            ++kept[std::size_t(j)];
        } else {
            kept.insert(kept.begin(), '1');
            kept.pop_back();
            ++exponent;
        }
    }
    while (!kept.empty() && kept.back() == '0')
        kept.pop_back();
    if (kept.empty()) {
        d.negative = false; // never "-0"
        return d;
    }
    d.digits = kept;
    d.point = exponent + 1;
    return d;
}

QString nonFiniteText(long double v)
{
    if (std::isnan(v))
        return QStringLiteral("NAN");
    return v < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
}

struct Pattern
{
    QString prefix;
    QString suffix;
    int minIntegerDigits = 1;
    int minDecimals = 0;
    int maxDecimals = 0;
    bool grouping = false;
};

// Writes the general digits rounded half away from zero to maxDecimals, with
// trailing zeros dropped down to minDecimals.
QString fixedText(long double v, const Pattern& p)
{
    if (!std::isfinite(v))
        return nonFiniteText(v);
    const Digits d = generalDigits(v);

    // n = |v| * 10^maxDecimals rounded, as a digit string.
    std::string n;
    const int keep = d.point + p.maxDecimals;
    if (keep > 0) {
        if (std::size_t(keep) >= d.digits.size()) {
            n = d.digits + std::string(std::size_t(keep) - d.digits.size(), '0');
        } else {
            n = d.digits.substr(0, std::size_t(keep));
            if (d.digits[std::size_t(keep)] >= '5') {
                int j = keep - 1;
                while (j >= 0 && n[std::size_t(j)] == '9') {
                    n[std::size_t(j)] = '0';
                    --j;
                }
                if (j >= 0)
                    ++n[std::size_t(j)];
                else
                    n.insert(n.begin(), '1');
            }
        }
    } else if (keep == 0 && !d.digits.empty() && d.digits[0] >= '5') {
        n = "1";
    }
    const bool zero = n.find_first_not_of('0') == std::string::npos;

    if (n.size() < std::size_t(p.maxDecimals))
        n.insert(0, std::size_t(p.maxDecimals) - n.size(), '0');
    std::string integer = n.substr(0, n.size() - std::size_t(p.maxDecimals));
    std::string fraction = n.substr(n.size() - std::size_t(p.maxDecimals));

    const std::size_t firstDigit = integer.find_first_not_of('0');
    integer = firstDigit == std::string::npos ? std::string() : integer.substr(firstDigit);
    if (integer.size() < std::size_t(p.minIntegerDigits))
        integer.insert(0, std::size_t(p.minIntegerDigits) - integer.size(), '0');
    if (p.grouping) {
        for (int pos = int(integer.size()) - 3; pos > 0; pos -= 3)
            integer.insert(std::size_t(pos), 1, ',');
    }
    while (fraction.size() > std::size_t(p.minDecimals) && fraction.back() == '0')
        fraction.pop_back();

    QString out;
    if (d.negative && !zero)
        out += QLatin1Char('-');
    out += p.prefix;
    out += QLatin1String(integer.data(), qsizetype(integer.size()));
    if (!fraction.empty()) {
        out += QLatin1Char('.');
        out += QLatin1String(fraction.data(), qsizetype(fraction.size()));
    }
    out += p.suffix;
    return out;
}

Pattern parsePattern(QStringView pattern)
{
    auto isPlaceholder = [](QChar c) { return c == u'#' || c == u'0' || c == u',' || c == u'.'; };
    Pattern p;
    p.minIntegerDigits = 0;
    qsizetype first = 0;
    while (first < pattern.size() && !isPlaceholder(pattern[first]))
        ++first;
    qsizetype last = first;
    while (last < pattern.size() && isPlaceholder(pattern[last]))
        ++last;
    p.prefix = pattern.first(first).toString();
    p.suffix = pattern.sliced(last).toString();

    bool inFraction = false;
    for (QChar c : pattern.sliced(first, last - first)) {
        if (c == u'.') {
            inFraction = true;
        } else if (!inFraction) {
            if (c == u'0')
                ++p.minIntegerDigits;
            else if (c == u',')
                p.grouping = true;
        } else if (c == u'0' || c == u'#') {
            ++p.maxDecimals;
            if (c == u'0')
                p.minDecimals = p.maxDecimals;
        }
    }
    return p;
}

enum class NumberKind { Null, Integer, Floating, Text, Other };

NumberKind kindOf(const QVariant& value)
{
    if (value.isNull())
        return NumberKind::Null;
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return NumberKind::Integer;
    case QMetaType::Double:
    case QMetaType::Float:
        return NumberKind::Floating;
    case QMetaType::QString:
    case QMetaType::QByteArray:
        return NumberKind::Text;
    default:
        return NumberKind::Other;
    }
}

// A stored value as a number for display: nothing for NULL or an empty text,
// and for a text that is not a number.
std::optional<long double> storedNumber(const QVariant& value)
{
    switch (kindOf(value)) {
    case NumberKind::Null:
        return std::nullopt;
    case NumberKind::Integer:
        return static_cast<long double>(value.toLongLong());
    case NumberKind::Floating:
        return static_cast<long double>(value.toDouble());
    case NumberKind::Text:
    case NumberKind::Other:
        break;
    }
    const QString text = value.toString();
    if (text.trimmed().isEmpty())
        return std::nullopt;
    return toDecimal(text);
}

QString storedText(const QVariant& value, QString (*form)(long double))
{
    if (const auto n = storedNumber(value))
        return form(*n);
    return kindOf(value) == NumberKind::Null      ? QString()
           : value.toString().trimmed().isEmpty() ? QString()
                                                  : value.toString();
}

// Half-to-even rounding to a whole number; nothing when out of qint64's range.
std::optional<qint64> roundEven(long double v)
{
    if (std::isnan(v))
        return std::nullopt;
    const long double lower = std::floor(v);
    const long double diff = v - lower;
    long double r = lower;
    if (diff > 0.5L || (diff == 0.5L && std::fmod(lower, 2.0L) != 0))
        r = lower + 1;
    // Both bounds are exactly representable in the 64-bit mantissa.
    if (r > 9223372036854775807.0L || r < -9223372036854775808.0L)
        return std::nullopt;
    return static_cast<qint64>(r);
}

// Only the plain space U+0020 is trimmed around a number, unlike
// trimControlsAndSpaces (core/blanks.h), which also trims control characters.
QStringView trimSpaces(QStringView s)
{
    while (!s.isEmpty() && s.front() == u' ')
        s = s.sliced(1);
    while (!s.isEmpty() && s.back() == u' ')
        s.chop(1);
    return s;
}

} // namespace

QString invalidDecimalText(const QString& text)
{
    return QStringLiteral("'%1' is not a valid floating point value").arg(text);
}

QString invalidDateText(const QString& text)
{
    return QStringLiteral("'%1' is not a valid date").arg(text);
}

QString outOfRangeText(const QString& field, const QString& text)
{
    return QStringLiteral("%1的数值“%2”超出允许范围：应为 0 至 999999999999999 之间、最多15位有效数字的数。")
        .arg(field, text);
}

QString resultOutOfRangeText(const QString& field, const QString& text)
{
    return QStringLiteral("%1的计算结果“%2”超出允许范围：不能达到 1000000000000000。").arg(field, text);
}

bool isStorableResult(long double v)
{
    return std::isfinite(v) && std::fabs(v) < kStorableLimit;
}

std::optional<long double> toStorable(const QString& text, const QString& field, QString* error)
{
    const std::optional<long double> v = toDecimal(text, error);
    if (!v)
        return std::nullopt;
    // A value the general form would write differently has more than 15 significant digits.
    if (!isStorableResult(*v) || *v < 0 || toDecimal(general(*v)) != *v) {
        if (error)
            *error = outOfRangeText(field, text);
        return std::nullopt;
    }
    return v;
}

QString invalidIntegerText(const QString& text)
{
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

std::optional<long double> toDecimal(const QString& text, QString* error)
{
    auto fail = [&]() -> std::optional<long double> {
        if (error)
            *error = invalidDecimalText(text);
        return std::nullopt;
    };

    const QStringView s = trimSpaces(text);
    std::string ascii;
    ascii.reserve(std::size_t(s.size()));
    qsizetype i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
        negative = s[i] == u'-';
        ++i;
    }
    int mantissaDigits = 0;
    bool point = false;
    for (; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c >= u'0' && c <= u'9') {
            ++mantissaDigits;
        } else if (c == u'.' && !point) {
            point = true;
        } else {
            break;
        }
        ascii.push_back(char(c.unicode()));
    }
    if (mantissaDigits == 0)
        return fail();
    if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
        ascii.push_back('e');
        ++i;
        if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
            ascii.push_back(char(s[i].unicode()));
            ++i;
        }
        int exponentDigits = 0;
        for (; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i) {
            ascii.push_back(char(s[i].unicode()));
            ++exponentDigits;
        }
        if (exponentDigits == 0)
            return fail();
    }
    if (i != s.size())
        return fail();

    long double value = 0;
    const auto res = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value, std::chars_format::general);
    if (res.ec != std::errc() || res.ptr != ascii.data() + ascii.size() || !std::isfinite(value))
        return fail();
    return negative ? -value : value;
}

std::optional<qint64> toInteger(const QString& text, QString* error)
{
    auto fail = [&]() -> std::optional<qint64> {
        if (error)
            *error = invalidIntegerText(text);
        return std::nullopt;
    };

    const QStringView s = trimSpaces(text);
    qsizetype i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
        negative = s[i] == u'-';
        ++i;
    }
    if (i == s.size())
        return fail();
    // Accumulate the magnitude unsigned so that the most negative value fits.
    quint64 magnitude = 0;
    const quint64 limit =
        negative ? quint64(std::numeric_limits<qint64>::max()) + 1 : quint64(std::numeric_limits<qint64>::max());
    for (; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c < u'0' || c > u'9')
            return fail();
        const quint64 digit = c.unicode() - u'0';
        if (magnitude > (limit - digit) / 10)
            return fail();
        magnitude = magnitude * 10 + digit;
    }
    if (negative)
        return magnitude == limit ? std::numeric_limits<qint64>::min() : -qint64(magnitude);
    return qint64(magnitude);
}

QString general(long double v)
{
    if (!std::isfinite(v))
        return nonFiniteText(v);
    const Digits d = generalDigits(v);
    if (d.digits.empty())
        return QStringLiteral("0");

    const QString digits = QLatin1String(d.digits.data(), qsizetype(d.digits.size()));
    QString out;
    if (d.negative)
        out += QLatin1Char('-');
    const int exponent = d.point - 1;
    if (exponent >= kGeneralDigits || exponent < -4) {
        out += digits.front();
        if (digits.size() > 1) {
            out += QLatin1Char('.');
            out += QStringView(digits).sliced(1);
        }
        out += QLatin1Char('E');
        out += QString::number(exponent);
    } else if (d.point <= 0) {
        out += QLatin1String("0.");
        out += QString(-d.point, u'0');
        out += digits;
    } else if (d.point >= digits.size()) {
        out += digits;
        out += QString(d.point - digits.size(), u'0');
    } else {
        out += QStringView(digits).first(d.point);
        out += QLatin1Char('.');
        out += QStringView(digits).sliced(d.point);
    }
    return out;
}

QString general(const QVariant& value)
{
    if (kindOf(value) == NumberKind::Integer)
        return QString::number(value.toLongLong());
    return storedText(value, &general);
}

QString fixed2(long double v)
{
    Pattern p;
    p.minDecimals = p.maxDecimals = 2;
    return fixedText(v, p);
}

long double round2(long double v)
{
    if (!std::isfinite(v))
        return v;
    return toDecimal(fixed2(v)).value_or(0);
}

QString quantityText(long double v)
{
    Pattern p;
    p.maxDecimals = 3;
    return fixedText(v, p);
}

QString amountText(long double v)
{
    Pattern p;
    p.maxDecimals = 2;
    return fixedText(v, p);
}

QString quantityText(const QVariant& value)
{
    return storedText(value, static_cast<QString (*)(long double)>(&quantityText));
}

QString amountText(const QVariant& value)
{
    return storedText(value, static_cast<QString (*)(long double)>(&amountText));
}

QString format(long double v, QStringView pattern)
{
    return fixedText(v, parsePattern(pattern));
}

QString chartValueText(long double v)
{
    if (!std::isfinite(v))
        return general(v);
    if (std::fabs(round2(v)) < 10000)
        return amountText(v);
    const QString tenThousands = format(v / 10000, u"#0.#");
    if (std::fabs(toDecimal(tenThousands).value_or(0)) < 10000)
        return tenThousands + u'万';
    return format(v / 100000000, u"#0.##") + u'亿';
}

qint64 roundHalfEven(long double v)
{
    if (std::isnan(v))
        return 0;
    if (const auto r = roundEven(v))
        return *r;
    return v > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
}

qint64 roundHalfEven(const QVariant& value)
{
    return roundHalfEven(storedNumber(value).value_or(0));
}

// ---- Money --------------------------------------------------------------------

std::optional<Money> Money::fromDecimal(long double v)
{
    if (!std::isfinite(v))
        return std::nullopt;
    if (const auto units = roundEven(v * 10000.0L))
        return Money(*units);
    return std::nullopt;
}

std::optional<Money> Money::fromVariant(const QVariant& value)
{
    switch (kindOf(value)) {
    case NumberKind::Null:
        return Money();
    case NumberKind::Integer: {
        qint64 units = 0;
        if (qMulOverflow(value.toLongLong(), qint64(10000), &units))
            return std::nullopt;
        return Money(units);
    }
    case NumberKind::Floating:
        return fromDecimal(static_cast<long double>(value.toDouble()));
    case NumberKind::Text:
    case NumberKind::Other:
        break;
    }
    const QString text = value.toString();
    if (text.trimmed().isEmpty())
        return Money();
    if (const auto v = num::toDecimal(text))
        return fromDecimal(*v);
    return std::nullopt;
}

bool Money::add(Money other)
{
    qint64 sum = 0;
    if (qAddOverflow(m_units, other.m_units, &sum))
        return false;
    m_units = sum;
    return true;
}

long double Money::toDecimal() const
{
    return static_cast<long double>(m_units) / 10000.0L;
}

QString Money::toText() const
{
    // Unsigned magnitude so that the most negative value has one too.
    const quint64 magnitude = m_units < 0 ? quint64(0) - quint64(m_units) : quint64(m_units);
    QString out;
    if (m_units < 0)
        out += QLatin1Char('-');
    out += QString::number(magnitude / 10000);
    QString fraction = QStringLiteral("%1").arg(magnitude % 10000, 4, 10, QLatin1Char('0'));
    while (fraction.endsWith(u'0'))
        fraction.chop(1);
    if (!fraction.isEmpty()) {
        out += QLatin1Char('.');
        out += fraction;
    }
    return out;
}

// ---- Dates --------------------------------------------------------------------

QString dateText(const QDate& date)
{
    return date.isValid() ? date.toString(u"yyyy-MM-dd") : QString();
}

QString dateTimeText(const QDateTime& dateTime)
{
    return dateTime.isValid() ? dateTime.toString(u"yyyy-MM-dd hh:mm:ss") : QString();
}

std::optional<QDate> parseDate(const QString& text)
{
    if (text.size() != 10 || text[4] != u'-' || text[7] != u'-')
        return std::nullopt;
    auto number = [&](qsizetype from, qsizetype count) {
        int n = 0;
        for (qsizetype i = from; i < from + count; ++i) {
            const QChar c = text[i];
            if (c < u'0' || c > u'9')
                return -1;
            n = n * 10 + (c.unicode() - u'0');
        }
        return n;
    };
    const int year = number(0, 4);
    const int month = number(5, 2);
    const int day = number(8, 2);
    if (year < 0 || month < 0 || day < 0)
        return std::nullopt;
    const QDate date(year, month, day);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

QString today()
{
    return dateText(wallclock::today());
}

QString now()
{
    return dateTimeText(wallclock::now());
}

} // namespace num
