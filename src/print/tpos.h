// Tpos is the receipt settings window "销售单小票设置"; the shop's documents fix the name (docs/names.md).
#pragma once

#include "print/receiptsetup.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

// The receipt settings window (销售单小票设置): the shop texts the POS receipt
// and the sales slip print, and the receipt's printer: paper width, printing
// through the default printer or ESC/POS straight to a till printer. The
// fields are the live source of what is printed; "保存" stores them in the settings.
class Tpos final : public QDialog
{
    Q_OBJECT
public:
    explicit Tpos(QWidget* parent = nullptr);

    enum Field { Pos1, Pos2, Pos3, Pos4, Dan1, Dan2, Dan3, Dan4, Company, Address, Phone, FieldCount };
    QLineEdit* field(Field f) const { return m_fields[f]; }
    QString text(Field f) const;
    QPushButton* saveButton() const { return m_save; }

    // The printer part, in the order the window shows it.
    QComboBox* paperBox() const { return m_paper; }    // 58 mm, 80 mm, other
    QSpinBox* paperMmBox() const { return m_paperMm; } // the other width
    QComboBox* outputBox() const { return m_output; }  // default printer, ESC/POS
    QComboBox* portBox() const { return m_port; }      // network, CUPS raw queue, device file
    QLineEdit* targetEdit() const { return m_target; }
    QComboBox* textModeBox() const { return m_textMode; } // GB18030, GBK, raster
    QCheckBox* chineseModeBox() const { return m_chinese; }
    QCheckBox* drawerBox() const { return m_drawer; }

    // What the printer part says now, saved or not.
    ReceiptSetup setup() const;
    void setSetup(const ReceiptSetup& setup);

    // Takes the stored texts when the stored receipt title is not empty; the
    // address, telephone and printer values each when stored.
    void load();

public slots:
    // Writes the texts and the printer values; "已保存成功！" and closes. A
    // failed write is reported and the window stays open.
    bool save();

private:
    void enableChoices();
    QList<QPair<QString, QString>> printerValues() const;

    QLineEdit* m_fields[FieldCount] = {};
    QComboBox* m_paper = nullptr;
    QSpinBox* m_paperMm = nullptr;
    QComboBox* m_output = nullptr;
    QComboBox* m_port = nullptr;
    QLineEdit* m_target = nullptr;
    QComboBox* m_textMode = nullptr;
    QCheckBox* m_chinese = nullptr;
    QCheckBox* m_drawer = nullptr;
    QPushButton* m_save = nullptr;
};
