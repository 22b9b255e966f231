#pragma once

#include <QString>
#include <QStringList>

// Starting the platform's calculator and plain text editor.
namespace launchers {

// The first of `candidates` found on the PATH, or empty.
QString findProgram(const QStringList& candidates);
QStringList calculatorCandidates();
QStringList editorCandidates();
QStringList browserCandidates();

// Starts the program detached; shows `missingMessage` when none is installed.
bool start(const QStringList& candidates, const QString& missingMessage);
// Opens `url` in a web browser; shows `missingMessage` when none is installed.
bool openWebPage(const QString& url, const QString& missingMessage);

} // namespace launchers
