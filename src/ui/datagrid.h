#pragma once

#include "core/gridlayout.h"
#include "ui/datagridmodel.h"

#include <QWidget>

#include <functional>

class DataGridView;
class GridFooter;
class GroupHeaderView;
class QMenu;
class QTableView;
class RowSet;

// The grid every list of the program is shown in: a read-only table over a
// RowSet with two-level column titles, a totals row below the rows, sort markers
// on the titles, hidden columns, row text colours, and a column layout offered
// as values (the grid's owner keeps it in the layout file).
//
// Columns are addressed by their field name (case-insensitive). A column's
// position is its place on screen from the left (0 = leftmost), hidden columns
// included; the user can move and resize columns by dragging their titles.
class DataGrid final : public QWidget
{
    Q_OBJECT
public:
    explicit DataGrid(QWidget* parent = nullptr);
    ~DataGrid() override;

    // The designed columns, left to right. Replaces every earlier column,
    // marker and move.
    void setColumns(QList<GridColumn> columns);
    QList<GridColumn> columns() const; // in design order, with their current width and visibility

    // The rows shown. The grid follows the set's resets, changes and removals and
    // keeps the selected row and RowSet::current() the same, both ways. The set
    // is not owned.
    void setRowSet(RowSet* rows);
    // Opens `menu` (not owned) on a right click over the rows, the titles and
    // the totals row alike. Called once per grid.
    void setContextMenu(QMenu* menu);
    RowSet* rowSet() const;

    void setColumnVisible(const QString& field, bool visible);
    bool isColumnVisible(const QString& field) const;
    // The field of the column at a screen position; empty when out of range.
    QString fieldAt(int position) const;
    int columnPosition(const QString& field) const; // -1 when there is no such column
    int columnWidth(const QString& field) const;    // current width, also of a hidden column

    // Text colour of a whole row (the stock alarm draws rows red); an invalid
    // colour means the normal colour. Called while drawing, so it must be cheap.
    void setRowTextColor(std::function<QColor(const RowSet&, int row)> color);
    // Redraws the rows, e.g. after the value the row colour depends on changed.
    void refreshRows();

    int sortMarker(const QString& field) const; // 0 none, 1 down, 2 up
    void setSortMarker(const QString& field, int marker);
    // Every title back to no marker, e.g. when the rows are reloaded in their own order.
    void clearSortMarkers();

    QString footerText(const QString& field) const;           // what the totals row shows under the column
    QString displayText(int row, const QString& field) const; // what a cell shows

    // Fitted columns share the spare width of the grid, in proportion to their
    // current widths; the other columns keep theirs. On by default.
    // Whatever the fitting, a column is widened whenever its total would not
    // fit, and a border the user drags stops where the total still fits: the
    // totals row always shows whole numbers.
    void setFitColumns(bool on);
    bool fitColumns() const { return m_fit; }

    int rowHeight() const;
    void setRowHeight(int pixels);

    // The layout as values: one state per column in screen order (position =
    // index), plus row height and text lines. The grid's owner stores it.
    GridLayout currentLayout() const;
    // Applies widths, markers, visibility, sort indexes, drop-down values, the
    // positions and the row height, with fitting switched off meanwhile (and
    // applied again afterwards). Markers sort nothing. Columns the layout does
    // not name keep their state and fill the positions left free.
    void applyLayout(const GridLayout& layout);

    QTableView* view() const;
    DataGridModel* model() const { return m_model; }

signals:
    // A click on a column title, emitted before the grid sorts by it.
    void titleClicked(const QString& field);
    // A click on a cell of row `row`.
    void cellClicked(int row);
    void rowDoubleClicked(int row);
    // The current row changed (-1: none), whoever changed it.
    void currentRowChanged(int row);

private:
    void onTitleClicked(int column);
    void onSectionResized(int column, int oldWidth, int newWidth);
    void syncFromRowSet();
    void syncToRowSet(const QModelIndex& current);
    void fit(int pinned = -1);
    // Width a column needs to show its total whole; 0 without a total.
    int totalWidth(int column) const;
    // Widens every shown column that is narrower than its total needs.
    void fitTotals();
    void updateFooter();

    DataGridModel* m_model = nullptr;
    DataGridView* m_view = nullptr;
    GroupHeaderView* m_header = nullptr;
    GridFooter* m_footer = nullptr;
    QVector<int> m_widths;     // last shown width of each column, kept while it is hidden
    QVector<double> m_fitBase; // share of each fitted column in the spare width
    QVector<int> m_sortIndex;  // kept for the layout file
    QVector<int> m_dropDownRows;
    QVector<int> m_dropDownWidth;
    int m_textLines = 1;
    bool m_fit = true;
    bool m_resizing = false; // the grid itself is resizing columns
    bool m_rowSetChanging = false;
    bool m_syncing = false;

    friend class DataGridView;
};
