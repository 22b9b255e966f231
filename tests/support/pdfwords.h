#pragma once

#include <QDir>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QRawFont>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

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

// A PDF names each glyph by one character, and pdftotext may name a glyph
// of a CJK font by a compatibility form of the character printed: a Kangxi
// radical (⼈ for 人) or a full-width sign. Two characters read the same when
// they are equal after compatibility normalisation (NFKC), or when the CJK
// fonts the printouts use draw them with one glyph (⼾ normalises to 戶, but
// is drawn, and printed, as 户).
inline bool sameCharacter(QChar a, QChar b)
{
    if (a == b)
        return true;
    if (QString(a).normalized(QString::NormalizationForm_KC) == QString(b).normalized(QString::NormalizationForm_KC))
        return true;
    static const QList<QRawFont> fonts = [] {
        QList<QRawFont> out;
        for (const char* family : {"Noto Serif CJK SC", "Noto Sans CJK SC"}) {
            QFont f(QString::fromLatin1(family));
            f.setPixelSize(20);
            out.append(QRawFont::fromFont(f));
        }
        return out;
    }();
    return std::any_of(fonts.cbegin(), fonts.cend(), [&](const QRawFont& f) {
        const QList<quint32> ga = f.glyphIndexesForString(QString(a));
        const QList<quint32> gb = f.glyphIndexesForString(QString(b));
        return ga.size() == 1 && ga == gb && ga.first() != 0;
    });
}

// Two texts read the same: equal after NFKC, or character by character as above.
inline bool sameGlyphs(const QString& a, const QString& b)
{
    if (a.normalized(QString::NormalizationForm_KC) == b.normalized(QString::NormalizationForm_KC))
        return true;
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (!sameCharacter(a.at(i), b.at(i)))
            return false;
    return true;
}

// The run of consecutive words that reads `text` (words joined by one blank);
// its box spans them all. An empty text when there is none.
inline PdfWord findText(const QList<PdfWord>& words, const QString& text, int from = 0)
{
    const QString target = text.simplified();
    for (int i = from; i < words.size(); ++i) {
        QString joined;
        for (int j = i; j < words.size() && joined.size() < target.size(); ++j) {
            if (!joined.isEmpty())
                joined += QLatin1Char(' ');
            joined += words.at(j).text;
            if (sameGlyphs(joined, target)) {
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

// The texts of `wanted` that no run of words reads; empty when all are there.
inline QStringList missingTexts(const QList<PdfWord>& words, const QStringList& wanted)
{
    QStringList missing;
    for (const QString& text : wanted)
        if (findText(words, text).text.isEmpty())
            missing.append(text);
    return missing;
}

// The texts of `wanted` that the words do not read character for character,
// with no normalisation: what a search in the PDF, or a copy from it, misses.
inline QStringList unreadTexts(const QList<PdfWord>& words, const QStringList& wanted)
{
    QStringList texts;
    for (const PdfWord& w : words)
        texts.append(w.text);
    const QString all = texts.join(QLatin1Char(' '));
    QStringList unread;
    for (const QString& text : wanted)
        if (!all.contains(text))
            unread.append(text);
    return unread;
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
