#include "text/capitalamount.h"

namespace {

constexpr int kMaxFenDigits = 30;

QString readError()
{
    return QStringLiteral("读取错误，应为数字");
}

// Position p counts from the right end of the amount in fen (p = 1 is the fen digit).
bool isGroupPosition(int p)
{
    return p > 4 && (p + 1) % 4 == 0;
}

QString unitOf(int p)
{
    switch (p) {
    case 1:
        return QStringLiteral("分");
    case 2:
        return QStringLiteral("角");
    case 3:
        return QString(); // 元 is written separately
    case 7:
        return QStringLiteral("万");
    case 11:
        return QStringLiteral("亿");
    case 15:
        return QStringLiteral("万亿");
    case 19:
        return QStringLiteral("亿亿");
    case 23:
        return QStringLiteral("万亿亿");
    case 27:
        return QStringLiteral("亿亿亿");
    default:
        break;
    }
    switch (p % 4) {
    case 0:
        return QStringLiteral("拾");
    case 1:
        return QStringLiteral("佰");
    case 2:
        return QStringLiteral("仟");
    default:
        return QString();
    }
}

// The amount as a count of fen without leading zeros ("0" for zero): the
// integer part followed by exactly two decimals, extra decimals dropped.
QString fenDigits(const QString& amount)
{
    const QStringList parts = amount.split(u'.');
    if (parts.size() > 2)
        return QStringLiteral("0");
    QString decimals = parts.size() == 2 ? parts[1].left(2) : QString();
    decimals = decimals.leftJustified(2, u'0');
    QString fen = parts[0] + decimals;
    qsizetype first = 0;
    while (first < fen.size() - 1 && fen[first] == u'0')
        ++first;
    return fen.sliced(first);
}

} // namespace

CapitalAmountText CapitalAmount(const QString& amount)
{
    for (qsizetype i = 0; i < amount.size(); ++i) {
        const QChar c = amount[i];
        if ((c >= u'0' && c <= u'9') || c == u'.')
            continue;
        // Report the whole code point, not half of a surrogate pair.
        char32_t code = c.unicode();
        if (c.isHighSurrogate() && i + 1 < amount.size() && amount[i + 1].isLowSurrogate())
            code = QChar::surrogateToUcs4(c, amount[i + 1]);
        return {QString(), {QString::number(quint32(code)), readError()}};
    }

    const QString fen = fenDigits(amount);
    if (fen.size() > kMaxFenDigits)
        return {QString(), {readError()}};

    static const QString digitChars = QStringLiteral("零壹贰叁肆伍陆柒捌玖");
    QString out;
    bool zeroPending = false;
    bool groupUnitAllowed = true;
    const int length = int(fen.size());
    for (int i = 0; i < length; ++i) {
        const int p = length - i;
        const int digit = fen[i].unicode() - u'0';
        if (digit != 0) {
            if (zeroPending)
                out += digitChars[0];
            out += digitChars[digit];
            out += unitOf(p);
            zeroPending = false;
            groupUnitAllowed = !isGroupPosition(p);
        } else {
            zeroPending = true;
            // A run of zeros inside a non-zero group still ends with the group's unit;
            // an all-zero group writes nothing.
            if (isGroupPosition(p) && groupUnitAllowed) {
                out += unitOf(p);
                zeroPending = false;
                groupUnitAllowed = false;
            }
        }
        if (p == 3) {
            out += QStringLiteral("元");
            zeroPending = false;
        }
    }
    if (length >= 2 && fen.endsWith(QStringLiteral("00")))
        out += QStringLiteral("整");
    return {out, {}};
}
