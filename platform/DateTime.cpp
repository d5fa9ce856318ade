#include "platform/DateTime.h"

#include <cmath>

#include "platform/KvError.h"

namespace kv {

namespace {

// Days between 1970-01-01 and the day-zero of TDateTime, 1899-12-30.
constexpr int kUnixEpochSerial = 25569;

// Proleptic Gregorian calendar <-> days since 1970-01-01 (exact for every representable year).
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civilFromDays(long long z, int& year, int& month, int& day) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

// Milliseconds of the day held by a value's fraction, rounded to the nearest millisecond.
long long msecOfDay(TDateTime value) {
    const double frac = std::fabs(value - std::trunc(value));
    long long ms = std::llround(frac * 86400000.0);
    return ms >= 86400000 ? 86399999 : ms;
}

const char* const kShortDayEn[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kLongDayEn[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kShortDayZh[] = {"周日", "周一", "周二", "周三", "周四", "周五", "周六"};
const char* const kLongDayZh[] = {"星期日", "星期一", "星期二", "星期三", "星期四", "星期五", "星期六"};
const char* const kShortMonthEn[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLongMonthEn[] = {"January", "February", "March",     "April",   "May",      "June",
                                    "July",    "August",   "September", "October", "November", "December"};
const char* const kLongMonthZh[] = {"一月", "二月", "三月", "四月",   "五月",   "六月",
                                    "七月", "八月", "九月", "十月", "十一月", "十二月"};

}  // namespace

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || year < 1 || year > 9999)
        return 0;
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

bool isValidDate(int year, int month, int day) { return day >= 1 && day <= daysInMonth(year, month); }

bool tryEncodeDate(int year, int month, int day, TDateTime& result) {
    if (!isValidDate(year, month, day))
        return false;
    result = static_cast<double>(daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                                 kUnixEpochSerial);
    return true;
}

TDateTime encodeDate(int year, int month, int day) {
    TDateTime result = 0;
    if (!tryEncodeDate(year, month, day, result))
        throw EKvError(QString("Invalid argument to date encode: %1-%2-%3").arg(year).arg(month).arg(day));
    return result;
}

void decodeDate(TDateTime value, int& year, int& month, int& day) {
    civilFromDays(static_cast<long long>(std::trunc(value)) - kUnixEpochSerial, year, month, day);
}

long long dayOf(TDateTime instant) { return static_cast<long long>(std::floor(instant)); }

void decodeDay(TDateTime instant, int& year, int& month, int& day) {
    civilFromDays(dayOf(instant) - kUnixEpochSerial, year, month, day);
}

bool tryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 || msec > 999)
        return false;
    result = (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + msec) / 86400000.0;
    return true;
}

TDateTime encodeTime(int hour, int minute, int second, int msec) {
    TDateTime result = 0;
    if (!tryEncodeTime(hour, minute, second, msec, result))
        throw EKvError(QString("Invalid argument to time encode: %1:%2:%3.%4").arg(hour).arg(minute).arg(second).arg(msec));
    return result;
}

void decodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec) {
    long long ms = msecOfDay(value);
    hour = static_cast<int>(ms / 3600000);
    ms %= 3600000;
    minute = static_cast<int>(ms / 60000);
    ms %= 60000;
    second = static_cast<int>(ms / 1000);
    msec = static_cast<int>(ms % 1000);
}

TDateTime datePart(TDateTime value) { return std::trunc(value); }
TDateTime timePart(TDateTime value) { return std::fabs(value - std::trunc(value)); }

int dayOfWeek(TDateTime value) {
    // 1899-12-30 was a Saturday.
    long long d = static_cast<long long>(std::trunc(value)) + 6;
    long long r = d % 7;
    if (r < 0)
        r += 7;
    return static_cast<int>(r) + 1;
}

TDateTime incMonth(TDateTime value, int months) {
    int y, m, d;
    decodeDate(value, y, m, d);
    long long total = static_cast<long long>(y) * 12 + (m - 1) + months;
    int ny = static_cast<int>(total / 12);
    int nm = static_cast<int>(total % 12) + 1;
    int dim = daysInMonth(ny, nm);
    if (dim == 0)
        throw EKvError("Date out of range");
    const double t = value - std::trunc(value);
    return encodeDate(ny, nm, d > dim ? dim : d) + t;
}

TDateTime fromQDateTime(const QDateTime& value) {
    const QDate d = value.date();
    const QTime t = value.time();
    return fromQDate(d) + t.msecsSinceStartOfDay() / 86400000.0;
}

QDateTime toQDateTime(TDateTime value) {
    int h, n, s, ms;
    decodeTime(value, h, n, s, ms);
    return QDateTime(toQDate(value), QTime(h, n, s, ms));
}

TDateTime fromQDate(const QDate& value) {
    return static_cast<double>(value.toJulianDay() - QDate(1899, 12, 30).toJulianDay());
}

QDate toQDate(TDateTime value) {
    return QDate(1899, 12, 30).addDays(static_cast<qint64>(std::trunc(value)));
}

TDateTime now() { return fromQDateTime(QDateTime::currentDateTime()); }
TDateTime today() { return fromQDate(QDate::currentDate()); }

QString shortDayName(int dow, DateLanguage language) {
    if (dow < 1 || dow > 7)
        return {};
    return QString::fromUtf8(language == DateLanguage::Chinese ? kShortDayZh[dow - 1] : kShortDayEn[dow - 1]);
}

QString longDayName(int dow, DateLanguage language) {
    if (dow < 1 || dow > 7)
        return {};
    return QString::fromUtf8(language == DateLanguage::Chinese ? kLongDayZh[dow - 1] : kLongDayEn[dow - 1]);
}

QString shortMonthName(int month, DateLanguage language) {
    if (month < 1 || month > 12)
        return {};
    if (language == DateLanguage::Chinese)
        return QString::number(month) + QString::fromUtf8("月");
    return QString::fromUtf8(kShortMonthEn[month - 1]);
}

QString longMonthName(int month, DateLanguage language) {
    if (month < 1 || month > 12)
        return {};
    return QString::fromUtf8(language == DateLanguage::Chinese ? kLongMonthZh[month - 1] : kLongMonthEn[month - 1]);
}

namespace {

int countRun(const QString& f, int i, QChar c) {
    int n = 0;
    while (i + n < f.size() && f[i + n].toLower() == c)
        ++n;
    return n;
}

QString two(int v) { return QString::asprintf("%02d", v); }

}  // namespace

QString formatDateTime(const QString& format, TDateTime value, DateLanguage language) {
    int year, month, day, hour, minute, second, msec;
    decodeDate(value, year, month, day);
    decodeTime(value, hour, minute, second, msec);
    const int dow = dayOfWeek(value);

    // Whether the format has an am/pm marker decides the hour clock.
    const QString lower = format.toLower();
    const bool twelveHour = lower.contains("am/pm") || lower.contains("a/p") || lower.contains("ampm");

    QString out;
    bool afterHour = false;
    int i = 0;
    const int n = format.size();
    while (i < n) {
        const QChar c = format[i];
        const QChar lc = c.toLower();
        if (c == '"' || c == '\'') {
            int j = format.indexOf(c, i + 1);
            if (j < 0)
                j = n;
            out += format.mid(i + 1, j - i - 1);
            i = j + 1;
            continue;
        }
        if (lc == 'a') {
            if (lower.mid(i, 5) == "am/pm") {
                out += hour < 12 ? (c.isUpper() ? "AM" : "am") : (c.isUpper() ? "PM" : "pm");
                i += 5;
                continue;
            }
            if (lower.mid(i, 3) == "a/p") {
                out += hour < 12 ? (c.isUpper() ? "A" : "a") : (c.isUpper() ? "P" : "p");
                i += 3;
                continue;
            }
            if (lower.mid(i, 4) == "ampm") {
                out += hour < 12 ? "AM" : "PM";
                i += 4;
                continue;
            }
        }
        const int run = countRun(format, i, lc);
        switch (lc.unicode()) {
        case 'y':
            out += run <= 2 ? two(year % 100) : QString::asprintf("%04d", year);
            i += run;
            afterHour = false;
            continue;
        case 'm': {
            if (afterHour && run <= 2) {
                out += run == 1 ? QString::number(minute) : two(minute);
            } else if (run == 1) {
                out += QString::number(month);
            } else if (run == 2) {
                out += two(month);
            } else if (run == 3) {
                out += shortMonthName(month, language);
            } else {
                out += longMonthName(month, language);
            }
            i += run;
            afterHour = false;
            continue;
        }
        case 'd':
            if (run == 1)
                out += QString::number(day);
            else if (run == 2)
                out += two(day);
            else if (run == 3)
                out += shortDayName(dow, language);
            else if (run == 4)
                out += longDayName(dow, language);
            else if (run == 5)
                out += formatDateTime("yyyy/mm/dd", value, language);
            else
                out += language == DateLanguage::Chinese
                           ? formatDateTime("yyyy'年'm'月'd'日'", value, language)
                           : formatDateTime("dddd, mmmm d, yyyy", value, language);
            i += run;
            afterHour = false;
            continue;
        case 'h': {
            int h = hour;
            if (twelveHour) {
                h = hour % 12;
                if (h == 0)
                    h = 12;
            }
            out += run == 1 ? QString::number(h) : two(h);
            i += std::min(run, 2);
            afterHour = true;
            continue;
        }
        case 'n':
            out += run == 1 ? QString::number(minute) : two(minute);
            i += std::min(run, 2);
            afterHour = false;
            continue;
        case 's':
            out += run == 1 ? QString::number(second) : two(second);
            i += std::min(run, 2);
            afterHour = false;
            continue;
        case 'z':
            out += run >= 3 ? QString::asprintf("%03d", msec) : QString::number(msec);
            i += std::min(run, 3);
            afterHour = false;
            continue;
        case 't':
            out += run == 1 ? formatDateTime("hh:nn", value, language) : formatDateTime("hh:nn:ss", value, language);
            i += std::min(run, 2);
            afterHour = false;
            continue;
        case 'c':
            out += formatDateTime("yyyy/mm/dd", value, language);
            if (msecOfDay(value) != 0)
                out += " " + formatDateTime("hh:nn:ss", value, language);
            ++i;
            continue;
        default:
            out += c;
            ++i;
            continue;
        }
    }
    return out;
}

}  // namespace kv
