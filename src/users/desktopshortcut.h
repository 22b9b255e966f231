#pragma once

#include <QString>
#include <QStringList>

// A launcher for the program on the user's desktop, written as a freedesktop
// desktop entry ("<name>.desktop").
struct DesktopShortcut
{
    QString name;          // file name without ".desktop"; also Name and Comment
    QString program;       // the program file to run
    QString workingFolder; // the folder the program starts in
    QString icon;          // icon file or theme name; no Icon line when empty
    QStringList arguments; // given to the program after its file
};

// The text of the desktop entry, with every value escaped so that any path
// (blanks, quotes, "$", "%", backslashes, line breaks) reaches the program intact.
QString desktopEntryText(const DesktopShortcut& shortcut);

// Creates or overwrites "<folder>/<name>.desktop" with mode 0755; a file that
// holds the same entry already is left alone. The folder is not created.
// Returns false when there is no such folder, or when the file could not be
// written: then an existing shortcut stays as it was and *error (when given)
// says which file and why.
bool writeDesktopShortcut(const QString& folder, const DesktopShortcut& shortcut, QString* error = nullptr);

// The shortcut that starts `programFile` with `arguments` in `workingFolder`
// (the shop folder that holds the database), named after the application,
// with the installed icon when `programFile` is an installed program.
DesktopShortcut programShortcut(const QString& workingFolder, const QString& programFile,
                                const QStringList& arguments = {});

// Writes the shortcut to the running program (programShortcut) to the user's
// desktop folder (XDG user dirs, else ~/Desktop). Returns false when there is no desktop folder or the
// file could not be written (*error as for writeDesktopShortcut).
bool writeProgramShortcut(const QString& workingFolder, const QStringList& arguments, QString* error = nullptr);
