#pragma once

#include "ui/datagrid.h"

#include <QList>

// The columns of the main window's stock grid, in their designed order.
QList<GridColumn> stockGridColumns();
