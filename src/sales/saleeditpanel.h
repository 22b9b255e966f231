#pragma once

#include "ui/floatingpanel.h"

class NumberBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class RowSet;
class Tdmfm;

// The change/delete panel over the sales grid: shows one recorded sale and
// either changes its amount owed and customer details ("修 改") or deletes it,
// giving its quantity and amount back to the Stock row it was sold from
// ("删 除"). It acts on the sale row it was opened for, by its identity.
class SaleEditPanel final : public FloatingPanel
{
    Q_OBJECT
public:
    enum class Mode { Change, Delete };

    SaleEditPanel(Tdmfm& dm, QWidget* parent = nullptr);

    // Shows the panel for `row` of `set`; a row without a name opens nothing (false).
    bool openFor(const RowSet& set, int row, Mode mode);
    Mode mode() const { return m_mode; }
    qint64 saleRowId() const { return m_saleRowId; }

    // The line edit of a row by its label; the amount owed is owedEdit().
    QLineEdit* field(const QString& label) const;
    NumberBox* owedEdit() const { return m_owed; }
    QLineEdit* numberEdit() const { return m_number; }
    QLineEdit* customerEdit() const { return m_customer; }
    QLineEdit* addressEdit() const { return m_address; }
    QLineEdit* contactEdit() const { return m_contact; }
    QLineEdit* remarkEdit() const { return m_remark; }
    QPushButton* changeButton() const { return m_change; }
    QPushButton* deleteButton() const { return m_delete; }
    QToolButton* closeButton() const { return m_close; }

public slots:
    void applyChange();
    void deleteSale();

signals:
    // A change or deletion was stored; the list shows the stored rows already.
    void changed();
    void deleted();

private:
    QLineEdit* addRow(const QString& label, int row, int column, bool editable);
    void addRow(const QString& label, int row, int column, QWidget* field);

    Tdmfm& m_dm;
    Mode m_mode = Mode::Change;
    qint64 m_saleRowId = -1;
    QList<QPair<QString, QLineEdit*>> m_fields;
    QLineEdit* m_name;
    QLineEdit* m_model;
    QLineEdit* m_code;
    QLineEdit* m_category;
    QLineEdit* m_date;
    QLineEdit* m_price;
    QLineEdit* m_quantity;
    QLineEdit* m_amount;
    NumberBox* m_owed;
    QLineEdit* m_number;
    QLineEdit* m_customer;
    QLineEdit* m_address;
    QLineEdit* m_contact;
    QLineEdit* m_remark;
    QPushButton* m_change;
    QPushButton* m_delete;
    QToolButton* m_close;
};
