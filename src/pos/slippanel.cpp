#include "pos/slippanel.h"

#include "core/messageport.h"
#include "core/numbers.h"
#include "pos/salepanel.h"
#include "store/db/columns.h"
#include "store/memory/rowset.h"
#include "store/ops/salelookup.h"
#include "store/ops/tdmfm.h"
#include "ui/datagrid.h"
#include "ui/enterchain.h"
#include "ui/numberbox.h"
#include "ui/reporterror.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

namespace {

const QColor kLightBlue(204, 232, 255);
const QColor kLightOrange(255, 224, 178); // the number's two footer cells

QList<GridColumn> slipColumns()
{
    auto column = [](QLatin1StringView field, const QString& title, GridColumn::Format format, int width) {
        GridColumn c;
        c.field = field;
        c.title = title;
        c.format = format;
        c.width = width;
        c.fitted = true;
        c.titleColor = kLightBlue;
        return c;
    };
    GridColumn name = column(salecol::name, QStringLiteral("商品名称"), GridColumn::Format::Text, 130);
    name.footer = GridColumn::Footer::Text;
    name.footerText = QStringLiteral("销售单号：");
    name.footerColor = kLightOrange;
    GridColumn modelColumn = column(salecol::model, QStringLiteral("规格型号"), GridColumn::Format::Text, 110);
    modelColumn.footer = GridColumn::Footer::Text;
    modelColumn.footerColor = kLightOrange;
    GridColumn quantity = column(salecol::quantity, QStringLiteral("数量"), GridColumn::Format::General, 50);
    quantity.alignment = Qt::AlignRight | Qt::AlignVCenter;
    quantity.footer = GridColumn::Footer::Sum;
    GridColumn price = column(salecol::price, QStringLiteral("单价"), GridColumn::Format::General, 60);
    price.alignment = quantity.alignment;
    // The total of the sale is this column's footer: summed in fixed point, shown in the general form.
    GridColumn amount = column(salecol::amount, QStringLiteral("金额"), GridColumn::Format::General, 70);
    amount.alignment = quantity.alignment;
    amount.footer = GridColumn::Footer::Sum;
    return {name, modelColumn, quantity, price, amount};
}

QLineEdit* bigField(QWidget* parent, const QString& objectName, const QRect& geometry, bool readOnly)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(objectName);
    edit->setGeometry(geometry);
    edit->setReadOnly(readOnly);
    QFont f(QStringLiteral("宋体"));
    f.setPixelSize(20);
    f.setBold(true);
    edit->setFont(f);
    if (readOnly) {
        edit->setFocusPolicy(Qt::NoFocus);
        edit->setStyleSheet(QStringLiteral("background-color: %1;").arg(kLightBlue.name()));
    }
    return edit;
}

QLabel* bigLabel(QWidget* parent, const QString& text, const QRect& geometry)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont f(QStringLiteral("宋体"));
    f.setPixelSize(20);
    f.setBold(true);
    label->setFont(f);
    return label;
}

} // namespace

SlipPanel::SlipPanel(Tdmfm& dm, SalePanel& sale, QWidget* parent)
    : FloatingPanel(parent)
    , m_dm(dm)
    , m_sale(sale)
{
    buildUi();
    connect(&m_sale, &SalePanel::slipQueryNeeded, this, &SlipPanel::runQuery);
    connect(&m_sale, &SalePanel::numberStepped, this, &SlipPanel::onNumberStepped);
    connect(&m_sale, &SalePanel::previewToggled, this, &SlipPanel::toggle);
    connect(m_previous, &QPushButton::clicked, &m_sale, &SalePanel::previousNumber);
    connect(m_next, &QPushButton::clicked, &m_sale, &SalePanel::nextNumber);
    connect(m_receipt, &QPushButton::clicked, this, &SlipPanel::printReceipt);
    connect(m_slip, &QPushButton::clicked, this, &SlipPanel::previewSlip);
    connect(m_close, &QToolButton::clicked, this, &QWidget::hide);
    connect(m_cash, &NumberBox::textChanged, this, &SlipPanel::updateChange);
    connect(m_cash, &NumberBox::editingFinished, this, &SlipPanel::updateChange);
    connect(m_total, &QLineEdit::textChanged, this, &SlipPanel::updateChange);
    hide();
}

void SlipPanel::buildUi()
{
    setObjectName(QStringLiteral("slipPanel"));
    setFixedSize(460, 400);

    m_customer = new QLabel(QStringLiteral("客户名称："), this);
    m_customer->setObjectName(QStringLiteral("customerLine"));
    m_customer->setGeometry(10, 6, 400, 22);

    m_grid = new DataGrid(this);
    m_grid->setObjectName(QStringLiteral("slipGrid"));
    m_grid->setColumns(slipColumns());
    m_rows = new RowSet(QStringLiteral("slip rows"), {}, this);
    m_grid->setRowSet(m_rows);
    m_grid->setGeometry(8, 30, width() - 16, 220);
    m_grid->setCursor(Qt::ArrowCursor);

    bigLabel(this, QStringLiteral("合计："), QRect(10, 258, 90, 30));
    m_total = bigField(this, QStringLiteral("totalEdit"), QRect(100, 258, 130, 30), true);
    m_total->setText(QStringLiteral("0"));
    bigLabel(this, QStringLiteral("现金："), QRect(10, 292, 90, 30));
    // The cash handed over is a number box like every amount the till takes in.
    m_cash = new NumberBox(this);
    m_cash->setObjectName(QStringLiteral("cashEdit"));
    m_cash->setGeometry(QRect(100, 292, 130, 30));
    m_cash->setButtonSymbols(QAbstractSpinBox::NoButtons);
    m_cash->setFont(m_total->font());
    // Enter in the cash box goes on to the receipt button, when there is one.
    auto* enter = new EnterChain(this, Qt::TabFocusReason);
    enter->link(m_cash, [this]() -> QWidget* { return m_receipt->isVisible() ? m_receipt : nullptr; });
    bigLabel(this, QStringLiteral("找零："), QRect(10, 326, 90, 30));
    m_change = bigField(this, QStringLiteral("changeEdit"), QRect(100, 326, 130, 30), true);
    m_change->setText(QStringLiteral("0"));

    auto button = [this](const QString& text, const QString& name, const QRect& geometry) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setGeometry(geometry);
        b->setCursor(Qt::ArrowCursor);
        return b;
    };
    m_previous = button(QStringLiteral("上一单"), QStringLiteral("previousButton"), QRect(250, 260, 90, 30));
    m_next = button(QStringLiteral("下一单"), QStringLiteral("nextButton"), QRect(350, 260, 90, 30));
    m_receipt = button(QStringLiteral("POS小票打印"), QStringLiteral("receiptButton"), QRect(250, 310, 190, 40));
    m_receipt->setAutoDefault(true);
    m_receipt->setHidden(!m_printer);
    m_slip = button(QStringLiteral("销售单打印"), QStringLiteral("slipButton"), QRect(250, 356, 190, 34));
    m_slip->setHidden(!m_slipPreviewer);

    m_close = addCloseButton();
}

void SlipPanel::setReceiptPrinter(ReceiptPrinter printer)
{
    m_printer = std::move(printer);
    m_receipt->setHidden(!m_printer);
}

void SlipPanel::setSlipPreviewer(SlipPreviewer previewer)
{
    m_slipPreviewer = std::move(previewer);
    m_slip->setHidden(!m_slipPreviewer);
}

QString SlipPanel::total() const
{
    return m_total->text();
}

QString SlipPanel::cash() const
{
    return m_cash->text();
}

QString SlipPanel::change() const
{
    return m_change->text();
}

void SlipPanel::toggle()
{
    setVisible(!isVisible());
    if (isVisible())
        raise();
}

void SlipPanel::runQuery()
{
    const QString number = m_sale.saleNumber();
    // The number under the rows: the footer text is part of the columns, set before the rows come.
    DataGridModel* model = m_grid->model();
    model->column(model->columnOf(salecol::model)).footerText = number;
    m_rows->close();
    if (auto rows = salelookup::readSlipRows(m_dm, number.trimmed()); succeeded(rows))
        m_rows->load(std::move(rows).value());
    const QString sum = m_grid->footerText(salecol::amount);
    m_total->setText(sum.isEmpty() ? QStringLiteral("0") : sum);
    m_customer->setText(QStringLiteral("客户名称：") + m_sale.customerName());
}

void SlipPanel::onNumberStepped()
{
    m_cash->setText(QStringLiteral("0"));
}

void SlipPanel::updateChange()
{
    const QString cash = m_cash->text();
    if (cash.isEmpty())
        return;
    QString error;
    const auto c = num::toDecimal(cash, &error);
    const auto t = c ? num::toDecimal(m_total->text(), &error) : std::nullopt;
    if (!t) {
        messagePort().error(error);
        return;
    }
    // The customer pays the total to the cent (as the receipt prints it).
    m_change->setText(num::general(*c - num::round2(*t)));
}

bool SlipPanel::printReceipt()
{
    if (m_total->text() == u"0") {
        messagePort().inform(QStringLiteral("先进行销售"));
        return false;
    }
    if (m_cash->text().isEmpty()) {
        messagePort().inform(QStringLiteral("输入现金额"));
        m_cash->setFocus(Qt::OtherFocusReason);
        return false;
    }
    QString error;
    const auto c = num::toDecimal(m_cash->text(), &error);
    const auto t = c ? num::toDecimal(m_total->text(), &error) : std::nullopt;
    if (!t) {
        messagePort().error(error);
        return false;
    }
    if (*c < num::round2(*t)) {
        messagePort().inform(QStringLiteral("现金不足"));
        return false;
    }
    if (!m_printer || !m_printer())
        return false; // a failed receipt leaves the list as it is
    // The receipt is printed; the list is done with the sale.
    m_rows->close();
    return true;
}

bool SlipPanel::previewSlip()
{
    if (m_total->text() == u"0") {
        messagePort().inform(QStringLiteral("先进行销售"));
        return false;
    }
    if (!m_slipPreviewer)
        return false;
    m_slipPreviewer();
    return true;
}
