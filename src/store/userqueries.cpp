#include "store/userqueries.h"

#include "core/numbers.h"
#include "store/passwordhash.h"
#include "store/tdmfm.h"

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

} // namespace userq
