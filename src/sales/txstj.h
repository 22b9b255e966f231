// Txstj is the sales detail window "销售明细"; the shop's documents fix the name (docs/names.md).
#pragma once

#include "store/memory/salesearch.h"

#include <QDialog>
#include <QPoint>
#include <QSet>

#include <optional>

class DataGrid;
class DateField;
class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QMenu;
class QPushButton;
class QTabWidget;
class SaleEditPanel;
class SalesChartsPage;
class SalesColumnFlags;
class SalesHost;
class Tdmfm;

// The sales detail window "销售明细": the recorded sales in a grid with
// totals, searched by the panel below it, and changed or deleted through the
// change/delete panel. It lives for the whole run and is shown modally again
// and again; its boxes keep their texts between showings.
class Txstj final : public QDialog
{
    Q_OBJECT
public:
    Txstj(Tdmfm& dm, SalesHost& host, QWidget* parent = nullptr);

    // Shows the window modally without blocking the caller; closing it tells the host.
    void openModal();

    // Applies the stored column flags (at every showing of the main window).
    void applyStoredFlags();
    // Ordinary users: no change, deletion, profit column or "全部显示".
    void restrictForOrdinaryUser();
    // The sale number box, which the slip preview prints.
    void setSaleNumber(const QString& number);
    // The slip of `number` is printed from elsewhere: the box takes the number
    // and a loaded list shows its rows.
    void showSaleNumber(const QString& number);
    QString saleNumber() const;
    // A sale was recorded: its number goes into the sale number box and the
    // list shows this month. A window that was never shown does not load the
    // sale table for that: its first showing lists the month anyway.
    void saleRecorded(const QString& number);

    DataGrid* grid() const { return m_grid; }
    QTabWidget* pages() const { return m_pages; }
    QMenu* gridMenu() const { return m_menu; }
    QAction* action(const QString& caption) const;
    SalesColumnFlags* columnFlags() const { return m_flags; }
    SaleEditPanel* editPanel() const { return m_edit; }
    QComboBox* categoryList() const { return m_category; }
    QLineEdit* nameBox() const { return m_name; }
    QLineEdit* customerBox() const { return m_customer; }
    QLineEdit* modelBox() const { return m_model; }
    QLineEdit* codeBox() const { return m_code; }
    QLineEdit* remarkBox() const { return m_remark; }
    QCheckBox* dateCheck() const { return m_byDate; }
    DateField* fromDate() const { return m_from; }
    DateField* toDate() const { return m_to; }
    QLineEdit* saleNumberBox() const { return m_number; }
    QPushButton* button(const QString& group, const QString& caption) const;

    salesearch::Conditions conditions() const;

public slots:
    // "本 月": every sale of the current month (also after each sale, shown or not).
    void showThisMonth();
    void showToday();        // "当 天"
    void showAll();          // "全部记录"
    void search();           // "查 询" of the search panel
    void searchReturns();    // "查 询" of the group "退货"
    void showAllReturns();   // "全部退货"
    void searchSaleNumber(); // "查 询" of the group "销售单打印"
    void previewSlip();      // "销售单预览": the A4 slip of the sale number box
    void clearConditions();  // "清空条件"
    void openChange();       // "修 改 " and the double click
    void openDelete();       // "删 除"
    void saveLayout();       // "保存当前列宽"

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void buildGridMenu();
    // "导出Excel" and "打 印" of the grid; an ordinary user's export and print
    // never hold purchase prices or profits.
    void exportGrid();
    void printGrid();
    QSet<QString> restrictedFields() const;
    QWidget* buildSearchArea(QWidget* parent);
    void restoreLayout();
    // Runs a command on the sales list; the rows shown stay as they were when it fails.
    bool run(const salesearch::Query& q, bool toLast);
    void refillCategories();
    // With "销售日期：" ticked, the shown text of a date box that is no date.
    std::optional<QString> invalidDate() const;
    QColor rowColor(int row) const;
    void rowClicked(int row);

    Tdmfm& m_dm;
    SalesHost& m_host;
    bool m_superAdministrator = true;
    // Shown at least once: a sale or a slip's number brings the list up to date from then on.
    bool m_everShown = false;
    std::optional<QPoint> m_lastPosition;
    bool m_quiet = false; // boxes are being changed by the program: no search as typed
    QTabWidget* m_pages;
    SalesChartsPage* m_charts;
    DataGrid* m_grid;
    QMenu* m_menu = nullptr;
    QAction* m_changeAction = nullptr;
    QAction* m_deleteAction = nullptr;
    SalesColumnFlags* m_flags;
    SaleEditPanel* m_edit;
    QComboBox* m_category = nullptr;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_customer = nullptr;
    QLineEdit* m_model = nullptr;
    QLineEdit* m_code = nullptr;
    QLineEdit* m_remark = nullptr;
    QCheckBox* m_byDate = nullptr;
    DateField* m_from = nullptr;
    DateField* m_to = nullptr;
    QLineEdit* m_number = nullptr;
    QList<QPair<QString, QPushButton*>> m_buttons; // ("group/caption", button)
};
