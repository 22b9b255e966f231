#include "sales/txstj.h"

#include "core/clock.h"
#include "core/messageport.h"
#include "core/numbers.h"
#include "sales/saleeditpanel.h"
#include "sales/saleschartspage.h"
#include "sales/salescolumnflags.h"
#include "sales/salesgridcolumns.h"
#include "sales/saleshost.h"
#include "settings/layoutfile.h"
#include "settings/settingkeys.h"
#include "store/db/columns.h"
#include "store/memory/memtable.h"
#include "store/ops/tdmfm.h"
#include "ui/datagrid.h"
#include "ui/datefield.h"
#include "ui/failurereport.h"
#include "ui/gridexport.h"
#include "ui/gridprint.h"
#include "ui/queryhelpers.h"
#include "ui/reporterror.h"
#include "ui/tableloadprogress.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QShowEvent>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

namespace {

constexpr int kClientWidth = 1008;
constexpr int kClientHeight = 585;
constexpr int kSearchAreaHeight = 148;
const QString kSearchGroup = QStringLiteral(" 快速拼音查询");
const QString kSlipGroup = QStringLiteral("销售单打印");
const QString kReturnsGroup = QStringLiteral("退货");

QLabel* label(const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}

} // namespace

Txstj::Txstj(Tdmfm& dm, SalesHost& host, QWidget* parent)
    : QDialog(parent)
    , m_dm(dm)
    , m_host(host)
{
    setWindowTitle(QStringLiteral("销售明细"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    resize(kClientWidth, kClientHeight);

    auto* outer = new QVBoxLayout(this);
    // The pages leave a strip of 20 pixels below them.
    outer->setContentsMargins(0, 0, 0, 20);
    m_pages = new QTabWidget(this);
    outer->addWidget(m_pages);

    auto* page = new QWidget(m_pages);
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->setSpacing(0);
    m_grid = new DataGrid(page);
    m_grid->setColumns(salesGridColumns());
    m_grid->setRowSet(&m_dm.sales().list());
    m_grid->setRowTextColor([this](const RowSet&, int row) { return rowColor(row); });
    QTableView* view = m_grid->view();
    view->setAlternatingRowColors(true);
    QPalette pal = view->palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::AlternateBase, QColor(238, 238, 238));
    view->setPalette(pal);
    pageLayout->addWidget(m_grid, 1);
    pageLayout->addWidget(buildSearchArea(page));
    m_pages->addTab(page, QStringLiteral("销售明细"));
    m_charts = new SalesChartsPage(m_dm, m_pages);
    m_pages->addTab(m_charts, QStringLiteral("销售统计"));

    m_flags = new SalesColumnFlags(m_grid, this);
    m_edit = new SaleEditPanel(m_dm, page);
    m_edit->move(120, 40);
    buildGridMenu();

    connect(m_grid, &DataGrid::titleClicked, m_edit, &QWidget::hide);
    connect(m_grid, &DataGrid::cellClicked, this, &Txstj::rowClicked);
    connect(m_grid, &DataGrid::rowDoubleClicked, this, &Txstj::openChange);
    // The panel acts on the row it shows: another current row closes it.
    connect(m_grid, &DataGrid::currentRowChanged, this, [this](int row) {
        const RowSet& list = m_dm.sales().list();
        if (m_edit->isVisible() && (row < 0 || list.rowId(row) != m_edit->saleRowId()))
            m_edit->hide();
    });
    // The first showing reads every sale into memory: at a big shop that
    // takes seconds, shown as a progress dialog over the window.
    new TableLoadProgress(m_dm.sales().table(), QStringLiteral("正在读取销售记录…"), this);
    connect(m_edit, &SaleEditPanel::deleted, this, &Txstj::showThisMonth);
    // The charts follow every committed change of the sales, wherever it was
    // made, once the window has been shown (before, a sale draws nothing: the
    // sales are in memory from the login on, but nobody looks at the charts).
    connect(&m_dm, &Tdmfm::changed, m_charts, [this](const StoreChange& change) {
        if (!change.saleRows.isEmpty() && m_everShown && m_dm.sales().table().isLoaded())
            m_charts->redraw();
    });
    // Enter belongs to the boxes (the amount owed moves on with it): no button
    // of the window is pressed by it.
    for (QPushButton* b : findChildren<QPushButton*>()) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
}

QWidget* Txstj::buildSearchArea(QWidget* parent)
{
    auto* area = new QWidget(parent);
    area->setFixedHeight(kSearchAreaHeight);
    auto* row = new QHBoxLayout(area);
    row->setContentsMargins(4, 2, 4, 2);

    auto* search = new QGroupBox(kSearchGroup, area);
    m_category = new QComboBox(search);
    m_category->setEditable(true);
    m_category->setInsertPolicy(QComboBox::NoInsert);
    m_category->setMinimumWidth(110);
    m_name = new QLineEdit(search);
    m_name->setToolTip(QStringLiteral("输入字母拼音查询"));
    m_customer = new QLineEdit(search);
    m_model = new QLineEdit(search);
    m_model->setToolTip(QStringLiteral("输入字母拼音查询"));
    m_code = new QLineEdit(search);
    m_remark = new QLineEdit(search);
    m_byDate = new QCheckBox(QStringLiteral("销售日期："), search);
    m_from = new DateField(search);
    m_to = new DateField(search);
    const auto addButton = [this](const QString& group, const QString& caption, QWidget* box) {
        auto* b = new QPushButton(caption, box);
        m_buttons.append({group + QLatin1Char('/') + caption, b});
        return b;
    };
    auto* grid = new QGridLayout(search);
    grid->setContentsMargins(8, 4, 8, 4);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    grid->addWidget(label(QStringLiteral("类 别："), search), 0, 0);
    grid->addWidget(m_category, 0, 1);
    grid->addWidget(label(QStringLiteral("商品名称："), search), 0, 2);
    grid->addWidget(m_name, 0, 3);
    grid->addWidget(label(QStringLiteral("客户名称："), search), 0, 4);
    grid->addWidget(m_customer, 0, 5);
    grid->addWidget(label(QStringLiteral("规格型号："), search), 1, 0);
    grid->addWidget(m_model, 1, 1);
    grid->addWidget(label(QStringLiteral("商品编码："), search), 1, 2);
    grid->addWidget(m_code, 1, 3);
    grid->addWidget(label(QStringLiteral("备 注："), search), 1, 4);
    grid->addWidget(m_remark, 1, 5);
    auto* dates = new QHBoxLayout;
    dates->setSpacing(4);
    dates->addWidget(m_byDate);
    dates->addWidget(m_from);
    dates->addWidget(new QLabel(QStringLiteral("至"), search));
    dates->addWidget(m_to);
    dates->addStretch();
    grid->addLayout(dates, 2, 0, 1, 4);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(4);
    QPushButton* find = addButton(kSearchGroup, QStringLiteral("查 询"), search);
    QPushButton* month = addButton(kSearchGroup, QStringLiteral("本 月"), search);
    QPushButton* clear = addButton(kSearchGroup, QStringLiteral("清空条件"), search);
    QPushButton* all = addButton(kSearchGroup, QStringLiteral("全部记录"), search);
    QPushButton* today = addButton(kSearchGroup, QStringLiteral("当 天"), search);
    for (QPushButton* b : {find, month, clear, all, today}) {
        b->setFixedWidth(62);
        buttons->addWidget(b);
    }
    grid->addLayout(buttons, 2, 4, 1, 2);
    row->addWidget(search, 1);

    auto* slip = new QGroupBox(kSlipGroup, area);
    auto* slipLayout = new QVBoxLayout(slip);
    auto* numberRow = new QHBoxLayout;
    numberRow->addWidget(new QLabel(QStringLiteral("销售单号："), slip));
    m_number = new QLineEdit(slip);
    m_number->setMinimumWidth(110);
    numberRow->addWidget(m_number);
    slipLayout->addLayout(numberRow);
    QPushButton* slipFind = addButton(kSlipGroup, QStringLiteral("查 询"), slip);
    slipLayout->addWidget(slipFind);
    QPushButton* slipPreview = addButton(kSlipGroup, QStringLiteral("销售单预览"), slip);
    slipLayout->addWidget(slipPreview);
    connect(slipPreview, &QPushButton::clicked, this, &Txstj::previewSlip);
    slipLayout->addStretch();
    row->addWidget(slip);

    auto* returns = new QGroupBox(kReturnsGroup, area);
    auto* returnsLayout = new QVBoxLayout(returns);
    QPushButton* returnsFind = addButton(kReturnsGroup, QStringLiteral("查 询"), returns);
    QPushButton* returnsAll = addButton(kReturnsGroup, QStringLiteral("全部退货"), returns);
    returnsLayout->addWidget(returnsFind);
    returnsLayout->addWidget(returnsAll);
    returnsLayout->addStretch();
    row->addWidget(returns);

    connect(find, &QPushButton::clicked, this, &Txstj::search);
    connect(month, &QPushButton::clicked, this, &Txstj::showThisMonth);
    connect(clear, &QPushButton::clicked, this, &Txstj::clearConditions);
    connect(all, &QPushButton::clicked, this, &Txstj::showAll);
    connect(today, &QPushButton::clicked, this, &Txstj::showToday);
    connect(slipFind, &QPushButton::clicked, this, &Txstj::searchSaleNumber);
    connect(returnsFind, &QPushButton::clicked, this, &Txstj::searchReturns);
    connect(returnsAll, &QPushButton::clicked, this, &Txstj::showAllReturns);
    // Every change of a search text searches at once; ticking the date waits for a button.
    const auto asTyped = [this] {
        if (!m_quiet)
            this->search();
    };
    for (QLineEdit* box : {m_name, m_code, m_model, m_customer, m_remark})
        connect(box, &QLineEdit::textChanged, this, asTyped);
    connect(m_category, &QComboBox::editTextChanged, this, asTyped);
    return area;
}

void Txstj::buildGridMenu()
{
    m_menu = new QMenu(this);
    m_changeAction = m_menu->addAction(QStringLiteral("修 改 "), this, &Txstj::openChange);
    m_deleteAction = m_menu->addAction(QStringLiteral("删 除"), this, &Txstj::openDelete);
    m_deleteAction->setShortcut(QKeySequence(Qt::Key_Delete));
    m_deleteAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    m_grid->addAction(m_deleteAction);
    QAction* exportAction = m_menu->addAction(QStringLiteral("导出Excel"), this, &Txstj::exportGrid);
    QAction* printAction = m_menu->addAction(QStringLiteral("打 印"), this, &Txstj::printGrid);
    exportAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    printAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    for (QAction* a : {exportAction, printAction}) {
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        m_grid->addAction(a); // the shortcuts work while the grid has the focus
    }
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("保存当前列宽"), this, &Txstj::saveLayout);
    m_menu->addSeparator();
    m_flags->addTo(m_menu);
    m_grid->setContextMenu(m_menu);
}

QAction* Txstj::action(const QString& caption) const
{
    for (QAction* a : m_menu->actions())
        if (a->text() == caption)
            return a;
    return nullptr;
}

QPushButton* Txstj::button(const QString& group, const QString& caption) const
{
    for (const auto& [key, b] : m_buttons)
        if (key == group + QLatin1Char('/') + caption)
            return b;
    return nullptr;
}

void Txstj::openModal()
{
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
    activateWindow();
}

void Txstj::applyStoredFlags()
{
    m_flags->applyStoredFlags();
    m_flags->enforce();
}

void Txstj::restrictForOrdinaryUser()
{
    m_superAdministrator = false;
    for (QAction* a :
         {m_changeAction, m_deleteAction, m_flags->action(QStringLiteral("隐藏净利润")), m_flags->showAllAction()}) {
        a->setVisible(false);
        a->setEnabled(false);
    }
    m_edit->hide();
    m_flags->setForcedHidden({QString(salecol::profit)});
    m_charts->hideChartsForOrdinaryUser();
}

QSet<QString> Txstj::restrictedFields() const
{
    if (m_superAdministrator)
        return {};
    return {QString(salecol::profit), QString(salecol::purchasePrice)};
}

void Txstj::exportGrid()
{
    GridExport::run(*m_grid,
                    {QStringLiteral("销 售 报 表"), m_host.userName(), restrictedFields(), m_superAdministrator});
}

void Txstj::printGrid()
{
    GridPrint::preview(*m_grid, {QStringLiteral("销 售 统 计 报 表"), QStringLiteral("%[Today]"), m_host.userName(),
                                 restrictedFields()});
}

void Txstj::setSaleNumber(const QString& number)
{
    m_number->setText(number);
}

void Txstj::saleRecorded(const QString& number)
{
    setSaleNumber(number);
    if (isVisible() || m_everShown)
        showThisMonth();
}

void Txstj::showSaleNumber(const QString& number)
{
    setSaleNumber(number);
    if (isVisible() || m_everShown)
        searchSaleNumber();
}

QString Txstj::saleNumber() const
{
    return m_number->text();
}

salesearch::Conditions Txstj::conditions() const
{
    salesearch::Conditions c;
    c.category = m_category->currentText();
    c.nameInitials = m_name->text();
    c.code = m_code->text();
    c.specInitials = m_model->text();
    c.customer = m_customer->text();
    c.remark = m_remark->text();
    c.byDate = m_byDate->isChecked();
    c.from = m_from->text();
    c.to = m_to->text();
    return c;
}

// ---- Showing and closing -----------------------------------------------------

void Txstj::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (e->spontaneous())
        return;
    if (m_lastPosition)
        move(*m_lastPosition);
    m_everShown = true;
    restoreLayout();
    m_from->setDate(wallclock::today());
    m_to->setDate(wallclock::today());
    showThisMonth();
    m_charts->prepareShow(wallclock::today());
}

void Txstj::hideEvent(QHideEvent* e)
{
    QDialog::hideEvent(e);
    if (e->spontaneous())
        return;
    m_lastPosition = pos(); // the next showing opens where the user left it
    m_edit->hide();
    m_dm.sales().list().close();
    m_host.salesWindowClosed();
}

void Txstj::keyPressEvent(QKeyEvent* e)
{
    // Escape undoes the last thing opened or typed before it closes the window.
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        if (m_edit->isVisible()) {
            m_edit->hide();
            return;
        }
        if (auto* box = qobject_cast<QLineEdit*>(QApplication::focusWidget());
            box && isAncestorOf(box) && !box->isReadOnly() && !box->text().isEmpty()) {
            box->clear();
            return;
        }
    }
    QDialog::keyPressEvent(e);
}

void Txstj::restoreLayout()
{
    GridLayout layout = m_grid->currentLayout();
    if (::restoreLayout(QString(settingkeys::layoutSectionSales), QString(settingkeys::layoutGridName), layout))
        m_grid->applyLayout(layout);
    // A stored layout never brings back a column kept from this user.
    m_flags->enforce();
}

void Txstj::saveLayout()
{
    QString error;
    reportFailure(::saveLayout(QString(settingkeys::layoutSectionSales), QString(settingkeys::layoutGridName),
                               m_grid->currentLayout(), &error),
                  error);
}

// ---- Commands ----------------------------------------------------------------

bool Txstj::run(const salesearch::Query& q, bool toLast)
{
    if (!succeeded(m_dm.sales().show(q)))
        return false; // the grid keeps what it showed
    RowSet& list = m_dm.sales().list();
    if (toLast)
        list.last();
    else
        list.setCurrent(list.isEmpty() ? -1 : 0);
    m_grid->clearSortMarkers();
    return true;
}

void Txstj::refillCategories()
{
    const QScopedValueRollback quiet(m_quiet, true);
    FillDistinctList(m_category, valueOrReport(m_dm.sales().values(QString(salecol::category)), {}));
}

void Txstj::showThisMonth()
{
    m_edit->hide();
    refillCategories();
    run(salesearch::thisMonth(wallclock::today()), true);
}

void Txstj::showAll()
{
    m_edit->hide();
    refillCategories();
    run(salesearch::all(), true);
}

void Txstj::showAllReturns()
{
    m_edit->hide();
    refillCategories();
    run(salesearch::allReturns(), true);
}

std::optional<QString> Txstj::invalidDate() const
{
    if (!m_byDate->isChecked())
        return std::nullopt;
    for (const DateField* field : {m_from, m_to})
        if (!field->date())
            return field->lineEdit()->displayText();
    return std::nullopt;
}

void Txstj::search()
{
    m_edit->hide();
    if (const std::optional<QString> bad = invalidDate()) {
        messagePort().error(num::invalidDateText(*bad));
        return;
    }
    run(salesearch::search(conditions()), false);
}

void Txstj::showToday()
{
    m_byDate->setChecked(true);
    search();
}

void Txstj::searchReturns()
{
    m_edit->hide();
    if (const std::optional<QString> bad = invalidDate()) {
        messagePort().error(num::invalidDateText(*bad));
        return;
    }
    run(salesearch::returnSearch(conditions()), false);
}

void Txstj::searchSaleNumber()
{
    run(salesearch::saleNumberQuery(m_number->text()), false);
}

void Txstj::previewSlip()
{
    // An empty box would make a slip of every sale ever made.
    const QString number = m_number->text().trimmed();
    if (number.isEmpty()) {
        messagePort().inform(QStringLiteral("点选要打印的某行记录"));
        return;
    }
    searchSaleNumber(); // the list shows the rows the slip prints
    m_host.previewSlip(number);
}

void Txstj::clearConditions()
{
    bool hadText = false;
    {
        const QScopedValueRollback quiet(m_quiet, true);
        for (QLineEdit* box : {m_name, m_code, m_model, m_customer, m_remark}) {
            hadText = hadText || !box->text().isEmpty();
            box->clear();
        }
        hadText = hadText || !m_category->currentText().isEmpty();
        m_category->setCurrentIndex(-1);
        m_category->setCurrentText(QString());
    }
    // Emptying a box searches as typed would: once, with every box empty and
    // the dates still as they were; unticking them searches nothing.
    if (hadText)
        search();
    m_byDate->setChecked(false);
}

// ---- The grid ----------------------------------------------------------------

QColor Txstj::rowColor(int row) const
{
    // Returns, and quantities that round to nothing, are drawn red.
    return num::roundHalfEven(m_dm.sales().list().value(row, salecol::quantity)) <= 0 ? QColor(255, 0, 0) : QColor();
}

void Txstj::rowClicked(int row)
{
    const RowSet& list = m_dm.sales().list();
    if (!list.value(row, m_grid->fieldAt(0)).toString().isEmpty())
        m_number->setText(list.value(row, salecol::saleNumber).toString());
}

void Txstj::openChange()
{
    // The double click runs this too: it must not open what the hidden menu item keeps closed.
    if (!m_superAdministrator || !m_host.isSuperAdministrator())
        return;
    const RowSet& list = m_dm.sales().list();
    if (list.isOpen() && !list.value(list.current(), m_grid->fieldAt(0)).toString().isEmpty())
        m_edit->openFor(list, list.current(), SaleEditPanel::Mode::Change);
}

void Txstj::openDelete()
{
    if (!m_superAdministrator || !m_host.isSuperAdministrator())
        return;
    const RowSet& list = m_dm.sales().list();
    if (list.isOpen() && !list.value(list.current(), m_grid->fieldAt(0)).toString().isEmpty())
        m_edit->openFor(list, list.current(), SaleEditPanel::Mode::Delete);
}
