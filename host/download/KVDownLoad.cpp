#include "host/download/KVDownLoad.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QTimer>
#include <QUrl>
#include <cstring>
#include <memory>
#include <optional>
#include <pugixml.hpp>
#include <zip.h>

#include "platform/RegistryFile.h"

namespace {

int fail(char* errorText, const QString& text) {
    if (!errorText) return 0;
    const QByteArray bytes = text.toUtf8();
    // Cut on a character boundary so the caller never reads half a character.
    int n = int(std::min<qsizetype>(bytes.size(), kDownLoadErrorSize - 1));
    while (n > 0 && n < bytes.size() && (uchar(bytes.at(n)) & 0xC0) == 0x80)
        --n;
    std::memcpy(errorText, bytes.constData(), size_t(n));
    errorText[n] = 0;
    return 0;
}

QString text(const char* s) {
    return s ? QString::fromUtf8(s) : QString();
}

bool writeAside(const QString& target, const QByteArray& bytes, QString& error) {
    QSaveFile file(target);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()) return true;
    error = QStringLiteral("Cannot write %1: %2").arg(target, file.errorString());
    return false;
}

std::optional<QNetworkProxy> upgraderProxy(const QString& word) {
    if (word.trimmed().isEmpty() || word.contains(QLatin1Char('\\')) || word.contains(QLatin1Char('/')))
        return std::nullopt;
    const auto key = kv::RegistryKey::openReadOnly(
        kv::HKEY_LOCAL_MACHINE, QStringLiteral("Software\\%1\\Upgrader").arg(word.trimmed()));
    if (!key) return std::nullopt;
    const QString proxy = key->readString(QStringLiteral("Proxy")).trimmed();
    const qsizetype colon = proxy.lastIndexOf(QLatin1Char(':'));
    bool ok = false;
    const int port = colon > 0 ? proxy.mid(colon + 1).toInt(&ok) : 0;
    if (!ok || port <= 0 || port > 65535) return std::nullopt;
    return QNetworkProxy(QNetworkProxy::HttpProxy, proxy.left(colon), quint16(port));
}

bool download(const QUrl& url, int seconds, const QString& registryWord, QByteArray& body, QString& error,
              QDateTime* lastModified = nullptr) {
    if (!QCoreApplication::instance()) {
        error = QStringLiteral("No application object in this process");
        return false;
    }
    QNetworkAccessManager manager;
    if (const auto proxy = upgraderProxy(registryWord)) manager.setProxy(*proxy);
    // Only the headers are asked for when the caller wants just the time of the file.
    QNetworkReply* reply =
        lastModified ? manager.head(QNetworkRequest(url)) : manager.get(QNetworkRequest(url));
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    bool timedOut = false;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
    });
    timer.start(seconds * 1000);
    if (!reply->isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
    timer.stop();
    body = reply->readAll();
    if (lastModified) *lastModified = reply->header(QNetworkRequest::LastModifiedHeader).toDateTime();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QString reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    const QNetworkReply::NetworkError code = reply->error();
    const QString what = reply->errorString();
    reply->deleteLater();
    if (timedOut)
        error = QStringLiteral("No answer from %1 within %2 seconds").arg(url.toDisplayString()).arg(seconds);
    else if (status >= 400)
        error = QStringLiteral("%1 answered HTTP %2 %3")
                    .arg(url.toDisplayString())
                    .arg(status)
                    .arg(reason)
                    .trimmed();
    else if (code != QNetworkReply::NoError)
        error = QStringLiteral("Cannot download %1: %2").arg(url.toDisplayString(), what);
    else
        return true;
    return false;
}

// An open archive, closed (without writing) when it goes.
struct ZipCloser {
    void operator()(zip_t* z) const { zip_discard(z); }
};
using ZipPtr = std::unique_ptr<zip_t, ZipCloser>;

ZipPtr openArchive(const QString& archive, QString& error) {
    int code = 0;
    zip_t* z = zip_open(QFile::encodeName(archive).constData(), ZIP_RDONLY, &code);
    if (!z) {
        zip_error_t e;
        zip_error_init_with_code(&e, code);
        error = QStringLiteral("Cannot open the archive %1: %2")
                    .arg(archive, QString::fromUtf8(zip_error_strerror(&e)));
        zip_error_fini(&e);
    }
    return ZipPtr(z);
}

// The path below root an entry unpacks to; empty when the entry would land outside root.
QString entryTarget(const QDir& root, const QString& name) {
    QString relative = name;
    relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (relative.isEmpty() || relative.startsWith(QLatin1Char('/')) ||
        (relative.size() > 1 && relative.at(1) == QLatin1Char(':')))
        return {};
    const QString path = QDir::cleanPath(root.absolutePath() + QLatin1Char('/') + relative);
    const QString base = QDir::cleanPath(root.absolutePath());
    if (path == base || !path.startsWith(base + QLatin1Char('/'))) return {};
    return path;
}

// Unpacks the chosen entries (all when names is empty) of an archive below targetDir.
bool unzip(const QString& archive, const QString& targetDir, const QStringList& names, QString& error) {
    ZipPtr z = openArchive(archive, error);
    if (!z) return false;
    if (targetDir.trimmed().isEmpty() || !QDir().mkpath(targetDir)) {
        error = QStringLiteral("Cannot create the directory %1").arg(targetDir);
        return false;
    }
    const QDir root(targetDir);
    const zip_int64_t count = zip_get_num_entries(z.get(), 0);
    QSet<QString> wanted(names.begin(), names.end());
    struct Entry {
        zip_uint64_t index;
        QString target;
        bool directory;
    };
    QList<Entry> entries;
    // Every name is checked before the first byte is written, so a bad archive leaves nothing behind.
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* raw = zip_get_name(z.get(), zip_uint64_t(i), ZIP_FL_ENC_GUESS);
        if (!raw) continue;
        const QString name = QString::fromUtf8(raw);
        const QString target = entryTarget(root, name);
        if (target.isEmpty()) {
            error = QStringLiteral("Entry %1 leaves the directory %2; the archive is refused")
                        .arg(name, targetDir);
            return false;
        }
        if (!names.isEmpty() && !wanted.remove(name)) continue;
        entries.append({zip_uint64_t(i), target, name.endsWith(QLatin1Char('/'))});
    }
    if (!wanted.isEmpty()) {
        error = QStringLiteral("The archive %1 has no entry %2").arg(archive, wanted.values().first());
        return false;
    }
    for (const Entry& entry : std::as_const(entries)) {
        if (entry.directory) {
            if (!QDir().mkpath(entry.target)) {
                error = QStringLiteral("Cannot create the directory %1").arg(entry.target);
                return false;
            }
            continue;
        }
        if (!QDir().mkpath(QFileInfo(entry.target).absolutePath())) {
            error = QStringLiteral("Cannot create the directory of %1").arg(entry.target);
            return false;
        }
        zip_stat_t st;
        zip_stat_init(&st);
        zip_file_t* f = zip_stat_index(z.get(), entry.index, 0, &st) == 0
                            ? zip_fopen_index(z.get(), entry.index, 0)
                            : nullptr;
        if (!f) {
            error = QStringLiteral("Cannot read %1 from the archive: %2")
                        .arg(entry.target, QString::fromUtf8(zip_strerror(z.get())));
            return false;
        }
        QByteArray bytes;
        char buffer[65536];
        zip_int64_t n = 0;
        while ((n = zip_fread(f, buffer, sizeof buffer)) > 0)
            bytes.append(buffer, qsizetype(n));
        const bool readOk = n == 0;
        zip_fclose(f);
        if (!readOk) {
            error = QStringLiteral("The archive's copy of %1 is damaged").arg(entry.target);
            return false;
        }
        if (!writeAside(entry.target, bytes, error)) return false;
        // Unix permissions travel in the upper half of the external attributes.
        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        if (zip_file_get_external_attributes(z.get(), entry.index, 0, &system, &attributes) == 0 &&
            system == ZIP_OPSYS_UNIX && ((attributes >> 16) & 0111))
            QFile::setPermissions(entry.target, QFile::permissions(entry.target) | QFile::ExeOwner |
                                                    QFile::ExeGroup | QFile::ExeOther);
    }
    return true;
}

QDateTime readStamp(const QString& stamp) {
    const QString s = stamp.trimmed();
    for (const char* format :
         {"yyyyMMddhhmmss", "yyyy-MM-dd hh:mm:ss", "yyyy/MM/dd hh:mm:ss", "yyyy/M/d h:mm:ss"}) {
        const QDateTime t = QDateTime::fromString(s, QString::fromLatin1(format));
        if (t.isValid()) return t;
    }
    return QDateTime::fromString(s, Qt::ISODate);
}

} // namespace

extern "C" int KVDownLoadFileEx(const char* source, const char* target, const char* timeout,
                                const char* registryWord, char* errorText) {
    if (errorText) errorText[0] = 0;
    try {
        const QString from = text(source).trimmed();
        const QString to = text(target).trimmed();
        if (from.isEmpty() || to.isEmpty()) return fail(errorText, QStringLiteral("No source or no target"));
        bool ok = false;
        int seconds = text(timeout).trimmed().toInt(&ok);
        if (!ok || seconds <= 0) seconds = 60;
        QString error;
        const QUrl url(from);
        QByteArray body;
        if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) {
            if (!download(url, seconds, text(registryWord), body, error)) return fail(errorText, error);
        } else {
            const QString path = url.isLocalFile() ? url.toLocalFile() : from;
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                return fail(errorText, QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
            body = file.readAll();
        }
        if (!QDir().mkpath(QFileInfo(to).absolutePath()))
            return fail(errorText, QStringLiteral("Cannot create the directory of %1").arg(to));
        if (!writeAside(to, body, error)) return fail(errorText, error);
        return 1;
    } catch (const std::exception& e) {
        return fail(errorText, QString::fromUtf8(e.what()));
    } catch (...) {
        return fail(errorText, QStringLiteral("Unexpected failure"));
    }
}

extern "C" int UnZipFilesOrDir(const char* archive, const char* targetDir, char* errorText) {
    if (errorText) errorText[0] = 0;
    try {
        QString error;
        return unzip(text(archive), text(targetDir), {}, error) ? 1 : fail(errorText, error);
    } catch (...) {
        return fail(errorText, QStringLiteral("Unexpected failure"));
    }
}

extern "C" int UnZipFilesList(const char* archive, const char* targetDir, const char* names,
                              char* errorText) {
    if (errorText) errorText[0] = 0;
    try {
        QStringList list;
        for (const QString& name : text(names).split(QRegularExpression(QStringLiteral("[;\\r\\n]"))))
            if (!name.trimmed().isEmpty()) list << name.trimmed();
        if (list.isEmpty()) return fail(errorText, QStringLiteral("No entry named"));
        QString error;
        return unzip(text(archive), text(targetDir), list, error) ? 1 : fail(errorText, error);
    } catch (...) {
        return fail(errorText, QStringLiteral("Unexpected failure"));
    }
}

extern "C" int GetFileList(const char* archive, char* buffer, int size, char* errorText) {
    if (errorText) errorText[0] = 0;
    try {
        QString error;
        ZipPtr z = openArchive(text(archive), error);
        if (!z) return fail(errorText, error);
        QByteArray list;
        const zip_int64_t count = zip_get_num_entries(z.get(), 0);
        for (zip_int64_t i = 0; i < count; ++i)
            if (const char* name = zip_get_name(z.get(), zip_uint64_t(i), ZIP_FL_ENC_GUESS))
                list.append(name).append('\n');
        if (!buffer || size <= list.size())
            return fail(errorText, QStringLiteral("The list needs %1 bytes").arg(list.size() + 1));
        std::memcpy(buffer, list.constData(), size_t(list.size()));
        buffer[list.size()] = 0;
        return 1;
    } catch (...) {
        return fail(errorText, QStringLiteral("Unexpected failure"));
    }
}

extern "C" int CompareFileToDown(const char* stamp, const char* localFile) {
    try {
        const QDateTime server = readStamp(text(stamp));
        if (!server.isValid()) return 0;
        const QFileInfo local(text(localFile));
        if (!local.exists()) return 1;
        const qint64 localSeconds = local.lastModified().toSecsSinceEpoch();
        return server.toSecsSinceEpoch() > localSeconds ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

extern "C" int UnZipFilesXML(const char* archive, const char* targetDir, const char* xml, char* errorText) {
    if (errorText) errorText[0] = 0;
    try {
        pugi::xml_document doc;
        const QByteArray bytes = text(xml).toUtf8();
        if (!doc.load_buffer(bytes.constData(), size_t(bytes.size()), pugi::parse_default,
                             pugi::encoding_utf8))
            return fail(errorText, QStringLiteral("The list of entries is no XML text"));
        QStringList list;
        for (const pugi::xpath_node& file : doc.select_nodes("//File[@Name]"))
            if (const QString name = QString::fromUtf8(file.node().attribute("Name").value()).trimmed();
                !name.isEmpty())
                list << name;
        if (list.isEmpty()) return fail(errorText, QStringLiteral("No entry named"));
        QString error;
        return unzip(text(archive), text(targetDir), list, error) ? 1 : fail(errorText, error);
    } catch (...) {
        return fail(errorText, QStringLiteral("Unexpected failure"));
    }
}

extern "C" int NeedDownLoad(const char* source, const char* localFile, const char* timeout, char* errorText) {
    if (errorText) errorText[0] = 0;
    try {
        const QString from = text(source).trimmed();
        bool ok = false;
        int seconds = text(timeout).trimmed().toInt(&ok);
        if (!ok || seconds <= 0) seconds = 60;
        QDateTime remote;
        const QUrl url(from);
        if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) {
            QByteArray body;
            QString error;
            if (!download(url, seconds, QString(), body, error, &remote)) return fail(errorText, error) - 1;
            if (!remote.isValid())
                return fail(errorText, QStringLiteral("%1 does not tell the time of the file").arg(from)) - 1;
        } else {
            const QFileInfo info(url.isLocalFile() ? url.toLocalFile() : from);
            if (!info.exists()) return fail(errorText, QStringLiteral("%1 does not exist").arg(from)) - 1;
            remote = info.lastModified();
        }
        const QFileInfo local(text(localFile));
        if (!local.exists()) return 1;
        return remote.toSecsSinceEpoch() > local.lastModified().toSecsSinceEpoch() ? 1 : 0;
    } catch (...) {
        return fail(errorText, QStringLiteral("Unexpected failure")) - 1;
    }
}

extern "C" int CompareFileToDownEx(const char* stamp, const char* localFile, long long size) {
    if (CompareFileToDown(stamp, localFile)) return 1;
    try {
        const QFileInfo local(text(localFile));
        return size >= 0 && local.exists() && local.size() != size ? 1 : 0;
    } catch (...) {
        return 0;
    }
}
