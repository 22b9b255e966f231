#pragma once

#include <QDir>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QRawFont>
#include <QRegularExpression>
#include <QString>

#include <algorithm>

// The words of a PDF as poppler's pdftotext finds them, with their boxes in
// millimetres from the top left of the page.
struct PdfWord
{
    QString text;
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    int page = 0;
};

inline QList<PdfWord> pdfWords(const QString& pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    QList<PdfWord> words;
    if (!p.waitForFinished(60000))
        return words;
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    static const QRegularExpression tag(QStringLiteral(
        R"re(<page [^>]*>|<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    constexpr double mm = 25.4 / 72.0;
    int page = -1;
    for (auto it = tag.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(0).startsWith(QStringLiteral("<page"))) {
            ++page;
            continue;
        }
        QString text = m.captured(5);
        text.replace(QStringLiteral("&amp;"), QStringLiteral("&"))
            .replace(QStringLiteral("&lt;"), QStringLiteral("<"))
            .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
            .replace(QStringLiteral("&quot;"), QStringLiteral("\""))
            .replace(QStringLiteral("&apos;"), QStringLiteral("'"));
        words.append({text, m.captured(1).toDouble() * mm, m.captured(2).toDouble() * mm, m.captured(3).toDouble() * mm,
                      m.captured(4).toDouble() * mm, page});
    }
    return words;
}

// A PDF names each glyph by one character, and a CJK font draws some
// characters and their radical forms with the same glyph (人 and ⼈, 户 and
// ⼾): two texts read the same when each character is the same or has the
// same glyph in the CJK fonts the printouts use.
inline bool sameGlyphs(const QString& a, const QString& b)
{
    if (a.size() != b.size())
        return false;
    static const QList<QRawFont> fonts = [] {
        QList<QRawFont> out;
        for (const char* family : {"Noto Serif CJK SC", "Noto Sans CJK SC"}) {
            QFont f(QString::fromLatin1(family));
            f.setPixelSize(20);
            out.append(QRawFont::fromFont(f));
        }
        return out;
    }();
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a.at(i) == b.at(i))
            continue;
        const bool same = std::any_of(fonts.cbegin(), fonts.cend(), [&](const QRawFont& f) {
            const QList<quint32> ga = f.glyphIndexesForString(QString(a.at(i)));
            const QList<quint32> gb = f.glyphIndexesForString(QString(b.at(i)));
            return ga.size() == 1 && ga == gb && ga.first() != 0;
        });
        if (!same)
            return false;
    }
    return true;
}

// The run of consecutive words that reads `text` (words joined by one blank);
// its box spans them all. An empty text when there is none.
inline PdfWord findText(const QList<PdfWord>& words, const QString& text, int from = 0)
{
    for (int i = from; i < words.size(); ++i) {
        QString joined;
        for (int j = i; j < words.size() && joined.size() < text.size(); ++j) {
            if (!joined.isEmpty())
                joined += QLatin1Char(' ');
            joined += words.at(j).text;
            if (sameGlyphs(joined, text.simplified())) {
                PdfWord box = words.at(i);
                box.text = joined;
                for (int k = i; k <= j; ++k) {
                    box.xMin = std::min(box.xMin, words.at(k).xMin);
                    box.yMin = std::min(box.yMin, words.at(k).yMin);
                    box.xMax = std::max(box.xMax, words.at(k).xMax);
                    box.yMax = std::max(box.yMax, words.at(k).yMax);
                }
                return box;
            }
        }
    }
    return {};
}

// Keeps a printout for a person to look at when TARVIK_KEEP_PRINTOUTS names a folder.
inline void keepPrintout(const QString& pdf, const QString& name)
{
    const QString folder = qEnvironmentVariable("TARVIK_KEEP_PRINTOUTS");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    const QString target = QDir(folder).filePath(name);
    QFile::remove(target);
    QFile::copy(pdf, target);
}
