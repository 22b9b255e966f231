#include "store/ops/salescharts.h"

#include "core/numbers.h"
#include "store/db/columns.h"
#include "store/memory/columnsum.h"
#include "store/memory/memtable.h"

#include <array>
#include <cmath>

namespace salescharts {

namespace {

bool isLeap(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysIn(int y, int m)
{
    static constexpr std::array<int, 12> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[size_t(m - 1)];
}

inline int digit(char c)
{
    return c >= '0' && c <= '9' ? c - '0' : -1;
}

// The whole number `v` stands for, or nothing when it is not one (a picker
// holding 2024.5 matches no year).
std::optional<int> wholeNumber(double v)
{
    if (!(v >= -1e9 && v <= 1e9) || v != std::floor(v))
        return std::nullopt;
    return int(v);
}

QString measureColumn(Measure m)
{
    return quoteIdentifier(m == Measure::Profit ? QString(salecol::profit) : QString(salecol::amount));
}

// A real date "yyyy-mm-dd" in column day1, with year, month and day as numbers.
const QString kYear = QStringLiteral("cast(substr(day1,1,4) as integer)");
const QString kMonth = QStringLiteral("cast(substr(day1,6,2) as integer)");
const QString kDay = QStringLiteral("cast(substr(day1,9,2) as integer)");

QString isDate()
{
    const QString& y = kYear;
    const QString& m = kMonth;
    const QString& d = kDay;
    const QString leap = QLatin1String("(") + y + QLatin1String("%4=0 and ") + y + QLatin1String("%100<>0) or ") + y +
                         QLatin1String("%400=0");
    return QLatin1String("day1 glob '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]' and ") + y +
           QLatin1String(">=1 and ") + m + QLatin1String(" between 1 and 12 and ") + d + QLatin1String(">=1 and ") + d +
           QLatin1String("<=case ") + m + QLatin1String(" when 2 then case when ") + leap +
           QLatin1String(" then 29 else 28 end when 4 then 30 when 6 then 30 when 9 then 30 when 11 then 30 "
                         "else 31 end");
}

template <typename Match> std::vector<Bar> bars(const MemTable& sales, Measure measure, int places, Match match)
{
    std::vector<Bar> out;
    const int dayCol = sales.columnIndex(QString(salecol::saleDate));
    const int valueCol =
        sales.columnIndex(measure == Measure::Profit ? QString(salecol::profit) : QString(salecol::amount));
    if (dayCol < 0 || valueCol < 0)
        return out;
    std::vector<ColumnSum> sums(size_t(places) + 1);
    for (const int pos : sales.positionsInRowIdOrder()) {
        int slot = 0;
        if (match(sales.utf8(pos, dayCol), &slot))
            sums[size_t(slot)].add(sales, pos, valueCol);
    }
    for (int s = 1; s <= places; ++s)
        if (const auto t = sums[size_t(s)].total())
            out.push_back({s, *t});
    return out;
}

// Quick refusal of most rows: the first four bytes against the year's digits.
struct YearDigits
{
    explicit YearDigits(int year)
    {
        for (int i = 3; i >= 0; --i, year /= 10)
            d[size_t(i)] = char('0' + year % 10);
    }
    bool matches(std::string_view t) const
    {
        return t.size() == 10 && t[0] == d[0] && t[1] == d[1] && t[2] == d[2] && t[3] == d[3];
    }
    std::array<char, 4> d{};
};

} // namespace

bool dateParts(std::string_view t, int* year, int* month, int* day)
{
    if (t.size() != 10 || t[4] != '-' || t[7] != '-')
        return false;
    int v[8];
    static constexpr std::array<int, 8> at{0, 1, 2, 3, 5, 6, 8, 9};
    for (size_t i = 0; i < at.size(); ++i)
        if ((v[i] = digit(t[size_t(at[i])])) < 0)
            return false;
    const int y = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
    const int m = v[4] * 10 + v[5];
    const int d = v[6] * 10 + v[7];
    if (y < 1 || m < 1 || m > 12 || d < 1 || d > daysIn(y, m))
        return false;
    *year = y;
    *month = m;
    *day = d;
    return true;
}

std::optional<double> pickerNumber(const QString& text, QString* error)
{
    const auto v = num::toDecimal(text, error);
    if (!v)
        return std::nullopt;
    return double(*v);
}

std::vector<Bar> monthBars(const MemTable& sales, Measure measure, double year)
{
    const auto y = wholeNumber(year);
    if (!y || *y < 1 || *y > 9999)
        return {};
    const YearDigits digits(*y);
    return bars(sales, measure, 12, [&](std::string_view t, int* slot) {
        int yy, mm, dd;
        if (!digits.matches(t) || !dateParts(t, &yy, &mm, &dd))
            return false;
        *slot = mm;
        return true;
    });
}

std::vector<Bar> dayBars(const MemTable& sales, Measure measure, double year, double month)
{
    const auto y = wholeNumber(year);
    const auto m = wholeNumber(month);
    if (!y || !m || *y < 1 || *y > 9999 || *m < 1 || *m > 12)
        return {};
    const YearDigits digits(*y);
    return bars(sales, measure, 31, [&](std::string_view t, int* slot) {
        int yy, mm, dd;
        if (!digits.matches(t) || !dateParts(t, &yy, &mm, &dd) || mm != *m)
            return false;
        *slot = dd;
        return true;
    });
}

Statement monthStatement(Measure measure, double year)
{
    return {QStringLiteral("select %1 as 月份,sum(%2) as 总量 from data1 where %3 and %4=? group by %1 order by %1")
                .arg(kMonth, measureColumn(measure), isDate(), kYear),
            {year}};
}

Statement dayStatement(Measure measure, double year, double month)
{
    return {QStringLiteral("select %1 as 日期,sum(%2) as 总量 from data1 where %3 and %4=? and %5=? "
                           "group by day1 order by day1")
                .arg(kDay, measureColumn(measure), isDate(), kMonth, kYear),
            {month, year}};
}

} // namespace salescharts
