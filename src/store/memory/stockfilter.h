#pragma once

#include "store/memory/stockqueries.h"

#include <QString>

#include <optional>
#include <vector>

class MemTable;

// The stock searches run on the in-memory stock table: the rows, and their
// order, that stockq::search() and stockq::listAll() return from the engine,
// as positions into the table.
//
// Remembers the last search: when the next one differs only by text boxes
// whose new text contains the old one (a letter typed, a scanner sending the
// next digit), only the previous hits are filtered again.
class StockFilter final
{
public:
    explicit StockFilter(const MemTable& table);

    // The rows of stockq::search(zero, c) in the engine's order: row-identity
    // order, or stock-in date order when the date range is used (the engine
    // reads that range through the date index). On the engine's error (a
    // pattern it refuses) returns false with its text.
    bool search(stockq::ZeroStock zero, const stockq::Conditions& c, std::vector<int>* positions, QString* error);
    // The rows of stockq::listAll(zero): by stock-in date, then row identity.
    std::vector<int> listAll(stockq::ZeroStock zero);

    // Whether the last search() only narrowed the previous hits (for tests and measurements).
    bool lastSearchNarrowed() const { return m_narrowed; }

private:
    struct Columns
    {
        int category = -1, nameInitials = -1, specInitials = -1, code = -1, remark = -1, supplier = -1;
        int quantityIn = -1, stock = -1, day = -1;
    };
    bool resolveColumns(QString* error);
    const std::vector<int>& dayOrder();

    const MemTable& m_table;
    Columns m_col;
    quint64 m_columnsLoad = ~quint64(0);

    std::vector<int> m_dayOrder;
    quint64 m_dayOrderVersion = ~quint64(0);
    quint64 m_dayOrderLoad = ~quint64(0);
    // The rows of the base condition alone in row-identity order, for a search
    // without dates: a first keystroke starts from them.
    std::vector<int> m_baseRows;
    quint64 m_baseVersion = ~quint64(0);
    stockq::ZeroStock m_baseZero = stockq::ZeroStock::Shown;

    struct Last
    {
        quint64 version;
        stockq::ZeroStock zero;
        stockq::Conditions conditions;
        std::vector<int> positions;
    };
    std::optional<Last> m_last;
    bool m_narrowed = false;
};
