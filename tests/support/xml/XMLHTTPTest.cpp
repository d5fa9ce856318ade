#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWidget>
#include <gtest/gtest.h>

#include "support/MSXML2_TLB.h"

namespace {

// A one-thread HTTP server: answers each request with a fixed status, or never answers.
class TinyHttpServer {
public:
    explicit TinyHttpServer(QByteArray status = "200 OK", bool silent = false)
        : FStatus(std::move(status)), FSilent(silent) {
        // A proxy configured on the test machine must not stand between the request and this server.
        QNetworkProxyFactory::setUseSystemConfiguration(false);
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        QObject::connect(&FServer, &QTcpServer::newConnection, [this]() {
            while (QTcpSocket* socket = FServer.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket]() {
                    FBuffer += socket->readAll();
                    if (!FBuffer.contains("\r\n\r\n") || FSilent) return;
                    requests << FBuffer.left(FBuffer.indexOf("\r\n"));
                    FBuffer.clear();
                    socket->write("HTTP/1.1 " + FStatus +
                                  "\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
                    socket->disconnectFromHost();
                });
            }
        });
        FServer.listen(QHostAddress::LocalHost);
    }
    QString url(const QString& path) const {
        return QString("http://127.0.0.1:%1%2").arg(FServer.serverPort()).arg(path);
    }
    QStringList requests;

private:
    QTcpServer FServer;
    QByteArray FStatus;
    bool FSilent;
    QByteArray FBuffer;
};

} // namespace

TEST(XMLHTTP, SynchronousGet) {
    TinyHttpServer server;
    QWidget form;
    auto* request = new TXMLHTTP(&form); // owned by the form, as the report form does
    EXPECT_FALSE(request->connected());
    request->Open("Get", server.url("/ReportServer/report.aspx?id=KRTA07&user=DS"), false);
    EXPECT_TRUE(request->connected());
    request->Send();
    EXPECT_EQ(request->status(), 200);
    EXPECT_EQ(request->responseText(), "ok");
    ASSERT_EQ(server.requests.size(), 1);
    EXPECT_EQ(server.requests[0], "GET /ReportServer/report.aspx?id=KRTA07&user=DS HTTP/1.1");
    // Sent once: a second Send needs a new Open.
    EXPECT_THROW(request->Send(), EXMLHTTPError);
    request->Open("Get", server.url("/again"), false);
    request->Send();
    EXPECT_EQ(server.requests.size(), 2);
}

TEST(XMLHTTP, HttpErrorStatusIsAnAnswer) {
    TinyHttpServer server("404 Not Found");
    TXMLHTTP request;
    request.Open("GET", server.url("/missing"));
    EXPECT_NO_THROW(request.Send());
    EXPECT_EQ(request.status(), 404);
    EXPECT_EQ(request.statusText(), "Not Found");
}

TEST(XMLHTTP, TransportFailuresRaise) {
    TXMLHTTP request;
    EXPECT_THROW(request.Send(), EXMLHTTPError); // never opened
    EXPECT_THROW(request.Open("Get", "not a url"), EXMLHTTPError);
    EXPECT_THROW(request.Open("", "http://127.0.0.1/"), EXMLHTTPError);

    quint16 closedPort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        closedPort = probe.serverPort();
    }
    request.Open("Get", QString("http://127.0.0.1:%1/").arg(closedPort));
    EXPECT_THROW(request.Send(), EXMLHTTPError);

    TinyHttpServer silent("200 OK", true);
    request.setTimeout(300);
    request.Open("Get", silent.url("/slow"));
    try {
        request.Send();
        ADD_FAILURE() << "a request without an answer must raise";
    } catch (const EXMLHTTPError& e) {
        EXPECT_TRUE(e.message().contains("timed out")) << e.what();
    }

    request.Open("Get", silent.url("/x"));
    request.Disconnect();
    EXPECT_FALSE(request.connected());
    EXPECT_THROW(request.Send(), EXMLHTTPError);
}
