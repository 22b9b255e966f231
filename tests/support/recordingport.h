#pragma once

#include "core/messageport.h"

#include <QList>
#include <QString>
#include <QStringList>

// A message port for tests: records every message with its kind and title, and
// answers questions and file dialogs from queues the test fills beforehand
// (an empty queue answers Cancel / an empty file name). Installs itself as the
// program's port for its lifetime.
class RecordingPort final : public MessagePort
{
public:
    struct Entry
    {
        QString kind; // "error", "warning", "inform", "confirm", "yesno", "open", "save"
        QString title;
        QString text;
    };

    RecordingPort();
    ~RecordingPort() override;

    void warning(const QString& text, const QString& title) override;
    void inform(const QString& text) override;
    Answer confirm(const QString& title, const QString& text) override;
    Answer askYesNo(const QString& title, const QString& text) override;
    QString openFileName(const QString& caption, const QString& directory, const QString& filter) override;
    QString saveFileName(const QString& caption, const QString& directory, const QString& filter) override;

    QList<Entry> entries;
    QList<Answer> answers;
    QStringList fileNames;

    // The texts shown so far, in order; clear() forgets them.
    QStringList texts() const;
    QString lastText() const { return entries.isEmpty() ? QString() : entries.last().text; }
    void clear() { entries.clear(); }

protected:
    void showError(const QString& text) override;

private:
    MessagePort* m_previous = nullptr;
};
