#pragma once

#include "store/salesqueries.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class LikePattern;
class MemTable;

// The sales detail window's statements answered from the in-memory sale
// table: the rows, in the order, that salesq::statement() gives from the
// engine, as positions into the table.
//
// Remembers the last search: when the next one differs only by text boxes
// whose new text contains the old one (a letter typed), only the previous hits
// are filtered again.
//
// A sale table repeats its texts (a few thousand initials, customers, days
// over a million rows), so each searched column gets, when first searched, a
// number per row for its text: a pattern is then matched once per distinct
// text and every row only looks its number up. The numbers follow the
// table's own writes and are dropped when it is re-read.
class SaleFilter final
{
public:
    explicit SaleFilter(const MemTable& table);
    ~SaleFilter();

    // False with the engine's error text for a statement the engine refuses
    // (a pattern too long), or when the table lacks a column.
    bool run(const salesq::Query& q, std::vector<int>* positions, QString* error);

    // Whether the last run only narrowed the previous hits (for tests and measurements).
    bool lastSearchNarrowed() const { return m_narrowed; }

private:
    // Per row of one column: 0 NULL (never matches), -1 a value tested row by
    // row (numbers, blobs, irregular texts), otherwise the number of its text.
    struct TextIndex
    {
        quint64 load = ~quint64(0);
        std::vector<qint32> ids;
        std::vector<std::string> texts; // by number; [0] unused
        std::unordered_map<std::string, qint32> numbers;
    };
    TextIndex& textIndex(int column);
    void indexRow(TextIndex& ix, int column, int pos);
    // MemTable::filterLike() through the column's text numbers.
    void filterLike(std::vector<int>& rows, int column, const LikePattern& pattern);

    struct Columns
    {
        int category = -1, nameInitials = -1, code = -1, specInitials = -1, customer = -1, remark = -1;
        int quantity = -1, day = -1, saleNumber = -1;
    };
    bool resolveColumns(QString* error);
    const std::vector<int>& dayOrder();
    // Rows with quantity > 0 (sign 1) or < 0 (sign -1), in row-identity order.
    const std::vector<int>& baseRows(int sign);
    bool search(int sign, const salesq::Conditions& c, std::vector<int>* positions, QString* error);

    const MemTable& m_table;
    Columns m_col;
    quint64 m_columnsLoad = ~quint64(0);

    std::vector<int> m_dayOrder;
    quint64 m_dayOrderVersion = ~quint64(0);
    std::vector<int> m_base[2]; // [0]: sales, [1]: returns
    quint64 m_baseVersion[2] = {~quint64(0), ~quint64(0)};

    struct Last
    {
        quint64 version;
        int sign;
        salesq::Conditions conditions;
        std::vector<int> positions;
    };
    std::optional<Last> m_last;
    bool m_narrowed = false;
    std::unordered_map<int, TextIndex> m_indexes;
    std::unique_ptr<QObject> m_watch; // receives the table's row signals
};
