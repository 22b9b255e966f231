#pragma once

#include <QFont>

// The font to draw a printout's text with, so that a PDF's text reads back as
// the characters printed (copy, search, pdftotext).
//
// The printer's PDF writer names each glyph of a font by the lowest character
// the font draws with it. The Noto CJK faces draw many ordinary characters
// with the glyph of a rarer one below them (金 with ⾦, a Kangxi radical;
// 户 with ⼾; ／ with ∕), so their text would read as that other character.
// printableFont() puts a copy of the face in front of the family list whose
// character map keeps only the ordinary character for each shared glyph (the
// rarer ones fall back to the face itself, where they still read right), and
// turns off text shaping: contextual forms (the "1" of "15kg") are glyphs of
// no character, and their text would be lost.
//
// The copy is made once per face and weight, the first time it is asked for;
// when it is not needed or cannot be made the font is only kept from shaping.
QFont printableFont(const QFont& font);
