#include "users/tloginfm.h"

#include "core/blanks.h"
#include "core/clock.h"
#include "core/messageport.h"
#include "store/db/shoplocation.h"
#include "store/ops/tdmfm.h"
#include "store/ops/userqueries.h"
#include "ui/characterfilter.h"
#include "ui/enterchain.h"
#include "ui/queryhelpers.h"
#include "ui/reporterror.h"
#include "users/desktopshortcut.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace {

} // namespace

Tloginfm::Tloginfm(Tdmfm& dm, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_dm(dm)
    , m_user(new QComboBox(this))
    , m_password(new QLineEdit(this))
    , m_hint(new QLabel(QStringLiteral("初始登陆密码：864"), this))
    , m_shop(new QLabel(this))
    , m_login(new QPushButton(QStringLiteral("登 录"), this))
    , m_waitTimer(new QTimer(this))
{
    setWindowTitle(QStringLiteral("用户登录"));

    m_user->setEditable(true);
    // A typed name is used as typed: Enter must neither add it to the list nor
    // replace it by a list entry of another letter case.
    m_user->setInsertPolicy(QComboBox::NoInsert);
    m_user->setMinimumWidth(180);

    m_password->setEchoMode(QLineEdit::Password);
    m_password->setMaxLength(10);
    // Composed (input method) text is never a valid password character.
    m_password->setAttribute(Qt::WA_InputMethodEnabled, false);
    // QLineEdit's own mask character depends on the style; the window shows "*".
    m_password->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));

    // The hint is red on every skin: the widget's own sheet outranks the skin's.
    m_hint->setStyleSheet(QStringLiteral("color: #ff0000;"));

    // Enter in the fields only moves the focus; the button is pressed only
    // when it has the focus, so it must never become the dialog's default.
    m_login->setAutoDefault(false);
    m_login->setDefault(false);

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("用户名称："), this), 0, 0);
    fields->addWidget(m_user, 0, 1);
    fields->addWidget(new QLabel(QStringLiteral("输入密码："), this), 1, 0);
    fields->addWidget(m_password, 1, 1);
    fields->addWidget(m_hint, 2, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_login);
    buttons->addStretch();

    // A till may open one of several shops' databases on a server: the
    // window says which one before anyone types a password for it.
    m_shop->setWordWrap(true);
    m_shop->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_shop->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 16);
    layout->setSpacing(12);
    layout->addWidget(m_shop);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // The keypad's Enter carries the keypad modifier and presses the button as Return does.
    auto* enter = new EnterChain(this, Qt::OtherFocusReason);
    enter->chain({m_user, m_password, m_login});
    enter->press(m_login, EnterChain::Press::PlainEnter);
    // Passwords are ASCII letters and digits, typed or pasted.
    CharacterFilter::install(m_password, &CharacterFilter::isAsciiLetterOrDigit);

    connect(m_user, &QComboBox::activated, this, &Tloginfm::onUserChosen);
    connect(m_login, &QPushButton::clicked, this, &Tloginfm::onLoginClicked);
    // The wait belongs to the name: another name may be tried at once.
    connect(m_user, &QComboBox::editTextChanged, this, [this] {
        if (isVisible())
            checkWait();
    });
    m_waitTimer->setInterval(250);
    connect(m_waitTimer, &QTimer::timeout, this, &Tloginfm::showWait);
}

bool Tloginfm::isSuperAdministrator() const
{
    return m_loggedIn && m_userName == userq::superAdministrator();
}

void Tloginfm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Restoring a minimised window is not a new showing.
    if (!event->spontaneous())
        prepare();
}

void Tloginfm::prepare()
{
    m_loggedIn = false;
    m_userName.clear();
    m_password->clear();

    // The program runs in the shop folder that holds the database, so the
    // shortcut starts it there. A shortcut that cannot be written is no reason
    // to stop anyone from logging in, but a full disk is said at once.
    const QString shop = m_dm.path().isEmpty() ? QDir::currentPath() : QFileInfo(m_dm.path()).absolutePath();
    // A shop on a server that the command line named (the folder names none)
    // is named by the shortcut too, or the shortcut would start another shop;
    // but a shortcut is no place for a password.
    const ShopLocation& location = m_dm.location();
    QStringList arguments;
    if (location.isServer() && !QFileInfo::exists(QDir(shop).filePath(ShopLocation::folderFileName())) &&
        !location.holdsPassword())
        arguments = {QStringLiteral("--database"), location.target()};
    QString error;
    if (!writeProgramShortcut(shop, arguments, &error) && !error.isEmpty())
        messagePort().error(error);

    m_shop->setVisible(m_dm.location().isServer());
    m_shop->setText(m_dm.location().isServer() ? m_dm.location().describe() : QString());

    FillDistinctList(m_dm, QStringLiteral("username"), QStringLiteral("userdb"), m_user);
    if (m_user->count() > 0)
        m_user->setCurrentIndex(0);
    m_user->setFocus(Qt::OtherFocusReason);
    m_user->lineEdit()->selectAll();
    checkWait();
}

bool Tloginfm::checkWait()
{
    m_waitUntil = {};
    const QString name = m_user->currentText();
    if (!name.trimmed().isEmpty()) {
        const userq::FailedLogins failures = valueOrReport(userq::failedLoginsOf(m_dm, name), {});
        if (failures.last.isValid())
            m_waitUntil = failures.last.addSecs(userq::waitSecondsAfter(failures.count));
    }
    showWait();
    return !m_waitTimer->isActive();
}

void Tloginfm::showWait()
{
    const qint64 left = m_waitUntil.isValid() ? wallclock::now().secsTo(m_waitUntil) : 0;
    if (left <= 0) {
        m_waitTimer->stop();
        m_login->setEnabled(true);
        m_login->setText(QStringLiteral("登 录"));
        return;
    }
    m_login->setEnabled(false);
    m_login->setText(QStringLiteral("请稍候 %1 秒").arg(left));
    if (!m_waitTimer->isActive())
        m_waitTimer->start();
}

void Tloginfm::keyPressEvent(QKeyEvent* event)
{
    // The login ends by its close box or by logging in; Esc in a field must
    // not end the program.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Tloginfm::onUserChosen()
{
    m_password->setFocus(Qt::OtherFocusReason);
}

void Tloginfm::onLoginClicked()
{
    if (!RequireText(m_user, QStringLiteral("必须选择用户！")))
        return;
    if (!RequireText(m_password, QStringLiteral("必须输入密码！")))
        return;
    if (!checkWait())
        return;
    const QString name = m_user->currentText();
    // A till that connects as a role of ordinary users (serverclerk.h)
    // cannot read the purchase prices nor take goods into stock; it does not
    // even read the super administrator's password.
    if (name == userq::superAdministrator()) {
        const Result<bool> readsPrices = m_dm.db().readsPurchasePrices();
        if (!succeeded(readsPrices))
            return;
        if (!*readsPrices) {
            messagePort().inform(QStringLiteral("这台电脑连接数据库服务器所用的账号只供普通用户使用，"
                                                "超级管理员不能在这里登录。"));
            m_password->clear();
            m_password->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
    // Blanks and control characters at both ends are not part of a password.
    const QString password = trimControlsAndSpaces(m_password->text());

    const Result<int> matches = userq::countMatches(m_dm, name, password);
    if (!succeeded(matches))
        return; // the window stays as it is
    if (*matches != 1) {
        (void)succeeded(userq::logFailedLogin(m_dm, name, wallclock::now()));
        messagePort().inform(QStringLiteral("密码不正确！请重新输入！"));
        m_password->clear();
        m_password->setFocus(Qt::OtherFocusReason);
        checkWait();
        return;
    }

    m_loggedIn = true;
    m_userName = name;
    m_password->clear();
    accept();
}
