#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// What one run of tarvik-admin printed and returned.
struct AdminRun
{
    int code; // -1 when it crashed or did not end within two minutes
    QString out;
    QString err;
};

// Runs the tarvik-admin the test was built with (TARVIK_ADMIN_PATH), in
// `cwd` when given, with `input` on its standard input.
inline AdminRun runAdmin(const QStringList& args, const QString& cwd = {}, const QByteArray& input = {})
{
    QProcess p;
    if (!cwd.isEmpty())
        p.setWorkingDirectory(cwd);
    p.start(QStringLiteral(TARVIK_ADMIN_PATH), args);
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(120000))
        return {-1, {}, QStringLiteral("timed out")};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}
