#pragma once
// The time ruler above the Gantt area. It owns the visible window, maps dates to pixels for the whole
// chart (hidden weekdays and hours take no room), picks and labels two rows of ticks from the zoom
// level, and lets the user scroll and zoom with the mouse, the scroll buttons and the keyboard.
#include <QElapsedTimer>
#include <QEvent>
#include <QFont>
#include <QString>
#include <functional>
#include <vector>

#include "gantt/phOffscreenPaint.h"
#include "platform/DateTime.h"

class QTimer;

// One tick of the ruler.
struct TScaleMark {
    kv::TDateTime Date = 0;
    bool Coarse = false;
    double Pos = 0; // pixels along the axis
    QString Text;
    int Font = 0;        // 1..3: TextFont1..TextFont3
    bool Hidden = false; // the interval up to the next tick is wholly hidden time
    QString SubText;
    int SubFont = 3;
};

class TphDateScaler : public TphOffscreenPaint {
    Q_OBJECT
    Q_PROPERTY(double Start READ Start WRITE SetStart)
    Q_PROPERTY(double Stop READ Stop WRITE SetStop)
    Q_PROPERTY(double Scale READ Scale)
    Q_PROPERTY(double MinStart READ MinStart WRITE SetMinStart)
    Q_PROPERTY(double MaxStop READ MaxStop WRITE SetMaxStop)
    Q_PROPERTY(QString DateFormat READ DateFormat WRITE SetDateFormat)
    Q_PROPERTY(QString TimeFormat READ TimeFormat WRITE SetTimeFormat)
    Q_PROPERTY(int FirstDayOfWeek READ FirstDayOfWeek WRITE SetFirstDayOfWeek)
    Q_PROPERTY(bool WeekNumbers READ WeekNumbers WRITE SetWeekNumbers)
    Q_PROPERTY(QString WeekPrefix READ WeekPrefix WRITE SetWeekPrefix)
    Q_PROPERTY(QString WeekYearFormat READ WeekYearFormat WRITE SetWeekYearFormat)
    Q_PROPERTY(QString QuarterPrefix READ QuarterPrefix WRITE SetQuarterPrefix)
    Q_PROPERTY(TphHiddenHours HiddenHours READ HiddenHours WRITE SetHiddenHours)
    Q_PROPERTY(TphHiddenDays HiddenDays READ HiddenDays WRITE SetHiddenDays)
    Q_PROPERTY(bool IndicatorOn READ IndicatorOn WRITE SetIndicatorOn)
    Q_PROPERTY(TIndicatorStyle IndicatorStyle READ IndicatorStyle WRITE SetIndicatorStyle)
    Q_PROPERTY(bool Horizontal READ Horizontal WRITE SetHorizontal)
    Q_PROPERTY(int PixelsForModeSwitch READ PixelsForModeSwitch WRITE SetPixelsForModeSwitch)
    Q_PROPERTY(double ZoomFactor READ ZoomFactor WRITE SetZoomFactor)
    Q_PROPERTY(bool RescaleWithCtrl READ RescaleWithCtrl WRITE SetRescaleWithCtrl)
    Q_PROPERTY(QFont TextFont1 READ TextFont1 WRITE SetTextFont1)
    Q_PROPERTY(QFont TextFont2 READ TextFont2 WRITE SetTextFont2)
    Q_PROPERTY(QFont TextFont3 READ TextFont3 WRITE SetTextFont3)
    Q_PROPERTY(TLookAndFeel LookAndFeel READ LookAndFeel WRITE SetLookAndFeel)
    Q_PROPERTY(TScrollButtons ScrollButtons READ ScrollButtons WRITE SetScrollButtons)
    Q_PROPERTY(bool VerticalText READ VerticalText WRITE SetVerticalText)
    // Code page of the interface: 936 and 950 give Chinese day and month names, others English.
    Q_PROPERTY(int CodePage READ CodePage WRITE SetCodePage)

public:
    enum TIndicatorStyle { isNone, isNormal, isColorfull, isSober };
    Q_ENUM(TIndicatorStyle)
    enum TLookAndFeel { tlfClassic, tlfBoxed };
    Q_ENUM(TLookAndFeel)
    enum TScrollButtons { tsbClassic, tsbSmall, tsbOff };
    Q_ENUM(TScrollButtons)
    enum TphHiddenDay {
        thdSUN = 1 << 0,
        thdMON = 1 << 1,
        thdTUE = 1 << 2,
        thdWED = 1 << 3,
        thdTHU = 1 << 4,
        thdFRI = 1 << 5,
        thdSAT = 1 << 6
    };
    Q_DECLARE_FLAGS(TphHiddenDays, TphHiddenDay)
    Q_FLAG(TphHiddenDays)
    enum TphHiddenHour {
        thh00 = 1 << 0,
        thh01 = 1 << 1,
        thh02 = 1 << 2,
        thh03 = 1 << 3,
        thh04 = 1 << 4,
        thh05 = 1 << 5,
        thh06 = 1 << 6,
        thh07 = 1 << 7,
        thh08 = 1 << 8,
        thh09 = 1 << 9,
        thh10 = 1 << 10,
        thh11 = 1 << 11,
        thh12 = 1 << 12,
        thh13 = 1 << 13,
        thh14 = 1 << 14,
        thh15 = 1 << 15,
        thh16 = 1 << 16,
        thh17 = 1 << 17,
        thh18 = 1 << 18,
        thh19 = 1 << 19,
        thh20 = 1 << 20,
        thh21 = 1 << 21,
        thh22 = 1 << 22,
        thh23 = 1 << 23
    };
    Q_DECLARE_FLAGS(TphHiddenHours, TphHiddenHour)
    Q_FLAG(TphHiddenHours)

    // The private message the ruler posts to itself to report a change after it painted.
    static constexpr int WM_SCALERCHANGE = 3022;
    static QEvent::Type ChangeEventType() { return QEvent::Type(QEvent::User + WM_SCALERCHANGE); }
    // 4000-01-01: no window reaches beyond it.
    static constexpr double MaxDate = 767011;

    // Resolution levels, fine to coarse.
    static constexpr int LevelCount = 14;
    static double LevelDuration(int i);
    static QString LevelName(int i);
    // The first level longer than d; 100 years from 20 years on.
    static double NextLevel(double d);

    explicit TphDateScaler(QWidget* parent = nullptr);
    ~TphDateScaler() override;

    kv::TDateTime Start() const { return FStart; }
    void SetStart(kv::TDateTime x);
    kv::TDateTime Stop() const { return FStop; }
    void SetStop(kv::TDateTime x);
    // Visible days per pixel; 0 when the axis is shorter than a pixel.
    double Scale() const;
    virtual void SetScale(double s);
    virtual void ZoomAt(int p, kv::TDateTime d, double s);
    virtual double DurationOfPixels(int n) const { return Scale() * n; }
    virtual int AxisLength() const { return FHorizontal ? width() : height(); }
    virtual void BeginUpdate() { ++FUpdateCount; }
    virtual void EndUpdate();

    // Asking maps the window as it stands: a new size stretches the window when it arrives, not here.
    int PixelAtDate(kv::TDateTime x) const;
    kv::TDateTime DateAtPixel(int p) const;

    // Visible time: signed, the part of [a, b] that is not hidden.
    double VisibleBetween(kv::TDateTime a, kv::TDateTime b) const;
    // The date whose visible distance from b is t.
    kv::TDateTime AddVisible(double t, kv::TDateTime b) const;
    kv::TDateTime StepForwardOutOfHidden(kv::TDateTime x) const;
    kv::TDateTime StepBackwardOutOfHidden(kv::TDateTime x) const;
    bool IsHidden(kv::TDateTime x) const;
    double VisibleSpan() const;
    double VisibleWeek() const;

    // Ticks and their labels.
    void RebuildTicks();
    const std::vector<TScaleMark>& FineMarks();
    const std::vector<TScaleMark>& CoarseMarks();
    double FineStep() const { return FFineStep; }
    double CoarseStep() const { return FCoarseStep; }
    QString FineLevelName() const { return FFineLevelName; }
    QString CoarseLevelName() const { return FCoarseLevelName; }
    double PixelDuration() const { return FPixelDuration; }
    kv::TDateTime SnapDown(kv::TDateTime date, double level);
    static kv::TDateTime CalendarStep(kv::TDateTime date, double level);
    // The number of the calendar period of a level that holds the date (months and quarters counted
    // from year 0, years, decades, ...; fixed steps counted from day 0): neighbouring ticks differ by one.
    static qint64 PeriodNumber(kv::TDateTime date, double level);
    QString FineLabel(kv::TDateTime date, double step) const;
    QString CoarseLabel(kv::TDateTime date, double step) const;
    QString WeekLabel(kv::TDateTime date, bool longForm) const;
    // Week number of the date, with week 1 as the first week of which at most 3 days lie in the
    // year before; weekYear receives the year the week belongs to.
    int WeekNumber(kv::TDateTime date, int* weekYear = nullptr) const;
    static int QuarterNumber(kv::TDateTime date);
    // The period text of the indicator (normal and sober styles).
    QString IndicatorText() const;

    // Scrolling by keyboard and by the scroll buttons.
    void ScrollForwardStart();
    void ScrollBackwardStart();
    void ScrollStop();
    bool Scrolling() const;
    // Duration one timer tick scrolls, msSincePress after the press (the keyboard keeps the plain step).
    double ScrollStep(qint64 msSincePress, bool keyboard);
    void ScrollTick();
    QRect BackButtonRect() const { return FBtnBack; }
    QRect ForwardButtonRect() const { return FBtnForward; }

    // Published properties.
    double MinStart() const { return FMinStart; }
    void SetMinStart(double v) { FMinStart = v; }
    double MaxStop() const { return FMaxStop; }
    void SetMaxStop(double v) { FMaxStop = v; }
    QString DateFormat() const { return FDateFormat; }
    void SetDateFormat(const QString& v);
    QString TimeFormat() const { return FTimeFormat; }
    void SetTimeFormat(const QString& v);
    int FirstDayOfWeek() const { return FFirstDayOfWeek; }
    void SetFirstDayOfWeek(int v);
    bool WeekNumbers() const { return FWeekNumbers; }
    void SetWeekNumbers(bool v);
    QString WeekPrefix() const { return FWeekPrefix; }
    void SetWeekPrefix(const QString& v);
    QString WeekYearFormat() const { return FWeekYearFormat; }
    void SetWeekYearFormat(const QString& v);
    QString QuarterPrefix() const { return FQuarterPrefix; }
    void SetQuarterPrefix(const QString& v);
    TphHiddenHours HiddenHours() const { return FHiddenHours; }
    // A set that hides every hour (or every day) is refused: no time would be left to show.
    void SetHiddenHours(TphHiddenHours v);
    TphHiddenDays HiddenDays() const { return FHiddenDays; }
    void SetHiddenDays(TphHiddenDays v);
    bool IndicatorOn() const { return FIndicatorOn; }
    void SetIndicatorOn(bool v);
    TIndicatorStyle IndicatorStyle() const { return FIndicatorStyle; }
    void SetIndicatorStyle(TIndicatorStyle v);
    bool Horizontal() const { return FHorizontal; }
    void SetHorizontal(bool v);
    int PixelsForModeSwitch() const { return FPixelsForModeSwitch; }
    void SetPixelsForModeSwitch(int v);
    double ZoomFactor() const { return FZoomFactor; }
    void SetZoomFactor(double v) { FZoomFactor = v; }
    bool RescaleWithCtrl() const { return FRescaleWithCtrl; }
    void SetRescaleWithCtrl(bool v) { FRescaleWithCtrl = v; }
    QFont TextFont1() const { return FTextFont[0]; }
    void SetTextFont1(const QFont& f);
    QFont TextFont2() const { return FTextFont[1]; }
    void SetTextFont2(const QFont& f);
    QFont TextFont3() const { return FTextFont[2]; }
    void SetTextFont3(const QFont& f);
    TLookAndFeel LookAndFeel() const { return FLookAndFeel; }
    void SetLookAndFeel(TLookAndFeel v);
    TScrollButtons ScrollButtons() const { return FScrollButtons; }
    void SetScrollButtons(TScrollButtons v);
    bool VerticalText() const { return FVerticalText; }
    void SetVerticalText(bool v);
    int CodePage() const { return FCodePage; }
    void SetCodePage(int v);
    kv::DateLanguage Language() const;

    // Events; unassigned ones do nothing.
    std::function<void(TphDateScaler*)> OnChange;
    std::function<void(TphDateScaler*)> OnAnimateChange;
    using TOnUserStringEvent =
        std::function<void(kv::TDateTime theDate, double theStep, QString& theResult, int& theScalerFont)>;
    TOnUserStringEvent OnUserStringShort;
    TOnUserStringEvent OnUserStringLong;
    TOnUserStringEvent OnUserStringShortSub;
    // Returning true refuses the zoom.
    std::function<bool(TphDateScaler*, double scale, kv::TDateTime stop, kv::TDateTime start)> OnLimitScaling;
    std::function<void(TphDateScaler*, QPainter* canvas, const QRect& rect)> OnUserDrawBackground;
    std::function<void(TphDateScaler*, QPainter* canvas, const QRect& rect)> OnUserDrawForeground;

protected:
    void Paint() override;
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Time in whole milliseconds makes day and hour boundaries exact.
    qint64 VisibleMsInDay(qint64 day, qint64 fromMs, qint64 toMs) const;
    qint64 VisibleMsOfDay(qint64 day) const;
    bool DayHidden(qint64 day) const;
    bool HourHidden(int hour) const { return (FHiddenHours.toInt() >> hour) & 1; }
    bool NothingHidden() const { return !FHiddenDays && !FHiddenHours; }
    void HiddenTimeChanged();
    void BuildRow(std::vector<TScaleMark>& marks, double step, bool coarse);
    // Takes a new axis length: stretches the window to keep the scale while Stop was not set since the
    // last paint, and lays the ticks out again.
    void EnsureLayout();
    // The same in a paint or resize, where no error may go up: a window too narrow for its date is
    // logged.
    void EnsureLayoutQuietly();
    void TicksChanged();
    void FlagChange() { FChanged = true; }
    void SetWindow(kv::TDateTime start, kv::TDateTime stop);
    void MoveWindowBy(double visibleDelta);
    int AlongAxis(const QPoint& p) const { return FHorizontal ? p.x() : p.y(); }
    void UpdateButtonRects();
    void DrawLabels(QPainter& p, const std::vector<TScaleMark>& marks, double step, int across, int font,
                    bool sub);
    void DrawButton(QPainter& p, const QRect& r, bool forward, bool pressed);
    void DrawIndicator(QPainter& p);

    kv::TDateTime FStart = 0;
    kv::TDateTime FStop = 0;
    double FMinStart = 0;
    double FMaxStop = MaxDate;
    QString FDateFormat;
    QString FTimeFormat;
    int FFirstDayOfWeek = 2;
    bool FWeekNumbers = false;
    QString FWeekPrefix = QStringLiteral(" w ");
    QString FWeekYearFormat = QStringLiteral("YYYY");
    QString FQuarterPrefix = QStringLiteral(" Q");
    TphHiddenHours FHiddenHours;
    TphHiddenDays FHiddenDays;
    bool FIndicatorOn = true;
    TIndicatorStyle FIndicatorStyle = isNormal;
    bool FHorizontal = true;
    int FPixelsForModeSwitch = 15;
    double FZoomFactor = 0.9;
    bool FRescaleWithCtrl = false;
    QFont FTextFont[3];
    TLookAndFeel FLookAndFeel = tlfClassic;
    TScrollButtons FScrollButtons = tsbClassic;
    bool FVerticalText = false;
    int FCodePage = 437;

    std::vector<TScaleMark> FFine;
    std::vector<TScaleMark> FCoarse;
    std::vector<double> FFineDates;
    std::vector<double> FFinePos;
    double FFineStep = 0;
    double FCoarseStep = 0;
    QString FFineLevelName;
    QString FCoarseLevelName;
    double FPixelDuration = 0;
    // The axis length the ticks were laid out for; the mapping uses them only while it holds.
    int FTickAxis = -1;

    // Caches of the mapping.
    mutable double FSpan = 0;
    mutable kv::TDateTime FSpanStart = 0;
    mutable kv::TDateTime FSpanStop = 0;
    mutable bool FSpanValid = false;
    mutable qint64 FWeekMs = 0;
    mutable bool FWeekValid = false;
    qint64 FHourPrefixMs[25] = {};

    // Resize handling: the axis and scale of the last layout, and whether Stop was set since the last paint.
    int FLastAxis = -1;
    double FLastScale = 0;
    bool FStopSetSincePaint = false;

    QRect FBtnBack;
    QRect FBtnForward;
    QTimer* FScrollTimer = nullptr;
    bool FScrollForward = false;
    bool FScrollBackward = false;
    bool FKeyboardScroll = false;
    bool FPressed = false;
    bool FZoomDrag = false;
    int FPressPos = 0;
    int FLastMovePos = 0;
    QPoint FLastMouse;
    double FPressScale = 0;
    Qt::KeyboardModifiers FPressShift;
    kv::TDateTime FPressDate = 0;
    QElapsedTimer FPressClock;
    bool FChanged = false;
    int FUpdateCount = 0;
    bool FInRebuild = false;
    bool FScaleRefused = false;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TphDateScaler::TphHiddenDays)
Q_DECLARE_OPERATORS_FOR_FLAGS(TphDateScaler::TphHiddenHours)
