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
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <algorithm>
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

// Copies a device into a file written aside, a buffer at a time, so that a large file never sits in
// memory whole.
bool copyInto(QIODevice& from, QSaveFile& to, QString& error) {
    std::vector<char> buffer(65536);
    qint64 n = 0;
    while ((n = from.read(buffer.data(), qint64(buffer.size()))) > 0)
        if (to.write(buffer.data(), n) != n) {
            error = QStringLiteral("Cannot write %1: %2").arg(to.fileName(), to.errorString());
            return false;
        }
    // A network answer reads -1 once it has nothing more; a file only on an error.
    if (n < 0 && !from.isSequential()) {
        error = QStringLiteral("Cannot read: %1").arg(from.errorString());
        return false;
    }
    return true;
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

// Gets url into sink as the answer comes in; with lastModified only its headers are asked for.
bool download(const QUrl& url, int seconds, const QString& registryWord, QSaveFile* sink, QString& error,
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
    bool writeFailed = false;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (sink)
        QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
            QString ignored;
            if (!writeFailed && !copyInto(*reply, *sink, ignored)) {
                writeFailed = true;
                reply->abort();
            }
        });
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
    });
    timer.start(seconds * 1000);
    if (!reply->isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
    timer.stop();
    if (sink && !writeFailed && !copyInto(*reply, *sink, error)) writeFailed = true;
    if (lastModified) *lastModified = reply->header(QNetworkRequest::LastModifiedHeader).toDateTime();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QString reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    const QNetworkReply::NetworkError code = reply->error();
    const QString what = reply->errorString();
    reply->deleteLater();
    if (writeFailed)
        error = QStringLiteral("Cannot write %1: %2").arg(sink->fileName(), sink->errorString());
    else if (timedOut)
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

// What an archive may unpack to: a damaged or hostile archive must not fill the disk or, through
// a tiny archive of one huge entry, stand for gigabytes. Program files pack at well under 100:1;
// small entries (texts, language files) may pack better without harm. The total can be set in
// MiB by TARNIX_UNZIP_MAX_MB.
qint64 maxUnpackedBytes() {
    bool ok = false;
    const qint64 mb = qEnvironmentVariableIntValue("TARNIX_UNZIP_MAX_MB", &ok);
    return (ok && mb > 0 ? mb : 1024) << 20;
}
constexpr qint64 kMaxPackingRatio = 100;
constexpr qint64 kRatioFreeBytes = qint64(1) << 20;

struct Entry {
    zip_uint64_t index;
    QString target;   // where it lands below the directory
    QString relative; // the same below the staging folder
    bool directory;
    qint64 size;
    qint64 packedSize;
};

QString tooLarge(const QString& archive) {
    return QStringLiteral("The archive %1 unpacks to more than %2 MiB; it is refused")
        .arg(archive)
        .arg(maxUnpackedBytes() >> 20);
}

QString packedTooTightly(const QString& archive, const QString& entry) {
    return QStringLiteral("The entry %1 of the archive %2 unpacks to more than %3 times its packed size; "
                          "the archive is refused")
        .arg(entry, archive)
        .arg(kMaxPackingRatio);
}

bool ratioAllowed(qint64 size, qint64 packedSize) {
    return size <= kRatioFreeBytes || size <= std::max<qint64>(packedSize, 1) * kMaxPackingRatio;
}

// Streams one entry into a file, never holding more than a buffer of it, and stops as soon as it
// unpacks to more than its header said or than the limits allow.
bool streamEntry(zip_t* z, const Entry& entry, const QString& path, const QString& archive, qint64 limit,
                 qint64& total, QString& error) {
    zip_file_t* f = zip_fopen_index(z, entry.index, 0);
    if (!f) {
        error = QStringLiteral("Cannot read %1 from the archive: %2")
                    .arg(entry.relative, QString::fromUtf8(zip_strerror(z)));
        return false;
    }
    const auto closeEntry = qScopeGuard([f] { zip_fclose(f); });
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("Cannot write %1: %2").arg(path, out.errorString());
        return false;
    }
    std::vector<char> buffer(65536);
    qint64 written = 0;
    zip_int64_t n = 0;
    while ((n = zip_fread(f, buffer.data(), buffer.size())) > 0) {
        written += n;
        total += n;
        if (total > limit) {
            error = tooLarge(archive);
            return false;
        }
        if (written > entry.size || !ratioAllowed(written, entry.packedSize)) {
            error = packedTooTightly(archive, entry.relative);
            return false;
        }
        if (out.write(buffer.data(), n) != n) {
            error = QStringLiteral("Cannot write %1: %2").arg(path, out.errorString());
            return false;
        }
    }
    if (n < 0 || written != entry.size) {
        error = QStringLiteral("The archive's copy of %1 is damaged").arg(entry.target);
        return false;
    }
    if (!out.flush()) {
        error = QStringLiteral("Cannot write %1: %2").arg(path, out.errorString());
        return false;
    }
    out.close();
    // Unix permissions travel in the upper half of the external attributes.
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(z, entry.index, 0, &system, &attributes) == 0 &&
        system == ZIP_OPSYS_UNIX && ((attributes >> 16) & 0111))
        QFile::setPermissions(path,
                              QFile::permissions(path) | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
    return true;
}

// Moves the unpacked files from the staging folder into place. A file that cannot be moved puts
// back every file moved before it, so the directory holds either the whole update or none of it.
bool moveIntoPlace(const QString& staging, const QList<Entry>& entries, QString& error) {
    struct Moved {
        QString target, backup;
    };
    QList<Moved> moved;
    const auto rollBack = [&moved] {
        for (auto it = moved.crbegin(); it != moved.crend(); ++it) {
            QFile::remove(it->target);
            if (!it->backup.isEmpty()) QFile::rename(it->backup, it->target);
        }
    };
    const QString backups = staging + QStringLiteral("/old/");
    for (const Entry& entry : entries) {
        if (entry.directory) continue;
        if (!QDir().mkpath(QFileInfo(entry.target).absolutePath())) {
            error = QStringLiteral("Cannot create the directory of %1").arg(entry.target);
            rollBack();
            return false;
        }
        Moved m{entry.target, {}};
        const QFileInfo existing(entry.target);
        if (existing.exists() || existing.isSymLink()) {
            m.backup = backups + entry.relative;
            if (!QDir().mkpath(QFileInfo(m.backup).absolutePath()) ||
                !QFile::rename(entry.target, m.backup)) {
                error = QStringLiteral("Cannot replace %1").arg(entry.target);
                rollBack();
                return false;
            }
        }
        if (!QFile::rename(staging + QStringLiteral("/new/") + entry.relative, entry.target)) {
            if (!m.backup.isEmpty()) QFile::rename(m.backup, entry.target);
            error = QStringLiteral("Cannot write %1").arg(entry.target);
            rollBack();
            return false;
        }
        moved.append(m);
    }
    return true;
}

// Unpacks the chosen entries (all when names is empty) of an archive below targetDir. The entries
// are first unpacked into a staging folder inside targetDir (so that moving them is a rename on one
// file system) and go into place only when every one of them unpacked.
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
    QList<Entry> entries;
    const qint64 limit = maxUnpackedBytes();
    qint64 declared = 0;
    // Every name and size is checked before the first byte is written.
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
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(z.get(), zip_uint64_t(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE) ||
            !(st.valid & ZIP_STAT_COMP_SIZE)) {
            error = QStringLiteral("Cannot read %1 from the archive: %2")
                        .arg(name, QString::fromUtf8(zip_strerror(z.get())));
            return false;
        }
        const bool directory = name.endsWith(QLatin1Char('/'));
        const qint64 size = directory ? 0 : qint64(std::min<zip_uint64_t>(st.size, zip_uint64_t(limit) + 1));
        declared += size;
        if (declared > limit) {
            error = tooLarge(archive);
            return false;
        }
        if (!ratioAllowed(size, qint64(std::min<zip_uint64_t>(st.comp_size, zip_uint64_t(limit))))) {
            error = packedTooTightly(archive, name);
            return false;
        }
        entries.append(
            {zip_uint64_t(i), target, root.relativeFilePath(target), directory, size, qint64(st.comp_size)});
    }
    if (!wanted.isEmpty()) {
        error = QStringLiteral("The archive %1 has no entry %2").arg(archive, wanted.values().first());
        return false;
    }
    QTemporaryDir staging(root.absoluteFilePath(QStringLiteral(".unzip-XXXXXX")));
    if (!staging.isValid()) {
        error = QStringLiteral("Cannot unpack into %1: %2").arg(targetDir, staging.errorString());
        return false;
    }
    qint64 total = 0;
    for (const Entry& entry : std::as_const(entries)) {
        const QString path = staging.filePath(QStringLiteral("new/") + entry.relative);
        if (!QDir().mkpath(entry.directory ? path : QFileInfo(path).absolutePath())) {
            error = QStringLiteral("Cannot create the directory of %1").arg(entry.target);
            return false;
        }
        if (!entry.directory && !streamEntry(z.get(), entry, path, archive, limit, total, error))
            return false;
    }
    for (const Entry& entry : std::as_const(entries))
        if (entry.directory && !QDir().mkpath(entry.target)) {
            error = QStringLiteral("Cannot create the directory %1").arg(entry.target);
            return false;
        }
    return moveIntoPlace(staging.path(), entries, error);
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
        if (!QDir().mkpath(QFileInfo(to).absolutePath()))
            return fail(errorText, QStringLiteral("Cannot create the directory of %1").arg(to));
        QSaveFile out(to);
        if (!out.open(QIODevice::WriteOnly))
            return fail(errorText, QStringLiteral("Cannot write %1: %2").arg(to, out.errorString()));
        QString error;
        const QUrl url(from);
        if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) {
            if (!download(url, seconds, text(registryWord), &out, error)) return fail(errorText, error);
        } else {
            const QString path = url.isLocalFile() ? url.toLocalFile() : from;
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                return fail(errorText, QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
            if (!copyInto(file, out, error)) return fail(errorText, error);
        }
        if (!out.commit())
            return fail(errorText, QStringLiteral("Cannot write %1: %2").arg(to, out.errorString()));
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
            QString error;
            if (!download(url, seconds, QString(), nullptr, error, &remote))
                return fail(errorText, error) - 1;
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
