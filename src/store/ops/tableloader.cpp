#include "store/ops/tableloader.h"

#include "store/db/database.h"
#include "store/memory/memtable.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <mutex>

namespace {

// One read at a time: the stock table, read from the login window on, is
// done before the sale table's read (begun at the login) starts, so the list
// the user waits for comes first, and two reads do not hold their buffers
// and caches at the same time.
std::mutex g_oneReadAtATime;

} // namespace

struct TableLoader::Job
{
    ShopLocation location;
    QString table;
    QStringList likeColumns;
    WorkerStep step;
    QThread* home = nullptr;       // where the rows are handed over
    std::atomic<bool> stop{false}; // the rows are no longer wanted
    // Filled by the worker; read once its thread has finished.
    std::unique_ptr<MemTable> rows;
    bool ok = false;
    QString error;
};

TableLoader::TableLoader(MemTable& table, QObject* parent)
    : QObject(parent)
    , m_table(table)
{
}

TableLoader::~TableLoader()
{
    abandon();
}

void TableLoader::start(const ShopLocation& location)
{
    if (m_thread)
        return;
    m_again = 0;
    m_location = location;
    QString error;
    if (!m_table.beginLoadElsewhere(&error)) {
        m_outcome = Error::engine(error);
        emit finished(m_outcome);
        return;
    }
    launch();
}

void TableLoader::launch()
{
    auto job = std::make_shared<Job>();
    job->location = m_location;
    job->table = m_table.table();
    job->likeColumns = m_table.likeColumns();
    job->step = m_workerStep;
    job->home = thread();
    QThread* worker = QThread::create([job, this] {
        // The connection lives in this thread only; the copy keeps its rows
        // after it closes and goes to the windows' thread to be handed over.
        auto rows = std::unique_ptr<MemTable>();
        const std::lock_guard<std::mutex> oneAtATime(g_oneReadAtATime);
        if (job->stop) {
            job->error = QStringLiteral("The read of table %1 was stopped").arg(job->table);
            return;
        }
        {
            Database db;
            QString error;
            const bool opened = job->location.isServer() ? db.openServer(job->location.target(), &error)
                                                         : db.open(job->location.target(), false, &error);
            if (!opened) {
                job->error = error;
                return;
            }
            // Every page is read once, in order: a small cache serves, and
            // the program does not hold a second large one while it reads.
            if (!job->location.isServer())
                (void)db.exec(QStringLiteral("PRAGMA cache_size = -2048"), &error);
            rows = std::make_unique<MemTable>(db, job->table, job->likeColumns);
            // The loader outlives the thread (its destructor waits), and a
            // step not delivered when it goes is dropped with it.
            rows->setLoadProgress([job, this](qint64 read, qint64 expected) {
                QMetaObject::invokeMethod(
                    this, [this, read, expected] { emit progress(read, expected); }, Qt::QueuedConnection);
                if (job->step)
                    job->step(read);
            });
            rows->setLoadStop(&job->stop);
            job->ok = rows->load(&job->error);
            rows->setLoadProgress({});
            rows->setLoadStop(nullptr);
        }
        rows->moveToThread(job->home);
        job->rows = std::move(rows);
    });
    m_job = job;
    m_thread = worker;
    const quint64 generation = ++m_generation;
    connect(worker, &QThread::finished, this, [this, generation] {
        if (generation == m_generation && m_thread)
            complete(m_thread);
    });
    worker->start();
}

void TableLoader::complete(QThread* thread)
{
    if (thread != m_thread)
        return;
    if (m_table.isLoading()) {
        // Events run inside a load made here (its progress display): the
        // rows are handed over after it.
        QTimer::singleShot(0, this, [this, generation = m_generation] {
            if (generation == m_generation && m_thread)
                complete(m_thread);
        });
        return;
    }
    thread->wait();
    ++m_generation;
    const std::shared_ptr<Job> job = std::exchange(m_job, nullptr);
    m_thread = nullptr;
    thread->deleteLater();
    QString error;
    if (!job->ok) {
        m_table.abandonLoadElsewhere();
        m_outcome = Error::engine(job->error);
        emit finished(m_outcome);
        return;
    }
    const bool adopted = m_table.adopt(*job->rows, &error);
    job->rows.reset();
    bool changed = false;
    if (adopted && m_table.changedElsewhere(&changed, &error) && changed && m_again < 3) {
        // Another program wrote while the other connection read: read again,
        // the rows held stay readable meanwhile.
        ++m_again;
        QString notStarted;
        if (m_table.beginLoadElsewhere(&notStarted)) {
            launch();
            m_outcome = {};
            emit finished(m_outcome);
            return;
        }
    }
    m_outcome = adopted ? Result<void>() : Result<void>(Error::engine(error));
    emit finished(m_outcome);
}

Result<void> TableLoader::wait()
{
    // A read made again after the first handover leaves the table readable:
    // only the first one is waited for.
    // Inside a load made here (events run by its progress display) there is
    // nothing to wait for: that load brings the rows.
    while (m_thread && !m_table.isLoaded() && !m_table.isLoading()) {
        QThread* running = m_thread;
        // The finished signal may hand the rows over while events are let through.
        while (m_thread == running && !running->wait(QDeadlineTimer(20)))
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (m_thread == running)
            complete(running);
    }
    return m_outcome;
}

void TableLoader::abandon()
{
    if (!m_thread)
        return;
    m_job->stop = true; // ends the read at its next row
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    ++m_generation; // its finished signal, if still queued, finds nothing
    m_job.reset();
    m_table.abandonLoadElsewhere();
}
