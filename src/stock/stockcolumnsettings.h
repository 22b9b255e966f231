#pragma once

#include <QList>
#include <QObject>
#include <QStringList>

class DataGrid;
class QAction;
class QMenu;

// The "隐藏列" submenu of the stock grid: six column groups that can be hidden,
// each remembered as a flag in the settings store.
class StockColumnSettings final : public QObject
{
    Q_OBJECT
public:
    struct Group
    {
        QString caption;
        QStringList fields;
        QString flag;
        QAction* action = nullptr;
    };

    StockColumnSettings(DataGrid* grid, QObject* parent = nullptr);

    // The submenu with its six checkable items, in menu order.
    QMenu* menu() const { return m_menu; }
    QAction* action(const QString& caption) const;
    // The items that show purchase prices or amounts, which only the super
    // administrator may use.
    QList<QAction*> costActions() const;

    // Applies the stored flags ("yes" hides and checks, "no" shows and unchecks,
    // anything else changes nothing); nothing happens without a settings key.
    void applyStoredFlags();
    // Columns that stay hidden whatever a flag or a layout says (ordinary users
    // never see purchase prices and amounts).
    void setForcedHidden(const QStringList& fields);
    const QStringList& forcedHidden() const { return m_forcedHidden; }

private:
    void toggle(Group& group);
    void setGroupVisible(const Group& group, bool visible);

    DataGrid* m_grid;
    QMenu* m_menu;
    QList<Group> m_groups;
    QStringList m_forcedHidden;
};
