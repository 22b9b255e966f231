#pragma once

#include <QMenu>

class Tpos;

// The "设 置" menu of the toolbar: skins, the receipt settings, the calculator
// and the text editor.
class SettingsMenu final : public QMenu
{
    Q_OBJECT
public:
    // `window` is the main window: the receipt settings belong to it and open
    // over its middle.
    SettingsMenu(QWidget* window, QWidget* parent);

    Tpos* receiptSettings() const { return m_tpos; }

public slots:
    // "打印设置"
    void showReceiptSettings();

private:
    QWidget* m_window;
    Tpos* m_tpos;
};
