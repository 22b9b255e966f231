#pragma once

#include <QApplication>
#include <QWidget>

// Opens a window of kind W at most once: an open one is restored, raised and
// given the focus; otherwise a new one is created, owned by `owner`, and shown.
// Such windows delete themselves when closed.
template <class W, class... Args> W* openOnce(QWidget* owner, Args&&... args)
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<W*>(w)) {
            if (found->isMinimized())
                found->showNormal();
            else
                found->show();
            found->setVisible(true);
            found->raise();
            found->activateWindow();
            found->setFocus();
            return found;
        }
    }
    auto* created = new W(std::forward<Args>(args)..., owner);
    created->setAttribute(Qt::WA_DeleteOnClose);
    created->setWindowFlag(Qt::Window);
    created->show();
    return created;
}
