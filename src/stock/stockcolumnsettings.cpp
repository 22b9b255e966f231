#include "stock/stockcolumnsettings.h"

#include "settings/settingkeys.h"
#include "settings/settingsstore.h"
#include "store/db/columns.h"
#include "ui/datagrid.h"
#include "ui/failurereport.h"

#include <QAction>
#include <QMenu>

StockColumnSettings::StockColumnSettings(DataGrid* grid, QObject* parent)
    : QObject(parent)
    , m_grid(grid)
    , m_menu(new QMenu(QStringLiteral("隐藏列")))
{
    m_menu->setParent(grid, m_menu->windowFlags());
    using namespace settingkeys;
    m_groups = {
        {QStringLiteral("隐藏进货单价"), {QString(stockcol::purchasePrice)}, QString(hidePurchasePrice)},
        {QStringLiteral("隐藏销售单价"), {QString(stockcol::salePrice)}, QString(hideSalePrice)},
        {QStringLiteral("隐藏金额"),
         {QString(stockcol::purchaseAmount), QString(stockcol::salesAmount), QString(stockcol::stockAmount)},
         QString(hideAmounts)},
        {QStringLiteral("隐藏日期"), {QString(stockcol::stockInDate)}, QString(hideStockInDate)},
        {QStringLiteral("隐藏供货商"), {QString(stockcol::supplier)}, QString(hideSupplier)},
        {QStringLiteral("隐藏备注信息"), {QString(stockcol::remark)}, QString(hideRemark)},
    };
    for (Group& g : m_groups) {
        g.action = m_menu->addAction(g.caption);
        g.action->setCheckable(true);
        connect(g.action, &QAction::triggered, this, [this, &g] { toggle(g); });
    }
}

QAction* StockColumnSettings::action(const QString& caption) const
{
    for (const Group& g : m_groups)
        if (g.caption == caption)
            return g.action;
    return nullptr;
}

QList<QAction*> StockColumnSettings::costActions() const
{
    QList<QAction*> actions;
    for (const Group& g : m_groups)
        if (g.fields.contains(stockcol::purchasePrice) || g.fields.contains(stockcol::purchaseAmount))
            actions.append(g.action);
    return actions;
}

void StockColumnSettings::setGroupVisible(const Group& group, bool visible)
{
    for (const QString& f : group.fields)
        m_grid->setColumnVisible(f, visible && !m_forcedHidden.contains(f));
}

void StockColumnSettings::toggle(Group& group)
{
    // The check mark means "hidden". QAction has already flipped it on the
    // click, so decide from the state before the click.
    const bool wasHidden = !group.action->isChecked();
    setGroupVisible(group, wasHidden);
    group.action->setChecked(!wasHidden);
    writeYesNo(group.flag, !wasHidden);
}

void StockColumnSettings::applyStoredFlags()
{
    if (!SettingsStore::keyExists())
        return;

    for (Group& g : m_groups) {
        const QString value = SettingsStore::read(g.flag);
        if (value == settingkeys::yes) {
            setGroupVisible(g, false);
            g.action->setChecked(true);
        } else if (value == settingkeys::no) {
            setGroupVisible(g, true);
            g.action->setChecked(false);
        }
    }
}

void StockColumnSettings::setForcedHidden(const QStringList& fields)
{
    m_forcedHidden = fields;
    for (const QString& f : fields)
        m_grid->setColumnVisible(f, false);
}
