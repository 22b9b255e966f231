#pragma once

#include "print/receiptlayout.h"
#include "print/receiptsetup.h"

#include <QByteArray>
#include <QFont>
#include <QImage>
#include <QPrinterInfo>
#include <QString>

#include <optional>

class QPainter;
class QPrinter;
class ReceiptSender;
class Tdmfm;
class Tpos;

// The POS receipt: the shop block and title, sale number, cashier, time and
// customer, one entry per article (name, quantity, unit price, amount; returns
// marked 退货), the article count, total, cash, change and amount owed, and the
// shop texts. Laid out for the paper width (receiptlayout.h), then drawn by one
// painting code on a Qt printer page or into the raster picture sent to an
// ESC/POS printer, or sent to it as GB18030 or GBK text.
namespace posreceipt {

// Paper left below the last line: a till printer stops 2 mm under the text.
inline constexpr int kFeedDots = 2 * kDotsPerMm;

// The face the receipt is drawn in: a CJK monospace face, ASCII half the width
// of a Chinese character, 24 dots high; bold for the shop's name and the title.
QFont receiptFont(Style style);
// Draws the lines in dots of 203 dpi, (0,0) the top left of the printable
// width, each character at the left of its cell.
void paint(QPainter& painter, const QList<Line>& lines);
// The receipt as the raster mode prints it: black on white, as wide as the
// paper's printable dots, as long as the lines.
QImage image(const QList<Line>& lines, const Paper& paper);

// Prints the lines on a page as wide as the paper and as long as the lines
// (kFeedDots more). On failure returns false with a message for the user.
bool print(QPrinter& printer, const QList<Line>& lines, const Paper& paper, QString* error);

// The ESC/POS bytes of a receipt: text or raster as `setup` says, the drawer
// pulse when the setting is on and the sale was paid in cash.
QByteArray escPosBytes(const Receipt& r, const ReceiptSetup& setup);

struct CurrentSale
{
    QString saleNumber, cashier, total, cash;
};
// The receipt of the current sale as the slip panel starts it: the rows of
// every number containing `saleNumber` (read on the side: the slip list's
// result is the panel's), the shop texts of the receipt settings, the customer
// and amount owed of the rows, total and cash read from their texts. A text
// that is no number gives its message and nothing.
std::optional<Receipt> currentSale(Tdmfm& dm, const Tpos& settings, const CurrentSale& sale);

// Prints the receipt of the current sale as the receipt settings say. Through
// the default printer (`printer` unless a test gives another) the page is
// printed before this returns. ESC/POS bytes are handed to `sender`, which
// sends them on its own thread and reports a printer error when it comes; the
// sale is never touched, and the cashier can print again. True when printed
// or handed over; a failure gives one message.
bool printCurrentSale(Tdmfm& dm, const Tpos& settings, const CurrentSale& sale, ReceiptSender& sender,
                      const QPrinterInfo& printer = QPrinterInfo::defaultPrinter());

// The message shown when there is no printer to print on.
QString noPrinterText();

} // namespace posreceipt
