// tarvik-admin: sets up and looks after the shop database from the command line.

#include "core/numbers.h"
#include "demo.h"
#include "store/db/backup.h"
#include "store/db/database.h"
#include "store/db/schema.h"
#include "store/db/serverbackup.h"
#include "store/db/serverclerk.h"
#include "store/db/serverconnection.h"
#include "store/db/servermigration.h"
#include "store/db/serverschema.h"
#include "store/ops/stockimport.h"
#include "text/capitalamount.h"
#include "text/pinyininitials.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTextStream>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include <sys/resource.h>
#include <unistd.h>

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
         "  init --database DATABASE      create the shop tables and the super administrator in the\n"
         "                                empty PostgreSQL database DATABASE (a libpq connection\n"
         "                                string or service name); refuses one that holds them\n"
         "  check [FILE]                  open FILE (default: data.mdb) with the database password\n"
         "                                and report whether its tables and columns are complete\n"
         "  check --database DATABASE [--against FILE]\n"
         "                                the same for the shop on a PostgreSQL server; with\n"
         "                                --against, compare per table the row count, the sum of\n"
         "                                every number column and the count of texts of every text\n"
         "                                column with the shop file FILE, printing each difference\n"
         "                                and exiting with 1 when there is any\n"
         "  migrate FILE --database DATABASE\n"
         "                                copy the shop file FILE into the empty PostgreSQL database\n"
         "                                DATABASE, all of it or nothing, row identities kept; FILE\n"
         "                                is only read\n"
         "  backup FILE                   copy data.mdb of the current folder to FILE with the\n"
         "                                engine's online backup; the copy is checked before it\n"
         "                                replaces FILE (a link: the file it names; only a regular\n"
         "                                file is replaced)\n"
         "  restore FILE                  replace data.mdb of the current folder by the backup\n"
         "                                FILE once FILE passes the check; the former data.mdb\n"
         "                                is kept beside it as a dated safety copy\n"
         "  backup FILE --database DATABASE\n"
         "  restore FILE --database DATABASE\n"
         "                                the same for a shop on a PostgreSQL server, with the\n"
         "                                server's pg_dump (custom format) and pg_restore; the\n"
         "                                backup is checked before it replaces FILE; a restore\n"
         "                                backs the shop up to shop-before-restore-DATE-TIME.backup\n"
         "                                in the current folder, then replaces the shop's tables\n"
         "                                in one transaction\n"
         "  clerk ROLE --database DATABASE\n"
         "                                let the existing PostgreSQL role ROLE (made with createuser)\n"
         "                                work as the tills of ordinary users: it reads the stock and\n"
         "                                the sales without purchase prices, purchase and stock\n"
         "                                amounts and profits, sells through the server's sale\n"
         "                                function, changes a sale's amount owed and customer texts,\n"
         "                                and can never read those figures, not even by a statement\n"
         "                                of its own; the super administrator cannot log in with it\n"
         "  pinyin [TEXT...]              print the pinyin initials of each TEXT, or of each line\n"
         "                                of standard input when no TEXT is given\n"
         "  capital AMOUNT                print AMOUNT in Chinese capital numerals\n"
         "  demo [--stock N] [--sales M] [--bench] [FOLDER]\n"
         "                                fill FOLDER/data.mdb (created when missing) with N sample\n"
         "                                stock rows (default 300) and M sales and returns (default 600);\n"
         "                                a long fill shows its progress on standard error; --bench\n"
         "                                prints the fill's wall time and the tool's peak memory\n"
         "  import WORKBOOK [DATABASE]    add the rows of the sheet korvel of WORKBOOK (.xls, .xlsx\n"
         "                                or .csv) to the stock of DATABASE (default: data.mdb),\n"
         "                                all of them or, on any bad value, none\n"
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

// A folder or file named on the command line: the bytes given, which need not
// be valid text in the locale's encoding. Qt would replace such bytes when
// turning them into a QString, so the tool makes the folder and enters it with
// the bytes themselves and then works on the plain name data.mdb.
struct NativePath
{
    QByteArray bytes;
    QString shown() const { return QFile::decodeName(bytes); } // for messages only
};

bool enterFolder(const NativePath& folder, bool create, QString* error)
{
    const std::filesystem::path p(folder.bytes.toStdString());
    std::error_code ec;
    if (create)
        std::filesystem::create_directories(p, ec);
    if (!ec)
        std::filesystem::current_path(p, ec);
    if (ec) {
        *error = QStringLiteral("cannot %1 folder %2: %3")
                     .arg(create ? QStringLiteral("create") : QStringLiteral("enter"), folder.shown(),
                          QString::fromLocal8Bit(ec.message()));
        return false;
    }
    return true;
}

// What killed runs of this tool or the program left of their temporary
// copies beside data.mdb of the current folder.
void removeLeftovers()
{
    backup::removeLeftovers(kDatabaseName);
}

QString shownPath(const NativePath* folder, const QString& name)
{
    return folder ? QDir(folder->shown()).filePath(name) : QDir::current().filePath(name);
}

int cmdInit(const QList<NativePath>& args)
{
    if (args.size() > 1)
        return usage(2);
    QString error;
    const NativePath* folder = args.isEmpty() ? nullptr : &args.at(0);
    if (folder && !enterFolder(*folder, true, &error))
        return fail(error);
    removeLeftovers();
    const QString shown = shownPath(folder, kDatabaseName);
    if (QFileInfo::exists(kDatabaseName))
        return fail(QStringLiteral("%1 already exists; it was left as it is").arg(shown));
    if (!schema::createDeliveredFile(kDatabaseName, &error))
        return fail(QStringLiteral("cannot create %1: %2").arg(shown, error));
    out() << "Created " << shown << "\n"
          << "Log in as 超级管理员 with the password 864.\n";
    return 0;
}

int cmdInitServer(const QStringList& args)
{
    if (args.size() != 1)
        return usage(2);
    ServerConnection db;
    QString error;
    if (!db.open(args.at(0), &error))
        return fail(error);
    if (!serverschema::createDelivered(db, &error))
        return fail(QStringLiteral("cannot create the shop tables in %1: %2").arg(db.description(), error));
    out() << "Created the shop tables in " << db.description() << "\n"
          << "Log in as 超级管理员 with the password 864.\n";
    return 0;
}

// `--database X` taken out of `args`; false when it is given without a value.
bool takeOption(QStringList* args, const QString& name, QString* value)
{
    const qsizetype at = args->indexOf(name);
    if (at < 0)
        return true;
    if (at + 1 >= args->size())
        return false;
    *value = args->at(at + 1);
    args->remove(at, 2);
    return true;
}

int cmdCheckServer(QStringList args)
{
    QString database;
    QString against;
    if (!takeOption(&args, QStringLiteral("--database"), &database) ||
        !takeOption(&args, QStringLiteral("--against"), &against) || !args.isEmpty())
        return usage(2);
    ServerConnection db;
    QString error;
    if (!db.open(database, &error))
        return fail(error);
    const QString shown = db.description();
    const Result<QStringList> problems = servermigration::checkServer(db);
    if (!problems)
        return fail(QStringLiteral("%1: %2").arg(shown, problems.error().text));
    if (!problems->isEmpty())
        return fail(QStringLiteral("%1: %2").arg(shown, problems->join(QStringLiteral("; "))));
    if (against.isEmpty()) {
        out() << shown << ": all shop tables and their columns are present\n";
        return 0;
    }
    const Result<servermigration::Comparison> compared = servermigration::compareWithFile(db, against);
    if (!compared)
        return fail(QStringLiteral("cannot compare %1 with %2: %3").arg(shown, against, compared.error().text));
    if (!compared->differences.isEmpty()) {
        for (const QString& d : compared->differences)
            out() << d << "\n";
        return fail(
            QStringLiteral("%1 differs from %2 in %3 figures").arg(shown, against).arg(compared->differences.size()));
    }
    out() << "一致: " << shown << " and " << against << " hold the same " << compared->rows << " rows in "
          << compared->tables << " tables\n";
    return 0;
}

int cmdMigrate(QStringList args)
{
    QString database;
    if (!takeOption(&args, QStringLiteral("--database"), &database) || database.isEmpty() || args.size() != 1)
        return usage(2);
    const QString file = args.at(0);
    ServerConnection db;
    QString error;
    if (!db.open(database, &error))
        return fail(error);
    const QString shown = db.description();
    const bool terminal = isatty(STDERR_FILENO) != 0;
    const auto progress = [terminal](const QString& table, qint64 done, qint64 total) {
        err() << "migrate: " << table << " " << done << " of " << total << " rows"
              << (terminal && done < total ? "\r" : "\n");
        err().flush();
    };
    const Result<servermigration::Copied> copied = servermigration::copyFile(file, db, progress);
    if (!copied)
        return fail(QStringLiteral("%1 was not copied into %2: %3").arg(file, shown, copied.error().text));
    out() << "Copied " << copied->rows << " rows of " << copied->tables << " tables from " << file << " into " << shown
          << "\n";
    return 0;
}

int cmdCheck(const QList<NativePath>& args)
{
    if (args.size() > 1)
        return usage(2);
    QString name = kDatabaseName;
    QString shown = name;
    if (!args.isEmpty()) {
        const QByteArray& given = args.at(0).bytes;
        shown = args.at(0).shown();
        const qsizetype slash = given.lastIndexOf('/');
        QString error;
        if (slash >= 0 && !enterFolder(NativePath{slash == 0 ? QByteArray("/") : given.left(slash)}, false, &error))
            return fail(QStringLiteral("cannot open %1: %2").arg(shown, error));
        const QByteArray base = given.mid(slash + 1);
        name = QFile::decodeName(base);
        if (QFile::encodeName(name) != base)
            return fail(QStringLiteral("cannot open %1: the file name is not valid in this locale's encoding; "
                                       "give its folder instead")
                            .arg(shown));
    }
    Database db;
    QString error;
    if (!db.open(name, false, &error))
        return fail(QStringLiteral("cannot open %1: %2").arg(shown, error));
    // One line, whatever is wrong.
    const QStringList problems = schema::check(db);
    if (!problems.isEmpty())
        return fail(QStringLiteral("%1: %2").arg(shown, problems.join(QStringLiteral("; "))));
    out() << shown << ": all four tables and their columns are present\n";
    return 0;
}

// A file named on the command line as a QString; false when its bytes are
// not text in the locale's encoding (the name would reach another file).
bool fileArgument(const QList<NativePath>& args, QString* path, QString* error)
{
    *path = args.at(0).shown();
    if (QFile::encodeName(*path) == args.at(0).bytes)
        return true;
    *error = QStringLiteral("%1: the file name is not valid in this locale's encoding").arg(*path);
    return false;
}

// The progress of a file backup or restore on standard error: one line
// rewritten in place on a terminal; in a log a line at each step and at every
// quarter of a copy.
backup::Progress printedProgress(const QString& command)
{
    const bool terminal = isatty(STDERR_FILENO) != 0;
    struct Shown
    {
        std::optional<backup::Step> step;
        qint64 part = -1;
    };
    auto shown = std::make_shared<Shown>();
    return [terminal, command, shown](backup::Step step, qint64 done, qint64 total) {
        const qint64 parts = terminal ? 100 : 4;
        const qint64 part = total > 0 ? done * parts / total : done >> (terminal ? 20 : 26);
        if (shown->step == step && shown->part == part)
            return;
        const bool newStep = shown->step != step;
        if (newStep && terminal && shown->step)
            err() << "\n";
        shown->step = step;
        shown->part = part;
        // In MiB, in KiB for a small shop.
        const bool small = std::max(total, done) < (1 << 20);
        const auto amount = [small](qint64 bytes) {
            return QString::number(double(bytes) / (small ? 1 << 10 : 1 << 20), 'f', 1);
        };
        // The total of a server's dump is not known beforehand.
        const auto howFar = [&] {
            return amount(done) + (total > 0 ? QLatin1String(" of ") + amount(total) : QString()) +
                   QLatin1String(small ? " KiB" : " MiB");
        };
        switch (step) {
        case backup::Step::Copy:
            err() << command << ": copying";
            if (done > 0 || total > 0)
                err() << " " << howFar();
            break;
        case backup::Step::Check:
            err() << command << ": checking the copy";
            break;
        case backup::Step::Keep:
            err() << command << ": keeping the former database";
            if (done > 0 || total > 0)
                err() << ", " << howFar();
            break;
        }
        err() << (terminal ? "\r" : "\n");
        err().flush();
    };
}

int cmdBackup(const QList<NativePath>& args)
{
    if (args.size() != 1)
        return usage(2);
    QString target;
    QString error;
    if (!fileArgument(args, &target, &error))
        return fail(error);
    removeLeftovers();
    Database db;
    if (!db.open(kDatabaseName, false, &error))
        return fail(QStringLiteral("cannot open %1: %2").arg(shownPath(nullptr, kDatabaseName), error));
    const bool copied = backup::copyTo(db, target, &error, printedProgress(QStringLiteral("backup")));
    if (isatty(STDERR_FILENO))
        err() << "\n";
    if (!copied)
        return fail(QStringLiteral("backup failed: %1").arg(error));
    out() << "Backed up " << shownPath(nullptr, kDatabaseName) << " to " << target << "\n";
    return 0;
}

int cmdRestore(const QList<NativePath>& args)
{
    if (args.size() != 1)
        return usage(2);
    QString source;
    QString error;
    if (!fileArgument(args, &source, &error))
        return fail(error);
    removeLeftovers();
    QString safetyCopy;
    const bool restored =
        backup::restore(source, kDatabaseName, &safetyCopy, &error, printedProgress(QStringLiteral("restore")));
    if (isatty(STDERR_FILENO))
        err() << "\n";
    if (!restored)
        return fail(
            QStringLiteral("restore failed, %1 is unchanged: %2").arg(shownPath(nullptr, kDatabaseName), error));
    out() << "Restored " << shownPath(nullptr, kDatabaseName) << " from " << source << "\n";
    if (!safetyCopy.isEmpty())
        out() << "The former database was kept as " << QDir::cleanPath(QDir::current().filePath(safetyCopy)) << "\n";
    return 0;
}

// backup|restore FILE --database DATABASE
int cmdServerCopy(const QString& command, QStringList args)
{
    QString database;
    if (!takeOption(&args, QStringLiteral("--database"), &database) || database.isEmpty() || args.size() != 1)
        return usage(2);
    const QString file = args.at(0);
    if (command == QLatin1String("backup")) {
        const Result<void> done = serverbackup::dumpTo(database, file, printedProgress(command));
        if (isatty(STDERR_FILENO))
            err() << "\n";
        if (!done)
            return fail(QStringLiteral("backup failed: %1").arg(done.error().text));
        out() << "Backed up the shop on the server to " << file << "\n";
        return 0;
    }
    const QString safetyCopy = serverbackup::safetyCopyName(QDir::currentPath(), QDateTime::currentDateTime());
    const Result<void> done = serverbackup::restore(file, database, safetyCopy, printedProgress(command));
    if (isatty(STDERR_FILENO))
        err() << "\n";
    if (!done)
        return fail(QStringLiteral("restore failed: %1").arg(done.error().text));
    out() << "Restored the shop on the server from " << file << "\n"
          << "The former shop was backed up to " << safetyCopy << "\n";
    return 0;
}

int cmdClerk(QStringList args)
{
    QString database;
    if (!takeOption(&args, QStringLiteral("--database"), &database) || database.isEmpty() || args.size() != 1)
        return usage(2);
    const QString role = args.at(0);
    ServerConnection db;
    QString error;
    if (!db.open(database, &error))
        return fail(error);
    if (!serverclerk::grantClerkRole(db, role, &error))
        return fail(QStringLiteral("cannot make %1 a role for ordinary users' tills in %2: %3")
                        .arg(role, db.description(), error));
    out() << "The role " << role << " can now work as the tills of ordinary users on " << db.description() << ".\n"
          << "Name it as the user in the database.conf (or --database) of those tills;\n"
          << "the super administrator logs in on a till that connects as the shop's owner.\n";
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
    const QString& amount = args.at(0);
    // The conversion itself reads "1.2.3" as 0 and "." as nothing; here both are refused.
    bool digit = false;
    for (QChar c : amount) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digit = true;
        else if (c != QLatin1Char('.'))
            return fail(QStringLiteral("'%1' is not an amount: digits 0-9 and one '.' only").arg(amount));
    }
    if (!digit || amount.count(QLatin1Char('.')) > 1)
        return fail(QStringLiteral("'%1' is not an amount: digits 0-9 and one '.' only").arg(amount));
    // What the conversion refuses (amounts too large for its units) fails the command.
    const CapitalAmountText capital = CapitalAmount(amount);
    if (!capital.refusal.isEmpty())
        return fail(QStringLiteral("'%1' is not an amount that can be written in capitals: %2")
                        .arg(amount, capital.refusal.join(QLatin1Char(' '))));
    out() << capital.text << "\n";
    return 0;
}

int cmdDemo(const QList<NativePath>& rawArgs)
{
    QStringList args;
    for (const NativePath& a : rawArgs)
        args << a.shown();
    DemoOptions options;
    const NativePath* folder = nullptr;
    bool bench = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--bench")) {
            bench = true;
        } else if (a == QLatin1String("--stock") || a == QLatin1String("--sales")) {
            if (i + 1 >= args.size())
                return usage(2);
            bool ok = false;
            const int n = args.at(++i).toInt(&ok);
            if (!ok || n < 0)
                return fail(QStringLiteral("%1 needs a whole number, not '%2'").arg(a, args.at(i)));
            (a == QLatin1String("--stock") ? options.stockRows : options.sales) = n;
        } else if (!folder && !a.startsWith(QLatin1Char('-'))) {
            folder = &rawArgs.at(i);
        } else {
            return usage(2);
        }
    }
    QString error;
    if (folder && !enterFolder(*folder, true, &error))
        return fail(error);
    removeLeftovers();
    options.path = kDatabaseName;
    // One line rewritten in place on a terminal; a line each in a log.
    const bool terminal = isatty(STDERR_FILENO) != 0;
    options.progress = [terminal](qint64 done, qint64 total) {
        err() << "demo: " << done << " of " << total << " rows" << (terminal && done < total ? "\r" : "\n");
        err().flush();
    };
    QElapsedTimer wall;
    wall.start();
    DemoResult result;
    if (!fillDemo(options, &result, &error))
        return fail(error);
    const qint64 wallMs = wall.elapsed();
    out() << "Filled " << shownPath(folder, kDatabaseName) << ": " << result.stockRows << " stock rows, "
          << result.sales << " sales, " << result.returns << " returns\n";
    if (bench) {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage); // ru_maxrss: the peak resident size in KiB
        out() << "case=demo stock=" << options.stockRows << " sales=" << options.sales << " median_ms=" << wallMs
              << " rss_mb=" << (usage.ru_maxrss + 512) / 1024 << "\n";
    }
    return 0;
}

int cmdImport(const QStringList& args)
{
    if (args.isEmpty() || args.size() > 2)
        return usage(2);
    const QString database = args.size() > 1 ? args.at(1) : kDatabaseName;
    const stockimport::Result r = stockimport::run(args.at(0), database, nullptr);
    switch (r.outcome) {
    case stockimport::Outcome::Imported:
        out() << "Imported " << r.rows << " stock rows from " << args.at(0) << " into " << database << "\n";
        return 0;
    case stockimport::Outcome::ConnectFailed:
        return fail(QStringLiteral("cannot open %1: %2").arg(database, r.detail));
    case stockimport::Outcome::ImportFailed:
    case stockimport::Outcome::Cancelled: // not here: nothing asks
        break;
    }
    return fail(QStringLiteral("nothing imported from %1: %2").arg(args.at(0), r.detail));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QList<NativePath> paths; // the same arguments as bytes, for the commands that take a folder or file
    for (int i = 2; i < argc; ++i)
        paths.append(NativePath{QByteArray(argv[i])});
    if (args.isEmpty())
        return usage(2);
    const QString command = args.takeFirst();
    int code;
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help"))
        code = usage(0);
    else if (command == QLatin1String("init") && args.value(0) == QLatin1String("--database"))
        code = cmdInitServer(args.mid(1));
    else if (command == QLatin1String("init"))
        code = cmdInit(paths);
    else if (command == QLatin1String("check") && args.contains(QLatin1String("--database")))
        code = cmdCheckServer(args);
    else if (command == QLatin1String("check"))
        code = cmdCheck(paths);
    else if (command == QLatin1String("migrate"))
        code = cmdMigrate(args);
    else if ((command == QLatin1String("backup") || command == QLatin1String("restore")) &&
             args.contains(QLatin1String("--database")))
        code = cmdServerCopy(command, args);
    else if (command == QLatin1String("backup"))
        code = cmdBackup(paths);
    else if (command == QLatin1String("restore"))
        code = cmdRestore(paths);
    else if (command == QLatin1String("clerk"))
        code = cmdClerk(args);
    else if (command == QLatin1String("pinyin"))
        code = cmdPinyin(args);
    else if (command == QLatin1String("capital"))
        code = cmdCapital(args);
    else if (command == QLatin1String("demo"))
        code = cmdDemo(paths);
    else if (command == QLatin1String("import"))
        code = cmdImport(args);
    else {
        err() << "tarvik-admin: unknown command '" << command << "'\n";
        code = usage(2);
    }
    out().flush();
    err().flush();
    return code;
}
