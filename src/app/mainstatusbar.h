#pragma once

#include <QStatusBar>

class QDate;
class QLabel;

// The main window's status bar: four panels for the hint of the control under
// the mouse, the operator, today and the web address.
class MainStatusBar final : public QStatusBar
{
    Q_OBJECT
public:
    MainStatusBar(const QString& webAddress, QWidget* parent);

    QLabel* panel(int index) const { return m_panels[index]; }
    // From now on the first panel shows the hint of the control of `window`
    // under the mouse: its status tip, or else its tool tip.
    void showHintsOf(QWidget* window);
    void showHint(const QString& hint);
    void setOperator(const QString& name);
    void setToday(const QDate& today);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* m_panels[4] = {};
};
