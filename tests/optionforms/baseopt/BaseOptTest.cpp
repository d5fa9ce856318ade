// The batch option form on a demo installation with the host's services and the application server in
// process: job requests for the queue, real time, a set time and periodic patterns, the code page 936
// round trip to the job server, notification defaults, OK's drop-down, Cancel and the period checks.
#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDataStream>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUuid>
#include <gtest/gtest.h>

#include "common/TestSupport.h"
#include "controls/F2Button.h"
#include "controls/KvSpinEdit.h"
#include "frame/SocketConnection.h"
#include "host/demo/DemoCompany.h"
#include "host/services/HostAutomation.h"
#include "host/services/LookupWindow.h"
#include "optionforms/BaseOpt.h"
#include "optionforms/BaseOptControls.h"
#include "optionforms/GeneCondition.h"
#include "optionforms/common/OptionFormTest.h"
#include "platform/DateTime.h"

namespace {

using optiontest::BoxAnswerer;

// A batch program with a factory and a date range of its own.
class TfrmBatch : public TfrmBaseOpt {
public:
    TfrmBatch() {
        setObjectName("frmKRTA07");
        edFactory = new QLineEdit(tsOption1);
        edFactory->setObjectName("edFactory");
        edFrom = new QLineEdit(tsOption1);
        edFrom->setObjectName("edFrom");
        edFrom->move(0, 30);
        edTo = new QLineEdit(tsOption1);
        edTo->setObjectName("edTo");
        edTo->move(0, 60);
    }
    void ConfigureForm() override {
        TfrmBaseOpt::ConfigureForm();
        SetOptionCount(3);
        SetDateFields("edFrom,edTo");
    }
    bool AddOptionLabels(kv::Variant& labels, int index) override {
        if (!TfrmBaseOpt::AddOptionLabels(labels, index)) return false;
        labels.at(1) = kv::Variant::arrayOf({QStringLiteral("工厂"), "edFactory"});
        labels.at(2) = kv::Variant::arrayOf({QStringLiteral("起始日期"), "edFrom"});
        labels.at(3) = kv::Variant::arrayOf({QStringLiteral("截止日期"), "edTo"});
        return true;
    }
    bool AddOptionValues(kv::Variant& values, int index) override {
        if (!TfrmBaseOpt::AddOptionValues(values, index)) return false;
        values.at(1) = edFactory->text();
        values.at(2) = edFrom->text();
        values.at(3) = edTo->text();
        return true;
    }
    QLineEdit *edFactory, *edFrom, *edTo;
};

kv::TDateTime nowValue() {
    const QDateTime now = QDateTime::currentDateTime();
    return QDate(1899, 12, 30).daysTo(now.date()) + now.time().msecsSinceStartOfDay() / 86400000.0;
}

class BaseOptTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new QTemporaryDir;
        kv::demo::DemoOptions options;
        options.lines = 4;
        kv::demo::writeDemoInstallation(dir->path(), options);
    }
    static void TearDownTestSuite() { delete dir; }

    void SetUp() override {
        env = std::make_unique<testsupport::ScopedEnv>("TARNIX_REGISTRY",
                                                       (dir->path() + "/registry.ini").toUtf8());
        tarnix::THostSettings s;
        s.UICodePage = 437;
        host = std::make_shared<tarnix::THostAutomation>(tarnix::TMessageTable::shipped(), s);
    }

    // A form opened as the controller opens it; shown, since users click it.
    QPointer<TfrmBatch> openForm() {
        auto* form = new TfrmBatch;
        form->AfterConstruction();
        form->SetModulePath(dir->path() + "/KRTA07C.so");
        form->setHostApp(kv::Variant(std::static_pointer_cast<kv::Dispatch>(host)));
        EXPECT_TRUE(form->InitializeSession(kv::Variant::arrayOf({"DS", "DEMO", "DEMO", 0, ""})))
            << form->ErrorTexts().toStdString();
        form->show();
        return form;
    }
    // A form of factory F01 with its job made periodic from 15 May 2008.
    QPointer<TfrmBatch> openPeriodicForm() {
        QPointer<TfrmBatch> form = openForm();
        form->edFactory->setText("F01");
        click(form->btnPeriod);
        form->meStartDate->setText("2008/05/15");
        return form;
    }

    // The request the job server keeps for a job, as it arrived.
    static kv::Variant storedRequest(const QString& job) {
        const QString name = QUuid::createUuid().toString();
        kv::Variant request;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
            db.setDatabaseName(dir->path() + "/DEMO.db");
            EXPECT_TRUE(db.open());
            QSqlQuery q(db);
            q.prepare("SELECT JB009 FROM KVRJOB WHERE JB001 = ?");
            q.addBindValue(job);
            if (q.exec() && q.next()) {
                QByteArray bytes = QByteArray::fromBase64(q.value(0).toString().toLatin1());
                QDataStream in(&bytes, QIODevice::ReadOnly);
                request = kv::wire::readVariant(in);
            }
        }
        QSqlDatabase::removeDatabase(name);
        return request;
    }

    // Near the left edge: check boxes and radio buttons take clicks on their box and caption only.
    static void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(8, w->height() / 2)); }

    static inline QTemporaryDir* dir = nullptr;
    std::unique_ptr<testsupport::ScopedEnv> env;
    std::shared_ptr<tarnix::THostAutomation> host;
};

} // namespace

TEST_F(BaseOptTest, MonthlyJobStartsOnItsFirstRunWithMovedDates) {
    BoxAnswerer boxes;
    QPointer<TfrmBatch> form = openForm();
    ASSERT_TRUE(form);
    EXPECT_EQ(form->HeaderSize(), 12);
    EXPECT_EQ(form->DateFields(), "edFrom,edTo,edDate,meStartDate,meEndDate,edPrintDate");
    form->edFactory->setText("F01");
    form->edFrom->setText("2008/05/01");
    form->edTo->setText("2008/05/31");

    click(form->btnPeriod);
    ASSERT_TRUE(form->btnPeriod->isChecked());
    EXPECT_EQ(form->pgOption->currentWidget(), form->tsPeriodOption);
    EXPECT_TRUE(form->pgOption->isTabVisible(form->pgOption->indexOf(form->tsPeriodOption)));
    EXPECT_FALSE(form->grpGenTime->isEnabled());
    EXPECT_TRUE(form->rdoExceptTime->isChecked());
    // The module's date options, captioned as their labels; the framework's own are left out.
    ASSERT_EQ(form->cbocondition->count(), 2);
    EXPECT_EQ(form->cbocondition->itemText(0), QStringLiteral("起始日期"));
    EXPECT_EQ(form->meDay->Text(), "1");

    form->meStartDate->setText("2008/05/15");
    form->rdoEveryMonth->setChecked(true);
    form->rdomonth_1->setChecked(true);
    form->meMonth_D->SetText("10");
    form->sePeriodHour->SetText("8");
    form->sePeriodMin->SetText("30");
    // From: ten days before the run; to: the last day of the run's month.
    form->cbocondition->setCurrentIndex(0);
    form->chkBeginVariable->setChecked(true);
    form->cboBeginUnit->setCurrentIndex(1);
    form->cboBeginKind->setCurrentIndex(0);
    form->seBeginDays->SetText("-10");
    form->cbocondition->setCurrentIndex(1);
    form->chkBeginVariable->setChecked(true);
    form->cboBeginUnit->setCurrentIndex(1);
    form->cboBeginKind->setCurrentIndex(2);
    ASSERT_EQ(form->FPeriodDateSettings.size(), 2);
    EXPECT_EQ(form->FPeriodDateSettings.at(0), QString("1\x03"
                                                       "edFrom\x03Y\x03"
                                                       "0\x03"
                                                       "1\x03"
                                                       "0\x03-10\x03"
                                                       "D"));

    // "Process and stay": the job goes out and the form stays for the next one.
    form->miStayAfterOK->trigger();
    ASSERT_TRUE(form);
    EXPECT_EQ(form->ResultCode(), 1) << form->ErrorTexts().toStdString();
    const QString job = kv::varToStr(form->ResultData());
    EXPECT_EQ(job.size(), 14);
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_EQ(boxes.texts().first().trimmed(), "The job was submitted. Job number: " + job);

    const kv::Variant& request = form->JobRequest();
    ASSERT_EQ(request.highBound(), 4);
    const kv::Variant& header = request.at(0);
    EXPECT_EQ(kv::varToStr(header.at(9)), "r"); // periodic
    EXPECT_EQ(header.at(10).toInt(), 2);
    EXPECT_EQ(kv::formatDateTime("yyyymmdd hh:nn:ss", header.at(11).toDate()), "20080610 08:30:00");
    EXPECT_EQ(form->FFirstRunDate, "20080610");
    const kv::Variant& values = request.at(2);
    EXPECT_EQ(kv::varToStr(values.at(1)), "F01");
    EXPECT_EQ(kv::varToStr(values.at(2)), "20080531");
    EXPECT_EQ(kv::varToStr(values.at(3)), "20080630");
    const kv::Variant& period = request.at(3);
    EXPECT_EQ(kv::varToStr(period.at(0)), "Y");
    EXPECT_EQ(kv::varToStr(period.at(1)), "08:30");
    EXPECT_EQ(period.at(2), kv::Variant::arrayOf({2, kv::Variant::arrayOf({0, "1", "10"})}));
    EXPECT_EQ(period.at(3), kv::Variant::arrayOf({"20080515", 0}));
    const kv::Variant& dynamic = request.at(4);
    EXPECT_EQ(dynamic.at(0).toInt(), 2);
    EXPECT_TRUE(kv::varToStr(dynamic.at(1)).endsWith(QString(QChar(3)) + "2"));
    EXPECT_TRUE(kv::varToStr(dynamic.at(2)).endsWith(QString(QChar(3)) + "3"));

    // The job server got the texts as code page 936 bytes.
    const kv::Variant stored = storedRequest(job);
    ASSERT_TRUE(stored.isArray());
    const kv::Variant& label = stored.at(1).at(1);
    EXPECT_EQ(label.at(0).type(), kv::VarType::ByteString);
    EXPECT_EQ(label.at(0).codePage(), 936);
    EXPECT_EQ(label.at(0).toString(), QStringLiteral("工厂"));
    EXPECT_EQ(kv::varToStr(stored.at(2).at(3)), "20080630");

    // Released: back to the queue and the plain page.
    click(form->btnPeriod);
    EXPECT_FALSE(form->pgOption->isTabVisible(form->pgOption->indexOf(form->tsPeriodOption)));
    EXPECT_TRUE(form->rdoQueue->isChecked());
    EXPECT_TRUE(form->grpGenTime->isEnabled());
    delete form;
}

TEST_F(BaseOptTest, HourlyPatternSendsTheCurrentTime) {
    BoxAnswerer boxes;
    QPointer<TfrmBatch> form = openPeriodicForm();
    form->rbEveryHour->setChecked(true);
    form->edEveryHour->setText("2");
    const kv::TDateTime before = nowValue();
    ASSERT_TRUE(form->BuildJobRequest()) << form->ErrorTexts().toStdString();
    const kv::Variant& header = form->JobRequest().at(0);
    EXPECT_EQ(header.at(10).toInt(), 2);
    EXPECT_GE(header.at(11).toDate(), before - 1e-6);
    EXPECT_LE(header.at(11).toDate(), nowValue() + 1e-6);
    EXPECT_EQ(form->JobRequest().at(3).at(2), kv::Variant::arrayOf({3, 2.0}));
    EXPECT_EQ(form->FFirstRunDate, "20080515");

    // An hour count that is no number stops the header with the date message.
    form->edEveryHour->setText("x");
    EXPECT_FALSE(form->BuildJobRequest());
    ASSERT_FALSE(boxes.texts().isEmpty());
    EXPECT_TRUE(boxes.texts().last().startsWith("The date is not valid. The scheduled run date"));
    delete form;
}

TEST_F(BaseOptTest, GenerationModesNotificationAndEndDateCheck) {
    BoxAnswerer boxes;
    QPointer<TfrmBatch> form = openForm();
    form->edFactory->setText("F01");
    const kv::TDateTime before = nowValue();
    ASSERT_TRUE(form->BuildJobRequest());
    EXPECT_EQ(form->JobRequest().at(0).at(10).toInt(), 0); // the queue
    EXPECT_GE(form->JobRequest().at(0).at(11).toDate(), before - 1e-6);
    EXPECT_EQ(kv::varToStr(form->JobRequest().at(0).at(9)), "R");
    EXPECT_EQ(kv::varToStr(form->JobRequest().at(0).at(12)), "");
    form->pgOption->setCurrentWidget(form->tsOption2);
    click(form->rdoRealTime);
    ASSERT_TRUE(form->BuildJobRequest());
    EXPECT_EQ(form->JobRequest().at(0).at(10).toInt(), 1);

    // A set time: the date in the form's order with the hour, minute and second.
    click(form->rdoExceptTime);
    form->edDate->setText("2026/12/24");
    form->edHour->SetText("18");
    form->edMin->SetText("5");
    ASSERT_TRUE(form->BuildJobRequest());
    EXPECT_EQ(kv::formatDateTime("yyyymmdd hh:nn:ss", form->JobRequest().at(0).at(11).toDate()),
              "20261224 18:05:00");

    // Ticking the notification proposes the user alone; the button follows the box.
    EXPECT_FALSE(form->btnNotify->isEnabled());
    click(form->chkNotify);
    EXPECT_TRUE(form->btnNotify->isEnabled());
    EXPECT_TRUE(form->FNotifyXML.contains("encoding=\"GB2312\""));
    EXPECT_TRUE(form->FNotifyXML.contains("<R1 ID=\"DS\" Name=\"\" Type=\"5\" Msg=\"YNN\"/>"));
    form->FNotifyXML = "<Root><R1 ID=\"X\"/></Root>";
    click(form->chkNotify);
    click(form->chkNotify);
    EXPECT_EQ(form->FNotifyXML, "<Root><R1 ID=\"X\"/></Root>"); // an existing list is kept
    form->ChooseRecipients = [](TfrmBaseOpt*, const QString& xml) { return xml + "<!--chosen-->"; };
    click(form->btnNotify);
    EXPECT_TRUE(form->FNotifyXML.endsWith("<!--chosen-->"));
    ASSERT_TRUE(form->BuildJobRequest());
    EXPECT_EQ(kv::varToStr(form->JobRequest().at(0).at(12)), form->FNotifyXML);

    // An end date before the start is refused with both captions.
    click(form->btnPeriod);
    form->meStartDate->setText("2008/05/15");
    form->rbCycleRang_3->setChecked(true);
    form->meEndDate->setText("2008/05/01");
    const qsizetype shown = boxes.texts().size();
    EXPECT_FALSE(form->BuildJobRequest());
    ASSERT_EQ(boxes.texts().size(), shown + 1);
    EXPECT_EQ(boxes.texts().last().trimmed(), QStringLiteral("开始日期 must not be later than 退出日期."));
    EXPECT_TRUE(form->PendingFailure());
    form->meEndDate->setText("2008/08/01");
    ASSERT_TRUE(form->BuildJobRequest());
    EXPECT_EQ(form->JobRequest().at(3).at(3), kv::Variant::arrayOf({"20080515", 2, "20080801"}));

    // Cancel: the outcome is "cancelled" and the form goes.
    click(form->btnCancel);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(form.isNull());
}

// Keys move over the pages whose tab shows; the set time's date has its quick-pick; a periodic range
// that was refused stops nothing once the periodic page is gone.
TEST_F(BaseOptTest, HiddenPeriodicPageIsNoStopAndTheSetTimeHasItsDatePicker) {
    BoxAnswerer boxes;
    QPointer<TfrmBatch> form = openForm();
    QApplication::setActiveWindow(form);
    QTabWidget* pages = form->pgOption;
    const int system = pages->indexOf(form->tsOption2), periodic = pages->indexOf(form->tsPeriodOption);
    ASSERT_FALSE(pages->isTabVisible(periodic));
    const int count = pages->count();
    // Ctrl+Tab and Ctrl+Shift+Tab go round every shown page and never show the periodic one.
    QList<int> seen;
    for (int i = 0; i < count; ++i) {
        QTest::keyClick(pages->currentWidget(), Qt::Key_Tab, Qt::ControlModifier);
        seen << pages->currentIndex();
    }
    for (int i = 0; i < count; ++i) {
        QTest::keyClick(pages->currentWidget(), Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier);
        seen << pages->currentIndex();
    }
    EXPECT_FALSE(seen.contains(periodic)) << seen.size();
    EXPECT_TRUE(seen.contains(system));

    // The set time's date from the host's date quick-pick.
    pages->setCurrentIndex(system);
    click(form->rdoExceptTime);
    optiontest::pickDay(form->btnDate, QDate(2026, 12, 24));
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->edDate->text() == "2026/12/24"; }, 5000))
        << form->edDate->text().toStdString();

    // A refused range holds the form's pending failure while its page is there, and no longer after.
    click(form->btnPeriod);
    form->meStartDate->setText("2008/05/15");
    form->rbCycleRang_3->setChecked(true);
    form->meEndDate->setText("2008/05/01");
    EXPECT_FALSE(form->BuildJobRequest());
    EXPECT_TRUE(form->PendingFailure());
    click(form->btnPeriod);
    EXPECT_FALSE(pages->isTabVisible(periodic));
    EXPECT_FALSE(form->PendingFailure());
    delete form;
}

TEST_F(BaseOptTest, RunRequestRecordsTheJobWithoutAMessage) {
    BoxAnswerer boxes;
    QPointer<TfrmBatch> form = openForm();
    int result = 0;
    QString data;
    form->setOnDestroy({[&](QObject*) {
        result = form->ResultCode();
        data = kv::varToStr(form->ResultData());
    }});
    const kv::Variant labels =
        kv::Variant::arrayOf({kv::Variant::arrayOf({QStringLiteral("工厂"), "edFactory"})});
    const kv::Variant values = kv::Variant::arrayOf({"F02"});
    const kv::Variant request =
        kv::Variant::arrayOf({2, kv::Variant::arrayOf({true, kv::Variant::arrayOf({labels, values})})});
    form->RunRequest(kv::Variant::arrayOf({false, request}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(form.isNull()); // closed after OK
    EXPECT_EQ(result, 1);
    EXPECT_EQ(data.size(), 14);
    EXPECT_TRUE(boxes.texts().isEmpty());
    const kv::Variant stored = storedRequest(data);
    ASSERT_TRUE(stored.isArray());
    EXPECT_EQ(kv::varToStr(stored.at(2).at(1)), "F02");
}

// The job server's reason is shown whole, a ";" in it included.
TEST_F(BaseOptTest, RefusedJobShowsTheServersWholeReason) {
    BoxAnswerer boxes;
    QPointer<TfrmBatch> form = openForm();
    form->edFactory->setText("F01");
    auto standIn = std::make_shared<optiontest::ServerStandIn>(form->AppServer());
    standIn->answer("Request", [](kv::VariantArgs&) { return kv::Variant("ERROR"); });
    standIn->answer("ErrorDescript", [](kv::VariantArgs&) { return kv::Variant("queue full; try later"); });
    form->SetAppServer(standIn);
    QTest::mouseClick(form->btnOk, Qt::LeftButton);
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_EQ(boxes.texts()[0].trimmed(), "The server could not process the request:\rqueue full, try later");
    EXPECT_EQ(form->ResultCode(), 0);
    delete form;
}

// A job that ends on a date cannot go without one: OK says which field is missing, or that the date
// is not one, and sends nothing.
TEST_F(BaseOptTest, PeriodicJobEndingOnADateNeedsTheDate) {
    BoxAnswerer boxes;
    QPointer<TfrmBatch> form = openPeriodicForm();
    form->rbCycleRang_3->setChecked(true);
    form->pgOption->setCurrentIndex(0);
    QTest::mouseClick(form->btnOk, Qt::LeftButton);
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_EQ(boxes.texts()[0].trimmed(), QStringLiteral("This field must not be empty.\r退出日期"));
    EXPECT_EQ(form->pgOption->currentWidget(), form->tsPeriodOption);
    EXPECT_EQ(form->focusWidget(), form->meEndDate);
    EXPECT_EQ(form->ResultCode(), 0);

    form->meEndDate->setText("2008/99/99");
    QTest::mouseClick(form->btnOk, Qt::LeftButton);
    ASSERT_EQ(boxes.texts().size(), 2);
    EXPECT_EQ(boxes.texts()[1].trimmed(), "The date is not valid. 2008/99/99");
    EXPECT_EQ(form->ResultCode(), 0);

    form->meEndDate->setText("2008/08/01");
    QTest::mouseClick(form->btnOk, Qt::LeftButton);
    EXPECT_EQ(form->ResultCode(), 1) << form->ErrorTexts().toStdString();
    delete form;
}

// A required option left empty while the job is periodic: the refusal releases the periodic button as
// the user would, so that the plain job that remains can be sent once the option is filled.
TEST_F(BaseOptTest, RequiredOptionMissingReleasesThePeriodicJob) {
    BoxAnswerer boxes;
    QPointer<TfrmBatch> form = openForm();
    form->FCloseAfterOK = false;
    form->SetRequiredFields("edFactory;0");
    form->edFactory->setText("F01");
    click(form->btnPeriod);
    ASSERT_TRUE(form->btnPeriod->isChecked());
    form->meStartDate->setText("2008/05/15");
    form->edFactory->clear();
    QTest::mouseClick(form->btnOk, Qt::LeftButton);
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_EQ(boxes.texts()[0].trimmed(), "This field must not be empty.");
    EXPECT_FALSE(form->btnPeriod->isChecked());
    EXPECT_FALSE(form->pgOption->isTabVisible(form->pgOption->indexOf(form->tsPeriodOption)));
    EXPECT_EQ(form->pgOption->currentWidget(), form->tsOption1);
    EXPECT_EQ(form->focusWidget(), form->edFactory);
    EXPECT_TRUE(form->grpGenTime->isEnabled());
    EXPECT_TRUE(form->rdoQueue->isChecked());
    EXPECT_EQ(form->RequiredFields(), "edFactory;0");

    QTest::keyClicks(form->edFactory, "F01");
    QTest::mouseClick(form->btnOk, Qt::LeftButton);
    EXPECT_EQ(form->ResultCode(), 1) << form->ErrorTexts().toStdString();
    ASSERT_EQ(boxes.texts().size(), 2) << boxes.texts().join('|').toStdString();
    const kv::Variant stored = storedRequest(kv::varToStr(form->ResultData()));
    ASSERT_TRUE(stored.isArray());
    EXPECT_EQ(stored.highBound(), 2); // no period
    EXPECT_EQ(stored.at(0).at(10).toInt(), 0);
    EXPECT_EQ(kv::varToStr(stored.at(0).at(9)), "R");
    delete form;
}

// OK's drop-down presses OK as a click on it would, also with the focus on Cancel: the job number, or
// the server's refusal, is shown.
TEST_F(BaseOptTest, DropDownItemsPressOkWhileCancelHasTheFocus) {
    BoxAnswerer boxes;
    QPointer<TfrmBatch> form = openForm();
    QApplication::setActiveWindow(form);
    form->edFactory->setText("F01");
    const auto pickStay = [&form] {
        form->btnCancel->setFocus();
        QTimer::singleShot(50, [&form] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(form->miStayAfterOK).center());
        });
        QTest::mouseClick(form->btnSpd, Qt::LeftButton);
        QTest::qWait(300);
    };
    pickStay();
    ASSERT_FALSE(form.isNull());
    EXPECT_EQ(form->ResultCode(), 1);
    const QString job = kv::varToStr(form->ResultData());
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_TRUE(boxes.texts()[0].contains(job)) << boxes.texts()[0].toStdString();
    EXPECT_TRUE(form->ErrorTexts().contains(job));

    auto standIn = std::make_shared<optiontest::ServerStandIn>(form->AppServer());
    standIn->answer("Request", [](kv::VariantArgs&) { return kv::Variant("ERROR"); });
    standIn->answer("ErrorDescript", [](kv::VariantArgs&) { return kv::Variant("queue full"); });
    form->SetAppServer(standIn);
    pickStay();
    ASSERT_EQ(boxes.texts().size(), 2);
    EXPECT_TRUE(boxes.texts()[1].contains("queue full")) << boxes.texts()[1].toStdString();
    EXPECT_TRUE(form->ErrorTexts().contains("queue full"));
    delete form;
}

namespace {
// The batch program with a year-month option as well.
class TfrmMonthly : public TfrmBatch {
public:
    TfrmMonthly() {
        edMonth = new QLineEdit(tsOption1);
        edMonth->setObjectName("edMonth");
        edMonth->move(0, 90);
    }
    void ConfigureForm() override {
        TfrmBatch::ConfigureForm();
        SetYearMonthFields("edMonth");
    }
    QLineEdit* edMonth;
};
} // namespace

// A year-month of a scheme comes back as the user typed it, in a three-digit Minguo year too.
TEST_F(BaseOptTest, SchemesShowYearMonthsInTheCompanysOrder) {
    const auto sql = [](const QString& statement) {
        const QString name = QUuid::createUuid().toString();
        QString first;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
            db.setDatabaseName(dir->path() + "/DEMO.db");
            EXPECT_TRUE(db.open());
            QSqlQuery q(db);
            EXPECT_TRUE(q.exec(statement)) << statement.toStdString();
            if (q.next()) first = q.value(0).toString();
        }
        QSqlDatabase::removeDatabase(name);
        return first;
    };
    const QString order = sql("SELECT MA001 FROM CMSMA");
    sql("UPDATE CMSMA SET MA001 = '5'");
    const auto restore = qScopeGuard([&] {
        sql("UPDATE CMSMA SET MA001 = '" + order + "'");
        sql("DELETE FROM KVRCON WHERE CN003 = 'MONTHS'");
    });
    BoxAnswerer boxes;
    auto* form = new TfrmMonthly;
    form->AfterConstruction();
    form->SetModulePath(dir->path() + "/KRTA07C.so");
    form->setHostApp(kv::Variant(std::static_pointer_cast<kv::Dispatch>(host)));
    ASSERT_TRUE(form->InitializeSession(kv::Variant::arrayOf({"DS", "DEMO", "DEMO", 0, ""})));
    form->show();
    ASSERT_EQ(form->DateOrder(), 5);
    QApplication::setActiveWindow(form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    form->edMonth->setFocus();
    QTest::keyClicks(form->edMonth, "97/05");
    QTest::keyClick(form->edMonth, Qt::Key_Tab);
    EXPECT_EQ(form->edMonth->text(), "097/05");

    optiontest::whileModal([](QWidget* modal) {
        auto* dialog = qobject_cast<TfrmGeneCondition*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->edConName->insert("MONTHS");
        QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
    });
    QTest::mouseClick(form->btnInsert, Qt::LeftButton);
    form->edMonth->clear();
    const QList<QTreeWidgetItem*> found = form->lstCondition->findItems("MONTHS", Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    QTest::mouseClick(form->lstCondition->viewport(), Qt::LeftButton, {},
                      form->lstCondition->visualItemRect(found.first()).center());
    QTest::mouseClick(form->btnOpen, Qt::LeftButton);
    EXPECT_EQ(form->edMonth->text(), "097/05");
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
    delete form;
}

// Enter walks through a page's own controls in tab order, spin edits and the ticked option button
// included, then on to the next page; on a push button it presses it.
TEST_F(BaseOptTest, EnterMovesThroughThePagesAndPressesButtons) {
    BoxAnswerer boxes;
    QPointer<TfrmBatch> form = openForm();
    form->FCloseAfterOK = false;
    form->edFactory->setText("F01");
    QApplication::setActiveWindow(form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    const auto walk = [](QWidget* from, int steps) {
        from->setFocus();
        QStringList path;
        for (int i = 0; i < steps; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QWidget* f = QApplication::focusWidget();
            // The inner edit of a spin box stands for it.
            if (f && f->parentWidget() && f->parentWidget()->focusProxy() == f) f = f->parentWidget();
            path << (f ? f->objectName() : QString());
        }
        return path;
    };
    form->pgOption->setCurrentWidget(form->tsOption2);
    // The last control of the last shown page keeps the focus.
    EXPECT_EQ(walk(form->edPrintDate, 7),
              QStringList({"rdoQueue", "edDate", "edHour", "edMin", "edSec", "chkNotify", "chkNotify"}));
    EXPECT_EQ(form->pgOption->currentWidget(), form->tsOption2);
    click(form->rdoExceptTime);
    EXPECT_EQ(walk(form->edPrintDate, 2), QStringList({"rdoExceptTime", "edDate"}));

    click(form->btnPeriod);
    form->meStartDate->setText("2008/05/15");
    form->pgOption->setCurrentWidget(form->tsOption2);
    walk(form->chkNotify, 1);
    EXPECT_EQ(form->pgOption->currentWidget(), form->tsPeriodOption);
    EXPECT_EQ(walk(form->sePeriodHour, 14),
              QStringList({"sePeriodMin", "rdoEveryday", "meDay", "meStartDate", "rbCycleRang_1",
                           "meCycleRang_2", "meEndDate", "cbocondition", "chkBeginVariable", "seBeginOffset",
                           "cboBeginUnit", "cboBeginKind", "seBeginDays", "seBeginDays"}));
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();

    form->btnOk->setFocus();
    QTest::keyClick(form->btnOk, Qt::Key_Return);
    EXPECT_EQ(form->ResultCode(), 1) << form->ErrorTexts().toStdString();
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_TRUE(boxes.texts()[0].contains(kv::varToStr(form->ResultData())))
        << boxes.texts()[0].toStdString();
    delete form;
}
