#include "gantt/phScaler.h"

#include <QScopeGuard>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/CodePage.h"
#include "platform/KvError.h"
#include "platform/Numbers.h"

namespace {

constexpr qint64 kDayMs = 86400000;
constexpr qint64 kHourMs = 3600000;
constexpr double kDayMsD = 86400000.0;
constexpr double kTenSeconds = 10.0 / 86400.0;

const double kLevels[TphDateScaler::LevelCount] = {10.0 / 86400000.0,
                                                   1.0 / 86400.0,
                                                   10.0 / 86400.0,
                                                   1.0 / 1440.0,
                                                   10.0 / 1440.0,
                                                   1.0 / 24.0,
                                                   1.0,
                                                   7.0,
                                                   27.0,
                                                   86.0,
                                                   365.0,
                                                   3652.0,
                                                   7305.0,
                                                   36524.0};
const char* const kLevelNames[TphDateScaler::LevelCount] = {
    "1 tiondel", "1 sek",   "10 sek",    "1 min", "10 min", "1 timme", "1 dag",
    "1 vecka",   "1 månad", "3 månader", "1 år",  "10 år",  "20 år",   "100 år"};

enum LevelIndex {
    L10ms,
    L1s,
    L10s,
    L1min,
    L10min,
    L1h,
    L1d,
    L7d,
    L27d,
    L86d,
    L365d,
    L3652d,
    L7305d,
    L36524d
};

inline bool isLevel(double step, LevelIndex level) {
    return step == kLevels[level];
}

inline qint64 floorDiv(qint64 a, qint64 b) {
    qint64 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

inline qint64 toMs(double x) {
    return std::llround(x * kDayMsD);
}

int yearOf(kv::TDateTime d) {
    int y, m, day;
    kv::decodeDate(d, y, m, day);
    return y;
}

kv::TDateTime safeEncode(int y, int m, int d) {
    y = std::clamp(y, 1, 9999);
    return kv::encodeDate(y, m, d);
}

// Day of week 1 = Sunday for the day that holds the instant (floor, not truncation).
int weekdayOfDay(qint64 day) {
    return int(((day + 6) % 7 + 7) % 7) + 1;
}

} // namespace

double TphDateScaler::LevelDuration(int i) {
    return i >= 0 && i < LevelCount ? kLevels[i] : 0;
}

QString TphDateScaler::LevelName(int i) {
    return i >= 0 && i < LevelCount ? QString::fromUtf8(kLevelNames[i]) : QString();
}

double TphDateScaler::NextLevel(double d) {
    for (double level : kLevels)
        if (level > d) return level;
    return kLevels[L36524d];
}

static QString levelNameOf(double step) {
    for (int i = 0; i < TphDateScaler::LevelCount; ++i)
        if (kLevels[i] == step) return TphDateScaler::LevelName(i);
    return {};
}

// ---------------------------------------------------------------------------------------------
// Construction and properties

TphDateScaler::TphDateScaler(QWidget* parent) : TphOffscreenPaint(parent) {
    setFocusPolicy(Qt::StrongFocus);
    FCodePage = kv::codepage::systemCodePage();
    for (QFont& f : FTextFont)
        f = QFont(QStringLiteral("Arial"), 7);
    FScrollTimer = new QTimer(this);
    FScrollTimer->setInterval(50);
    connect(FScrollTimer, &QTimer::timeout, this, [this] { ScrollTick(); });
    for (int h = 0; h <= 24; ++h)
        FHourPrefixMs[h] = h * kHourMs;
    FStart = kv::today();
    FStop = FStart + 7;
    RebuildTicks();
    FLastAxis = AxisLength();
    FLastScale = Scale();
    UpdateButtonRects();
}

TphDateScaler::~TphDateScaler() = default;

kv::DateLanguage TphDateScaler::Language() const {
    return FCodePage == kv::codepage::GBK || FCodePage == kv::codepage::BIG5 ? kv::DateLanguage::Chinese
                                                                             : kv::DateLanguage::English;
}

void TphDateScaler::TicksChanged() {
    RebuildTicks();
    Invalidate();
}

void TphDateScaler::SetDateFormat(const QString& v) {
    FDateFormat = v;
    TicksChanged();
}
void TphDateScaler::SetTimeFormat(const QString& v) {
    FTimeFormat = v;
    TicksChanged();
}
void TphDateScaler::SetFirstDayOfWeek(int v) {
    FFirstDayOfWeek = std::clamp(v, 1, 7);
    TicksChanged();
}
void TphDateScaler::SetWeekNumbers(bool v) {
    FWeekNumbers = v;
    TicksChanged();
}
void TphDateScaler::SetWeekPrefix(const QString& v) {
    FWeekPrefix = v;
    TicksChanged();
}
void TphDateScaler::SetWeekYearFormat(const QString& v) {
    FWeekYearFormat = v;
    TicksChanged();
}
void TphDateScaler::SetQuarterPrefix(const QString& v) {
    FQuarterPrefix = v;
    TicksChanged();
}
void TphDateScaler::SetCodePage(int v) {
    FCodePage = v;
    TicksChanged();
}
void TphDateScaler::SetPixelsForModeSwitch(int v) {
    FPixelsForModeSwitch = std::max(1, v);
    TicksChanged();
}
void TphDateScaler::SetIndicatorOn(bool v) {
    FIndicatorOn = v;
    Invalidate();
}
void TphDateScaler::SetIndicatorStyle(TIndicatorStyle v) {
    FIndicatorStyle = v;
    Invalidate();
}
void TphDateScaler::SetHorizontal(bool v) {
    if (FHorizontal == v) return;
    FHorizontal = v;
    FLastAxis = -1; // the axis is another side now: lay out again without stretching
    EnsureLayout();
    UpdateButtonRects();
    Invalidate();
}
void TphDateScaler::SetTextFont1(const QFont& f) {
    FTextFont[0] = f;
    Invalidate();
}
void TphDateScaler::SetTextFont2(const QFont& f) {
    FTextFont[1] = f;
    Invalidate();
}
void TphDateScaler::SetTextFont3(const QFont& f) {
    FTextFont[2] = f;
    Invalidate();
}
void TphDateScaler::SetLookAndFeel(TLookAndFeel v) {
    FLookAndFeel = v;
    Invalidate();
}
void TphDateScaler::SetScrollButtons(TScrollButtons v) {
    FScrollButtons = v;
    UpdateButtonRects();
    Invalidate();
}
void TphDateScaler::SetVerticalText(bool v) {
    FVerticalText = v;
    Invalidate();
}

void TphDateScaler::SetHiddenHours(TphHiddenHours v) {
    if ((v.toInt() & 0xFFFFFF) == 0xFFFFFF || v == FHiddenHours) return;
    FHiddenHours = TphHiddenHours(v.toInt() & 0xFFFFFF);
    HiddenTimeChanged();
}

void TphDateScaler::SetHiddenDays(TphHiddenDays v) {
    if ((v.toInt() & 0x7F) == 0x7F || v == FHiddenDays) return;
    FHiddenDays = TphHiddenDays(v.toInt() & 0x7F);
    HiddenTimeChanged();
}

void TphDateScaler::HiddenTimeChanged() {
    FHourPrefixMs[0] = 0;
    for (int h = 0; h < 24; ++h)
        FHourPrefixMs[h + 1] = FHourPrefixMs[h] + (HourHidden(h) ? 0 : kHourMs);
    FWeekValid = false;
    FSpanValid = false;
    RebuildTicks();
    FlagChange();
    Invalidate();
}

// ---------------------------------------------------------------------------------------------
// Visible time

bool TphDateScaler::DayHidden(qint64 day) const {
    return (FHiddenDays.toInt() >> (weekdayOfDay(day) - 1)) & 1;
}

qint64 TphDateScaler::VisibleMsInDay(qint64 day, qint64 fromMs, qint64 toMs) const {
    if (DayHidden(day) || toMs <= fromMs) return 0;
    if (!FHiddenHours) return toMs - fromMs;
    auto upTo = [this](qint64 t) -> qint64 {
        const int h = int(t / kHourMs);
        if (h >= 24) return FHourPrefixMs[24];
        return FHourPrefixMs[h] + (HourHidden(h) ? 0 : t - h * kHourMs);
    };
    return upTo(toMs) - upTo(fromMs);
}

qint64 TphDateScaler::VisibleMsOfDay(qint64 day) const {
    return DayHidden(day) ? 0 : FHourPrefixMs[24];
}

double TphDateScaler::VisibleWeek() const {
    if (!FWeekValid) {
        // Any seven consecutive days hold each weekday once.
        const qint64 first = qint64(kv::encodeDate(2002, 1, 1));
        FWeekMs = 0;
        for (qint64 d = first; d < first + 7; ++d)
            FWeekMs += VisibleMsOfDay(d);
        FWeekValid = true;
    }
    return FWeekMs / kDayMsD;
}

double TphDateScaler::VisibleBetween(kv::TDateTime a, kv::TDateTime b) const {
    if (a == b || !std::isfinite(a) || !std::isfinite(b)) return 0;
    if (NothingHidden()) return b - a;
    const double lo = std::min(a, b);
    const double hi = std::max(a, b);
    const qint64 mlo = toMs(lo);
    const qint64 mhi = toMs(hi);
    const qint64 dlo = floorDiv(mlo, kDayMs);
    const qint64 dhi = floorDiv(mhi, kDayMs);
    qint64 r;
    if (dlo == dhi) {
        r = VisibleMsInDay(dlo, mlo - dlo * kDayMs, mhi - dhi * kDayMs);
    } else {
        r = VisibleMsInDay(dlo, mlo - dlo * kDayMs, kDayMs) + VisibleMsInDay(dhi, 0, mhi - dhi * kDayMs);
        const qint64 first = dlo + 1;
        const qint64 whole = dhi - first;
        if (whole > 0) {
            // Whole weeks at once from the cached week; the rest day by day.
            VisibleWeek();
            const qint64 weeks = whole / 7;
            r += weeks * FWeekMs;
            for (qint64 d = first + weeks * 7; d < dhi; ++d)
                r += VisibleMsOfDay(d);
        }
    }
    double v = std::min(r / kDayMsD, hi - lo);
    return b >= a ? v : -v;
}

bool TphDateScaler::IsHidden(kv::TDateTime x) const {
    if (NothingHidden()) return false;
    const qint64 m = toMs(x);
    const qint64 day = floorDiv(m, kDayMs);
    return DayHidden(day) || HourHidden(int((m - day * kDayMs) / kHourMs));
}

kv::TDateTime TphDateScaler::StepForwardOutOfHidden(kv::TDateTime x) const {
    if (x < 0 || !IsHidden(x)) return x;
    qint64 m = toMs(x);
    for (int guard = 0; guard < 1000; ++guard) {
        const qint64 day = floorDiv(m, kDayMs);
        if (DayHidden(day)) {
            m = (day + 1) * kDayMs;
            continue;
        }
        const int h = int((m - day * kDayMs) / kHourMs);
        if (HourHidden(h)) {
            m = day * kDayMs + (h + 1) * kHourMs;
            continue;
        }
        break;
    }
    return m / kDayMsD;
}

kv::TDateTime TphDateScaler::StepBackwardOutOfHidden(kv::TDateTime x) const {
    if (x < 0 || !IsHidden(x)) return x;
    qint64 m = toMs(x);
    for (int guard = 0; guard < 1000; ++guard) {
        const qint64 day = floorDiv(m, kDayMs);
        if (DayHidden(day)) {
            m = m != day * kDayMs ? day * kDayMs : m - 1;
            continue;
        }
        const int h = int((m - day * kDayMs) / kHourMs);
        if (HourHidden(h)) {
            m = day * kDayMs + h * kHourMs - 1;
            continue;
        }
        break;
    }
    return m / kDayMsD;
}

kv::TDateTime TphDateScaler::AddVisible(double t, kv::TDateTime b) const {
    for (int guard = 0; guard < 10000; ++guard) {
        double r = b + t;
        if (r < 0) return 0;
        const double c = VisibleBetween(b, r);
        if (std::fabs(t - c) < kTenSeconds) return r;
        if (c == 0) r = t > 0 ? StepForwardOutOfHidden(r) : StepBackwardOutOfHidden(r);
        t -= c;
        b = r;
    }
    return b + t;
}

double TphDateScaler::VisibleSpan() const {
    if (!FSpanValid || FSpanStart != FStart || FSpanStop != FStop) {
        FSpan = VisibleBetween(FStart, FStop);
        FSpanStart = FStart;
        FSpanStop = FStop;
        FSpanValid = true;
    }
    return FSpan;
}

double TphDateScaler::Scale() const {
    const int axis = AxisLength();
    if (axis < 1) return 0;
    const double s = VisibleSpan() / axis;
    return s < 0 ? 0 : s;
}

// ---------------------------------------------------------------------------------------------
// The window

void TphDateScaler::SetStart(kv::TDateTime x) {
    if (x == FStart) return;
    if (x < 0) x = 0;
    const double span = VisibleSpan();
    FStart = x;
    FStop = std::min(MaxDate, AddVisible(span, FStart));
    FStopSetSincePaint = true;
    RebuildTicks();
    EnsureLayout();
    FlagChange();
    Invalidate();
}

void TphDateScaler::SetStop(kv::TDateTime x) {
    if (x == FStop) return;
    FStop = std::min(x, MaxDate);
    FStopSetSincePaint = true;
    RebuildTicks();
    EnsureLayout();
    FlagChange();
    FLastScale = Scale();
    Invalidate();
}

void TphDateScaler::SetWindow(kv::TDateTime start, kv::TDateTime stop) {
    if (start == FStart && stop == FStop) return;
    FStart = start;
    FStop = stop;
    FStopSetSincePaint = true;
    RebuildTicks();
    EnsureLayout();
    FlagChange();
    Invalidate();
}

void TphDateScaler::SetScale(double s) {
    const double oldStart = FStart;
    const double oldStop = FStop;
    FScaleRefused = false;
    SetStop(AddVisible(AxisLength() * s, FStart));
    if (VisibleSpan() < kTenSeconds) {
        SetWindow(oldStart, oldStop);
        FLastScale = Scale();
        FScaleRefused = true;
    }
}

void TphDateScaler::ZoomAt(int p, kv::TDateTime d, double s) {
    BeginUpdate();
    const auto endUpdate = qScopeGuard([this] { EndUpdate(); });
    const double oldStart = FStart;
    const double oldStop = FStop;
    SetStart(StepForwardOutOfHidden(AddVisible(-p * s, d)));
    SetScale(s);
    // A scale refused for its narrow window refuses the whole zoom, the move included.
    const bool refused = FScaleRefused || (OnLimitScaling && OnLimitScaling(this, Scale(), FStop, FStart));
    if (refused || VisibleSpan() < kTenSeconds) {
        SetWindow(oldStart, oldStop);
        FLastScale = Scale();
    }
}

void TphDateScaler::EndUpdate() {
    if (--FUpdateCount <= 0) {
        FUpdateCount = 0;
        Invalidate();
    }
}

void TphDateScaler::EnsureLayout() {
    if (FInRebuild) return;
    const int axis = AxisLength();
    if (axis == FLastAxis) return;
    const bool stretch = FLastAxis > 0 && axis >= 1 && !FStopSetSincePaint && FLastScale > 0;
    FLastAxis = axis;
    if (stretch) {
        // Resizing keeps the scale: the window grows or shrinks at its end.
        FStop = std::min(MaxDate, AddVisible(axis * FLastScale, FStart));
        FStopSetSincePaint = true;
        FlagChange();
    }
    RebuildTicks();
    FLastScale = Scale();
    UpdateButtonRects();
}

// ---------------------------------------------------------------------------------------------
// Mapping

int TphDateScaler::PixelAtDate(kv::TDateTime x) const {
    const double span = VisibleSpan();
    if (span <= 0) return 0;
    const int axisLength = AxisLength();
    const double axis = axisLength;
    // The last fine tick at or before x, while the ticks were laid out for this axis.
    const bool ticks = FTickAxis == axisLength;
    const auto it = ticks ? std::upper_bound(FFineDates.begin(), FFineDates.end(), x) : FFineDates.begin();
    double base = FStart;
    double basePos = 0;
    if (it != FFineDates.begin()) {
        const size_t i = size_t(it - FFineDates.begin()) - 1;
        base = FFineDates[i];
        basePos = FFinePos[i];
    }
    const double pos = kv::roundHalfEven(basePos + axis * VisibleBetween(base, x) / span);
    if (pos > INT_MAX / 2) return INT_MAX / 2;
    if (pos < INT_MIN / 2) return INT_MIN / 2;
    return int(pos);
}

kv::TDateTime TphDateScaler::DateAtPixel(int p) const {
    const int axis = AxisLength();
    const double scale = Scale();
    if (p <= 0) return FStart + p * scale;
    if (p >= axis) return FStop + (p - axis) * scale;
    double lo = FStart;
    double hi = FStop;
    if (FTickAxis == axis) {
        // The fine ticks around p; before the first tick the window's start stands in.
        const auto it = std::upper_bound(FFinePos.begin(), FFinePos.end(), double(p));
        const size_t next = size_t(it - FFinePos.begin());
        if (next > 0) lo = FFineDates[next - 1];
        if (next < FFineDates.size()) hi = FFineDates[next];
    }
    if (lo < FStart && PixelAtDate(FStart) <= p) lo = std::max(lo, FStart);
    double found = hi;
    for (int guard = 0; guard < 200; ++guard) {
        if (hi - lo < kv::kOneMillisecond) break;
        const double mid = (lo + hi) / 2;
        const int pm = PixelAtDate(mid);
        if (pm == p) {
            found = mid;
            break;
        }
        if (pm < p)
            lo = mid;
        else
            hi = mid;
        found = hi;
    }
    return StepBackwardOutOfHidden(found);
}

// ---------------------------------------------------------------------------------------------
// Ticks

kv::TDateTime TphDateScaler::SnapDown(kv::TDateTime date, double level) {
    int y, m, d;
    if (level == kLevels[L86d] || level == kLevels[L27d] || level >= kLevels[L365d]) {
        kv::decodeDate(date, y, m, d);
        if (level == kLevels[L86d]) return safeEncode(y, (m - 1) / 3 * 3 + 1, 1);
        if (level == kLevels[L27d]) return safeEncode(y, m, 1);
        if (level == kLevels[L365d]) return safeEncode(y, 1, 1);
        if (level == kLevels[L3652d]) return safeEncode(y - y % 10, 1, 1);
        if (level == kLevels[L7305d]) return safeEncode(y - y % 20, 1, 1);
        if (level == kLevels[L36524d]) return safeEncode(y - y % 100, 1, 1);
    }
    if (level == kLevels[L7d]) {
        qint64 day = qint64(std::floor(date));
        while (weekdayOfDay(day) != FFirstDayOfWeek)
            --day;
        return double(day);
    }
    if (level > kLevels[L1s]) {
        const double q = date / level + 0.5;
        // The tick arithmetic is 32-bit; beyond it the window is too narrow for its date.
        if (!(q < 2147483648.0 && q > -2147483649.0)) {
            FStop = FStart + 1;
            FStopSetSincePaint = true;
            FPressed = false;
            FZoomDrag = false;
            throw EKvError("To small span");
        }
        return std::trunc(q) * level;
    }
    return date;
}

kv::TDateTime TphDateScaler::CalendarStep(kv::TDateTime date, double level) {
    int y, m, d;
    kv::decodeDate(date, y, m, d);
    if (level == kLevels[L27d]) {
        ++m;
    } else if (level == kLevels[L86d]) {
        m = (m - 1) / 3 * 3 + 1 + 3;
    } else if (level == kLevels[L365d]) {
        return safeEncode(y + 1, 1, 1);
    } else if (level == kLevels[L3652d]) {
        return safeEncode(y + 10, 1, 1);
    } else if (level == kLevels[L7305d]) {
        return safeEncode(y + 20, 1, 1);
    } else if (level == kLevels[L36524d]) {
        return safeEncode(y + 100, 1, 1);
    } else {
        return date + level;
    }
    if (m > 12) {
        m -= 12;
        ++y;
    }
    return safeEncode(y, m, 1);
}

qint64 TphDateScaler::PeriodNumber(kv::TDateTime date, double level) {
    if (isLevel(level, L27d) || isLevel(level, L86d) || level >= kLevels[L365d]) {
        int y, m, d;
        kv::decodeDate(date, y, m, d);
        const qint64 months = qint64(y) * 12 + (m - 1);
        if (isLevel(level, L27d)) return months;
        if (isLevel(level, L86d)) return floorDiv(months, 3);
        if (isLevel(level, L365d)) return y;
        if (isLevel(level, L3652d)) return floorDiv(y, 10);
        if (isLevel(level, L7305d)) return floorDiv(y, 20);
        return floorDiv(y, 100);
    }
    // Weeks and shorter steps have one length: ticks lie whole steps apart.
    if (!(level > 0)) return 0;
    const double q = std::floor(date / level + 0.5);
    return q < 9.0e18 && q > -9.0e18 ? qint64(q) : 0;
}

void TphDateScaler::RebuildTicks() {
    if (FInRebuild) return;
    FInRebuild = true;
    const auto rebuilt = qScopeGuard([this] { FInRebuild = false; });
    FFine.clear();
    FCoarse.clear();
    FFineDates.clear();
    FFinePos.clear();
    FTickAxis = AxisLength();
    const double minStep = DurationOfPixels(FPixelsForModeSwitch);
    if (!(minStep > 0)) return;
    FFineStep = NextLevel(minStep);
    FCoarseStep = NextLevel(FFineStep);
    FFineLevelName = levelNameOf(FFineStep);
    FCoarseLevelName = levelNameOf(FCoarseStep);
    FPixelDuration = DurationOfPixels(10) / 10;
    try {
        BuildRow(FFine, FFineStep, false);
        BuildRow(FCoarse, FCoarseStep, true);
        // Dates and positions side by side keep the mapping's searches in cache.
        FFineDates.reserve(FFine.size());
        FFinePos.reserve(FFine.size());
        for (const TScaleMark& m : FFine) {
            FFineDates.push_back(m.Date);
            FFinePos.push_back(m.Pos);
        }
    } catch (const EKvError&) {
        // The window was made one day long; lay it out before the error goes up.
        FFine.clear();
        FCoarse.clear();
        FInRebuild = false;
        RebuildTicks();
        throw;
    }
}

void TphDateScaler::BuildRow(std::vector<TScaleMark>& marks, double step, bool coarse) {
    const double axis = AxisLength();
    const double span = VisibleSpan();
    if (span <= 0 || axis < 1) return;
    const bool calendar = step == kLevels[L27d] || step == kLevels[L86d] || step >= kLevels[L365d];
    double d = SnapDown(FStart, step);
    double prev = FStart;
    double pos = 0;
    // A wholly hidden stretch is skipped in whole steps, so the loop stays short at any zoom.
    for (int guard = 0; pos < axis && guard < 20000; ++guard) {
        const double p = pos + axis * VisibleBetween(prev, d) / span;
        double next = SnapDown(CalendarStep(d, step), step);
        if (!(next > d)) next = CalendarStep(d, step);
        TScaleMark mark;
        mark.Date = d;
        mark.Coarse = coarse;
        mark.Pos = p;
        mark.Hidden = !NothingHidden() && VisibleBetween(d, next) <= 0;
        if (mark.Hidden && !calendar) {
            const double visible = StepForwardOutOfHidden(next);
            const double k = std::floor((visible - d) / step) - 3;
            if (k > 1) next = SnapDown(d + k * step, step);
        }
        if (!mark.Hidden) {
            if (coarse) {
                mark.Text = CoarseLabel(d, step);
                mark.Font = 1;
                if (OnUserStringLong) OnUserStringLong(d, step, mark.Text, mark.Font);
            } else {
                mark.Text = FineLabel(d, step);
                mark.Font = 2;
                if (OnUserStringShort) OnUserStringShort(d, step, mark.Text, mark.Font);
                if (OnUserStringShortSub) OnUserStringShortSub(d, step, mark.SubText, mark.SubFont);
            }
        }
        marks.push_back(std::move(mark));
        pos = p;
        prev = d;
        d = next;
    }
}

const std::vector<TScaleMark>& TphDateScaler::FineMarks() {
    EnsureLayout();
    return FFine;
}

const std::vector<TScaleMark>& TphDateScaler::CoarseMarks() {
    EnsureLayout();
    return FCoarse;
}

// ---------------------------------------------------------------------------------------------
// Labels

int TphDateScaler::QuarterNumber(kv::TDateTime date) {
    int y, m, d;
    kv::decodeDate(date + 15, y, m, d);
    if (m < 1 || m > 12) throw EKvError("Internal error - impossible return value");
    return (m - 1) / 3 + 1;
}

int TphDateScaler::WeekNumber(kv::TDateTime date, int* weekYear) const {
    auto weekOneStart = [this](int year) -> double {
        const double jan1 = safeEncode(year, 1, 1);
        const int offset = ((kv::dayOfWeek(jan1) - FFirstDayOfWeek) % 7 + 7) % 7;
        if (offset <= 3) return jan1 - offset;
        const double jan8 = jan1 + 7;
        return jan8 - ((kv::dayOfWeek(jan8) - FFirstDayOfWeek) % 7 + 7) % 7;
    };
    const double day = std::floor(date);
    int year = yearOf(day);
    double start = weekOneStart(year);
    // The first days of January can still belong to the last week of the year before.
    if (day < start) {
        --year;
        start = weekOneStart(year);
    }
    int n = int((day - start) / 7) + 1;
    if (n >= 53) {
        const int next = year + 1;
        const double jan1 = safeEncode(next, 1, 1);
        const int offset = ((kv::dayOfWeek(jan1) - FFirstDayOfWeek) % 7 + 7) % 7;
        if (offset <= 3 && day >= weekOneStart(next)) {
            n = 1;
            year = next;
        }
    }
    if (weekYear) *weekYear = year;
    return n;
}

QString TphDateScaler::WeekLabel(kv::TDateTime date, bool longForm) const {
    if (!FWeekNumbers) return kv::formatDateTime(FDateFormat, date, Language());
    int weekYear = 0;
    const int n = WeekNumber(date, &weekYear);
    const QString number = FWeekPrefix + QString::number(n);
    if (!longForm) return number;
    double yearDate = date;
    const int year = yearOf(date);
    if (weekYear != year) yearDate = kv::incMonth(date, 12 * (weekYear - year));
    return kv::formatDateTime(FWeekYearFormat, yearDate, Language()) + number;
}

QString TphDateScaler::FineLabel(kv::TDateTime date, double step) const {
    const kv::DateLanguage lang = Language();
    if (isLevel(step, L1s) || isLevel(step, L10s))
        return kv::formatDateTime(QStringLiteral("SS"), date, lang);
    if (isLevel(step, L1min) || isLevel(step, L10min))
        return kv::formatDateTime(QStringLiteral("NN"), date, lang);
    if (isLevel(step, L1h)) return kv::formatDateTime(QStringLiteral("HH"), date, lang);
    if (isLevel(step, L1d)) return kv::formatDateTime(QStringLiteral("ddd"), date, lang);
    if (isLevel(step, L7d)) return WeekLabel(date, false);
    if (isLevel(step, L27d)) return kv::formatDateTime(QStringLiteral("mmm"), date, lang);
    if (isLevel(step, L86d)) return FQuarterPrefix + QString::number(QuarterNumber(date));
    if (isLevel(step, L365d) || isLevel(step, L3652d) || isLevel(step, L7305d) || isLevel(step, L36524d))
        return kv::formatDateTime(QStringLiteral("yy"), date, lang);
    if (isLevel(step, L10ms))
        return kv::formatDateTime(FDateFormat + QLatin1Char(' ') + FTimeFormat, date, lang);
    return {};
}

QString TphDateScaler::CoarseLabel(kv::TDateTime date, double step) const {
    const kv::DateLanguage lang = Language();
    if (isLevel(step, L1s) || isLevel(step, L10s) || isLevel(step, L1min) || isLevel(step, L10min) ||
        isLevel(step, L1h))
        return kv::formatDateTime(FTimeFormat, date, lang);
    if (isLevel(step, L1d)) return kv::formatDateTime(QStringLiteral("ddd"), date, lang);
    if (isLevel(step, L7d)) return WeekLabel(date, true);
    if (isLevel(step, L27d)) return kv::formatDateTime(QStringLiteral("yyyy mmm"), date, lang);
    if (isLevel(step, L86d))
        return kv::formatDateTime(QStringLiteral("yyyy"), date, lang) + FQuarterPrefix +
               QString::number(QuarterNumber(date));
    if (isLevel(step, L365d)) return kv::formatDateTime(QStringLiteral("yyyy"), date, lang);
    if (isLevel(step, L3652d) || isLevel(step, L7305d) || isLevel(step, L36524d))
        // The last year inside the period, whatever the number of leap days in it.
        return QStringLiteral("%1 - %2").arg(
            kv::formatDateTime(QStringLiteral("yyyy"), date, lang),
            kv::formatDateTime(QStringLiteral("yyyy"), CalendarStep(date, step) - 1, lang));
    if (isLevel(step, L10ms))
        return kv::formatDateTime(FDateFormat + QLatin1Char(' ') + FTimeFormat, date, lang);
    return {};
}

QString TphDateScaler::IndicatorText() const {
    const kv::DateLanguage lang = Language();
    const double span = FStop - FStart;
    int y1, m1, d1, y2, m2, d2;
    kv::decodeDate(FStart, y1, m1, d1);
    // The last instant inside the window decides the last year or month shown.
    kv::decodeDate(std::max(FStart, FStop - kv::kOneMillisecond), y2, m2, d2);
    if (FIndicatorStyle == isSober) {
        if (span > 365) return QStringLiteral("%1 - %2").arg(y1).arg(y2);
        if (span > 30 || (m1 != m2 || y1 != y2))
            return kv::formatDateTime(QStringLiteral("mmmm yyyy"), FStart, lang) + QStringLiteral(" - ") +
                   kv::formatDateTime(QStringLiteral("mmmm yyyy"), FStop, lang);
        if (span > 6) return kv::formatDateTime(QStringLiteral("mmmm yyyy"), FStart, lang);
        if (span > 3)
            return kv::formatDateTime(QStringLiteral("dddddd"), FStart, lang) + QStringLiteral(" - ") +
                   kv::formatDateTime(QStringLiteral("dddddd"), FStop, lang);
        return kv::formatDateTime(QStringLiteral("dddd dddddd"), FStart, lang);
    }
    if (span > 30)
        return QStringLiteral("%1-%2").arg(y1, 4, 10, QLatin1Char('0')).arg(y2, 4, 10, QLatin1Char('0'));
    return kv::formatDateTime(QStringLiteral("YYYY"), FStart, lang) + QLatin1Char(' ') +
           kv::shortMonthName(m1, lang) + QLatin1Char('-') + kv::shortMonthName(m2, lang);
}

// ---------------------------------------------------------------------------------------------
// Scrolling

double TphDateScaler::ScrollStep(qint64 msSincePress, bool keyboard) {
    double step = DurationOfPixels(15);
    if (!keyboard) {
        if (msSincePress > 5000)
            step *= 21;
        else if (msSincePress > 2000)
            step *= 3;
    }
    return step;
}

void TphDateScaler::MoveWindowBy(double visibleDelta) {
    const double span = VisibleSpan();
    double start = AddVisible(visibleDelta, FStart);
    start = visibleDelta >= 0 ? StepForwardOutOfHidden(start) : StepBackwardOutOfHidden(start);
    if (start < FMinStart) return;
    const double stop = AddVisible(span, start);
    if (stop > FMaxStop) return;
    BeginUpdate();
    SetWindow(start, stop);
    EndUpdate();
}

void TphDateScaler::ScrollForwardStart() {
    FKeyboardScroll = true;
    FScrollForward = true;
    FScrollBackward = false;
    FScrollTimer->setInterval(150);
    if (!FScrollTimer->isActive()) FScrollTimer->start();
}

void TphDateScaler::ScrollBackwardStart() {
    FKeyboardScroll = true;
    FScrollBackward = true;
    FScrollForward = false;
    FScrollTimer->setInterval(150);
    if (!FScrollTimer->isActive()) FScrollTimer->start();
}

void TphDateScaler::ScrollStop() {
    FScrollTimer->setInterval(50);
    FScrollTimer->stop();
    FScrollForward = false;
    FScrollBackward = false;
    FKeyboardScroll = false;
    FPressed = false;
    FZoomDrag = false;
    Invalidate();
}

bool TphDateScaler::Scrolling() const {
    return FScrollTimer->isActive();
}
