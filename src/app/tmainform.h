#pragma once

#include "pos/poshost.h"
#include "stock/stockhost.h"
#include "stock/stocklisthost.h"

#include <QMainWindow>

#include <memory>

class DataGrid;
class QAction;
class QCheckBox;
class NoticePanel;
class QLabel;
class QLineEdit;
class QMenu;
class QTimer;
class QToolButton;
class Session;
class StockColumnSettings;
class StockInPanel;
class StockListPanel;
class SalePanel;
class SlipPanel;
class StockSearchBox;
class SettingsMenu;
class SupportMenu;
class THelpForm;
class Tdmfm;
class Tloginfm;
class Tpos;

// The main window: the frame around the stock list panel — toolbar, menus,
// status bar, the floating panels and the timers. It wires the parts together;
// the panels, the session and the windows it hosts do the work.
class TMainForm final : public QMainWindow, public StockHost, public StockListHost, public PosHost
{
    Q_OBJECT
public:
    explicit TMainForm(Tdmfm& dm, QWidget* parent = nullptr);
    ~TMainForm() override;

    static QString title();
    static QString webAddress();

    // StockHost
    void reloadStockList() override;
    void runStockSearch() override;
    void showNotice(const QString& text) override;
    void restoreStockLayout() override;
    QString userName() const override;
    bool isSuperAdministrator() const override;
    // StockListHost
    void stockRowChanged() override;
    void stockRowDoubleClicked(int row) override;
    // PosHost
    void saleOpened(const QString& remark) override;
    void saleClosed() override;

    qint64 sessionId() const;
    QString alarmNumber() const;
    // Day sequence and remembered date of the sale numbers, as read at the last show.
    qint64 daySequence() const { return m_daySequence; }
    QString rememberedDate() const { return m_rememberedDate; }

    // The parts of the window, for the windows and tests that work with them.
    StockListPanel* stockList() const { return m_list; }
    DataGrid* grid() const;
    StockSearchBox* searchBox() const;
    StockColumnSettings* columnSettings() const;
    QLineEdit* alarmBox() const;
    QCheckBox* hideZeroBox() const;
    StockInPanel* stockInPanel() const { return m_stockIn; }
    SalePanel* salePanel() const { return m_sale; }
    SlipPanel* slipPanel() const { return m_slip; }
    QToolButton* slipButton() const { return m_slipButton; }
    QLabel* noticePanel() const;
    QLabel* statusPanel(int index) const { return m_status[index]; }
    QMenu* gridMenu() const { return m_gridMenu; }
    QMenu* settingsMenu() const;
    QMenu* supportMenu() const;
    QToolButton* newStockButton() const { return m_newStockButton; }
    Tloginfm* loginWindow() const { return m_login; }
    THelpForm* helpWindow() const;
    Tpos* receiptSettings() const;
    // A menu action by its caption, searched through every menu of the window.
    QAction* action(const QString& caption) const;

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private slots:
    void openStockInForNew();
    void openStockInForChange();
    void deleteStockRow();
    void tickDateKeeper();
    void showLogin();
    void loginFinished(int result);

private:
    void buildToolbar();
    void buildGridMenu();
    // Registers an action only the super administrator may use.
    QAction* superOnly(QAction* action);
    void runShowSteps();
    void applyRestrictions();
    void layoutChildren();
    void centreLogin();

    Tdmfm& m_dm;
    std::unique_ptr<Session> m_session;
    StockListPanel* m_list = nullptr;
    StockInPanel* m_stockIn = nullptr;
    SalePanel* m_sale = nullptr;
    SlipPanel* m_slip = nullptr;
    QToolButton* m_slipButton = nullptr;
    NoticePanel* m_notice = nullptr;
    QLabel* m_status[4] = {};
    QMenu* m_gridMenu = nullptr;
    SettingsMenu* m_settingsMenu = nullptr;
    SupportMenu* m_supportMenu = nullptr;
    QToolButton* m_newStockButton = nullptr;
    QList<QAction*> m_superOnly;
    QTimer* m_dateKeeper = nullptr;
    Tloginfm* m_login = nullptr;

    bool m_loginPending = false;
    qint64 m_daySequence = 1;
    QString m_rememberedDate;
};
