#include "maint/texcell.h"

#include "core/blanks.h"
#include "core/messageport.h"
#include "settings/settingkeys.h"
#include "settings/settingsstore.h"
#include "store/ops/stockimport.h"
#include "store/ops/tdmfm.h"
#include "ui/backgroundwork.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace {

const QString kWarningTitle = QStringLiteral("警告");

} // namespace

Texcell::Texcell(Tdmfm& dm, std::function<void()> reloadStockList, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_dm(dm)
    , m_reloadStockList(std::move(reloadStockList))
    , m_workbook(new QLineEdit(this))
    , m_database(new QLineEdit(this))
    , m_chooseWorkbook(new QPushButton(QStringLiteral("打开Excel文件"), this))
    , m_chooseDatabase(new QPushButton(QStringLiteral("选择数据库"), this))
    , m_import(new QPushButton(QStringLiteral("Excel自动导入"), this))
{
    setWindowTitle(QStringLiteral("Excel导入数据库"));
    setModal(true);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(14);
    setFont(font);

    auto* warning = new QLabel(QStringLiteral("警告：导入前请您务必先备份数据库"), this);
    warning->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));
    m_import->setFixedSize(192, 36);
    m_import->setCursor(Qt::PointingHandCursor);
    m_import->setStyleSheet(
        QStringLiteral("QPushButton { color: white; font-weight: bold; border: 1px solid #1d6b36; border-radius: 4px;"
                       " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #3fae5f, stop:1 #217346); }"
                       "QPushButton:pressed { background: #1d6b36; }"));
    for (QLineEdit* e : {m_workbook, m_database})
        e->setMinimumWidth(300);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(16, 14, 16, 14);
    grid->setVerticalSpacing(12);
    grid->addWidget(warning, 0, 0, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Execl路径："), this), 1, 0);
    grid->addWidget(m_workbook, 1, 1);
    grid->addWidget(m_chooseWorkbook, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("数据库路径："), this), 2, 0);
    grid->addWidget(m_database, 2, 1);
    grid->addWidget(m_chooseDatabase, 2, 2);
    grid->addWidget(m_import, 3, 0, 1, 3, Qt::AlignHCenter);
    setFixedSize(sizeHint());
    if (QScreen* screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    // A shop on a server is not a file to choose: the import goes into it
    // unless another database file is chosen.
    if (m_dm.location().isServer())
        m_database->setText(m_dm.location().describe());

    connect(m_chooseWorkbook, &QPushButton::clicked, this, &Texcell::onChooseWorkbook);
    connect(m_chooseDatabase, &QPushButton::clicked, this, &Texcell::onChooseDatabase);
    connect(m_import, &QPushButton::clicked, this, &Texcell::onImport);
}

QString Texcell::supportNumber()
{
    const QString stored = SettingsStore::read(QString(settingkeys::supportNumber));
    return stored.isEmpty() ? QString(settingkeys::supportNumberDefault) : stored;
}

void Texcell::onChooseWorkbook()
{
    const QString path = messagePort().openFileName(QStringLiteral("请选择相应的Excel文件"), QString(),
                                                    QStringLiteral("Excel(*.xls *.xlsx *.csv)"));
    if (!path.isEmpty())
        m_workbook->setText(path);
}

void Texcell::onChooseDatabase()
{
    const QString path =
        messagePort().openFileName(QStringLiteral("请选择相应的MDB文件"), QString(), QStringLiteral("access (*.mdb)"));
    if (!path.isEmpty())
        m_database->setText(path);
}

void Texcell::onImport()
{
    const QString database = trimControlsAndSpaces(m_database->text());
    const QString workbook = trimControlsAndSpaces(m_workbook->text());
    if (database.isEmpty() || workbook.isEmpty()) {
        messagePort().warning(QStringLiteral("请正确选择相关路径！"), kWarningTitle);
        return;
    }
    // A full sheet takes a second or two to read: the window waits with a progress window.
    const auto readAside = [this](const std::function<void()>& read) {
        return runCancellable(this, QStringLiteral("正在读取Excel文件，请稍候……"), read);
    };
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const stockimport::Result r = stockimport::run(workbook, database, &m_dm, readAside);
    QApplication::restoreOverrideCursor();
    switch (r.outcome) {
    case stockimport::Outcome::ConnectFailed:
        messagePort().warning(QStringLiteral("连接ACCESS失败！请联系技术客服QQ:") + supportNumber() +
                                  QLatin1Char('\n') + r.detail,
                              kWarningTitle);
        return;
    case stockimport::Outcome::ImportFailed:
        messagePort().warning(QStringLiteral("批量EXCEL导入失败！请联系技术客服QQ:") + supportNumber() +
                                  QLatin1Char('\n') + r.detail,
                              kWarningTitle);
        return;
    case stockimport::Outcome::Cancelled:
        return; // nothing was written
    case stockimport::Outcome::Imported:
        break;
    }
    messagePort().warning(QStringLiteral("批量EXCEL导入成功！请退出在主界面中点全部记录查看"), kWarningTitle);
    if (r.intoOpenDatabase && m_reloadStockList)
        m_reloadStockList();
}
