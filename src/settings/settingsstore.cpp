#include "settings/settingsstore.h"

#include "settings/settingkeys.h"
#include "settings/textfile.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>

namespace {

QString escapeValue(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        if (c == u'\\')
            out += u"\\\\";
        else if (c == u'\n')
            out += u"\\n";
        else if (c == u'\r')
            out += u"\\r";
        else
            out += c;
    }
    return out;
}

QString unescapeValue(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const QChar next = text[i + 1];
        if (next == u'\\')
            out += u'\\';
        else if (next == u'n')
            out += u'\n';
        else if (next == u'r')
            out += u'\r';
        else {
            // Not one of ours (a hand edit): keep it as it stands.
            out += c;
            continue;
        }
        ++i;
    }
    return out;
}

// The value name of a "name=value" line, empty for lines that hold none.
QStringView lineName(const QString& line)
{
    const qsizetype eq = line.indexOf(u'=');
    return eq < 0 ? QStringView() : QStringView(line).left(eq).trimmed();
}

// Names are written verbatim into the file, so they must not be able to
// break its form.
bool validName(const QString& name)
{
    return !name.isEmpty() && name == name.trimmed() && !name.contains(u'=') && !name.contains(u'\n') &&
           !name.contains(u'\r');
}

} // namespace

QString settingkeys::defaultBackupPath()
{
    return QDir(QDir::homePath()).filePath(QStringLiteral("beifen.mdb"));
}

QString SettingsStore::folderPath()
{
    // XDG base directories: a relative $XDG_CONFIG_HOME is to be ignored.
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || QFileInfo(config).isRelative()) {
        QString home = qEnvironmentVariable("HOME");
        if (home.isEmpty())
            home = QDir::homePath();
        config = QDir(home).filePath(QStringLiteral(".config"));
    }
    return QDir(config).filePath(QStringLiteral("pelmora"));
}

QString SettingsStore::filePath()
{
    return QDir(folderPath()).filePath(QStringLiteral("jxc.ini"));
}

bool SettingsStore::keyExists()
{
    return QFileInfo::exists(filePath());
}

QString SettingsStore::read(const QString& name)
{
    QString text;
    if (textfile::read(filePath(), text) != textfile::ReadStatus::Ok)
        return {};
    for (const QString& line : textfile::splitLines(text)) {
        if (lineName(line).compare(name, Qt::CaseInsensitive) == 0 && !lineName(line).isEmpty())
            return unescapeValue(QStringView(line).mid(line.indexOf(u'=') + 1));
    }
    return {};
}

bool SettingsStore::write(const QString& name, const QString& value, QString* error)
{
    const QString path = filePath();
    const auto fail = [&] {
        if (error)
            *error = QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(path));
        return false;
    };
    Q_ASSERT(validName(name));
    if (!validName(name))
        return fail();

    QString text;
    // An existing file that cannot be read is not replaced: that would lose
    // every other value in it.
    if (textfile::read(path, text) == textfile::ReadStatus::Failed)
        return fail();

    QStringList lines = textfile::splitLines(text);
    const QString newLine = name + u'=' + escapeValue(value);
    bool replaced = false;
    for (QString& line : lines) {
        if (lineName(line).compare(name, Qt::CaseInsensitive) == 0) {
            // The value is stored already: nothing to replace (a sale stores
            // its day sequence each time, mostly unchanged).
            if (line == newLine)
                return true;
            line = newLine;
            replaced = true;
            break;
        }
    }
    if (!replaced)
        lines.append(newLine);
    return textfile::write(path, lines.join(u'\n') + u'\n', error);
}

QString SettingsStore::readAlarmNumber()
{
    const QString text = read(settingkeys::stockAlarm);
    constexpr qsizetype kMaxDigits = 9;
    const bool digitsOnly = !text.isEmpty() && text.size() <= kMaxDigits &&
                            std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    return digitsOnly ? text : QString(settingkeys::stockAlarmDefault);
}
