#include "app/supportmenu.h"

#include "app/launchers.h"
#include "app/thelpform.h"
#include "app/tmainform.h"
#include "core/messageport.h"
#include "ui/centring.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>

SupportMenu::SupportMenu(QWidget* window, QWidget* parent)
    : QMenu(parent)
    , m_window(window)
    , m_help(new THelpForm(window))
{
    addAction(QStringLiteral("使用帮助"), this, &SupportMenu::showHelp);
    addAction(QStringLiteral("软件升级"), this, &SupportMenu::checkForUpgrade);
    addAction(QStringLiteral("官方网站"), this, &SupportMenu::openWebSite);
    addAction(QStringLiteral("关于..."), this, &SupportMenu::showAbout);
}

void SupportMenu::showHelp()
{
    // The help window stands in the middle of the desktop, not of the main window.
    // Its frame is known only once it is shown, so it is centred again then.
    QScreen* screen = m_window->screen() ? m_window->screen() : QApplication::primaryScreen();
    if (!m_help->isVisible() && screen) {
        centreFrameOn(m_help, screen->availableGeometry());
        m_help->show();
        centreFrameOn(m_help, screen->availableGeometry());
    }
    m_help->show();
    m_help->raise();
}

void SupportMenu::checkForUpgrade()
{
    messagePort().inform(
        QStringLiteral("本软件没有在线升级服务器，无法检查新版本。\n需要新版本时，请与软件提供方联系。"));
}

void SupportMenu::openWebSite()
{
    const QString address = TMainForm::webAddress();
    launchers::openWebPage(address,
                           QStringLiteral("没有找到网页浏览器，请先安装一个浏览器（例如 firefox-esr 或 chromium）。\n"
                                          "网址：") +
                               address);
}

void SupportMenu::showAbout()
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("关于"),
                    TMainForm::title() + QStringLiteral("\n\n运动品店的入库、销售、库存与统计管理。\n") +
                        TMainForm::webAddress(),
                    QMessageBox::Ok, m_window);
    box.exec();
}
