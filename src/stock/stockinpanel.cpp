#include "stock/stockinpanel.h"

#include "core/blanks.h"
#include "core/clock.h"
#include "core/messageport.h"
#include "core/numbers.h"
#include "stock/stockhost.h"
#include "store/db/columns.h"
#include "store/memory/rowset.h"
#include "store/ops/stockops.h"
#include "store/ops/tdmfm.h"
#include "ui/datefield.h"
#include "ui/enterchain.h"
#include "ui/numberbox.h"
#include "ui/queryhelpers.h"
#include "ui/reporterror.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QToolButton>

namespace {

bool hasText(const QString& text)
{
    return !trimControlsAndSpaces(text).isEmpty();
}

QString textOf(const QComboBox* list)
{
    return list->currentText();
}

QLabel* addLabel(QWidget* parent, const QString& text, const QRect& geometry)
{
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setGeometry(geometry);
    return label;
}

QComboBox* addList(QWidget* parent, const QString& objectName, const QRect& geometry)
{
    auto* list = new QComboBox(parent);
    list->setObjectName(objectName);
    list->setEditable(true);
    // Enter moves on to the next field; it must not add the text to the list.
    list->setInsertPolicy(QComboBox::NoInsert);
    list->setGeometry(geometry);
    list->setCursor(Qt::ArrowCursor);
    return list;
}

NumberBox* addNumberBox(QWidget* parent, const QString& objectName, const QRect& geometry)
{
    auto* box = new NumberBox(parent);
    box->setObjectName(objectName);
    box->setGeometry(geometry);
    box->setCursor(Qt::ArrowCursor);
    return box;
}

} // namespace

StockInPanel::StockInPanel(Tdmfm& dm, StockHost& host, QWidget* parent)
    : FloatingPanel(parent)
    , m_dm(dm)
    , m_host(host)
{
    buildUi();
    {
        // The starting texts are not edits: nothing to recompute yet.
        const QScopedValueRollback quiet(m_quiet, true);
        m_purchasePrice->setText(QStringLiteral("0"));
        m_quantity->setText(QStringLiteral("0"));
        m_salePrice->setText(QStringLiteral("0"));
        m_date->setDate(wallclock::today());
    }
    connect(m_purchasePrice, &NumberBox::textChanged, this, &StockInPanel::onPurchasePriceChanged);
    connect(m_quantity, &NumberBox::textChanged, this, &StockInPanel::onQuantityChanged);
    connect(m_salePrice, &NumberBox::textChanged, this, &StockInPanel::onSalePriceChanged);
    connect(m_newButton, &QPushButton::clicked, this, &StockInPanel::saveNew);
    connect(m_changeButton, &QPushButton::clicked, this, &StockInPanel::saveChange);
    connect(m_closeButton, &QToolButton::clicked, this, &StockInPanel::closePanel);
    hide();
}

void StockInPanel::buildUi()
{
    setObjectName(QStringLiteral("stockInPanel"));
    setFixedSize(489, 216);
    setToolTip(QStringLiteral("利用回车Enter键和Tab键进行切换"));

    constexpr int labelWidth = 78;
    constexpr int rowHeight = 24;
    constexpr int leftLabel = 6;
    constexpr int leftField = leftLabel + labelWidth;
    constexpr int leftWidth = 152;
    constexpr int rightLabel = 244;
    constexpr int rightField = rightLabel + labelWidth;
    constexpr int rightWidth = 156;
    const int rows[] = {24, 53, 82, 111, 140};
    auto label = [&](int x, int row, const QString& text) {
        addLabel(this, text, QRect(x, rows[row], labelWidth, rowHeight));
    };
    auto left = [&](int row) { return QRect(leftField, rows[row], leftWidth, rowHeight); };
    auto right = [&](int row) { return QRect(rightField, rows[row], rightWidth, rowHeight); };

    label(leftLabel, 0, QStringLiteral("商品名称："));
    m_name = addList(this, QStringLiteral("nameList"), left(0));
    m_name->setToolTip(QStringLiteral("直接点击已经输入好的记录，自动填充内容"));
    label(leftLabel, 1, QStringLiteral("规格型号："));
    m_model = addList(this, QStringLiteral("modelList"), left(1));
    label(leftLabel, 2, QStringLiteral("商品编码："));
    m_code = addList(this, QStringLiteral("codeList"), left(2));
    label(leftLabel, 3, QStringLiteral("类 别："));
    m_category = addList(this, QStringLiteral("categoryList"), left(3));
    label(leftLabel, 4, QStringLiteral("入库日期："));
    m_date = new DateField(this);
    m_date->setObjectName(QStringLiteral("dateField"));
    m_date->setGeometry(left(4));

    label(rightLabel, 0, QStringLiteral("进货单价："));
    m_purchasePrice = addNumberBox(this, QStringLiteral("purchasePriceBox"), right(0));
    label(rightLabel, 1, QStringLiteral(" 数 量："));
    m_quantity = addNumberBox(this, QStringLiteral("quantityBox"), right(1));
    label(rightLabel, 2, QStringLiteral("销售单价："));
    m_salePrice = addNumberBox(this, QStringLiteral("salePriceBox"), right(2));
    label(rightLabel, 3, QStringLiteral("供货商："));
    m_supplier = addList(this, QStringLiteral("supplierList"), right(3));
    label(rightLabel, 4, QStringLiteral("备 注："));
    m_remark = new QLineEdit(this);
    m_remark->setObjectName(QStringLiteral("remarkEdit"));
    m_remark->setGeometry(right(4));

    m_newButton = new QPushButton(QStringLiteral("新建入库"), this);
    m_newButton->setObjectName(QStringLiteral("newButton"));
    m_newButton->setGeometry(140, 174, 96, 30);
    m_changeButton = new QPushButton(QStringLiteral("修改入库"), this);
    m_changeButton->setObjectName(QStringLiteral("changeButton"));
    m_changeButton->setGeometry(252, 174, 96, 30);
    for (QPushButton* button : {m_newButton, m_changeButton}) {
        // Enter on a focused button presses it, as the last step of the Enter chain.
        button->setAutoDefault(true);
        button->setCursor(Qt::ArrowCursor);
    }

    m_closeButton = addCloseButton();

    // Enter and Tab go through the fields in the same order.
    const QList<QWidget*> order{m_name,     m_model,     m_code,     m_category, m_date,      m_purchasePrice,
                                m_quantity, m_salePrice, m_supplier, m_remark,   m_newButton, m_changeButton};
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order.at(i), order.at(i + 1));
    auto* enter = new EnterChain(this, Qt::TabFocusReason);
    for (qsizetype i = 0; i + 1 < order.size() && order.at(i) != m_newButton; ++i) {
        QWidget* next = order.at(i + 1);
        enter->link(order.at(i), [this, next]() -> QWidget* {
            // The remark's target is the button that is shown: "修改入库" when open for a change.
            QWidget* target = next == m_newButton && m_newButton->isHidden() ? m_changeButton : next;
            return target->isVisible() && target->isEnabled() ? target : nullptr;
        });
    }
}

// ---- Held amounts -------------------------------------------------------------

void StockInPanel::setPurchaseAmount(const QString& text)
{
    if (m_held.purchaseAmount == text)
        return;
    m_held.purchaseAmount = text;
    if (!m_quiet)
        recomputePurchaseAmounts();
}

void StockInPanel::setSoldQuantity(const QString& text)
{
    if (m_held.soldQuantity == text)
        return;
    m_held.soldQuantity = text;
    if (!m_quiet)
        onSalePriceChanged();
}

bool StockInPanel::recompute(stockops::Edit edit)
{
    QString error;
    m_held =
        stockops::recompute(edit, m_purchasePrice->text(), m_quantity->text(), m_salePrice->text(), m_held, &error);
    if (error.isEmpty())
        return true;
    messagePort().error(error);
    return false;
}

void StockInPanel::recomputePurchaseAmounts()
{
    recompute(stockops::Edit::PurchasePrice);
}

void StockInPanel::onPurchasePriceChanged()
{
    if (!m_quiet)
        recomputePurchaseAmounts();
}

void StockInPanel::onQuantityChanged()
{
    if (!m_quiet)
        recompute(stockops::Edit::Quantity);
}

void StockInPanel::onSalePriceChanged()
{
    if (!m_quiet)
        recompute(stockops::Edit::SalePrice);
}

// What is left in stock after the sales so far, from the quantity as now typed.
bool StockInPanel::recomputeBeforeChange()
{
    return recompute(stockops::Edit::BeforeChange);
}

// ---- Filling and emptying -----------------------------------------------------

void StockInPanel::clear()
{
    // Every amount is set outright here; recomputing in between could only
    // report a stale text that is about to go.
    const QScopedValueRollback quiet(m_quiet, true);
    m_purchasePrice->setText(QString());
    m_quantity->setText(QString());
    m_held.soldQuantity = QStringLiteral("0");
    m_held.salesAmount = QStringLiteral("0");
    m_held.stockAmount.clear();
    m_held.stockQuantity.clear();
    m_salePrice->setText(QString());
    m_remark->clear();
}

bool StockInPanel::copyFromRow(const RowSet& set, int row)
{
    if (row < 0 || row >= set.rowCount())
        return false;
    const QString name = set.value(row, stockcol::name).toString();
    if (name.isEmpty())
        return false;
    m_name->setEditText(name);
    m_model->setEditText(set.value(row, stockcol::model).toString());
    m_code->setEditText(set.value(row, stockcol::code).toString());
    m_category->setEditText(set.value(row, stockcol::category).toString());
    m_purchasePrice->setText(num::general(set.value(row, stockcol::purchasePrice)));
    m_quantity->setText(num::general(set.value(row, stockcol::quantityIn)));
    m_salePrice->setText(num::general(set.value(row, stockcol::salePrice)));
    m_remark->setText(set.value(row, stockcol::remark).toString());
    return true;
}

void StockInPanel::refillLists()
{
    for (const auto& [list, column] : {std::pair{m_name, stockcol::name}, {m_model, stockcol::model},
                                       {m_code, stockcol::code}, {m_category, stockcol::category},
                                       {m_supplier, stockcol::supplier}})
        FillDistinctList(list, valueOrReport(m_dm.stock().values(column), {}));
}

void StockInPanel::setChangeEnabled(bool enabled)
{
    m_changeButton->setEnabled(enabled);
    if (!enabled)
        m_changeRowId = -1;
}

// ---- Commands -----------------------------------------------------------------

void StockInPanel::openForNew()
{
    show();
    raise();
    clear();
    m_changeButton->hide();
    m_newButton->show();
}

bool StockInPanel::openForChange()
{
    const RowSet& set = m_dm.stock().list();
    const int row = set.current();
    if (row < 0 || set.value(row, stockcol::name).toString().isEmpty())
        return false;
    const qint64 rowId = set.rowId(row);
    if (rowId < 0)
        return false;
    show();
    raise();
    m_newButton->hide();
    m_changeButton->setEnabled(true);
    m_changeButton->show();
    m_changeRowId = rowId;

    // The order matters: each field recomputes the held amounts from what is
    // filled so far, and the stored amounts filled last are what stays.
    auto text = [&](QLatin1StringView field) { return set.value(row, field).toString(); };
    auto amount = [&](QLatin1StringView field) { return num::general(set.value(row, field)); };
    m_name->setEditText(text(stockcol::name));
    m_model->setEditText(text(stockcol::model));
    m_code->setEditText(text(stockcol::code));
    m_category->setEditText(text(stockcol::category));
    m_purchasePrice->setText(amount(stockcol::purchasePrice));
    m_quantity->setText(amount(stockcol::quantityIn));
    setPurchaseAmount(amount(stockcol::purchaseAmount));
    m_salePrice->setText(amount(stockcol::salePrice));
    setSoldQuantity(amount(stockcol::soldQuantity));
    m_held.salesAmount = amount(stockcol::salesAmount);
    m_held.stockQuantity = amount(stockcol::stockQuantity);
    m_held.stockAmount = amount(stockcol::stockAmount);
    m_remark->setText(text(stockcol::remark));
    m_date->setText(num::parseDate(text(stockcol::stockInDate).left(10)) ? text(stockcol::stockInDate).left(10)
                                                                         : QString());
    m_supplier->setEditText(text(stockcol::supplier));
    return true;
}

bool StockInPanel::checkRequired()
{
    return RequireText(m_name, QStringLiteral("商品名称必须输入！")) &&
           RequireText(m_code, QStringLiteral("商品编码必须输入！")) &&
           RequireText(m_category, QStringLiteral("商品类别必须输入！")) &&
           RequireText(m_purchasePrice, QStringLiteral("进货单价必须输入！")) &&
           RequireText(m_quantity, QStringLiteral("进货数量必须输入！")) &&
           RequireText(m_salePrice, QStringLiteral("销售单价必须输入！"));
}

bool StockInPanel::checkDate()
{
    if (m_date->isEmpty()) {
        messagePort().inform(QStringLiteral("入库日期必须输入"));
        return false;
    }
    if (!m_date->date()) {
        // A half-typed or impossible date would be stored as a text no date search matches.
        messagePort().error(num::invalidDateText(m_date->text()));
        m_date->setFocus(Qt::OtherFocusReason);
        return false;
    }
    return true;
}

std::optional<QVariantMap> StockInPanel::rowValues(const QString& stockAmount)
{
    stockops::Entry entry;
    entry.name = textOf(m_name);
    entry.model = textOf(m_model);
    entry.code = textOf(m_code);
    entry.category = textOf(m_category);
    entry.purchasePrice = m_purchasePrice->text();
    entry.quantity = m_quantity->text();
    entry.salePrice = m_salePrice->text();
    entry.supplier = textOf(m_supplier);
    entry.remark = m_remark->text();
    entry.date = num::dateText(*m_date->date());
    QString error;
    std::optional<QVariantMap> values = stockops::rowValues(entry, m_held, stockAmount, &error);
    if (!values)
        messagePort().error(error);
    return values;
}

bool StockInPanel::saveNew()
{
    if (!checkRequired() || !checkDate())
        return false;
    const std::optional<QVariantMap> values = rowValues(m_held.purchaseAmount);
    if (!values || !succeeded(stockops::add(m_dm, *values)))
        return false;
    m_host.showNotice(QStringLiteral("数据入库成功..."));
    clear();
    m_host.reloadStockList();
    setChangeEnabled(false);
    return true;
}

bool StockInPanel::saveChange()
{
    if (m_changeRowId < 0) {
        // Enabled without "修 改" having put a row into the panel: there is no row to write.
        messagePort().warning(QStringLiteral("没有要修改的记录：请在列表中选中记录，再点“修 改”。"),
                              QStringLiteral("Warning"));
        return false;
    }
    if (!recomputeBeforeChange())
        return false;
    if (messagePort().confirm(QStringLiteral("警告！"), QStringLiteral("你确实要修改选中资料吗？")) !=
        MessagePort::Answer::Ok)
        return false;
    if (!checkRequired())
        return false;
    if (!hasText(m_held.stockQuantity)) {
        messagePort().warning(QStringLiteral("库存数量必须输入！"), QStringLiteral("Warning"));
        return false;
    }
    // A change rewrites day1 too: an empty or broken date would lose the row's date.
    if (!checkDate())
        return false;
    const std::optional<QVariantMap> values = rowValues(m_held.stockAmount);
    if (!values)
        return false;
    if (const Result<void> changed = stockops::change(m_dm, m_changeRowId, *values); !changed) {
        if (changed.is(Error::Kind::Gone)) {
            messagePort().warning(QStringLiteral("要修改的记录已经不存在（可能已被删除），修改没有保存。"),
                                  QStringLiteral("Warning"));
            setChangeEnabled(false);
        } else {
            reportError(changed.error());
        }
        return false;
    }
    m_host.reloadStockList();
    hide();
    m_host.showNotice(QStringLiteral("修改数据成功..."));
    clear();
    setChangeEnabled(false);
    return true;
}

bool StockInPanel::deleteCurrentRow()
{
    // The row chosen when the command starts is the one deleted, whatever
    // becomes current while the question is open.
    RowSet& set = m_dm.stock().list();
    const qint64 rowId = set.isOpen() ? set.rowId(set.current()) : -1;
    if (messagePort().confirm(QStringLiteral("警告！"), QStringLiteral("你真的要删除选中资料吗？")) !=
        MessagePort::Answer::Ok)
        return false;
    if (rowId < 0) {
        messagePort().error(QStringLiteral("Cannot perform this operation on an empty dataset"));
        return false;
    }
    if (const Result<void> removed = stockops::remove(m_dm, rowId); !removed) {
        if (removed.is(Error::Kind::Gone))
            messagePort().warning(QStringLiteral("要删除的记录已经不存在（可能已被删除）。"),
                                  QStringLiteral("Warning"));
        else
            reportError(removed.error());
        return false;
    }
    m_host.showNotice(QStringLiteral("删除数据成功..."));
    return true;
}

void StockInPanel::closePanel()
{
    hide();
    clear();
    setChangeEnabled(false);
}
