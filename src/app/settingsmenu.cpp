#include "app/settingsmenu.h"

#include "app/launchers.h"
#include "app/skins.h"
#include "print/tpos.h"
#include "settings/settingkeys.h"
#include "ui/centring.h"
#include "ui/failurereport.h"

SettingsMenu::SettingsMenu(QWidget* window, QWidget* parent)
    : QMenu(parent)
    , m_window(window)
    , m_tpos(new Tpos(window))
{
    addAction(QStringLiteral("打印设置"), this, &SettingsMenu::showReceiptSettings);
    // The main window opens these two windows; only the super administrator sees them.
    m_changePassword = addAction(QStringLiteral("修改密码"));
    m_userManagement = addAction(QStringLiteral("用户管理"));
    addSeparator();
    QMenu* skinMenu = addMenu(QStringLiteral("界面换肤"));
    const QStringList captions = skins::captions();
    for (int i = 0; i < captions.size(); ++i) {
        skinMenu->addAction(captions.at(i), this, [i] {
            skins::apply(i);
            writeSetting(settingkeys::skin, i);
        });
    }
    addAction(QStringLiteral("计算器"), this, [] {
        launchers::start(launchers::calculatorCandidates(),
                         QStringLiteral("没有找到计算器程序，请先安装一个计算器（例如 gnome-calculator）。"));
    });
    addAction(QStringLiteral("记事本"), this, [] {
        launchers::start(launchers::editorCandidates(),
                         QStringLiteral("没有找到文本编辑器，请先安装一个文本编辑器（例如 gedit 或 mousepad）。"));
    });
}

void SettingsMenu::showReceiptSettings()
{
    if (!m_tpos->isVisible())
        centreFrameOn(m_tpos, m_window->frameGeometry());
    m_tpos->show();
    m_tpos->raise();
    m_tpos->activateWindow();
}
