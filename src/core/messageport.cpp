#include "core/messageport.h"

#include <algorithm>
#include <cstdio>

namespace {

// Until the program installs its own port (before any window exists), messages
// go to standard error so that nothing is ever swallowed silently.
class StderrPort final : public MessagePort
{
public:
    void showError(const QString& text) override { print(text); }
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

QString MessagePort::userErrorText(const QString& text)
{
    struct Meaning
    {
        const char* engine; // a phrase of the engine's text
        const char16_t* user;
    };
    // The engine's phrases as SQLite and SQLCipher write them.
    static const Meaning meanings[] = {
        {"database is locked", u"数据库正被另一个程序使用（如备份或另一台收银机），请稍后再试。"},
        {"database table is locked", u"数据库正被另一个程序使用（如备份或另一台收银机），请稍后再试。"},
        {"database or disk is full", u"磁盘已满，数据没有保存。请腾出磁盘空间后再试。"},
        {"file is empty", u"数据库文件是空的（0 字节），不是可用的数据库。请用备份恢复数据库。"},
        {"file is encrypted or is not a database", u"这个文件不是本程序的数据库，或者已经损坏。请用备份恢复数据库。"},
        {"file is not a database", u"这个文件不是本程序的数据库，或者已经损坏。请用备份恢复数据库。"},
        {"database disk image is malformed", u"数据库文件已经损坏。请用备份恢复数据库。"},
        {"no such table", u"数据库里缺少数据表：这不是本程序的数据库，或者已经损坏。请用备份恢复数据库。"},
        {"no such column", u"数据库里缺少数据列：这不是本程序的数据库，或者已经损坏。请用备份恢复数据库。"},
        {"LIKE or GLOB pattern too complex", u"查询条件太长，请缩短后再查询。"},
        {"Record is deleted", u"这条记录已经不存在（可能已被另一个程序删除），请重新查询后再操作。"},
        {"Cannot perform this operation on an empty dataset",
         u"没有可以操作的记录（它可能已被另一个程序删除），请重新查询后再操作。"},
        {"disk I/O error", u"读写磁盘出错，数据没有保存。请检查磁盘。"},
        {"attempt to write a readonly database", u"数据库文件是只读的，数据没有保存。请检查文件和文件夹的权限。"},
        {"unable to open database file", u"打不开数据库文件。请检查文件是否存在，以及文件和文件夹的读写权限。"},
    };
    // A text already in the user's words carries the engine's text only as its reason.
    if (std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= 0x2E80; }))
        return text;
    for (const Meaning& m : meanings) {
        if (text.contains(QLatin1String(m.engine)))
            return QString::fromUtf16(m.user) + QStringLiteral("（") + text + QStringLiteral("）");
    }
    return text;
}

MessagePort& messagePort()
{
    return *g_port;
}

void setMessagePort(MessagePort* port)
{
    g_port = port ? port : &g_stderrPort;
}
