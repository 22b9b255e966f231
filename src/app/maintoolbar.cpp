#include "app/maintoolbar.h"

#include "app/settingsmenu.h"
#include "app/supportmenu.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QStyle>
#include <QToolButton>

namespace {

QToolButton* toolButton(const QString& caption, QStyle::StandardPixmap icon, QWidget* parent)
{
    auto* b = new QToolButton(parent);
    b->setText(caption);
    b->setIcon(parent->style()->standardIcon(icon));
    b->setIconSize(QSize(32, 32));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setFixedSize(55, 51);
    b->setAutoRaise(true);
    return b;
}

} // namespace

MainToolbar::MainToolbar(QWidget* window, QWidget* area, QHBoxLayout* firstRow, QHBoxLayout* secondRow)
    : QObject(window)
    , m_newStock(toolButton(QStringLiteral("新建入库"), QStyle::SP_FileDialogNewFolder, area))
    , m_sales(toolButton(QStringLiteral("销售明细"), QStyle::SP_FileDialogListView, area))
    , m_slip(toolButton(QStringLiteral("单据打印"), QStyle::SP_FileDialogContentsView, area))
    , m_summary(toolButton(QStringLiteral("汇总统计"), QStyle::SP_FileDialogInfoView, area))
    , m_backup(toolButton(QStringLiteral("数据备份"), QStyle::SP_DialogSaveButton, area))
{
    auto* newStockMenu = new QMenu(m_newStock);
    m_newStockAction = newStockMenu->addAction(QStringLiteral("新建入库"));
    m_importAction = newStockMenu->addAction(QStringLiteral("Excel导入"));
    m_newStock->setMenu(newStockMenu);
    auto* settings = toolButton(QStringLiteral("设 置"), QStyle::SP_FileDialogDetailedView, area);
    m_settingsMenu = new SettingsMenu(window, settings);
    settings->setMenu(m_settingsMenu);
    auto* support = toolButton(QStringLiteral("技术支持"), QStyle::SP_MessageBoxQuestion, area);
    m_supportMenu = new SupportMenu(window, support);
    support->setMenu(m_supportMenu);
    for (QToolButton* b : {m_newStock, m_sales, m_slip, m_summary})
        firstRow->addWidget(b);
    for (QToolButton* b : {m_backup, settings, support})
        secondRow->addWidget(b);
    for (QToolButton* b : {m_newStock, settings, support})
        b->setPopupMode(QToolButton::InstantPopup);
}
