#pragma once

#include <QObject>

class QAction;
class QHBoxLayout;
class QToolButton;
class QWidget;
class SettingsMenu;
class SupportMenu;

// The toolbar buttons beside the search box: "新建入库", "销售明细", "单据打印",
// "汇总统计", "数据备份", "设 置" and "技术支持". The main window connects what they start.
class MainToolbar final : public QObject
{
    Q_OBJECT
public:
    // Puts the buttons of daily work (新建入库 to 汇总统计) into `firstRow` and
    // the rest into `secondRow`, both of `area`. `window` is the main window,
    // which the settings and support menus' windows belong to.
    MainToolbar(QWidget* window, QWidget* area, QHBoxLayout* firstRow, QHBoxLayout* secondRow);

    QToolButton* newStockButton() const { return m_newStock; }
    // The items of the "新建入库" button's menu: "新建入库" and "Excel导入".
    QAction* newStockAction() const { return m_newStockAction; }
    QToolButton* salesButton() const { return m_sales; }
    QAction* importAction() const { return m_importAction; }
    QToolButton* slipButton() const { return m_slip; }
    QToolButton* summaryButton() const { return m_summary; }
    // "数据备份"
    QToolButton* backupButton() const { return m_backup; }
    SettingsMenu* settingsMenu() const { return m_settingsMenu; }
    SupportMenu* supportMenu() const { return m_supportMenu; }

private:
    QToolButton* m_newStock;
    QAction* m_newStockAction;
    QToolButton* m_sales;
    QAction* m_importAction;
    QToolButton* m_slip;
    QToolButton* m_summary;
    QToolButton* m_backup;
    SettingsMenu* m_settingsMenu;
    SupportMenu* m_supportMenu;
};
