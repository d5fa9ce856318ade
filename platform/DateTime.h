#pragma once
// Date-time values as the module exchanges them: a double counting days since 1899-12-30,
// whose integer part is the date and whose fraction is the time of day (0.5 is noon).
#include <QDateTime>
#include <QString>

namespace kv {

using TDateTime = double;

constexpr double kOneHour = 1.0 / 24.0;
constexpr double kOneMinute = 1.0 / (24.0 * 60.0);
constexpr double kOneSecond = 1.0 / (24.0 * 60.0 * 60.0);
constexpr double kOneMillisecond = 1.0 / (24.0 * 60.0 * 60.0 * 1000.0);

// Interface language of day and month names in formatted dates.
enum class DateLanguage { English, Chinese };

bool isLeapYear(int year);
// 28..31; 0 for a month outside 1..12 or a year outside 1..9999.
int daysInMonth(int year, int month);

bool isValidDate(int year, int month, int day);
bool tryEncodeDate(int year, int month, int day, TDateTime& result);
// Raises EKvError for an impossible date.
TDateTime encodeDate(int year, int month, int day);
// As OLE reads a value: the integer part is the date, so -1.25 is 1899-12-29 at 06:00.
void decodeDate(TDateTime value, int& year, int& month, int& day);
// The day that holds an instant of a time line running on through 1899-12-30 (a chart's axis, a day
// cell placed a little after midnight): the value rounded down, so -1.25 lies on 1899-12-28.
long long dayOf(TDateTime instant);
void decodeDay(TDateTime instant, int& year, int& month, int& day);

bool tryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result);
TDateTime encodeTime(int hour, int minute, int second, int msec);
void decodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec);

// The date part and the time part; for values before 1899-12-30 the time part still counts forward.
TDateTime datePart(TDateTime value);
TDateTime timePart(TDateTime value);

// 1 = Sunday .. 7 = Saturday.
int dayOfWeek(TDateTime value);
// Adds months, moving the day back to the month's last day when the month is shorter.
TDateTime incMonth(TDateTime value, int months);

TDateTime now();
TDateTime today();
TDateTime fromQDateTime(const QDateTime& value);
QDateTime toQDateTime(TDateTime value);
TDateTime fromQDate(const QDate& value);
QDate toQDate(TDateTime value);

// Formats with the letters the module uses:
//   d dd ddd dddd   day, 2-digit day, short and long day name;  ddddd (short date) dddddd (long date)
//   m mm mmm mmmm   month, 2-digit month, short and long month name (after h/hh, m means minutes)
//   yy yyyy         2- and 4-digit year (case-insensitive: YYYY too)
//   h hh n nn s ss z zzz   hour, minute, second, millisecond
//   am/pm a/p       12-hour clock;  "..." and '...' copy text; / and : copy themselves
QString formatDateTime(const QString& format, TDateTime value, DateLanguage language = DateLanguage::English);

QString shortDayName(int dayOfWeek, DateLanguage language);   // 1 = Sunday
QString longDayName(int dayOfWeek, DateLanguage language);
QString shortMonthName(int month, DateLanguage language);     // 1 = January
QString longMonthName(int month, DateLanguage language);

}  // namespace kv
