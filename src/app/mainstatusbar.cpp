#include "app/mainstatusbar.h"

#include "core/numbers.h"

#include <QDate>
#include <QLabel>
#include <QStatusTipEvent>

MainStatusBar::MainStatusBar(const QString& webAddress, QWidget* parent)
    : QStatusBar(parent)
{
    const int widths[4] = {350, 200, 200, 300};
    const Qt::Alignment aligns[4] = {Qt::AlignLeft | Qt::AlignVCenter, Qt::AlignCenter, Qt::AlignCenter,
                                     Qt::AlignRight | Qt::AlignVCenter};
    const QString texts[4] = {QString(), QStringLiteral("操作员："), QStringLiteral("今天："), webAddress};
    for (int i = 0; i < 4; ++i) {
        m_panels[i] = new QLabel(texts[i], this);
        m_panels[i]->setFixedWidth(widths[i]);
        m_panels[i]->setAlignment(aligns[i]);
        addWidget(m_panels[i], i == 0 ? 1 : 0);
    }
    // The four widths and the bar's spacing are wider than the window at its
    // first size: the hint gives way, so that the web address stays whole.
    m_panels[0]->setMinimumWidth(120);
    m_panels[0]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setSizeGripEnabled(false);
}

void MainStatusBar::showHintsOf(QWidget* window)
{
    for (QWidget* w : window->findChildren<QWidget*>())
        if (!w->toolTip().isEmpty() && w->statusTip().isEmpty())
            w->setStatusTip(w->toolTip());
    window->installEventFilter(this);
}

bool MainStatusBar::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::StatusTip) {
        showHint(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QStatusBar::eventFilter(watched, event);
}

void MainStatusBar::showHint(const QString& hint)
{
    m_panels[0]->setText(hint);
}

void MainStatusBar::setOperator(const QString& name)
{
    m_panels[1]->setText(name);
}

void MainStatusBar::setToday(const QDate& today)
{
    m_panels[2]->setText(QStringLiteral("今天：") + num::dateText(today));
}
