#include "frame/SocketConnection.h"

#include <QDataStream>
#include <QIODevice>
#include <QTcpSocket>

namespace kv::wire {

void writeVariant(QDataStream& out, const Variant& value) {
    const VarType type = value.type() == VarType::Dispatch ? VarType::Empty : value.type();
    out << quint8(type);
    switch (type) {
    case VarType::Empty:
    case VarType::Null:
    case VarType::Dispatch:
        break;
    case VarType::Boolean:
        out << value.toBool();
        break;
    case VarType::Integer:
        out << qint32(value.toInt());
        break;
    case VarType::Double:
        out << value.toDouble();
        break;
    case VarType::Date:
        out << value.toDate();
        break;
    case VarType::WideString:
        out << value.toString();
        break;
    case VarType::ByteString:
        out << qint32(value.codePage()) << value.bytes();
        break;
    case VarType::Array: {
        const int dims = value.dimCount();
        out << quint8(dims);
        for (int d = 1; d <= dims; ++d)
            out << qint32(value.lowBound(d)) << qint32(value.highBound(d));
        if (dims == 1) {
            for (int i = value.lowBound(); i <= value.highBound(); ++i)
                writeVariant(out, value.at(i));
        } else {
            for (int i = value.lowBound(1); i <= value.highBound(1); ++i)
                for (int j = value.lowBound(2); j <= value.highBound(2); ++j)
                    writeVariant(out, value.at(i, j));
        }
        break;
    }
    }
}

Variant readVariant(QDataStream& in) {
    quint8 type = 0;
    in >> type;
    switch (VarType(type)) {
    case VarType::Empty:
    case VarType::Dispatch:
        return {};
    case VarType::Null:
        return Variant::null();
    case VarType::Boolean: {
        bool b = false;
        in >> b;
        return Variant(b);
    }
    case VarType::Integer: {
        qint32 n = 0;
        in >> n;
        return Variant(int(n));
    }
    case VarType::Double: {
        double d = 0;
        in >> d;
        return Variant(d);
    }
    case VarType::Date: {
        double d = 0;
        in >> d;
        return Variant::fromDate(d);
    }
    case VarType::WideString: {
        QString s;
        in >> s;
        return Variant(s);
    }
    case VarType::ByteString: {
        qint32 cp = 0;
        QByteArray bytes;
        in >> cp >> bytes;
        return Variant::fromBytes(bytes, cp);
    }
    case VarType::Array: {
        quint8 dims = 0;
        in >> dims;
        qint32 low[2] = {0, 0}, high[2] = {-1, -1};
        for (int d = 0; d < dims && d < 2; ++d)
            in >> low[d] >> high[d];
        // A damaged or hostile frame must not make us allocate without bound.
        const qint64 count = qint64(high[0] - low[0] + 1) * (dims == 2 ? qint64(high[1] - low[1] + 1) : 1);
        if (dims < 1 || dims > 2 || count < 0 || count > 10'000'000) {
            in.setStatus(QDataStream::ReadCorruptData);
            return {};
        }
        if (dims == 1) {
            Variant a = Variant::array(low[0], high[0]);
            for (int i = low[0]; i <= high[0] && in.status() == QDataStream::Ok; ++i)
                a.at(i) = readVariant(in);
            return a;
        }
        Variant a = Variant::array2(low[0], high[0], low[1], high[1]);
        for (int i = low[0]; i <= high[0]; ++i)
            for (int j = low[1]; j <= high[1] && in.status() == QDataStream::Ok; ++j)
                a.at(i, j) = readVariant(in);
        return a;
    }
    }
    in.setStatus(QDataStream::ReadCorruptData);
    return {};
}

QByteArray frame(const QByteArray& payload) {
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s << quint32(payload.size());
    out.append(payload);
    return out;
}

} // namespace kv::wire

namespace {

// The server object at the other end of a socket: each call is one request frame and one answer frame.
class TRemoteServer : public kv::Dispatch {
public:
    TRemoteServer(std::unique_ptr<QTcpSocket> socket, int timeout)
        : FSocket(std::move(socket)), FTimeout(timeout) {}

    kv::Variant invoke(const QString& name, kv::VariantArgs& args) override {
        QByteArray request;
        {
            QDataStream out(&request, QIODevice::WriteOnly);
            out << QStringLiteral("call") << name << quint32(args.size());
            for (const kv::Variant& a : args)
                kv::wire::writeVariant(out, a);
        }
        const QByteArray answer = roundTrip(request);
        QDataStream in(answer);
        bool ok = false;
        in >> ok;
        if (!ok) {
            QString error;
            in >> error;
            throw kv::EOleError(error);
        }
        kv::Variant result = kv::wire::readVariant(in);
        quint32 count = 0;
        in >> count;
        // By-reference arguments come back written.
        for (quint32 i = 0; i < count && i < args.size(); ++i)
            args[i] = kv::wire::readVariant(in);
        if (in.status() != QDataStream::Ok)
            throw kv::EOleError("The application server sent a damaged answer");
        return result;
    }

    bool hasMember(const QString& name) const override {
        auto* self = const_cast<TRemoteServer*>(this);
        QByteArray request;
        {
            QDataStream out(&request, QIODevice::WriteOnly);
            out << QStringLiteral("has") << name;
        }
        QDataStream in(self->roundTrip(request));
        bool ok = false, has = false;
        in >> ok >> has;
        return ok && has;
    }

    QByteArray roundTrip(const QByteArray& request) {
        if (FSocket->state() != QAbstractSocket::ConnectedState)
            throw kv::EOleError("The connection to the application server is closed");
        try {
            return exchange(request);
        } catch (...) {
            // An answer that comes after its call gave up would be read as the next call's: a call
            // that did not get its whole answer ends the connection.
            FSocket->abort();
            throw;
        }
    }

    QTcpSocket& socket() { return *FSocket; }

private:
    QByteArray exchange(const QByteArray& request) {
        FSocket->write(kv::wire::frame(request));
        if (!FSocket->waitForBytesWritten(FTimeout)) throw kv::EOleError(FSocket->errorString());
        while (FSocket->bytesAvailable() < 4)
            if (!FSocket->waitForReadyRead(FTimeout)) throw kv::EOleError(FSocket->errorString());
        quint32 size = 0;
        QDataStream(FSocket->read(4)) >> size;
        QByteArray answer;
        while (answer.size() < qsizetype(size)) {
            if (FSocket->bytesAvailable() == 0 && !FSocket->waitForReadyRead(FTimeout))
                throw kv::EOleError(FSocket->errorString());
            answer.append(FSocket->read(size - answer.size()));
        }
        return answer;
    }

    std::unique_ptr<QTcpSocket> FSocket;
    int FTimeout;
};

} // namespace

TSocketConnection::TSocketConnection(QObject* owner) : QObject(owner) {}

TSocketConnection::~TSocketConnection() {
    Close();
}

bool TSocketConnection::Connected() const {
    return FRemote && FAppServer;
}

void TSocketConnection::Open() {
    Close();
    // A port out of range would wrap to another one, and another service might answer there.
    if (Port < 1 || Port > 65535)
        throw EKvError(QString("Cannot connect to the application server %1:%2: the port is not between 1 "
                               "and 65535")
                           .arg(Address)
                           .arg(Port));
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(Address, quint16(Port));
    if (!socket->waitForConnected(Timeout))
        throw EKvError(QString("Cannot connect to the application server %1:%2: %3")
                           .arg(Address)
                           .arg(Port)
                           .arg(socket->errorString()));
    auto server = std::make_shared<TRemoteServer>(std::move(socket), Timeout);
    QByteArray request;
    {
        QDataStream out(&request, QIODevice::WriteOnly);
        out << QStringLiteral("create") << ServerName;
    }
    QDataStream in(server->roundTrip(request));
    bool ok = false;
    in >> ok;
    if (!ok) {
        QString error;
        in >> error;
        throw EKvError(error);
    }
    FAppServer = std::move(server);
    FRemote = true;
}

void TSocketConnection::Close() {
    if (FRemote) FAppServer.reset();
    FRemote = false;
}
