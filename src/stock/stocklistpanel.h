#pragma once

#include "store/memory/stockqueries.h"

#include <QPointer>
#include <QSet>
#include <QWidget>

class DataGrid;
class QCheckBox;
class QFrame;
class QHBoxLayout;
class QAction;
class QLineEdit;
class QMenu;
class StockColumnSettings;
class StockInPanel;
class StockListHost;
class StockSearchBox;
class TableLoadProgress;
class Tdmfm;

// The stock list: the grid over the in-memory stock rows, the search box under
// it, the alarm number that colours low stock red, the zero-stock choice and
// the grid's column layout. Beside the search box it leaves a row for the
// window's toolbar.
class StockListPanel final : public QWidget
{
    Q_OBJECT
public:
    StockListPanel(Tdmfm& dm, StockListHost& host, QWidget* parent = nullptr);

    // The stock-in panel that reloads refill, row clicks fill and the grid
    // menu opens.
    void setStockInPanel(StockInPanel* panel) { m_stockIn = panel; }
    // The menu that opens over the grid's rows, titles and totals row.
    QMenu* gridMenu() const { return m_gridMenu; }
    // Adds an action of the window to the grid menu: with the windows it opens
    // (after "打 印"), or in the last part of the menu, after the column items.
    enum class MenuPart { Windows, Last };
    QAction* addGridMenuAction(const QString& caption, MenuPart part = MenuPart::Windows);
    // The grid menu's actions only the super administrator may use.
    const QList<QAction*>& superAdministratorActions() const { return m_superOnly; }
    // Where the window puts its toolbar buttons: two rows, right-aligned, above
    // the alarm box. One row of seven buttons would leave the search box too
    // narrow to show its boxes at the window's starting width.
    QWidget* toolbarArea() const { return m_toolbarArea; }
    QHBoxLayout* toolbarRow(int row) const { return m_toolbarRows[row]; }
    static constexpr int toolbarRowCount = 2;

    // The grid gets the top `gridHeight` pixels, the search area the rest.
    void arrange(int gridHeight);
    // At each showing: today's dates in the search box, the stored column
    // flags and alarm number.
    // The stock-in panel hides and takes today's date too.
    void prepareShow(const QDate& today);
    // Ticks or unticks "不显示零库存" as stored, without reloading.
    void applyStoredZeroStock();
    // Ordinary users never see purchase prices and amounts.
    void hideCostColumns();

    QString alarmNumber() const;

    DataGrid* grid() const { return m_grid; }
    StockSearchBox* searchBox() const { return m_search; }
    StockColumnSettings* columnSettings() const { return m_columns; }
    QLineEdit* alarmBox() const { return m_alarm; }
    QCheckBox* hideZeroBox() const { return m_hideZero; }

public slots:
    // "全部记录": refills the drop-down lists, reloads the stock list and makes
    // the last row current.
    void reload();
    // "查询" with the conditions of the search box.
    void search();
    // "导出Excel" and "打 印" of the grid; an ordinary user's export and
    // printout never hold purchase prices and amounts.
    void exportGrid();
    void printGrid();
    // "保存当前列宽" and "读取列宽".
    void saveLayout();
    void restoreLayout();
    // "新建入库", "修 改", "删 除": for the super administrator only.
    void openStockInForNew();
    void openStockInForChange();
    void deleteStockRow();

private slots:
    void titleClicked();
    void rowClicked(int row);
    void alarmChanged(const QString& text);
    void zeroStockChanged(bool hide);

private:
    void buildGridMenu();
    // The fields this user may not see (lower case); empty for the super administrator.
    QSet<QString> restrictedFields() const;
    QColor rowColor(int row) const;

    Tdmfm& m_dm;
    StockListHost& m_host;
    StockInPanel* m_stockIn = nullptr;
    QMenu* m_gridMenu = nullptr;
    QAction* m_windowActionsEnd = nullptr;
    bool m_lastPartStarted = false;
    bool m_reloadWhenLoaded = false;            // a reload waits for the stock table's read in the background
    QPointer<TableLoadProgress> m_loadProgress; // shown while it waits
    QList<QAction*> m_superOnly;
    DataGrid* m_grid;
    StockColumnSettings* m_columns;
    QFrame* m_commandArea;
    StockSearchBox* m_search;
    QWidget* m_toolbarArea;
    QHBoxLayout* m_toolbarRows[toolbarRowCount] = {};
    QLineEdit* m_alarm;
    qint64 m_alarmNumber = 0;       // the alarm box's number
    mutable int m_stockColumn = -1; // the list's stock quantity column
    QCheckBox* m_hideZero;
    stockq::ZeroStock m_zeroStock = stockq::ZeroStock::Shown;
    int m_lastClickedRow = -1;
};
