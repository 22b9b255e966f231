#pragma once

#include <QString>

class QDateTime;
class Tdmfm;

// The logged-in user's session: who it is, what rank the user has, and the
// row of the login log that the logout completes.
class Session final
{
public:
    enum class Rank { Ordinary, SuperAdministrator };

    explicit Session(Tdmfm& dm);

    // Starts the session of `name` (as typed at the login) and writes the
    // login log. False when the engine refused the write (the store has shown
    // its text); the user and rank are known all the same.
    bool logIn(const QString& name, const QDateTime& at);
    // Writes the logout time into the session's row; nothing without a session.
    void logOut(const QDateTime& at);

    bool isOpen() const { return m_id != 0; }
    qint64 id() const { return m_id; }
    // Empty before the login.
    QString userName() const { return m_userName; }
    Rank rank() const;
    bool isSuperAdministrator() const { return rank() == Rank::SuperAdministrator; }

private:
    Tdmfm& m_dm;
    QString m_userName;
    qint64 m_id = 0;
};
