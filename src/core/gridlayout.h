#pragma once

#include <QList>
#include <QString>

// A grid's column layout as plain values: what the grid widget reports and
// applies, and what the column-layout file stores (settings/layoutfile.h).

struct ColumnState
{
    QString field;      // field name; the key is "<grid>.<field>"
    int position = 0;   // display position, 0 = leftmost
    int width = 0;      // pixels
    int sortMarker = 0; // 0 none, 1 down, 2 up
    bool visible = true;
    int sortIndex = 0;
    int dropDownRows = 0;
    int dropDownWidth = 0;
};

struct GridLayout
{
    QList<ColumnState> columns;
    int rowHeight = 0;
    int textLines = 1;
};
