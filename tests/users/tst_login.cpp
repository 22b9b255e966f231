#include "keys.h"
#include "recordingport.h"
#include "testdb.h"

#include "core/clock.h"
#include "store/db/passwordhash.h"
#include "store/ops/tdmfm.h"
#include "store/ops/userqueries.h"
#include "users/desktopshortcut.h"
#include "users/tloginfm.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QString kSuper = QStringLiteral("超级管理员");
const QString kWrong = QStringLiteral("密码不正确！请重新输入！");
const QString kShortcutFile = QStringLiteral("Tarvik运动品销售管理软件.desktop");

// A shop with the delivered super administrator and a clerk whose password
// has letters, a home folder whose desktop folder comes from the XDG user
// dirs file (a Chinese folder name, as a Chinese desktop has it), and the
// login window over that shop.
class LoginFixture final
{
public:
    LoginFixture()
        : m_oldHome(qgetenv("HOME"))
    {
        qputenv("HOME", m_home.path().toUtf8());
        QDir(m_home.path()).mkpath(QStringLiteral("桌面"));
        QFile dirs(QDir(shop.configFolder()).filePath(QStringLiteral("user-dirs.dirs")));
        if (dirs.open(QIODevice::WriteOnly))
            dirs.write("XDG_DESKTOP_DIR=\"$HOME/\xe6\xa1\x8c\xe9\x9d\xa2\"\n");
        addUser(QStringLiteral("店员"), QStringLiteral("Ab1"));
        dlg = std::make_unique<Tloginfm>(shop.dm());
        finished = std::make_unique<QSignalSpy>(dlg.get(), &QDialog::finished);
    }
    ~LoginFixture()
    {
        finished.reset();
        dlg.reset();
        qputenv("HOME", m_oldHome);
    }

    void addUser(const QString& name, const QString& password)
    {
        QVERIFY(shop.dm().appendRow(QStringLiteral("userdb"), {{QStringLiteral("username"), name},
                                                               {QStringLiteral("passwd"), hashPassword(password)}}));
    }
    QString desktop() const { return QDir(m_home.path()).filePath(QStringLiteral("桌面")); }

    // Shows the window the way the main window does, without blocking.
    bool show()
    {
        dlg->open();
        return QTest::qWaitForWindowActive(dlg.get());
    }

private:
    QByteArray m_oldHome;
    QTemporaryDir m_home;

public:
    TestShop shop;
    RecordingPort port;
    std::unique_ptr<Tloginfm> dlg;
    std::unique_ptr<QSignalSpy> finished;
};

QWidget* focused()
{
    return QApplication::focusWidget();
}

// Replaces the user name by typing. Blanks cannot be typed into the password
// box, so a password with blanks arrives as pasted text.
void enter(Tloginfm& dlg, const QString& name, const QString& password)
{
    dlg.userList()->lineEdit()->selectAll();
    QTest::keyClick(dlg.userList(), Qt::Key_Backspace);
    typeText(dlg.userList(), name);
    if (password.contains(u' '))
        dlg.passwordBox()->setText(password);
    else
        typeText(dlg.passwordBox(), password);
}

QStringList readLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(u'\n');
}

} // namespace

class TestLogin : public QObject
{
    Q_OBJECT

private slots:
    void showFillsListAndSelectsFirstName();
    void login_data();
    void login();
    void wrongPasswordClearsAndAllowsRetry();
    void guessingWaitsLongerAndIsRecorded();
    void duplicateUsers_data();
    void duplicateUsers();
    void emptyUserTableFailsEveryLogin();
    void requiredFields_data();
    void requiredFields();
    void passwordKeyFilter_data();
    void passwordKeyFilter();
    void enterMovesFocusWithoutLoggingIn_data();
    void enterMovesFocusWithoutLoggingIn();
    void choosingNameMovesToPassword();
    void escapeKeepsTheWindowOpen_data();
    void escapeKeepsTheWindowOpen();
    void pastedPassword_data();
    void pastedPassword();
    void closingWithoutLoginRejects();
    void shortcutWrittenEachShow();
    void shortcutEscapesAndFailures();
    void shortcutOfAnInstalledProgramHasItsIcon();
};

void TestLogin::showFillsListAndSelectsFirstName()
{
    LoginFixture f;
    QVERIFY(f.shop.isValid());
    f.addUser(QStringLiteral("bob"), QStringLiteral("1"));
    f.addUser(QStringLiteral("Bob"), QStringLiteral("2")); // same name in another case: one entry
    f.addUser(QStringLiteral("anna"), QStringLiteral("3"));
    QVERIFY(f.show());

    QComboBox* list = f.dlg->userList();
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->itemText(i);
    // Pinyin order (chao before dian), Chinese names before Latin ones.
    QCOMPARE(names.size(), 4);
    QCOMPARE(names.at(0), kSuper);
    QCOMPARE(names.at(1), QStringLiteral("店员"));
    QCOMPARE(names.at(2), QStringLiteral("anna"));
    QCOMPARE(names.at(3).toLower(), QStringLiteral("bob"));
    QCOMPARE(list->currentText(), kSuper);
    QCOMPARE(focused(), list);
    QVERIFY(f.dlg->windowTitle() == QStringLiteral("用户登录"));
    QVERIFY(!f.dlg->loggedIn());

    // A second showing reads the list again.
    f.dlg->reject();
    f.addUser(QStringLiteral("aaron"), QStringLiteral("4"));
    QVERIFY(f.show());
    QCOMPARE(list->count(), 5);
    QCOMPARE(list->itemText(2), QStringLiteral("aaron"));
    QCOMPARE(list->currentText(), kSuper);
}

void TestLogin::login_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<bool>("super");

    QTest::newRow("super administrator") << kSuper << "864" << true << true;
    QTest::newRow("password in another letter case") << "店员"
                                                     << "aB1" << true << false;
    QTest::newRow("blanks around password ignored") << "店员"
                                                    << "  AB1 " << true << false;
    QTest::newRow("wrong password") << "店员"
                                    << "Ab2" << false << false;
    QTest::newRow("another user's password") << "店员"
                                             << "864" << false << false;
    QTest::newRow("name is not trimmed") << kSuper + u' ' << "864" << false << false;
    QTest::newRow("unknown name") << "店长"
                                  << "864" << false << false;
}

void TestLogin::login()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(bool, succeeds);
    QFETCH(bool, super);

    LoginFixture f;
    QVERIFY(f.show());
    enter(*f.dlg, name, password);
    QCOMPARE(f.dlg->userList()->currentText(), name);
    QTest::mouseClick(f.dlg->loginButton(), Qt::LeftButton);

    if (succeeds) {
        QVERIFY(f.port.entries.isEmpty());
        QCOMPARE(f.finished->size(), 1);
        QCOMPARE(f.finished->at(0).at(0).toInt(), int(QDialog::Accepted));
        QVERIFY(!f.dlg->isVisible());
        QVERIFY(f.dlg->loggedIn());
        QCOMPARE(f.dlg->userName(), name);
        QCOMPARE(f.dlg->isSuperAdministrator(), super);
    } else {
        QCOMPARE(f.port.texts(), QStringList{kWrong});
        QCOMPARE(f.port.entries.at(0).kind, QStringLiteral("inform"));
        QVERIFY(f.finished->isEmpty());
        QVERIFY(f.dlg->isVisible());
        QVERIFY(!f.dlg->loggedIn());
        QVERIFY(f.dlg->userName().isEmpty());
        QVERIFY(f.dlg->passwordBox()->text().isEmpty());
        QCOMPARE(focused(), f.dlg->passwordBox());
        QCOMPARE(f.dlg->userList()->currentText(), name); // the name stays for the next try
    }
}

void TestLogin::wrongPasswordClearsAndAllowsRetry()
{
    LoginFixture f;
    QVERIFY(f.show());
    enter(*f.dlg, kSuper, QStringLiteral("111"));
    for (int attempt = 0; attempt < 3; ++attempt) {
        QTest::mouseClick(f.dlg->loginButton(), Qt::LeftButton);
        QCOMPARE(f.port.entries.size(), attempt + 1);
        QVERIFY(f.dlg->isVisible());
        // The focus is back in the emptied password box, so the next try is typed straight away.
        QCOMPARE(focused(), f.dlg->passwordBox());
        QVERIFY(f.dlg->passwordBox()->text().isEmpty());
        typeText(focused(), attempt < 2 ? QStringLiteral("865") : QStringLiteral("864"));
    }
    QTest::keyClick(focused(), Qt::Key_Return);
    QTest::keyClick(focused(), Qt::Key_Return);
    QCOMPARE(f.port.entries.size(), 3);
    QCOMPARE(f.finished->size(), 1);
    QVERIFY(f.dlg->loggedIn());
    QVERIFY(f.dlg->isSuperAdministrator());
}

void TestLogin::guessingWaitsLongerAndIsRecorded()
{
    wallclock::FixedClock clock{QDateTime(QDate(2026, 3, 15), QTime(9, 0))};
    LoginFixture f;
    QVERIFY(f.show());
    QPushButton* button = f.dlg->loginButton();
    auto guess = [&] {
        typeText(f.dlg->passwordBox(), QStringLiteral("111"));
        QTest::mouseClick(button, Qt::LeftButton);
    };
    auto after = [&](int seconds) {
        clock.set(wallclock::now().addSecs(seconds));
        QTest::qWait(300); // a tick of the window's countdown
    };
    enter(*f.dlg, kSuper, QString());
    // A few tries are free; then each further failure makes the next try wait longer.
    guess();
    guess();
    QVERIFY(button->isEnabled());
    guess();
    QVERIFY(!button->isEnabled());
    QCOMPARE(button->text(), QStringLiteral("请稍候 1 秒"));
    QTest::mouseClick(button, Qt::LeftButton); // a click meanwhile checks nothing
    QCOMPARE(f.port.entries.size(), 3);
    after(1);
    QVERIFY(button->isEnabled());
    guess();
    QCOMPARE(button->text(), QStringLiteral("请稍候 2 秒"));
    after(1);
    QVERIFY(!button->isEnabled());
    after(1);
    QVERIFY(button->isEnabled());
    guess();
    QCOMPARE(button->text(), QStringLiteral("请稍候 4 秒"));

    // Another name may be tried at once; the guessed one still waits after a restart.
    enter(*f.dlg, QStringLiteral("店员"), QString());
    QVERIFY(button->isEnabled());
    Tloginfm again(f.shop.dm());
    again.open();
    again.userList()->setEditText(kSuper);
    QVERIFY(!again.loginButton()->isEnabled());
    again.close();

    // Every failure is kept with its time and name, for the super administrator.
    const auto failures = userq::recentFailedLogins(f.shop.dm(), 100).valueOr({});
    QCOMPARE(failures.size(), 5);
    QCOMPARE(failures.first().name, kSuper);
    QCOMPARE(failures.first().at, QStringLiteral("2026-03-15 09:00:03"));
    QCOMPARE(failures.last().at, QStringLiteral("2026-03-15 09:00:00"));

    // A successful login of the name starts its count again.
    QVERIFY(userq::logLogin(f.shop.dm(), kSuper, QDateTime(QDate(2026, 3, 15), QTime(9, 0, 4))).valueOr(0) > 0);
    const auto count = userq::failedLoginsOf(f.shop.dm(), kSuper);
    QVERIFY(count);
    QCOMPARE(count->count, 0);
    QCOMPARE(userq::waitSecondsAfter(20), userq::kMaxWaitSeconds);
}

void TestLogin::duplicateUsers_data()
{
    QTest::addColumn<QString>("secondPassword");
    QTest::addColumn<bool>("succeeds");
    // Exactly one matching row is required.
    QTest::newRow("same name and password twice") << "864" << false;
    QTest::newRow("same name, other password") << "999" << true;
}

void TestLogin::duplicateUsers()
{
    QFETCH(QString, secondPassword);
    QFETCH(bool, succeeds);
    LoginFixture f;
    f.addUser(kSuper, secondPassword);
    QVERIFY(f.show());
    enter(*f.dlg, kSuper, QStringLiteral("864"));
    QTest::mouseClick(f.dlg->loginButton(), Qt::LeftButton);
    QCOMPARE(f.dlg->loggedIn(), succeeds);
    QCOMPARE(f.port.texts(), succeeds ? QStringList() : QStringList{kWrong});
}

void TestLogin::emptyUserTableFailsEveryLogin()
{
    LoginFixture f;
    QVERIFY(f.shop.dm().ExecStatement(scratchRows(), Statement{QStringLiteral("delete from userdb"), {}}));
    QVERIFY(f.show());
    QCOMPARE(f.dlg->userList()->count(), 0);
    QVERIFY(f.dlg->userList()->currentText().isEmpty());
    enter(*f.dlg, kSuper, QStringLiteral("864"));
    QTest::mouseClick(f.dlg->loginButton(), Qt::LeftButton);
    QCOMPARE(f.port.texts(), QStringList{kWrong});
    QVERIFY(!f.dlg->loggedIn());
}

void TestLogin::requiredFields_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("focusPassword");

    const QString noUser = QStringLiteral("必须选择用户！");
    const QString noPassword = QStringLiteral("必须输入密码！");
    QTest::newRow("no name") << ""
                             << "864" << noUser << false;
    QTest::newRow("blank name") << "   "
                                << "864" << noUser << false;
    QTest::newRow("name checked first") << ""
                                        << "" << noUser << false;
    QTest::newRow("no password") << kSuper << "" << noPassword << true;
    QTest::newRow("blank password") << kSuper << "   " << noPassword << true;
}

void TestLogin::requiredFields()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(QString, message);
    QFETCH(bool, focusPassword);

    LoginFixture f;
    QVERIFY(f.show());
    enter(*f.dlg, name, password);
    QTest::mouseClick(f.dlg->loginButton(), Qt::LeftButton);

    QCOMPARE(f.port.entries.size(), 1);
    QCOMPARE(f.port.entries.at(0).kind, QStringLiteral("warning"));
    QCOMPARE(f.port.entries.at(0).title, QStringLiteral("Warning"));
    QCOMPARE(f.port.entries.at(0).text, message);
    QCOMPARE(focused(),
             focusPassword ? static_cast<QWidget*>(f.dlg->passwordBox()) : static_cast<QWidget*>(f.dlg->userList()));
    QVERIFY(f.dlg->isVisible());
    QVERIFY(!f.dlg->loggedIn());
}

void TestLogin::passwordKeyFilter_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");

    QTest::newRow("letters and digits") << "aZ09xY"
                                        << "aZ09xY";
    QTest::newRow("punctuation and blanks dropped") << "a!b c-d_e.f@"
                                                    << "abcdef";
    QTest::newRow("Chinese dropped") << "密a码1"
                                     << "a1";
    QTest::newRow("full-width and accented dropped") << "１Ａ3é"
                                                     << "3";
    QTest::newRow("at most ten") << "123456789012"
                                 << "1234567890";
}

void TestLogin::passwordKeyFilter()
{
    QFETCH(QString, typed);
    QFETCH(QString, expected);

    LoginFixture f;
    QVERIFY(f.show());
    QLineEdit* box = f.dlg->passwordBox();
    box->setFocus();
    typeText(box, typed);
    QCOMPARE(box->text(), expected);

    // Composed text from an input method is refused as well.
    QInputMethodEvent composed;
    composed.setCommitString(QStringLiteral("密码"));
    QApplication::sendEvent(box, &composed);
    QCOMPARE(box->text(), expected);

    QTest::keyClick(box, Qt::Key_Backspace);
    QCOMPARE(box->text(), expected.chopped(1));
    QVERIFY(f.port.entries.isEmpty());
}

void TestLogin::enterMovesFocusWithoutLoggingIn_data()
{
    QTest::addColumn<int>("pressKey");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("Return on the button") << int(Qt::Key_Return) << int(Qt::NoModifier);
    // The keypad's Enter key arrives with the keypad modifier.
    QTest::newRow("keypad Enter on the button") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
    QTest::newRow("Space on the button") << int(Qt::Key_Space) << int(Qt::NoModifier);
}

void TestLogin::enterMovesFocusWithoutLoggingIn()
{
    QFETCH(int, pressKey);
    QFETCH(int, modifiers);

    LoginFixture f;
    QVERIFY(f.show());
    QCOMPARE(focused(), f.dlg->userList());
    typeText(focused(), QStringLiteral("店员"));
    QTest::keyClick(focused(), Qt::Key_Return);
    QCOMPARE(focused(), f.dlg->passwordBox());
    QCOMPARE(f.dlg->userList()->count(), 2); // Enter does not add the typed name to the list

    typeText(focused(), QStringLiteral("ab1"));
    QTest::keyClick(focused(), Qt::Key_Return);
    QCOMPARE(focused(), f.dlg->loginButton());
    // Neither Enter pressed the button.
    QVERIFY(f.port.entries.isEmpty());
    QVERIFY(f.finished->isEmpty());
    QVERIFY(!f.dlg->loggedIn());

    QTest::keyClick(focused(), Qt::Key(pressKey), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(f.finished->size(), 1);
    QVERIFY(f.dlg->loggedIn());
    QCOMPARE(f.dlg->userName(), QStringLiteral("店员"));
    QVERIFY(!f.dlg->isSuperAdministrator());
}

void TestLogin::choosingNameMovesToPassword()
{
    LoginFixture f;
    QVERIFY(f.show());
    QComboBox* list = f.dlg->userList();
    const QString second = list->itemText(1);
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentText(), second);
    QCOMPARE(focused(), f.dlg->passwordBox());
    QVERIFY(f.port.entries.isEmpty());
}

void TestLogin::escapeKeepsTheWindowOpen_data()
{
    QTest::addColumn<bool>("inPassword");
    QTest::newRow("Esc in the name field") << false;
    QTest::newRow("Esc in the password field after a failed try") << true;
}

void TestLogin::escapeKeepsTheWindowOpen()
{
    QFETCH(bool, inPassword);

    LoginFixture f;
    QVERIFY(f.show());
    if (inPassword) {
        enter(*f.dlg, kSuper, QStringLiteral("1"));
        QTest::mouseClick(f.dlg->loginButton(), Qt::LeftButton);
        typeText(focused(), QStringLiteral("86"));
    }
    QWidget* field = focused();
    QCOMPARE(field,
             inPassword ? static_cast<QWidget*>(f.dlg->passwordBox()) : static_cast<QWidget*>(f.dlg->userList()));
    QTest::keyClick(field, Qt::Key_Escape);
    // Only the close box or a login ends the window; the typing goes on.
    QVERIFY(f.finished->isEmpty());
    QVERIFY(f.dlg->isVisible());
    QCOMPARE(focused(), field);
    typeText(focused(), inPassword ? QStringLiteral("4") : QString());
    if (inPassword) {
        QTest::keyClick(focused(), Qt::Key_Return);
        QTest::keyClick(focused(), Qt::Key_Return);
        QVERIFY(f.dlg->loggedIn());
    }
}

void TestLogin::pastedPassword_data()
{
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("expected");
    QTest::newRow("letters and digits") << "Ab12"
                                        << "xAb12";
    QTest::newRow("blank refused") << "Ab 12"
                                   << "x";
    QTest::newRow("punctuation refused") << "86-4"
                                         << "x";
    QTest::newRow("Chinese refused") << "密码1"
                                     << "x";
    QTest::newRow("full-width refused") << "８６４"
                                        << "x";
    QTest::newRow("line break refused") << "864\n"
                                        << "x";
    QTest::newRow("cut to ten") << "123456789012"
                                << "x123456789";
}

void TestLogin::pastedPassword()
{
    QFETCH(QString, clipboard);
    QFETCH(QString, expected);

    LoginFixture f;
    QVERIFY(f.show());
    QLineEdit* box = f.dlg->passwordBox();
    box->setFocus();
    typeText(box, QStringLiteral("x"));
    QGuiApplication::clipboard()->setText(clipboard);
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(box->text(), expected);
    QVERIFY(f.port.entries.isEmpty());
}

void TestLogin::closingWithoutLoginRejects()
{
    LoginFixture f;
    QVERIFY(f.show());
    QVERIFY(f.dlg->close());
    QCOMPARE(f.finished->size(), 1);
    QCOMPARE(f.finished->at(0).at(0).toInt(), int(QDialog::Rejected));
    QVERIFY(!f.dlg->isVisible());
    QVERIFY(!f.dlg->loggedIn());
    QVERIFY(f.dlg->userName().isEmpty());
    QVERIFY(!f.dlg->isSuperAdministrator());
}

void TestLogin::shortcutWrittenEachShow()
{
    LoginFixture f;
    const QString path = QDir(f.desktop()).filePath(kShortcutFile);
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("stale shortcut\n");
    }
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);

    QVERIFY(f.show());
    const QStringList lines = readLines(path);
    const QString program = QCoreApplication::applicationFilePath();
    QVERIFY2(!program.contains(u'"') && !program.contains(u'\\') && !program.contains(u'%'), qPrintable(program));
    QCOMPARE(lines.value(0), QStringLiteral("[Desktop Entry]"));
    QVERIFY(lines.contains(QStringLiteral("Type=Application")));
    QVERIFY(lines.contains(QStringLiteral("Name=Tarvik运动品销售管理软件")));
    QVERIFY(lines.contains(QStringLiteral("Comment=Tarvik运动品销售管理软件")));
    QVERIFY(lines.contains(QLatin1String("Exec=\"") + program + u'"'));
    // It starts the program in the shop folder, where the database is.
    QVERIFY(lines.contains(QLatin1String("Path=") + QFileInfo(f.shop.dbPath()).absolutePath()));
    QVERIFY(lines.contains(QStringLiteral("Terminal=false")));
    QVERIFY(!lines.contains(QStringLiteral("stale shortcut")));
    const QFile::Permissions mode = QFile::permissions(path);
    QVERIFY(mode & QFile::ExeOwner);
    QVERIFY(mode & QFile::ExeOther);

    f.dlg->reject();
    QVERIFY(QFile::remove(path));
    QVERIFY(f.show());
    QVERIFY(QFile::exists(path));

    // Without a desktop folder nothing is written, nothing is shown, and the login works.
    f.dlg->reject();
    QVERIFY(QDir(f.desktop()).removeRecursively());
    QVERIFY(f.show());
    QVERIFY(!QFileInfo::exists(f.desktop()));
    enter(*f.dlg, kSuper, QStringLiteral("864"));
    QTest::mouseClick(f.dlg->loginButton(), Qt::LeftButton);
    QVERIFY(f.port.entries.isEmpty());
    QVERIFY(f.dlg->loggedIn());
}

void TestLogin::shortcutEscapesAndFailures()
{
    const DesktopShortcut odd{QStringLiteral("店"),
                              QStringLiteral("/opt/my shop/a\"b$c`d%e\\f\ng"),
                              QStringLiteral(" /srv/店 铺\\x "),
                              QStringLiteral("tarvik"),
                              {QStringLiteral("--database"), QStringLiteral("host=a b")}};
    // Quoting for Exec first (\" \$ \` \\ and %%), then the string escapes
    // (backslash doubled, line break as \n), so a literal backslash becomes four.
    QCOMPARE(desktopEntryText(odd),
             QStringLiteral("[Desktop Entry]\n"
                            "Type=Application\n"
                            "Name=店\n"
                            "Comment=店\n"
                            "Exec=\"/opt/my shop/a\\\\\"b\\\\$c\\\\`d%%e\\\\\\\\f\\ng\" \"--database\" \"host=a b\"\n"
                            "Path=\\s/srv/店 铺\\\\x\\s\n"
                            "Icon=tarvik\n"
                            "Terminal=false\n"));

    QTemporaryDir dir;
    QVERIFY(!writeDesktopShortcut(QDir(dir.path()).filePath(QStringLiteral("missing")), odd));
    QVERIFY(!QFileInfo::exists(QDir(dir.path()).filePath(QStringLiteral("missing"))));
    QVERIFY(writeDesktopShortcut(dir.path(), odd));
    QCOMPARE(readLines(QDir(dir.path()).filePath(QStringLiteral("店.desktop"))).join(u'\n'), desktopEntryText(odd));
}

void TestLogin::shortcutOfAnInstalledProgramHasItsIcon()
{
    QTemporaryDir prefix;
    const QString program = QDir(prefix.path()).filePath(QStringLiteral("bin/tarvik"));
    const QString shop = QStringLiteral("/srv/店");
    // A program in a build folder: the desktop's generic icon.
    QCOMPARE(programShortcut(shop, program).icon, QString());
    // Installed under a prefix, the icon of its package is named from the theme.
    const QString apps = QDir(prefix.path()).filePath(QStringLiteral("share/icons/hicolor/scalable/apps"));
    QVERIFY(QDir().mkpath(apps));
    QFile icon(QDir(apps).filePath(QStringLiteral("tarvik.svg")));
    QVERIFY(icon.open(QIODevice::WriteOnly));
    icon.close();
    const DesktopShortcut installed = programShortcut(shop, program);
    QCOMPARE(installed.program, program);
    QCOMPARE(installed.workingFolder, shop);
    QCOMPARE(installed.icon, QStringLiteral("tarvik"));
}

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
