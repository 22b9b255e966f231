#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Pinyin initials of an article name or its model text (规格型号), stored beside the text
// so the stock and sales searches can match what the user types ("ln" for 李宁).
//
// Works on GBK bytes: letters, digits and the signs !.#$%()*+-,/[\|^~`@{}_ are
// copied unchanged; every other byte starts a two-byte unit (the second byte is
// zero when the unit starts at the last byte), which becomes the letter of its
// code range, else the letter of the first letter list holding its two bytes,
// else "!". A blank is not copied, so it swallows the byte after it; stored
// initials depend on that, keep it.
QByteArray PinyinInitials(const QByteArray& gbk);

// Same for Unicode text: converted to GBK first; a character GBK lacks counts as
// one unit that yields "!". The result is ASCII.
QString PinyinInitials(const QString& text);

// Letter of the GB2312 first-level code range (0xB0A1..0xD7F9, ordered by
// reading) that holds the code first * 256 + second, or none. Decided by the
// code alone, so a GBK extension code inside a range also gets its letter.
std::optional<char> InitialOfCode(unsigned char first, unsigned char second);
