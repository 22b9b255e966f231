#include "store/memory/sortranks.h"

#include "store/memory/memtable.h"
#include "text/chinesecollation.h"

#include <algorithm>
#include <numeric>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace {

// The text order: Chinese, as everywhere in the program.
using TextKey = chinese::SortKey;

} // namespace

struct SortRanks::Column
{
    bool keyed = false;
    bool ranked = false;
    std::vector<quint8> cls;
    std::vector<double> numbers;
    // Texts: each row holds the number of its distinct text; the collation key
    // is computed once per distinct text, and the distinct texts are ranked
    // among themselves, so rows compare by an integer.
    std::vector<int> textIds;
    std::unordered_map<std::string, int> idOf;
    std::vector<std::optional<TextKey>> keys; // made when needed: bar codes compare by their bytes
    std::vector<std::string_view> bytesOf;    // by text number, into idOf's keys
    std::vector<quint8> plain;                // by text number: chinese::ordersAsBytes()
    std::vector<int> textRank;                // by text number
    std::vector<int> rank;
    bool textsRanked = false;

    int textId(std::string_view bytes)
    {
        const auto [it, added] = idOf.try_emplace(std::string(bytes), int(keys.size()));
        if (added) {
            bytesOf.emplace_back(it->first);
            plain.push_back(chinese::ordersAsBytes(bytes));
            keys.emplace_back();
            textsRanked = false;
        }
        return it->second;
    }
    const TextKey& keyOf(size_t i)
    {
        if (!keys[i])
            keys[i].emplace(QString::fromUtf8(bytesOf[i].data(), qsizetype(bytesOf[i].size())));
        return *keys[i];
    }
    int compareTexts(size_t a, size_t b)
    {
        if (plain[a] && plain[b])
            return bytesOf[a] < bytesOf[b] ? -1 : bytesOf[a] > bytesOf[b] ? 1 : 0;
        return keyOf(a).compare(keyOf(b));
    }
    void rankTexts()
    {
        if (textsRanked)
            return;
        std::vector<int> order(keys.size());
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(), [&](int a, int b) { return compareTexts(size_t(a), size_t(b)) < 0; });
        textRank.assign(keys.size(), 0);
        int r = 0;
        for (size_t i = 0; i < order.size(); ++i) {
            if (i > 0 && compareTexts(size_t(order[i - 1]), size_t(order[i])) != 0)
                ++r;
            textRank[size_t(order[i])] = r;
        }
        textsRanked = true;
    }
    void setKey(const MemTable& t, int c, int pos)
    {
        const auto p = size_t(pos);
        if (p >= cls.size()) {
            cls.resize(p + 1, 0);
            numbers.resize(p + 1, 0);
            textIds.resize(p + 1, -1);
        }
        cls[p] = quint8(storageClassRank(t.kind(pos, c)));
        numbers[p] = cls[p] == valueorder::kNumberRank ? t.number(pos, c) : 0;
        // Texts and blobs alike keep the number of their bytes: texts rank
        // in Chinese order, blobs by their bytes.
        textIds[p] = cls[p] >= valueorder::kTextRank ? textId(t.utf8(pos, c)) : -1;
    }
    int compare(int a, int b) const
    {
        const auto x = size_t(a), y = size_t(b);
        if (cls[x] != cls[y])
            return cls[x] < cls[y] ? -1 : 1;
        switch (cls[x]) {
        case valueorder::kNumberRank:
            return numbers[x] < numbers[y] ? -1 : numbers[x] > numbers[y] ? 1 : 0;
        case valueorder::kTextRank: {
            const int r = textRank[size_t(textIds[x])], o = textRank[size_t(textIds[y])];
            return r < o ? -1 : r > o ? 1 : 0;
        }
        case valueorder::kBlobRank:
            return valueorder::collateTexts(bytesOf[size_t(textIds[x])], bytesOf[size_t(textIds[y])], false);
        default:
            return 0;
        }
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
        // A row that keeps its value here (a sale rewrites the figures of a
        // stock row, not its article) leaves the column's ranks as they are.
        const auto p = size_t(pos);
        const bool ranked = p < col->rank.size();
        const quint8 cls = ranked ? col->cls[p] : 0;
        const double number = ranked ? col->numbers[p] : 0;
        const int text = ranked ? col->textIds[p] : -1;
        col->setKey(m_table, int(c), pos);
        if (!ranked || col->cls[p] != cls || !(col->numbers[p] == number) || col->textIds[p] != text)
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
        col.textIds.assign(size_t(n), -1);
        for (int p = 0; p < n; ++p)
            col.setKey(m_table, c, p);
        col.keyed = true;
    }
    col.rankTexts();
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
