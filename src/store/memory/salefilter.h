#pragma once

#include "store/memory/salesqueries.h"

#include <QString>

#include <optional>
#include <vector>

class MemTable;

// The sales detail window's statements answered from the in-memory sale
// table: the rows, in the order, that salesq::statement() gives from the
// engine, as positions into the table.
//
// Remembers the last search: when the next one differs only by text boxes
// whose new text contains the old one (a letter typed), only the previous hits
// are filtered again. A pattern is matched once per distinct value of a
// column (MemTable::filterLike), not once per row.
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
};
