#include "ui/gridexport.h"

#include "core/messageport.h"
#include "core/numbers.h"
#include "store/memory/rowset.h"
#include "ui/datagrid.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QUrl>

#include <memory>

namespace {

// Shows the busy cursor until it goes out of scope.
class BusyCursor final
{
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// The borderless window that shows how many rows are written.
class ExportProgress final : public QFrame
{
public:
    explicit ExportProgress(int rows)
        : QFrame(nullptr, Qt::FramelessWindowHint | Qt::Tool | Qt::WindowStaysOnTopHint)
    {
        setObjectName(QStringLiteral("exportProgress"));
        setFixedSize(300, 100);
        setStyleSheet(QStringLiteral("#exportProgress { border: 1px solid black; }"));
        auto* panel = new QFrame(this);
        panel->setGeometry(1, 1, 298, 98);
        panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
        panel->setLineWidth(1);
        auto* text = new QLabel(QStringLiteral("正在导出数据，请稍候......"), panel);
        QFont bold = text->font();
        bold.setBold(true);
        text->setFont(bold);
        text->move(24, 24);
        text->adjustSize();
        m_bar = new QProgressBar(panel);
        m_bar->setGeometry(19, 49, 260, 13);
        m_bar->setRange(0, rows);
        m_bar->setValue(0);
        m_bar->setTextVisible(false);
        m_bar->setStyleSheet(QStringLiteral("QProgressBar { border: 1px solid gray; background: white; }"
                                            "QProgressBar::chunk { background: blue; }"));
        if (const QScreen* screen = QApplication::primaryScreen())
            move(screen->geometry().center() - rect().center());
    }

    void setValue(int row) { m_bar->setValue(row); }

private:
    QProgressBar* m_bar = nullptr;
};

} // namespace

QString GridExport::fileFilter()
{
    return QStringLiteral("Microsoft Excel xls文件 (*.xls)");
}

QString GridExport::overwriteQuestion(const QString& path)
{
    return QStringLiteral("已存在文件（") + path + QStringLiteral("），是否覆盖？");
}

QString GridExport::noProgramText(const QString& path)
{
    return QStringLiteral("数据已导出到文件（") + path +
           QStringLiteral("），但本机没有能打开.xls文件的程序，请安装电子表格软件后再打开它。");
}

biff::Sheet GridExport::sheet(const DataGrid& grid, const GridExportOptions& options)
{
    biff::Sheet s;
    s.title = options.title;
    s.userName = options.userName;
    s.madeAt = num::now();
    const RowSet* rows = grid.rowSet();
    const QList<GridColumn> design = grid.columns();
    // Row set column of each sheet column; -1 where nothing is written.
    auto fields = std::make_shared<QVector<int>>();
    QSet<QString> gridFields;
    for (int position = 0; position < design.size(); ++position) {
        const QString field = grid.fieldAt(position);
        gridFields.insert(field.toLower());
        GridColumn column;
        for (const GridColumn& c : design)
            if (c.field.compare(field, Qt::CaseInsensitive) == 0)
                column = c;
        biff::SheetColumn out;
        out.titleParts = column.title.split(u'|');
        const bool restricted = options.restrictedFields.contains(field.toLower());
        out.shown = grid.isColumnVisible(field) && !restricted;
        if (column.footer == GridColumn::Footer::Text)
            out.totalText = column.footerText;
        s.columns.append(out);
        fields->append(out.shown && rows ? rows->columnIndex(field) : -1);
    }
    if (options.otherFields && rows) {
        const QStringList& all = rows->columns();
        // A sheet has 256 columns.
        for (int field = 0; field < all.size() && s.columns.size() < 256; ++field) {
            const QString name = all.at(field).toLower();
            if (gridFields.contains(name) || options.restrictedFields.contains(name))
                continue;
            biff::SheetColumn out;
            out.beyondGrid = true;
            s.columns.append(out);
            fields->append(field);
        }
    }
    s.rowCount = rows && rows->isOpen() ? rows->rowCount() : 0;
    s.value = [rows, fields](int row, int column) {
        const int field = fields->at(column);
        return field < 0 ? QVariant() : rows->value(row, field);
    };
    return s;
}

bool GridExport::write(const DataGrid& grid, const GridExportOptions& options, const QString& path, QString* error)
{
    return biff::writeSheet(path, sheet(grid, options), error);
}

void GridExport::run(DataGrid& grid, const GridExportOptions& options)
{
    QString path = messagePort().saveFileName(QString(), QString(), fileFilter()).trimmed();
    if (path.isEmpty())
        return;
    const RowSet* rows = grid.rowSet();
    if (!rows || !rows->isOpen() || rows->isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".xls");

    biff::Sheet s = sheet(grid, options);
    if (!biff::fits(s)) {
        messagePort().warning(biff::tooManyRowsText(s.rowCount), QStringLiteral("提示"));
        return;
    }
    {
        BusyCursor busy;
        if (QFileInfo::exists(path) &&
            messagePort().askYesNo(QStringLiteral("提示"), overwriteQuestion(path)) != MessagePort::Answer::Ok)
            return;
        ExportProgress progress(s.rowCount);
        progress.show();
        s.rowWritten = [&progress](int written) { progress.setValue(written); };
        QString error;
        if (!biff::writeSheet(path, s, &error)) {
            progress.hide();
            messagePort().error(error);
            return;
        }
        progress.hide();
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath())))
        messagePort().inform(noProgramText(path));
}
