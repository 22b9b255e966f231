#include "ui/datagridmodel.h"

#include "core/numbers.h"
#include "store/rowset.h"

#include <QBrush>
#include <QDate>

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
    if (m_rows) {
        connect(m_rows, &RowSet::aboutToReset, this, [this] {
            emit rowSetChangeStarted();
            beginResetModel();
        });
        connect(m_rows, &RowSet::resetDone, this, [this] {
            mapFields();
            computeFooter();
            endResetModel();
            emit footerChanged();
            emit rowSetChangeFinished();
        });
        // A sort only reorders the rows: the totals stay as they are.
        connect(m_rows, &RowSet::aboutToReorder, this, [this] {
            emit rowSetChangeStarted();
            beginResetModel();
        });
        connect(m_rows, &RowSet::reordered, this, [this] {
            endResetModel();
            emit rowSetChangeFinished();
        });
        connect(m_rows, &RowSet::rowChanged, this, [this](int row) {
            if (!m_columns.isEmpty())
                emit dataChanged(index(row, 0), index(row, int(m_columns.size()) - 1));
            computeFooter();
            emit footerChanged();
        });
        connect(m_rows, &RowSet::aboutToRemoveRow, this, [this](int row) {
            emit rowSetChangeStarted();
            beginRemoveRows({}, row, row);
        });
        connect(m_rows, &RowSet::rowRemoved, this, [this](int) {
            endRemoveRows();
            computeFooter();
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

void DataGridModel::mapFields()
{
    m_fieldIndex.fill(-1, m_columns.size());
    if (!m_rows)
        return;
    for (int c = 0; c < m_columns.size(); ++c)
        m_fieldIndex[c] = m_rows->columnIndex(m_columns.at(c).field);
}

void DataGridModel::computeFooter()
{
    m_footer = QStringList(m_columns.size(), QString());
    const bool open = m_rows && m_rows->isOpen();

    // Totals are added up in four-decimal fixed point, so that a long column
    // does not gather binary fractions; a total beyond its range goes on in
    // long double. A text that is no number counts as 0.
    struct Total
    {
        int column;
        int field;
        num::Money money;
        std::optional<long double> wide;

        void add(const QVariant& v)
        {
            const auto m = num::Money::fromVariant(v);
            if (!m) {
                const auto d = num::toDecimal(v.toString());
                if (!d)
                    return;
                if (!wide)
                    wide = money.toDecimal();
                *wide += *d;
            } else if (wide) {
                *wide += m->toDecimal();
            } else if (!money.add(*m)) {
                wide = money.toDecimal() + m->toDecimal();
            }
        }
    };
    std::vector<Total> totals;
    for (int c = 0; c < m_columns.size(); ++c) {
        const GridColumn& col = m_columns.at(c);
        if (col.footer == GridColumn::Footer::Text)
            m_footer[c] = col.footerText;
        else if (col.footer == GridColumn::Footer::Sum && open)
            totals.push_back({c, m_fieldIndex.at(c), {}, {}});
    }
    if (totals.empty())
        return;
    // Row by row, so that each row is read once for all its totals.
    const int n = m_rows->rowCount();
    for (int r = 0; r < n; ++r)
        for (Total& t : totals)
            if (t.field >= 0)
                t.add(m_rows->value(r, t.field));
    for (const Total& t : totals)
        m_footer[t.column] = sumText(t.wide ? *t.wide : t.money.toDecimal(), m_columns.at(t.column).format);
}

QString DataGridModel::text(int row, int column) const
{
    if (!m_rows || column < 0 || column >= m_columns.size())
        return {};
    const int field = m_fieldIndex.at(column);
    if (field < 0)
        return {};
    return formatted(m_rows->value(row, field), m_columns.at(column).format);
}

QString DataGridModel::footerText(int column) const
{
    return column >= 0 && column < m_footer.size() ? m_footer.at(column) : QString();
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
