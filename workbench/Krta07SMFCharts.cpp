#include "workbench/Krta07SMFCharts.h"
#include "workbench/Krta07STF.h"

#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QFontMetrics>
#include <QGraphicsPolygonItem>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QMouseEvent>
#include <QStackedBarSeries>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValueAxis>
#include <cmath>
#include <limits>

const char* const kKrta07SeriesTitles[5] = {"主要耗用", "非主要耗用", "计划主要耗用", "计划非主要耗用",
                                            "每日产能"};

namespace {

const QColor kSeriesColors[5] = {Qt::red, QColor(0, 128, 0), Qt::yellow, Qt::blue, QColor(0x80, 0xFF, 0xFF)};
const QColor kOverloadColor(0xFF, 0x80, 0x00);

QBarSet* makeSet(int i) {
    auto* s = new QBarSet(QString::fromUtf8(kKrta07SeriesTitles[i]));
    s->setColor(kSeriesColors[i]);
    s->setBorderColor(kSeriesColors[i].darker(130));
    return s;
}

// Puts the values on the chart's own bar sets and the days on its category axis. The series, its
// sets and an unchanged axis stay: laying out hundreds of day labels again costs far more than the
// values, and a move of one line changes only a few of them.
void fillBars(QChart* chart, const std::vector<QBarSet*>& sets,
              const std::vector<const std::vector<double>*>& values, const QStringList& days) {
    const qsizetype n = days.size();
    for (size_t k = 0; k < sets.size(); ++k) {
        QBarSet* s = sets[k];
        const std::vector<double>& v = *values[k];
        if (s->count() == n) {
            std::vector<qsizetype> changed;
            for (qsizetype i = 0; i < n && changed.size() <= 16; ++i)
                if (s->at(i) != v[size_t(i)]) changed.push_back(i);
            if (changed.size() <= 16) {
                for (qsizetype i : changed)
                    s->replace(i, v[size_t(i)]);
                continue;
            }
        }
        // Many values at once: one removal and one append instead of a change each.
        if (s->count() > 0) s->remove(0, s->count());
        s->append(QList<qreal>(v.begin(), v.end()));
    }
    double top = 0;
    for (qsizetype i = 0; i < n; ++i) {
        double sum = 0;
        for (size_t k = 0; k < sets.size(); ++k)
            sum += (*values[k])[size_t(i)];
        top = std::max(top, sum);
    }
    auto* y = qobject_cast<QValueAxis*>(chart->axes(Qt::Vertical).value(0));
    const double max = top > 0 ? top * 1.1 : 1;
    if (y && (y->min() != 0 || y->max() != max)) y->setRange(0, max);
}

// Overloaded days draw every part of their bar in the warning colour.
void markOverloads(const std::vector<QBarSet*>& sets, const TKrta07LoadValues& v) {
    QList<int> over;
    for (size_t i = 0; i < v.TD003.size(); ++i)
        if (v.Overloaded(i)) over.append(int(i));
    for (QBarSet* s : sets) {
        s->setSelectedColor(kOverloadColor);
        if (!s->selectedBars().isEmpty()) s->deselectAllBars();
        if (!over.isEmpty()) s->selectBars(over);
    }
}

// "yyyymmdd" as the axis shows it: month and day, with the year when the days cover more than a year
// (the labels must differ).
QString dayLabel(const QString& day, bool withYear) {
    return withYear ? day.mid(2, 2) + QLatin1Char('/') + day.mid(4, 2) + QLatin1Char('/') + day.mid(6, 2)
                    : day.mid(4, 2) + QLatin1Char('/') + day.mid(6, 2);
}

// Labels the days under the bars, on every step-th day only so that neighbouring labels do not run
// into each other: with a label per bar at the default size they were all cut to "...". The axis is
// labelled again only when the days or the step change, as its layout costs most of a redraw.
void labelDays(QChart* chart, QCategoryAxis* axis, const QStringList& days, TKrta07DayLabels& state) {
    const qsizetype n = days.size();
    // The days follow each other: only more than a year of them repeats a month and day.
    const bool withYear = n > 365;
    const QFontMetrics fm(axis->labelsFont());
    const int labelWidth =
        fm.horizontalAdvance(dayLabel(QStringLiteral("20000000"), withYear)) + fm.height() / 2;
    // Before the chart is laid out the plot area is empty: the view's width stands in for it.
    double plot = chart->plotArea().width();
    if (plot < 10) plot = std::max(100, chart->size().toSize().width() - 60);
    int step = 1;
    if (n > 0 && plot / double(n) < labelWidth) {
        step = int(std::ceil(labelWidth * double(n) / plot));
        // Whole weeks beyond a few days, so the labels fall on the same weekday.
        if (step > 3) step = (step + 6) / 7 * 7;
    }
    if (step == state.Step && days == state.Days) return;
    state.Step = step;
    state.Days = days;
    for (const QString& label : axis->categoriesLabels())
        axis->remove(label);
    for (qsizetype i = 0; i < n; i += step)
        axis->append(dayLabel(days[i], withYear), double(i));
    axis->setRange(-0.5, n > 0 ? double(n) - 0.5 : 0.5);
}

QChart* newChart(QStackedBarSeries* bars) {
    auto* chart = new QChart;
    chart->addSeries(bars);
    auto* x = new QCategoryAxis;
    x->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    x->setStartValue(-0.5);
    x->setGridLineVisible(false);
    auto* y = new QValueAxis;
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    bars->attachAxis(x);
    bars->attachAxis(y);
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setMargins(QMargins(2, 2, 2, 2));
    return chart;
}

} // namespace

void TKrta07LoadValues::resize(int n) {
    for (auto* v : {&TD003, &TD004, &TD005, &TD006, &TD007})
        v->assign(size_t(n), 0.0);
}

bool TKrta07LoadValues::Overloaded(size_t day) const {
    return Krta07Overloaded(TD003[day], TD004[day], TD005[day], TD006[day], TD007[day]);
}

bool Krta07Overloaded(double capacity, double main, double plannedMain, double nonMain,
                      double plannedNonMain) {
    // Sums of day quantities carry rounding noise: a load equal to the capacity is no overload.
    return main + plannedMain + nonMain + plannedNonMain > capacity + 1e-6;
}

TKrta07LoadChart::TKrta07LoadChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ctMPSTC"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    LegendPanel = new QWidget(this);
    LegendPanel->setObjectName(QStringLiteral("pnlLegend"));
    auto* legend = new QVBoxLayout(LegendPanel);
    // The legend stays put beside the Gantt's grid instead of moving with the chart's plot.
    for (int i = 0; i < 4; ++i) {
        auto* line = new QHBoxLayout;
        auto* box = new QLabel(LegendPanel);
        box->setFixedSize(12, 12);
        // Drawn by a style sheet: with the palette alone the swatches showed grey.
        box->setStyleSheet(QStringLiteral("background-color: %1; border: 1px solid %2;")
                               .arg(kSeriesColors[i].name(), kSeriesColors[i].darker(130).name()));
        auto* text = new QLabel(QString::fromUtf8(kKrta07SeriesTitles[i]), LegendPanel);
        // Longer titles (English) wrap rather than take the chart's width.
        text->setWordWrap(true);
        FLegendTexts.push_back(text);
        line->addWidget(box);
        line->addWidget(text, 1);
        legend->addLayout(line);
    }
    legend->addStretch(1);
    LegendPanel->setMaximumWidth(170);
    row->addWidget(LegendPanel);

    seZ = makeSet(0);
    seF = makeSet(1);
    seJZ = makeSet(2);
    seJF = makeSet(3);
    auto* bars = new QStackedBarSeries;
    bars->append({seZ, seF, seJZ, seJF});
    QChart* c = newChart(bars);
    c->legend()->hide();
    DayAxis = static_cast<QCategoryAxis*>(c->axes(Qt::Horizontal).first());
    // A wider or narrower plot fits more or fewer labels.
    connect(c, &QChart::plotAreaChanged, this,
            [this, c] { labelDays(c, DayAxis, FValues.Days, FDayLabels); });
    View = new QChartView(c, this);
    View->setRubberBand(QChartView::HorizontalRubberBand);
    row->addWidget(View, 1);
}

QChart* TKrta07LoadChart::chart() const {
    return View->chart();
}
QString TKrta07LoadChart::Title() const {
    return chart()->title();
}
void TKrta07LoadChart::SetTitle(const QString& title) {
    chart()->setTitle(title);
}

void TKrta07LoadChart::SetValues(const TKrta07LoadValues& v) {
    FValues = v;
    fillBars(chart(), {seZ, seF, seJZ, seJF}, {&v.TD004, &v.TD006, &v.TD005, &v.TD007}, v.Days);
    markOverloads({seZ, seF, seJZ, seJF}, v);
    labelDays(chart(), DayAxis, v.Days, FDayLabels);
}

void TKrta07LoadChart::ClearValues() {
    TKrta07LoadValues empty;
    SetValues(empty);
    ShownResource.clear();
}

void TKrta07LoadChart::SetDayValues(int index, double TD004, double TD006, double TD005, double TD007) {
    if (index < 0 || index >= FValues.Days.size()) return;
    const auto i = size_t(index);
    const double now[4] = {TD004, TD006, TD005, TD007};
    std::vector<double>* kept[4] = {&FValues.TD004, &FValues.TD006, &FValues.TD005, &FValues.TD007};
    QBarSet* sets[4] = {seZ, seF, seJZ, seJF};
    bool changed = false;
    for (int k = 0; k < 4; ++k)
        if ((*kept[k])[i] != now[k]) {
            (*kept[k])[i] = now[k];
            sets[k]->replace(index, now[k]);
            changed = true;
        }
    if (!changed) return;
    updateRange();
    const bool over = FValues.Overloaded(i);
    for (QBarSet* s : sets)
        if (s->isBarSelected(index) != over) s->setBarSelected(index, over);
}

void TKrta07LoadChart::updateRange() {
    // The same top as a full fill sets: the highest stack plus a tenth.
    double top = 0;
    for (size_t i = 0; i < FValues.TD004.size(); ++i)
        top = std::max(top, FValues.TD004[i] + FValues.TD006[i] + FValues.TD005[i] + FValues.TD007[i]);
    if (QAbstractAxis* y = chart()->axes(Qt::Vertical).value(0)) y->setRange(0, top > 0 ? top * 1.1 : 1);
}

int TKrta07LoadChart::PointCount() const {
    return int(seZ->count());
}

void TKrta07LoadChart::LocaliseTitles(const std::function<QString(const QString&)>& convert) {
    QBarSet* sets[4] = {seZ, seF, seJZ, seJF};
    for (int i = 0; i < 4; ++i) {
        sets[i]->setLabel(convert(sets[i]->label()));
        FLegendTexts[size_t(i)]->setText(convert(FLegendTexts[size_t(i)]->text()));
    }
}

TKrta07AxisArrowTool::TKrta07AxisArrowTool(QChartView* view, QValueAxis* axis)
    : QObject(view), Axis(axis), FView(view) {
    QChart* chart = view->chart();
    for (QGraphicsPolygonItem*& arrow : FArrows) {
        arrow = new QGraphicsPolygonItem(chart);
        arrow->setBrush(QColor(64, 64, 64));
        arrow->setPen(Qt::NoPen);
        arrow->setZValue(100); // over the series
    }
    connect(chart, &QChart::plotAreaChanged, this, [this] { place(); });
    view->viewport()->installEventFilter(this);
    place();
}

QPolygonF TKrta07AxisArrowTool::arrowInChart(bool atEnd) const {
    // Inside the plot beside the axis line, clear of the corner the other axis' arrow takes.
    const QRectF plot = FView->chart()->plotArea();
    const double inset = 8, half = 5, length = Length;
    if (Axis->orientation() == Qt::Horizontal) {
        const double y = plot.bottom() - half - 1;
        const double tip = atEnd ? plot.right() - inset : plot.left() + inset;
        const double base = atEnd ? tip - length : tip + length;
        return QPolygonF({QPointF(tip, y), QPointF(base, y - half), QPointF(base, y + half)});
    }
    const double x = plot.left() + half + 1;
    const double tip = atEnd ? plot.top() + inset : plot.bottom() - inset;
    const double base = atEnd ? tip + length : tip - length;
    return QPolygonF({QPointF(x, tip), QPointF(x - half, base), QPointF(x + half, base)});
}

void TKrta07AxisArrowTool::place() {
    for (int end = 0; end < 2; ++end)
        FArrows[end]->setPolygon(arrowInChart(end == 1));
}

QPolygonF TKrta07AxisArrowTool::Arrow(bool atEnd) const {
    const QPolygonF inChart = arrowInChart(atEnd);
    QPolygonF out;
    for (const QPointF& p : inChart)
        out << QPointF(FView->mapFromScene(FView->chart()->mapToScene(p)));
    return out;
}

void TKrta07AxisArrowTool::Scroll(bool towardsEnd) {
    const double step = (Axis->max() - Axis->min()) * ScrollPercent / 100.0;
    const double by = towardsEnd ? step : -step;
    Axis->setRange(Axis->min() + by, Axis->max() + by);
}

bool TKrta07AxisArrowTool::eventFilter(QObject* watched, QEvent* e) {
    if (watched == FView->viewport() && e->type() == QEvent::MouseButtonPress) {
        auto* press = static_cast<QMouseEvent*>(e);
        if (press->button() == Qt::LeftButton)
            for (int end = 0; end < 2; ++end)
                // A little beyond the drawn triangle counts: it is small.
                if (Arrow(end == 1).boundingRect().adjusted(-2, -2, 2, 2).contains(press->position())) {
                    Scroll(end == 1);
                    return true; // no rubber band starts from an arrow
                }
    }
    return QObject::eventFilter(watched, e);
}

TKrta07CapacityChart::TKrta07CapacityChart(QWidget* parent, const QString& resource, const QString& axisTitle,
                                           const QString& hint)
    : QWidget(parent), Resource(resource) {
    setObjectName(QStringLiteral("chart_") + resource);
    setFixedHeight(200);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    Series1 = makeSet(0);
    Series2 = makeSet(1);
    Series3 = makeSet(2);
    Series4 = makeSet(3);
    auto* bars = new QStackedBarSeries;
    bars->append({Series1, Series2, Series3, Series4});
    QChart* c = newChart(bars);
    Series5 = new QLineSeries;
    Series5->setName(QString::fromUtf8(kKrta07SeriesTitles[4]));
    Series5->setColor(kSeriesColors[4]);
    Series5->setPointsVisible(false);
    c->addSeries(Series5);
    Series5->attachAxis(c->axes(Qt::Horizontal).first());
    Series5->attachAxis(c->axes(Qt::Vertical).first());
    DayAxis = static_cast<QCategoryAxis*>(c->axes(Qt::Horizontal).first());
    connect(c, &QChart::plotAreaChanged, this, [this, c] { labelDays(c, DayAxis, Days, FDayLabels); });
    c->setTitle(resource);
    c->axes(Qt::Vertical).first()->setTitleText(axisTitle);
    for (QBarSet* s : {Series1, Series2, Series3, Series4})
        connect(s, &QBarSet::doubleClicked, this, [this](int index) {
            if (OnDetail && index >= 0 && index < Days.size()) OnDetail(Resource, Days[index]);
        });
    View = new QChartView(c, this);
    View->setRubberBand(QChartView::HorizontalRubberBand);
    layout->addWidget(View);
    ChartTool3 = new TKrta07AxisArrowTool(View, DayAxis);
    ChartTool4 = new TKrta07AxisArrowTool(View, qobject_cast<QValueAxis*>(c->axes(Qt::Vertical).first()));

    btnDetail = new QToolButton(this);
    btnDetail->setObjectName(QStringLiteral("btnDetail"));
    btnDetail->setGeometry(0, 0, 15, 15);
    btnDetail->setToolTip(hint);
    btnDetail->raise();
    connect(btnDetail, &QToolButton::clicked, this, [this] {
        if (OnDetail) OnDetail(Resource, QString());
    });
}

QChart* TKrta07CapacityChart::chart() const {
    return View->chart();
}

void TKrta07CapacityChart::SetValues(const TKrta07LoadValues& v) {
    Days = v.Days;
    fillBars(chart(), {Series1, Series2, Series3, Series4}, {&v.TD004, &v.TD006, &v.TD005, &v.TD007}, v.Days);
    markOverloads({Series1, Series2, Series3, Series4}, v);
    labelDays(chart(), DayAxis, v.Days, FDayLabels);
    QList<QPointF> points;
    double top = 0;
    for (size_t i = 0; i < v.TD003.size(); ++i) {
        // The line runs through the middle of each day's bar.
        points.append(QPointF(double(i), v.TD003[i]));
        top = std::max(top, v.TD003[i]);
    }
    Series5->replace(points);
    QValueAxis* y = qobject_cast<QValueAxis*>(chart()->axes(Qt::Vertical).first());
    if (y && top * 1.1 > y->max()) y->setMax(top * 1.1);
}

int TKrta07CapacityChart::PointCount() const {
    return int(Series1->count());
}

void TKrta07CapacityChart::LocaliseTitles(const std::function<QString(const QString&)>& convert) {
    for (QBarSet* s : {Series1, Series2, Series3, Series4})
        s->setLabel(convert(s->label()));
    Series5->setName(convert(Series5->name()));
}

// ---- the workbench's use of the charts

#include <QDialog>
#include <QDialogButtonBox>
#include <QScrollArea>
#include <QTimer>

#include "controls/FDBGrid.h"
#include "gantt/MyGant.h"
#include "lang/CodeConverter.h"
#include "platform/Numbers.h"
#include "platform/data/ClientDataSet.h"
#include "platform/data/DataSource.h"
#include "support/LibStrs.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"
#include "workbench/Krta07SMFStored.h"

namespace {

// Message names of the series titles in the workbench's language file, in kKrta07SeriesTitles' order.
const char* const kSeriesIdents[5] = {"sTD004", "sTD006", "sTD005", "sTD007", "sTD003"};

// A series title in the interface language; a title that is no longer the Chinese one was done.
QString seriesTitle(const TfrmKrta07SM& wb, const QString& title) {
    for (int i = 0; i < 5; ++i)
        if (title == QString::fromUtf8(kKrta07SeriesTitles[i]))
            return wb.LangText(QStringLiteral("TfrmKrta07SM"), QString::fromLatin1(kSeriesIdents[i]), title);
    return title;
}

// More days than a chart has pixels are drawn as one bar per run of days; see loadValues.
constexpr int kMaxChartBars = 4000;

// Load values of one resource for n + 1 days from start, a bar a day. A span longer than a chart can
// draw (a day typed far in the future, say) gets a bar per run of days instead, standing for the run's
// day with the least capacity to spare: an overloaded day still shows, and the work stays with the
// stored load rows instead of growing with the span, which up to the year 9999 took minutes and
// gigabytes.
TKrta07LoadValues loadValues(kv::TClientDataSet& load, const QString& resource, kv::TDateTime start, int n) {
    TKrta07LoadValues v;
    const qint64 days = std::max(n + 1, 0);
    if (days <= kMaxChartBars) {
        v.resize(int(days));
    } else {
        v.DaysPerBar = int((days + kMaxChartBars - 1) / kMaxChartBars);
        v.resize(int((days + v.DaysPerBar - 1) / v.DaysPerBar));
    }
    if (n < 0) return v;
    const bool active = load.Active();
    kv::TField* f[5] = {};
    if (active) {
        const char* names[5] = {"TD003", "TD004", "TD005", "TD006", "TD007"};
        for (int i = 0; i < 5; ++i)
            f[i] = &load.FieldByName(QString::fromLatin1(names[i]));
    }
    std::vector<double>* out[5] = {&v.TD003, &v.TD004, &v.TD005, &v.TD006, &v.TD007};
    const int bookmark = active && !load.IsEmpty() ? load.Bookmark() : -1;
    if (v.DaysPerBar == 1) {
        for (int k = 0; k <= n; ++k) {
            const QString day = Krta07DayText(start + k);
            v.Days << day;
            if (active && load.Locate(QStringLiteral("TD001;TD002"), QVariantList{resource, day}))
                for (int i = 0; i < 5; ++i)
                    (*out[i])[size_t(k)] = f[i]->AsFloat();
        }
    } else {
        const auto bars = v.TD003.size();
        for (size_t b = 0; b < bars; ++b)
            v.Days << Krta07DayText(start + double(b) * v.DaysPerBar);
        // Load left over capacity of the day a bar shows so far; a bar without a day shows nothing.
        std::vector<double> excess(bars, -std::numeric_limits<double>::infinity());
        const qint64 first = qint64(std::floor(start));
        if (active) {
            const kv::TField& td001 = load.FieldByName(QStringLiteral("TD001"));
            const kv::TField& td002 = load.FieldByName(QStringLiteral("TD002"));
            for (load.First(); !load.Eof(); load.Next()) {
                if (td001.AsString().trimmed() != resource) continue;
                const kv::TDateTime date = Krta07DayOf(td002.AsString().trimmed());
                if (date == 0) continue;
                const qint64 k = qint64(std::floor(date)) - first;
                if (k < 0 || k > n) continue;
                const auto b = size_t(k / v.DaysPerBar);
                double day[5];
                for (int i = 0; i < 5; ++i)
                    day[i] = f[i]->AsFloat();
                const double over = day[1] + day[2] + day[3] + day[4] - day[0];
                if (over <= excess[b]) continue;
                excess[b] = over;
                for (int i = 0; i < 5; ++i)
                    (*out[i])[b] = day[i];
            }
        }
    }
    if (bookmark >= 0) load.GotoBookmark(bookmark);
    return v;
}

} // namespace

void TfrmKrta07SM::RefreshLoadChart() {
    // The chart is redrawn once the window is idle: moving through lines quickly redraws it once.
    if (ctMPSTC->RefreshPending) return;
    ctMPSTC->RefreshPending = true;
    QTimer::singleShot(0, this, [this] { FlushLoadChart(); });
}

void TfrmKrta07SM::FlushLoadChart() {
    if (!ctMPSTC->RefreshPending) return;
    ctMPSTC->RefreshPending = false;
    if (!dmKrta07S) return;
    kv::TClientDataSet& pre = *dmKrta07S->qryMPSTBPre;
    const QString R = pre.Active() && !pre.IsEmpty()
                          ? pre.FieldByName(QStringLiteral("TB036")).AsString().trimmed()
                          : QString();
    ctMPSTC->SetTitle(SystemMessage(3) + QLatin1Char(':') + R);
    if (R.isEmpty()) {
        ctMPSTC->ClearValues();
        return;
    }
    const int n = int(kv::roundHalfEven(mgMPSTC->Stop() - mgMPSTC->Start()));
    const double first = std::floor(mgMPSTC->Start());
    ctMPSTC->SetValues(loadValues(*dmKrta07S->qryMPSTD, R, first, n));
    ctMPSTC->ShownResource = R;
    ctMPSTC->ShownFirstDay = qint64(first);
}

void TfrmKrta07SM::BuildCapacityCharts() {
    for (TKrta07CapacityChart* c : FResourceCharts)
        delete c;
    FResourceCharts.clear();
    if (!dmKrta07S) return;
    kv::TClientDataSet& pre = *dmKrta07S->qryMPSTBPre;
    if (!pre.Active() || pre.IsEmpty()) return;
    const QString item = pre.FieldByName(QStringLiteral("TB006")).AsString().trimmed();
    const kv::TDateTime S = TransDateIn(pre.FieldByName(QStringLiteral("TB013")).AsString().trimmed());
    const kv::TDateTime E = TransDateIn(pre.FieldByName(QStringLiteral("TB014")).AsString().trimmed());
    const int n = int(kv::roundHalfEven(E - S));
    QWidget* holder = ScrollBox1->widget();
    auto* layout = static_cast<QVBoxLayout*>(holder->layout());
    int at = 0;
    for (const TItemResource& res : dmKrta07S->ItemResources(item)) {
        // The unit is the company's text: shown in the interface's script, as the grid shows its texts.
        const QString unit =
            KvConverter ? KvConverter->ConvertUIString(kv::Variant(res.MB006)).toString() : res.MB006;
        auto* chart = new TKrta07CapacityChart(holder, res.MC002, SystemMessage(4) + unit, SystemMessage(2));
        chart->SetValues(loadValues(*dmKrta07S->qryMPSTD, res.MC002, S, n));
        chart->LocaliseTitles([this](const QString& t) { return seriesTitle(*this, t); });
        chart->OnDetail = [this](const QString& resource, const QString& day) {
            ShowConsumptionDetails(resource, day);
        };
        layout->insertWidget(at++, chart);
        FResourceCharts.push_back(chart);
    }
}

void TfrmKrta07SM::LocaliseCharts() {
    ctMPSTC->LocaliseTitles([this](const QString& t) { return seriesTitle(*this, t); });
}

void TfrmKrta07SM::ShowConsumptionDetails(const QString& resource, const QString& day) {
    // Run from a chart's button or a double click: what goes wrong ends in a message.
    try {
        TfrmKRTA07ST window(this);
        window.Execute(resource, day);
    } catch (const std::exception& e) {
        KvMessageDlg(QString::fromUtf8(e.what()), mtError, mbOK);
    }
}
