#include "settings/textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
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
    const auto fail = [&] {
        if (error)
            *error = QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(path));
        return false;
    };
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return fail();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail();
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size())
        return fail(); // QSaveFile discards the partial copy on destruction
    if (!file.commit())
        return fail();
    return true;
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
