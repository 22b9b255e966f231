#pragma once

#include <QCollatorSortKey>
#include <QString>
#include <QStringView>

#include <string_view>

// The one order of text in the program: Chinese (pinyin) order as a Chinese
// desktop sorts, through the zh_CN collator. Letter case is ignored the way
// the tables' NOCASE columns ignore it, so two texts are equal here exactly
// when the database calls them equal; other ties fall back to code units, so
// the order is total and a GROUP BY never merges different texts.
namespace chinese {

// Name the order is registered under with every database connection
// (store/db/database.cpp):
// "order by a collate pinyin".
inline constexpr char kCollation[] = "pinyin";

// Negative, zero or positive as a sorts before, with or after b.
int compare(QStringView a, QStringView b);

// A text's sort key, computed once and compared many times: sorting n rows
// builds n keys instead of calling the collator n·log n times. Keys compare
// exactly as compare() does on their texts.
class SortKey final
{
public:
    explicit SortKey(const QString& text);
    int compare(const SortKey& other) const;
    bool operator<(const SortKey& other) const { return compare(other) < 0; }

private:
    QCollatorSortKey m_key;
    QString m_text;
};

SortKey sortKey(const QString& text);

// True for a non-empty text of ASCII digits only (a bar code). Two such texts
// are in the same order here as their bytes are (digits rank 0 to 9 and a
// prefix sorts first), so a sort can compare them without a key.
inline bool ordersAsBytes(std::string_view utf8)
{
    if (utf8.empty())
        return false;
    for (const char ch : utf8)
        if (ch < '0' || ch > '9')
            return false;
    return true;
}

} // namespace chinese
