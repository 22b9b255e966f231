#pragma once

#include <QStringList>

// The five skins the program carries as style sheets.
namespace skins {

// Menu captions, skins 0 to 4.
QStringList captions();
// Applies skin 0..4 to every window at once; any other number restores the default look.
void apply(int index);
// Applies the stored `skin` value: "0" to "4" choose a skin, anything else leaves the default.
void applyStored(const QString& value);
// The skin in use, -1 for the default look.
int current();

} // namespace skins
