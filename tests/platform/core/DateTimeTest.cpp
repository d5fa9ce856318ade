#include <QDate>
#include <gtest/gtest.h>

#include "platform/DateTime.h"
#include "platform/KvError.h"
#include "platform/Numbers.h"

using namespace kv;

TEST(DateTime, SerialNumbersMatchKnownDays) {
    EXPECT_EQ(encodeDate(1899, 12, 30), 0);
    EXPECT_EQ(encodeDate(1899, 12, 29), -1);
    EXPECT_EQ(encodeDate(1900, 3, 1), 61);
    EXPECT_EQ(encodeDate(2000, 1, 1), 36526);
    EXPECT_EQ(encodeDate(2008, 5, 15), 39583);
    EXPECT_EQ(encodeDate(1, 1, 1), -693593);
    EXPECT_EQ(encodeDate(9999, 12, 31), 2958465);
}

TEST(DateTime, AgreesWithQDateAcrossCenturies) {
    // An independent calendar: every 7th day from 1600 to 2400 encodes, decodes and names its weekday alike.
    const QDate base(1899, 12, 30);
    for (QDate d(1600, 1, 1); d < QDate(2400, 1, 1); d = d.addDays(7)) {
        const double serial = encodeDate(d.year(), d.month(), d.day());
        ASSERT_EQ(serial, static_cast<double>(base.daysTo(d))) << d.toString().toStdString();
        int y, m, dd;
        decodeDate(serial, y, m, dd);
        ASSERT_EQ(QDate(y, m, dd), d);
        ASSERT_EQ(dayOfWeek(serial), d.dayOfWeek() % 7 + 1);  // 1 = Sunday
    }
}

TEST(DateTime, LeapYearsAndMonthLengths) {
    EXPECT_EQ(daysInMonth(1900, 2), 28);
    EXPECT_EQ(daysInMonth(2000, 2), 29);
    EXPECT_EQ(daysInMonth(2100, 2), 28);
    EXPECT_EQ(daysInMonth(2008, 2), 29);
    EXPECT_EQ(daysInMonth(2008, 4), 30);
    EXPECT_EQ(daysInMonth(2008, 0), 0);
    EXPECT_EQ(daysInMonth(2008, 13), 0);
    EXPECT_FALSE(isValidDate(2100, 2, 29));
    EXPECT_THROW(encodeDate(2100, 2, 29), EKvError);
}

TEST(DateTime, IncMonthClampsToMonthEnd) {
    int y, m, d;
    decodeDate(incMonth(encodeDate(2008, 1, 31), 1), y, m, d);
    EXPECT_EQ(QDate(y, m, d), QDate(2008, 2, 29));
    decodeDate(incMonth(encodeDate(2008, 3, 31), -13), y, m, d);
    EXPECT_EQ(QDate(y, m, d), QDate(2007, 2, 28));
    // The time of day survives.
    EXPECT_DOUBLE_EQ(timePart(incMonth(encodeDate(2008, 1, 15) + 0.25, 2)), 0.25);
}

TEST(DateTime, TimeOfDayRoundTripsAndCountsForwardBeforeDayZero) {
    const double t = encodeTime(13, 45, 30, 250);
    int h, n, s, ms;
    decodeTime(encodeDate(2008, 5, 15) + t, h, n, s, ms);
    EXPECT_EQ(h, 13);
    EXPECT_EQ(n, 45);
    EXPECT_EQ(s, 30);
    EXPECT_EQ(ms, 250);
    // -1.25 is 1899-12-29 at 06:00.
    int y, m, d;
    decodeDate(-1.25, y, m, d);
    decodeTime(-1.25, h, n, s, ms);
    EXPECT_EQ(QDate(y, m, d), QDate(1899, 12, 29));
    EXPECT_EQ(h, 6);
    double out = 0;
    EXPECT_FALSE(tryEncodeTime(24, 0, 0, 0, out));
}

TEST(DateTime, DayOfAnInstantIsRoundedDownOnEveryDayADateTextHolds) {
    // A day cell starts a little after its midnight and ends a little before the next: each instant
    // lies on its own day, before 1899-12-30 as after it.
    const QDate base(1899, 12, 30);
    for (QDate d(1, 1, 1); d <= QDate(9999, 12, 31); d = d.addDays(1)) {
        const double serial = static_cast<double>(base.daysTo(d));
        for (const double at : {serial + 0.1, serial + 0.9}) {
            ASSERT_EQ(dayOf(at), base.daysTo(d)) << d.toString().toStdString();
            int y, m, dd;
            decodeDay(at, y, m, dd);
            ASSERT_EQ(QDate(y, m, dd), d) << at;
        }
    }
    // Unlike the OLE reading, where -1.25 is 1899-12-29 at 06:00.
    EXPECT_EQ(dayOf(-1.25), -2);
    int y, m, d;
    decodeDay(-0.5, y, m, d);
    EXPECT_EQ(QDate(y, m, d), QDate(1899, 12, 29));
}

TEST(DateTime, FormatLetters) {
    const double dt = encodeDate(2008, 5, 15) + encodeTime(14, 5, 9, 7);
    EXPECT_EQ(formatDateTime("yyyymmdd", dt), "20080515");
    EXPECT_EQ(formatDateTime("YYYY/MM/DD", dt), "2008/05/15");
    EXPECT_EQ(formatDateTime("yyyymmddhhnnsszzz", dt), "20080515140509007");
    EXPECT_EQ(formatDateTime("yy-m-d", dt), "08-5-15");
    EXPECT_EQ(formatDateTime("hh:mm", dt), "14:05");  // m after h means minutes
    EXPECT_EQ(formatDateTime("h:nn am/pm", dt), "2:05 pm");
    EXPECT_EQ(formatDateTime("ddd dddd", dt), "Thu Thursday");
    EXPECT_EQ(formatDateTime("mmm mmmm", dt), "May May");
    EXPECT_EQ(formatDateTime("ddd", dt, DateLanguage::Chinese), QString::fromUtf8("周四"));
    EXPECT_EQ(formatDateTime("mmmm", dt, DateLanguage::Chinese), QString::fromUtf8("五月"));
    EXPECT_EQ(formatDateTime("'Week' d", dt), "Week 15");
    EXPECT_EQ(formatDateTime("\"yyyy\" yyyy", dt), "yyyy 2008");
}

TEST(DateTime, QtConversionsAreInverse) {
    const QDateTime qdt(QDate(2026, 12, 7), QTime(9, 30, 15, 500));
    const double dt = fromQDateTime(qdt);
    EXPECT_EQ(toQDateTime(dt), qdt);
    EXPECT_EQ(toQDate(39583), QDate(2008, 5, 15));
}

TEST(Numbers, RoundHalfEven) {
    EXPECT_EQ(roundHalfEven(0.5), 0);
    EXPECT_EQ(roundHalfEven(1.5), 2);
    EXPECT_EQ(roundHalfEven(2.5), 2);
    EXPECT_EQ(roundHalfEven(-2.5), -2);
    EXPECT_EQ(roundHalfEven(2.51), 3);
}
