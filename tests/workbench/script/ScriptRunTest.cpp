// Scripted runs of the client on a generated demo company: the real workbench driven by clicks and keys.
#include <QDate>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include "common/TestSupport.h"
#include "workbench/common/ScriptRunSupport.h"

namespace {

using ScriptResult = wbtest::ScriptOutput;

class ScriptRun : public ::testing::Test {
protected:
    static void SetUpTestSuite() { install = new wbtest::ScriptInstallation; }
    static void TearDownTestSuite() {
        delete install;
        install = nullptr;
    }

    ScriptResult run(const QString& script) const { return install->run(script); }
    static QStringList rowsOf(const ScriptResult& r) {
        QStringList rows;
        for (const QString& l : r.out)
            if (l.startsWith("\tF01\t") || l.startsWith("*\tF01\t")) rows << l;
        return rows;
    }

    // Sets columns of the installation's first line of F01 (row 0 of the chart), as another program would.
    static void changeFirstLine(const wbtest::ScriptInstallation& own, const QString& assignments) {
        onDemo(own,
               "UPDATE MPSTB SET " + assignments + " WHERE rowid = (SELECT rowid FROM " + kFirstLine + ")");
    }

    // Runs the statement on the installation's company database and gives the first row it returns.
    static QVariantList onDemo(const wbtest::ScriptInstallation& own, const QString& sql) {
        return own.query(sql).value(0);
    }
    static inline const QString kFirstLine =
        "MPSTB WHERE TB001 = 'F01' ORDER BY TB002, TB003, TB004, TB005, TB037 LIMIT 1";

    static inline wbtest::ScriptInstallation* install = nullptr;
};

} // namespace

TEST_F(ScriptRun, QueriesSelectsDumpsAndShoots) {
    const ScriptResult r = run("# a factory, a bar, both tabs\n"
                               "query F01\n"
                               "dump\n"
                               "select 3\n"
                               "tab capacity\n"
                               "tab schedule\n"
                               "dump\n"
                               "shot wb.png\n"
                               "close\n");
    ASSERT_EQ(r.exitCode, 0) << r.err.join('\n').toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.join('\n').toStdString();
    ASSERT_FALSE(r.out.isEmpty());
    EXPECT_TRUE(r.out[0].startsWith("query\tF01\t")) << r.out[0].toStdString();
    const int lines = r.out[0].section('\t', 2, 2).section(' ', 0, 0).toInt();
    ASSERT_GT(lines, 3);

    // Two dumps of every line: the first has the first line current, the second the clicked one.
    const QStringList rows = rowsOf(r);
    ASSERT_EQ(rows.size(), 2 * lines);
    EXPECT_TRUE(rows[0].startsWith('*'));
    EXPECT_TRUE(rows[lines + 3].startsWith('*')) << rows[lines + 3].toStdString();
    for (int i = 0; i < lines; ++i)
        if (i != 3) {
            EXPECT_FALSE(rows[lines + i].startsWith(QLatin1Char(0x2a))) << i;
        }
    // Marker, six key parts, TB013, TB014, then day quantities inside the line's dates.
    const QStringList f = rows[lines + 3].split('\t');
    ASSERT_GE(f.size(), 9);
    EXPECT_EQ(f[1], "F01");
    EXPECT_EQ(f[7].size(), 8);
    EXPECT_LE(f[7], f[8]);
    int days = 0;
    for (int i = 0; i < lines; ++i) {
        const QStringList row = rows[i].split('\t');
        for (int k = 9; k < row.size(); ++k) {
            ++days;
            ASSERT_TRUE(row[k].contains('=')) << row[k].toStdString();
            EXPECT_EQ(row[k].section('=', 0, 0).size(), 8);
            EXPECT_GT(row[k].section('=', 1).toDouble(), 0);
        }
    }
    EXPECT_GT(days, 0);

    const QImage shot(install->filePath("wb.png"));
    ASSERT_FALSE(shot.isNull());
    EXPECT_GE(shot.width(), 1000);
}

TEST_F(ScriptRun, LineGridColumnsShowEveryRowInTheCompanyFormat) {
    const ScriptResult r = run("query F01\ndump\ncolumn TB013\ncolumn TB027\ncolumn TB099\n");
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_EQ(r.err.size(), 1);
    EXPECT_TRUE(r.err[0].contains("column: the line grid shows no TB099")) << r.err[0].toStdString();
    const QStringList rows = rowsOf(r);
    ASSERT_GE(rows.size(), 2);
    QStringList columns;
    for (const QString& l : r.out)
        if (l.startsWith("column\t")) columns << l;
    ASSERT_EQ(columns.size(), 2);
    // The demo company shows dates as yyyy/mm/dd: the first (current) row and the second alike.
    auto shown = [](const QString& row) {
        const QString d = row.split('\t').value(7);
        return d.left(4) + "/" + d.mid(4, 2) + "/" + d.mid(6, 2);
    };
    EXPECT_EQ(columns[0], "column\tTB013\t" + shown(rows[0]) + "\t" + shown(rows[1]));
    const QStringList status = columns[1].split('\t');
    ASSERT_EQ(status.size(), 4);
    const QStringList captions = {"1:交期符合", "2.交期延迟", "3.排产数量短缺", "9:未作排程", ""};
    EXPECT_TRUE(captions.contains(status[2])) << status[2].toStdString();
    EXPECT_TRUE(captions.contains(status[3])) << status[3].toStdString();
}

TEST_F(ScriptRun, MessageBoxesAreAnsweredAndPrinted) {
    // An unknown factory: the dialog's exit check shows its error, the step fails.
    ScriptResult r = run("query ZZ\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, QStringList{QStringLiteral("message\terror\t工厂不存在!\tok")});
    ASSERT_EQ(r.err.size(), 1) << r.err.join('\n').toStdString();
    EXPECT_TRUE(r.err[0].endsWith("test.script:1: query: the query dialog refused the factory ZZ"))
        << r.err[0].toStdString();

    // The pending answer goes to the next box only; a box without that button fails the step.
    r = run("answer yes\nquery ZZ\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, QStringList{QStringLiteral("message\terror\t工厂不存在!\tyes")});
    ASSERT_EQ(r.err.size(), 1);
    EXPECT_TRUE(r.err[0].contains("has no button yes")) << r.err[0].toStdString();
}

TEST_F(ScriptRun, StartUpBoxesAreAnsweredAndAnEditorNoCommandDrivesEndsTheRunAtOnce) {
    // A registry without the launcher's key: the boxes of the session's start are answered too.
    wbtest::ScriptInstallation broken;
    testsupport::writeFile(broken.filePath("registry.ini"), "; nothing here\n");
    ScriptResult r = broken.run("query F01\n");
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_GE(r.out.size(), 2) << r.err.join('\n').toStdString();
    EXPECT_TRUE(r.out[0].startsWith(QStringLiteral("message\terror\t找不到客户端的安装设定")))
        << r.out[0].toStdString();
    EXPECT_TRUE(r.out[1].startsWith(QStringLiteral("message\terror\t无法连接应用服务器")))
        << r.out[1].toStdString();
    EXPECT_EQ(r.err.size(), 1) << r.err.join('\n').toStdString();

    // The first line's days no longer add up to its quantity as stored: leaving it in edit mode opens
    // the daily editor, which no command of this script drives. The step ends it at once, well
    // within a modal limit it would otherwise have waited out.
    wbtest::ScriptInstallation own;
    changeFirstLine(own, "TB026 = TB026 + 7");
    QElapsedTimer clock;
    clock.start();
    r = own.run("query F01\nedit\nselect 1\ndump\n", "test.script", {"--modal-limit", "60"});
    EXPECT_LT(clock.elapsed(), 50000);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.filter(QStringLiteral("数量总和必须等于")).size() == 1)
        << r.out.join('\n').toStdString();
    ASSERT_EQ(r.err.size(), 1) << r.err.join('\n').toStdString();
    EXPECT_TRUE(r.err[0].contains("test.script:3: select: leaving row 0 opened its daily editor"))
        << r.err[0].toStdString();
    EXPECT_EQ(rowsOf(r).size(), 0); // nothing after the failure runs
}

// The first line's demand date falls on its first day: the red mark of that date lies over the bar's
// start, and the drag takes the bar where the bar itself is under the mouse.
TEST_F(ScriptRun, ADragTakesTheBarBesideTheMarkOfItsDemandDate) {
    wbtest::ScriptInstallation own;
    changeFirstLine(own, "TB010 = TB013");
    const ScriptResult r = own.run("query F01\nedit\ndrag 0 2\ndrag 0 -2\nanswer no\nclose\n");
    EXPECT_EQ(r.exitCode, 0) << r.err.join('\n').toStdString();
    const QStringList drags = r.out.filter(QRegularExpression("^drag\t0\t"));
    ASSERT_EQ(drags.size(), 2) << r.out.join('\n').toStdString();
    const QDate start = QDate::fromString(drags[0].section('\t', 2, 2), "yyyyMMdd");
    EXPECT_EQ(start.addDays(-2), QDate::fromString(drags[1].section('\t', 2, 2), "yyyyMMdd"));
}

// A day typed decades out stretches the bar over some 22,000 days; the editor of the whole bar then
// opens, takes the day back and confirms in moments. It used to sum every row again for each day
// filled in or sorted, and to compare every pair of days, which took many minutes.
// A factory whose lines span four years shows its whole span, under a pixel a day: drag and stretch
// still move a bar by whole days, as a planner does after zooming in.
TEST_F(ScriptRun, DragAndStretchMoveByWholeDaysOnAFactoryOfALongSpan) {
    wbtest::ScriptInstallation own;
    const QString lastLine =
        "MPSTB WHERE TB001 = 'F01' ORDER BY TB002 DESC, TB003 DESC, TB004 DESC, TB005 DESC, "
        "TB037 DESC LIMIT 1";
    auto earlier = [](const QString& column) {
        return "strftime('%Y%m%d', date(substr(" + column + ",1,4)||'-'||substr(" + column +
               ",5,2)||'-'||substr(" + column + ",7,2), '-1500 days'))";
    };
    onDemo(own, "UPDATE MPSTC SET TC006 = " + earlier("TC006") +
                    " WHERE rowid IN (SELECT MPSTC.rowid FROM MPSTC JOIN "
                    "(SELECT * FROM " +
                    lastLine +
                    ") ON TC001 = TB001 AND TC002 = TB003 AND TC009 = TB051 AND "
                    "TC003 = TB004 AND TC004 = TB005 AND TC005 = TB037)");
    onDemo(own, "UPDATE MPSTB SET TB013 = " + earlier("TB013") + ", TB014 = " + earlier("TB014") +
                    " WHERE rowid = (SELECT rowid FROM " + lastLine + ")");
    const ScriptResult r =
        own.run("query F01\ndump\nedit\ndrag 0 1\ndrag 0 -2\nstretch 0 stop 2\ndump\nanswer no\nclose\n");
    EXPECT_EQ(r.exitCode, 0) << r.err.join('\n').toStdString();
    const QStringList rows = rowsOf(r);
    ASSERT_GE(rows.size(), 2);
    const int lines = rows.size() / 2;
    auto day = [](const QString& row, int field) {
        return QDate::fromString(row.split('\t')[field], "yyyyMMdd");
    };
    // One day earlier, two days longer.
    EXPECT_EQ(day(rows[0], 7).daysTo(day(rows[lines], 7)), -1) << rows[lines].left(120).toStdString();
    EXPECT_EQ(day(rows[0], 8).daysTo(day(rows[lines], 8)), 1) << rows[lines].left(120).toStdString();
    // The daily editor opens on such a chart as well, even once a bar saved 80 years out has made a
    // day of the chart a fraction of a pixel.
    const QString firstDay = rows[0].split('\t').value(9);
    ASSERT_TRUE(firstDay.contains('=')) << rows[0].left(120).toStdString();
    const ScriptResult daily =
        own.run("query F01\nedit\ndrag 1 30000\nsave\nedit\ndaily 0 " + firstDay + "\nanswer no\nclose\n");
    EXPECT_EQ(daily.exitCode, 0) << daily.err.join('\n').toStdString();
}

// A stretch that drops a day leaves row 0's days short of its quantity, so the double click of `daily 1`
// first opens row 0's editor. The step names that at once rather than typing row 1's days into it.
TEST_F(ScriptRun, DailyOnAnotherRowWhileTheCurrentOneDoesNotAddUpNamesTheCurrentRow) {
    const ScriptResult r = run("query F01\nedit\nstretch 0 start 1\ndaily 1 20270301=0\ndump\nclose\n");
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_EQ(r.err.size(), 1) << r.err.join('\n').toStdString();
    EXPECT_TRUE(r.err[0].contains("daily: leaving row 0 opened its daily editor")) << r.err[0].toStdString();
    EXPECT_EQ(r.out.filter(QRegularExpression("^message\terror\t")).size(), 1)
        << r.out.join('\n').toStdString();
    EXPECT_TRUE(rowsOf(r).isEmpty());
}

// Any other step that leaves such a line meets the line's editor, which no command fills: the step
// fails at once naming the line, not after the modal limit naming a window.
TEST_F(ScriptRun, AnyStepLeavingARowWhoseDaysDoNotAddUpNamesTheRow) {
    for (const QString step : {"cell 1 TB044 5101", "select 1", "drag 1 1"}) {
        const ScriptResult r = run("query F01\nedit\nstretch 0 start 1\n" + step + "\ndump\nclose\n");
        EXPECT_EQ(r.exitCode, 1) << step.toStdString();
        ASSERT_EQ(r.err.size(), 1) << r.err.join('\n').toStdString();
        const QString expected = step.section(' ', 0, 0) + ": leaving row 0 opened its daily editor";
        EXPECT_TRUE(r.err[0].contains(expected)) << r.err[0].toStdString();
        EXPECT_TRUE(rowsOf(r).isEmpty()) << step.toStdString();
    }
}

TEST_F(ScriptRun, TheDailyEditorOfABarOfDecadesConfirmsInMoments) {
    const QStringList before = rowsOf(run("query F01\ndump\nclose\n"));
    ASSERT_FALSE(before.isEmpty());
    const QStringList days = before[0].split('\t').filter(QRegularExpression("^\\d{8}="));
    ASSERT_FALSE(days.isEmpty()) << before[0].toStdString();
    const QString last = days.last().section('=', 0, 0), quantity = days.last().section('=', 1);
    const QString far = QDate::fromString(last, "yyyyMMdd").addYears(60).toString("yyyyMMdd");
    QElapsedTimer clock;
    clock.start();
    const ScriptResult r =
        run(QString("query F01\nedit\ndaily 0 %1=0,%2=%3\ndaily 0 %2=0,%1=%3\ndump\nanswer no\nclose\n")
                .arg(last, far, quantity));
    EXPECT_EQ(r.exitCode, 0) << r.err.join('\n').toStdString();
    EXPECT_LT(clock.elapsed(), 60000);
    const QStringList rows = rowsOf(r);
    ASSERT_FALSE(rows.isEmpty());
    EXPECT_TRUE(rows[0].contains(last + "=" + quantity)) << rows[0].left(300).toStdString();
    EXPECT_FALSE(rows[0].contains(far + "=")) << rows[0].left(300).toStdString();
}

// `daily` types a new day as the company writes dates, whatever its format, and the day moves.
TEST_F(ScriptRun, DailyTypesNewDaysInTheCompanysDateFormat) {
    wbtest::ScriptInstallation own;
    const QStringList before = rowsOf(own.run("query F01\ndump\nclose\n"));
    ASSERT_FALSE(before.isEmpty());
    const QStringList days = before[0].split('\t').filter(QRegularExpression("^\\d{8}="));
    ASSERT_FALSE(days.isEmpty()) << before[0].toStdString();
    const QString last = days.last().section('=', 0, 0), quantity = days.last().section('=', 1);
    const QString later = QDate::fromString(last, "yyyyMMdd").addDays(40).toString("yyyyMMdd");
    for (const char* format : {"MA001 = '4', MA002 = '/'", "MA001 = '2', MA002 = '-'"}) {
        onDemo(own, QString("UPDATE CMSMA SET ") + format);
        const ScriptResult r =
            own.run(QString("query F01\nedit\ndaily 0 %1=0,%2=%3\ndump\nanswer no\nclose\n")
                        .arg(last, later, quantity));
        EXPECT_EQ(r.exitCode, 0) << format << r.err.join('\n').toStdString();
        const QStringList rows = rowsOf(r);
        ASSERT_FALSE(rows.isEmpty()) << format;
        EXPECT_TRUE(rows[0].contains(later + "=" + quantity)) << format << rows[0].left(300).toStdString();
        EXPECT_FALSE(rows[0].contains(last + "=" + quantity)) << format << rows[0].left(300).toStdString();
    }
}

// A bar stretched until it holds no day leaves its quantity on none: Down in its daily editor adds
// the first day, and the planner can place the quantity again.
TEST_F(ScriptRun, ABarStretchedToNoDaysTakesItsFirstDayInTheDailyEditor) {
    const QStringList before = rowsOf(run("query F01\ndump\nclose\n"));
    ASSERT_GT(before.size(), 3);
    const QStringList days = before[3].split('\t').filter(QRegularExpression("^\\d{8}="));
    ASSERT_FALSE(days.isEmpty()) << before[3].toStdString();
    double quantity = 0;
    for (const QString& d : days)
        quantity += d.section('=', 1).toDouble();
    const QString first = days.first().section('=', 0, 0);
    const ScriptResult r = run(QString("query F01\nedit\nselect 3\nstretch 3 stop -%1\ndaily 3 %2=%3\ndump\n"
                                       "answer no\nclose\n")
                                   .arg(days.size())
                                   .arg(first)
                                   .arg(quantity));
    EXPECT_EQ(r.exitCode, 0) << r.err.join('\n').toStdString();
    const QStringList rows = rowsOf(r);
    ASSERT_GT(rows.size(), 3);
    EXPECT_TRUE(rows[3].endsWith(QString("\t%1\t%1\t%1=%2").arg(first).arg(quantity)))
        << rows[3].toStdString();
}

// A day as an import may leave it, 31 February, on the first line: no bar can place it, and no save
// may rewrite it as another day.
TEST_F(ScriptRun, AStoredDayThatIsNoDateIsNamedKeptOffTheBarAndLeftAsStored) {
    wbtest::ScriptInstallation own;
    const QString firstLineDays =
        "FROM MPSTC JOIN (SELECT * FROM " + kFirstLine +
        ") ON TC001 = TB001 AND TC002 = TB003 AND TC009 = TB051 AND TC003 = TB004 AND "
        "TC004 = TB005 AND TC005 = TB037 ";
    const double quantity =
        onDemo(own, "SELECT TC007 " + firstLineDays + "ORDER BY TC006 LIMIT 1").value(0).toDouble();
    onDemo(own, "UPDATE MPSTC SET TC006 = '20270231' WHERE rowid = (SELECT MPSTC.rowid " + firstLineDays +
                    "ORDER BY TC006 LIMIT 1)");
    const ScriptResult r =
        own.run("query F01\ndump\nedit\ndrag 0 2\ncancel\nedit\ndrag 0 1\nsave\nquery F01\nclose\n");
    EXPECT_EQ(r.exitCode, 0) << r.err.join('\n').toStdString();
    // Named when the planner queries the factory: not again when a cancel or a save loads it anew.
    const QStringList named =
        r.out.filter(QRegularExpression(QString::fromUtf8("^message\twarning\t.*不是日期.*: 20270231\tok$")));
    EXPECT_EQ(named.size(), 2) << r.out.join('\n').toStdString();
    EXPECT_TRUE(r.out.indexOf(named[1]) > r.out.indexOf(QRegularExpression("^save\t")))
        << r.out.join('\n').toStdString();
    const QStringList rows = rowsOf(r);
    ASSERT_FALSE(rows.isEmpty());
    EXPECT_FALSE(rows[0].contains("18991230")) << rows[0].toStdString();
    EXPECT_EQ(r.out.filter(QRegularExpression("^save\t\\d+ lines$")).size(), 1)
        << r.out.join('\n').toStdString();
    // The saved line moved; the row without a date is as it was stored.
    const QVariantList kept =
        onDemo(own, "SELECT TC007, MPSTC.FLAG, COUNT(*) " + firstLineDays + "AND TC006 = '20270231'");
    ASSERT_EQ(kept.size(), 3);
    EXPECT_EQ(kept[0].toDouble(), quantity);
    EXPECT_EQ(kept[1].toInt(), 0);
    EXPECT_EQ(kept[2].toInt(), 1);
    EXPECT_EQ(onDemo(own, "SELECT COUNT(*) " + firstLineDays + "AND TC006 = '18991230'").value(0).toInt(), 0);
}

TEST_F(ScriptRun, UnknownCommandsAndBadStepsFail) {
    ScriptResult r = run("query F01\nfrobnicate 1\ndump\n");
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_EQ(r.err.size(), 1);
    EXPECT_TRUE(r.err[0].contains("test.script:2: unknown command frobnicate")) << r.err[0].toStdString();
    EXPECT_EQ(rowsOf(r).size(), 0); // nothing after the failure runs

    r = run("query F01\nselect 9999\n");
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_EQ(r.err.size(), 1);
    EXPECT_TRUE(r.err[0].contains("select: there is no row 9999")) << r.err[0].toStdString();

    r = run("tab sideways\n");
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_EQ(r.err.size(), 1);
    EXPECT_TRUE(r.err[0].contains("usage: tab schedule|capacity")) << r.err[0].toStdString();
}

TEST_F(ScriptRun, AnotherPlannerSavesFirstAndThisSaveIsRefusedWithTheirNameInAPicturedBox) {
    // A company of its own: both planners save in it.
    wbtest::ScriptInstallation own;
    testsupport::writeFile(own.filePath("other.script"), "query F01\nedit\ndrag 0 1\nsave\nclose\n");
    testsupport::writeFile(own.filePath("broken.script"), "query F01\nfrobnicate\n");
    ScriptResult r = own.run("query F01\nedit\ndrag 0 -2\nclient PLAN01 other.script\n"
                             "answer yes refused.png\nsave refused\ncancel\nclose\n");
    ASSERT_EQ(r.exitCode, 0) << r.err.join('\n').toStdString();
    EXPECT_TRUE(r.out.contains("client\tPLAN01\tsave\t12 lines")) << r.out.join('\n').toStdString();
    EXPECT_TRUE(r.out.contains("client\tPLAN01\tdone"));
    const QStringList refusal = r.out.filter(QStringLiteral("message\terror\t单据保存失败"));
    ASSERT_EQ(refusal.size(), 1) << r.out.join('\n').toStdString();
    EXPECT_TRUE(refusal[0].contains(": PLAN01 ")) << refusal[0].toStdString();
    EXPECT_TRUE(refusal[0].endsWith("\tyes"));
    EXPECT_TRUE(r.out.contains("save\trefused"));
    // The box is drawn over the workbench: the picture is the window's size, not the box's.
    const QImage picture(own.filePath("refused.png"));
    ASSERT_FALSE(picture.isNull());
    EXPECT_GE(picture.width(), 1000);

    // The expectation is checked both ways, and the other client's failure is this script's.
    r = own.run("query F01\nedit\ndrag 0 1\nsave refused\n");
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_EQ(r.err.size(), 1) << r.err.join('\n').toStdString();
    EXPECT_TRUE(r.err[0].contains("save: the save was not refused")) << r.err[0].toStdString();
    r = own.run("client PLAN01 missing.script\n");
    ASSERT_EQ(r.err.size(), 1) << r.err.join('\n').toStdString();
    EXPECT_TRUE(r.err[0].contains("client: the script missing.script does not exist"))
        << r.err[0].toStdString();
    r = own.run("client PLAN01 broken.script\n");
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_EQ(r.err.size(), 1) << r.err.join('\n').toStdString();
    EXPECT_TRUE(r.err[0].contains("the second client ended with status 1:")) << r.err[0].toStdString();
    EXPECT_TRUE(r.err[0].contains("unknown command frobnicate")) << r.err[0].toStdString();
}

// Another factory's save rewrites the load rows both use. A move that widens this planner's chart
// reads the load of the wider window; the rows read before keep the FLAG they were loaded with, and
// the save is refused as any other, naming who saved them. (In this company F01's first line ends on
// the last day of the load: moved, it widens the chart.)
TEST_F(ScriptRun, AnotherFactorysSaveRefusesThisSaveAlsoAfterTheChartGrew) {
    kv::demo::DemoOptions options;
    options.lines = 40;
    options.seed = 9;
    options.start = QDate(2026, 12, 9);
    const wbtest::ScriptInstallation own(options);
    // A Chinese system under the Chinese interface: the load follows each move as it is made.
    const testsupport::ScopedEnv system("TARNIX_ACP", "936");
    testsupport::writeFile(own.filePath("other.script"), "query F02\nedit\ndrag 0 -3\nsave\nclose\n");
    const ScriptResult r = own.run("query F01\nclient PLAN01 other.script\nedit\ndrag 0 -2\n"
                                   "answer yes\nsave refused\ncancel\nclose\n");
    ASSERT_EQ(r.exitCode, 0) << r.err.join('\n').toStdString() << r.out.join('\n').toStdString();
    const QStringList refusal = r.out.filter(QStringLiteral("message\terror\t单据保存失败"));
    ASSERT_EQ(refusal.size(), 1) << r.out.join('\n').toStdString();
    EXPECT_TRUE(refusal[0].contains(": PLAN01 ")) << refusal[0].toStdString();
}

namespace {

// The output of a poppler tool on a file; empty when it failed.
QString popplerOutput(const QString& tool, const QStringList& args) {
    QProcess p;
    p.start(tool, args);
    if (!p.waitForFinished(30000) || p.exitCode() != 0) return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

TEST_F(ScriptRun, ExportWritesTheChartWithItsGridAsAPictureOrPdfPages) {
    const ScriptResult r = run("query F01\n"
                               "select 3\n"
                               "dump\n"
                               "shot before.png\n"
                               "export window.png\n"
                               "export window.pdf window\n"
                               "export span.pdf all\n"
                               "shot after.png\n"
                               "export span.png all\n");
    // Only PDF takes pages: the last export is refused with a box that names the file.
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_EQ(r.err.size(), 1) << r.err.join('\n').toStdString();
    EXPECT_TRUE(r.err[0].contains("export: span.png was not written")) << r.err[0].toStdString();
    EXPECT_TRUE(r.out.contains(QString::fromUtf8("message\terror\t%1: 全部期间只能导出为 PDF 页面\tok")
                                   .arg(install->filePath("span.png"))))
        << r.out.join('\n').toStdString();
    const QStringList rows = rowsOf(r);
    ASSERT_GE(rows.size(), 5);

    // The planner's window is as it was before the pages were drawn.
    const QImage before(install->filePath("before.png")), after(install->filePath("after.png"));
    ASSERT_FALSE(before.isNull());
    EXPECT_EQ(before, after);

    // The picture holds the grid's key columns and the chart beside them.
    const QImage picture(install->filePath("window.png"));
    ASSERT_FALSE(picture.isNull());
    EXPECT_GT(picture.width(), 1000);
    EXPECT_GT(picture.height(), 20 * 18);

    // The visible window is one page whose texts are text: the first rows' keys are there.
    const QString window = popplerOutput("pdftotext", {"-layout", install->filePath("window.pdf"), "-"});
    ASSERT_FALSE(window.isEmpty()) << "pdftotext (poppler-utils) cannot read window.pdf";
    EXPECT_TRUE(popplerOutput("pdfinfo", {install->filePath("window.pdf")})
                    .contains(QRegularExpression("Pages:\\s+1\\n")));
    for (int i = 0; i < 5; ++i) {
        const QStringList f = rows[i].split('\t');
        const QString key = QStringList{f[3], f[4], f[5], f[6]}.join(QStringLiteral("\\s+"));
        EXPECT_TRUE(window.contains(QRegularExpression(key))) << "row " << i << ": " << key.toStdString();
    }

    // The whole span: every line's key on each window of days, pages numbered.
    const QString span = popplerOutput("pdftotext", {"-layout", install->filePath("span.pdf"), "-"});
    const QString info = popplerOutput("pdfinfo", {install->filePath("span.pdf")});
    const int pages = QRegularExpression("Pages:\\s+(\\d+)").match(info).captured(1).toInt();
    ASSERT_GT(pages, 1) << info.toStdString();
    EXPECT_TRUE(span.contains(QStringLiteral("%1/%1").arg(pages)));
    int windows = -1;
    for (const QString& row : rows) {
        const QStringList f = row.split('\t');
        const QString key = QStringList{f[3], f[4], f[5], f[6]}.join(QStringLiteral("\\s+")) + "\\s";
        const int seen = int(span.count(QRegularExpression(key)));
        if (windows < 0) windows = seen;
        EXPECT_EQ(seen, windows) << key.toStdString();
    }
    EXPECT_GE(windows, 1);
    EXPECT_EQ(pages % windows, 0);
}
