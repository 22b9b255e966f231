#include "stock/stocksearchbox.h"

#include "store/db/columns.h"
#include "store/ops/tdmfm.h"
#include "ui/datefield.h"
#include "ui/fittingedit.h"
#include "ui/queryhelpers.h"
#include "ui/reporterror.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSignalBlocker>

namespace {

// The condition boxes show a scanned 13-digit article code whole.
const QString kCodeSample = QStringLiteral("0000000000000");

QComboBox* makeList(QWidget* parent)
{
    auto* list = new QComboBox(parent);
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert);
    list->setMinimumWidth(110);
    return list;
}

QLabel* label(const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}

} // namespace

StockSearchBox::StockSearchBox(QWidget* parent)
    : QGroupBox(QStringLiteral(" 快速拼音查询"), parent)
    , m_category(makeList(this))
    , m_name(new FittingEdit(kCodeSample, this))
    , m_supplier(makeList(this))
    , m_model(new FittingEdit(kCodeSample, this))
    , m_code(new FittingEdit(kCodeSample, this))
    , m_clear(new QPushButton(QStringLiteral("清空条件"), this))
    , m_search(new QPushButton(QStringLiteral("查询"), this))
    , m_byDate(new QCheckBox(QStringLiteral("入库日期："), this))
    , m_from(new DateField(this))
    , m_to(new DateField(this))
    , m_remark(new FittingEdit(kCodeSample, this))
    , m_all(new QPushButton(QStringLiteral("全部记录"), this))
{
    m_name->setToolTip(QStringLiteral("输入拼音首字母查询"));
    m_model->setToolTip(QStringLiteral("输入拼音首字母查询"));
    m_code->setToolTip(QStringLiteral("支持扫描枪"));
    // Scanned codes go into a box that stands out.
    m_code->setStyleSheet(QStringLiteral("QLineEdit { background-color: rgb(166, 202, 240); }"));

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 6, 8, 6);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(5);
    grid->addWidget(label(QStringLiteral("类 别："), this), 0, 0);
    grid->addWidget(m_category, 0, 1);
    grid->addWidget(label(QStringLiteral("商品名称："), this), 0, 2);
    grid->addWidget(m_name, 0, 3);
    grid->addWidget(label(QStringLiteral("供货商："), this), 0, 4);
    grid->addWidget(m_supplier, 0, 5, 1, 2);

    grid->addWidget(label(QStringLiteral("规格型号："), this), 1, 0);
    grid->addWidget(m_model, 1, 1);
    grid->addWidget(label(QStringLiteral("商品编码："), this), 1, 2);
    grid->addWidget(m_code, 1, 3);
    grid->addWidget(m_clear, 1, 5);
    grid->addWidget(m_search, 1, 6);

    auto* dates = new QHBoxLayout;
    dates->setSpacing(4);
    dates->addWidget(m_byDate);
    dates->addWidget(m_from);
    dates->addWidget(new QLabel(QStringLiteral("至"), this));
    dates->addWidget(m_to);
    grid->addLayout(dates, 2, 0, 1, 2);
    grid->addWidget(label(QStringLiteral("备注："), this), 2, 2);
    grid->addWidget(m_remark, 2, 3);
    grid->addWidget(m_all, 2, 5, 1, 2);
    // Room beyond the least the boxes need goes to the two columns of boxes.
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    // Every change of a text box searches at once: a scanner typing a code
    // narrows the list with each character it sends.
    for (QLineEdit* box : {m_name, m_model, m_code, m_remark})
        connect(box, &QLineEdit::textChanged, this, [this] {
            if (!m_clearing)
                emit searchRequested();
        });
    // Typing in or picking from the category list searches; the supplier list waits for 查询.
    connect(m_category, &QComboBox::editTextChanged, this, [this] {
        if (!m_clearing)
            emit searchRequested();
    });
    connect(m_category, qOverload<int>(&QComboBox::activated), this, &StockSearchBox::searchRequested);
    connect(m_search, &QPushButton::clicked, this, &StockSearchBox::searchRequested);
    connect(m_all, &QPushButton::clicked, this, &StockSearchBox::reloadRequested);
    connect(m_clear, &QPushButton::clicked, this, &StockSearchBox::clearConditions);
}

stockq::Conditions StockSearchBox::conditions() const
{
    stockq::Conditions c;
    c.category = m_category->currentText();
    c.nameInitials = m_name->text();
    c.specInitials = m_model->text();
    c.code = m_code->text();
    c.remark = m_remark->text();
    c.supplier = m_supplier->currentText();
    c.byDate = m_byDate->isChecked();
    c.from = m_from->text();
    c.to = m_to->text();
    return c;
}

void StockSearchBox::refillLists(Tdmfm& dm)
{
    FillDistinctList(m_category, valueOrReport(dm.stock().values(stockcol::category), {}));
    FillDistinctList(m_supplier, valueOrReport(dm.stock().values(stockcol::supplier), {}));
}

void StockSearchBox::setDates(const QDate& day)
{
    m_from->setDate(day);
    m_to->setDate(day);
}

void StockSearchBox::clearConditions()
{
    {
        // One search once everything is empty: boxes that show no condition
        // must not leave the list filtered by what they held.
        const QScopedValueRollback clearing(m_clearing, true);
        m_name->clear();
        m_code->clear();
        m_model->clear();
        m_category->setCurrentIndex(-1);
        m_category->setCurrentText(QString());
        m_remark->clear();
        {
            const QSignalBlocker block(m_supplier);
            m_supplier->setCurrentIndex(-1);
            m_supplier->setCurrentText(QString());
        }
        m_byDate->setChecked(false);
    }
    emit searchRequested();
}

std::optional<QString> StockSearchBox::invalidDate() const
{
    if (!m_byDate->isChecked())
        return std::nullopt;
    for (const DateField* field : {m_from, m_to})
        if (!field->date())
            return field->lineEdit()->displayText(); // as shown, blanks of an empty field included
    return std::nullopt;
}
