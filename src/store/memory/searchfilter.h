#pragma once

#include "store/memory/likepattern.h"
#include "store/memory/memtable.h"

#include <QLatin1StringView>
#include <QString>

#include <algorithm>
#include <array>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <utility>
#include <vector>


// What the stock and sales filters share: a search of six text boxes
// ("column LIKE '%text%'", the boxes that hold text), a base condition the
// filter names by a number (the stock list's zero-stock rule, the sales list's
// sales or returns), an optional date range; and the date order of the table.
//
// Remembers the last search: when the next one differs only by text boxes
// whose new text contains the old one (a letter typed, a scanner sending the
// next digit), only the previous hits are filtered again. A pattern is
// matched once per distinct value of a column (MemTable::filterLike), not
// once per row.
class SearchFilter
{
public:
    // One search: the boxes' texts, their columns, the base and the dates.
    struct Search
    {
        int base = 0;                 // the filter's base condition
        std::array<QString, 6> boxes; // in the order the statement lists them
        std::array<int, 6> columns{}; // the column each box searches
        bool byDate = false;          // a date range, with from/to as bound
        QString from, to;

        // The date range of a filter's conditions (byDate, from, to).
        template <typename Conditions> void takeDates(const Conditions& c)
        {
            byDate = c.byDate;
            from = c.from;
            to = c.to;
        }
    };

    // Whether the last search only narrowed the previous hits (for tests and measurements).
    bool lastSearchNarrowed() const { return m_narrowed; }

protected:
    explicit SearchFilter(const MemTable& table);
    ~SearchFilter();
    SearchFilter(const SearchFilter&) = delete;
    SearchFilter& operator=(const SearchFilter&) = delete;

    // Finds each named column; the last one is the date column of dayOrder().
    // Done once per load of the table. False with "no such column: …".
    bool resolveColumns(std::initializer_list<std::pair<QLatin1StringView, int*>> columns, QString* error);

    // The live rows by date under the column's collation, then by row identity
    // (the date index's order, and "order by day, rowid"). After the program's
    // own writes only the rows written since are merged back into the order.
    const std::vector<int>& dayOrder();
    // The rows of dayOrder() whose date is a text from `from` to `to` (NULL
    // and numbers sort before every text, blobs after: one run of the order).
    std::vector<int> dateRun(const QString& from, const QString& to);
    // The live rows for which keep(position) holds, in row-identity order;
    // kept per `base` until the table changes.
    template <typename Keep> const std::vector<int>& baseRows(int base, Keep keep)
    {
        Base& b = m_bases[base];
        if (b.version != m_table.version()) {
            b.rows = m_table.positionsInRowIdOrder();
            keepIf(b.rows, keep);
            b.version = m_table.version();
        }
        return b.rows;
    }

    // The rows of the search: `candidates()` gives the rows of the base
    // condition and the date range, in the statement's order, when the last
    // hits cannot be narrowed; the boxes' terms filter them. On a pattern the
    // engine refuses (when a candidate row reaches it) false with its text.
    bool search(const Search& s, const std::function<std::vector<int>()>& candidates, std::vector<int>* positions,
                QString* error);
    // Keeps the row positions for which keep(position) is true, in their order.
    template <typename Keep> static void keepIf(std::vector<int>& v, Keep keep)
    {
        v.erase(std::remove_if(v.begin(), v.end(), [&](int p) { return !keep(p); }), v.end());
    }
    // Forgets the last search (the next one starts from the candidates).
    void forgetLast() { m_last.reset(); }

    const MemTable& m_table;
    bool m_narrowed = false;

private:
    quint64 m_columnsLoad = ~quint64(0);
    int m_day = -1;

    std::vector<int> m_dayOrder;
    quint64 m_dayOrderVersion = ~quint64(0);
    quint64 m_dayOrderLoad = ~quint64(0);

    struct Base
    {
        quint64 version = ~quint64(0);
        std::vector<int> rows;
    };
    std::map<int, Base> m_bases;

    struct Last
    {
        quint64 version;
        Search search;
        std::vector<int> positions;
    };
    std::optional<Last> m_last;
};
