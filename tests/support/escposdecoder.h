#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

#include <iconv.h>

// Reads an ESC/POS byte stream back as a printer would take it: the text lines
// (GB18030 decoded), the raster bands stacked into one picture, and the
// commands that matter to a shop (initialise, Chinese mode, cut, drawer).
// Anything it does not know makes `unknown` hold the byte's offset, so that a
// test sees a stream it cannot read instead of a silent mismatch.
struct EscPosPrint
{
    QStringList lines;
    QList<bool> boldLines, doubleHeightLines; // per line of `lines`
    QImage image;                             // white paper, black dots; null without raster
    bool initialised = false;                 // ESC @ came first
    bool chineseMode = false;                 // FS & before the first text
    int cuts = 0;                             // GS V
    bool cutLast = false;                     // nothing but the drawer pulse after the cut
    int drawerPulses = 0;                     // ESC p
    qsizetype unknown = -1;
};

inline QString decodeGb18030(const QByteArray& bytes)
{
    QString out;
    if (bytes.isEmpty())
        return out;
    iconv_t cd = iconv_open("UTF-8", "GB18030");
    QByteArray utf8(bytes.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    char* o = utf8.data();
    size_t outLeft = size_t(utf8.size());
    iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    utf8.resize(o - utf8.data());
    return QString::fromUtf8(utf8) + (inLeft ? QStringLiteral("\uFFFD") : QString());
}

inline EscPosPrint decodeEscPos(const QByteArray& s)
{
    EscPosPrint p;
    QByteArray text;
    bool bold = false, tall = false, textSeen = false;
    QList<QImage> bands;
    const auto at = [&](qsizetype i) { return i < s.size() ? uchar(s.at(i)) : 0; };
    qsizetype i = 0;
    while (i < s.size() && p.unknown < 0) {
        const uchar c = at(i);
        if (p.cuts > 0 && c != 0x1B)
            p.cutLast = false;
        if (c == 0x0A) {
            p.lines << decodeGb18030(text);
            p.boldLines << bold;
            p.doubleHeightLines << tall;
            text.clear();
            textSeen = true;
            i += 1;
        } else if (c == 0x1B) {
            const uchar k = at(i + 1);
            if (k == '@') {
                p.initialised = i == 0;
                i += 2;
            } else if (k == 'E') {
                bold = at(i + 2) & 1;
                i += 3;
            } else if (k == '3') {
                i += 3;
            } else if (k == 'p') {
                ++p.drawerPulses;
                i += 5;
            } else {
                p.unknown = i;
            }
        } else if (c == 0x1D) {
            const uchar k = at(i + 1);
            if (k == '!') {
                tall = at(i + 2) & 0x0F;
                i += 3;
            } else if (k == 'V') {
                ++p.cuts;
                p.cutLast = true;
                i += at(i + 2) >= 65 ? 4 : 3;
            } else if (k == 'v' && at(i + 2) == '0') {
                const int widthBytes = at(i + 4) | at(i + 5) << 8;
                const int rows = at(i + 6) | at(i + 7) << 8;
                QImage band(widthBytes * 8, rows, QImage::Format_Mono);
                band.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
                const char* data = s.constData() + i + 8;
                if (i + 8 + qsizetype(widthBytes) * rows > s.size()) {
                    p.unknown = i;
                    break;
                }
                for (int y = 0; y < rows; ++y)
                    memcpy(band.scanLine(y), data + y * widthBytes, size_t(widthBytes));
                bands << band;
                i += 8 + qsizetype(widthBytes) * rows;
            } else {
                p.unknown = i;
            }
        } else if (c == 0x1C) {
            const uchar k = at(i + 1);
            if (k == '&')
                p.chineseMode = p.chineseMode || !textSeen;
            else if (k != '.')
                p.unknown = i;
            i += 2;
        } else if (c < 0x20) {
            p.unknown = i;
        } else {
            text.append(char(c));
            textSeen = true;
            i += 1;
        }
    }
    if (!bands.isEmpty()) {
        int height = 0;
        for (const QImage& b : bands)
            height += b.height();
        p.image = QImage(bands.first().width(), height, QImage::Format_RGB32);
        p.image.fill(Qt::white);
        int y = 0;
        for (const QImage& b : bands) {
            for (int row = 0; row < b.height(); ++row)
                for (int x = 0; x < b.width(); ++x)
                    if (b.pixelIndex(x, row) == 1)
                        p.image.setPixel(x, y + row, qRgb(0, 0, 0));
            y += b.height();
        }
    }
    return p;
}
