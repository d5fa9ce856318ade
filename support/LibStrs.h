#pragma once
// Free helpers shared by every form: tokens on separated texts, "YYYYMMDD" date texts and the display
// layouts of the company date format, Variant helpers, the code-page pair and the daily alert log.
//
// Texts are Unicode. Where a rule counts bytes (PadR widths, "exactly 8 bytes" of a date text) it
// counts the bytes of the text in the system code page, so a Chinese character weighs 2 as it does
// for the database and the files the suite shares. Searching Unicode text never matches a separator
// inside a double-byte character, which the byte-oriented original had to guard against by hand.
//
// None of these functions raises: bad input gives 0, the empty text, "0" or the input unchanged.
#include <QString>

#include "platform/DateTime.h"
#include "platform/ole/Variant.h"

// Texts and tokens ---------------------------------------------------------------------------------

// Appends fill characters until the text takes width bytes; a longer text is returned uncut.
QString PadR(const QString& text, int width, QChar fill = QLatin1Char(' '));
// The n-th token (from 1) of text split at sep (any length); a missing token is empty.
QString GetToken(const QString& text, const QString& sep, int n);
// Occurrences of sep + 1; 0 for the empty text.
int NumToken(const QString& text, const QString& sep);
// Returns what precedes the first sep and leaves what follows it in text; without sep returns the
// whole text and empties it.
QString CutToken(QString& text, const QString& sep);
// Replaces oldText by newText until none remains (a replacement may form a new occurrence with what
// precedes it). Nothing happens when the two differ only in letter case. When newText contains oldText
// the repetition would never end: then every occurrence present at the start is replaced once; any other
// pair whose replacements keep growing the text stops at 64 times its length.
// With trim, blanks and control characters are cut from both ends of the result.
QString SwapStr(const QString& text, const QString& oldText, const QString& newText, bool trim = false);
// Plain decimal notation ("12", "-1.5", ".5", "1e3", blanks around); anything else gives defaultValue.
double StrToFloatDef(const QString& text, double defaultValue);
// -1, 0 or 1 after rounding both to 15 significant digits; values closer than 1e-10 are equal.
int CompareFloat(double a, double b);
kv::Variant IIF(bool condition, const kv::Variant& a, const kv::Variant& b);
bool IsVarEmptyOrNull(const kv::Variant& value);
bool IsLocalAddress(const QString& address);
// Chinese caption of a message-box button ("Yes" gives "是(&Y)"); other names come back unchanged.
QString GetCHTButtonCaption(const QString& buttonName);
// callName #3 count #3 then each of the count elements followed by #3: the text form of an
// application-server call. A non-array gives callName #3; elements beyond the array are skipped.
QString BLVariantToWideString(const QString& callName, const kv::Variant& args);
// The system temporary directory, symbolic links resolved, with a trailing "/".
QString GetLongTempPath();

// Dates --------------------------------------------------------------------------------------------
// Kind of the company date format: 1 y-m-d, 2 m-d-y, 3 d-m-y, 4 ROC year (2 digits)-m-d,
// 5 ROC year (3 digits)-m-d; the ROC year is the Gregorian year - 1911.

// "YYYYMMDD" (exactly 8 bytes, a real date) to a date; anything else gives 0.
kv::TDateTime TransDateIn(const QString& text);
// True for the empty text, else the first 8 bytes must be a date and the text lie between
// "17530101" and "99991231" (the range the database's date type takes).
bool CheckDate(const QString& text);
// Display text in the kind's layout with the first character of sep between the parts; 0 gives "".
QString DateToString(kv::TDateTime date, int kind, const QString& sep);
QString MonthToString(kv::TDateTime date, int kind, const QString& sep);
// Display text to a date; the day counts from the first of the month, so "2008/02/30" is 1 March.
kv::TDateTime StringToDate(const QString& text, int kind, const QString& sep);
// Display text to "YYYYMMDD"; "0" when it cannot be read. Without sep the text is read as "YYYYMMDD"
// whatever the kind.
QString Changedate(const QString& text, int kind, const QString& sep);
// "YYYYMMDD" to "YYYY" sep "MM" sep "DD"; "" unless the input has exactly 8 bytes.
QString ChangeStrToDateStr(const QString& text, const QString& sep);
// date: a "YYYYMMDD" text or a date Variant; unit "D", "M" or "Y" (any case). Months keep the day
// when they can, else take the month's last day; a year step that lands on a missing 29 February
// leaves the date as it is. Other units or inputs give "".
QString AddToDate(const kv::Variant& date, const QString& unit, int n);
// 28..31; 0 for a month outside 1..12.
int DaysInMonth(int year, int month);
// Moves a date text (or a month text "YYYYMM") by the offsets of a saved relative-date condition.
// mode "0" is weekly, other modes monthly; dayKind chooses the day within the week or month.
// "" when the date or an offset cannot be read.
QString UpdateDate(const QString& date, const QString& monthOffset, const QString& mode,
                   const QString& dayOffset, const QString& dayKind);
// First run date "YYYYMMDD" of a periodic job starting at start; pattern is [mode, data]:
// mode 0 every n days; 1 [n, weekday 0=Sunday]; 2 [0, n, day] or [1, n, k 0..3 first..fourth 4 last,
// weekday]. Hourly (3), unknown patterns, counts below 1 and unreadable input give "".
QString ClientScheduleDate(const QString& start, const kv::Variant& pattern);
// option[1] holds saved condition values, option[3] the date settings (element 0 a count, then
// texts whose fields are separated by #3). Returns option[1] with every variable date recomputed for
// a run on baseDate, or the empty text when the option cannot be read.
kv::Variant GetPeriodRptOption(const kv::Variant& option, const QString& baseDate);

// Code pages ---------------------------------------------------------------------------------------

// Wide and byte texts (also inside arrays of one or two dimensions, nested arrays recursively) become
// byte texts in codePage; characters the code page lacks become '?'. Other values pass unchanged.
// An unknown code page returns the input and writes a line to the "libstrs" alert log.
kv::Variant KVWideStringToStr(const kv::Variant& value, int codePage);
// The inverse: byte texts become wide texts decoded from codePage.
kv::Variant KVStrToWideString(const kv::Variant& value, int codePage);

// Log ----------------------------------------------------------------------------------------------

// Appends "[YYYY/MM/DD hh:nn:ss:zzz] text" to <install>/Log/Alert_<name>_<stamp>[.log]; the stamp is
// YYYYMMDD for period "D" (and unknown periods), YYYYMM for "M", YYYY for "Y". The directory is the
// launcher's client path, else its server path, else the program's directory. A name holding a path
// separator is refused. False on any failure.
bool WriteToAlertFile(const QString& name, const QString& text, const QString& period = QStringLiteral("D"));
