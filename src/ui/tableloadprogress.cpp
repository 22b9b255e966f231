#include "ui/tableloadprogress.h"

#include "store/memory/memtable.h"

#include <QCoreApplication>
#include <QProgressDialog>

#include <algorithm>
#include <climits>

namespace {
int g_showAfterMs = 500;
} // namespace

int TableLoadProgress::showAfterMs()
{
    return g_showAfterMs;
}

void TableLoadProgress::setShowAfterMs(int ms)
{
    g_showAfterMs = ms;
}

TableLoadProgress::TableLoadProgress(MemTable& table, QString label, QWidget* owner)
    : QObject(owner)
    , m_table(table)
    , m_label(std::move(label))
    , m_owner(owner)
{
    m_table.setLoadProgress([this](qint64 read, qint64 expected) { step(read, expected); });
    connect(&m_table, &MemTable::reloaded, this, &TableLoadProgress::finish);
}

TableLoadProgress::~TableLoadProgress()
{
    m_table.setLoadProgress({});
    delete m_dialog;
}

void TableLoadProgress::step(qint64 read, qint64 expected)
{
    // A read in the background may have begun before this display was made.
    if (read == 0 || !m_started.isValid())
        m_started.start();
    if (!m_dialog) {
        if (!m_started.isValid() || m_started.elapsed() < g_showAfterMs)
            return;
        auto* d = new QProgressDialog(m_owner);
        // Not modal: a modal progress dialog handles every event, input
        // included, at each step; the steps below let only painting through.
        d->setWindowModality(Qt::NonModal);
        d->setWindowTitle(m_owner->windowTitle());
        d->setCancelButton(nullptr);
        d->setAutoClose(false);
        d->setAutoReset(false);
        d->setMinimumDuration(0);
        d->setMinimumWidth(360);
        m_dialog = d;
    }
    const int total = int(std::min<qint64>(std::max(expected, read), INT_MAX));
    m_dialog->setMaximum(std::max(total, 1));
    m_dialog->setValue(int(std::min<qint64>(read, INT_MAX)));
    m_dialog->setLabelText(QStringLiteral("%1 %2 / %3").arg(m_label).arg(read).arg(expected));
    if (!m_dialog->isVisible())
        m_dialog->show();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
}

void TableLoadProgress::finish()
{
    m_started.invalidate();
    if (m_dialog) {
        m_dialog->hide();
        m_dialog->deleteLater();
        m_dialog = nullptr;
    }
}
