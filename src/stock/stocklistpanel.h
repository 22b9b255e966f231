#pragma once

#include "store/stockqueries.h"

#include <QWidget>

class DataGrid;
class QCheckBox;
class QFrame;
class QHBoxLayout;
class QLineEdit;
class QMenu;
class StockColumnSettings;
class StockInPanel;
class StockListHost;
class StockSearchBox;
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

    // The stock-in panel that reloads refill and row clicks fill.
    void setStockInPanel(StockInPanel* panel) { m_stockIn = panel; }
    // The menu that opens over the grid's rows, titles and totals row.
    void setGridMenu(QMenu* menu) { m_gridMenu = menu; }
    // Where the window puts its toolbar buttons, right-aligned above the alarm box.
    QWidget* toolbarArea() const { return m_toolbarArea; }
    QHBoxLayout* toolbarRow() const { return m_toolbarRow; }

    // The grid gets the top `gridHeight` pixels, the search area the rest.
    void arrange(int gridHeight);
    // At each showing: today's dates in the search box, the stored column
    // flags and alarm number.
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
    // "保存当前列宽" and "读取列宽".
    void saveLayout();
    void restoreLayout();

private slots:
    void titleClicked();
    void rowClicked(int row);
    void alarmChanged(const QString& text);
    void zeroStockChanged(bool hide);

private:
    QColor rowColor(int row) const;

    Tdmfm& m_dm;
    StockListHost& m_host;
    StockInPanel* m_stockIn = nullptr;
    QMenu* m_gridMenu = nullptr;
    DataGrid* m_grid;
    StockColumnSettings* m_columns;
    QFrame* m_commandArea;
    StockSearchBox* m_search;
    QWidget* m_toolbarArea;
    QHBoxLayout* m_toolbarRow;
    QLineEdit* m_alarm;
    QCheckBox* m_hideZero;
    stockq::ZeroStock m_zeroStock = stockq::ZeroStock::Shown;
    int m_lastClickedRow = -1;
};
