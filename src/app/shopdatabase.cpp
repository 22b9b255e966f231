#include "app/shopdatabase.h"

#include "app/startup.h"
#include "core/messageport.h"
#include "store/db/serverconnection.h"
#include "store/ops/tdmfm.h"

#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace shopdatabase {

namespace {

const QString kOption = QStringLiteral("--database");

// Asks whether to try the server again; true for 重试.
bool askRetry(const QString& text)
{
    QMessageBox box(QMessageBox::Critical, startup::applicationTitle(), text);
    QPushButton* retry = box.addButton(QStringLiteral("重试"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("退出"), QMessageBox::RejectRole);
    box.setDefaultButton(retry);
    box.exec();
    return box.clickedButton() == retry;
}

void showFailure(const QString& text)
{
    QMessageBox box(QMessageBox::Critical, startup::applicationTitle(), MessagePort::userErrorText(text),
                    QMessageBox::Ok);
    box.exec();
}

} // namespace

QString configFileName()
{
    return ShopLocation::folderFileName();
}

Arguments parse(const QStringList& arguments)
{
    Arguments out;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (a == kOption) {
            if (i + 1 >= arguments.size()) {
                out.error = QStringLiteral("%1 后面缺少数据库连接").arg(kOption);
                return out;
            }
            out.database = arguments.at(++i);
        } else if (a.startsWith(kOption + QLatin1Char('='))) {
            out.database = a.mid(kOption.size() + 1);
        } else {
            out.rest << a;
        }
    }
    return out;
}

std::optional<ShopLocation> choose(const std::optional<QString>& fromCommandLine, QString* error)
{
    if (fromCommandLine)
        return ShopLocation::server(fromCommandLine->trimmed());
    if (!QFileInfo::exists(configFileName()))
        return ShopLocation::file(QStringLiteral("data.mdb"));
    QFile file(configFileName());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("无法读取 %1：%2").arg(configFileName(), file.errorString());
        return std::nullopt;
    }
    // The first line that says something.
    QString line;
    while (!file.atEnd() && line.isEmpty())
        line = QString::fromUtf8(file.readLine()).trimmed();
    if (ShopLocation::server(line).holdsPassword()) {
        *error = QStringLiteral("%1 中不能写数据库的密码：请把密码写在 ~/.pgpass 文件中。").arg(configFileName());
        return std::nullopt;
    }
    return ShopLocation::server(line);
}

bool open(Tdmfm& dm, const ShopLocation& location)
{
    for (;;) {
        if (location.isServer()) {
            // Whether the server answers at all, told apart from a database
            // there that cannot be used: only the first is worth another try.
            ServerConnection probe;
            QString unreachable;
            if (!probe.open(location.target(), &unreachable)) {
                if (askRetry(unreachable))
                    continue;
                return false;
            }
        }
        if (const Result<void> opened = dm.open(location); !opened) {
            showFailure(opened.error().text);
            return false;
        }
        return true;
    }
}

} // namespace shopdatabase
