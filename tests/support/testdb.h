#pragma once

#include <QString>
#include <QTemporaryDir>

#include <vector>

class Database;
class MemTable;
class RowSet;
class Tdmfm;
struct Statement;

// The row identities (first column) of the rows a statement returns; empty
// with *error set when it fails.
std::vector<qint64> engineRows(Database& db, const Statement& st, QString* error);
// The row identities of positions of an in-memory table.
std::vector<qint64> rowIds(const MemTable& t, const std::vector<int>& positions);

// A row set for a test's own statements, e.g. dm.OpenQuery(scratchRows(), …);
// each statement replaces the rows of the one before.
RowSet& scratchRows();

// Every row of the shop's four tables as text, in row order: what a database
// holds, whatever the file's header says about journals and change counts.
// Empty when the file cannot be read.
QString contentOf(const QString& dbPath);

// A temporary shop folder with the delivered database, and a temporary
// configuration folder (XDG_CONFIG_HOME) so that settings never leak between
// tests or into a real shop. HOME points there too, for the desktop shortcut.
class TestShop final
{
public:
    TestShop();
    ~TestShop();

    bool isValid() const { return m_valid; }
    QString folder() const { return m_dir.path(); }
    QString dbPath() const;
    QString configFolder() const;
    // A data module connected to the database.
    Tdmfm& dm();

    // Appends a stock row the way the stock-in panel stores it; returns its row id.
    qint64 addStock(const QString& name, const QString& model, const QString& code, const QString& category,
                    double cost, double qty, double price, const QString& day = QStringLiteral("2026-01-05"),
                    const QString& supplier = QString(), const QString& remark = QString());

private:
    QTemporaryDir m_dir;
    QTemporaryDir m_config;
    QByteArray m_oldConfig;
    QByteArray m_oldHome;
    Tdmfm* m_dm = nullptr;
    bool m_valid = false;
};
