#pragma once

#include <QDate>
#include <QString>
#include <QStringView>

#include <optional>

// A sale number as the till hands them out: the day as "yyyymmdd" followed by
// the day's sequence with at least three digits ("20140315005", sequence 1000
// gives "201403151000"). Several sale rows share one number: the articles one
// customer bought.
//
// Users may also type any other text as a sale number; parse() tells the
// till's own numbers from those.
struct SaleNumber
{
    QDate day;
    qint64 sequence = 0;

    QString text() const;

    // The number `text` is, when it is one of the till's own: eight digits of
    // a real date, then at least three digits (nothing else, no blanks).
    static std::optional<SaleNumber> parse(QStringView text);

    // Every number of `day` sorts at or after first(day) and before
    // pastLast(day) as text, so a range over an index finds exactly the
    // numbers that begin with the day's eight digits.
    static QString first(const QDate& day);
    static QString pastLast(const QDate& day);

    friend bool operator==(const SaleNumber&, const SaleNumber&) = default;
};
