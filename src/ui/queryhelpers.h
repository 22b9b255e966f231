#pragma once

#include "store/memory/distinctvalues.h"

#include <QString>

class QComboBox;
class QWidget;
class RowSet;
class Tdmfm;

// True when the edit box or drop-down list holds text other than blanks and
// control characters. Otherwise shows the warning `message` (title "Warning"),
// gives the control the focus and returns false.
bool RequireText(QWidget* control, const QString& message);

// Empties the list and its text, then fills it with the distinct values of
// `column` of `table` in ascending order (an empty value gives an empty item).
// A failed statement leaves the list empty.
void FillDistinctList(Tdmfm& dm, const QString& column, const QString& table, QComboBox* list);

// Empties the list and its text, then shows `values` as its items. The list
// reads the values where they are: a list of 100,000 values creates no item
// per value, and a refill costs the same whatever its length.
void FillDistinctList(QComboBox* list, DistinctValues::Snapshot values);
