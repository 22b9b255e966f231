#include "sales/saleschartspage.h"

#include "core/messageport.h"
#include "core/numbers.h"
#include "store/memtable.h"
#include "store/salescharts.h"
#include "store/tdmfm.h"

#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDate>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kChartWidth = 865;
constexpr int kChartHeight = 257;

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
    int places = 0; // bars stand at 1..places

    Chart(QWidget* parent, const QString& title, int lastPlace, int axisEnd, QStringView unit, const QColor& barColor,
          const QColor& background)
        : places(lastPlace)
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
        series->setBarWidth(0.15);
        series->setLabelsVisible(true);
        series->setLabelsPosition(QAbstractBarSeries::LabelsOutsideEnd);
        series->setLabelsFormat(QStringLiteral("@value"));
        series->setLabelsPrecision(15);
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
        clear();
    }

    void clear()
    {
        bars->remove(0, bars->count());
        values->setRange(0, 1);
    }

    void show(const std::vector<salescharts::Bar>& totals)
    {
        QList<qreal> list(places + 1, 0.0);
        for (const auto& b : totals)
            if (b.position >= 0 && b.position <= places)
                list[b.position] = double(b.total);
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
    if (!m_dm.freshSalesTable())
        return;
    m_monthChart->show(salescharts::monthBars(
        m_dm.salesTable(), profit ? salescharts::Measure::Profit : salescharts::Measure::Sales, *year));
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
    if (!m_dm.freshSalesTable())
        return;
    m_dayChart->show(salescharts::dayBars(
        m_dm.salesTable(), profit ? salescharts::Measure::Profit : salescharts::Measure::Sales, *year, *month));
}
