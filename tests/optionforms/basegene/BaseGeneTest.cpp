// The general option form and its report kind: the session on a demo installation with the host's
// services, the application server in process and over TCP, message codes, keys and job requests.
#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

#include "controls/F2Button.h"
#include "controls/SelectPnl.h"
#include "frame/DLLRPCtrller.h"
#include "frame/KvADO.h"
#include "frame/SocketConnection.h"
#include "host/demo/DemoCompany.h"
#include "host/services/HostAutomation.h"
#include "host/services/HostServices.h"
#include "host/services/LookupWindow.h"
#include "optionforms/BaseRpt.h"
#include "optionforms/common/OptionFormTest.h"
#include "platform/data/ClientDataSet.h"

namespace {

using optiontest::BoxAnswerer;

// A host that records help calls on top of the real one.
class THelpRecorder : public tarnix::THostAutomation {
public:
    THelpRecorder() : THostAutomation(tarnix::TMessageTable::shipped(), settings()) {
        addMember("CallHelp", [this](kv::VariantArgs& a) {
            helpCalls << kv::varToStr(a.at(0).at(0)) + "/" + kv::varToStr(a.at(0).at(1));
            return kv::Variant();
        });
    }
    kv::Variant invoke(const QString& name, kv::VariantArgs& args) override {
        if (log) *log << name;
        return THostAutomation::invoke(name, args);
    }
    static tarnix::THostSettings settings() {
        tarnix::THostSettings s;
        s.UICodePage = 437;
        s.VersionType = 2;
        s.ProductID = 1;
        return s;
    }
    QStringList helpCalls;
    // The host members called, in order, while a log is given.
    QStringList* log = nullptr;
};

// The module's main form, of a chosen kind, with one option of its own.
template <class Kind> class TfrmOptions : public Kind {
public:
    explicit TfrmOptions(QWidget* owner = nullptr) : Kind(owner) {
        this->setObjectName("frmKRTA07");
        edFactory = new QLineEdit(this->tsOption1);
        edFactory->setObjectName("edFactory");
        edFactory->move(10, 10);
        edNote = new QLineEdit(this->tsOption1);
        edNote->setObjectName("edNote");
        edNote->move(10, 40);
    }
    void ConfigureForm() override {
        Kind::ConfigureForm();
        this->SetOptionCount(1);
    }
    bool AddOptionLabels(kv::Variant& labels, int index) override {
        if (!Kind::AddOptionLabels(labels, index)) return false;
        labels.at(1) = kv::Variant::arrayOf({"工厂", "edFactory"});
        for (int i = 2; i <= index; ++i)
            labels.at(i) = kv::Variant::arrayOf({"系统", "sys" + QString::number(i)});
        return true;
    }
    bool AddOptionValues(kv::Variant& values, int index) override {
        if (!Kind::AddOptionValues(values, index)) return false;
        values.at(1) = edFactory->text();
        for (int i = 2; i <= index; ++i)
            values.at(i) = QString::number(i);
        return true;
    }
    bool RunMode(int mode) override {
        runModes << mode;
        return true;
    }
    void setProgramCode(const QString& code) { this->FProgramCode = code; }
    using Kind::SetYearMonthFields;
    QList<int> runModes;
    int okClicks = 0;
    QLineEdit* edFactory;
    QLineEdit* edNote;

protected:
    void btnOkClick() override { ++okClicks; }
};

using TfrmKRTA07 = TfrmOptions<TfrmBaseRpt>;
using TfrmGene = TfrmOptions<TfrmBaseGene>;

class BaseGeneTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { install = new optiontest::DemoInstallation(4); }
    static void TearDownTestSuite() { delete install; }

    void SetUp() override { host = std::make_shared<THelpRecorder>(); }

    // A form as the controller opens it, from a library in the installation.
    template <class Form = TfrmKRTA07> std::unique_ptr<Form> makeForm(const QString& library = "KRTA07C.so") {
        auto form = std::make_unique<Form>();
        form->AfterConstruction();
        form->SetModulePath(install->path() + "/" + library);
        form->setHostApp(kv::Variant(std::static_pointer_cast<kv::Dispatch>(host)));
        return form;
    }
    static kv::Variant params(int count = 5) {
        QList<kv::Variant> all{"DS", "DEMO", "DEMO", 0, "extra"};
        std::vector<kv::Variant> v(all.begin(), all.begin() + count);
        return kv::Variant::arrayOf(v);
    }
    void writeClientServer(const QString& address, int port) { install->setServer(address, port); }

    static inline optiontest::DemoInstallation* install = nullptr;
    std::shared_ptr<THelpRecorder> host;
};

} // namespace

TEST_F(BaseGeneTest, ReportKindSessionOnTheDemoInstallation) {
    writeClientServer("127.0.0.1", 211);
    BoxAnswerer boxes;
    auto form = makeForm();
    ASSERT_TRUE(form->InitializeSession(params())) << form->ErrorTexts().toStdString();
    EXPECT_TRUE(boxes.texts().isEmpty());
    EXPECT_EQ(form->ProgramCode(), "KRTA07");
    EXPECT_EQ(form->ServerProgID(), "KRTA07S.Class1");
    EXPECT_EQ(form->ProgramName(), QStringLiteral("MPS排程工作台"));
    EXPECT_FALSE(form->WantLog());
    EXPECT_EQ(form->VersionCode(), "8.0.1");
    EXPECT_EQ(form->HostVersionType(), 2);
    EXPECT_EQ(form->ProductID(), 1);
    // The report kind's settings and what the batch kind loads when it opens.
    EXPECT_EQ(form->HeaderSize(), 14);
    EXPECT_EQ(form->SystemOptionCount(), 4);
    EXPECT_EQ(form->OptionCount(), 5);
    EXPECT_TRUE(form->LocalServer());
    ASSERT_TRUE(form->AppServer());
    EXPECT_EQ(form->MainMidas->ServerName, "ReportCounterS.dmReportCounter");
    EXPECT_TRUE(form->LookupService());
    EXPECT_TRUE(form->ValidatorService());
    EXPECT_EQ(form->FRights, "YYYYYYYY");
    EXPECT_FALSE(form->isVisible());
    // System settings with the category defaults for the missing fourth scheme.
    EXPECT_EQ(form->GetSysSetting("sys007"), QStringLiteral("产品大类"));
    EXPECT_EQ(form->GetSysSetting("SYS010"), QStringLiteral("商品分类方式四"));
    EXPECT_EQ(form->GetSysSetting("NOPE"), "");
    EXPECT_EQ(form->DateOrder(), 1);

    // Shown: the caption carries the version code.
    form->show();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("MPS排程工作台[8.0.1]"));
    EXPECT_GE(form->width(), 315);

    // A second initialisation is refused and leaves the session alone.
    EXPECT_FALSE(form->InitializeSession(kv::Variant::arrayOf({"X", "Y", "Z", 0, ""})));
    EXPECT_EQ(form->UserID(), "DS");
    EXPECT_EQ(form->CompanyID(), "DEMO");
}

TEST_F(BaseGeneTest, FourParametersShowTheMessageAndStillConnect) {
    writeClientServer("127.0.0.1", 211);
    BoxAnswerer boxes;
    auto form = makeForm();
    EXPECT_TRUE(form->InitializeSession(params(4)));
    EXPECT_TRUE(form->ErrorCodes().startsWith("E;000038; "));
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_EQ(boxes.texts().first().trimmed(),
              "The client passed incomplete parameters; the program will close.");
    EXPECT_TRUE(form->AppServer());
    // The posted close frees the form once the host's loop runs.
    QPointer<TfrmKRTA07> closing(form.release());
    QTest::qWait(20);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closing.isNull());

    auto three = makeForm();
    three->InitializeSession(params(3));
    EXPECT_EQ(three->HostWindow(), 0);
    three.release()->deleteLater();
}

TEST_F(BaseGeneTest, WrongFormNameSkipsTheServerAndTheRights) {
    writeClientServer("127.0.0.1", 211);
    BoxAnswerer boxes;
    auto form = makeForm("MPSB01C.so");
    EXPECT_TRUE(form->InitializeSession(params())); // the base steps answer true, the close is posted
    EXPECT_TRUE(form->ErrorCodes().contains("E;000036"));
    EXPECT_FALSE(form->AppServer());
    EXPECT_TRUE(form->FRights.isEmpty());     // no GetPower
    EXPECT_EQ(form->ProgramName(), "MPSB01"); // no ADMMB row
    form.release()->deleteLater();
}

TEST_F(BaseGeneTest, RefusedConnectionGivesMessageSix) {
    QTcpServer probe; // a port nobody listens on once the probe is closed
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const int port = probe.serverPort();
    probe.close();
    writeClientServer("localhost", port);
    BoxAnswerer boxes;
    auto form = makeForm();
    EXPECT_FALSE(form->InitializeSession(params()));
    EXPECT_TRUE(form->ErrorCodes().contains("E;-1; E;000006; "));
    EXPECT_FALSE(form->LocalServer());
    ASSERT_FALSE(boxes.texts().isEmpty());
    // The message, then why on a line of its own.
    const QString text = boxes.texts().last().trimmed();
    EXPECT_TRUE(text.startsWith("Cannot connect to the application server; the program will close.\r"))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QString("localhost:%1").arg(port))) << text.toStdString();
    form.release()->deleteLater();
}

TEST_F(BaseGeneTest, ServerProgramOverTcp) {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const int port = probe.serverPort();
    probe.close();
    QProcess server;
    server.start(testsupport::binDir() + "/tarnix-appserver",
                 {"--install", install->path(), "--port", QString::number(port)});
    ASSERT_TRUE(server.waitForReadyRead(20000)) << server.readAllStandardError().toStdString();
    writeClientServer("localhost", port);
    {
        BoxAnswerer boxes;
        auto form = makeForm();
        ASSERT_TRUE(form->InitializeSession(params()))
            << form->ErrorTexts().toStdString() << " " << server.readAllStandardError().toStdString();
        EXPECT_FALSE(form->LocalServer());
        EXPECT_TRUE(form->MainMidas->Connected());
        EXPECT_EQ(form->FRights, "YYYYYYYY");
        // A job request travels to the server and is kept in the company database.
        kv::Variant header = kv::Variant::array(1, 9);
        for (int i = 1; i <= 9; ++i)
            header.at(i) = QString::number(i);
        header.at(1) = "KRTA07";
        const kv::Variant request =
            kv::Variant::arrayOf({header, kv::Variant::arrayOf({kv::Variant::arrayOf({"工厂", "edFactory"})}),
                                  kv::Variant::arrayOf({"F01"})});
        const QString id = kv::varToStr(form->AppServer()->call("Request1", {request, QString("ws1")}));
        EXPECT_EQ(id.size(), 14);
        EXPECT_EQ(kv::varToStr(form->AppServer()->call("UpdateStatus1", {id, QString(), 46000.5})), "");
        EXPECT_THROW(form->AppServer()->call("SimpleSQL", {QString("DELETE FROM KVRJOB")}), kv::EOleError);
        const kv::Variant rows = form->AppServer()->call(
            "SimpleSQL", {QString("SELECT JB002, JB006 FROM KVRJOB WHERE JB001 = '%1'").arg(id)});
        ASSERT_EQ(rows.elementCount(), 1);
        EXPECT_EQ(kv::varToStr(rows.at(0).at(0)), "KRTA07");
        EXPECT_EQ(kv::varToStr(rows.at(0).at(1)), "1");
    }
    server.kill();
    server.waitForFinished();
}

TEST_F(BaseGeneTest, MessageCodes) {
    writeClientServer("127.0.0.1", 211);
    BoxAnswerer boxes;
    auto form = makeForm();
    ASSERT_TRUE(form->InitializeSession(params()));
    form->ShowMessageCode("I;-000004;J1");
    EXPECT_TRUE(boxes.texts().isEmpty());
    EXPECT_EQ(form->ErrorCodes(), "I;-000004;J1; ");
    EXPECT_EQ(form->ErrorTexts(), "The job was submitted. Job number: J1; ");
    form->ShowMessageCode("E;000013;disk full");
    QTest::qWait(50);
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_TRUE(boxes.texts().first().startsWith("The server could not process the request:"));
    EXPECT_TRUE(form->ErrorTexts().endsWith("The server could not process the request:\rdisk full; "));
    // A text that cannot be formatted keeps its arguments after it.
    form->SetSilentMessages(true);
    form->ShowMessageCode("W;000002;a");
    EXPECT_TRUE(form->ErrorTexts().contains("The number of a does not match: ") ||
                form->ErrorTexts().contains("\ra;"));
    EXPECT_EQ(boxes.texts().size(), 1); // silent: warnings are not shown
    form->RecordError("  broken  ");
    EXPECT_TRUE(form->ErrorCodes().endsWith("E;-1; "));
    EXPECT_TRUE(form->ErrorTexts().endsWith("broken; "));
    form->RecordError("");
    EXPECT_TRUE(form->ErrorCodes().isEmpty());
    EXPECT_TRUE(form->ErrorTexts().isEmpty());
}

TEST_F(BaseGeneTest, HelpRule) {
    EXPECT_EQ(TfrmBaseGene::HelpCode("KRTA07"), "");         // fourth "A" then "0": no help
    EXPECT_EQ(TfrmBaseGene::HelpCode("MPSB01"), "13010000"); // "B" after "S"... fourth is "B"
    EXPECT_EQ(TfrmBaseGene::HelpCode("INVR05"), "12050000");
    EXPECT_EQ(TfrmBaseGene::HelpCode("PURAB3"), "63B30000");
    EXPECT_EQ(TfrmBaseGene::HelpCode("COPMR1"), "82R10000");
    EXPECT_EQ(TfrmBaseGene::HelpCode("COPMX1"), "");
    writeClientServer("127.0.0.1", 211);
    BoxAnswerer boxes;
    auto form = makeForm();
    ASSERT_TRUE(form->InitializeSession(params()));
    form->show();
    QTest::keyClick(form->edFactory, Qt::Key_F1);
    EXPECT_TRUE(host->helpCalls.isEmpty()); // KRTA07 has no help topic
    form->setProgramCode("INVR05");
    QTest::keyClick(form->edFactory, Qt::Key_F1);
    EXPECT_EQ(host->helpCalls, QStringList({"INV/12050000"}));
}

TEST_F(BaseGeneTest, KeysMoveThroughControlsAndPages) {
    // The general kind: its two pages are the framework's own.
    BoxAnswerer boxes;
    auto form = makeForm<TfrmGene>();
    form->show();
    QApplication::setActiveWindow(form.get());
    form->edFactory->setFocus();
    QTest::keyClick(form->edFactory, Qt::Key_Return);
    EXPECT_EQ(form->focusWidget(), form->edNote);
    QTest::keyClick(form->edNote, Qt::Key_Return); // last control of the first page
    EXPECT_EQ(form->pgOption->currentIndex(), 1);
    form->edPrintDate->setFocus();
    QTest::keyClick(form->edPrintDate, Qt::Key_Return); // last control of the last page: nowhere
    EXPECT_EQ(form->pgOption->currentIndex(), 1);
    EXPECT_EQ(form->focusWidget(), form->edPrintDate);
    QTest::keyClick(form->edPrintDate, Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(form->pgOption->currentIndex(), 0);
    QTest::keyClick(form->edFactory, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(form->pgOption->currentIndex(), 1);
    // Esc closes (and frees) the form.
    QPointer<QWidget> alive(form.get());
    QTest::keyClick(form->edPrintDate, Qt::Key_Escape);
    EXPECT_FALSE(form->isVisible());
    form.release()->deleteLater();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull());
}

TEST_F(BaseGeneTest, SmallFormIsEnlargedBySystemPageLayout) {
    auto form = makeForm();
    form->setMinimumSize(0, 0);
    form->resize(200, 60);
    form->LayoutSystemPage();
    EXPECT_GE(form->width(), 315);
    EXPECT_GE(form->height(), 110);
    EXPECT_EQ(form->lblToday->pos(), QPoint(8, 12));
    EXPECT_EQ(form->edPrintDate->geometry().topLeft(), QPoint(60, 8));
    EXPECT_EQ(form->edPrintDate->width(), 85);
}

TEST_F(BaseGeneTest, RunRequestsPresetAndPress) {
    writeClientServer("127.0.0.1", 211);
    BoxAnswerer boxes;
    auto form = makeForm();
    ASSERT_TRUE(form->InitializeSession(params()));
    const auto request = [](int mode, const QString& control, const QString& value) {
        const kv::Variant labels = kv::Variant::arrayOf({kv::Variant::arrayOf({"x", control})});
        const kv::Variant values = kv::Variant::arrayOf({value});
        const kv::Variant R = kv::Variant::arrayOf(
            {mode, kv::Variant::arrayOf({true, kv::Variant::arrayOf({labels, values})})});
        return kv::Variant::arrayOf({kv::Variant(), R});
    };
    form->RunRequest(request(0, "edNote", "preset"));
    EXPECT_EQ(form->edNote->text(), "preset");
    EXPECT_EQ(form->okClicks, 0);
    EXPECT_TRUE(form->Interactive());
    EXPECT_TRUE(form->Converted());
    form->RunRequest(request(2, "edNote", "run"));
    EXPECT_EQ(form->okClicks, 1);
    EXPECT_FALSE(form->Interactive());
    form->RunRequest(request(4, "edNote", "mode"));
    EXPECT_EQ(form->runModes, QList<int>({4}));
    EXPECT_EQ(form->okClicks, 1);
    form->RunRequest(request(1, "edMissing", "x"));
    EXPECT_EQ(form->okClicks, 1);
    QTest::qWait(30);
    ASSERT_FALSE(boxes.texts().isEmpty());
    EXPECT_EQ(boxes.texts().last().trimmed(),
              "Not every condition of the run request could be applied to the form.");
    form->RunRequest(request(3, "edMissing", "x"));
    EXPECT_EQ(form->runModes, QList<int>({4})); // only after a successful preset
}

TEST_F(BaseGeneTest, JobRequestLayoutAndChecks) {
    writeClientServer("127.0.0.1", 211);
    BoxAnswerer boxes;
    // The general kind names no server object, so its header is checked without a session.
    auto form = makeForm<TfrmGene>();
    form->ConfigureForm();
    form->edFactory->setText("F01");
    form->edPrintDate->setText("2026/12/07");
    ASSERT_TRUE(form->BuildJobRequest());
    const kv::Variant& header = form->JobRequest().at(0);
    EXPECT_EQ(header.lowBound(), 1);
    EXPECT_EQ(header.highBound(), 9);
    EXPECT_EQ(kv::varToStr(header.at(1)), "KRTA07");
    EXPECT_EQ(header.at(2).toInt(), 9);
    EXPECT_EQ(header.at(3).toInt(), 2);
    EXPECT_EQ(kv::varToStr(header.at(8)), "KRTA07S.Class1");
    EXPECT_EQ(kv::varToStr(header.at(9)), "R");
    const kv::Variant& labels = form->JobRequest().at(1);
    EXPECT_EQ(kv::varToStr(labels.at(2).at(1)), "edPrintDate");
    EXPECT_EQ(kv::varToStr(form->JobRequest().at(2).at(2)), "2026/12/07");
    EXPECT_EQ(kv::varToStr(form->JobRequest().at(2).at(1)), "F01");
    // A header element no step fills stops the build with its position.
    form->SetSilentMessages(true);
    form->SetHeaderSize(10);
    EXPECT_FALSE(form->BuildJobRequest());
    EXPECT_TRUE(form->ErrorCodes().contains(QStringLiteral("W;000003;环境设置;10;10")))
        << form->ErrorCodes().toStdString();
}

TEST_F(BaseGeneTest, RequiredFieldsStopTheOkButton) {
    writeClientServer("127.0.0.1", 211);
    BoxAnswerer boxes;
    auto form = makeForm();
    ASSERT_TRUE(form->InitializeSession(params()));
    form->show();
    form->SetRequiredFields("edFactory;0");
    form->pgOption->setCurrentIndex(1);
    QTest::mouseClick(form->btnOk, Qt::LeftButton);
    EXPECT_EQ(form->okClicks, 0);
    EXPECT_EQ(form->pgOption->currentIndex(), 0);
    EXPECT_TRUE(form->ErrorCodes().contains("E;000037"));
    form->edFactory->setText("F01");
    QTest::mouseClick(form->btnOk, Qt::LeftButton);
    EXPECT_EQ(form->okClicks, 1);
}

TEST(BaseGeneProgramCode, FromTheLibraryFileName) {
    EXPECT_EQ(TfrmBaseGene::ProgramCodeFromFile("/opt/tarnix/KRTA07C.so"), "KRTA07");
    EXPECT_EQ(TfrmBaseGene::ProgramCodeFromFile("/opt/tarnix/krta07c.SO"), "KRTA07");
    EXPECT_EQ(TfrmBaseGene::ProgramCodeFromFile("KRT.so"), "KRT.SO"); // short stem: still six characters
    // A program file loses two characters: its kind letter and one more.
    EXPECT_EQ(TfrmBaseGene::ProgramCodeFromFile("/usr/bin/KRTA07CT"), "KRTA07");
}

namespace {

// The general kind with the buttons its kinds guard and a periodic page.
class TfrmGuarded : public TfrmGene {
public:
    TfrmGuarded() {
        btnQuery = new QPushButton("query", Panel1);
        btnQuery->setObjectName("btnQuery");
        Panel1->layout()->addWidget(btnQuery);
        btnPeriod = new QPushButton("period", Panel1);
        btnPeriod->setObjectName("btnPeriod");
        btnPeriod->setCheckable(true);
        Panel1->layout()->addWidget(btnPeriod);
        tsPeriodOption = new QWidget;
        tsPeriodOption->setObjectName("tsPeriodOption");
        pgOption->addTab(tsPeriodOption, "period");
        connect(btnQuery, &QPushButton::clicked, this, [this] { ++queries; });
    }
    QPushButton *btnQuery, *btnPeriod;
    QWidget* tsPeriodOption;
    int queries = 0;
};

} // namespace

TEST_F(BaseGeneTest, RequiredFieldsGuardEveryGuardedButtonBeforeItsHandlers) {
    BoxAnswerer boxes;
    auto form = makeForm<TfrmGuarded>();
    form->show();
    QApplication::setActiveWindow(form.get());
    int chained = 0;
    form->ChainEvent(form->btnQuery, "OnClick", TNotifyEvent{[&chained](QObject*) { ++chained; }, nullptr});
    form->SetRequiredFields("edFactory;0");

    QTest::mouseClick(form->btnQuery, Qt::LeftButton);
    EXPECT_EQ(form->queries, 0);
    EXPECT_EQ(chained, 0);
    EXPECT_FALSE(form->btnQuery->isDown());
    EXPECT_EQ(form->focusWidget(), form->edFactory);
    EXPECT_TRUE(form->ErrorCodes().contains("E;000037"));
    EXPECT_FALSE(form->ClickButton(form->btnQuery)); // presses from code are checked too
    EXPECT_EQ(form->queries, 0);

    // The periodic button cannot go down either: it is released and its page hidden.
    const int periodPage = form->pgOption->indexOf(form->tsPeriodOption);
    QTest::mouseClick(form->btnPeriod, Qt::LeftButton);
    EXPECT_FALSE(form->btnPeriod->isChecked());
    EXPECT_FALSE(form->pgOption->isTabVisible(periodPage));

    form->edFactory->setText("F01");
    QTest::mouseClick(form->btnQuery, Qt::LeftButton);
    EXPECT_EQ(form->queries, 1);
    EXPECT_EQ(chained, 1);
    QTest::mouseClick(form->btnPeriod, Qt::LeftButton);
    EXPECT_TRUE(form->btnPeriod->isChecked());
    // Letting it up again needs no check; the OK button still is guarded.
    form->edFactory->clear();
    QTest::mouseClick(form->btnPeriod, Qt::LeftButton);
    EXPECT_FALSE(form->btnPeriod->isChecked());
    QTest::mouseClick(form->btnOk, Qt::LeftButton);
    EXPECT_EQ(form->okClicks, 0);
}

TEST_F(BaseGeneTest, DateFieldsNormaliseAndAFailureStopsTheChainedExit) {
    BoxAnswerer boxes;
    auto form = makeForm<TfrmGene>();
    form->show();
    QApplication::setActiveWindow(form.get());
    form->ConfigureForm();
    form->SetDateFields("edFactory");
    EXPECT_EQ(form->DateFields(), "edFactory,edPrintDate");
    int exits = 0;
    form->ChainEvent(form->edFactory, "OnExit", TNotifyEvent{[&exits](QObject*) { ++exits; }, nullptr});
    form->edFactory->setFocus();
    QTest::keyClicks(form->edFactory, "2008/13/45");
    form->edNote->setFocus();
    QTest::qWait(20);
    EXPECT_EQ(exits, 0);
    EXPECT_TRUE(form->PendingFailure());
    EXPECT_TRUE(form->ErrorCodes().contains("E;000005;2008/13/45;"));
    EXPECT_EQ(boxes.texts().size(), 1);
    EXPECT_EQ(form->focusWidget(), form->edFactory); // back to the date to correct it
    QApplication::setActiveWindow(form.get());       // the offscreen platform does not give it back itself
    form->edFactory->setFocus();
    form->edFactory->setText("2008/5/3");
    form->edNote->setFocus();
    EXPECT_EQ(form->edFactory->text(), "2008/05/03");
    EXPECT_EQ(exits, 1);
    EXPECT_FALSE(form->PendingFailure());
}

// A company that shows Minguo years of three digits (date order 5): a year-month field reads the year
// first, refuses what is no month and shows what it took in that order. A required combo box counts
// as filled by the text it shows.
TEST_F(BaseGeneTest, YearMonthFieldsAreCheckedInTheCompanysOrderAndRequiredCombosByTheirText) {
    auto setOrder = [](const char* order) {
        TKvADOConnection db;
        db.SetConnectionString(kv::demo::sqliteConnectString(install->path() + "/DEMO.db"));
        db.Open();
        TKvADOQuery q;
        q.SetConnection(&db);
        q.SetSQL(QString("UPDATE DEMO..CMSMA SET MA001 = '%1'").arg(order));
        q.ExecSQL();
    };
    setOrder("5");
    const auto restore = qScopeGuard([&setOrder] { setOrder("1"); });
    BoxAnswerer boxes;
    auto form = makeForm();
    writeClientServer("127.0.0.1", 211);
    ASSERT_TRUE(form->InitializeSession(params())) << form->ErrorTexts().toStdString();
    ASSERT_EQ(form->DateOrder(), 5);
    form->show();
    QApplication::setActiveWindow(form.get());
    form->ConfigureForm();
    form->SetYearMonthFields("edFactory");
    int exits = 0;
    form->ChainEvent(form->edFactory, "OnExit", TNotifyEvent{[&exits](QObject*) { ++exits; }, nullptr});
    form->edFactory->setFocus();
    QTest::keyClicks(form->edFactory, "113/13");
    form->edNote->setFocus();
    EXPECT_EQ(exits, 0);
    EXPECT_TRUE(form->PendingFailure());
    EXPECT_TRUE(form->ErrorCodes().contains("E;000005;113/13;"));
    EXPECT_EQ(form->focusWidget(), form->edFactory);
    QApplication::setActiveWindow(form.get());
    form->edFactory->setFocus();
    form->edFactory->setText("113/5");
    form->edNote->setFocus();
    EXPECT_EQ(form->edFactory->text(), "113/05");
    EXPECT_EQ(exits, 1);
    EXPECT_FALSE(form->PendingFailure());

    auto* kind = new QComboBox(form->tsOption1);
    kind->setObjectName("cboKind");
    kind->addItems({"", QStringLiteral("成品")});
    form->SetRequiredFields("cboKind;0");
    const qsizetype shown = boxes.texts().size();
    EXPECT_FALSE(form->CheckRequiredFields());
    EXPECT_EQ(boxes.texts().size(), shown + 1);
    kind->setCurrentIndex(1);
    EXPECT_TRUE(form->CheckRequiredFields());
    EXPECT_EQ(boxes.texts().size(), shown + 1);
}

// A click on Cancel gives it the form's focus: what leaving a field reports then is not shown, also
// while another window is the active one.
TEST_F(BaseGeneTest, MessagesWaitWhileCancelHasTheFormsFocus) {
    BoxAnswerer boxes;
    auto form = makeForm<TfrmGene>();
    form->show();
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    form->btnCancel->setFocus();
    ASSERT_EQ(form->focusWidget(), form->btnCancel);
    form->ShowMessageCode("E;000005;2008/13/45;");
    EXPECT_TRUE(boxes.texts().isEmpty());
    form->edFactory->setFocus();
    form->ShowMessageCode("E;000005;2008/13/45;");
    EXPECT_EQ(boxes.texts().size(), 1);
}

TEST_F(BaseGeneTest, AMessageBoxLetsGoOfTheButtonUnderIt) {
    BoxAnswerer boxes;
    auto form = makeForm<TfrmGene>();
    form->show();
    QApplication::setActiveWindow(form.get());
    auto* button = new QPushButton("b", form->tsOption1);
    button->setObjectName("btnSome");
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&clicks] { ++clicks; });
    button->show();
    button->setFocus();
    button->setDown(true); // pressed when the box came up
    form->MessageBox("x", mtInformation, mbOK);
    QTest::qWait(20);
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_EQ(boxes.texts()[0].trimmed(), "x");
    EXPECT_FALSE(button->isDown());
    EXPECT_EQ(clicks, 0);
}

TEST_F(BaseGeneTest, DataSetTextFieldsGetTheConversionHandlers) {
    auto form = std::make_unique<TfrmGene>();
    auto* set = new kv::TClientDataSet(form.get());
    set->AddField("NAME", kv::TFieldType::ftString, 20);
    kv::TField& own = set->AddField("OWN", kv::TFieldType::ftString, 20);
    own.OnGetText = [](kv::TField&, QString& text, bool) { text = "own"; };
    set->AddField("QTY", kv::TFieldType::ftInteger);
    form->AfterConstruction(); // PrepareDataSets runs when the form is created
    EXPECT_TRUE(bool(set->FieldByName("NAME").OnGetText));
    EXPECT_TRUE(bool(set->FieldByName("NAME").OnSetText));
    EXPECT_FALSE(bool(set->FieldByName("OWN").OnSetText));
    EXPECT_FALSE(bool(set->FieldByName("QTY").OnGetText));
    set->CreateDataSet();
    set->Append();
    set->FieldByName("NAME").SetText(QStringLiteral("工厂"));
    set->FieldByName("OWN").SetText("x");
    set->Post();
    EXPECT_EQ(set->FieldByName("NAME").AsString(), QStringLiteral("工厂"));
    EXPECT_EQ(set->FieldByName("NAME").DisplayText(), QStringLiteral("工厂"));
    EXPECT_EQ(set->FieldByName("OWN").DisplayText(), "own");
}

namespace {

// The library file the controller reports is this test program; the main form is told the
// installation's plug-in instead, as if the host had loaded it from there.
QString pluginPath;

class TfrmPlugged : public TfrmKRTA07 {
public:
    using TfrmKRTA07::TfrmKRTA07;
    void SetModulePath(const QString&) override { TfrmKRTA07::SetModulePath(pluginPath); }
};

} // namespace

TEST_F(BaseGeneTest, ControllerOpensTheReportKindMainForm) {
    writeClientServer("127.0.0.1", 211);
    BoxAnswerer boxes;
    pluginPath = install->path() + "/KRTA07C.so";
    const TDLLFormClass saved = frmBaseGeneClass;
    frmBaseGeneClass = &TDLLFormCreate<TfrmPlugged>;
    {
        TDLLRPCtrller controller;
        QList<int32_t> notes;
        controller.OnNotify = [&notes](int32_t code, TDLLBaseController*) { notes << code; };
        controller.HostApp = kv::Variant(std::static_pointer_cast<kv::Dispatch>(host));
        ASSERT_EQ(controller.OpenForm(params()), 0);
        auto* form = dynamic_cast<TfrmPlugged*>(controller.Form.data());
        ASSERT_NE(form, nullptr);
        EXPECT_TRUE(form->LocalServer());
        ASSERT_TRUE(form->AppServer());
        EXPECT_TRUE(form->LookupService());
        EXPECT_EQ(form->ProgramName(), QStringLiteral("MPS排程工作台"));
        controller.SetVisible(kv::VARIANT_TRUE);
        EXPECT_EQ(form->windowTitle(), QStringLiteral("MPS排程工作台[8.0.1]"));
        EXPECT_EQ(controller.GetVersion(), "870401-0.00.00");
        controller.FreeForm();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(controller.IsFormFreed());
        EXPECT_EQ(notes, QList<int32_t>({0x100, 0x110, 0x120, 0x130})); // created, shown, hidden, destroyed
    }
    frmBaseGeneClass = saved;
    EXPECT_TRUE(boxes.texts().isEmpty());
}

TEST_F(BaseGeneTest, RequiredPartsOfASelectPanelAreMarkedAndGiveTheirColourBack) {
    BoxAnswerer boxes;
    auto form = makeForm<TfrmGene>();
    auto* panel = new TSelectPanel(form->tsOption1);
    panel->setObjectName("spRange");
    panel->move(10, 80);
    form->show();
    QApplication::setActiveWindow(form.get());
    const QColor plain = panel->StartEdit()->palette().base().color();
    const QColor yellow(0xFF, 0xFF, 0xAF);
    form->SetRequiredFields("spRange;2,edFactory;0");
    EXPECT_EQ(panel->StartEdit()->palette().base().color(), plain);
    EXPECT_EQ(panel->EndEdit()->palette().base().color(), yellow);
    EXPECT_EQ(form->edFactory->palette().base().color(), yellow);
    form->SetRequiredFields("spRange;1");
    EXPECT_EQ(panel->StartEdit()->palette().base().color(), yellow);
    EXPECT_EQ(panel->EndEdit()->palette().base().color(), plain);
    EXPECT_NE(form->edFactory->palette().base().color(), yellow);
    // Only the begin edit is required: an empty end passes, an empty begin gets the focus.
    panel->SetEndText("");
    panel->SetStartText("");
    EXPECT_FALSE(form->CheckRequiredFields());
    EXPECT_EQ(form->focusWidget(), panel->StartEdit());
    panel->SetStartText("A");
    EXPECT_TRUE(form->CheckRequiredFields());
}

TEST_F(BaseGeneTest, TheDateButtonOpensTheHostsDatePicker) {
    writeClientServer("127.0.0.1", 211);
    BoxAnswerer boxes;
    auto form = makeForm();
    ASSERT_TRUE(form->InitializeSession(params()));
    ASSERT_TRUE(form->LookupService());
    form->show();
    QApplication::setActiveWindow(form.get());
    form->pgOption->setCurrentWidget(form->tsOption2);
    optiontest::pickDay(form->btnPrintDate, QDate(2008, 5, 15));
    // The lookup request is posted once the edit has the focus; a loaded machine may take a while.
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->edPrintDate->text() == "2008/05/15"; }, 5000))
        << form->edPrintDate->text().toStdString();
}

// A module's main form that puts its own handlers into the framework's hooks.
class TfrmHooks : public TfrmOptions<TfrmBaseRpt> {
public:
    void BeforeServices() override {
        *calls << "BeforeServices";
        TfrmBaseRpt::BeforeServices();
    }
    void AfterServices() override {
        *calls << "AfterServices";
        TfrmBaseRpt::AfterServices();
    }
    QStringList* calls = nullptr;
};

TEST_F(BaseGeneTest, ServiceHooksRunAroundTheHostsVersionCalls) {
    writeClientServer("127.0.0.1", 211);
    BoxAnswerer boxes;
    QStringList calls;
    auto form = makeForm<TfrmHooks>();
    form->calls = &calls;
    host->log = &calls;
    ASSERT_TRUE(form->InitializeSession(params())) << form->ErrorTexts().toStdString();
    host->log = nullptr;
    const auto at = [&calls](const char* name) { return calls.indexOf(QLatin1String(name)); };
    ASSERT_GE(at("BeforeServices"), 0) << calls.join(' ').toStdString();
    EXPECT_LT(at("BeforeServices"), at("Com_Counter"));
    EXPECT_LT(at("Com_Counter"), at("Com_Validator"));
    EXPECT_LT(at("Com_Validator"), at("VersionType"));
    EXPECT_LT(at("VersionType"), at("ProductID"));
    EXPECT_LT(at("ProductID"), at("AfterServices"));
    EXPECT_LT(at("AfterServices"), at("Com_F2Window"));
    EXPECT_TRUE(form->LookupService());
}

TEST_F(BaseGeneTest, DateAndRequiredFieldHandlersArePublishedForModules) {
    BoxAnswerer boxes;
    auto form = makeForm<TfrmGene>();
    // Preset to the form's own handlers: leaving a date field normalises it.
    EXPECT_TRUE(bool(form->OnDateFieldEnter()));
    EXPECT_TRUE(bool(form->OnDateFieldExit()));
    EXPECT_TRUE(bool(form->OnRequiredExit()));
    form->show();
    QApplication::setActiveWindow(form.get());
    form->SetDateFields("edFactory");
    int chainedExits = 0;
    form->ChainEvent(form->edFactory, "OnExit",
                     TNotifyEvent{[&chainedExits](QObject*) { ++chainedExits; }, nullptr});
    form->edFactory->setFocus();
    form->edFactory->setText("2008/5/3");
    form->edNote->setFocus();
    EXPECT_EQ(form->edFactory->text(), "2008/05/03");
    EXPECT_EQ(chainedExits, 1);

    // A module's own handlers take over; a failure it reports stops the control's own handler.
    QStringList seen;
    form->SetOnDateFieldEnter({[&seen](QObject* s) { seen << "enter " + s->objectName(); }, nullptr});
    form->SetOnDateFieldExit({[&seen, f = form.get()](QObject* s) {
                                  seen << "exit " + s->objectName();
                                  f->SetPendingFailure(qobject_cast<QLineEdit*>(s)->text() == "bad");
                              },
                              nullptr});
    form->edFactory->setFocus();
    form->edFactory->setText("2008/6/4");
    form->edNote->setFocus();
    EXPECT_EQ(form->edFactory->text(), "2008/6/4"); // the framework's normalising no longer runs
    EXPECT_EQ(chainedExits, 2);
    form->edFactory->setFocus();
    form->edFactory->setText("bad");
    form->edNote->setFocus();
    EXPECT_EQ(chainedExits, 2);
    EXPECT_EQ(seen, (QStringList{"enter edFactory", "exit edFactory", "enter edFactory", "exit edFactory"}));
    EXPECT_TRUE(boxes.texts().isEmpty());

    // Leaving a required field runs the published required-field handler.
    QStringList required;
    form->SetOnRequiredExit({[&required](QObject* s) { required << s->objectName(); }, nullptr});
    form->SetRequiredFields("edNote;0");
    form->edNote->setFocus();
    form->edFactory->setFocus();
    EXPECT_EQ(required, QStringList{"edNote"});
}
