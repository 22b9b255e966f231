#pragma once

#include "core/salenumber.h"
#include "ui/floatingpanel.h"

#include <QHash>
#include <QString>

class ClickShield;
class DateField;
class NumberBox;
class PosHost;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class RowSet;
class Tdmfm;

// The sale panel: a floating panel over the stock grid that sells (or takes
// back) one article of the Stock row it was opened for, under a sale number
// made of today's date and the day sequence.
//
// The figures shown are computed in long double from the fields' texts and
// written in the general number form. The Stock row's new figures are not
// taken from the panel: the store computes them from the stored row inside the
// sale's transaction, and decides a shortage on the stored stock quantity.
class SalePanel final : public FloatingPanel
{
    Q_OBJECT
public:
    SalePanel(Tdmfm& dm, PosHost& host, QWidget* parent = nullptr);

    // Double click on a stock row: shows the panel for `row` of `set`. A row
    // without a name opens nothing (false).
    bool openForRow(const RowSet& set, int row);

    // The next opening offers a new sale number, taken from the shop database
    // (at the main window's showing, and after the database may have changed).
    void forgetNumber();
    // The sale number shown; typed text is taken as it is.
    QString saleNumber() const;
    QString customerName() const;

    // Only the super administrator may change the sale date.
    void setSaleDateEditable(bool editable);

    QLineEdit* nameEdit() const { return m_name; }
    QLineEdit* suggestedPriceEdit() const { return m_suggested; }
    NumberBox* priceBox() const { return m_price; }
    NumberBox* discountBox() const { return m_discount; }
    NumberBox* quantityBox() const { return m_quantity; }
    QLineEdit* stockEdit() const { return m_stock; }
    QLineEdit* amountEdit() const { return m_amount; }
    NumberBox* owedBox() const { return m_owed; }
    DateField* dateField() const { return m_date; }
    QLineEdit* numberEdit() const { return m_numberEdit; }
    QComboBox* customerList() const { return m_customer; }
    QLineEdit* addressEdit() const { return m_address; }
    QLineEdit* contactEdit() const { return m_contact; }
    QLineEdit* remarkEdit() const { return m_remark; }
    QPushButton* nextButton() const { return m_next; }
    QPushButton* previousButton() const { return m_previous; }
    QPushButton* returnButton() const { return m_return; }
    QPushButton* previewButton() const { return m_preview; }
    QPushButton* confirmButton() const { return m_confirm; }
    QToolButton* closeButton() const { return m_close; }
    qint64 openRowId() const { return m_rowId; }

public slots:
    // The confirm picture. True when the sale was saved.
    bool confirm();
    // "+" takes a new number for the next customer; "-" goes back one
    // (also "下一单" and "上一单" of the slip panel).
    void nextNumber();
    void previousNumber();
    // "退": the quantity changes sign.
    void toggleReturn();
    // The close picture, or a click on another stock row.
    void closePanel();

signals:
    // A sale was saved under `saleNumber`. The sales detail window takes the
    // number into its slip number box and shows the current month; the summary
    // is refreshed.
    void saleSaved(const QString& saleNumber);
    // The slip panel's list must follow the sale number (and customer) now shown.
    void slipQueryNeeded();
    // "+" or "-" moved to another number: the slip panel's cash starts again at "0".
    void numberStepped();
    // "预览": shows or hides the slip panel.
    void previewToggled();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildUi();
    void onDiscountChanged();
    void updateSaleAmount();
    bool recalculate();
    void onCustomerEdited(const QString& text);
    void onNumberChanged();
    void lookUpTypedMeanwhile();
    // The customer list afresh; `keepTyped` keeps the name typed meanwhile.
    void refillCustomers(bool keepTyped = false);
    void clearEntries();
    void finish(bool saved);
    void refuseShortage(const QString& onHand);
    bool takeNewNumber();
    void showNumber();
    void stepNumber(qint64 delta);

    Tdmfm& m_dm;
    PosHost& m_host;
    ClickShield* m_shield;
    qint64 m_rowId = -1;
    QString m_stockInDate; // of the row opened: the sale is refused if it no longer holds it
    // The number offered or stepped to: its day and sequence. No day until
    // the first opening takes one from the database.
    SaleNumber m_number;
    QString m_rememberedCustomer;
    bool m_quiet = false;

    QLineEdit* m_name = nullptr;
    QLineEdit* m_model = nullptr;
    QLineEdit* m_code = nullptr;
    QLineEdit* m_category = nullptr;
    QLineEdit* m_suggested = nullptr;
    NumberBox* m_price = nullptr;
    NumberBox* m_discount = nullptr;
    NumberBox* m_quantity = nullptr;
    QLineEdit* m_stock = nullptr;
    QLineEdit* m_amount = nullptr;
    NumberBox* m_owed = nullptr;
    DateField* m_date = nullptr;
    QLineEdit* m_numberEdit = nullptr;
    QComboBox* m_customer = nullptr;
    QLineEdit* m_address = nullptr;
    QLineEdit* m_contact = nullptr;
    QLineEdit* m_remark = nullptr;
    QPushButton* m_next = nullptr;
    QPushButton* m_previous = nullptr;
    QPushButton* m_return = nullptr;
    QPushButton* m_preview = nullptr;
    QPushButton* m_confirm = nullptr;
    QToolButton* m_close = nullptr;
};
