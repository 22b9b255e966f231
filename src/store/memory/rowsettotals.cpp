#include "store/memory/rowsettotals.h"

#include "core/numbers.h"
#include "store/memory/columnsum.h"
#include "store/memory/memtable.h"
#include "store/memory/rowset.h"

#include <limits>

RowSetTotals::RowSetTotals(QObject* parent)
    : QObject(parent)
{
}

RowSetTotals::Part RowSetTotals::partOf(const QVariant& v)
{
    const ColumnSum::Part p = ColumnSum::partOf(v);
    return {p.units, p.wide, p.wideValue};
}

void RowSetTotals::add(Sum& s, const Part& p, int sign)
{
    s.units += Units(p.units) * sign;
    if (p.wide)
        s.wide += sign > 0 ? p.wideValue : -p.wideValue;
}

long double RowSetTotals::total(int index) const
{
    if (index < 0 || size_t(index) >= m_sums.size())
        return 0;
    const Sum& s = m_sums[size_t(index)];
    const bool fits =
        s.units >= Units(std::numeric_limits<qint64>::min()) && s.units <= Units(std::numeric_limits<qint64>::max());
    const long double total =
        fits ? num::Money::fromUnits(qint64(s.units)).toDecimal() : static_cast<long double>(s.units) / 10000.0L;
    return total + s.wide;
}

RowSetTotals::Part RowSetTotals::cachedPart(int field, int pos) const
{
    const Shares& sh = m_shares.at(field);
    const quint32 entry = m_table->entry(pos, field);
    Part p{sh.units[entry], false, 0};
    if (const auto it = sh.wide.find(entry); it != sh.wide.end()) {
        p.wide = true;
        p.wideValue = it->second;
    }
    return p;
}

// Reads the shares of the column's entries that are new since the last read.
void RowSetTotals::readShares(int field, Shares& sh)
{
    const quint32 n = m_table->entryCount(field);
    for (quint32 e = quint32(sh.units.size()); e < n; ++e)
        readShare(field, sh, e);
}

void RowSetTotals::readShare(int field, Shares& sh, quint32 entry)
{
    if (entry >= sh.units.size())
        sh.units.resize(size_t(entry) + 1, 0);
    const Part part = partOf(m_table->entryValue(field, entry));
    sh.units[entry] = part.units;
    if (part.wide)
        sh.wide[entry] = part.wideValue;
    else
        sh.wide.erase(entry);
}

void RowSetTotals::attachRows(const RowSet* rows)
{
    if (m_rows == rows)
        return;
    if (m_rows)
        disconnect(m_rows, nullptr, this, nullptr);
    m_rows = rows;
    if (!m_rows)
        return;
    // A sort only reorders the rows: the totals stay as they are. A view's
    // rows follow their table (tableRowWritten); a set of its own rows takes
    // a changed row's old values out and its new ones in.
    connect(m_rows, &RowSet::aboutToChangeRow, this, [this](int row) {
        if (!m_rows->isView())
            takeRow(row, -1);
    });
    connect(m_rows, &RowSet::rowChanged, this, [this](int row) {
        if (!m_rows->isView())
            takeRow(row, 1);
        emit changed();
    });
    connect(m_rows, &RowSet::aboutToRemoveRow, this, [this](int row) {
        takeRow(row, -1);
        if (const int pos = m_rows->position(row); pos >= 0 && size_t(pos) < m_inView.size())
            m_inView[size_t(pos)] = 0;
    });
    connect(m_rows, &RowSet::rowRemoved, this, [this](int) { emit changed(); });
}

void RowSetTotals::attachTable(const MemTable* table)
{
    if (m_table == table)
        return;
    if (m_table)
        disconnect(m_table, nullptr, this, nullptr);
    m_table = table;
    m_cacheLoad = ~quint64(0);
    m_shares.clear();
    if (m_table) {
        connect(m_table, &MemTable::rowAboutToChange, this, &RowSetTotals::tableRowAboutToChange);
        connect(m_table, &MemTable::rowChanged, this, &RowSetTotals::tableRowWritten);
        connect(m_table, &MemTable::rowAppended, this, &RowSetTotals::tableRowWritten);
        connect(m_table, &QObject::destroyed, this, [this] { m_table = nullptr; });
    }
}

// A shown row of the table is about to be re-read: its old shares leave the totals.
void RowSetTotals::tableRowAboutToChange(int pos)
{
    if (!m_table || m_cacheLoad != m_table->loadCount() || size_t(pos) >= m_inView.size() || !m_inView[size_t(pos)])
        return;
    for (Sum& s : m_sums)
        if (s.field >= 0 && m_shares.count(s.field))
            add(s, cachedPart(s.field, pos), -1);
}

// A row of the table was rewritten or appended: the share of its value is
// read (a new value, or a value rewritten in place), and a total it is part
// of takes it in.
void RowSetTotals::tableRowWritten(int pos)
{
    if (!m_table || m_cacheLoad != m_table->loadCount())
        return;
    const bool shown = size_t(pos) < m_inView.size() && m_inView[size_t(pos)];
    for (auto& [field, sh] : m_shares) {
        readShares(field, sh);
        readShare(field, sh, m_table->entry(pos, field));
        if (shown)
            for (Sum& s : m_sums)
                if (s.field == field)
                    add(s, cachedPart(field, pos), 1);
    }
    if (shown)
        emit changed();
}

void RowSetTotals::takeRow(int row, int sign)
{
    if (!m_rows)
        return;
    const int pos = m_rows->position(row);
    const bool cached = pos >= 0 && m_table && m_cacheLoad == m_table->loadCount();
    for (Sum& s : m_sums)
        if (s.field >= 0)
            add(s, cached ? cachedPart(s.field, pos) : partOf(m_rows->value(row, s.field)), sign);
}

void RowSetTotals::reset(const RowSet* rows, const QStringList& fields)
{
    attachRows(rows);
    m_sums.clear();
    const bool open = m_rows && m_rows->isOpen();
    attachTable(m_rows ? m_rows->viewTable() : nullptr);
    for (const QString& name : fields) {
        Sum s;
        s.field = open ? m_rows->columnIndex(name) : -1;
        m_sums.push_back(s);
    }
    if (!open)
        return;
    if (m_table) {
        // Each value's share is read once per load of the table.
        if (m_cacheLoad != m_table->loadCount()) {
            m_shares.clear();
            m_cacheLoad = m_table->loadCount();
        }
        for (const Sum& s : m_sums)
            if (s.field >= 0)
                readShares(s.field, m_shares[s.field]);
        m_inView.assign(size_t(m_table->slotCount()), 0);
        for (const int p : m_rows->positions())
            m_inView[size_t(p)] = 1;
        for (Sum& s : m_sums) {
            if (s.field < 0)
                continue;
            const Shares& sh = m_shares.at(s.field);
            const qint64* units = sh.units.data();
            Units total = 0;
            m_table->forEachEntry(s.field, m_rows->positions(), [&](quint32 e) { total += units[e]; });
            s.units = total;
            if (!sh.wide.empty())
                m_table->forEachEntry(s.field, m_rows->positions(), [&](quint32 e) {
                    if (const auto it = sh.wide.find(e); it != sh.wide.end())
                        s.wide += it->second;
                });
        }
        return;
    }
    m_inView.clear();
    // A column-oriented set has the units of its number columns at hand.
    std::vector<Sum*> rest;
    for (Sum& s : m_sums)
        if (s.field >= 0) {
            if (const auto units = m_rows->unitsTotal(s.field))
                s.units = *units;
            else
                rest.push_back(&s);
        }
    const int n = rest.empty() ? 0 : m_rows->rowCount();
    // Row by row, so that each row is read once for all its totals.
    for (int r = 0; r < n; ++r)
        for (Sum* s : rest)
            add(*s, partOf(m_rows->value(r, s->field)), 1);
}
