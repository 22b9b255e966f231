#pragma once

#include "store/memory/salesearch.h"
#include "store/memory/searchfilter.h"

#include <QString>

#include <vector>

class MemTable;

// The sales detail window's statements answered from the in-memory sale
// table: the rows, in the order, that salesearch::statement() gives from the
// engine, as positions into the table. A search narrows the previous hits
// where it can (see SearchFilter).
class SaleFilter final : public SearchFilter
{
public:
    explicit SaleFilter(const MemTable& table);

    // False with the engine's error text for a statement the engine refuses
    // (a pattern too long), or when the table lacks a column.
    bool run(const salesearch::Query& q, std::vector<int>* positions, QString* error);

private:
    struct Columns
    {
        int category = -1, nameInitials = -1, code = -1, specInitials = -1, customer = -1, remark = -1;
        int quantity = -1, saleNumber = -1, day = -1;
    };
    bool resolveColumns(QString* error);
    // A search of the boxes among sales (sign 1) or returns (sign -1).
    bool search(int sign, const salesearch::Conditions& c, std::vector<int>* positions, QString* error);

    Columns m_col;
};
