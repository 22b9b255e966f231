#pragma once

#include <QAbstractSpinBox>
#include <QString>

// A number entry for money and quantities. The text is free: it may be empty or
// hold anything that was set, since amounts are kept as the texts of their
// fields and converted (strictly) only where they are used.
//
// Only a click on the box's own arrow buttons steps the text, as a whole number
// from 0 to 100; a box without arrow buttons (setButtonSymbols(NoButtons))
// never steps. The Up, Down, Page Up and Page Down keys and the mouse wheel
// never change the text: a key pressed by mistake must not change a price.
//
// The keyboard brings in only the digits 0 to 9 and "."; Backspace, Delete,
// Enter, Tab and the cursor keys (Left, Right, Home, End) work as usual, and so
// do select all, copy, cut and paste (Ctrl+A, Ctrl+C, Ctrl+X, Ctrl+V,
// Shift+Insert); every other key is dropped. Every edit of the text, typed,
// pasted by key or menu, or dropped in, is held to the same rule: an edit that
// would bring in any other character is refused as a whole. What the program
// set (a "-" for a return) stays and can be edited next to; it is not filtered.
//
// Coming in by Tab, Backtab, a click or the program's setFocus() selects the
// whole text, so typing replaces it; a click into a box that has the focus
// already places the cursor as usual.
class NumberBox final : public QAbstractSpinBox
{
    Q_OBJECT
public:
    explicit NumberBox(QWidget* parent = nullptr);

    // text() is QAbstractSpinBox::text(): the text as shown.
    void setText(const QString& text);

    // How far one arrow click moves the text (1 unless set).
    void setStep(int step) { m_step = step; }
    // Steps only while the mouse holds one of the arrow buttons.
    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

    static constexpr int kMinimum = 0;
    static constexpr int kMaximum = 100;

signals:
    // Every change of the text, typed, stepped or set.
    void textChanged(const QString& text);
    // Enter or Return was pressed in the box.
    void returnPressed();

protected:
    StepEnabled stepEnabled() const override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QString m_accepted; // the text as last changed, for validate()
    int m_step = 1;
    bool m_arrowHeld = false;     // a press on an arrow button (or its auto-repeat) is being handled
    bool m_focusByClick = false;  // the focus came with the mouse press being delivered now
    bool m_keepSelection = false; // that press selected all: its moves and release must not undo it
};
