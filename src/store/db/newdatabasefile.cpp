#include "store/db/newdatabasefile.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// Plain system calls on the encoded names: a relative name stays relative, so
// this works in a folder whose name is not valid text (Qt would make the name
// absolute through a decoded, and so altered, current folder).

namespace {

// The files the engine may keep beside a temporary database file.
constexpr const char* kEngineSuffixes[] = {"-journal", "-wal", "-shm"};

// When this program was loaded: a temporary file changed later may belong to
// a run that started after it and is still working.
const std::chrono::system_clock::time_point kProcessStart = std::chrono::system_clock::now();

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
        for (const char* suffix : kEngineSuffixes)
            ::unlink(QFile::encodeName(m_tempPath + QLatin1String(suffix)).constData());
    }
    release();
}

void NewDatabaseFile::release()
{
    // Only once no connection of the engine is open on the file: closing a
    // descriptor drops every lock the process holds on the file.
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
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
            // The in-use mark: a whole-file lock of its own kind, apart from
            // the engine's record locks, that ends with this process at the latest.
            ::flock(fd, LOCK_EX | LOCK_NB);
            m_fd = fd;
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
    release();
    return syncPath(folderOf(target), O_RDONLY | O_DIRECTORY, error);
}

int NewDatabaseFile::removeStale(const QString& finalPath)
{
    const QByteArray encoded = QFile::encodeName(finalPath);
    const QByteArray folder = folderOf(encoded);
    const QString name = QFile::decodeName(encoded.mid(encoded.lastIndexOf('/') + 1));
    if (name.isEmpty())
        return 0;
    QString pattern = QRegularExpression::escape(name);
    pattern.replace(QLatin1String("\\*"), QLatin1String(".*"));
    const QRegularExpression temporary(QStringLiteral("^%1\\.[0-9a-f]{6}\\.new(-journal|-wal|-shm)?$").arg(pattern));

    const auto stale = [](const QByteArray& path) {
        struct stat st = {};
        if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
            return false;
        const auto changed =
            std::chrono::system_clock::time_point(std::chrono::duration_cast<std::chrono::system_clock::duration>(
                std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec)));
        return changed < kProcessStart;
    };
    const auto inUse = [](const QByteArray& path) {
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            return errno != ENOENT;
        const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        ::close(fd);
        return held;
    };

    QList<QByteArray> files;      // the temporary database files
    QList<QByteArray> companions; // the engine's files beside them
    if (DIR* dir = ::opendir(folder.constData())) {
        while (const dirent* entry = ::readdir(dir)) {
            const QByteArray entryName(entry->d_name);
            const QRegularExpressionMatch m = temporary.match(QFile::decodeName(entryName));
            if (!m.hasMatch())
                continue;
            const QByteArray path = folder + '/' + entryName;
            (m.capturedLength(1) == 0 ? files : companions).append(path);
        }
        ::closedir(dir);
    }
    int removed = 0;
    for (const QByteArray& file : files) {
        if (!stale(file) || inUse(file))
            continue;
        if (::unlink(file.constData()) == 0)
            ++removed;
    }
    // The engine's files go with their database file; left alone they are
    // removed once old enough.
    for (const QByteArray& file : companions) {
        QByteArray owner = file;
        for (const char* suffix : kEngineSuffixes)
            if (owner.endsWith(suffix))
                owner.chop(qsizetype(std::strlen(suffix)));
        if (::access(owner.constData(), F_OK) == 0 || !stale(file))
            continue;
        if (::unlink(file.constData()) == 0)
            ++removed;
    }
    return removed;
}

bool syncFolderOf(const QString& path, QString* error)
{
    return syncPath(folderOf(QFile::encodeName(path)), O_RDONLY | O_DIRECTORY, error);
}
