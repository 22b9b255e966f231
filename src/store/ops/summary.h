#pragma once

#include "store/db/database.h"
#include "store/memory/columntable.h"

class MemTable;
class SortRanks;

// The per-article summary of the stock table: one row per article (name,
// model, code and category, compared as the columns compare, so
// letter case does not make another article) with the sums of the purchased,
// sold and stocked quantities and amounts of all its stock rows.
namespace summary {

// The result columns: a, b, c, d, then the six sums.
const QStringList& columns();

// The summary from the in-memory stock table: articles in Chinese order of
// name, model, code and category; each article shows the texts of its
// last stock row; sums in fixed point, NULL when every value is NULL. The
// article columns carry their ranks for sorting. `ranks` must belong to `stock`.
ColumnTable compute(const MemTable& stock, SortRanks& ranks);

// The same as a statement on table data, in the same order.
Statement statement();

} // namespace summary
