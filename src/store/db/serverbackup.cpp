#include "store/db/serverbackup.h"

#include "store/db/serverclerk.h"
#include "store/db/serverconnection.h"
#include "store/db/serverschema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace serverbackup {

namespace {

struct ToolRun
{
    bool ok = false;
    QString out;
    QString error; // the tool's own message, or why it did not run
};

// Runs one of the server's tools to its end; a dump of a big shop takes as
// long as it takes. `meanwhile` is called twice a second while it runs.
ToolRun runTool(const QString& program, const QStringList& args, const std::function<void()>& meanwhile = {})
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted())
        return {false, {}, QStringLiteral("无法启动 %1：%2").arg(program, p.errorString())};
    while (p.state() != QProcess::NotRunning && !p.waitForFinished(500)) {
        if (meanwhile)
            meanwhile();
    }
    ToolRun r;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.error = QString::fromUtf8(p.readAllStandardError()).trimmed();
    r.ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!r.ok && r.error.isEmpty())
        r.error = QStringLiteral("%1 失败（退出码 %2）").arg(program).arg(p.exitCode());
    return r;
}

} // namespace

QString problemOf(const QString& file)
{
    const QFileInfo info(file);
    if (!info.isFile())
        return QStringLiteral("%1 不是文件").arg(file);
    const ToolRun list = runTool(QStringLiteral("pg_restore"), {QStringLiteral("--list"), file});
    if (!list.ok)
        return QStringLiteral("%1 不是服务器数据库的备份：%2").arg(file, list.error);
    // "3345; 0 16390 TABLE DATA public data tarvik": the rows of one table.
    static const QRegularExpression tableData(QStringLiteral("^\\d+; \\d+ \\d+ TABLE DATA \\S+ (\\S+) "),
                                              QRegularExpression::MultilineOption);
    QSet<QString> tables;
    for (auto it = tableData.globalMatch(list.out); it.hasNext();)
        tables.insert(it.next().captured(1));
    QStringList missing;
    for (const char* t : {"data", "data1", "userdb", "rz"})
        if (!tables.contains(QLatin1String(t)))
            missing << QLatin1String(t);
    if (!missing.isEmpty())
        return QStringLiteral("%1 不是店铺数据库的备份：其中没有表 %2")
            .arg(file, missing.join(QStringLiteral(", ")));
    return {};
}

Result<void> dumpTo(const QString& database, const QString& target, const backup::Progress& progress)
{
    const QFileInfo info(target);
    if (info.exists() && !info.isFile())
        return Error::invalid(QStringLiteral("%1 已存在，且不是普通文件").arg(target));
    const QString folder = info.absolutePath();
    QTemporaryFile part(QDir(folder).filePath(QLatin1Char('.') + info.fileName() + QStringLiteral(".part-XXXXXX")));
    if (!part.open())
        return Error::engine(QStringLiteral("无法在 %1 中写入：%2").arg(folder, part.errorString()));
    part.close();
    const auto written = [&] {
        if (progress)
            progress(backup::Step::Copy, QFileInfo(part.fileName()).size(), 0);
    };
    const ToolRun dump = runTool(QStringLiteral("pg_dump"),
                                 {QStringLiteral("--format=custom"), QStringLiteral("--file"), part.fileName(),
                                  QStringLiteral("--dbname"), serverConnectionString(database)},
                                 written);
    if (!dump.ok)
        return Error::engine(QStringLiteral("pg_dump: %1").arg(dump.error));
    written();
    if (progress)
        progress(backup::Step::Check, 0, 0);
    if (const QString problem = problemOf(part.fileName()); !problem.isEmpty())
        return Error::engine(problem);
    // The checked copy takes the target's name in one step: the target is
    // either the former file or the whole new backup.
    if (std::rename(QFile::encodeName(part.fileName()).constData(),
                    QFile::encodeName(info.absoluteFilePath()).constData()) != 0)
        return Error::engine(
            QStringLiteral("无法写入 %1：%2").arg(target, QString::fromLocal8Bit(std::strerror(errno))));
    part.setAutoRemove(false);
    return {};
}

QString safetyCopyName(const QString& folder, const QDateTime& at)
{
    return QDir(folder).filePath(
        QStringLiteral("shop-before-restore-%1.backup").arg(at.toString(QStringLiteral("yyyy-MM-dd-hhmmss"))));
}

Result<void> restore(const QString& source, const QString& database, const QString& safetyCopy,
                     const backup::Progress& progress)
{
    if (const QString problem = problemOf(source); !problem.isEmpty())
        return Error::invalid(QStringLiteral("数据库没有改变。") + problem);
    // The safety copy is told as the keeping of the former shop.
    const backup::Progress keeping = [&progress](backup::Step step, qint64 done, qint64 total) {
        if (progress && step == backup::Step::Copy)
            progress(backup::Step::Keep, done, total);
    };
    if (const Result<void> kept = dumpTo(database, safetyCopy, keeping); !kept)
        return Error::engine(QStringLiteral("数据库没有改变：恢复之前无法先把它备份到 %1：%2")
                                 .arg(safetyCopy, kept.error().text));
    if (progress)
        progress(backup::Step::Copy, 0, 0);
    // One transaction: a failure part-way leaves every table as it was.
    const ToolRun run =
        runTool(QStringLiteral("pg_restore"),
                {QStringLiteral("--clean"), QStringLiteral("--if-exists"), QStringLiteral("--single-transaction"),
                 QStringLiteral("--no-owner"), QStringLiteral("--no-privileges"), QStringLiteral("--dbname"),
                 serverConnectionString(database), source});
    if (!run.ok)
        return Error::engine(QStringLiteral("数据库没有改变。pg_restore：%1").arg(run.error));
    if (progress)
        progress(backup::Step::Check, 0, 0);
    ServerConnection db;
    QString error;
    if (!db.open(database, &error) || !serverschema::verifyUsable(db, &error))
        return Error::engine(error);
    // The backup's views and functions came without privileges: the roles of
    // ordinary users' tills get theirs again.
    const std::optional<QStringList> tillRoles = serverclerk::clerkRoles(db, &error);
    if (!tillRoles)
        return Error::engine(error);
    for (const QString& role : *tillRoles) {
        if (!serverclerk::grantClerkRole(db, role, &error))
            return Error::engine(
                QStringLiteral("数据库已经恢复，但普通用户收银台连接所用的账号 %1 没能重新得到权限：%2")
                    .arg(role, error));
    }
    return {};
}

} // namespace serverbackup
