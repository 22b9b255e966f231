#include "ui/failurereport.h"

#include "core/messageport.h"
#include "settings/settingkeys.h"
#include "settings/settingsstore.h"

bool reportFailure(bool ok, const QString& error)
{
    if (!ok)
        messagePort().error(error);
    return ok;
}

bool writeSetting(const QString& key, const QString& value)
{
    QString error;
    return reportFailure(SettingsStore::write(key, value, &error), error);
}

bool writeSetting(const QString& key, int value)
{
    return writeSetting(key, QString::number(value));
}

bool writeYesNo(const QString& key, bool yes)
{
    return writeSetting(key, QString(yes ? settingkeys::yes : settingkeys::no));
}
