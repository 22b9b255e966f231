#pragma once

#include <QMenu>

class THelpForm;

// The "技术支持" menu of the toolbar: the help window, the upgrade check, the
// web site and the about box.
class SupportMenu final : public QMenu
{
    Q_OBJECT
public:
    // `window` is the main window: the help window belongs to it and the about
    // box stands over it.
    SupportMenu(QWidget* window, QWidget* parent);

    THelpForm* helpWindow() const { return m_help; }

private slots:
    void showHelp();
    void checkForUpgrade();
    void openWebSite();
    void showAbout();

private:
    QWidget* m_window;
    THelpForm* m_help;
};
