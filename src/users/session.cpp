#include "users/session.h"

#include "store/ops/userqueries.h"
#include "ui/reporterror.h"

#include <QDateTime>

Session::Session(Tdmfm& dm)
    : m_dm(dm)
{
}

bool Session::logIn(const QString& name, const QDateTime& at)
{
    m_userName = name;
    m_id = valueOrReport(userq::logLogin(m_dm, m_userName, at), qint64(0));
    return m_id != 0;
}

void Session::logOut(const QDateTime& at)
{
    if (m_id != 0)
        (void)succeeded(userq::logLogout(m_dm, m_id, at));
}

Session::Rank Session::rank() const
{
    return m_userName == userq::superAdministrator() ? Rank::SuperAdministrator : Rank::Ordinary;
}
