#pragma once

#include <vector>

class MemTable;

// The first row of "select cols from t where … group by cols" read from the
// rows at `positions` (live, in row-identity order, as the engine scans
// them): the position of the row the engine shows for the first group.
// Groups are ordered column by column in the engine's order (NULL first,
// numbers, texts under the column's collation, blobs); values the collation
// calls equal are one group, and the group shows the values of its last row
// (the highest row identity), spelling included. -1 when `positions` is empty.
int firstGroupRow(const MemTable& table, const std::vector<int>& positions, const std::vector<int>& columns);
