#include "store/db/passwordhash.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <QByteArray>
#include <QStringList>

namespace {

constexpr int kIterations = 60000;
constexpr int kSaltBytes = 16;
constexpr int kHashBytes = 32;

QByteArray derive(const QString& password, const QByteArray& salt, int iterations)
{
    const QByteArray pw = password.toLower().toUtf8();
    QByteArray out(kHashBytes, '\0');
    PKCS5_PBKDF2_HMAC(pw.constData(), int(pw.size()), reinterpret_cast<const unsigned char*>(salt.constData()),
                      int(salt.size()), iterations, EVP_sha256(), kHashBytes,
                      reinterpret_cast<unsigned char*>(out.data()));
    return out;
}

} // namespace

QString hashPassword(const QString& password)
{
    QByteArray salt(kSaltBytes, '\0');
    RAND_bytes(reinterpret_cast<unsigned char*>(salt.data()), kSaltBytes);
    return QStringLiteral("pbkdf2-sha256$%1$%2$%3")
        .arg(kIterations)
        .arg(QString::fromLatin1(salt.toHex()), QString::fromLatin1(derive(password, salt, kIterations).toHex()));
}

bool verifyPassword(const QString& password, const QString& stored)
{
    const QStringList parts = stored.split(QLatin1Char('$'));
    if (parts.size() != 4 || parts.at(0) != QLatin1String("pbkdf2-sha256"))
        return false;
    bool ok = false;
    const int iterations = parts.at(1).toInt(&ok);
    if (!ok || iterations <= 0)
        return false;
    const QByteArray salt = QByteArray::fromHex(parts.at(2).toLatin1());
    const QByteArray expected = QByteArray::fromHex(parts.at(3).toLatin1());
    const QByteArray actual = derive(password, salt, iterations);
    if (actual.size() != expected.size())
        return false;
    return CRYPTO_memcmp(actual.constData(), expected.constData(), size_t(actual.size())) == 0;
}
