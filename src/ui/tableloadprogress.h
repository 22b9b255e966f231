#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

class MemTable;
class QProgressDialog;
class QWidget;

// Shows a long read of an in-memory table as a progress dialog over `owner`:
// nothing while the read is short, then "<label> N / M" once it has taken
// showAfterMs(), repainted every few thousand rows. Only painting and timers
// run meanwhile; input waits until the read is done, and there is no cancel
// (the window needs its table). The dialog closes when the table is loaded.
// A read in the background (TableLoader) is shown the same way; input waits
// only while a window waits for it.
class TableLoadProgress final : public QObject
{
    Q_OBJECT
public:
    TableLoadProgress(MemTable& table, QString label, QWidget* owner);
    ~TableLoadProgress() override;

    // How long a read runs before the dialog shows (500 ms); tests make it 0.
    static int showAfterMs();
    static void setShowAfterMs(int ms);

private:
    void step(qint64 read, qint64 expected);
    void finish();

    MemTable& m_table;
    QString m_label;
    QWidget* m_owner;
    QElapsedTimer m_started;
    QPointer<QProgressDialog> m_dialog;
};
