#pragma once

#include "store/memory/likepattern.h"

#include <QString>

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

// Small pieces shared by the in-memory filters of the stock and sale tables.
namespace filterhelpers {

// Keeps the row positions for which keep(position) is true, in their order.
template <typename Keep> void keepIf(std::vector<int>& v, Keep keep)
{
    v.erase(std::remove_if(v.begin(), v.end(), [&](int p) { return !keep(p); }), v.end());
}

// True when two sets of search conditions ask for the same date range (or
// both for none).
template <typename Conditions> bool sameDates(const Conditions& a, const Conditions& b)
{
    if (a.byDate != b.byDate)
        return false;
    return !a.byDate ||
           (a.from == b.from && a.to == b.to && a.from.isNull() == b.from.isNull() && a.to.isNull() == b.to.isNull());
}

// The typed boxes of a search, in the order the statement lists them, and
// the LIKE term of each box that holds text: (box, pattern).
using Boxes = std::array<const QString*, 6>;
using Terms = std::vector<std::pair<int, LikePattern>>;

// When every box of `now` holds the text it held `before` (extended or not),
// the rows found before are the only candidates: returns true and sets
// *test to which terms still have to be tested on them (the changed boxes).
inline bool narrows(const Boxes& now, const Boxes& before, const Terms& terms, std::vector<bool>* test)
{
    for (size_t i = 0; i < now.size(); ++i)
        if (!now[i]->toUtf8().contains(before[i]->toUtf8()))
            return false;
    test->assign(terms.size(), true);
    for (size_t k = 0; k < terms.size(); ++k)
        (*test)[k] = *now[size_t(terms[k].first)] != *before[size_t(terms[k].first)];
    return true;
}

} // namespace filterhelpers
