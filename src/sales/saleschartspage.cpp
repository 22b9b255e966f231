#include "sales/saleschartspage.h"

#include "core/messageport.h"
#include "core/numbers.h"
#include "store/memory/memtable.h"
#include "store/ops/salescharts.h"
#include "store/ops/tdmfm.h"
#include "ui/reporterror.h"

#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QCursor>
#include <QDate>
#include <QGraphicsSimpleTextItem>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kChartWidth = 865;
constexpr int kChartHeight = 257;
// Share of its place a bar takes: wide enough to see a day's bar among 33.
constexpr qreal kBarWidth = 0.7;
// Pixels between a bar's end and its label, and between neighbouring labels.
constexpr qreal kLabelGap = 2;

QComboBox* yearPicker(QWidget* parent)
{
    auto* box = new QComboBox(parent);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert); // a typed year is used, not added
    for (int y = 2009; y <= 2016; ++y)
        box->addItem(QString::number(y));
    box->setFixedWidth(80);
    return box;
}

} // namespace

// One chart: the view, its bar set on an axis of fixed places.
struct SalesChartsPage::Chart
{
    QChartView* view = nullptr;
    QChart* chart = nullptr;
    QBarSeries* series = nullptr;
    QBarSet* bars = nullptr;
    QValueAxis* values = nullptr;
    int places = 0;  // bars stand at 1..places
    int axisEnd = 0; // the axis shows the places 0..axisEnd
    // One value label per place, drawn by the chart page rather than by the
    // series: the series can neither shorten its labels nor keep them apart.
    QList<QGraphicsSimpleTextItem*> labels;
    QList<bool> hasBar; // places where sale rows fall; the others carry no label

    Chart(QWidget* parent, const QString& title, int lastPlace, int lastAxisPlace, QStringView unit, const QColor& barColor,
          const QColor& background)
        : places(lastPlace)
        , axisEnd(lastAxisPlace)
    {
        chart = new QChart;
        chart->setTitle(title);
        QFont titleFont(QStringLiteral("Arial"));
        titleFont.setBold(true);
        titleFont.setPointSize(11);
        chart->setTitleFont(titleFont);
        chart->setTitleBrush(Qt::white);
        QLinearGradient gradient(0, 0, 0, 1);
        gradient.setCoordinateMode(QGradient::ObjectBoundingMode);
        gradient.setColorAt(0, background.darker(220));
        gradient.setColorAt(1, background);
        chart->setBackgroundBrush(gradient);
        chart->setBackgroundRoundness(0);
        chart->setPlotAreaBackgroundVisible(false); // the back wall is transparent
        chart->legend()->hide();
        chart->setMargins(QMargins(4, 2, 8, 2));

        bars = new QBarSet(title);
        bars->setColor(barColor);
        bars->setBorderColor(barColor.darker(150));
        bars->setLabelColor(Qt::white);
        series = new QBarSeries;
        series->append(bars);
        series->setBarWidth(kBarWidth);
        series->setLabelsVisible(false); // see placeLabels()
        chart->addSeries(series);

        // Labels at every whole place, "#,##0.###月"; bars stand on their place.
        auto* axis = new QCategoryAxis;
        axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
        // Half a place of room at either end, so the bars at 0 and at the
        // end of the axis show whole; the labels run from 0 to the end.
        axis->setRange(-0.5, axisEnd + 0.5);
        axis->setStartValue(-0.5);
        // 33 day labels do not fit side by side: every other one is shown,
        // as a chart leaves out labels that would overlap.
        const int step = axisEnd > 12 ? 2 : 1;
        const QString pattern = QStringLiteral("#,##0.###") + unit.toString();
        for (int i = 0; i <= axisEnd; i += step)
            axis->append(num::format(i, pattern), i);
        axis->setGridLineVisible(false);
        axis->setLabelsBrush(Qt::white);
        axis->setLinePen(QPen(QColor(128, 128, 64), 4)); // the bottom wall
        chart->addAxis(axis, Qt::AlignBottom);
        series->attachAxis(axis);

        values = new QValueAxis;
        values->setGridLineVisible(false);
        values->setMinorGridLineVisible(false);
        values->setLabelsBrush(Qt::white);
        values->setLinePen(QPen(QColor(192, 192, 192), 4)); // the left wall, silver
        chart->addAxis(values, Qt::AlignLeft);
        series->attachAxis(values);

        view = new QChartView(chart, parent);
        view->setRenderHint(QPainter::Antialiasing);
        view->setFixedSize(kChartWidth, kChartHeight);

        QFont labelFont = bars->labelFont();
        labelFont.setPixelSize(12);
        for (int i = 0; i <= places; ++i) {
            auto* label = new QGraphicsSimpleTextItem(chart);
            label->setFont(labelFont);
            label->setZValue(10); // over the bars
            label->hide();
            labels.append(label);
        }
        QObject::connect(chart, &QChart::plotAreaChanged, chart, [this] { placeLabels(); });
        // Labels that did not fit, and the exact value behind a short one, show on hover.
        QObject::connect(bars, &QBarSet::hovered, view, [this](bool over, int index) {
            if (over && index >= 0 && index < bars->count() && hasBar.value(index))
                QToolTip::showText(QCursor::pos(), num::amountText(bars->at(index)), view);
            else
                QToolTip::hideText();
        });
        clear();
    }

    void clear()
    {
        bars->remove(0, bars->count());
        hasBar.fill(false, places + 1);
        values->setRange(0, 1);
        placeLabels();
    }

    // Puts each bar's value label where it is whole and clear of the others:
    // level beyond the bar's end when it is no wider than the bar's place,
    // otherwise turned upright beyond the end, or inside the bar near its end.
    // A label that fits nowhere inside the plot, or would touch the label
    // before it, is left out; its value still shows on hover.
    void placeLabels()
    {
        const QRectF plot = chart->plotArea();
        const qreal slot = plot.width() / (axisEnd + 1); // half a place of room at either end
        QRectF previous;
        for (int i = 0; i < labels.size(); ++i) {
            QGraphicsSimpleTextItem* label = labels.at(i);
            label->hide();
            if (i >= bars->count() || !hasBar.value(i) || plot.isEmpty())
                continue;
            const qreal value = bars->at(i);
            label->setText(num::chartValueText(value));
            label->setRotation(0);
            label->setBrush(Qt::white);
            const QPointF end = chart->mapToPosition(QPointF(i, value), series);
            const QPointF base = chart->mapToPosition(QPointF(i, 0), series);
            const bool up = value >= 0;
            const QSizeF text = label->boundingRect().size();
            const qreal length = std::abs(base.y() - end.y());
            // Room beyond the bar's end, inside the plot.
            const qreal beyond = up ? end.y() - plot.top() : plot.bottom() - end.y();
            QRectF box; // where the label goes, in chart coordinates
            bool upright = false;
            bool inside = false;
            if (text.width() + kLabelGap <= slot && text.height() + kLabelGap <= beyond) {
                box = QRectF(end.x() - text.width() / 2, up ? end.y() - kLabelGap - text.height() : end.y() + kLabelGap,
                             text.width(), text.height());
            } else if (text.height() + kLabelGap <= slot) {
                // Upright: as wide as the text is high, as high as the text is long.
                const qreal x = end.x() - text.height() / 2;
                upright = true;
                if (text.width() + kLabelGap <= beyond) {
                    box = QRectF(x, up ? end.y() - kLabelGap - text.width() : end.y() + kLabelGap, text.height(),
                                 text.width());
                } else if (text.width() + 2 * kLabelGap <= length) {
                    box = QRectF(x, up ? end.y() + kLabelGap : end.y() - kLabelGap - text.width(), text.height(),
                                 text.width());
                    inside = true;
                }
            }
            if (box.isEmpty() || !plot.contains(box) || (!previous.isNull() && box.left() < previous.right() + kLabelGap))
                continue;
            if (!upright) {
                label->setPos(box.topLeft());
            } else {
                // Turned a quarter to the left about its top-left corner: the text
                // then reads upwards and spans from pos - width up to pos.
                label->setRotation(-90);
                label->setPos(box.left(), box.bottom());
            }
            if (inside)
                label->setBrush(Qt::black);
            label->show();
            previous = box;
        }
    }

    void show(const std::vector<salescharts::Bar>& totals)
    {
        QList<qreal> list(places + 1, 0.0);
        hasBar.fill(false, places + 1);
        for (const auto& b : totals)
            if (b.position >= 0 && b.position <= places) {
                list[b.position] = double(b.total);
                hasBar[b.position] = true;
            }
        bars->remove(0, bars->count());
        bars->append(list);
        // Room above (and below) the bars for their value labels.
        const auto [low, high] = std::minmax_element(list.cbegin(), list.cend());
        double lo = std::min(0.0, *low), hi = std::max(0.0, *high);
        if (lo == hi)
            hi = 1;
        const double room = (hi - lo) * 0.15;
        values->setRange(lo < 0 ? lo - room : 0, hi > 0 ? hi + room : 0);
        values->applyNiceNumbers();
        values->setLabelFormat(std::max(std::abs(values->min()), std::abs(values->max())) >= 10
                                   ? QStringLiteral("%.0f")
                                   : QStringLiteral("%.2f"));
        placeLabels();
    }
};

SalesChartsPage::SalesChartsPage(Tdmfm& dm, QWidget* parent)
    : QWidget(parent)
    , m_dm(dm)
{
    m_monthChart = std::make_unique<Chart>(this, QStringLiteral("月销售报表统计"), 12, 12, u"月", QColor(Qt::yellow),
                                           QColor(64, 128, 128));
    m_dayChart = std::make_unique<Chart>(this, QStringLiteral("日销售报表统计"), 31, 32, u"日", QColor(255, 128, 64),
                                         QColor(0, 128, 192));
    m_monthYear = yearPicker(this);
    m_dayYear = yearPicker(this);
    m_month = new QComboBox(this);
    m_month->setEditable(true);
    m_month->setInsertPolicy(QComboBox::NoInsert);
    for (int m = 1; m <= 12; ++m)
        m_month->addItem(QString::number(m));
    m_month->setFixedWidth(80);
    m_monthProfit = new QPushButton(QStringLiteral("查询利润"), this);
    m_monthSales = new QPushButton(QStringLiteral("查询销售额"), this);
    m_dayProfit = new QPushButton(QStringLiteral("查询利润"), this);
    m_daySales = new QPushButton(QStringLiteral("查询销售额"), this);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setHorizontalSpacing(8);
    const auto controls = [this](std::initializer_list<QWidget*> widgets) {
        auto* column = new QVBoxLayout;
        column->addStretch();
        for (QWidget* w : widgets)
            column->addWidget(w);
        column->addStretch();
        return column;
    };
    layout->addWidget(m_monthChart->view, 0, 0);
    layout->addLayout(controls({new QLabel(QStringLiteral("年"), this), m_monthYear, m_monthProfit, m_monthSales}), 0,
                      1);
    layout->addWidget(m_dayChart->view, 1, 0);
    layout->addLayout(controls({new QLabel(QStringLiteral("年"), this), m_dayYear,
                                new QLabel(QStringLiteral("月份"), this), m_month, m_dayProfit, m_daySales}),
                      1, 1);
    layout->setColumnStretch(2, 1);
    layout->setRowStretch(2, 1);

    connect(m_monthProfit, &QPushButton::clicked, this, &SalesChartsPage::showMonthProfit);
    connect(m_monthSales, &QPushButton::clicked, this, &SalesChartsPage::showMonthSales);
    connect(m_dayProfit, &QPushButton::clicked, this, &SalesChartsPage::showDayProfit);
    connect(m_daySales, &QPushButton::clicked, this, &SalesChartsPage::showDaySales);
}

SalesChartsPage::~SalesChartsPage() = default;

QChartView* SalesChartsPage::monthChart() const
{
    return m_monthChart->view;
}
QChartView* SalesChartsPage::dayChart() const
{
    return m_dayChart->view;
}
QBarSet* SalesChartsPage::monthBars() const
{
    return m_monthChart->bars;
}
QBarSet* SalesChartsPage::dayBars() const
{
    return m_dayChart->bars;
}
QList<QGraphicsSimpleTextItem*> SalesChartsPage::monthLabels() const
{
    return m_monthChart->labels;
}
QList<QGraphicsSimpleTextItem*> SalesChartsPage::dayLabels() const
{
    return m_dayChart->labels;
}

void SalesChartsPage::prepareShow(const QDate& today)
{
    const QString year = QString::number(today.year());
    m_monthYear->setCurrentText(year);
    m_dayYear->setCurrentText(year);
    m_month->setCurrentText(QString::number(today.month()));
    redraw();
}

void SalesChartsPage::redraw()
{
    showMonthProfit();
    showDayProfit();
}

void SalesChartsPage::hideChartsForOrdinaryUser()
{
    m_chartsHidden = true;
    for (Chart* c : {m_monthChart.get(), m_dayChart.get()}) {
        c->clear();
        c->view->hide();
    }
}

void SalesChartsPage::showMonthProfit()
{
    showMonth(true);
}
void SalesChartsPage::showMonthSales()
{
    showMonth(false);
}
void SalesChartsPage::showDayProfit()
{
    showDay(true);
}
void SalesChartsPage::showDaySales()
{
    showDay(false);
}

void SalesChartsPage::showMonth(bool profit)
{
    if (m_chartsHidden)
        return;
    m_monthChart->clear();
    QString error;
    const auto year = salescharts::pickerNumber(m_monthYear->currentText(), &error);
    if (!year) {
        messagePort().error(error);
        return;
    }
    if (!succeeded(m_dm.sales().fresh()))
        return;
    m_monthChart->show(salescharts::monthBars(
        m_dm.sales().table(), profit ? salescharts::Measure::Profit : salescharts::Measure::Sales, *year));
}

void SalesChartsPage::showDay(bool profit)
{
    if (m_chartsHidden)
        return;
    m_dayChart->clear();
    QString error;
    const auto year = salescharts::pickerNumber(m_dayYear->currentText(), &error);
    const auto month = year ? salescharts::pickerNumber(m_month->currentText(), &error) : std::nullopt;
    if (!year || !month) {
        messagePort().error(error);
        return;
    }
    if (!succeeded(m_dm.sales().fresh()))
        return;
    m_dayChart->show(salescharts::dayBars(
        m_dm.sales().table(), profit ? salescharts::Measure::Profit : salescharts::Measure::Sales, *year, *month));
}
