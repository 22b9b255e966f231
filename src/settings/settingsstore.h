#pragma once

#include <QString>


// The per-user settings store: small text values in one file,
// <config>/pelmora/jxc.ini, where <config> is $XDG_CONFIG_HOME when it holds an
// absolute path and $HOME/.config otherwise. The file plays the part of a
// registry key: the key "exists" when the file does.
//
// There is no cache: every read opens the file, every write replaces it at once
// (atomically and synced to disk), so a value written by one window is what the
// next read anywhere sees. Reading never creates anything.
//
// File form: UTF-8 lines "name=value"; the name ends at the first "=", so values
// may hold "=". In values, "\" is written "\\", a line feed "\n" and a carriage
// return "\r"; every other character, Chinese text included, is written as is.
class SettingsStore final
{
public:
    SettingsStore() = delete;

    // <config>/pelmora: the folder of the settings file and the column-layout file.
    static QString folderPath();
    // <config>/pelmora/jxc.ini
    static QString filePath();

    // True when the store has been created, that is, something was written once.
    // Callers that must leave every default alone on a first run ask this first.
    static bool keyExists();

    // The text stored under `name` (names compare case-insensitively); empty when
    // the store, the value or the file's content is missing or unreadable.
    static QString read(const QString& name);

    // Stores `value` under `name`, creating the folder and the file when missing.
    // On failure returns false and sets *error to "Unable to write to <file>"
    // (and, on a second line, the system's reason when writing failed: a full
    // disk); the file then keeps its former content.
    static bool write(const QString& name, const QString& value, QString* error = nullptr);

    // The stored stock alarm number when it is a whole number >= 0 written as
    // 1 to 9 digits; anything else, and nothing stored, gives
    // settingkeys::stockAlarmDefault.
    static QString readAlarmNumber();
};
