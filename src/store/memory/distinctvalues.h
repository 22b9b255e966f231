#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

class MemTable;

// The distinct values of some columns of an in-memory table, in the order and
// with the grouping of "select c from t group by c order by c collate pinyin":
// NULL first, then numbers, then texts in Chinese order, values the column's
// collation calls equal grouped into one, shown as the group's row with the
// highest row identity (as the engine shows it). Built once per load of the table and
// kept current by its row changes, so a list refill costs no statement.
//
// Lists hand out snapshots: a snapshot stays as it was while the table
// changes (a drop-down list shows what it was filled with until its next
// refill); a change copies a column's values only while a snapshot of them is
// held.
class DistinctValues final : public QObject
{
    Q_OBJECT
public:
    struct Entry
    {
        quint8 cls = 0; // 0 NULL, 1 number, 2 text, 3 blob
        double number = 0;
        std::string bytes; // the shown value's text
        qint64 count = 0;
        qint64 maxRowId = -1; // the row whose value is shown; -1 when it has to be looked up
        bool mixed = false;   // members whose texts differ (letter case)
        QString text() const;
    };
    using Snapshot = std::shared_ptr<const std::vector<Entry>>;

    DistinctValues(const MemTable& table, QStringList columns, QObject* parent = nullptr);
    ~DistinctValues() override;

    // The current values of `column` (one of the names given); empty when unknown.
    Snapshot values(const QString& column);

private:
    struct Column;
    void rebuild();
    void add(Column& c, int pos);
    void remove(Column& c, int pos);
    int compareTo(const Column& c, int pos, const Entry& e) const;
    void lookUpShown(Column& c, Entry& e, int exclude);

    const MemTable& m_table;
    QStringList m_names;
    std::vector<std::unique_ptr<Column>> m_columns;
    quint64 m_builtLoad = ~quint64(0);
};
