#pragma once

#include <QString>

class QApplication;
class QCoreApplication;

// Program-wide settings made once at start: titles, fonts, hint colours.
namespace startup {

// The program's name, the title of the message boxes that have no title of their own.
QString applicationTitle();
// Loads Qt's own Simplified Chinese texts; false when they are not installed.
bool installQtTranslations(QCoreApplication& app);
void configureApplication(QApplication& app);

} // namespace startup
