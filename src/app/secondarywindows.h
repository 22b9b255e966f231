#pragma once

#include <QList>
#include <QObject>

class MainToolbar;
class QAction;
class SalesHost;
class StockListPanel;
class TForm1;
class Tdmfm;
class Texcell;
class Txstj;

// The windows the main window opens over itself: the sales detail and the
// summary (made once, kept for the whole run), the Excel import (made at its
// first opening and kept), the backup window (the main window hides while it
// is open), the password change and user management, and the A4 slip preview.
// It connects the toolbar buttons and grid menu items that open them, and
// takes from an ordinary user what these windows show only the super
// administrator.
class SecondaryWindows final : public QObject
{
    Q_OBJECT
public:
    // `window` is the main window: the windows belong to it. `host` gives the
    // logged-in user and rank.
    SecondaryWindows(Tdmfm& dm, QWidget& window, SalesHost& host, StockListPanel& list, MainToolbar& toolbar);

    Txstj* salesWindow() const { return m_sales; }
    TForm1* summaryWindow() const { return m_summary; }
    // nullptr before the first opening.
    Texcell* importWindow() const { return m_import; }

    // "销售明细": the sales detail window, modal.
    void openSalesWindow();
    // "Excel导入": the import window, modal.
    void openImport();
    // "销售单预览": the A4 sales slip of the sale number, in a print preview.
    void previewSlip(const QString& saleNumber);
    // The same from the slip panel: the sales detail list shows the slip's rows too.
    void previewSlipOfSale(const QString& saleNumber);

    // A sale was saved under `saleNumber`: the sales window takes the number
    // and an open summary is computed again.
    void saleRecorded(const QString& saleNumber);
    // At every showing of the main window.
    void prepareShow();
    // The actions opening windows only the super administrator may use.
    const QList<QAction*>& superAdministratorActions() const { return m_superOnly; }
    // Ordinary users see no amounts in the summary and change or delete no sales.
    void restrictForOrdinaryUser();

private:
    // "数据备份": the backup window opens and the main window hides until it closes.
    void openBackup();
    void backupClosed();

    Tdmfm& m_dm;
    QWidget& m_window;
    SalesHost& m_host;
    StockListPanel& m_list;
    MainToolbar& m_toolbar;
    Txstj* m_sales = nullptr;
    TForm1* m_summary = nullptr;
    Texcell* m_import = nullptr;
    QList<QAction*> m_superOnly;
};
