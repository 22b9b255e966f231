#include "print/receiptsender.h"

#include "core/messageport.h"

#include <QFile>
#include <QMetaObject>
#include <QProcess>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Writes all of `bytes` to `fd`, waiting for it at most `timeoutMs` each time it is full.
int writeAll(int fd, const QByteArray& bytes, int timeoutMs)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            const int r = ::poll(&p, 1, timeoutMs);
            if (r == 0)
                return ETIMEDOUT;
            if (r < 0 && errno != EINTR)
                return errno;
            continue;
        }
        return n < 0 ? errno : EIO;
    }
    return 0;
}

QString sendToDevice(const QString& path, const QByteArray& bytes, int timeoutMs)
{
    if (path.trimmed().isEmpty())
        return QStringLiteral("小票打印机的设备文件没有设置，请在“打印设置”中填写（如 /dev/usb/lp0）。");
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        if (e == ENOENT || e == ENXIO || e == ENODEV)
            return QStringLiteral("找不到小票打印机“%1”：请检查打印机电源和USB连接。").arg(path);
        if (e == EACCES || e == EPERM)
            return QStringLiteral("没有权限使用小票打印机“%1”：请把当前用户加入 lp 组。").arg(path);
        return QStringLiteral("无法打开小票打印机“%1”：%2").arg(path, systemReason(e));
    }
    const int e = writeAll(fd, bytes, timeoutMs);
    ::close(fd);
    if (e == ETIMEDOUT)
        return QStringLiteral("小票打印机“%1”没有响应：请检查是否缺纸或上盖未合好。").arg(path);
    if (e != 0)
        return QStringLiteral("向小票打印机“%1”发送失败：%2").arg(path, systemReason(e));
    return {};
}

QString sendToNetwork(const QString& target, const QByteArray& bytes, int timeoutMs)
{
    QString host = target.trimmed();
    QString port = QStringLiteral("9100");
    const qsizetype colon = host.lastIndexOf(QLatin1Char(':'));
    if (colon > 0 && host.count(QLatin1Char(':')) == 1) {
        port = host.mid(colon + 1);
        host.truncate(colon);
    }
    if (host.isEmpty())
        return QStringLiteral("小票打印机的网络地址没有设置，请在“打印设置”中填写（如 192.168.1.100）。");
    const QString where = host + QLatin1Char(':') + port;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.toUtf8().constData(), port.toUtf8().constData(), &hints, &found) != 0 || !found)
        return QStringLiteral("找不到小票打印机 %1：请检查网络地址。").arg(where);
    int error = ECONNREFUSED;
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            error = errno;
            continue;
        }
        if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
            error = 0;
            break;
        }
        error = errno;
        if (error == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            const int r = ::poll(&p, 1, timeoutMs);
            socklen_t len = sizeof error;
            if (r == 0)
                error = ETIMEDOUT;
            else if (r < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
                error = errno;
            if (error == 0)
                break;
        }
        ::close(fd);
        fd = -1;
    }
    ::freeaddrinfo(found);
    if (fd >= 0 && error == 0) {
        error = writeAll(fd, bytes, timeoutMs);
        // The printer has the bytes once it has seen the end of them.
        ::shutdown(fd, SHUT_WR);
    }
    if (fd >= 0)
        ::close(fd);
    switch (error) {
    case 0:
        return {};
    case ECONNREFUSED:
        return QStringLiteral("小票打印机 %1 拒绝连接：请检查打印机是否开机、地址和端口是否正确。").arg(where);
    case ETIMEDOUT:
        return QStringLiteral("连接小票打印机 %1 超时：请检查打印机电源和网线。").arg(where);
    case EHOSTUNREACH:
    case ENETUNREACH:
        return QStringLiteral("无法到达小票打印机 %1：请检查网络。").arg(where);
    default:
        return QStringLiteral("向小票打印机 %1 发送失败：%2").arg(where, systemReason(error));
    }
}

QString sendToCups(const QString& queue, const QByteArray& bytes, int timeoutMs)
{
    if (queue.trimmed().isEmpty())
        return QStringLiteral("小票打印机的打印队列没有设置，请在“打印设置”中填写。");
    QProcess lp;
    lp.start(QStringLiteral("lp"), {QStringLiteral("-d"), queue.trimmed(), QStringLiteral("-o"), QStringLiteral("raw"),
                                    QStringLiteral("-t"), QStringLiteral("POS小票"), QStringLiteral("-")});
    if (!lp.waitForStarted(timeoutMs))
        return QStringLiteral("无法启动打印命令 lp：请安装 CUPS（cups-client）。");
    lp.write(bytes);
    lp.closeWriteChannel();
    if (!lp.waitForFinished(timeoutMs)) {
        lp.kill();
        lp.waitForFinished(1000);
        return QStringLiteral("打印队列“%1”没有响应：请检查 CUPS 打印服务。").arg(queue);
    }
    if (lp.exitStatus() != QProcess::NormalExit || lp.exitCode() != 0) {
        const QString reason = QString::fromLocal8Bit(lp.readAllStandardError()).trimmed();
        return QStringLiteral("打印队列“%1”没有接受小票：%2").arg(queue, reason);
    }
    return {};
}

} // namespace

QString sendToPrinter(const PrinterPort& port, const QByteArray& bytes, int timeoutMs)
{
    switch (port.kind) {
    case PrinterPort::Kind::CupsQueue:
        return sendToCups(port.target, bytes, timeoutMs);
    case PrinterPort::Kind::DeviceFile:
        return sendToDevice(port.target, bytes, timeoutMs);
    case PrinterPort::Kind::Network:
        return sendToNetwork(port.target, bytes, timeoutMs);
    }
    return {};
}

ReceiptSender::ReceiptSender(QObject* parent)
    : QObject(parent)
    , m_thread(new QThread)
    , m_worker(new QObject)
{
    m_thread->setObjectName(QStringLiteral("receipt sender"));
    // A printer that fails tells the cashier; the sale stays as it was.
    connect(this, &ReceiptSender::finished, this, [](const QString& error) {
        if (!error.isEmpty())
            messagePort().error(error);
    });
    m_worker->moveToThread(m_thread);
    m_thread->start();
}

ReceiptSender::~ReceiptSender()
{
    // Queued after the receipts still to go: the worker ends its thread once they are out.
    QMetaObject::invokeMethod(
        m_worker,
        [w = m_worker] {
            delete w;
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    m_thread->wait();
    delete m_thread;
}

void ReceiptSender::send(const PrinterPort& port, const QByteArray& bytes)
{
    QMetaObject::invokeMethod(
        m_worker,
        [this, port, bytes] {
            const QString error = sendToPrinter(port, bytes);
            QMetaObject::invokeMethod(
                this, [this, error] { emit finished(error); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}
