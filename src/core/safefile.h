#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <memory>

// A file that is replaced whole or not at all: settings, layouts, exports,
// shortcuts and printed PDFs all go through it.
//
// The new content goes to a temporary file beside the target (same folder, so
// the rename never crosses file systems). Every write reaches the system at
// once and reports its own failure; commit() then syncs the data to the disk,
// closes the file, checks each step and only then renames it over the target.
// On any failure the target keeps its former content and the temporary file is
// removed. (QSaveFile is not used: in Qt 6.4 its commit() reports success when
// a buffered write failed for lack of space, and the target is replaced by a
// shorter or empty file.)
//
//   SafeFile file(path);
//   if (!file.open() || file.device().write(bytes) != bytes.size() || !file.commit())
//       show(file.errorText());
class SafeFile final
{
public:
    explicit SafeFile(QString path);
    // Removes the temporary file unless it was committed.
    ~SafeFile();
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    // Creates the temporary file (with the target's permissions when the
    // target exists) and opens device() on it. The target's folder must exist.
    bool open();
    // Unbuffered: each write goes to the system at once, and one that fails
    // (returns -1) makes commit() fail too, even when the caller missed it.
    QIODevice& device() { return *m_device; }
    // The temporary file; another writer (a printer writing a PDF) may fill it
    // by name instead of device() before commit().
    QString tempPath() const { return m_tempPath; }

    // Renames the finished temporary file over the target. Fails (leaving the
    // target as it was) when a write through device() failed, or syncing,
    // closing or renaming fails.
    bool commit();
    // Gives up the new content: the temporary file is removed, the target stays.
    void discard();

    // Marks the new content as unusable for `reason` (found by whoever filled
    // the file); commit() then fails with it.
    void fail(const QString& reason);

    QString path() const { return m_path; }
    // Why the last step failed, as the system says it ("No space left on device").
    QString errorString() const { return m_reason; }
    // "不能写入文件（<file>）：<reason>"
    QString errorText() const;

    // Replaces `path` with `bytes`. On failure: false, the file unchanged and
    // *reason (when given) the system's reason.
    static bool write(const QString& path, const QByteArray& bytes, QString* reason = nullptr);

private:
    bool failWith(const QString& reason);

    QString m_path;
    QString m_tempPath;
    int m_fd = -1;
    QString m_reason;
    std::unique_ptr<QIODevice> m_device; // writes to m_fd, keeps its failure in m_reason
    bool m_committed = false;
};
