#pragma once

#include <QList>
#include <QString>
#include <QVariant>

// The POS receipt laid out for a paper width, as lines of character cells.
//
// A till printer's font A is 12 x 24 dots at 203 dpi (8 dots a millimetre): an
// ASCII character takes one cell, a Chinese character two. Every line is a
// text whose display width (cells) fits the paper's printable width; numbers
// are right-aligned by padding with spaces, so the ESC/POS text mode, the
// raster image and the page drawn through Qt all put every character in the
// same cell.
namespace posreceipt {

inline constexpr int kDotsPerInch = 203;
inline constexpr int kDotsPerMm = 8;
inline constexpr int kCellDots = 12;  // width of one half-width cell
inline constexpr int kGlyphDots = 24; // height of a character
inline constexpr int kLineDots = 30;  // from line to line
inline constexpr int kTitleDots = 60; // the title is printed at double height

// The paper width in millimetres and what a till printer prints of it: 48 mm of
// 58 mm paper (384 dots), 72 mm of 80 mm (576 dots); other widths keep the same
// margins (5 mm a side up to 60 mm, 4 mm a side above).
struct Paper
{
    int widthMm = 80;

    static constexpr int kMinMm = 40;
    static constexpr int kMaxMm = 120;

    int printableDots() const;
    int columns() const { return printableDots() / kCellDots; }
    // Dots of white on the left of the printable width.
    int marginDots() const { return (widthMm * kDotsPerMm - printableDots()) / 2; }
};

struct Article
{
    QString name;
    QVariant quantity; // negative for a return
    QVariant price;    // unit price
    QVariant amount;
};

struct Receipt
{
    // The shop block above the title; each line printed only when not empty.
    QString shop, address, phone;
    QString title;      // 小票标题
    QString saleNumber; // as typed in the sale panel
    QString cashier;
    QString printedAt; // "yyyy-mm-dd hh:mm:ss"
    QString customer;  // empty: no customer line
    QList<Article> articles;
    long double total = 0; // to the cent, see setAmounts
    long double cash = 0;
    long double change = 0;
    long double owed = 0; // 0: no owed line
    QString promotion1, promotion2, closing;
};

// Total, cash and change of `r` from the sale's total and the cash handed
// over: the total is taken to the cent and the change is the cash less it, so
// that the three lines add up.
void setAmounts(Receipt& r, long double total, long double cash);

enum class Style {
    Normal,
    Bold,  // the shop's name
    Title, // bold, double height
};

struct Line
{
    Style style = Style::Normal;
    QString text; // cells from the left edge; no trailing blanks
};

// Cells a text takes: one for ASCII, two for every other character (as a
// printer in Chinese mode and a CJK monospace face set them).
int displayWidth(QStringView text);
int cellsOf(char32_t c);
// The text in pieces of at most `columns` cells, a character never split; an
// ASCII word is kept whole when it fits a line. An empty text gives one empty piece.
QStringList wrap(const QString& text, int columns);

// Every line of the receipt for `columns` cells.
QList<Line> layout(const Receipt& r, int columns);
// Height of the lines in dots.
int heightDots(const QList<Line>& lines);

} // namespace posreceipt
