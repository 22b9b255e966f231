#include "app/tmainform.h"

#include "app/openonce.h"
#include "app/skins.h"
#include "app/thelpform.h"
#include "maint/texcell.h"
#include "maint/trepair.h"
#include "pos/salepanel.h"
#include "pos/slippanel.h"
#include "print/posreceipt.h"
#include "print/salesslip.h"
#include "sales/tform1.h"
#include "sales/txstj.h"
#include "settings/settingkeys.h"
#include "settings/settingsstore.h"
#include "stock/stockinpanel.h"
#include "store/tdmfm.h"
#include "ui/datagrid.h"
#include "ui/datefield.h"
#include "ui/failurereport.h"
#include "users/logingate.h"
#include "users/session.h"
#include "users/tchangepassfm.h"
#include "users/tloginfm.h"
#include "users/tuserglfm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

namespace {

constexpr int kClientWidth = 1031;
constexpr int kClientHeight = 636;
// The stock grid is the window's outer height less this.
constexpr int kBelowGrid = 196;

} // namespace

TMainForm::TMainForm(Tdmfm& dm, QWidget* parent)
    : QMainWindow(parent)
    , m_dm(dm)
    , m_session(std::make_unique<Session>(dm))
{
    setWindowTitle(title());
    resize(kClientWidth, kClientHeight);
    setMinimumSize(kClientWidth, kClientHeight);
    auto* central = new QWidget(this);
    setCentralWidget(central);
    m_list = new StockListPanel(m_dm, *this, central);
    m_toolbar = new MainToolbar(this, m_list->toolbarArea(), m_list->toolbarRow());
    m_settingsMenu = m_toolbar->settingsMenu();

    // Floating panels over the grid, all hidden at start.
    m_notice = new NoticePanel(central);
    m_stockIn = new StockInPanel(m_dm, *this, central);
    m_stockIn->move(260, 40);
    m_stockIn->hide();
    m_list->setStockInPanel(m_stockIn);
    m_sale = new SalePanel(m_dm, *this, central);
    m_sale->move(kClientWidth - m_sale->width() - 30, 4);
    m_slip = new SlipPanel(m_dm, *m_sale, central);
    m_slip->move(40, 60);
    m_slip->setReceiptPrinter([this] {
        return posreceipt::printCurrentSale(
            m_dm, *receiptSettings(),
            {m_sale->saleNumber(), userName(), m_slip->total(), m_slip->cash(), m_slip->change()});
    });
    m_slip->setSlipPreviewer([this] { previewSlip(m_sale->saleNumber()); });
    // The sales detail window lives for the whole run; a sale shows its number
    // there and lists the month again, shown or not.
    m_salesWindow = new Txstj(m_dm, *this, this);
    connect(m_toolbar->salesButton(), &QToolButton::clicked, this, &TMainForm::openSalesWindow);
    connect(m_list->addGridMenuAction(QStringLiteral("销售明细")), &QAction::triggered, this,
            &TMainForm::openSalesWindow);
    connect(m_sale, &SalePanel::saleSaved, m_salesWindow, &Txstj::saleRecorded);
    // The summary: modal from the toolbar, beside the main window from the grid menu.
    m_summary = new TForm1(
        m_dm, [this] { return userName(); }, this);
    connect(m_toolbar->summaryButton(), &QToolButton::clicked, m_summary, &QDialog::exec);
    QAction* summary = m_list->addGridMenuAction(QStringLiteral("汇总统计"));
    summary->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    summary->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    m_list->grid()->addAction(summary); // the shortcut works while the grid has the focus
    connect(summary, &QAction::triggered, this, [this] {
        m_summary->show();
        m_summary->raise();
        m_summary->activateWindow();
    });
    connect(m_sale, &SalePanel::saleSaved, this, [this] {
        if (m_summary->isVisible())
            m_summary->refresh(); // a hidden summary is refreshed when it shows
    });
    connect(m_list->addGridMenuAction(QStringLiteral("销售单(小票)打印"), StockListPanel::MenuPart::Last),
            &QAction::triggered, m_slip, &SlipPanel::toggle);
    connect(m_list->addGridMenuAction(QStringLiteral("打印设置"), StockListPanel::MenuPart::Last), &QAction::triggered,
            m_settingsMenu, &SettingsMenu::showReceiptSettings);
    connect(m_toolbar->slipButton(), &QToolButton::clicked, m_slip, &SlipPanel::toggle);
    connect(m_toolbar->newStockAction(), &QAction::triggered, m_list, &StockListPanel::openStockInForNew);
    connect(m_toolbar->importAction(), &QAction::triggered, this, &TMainForm::openImport);
    connect(m_toolbar->backupButton(), &QToolButton::clicked, this, &TMainForm::openBackup);
    connect(m_settingsMenu->changePasswordAction(), &QAction::triggered, this,
            [this] { openOnce<Tchangepassfm>(this, m_dm); });
    connect(m_settingsMenu->userManagementAction(), &QAction::triggered, this,
            [this] { openOnce<Tuserglfm>(this, m_dm); });
    m_superOnly = m_list->superAdministratorActions();
    m_superOnly.append(m_toolbar->newStockAction());
    m_superOnly.append(m_toolbar->importAction());
    m_superOnly.append(m_settingsMenu->changePasswordAction());
    m_superOnly.append(m_settingsMenu->userManagementAction());

    m_status = new MainStatusBar(webAddress(), this);
    setStatusBar(m_status);
    m_login = new LoginGate(m_dm, *m_session, this);
    connect(m_login, &LoginGate::finished, this, &TMainForm::loginFinished);

    // Empty date fields of the panels go back to today.
    auto* dateKeeper = new QTimer(this);
    connect(dateKeeper, &QTimer::timeout, this, [this] {
        for (DateField* field : {m_stockIn->dateField(), m_sale->dateField()})
            if (field->isEmpty())
                field->setDate(QDate::currentDate());
    });
    dateKeeper->start(500);

    m_status->showHintsOf(this);
    if (QScreen* screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(kClientWidth / 2, kClientHeight / 2));
}

TMainForm::~TMainForm() = default;

QString TMainForm::title()
{
    return QStringLiteral("Tarvik运动品销售管理软件 V4.3.7(春节珍藏版)");
}

QString TMainForm::webAddress()
{
    return QStringLiteral("https://tarvik.example.com");
}

QAction* TMainForm::action(const QString& caption) const
{
    for (QMenu* menu : findChildren<QMenu*>())
        for (QAction* a : menu->actions())
            if (a->text() == caption)
                return a;
    return nullptr;
}

Tloginfm* TMainForm::loginWindow() const
{
    return m_login->dialog();
}
qint64 TMainForm::sessionId() const
{
    return m_session->id();
}
QString TMainForm::userName() const
{
    return m_session->userName();
}
bool TMainForm::isSuperAdministrator() const
{
    return m_session->isSuperAdministrator();
}

// ---- Show, login, close ------------------------------------------------------

void TMainForm::showEvent(QShowEvent* e)
{
    QMainWindow::showEvent(e);
    if (e->spontaneous())
        return;
    const QDate today = QDate::currentDate();
    m_list->prepareShow(today);
    m_salesWindow->applyStoredFlags();
    if (m_session->isOpen() && !isSuperAdministrator())
        applyRestrictions(); // showing again must not bring purchase prices back
    m_sale->hide();
    m_slip->hide();
    m_sale->dateField()->setDate(today);
    if (SettingsStore::keyExists()) {
        skins::applyStored(SettingsStore::read(QString(settingkeys::skin)));
        std::optional<qint64> danhao;
        QString error;
        if (reportFailure(SettingsStore::readDanhao(danhao, &error), error) && danhao)
            m_daySequence = *danhao + 1;
        const QString riqi = SettingsStore::read(QString(settingkeys::saleDate));
        if (!riqi.isEmpty())
            m_rememberedDate = riqi;
    }
    m_sale->setDaySequence(m_daySequence, m_rememberedDate);
    m_status->setToday(today);
    layoutChildren();
    // The frame is known only once the window is on screen.
    QTimer::singleShot(0, this, &TMainForm::layoutChildren);
}

bool TMainForm::event(QEvent* e)
{
    // The window manager tells the frame's size late, and a maximised window
    // has another frame than a normal one: lay out again whenever the frame
    // may have changed.
    if (e->type() == QEvent::Move || e->type() == QEvent::WindowStateChange)
        layoutChildren();
    return QMainWindow::event(e);
}

void TMainForm::loginFinished(bool loggedIn)
{
    if (loggedIn) {
        m_list->applyStoredZeroStock(); // the one reload below serves it
        m_list->restoreLayout();
    }
    m_dm.generalQuery().close();
    m_list->reload();
    if (!loggedIn) {
        close();
        return;
    }
    const bool logged = m_session->logIn(loginWindow()->userName(), QDateTime::currentDateTime());
    activateWindow();
    m_list->grid()->view()->setFocus();
    m_status->setOperator(userName());
    m_sale->setSaleDateEditable(isSuperAdministrator());
    if (!isSuperAdministrator())
        applyRestrictions();
    // The engine's error has been shown. Without a session the login would come
    // back and fail the same way for ever: end the program instead.
    if (!logged)
        close();
}

void TMainForm::applyRestrictions()
{
    // Ordinary users sell and look things up; stock-in, changes, deletions,
    // purchase prices and amounts are out of their reach (hidden and disabled,
    // so no shortcut reaches them either).
    for (QAction* a : std::as_const(m_superOnly)) {
        a->setVisible(false);
        a->setEnabled(false);
    }
    m_toolbar->newStockButton()->hide();
    m_toolbar->newStockButton()->setEnabled(false);
    m_stockIn->hide();
    m_list->hideCostColumns();
    m_summary->hideAmountColumnsForOrdinaryUser();
    m_salesWindow->restrictForOrdinaryUser();
}

void TMainForm::closeEvent(QCloseEvent* e)
{
    m_session->logOut(QDateTime::currentDateTime());
    // The next run compares its sale date with this one to start a new day's sequence.
    writeSetting(settingkeys::saleDate, m_sale->dateField()->text());
    helpWindow()->hide();
    e->accept();
}

void TMainForm::resizeEvent(QResizeEvent* e)
{
    QMainWindow::resizeEvent(e);
    layoutChildren();
}

void TMainForm::layoutChildren()
{
    QWidget* central = centralWidget();
    if (!central)
        return;
    // The frame adds the title bar and borders; without a window manager the
    // usual title bar height stands in for it.
    int outer = frameGeometry().height();
    if (outer <= height())
        outer = height() + 34;
    m_list->setGeometry(central->rect());
    m_list->arrange(std::clamp(outer - kBelowGrid, 100, std::max(100, central->height() - 60)));
    for (QWidget* w : std::initializer_list<QWidget*>{m_notice, m_stockIn, m_sale, m_slip})
        w->raise();
}

void TMainForm::openImport()
{
    if (!m_import)
        m_import = new Texcell(
            m_dm, [this] { m_list->reload(); }, this);
    m_import->exec();
}

// ---- Backup -----------------------------------------------------------------

void TMainForm::openBackup()
{
    Trepair* backup = openOnce<Trepair>(this, m_dm, isSuperAdministrator());
    connect(backup, &Trepair::closed, this, &TMainForm::backupClosed, Qt::UniqueConnection);
    hide();
}

void TMainForm::backupClosed()
{
    // A restore replaced the file and reconnected; a failed reconnection gets
    // another try here, so the list shows what the file holds either way.
    QString error;
    if (!m_dm.isOpen() && !m_dm.reopen(&error))
        reportFailure(false, error);
    show();
    m_list->reload();
}

// ---- What the panels ask of the window ---------------------------------------------

void TMainForm::hideSale()
{
    m_sale->hide();
}

void TMainForm::stockRowChanged()
{
    if (m_sale->isVisible())
        m_sale->closePanel();
}

void TMainForm::stockRowDoubleClicked(int row)
{
    if (m_sale->openForRow(m_dm.stockList(), row))
        m_sale->raise();
}

void TMainForm::saleOpened(const QString& remark)
{
    m_stockIn->setChangeEnabled(true);
    m_stockIn->remarkEdit()->setText(remark);
}

void TMainForm::openSalesWindow()
{
    m_salesWindow->openModal();
}

void TMainForm::previewSlip(const QString& saleNumber)
{
    salesslip::previewSale(m_dm, salesslip::textsOf(*receiptSettings()), saleNumber, userName());
}

void TMainForm::salesWindowClosed()
{
    m_list->reload();
    m_stockIn->hide();
    m_sale->hide();
}

void TMainForm::saleClosed()
{
    m_stockIn->setChangeEnabled(false);
}
