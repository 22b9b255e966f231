#include "app/startup.h"

#include <QApplication>
#include <QFont>
#include <QHelpEvent>
#include <QLibraryInfo>
#include <QLocale>
#include <QPalette>
#include <QProxyStyle>
#include <QToolTip>
#include <QTranslator>

namespace {

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

bool installQtTranslations(QCoreApplication& app)
{
    auto* qt = new QTranslator(&app);
    if (!qt->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                  QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete qt;
        return false;
    }
    return app.installTranslator(qt);
}

QString applicationTitle()
{
    return QStringLiteral("Tarvik运动品销售管理软件");
}

void configureApplication(QApplication& app)
{
    app.setApplicationName(QStringLiteral("tarvik"));
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
}

} // namespace startup
