#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QWidget>

// Swallows the mouse presses that land on a screen rectangle for a moment:
// the second press of a quick double press on a button that hid its panel
// would otherwise reach whatever lay under the panel (on the till, the
// toolbar with its backup button). One shield per panel; each call of
// guard() starts the moment again.
class ClickShield final : public QObject
{
    Q_OBJECT
public:
    explicit ClickShield(QObject* parent = nullptr);

    // From now on, for QApplication::doubleClickInterval() and a little more,
    // presses, releases and double clicks on the screen area `panel` covers
    // go nowhere, unless they are meant for the panel itself.
    void guard(QWidget* panel);
    // The panel is back in use: its area takes presses again.
    void release();
    bool isGuarding() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_panel;
    QRect m_rect;
    QElapsedTimer m_since;
    int m_durationMs = 0;
    bool m_installed = false;
};
