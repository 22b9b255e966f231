#pragma once

#include <QString>

// Where a shop's database is: the encrypted file, or a database on a server
// named by a libpq connection string, a postgresql:// address or a service
// name of pg_service.conf (its password belongs in ~/.pgpass, never here).
class ShopLocation final
{
public:
    enum class Kind { File, Server };

    ShopLocation() = default;
    static ShopLocation file(const QString& path) { return ShopLocation(Kind::File, path); }
    static ShopLocation server(const QString& database) { return ShopLocation(Kind::Server, database); }

    Kind kind() const { return m_kind; }
    bool isServer() const { return m_kind == Kind::Server; }
    // The file's path, or what names the server database.
    const QString& target() const { return m_target; }
    // Which shop database this is, for the login window: the file's path, or
    // the server database with any password written into its name left out.
    QString describe() const;
    // Whether what names the server database carries a password (a
    // password= keyword or parameter, or user:password@ of an address).
    bool holdsPassword() const;

    // The file of a shop folder that names its server database (one line).
    static QString folderFileName() { return QStringLiteral("database.conf"); }

    bool operator==(const ShopLocation&) const = default;

private:
    ShopLocation(Kind kind, QString target)
        : m_kind(kind)
        , m_target(std::move(target))
    {
    }

    Kind m_kind = Kind::File;
    QString m_target;
};
