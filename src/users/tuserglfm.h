// Tuserglfm is the user management window "用户管理"; the shop's documents fix the name (docs/names.md).
#pragma once

#include <QWidget>

class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class Tdmfm;

// The user management window "用户管理—(管理员专用)": it unlocks with the
// super administrator's password, then adds users with the default password,
// resets a forgotten password to it and deletes users (every row of the name),
// and lists the failed logins.
// Not modal; it deletes itself when closed.
class Tuserglfm final : public QWidget
{
    Q_OBJECT
public:
    explicit Tuserglfm(Tdmfm& dm, QWidget* parent = nullptr);

    QLineEdit* passwordBox() const { return m_password; }
    QPushButton* loginButton() const { return m_login; }
    QPushButton* quitButton() const { return m_quit; }
    QListWidget* userList() const { return m_users; }
    QTabWidget* tabs() const { return m_tabs; }
    QLineEdit* resetNameBox() const { return m_resetName; }
    QPushButton* resetButton() const { return m_reset; }
    QPushButton* hintButton() const { return m_hint; }
    QLineEdit* newNameBox() const { return m_newName; }
    QPushButton* addButton() const { return m_add; }
    QLineEdit* deleteNameBox() const { return m_deleteName; }
    QPushButton* deleteButton() const { return m_delete; }
    // The failed logins, shown once the window is unlocked.
    QTreeWidget* failureList() const { return m_failures; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    // "登录"
    void onLoginClicked();
    // A name clicked in the user list.
    void onUserClicked();
    // "提示"
    void onHintClicked();
    // "初始化密码"
    void onResetClicked();
    // "增加用户"
    void onAddClicked();
    // "删除用户"
    void onDeleteClicked();

private:
    void fillUserList();
    void fillFailures();
    void setUnlocked(bool unlocked);

    Tdmfm& m_dm;
    QLineEdit* m_password;
    QPushButton* m_login;
    QPushButton* m_quit;
    QListWidget* m_users;
    QTabWidget* m_tabs;
    QLineEdit* m_resetName;
    QPushButton* m_reset;
    QPushButton* m_hint;
    QLineEdit* m_newName;
    QPushButton* m_add;
    QLineEdit* m_deleteName;
    QPushButton* m_delete;
    QTreeWidget* m_failures;
    bool m_listed = false;
};
