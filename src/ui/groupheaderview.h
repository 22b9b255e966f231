#pragma once

#include <QColor>
#include <QFont>
#include <QHash>
#include <QHeaderView>
#include <QStaticText>

// Column titles in two levels for a DataGridModel: a band with the group title
// over the neighbouring visible columns that share it, and below it each
// column's own title with its colours and sort marker. Texts that do not fit
// end in "…"; a tool tip shows them whole.
//
// titleClicked() reports a click on a column's own title. A click on a group
// band belongs to no single column and reports nothing.
class GroupHeaderView final : public QHeaderView
{
    Q_OBJECT
public:
    explicit GroupHeaderView(QWidget* parent = nullptr);

    // Background of titles without a colour of their own.
    void setFixedColor(const QColor& color);
    QColor fixedColor() const { return m_fixedColor; }
    QColor lineColor() const { return m_lineColor; }

    // Height of one title line, and of the group band when any column has a group.
    int lineHeight() const;
    int bandHeight() const;

    // The visual range [first, last] of visible columns sharing the group of
    // `logical`, neighbours in screen order; {-1, -1} when it has no group.
    std::pair<int, int> groupSpan(int logical) const;

    QSize sizeHint() const override;
    // A reset that only replaced the model's rows keeps the sections and does
    // not repaint the titles.
    void reset() override;

signals:
    void titleClicked(int logical);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    // The selection and the current cell leave the titles as they are, unless
    // sections are highlighted.
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void currentChanged(const QModelIndex& current, const QModelIndex& old) override;

private:
    QString groupOf(int logical) const;
    bool hasGroups() const;
    bool inBand(int logical, const QPoint& pos) const;
    // Draws a title centred in `rect`, cut with "…" when it does not fit.
    void drawTitle(QPainter* painter, const QRect& rect, const QString& text) const;

    QColor m_fixedColor{238, 238, 238};
    // Titles laid out once per text and width: every new search repaints them.
    mutable QHash<QString, QStaticText> m_laidOut;
    mutable QFont m_laidOutFont;
    QColor m_lineColor{160, 160, 160};
    bool m_pressInBand = false;
};
