#include "ui/datagrid.h"

#include "core/messageport.h"
#include "store/memory/rowset.h"
#include "ui/groupheaderview.h"

#include <QApplication>
#include <QGridLayout>
#include <QMenu>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <QTableView>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

const QColor kGridColor(238, 238, 238);   // rows and fixed area
const QColor kFooterColor(255, 194, 134); // the hint colour
constexpr int kMinFittedWidth = 8;

} // namespace

// The table part of the grid: it tells the grid when the width that fitted
// columns share has changed.
class DataGridView final : public QTableView
{
public:
    explicit DataGridView(DataGrid* grid)
        : QTableView(grid)
        , m_grid(grid)
    {
    }

protected:
    // The rows, then the grid lines as one-pixel rectangles. A line drawn by
    // the view's painter is rasterised span by span, which for a column line
    // as tall as the view is handed to the paint engine's worker threads:
    // a thread round trip per line and keystroke. Solid rectangles are filled
    // directly. The lines lie where the view draws them: the last pixel row
    // and column of each cell, which the cells leave free (GridCellDelegate).
    void paintEvent(QPaintEvent* event) override
    {
        QTableView::paintEvent(event);
        const QHeaderView* rows = verticalHeader();
        const QHeaderView* cols = horizontalHeader();
        if (rows->count() == 0 || cols->count() == 0)
            return;
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        const QColor color = QColor::fromRgba(QRgb(style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this)));
        const int right = cols->length() - cols->offset() - 1;
        const int bottom = rows->length() - rows->offset() - 1;
        QPainter painter(viewport());
        for (QRect dirty : event->region()) {
            dirty.setBottom(std::min(dirty.bottom(), bottom));
            dirty.setRight(std::min(dirty.right(), right));
            if (!dirty.isValid())
                continue;
            int top = rows->visualIndexAt(dirty.top());
            int last = rows->visualIndexAt(dirty.bottom());
            if (last == -1)
                last = rows->count() - 1;
            if (top == -1 || top > last)
                continue;
            for (int v = top; v <= last; ++v) {
                const int row = rows->logicalIndex(v);
                if (rows->isSectionHidden(row))
                    continue;
                const int y = rowViewportPosition(row) + rowHeight(row) - 1;
                painter.fillRect(QRect(dirty.left(), y, dirty.width(), 1), color);
            }
            int left = cols->visualIndexAt(dirty.left());
            int end = cols->visualIndexAt(dirty.right());
            if (left == -1)
                left = 0;
            if (end == -1)
                end = cols->count() - 1;
            for (int v = left; v <= end; ++v) {
                const int col = cols->logicalIndex(v);
                if (cols->isSectionHidden(col))
                    continue;
                const int x = columnViewportPosition(col) + columnWidth(col) - 1;
                painter.fillRect(QRect(x, dirty.top(), 1, dirty.height()), color);
            }
        }
    }

    // Receives the resizes of the viewport.
    void resizeEvent(QResizeEvent* event) override
    {
        QTableView::resizeEvent(event);
        if (event->size().width() != event->oldSize().width())
            m_grid->fit();
    }
    void showEvent(QShowEvent* event) override
    {
        QTableView::showEvent(event);
        m_grid->fit();
    }

private:
    DataGrid* m_grid;
};

// Draws the cells. A grid shows one line of plain text per cell, so a cell is
// its background when selected and its text, elided to the cell's width; the
// laid-out text is kept per text and width, so a repaint after a new search
// shapes only the texts it has not drawn before. The current cell (with its
// focus frame) and texts of more than one line are drawn by the style.
class GridCellDelegate final : public QStyledItemDelegate
{
public:
    GridCellDelegate(DataGridModel* model, QObject* parent)
        : QStyledItemDelegate(parent)
        , m_model(model)
    {
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& cell, const QModelIndex& index) const override
    {
        // The cell's last pixel row and column belong to the grid lines.
        const QRect rect = cell.rect.adjusted(0, 0, -1, -1);
        const auto byStyle = [&] {
            QStyleOptionViewItem option = cell;
            option.rect = rect;
            QStyledItemDelegate::paint(painter, option, index);
        };
        if (cell.state & QStyle::State_HasFocus) {
            byStyle();
            return;
        }
        const QString text = m_model->text(index.row(), index.column());
        if (text.contains(u'\n') || text.contains(QChar::LineSeparator)) {
            byStyle();
            return;
        }
        const QWidget* widget = cell.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        const QPalette::ColorGroup group = !(cell.state & QStyle::State_Enabled) ? QPalette::Disabled
                                           : (cell.state & QStyle::State_Active) ? QPalette::Normal
                                                                                 : QPalette::Inactive;
        const bool selected = cell.state & QStyle::State_Selected;
        if (selected)
            painter->fillRect(rect, cell.palette.brush(group, QPalette::Highlight));
        if (text.isEmpty())
            return;
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        const QRect area = rect.adjusted(margin, 0, -margin, 0);
        if (area.width() <= 0)
            return;
        const QStaticText& shown = laidOut(text, area.width(), cell.font);
        const QSizeF size = shown.size();
        QColor color = cell.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
        if (!selected) {
            const QVariant fg = m_model->data(index, Qt::ForegroundRole);
            if (fg.canConvert<QBrush>())
                color = fg.value<QBrush>().color();
        }
        const Qt::Alignment align =
            QStyle::visualAlignment(cell.direction, Qt::Alignment(m_model->columns().at(index.column()).alignment));
        qreal x = area.left();
        if (align & Qt::AlignRight)
            x = area.left() + area.width() - size.width();
        else if (align & Qt::AlignHCenter)
            x = area.left() + (area.width() - size.width()) / 2;
        qreal y = area.top();
        if (align & Qt::AlignBottom)
            y = area.top() + area.height() - size.height();
        else if (align & Qt::AlignVCenter)
            y = area.top() + (area.height() - size.height()) / 2;
        // A fallback font for some characters may make the line taller than the row.
        const bool clip = size.height() > rect.height();
        if (clip) {
            painter->save();
            painter->setClipRect(rect);
        }
        painter->setPen(color);
        if (painter->font() != cell.font) // the view's font, mostly: set once
            painter->setFont(cell.font);
        painter->drawStaticText(QPointF(x, std::floor(y)), shown);
        if (clip)
            painter->restore();
    }

private:
    const QStaticText& laidOut(const QString& text, int width, const QFont& font) const
    {
        if (font != m_font || m_texts.size() > 20000) {
            m_texts.clear();
            m_font = font;
        }
        const LaidOutKey key{text, width};
        auto it = m_texts.find(key);
        if (it == m_texts.end()) {
            QStaticText st(QFontMetrics(font).elidedText(text, Qt::ElideRight, width));
            st.setTextFormat(Qt::PlainText);
            st.prepare(QTransform(), font);
            it = m_texts.insert(key, st);
        }
        return *it;
    }

    struct LaidOutKey
    {
        QString text;
        int width;
        bool operator==(const LaidOutKey&) const = default;
        friend size_t qHash(const LaidOutKey& k, size_t seed) { return qHashMulti(seed, k.text, k.width); }
    };

    DataGridModel* m_model;
    mutable QFont m_font;
    mutable QHash<LaidOutKey, QStaticText> m_texts;
};

// The totals row: one cell under each visible column, following the columns'
// widths, moves and the horizontal scroll of the table above it.
class GridFooter final : public QWidget
{
public:
    GridFooter(QTableView* view, DataGridModel* model, QWidget* parent)
        : QWidget(parent)
        , m_view(view)
        , m_model(model)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    QSize sizeHint() const override { return {0, m_height}; }
    QSize minimumSizeHint() const override { return sizeHint(); }
    void setRowHeight(int height)
    {
        m_height = height + 1;
        setFixedHeight(m_height);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), kFooterColor);
        const QHeaderView* header = m_view->horizontalHeader();
        const QColor lines(160, 160, 160);
        p.setPen(lines);
        p.drawLine(0, 0, width() - 1, 0);
        // The view lies at the same x as this bar; its cells start at its viewport.
        const QRect area = m_view->viewport()->geometry();
        p.setClipRect(QRect(area.left(), 0, area.width(), height()));
        for (int c = 0; c < header->count(); ++c) {
            if (header->isSectionHidden(c))
                continue;
            const int x = area.left() + header->sectionViewportPosition(c);
            const int w = header->sectionSize(c);
            if (x + w < area.left() || x > area.right())
                continue;
            const QRect cell(x, 1, w, height() - 1);
            if (const QColor own = m_model->footerColor(c); own.isValid())
                p.fillRect(cell, own);
            p.setPen(lines);
            p.drawLine(cell.right(), cell.top(), cell.right(), cell.bottom());
            const QString text = m_model->footerText(c);
            if (text.isEmpty())
                continue;
            const QRect textRect = cell.adjusted(3, 0, -4, 0);
            p.setPen(palette().color(QPalette::Text));
            // A total is never elided. The grid widens its column to fit, so
            // this shrinks the font only when something keeps a column narrower.
            const qreal advance = QFontMetricsF(font()).horizontalAdvance(text);
            if (advance > textRect.width() && textRect.width() > 0) {
                QFont smaller = font();
                const qreal scale = textRect.width() / advance;
                if (smaller.pixelSize() > 0)
                    smaller.setPixelSize(std::max(1, int(smaller.pixelSize() * scale)));
                else
                    smaller.setPointSizeF(std::max(1.0, smaller.pointSizeF() * scale));
                p.setFont(smaller);
            }
            p.drawText(textRect, int(m_model->footerAlignment(c)) | Qt::TextSingleLine, text);
            p.setFont(font());
        }
    }

private:
    QTableView* m_view;
    DataGridModel* m_model;
    int m_height = 20;
};

DataGrid::DataGrid(QWidget* parent)
    : QWidget(parent)
    , m_model(new DataGridModel(this))
{
    QFont font(u"宋体"_s);
    font.setPixelSize(14);
    setFont(font);

    m_view = new DataGridView(this);
    m_header = new GroupHeaderView(m_view);
    m_view->setHorizontalHeader(m_header);
    m_view->setModel(m_model);
    m_view->setItemDelegate(new GridCellDelegate(m_model, m_view));
    m_view->setSortingEnabled(false);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setWordWrap(false);
    m_view->setTextElideMode(Qt::ElideRight);
    m_view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->setShowGrid(false); // the view draws its lines itself (DataGridView::paintEvent)
    // The footer sits between the rows and the horizontal scroll bar, so the
    // view's own bar is replaced by one below the footer that mirrors it.
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QHeaderView* rows = m_view->verticalHeader();
    rows->hide();
    rows->setMinimumSectionSize(1);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(QFontMetrics(font).height() + 4);

    QPalette pal = m_view->palette();
    pal.setColor(QPalette::Base, kGridColor);
    pal.setColor(QPalette::AlternateBase, kGridColor);
    pal.setColor(QPalette::Mid, m_header->lineColor()); // the styles draw grid lines in it
    m_view->setPalette(pal);
    m_header->setFixedColor(kGridColor);

    auto* footer = m_footer = new GridFooter(m_view, m_model, this);
    footer->setRowHeight(rowHeight());
    footer->setObjectName(u"footer"_s);
    auto* hbar = new QScrollBar(Qt::Horizontal, this);
    hbar->setObjectName(u"horizontalScrollBar"_s);
    hbar->hide();

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_view, 0, 0);
    layout->addWidget(footer, 1, 0);
    layout->addWidget(hbar, 2, 0);

    QScrollBar* inner = m_view->horizontalScrollBar();
    connect(inner, &QScrollBar::rangeChanged, hbar, [inner, hbar](int min, int max) {
        hbar->setRange(min, max);
        hbar->setPageStep(inner->pageStep());
        hbar->setSingleStep(inner->singleStep());
        hbar->setVisible(max > min);
    });
    connect(inner, &QScrollBar::valueChanged, hbar, &QScrollBar::setValue);
    connect(hbar, &QScrollBar::valueChanged, inner, &QScrollBar::setValue);

    const auto repaintFooter = [footer] { footer->update(); };
    connect(inner, &QScrollBar::valueChanged, footer, repaintFooter);
    connect(m_header, &QHeaderView::sectionMoved, footer, repaintFooter);
    connect(m_header, &QHeaderView::geometriesChanged, footer, repaintFooter);
    connect(m_model, &DataGridModel::footerChanged, footer, repaintFooter);
    connect(m_model, &DataGridModel::footerChanged, this, &DataGrid::fitTotals);
    connect(m_header, &QHeaderView::sectionResized, this, &DataGrid::onSectionResized);
    connect(m_header, &QHeaderView::sectionMoved, m_header, [this] { m_header->viewport()->update(); });
    connect(m_header, &GroupHeaderView::titleClicked, this, &DataGrid::onTitleClicked);

    connect(m_model, &DataGridModel::rowSetChangeStarted, this, [this] { m_rowSetChanging = true; });
    connect(m_model, &DataGridModel::rowSetChangeFinished, this, [this] { m_rowSetChanging = false; });
    connect(m_view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { syncToRowSet(current); });
    connect(m_view, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            emit cellClicked(index.row());
    });
    connect(m_view, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            emit rowDoubleClicked(index.row());
    });
}

DataGrid::~DataGrid() = default;

QTableView* DataGrid::view() const
{
    return m_view;
}

void DataGrid::setColumns(QList<GridColumn> columns)
{
    const int n = int(columns.size());
    m_widths.resize(n);
    m_fitBase.resize(n);
    m_sortIndex.fill(0, n);
    m_dropDownRows.fill(0, n);
    m_dropDownWidth.fill(0, n);
    m_resizing = true;
    m_model->setColumns(std::move(columns));
    // The header keeps moves and sizes across model resets: start from the design.
    for (int c = 0; c < n; ++c) {
        const GridColumn& col = m_model->columns().at(c);
        m_header->moveSection(m_header->visualIndex(c), c);
        m_widths[c] = std::max(col.width, 1);
        m_fitBase[c] = m_widths[c];
        m_header->setSectionHidden(c, false);
        m_header->resizeSection(c, m_widths[c]);
        m_header->setSectionHidden(c, !col.visible);
    }
    m_resizing = false;
    m_header->updateGeometry();
    fitTotals();
    fit();
    updateFooter();
    syncFromRowSet(); // the reset forgot the selected row
}

QList<GridColumn> DataGrid::columns() const
{
    QList<GridColumn> out = m_model->columns();
    for (int c = 0; c < out.size(); ++c) {
        out[c].width = m_widths.value(c);
        out[c].visible = !m_header->isSectionHidden(c);
    }
    return out;
}

void DataGrid::setContextMenu(QMenu* menu)
{
    // Scroll areas report the position in their viewport's coordinates.
    const auto menuOver = [menu](QWidget* w, QWidget* coordinates) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, menu,
                [menu, coordinates](const QPoint& pos) { menu->popup(coordinates->mapToGlobal(pos)); });
    };
    menuOver(m_view, m_view->viewport());
    menuOver(m_view->horizontalHeader(), m_view->horizontalHeader()->viewport());
    if (QWidget* footer = findChild<QWidget*>(QStringLiteral("footer")))
        menuOver(footer, footer);
}

void DataGrid::setRowSet(RowSet* rows)
{
    RowSet* old = m_model->rowSet();
    if (old == rows)
        return;
    if (old)
        disconnect(old, nullptr, this, nullptr);
    m_model->setRowSet(rows);
    if (rows)
        connect(rows, &RowSet::currentChanged, this, [this] { syncFromRowSet(); });
    syncFromRowSet();
}

RowSet* DataGrid::rowSet() const
{
    return m_model->rowSet();
}

void DataGrid::syncFromRowSet()
{
    RowSet* rows = m_model->rowSet();
    const int row = rows ? rows->current() : -1;
    QItemSelectionModel* selection = m_view->selectionModel();
    m_syncing = true;
    if (row < 0 || row >= m_model->rowCount()) {
        selection->clear();
    } else {
        // Keep the column the user is in; otherwise the leftmost visible one.
        int column = selection->currentIndex().column();
        if (column < 0 || m_header->isSectionHidden(column)) {
            column = -1;
            for (int v = 0; v < m_header->count() && column < 0; ++v)
                if (!m_header->isSectionHidden(m_header->logicalIndex(v)))
                    column = m_header->logicalIndex(v);
        }
        const QModelIndex index = m_model->index(row, std::max(column, 0));
        selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_view->scrollTo(index);
    }
    m_syncing = false;
    emit currentRowChanged(row);
}

void DataGrid::syncToRowSet(const QModelIndex& current)
{
    // While the set itself is resetting or removing a row the view moves its
    // current index on its own; the set decides afterwards which row is current.
    if (m_syncing || m_rowSetChanging || !current.isValid())
        return;
    if (RowSet* rows = m_model->rowSet())
        rows->setCurrent(current.row());
}

void DataGrid::setColumnVisible(const QString& field, bool visible)
{
    const int c = m_model->columnOf(field);
    if (c < 0 || m_header->isSectionHidden(c) == !visible)
        return;
    m_resizing = true;
    m_header->setSectionHidden(c, !visible);
    m_resizing = false;
    fitTotals();
    fit();
    updateFooter();
}

bool DataGrid::isColumnVisible(const QString& field) const
{
    const int c = m_model->columnOf(field);
    return c >= 0 && !m_header->isSectionHidden(c);
}

QString DataGrid::fieldAt(int position) const
{
    if (position < 0 || position >= m_header->count())
        return {};
    return m_model->columns().at(m_header->logicalIndex(position)).field;
}

int DataGrid::columnPosition(const QString& field) const
{
    const int c = m_model->columnOf(field);
    return c < 0 ? -1 : m_header->visualIndex(c);
}

int DataGrid::columnWidth(const QString& field) const
{
    const int c = m_model->columnOf(field);
    return c < 0 ? 0 : m_widths.value(c);
}

void DataGrid::setRowTextColor(std::function<QColor(const RowSet&, int row)> color)
{
    m_model->setRowTextColor(std::move(color));
}

void DataGrid::refreshRows()
{
    m_view->viewport()->update();
}

int DataGrid::sortMarker(const QString& field) const
{
    return m_model->sortMarker(m_model->columnOf(field));
}

void DataGrid::setSortMarker(const QString& field, int marker)
{
    m_model->setSortMarker(m_model->columnOf(field), std::clamp(marker, 0, 2));
}

void DataGrid::clearSortMarkers()
{
    for (int c = 0; c < m_model->columnCount(); ++c)
        m_model->setSortMarker(c, 0);
}

QString DataGrid::footerText(const QString& field) const
{
    return m_model->footerText(m_model->columnOf(field));
}

QString DataGrid::displayText(int row, const QString& field) const
{
    return m_model->text(row, m_model->columnOf(field));
}

void DataGrid::onTitleClicked(int column)
{
    if (column < 0 || column >= m_model->columnCount())
        return;
    const QString field = m_model->columns().at(column).field;
    emit titleClicked(field);
    RowSet* rows = m_model->rowSet();
    if (!rows || !rows->isOpen()) {
        messagePort().error(u"Cannot perform this operation on a closed dataset"_s);
        return;
    }
    // The marker before the click decides: down sorts ascending, none or up
    // descending. Then the marker moves on and every other one is cleared.
    const int marker = m_model->sortMarker(column);
    rows->sort(marker == 1 ? field : field + u" DESC"_s);
    for (int c = 0; c < m_model->columnCount(); ++c)
        m_model->setSortMarker(c, c == column ? (marker == 1 ? 2 : 1) : 0);
}

void DataGrid::onSectionResized(int column, int, int newWidth)
{
    updateFooter();
    if (column < 0 || column >= m_widths.size() || newWidth <= 0 || m_header->isSectionHidden(column))
        return;
    if (!m_resizing) {
        // A border dragged inside the column's total stops where the total shows whole.
        if (const int need = totalWidth(column); newWidth < need) {
            m_resizing = true;
            m_header->resizeSection(column, need);
            m_resizing = false;
            newWidth = need;
        }
    }
    m_widths[column] = newWidth;
    if (m_resizing)
        return;
    // The user dragged a border: that column keeps its new width and the other
    // fitted columns share what is left.
    m_fitBase[column] = newWidth;
    fit(column);
}

void DataGrid::setFitColumns(bool on)
{
    m_fit = on;
    fit();
}

int DataGrid::totalWidth(int column) const
{
    const QString text = m_model->footerText(column);
    if (text.isEmpty())
        return 0;
    // The footer draws the text 3 pixels in from the cell's left and 4 from its
    // right. Glyphs sit at fractional positions: rounding the advance to the
    // nearest pixel can leave the text a fraction too wide for its cell.
    return int(std::ceil(QFontMetricsF(m_footer->font()).horizontalAdvance(text))) + 7;
}

void DataGrid::fitTotals()
{
    bool widened = false;
    const bool resizing = m_resizing; // may come while the grid itself is resizing columns
    m_resizing = true;
    for (int c = 0; c < m_model->columnCount(); ++c) {
        if (m_header->isSectionHidden(c))
            continue;
        const int need = totalWidth(c);
        if (need > m_header->sectionSize(c)) {
            m_header->resizeSection(c, need);
            widened = true;
        }
    }
    m_resizing = resizing;
    if (widened)
        fit();
}

void DataGrid::fit(int pinned)
{
    // A grid not on screen has no width to share yet: it fits when shown.
    if (!m_fit || m_resizing || !m_view->isVisible())
        return;
    const int available = m_view->viewport()->width();
    if (available <= 0)
        return;
    int fixed = 0;
    QVector<int> fitted;
    for (int v = 0; v < m_header->count(); ++v) {
        const int c = m_header->logicalIndex(v);
        if (m_header->isSectionHidden(c))
            continue;
        if (m_model->columns().at(c).fitted && c != pinned)
            fitted.append(c);
        else
            fixed += m_header->sectionSize(c);
    }
    if (fitted.isEmpty())
        return;
    // A fitted column never gets less than its total needs (nor less than the
    // least width). One whose share would be smaller takes that width and keeps
    // its share for later; the others share what is left.
    auto least = [this](int c) { return std::max(kMinFittedWidth, totalWidth(c)); };
    int spare = available - fixed;
    QVector<int> sharing = fitted;
    QVector<int> atLeast;
    for (bool moved = true; moved && !sharing.isEmpty();) {
        moved = false;
        double shares = 0;
        for (int c : sharing)
            shares += std::max(m_fitBase.at(c), 1.0);
        for (int c : sharing) {
            if (std::max(m_fitBase.at(c), 1.0) * spare / shares < least(c)) {
                atLeast.append(c);
                sharing.removeOne(c);
                spare -= least(c);
                moved = true;
                break;
            }
        }
    }
    m_resizing = true;
    for (int c : atLeast)
        m_header->resizeSection(c, least(c));
    if (!sharing.isEmpty()) {
        double shares = 0;
        for (int c : sharing)
            shares += std::max(m_fitBase.at(c), 1.0);
        // Cumulative rounding, so that the widths add up to the spare width exactly.
        double sum = 0;
        int edge = 0;
        for (int c : sharing) {
            const double share = std::max(m_fitBase.at(c), 1.0) * spare / shares;
            sum += share;
            const int next = int(std::lround(sum));
            m_header->resizeSection(c, std::max(next - edge, 1));
            edge = next;
            m_fitBase[c] = share;
        }
    }
    m_resizing = false;
    for (int c : fitted)
        m_widths[c] = m_header->sectionSize(c);
    updateFooter();
}

void DataGrid::updateFooter()
{
    m_footer->update();
}

int DataGrid::rowHeight() const
{
    return m_view->verticalHeader()->defaultSectionSize();
}

void DataGrid::setRowHeight(int pixels)
{
    if (pixels < 1)
        return;
    m_view->verticalHeader()->setDefaultSectionSize(pixels);
    m_footer->setRowHeight(pixels);
}

GridLayout DataGrid::currentLayout() const
{
    GridLayout layout;
    for (int v = 0; v < m_header->count(); ++v) {
        const int c = m_header->logicalIndex(v);
        ColumnState s;
        s.field = m_model->columns().at(c).field;
        s.position = v;
        s.width = m_widths.value(c);
        s.sortMarker = m_model->sortMarker(c);
        s.visible = !m_header->isSectionHidden(c);
        s.sortIndex = m_sortIndex.value(c);
        s.dropDownRows = m_dropDownRows.value(c);
        s.dropDownWidth = m_dropDownWidth.value(c);
        layout.columns.append(s);
    }
    layout.rowHeight = rowHeight();
    layout.textLines = m_textLines;
    return layout;
}

void DataGrid::applyLayout(const GridLayout& layout)
{
    const bool fitting = m_fit;
    m_fit = false;
    m_resizing = true;
    const int n = m_model->columnCount();
    for (const ColumnState& s : layout.columns) {
        const int c = m_model->columnOf(s.field);
        if (c < 0)
            continue;
        if (s.width > 0) {
            m_widths[c] = s.width;
            m_header->resizeSection(c, s.width); // a hidden section keeps it for its next showing
        }
        m_model->setSortMarker(c, std::clamp(s.sortMarker, 0, 2));
        m_header->setSectionHidden(c, !s.visible);
        m_sortIndex[c] = s.sortIndex;
        m_dropDownRows[c] = s.dropDownRows;
        m_dropDownWidth[c] = s.dropDownWidth;
    }

    // Screen order: the named columns at their positions, the others in the
    // places left free in their present order.
    QVector<int> target(n, -1);
    QVector<bool> placed(n, false);
    QList<ColumnState> byPosition = layout.columns;
    std::stable_sort(byPosition.begin(), byPosition.end(),
                     [](const ColumnState& a, const ColumnState& b) { return a.position < b.position; });
    for (const ColumnState& s : byPosition) {
        const int c = m_model->columnOf(s.field);
        if (c < 0 || placed[c] || s.position < 0 || s.position >= n || target[s.position] >= 0)
            continue;
        target[s.position] = c;
        placed[c] = true;
    }
    int slot = 0;
    for (int v = 0; v < n; ++v) {
        const int c = m_header->logicalIndex(v);
        if (placed[c])
            continue;
        while (target[slot] >= 0)
            ++slot;
        target[slot] = c;
    }
    for (int p = 0; p < n; ++p)
        m_header->moveSection(m_header->visualIndex(target[p]), p);

    if (layout.rowHeight > 0)
        setRowHeight(layout.rowHeight);
    if (layout.textLines >= 1)
        m_textLines = layout.textLines;

    m_resizing = false;
    for (int c = 0; c < n; ++c)
        m_fitBase[c] = m_widths[c];
    m_fit = fitting;
    fitTotals();
    fit();
    updateFooter();
}
