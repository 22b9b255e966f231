#include "store/memory/rowset.h"

#include "store/db/database.h"
#include "store/memory/memtable.h"
#include "store/memory/sortranks.h"
#include "text/chinesecollation.h"

#include <QVariantMap>

#include <algorithm>
#include <numeric>
#include <optional>
#include <vector>

namespace {
const QString kIdentityColumn = QStringLiteral("_rid");

bool isNumber(const QVariant& v)
{
    const int t = v.typeId();
    return t == QMetaType::Double || t == QMetaType::LongLong || t == QMetaType::Int;
}
} // namespace

int compareValues(const QVariant& a, const QVariant& b)
{
    const bool an = a.isNull(), bn = b.isNull();
    if (an || bn)
        return an == bn ? 0 : (an ? -1 : 1);
    if (isNumber(a) && isNumber(b)) {
        const double x = a.toDouble(), y = b.toDouble();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    if (isNumber(a) != isNumber(b))
        return isNumber(a) ? -1 : 1;
    return chinese::compare(a.toString(), b.toString());
}

namespace {
// One value of the sorted column, prepared once per sort: texts carry their
// collation key, so comparing two rows never calls the collator.
struct SortValue
{
    enum Kind { Empty, Number, Text } kind = Empty;
    double number = 0;
    std::optional<chinese::SortKey> text;

    explicit SortValue(const QVariant& v)
    {
        if (v.isNull())
            return;
        if (isNumber(v)) {
            kind = Number;
            number = v.toDouble();
        } else {
            kind = Text;
            text.emplace(v.toString());
        }
    }

    // The order of compareValues().
    int compare(const SortValue& o) const
    {
        if (kind != o.kind)
            return kind < o.kind ? -1 : 1;
        if (kind == Number)
            return number < o.number ? -1 : (number > o.number ? 1 : 0);
        if (kind == Text)
            return text->compare(*o.text);
        return 0;
    }
};
} // namespace

RowSet::RowSet(QString name, QString writeTable, QObject* parent)
    : QObject(parent)
    , m_name(std::move(name))
    , m_writeTable(std::move(writeTable))
{
}

int RowSet::columnIndex(const QString& field) const
{
    if (m_table)
        return m_table->columnIndex(field);
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns.at(i).compare(field, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QVariant RowSet::value(int row, int column) const
{
    if (m_table) {
        if (row < 0 || size_t(row) >= m_positions.size() || column < 0 || column >= m_columns.size())
            return {};
        return m_table->value(m_positions[size_t(row)], column);
    }
    if (m_columnTable)
        return row >= 0 && size_t(row) < m_positions.size() ? m_columnTable->value(m_positions[size_t(row)], column)
                                                            : QVariant();
    if (row < 0 || row >= m_rows.size() || column < 0 || column >= m_columns.size())
        return {};
    return m_rows.at(row).at(column);
}

QVariant RowSet::value(int row, const QString& field) const
{
    return value(row, columnIndex(field));
}

qint64 RowSet::rowId(int row) const
{
    if (m_table)
        return row >= 0 && size_t(row) < m_positions.size() ? m_table->rowId(m_positions[size_t(row)]) : -1;
    return row >= 0 && row < m_ids.size() ? m_ids.at(row) : -1;
}

int RowSet::rowOf(qint64 id) const
{
    if (m_table)
        return id < 0 ? -1 : rowOfPosition(m_table->position(id));
    return id < 0 ? -1 : int(m_ids.indexOf(id));
}

int RowSet::position(int row) const
{
    return m_table && row >= 0 && size_t(row) < m_positions.size() ? m_positions[size_t(row)] : -1;
}

int RowSet::rowOfPosition(int pos) const
{
    if (pos < 0)
        return -1;
    const auto at = std::find(m_positions.begin(), m_positions.end(), pos);
    return at == m_positions.end() ? -1 : int(at - m_positions.begin());
}

void RowSet::setCurrent(int row)
{
    if (rowCount() == 0)
        row = -1;
    else
        row = std::clamp(row, 0, rowCount() - 1);
    if (row == m_current)
        return;
    m_current = row;
    emit currentChanged(row);
}

void RowSet::sort(const QString& sortOrder)
{
    QString field = sortOrder.trimmed();
    bool descending = false;
    if (field.endsWith(QLatin1String(" DESC"), Qt::CaseInsensitive)) {
        descending = true;
        field.chop(5);
        field = field.trimmed();
    }
    const int col = columnIndex(field);
    if (col < 0)
        return;
    if (m_table) {
        sortPositions(m_ranks->ranks(col), descending);
        m_sort = sortOrder;
        return;
    }
    if (m_columnTable) {
        if (!m_columnTable->ranks(col)) {
            // Ranked once per column: a second click only reorders.
            std::vector<SortValue> keys;
            keys.reserve(size_t(m_columnTable->rowCount()));
            for (int r = 0; r < m_columnTable->rowCount(); ++r)
                keys.emplace_back(m_columnTable->value(r, col));
            std::vector<int> order(keys.size());
            std::iota(order.begin(), order.end(), 0);
            std::sort(order.begin(), order.end(),
                      [&](int x, int y) { return keys[size_t(x)].compare(keys[size_t(y)]) < 0; });
            std::vector<int> rank(keys.size(), 0);
            for (size_t i = 1; i < order.size(); ++i)
                rank[size_t(order[i])] =
                    rank[size_t(order[i - 1])] + (keys[size_t(order[i - 1])].compare(keys[size_t(order[i])]) != 0);
            m_columnTable->setRanks(col, std::move(rank));
        }
        sortPositions(*m_columnTable->ranks(col), descending);
        m_sort = sortOrder;
        return;
    }
    emit aboutToReorder();
    const int currentRow = m_current;
    std::vector<SortValue> keys;
    keys.reserve(m_rows.size());
    for (const auto& row : std::as_const(m_rows))
        keys.emplace_back(row.at(col));
    QVector<int> order(m_rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
        const int c = keys[size_t(x)].compare(keys[size_t(y)]);
        return descending ? c > 0 : c < 0;
    });
    QVector<QVector<QVariant>> rows;
    QVector<qint64> ids;
    rows.reserve(order.size());
    ids.reserve(order.size());
    int newCurrent = -1;
    for (int i = 0; i < order.size(); ++i) {
        rows.append(std::move(m_rows[order.at(i)]));
        ids.append(m_ids.isEmpty() ? -1 : m_ids.at(order.at(i)));
        if (order.at(i) == currentRow)
            newCurrent = i;
    }
    m_rows = std::move(rows);
    if (!m_ids.isEmpty())
        m_ids = std::move(ids);
    m_sort = sortOrder;
    m_current = newCurrent;
    emit reordered();
    emit currentChanged(m_current);
}

void RowSet::sortPositions(const std::vector<int>& rank, bool descending)
{
    emit aboutToReorder();
    const int currentPos = m_current >= 0 ? m_positions[size_t(m_current)] : -1;
    // Stable: rows of equal value keep their order, in either direction.
    if (descending)
        std::stable_sort(m_positions.begin(), m_positions.end(),
                         [&](int a, int b) { return rank[size_t(a)] > rank[size_t(b)]; });
    else
        std::stable_sort(m_positions.begin(), m_positions.end(),
                         [&](int a, int b) { return rank[size_t(a)] < rank[size_t(b)]; });
    m_current = rowOfPosition(currentPos);
    emit reordered();
    emit currentChanged(m_current);
}

void RowSet::detachView()
{
    if (m_table)
        disconnect(m_table, nullptr, this, nullptr);
    m_table = nullptr;
    m_ranks = nullptr;
    m_positions = {};
    m_columnTable.reset();
}

void RowSet::showPositions(const MemTable& table, SortRanks& ranks, std::vector<int> positions)
{
    emit aboutToReset();
    if (m_table != &table) {
        detachView();
        m_table = &table;
        connect(&table, &MemTable::rowAboutToChange, this, [this](int pos) {
            if (const int row = rowOfPosition(pos); row >= 0)
                emit aboutToChangeRow(row);
        });
        connect(&table, &MemTable::rowChanged, this, [this](int pos) {
            if (const int row = rowOfPosition(pos); row >= 0)
                emit rowChanged(row);
        });
        connect(&table, &MemTable::rowRemoved, this, [this](int pos) { removeRow(rowOfPosition(pos)); });
        // A load clears the table first: nothing of it is read until the
        // owner shows new positions.
        connect(&table, &MemTable::aboutToReload, this, &RowSet::close);
        connect(&table, &MemTable::reloaded, this, [this] {
            // Positions from before the reload mean nothing now.
            if (m_table && m_viewLoad != m_table->loadCount())
                close();
        });
    }
    m_ranks = &ranks;
    m_viewLoad = table.loadCount();
    m_sort.clear();
    m_open = true;
    m_columns = table.columns();
    m_rows.clear();
    m_ids.clear();
    m_positions = std::move(positions);
    m_current = m_positions.empty() ? -1 : 0;
    emit resetDone();
    emit currentChanged(m_current);
}

void RowSet::close()
{
    if (!m_open && m_rows.isEmpty() && m_positions.empty())
        return;
    emit aboutToReset();
    m_open = false;
    m_columns.clear();
    m_rows.clear();
    m_ids.clear();
    m_positions.clear();
    m_columnTable.reset();
    m_sort.clear();
    m_current = -1;
    emit resetDone();
    emit currentChanged(-1);
}

void RowSet::load(QueryResult&& result)
{
    emit aboutToReset();
    detachView();
    m_sort.clear();
    m_open = true;
    m_ids.clear();
    const int idCol = int(result.columns.indexOf(kIdentityColumn));
    if (idCol >= 0) {
        result.columns.removeAt(idCol);
        m_ids.reserve(result.rows.size());
        for (auto& row : result.rows) {
            m_ids.append(row.at(idCol).toLongLong());
            row.removeAt(idCol);
        }
    }
    m_columns = std::move(result.columns);
    m_rows = std::move(result.rows);
    m_current = m_rows.isEmpty() ? -1 : 0;
    emit resetDone();
    emit currentChanged(m_current);
}

void RowSet::loadColumns(ColumnTable&& table)
{
    emit aboutToReset();
    detachView();
    m_sort.clear();
    m_open = true;
    m_rows.clear();
    m_ids.clear();
    m_columns = table.columns();
    m_columnTable = std::make_unique<ColumnTable>(std::move(table));
    m_positions = m_columnTable->order();
    m_current = m_positions.empty() ? -1 : 0;
    emit resetDone();
    emit currentChanged(m_current);
}

std::optional<qint64> RowSet::unitsTotal(int column) const
{
    const std::vector<qint64>* units =
        m_columnTable && column >= 0 && column < m_columns.size() ? m_columnTable->units(column) : nullptr;
    if (!units)
        return std::nullopt;
    qint64 total = 0;
    const auto add = [&](int row) { return !__builtin_add_overflow(total, (*units)[size_t(row)], &total); };
    if (int(m_positions.size()) == m_columnTable->rowCount()) {
        // Every row is shown: in the table's order, front to back.
        for (int row = 0; row < m_columnTable->rowCount(); ++row)
            if (!add(row))
                return std::nullopt;
    } else {
        for (const int row : m_positions)
            if (!add(row))
                return std::nullopt;
    }
    return total;
}

void RowSet::replaceRow(int row, const QVariantMap& values)
{
    if (m_table || m_columnTable || row < 0 || row >= m_rows.size())
        return; // a view shows what its table holds; a column-oriented set is read-only
    emit aboutToChangeRow(row);
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const int col = columnIndex(it.key());
        if (col >= 0)
            m_rows[row][col] = it.value();
    }
    emit rowChanged(row);
}

void RowSet::removeRow(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    emit aboutToRemoveRow(row);
    if (m_table || m_columnTable) {
        m_positions.erase(m_positions.begin() + row);
    } else {
        m_rows.removeAt(row);
        if (!m_ids.isEmpty())
            m_ids.removeAt(row);
    }
    if (m_current >= rowCount())
        m_current = rowCount() - 1;
    emit rowRemoved(row);
    emit currentChanged(m_current);
}
