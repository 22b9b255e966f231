#include "store/newdatabasefile.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

// Plain system calls on the encoded names: a relative name stays relative, so
// this works in a folder whose name is not valid text (Qt would make the name
// absolute through a decoded, and so altered, current folder).

namespace {

QString systemError(const QString& path)
{
    return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
}

// Flushes a file or folder to the disk; a rename is durable only once the
// folder that holds it is synced.
bool syncPath(const QByteArray& path, int flags, QString* error)
{
    const int fd = ::open(path.constData(), flags | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        *error = systemError(QFile::decodeName(path));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::close(fd);
    return true;
}

QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

} // namespace

NewDatabaseFile::NewDatabaseFile(QString finalPath)
    : m_finalPath(std::move(finalPath))
{
}

NewDatabaseFile::~NewDatabaseFile()
{
    if (!m_published && !m_tempPath.isEmpty()) {
        ::unlink(QFile::encodeName(m_tempPath).constData());
        for (const char* suffix : {"-journal", "-wal", "-shm"})
            ::unlink(QFile::encodeName(m_tempPath + QLatin1String(suffix)).constData());
    }
}

bool NewDatabaseFile::reserve(QString* error)
{
    // Same folder as the final file, so the rename never crosses file systems.
    // Readable by all, as the engine would have created it.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = QStringLiteral("%1.%2.new")
                                 .arg(m_finalPath)
                                 .arg(QRandomGenerator::global()->generate() & 0xffffff, 6, 16, QLatin1Char('0'));
        const int fd = ::open(QFile::encodeName(name).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            m_tempPath = name;
            return true;
        }
        if (errno != EEXIST) {
            *error = systemError(name);
            return false;
        }
    }
    *error = QStringLiteral("%1: no free temporary name").arg(m_finalPath);
    return false;
}

bool NewDatabaseFile::publish(QString* error, Existing existing)
{
    if (m_tempPath.isEmpty()) {
        *error = QStringLiteral("no temporary file to publish");
        return false;
    }
    const QByteArray temp = QFile::encodeName(m_tempPath);
    const QByteArray target = QFile::encodeName(m_finalPath);
    // Closing the last connection folds the write-ahead log into the file and
    // removes it; a log still there holds commits the file alone lacks.
    if (::access((temp + "-wal").constData(), F_OK) == 0) {
        *error = QStringLiteral("%1: the write-ahead log was not folded back into the file").arg(m_tempPath);
        return false;
    }
    if (!syncPath(temp, O_RDONLY, error))
        return false;
    // Never replaces a file that appeared meanwhile. A file system that cannot
    // rename without replacing gets the check and the rename one after the other.
    int renamed = existing == Existing::Replace
                      ? ::rename(temp.constData(), target.constData())
                      : ::renameat2(AT_FDCWD, temp.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE);
    if (renamed != 0 && existing == Existing::Keep && (errno == EINVAL || errno == ENOSYS)) {
        if (::access(target.constData(), F_OK) == 0)
            errno = EEXIST;
        else
            renamed = ::rename(temp.constData(), target.constData());
    }
    if (renamed != 0) {
        *error = QStringLiteral("cannot rename %1 to %2: %3")
                     .arg(m_tempPath, m_finalPath, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_published = true;
    return syncPath(folderOf(target), O_RDONLY | O_DIRECTORY, error);
}

bool syncFolderOf(const QString& path, QString* error)
{
    return syncPath(folderOf(QFile::encodeName(path)), O_RDONLY | O_DIRECTORY, error);
}
