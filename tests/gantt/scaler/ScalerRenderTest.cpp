// The ruler rendered at several zoom levels: images for review and checks of ticks and labels.
#include <QDir>
#include <QImage>
#include <QTest>
#include <gtest/gtest.h>

#include "common/TestSupport.h"
#include "gantt/phScaler.h"

namespace {

using kv::encodeDate;
using kv::encodeTime;

std::unique_ptr<TphDateScaler> rendered(const QString& name, int width, double start, double stop,
                                        TphDateScaler::TphHiddenDays hidden = {}, QImage* image = nullptr) {
    auto s = std::make_unique<TphDateScaler>();
    s->SetCodePage(437);
    s->SetDateFormat("YYMMDD");
    s->SetTimeFormat("HH:MM:SS");
    s->resize(width, 45);
    s->SetStart(start);
    s->SetStop(stop);
    s->SetHiddenDays(hidden);
    const QImage img = s->grab().toImage();
    const QString dir = testsupport::binDir() + "/scaler_png";
    QDir().mkpath(dir);
    img.save(dir + "/" + name + ".png");
    if (image) *image = img;
    return s;
}

bool isBlack(const QImage& img, int x, int y) {
    return img.pixelColor(x, y) == QColor(Qt::black);
}

} // namespace

TEST(ScalerRender, HoursShowHourTicksUnderTheDay) {
    QImage img;
    const double day = encodeDate(2024, 3, 4);
    auto s = rendered("1_hours", 800, day + 0.25, day + 0.75, {}, &img);
    EXPECT_EQ(s->FineStep(), 1.0 / 24);
    EXPECT_EQ(s->CoarseStep(), 1.0);
    const auto& fine = s->FineMarks();
    ASSERT_EQ(fine.size(), 13u);
    for (int i = 0; i < 13; ++i) {
        EXPECT_NEAR(fine[size_t(i)].Pos, i * 800.0 / 12, 1e-6);
        EXPECT_EQ(fine[size_t(i)].Text, QString("%1").arg(6 + i, 2, 10, QChar('0')));
    }
    const auto& coarse = s->CoarseMarks();
    ASSERT_EQ(coarse.size(), 2u);
    EXPECT_NEAR(coarse[0].Pos, -400, 1e-6);
    EXPECT_EQ(coarse[0].Text, "Mon");
    EXPECT_NEAR(coarse[1].Pos, 1200, 1e-6);
    // Fine ticks are 5 pixels long at the bottom edge; between ticks the control colour shows.
    EXPECT_TRUE(isBlack(img, 67, 44));
    EXPECT_TRUE(isBlack(img, 67, 40));
    EXPECT_FALSE(isBlack(img, 67, 38));
    EXPECT_EQ(img.pixelColor(100, 43), s->palette().color(QPalette::Button));
    // The indicator's green bar spans the window's place in its month.
    EXPECT_TRUE(s->IndicatorText().startsWith("2024 Mar"));
}

TEST(ScalerRender, HiddenWeekendsCloseUpTheMonth) {
    QImage img;
    const auto weekend = TphDateScaler::TphHiddenDays(TphDateScaler::thdSAT | TphDateScaler::thdSUN);
    auto s = rendered("6_month_weekends_hidden", 1000, encodeDate(2024, 3, 1), encodeDate(2024, 4, 1),
                      weekend, &img);
    EXPECT_NEAR(s->VisibleSpan(), 21, 1e-9);
    EXPECT_EQ(s->FineStep(), 1.0);
    EXPECT_EQ(s->CoarseStep(), 7.0);
    int weekdaysBefore = 0;
    for (const TScaleMark& m : s->FineMarks()) {
        if (m.Date >= encodeDate(2024, 4, 1)) break;
        const int dow = kv::dayOfWeek(m.Date);
        const bool weekendDay = dow == 1 || dow == 7;
        EXPECT_EQ(m.Hidden, weekendDay) << m.Date;
        EXPECT_NEAR(m.Pos, weekdaysBefore * 1000.0 / 21, 1e-6);
        if (!weekendDay) {
            EXPECT_EQ(m.Text, kv::shortDayName(dow, kv::DateLanguage::English));
            ++weekdaysBefore;
        } else {
            EXPECT_TRUE(m.Text.isEmpty());
        }
    }
    EXPECT_EQ(weekdaysBefore, 21);
    const auto& coarse = s->CoarseMarks();
    ASSERT_GE(coarse.size(), 5u);
    EXPECT_EQ(coarse[0].Text, "240226");
    EXPECT_NEAR(coarse[0].Pos, -4 * 1000.0 / 21, 1e-6);
    EXPECT_EQ(coarse[1].Text, "240304");
    EXPECT_NEAR(coarse[1].Pos, 1000.0 / 21, 1e-6);
    // Monday 4 March: coarse tick 15 pixels high.
    EXPECT_TRUE(isBlack(img, 48, 31));
}

TEST(ScalerRender, EveryZoomLevelHasLabelsThatDoNotOverlap) {
    struct Case {
        const char* name;
        double start, stop;
        double fine, coarse;
    } cases[] = {
        {"2_days", encodeDate(2024, 3, 4), encodeDate(2024, 3, 15), 1, 7},
        {"3_months", encodeDate(2024, 1, 1), encodeDate(2024, 7, 1), 7, 27},
        {"4_years", encodeDate(2022, 1, 1), encodeDate(2026, 1, 1), 27, 86},
        {"5_decades", encodeDate(2000, 1, 1), encodeDate(2040, 1, 1), 365, 3652},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = rendered(c.name, 1000, c.start, c.stop);
        EXPECT_EQ(s->FineStep(), c.fine);
        EXPECT_EQ(s->CoarseStep(), c.coarse);
        double last = -1e9;
        for (const TScaleMark& m : s->FineMarks()) {
            EXPECT_GE(m.Pos - last, 15 - 1e-9);
            EXPECT_FALSE(m.Text.isEmpty());
            last = m.Pos;
        }
    }
}
