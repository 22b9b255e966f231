#pragma once

#include <QString>

// A launcher for the program on the user's desktop, written as a freedesktop
// desktop entry ("<name>.desktop").
struct DesktopShortcut
{
    QString name;          // file name without ".desktop"; also Name and Comment
    QString program;       // the program file to run
    QString workingFolder; // the folder the program starts in
    QString icon;          // icon file or theme name; no Icon line when empty
};

// The text of the desktop entry, with every value escaped so that any path
// (blanks, quotes, "$", "%", backslashes, line breaks) reaches the program intact.
QString desktopEntryText(const DesktopShortcut& shortcut);

// Creates or overwrites "<folder>/<name>.desktop" with mode 0755. The folder is
// not created. Returns false when the file could not be written.
bool writeDesktopShortcut(const QString& folder, const DesktopShortcut& shortcut);

// The shortcut to the running program that starts it in `workingFolder`
// (the shop folder that holds the database), named after the application.
DesktopShortcut programShortcut(const QString& workingFolder);

// Writes programShortcut(workingFolder) to the user's desktop folder (XDG user
// dirs, else ~/Desktop). Returns false when there is no desktop folder or the
// file could not be written.
bool writeProgramShortcut(const QString& workingFolder);
