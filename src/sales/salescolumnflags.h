#pragma once

#include <QList>
#include <QObject>
#include <QStringList>

class DataGrid;
class QAction;
class QMenu;

// The column items of the sales grid's menu: ten column groups that can be
// hidden (one, the sale number, shown), each remembered as a flag in the
// settings store, and "全部显示".
class SalesColumnFlags final : public QObject
{
    Q_OBJECT
public:
    struct Group
    {
        QString caption;
        QStringList fields;
        QString flag;
        bool checkedShows = false; // the check mark shows the columns instead of hiding them
        QAction* action = nullptr;
    };

    SalesColumnFlags(DataGrid* grid, QObject* parent = nullptr);

    // Adds the items to `menu` in menu order, with separators between the
    // price/date/owed/profit items, the customer items and "全部显示".
    void addTo(QMenu* menu);
    QAction* action(const QString& caption) const;
    QAction* showAllAction() const { return m_showAll; }

    // Applies the stored flags ("yes" checks, "no" unchecks, anything else
    // changes nothing) in flag order; nothing happens without a settings key.
    void applyStoredFlags();
    // "全部显示": every column but the name and the sale number becomes
    // visible; check marks and stored flags stay.
    void showAll();
    // Columns that stay hidden whatever a flag, "全部显示" or a layout says.
    void setForcedHidden(const QStringList& fields);
    const QStringList& forcedHidden() const { return m_forcedHidden; }
    // Hides the forced columns again (after a layout was applied).
    void enforce();

private:
    void toggle(Group& group);
    void setChecked(Group& group, bool checked);

    DataGrid* m_grid;
    QList<Group> m_groups;
    QAction* m_showAll = nullptr;
    QStringList m_forcedHidden;
};
