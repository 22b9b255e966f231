#pragma once

#include "store/db/database.h"
#include "store/memory/columntable.h"

// A column table's cells as an ordinary statement result, in the order the
// table shows its rows.
inline QueryResult rowsOf(const ColumnTable& t)
{
    QueryResult r{t.columns(), {}};
    for (const int row : t.order()) {
        QVector<QVariant> cells;
        for (int c = 0; c < t.columns().size(); ++c)
            cells.append(t.value(row, c));
        r.rows.append(cells);
    }
    return r;
}
