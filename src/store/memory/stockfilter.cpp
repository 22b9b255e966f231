#include "store/memory/stockfilter.h"

#include "store/db/columns.h"
#include "store/memory/filterhelpers.h"
#include "store/memory/likepattern.h"
#include "store/memory/memtable.h"

#include <QVariant>

#include <algorithm>
#include <array>

namespace {

using filterhelpers::keepIf;
using filterhelpers::sameDates;

using Kind = MemTable::Kind;

// The engine's `value > 0` and `value <> 0`: NULL is never true, a text or
// blob is greater than any number.
bool greaterThanZero(const MemTable& t, int pos, int col)
{
    switch (t.kind(pos, col)) {
    case Kind::Null:
        return false;
    case Kind::Integer:
        return t.integer(pos, col) > 0;
    case Kind::Real:
        return t.number(pos, col) > 0;
    default:
        return true;
    }
}

bool notZero(const MemTable& t, int pos, int col)
{
    switch (t.kind(pos, col)) {
    case Kind::Null:
        return false;
    case Kind::Integer:
        return t.integer(pos, col) != 0;
    case Kind::Real:
        return t.number(pos, col) != 0;
    default:
        return true;
    }
}

// The text boxes in the order the statement lists their conditions.
std::array<const QString*, 6> texts(const stockq::Conditions& c)
{
    return {&c.category, &c.nameInitials, &c.specInitials, &c.code, &c.remark, &c.supplier};
}

} // namespace

StockFilter::StockFilter(const MemTable& table)
    : m_table(table)
{
}

bool StockFilter::resolveColumns(QString* error)
{
    if (m_columnsLoad == m_table.loadCount() && m_col.day >= 0)
        return true;
    const auto find = [&](QLatin1StringView name, int* out) {
        *out = m_table.columnIndex(name);
        if (*out < 0)
            *error = QStringLiteral("no such column: %1").arg(name);
        return *out >= 0;
    };
    using namespace stockcol;
    if (!(find(category, &m_col.category) && find(nameInitials, &m_col.nameInitials) &&
          find(modelInitials, &m_col.specInitials) && find(code, &m_col.code) && find(remark, &m_col.remark) &&
          find(supplier, &m_col.supplier) && find(quantityIn, &m_col.quantityIn) && find(stockQuantity, &m_col.stock) &&
          find(stockInDate, &m_col.day))) {
        m_col.day = -1;
        return false;
    }
    m_columnsLoad = m_table.loadCount();
    return true;
}

const std::vector<int>& StockFilter::dayOrder()
{
    if (m_dayOrderVersion == m_table.version())
        return m_dayOrder;
    // The date index orders by the date under the column's collation, then by row identity.
    const int day = m_col.day;
    const auto before = [&](int a, int b) {
        const int c = m_table.compareCells(a, b, day);
        return c != 0 ? c < 0 : m_table.rowId(a) < m_table.rowId(b);
    };
    if (m_dayOrderLoad == m_table.loadCount()) {
        // Since the last order only some rows were written (a sale, a stock-in):
        // the others keep their places, the written ones are merged back in.
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
        // Stock is mostly taken in day by day, so the rows are often in date order already.
        if (!std::is_sorted(m_dayOrder.begin(), m_dayOrder.end(), byDay))
            std::stable_sort(m_dayOrder.begin(), m_dayOrder.end(), byDay);
        m_dayOrderLoad = m_table.loadCount();
    }
    m_dayOrderVersion = m_table.version();
    return m_dayOrder;
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
    m_narrowed = false;
    positions->clear();
    if (!resolveColumns(error)) {
        m_last.reset();
        return false;
    }
    const std::array<int, 6> columns{m_col.category, m_col.nameInitials, m_col.specInitials,
                                     m_col.code,     m_col.remark,       m_col.supplier};
    const auto boxes = texts(c);
    std::vector<std::pair<int, LikePattern>> terms; // (box, pattern) in statement order
    bool tooComplex = false;
    bool narrowable = true;
    for (int i = 0; i < 6; ++i) {
        const QString& text = *boxes[size_t(i)];
        if (text.isEmpty())
            continue;
        terms.emplace_back(i, LikePattern(QString(QLatin1Char('%') + text + QLatin1Char('%'))));
        const LikePattern& p = terms.back().second;
        tooComplex = tooComplex || p.tooComplex();
        narrowable = narrowable && p.isRegular() && !p.tooComplex() && !text.contains(QChar(0));
    }

    // Bound as the statement binds them: a null text would be a NULL, which no date equals.
    const QByteArray from = c.from.toUtf8(), to = c.to.toUtf8();
    const bool nullDate = c.byDate && (QVariant(c.from).isNull() || QVariant(c.to).isNull());
    const int day = m_col.day;
    const auto inRange = [&](int p) {
        bool isNull = false;
        if (m_table.compareText(p, day, std::string_view(from.constData(), size_t(from.size())), &isNull) < 0 || isNull)
            return false;
        return m_table.compareText(p, day, std::string_view(to.constData(), size_t(to.size())), &isNull) <= 0 &&
               !isNull;
    };
    const int baseColumn = zero == stockq::ZeroStock::Hidden ? m_col.stock : m_col.quantityIn;
    const auto base = [&](int p) {
        return zero == stockq::ZeroStock::Hidden ? notZero(m_table, p, baseColumn)
                                                 : greaterThanZero(m_table, p, baseColumn);
    };

    std::vector<int> rows;
    if (nullDate) {
        m_last.reset();
        return true;
    }
    // Which terms still have to be tested, and on which rows.
    std::vector<bool> test(terms.size(), true);
    if (narrowable && m_last && m_last->version == m_table.version() && m_last->zero == zero &&
        sameDates(m_last->conditions, c)) {
        if (filterhelpers::narrows(boxes, texts(m_last->conditions), terms, &test)) {
            rows = std::move(m_last->positions);
            m_narrowed = true;
        }
    }

    if (!m_narrowed) {
        const bool fromBase = !c.byDate && m_baseVersion == m_table.version() && m_baseZero == zero;
        if (c.byDate) {
            rows = dayOrder();
            keepIf(rows, inRange);
        } else if (fromBase) {
            rows = m_baseRows;
        } else {
            rows = m_table.positionsInRowIdOrder();
        }
        if (tooComplex) {
            // The engine fails on the first row that reaches a refused pattern;
            // test row by row in the statement's order to see whether one does.
            for (const int p : rows) {
                if (!base(p))
                    continue;
                for (const auto& [box, pattern] : terms) {
                    if (pattern.tooComplex()) {
                        *error = LikePattern::tooComplexText();
                        m_last.reset();
                        return false;
                    }
                    if (!m_table.like(p, columns[size_t(box)], pattern))
                        break;
                }
            }
        }
        if (!fromBase) {
            keepIf(rows, base);
            if (!c.byDate) {
                m_baseRows = rows;
                m_baseVersion = m_table.version();
                m_baseZero = zero;
            }
        }
    }
    for (size_t k = 0; k < terms.size(); ++k) {
        if (!test[k])
            continue;
        const int col = columns[size_t(terms[k].first)];
        const LikePattern& pattern = terms[k].second;
        m_table.filterLike(rows, col, pattern);
    }
    *positions = rows;
    if (tooComplex)
        m_last.reset();
    else
        m_last = Last{m_table.version(), zero, c, std::move(rows)};
    return true;
}
