// Moving bars on the workbench with the mouse and the arrow keys: the line's dates in both sets,
// lower-level and upper-level linkage within the source line, MPS items, and the line that becomes
// current on a click.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBarSet>
#include <QCheckBox>
#include <QDate>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "controls/ExtPage.h"
#include "frame/KvADO.h"
#include "gantt/MyGant.h"
#include "gantt/phDataEntityPack.h"
#include "gantt/phScaler.h"
#include "platform/data/ClientDataSet.h"
#include "support/LibStrs.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"
#include "workbench/Krta07SMFCharts.h"
#include "workbench/Krta07SMFUndo.h"
#include "workbench/common/WorkbenchTestSupport.h"

namespace {

class Move : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FDir.isValid());
        cs = wbtest::sqliteCompany(FDir.path());
    }
    void TearDown() override { delete wb; }

    void open() {
        wb = wbtest::createWorkbench(cs);
        wbtest::query(wb, "F1");
        wb->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(wb));
        QTest::mouseClick(wb->btnEdit, Qt::LeftButton);
        ASSERT_EQ(wb->EditState(), 1);
    }
    void link(QCheckBox* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2)); }
    TMyGantItem* item(int row) const { return wb->mgMPSTC->MyGantList()->Items(row); }
    // Dates of a line in the working set and in the grid's set: "start-finish" each.
    QString dates(int row) const {
        kv::TClientDataSet& lines = *wb->dmKrta07S->qryMPSTB;
        auto at = [&lines, row](const char* f) {
            return lines.valueAt(row, lines.FieldByName(f).Index()).toString().trimmed();
        };
        kv::TClientDataSet& pre = *wb->dmKrta07S->qryMPSTBPre;
        const QVariant b =
            pre.Lookup("TB003;TB051;TB004;TB005;TB037",
                       {at("TB003"), at("TB051"), at("TB004"), at("TB005"), at("TB037")}, "TB013");
        const QVariant e =
            pre.Lookup("TB003;TB051;TB004;TB005;TB037",
                       {at("TB003"), at("TB051"), at("TB004"), at("TB005"), at("TB037")}, "TB014");
        const QString working = at("TB013") + "-" + at("TB014");
        const QString grid = b.toString().trimmed() + "-" + e.toString().trimmed();
        return working == grid ? working : working + " / grid " + grid;
    }
    // Drags a bar by whole days, holding it above its day cells.
    void drag(int row, int days) {
        wb->mgMPSTC->GantArea()->repaint();
        wb->mgMPSTC->UpdateAllGeometry();
        const QRect r = wb->mgMPSTC->ItemRect(item(row)->Bar);
        ASSERT_FALSE(r.isEmpty());
        const double pxPerDay = 1 / wb->mgMPSTC->Scale();
        const QPoint from(r.left() + int(pxPerDay / 2) + 1, r.top() + 1);
        const QPoint to = from + QPoint(int(std::lround(days * pxPerDay)), 0);
        QWidget* area = wb->mgMPSTC->GantArea();
        QTest::mousePress(area, Qt::LeftButton, {}, from);
        QTest::mouseMove(area, (from + to) / 2);
        QTest::mouseMove(area, to);
        QTest::mouseRelease(area, Qt::LeftButton, {}, to);
    }

    // Drags the start or the stop edge of a bar by whole days.
    void stretch(int row, bool atStart, int days) {
        drag(row, 0); // a click: the line is current and the chart stays where it is
        wb->mgMPSTC->GantArea()->repaint();
        wb->mgMPSTC->UpdateAllGeometry();
        const QRect r = wb->mgMPSTC->ItemRect(item(row)->Bar);
        ASSERT_FALSE(r.isEmpty());
        const QPoint from(atStart ? r.left() + 1 : r.left() + r.width() - 2, r.top() + 1);
        const QPoint to = from + QPoint(int(std::lround(days / wb->mgMPSTC->Scale())), 0);
        QWidget* area = wb->mgMPSTC->GantArea();
        QTest::mousePress(area, Qt::LeftButton, {}, from);
        QTest::mouseMove(area, (from + to) / 2);
        QTest::mouseMove(area, to);
        QTest::mouseRelease(area, Qt::LeftButton, {}, to);
    }
    // What undo must put back: each line's dates in both sets and its day texts, every plan row, the
    // load and the overloaded days.
    QStringList state() const {
        QStringList out;
        for (int r = 0; r < wb->RowKeys().size(); ++r) {
            QString line = QString::number(r) + " " + dates(r);
            for (int k = 0; k < item(r)->CellCount(); ++k)
                line += " " + QString::number(item(r)->CellStart(k), 'f', 1) + "=" + item(r)->CellQuantity(k) +
                        "/" + item(r)->CellRemark(k);
            out << line;
        }
        auto all = [](const kv::TClientDataSet& set) {
            QStringList rows;
            for (int r = 0; r < set.RecordCount(); ++r) {
                QStringList values;
                for (int f = 0; f < set.FieldCount(); ++f) {
                    const QVariant v = set.valueAt(r, f);
                    values << (v.typeId() == QMetaType::Double ? QString::number(v.toDouble(), 'f', 6)
                                                               : v.toString().trimmed());
                }
                rows << values.join("|");
            }
            rows.sort();
            return rows;
        };
        out << all(*wb->dmKrta07S->qryMPSTF) << all(*wb->dmKrta07S->qryMPSTD);
        out << wb->lblOverload->text();
        return out;
    }
    // The small chart's days and values.
    QStringList chart() const {
        QTest::qWait(20); // the chart redraws when the window is idle
        const TKrta07LoadValues& v = wb->ctMPSTC->Values();
        QStringList out{wb->ctMPSTC->Title()};
        for (int i = 0; i < v.Days.size(); ++i)
            out << QString("%1 %2 %3 %4 %5").arg(v.Days[i]).arg(v.TD004[size_t(i)]).arg(v.TD005[size_t(i)])
                       .arg(v.TD006[size_t(i)]).arg(v.TD007[size_t(i)]);
        return out;
    }
    // Capacities of R3 that a drag of line 5 one day earlier overloads on the 7th.
    void capacitiesOfR3() {
        for (const char* day : {"20260104", "20260105", "20260106", "20260107", "20260108", "20260109"})
            wbtest::exec(company(),
                         QString("INSERT INTO DEMO..MPSTD (TD001,TD002,TD003,TD004,TD005,TD006,TD007,TD008,FLAG) "
                                 "VALUES ('R3','%1',%2,0,0,0,0,'',0)")
                             .arg(day)
                             .arg(QString(day) == "20260107" ? 6 : 10));
    }

    // Row of the line of D'2 with that type, source line and node.
    int rowOf(const char* type, const char* seq, const char* node) const {
        return wb->RowKeys().indexOf(TfrmKrta07SM::LineKeyOf({"F1", "1", type, "D'2", seq, node}));
    }
    // Plan rows of a line of D'2 on R3: "day=main" in day order.
    QStringList planRows(const char* type, const char* seq) const {
        kv::TClientDataSet& plan = *wb->dmKrta07S->qryMPSTF;
        QStringList out;
        for (int pos : plan.LocateAll("TF001;TF011;TF005;TF006;TF007", {"R3", type, "D'2", seq, "01"}))
            out << plan.valueAt(pos, plan.FieldByName("TF002").Index()).toString().trimmed() + "=" +
                       QString::number(plan.valueAt(pos, plan.FieldByName("TF008").Index()).toDouble());
        out.sort();
        return out;
    }
    // The planned main consumption the small chart shows on a day.
    double plannedMain(const char* day) const {
        QTest::qWait(20); // the chart redraws when the window is idle
        const int i = wb->ctMPSTC->Values().Days.indexOf(day);
        return i < 0 ? -1 : wb->ctMPSTC->seJZ->at(i);
    }

    // A connection of the test's own to the company.
    TKvADOConnection& company() {
        if (!FConnection.Connected()) {
            FConnection.SetConnectionString(cs);
            FConnection.Open();
        }
        return FConnection;
    }

    QTemporaryDir FDir;
    QString cs;
    TfrmKrta07SM* wb = nullptr;
    TKvADOConnection FConnection;
};

TEST_F(Move, WithoutLinkageOnlyTheDraggedLineChanges) {
    open();
    EXPECT_FALSE(wb->chkMPS->isEnabled());
    link(wb->chkUp);
    EXPECT_TRUE(wb->chkMPS->isEnabled());
    link(wb->chkMPS);
    EXPECT_TRUE(wb->chkMPS->isChecked());
    link(wb->chkUp);
    EXPECT_FALSE(wb->chkMPS->isChecked());
    EXPECT_FALSE(wb->chkMPS->isEnabled());

    drag(0, -3);
    EXPECT_EQ(dates(0), "20260107-20260109");
    EXPECT_EQ(dates(1), "20260106-20260111");
    EXPECT_EQ(dates(2), "20260104-20260107");
    // The day quantities travel with the bar.
    EXPECT_EQ(item(0)->GetDayValue(TransDateIn("20260107")), 20);
    EXPECT_EQ(item(0)->GetDayValue(TransDateIn("20260110")), 0);
    // The bar's line became current and its plan consumption follows the new days.
    EXPECT_EQ(wb->CurrentRowIndex(), 0);
    kv::TClientDataSet& plan = *wb->dmKrta07S->qryMPSTF;
    EXPECT_TRUE(plan.Locate("TF001;TF002;TF007", {"R1", "20260107", "01"}));
    EXPECT_FALSE(plan.Locate("TF001;TF002;TF007", {"R1", "20260110", "01"}));
}

TEST_F(Move, LowerLevelLinkagePullsChildrenThatEndTooLate) {
    open();
    link(wb->chkUp);
    // The parent now starts on the 7th: its child ending on the 11th ends on the 6th, and the
    // grandchild then ends before the child's new start.
    drag(0, -3);
    EXPECT_EQ(dates(0), "20260107-20260109");
    EXPECT_EQ(dates(1), "20260101-20260106");
    EXPECT_EQ(dates(2), "20251228-20251231");
    // Another top node and another source line stay.
    EXPECT_EQ(dates(3), "20260110-20260110");
    EXPECT_EQ(dates(4), "20260105-20260106");
    // A linked move is not reported again by the chart, and its days moved along.
    EXPECT_EQ(item(1)->Start, item(1)->Bar->StartTime);
    EXPECT_EQ(item(1)->GetDayValue(TransDateIn("20260101")), 10);
    EXPECT_LE(wb->mgMPSTC->MinStart(), TransDateIn("20251228") - 5);

    // Moving the parent later never pushes a child.
    drag(0, 5);
    EXPECT_EQ(dates(0), "20260112-20260114");
    EXPECT_EQ(dates(1), "20260101-20260106");
}

// The child 0101 ends on the 11th: a parent that now starts on the 12th needs nothing of it, and
// the grandchild, which ends after the child's start, is not looked at from it.
TEST_F(Move, AChildEndingRightBeforeTheNewStartStaysWithItsChildren) {
    open();
    link(wb->chkUp);
    drag(0, 2);
    EXPECT_EQ(dates(0), "20260112-20260114");
    EXPECT_EQ(dates(1), "20260106-20260111");
    EXPECT_EQ(dates(2), "20260104-20260107");
    // A day earlier the child ends a day too late: it is pulled by one day, its child by three.
    QTest::keyClick(wb->mgMPSTC->GantArea(), Qt::Key_Left);
    EXPECT_EQ(dates(0), "20260111-20260113");
    EXPECT_EQ(dates(1), "20260105-20260110");
    EXPECT_EQ(dates(2), "20260101-20260104");
}

TEST_F(Move, MpsChildStaysButItsChildrenAreStillChecked) {
    {
        TKvADOConnection c;
        c.SetConnectionString(cs);
        c.Open();
        wbtest::exec(c, "UPDATE DEMO..MPSTB SET TB038 = 'Y' WHERE TB037 = '0101'");
    }
    open();
    link(wb->chkUp);
    drag(0, -3);
    EXPECT_EQ(dates(1), "20260106-20260111");
    // Checked against the MPS child's unchanged start (the 6th): it ended on the 7th.
    EXPECT_EQ(dates(2), "20260102-20260105");

    link(wb->chkMPS);
    drag(0, -1);
    EXPECT_EQ(dates(0), "20260106-20260108");
    EXPECT_EQ(dates(1), "20251231-20260105");
}

TEST_F(Move, UpperLevelLinkagePushesParentsThatStartTooEarly) {
    open();
    link(wb->chkDown);
    // The grandchild now ends on the 12th: its parent starting on the 6th starts on the 13th, and
    // the top line starting on the 10th then starts after its child's new finish.
    // The press that changes the current line ends its gesture: a drag needs the line current.
    drag(2, 5);
    EXPECT_EQ(dates(2), "20260104-20260107");
    EXPECT_EQ(wb->CurrentRowIndex(), 2);
    drag(2, 5);
    EXPECT_EQ(dates(2), "20260109-20260112");
    EXPECT_EQ(dates(1), "20260113-20260118");
    EXPECT_EQ(dates(0), "20260119-20260121");
    EXPECT_EQ(dates(3), "20260110-20260110");
    EXPECT_GE(wb->mgMPSTC->MaxStop(), TransDateIn("20260122") + 5);
}

// Source lines 0001 and 0002 of D'2 both have a node 01; line 0002's 01 has a child 0101. Linkage
// stays within the dragged line's own source line.
TEST_F(Move, LinkageStaysWithinTheSourceLine) {
    open();
    link(wb->chkUp);
    link(wb->chkDown);
    ASSERT_EQ(rowOf("5101", "0001", "01"), 4);
    ASSERT_EQ(rowOf("5101", "0002", "01"), 5);
    ASSERT_EQ(rowOf("5101", "0002", "0101"), 6);
    drag(4, 0);
    drag(4, -3);
    EXPECT_EQ(dates(4), "20260102-20260103");
    EXPECT_EQ(dates(5), "20260108-20260109");
    EXPECT_EQ(dates(6), "20260104-20260106");
    // The child of line 0002 ends on the 11th: its own parent starts on the 12th, line 0001's stays.
    drag(6, 0);
    drag(6, 5);
    EXPECT_EQ(dates(6), "20260109-20260111");
    EXPECT_EQ(dates(5), "20260112-20260113");
    EXPECT_EQ(dates(4), "20260102-20260103");
}

// Line 0003 of D'2 is there twice, of types 5101 (2 a day) and 5102 (3 a day), in the database's
// order: moving the later one moves its own plan rows and dates only.
TEST_F(Move, LinesThatDifferOnlyInTheirTypeKeepTheirOwnPlanRows) {
    open();
    const int a = rowOf("5101", "0003", "01"), b = rowOf("5102", "0003", "01");
    ASSERT_GE(std::min(a, b), 7);
    const int moved = std::max(a, b), other = std::min(a, b);
    const char* movedType = moved == a ? "5101" : "5102";
    const char* otherType = moved == a ? "5102" : "5101";
    const int q = moved == a ? 2 : 3, otherQ = 5 - q;
    auto rows = [](const char* first, const char* second, int quantity) {
        return QStringList({QString("%1=%2").arg(first).arg(quantity), QString("%1=%2").arg(second).arg(quantity)});
    };
    EXPECT_EQ(planRows(otherType, "0003"), rows("20260107", "20260108", otherQ));
    drag(moved, 0);
    drag(moved, 2);
    EXPECT_EQ(dates(moved), "20260109-20260110");
    EXPECT_EQ(dates(other), "20260107-20260108");
    EXPECT_EQ(planRows(movedType, "0003"), rows("20260109", "20260110", q));
    EXPECT_EQ(planRows(otherType, "0003"), rows("20260107", "20260108", otherQ));
    // The chart of their resource R3: the other line alone on the 7th, with line 0002's 01 on the 8th.
    EXPECT_EQ(plannedMain("20260107"), otherQ);
    EXPECT_EQ(plannedMain("20260108"), 3 + otherQ);
    EXPECT_EQ(plannedMain("20260110"), q);
    EXPECT_EQ(wb->ctMPSTC->Title(), QString::fromUtf8("主要资源:R3"));
}

// Two documents of the types 5101 and 5102 share the number D'2 and the line 0003; the child 0101 of
// the 5102 one follows its own root only.
TEST_F(Move, LinkageStaysWithinTheDocumentType) {
    wbtest::exec(company(),
                 "INSERT INTO DEMO..MPSTB (TB001,TB002,TB003,TB051,TB004,TB005,TB037,TB006,TB046,TB036,"
                 "TB013,TB014,TB010,TB028,TB038,TB026,TB008,TB042,FLAG) VALUES ('F1','1','1','5102',"
                 "'D''2','0003','0101','D','A','R3','20260105','20260108','20260115','','N',0,0,'5101',3)");
    open();
    link(wb->chkUp);
    link(wb->chkDown);
    const int root5101 = rowOf("5101", "0003", "01"), root5102 = rowOf("5102", "0003", "01"),
              child = rowOf("5102", "0003", "0101");
    ASSERT_GE(std::min({root5101, root5102, child}), 0);
    drag(root5101, 0);
    drag(root5101, -3);
    EXPECT_EQ(dates(root5101), "20260104-20260105");
    EXPECT_EQ(dates(child), "20260105-20260108");
    // Pushed later by its child, the 5102 root moves; the 5101 one stays.
    drag(child, 0);
    drag(child, 2);
    EXPECT_EQ(dates(child), "20260107-20260110");
    EXPECT_EQ(dates(root5102), "20260111-20260112");
    EXPECT_EQ(dates(root5101), "20260104-20260105");
    // Its own root pulls it back.
    drag(root5102, 0);
    drag(root5102, -5);
    EXPECT_EQ(dates(child), "20260102-20260105");
}

// A line without a finish date or days has a bar of no length: neither the arrow keys nor linkage move
// it, where its finish would be written before its start.
TEST_F(Move, ABarOfNoLengthStaysUnderKeysAndLinkage) {
    wbtest::exec(company(),
                 "INSERT INTO DEMO..MPSTB (TB001,TB002,TB003,TB051,TB004,TB005,TB037,TB006,TB046,TB036,"
                 "TB013,TB014,TB010,TB028,TB038,TB026,TB008,TB042,FLAG) VALUES "
                 "('F1','1','1','5101','20260100001','0001','03','A','A','R1','20260109','','20260115',"
                 "'','N',0,0,'5101',3), "
                 "('F1','1','1','5101','20260100001','0001','0301','B','A','R2','20260106','20260108',"
                 "'20260115','','N',0,0,'5101',3)");
    open();
    link(wb->chkDown);
    const int root =
        wb->RowKeys().indexOf(TfrmKrta07SM::LineKeyOf({"F1", "1", "5101", "20260100001", "0001", "03"}));
    const int child = root + 1;
    ASSERT_GE(root, 0);
    ASSERT_EQ(item(root)->Bar->StopTime, item(root)->Bar->StartTime);
    const double start = item(root)->Bar->StartTime;
    // The child ends after the bar of no length starts: pushed later, the bar would be moved.
    drag(child, 0);
    drag(child, 2);
    EXPECT_EQ(dates(child), "20260108-20260110");
    EXPECT_EQ(dates(root), "20260109-");
    EXPECT_EQ(item(root)->Bar->StartTime, start);
    wb->mgMPSTC->UpdateAllGeometry();
    QTest::mouseClick(wb->mgMPSTC->GantArea(), Qt::LeftButton, {},
                      wb->mgMPSTC->ItemRect(item(root)->Bar).center());
    ASSERT_EQ(wb->CurrentRowIndex(), root);
    QTest::keyClick(wb->mgMPSTC->GantArea(), Qt::Key_Right);
    EXPECT_EQ(dates(root), "20260109-");
    EXPECT_EQ(item(root)->Bar->StartTime, start);
}

TEST_F(Move, ArrowKeysNudgeTheCurrentBarByOneDay) {
    open();
    link(wb->chkUp);
    drag(0, 0); // a click: the bar is current and focused
    EXPECT_EQ(wb->CurrentRowIndex(), 0);
    QTest::keyClick(wb->mgMPSTC->GantArea(), Qt::Key_Left);
    EXPECT_EQ(dates(0), "20260109-20260111");
    // Linked as a one-day drag: the child ending on the 11th now ends on the 8th.
    EXPECT_EQ(dates(1), "20260103-20260108");
    QTest::keyClick(wb->mgMPSTC->GantArea(), Qt::Key_Right);
    QTest::keyClick(wb->mgMPSTC->GantArea(), Qt::Key_Right);
    EXPECT_EQ(dates(0), "20260111-20260113");
}

// A click in a bar's body lands on a day cell, which the first nudge lays out anew: the bar stays
// current, so every further press moves it too.
TEST_F(Move, ArrowKeysKeepNudgingABarClickedInItsBody) {
    open();
    wb->mgMPSTC->UpdateAllGeometry();
    const QString before = dates(0);
    TphDataEntity_GantTime* cell = item(0)->DayCell(1);
    QTest::mouseClick(wb->mgMPSTC->GantArea(), Qt::LeftButton, {}, wb->mgMPSTC->ItemRect(cell).center());
    ASSERT_EQ(wb->mgMPSTC->CurrentItem(), cell);
    for (int press = 0; press < 3; ++press)
        QTest::keyClick(wb->mgMPSTC->GantArea(), Qt::Key_Right);
    EXPECT_EQ(wb->mgMPSTC->CurrentItem(), item(0)->Bar);
    QTest::keyClick(wb->mgMPSTC->GantArea(), Qt::Key_Left);
    EXPECT_EQ(dates(0), "20260112-20260114") << "from " << before.toStdString();
}

// A day cell clicked before stays selected when the planner Ctrl-clicks a bar; dragging that bar moves
// the bar only, and the cell keeps its day.
TEST_F(Move, ADragMovesTheBarsNotADayCellSelectedBefore) {
    open();
    wb->mgMPSTC->UpdateAllGeometry();
    TphDataEntity_GantTime* cell = item(1)->DayCell(2); // the 8th
    QTest::mouseClick(wb->mgMPSTC->GantArea(), Qt::LeftButton, {}, wb->mgMPSTC->ItemRect(cell).center());
    const QRect bar = wb->mgMPSTC->ItemRect(item(0)->Bar);
    QTest::mouseClick(wb->mgMPSTC->GantArea(), Qt::LeftButton, Qt::ControlModifier,
                      bar.topLeft() + QPoint(20, 1));
    ASSERT_TRUE(cell->Selected && item(0)->Bar->Selected);
    drag(0, 2);
    EXPECT_EQ(dates(0), "20260112-20260114");
    EXPECT_EQ(item(1)->GetDayValue(TransDateIn("20260108")), 10);
}

// A plain click on one of several selected bars selects it alone, also when it changes the current
// line (whose checks end any drag under way).
TEST_F(Move, AClickOnOneOfSeveralSelectedBarsOfAnotherLineSelectsItAlone) {
    open();
    wb->mgMPSTC->UpdateAllGeometry();
    QWidget* area = wb->mgMPSTC->GantArea();
    const auto barPoint = [&](int row) {
        return wb->mgMPSTC->ItemRect(item(row)->Bar).topLeft() + QPoint(20, 1);
    };
    QTest::mouseClick(area, Qt::LeftButton, {}, barPoint(0));
    QTest::mouseClick(area, Qt::LeftButton, Qt::ControlModifier, barPoint(2));
    ASSERT_TRUE(item(0)->Bar->Selected && item(2)->Bar->Selected);
    ASSERT_EQ(wb->CurrentRowIndex(), 2);
    QTest::mouseClick(area, Qt::LeftButton, {}, barPoint(0));
    EXPECT_EQ(wb->CurrentRowIndex(), 0);
    EXPECT_TRUE(item(0)->Bar->Selected);
    EXPECT_FALSE(item(2)->Bar->Selected);
}

TEST_F(Move, ClickOnABarOfAnotherLineMakesItCurrentAndLime) {
    open();
    drag(2, 0);
    EXPECT_EQ(wb->CurrentRowIndex(), 2);
    EXPECT_EQ(item(2)->Bar->Color, 0x0000FF00u);
    EXPECT_EQ(item(0)->Bar->Color, 0x00FF0000u);
    EXPECT_EQ(wb->dmKrta07S->FHighlightRow, 2);
}

TEST_F(Move, MovesBeyondTheDaysAScheduleHoldsAreRefused) {
    // The factory's 9 January becomes 1899-12-30, day zero: line 01 runs from 1899-12-31 to 1900-01-02,
    // its child 0101 from 1899-12-27 to 1900-01-01.
    wbtest::shiftFactoryDays(company(), "F1", int(QDate(2026, 1, 9).daysTo(QDate(1899, 12, 30))));
    open();
    EXPECT_EQ(dates(0), "18991231-19000102");
    EXPECT_EQ(dates(1), "18991227-19000101");
    const QString refusal = QString::fromUtf8("排程日期须在1899/12/31至9999/12/31之间!");
    {
        // A day earlier would put line 01 on day zero: it goes back with its quantities.
        wbtest::ModalAnswerer answers;
        drag(0, -1);
        EXPECT_EQ(answers.texts(), QStringList({refusal}));
    }
    EXPECT_EQ(dates(0), "18991231-19000102");
    EXPECT_EQ(item(0)->Bar->StartTime, TransDateIn("18991231"));
    EXPECT_EQ(item(0)->GetDayValue(TransDateIn("18991231")), 20);
    {
        wbtest::ModalAnswerer answers;
        QTest::keyClick(wb->mgMPSTC->GantArea(), Qt::Key_Left);
        EXPECT_EQ(answers.texts(), QStringList({refusal}));
    }
    EXPECT_EQ(dates(0), "18991231-19000102");
    {
        // Nor may its start edge be stretched there: the bar keeps its days and their quantities.
        wbtest::ModalAnswerer answers;
        stretch(0, true, -1);
        EXPECT_EQ(answers.texts(), QStringList({refusal}));
    }
    EXPECT_EQ(dates(0), "18991231-19000102");
    EXPECT_EQ(item(0)->Bar->StartTime, TransDateIn("18991231"));
    EXPECT_EQ(item(0)->GetDayValue(TransDateIn("18991231")), 20);
    {
        // A line stored before that day may move towards it.
        wbtest::ModalAnswerer answers;
        drag(1, 0);
        drag(1, 1);
        EXPECT_TRUE(answers.texts().isEmpty());
    }
    EXPECT_EQ(dates(1), "18991228-19000102");
    EXPECT_EQ(item(1)->GetDayValue(TransDateIn("18991228")), 10);
    {
        // Line 01 a day later is fine, but it would pull its child further back: all of it is refused.
        link(wb->chkUp);
        wbtest::ModalAnswerer answers;
        drag(0, 0);
        drag(0, 1);
        EXPECT_EQ(answers.texts(), QStringList({refusal}));
    }
    EXPECT_EQ(dates(0), "18991231-19000102");
    EXPECT_EQ(dates(1), "18991228-19000102");
    EXPECT_EQ(item(0)->GetDayValue(TransDateIn("19000101")), 20);
}

// R3 gets a capacity of 10 a day around the lines' days, 6 on the 7th, where lines 7 and 8 plan 5.
// Line 5 (item D, all on R3) moved a day earlier lays 3 more on the 7th: overloaded until it moves
// back. The 8th holds 8 then and stays within its capacity.
TEST_F(Move, ADragThatOverloadsADayIsCountedColouredAndFramedUntilItMovesBack) {
    TKvADOConnection db;
    db.SetConnectionString(cs);
    db.Open();
    for (const char* day : {"20260104", "20260105", "20260106", "20260107", "20260108", "20260109"})
        wbtest::exec(db, QString("INSERT INTO DEMO..MPSTD (TD001,TD002,TD003,TD004,TD005,TD006,TD007,TD008,FLAG) "
                                 "VALUES ('R3','%1',%2,0,0,0,0,'',0)")
                             .arg(day)
                             .arg(QString(day) == "20260107" ? 6 : 10));
    open();
    const int before = wb->OverloadCount();
    EXPECT_FALSE(wb->IsOverloaded("R3", "20260107"));
    EXPECT_TRUE(wb->lblOverload->text().endsWith(QString(": %1").arg(before))) << wb->lblOverload->text().toStdString();

    // The framed pixels of the 7th in line 5's band, and whether the small chart's bar of a day is
    // drawn in the warning colour.
    const auto framed = [this] {
        wb->mgMPSTC->UpdateAllGeometry();
        const QImage area = wb->mgMPSTC->GantArea()->grab().toImage();
        int top = 0, bottom = 0;
        if (!wb->mgMPSTC->BandOf(item(5)->Bar, top, bottom)) return -1;
        TphDateScaler* s = wb->mgMPSTC->Scaler();
        int red = 0;
        for (int x = s->PixelAtDate(TransDateIn("20260107")); x < s->PixelAtDate(TransDateIn("20260108")); ++x)
            for (int y = top; y < bottom; ++y)
                red += area.pixelColor(x, y) == QColor(Qt::red);
        return red;
    };
    const auto warned = [this](const char* day) {
        QTest::qWait(20); // the chart redraws when the window is idle
        const int i = wb->ctMPSTC->Values().Days.indexOf(day);
        return i >= 0 && wb->ctMPSTC->seZ->isBarSelected(i) && wb->ctMPSTC->seJZ->isBarSelected(i);
    };

    drag(5, 0); // a click: the line is current first
    drag(5, -1);
    ASSERT_EQ(dates(5), "20260107-20260108");
    EXPECT_TRUE(wb->IsOverloaded("R3", "20260107"));
    EXPECT_FALSE(wb->IsOverloaded("R3", "20260108"));
    EXPECT_EQ(wb->OverloadCount(), before + 1);
    EXPECT_TRUE(wb->lblOverload->text().endsWith(QString(": %1").arg(before + 1)))
        << wb->lblOverload->text().toStdString();
    EXPECT_TRUE(warned("20260107"));
    EXPECT_FALSE(warned("20260108"));
    EXPECT_GT(framed(), 4);
    // The capacity chart of line 5's resource shows its days, the first overloaded.
    QTabBar* tabs = wb->PageControl1->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    ASSERT_EQ(wb->ResourceCharts().size(), 1u);
    const TKrta07CapacityChart* chart = wb->ResourceCharts()[0];
    ASSERT_EQ(chart->Days, QStringList({"20260107", "20260108"}));
    EXPECT_TRUE(chart->Series3->isBarSelected(0));
    EXPECT_FALSE(chart->Series3->isBarSelected(1));

    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
    drag(5, 1);
    ASSERT_EQ(dates(5), "20260108-20260109");
    EXPECT_FALSE(wb->IsOverloaded("R3", "20260107"));
    EXPECT_EQ(wb->OverloadCount(), before);
    EXPECT_TRUE(wb->lblOverload->text().endsWith(QString(": %1").arg(before))) << wb->lblOverload->text().toStdString();
    EXPECT_FALSE(warned("20260107"));
    EXPECT_EQ(framed(), 0);
}

TEST_F(Move, UndoTakesBackALinkedDragWholeAndRedoAppliesItAgain) {
    capacitiesOfR3();
    wb = wbtest::createWorkbench(cs);
    wbtest::query(wb, "F1");
    wb->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(wb));
    // Nothing to take back while browsing, nor right after entering edit mode.
    EXPECT_FALSE(wb->btnUndo->isEnabled());
    QTest::mouseClick(wb->btnEdit, Qt::LeftButton);
    EXPECT_FALSE(wb->btnUndo->isEnabled());
    EXPECT_FALSE(wb->btnRedo->isEnabled());
    link(wb->chkUp);
    link(wb->chkDown);

    const QStringList start = state();
    drag(0, -3); // pulls its children 0101 and 010101 along
    const QStringList linked = state();
    ASSERT_EQ(dates(0), "20260107-20260109");
    ASSERT_EQ(dates(1), "20260101-20260106");
    EXPECT_TRUE(wb->btnUndo->isEnabled());
    drag(5, 0); // a click makes line 5 current and is no step
    const QStringList beforeOverload = chart();
    drag(5, -1);
    ASSERT_TRUE(wb->IsOverloaded("R3", "20260107"));
    const QStringList overloaded = state(), overloadedChart = chart();
    EXPECT_EQ(wb->UndoHistory()->Steps(), 2);

    QTest::mouseClick(wb->btnUndo, Qt::LeftButton);
    EXPECT_EQ(state(), linked);
    EXPECT_EQ(chart(), beforeOverload);
    EXPECT_FALSE(wb->IsOverloaded("R3", "20260107"));
    QTest::mouseClick(wb->btnUndo, Qt::LeftButton);
    EXPECT_EQ(state(), start);
    EXPECT_FALSE(wb->btnUndo->isEnabled());
    EXPECT_TRUE(wb->btnRedo->isEnabled());

    // The keys do the same, in the planner's active window.
    QApplication::setActiveWindow(wb);
    ASSERT_TRUE(QTest::qWaitForWindowActive(wb));
    QTest::keyClick(wb, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(state(), linked);
    QTest::keyClick(wb, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(state(), overloaded);
    EXPECT_EQ(chart(), overloadedChart);
    EXPECT_FALSE(wb->btnRedo->isEnabled());
    QTest::keyClick(wb, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(state(), linked);

    // A new move drops what was undone.
    QTest::keyClick(wb->mgMPSTC->GantArea(), Qt::Key_Right);
    EXPECT_EQ(dates(5), "20260109-20260110");
    EXPECT_FALSE(wb->btnRedo->isEnabled());
    QTest::mouseClick(wb->btnUndo, Qt::LeftButton);
    EXPECT_EQ(state(), linked);

    // Cancel ends the history.
    QTest::mouseClick(wb->btnCancel, Qt::LeftButton);
    QTest::mouseClick(wb->btnEdit, Qt::LeftButton);
    EXPECT_FALSE(wb->btnUndo->isEnabled());
    EXPECT_FALSE(wb->btnRedo->isEnabled());
}

// The saved result depends on the moves that remain, not on the way there.
TEST_F(Move, ASaveAfterUndoAndRedoStoresWhatTheRemainingMovesAloneStore) {
    const auto stored = [](TKvADOConnection& db) {
        return wbtest::rows(db, "SELECT TB001,TB003,TB051,TB004,TB005,TB037,TB013,TB014,TB042,TB044,TB045,"
                                "MODIFIER,FLAG FROM DEMO..MPSTB ORDER BY TB001,TB003,TB051,TB004,TB005,TB037") +
               wbtest::rows(db, "SELECT TC001,TC002,TC009,TC003,TC004,TC005,TC006,TC007,TC008,FLAG FROM "
                                "DEMO..MPSTC ORDER BY TC001,TC002,TC009,TC003,TC004,TC005,TC006") +
               wbtest::rows(db, "SELECT TF001,TF002,TF003,TF004,TF011,TF005,TF006,TF007,TF008,TF009,TF010,FLAG "
                                "FROM DEMO..MPSTF ORDER BY TF001,TF002,TF003,TF004,TF011,TF005,TF006,TF007") +
               wbtest::rows(db, "SELECT TD001,TD002,TD003,TD004,TD005,TD006,TD007,TD008,FLAG FROM DEMO..MPSTD "
                                "ORDER BY TD001,TD002");
    };
    const auto linked = [this] {
        link(wb->chkUp);
        link(wb->chkDown);
    };
    open();
    QApplication::setActiveWindow(wb);
    linked();
    drag(0, -3);
    stretch(1, false, 2);
    drag(5, 0);
    QTest::keyClick(wb->mgMPSTC->GantArea(), Qt::Key_Left);
    QTest::mouseClick(wb->btnUndo, Qt::LeftButton);
    QTest::mouseClick(wb->btnUndo, Qt::LeftButton);
    QTest::keyClick(wb, Qt::Key_Y, Qt::ControlModifier);
    drag(2, 0);
    drag(2, 4); // pushes its parents with upper-level linkage
    ASSERT_EQ(wb->UndoHistory()->Steps(), 3);
    QTest::keyClick(wb, Qt::Key_Z, Qt::ControlModifier);
    ASSERT_EQ(wb->UndoHistory()->Steps(), 2);
    QTest::mouseClick(wb->btnOK, Qt::LeftButton);
    ASSERT_EQ(wb->EditState(), 0);
    // A save ends the history.
    QTest::mouseClick(wb->btnEdit, Qt::LeftButton);
    EXPECT_FALSE(wb->btnUndo->isEnabled());
    EXPECT_FALSE(wb->btnRedo->isEnabled());
    QTest::mouseClick(wb->btnCancel, Qt::LeftButton);
    const QStringList afterHistory = stored(company());
    delete wb;
    wb = nullptr;

    QTemporaryDir other;
    cs = wbtest::sqliteCompany(other.path());
    open();
    linked();
    drag(0, -3);
    stretch(1, false, 2);
    QTest::mouseClick(wb->btnOK, Qt::LeftButton);
    ASSERT_EQ(wb->EditState(), 0);
    TKvADOConnection db;
    db.SetConnectionString(cs);
    db.Open();
    EXPECT_EQ(afterHistory, stored(db));
    // Both moves are in it.
    EXPECT_TRUE(afterHistory.contains("F1|1|5101|20260100001|0001|01|20260109|20260111|5101|||DS|4"))
        << afterHistory.join('\n').toStdString();
}

} // namespace

// Another program stored a day of a line two thousand years ahead, and an overloaded load day between.
// The charts draw runs of days where the days outnumber their pixels, the overload still showing, and
// taking back a step on that bar costs what its cells cost, not their square.
TEST_F(Move, ABarTwoThousandYearsLongKeepsChartsAndUndoInProportion) {
    {
        TKvADOConnection c;
        c.SetConnectionString(cs);
        c.Open();
        wbtest::exec(c, "UPDATE DEMO..MPSTB SET TB014 = '40260110' WHERE TB001 = 'F1' AND TB004 = '20260100001' "
                        "AND TB037 = '01'");
        wbtest::exec(c, "UPDATE DEMO..MPSTC SET TC006 = '40260110' WHERE TC001 = 'F1' AND TC003 = '20260100001' "
                        "AND TC005 = '01' AND TC006 = '20260112'");
        wbtest::exec(c, "INSERT INTO DEMO..MPSTD (TD001,TD002,TD003,TD004,TD005,TD006,TD007,TD008,FLAG) VALUES "
                        "('R1','30000101',1,5,0,0,0,'',0)");
    }
    open();
    int row = -1;
    for (int r = 0; r < wb->mgMPSTC->MyGantList()->Count(); ++r)
        if (item(r)->CellCount() > 700000) row = r;
    ASSERT_GE(row, 0);
    drag(row, 0); // a click: the bar is current and focused
    wb->RefreshLoadChart();
    wb->FlushLoadChart();
    const TKrta07LoadChart& chart = *wb->ctMPSTC;
    ASSERT_EQ(chart.ShownResource, "R1");
    EXPECT_LE(chart.PointCount(), 4000);
    const int perBar = chart.Values().DaysPerBar;
    ASSERT_GT(perBar, 1);
    const auto bar = qsizetype(std::floor(TransDateIn("30000101")) - std::floor(wb->mgMPSTC->Start())) / perBar;
    ASSERT_LT(bar, chart.PointCount());
    EXPECT_DOUBLE_EQ(chart.seZ->at(bar), 5);
    EXPECT_TRUE(chart.Values().Overloaded(size_t(bar)));
    EXPECT_DOUBLE_EQ(chart.seZ->at(bar + 1), 0);
    wb->PageControl1->setCurrentIndex(1);
    ASSERT_FALSE(wb->ResourceCharts().empty());
    EXPECT_LE(wb->ResourceCharts()[0]->PointCount(), 4000);
    wb->PageControl1->setCurrentIndex(0);

    const QString before = dates(row);
    QElapsedTimer clock;
    clock.start();
    QTest::keyClick(wb->mgMPSTC->GantArea(), Qt::Key_Right);
    ASSERT_NE(dates(row), before);
    QTest::mouseClick(wb->btnUndo, Qt::LeftButton);
    EXPECT_EQ(dates(row), before);
    EXPECT_LT(clock.elapsed(), 20000);
}
