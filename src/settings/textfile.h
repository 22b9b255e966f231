#pragma once

#include <QString>
#include <QStringList>

// Whole-file text access shared by the settings store and the column-layout
// file. Both files are small, so each read and each write handles the whole file.
namespace textfile {

enum class ReadStatus { Ok, Missing, Failed };

// Reads `path` as UTF-8 (a leading byte-order mark is dropped) into `text`.
// Missing: no such file (text empty). Failed: it exists but cannot be read.
ReadStatus read(const QString& path, QString& text);

// Replaces `path` with `text` in UTF-8, creating its folder when missing. The
// new content is written beside the file, synced and renamed over it, so a crash
// or a full disk leaves either the old or the new file, never a torn one.
// On failure: false and *error = "Unable to write to <path>", a line end and
// the system's reason ("No space left on device").
bool write(const QString& path, const QString& text, QString* error);

// The file's lines without their line ends ("\n" or "\r\n").
QStringList splitLines(const QString& text);

} // namespace textfile
