#pragma once

#include <QString>

// Passwords are kept as salted PBKDF2-HMAC-SHA256 hashes of the password folded
// to lower case, so that a login stays case-insensitive without storing the
// password itself. Stored form: "pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>".
QString hashPassword(const QString& password);
bool verifyPassword(const QString& password, const QString& stored);
