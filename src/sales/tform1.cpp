#include "sales/tform1.h"

#include "store/db/columns.h"
#include "store/memory/rowset.h"
#include "store/ops/tdmfm.h"
#include "ui/datagrid.h"
#include "ui/gridcolumnbuilder.h"
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
    const auto text = [](QLatin1StringView field, const char* title, int width) {
        return gridColumn(field, title, GridColumn::Format::Text, width).fitted().titled(kLime);
    };
    // Numbers are shown as stored, without a display form, and centred.
    const auto number = [](const char* field, const char* title, bool whiteTitle) {
        return gridColumn(QString::fromUtf8(field), title, GridColumn::Format::General, 70)
            .fitted()
            .titled(kLime, whiteTitle ? QColor(Qt::white) : QColor())
            .aligned(Qt::AlignCenter)
            .summed(Qt::AlignCenter);
    };
    return {
        text(stockcol::name, "商 品 信 息|名 称", 120).captioned(QStringLiteral("总计")),
        text(stockcol::model, "商 品 信 息|规格型号", 110),
        text(stockcol::code, "商 品 信 息|编 码", 130),
        text(stockcol::category, "商 品 信 息|类 别", 80),
        number("进货数量", "进 货|数 量", true),
        number("进货金额", "进 货|金 额", true),
        number("销售数量", "销 售|数 量", false),
        number("销售金额", "销 售|金 额", false),
        number("库存数量", "存 货|数 量", true),
        number("库存金额", "存 货|金 额", true),
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
    m_grid->setRowSet(&m_dm.stock().summary());
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
    (void)succeeded(m_dm.stock().refreshSummary());
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
        m_dm.stock().summary().close();
}

void TForm1::resizeEvent(QResizeEvent* e)
{
    QDialog::resizeEvent(e);
    m_grid->setGeometry(0, 0, width(), std::max(0, height() - kBelowGrid));
}
