#include "users/tuserglfm.h"

#include "core/blanks.h"
#include "core/messageport.h"
#include "store/ops/tdmfm.h"
#include "store/ops/userqueries.h"
#include "ui/centring.h"
#include "ui/enterchain.h"
#include "users/passwordbox.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QLabel* hintLabel(QWidget* parent)
{
    auto* label = new QLabel(QStringLiteral("请在左边列表中选择用户"), parent);
    label->setStyleSheet(QStringLiteral("color: #ff0000;"));
    return label;
}

QLineEdit* chosenNameBox(QWidget* parent)
{
    auto* box = new QLineEdit(parent);
    box->setReadOnly(true);
    return box;
}

} // namespace

Tuserglfm::Tuserglfm(Tdmfm& dm, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_dm(dm)
    , m_password(new QLineEdit(this))
    , m_login(new QPushButton(QStringLiteral("登录"), this))
    , m_quit(new QPushButton(QStringLiteral("退出"), this))
    , m_users(new QListWidget(this))
    , m_tabs(new QTabWidget(this))
    , m_resetName(chosenNameBox(this))
    , m_reset(new QPushButton(QStringLiteral("初始化密码"), this))
    , m_hint(new QPushButton(QStringLiteral("提示"), this))
    , m_newName(new QLineEdit(this))
    , m_add(new QPushButton(QStringLiteral("增加用户"), this))
    , m_deleteName(chosenNameBox(this))
    , m_delete(new QPushButton(QStringLiteral("删除用户"), this))
    , m_failures(new QTreeWidget(this))
{
    setWindowTitle(QStringLiteral("用户管理—(管理员专用)"));
    makePasswordBox(m_password);
    m_password->setFixedWidth(120);

    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(QStringLiteral("管理员密码："), this));
    left->addWidget(m_password);
    left->addWidget(m_login);
    left->addWidget(m_quit);
    left->addStretch();

    auto* middle = new QVBoxLayout;
    middle->addWidget(new QLabel(QStringLiteral("用户列表"), this));
    m_users->setFixedWidth(150);
    middle->addWidget(m_users);

    auto* resetPage = new QWidget(m_tabs);
    auto* resetLayout = new QGridLayout(resetPage);
    resetLayout->addWidget(new QLabel(QStringLiteral("你选择的用户名："), resetPage), 0, 0);
    resetLayout->addWidget(m_resetName, 0, 1);
    resetLayout->addWidget(hintLabel(resetPage), 1, 1);
    auto* resetButtons = new QHBoxLayout;
    resetButtons->addWidget(m_reset);
    resetButtons->addWidget(m_hint);
    resetLayout->addLayout(resetButtons, 2, 1);
    resetLayout->setRowStretch(3, 1);

    auto* addPage = new QWidget(m_tabs);
    auto* addLayout = new QGridLayout(addPage);
    addLayout->addWidget(new QLabel(QStringLiteral("新增用户名："), addPage), 0, 0);
    addLayout->addWidget(m_newName, 0, 1);
    addLayout->addWidget(m_add, 1, 1);
    addLayout->setRowStretch(2, 1);

    auto* deletePage = new QWidget(m_tabs);
    auto* deleteLayout = new QGridLayout(deletePage);
    deleteLayout->addWidget(hintLabel(deletePage), 0, 1);
    deleteLayout->addWidget(new QLabel(QStringLiteral("你选择的用户名："), deletePage), 1, 0);
    deleteLayout->addWidget(m_deleteName, 1, 1);
    deleteLayout->addWidget(m_delete, 2, 1);
    deleteLayout->setRowStretch(3, 1);

    m_tabs->addTab(resetPage, QStringLiteral("初始化密码"));
    m_tabs->addTab(addPage, QStringLiteral("增加用户"));
    // The failed logins, newest first: who was tried, and when.
    m_failures->setColumnCount(2);
    m_failures->setHeaderLabels({QStringLiteral("时间"), QStringLiteral("用户名")});
    m_failures->setRootIsDecorated(false);
    m_failures->setColumnWidth(0, 150);

    m_tabs->addTab(deletePage, QStringLiteral("删除用户"));
    m_tabs->addTab(m_failures, QStringLiteral("登录失败记录"));
    m_tabs->setCurrentIndex(0);
    m_tabs->setMinimumWidth(300);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(middle);
    layout->addWidget(m_tabs);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    auto* enter = new EnterChain(this, Qt::OtherFocusReason);
    enter->link(m_password, m_login);
    for (QPushButton* b : {m_login, m_quit, m_reset, m_hint, m_add, m_delete}) {
        b->setAutoDefault(false);
        enter->press(b);
    }

    connect(m_login, &QPushButton::clicked, this, &Tuserglfm::onLoginClicked);
    connect(m_quit, &QPushButton::clicked, this, &QWidget::close);
    connect(m_users, &QListWidget::itemClicked, this, &Tuserglfm::onUserClicked);
    connect(m_hint, &QPushButton::clicked, this, &Tuserglfm::onHintClicked);
    connect(m_reset, &QPushButton::clicked, this, &Tuserglfm::onResetClicked);
    connect(m_add, &QPushButton::clicked, this, &Tuserglfm::onAddClicked);
    connect(m_delete, &QPushButton::clicked, this, &Tuserglfm::onDeleteClicked);

    setUnlocked(false);
    centreOnFirstShow(this);
}

void Tuserglfm::setUnlocked(bool unlocked)
{
    m_users->setEnabled(unlocked);
    m_tabs->setEnabled(unlocked);
}

void Tuserglfm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_listed) {
        m_listed = true;
        fillUserList();
    }
    m_password->setFocus(Qt::OtherFocusReason);
}

void Tuserglfm::closeEvent(QCloseEvent* event)
{
    m_dm.generalQuery().close();
    QWidget::closeEvent(event);
}

void Tuserglfm::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        m_quit->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Tuserglfm::fillUserList()
{
    QStringList names;
    userq::userNames(m_dm, &names);
    m_users->clear();
    m_users->addItems(names);
}

void Tuserglfm::fillFailures()
{
    constexpr int kShown = 1000;
    QList<userq::FailedLogin> failures;
    userq::recentFailedLogins(m_dm, kShown, &failures);
    m_failures->clear();
    for (const auto& f : failures)
        m_failures->addTopLevelItem(new QTreeWidgetItem(QStringList{f.at, f.name}));
}

void Tuserglfm::onLoginClicked()
{
    // The check is always of the one super administrator, whoever is logged in.
    const int matches =
        userq::countMatches(m_dm, userq::superAdministrator(), trimControlsAndSpaces(m_password->text()));
    if (matches < 0)
        return; // the engine's error has been shown
    if (matches != 1) {
        messagePort().inform(QStringLiteral("密码不对！"));
        return;
    }
    messagePort().inform(QStringLiteral("超级管理员登录成功！"));
    fillFailures();
    setUnlocked(true);
    m_password->clear();
}

void Tuserglfm::onUserClicked()
{
    const QListWidgetItem* item = m_users->currentItem();
    if (!item)
        return;
    m_resetName->setText(item->text());
    m_deleteName->setText(item->text());
}

void Tuserglfm::onHintClicked()
{
    messagePort().inform(QStringLiteral("初始化口令用于忘记密码的用户，将口令更改为:864"));
}

void Tuserglfm::onResetClicked()
{
    const QString name = trimControlsAndSpaces(m_resetName->text());
    if (name.isEmpty()) {
        messagePort().inform(QStringLiteral("请选择用户名！"));
        return;
    }
    int changed = 0;
    if (!userq::resetPassword(m_dm, name, &changed))
        return;
    if (changed == 0) {
        // Deleted meanwhile (by this window or another program): nothing was reset.
        messagePort().inform(QStringLiteral("没有找到用户：%1，密码没有初始化！").arg(name));
        fillUserList();
        return;
    }
    messagePort().inform(QStringLiteral("已经成功将密码初始化为：864"));
}

void Tuserglfm::onAddClicked()
{
    const QString name = trimControlsAndSpaces(m_newName->text());
    if (name == userq::superAdministrator()) {
        messagePort().inform(QStringLiteral("超级管理员只能有一个，不能增加"));
        return;
    }
    if (name.isEmpty()) {
        messagePort().inform(QStringLiteral("请选择用户名！"));
    } else {
        switch (userq::addUser(m_dm, name)) {
        case userq::AddResult::Added:
            messagePort().inform(QStringLiteral("成功添加新用户！缺省口令是：864,请此用户下次登录时及时修改口令！"));
            break;
        case userq::AddResult::Exists:
            // A second row of a name would make every login of that user fail.
            messagePort().inform(QStringLiteral("用户名“%1”已经存在（不分大小写），不能重复增加！").arg(name));
            break;
        case userq::AddResult::Failed:
            break; // the engine's error has been shown
        }
    }
    fillUserList();
}

void Tuserglfm::onDeleteClicked()
{
    const QString name = trimControlsAndSpaces(m_deleteName->text());
    if (name == userq::superAdministrator()) {
        messagePort().inform(QStringLiteral("超级管理员不能删除！"));
        return;
    }
    if (name.isEmpty()) {
        messagePort().inform(QStringLiteral("请选择用户"));
        return;
    }
    if (messagePort().askYesNo(QStringLiteral("删除用户"), QStringLiteral("你真的要删除用户：") + name +
                                                               QStringLiteral("吗?")) == MessagePort::Answer::Ok) {
        int removed = 0;
        if (userq::deleteUser(m_dm, name, &removed)) {
            messagePort().inform(removed > 0 ? QStringLiteral("成功删除！")
                                             : QStringLiteral("没有找到用户：%1").arg(name));
            m_deleteName->clear();
        }
    }
    fillUserList();
}
