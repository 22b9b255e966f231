#pragma once

#include "core/gridlayout.h"

#include <QString>

// The column-layout file lorvin.ini, beside the settings file (see
// SettingsStore::folderPath()). It is an ordinary INI file: one section per grid
// (settingkeys::layoutSectionStock / layoutSectionSales) holding
//
//   <grid>.<field>=position,width,sortMarker,visible,sortIndex,dropDownRows,dropDownWidth
//   (Default)=rowHeight,textLines
//
// The grid widget offers its columns as these plain states (core/gridlayout.h);
// the grid's owner reads and writes them here. This file knows nothing about
// widgets.

// <config>/pelmora/lorvin.ini
QString layoutFilePath();

// Writes one key per column (its `position` as given) and "(Default)" into
// `section`, replacing those keys and keeping everything else of the file: other
// keys of the section, other sections, comments. Creates the file when missing.
// On failure: false and *error = "Unable to write to <file>" (and, on a second
// line, the system's reason when writing failed); the file is then unchanged (an existing file that cannot be read is never replaced).
bool saveLayout(const QString& section, const QString& gridName, const GridLayout& layout, QString* error = nullptr);

// Applies the layout stored in `section` to `layout`.
//
// The columns' current order is their order by `position` (ties keep list
// order). For every column whose key is stored, each field of the key replaces
// the column's current value; a field that is missing or not a whole number,
// and a width, drop-down size or sort marker out of range, keeps the current
// value. A column without a key keeps its state. Out of range are widths and
// drop-down widths beyond 0 … 4000 px, drop-down row counts beyond 0 … 1000
// and sort markers beyond 0 … 2.
//
// Then every column is moved to its stored position, taking positions 0, 1, 2, …
// in turn: for p = 0 … n-1, each column whose stored position is p (in current
// order) is moved to index p, the columns in between shifting by one. A column
// without a key, or whose stored position is outside 0 … n-1, is not moved
// itself, though other moves may shift it. On return `columns` is in the new
// order and each `position` equals its index.
//
// Finally rowHeight and textLines come from "(Default)", each keeping its
// current value when missing, not a number or out of range (a row height
// beyond 1 … 500 px, text lines beyond 1 … 50).
//
// Sort markers are returned, not applied: sorting is the caller's matter.
// Returns false, leaving `layout` untouched, when the file or the section is
// missing or unreadable.
bool restoreLayout(const QString& section, const QString& gridName, GridLayout& layout);
