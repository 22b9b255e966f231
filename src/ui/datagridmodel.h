#pragma once

#include "store/memory/rowset.h"
#include "store/memory/rowsettotals.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QPointer>
#include <QString>
#include <QVector>

#include <functional>
#include <vector>

class MemTable;

// One column of a DataGrid: which field of the row set it shows and how.
struct GridColumn
{
    QString field; // column name in the row set (compared without regard to case)
    // "group|title", e.g. "商 品 信 息|名 称": the group title spans the
    // neighbouring visible columns that share it. Without "|" the column has
    // only its own title. Blanks are kept as written.
    QString title;
    enum class Format { Text, General, Quantity, Amount, Date } format = Format::Text;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    enum class Footer { None, Sum, Text } footer = Footer::None;
    QString footerText; // for Footer::Text, e.g. "总计"
    Qt::Alignment footerAlignment = Qt::AlignRight | Qt::AlignVCenter;
    QColor footerColor;    // background of the column's totals cell; invalid = the grid's footer colour
    int width = 64;        // starting width in pixels
    bool fitted = false;   // shares the grid's spare width
    QColor titleColor;     // title background; invalid = the grid's fixed colour
    QColor titleTextColor; // title text; invalid = the normal text colour
    bool visible = true;

    // The parts of `title` before and after the first "|" (group empty without one).
    QString groupTitle() const;
    QString columnTitle() const;
};

// Shows a RowSet as a table: one model column per GridColumn (hidden columns
// included; the view hides them), one model row per row of the set. Cell texts
// are made on demand, so a set of 100,000 rows costs nothing until it is drawn.
// The totals of the footer come from a RowSetTotals over the same set; the
// model only formats them.
class DataGridModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    // Header roles the title bar reads besides Display (column title),
    // ToolTip (full column title), Background and Foreground (title colours).
    enum Role {
        GroupTitleRole = Qt::UserRole + 1, // QString, empty when the column has no group
        SortMarkerRole,                    // int: 0 none, 1 down, 2 up
    };

    explicit DataGridModel(QObject* parent = nullptr);

    void setColumns(QList<GridColumn> columns);
    const QList<GridColumn>& columns() const { return m_columns; }
    GridColumn& column(int column) { return m_columns[column]; }
    int columnOf(const QString& field) const; // case-insensitive, -1 when absent

    void setRowSet(RowSet* rows);
    RowSet* rowSet() const { return m_rows; }

    // Text colour of a whole row; an invalid colour means the normal one.
    using RowColorFunction = std::function<QColor(const RowSet&, int row)>;
    void setRowTextColor(RowColorFunction function);

    // True while a reset only replaces the rows (a new row set, a search, a
    // sort): the columns and their titles stay as they are.
    bool resettingRowsOnly() const { return m_rowsOnlyReset; }

    int sortMarker(int column) const;
    void setSortMarker(int column, int marker);

    // What a cell shows: the row set's value in the column's display form.
    QString text(int row, int column) const;
    // What the totals row shows under a column.
    QString footerText(int column) const;
    Qt::Alignment footerAlignment(int column) const;
    QColor footerColor(int column) const; // invalid: the grid's footer colour

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    void footerChanged();
    // Between these two the row set is changing under the model (a reset or a
    // removal); the view must not write its current row back meanwhile.
    void rowSetChangeStarted();
    void rowSetChangeFinished();

private:
    // View mode: the texts of recently shown values, by grid column and entry
    // (entry & (kTextSlots - 1)), so that a repaint after a new search formats
    // only values it has not shown lately. Entries of a column that numbers
    // its values never change their value; those of a column holding one
    // entry per row do when the row is written (tableRowWritten).
    struct TextSlot
    {
        quint32 entry = ~0u;
        QString text;
    };
    static constexpr quint32 kTextSlots = 512;
    void forgetTexts();

    void mapFields();
    void computeFooter();
    void updateFooterTexts();
    void attachTable(const MemTable* table);
    void tableRowWritten(int pos);

    QList<GridColumn> m_columns;
    QVector<int> m_markers;
    QPointer<RowSet> m_rows;
    QVector<int> m_fieldIndex; // row set column of each grid column, -1 when absent
    QStringList m_footer;      // totals row text per grid column
    RowColorFunction m_rowColor;
    RowSetTotals m_totals;
    QVector<int> m_summed; // the grid columns the totals row adds up, in m_totals' order
    bool m_rowsOnlyReset = false;
    const MemTable* m_table = nullptr;                  // the table the row set is a view of
    mutable std::vector<std::vector<TextSlot>> m_texts; // by grid column
    mutable quint64 m_textsLoad = ~quint64(0);          // load of the table they were read from
};
