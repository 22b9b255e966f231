#include "settings/textfile.h"

#include "core/safefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace textfile {

ReadStatus read(const QString& path, QString& text)
{
    text.clear();
    QFile file(path);
    if (!file.exists())
        return ReadStatus::Missing;
    if (!file.open(QIODevice::ReadOnly))
        return ReadStatus::Failed;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return ReadStatus::Failed;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    text = QString::fromUtf8(bytes);
    return ReadStatus::Ok;
}

bool write(const QString& path, const QString& text, QString* error)
{
    // A folder that cannot be made shows as the reason the file cannot be created.
    QDir().mkpath(QFileInfo(path).absolutePath());
    QString reason;
    if (SafeFile::write(path, text.toUtf8(), &reason))
        return true;
    if (error)
        *error = QStringLiteral("Unable to write to %1\n%2").arg(QDir::toNativeSeparators(path), reason);
    return false;
}

QStringList splitLines(const QString& text)
{
    QStringList lines = text.split(u'\n');
    // A final line end does not start another line.
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    for (QString& line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
    }
    return lines;
}

} // namespace textfile
