#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

// The receipt settings window (销售单小票设置): the shop texts the POS receipt
// and the sales slip print. The fields are the live source of the printed
// texts; "保存" stores them in the settings.
class Tpos final : public QDialog
{
    Q_OBJECT
public:
    explicit Tpos(QWidget* parent = nullptr);

    enum Field { Pos1, Pos2, Pos3, Pos4, Dan1, Dan2, Dan3, Dan4, Company, FieldCount };
    QLineEdit* field(Field f) const { return m_fields[f]; }
    QString text(Field f) const;
    QPushButton* saveButton() const { return m_save; }

    // Takes the stored texts when the stored receipt title is not empty.
    void load();

public slots:
    // Writes the nine texts; "已保存成功！" and closes. A failed write is
    // reported and the window stays open.
    bool save();

private:
    QLineEdit* m_fields[FieldCount] = {};
    QPushButton* m_save = nullptr;
};
