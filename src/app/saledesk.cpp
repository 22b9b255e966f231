#include "app/saledesk.h"

#include "app/maintoolbar.h"
#include "app/secondarywindows.h"
#include "app/settingsmenu.h"
#include "pos/poshost.h"
#include "pos/salepanel.h"
#include "pos/slippanel.h"
#include "print/posreceipt.h"
#include "print/receiptsender.h"
#include "settings/settingkeys.h"
#include "settings/settingsstore.h"
#include "stock/stocklistpanel.h"
#include "store/ops/tdmfm.h"
#include "ui/datefield.h"
#include "ui/failurereport.h"

#include <QAction>
#include <QDate>
#include <QToolButton>

#include <optional>

SaleDesk::SaleDesk(Tdmfm& dm, PosHost& host, QWidget* area, int windowWidth, StockListPanel& list, MainToolbar& toolbar,
                   SecondaryWindows& windows)
    : QObject(area)
    , m_dm(dm)
    , m_sale(new SalePanel(dm, host, area))
    , m_slip(new SlipPanel(dm, *m_sale, area))
    , m_receiptSender(new ReceiptSender(this))
{
    m_sale->move(windowWidth - m_sale->width() - 30, 4);
    m_slip->move(40, 60);
    m_slip->setReceiptPrinter([this, &dm, &host, &toolbar] {
        return posreceipt::printCurrentSale(dm, *toolbar.settingsMenu()->receiptSettings(),
                                            {m_sale->saleNumber(), host.userName(), m_slip->total(), m_slip->cash()},
                                            *m_receiptSender);
    });
    m_slip->setSlipPreviewer([this, &windows] { windows.previewSlipOfSale(m_sale->saleNumber()); });
    connect(m_sale, &SalePanel::saleSaved, &windows, &SecondaryWindows::saleRecorded);
    connect(list.addGridMenuAction(QStringLiteral("销售单(小票)打印"), StockListPanel::MenuPart::Last),
            &QAction::triggered, m_slip, &SlipPanel::toggle);
    connect(list.addGridMenuAction(QStringLiteral("打印设置"), StockListPanel::MenuPart::Last), &QAction::triggered,
            toolbar.settingsMenu(), &SettingsMenu::showReceiptSettings);
    connect(toolbar.slipButton(), &QToolButton::clicked, m_slip, &SlipPanel::toggle);
}

void SaleDesk::prepareShow(const QDate& today)
{
    m_sale->hide();
    m_slip->hide();
    m_sale->dateField()->setDate(today);
    // The shop file may have changed while the window was hidden (a restore).
    m_sale->forgetNumber();
}

void SaleDesk::rememberSaleDate()
{
    writeSetting(settingkeys::saleDate, m_sale->dateField()->text());
}

void SaleDesk::sellRow(int row)
{
    if (m_sale->openForRow(m_dm.stock().list(), row))
        m_sale->raise();
}

void SaleDesk::endSale()
{
    if (m_sale->isVisible())
        m_sale->closePanel();
}
