#include "text/chinesecollation.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>

namespace chinese {

namespace {

const QCollator& collator()
{
    // ICU's zh_CN collation is pinyin order. Case differences are left to the
    // tie-break below, so that equality stays the database's NOCASE equality.
    thread_local const QCollator c = [] {
        QCollator made(QLocale(QLocale::Chinese, QLocale::China));
        made.setCaseSensitivity(Qt::CaseInsensitive);
        return made;
    }();
    return c;
}

char16_t foldAscii(char16_t u)
{
    return u >= u'A' && u <= u'Z' ? char16_t(u + (u'a' - u'A')) : u;
}

// SQLite's NOCASE rule: ASCII letters without case, everything else by code unit.
int compareNoCase(QStringView a, QStringView b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t x = foldAscii(a.at(i).unicode()), y = foldAscii(b.at(i).unicode());
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int sign(int v)
{
    return (v > 0) - (v < 0);
}

} // namespace

int compare(QStringView a, QStringView b)
{
    const int c = sign(collator().compare(a, b));
    return c != 0 ? c : compareNoCase(a, b);
}

SortKey::SortKey(const QString& text)
    : m_key(collator().sortKey(text))
    , m_text(text)
{
}

int SortKey::compare(const SortKey& other) const
{
    const int c = sign(m_key.compare(other.m_key));
    return c != 0 ? c : compareNoCase(m_text, other.m_text);
}

SortKey sortKey(const QString& text)
{
    return SortKey(text);
}

} // namespace chinese
