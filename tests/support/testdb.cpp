#include "testdb.h"

#include "store/db/columns.h"
#include "store/db/database.h"
#include "store/db/schema.h"
#include "store/memory/memtable.h"
#include "store/memory/rowset.h"
#include "store/ops/tdmfm.h"
#include "text/pinyininitials.h"

#include <QDir>
#include <QVariantMap>

TestShop::TestShop()
    : m_oldConfig(qgetenv("XDG_CONFIG_HOME"))
    , m_oldHome(qgetenv("HOME"))
{
    // The login writes a desktop shortcut under HOME: keep it in the test's folder.
    qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
    qputenv("HOME", m_config.path().toUtf8());
    Database db;
    QString error;
    m_valid =
        m_dir.isValid() && m_config.isValid() && db.open(dbPath(), true, &error) && schema::createDelivered(db, &error);
    if (!m_valid)
        qWarning("TestShop: %s", qPrintable(error));
}

TestShop::~TestShop()
{
    delete m_dm;
    qputenv("XDG_CONFIG_HOME", m_oldConfig);
    qputenv("HOME", m_oldHome);
}

QString TestShop::dbPath() const
{
    return QDir(m_dir.path()).filePath(QStringLiteral("data.mdb"));
}

QString TestShop::configFolder() const
{
    return m_config.path();
}

Tdmfm& TestShop::dm()
{
    if (!m_dm) {
        m_dm = new Tdmfm;
        if (const Result<void> opened = m_dm->open(dbPath()); !opened)
            qWarning("TestShop: %s", qPrintable(opened.error().text));
    }
    return *m_dm;
}

qint64 TestShop::addStock(const QString& name, const QString& model, const QString& code, const QString& category,
                          double cost, double qty, double price, const QString& day, const QString& supplier,
                          const QString& remark)
{
    const QVariantMap row{
        {QString(stockcol::name), name},
        {QString(stockcol::model), model},
        {QString(stockcol::code), code},
        {QString(stockcol::category), category},
        {QString(stockcol::nameInitials), PinyinInitials(name)},
        {QString(stockcol::modelInitials), PinyinInitials(model)},
        {QString(stockcol::supplier), supplier},
        {QString(stockcol::purchasePrice), cost},
        {QString(stockcol::quantityIn), qty},
        {QString(stockcol::purchaseAmount), cost * qty},
        {QString(stockcol::salePrice), price},
        {QString(stockcol::soldQuantity), 0.0},
        {QString(stockcol::salesAmount), 0.0},
        {QString(stockcol::stockQuantity), qty},
        {QString(stockcol::stockAmount), cost * qty},
        {QString(stockcol::remark), remark},
        {QString(stockcol::stockInDate), day},
    };
    return dm().appendRow(QStringLiteral("data"), row).valueOr(-1);
}

RowSet& scratchRows()
{
    static RowSet rows(QStringLiteral("test rows"));
    return rows;
}

QString contentOf(const QString& dbPath)
{
    Database db;
    QString error;
    if (!db.open(dbPath, false, &error))
        return {};
    QString text;
    for (const char* table : {"data", "data1", "userdb", "rz"}) {
        QueryResult r;
        if (!db.query(Statement{QStringLiteral("select * from %1 order by rowid").arg(QLatin1String(table)), {}}, &r,
                      &error))
            return {};
        text += QLatin1String(table) + QLatin1Char('\n');
        for (const QVector<QVariant>& row : r.rows) {
            for (const QVariant& v : row)
                text += (v.isNull() ? QStringLiteral("<null>") : v.toString()) + QLatin1Char('\t');
            text += QLatin1Char('\n');
        }
    }
    return text;
}

std::vector<qint64> engineRows(Database& db, const Statement& st, QString* error)
{
    QueryResult r;
    std::vector<qint64> ids;
    if (!db.query(st, &r, error))
        return ids;
    for (const auto& row : r.rows)
        ids.push_back(row.at(0).toLongLong());
    return ids;
}

std::vector<qint64> rowIds(const MemTable& t, const std::vector<int>& positions)
{
    std::vector<qint64> ids;
    for (const int p : positions)
        ids.push_back(t.rowId(p));
    return ids;
}
