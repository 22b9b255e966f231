#include "app/noticepanel.h"

#include <QTimer>

namespace {

// The system hot-light colour.
const QColor kHotLight(0, 102, 204);

} // namespace

NoticePanel::NoticePanel(QWidget* parent)
    : QLabel(parent)
    , m_timer(new QTimer(this))
{
    setGeometry(0, 0, 257, 49);
    setAlignment(Qt::AlignCenter);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, kHotLight);
    p.setColor(QPalette::WindowText, Qt::white);
    setPalette(p);
    // The skins colour labels; the notice keeps its own colours on every skin.
    setStyleSheet(QStringLiteral("background-color: %1; color: white;").arg(kHotLight.name()));
    QFont bold(QStringLiteral("宋体"));
    bold.setPixelSize(14);
    bold.setBold(true);
    setFont(bold);
    hide();
    m_timer->setInterval(2000);
    connect(m_timer, &QTimer::timeout, this, [this] {
        if (isVisible()) {
            m_timer->stop();
            hide();
        }
    });
}

void NoticePanel::showText(const QString& text)
{
    setText(text);
    show();
    raise();
    m_timer->start();
}
