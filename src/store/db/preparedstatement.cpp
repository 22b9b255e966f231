#include "store/db/preparedstatement.h"

#include "store/db/database.h"

#include <sqlite3.h>

#include <utility>

PreparedStatement::PreparedStatement(sqlite3* db, QByteArrayView sql, QString* error)
    : m_db(db)
{
    if (!db) {
        *error = QStringLiteral("Database is not open");
        return;
    }
    if (sqlite3_prepare_v2(db, sql.data(), int(sql.size()), &m_stmt, nullptr) != SQLITE_OK) {
        *error = engineError();
        reset();
    }
}

PreparedStatement::PreparedStatement(sqlite3* db, const Statement& st, QString* error)
    : PreparedStatement(db, QByteArrayView(st.sql.toUtf8()), error)
{
    if (!m_stmt)
        return;
    const int expected = sqlite3_bind_parameter_count(m_stmt);
    if (expected != st.params.size()) {
        *error = QStringLiteral("Statement expects %1 values, %2 given").arg(expected).arg(st.params.size());
        reset();
        return;
    }
    for (int i = 0; i < st.params.size(); ++i) {
        if (!bind(i + 1, st.params.at(i))) {
            *error = engineError();
            reset();
            return;
        }
    }
}

PreparedStatement::~PreparedStatement()
{
    sqlite3_finalize(m_stmt);
}

PreparedStatement::PreparedStatement(PreparedStatement&& other) noexcept
    : m_db(std::exchange(other.m_db, nullptr))
    , m_stmt(std::exchange(other.m_stmt, nullptr))
{
}

PreparedStatement& PreparedStatement::operator=(PreparedStatement&& other) noexcept
{
    if (this != &other) {
        sqlite3_finalize(m_stmt);
        m_db = std::exchange(other.m_db, nullptr);
        m_stmt = std::exchange(other.m_stmt, nullptr);
    }
    return *this;
}

void PreparedStatement::reset()
{
    sqlite3_finalize(m_stmt);
    m_stmt = nullptr;
}

bool PreparedStatement::bind(int index, const QVariant& v)
{
    if (v.isNull() || !v.isValid())
        return sqlite3_bind_null(m_stmt, index) == SQLITE_OK;
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return sqlite3_bind_double(m_stmt, index, v.toDouble()) == SQLITE_OK;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Bool:
        return sqlite3_bind_int64(m_stmt, index, v.toLongLong()) == SQLITE_OK;
    default: {
        const QByteArray text = v.toString().toUtf8();
        return sqlite3_bind_text(m_stmt, index, text.constData(), int(text.size()), SQLITE_TRANSIENT) == SQLITE_OK;
    }
    }
}

QString PreparedStatement::engineError() const
{
    return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("Database is not open");
}
