// The web-service library: the request posted, the answer file, and HTTP errors, time-outs and bad
// addresses reported as failures.
#include <QFile>
#include <QTemporaryDir>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "common/TestSupport.h"
#include "host/webservice/CallWebService.h"
#include "host/webservice/TestHttpServer.h"

namespace {

using testsupport::TestHttpServer;

class WebServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        library = dlopen((testsupport::binDir() + "/CallWebService.so").toLocal8Bit().constData(), RTLD_NOW);
        ASSERT_NE(library, nullptr) << dlerror();
        call = reinterpret_cast<TCallWebServiceFx>(dlsym(library, "CallWebServiceFx"));
        ASSERT_NE(call, nullptr);
        answerFile = dir.filePath("~Tarnix_answer.tmp");
    }
    void TearDown() override {
        if (library) dlclose(library);
    }
    // Calls the export; the error text comes back in error.
    bool post(const QString& address, const QByteArray& request = "<Request/>") {
        char buffer[kWebServiceErrorSize];
        std::memset(buffer, 'x', sizeof buffer); // the library must terminate it
        const int ok = call(address.toUtf8().constData(), "PORTAL.getAllUser", request.constData(),
                            answerFile.toUtf8().constData(), buffer);
        error = QString::fromUtf8(buffer, qsizetype(strnlen(buffer, sizeof buffer)));
        EXPECT_LT(strnlen(buffer, sizeof buffer), sizeof buffer);
        return ok == 1;
    }

    void* library = nullptr;
    TCallWebServiceFx call = nullptr;
    QTemporaryDir dir;
    QString answerFile;
    QString error;
};

} // namespace

TEST_F(WebServiceTest, PostsTheRequestAndWritesTheAnswer) {
    TestHttpServer server;
    const QByteArray answer =
        "<Response><Status code=\"0\"/><Record><Field name=\"Id\" value=\"张三\"/></Record></Response>";
    server.handler = [&](const TestHttpServer::Request&) {
        return TestHttpServer::Answer{200, "OK", answer};
    };
    const QByteArray request =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Request><Access user=\"王\"/></Request>";
    ASSERT_TRUE(post(server.url("/portal/ws"), request)) << error.toStdString();
    EXPECT_TRUE(error.isEmpty());
    ASSERT_EQ(server.requests.size(), 1);
    const TestHttpServer::Request& seen = server.requests.first();
    EXPECT_EQ(seen.method, "POST");
    EXPECT_EQ(seen.path, "/portal/ws");
    EXPECT_EQ(seen.headers.value("soapaction"), "PORTAL.getAllUser");
    EXPECT_TRUE(seen.headers.value("content-type").startsWith("text/xml"));
    EXPECT_EQ(seen.body, request);
    EXPECT_EQ(testsupport::readFile(answerFile), answer);

    // An existing file of that name is replaced, not appended to.
    testsupport::writeFile(answerFile, QByteArray(4096, 'z'));
    ASSERT_TRUE(post(server.url("/portal/ws")));
    EXPECT_EQ(testsupport::readFile(answerFile), answer);
}

TEST_F(WebServiceTest, HttpErrorsAndTimeoutsAreFailures) {
    TestHttpServer server;
    server.handler = [](const TestHttpServer::Request&) {
        return TestHttpServer::Answer{500, "Internal Server Error", "<Fault/>"};
    };
    EXPECT_FALSE(post(server.url("/ws")));
    EXPECT_TRUE(error.contains("HTTP 500 Internal Server Error")) << error.toStdString();
    EXPECT_FALSE(QFile::exists(answerFile));

    testsupport::ScopedEnv timeout("TARNIX_WEBSERVICE_TIMEOUT", "1");
    server.handler = [](const TestHttpServer::Request&) {
        TestHttpServer::Answer a;
        a.silent = true;
        return a;
    };
    EXPECT_FALSE(post(server.url("/ws")));
    EXPECT_TRUE(error.contains("did not answer within 1 seconds")) << error.toStdString();
    EXPECT_FALSE(QFile::exists(answerFile));
}

TEST_F(WebServiceTest, BadAddressesAndNobodyListening) {
    EXPECT_FALSE(post(""));
    EXPECT_TRUE(error.startsWith("Bad web service address")) << error.toStdString();
    EXPECT_FALSE(post("ftp://127.0.0.1/ws"));
    EXPECT_TRUE(error.startsWith("Bad web service address"));
    quint16 port = 0;
    {
        TestHttpServer probe; // a port nobody listens on once the probe is gone
        port = probe.port();
    }
    EXPECT_FALSE(post(QString("http://127.0.0.1:%1/ws").arg(port)));
    EXPECT_TRUE(error.startsWith("Cannot call the web service")) << error.toStdString();
    EXPECT_FALSE(QFile::exists(answerFile));
}
