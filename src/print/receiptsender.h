#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class QThread;

// Where the bytes of a directly driven till printer go.
struct PrinterPort
{
    enum class Kind {
        CupsQueue,  // a CUPS queue in raw mode: `lp -d <target> -o raw`
        DeviceFile, // a device such as /dev/usb/lp0, written directly
        Network,    // "host" or "host:port", port 9100 when not given
    };
    Kind kind = Kind::Network;
    QString target;
};

// Sends `bytes` and waits for them to be taken; blocks up to `timeoutMs` for
// a network printer. Returns an empty text on success, otherwise the message
// for the cashier (Chinese), which says what to check.
QString sendToPrinter(const PrinterPort& port, const QByteArray& bytes, int timeoutMs = 5000);

// Sends receipts on a thread of its own, one after the other, so that the
// window that asked returns at once. The result comes back on the thread that
// made the sender.
class ReceiptSender final : public QObject
{
    Q_OBJECT
public:
    explicit ReceiptSender(QObject* parent = nullptr);
    // Waits for the receipt being sent (at most its timeout).
    ~ReceiptSender() override;

    void send(const PrinterPort& port, const QByteArray& bytes);

signals:
    // After each send: `error` is empty when the printer took the bytes.
    void finished(const QString& error);

private:
    QThread* m_thread;
    QObject* m_worker; // lives on m_thread
};
