#pragma once

#include <QList>
#include <QPrinterInfo>
#include <QString>
#include <QVariant>

class QPainter;
class QPrinter;
class Tdmfm;
class Tpos;

// The POS receipt: a narrow till slip with the title, sale number, cashier and
// time, one line per article, total, cash and change, and the shop texts.
//
// Positions are dots of a 203-dpi till printer (30 dots from line to line).
// The painter is scaled to the device's resolution, so the receipt reads the
// same on a till printer, an office printer and a PDF.
namespace posreceipt {

inline constexpr int kDotsPerInch = 203;
inline constexpr int kPaperLengthMm = 250;
// Bytes of GBK an article name takes before its quantity.
inline constexpr int kNameBytes = 18;

struct Article
{
    QString name;
    QVariant quantity;
    QVariant amount;
};

struct Receipt
{
    QString title;      // 小票标题
    QString saleNumber; // as typed in the sale panel
    QString cashier;
    QString printedAt; // "yyyy-mm-dd hh:mm:ss "
    QList<Article> articles;
    QString total; // 合计, two decimals
    long double cash = 0;
    long double change = 0;
    QString promotion1, promotion2, closing;
};

struct Line
{
    int y = 0;          // dots from the top of the page
    bool title = false; // 10 pt bold; every other line 8 pt
    QString text;
};

// Bytes the text takes in GBK: one for ASCII, two for every other character.
int gbkWidth(const QString& text);
// The name padded with spaces to 18 GBK bytes; a longer name is cut to its
// first 18 bytes (whole characters, a character that would cross the 18th byte
// becomes a space) and followed by one space.
QString nameColumn(const QString& name);
// "name quantity      amount".
QString articleLine(const Article& a);
// Every line of the receipt with its position.
QList<Line> layout(const Receipt& r);

// Draws the lines with (0,0) at the top left of the page; `dpi` is the device's resolution.
void paint(QPainter& painter, const QList<Line>& lines, int dpi);
// Sets the printer's page to its own width by 250 mm and prints the lines.
// On failure returns false with a message for the user.
bool print(QPrinter& printer, const QList<Line>& lines, QString* error);

// The receipt of the current sale as the slip panel starts it: the rows of
// every number containing `saleNumber` (the slip list's query, closed
// afterwards), the texts of the receipt settings, total and cash read from
// their texts: the total shows with two decimals and the change is the cash
// less that total. Printed on `printer` (the default printer unless a test gives
// another); a missing printer or a printer error gives one message, and
// nothing in the database changes. True when printed.
// Total, cash and change of `r` from the sale's total and the cash handed
// over: the total is shown to the cent and the change is the cash less it.
void setAmounts(Receipt& r, long double total, long double cash);

struct CurrentSale
{
    QString saleNumber, cashier, total, cash;
};
bool printCurrentSale(Tdmfm& dm, const Tpos& texts, const CurrentSale& sale,
                      const QPrinterInfo& printer = QPrinterInfo::defaultPrinter());

// The message shown when there is no printer to print on.
QString noPrinterText();

} // namespace posreceipt
