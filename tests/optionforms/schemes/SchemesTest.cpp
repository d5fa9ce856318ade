// Condition schemes through the scheme panel of an option form on a demo company: saved with the
// condition dialog, renamed in place, opened and deleted, with every kind of option control kept by the
// application server object in the company database.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "controls/BtChkBox.h"
#include "controls/KvRadio.h"
#include "controls/SelectPnl.h"
#include "host/services/CompanyData.h"
#include "host/services/HostAutomation.h"
#include "host/services/HostServices.h"
#include "optionforms/BaseGene.h"
#include "optionforms/GeneCondition.h"
#include "optionforms/common/OptionFormTest.h"
#include "platform/KvError.h"
#include "platform/data/ClientDataSet.h"

namespace {

using optiontest::BoxAnswerer;
using optiontest::whileModal;

const QChar s3(3);

class TfrmSchemes : public TfrmBaseGene {
public:
    TfrmSchemes() {
        setObjectName("frmKRTA07");
        auto* l = new QVBoxLayout(tsOption1);
        const auto add = [&](auto* w, const char* name) {
            w->setObjectName(name);
            l->addWidget(w);
            return w;
        };
        edNote = add(new QLineEdit, "edNote");
        edDate = add(new QLineEdit, "edDate");
        auto* label = add(new QLabel(QStringLiteral("交货日")), "lblDate");
        label->setBuddy(edDate);
        edMonth = add(new QLineEdit, "edMonth");
        cboKind = add(new QComboBox, "cboKind");
        cboKind->addItems({"a", "b", "c"});
        chkAll = add(new QCheckBox, "chkAll");
        chkBits = add(new TBitCheckBox, "chkBits");
        rbOne = add(new QRadioButton, "rbOne");
        rbOne->setAutoExclusive(false); // alone on its page, it must be able to go off again
        rgWay = add(new TKvRadioGroup, "rgWay");
        rgWay->SetItems({"x", "y", "z"});
        for (int i = 0; i < 4; ++i)
            spPanel[i] = add(new TSelectPanel, QByteArray("spPanel" + QByteArray::number(i)).constData());
        spPanel[0]->SetHintWord(QStringLiteral("单据日期"));
        SetDateFields("edDate,spPanel0");
        SetYearMonthFields("edMonth");
        FProgramCode = "KRTA07";
    }
    QLineEdit *edNote, *edDate, *edMonth;
    QComboBox* cboKind;
    QCheckBox* chkAll;
    TBitCheckBox* chkBits;
    QRadioButton* rbOne;
    TKvRadioGroup* rgWay;
    TSelectPanel* spPanel[4];
    QStringList applied;
    QStringList saves;
    int opened = 0;
    void setUser(const QString& user) { FUserID = user; }
    bool SaveScheme(const QString& OptionList, const QString& Name, bool Replace) override {
        saves << Name;
        return TfrmBaseGene::SaveScheme(OptionList, Name, Replace);
    }
    bool AfterSchemeOpened() override {
        ++opened;
        return true;
    }

protected:
    void BeforeApplyValue(QWidget*, const kv::Variant& Value) override {
        // The module refuses a value it cannot take.
        if (kv::varToStr(Value) == QLatin1String("refused")) throw EKvError("refused value");
    }
    void AfterApplyValue(QWidget* Control, const kv::Variant&) override { applied << Control->objectName(); }
};

class SchemesTest : public ::testing::Test {
protected:
    void SetUp() override {
        data = tarnix::TCompanyData::fromLauncherSettings();
        server = std::make_shared<tarnix::TReportCounter>(data);
        form = std::make_unique<TfrmSchemes>();
        form->AfterConstruction();
        form->setUser("DS");
        form->SetAppServer(server);
        form->SetValidatorService(std::make_shared<tarnix::TValidatorService>(data));
    }

    // The stored rows of the user's schemes: [name, created, option list, values].
    QList<QStringList> stored() {
        const kv::Variant rows = server->call("LoadTable", {kv::Variant::arrayOf({"DS", "KRTA07"})});
        QList<QStringList> list;
        for (int i = rows.lowBound(); i <= rows.highBound(); ++i) {
            QStringList row;
            for (int c = 0; c < 4; ++c)
                row << kv::varToStr(rows.at(i).at(c));
            list << row;
        }
        return list;
    }

    QTreeWidgetItem* item(const QString& name) {
        const QList<QTreeWidgetItem*> found = form->lstCondition->findItems(name, Qt::MatchExactly);
        return found.size() == 1 ? found.first() : nullptr;
    }

    void select(QTreeWidgetItem* it) {
        ASSERT_NE(it, nullptr);
        // A click on the selected item would start editing its caption.
        if (it->isSelected()) return;
        const QRect r = form->lstCondition->visualItemRect(it);
        QTest::mouseClick(form->lstCondition->viewport(), Qt::LeftButton, {}, r.center());
    }

    // Types a new caption into the list's in-place editor and commits it with Enter.
    void renameInPlace(QTreeWidgetItem* it, const QString& text) {
        QApplication::setActiveWindow(form.get());
        // The editor of an earlier rename goes first, so that the one found is the new one.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        form->lstCondition->setCurrentItem(it);
        form->lstCondition->editItem(it, 0);
        auto* editor = form->lstCondition->viewport()->findChild<QLineEdit*>();
        ASSERT_NE(editor, nullptr);
        editor->selectAll();
        QTest::keyClick(editor, Qt::Key_Delete);
        // QTest types ASCII only; other text comes in as a paste would.
        bool ascii = true;
        for (const QChar c : text)
            ascii = ascii && c.unicode() < 0x80;
        if (ascii)
            QTest::keyClicks(editor, text);
        else
            editor->insert(text);
        QTest::keyClick(editor, Qt::Key_Return);
    }

    // Saves through the panel: the steps fill the dialog and end it.
    template <class F> void saveThroughPanel(F steps) {
        whileModal([steps](QWidget* modal) {
            auto* dialog = qobject_cast<TfrmGeneCondition*>(modal);
            ASSERT_NE(dialog, nullptr);
            steps(dialog);
        });
        QTest::mouseClick(form->btnInsert, Qt::LeftButton);
    }

    optiontest::DemoInstallation install;
    tarnix::TCompanyDataPtr data;
    std::shared_ptr<tarnix::TReportCounter> server;
    std::unique_ptr<TfrmSchemes> form;
};

} // namespace

TEST_F(SchemesTest, OptionListFollowsPagesAndKinds) {
    EXPECT_EQ(form->BuildOptionList(),
              "edNote.text;edDate.text;edMonth.text;cboKind.itemindex;chkAll.checked;chkBits.checked;"
              "rbOne.checked;rgWay.itemindex;spPanel0.style;spPanel1.style;spPanel2.style;spPanel3.style;");
    // The periodic page and the system page keep no options.
    auto* period = new QWidget;
    period->setObjectName("tsPeriodOption");
    auto* edCycle = new QLineEdit(period);
    edCycle->setObjectName("edCycle");
    form->pgOption->addTab(period, "period");
    EXPECT_FALSE(form->BuildOptionList().contains("edCycle"));
}

TEST_F(SchemesTest, PanelSavesRenamesOpensAndDeletesEveryKindOfControl) {
    auto& f = *form;
    f.show();
    QApplication::setActiveWindow(&f);
    EXPECT_TRUE(f.pnlCondition->isVisible());
    EXPECT_EQ(f.lstCondition->topLevelItemCount(), 0);

    f.edNote->setText(QStringLiteral("备注"));
    f.edDate->setText("2008/05/15");
    f.edMonth->setText("2008/06");
    f.cboKind->setCurrentIndex(2);
    f.chkAll->setChecked(true);
    f.chkBits->SetChecked(true);
    f.rbOne->setChecked(true);
    f.rgWay->SetItemIndex(1);
    f.spPanel[0]->SetStyle(sp_Range);
    f.spPanel[0]->SetStartText("2008/05/01");
    f.spPanel[0]->SetEndText("2008/05/31");
    f.spPanel[1]->SetStyle(sp_Discrete);
    f.spPanel[1]->AddValue({"F01"});
    f.spPanel[1]->AddValue({"F02"});
    f.spPanel[2]->SetStyle(sp_UserChoice);
    f.spPanel[2]->SetUserChoice(sp_Range);
    f.spPanel[2]->SetStartText("A");
    f.spPanel[2]->SetEndText("Z");
    f.spPanel[3]->SetStyle(sp_UserChoice);
    f.spPanel[3]->SetUserChoice(sp_Discrete);
    f.spPanel[3]->AddValue({"R1"});

    // The single date moves one month on, to its last day; the range's end one week back.
    saveThroughPanel([](TfrmGeneCondition* d) {
        EXPECT_EQ(d->DateFieldNames(), QStringList({"edDate", "spPanel0"}));
        EXPECT_EQ(d->cbodatecondition->itemText(0), QStringLiteral("交货日"));
        EXPECT_EQ(d->cbodatecondition->itemText(1), QStringLiteral("单据日期"));
        EXPECT_TRUE(d->pnlSingle->isVisible());
        EXPECT_FALSE(d->Single.speCount->isEnabled()); // only a variable date moves
        EXPECT_EQ(d->edConName->maxLength(), 20);
        d->edConName->insert(QStringLiteral("月末方案")); // QTest types ASCII only
        QTest::keyClick(d->Single.chkVariable, Qt::Key_Space);
        EXPECT_TRUE(d->Single.speCount->isEnabled());
        d->Single.speCount->setValue(1);
        d->Single.cboUnit->setCurrentIndex(1);
        d->Single.cboKind->setCurrentIndex(2);
        d->cbodatecondition->setCurrentIndex(1);
        EXPECT_TRUE(d->pnlRange->isVisible());
        EXPECT_FALSE(d->pnlSingle->isVisible());
        EXPECT_FALSE(d->End.chkVariable->isChecked());
        QTest::keyClick(d->End.chkVariable, Qt::Key_Space);
        d->End.speDays->setValue(-7);
        // Back and forth keeps what was set for each field.
        d->cbodatecondition->setCurrentIndex(0);
        EXPECT_TRUE(d->Single.chkVariable->isChecked());
        EXPECT_EQ(d->Single.cboKind->currentIndex(), 2);
        QTest::mouseClick(d->btnOK, Qt::LeftButton);
    });
    EXPECT_EQ(
        f.DateSettings(),
        QStringList(
            {QStringList{"1", "edDate", "Y", "1", "1", "2", "0", "D"}.join(s3),
             QStringList{"0", "spPanel0", "N", "0", "0", "0", "0", "Y", "0", "0", "0", "-7", "D"}.join(s3)}));
    QList<QStringList> rows = stored();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0][0], QStringLiteral("月末方案"));
    EXPECT_EQ(rows[0][2], f.BuildOptionList());
    const QStringList lines = rows[0][3].split("\r\n");
    ASSERT_EQ(lines.size(), 13);
    EXPECT_EQ(lines[0], QStringLiteral("备注"));
    EXPECT_EQ(lines[1], "20080630");
    EXPECT_EQ(lines[2], "200806");
    EXPECT_EQ(lines[3], "2");
    EXPECT_EQ(lines[4], "True");
    EXPECT_EQ(lines[5], "True");
    EXPECT_EQ(lines[7], "1");
    EXPECT_EQ(lines[8], QString("sp_Range") + s3 + "20080501" + s3 + "20080524");
    EXPECT_EQ(lines[9], QString("sp_Discrete") + s3 + "F01" + s3 + "F02");
    EXPECT_EQ(lines[10], QString("sp_UserChoice") + s3 + "sp_Range" + s3 + "A" + s3 + "Z");
    EXPECT_EQ(lines[11], QString("sp_UserChoice") + s3 + "sp_Discrete" + s3 + "R1");
    ASSERT_NE(item(QStringLiteral("月末方案")), nullptr);

    {
        // The same name again: declining the replacement keeps the dialog; a blank name is refused.
        BoxAnswerer boxes(QMessageBox::No);
        f.edNote->setText(QStringLiteral("新备注"));
        saveThroughPanel([&boxes](TfrmGeneCondition* d) {
            d->edConName->insert(QStringLiteral("月末方案"));
            QTest::mouseClick(d->btnOK, Qt::LeftButton);
            EXPECT_TRUE(d->isVisible());
            ASSERT_EQ(boxes.texts().size(), 1);
            EXPECT_EQ(boxes.texts()[0].trimmed(),
                      QStringLiteral("此方案名已存在！是否将原来的方案替换为此方案?"));
            d->edConName->clear();
            QTest::keyClicks(d->edConName, "   ");
            QTest::mouseClick(d->btnOK, Qt::LeftButton);
            EXPECT_TRUE(d->isVisible());
            EXPECT_EQ(boxes.texts().last().trimmed(), QStringLiteral("方案名不可空白!"));
            QTest::mouseClick(d->btnCancel, Qt::LeftButton);
        });
        rows = stored();
        ASSERT_EQ(rows.size(), 1);
        EXPECT_TRUE(rows[0][3].startsWith(QStringLiteral("备注\r\n")));
        // Accepting replaces the stored values.
        ASSERT_TRUE(f.SaveScheme(f.BuildOptionList(), "other", false));
        boxes.setAnswer(QMessageBox::Yes);
        saveThroughPanel([](TfrmGeneCondition* d) {
            QTest::keyClicks(d->edConName, "other");
            QTest::mouseClick(d->btnOK, Qt::LeftButton);
        });
        EXPECT_EQ(boxes.texts().size(), 3);
        rows = stored();
        ASSERT_EQ(rows.size(), 2);
        ASSERT_EQ(rows[0][0], "other"); // by name
        EXPECT_TRUE(rows[0][3].startsWith(QStringLiteral("新备注\r\n")));
        // Without variable dates the dates are kept as typed.
        EXPECT_EQ(rows[0][3].split("\r\n").value(1), "20080515");
    }
    ASSERT_EQ(f.lstCondition->topLevelItemCount(), 2);

    {
        // Renames in place: refused when blank, too long or taken, with the old caption kept.
        BoxAnswerer boxes;
        QTreeWidgetItem* it = item(QStringLiteral("月末方案"));
        ASSERT_NE(it, nullptr);
        renameInPlace(it, "  ");
        renameInPlace(it, QString(21, 'x'));
        renameInPlace(it, "other");
        EXPECT_EQ(it->text(0), QStringLiteral("月末方案"));
        ASSERT_EQ(boxes.texts().size(), 3);
        EXPECT_EQ(boxes.texts()[0].trimmed(), QStringLiteral("方案名不可空白!"));
        EXPECT_EQ(boxes.texts()[1].trimmed(), QStringLiteral("方案名长度不可大于20!"));
        EXPECT_EQ(boxes.texts()[2].trimmed(), QStringLiteral("此方案名称已经存在！"));
        renameInPlace(it, QString(20, 'x'));
        EXPECT_EQ(boxes.texts().size(), 3);
    }
    const QString renamed(20, 'x');
    EXPECT_NE(item(renamed), nullptr);
    rows = stored();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows[0][0] == renamed || rows[1][0] == renamed);

    // Everything cleared, then opened from the panel.
    f.edNote->clear();
    f.edDate->clear();
    f.edMonth->clear();
    f.cboKind->setCurrentIndex(0);
    f.chkAll->setChecked(false);
    f.chkBits->SetChecked(false);
    f.rbOne->setChecked(false);
    f.rgWay->SetItemIndex(0);
    for (TSelectPanel* p : f.spPanel) {
        p->SetStyle(sp_Range);
        p->SetStartText("");
        p->SetEndText("");
        p->ListView()->clear();
    }
    select(item(renamed));
    QTest::mouseClick(f.btnOpen, Qt::LeftButton);
    EXPECT_EQ(f.edNote->text(), QStringLiteral("备注"));
    EXPECT_EQ(f.edDate->text(), "2008/06/30");
    EXPECT_EQ(f.edMonth->text(), "2008/06");
    EXPECT_EQ(f.cboKind->currentIndex(), 2);
    EXPECT_TRUE(f.chkAll->isChecked());
    EXPECT_TRUE(f.chkBits->Checked());
    EXPECT_TRUE(f.rbOne->isChecked());
    EXPECT_EQ(f.rgWay->ItemIndex(), 1);
    EXPECT_EQ(f.spPanel[0]->Style(), sp_Range);
    EXPECT_EQ(f.spPanel[0]->StartText(), "2008/05/01");
    EXPECT_EQ(f.spPanel[0]->EndText(), "2008/05/24");
    EXPECT_EQ(f.spPanel[1]->Style(), sp_Discrete);
    ASSERT_EQ(f.spPanel[1]->ListView()->topLevelItemCount(), 2);
    EXPECT_EQ(f.spPanel[1]->ListView()->topLevelItem(1)->text(0), "F02");
    EXPECT_EQ(f.spPanel[2]->Style(), sp_UserChoice);
    EXPECT_EQ(f.spPanel[2]->UserChoice(), sp_Range);
    EXPECT_EQ(f.spPanel[2]->EndText(), "Z");
    EXPECT_EQ(f.spPanel[3]->UserChoice(), sp_Discrete);
    ASSERT_EQ(f.spPanel[3]->ListView()->topLevelItemCount(), 1);
    EXPECT_EQ(f.spPanel[3]->ListView()->topLevelItem(0)->text(0), "R1");
    EXPECT_EQ(f.applied.size(), 12);

    // Deleted after confirming, from the panel.
    {
        BoxAnswerer boxes;
        select(item(renamed));
        QTest::mouseClick(f.btnDelete, Qt::LeftButton);
        ASSERT_EQ(boxes.texts().size(), 1);
        EXPECT_EQ(boxes.texts()[0].trimmed(), QStringLiteral("确实要删除此方案吗？") + renamed);
    }
    EXPECT_EQ(f.lstCondition->topLevelItemCount(), 1);
    EXPECT_EQ(item(renamed), nullptr);
    EXPECT_EQ(stored().size(), 1);
    EXPECT_THROW(f.DeleteScheme(renamed), std::exception);
}

TEST_F(SchemesTest, ViewStylesOfTheList) {
    form->show();
    EXPECT_EQ(form->SchemeViewStyle(), 2);
    EXPECT_TRUE(form->lstCondition->isHeaderHidden());
    const QRect button = form->ToolButton1->rect();
    // The button's main part steps to the next style; the menu picks one.
    QTest::mouseClick(form->ToolButton1, Qt::LeftButton, {}, QPoint(4, button.height() / 2));
    EXPECT_EQ(form->SchemeViewStyle(), 1);
    EXPECT_TRUE(form->N8->isChecked());
    EXPECT_FALSE(form->N9->isChecked());
    EXPECT_EQ(form->lstCondition->iconSize(), QSize(16, 16));
    form->N10->trigger();
    EXPECT_EQ(form->SchemeViewStyle(), 3);
    EXPECT_FALSE(form->lstCondition->isHeaderHidden());
    EXPECT_FALSE(form->lstCondition->isColumnHidden(1));
    EXPECT_EQ(form->lstCondition->headerItem()->text(1), QStringLiteral("创建时间"));
    form->N7->trigger();
    EXPECT_EQ(form->lstCondition->iconSize(), QSize(32, 32));
    EXPECT_TRUE(form->lstCondition->isColumnHidden(1));
}

TEST_F(SchemesTest, ApplyingSkipsMissingComponentsAndStopsAtABadList) {
    const QString list = "edGone.text;edNote.text;spPanel1.style;";
    EXPECT_TRUE(form->ApplyScheme(list, "x\r\nnote\r\nsp_Discrete" + QString(s3) + "A"));
    EXPECT_EQ(form->edNote->text(), "note");
    EXPECT_EQ(form->SchemeValues(list), "\r\nnote\r\nsp_Discrete" + QString(s3) + "A\r\n");
    // An older scheme's "True" choice still means the range.
    EXPECT_TRUE(
        form->ApplyScheme("spPanel2.style;", "sp_UserChoice" + QString(s3) + "True" + s3 + "B" + s3 + "C"));
    EXPECT_EQ(form->spPanel[2]->UserChoice(), sp_Range);
    EXPECT_EQ(form->spPanel[2]->StartText(), "B");
}

// An empty discrete list is stored as its mode and one separator, and comes back empty: a blank entry
// would pass the required check and go into the job request.
TEST_F(SchemesTest, EmptyDiscreteListsComeBackEmpty) {
    const QString list = "spPanel1.style;spPanel3.style;";
    form->spPanel[1]->SetStyle(sp_Discrete);
    form->spPanel[3]->SetStyle(sp_UserChoice);
    form->spPanel[3]->SetUserChoice(sp_Discrete);
    const QString values = form->SchemeValues(list);
    EXPECT_EQ(values, "sp_Discrete" + QString(s3) + "\r\nsp_UserChoice" + s3 + "sp_Discrete" + s3 + "\r\n");
    for (int i : {1, 3})
        form->spPanel[i]->AddValue({"OLD"});
    ASSERT_TRUE(form->ApplyScheme(list, values));
    EXPECT_EQ(form->spPanel[1]->ListView()->topLevelItemCount(), 0);
    EXPECT_EQ(form->spPanel[3]->ListView()->topLevelItemCount(), 0);
    EXPECT_EQ(form->spPanel[3]->UserChoice(), sp_Discrete);
    form->SetRequiredFields("spPanel1;0");
    BoxAnswerer boxes;
    EXPECT_FALSE(form->CheckRequiredFields());
    // Lists with values keep every one of them.
    ASSERT_TRUE(form->ApplyScheme(list, "sp_Discrete" + QString(s3) + "A" + s3 + "\r\n"));
    EXPECT_EQ(form->spPanel[1]->ListView()->topLevelItemCount(), 2);
}

// The server's reason is one argument of the failure message, whatever it holds: a ";" in it would
// otherwise start the next argument and cut the reason short.
TEST_F(SchemesTest, ServerFailuresShowTheirWholeReason) {
    tarnix::THostSettings settings;
    settings.UICodePage = 437;
    form->setHostApp(kv::Variant(std::static_pointer_cast<kv::Dispatch>(
        std::make_shared<tarnix::THostAutomation>(tarnix::TMessageTable::shipped(), settings))));
    auto standIn = std::make_shared<optiontest::ServerStandIn>(server);
    form->SetAppServer(standIn);
    auto& f = *form;
    ASSERT_TRUE(f.SaveScheme(f.BuildOptionList(), "kept", false));
    f.show();
    QApplication::setActiveWindow(&f);
    ASSERT_NE(item("kept"), nullptr);
    const QString failed = QStringLiteral("The server could not process the request:\r");

    standIn->answer("InsertConTable", [](kv::VariantArgs&) { return kv::Variant("disk full; try later"); });
    standIn->answer("DeleteConTable", [](kv::VariantArgs&) { return kv::Variant("in use; by DS"); });
    BoxAnswerer boxes;
    saveThroughPanel([](TfrmGeneCondition* d) {
        QTest::keyClicks(d->edConName, "new");
        QTest::mouseClick(d->btnOK, Qt::LeftButton);
    });
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_EQ(boxes.texts()[0].trimmed(), failed + "disk full, try later");
    select(item("kept"));
    QTest::mouseClick(f.btnDelete, Qt::LeftButton);
    ASSERT_EQ(boxes.texts().size(), 3); // the question, then the failure
    EXPECT_EQ(boxes.texts()[2].trimmed(), failed + "in use, by DS");
    EXPECT_EQ(stored().size(), 1);

    // A refused rename says so, then why; the item keeps its caption.
    standIn->answer("ChangeConName", [](kv::VariantArgs&) { return kv::Variant("name; locked"); });
    renameInPlace(item("kept"), "other");
    ASSERT_EQ(boxes.texts().size(), 5);
    EXPECT_EQ(boxes.texts()[3].trimmed(), QStringLiteral("更改方案名失败!"));
    EXPECT_EQ(boxes.texts()[4].trimmed(), failed + "name, locked");
    EXPECT_NE(item("kept"), nullptr);
    EXPECT_EQ(stored()[0][0], "kept");
}

// A scheme list that cannot be read is said once the form is up; the form opens all the same.
TEST_F(SchemesTest, AListThatFailsToLoadIsShownAndTheFormOpens) {
    tarnix::THostSettings settings;
    settings.UICodePage = 437;
    form->setHostApp(kv::Variant(std::static_pointer_cast<kv::Dispatch>(
        std::make_shared<tarnix::THostAutomation>(tarnix::TMessageTable::shipped(), settings))));
    auto standIn = std::make_shared<optiontest::ServerStandIn>(server);
    standIn->answer("LoadTable", [](kv::VariantArgs&) -> kv::Variant { throw EKvError("table; locked"); });
    form->SetAppServer(standIn);
    BoxAnswerer boxes;
    form->show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !boxes.texts().isEmpty(); }, 5000));
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_EQ(boxes.texts()[0].trimmed(), "The server could not process the request:\rtable, locked");
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->pnlCondition->isVisible());
    EXPECT_EQ(form->lstCondition->topLevelItemCount(), 0);
}

TEST_F(SchemesTest, AFormKindSavesItsWayAndHearsOfASchemeThatFailedToApply) {
    auto& f = *form;
    f.show();
    QApplication::setActiveWindow(&f);
    f.edNote->setText("refused");
    saveThroughPanel([](TfrmGeneCondition* d) {
        d->edConName->insert("BAD");
        QTest::mouseClick(d->btnOK, Qt::LeftButton);
    });
    EXPECT_EQ(f.saves, QStringList{"BAD"});
    ASSERT_EQ(stored().size(), 1);
    f.edNote->clear();
    BoxAnswerer boxes;
    select(item("BAD"));
    QTest::mouseClick(f.btnOpen, Qt::LeftButton);
    ASSERT_EQ(boxes.texts().size(), 1); // the scheme could not be applied whole
    EXPECT_TRUE(boxes.texts().first().contains("200235")) << boxes.texts().first().toStdString();
    EXPECT_EQ(f.opened, 1);
}

TEST(SchemesNoServer, ListStaysEmptyAndPanelHidesWithoutOptions) {
    TfrmBaseGene form;
    form.AfterConstruction();
    form.LoadSchemes();
    EXPECT_EQ(form.lstCondition->topLevelItemCount(), 0);
    EXPECT_FALSE(form.SaveScheme("x.text;", "n", false));
    form.show();
    EXPECT_FALSE(form.pnlCondition->isVisible()); // no options of its own
}

// On a traditional-Chinese workstation the save dialog speaks traditional Chinese, as the form does.
TEST_F(SchemesTest, TheSaveDialogIsConvertedOnATraditionalWorkstation) {
    testsupport::ScopedEnv acp("TARNIX_ACP", "950");
    const QString client = install.path() + "/StewardC.ini";
    const QByteArray saved = testsupport::readFile(client);
    testsupport::writeFile(client, QByteArray(saved).replace("UICodePage=936", "UICodePage=950"));
    auto& f = *form;
    f.show();
    QApplication::setActiveWindow(&f);
    f.edNote->setText("n");
    QString title, label;
    saveThroughPanel([&](TfrmGeneCondition* d) {
        title = d->windowTitle();
        label = d->lblConName->text();
        QTest::mouseClick(d->btnCancel, Qt::LeftButton);
    });
    testsupport::writeFile(client, saved);
    EXPECT_EQ(title, QStringLiteral("保存條件方案"));
    EXPECT_EQ(label, QStringLiteral("方案名稱"));
}

// On a Chinese system a scheme name is held to 20 bytes of the system code page, as the list keeps
// it: ten Chinese characters fit whole, an eleventh is refused where the name is typed or renamed.
TEST_F(SchemesTest, NamesAreCountedInBytesOfTheSystemCodePage) {
    testsupport::ScopedEnv acp("TARNIX_ACP", "936");
    auto& f = *form;
    f.show();
    QApplication::setActiveWindow(&f);
    const QString ten = QStringLiteral("月末方案甲乙丙丁戊己");
    ASSERT_EQ(ten.size(), 10);
    f.edNote->setText("n");
    saveThroughPanel([&ten](TfrmGeneCondition* d) {
        d->edConName->insert(ten);
        d->edConName->insert(QStringLiteral("庚"));
        d->edConName->insert("x");
        EXPECT_EQ(d->edConName->text(), ten);
        QTest::mouseClick(d->btnOK, Qt::LeftButton);
    });
    ASSERT_EQ(stored().size(), 1);
    EXPECT_EQ(stored()[0][0], ten);
    QTreeWidgetItem* it = item(ten);
    ASSERT_NE(it, nullptr); // listed whole, so that the server finds it again

    {
        BoxAnswerer boxes;
        renameInPlace(it, "abc");
        ASSERT_EQ(stored().size(), 1);
        EXPECT_EQ(stored()[0][0], "abc");
        it = item("abc");
        ASSERT_NE(it, nullptr);
        renameInPlace(it, ten + QStringLiteral("庚"));
        ASSERT_EQ(boxes.texts().size(), 1);
        EXPECT_EQ(boxes.texts()[0].trimmed(), QStringLiteral("方案名长度不可大于20!"));
        EXPECT_EQ(it->text(0), "abc");
        EXPECT_EQ(stored()[0][0], "abc");
        renameInPlace(it, ten);
        EXPECT_EQ(boxes.texts().size(), 1);
    }
    EXPECT_EQ(stored()[0][0], ten);
    {
        BoxAnswerer boxes;
        select(item(ten));
        QTest::mouseClick(f.btnDelete, Qt::LeftButton);
        EXPECT_EQ(boxes.texts().size(), 1); // the question only
    }
    EXPECT_TRUE(stored().isEmpty());
}

// Enter in the save dialog's name confirms it, as OK does.
TEST_F(SchemesTest, EnterInTheNameConfirmsTheSaveDialog) {
    optiontest::BoxAnswerer boxes;
    form->show();
    QApplication::setActiveWindow(form.get());
    form->edNote->setText("note");
    saveThroughPanel([](TfrmGeneCondition* d) {
        d->edConName->setFocus();
        QTest::keyClicks(d->edConName, "viaenter");
        QTest::keyClick(d->edConName, Qt::Key_Return);
    });
    EXPECT_NE(item("viaenter"), nullptr);
    EXPECT_EQ(stored().value(0).value(0), "viaenter");
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
}

// Esc while a scheme is renamed in place ends only the rename; the form stays.
TEST_F(SchemesTest, EscEndsOnlyARenameInPlace) {
    optiontest::BoxAnswerer boxes;
    form->show();
    QApplication::setActiveWindow(form.get());
    form->edNote->setText("note");
    saveThroughPanel([](TfrmGeneCondition* d) {
        d->edConName->insert("kept");
        QTest::mouseClick(d->btnOK, Qt::LeftButton);
    });
    QTreeWidgetItem* it = item("kept");
    ASSERT_NE(it, nullptr);

    // A click on the selected item starts the rename.
    QApplication::setActiveWindow(form.get());
    select(it);
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QTest::mouseClick(form->lstCondition->viewport(), Qt::LeftButton, {},
                      form->lstCondition->visualItemRect(it).center());
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    auto* editor = form->lstCondition->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(editor->isVisible());
    QTest::keyClicks(editor, "xx");
    QPointer<TfrmSchemes> alive(form.get());
    QTest::keyClick(editor, Qt::Key_Escape);
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (!alive) {
        (void)form.release(); // gone already
        FAIL() << "Esc in the rename closed the form";
    }
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(it->text(0), "kept");
    EXPECT_EQ(stored().value(0).value(0), "kept");
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
    // Esc outside an editor still closes the form.
    form->lstCondition->setFocus();
    QTest::keyClick(form->lstCondition, Qt::Key_Escape);
    EXPECT_FALSE(form->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (!alive) (void)form.release();
}
