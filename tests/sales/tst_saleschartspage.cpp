// The sales charts page driven by its pickers and buttons, with the values
// read back from the charts' bar sets.

#include "recordingport.h"
#include "testdb.h"

#include "core/clock.h"
#include "core/numbers.h"
#include "sales/saleschartspage.h"
#include "store/ops/tdmfm.h"

#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QGraphicsSimpleTextItem>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolTip>
#include <QValueAxis>

#include <memory>
#include <numeric>

using Bars = QMap<int, double>;

namespace {

// The chart's values by place on its axis, without the places holding 0.
QMap<int, double> barsOf(const QBarSet* set)
{
    QMap<int, double> out;
    for (int i = 0; i < set->count(); ++i)
        if (set->at(i) != 0)
            out.insert(i, set->at(i));
    return out;
}

void typeInto(QComboBox* box, const QString& text)
{
    box->lineEdit()->selectAll();
    QTest::keyClick(box->lineEdit(), Qt::Key_Backspace);
    QTest::keyClicks(box->lineEdit(), text);
}

} // namespace

class TestSalesChartsPage : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void buttonsChartTheirYearAndMonth_data();
    void buttonsChartTheirYearAndMonth();
    void axesKeepTheirPlaces();
    void textThatIsNoNumberEmptiesTheChart_data();
    void textThatIsNoNumberEmptiesTheChart();
    void showingResetsThePickersAndDrawsProfit();
    void redrawFollowsADeletion();
    void ordinaryUserSeesNoChart();
    void valueLabelsAreWholeShortAndApart();

private:
    qint64 addSale(const QString& day, double profit, double amount);

    std::unique_ptr<TestShop> m_shop;
    std::unique_ptr<SalesChartsPage> m_page;
};

void TestSalesChartsPage::init()
{
    m_shop = std::make_unique<TestShop>();
    QVERIFY(m_shop->isValid());
    // A month with a sale of profit 30 and a return of -10; another with a
    // loss; the same days in another year.
    addSale(QStringLiteral("2024-03-05"), 30, 100);
    addSale(QStringLiteral("2024-03-05"), -10, -40);
    addSale(QStringLiteral("2024-04-20"), 5.5, 20);
    addSale(QStringLiteral("2024-04-21"), 0.1, 0.1);
    addSale(QStringLiteral("2024-04-21"), 0.2, 0.2);
    addSale(QStringLiteral("2024-07-01"), -8, 12);
    addSale(QStringLiteral("2023-03-05"), 99, 300);
    m_page = std::make_unique<SalesChartsPage>(m_shop->dm());
    m_page->show();
}

void TestSalesChartsPage::cleanup()
{
    m_page.reset();
    m_shop.reset();
}

qint64 TestSalesChartsPage::addSale(const QString& day, double profit, double amount)
{
    const Result<qint64> id = m_shop->dm().appendRow(QStringLiteral("data1"), {{QStringLiteral("a"), QStringLiteral("篮球")},
                                                                               {QStringLiteral("day1"), day},
                                                                               {QStringLiteral("a5"), profit},
                                                                               {QStringLiteral("4"), amount}});
    [&] { QVERIFY(id); }();
    return id.valueOr(0);
}

void TestSalesChartsPage::buttonsChartTheirYearAndMonth_data()
{
    QTest::addColumn<bool>("dayChart");
    QTest::addColumn<QString>("year");
    QTest::addColumn<QString>("month");
    QTest::addColumn<bool>("profit");
    QTest::addColumn<Bars>("bars");

    // 2024 is not in the year list: a typed year is charted all the same.
    QTest::newRow("month profit: 30 - 10 in March, a loss in July") << false << "2024"
                                                                    << "" << true << Bars{{3, 20}, {4, 5.8}, {7, -8}};
    QTest::newRow("month sales") << false << "2024"
                                 << "" << false << Bars{{3, 60}, {4, 20.3}, {7, 12}};
    QTest::newRow("another year") << false << "2023"
                                  << "" << true << Bars{{3, 99}};
    QTest::newRow("a year without sales") << false << "2015"
                                          << "" << true << Bars{};
    QTest::newRow("day profit") << true << "2024"
                                << "3" << true << Bars{{5, 20}};
    QTest::newRow("day sales, 0.1 + 0.2") << true << "2024"
                                          << "4" << false << Bars{{20, 20}, {21, 0.3}};
    QTest::newRow("month typed with a zero") << true << "2024"
                                             << "07" << true << Bars{{1, -8}};
    QTest::newRow("a month without sales") << true << "2024"
                                           << "5" << true << Bars{};
}

void TestSalesChartsPage::buttonsChartTheirYearAndMonth()
{
    QFETCH(bool, dayChart);
    QFETCH(QString, year);
    QFETCH(QString, month);
    QFETCH(bool, profit);
    QFETCH(Bars, bars);
    RecordingPort port;
    typeInto(dayChart ? m_page->dayChartYearBox() : m_page->monthChartYearBox(), year);
    if (dayChart)
        typeInto(m_page->monthBox(), month);
    QPushButton* button = dayChart ? (profit ? m_page->dayProfitButton() : m_page->daySalesButton())
                                   : (profit ? m_page->monthProfitButton() : m_page->monthSalesButton());
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY2(port.entries.isEmpty(), qPrintable(port.lastText()));
    const QMap<int, double> got = barsOf(dayChart ? m_page->dayBars() : m_page->monthBars());
    QCOMPARE(got.keys(), bars.keys());
    for (auto it = bars.cbegin(); it != bars.cend(); ++it)
        QVERIFY2(got.value(it.key()) == it.value(), // exactly: 0.3, not 0.30000000000000004
                 qPrintable(QStringLiteral("%1: %2").arg(it.key()).arg(got.value(it.key()), 0, 'g', 17)));
    // The other chart was left alone.
    QCOMPARE((dayChart ? m_page->monthBars() : m_page->dayBars())->count(), 0);
}

void TestSalesChartsPage::axesKeepTheirPlaces()
{
    typeInto(m_page->monthChartYearBox(), QStringLiteral("2023"));
    QTest::mouseClick(m_page->monthProfitButton(), Qt::LeftButton);
    typeInto(m_page->dayChartYearBox(), QStringLiteral("2023"));
    typeInto(m_page->monthBox(), QStringLiteral("3"));
    QTest::mouseClick(m_page->dayProfitButton(), Qt::LeftButton);
    // One place per month (day) from 0, however few months have sales.
    QCOMPARE(m_page->monthBars()->count(), 13);
    QCOMPARE(m_page->dayBars()->count(), 32);
    auto* months = qobject_cast<QCategoryAxis*>(m_page->monthChart()->chart()->axes(Qt::Horizontal).value(0));
    auto* days = qobject_cast<QCategoryAxis*>(m_page->dayChart()->chart()->axes(Qt::Horizontal).value(0));
    QVERIFY(months && days);
    // Labels from 0 to 12 (32, every other day), at their own values.
    QCOMPARE(months->categoriesLabels().size(), 13);
    QCOMPARE(months->categoriesLabels().value(0), QStringLiteral("0月"));
    QCOMPARE(months->endValue(QStringLiteral("12月")), 12.0);
    QCOMPARE(days->endValue(QStringLiteral("2日")), 2.0);
    QCOMPARE(days->endValue(QStringLiteral("32日")), 32.0);
    QCOMPARE(m_page->monthChart()->chart()->title(), QStringLiteral("月销售报表统计"));
    QCOMPARE(m_page->dayChart()->chart()->title(), QStringLiteral("日销售报表统计"));
    QVERIFY(!m_page->monthChart()->chart()->legend()->isVisible());
}

void TestSalesChartsPage::textThatIsNoNumberEmptiesTheChart_data()
{
    QTest::addColumn<QString>("year");
    QTest::addColumn<QString>("month");
    QTest::addColumn<QString>("message");
    QTest::newRow("quote in the year") << "20'24"
                                       << "3"
                                       << "'20'24' is not a valid floating point value";
    QTest::newRow("empty month") << "2024"
                                 << ""
                                 << "'' is not a valid floating point value";
}

void TestSalesChartsPage::textThatIsNoNumberEmptiesTheChart()
{
    QFETCH(QString, year);
    QFETCH(QString, month);
    QFETCH(QString, message);
    RecordingPort port;
    typeInto(m_page->dayChartYearBox(), QStringLiteral("2024"));
    typeInto(m_page->monthBox(), QStringLiteral("3"));
    QTest::mouseClick(m_page->dayProfitButton(), Qt::LeftButton);
    QCOMPARE(m_page->dayBars()->count(), 32);
    typeInto(m_page->dayChartYearBox(), year);
    typeInto(m_page->monthBox(), month);
    QTest::mouseClick(m_page->dayProfitButton(), Qt::LeftButton);
    QCOMPARE(port.texts(), QStringList{message});
    QCOMPARE(m_page->dayBars()->count(), 0);
}

void TestSalesChartsPage::showingResetsThePickersAndDrawsProfit()
{
    // A day of its own, whatever the machine's clock says.
    const QDate today(2026, 3, 15);
    const wallclock::FixedClock clock(QDateTime(today, QTime(23, 59, 59)));
    addSale(today.toString(QStringLiteral("yyyy-MM-dd")), 12.5, 50);
    typeInto(m_page->monthChartYearBox(), QStringLiteral("2023"));
    typeInto(m_page->monthBox(), QStringLiteral("9"));
    m_page->prepareShow(today);
    QCOMPARE(m_page->monthChartYearBox()->currentText(), QString::number(today.year()));
    QCOMPARE(m_page->dayChartYearBox()->currentText(), QString::number(today.year()));
    QCOMPARE(m_page->monthBox()->currentText(), QString::number(today.month()));
    QCOMPARE(barsOf(m_page->monthBars()), (QMap<int, double>{{today.month(), 12.5}}));
    QCOMPARE(barsOf(m_page->dayBars()), (QMap<int, double>{{today.day(), 12.5}}));
}

void TestSalesChartsPage::redrawFollowsADeletion()
{
    const qint64 id = addSale(QStringLiteral("2024-03-06"), 1, 1);
    typeInto(m_page->monthChartYearBox(), QStringLiteral("2024"));
    typeInto(m_page->dayChartYearBox(), QStringLiteral("2024"));
    typeInto(m_page->monthBox(), QStringLiteral("3"));
    m_page->redraw();
    QCOMPARE(barsOf(m_page->monthBars()).value(3), 21.0);
    QCOMPARE(barsOf(m_page->dayBars()), (QMap<int, double>{{5, 20}, {6, 1}}));
    QString error;
    QVERIFY(m_shop->dm().db().exec(Statement{QStringLiteral("delete from data1 where ID=?"), {id}}, &error));
    m_page->redraw();
    QCOMPARE(barsOf(m_page->monthBars()).value(3), 20.0);
    QCOMPARE(barsOf(m_page->dayBars()), (QMap<int, double>{{5, 20}}));
}

void TestSalesChartsPage::ordinaryUserSeesNoChart()
{
    m_page->hideChartsForOrdinaryUser();
    m_page->prepareShow(QDate(2024, 3, 1));
    QVERIFY(!m_page->monthChart()->isVisible());
    QVERIFY(!m_page->dayChart()->isVisible());
    QVERIFY(m_page->monthProfitButton()->isVisible());
    QVERIFY(m_page->monthBox()->isVisible());
    QTest::mouseClick(m_page->monthSalesButton(), Qt::LeftButton);
    // Nothing is computed that the user may not see.
    QCOMPARE(m_page->monthBars()->count(), 0);
    QCOMPARE(m_page->dayBars()->count(), 0);
}

void TestSalesChartsPage::valueLabelsAreWholeShortAndApart()
{
    // A busy year: monthly profits in the millions, December the largest (its
    // label at the right edge), and a day's sale on every day of March, small
    // and large totals side by side.
    const QList<double> months{3334684.43, 336203.78, 2871530.5, 3102388.1, 2998450.25, 3250001.0,
                               3180999.99, 3011234.56, 2950000.0, 3077777.77, 3199999.5, 4368215.09};
    for (int m = 1; m <= 12; ++m)
        addSale(QStringLiteral("2025-%1-28").arg(m, 2, 10, QLatin1Char('0')), months.at(m - 1), 1);
    QMap<int, double> days;
    for (int d = 1; d <= 31; ++d) {
        const double value = d % 2 ? 36.38 + d : (d % 3 ? 95.39 : 14456.76 * d);
        days.insert(d, value);
        addSale(QStringLiteral("2025-03-%1").arg(d, 2, 10, QLatin1Char('0')), value, 1);
    }
    const double inMarch = months.at(2) + std::accumulate(days.cbegin(), days.cend(), 0.0);
    typeInto(m_page->monthChartYearBox(), QStringLiteral("2025"));
    typeInto(m_page->dayChartYearBox(), QStringLiteral("2025"));
    typeInto(m_page->monthBox(), QStringLiteral("3"));
    m_page->redraw();
    QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));
    QTest::qWait(50); // the charts lay out their plots
    if (const QByteArray file = qgetenv("TARVIK_CHARTS_PICTURE"); !file.isEmpty())
        m_page->grab().save(QString::fromLocal8Bit(file));

    for (const bool day : {false, true}) {
        QChart* chart = (day ? m_page->dayChart() : m_page->monthChart())->chart();
        const QBarSet* bars = day ? m_page->dayBars() : m_page->monthBars();
        const QList<QGraphicsSimpleTextItem*> labels = day ? m_page->dayLabels() : m_page->monthLabels();
        auto* series = qobject_cast<QBarSeries*>(chart->series().value(0));
        QVERIFY(series);
        QVERIFY2(series->barWidth() >= 0.6, "bars are easy to see");
        // The value axis leaves room above the highest bar.
        auto* values = qobject_cast<QValueAxis*>(chart->axes(Qt::Vertical).value(0));
        double highest = 0;
        for (int i = 0; i < bars->count(); ++i)
            highest = std::max(highest, bars->at(i));
        QVERIFY(values && values->max() > highest);

        const QRectF plot = chart->plotArea();
        QRectF previous;
        int shown = 0;
        for (int place = 0; place < labels.size(); ++place) {
            const QGraphicsSimpleTextItem* label = labels.at(place);
            const double value = place < bars->count() ? bars->at(place) : 0;
            if (!label->isVisible())
                continue;
            ++shown;
            const QString where = QStringLiteral("%1 %2: %3").arg(day ? QStringLiteral("day") : QStringLiteral("month")).arg(place).arg(label->text());
            QCOMPARE(label->text(), num::chartValueText(value));
            const QRectF box = label->mapRectToParent(label->boundingRect());
            QVERIFY2(plot.contains(box), qPrintable(where + QStringLiteral(" is cut at the plot's edge")));
            QVERIFY2(previous.isNull() || box.left() > previous.right(),
                     qPrintable(where + QStringLiteral(" overlaps its neighbour")));
            previous = box;
        }
        // Every bar keeps its label here: there is room for all of them.
        QCOMPARE(shown, day ? 31 : 12);
    }
    QCOMPARE(m_page->monthLabels().at(1)->text(), QStringLiteral("333.5万"));
    QCOMPARE(m_page->monthLabels().at(3)->text(), num::chartValueText(inMarch));
    QCOMPARE(m_page->dayLabels().at(1)->text(), QStringLiteral("37.38"));

    // The exact value shows on hover.
    QChartView* view = m_page->monthChart();
    const QPointF top = view->chart()->mapToPosition(QPointF(1, months.at(0) / 2));
    QTest::mouseMove(view->viewport(), view->mapFromScene(top));
    QTRY_COMPARE(QToolTip::text(), QStringLiteral("3334684.43"));
}

QTEST_MAIN(TestSalesChartsPage)
#include "tst_saleschartspage.moc"
