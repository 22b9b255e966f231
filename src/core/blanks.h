#pragma once

#include <QString>

// The text without blanks and control characters at both ends (code points up
// to U+0020); other spaces, such as the ideographic space U+3000, stay. What
// a required field counts as its text, and what entries store.
inline QString trimControlsAndSpaces(const QString& text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && text.at(from).unicode() <= 0x20)
        ++from;
    while (to > from && text.at(to - 1).unicode() <= 0x20)
        --to;
    return text.mid(from, to - from);
}
