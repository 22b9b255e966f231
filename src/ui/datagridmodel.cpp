#include "ui/datagridmodel.h"

#include "core/numbers.h"
#include "store/memory/columnsum.h"
#include "store/memory/memtable.h"
#include "store/memory/rowset.h"

#include <QBrush>
#include <QDate>

#include <limits>
#include <optional>
#include <vector>

QString GridColumn::groupTitle() const
{
    const qsizetype bar = title.indexOf(u'|');
    return bar < 0 ? QString() : title.left(bar);
}

QString GridColumn::columnTitle() const
{
    const qsizetype bar = title.indexOf(u'|');
    return bar < 0 ? title : title.mid(bar + 1);
}

namespace {

QString formatted(const QVariant& value, GridColumn::Format format)
{
    switch (format) {
    case GridColumn::Format::General:
        return num::general(value);
    case GridColumn::Format::Quantity:
        return num::quantityText(value);
    case GridColumn::Format::Amount:
        return num::amountText(value);
    case GridColumn::Format::Date:
        if (value.typeId() == QMetaType::QDate)
            return num::dateText(value.toDate());
        return value.toString();
    case GridColumn::Format::Text:
        break;
    }
    return value.toString();
}

QString sumText(long double sum, GridColumn::Format format)
{
    switch (format) {
    case GridColumn::Format::Quantity:
        return num::quantityText(sum);
    case GridColumn::Format::Amount:
        return num::amountText(sum);
    default:
        return num::general(sum);
    }
}

} // namespace

DataGridModel::DataGridModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

void DataGridModel::setColumns(QList<GridColumn> columns)
{
    beginResetModel();
    m_columns = std::move(columns);
    m_markers = QVector<int>(m_columns.size(), 0);
    forgetTexts(); // formats may differ
    mapFields();
    computeFooter();
    endResetModel();
    emit footerChanged();
}

int DataGridModel::columnOf(const QString& field) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns.at(i).field.compare(field, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void DataGridModel::setRowSet(RowSet* rows)
{
    if (m_rows == rows)
        return;
    beginResetModel();
    if (m_rows)
        disconnect(m_rows, nullptr, this, nullptr);
    m_rows = rows;
    forgetTexts();
    if (m_rows) {
        connect(m_rows, &RowSet::aboutToReset, this, [this] {
            emit rowSetChangeStarted();
            m_rowsOnlyReset = true;
            beginResetModel();
        });
        connect(m_rows, &RowSet::resetDone, this, [this] {
            mapFields();
            computeFooter();
            endResetModel();
            m_rowsOnlyReset = false;
            emit footerChanged();
            emit rowSetChangeFinished();
        });
        // A sort only reorders the rows: the totals stay as they are.
        connect(m_rows, &RowSet::aboutToReorder, this, [this] {
            emit rowSetChangeStarted();
            m_rowsOnlyReset = true;
            beginResetModel();
        });
        connect(m_rows, &RowSet::reordered, this, [this] {
            endResetModel();
            m_rowsOnlyReset = false;
            emit rowSetChangeFinished();
        });
        connect(m_rows, &RowSet::aboutToChangeRow, this, [this](int row) {
            if (!m_rows->isView())
                takeRow(row, -1);
        });
        connect(m_rows, &RowSet::rowChanged, this, [this](int row) {
            if (!m_columns.isEmpty())
                emit dataChanged(index(row, 0), index(row, int(m_columns.size()) - 1));
            if (!m_rows->isView()) // a view's totals follow its table
                takeRow(row, 1);
            updateFooterTexts();
            emit footerChanged();
        });
        connect(m_rows, &RowSet::aboutToRemoveRow, this, [this](int row) {
            emit rowSetChangeStarted();
            takeRow(row, -1);
            if (const int pos = m_rows->position(row); pos >= 0 && size_t(pos) < m_inView.size())
                m_inView[size_t(pos)] = 0;
            beginRemoveRows({}, row, row);
        });
        connect(m_rows, &RowSet::rowRemoved, this, [this](int) {
            endRemoveRows();
            updateFooterTexts();
            emit footerChanged();
            emit rowSetChangeFinished();
        });
        // A set deleted under the model: forget its rows before they vanish.
        connect(m_rows, &QObject::destroyed, this, [this] {
            beginResetModel();
            m_rows = nullptr;
            mapFields();
            computeFooter();
            endResetModel();
            emit footerChanged();
        });
    }
    mapFields();
    computeFooter();
    endResetModel();
    emit footerChanged();
}

void DataGridModel::setRowTextColor(RowColorFunction function)
{
    m_rowColor = std::move(function);
    if (rowCount() > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::ForegroundRole});
}

int DataGridModel::sortMarker(int column) const
{
    return column >= 0 && column < m_markers.size() ? m_markers.at(column) : 0;
}

void DataGridModel::setSortMarker(int column, int marker)
{
    if (column < 0 || column >= m_markers.size() || m_markers.at(column) == marker)
        return;
    m_markers[column] = marker;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

void DataGridModel::forgetTexts()
{
    m_texts.clear();
    m_textsLoad = ~quint64(0);
}

void DataGridModel::mapFields()
{
    QVector<int> fields(m_columns.size(), -1);
    if (m_rows)
        for (int c = 0; c < m_columns.size(); ++c)
            fields[c] = m_rows->columnIndex(m_columns.at(c).field);
    // A new search shows other rows of the same columns: the texts stay.
    if (fields != m_fieldIndex)
        forgetTexts();
    m_fieldIndex = std::move(fields);
}

DataGridModel::Part DataGridModel::partOf(const QVariant& v)
{
    // The engine's sum(): the rule the summary, the charts and the sales
    // totals add by.
    const ColumnSum::Part p = ColumnSum::partOf(v);
    if (p.wide)
        return {0, p.wideValue};
    return {p.units, std::nullopt};
}

void DataGridModel::addPart(Sum& s, const Part& p, int sign)
{
    s.units += Units(p.units) * sign;
    if (p.wide) {
        s.wide += sign > 0 ? *p.wide : -*p.wide;
        s.hasWide = true;
    }
}

DataGridModel::Part DataGridModel::cachedPart(int field, int pos) const
{
    const Shares& sh = m_shares.at(field);
    const quint32 entry = m_table->entry(pos, field);
    Part p{sh.units[entry], std::nullopt};
    if (const auto it = sh.wide.find(entry); it != sh.wide.end())
        p.wide = it->second;
    return p;
}

// Reads the shares of the column's entries that are new since the last read.
void DataGridModel::readShares(int field, Shares& sh)
{
    const quint32 n = m_table->entryCount(field);
    for (quint32 e = quint32(sh.units.size()); e < n; ++e)
        readShare(field, sh, e);
}

void DataGridModel::readShare(int field, Shares& sh, quint32 entry)
{
    if (entry >= sh.units.size())
        sh.units.resize(size_t(entry) + 1, 0);
    const Part part = partOf(m_table->entryValue(field, entry));
    sh.units[entry] = part.units;
    if (part.wide)
        sh.wide[entry] = *part.wide;
    else
        sh.wide.erase(entry);
}

void DataGridModel::attachTable(const MemTable* table)
{
    if (m_table == table)
        return;
    if (m_table)
        disconnect(m_table, nullptr, this, nullptr);
    m_table = table;
    m_cacheLoad = ~quint64(0);
    m_shares.clear();
    forgetTexts();
    if (m_table) {
        connect(m_table, &MemTable::rowAboutToChange, this, &DataGridModel::tableRowAboutToChange);
        connect(m_table, &MemTable::rowChanged, this, &DataGridModel::tableRowWritten);
        connect(m_table, &MemTable::rowAppended, this, &DataGridModel::tableRowWritten);
        connect(m_table, &QObject::destroyed, this, [this] { m_table = nullptr; });
    }
}

// A shown row of the table is about to be re-read: its old shares leave the totals.
void DataGridModel::tableRowAboutToChange(int pos)
{
    if (!m_table || m_cacheLoad != m_table->loadCount() || size_t(pos) >= m_inView.size() || !m_inView[size_t(pos)])
        return;
    for (Sum& s : m_sums)
        if (s.field >= 0 && m_shares.count(s.field))
            addPart(s, cachedPart(s.field, pos), -1);
}

// A row of the table was rewritten or appended: the share of its value is
// read (a new value, or a value rewritten in place), and a total it is part
// of takes it in.
void DataGridModel::tableRowWritten(int pos)
{
    if (!m_table)
        return;
    for (int c = 0; c < int(m_texts.size()); ++c)
        if (!m_texts[size_t(c)].empty() && m_fieldIndex.value(c) >= 0) {
            const quint32 e = m_table->entry(pos, m_fieldIndex.at(c));
            TextSlot& slot = m_texts[size_t(c)][e & (kTextSlots - 1)];
            if (slot.entry == e)
                slot = TextSlot{};
        }
    if (m_cacheLoad != m_table->loadCount())
        return;
    const bool shown = size_t(pos) < m_inView.size() && m_inView[size_t(pos)];
    for (auto& [field, sh] : m_shares) {
        readShares(field, sh);
        readShare(field, sh, m_table->entry(pos, field));
        if (shown)
            for (Sum& s : m_sums)
                if (s.field == field)
                    addPart(s, cachedPart(field, pos), 1);
    }
    if (shown) {
        updateFooterTexts();
        emit footerChanged();
    }
}

void DataGridModel::takeRow(int row, int sign)
{
    if (!m_rows)
        return;
    const int pos = m_rows->position(row);
    const bool cached = pos >= 0 && m_table && m_cacheLoad == m_table->loadCount();
    for (Sum& s : m_sums)
        if (s.field >= 0)
            addPart(s, cached ? cachedPart(s.field, pos) : partOf(m_rows->value(row, s.field)), sign);
}

void DataGridModel::computeFooter()
{
    m_sums.clear();
    const bool open = m_rows && m_rows->isOpen();
    attachTable(m_rows ? m_rows->viewTable() : nullptr);
    for (int c = 0; c < m_columns.size(); ++c)
        if (m_columns.at(c).footer == GridColumn::Footer::Sum && open) {
            Sum s;
            s.column = c;
            s.field = m_fieldIndex.at(c);
            m_sums.push_back(std::move(s));
        }
    if (m_table && open) {
        // Each value's share is read once per load of the table.
        const int slotTotal = m_table->slotCount();
        if (m_cacheLoad != m_table->loadCount()) {
            m_shares.clear();
            m_cacheLoad = m_table->loadCount();
        }
        for (const Sum& s : m_sums) {
            if (s.field < 0)
                continue;
            Shares& sh = m_shares[s.field];
            readShares(s.field, sh);
        }
        m_inView.assign(size_t(slotTotal), 0);
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
                    if (const auto it = sh.wide.find(e); it != sh.wide.end()) {
                        s.wide += it->second;
                        s.hasWide = true;
                    }
                });
        }
    } else if (open) {
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
                addPart(*s, partOf(m_rows->value(r, s->field)), 1);
    }
    updateFooterTexts();
}

void DataGridModel::updateFooterTexts()
{
    m_footer = QStringList(m_columns.size(), QString());
    for (int c = 0; c < m_columns.size(); ++c)
        if (m_columns.at(c).footer == GridColumn::Footer::Text)
            m_footer[c] = m_columns.at(c).footerText;
    for (const Sum& s : m_sums) {
        const bool fits = s.units >= Units(std::numeric_limits<qint64>::min()) &&
                          s.units <= Units(std::numeric_limits<qint64>::max());
        long double total =
            fits ? num::Money::fromUnits(qint64(s.units)).toDecimal() : static_cast<long double>(s.units) / 10000.0L;
        if (s.hasWide)
            total += s.wide;
        m_footer[s.column] = sumText(total, m_columns.at(s.column).format);
    }
}

QString DataGridModel::text(int row, int column) const
{
    if (!m_rows || column < 0 || column >= m_columns.size())
        return {};
    const int field = m_fieldIndex.at(column);
    if (field < 0)
        return {};
    const int pos = m_table && m_rows->viewTable() == m_table ? m_rows->position(row) : -1;
    if (pos < 0)
        return formatted(m_rows->value(row, field), m_columns.at(column).format);
    if (m_textsLoad != m_table->loadCount()) {
        m_texts.clear();
        m_textsLoad = m_table->loadCount();
    }
    if (m_texts.size() != size_t(m_columns.size()))
        m_texts.resize(size_t(m_columns.size()));
    std::vector<TextSlot>& cached = m_texts[size_t(column)];
    if (cached.empty())
        cached.resize(kTextSlots);
    const quint32 e = m_table->entry(pos, field);
    TextSlot& slot = cached[e & (kTextSlots - 1)];
    if (slot.entry != e) {
        slot.entry = e;
        slot.text = formatted(m_table->entryValue(field, e), m_columns.at(column).format);
    }
    return slot.text;
}

QString DataGridModel::footerText(int column) const
{
    return column >= 0 && column < m_footer.size() ? m_footer.at(column) : QString();
}

QColor DataGridModel::footerColor(int column) const
{
    return column >= 0 && column < m_columns.size() ? m_columns.at(column).footerColor : QColor();
}

Qt::Alignment DataGridModel::footerAlignment(int column) const
{
    return column >= 0 && column < m_columns.size() ? m_columns.at(column).footerAlignment
                                                    : Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter);
}

int DataGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_rows ? 0 : m_rows->rowCount();
}

int DataGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant DataGridModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) || !m_rows)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return text(index.row(), index.column());
    case Qt::ToolTipRole: {
        const QString t = text(index.row(), index.column());
        return t.isEmpty() ? QVariant() : QVariant(t);
    }
    case Qt::TextAlignmentRole:
        return int(m_columns.at(index.column()).alignment); // item views of this Qt read an int
    case Qt::ForegroundRole:
        if (m_rowColor) {
            const QColor c = m_rowColor(*m_rows, index.row());
            if (c.isValid())
                return QBrush(c);
        }
        return {};
    default:
        return {};
    }
}

QVariant DataGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    const GridColumn& col = m_columns.at(section);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return col.columnTitle();
    case Qt::TextAlignmentRole:
        return int(Qt::AlignCenter);
    case Qt::BackgroundRole:
        return col.titleColor.isValid() ? QVariant(QBrush(col.titleColor)) : QVariant();
    case Qt::ForegroundRole:
        return col.titleTextColor.isValid() ? QVariant(QBrush(col.titleTextColor)) : QVariant();
    case GroupTitleRole:
        return col.groupTitle();
    case SortMarkerRole:
        return m_markers.value(section);
    default:
        return {};
    }
}
