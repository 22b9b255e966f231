#include "app/tmainform.h"

#include "app/noticepanel.h"
#include "app/settingsmenu.h"
#include "app/skins.h"
#include "app/supportmenu.h"
#include "app/thelpform.h"
#include "core/numbers.h"
#include "pos/salepanel.h"
#include "pos/slippanel.h"
#include "print/posreceipt.h"
#include "settings/settingkeys.h"
#include "settings/settingsstore.h"
#include "stock/stockcolumnsettings.h"
#include "stock/stockinpanel.h"
#include "stock/stocklistpanel.h"
#include "store/tdmfm.h"
#include "ui/datagrid.h"
#include "ui/datefield.h"
#include "ui/failurereport.h"
#include "users/session.h"
#include "users/tloginfm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

namespace {

constexpr int kClientWidth = 1031;
constexpr int kClientHeight = 636;
// The stock grid is the window's outer height less this.
constexpr int kBelowGrid = 196;

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

// Floating panels get the window's own colours from the skins.
template <typename Panel> Panel* floating(Panel* panel, QPoint at)
{
    panel->setProperty("floatingPanel", true);
    panel->move(at);
    return panel;
}

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
    buildToolbar();

    // Floating panels over the grid, all hidden at start.
    m_notice = new NoticePanel(central);
    m_stockIn = floating(new StockInPanel(m_dm, *this, central), {260, 40});
    m_stockIn->hide();
    m_list->setStockInPanel(m_stockIn);
    m_sale = new SalePanel(m_dm, *this, central);
    floating(m_sale, {kClientWidth - m_sale->width() - 30, 4});
    m_slip = floating(new SlipPanel(m_dm, *m_sale, central), {40, 60});

    // Status bar: hint, operator, today, web address.
    const int widths[4] = {350, 200, 200, 300};
    const Qt::Alignment aligns[4] = {Qt::AlignLeft | Qt::AlignVCenter, Qt::AlignCenter, Qt::AlignCenter,
                                     Qt::AlignRight | Qt::AlignVCenter};
    const QString texts[4] = {QString(), QStringLiteral("操作员："), QStringLiteral("今天："), webAddress()};
    for (int i = 0; i < 4; ++i) {
        m_status[i] = new QLabel(texts[i], this);
        m_status[i]->setFixedWidth(widths[i]);
        m_status[i]->setAlignment(aligns[i]);
        statusBar()->addWidget(m_status[i]);
    }
    statusBar()->setSizeGripEnabled(false);

    buildGridMenu();
    m_slip->setReceiptPrinter([this] {
        return posreceipt::printCurrentSale(m_dm, *receiptSettings(),
                                            {m_sale->saleNumber(), userName(), m_slip->total(), m_slip->cash(),
                                             m_slip->change()});
    });
    m_login = new Tloginfm(m_dm, this);
    connect(m_login, &QDialog::finished, this, &TMainForm::loginFinished);

    m_dateKeeper = new QTimer(this);
    m_dateKeeper->setInterval(500);
    connect(m_dateKeeper, &QTimer::timeout, this, &TMainForm::tickDateKeeper);
    m_dateKeeper->start();

    // The first status panel shows the hint of the control under the mouse.
    for (QWidget* w : findChildren<QWidget*>())
        if (!w->toolTip().isEmpty() && w->statusTip().isEmpty())
            w->setStatusTip(w->toolTip());
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

void TMainForm::buildToolbar()
{
    QWidget* area = m_list->toolbarArea();
    m_newStockButton = toolButton(QStringLiteral("新建入库"), QStyle::SP_FileDialogNewFolder, area);
    auto* newStockMenu = new QMenu(m_newStockButton);
    superOnly(newStockMenu->addAction(QStringLiteral("新建入库"), this, &TMainForm::openStockInForNew));
    m_newStockButton->setMenu(newStockMenu);

    m_slipButton = toolButton(QStringLiteral("单据打印"), QStyle::SP_FileDialogContentsView, area);
    connect(m_slipButton, &QToolButton::clicked, this, [this] { m_slip->toggle(); });

    auto* settings = toolButton(QStringLiteral("设 置"), QStyle::SP_FileDialogDetailedView, area);
    m_settingsMenu = new SettingsMenu(this, settings);
    settings->setMenu(m_settingsMenu);

    auto* support = toolButton(QStringLiteral("技术支持"), QStyle::SP_MessageBoxQuestion, area);
    m_supportMenu = new SupportMenu(this, support);
    support->setMenu(m_supportMenu);

    for (QToolButton* b : {m_newStockButton, m_slipButton, settings, support}) {
        if (b->menu())
            b->setPopupMode(QToolButton::InstantPopup);
        m_list->toolbarRow()->addWidget(b);
    }
}

void TMainForm::buildGridMenu()
{
    m_gridMenu = new QMenu(this);
    superOnly(m_gridMenu->addAction(QStringLiteral("新建入库"), this, &TMainForm::openStockInForNew));
    superOnly(m_gridMenu->addAction(QStringLiteral("修 改"), this, &TMainForm::openStockInForChange));
    superOnly(m_gridMenu->addAction(QStringLiteral("删 除"), this, &TMainForm::deleteStockRow));
    m_gridMenu->addAction(QStringLiteral("全部记录"), m_list, &StockListPanel::reload);
    m_gridMenu->addAction(QStringLiteral("销售单(小票)打印"), this, [this] { m_slip->toggle(); });
    m_gridMenu->addAction(QStringLiteral("打印设置"), m_settingsMenu, &SettingsMenu::showReceiptSettings);
    m_gridMenu->addSeparator();
    m_gridMenu->addMenu(m_list->columnSettings()->menu());
    for (QAction* a : m_list->columnSettings()->costActions())
        superOnly(a);
    m_gridMenu->addAction(QStringLiteral("保存当前列宽"), m_list, &StockListPanel::saveLayout);
    // "读取列宽" belongs to the menu but is never shown; the login uses its action.
    m_gridMenu->addAction(QStringLiteral("读取列宽"), this, &TMainForm::restoreStockLayout)->setVisible(false);
    m_list->setGridMenu(m_gridMenu);
}

QAction* TMainForm::superOnly(QAction* action)
{
    m_superOnly.append(action);
    return action;
}

QAction* TMainForm::action(const QString& caption) const
{
    for (QMenu* menu : findChildren<QMenu*>())
        for (QAction* a : menu->actions())
            if (a->text() == caption)
                return a;
    return nullptr;
}

DataGrid* TMainForm::grid() const { return m_list->grid(); }
StockSearchBox* TMainForm::searchBox() const { return m_list->searchBox(); }
StockColumnSettings* TMainForm::columnSettings() const { return m_list->columnSettings(); }
QLineEdit* TMainForm::alarmBox() const { return m_list->alarmBox(); }
QCheckBox* TMainForm::hideZeroBox() const { return m_list->hideZeroBox(); }
QLabel* TMainForm::noticePanel() const { return m_notice; }
QMenu* TMainForm::settingsMenu() const { return m_settingsMenu; }
QMenu* TMainForm::supportMenu() const { return m_supportMenu; }
Tpos* TMainForm::receiptSettings() const { return m_settingsMenu->receiptSettings(); }
THelpForm* TMainForm::helpWindow() const { return m_supportMenu->helpWindow(); }
QString TMainForm::alarmNumber() const { return m_list->alarmNumber(); }
qint64 TMainForm::sessionId() const { return m_session->id(); }
QString TMainForm::userName() const { return m_session->userName(); }
bool TMainForm::isSuperAdministrator() const { return m_session->isSuperAdministrator(); }

// ---- Show, login, close ------------------------------------------------------

void TMainForm::showEvent(QShowEvent* e)
{
    QMainWindow::showEvent(e);
    if (e->spontaneous())
        return;
    runShowSteps();
    // The frame is known only once the window is on screen.
    QTimer::singleShot(0, this, &TMainForm::layoutChildren);
    // Nobody works before logging in. Activation brings the login up too, but
    // not every desktop activates a new window.
    if (!m_session->isOpen() && !m_loginPending) {
        m_loginPending = true;
        QTimer::singleShot(0, this, &TMainForm::showLogin);
    }
}

void TMainForm::runShowSteps()
{
    const QDate today = QDate::currentDate();
    m_list->prepareShow(today);
    if (m_session->isOpen() && !isSuperAdministrator())
        applyRestrictions(); // showing again must not bring purchase prices back
    m_stockIn->hide();
    m_sale->hide();
    m_slip->hide();
    m_stockIn->dateField()->setDate(today);
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
    m_status[2]->setText(QStringLiteral("今天：") + num::dateText(today));
    layoutChildren();
}

bool TMainForm::event(QEvent* e)
{
    switch (e->type()) {
    case QEvent::WindowActivate:
        if (!m_session->isOpen() && !m_loginPending) {
            m_loginPending = true;
            QTimer::singleShot(0, this, &TMainForm::showLogin);
        }
        break;
    case QEvent::Move:
    case QEvent::WindowStateChange:
        // The window manager tells the frame's size late, and a maximised
        // window has another frame than a normal one: lay out again whenever
        // the frame may have changed.
        layoutChildren();
        centreLogin();
        break;
    case QEvent::StatusTip:
        m_status[0]->setText(static_cast<QStatusTipEvent*>(e)->tip());
        return true;
    default:
        break;
    }
    return QMainWindow::event(e);
}

void TMainForm::showLogin()
{
    if (m_session->isOpen())
        return;
    m_login->setWindowModality(Qt::ApplicationModal);
    m_login->open();
    centreLogin();
}

void TMainForm::centreLogin()
{
    // The window manager may place the main window after the login has been
    // put over it; the login goes with it while it is up.
    if (!m_login->isVisible())
        return;
    QRect frame = m_login->frameGeometry();
    frame.moveCenter(frameGeometry().center());
    m_login->move(frame.topLeft());
}

void TMainForm::loginFinished(int)
{
    m_loginPending = false;
    if (m_login->loggedIn()) {
        m_list->applyStoredZeroStock(); // the one reload below serves it
        m_list->restoreLayout();
    }
    m_dm.generalQuery().close();
    m_list->reload();
    if (!m_login->loggedIn()) {
        close();
        return;
    }
    const bool logged = m_session->logIn(m_login->userName(), QDateTime::currentDateTime());
    activateWindow();
    m_list->grid()->view()->setFocus();
    m_status[1]->setText(userName());
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
    m_newStockButton->hide();
    m_newStockButton->setEnabled(false);
    m_stockIn->hide();
    m_list->hideCostColumns();
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

// ---- What the panels ask of the window ---------------------------------------------

void TMainForm::reloadStockList() { m_list->reload(); }
void TMainForm::runStockSearch() { m_list->search(); }

void TMainForm::restoreStockLayout()
{
    m_list->restoreLayout();
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

void TMainForm::saleClosed()
{
    m_stockIn->setChangeEnabled(false);
}

void TMainForm::showNotice(const QString& text)
{
    m_notice->showText(text);
}

void TMainForm::tickDateKeeper()
{
    if (m_stockIn->dateField()->isEmpty())
        m_stockIn->dateField()->setDate(QDate::currentDate());
    if (m_sale->dateField()->isEmpty())
        m_sale->dateField()->setDate(QDate::currentDate());
}

// ---- Stock-in, for the super administrator only ------------------------------------

void TMainForm::openStockInForNew()
{
    if (!isSuperAdministrator())
        return;
    m_sale->hide();
    m_stockIn->openForNew();
    m_stockIn->raise();
    m_stockIn->nameList()->setFocus();
}

void TMainForm::openStockInForChange()
{
    if (!isSuperAdministrator())
        return;
    if (m_stockIn->openForChange())
        m_sale->hide();
    m_stockIn->raise();
}

void TMainForm::deleteStockRow()
{
    if (!isSuperAdministrator())
        return;
    m_sale->hide();
    m_stockIn->deleteCurrentRow();
}
