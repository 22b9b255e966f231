#pragma once

#include "store/memory/searchfilter.h"
#include "store/memory/stockqueries.h"

#include <QString>

#include <vector>

class MemTable;

// The stock searches run on the in-memory stock table: the rows, and their
// order, that stockq::search() and stockq::listAll() return from the engine,
// as positions into the table. A search narrows the previous hits where it
// can (see SearchFilter).
class StockFilter final : public SearchFilter
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

private:
    struct Columns
    {
        int category = -1, nameInitials = -1, specInitials = -1, code = -1, remark = -1, supplier = -1;
        int quantityIn = -1, stock = -1, day = -1;
    };
    bool resolveColumns(QString* error);

    Columns m_col;
};
