#pragma once

#include <QCollatorSortKey>
#include <QString>
#include <QStringView>

struct sqlite3;

// The one order of text in the program: Chinese (pinyin) order as a Chinese
// desktop sorts, through the zh_CN collator. Letter case is ignored the way
// the tables' NOCASE columns ignore it, so two texts are equal here exactly
// when the database calls them equal; other ties fall back to code units, so
// the order is total and a GROUP BY never merges different texts.
namespace chinese {

// Name the order is registered under with every database connection:
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

// Makes the order available to the statements of one connection.
bool registerWith(sqlite3* db, QString* error);

} // namespace chinese
