#include "store/memory/searchfilter.h"

#include "store/memory/memtable.h"

#include <QVariant>

#include <algorithm>

namespace {

// True when two searches ask for the same date range (or both for none).
bool sameDates(const SearchFilter::Search& a, const SearchFilter::Search& b)
{
    if (a.byDate != b.byDate)
        return false;
    return !a.byDate ||
           (a.from == b.from && a.to == b.to && a.from.isNull() == b.from.isNull() && a.to.isNull() == b.to.isNull());
}

using Terms = std::vector<std::pair<int, LikePattern>>; // (box, pattern) in statement order

// When every box of `now` holds the text it held `before` (extended or not),
// the rows found before are the only candidates: returns true and sets
// *test to which terms still have to be tested on them (the changed boxes).
bool narrows(const SearchFilter::Search& now, const SearchFilter::Search& before, const Terms& terms,
             std::vector<bool>* test)
{
    for (size_t i = 0; i < now.boxes.size(); ++i)
        if (!now.boxes[i].toUtf8().contains(before.boxes[i].toUtf8()))
            return false;
    test->assign(terms.size(), true);
    for (size_t k = 0; k < terms.size(); ++k)
        (*test)[k] = now.boxes[size_t(terms[k].first)] != before.boxes[size_t(terms[k].first)];
    return true;
}

} // namespace

SearchFilter::SearchFilter(const MemTable& table)
    : m_table(table)
{
}

SearchFilter::~SearchFilter() = default;

bool SearchFilter::resolveColumns(std::initializer_list<std::pair<QLatin1StringView, int*>> columns, QString* error)
{
    if (m_columnsLoad == m_table.loadCount() && m_day >= 0)
        return true;
    m_day = -1;
    for (const auto& [name, out] : columns) {
        *out = m_table.columnIndex(name);
        if (*out < 0) {
            *error = QStringLiteral("no such column: %1").arg(name);
            return false;
        }
        m_day = *out;
    }
    m_columnsLoad = m_table.loadCount();
    return true;
}

const std::vector<int>& SearchFilter::dayOrder()
{
    if (m_dayOrderVersion == m_table.version())
        return m_dayOrder;
    const int day = m_day;
    const auto before = [&](int a, int b) {
        const int c = m_table.compareCells(a, b, day);
        return c != 0 ? c < 0 : m_table.rowId(a) < m_table.rowId(b);
    };
    if (m_dayOrderLoad == m_table.loadCount()) {
        // Since the last order only some rows were written (a sale, a
        // stock-in, a changed or deleted record): the others keep their
        // places, the written ones are merged back in.
        std::vector<int> written;
        const int slotTotal = m_table.slotCount();
        for (int p = 0; p < slotTotal; ++p)
            if (m_table.rowStamp(p) > m_dayOrderVersion && m_table.isLive(p))
                written.push_back(p);
        keepIf(m_dayOrder, [&](int p) { return m_table.isLive(p) && m_table.rowStamp(p) <= m_dayOrderVersion; });
        std::sort(written.begin(), written.end(), before);
        const auto middle = m_dayOrder.insert(m_dayOrder.end(), written.begin(), written.end());
        std::inplace_merge(m_dayOrder.begin(), middle, m_dayOrder.end(), before);
    } else {
        m_dayOrder = m_table.positionsInRowIdOrder();
        const auto byDay = [&](int a, int b) { return m_table.compareCells(a, b, day) < 0; };
        // Stock is taken in and sales are recorded day by day, so the rows
        // are often in date order already.
        if (!std::is_sorted(m_dayOrder.begin(), m_dayOrder.end(), byDay))
            std::stable_sort(m_dayOrder.begin(), m_dayOrder.end(), byDay);
        m_dayOrderLoad = m_table.loadCount();
    }
    m_dayOrderVersion = m_table.version();
    return m_dayOrder;
}

std::vector<int> SearchFilter::dateRun(const QString& from, const QString& to)
{
    const std::vector<int>& order = dayOrder();
    const QByteArray a = from.toUtf8(), b = to.toUtf8();
    const std::string_view fromText(a.constData(), size_t(a.size()));
    const std::string_view toText(b.constData(), size_t(b.size()));
    const int day = m_day;
    const auto lo = std::partition_point(order.begin(), order.end(), [&](int p) {
        bool isNull = false;
        return m_table.compareText(p, day, fromText, &isNull) < 0 || isNull;
    });
    const auto hi = std::partition_point(lo, order.end(), [&](int p) {
        bool isNull = false;
        return m_table.compareText(p, day, toText, &isNull) <= 0 && !isNull;
    });
    return std::vector<int>(lo, hi);
}

bool SearchFilter::search(const Search& s, const std::function<std::vector<int>()>& candidates,
                          std::vector<int>* positions, QString* error)
{
    m_narrowed = false;
    positions->clear();
    Terms terms;
    bool tooComplex = false;
    bool narrowable = true;
    for (int i = 0; i < 6; ++i) {
        const QString& text = s.boxes[size_t(i)];
        if (text.isEmpty())
            continue;
        terms.emplace_back(i, LikePattern(QString(QLatin1Char('%') + text + QLatin1Char('%'))));
        const LikePattern& p = terms.back().second;
        tooComplex = tooComplex || p.tooComplex();
        narrowable = narrowable && p.isRegular() && !p.tooComplex() && !text.contains(QChar(0));
    }

    // Bound as the statement binds them: a null text is a NULL, which no date equals.
    if (s.byDate && (QVariant(s.from).isNull() || QVariant(s.to).isNull())) {
        m_last.reset();
        return true;
    }

    std::vector<int> rows;
    // Which terms still have to be tested, and on which rows.
    std::vector<bool> test(terms.size(), true);
    if (narrowable && m_last && m_last->version == m_table.version() && m_last->search.base == s.base &&
        sameDates(m_last->search, s) && narrows(s, m_last->search, terms, &test)) {
        rows = std::move(m_last->positions);
        m_narrowed = true;
    }
    if (!m_narrowed) {
        rows = candidates();
        if (tooComplex) {
            // The engine fails on the first row that reaches a refused
            // pattern; test row by row in the statement's order to see
            // whether one does.
            for (const int p : rows) {
                for (const auto& [box, pattern] : terms) {
                    if (pattern.tooComplex()) {
                        *error = LikePattern::tooComplexText();
                        m_last.reset();
                        return false;
                    }
                    if (!m_table.like(p, s.columns[size_t(box)], pattern))
                        break;
                }
            }
        }
    }
    for (size_t k = 0; k < terms.size(); ++k)
        if (test[k])
            m_table.filterLike(rows, s.columns[size_t(terms[k].first)], terms[k].second);
    *positions = rows;
    if (tooComplex)
        m_last.reset();
    else
        m_last = Last{m_table.version(), s, std::move(rows)};
    return true;
}
