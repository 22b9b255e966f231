#include "store/memory/distinctvalues.h"

#include "store/memory/memtable.h"
#include "text/chinesecollation.h"

#include <QVariant>

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <utility>

namespace {

using Kind = MemTable::Kind;

quint8 classOf(Kind k)
{
    return quint8(storageClassRank(k));
}

} // namespace

QString DistinctValues::Entry::text() const
{
    switch (cls) {
    case 0:
        return {};
    case 1:
        return QVariant(number).toString();
    default:
        return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    }
}

struct DistinctValues::Column
{
    int index = -1;
    bool nocase = false;
    std::shared_ptr<std::vector<Entry>> entries = std::make_shared<std::vector<Entry>>();

    // The entries to change: copied first while a snapshot holds them.
    std::vector<Entry>& writable()
    {
        if (entries.use_count() > 1)
            entries = std::make_shared<std::vector<Entry>>(*entries);
        return *entries;
    }
};

DistinctValues::DistinctValues(const MemTable& table, QStringList columns, QObject* parent)
    : QObject(parent)
    , m_table(table)
    , m_names(std::move(columns))
{
    connect(&table, &MemTable::reloaded, this, [this] { m_builtLoad = ~quint64(0); });
    const auto each = [this](int pos, bool add) {
        if (m_builtLoad != m_table.loadCount())
            return; // built afresh when next asked
        for (const auto& c : m_columns)
            if (c->index >= 0)
                add ? this->add(*c, pos) : remove(*c, pos);
    };
    connect(&table, &MemTable::rowAppended, this, [each](int pos) { each(pos, true); });
    connect(&table, &MemTable::rowAboutToChange, this, [each](int pos) { each(pos, false); });
    connect(&table, &MemTable::rowChanged, this, [each](int pos) { each(pos, true); });
    connect(&table, &MemTable::rowRemoved, this, [each](int pos) { each(pos, false); });
}

DistinctValues::~DistinctValues() = default;

DistinctValues::Snapshot DistinctValues::values(const QString& column)
{
    if (m_builtLoad != m_table.loadCount())
        rebuild();
    const qsizetype i = m_names.indexOf(column);
    if (i < 0 || size_t(i) >= m_columns.size())
        return std::make_shared<const std::vector<Entry>>();
    return m_columns[size_t(i)]->entries;
}

int DistinctValues::compareTo(const Column& c, int pos, const Entry& e) const
{
    const quint8 cls = classOf(m_table.kind(pos, c.index));
    if (cls != e.cls)
        return cls < e.cls ? -1 : 1;
    switch (cls) {
    case 1: {
        const double v = m_table.number(pos, c.index);
        return v < e.number ? -1 : v > e.number ? 1 : 0;
    }
    case 2: {
        // Texts in Chinese order; its equality is the columns' NOCASE one.
        const std::string_view v = m_table.utf8(pos, c.index);
        return chinese::compare(QString::fromUtf8(v.data(), qsizetype(v.size())),
                                QString::fromUtf8(e.bytes.data(), qsizetype(e.bytes.size())));
    }
    case 3:
        return valueorder::collateTexts(m_table.utf8(pos, c.index), e.bytes, false);
    default:
        return 0;
    }
}

void DistinctValues::rebuild()
{
    m_columns.clear();
    for (const QString& name : m_names) {
        auto c = std::make_unique<Column>();
        c->index = m_table.isLoaded() ? m_table.columnIndex(name) : -1;
        if (c->index >= 0) {
            c->nocase = m_table.isNoCase(c->index);
            const int col = c->index;
            // Group by the column's own rule in one pass in row-identity order,
            // so the last row seen of a group is the one shown.
            std::unordered_map<std::string, size_t> groupOf;
            std::vector<Entry>& out = *c->entries;
            std::string key;
            for (const int p : m_table.positionsInRowIdOrder()) {
                const quint8 cls = classOf(m_table.kind(p, col));
                const std::string_view bytes = m_table.utf8(p, col);
                const double number = cls == 1 ? m_table.number(p, col) : 0;
                key.assign(1, char(cls));
                if (cls == 1) {
                    const double v = number == 0 ? 0.0 : number; // -0 groups with 0
                    key.append(reinterpret_cast<const char*>(&v), sizeof v);
                } else if (cls >= 2) {
                    key.append(bytes);
                    if (cls == 2 && c->nocase)
                        for (size_t i = 1; i < key.size(); ++i)
                            key[i] = char(valueorder::foldAscii(static_cast<unsigned char>(key[i])));
                }
                const auto [it, added] = groupOf.try_emplace(key, out.size());
                if (added) {
                    Entry e;
                    e.cls = cls;
                    e.number = number;
                    e.bytes = std::string(bytes);
                    out.push_back(std::move(e));
                }
                Entry& e = out[it->second];
                if (!added && e.bytes != bytes) {
                    e.mixed = true;
                    e.bytes = std::string(bytes);
                }
                ++e.count;
                e.maxRowId = m_table.rowId(p);
            }
            // NULL, numbers by value, texts in Chinese order, blobs by their bytes;
            // only the distinct values are sorted.
            // Bar codes compare by their bytes; their keys are made only when one
            // is compared with another kind of text.
            std::vector<std::optional<chinese::SortKey>> keys(out.size());
            std::vector<quint8> plain(out.size(), 0);
            for (size_t i = 0; i < out.size(); ++i)
                if (out[i].cls == 2) {
                    plain[i] = chinese::ordersAsBytes(out[i].bytes);
                    if (!plain[i])
                        keys[i].emplace(chinese::sortKey(out[i].text()));
                }
            const auto keyOf = [&](size_t i) -> const chinese::SortKey& {
                if (!keys[i])
                    keys[i].emplace(chinese::sortKey(out[i].text()));
                return *keys[i];
            };
            std::vector<size_t> order(out.size());
            for (size_t i = 0; i < order.size(); ++i)
                order[i] = i;
            std::sort(order.begin(), order.end(), [&](size_t x, size_t y) {
                const Entry& a = out[x];
                const Entry& b = out[y];
                if (a.cls != b.cls)
                    return a.cls < b.cls;
                switch (a.cls) {
                case 1:
                    return a.number < b.number;
                case 2:
                    if (plain[x] && plain[y])
                        return a.bytes < b.bytes;
                    return keyOf(x) < keyOf(y);
                case 3:
                    return valueorder::collateTexts(a.bytes, b.bytes, false) < 0;
                default:
                    return false;
                }
            });
            std::vector<Entry> sorted;
            sorted.reserve(out.size());
            for (const size_t i : order)
                sorted.push_back(std::move(out[i]));
            out = std::move(sorted);
        }
        m_columns.push_back(std::move(c));
    }
    m_builtLoad = m_table.loadCount();
}

void DistinctValues::add(Column& c, int pos)
{
    std::vector<Entry>& v = c.writable();
    const auto at =
        std::lower_bound(v.begin(), v.end(), pos, [&](const Entry& e, int p) { return compareTo(c, p, e) > 0; });
    const qint64 id = m_table.rowId(pos);
    const std::string_view bytes = m_table.utf8(pos, c.index);
    if (at != v.end() && compareTo(c, pos, *at) == 0) {
        Entry& e = *at;
        ++e.count;
        if (bytes != e.bytes) {
            e.mixed = true;
            if (e.maxRowId < 0)
                lookUpShown(c, e, -1);
        }
        if (id > e.maxRowId && e.maxRowId >= 0) {
            e.maxRowId = id;
            e.bytes = std::string(bytes);
        }
        return;
    }
    Entry e;
    e.cls = classOf(m_table.kind(pos, c.index));
    e.number = e.cls == 1 ? m_table.number(pos, c.index) : 0;
    e.bytes = std::string(bytes);
    e.count = 1;
    e.maxRowId = id;
    v.insert(at, std::move(e));
}

void DistinctValues::remove(Column& c, int pos)
{
    std::vector<Entry>& v = c.writable();
    const auto at =
        std::lower_bound(v.begin(), v.end(), pos, [&](const Entry& e, int p) { return compareTo(c, p, e) > 0; });
    if (at == v.end() || compareTo(c, pos, *at) != 0)
        return;
    Entry& e = *at;
    if (--e.count <= 0) {
        v.erase(at);
        return;
    }
    if (m_table.rowId(pos) == e.maxRowId) {
        // The shown row leaves the group: which member shows now only matters
        // when their texts differ.
        e.maxRowId = -1;
        if (e.mixed)
            lookUpShown(c, e, pos);
    }
}

// Finds the group's member with the highest row identity among the live rows
// other than `exclude` (a row about to change still holds its old value).
void DistinctValues::lookUpShown(Column& c, Entry& e, int exclude)
{
    const Entry probe = e;
    qint64 best = -1;
    int bestPos = -1;
    bool mixed = false;
    for (const int p : m_table.positionsInRowIdOrder()) {
        if (p == exclude || compareTo(c, p, probe) != 0)
            continue;
        const qint64 id = m_table.rowId(p);
        if (id > best) {
            if (bestPos >= 0 && m_table.utf8(bestPos, c.index) != m_table.utf8(p, c.index))
                mixed = true;
            best = id;
            bestPos = p;
        } else if (m_table.utf8(bestPos, c.index) != m_table.utf8(p, c.index)) {
            mixed = true;
        }
    }
    if (bestPos < 0)
        return;
    e.maxRowId = best;
    e.bytes = std::string(m_table.utf8(bestPos, c.index));
    e.mixed = mixed;
}
