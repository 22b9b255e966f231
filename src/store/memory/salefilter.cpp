#include "store/memory/salefilter.h"

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

// The engine's `value > 0` (sign 1) and `value < 0` (sign -1): NULL is never
// true; a text or blob is greater than any number.
bool hasSign(const MemTable& t, int pos, int col, int sign)
{
    switch (t.kind(pos, col)) {
    case Kind::Null:
        return false;
    case Kind::Integer:
        return sign > 0 ? t.integer(pos, col) > 0 : t.integer(pos, col) < 0;
    case Kind::Real:
        return sign > 0 ? t.number(pos, col) > 0 : t.number(pos, col) < 0;
    default:
        return sign > 0;
    }
}

// The text boxes in the order the statement lists their conditions.
std::array<const QString*, 6> texts(const salesq::Conditions& c)
{
    return {&c.category, &c.nameInitials, &c.code, &c.specInitials, &c.customer, &c.remark};
}

LikePattern contains(const QString& text)
{
    return LikePattern(QString(QLatin1Char('%') + text + QLatin1Char('%')));
}

} // namespace

SaleFilter::SaleFilter(const MemTable& table)
    : m_table(table)
{
}

SaleFilter::~SaleFilter() = default;

bool SaleFilter::resolveColumns(QString* error)
{
    if (m_columnsLoad == m_table.loadCount() && m_col.day >= 0)
        return true;
    const auto find = [&](QLatin1StringView name, int* out) {
        *out = m_table.columnIndex(name);
        if (*out < 0)
            *error = QStringLiteral("no such column: %1").arg(name);
        return *out >= 0;
    };
    using namespace salecol;
    if (!(find(category, &m_col.category) && find(nameInitials, &m_col.nameInitials) && find(code, &m_col.code) &&
          find(modelInitials, &m_col.specInitials) && find(customer, &m_col.customer) &&
          find(customerRemark, &m_col.remark) && find(quantity, &m_col.quantity) &&
          find(saleNumber, &m_col.saleNumber) && find(saleDate, &m_col.day))) {
        m_col.day = -1;
        return false;
    }
    m_columnsLoad = m_table.loadCount();
    return true;
}

const std::vector<int>& SaleFilter::dayOrder()
{
    if (m_dayOrderVersion != m_table.version()) {
        // "order by day1, rowid": the date under the column's collation, then the row identity.
        m_dayOrder = m_table.positionsInRowIdOrder();
        const int day = m_col.day;
        const auto before = [&](int a, int b) { return m_table.compareCells(a, b, day) < 0; };
        // Sales are recorded day by day, so the rows are mostly in date order already.
        if (!std::is_sorted(m_dayOrder.begin(), m_dayOrder.end(), before))
            std::stable_sort(m_dayOrder.begin(), m_dayOrder.end(), before);
        m_dayOrderVersion = m_table.version();
    }
    return m_dayOrder;
}

const std::vector<int>& SaleFilter::baseRows(int sign)
{
    const int i = sign > 0 ? 0 : 1;
    if (m_baseVersion[i] != m_table.version()) {
        m_base[i] = m_table.positionsInRowIdOrder();
        const int quantity = m_col.quantity;
        keepIf(m_base[i], [&](int p) { return hasSign(m_table, p, quantity, sign); });
        m_baseVersion[i] = m_table.version();
    }
    return m_base[i];
}

bool SaleFilter::run(const salesq::Query& q, std::vector<int>* positions, QString* error)
{
    m_narrowed = false;
    positions->clear();
    if (!resolveColumns(error)) {
        m_last.reset();
        return false;
    }
    using salesq::Kind;
    switch (q.kind) {
    case Kind::ThisMonth: {
        const Statement st = salesq::statement(q);
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

bool SaleFilter::search(int sign, const salesq::Conditions& c, std::vector<int>* positions, QString* error)
{
    const std::array<int, 6> columns{m_col.category,     m_col.nameInitials, m_col.code,
                                     m_col.specInitials, m_col.customer,     m_col.remark};
    const auto boxes = texts(c);
    std::vector<std::pair<int, LikePattern>> terms; // (box, pattern) in statement order
    bool tooComplex = false;
    bool narrowable = true;
    for (int i = 0; i < 6; ++i) {
        const QString& text = *boxes[size_t(i)];
        if (text.isEmpty())
            continue;
        terms.emplace_back(i, contains(text));
        const LikePattern& p = terms.back().second;
        tooComplex = tooComplex || p.tooComplex();
        narrowable = narrowable && p.isRegular() && !p.tooComplex() && !text.contains(QChar(0));
    }

    // Bound as the statement binds them: a null text is a NULL, which no date equals.
    if (c.byDate && (QVariant(c.from).isNull() || QVariant(c.to).isNull())) {
        m_last.reset();
        return true;
    }
    const QByteArray from = c.from.toUtf8(), to = c.to.toUtf8();
    const int day = m_col.day;

    std::vector<int> rows;
    std::vector<bool> test(terms.size(), true);
    if (narrowable && m_last && m_last->version == m_table.version() && m_last->sign == sign &&
        sameDates(m_last->conditions, c)) {
        if (filterhelpers::narrows(boxes, texts(m_last->conditions), terms, &test)) {
            rows = std::move(m_last->positions);
            m_narrowed = true;
        }
    }
    if (!m_narrowed) {
        if (c.byDate) {
            // The range is one run of the date order (NULL and numbers sort
            // before every text, blobs after), taken in row-identity order.
            const std::vector<int>& order = dayOrder();
            const std::string_view fromText(from.constData(), size_t(from.size()));
            const std::string_view toText(to.constData(), size_t(to.size()));
            const auto lo = std::partition_point(order.begin(), order.end(), [&](int p) {
                bool isNull = false;
                return m_table.compareText(p, day, fromText, &isNull) < 0 || isNull;
            });
            const auto hi = std::partition_point(lo, order.end(), [&](int p) {
                bool isNull = false;
                return m_table.compareText(p, day, toText, &isNull) <= 0 && !isNull;
            });
            rows.assign(lo, hi);
            const int quantity = m_col.quantity;
            keepIf(rows, [&](int p) { return hasSign(m_table, p, quantity, sign); });
            std::sort(rows.begin(), rows.end(), [&](int a, int b) { return m_table.rowId(a) < m_table.rowId(b); });
        } else {
            rows = baseRows(sign);
        }
        if (tooComplex) {
            // The engine fails on the first row that reaches a refused pattern.
            for (const int p : rows) {
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
    }
    for (size_t k = 0; k < terms.size(); ++k)
        if (test[k])
            m_table.filterLike(rows, columns[size_t(terms[k].first)], terms[k].second);
    *positions = rows;
    if (tooComplex)
        m_last.reset();
    else
        m_last = Last{m_table.version(), sign, c, std::move(rows)};
    return true;
}
