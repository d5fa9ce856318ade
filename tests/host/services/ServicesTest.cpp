// The host's counter, validator and lookup services and the application server object, over a demo
// company database; the lookup window driven with the mouse; variants on the wire.
#include <QApplication>
#include <QCalendarWidget>
#include <QDataStream>
#include <QDesktopServices>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QtEndian>
#include <ctime>
#include <gtest/gtest.h>
#include <thread>

#include "common/TestSupport.h"
#include "frame/SocketConnection.h"
#include "host/demo/DemoCompany.h"
#include "host/services/CompanyData.h"
#include "host/services/HostAutomation.h"
#include "host/services/HostServices.h"
#include "host/services/LookupWindow.h"
#include "support/StewardINI.h"

// Texts in failure messages as text.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

class ServicesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new QTemporaryDir;
        kv::demo::DemoOptions options;
        options.lines = 4;
        kv::demo::writeDemoInstallation(dir->path(), options);
    }
    static void TearDownTestSuite() { delete dir; }
    void SetUp() override {
        data = std::make_shared<tarnix::TCompanyData>(
            kv::demo::sqliteConnectString(dir->path() + "/DEMO.db", "DEMO"));
    }

    bool query(const QString& table, const QString& number, const kv::Variant& keys, kv::Variant& row) {
        tarnix::TValidatorService validator(data);
        kv::VariantArgs args{table, number, QString("DEMO"), keys, kv::Variant()};
        const bool found = validator.invoke("QueryData", args).toBool();
        row = args[4];
        return found;
    }

    // Runs the code while a modal window is open, then returns what it gave.
    template <class F> static void whileModal(F f) {
        QTimer::singleShot(20, [f] {
            QWidget* modal = QApplication::activeModalWidget();
            ASSERT_NE(modal, nullptr);
            f(modal);
            // A window the steps left open fails the test instead of hanging it.
            QTimer::singleShot(2000, [window = QPointer<QWidget>(modal)] {
                if (auto* dialog = qobject_cast<QDialog*>(window.data()); dialog && dialog->isVisible()) {
                    ADD_FAILURE() << "the window stayed open";
                    dialog->reject();
                }
            });
        });
    }

    static inline QTemporaryDir* dir = nullptr;
    tarnix::TCompanyDataPtr data;
};

QString at(const kv::Variant& row, int i) {
    return kv::varToStr(row.at(i));
}

} // namespace

TEST_F(ServicesTest, ValidatorAnswersEveryCatalogueQueryInTheColumnsModulesRead) {
    kv::Variant row;
    ASSERT_TRUE(query("ADMMB", "01", kv::Variant::arrayOf({"KRTA07"}), row));
    EXPECT_EQ(at(row, 0), QStringLiteral("MPS排程工作台"));
    EXPECT_EQ(at(row, 4), "N");
    EXPECT_EQ(at(row, 7), "MPS Scheduling Workbench");
    EXPECT_FALSE(query("ADMMB", "01", kv::Variant::arrayOf({"NOPE"}), row));

    const QString factory = data->select("SELECT MB001, MB002 FROM CMSMB ORDER BY MB001").first().value(0);
    ASSERT_TRUE(query("CMSMB", "01", kv::Variant::arrayOf({factory}), row));
    EXPECT_FALSE(at(row, 0).isEmpty());

    const QStringList resource = data->select("SELECT MB001, MB002 FROM MPSMB").first();
    ASSERT_TRUE(query("mpsmb", "01", kv::Variant::arrayOf({resource.at(0)}), row));
    EXPECT_EQ(at(row, 1), resource.at(1));

    const QStringList doc = data->select("SELECT MQ001, MQ002, MQ003, MQ017 FROM CMSMQ").first();
    ASSERT_TRUE(
        query("CMSMQ", "54", kv::Variant::arrayOf({doc.at(0), doc.at(2), doc.at(2), "DS", "1"}), row));
    EXPECT_EQ(at(row, 0), doc.at(1));
    EXPECT_EQ(at(row, 12), doc.at(3));

    const QStringList centre = data->select("SELECT MD001, MD002, MD003 FROM CMSMD").first();
    ASSERT_TRUE(query("CMSMD", "02", kv::Variant::arrayOf({centre.at(2), centre.at(0)}), row));
    EXPECT_EQ(at(row, 0), centre.at(1));
    EXPECT_FALSE(query("CMSMD", "02", kv::Variant::arrayOf({"XX", centre.at(0)}), row));

    const QStringList supplier = data->select("SELECT MA001, MA002, MA016 FROM PURMA").first();
    ASSERT_TRUE(query("PURMA", "01", kv::Variant::arrayOf({supplier.at(0)}), row));
    EXPECT_EQ(at(row, 0), supplier.at(1));
    EXPECT_EQ(at(row, 12), supplier.at(2));
    EXPECT_TRUE(query("PURMA", "08", kv::Variant::arrayOf({supplier.at(0).left(2)}), row));
    EXPECT_TRUE(query("PURMA", "09", kv::Variant::arrayOf({supplier.at(1).mid(1)}), row));
    // A typed wildcard is taken literally, not as a pattern.
    EXPECT_FALSE(query("PURMA", "08", kv::Variant::arrayOf({"%"}), row) && at(row, 0).isEmpty());

    ASSERT_TRUE(query("CMSMS", "01", kv::Variant::arrayOf({"1", "F01"}), row));
    EXPECT_EQ(at(row, 1), QStringLiteral("核准:"));
    EXPECT_EQ(at(row, 3), QStringLiteral("制表:"));
    ASSERT_TRUE(query("KVRMA", "04", kv::Variant::arrayOf({"DS"}), row));
    EXPECT_EQ(at(row, 0), QStringLiteral("系统管理员"));
    ASSERT_TRUE(query("CMSMV", "01", kv::Variant::arrayOf({"E001"}), row));
    ASSERT_TRUE(query("COPMA", "01", kv::Variant::arrayOf({"C001"}), row));
    EXPECT_FALSE(query("CMSMA", "02", kv::Variant(), row)); // no report site configured
    data->exec(
        "INSERT INTO KVRINTMA (MA001, MA002, MA003) VALUES ('WebReportSiteUrl', '', 'http://reports.local')");
    ASSERT_TRUE(query("CMSMA", "02", kv::Variant(), row));
    EXPECT_EQ(at(row, 0), "http://reports.local");
    data->exec("DELETE FROM KVRINTMA WHERE MA001 = 'WebReportSiteUrl'");

    // Unknown pairs and missing keys fail rather than answer.
    EXPECT_THROW(query("INVMB", "77", kv::Variant(), row), kv::EOleError);
    EXPECT_THROW(query("CMSMD", "02", kv::Variant::arrayOf({"F01"}), row), EKvError);
}

TEST_F(ServicesTest, CounterServiceSettingsAndCounters) {
    tarnix::TCounterService counter(data);
    const kv::Variant info = counter.call("GetSysInfo", {QString("DEMO")});
    ASSERT_EQ(info.dimCount(), 2);
    QHash<QString, QString> settings;
    for (int i = info.lowBound(2); i <= info.highBound(2); ++i)
        settings[kv::varToStr(info.at(0, i))] = kv::varToStr(info.at(1, i));
    EXPECT_EQ(settings.value("KVR002"), "8.0.1");
    EXPECT_EQ(settings.value("SYS007"), QStringLiteral("产品大类"));
    EXPECT_EQ(settings.value("DateOrder"), "1");
    EXPECT_EQ(settings.value("DateSign"), "/");

    kv::VariantArgs args{QString("JOB"), kv::Variant(), kv::Variant()};
    const int first = counter.invoke("GetCounter", args).toInt();
    EXPECT_EQ(args[1].toInt(), first);
    EXPECT_EQ(counter.GetCounter("JOB"), first + 1);
    // Counters live in the database, not in the object.
    tarnix::TCounterService other(data);
    EXPECT_EQ(other.GetCounter("JOB"), first + 2);
    const kv::Variant again = other.call("GetSysInfo", {QString("DEMO")});
    for (int i = again.lowBound(2); i <= again.highBound(2); ++i)
        EXPECT_FALSE(kv::varToStr(again.at(0, i)).startsWith("CNT:")); // counters are not settings
}

TEST_F(ServicesTest, ApplicationServerKeepsSchemesAndRights) {
    tarnix::TReportCounter server(data);
    const auto load = [&] { return server.call("LoadTable", {kv::Variant::arrayOf({"DS", "KRTA07"})}); };
    const auto save = [&](const QString& name, const QString& values, bool replace) {
        return kv::varToStr(server.call(
            "InsertConTable",
            {kv::Variant::arrayOf({name, "DS", "20261207101010000", "KRTA07", "edA,edB", values, replace})}));
    };
    EXPECT_EQ(load().elementCount(), 0);
    EXPECT_EQ(save("月初", "1,2", false), "");
    EXPECT_EQ(save("周末", "3,4", false), "");
    EXPECT_EQ(save("月初", "9,9", false), QStringLiteral("方案已存在!"));
    EXPECT_EQ(save("月初", "5,6", true), "");
    kv::Variant rows = load();
    ASSERT_EQ(rows.elementCount(), 2);
    EXPECT_EQ(at(rows.at(1), 0), QStringLiteral("月初"));
    EXPECT_EQ(at(rows.at(1), 2), "edA,edB");
    EXPECT_EQ(at(rows.at(1), 3), "5,6");

    EXPECT_EQ(kv::varToStr(server.call("ChangeConName", {kv::Variant::arrayOf({"月初", "DS", "KRTA07"}),
                                                         kv::Variant::arrayOf({"周末", "DS", "KRTA07"})})),
              QStringLiteral("方案已存在!"));
    EXPECT_EQ(kv::varToStr(server.call("ChangeConName", {kv::Variant::arrayOf({"月初", "DS", "KRTA07"}),
                                                         kv::Variant::arrayOf({"月底", "DS", "KRTA07"})})),
              "");
    EXPECT_EQ(kv::varToStr(server.call("DeleteConTable", {kv::Variant::arrayOf({"月初", "DS", "KRTA07"})})),
              QStringLiteral("方案不存在!"));
    EXPECT_EQ(kv::varToStr(server.call("DeleteConTable", {kv::Variant::arrayOf({"月底", "DS", "KRTA07"})})),
              "");
    EXPECT_EQ(load().elementCount(), 1);

    // The scheme check of the validator sees what the server stored.
    kv::Variant row;
    EXPECT_TRUE(query("GENES", "01", kv::Variant::arrayOf({"周末", "DS", "KRTA07"}), row));

    kv::Variant power = server.call("GetPower", {kv::Variant::arrayOf({"DEMO", "DS", "KRTA07", ""})});
    EXPECT_EQ(at(power, 1), "YYYYYYYY");
    power = server.call("GetPower", {kv::Variant::arrayOf({"DEMO", "NOBODY", "KRTA07", ""})});
    EXPECT_EQ(at(power, 1), "NNNNNNNN");
    data->exec("INSERT INTO KVRPOW (PW001, PW002, PW003, PW004) VALUES ('PLAN01', 'KRTA07', 'F01', 'YNYN')");
    power = server.call("GetPower", {kv::Variant::arrayOf({"DEMO", "PLAN01", "KRTA07", ""})});
    EXPECT_EQ(at(power, 0), "F01");
    EXPECT_EQ(at(power, 1), "YNYN");

    EXPECT_EQ(kv::varToStr(server.call("Request", {QString("not a request")})), "ERROR");
    EXPECT_FALSE(kv::varToStr(server.call("ErrorDescript")).isEmpty());
    EXPECT_THROW(server.call("SimpleSQL", {QString("SELECT 1; DROP TABLE KVRJOB")}), kv::EOleError);
    EXPECT_THROW(server.call("SimpleSQL", {QString("UPDATE KVRJOB SET JB006 = '9'")}), kv::EOleError);
    const kv::Variant portal =
        server.call("SimpleSQL", {QString("SELECT MA003 FROM KVRINTMA WHERE MA001='StartupPortal' ")});
    EXPECT_EQ(at(portal.at(0), 0), "N");
}

TEST_F(ServicesTest, LookupWindowReturnsTheClickedRow) {
    tarnix::TLookupService lookup(data);
    const QList<QStringList> factories = data->select("SELECT MB001, MB002 FROM CMSMB ORDER BY MB001");
    ASSERT_GE(factories.size(), 2);
    whileModal([](QWidget* modal) {
        auto* table = modal->findChild<QTableWidget*>("grdRows");
        ASSERT_NE(table, nullptr);
        const QRect cell = table->visualRect(table->model()->index(1, 1));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseClick(modal->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
    });
    kv::Variant request = kv::Variant::array(0, 18);
    request.at(2) = "CMSMB";
    request.at(3) = "01";
    kv::Variant rows = lookup.call("F2GetData", {request});
    ASSERT_EQ(rows.elementCount(), 1);
    EXPECT_EQ(at(rows.at(0), 0), factories.at(1).at(0));
    EXPECT_EQ(at(rows.at(0), 1), factories.at(1).at(1));

    // Typing narrows the rows; a double click takes the row.
    const QString wanted = factories.last().at(0);
    whileModal([wanted](QWidget* modal) {
        QTest::keyClicks(modal->findChild<QLineEdit*>("edSearch"), wanted);
        auto* table = modal->findChild<QTableWidget*>("grdRows");
        int visible = 0, row = -1;
        for (int r = 0; r < table->rowCount(); ++r)
            if (!table->isRowHidden(r)) {
                ++visible;
                row = r;
            }
        EXPECT_EQ(visible, 1);
        const QRect cell = table->visualRect(table->model()->index(row, 0));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    });
    rows = lookup.call("F2GetData", {request});
    ASSERT_EQ(rows.elementCount(), 1);
    EXPECT_EQ(at(rows.at(0), 0), wanted);

    // Cancel gives no row; an unknown window fails.
    whileModal([](QWidget* modal) {
        QTest::mouseClick(modal->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
    });
    EXPECT_EQ(lookup.call("F2GetData", {request}).elementCount(), 0);
    request.at(3) = "99";
    EXPECT_THROW(lookup.call("F2GetData", {request}), kv::EOleError);
}

TEST_F(ServicesTest, PhraseAndDatePickers) {
    tarnix::TLookupService lookup(data);
    whileModal([](QWidget* modal) {
        auto* table = modal->findChild<QTableWidget*>("grdRows");
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                          table->visualRect(table->model()->index(1, 0)).center());
        QTest::mouseClick(modal->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
    });
    EXPECT_EQ(kv::varToStr(lookup.call("GetPhrase", {QString("DS"), QString("DEMO"), 0})),
              QStringLiteral("产能不足, 请调整"));
    whileModal([](QWidget* modal) {
        auto* picker = qobject_cast<tarnix::TDayPicker*>(modal);
        ASSERT_NE(picker, nullptr);
        picker->calendar()->setSelectedDate(QDate(2026, 3, 9));
        picker->accept();
    });
    EXPECT_EQ(kv::varToStr(lookup.call("ShowInputDay", {kv::Variant::arrayOf({"2026/01/01", 1, "/"})})),
              "2026/03/09");
    whileModal([](QWidget* modal) {
        auto* picker = qobject_cast<tarnix::TDayPicker*>(modal);
        EXPECT_EQ(picker->calendar()->selectedDate(), QDate(2026, 12, 31)); // starts on the given date
        picker->accept();
    });
    EXPECT_EQ(kv::varToStr(lookup.call("ShowInputDay", {kv::Variant::arrayOf({"31-12-2026", 3, "-"})})),
              "31-12-2026");
}

TEST(Wire, VariantsRoundTripAndDamagedFramesAreRefused) {
    kv::Variant grid = kv::Variant::array2(0, 1, 0, 2);
    for (int i = 0; i <= 1; ++i)
        for (int j = 0; j <= 2; ++j)
            grid.at(i, j) = QString("%1,%2").arg(i).arg(j);
    kv::Variant nested = kv::Variant::array(1, 3);
    nested.at(1) = kv::Variant::fromBytes(QByteArray("\xb9\xa4", 2), 936);
    nested.at(2) = kv::Variant::null();
    nested.at(3) = grid;
    const kv::Variant value =
        kv::Variant::arrayOf({true, 42, 2.5, kv::Variant::fromDate(46000.25), "文本", nested});
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        kv::wire::writeVariant(out, value);
    }
    QDataStream in(bytes);
    EXPECT_EQ(kv::wire::readVariant(in), value);
    EXPECT_EQ(in.status(), QDataStream::Ok);

    // An array that claims a billion elements is not allocated.
    QByteArray hostile;
    {
        QDataStream out(&hostile, QIODevice::WriteOnly);
        out << quint8(kv::VarType::Array) << quint8(1) << qint32(0) << qint32(1'000'000'000);
    }
    QDataStream bad(hostile);
    kv::wire::readVariant(bad);
    EXPECT_NE(bad.status(), QDataStream::Ok);
}

// A server that answers a call only after the caller gave up on it: that late answer is never
// taken for the answer of the next call.
TEST(Wire, AnAnswerThatComesAfterItsCallGaveUpIsNotTakenForTheNextOne) {
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost));
    const quint16 port = listener.serverPort();
    listener.close();
    auto answer = [](const QString& text) {
        QByteArray out;
        QDataStream reply(&out, QIODevice::WriteOnly);
        reply << true;
        kv::wire::writeVariant(reply, text);
        reply << quint32(0);
        return kv::wire::frame(out);
    };
    std::thread server([port, &answer] {
        QTcpServer s;
        if (!s.listen(QHostAddress::LocalHost, port) || !s.waitForNewConnection(5000)) return;
        std::unique_ptr<QTcpSocket> c(s.nextPendingConnection());
        // Each request is read whole before its answer goes out.
        auto readRequest = [&c] {
            QByteArray got;
            while (got.size() < 4 || got.size() < 4 + qFromBigEndian<qint32>(got.constData()))
                if (!c->waitForReadyRead(3000))
                    return false;
                else
                    got += c->readAll();
            return true;
        };
        if (!readRequest()) return;
        QByteArray created;
        QDataStream(&created, QIODevice::WriteOnly) << true;
        c->write(kv::wire::frame(created));
        c->waitForBytesWritten(1000);
        if (!readRequest()) return;
        QThread::msleep(600);
        c->write(answer("late answer of the first call"));
        c->waitForBytesWritten(1000);
        if (readRequest()) {
            c->write(answer("answer of the second call"));
            c->waitForBytesWritten(1000);
        }
        c->waitForDisconnected(2000);
    });
    TSocketConnection connection;
    connection.Address = "127.0.0.1";
    connection.Port = port;
    connection.ServerName = "S.Class1";
    connection.Timeout = 200;
    // The server thread may not listen yet.
    for (int tries = 0; tries < 50 && !connection.Connected(); ++tries) {
        try {
            connection.Open();
        } catch (const std::exception&) {
            QThread::msleep(20);
        }
    }
    ASSERT_TRUE(connection.Connected());
    EXPECT_THROW(connection.AppServer()->call("Request"), std::exception);
    QThread::msleep(800);
    QString second;
    try {
        second = connection.AppServer()->call("Request").toString();
    } catch (const std::exception&) {
        second = "failed";
    }
    EXPECT_NE(second, "late answer of the first call");
    connection.Close();
    server.join();
}

// A port out of range in the settings names itself, and nothing connects to the port it would wrap to.
TEST(SocketConnection, APortOutOfRangeIsRefusedNotWrapped) {
    QTcpServer listening;
    ASSERT_TRUE(listening.listen(QHostAddress::LocalHost));
    TSocketConnection connection;
    connection.Address = "127.0.0.1";
    connection.Port = listening.serverPort() + 65536;
    connection.Timeout = 500;
    try {
        connection.Open();
        ADD_FAILURE() << "connected through port " << connection.Port;
    } catch (const std::exception& e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains(
            QString(":%1: the port is not between 1 and 65535").arg(connection.Port)))
            << e.what();
    }
    EXPECT_FALSE(listening.waitForNewConnection(100));
    EXPECT_FALSE(connection.Connected());
}

TEST(HostServicesWithoutDatabase, ServicesFailWithTheirName) {
    testsupport::ScopedEnv env("TARNIX_REGISTRY", "/nonexistent/registry.ini");
    const auto host =
        std::make_shared<tarnix::THostAutomation>(tarnix::TMessageTable::shipped(), tarnix::THostSettings{});
    try {
        host->call("Com_Validator");
        ADD_FAILURE() << "answered without a database";
    } catch (const kv::EOleError& e) {
        EXPECT_TRUE(e.message().startsWith("Com_Validator:")) << e.what();
    }
    EXPECT_TRUE(kv::ObjectRegistry::isRegistered(tarnix::kAppServerProgID));
}

namespace {

// Takes the addresses the desktop is asked to open instead of starting a viewer.
class TUrlCatcher : public QObject {
    Q_OBJECT

public:
    TUrlCatcher() { QDesktopServices::setUrlHandler("file", this, "open"); }
    ~TUrlCatcher() override { QDesktopServices::unsetUrlHandler("file"); }
    QList<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls << url; }
};

} // namespace

TEST_F(ServicesTest, HelpOpensTheInstallationsPageOfTheTopic) {
    testsupport::ScopedEnv env("TARNIX_REGISTRY", (dir->path() + "/registry.ini").toUtf8());
    const kv::DispatchPtr host = std::make_shared<tarnix::THostAutomation>(
        tarnix::TMessageTable::shipped(), tarnix::THostSettings{}, [this] { return data; });
    TUrlCatcher catcher;
    const QString page = testsupport::writeFile(dir->path() + "/Help/INV/12050000.html", "<p>help</p>");
    host->call("CallHelp", {kv::Variant::arrayOf({"inv", "12050000"})});
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(QFileInfo(catcher.urls[0].toLocalFile()).canonicalFilePath(),
              QFileInfo(page).canonicalFilePath());
    // A program with one book of help opens it at the topic.
    testsupport::writeFile(dir->path() + "/Help/MPS.html", "<a name='13010000'>");
    host->call("CallHelp", {kv::Variant::arrayOf({"MPS", "13010000"})});
    ASSERT_EQ(catcher.urls.size(), 2);
    EXPECT_EQ(catcher.urls[1].fragment(), "13010000");
    EXPECT_TRUE(catcher.urls[1].toLocalFile().endsWith("/Help/MPS.html"));
    // No help, or names that would leave the help folder, fail with the service's name.
    for (const kv::Variant& bad :
         {kv::Variant::arrayOf({"PUR", "63B30000"}), kv::Variant::arrayOf({"..", "12050000"}),
          kv::Variant::arrayOf({"INV", "../../x"})}) {
        try {
            host->call("CallHelp", {bad});
            ADD_FAILURE() << "CallHelp answered";
        } catch (const kv::EOleError& e) {
            EXPECT_TRUE(e.message().startsWith("CallHelp:")) << e.what();
        }
    }
    EXPECT_EQ(catcher.urls.size(), 2);
}

TEST_F(ServicesTest, FileListTellsStampAndPathOfAServerProgramFile) {
    testsupport::ScopedEnv env("TARNIX_REGISTRY", (dir->path() + "/registry.ini").toUtf8());
    // A workstation east of Greenwich: the stamp is local time, as the download library reads it.
    const auto zoneBack = qScopeGuard([] { tzset(); }); // after the variable is restored
    testsupport::ScopedEnv zone("TZ", "Asia/Shanghai");
    tzset();
    const kv::DispatchPtr host = std::make_shared<tarnix::THostAutomation>(
        tarnix::TMessageTable::shipped(), tarnix::THostSettings{}, [this] { return data; });
    const TStewardIniS settings;
    ASSERT_FALSE(settings.WorkDLLPaths.isEmpty());
    // One file in a package folder below the first program directory.
    const QString file = testsupport::writeFile(settings.WorkDLLPaths.first() + "KRT_S_PKG/KRTB05S.so", "x");
    const QDateTime stamp(QDate(2008, 5, 15), QTime(10, 20, 30), Qt::UTC);
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(stamp, QFileDevice::FileModificationTime));
    }
    const QString info = kv::varToStr(host->call("GetFileList", {kv::Variant::arrayOf({"krtb05s.so"})}));
    EXPECT_TRUE(info.contains("<Modify>20080515182030</Modify>")) << info.toStdString();
    EXPECT_TRUE(info.contains("<Path>" + QFileInfo(file).absoluteFilePath() + "</Path>"))
        << info.toStdString();
    EXPECT_TRUE(info.contains("<Size>1</Size>"));
    // Unknown files give nothing; a directory part is ignored, so names cannot reach elsewhere.
    EXPECT_EQ(kv::varToStr(host->call("GetFileList", {kv::Variant::arrayOf({"NOPE.so"})})), "");
    EXPECT_EQ(kv::varToStr(host->call("GetFileList", {kv::Variant::arrayOf({"/etc/passwd"})})), "");
    EXPECT_THROW(host->call("GetFileList", {kv::Variant::arrayOf({""})}), kv::EOleError);
}

#include "ServicesTest.moc"
