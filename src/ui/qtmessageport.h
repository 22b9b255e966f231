#pragma once

#include "core/messageport.h"

#include <QString>

// The program's message port: Qt message boxes and file dialogs over the active window.
class QtMessagePort final : public MessagePort
{
public:
    // `title` heads the boxes that have no title of their own.
    explicit QtMessagePort(QString title)
        : m_title(std::move(title))
    {
    }

    void showError(const QString& text) override;
    void warning(const QString& text, const QString& title) override;
    void inform(const QString& text) override;
    Answer confirm(const QString& title, const QString& text) override;
    Answer askYesNo(const QString& title, const QString& text) override;
    QString openFileName(const QString& caption, const QString& directory, const QString& filter) override;
    // Does not ask about replacing an existing file: the caller asks once.
    QString saveFileName(const QString& caption, const QString& directory, const QString& filter) override;
    QString existingFolder(const QString& caption, const QString& directory) override;

private:
    QString m_title;
};
