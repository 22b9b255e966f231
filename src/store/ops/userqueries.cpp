#include "store/ops/userqueries.h"

#include "core/numbers.h"
#include "store/db/columns.h"
#include "store/db/passwordhash.h"
#include "store/ops/tdmfm.h"

#include <algorithm>

namespace userq {

namespace {

// The rows of a statement; the values do not stay in memory longer than the caller keeps them.
Result<QueryResult> rowsOf(Tdmfm& dm, const Statement& st)
{
    QueryResult r;
    QString error;
    if (!dm.db().query(st, &r, &error))
        return Error::engine(error);
    return r;
}

// The rows a statement changed.
Result<int> execute(Tdmfm& dm, const Statement& st)
{
    QString error;
    int changes = 0;
    if (!dm.db().exec(st, &error, &changes))
        return Error::engine(error);
    return changes;
}

// "username=?" as the file compares user names: without regard to letter case.
QString userNameIs(Tdmfm& dm, QLatin1StringView column = QLatin1StringView("username"))
{
    return equalsIgnoringCase(dm.db().engine(), quoteIdentifier(column));
}

} // namespace

QString superAdministrator()
{
    return QStringLiteral("超级管理员");
}

Result<int> countMatches(Tdmfm& dm, const QString& name, const QString& password)
{
    const auto q =
        rowsOf(dm, Statement{QStringLiteral("select username, passwd from userdb where ") + userNameIs(dm), {name}});
    if (!q)
        return q.error();
    int matches = 0;
    for (const auto& row : q->rows)
        if (verifyPassword(password, row.at(1).toString()))
            ++matches;
    return matches;
}

QString defaultPassword()
{
    return QStringLiteral("864");
}

Result<QStringList> userNames(Tdmfm& dm)
{
    const auto q = rowsOf(dm, Statement{QStringLiteral("select username from userdb order by rowid"), {}});
    if (!q)
        return q.error();
    QStringList names;
    for (const auto& row : q->rows)
        names << row.at(0).toString();
    return names;
}

Result<AddResult> addUser(Tdmfm& dm, const QString& name)
{
    // The check and the insert under one write lock: nobody adds the name in between.
    Transaction t(dm.db(), Transaction::Lock::Immediate);
    if (!t.begun())
        return Error::engine(t.error());
    // On a server nothing locks what a transaction reads: the table is locked
    // against other adds until the commit.
    if (dm.db().engine() == Database::Engine::Server) {
        if (const auto locked = execute(dm, Statement{QStringLiteral("lock table userdb in exclusive mode"), {}});
            !locked)
            return locked.error();
    }
    const auto q = rowsOf(dm, Statement{QStringLiteral("select count(*) from userdb where ") + userNameIs(dm), {name}});
    if (!q)
        return q.error();
    if (q->rows.value(0).value(0).toLongLong() > 0)
        return AddResult::Exists;
    const auto added = execute(dm, Statement{QStringLiteral("Insert into userdb (username,passwd) values (?,?)"),
                                             {name, hashPassword(defaultPassword())}});
    if (!added)
        return added.error();
    QString error;
    if (!t.commit(&error))
        return Error::engine(error);
    return AddResult::Added;
}

Result<int> resetPassword(Tdmfm& dm, const QString& name)
{
    return execute(dm, Statement{QStringLiteral("update userdb set passwd=? where ") + userNameIs(dm),
                                 {hashPassword(defaultPassword()), name}});
}

Result<int> deleteUser(Tdmfm& dm, const QString& name)
{
    return execute(dm, Statement{QStringLiteral("delete from userdb where ") + userNameIs(dm), {name}});
}

Result<ChangeResult> changePassword(Tdmfm& dm, const QString& name, const QString& oldPassword,
                                    const QString& newPassword)
{
    Transaction t(dm.db(), Transaction::Lock::Immediate);
    if (!t.begun())
        return Error::engine(t.error());
    const auto matches = countMatches(dm, name, oldPassword);
    if (!matches)
        return matches.error();
    if (*matches == 0)
        return ChangeResult::WrongOldPassword;
    const auto changed = execute(dm, Statement{QStringLiteral("update userdb set passwd=? where ") + userNameIs(dm),
                                               {hashPassword(newPassword), name}});
    if (!changed)
        return changed.error();
    QString error;
    if (!t.commit(&error))
        return Error::engine(error);
    return *changed > 0 ? ChangeResult::Changed : ChangeResult::WrongOldPassword;
}

Result<qint64> logLogin(Tdmfm& dm, const QString& name, const QDateTime& at)
{
    const auto written = execute(
        dm, Statement{QStringLiteral("Insert into rz (username,btime) values (?,?)"), {name, num::dateTimeText(at)}});
    if (!written)
        return written.error();
    // The row this connection wrote (its id is its row identity on both
    // engines), not the newest: another till may log in at the same moment.
    return dm.db().lastInsertRowId();
}

Result<void> logLogout(Tdmfm& dm, qint64 sessionId, const QDateTime& at)
{
    const auto written =
        execute(dm, Statement{QStringLiteral("update rz set jtime=? where id=?"), {num::dateTimeText(at), sessionId}});
    if (!written)
        return written.error();
    return {};
}

Result<void> logFailedLogin(Tdmfm& dm, const QString& name, const QDateTime& at)
{
    const auto written =
        execute(dm, Statement{QStringLiteral("insert into %1 (%2,%3) values (?,?)")
                                  .arg(quoteIdentifier(failedLogin::table), quoteIdentifier(failedLogin::name),
                                       quoteIdentifier(failedLogin::at)),
                              {name, num::dateTimeText(at)}});
    if (!written)
        return written.error();
    return {};
}

Result<FailedLogins> failedLoginsOf(Tdmfm& dm, const QString& name)
{
    // The times are "yyyy-mm-dd hh:mm:ss" texts: they compare in time order.
    const Statement st{
        QStringLiteral("select count(*), max(%1) from %2 where %3 and %1>coalesce((select max(btime) from rz where "
                       "%4),'')")
            .arg(quoteIdentifier(failedLogin::at), quoteIdentifier(failedLogin::table),
                 userNameIs(dm, failedLogin::name), userNameIs(dm)),
        {name, name}};
    const auto q = rowsOf(dm, st);
    if (!q)
        return q.error();
    FailedLogins out;
    if (!q->rows.isEmpty()) {
        out.count = q->rows.at(0).value(0).toInt();
        out.last = QDateTime::fromString(q->rows.at(0).value(1).toString(), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    }
    return out;
}

qint64 waitSecondsAfter(int failures)
{
    if (failures < kFreeTries)
        return 0;
    const int doublings = failures - kFreeTries;
    return doublings >= 6 ? kMaxWaitSeconds : std::min<qint64>(kMaxWaitSeconds, qint64(1) << doublings);
}

Result<QList<FailedLogin>> recentFailedLogins(Tdmfm& dm, int limit)
{
    const auto q = rowsOf(dm, Statement{QStringLiteral("select %1,%2 from %3 order by %4 desc limit ?")
                                            .arg(quoteIdentifier(failedLogin::at), quoteIdentifier(failedLogin::name),
                                                 quoteIdentifier(failedLogin::table), quoteIdentifier(failedLogin::id)),
                                        {limit}});
    if (!q)
        return q.error();
    QList<FailedLogin> out;
    for (const auto& row : q->rows)
        out.append({row.at(0).toString(), row.at(1).toString()});
    return out;
}

} // namespace userq
