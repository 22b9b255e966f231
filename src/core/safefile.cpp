#include "core/safefile.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemReason(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

// Writes straight to a descriptor. The first failure is kept in *failure and
// every later write fails too, so content with a hole in it is never finished.
class DescriptorDevice final : public QIODevice
{
public:
    DescriptorDevice(const int& fd, QString& failure)
        : m_fd(fd)
        , m_failure(failure)
    {
    }

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char*, qint64) override { return -1; }

    qint64 writeData(const char* data, qint64 len) override
    {
        if (!m_failure.isEmpty())
            return -1;
        for (qint64 done = 0; done < len;) {
            const ssize_t n = ::write(m_fd, data + done, size_t(len - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                m_failure = systemReason(n < 0 ? errno : EIO);
                setErrorString(m_failure);
                return -1;
            }
            done += n;
        }
        return len;
    }

private:
    const int& m_fd;
    QString& m_failure;
};

} // namespace

SafeFile::SafeFile(QString path)
    : m_path(std::move(path))
    , m_device(std::make_unique<DescriptorDevice>(m_fd, m_reason))
{
}

SafeFile::~SafeFile()
{
    discard();
}

bool SafeFile::open()
{
    if (m_fd >= 0 || m_committed)
        return failWith(QStringLiteral("the file is open already"));
    m_reason.clear();
    const QByteArray target = QFile::encodeName(m_path);
    // A replaced file keeps its permissions (a shortcut stays executable).
    struct stat existing = {};
    const bool exists = ::stat(target.constData(), &existing) == 0 && S_ISREG(existing.st_mode);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name =
            target + '.' + QByteArray::number(QRandomGenerator::global()->generate() & 0xffffff, 16) + ".tmp";
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return failWith(systemReason(errno));
        m_fd = fd;
        m_tempPath = QFile::decodeName(name);
        if (exists && ::fchmod(fd, existing.st_mode & 07777) != 0) {
            const int code = errno;
            discard();
            return failWith(systemReason(code));
        }
        m_device->open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        return true;
    }
    return failWith(QStringLiteral("no free temporary file name"));
}

bool SafeFile::commit()
{
    if (m_fd < 0)
        return failWith(m_reason.isEmpty() ? QStringLiteral("the file is not open") : m_reason);
    if (!m_reason.isEmpty()) {
        const QString reason = m_reason;
        discard();
        return failWith(reason);
    }
    m_device->close();
    // The data reaches the disk before the name does: a power cut after the
    // rename never finds a file of the right name with its content missing.
    const int fd = m_fd;
    m_fd = -1;
    if (::fsync(fd) != 0) {
        const int code = errno;
        ::close(fd);
        discard();
        return failWith(systemReason(code));
    }
    if (::close(fd) != 0) {
        const int code = errno;
        discard();
        return failWith(systemReason(code));
    }
    const QByteArray temp = QFile::encodeName(m_tempPath);
    const QByteArray target = QFile::encodeName(m_path);
    if (::rename(temp.constData(), target.constData()) != 0) {
        const int code = errno;
        discard();
        return failWith(systemReason(code));
    }
    m_committed = true;
    m_tempPath.clear();
    // Makes the rename itself durable. The file is in place already, so a
    // folder that cannot be synced (some file systems refuse) is no failure.
    const int dir = ::open(folderOf(target).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

void SafeFile::discard()
{
    if (m_device->isOpen())
        m_device->close();
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_tempPath.isEmpty()) {
        ::unlink(QFile::encodeName(m_tempPath).constData());
        m_tempPath.clear();
    }
}

void SafeFile::fail(const QString& reason)
{
    if (m_reason.isEmpty())
        m_reason = reason;
}

bool SafeFile::failWith(const QString& reason)
{
    m_reason = reason;
    return false;
}

QString SafeFile::errorText() const
{
    return QStringLiteral("不能写入文件（%1）：%2").arg(QDir::toNativeSeparators(m_path), m_reason);
}

bool SafeFile::write(const QString& path, const QByteArray& bytes, QString* reason)
{
    SafeFile file(path);
    const bool ok = file.open() && file.device().write(bytes) == bytes.size() && file.commit();
    if (!ok && reason)
        *reason = file.errorString();
    return ok;
}
