#include "app/tmainform.h"

#include "app/saledesk.h"
#include "app/secondarywindows.h"
#include "app/skins.h"
#include "app/thelpform.h"
#include "core/clock.h"
#include "pos/salepanel.h"
#include "pos/slippanel.h"
#include "settings/settingkeys.h"
#include "settings/settingsstore.h"
#include "stock/stockinpanel.h"
#include "store/ops/tableloader.h"
#include "store/ops/tdmfm.h"
#include "ui/datagrid.h"
#include "ui/datefield.h"
#include "ui/reporterror.h"
#include "users/logingate.h"
#include "users/session.h"
#include "users/tloginfm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include <utility>

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
    m_toolbar = new MainToolbar(this, m_list->toolbarArea(), m_list->toolbarRow(0), m_list->toolbarRow(1));
    m_settingsMenu = m_toolbar->settingsMenu();

    // Floating panels over the grid, all hidden at start.
    m_notice = new NoticePanel(central);
    m_stockIn = new StockInPanel(m_dm, *this, central);
    m_stockIn->move(260, 40);
    m_stockIn->hide();
    m_list->setStockInPanel(m_stockIn);
    m_windows = new SecondaryWindows(m_dm, *this, *this, *m_list, *m_toolbar);
    m_desk = new SaleDesk(m_dm, *this, central, kClientWidth, *m_list, *m_toolbar, *m_windows);
    connect(m_toolbar->newStockAction(), &QAction::triggered, m_list, &StockListPanel::openStockInForNew);
    m_superOnly = m_list->superAdministratorActions();
    m_superOnly.append(m_toolbar->newStockAction());
    m_superOnly.append(m_windows->superAdministratorActions());

    m_status = new MainStatusBar(webAddress(), this);
    setStatusBar(m_status);
    // The tables read in the background report a failure here; what does
    // not need the table goes on, and a use of it reads it again.
    for (TableLoader* loader : {&m_dm.stock().loader(), &m_dm.sales().loader()})
        connect(loader, &TableLoader::finished, this, [](const Result<void>& outcome) {
            if (!outcome)
                reportError(outcome.error());
        });
    m_login = new LoginGate(m_dm, *m_session, this);
    connect(m_login, &LoginGate::finished, this, &TMainForm::loginFinished);

    // Empty date fields of the panels go back to today. When midnight passes,
    // fields that showed the day that ended move on to the new one; a date
    // the super administrator typed on purpose stays.
    auto* dateKeeper = new QTimer(this);
    m_day = wallclock::today();
    connect(dateKeeper, &QTimer::timeout, this, [this] {
        const QDate today = wallclock::today();
        const QDate ended = std::exchange(m_day, today);
        for (DateField* field : {m_stockIn->dateField(), m_desk->sale()->dateField()}) {
            if (field->isEmpty() || (ended != today && field->date() == ended))
                field->setDate(today);
        }
        if (ended != today)
            m_status->setToday(today);
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
bool TMainForm::isLoadingInBackground() const
{
    return m_dm.stock().loader().isRunning() || m_dm.sales().loader().isRunning();
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
    // The login needs only the users: the stock table is read meanwhile.
    m_dm.loadStockInBackground();
    const QDate today = wallclock::today();
    m_list->prepareShow(today);
    m_windows->prepareShow();
    if (m_session->isOpen() && !isSuperAdministrator())
        applyRestrictions(); // showing again must not bring purchase prices back
    if (SettingsStore::keyExists())
        skins::applyStored(SettingsStore::read(QString(settingkeys::skin)));
    m_desk->prepareShow(today);
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
    m_list->reload();
    if (!loggedIn) {
        close();
        return;
    }
    const bool logged = m_session->logIn(loginWindow()->userName(), wallclock::now());
    // The sale table is read in the background from now on (the customer
    // list, the sales windows); its read begins when the stock table's ends
    // (TableLoader).
    if (logged)
        m_dm.loadSalesInBackground();
    activateWindow();
    m_list->grid()->view()->setFocus();
    m_status->setOperator(userName());
    m_desk->sale()->setSaleDateEditable(isSuperAdministrator());
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
    m_windows->restrictForOrdinaryUser();
}

void TMainForm::closeEvent(QCloseEvent* e)
{
    m_session->logOut(wallclock::now());
    m_desk->rememberSaleDate();
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
    for (QWidget* w : std::initializer_list<QWidget*>{m_notice, m_stockIn, m_desk->sale(), m_desk->slip()})
        w->raise();
}

void TMainForm::hideSale()
{
    m_desk->sale()->hide();
}

void TMainForm::saleOpened(const QString& remark)
{
    m_stockIn->setChangeEnabled(true);
    m_stockIn->remarkEdit()->setText(remark);
}

void TMainForm::salesWindowClosed()
{
    m_list->reload();
    m_stockIn->hide();
    m_desk->sale()->hide();
}

void TMainForm::saleClosed()
{
    m_stockIn->setChangeEnabled(false);
}
