// The query dialog's Enter order and exit checks, the factory window, and the workbench on an English
// workstation, each on a demo installation with the host's own value checks.
#include <gtest/gtest.h>

#include <QAbstractAxis>
#include <QAction>
#include <QApplication>
#include <QBarSet>
#include <QChart>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineSeries>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTabBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <functional>

#include "common/TestSupport.h"
#include "controls/ExtPage.h"
#include "controls/FDBGrid.h"
#include "controls/KvEdit.h"
#include "controls/KvMsgDlgHook.h"
#include "frame/KvADO.h"
#include "gantt/MyGant.h"
#include "gantt/phGrid.h"
#include "host/demo/DemoCompany.h"
#include "host/services/CompanyData.h"
#include "platform/data/ClientDataSet.h"
#include "workbench/Krta07SCF.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"
#include "workbench/Krta07SMFCharts.h"
#include "workbench/Krta07SQF.h"
#include "workbench/Krta07STF.h"
#include "workbench/Krta07SWF.h"

namespace {

// Value checks as the host's validator service answers them.
class HostChecks : public TKrta07DataCalls {
public:
    HostChecks() : FData(tarnix::TCompanyData::fromLauncherSettings()) {}
    bool CheckCode(const QString& Table, const QString& QueryNo, const QString& Key,
                   QStringList& Row) override {
        const tarnix::TCatalogueQuery* q = tarnix::validatorQuery(Table, QueryNo);
        if (!q) return false;
        const QList<QStringList> rows = FData->select(q->Sql, tarnix::bindKeys(*q, {Key}));
        if (rows.isEmpty()) return false;
        Row = rows.first();
        return true;
    }
    QStringList OpenLookup(const QString&, const QString&, const QStringList&) override { return {}; }

private:
    std::shared_ptr<tarnix::TCompanyData> FData;
};

class Dialogs : public ::testing::Test {
protected:
    void install(int uiCodePage, int lines = 6) {
        ASSERT_TRUE(FDir.isValid());
        kv::demo::DemoOptions options;
        options.lines = lines;
        options.uiCodePage = uiCodePage;
        kv::demo::writeDemoInstallation(FDir.path(), options);
        FRegistry = std::make_unique<testsupport::ScopedEnv>(
            "TARNIX_REGISTRY", QFile::encodeName(FDir.filePath("registry.ini")));
        FChecks = std::make_unique<HostChecks>();
        wb = new TfrmKrta07SM;
        wb->SetDBName("DEMO");
        wb->SetDataCalls(FChecks.get());
        wb->InitWorkbench();
        // Every message box is answered here and kept.
        SetMessageDlgHook([this](const QString& text, TMsgDlgType, TMsgDlgButtons) -> std::optional<int> {
            messages << text.trimmed();
            return mrOk;
        });
    }
    void TearDown() override {
        SetMessageDlgHook(nullptr);
        delete wb;
    }

    // Runs the query dialog; the steps run while it is up.
    bool ask(const std::function<void(TfrmKrta07SQ&)>& steps, QStringList& result) {
        QTimer::singleShot(0, wb, [&] {
            auto* d = wb->findChild<TfrmKrta07SQ*>();
            ASSERT_NE(d, nullptr);
            steps(*d);
            if (d->isVisible()) QTest::mouseClick(d->btnCancel, Qt::LeftButton);
        });
        return wb->AskQueryConditions(result);
    }
    static void enter(QWidget* w, const QString& text = {}) {
        if (!text.isEmpty()) QTest::keyClicks(w, text);
        QTest::keyClick(w, Qt::Key_Return);
    }

    QTemporaryDir FDir;
    std::unique_ptr<testsupport::ScopedEnv> FRegistry;
    std::unique_ptr<HostChecks> FChecks;
    TfrmKrta07SM* wb = nullptr;
    QStringList messages;
};

} // namespace

TEST_F(Dialogs, EnterWalksThroughTheEditsCheckingEachCode) {
    install(936);
    QStringList result;
    const bool ok = ask(
        [&](TfrmKrta07SQ& d) {
            // Unknown codes keep the focus where they are, with their message and an empty name.
            enter(d.edMB001, "ZZ");
            EXPECT_EQ(d.focusWidget(), d.edMB001);
            EXPECT_TRUE(d.lblMB001C->text().isEmpty());
            d.edMB001->clear();
            enter(d.edMB001, "F01");
            EXPECT_EQ(d.focusWidget(), d.edTB036);
            EXPECT_EQ(d.lblMB001C->text(), QStringLiteral("第一工厂(总装)"));
            enter(d.edTB036, "R999");
            EXPECT_EQ(d.focusWidget(), d.edTB036);
            EXPECT_TRUE(d.lblTB036C->text().isEmpty());
            d.edTB036->clear();
            enter(d.edTB036, "R001");
            EXPECT_EQ(d.focusWidget(), d.edTB004);
            EXPECT_EQ(d.lblTB036C->text(), QStringLiteral("装配线1"));
            // The source document's parts are blank-padded to their widths and run together.
            QTest::keyClicks(d.edTB004, "5101");
            QTest::keyClicks(d.edTB004, "20260300001");
            QTest::keyClicks(d.edTB004, "0001");
            enter(d.edTB004);
            EXPECT_EQ(d.focusWidget(), d.btnOK);
            QTest::mouseClick(d.btnOK, Qt::LeftButton);
        },
        result);
    ASSERT_TRUE(ok);
    EXPECT_EQ(messages, (QStringList{QStringLiteral("工厂不存在!"), QStringLiteral("主要资源不存在!")}));
    EXPECT_EQ(result, (QStringList{"F01", QStringLiteral("第一工厂(总装)"), "R001", QStringLiteral("装配线1"),
                                   "5101202603000010001"}));
}

TEST_F(Dialogs, OkNeedsAFactoryAndAnEmptyResourceNeedsNoCheck) {
    install(936);
    QStringList result;
    bool stayedOpen = false;
    const bool ok = ask(
        [&](TfrmKrta07SQ& d) {
            QTest::mouseClick(d.btnOK, Qt::LeftButton);
            stayedOpen = d.isVisible();
            EXPECT_EQ(d.focusWidget(), d.edMB001);
            enter(d.edMB001, "F02");
            enter(d.edTB036);
            EXPECT_EQ(d.focusWidget(), d.edTB004);
            QTest::mouseClick(d.btnOK, Qt::LeftButton);
        },
        result);
    EXPECT_TRUE(stayedOpen);
    ASSERT_TRUE(ok);
    EXPECT_EQ(messages, QStringList{QStringLiteral("工厂不可空白!")});
    EXPECT_EQ(result, (QStringList{"F02", QStringLiteral("第二工厂(零部件)"), "", "", ""}));

    // Cancel answers nothing.
    EXPECT_FALSE(ask([](TfrmKrta07SQ& d) { enter(d.edMB001, "F01"); }, result));
}

// Leaving a code's field by Tab or a click checks it as Enter does; OK checks what was typed and never
// left. Focus moves only in the active window, as on a planner's screen.
TEST_F(Dialogs, CodesAreCheckedHoweverTheirFieldIsLeft) {
    install(936);
    QStringList result;
    ASSERT_TRUE(ask(
        [&](TfrmKrta07SQ& d) {
            d.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
            QTest::keyClicks(d.edMB001, "ZZ");
            QTest::keyClick(d.edMB001, Qt::Key_Tab);
            QTest::qWait(20);
            EXPECT_EQ(d.focusWidget(), d.edMB001);
            d.edMB001->setText("F01");
            QTest::mouseClick(d.edTB036, Qt::LeftButton);
            QTest::keyClicks(d.edTB036, "R999");
            QTest::mouseClick(d.btnOK, Qt::LeftButton);
            QTest::qWait(20);
            EXPECT_EQ(d.focusWidget(), d.edTB036);
            d.edTB036->setText("R001");
            QTest::mouseClick(d.btnOK, Qt::LeftButton);
        },
        result));
    EXPECT_EQ(messages, (QStringList{QStringLiteral("工厂不存在!"), QStringLiteral("主要资源不存在!")}));
    EXPECT_EQ(result.mid(0, 4),
              (QStringList{"F01", QStringLiteral("第一工厂(总装)"), "R001", QStringLiteral("装配线1")}));
}

TEST_F(Dialogs, FactoryWindowListsTheFactoriesToPickFrom) {
    install(936);
    TfrmKrta07SW window(wb);
    QString code, name;
    QTimer::singleShot(0, &window, [&] {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        ASSERT_EQ(window.dgWin->model()->rowCount(), 2);
        EXPECT_EQ(window.dgWin->model()->headerData(0, Qt::Horizontal).toString(),
                  QStringLiteral("工厂编号"));
        const QRect cell = window.dgWin->visualRect(window.dgWin->model()->index(1, 0));
        QTest::mouseClick(window.dgWin->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        QTest::mouseClick(window.btnOk, Qt::LeftButton);
    });
    ASSERT_TRUE(window.Execute(code, name));
    EXPECT_EQ(code, "F02");
    EXPECT_EQ(name, QStringLiteral("第二工厂(零部件)"));

    QTimer::singleShot(0, &window, [&] { QTest::mouseClick(window.btnCancel, Qt::LeftButton); });
    code.clear();
    EXPECT_FALSE(window.Execute(code, name));
    EXPECT_TRUE(code.isEmpty());

    // A double click on a row other than the current one chooses that row's factory.
    bool closedByClick = false;
    QTimer::singleShot(0, &window, [&] {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        const QRect cell = window.dgWin->visualRect(window.dgWin->model()->index(1, 1));
        QWidget* viewport = window.dgWin->viewport();
        QTest::mouseDClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier,
                           viewport->mapTo(&window, cell.center()));
        closedByClick = !window.isVisible();
        if (!closedByClick) QTest::mouseClick(window.btnCancel, Qt::LeftButton);
    });
    ASSERT_TRUE(window.Execute(code, name));
    EXPECT_TRUE(closedByClick);
    EXPECT_EQ(code, "F02");
}

// The query button, the dialog filled and accepted with a click on OK.
void queryThroughTheButton(TfrmKrta07SM* wb, const QString& factory, const QString& sourceDoc = {}) {
    QTimer::singleShot(0, wb, [=] {
        auto* d = wb->findChild<TfrmKrta07SQ*>();
        QTest::keyClicks(d->edMB001, factory);
        QTest::keyClicks(d->edTB004, sourceDoc);
        QTest::mouseClick(d->btnOK, Qt::LeftButton);
    });
    QTest::mouseClick(wb->btnQuery, Qt::LeftButton);
}

// A query shows the factory's whole span, every bar on screen; the small chart's legend is as wide as
// the Gantt's grid less 15 pixels, so that its days stand under the bars; the linkage boxes can be set
// before editing, and editing needs a factory, not lines.
TEST_F(Dialogs, AQueryThroughTheButton) {
    install(936);
    wb->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(wb));
    queryThroughTheButton(wb, "F01");
    TMyGantList* list = wb->mgMPSTC->MyGantList();
    double first = 1e9, last = 0;
    for (int i = 0; i < list->Count(); ++i) {
        first = std::min(first, list->Items(i)->Bar->StartTime);
        last = std::max(last, list->Items(i)->Bar->StopTime - 1); // the bar's last day
    }
    ASSERT_GT(last - first, 30);
    EXPECT_DOUBLE_EQ(wb->mgMPSTC->Start(), first);
    EXPECT_DOUBLE_EQ(wb->mgMPSTC->Stop(), last);
    wb->mgMPSTC->SetTreeWidth(520);
    QCoreApplication::processEvents();
    EXPECT_EQ(wb->ctMPSTC->LegendPanel->width(), wb->mgMPSTC->Grid()->parentWidget()->width() - 15);
    EXPECT_EQ(wb->ctMPSTC->LegendPanel->width(), 505);

    queryThroughTheButton(wb, "F01", "99999999999999999999");
    EXPECT_EQ(list->Count(), 0);
    QTest::mouseClick(wb->chkDown, Qt::LeftButton, {}, QPoint(6, wb->chkDown->height() / 2));
    EXPECT_TRUE(wb->chkMPS->isEnabled());
    QTest::mouseClick(wb->btnEdit, Qt::LeftButton);
    EXPECT_EQ(wb->EditState(), 1);
}

// A company file damaged in the middle of the day rows (a failing disk, a stray program): the query
// names the file and the cause, and shows no lines rather than lines with half their days.
TEST_F(Dialogs, AQueryOfADamagedFileNamesItAndShowsNothingHalfRead) {
    install(936, 300);
    const QString file = FDir.filePath("DEMO.db");
    std::vector<qint64> leaves;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "pages");
        db.setDatabaseName(file);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        // The table's leaves in the order its rows are read.
        ASSERT_TRUE(
            q.exec("SELECT pageno FROM dbstat WHERE name = 'MPSTC' AND pagetype = 'leaf' ORDER BY path"))
            << q.lastError().text().toStdString();
        while (q.next())
            leaves.push_back(q.value(0).toLongLong());
        q = QSqlQuery();
        db.close();
    }
    QSqlDatabase::removeDatabase("pages");
    ASSERT_GT(leaves.size(), 20u);
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.seek((leaves[leaves.size() / 2] - 1) * 4096));
    f.write(QByteArray(4096, '\xff'));
    f.close();

    wb->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(wb));
    queryThroughTheButton(wb, "F01");
    ASSERT_EQ(messages.size(), 1) << messages.join(" / ").toStdString();
    EXPECT_TRUE(messages[0].contains(file) && messages[0].contains("malformed")) << messages[0].toStdString();
    EXPECT_EQ(wb->mgMPSTC->MyGantList()->Count(), 0);
    EXPECT_FALSE(wb->dmKrta07S->qryMPSTB->Active());
}

// The texts the progress dialog shows while the work runs, each once as it changes. The work's steps
// are slowed down so that the dialog shows: the first past the half second it waits for, the others a
// little. `beside` runs at each look, to drive a dialog of the work's own.
static QStringList progressSeen(TfrmKrta07SM* wb, const std::function<void()>& work,
                                const std::function<void()>& beside = {}) {
    int steps = 0;
    wb->OnProgress = [&steps](const QString&, int, int) { QThread::msleep(steps++ == 0 ? 520 : 60); };
    QStringList seen;
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (beside) beside();
        auto* d = wb->findChild<QProgressDialog*>("dlgProgress");
        if (d && d->isVisible() && (seen.isEmpty() || seen.last() != d->labelText())) seen << d->labelText();
    });
    watch.start();
    work();
    watch.stop();
    wb->OnProgress = nullptr;
    return seen;
}

// The whole span exported through the menu into the file, with the progress texts seen meanwhile.
static QStringList spanExportSeen(TfrmKrta07SM* wb, const QString& file,
                                  const std::function<void()>& beside = {}) {
    return progressSeen(
        wb, [wb] { wb->actExportSpan->trigger(); },
        [&] {
            if (auto* chooser = wb->findChild<QFileDialog*>("dlgExport"); chooser && chooser->isVisible()) {
                chooser->selectFile(file);
                QMetaObject::invokeMethod(chooser, "accept");
            }
            if (beside) beside();
        });
}

// A query that takes a while shows its progress from the start, in the workstation's language: the
// lines read so far while they are read, then the steps that follow, and no dialog once it is done.
TEST_F(Dialogs, ASlowQueryShowsItsProgressFromReadingTheLines) {
    install(936);
    wb->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(wb));
    const QStringList seen = progressSeen(wb, [this] { queryThroughTheButton(wb, "F01"); });
    const int lines = wb->dmKrta07S->qryMPSTB->RecordCount();
    ASSERT_GT(lines, 0);
    const qsizetype read = seen.indexOf(QString::fromUtf8("读取排程明细 (%1)").arg(lines));
    ASSERT_GE(read, 0) << seen.join(", ").toStdString();
    EXPECT_GT(seen.indexOf(QString::fromUtf8("建立甘特图 (0/%1)").arg(lines)), read)
        << seen.join(", ").toStdString();
    EXPECT_EQ(wb->findChild<QProgressDialog*>("dlgProgress"), nullptr);
}

// The whole span as PDF pages takes a while on a large factory: its pages are counted as they are
// drawn, and the dialog goes once the file is written.
TEST_F(Dialogs, AWholeSpanExportShowsItsPagesAsTheyAreDrawn) {
    install(936);
    wb->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(wb));
    queryThroughTheButton(wb, "F01");
    ASSERT_GT(wb->dmKrta07S->qryMPSTB->RecordCount(), 0);
    QTemporaryDir dir;
    const QString file = dir.filePath("span.pdf");
    const QStringList seen = spanExportSeen(wb, file);
    ASSERT_TRUE(QFileInfo(file).size() > 0);
    const QStringList counted =
        seen.filter(QRegularExpression(QString::fromUtf8("^导出图表页面 \\(\\d+/\\d+\\)$")));
    ASSERT_GE(counted.size(), 2) << seen.join(", ").toStdString();
    const QString pages = counted.last().section('/', 1).chopped(1);
    EXPECT_EQ(counted.last(), QString::fromUtf8("导出图表页面 (%1/%1)").arg(pages));
    EXPECT_GT(pages.toInt(), 1);
    EXPECT_EQ(wb->findChild<QProgressDialog*>("dlgProgress"), nullptr);
}

// The planner may stop a long export with the progress dialog's Cancel: no half-written file stays,
// no message follows, and the chart shows the window it showed before.
TEST_F(Dialogs, AWholeSpanExportStoppedByThePlannerLeavesNoFile) {
    install(936);
    wb->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(wb));
    queryThroughTheButton(wb, "F01");
    ASSERT_GT(wb->dmKrta07S->qryMPSTB->RecordCount(), 0);
    const double start = wb->mgMPSTC->Start();
    QTemporaryDir dir;
    const QString file = dir.filePath("span.pdf");
    QString button;
    const QStringList seen = spanExportSeen(wb, file, [&] {
        auto* d = wb->findChild<QProgressDialog*>("dlgProgress");
        auto* cancel = d ? d->findChild<QPushButton*>() : nullptr;
        if (button.isEmpty() && cancel && cancel->isVisible()) {
            button = cancel->text();
            QTest::mouseClick(cancel, Qt::LeftButton);
        }
    });
    EXPECT_EQ(button, QString::fromUtf8("取消")) << seen.join(", ").toStdString();
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(messages.isEmpty()) << messages.join(" / ").toStdString();
    EXPECT_EQ(wb->findChild<QProgressDialog*>("dlgProgress"), nullptr);
    EXPECT_EQ(wb->mgMPSTC->Start(), start);
}

// F2 on the workbench's factory lists the factories as the table holds them; a window that cannot read
// them fails without a message.
TEST_F(Dialogs, FactoryWindowOnF2) {
    install(936);
    wb->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(wb));
    TKvADOQuery q;
    q.SetConnection(wb->dmKrta07S->dbKrta07);
    q.SetSQL("INSERT INTO DEMO..CMSMB (MB001, MB002) VALUES ('F00', 'Zero')");
    q.ExecSQL();
    QTimer::singleShot(0, wb, [&] {
        auto* window = wb->findChild<TfrmKrta07SW*>();
        const QModelIndex last = window->dgWin->model()->index(window->dgWin->model()->rowCount() - 1, 0);
        QTest::mouseClick(window->dgWin->viewport(), Qt::LeftButton, {},
                          window->dgWin->visualRect(last).center());
        QTest::mouseClick(window->btnOk, Qt::LeftButton);
    });
    QTest::keyClick(wb->edMB001, Qt::Key_F2);
    EXPECT_EQ(wb->edMB001->text(), "F00");
    q.SetSQL("DROP TABLE DEMO..CMSMB");
    q.ExecSQL();
    QTest::keyClick(wb->edMB001, Qt::Key_F2);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(Dialogs, AnEnglishWorkstationShowsEnglishTexts) {
    install(437);
    ASSERT_TRUE(QFile::exists(FDir.filePath("MultiLanguage/ENG/TfrmKrta07SM.Lng")));
    wb->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(wb));
    EXPECT_EQ(wb->btnQuery->text(), "Query");
    EXPECT_EQ(wb->edMB001->property("Caption").toString(), "Factory");
    EXPECT_EQ(wb->PageControl1->tabBar()->tabText(0), "Schedule");
    EXPECT_EQ(wb->PageControl1->tabBar()->tabText(1), "Capacity");
    EXPECT_EQ(wb->chkMPS->text(), "MPS items");
    // Messages come from the translated lists.
    EXPECT_EQ(wb->Message(9), "This factory does not exist!");
    EXPECT_EQ(wb->SystemMessage(1), "Save the current changes?");
    // So do the line grid's menu and the texts of long work.
    auto* menu = wb->dgMPSTB->findChild<QMenu*>("PopupMenu1");
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->findChild<QAction*>("N1")->text(), "Save view");
    EXPECT_EQ(wb->actExportWindow->text(), "Export chart (visible window)...");
    EXPECT_EQ(wb->actExportSpan->text(), "Export chart (whole span)...");
    const QStringList seen = progressSeen(wb, [this] { queryThroughTheButton(wb, "F01"); });
    EXPECT_TRUE(
        seen.contains(QString("Building the chart (0/%1)").arg(wb->dmKrta07S->qryMPSTB->RecordCount())))
        << seen.join(", ").toStdString();

    QStringList result;
    ask(
        [&](TfrmKrta07SQ& d) {
            EXPECT_EQ(d.edTB036->property("Caption").toString(), "Main resource");
            EXPECT_EQ(d.btnCancel->text(), "Cancel");
            enter(d.edMB001, "ZZ");
        },
        result);
    EXPECT_EQ(messages, QStringList{"This factory does not exist!"});

    // The line grid's titles come from the data module's language file, the series titles of the
    // load charts from the workbench's.
    wb->SetQueryConditions({"F01", {}, {}, {}, {}});
    wb->LoadSchedule("F01");
    const auto header = [this](const char* field) {
        QAbstractItemModel* m = wb->dgMPSTB->model();
        for (int c = 0; c < m->columnCount(); ++c)
            if (wb->dgMPSTB->Column(c) && wb->dgMPSTB->Column(c)->FieldName() == field)
                return m->headerData(c, Qt::Horizontal).toString();
        return QString();
    };
    EXPECT_EQ(header("TB002"), "Priority");
    EXPECT_EQ(header("TB013"), "Scheduled start");
    EXPECT_EQ(header("TB045C"), "Subcontractor name");
    EXPECT_EQ(wb->ctMPSTC->seJZ->label(), "Planned main use");
    EXPECT_EQ(wb->ctMPSTC->LegendPanel->findChildren<QLabel*>().last()->text(), "Planned non-main use");
    wb->PageControl1->setCurrentIndex(1);
    ASSERT_FALSE(wb->ResourceCharts().empty());
    EXPECT_EQ(wb->ResourceCharts()[0]->Series1->label(), "Main use");
    EXPECT_EQ(wb->ResourceCharts()[0]->Series5->name(), "Daily capacity");
    wb->PageControl1->setCurrentIndex(0);

    TfrmKrta07SW window(wb);
    QString code, name;
    QTimer::singleShot(0, &window, [&] {
        EXPECT_EQ(window.windowTitle(), "Factories");
        EXPECT_EQ(window.dgWin->model()->headerData(1, Qt::Horizontal).toString(), "Factory name");
        QTest::mouseClick(window.btnCancel, Qt::LeftButton);
    });
    window.Execute(code, name);
}

TEST_F(Dialogs, ATraditionalWorkstationShowsTheTitlesInItsScript) {
    install(950);
    wb->SetQueryConditions({"F01", {}, {}, {}, {}});
    wb->LoadSchedule("F01");
    EXPECT_EQ(wb->dmKrta07S->qryMPSTBPre->FieldByName("TB002").DisplayLabel(), QStringLiteral("優先順序"));
    EXPECT_EQ(wb->ctMPSTC->seJZ->label(), QStringLiteral("計劃主要耗用"));
    EXPECT_EQ(wb->dgMPSTB->findChild<QMenu*>("PopupMenu1")->findChild<QAction*>("N1")->text(),
              QStringLiteral("保存檢視"));
    EXPECT_EQ(wb->actExportSpan->text(), QStringLiteral("導出圖表(全部期間)..."));
    // The message lists are in the interface's script too: messages and the small chart's title.
    wb->RefreshLoadChart();
    wb->FlushLoadChart();
    EXPECT_TRUE(wb->ctMPSTC->Title().startsWith(QStringLiteral("主要資源:")));
    // The capacity charts' unit, a text of the company, is in the same script as the label before it.
    wb->PageControl1->setCurrentIndex(1);
    ASSERT_FALSE(wb->ResourceCharts().empty());
    QStringList units;
    for (const TKrta07CapacityChart* chart : wb->ResourceCharts())
        for (const QAbstractAxis* axis : chart->chart()->axes(Qt::Vertical))
            units << axis->titleText();
    EXPECT_TRUE(units.contains(QStringLiteral("單位:小時"))) << units.join(" / ").toStdString();
    QStringList result;
    ask([&](TfrmKrta07SQ& d) { enter(d.edMB001, "ZZ"); }, result);
    EXPECT_EQ(messages, QStringList{QStringLiteral("工廠不存在!")});
}

// Names hold characters BIG5 lacks (a rare name character, an emoji): they show as they are, the rest
// of the name in traditional script, and the grid paints without a fault.
TEST_F(Dialogs, ATraditionalWorkstationShowsNamesWithCharactersItsCodePageLacks) {
    install(950);
    QString item;
    {
        TKvADOConnection db;
        db.SetConnectionString(kv::demo::sqliteConnectString(FDir.filePath("DEMO.db")));
        db.Open();
        TKvADOQuery q;
        q.SetConnection(&db);
        q.SetSQL("SELECT MIN(TB006) AS ITEM FROM DEMO..MPSTB WHERE TB001 = 'F01'");
        q.Open();
        item = q.FieldByName("ITEM").AsString().trimmed();
        q.Close();
        q.SetSQL("UPDATE DEMO..INVMB SET MB002 = :NAME WHERE MB001 = :ITEM");
        q.ParamByName("NAME").SetAsString(QStringLiteral("张堃的头发😀"));
        q.ParamByName("ITEM").SetAsString(item);
        ASSERT_EQ(q.ExecSQL(), 1);
    }
    wb->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(wb));
    queryThroughTheButton(wb, "F01");
    kv::TClientDataSet& lines = *wb->dmKrta07S->qryMPSTBPre;
    ASSERT_TRUE(lines.Locate("TB006", item));
    wb->grab();
    EXPECT_EQ(lines.FieldByName("TB006C").DisplayText(), QStringLiteral("張堃的頭髮😀"));
    EXPECT_TRUE(messages.isEmpty()) << messages.join(" / ").toStdString();
}

// On a traditional-Chinese workstation the factory window shows the names in its script, and the
// chosen one goes into the header so.
TEST_F(Dialogs, ATraditionalWorkstationsFactoryWindowShowsTheNamesInItsScript) {
    install(950);
    wb->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(wb));
    QString shown;
    QTimer::singleShot(0, wb, [&] {
        auto* window = wb->findChild<TfrmKrta07SW*>();
        ASSERT_NE(window, nullptr);
        const QModelIndex first = window->dgWin->model()->index(0, 1);
        shown = first.data().toString().trimmed();
        QTest::mouseClick(window->dgWin->viewport(), Qt::LeftButton, {},
                          window->dgWin->visualRect(first).center());
        QTest::mouseClick(window->btnOk, Qt::LeftButton);
    });
    QTest::keyClick(wb->edMB001, Qt::Key_F2);
    EXPECT_EQ(shown, QStringLiteral("第一工廠(總裝)"));
    EXPECT_EQ(wb->edMB001->text(), "F01");
    EXPECT_EQ(wb->lblMB001C->text(), QStringLiteral("第一工廠(總裝)"));
}

// The consumption details of a capacity chart are in the interface's script too: the window's buttons
// and the captions of the plan rows' sources.
TEST_F(Dialogs, ATraditionalWorkstationsConsumptionDetailsAreInItsScript) {
    install(950);
    wb->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(wb));
    queryThroughTheButton(wb, "F01");
    QTabBar* tabs = wb->PageControl1->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    ASSERT_FALSE(wb->ResourceCharts().empty());
    QString title, ok, cancel;
    QSet<QString> sources;
    QTimer::singleShot(0, wb, [&] {
        auto* window = qobject_cast<TfrmKRTA07ST*>(QApplication::activeModalWidget());
        ASSERT_NE(window, nullptr);
        title = window->windowTitle();
        ok = window->btnOk->text();
        cancel = window->btnCancel->text();
        kv::TClientDataSet& plan = *wb->dmKrta07S->qryMPSTF;
        for (plan.First(); !plan.Eof(); plan.Next())
            sources << plan.FieldByName("TF003").DisplayText() + "|" +
                           plan.FieldByName("TF004").DisplayText();
        QTest::mouseClick(window->btnOk, Qt::LeftButton);
    });
    QTest::mouseClick(wb->ResourceCharts()[0]->btnDetail, Qt::LeftButton);
    // The title bar follows the system's code page (936 here), as every form's does.
    EXPECT_EQ(title, QStringLiteral("资源耗用明细"));
    EXPECT_EQ(ok, QStringLiteral("確定"));
    EXPECT_EQ(cancel, QStringLiteral("取消"));
    ASSERT_FALSE(sources.isEmpty());
    const QSet<QString> traditional{QStringLiteral("1:工單"), QStringLiteral("2:計劃 ")};
    const QSet<QString> kinds{QStringLiteral("0.工單"), QStringLiteral("1.訂單"),
                              QStringLiteral("2.銷售預測"), QStringLiteral("3.獨立需求  ")};
    for (const QString& source : sources)
        EXPECT_TRUE(traditional.contains(source.section('|', 0, 0)) && kinds.contains(source.section('|', 1)))
            << source.toStdString();
    EXPECT_TRUE(messages.isEmpty()) << messages.join(" / ").toStdString();
}

// The daily editor's texts are converted with the rest of its form: headers, and the days' remarks
// as the grid cells they are.
TEST_F(Dialogs, ATraditionalWorkstationShowsTheDailyEditorInItsScript) {
    install(950);
    wb->SetQueryConditions({"F01", {}, {}, {}, {}});
    wb->LoadSchedule("F01");
    TMyGantItem* item = wb->mgMPSTC->MyGantList()->Items(0);
    ASSERT_NE(item, nullptr);
    ASSERT_GT(item->CellCount(), 0);
    item->SetDayTexts(item->CellQuantity(0), QStringLiteral("计划备注"), std::floor(item->CellStart(0)));
    QString header, remark;
    QTimer::singleShot(0, wb, [&] {
        auto* d = wb->findChild<TfrmKrta07SC*>();
        ASSERT_NE(d, nullptr);
        header = d->sgTime->model()->headerData(2, Qt::Horizontal).toString();
        remark = d->Cells(2, 1);
        QTest::mouseClick(d->btnCancel, Qt::LeftButton);
    });
    wb->EditDailyQuantities(0);
    EXPECT_EQ(header, QStringLiteral("備註"));
    EXPECT_EQ(remark, QStringLiteral("計劃備註"));

    // Confirmed as shown, the remark goes back as stored; typed in the interface's script, it is
    // stored in the database's.
    wb->btnEditClick();
    QTimer::singleShot(0, wb, [&] {
        auto* d = wb->findChild<TfrmKrta07SC*>();
        ASSERT_NE(d, nullptr);
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
    });
    ASSERT_TRUE(wb->EditDailyQuantities(0));
    EXPECT_EQ(item->CellRemark(0), QStringLiteral("计划备注"));
    QTimer::singleShot(0, wb, [&] {
        auto* d = wb->findChild<TfrmKrta07SC*>();
        ASSERT_NE(d, nullptr);
        d->SetCells(2, 1, QStringLiteral("發貨備註"));
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
    });
    ASSERT_TRUE(wb->EditDailyQuantities(0));
    EXPECT_EQ(item->CellRemark(0), QStringLiteral("发货备注"));
}
