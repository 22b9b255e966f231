#pragma once

// Helpers every benchmark uses: medians of timed runs, the memory line, a big
// demo shop kept in the build folder, and a quick way to grow a demo shop's
// stock table to a big shop's size.

#include "app/startup.h"
#include "app/tmainform.h"
#include "core/messageport.h"
#include "demo.h"
#include "store/db/database.h"
#include "store/db/preparedstatement.h"
#include "store/db/shoplocation.h"
#include "store/ops/tdmfm.h"
#include "users/tloginfm.h"

#include <sqlite3.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

// The application as the program sets it up (fonts, style, texts), with
// settings of the bench's own, never a real shop's.
struct BenchApplication
{
    BenchApplication(int& argc, char** argv)
        : app(argc, argv)
    {
        startup::configureApplication(app);
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    }
    QApplication app;
    QTemporaryDir config;
};

// Any message is a failure of the bench: printed, counted, never a dialog.
class PrintingPort final : public MessagePort
{
public:
    void showError(const QString& text) override { fail(text); }
    void warning(const QString& text, const QString&) override { fail(text); }
    void inform(const QString& text) override { fail(text); }
    Answer confirm(const QString&, const QString& text) override
    {
        fail(text);
        return Answer::Cancel;
    }
    QString openFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFileName(const QString&, const QString&, const QString&) override { return {}; }
    int failures = 0;

private:
    void fail(const QString& text)
    {
        ++failures;
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
};

// A line of /proc/self/status in megabytes ("VmRSS:", "VmHWM:"); 0 when unknown.
inline double statusMb(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray k(key);
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(k))
            return line.mid(k.size()).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

// The memory line every bench prints: the process's resident memory now and
// its peak, in megabytes; `rows` (when not negative) says at what size.
inline void printRss(long long rows = -1)
{
    if (rows >= 0)
        std::printf("rss_mb rows=%lld value=%.1f peak=%.1f\n", rows, statusMb("VmRSS:"), statusMb("VmHWM:"));
    else
        std::printf("rss_mb value=%.1f peak=%.1f\n", statusMb("VmRSS:"), statusMb("VmHWM:"));
    std::fflush(stdout);
}

// The size of the demo shop a bench runs on: 100,000 stock rows and 1,000,000
// sales (a few of them returns, some skipped for want of stock) unless the
// command line asks for others with "--stock N" and "--sales M". Those
// arguments are taken out of `args`.
struct DemoShopSize
{
    int stockRows = 100000;
    int sales = 1000000;

    static DemoShopSize fromArguments(QStringList* args)
    {
        DemoShopSize size;
        for (int i = 0; i + 1 < args->size();) {
            const bool stock = args->at(i) == QLatin1String("--stock");
            if (!stock && args->at(i) != QLatin1String("--sales")) {
                ++i;
                continue;
            }
            (stock ? size.stockRows : size.sales) = args->at(i + 1).toInt();
            args->remove(i, 2);
        }
        return size;
    }
};

// The admin tool's demo shop of that size, made once and kept in the build
// folder ("bench-shops/", beside the benches); made again when the demo code
// changes, whose version is part of the folder's name. The path of its
// data.mdb, or an empty text after saying why on standard error. Benches copy
// it before they open it.
inline QString cachedDemoShop(const DemoShopSize& size)
{
    const QString binaries = QCoreApplication::applicationDirPath();
    const QString folder = QStringLiteral("%1/bench-shops/demo-v%2-stock%3-sales%4")
                               .arg(binaries)
                               .arg(kDemoVersion)
                               .arg(size.stockRows)
                               .arg(size.sales);
    const QString shop = folder + QStringLiteral("/data.mdb");
    // The tool writes the file under a temporary name and renames it into
    // place when complete: one that is there is whole.
    if (QFile::exists(shop))
        return shop;
    std::fprintf(stderr, "making the demo shop %s (once)\n", qPrintable(folder));
    const QString admin = binaries + QStringLiteral("/tarvik-admin");
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tool.start(admin, {QStringLiteral("demo"), QStringLiteral("--stock"), QString::number(size.stockRows),
                       QStringLiteral("--sales"), QString::number(size.sales), folder});
    if (!tool.waitForFinished(-1) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
        std::fprintf(stderr, "could not make the demo shop with %s\n", qPrintable(admin));
        return {};
    }
    return shop;
}

// Paints what the last step changed, as on screen: the pending update
// requests go through the window's backing store, and only the widgets that
// changed are painted (the rows, the scroll bar, the totals), not the whole
// window into a new picture.
inline void paintPending()
{
    QApplication::sendPostedEvents();
    QApplication::processEvents();
}

// Counts the paint events a widget receives: a bench prints it, so that a run
// whose grid was never painted shows as such.
class PaintCounter final : public QObject
{
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        count += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

inline void waitFor(const std::function<bool()>& done)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 60000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Opens the shop, shows the main window and logs in as the super
// administrator; loginMs is the time from the login button to a painted,
// usable window, loadedMs to the tables read in the background (when
// `waitForTables`; 0 otherwise).
struct LoginSession
{
    Tdmfm dm;
    std::unique_ptr<TMainForm> main;
    double loginMs = 0;
    double loadedMs = 0; // from the login button to the tables read in the background

    bool start(const ShopLocation& shop, bool waitForTables = true)
    {
        if (const Result<void> opened = dm.open(shop); !opened) {
            std::fprintf(stderr, "%s\n", qPrintable(opened.error().text));
            return false;
        }
        main = std::make_unique<TMainForm>(dm);
        main->show();
        Tloginfm* login = main->loginWindow();
        waitFor([&] { return login->isVisible(); });
        login->userList()->setCurrentText(QStringLiteral("超级管理员"));
        login->passwordBox()->setText(QStringLiteral("864"));
        QElapsedTimer t;
        t.start();
        login->loginButton()->click();
        waitFor([&] { return main->sessionId() > 0; });
        paintPending();
        loginMs = double(t.nsecsElapsed()) / 1e6;
        if (main->sessionId() <= 0 || !waitForTables)
            return main->sessionId() > 0;
        // The stock list fills once its table, read in the background, is in;
        // what is timed next works on it.
        waitFor([&] { return !main->isLoadingInBackground(); });
        paintPending();
        loadedMs = double(t.nsecsElapsed()) / 1e6;
        return main->sessionId() > 0;
    }
};

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Median in milliseconds of `runs` timed calls of `work`; `prepare` runs,
// untimed, before each.
inline double medianMs(const std::function<void()>& prepare, const std::function<void()>& work, int runs)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        prepare();
        QElapsedTimer t;
        t.start();
        work();
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    return median(std::move(times));
}

inline double medianMs(const std::function<void()>& work, int runs)
{
    return medianMs([] {}, work, runs);
}

// Steps through every row of the statement without reading a value: what the
// engine alone costs for it.
inline void rawScan(Database& db, const Statement& st)
{
    QString error;
    PreparedStatement s(db.handle(), st.sql.toUtf8(), &error);
    if (!s.isValid()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return;
    }
    for (int i = 0; i < st.params.size(); ++i)
        s.bind(i + 1, st.params.at(i).toString());
    while (sqlite3_step(s.get()) == SQLITE_ROW) {
    }
}

// Copies the first `seedRows` stock rows (a demo shop's) again and again, each
// copy with a new 13-digit code, until the table holds `rows`. Runs inside the
// caller's transaction.
inline bool growStock(Database& db, int seedRows, int rows, QString* error)
{
    for (int have = seedRows; have < rows;) {
        const int take = std::min(seedRows, rows - have);
        const Statement copy{
            QStringLiteral("insert into data (a,b,c,d,e,f,g,[1],[2],[3],[4],[5],[6],[7],[8],z,day1) "
                           "select a,b,'69' || substr('00000000000' || (abs(random()) % 100000000000), -11),"
                           "d,e,f,g,[1],[2],[3],[4],[5],[6],[7],[8],z,day1 from data where rowid <= ?"),
            {take}};
        if (!db.exec(copy, error))
            return false;
        have += take;
    }
    return true;
}
