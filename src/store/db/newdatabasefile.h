#pragma once

#include <QString>

// A database file that appears whole or not at all. It is built under a
// temporary name in the folder of its final path and renamed into place only
// when complete, so a kill or a full disk half-way leaves no file at the final
// path (at most a temporary one, which nothing opens).
class NewDatabaseFile final
{
public:
    explicit NewDatabaseFile(QString finalPath);
    // Removes the temporary file (and the engine's files beside it) unless it was published.
    ~NewDatabaseFile();
    NewDatabaseFile(const NewDatabaseFile&) = delete;
    NewDatabaseFile& operator=(const NewDatabaseFile&) = delete;

    // Reserves an empty temporary file beside the final path; open it with
    // Database::open(tempPath(), true, ...). The file is marked as in use
    // (removeStale leaves it alone) until it is published or given up.
    bool reserve(QString* error);
    QString tempPath() const { return m_tempPath; }
    QString finalPath() const { return m_finalPath; }

    enum class Existing { Keep, Replace };
    // Syncs the finished file (its connection must be closed, so that its
    // write-ahead log is folded back into it; a log still there fails),
    // renames it to the final path and syncs the folder. With Existing::Keep
    // it never replaces a file: it fails when the final path exists by then.
    // With Existing::Replace the rename swaps the file in one step, so the
    // final path holds the former file or the new one, never a mixture.
    bool publish(QString* error, Existing existing = Existing::Keep);

    // Removes what killed runs left of the temporary files of `finalPath`
    // ("<finalPath>.1a2b3c.new" and the engine's files beside it), whose file
    // name may hold "*" for any text: only regular files last changed before
    // this process started, and never a temporary file that a live run still
    // holds. Returns how many files were removed.
    static int removeStale(const QString& finalPath);

private:
    void release();

    QString m_finalPath;
    QString m_tempPath;
    int m_fd = -1; // holds the in-use mark of the temporary file
    bool m_published = false;
};

// Syncs the folder that holds `path`, so that a rename or removal in it
// survives a power cut. False with the system's reason.
bool syncFolderOf(const QString& path, QString* error);
