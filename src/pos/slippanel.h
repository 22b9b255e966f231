#pragma once

#include "ui/floatingpanel.h"

#include <QString>

#include <functional>

class DataGrid;
class NumberBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class SalePanel;
class Tdmfm;

// The slip panel: a floating panel that lists the Sale rows of the sale panel's
// current number (every number that contains it), their total, the cash handed
// over and the change, and prints the POS receipt of the sale.
class SlipPanel final : public FloatingPanel
{
    Q_OBJECT
public:
    SlipPanel(Tdmfm& dm, SalePanel& sale, QWidget* parent = nullptr);

    // Prints the receipt of the current number; set by the window that owns the
    // printing. Returns false when nothing was printed (the reason was shown).
    using ReceiptPrinter = std::function<bool()>;
    void setReceiptPrinter(ReceiptPrinter printer);
    // Previews the A4 sales slip of the current number; set by the window that
    // owns the printing.
    using SlipPreviewer = std::function<void()>;
    void setSlipPreviewer(SlipPreviewer previewer);

    QString total() const;
    QString cash() const;
    QString change() const;

    DataGrid* grid() const { return m_grid; }
    QLabel* customerLine() const { return m_customer; }
    QLineEdit* totalEdit() const { return m_total; }
    NumberBox* cashEdit() const { return m_cash; }
    QLineEdit* changeEdit() const { return m_change; }
    QPushButton* previousButton() const { return m_previous; }
    QPushButton* nextButton() const { return m_next; }
    QPushButton* receiptButton() const { return m_receipt; }
    QPushButton* slipButton() const { return m_slip; }
    QToolButton* closeButton() const { return m_close; }

public slots:
    // Lists the rows of the sale panel's number; total and customer line follow.
    void runQuery();
    // Shows the panel when hidden, hides it when shown.
    void toggle();
    // "POS小票打印": checks the cash, then prints. True when printed.
    bool printReceipt();
    // "销售单打印": the sales slip of the current number. True when previewed.
    bool previewSlip();

private:
    void buildUi();
    void updateChange();
    void onNumberStepped();

    Tdmfm& m_dm;
    SalePanel& m_sale;
    ReceiptPrinter m_printer;
    SlipPreviewer m_slipPreviewer;

    QLabel* m_customer = nullptr;
    DataGrid* m_grid = nullptr;
    QLineEdit* m_total = nullptr;
    NumberBox* m_cash = nullptr;
    QLineEdit* m_change = nullptr;
    QPushButton* m_previous = nullptr;
    QPushButton* m_next = nullptr;
    QPushButton* m_receipt = nullptr;
    QPushButton* m_slip = nullptr;
    QToolButton* m_close = nullptr;
};
