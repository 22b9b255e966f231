#include "store/memory/columntable.h"

#include "core/numbers.h"

#include <algorithm>
#include <bit>
#include <numeric>

ColumnTable::ColumnTable(int rowCount)
    : m_rowCount(std::max(0, rowCount))
{
}

int ColumnTable::columnIndex(const QString& name) const
{
    for (int i = 0; i < m_names.size(); ++i)
        if (m_names.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int ColumnTable::addColumn(const QString& name, bool numbers)
{
    Column c;
    c.numbers = numbers;
    c.kinds.assign(size_t(m_rowCount), Kind::Null);
    c.cells.assign(size_t(m_rowCount), 0);
    if (numbers)
        c.units.assign(size_t(m_rowCount), 0);
    m_cols.push_back(std::move(c));
    m_names.append(name);
    return int(m_cols.size()) - 1;
}

int ColumnTable::addValueColumn(const QString& name)
{
    return addColumn(name, false);
}

int ColumnTable::addNumberColumn(const QString& name)
{
    return addColumn(name, true);
}

void ColumnTable::setText(int column, int row, std::string_view utf8)
{
    Column& c = m_cols[size_t(column)];
    c.kinds[size_t(row)] = Kind::Text;
    c.cells[size_t(row)] = quint64(c.bytes.size()) << 32 | quint64(utf8.size());
    c.bytes.append(utf8);
}

void ColumnTable::setInteger(int column, int row, qint64 value)
{
    Column& c = m_cols[size_t(column)];
    c.kinds[size_t(row)] = Kind::Integer;
    c.cells[size_t(row)] = quint64(value);
}

void ColumnTable::setReal(int column, int row, double value)
{
    Column& c = m_cols[size_t(column)];
    c.kinds[size_t(row)] = Kind::Real;
    c.cells[size_t(row)] = std::bit_cast<quint64>(value);
}

void ColumnTable::setNumber(int column, int row, double value)
{
    setReal(column, row, value);
    Column& c = m_cols[size_t(column)];
    if (const auto m = num::Money::fromDecimal(value))
        c.units[size_t(row)] = m->units();
    else
        c.allUnits = false;
}

void ColumnTable::setUnits(int column, int row, qint64 units)
{
    // Below 2^51 units the double nearest units / 10000, multiplied back
    // (exactly, in long double), is within a quarter unit of them, so Money
    // reads the same units from it; beyond, it is converted back.
    constexpr qint64 kExact = qint64(1) << 51;
    if (units <= -kExact || units >= kExact) {
        setNumber(column, row, double(static_cast<long double>(units) / 10000.0L));
        return;
    }
    Column& c = m_cols[size_t(column)];
    c.kinds[size_t(row)] = Kind::Units;
    c.units[size_t(row)] = units;
}

void ColumnTable::setRanks(int column, std::vector<int> ranks)
{
    m_cols[size_t(column)].ranks = std::move(ranks);
}

const std::vector<int>* ColumnTable::ranks(int column) const
{
    const Column& c = m_cols[size_t(column)];
    return c.ranks ? &*c.ranks : nullptr;
}

void ColumnTable::setOrder(std::vector<int> order)
{
    m_order = std::move(order);
}

std::vector<int> ColumnTable::order() const
{
    if (!m_order.empty())
        return m_order;
    std::vector<int> own(static_cast<size_t>(m_rowCount));
    std::iota(own.begin(), own.end(), 0);
    return own;
}

QVariant ColumnTable::value(int row, int column) const
{
    if (row < 0 || row >= m_rowCount || column < 0 || size_t(column) >= m_cols.size())
        return {};
    const Column& c = m_cols[size_t(column)];
    const quint64 cell = c.cells[size_t(row)];
    switch (c.kinds[size_t(row)]) {
    case Kind::Null:
        return {};
    case Kind::Integer:
        return QVariant(qint64(cell));
    case Kind::Real:
        return QVariant(std::bit_cast<double>(cell));
    case Kind::Text:
        return QVariant(QString::fromUtf8(c.bytes.data() + (cell >> 32), qsizetype(cell & 0xffffffffu)));
    case Kind::Units:
        return QVariant(double(static_cast<long double>(c.units[size_t(row)]) / 10000.0L));
    }
    return {};
}

const std::vector<qint64>* ColumnTable::units(int column) const
{
    const Column& c = m_cols[size_t(column)];
    return c.numbers && c.allUnits ? &c.units : nullptr;
}
