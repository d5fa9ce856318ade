#pragma once
// The workbench's load charts on Qt Charts: the small stacked chart of the current line's main
// resource with its fixed legend, and one capacity chart per resource of the current line's item.
#include <QPolygonF>
#include <QStringList>
#include <QWidget>
#include <QtGlobal>
#include <functional>
#include <vector>

class QChart;
class QChartView;
class QLabel;
class QToolButton;
class QBarSet;
class QCategoryAxis;
class QGraphicsPolygonItem;
class QLineSeries;
class QValueAxis;

// Values of one resource per day, in the order of Days; a bar may stand for a run of days.
struct TKrta07LoadValues {
    QStringList Days; // "yyyymmdd", the first day of each bar
    int DaysPerBar = 1;
    std::vector<double> TD003, TD004, TD005, TD006, TD007;
    void resize(int n);
    bool Overloaded(size_t day) const;
};

// A resource day is overloaded when its load, used and planned, main and non-main, exceeds its daily
// capacity. The charts draw such days in a warning colour.
bool Krta07Overloaded(double capacity, double main, double plannedMain, double nonMain, double plannedNonMain);

// What the day axis of a chart is labelled with: the days and every how many days a label stands.
struct TKrta07DayLabels {
    QStringList Days;
    int Step = 0;
};

class TKrta07LoadChart : public QWidget {
    Q_OBJECT
public:
    explicit TKrta07LoadChart(QWidget* parent = nullptr);

    QWidget* LegendPanel;
    QChartView* View;
    // seZ main, seF non-main, seJZ planned main, seJF planned non-main.
    QBarSet *seZ, *seF, *seJZ, *seJF;

    QString Title() const;
    void SetTitle(const QString& title);
    void SetValues(const TKrta07LoadValues& values);
    void ClearValues();
    int PointCount() const;
    // Series titles through a conversion (the interface script).
    void LocaliseTitles(const std::function<QString(const QString&)>& convert);
    QChart* chart() const;

    // The values on the bars now.
    const TKrta07LoadValues& Values() const { return FValues; }
    // New values for the bar of one day, the others kept: an edit of one line changes a few days.
    void SetDayValues(int index, double TD004, double TD006, double TD005, double TD007);

    // What the bars show: the resource and the day number of the first bar (no resource: empty).
    QString ShownResource;
    qint64 ShownFirstDay = 0;
    // A redraw is queued for when the window is idle.
    bool RefreshPending = false;

    QCategoryAxis* DayAxis;
    const TKrta07DayLabels& DayLabels() const { return FDayLabels; }

private:
    void updateRange();
    TKrta07DayLabels FDayLabels;

    std::vector<QLabel*> FLegendTexts;
    TKrta07LoadValues FValues;
};

// An axis arrow tool: an arrow inside the plot at each end of an axis; a click on one scrolls the axis
// by a tenth of its range towards that end.
class TKrta07AxisArrowTool : public QObject {
    Q_OBJECT
public:
    TKrta07AxisArrowTool(QChartView* view, QValueAxis* axis);

    QValueAxis* Axis;
    int Length = 16;        // pixels along the axis
    int ScrollPercent = 10; // of the axis range, per click

    // The arrow at the axis' start (its minimum) or end, in the view's viewport coordinates.
    QPolygonF Arrow(bool atEnd) const;
    // Scrolls towards the end (later days, higher values) or the start.
    void Scroll(bool towardsEnd);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void place();
    QPolygonF arrowInChart(bool atEnd) const;
    QChartView* FView;
    QGraphicsPolygonItem* FArrows[2];
};

class TKrta07CapacityChart : public QWidget {
    Q_OBJECT
public:
    TKrta07CapacityChart(QWidget* parent, const QString& resource, const QString& axisTitle,
                         const QString& hint);

    QString Resource;
    QChartView* View;
    QToolButton* btnDetail;
    QBarSet *Series1, *Series2, *Series3, *Series4;
    QLineSeries* Series5;
    QStringList Days;

    void SetValues(const TKrta07LoadValues& values);
    int PointCount() const;
    QChart* chart() const;
    void LocaliseTitles(const std::function<QString(const QString&)>& convert);
    QCategoryAxis* DayAxis;
    const TKrta07DayLabels& DayLabels() const { return FDayLabels; }
    // The arrows of the day axis and of the value axis.
    TKrta07AxisArrowTool *ChartTool3, *ChartTool4;

    // Detail request: the resource and a day ("yyyymmdd"), or an empty day for all days.
    std::function<void(const QString& resource, const QString& day)> OnDetail;

private:
    TKrta07DayLabels FDayLabels;
};

// Titles of the five load series.
extern const char* const kKrta07SeriesTitles[5];
