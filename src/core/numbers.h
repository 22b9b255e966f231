#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringView>
#include <QVariant>

#include <optional>

// Every conversion between numbers and their texts, and every display form of
// numbers and dates, lives here. Windows never format numbers themselves.
//
// Amounts and quantities are held as the texts of their fields. They are read
// into 80-bit long double straight from the typed decimal text, computed in that
// precision, and written back in the general form (15 significant digits), so
// that 100 - 99.8 gives "0.2" and 0.1 * 3 gives "0.3".
//
// Nothing here depends on the process locale: the decimal point is always ".".
namespace num {

// ---- Conversions of user text -------------------------------------------------

// Strict decimal conversion: optional blanks around, an optional sign, digits
// with at most one "." (".5" and "5." are fine, a lone "." is not), an optional
// exponent ("1e5", "2.5E-3"). Anything else, and numbers beyond the range of
// long double, fail with "'<text>' is not a valid floating point value".
std::optional<long double> toDecimal(const QString& text, QString* error = nullptr);

// Strict whole-number conversion: optional blanks around, an optional sign and
// decimal digits only (no ".", no exponent). Failure text:
// "'<text>' is not a valid integer value". Values outside qint64 fail too.
std::optional<qint64> toInteger(const QString& text, QString* error = nullptr);

// The two failure texts, for callers that detect the failure themselves.
QString invalidDecimalText(const QString& text);
QString invalidIntegerText(const QString& text);
// "'<text>' is not a valid date".
QString invalidDateText(const QString& text);

// ---- Amounts that may be stored -------------------------------------------------

// The largest magnitude an amount may have: the general form shows every value
// below it in plain digits, with its 15 significant digits.
inline constexpr long double kStorableLimit = 1e15L;

// A number typed into an amount field, checked before it is stored: toDecimal,
// then the value must be finite, not negative, below kStorableLimit, and have
// no more than 15 significant digits (the general form keeps it unchanged).
// A value that fails the range gives outOfRangeText(field, text) in *error.
std::optional<long double> toStorable(const QString& text, const QString& field, QString* error = nullptr);
// A computed amount (a product or a difference) may be stored when it is finite
// and below kStorableLimit in magnitude; digits beyond 15 are rounded by the
// general form as usual.
bool isStorableResult(long double v);
// The refusal texts naming the field: of a typed value, and of a computed one.
QString outOfRangeText(const QString& field, const QString& text);
QString resultOutOfRangeText(const QString& field, const QString& text);

// ---- Display forms ------------------------------------------------------------

// The general form: the value rounded to 15 significant digits, trailing zeros
// dropped, "." as decimal point, never "-0". Plain digits while the decimal
// exponent e (value = d.ddd x 10^e) satisfies -5 < e < 15, i.e. from 0.0001 up
// to 999999999999999; otherwise the exponent form "1.5E-7", "1E15" (an "E",
// a "-" only for negative exponents, no leading zeros). Infinity and NaN give
// "INF", "-INF" and "NAN".
//
// The 15 digits are obtained the way an x87 runtime does it: the value is first
// written exactly rounded to 18 significant digits, and those digits are rounded
// half away from zero to 15.
QString general(long double v);

// The general form of a stored column value: NULL or an empty text gives "",
// numbers the general form, a text that converts with toDecimal its general
// form, any other text itself unchanged.
QString general(const QVariant& value);

// "0.00": two decimals, rounded half away from zero on the digits of the
// general form (so 2.675 gives "2.68" and 1.005 gives "1.01", whatever the
// binary representation error), no thousands separator, never "-0.00".
QString fixed2(long double v);

// The value of fixed2(v): what "rounded to two decimals" stores.
long double round2(long double v);

// "#0.###": up to three decimals, no trailing zeros, at least one integer digit,
// half away from zero (as fixed2, on the general digits).
QString quantityText(long double v);
// "#0.##": up to two decimals, otherwise as quantityText.
QString amountText(long double v);
// The same for stored column values; NULL or an empty text gives "". A text
// that is not a number is shown unchanged.
QString quantityText(const QVariant& value);
QString amountText(const QVariant& value);

// A numeric display pattern: an integer part of "#", "0" and "," (a ","
// anywhere asks for thousands separators, each "0" for one required digit), then
// optionally "." with "0" (required) and "#" (optional) decimals. Any other
// characters before or after are copied as they are ("#,##0.###月"). Rounding
// is half away from zero on the general digits; "-0" never appears.
// Examples: format(v, u"0.00") == fixed2(v), format(v, u"#0.###") == quantityText(v).
QString format(long double v, QStringView pattern);

// A chart's value label, kept short: below 10,000 in magnitude "#0.##"
// (amountText); below 100,000,000 in units of 10,000 with one decimal and "万"
// ("333.5万"); above that in units of 100,000,000 with two decimals and "亿"
// ("4.09亿"). The unit is chosen by the rounded value, so 9999.996 gives "1万".
QString chartValueText(long double v);

// Round to a whole number, halves to the even neighbour (5.5 -> 6, 4.5 -> 4,
// -0.5 -> 0). NaN gives 0; values beyond qint64 saturate.
qint64 roundHalfEven(long double v);
// The same for a stored column value: NULL, an empty text or a text that is
// not a number count as 0.
qint64 roundHalfEven(const QVariant& value);

// ---- Fixed-point money --------------------------------------------------------

// A money value with four decimals: a 64-bit count of 1/10000, range about
// +-922337203685477.5807. Totals of sale amounts are added up in it, so that a
// column sum does not pick up binary fractions along the way.
class Money final
{
public:
    constexpr Money() = default;

    static constexpr Money fromUnits(qint64 units) { return Money(units); }

    // Rounds v * 10000 (computed in long double) to a whole number of units,
    // halves going to the even neighbour, as the x87 conversion to a
    // four-decimal currency value does. Typed 0.00005 and 0.00015 give 0 and
    // 0.0002 (their products come out exactly half); the double 0.00005 lies
    // just above the half and gives 0.0001. NaN, infinity and values outside
    // the range give nothing.
    static std::optional<Money> fromDecimal(long double v);

    // A stored column value: NULL or an empty text is 0, numbers and texts that
    // convert with toDecimal are converted as fromDecimal; other texts give
    // nothing.
    static std::optional<Money> fromVariant(const QVariant& value);

    // Adds other; on overflow returns false and leaves this value unchanged.
    [[nodiscard]] bool add(Money other);

    constexpr qint64 units() const { return m_units; }
    long double toDecimal() const;

    // The exact decimal text, trailing zeros dropped ("99.8", "0", "-0.0005").
    // This is the general form for every value with at most 15 significant
    // digits, which covers every amount up to 99999999999.9999.
    QString toText() const;

    friend constexpr bool operator==(Money a, Money b) { return a.m_units == b.m_units; }

private:
    constexpr explicit Money(qint64 units)
        : m_units(units)
    {
    }

    qint64 m_units = 0;
};

// ---- Dates --------------------------------------------------------------------

// "yyyy-MM-dd" (an invalid date gives "").
QString dateText(const QDate& date);
// "yyyy-MM-dd hh:mm:ss" (an invalid date-time gives "").
QString dateTimeText(const QDateTime& dateTime);
// Strictly "yyyy-mm-dd": four-digit year, two-digit month and day, a real date.
std::optional<QDate> parseDate(const QString& text);
// Today's date as dateText.
QString today();
// The current local time as dateTimeText.
QString now();

} // namespace num
