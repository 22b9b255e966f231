#pragma once

#include "adminrun.h"
#include "testserver.h"

#include "store/db/serverconnection.h"
#include "store/db/serverschema.h"

#include <QCoreApplication>
#include <QString>

#include <atomic>
#include <memory>

// A delivered shop on the test server and a login role of its own that
// `tarvik-admin clerk` made a role of ordinary users' tills. Roles belong to
// the whole cluster: the name is new for every shop, and the role is dropped
// again after the shop's database.
class ClerkShop final
{
public:
    explicit ClerkShop(const QString& server)
        : m_server(server)
        , m_scratch(std::make_unique<ScratchServerDatabase>(server))
    {
        static std::atomic<int> serial{0};
        m_role = QStringLiteral("till_%1_%2").arg(QCoreApplication::applicationPid()).arg(++serial);
        ServerConnection admin;
        if (!m_scratch->isValid()) {
            m_error = m_scratch->error();
            return;
        }
        if (!admin.open(m_scratch->connInfo(), &m_error) || !serverschema::createDelivered(admin, &m_error) ||
            !admin.exec(QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD 'till-secret'").arg(m_role), &m_error))
            return;
        m_roleMade = true;
        const AdminRun run =
            runAdmin({QStringLiteral("clerk"), m_role, QStringLiteral("--database"), m_scratch->connInfo()});
        if (run.code != 0) {
            m_error = QStringLiteral("tarvik-admin clerk: %1 %2").arg(run.code).arg(run.err);
            return;
        }
        m_valid = true;
    }
    ~ClerkShop()
    {
        m_scratch.reset(); // the role's privileges and settings go with the database
        ServerConnection admin;
        QString ignored;
        if (m_roleMade && admin.open(m_server, &ignored))
            admin.exec(QStringLiteral("DROP ROLE IF EXISTS %1").arg(m_role), &ignored);
    }
    ClerkShop(const ClerkShop&) = delete;
    ClerkShop& operator=(const ClerkShop&) = delete;

    bool isValid() const { return m_valid; }
    QString error() const { return m_error; }
    QString role() const { return m_role; }
    // The shop as its owner reaches it (the test server's superuser).
    QString ownerConnInfo() const { return m_scratch->connInfo(); }
    // The shop as an ordinary user's till reaches it. The last user of a
    // connection string is the one used.
    QString clerkConnInfo() const
    {
        return m_scratch->connInfo() + QStringLiteral(" user=%1 password=till-secret").arg(m_role);
    }

private:
    QString m_server;
    std::unique_ptr<ScratchServerDatabase> m_scratch;
    QString m_role;
    QString m_error;
    bool m_roleMade = false;
    bool m_valid = false;
};
