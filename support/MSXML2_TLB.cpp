#include "support/MSXML2_TLB.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

TXMLHTTP::TXMLHTTP(QObject* owner) : QObject(owner) {}

TXMLHTTP::~TXMLHTTP() {
    Disconnect();
}

void TXMLHTTP::Connect() {
    if (!FManager) FManager = new QNetworkAccessManager(this);
}

void TXMLHTTP::Disconnect() {
    delete FManager;
    FManager = nullptr;
    FOpen = false;
}

void TXMLHTTP::Open(const QString& method, const QString& url, const kv::Variant& async,
                    const kv::Variant& user, const kv::Variant& password) {
    Q_UNUSED(async);
    Connect();
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.scheme().isEmpty() || parsed.host().isEmpty())
        throw EXMLHTTPError(QStringLiteral("The URL is invalid: %1").arg(url));
    if (method.trimmed().isEmpty()) throw EXMLHTTPError("The request method is empty");
    FMethod = method.trimmed().toUpper();
    FUrl = url;
    FUser = kv::varToStr(user);
    FPassword = kv::varToStr(password);
    FOpen = true;
    FStatus = 0;
    FStatusText.clear();
    FResponse.clear();
}

void TXMLHTTP::Send(const kv::Variant& body) {
    Connect();
    if (!FOpen) throw EXMLHTTPError("The request must be opened before it is sent");
    QUrl url(FUrl);
    if (!FUser.isEmpty()) {
        url.setUserName(FUser);
        url.setPassword(FPassword);
    }
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    const QByteArray data = body.isText() ? body.toString().toUtf8() : QByteArray();
    QNetworkReply* reply = FManager->sendCustomRequest(request, FMethod.toLatin1(), data);

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    bool timedOut = false;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    connect(&timer, &QTimer::timeout, &loop, [&]() {
        timedOut = true;
        reply->abort();
        loop.quit();
    });
    timer.start(FTimeoutMs);
    if (!reply->isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
    timer.stop();

    FOpen = false;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply->error();
    const QString errorText = reply->errorString();
    FStatus = status.isValid() ? status.toInt() : 0;
    FStatusText = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    FResponse = reply->readAll();
    reply->deleteLater();
    if (timedOut)
        throw EXMLHTTPError(QStringLiteral("The request to %1 timed out after %2 ms")
                                .arg(url.toDisplayString(QUrl::RemoveUserInfo))
                                .arg(FTimeoutMs));
    // An HTTP status is an answer, not a failure: only a request that got no answer raises.
    if (error != QNetworkReply::NoError && FStatus == 0)
        throw EXMLHTTPError(QStringLiteral("The request to %1 failed: %2")
                                .arg(url.toDisplayString(QUrl::RemoveUserInfo), errorText));
}
