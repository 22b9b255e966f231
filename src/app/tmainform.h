#pragma once

#include "pos/poshost.h"
#include "stock/stockhost.h"
#include "store/stockqueries.h"

#include <QMainWindow>
#include <QPointer>

class DataGrid;
class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QTimer;
class QToolButton;
class StockColumnSettings;
class StockInPanel;
class SalePanel;
class SlipPanel;
class StockSearchBox;
class THelpForm;
class Tdmfm;
class Tloginfm;
class Tpos;

// The main window: the stock grid with its search box, the toolbar and menus,
// the status bar and the floating panels. It coordinates; the panels and
// windows it hosts do the work.
class TMainForm final : public QMainWindow, public StockHost, public PosHost
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
    QString userName() const override { return m_userName; }
    bool isSuperAdministrator() const override;
    // PosHost
    void saleOpened(const QString& remark) override;
    void saleClosed() override;

    qint64 sessionId() const { return m_sessionId; }
    QString alarmNumber() const;
    // Day sequence and remembered date of the sale numbers, as read at the last show.
    qint64 daySequence() const { return m_daySequence; }
    QString rememberedDate() const { return m_rememberedDate; }

    // The parts of the window, for the windows and tests that work with them.
    DataGrid* grid() const { return m_grid; }
    StockSearchBox* searchBox() const { return m_search; }
    StockInPanel* stockInPanel() const { return m_stockIn; }
    SalePanel* salePanel() const { return m_sale; }
    SlipPanel* slipPanel() const { return m_slip; }
    QToolButton* slipButton() const { return m_slipButton; }
    StockColumnSettings* columnSettings() const { return m_columns; }
    QLineEdit* alarmBox() const { return m_alarm; }
    QCheckBox* hideZeroBox() const { return m_hideZero; }
    QLabel* noticePanel() const { return m_notice; }
    QLabel* statusPanel(int index) const { return m_status[index]; }
    QMenu* gridMenu() const { return m_gridMenu; }
    QMenu* settingsMenu() const { return m_settingsMenu; }
    QMenu* supportMenu() const { return m_supportMenu; }
    QToolButton* newStockButton() const { return m_newStockButton; }
    Tloginfm* loginWindow() const { return m_login; }
    THelpForm* helpWindow() const { return m_help; }
    Tpos* receiptSettings() const { return m_tpos; }
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
    void saveColumnWidths();
    void titleClicked();
    void rowClicked(int row);
    void rowDoubleClicked(int row);
    void alarmChanged(const QString& text);
    void zeroStockChanged(bool hide);
    void tickDateKeeper();
    void tickNotice();
    void showLogin();
    void loginFinished(int result);
    void showHelp();
    void showReceiptSettings();
    void checkForUpgrade();
    void openWebSite();
    void showAbout();
    void startCalculator();
    void startEditor();

private:
    void buildToolbar(QWidget* area);
    void buildGridMenu();
    void runShowSteps();
    void applyRestrictions();
    void layoutChildren();
    void centreLogin();
    QColor rowColor(int row) const;

    Tdmfm& m_dm;
    DataGrid* m_grid = nullptr;
    StockColumnSettings* m_columns = nullptr;
    StockSearchBox* m_search = nullptr;
    StockInPanel* m_stockIn = nullptr;
    SalePanel* m_sale = nullptr;
    SlipPanel* m_slip = nullptr;
    QToolButton* m_slipButton = nullptr;
    QWidget* m_commandArea = nullptr;
    QLabel* m_notice = nullptr;
    QLineEdit* m_alarm = nullptr;
    QCheckBox* m_hideZero = nullptr;
    QLabel* m_status[4] = {};
    QMenu* m_gridMenu = nullptr;
    QMenu* m_newStockMenu = nullptr;
    QMenu* m_settingsMenu = nullptr;
    QMenu* m_supportMenu = nullptr;
    QToolButton* m_newStockButton = nullptr;
    QAction* m_readLayoutAction = nullptr;
    QTimer* m_dateKeeper = nullptr;
    QTimer* m_noticeTimer = nullptr;
    THelpForm* m_help = nullptr;
    Tloginfm* m_login = nullptr;
    Tpos* m_tpos = nullptr;

    stockq::ZeroStock m_zeroStock = stockq::ZeroStock::Shown;
    qint64 m_sessionId = 0;
    QString m_userName;
    bool m_loginPending = false;
    int m_lastClickedRow = -1;
    qint64 m_daySequence = 1;
    QString m_rememberedDate;
};
