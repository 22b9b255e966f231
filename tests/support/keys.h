#pragma once

#include <QString>

class QWidget;

// Types like a keyboard: ASCII through QTest's key table, anything else as a key
// press that carries the character, as a keyboard layout or input method sends it.
void typeText(QWidget* w, const QString& text);
