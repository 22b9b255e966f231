// TMainForm is the main window; the shop's documents fix the name (docs/names.md).
#pragma once

#include "app/mainstatusbar.h"
#include "app/maintoolbar.h"
#include "app/noticepanel.h"
#include "app/saledesk.h"
#include "app/secondarywindows.h"
#include "app/settingsmenu.h"
#include "app/supportmenu.h"
#include "pos/poshost.h"
#include "sales/saleshost.h"
#include "stock/stocklisthost.h"
#include "stock/stocklistpanel.h"

#include <QDate>
#include <QMainWindow>

#include <memory>

class DataGrid;
class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QTimer;
class QToolButton;
class Session;
class StockColumnSettings;
class StockInPanel;
class SalePanel;
class SlipPanel;
class StockSearchBox;
class TForm1;
class THelpForm;
class Tdmfm;
class LoginGate;
class Tloginfm;
class Tpos;
class Txstj;
class Texcell;

// The main window: the frame around the stock list panel — toolbar, menus,
// status bar, the floating panels and the timers. It wires the parts together;
// the panels, the sale desk, the session and the secondary windows do the work.
class TMainForm final : public QMainWindow, public StockListHost, public PosHost, public SalesHost
{
    Q_OBJECT
public:
    explicit TMainForm(Tdmfm& dm, QWidget* parent = nullptr);
    ~TMainForm() override;

    static QString title();
    static QString webAddress();

    // StockHost
    void reloadStockList() override { m_list->reload(); }
    void showNotice(const QString& text) override { m_notice->showText(text); }
    void restoreStockLayout() override { m_list->restoreLayout(); }
    QString userName() const override;
    bool isSuperAdministrator() const override;
    // StockListHost
    void stockRowChanged() override { m_desk->endSale(); }
    void stockRowDoubleClicked(int row) override { m_desk->sellRow(row); }
    void hideSale() override;
    // PosHost
    void saleOpened(const QString& remark) override;
    void saleClosed() override;
    // SalesHost
    void salesWindowClosed() override;
    void previewSlip(const QString& saleNumber) override { m_windows->previewSlip(saleNumber); }

    qint64 sessionId() const;
    QString alarmNumber() const { return m_list->alarmNumber(); }
    // The parts of the window, for the windows and tests that work with them.
    StockListPanel* stockList() const { return m_list; }
    DataGrid* grid() const { return m_list->grid(); }
    StockSearchBox* searchBox() const { return m_list->searchBox(); }
    StockColumnSettings* columnSettings() const { return m_list->columnSettings(); }
    QLineEdit* alarmBox() const { return m_list->alarmBox(); }
    QCheckBox* hideZeroBox() const { return m_list->hideZeroBox(); }
    StockInPanel* stockInPanel() const { return m_stockIn; }
    SalePanel* salePanel() const { return m_desk->sale(); }
    SlipPanel* slipPanel() const { return m_desk->slip(); }
    QToolButton* slipButton() const { return m_toolbar->slipButton(); }
    QToolButton* backupButton() const { return m_toolbar->backupButton(); }
    QToolButton* summaryButton() const { return m_toolbar->summaryButton(); }
    TForm1* summaryWindow() const { return m_windows->summaryWindow(); }
    QToolButton* salesButton() const { return m_toolbar->salesButton(); }
    Txstj* salesWindow() const { return m_windows->salesWindow(); }
    QLabel* noticePanel() const { return m_notice; }
    QLabel* statusPanel(int index) const { return m_status->panel(index); }
    QMenu* gridMenu() const { return m_list->gridMenu(); }
    QMenu* settingsMenu() const { return m_settingsMenu; }
    QMenu* supportMenu() const { return m_toolbar->supportMenu(); }
    QToolButton* newStockButton() const { return m_toolbar->newStockButton(); }
    Tloginfm* loginWindow() const;
    // Whether the stock or the sale table is still being read in the
    // background (from the login window and from the login on).
    bool isLoadingInBackground() const;
    THelpForm* helpWindow() const { return m_toolbar->supportMenu()->helpWindow(); }
    Tpos* receiptSettings() const { return m_settingsMenu->receiptSettings(); }
    // The Excel import window, made at its first opening and kept, so its paths
    // stay between uses; nullptr before.
    Texcell* importWindow() const { return m_windows->importWindow(); }
    // A menu action by its caption, searched through every menu of the window.
    QAction* action(const QString& caption) const;

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void loginFinished(bool loggedIn);
    void applyRestrictions();
    void layoutChildren();

    Tdmfm& m_dm;
    std::unique_ptr<Session> m_session;
    StockListPanel* m_list = nullptr;
    MainToolbar* m_toolbar = nullptr;
    SettingsMenu* m_settingsMenu = nullptr;
    NoticePanel* m_notice = nullptr;
    StockInPanel* m_stockIn = nullptr;
    SaleDesk* m_desk = nullptr;
    SecondaryWindows* m_windows = nullptr;
    MainStatusBar* m_status = nullptr;
    LoginGate* m_login = nullptr;
    // The day the date fields were last kept at, to notice midnight.
    QDate m_day;
    // The actions only the super administrator may use, registered as they are made.
    QList<QAction*> m_superOnly;
};
