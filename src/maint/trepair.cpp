#include "maint/trepair.h"

#include "core/messageport.h"
#include "settings/settingkeys.h"
#include "settings/settingsstore.h"
#include "store/db/backup.h"
#include "store/db/serverbackup.h"
#include "store/ops/tdmfm.h"
#include "ui/backgroundwork.h"
#include "ui/centring.h"
#include "ui/failurereport.h"
#include "ui/reporterror.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* redLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setStyleSheet(QStringLiteral("color: #ff0000;"));
    label->setWordWrap(true);
    return label;
}

} // namespace

Trepair::Trepair(Tdmfm& dm, bool mayRestore, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_dm(dm)
    , m_mayRestore(mayRestore)
    , m_default(new QLabel(this))
    , m_backupPath(new QLineEdit(this))
    , m_backup(new QPushButton(QStringLiteral("备份数据库"), this))
    , m_restorePanel(new QFrame(this))
    , m_restoreSource(new QLineEdit(m_restorePanel))
    , m_open(new QPushButton(QStringLiteral("打开备份文件"), m_restorePanel))
    , m_restore(new QPushButton(QStringLiteral("恢复数据库"), m_restorePanel))
{
    setWindowTitle(QStringLiteral("数据库备份"));

    auto* title = new QLabel(QStringLiteral("数据库维护备份"), this);
    title->setFixedHeight(33);
    title->setAlignment(Qt::AlignCenter);
    QFont big = title->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.3);
    title->setFont(big);

    m_default->setText(
        QStringLiteral("<a href=\"default\" style=\"color:#0000ff; text-decoration:underline;\">默认</a>"));
    m_default->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);

    auto* backupPanel = new QFrame(this);
    backupPanel->setFrameShape(QFrame::StyledPanel);
    auto* backupLayout = new QGridLayout(backupPanel);
    auto* caption = new QHBoxLayout;
    caption->addWidget(new QLabel(QStringLiteral("备份数据的目录:"), backupPanel));
    caption->addWidget(m_default);
    caption->addStretch();
    backupLayout->addLayout(caption, 0, 0, 1, 2);
    backupLayout->addWidget(m_backupPath, 1, 0);
    backupLayout->addWidget(m_backup, 1, 1);
    backupLayout->addWidget(redLabel(QStringLiteral("温馨提示：定期备份数据，维护数据安全！"), backupPanel), 2, 0, 1,
                            2);
    m_backupPath->setMinimumWidth(240);

    m_restorePanel->setFrameShape(QFrame::StyledPanel);
    auto* restoreLayout = new QGridLayout(m_restorePanel);
    restoreLayout->addWidget(m_restoreSource, 0, 0);
    restoreLayout->addWidget(m_open, 0, 1);
    restoreLayout->addWidget(m_restore, 1, 1);
    restoreLayout->addWidget(
        redLabel(QStringLiteral("警告：恢复数据库功能，只有当目前使用的数据库损坏或丢失时才使用，否则旧数据库会覆盖当前"
                                "的最新数据库，造成信息丢失。"),
                 m_restorePanel),
        2, 0, 1, 2);
    m_restorePanel->setVisible(m_mayRestore);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 8);
    layout->addWidget(title);
    layout->addWidget(backupPanel);
    layout->addWidget(m_restorePanel);
    // Tall enough for every panel it shows, and no more.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // The remembered path, else the default; only what the user changes afterwards is written.
    const QString stored =
        SettingsStore::keyExists() ? SettingsStore::read(QString(settingkeys::backupPath)) : QString();
    m_backupPath->setText(proposed(stored.isEmpty() ? settingkeys::defaultBackupPath() : stored));
    // A restore most often brings back the copy the backup made.
    m_restoreSource->setText(m_backupPath->text());

    for (QPushButton* b : {m_backup, m_open, m_restore})
        b->setAutoDefault(false);
    connect(m_default, &QLabel::linkActivated, this, &Trepair::onDefaultClicked);
    connect(m_backupPath, &QLineEdit::textChanged, this, &Trepair::onBackupPathEdited);
    connect(m_backup, &QPushButton::clicked, this, &Trepair::onBackupClicked);
    connect(m_open, &QPushButton::clicked, this, &Trepair::onOpenClicked);
    connect(m_restore, &QPushButton::clicked, this, &Trepair::onRestoreClicked);
    centreOnFirstShow(this);
}

void Trepair::closeEvent(QCloseEvent* event)
{
    // The main window comes back before this window is gone, so the program
    // never finds itself without a visible window.
    emit closed();
    QWidget::closeEvent(event);
}

QString Trepair::resolved(const QString& path) const
{
    if (path.isEmpty() || QFileInfo(path).isAbsolute())
        return path;
    const QString shop = m_dm.path().isEmpty() ? QDir::currentPath() : QFileInfo(m_dm.path()).absolutePath();
    return QDir(shop).filePath(path);
}

// A shop on a server is backed up in the server's own dump format, which is
// no database file: a remembered or default "….mdb" is proposed as "….backup".
QString Trepair::proposed(const QString& path) const
{
    if (!m_dm.location().isServer() || !path.endsWith(QLatin1String(".mdb"), Qt::CaseInsensitive))
        return path;
    return path.left(path.size() - 4) + QLatin1String(".backup");
}

void Trepair::onDefaultClicked()
{
    m_backupPath->setText(proposed(settingkeys::defaultBackupPath()));
}

void Trepair::onBackupPathEdited(const QString& text)
{
    writeSetting(QString(settingkeys::backupPath), text);
}

void Trepair::onBackupClicked()
{
    // pg_dump reads every table, purchase prices included: on a server only
    // the super administrator's till connects with a role that may.
    if (m_dm.location().isServer() && !m_mayRestore) {
        messagePort().inform(
            QStringLiteral("服务器上的店铺数据库只有超级管理员才能备份，请让超级管理员登录后再备份。"));
        return;
    }
    const QString target = resolved(m_backupPath->text());
    // Whatever lies there (a link, even one to nothing, or what the backup
    // refuses to replace) is asked about first.
    if ((QFileInfo::exists(target) || QFileInfo(target).isSymLink()) &&
        messagePort().confirm(
            QStringLiteral("数据库备份"),
            QStringLiteral("备份文件已经存在：%1\n要用现在的数据库替换它吗？").arg(QDir::toNativeSeparators(target))) !=
            MessagePort::Answer::Ok)
        return; // the existing backup stays as it is
    QString error;
    bool done = false;
    // A big shop's copy takes many seconds: the window waits with a progress window.
    runWithProgress(this, QStringLiteral("正在备份数据库，请稍候……"), [&] {
        if (m_dm.location().isServer()) {
            const Result<void> dumped = serverbackup::dumpTo(m_dm.location().target(), target);
            done = dumped.ok();
            if (!done)
                error = dumped.error().text;
        } else {
            done = backup::copyTo(m_dm.db(), target, &error);
        }
    });
    if (!done) {
        messagePort().error(QStringLiteral("数据库备份失败！\n%1").arg(error));
        return;
    }
    messagePort().inform(QStringLiteral("数据库备份成功！"));
}

void Trepair::onOpenClicked()
{
    const QString chosen = messagePort().openFileName(
        QStringLiteral("打开备份文件"), QFileInfo(resolved(m_restoreSource->text())).absolutePath(), QString());
    if (!chosen.isEmpty())
        m_restoreSource->setText(QDir::toNativeSeparators(QFileInfo(chosen).absoluteFilePath()));
}

void Trepair::onRestoreClicked()
{
    if (!m_mayRestore)
        return;
    const QString source = resolved(m_restoreSource->text());
    if (source.isEmpty() || !QFileInfo(source).isFile()) {
        messagePort().inform(QStringLiteral("备份数据库没找到!"));
        return;
    }
    // The file is replaced underneath the connection: close it first, and
    // open whatever the file is afterwards. A shop on a server keeps its
    // former tables in a backup in the shop folder.
    m_dm.closeConnection();
    QString safetyCopy;
    QString error;
    bool restored = false;
    const bool server = m_dm.location().isServer();
    const QString database = server ? m_dm.location().target() : m_dm.path();
    if (server)
        safetyCopy = serverbackup::safetyCopyName(QDir::currentPath(), QDateTime::currentDateTime());
    runWithProgress(this, QStringLiteral("正在恢复数据库，请稍候……"), [&] {
        if (server) {
            const Result<void> done = serverbackup::restore(source, database, safetyCopy);
            restored = done.ok();
            if (!restored)
                error = done.error().text;
        } else {
            restored = backup::restore(source, database, &safetyCopy, &error);
        }
    });
    const Result<void> reopened = m_dm.reopen();
    if (!restored) {
        messagePort().error(QStringLiteral("数据库恢复失败！\n%1").arg(error));
    } else if (safetyCopy.isEmpty()) {
        messagePort().inform(QStringLiteral("数据库恢复成功！"));
    } else {
        messagePort().inform(
            QStringLiteral("数据库恢复成功！\n原来的数据库已保存为：%1").arg(QDir::toNativeSeparators(safetyCopy)));
    }
    if (!reopened)
        reportError(reopened.error());
}
