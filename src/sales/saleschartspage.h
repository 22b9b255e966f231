#pragma once

#include <QList>
#include <QWidget>

#include <memory>

class QBarSet;
class QChart;
class QChartView;
class QComboBox;
class QDate;
class QGraphicsSimpleTextItem;
class QPushButton;
class Tdmfm;

// The page "销售统计" of the sales detail window: a bar chart of the month
// totals of one year ("月销售报表统计") above one of the day totals of one
// month ("日销售报表统计"), each of the net profit or the sale amount of the
// sale rows as its buttons ask, with its pickers and buttons on its right.
//
// A bar stands at its month (day) on a horizontal axis fixed from 0 to 12
// (0 to 32); the bar set holds one value per place on that axis, 0 where no
// sale row falls. Each bar's value label is kept short (万, 亿), whole inside
// the plot and apart from its neighbours; one that cannot be placed so is left
// out, and every bar shows its exact value on hover.
class SalesChartsPage final : public QWidget
{
    Q_OBJECT
public:
    explicit SalesChartsPage(Tdmfm& dm, QWidget* parent = nullptr);
    ~SalesChartsPage() override;

    // At each showing of the window: the year pickers to `today`'s year, the
    // month picker to its month, then redraw().
    void prepareShow(const QDate& today);
    // Both charts show the net profit for the pickers' year and month: at each
    // showing and after a sale row was deleted.
    void redraw();
    // Ordinary users see neither chart, from login on; the pickers and buttons
    // stay, and nothing is computed for them.
    void hideChartsForOrdinaryUser();
    bool chartsHidden() const { return m_chartsHidden; }

    QChartView* monthChart() const;
    QChartView* dayChart() const;
    // The one bar set of each chart.
    QBarSet* monthBars() const;
    QBarSet* dayBars() const;
    // The value label of each place of each chart (index = place), in the
    // chart's coordinates; a label left out is hidden.
    QList<QGraphicsSimpleTextItem*> monthLabels() const;
    QList<QGraphicsSimpleTextItem*> dayLabels() const;
    QComboBox* monthChartYearBox() const { return m_monthYear; }
    QComboBox* dayChartYearBox() const { return m_dayYear; }
    QComboBox* monthBox() const { return m_month; }
    QPushButton* monthProfitButton() const { return m_monthProfit; }
    QPushButton* monthSalesButton() const { return m_monthSales; }
    QPushButton* dayProfitButton() const { return m_dayProfit; }
    QPushButton* daySalesButton() const { return m_daySales; }

public slots:
    // "查询利润" and "查询销售额" of each chart.
    void showMonthProfit();
    void showMonthSales();
    void showDayProfit();
    void showDaySales();

private:
    struct Chart;
    void showMonth(bool profit);
    void showDay(bool profit);

    Tdmfm& m_dm;
    std::unique_ptr<Chart> m_monthChart;
    std::unique_ptr<Chart> m_dayChart;
    QComboBox* m_monthYear;
    QComboBox* m_dayYear;
    QComboBox* m_month;
    QPushButton* m_monthProfit;
    QPushButton* m_monthSales;
    QPushButton* m_dayProfit;
    QPushButton* m_daySales;
    bool m_chartsHidden = false;
};
