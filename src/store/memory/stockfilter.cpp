#include "store/memory/stockfilter.h"

#include "store/db/columns.h"
#include "store/memory/likepattern.h"
#include "store/memory/memtable.h"

#include <QVariant>

#include <algorithm>
#include <array>

namespace {

// The engine's `value > 0` and `value <> 0`: NULL is never true.
bool greaterThanZero(const MemTable& t, int pos, int col)
{
    bool isNull = false;
    return t.compareWithZero(pos, col, &isNull) > 0 && !isNull;
}

bool notZero(const MemTable& t, int pos, int col)
{
    bool isNull = false;
    return t.compareWithZero(pos, col, &isNull) != 0 && !isNull;
}

} // namespace

StockFilter::StockFilter(const MemTable& table)
    : SearchFilter(table)
{
}

bool StockFilter::resolveColumns(QString* error)
{
    using namespace stockcol;
    // The date column last: it orders dayOrder().
    return SearchFilter::resolveColumns({{category, &m_col.category},
                                         {nameInitials, &m_col.nameInitials},
                                         {modelInitials, &m_col.specInitials},
                                         {code, &m_col.code},
                                         {remark, &m_col.remark},
                                         {supplier, &m_col.supplier},
                                         {quantityIn, &m_col.quantityIn},
                                         {stockQuantity, &m_col.stock},
                                         {stockInDate, &m_col.day}},
                                        error);
}

std::vector<int> StockFilter::listAll(stockq::ZeroStock zero)
{
    QString ignored;
    if (!resolveColumns(&ignored))
        return {};
    std::vector<int> out = dayOrder();
    if (zero == stockq::ZeroStock::Hidden) {
        const int stock = m_col.stock;
        keepIf(out, [&](int p) { return notZero(m_table, p, stock); });
    }
    return out;
}

bool StockFilter::search(stockq::ZeroStock zero, const stockq::Conditions& c, std::vector<int>* positions,
                         QString* error)
{
    if (!resolveColumns(error)) {
        m_narrowed = false;
        positions->clear();
        forgetLast();
        return false;
    }
    const bool hidden = zero == stockq::ZeroStock::Hidden;
    const int baseColumn = hidden ? m_col.stock : m_col.quantityIn;
    const auto base = [this, hidden, baseColumn](int p) {
        return hidden ? notZero(m_table, p, baseColumn) : greaterThanZero(m_table, p, baseColumn);
    };
    Search s;
    s.base = int(zero);
    s.boxes = {c.category, c.nameInitials, c.specInitials, c.code, c.remark, c.supplier};
    s.columns = {m_col.category, m_col.nameInitials, m_col.specInitials, m_col.code, m_col.remark, m_col.supplier};
    s.takeDates(c);
    return SearchFilter::search(
        s,
        [&]() -> std::vector<int> {
            if (!c.byDate)
                return baseRows(s.base, base);
            // By the date index: the range in date order.
            std::vector<int> rows = dateRun(c.from, c.to);
            keepIf(rows, base);
            return rows;
        },
        positions, error);
}
