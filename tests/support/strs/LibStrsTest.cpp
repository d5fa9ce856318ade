#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "common/TestSupport.h"
#include "platform/CodePage.h"
#include "support/LibStrs.h"

using kv::Variant;

namespace {

const QString S3(QChar(3));

// Sets the system code page for one test and restores the default after it.
struct CodePageScope {
    explicit CodePageScope(int cp) { kv::codepage::setSystemCodePageOverride(cp); }
    ~CodePageScope() { kv::codepage::setSystemCodePageOverride(0); }
};

// A registry whose client path is a temporary directory, so alert logs land there.
struct LogScope {
    QTemporaryDir dir;
    testsupport::ScopedEnv env{"TARNIX_REGISTRY", QByteArray()};
    LogScope() {
        const QString reg = dir.filePath("registry.ini");
        testsupport::writeFile(
            reg, "[HKEY_LOCAL_MACHINE\\Software\\KVR\\Steward]\nClientPath=" + dir.path().toUtf8() + "\n");
        qputenv("TARNIX_REGISTRY", reg.toUtf8());
    }
    QStringList logFiles() const {
        QStringList files = QDir(dir.filePath("Log")).entryList(QDir::Files);
        files.sort();
        return files;
    }
    QString read(const QString& name) const {
        return QString::fromUtf8(testsupport::readFile(dir.filePath("Log/" + name)));
    }
};

QString today(const char* format) {
    return kv::formatDateTime(format, kv::today());
}

} // namespace

TEST(Tokens, GetTokenNumTokenAndCutToken) {
    EXPECT_EQ(GetToken("a,b", ",", 2), "b");
    EXPECT_EQ(GetToken("a,b", ",", 3), "");
    EXPECT_EQ(GetToken("a", ",", 1), "a");
    EXPECT_EQ(GetToken("a,b", ",", 0), "");
    EXPECT_EQ(GetToken("a::b::c", "::", 2), "b");
    EXPECT_EQ(GetToken("a::b::c", "::", 3), "c");
    EXPECT_EQ(GetToken("a,b,", ",", 3), "");
    EXPECT_EQ(GetToken(",a", ",", 1), "");
    EXPECT_EQ(GetToken("a,b", "", 1), "a,b");
    EXPECT_EQ(GetToken(QString::fromUtf8("甲,乙丙"), ",", 2), QString::fromUtf8("乙丙"));

    EXPECT_EQ(NumToken("a,b,c", ","), 3);
    EXPECT_EQ(NumToken("", ","), 0);
    EXPECT_EQ(NumToken("a,b,", ","), 3);
    EXPECT_EQ(NumToken("abc", ","), 1);
    // Separators longer than a character that could overlap: as many tokens as GetToken cuts.
    EXPECT_EQ(NumToken("a;;;b", ";;"), 2);
    EXPECT_EQ(GetToken("a;;;b", ";;", 2), ";b");
    EXPECT_EQ(NumToken("aaa", "aa"), 2);
    EXPECT_EQ(NumToken("aaaa", "aa"), 3);

    QString text = "x;;y";
    EXPECT_EQ(CutToken(text, ";"), "x");
    EXPECT_EQ(text, ";y");
    EXPECT_EQ(CutToken(text, ";"), "");
    EXPECT_EQ(text, "y");
    EXPECT_EQ(CutToken(text, ";"), "y");
    EXPECT_EQ(text, "");
    EXPECT_EQ(CutToken(text, ";"), "");
}

TEST(Tokens, SwapStrReplacesUntilNoneRemains) {
    EXPECT_EQ(SwapStr("SELECT * FROM $$INVMB JOIN $$CMSMA ON 1=1", "$$", "DEMO..", false),
              "SELECT * FROM DEMO..INVMB JOIN DEMO..CMSMA ON 1=1");
    // Texts that differ only in case leave the text alone.
    EXPECT_EQ(SwapStr("aXa", "x", "X", false), "aXa");
    // A replacement that forms a new occurrence with the text before it is replaced again.
    EXPECT_EQ(SwapStr("aaaa", "aa", "a", false), "a");
    EXPECT_EQ(SwapStr("abbb", "ab", "a", false), "a");
    // A new text holding the old one ends after one pass.
    EXPECT_EQ(SwapStr("ab", "a", "aa", false), "aab");
    // A pair whose replacements feed each other without end stops growing at a bound.
    const QString endless = SwapStr("aab", "ab", "bbaa", false);
    EXPECT_GT(endless.size(), 3);
    EXPECT_LT(endless.size(), 5000);
    EXPECT_EQ(SwapStr("abc", "", "x", false), "abc");
    EXPECT_EQ(SwapStr(" \t x y \r\n", "q", "r", true), "x y");
    EXPECT_EQ(SwapStr(" a ", "a", "A", true), "a");
}

TEST(Tokens, PadRCountsBytesOfTheSystemCodePage) {
    EXPECT_EQ(PadR("ab", 5, '0'), "ab000");
    EXPECT_EQ(PadR("abcdef", 3), "abcdef");
    EXPECT_EQ(PadR("ab", 4), "ab  ");
    EXPECT_EQ(PadR("ab", -1), "ab");
    CodePageScope gbk(936);
    EXPECT_EQ(PadR(QString::fromUtf8("中a"), 5), QString::fromUtf8("中a  "));
    EXPECT_EQ(PadR(QString::fromUtf8("中文"), 3), QString::fromUtf8("中文"));
}

TEST(Numbers, StrToFloatDefAcceptsPlainNumbersOnly) {
    EXPECT_DOUBLE_EQ(StrToFloatDef("1.5", 0), 1.5);
    EXPECT_DOUBLE_EQ(StrToFloatDef(" -2e3 ", 0), -2000);
    EXPECT_DOUBLE_EQ(StrToFloatDef(".5", 0), 0.5);
    EXPECT_DOUBLE_EQ(StrToFloatDef("5.", 0), 5);
    EXPECT_DOUBLE_EQ(StrToFloatDef("+7", 0), 7);
    for (const char* bad :
         {"", " ", "1,5", "abc", ".", "1e", "e5", "inf", "nan", "0x10", "1.2.3", "1e999", "--1"})
        EXPECT_DOUBLE_EQ(StrToFloatDef(bad, -9), -9) << bad;
}

TEST(Numbers, CompareFloatRoundsTo15Digits) {
    EXPECT_EQ(CompareFloat(0.1 + 0.2, 0.3), 0);
    EXPECT_EQ(CompareFloat(1, 2), -1);
    EXPECT_EQ(CompareFloat(2, 1), 1);
    EXPECT_EQ(CompareFloat(1e-11, 0), 0);
    EXPECT_EQ(CompareFloat(1e-9, 0), 1);
    EXPECT_EQ(CompareFloat(-1e-9, 0), -1);
}

TEST(Helpers, ButtonCaptionsMatchExactly) {
    EXPECT_EQ(GetCHTButtonCaption("NoToAll"), QString::fromUtf8("全否(&o)"));
    EXPECT_EQ(GetCHTButtonCaption("yes"), "yes");
    EXPECT_FALSE(IsLocalAddress("localhost"));
}

TEST(Helpers, BLVariantToWideStringJoinsCountAndElements) {
    EXPECT_EQ(BLVariantToWideString("GetRight", Variant::arrayOf({2, "a", 5})),
              "GetRight" + S3 + "2" + S3 + "a" + S3 + "5" + S3);
    // Elements past the count are not part of the call; a count past the array stops at its end.
    EXPECT_EQ(BLVariantToWideString("F", Variant::arrayOf({1, "a", "b"})), "F" + S3 + "1" + S3 + "a" + S3);
    EXPECT_EQ(BLVariantToWideString("F", Variant::arrayOf({5, "a"})), "F" + S3 + "5" + S3 + "a" + S3);
    EXPECT_EQ(BLVariantToWideString("F", Variant::arrayOf({2, Variant::null(), Variant::arrayOf({1})})),
              "F" + S3 + "2" + S3 + S3 + S3);
    EXPECT_EQ(BLVariantToWideString("F", Variant("x")), "F" + S3);
    EXPECT_EQ(BLVariantToWideString("F", Variant::arrayOf({"many", "a"})), "F" + S3 + "many" + S3);
}

TEST(Helpers, GetLongTempPathResolvesLinks) {
    QTemporaryDir dir;
    QDir(dir.path()).mkdir("real");
    ASSERT_TRUE(QFile::link(dir.filePath("real"), dir.filePath("link")));
    testsupport::ScopedEnv tmp("TMPDIR", dir.filePath("link").toUtf8());
    EXPECT_EQ(GetLongTempPath(), QFileInfo(dir.filePath("real")).canonicalFilePath() + "/");
}

TEST(Dates, TransDateInAgainstKnownSerialDays) {
    EXPECT_EQ(TransDateIn("20080515"), 39583);
    EXPECT_EQ(TransDateIn("19000301"), 61);
    EXPECT_EQ(TransDateIn("20000101"), 36526);
    EXPECT_EQ(TransDateIn("18991230"), 0);
    EXPECT_EQ(TransDateIn("18991231"), 1);
    for (const char* bad : {"20080230", "2008051", "200805150", "2008051a", "00000101", "20080015",
                            "20081300", "2008-5-1", "+0080515", " 2008051", ""})
        EXPECT_EQ(TransDateIn(bad), 0) << bad;
    EXPECT_EQ(TransDateIn(QString::fromUtf8("２００８０５１５")), 0);
}

TEST(Dates, CheckDateRange) {
    EXPECT_TRUE(CheckDate(""));
    EXPECT_FALSE(CheckDate("17521231"));
    EXPECT_TRUE(CheckDate("17530101"));
    EXPECT_TRUE(CheckDate("99991231"));
    EXPECT_FALSE(CheckDate("20080230"));
    EXPECT_FALSE(CheckDate("2008051"));
    EXPECT_FALSE(CheckDate("abc"));
    EXPECT_TRUE(CheckDate("20080515 extra"));
}

TEST(Dates, DateAndMonthToStringInEveryKind) {
    const double d = 39583; // 2008-05-15
    EXPECT_EQ(DateToString(d, 1, "/"), "2008/05/15");
    EXPECT_EQ(DateToString(d, 2, "-"), "05-15-2008");
    EXPECT_EQ(DateToString(d, 3, "."), "15.05.2008");
    EXPECT_EQ(DateToString(d, 4, "/"), "97/05/15");
    EXPECT_EQ(DateToString(d, 5, "/"), "097/05/15");
    EXPECT_EQ(DateToString(d + 0.75, 1, "//"), "2008/05/15");
    EXPECT_EQ(DateToString(d, 1, ""), "20080515");
    EXPECT_EQ(DateToString(d, 6, "/"), "");
    EXPECT_EQ(DateToString(0, 1, "/"), "");
    EXPECT_EQ(DateToString(1e300, 1, "/"), "");
    EXPECT_EQ(MonthToString(d, 1, "/"), "2008/05");
    EXPECT_EQ(MonthToString(d, 2, "/"), "05/2008");
    EXPECT_EQ(MonthToString(d, 3, "/"), "05/2008");
    EXPECT_EQ(MonthToString(d, 4, "/"), "97/05");
    EXPECT_EQ(MonthToString(d, 5, "-"), "097-05");
    EXPECT_EQ(MonthToString(d, 0, "-"), "");
}

TEST(Dates, StringToDateRollsDaysOverAndRejectsNonNumbers) {
    EXPECT_EQ(StringToDate("2008/02/30", 1, "/"), kv::encodeDate(2008, 3, 1));
    EXPECT_EQ(StringToDate("05/15/2008", 2, "/"), 39583);
    EXPECT_EQ(StringToDate("15-05-2008", 3, "-"), 39583);
    EXPECT_EQ(StringToDate("97/5/15", 4, "/"), 39583);
    EXPECT_EQ(StringToDate("097/05/15", 5, "/"), 39583);
    EXPECT_EQ(StringToDate(" 2008 / 5 / 15 ", 1, "/"), 39583);
    for (const char* bad : {"abc", "2008/13/01", "2008/0/1", "2008/05", "2008/05/x", "/05/15", "2008/-5/15"})
        EXPECT_EQ(StringToDate(bad, 1, "/"), 0) << bad;
    EXPECT_EQ(StringToDate("2008/05/15", 0, "/"), 0);
    EXPECT_EQ(StringToDate("2008/05/15", 6, "/"), 0);
}

TEST(Dates, ChangedateIsTheInverseOfDateToString) {
    EXPECT_EQ(Changedate("97/05/01", 4, "/"), "20080501");
    EXPECT_EQ(Changedate("097/05/01", 5, "/"), "20080501");
    EXPECT_EQ(Changedate("5/1/2008", 2, "/"), "20080501");
    EXPECT_EQ(Changedate("1/5/2008", 3, "/"), "20080501");
    EXPECT_EQ(Changedate("2008-5-1", 1, "-"), "20080501");
    EXPECT_EQ(Changedate("20080515", 1, ""), "20080515");
    EXPECT_EQ(Changedate("20080515", 4, ""), "20080515");
    for (const char* bad : {"", "   ", "2008/x/01", "2008/0/01", "2008/05", "a/b/c"})
        EXPECT_EQ(Changedate(bad, 1, "/"), "0") << bad;
    for (int kind = 1; kind <= 5; ++kind)
        EXPECT_EQ(Changedate(DateToString(39583, kind, "/"), kind, "/"), "20080515") << kind;

    EXPECT_EQ(ChangeStrToDateStr("20080515", "-"), "2008-05-15");
    EXPECT_EQ(ChangeStrToDateStr("2008051", "-"), "");
    EXPECT_EQ(ChangeStrToDateStr("200805151", "-"), "");
}

TEST(Dates, AddToDateAcrossCenturyYears) {
    EXPECT_EQ(AddToDate(Variant("20080131"), "M", 1), "20080229");
    EXPECT_EQ(AddToDate(Variant("20080229"), "Y", 1), "20080229");
    EXPECT_EQ(AddToDate(Variant("20080229"), "y", 4), "20120229");
    EXPECT_EQ(AddToDate(Variant("20080515"), "d", -39583 + 2), "19000101");
    EXPECT_EQ(AddToDate(Variant("19000228"), "D", 1), "19000301");
    EXPECT_EQ(AddToDate(Variant("20000228"), "D", 1), "20000229");
    EXPECT_EQ(AddToDate(Variant("21000228"), "D", 1), "21000301");
    EXPECT_EQ(AddToDate(Variant("19000131"), "M", 1), "19000228");
    EXPECT_EQ(AddToDate(Variant("20000131"), "M", 1), "20000229");
    EXPECT_EQ(AddToDate(Variant("21000131"), "M", 1), "21000228");
    EXPECT_EQ(AddToDate(Variant("20000229"), "Y", 100), "20000229");
    EXPECT_EQ(AddToDate(Variant("19960229"), "Y", 4), "20000229");
    EXPECT_EQ(AddToDate(Variant("20080331"), "M", -1), "20080229");
    EXPECT_EQ(AddToDate(Variant::fromDate(39583.5), "D", 1), "20080516");
    EXPECT_EQ(AddToDate(Variant::fromBytes("20080515", 936), "M", 12), "20090515");
    // Unknown units, other kinds of input, zero dates and dates past 9999 give nothing.
    EXPECT_EQ(AddToDate(Variant("20080515"), "W", 1), "");
    EXPECT_EQ(AddToDate(Variant(39583.0), "D", 1), "");
    EXPECT_EQ(AddToDate(Variant(), "D", 1), "");
    EXPECT_EQ(AddToDate(Variant("notadate"), "D", 1), "");
    EXPECT_EQ(AddToDate(Variant::fromDate(0), "D", 1), "");
    EXPECT_EQ(AddToDate(Variant("99991231"), "D", 1), "");
    EXPECT_EQ(AddToDate(Variant("99991231"), "M", 1), "");
}

TEST(Dates, DaysInMonthGregorian) {
    EXPECT_EQ(DaysInMonth(1900, 2), 28);
    EXPECT_EQ(DaysInMonth(2000, 2), 29);
    EXPECT_EQ(DaysInMonth(2100, 2), 28);
    EXPECT_EQ(DaysInMonth(2008, 2), 29);
    EXPECT_EQ(DaysInMonth(2008, 4), 30);
    EXPECT_EQ(DaysInMonth(2008, 12), 31);
    EXPECT_EQ(DaysInMonth(2008, 13), 0);
    EXPECT_EQ(DaysInMonth(2008, 0), 0);
    EXPECT_EQ(DaysInMonth(10000, 2), 29);
}

TEST(Dates, UpdateDateWeeklyMonthlyAndMonthTexts) {
    // Month texts move by months.
    EXPECT_EQ(UpdateDate("200801", "13", "1", "0", "0"), "200902");
    EXPECT_EQ(UpdateDate("200801", "-1", "0", "9", "1"), "200712");
    // Monthly: days, first day, last day.
    EXPECT_EQ(UpdateDate("20080131", "1", "1", "-15", "0"), "20080214");
    EXPECT_EQ(UpdateDate("20080515", "1", "1", "0", "1"), "20080601");
    EXPECT_EQ(UpdateDate("20080515", "-3", "1", "0", "2"), "20080229");
    // Weekly (mode "0"): the week's Sunday or Saturday, or plain days.
    EXPECT_EQ(UpdateDate("20080515", "1", "0", "0", "1"), "20080518");
    EXPECT_EQ(UpdateDate("20080515", "1", "0", "0", "2"), "20080524");
    EXPECT_EQ(UpdateDate("20080518", "0", "0", "0", "1"), "20080518");
    EXPECT_EQ(UpdateDate("20080515", "1", "0", "2", "0"), "20080524");
    EXPECT_EQ(UpdateDate("20080515", "0", "0", "-15", "0"), "20080430");
    // Unreadable input gives nothing.
    EXPECT_EQ(UpdateDate("20080230", "1", "1", "0", "0"), "");
    EXPECT_EQ(UpdateDate("20080515", "x", "1", "0", "0"), "");
    EXPECT_EQ(UpdateDate("20080515", "1", "1", "", "0"), "");
    EXPECT_EQ(UpdateDate("2008ab", "1", "1", "0", "0"), "");
    EXPECT_EQ(UpdateDate("", "1", "1", "0", "0"), "");
}

TEST(Dates, ClientScheduleDateFirstRuns) {
    auto pattern = [](int mode, std::initializer_list<Variant> data) {
        return Variant::arrayOf({mode, Variant::arrayOf(data)});
    };
    // 2008-05-15 is a Thursday.
    EXPECT_EQ(ClientScheduleDate("20080515", pattern(2, {0, 1, 10})), "20080610");
    EXPECT_EQ(ClientScheduleDate("20080515", pattern(2, {0, 1, 20})), "20080520");
    EXPECT_EQ(ClientScheduleDate("20080515", pattern(2, {0, 2, 31})), "20080630");
    EXPECT_EQ(ClientScheduleDate("20080131", pattern(2, {0, 1, 30})), "20080229");
    EXPECT_EQ(ClientScheduleDate("20080515", pattern(1, {1, 1})), "20080519");
    EXPECT_EQ(ClientScheduleDate("20080515", pattern(1, {1, 6})), "20080517");
    EXPECT_EQ(ClientScheduleDate("20080515", pattern(1, {1, 4})), "20080515");
    EXPECT_EQ(ClientScheduleDate("20080515", pattern(1, {2, 0})), "20080525");
    EXPECT_EQ(ClientScheduleDate("20080515", pattern(0, {3})), "20080515");
    // k-th weekday: the first Monday of May is past, so June's; the last Friday of May is still ahead.
    EXPECT_EQ(ClientScheduleDate("20080515", pattern(2, {1, 1, 0, 1})), "20080602");
    EXPECT_EQ(ClientScheduleDate("20080515", pattern(2, {1, 1, 4, 5})), "20080530");
    EXPECT_EQ(ClientScheduleDate("20080515", pattern(2, {1, 1, 2, 4})), "20080515");
    EXPECT_EQ(ClientScheduleDate("20080515", pattern(2, {1, 3, 3, 0})), "20080727");
    // Hourly, broken and nonsensical patterns have no first date.
    EXPECT_EQ(ClientScheduleDate("20080515", pattern(3, {1})), "");
    EXPECT_EQ(ClientScheduleDate("20080515", pattern(1, {0, 1})), "");
    EXPECT_EQ(ClientScheduleDate("20080515", pattern(1, {1, 7})), "");
    EXPECT_EQ(ClientScheduleDate("20080515", pattern(2, {1, 1, 5, 1})), "");
    EXPECT_EQ(ClientScheduleDate("20080515", pattern(2, {0, 1})), "");
    EXPECT_EQ(ClientScheduleDate("2008051", pattern(0, {1})), "");
    EXPECT_EQ(ClientScheduleDate("20080515", Variant()), "");
    EXPECT_EQ(ClientScheduleDate("20080515", Variant::arrayOf({1, "x"})), "");
}

TEST(Dates, GetPeriodRptOptionRecomputesVariableDates) {
    auto fields = [](QStringList f) { return f.join(QChar(3)); };
    const Variant values =
        Variant::arrayOf({"factory", "20070101", Variant::arrayOf({"", "20070101", "20071231"}), "20060101"});
    // Single date at index 1: a month ahead, monthly, last day.
    const QString single = fields({"1", "", "Y", "1", "1", "2", "0", "D", "1"});
    // Range at index 2: begin = first of the base month; end = a week back + 3 days.
    const QString range = fields({"0", "", "Y", "0", "1", "1", "0", "Y", "-1", "0", "0", "3", "D", "2"});
    // Fixed date at index 3 stays; a month-valued variable date with no offsets is the base month.
    const QString fixed = fields({"1", "", "N", "1", "1", "1", "1", "D", "3"});
    const QString month = fields({"1", "", "Y", "0", "1", "0", "0", "M", "0"});
    const Variant option =
        Variant::arrayOf({Variant(), values, "period", Variant::arrayOf({4, single, range, fixed, month})});

    const Variant result = GetPeriodRptOption(option, "20080515");
    ASSERT_TRUE(result.isArray());
    EXPECT_EQ(result.at(0), Variant("200805"));
    EXPECT_EQ(result.at(1), Variant("20080630"));
    EXPECT_EQ(result.at(2).at(1), Variant("20080501"));
    EXPECT_EQ(result.at(2).at(2), Variant("20080511"));
    EXPECT_EQ(result.at(3), Variant("20060101"));
    // The caller's option is not touched.
    EXPECT_EQ(option.at(1).at(1), Variant("20070101"));

    const Variant broken =
        Variant::arrayOf({Variant(), values, "period",
                          Variant::arrayOf({1, fields({"1", "", "Y", "1", "1", "2", "0", "D", "x"})})});
    EXPECT_EQ(GetPeriodRptOption(broken, "20080515"), Variant(""));
    EXPECT_EQ(GetPeriodRptOption(Variant(), "20080515"), Variant(""));
    const Variant outOfRange =
        Variant::arrayOf({Variant(), values, "period",
                          Variant::arrayOf({1, fields({"1", "", "Y", "0", "1", "0", "0", "D", "9"})})});
    EXPECT_EQ(GetPeriodRptOption(outOfRange, "20080515"), Variant(""));
}

TEST(CodePages, WideTextsBecomeBytesAndBack) {
    const QString guo = QString::fromUtf8("国");
    const Variant bytes = KVWideStringToStr(Variant(guo), 936);
    ASSERT_EQ(bytes.type(), kv::VarType::ByteString);
    EXPECT_EQ(bytes.bytes(), QByteArray("\xB9\xFA"));
    EXPECT_EQ(KVStrToWideString(bytes, 936), Variant(guo));
    // BIG5 lacks the simplified character: the plain conversion gives '?'.
    EXPECT_EQ(KVWideStringToStr(Variant(guo), 950).bytes(), QByteArray("?"));
    EXPECT_EQ(KVWideStringToStr(Variant(QString::fromUtf8("國")), 950).bytes(), QByteArray("\xB0\xEA"));
    // A byte text of another code page is re-encoded.
    EXPECT_EQ(KVWideStringToStr(Variant::fromBytes("\xB0\xEA", 950), 936).bytes(), QByteArray("\x87\xF8"));

    Variant grid = Variant::array2(0, 1, 1, 2);
    grid.set(0, 1, guo);
    grid.set(0, 2, 7);
    grid.set(1, 1, Variant::null());
    grid.set(1, 2, "ab");
    const Variant converted = KVWideStringToStr(grid, 936);
    EXPECT_EQ(converted.at(0, 1).bytes(), QByteArray("\xB9\xFA"));
    EXPECT_EQ(converted.at(0, 2), Variant(7));
    EXPECT_TRUE(converted.at(1, 1).isNull());
    EXPECT_EQ(converted.at(1, 2).type(), kv::VarType::ByteString);
    EXPECT_EQ(KVStrToWideString(converted, 936), grid);

    const Variant nested = Variant::arrayOf({guo, Variant::arrayOf({guo, 1.5})});
    const Variant nestedBytes = KVWideStringToStr(nested, 936);
    EXPECT_EQ(nestedBytes.at(1).at(0).bytes(), QByteArray("\xB9\xFA"));
    EXPECT_EQ(nestedBytes.at(1).at(1), Variant(1.5));
    EXPECT_EQ(KVStrToWideString(nestedBytes, 936), nested);

    EXPECT_TRUE(KVWideStringToStr(Variant(), 936).isEmpty());
    EXPECT_TRUE(KVStrToWideString(Variant::null(), 936).isNull());
}

TEST(CodePages, UnknownCodePageReturnsInputAndLogs) {
    LogScope log;
    const Variant input(QString::fromUtf8("国"));
    EXPECT_EQ(KVWideStringToStr(input, 12345), input);
    const Variant bytes = Variant::fromBytes("\xB9\xFA", 936);
    EXPECT_EQ(KVStrToWideString(bytes, 12345), bytes);
    const QString file = "Alert_libstrs_" + today("yyyymmdd") + ".log";
    ASSERT_EQ(log.logFiles(), QStringList{file});
    const QStringList lines = log.read(file).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].contains("] LINE[2735] ")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains("] LINE[115] ")) << lines[1].toStdString();
}

TEST(AlertFile, WritesDailyMonthlyAndYearlyFiles) {
    LogScope log;
    EXPECT_TRUE(WriteToAlertFile("job", "first", "D"));
    EXPECT_TRUE(WriteToAlertFile("job", "second", "x"));
    EXPECT_TRUE(WriteToAlertFile("job", "month", "M"));
    EXPECT_TRUE(WriteToAlertFile("job", "year", "Y"));
    EXPECT_TRUE(WriteToAlertFile("named.txt", "kept", "D"));
    const QString day = "Alert_job_" + today("yyyymmdd") + ".log";
    QStringList expected{day, "Alert_job_" + today("yyyymm") + ".log", "Alert_job_" + today("yyyy") + ".log",
                         "Alert_named.txt_" + today("yyyymmdd")};
    expected.sort();
    EXPECT_EQ(log.logFiles(), expected);
    const QStringList lines = log.read(day).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    // "[YYYY/MM/DD hh:nn:ss:zzz] text"
    EXPECT_TRUE(
        QRegularExpression(R"(^\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d:\d{3}\] first$)").match(lines[0]).hasMatch())
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith("] second"));
    // A name that would leave the log directory is refused.
    EXPECT_FALSE(WriteToAlertFile("../escape", "x", "D"));
    EXPECT_FALSE(QFile::exists(log.dir.filePath("Alert_")));
}

TEST(AlertFile, UnwritableDirectoryIsAFailure) {
    QTemporaryDir dir;
    testsupport::writeFile(dir.filePath("install"), "a file, not a directory");
    const QString reg = testsupport::writeFile(dir.filePath("registry.ini"),
                                               "[HKEY_LOCAL_MACHINE\\Software\\KVR\\Steward]\nClientPath=" +
                                                   dir.filePath("install").toUtf8() + "\n");
    testsupport::ScopedEnv env("TARNIX_REGISTRY", reg.toUtf8());
    EXPECT_FALSE(WriteToAlertFile("job", "x", "D"));
}
