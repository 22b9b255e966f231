#include "ui/backgroundwork.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QPointer>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <climits>
#include <memory>

namespace {

int g_showAfterMs = 500;

// Keeps the waiting window open: its closing would let go of what the work uses.
class KeepOpen final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::Close)
            return false;
        event->ignore();
        return true;
    }
};

} // namespace

namespace backgroundwork {

int showAfterMs()
{
    return g_showAfterMs;
}

void setShowAfterMs(int ms)
{
    g_showAfterMs = ms;
}

} // namespace backgroundwork

namespace {

bool run(QWidget* owner, const QString& label, const std::function<void()>& work, bool cancellable)
{
    QPointer<QWidget> window = owner ? owner->window() : nullptr;
    const bool wasEnabled = window && window->isEnabled();
    KeepOpen keepOpen;
    if (window) {
        window->installEventFilter(&keepOpen);
        window->setEnabled(false);
    }

    QProgressDialog dialog(label, QString(), 0, 0, window);
    dialog.setObjectName(QStringLiteral("workProgress"));
    dialog.setWindowTitle(window ? window->windowTitle() : QString());
    dialog.setWindowModality(Qt::ApplicationModal);
    if (cancellable)
        dialog.setCancelButtonText(QStringLiteral("取消"));
    else
        dialog.setCancelButton(nullptr);
    // Shown by the timer below only, never by the dialog's own.
    dialog.setMinimumDuration(INT_MAX);
    dialog.setMinimumWidth(360);
    dialog.setWindowFlag(Qt::WindowCloseButtonHint, false);
    dialog.reset();
    // A window of its own: the disabled window under it does not disable it.
    dialog.setEnabled(true);
    bool cancelled = false;
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [&cancelled] { cancelled = true; });

    QEventLoop loop;
    const std::unique_ptr<QThread> thread(QThread::create(work));
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    QTimer show;
    show.setSingleShot(true);
    QObject::connect(&show, &QTimer::timeout, &dialog, [&dialog, &cancelled] {
        if (!cancelled)
            dialog.show();
    });
    thread->start();
    show.start(g_showAfterMs);
    // The finished signal comes through the event queue, so it is not missed
    // when the work ends before the loop begins.
    loop.exec();
    thread->wait();
    show.stop();
    dialog.hide();

    if (window) {
        window->removeEventFilter(&keepOpen);
        window->setEnabled(wasEnabled);
        window->activateWindow();
    }
    return !cancelled;
}

} // namespace

void runWithProgress(QWidget* owner, const QString& label, const std::function<void()>& work)
{
    (void)run(owner, label, work, false);
}

bool runCancellable(QWidget* owner, const QString& label, const std::function<void()>& work)
{
    return run(owner, label, work, true);
}
