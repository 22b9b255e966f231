#include "pos/salepanel.h"

#include "core/clock.h"
#include "core/messageport.h"
#include "core/numbers.h"
#include "pos/poshost.h"
#include "settings/settingkeys.h"
#include "settings/settingsstore.h"
#include "store/db/columns.h"
#include "store/db/salenumbers.h"
#include "store/memory/rowset.h"
#include "store/ops/salelookup.h"
#include "store/ops/saleops.h"
#include "store/ops/tableloader.h"
#include "store/ops/tdmfm.h"
#include "ui/clickshield.h"
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
#include <QSignalBlocker>
#include <QToolButton>

#include <algorithm>

namespace {

const QColor kRed(255, 0, 0);
const QColor kTeal(0, 128, 128);

// Strict conversion of a field's text; a text that is not a number is reported.
std::optional<long double> number(const QString& text)
{
    QString error;
    const std::optional<long double> value = num::toDecimal(text, &error);
    if (!value)
        messagePort().error(error);
    return value;
}

QLabel* addLabel(QWidget* parent, const QString& text, const QRect& geometry, const QColor& color = QColor())
{
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setGeometry(geometry);
    if (color.isValid())
        label->setStyleSheet(QStringLiteral("color: %1;").arg(color.name()));
    return label;
}

QLineEdit* addEdit(QWidget* parent, const QString& objectName, const QRect& geometry, bool readOnly)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(objectName);
    edit->setGeometry(geometry);
    edit->setReadOnly(readOnly);
    edit->setCursor(readOnly ? Qt::ArrowCursor : Qt::IBeamCursor);
    if (readOnly)
        edit->setFocusPolicy(Qt::NoFocus);
    return edit;
}

NumberBox* addNumberBox(QWidget* parent, const QString& objectName, const QRect& geometry, bool arrows)
{
    auto* box = new NumberBox(parent);
    box->setObjectName(objectName);
    box->setGeometry(geometry);
    box->setCursor(Qt::IBeamCursor);
    if (!arrows)
        box->setButtonSymbols(QAbstractSpinBox::NoButtons);
    return box;
}

QPushButton* addButton(QWidget* parent, const QString& text, const QString& objectName, const QRect& geometry)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(objectName);
    button->setGeometry(geometry);
    button->setCursor(Qt::ArrowCursor);
    return button;
}

} // namespace

SalePanel::SalePanel(Tdmfm& dm, PosHost& host, QWidget* parent)
    : FloatingPanel(parent)
    , m_dm(dm)
    , m_host(host)
    , m_shield(new ClickShield(this))
{
    buildUi();
    {
        const QScopedValueRollback quiet(m_quiet, true);
        m_discount->setText(QStringLiteral("100"));
        m_quantity->setText(QStringLiteral("1"));
        m_owed->setText(QStringLiteral("0"));
        m_date->setDate(wallclock::today());
    }
    connect(m_discount, &NumberBox::textChanged, this, &SalePanel::onDiscountChanged);
    connect(m_price, &NumberBox::textChanged, this, &SalePanel::updateSaleAmount);
    connect(m_quantity, &NumberBox::textChanged, this, &SalePanel::updateSaleAmount);
    connect(m_numberEdit, &QLineEdit::textChanged, this, &SalePanel::onNumberChanged);
    connect(m_customer, &QComboBox::editTextChanged, this, &SalePanel::onCustomerEdited);
    // The customers come from the sale table, read in the background after
    // the login: the panel sells meanwhile, and the list fills when it is read.
    connect(&m_dm.sales().loader(), &TableLoader::finished, this, [this] {
        if (!isVisible() || m_dm.sales().isWaitingForLoad())
            return;
        if (m_customer->count() == 0)
            refillCustomers(true);
        lookUpTypedMeanwhile();
    });
    connect(m_next, &QPushButton::clicked, this, &SalePanel::nextNumber);
    connect(m_previous, &QPushButton::clicked, this, &SalePanel::previousNumber);
    connect(m_return, &QPushButton::clicked, this, &SalePanel::toggleReturn);
    connect(m_preview, &QPushButton::clicked, this, &SalePanel::previewToggled);
    connect(m_confirm, &QPushButton::clicked, this, [this] {
        // A quick second press of the button must not land on what the
        // panel covered (the toolbar).
        if (confirm())
            m_shield->guard(this);
    });
    connect(m_close, &QToolButton::clicked, this, &SalePanel::closePanel);
    hide();
}

void SalePanel::buildUi()
{
    setObjectName(QStringLiteral("salePanel"));

    constexpr int labelX = 4;
    constexpr int labelWidth = 96;
    constexpr int fieldX = labelX + labelWidth + 2;

    constexpr int rowHeight = 24;
    constexpr int top = 26;
    constexpr int pitch = 28;
    auto rowY = [](int row) { return top + row * pitch; };
    // Tall enough for the buttons under the last row, inside the frame.
    setFixedSize(300, rowY(17) + 2 + 38 + 10);
    auto label = [&](int row, const QString& text, const QColor& color = QColor()) {
        addLabel(this, text, QRect(labelX, rowY(row), labelWidth, rowHeight), color);
    };
    auto field = [&](int row, int width = 150) { return QRect(fieldX, rowY(row), width, rowHeight); };

    label(0, QStringLiteral("商品名称："));
    m_name = addEdit(this, QStringLiteral("nameEdit"), field(0, 186), true);
    label(1, QStringLiteral("规格型号："));
    m_model = addEdit(this, QStringLiteral("modelEdit"), field(1, 186), true);
    label(2, QStringLiteral("商品编码："));
    m_code = addEdit(this, QStringLiteral("codeEdit"), field(2), true);
    label(3, QStringLiteral("类 别："));
    m_category = addEdit(this, QStringLiteral("categoryEdit"), field(3), true);
    label(4, QStringLiteral("建议销售价："));
    m_suggested = addEdit(this, QStringLiteral("suggestedEdit"), field(4), true);
    label(5, QStringLiteral("实际销售价："), kRed);
    m_price = addNumberBox(this, QStringLiteral("priceBox"), field(5, 90), false);
    m_price->setToolTip(QStringLiteral("利用回车Enter键和Tab键进行切换"));
    m_discount = addNumberBox(this, QStringLiteral("discountBox"), QRect(fieldX + 94, rowY(5), 60, rowHeight), true);
    m_discount->setStep(5);
    auto* zhe = new QLabel(QStringLiteral("折"), this);
    zhe->setGeometry(fieldX + 156, rowY(5), 20, rowHeight);
    label(6, QStringLiteral("销售数量："), kRed);
    m_quantity = addNumberBox(this, QStringLiteral("quantityBox"), field(6, 90), true);
    m_return = addButton(this, QStringLiteral("退"), QStringLiteral("returnButton"),
                         QRect(fieldX + 94, rowY(6), 40, rowHeight));
    m_return->setToolTip(QStringLiteral("先输入退货数量，点此按钮后再销售确认"));
    label(7, QStringLiteral("库存数量："));
    m_stock = addEdit(this, QStringLiteral("stockEdit"), field(7), true);
    label(8, QStringLiteral("销售金额："));
    m_amount = addEdit(this, QStringLiteral("amountEdit"), field(8), true);
    label(9, QStringLiteral("欠款金额："));
    m_owed = addNumberBox(this, QStringLiteral("owedBox"), field(9), false);
    label(10, QStringLiteral("销售日期："));
    m_date = new DateField(this);
    m_date->setObjectName(QStringLiteral("saleDateField"));
    m_date->setGeometry(field(10));
    label(11, QStringLiteral("销售单号："), kRed);
    m_numberEdit = addEdit(this, QStringLiteral("numberEdit"), field(11, 112), false);
    m_next = addButton(this, QStringLiteral("+"), QStringLiteral("nextButton"),
                       QRect(fieldX + 114, rowY(11), 24, rowHeight));
    m_next->setToolTip(QStringLiteral("单号增加"));
    m_previous = addButton(this, QStringLiteral("-"), QStringLiteral("previousButton"),
                           QRect(fieldX + 140, rowY(11), 24, rowHeight));
    m_previous->setToolTip(QStringLiteral("单号减少"));
    auto* note = new QLabel(QStringLiteral("单据打印必填"), this);
    note->setGeometry(fieldX, rowY(12) - 4, 150, 18);
    note->setStyleSheet(QStringLiteral("color: %1;").arg(kTeal.name()));
    label(13, QStringLiteral("客户名称："));
    m_customer = new QComboBox(this);
    m_customer->setObjectName(QStringLiteral("customerList"));
    m_customer->setEditable(true);
    m_customer->setInsertPolicy(QComboBox::NoInsert);
    m_customer->setGeometry(field(13, 186));
    m_customer->setCursor(Qt::ArrowCursor);
    label(14, QStringLiteral("地 址："));
    m_address = addEdit(this, QStringLiteral("addressEdit"), field(14, 186), false);
    label(15, QStringLiteral("联系方式："));
    m_contact = addEdit(this, QStringLiteral("contactEdit"), field(15, 186), false);
    label(16, QStringLiteral("备 注："));
    m_remark = addEdit(this, QStringLiteral("remarkEdit"), field(16, 186), false);

    m_preview =
        addButton(this, QStringLiteral("预览"), QStringLiteral("previewButton"), QRect(30, rowY(17) + 6, 80, 30));
    m_confirm =
        addButton(this, QStringLiteral("销售确认"), QStringLiteral("confirmButton"), QRect(140, rowY(17) + 2, 120, 38));
    QFont bold = font();
    bold.setBold(true);
    bold.setPixelSize(16);
    m_confirm->setFont(bold);
    m_confirm->setStyleSheet(QStringLiteral("color: white; background-color: #c0392b;"));
    m_confirm->setFocusPolicy(Qt::NoFocus);

    m_close = addCloseButton();

    // Enter and Tab go through the fields in the same order; Tab goes on to the buttons.
    const QList<QWidget*> fields{m_price,      m_discount, m_quantity, m_owed,    m_date,
                                 m_numberEdit, m_customer, m_address,  m_contact, m_remark};
    const QList<QWidget*> tabOrder = fields + QList<QWidget*>{m_next, m_return, m_previous, m_preview};
    for (qsizetype i = 0; i + 1 < tabOrder.size(); ++i)
        setTabOrder(tabOrder.at(i), tabOrder.at(i + 1));
    auto* enter = new EnterChain(this, Qt::TabFocusReason);
    enter->chain(fields);
    enter->stop(m_remark);
    // Leaving an empty customer name clears address and contact.
    m_customer->installEventFilter(this);
}

// ---- Sale number -----------------------------------------------------------------

void SalePanel::forgetNumber()
{
    m_number = SaleNumber{};
}

QString SalePanel::saleNumber() const
{
    return m_numberEdit->text();
}

QString SalePanel::customerName() const
{
    return m_customer->currentText();
}

bool SalePanel::takeNewNumber()
{
    QString error;
    const std::optional<SaleNumber> taken = salenumbers::take(m_dm.db(), wallclock::today(), &error);
    if (!taken) {
        messagePort().error(error);
        return false;
    }
    m_number = *taken;
    return true;
}

// Only a change of the number looks the customer up (and runs the slip query).
void SalePanel::showNumber()
{
    const QString text = m_number.text();
    if (m_numberEdit->text() != text)
        m_numberEdit->setText(text);
}

void SalePanel::stepNumber(qint64 delta)
{
    // "+" is the next customer: a number nobody has had. "-" goes back to an
    // earlier number of the day on purpose, from today's numbers once the day
    // has changed.
    if (delta > 0 || m_number.day != wallclock::today()) {
        if (!takeNewNumber())
            return;
    }
    if (delta < 0)
        m_number.sequence = std::max<qint64>(0, m_number.sequence + delta);
    showNumber();
    emit slipQueryNeeded();
    emit numberStepped();
}

void SalePanel::nextNumber()
{
    stepNumber(1);
}

void SalePanel::previousNumber()
{
    stepNumber(-1);
}

void SalePanel::setSaleDateEditable(bool editable)
{
    m_date->lineEdit()->setReadOnly(!editable);
}

// ---- Opening ---------------------------------------------------------------------

bool SalePanel::openForRow(const RowSet& set, int row)
{
    if (row < 0 || row >= set.rowCount())
        return false;
    auto text = [&](QLatin1StringView field) { return set.value(row, field).toString(); };
    auto amount = [&](QLatin1StringView field) { return num::general(set.value(row, field)); };
    if (text(stockcol::name).isEmpty())
        return false;
    // The first opening of a day (or of this showing) numbers a new customer.
    if (m_number.day != wallclock::today() && !takeNewNumber())
        return false;
    m_rowId = set.rowId(row);
    m_stockInDate = text(stockcol::stockInDate);
    m_shield->release();
    show();
    raise();
    m_host.saleOpened(text(stockcol::remark));
    // Whatever was typed for another article, with the panel hidden meanwhile
    // by another window, does not carry over to this one.
    clearEntries();
    {
        const QScopedValueRollback quiet(m_quiet, true);
        m_name->setText(text(stockcol::name));
        m_model->setText(text(stockcol::model));
        m_code->setText(text(stockcol::code));
        m_category->setText(text(stockcol::category));
        m_suggested->setText(amount(stockcol::salePrice));
        m_price->setText(amount(stockcol::salePrice));
        m_stock->setText(amount(stockcol::stockQuantity));
    }
    recalculate();
    refillCustomers();
    showNumber();
    emit slipQueryNeeded();
    m_price->setFocus(Qt::OtherFocusReason);
    return true;
}

void SalePanel::refillCustomers(bool keepTyped)
{
    const QScopedValueRollback quiet(m_quiet, true);
    // The names are kept by the data module: a refill after every sale must
    // not scan every sale row again.
    const QSignalBlocker block(m_customer);
    const QString typed = keepTyped ? m_customer->currentText() : QString();
    // Read before the list is emptied: events may run while it is read.
    const QStringList names =
        m_dm.sales().isWaitingForLoad() ? QStringList() : valueOrReport(m_dm.sales().customerNames(), {});
    m_customer->clear();
    m_customer->addItems(names);
    m_customer->setCurrentIndex(-1);
    m_customer->setCurrentText(typed);
}

// ---- Recomputations --------------------------------------------------------------

void SalePanel::onDiscountChanged()
{
    if (m_quiet)
        return;
    const QString discount = m_discount->text();
    const QString suggested = m_suggested->text();
    if (discount.isEmpty() || suggested.isEmpty())
        return;
    const auto d = number(discount);
    if (!d)
        return;
    const auto s = number(suggested);
    if (!s)
        return;
    // A discounted price is money the customer pays: whole cents.
    m_price->setText(num::general(num::round2(*d * *s / 100)));
}

void SalePanel::updateSaleAmount()
{
    if (m_quiet)
        return;
    const QString price = m_price->text();
    const QString quantity = m_quantity->text();
    if (price.isEmpty() || quantity.isEmpty())
        return;
    const auto p = number(price);
    if (!p)
        return;
    const auto q = number(quantity);
    if (!q)
        return;
    m_amount->setText(num::general(*p * *q));
}

bool SalePanel::recalculate()
{
    const QString price = m_price->text();
    const QString quantity = m_quantity->text();
    if (price.isEmpty() || quantity.isEmpty())
        return true; // the required-field checks report these
    const auto p = number(price);
    if (!p)
        return false;
    const auto q = number(quantity);
    if (!q)
        return false;
    m_amount->setText(num::general(*p * *q));
    return true;
}

void SalePanel::toggleReturn()
{
    QString error;
    const std::optional<qint64> q = num::toInteger(m_quantity->text(), &error);
    if (!q) {
        messagePort().error(error);
        return;
    }
    if (*q > 0)
        m_quantity->setText(QLatin1Char('-') + m_quantity->text());
    else
        m_quantity->setText(QString::number(-*q));
}

// ---- Customer lookups --------------------------------------------------------------

void SalePanel::onCustomerEdited(const QString& text)
{
    if (m_quiet)
        return;
    const QString name = text.trimmed();
    if (name.isEmpty() || m_dm.sales().isWaitingForLoad())
        return;
    const auto found = salelookup::customerByName(m_dm, name);
    if (!succeeded(found) || !*found)
        return;
    m_address->setText((*found)->address);
    m_contact->setText((*found)->contact);
}

void SalePanel::onNumberChanged()
{
    const QString number = m_numberEdit->text().trimmed();
    if (!number.isEmpty() && !m_dm.sales().isWaitingForLoad()) {
        if (const auto found = salelookup::customerBySaleNumber(m_dm, number); succeeded(found)) {
            const salelookup::CustomerDetails c = found->value_or(salelookup::CustomerDetails{});
            const QScopedValueRollback quiet(m_quiet, true);
            m_customer->setEditText(c.name);
            m_address->setText(c.address);
            m_contact->setText(c.contact);
            m_remark->setText(c.remark);
        }
    }
    emit slipQueryNeeded();
}

// The sale number and customer name typed while the sales were read are
// looked up once they are in, as typing them would have; only fields still
// empty are filled, so nothing typed meanwhile is overwritten.
void SalePanel::lookUpTypedMeanwhile()
{
    const QScopedValueRollback quiet(m_quiet, true);
    const QString number = m_numberEdit->text().trimmed();
    if (!number.isEmpty() && m_customer->currentText().trimmed().isEmpty()) {
        const auto found = salelookup::customerBySaleNumber(m_dm, number);
        if (succeeded(found) && *found) {
            m_customer->setEditText((*found)->name);
            if (m_address->text().isEmpty())
                m_address->setText((*found)->address);
            if (m_contact->text().isEmpty())
                m_contact->setText((*found)->contact);
            if (m_remark->text().isEmpty())
                m_remark->setText((*found)->remark);
        }
    }
    const QString name = m_customer->currentText().trimmed();
    if (name.isEmpty() || !m_address->text().isEmpty() || !m_contact->text().isEmpty())
        return;
    const auto found = salelookup::customerByName(m_dm, name);
    if (succeeded(found) && *found) {
        m_address->setText((*found)->address);
        m_contact->setText((*found)->contact);
    }
}

// ---- Confirm and close ---------------------------------------------------------------

void SalePanel::clearEntries()
{
    const QScopedValueRollback quiet(m_quiet, true);
    m_quantity->setText(QStringLiteral("1"));
    m_owed->setText(QStringLiteral("0"));
    m_price->setText(QString());
}

// The closing steps of every confirmation that got past the quantity checks.
// A refused one leaves the customer as the user typed it.
void SalePanel::finish(bool saved)
{
    emit slipQueryNeeded();
    if (saved) {
        const QScopedValueRollback quiet(m_quiet, true);
        m_customer->setEditText(m_rememberedCustomer);
    }
    QString error;
    if (!SettingsStore::write(QString(settingkeys::saleDaySequence), QString::number(m_number.sequence), &error))
        messagePort().error(error);
}

// The quantity becomes what is left, so that a second confirm sells the rest;
// with nothing left it stays as typed (a confirm of "-2" would be a return).
void SalePanel::refuseShortage(const QString& onHand)
{
    messagePort().inform(QStringLiteral("库存不足"));
    m_stock->setText(onHand);
    const std::optional<long double> left = num::toDecimal(onHand);
    if (left && *left > 0)
        m_quantity->setText(onHand);
    finish(false);
}

bool SalePanel::confirm()
{
    if (!RequireText(m_quantity, QStringLiteral("销售数量必须输入！")))
        return false;
    const auto q = number(m_quantity->text());
    if (!q)
        return false;
    if (*q == 0) {
        messagePort().inform(QStringLiteral("销售数量不能为0"));
        finish(false);
        return false;
    }
    // The stock shown first; the stored stock quantity decides again when the sale is written.
    const auto shown = number(m_stock->text());
    if (!shown)
        return false;
    if (*shown < *q) {
        refuseShortage(m_stock->text());
        return false;
    }
    if (!recalculate())
        return false;
    if (!RequireText(m_price, QStringLiteral("实际销售价必须输入！")) ||
        !RequireText(m_quantity, QStringLiteral("销售数量必须输入！")) ||
        !RequireText(m_owed, QStringLiteral("欠款金额必须输入！")))
        return false;
    if (m_date->isEmpty()) {
        messagePort().inform(QStringLiteral("销售日期必须输入"));
        return false;
    }
    if (!m_date->date()) {
        messagePort().error(num::invalidDateText(m_date->text()));
        m_date->setFocus(Qt::OtherFocusReason);
        return false;
    }

    saleops::SaleInput in;
    in.stockRowId = m_rowId;
    in.shownName = m_name->text();
    in.shownCode = m_code->text();
    in.shownStockInDate = m_stockInDate;
    in.quantity = m_quantity->text();
    in.price = m_price->text();
    in.owed = m_owed->text();
    in.saleNumber = m_numberEdit->text();
    in.saleDate = num::dateText(*m_date->date());
    in.customer = m_customer->currentText();
    in.address = m_address->text();
    in.contact = m_contact->text();
    in.customerRemark = m_remark->text();
    // The commit publishes the sold row: the stock list shows its new figures
    // where it is, without a new search.
    if (const Result<qint64> sold = saleops::recordSale(m_dm, in); !sold) {
        if (sold.is(Error::Kind::Shortage))
            refuseShortage(sold.error().onHand);
        else
            reportError(sold.error());
        return false;
    }

    hide();
    m_host.showNotice(QStringLiteral("销售数据保存成功..."));
    const QString saleNumber = in.saleNumber.trimmed();
    m_rememberedCustomer = in.customer;
    refillCustomers();
    clearEntries();
    emit saleSaved(saleNumber);
    finish(true);
    return true;
}

void SalePanel::closePanel()
{
    hide();
    clearEntries();
    m_rowId = -1;
    m_host.saleClosed();
}

// ---- Keyboard and mouse -------------------------------------------------------

bool SalePanel::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut && watched == m_customer) {
        // The user leaving the field, not the panel moving the focus while it opens.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        const bool byUser =
            reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::MouseFocusReason;
        if (byUser && m_customer->currentText().isEmpty()) {
            m_address->clear();
            m_contact->clear();
        }
    }
    return FloatingPanel::eventFilter(watched, event);
}
