// The move commands of a scripted run: linkage boxes, a drag with lower-level linkage, the arrow
// keys, a stretch, codes typed into the line grid and days typed into the daily editor, each by mouse
// and key events on the real workbench of the client program; a moved and edited line whose key has a
// leading blank, saved.
#include <gtest/gtest.h>

#include <QDate>
#include <QRegularExpression>

#include "workbench/common/ScriptRunSupport.h"

namespace {

using wbtest::ScriptOutput;

class ScriptMove : public ::testing::Test {
protected:
    static void SetUpTestSuite() { install = new wbtest::ScriptInstallation; }
    static void TearDownTestSuite() {
        delete install;
        install = nullptr;
    }

    ScriptOutput run(const QString& script) const { return install->run(script, "move.script"); }
    // Node and dates of every line of a dump, in row order: "01 20260524-20260603".
    static QStringList lines(const QStringList& out, int dump) {
        QStringList rows;
        int seen = 0;
        for (const QString& l : out) {
            const QStringList f = l.split('\t');
            if (f.size() < 9 || f[1] != "F01") continue;
            if (l.startsWith('*') || l.startsWith('\t')) {
                if (rows.size() == 12) {
                    if (++seen > dump) break;
                    rows.clear();
                }
                rows << f[6] + " " + f[7] + "-" + f[8];
            }
        }
        return rows;
    }

    static inline wbtest::ScriptInstallation* install = nullptr;
};

} // namespace

TEST_F(ScriptMove, DragKeyAndStretchWithLowerLevelLinkage) {
    const ScriptOutput r = run("query F01\n"
                               "dump\n"
                               "edit\n"
                               "link chkUp on\n"
                               "drag 0 -2\n"
                               "key 0 right\n"
                               "stretch 0 stop 1\n"
                               "dump\n"
                               "cancel\n"
                               "close\n");
    ASSERT_EQ(r.exitCode, 0) << r.err.join('\n').toStdString();
    const QStringList before = lines(r.out, 0), after = lines(r.out, 1);
    ASSERT_EQ(before.size(), 12);
    ASSERT_EQ(after.size(), 12);
    ASSERT_EQ(before[0], "01 20260524-20260603");
    EXPECT_TRUE(r.out.contains("drag\t0\t20260522\t20260601"));
    EXPECT_TRUE(r.out.contains("key\t0\t20260523\t20260602"));
    EXPECT_TRUE(r.out.contains("stretch\t0\t20260523\t20260603"));
    // The children of the dragged line that ended after its new start were pulled by two days,
    // and the arrow key does not push them back; other source lines stayed.
    EXPECT_EQ(before[1], "0101 20260514-20260523");
    EXPECT_EQ(after[1], "0101 20260512-20260521");
    EXPECT_EQ(after[2], "0102 20260429-20260521");
    for (int i = 4; i < 12; ++i)
        EXPECT_EQ(after[i], before[i]) << i;
}

TEST_F(ScriptMove, CellsAreCheckedAndBadStepsFail) {
    ScriptOutput r = run("query F01\n"
                         "edit\n"
                         "cell 0 TB042 XXXX\n"
                         "cancel\n"
                         "close\n");
    ASSERT_EQ(r.exitCode, 0) << r.err.join('\n').toStdString();
    const int message = r.out.indexOf(QString::fromUtf8("message\terror\t此单别不存在或单据性质不存在!\tok"));
    ASSERT_GE(message, 0) << r.out.join('\n').toStdString();
    // The refused code leaves the old one.
    ASSERT_GT(r.out.size(), message + 1);
    EXPECT_TRUE(r.out[message + 1].startsWith("cell\t0\tTB042\t")) << r.out[message + 1].toStdString();
    EXPECT_NE(r.out[message + 1], "cell\t0\tTB042\tXXXX");

    // The MPS box waits for one of the others; the chart is not for dragging outside edit mode.
    r = run("query F01\nlink chkMPS on\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.join('\n').contains("chkMPS")) << r.err.join('\n').toStdString();
    r = run("query F01\ndrag 0 1\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.join('\n').contains("edit mode")) << r.err.join('\n').toStdString();
}

// The daily command types a day outside the bar: the last day's quantity moves two days before the
// first, the bar grows to it, lower-level linkage pulls the child that ended after it, and all is saved.
TEST_F(ScriptMove, DailyLengthensABarWithLinkageAndSaves) {
    // It saves: on an installation of its own, which the other tests do not see.
    wbtest::ScriptInstallation own;
    ScriptOutput r = own.run("query F01\ndump\nclose\n", "move.script");
    const QString last = r.out.value(1).split('\t').last(); // "20260603=QTY" of the first line
    ASSERT_TRUE(last.startsWith("20260603=")) << r.out.value(1).toStdString();
    r = own.run(QString("query F01\nedit\nlink chkUp on\ndaily 0 20260522=%1,20260603=0\nsave\ndump\nclose\n")
                    .arg(last.section('=', 1)),
                "move.script");
    ASSERT_EQ(r.exitCode, 0) << r.err.join('\n').toStdString();
    const QStringList after = lines(r.out, 0);
    ASSERT_EQ(after.size(), 12);
    EXPECT_EQ(after[0], "01 20260522-20260603");
    EXPECT_EQ(after[1], "0101 20260512-20260521");
    EXPECT_EQ(r.out.filter("\t01\t20260522\t").value(0).split('\t').value(9),
              "20260522=" + last.section('=', 1));
}

// The red mark of a need date that is the bar's first day lies over the bar's left end: the daily
// command double-clicks the bar where it shows, as a planner would, and the editor opens.
TEST_F(ScriptMove, DailyOpensOnABarWhoseNeedDateIsItsFirstDay) {
    wbtest::ScriptInstallation own;
    own.query("UPDATE MPSTB SET TB010 = TB013");
    ScriptOutput r = own.run("query F01\ndump\nclose\n", "move.script");
    const QString first = r.out.value(1).split('\t').value(9); // "20260524=QTY" of the first line
    ASSERT_TRUE(first.startsWith("20260524=")) << r.out.value(1).toStdString();
    r = own.run("query F01\nedit\ndaily 0 " + first + "\ncancel\nclose\n", "move.script");
    EXPECT_EQ(r.exitCode, 0) << r.err.join('\n').toStdString();
}

// A server returns the codes of fixed-width columns padded with blanks: typing the same code again
// changes nothing, and leaves no step to undo.
TEST_F(ScriptMove, TypingAPaddedCodeAgainIsNoStep) {
    wbtest::ScriptInstallation own;
    own.query("UPDATE MPSTB SET TB044 = 'WC03      ' WHERE TB001 = 'F01' AND TB044 = 'WC03'");
    ScriptOutput r = own.run("query F01\nedit\ncell 0 TB044 WC03\nundo\n", "move.script");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.join('\n').contains("there is nothing to undo")) << r.err.join('\n').toStdString();
    r = own.run("query F01\nedit\ncell 0 TB044 WC01\nundo\ncancel\nclose\n", "move.script");
    EXPECT_EQ(r.exitCode, 0) << r.err.join('\n').toStdString();
    EXPECT_TRUE(r.out.contains("undo\t0\t1")) << r.out.join('\n').toStdString();
}

// undo and redo press Ctrl+Z and Ctrl+Y: a confirmed daily editor with the lines its linkage moved is
// one step, a changed cell another.
TEST_F(ScriptMove, UndoAndRedoTakeBackAndApplyTheDailyEditorAndACell) {
    ScriptOutput r = run("query F01\ndump\nclose\n");
    const QString last = r.out.value(1).split('\t').last(); // "20260603=QTY" of the first line
    ASSERT_TRUE(last.startsWith("20260603=")) << r.out.value(1).toStdString();
    r = run(QString("query F01\nedit\nlink chkUp on\ndump\n"
                    "daily 0 20260522=%1,20260603=0\ncell 0 TB042 5102\ncolumn TB042\n"
                    "undo\ncolumn TB042\nundo\ndump\n"
                    "redo\ndump\nredo\ncolumn TB042\ncancel\nclose\n")
                .arg(last.section('=', 1)));
    ASSERT_EQ(r.exitCode, 0) << r.err.join('\n').toStdString();
    // Every dump row with its days, in order.
    const auto dump = [&r](int k) {
        QStringList rows;
        for (const QString& l : r.out)
            if (l.split('\t').size() >= 9 && l.split('\t')[1] == "F01" &&
                (l.startsWith('*') || l.startsWith('\t')))
                rows << l;
        return rows.mid(12 * k, 12).join('\n').toStdString();
    };
    ASSERT_EQ(dump(1), dump(0));
    const QStringList redone = lines(r.out, 2);
    ASSERT_EQ(redone.size(), 12);
    EXPECT_EQ(redone[0], "01 20260522-20260603");
    EXPECT_EQ(redone[1], "0101 20260512-20260521");
    for (const char* step : {"undo\t1\t1", "undo\t0\t2", "redo\t1\t1", "redo\t2\t0"})
        EXPECT_TRUE(r.out.contains(step)) << step << "\n" << r.out.join('\n').toStdString();
    const QStringList columns = r.out.filter(QRegularExpression("^column\tTB042\t"));
    ASSERT_EQ(columns.size(), 3);
    EXPECT_EQ(columns[0].split('\t').value(2), "5102");
    EXPECT_NE(columns[1].split('\t').value(2), "5102");
    EXPECT_EQ(columns[2], columns[0]);

    // Nothing to take back is a failed step.
    r = run("query F01\nedit\nundo\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.join('\n').contains("nothing to undo")) << r.err.join('\n').toStdString();
}

// Texts in test failures as texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

// The rows a statement gives on the installation's company database, each its values joined by "|"
// as stored (no blanks taken off).
QStringList demoRows(const wbtest::ScriptInstallation& own, const QString& sql) {
    QStringList rows;
    for (const QVariantList& row : own.query(sql)) {
        QStringList values;
        for (const QVariant& v : row)
            values << v.toString();
        rows << values.join('|');
    }
    return rows;
}

// The dump row of the line of document doc and node (blanks around it ignored); empty when none.
QStringList dumpRow(const QStringList& out, const QString& doc, const QString& node) {
    for (const QString& l : out) {
        const QStringList f = l.split('\t');
        if (f.size() >= 9 && f[1] == "F01" && f[4] == doc && f[6].trimmed() == node) return f;
    }
    return {};
}

QString shifted(const QString& yyyymmdd, int days) {
    return QDate::fromString(yyyymmdd, "yyyyMMdd").addDays(days).toString("yyyyMMdd");
}

} // namespace

// A line whose node is stored with a leading blank (" 0103", its day rows too) is one line wherever
// the workbench keys it: a drag moves its stored days and plan rows with it, a code typed into its
// cell is saved, all under the node as stored, and a new session loads it so.
TEST(ScriptMoveKeys, ALeadingBlankInAKeyPartIsKeptByDragCellAndSave) {
    wbtest::ScriptInstallation own;
    const QString doc = demoRows(own, "SELECT TB004 FROM MPSTB WHERE TB001 = 'F01' AND TB005 = '0001' AND "
                                      "TB037 = '0103' ORDER BY TB004 LIMIT 1")
                            .value(0);
    ASSERT_FALSE(doc.isEmpty());
    const QString line = QString("TB001 = 'F01' AND TB004 = '%1' AND TB005 = '0001'").arg(doc);
    demoRows(own, "UPDATE MPSTB SET TB037 = ' 0103' WHERE " + line + " AND TB037 = '0103'");
    demoRows(own, QString("UPDATE MPSTC SET TC005 = ' 0103' WHERE TC001 = 'F01' AND TC003 = '%1' AND TC004 = "
                          "'0001' AND TC005 = '0103'")
                      .arg(doc));
    const QStringList stored =
        demoRows(own, "SELECT TB042, FLAG FROM MPSTB WHERE " + line + " AND TB037 = ' 0103'");
    ASSERT_EQ(stored.size(), 1);
    ASSERT_NE(stored[0].section('|', 0, 0), "5201");

    ScriptOutput r = own.run("query F01\ndump\nclose\n", "keys.script");
    ASSERT_EQ(r.exitCode, 0) << r.err.join('\n').toStdString();
    const QStringList before = dumpRow(r.out, doc, "0103");
    ASSERT_GE(before.size(), 10) << r.out.join('\n').toStdString();
    int row = 0;
    for (const QString& l : r.out)
        if (const QStringList f = l.split('\t'); f.size() >= 9 && f[1] == "F01") {
            if (f == before) break;
            ++row;
        }
    // The days the line should have once moved by two days, as the dump writes them.
    QStringList days;
    for (const QString& d : before.mid(9))
        days << shifted(d.section('=', 0, 0), 2) + "=" + d.section('=', 1);

    r = own.run(QString("query F01\nedit\ndrag %1 2\ncell %1 TB042 5201\nsave\nclose\n").arg(row),
                "keys.script");
    ASSERT_EQ(r.exitCode, 0) << r.err.join('\n').toStdString();
    ASSERT_TRUE(r.out.contains(QString("cell\t%1\tTB042\t5201").arg(row))) << r.out.join('\n').toStdString();

    // The line, its days and its plan rows under the node as stored; nothing under the node trimmed.
    const QString savedLine = QStringList{shifted(before[7], 2), shifted(before[8], 2), "5201",
                                          QString::number(stored[0].section('|', 1).toInt() + 1)}
                                  .join('|');
    EXPECT_EQ(
        demoRows(own, "SELECT TB013, TB014, TB042, FLAG FROM MPSTB WHERE " + line + " AND TB037 = ' 0103'"),
        QStringList{savedLine});
    QStringList storedDays;
    for (const QString& d :
         demoRows(own, QString("SELECT TC006, TC007 FROM MPSTC WHERE TC001 = 'F01' AND TC003 "
                               "= '%1' AND TC004 = '0001' AND TC005 = ' 0103' ORDER BY TC006")
                           .arg(doc)))
        storedDays << d.section('|', 0, 0) + "=" + QString::number(d.section('|', 1).toDouble());
    EXPECT_EQ(storedDays, days);
    QStringList planDays;
    for (const QString& d :
         demoRows(own, QString("SELECT DISTINCT TF002 FROM MPSTF WHERE TF003 = '2' AND TF005 = "
                               "'%1' AND TF006 = '0001' AND TF007 = ' 0103' ORDER BY TF002")
                           .arg(doc)))
        planDays << d;
    QStringList dayTexts;
    for (const QString& d : days)
        dayTexts << d.section('=', 0, 0);
    EXPECT_EQ(planDays, dayTexts);
    for (const QString& table : {QString("MPSTB WHERE %1 AND TB037 = '0103'").arg(line),
                                 QString("MPSTC WHERE TC003 = '%1' AND TC005 = '0103'").arg(doc),
                                 QString("MPSTF WHERE TF005 = '%1' AND TF007 = '0103'").arg(doc)})
        EXPECT_EQ(demoRows(own, "SELECT COUNT(*) FROM " + table), QStringList{"0"}) << table.toStdString();

    // A new session shows the line as saved.
    r = own.run("query F01\ndump\nclose\n", "keys.script");
    ASSERT_EQ(r.exitCode, 0) << r.err.join('\n').toStdString();
    const QStringList after = dumpRow(r.out, doc, "0103");
    ASSERT_GE(after.size(), 10) << r.out.join('\n').toStdString();
    EXPECT_EQ(after[6], " 0103");
    EXPECT_EQ(after[7], shifted(before[7], 2));
    EXPECT_EQ(after[8], shifted(before[8], 2));
    EXPECT_EQ(after.mid(9), days);
}
