#pragma once

#include <QLabel>

class QTimer;

// The message panel that floats over the stock grid: white bold text on the
// hot-light colour, gone two seconds after it was shown.
class NoticePanel final : public QLabel
{
    Q_OBJECT
public:
    explicit NoticePanel(QWidget* parent);

    void showText(const QString& text);

private:
    QTimer* m_timer;
};
