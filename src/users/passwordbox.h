#pragma once

class QLineEdit;

// Makes `box` a password field of the user windows: shown as "*", at most 10
// characters, ASCII letters and digits only (typed, composed or pasted).
void makePasswordBox(QLineEdit* box);
