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
    return {QStringLiteral("gnome-calculator"), QStringLiteral("kcalc"),     QStringLiteral("mate-calc"),
            QStringLiteral("galculator"),       QStringLiteral("qalculate-gtk"), QStringLiteral("xcalc")};
}

QStringList editorCandidates()
{
    return {QStringLiteral("gnome-text-editor"), QStringLiteral("gedit"),  QStringLiteral("kate"),
            QStringLiteral("kwrite"),            QStringLiteral("mousepad"), QStringLiteral("pluma"),
            QStringLiteral("xed"),               QStringLiteral("featherpad"), QStringLiteral("leafpad"),
            QStringLiteral("xedit")};
}

bool start(const QStringList& candidates, const QString& missingMessage)
{
    const QString program = findProgram(candidates);
    if (program.isEmpty() || !QProcess::startDetached(program, {})) {
        messagePort().inform(missingMessage);
        return false;
    }
    return true;
}

} // namespace launchers
