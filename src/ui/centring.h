#pragma once

class QRect;
class QWidget;

// Moves `window` so that the middle of its frame (title bar included) is the
// middle of `area`: the desktop, or another window's frame.
void centreFrameOn(QWidget* window, const QRect& area);

// Centres `window` on the primary screen's desktop the first time it is
// shown, once its frame is known; later showings leave it where the user put it.
void centreOnFirstShow(QWidget* window);
