#include "store/db/backup.h"

#include "core/clock.h"
#include "core/numbers.h"
#include "store/db/database.h"
#include "store/db/newdatabasefile.h"
#include "store/db/preparedstatement.h"
#include "store/db/schema.h"

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace backup {

namespace {

// The files the engine keeps beside a database while it writes to it.
constexpr std::array<const char*, 3> kJournalSuffixes{"-journal", "-wal", "-shm"};

QString systemError(int code = errno)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// A failed write is the fault of the disk that holds the file (full, read
// only, gone), never of the data being copied: it names the file and the
// system's reason.
QString writeFailure(const QString& path, const QString& reason)
{
    return QStringLiteral("不能写入文件（%1）：%2").arg(shown(path), reason);
}

QString readFailure(const QString& path, const QString& reason)
{
    return QStringLiteral("不能读取文件（%1）：%2").arg(shown(path), reason);
}

// Why a copy failed; `writing` when writing the copy failed, not reading or checking it.
struct Failure
{
    QString text;
    bool writing = false;

    bool set(const QString& why, bool whileWriting = false)
    {
        text = why;
        writing = whileWriting;
        return false;
    }
};

// A file written through one descriptor, each failure with the system's reason.
class Output final
{
public:
    // `shownAs` is the file the message names: the file being replaced,
    // rather than the temporary name it is built under.
    Output(QString path, QString shownAs)
        : m_path(std::move(path))
        , m_shownAs(std::move(shownAs))
    {
    }
    ~Output()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    bool open(Failure* failure)
    {
        m_fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        return m_fd >= 0 || fail(failure, errno);
    }
    bool write(const char* data, qint64 size, Failure* failure)
    {
        for (qint64 done = 0; done < size;) {
            const ssize_t n = ::write(m_fd, data + done, size_t(size - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return fail(failure, n < 0 ? errno : ENOSPC);
            done += n;
        }
        return true;
    }
    bool close(Failure* failure)
    {
        const int fd = std::exchange(m_fd, -1);
        return ::close(fd) == 0 || fail(failure, errno);
    }

private:
    bool fail(Failure* failure, int code) { return failure->set(writeFailure(m_shownAs, systemError(code)), true); }

    QString m_path;
    QString m_shownAs;
    int m_fd = -1;
};

// Both names lead to one file, however they are spelled (links included).
bool sameFile(const QString& a, const QString& b)
{
    struct stat sa = {};
    struct stat sb = {};
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0 || ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool exists(const QString& path)
{
    return ::access(QFile::encodeName(path).constData(), F_OK) == 0;
}

// A connection of its own to a backup file the user chose, which is only
// read: it opens as an unchanging file, so the engine writes nothing beside
// it (no log index for a file in write-ahead-log mode) and a file on
// read-only media opens as well. Only a log beside the file, whose commits
// belong to it, needs the ordinary read-only open, which reads them.
class Source final
{
public:
    Source() = default;
    ~Source() { sqlite3_close_v2(m_db); }
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    bool open(const QString& path, QString* error)
    {
        const QByteArray name = QFile::encodeName(path);
        const bool logged = QFileInfo(path + QStringLiteral("-wal")).size() > 0;
        // Any byte of the name that could read as part of the address is escaped.
        const QByteArray uri = (name.startsWith('/') ? QByteArray("file://") : QByteArray("file:")) +
                               name.toPercentEncoding("/") + "?mode=ro&immutable=1";
        const int rc = logged
                           ? sqlite3_open_v2(name.constData(), &m_db, SQLITE_OPEN_READONLY, nullptr)
                           : sqlite3_open_v2(uri.constData(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
        if (rc != SQLITE_OK) {
            *error = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("out of memory");
            return false;
        }
        // The key is a fixed text of the code; reading the schema fails on a
        // file that is not a database or has another key.
        const QByteArray setup =
            QStringLiteral("PRAGMA key = '%1'; SELECT count(*) FROM sqlite_master;").arg(Database::password()).toUtf8();
        if (sqlite3_exec(m_db, setup.constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            *error = QString::fromUtf8(sqlite3_errmsg(m_db));
            return false;
        }
        return true;
    }
    sqlite3* handle() const { return m_db; }

private:
    sqlite3* m_db = nullptr;
};

// Copies every page of `source` into `dest` with the engine's online backup;
// `file` is the file being written, as messages name it.
bool onlineCopy(sqlite3* source, sqlite3* dest, const QString& file, Failure* failure)
{
    sqlite3_backup* b = sqlite3_backup_init(dest, "main", source, "main");
    if (!b)
        return failure->set(QString::fromUtf8(sqlite3_errmsg(dest)));
    int rc;
    // Another program writing the file holds the backup up for a moment; the
    // engine starts the copy again by itself when the source changes.
    int waits = 0;
    do {
        // In one step: a copy in pieces starts again whenever another
        // program writes between two of them, and might never end in a busy shop.
        rc = sqlite3_backup_step(b, -1);
        if ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && ++waits <= 100)
            sqlite3_sleep(50);
        else if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
            break;
    } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
    sqlite3_backup_finish(b);
    if (rc == SQLITE_DONE)
        return true;
    // A page that could not be written: the disk of the copy is full or failed.
    const int code = sqlite3_extended_errcode(dest);
    if ((code & 0xff) == SQLITE_FULL || code == SQLITE_IOERR_WRITE || code == SQLITE_IOERR_FSYNC ||
        code == SQLITE_IOERR_TRUNCATE) {
        // The engine's own words ("disk I/O error") only when the system gave no reason.
        QString reason = QString::fromUtf8(sqlite3_errmsg(dest));
        if (const int system = sqlite3_system_errno(dest))
            reason = systemError(system);
        else if ((code & 0xff) == SQLITE_FULL)
            reason = systemError(ENOSPC);
        return failure->set(writeFailure(file, reason), true);
    }
    const char* text = sqlite3_errcode(dest) != SQLITE_OK ? sqlite3_errmsg(dest) : sqlite3_errstr(rc);
    return failure->set(QString::fromUtf8(text));
}

// Copies the encrypted pages of `source` as they lie in its file, while a
// read transaction keeps every writer out of the file. That is the file the
// engine would give page by page, without decrypting and encrypting every
// page on the way. With a write-ahead log the file alone is the database only
// once the log is folded into it and stays empty. False with *tried unset when this way does
// not apply; false with *tried set on a failure of the copy itself.
bool copyFilePages(sqlite3* source, const NewDatabaseFile& file, bool* tried, Failure* failure,
                   const Progress& progress)
{
    *tried = false;
    bool rollback = false;
    {
        QString ignored;
        const PreparedStatement mode(source, "PRAGMA journal_mode", &ignored);
        if (mode.isValid() && sqlite3_step(mode.get()) == SQLITE_ROW)
            rollback = qstricmp(reinterpret_cast<const char*>(sqlite3_column_text(mode.get(), 0)), "wal") != 0;
    }
    // A connection in the middle of its own transaction cannot take a read lock of its own.
    if (!sqlite3_get_autocommit(source))
        return false;
    // With a write-ahead log: fold the log into the file first. When the log
    // is still empty once the read below has begun, the read sees the file
    // alone, and no checkpoint can change the file while the read lasts.
    const char* walPath = rollback ? nullptr : sqlite3_db_filename(source, "main");
    if (walPath && sqlite3_exec(source, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr) != SQLITE_OK)
        return false;
    if (sqlite3_exec(source, "BEGIN; SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_exec(source, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }
    struct EndRead
    {
        sqlite3* db;
        ~EndRead() { sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr); }
    } endRead{source};
    if (walPath && QFileInfo(QFile::decodeName(walPath) + QStringLiteral("-wal")).size() != 0)
        return false; // another program wrote meanwhile: the engine's own backup copies that
    // The engine's own handle of the file: opening and closing another
    // descriptor of it would drop the process's locks on it.
    sqlite3_file* in = nullptr;
    if (sqlite3_file_control(source, "main", SQLITE_FCNTL_FILE_POINTER, &in) != SQLITE_OK || !in || !in->pMethods)
        return false;
    *tried = true;
    const QString sourceName = QFile::decodeName(sqlite3_db_filename(source, "main"));
    sqlite3_int64 size = 0;
    if (in->pMethods->xFileSize(in, &size) != SQLITE_OK)
        return failure->set(readFailure(sourceName, QString::fromUtf8(sqlite3_errstr(SQLITE_IOERR))));
    Output out(file.tempPath(), file.finalPath());
    if (!out.open(failure))
        return false;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (sqlite3_int64 at = 0; at < size;) {
        const int n = int(std::min<sqlite3_int64>(chunk.size(), size - at));
        const int rc = in->pMethods->xRead(in, chunk.data(), n, at);
        if (rc != SQLITE_OK)
            return failure->set(readFailure(sourceName, QString::fromUtf8(sqlite3_errstr(rc))));
        if (!out.write(chunk.constData(), n, failure))
            return false;
        at += n;
        if (progress)
            progress(Step::Copy, at, size);
    }
    return out.close(failure);
}

// Opens the finished copy once more, as the program will open it, and checks
// it. The open also turns a copy of a file in write-ahead-log mode back to the
// rollback journal, so the copy carries no mode that needs files beside it.
bool checkCopy(const QString& path, Failure* failure, const Progress& progress)
{
    if (progress)
        progress(Step::Check, 0, 0);
    Database db;
    QString error;
    if (!db.open(path, false, &error))
        return failure->set(error);
    // The index checks look rows up all over the file: with every page kept
    // decrypted in memory (up to 400 MB) each is decrypted once, not once per lookup.
    QString ignored;
    db.exec(QStringLiteral("PRAGMA cache_size = -400000"), &ignored);
    const QStringList problems = schema::check(db);
    db.releaseCache(); // the checked pages are not read again
    if (!problems.isEmpty())
        return failure->set(problems.join(QStringLiteral("; ")));
    return true;
}

// Reserves the temporary file of `file` (unless it is reserved already),
// copies `source` into it with the online backup and checks it.
bool writeCheckedCopy(sqlite3* source, NewDatabaseFile& file, Failure* failure, const Progress& progress)
{
    QString error;
    if (file.tempPath().isEmpty() && !file.reserve(&error))
        return failure->set(error, true);
    {
        Database dest;
        if (!dest.open(file.tempPath(), true, &error))
            return failure->set(writeFailure(file.finalPath(), error), true);
        // Nobody else ever opens the temporary file, and publishing syncs it:
        // the copy needs neither a journal nor syncs of its own.
        QString ignored;
        dest.exec(QStringLiteral("PRAGMA journal_mode = OFF"), &ignored);
        dest.exec(QStringLiteral("PRAGMA synchronous = OFF"), &ignored);
        if (!onlineCopy(source, dest.handle(), file.finalPath(), failure))
            return false;
    }
    return checkCopy(file.tempPath(), failure, progress);
}

// Writes a checked copy of `source` into the reserved temporary file of `file`:
// its pages as they lie in the file where that applies, else with the online backup.
bool writeCopy(sqlite3* source, NewDatabaseFile& file, Failure* failure, const Progress& progress)
{
    bool tried = false;
    if (copyFilePages(source, file, &tried, failure, progress))
        return checkCopy(file.tempPath(), failure, progress);
    return !tried && writeCheckedCopy(source, file, failure, progress);
}

// The folder that will hold `target` exists and is a folder.
bool folderExists(const QString& target, QString* error)
{
    const QString folder = QFileInfo(target).absolutePath();
    if (QFileInfo(folder).isDir())
        return true;
    *error = QStringLiteral("文件夹不存在：%1").arg(shown(folder));
    return false;
}

// `path` names the database file itself or a journal the engine keeps beside it.
bool isDatabaseOrJournal(const QString& path, const QString& dbPath)
{
    if (sameFile(path, dbPath))
        return true;
    const QString target = QFileInfo(path).absoluteFilePath();
    const QString db = QFileInfo(dbPath).absoluteFilePath();
    for (const char* suffix : kJournalSuffixes)
        if (target == db + QLatin1String(suffix))
            return true;
    return false;
}

// The file a backup to `target` replaces: a symbolic link is followed to the
// file it names (a link to the copy on a USB stick updates that copy). The
// result may name no file yet.
bool followLinks(const QString& target, QString* file, QString* error)
{
    QByteArray path = QFile::encodeName(target);
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st = {};
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            *file = QFile::decodeName(path);
            return true;
        }
        QByteArray link(PATH_MAX, Qt::Uninitialized);
        const ssize_t n = ::readlink(path.constData(), link.data(), size_t(link.size()));
        if (n < 0) {
            *error = QStringLiteral("%1: %2").arg(shown(QFile::decodeName(path)), systemError());
            return false;
        }
        link.truncate(n);
        const qsizetype slash = path.lastIndexOf('/');
        path = link.startsWith('/') || slash < 0 ? link : path.left(slash + 1) + link;
    }
    *error = QStringLiteral("%1: %2").arg(shown(target), systemError(ELOOP));
    return false;
}

// What lies at `path` when a backup may not replace it; empty for a regular file or nothing.
QString notAFile(const QString& path)
{
    struct stat st = {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || S_ISREG(st.st_mode))
        return {};
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("文件夹");
    if (S_ISFIFO(st.st_mode))
        return QStringLiteral("命名管道");
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return QStringLiteral("设备");
    if (S_ISSOCK(st.st_mode))
        return QStringLiteral("套接字");
    return QStringLiteral("特殊文件");
}

// Copies the bytes of `from` into the reserved temporary file of `file`.
bool copyBytes(const QString& from, const NewDatabaseFile& file, Failure* failure, const Progress& progress)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return failure->set(readFailure(from, in.errorString()));
    Output out(file.tempPath(), file.finalPath());
    if (!out.open(failure))
        return false;
    QByteArray chunk;
    const qint64 size = in.size();
    qint64 done = 0;
    while (!(chunk = in.read(1 << 20)).isEmpty()) {
        if (!out.write(chunk.constData(), chunk.size(), failure))
            return false;
        done += chunk.size();
        if (progress)
            progress(Step::Keep, done, size);
    }
    if (in.error() != QFile::NoError)
        return failure->set(readFailure(from, in.errorString()));
    return out.close(failure);
}

// Keeps the current database file as `keep`, byte for byte, with the
// journals the engine left beside it: the two belong together, and a journal
// left under the database's name would be applied to the file that replaces it.
bool keepCurrent(const QString& dbPath, const QString& keep, QString* error, const Progress& progress)
{
    NewDatabaseFile copy(keep);
    Failure failure;
    if (!copy.reserve(error))
        return false;
    if (!copyBytes(dbPath, copy, &failure, progress)) {
        *error = failure.text;
        return false;
    }
    if (!copy.publish(error))
        return false;
    for (const char* suffix : kJournalSuffixes) {
        const QByteArray from = QFile::encodeName(dbPath + QLatin1String(suffix));
        if (::access(from.constData(), F_OK) != 0)
            continue;
        // The shared-memory index is rebuilt from the log; it is only dropped.
        const int done = std::strcmp(suffix, "-shm") == 0
                             ? ::unlink(from.constData())
                             : ::rename(from.constData(), QFile::encodeName(keep + QLatin1String(suffix)).constData());
        if (done != 0) {
            *error = QStringLiteral("%1: %2").arg(QFile::decodeName(from), systemError());
            return false;
        }
    }
    return syncFolderOf(dbPath, error);
}

// "data-before-restore-*.mdb" beside "data.mdb".
QString safetyCopyPattern(const QString& dbPath)
{
    const QFileInfo db(dbPath);
    const QString suffix = db.suffix().isEmpty() ? QString() : QLatin1Char('.') + db.suffix();
    return QDir(db.path()).filePath(db.completeBaseName() + QLatin1String("-before-restore-*") + suffix);
}

} // namespace

QString safetyCopyName(const QString& dbPath, const QDateTime& at)
{
    const QFileInfo db(dbPath);
    QString stamp = num::dateTimeText(at);
    stamp.replace(QLatin1Char(' '), QLatin1Char('-')).remove(QLatin1Char(':'));
    const QString base = db.completeBaseName() + QLatin1String("-before-restore-") + stamp;
    const QString suffix = db.suffix().isEmpty() ? QString() : QLatin1Char('.') + db.suffix();
    const QString folder = db.path();
    QString name = QDir(folder).filePath(base + suffix);
    for (int n = 2; exists(name); ++n)
        name = QDir(folder).filePath(QStringLiteral("%1-%2%3").arg(base).arg(n).arg(suffix));
    return name;
}

int removeLeftovers(const QString& dbPath)
{
    return NewDatabaseFile::removeStale(dbPath) + NewDatabaseFile::removeStale(safetyCopyPattern(dbPath));
}

bool copyTo(Database& db, const QString& target, QString* error, const Progress& progress)
{
    if (!db.isOpen()) {
        *error = QStringLiteral("数据库没有打开");
        return false;
    }
    if (target.trimmed().isEmpty()) {
        *error = QStringLiteral("没有指定备份文件");
        return false;
    }
    QString file;
    if (!followLinks(target, &file, error))
        return false;
    // Named as the user gave it, and the file a link leads to.
    const QString named = file == target ? shown(target) : QStringLiteral("%1（→ %2）").arg(shown(target), shown(file));
    if (isDatabaseOrJournal(target, db.path()) || isDatabaseOrJournal(file, db.path())) {
        *error = QStringLiteral("备份文件不能是正在使用的数据库本身：%1").arg(named);
        return false;
    }
    if (const QString kind = notAFile(file); !kind.isEmpty()) {
        *error = kind == QStringLiteral("文件夹")
                     ? QStringLiteral("%1 是一个文件夹，不是文件").arg(named)
                     : QStringLiteral("%1 是%2，不是普通文件：备份只写入普通文件").arg(named, kind);
        return false;
    }
    if (!folderExists(file, error))
        return false;
    // What killed backups to this file left beside it.
    NewDatabaseFile::removeStale(file);
    NewDatabaseFile copy(file);
    if (!copy.reserve(error))
        return false;
    Failure failure;
    if (!writeCopy(db.handle(), copy, &failure, progress)) {
        *error = failure.writing ? failure.text : QStringLiteral("备份副本不可用：%1").arg(failure.text);
        return false;
    }
    return copy.publish(error, NewDatabaseFile::Existing::Replace);
}

bool restore(const QString& source, const QString& dbPath, QString* safetyCopy, QString* error,
             const Progress& progress)
{
    safetyCopy->clear();
    if (source.trimmed().isEmpty() || !QFileInfo(source).isFile()) {
        *error = QStringLiteral("找不到备份文件：%1").arg(shown(source));
        return false;
    }
    if (isDatabaseOrJournal(source, dbPath)) {
        *error = QStringLiteral("所选文件就是正在使用的数据库");
        return false;
    }

    // 1. The new database, complete and checked, under a temporary name
    //    beside the one it replaces (a rename never crosses file systems).
    NewDatabaseFile incoming(dbPath);
    if (!incoming.reserve(error))
        return false;
    {
        Source src;
        Failure failure;
        QString why;
        if (!src.open(source, &why)) {
            *error = QStringLiteral("所选文件不是可用的数据库备份（%1）").arg(why);
            return false;
        }
        if (!writeCopy(src.handle(), incoming, &failure, progress)) {
            // A copy that could not be written says nothing about the backup.
            *error =
                failure.writing ? failure.text : QStringLiteral("所选文件不是可用的数据库备份（%1）").arg(failure.text);
            return false;
        }
    }

    // 2. The current file. Journals beside it mean that a write was cut short
    //    or that another program has it open: opening it lets the engine
    //    finish what a crash left half done (it rolls a journal back, or
    //    writes the log into the file and removes it), so that a sound file is
    //    kept complete; a damaged one that cannot be opened is kept as it
    //    lies, with its journals. Without journals the file is complete as it is.
    if (exists(dbPath)) {
        const auto journalLeft = [&dbPath]() -> QString {
            for (const char* suffix : kJournalSuffixes)
                if (exists(dbPath + QLatin1String(suffix)))
                    return dbPath + QLatin1String(suffix);
            return {};
        };
        QString why;
        if (!journalLeft().isEmpty()) {
            bool opened;
            {
                Database current;
                opened = current.open(dbPath, false, &why);
            }
            if (!opened && why.contains(QLatin1String("locked"))) {
                *error = QStringLiteral("数据库正在被其他程序使用（%1）").arg(why);
                return false;
            }
            // Journals still beside a sound, closed file belong to a
            // connection of another program.
            if (const QString left = journalLeft(); opened && !left.isEmpty()) {
                *error = QStringLiteral("数据库正在被其他程序使用：%1").arg(shown(left));
                return false;
            }
        }
        const QString keep = safetyCopyName(dbPath, wallclock::now());
        if (!keepCurrent(dbPath, keep, &why, progress)) {
            *error = QStringLiteral("不能保存原来的数据库（%1）").arg(why);
            return false;
        }
        *safetyCopy = keep;
    }

    // 3. One rename puts the new file in place of the old one.
    return incoming.publish(error, NewDatabaseFile::Existing::Replace);
}

} // namespace backup
