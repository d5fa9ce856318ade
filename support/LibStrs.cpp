#include "support/LibStrs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "platform/CodePage.h"
#include "support/AlertFile.h"

namespace {

constexpr QChar kFieldSep(3);

// 0001-01-01 and 9999-12-31 as serial days: outside them no date text can be written.
constexpr double kMinSerial = -693593.0;
constexpr double kMaxSerial = 2958465.0;

bool inDateRange(double value) {
    return std::isfinite(value) && value >= kMinSerial && value < kMaxSerial + 1;
}

bool isBlank(QChar c) {
    return c.unicode() <= 0x20;
}

QString trimControls(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

// Whole-text integer: blanks around, an optional sign, decimal digits; false for anything else.
bool toInt(const QString& text, int& value) {
    const QString t = text.trimmed();
    qsizetype i = 0;
    if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) ++i;
    if (i == t.size()) return false;
    for (qsizetype j = i; j < t.size(); ++j)
        if (t[j] < QLatin1Char('0') || t[j] > QLatin1Char('9')) return false;
    bool ok = false;
    const long long v = t.toLongLong(&ok);
    if (!ok || v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) return false;
    value = static_cast<int>(v);
    return true;
}

int toIntOrThrow(const QString& text) {
    int v = 0;
    if (!toInt(text, v)) throw EKvError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return v;
}

QString yyyymmdd(kv::TDateTime date) {
    int y, m, d;
    kv::decodeDate(date, y, m, d);
    return QString::asprintf("%04d%02d%02d", y, m, d);
}

// A date text the way every date function reads it; 0 when it is none.
kv::TDateTime dateOrThrow(const QString& text) {
    const kv::TDateTime d = TransDateIn(text);
    if (d == 0) throw EKvError(QStringLiteral("'%1' is not a valid date").arg(text));
    return d;
}

QString updateDateOrThrow(const QString& date, const QString& monthOffset, const QString& mode,
                          const QString& dayOffset, const QString& dayKind) {
    const int months = toIntOrThrow(monthOffset);
    if (kv::codepage::byteLength(date) < 7) {
        const kv::TDateTime first = dateOrThrow(date.left(6) + QStringLiteral("01"));
        return yyyymmdd(kv::incMonth(first, months)).left(6);
    }
    kv::TDateTime d = dateOrThrow(date);
    const QString kind = dayKind.trimmed();
    if (mode.trimmed() != QLatin1String("0")) {
        d = kv::incMonth(d, months);
        int y, m, day;
        kv::decodeDate(d, y, m, day);
        if (kind == QLatin1String("0"))
            d += toIntOrThrow(dayOffset);
        else if (kind == QLatin1String("1"))
            d = kv::encodeDate(y, m, 1);
        else if (kind == QLatin1String("2"))
            d = kv::encodeDate(y, m, kv::daysInMonth(y, m));
    } else if (kind != QLatin1String("0")) {
        d += 7.0 * months;
        const int dow = kv::dayOfWeek(d);
        d = kind == QLatin1String("1") ? d - (dow - 1) : d + (7 - dow);
    } else {
        d += 7.0 * months + toIntOrThrow(dayOffset);
    }
    if (!inDateRange(d)) throw EKvError("Date out of range");
    return yyyymmdd(d);
}

// The k-th (0..3) or, for k = 4, the last given weekday (0 = Sunday) of the month starting at first.
kv::TDateTime weekdayOfMonth(kv::TDateTime first, int k, int weekday) {
    if (k < 0 || k > 4 || weekday < 0 || weekday > 6) throw EKvError("Invalid cycle pattern");
    if (k < 4) return first + (weekday - (kv::dayOfWeek(first) - 1) + 7) % 7 + 7 * k;
    int y, m, d;
    kv::decodeDate(first, y, m, d);
    const kv::TDateTime last = kv::encodeDate(y, m, kv::daysInMonth(y, m));
    return last - ((kv::dayOfWeek(last) - 1 - weekday + 7) % 7);
}

kv::TDateTime firstOfMonth(kv::TDateTime date) {
    int y, m, d;
    kv::decodeDate(date, y, m, d);
    return kv::encodeDate(y, m, 1);
}

QString scheduleDateOrThrow(const QString& start, const kv::Variant& pattern) {
    const kv::TDateTime d0 = dateOrThrow(start);
    const int mode = pattern.at(0).toInt();
    if (mode == 0) return yyyymmdd(d0);
    const kv::Variant& data = pattern.at(1);
    if (mode == 1) {
        const int n = data.at(0).toInt();
        const int weekday = data.at(1).toInt();
        if (n < 1 || weekday < 0 || weekday > 6) throw EKvError("Invalid cycle pattern");
        const int w0 = kv::dayOfWeek(d0) - 1;
        const kv::TDateTime week = d0 + (weekday < w0 ? 7.0 * n : 7.0 * (n - 1));
        return yyyymmdd(week - w0 + weekday);
    }
    if (mode != 2) throw EKvError("Cycle pattern has no first date");
    const int sub = data.at(0).toInt();
    const int n = data.at(1).toInt();
    if (n < 1) throw EKvError("Invalid cycle pattern");
    int y0, m0, day0;
    kv::decodeDate(d0, y0, m0, day0);
    if (sub == 0) {
        const int day = data.at(2).toInt();
        if (day < 1) throw EKvError("Invalid cycle pattern");
        const kv::TDateTime month = kv::incMonth(firstOfMonth(d0), day >= day0 ? n - 1 : n);
        int y, m, d;
        kv::decodeDate(month, y, m, d);
        return yyyymmdd(kv::encodeDate(y, m, std::min(day, kv::daysInMonth(y, m))));
    }
    if (sub != 1) throw EKvError("Invalid cycle pattern");
    const int k = data.at(2).toInt();
    const int weekday = data.at(3).toInt();
    kv::TDateTime r = weekdayOfMonth(kv::incMonth(firstOfMonth(d0), n - 1), k, weekday);
    if (r < d0) r = weekdayOfMonth(kv::incMonth(firstOfMonth(d0), n), k, weekday);
    return yyyymmdd(r);
}

// One relative date of a saved option: the base value, or the base moved by four fields.
QString relativeDate(const QString& base, const QString& months, const QString& mode, const QString& days,
                     const QString& dayKind) {
    if (months.trimmed() == QLatin1String("0") && dayKind.trimmed() == QLatin1String("0") &&
        days.trimmed() == QLatin1String("0"))
        return base;
    return updateDateOrThrow(base, months, mode, days, dayKind);
}

kv::Variant periodOptionOrThrow(const kv::Variant& option, const QString& baseDate) {
    kv::Variant values = option.at(1);
    const kv::Variant& settings = option.at(3);
    const int count = settings.at(0).toInt();
    for (int i = 1; i <= count; ++i) {
        const QString setting = kv::varToStr(settings.at(i));
        auto field = [&setting](int n) { return GetToken(setting, QString(kFieldSep), n).trimmed(); };
        auto baseFor = [&baseDate](const QString& kindField) {
            return kindField == QLatin1String("D") ? baseDate : baseDate.left(6);
        };
        const bool variableBegin = field(3) == QLatin1String("Y");
        if (field(1) != QLatin1String("0")) {
            const int index = toIntOrThrow(field(9));
            if (variableBegin)
                values.set(index, relativeDate(baseFor(field(8)), field(4), field(5), field(7), field(6)));
            continue;
        }
        const int index = toIntOrThrow(field(14));
        const QString base = baseFor(field(13));
        kv::Variant pair = values.at(index);
        if (variableBegin) pair.set(1, relativeDate(base, field(4), field(5), field(7), field(6)));
        if (field(8) == QLatin1String("Y"))
            pair.set(2, relativeDate(base, field(9), field(10), field(12), field(11)));
        values.set(index, pair);
    }
    return values;
}

// Byte-text conversion of a variant and the text elements of its arrays; throws on an unknown code page.
enum class Direction { ToBytes, ToWide };

kv::Variant convertTexts(const kv::Variant& value, int codePage, Direction direction, int depth) {
    if (depth > 64) throw EKvError("Arrays nested too deep");
    switch (value.type()) {
    case kv::VarType::WideString:
        if (direction == Direction::ToBytes)
            return kv::Variant::fromBytes(kv::codepage::encode(value.toString(), codePage), codePage);
        return value;
    case kv::VarType::ByteString:
        if (direction == Direction::ToBytes) {
            if (value.codePage() == codePage) return value;
            return kv::Variant::fromBytes(kv::codepage::encode(value.toString(), codePage), codePage);
        }
        return kv::Variant(kv::codepage::decode(value.bytes(), codePage ? codePage : value.codePage()));
    case kv::VarType::Array: {
        kv::Variant result = value;
        if (value.dimCount() == 1) {
            for (int i = value.lowBound(1); i <= value.highBound(1); ++i)
                result.set(i, convertTexts(value.at(i), codePage, direction, depth + 1));
        } else {
            for (int i = value.lowBound(1); i <= value.highBound(1); ++i)
                for (int j = value.lowBound(2); j <= value.highBound(2); ++j)
                    result.set(i, j, convertTexts(value.at(i, j), codePage, direction, depth + 1));
        }
        return result;
    }
    default:
        return value;
    }
}

void checkCodePage(int codePage) {
    if (codePage != kv::codepage::UTF8 && !kv::codepage::encodingName(codePage))
        throw EKvError(QStringLiteral("Code page %1 is not supported").arg(codePage));
}

} // namespace

// Texts and tokens ---------------------------------------------------------------------------------

QString PadR(const QString& text, int width, QChar fill) {
    const int length = kv::codepage::byteLength(text);
    if (length >= width) return text;
    const int fillWidth = std::max(1, kv::codepage::byteLength(QString(fill)));
    return text + QString((width - length + fillWidth - 1) / fillWidth, fill);
}

QString GetToken(const QString& text, const QString& sep, int n) {
    if (n < 1) return {};
    if (sep.isEmpty()) return n == 1 ? text : QString();
    qsizetype begin = 0;
    for (int i = 1; i < n; ++i) {
        const qsizetype at = text.indexOf(sep, begin);
        if (at < 0) return {};
        begin = at + sep.size();
    }
    const qsizetype end = text.indexOf(sep, begin);
    return end < 0 ? text.mid(begin) : text.mid(begin, end - begin);
}

int NumToken(const QString& text, const QString& sep) {
    if (text.isEmpty()) return 0;
    if (sep.isEmpty()) return 1;
    // Separators are counted as the tokens are cut: one never overlaps the next.
    int count = 1;
    for (qsizetype at = text.indexOf(sep); at >= 0; at = text.indexOf(sep, at + sep.size()))
        ++count;
    return count;
}

QString CutToken(QString& text, const QString& sep) {
    const qsizetype at = sep.isEmpty() ? -1 : text.indexOf(sep);
    QString head;
    if (at < 0) {
        head = text;
        text.clear();
    } else {
        head = text.left(at);
        text.remove(0, at + sep.size());
    }
    return head;
}

QString SwapStr(const QString& text, const QString& oldText, const QString& newText, bool trim) {
    QString result = text;
    if (!oldText.isEmpty() && oldText.compare(newText, Qt::CaseInsensitive) != 0) {
        if (newText.contains(oldText)) {
            result.replace(oldText, newText);
        } else {
            // The first occurrence after a replacement cannot start before the replaced place minus
            // the length of oldText: everything earlier was searched and has not changed.
            // Some pairs (a short old text in a longer new one, spread apart) would grow without end:
            // a bound on the size and on the rounds keeps such a call finite.
            const qsizetype maxSize = (text.size() + 1) * 64 + 4096;
            qsizetype from = 0;
            qsizetype at;
            for (int round = 0; round < (1 << 20) && (at = result.indexOf(oldText, from)) >= 0; ++round) {
                result.replace(at, oldText.size(), newText);
                if (result.size() > maxSize)
                    break;
                from = std::max<qsizetype>(0, at - oldText.size() + 1);
            }
        }
    }
    return trim ? trimControls(result) : result;
}

double StrToFloatDef(const QString& text, double defaultValue) {
    const QString t = text.trimmed();
    qsizetype i = 0;
    const qsizetype n = t.size();
    auto digits = [&]() {
        const qsizetype start = i;
        while (i < n && t[i] >= QLatin1Char('0') && t[i] <= QLatin1Char('9'))
            ++i;
        return i - start;
    };
    if (i < n && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) ++i;
    qsizetype mantissa = digits();
    if (i < n && t[i] == QLatin1Char('.')) {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) return defaultValue;
    if (i < n && (t[i] == QLatin1Char('e') || t[i] == QLatin1Char('E'))) {
        ++i;
        if (i < n && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) ++i;
        if (digits() == 0) return defaultValue;
    }
    if (i != n) return defaultValue;
    const double value = std::strtod(t.toLatin1().constData(), nullptr);
    return std::isfinite(value) ? value : defaultValue;
}

int CompareFloat(double a, double b) {
    const double ra = QString::number(a, 'g', 15).toDouble();
    const double rb = QString::number(b, 'g', 15).toDouble();
    if (std::fabs(ra - rb) < 1e-10) return 0;
    return ra < rb ? -1 : 1;
}

kv::Variant IIF(bool condition, const kv::Variant& a, const kv::Variant& b) {
    return condition ? a : b;
}

bool IsVarEmptyOrNull(const kv::Variant& value) {
    return value.isEmptyOrNull();
}

bool IsLocalAddress(const QString& address) {
    return address == QLatin1String("127.0.0.1");
}

QString GetCHTButtonCaption(const QString& buttonName) {
    static const struct {
        const char* name;
        const char* caption;
    } captions[] = {{"Yes", "是(&Y)"},        {"No", "否(&N)"},      {"OK", "确定"},
                    {"Cancel", "取消"},       {"Abort", "中断(&A)"}, {"Retry", "重试(&R)"},
                    {"Ignore", "忽略(&I)"},   {"All", "全部(&A)"},   {"NoToAll", "全否(&o)"},
                    {"YesToAll", "全是(&A)"}, {"Help", "帮助(&H)"}};
    for (const auto& c : captions)
        if (buttonName == QLatin1String(c.name)) return QString::fromUtf8(c.caption);
    return buttonName;
}

QString BLVariantToWideString(const QString& callName, const kv::Variant& args) {
    QString result = callName + kFieldSep;
    if (!args.isArray() || args.dimCount() != 1 || args.lowBound() > 0 || args.highBound() < 0) return result;
    auto text = [](const kv::Variant& v) {
        try {
            return kv::varToStr(v);
        } catch (const std::exception&) {
            return QString(); // an element that has no text form (an array, an object)
        }
    };
    result += text(args.at(0)) + kFieldSep;
    int count = 0;
    try {
        count = args.at(0).toInt();
    } catch (const std::exception&) {
        count = 0;
    }
    const int last = std::min(count, args.highBound());
    for (int i = 1; i <= last; ++i)
        result += text(args.at(i)) + kFieldSep;
    return result;
}

QString GetLongTempPath() {
    const QString temp = QDir::tempPath();
    const QString canonical = QFileInfo(temp).canonicalFilePath();
    return kv::alertfile::normalizeDir(canonical.isEmpty() ? temp : canonical);
}

// Dates --------------------------------------------------------------------------------------------

kv::TDateTime TransDateIn(const QString& text) {
    if (text.size() != 8 || kv::codepage::byteLength(text) != 8) return 0;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return 0;
    kv::TDateTime result = 0;
    if (!kv::tryEncodeDate(text.left(4).toInt(), text.mid(4, 2).toInt(), text.mid(6, 2).toInt(), result))
        return 0;
    return result;
}

bool CheckDate(const QString& text) {
    if (text.isEmpty()) return true;
    if (TransDateIn(kv::codepage::leftBytes(text, 8)) == 0) return false;
    return text >= QLatin1String("17530101") && text <= QLatin1String("99991231");
}

QString DateToString(kv::TDateTime date, int kind, const QString& sep) {
    if (date == 0 || !inDateRange(date)) return {};
    int y, m, d;
    kv::decodeDate(date, y, m, d);
    const QString s = sep.left(1);
    switch (kind) {
    case 1:
        return QString::asprintf("%.4d", y) + s + QString::asprintf("%.2d", m) + s +
               QString::asprintf("%.2d", d);
    case 2:
        return QString::asprintf("%.2d", m) + s + QString::asprintf("%.2d", d) + s +
               QString::asprintf("%.4d", y);
    case 3:
        return QString::asprintf("%.2d", d) + s + QString::asprintf("%.2d", m) + s +
               QString::asprintf("%.4d", y);
    case 4:
        return QString::asprintf("%.2d", y - 1911) + s + QString::asprintf("%.2d", m) + s +
               QString::asprintf("%.2d", d);
    case 5:
        return QString::asprintf("%.3d", y - 1911) + s + QString::asprintf("%.2d", m) + s +
               QString::asprintf("%.2d", d);
    default:
        return {};
    }
}

QString MonthToString(kv::TDateTime date, int kind, const QString& sep) {
    if (date == 0 || !inDateRange(date)) return {};
    int y, m, d;
    kv::decodeDate(date, y, m, d);
    const QString s = sep.left(1);
    switch (kind) {
    case 1:
        return QString::asprintf("%.4d", y) + s + QString::asprintf("%.2d", m);
    case 2:
    case 3:
        return QString::asprintf("%.2d", m) + s + QString::asprintf("%.4d", y);
    case 4:
        return QString::asprintf("%.2d", y - 1911) + s + QString::asprintf("%.2d", m);
    case 5:
        return QString::asprintf("%.3d", y - 1911) + s + QString::asprintf("%.2d", m);
    default:
        return {};
    }
}

kv::TDateTime StringToDate(const QString& text, int kind, const QString& sep) {
    if (kind < 1 || kind > 5) return 0;
    int parts[3];
    for (int i = 0; i < 3; ++i)
        if (!toInt(GetToken(text, sep, i + 1), parts[i])) parts[i] = -1;
    if (parts[0] <= 0 || parts[1] <= 0 || parts[2] <= 0) return 0;
    int y = parts[0], m = parts[1], d = parts[2];
    if (kind == 2) {
        m = parts[0];
        d = parts[1];
        y = parts[2];
    } else if (kind == 3) {
        d = parts[0];
        m = parts[1];
        y = parts[2];
    } else if (kind >= 4) {
        y += 1911;
    }
    kv::TDateTime first = 0;
    if (!kv::tryEncodeDate(y, m, 1, first)) return 0;
    const kv::TDateTime result = first + (static_cast<double>(d) - 1);
    return inDateRange(result) ? result : 0;
}

QString Changedate(const QString& text, int kind, const QString& sep) {
    if (text.trimmed().isEmpty()) return QStringLiteral("0");
    QString parts[3];
    if (sep.isEmpty()) {
        parts[0] = text.left(4);
        parts[1] = text.mid(4, 2);
        parts[2] = text.mid(6, 2);
    } else {
        QString rest = text;
        for (QString& p : parts)
            p = CutToken(rest, sep);
    }
    int n[3];
    for (int i = 0; i < 3; ++i)
        if (!toInt(parts[i], n[i]) || n[i] <= 0) return QStringLiteral("0");
    int y = n[0], m = n[1], d = n[2];
    if (!sep.isEmpty()) {
        if (kind == 2) {
            m = n[0];
            d = n[1];
            y = n[2];
        } else if (kind == 3) {
            d = n[0];
            m = n[1];
            y = n[2];
        } else if (kind == 4 || kind == 5) {
            y += 1911;
        }
    }
    return QString::asprintf("%.*d%.*d%.*d", 4, y, 2, m, 2, d);
}

QString ChangeStrToDateStr(const QString& text, const QString& sep) {
    if (kv::codepage::byteLength(text) != 8 || text.size() != 8) return {};
    return text.left(4) + sep + text.mid(4, 2) + sep + text.mid(6, 2);
}

QString AddToDate(const kv::Variant& date, const QString& unit, int n) {
    try {
        kv::TDateTime d = 0;
        if (date.isText())
            d = TransDateIn(date.toString());
        else if (date.type() == kv::VarType::Date)
            d = std::trunc(date.toDate());
        if (d == 0 || !inDateRange(d)) return {};
        const QString u = unit.trimmed().toUpper();
        if (u == QLatin1String("D")) {
            d += n;
        } else if (u == QLatin1String("M")) {
            d = kv::incMonth(d, n);
        } else if (u == QLatin1String("Y")) {
            int y, m, day;
            kv::decodeDate(d, y, m, day);
            kv::TDateTime moved = 0;
            if (kv::tryEncodeDate(y + n, m, day, moved)) d = moved;
        } else {
            return {};
        }
        return inDateRange(d) ? yyyymmdd(d) : QString();
    } catch (const std::exception&) {
        return {};
    }
}

int DaysInMonth(int year, int month) {
    if (month < 1 || month > 12) return 0;
    if (year >= 1 && year <= 9999) return kv::daysInMonth(year, month);
    // Years the date type cannot hold still have a calendar.
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && kv::isLeapYear(year) ? 29 : days[month - 1];
}

QString UpdateDate(const QString& date, const QString& monthOffset, const QString& mode,
                   const QString& dayOffset, const QString& dayKind) {
    try {
        return updateDateOrThrow(date, monthOffset, mode, dayOffset, dayKind);
    } catch (const std::exception&) {
        return {};
    }
}

QString ClientScheduleDate(const QString& start, const kv::Variant& pattern) {
    try {
        return scheduleDateOrThrow(start, pattern);
    } catch (const std::exception&) {
        return {};
    }
}

kv::Variant GetPeriodRptOption(const kv::Variant& option, const QString& baseDate) {
    try {
        return periodOptionOrThrow(option, baseDate);
    } catch (const std::exception&) {
        return kv::Variant(QString());
    }
}

// Code pages ---------------------------------------------------------------------------------------

kv::Variant KVWideStringToStr(const kv::Variant& value, int codePage) {
    try {
        const int cp = codePage ? codePage : kv::codepage::systemCodePage();
        checkCodePage(cp);
        return convertTexts(value, cp, Direction::ToBytes, 0);
    } catch (const std::exception& e) {
        WriteToAlertFile(QStringLiteral("libstrs"),
                         QStringLiteral("LINE[2735] ") + QString::fromUtf8(e.what()), QStringLiteral("D"));
        return value;
    }
}

kv::Variant KVStrToWideString(const kv::Variant& value, int codePage) {
    try {
        if (codePage) checkCodePage(codePage);
        return convertTexts(value, codePage, Direction::ToWide, 0);
    } catch (const std::exception& e) {
        WriteToAlertFile(QStringLiteral("libstrs"),
                         QStringLiteral("LINE[115] ") + QString::fromUtf8(e.what()), QStringLiteral("D"));
        return value;
    }
}

// Log ----------------------------------------------------------------------------------------------

bool WriteToAlertFile(const QString& name, const QString& text, const QString& period) {
    try {
        QString dir = kv::alertfile::launcherDirectory();
        if (dir.isEmpty() && QCoreApplication::instance()) dir = QCoreApplication::applicationDirPath();
        if (dir.isEmpty()) dir = QDir::currentPath();
        const kv::TDateTime now = kv::now();
        const QString p = period.trimmed().toUpper();
        const QString stamp = kv::formatDateTime(p == QLatin1String("M")   ? QStringLiteral("yyyymm")
                                                 : p == QLatin1String("Y") ? QStringLiteral("yyyy")
                                                                           : QStringLiteral("yyyymmdd"),
                                                 now);
        QString fileName = QStringLiteral("Alert_") + name + QLatin1Char('_') + stamp;
        if (!name.contains(QLatin1Char('.'))) fileName += QStringLiteral(".log");
        return kv::alertfile::appendLine(
            dir, fileName, kv::formatDateTime(QStringLiteral("yyyy/mm/dd hh:nn:ss:zzz"), now), text);
    } catch (const std::exception&) {
        return false;
    }
}
