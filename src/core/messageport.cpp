#include "core/messageport.h"

#include <cstdio>

namespace {

// Until the program installs its own port (before any window exists), messages
// go to standard error so that nothing is ever swallowed silently.
class StderrPort final : public MessagePort
{
public:
    void error(const QString& text) override { print(text); }
    void warning(const QString& text, const QString&) override { print(text); }
    void inform(const QString& text) override { print(text); }
    Answer confirm(const QString&, const QString& text) override
    {
        print(text);
        return Answer::Cancel;
    }
    QString openFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFileName(const QString&, const QString&, const QString&) override { return {}; }

private:
    static void print(const QString& text) { std::fprintf(stderr, "%s\n", text.toUtf8().constData()); }
};

StderrPort g_stderrPort;
MessagePort* g_port = &g_stderrPort;

} // namespace

MessagePort& messagePort()
{
    return *g_port;
}

void setMessagePort(MessagePort* port)
{
    g_port = port ? port : &g_stderrPort;
}
