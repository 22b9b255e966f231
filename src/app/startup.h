#pragma once

#include <QString>

class QApplication;

// Program-wide settings made once at start: titles, fonts, hint colours.
namespace startup {

QString applicationTitle();
void configureApplication(QApplication& app);

} // namespace startup
