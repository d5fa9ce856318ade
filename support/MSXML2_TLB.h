#pragma once
// The HTTP request object with which a report form fetches its web report address before showing it.
// Calls are synchronous: Send waits in a local event loop (user input excluded) until the answer has
// arrived or the time-out has passed. A transport failure (no connection, time-out, bad address) raises
// EXMLHTTPError; an HTTP error status does not, it is left in status().
#include <QObject>
#include <QString>

#include "platform/KvError.h"
#include "platform/ole/Variant.h"

class QNetworkAccessManager;

class EXMLHTTPError : public EKvError {
public:
    using EKvError::EKvError;
};

class TXMLHTTP : public QObject {
    Q_OBJECT
public:
    explicit TXMLHTTP(QObject* owner = nullptr);
    ~TXMLHTTP() override;

    // Opens a request; method as the caller writes it ("Get"). The asynchronous flag is accepted for
    // the callers' sake, but the request always completes inside Send.
    void Open(const QString& method, const QString& url, const kv::Variant& async = kv::Variant(false),
              const kv::Variant& user = {}, const kv::Variant& password = {});
    void Send(const kv::Variant& body = {});
    void Connect();
    void Disconnect();
    bool connected() const { return FManager != nullptr; }

    int status() const { return FStatus; }
    QString statusText() const { return FStatusText; }
    QByteArray responseBody() const { return FResponse; }
    QString responseText() const { return QString::fromUtf8(FResponse); }

    int timeout() const { return FTimeoutMs; }
    void setTimeout(int milliseconds) { FTimeoutMs = milliseconds; }

private:
    QNetworkAccessManager* FManager = nullptr;
    QString FMethod;
    QString FUrl;
    QString FUser;
    QString FPassword;
    bool FOpen = false;
    int FStatus = 0;
    QString FStatusText;
    QByteArray FResponse;
    int FTimeoutMs = 60000;
};
