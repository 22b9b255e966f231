#pragma once

#include <QString>

// The test PostgreSQL server that CTest starts (the fixture pg in
// tests/CMakeLists.txt): the file named by TARVIK_PG_CONNINFO_FILE holds the
// connection string of its superuser and database.
//
// A test program run by hand without that variable is skipped, except under
// CI=true, where it fails: a run that should test the server never passes
// without one.
#define TARVIK_REQUIRE_TEST_SERVER(conninfo)                                                                          \
    do {                                                                                                               \
        QString why_;                                                                                                  \
        if (!testServerConnInfo(&(conninfo), &why_)) {                                                                 \
            if (testServerMayBeMissing())                                                                              \
                QSKIP(qPrintable(why_));                                                                               \
            QFAIL(qPrintable(why_));                                                                                   \
        }                                                                                                              \
    } while (false)

// The superuser's connection string; false with the reason when there is none.
bool testServerConnInfo(QString* conninfo, QString* why);
// Whether a missing server skips the test: only when not under CI and the
// variable is not set at all (a set variable means CTest started a server).
bool testServerMayBeMissing();

// A new empty database on the test server for one test, dropped again in the
// destructor (connections to it included).
class ScratchServerDatabase final
{
public:
    explicit ScratchServerDatabase(const QString& serverConnInfo);
    ~ScratchServerDatabase();
    ScratchServerDatabase(const ScratchServerDatabase&) = delete;
    ScratchServerDatabase& operator=(const ScratchServerDatabase&) = delete;

    bool isValid() const { return !m_name.isEmpty(); }
    QString error() const { return m_error; }
    // The connection string of the new database.
    QString connInfo() const;
    // Makes the database the delivered shop, as `tarvik-admin init --database` does.
    bool createShop(QString* error) const;

private:
    QString m_server;
    QString m_name;
    QString m_error;
};
