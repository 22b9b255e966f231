#include "testserver.h"

#include "store/db/serverconnection.h"
#include "store/db/serverschema.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QFile>

bool testServerConnInfo(QString* conninfo, QString* why)
{
    const QString file = qEnvironmentVariable("TARVIK_PG_CONNINFO_FILE");
    if (file.isEmpty()) {
        *why = QStringLiteral("TARVIK_PG_CONNINFO_FILE is not set: run this test through ctest, which starts the "
                              "test server");
        return false;
    }
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("the test server was not started (%1: %2)").arg(file, f.errorString());
        return false;
    }
    *conninfo = QString::fromUtf8(f.readAll()).trimmed();
    if (conninfo->isEmpty()) {
        *why = QStringLiteral("%1 is empty").arg(file);
        return false;
    }
    return true;
}

bool testServerMayBeMissing()
{
    return qEnvironmentVariable("CI") != QLatin1String("true") && qEnvironmentVariableIsEmpty("TARVIK_PG_CONNINFO_FILE");
}

ScratchServerDatabase::ScratchServerDatabase(const QString& serverConnInfo)
    : m_server(serverConnInfo)
{
    static QAtomicInt serial;
    const QString name = QStringLiteral("scratch_%1_%2").arg(QCoreApplication::applicationPid()).arg(++serial);
    ServerConnection admin;
    if (!admin.open(m_server, &m_error))
        return;
    // A database left by a killed run of an earlier process with the same number goes first.
    if (!admin.exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name), &m_error) ||
        !admin.exec(QStringLiteral("CREATE DATABASE %1").arg(name), &m_error))
        return;
    m_name = name;
}

ScratchServerDatabase::~ScratchServerDatabase()
{
    if (m_name.isEmpty())
        return;
    ServerConnection admin;
    QString ignored;
    if (admin.open(m_server, &ignored))
        admin.exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_name), &ignored);
}

QString ScratchServerDatabase::connInfo() const
{
    // The last dbname of a connection string is the one used.
    return m_server + QStringLiteral(" dbname=") + m_name;
}

bool ScratchServerDatabase::createShop(QString* error) const
{
    ServerConnection admin;
    return admin.open(connInfo(), error) && serverschema::createDelivered(admin, error);
}
