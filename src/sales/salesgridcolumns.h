#pragma once

#include "ui/datagrid.h"

#include <QList>

// The columns of the sales detail grid, in their designed order.
QList<GridColumn> salesGridColumns();
