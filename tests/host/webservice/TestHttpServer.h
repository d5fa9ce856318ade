#pragma once
// A small HTTP server on a loopback port for the tests of the web-service and download code. It runs
// in the test's thread: the code under test waits in a local event loop, which serves it too.
#include <QHostAddress>
#include <QMap>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>

namespace testsupport {

class TestHttpServer {
public:
    struct Request {
        QByteArray method, path, body;
        QMap<QByteArray, QByteArray> headers; // names in lower case
    };
    struct Answer {
        int status = 200;
        QByteArray reason = "OK";
        QByteArray body;
        QByteArray contentType = "text/xml; charset=utf-8";
        bool silent = false;  // keep the connection open and never answer
        QByteArray headers{}; // further header lines, each ended by CR LF
    };

    TestHttpServer() {
        QObject::connect(&FServer, &QTcpServer::newConnection, &FServer, [this] {
            while (QTcpSocket* socket = FServer.nextPendingConnection())
                serve(socket);
        });
        FServer.listen(QHostAddress::LocalHost);
    }

    quint16 port() const { return FServer.serverPort(); }
    QString url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
    }

    std::function<Answer(const Request&)> handler = [](const Request&) { return Answer(); };
    QList<Request> requests;

private:
    void serve(QTcpSocket* socket) {
        auto* buffer = new QByteArray;
        QObject::connect(socket, &QObject::destroyed, [buffer] { delete buffer; });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
            buffer->append(socket->readAll());
            const qsizetype end = buffer->indexOf("\r\n\r\n");
            if (end < 0) return;
            Request request;
            const QList<QByteArray> lines = buffer->left(end).split('\n');
            const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
            request.method = first.value(0);
            request.path = first.value(1);
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const qsizetype colon = lines.at(i).indexOf(':');
                if (colon > 0)
                    request.headers.insert(lines.at(i).left(colon).trimmed().toLower(),
                                           lines.at(i).mid(colon + 1).trimmed());
            }
            const qsizetype length = request.headers.value("content-length").toLongLong();
            if (buffer->size() - end - 4 < length) return; // the body is still coming
            request.body = buffer->mid(end + 4, length);
            buffer->clear();
            requests.append(request);
            const Answer answer = handler(request);
            if (answer.silent) return;
            QByteArray reply = "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' + answer.reason + "\r\n";
            reply += "Content-Type: " + answer.contentType + "\r\n";
            reply += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
            reply += answer.headers + "Connection: close\r\n\r\n";
            if (request.method != "HEAD") reply += answer.body;
            socket->write(reply);
            socket->disconnectFromHost();
        });
    }

    QTcpServer FServer;
};

} // namespace testsupport
