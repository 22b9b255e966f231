#include "users/tchangepassfm.h"

#include "core/blanks.h"
#include "core/messageport.h"
#include "store/ops/tdmfm.h"
#include "store/ops/userqueries.h"
#include "ui/centring.h"
#include "ui/enterchain.h"
#include "ui/queryhelpers.h"
#include "users/passwordbox.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

} // namespace

Tchangepassfm::Tchangepassfm(Tdmfm& dm, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_dm(dm)
    , m_user(new QComboBox(this))
    , m_old(new QLineEdit(this))
    , m_new(new QLineEdit(this))
    , m_repeat(new QLineEdit(this))
    , m_closeAfter(new QCheckBox(QStringLiteral("更改完毕退出"), this))
    , m_change(new QPushButton(QStringLiteral("更改密码"), this))
    , m_quit(new QPushButton(QStringLiteral("退出"), this))
{
    setWindowTitle(QStringLiteral("更改密码"));
    m_user->setEditable(false); // chosen from the list only
    m_user->setMinimumWidth(160);
    for (QLineEdit* box : {m_old, m_new, m_repeat})
        makePasswordBox(box);
    m_closeAfter->setChecked(true);

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("选择操作员"), this), 0, 0);
    fields->addWidget(m_user, 0, 1);
    fields->addWidget(new QLabel(QStringLiteral("输入旧密码"), this), 1, 0);
    fields->addWidget(m_old, 1, 1);
    fields->addWidget(new QLabel(QStringLiteral("输入新密码"), this), 2, 0);
    fields->addWidget(m_new, 2, 1);
    fields->addWidget(new QLabel(QStringLiteral("新密码重复"), this), 3, 0);
    fields->addWidget(m_repeat, 3, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_closeAfter);
    buttons->addStretch();
    buttons->addWidget(m_change);
    buttons->addWidget(m_quit);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->addLayout(fields);
    layout->addWidget(new QLabel(QStringLiteral("提示：密码只能输入字母和数字，最长10个字符！"), this));
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    auto* enter = new EnterChain(this, Qt::OtherFocusReason);
    enter->chain({m_old, m_new, m_repeat, m_change});
    for (QPushButton* b : {m_change, m_quit}) {
        b->setAutoDefault(false);
        enter->press(b);
    }

    connect(m_user, &QComboBox::activated, this, [this] { m_old->setFocus(Qt::OtherFocusReason); });
    connect(m_change, &QPushButton::clicked, this, &Tchangepassfm::onChangeClicked);
    connect(m_quit, &QPushButton::clicked, this, &QWidget::close);
    centreOnFirstShow(this);
}

void Tchangepassfm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_listed)
        return;
    m_listed = true;
    FillDistinctList(m_dm, m_dm.generalQuery(), QStringLiteral("username"), QStringLiteral("userdb"), m_user);
    m_user->setCurrentIndex(-1); // nobody is chosen for the user
    m_user->setFocus(Qt::OtherFocusReason);
}

void Tchangepassfm::closeEvent(QCloseEvent* event)
{
    m_dm.generalQuery().close();
    QWidget::closeEvent(event);
}

void Tchangepassfm::onChangeClicked()
{
    // A change without a chosen user would change nobody's password.
    if (m_user->currentIndex() < 0 || m_user->currentText().isEmpty()) {
        messagePort().warning(QStringLiteral("必须选择操作员！"), QStringLiteral("Warning"));
        m_user->setFocus(Qt::OtherFocusReason);
        return;
    }
    const QString name = m_user->currentText();
    const QString oldPassword = trimControlsAndSpaces(m_old->text());
    const QString newPassword = trimControlsAndSpaces(m_new->text());
    const QString repeated = trimControlsAndSpaces(m_repeat->text());
    if (!RequireText(m_old, QStringLiteral("必须输入旧口令！")))
        return;
    if (!RequireText(m_new, QStringLiteral("新口令长度不能为空！")))
        return;
    if (newPassword != repeated) {
        messagePort().inform(QStringLiteral("两次输入的密码不一致！请重新输入！"));
        m_repeat->clear();
        m_repeat->setFocus(Qt::OtherFocusReason);
        return;
    }
    switch (userq::changePassword(m_dm, name, oldPassword, newPassword)) {
    case userq::ChangeResult::Failed:
        return; // the engine's error has been shown; nothing changed
    case userq::ChangeResult::WrongOldPassword:
        messagePort().inform(QStringLiteral("旧口令不正确！"));
        m_old->clear();
        m_old->setFocus(Qt::OtherFocusReason);
        return;
    case userq::ChangeResult::Changed:
        break;
    }
    messagePort().inform(QStringLiteral("你已经成功修改了密码！下次运行程序时生效！"));
    if (m_closeAfter->isChecked()) {
        close();
        return;
    }
    m_old->clear();
    m_new->clear();
    m_repeat->clear();
}
