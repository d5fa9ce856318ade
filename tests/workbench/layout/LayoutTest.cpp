// The line grid's place beside the bars or the capacity charts, its layout files per user under the
// launcher's GridViewDataPath, and the consumption detail window's filter and order.
#include <gtest/gtest.h>

#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "common/TestSupport.h"
#include "controls/ExtPage.h"
#include "controls/FDBGrid.h"
#include "controls/KvEdit.h"
#include "gantt/MyGant.h"
#include "gantt/phGrid.h"
#include "platform/data/ClientDataSet.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"
#include "workbench/Krta07STF.h"
#include "workbench/common/WorkbenchTestSupport.h"

namespace {

class Layout : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FDir.isValid());
        install = FDir.filePath("client") + "/";
        layouts = FDir.filePath("layouts") + "/";
        QDir().mkpath(install);
        testsupport::writeFile(
            FDir.filePath("registry.ini"),
            "[HKEY_LOCAL_MACHINE\\Software\\KVR\\Steward]\nClientPath=" + install.toUtf8() + "\n");
        testsupport::writeFile(install + "StewardC.ini",
                               "[Client Components]\nGridViewDataPath=" + layouts.toUtf8() + "\n");
        cs = wbtest::sqliteCompany(FDir.path());
        wb = wbtest::createWorkbench(cs, "DS");
        wbtest::query(wb, "F1");
        wb->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(wb));
    }
    void TearDown() override { delete wb; }

    kv::TClientDataSet& pre() const { return *wb->dmKrta07S->qryMPSTBPre; }

    QTemporaryDir FDir;
    testsupport::ScopedEnv FRegistry{"TARNIX_REGISTRY", FDir.filePath("registry.ini").toUtf8()};
    QString install, layouts, cs;
    TfrmKrta07SM* wb = nullptr;
};

TEST_F(Layout, GridSitsBesideTheBarsOrTheCapacityCharts) {
    wb->PlaceLineGrid();
    EXPECT_EQ(wb->dgMPSTB->parentWidget(), wb->mgMPSTC->Grid()->parentWidget());
    EXPECT_FALSE(wb->mgMPSTC->Grid()->isVisible());
    EXPECT_TRUE(wb->dgMPSTBIButton->isVisible());
    // Its rows line up with the bars' rows.
    EXPECT_EQ(wb->dgMPSTB->rowHeight(0), TphGant::DefaultRowHeight);
    QCoreApplication::processEvents();
    EXPECT_EQ(wb->dgMPSTB->viewport()->mapTo(wb, QPoint(0, 0)).y(),
              wb->mgMPSTC->GantArea()->mapTo(wb, QPoint(0, 0)).y());

    wb->PageControl1->setCurrentIndex(1);
    EXPECT_EQ(wb->dgMPSTB->parentWidget(), wb->Panel5);
    EXPECT_TRUE(wb->dgMPSTB->isVisible());
    EXPECT_FALSE(wb->dgMPSTBIButton->isVisible());
    wb->PageControl1->setCurrentIndex(0);
    EXPECT_EQ(wb->dgMPSTB->parentWidget(), wb->mgMPSTC->Grid()->parentWidget());
}

// Clicking the last line in the grid scrolled the chart alone until that line's bar stood in the
// first row, beside another line.
TEST_F(Layout, TheLastLineClickedKeepsItsBarBesideIt) {
    wb->PlaceLineGrid();
    QCoreApplication::processEvents();
    TFDBGrid* grid = wb->dgMPSTB;
    const int last = grid->model()->rowCount() - 1;
    ASSERT_GT(last, 0);
    const QModelIndex index = grid->model()->index(last, 1);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, grid->visualRect(index).center());
    QCoreApplication::processEvents();
    ASSERT_EQ(wb->CurrentRowIndex(), last);
    EXPECT_EQ(wb->mgMPSTC->Grid()->TopRow(), grid->rowAt(0));
    TMyGantItem* item = wb->mgMPSTC->MyGantList()->Items(last);
    wb->mgMPSTC->UpdateAllGeometry();
    const QRect bar = wb->mgMPSTC->ItemRect(item->Bar);
    const int rowTop = grid->viewport()->mapTo(wb, grid->visualRect(index).topLeft()).y();
    EXPECT_NEAR(wb->mgMPSTC->GantArea()->mapTo(wb, bar.topLeft()).y(), rowTop, 2);
}

// The grid goes beside the capacity charts and comes back: it shows the rows it showed, beside their
// bars, although the capacity tab gave it a taller view.
TEST_F(Layout, AVisitToTheCapacityTabKeepsTheBarsBesideTheirLines) {
    // Low enough that not every line fits beside the bars.
    wb->resize(wb->width(), 420);
    wb->PlaceLineGrid();
    QCoreApplication::processEvents();
    TFDBGrid* grid = wb->dgMPSTB;
    const QModelIndex last = grid->model()->index(grid->model()->rowCount() - 1, 1);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, grid->visualRect(last).center());
    QCoreApplication::processEvents();
    const int top = grid->rowAt(0);
    ASSERT_GT(top, 0);
    QTabBar* tabs = wb->PageControl1->tabBar();
    for (int tab : {1, 0}) {
        QTest::mouseClick(tabs, Qt::LeftButton, Qt::NoModifier, tabs->tabRect(tab).center());
        QCoreApplication::processEvents();
    }
    ASSERT_EQ(grid->parentWidget(), wb->mgMPSTC->Grid()->parentWidget());
    EXPECT_EQ(grid->rowAt(0), top);
    EXPECT_EQ(wb->mgMPSTC->Grid()->TopRow(), grid->rowAt(0));
}

// Beside the capacity charts the grid shows its lines, not a sliver of its row numbers; a split the
// planner drags stays as he left it.
TEST_F(Layout, TheCapacityTabGivesTheGridRoomAndKeepsThePlannersSplit) {
    wb->resize(1100, 700);
    wb->PlaceLineGrid();
    QTabBar* tabs = wb->PageControl1->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, Qt::NoModifier, tabs->tabRect(1).center());
    QCoreApplication::processEvents();
    ASSERT_EQ(wb->dgMPSTB->parentWidget(), wb->Panel5);
    const int tab = wb->TabSheet2->width();
    EXPECT_GE(wb->Panel5->width(), tab / 4) << wb->Panel5->width() << " of " << tab;
    EXPECT_LE(wb->Panel5->width(), tab / 2) << wb->Panel5->width() << " of " << tab;

    auto* split = qobject_cast<QSplitter*>(wb->Panel5->parentWidget());
    ASSERT_NE(split, nullptr);
    split->setSizes({150, tab - 150});
    QCoreApplication::processEvents();
    const int dragged = wb->Panel5->width();
    for (int page : {0, 1}) {
        QTest::mouseClick(tabs, Qt::LeftButton, Qt::NoModifier, tabs->tabRect(page).center());
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(wb->Panel5->width(), dragged);
}

TEST_F(Layout, FactoryNameAndSourceDocumentAreShownWhole) {
    wb->SetQueryConditions(
        {"F01", QString::fromUtf8("第一工厂(总装)车间一号线"), "", "", "2201-20261210001-0001"});
    QTest::qWait(50);
    EXPECT_GE(wb->lblMB001C->width(), wb->lblMB001C->sizeHint().width());
    ASSERT_EQ(wb->edTB004->text(), "2201-20261210001-0001");
    EXPECT_GE(wb->edTB004->width(), wb->edTB004->fontMetrics().horizontalAdvance(wb->edTB004->text()) + 8);
    wb->SetQueryConditions({"F01", "", "", "", ""});
    QTest::qWait(50);
    EXPECT_GE(wb->lblMB001C->width(), 80);
}

TEST_F(Layout, CommonLayoutUntilTheUserSavesHisOwn) {
    // The common file moves the product item first and narrows it; unknown fields and unreadable
    // values are passed over.
    testsupport::writeFile(layouts + "KRTA07.ugs",
                           "[qryMPSTBPre]\nTB006=0;7\nTB026=1;9;0.00\nNOSUCHFIELD=2;5\nTB013=x;4\n");
    wb->PlaceLineGrid();
    EXPECT_EQ(pre().Fields(0).FieldName(), "TB006");
    EXPECT_EQ(pre().FieldByName("TB006").DisplayWidth(), 7);
    EXPECT_EQ(pre().Fields(1).FieldName(), "TB026");
    EXPECT_EQ(pre().FieldByName("TB026").DisplayFormat(), "0.00");
    EXPECT_EQ(wb->dgMPSTB->Column(0)->FieldName(), "TB006");

    // "保存检视" writes the user's own file, which wins from then on.
    pre().FieldByName("TB005").SetIndex(0);
    pre().FieldByName("TB005").SetDisplayWidth(3);
    auto* save = wb->dgMPSTB->findChild<QMenu*>("PopupMenu1")->findChild<QAction*>("N1");
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(save->text(), QString::fromUtf8("保存检视"));
    save->trigger();
    const QString own = layouts + "DS/KRTA07.ugs";
    ASSERT_TRUE(QFile::exists(own));
    const QString text = QString::fromUtf8(testsupport::readFile(own));
    EXPECT_TRUE(text.startsWith("[qryMPSTBPre]\nTB005=0;3\nTB006=1;7\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("\nTB026=2;9;0.00\n"));

    delete wb;
    wb = wbtest::createWorkbench(cs, "DS");
    wbtest::query(wb, "F1");
    wb->PlaceLineGrid();
    EXPECT_EQ(pre().Fields(0).FieldName(), "TB005");
    EXPECT_EQ(pre().FieldByName("TB005").DisplayWidth(), 3);

    // Another user still reads the common file; a user code that is no plain name writes nothing.
    EXPECT_FALSE(wb->SaveGridLayout("../x", "KRTA07", &pre(), -1));
    EXPECT_FALSE(QFile::exists(FDir.filePath("x/KRTA07.ugs")));
    delete wb;
    wb = wbtest::createWorkbench(cs, "OTHER");
    wbtest::query(wb, "F1");
    wb->PlaceLineGrid();
    EXPECT_EQ(pre().Fields(0).FieldName(), "TB006");
}

// A layout folder configured without its closing separator holds the common file all the same.
TEST_F(Layout, CommonLayoutInAFolderConfiguredWithoutItsSeparator) {
    QString folder = layouts;
    folder.chop(1);
    testsupport::writeFile(install + "StewardC.ini",
                           "[Client Components]\nGridViewDataPath=" + folder.toUtf8() + "\n");
    testsupport::writeFile(layouts + "KRTA07.ugs", "[qryMPSTBPre]\nTB006=0;7\n");
    ASSERT_FALSE(QFile::exists(layouts + "DS/KRTA07.ugs"));
    wb->PlaceLineGrid();
    EXPECT_EQ(pre().Fields(0).FieldName(), "TB006");
    EXPECT_EQ(pre().FieldByName("TB006").DisplayWidth(), 7);
    // The user's own file goes below the same folder.
    ASSERT_TRUE(wb->SaveGridLayout("DS", "KRTA07", &pre(), -1));
    EXPECT_TRUE(QFile::exists(layouts + "DS/KRTA07.ugs"));
    // A key left empty is the installation's standard folder, not the file system's root.
    testsupport::writeFile(install + "StewardC.ini", "[Client Components]\nGridViewDataPath=\n");
    EXPECT_EQ(wb->GridLayoutFile("DS", "KRTA07", true), install + "c_Data/DS/KRTA07.ugs");
    ASSERT_TRUE(wb->SaveGridLayout("DS", "KRTA07", &pre(), -1));
    EXPECT_TRUE(QFile::exists(install + "c_Data/DS/KRTA07.ugs"));
}

// The columns are as wide as the layout says, in characters; the planner widens one and drags
// another to the front by their headers, and "保存检视" keeps both for his next session.
TEST_F(Layout, ColumnsTakeTheLayoutsWidthsAndThePlannersResizingAndMovingAreSaved) {
    testsupport::writeFile(layouts + "KRTA07.ugs", "[qryMPSTBPre]\nTB006=0;7\nTB026=1;20;0.00\n");
    wb->PlaceLineGrid();
    TFDBGrid* grid = wb->dgMPSTB;
    ASSERT_EQ(grid->Column(0)->FieldName(), "TB006");
    EXPECT_EQ(grid->columnWidth(0), grid->ColumnWidthOf(7));
    EXPECT_EQ(grid->columnWidth(1), grid->ColumnWidthOf(20));

    QHeaderView* header = grid->horizontalHeader();
    QWidget* bar = header->viewport();
    const int y = header->height() / 2;
    // Widened by its right border, 60 pixels.
    const int border = header->sectionViewportPosition(1) + header->sectionSize(1) - 1;
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(border, y));
    QTest::mouseMove(bar, QPoint(border + 30, y));
    QTest::mouseMove(bar, QPoint(border + 60, y));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(border + 60, y));
    const int widened = grid->columnWidth(1);
    EXPECT_GT(widened, grid->ColumnWidthOf(20) + 40);
    // The third column dragged by its title in front of the first.
    const QString third = grid->Column(2)->FieldName();
    const QPoint title(header->sectionViewportPosition(2) + header->sectionSize(2) / 2, y);
    QTest::mousePress(bar, Qt::LeftButton, {}, title);
    for (int x = title.x(); x > 5; x -= 20)
        QTest::mouseMove(bar, QPoint(x, y));
    QTest::mouseMove(bar, QPoint(5, y));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(5, y));
    ASSERT_EQ(grid->Column(0)->FieldName(), third);
    EXPECT_EQ(pre().Fields(0).FieldName(), third);
    EXPECT_NEAR(grid->columnWidth(2), widened, grid->CharWidth()); // TB026, one place on

    wb->dgMPSTB->findChild<QMenu*>("PopupMenu1")->findChild<QAction*>("N1")->trigger();
    delete wb;
    wb = wbtest::createWorkbench(cs, "DS");
    wbtest::query(wb, "F1");
    wb->PlaceLineGrid();
    EXPECT_EQ(wb->dgMPSTB->Column(0)->FieldName(), third);
    EXPECT_EQ(wb->dgMPSTB->Column(2)->FieldName(), "TB026");
    EXPECT_NEAR(wb->dgMPSTB->columnWidth(2), widened, wb->dgMPSTB->CharWidth());
}

// A view that cannot be written says so, naming the file.
TEST_F(Layout, AViewThatCannotBeSavedSaysWhere) {
    testsupport::writeFile(layouts + "DS", "a file where the user's folder would be");
    wb->PlaceLineGrid();
    wbtest::ModalAnswerer answers;
    wb->dgMPSTB->findChild<QMenu*>("PopupMenu1")->findChild<QAction*>("N1")->trigger();
    ASSERT_EQ(answers.texts().size(), 1);
    EXPECT_TRUE(answers.texts()[0].contains(layouts + "DS/KRTA07.ugs")) << answers.texts()[0].toStdString();
}

// The layout a user's file gave the grid stays through the reloads of a cancel and of a save.
TEST_F(Layout, TheLayoutOutlivesCancelAndSave) {
    testsupport::writeFile(layouts + "KRTA07.ugs", "[qryMPSTBPre]\nTB026=0;9;0.00\n");
    wb->PlaceLineGrid();
    wbtest::ModalAnswerer answers;
    for (QToolButton* end : {wb->btnCancel, wb->btnOK}) {
        QTest::mouseClick(wb->btnEdit, Qt::LeftButton);
        QTest::mouseClick(end, Qt::LeftButton);
        ASSERT_EQ(wb->EditState(), 0);
        EXPECT_EQ(wb->dgMPSTB->model()->index(0, 0).data().toString(), "60.00");
    }
}

TEST_F(Layout, SavingKeepsTheOtherSectionsOfTheUsersFile) {
    testsupport::writeFile(layouts + "DS/KRTA07.ugs", "[Other]\nA=1\n\n[qryMPSTBPre]\nTB999=0;1\n");
    ASSERT_TRUE(wb->SaveGridLayout("DS", "KRTA07", &pre(), -1));
    const QString text = QString::fromUtf8(testsupport::readFile(layouts + "DS/KRTA07.ugs"));
    EXPECT_TRUE(text.startsWith("[Other]\nA=1\n\n[qryMPSTBPre]\n")) << text.toStdString();
    EXPECT_FALSE(text.contains("TB999"));
}

TEST_F(Layout, DetailWindowListsOneResourceInDayOrder) {
    kv::TClientDataSet& plan = *wb->dmKrta07S->qryMPSTF;
    int all = 0;
    for (int r = 0; r < plan.RecordCount(); ++r)
        if (plan.valueAt(r, plan.FieldByName("TF001").Index()).toString().trimmed() == "R2") ++all;
    ASSERT_GT(all, 2);
    QStringList days;
    int shown = -1;
    wbtest::ModalAnswerer answers;
    answers.onDialog([&](QWidget* dialog) {
        auto* window = qobject_cast<TfrmKRTA07ST*>(dialog);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->windowTitle(), QString::fromUtf8("资源耗用明细"));
        shown = plan.RecordCount();
        days.clear();
        for (plan.First(); !plan.Eof(); plan.Next())
            days << plan.FieldByName("TF002").AsString().trimmed();
        EXPECT_EQ(plan.FieldByName("TF003").DisplayText(), QString::fromUtf8("2:计划 "));
        window->btnOk->click();
    });
    wb->ShowConsumptionDetails("R2", {});
    EXPECT_EQ(shown, all);
    QStringList sorted = days;
    sorted.sort();
    EXPECT_EQ(days, sorted);
    // Closed: the filter and the order are gone.
    EXPECT_FALSE(plan.Filtered());
    EXPECT_EQ(plan.IndexName(), "");

    wb->ShowConsumptionDetails("R2", "20260111");
    EXPECT_EQ(days, QStringList({"20260111", "20260111"}).mid(0, shown));
    EXPECT_GE(shown, 1);
}

} // namespace
