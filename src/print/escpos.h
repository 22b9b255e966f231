#pragma once

#include "print/receiptlayout.h"

#include <QByteArray>
#include <QImage>

// ESC/POS byte streams of a laid-out receipt, for till printers driven
// directly (a raw CUPS queue, a device file, TCP port 9100).
namespace escpos {

enum class Mode {
    Gb18030, // text in GB18030, the printer's own Chinese font
    Gbk,     // text in GBK (older printers); a character outside GBK prints as "?"
    Raster,  // the receipt as a 1-bit image: the same look on any printer
};

struct Options
{
    Mode mode = Mode::Gb18030;
    // Text modes: switch the printer's Chinese character mode on (FS &) first.
    // Off for printers that start in Chinese mode and print FS & as a glyph.
    bool chineseMode = true;
    // Open the cash drawer (ESC p, pin 2) after the receipt.
    bool openDrawer = false;
};

// Commands used, named as the printers' manuals name them.
inline constexpr char ESC = 0x1B, GS = 0x1D, FS = 0x1C, LF = 0x0A;
QByteArray initialize();                     // ESC @
QByteArray lineSpacing(int dots);            // ESC 3 n
QByteArray bold(bool on);                    // ESC E n
QByteArray characterSize(bool doubleHeight); // GS ! n
QByteArray chineseModeOn();                  // FS &
QByteArray feedAndPartialCut();              // GS V 66 0: feed to the cutter and cut leaving a tab
QByteArray drawerPulse();                    // ESC p 0 25 250: pin 2, 50 ms on, 500 ms off

// The text in GB18030 or GBK (glibc's iconv); a character without a code is "?".
QByteArray encode(const QString& text, Mode mode);

// The bytes of a whole receipt in text mode (Gb18030 or Gbk): initialize, line
// spacing of 30 dots, the lines with their bold and double-height switches,
// then the drawer pulse when asked, feed and partial cut.
QByteArray textStream(const QList<posreceipt::Line>& lines, const Options& options);
// The same receipt as raster bands (GS v 0) of `image`, which is as wide as the
// paper's printable dots (a multiple of 8): black pixels print.
QByteArray rasterStream(const QImage& image, const Options& options);
// Rows of one GS v 0 band; printers with small buffers take 256 rows at most.
inline constexpr int kBandRows = 128;

} // namespace escpos
