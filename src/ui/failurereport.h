#pragma once

#include <QString>

// How a window reports a failure that a lower layer returned. The settings
// store, the layout file and the functions beside them show nothing: they
// return false with the failure text, and the window passes both here.

// Shows `error` through the message port when `ok` is false; returns `ok`.
//   QString error;
//   reportFailure(saveLayout(section, grid, layout, &error), error);
bool reportFailure(bool ok, const QString& error);

// Stores a setting (settingkeys::…) and shows "Unable to write to <file>" when
// the file cannot be written; returns whether it was stored. The window's
// choice stays in effect either way.
bool writeSetting(const QString& key, const QString& value);
bool writeSetting(const QString& key, int value);
// A yes/no flag: settingkeys::yes when `yes`, settingkeys::no otherwise.
bool writeYesNo(const QString& key, bool yes);
