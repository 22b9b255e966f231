#include "app/tmainform.h"

#include "app/launchers.h"
#include "app/skins.h"
#include "app/thelpform.h"
#include "core/messageport.h"
#include "core/numbers.h"
#include "pos/salepanel.h"
#include "pos/slippanel.h"
#include "print/posreceipt.h"
#include "print/tpos.h"
#include "settings/layoutfile.h"
#include "settings/settingkeys.h"
#include "settings/settingsstore.h"
#include "stock/stockcolumnsettings.h"
#include "stock/stockgridcolumns.h"
#include "stock/stockinpanel.h"
#include "stock/stocksearchbox.h"
#include "store/columns.h"
#include "store/tdmfm.h"
#include "store/userqueries.h"
#include "ui/characterfilter.h"
#include "ui/datagrid.h"
#include "ui/datefield.h"
#include "ui/failurereport.h"
#include "users/tloginfm.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int kClientWidth = 1031;
constexpr int kClientHeight = 636;
// The stock grid is the window's outer height less this.
constexpr int kBelowGrid = 196;
// The system hot-light colour of the message panel.
const QColor kHotLight(0, 102, 204);

const QString kStockSection = QStringLiteral("korvel-net");

QFont songti()
{
    QFont f(QStringLiteral("宋体"));
    f.setPixelSize(14);
    return f;
}

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

TMainForm::TMainForm(Tdmfm& dm, QWidget* parent)
    : QMainWindow(parent)
    , m_dm(dm)
{
    setWindowTitle(title());
    resize(kClientWidth, kClientHeight);
    setMinimumSize(kClientWidth, kClientHeight);

    auto* central = new QWidget(this);
    setCentralWidget(central);

    m_grid = new DataGrid(central);
    m_grid->setColumns(stockGridColumns());
    m_grid->setRowSet(&m_dm.stockList());
    m_grid->setRowTextColor([this](const RowSet&, int row) { return rowColor(row); });
    m_grid->setToolTip(QStringLiteral("点列标题进行排序，双击记录进行销售"));
    m_grid->setStatusTip(m_grid->toolTip());
    // The grid's menu opens over its rows, its titles and its totals row alike.
    // Scroll areas report the position in their viewport's coordinates.
    const auto menuOver = [this](QWidget* w, QWidget* coordinates) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, this,
                [this, coordinates](const QPoint& pos) { m_gridMenu->popup(coordinates->mapToGlobal(pos)); });
    };
    menuOver(m_grid->view(), m_grid->view()->viewport());
    menuOver(m_grid->view()->horizontalHeader(), m_grid->view()->horizontalHeader()->viewport());
    if (QWidget* footer = m_grid->findChild<QWidget*>(QStringLiteral("footer")))
        menuOver(footer, footer);
    connect(m_grid, &DataGrid::titleClicked, this, &TMainForm::titleClicked);
    connect(m_grid, &DataGrid::cellClicked, this, &TMainForm::rowClicked);
    connect(m_grid, &DataGrid::rowDoubleClicked, this, &TMainForm::rowDoubleClicked);
    m_columns = new StockColumnSettings(m_grid, this);

    m_commandArea = new QFrame(central);
    m_commandArea->setObjectName(QStringLiteral("commandArea"));
    auto* areaLayout = new QHBoxLayout(m_commandArea);
    areaLayout->setContentsMargins(4, 2, 4, 2);
    m_search = new StockSearchBox(m_commandArea);
    areaLayout->addWidget(m_search, 1);
    auto* right = new QWidget(m_commandArea);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    buildToolbar(right);
    auto* alarmRow = new QHBoxLayout;
    alarmRow->addStretch();
    alarmRow->addWidget(new QLabel(QStringLiteral("库存报警数量："), right));
    m_alarm = new QLineEdit(QString(settingkeys::stockAlarmDefault), right);
    m_alarm->setFixedWidth(40);
    m_alarm->setToolTip(QStringLiteral("修改库存报警数量，记录变成红色"));
    m_alarm->setStatusTip(m_alarm->toolTip());
    // Only digits type into the alarm box, and nothing else can be pasted.
    CharacterFilter::install(m_alarm, &CharacterFilter::isAsciiDigit);
    alarmRow->addWidget(m_alarm);
    m_hideZero = new QCheckBox(QStringLiteral("不显示零库存"), right);
    alarmRow->addWidget(m_hideZero);
    rightLayout->addLayout(alarmRow);
    rightLayout->addStretch();
    areaLayout->addWidget(right, 0);
    connect(m_search, &StockSearchBox::searchRequested, this, &TMainForm::runStockSearch);
    connect(m_search, &StockSearchBox::reloadRequested, this, &TMainForm::reloadStockList);
    connect(m_alarm, &QLineEdit::textChanged, this, &TMainForm::alarmChanged);
    connect(m_hideZero, &QCheckBox::toggled, this, &TMainForm::zeroStockChanged);

    // Floating panels over the grid, all hidden at start.
    m_notice = new QLabel(central);
    m_notice->setGeometry(0, 0, 257, 49);
    m_notice->setAlignment(Qt::AlignCenter);
    m_notice->setAutoFillBackground(true);
    QPalette p = m_notice->palette();
    p.setColor(QPalette::Window, kHotLight);
    p.setColor(QPalette::WindowText, Qt::white);
    m_notice->setPalette(p);
    // The skins colour labels; the notice keeps its own colours on every skin.
    m_notice->setStyleSheet(QStringLiteral("background-color: %1; color: white;").arg(kHotLight.name()));
    QFont bold = songti();
    bold.setBold(true);
    m_notice->setFont(bold);
    m_notice->hide();
    m_stockIn = new StockInPanel(m_dm, *this, central);
    // The skins give floating panels the window's own colours.
    m_stockIn->setProperty("floatingPanel", true);
    m_stockIn->move(260, 40);
    m_stockIn->hide();
    m_sale = new SalePanel(m_dm, *this, central);
    m_sale->setProperty("floatingPanel", true);
    m_sale->move(kClientWidth - m_sale->width() - 30, 4);
    m_slip = new SlipPanel(m_dm, *m_sale, central);
    m_slip->setProperty("floatingPanel", true);
    m_slip->move(40, 60);

    // Status bar: hint, operator, today, web address.
    const int widths[4] = {350, 200, 200, 300};
    const Qt::Alignment aligns[4] = {Qt::AlignLeft | Qt::AlignVCenter, Qt::AlignCenter, Qt::AlignCenter,
                                     Qt::AlignRight | Qt::AlignVCenter};
    for (int i = 0; i < 4; ++i) {
        m_status[i] = new QLabel(this);
        m_status[i]->setFixedWidth(widths[i]);
        m_status[i]->setAlignment(aligns[i]);
        statusBar()->addWidget(m_status[i]);
    }
    m_status[1]->setText(QStringLiteral("操作员："));
    m_status[2]->setText(QStringLiteral("今天："));
    m_status[3]->setText(webAddress());
    statusBar()->setSizeGripEnabled(false);

    buildGridMenu();

    m_help = new THelpForm(this);
    m_tpos = new Tpos(this);
    m_slip->setReceiptPrinter([this] {
        return posreceipt::printCurrentSale(
            m_dm, *m_tpos, {m_sale->saleNumber(), m_userName, m_slip->total(), m_slip->cash(), m_slip->change()});
    });

    m_login = new Tloginfm(m_dm, this);
    connect(m_login, &QDialog::finished, this, &TMainForm::loginFinished);

    m_dateKeeper = new QTimer(this);
    m_dateKeeper->setInterval(500);
    connect(m_dateKeeper, &QTimer::timeout, this, &TMainForm::tickDateKeeper);
    m_dateKeeper->start();
    m_noticeTimer = new QTimer(this);
    m_noticeTimer->setInterval(2000);
    connect(m_noticeTimer, &QTimer::timeout, this, &TMainForm::tickNotice);

    // The first status panel shows the hint of the control under the mouse.
    for (QWidget* w : findChildren<QWidget*>())
        if (!w->toolTip().isEmpty() && w->statusTip().isEmpty())
            w->setStatusTip(w->toolTip());

    if (QScreen* screen = QApplication::primaryScreen()) {
        const QRect r = screen->availableGeometry();
        move(r.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
    }
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

void TMainForm::buildToolbar(QWidget* area)
{
    auto* bar = new QHBoxLayout;
    bar->setSpacing(2);
    bar->addStretch();
    m_newStockButton = toolButton(QStringLiteral("新建入库"), QStyle::SP_FileDialogNewFolder, area);
    m_newStockMenu = new QMenu(m_newStockButton);
    m_newStockMenu->addAction(QStringLiteral("新建入库"), this, &TMainForm::openStockInForNew);
    m_newStockButton->setMenu(m_newStockMenu);
    m_newStockButton->setPopupMode(QToolButton::InstantPopup);
    bar->addWidget(m_newStockButton);

    m_slipButton = toolButton(QStringLiteral("单据打印"), QStyle::SP_FileDialogContentsView, area);
    connect(m_slipButton, &QToolButton::clicked, this, [this] { m_slip->toggle(); });
    bar->addWidget(m_slipButton);

    auto* settings = toolButton(QStringLiteral("设 置"), QStyle::SP_FileDialogDetailedView, area);
    m_settingsMenu = new QMenu(settings);
    QMenu* skinMenu = m_settingsMenu->addMenu(QStringLiteral("界面换肤"));
    const QStringList captions = skins::captions();
    for (int i = 0; i < captions.size(); ++i) {
        skinMenu->addAction(captions.at(i), this, [i] {
            skins::apply(i);
            writeSetting(settingkeys::skin, i);
        });
    }
    m_settingsMenu->addAction(QStringLiteral("打印设置"), this, &TMainForm::showReceiptSettings);
    m_settingsMenu->addAction(QStringLiteral("计算器"), this, &TMainForm::startCalculator);
    m_settingsMenu->addAction(QStringLiteral("记事本"), this, &TMainForm::startEditor);
    settings->setMenu(m_settingsMenu);
    settings->setPopupMode(QToolButton::InstantPopup);
    bar->addWidget(settings);

    auto* support = toolButton(QStringLiteral("技术支持"), QStyle::SP_MessageBoxQuestion, area);
    m_supportMenu = new QMenu(support);
    m_supportMenu->addAction(QStringLiteral("使用帮助"), this, &TMainForm::showHelp);
    m_supportMenu->addAction(QStringLiteral("软件升级"), this, &TMainForm::checkForUpgrade);
    m_supportMenu->addAction(QStringLiteral("官方网站"), this, &TMainForm::openWebSite);
    m_supportMenu->addAction(QStringLiteral("关于..."), this, &TMainForm::showAbout);
    support->setMenu(m_supportMenu);
    support->setPopupMode(QToolButton::InstantPopup);
    bar->addWidget(support);

    static_cast<QVBoxLayout*>(area->layout())->addLayout(bar);
}

void TMainForm::buildGridMenu()
{
    m_gridMenu = new QMenu(this);
    m_gridMenu->addAction(QStringLiteral("新建入库"), this, &TMainForm::openStockInForNew);
    m_gridMenu->addAction(QStringLiteral("修 改"), this, &TMainForm::openStockInForChange);
    m_gridMenu->addAction(QStringLiteral("删 除"), this, &TMainForm::deleteStockRow);
    m_gridMenu->addAction(QStringLiteral("全部记录"), this, &TMainForm::reloadStockList);
    m_gridMenu->addAction(QStringLiteral("销售单(小票)打印"), this, [this] { m_slip->toggle(); });
    m_gridMenu->addAction(QStringLiteral("打印设置"), this, &TMainForm::showReceiptSettings);
    m_gridMenu->addSeparator();
    m_gridMenu->addMenu(m_columns->menu());
    m_gridMenu->addAction(QStringLiteral("保存当前列宽"), this, &TMainForm::saveColumnWidths);
    // "读取列宽" belongs to the menu but is never shown; the login uses its action.
    m_readLayoutAction = m_gridMenu->addAction(QStringLiteral("读取列宽"), this, &TMainForm::restoreStockLayout);
    m_readLayoutAction->setVisible(false);
}

QAction* TMainForm::action(const QString& caption) const
{
    const QList<QMenu*> menus = findChildren<QMenu*>();
    for (QMenu* menu : menus)
        for (QAction* a : menu->actions())
            if (a->text() == caption)
                return a;
    return nullptr;
}

bool TMainForm::isSuperAdministrator() const
{
    return m_userName == userq::superAdministrator();
}

QString TMainForm::alarmNumber() const
{
    return m_alarm->text();
}

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
    if (m_sessionId == 0 && !m_loginPending) {
        m_loginPending = true;
        QTimer::singleShot(0, this, &TMainForm::showLogin);
    }
}

void TMainForm::runShowSteps()
{
    m_columns->applyStoredFlags();
    if (m_sessionId != 0 && !isSuperAdministrator())
        applyRestrictions(); // showing again must not bring purchase prices back
    m_stockIn->hide();
    m_sale->hide();
    m_slip->hide();
    const QDate today = QDate::currentDate();
    m_stockIn->dateField()->setDate(today);
    m_sale->dateField()->setDate(today);
    m_search->setDates(today);
    if (SettingsStore::keyExists()) {
        skins::applyStored(SettingsStore::read(QString(settingkeys::skin)));
        m_alarm->setText(SettingsStore::readAlarmNumber());
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
        if (m_sessionId == 0 && !m_loginPending) {
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
    if (m_sessionId != 0)
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
        // The stored zero-stock choice ticks or unticks the box, which reloads.
        const QString n0 = SettingsStore::keyExists() ? SettingsStore::read(QString(settingkeys::zeroStock)) : QString();
        if (n0 == settingkeys::no || n0 == settingkeys::yes) {
            // Ticked or unticked without its own reload: the one below serves both.
            const bool hide = n0 == settingkeys::no;
            m_zeroStock = hide ? stockq::ZeroStock::Hidden : stockq::ZeroStock::Shown;
            const QSignalBlocker block(m_hideZero);
            m_hideZero->setChecked(hide);
        }
        restoreStockLayout();
    }
    m_dm.generalQuery().close();
    reloadStockList();
    if (!m_login->loggedIn()) {
        close();
        return;
    }
    m_userName = m_login->userName();
    activateWindow();
    m_grid->view()->setFocus();
    m_status[1]->setText(m_userName);
    m_sale->setSaleDateEditable(isSuperAdministrator());
    if (!isSuperAdministrator())
        applyRestrictions();
    m_sessionId = userq::logLogin(m_dm, m_userName, QDateTime::currentDateTime());
    // The engine's error has been shown. Without a session the login would come
    // back and fail the same way for ever: end the program instead.
    if (m_sessionId == 0)
        close();
}

void TMainForm::applyRestrictions()
{
    // Ordinary users sell and look things up; stock-in, changes, deletions,
    // purchase prices and amounts are out of their reach (hidden and disabled,
    // so no shortcut reaches them either).
    const QStringList captions{QStringLiteral("新建入库"), QStringLiteral("修 改"), QStringLiteral("删 除"),
                               QStringLiteral("修改密码"), QStringLiteral("用户管理"), QStringLiteral("隐藏进货单价"),
                               QStringLiteral("隐藏金额")};
    for (QMenu* menu : findChildren<QMenu*>())
        for (QAction* a : menu->actions())
            if (captions.contains(a->text())) {
                a->setVisible(false);
                a->setEnabled(false);
            }
    m_newStockButton->hide();
    m_newStockButton->setEnabled(false);
    m_stockIn->hide();
    m_columns->setForcedHidden({stockcol::purchasePrice, stockcol::purchaseAmount, stockcol::stockAmount});
}

void TMainForm::closeEvent(QCloseEvent* e)
{
    if (m_sessionId != 0)
        userq::logLogout(m_dm, m_sessionId, QDateTime::currentDateTime());
    // The next run compares its sale date with this one to start a new day's sequence.
    writeSetting(settingkeys::saleDate, m_sale->dateField()->text());
    m_help->hide();
    e->accept();
}

// ---- Layout --------------------------------------------------------------------

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
    const int gridHeight = std::clamp(outer - kBelowGrid, 100, std::max(100, central->height() - 60));
    m_grid->setGeometry(0, 0, central->width(), gridHeight);
    m_commandArea->setGeometry(0, gridHeight, central->width(), central->height() - gridHeight);
    m_notice->raise();
    m_stockIn->raise();
    m_sale->raise();
    m_slip->raise();
}

// ---- Stock list ------------------------------------------------------------------

void TMainForm::reloadStockList()
{
    m_stockIn->refillLists();
    m_search->refillLists(m_dm);
    if (m_dm.showAllStock(m_zeroStock))
        m_dm.stockList().last();
    // The rows are back in stock-in order: no title shows a sort any more.
    m_grid->clearSortMarkers();
    m_lastClickedRow = -1;
}

void TMainForm::runStockSearch()
{
    // A date that is no date fails the search as a rejected statement does:
    // the message, and an empty list until the next reload or search.
    if (const std::optional<QString> bad = m_search->invalidDate()) {
        m_dm.stockList().close();
        messagePort().error(num::invalidDateText(*bad));
        return;
    }
    m_dm.searchStock(m_zeroStock, m_search->conditions());
}

void TMainForm::zeroStockChanged(bool hide)
{
    m_zeroStock = hide ? stockq::ZeroStock::Hidden : stockq::ZeroStock::Shown;
    reloadStockList();
    writeYesNo(settingkeys::zeroStock, !hide);
}

QColor TMainForm::rowColor(int row) const
{
    // Stock at or below the alarm number is drawn red; halves round to even.
    const qint64 stock = num::roundHalfEven(m_dm.stockList().value(row, stockcol::stockQuantity));
    const qint64 alarm = num::toInteger(m_alarm->text()).value_or(0);
    return alarm >= stock ? QColor(255, 0, 0) : QColor();
}

void TMainForm::alarmChanged(const QString& text)
{
    if (text.isEmpty()) {
        m_alarm->setText(QStringLiteral("0")); // comes back here with "0"
        return;
    }
    writeSetting(settingkeys::stockAlarm, text);
    m_grid->refreshRows();
}

void TMainForm::titleClicked()
{
    m_stockIn->hide();
}

void TMainForm::rowClicked(int row)
{
    if (row != m_lastClickedRow) {
        m_lastClickedRow = row;
        m_stockIn->setChangeEnabled(false);
        if (m_sale->isVisible())
            m_sale->closePanel();
    }
    if (!m_dm.stockList().value(row, stockcol::name).toString().isEmpty())
        m_stockIn->copyFromRow(m_dm.stockList(), row);
}

void TMainForm::rowDoubleClicked(int row)
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

// ---- Stock-in ------------------------------------------------------------------

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

void TMainForm::showNotice(const QString& text)
{
    m_notice->setText(text);
    m_notice->show();
    m_notice->raise();
    m_noticeTimer->start();
}

void TMainForm::tickNotice()
{
    if (m_notice->isVisible()) {
        m_noticeTimer->stop();
        m_notice->hide();
    }
}

void TMainForm::tickDateKeeper()
{
    if (m_stockIn->dateField()->isEmpty())
        m_stockIn->dateField()->setDate(QDate::currentDate());
    if (m_sale->dateField()->isEmpty())
        m_sale->dateField()->setDate(QDate::currentDate());
}

// ---- Column layout ---------------------------------------------------------------

void TMainForm::saveColumnWidths()
{
    QString error;
    reportFailure(saveLayout(kStockSection, QString(settingkeys::layoutGridName), m_grid->currentLayout(), &error),
                  error);
}

void TMainForm::restoreStockLayout()
{
    GridLayout layout = m_grid->currentLayout();
    if (restoreLayout(kStockSection, QString(settingkeys::layoutGridName), layout))
        m_grid->applyLayout(layout);
    if (m_sessionId != 0 && !isSuperAdministrator())
        applyRestrictions();
}

// ---- Menus of the toolbar ----------------------------------------------------------

void TMainForm::showHelp()
{
    // The help window stands in the middle of the desktop, not of the main window.
    // Its frame is known only once it is shown, so it is centred again then.
    QScreen* screen = this->screen() ? this->screen() : QApplication::primaryScreen();
    const auto centre = [this, screen] {
        QRect frame = m_help->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        m_help->move(frame.topLeft());
    };
    if (!m_help->isVisible() && screen) {
        centre();
        m_help->show();
        centre();
    }
    m_help->show();
    m_help->raise();
}

void TMainForm::showReceiptSettings()
{
    if (!m_tpos->isVisible()) {
        QRect frame = m_tpos->frameGeometry();
        frame.moveCenter(frameGeometry().center());
        m_tpos->move(frame.topLeft());
    }
    m_tpos->show();
    m_tpos->raise();
    m_tpos->activateWindow();
}

void TMainForm::checkForUpgrade()
{
    messagePort().inform(QStringLiteral("本软件没有在线升级服务器，无法检查新版本。\n需要新版本时，请与软件提供方联系。"));
}

void TMainForm::openWebSite()
{
    launchers::openWebPage(webAddress(),
                           QStringLiteral("没有找到网页浏览器，请先安装一个浏览器（例如 firefox-esr 或 chromium）。\n"
                                          "网址：") + webAddress());
}

void TMainForm::showAbout()
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("关于"),
                    title() + QStringLiteral("\n\n运动品店的入库、销售、库存与统计管理。\n") + webAddress(),
                    QMessageBox::Ok, this);
    box.exec();
}

void TMainForm::startCalculator()
{
    launchers::start(launchers::calculatorCandidates(),
                     QStringLiteral("没有找到计算器程序，请先安装一个计算器（例如 gnome-calculator）。"));
}

void TMainForm::startEditor()
{
    launchers::start(launchers::editorCandidates(),
                     QStringLiteral("没有找到文本编辑器，请先安装一个文本编辑器（例如 gedit 或 mousepad）。"));
}
