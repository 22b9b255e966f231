#pragma once

#include "core/result.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

class Tdmfm;

// The users table and the login log.
namespace userq {

// The name of the user who has every right.
QString superAdministrator();

// How many users match this name (any letter case) and password; the login
// succeeds only for exactly one.
Result<int> countMatches(Tdmfm& dm, const QString& name, const QString& password);

// The password new users get and a reset sets.
QString defaultPassword();

// The user names in stored order, one per row ("select username from userdb").
Result<QStringList> userNames(Tdmfm& dm);

// Adds a user with the default password, unless a user of that name exists
// in any letter case (a second row of a name would stop that user's logins).
enum class AddResult { Added, Exists };
Result<AddResult> addUser(Tdmfm& dm, const QString& name);
// Sets the default password on every row of the name; how many rows changed.
Result<int> resetPassword(Tdmfm& dm, const QString& name);
// Deletes every row of the name; how many rows went.
Result<int> deleteUser(Tdmfm& dm, const QString& name);
// Sets `newPassword` for `name` when `oldPassword` is the user's password.
enum class ChangeResult { Changed, WrongOldPassword };
Result<ChangeResult> changePassword(Tdmfm& dm, const QString& name, const QString& oldPassword,
                                    const QString& newPassword);

// Writes the login row and returns its id (the current session id).
Result<qint64> logLogin(Tdmfm& dm, const QString& name, const QDateTime& at);
// Writes the logout time into the session's row.
Result<void> logLogout(Tdmfm& dm, qint64 sessionId, const QDateTime& at);

// Failed logins are kept with the name tried and the time, for the super
// administrator to read; after a few for one name the login makes each new
// try wait, longer after every further failure.
Result<void> logFailedLogin(Tdmfm& dm, const QString& name, const QDateTime& at);
struct FailedLogins
{
    int count = 0;   // failures of the name since its last successful login
    QDateTime last;  // the latest of them (invalid without any)
};
Result<FailedLogins> failedLoginsOf(Tdmfm& dm, const QString& name);
// The wait before the next try after `failures` failures in a row: none for
// the first kFreeTries, then 1 s doubling with every further one, at most kMaxWait.
constexpr int kFreeTries = 3;
constexpr qint64 kMaxWaitSeconds = 60;
qint64 waitSecondsAfter(int failures);
// The latest failures, newest first, at most `limit`: time text and name.
struct FailedLogin
{
    QString at, name;
};
Result<QList<FailedLogin>> recentFailedLogins(Tdmfm& dm, int limit);

} // namespace userq
