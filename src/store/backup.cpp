#include "store/backup.h"

#include "core/clock.h"
#include "core/numbers.h"
#include "store/database.h"
#include "store/newdatabasefile.h"
#include "store/schema.h"

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace backup {

namespace {

// The files the engine keeps beside a database while it writes to it.
constexpr std::array<const char*, 3> kJournalSuffixes{"-journal", "-wal", "-shm"};

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Both names lead to one file, however they are spelled (links included).
bool sameFile(const QString& a, const QString& b)
{
    struct stat sa = {};
    struct stat sb = {};
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0 || ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// A connection of its own to a backup file, read-only, so that checking a
// file the user chose never changes it.
class Source final
{
public:
    Source() = default;
    ~Source() { sqlite3_close_v2(m_db); }
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    bool open(const QString& path, QString* error)
    {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
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

// Copies every page of `source` into `dest` with the engine's online backup.
bool onlineCopy(sqlite3* source, sqlite3* dest, QString* error)
{
    sqlite3_backup* b = sqlite3_backup_init(dest, "main", source, "main");
    if (!b) {
        *error = QString::fromUtf8(sqlite3_errmsg(dest));
        return false;
    }
    int rc;
    // Another program writing the file holds the backup up for a moment; the
    // engine starts the copy again by itself when the source changes.
    int waits = 0;
    do {
        rc = sqlite3_backup_step(b, -1);
        if ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && ++waits <= 100)
            sqlite3_sleep(50);
        else if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
            break;
    } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
    sqlite3_backup_finish(b);
    if (rc != SQLITE_DONE) {
        const char* text = sqlite3_errcode(dest) != SQLITE_OK ? sqlite3_errmsg(dest) : sqlite3_errstr(rc);
        *error = QString::fromUtf8(text);
        return false;
    }
    return true;
}

// Copies the encrypted pages of `source` as they lie in its file, while a
// read transaction keeps every writer out of the file. That is the file the
// engine would give page by page, without decrypting and encrypting every
// page on the way. With a write-ahead log the file alone is the database only
// once the log is folded into it and stays empty. False with *tried unset when this way does
// not apply; false with *tried set on a failure of the copy itself.
bool copyFilePages(sqlite3* source, const QString& tempPath, bool* tried, QString* error)
{
    *tried = false;
    sqlite3_stmt* mode = nullptr;
    bool rollback = false;
    if (sqlite3_prepare_v2(source, "PRAGMA journal_mode", -1, &mode, nullptr) == SQLITE_OK &&
        sqlite3_step(mode) == SQLITE_ROW)
        rollback = qstricmp(reinterpret_cast<const char*>(sqlite3_column_text(mode, 0)), "wal") != 0;
    sqlite3_finalize(mode);
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
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(source, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file || !file->pMethods)
        return false;
    *tried = true;
    sqlite3_int64 size = 0;
    if (file->pMethods->xFileSize(file, &size) != SQLITE_OK) {
        *error = QString::fromUtf8(sqlite3_errstr(SQLITE_IOERR));
        return false;
    }
    QFile out(tempPath);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = QStringLiteral("%1: %2").arg(tempPath, out.errorString());
        return false;
    }
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (sqlite3_int64 at = 0; at < size;) {
        const int n = int(std::min<sqlite3_int64>(chunk.size(), size - at));
        const int rc = file->pMethods->xRead(file, chunk.data(), n, at);
        if (rc != SQLITE_OK) {
            *error = QString::fromUtf8(sqlite3_errstr(rc));
            return false;
        }
        if (out.write(chunk.constData(), n) != n) {
            *error = QStringLiteral("%1: %2").arg(tempPath, out.errorString());
            return false;
        }
        at += n;
    }
    if (!out.flush()) {
        *error = QStringLiteral("%1: %2").arg(tempPath, out.errorString());
        return false;
    }
    return true;
}

// Opens the finished copy once more, as the program will open it, and checks
// it. The open also turns a copy of a file in write-ahead-log mode back to the
// rollback journal, so the copy carries no mode that needs files beside it.
bool checkCopy(const QString& path, QString* error)
{
    Database db;
    if (!db.open(path, false, error))
        return false;
    // The index checks look rows up all over the file: with every page kept
    // decrypted in memory (up to 400 MB) each is decrypted once, not once per lookup.
    QString ignored;
    db.exec(QStringLiteral("PRAGMA cache_size = -400000"), &ignored);
    const QStringList problems = schema::check(db);
    db.releaseCache(); // the checked pages are not read again
    if (!problems.isEmpty()) {
        *error = problems.join(QStringLiteral("; "));
        return false;
    }
    return true;
}

// Reserves the temporary file of `file` (unless it is reserved already),
// copies `source` into it with the online backup and checks it.
bool writeCheckedCopy(sqlite3* source, NewDatabaseFile& file, QString* error)
{
    if (file.tempPath().isEmpty() && !file.reserve(error))
        return false;
    {
        Database dest;
        if (!dest.open(file.tempPath(), true, error))
            return false;
        // Nobody else ever opens the temporary file, and publishing syncs it:
        // the copy needs neither a journal nor syncs of its own.
        QString ignored;
        dest.exec(QStringLiteral("PRAGMA journal_mode = OFF"), &ignored);
        dest.exec(QStringLiteral("PRAGMA synchronous = OFF"), &ignored);
        if (!onlineCopy(source, dest.handle(), error))
            return false;
    }
    return checkCopy(file.tempPath(), error);
}

// The folder that will hold `target` exists and is a folder.
bool folderExists(const QString& target, QString* error)
{
    const QString folder = QFileInfo(target).absolutePath();
    if (QFileInfo(folder).isDir())
        return true;
    *error = QStringLiteral("文件夹不存在：%1").arg(QDir::toNativeSeparators(folder));
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

// Copies the bytes of `from` into the reserved temporary file of `file`.
bool copyBytes(const QString& from, const NewDatabaseFile& file, QString* error)
{
    QFile in(from);
    QFile out(file.tempPath());
    if (!in.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(from, in.errorString());
        return false;
    }
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = QStringLiteral("%1: %2").arg(file.tempPath(), out.errorString());
        return false;
    }
    QByteArray chunk;
    while (!(chunk = in.read(1 << 20)).isEmpty()) {
        if (out.write(chunk) != chunk.size()) {
            *error = QStringLiteral("%1: %2").arg(file.tempPath(), out.errorString());
            return false;
        }
    }
    if (in.error() != QFile::NoError) {
        *error = QStringLiteral("%1: %2").arg(from, in.errorString());
        return false;
    }
    return out.flush();
}

bool exists(const QString& path)
{
    return ::access(QFile::encodeName(path).constData(), F_OK) == 0;
}

// Keeps the current database file as `keep`, byte for byte, with the
// journals the engine left beside it: the two belong together, and a journal
// left under the database's name would be applied to the file that replaces it.
bool keepCurrent(const QString& dbPath, const QString& keep, QString* error)
{
    NewDatabaseFile copy(keep);
    if (!copy.reserve(error) || !copyBytes(dbPath, copy, error) || !copy.publish(error))
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

bool copyTo(Database& db, const QString& target, QString* error)
{
    if (!db.isOpen()) {
        *error = QStringLiteral("数据库没有打开");
        return false;
    }
    if (target.trimmed().isEmpty()) {
        *error = QStringLiteral("没有指定备份文件");
        return false;
    }
    if (isDatabaseOrJournal(target, db.path())) {
        *error = QStringLiteral("备份文件不能是正在使用的数据库本身：%1").arg(QDir::toNativeSeparators(target));
        return false;
    }
    if (QFileInfo(target).isDir()) {
        *error = QStringLiteral("%1 是一个文件夹，不是文件").arg(QDir::toNativeSeparators(target));
        return false;
    }
    if (!folderExists(target, error))
        return false;
    NewDatabaseFile file(target);
    QString why;
    bool tried = false;
    bool copied;
    if (!file.reserve(error))
        return false;
    if (copyFilePages(db.handle(), file.tempPath(), &tried, &why))
        copied = checkCopy(file.tempPath(), &why);
    else
        copied = !tried && writeCheckedCopy(db.handle(), file, &why);
    if (!copied) {
        *error = QStringLiteral("备份副本不可用：%1").arg(why);
        return false;
    }
    return file.publish(error, NewDatabaseFile::Existing::Replace);
}

bool restore(const QString& source, const QString& dbPath, QString* safetyCopy, QString* error)
{
    safetyCopy->clear();
    if (source.trimmed().isEmpty() || !QFileInfo(source).isFile()) {
        *error = QStringLiteral("找不到备份文件：%1").arg(QDir::toNativeSeparators(source));
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
        QString why;
        bool tried = false;
        bool copied = src.open(source, &why);
        if (copied && copyFilePages(src.handle(), incoming.tempPath(), &tried, &why))
            copied = checkCopy(incoming.tempPath(), &why);
        else
            copied = copied && !tried && writeCheckedCopy(src.handle(), incoming, &why);
        if (!copied) {
            *error = QStringLiteral("所选文件不是可用的数据库备份（%1）").arg(why);
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
                *error = QStringLiteral("数据库正在被其他程序使用：%1").arg(QDir::toNativeSeparators(left));
                return false;
            }
        }
        const QString keep = safetyCopyName(dbPath, wallclock::now());
        if (!keepCurrent(dbPath, keep, &why)) {
            *error = QStringLiteral("不能保存原来的数据库（%1）").arg(why);
            return false;
        }
        *safetyCopy = keep;
    }

    // 3. One rename puts the new file in place of the old one.
    return incoming.publish(error, NewDatabaseFile::Existing::Replace);
}

} // namespace backup
