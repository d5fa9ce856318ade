#include <QDate>
#include <QRandomGenerator>
#include <gtest/gtest.h>

#include "gantt/phScaler.h"
#include "platform/KvError.h"
#include "platform/Numbers.h"

namespace {

using kv::encodeDate;
using kv::encodeTime;

constexpr double kSecond = 1.0 / 86400.0;

std::unique_ptr<TphDateScaler> makeScaler(int width, double start, double stop) {
    auto s = std::make_unique<TphDateScaler>();
    s->SetCodePage(437);
    s->SetDateFormat("YYMMDD");
    s->SetTimeFormat("HH:MM:SS");
    s->resize(width, 45);
    s->SetStart(start);
    s->SetStop(stop);
    return s;
}

const auto kWeekend = TphDateScaler::TphHiddenDays(TphDateScaler::thdSAT | TphDateScaler::thdSUN);

} // namespace

TEST(Scaler, PublishesItsSettingsWithTheirDefaults) {
    TphDateScaler s;
    auto prop = [&](const char* name) { return s.property(name); };
    EXPECT_EQ(prop("Start").toDouble(), kv::today());
    EXPECT_EQ(prop("Stop").toDouble(), kv::today() + 7);
    EXPECT_EQ(prop("MinStart").toDouble(), 0);
    EXPECT_EQ(prop("MaxStop").toDouble(), 767011);
    EXPECT_EQ(prop("FirstDayOfWeek").toInt(), 2);
    EXPECT_FALSE(prop("WeekNumbers").toBool());
    EXPECT_EQ(prop("WeekPrefix").toString(), " w ");
    EXPECT_EQ(prop("WeekYearFormat").toString(), "YYYY");
    EXPECT_EQ(prop("QuarterPrefix").toString(), " Q");
    EXPECT_TRUE(prop("IndicatorOn").toBool());
    EXPECT_EQ(prop("IndicatorStyle").toInt(), TphDateScaler::isNormal);
    EXPECT_EQ(prop("PixelsForModeSwitch").toInt(), 15);
    EXPECT_DOUBLE_EQ(prop("ZoomFactor").toDouble(), 0.9);
    EXPECT_FALSE(prop("VerticalText").toBool());
    EXPECT_EQ(prop("TextFont2").value<QFont>().family(), "Arial");
    EXPECT_EQ(prop("TextFont3").value<QFont>().pointSize(), 7);
    EXPECT_EQ(prop("HiddenDays").toInt(), 0);
    EXPECT_NEAR(s.Scale(), 7.0 / s.AxisLength(), 1e-12);
    // Set by name, as settings and language files do.
    EXPECT_TRUE(s.setProperty("HiddenDays", int(kWeekend)));
    EXPECT_EQ(s.HiddenDays(), kWeekend);
    EXPECT_TRUE(s.setProperty("LookAndFeel", TphDateScaler::tlfBoxed));
    EXPECT_EQ(s.LookAndFeel(), TphDateScaler::tlfBoxed);
}

TEST(Scaler, WithoutHiddenTimeTheMappingIsLinear) {
    auto s = makeScaler(1600, encodeDate(2024, 3, 4) + 0.25, encodeDate(2024, 3, 15) + 0.75);
    const double scale = s->Scale();
    EXPECT_NEAR(scale, 11.5 / 1600, 1e-12);
    QRandomGenerator rng(7);
    for (int i = 0; i < 2000; ++i) {
        const double d = s->Start() - 3 + rng.generateDouble() * 17.5;
        const double exact = (d - s->Start()) / scale;
        if (std::fabs(exact - std::floor(exact) - 0.5) < 1e-6) continue; // a tie is decided by rounding noise
        ASSERT_EQ(s->PixelAtDate(d), int(kv::roundHalfEven(exact))) << d;
    }
    EXPECT_DOUBLE_EQ(s->DateAtPixel(-10), s->Start() - 10 * scale);
    EXPECT_DOUBLE_EQ(s->DateAtPixel(1610), s->Stop() + 10 * scale);
}

TEST(Scaler, HiddenDaysAndHoursTakeNoRoom) {
    auto s = makeScaler(1000, encodeDate(2024, 3, 1), encodeDate(2024, 3, 29));
    s->SetHiddenDays(kWeekend);
    const double friday2300 = encodeDate(2024, 3, 8) + encodeTime(23, 0, 0, 0);
    const double monday0100 = encodeDate(2024, 3, 11) + encodeTime(1, 0, 0, 0);
    EXPECT_NEAR(s->VisibleBetween(friday2300, monday0100), 2.0 / 24, 1e-12);
    EXPECT_NEAR(s->VisibleBetween(monday0100, friday2300), -2.0 / 24, 1e-12);
    EXPECT_NEAR(s->PixelAtDate(monday0100) - s->PixelAtDate(friday2300), (2.0 / 24) / s->Scale(), 1.0);
    // Four weeks hold 20 visible days, however they are cut.
    EXPECT_NEAR(s->VisibleSpan(), 20.0, 1e-9);
    EXPECT_NEAR(s->VisibleBetween(encodeDate(2024, 1, 3) + 0.5, encodeDate(2025, 1, 3) + 0.5), 262, 1e-9);

    // Hours 0-7 and 18-23 hidden: ten visible hours a day.
    TphDateScaler::TphHiddenHours hours;
    for (int h : {0, 1, 2, 3, 4, 5, 6, 7, 18, 19, 20, 21, 22, 23})
        hours |= TphDateScaler::TphHiddenHour(1 << h);
    s->SetHiddenHours(hours);
    const double monday = encodeDate(2024, 3, 11);
    EXPECT_NEAR(s->VisibleBetween(monday + encodeTime(6, 30, 0, 0), monday + encodeTime(9, 15, 0, 0)),
                1.25 / 24, 1e-12);
    EXPECT_NEAR(s->VisibleBetween(monday, monday + 7), 50.0 / 24, 1e-12);
    EXPECT_NEAR(s->AddVisible(1.0 / 24, monday + encodeTime(17, 30, 0, 0)),
                monday + 1 + encodeTime(8, 30, 0, 0), 1e-9);
    EXPECT_NEAR(s->AddVisible(2.0 / 24, encodeDate(2024, 3, 15) + encodeTime(17, 0, 0, 0)),
                monday + 7 + encodeTime(9, 0, 0, 0), 1e-9);
    EXPECT_NEAR(s->StepForwardOutOfHidden(monday + encodeTime(20, 0, 0, 0)),
                monday + 1 + encodeTime(8, 0, 0, 0), 1e-9);
    EXPECT_NEAR(s->StepBackwardOutOfHidden(monday + encodeTime(20, 0, 0, 0)),
                monday + encodeTime(17, 59, 59, 999), 1e-9);
    EXPECT_NEAR(s->StepForwardOutOfHidden(monday - 2 + 0.4), monday + encodeTime(8, 0, 0, 0), 1e-9);
    EXPECT_NEAR(s->StepBackwardOutOfHidden(monday - 1 + 0.4), monday - 3 + encodeTime(17, 59, 59, 999), 1e-9);
    EXPECT_EQ(s->StepForwardOutOfHidden(-3.5), -3.5);

    // Hiding every day (or hour) would leave nothing to show: refused.
    s->SetHiddenDays(TphDateScaler::TphHiddenDays(0x7F));
    EXPECT_EQ(s->HiddenDays(), kWeekend);
    s->SetHiddenHours(TphDateScaler::TphHiddenHours(0xFFFFFF));
    EXPECT_EQ(s->HiddenHours(), hours);
}

// The visible length of a week and of the window are kept between calls: a new choice of hidden days
// measures by the new choice, not by the one measured first.
TEST(Scaler, HiddenDaysChosenAgainMeasureByTheNewChoice) {
    const double monday = encodeDate(2024, 3, 4);
    auto s = makeScaler(1200, monday, monday + 14);
    s->SetHiddenDays(kWeekend);
    EXPECT_NEAR(s->VisibleBetween(monday, monday + 14), 10, 1e-9);
    EXPECT_NEAR(s->VisibleSpan(), 10, 1e-9);
    s->SetHiddenDays(TphDateScaler::thdSUN);
    EXPECT_EQ(s->Stop(), monday + 14);
    EXPECT_NEAR(s->VisibleBetween(monday, monday + 14), 12, 1e-9);
    EXPECT_NEAR(s->VisibleSpan(), 12, 1e-9);
    EXPECT_NEAR(s->Scale(), 12.0 / 1200, 1e-12);
    EXPECT_EQ(s->PixelAtDate(monday + 7), 600); // six of the twelve visible days
}

TEST(Scaler, ElevenDaysOn585PixelsShowDaysAndWeeks) {
    auto s = makeScaler(585, encodeDate(2023, 1, 2), encodeDate(2023, 1, 13));
    EXPECT_EQ(s->FineStep(), 1.0);
    EXPECT_EQ(s->FineLevelName(), "1 dag");
    EXPECT_EQ(s->CoarseStep(), 7.0);
    EXPECT_EQ(s->CoarseLevelName(), "1 vecka");
    const auto& fine = s->FineMarks();
    ASSERT_GE(fine.size(), 11u);
    EXPECT_EQ(fine[0].Text, "Mon");
    EXPECT_EQ(fine[4].Text, "Fri");
    EXPECT_NEAR(fine[1].Pos, 585.0 / 11, 1e-9);
    const auto& coarse = s->CoarseMarks();
    ASSERT_GE(coarse.size(), 2u);
    EXPECT_EQ(coarse[0].Text, "230102");
    EXPECT_EQ(coarse[1].Text, "230109");
    s->SetWeekNumbers(true);
    EXPECT_EQ(s->CoarseMarks()[0].Text, "2023 w 1");
    EXPECT_EQ(s->FineMarks()[0].Text, "Mon");
    s->SetCodePage(936);
    EXPECT_EQ(s->FineMarks()[0].Text, QString::fromUtf8("周一"));
}

TEST(Scaler, WeekLabelsCarryTheIsoWeekForEveryMonday) {
    TphDateScaler s;
    s.SetWeekNumbers(true);
    s.SetFirstDayOfWeek(2);
    int checked = 0;
    for (QDate d(1990, 1, 1); d.year() <= 2040; d = d.addDays(7)) {
        ASSERT_EQ(d.dayOfWeek(), 1);
        int isoYear = 0;
        const int week = d.weekNumber(&isoYear);
        const double date = kv::fromQDate(d);
        ASSERT_EQ(s.WeekLabel(date, true), QString("%1 w %2").arg(isoYear).arg(week))
            << d.toString().toStdString();
        ASSERT_EQ(s.WeekLabel(date, false), QString(" w %1").arg(week));
        ++checked;
    }
    EXPECT_GT(checked, 2600);
    // Any day, including the first days of January that belong to the year before.
    for (QDate d(1995, 1, 1); d.year() <= 2035; d = d.addDays(1)) {
        int isoYear = 0, weekYear = 0;
        const int week = d.weekNumber(&isoYear);
        ASSERT_EQ(s.WeekNumber(kv::fromQDate(d) + 0.7, &weekYear), week) << d.toString().toStdString();
        ASSERT_EQ(weekYear, isoYear);
    }
}

TEST(Scaler, DateAtPixelInvertsPixelAtDateAtEveryZoom) {
    const double base = encodeDate(2021, 6, 7) + 0.3;
    const double spans[] = {2.0 / 24, 1, 11, 95, 730, 3652, 21900};
    for (bool weekend : {false, true}) {
        for (double span : spans) {
            auto s = makeScaler(1200, base, base + span);
            if (weekend) s->SetHiddenDays(kWeekend);
            SCOPED_TRACE(testing::Message() << "span " << span << (weekend ? " weekend hidden" : ""));
            const double scale = s->Scale();
            ASSERT_GT(scale, 0);
            int last = INT_MIN;
            for (int i = 0; i <= 1500; ++i) {
                const double d = s->Start() + (s->Stop() - s->Start()) * i / 1500.0;
                const int p = s->PixelAtDate(d);
                ASSERT_GE(p, last) << "not monotonic at " << d;
                last = p;
                if (p <= 0 || p >= 1200) continue;
                const double back = s->DateAtPixel(p);
                ASSERT_LE(std::fabs(s->VisibleBetween(d, back)), scale * (1 + 1e-9)) << d << " -> " << back;
                if (!weekend) {
                    ASSERT_LE(std::fabs(back - d), scale * (1 + 1e-9));
                }
                ASSERT_FALSE(s->IsHidden(back));
            }
        }
    }
}

TEST(Scaler, RefusesWindowsNarrowerThanTenSecondsAndClamps) {
    auto s = makeScaler(1000, encodeDate(2024, 3, 4), encodeDate(2024, 3, 5));
    const double start = s->Start(), stop = s->Stop();
    s->SetScale(5 * kSecond / 1000);
    EXPECT_EQ(s->Start(), start);
    EXPECT_EQ(s->Stop(), stop);
    s->ZoomAt(500, start + 0.5, 5 * kSecond / 1000);
    EXPECT_EQ(s->Start(), start);
    EXPECT_EQ(s->Stop(), stop);
    s->SetScale(20 * kSecond / 1000);
    EXPECT_NEAR(s->Stop() - s->Start(), 20 * kSecond, 1e-9);

    s->SetStop(900000);
    EXPECT_EQ(s->Stop(), 767011);
    s->SetStart(-5);
    EXPECT_EQ(s->Start(), 0);
}

TEST(Scaler, TooSmallSpanForFarDatesEndsInOneDayWindow) {
    auto s = makeScaler(640, 300000, 300000 + 1);
    // Three minutes on 640 pixels asks for ten-second ticks, whose count no longer fits.
    try {
        s->SetStop(300000 + 3.0 / 1440);
        FAIL() << "expected an error";
    } catch (const EKvError& e) {
        EXPECT_EQ(e.message(), "To small span");
    }
    EXPECT_EQ(s->Stop(), s->Start() + 1);
    EXPECT_FALSE(s->FineMarks().empty());
}

TEST(Scaler, ZoomAtKeepsTheDateUnderThePixel) {
    auto s = makeScaler(1000, encodeDate(2024, 3, 4), encodeDate(2024, 3, 14));
    s->SetHiddenDays(kWeekend);
    const double d = encodeDate(2024, 3, 7) + 0.5;
    const double scale = s->Scale() / 2;
    s->ZoomAt(400, d, scale);
    EXPECT_NEAR(s->Scale(), scale, scale * 1e-3);
    EXPECT_NEAR(s->PixelAtDate(d), 400, 1);

    int asked = 0;
    s->OnLimitScaling = [&](TphDateScaler*, double, double, double) {
        ++asked;
        return true;
    };
    const double start = s->Start(), stop = s->Stop();
    s->ZoomAt(100, d, scale * 3);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(s->Start(), start);
    EXPECT_EQ(s->Stop(), stop);
}

TEST(Scaler, SnapsStepsAndLabelsByLevel) {
    TphDateScaler s;
    s.SetCodePage(437);
    const double may = encodeDate(2024, 5, 17) + 0.6;
    EXPECT_EQ(s.SnapDown(may, 86), encodeDate(2024, 4, 1));
    EXPECT_EQ(s.SnapDown(may, 27), encodeDate(2024, 5, 1));
    EXPECT_EQ(s.SnapDown(may, 3652), encodeDate(2020, 1, 1));
    EXPECT_EQ(s.SnapDown(may, 7305), encodeDate(2020, 1, 1));
    EXPECT_EQ(s.SnapDown(may, 36524), encodeDate(2000, 1, 1));
    EXPECT_EQ(s.SnapDown(may, 7), encodeDate(2024, 5, 13)); // Monday
    s.SetFirstDayOfWeek(1);
    EXPECT_EQ(s.SnapDown(may, 7), encodeDate(2024, 5, 12)); // Sunday
    EXPECT_EQ(s.SnapDown(may, 1), encodeDate(2024, 5, 18)); // fixed levels go to the nearest multiple
    EXPECT_EQ(TphDateScaler::CalendarStep(encodeDate(2024, 12, 1), 27), encodeDate(2025, 1, 1));
    EXPECT_EQ(TphDateScaler::CalendarStep(encodeDate(2024, 11, 1), 86), encodeDate(2025, 1, 1));
    EXPECT_EQ(TphDateScaler::CalendarStep(encodeDate(2020, 1, 1), 7305), encodeDate(2040, 1, 1));
    EXPECT_EQ(TphDateScaler::NextLevel(0.5), 1.0);
    EXPECT_EQ(TphDateScaler::NextLevel(1.0), 7.0);
    EXPECT_EQ(TphDateScaler::NextLevel(8000), 36524.0);
    EXPECT_EQ(TphDateScaler::NextLevel(50000), 36524.0);

    // The quarter is that of the date 15 days on.
    EXPECT_EQ(TphDateScaler::QuarterNumber(encodeDate(2024, 3, 20)), 2);
    EXPECT_EQ(s.FineLabel(encodeDate(2024, 4, 1), 86), " Q2");
    EXPECT_EQ(s.CoarseLabel(encodeDate(2024, 4, 1), 86), "2024 Q2");
    // Decades and centuries name their last year, however many leap days they hold.
    EXPECT_EQ(s.CoarseLabel(encodeDate(2020, 1, 1), 3652), "2020 - 2029");
    EXPECT_EQ(s.CoarseLabel(encodeDate(2010, 1, 1), 3652), "2010 - 2019");
    EXPECT_EQ(s.CoarseLabel(encodeDate(1900, 1, 1), 36524), "1900 - 1999");
    EXPECT_EQ(s.CoarseLabel(encodeDate(2000, 1, 1), 36524), "2000 - 2099");
    EXPECT_EQ(s.CoarseLabel(encodeDate(2024, 4, 1), 27), "2024 Apr");
    EXPECT_EQ(s.FineLabel(encodeDate(2024, 4, 1), 365), "24");
    s.SetTimeFormat("HH:MM:SS");
    EXPECT_EQ(s.CoarseLabel(encodeDate(2024, 4, 1) + encodeTime(13, 40, 0, 0), 1.0 / 24), "13:40:00");
    EXPECT_EQ(s.FineLabel(encodeDate(2024, 4, 1) + encodeTime(13, 40, 20, 0), 10.0 / 86400), "20");
    s.SetCodePage(950);
    EXPECT_EQ(s.CoarseLabel(encodeDate(2024, 4, 1), 27), QString::fromUtf8("2024 4月"));
}

TEST(Scaler, IndicatorNamesThePeriod) {
    auto s = makeScaler(800, encodeDate(2024, 3, 4), encodeDate(2024, 4, 10));
    EXPECT_EQ(s->IndicatorText(), "2024-2024");
    s->SetStop(encodeDate(2024, 3, 20));
    EXPECT_EQ(s->IndicatorText(), "2024 Mar-Mar");
    s->SetStop(encodeDate(2024, 4, 2));
    EXPECT_EQ(s->IndicatorText(), "2024 Mar-Apr");
    s->SetStop(encodeDate(2026, 2, 1));
    EXPECT_EQ(s->IndicatorText(), "2024-2026");
}

TEST(Scaler, ScrollingAcceleratesWhileTheButtonIsHeld) {
    auto s = makeScaler(1000, encodeDate(2024, 3, 4), encodeDate(2024, 3, 14));
    const double plain = s->DurationOfPixels(15);
    EXPECT_DOUBLE_EQ(s->ScrollStep(100, false), plain);
    EXPECT_DOUBLE_EQ(s->ScrollStep(2500, false), 3 * plain);
    EXPECT_DOUBLE_EQ(s->ScrollStep(6000, false), 21 * plain);
    EXPECT_DOUBLE_EQ(s->ScrollStep(6000, true), plain);
}

TEST(Scaler, ResizeKeepsTheScaleUnlessStopWasSet) {
    auto s = makeScaler(1000, encodeDate(2024, 3, 4), encodeDate(2024, 3, 14));
    s->show(); // a shown ruler gets its resizes at once
    s->grab(); // a paint
    const double scale = s->Scale();
    s->resize(1500, 45);
    // The resize itself stretched the window, before anything asked the ruler.
    EXPECT_NEAR(s->Stop(), encodeDate(2024, 3, 19), 1e-6);
    EXPECT_NEAR(s->Scale(), scale, 1e-12);
    s->grab();
    s->resize(1000, 45);
    s->SetStop(encodeDate(2024, 3, 24));
    EXPECT_EQ(s->Stop(), encodeDate(2024, 3, 24));
    EXPECT_NEAR(s->Scale(), 20.0 / 1000, 1e-12);
    // Set back to the value it had at the last paint: still a window the caller chose.
    s->grab();
    s->SetStop(encodeDate(2024, 3, 14));
    s->SetStop(encodeDate(2024, 3, 24));
    s->resize(500, 45);
    EXPECT_EQ(s->Stop(), encodeDate(2024, 3, 24));
    EXPECT_NEAR(s->Scale(), 20.0 / 500, 1e-12);
}

TEST(Scaler, AskingTheMappingLeavesTheWindowAlone) {
    auto s = makeScaler(1000, encodeDate(2024, 3, 4), encodeDate(2024, 3, 14));
    s->grab();
    s->resize(1500, 45); // hidden: the new size reaches the ruler when it is shown
    const kv::TDateTime mid = encodeDate(2024, 3, 9);
    EXPECT_EQ(s->PixelAtDate(mid), 750);
    EXPECT_NEAR(s->DateAtPixel(750), mid, 1e-3);
    EXPECT_NEAR(s->Scale(), 10.0 / 1500, 1e-12);
    EXPECT_EQ(s->Stop(), encodeDate(2024, 3, 14));
    s->show();
    EXPECT_NEAR(s->Stop(), encodeDate(2024, 3, 19), 1e-6);
    EXPECT_EQ(s->PixelAtDate(mid), 500);
}

TEST(Scaler, HourTicksSkipAHiddenWeekendInWholeSteps) {
    const double friday = encodeDate(2024, 3, 8);
    auto s = makeScaler(1200, friday + 0.5, friday + 4.5);
    s->SetHiddenDays(kWeekend);
    EXPECT_NEAR(s->VisibleSpan(), 2.0, 1e-12);
    ASSERT_EQ(s->FineStep(), 1.0 / 24);
    const auto& fine = s->FineMarks();
    int hidden = 0;
    double hiddenPos = -1;
    for (const TScaleMark& m : fine) {
        if (!m.Hidden) continue;
        ++hidden;
        if (hiddenPos < 0) hiddenPos = m.Pos;
        EXPECT_NEAR(m.Pos, 300, 1e-6); // all of the weekend sits on Friday midnight
    }
    // Saturday 00:00, then a jump to Sunday 21:00 and three more hours before Monday.
    EXPECT_EQ(hidden, 4);
    EXPECT_LE(fine.size(), size_t(48 + hidden + 2)); // the last one or two reach past the axis
    const auto monday = std::find_if(fine.begin(), fine.end(),
                                     [&](const TScaleMark& m) { return m.Date >= friday + 3 - 1e-9; });
    ASSERT_NE(monday, fine.end());
    EXPECT_NEAR(monday->Date, friday + 3, 1e-9);
    EXPECT_NEAR(monday->Pos, 300, 1e-6);
    EXPECT_EQ(monday->Text, "00");
    // Scrolling across the weekend never leaves the window starting in hidden time.
    for (int i = 0; i < 40; ++i) {
        s->SetStart(s->StepForwardOutOfHidden(s->AddVisible(s->DurationOfPixels(37), s->Start())));
        ASSERT_FALSE(s->IsHidden(s->Start()));
        ASSERT_NEAR(s->VisibleSpan(), 2.0, 10.0 / 86400);
    }
}
