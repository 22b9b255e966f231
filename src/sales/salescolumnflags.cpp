#include "sales/salescolumnflags.h"

#include "settings/settingkeys.h"
#include "settings/settingsstore.h"
#include "store/db/columns.h"
#include "ui/datagrid.h"
#include "ui/failurereport.h"

#include <QAction>
#include <QMenu>

SalesColumnFlags::SalesColumnFlags(DataGrid* grid, QObject* parent)
    : QObject(parent)
    , m_grid(grid)
{
    using namespace settingkeys;
    const auto f = [](QLatin1StringView v) { return QString(v); };
    m_groups = {
        {QStringLiteral("隐藏销售单价"), {f(salecol::price)}, f(salesHidePrice)},
        {QStringLiteral("隐藏销售日期"), {f(salecol::saleDate)}, f(salesHideDate)},
        {QStringLiteral("隐藏欠款"), {f(salecol::owed)}, f(salesHideOwed)},
        {QStringLiteral("隐藏净利润"), {f(salecol::profit)}, f(salesHideProfit)},
        {QStringLiteral("隐藏全部客户信息"),
         {f(salecol::customer), f(salecol::contact), f(salecol::address), f(salecol::customerRemark)},
         f(salesHideCustomer)},
        {QStringLiteral("显示客户编号"), {f(salecol::saleNumber)}, f(salesShowNumber), true},
        {QStringLiteral("隐藏客户名称"), {f(salecol::customer)}, f(salesHideCustomerName)},
        {QStringLiteral("隐藏联系方式"), {f(salecol::contact)}, f(salesHideContact)},
        {QStringLiteral("隐藏地址"), {f(salecol::address)}, f(salesHideAddress)},
        {QStringLiteral("隐藏备注"), {f(salecol::customerRemark)}, f(salesHideRemark)},
    };
    for (Group& g : m_groups) {
        g.action = new QAction(g.caption, this);
        g.action->setCheckable(true);
        connect(g.action, &QAction::triggered, this, [this, &g] { toggle(g); });
    }
    m_showAll = new QAction(QStringLiteral("全部显示"), this);
    connect(m_showAll, &QAction::triggered, this, &SalesColumnFlags::showAll);
}

void SalesColumnFlags::addTo(QMenu* menu)
{
    for (int i = 0; i < m_groups.size(); ++i) {
        if (i == 4)
            menu->addSeparator();
        menu->addAction(m_groups[i].action);
    }
    menu->addSeparator();
    menu->addAction(m_showAll);
}

QAction* SalesColumnFlags::action(const QString& caption) const
{
    for (const Group& g : m_groups)
        if (g.caption == caption)
            return g.action;
    return caption == m_showAll->text() ? m_showAll : nullptr;
}

void SalesColumnFlags::setChecked(Group& group, bool checked)
{
    const bool visible = checked == group.checkedShows;
    for (const QString& field : group.fields)
        m_grid->setColumnVisible(field, visible && !m_forcedHidden.contains(field));
    group.action->setChecked(checked);
}

void SalesColumnFlags::toggle(Group& group)
{
    // QAction has already flipped the check mark on the click: decide from
    // the state before it.
    const bool wasChecked = !group.action->isChecked();
    setChecked(group, !wasChecked);
    writeYesNo(group.flag, !wasChecked);
}

void SalesColumnFlags::applyStoredFlags()
{
    if (!SettingsStore::keyExists())
        return;
    // In flag order, so the single customer columns override "隐藏全部客户信息".
    for (Group& g : m_groups) {
        const QString value = SettingsStore::read(g.flag);
        if (value == settingkeys::yes)
            setChecked(g, true);
        else if (value == settingkeys::no)
            setChecked(g, false);
    }
}

void SalesColumnFlags::showAll()
{
    for (const GridColumn& c : m_grid->columns())
        if (c.field != salecol::name && c.field != salecol::saleNumber)
            m_grid->setColumnVisible(c.field, !m_forcedHidden.contains(c.field));
}

void SalesColumnFlags::setForcedHidden(const QStringList& fields)
{
    m_forcedHidden = fields;
    enforce();
}

void SalesColumnFlags::enforce()
{
    for (const QString& f : std::as_const(m_forcedHidden))
        m_grid->setColumnVisible(f, false);
}
