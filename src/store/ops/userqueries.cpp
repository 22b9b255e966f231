#include "store/ops/userqueries.h"

#include "core/numbers.h"
#include "store/db/columns.h"
#include "store/db/passwordhash.h"
#include "store/ops/tdmfm.h"

#include <algorithm>

namespace userq {

QString superAdministrator()
{
    return QStringLiteral("超级管理员");
}

int countMatches(Tdmfm& dm, const QString& name, const QString& password)
{
    RowSet& q = dm.generalQuery();
    if (!dm.OpenQuery(q, Statement{QStringLiteral("select username, passwd from userdb where username=?"), {name}}))
        return -1;
    int matches = 0;
    for (int r = 0; r < q.rowCount(); ++r)
        if (verifyPassword(password, q.value(r, 1).toString()))
            ++matches;
    q.close(); // the hashes do not stay in memory
    return matches;
}

QString defaultPassword()
{
    return QStringLiteral("864");
}

bool userNames(Tdmfm& dm, QStringList* names)
{
    names->clear();
    RowSet& q = dm.generalQuery();
    if (!dm.OpenQuery(q, Statement{QStringLiteral("select username from userdb"), {}}))
        return false;
    for (int r = 0; r < q.rowCount(); ++r)
        *names << q.value(r, 0).toString();
    q.close();
    return true;
}

AddResult addUser(Tdmfm& dm, const QString& name)
{
    // The check and the insert under one write lock: nobody adds the name in between.
    Transaction t(dm.db(), Transaction::Lock::Immediate);
    if (!t.begun()) {
        Tdmfm::report(t.error());
        return AddResult::Failed;
    }
    RowSet& q = dm.generalQuery();
    // username compares without regard to letter case (NOCASE).
    if (!dm.OpenQuery(q, Statement{QStringLiteral("select count(*) from userdb where username=?"), {name}}))
        return AddResult::Failed;
    const bool exists = q.value(0, 0).toLongLong() > 0;
    q.close();
    if (exists)
        return AddResult::Exists;
    if (!dm.ExecStatement(
            q, Statement{QStringLiteral("Insert into userdb values (?,?)"), {name, hashPassword(defaultPassword())}}))
        return AddResult::Failed;
    QString error;
    if (!t.commit(&error)) {
        Tdmfm::report(error);
        return AddResult::Failed;
    }
    return AddResult::Added;
}

bool resetPassword(Tdmfm& dm, const QString& name, int* changed)
{
    return dm.ExecStatement(dm.generalQuery(),
                            Statement{QStringLiteral("update userdb set passwd=?where username=?"),
                                      {hashPassword(defaultPassword()), name}},
                            changed);
}

bool deleteUser(Tdmfm& dm, const QString& name, int* removed)
{
    return dm.ExecStatement(dm.generalQuery(), Statement{QStringLiteral("delete from userdb where username=?"), {name}},
                            removed);
}

ChangeResult changePassword(Tdmfm& dm, const QString& name, const QString& oldPassword, const QString& newPassword)
{
    Transaction t(dm.db(), Transaction::Lock::Immediate);
    if (!t.begun()) {
        Tdmfm::report(t.error());
        return ChangeResult::Failed;
    }
    const int matches = countMatches(dm, name, oldPassword);
    if (matches < 0)
        return ChangeResult::Failed;
    if (matches == 0)
        return ChangeResult::WrongOldPassword;
    int changed = 0;
    if (!dm.ExecStatement(
            dm.generalQuery(),
            Statement{QStringLiteral("update userdb set passwd=? where username=?"), {hashPassword(newPassword), name}},
            &changed))
        return ChangeResult::Failed;
    QString error;
    if (!t.commit(&error)) {
        Tdmfm::report(error);
        return ChangeResult::Failed;
    }
    return changed > 0 ? ChangeResult::Changed : ChangeResult::WrongOldPassword;
}

qint64 logLogin(Tdmfm& dm, const QString& name, const QDateTime& at)
{
    RowSet& q = dm.generalQuery();
    if (!dm.ExecStatement(q, Statement{QStringLiteral("Insert into rz (username,btime) values (?,?)"),
                                       {name, num::dateTimeText(at)}}))
        return 0;
    if (!dm.OpenQuery(q, Statement{QStringLiteral("select max(id) as maxid from rz"), {}}) || q.isEmpty())
        return 0;
    return q.value(0, QStringLiteral("maxid")).toLongLong();
}

bool logLogout(Tdmfm& dm, qint64 sessionId, const QDateTime& at)
{
    return dm.ExecStatement(dm.generalQuery(), Statement{QStringLiteral("update rz set jtime=?where id=?"),
                                                         {num::dateTimeText(at), sessionId}});
}

bool logFailedLogin(Tdmfm& dm, const QString& name, const QDateTime& at)
{
    return dm.ExecStatement(dm.generalQuery(), Statement{QStringLiteral("insert into %1 (%2,%3) values (?,?)")
                                                             .arg(quoteIdentifier(failedLogin::table),
                                                                  quoteIdentifier(failedLogin::name),
                                                                  quoteIdentifier(failedLogin::at)),
                                                         {name, num::dateTimeText(at)}});
}

bool failedLoginsOf(Tdmfm& dm, const QString& name, FailedLogins* out)
{
    *out = {};
    RowSet& q = dm.generalQuery();
    // The times are "yyyy-mm-dd hh:mm:ss" texts: they compare in time order.
    const Statement st{
        QStringLiteral("select count(*), max(%1) from %2 where %3=? and %1>ifnull((select max(btime) from rz where "
                       "username=?),'')")
            .arg(quoteIdentifier(failedLogin::at), quoteIdentifier(failedLogin::table),
                 quoteIdentifier(failedLogin::name)),
        {name, name}};
    if (!dm.OpenQuery(q, st))
        return false;
    if (!q.isEmpty()) {
        out->count = q.value(0, 0).toInt();
        out->last = QDateTime::fromString(q.value(0, 1).toString(), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    }
    q.close();
    return true;
}

qint64 waitSecondsAfter(int failures)
{
    if (failures < kFreeTries)
        return 0;
    const int doublings = failures - kFreeTries;
    return doublings >= 6 ? kMaxWaitSeconds : std::min<qint64>(kMaxWaitSeconds, qint64(1) << doublings);
}

bool recentFailedLogins(Tdmfm& dm, int limit, QList<FailedLogin>* out)
{
    out->clear();
    RowSet& q = dm.generalQuery();
    if (!dm.OpenQuery(q, Statement{QStringLiteral("select %1,%2 from %3 order by %4 desc limit ?")
                                       .arg(quoteIdentifier(failedLogin::at), quoteIdentifier(failedLogin::name),
                                            quoteIdentifier(failedLogin::table), quoteIdentifier(failedLogin::id)),
                                   {limit}}))
        return false;
    for (int r = 0; r < q.rowCount(); ++r)
        out->append({q.value(r, 0).toString(), q.value(r, 1).toString()});
    q.close();
    return true;
}

} // namespace userq
