#pragma once

#include <QDate>
#include <QString>
#include <QWidget>

#include <optional>

class QLineEdit;

// A date entry in the form "yyyy-mm-dd". An empty field shows only its
// separators ("    -  -  "); text() then gives "". A partly typed date gives
// what is shown, blanks included ("2026-01-  "), so that callers can tell an
// empty field from an incomplete one.
//
// The entry itself is a masked QLineEdit (lineEdit()); it is this widget's
// focus proxy, so setFocus(), hasFocus() and tab orders work on the DateField.
class DateField final : public QWidget
{
    Q_OBJECT
public:
    explicit DateField(QWidget* parent = nullptr);

    // No digit typed.
    bool isEmpty() const;
    // "yyyy-mm-dd" as shown, or "" when empty.
    QString text() const;
    // Shows the date; an invalid date empties the field.
    void setDate(const QDate& date);
    // Takes a "yyyy-mm-dd" text; "" empties the field.
    void setText(const QString& text);
    // The date shown, when it is a complete and real date.
    std::optional<QDate> date() const;
    void clear();

    QLineEdit* lineEdit() const { return m_edit; }

signals:
    // Every change of text().
    void textChanged(const QString& text);

private:
    QLineEdit* m_edit;
    QString m_lastText;
};
