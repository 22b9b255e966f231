#pragma once

#include <QString>
#include <QStringList>

// Every message box, question and file dialog of the program goes through this
// port. The program uses the Qt implementation (src/ui/qtmessageport.h); tests
// use a recording one that answers from a script and keeps the exact texts.
class MessagePort
{
public:
    enum class Answer { Ok, Cancel };

    virtual ~MessagePort() = default;

    // Standard error box: engine errors, conversion errors ("'x' is not a valid ...").
    // The database engine's own English words are put into the user's words
    // first (userErrorText), whichever layer passes them on.
    void error(const QString& text) { showError(userErrorText(text)); }
    // Warning box with one "OK" button (required-field checks use the title "Warning").
    virtual void warning(const QString& text, const QString& title) = 0;
    // Plain message box with an "OK" button and the application title.
    virtual void inform(const QString& text) = 0;
    // Warning box with "OK" and "Cancel", "Cancel" preselected.
    virtual Answer confirm(const QString& title, const QString& text) = 0;
    // Question box with "Yes" and "No", "No" preselected; Ok means Yes. Ports
    // without a box of their own answer it as confirm().
    virtual Answer askYesNo(const QString& title, const QString& text) { return confirm(title, text); }
    // File dialogs; an empty result means the user cancelled.
    virtual QString openFileName(const QString& caption, const QString& directory, const QString& filter) = 0;
    virtual QString saveFileName(const QString& caption, const QString& directory, const QString& filter) = 0;
    // A folder dialog; ports without one answer as if the user cancelled.
    virtual QString existingFolder(const QString& caption, const QString& directory)
    {
        Q_UNUSED(caption);
        Q_UNUSED(directory);
        return QString();
    }

    // What a failure of the database engine means for the user and what to do,
    // in Chinese, with the engine's text after it in brackets; any other text
    // unchanged.
    static QString userErrorText(const QString& text);

protected:
    virtual void showError(const QString& text) = 0;
};

// The port the program's windows use; set once at start (or by a test).
MessagePort& messagePort();
void setMessagePort(MessagePort* port);
