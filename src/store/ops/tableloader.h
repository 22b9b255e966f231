#pragma once

#include "core/result.h"
#include "store/db/shoplocation.h"

#include <QObject>

#include <functional>
#include <memory>

class MemTable;
class QThread;

// Reads an in-memory table whole on a connection of its own, in a worker
// thread, and hands the rows to the table when done (MemTable::adopt), so
// that the windows' thread goes on meanwhile. Nothing reads the rows before
// the handover; the rows this program commits meanwhile are read again after
// it, and when another program wrote the database meanwhile the table is read
// once more in the same way (it stays readable as it is until then).
class TableLoader final : public QObject
{
    Q_OBJECT
public:
    explicit TableLoader(MemTable& table, QObject* parent = nullptr);
    // Stops a running read and waits for its end.
    ~TableLoader() override;

    // Starts a read of the table on a new connection to `location`; nothing
    // happens when one is running already.
    void start(const ShopLocation& location);
    bool isRunning() const { return m_thread != nullptr; }
    // Waits until the running read is done and handed over, letting painting
    // and timers through (not input); its outcome. The last outcome when no
    // read runs.
    Result<void> wait();
    // Stops the running read at its next row and waits for its end: the
    // table stays as it was (the connection is closing, the program ends).
    void abandon();
    const Result<void>& outcome() const { return m_outcome; }

    // Tests: called in the worker thread at each step of the read (see
    // MemTable::setLoadProgress), after the step is posted to progress(), so
    // that a test can write or look while it reads.
    using WorkerStep = std::function<void(qint64 read)>;
    void setWorkerStep(WorkerStep step) { m_workerStep = std::move(step); }

signals:
    // Rows read so far and rows expected, as MemTable::LoadProgress tells them.
    void progress(qint64 read, qint64 expected);
    // A read ended: the table holds its rows, or (an error) stays as it was.
    void finished(const Result<void>& outcome);

private:
    struct Job;
    void complete(QThread* thread);
    void launch();

    MemTable& m_table;
    ShopLocation m_location;
    std::shared_ptr<Job> m_job;
    QThread* m_thread = nullptr;
    Result<void> m_outcome;
    WorkerStep m_workerStep;
    int m_again = 0;          // reads made again in a row because another program wrote
    quint64 m_generation = 0; // moves with every read started or ended
};
