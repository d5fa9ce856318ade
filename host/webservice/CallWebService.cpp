#include "host/webservice/CallWebService.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QTimer>
#include <QUrl>
#include <cstring>

namespace {

int fail(char* errorText, const QString& text) {
    if (!errorText) return 0;
    QByteArray bytes = text.toUtf8();
    // Cut on a character boundary so the caller never reads half a character.
    int n = int(std::min<qsizetype>(bytes.size(), kWebServiceErrorSize - 1));
    while (n > 0 && n < bytes.size() && (uchar(bytes.at(n)) & 0xC0) == 0x80)
        --n;
    std::memcpy(errorText, bytes.constData(), size_t(n));
    errorText[n] = 0;
    return 0;
}

int timeoutSeconds() {
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("TARNIX_WEBSERVICE_TIMEOUT", &ok);
    return ok && seconds > 0 ? seconds : 30;
}

} // namespace

extern "C" int CallWebServiceFx(const char* address, const char* operation, const char* request,
                                const char* resultFile, char* errorText) {
    if (errorText) errorText[0] = 0;
    try {
        if (!address || !operation || !request || !resultFile || !*resultFile)
            return fail(errorText, QStringLiteral("CallWebServiceFx: missing argument"));
        if (!QCoreApplication::instance())
            return fail(errorText, QStringLiteral("CallWebServiceFx: no application object in this process"));
        const QString where = QString::fromUtf8(address).trimmed();
        const QUrl url(where, QUrl::StrictMode);
        if (!url.isValid() ||
            (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")) ||
            url.host().isEmpty())
            return fail(errorText, QStringLiteral("Bad web service address: %1").arg(where));

        QNetworkAccessManager manager;
        QNetworkRequest post(url);
        post.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("text/xml; charset=utf-8"));
        post.setRawHeader("SOAPAction", QByteArray(operation));
        QNetworkReply* reply = manager.post(post, QByteArray(request));
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        bool timedOut = false;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
            timedOut = true;
            reply->abort();
        });
        const int seconds = timeoutSeconds();
        timer.start(seconds * 1000);
        if (!reply->isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
        timer.stop();
        const QByteArray body = reply->readAll();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QString reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        const QNetworkReply::NetworkError error = reply->error();
        const QString errorString = reply->errorString();
        reply->deleteLater();
        if (timedOut)
            return fail(errorText, QStringLiteral("The web service at %1 did not answer within %2 seconds")
                                       .arg(where)
                                       .arg(seconds));
        if (status >= 400)
            return fail(errorText, QStringLiteral("The web service at %1 answered HTTP %2 %3")
                                       .arg(where)
                                       .arg(status)
                                       .arg(reason)
                                       .trimmed());
        if (error != QNetworkReply::NoError)
            return fail(errorText,
                        QStringLiteral("Cannot call the web service at %1: %2").arg(where, errorString));

        // Written aside and renamed into place: a file planted under the name is replaced, never followed.
        QSaveFile file(QString::fromUtf8(resultFile));
        if (!file.open(QIODevice::WriteOnly) || file.write(body) != body.size() || !file.commit())
            return fail(errorText, QStringLiteral("Cannot write the answer file %1: %2")
                                       .arg(QString::fromUtf8(resultFile), file.errorString()));
        return 1;
    } catch (const std::exception& e) {
        return fail(errorText, QStringLiteral("CallWebServiceFx: %1").arg(QString::fromUtf8(e.what())));
    } catch (...) {
        return fail(errorText, QStringLiteral("CallWebServiceFx: unexpected failure"));
    }
}
