#pragma once

#include <QByteArray>
#include <QString>

// The whole content of the file at `path`; empty when it cannot be read.
QByteArray bytesOf(const QString& path);
// Replaces the file at `path` by `bytes` (no safe-save: tests damage files on
// purpose); false when it cannot be opened or not every byte was written.
bool writeBytes(const QString& path, const QByteArray& bytes);
