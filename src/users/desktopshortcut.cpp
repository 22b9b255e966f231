#include "users/desktopshortcut.h"

#include "core/safefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

// Escapes of the string value type: backslash and control characters, and
// blanks at either end, which readers would otherwise strip.
QString escapeValue(const QString& value)
{
    QString out;
    out.reserve(value.size() + 8);
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == u'\\')
            out += QLatin1String("\\\\");
        else if (c == u'\n')
            out += QLatin1String("\\n");
        else if (c == u'\t')
            out += QLatin1String("\\t");
        else if (c == u'\r')
            out += QLatin1String("\\r");
        else if (c == u' ' && (i == 0 || i == value.size() - 1))
            out += QLatin1String("\\s");
        else
            out += c;
    }
    return out;
}

// One Exec argument: always quoted, with the characters that keep a meaning
// inside quotes escaped, and "%" doubled so it is not read as a field code.
// The string escapes are applied on top by the caller.
QString quoteExecArgument(const QString& argument)
{
    QString out = QStringLiteral("\"");
    for (QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            out += u'\\';
        if (c == u'%')
            out += u'%';
        out += c;
    }
    out += u'"';
    return out;
}

} // namespace

QString desktopEntryText(const DesktopShortcut& shortcut)
{
    QString text = QStringLiteral("[Desktop Entry]\n"
                                  "Type=Application\n");
    text += QLatin1String("Name=") + escapeValue(shortcut.name) + u'\n';
    text += QLatin1String("Comment=") + escapeValue(shortcut.name) + u'\n';
    QString exec = quoteExecArgument(shortcut.program);
    for (const QString& a : shortcut.arguments)
        exec += u' ' + quoteExecArgument(a);
    text += QLatin1String("Exec=") + escapeValue(exec) + u'\n';
    text += QLatin1String("Path=") + escapeValue(shortcut.workingFolder) + u'\n';
    if (!shortcut.icon.isEmpty())
        text += QLatin1String("Icon=") + escapeValue(shortcut.icon) + u'\n';
    text += QLatin1String("Terminal=false\n");
    return text;
}

bool writeDesktopShortcut(const QString& folder, const DesktopShortcut& shortcut, QString* error)
{
    if (folder.isEmpty() || shortcut.name.isEmpty() || !QFileInfo(folder).isDir())
        return false;
    const QString path = QDir(folder).filePath(shortcut.name + QLatin1String(".desktop"));
    // Desktops only launch entries that are marked executable.
    const QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                    QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    const QByteArray bytes = desktopEntryText(shortcut).toUtf8();
    // The same shortcut is not written again at every login.
    QFile current(path);
    if (QFile::permissions(path) == mode && current.open(QIODevice::ReadOnly) && current.readAll() == bytes)
        return true;
    // Written beside the target and renamed over it, so an old shortcut is
    // never left half overwritten.
    SafeFile file(path);
    if (!file.open() || file.device().write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = file.errorText();
        return false;
    }
    return QFile::setPermissions(path, mode);
}

DesktopShortcut programShortcut(const QString& workingFolder, const QString& programFile, const QStringList& arguments)
{
    // An installed program (<prefix>/bin) has its icon in the icon theme of
    // <prefix>/share, which the desktop finds by name; a program in a build
    // folder has none, and the desktop shows its generic icon.
    const QString icon = QStringLiteral("tarvik");
    const QString themed =
        QDir::cleanPath(QFileInfo(programFile).absolutePath() +
                        QLatin1String("/../share/icons/hicolor/scalable/apps/") + icon + QLatin1String(".svg"));
    return DesktopShortcut{QStringLiteral("Tarvik运动品销售管理软件"), programFile,
                           QDir::toNativeSeparators(workingFolder), QFileInfo::exists(themed) ? icon : QString(),
                           arguments};
}

bool writeProgramShortcut(const QString& workingFolder, const QStringList& arguments, QString* error)
{
    return writeDesktopShortcut(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation),
                                programShortcut(workingFolder, QCoreApplication::applicationFilePath(), arguments),
                                error);
}
