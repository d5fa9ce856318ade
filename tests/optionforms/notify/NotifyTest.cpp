// TfrmNotify, TfrmPortalUser and the web-service routine: recipient XML through the grid, the portal's
// user list from a local HTTP server that answers like the portal, failures shown with their
// description, and the batch form's recipients dialog on a demo installation with the host's services.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QKeySequence>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>
#include <pugixml.hpp>

#include "common/TestSupport.h"
#include "controls/Aligrid.h"
#include "host/demo/DemoCompany.h"
#include "host/services/HostAutomation.h"
#include "host/webservice/TestHttpServer.h"
#include "lang/CodeConverter.h"
#include "optionforms/BaseOpt.h"
#include "optionforms/Notify.h"
#include "optionforms/PortalUser.h"
#include "support/LibStrs.h"

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

using testsupport::TestHttpServer;

// Answers every message box while it lives and keeps their texts.
class BoxAnswerer {
public:
    BoxAnswerer() : FState(std::make_shared<State>()) { poll(FState); }
    ~BoxAnswerer() { FState->stopped = true; }
    QStringList texts() const { return FState->texts; }

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

// Runs steps on the next modal window once it is up (a window other than the one modal now); one left
// open, or none coming up within seconds, fails the test instead of hanging it.
template <class F>
void whileModal(F f, QPointer<QWidget> before = QApplication::activeModalWidget(), int tries = 500) {
    QTimer::singleShot(10, [f, before, tries] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == before) {
            if (tries > 0) return whileModal(f, before, tries - 1);
            ADD_FAILURE() << "no modal window came up";
            return;
        }
        f(modal);
        QTimer::singleShot(5000, [window = QPointer<QWidget>(modal)] {
            if (window && window->isVisible()) {
                ADD_FAILURE() << "the window " << window->objectName().toStdString() << " stayed open";
                window->close();
            }
        });
    });
}

void clickCell(QTableWidget* grid, int row, int col, bool twice = false) {
    const QRect cell = grid->visualRect(grid->model()->index(row, col));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    if (twice) QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}

QByteArray portalAnswer(const QList<QPair<QString, QString>>& users) {
    QString xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Response><Status code=\"0\" Description=\"\"/><Content>";
    for (const auto& [id, name] : users)
        xml += "<Record><Field name=\"Id\" value=\"" + id + "\"/><Field name=\"Name\" value=\"" + name +
               "\"/></Record>";
    return (xml + "</Content></Response>").toUtf8();
}

const QList<TNotifyRecipient> kRecipients{
    {"DS", "系统管理员", "13800000001", "ds@example.com", "1", "YNY"},
    {"PLAN01", "Planner <A & B> \"Q\"", "", "", "5", "NYN"},
    {"E001", "王计划", "", "wang@example.com", "1", "YYY"},
};

} // namespace

TEST(Notify, RecipientXmlRoundTripsThroughTheGrid) {
    const QString xml = TfrmNotify::BuildXML(kRecipients);
    EXPECT_TRUE(
        xml.startsWith("<?xml version=\"1.0\" encoding=\"GB2312\"?><Root><R1 ID=\"DS\" Name=\"系统管理员\" "
                       "Mob=\"13800000001\" Mail=\"ds@example.com\" Type=\"1\" Msg=\"YNY\"/>"))
        << xml.toStdString();
    EXPECT_TRUE(xml.contains("<R2 ID=\"PLAN01\" Name=\"Planner &lt;A &amp; B> &quot;Q&quot;\" Type=\"5\" "
                             "Msg=\"NYN\"/>"))
        << xml.toStdString();

    TfrmNotify form(nullptr, xml, "Y", "");
    form.AfterConstruction();
    TStringAlignGrid* grid = form.grReceive;
    ASSERT_EQ(grid->RowCount(), 4);
    EXPECT_EQ(grid->Cells(TfrmNotify::colID, 0), "收件人");
    EXPECT_EQ(grid->Cells(TfrmNotify::colMail2, 0), "邮件");
    EXPECT_EQ(grid->Cells(TfrmNotify::colName, 2), "Planner <A & B> \"Q\"");
    EXPECT_EQ(grid->Cells(TfrmNotify::colType, 1), "1.系统用户");
    EXPECT_EQ(grid->Cells(TfrmNotify::colType, 2), "5.Portal用户");
    // Missing Mob and Mail attributes leave their cells empty.
    EXPECT_EQ(grid->Cells(TfrmNotify::colMob, 2), "");
    EXPECT_EQ(grid->Cells(TfrmNotify::colMail, 2), "");
    EXPECT_EQ(grid->Cells(TfrmNotify::colSMS, 2), "Y");
    EXPECT_EQ(grid->Cells(TfrmNotify::colMail2, 2), "N");
    EXPECT_EQ(form.NotifyXML(), xml);
    EXPECT_EQ(TfrmNotify::ParseXML(form.NotifyXML()), kRecipients);

    // Edited in the grid: Space ticks a check-box cell, a row without a code is left out.
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    clickCell(grid, 2, TfrmNotify::colMail2);
    QTest::keyClick(grid, Qt::Key_Space);
    grid->SetRowCount(5);
    grid->SetCells(TfrmNotify::colName, 4, "no code");
    QList<TNotifyRecipient> expected = kRecipients;
    expected[1].Msg = "NYY";
    EXPECT_EQ(TfrmNotify::ParseXML(form.NotifyXML()), expected);

    // Ctrl+Delete removes the current row; the elements are numbered again.
    clickCell(grid, 1, TfrmNotify::colName);
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    expected.removeFirst();
    EXPECT_EQ(TfrmNotify::ParseXML(form.NotifyXML()), expected);
    EXPECT_TRUE(form.NotifyXML().contains("<R1 ID=\"PLAN01\""));

    // OK closes with the result.
    int result = -1;
    form.hide();
    QTimer::singleShot(30, [&] { QTest::mouseClick(form.BitBtn1, Qt::LeftButton); });
    result = form.ShowModal();
    EXPECT_EQ(result, mrOk);
}

TEST(Notify, EmptyListsDefaultsAndOddTexts) {
    EXPECT_EQ(TfrmNotify::BuildXML({}), "<?xml version=\"1.0\" encoding=\"GB2312\"?><Root/>");
    EXPECT_EQ(TfrmNotify::DefaultXML("DS"), "<?xml version=\"1.0\" encoding=\"GB2312\"?><Root><R1 ID=\"DS\" "
                                            "Name=\"\" Type=\"5\" Msg=\"YNN\"/></Root>");
    EXPECT_TRUE(TfrmNotify::ParseXML("").isEmpty());
    EXPECT_TRUE(TfrmNotify::ParseXML("not xml at all <").isEmpty());
    // No declaration, other elements between, a short Msg.
    const QList<TNotifyRecipient> read = TfrmNotify::ParseXML(
        "<Root><Note/><R7 ID='A' Type='1' Msg='Y'/><Rx ID='skip'/><R2 ID='B' Type='9'/></Root>");
    ASSERT_EQ(read.size(), 2);
    EXPECT_EQ(read.at(0).ID, "A");
    EXPECT_EQ(read.at(1).ID, "B");

    TfrmNotify form(nullptr, "<Root><R1 ID='A' Type='1' Msg='Y'/><R2 ID='B' Type='9'/></Root>", "N", "");
    EXPECT_EQ(form.grReceive->Cells(TfrmNotify::colType, 2), "9"); // an unknown type is kept as it is
    const QList<TNotifyRecipient> written = TfrmNotify::ParseXML(form.NotifyXML());
    ASSERT_EQ(written.size(), 2);
    EXPECT_EQ(written.at(0).Msg, "YNN");
    EXPECT_EQ(written.at(1).Type, "9");
    // An empty list still offers one row to type into.
    TfrmNotify empty(nullptr, "", "N", "");
    EXPECT_EQ(empty.grReceive->RowCount(), 2);
    EXPECT_EQ(empty.NotifyXML(), TfrmNotify::BuildXML({}));
}

TEST(Notify, TypeOfferedFollowsThePortalSettings) {
    EXPECT_EQ(TfrmNotify(nullptr, "", "Y", "").TypeLine(), "1.系统用户"); // started, but no address
    EXPECT_EQ(TfrmNotify(nullptr, "", "N", "http://portal/ws").TypeLine(), "1.系统用户");
    EXPECT_EQ(TfrmNotify(nullptr, "", "Y", " http://portal/ws ").TypeLine(), "5.Portal用户");
    TfrmNotify portal(nullptr, "", "y", "http://portal/ws");
    EXPECT_TRUE(portal.PortalMode());
    const TControlInfo* pick = portal.grReceive->EffectiveControl(TfrmNotify::colType, 1);
    ASSERT_NE(pick, nullptr);
    EXPECT_EQ(pick->Kind, ck_PickList);
    EXPECT_EQ(pick->Items.Lines, QStringList{"5.Portal用户"});
    EXPECT_TRUE(pick->Items.Search);
}

// Outside portal mode the list offers only system users; a recipient of the default type 5 keeps it
// when its type cell is opened and left, by a click, by Enter or by OK.
TEST(Notify, ATypeTheListLacksSurvivesItsCellBeingOpened) {
    const QString xml = TfrmNotify::DefaultXML("U1");
    ASSERT_TRUE(xml.contains("Type=\"5\""));
    TfrmNotify form(nullptr, xml, "N", "");
    form.AfterConstruction();
    TStringAlignGrid* grid = form.grReceive;
    // Typing opens the type's list; the letter matches no entry.
    auto openType = [&] {
        form.LoadXML(xml);
        grid->setFocus();
        grid->setCurrentCell(1, TfrmNotify::colType);
        QTest::keyClick(grid, Qt::Key_X);
        EXPECT_NE(qobject_cast<QComboBox*>(QApplication::focusWidget()), nullptr);
    };
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    openType();
    clickCell(grid, 1, TfrmNotify::colName);
    EXPECT_EQ(form.NotifyXML(), xml);
    openType();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(form.NotifyXML(), xml);

    form.hide();
    QTimer::singleShot(30, [&] {
        QApplication::setActiveWindow(&form);
        openType();
        QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
    });
    EXPECT_EQ(form.ShowModal(), mrOk);
    EXPECT_EQ(form.NotifyXML(), xml);
    EXPECT_EQ(grid->Cells(TfrmNotify::colType, 1), "5.Portal用户");
}

TEST(WebService, XmlTextsAreNormalisedBeforeLoading) {
    const QString docType = "<!DOCTYPE SC[<!ENTITY stdd \"&amp;stdd;\">]>";
    EXPECT_EQ(NormalizeXMLText("<Root/>"),
              "<?xml version=\"1.0\" encoding=\"GB2312\"?>" + docType + "<Root/>");
    EXPECT_EQ(NormalizeXMLText("<?xml version=\"1.0\"?><Root/>"),
              "<?xml version=\"1.0\" encoding=\"GB2312\"?>" + docType + "<Root/>");
    EXPECT_EQ(NormalizeXMLText("<?xml version=\"1.0\" encoding=\"UTF-8\"?><Root/>"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + docType + "<Root/>");
    const QString withType = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!DOCTYPE Root><Root/>";
    EXPECT_EQ(NormalizeXMLText(withType), withType);
    EXPECT_EQ(kv::portal::language("936"), "zh_CN");
    EXPECT_EQ(kv::portal::language("950"), "zh_TW");
    EXPECT_EQ(kv::portal::language("437"), "ch_US");
}

TEST(PortalUser, UserListComesFromThePortalWebService) {
    TestHttpServer server;
    server.handler = [](const TestHttpServer::Request&) {
        return TestHttpServer::Answer{
            200, "OK", portalAnswer({{"P001", "张三"}, {"P002", "Li & Co"}, {"P003", "王五"}})};
    };
    const QStringList before = QDir(GetLongTempPath()).entryList({"~Tarnix_*.tmp"});
    TfrmPortalUser users(nullptr);
    users.AfterConstruction();
    users.KvConverter->SystemCodePage = "936"; // the language follows the system code page
    BoxAnswerer boxes;
    ASSERT_TRUE(users.LoadUsers(server.url("/portal/ws"), "DS", "DEMO"));
    EXPECT_TRUE(boxes.texts().isEmpty());
    ASSERT_EQ(users.UserCount(), 3);
    EXPECT_EQ(users.grUser->Cells(0, 1), "P001");
    EXPECT_EQ(users.grUser->Cells(1, 1), "张三");
    EXPECT_EQ(users.grUser->Cells(1, 2), "Li & Co");
    // The answer file is gone once read.
    EXPECT_EQ(QDir(GetLongTempPath()).entryList({"~Tarnix_*.tmp"}), before);

    // The request as the portal expects it.
    ASSERT_EQ(server.requests.size(), 1);
    EXPECT_EQ(server.requests.first().headers.value("soapaction"), "PORTAL.getAllUser");
    pugi::xml_document request;
    ASSERT_TRUE(
        request.load_buffer(server.requests.first().body.constData(), server.requests.first().body.size()));
    EXPECT_STREQ(request.select_node("/Request/Access/Authentication/@user").attribute().value(), "DS");
    EXPECT_STREQ(request.select_node("/Request/Access/Authentication/@password").attribute().value(), "");
    EXPECT_STREQ(request.select_node("/Request/Access/Connection/@application").attribute().value(),
                 "TARNIX");
    EXPECT_STREQ(request.select_node("/Request/Access/Organization/@name").attribute().value(), "DEMO");
    EXPECT_STREQ(request.select_node("/Request/Access/Locale/@language").attribute().value(), "zh_CN");
    EXPECT_TRUE(request.select_node("/Request/RequestContent"));
    EXPECT_TRUE(QString::fromUtf8(server.requests.first().body)
                    .startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));

    // Picked with a double click: closing keeps [code, name] of the row.
    users.grUser->setCurrentCell(1, 0);
    whileModal([&](QWidget* modal) {
        EXPECT_EQ(modal, &users);
        clickCell(users.grUser, 2, 1, true);
    });
    EXPECT_EQ(users.ShowModal(), mrOk);
    EXPECT_EQ(users.Result(), (QStringList{"P002", "Li & Co"}));
    // Esc cancels without a result.
    whileModal([&](QWidget*) { QTest::keyClick(users.grUser, Qt::Key_Escape); });
    EXPECT_EQ(users.ShowModal(), mrCancel);
    EXPECT_TRUE(users.Result().isEmpty());
}

TEST(PortalUser, FailingPortalAnswerShowsItsDescription) {
    TestHttpServer server;
    server.handler = [](const TestHttpServer::Request&) {
        return TestHttpServer::Answer{200, "OK",
                                      "<?xml version=\"1.0\"?><Response><Status code=\"-3\" "
                                      "Description=\"用户 DS 无权查询\"/></Response>"};
    };
    TfrmPortalUser users(nullptr);
    users.AfterConstruction();
    {
        BoxAnswerer boxes;
        EXPECT_FALSE(users.LoadUsers(server.url("/ws"), "DS", "DEMO"));
        ASSERT_EQ(boxes.texts().size(), 1);
        EXPECT_EQ(boxes.texts().first(), "Call portal webservice error! \n用户 DS 无权查询");
    }
    EXPECT_EQ(users.UserCount(), 0);

    // The service fails: the library's reason, then the (empty) answer.
    server.handler = [](const TestHttpServer::Request&) {
        return TestHttpServer::Answer{500, "Internal Server Error", "boom"};
    };
    {
        BoxAnswerer boxes;
        EXPECT_FALSE(users.LoadUsers(server.url("/ws"), "DS", "DEMO"));
        ASSERT_EQ(boxes.texts().size(), 1);
        EXPECT_EQ(boxes.texts().first(), "Call portal webservice error! The web service at " +
                                             server.url("/ws") +
                                             " answered HTTP 500 Internal Server Error\nResult:");
    }
    // An answer that is no XML: the parser's reason and the answer received.
    server.handler = [](const TestHttpServer::Request&) {
        return TestHttpServer::Answer{200, "OK", "<Response><Status"};
    };
    {
        BoxAnswerer boxes;
        EXPECT_FALSE(users.LoadUsers(server.url("/ws"), "DS", "DEMO"));
        ASSERT_EQ(boxes.texts().size(), 1);
        EXPECT_TRUE(
            boxes.texts().first().startsWith("Call portal webservice error! The answer is no XML document"));
        EXPECT_TRUE(boxes.texts().first().endsWith("\nResult:<Response><Status"));
    }
    // An empty answer is a failure too, not an empty list.
    server.handler = [](const TestHttpServer::Request&) { return TestHttpServer::Answer{200, "OK", ""}; };
    {
        BoxAnswerer boxes;
        EXPECT_FALSE(users.LoadUsers(server.url("/ws"), "DS", "DEMO"));
        ASSERT_EQ(boxes.texts().size(), 1);
        EXPECT_TRUE(
            boxes.texts().first().startsWith("Call portal webservice error! The answer is no XML document"));
    }
    // No address: nothing is asked.
    const int asked = int(server.requests.size());
    EXPECT_FALSE(users.LoadUsers("  ", "DS", "DEMO"));
    EXPECT_EQ(server.requests.size(), asked);
}

TEST(Notify, F2OnTheCodeColumnPicksAPortalUser) {
    TestHttpServer server;
    server.handler = [](const TestHttpServer::Request&) {
        return TestHttpServer::Answer{200, "OK", portalAnswer({{"P001", "张三"}, {"P002", "李四"}})};
    };
    TfrmNotify form(nullptr, "", "Y", server.url("/portal/ws"));
    form.AfterConstruction();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    clickCell(form.grReceive, 1, TfrmNotify::colID);
    whileModal([](QWidget* modal) {
        auto* users = qobject_cast<TfrmPortalUser*>(modal);
        ASSERT_NE(users, nullptr);
        EXPECT_EQ(users->UserCount(), 2);
        clickCell(users->grUser, 2, 0, true);
    });
    QTest::keyClick(form.grReceive, Qt::Key_F2);
    EXPECT_EQ(form.NotifyXML(), TfrmNotify::BuildXML({{"P002", "李四", "", "", "5", "YNN"}}));
    EXPECT_EQ(form.grReceive->Cells(TfrmNotify::colType, 1), "5.Portal用户");
}

// A portal that refuses: its reason is shown, then the list, empty, and nothing is picked from it.
TEST(Notify, F2WithARefusingPortalShowsItsReasonAndAnEmptyList) {
    TestHttpServer server;
    server.handler = [](const TestHttpServer::Request&) {
        return TestHttpServer::Answer{200, "OK",
                                      "<?xml version=\"1.0\"?><Response><Status code=\"-3\" "
                                      "Description=\"denied\"/></Response>"};
    };
    TfrmNotify form(nullptr, "", "Y", server.url("/portal/ws"));
    form.AfterConstruction();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QString before = form.NotifyXML();
    clickCell(form.grReceive, 1, TfrmNotify::colID);
    BoxAnswerer boxes;
    int listed = -1;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (auto* users = qobject_cast<TfrmPortalUser*>(QApplication::activeModalWidget())) {
            listed = users->UserCount();
            QTest::keyClick(users->grUser, Qt::Key_Return);
        }
    });
    watch.start(10);
    QTest::keyClick(form.grReceive, Qt::Key_F2);
    watch.stop();
    EXPECT_EQ(boxes.texts(), QStringList{"Call portal webservice error! \ndenied"});
    EXPECT_EQ(listed, 0);
    EXPECT_EQ(form.NotifyXML(), before);
}

// The batch form's recipients dialog with the host's services on a demo installation.
namespace {

class TfrmBatch : public TfrmBaseOpt {
public:
    TfrmBatch() { setObjectName("frmKRTA07"); }
};

class NotifySessionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new QTemporaryDir;
        kv::demo::DemoOptions options;
        options.lines = 2;
        kv::demo::writeDemoInstallation(dir->path(), options);
    }
    static void TearDownTestSuite() { delete dir; }
    void SetUp() override {
        env = std::make_unique<testsupport::ScopedEnv>("TARNIX_REGISTRY",
                                                       (dir->path() + "/registry.ini").toUtf8());
        testsupport::writeFile(dir->path() + "/StewardC.ini",
                               "[CodePage]\nUICodePage=936\nDBCodePage=936\n\n[Server Information]\n"
                               "ComputerName=127.0.0.1\nServerPort=211\n");
        tarnix::THostSettings settings;
        settings.UICodePage = 437;
        host = std::make_shared<tarnix::THostAutomation>(tarnix::TMessageTable::shipped(), settings);
        form = std::make_unique<TfrmBatch>();
        form->AfterConstruction();
        form->SetModulePath(dir->path() + "/KRTA07C.so");
        form->setHostApp(kv::Variant(std::static_pointer_cast<kv::Dispatch>(host)));
        ASSERT_TRUE(form->InitializeSession(kv::Variant::arrayOf({"DS", "DEMO", "DEMO", 0, "extra"})))
            << form->ErrorTexts().toStdString();
    }
    static void setPortal(const QString& started, const QString& address) {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "notify_portal");
        {
            db.setDatabaseName(dir->path() + "/DEMO.db");
            ASSERT_TRUE(db.open());
            QSqlQuery q(db);
            q.prepare("UPDATE KVRINTMA SET MA003 = ? WHERE MA001 = ?");
            q.addBindValue(started);
            q.addBindValue("StartupPortal");
            ASSERT_TRUE(q.exec());
            q.addBindValue(address);
            q.addBindValue("Portal WS");
            ASSERT_TRUE(q.exec());
            db.close();
        }
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase("notify_portal");
    }

    static inline QTemporaryDir* dir = nullptr;
    std::unique_ptr<testsupport::ScopedEnv> env;
    std::shared_ptr<tarnix::THostAutomation> host;
    std::unique_ptr<TfrmBatch> form;
};

} // namespace

TEST_F(NotifySessionTest, RecipientsDialogReadsThePortalSettingsAndLooksUpSystemUsers) {
    QString started, address;
    TfrmNotify::ReadPortalSettings(form.get(), started, address);
    EXPECT_EQ(started, "N");
    EXPECT_EQ(address, "");

    // F2 on the code column opens the host's lookup window of the system users; OK takes the rows.
    QString xml = TfrmNotify::DefaultXML("DS");
    whileModal([](QWidget* modal) {
        auto* notify = qobject_cast<TfrmNotify*>(modal);
        ASSERT_NE(notify, nullptr);
        EXPECT_FALSE(notify->PortalMode());
        EXPECT_EQ(notify->grReceive->RowCount(), 2);
        notify->grReceive->SetRowCount(3);
        clickCell(notify->grReceive, 2, TfrmNotify::colID);
        whileModal([](QWidget* lookup) {
            auto* table = lookup->findChild<QTableWidget*>("grdRows");
            ASSERT_NE(table, nullptr);
            int plan = -1;
            for (int r = 0; r < table->rowCount(); ++r)
                if (table->item(r, 0) && table->item(r, 0)->text().trimmed() == "PLAN01") plan = r;
            ASSERT_GE(plan, 0);
            clickCell(table, plan, 0);
            QTest::mouseClick(lookup->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
        });
        QTest::keyClick(notify->grReceive, Qt::Key_F2);
        QTest::mouseClick(notify->BitBtn1, Qt::LeftButton);
    });
    ASSERT_TRUE(TfrmNotify::EditRecipients(form.get(), xml));
    const QList<TNotifyRecipient> chosen = TfrmNotify::ParseXML(xml);
    ASSERT_EQ(chosen.size(), 2);
    EXPECT_EQ(chosen.at(0), (TNotifyRecipient{"DS", "", "", "", "5", "YNN"}));
    EXPECT_EQ(chosen.at(1), (TNotifyRecipient{"PLAN01", "生产计划员", "", "", "1", "YNN"}));

    // F3 looks among the employees, F4 among the customers and Shift+F4 among the suppliers: each
    // opens its host window, whose first row fills the code.
    for (const Qt::KeyboardModifiers shift :
         {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ShiftModifier)})
        for (const Qt::Key key : {Qt::Key_F3, Qt::Key_F4}) {
            if (key == Qt::Key_F3 && shift) continue;
            SCOPED_TRACE(QKeySequence(int(key) | int(shift)).toString().toStdString());
            QString code, picked;
            whileModal([&code, &picked, key, shift](QWidget* modal) {
                auto* notify = qobject_cast<TfrmNotify*>(modal);
                ASSERT_NE(notify, nullptr);
                clickCell(notify->grReceive, 1, TfrmNotify::colID);
                whileModal([&picked](QWidget* lookup) {
                    auto* table = lookup->findChild<QTableWidget*>("grdRows");
                    ASSERT_NE(table, nullptr);
                    ASSERT_GT(table->rowCount(), 0);
                    picked = table->item(0, 0)->text().trimmed();
                    clickCell(table, 0, 0);
                    QTest::mouseClick(lookup->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
                });
                QTest::keyClick(notify->grReceive, key, shift);
                code = notify->grReceive->Cells(TfrmNotify::colID, 1).trimmed();
                QTest::mouseClick(notify->BitBtn2, Qt::LeftButton);
            });
            QString untouched = xml;
            TfrmNotify::EditRecipients(form.get(), untouched);
            EXPECT_FALSE(picked.isEmpty());
            EXPECT_EQ(code, picked);
        }

    // Cancel keeps the list.
    const QString kept = xml;
    whileModal([](QWidget* modal) {
        auto* notify = qobject_cast<TfrmNotify*>(modal);
        ASSERT_NE(notify, nullptr);
        notify->grReceive->SetCells(TfrmNotify::colID, 1, "CHANGED");
        QTest::mouseClick(notify->BitBtn2, Qt::LeftButton);
    });
    EXPECT_FALSE(TfrmNotify::EditRecipients(form.get(), xml));
    EXPECT_EQ(xml, kept);

    // With the portal started and its address known, the portal type is offered.
    setPortal("Y", "http://127.0.0.1:1/portal/ws");
    TfrmNotify::ReadPortalSettings(form.get(), started, address);
    EXPECT_EQ(started, "Y");
    EXPECT_EQ(address, "http://127.0.0.1:1/portal/ws");
    whileModal([](QWidget* modal) {
        auto* notify = qobject_cast<TfrmNotify*>(modal);
        ASSERT_NE(notify, nullptr);
        EXPECT_TRUE(notify->PortalMode());
        QTest::mouseClick(notify->BitBtn1, Qt::LeftButton);
    });
    EXPECT_TRUE(TfrmNotify::EditRecipients(form.get(), xml));
    EXPECT_EQ(xml, kept);
    setPortal("N", "");
}

TEST(Notify, EnglishTextsFromTheLanguageFiles) {
    QTemporaryDir install;
    testsupport::ScopedEnv registry("TARNIX_REGISTRY", install.filePath("registry.ini").toUtf8());
    testsupport::writeFile(
        install.filePath("registry.ini"),
        ("[HKEY_LOCAL_MACHINE\\Software\\KVR\\Steward]\nClientPath=" + install.path() + "\n").toUtf8());
    testsupport::writeFile(install.filePath("StewardC.ini"), "[CodePage]\nUICodePage=437\n");
    for (const QString name : {"TfrmNotify.Lng", "TfrmPortalUser.Lng"})
        testsupport::writeFile(
            install.filePath("MultiLanguage/ENG/" + name),
            testsupport::readFile(testsupport::sourceDir() + "/optionforms/MultiLanguage/ENG/" + name));

    TfrmNotify notify(nullptr, "", "N", "");
    notify.AfterConstruction();
    notify.show();
    EXPECT_EQ(notify.windowTitle(), "Recipients");
    EXPECT_EQ(notify.BitBtn1->text(), "OK");
    const QStringList titles{"Recipient", "Name",    "Mobile", "E-mail address",
                             "Type",      "Message", "SMS",    "Mail"};
    for (int col = 0; col < titles.size(); ++col)
        EXPECT_EQ(notify.grReceive->Cells(col, 0), titles.at(col));

    TfrmPortalUser users(&notify);
    users.AfterConstruction();
    users.show();
    EXPECT_EQ(users.windowTitle(), "Portal users");
    EXPECT_EQ(users.grUser->Cells(0, 0), "User code");
    EXPECT_EQ(users.grUser->Cells(1, 0), "User name");
}
