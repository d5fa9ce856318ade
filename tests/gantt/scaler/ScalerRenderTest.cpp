// The ruler rendered at several zoom levels: images for review and checks of ticks and labels.
#include <QDir>
#include <QImage>
#include <QPainter>
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
    img.save(testsupport::pictureDir("scaler") + "/" + name + ".png");
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

TEST(ScalerRender, BoxedLookColourfulIndicatorAndHooks) {
    TphDateScaler s;
    s.SetCodePage(437);
    s.SetDateFormat("YYMMDD");
    s.resize(1000, 45);
    s.SetStart(encodeDate(2024, 3, 4));
    s.SetStop(encodeDate(2024, 3, 14));
    s.SetLookAndFeel(TphDateScaler::tlfBoxed);
    s.SetIndicatorStyle(TphDateScaler::isColorfull);
    s.OnUserStringShort = [](double date, double step, QString& text, int& font) {
        if (step == 1.0 && kv::dayOfWeek(date) == 5) {
            text = "MID";
            font = 3;
        }
    };
    s.OnUserStringShortSub = [](double date, double, QString& text, int&) {
        text = QString::number(int(date) % 7);
    };
    QRect background, foreground;
    s.OnUserDrawBackground = [&](TphDateScaler*, QPainter* canvas, const QRect& r) {
        ASSERT_NE(canvas, nullptr);
        background = r;
    };
    s.OnUserDrawForeground = [&](TphDateScaler*, QPainter* canvas, const QRect& r) {
        canvas->fillRect(QRect(990, 40, 5, 5), Qt::magenta);
        foreground = r;
    };
    s.RebuildTicks(); // labels pass through the hooks when ticks are made
    const QImage img = s.grab().toImage();
    img.save(testsupport::pictureDir("scaler") + "/7_boxed_colourful.png");
    EXPECT_EQ(background, s.rect());
    EXPECT_EQ(foreground, s.rect());
    EXPECT_EQ(img.pixelColor(992, 42), QColor(Qt::magenta));
    EXPECT_EQ(s.FineMarks()[3].Text, "MID");
    EXPECT_EQ(s.FineMarks()[3].Font, 3);
    EXPECT_FALSE(s.FineMarks()[0].SubText.isEmpty());
    // Boxed: grey rules under the coarse and fine rows, no tick lines from the bottom.
    EXPECT_EQ(img.pixelColor(500, 15), QColor(128, 128, 128));
    EXPECT_EQ(img.pixelColor(500, 30), QColor(128, 128, 128));
    EXPECT_EQ(img.pixelColor(100, 44), QColor(128, 128, 128)); // day separator at Tuesday, 100 px
    EXPECT_NE(img.pixelColor(150, 44), QColor(Qt::black));
    // Ten days: the day and week bars are full (yellow drawn over green), the month bar (red) reaches a
    // third, the year bar (blue) 2.7 pixels.
    EXPECT_EQ(img.pixelColor(500 + 20, 7), QColor(255, 0, 0));
    EXPECT_EQ(img.pixelColor(500 + 1, 7), QColor(0, 0, 255));
    EXPECT_EQ(img.pixelColor(500 + 60, 7), QColor(255, 255, 0));
    EXPECT_EQ(img.pixelColor(500 + 95, 7), QColor(255, 255, 0));
    EXPECT_EQ(img.pixelColor(500 + 101, 7), s.palette().color(QPalette::Button));
    // Scroll buttons are left out when printing.
    EXPECT_EQ(img.pixelColor(1, 8), QColor(Qt::white));   // lit edge of the back button
    EXPECT_EQ(img.pixelColor(11, 11), QColor(Qt::black)); // its arrow
    s.SetPrinting(true);
    s.SetIndicatorStyle(TphDateScaler::isNone);
    const QImage printed = s.grab().toImage();
    EXPECT_EQ(printed.pixelColor(1, 8), s.palette().color(QPalette::Button));
    EXPECT_EQ(printed.pixelColor(11, 11), s.palette().color(QPalette::Button));
}

TEST(ScalerRender, VerticalRulerRunsTopToBottom) {
    TphDateScaler s;
    s.SetCodePage(437);
    s.SetHorizontal(false);
    s.resize(60, 700);
    s.SetStart(encodeDate(2024, 3, 4));
    s.SetStop(encodeDate(2024, 3, 11));
    EXPECT_EQ(s.AxisLength(), 700);
    EXPECT_EQ(s.PixelAtDate(encodeDate(2024, 3, 5)), 100);
    const QImage img = s.grab().toImage();
    img.save(testsupport::pictureDir("scaler") + "/8_vertical.png");
    // Coarse ticks 15 pixels in from the right edge, at the week start (Monday 4 March, y 0) and fine ones 5.
    EXPECT_EQ(img.pixelColor(59, 100), QColor(Qt::black));
    EXPECT_EQ(img.pixelColor(55, 100), QColor(Qt::black));
    EXPECT_NE(img.pixelColor(50, 100), QColor(Qt::black));
}
