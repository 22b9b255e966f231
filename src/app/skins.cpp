#include "app/skins.h"

#include <QApplication>
#include <QFile>

// The style sheets live in a static library: register its resources before use.
static void initSkinResources()
{
    Q_INIT_RESOURCE(skins);
}

namespace skins {

namespace {
int g_current = -1;
}

QStringList captions()
{
    return {QStringLiteral("黑色经典(皮肤)"), QStringLiteral("蓝色幻想(皮肤)"), QStringLiteral("梦幻天空(皮肤)"),
            QStringLiteral("黑色遐想(皮肤)"), QStringLiteral("梦想成真(皮肤)")};
}

void apply(int index)
{
    initSkinResources();
    QString sheet;
    if (index >= 0 && index < 5) {
        QFile f(QStringLiteral(":/skins/skin%1.qss").arg(index));
        if (f.open(QIODevice::ReadOnly))
            sheet = QString::fromUtf8(f.readAll());
    } else {
        index = -1;
    }
    g_current = index;
    qApp->setStyleSheet(sheet);
}

void applyStored(const QString& value)
{
    static const QStringList valid{QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                                   QStringLiteral("4")};
    if (valid.contains(value))
        apply(value.toInt());
}

int current()
{
    return g_current;
}

} // namespace skins
