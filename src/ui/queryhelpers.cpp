#include "ui/queryhelpers.h"

#include "core/messageport.h"
#include "store/tdmfm.h"

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

} // namespace

QString TrimBlanks(const QString& text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && text.at(from).unicode() <= 0x20)
        ++from;
    while (to > from && text.at(to - 1).unicode() <= 0x20)
        --to;
    return text.mid(from, to - from);
}

bool RequireText(QWidget* control, const QString& message)
{
    if (!TrimBlanks(controlText(control)).isEmpty())
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
