#pragma once

#include <QAbstractSpinBox>
#include <QString>

// A number entry with up/down arrows. The text is free: it may be empty or hold
// anything that was pasted in or set, since amounts are kept as the texts of
// their fields and converted (strictly) only where they are used.
//
// The arrows, and the Up and Down keys, step the text as a whole number from 0
// to 100. The keyboard brings in only the digits 0 to 9 and "."; Backspace,
// Enter, Tab and the cursor keys (Left, Right, Home, End, Delete, Up, Down)
// work as usual, every other key is dropped. Text pasted through the context
// menu or dropped in is held to the same rule: a paste that would bring in any
// other character is refused as a whole. Text set by the program is not filtered.
class NumberBox final : public QAbstractSpinBox
{
    Q_OBJECT
public:
    explicit NumberBox(QWidget* parent = nullptr);

    // text() is QAbstractSpinBox::text(): the text as shown.
    void setText(const QString& text);

    // How far one arrow click moves the text (1 unless set).
    void setStep(int step) { m_step = step; }
    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

    static constexpr int kMinimum = 0;
    static constexpr int kMaximum = 100;

signals:
    // Every change of the text, typed, stepped or set.
    void textChanged(const QString& text);

protected:
    StepEnabled stepEnabled() const override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    QString m_accepted; // the text as last changed, for validate()
    int m_step = 1;
};
