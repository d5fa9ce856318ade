// The report option form on a demo installation: a direct query runs the program's server library from
// the server package folder and its PDF lists the factory's lines; design submits the job and opens its
// report through the queue manager; the web report checks its address against a local HTTP server.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QUuid>
#include <gtest/gtest.h>

#include "common/TestSupport.h"
#include "controls/KvEdit.h"
#include "host/demo/DemoCompany.h"
#include "host/queue/QueueManager.h"
#include "host/services/HostAutomation.h"
#include "optionforms/BaseOptControls.h"
#include "optionforms/BaseRpt.h"
#include "optionforms/GeneCondition.h"
#include "optionforms/common/OptionFormTest.h"

namespace {

// Answers message boxes; their texts without the padding the boxes give them.
class BoxAnswerer : public optiontest::BoxAnswerer {
public:
    QStringList texts() const {
        QStringList t;
        for (const QString& s : optiontest::BoxAnswerer::texts())
            t << s.trimmed();
        return t;
    }
};

// The module's report form with the workbench's three query options.
class TfrmReport : public TfrmBaseRpt {
public:
    TfrmReport() {
        setObjectName("frmKRTA07");
        edMB001 = new QLineEdit(tsOption1);
        edMB001->setObjectName("edMB001");
        edTB036 = new QLineEdit(tsOption1);
        edTB036->setObjectName("edTB036");
        edTB004 = new QLineEdit(tsOption1);
        edTB004->setObjectName("edTB004");
    }
    void ConfigureForm() override {
        TfrmBaseRpt::ConfigureForm();
        SetOptionCount(3);
    }
    bool AddOptionLabels(kv::Variant& labels, int index) override {
        if (!TfrmBaseRpt::AddOptionLabels(labels, index)) return false;
        labels.at(1) = kv::Variant::arrayOf({QStringLiteral("工厂"), "edMB001"});
        labels.at(2) = kv::Variant::arrayOf({QStringLiteral("主要资源"), "edTB036"});
        labels.at(3) = kv::Variant::arrayOf({QStringLiteral("来源单号"), "edTB004"});
        return true;
    }
    bool AddOptionValues(kv::Variant& values, int index) override {
        if (!TfrmBaseRpt::AddOptionValues(values, index)) return false;
        values.at(1) = edMB001->text();
        values.at(2) = edTB036->text();
        values.at(3) = edTB004->text();
        return true;
    }
    QLineEdit *edMB001, *edTB036, *edTB004;
};

// A one-page web site on a loopback port: answers every GET with the status it is told.
class TWebSite : public QObject {
public:
    TWebSite() {
        FServer.listen(QHostAddress::LocalHost);
        connect(&FServer, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* s = FServer.nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, s, [this, s] {
                const QByteArray request = s->readAll();
                requests << QString::fromLatin1(request.left(request.indexOf("\r\n")));
                const QByteArray body = "<html>report</html>";
                s->write("HTTP/1.1 " + QByteArray::number(status) + (status == 200 ? " OK" : " Not Found") +
                         "\r\nContent-Length: " + QByteArray::number(body.size()) +
                         "\r\nConnection: close\r\n\r\n" + body);
                s->disconnectFromHost();
            });
        });
    }
    int port() const { return FServer.serverPort(); }
    QStringList requests;
    int status = 200;

private:
    QTcpServer FServer;
};

class BaseRptTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new QTemporaryDir;
        kv::demo::DemoOptions options;
        options.lines = 6;
        kv::demo::writeDemoInstallation(dir->path(), options);
        QDir(dir->path()).mkpath("S_PKG");
        QFile::copy(testsupport::binDir() + "/KRTA07S.so", dir->path() + "/S_PKG/KRTA07S.so");
        exec("INSERT INTO CMSMS (MS001, MS002, MS003, MS004, MS005) VALUES ('1', 'N91', 'Prepared by "
             "planning', "
             "'Checked by stores', '')");
        exec("INSERT INTO CMSMS (MS001, MS002, MS003, MS004, MS005) VALUES ('2', 'S91', 'Approved by plant', "
             "'', '')");
    }
    static void TearDownTestSuite() { delete dir; }

    void SetUp() override {
        env = std::make_unique<testsupport::ScopedEnv>("TARNIX_REGISTRY",
                                                       (dir->path() + "/registry.ini").toUtf8());
        tarnix::THostSettings s;
        s.UICodePage = 437;
        host = std::make_shared<tarnix::THostAutomation>(tarnix::TMessageTable::shipped(), s);
        opened.clear();
        tarnix::registerQueueManagerClass([this](const QUrl& url) {
            opened << url;
            return true;
        });
    }
    void TearDown() override { kv::ObjectRegistry::unregisterClass(tarnix::kQueueManagerProgID); }

    QPointer<TfrmReport> openForm() {
        auto* form = new TfrmReport;
        form->AfterConstruction();
        form->SetModulePath(dir->path() + "/KRTA07C.so");
        form->setHostApp(kv::Variant(std::static_pointer_cast<kv::Dispatch>(host)));
        EXPECT_TRUE(form->InitializeSession(kv::Variant::arrayOf({"DS", "DEMO", "DEMO", 0, ""})))
            << form->ErrorTexts().toStdString();
        form->show();
        return form;
    }

    static QList<QStringList> select(const QString& sql) {
        const QString name = QUuid::createUuid().toString();
        QList<QStringList> rows;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
            db.setDatabaseName(dir->path() + "/DEMO.db");
            EXPECT_TRUE(db.open());
            QSqlQuery q(db);
            EXPECT_TRUE(q.exec(sql)) << sql.toStdString();
            while (q.next()) {
                QStringList row;
                for (int i = 0; i < q.record().count(); ++i)
                    row << q.value(i).toString().trimmed();
                rows << row;
            }
        }
        QSqlDatabase::removeDatabase(name);
        return rows;
    }
    static void exec(const QString& sql) { select(sql); }

    static QString pdfText(const QString& file) {
        QProcess p;
        p.start("pdftotext", {file, "-"});
        EXPECT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    static void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(8, w->height() / 2)); }
    static void settle() {
        for (int i = 0; i < 5; ++i)
            QTest::qWait(20);
    }
    // Types into a field of the active form, then presses the key that leaves it (or edits it further).
    static void typeAndLeave(QWidget* form, QLineEdit* edit, const QString& text, Qt::Key key) {
        QApplication::setActiveWindow(form);
        ASSERT_TRUE(QTest::qWaitForWindowActive(form));
        if (auto* tabs = form->findChild<QTabWidget*>("pgOption"))
            for (int i = 0; i < tabs->count(); ++i)
                if (tabs->widget(i)->isAncestorOf(edit)) tabs->setCurrentIndex(i);
        if (QApplication::focusWidget() != edit) {
            edit->setFocus(Qt::MouseFocusReason);
            settle();
        }
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, key);
        settle();
    }

    static inline QTemporaryDir* dir = nullptr;
    std::unique_ptr<testsupport::ScopedEnv> env;
    std::shared_ptr<tarnix::THostAutomation> host;
    QList<QUrl> opened;
};

} // namespace

TEST_F(BaseRptTest, DirectQueryWritesTheFactoryLinesAsPdf) {
    BoxAnswerer boxes;
    QPointer<TfrmReport> form = openForm();
    EXPECT_EQ(form->OptionCount(), 7);
    EXPECT_EQ(form->btnOk->text(), QStringLiteral("后台处理"));
    form->edMB001->setText("F01");
    typeAndLeave(form, form->edNoteID, "N91", Qt::Key_Tab);
    EXPECT_EQ(form->edNote1->text(), "Prepared by planning");
    EXPECT_EQ(form->edNote2->text(), "Checked by stores");
    typeAndLeave(form, form->edSignInID, "S91", Qt::Key_Tab);
    EXPECT_EQ(form->edSignIn1->text(), "Approved by plant");
    const int jobs = select("SELECT COUNT(*) FROM KVRJOB").first().first().toInt();

    click(form->btnQuery);
    EXPECT_TRUE(form->btnQuery->isEnabled());
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
    // Without the log the job server is not asked.
    EXPECT_EQ(select("SELECT COUNT(*) FROM KVRJOB").first().first().toInt(), jobs);
    ASSERT_EQ(opened.size(), 1);
    const QString file = opened.first().toLocalFile();
    EXPECT_TRUE(file.startsWith(QDir(dir->path()).absolutePath() + "/Report/L")) << file.toStdString();
    ASSERT_TRUE(QFile::exists(file));

    const QString text = pdfText(file);
    const QList<QStringList> lines = select("SELECT TB006, TB037, TB004 FROM MPSTB WHERE TB001 = 'F01'");
    ASSERT_EQ(lines.size(), 6);
    for (const QStringList& line : lines) {
        EXPECT_TRUE(text.contains(line.at(0))) << line.at(0).toStdString();
        EXPECT_TRUE(text.contains(line.at(2))) << line.at(2).toStdString() << " in:\n" << text.toStdString();
    }
    for (const QStringList& other : select("SELECT TB004 FROM MPSTB WHERE TB001 = 'F02'"))
        EXPECT_FALSE(text.contains(other.at(0))) << other.at(0).toStdString();
    EXPECT_TRUE(text.contains("Prepared by planning"));
    EXPECT_TRUE(text.contains("Approved by plant"));
    // A day of the first line with its quantity, in the form's date order.
    const QStringList day =
        select("SELECT TC006, TC007 FROM MPSTC WHERE TC001 = 'F01' ORDER BY TC006 LIMIT 1").first();
    EXPECT_TRUE(text.contains(day.at(0).left(4) + "/" + day.at(0).mid(4, 2) + "/" + day.at(0).mid(6, 2)));
    delete form;
}

TEST_F(BaseRptTest, DesignSubmitsTheJobAndOpensItsReport) {
    BoxAnswerer boxes;
    QPointer<TfrmReport> form = openForm();
    int result = 0;
    QString job;
    form->setOnDestroy({[&](QObject*) {
        result = form->ResultCode();
        job = kv::varToStr(form->ResultData());
    }});
    // A run request of mode 3: preset the factory, design, close.
    const kv::Variant labels =
        kv::Variant::arrayOf({kv::Variant::arrayOf({QStringLiteral("工厂"), "edMB001"})});
    const kv::Variant request = kv::Variant::arrayOf(
        {3, kv::Variant::arrayOf({true, kv::Variant::arrayOf({labels, kv::Variant::arrayOf({"F01"})})})});
    form->RunRequest(kv::Variant::arrayOf({false, request}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(form.isNull());
    EXPECT_EQ(result, 1);
    ASSERT_EQ(job.size(), 14);
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
    // The queue manager alone opens a designed report, and the job is marked done.
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first().toLocalFile(), QDir(dir->path()).absolutePath() + "/Report/" + job + ".pdf");
    EXPECT_EQ(select("SELECT JB006 FROM KVRJOB WHERE JB001 = '" + job + "'").value(0).value(0), "1");

    // Without a queue manager the report is made but cannot be opened.
    kv::ObjectRegistry::unregisterClass(tarnix::kQueueManagerProgID);
    QPointer<TfrmReport> second = openForm();
    second->edMB001->setText("F01");
    click(second->btnDesign);
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_EQ(boxes.texts().first(), QStringLiteral("启动队列管理员失败!"));
    EXPECT_TRUE(second->btnDesign->isEnabled());
    delete second;
    // The host's automation object provides one when nobody else did.
    tarnix::THostAutomation another(tarnix::TMessageTable::shipped(), tarnix::THostSettings());
    EXPECT_TRUE(kv::ObjectRegistry::isRegistered(tarnix::kQueueManagerProgID));
}

TEST_F(BaseRptTest, WebReportChecksItsAddressAndOpensIt) {
    BoxAnswerer boxes;
    TWebSite site;
    exec("DELETE FROM KVRINTMA WHERE MA001 = 'WebReportSiteUrl'");
    exec(QString("INSERT INTO KVRINTMA (MA001, MA002, MA003) VALUES ('WebReportSiteUrl', '', "
                 "'http://127.0.0.1:%1/site/')")
             .arg(site.port()));
    QPointer<TfrmReport> form = openForm();
    QStringList shown;
    form->OpenUrl = [&shown](const QString& url) {
        shown << url;
        return true;
    };
    form->edMB001->setText("F01");
    form->FExtName = "A B";
    click(form->btnWebDesign);
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
    ASSERT_EQ(shown.size(), 1);
    const QString job = kv::varToStr(form->ResultData());
    const QString expected =
        QString("http://127.0.0.1:%1/site/Server/ReportView.aspx?UserID=DS&CompanyID=DEMO&"
                "DbName=DEMO&Culture=zh-CHS&ReportID=KRTA07&ExtName=A%20B&MainTable=KRTA07_%2&"
                "IsPageBreak='N'&SendKey=")
            .arg(site.port())
            .arg(job);
    EXPECT_TRUE(shown.first().startsWith(expected)) << shown.first().toStdString();
    EXPECT_TRUE(QRegularExpression("SendKey=\\d{14}$").match(shown.first()).hasMatch());
    ASSERT_EQ(site.requests.size(), 1);
    EXPECT_TRUE(site.requests.first().startsWith("GET /site/Server/ReportView.aspx?UserID=DS&"));

    // A site that does not have the page: the address is refused and nothing opens.
    site.status = 404;
    click(form->btnWebDesign);
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_EQ(boxes.texts().last(), QStringLiteral("web报表网址配置不正确或无法访问！"));
    EXPECT_EQ(shown.size(), 1);

    exec("DELETE FROM KVRINTMA WHERE MA001 = 'WebReportSiteUrl'");
    click(form->btnWebDesign);
    ASSERT_EQ(boxes.texts().size(), 2);
    EXPECT_EQ(boxes.texts().last(), "WebReportSiteUrl not Exists, Please Check the table WebReportConfig");
    EXPECT_EQ(site.requests.size(), 2);
    delete form;
}

TEST_F(BaseRptTest, FooterCodesOutputKindsAndHeader) {
    BoxAnswerer boxes;
    QPointer<TfrmReport> form = openForm();
    // A code the table does not hold is refused and kept for correction, each time the field is left.
    typeAndLeave(form, form->edNoteID, "ZZ", Qt::Key_Tab);
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_EQ(boxes.texts().first(), "Footer code does not exist.");
    EXPECT_EQ(form->edNoteID->text(), "ZZ");
    EXPECT_EQ(form->focusWidget(), form->edNoteID);
    EXPECT_TRUE(form->PendingFailure());
    for (const Qt::Key key : {Qt::Key_Tab, Qt::Key_Return}) {
        typeAndLeave(form, form->edNoteID, "", key);
        EXPECT_EQ(boxes.texts().size(), key == Qt::Key_Tab ? 2 : 3);
        EXPECT_EQ(boxes.texts().last(), "Footer code does not exist.");
        EXPECT_EQ(form->focusWidget(), form->edNoteID);
        EXPECT_TRUE(form->PendingFailure());
    }
    // Cleared, the code is refused no longer: schemes can be saved again.
    QTest::keyClick(form->edNoteID, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(form->edNoteID, Qt::Key_Backspace);
    typeAndLeave(form, form->edNoteID, "", Qt::Key_Tab);
    EXPECT_TRUE(form->edNoteID->text().isEmpty());
    EXPECT_NE(form->focusWidget(), form->edNoteID);
    EXPECT_FALSE(form->PendingFailure());
    // The sign-off code alike.
    typeAndLeave(form, form->edSignInID, "QQ", Qt::Key_Tab);
    typeAndLeave(form, form->edSignInID, "", Qt::Key_Tab);
    ASSERT_EQ(boxes.texts().size(), 5);
    EXPECT_EQ(boxes.texts().last(), boxes.texts().at(3));
    EXPECT_EQ(form->focusWidget(), form->edSignInID);
    QTest::keyClick(form->edSignInID, Qt::Key_A, Qt::ControlModifier);
    typeAndLeave(form, form->edSignInID, "S91", Qt::Key_Tab);
    EXPECT_EQ(form->edSignIn1->text(), "Approved by plant");
    EXPECT_FALSE(form->PendingFailure());
    const int refusals = boxes.texts().size();

    EXPECT_EQ(form->FOutputKinds, 1);
    click(form->chkHTML);
    click(form->chkDirectPrint);
    EXPECT_EQ(form->FOutputKinds, 7);
    click(form->chkView);
    click(form->chkHTML);
    EXPECT_EQ(form->FOutputKinds, 4);
    click(form->chkDirectPrint); // clearing the last kind keeps the kinds chosen before
    EXPECT_FALSE(form->chkDirectPrint->isChecked());
    EXPECT_FALSE(form->chkView->isChecked() || form->chkHTML->isChecked());
    EXPECT_EQ(form->FOutputKinds, 4);
    ASSERT_EQ(boxes.texts().size(), refusals + 1);
    EXPECT_EQ(boxes.texts().last(), "Choose at least one kind of output.");

    form->edMB001->setText("F01");
    form->FExtName = "X1";
    ASSERT_TRUE(form->BuildJobRequest());
    const kv::Variant& header = form->JobRequest().at(0);
    EXPECT_EQ(header.highBound(), 14);
    EXPECT_EQ(header.at(13).toInt(), 4);
    EXPECT_EQ(kv::varToStr(header.at(14)), "X1");
    const kv::Variant& values = form->JobRequest().at(2);
    EXPECT_EQ(kv::varToStr(values.at(4)), "1"); // the date type
    EXPECT_EQ(values.at(5).at(0), kv::Variant(""));
    delete form;
}

TEST_F(BaseRptTest, EnglishLanguageFilesRelabelTheBatchAndReportPages) {
    // An English workstation: the installation carries the program's language files.
    const QString client = dir->path() + "/StewardC.ini";
    const QByteArray saved = testsupport::readFile(client);
    testsupport::writeFile(client, QByteArray(saved).replace("UICodePage=936", "UICodePage=437"));
    QDir(dir->path()).mkpath("MultiLanguage/ENG");
    for (const QString name : {"TfrmBaseGene.Lng", "TfrmBaseOpt.Lng", "TfrmBaseRpt.Lng"}) {
        const QString installed = dir->path() + "/MultiLanguage/ENG/" + name;
        QFile::remove(installed);
        QFile::copy(testsupport::sourceDir() + "/optionforms/MultiLanguage/ENG/" + name, installed);
    }
    {
        BoxAnswerer boxes;
        QPointer<TfrmReport> form = openForm();
        form->TranslateForm(form, true);
        EXPECT_EQ(form->rdoQueue->text(), "Put into the job queue");
        EXPECT_EQ(form->pgOption->tabText(0), "Basic options");
        EXPECT_EQ(form->pgOption->tabText(1), "System options");
        EXPECT_EQ(form->cboDayofWeek->itemText(6), "Saturday");
        EXPECT_EQ(form->cboDayofWeek->count(), 7);
        EXPECT_EQ(form->btnQuery->text(), "Query now");
        EXPECT_EQ(form->btnOk->text(), "Background");
        EXPECT_EQ(form->chkView->text(), "Produce the report");
        EXPECT_EQ(form->edNoteID->Caption(), "Code");
        EXPECT_EQ(form->cboDateType->itemText(3), "Minguo YYMMDD");
        EXPECT_EQ(form->LangText("TfrmBaseRpt", "sFailedReason", "x"),
                  "The report could not be produced. Reason: ");
        delete form;
    }
    testsupport::writeFile(client, saved);
}

TEST_F(BaseRptTest, DesignAsksForTheReportAfterAFailedRequestOrRun) {
    BoxAnswerer boxes;
    // The job server refuses the request: the status still goes to the job list under the answer, and
    // with no job there is no report to open.
    exec("DELETE FROM KVRJOB WHERE JB001 = 'ERROR'");
    exec("INSERT INTO KVRJOB (JB001, JB002, JB003, JB004, JB005, JB006, JB007, JB008, JB009, JB010) "
         "VALUES ('ERROR', 'KRTA07', 'DEMO', 'DS', 'DEMO', '0', '', '', '', '')");
    exec("CREATE TRIGGER refuse_jobs BEFORE INSERT ON KVRJOB BEGIN SELECT RAISE(ABORT, 'queue closed'); END");
    QPointer<TfrmReport> form = openForm();
    form->edMB001->setText("F01");
    click(form->btnDesign);
    exec("DROP TRIGGER refuse_jobs");
    ASSERT_EQ(boxes.texts().size(), 2) << boxes.texts().join('|').toStdString();
    EXPECT_TRUE(boxes.texts().first().contains("queue closed")) << boxes.texts().first().toStdString();
    EXPECT_EQ(boxes.texts().last(), QStringLiteral("开启报表失败!"));
    const QList<QStringList> status = select("SELECT JB006, JB010 FROM KVRJOB WHERE JB001 = 'ERROR'");
    ASSERT_EQ(status.size(), 1);
    EXPECT_EQ(status.first().value(0), "2");
    EXPECT_TRUE(status.first().value(1).contains("queue closed"));
    EXPECT_EQ(form->ResultCode(), 0);
    EXPECT_TRUE(opened.isEmpty());
    delete form;

    // The job is queued but the report cannot be made here (no server library): the job is marked,
    // and the queue manager is asked all the same.
    const QString library = dir->path() + "/S_PKG/KRTA07S.so";
    ASSERT_TRUE(QFile::rename(library, library + ".off"));
    form = openForm();
    form->edMB001->setText("F01");
    click(form->btnDesign);
    QFile::rename(library + ".off", library);
    ASSERT_EQ(boxes.texts().size(), 4) << boxes.texts().join('|').toStdString();
    EXPECT_TRUE(boxes.texts().at(2).startsWith(QStringLiteral("产生报表失败! 原因:")));
    EXPECT_EQ(boxes.texts().at(3), QStringLiteral("开启报表失败!"));
    EXPECT_EQ(form->ResultCode(), 1);
    const QString job = kv::varToStr(form->ResultData());
    EXPECT_EQ(select("SELECT JB006 FROM KVRJOB WHERE JB001 = '" + job + "'").value(0).value(0), "2");
    EXPECT_TRUE(form->btnDesign->isEnabled());
    delete form;
}

TEST_F(BaseRptTest, SchemesKeepFootersAndSignOffs) {
    BoxAnswerer boxes;
    QPointer<TfrmReport> form = openForm();
    QApplication::setActiveWindow(form);
    form->edMB001->setText("F01");
    form->edNote1->setText("Prepared");
    form->edNote3->setText("Third");
    form->chkNoteEPPrint->setChecked(true);
    form->edSignIn2->setText("Approved");
    form->chkSignInEPPrint->setChecked(true);
    optiontest::whileModal([](QWidget* modal) {
        auto* dialog = qobject_cast<TfrmGeneCondition*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->edConName->insert("FOOTERS");
        QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
    });
    QTest::mouseClick(form->btnInsert, Qt::LeftButton);
    const QStringList options = form->OptionList().split(';', Qt::SkipEmptyParts);
    EXPECT_EQ(options.mid(options.indexOf("edNoteID.text")),
              (QStringList{"edNoteID.text", "chkNoteEPPrint.checked", "edNote1.text", "edNote2.text",
                           "edNote3.text", "edSignInID.text", "chkSignInEPPrint.checked", "edSignIn1.text",
                           "edSignIn2.text", "edSignIn3.text"}));

    // Cleared, then the scheme is opened again from the list.
    for (QLineEdit* e : {static_cast<QLineEdit*>(form->edNote1), static_cast<QLineEdit*>(form->edNote3),
                         static_cast<QLineEdit*>(form->edSignIn2)})
        e->clear();
    form->chkNoteEPPrint->setChecked(false);
    form->chkSignInEPPrint->setChecked(false);
    const QList<QTreeWidgetItem*> found = form->lstCondition->findItems("FOOTERS", Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    QTest::mouseClick(form->lstCondition->viewport(), Qt::LeftButton, {},
                      form->lstCondition->visualItemRect(found.first()).center());
    QTest::mouseClick(form->btnOpen, Qt::LeftButton);
    EXPECT_EQ(form->edNote1->text(), "Prepared");
    EXPECT_EQ(form->edNote3->text(), "Third");
    EXPECT_TRUE(form->chkNoteEPPrint->isChecked());
    EXPECT_EQ(form->edSignIn2->text(), "Approved");
    EXPECT_TRUE(form->chkSignInEPPrint->isChecked());
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
    exec("DELETE FROM KVRCON WHERE CN003 = 'FOOTERS'");
    delete form;
}

// A refused job request is no job: with the operation log kept, the direct query runs under a name of
// its own, and a design whose request is refused opens nothing, not even a report left under the
// refusal's name.
TEST_F(BaseRptTest, RefusedJobRequestIsNoJobForQueryOrDesign) {
    BoxAnswerer boxes;
    exec("UPDATE ADMMB SET MB006 = 'Y' WHERE MB001 = 'KRTA07'");
    exec("CREATE TRIGGER refuse_jobs BEFORE INSERT ON KVRJOB BEGIN SELECT RAISE(ABORT, 'queue closed'); END");
    QPointer<TfrmReport> form = openForm();
    ASSERT_TRUE(form->WantLog());
    form->edMB001->setText("F01");
    click(form->btnQuery);
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
    ASSERT_EQ(opened.size(), 1);
    const QString report = QDir(dir->path()).absolutePath() + "/Report/";
    EXPECT_TRUE(opened.first().toLocalFile().startsWith(report + "L"))
        << opened.first().toString().toStdString();

    // A report named as the refusal, as an earlier run might have left it.
    QFile::copy(opened.first().toLocalFile(), report + "ERROR.pdf");
    click(form->btnDesign);
    exec("DROP TRIGGER refuse_jobs");
    exec("UPDATE ADMMB SET MB006 = 'N' WHERE MB001 = 'KRTA07'");
    QFile::remove(report + "ERROR.pdf");
    ASSERT_EQ(boxes.texts().size(), 2) << boxes.texts().join('|').toStdString();
    EXPECT_TRUE(boxes.texts().first().contains("queue closed")) << boxes.texts().first().toStdString();
    EXPECT_EQ(boxes.texts().last(), QStringLiteral("开启报表失败!"));
    EXPECT_EQ(opened.size(), 1);
    EXPECT_EQ(form->ResultCode(), 0);
    delete form;
}

// A report the server library fails to make is a failure, shown as an error with its reason.
TEST_F(BaseRptTest, FailedReportRunIsShownAsAnError) {
    BoxAnswerer boxes;
    QPointer<TfrmReport> form = openForm();
    click(form->btnQuery); // no factory
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_TRUE(boxes.texts().first().startsWith(QStringLiteral("产生报表失败! 原因:")))
        << boxes.texts().first().toStdString();
    EXPECT_TRUE(boxes.texts().first().contains(QStringLiteral("工厂不可空白!")));
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_TRUE(form->btnQuery->isEnabled());
    delete form;
}
