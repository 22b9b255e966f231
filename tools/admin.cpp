// tarvik-admin: sets up and looks after the shop database from the command line.

#include "core/numbers.h"
#include "demo.h"
#include "print/capitalamount.h"
#include "store/database.h"
#include "store/pinyin/pinyininitials.h"
#include "store/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QTextStream>

#include <cstdio>

namespace {

const QString kDatabaseName = QStringLiteral("data.mdb");

QTextStream& out()
{
    static QTextStream s(stdout);
    return s;
}

QTextStream& err()
{
    static QTextStream s(stderr);
    return s;
}

int usage(int code)
{
    QTextStream& s = code == 0 ? out() : err();
    s << "Usage: tarvik-admin COMMAND [ARGUMENTS]\n"
         "\n"
         "Commands:\n"
         "  init [FOLDER]                 create the delivered database data.mdb in FOLDER\n"
         "                                (default: the current folder); never overwrites a file\n"
         "  check [FILE]                  open FILE (default: data.mdb) with the database password\n"
         "                                and report whether its tables and columns are complete\n"
         "  pinyin [TEXT...]              print the pinyin initials of each TEXT, or of each line\n"
         "                                of standard input when no TEXT is given\n"
         "  capital AMOUNT                print AMOUNT in Chinese capital numerals\n"
         "  demo [--stock N] [--sales M] [FOLDER]\n"
         "                                fill FOLDER/data.mdb (created when missing) with N sample\n"
         "                                stock rows (default 300) and M sales and returns (default 600)\n"
         "  --help                        show this help\n";
    s.flush();
    return code;
}

int fail(const QString& message)
{
    err() << "tarvik-admin: " << message << "\n";
    err().flush();
    return 1;
}

int cmdInit(const QStringList& args)
{
    if (args.size() > 1)
        return usage(2);
    const QString folder = args.isEmpty() ? QDir::currentPath() : args.at(0);
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("cannot create folder %1").arg(folder));
    const QString path = QDir(folder).filePath(kDatabaseName);
    if (QFileInfo::exists(path))
        return fail(QStringLiteral("%1 already exists; it was left as it is").arg(path));
    Database db;
    QString error;
    if (!db.open(path, true, &error) || !schema::createDelivered(db, &error)) {
        db.close();
        QFile::remove(path);
        return fail(QStringLiteral("cannot create %1: %2").arg(path, error));
    }
    out() << "Created " << path << "\n"
          << "Log in as 超级管理员 with the password 864.\n";
    return 0;
}

int cmdCheck(const QStringList& args)
{
    if (args.size() > 1)
        return usage(2);
    const QString path = args.isEmpty() ? kDatabaseName : args.at(0);
    Database db;
    QString error;
    if (!db.open(path, false, &error))
        return fail(QStringLiteral("cannot open %1: %2").arg(path, error));
    const QStringList problems = schema::check(db);
    if (!problems.isEmpty()) {
        for (const QString& p : problems)
            err() << path << ": " << p << "\n";
        err().flush();
        return 1;
    }
    out() << path << ": all four tables and their columns are present\n";
    return 0;
}

int cmdPinyin(const QStringList& args)
{
    if (!args.isEmpty()) {
        for (const QString& a : args)
            out() << PinyinInitials(a) << "\n";
        return 0;
    }
    QTextStream in(stdin);
    QString line;
    while (in.readLineInto(&line))
        out() << PinyinInitials(line) << "\n";
    return 0;
}

int cmdCapital(const QStringList& args)
{
    if (args.size() != 1)
        return usage(2);
    for (QChar c : args.at(0))
        if (!c.isDigit() && c != QLatin1Char('.'))
            return fail(QStringLiteral("'%1' is not an amount: digits and one '.' only").arg(args.at(0)));
    out() << CapitalAmount(args.at(0)) << "\n";
    return 0;
}

int cmdDemo(const QStringList& args)
{
    DemoOptions options;
    QString folder = QDir::currentPath();
    bool folderGiven = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--stock") || a == QLatin1String("--sales")) {
            if (i + 1 >= args.size())
                return usage(2);
            bool ok = false;
            const int n = args.at(++i).toInt(&ok);
            if (!ok || n < 0)
                return fail(QStringLiteral("%1 needs a whole number, not '%2'").arg(a, args.at(i)));
            (a == QLatin1String("--stock") ? options.stockRows : options.sales) = n;
        } else if (!folderGiven && !a.startsWith(QLatin1Char('-'))) {
            folder = a;
            folderGiven = true;
        } else {
            return usage(2);
        }
    }
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("cannot create folder %1").arg(folder));
    options.path = QDir(folder).filePath(kDatabaseName);
    QString error;
    DemoResult result;
    if (!fillDemo(options, &result, &error))
        return fail(error);
    out() << "Filled " << options.path << ": " << result.stockRows << " stock rows, " << result.sales << " sales, "
          << result.returns << " returns\n";
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage(2);
    const QString command = args.takeFirst();
    int code;
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help"))
        code = usage(0);
    else if (command == QLatin1String("init"))
        code = cmdInit(args);
    else if (command == QLatin1String("check"))
        code = cmdCheck(args);
    else if (command == QLatin1String("pinyin"))
        code = cmdPinyin(args);
    else if (command == QLatin1String("capital"))
        code = cmdCapital(args);
    else if (command == QLatin1String("demo"))
        code = cmdDemo(args);
    else {
        err() << "tarvik-admin: unknown command '" << command << "'\n";
        code = usage(2);
    }
    out().flush();
    err().flush();
    return code;
}
