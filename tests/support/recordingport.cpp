#include "recordingport.h"

RecordingPort::RecordingPort()
    : m_previous(&messagePort())
{
    setMessagePort(this);
}

RecordingPort::~RecordingPort()
{
    setMessagePort(m_previous);
}

void RecordingPort::showError(const QString& text)
{
    entries.append({QStringLiteral("error"), QString(), text});
}

void RecordingPort::warning(const QString& text, const QString& title)
{
    entries.append({QStringLiteral("warning"), title, text});
}

void RecordingPort::inform(const QString& text)
{
    entries.append({QStringLiteral("inform"), QString(), text});
}

MessagePort::Answer RecordingPort::confirm(const QString& title, const QString& text)
{
    entries.append({QStringLiteral("confirm"), title, text});
    return answers.isEmpty() ? Answer::Cancel : answers.takeFirst();
}

MessagePort::Answer RecordingPort::askYesNo(const QString& title, const QString& text)
{
    entries.append({QStringLiteral("yesno"), title, text});
    return answers.isEmpty() ? Answer::Cancel : answers.takeFirst();
}

QString RecordingPort::openFileName(const QString& caption, const QString&, const QString&)
{
    entries.append({QStringLiteral("open"), caption, QString()});
    return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
}

QString RecordingPort::saveFileName(const QString& caption, const QString&, const QString&)
{
    entries.append({QStringLiteral("save"), caption, QString()});
    return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
}

QStringList RecordingPort::texts() const
{
    QStringList out;
    for (const Entry& e : entries)
        out << e.text;
    return out;
}
