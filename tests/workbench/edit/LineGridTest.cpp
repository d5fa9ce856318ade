// The line grid of the workbench on every row, not only the current one: demand source and
// scheduling status by their captions, dates in the company format, the lock as a check box, the MPS
// and grey marks; and a line without a scheduled start.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "controls/FDBGrid.h"
#include "frame/KvADO.h"
#include "gantt/MyGant.h"
#include "platform/data/ClientDataSet.h"
#include "support/LibStrs.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"
#include "workbench/common/WorkbenchTestSupport.h"

namespace {

class LineGrid : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        cs = wbtest::sqliteCompany(dir.path());
        db.SetConnectionString(cs);
        db.Open();
    }
    void TearDown() override { delete wb; }

    void open() {
        wb = wbtest::createWorkbench(cs);
        wbtest::query(wb, "F1");
        wb->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(wb));
    }
    // What the grid shows in a field's column, row by row.
    QStringList column(const QString& field) {
        TFDBGrid* grid = wb->dgMPSTB;
        int at = -1;
        for (int i = 0; i < grid->Columns().size(); ++i)
            if (grid->Column(i)->FieldName().toUpper() == field) at = i;
        QStringList texts;
        if (at < 0) return texts;
        for (int r = 0; r < grid->model()->rowCount(); ++r)
            texts << grid->model()->index(r, at).data().toString();
        return texts;
    }

    QTemporaryDir dir;
    QString cs;
    TKvADOConnection db;
    TfrmKrta07SM* wb = nullptr;
};

} // namespace

TEST_F(LineGrid, CodesShowTheirCaptionsAndDatesTheCompanyFormatOnEveryRow) {
    // Rows in grid order: 20260100001 01, 0101, 010101, 02, then D'2 01 of lines 0001, 0002 and 0003.
    wbtest::exec(db, "UPDATE DEMO..MPSTB SET TB027 = '1', TB034 = '20260109' WHERE TB037 = '01' AND TB004 "
                     "= '20260100001'");
    wbtest::exec(db, "UPDATE DEMO..MPSTB SET TB027 = '2' WHERE TB037 = '0101'");
    wbtest::exec(db, "UPDATE DEMO..MPSTB SET TB027 = '3' WHERE TB037 = '010101'");
    wbtest::exec(db, "UPDATE DEMO..MPSTB SET TB027 = '4', TB035 = 'Y' WHERE TB037 = '02'");
    wbtest::exec(db, "UPDATE DEMO..MPSTB SET TB003 = '2' WHERE TB004 = 'D''2'");
    wbtest::exec(db, "UPDATE DEMO..MPSTC SET TC002 = '2' WHERE TC003 = 'D''2'");
    wbtest::exec(db, "UPDATE DEMO..CMSMA SET MA001 = '3', MA002 = '-'");
    open();

    auto check = [this] {
        EXPECT_EQ(column("TB003"), QStringList(4, "1:订单") + QStringList(5, "2:销售预测"));
        EXPECT_EQ(column("TB027"), QStringList({"1:交期符合", "2.交期延迟", "3.排产数量短缺", "9:未作排程", "",
                                                "", "2.交期延迟", "", ""}));
        EXPECT_EQ(column("TB013"), QStringList({"10-01-2026", "06-01-2026", "04-01-2026", "10-01-2026",
                                                "05-01-2026", "08-01-2026", "04-01-2026", "07-01-2026",
                                                "07-01-2026"}));
        EXPECT_EQ(column("TB014"), QStringList({"12-01-2026", "11-01-2026", "07-01-2026", "10-01-2026",
                                                "06-01-2026", "09-01-2026", "06-01-2026", "08-01-2026",
                                                "08-01-2026"}));
        EXPECT_EQ(column("TB010"), QStringList(9, "15-01-2026"));
        EXPECT_EQ(column("TB034"), QStringList{"09-01-2026"} + QStringList(8, ""));
        EXPECT_EQ(column("TB035"), QStringList({"", "", "", "Y", "", "", "", "", ""}));
    };
    {
        SCOPED_TRACE("first line current");
        check();
    }
    wb->dmKrta07S->qryMPSTBPre->SetRecNo(4);
    {
        SCOPED_TRACE("fourth line current");
        check();
    }
    // The lock is drawn as a box, its captions do not change the stored codes.
    EXPECT_TRUE(wb->dgMPSTB->IsCheckBoxField("TB035"));
    EXPECT_EQ(wb->dmKrta07S->qryMPSTBPre->FieldByName("TB027").AsString().trimmed(), "4");
}

// The MPS and grey marks are columns of the grid; a line with stored days but no scheduled start keeps
// them (its bar starts at its first stored day), and its factory saves as any other.
TEST_F(LineGrid, MarksAndALineWithoutScheduledStart) {
    wbtest::exec(db, "UPDATE DEMO..MPSTB SET TB013 = '', TB038 = 'Y' WHERE TB037 = '0101' AND TB004 = "
                     "'20260100001'");
    open();
    EXPECT_EQ(column("TB038").mid(0, 3), QStringList({"N", "Y", "N"}));
    EXPECT_EQ(column("TB028").mid(3, 3), QStringList({"", "S", ""}));
    EXPECT_EQ(wb->mgMPSTC->MyGantList()->Items(1)->Bar->StartTime, TransDateIn("20260106"));
    wbtest::ModalAnswerer answers; // a daily editor opened for days short of TB026 is cancelled
    answers.onDialog([](QWidget* dialog) { dialog->close(); });
    QTest::mouseClick(wb->btnEdit, Qt::LeftButton);
    QTest::mouseClick(wb->btnOK, Qt::LeftButton);
    EXPECT_EQ(wb->EditState(), 0);
    EXPECT_EQ(wbtest::rows(db, "SELECT TC006 FROM DEMO..MPSTC WHERE TC003 = '20260100001' AND TC005 = '0101' "
                               "ORDER BY TC006"),
              QStringList({"20260106", "20260108", "20260111"}));
}
