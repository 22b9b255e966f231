#include "ui/datagridmodel.h"

#include "core/numbers.h"
#include "store/memory/memtable.h"
#include "store/memory/rowset.h"

#include <QBrush>
#include <QDate>

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
    connect(&m_totals, &RowSetTotals::changed, this, [this] {
        updateFooterTexts();
        emit footerChanged();
    });
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
        connect(m_rows, &RowSet::rowChanged, this, [this](int row) {
            if (!m_columns.isEmpty())
                emit dataChanged(index(row, 0), index(row, int(m_columns.size()) - 1));
        });
        connect(m_rows, &RowSet::aboutToRemoveRow, this, [this](int row) {
            emit rowSetChangeStarted();
            beginRemoveRows({}, row, row);
        });
        connect(m_rows, &RowSet::rowRemoved, this, [this](int) {
            endRemoveRows();
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

void DataGridModel::attachTable(const MemTable* table)
{
    if (m_table == table)
        return;
    if (m_table)
        disconnect(m_table, nullptr, this, nullptr);
    m_table = table;
    forgetTexts();
    if (m_table) {
        connect(m_table, &MemTable::rowChanged, this, &DataGridModel::tableRowWritten);
        connect(m_table, &MemTable::rowAppended, this, &DataGridModel::tableRowWritten);
        connect(m_table, &QObject::destroyed, this, [this] { m_table = nullptr; });
    }
}

// A row of the table was rewritten or appended: the texts shown of its
// values are made again.
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
}

void DataGridModel::computeFooter()
{
    attachTable(m_rows ? m_rows->viewTable() : nullptr);
    m_summed.clear();
    QStringList fields;
    for (int c = 0; c < m_columns.size(); ++c)
        if (m_columns.at(c).footer == GridColumn::Footer::Sum) {
            m_summed << c;
            fields << m_columns.at(c).field;
        }
    m_totals.reset(m_rows, fields);
    updateFooterTexts();
}

void DataGridModel::updateFooterTexts()
{
    m_footer = QStringList(m_columns.size(), QString());
    const bool open = m_rows && m_rows->isOpen();
    for (int c = 0; c < m_columns.size(); ++c)
        if (m_columns.at(c).footer == GridColumn::Footer::Text)
            m_footer[c] = m_columns.at(c).footerText;
    for (int i = 0; open && i < m_summed.size(); ++i) {
        const int c = m_summed.at(i);
        m_footer[c] = sumText(m_totals.total(i), m_columns.at(c).format);
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
