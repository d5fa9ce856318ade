// The line grid's fields: company date formats and bad dates, the checks of work order type, work
// centre and supplier typed into the grid's cells, the column the order type makes editable, the
// supplier entry modes, cell lookups, refused new lines, and the checks when leaving a line.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "controls/FDBGrid.h"
#include "frame/KvADO.h"
#include "gantt/MyGant.h"
#include "host/services/CompanyData.h"
#include "platform/data/ClientDataSet.h"
#include "support/LibStrs.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"
#include "workbench/common/WorkbenchTestSupport.h"

namespace {

// The host's validator and lookup catalogues on the test company; the "window" takes the first row
// whose code starts with Choose (or the first row), as a planner picking it would.
class CompanyCalls : public TKrta07DataCalls {
public:
    explicit CompanyCalls(const QString& cs) : FData(cs) {}
    bool CheckCode(const QString& t, const QString& n, const QString& key, QStringList& row) override {
        return CheckCodeKeys(t, n, {key}, row);
    }
    bool CheckCodeKeys(const QString& t, const QString& n, const QStringList& keys,
                       QStringList& row) override {
        checks << t + ";" + n + ";" + keys.join(",");
        const tarnix::TCatalogueQuery* q = tarnix::validatorQuery(t, n);
        if (!q) return false;
        const QList<QStringList> rows = FData.select(q->Sql, tarnix::bindKeys(*q, keys));
        if (rows.isEmpty()) return false;
        row = rows.first();
        return true;
    }
    QStringList OpenLookup(const QString& t, const QString& w, const QStringList& params) override {
        lookups << t + ";" + w + ";" + params.join(",");
        if (ShowWindow) { // the host's lookup window takes the focus
            QDialog window;
            QTimer::singleShot(30, &window, &QDialog::accept);
            window.exec();
        }
        const tarnix::TCatalogueQuery* q = tarnix::lookupWindow(t, w);
        if (!q) return {};
        for (const QStringList& r : FData.select(q->Sql, tarnix::bindKeys(*q, params)))
            if (r.value(0).startsWith(Choose)) return r;
        return {};
    }
    QString Choose;
    bool ShowWindow = false;
    QStringList checks, lookups;

private:
    tarnix::TCompanyData FData;
};

class Fields : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FDir.isValid());
        cs = wbtest::sqliteCompany(FDir.path());
        calls = std::make_unique<CompanyCalls>(cs);
        wb = wbtest::createWorkbench(cs);
        wb->SetDataCalls(calls.get());
        wbtest::query(wb, "F1");
        wb->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(wb));
    }
    void TearDown() override { delete wb; }

    void setCompany(const QString& assignments) {
        TKvADOConnection c;
        c.SetConnectionString(cs);
        c.Open();
        wbtest::exec(c, "UPDATE DEMO..CMSMA SET " + assignments);
        TdmKrta07S& dm = *wb->dmKrta07S;
        dm.qryCMSMA->Close();
        dm.qryCMSMA->Open();
        dm.ReadCompanyParameters();
    }
    kv::TClientDataSet& pre() const { return *wb->dmKrta07S->qryMPSTBPre; }
    QString value(const char* field) const { return pre().FieldByName(field).AsString().trimmed(); }
    int column(const char* field) const {
        for (int i = 0; i < wb->dgMPSTB->Columns().size(); ++i)
            if (wb->dgMPSTB->Column(i)->FieldName() == field) return i;
        return -1;
    }
    // Types into a cell of the current line and leaves it with Enter, as a planner does; without
    // leave the editor stays open, the focus in it.
    void type(const char* field, const QString& text, bool leave = true) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QTest::mouseClick(wb->btnEdit, Qt::LeftButton);
        const int c = column(field);
        ASSERT_GE(c, 0) << field;
        const QModelIndex index = wb->dgMPSTB->model()->index(pre().RecNo() - 1, c);
        wb->dgMPSTB->setCurrentIndex(index);
        wb->dgMPSTB->edit(index);
        QLineEdit* editor = nullptr;
        for (QLineEdit* e : wb->dgMPSTB->viewport()->findChildren<QLineEdit*>())
            if (e->isVisible()) editor = e;
        ASSERT_NE(editor, nullptr) << field;
        editor->selectAll();
        QTest::keyClicks(editor, text);
        if (!leave) {
            wb->activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(wb));
            editor->setFocus();
            ASSERT_TRUE(editor->hasFocus());
            return;
        }
        QTest::keyClick(editor, Qt::Key_Return);
        // The grid commits a cell after the key, from the event loop.
        QTest::qWait(20);
    }

    QTemporaryDir FDir;
    QString cs;
    std::unique_ptr<CompanyCalls> calls;
    TfrmKrta07SM* wb = nullptr;
};

TEST_F(Fields, DatesShowAndReadInEveryCompanyFormat) {
    TdmKrta07S& dm = *wb->dmKrta07S;
    struct Case {
        const char *code, *sep, *shown, *mask;
    } cases[] = {
        {"1", "/", "2026/01/10", "9999/99/99;1; "}, {"2", "/", "01/10/2026", "99/99/9999;1; "},
        {"3", "-", "10-01-2026", "99-99-9999;1; "}, {"4", "/", "115/01/10", "999/99/99;1; "},
        {"5", ".", "115.01.10", "999.99.99;1; "},
    };
    QTest::mouseClick(wb->btnEdit, Qt::LeftButton);
    pre().First();
    kv::TField& tb013 = pre().FieldByName("TB013");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        setCompany(QString("MA001 = '%1', MA002 = '%2'").arg(c.code, c.sep));
        EXPECT_EQ(tb013.DisplayText(), c.shown);
        EXPECT_EQ(dm.DateEditMask(), c.mask);
        EXPECT_EQ(dm.DisplayDateToText(c.shown), "20260110");
        // Text that is no date: letters give the input back, nothing else reads as a day.
        EXPECT_EQ(dm.DisplayDateToText(QString(c.shown).replace("01", "0a")),
                  QString(c.shown).replace("01", "0a"));
        EXPECT_EQ(dm.DisplayDateToText("  "), "");

        pre().Edit();
        tb013.SetReadOnly(false);
        tb013.SetText(c.shown);
        EXPECT_EQ(tb013.AsString(), "20260110");
        // Letters, a missing part, an impossible day: the field is emptied, never a wrong date.
        for (const QString& bad :
             {QString(c.shown).replace("01", "0a"), QString(c.shown).section(c.sep, 0, 1),
              QString(c.shown).replace("01", "02").replace("10", "30")}) {
            tb013.SetText(c.shown);
            tb013.SetText(bad);
            EXPECT_EQ(tb013.AsString(), "") << bad.toStdString();
        }
        pre().Cancel();
        tb013.SetReadOnly(true);
    }
    // A stored text that is no date shows empty.
    setCompany("MA001 = '1', MA002 = '/'");
    EXPECT_EQ(dm.DateDisplayText("20260230"), "");
}

TEST_F(Fields, WorkOrderTypeIsCheckedAndDecidesTheEditableColumn) {
    pre().First();
    {
        wbtest::ModalAnswerer answers;
        type("TB042", "9999");
        QTest::qWait(50);
        EXPECT_EQ(answers.texts(), QStringList{QString::fromUtf8("此单别不存在或单据性质不存在!")});
    }
    EXPECT_EQ(value("TB042"), "5101");
    EXPECT_EQ(calls->checks.last(), "CMSMQ;54;9999,51,52,DS,1");
    // The in-house type: the work centre is editable, the supplier is not.
    EXPECT_FALSE(pre().FieldByName("TB044").ReadOnly());
    EXPECT_TRUE(pre().FieldByName("TB045").ReadOnly());

    pre().FieldByName("TB045").SetReadOnly(false);
    pre().Edit();
    pre().FieldByName("TB045").SetAsString("S1");
    pre().Post();
    type("TB042", "5102");
    EXPECT_EQ(value("TB042"), "5102");
    EXPECT_EQ(value("TB042C"), "Outsourced order");
    EXPECT_EQ(value("MQ017C"), "2");
    EXPECT_TRUE(pre().FieldByName("TB044").ReadOnly());
    EXPECT_FALSE(pre().FieldByName("TB045").ReadOnly());
    EXPECT_EQ(value("TB044"), "");

    // Back to in-house: the supplier and its name go.
    type("TB042", "5101");
    EXPECT_EQ(value("MQ017C"), "1");
    EXPECT_EQ(value("TB045"), "");
    EXPECT_EQ(value("TB045C"), "");
    EXPECT_FALSE(pre().FieldByName("TB044").ReadOnly());
}

TEST_F(Fields, WorkCentreAndSupplierChecksKeepTheOldValue) {
    pre().First();
    {
        wbtest::ModalAnswerer answers;
        type("TB044", "WC9");
        QTest::qWait(50);
        EXPECT_EQ(answers.texts(), QStringList{QString::fromUtf8("此工作中心不存在!")});
    }
    EXPECT_EQ(calls->checks.last(), "CMSMD;02;F1,WC9");
    type("TB044", "WC2");
    EXPECT_EQ(value("TB044"), "WC2");
    EXPECT_EQ(value("TB044C"), "Line two");

    type("TB042", "5102");
    ASSERT_FALSE(pre().FieldByName("TB045").ReadOnly());
    const struct {
        const char* code;
        const char* message;
    } refused[] = {{"S9", "此供应商不存在!"},
                   {"S2", "此供应商的核准状况为尚待核准!"},
                   {"S3", "此供应商的核准状况为不准交易!"}};
    for (const auto& r : refused) {
        wbtest::ModalAnswerer answers;
        type("TB045", r.code);
        QTest::qWait(50);
        EXPECT_EQ(answers.texts(), QStringList{QString::fromUtf8(r.message)});
        EXPECT_EQ(value("TB045"), "");
    }
    type("TB045", "S1");
    EXPECT_EQ(value("TB045"), "S1");
    EXPECT_EQ(value("TB045C"), "Supplier one");
}

TEST_F(Fields, SupplierEntryFollowsTheCompanysMode) {
    pre().First();
    type("TB042", "5102");
    // Mode 1: the typed code as it is.
    type("TB045", "S1");
    EXPECT_TRUE(calls->lookups.isEmpty());
    // Mode 2: codes starting with the text, in window 62.
    setCompany("MA055 = '2'");
    calls->Choose = "S1";
    type("TB045", "s");
    EXPECT_EQ(calls->lookups.value(0), "PURMA;62;s");
    EXPECT_EQ(value("TB045"), "S1");
    // Other modes: code or name holding the text, in window 61; nothing chosen keeps the text,
    // which the check then refuses.
    setCompany("MA055 = '3'");
    calls->Choose = "none";
    {
        wbtest::ModalAnswerer answers;
        type("TB045", "Supplier");
        QTest::qWait(50);
        EXPECT_EQ(answers.texts(), QStringList{QString::fromUtf8("此供应商不存在!")});
    }
    EXPECT_EQ(calls->lookups.value(1), "PURMA;61;Supplier");
    EXPECT_EQ(value("TB045"), "S1");

    // After the lookup window the supplier's cell has the focus.
    calls->ShowWindow = true;
    calls->Choose = "S1";
    type("TB045", "Supplier");
    QTest::qWait(50);
    EXPECT_EQ(wb->focusWidget(), wb->dgMPSTB);
    EXPECT_EQ(wb->dgMPSTB->currentIndex().column(), column("TB045"));
}

// F2 in the open cell editor of the supplier: the chosen code is checked as the lookup's choice, not
// taken as typed, so no second lookup opens whatever the company's entry mode.
TEST_F(Fields, F2InTheOpenSupplierCellTakesTheChosenCodeWithoutASecondLookup) {
    pre().First();
    type("TB042", "5102");
    setCompany("MA055 = '3'");
    calls->lookups.clear();
    calls->Choose = "S1";
    const QModelIndex index = wb->dgMPSTB->model()->index(pre().RecNo() - 1, column("TB045"));
    wb->dgMPSTB->setCurrentIndex(index);
    wb->dgMPSTB->edit(index);
    QLineEdit* editor = nullptr;
    for (QLineEdit* e : wb->dgMPSTB->viewport()->findChildren<QLineEdit*>())
        if (e->isVisible()) editor = e;
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_F2);
    QTest::qWait(50);
    EXPECT_EQ(calls->lookups, QStringList{"PURMA;02;"});
    EXPECT_EQ(value("TB045"), "S1");
    EXPECT_EQ(value("TB045C"), "Supplier one");
}

TEST_F(Fields, F2LooksUpTheCellAndNewLinesAreRefused) {
    pre().First();
    QTest::mouseClick(wb->btnEdit, Qt::LeftButton);
    wb->dgMPSTB->setCurrentIndex(wb->dgMPSTB->model()->index(0, column("TB044")));
    wb->dgMPSTB->setFocus();
    calls->Choose = "WC2";
    QTest::keyClick(wb->dgMPSTB, Qt::Key_F2);
    EXPECT_EQ(calls->lookups.value(0), "CMSMD;02;F1");
    EXPECT_EQ(value("TB044"), "WC2");
    EXPECT_EQ(value("TB044C"), "Line two");
    // Read-only columns have no lookup.
    wb->dgMPSTB->setCurrentIndex(wb->dgMPSTB->model()->index(0, column("TB045")));
    QTest::keyClick(wb->dgMPSTB, Qt::Key_F2);
    EXPECT_EQ(calls->lookups.size(), 1);

    const int n = pre().RecordCount();
    EXPECT_THROW(pre().Append(), kv::EAbort);
    EXPECT_EQ(pre().RecordCount(), n);
    EXPECT_NE(pre().State(), kv::TDataSetState::dsInsert);
}

TEST_F(Fields, LeavingALineChecksTypeAndDaySum) {
    QTest::mouseClick(wb->btnEdit, Qt::LeftButton);
    pre().First();
    // An empty work order type keeps the planner on the line.
    pre().Edit();
    pre().FieldByName("TB042").SetAsString("");
    pre().Post();
    {
        wbtest::ModalAnswerer answers;
        EXPECT_THROW(pre().Next(), kv::EAbort);
        EXPECT_EQ(answers.texts(), QStringList{QString::fromUtf8("字段[工单单别]不可空白!")});
    }
    EXPECT_EQ(pre().RecNo(), 1);
    // A click on another line of the grid is refused the same way, and the grid stays on the line.
    {
        wbtest::ModalAnswerer answers;
        const QModelIndex other = wb->dgMPSTB->model()->index(2, column("TB042"));
        QTest::mouseClick(wb->dgMPSTB->viewport(), Qt::LeftButton, {},
                          wb->dgMPSTB->visualRect(other).center());
        QTest::qWait(50);
        EXPECT_EQ(answers.texts(), QStringList{QString::fromUtf8("字段[工单单别]不可空白!")});
    }
    EXPECT_EQ(pre().RecNo(), 1);
    EXPECT_EQ(wb->dgMPSTB->currentIndex().row(), 0);
    pre().Edit();
    pre().FieldByName("TB042").SetAsString("5101");
    pre().Post();

    // Days that add up to 50 of 60: the sum message, then the daily editor; cancelling it keeps
    // the planner on the line.
    TMyGantItem* item = wb->mgMPSTC->MyGantList()->Items(0);
    item->SetDayTexts("10", "", TransDateIn("20260110"));
    int editors = 0;
    {
        wbtest::ModalAnswerer answers;
        answers.onDialog([&editors](QWidget* dialog) {
            ++editors;
            if (auto* cancel = dialog->findChild<QPushButton*>("btnCancel")) cancel->click();
        });
        EXPECT_THROW(pre().Next(), kv::EAbort);
        EXPECT_EQ(answers.texts(), QStringList{QString::fromUtf8("数量总和必须等于60")});
    }
    EXPECT_EQ(editors, 1);
    EXPECT_EQ(pre().RecNo(), 1);
    // Once the days add up the line can be left, without a word.
    item->SetDayTexts("20", "", TransDateIn("20260110"));
    {
        wbtest::ModalAnswerer answers;
        pre().Next();
        EXPECT_TRUE(answers.texts().isEmpty());
    }
    EXPECT_EQ(pre().RecNo(), 2);
}

// A code the checks refuse, still in the open cell when the planner clicks Save: the message shows,
// the save stops with nothing written and the workbench still editing; once corrected, the cell saves.
TEST_F(Fields, ARefusedCodeInTheOpenCellStopsTheSave) {
    TKvADOConnection c;
    c.SetConnectionString(cs);
    c.Open();
    const QString firstLine = "SELECT TB042, TB044, FLAG FROM DEMO..MPSTB WHERE TB001 = 'F1' AND TB004 = "
                              "'20260100001' AND TB005 = '0001' AND TB037 = '01'";
    const QStringList stored = wbtest::rows(c, firstLine);
    ASSERT_EQ(stored, QStringList{"5101||3"});
    const struct {
        const char* field;
        const char* code;
        const char* message;
    } refused[] = {{"TB042", "9999", "此单别不存在或单据性质不存在!"}, {"TB044", "WC9", "此工作中心不存在!"}};
    for (const auto& r : refused) {
        SCOPED_TRACE(r.field);
        pre().First();
        type(r.field, r.code, false);
        {
            wbtest::ModalAnswerer answers;
            QTest::mouseClick(wb->btnOK, Qt::LeftButton);
            QTest::qWait(50);
            EXPECT_EQ(answers.texts(), QStringList{QString::fromUtf8(r.message)});
        }
        EXPECT_EQ(wb->EditState(), 1);
        EXPECT_TRUE(wb->btnOK->isEnabled());
        EXPECT_EQ(wbtest::rows(c, firstLine), stored);
        EXPECT_EQ(value("TB042"), "5101");
        EXPECT_EQ(value("TB044"), "");
    }
    type("TB044", "WC2", false);
    {
        wbtest::ModalAnswerer answers;
        QTest::mouseClick(wb->btnOK, Qt::LeftButton);
        EXPECT_TRUE(answers.texts().isEmpty()) << answers.texts().join('\n').toStdString();
    }
    EXPECT_EQ(wb->EditState(), 0);
    EXPECT_EQ(wbtest::rows(c, firstLine), QStringList{"5101|WC2|4"});
}

// Closing the workbench while a code is still in the open cell: a refused one keeps the workbench open
// without asking; a sound one is among the changes that "Yes" saves.
TEST_F(Fields, ClosingWithACodeInTheOpenCellSavesItOrStays) {
    TKvADOConnection c;
    c.SetConnectionString(cs);
    c.Open();
    const QString firstLine = "SELECT TB044, FLAG FROM DEMO..MPSTB WHERE TB001 = 'F1' AND TB004 = "
                              "'20260100001' AND TB005 = '0001' AND TB037 = '01'";
    pre().First();
    type("TB044", "WC9", false);
    {
        wbtest::ModalAnswerer answers({QMessageBox::Yes});
        EXPECT_FALSE(wb->close());
        EXPECT_EQ(answers.texts(), QStringList{QString::fromUtf8("此工作中心不存在!")});
    }
    EXPECT_EQ(wb->EditState(), 1);
    EXPECT_EQ(wbtest::rows(c, firstLine), QStringList{"|3"});
    type("TB044", "WC2", false);
    {
        wbtest::ModalAnswerer answers({QMessageBox::Yes});
        EXPECT_TRUE(wb->close());
        EXPECT_EQ(answers.texts(), QStringList{QString::fromUtf8("保存当前修改?")});
    }
    EXPECT_EQ(wbtest::rows(c, firstLine), QStringList{"WC2|4"});
}

// Line 0003 of D'2 is there twice, of types 5101 and 5102: a code typed into one of them is saved
// into that line, and the other keeps its own.
TEST_F(Fields, CodesTypedIntoALineAreSavedIntoThatLine) {
    const struct {
        const char* type;
        QStringList saved;
    } steps[] = {{"5102", {"5101|", "5102|WC2"}}, {"5101", {"5101|WC1", "5102|WC2"}}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.type);
        const int row =
            wb->RowKeys().indexOf(TfrmKrta07SM::LineKeyOf({"F1", "1", step.type, "D'2", "0003", "01"}));
        ASSERT_GE(row, 0);
        QTest::mouseClick(wb->btnEdit, Qt::LeftButton);
        const QModelIndex cell = wb->dgMPSTB->model()->index(row, column("TB044"));
        wb->dgMPSTB->scrollTo(cell);
        QTest::mouseClick(wb->dgMPSTB->viewport(), Qt::LeftButton, {},
                          wb->dgMPSTB->visualRect(cell).center());
        ASSERT_EQ(value("TB051"), step.type);
        type("TB044", step.type == QLatin1String("5101") ? "WC1" : "WC2");
        {
            wbtest::ModalAnswerer answers;
            QTest::mouseClick(wb->btnOK, Qt::LeftButton);
        }
        ASSERT_EQ(wb->EditState(), 0);
        TKvADOConnection c;
        c.SetConnectionString(cs);
        c.Open();
        EXPECT_EQ(wbtest::rows(c, "SELECT TB051, TB044 FROM DEMO..MPSTB WHERE TB004 = 'D''2' AND TB005 = "
                                  "'0003' ORDER BY TB051"),
                  step.saved);
    }
}

} // namespace
