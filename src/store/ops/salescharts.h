#pragma once

#include "store/db/database.h"

#include <QString>

#include <optional>
#include <vector>

class MemTable;

// The two sales charts: the month totals of one year and the day totals of
// one month, of the net profit or the sale amount of the sale rows (returns,
// being negative, reduce them). Computed from the in-memory sale table.
//
// A sale row counts when its sale date is a real date written "yyyy-mm-dd";
// its year, month and day are the numbers of that text, compared with the
// numbers the pickers hold. Other date texts (empty, NULL, "2024-1-5",
// "2023-02-30") belong to no year.
namespace salescharts {

enum class Measure { Profit, Sales };

// One bar: its place on the horizontal axis (month 1-12 or day 1-31) and the
// total of its rows, added up in fixed point. A group whose values are all
// NULL has no total and so no bar.
struct Bar
{
    int position = 0;
    long double total = 0;
};

// The number a picker's text stands for; nothing, with the error text, when
// the text is not a number.
std::optional<double> pickerNumber(const QString& text, QString* error);

// The bars of the month chart for `year`, by ascending month.
std::vector<Bar> monthBars(const MemTable& sales, Measure measure, double year);
// The bars of the day chart for `month` of `year`, by ascending day.
std::vector<Bar> dayBars(const MemTable& sales, Measure measure, double year, double month);

// The same as statements on table data1, with the picker numbers bound: one
// row per bar (position, total) in the same order.
Statement monthStatement(Measure measure, double year);
Statement dayStatement(Measure measure, double year, double month);

// The year, month and day of a sale date text; false for a text that is no
// real date "yyyy-mm-dd".
bool dateParts(std::string_view text, int* year, int* month, int* day);

} // namespace salescharts
