// The daily quantity editor driven through its grid: cell clean-up, keys, inserted and deleted days,
// duplicate days, the sum rule, both modes and the write-back into the line's bar.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "controls/KvEdit.h"
#include "gantt/MyGant.h"
#include "support/LibStrs.h"
#include "workbench/Krta07SCF.h"
#include "workbench/Krta07SMF.h"
#include "workbench/Krta07SMFPlan.h"
#include "workbench/common/WorkbenchTestSupport.h"

namespace {

kv::TDateTime day(const char* d) {
    return TransDateIn(d);
}

TEST(DailyEditorDates, TypedDatesInEveryCompanyFormat) {
    EXPECT_EQ(Krta07DisplayDateToText("2005/03/10", 1, "/"), "20050310");
    EXPECT_EQ(Krta07DisplayDateToText("03/10/2005", 2, "/"), "20050310");
    EXPECT_EQ(Krta07DisplayDateToText("10.03.2005", 3, "."), "20050310");
    EXPECT_EQ(Krta07DisplayDateToText("94/03/10", 4, "/"), "20050310");
    EXPECT_EQ(Krta07DisplayDateToText(" 094-03-10 ", 5, "-"), "20050310");
    EXPECT_EQ(Krta07DisplayDateToText("", 1, "/"), "");
    // A part that is no number gives the text back, which no date reads.
    EXPECT_EQ(Krta07DisplayDateToText("2005/0x/10", 1, "/"), "2005/0x/10");
    EXPECT_EQ(Krta07DisplayDateToText("2005/03", 1, "/"), "2005/03");
    EXPECT_EQ(TransDateIn(Krta07DisplayDateToText("2005/02/30", 1, "/")), 0);
    EXPECT_EQ(Krta07DisplayDateToText("2005/03/10", 9, "/"), "");
    EXPECT_EQ(Krta07DateEditMask(1, "/"), "9999/99/99;1; ");
    EXPECT_EQ(Krta07DateEditMask(2, "-"), "99-99-9999;1; ");
    EXPECT_EQ(Krta07DateEditMask(4, "/"), "999/99/99;1; ");
    EXPECT_EQ(Krta07DateEditMask(5, "."), "999.99.99;1; ");
    const auto same = [](std::initializer_list<double> days, double quantity) {
        TKrta07QuantitySum sum;
        for (double d : days)
            sum.Add(d);
        return sum.Equals(quantity);
    };
    EXPECT_TRUE(same({33.3, 33.3, 33.4}, 100));
    EXPECT_FALSE(same({99.5}, 100));
    // A thousand days of 0.1; a cent short of a large quantity.
    TKrta07QuantitySum tenths;
    for (int i = 0; i < 1000; ++i)
        tenths.Add(0.1);
    EXPECT_TRUE(tenths.Equals(100));
    EXPECT_FALSE(same({19999999.99}, 20000000));
    // A typed shortfall stays short on any quantity: half a thousandth of a billion, a trillionth of ten.
    EXPECT_FALSE(same({500000000, 499999999.9995}, 1e9));
    EXPECT_FALSE(same({80, 9.999999999999}, 90));
    EXPECT_TRUE(same({1e15 / 3, 1e15 / 3, 1e15 / 3}, 1e15));
}

// A filled day shows as the company writes dates, and the day the editor takes for the row is the one
// its text reads as, in every format; some formats cannot write early years readably.
TEST(DailyEditorDates, FilledDaysShowAsCompanyDatesAndReadAsTheirTexts) {
    const std::pair<int, QString> formats[] = {{1, "/"}, {2, "-"}, {3, "."}, {4, "/"}, {5, "-"}, {4, "-"},
                                               {1, ""},  {2, ""},  {3, ""},  {4, ""},  {5, ""},  {2, "0"}};
    const kv::TDateTime days[] = {day("17530101"), day("18991231"), day("19110101"), day("20260110"),
                                  day("99991231")};
    for (const auto& [code, sep] : formats) {
        TfrmKrta07SC d(nullptr, code, sep, 0, true);
        d.SetRowCount(int(std::size(days)) + 1);
        for (int i = 0; i < int(std::size(days)); ++i)
            d.SetDay(i + 1, days[i], "1", QString());
        for (int i = 0; i < int(std::size(days)); ++i) {
            const QString shown = d.Cells(0, i + 1);
            EXPECT_EQ(shown, DateToString(days[i], code, sep)) << code << sep.toStdString();
            EXPECT_EQ(d.DateOfRow(i + 1), TransDateIn(Krta07DisplayDateToText(shown, code, sep)))
                << code << sep.toStdString() << " " << shown.toStdString();
        }
        // A day of these years is typed into its cell's edit in the company's format, mask and all (a
        // digit for a separator leaves no way to type a date).
        if (!(sep.size() == 1 && sep[0].isDigit())) {
            d.show();
            const QModelIndex cell = d.sgTime->model()->index(3, 0);
            d.sgTime->setCurrentIndex(cell);
            d.sgTime->edit(cell);
            QLineEdit* editor = nullptr;
            for (QLineEdit* e : d.sgTime->viewport()->findChildren<QLineEdit*>())
                if (e->isVisible()) editor = e;
            ASSERT_TRUE(editor) << code;
            editor->selectAll();
            QTest::keyClick(editor, Qt::Key_Delete);
            QTest::keyClicks(editor, DateToString(day("20261231"), code, sep));
            QTest::keyClick(editor, Qt::Key_Down);
            EXPECT_EQ(d.DateOfRow(4), day("20261231"))
                << code << sep.toStdString() << " " << d.Cells(0, 4).toStdString();
        }
        // Inserted and deleted days keep the same agreement.
        d.sgTime->setCurrentIndex(d.sgTime->model()->index(1, 0));
        d.InsertDay();
        d.DeleteDay();
        d.DeleteDay();
        for (int r = 1; r < d.RowCount(); ++r)
            EXPECT_EQ(d.DateOfRow(r), TransDateIn(Krta07DisplayDateToText(d.Cells(0, r), code, sep)))
                << code << sep.toStdString() << " " << d.Cells(0, r).toStdString();
    }
}

class DailyEditor : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        wb = wbtest::createWorkbench(wbtest::sqliteCompany(dir.path()));
        wbtest::query(wb, "F1");
        wb->btnEditClick();
        // Records the reported bar changes instead of moving linked lines.
        wb->mgMPSTC->OnGantItemChangePos = [this](TMyGantItem* item) { changed << item->Index(); };
    }
    void TearDown() override { delete wb; }

    TMyGantItem* item(int row) const { return wb->mgMPSTC->MyGantList()->Items(row); }
    static void setCurrentCell(TfrmKrta07SC* d, int row, int col) {
        d->sgTime->setCurrentIndex(d->sgTime->model()->index(row, col));
    }
    // Opens the editor of the cell and returns it.
    static QLineEdit* editCell(TfrmKrta07SC* d, int row, int col) {
        setCurrentCell(d, row - 1, col);
        d->sgTime->edit(d->sgTime->model()->index(row - 1, col));
        // Closed editors linger until deleted later: the open one is the visible one.
        for (QLineEdit* e : d->sgTime->viewport()->findChildren<QLineEdit*>())
            if (e->isVisible()) return e;
        return nullptr;
    }
    // Types into a cell and leaves it with a key.
    static void type(TfrmKrta07SC* d, int row, int col, const QString& text, Qt::Key leave = Qt::Key_Down) {
        QLineEdit* e = editCell(d, row, col);
        ASSERT_NE(e, nullptr);
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        QTest::keyClicks(e, text);
        QTest::keyClick(e, leave);
    }
    static QStringList column(TfrmKrta07SC* d, int col) {
        QStringList l;
        for (int r = 1; r < d->RowCount(); ++r)
            l << d->Cells(col, r);
        return l;
    }
    // Opens the editor on a time item; the handler gets the dialog while it is shown.
    bool edit(TphDataEntity_GantTime* t, std::function<void(TfrmKrta07SC*)> handler) {
        answers.onDialog([handler](QWidget* w) {
            auto* d = qobject_cast<TfrmKrta07SC*>(w);
            ASSERT_NE(d, nullptr);
            handler(d);
        });
        return wb->EditDailyQuantities(t);
    }

    QTemporaryDir dir;
    TfrmKrta07SM* wb = nullptr;
    QList<int> changed;
    wbtest::ModalAnswerer answers;
};

TEST_F(DailyEditor, OpensWithEveryDayOfTheBarAndClosesAtOnceWhenTheSumHolds) {
    bool shown = false;
    EXPECT_TRUE(edit(item(0)->Bar, [&](TfrmKrta07SC* d) {
        shown = true;
        EXPECT_EQ(d->windowTitle(), QString::fromUtf8("编辑每日产能"));
        EXPECT_EQ(d->RowCount(), 4);
        EXPECT_EQ(column(d, 0), QStringList({"2026/01/10", "2026/01/11", "2026/01/12"}));
        EXPECT_EQ(column(d, 1), QStringList({"20", "20", "20"}));
        EXPECT_EQ(d->Cells(1, 0), QString::fromUtf8("数量"));
        EXPECT_EQ(d->edSum->text(), "60");
        EXPECT_EQ(d->sgTime->contextMenuPolicy(), Qt::CustomContextMenu);
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
    }));
    EXPECT_TRUE(shown);
    EXPECT_TRUE(answers.texts().isEmpty());
    EXPECT_EQ(changed, QList<int>({0}));
    EXPECT_EQ(item(0)->GetDayValue(day("20260111")), 20);
}

TEST_F(DailyEditor, UnreadableQuantitiesAreRefusedWithAMessageAndCancelKeepsTheBar) {
    const QString digits(400, QLatin1Char('9'));
    EXPECT_FALSE(edit(item(0)->Bar, [&](TfrmKrta07SC* d) {
        // Refused when the cell is left, which holds its quantity again.
        type(d, 1, 1, "1.2.3");
        EXPECT_EQ(d->Cells(1, 1), "20");
        EXPECT_EQ(d->edSum->text(), "60");
        type(d, 3, 1, digits, Qt::Key_Up);
        EXPECT_EQ(d->Cells(1, 3), "20");
        type(d, 2, 1, "25.5");
        EXPECT_EQ(d->Cells(1, 2), "25.5");
        // Still in its cell when OK is pressed: refused as well, and the dialog stays open.
        d->sgTime->model()->setData(d->sgTime->model()->index(2, 1), "1..2");
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(d->Cells(1, 3), "20");
        QTest::mouseClick(d->btnCancel, Qt::LeftButton);
    }));
    const QString refused = QString::fromUtf8("数量不是有效的数字: ");
    EXPECT_EQ(answers.texts(),
              QStringList({refused + "1.2.3", refused + digits.left(40) + "...", refused + "1..2"}));
    EXPECT_TRUE(changed.isEmpty());
    EXPECT_EQ(item(0)->GetDayValue(day("20260110")), 20);
}

TEST_F(DailyEditor, InsertedDayMovesLaterQuantitiesAndLengthensTheBar) {
    EXPECT_TRUE(edit(item(0)->Bar, [&](TfrmKrta07SC* d) {
        setCurrentCell(d, 1, 1);
        d->N2->trigger();
        EXPECT_EQ(column(d, 0), QStringList({"2026/01/10", "2026/01/11"}));
        EXPECT_EQ(column(d, 1), QStringList({"20", "20"}));
        setCurrentCell(d, 1, 1);
        d->N1->trigger();
        EXPECT_EQ(column(d, 0), QStringList({"2026/01/10", "2026/01/11", "2026/01/12"}));
        EXPECT_EQ(column(d, 1), QStringList({"20", "", "20"}));
        d->N1->trigger();
        EXPECT_EQ(column(d, 0), QStringList({"2026/01/10", "2026/01/11", "2026/01/12", "2026/01/13"}));
        EXPECT_EQ(column(d, 1), QStringList({"20", "", "", "20"}));
        type(d, 2, 1, "20", Qt::Key_Up);
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
    }));
    EXPECT_EQ(item(0)->Bar->StartTime, day("20260110"));
    EXPECT_EQ(item(0)->Bar->StopTime, day("20260114"));
    EXPECT_EQ(item(0)->GetDayValue(day("20260111")), 20);
    EXPECT_EQ(item(0)->GetDayValue(day("20260112")), 0);
    EXPECT_EQ(item(0)->GetDayValue(day("20260113")), 20);
    EXPECT_EQ(changed, QList<int>({0}));
}

TEST_F(DailyEditor, DuplicateDayIsEmptiedAndTheSumMustHold) {
    EXPECT_FALSE(edit(item(0)->Bar, [&](TfrmKrta07SC* d) {
        type(d, 2, 0, "20260110", Qt::Key_Up);
        EXPECT_EQ(d->Cells(0, 2), "");
        type(d, 1, 1, "19.5", Qt::Key_Down);
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
        // The emptied day's row is dropped by the sort, and the rest do not add up.
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(column(d, 0), QStringList({"2026/01/10", "2026/01/12"}));
        QTest::mouseClick(d->btnCancel, Qt::LeftButton);
    }));
    EXPECT_EQ(answers.texts(),
              QStringList({QString::fromUtf8("日期已存在"), QString::fromUtf8("数量总和必须等于60")}));
    EXPECT_EQ(item(0)->GetDayValue(day("20260111")), 20);
}

// A remark takes as many bytes as a day row holds, counted in the system code page.
TEST_F(DailyEditor, ARemarkTakesAsMuchAsADayRowHolds) {
    EXPECT_TRUE(edit(item(0)->Bar, [&](TfrmKrta07SC* d) {
        d->sgTime->setFocus();
        type(d, 1, 2, QString(300, QChar('x')), Qt::Key_Tab);
        QTest::qWait(20);
        EXPECT_EQ(d->Cells(2, 1).size(), 255);
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
    }));
    EXPECT_EQ(item(0)->CellRemark(0).size(), 255);
}

TEST_F(DailyEditor, DownOnTheLastRowAddsADayAndOkSortsTheDays) {
    EXPECT_TRUE(edit(item(0)->Bar, [&](TfrmKrta07SC* d) {
        d->sgTime->setFocus();
        setCurrentCell(d, 2, 0);
        QTest::keyClick(d->sgTime, Qt::Key_Down);
        ASSERT_EQ(d->RowCount(), 5);
        EXPECT_EQ(d->Cells(1, 4), "0");
        type(d, 4, 0, "20260108", Qt::Key_Tab);
        type(d, 4, 1, "10", Qt::Key_Up);
        type(d, 1, 1, "10", Qt::Key_Down);
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
        EXPECT_EQ(column(d, 0), QStringList({"2026/01/08", "2026/01/10", "2026/01/11", "2026/01/12"}));
    }));
    // Five days from the 8th, the 9th empty.
    EXPECT_EQ(item(0)->Bar->StartTime, day("20260108"));
    EXPECT_EQ(item(0)->Bar->StopTime, day("20260113"));
    EXPECT_EQ(item(0)->GetDayValue(day("20260108")), 10);
    EXPECT_EQ(item(0)->GetDayValue(day("20260110")), 10);
    EXPECT_EQ(item(0)->GetDayValue(day("20260109")), 0);
}

TEST_F(DailyEditor, AShorterListLeavesTheBarAndEmptiesTheDaysWithoutARow) {
    EXPECT_TRUE(edit(item(0)->Bar, [&](TfrmKrta07SC* d) {
        type(d, 1, 1, "40", Qt::Key_Tab);
        // The last row's day emptied: the row goes when the cursor leaves it.
        type(d, 3, 0, "", Qt::Key_Up);
        EXPECT_EQ(d->RowCount(), 3);
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
    }));
    EXPECT_EQ(item(0)->Bar->StopTime, day("20260113"));
    EXPECT_EQ(item(0)->GetDayValue(day("20260110")), 40);
    EXPECT_EQ(item(0)->GetDayValue(day("20260111")), 20);
    EXPECT_EQ(item(0)->GetDayValue(day("20260112")), 0);
}

TEST_F(DailyEditor, DaysTypedOutsideTheBarMoveItsEndsInsteadOfBeingLost) {
    EXPECT_TRUE(edit(item(0)->Bar, [&](TfrmKrta07SC* d) {
        // Days 11 to 13 span no more days than the bar has, yet the 13th lies beyond it.
        type(d, 1, 0, "20260113", Qt::Key_Down);
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
    }));
    EXPECT_EQ(item(0)->Bar->StartTime, day("20260110"));
    EXPECT_EQ(item(0)->Bar->StopTime, day("20260114"));
    EXPECT_EQ(item(0)->GetDayValue(day("20260113")), 20);
    EXPECT_EQ(item(0)->GetDayValue(day("20260110")), 0);
    EXPECT_EQ(item(0)->GetDayValue(day("20260112")), 20);
}

TEST_F(DailyEditor, DayTypedBeforeTheDaysAScheduleHoldsIsRefused) {
    bool stayedOpen = false;
    EXPECT_TRUE(edit(item(0)->Bar, [&](TfrmKrta07SC* d) {
        // 1899-12-30 reads as no date at all; a day before it is refused and can be corrected.
        type(d, 1, 0, "18991229", Qt::Key_Down);
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
        stayedOpen = d->isVisible();
        type(d, 1, 0, "20260109", Qt::Key_Down);
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
    }));
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(answers.texts(), QStringList({QString::fromUtf8("排程日期须在1899/12/31至9999/12/31之间!")}));
    EXPECT_EQ(item(0)->Bar->StartTime, day("20260109"));
    EXPECT_EQ(item(0)->Bar->StopTime, day("20260113"));
    EXPECT_EQ(item(0)->GetDayValue(day("20260109")), 20);
}

// The process's peak resident memory in kB since the last reset; -1 when the system does not tell.
long peakKb(bool reset = false) {
    if (reset) {
        QFile refs("/proc/self/clear_refs");
        if (!refs.open(QIODevice::WriteOnly) || refs.write("5") != 1) return -1;
    }
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// A day typed a thousand years out makes a bar of 365,000 days; its editor then holds every one of
// them, typed and confirmed as on a short bar, without a cell object per day.
TEST_F(DailyEditor, ABarOfAThousandYearsIsEditedInLittleMemory) {
    EXPECT_TRUE(edit(item(0)->Bar, [&](TfrmKrta07SC* d) {
        type(d, 3, 0, "30260112", Qt::Key_Up);
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
    }));
    ASSERT_EQ(item(0)->Bar->StopTime, day("30260113"));
    const int days = int(day("30260113") - day("20260110"));
    const long before = peakKb(true);
    if (before < 0) GTEST_SKIP() << "no peak memory figure on this system";
    EXPECT_TRUE(edit(item(0)->Bar, [&](TfrmKrta07SC* d) {
        ASSERT_EQ(d->RowCount(), days + 1);
        const int last = d->RowCount() - 1;
        EXPECT_EQ(d->Cells(0, 3), "2026/01/12");
        EXPECT_EQ(d->Cells(0, last), "3026/01/12");
        EXPECT_EQ(d->Cells(1, last), "20");
        EXPECT_EQ(d->edSum->text(), "60");
        // The far day's quantity back to the 12th of 2026.
        type(d, 3, 1, "20", Qt::Key_Up);
        EXPECT_EQ(d->edSum->text(), "80");
        d->sgTime->scrollTo(d->sgTime->model()->index(last - 1, 1));
        type(d, last, 1, "0", Qt::Key_Up);
        EXPECT_EQ(d->edSum->text(), "60");
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
        EXPECT_FALSE(d->isVisible());
    }));
    EXPECT_TRUE(answers.texts().isEmpty()) << answers.texts().join('\n').toStdString();
    EXPECT_EQ(item(0)->GetDayValue(day("20260112")), 20);
    EXPECT_EQ(item(0)->GetDayValue(day("30260112")), 0);
    // A cell object per day took over a kilobyte each: 365 MB for these days.
    EXPECT_LT(peakKb() - before, 150 * 1024);
}

// A day cell of another line double-clicked while the current line's days do not add up: the planner
// cancels the editor that leaving the line forces, so the line stays current, and the cell's own
// editor opens. The day it changes counts in the consumption of the cell's line.
TEST_F(DailyEditor, ADayEditedOnALineThatIsNotCurrentCountsInThatLinesConsumption) {
    wb->show();
    ASSERT_EQ(wb->CurrentRowIndex(), 0);
    item(0)->SetDayTexts("5", QString(), day("20260110"));
    const std::vector<TKrta07PlanRow> before = wb->LinePlanRows(1);
    ASSERT_FALSE(before.empty());
    int opened = 0;
    answers.onDialog([&](QWidget* w) {
        auto* d = qobject_cast<TfrmKrta07SC*>(w);
        ASSERT_NE(d, nullptr);
        if (++opened == 1) {
            QTest::mouseClick(d->btnCancel, Qt::LeftButton);
            return;
        }
        EXPECT_FALSE(d->WholeBar());
        type(d, 1, 1, "15", Qt::Key_Tab);
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
    });
    TphDataEntity_GantTime* cell = item(1)->DayCell(0);
    ASSERT_NE(cell, nullptr);
    const kv::TDateTime cellDay = std::floor(cell->StartTime);
    wb->mgMPSTC->SetStart(item(1)->Bar->StartTime - 3);
    QApplication::processEvents();
    wb->mgMPSTC->UpdateAllGeometry();
    const QRect at = wb->mgMPSTC->ItemRect(cell);
    ASSERT_FALSE(at.isEmpty());
    QTest::mouseDClick(wb->mgMPSTC->GantArea(), Qt::LeftButton, {}, at.center());
    ASSERT_EQ(opened, 2);
    EXPECT_EQ(wb->CurrentRowIndex(), 0);
    EXPECT_EQ(item(1)->GetDayValue(cellDay), 15);
    const std::vector<TKrta07PlanRow> edited = wb->LinePlanRows(1);
    // What the line's days give when it is computed on the line itself.
    item(0)->SetDayTexts("20", QString(), day("20260110"));
    wb->SelectRow(1);
    ASSERT_EQ(wb->CurrentRowIndex(), 1);
    wb->RecomputeLineConsumption();
    EXPECT_EQ(edited, wb->LinePlanRows(1));
    EXPECT_NE(edited, before);
}

TEST_F(DailyEditor, BrowseModeShowsTheDaysWithoutEditing) {
    QTest::mouseClick(wb->btnCancel, Qt::LeftButton);
    ASSERT_EQ(wb->EditState(), 0);
    EXPECT_TRUE(edit(item(1)->Bar, [&](TfrmKrta07SC* d) {
        EXPECT_EQ(d->sgTime->editTriggers(), QAbstractItemView::NoEditTriggers);
        EXPECT_EQ(d->sgTime->contextMenuPolicy(), Qt::NoContextMenu);
        // Days without quantity show 0.
        EXPECT_EQ(column(d, 1), QStringList({"10", "0", "10", "0", "0", "10"}));
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
    }));
}

TEST_F(DailyEditor, SingleDayModeEditsThatDayOnly) {
    TphDataEntity_GantTime* cell = item(0)->DayCell(1);
    EXPECT_TRUE(edit(cell, [&](TfrmKrta07SC* d) {
        EXPECT_FALSE(d->WholeBar());
        EXPECT_EQ(d->RowCount(), 2);
        EXPECT_EQ(d->Cells(0, 1), "2026/01/11");
        EXPECT_FALSE(d->sgTime->model()->flags(d->sgTime->model()->index(0, 0)) & Qt::ItemIsEditable);
        EXPECT_EQ(d->sgTime->contextMenuPolicy(), Qt::NoContextMenu);
        type(d, 1, 1, "25", Qt::Key_Tab);
        // No sum rule for one day.
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
    }));
    EXPECT_EQ(item(0)->GetDayValue(day("20260111")), 25);
    EXPECT_EQ(item(0)->Bar->StopTime, day("20260113"));
    EXPECT_TRUE(changed.isEmpty());
    // The need-date marker opens nothing.
    bool opened = false;
    EXPECT_FALSE(edit(item(0)->Bar->Owner->GetAs<TphDataEntity_GantTime>(TMyGantItem::kMarker),
                      [&](TfrmKrta07SC*) { opened = true; }));
    EXPECT_FALSE(opened);
}

} // namespace
