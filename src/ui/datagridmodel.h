#pragma once

#include "store/memory/rowset.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QPointer>
#include <QString>
#include <QVector>

#include <functional>
#include <optional>
#include <unordered_map>
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
// The totals of the footer are computed here in fixed point (1/10000), once per
// reset, and after a change or removal of one row by taking its old values out
// and its new ones in; never while painting. Over a view of an in-memory table
// the share of a total is kept for each distinct value of the table's column
// (MemTable::entry()), so a new list of positions is totalled without
// converting a value.
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
    // __int128: a total of any number of 64-bit unit counts.
    __extension__ typedef __int128 Units;
    // One value's share of a total (ColumnSum::partOf's rule): units, or a
    // number beyond their range as a long double.
    struct Part
    {
        qint64 units = 0;
        std::optional<long double> wide;
    };
    struct Sum
    {
        int column = -1;
        int field = -1;
        Units units = 0;
        long double wide = 0;
        bool hasWide = false;
    };
    // View mode: the share of a column's total of each entry of the column.
    struct Shares
    {
        std::vector<qint64> units;
        std::unordered_map<quint32, long double> wide;
    };
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

    static Part partOf(const QVariant& v);
    static void addPart(Sum& s, const Part& p, int sign);
    Part cachedPart(int field, int pos) const;
    void readShares(int field, Shares& sh);
    void readShare(int field, Shares& sh, quint32 entry);
    void mapFields();
    void computeFooter();
    void takeRow(int row, int sign);
    void updateFooterTexts();
    void attachTable(const MemTable* table);
    void tableRowAboutToChange(int pos);
    void tableRowWritten(int pos);

    QList<GridColumn> m_columns;
    QVector<int> m_markers;
    QPointer<RowSet> m_rows;
    QVector<int> m_fieldIndex; // row set column of each grid column, -1 when absent
    QStringList m_footer;      // totals row text per grid column
    RowColorFunction m_rowColor;
    std::vector<Sum> m_sums;
    std::unordered_map<int, Shares> m_shares; // by table column
    bool m_rowsOnlyReset = false;
    const MemTable* m_table = nullptr;                  // the table the row set is a view of
    quint64 m_cacheLoad = ~quint64(0);                  // load of the table the shares were read from
    std::vector<quint8> m_inView;                       // by table position: shown by the row set
    mutable std::vector<std::vector<TextSlot>> m_texts; // by grid column
    mutable quint64 m_textsLoad = ~quint64(0);          // load of the table they were read from
};
