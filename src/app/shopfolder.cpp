#include "app/shopfolder.h"

#include "app/shopdatabase.h"
#include "app/startup.h"
#include "core/messageport.h"
#include "settings/settingkeys.h"
#include "settings/settingsstore.h"
#include "store/db/schema.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace {

const QString kDatabaseName = QStringLiteral("data.mdb");

// A folder with a database of its own, or with the name of one on a server.
bool holdsShop()
{
    return QFileInfo::exists(kDatabaseName) || QFileInfo::exists(shopdatabase::configFileName());
}

// Asks for the folder; empty when the user cancelled.
QString askFolder()
{
    ShopFolderDialog dialog(shopfolder::defaultFolder());
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.folder();
}

} // namespace

namespace shopfolder {

QString defaultFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("tarvik"));
}

Outcome enter(const QStringList& arguments, QString* error)
{
    if (!arguments.isEmpty()) {
        const QString folder = arguments.first();
        if (!QDir::setCurrent(folder)) {
            *error = QStringLiteral("找不到文件夹 %1").arg(QDir::toNativeSeparators(folder));
            return Outcome::Failed;
        }
        return Outcome::Ready;
    }
    if (holdsShop())
        return Outcome::Ready;

    const QString remembered = SettingsStore::read(QString(settingkeys::shopFolder));
    QString folder = remembered;
    if (folder.isEmpty()) {
        folder = askFolder();
        if (folder.isEmpty())
            return Outcome::Cancelled;
    }
    folder = QDir::cleanPath(QDir(folder).absolutePath());
    if (!QDir().mkpath(folder) || !QDir::setCurrent(folder)) {
        *error = QStringLiteral("无法建立文件夹 %1").arg(QDir::toNativeSeparators(folder));
        return Outcome::Failed;
    }
    // Remembered only once it is usable, so a mistyped folder is asked again.
    QString written;
    if (folder != remembered && !SettingsStore::write(QString(settingkeys::shopFolder), folder, &written))
        messagePort().error(written);
    if (holdsShop())
        return Outcome::Ready;
    const QString path = QDir::toNativeSeparators(QDir(folder).filePath(kDatabaseName));
    if (!schema::createDeliveredFile(kDatabaseName, error)) {
        *error = QStringLiteral("无法建立数据库 %1：%2").arg(path, *error);
        return Outcome::Failed;
    }
    messagePort().inform(QStringLiteral("已建立新的数据库：\n%1\n\n请以“超级管理员”登录，初始密码：864").arg(path));
    return Outcome::Ready;
}

} // namespace shopfolder

ShopFolderDialog::ShopFolderDialog(const QString& proposed, QWidget* parent)
    : QDialog(parent)
    , m_folder(new QLineEdit(QDir::toNativeSeparators(proposed), this))
    , m_browse(new QPushButton(QStringLiteral("浏览..."), this))
{
    setWindowTitle(startup::applicationTitle());
    auto* text = new QLabel(QStringLiteral("第一次启动：请选择保存数据库（data.mdb）的文件夹。\n"
                                           "文件夹中没有数据库时，将建立一个新的数据库。"),
                            this);
    m_folder->setMinimumWidth(360);
    m_browse->setAutoDefault(false);

    auto* row = new QHBoxLayout;
    row->addWidget(m_folder, 1);
    row->addWidget(m_browse);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addLayout(row);
    layout->addWidget(buttons);

    connect(m_browse, &QPushButton::clicked, this, &ShopFolderDialog::browse);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        // An empty box is no folder: the question stays.
        if (!folder().isEmpty())
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QString ShopFolderDialog::folder() const
{
    return QDir::fromNativeSeparators(m_folder->text().trimmed());
}

void ShopFolderDialog::browse()
{
    const QString chosen = messagePort().existingFolder(QStringLiteral("选择保存数据库的文件夹"), folder());
    if (!chosen.isEmpty())
        m_folder->setText(QDir::toNativeSeparators(chosen));
}
