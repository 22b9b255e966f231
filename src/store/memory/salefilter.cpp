#include "store/memory/salefilter.h"

#include "store/db/columns.h"
#include "store/memory/likepattern.h"
#include "store/memory/memtable.h"

#include <QVariant>

#include <algorithm>
#include <array>

namespace {

// The engine's `value > 0` (sign 1) and `value < 0` (sign -1): NULL is never true.
bool hasSign(const MemTable& t, int pos, int col, int sign)
{
    bool isNull = false;
    const int c = t.compareWithZero(pos, col, &isNull);
    return !isNull && (sign > 0 ? c > 0 : c < 0);
}

// "%text%": the pattern of a text box.
LikePattern contains(const QString& text)
{
    return LikePattern(QString(QLatin1Char('%') + text + QLatin1Char('%')));
}

} // namespace

SaleFilter::SaleFilter(const MemTable& table)
    : SearchFilter(table)
{
}

bool SaleFilter::resolveColumns(QString* error)
{
    using namespace salecol;
    // The date column last: it orders dayOrder().
    return SearchFilter::resolveColumns({{category, &m_col.category},
                                         {nameInitials, &m_col.nameInitials},
                                         {code, &m_col.code},
                                         {modelInitials, &m_col.specInitials},
                                         {customer, &m_col.customer},
                                         {customerRemark, &m_col.remark},
                                         {quantity, &m_col.quantity},
                                         {saleNumber, &m_col.saleNumber},
                                         {saleDate, &m_col.day}},
                                        error);
}

bool SaleFilter::run(const salesearch::Query& q, std::vector<int>* positions, QString* error)
{
    m_narrowed = false;
    positions->clear();
    if (!resolveColumns(error)) {
        forgetLast();
        return false;
    }
    using salesearch::Kind;
    switch (q.kind) {
    case Kind::ThisMonth: {
        const Statement st = salesearch::statement(q);
        std::vector<int> rows = m_table.positionsInRowIdOrder();
        for (const QVariant& pattern : st.params)
            m_table.filterLike(rows, m_col.day, LikePattern(pattern.toString()));
        *positions = std::move(rows);
        return true;
    }
    case Kind::All:
        *positions = dayOrder();
        return true;
    case Kind::AllReturns: {
        std::vector<int> rows = dayOrder();
        const int quantity = m_col.quantity;
        keepIf(rows, [&](int p) { return hasSign(m_table, p, quantity, -1); });
        *positions = std::move(rows);
        return true;
    }
    case Kind::SaleNumber: {
        const LikePattern pattern = contains(q.saleNumber);
        if (pattern.tooComplex()) {
            // The engine refuses the pattern as soon as one row reaches it.
            if (m_table.rowCount() > 0) {
                *error = LikePattern::tooComplexText();
                return false;
            }
            return true;
        }
        std::vector<int> rows = m_table.positionsInRowIdOrder();
        m_table.filterLike(rows, m_col.saleNumber, pattern);
        *positions = std::move(rows);
        return true;
    }
    case Kind::Search:
        return search(1, q.conditions, positions, error);
    case Kind::ReturnSearch:
        return search(-1, q.conditions, positions, error);
    }
    return true;
}

bool SaleFilter::search(int sign, const salesearch::Conditions& c, std::vector<int>* positions, QString* error)
{
    const int quantity = m_col.quantity;
    const auto base = [this, quantity, sign](int p) { return hasSign(m_table, p, quantity, sign); };
    Search s;
    s.base = sign;
    s.boxes = {c.category, c.nameInitials, c.code, c.specInitials, c.customer, c.remark};
    s.columns = {m_col.category, m_col.nameInitials, m_col.code, m_col.specInitials, m_col.customer, m_col.remark};
    s.takeDates(c);
    return SearchFilter::search(
        s,
        [&]() -> std::vector<int> {
            if (!c.byDate)
                return baseRows(sign, base);
            // "day1 between from and to" over a table scan: the range in row-identity order.
            std::vector<int> rows = dateRun(c.from, c.to);
            keepIf(rows, base);
            std::sort(rows.begin(), rows.end(), [&](int a, int b) { return m_table.rowId(a) < m_table.rowId(b); });
            return rows;
        },
        positions, error);
}
