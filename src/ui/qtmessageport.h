#pragma once

#include "core/messageport.h"

// The program's message port: Qt message boxes and file dialogs over the active window.
class QtMessagePort final : public MessagePort
{
public:
    void error(const QString& text) override;
    void warning(const QString& text, const QString& title) override;
    void inform(const QString& text) override;
    Answer confirm(const QString& title, const QString& text) override;
    QString openFileName(const QString& caption, const QString& directory, const QString& filter) override;
    QString saveFileName(const QString& caption, const QString& directory, const QString& filter) override;
};
