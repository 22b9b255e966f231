#include "sales/saleeditpanel.h"

#include "core/messageport.h"
#include "core/numbers.h"
#include "store/db/columns.h"
#include "store/memory/rowset.h"
#include "store/ops/saleops.h"
#include "store/ops/tdmfm.h"
#include "ui/numberbox.h"
#include "ui/reporterror.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

namespace {

constexpr int kWidth = 505;
constexpr int kHeight = 273;

QString shown(const QVariant& v)
{
    return v.isNull() ? QString() : num::general(v);
}

} // namespace

SaleEditPanel::SaleEditPanel(Tdmfm& dm, QWidget* parent)
    : FloatingPanel(parent)
    , m_dm(dm)
{
    setObjectName(QStringLiteral("saleEditPanel"));
    setFixedSize(kWidth, kHeight);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(10, 26, 10, 8);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    m_name = addRow(QStringLiteral("商品名称："), 0, 0, false);
    m_model = addRow(QStringLiteral("规格型号："), 0, 2, false);
    m_code = addRow(QStringLiteral("商品编码："), 1, 0, false);
    m_category = addRow(QStringLiteral("类 别："), 1, 2, false);
    m_date = addRow(QStringLiteral("销售日期："), 2, 0, false);
    m_price = addRow(QStringLiteral("销售单价："), 2, 2, false);
    m_quantity = addRow(QStringLiteral("销售数量："), 3, 0, false);
    m_amount = addRow(QStringLiteral("销售金额："), 3, 2, false);
    // The amount owed is a number box like every amount the till takes in.
    m_owed = new NumberBox(this);
    m_owed->setObjectName(QStringLiteral("owedBox"));
    m_owed->setButtonSymbols(QAbstractSpinBox::NoButtons);
    addRow(QStringLiteral("欠款金额："), 4, 0, m_owed);
    grid->addWidget(new QLabel(QStringLiteral("无欠款填0"), this), 4, 2, 1, 2);
    m_number = addRow(QStringLiteral("销售单号："), 5, 0, true);
    m_customer = addRow(QStringLiteral("客户名称："), 5, 2, true);
    m_address = addRow(QStringLiteral("地 址："), 6, 0, true);
    m_contact = addRow(QStringLiteral("联系方式："), 6, 2, true);
    m_remark = addRow(QStringLiteral("备 注："), 7, 0, true);
    m_change = new QPushButton(QStringLiteral("修 改"), this);
    m_delete = new QPushButton(QStringLiteral("删 除"), this);
    grid->addWidget(m_change, 7, 3);
    grid->addWidget(m_delete, 7, 3);
    // Enter in the amount owed moves on to the sale number.
    connect(m_owed, &NumberBox::returnPressed, m_number, [this] { m_number->setFocus(Qt::TabFocusReason); });
    connect(m_change, &QPushButton::clicked, this, &SaleEditPanel::applyChange);
    connect(m_delete, &QPushButton::clicked, this, &SaleEditPanel::deleteSale);
    m_close = addCloseButton();
    connect(m_close, &QToolButton::clicked, this, &QWidget::hide);
    hide();
}

QLineEdit* SaleEditPanel::addRow(const QString& label, int row, int column, bool editable)
{
    auto* edit = new QLineEdit(this);
    edit->setReadOnly(!editable);
    if (!editable)
        edit->setFocusPolicy(Qt::ClickFocus);
    addRow(label, row, column, edit);
    m_fields.append({label, edit});
    return edit;
}

void SaleEditPanel::addRow(const QString& label, int row, int column, QWidget* field)
{
    auto* grid = static_cast<QGridLayout*>(layout());
    auto* l = new QLabel(label, this);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(l, row, column);
    grid->addWidget(field, row, column + 1);
}

QLineEdit* SaleEditPanel::field(const QString& label) const
{
    for (const auto& [text, edit] : m_fields)
        if (text == label)
            return edit;
    return nullptr;
}

bool SaleEditPanel::openFor(const RowSet& set, int row, Mode mode)
{
    if (row < 0 || row >= set.rowCount() || set.value(row, salecol::name).toString().isEmpty())
        return false;
    m_mode = mode;
    m_saleRowId = set.rowId(row);
    const auto text = [&](QLatin1StringView f) { return set.value(row, f).toString(); };
    m_name->setText(text(salecol::name));
    m_model->setText(text(salecol::model));
    m_code->setText(text(salecol::code));
    m_category->setText(text(salecol::category));
    m_date->setText(text(salecol::saleDate));
    m_price->setText(shown(set.value(row, salecol::price)));
    m_quantity->setText(shown(set.value(row, salecol::quantity)));
    m_amount->setText(shown(set.value(row, salecol::amount)));
    m_owed->setText(shown(set.value(row, salecol::owed)));
    m_number->setText(text(salecol::saleNumber));
    // The delete panel shows whose sale it deletes, too.
    m_customer->setText(text(salecol::customer));
    m_address->setText(text(salecol::address));
    m_contact->setText(text(salecol::contact));
    m_remark->setText(text(salecol::customerRemark));
    const bool change = mode == Mode::Change;
    m_owed->setReadOnly(!change);
    for (QLineEdit* e : {m_number, m_customer, m_address, m_contact, m_remark})
        e->setReadOnly(!change);
    m_change->setVisible(change);
    m_delete->setVisible(!change);
    show();
    raise();
    (change ? m_owed : static_cast<QWidget*>(m_delete))->setFocus();
    return true;
}

void SaleEditPanel::applyChange()
{
    if (m_mode != Mode::Change || m_saleRowId < 0)
        return;
    const saleops::SaleChange c{m_owed->text(),    m_number->text(),  m_customer->text(),
                                m_address->text(), m_contact->text(), m_remark->text()};
    if (!succeeded(saleops::changeSale(m_dm, m_saleRowId, c)))
        return; // the panel stays open
    hide();
    messagePort().inform(QStringLiteral("修改记录成功！"));
    emit changed();
}

void SaleEditPanel::deleteSale()
{
    if (m_mode != Mode::Delete || m_saleRowId < 0)
        return;
    Result<saleops::Deleted> outcome = saleops::deleteSale(m_dm, m_saleRowId, false);
    if (outcome.is(Error::Kind::NoStockRow)) {
        const QString question =
            QStringLiteral("库存中没有与这条销售记录相符的商品（名称、规格型号、编码、类别和入库日期都相同），"
                           "可能已被删除。\n删除这条销售记录不会把数量退回库存。\n\n仍然删除吗？");
        if (messagePort().confirm(QStringLiteral("删除销售记录"), question) != MessagePort::Answer::Ok)
            return;
        outcome = saleops::deleteSale(m_dm, m_saleRowId, true);
    }
    if (outcome.is(Error::Kind::AmbiguousRow)) {
        messagePort().warning(
            QStringLiteral("该商品有多个相同的入库批次（名称、规格型号、编码、类别和入库日期都相同），"
                           "无法确定退回哪一批库存，未删除。"),
            QStringLiteral("删除销售记录"));
        return;
    }
    if (!succeeded(outcome))
        return;
    m_saleRowId = -1;
    for (const auto& entry : std::as_const(m_fields))
        entry.second->clear();
    hide();
    emit deleted();
    messagePort().inform(outcome->stockRowId >= 0
                             ? QStringLiteral("删除销售记录成功！")
                             : QStringLiteral("删除销售记录成功！库存没有变动。"));
}
