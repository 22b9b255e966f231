#include "sales/tform1.h"

#include "store/db/columns.h"
#include "store/memory/rowset.h"
#include "store/ops/tdmfm.h"
#include "ui/datagrid.h"
#include "ui/gridexport.h"
#include "ui/gridprint.h"
#include "ui/reporterror.h"

#include <QMenu>

#include <QResizeEvent>
#include <QShowEvent>

namespace {

constexpr int kClientWidth = 988;
constexpr int kClientHeight = 572;
// The grid is the window's height less this.
constexpr int kBelowGrid = 35;

const QColor kLime(0, 255, 0);

const QStringList kAmountColumns{QStringLiteral("进货金额"), QStringLiteral("销售金额"), QStringLiteral("库存金额")};

QList<GridColumn> summaryColumns()
{
    // Starting widths: a 13-digit code and the totals of a big shop show whole.
    const auto column = [](const QString& field, const char* title, bool number, bool whiteTitle, int width = 70) {
        GridColumn c;
        c.field = field;
        c.title = QString::fromUtf8(title);
        c.titleColor = kLime;
        if (whiteTitle)
            c.titleTextColor = Qt::white;
        c.fitted = true;
        c.width = width;
        if (number) {
            // Shown as stored, without a display form.
            c.format = GridColumn::Format::General;
            c.alignment = Qt::AlignCenter;
            c.footer = GridColumn::Footer::Sum;
            c.footerAlignment = Qt::AlignCenter;
        }
        return c;
    };
    GridColumn name = column(QString(stockcol::name), "商 品 信 息|名 称", false, false, 120);
    name.footer = GridColumn::Footer::Text;
    name.footerText = QStringLiteral("总计");
    name.footerAlignment = Qt::AlignCenter;
    return {
        name,
        column(QString(stockcol::model), "商 品 信 息|规格型号", false, false, 110),
        column(QString(stockcol::code), "商 品 信 息|编 码", false, false, 130),
        column(QString(stockcol::category), "商 品 信 息|类 别", false, false, 80),
        column(QStringLiteral("进货数量"), "进 货|数 量", true, true),
        column(QStringLiteral("进货金额"), "进 货|金 额", true, true),
        column(QStringLiteral("销售数量"), "销 售|数 量", true, false),
        column(QStringLiteral("销售金额"), "销 售|金 额", true, false),
        column(QStringLiteral("库存数量"), "存 货|数 量", true, true),
        column(QStringLiteral("库存金额"), "存 货|金 额", true, true),
    };
}

} // namespace

TForm1::TForm1(Tdmfm& dm, std::function<QString()> userName, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowCloseButtonHint)
    , m_dm(dm)
    , m_userName(std::move(userName))
    , m_grid(new DataGrid(this))
{
    setWindowTitle(QStringLiteral("汇总统计"));
    resize(kClientWidth, kClientHeight);
    m_grid->setColumns(summaryColumns());
    m_grid->setRowSet(&m_dm.summaryQuery());
    // A shown summary follows every committed change of the stock; a hidden
    // one is refreshed when it shows.
    connect(&m_dm, &Tdmfm::changed, this, [this](const StoreChange& change) {
        if (isVisible() && !change.stockRows.isEmpty())
            refresh();
    });
    m_grid->setGeometry(0, 0, kClientWidth, kClientHeight - kBelowGrid);
    auto* menu = new QMenu(this);
    menu->addAction(QStringLiteral("导出Excel"), this, [this] {
        GridExport::run(*m_grid,
                        {QStringLiteral("商品进销存统计报表"), m_userName(), m_restricted, m_superAdministrator});
    });
    menu->addAction(QStringLiteral("打 印"), this, [this] {
        GridPrint::preview(*m_grid, {QStringLiteral("商 品 进 销 存 统 计 报 表"), QStringLiteral("%[Today1]"),
                                     m_userName(), m_restricted});
    });
    m_grid->setContextMenu(menu);
}

void TForm1::refresh()
{
    m_grid->clearSortMarkers();
    (void)succeeded(m_dm.refreshSummary());
}

void TForm1::hideAmountColumnsForOrdinaryUser()
{
    m_superAdministrator = false;
    for (const QString& field : kAmountColumns) {
        m_grid->setColumnVisible(field, false);
        m_restricted.insert(field.toLower());
    }
}

void TForm1::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (e->spontaneous())
        return;
    if (parentWidget()) {
        // Centred on the main window.
        const QRect outer = parentWidget()->window()->frameGeometry();
        move(outer.center() - QPoint(width() / 2, height() / 2));
    }
    refresh();
}

void TForm1::hideEvent(QHideEvent* e)
{
    QDialog::hideEvent(e);
    if (!e->spontaneous())
        m_dm.summaryQuery().close();
}

void TForm1::resizeEvent(QResizeEvent* e)
{
    QDialog::resizeEvent(e);
    m_grid->setGeometry(0, 0, width(), std::max(0, height() - kBelowGrid));
}
