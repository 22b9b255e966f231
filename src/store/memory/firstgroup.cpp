#include "store/memory/firstgroup.h"

#include "store/memory/memtable.h"

int firstGroupRow(const MemTable& table, const std::vector<int>& positions, const std::vector<int>& columns)
{
    int shown = -1;
    for (const int p : positions) {
        if (shown < 0) {
            shown = p;
            continue;
        }
        int order = 0;
        for (const int c : columns) {
            // One entry is one value; different entries may still be equal (letter case).
            if (table.entry(p, c) == table.entry(shown, c))
                continue;
            order = table.compareCells(p, shown, c);
            if (order != 0)
                break;
        }
        // A later row of the same group is the one the group shows.
        if (order <= 0)
            shown = p;
    }
    return shown;
}
