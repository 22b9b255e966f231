#pragma once

#include <QDateTime>
#include <QString>

class Tdmfm;

// The users table and the login log.
namespace userq {

// The name of the user who has every right.
QString superAdministrator();

// How many users match this name (any letter case) and password; the login
// succeeds only for exactly one. Returns -1 after an engine error (reported).
int countMatches(Tdmfm& dm, const QString& name, const QString& password);

// Writes the login row and returns its id (the current session id), 0 on failure.
qint64 logLogin(Tdmfm& dm, const QString& name, const QDateTime& at);
// Writes the logout time into the session's row.
bool logLogout(Tdmfm& dm, qint64 sessionId, const QDateTime& at);

} // namespace userq
