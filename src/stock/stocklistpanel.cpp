#include "stock/stocklistpanel.h"

#include "core/messageport.h"
#include "core/numbers.h"
#include "settings/layoutfile.h"
#include "settings/settingkeys.h"
#include "settings/settingsstore.h"
#include "stock/stockcolumnsettings.h"
#include "stock/stockgridcolumns.h"
#include "stock/stockinpanel.h"
#include "stock/stocklisthost.h"
#include "stock/stocksearchbox.h"
#include "store/db/columns.h"
#include "store/ops/tableloader.h"
#include "store/ops/tdmfm.h"
#include "ui/characterfilter.h"
#include "ui/datagrid.h"
#include "ui/datefield.h"
#include "ui/failurereport.h"
#include "ui/gridexport.h"
#include "ui/gridprint.h"
#include "ui/reporterror.h"
#include "ui/tableloadprogress.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalBlocker>
#include <QTableView>
#include <QVBoxLayout>

namespace {

// The section of the layout file that holds the stock grid's layout.
const QString kStockSection = QStringLiteral("korvel-net");

} // namespace

StockListPanel::StockListPanel(Tdmfm& dm, StockListHost& host, QWidget* parent)
    : QWidget(parent)
    , m_dm(dm)
    , m_host(host)
    , m_grid(new DataGrid(this))
{
    m_grid->setColumns(stockGridColumns());
    m_grid->setRowSet(&m_dm.stock().list());
    m_grid->setRowTextColor([this](const RowSet&, int row) { return rowColor(row); });
    m_grid->setToolTip(QStringLiteral("点列标题进行排序，双击记录进行销售"));
    m_grid->setStatusTip(m_grid->toolTip());
    connect(m_grid, &DataGrid::titleClicked, this, &StockListPanel::titleClicked);
    connect(m_grid, &DataGrid::cellClicked, this, &StockListPanel::rowClicked);
    connect(m_grid, &DataGrid::rowDoubleClicked, this, [this](int row) { m_host.stockRowDoubleClicked(row); });
    m_columns = new StockColumnSettings(m_grid, this);
    // The stock table is read in the background while the login window
    // shows: a list asked for before it is in fills once it is.
    connect(&m_dm.stock().loader(), &TableLoader::finished, this, [this] {
        delete m_loadProgress;
        if (std::exchange(m_reloadWhenLoaded, false))
            reload();
    });
    buildGridMenu();
    m_grid->setContextMenu(m_gridMenu);

    m_commandArea = new QFrame(this);
    m_commandArea->setObjectName(QStringLiteral("commandArea"));
    auto* areaLayout = new QHBoxLayout(m_commandArea);
    areaLayout->setContentsMargins(4, 2, 4, 2);
    m_search = new StockSearchBox(m_commandArea);
    areaLayout->addWidget(m_search, 1);
    m_toolbarArea = new QWidget(m_commandArea);
    auto* rightLayout = new QVBoxLayout(m_toolbarArea);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    // Tight: two rows of buttons and the alarm row share the area's height.
    rightLayout->setSpacing(2);
    for (QHBoxLayout*& row : m_toolbarRows) {
        row = new QHBoxLayout;
        row->setSpacing(2);
        row->addStretch();
        rightLayout->addLayout(row);
    }
    auto* alarmRow = new QHBoxLayout;
    alarmRow->addStretch();
    alarmRow->addWidget(new QLabel(QStringLiteral("库存报警数量："), m_toolbarArea));
    m_alarm = new QLineEdit(QString(settingkeys::stockAlarmDefault), m_toolbarArea);
    m_alarmNumber = num::toInteger(m_alarm->text()).value_or(0);
    m_alarm->setFixedWidth(40);
    m_alarm->setToolTip(QStringLiteral("修改库存报警数量，记录变成红色"));
    m_alarm->setStatusTip(m_alarm->toolTip());
    // Only digits type into the alarm box, and nothing else can be pasted.
    CharacterFilter::install(m_alarm, &CharacterFilter::isAsciiDigit);
    alarmRow->addWidget(m_alarm);
    m_hideZero = new QCheckBox(QStringLiteral("不显示零库存"), m_toolbarArea);
    alarmRow->addWidget(m_hideZero);
    rightLayout->addLayout(alarmRow);
    rightLayout->addStretch();
    areaLayout->addWidget(m_toolbarArea, 0);
    connect(m_search, &StockSearchBox::searchRequested, this, &StockListPanel::search);
    connect(m_search, &StockSearchBox::reloadRequested, this, &StockListPanel::reload);
    connect(m_alarm, &QLineEdit::textChanged, this, &StockListPanel::alarmChanged);
    connect(m_hideZero, &QCheckBox::toggled, this, &StockListPanel::zeroStockChanged);
}

void StockListPanel::buildGridMenu()
{
    m_gridMenu = new QMenu(this);
    m_superOnly = {
        m_gridMenu->addAction(QStringLiteral("新建入库"), this, &StockListPanel::openStockInForNew),
        m_gridMenu->addAction(QStringLiteral("修 改"), this, &StockListPanel::openStockInForChange),
        m_gridMenu->addAction(QStringLiteral("删 除"), this, &StockListPanel::deleteStockRow),
    };
    m_gridMenu->addAction(QStringLiteral("全部记录"), this, &StockListPanel::reload);
    m_gridMenu->addSeparator();
    // The shortcuts work while the grid has the focus, with the menu closed.
    const auto withShortcut = [this](QAction* action, const QKeySequence& keys) {
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        m_grid->addAction(action);
    };
    withShortcut(m_gridMenu->addAction(QStringLiteral("导出Excel"), this, &StockListPanel::exportGrid),
                 QKeySequence(Qt::CTRL | Qt::Key_E));
    withShortcut(m_gridMenu->addAction(QStringLiteral("打 印"), this, &StockListPanel::printGrid),
                 QKeySequence(Qt::CTRL | Qt::Key_D));
    m_windowActionsEnd = m_gridMenu->addSeparator();
    m_gridMenu->addMenu(m_columns->menu());
    m_superOnly += m_columns->costActions();
    m_gridMenu->addAction(QStringLiteral("保存当前列宽"), this, &StockListPanel::saveLayout);
    // "读取列宽" belongs to the menu but is never shown; the login uses its action.
    m_gridMenu->addAction(QStringLiteral("读取列宽"), this, &StockListPanel::restoreLayout)->setVisible(false);
}

QAction* StockListPanel::addGridMenuAction(const QString& caption, MenuPart part)
{
    auto* action = new QAction(caption, m_gridMenu);
    if (part == MenuPart::Windows) {
        m_gridMenu->insertAction(m_windowActionsEnd, action);
        return action;
    }
    if (!m_lastPartStarted) {
        m_gridMenu->addSeparator();
        m_lastPartStarted = true;
    }
    m_gridMenu->addAction(action);
    return action;
}

void StockListPanel::arrange(int gridHeight)
{
    m_grid->setGeometry(0, 0, width(), gridHeight);
    m_commandArea->setGeometry(0, gridHeight, width(), height() - gridHeight);
}

void StockListPanel::prepareShow(const QDate& today)
{
    m_columns->applyStoredFlags();
    m_search->setDates(today);
    if (m_stockIn) {
        m_stockIn->hide();
        m_stockIn->dateField()->setDate(today);
    }
    if (SettingsStore::keyExists())
        m_alarm->setText(SettingsStore::readAlarmNumber());
}

void StockListPanel::applyStoredZeroStock()
{
    const QString n0 = SettingsStore::keyExists() ? SettingsStore::read(QString(settingkeys::zeroStock)) : QString();
    if (n0 != settingkeys::no && n0 != settingkeys::yes)
        return;
    // Ticked or unticked without its own reload: the caller's reload serves both.
    const bool hide = n0 == settingkeys::no;
    m_zeroStock = hide ? stockq::ZeroStock::Hidden : stockq::ZeroStock::Shown;
    const QSignalBlocker block(m_hideZero);
    m_hideZero->setChecked(hide);
}

void StockListPanel::hideCostColumns()
{
    m_columns->setForcedHidden({stockcol::purchasePrice, stockcol::purchaseAmount, stockcol::stockAmount});
}

QString StockListPanel::alarmNumber() const
{
    return m_alarm->text();
}

void StockListPanel::reload()
{
    if (m_dm.stock().isWaitingForLoad()) {
        m_reloadWhenLoaded = true;
        // Meanwhile the read's progress shows over the window.
        if (!m_loadProgress)
            m_loadProgress = new TableLoadProgress(m_dm.stock().table(), QStringLiteral("正在读取库存记录…"), window());
        return;
    }
    if (m_stockIn)
        m_stockIn->refillLists();
    m_search->refillLists(m_dm);
    if (succeeded(m_dm.stock().showAll(m_zeroStock)))
        m_dm.stock().list().last();
    // The rows are back in stock-in order: no title shows a sort any more.
    m_grid->clearSortMarkers();
    m_lastClickedRow = -1;
}

void StockListPanel::search()
{
    // A date that is no date fails the search as a rejected statement does:
    // the message, and an empty list until the next reload or search.
    if (const std::optional<QString> bad = m_search->invalidDate()) {
        m_dm.stock().list().close();
        messagePort().error(num::invalidDateText(*bad));
        return;
    }
    (void)succeeded(m_dm.stock().search(m_zeroStock, m_search->conditions()));
}

QSet<QString> StockListPanel::restrictedFields() const
{
    if (m_host.isSuperAdministrator())
        return {};
    return {QString(stockcol::purchasePrice), QString(stockcol::purchaseAmount), QString(stockcol::stockAmount)};
}

void StockListPanel::exportGrid()
{
    GridExport::run(*m_grid, {QStringLiteral("商品进货统计报表"), m_host.userName(), restrictedFields(),
                              m_host.isSuperAdministrator()});
}

void StockListPanel::printGrid()
{
    GridPrint::preview(*m_grid, {QStringLiteral("商 品 进 货 统 计 报 表"), QStringLiteral("%[Today1]"),
                                 m_host.userName(), restrictedFields()});
}

void StockListPanel::saveLayout()
{
    QString error;
    reportFailure(::saveLayout(kStockSection, QString(settingkeys::layoutGridName), m_grid->currentLayout(), &error),
                  error);
}

void StockListPanel::restoreLayout()
{
    GridLayout layout = m_grid->currentLayout();
    if (::restoreLayout(kStockSection, QString(settingkeys::layoutGridName), layout))
        m_grid->applyLayout(layout);
    // A stored layout does not bring back columns kept from this user.
    m_columns->setForcedHidden(m_columns->forcedHidden());
}

void StockListPanel::zeroStockChanged(bool hide)
{
    m_zeroStock = hide ? stockq::ZeroStock::Hidden : stockq::ZeroStock::Shown;
    reload();
    writeYesNo(settingkeys::zeroStock, !hide);
}

QColor StockListPanel::rowColor(int row) const
{
    // Stock at or below the alarm number is drawn red; halves round to even.
    // Asked for every cell painted: the column is looked up when the list's
    // columns are new, the alarm number when it is typed.
    const RowSet& list = m_dm.stock().list();
    if (m_stockColumn < 0 || list.columns().value(m_stockColumn).compare(stockcol::stockQuantity, Qt::CaseInsensitive))
        m_stockColumn = list.columnIndex(stockcol::stockQuantity);
    const qint64 stock = num::roundHalfEven(list.value(row, m_stockColumn));
    return m_alarmNumber >= stock ? QColor(255, 0, 0) : QColor();
}

void StockListPanel::alarmChanged(const QString& text)
{
    if (text.isEmpty()) {
        m_alarm->setText(QStringLiteral("0")); // comes back here with "0"
        return;
    }
    m_alarmNumber = num::toInteger(text).value_or(0);
    writeSetting(settingkeys::stockAlarm, text);
    m_grid->refreshRows();
}

void StockListPanel::titleClicked()
{
    if (m_stockIn)
        m_stockIn->hide();
}

void StockListPanel::rowClicked(int row)
{
    if (row != m_lastClickedRow) {
        m_lastClickedRow = row;
        if (m_stockIn)
            m_stockIn->setChangeEnabled(false);
        m_host.stockRowChanged();
    }
    if (m_stockIn && !m_dm.stock().list().value(row, stockcol::name).toString().isEmpty())
        m_stockIn->copyFromRow(m_dm.stock().list(), row);
}

void StockListPanel::openStockInForNew()
{
    if (!m_host.isSuperAdministrator() || !m_stockIn)
        return;
    m_host.hideSale();
    m_stockIn->openForNew();
    m_stockIn->raise();
    m_stockIn->nameList()->setFocus();
}

void StockListPanel::openStockInForChange()
{
    if (!m_host.isSuperAdministrator() || !m_stockIn)
        return;
    if (m_stockIn->openForChange())
        m_host.hideSale();
    m_stockIn->raise();
}

void StockListPanel::deleteStockRow()
{
    if (!m_host.isSuperAdministrator() || !m_stockIn)
        return;
    m_host.hideSale();
    m_stockIn->deleteCurrentRow();
}
