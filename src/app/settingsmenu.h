#pragma once

#include <QMenu>

class Tpos;

// The "设 置" menu of the toolbar: the receipt settings, the password change
// and user management, skins, the calculator and the text editor.
class SettingsMenu final : public QMenu
{
    Q_OBJECT
public:
    // `window` is the main window: the receipt settings belong to it and open
    // over its middle.
    SettingsMenu(QWidget* window, QWidget* parent);

    Tpos* receiptSettings() const { return m_tpos; }
    // "修改密码" and "用户管理": the main window connects them.
    QAction* changePasswordAction() const { return m_changePassword; }
    QAction* userManagementAction() const { return m_userManagement; }

public slots:
    // "打印设置"
    void showReceiptSettings();

private:
    QWidget* m_window;
    Tpos* m_tpos;
    QAction* m_changePassword;
    QAction* m_userManagement;
};
