#include "app/secondarywindows.h"

#include "app/maintoolbar.h"
#include "app/openonce.h"
#include "app/settingsmenu.h"
#include "maint/texcell.h"
#include "maint/trepair.h"
#include "print/salesslip.h"
#include "sales/saleshost.h"
#include "sales/tform1.h"
#include "sales/txstj.h"
#include "stock/stocklistpanel.h"
#include "store/ops/tdmfm.h"
#include "ui/datagrid.h"
#include "ui/reporterror.h"
#include "users/tchangepassfm.h"
#include "users/tuserglfm.h"

#include <QAction>
#include <QKeySequence>
#include <QToolButton>

SecondaryWindows::SecondaryWindows(Tdmfm& dm, QWidget& window, SalesHost& host, StockListPanel& list,
                                   MainToolbar& toolbar)
    : QObject(&window)
    , m_dm(dm)
    , m_window(window)
    , m_host(host)
    , m_list(list)
    , m_toolbar(toolbar)
    // The sales detail window lives for the whole run; a sale shows its number
    // there and lists the month again, shown or not.
    , m_sales(new Txstj(dm, host, &window))
{
    connect(toolbar.salesButton(), &QToolButton::clicked, this, &SecondaryWindows::openSalesWindow);
    connect(list.addGridMenuAction(QStringLiteral("销售明细")), &QAction::triggered, this,
            &SecondaryWindows::openSalesWindow);
    // The summary: modal from the toolbar, beside the main window from the grid menu.
    m_summary = new TForm1(
        dm, [this] { return m_host.userName(); }, &window);
    connect(toolbar.summaryButton(), &QToolButton::clicked, m_summary, &QDialog::exec);
    QAction* summary = list.addGridMenuAction(QStringLiteral("汇总统计"));
    summary->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    summary->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    list.grid()->addAction(summary); // the shortcut works while the grid has the focus
    connect(summary, &QAction::triggered, this, [this] {
        m_summary->show();
        m_summary->raise();
        m_summary->activateWindow();
    });
    connect(toolbar.importAction(), &QAction::triggered, this, &SecondaryWindows::openImport);
    connect(toolbar.backupButton(), &QToolButton::clicked, this, &SecondaryWindows::openBackup);
    SettingsMenu* settings = toolbar.settingsMenu();
    connect(settings->changePasswordAction(), &QAction::triggered, this,
            [this] { openOnce<Tchangepassfm>(&m_window, m_dm); });
    connect(settings->userManagementAction(), &QAction::triggered, this,
            [this] { openOnce<Tuserglfm>(&m_window, m_dm); });
    m_superOnly = {toolbar.importAction(), settings->changePasswordAction(), settings->userManagementAction()};
}

void SecondaryWindows::openSalesWindow()
{
    m_sales->openModal();
}

void SecondaryWindows::openImport()
{
    if (!m_import)
        m_import = new Texcell(
            m_dm, [this] { m_list.reload(); }, &m_window);
    m_import->exec();
}

void SecondaryWindows::previewSlipOfSale(const QString& saleNumber)
{
    m_sales->showSaleNumber(saleNumber.trimmed());
    previewSlip(saleNumber);
}

void SecondaryWindows::previewSlip(const QString& saleNumber)
{
    salesslip::previewSale(m_dm, salesslip::textsOf(*m_toolbar.settingsMenu()->receiptSettings()), saleNumber,
                           m_host.userName());
}

void SecondaryWindows::saleRecorded(const QString& saleNumber)
{
    m_sales->saleRecorded(saleNumber);
}

void SecondaryWindows::prepareShow()
{
    m_sales->applyStoredFlags();
}

void SecondaryWindows::restrictForOrdinaryUser()
{
    m_summary->hideAmountColumnsForOrdinaryUser();
    m_sales->restrictForOrdinaryUser();
}

void SecondaryWindows::openBackup()
{
    Trepair* backup = openOnce<Trepair>(&m_window, m_dm, m_host.isSuperAdministrator());
    connect(backup, &Trepair::closed, this, &SecondaryWindows::backupClosed, Qt::UniqueConnection);
    m_window.hide();
}

void SecondaryWindows::backupClosed()
{
    // A restore replaced the file and reconnected; a failed reconnection gets
    // another try here, so the list shows what the file holds either way.
    if (!m_dm.isOpen())
        (void)succeeded(m_dm.reopen());
    m_window.show();
    m_list.reload();
}
