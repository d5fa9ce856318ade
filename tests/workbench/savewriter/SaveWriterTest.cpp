// The save's writers without the workbench: the small company's line set of F1, its day rows as read,
// and bar days given here, written in a transaction on SQLite and on PostgreSQL.
#include <gtest/gtest.h>

#include <QHash>
#include <QTemporaryDir>
#include <map>

#include "frame/KvADO.h"
#include "platform/data/ClientDataSet.h"
#include "support/LibStrs.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"
#include "workbench/Krta07SMFSaveWriter.h"
#include "workbench/Krta07SMFStored.h"
#include "workbench/common/WorkbenchTestSupport.h"

namespace {

using wbtest::Engine;

class SaveWriter : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        cs = wbtest::companyOn(GetParam(), dir.path(), "savewriter");
        if (cs.isEmpty()) GTEST_SKIP() << "PostgreSQL is not installed";
        other.SetConnectionString(cs);
        other.Open();
        dm = std::make_unique<TdmKrta07S>(nullptr, "DEMO", cs);
        dm->FFactory = "F1";
        dm->FResource = dm->FSourceDoc = "";
        dm->qryMPSTB->Open();
        ASSERT_EQ(dm->qryMPSTB->RecordCount(), 9);
        TKrta07DayReader reader(
            *dm->dbKrta07,
            dm->ExpandSQL("SELECT TC001 , TC002 ,TC003 ,TC004 ,TC005 ,TC006 ,TC007 ,TC008 "
                          ",TC009 ,FLAG FROM $$MPSTC AS MPSTC WHERE TC001 =:TC001"),
            "F1");
        stored = reader.Take();
    }

    // The bar of a line shows its stored days unless the test gave it others (by document and node).
    void barDays(const QString& key, std::vector<TKrta07BarDay>& out) const {
        const QStringList p = key.split(Krta07KeySeparator);
        auto given = bars.find(p[3] + "/" + p[5]);
        if (given != bars.end()) {
            for (const auto& [day, quantity] : given->second)
                out.push_back({TransDateIn(day), quantity, QString()});
            return;
        }
        const TKrta07LineDays days = stored.find({p[1], p[2], p[3], p[4], p[5]});
        for (size_t i = 0; i < days.size(); ++i)
            out.push_back({days.date(i), days.quantity(i), days.remark(i)});
    }

    // Writes in a transaction of the data module's connection; commits what write() accepts.
    bool save() {
        TKrta07SaveWriter writer(*dm, "KL", "DEMO");
        writer.barDays = [this](const QString& key, std::vector<TKrta07BarDay>& out) { barDays(key, out); };
        writer.storedDays = &stored;
        dm->dbKrta07->StartTransaction();
        const bool written = writer.write();
        if (written)
            dm->dbKrta07->Commit();
        else
            dm->dbKrta07->Rollback();
        return written;
    }

    // "TC006 TC007 FLAG MODIFIER" of each day of a line (by document and node), in day order.
    QStringList days(const QString& doc, const QString& node) {
        QStringList out;
        const QString sql =
            QString("SELECT TC006, TC007, FLAG, MODIFIER FROM DEMO..MPSTC WHERE TC001 = 'F1' AND "
                    "TC003 = '%1' AND TC004 = '0001' AND TC005 = '%2' ORDER BY TC006")
                .arg(doc, node);
        for (const QString& r : wbtest::rows(other, sql))
            out << QString("%1 %2 %3 %4")
                       .arg(r.section('|', 0, 0))
                       .arg(r.section('|', 1, 1).toDouble())
                       .arg(r.section('|', 2, 2).toDouble())
                       .arg(r.section('|', 3, 3));
        return out;
    }
    QStringList all() {
        return wbtest::rows(other,
                            "SELECT * FROM DEMO..MPSTC ORDER BY TC002, TC009, TC003, TC004, TC005, TC006") +
               wbtest::rows(other,
                            "SELECT * FROM DEMO..MPSTB ORDER BY TB001, TB003, TB051, TB004, TB005, TB037");
    }

    QTemporaryDir dir;
    QString cs;
    TKvADOConnection other;
    std::unique_ptr<TdmKrta07S> dm;
    TKrta07DayRows stored;
    std::map<QString, std::map<QString, double>> bars;
};

TEST_P(SaveWriter, EveryCoveredDayIsRewrittenUnderItsGuardAndOnlyChangedDaysChangeValue) {
    // Line 0001/01 of 20260100001 had 10:20 11:20 12:20, 0101 had 06:10 08:10 11:10, 010101 04:4 07:4.
    bars["20260100001/01"] = {{"20260110", 20}, {"20260111", 25}, {"20260112", 0}, {"20260113", 15}};
    bars["20260100001/0101"] = {{"20260106", 10}, {"20260108", 20}};
    QStringList untouched;
    for (const QString& r : days("20260100001", "010101"))
        untouched << QString("%1 %2 KL").arg(r.section(' ', 0, 1)).arg(r.section(' ', 2, 2).toDouble() + 1);
    ASSERT_EQ(untouched.size(), 2);
    const QString flag10 = days("20260100001", "01").value(0).section(' ', 2, 2);
    ASSERT_TRUE(save());

    // Covered days get FLAG + 1 and the saving user, changed or not; a cleared day and a day the bar
    // no longer covers go; a new day comes with FLAG 0.
    const QStringList line01 = days("20260100001", "01");
    ASSERT_EQ(line01.size(), 3) << line01.join(" ; ").toStdString();
    EXPECT_EQ(line01[0], QString("20260110 20 %1 KL").arg(flag10.toDouble() + 1));
    EXPECT_TRUE(line01[1].startsWith("20260111 25 ")) << line01[1].toStdString();
    EXPECT_TRUE(line01[2].startsWith("20260113 15 0")) << line01[2].toStdString();
    const QStringList line0101 = days("20260100001", "0101");
    ASSERT_EQ(line0101.size(), 2);
    EXPECT_TRUE(line0101[1].startsWith("20260108 20 "));
    EXPECT_EQ(days("20260100001", "010101"), untouched);
    // Every line of the set: FLAG 3 -> 4, saved by KL.
    EXPECT_EQ(
        wbtest::rows(other, "SELECT DISTINCT FLAG, MODIFIER FROM DEMO..MPSTB WHERE TB001 = 'F1'").size(), 1);
    EXPECT_EQ(wbtest::rows(other, "SELECT COUNT(*) FROM DEMO..MPSTB WHERE TB001 = 'F1' AND FLAG = 4 AND "
                                  "MODIFIER = 'KL'"),
              QStringList{"9"});
}

TEST_P(SaveWriter, ALineOrADayChangedSinceLoadingRefusesTheWholeSave) {
    bars["20260100001/01"] = {{"20260110", 30}, {"20260111", 30}};
    // Another user saved one line since loading: its FLAG moved on.
    wbtest::exec(other, "UPDATE DEMO..MPSTB SET FLAG = FLAG + 1, MODIFIER = 'XX' WHERE TB001 = 'F1' AND "
                        "TB004 = 'D''2' AND TB005 = '0002' AND TB037 = '01'");
    QStringList was = all();
    EXPECT_FALSE(save());
    EXPECT_EQ(all(), was);

    // Lines as stored now, but a day of another line was deleted since its rows were read.
    dm->qryMPSTB->Close();
    dm->qryMPSTB->Open();
    wbtest::exec(other,
                 "DELETE FROM DEMO..MPSTC WHERE TC001 = 'F1' AND TC003 = 'D''2' AND TC004 = '0003' AND "
                 "TC006 = '20260107' AND TC009 = '5102'");
    was = all();
    EXPECT_FALSE(save());
    EXPECT_EQ(all(), was);

    // With the day rows read again nothing stands in the way.
    TKrta07DayReader reader(*dm->dbKrta07,
                            dm->ExpandSQL("SELECT TC001 , TC002 ,TC003 ,TC004 ,TC005 ,TC006 ,TC007 ,TC008 "
                                          ",TC009 ,FLAG FROM $$MPSTC AS MPSTC WHERE TC001 =:TC001"),
                            "F1");
    stored = reader.Take();
    EXPECT_TRUE(save());
    EXPECT_EQ(days("20260100001", "01").size(), 2);
}

INSTANTIATE_TEST_SUITE_P(Engines, SaveWriter, ::testing::Values(Engine::SQLite, Engine::PostgreSQL),
                         [](const auto& info) { return wbtest::engineName(info.param); });

} // namespace
