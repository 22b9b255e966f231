#include "ui/groupheaderview.h"

#include "ui/datagridmodel.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QToolTip>

#include <cmath>

namespace {
constexpr int kTextMargin = 3;
constexpr int kMarkerWidth = 9;
} // namespace

GroupHeaderView::GroupHeaderView(QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent)
{
    setSectionsClickable(true);
    setSectionsMovable(true);
    setHighlightSections(false);
    setStretchLastSection(false);
    setSectionResizeMode(QHeaderView::Interactive);
    setDefaultAlignment(Qt::AlignCenter);
    setSortIndicatorShown(false);
    setMinimumSectionSize(8);
    connect(this, &QHeaderView::sectionClicked, this, [this](int logical) {
        if (!m_pressInBand)
            emit titleClicked(logical);
    });
}

void GroupHeaderView::setFixedColor(const QColor& color)
{
    m_fixedColor = color;
    viewport()->update();
}

int GroupHeaderView::lineHeight() const
{
    return fontMetrics().height() + 6;
}

int GroupHeaderView::bandHeight() const
{
    return hasGroups() ? lineHeight() : 0;
}

QSize GroupHeaderView::sizeHint() const
{
    return {length(), lineHeight() + bandHeight()};
}

void GroupHeaderView::reset()
{
    const auto* grid = qobject_cast<const DataGridModel*>(model());
    if (grid && grid->resettingRowsOnly() && count() == grid->columnCount())
        return;
    QHeaderView::reset();
}

QRegion GroupHeaderView::visualRegionForSelection(const QItemSelection& selection) const
{
    return highlightSections() ? QHeaderView::visualRegionForSelection(selection) : QRegion();
}

void GroupHeaderView::currentChanged(const QModelIndex& current, const QModelIndex& old)
{
    if (highlightSections())
        QHeaderView::currentChanged(current, old);
}

QString GroupHeaderView::groupOf(int logical) const
{
    return model() ? model()->headerData(logical, Qt::Horizontal, DataGridModel::GroupTitleRole).toString() : QString();
}

bool GroupHeaderView::hasGroups() const
{
    for (int i = 0; i < count(); ++i)
        if (!groupOf(i).isEmpty())
            return true;
    return false;
}

std::pair<int, int> GroupHeaderView::groupSpan(int logical) const
{
    const QString group = groupOf(logical);
    if (group.isEmpty())
        return {-1, -1};
    int first = visualIndex(logical);
    int last = first;
    for (int v = first - 1; v >= 0; --v) {
        const int l = logicalIndex(v);
        if (isSectionHidden(l))
            continue;
        if (groupOf(l) != group)
            break;
        first = v;
    }
    for (int v = last + 1; v < count(); ++v) {
        const int l = logicalIndex(v);
        if (isSectionHidden(l))
            continue;
        if (groupOf(l) != group)
            break;
        last = v;
    }
    return {first, last};
}

bool GroupHeaderView::inBand(int logical, const QPoint& pos) const
{
    return logical >= 0 && !groupOf(logical).isEmpty() && pos.y() < bandHeight();
}

void GroupHeaderView::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    if (!rect.isValid() || !model())
        return;
    const auto header = [&](int logical, int role) { return model()->headerData(logical, Qt::Horizontal, role); };
    const auto colorOf = [&](int logical, int role, const QColor& fallback) {
        const QVariant v = header(logical, role);
        return v.canConvert<QBrush>() && v.isValid() ? v.value<QBrush>().color() : fallback;
    };
    const QColor normalText = palette().color(QPalette::WindowText);

    painter->save();
    painter->setClipRect(rect, Qt::IntersectClip);

    // Group band: each section paints its own slice of the band; the text is
    // laid out over the whole span so that the slices join into one title.
    int top = rect.top();
    const auto [first, last] = bandHeight() > 0 ? groupSpan(logicalIndex) : std::pair<int, int>{-1, -1};
    if (first >= 0) {
        const int firstLogical = QHeaderView::logicalIndex(first);
        const int lastLogical = QHeaderView::logicalIndex(last);
        const int x0 = sectionViewportPosition(firstLogical);
        const int x1 = sectionViewportPosition(lastLogical) + sectionSize(lastLogical);
        const QRect band(x0, rect.top(), x1 - x0, bandHeight());
        painter->fillRect(rect.left(), band.top(), rect.width(), band.height(),
                          colorOf(firstLogical, Qt::BackgroundRole, m_fixedColor));
        painter->setPen(colorOf(firstLogical, Qt::ForegroundRole, normalText));
        const QString group = groupOf(logicalIndex);
        const QRect textRect = band.adjusted(kTextMargin, 0, -kTextMargin, -1);
        drawTitle(painter, textRect, group);
        painter->setPen(m_lineColor);
        painter->drawLine(rect.left(), band.bottom(), rect.right(), band.bottom());
        if (logicalIndex == lastLogical)
            painter->drawLine(rect.right(), band.top(), rect.right(), band.bottom());
        top = band.bottom() + 1;
    }

    // The column's own title.
    const QRect title(rect.left(), top, rect.width(), rect.bottom() - top + 1);
    painter->fillRect(title, colorOf(logicalIndex, Qt::BackgroundRole, m_fixedColor));
    const int marker = header(logicalIndex, DataGridModel::SortMarkerRole).toInt();
    QRect textRect = title.adjusted(kTextMargin, 0, -kTextMargin, -1);
    if (marker == 1 || marker == 2) {
        textRect.setRight(textRect.right() - kMarkerWidth);
        const int cx = title.right() - kTextMargin - kMarkerWidth / 2;
        const int cy = title.center().y();
        QPolygon arrow;
        if (marker == 1)
            arrow << QPoint(cx - 4, cy - 2) << QPoint(cx + 4, cy - 2) << QPoint(cx, cy + 2);
        else
            arrow << QPoint(cx - 4, cy + 2) << QPoint(cx + 4, cy + 2) << QPoint(cx, cy - 2);
        painter->setRenderHint(QPainter::Antialiasing, true);
        painter->setPen(Qt::NoPen);
        painter->setBrush(colorOf(logicalIndex, Qt::ForegroundRole, normalText));
        painter->drawPolygon(arrow);
        painter->setRenderHint(QPainter::Antialiasing, false);
    }
    painter->setPen(colorOf(logicalIndex, Qt::ForegroundRole, normalText));
    const QString text = header(logicalIndex, Qt::DisplayRole).toString();
    drawTitle(painter, textRect, text);
    painter->setPen(m_lineColor);
    painter->drawLine(title.left(), title.bottom(), title.right(), title.bottom());
    painter->drawLine(title.right(), title.top(), title.right(), title.bottom());
    painter->restore();
}

void GroupHeaderView::drawTitle(QPainter* painter, const QRect& rect, const QString& text) const
{
    if (rect.width() <= 0 || text.isEmpty())
        return;
    const QFont font = painter->font();
    if (font != m_laidOutFont || m_laidOut.size() > 2000) {
        m_laidOut.clear();
        m_laidOutFont = font;
    }
    QString key = text;
    key += QChar(0);
    key += QString::number(rect.width());
    auto it = m_laidOut.find(key);
    if (it == m_laidOut.end()) {
        QStaticText st(QFontMetrics(font).elidedText(text, Qt::ElideRight, rect.width()));
        st.setTextFormat(Qt::PlainText);
        st.prepare(QTransform(), font);
        it = m_laidOut.insert(key, st);
    }
    const QSizeF size = it->size();
    painter->drawStaticText(QPointF(rect.left() + (rect.width() - size.width()) / 2,
                                    std::floor(rect.top() + (rect.height() - size.height()) / 2)),
                            *it);
}

void GroupHeaderView::mousePressEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    m_pressInBand = inBand(logicalIndexAt(pos), pos);
    QHeaderView::mousePressEvent(event);
}

bool GroupHeaderView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const int logical = logicalIndexAt(help->pos());
        if (inBand(logical, help->pos())) {
            QToolTip::showText(help->globalPos(), groupOf(logical), this);
            return true;
        }
    }
    return QHeaderView::viewportEvent(event);
}
