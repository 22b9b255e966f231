#include "ui/queryhelpers.h"

#include "core/blanks.h"
#include "core/messageport.h"
#include "store/ops/tdmfm.h"

#include <QAbstractListModel>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>

namespace {

QString controlText(QWidget* control)
{
    if (auto* combo = qobject_cast<QComboBox*>(control))
        return combo->currentText();
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        return edit->text();
    return control->property("text").toString();
}

// The items of a drop-down list, read from a snapshot of distinct values.
class DistinctListModel final : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    void setValues(DistinctValues::Snapshot values)
    {
        beginResetModel();
        m_values = std::move(values);
        endResetModel();
    }
    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() || !m_values ? 0 : int(m_values->size());
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!m_values || index.row() < 0 || size_t(index.row()) >= m_values->size())
            return {};
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return (*m_values)[size_t(index.row())].text();
        return {};
    }

private:
    DistinctValues::Snapshot m_values;
};

} // namespace

bool RequireText(QWidget* control, const QString& message)
{
    if (!trimControlsAndSpaces(controlText(control)).isEmpty())
        return true;
    messagePort().warning(message, QStringLiteral("Warning"));
    if (!control->isVisible() || !control->isEnabled())
        messagePort().error(QStringLiteral("Cannot focus a disabled or invisible window"));
    else
        control->setFocus(Qt::OtherFocusReason);
    return false;
}

void FillDistinctList(Tdmfm& dm, RowSet& query, const QString& column, const QString& table, QComboBox* list)
{
    // Refilling must not look like the user typing in or picking from the list.
    const QSignalBlocker block(list);
    list->clear();
    list->setCurrentText(QString());
    if (!dm.OpenDistinctColumn(query, column, table))
        return;
    QStringList items;
    const int n = query.rowCount();
    items.reserve(n);
    for (int r = 0; r < n; ++r)
        items << query.value(r, 0).toString();
    list->addItems(items);
    list->setCurrentIndex(-1);
    list->setCurrentText(QString());
}

void FillDistinctList(QComboBox* list, DistinctValues::Snapshot values)
{
    const QSignalBlocker block(list);
    auto* model = dynamic_cast<DistinctListModel*>(list->model());
    if (!model) {
        model = new DistinctListModel(list);
        list->setModel(model); // the list deletes the model it made itself
    }
    model->setValues(std::move(values));
    list->setCurrentIndex(-1);
    list->setCurrentText(QString());
}
