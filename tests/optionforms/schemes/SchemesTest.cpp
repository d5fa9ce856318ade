// Condition schemes saved, listed, renamed, opened and deleted through the application server object
// on a demo company, with every kind of option control.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <gtest/gtest.h>
#include <memory>

#include "common/TestSupport.h"
#include "controls/KvMsgDlg.h"
#include "controls/SelectPnl.h"
#include "host/demo/DemoCompany.h"
#include "host/services/CompanyData.h"
#include "host/services/HostServices.h"
#include "optionforms/BaseGene.h"

namespace {

// Answers every message box while it lives and keeps their texts.
class BoxAnswerer {
public:
    BoxAnswerer() : FState(std::make_shared<State>()) { poll(FState); }
    ~BoxAnswerer() { FState->stopped = true; }
    const QStringList& texts() const { return FState->texts; }

private:
    struct State {
        QStringList texts;
        bool stopped = false;
    };
    static void poll(std::shared_ptr<State> state) {
        QTimer::singleShot(5, [state] {
            if (state->stopped) return;
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                state->texts << box->text();
                box->done(QMessageBox::Ok);
            }
            poll(state);
        });
    }
    std::shared_ptr<State> FState;
};

class TfrmSchemes : public TfrmBaseGene {
public:
    TfrmSchemes() {
        auto* l = new QVBoxLayout(tsOption1);
        const auto add = [&](QWidget* w, const char* name) {
            w->setObjectName(name);
            l->addWidget(w);
            return w;
        };
        edNote = static_cast<QLineEdit*>(add(new QLineEdit, "edNote"));
        edDate = static_cast<QLineEdit*>(add(new QLineEdit, "edDate"));
        edMonth = static_cast<QLineEdit*>(add(new QLineEdit, "edMonth"));
        cboKind = static_cast<QComboBox*>(add(new QComboBox, "cboKind"));
        cboKind->addItems({"a", "b", "c"});
        chkAll = static_cast<QCheckBox*>(add(new QCheckBox, "chkAll"));
        rbOne = static_cast<QRadioButton*>(add(new QRadioButton, "rbOne"));
        for (int i = 0; i < 3; ++i)
            spPanel[i] = static_cast<TSelectPanel*>(
                add(new TSelectPanel, QByteArray("spPanel" + QByteArray::number(i)).constData()));
        FDateFields = "edDate,spPanel0";
        FYearMonthFields = "edMonth";
        FProgramCode = "KRTA07";
    }
    QLineEdit *edNote, *edDate, *edMonth;
    QComboBox* cboKind;
    QCheckBox* chkAll;
    QRadioButton* rbOne;
    TSelectPanel* spPanel[3];
    QStringList applied;
    void setUser(const QString& user) { FUserID = user; }

protected:
    void AfterApplyValue(QWidget* Control, const kv::Variant&) override { applied << Control->objectName(); }
};

class SchemesTest : public ::testing::Test {
protected:
    void SetUp() override {
        kv::demo::DemoOptions options;
        options.lines = 2;
        kv::demo::writeDemoInstallation(dir.path(), options);
        env = std::make_unique<testsupport::ScopedEnv>("TARNIX_REGISTRY",
                                                       (dir.path() + "/registry.ini").toUtf8());
        server = std::make_shared<tarnix::TReportCounter>(tarnix::TCompanyData::fromLauncherSettings());
        form = std::make_unique<TfrmSchemes>();
        form->AfterConstruction();
        form->setUser("DS");
        form->FAppServer = server;
        form->FSilentMessages = true;
    }
    QTemporaryDir dir;
    std::unique_ptr<testsupport::ScopedEnv> env;
    std::shared_ptr<tarnix::TReportCounter> server;
    std::unique_ptr<TfrmSchemes> form;
};

} // namespace

TEST_F(SchemesTest, OptionListFollowsPagesAndKinds) {
    EXPECT_EQ(form->BuildOptionList(),
              "edNote.text;edDate.text;edMonth.text;cboKind.itemindex;chkAll.checked;"
              "rbOne.checked;spPanel0.style;spPanel1.style;spPanel2.style;");
}

TEST_F(SchemesTest, EveryControlRoundTripsThroughTheServer) {
    auto& f = *form;
    f.edNote->setText(QStringLiteral("备注"));
    f.edDate->setText("2008/05/15");
    f.edMonth->setText("2008/06");
    f.cboKind->setCurrentIndex(2);
    f.chkAll->setChecked(true);
    f.rbOne->setChecked(true);
    f.spPanel[0]->SetStyle(sp_Range);
    f.spPanel[0]->SetStartText("2008/05/01");
    f.spPanel[0]->SetEndText("2008/05/31");
    f.spPanel[1]->SetStyle(sp_Discrete);
    f.spPanel[1]->AddValue({"F01"});
    f.spPanel[1]->AddValue({"F02"});
    f.spPanel[2]->SetStyle(sp_UserChoice);
    f.spPanel[2]->SetUserChoice(1);
    f.spPanel[2]->SetStartText("A");
    f.spPanel[2]->SetEndText("Z");
    // The single date moves one month on, to the last day; the range's end one week back.
    const QChar s(3);
    f.FDateSettings = {
        QStringList{"1", "edDate", "Y", "1", "1", "2", "0", "D"}.join(s),
        QStringList{"0", "spPanel0", "N", "0", "0", "0", "0", "Y", "0", "0", "0", "-7", "D"}.join(s)};
    const QString list = f.BuildOptionList() + "edGone.text;";
    const QString values = f.SchemeValues(list);
    const QStringList lines = values.split("\r\n");
    ASSERT_EQ(lines.size(), 11);
    EXPECT_EQ(lines[1], "20080630");
    EXPECT_EQ(lines[2], "200806");
    EXPECT_EQ(lines[3], "2");
    EXPECT_EQ(lines[4], "True");
    EXPECT_EQ(lines[6], QString("sp_Range") + s + "20080501" + s + "20080524");
    EXPECT_EQ(lines[7], QString("sp_Discrete") + s + "F01" + s + "F02");
    EXPECT_EQ(lines[8], QString("sp_UserChoice") + s + "True" + s + "A" + s + "Z");
    EXPECT_EQ(lines[9], ""); // a missing component keeps the later positions

    ASSERT_TRUE(f.SaveScheme(list, QStringLiteral("月末方案"), false));
    EXPECT_FALSE(f.SaveScheme(list, QStringLiteral("月末方案"), false)); // exists, not replaced
    EXPECT_TRUE(f.SaveScheme(list, QStringLiteral("月末方案"), true));
    ASSERT_TRUE(f.SaveScheme(list, "other", false));
    f.LoadSchemes();
    ASSERT_EQ(f.lstCondition->topLevelItemCount(), 2);

    // Renames: refused when empty, too long or taken; 20 characters are fine.
    BoxAnswerer boxes;
    EXPECT_FALSE(f.RenameScheme(QStringLiteral("月末方案"), "  "));
    EXPECT_FALSE(f.RenameScheme(QStringLiteral("月末方案"), QString(21, 'x')));
    EXPECT_FALSE(f.RenameScheme(QStringLiteral("月末方案"), "other"));
    const QString renamed(20, 'x');
    ASSERT_TRUE(f.RenameScheme(QStringLiteral("月末方案"), renamed));
    ASSERT_EQ(boxes.texts().size(), 3);
    EXPECT_EQ(boxes.texts()[0].trimmed(), QStringLiteral("方案名不可空白!"));
    EXPECT_EQ(boxes.texts()[2].trimmed(), QStringLiteral("此方案名称已经存在！"));
    f.LoadSchemes();
    ASSERT_EQ(f.lstCondition->findItems(renamed, Qt::MatchExactly).size(), 1);

    // Clear everything, then open.
    f.edNote->clear();
    f.edDate->clear();
    f.edMonth->clear();
    f.cboKind->setCurrentIndex(0);
    f.chkAll->setChecked(false);
    f.rbOne->setChecked(false);
    for (TSelectPanel* p : f.spPanel) {
        p->SetStyle(sp_Range);
        p->SetStartText("");
        p->SetEndText("");
    }
    f.spPanel[1]->ListView()->clear();
    ASSERT_TRUE(f.OpenScheme(renamed));
    EXPECT_EQ(f.edNote->text(), QStringLiteral("备注"));
    EXPECT_EQ(f.edDate->text(), "2008/06/30");
    EXPECT_EQ(f.edMonth->text(), "2008/06");
    EXPECT_EQ(f.cboKind->currentIndex(), 2);
    EXPECT_TRUE(f.chkAll->isChecked());
    EXPECT_TRUE(f.rbOne->isChecked());
    EXPECT_EQ(f.spPanel[0]->Style(), sp_Range);
    EXPECT_EQ(f.spPanel[0]->EndText(), "2008/05/24");
    EXPECT_EQ(f.spPanel[1]->Style(), sp_Discrete);
    ASSERT_EQ(f.spPanel[1]->ListView()->topLevelItemCount(), 2);
    EXPECT_EQ(f.spPanel[1]->ListView()->topLevelItem(1)->text(0), "F02");
    EXPECT_EQ(f.spPanel[2]->Style(), sp_UserChoice);
    EXPECT_EQ(f.spPanel[2]->UserChoice(), 1);
    EXPECT_EQ(f.spPanel[2]->EndText(), "Z");
    EXPECT_EQ(f.applied.size(), 9);

    ASSERT_TRUE(f.DeleteScheme(renamed));
    EXPECT_EQ(f.lstCondition->topLevelItemCount(), 1);
    EXPECT_THROW(f.DeleteScheme(renamed), std::exception);
}

TEST(SchemesNoServer, ListStaysEmpty) {
    TfrmBaseGene form;
    form.LoadSchemes();
    EXPECT_EQ(form.lstCondition->topLevelItemCount(), 0);
    EXPECT_FALSE(form.SaveScheme("x.text;", "n", false));
}
