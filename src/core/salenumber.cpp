#include "core/salenumber.h"

namespace {

constexpr int kDayDigits = 8;
constexpr int kMinimumSequenceDigits = 3;
// qint64 holds every sequence of up to 18 digits.
constexpr int kMaximumSequenceDigits = 18;

QString dayText(const QDate& day)
{
    return day.toString(QStringLiteral("yyyyMMdd"));
}

bool allDigits(QStringView text)
{
    for (const QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

} // namespace

QString SaleNumber::text() const
{
    return dayText(day) + QStringLiteral("%1").arg(sequence, kMinimumSequenceDigits, 10, QLatin1Char('0'));
}

std::optional<SaleNumber> SaleNumber::parse(QStringView text)
{
    if (text.size() < kDayDigits + kMinimumSequenceDigits || text.size() > kDayDigits + kMaximumSequenceDigits ||
        !allDigits(text))
        return std::nullopt;
    const QDate day = QDate::fromString(text.first(kDayDigits).toString(), QStringLiteral("yyyyMMdd"));
    if (!day.isValid())
        return std::nullopt;
    return SaleNumber{day, text.sliced(kDayDigits).toLongLong()};
}

QString SaleNumber::first(const QDate& day)
{
    return dayText(day);
}

QString SaleNumber::pastLast(const QDate& day)
{
    // ':' follows '9' in every character order the database may use.
    return dayText(day) + QLatin1Char(':');
}
