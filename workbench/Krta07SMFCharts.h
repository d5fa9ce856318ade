#pragma once
// The workbench's load charts on Qt Charts: the small stacked chart of the current line's main
// resource with its fixed legend, and one capacity chart per resource of the current line's item.
#include <QStringList>
#include <QWidget>
#include <functional>
#include <vector>

class QChart;
class QChartView;
class QLabel;
class QToolButton;
class QBarSet;
class QLineSeries;

// Values of one resource per day, in the order of Days.
struct TKrta07LoadValues {
    QStringList Days; // "yyyymmdd"
    std::vector<double> TD003, TD004, TD005, TD006, TD007;
    void resize(int n);
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

private:
    std::vector<QLabel*> FLegendTexts;
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

    // Detail request: the resource and a day ("yyyymmdd"), or an empty day for all days.
    std::function<void(const QString& resource, const QString& day)> OnDetail;
};

// Titles of the five load series.
extern const char* const kKrta07SeriesTitles[5];
