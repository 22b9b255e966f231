#pragma once

#include <QString>

class QApplication;
class ShopLocation;
class QCoreApplication;

// Program-wide settings made once at start: titles, fonts, hint colours.
namespace startup {

// The program's name, the title of the message boxes that have no title of their own.
QString applicationTitle();
// Where an installed program finds the Qt texts its package brings
// (<prefix>/share/tarvik/translations for <prefix>/bin).
QString installedTranslationsFolder(const QString& programFolder);
// Loads Qt's own Simplified Chinese texts, from the package's folder first,
// else from Qt's; false when neither has them.
bool installQtTranslations(QCoreApplication& app);
// Says which database the program opens (category tarvik.startup).
void logDatabase(const ShopLocation& location);
void configureApplication(QApplication& app);

} // namespace startup
