#include "app/startup.h"

#include "store/db/shoplocation.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QHelpEvent>
#include <QLibraryInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QPalette>
#include <QProxyStyle>
#include <QTimer>
#include <QToolTip>
#include <QTranslator>

namespace {

// Start-up steps, for scripts and for support: off unless asked for with
// QT_LOGGING_RULES="tarvik.startup.info=true".
Q_LOGGING_CATEGORY(lcStartup, "tarvik.startup", QtWarningMsg)

// Says the title of every window as it is shown, so that a script can wait for
// the login window instead of guessing how long the start takes.
class ShownWindows final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() == QEvent::Show && watched->isWidgetType()) {
            auto* w = static_cast<QWidget*>(watched);
            // Said once the window's own show handling (a login window fills
            // its list, writes the desktop shortcut) is done.
            if (w->isWindow())
                QTimer::singleShot(0, w, [w] {
                    qCInfo(lcStartup).noquote()
                        << "window shown:" << w->windowTitle()
                        << QStringLiteral("[%1]").arg(QLatin1String(w->metaObject()->className()));
                });
        }
        return QObject::eventFilter(watched, e);
    }
};

// Hints show without delay.
class HintStyle final : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_ToolTip_WakeUpDelay)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// Hints disappear after two seconds.
class HintTimer final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() == QEvent::ToolTip && watched->isWidgetType()) {
            auto* w = static_cast<QWidget*>(watched);
            if (!w->toolTip().isEmpty()) {
                QToolTip::showText(static_cast<QHelpEvent*>(e)->globalPos(), w->toolTip(), w, QRect(), 2000);
                return true;
            }
        }
        return QObject::eventFilter(watched, e);
    }
};

} // namespace

namespace startup {

QString installedTranslationsFolder(const QString& programFolder)
{
    return QDir::cleanPath(programFolder + QLatin1String("/../share/tarvik/translations"));
}

bool installQtTranslations(QCoreApplication& app)
{
    // The package brings the Qt texts it needs beside the program; a build
    // folder uses the ones installed with Qt.
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    auto* qt = new QTranslator(&app);
    for (const QString& folder : {installedTranslationsFolder(QCoreApplication::applicationDirPath()),
                                  QLibraryInfo::path(QLibraryInfo::TranslationsPath)}) {
        if (qt->load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
            qCInfo(lcStartup).noquote() << "Qt translations:" << qt->filePath();
            return app.installTranslator(qt);
        }
    }
    delete qt;
    return false;
}

void logDatabase(const ShopLocation& location)
{
    qCInfo(lcStartup).noquote() << "database:"
                                << (location.isServer() ? location.describe()
                                                        : QDir::current().absoluteFilePath(location.target()));
}

QString applicationTitle()
{
    return QStringLiteral("Tarvik运动品销售管理软件");
}

void configureApplication(QApplication& app)
{
    app.setApplicationName(QStringLiteral("tarvik"));
    // The installed menu entry, tarvik.desktop, names the windows' icon and group.
    QGuiApplication::setDesktopFileName(QStringLiteral("tarvik"));
    // No display name: the desktop would append it to every window title.
    // Texts Qt draws itself (context menus of entry boxes, standard buttons of
    // dialogs) come in Simplified Chinese, whatever the system's language.
    installQtTranslations(app);
    app.setApplicationVersion(QStringLiteral("4.3.7"));
    // The windows ask for 宋体; Noto CJK draws it here, on screen and in PDFs.
    QFont::insertSubstitutions(QStringLiteral("宋体"),
                               {QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Sans CJK SC")});
    QFont base(QStringLiteral("Noto Sans CJK SC"));
    base.setPixelSize(13);
    app.setFont(base);
    app.setStyle(new HintStyle);
    QPalette hints = QToolTip::palette();
    hints.setColor(QPalette::ToolTipBase, QColor(255, 194, 134));
    hints.setColor(QPalette::ToolTipText, Qt::black);
    QToolTip::setPalette(hints);
    app.installEventFilter(new HintTimer(&app));
    if (lcStartup().isInfoEnabled())
        app.installEventFilter(new ShownWindows(&app));
}

} // namespace startup
