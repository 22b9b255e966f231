#include "app/launchers.h"

#include "core/messageport.h"

#include <QProcess>
#include <QStandardPaths>

namespace launchers {

QString findProgram(const QStringList& candidates)
{
    for (const QString& c : candidates) {
        const QString path = QStandardPaths::findExecutable(c);
        if (!path.isEmpty())
            return path;
    }
    return {};
}

QStringList calculatorCandidates()
{
    return {QStringLiteral("gnome-calculator"), QStringLiteral("kcalc"),         QStringLiteral("mate-calc"),
            QStringLiteral("galculator"),       QStringLiteral("qalculate-gtk"), QStringLiteral("xcalc")};
}

QStringList editorCandidates()
{
    return {QStringLiteral("gnome-text-editor"),
            QStringLiteral("gedit"),
            QStringLiteral("kate"),
            QStringLiteral("kwrite"),
            QStringLiteral("mousepad"),
            QStringLiteral("pluma"),
            QStringLiteral("xed"),
            QStringLiteral("featherpad"),
            QStringLiteral("leafpad"),
            QStringLiteral("xedit")};
}

QStringList browserCandidates()
{
    // x-www-browser is Debian's name for whichever browser is installed.
    // xdg-open is no witness: it exists, and fails later, on a machine
    // without any browser.
    return {QStringLiteral("x-www-browser"), QStringLiteral("firefox"),          QStringLiteral("firefox-esr"),
            QStringLiteral("chromium"),      QStringLiteral("chromium-browser"), QStringLiteral("google-chrome"),
            QStringLiteral("epiphany"),      QStringLiteral("falkon"),           QStringLiteral("konqueror")};
}

namespace {
bool startWith(const QStringList& candidates, const QStringList& arguments, const QString& missingMessage)
{
    const QString program = findProgram(candidates);
    if (program.isEmpty() || !QProcess::startDetached(program, arguments)) {
        messagePort().inform(missingMessage);
        return false;
    }
    return true;
}
} // namespace

bool start(const QStringList& candidates, const QString& missingMessage)
{
    return startWith(candidates, {}, missingMessage);
}

bool openWebPage(const QString& url, const QString& missingMessage)
{
    return startWith(browserCandidates(), {url}, missingMessage);
}

} // namespace launchers
