#pragma once

#include <algorithm>
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

} // namespace filterhelpers
