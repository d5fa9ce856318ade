// Day labels of the load charts: readable at the workbench's sizes, thinned out where the days are
// many, with the year where the days cover more than one, and laid out again only when they change;
// the axis arrows of the capacity charts.
#include <gtest/gtest.h>

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QFontMetrics>
#include <QSignalSpy>
#include <QTest>
#include <QValueAxis>

#include "platform/DateTime.h"
#include "workbench/Krta07SMF.h"
#include "workbench/Krta07SMFCharts.h"

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

TKrta07LoadValues days(int year, int month, int day, int n) {
    TKrta07LoadValues v;
    v.resize(n);
    const kv::TDateTime first = kv::encodeDate(year, month, day);
    for (int i = 0; i < n; ++i) {
        v.Days << Krta07DayText(first + i);
        v.TD004[size_t(i)] = 10 + i % 7;
    }
    return v;
}

// Every label of the axis with the pixel its day's bar stands at; true when no two overlap.
bool labelsFit(QChart* chart, QCategoryAxis* axis, int n) {
    const QFontMetrics fm(axis->labelsFont());
    const double perDay = chart->plotArea().width() / n;
    double lastEnd = -1e9;
    for (const QString& label : axis->categoriesLabels()) {
        const double centre = (axis->endValue(label) + 0.5) * perDay;
        const double w = fm.horizontalAdvance(label);
        if (centre - w / 2 < lastEnd) return false;
        lastEnd = centre + w / 2;
    }
    return true;
}

} // namespace

TEST(Charts, TheSmallChartLabelsItsDaysSoThatTheyFit) {
    TKrta07LoadChart chart;
    chart.resize(1100, 160);
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));

    // Seventeen days (the default window) get a label each, month and day.
    chart.SetValues(days(2027, 2, 28, 17));
    QCoreApplication::processEvents();
    QStringList labels = chart.DayAxis->categoriesLabels();
    ASSERT_EQ(labels.size(), 17);
    EXPECT_EQ(labels.first(), "02/28");
    EXPECT_EQ(labels[1], "03/01");
    EXPECT_DOUBLE_EQ(chart.DayAxis->endValue("03/01"), 1);
    EXPECT_TRUE(labelsFit(chart.chart(), chart.DayAxis, 17));

    // A hundred days: every seventh day, on the same weekday.
    chart.SetValues(days(2027, 1, 1, 100));
    QCoreApplication::processEvents();
    labels = chart.DayAxis->categoriesLabels();
    EXPECT_EQ(chart.DayLabels().Step % 7, 0);
    EXPECT_EQ(labels.size(), (100 + chart.DayLabels().Step - 1) / chart.DayLabels().Step);
    EXPECT_EQ(labels.first(), "01/01");
    EXPECT_EQ(labels[1], chart.DayLabels().Step == 7 ? "01/08" : "01/15");
    EXPECT_TRUE(labelsFit(chart.chart(), chart.DayAxis, 100));
    EXPECT_EQ(chart.PointCount(), 100);

    // New values on the same days leave the labels alone: their layout is the costly part.
    QSignalSpy relabel(chart.DayAxis, &QCategoryAxis::categoriesChanged);
    TKrta07LoadValues again = days(2027, 1, 1, 100);
    again.TD004[3] = 99;
    chart.SetValues(again);
    EXPECT_EQ(relabel.count(), 0);

    // A narrower chart thins the labels out further.
    const int step = chart.DayLabels().Step;
    chart.resize(500, 160);
    QTRY_VERIFY(chart.DayLabels().Step > step);
    EXPECT_TRUE(labelsFit(chart.chart(), chart.DayAxis, 100));

    // Days over more than a year carry the year, so that no two labels read the same.
    chart.SetValues(days(2026, 12, 1, 400));
    QCoreApplication::processEvents();
    labels = chart.DayAxis->categoriesLabels();
    EXPECT_EQ(labels.first(), "26/12/01");
    EXPECT_EQ(labels.size(), QSet<QString>(labels.begin(), labels.end()).size());
    EXPECT_TRUE(labelsFit(chart.chart(), chart.DayAxis, 400));

    chart.ClearValues();
    EXPECT_TRUE(chart.DayAxis->categoriesLabels().isEmpty());
}

TEST(Charts, CapacityChartsLabelTheirDaysTheSameWay) {
    TKrta07CapacityChart chart(nullptr, "R1", "h", "details");
    chart.resize(900, 200);
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
    TKrta07LoadValues v = days(2027, 3, 8, 60);
    v.TD003.assign(60, 12);
    chart.SetValues(v);
    QCoreApplication::processEvents();
    const QStringList labels = chart.DayAxis->categoriesLabels();
    ASSERT_GT(labels.size(), 1);
    EXPECT_LT(labels.size(), 60);
    EXPECT_EQ(labels.first(), "03/08");
    EXPECT_TRUE(labelsFit(chart.chart(), chart.DayAxis, 60));
    // The capacity line still has a point per day.
    EXPECT_EQ(chart.PointCount(), 60);
}

// Each capacity chart has an arrow at both ends of its day axis and of its value axis, drawn inside the
// plot; a click on one scrolls that axis by a tenth of its range towards the arrow.
TEST(Charts, CapacityChartsScrollTheirAxesByTheirArrows) {
    TKrta07CapacityChart chart(nullptr, "R1", "h", "details");
    chart.resize(900, 200);
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
    chart.SetValues(days(2027, 3, 8, 20));
    QCoreApplication::processEvents();
    QWidget* viewport = chart.View->viewport();
    const QImage shot = viewport->grab().toImage();
    for (TKrta07AxisArrowTool* tool : {chart.ChartTool3, chart.ChartTool4})
        for (bool atEnd : {false, true}) {
            const QPolygonF arrow = tool->Arrow(atEnd);
            EXPECT_EQ(shot.pixelColor(((arrow[0] + arrow[1] + arrow[2]) / 3).toPoint()), QColor(64, 64, 64));
            const double min = tool->Axis->min(), max = tool->Axis->max();
            QTest::mouseClick(viewport, Qt::LeftButton, {}, arrow.boundingRect().center().toPoint());
            const double by = (atEnd ? 1 : -1) * (max - min) / 10;
            EXPECT_NEAR(tool->Axis->min(), min + by, 1e-9);
            EXPECT_NEAR(tool->Axis->max(), max + by, 1e-9);
        }
    EXPECT_EQ(chart.ChartTool3->Axis, chart.DayAxis);
    EXPECT_EQ(chart.ChartTool4->Axis, chart.chart()->axes(Qt::Vertical).value(0));
}
