#pragma once

#include <QString>
#include <QStringList>

// The amount of a sales slip in Chinese capital numerals (大写), for example
// "99.8" -> "玖拾玖元捌角", "100" -> "壹佰元整".
//
// The amount is text as the program writes it: digits with at most one ".".
// It is converted on its decimal digits (never through floating point), so
// 0.53 or 4.20 give exactly their cents; decimals after the second are
// dropped, not rounded. Zero, "", "." and a text with more than one "." give
// an empty result and no refusal.
//
// Any other character refuses the amount: the result is empty and `refusal`
// holds, in order, the character's code as a decimal number and
// "读取错误，应为数字"; a minus sign is such a character. Amounts of 10^28 yuan
// or more have no units left; they give an empty result and the refusal
// "读取错误，应为数字" alone. The caller shows each text of the refusal as an
// information message.
struct CapitalAmountText
{
    QString text;
    QStringList refusal; // empty when the amount was written
};

CapitalAmountText CapitalAmount(const QString& amount);
