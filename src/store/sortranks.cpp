#include "store/sortranks.h"

#include "store/chinesecollation.h"
#include "store/memtable.h"


#include <algorithm>
#include <numeric>
#include <optional>

namespace {

// The text order: Chinese, as everywhere in the program.
using TextKey = chinese::SortKey;

using Kind = MemTable::Kind;

int classOf(Kind k)
{
    switch (k) {
    case Kind::Null:
        return 0;
    case Kind::Integer:
    case Kind::Real:
        return 1;
    case Kind::Text:
    case Kind::Blob:
        return 2;
    }
    return 0;
}

} // namespace

struct SortRanks::Column
{
    bool keyed = false;
    bool ranked = false;
    std::vector<quint8> cls;
    std::vector<double> numbers;
    std::vector<std::optional<TextKey>> texts;
    std::vector<int> rank;

    void setKey(const MemTable& t, int c, int pos)
    {
        const auto p = size_t(pos);
        if (p >= cls.size()) {
            cls.resize(p + 1, 0);
            numbers.resize(p + 1, 0);
            texts.resize(p + 1);
        }
        cls[p] = quint8(classOf(t.kind(pos, c)));
        numbers[p] = cls[p] == 1 ? t.number(pos, c) : 0;
        if (cls[p] == 2)
            texts[p].emplace(t.value(pos, c).toString());
        else
            texts[p].reset();
    }
    int compare(int a, int b) const
    {
        const auto x = size_t(a), y = size_t(b);
        if (cls[x] != cls[y])
            return cls[x] < cls[y] ? -1 : 1;
        if (cls[x] == 1)
            return numbers[x] < numbers[y] ? -1 : numbers[x] > numbers[y] ? 1 : 0;
        if (cls[x] == 2)
            return texts[x]->compare(*texts[y]);
        return 0;
    }
};

SortRanks::SortRanks(const MemTable& table, QObject* parent)
    : QObject(parent)
    , m_table(table)
{
    connect(&table, &MemTable::reloaded, this, &SortRanks::dropAll);
    connect(&table, &MemTable::rowChanged, this, &SortRanks::rowWritten);
    connect(&table, &MemTable::rowAppended, this, &SortRanks::rowWritten);
}

SortRanks::~SortRanks() = default;

void SortRanks::dropAll()
{
    m_columns.clear();
}

SortRanks::Column& SortRanks::column(int c)
{
    if (size_t(c) >= m_columns.size())
        m_columns.resize(size_t(c) + 1);
    if (!m_columns[size_t(c)])
        m_columns[size_t(c)] = std::make_unique<Column>();
    return *m_columns[size_t(c)];
}

void SortRanks::rowWritten(int pos)
{
    for (size_t c = 0; c < m_columns.size(); ++c) {
        Column* col = m_columns[c].get();
        if (!col || !col->keyed)
            continue;
        col->setKey(m_table, int(c), pos);
        col->ranked = false;
    }
}

bool SortRanks::isRanked(int c) const
{
    return size_t(c) < m_columns.size() && m_columns[size_t(c)] && m_columns[size_t(c)]->ranked;
}

const std::vector<int>& SortRanks::ranks(int c)
{
    Column& col = column(c);
    if (col.ranked)
        return col.rank;
    const int n = m_table.slotCount();
    if (!col.keyed) {
        col.cls.assign(size_t(n), 0);
        col.numbers.assign(size_t(n), 0);
        col.texts.clear();
        col.texts.resize(size_t(n));
        for (int p = 0; p < n; ++p)
            col.setKey(m_table, c, p);
        col.keyed = true;
    }
    std::vector<int> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) { return col.compare(a, b) < 0; });
    col.rank.assign(size_t(n), 0);
    int r = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        if (i > 0 && col.compare(order[i - 1], order[i]) != 0)
            ++r;
        col.rank[size_t(order[i])] = r;
    }
    col.ranked = true;
    return col.rank;
}
