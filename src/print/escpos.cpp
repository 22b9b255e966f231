#include "print/escpos.h"

#include <QSysInfo>

#include <cerrno>
#include <iconv.h>

namespace escpos {

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}

QByteArray lineBytes(const posreceipt::Line& line, Mode mode)
{
    QByteArray b;
    switch (line.style) {
    case posreceipt::Style::Normal:
        return encode(line.text, mode) + LF;
    case posreceipt::Style::Bold:
        return bold(true) + encode(line.text, mode) + LF + bold(false);
    case posreceipt::Style::Title:
        // A double-height line is 48 dots high; the spacing is set to the two
        // lines it stands for so that the next line starts below it.
        return bold(true) + characterSize(true) + lineSpacing(posreceipt::kTitleDots) + encode(line.text, mode) + LF +
               lineSpacing(posreceipt::kLineDots) + characterSize(false) + bold(false);
    }
    return b;
}

} // namespace

QByteArray initialize()
{
    return bytes({ESC, '@'});
}

QByteArray lineSpacing(int dots)
{
    return bytes({ESC, '3', dots});
}

QByteArray bold(bool on)
{
    return bytes({ESC, 'E', on ? 1 : 0});
}

QByteArray characterSize(bool doubleHeight)
{
    return bytes({GS, '!', doubleHeight ? 0x01 : 0x00});
}

QByteArray chineseModeOn()
{
    return bytes({FS, '&'});
}

QByteArray feedAndPartialCut()
{
    return bytes({GS, 'V', 66, 0});
}

QByteArray drawerPulse()
{
    return bytes({ESC, 'p', 0, 25, 250});
}

QByteArray encode(const QString& text, Mode mode)
{
    QByteArray out;
    if (text.isEmpty())
        return out;
    const char* fromCode = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "UTF-16LE" : "UTF-16BE";
    const iconv_t cd = iconv_open(mode == Mode::Gbk ? "GBK" : "GB18030", fromCode);
    if (cd == reinterpret_cast<iconv_t>(-1))
        qFatal("iconv cannot convert UTF-16 to GB18030 or GBK");
    // GB18030 takes at most four bytes for a UTF-16 unit.
    out.resize(text.size() * 4);
    const auto* units = reinterpret_cast<const char16_t*>(text.constData());
    size_t unitsLeft = static_cast<size_t>(text.size());
    char* o = out.data();
    size_t outLeft = static_cast<size_t>(out.size());
    while (unitsLeft > 0) {
        char* in = reinterpret_cast<char*>(const_cast<char16_t*>(units));
        size_t inLeft = unitsLeft * 2;
        const size_t rc = iconv(cd, &in, &inLeft, &o, &outLeft);
        units = reinterpret_cast<const char16_t*>(in);
        unitsLeft = inLeft / 2;
        if (rc != static_cast<size_t>(-1) || (errno != EILSEQ && errno != EINVAL))
            break;
        // A character without a code (or a lone surrogate): one "?" for it.
        *o++ = '?';
        --outLeft;
        const bool pair = unitsLeft >= 2 && QChar::isHighSurrogate(units[0]) && QChar::isLowSurrogate(units[1]);
        units += pair ? 2 : 1;
        unitsLeft -= pair ? 2 : 1;
    }
    iconv_close(cd);
    out.resize(o - out.data());
    return out;
}

QByteArray textStream(const QList<posreceipt::Line>& lines, const Options& options)
{
    QByteArray b = initialize();
    if (options.chineseMode)
        b += chineseModeOn();
    b += lineSpacing(posreceipt::kLineDots);
    for (const posreceipt::Line& line : lines)
        b += lineBytes(line, options.mode);
    if (options.openDrawer)
        b += drawerPulse();
    b += feedAndPartialCut();
    return b;
}

QByteArray rasterStream(const QImage& image, const Options& options)
{
    const QImage mono = image.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    const int widthBytes = (mono.width() + 7) / 8;
    // In Format_Mono the colour table says which index is black.
    const bool blackIsOne = mono.colorTable().value(1, qRgb(0, 0, 0)) == qRgb(0, 0, 0);
    QByteArray b = initialize();
    for (int top = 0; top < mono.height(); top += kBandRows) {
        const int rows = std::min(kBandRows, mono.height() - top);
        b += bytes({GS, 'v', '0', 0, widthBytes & 0xFF, widthBytes >> 8, rows & 0xFF, rows >> 8});
        for (int y = top; y < top + rows; ++y) {
            const uchar* row = mono.constScanLine(y);
            for (int x = 0; x < widthBytes; ++x) {
                uchar v = blackIsOne ? row[x] : uchar(~row[x]);
                // Bits past the image's width are paper.
                if (x == widthBytes - 1 && mono.width() % 8 != 0)
                    v &= uchar(0xFF << (8 - mono.width() % 8));
                b.append(char(v));
            }
        }
    }
    if (options.openDrawer)
        b += drawerPulse();
    b += feedAndPartialCut();
    return b;
}

} // namespace escpos
