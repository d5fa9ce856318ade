// Loading a factory into the workbench on a small company written here, on SQLite and on a
// throwaway PostgreSQL server: filters, bars, links, highlight, plan consumption and load charts.
#include <array>
#include <gtest/gtest.h>
#include <map>
#include <random>

#include <cmath>

#include <QBarSet>
#include <QLabel>
#include <QLineSeries>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include "common/PgServer.h"
#include "controls/ExtPage.h"
#include "controls/FDBGrid.h"
#include "controls/KvEdit.h"
#include "frame/KvADO.h"
#include "gantt/MyGant.h"
#include "gantt/phDataEntityPack.h"
#include "gantt/phScaler.h"
#include "host/schema/CompanySchema.h"
#include "platform/data/ClientDataSet.h"
#include "support/LibStrs.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"
#include "workbench/Krta07SMFCharts.h"
#include "workbench/Krta07SMFStored.h"

namespace {

enum class Engine { SQLite, PostgreSQL };

void exec(TKvADOConnection& c, const QString& sql) {
    TKvADOQuery q;
    q.SetConnection(&c);
    q.SetSQL(sql);
    q.ExecSQL();
}

struct Line {
    const char *f, *doc, *node, *item, *res, *start, *stop, *need, *tb028, *tb038;
};

// Factory F1: one document D1 with a bill of materials 01 > 0101 > 010101 and a second top node
// 02, and a line of another document without dates. Factory F2: only a line without dates.
void fillCompany(TKvADOConnection& c) {
    exec(c, "INSERT INTO DEMO..CMSMA (MA001, MA002, MA055) VALUES ('1', '/', '1')");
    exec(c, "INSERT INTO DEMO..CMSMB (MB001, MB002) VALUES ('F1', 'Plant one')");
    const Line lines[] = {
        {"F1", "20260100001", "01", "A", "R1", "20260105", "20260107", "20260110", "", "Y"},
        {"F1", "20260100001", "0101", "B", "R2", "20260106", "20260108", "20260108", "", "N"},
        {"F1", "20260100001", "010101", "B", "R2", "20260107", "20260109", "20260109", "", "N"},
        {"F1", "20260100001", "02", "B", "R2", "20260107", "20260107", "20260107", "", "N"},
        {"F1", "20260100002", "01", "C", "R1", "", "", "", "S", "N"},
        {"F2", "20260100009", "01", "C", "R1", "", "", "", "", "N"},
    };
    for (const Line& l : lines)
        exec(c,
             QString(
                 "INSERT INTO DEMO..MPSTB (TB001,TB002,TB003,TB051,TB004,TB005,TB037,TB006,TB036,TB013,TB014,"
                 "TB010,TB028,TB038,TB026,FLAG) VALUES ('%1','1','1','5101','%2','0001','%3','%4','%5','%6',"
                 "'%7','%8','%9','%10',100,3)")
                 .arg(l.f, l.doc, l.node, l.item, l.res, l.start, l.stop, l.need, l.tb028)
                 .arg(l.tb038));
    auto day = [&c](const char* node, const char* d, double q) {
        exec(c,
             QString("INSERT INTO DEMO..MPSTC (TC001,TC002,TC009,TC003,TC004,TC005,TC006,TC007,TC008) VALUES "
                     "('F1','1','5101','20260100001','0001','%1','%2',%3,'r')")
                 .arg(node, d)
                 .arg(q));
    };
    day("01", "20260103", 30); // before the line's start: stretches the bar
    day("01", "20260105", 100);
    day("01", "20260107", 50);
    day("010101", "20260107", 10);
    day("02", "20260107", 5);
    exec(c, "INSERT INTO DEMO..MPSMB (MB001, MB002, MB006) VALUES ('R1','Press','HR'), ('R2','Lathe','PCS'), "
            "('R3','Oven','KG')");
    exec(c, "INSERT INTO DEMO..MPSMC (MC001, MC002, MC004, MC005) VALUES ('A','R1',2,10), ('A','R2',2,10), "
            "('B','R2',1,1), ('B','R3',4,0), ('C','R1',1,1)");
    // Stored planned values are not read: the workbench computes them.
    exec(c, "INSERT INTO DEMO..MPSTD (TD001,TD002,TD003,TD004,TD005,TD006,TD007) VALUES "
            "('R1','20260105',100,7,99,3,99), ('R2','20260107',80,1,99,2,99), ('R9','20260120',5,0,0,0,0)");
}

class WorkbenchLoad : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        QString cs;
        if (GetParam() == Engine::PostgreSQL) {
            auto& pg = testsupport::PgServer::shared();
            if (!pg.installed()) GTEST_SKIP() << "PostgreSQL is not installed";
            ASSERT_TRUE(pg.available()) << pg.error().toStdString();
            cs = pg.connectString(pg.createDatabase("wb"));
        } else {
            ASSERT_TRUE(FDir.isValid());
            cs = "Provider=SQLOLEDB.1;Password=;User ID=sa;Initial Catalog=DEMO;Data Source=" +
                 FDir.filePath("c.db");
        }
        {
            TKvADOConnection c;
            c.SetConnectionString(cs);
            c.Open();
            kv::schema::applyCompanySchema(c);
            fillCompany(c);
        }
        FConnectString = cs;
        wb = new TfrmKrta07SM(nullptr, cs);
        wb->SetDBName("DEMO");
        wb->InitWorkbench();
        wb->resize(1000, 700);
    }
    void TearDown() override { delete wb; }

    void query(const QString& factory, const QString& resource = {}, const QString& doc = {}) {
        wb->SetQueryConditions({factory, {}, resource, {}, doc});
        wb->LoadSchedule(factory);
        wb->RecomputeAllConsumption();
    }
    TMyGantItem* item(int row) const { return wb->mgMPSTC->MyGantList()->Items(row); }
    QString nodeOf(int row) const { return wb->RowKeys()[row].split(Krta07KeySeparator).last(); }
    double load(const char* res, const char* day, const char* field) const {
        kv::TClientDataSet& d = *wb->dmKrta07S->qryMPSTD;
        if (!d.Locate("TD001;TD002", {res, day})) return -1;
        return d.FieldByName(field).AsFloat();
    }

    QTemporaryDir FDir;
    QString FConnectString;
    TfrmKrta07SM* wb = nullptr;
};

// The form's creation steps run before its set-up, not at its first show: the source document's
// mask is there before anything is typed, and the conversion done once stays done when it shows.
TEST_P(WorkbenchLoad, TheFormIsCreatedBeforeItIsSetUp) {
    EXPECT_FALSE(wb->edTB004->inputMask().isEmpty());
    EXPECT_TRUE(wb->Converted());
    wb->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(wb));
    EXPECT_TRUE(wb->Converted());
}

TEST_P(WorkbenchLoad, FiltersByResourceAndSourceDocument) {
    query("F1");
    EXPECT_EQ(wb->RowKeys().size(), 5);
    EXPECT_EQ(wb->dmKrta07S->qryMPSTBPre->RecordCount(), 5);
    // Parents sort right before their children.
    EXPECT_EQ(nodeOf(0), "01");
    EXPECT_EQ(nodeOf(1), "0101");
    EXPECT_EQ(nodeOf(2), "010101");

    query("F1", "R2");
    ASSERT_EQ(wb->RowKeys().size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(wb->dmKrta07S->qryMPSTB->valueAt(i, wb->dmKrta07S->qryMPSTB->FieldByName("TB036").Index())
                      .toString()
                      .trimmed(),
                  "R2");

    query("F1", "", "5101202601000020001");
    ASSERT_EQ(wb->RowKeys().size(), 1);
    EXPECT_TRUE(wb->RowKeys()[0].contains("20260100002"));
}

TEST_P(WorkbenchLoad, BarsCoverTheDaysAndTheWindowIsTenDaysAtLeast) {
    query("F1");
    const kv::TDateTime d0103 = TransDateIn("20260103");
    // Day rows before the start stretch the bar; its days keep their quantities.
    EXPECT_EQ(item(0)->Bar->StartTime, d0103);
    EXPECT_EQ(item(0)->DayCount(), 5);
    EXPECT_EQ(item(0)->GetDayValue(d0103), 30);
    EXPECT_EQ(item(0)->GetDayValue(d0103 + 2), 100);
    EXPECT_EQ(item(0)->GetDayValue(d0103 + 1), 0);
    // No day rows: the bar runs from the scheduled start to the finish, both included.
    EXPECT_EQ(item(1)->Bar->StartTime, TransDateIn("20260106"));
    EXPECT_EQ(item(1)->DayCount(), 3);
    // The last day row lies before the finish: the bar still reaches the finish.
    EXPECT_EQ(item(2)->Bar->StopTime, TransDateIn("20260110"));
    // No dates at all: no length, at the earliest start so far.
    EXPECT_EQ(item(4)->Bar->StartTime, d0103);
    EXPECT_EQ(item(4)->Bar->StopTime, d0103);
    EXPECT_EQ(item(4)->DayCount(), 0);
    EXPECT_EQ(item(0)->MarkerDate, TransDateIn("20260110"));

    // Scroll bounds: five days beyond the shown window where the factory's span is narrower.
    EXPECT_DOUBLE_EQ(wb->mgMPSTC->MinStart(), d0103 - 5);
    EXPECT_DOUBLE_EQ(wb->mgMPSTC->MaxStop(), TransDateIn("20260120"));
    EXPECT_EQ(wb->dmKrta07S->FRangeStart, "20260105");
    EXPECT_EQ(wb->dmKrta07S->FRangeEnd, "20260120");

    // A factory whose only line has no dates sits at the initial minimum.
    wb->BuildGantt("F2");
    EXPECT_EQ(wb->RowKeys().size(), 5); // the sets still hold F1's lines
    wb->dmKrta07S->FFactory = "F2";
    wb->dmKrta07S->qryMPSTB->Close();
    wb->dmKrta07S->qryMPSTB->Open();
    wb->BuildGantt("F2");
    ASSERT_EQ(wb->RowKeys().size(), 1);
    EXPECT_EQ(item(0)->Bar->StartTime, TransDateIn("30001230"));
    EXPECT_DOUBLE_EQ(wb->mgMPSTC->Stop() - wb->mgMPSTC->Start(), 10);
}

// A factory whose lines have no scheduled start keeps nothing of the span of the one queried before.
TEST_P(WorkbenchLoad, AFactoryWithoutDatesKeepsNothingOfTheSpanBefore) {
    query("F1");
    query("F2");
    EXPECT_EQ(wb->dmKrta07S->FRangeStart, "");
    EXPECT_DOUBLE_EQ(wb->mgMPSTC->MinStart(), TransDateIn(""));
}

TEST_P(WorkbenchLoad, TenDayWindowFromTheEarliestStart) {
    query("F1", "R2");
    // Lines of R2 span 6 to 10 January: the window is ten days from the 6th.
    EXPECT_DOUBLE_EQ(wb->mgMPSTC->Stop() - TransDateIn("20260106"), 10);
}

TEST_P(WorkbenchLoad, ChildrenLinkToTheirOwnParents) {
    query("F1");
    TphDataList* links = wb->mgMPSTC->LinkList();
    ASSERT_EQ(links->Count(), 2);
    std::vector<std::pair<int, int>> pairs;
    for (int i = 0; i < links->Count(); ++i) {
        auto* link = links->GetAs<TphDataEntity_Link>(i);
        EXPECT_EQ(link->LinkKind, 3);
        int from = -1, to = -1;
        for (int r = 0; r < 5; ++r) {
            if (item(r)->Bar == link->FromTime()) from = r;
            if (item(r)->Bar == link->ToTime()) to = r;
        }
        pairs.emplace_back(from, to);
    }
    std::sort(pairs.begin(), pairs.end());
    EXPECT_EQ(pairs, (std::vector<std::pair<int, int>>{{1, 0}, {2, 1}}));
}

TEST_P(WorkbenchLoad, FirstBarIsLimeUntilAnotherLineIsCurrent) {
    query("F1");
    EXPECT_EQ(item(0)->Bar->Color, 0x0000FF00u);
    EXPECT_EQ(wb->dmKrta07S->FHighlightColor, 0x0000FFFFu); // MPS item: yellow
    EXPECT_EQ(item(1)->Bar->Color, 0x00FF0000u);
    EXPECT_EQ(item(4)->Bar->Color, 0x00808080u);
    wb->SelectRow(1);
    EXPECT_EQ(wb->CurrentRowIndex(), 1);
    EXPECT_EQ(item(0)->Bar->Color, 0x0000FFFFu);
    EXPECT_EQ(item(1)->Bar->Color, 0x0000FF00u);
    EXPECT_TRUE(item(1)->Bar->Selected);
    wb->FlushLoadChart();
    EXPECT_EQ(wb->ctMPSTC->Title(), QString::fromUtf8("主要资源:R2"));
}

TEST_P(WorkbenchLoad, PlanConsumptionAndPlannedLoad) {
    query("F1");
    kv::TClientDataSet& plan = *wb->dmKrta07S->qryMPSTF;
    auto planRow = [&plan](const char* res, const char* day, const char* node, double& main, double& other) {
        if (!plan.Locate("TF001;TF002;TF007", {res, day, node})) return false;
        main = plan.FieldByName("TF008").AsFloat();
        other = plan.FieldByName("TF009").AsFloat();
        return true;
    };
    double m = -1, o = -1;
    // 100 on the 5th, 2 per 10 of the item, main resource R1.
    ASSERT_TRUE(planRow("R1", "20260105", "01", m, o));
    EXPECT_DOUBLE_EQ(m, 20);
    EXPECT_DOUBLE_EQ(o, 0);
    ASSERT_TRUE(planRow("R2", "20260105", "01", m, o));
    EXPECT_DOUBLE_EQ(m, 0);
    EXPECT_DOUBLE_EQ(o, 20);
    // A zero divisor consumes nothing instead of failing.
    ASSERT_TRUE(planRow("R3", "20260107", "010101", m, o));
    EXPECT_DOUBLE_EQ(m + o, 0);

    EXPECT_DOUBLE_EQ(load("R1", "20260105", "TD005"), 20);
    EXPECT_DOUBLE_EQ(load("R1", "20260105", "TD004"), 7);
    EXPECT_DOUBLE_EQ(load("R2", "20260105", "TD007"), 20);
    // Two lines with R2 as main resource on the 7th add up; line 01 adds its non-main share.
    EXPECT_DOUBLE_EQ(load("R2", "20260107", "TD005"), 15);
    EXPECT_DOUBLE_EQ(load("R2", "20260107", "TD007"), 10);
    ASSERT_TRUE(wb->dmKrta07S->qryMPSTD->Locate("TD001;TD002", {"R1", "20260103"}));
    EXPECT_EQ(wb->dmKrta07S->qryMPSTD->FieldByName("FLAG").AsInteger(), -1);
    EXPECT_EQ(wb->ConsumptionKeys().size(), 9);
    EXPECT_EQ(
        wb->ConsumptionKeys()[0],
        QStringList({"R1", "2", "1", "5101", "20260100001", "0001", "01", ""}).join(Krta07KeySeparator));

    // A full computation again gives the same rows and load; once a bar's day changed, the rows of
    // that day.
    const QStringList keys = wb->ConsumptionKeys();
    const int rows = plan.RecordCount();
    wb->RecomputeAllConsumption();
    EXPECT_EQ(wb->ConsumptionKeys(), keys);
    EXPECT_EQ(plan.RecordCount(), rows);
    EXPECT_DOUBLE_EQ(load("R1", "20260105", "TD005"), 20);
    ASSERT_TRUE(wb->dmKrta07S->qryMPSTD->Locate("TD001;TD002", {"R1", "20260103"}));
    EXPECT_EQ(wb->dmKrta07S->qryMPSTD->FieldByName("FLAG").AsInteger(), -1);
    item(0)->SetDayTexts("30", "", TransDateIn("20260105"));
    wb->RecomputeAllConsumption();
    ASSERT_TRUE(planRow("R1", "20260105", "01", m, o));
    EXPECT_DOUBLE_EQ(m, 6);
    EXPECT_DOUBLE_EQ(load("R1", "20260105", "TD005"), 6);

    // Recomputing the current line after its days changed moves only its share.
    wb->SelectRow(0);
    item(0)->SetDayTexts("40", "", TransDateIn("20260105"));
    wb->RecomputeLineConsumption();
    EXPECT_DOUBLE_EQ(load("R1", "20260105", "TD005"), 8);
    EXPECT_DOUBLE_EQ(load("R2", "20260107", "TD005"), 15);
    ASSERT_TRUE(planRow("R1", "20260105", "01", m, o));
    EXPECT_DOUBLE_EQ(m, 8);
    const double afterLine = load("R2", "20260105", "TD007");
    wb->RebuildPlannedLoad();
    EXPECT_DOUBLE_EQ(load("R2", "20260105", "TD007"), afterLine);
    EXPECT_DOUBLE_EQ(load("R1", "20260105", "TD005"), 8);
}

TEST_P(WorkbenchLoad, LoadChartsShowTheCurrentLine) {
    query("F1");
    wb->RefreshLoadChart();
    wb->FlushLoadChart();
    const int days = int(std::lround(wb->mgMPSTC->Stop() - wb->mgMPSTC->Start())) + 1;
    EXPECT_EQ(wb->ctMPSTC->PointCount(), days);
    EXPECT_EQ(wb->ctMPSTC->Title(), QString::fromUtf8("主要资源:R1"));
    // The fixed legend's swatches show the series colours, main consumption red first.
    QList<QColor> swatches;
    for (QLabel* box : wb->ctMPSTC->LegendPanel->findChildren<QLabel*>())
        if (box->size() == QSize(12, 12)) swatches << box->grab().toImage().pixelColor(6, 6);
    ASSERT_EQ(swatches.size(), 4);
    EXPECT_EQ(swatches[0], QColor(Qt::red));
    EXPECT_EQ(swatches[3], QColor(Qt::blue));

    // The capacity tab: one chart per resource of the item, one point per day from start to finish.
    wb->PageControl1->setCurrentIndex(1);
    ASSERT_EQ(wb->ResourceCharts().size(), 2u);
    TKrta07CapacityChart* r1 = wb->ResourceCharts()[0];
    EXPECT_EQ(r1->Resource, "R1");
    EXPECT_EQ(r1->PointCount(), 3);
    EXPECT_DOUBLE_EQ(r1->Series3->at(0), 20); // planned main on the 5th
    EXPECT_DOUBLE_EQ(r1->Series5->at(0).y(), 100);
    EXPECT_EQ(r1->Days.first(), "20260105");

    // A line without main resource leaves the small chart empty but titled.
    kv::TClientDataSet& pre = *wb->dmKrta07S->qryMPSTBPre;
    pre.SetReadOnly(false);
    pre.FieldByName("TB036").SetReadOnly(false);
    pre.Edit();
    pre.FieldByName("TB036").SetAsString("");
    pre.Post();
    wb->RefreshLoadChart();
    QCoreApplication::processEvents(); // the chart redraws once the window is idle
    EXPECT_EQ(wb->ctMPSTC->Title(), QString::fromUtf8("主要资源:"));
    EXPECT_EQ(wb->ctMPSTC->PointCount(), 0);
}

// After a line's days change, the small chart shows what a full redraw would, without one.
TEST_P(WorkbenchLoad, LineRecomputeUpdatesTheSmallChartInPlace) {
    query("F1");
    wb->SelectRow(0);
    // The first recompute after the chart scrolled widens the loaded range to the window.
    wb->RecomputeLineConsumption();
    wb->FlushLoadChart();
    TKrta07LoadChart& chart = *wb->ctMPSTC;
    ASSERT_GT(chart.PointCount(), 0);
    const int day = int(TransDateIn("20260105") - std::floor(wb->mgMPSTC->Start()));
    ASSERT_GE(day, 0);
    ASSERT_LT(day, chart.PointCount());
    EXPECT_DOUBLE_EQ(chart.seJZ->at(day), 20);
    item(0)->SetDayTexts("40", "", TransDateIn("20260105"));
    wb->RecomputeLineConsumption();
    EXPECT_FALSE(chart.RefreshPending);
    EXPECT_DOUBLE_EQ(chart.seJZ->at(day), 8);
    auto bars = [&chart] {
        std::vector<double> v;
        for (QBarSet* s : {chart.seZ, chart.seF, chart.seJZ, chart.seJF})
            for (int i = 0; i < s->count(); ++i)
                v.push_back(s->at(i));
        return v;
    };
    const std::vector<double> inPlace = bars();
    wb->RefreshLoadChart();
    wb->FlushLoadChart();
    EXPECT_EQ(bars(), inPlace);
}

// Zoomed in to minutes, the ruler's ticks name their date and, unless it is midnight, their time.
TEST_P(WorkbenchLoad, RulerTicksZoomedToMinutesNameTheirDateAndTime) {
    query("F1");
    wb->mgMPSTC->Scaler()->SetScale(0.005);
    ASSERT_NEAR(wb->mgMPSTC->Scale(), 0.005, 1e-9);
    const double day = kv::encodeDate(2026, 1, 5);
    QString label = "08";
    wb->ScalerLabelText(day + 0.5, label);
    EXPECT_EQ(label, "08(2026/01/05 12:00:00)");
    label = "00";
    wb->ScalerLabelText(day, label);
    EXPECT_EQ(label, "00(2026/01/05)");
}

TEST_P(WorkbenchLoad, DatesShowInTheCompanyFormat) {
    query("F1");
    EXPECT_EQ(wb->dmKrta07S->ExpandSQL(" SELECT * FROM $$A, $$B "), "SELECT * FROM DEMO..A, DEMO..B");
    kv::TClientDataSet& pre = *wb->dmKrta07S->qryMPSTBPre;
    pre.First();
    EXPECT_EQ(pre.FieldByName("TB013").DisplayText(), "2026/01/05");
    EXPECT_EQ(pre.FieldByName("TB013").DisplayLabel(), QString::fromUtf8("排程开工"));
    EXPECT_FALSE(pre.FieldByName("FLAG").Visible());
    EXPECT_TRUE(pre.FieldByName("TB013").ReadOnly());
    EXPECT_FALSE(pre.FieldByName("TB042").ReadOnly());
    pre.Last();
    EXPECT_EQ(pre.FieldByName("TB013").DisplayText(), "");
}

TEST_P(WorkbenchLoad, ClickOnABarMakesItsLineCurrent) {
    query("F1");
    wb->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(wb));
    wb->mgMPSTC->GantArea()->repaint();
    wb->mgMPSTC->UpdateAllGeometry();
    const QRect r = wb->mgMPSTC->ItemRect(item(2)->Bar);
    ASSERT_FALSE(r.isEmpty());
    // The chart takes the mouse in edit mode only; the line checks of edit mode are not the point here.
    wb->mgMPSTC->GantArea()->setEnabled(true);
    QTest::mouseClick(wb->mgMPSTC->GantArea(), Qt::LeftButton, Qt::NoModifier, r.center());
    EXPECT_EQ(wb->dmKrta07S->qryMPSTBPre->FieldByName("TB037").AsString().trimmed(), "010101");
    EXPECT_EQ(wb->dgMPSTB->currentIndex().row(), 2);
    EXPECT_EQ(wb->CurrentRowIndex(), 2);
    EXPECT_EQ(item(2)->Bar->Color, 0x0000FF00u);
    EXPECT_EQ(item(0)->Bar->Color, 0x0000FFFFu);
    QCoreApplication::processEvents();
    EXPECT_EQ(wb->ctMPSTC->Title(), QString::fromUtf8("主要资源:R2"));
}

// The day rows of each load are read on a thread and those of the load before are freed on
// another: every reload, of the same factory or of another, shows the days as stored.
TEST_P(WorkbenchLoad, EveryReloadShowsTheStoredDays) {
    {
        TKvADOConnection c;
        c.SetConnectionString(FConnectString);
        c.Open();
        exec(c, "INSERT INTO DEMO..MPSTC (TC001,TC002,TC009,TC003,TC004,TC005,TC006,TC007,TC008) VALUES "
                "('F1','1','5101','20260100001','0001','0101','20260106',2.5,''), "
                "('F1','1','5101','20260100001','0001','0101','20260108',150000,'')");
    }
    auto days = [this] {
        QStringList out;
        for (int r = 0; r < wb->RowKeys().size(); ++r)
            for (int k = 0; k < item(r)->CellCount(); ++k)
                if (!item(r)->CellQuantity(k).isEmpty())
                    out << nodeOf(r) + "@" + Krta07DayText(item(r)->CellStart(k)) + "=" +
                               item(r)->CellQuantity(k);
        return out;
    };
    query("F1");
    const QStringList first = days();
    EXPECT_EQ(first, QStringList({"01@20260103=30", "01@20260105=100", "01@20260107=50", "0101@20260106=2.5",
                                  "0101@20260108=" + QVariant(150000.0).toString(), "010101@20260107=10",
                                  "02@20260107=5"}));
    for (const char* factory : {"F1", "F2", "F1", "F1"})
        query(factory);
    EXPECT_EQ(days(), first);
}

// A table without a key hands the day rows over in the order they lie in, the lines' rows mixed: each
// day still shows on its own line with its own remark.
TEST_P(WorkbenchLoad, DaysOfLinesMixedInTheTableStayOnTheirLines) {
    {
        TKvADOConnection c;
        c.SetConnectionString(FConnectString);
        c.Open();
        exec(c, "INSERT INTO DEMO..MPSTC (TC001,TC002,TC009,TC003,TC004,TC005,TC006,TC007,TC008) VALUES "
                "('F1','1','5101','20260100001','0001','0101','20260106',2.5,'a')");
        for (const char* sql :
             {"CREATE TABLE MPSTC_KEYED AS SELECT * FROM MPSTC", "DROP TABLE MPSTC",
              "CREATE TABLE MPSTC AS SELECT * FROM MPSTC_KEYED ORDER BY TC006, TC005 DESC"}) {
            QSqlQuery q(c.database());
            ASSERT_TRUE(q.exec(sql)) << q.lastError().text().toStdString();
        }
    }
    query("F1");
    auto days = [this](int row) {
        QStringList out;
        for (int k = 0; k < item(row)->CellCount(); ++k)
            if (!item(row)->CellQuantity(k).isEmpty())
                out << Krta07DayText(item(row)->CellStart(k)) + "=" + item(row)->CellQuantity(k) + "/" +
                           item(row)->CellRemark(k);
        return out;
    };
    EXPECT_EQ(days(0), QStringList({"20260103=30/r", "20260105=100/r", "20260107=50/r"}));
    EXPECT_EQ(days(1), QStringList({"20260106=2.5/a"}));
    EXPECT_EQ(days(2), QStringList({"20260107=10/r"}));
    EXPECT_EQ(days(3), QStringList({"20260107=5/r"}));
}

// The engine hands a line's days in the order it finds them (a server reads updated rows where it
// wrote them last): the bar still runs from the line's first day to its last, every day on it.
TEST_P(WorkbenchLoad, DaysReadLastToFirstMakeTheSameBar) {
    query("F1");
    const double start = item(0)->Bar->StartTime, stop = item(0)->Bar->StopTime;
    {
        TKvADOConnection c;
        c.SetConnectionString(FConnectString);
        c.Open();
        for (const char* sql : {"CREATE TABLE MPSTC_KEYED AS SELECT * FROM MPSTC", "DROP TABLE MPSTC",
                                "CREATE TABLE MPSTC AS SELECT * FROM MPSTC_KEYED ORDER BY TC006 DESC"}) {
            QSqlQuery q(c.database());
            ASSERT_TRUE(q.exec(sql)) << q.lastError().text().toStdString();
        }
    }
    query("F1");
    EXPECT_EQ(item(0)->Bar->StartTime, start);
    EXPECT_EQ(item(0)->Bar->StopTime, stop);
    QStringList days;
    for (int k = 0; k < item(0)->CellCount(); ++k)
        if (!item(0)->CellQuantity(k).isEmpty())
            days << Krta07DayText(item(0)->CellStart(k)) + "=" + item(0)->CellQuantity(k);
    EXPECT_EQ(days, QStringList({"20260103=30", "20260105=100", "20260107=50"}));
}

TEST(WorkbenchDayText, NumbersReadAsTheDataLayerShowsThem) {
    for (double v = -250000; v <= 250000; v += 7)
        ASSERT_EQ(Krta07NumberText(v), QVariant(v).toString()) << v;
    for (double v : {0.0, -0.0, 99999.0, 100000.0, -100000.0, 1e6, 2.5, -0.125, 1e15, 123456.75, 1e-7})
        EXPECT_EQ(Krta07NumberText(v), QVariant(v).toString()) << v;
}

// The stored plan rows a save compares with: found, changed, erased and added again as a map of
// their keys would have them, through growth and erased entries.
TEST(WorkbenchStoredPlan, RowsBehaveAsAMapOfTheirKeys) {
    TKrta07PlanRows rows;
    std::map<std::array<int32_t, 7>, std::pair<double, QString>> model;
    std::mt19937 rng(3);
    auto keyOf = [](const std::array<int32_t, 7>& k) {
        TKrta07PlanKey key;
        std::copy(k.begin(), k.end(), key.id);
        return key;
    };
    for (int step = 0; step < 20000; ++step) {
        const std::array<int32_t, 7> k{int32_t(rng() % 5), int32_t(rng() % 40), 7, 8, int32_t(rng() % 30), 9,
                                       int32_t(rng() % 4)};
        auto found = rows.find(keyOf(k));
        auto expected = model.find(k);
        ASSERT_EQ(found != rows.end(), expected != model.end()) << step;
        if (found == rows.end()) {
            const QString remark = rng() % 7 == 0 ? QString("R%1").arg(step % 3) : QString();
            rows.insert(keyOf(k), {double(step), -double(step), remark, false});
            model[k] = {double(step), remark};
        } else if (rng() % 3 == 0) {
            ASSERT_EQ(found->main, expected->second.first) << step;
            ASSERT_TRUE(found->remark == expected->second.second) << step;
            found->main = step + 0.5;
            found->remark = QString("N");
            expected->second = {step + 0.5, "N"};
        } else {
            rows.erase(found);
            model.erase(expected);
        }
        ASSERT_EQ(rows.size(), qsizetype(model.size())) << step;
    }
    // A sweep keeps the rows it marks and erases the others, as a save does.
    qsizetype seen = 0;
    for (auto it = rows.begin(); it != rows.end(); ++it) {
        const TKrta07PlanKey key = it.key();
        std::array<int32_t, 7> k;
        std::copy(key.id, key.id + 7, k.begin());
        ASSERT_TRUE(model.count(k));
        EXPECT_EQ(it->main, model[k].first);
        it->kept = k[0] % 2 == 0;
        ++seen;
    }
    EXPECT_EQ(seen, rows.size());
    for (auto it = rows.begin(); it != rows.end();)
        it = it->kept ? ++it : rows.erase(it);
    for (const auto& [k, v] : model)
        EXPECT_EQ(rows.find(keyOf(k)) != rows.end(), k[0] % 2 == 0);
}

INSTANTIATE_TEST_SUITE_P(Engines, WorkbenchLoad, ::testing::Values(Engine::SQLite, Engine::PostgreSQL),
                         [](const auto& info) {
                             return info.param == Engine::SQLite ? "SQLite" : "PostgreSQL";
                         });

} // namespace
