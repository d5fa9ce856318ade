#pragma once
// TSocketConnection: the connection of a form to the application server. For a server on another
// address it opens a TCP connection and gives a dispatch interface whose calls travel over it; for the
// server in this process the form hands it the object directly.
#include <QObject>
#include <QString>

#include "platform/ole/Dispatch.h"

class QDataStream;

class TSocketConnection : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Address MEMBER Address)
    Q_PROPERTY(int Port MEMBER Port)
    Q_PROPERTY(QString ServerName MEMBER ServerName)

public:
    explicit TSocketConnection(QObject* owner = nullptr);
    ~TSocketConnection() override;

    QString Address;
    int Port = 211;
    QString ServerName;
    // The object broker that chooses a server when no address is set; not used once one is.
    QObject* ObjectBroker = nullptr;
    // Milliseconds to wait for the server to accept or to answer a call.
    int Timeout = 15000;

    bool Connected() const;
    // Connects and asks the server for the object ServerName; raises EKvError when either fails.
    void Open();
    void Close();
    void SetConnected(bool value) { value ? Open() : Close(); }

    kv::DispatchPtr AppServer() const { return FAppServer; }
    // A server object given from outside (the in-process server).
    void SetAppServer(kv::DispatchPtr server) { FAppServer = std::move(server); }

private:
    kv::DispatchPtr FAppServer;
    bool FRemote = false;
};

namespace kv::wire {

// Variants on the wire: every kind but dispatch references, which cannot leave their process.
void writeVariant(QDataStream& out, const Variant& value);
Variant readVariant(QDataStream& in);

// A frame is a 32-bit length and the bytes of a stream.
QByteArray frame(const QByteArray& payload);

// The server's port when none is configured.
constexpr int kDefaultPort = 211;

} // namespace kv::wire
