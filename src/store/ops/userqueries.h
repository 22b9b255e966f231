#pragma once

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
// succeeds only for exactly one. Returns -1 after an engine error (reported).
int countMatches(Tdmfm& dm, const QString& name, const QString& password);

// The password new users get and a reset sets.
QString defaultPassword();

// The user names in stored order, one per row ("select username from userdb").
// False after an engine error (reported).
bool userNames(Tdmfm& dm, QStringList* names);

// Adds a user with the default password, unless a user of that name exists
// in any letter case (a second row of a name would stop that user's logins).
enum class AddResult { Added, Exists, Failed };
AddResult addUser(Tdmfm& dm, const QString& name);
// Sets the default password on every row of the name; *changed counts them.
// False after an engine error (reported).
bool resetPassword(Tdmfm& dm, const QString& name, int* changed);
// Deletes every row of the name; *removed counts them. False after an engine
// error (reported).
bool deleteUser(Tdmfm& dm, const QString& name, int* removed);
// Sets `newPassword` for `name` when `oldPassword` is the user's password.
enum class ChangeResult { Changed, WrongOldPassword, Failed };
ChangeResult changePassword(Tdmfm& dm, const QString& name, const QString& oldPassword, const QString& newPassword);

// Writes the login row and returns its id (the current session id), 0 on failure.
qint64 logLogin(Tdmfm& dm, const QString& name, const QDateTime& at);
// Writes the logout time into the session's row.
bool logLogout(Tdmfm& dm, qint64 sessionId, const QDateTime& at);

// Failed logins are kept with the name tried and the time, for the super
// administrator to read; after a few for one name the login makes each new
// try wait, longer after every further failure.
bool logFailedLogin(Tdmfm& dm, const QString& name, const QDateTime& at);
struct FailedLogins
{
    int count = 0;   // failures of the name since its last successful login
    QDateTime last;  // the latest of them (invalid without any)
};
// False after an engine error (reported).
bool failedLoginsOf(Tdmfm& dm, const QString& name, FailedLogins* out);
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
bool recentFailedLogins(Tdmfm& dm, int limit, QList<FailedLogin>* out);

} // namespace userq
