// tarnix-appserver: the application server for modules whose launcher settings name a server address
// other than "127.0.0.1". Each connection asks for one server object by its programme identifier and
// then calls its members; by-reference arguments travel back with the answer.
#include <QApplication>
#include <QCommandLineParser>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdio>

#include "frame/SocketConnection.h"
#include "host/services/HostServices.h"
#include "platform/RegistryFile.h"

namespace {

// One client: reads frames as they arrive and answers each in order.
class TClientSession : public QObject {
public:
    explicit TClientSession(QTcpSocket* socket) : QObject(socket), FSocket(socket) {
        connect(socket, &QTcpSocket::readyRead, this, &TClientSession::readFrames);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

private:
    void readFrames() {
        FBuffer.append(FSocket->readAll());
        while (FBuffer.size() >= 4) {
            quint32 size = 0;
            QDataStream(FBuffer.left(4)) >> size;
            // Calls carry options and job requests, never megabytes: anything larger is not a client of ours.
            if (size > 64u * 1024 * 1024) {
                FSocket->abort();
                return;
            }
            if (FBuffer.size() < qsizetype(4 + size)) return;
            const QByteArray request = FBuffer.mid(4, size);
            FBuffer.remove(0, 4 + size);
            FSocket->write(kv::wire::frame(answer(request)));
        }
    }

    QByteArray answer(const QByteArray& request) {
        QByteArray out;
        QDataStream reply(&out, QIODevice::WriteOnly);
        QDataStream in(request);
        QString verb;
        in >> verb;
        try {
            if (verb == "create") {
                QString progId;
                in >> progId;
                FObject = kv::CreateOleObject(progId);
                reply << true;
            } else if (verb == "has") {
                QString name;
                in >> name;
                reply << true << (FObject && FObject->hasMember(name));
            } else if (verb == "call") {
                if (!FObject) throw kv::EOleError("No server object was created on this connection");
                QString name;
                quint32 count = 0;
                in >> name >> count;
                if (count > 64) throw kv::EOleError("Too many arguments");
                kv::VariantArgs args;
                for (quint32 i = 0; i < count; ++i)
                    args.push_back(kv::wire::readVariant(in));
                if (in.status() != QDataStream::Ok) throw kv::EOleError("The call arrived damaged");
                const kv::Variant result = FObject->invoke(name, args);
                reply << true;
                kv::wire::writeVariant(reply, result);
                reply << quint32(args.size());
                for (const kv::Variant& a : args)
                    kv::wire::writeVariant(reply, a);
            } else {
                throw kv::EOleError("Unknown request " + verb);
            }
        } catch (const std::exception& e) {
            out.clear();
            QDataStream failure(&out, QIODevice::WriteOnly);
            failure << false << QString::fromUtf8(e.what());
        }
        return out;
    }

    QTcpSocket* FSocket;
    QByteArray FBuffer;
    kv::DispatchPtr FObject;
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv); // the lookup service's windows need a GUI application
    QApplication::setApplicationName("tarnix-appserver");
    QCommandLineParser parser;
    parser.setApplicationDescription("Serves the application server object to modules over TCP.");
    parser.addHelpOption();
    const QCommandLineOption installOpt(
        "install", "Installation directory (its registry.ini names the database).", "DIR");
    const QCommandLineOption portOpt("port", "Port to listen on (default 211).", "PORT",
                                     QString::number(kv::wire::kDefaultPort));
    const QCommandLineOption listenOpt("listen", "Address to listen on (default 127.0.0.1).", "ADDRESS",
                                       "127.0.0.1");
    parser.addOptions({installOpt, portOpt, listenOpt});
    parser.process(app);
    if (parser.isSet(installOpt) && qEnvironmentVariableIsEmpty(kv::kRegistryEnv))
        qputenv(kv::kRegistryEnv,
                QFile::encodeName(
                    QDir(QFileInfo(parser.value(installOpt)).absoluteFilePath()).filePath("registry.ini")));
    tarnix::registerApplicationServerClass();

    QTcpServer server;
    if (!server.listen(QHostAddress(parser.value(listenOpt)), quint16(parser.value(portOpt).toUInt()))) {
        std::fprintf(stderr, "tarnix-appserver: cannot listen: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    QObject::connect(&server, &QTcpServer::newConnection, [&server] {
        while (QTcpSocket* socket = server.nextPendingConnection())
            new TClientSession(socket);
    });
    std::printf("listening on %s:%u\n", qPrintable(server.serverAddress().toString()),
                unsigned(server.serverPort()));
    std::fflush(stdout);
    return app.exec();
}
