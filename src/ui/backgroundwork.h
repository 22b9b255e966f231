#pragma once

#include <QString>

#include <functional>

class QWidget;

// Runs `work` on a thread of its own while the window of `owner` waits for
// it, and returns when the work has ended. Meanwhile the window takes no input
// (it is disabled, so clicks are dropped, not replayed afterwards) and cannot
// be closed, painting goes on, and once the work has run for showAfterMs() a
// progress window over it shows `label` with a moving bar. There is no cancel:
// the work must end by itself (a backup is checked and renamed into place, or
// leaves nothing behind).
//
// The work may use the program's open connection: nothing of the waiting
// window runs a statement until it is done.
void runWithProgress(QWidget* owner, const QString& label, const std::function<void()>& work);
// The same with a "取消" button in the progress window, for work whose result
// may be thrown away (nothing written yet). The work still runs to its end
// (the window waits for it without taking input); false when the user
// cancelled: the caller then uses nothing of the result.
bool runCancellable(QWidget* owner, const QString& label, const std::function<void()>& work);

namespace backgroundwork {
// How long the work runs before the progress window shows (500 ms); tests make it 0.
int showAfterMs();
void setShowAfterMs(int ms);
} // namespace backgroundwork
