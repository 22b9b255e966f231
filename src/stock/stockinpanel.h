#pragma once

#include "store/ops/stockops.h"
#include "ui/floatingpanel.h"

#include <QHash>
#include <QString>
#include <QVariantMap>

#include <optional>

class DateField;
class StockHost;
class NumberBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QToolButton;
class RowSet;
class Tdmfm;

// The stock-in panel: a small floating panel over the stock grid that takes a
// new article into stock (新建入库), changes the Stock row that "修 改" put into
// it, and deletes the Stock row chosen in the grid.
//
// Besides its visible fields the panel keeps five amounts that are stored with
// the row but never shown. They are held as texts and recomputed from the
// visible fields whenever one of those changes, so that a save stores what the
// fields held at that moment:
//   purchase amount = 进货单价 × 数量          (stored as `3`, and `8` of a new row)
//   sold quantity                              (`5`; "0" for a new row)
//   sales amount    = 销售单价 × sold quantity (`6`)
//   stock quantity  = 数量 (on a change: 数量 − sold quantity) (`7`)
//   stock amount    = stock quantity × 进货单价 (`8` of a changed row)
// Every product is computed in long double from the typed texts and written back
// in the general number form.
class StockInPanel final : public FloatingPanel
{
    Q_OBJECT
public:
    StockInPanel(Tdmfm& dm, StockHost& host, QWidget* parent = nullptr);

    using HeldAmounts = stockops::HeldAmounts;
    const HeldAmounts& heldAmounts() const { return m_held; }

    // A click on a grid row: copies name, model, code, category,
    // purchase price, quantity, sale price and remark of `row`; the date and the
    // supplier keep theirs. A row without a name copies nothing (false).
    bool copyFromRow(const RowSet& set, int row);
    // Refills the five drop-down lists from the stock table, emptying their texts.
    void refillLists();
    // "修改入库" is enabled only while a change started by "修 改" (or a sale) is open.
    // Disabling it also lets go of the row the change was started on; enabling it
    // binds no row: until "修 改" puts one into the panel, 修改入库 refuses.
    void setChangeEnabled(bool enabled);
    // Identity of the Stock row "修 改" filled the panel from; -1 when none.
    qint64 changeRowId() const { return m_changeRowId; }

    // The date keeper of the main window fills it whenever it is empty.
    DateField* dateField() const { return m_date; }
    QComboBox* nameList() const { return m_name; }
    QComboBox* modelList() const { return m_model; }
    QComboBox* codeList() const { return m_code; }
    QComboBox* categoryList() const { return m_category; }
    NumberBox* purchasePriceBox() const { return m_purchasePrice; }
    NumberBox* quantityBox() const { return m_quantity; }
    NumberBox* salePriceBox() const { return m_salePrice; }
    QComboBox* supplierList() const { return m_supplier; }
    QLineEdit* remarkEdit() const { return m_remark; }
    QPushButton* newButton() const { return m_newButton; }
    QPushButton* changeButton() const { return m_changeButton; }
    QToolButton* closeButton() const { return m_closeButton; }

public slots:
    // Toolbar and grid menu "新建入库": shows the panel, empty, for a new article.
    // The caller hides the sale and slip panels.
    void openForNew();
    // Grid menu "修 改": fills the panel from the stock list's current row and
    // shows it with "修改入库"; the change is bound to that row's identity, so
    // later moves of the grid's current row (a search, a reload, the arrow
    // keys) cannot redirect it. Nothing happens (false) when that row has no name.
    // The caller hides the sale panel when this returns true.
    bool openForChange();
    // Button "新建入库": appends the Stock row; the panel stays open, emptied.
    bool saveNew();
    // Button "修改入库": writes the fields into the row "修 改" was started on, in
    // one statement by its identity, and closes. A row that is no longer stored
    // is refused with a message and nothing is written.
    bool saveChange();
    // Grid menu "删 除": deletes the stock list's current row (the one chosen when
    // the command starts) after a confirmation. The caller hides the sale panel first.
    bool deleteCurrentRow();
    // The close picture: hides the panel, empties it and disables "修改入库".
    void closePanel();
    // Empties the amounts and the remark; the lists and the date keep their texts.
    void clear();

private:
    void buildUi();
    void onPurchasePriceChanged();
    void onQuantityChanged();
    void onSalePriceChanged();
    // Purchase amount and stock amount from 进货单价, 数量 and the held stock
    // quantity, when all three hold text.
    void recomputePurchaseAmounts();
    // Applies one recomputation of the held amounts; a text that is not a number is reported (false).
    bool recompute(stockops::Edit edit);
    bool recomputeBeforeChange();
    void setPurchaseAmount(const QString& text);
    void setSoldQuantity(const QString& text);
    bool checkRequired();
    bool checkDate();
    std::optional<QVariantMap> rowValues(const QString& stockAmount);

    Tdmfm& m_dm;
    StockHost& m_host;
    HeldAmounts m_held;
    qint64 m_changeRowId = -1;
    // Set while the panel writes several fields at once and the intermediate states must not recompute.
    bool m_quiet = false;

    QComboBox* m_name = nullptr;
    QComboBox* m_model = nullptr;
    QComboBox* m_code = nullptr;
    QComboBox* m_category = nullptr;
    DateField* m_date = nullptr;
    NumberBox* m_purchasePrice = nullptr;
    NumberBox* m_quantity = nullptr;
    NumberBox* m_salePrice = nullptr;
    QComboBox* m_supplier = nullptr;
    QLineEdit* m_remark = nullptr;
    QPushButton* m_newButton = nullptr;
    QPushButton* m_changeButton = nullptr;
    QToolButton* m_closeButton = nullptr;
};
