#include "lang/TranslatorU.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <dlfcn.h>

#include "platform/CodePage.h"

namespace {

// Directory of the shared object (or program) that holds this code: the plug-in ships the
// conversion library beside itself.
QString ownModuleDir() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ownModuleDir), &info) && info.dli_fname)
        return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath();
    return {};
}

void* openLibrary(const QString& libraryName) {
    if (libraryName.contains('/'))
        return dlopen(QFile::encodeName(libraryName).constData(), RTLD_NOW | RTLD_LOCAL);
    QStringList dirs{ownModuleDir()};
    if (QCoreApplication::instance()) dirs << QCoreApplication::applicationDirPath();
    for (const QString& dir : dirs) {
        if (dir.isEmpty()) continue;
        const QString path = dir + '/' + libraryName;
        if (QFileInfo::exists(path))
            if (void* handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL))
                return handle;
    }
    return dlopen(QFile::encodeName(libraryName).constData(), RTLD_NOW | RTLD_LOCAL);
}

} // namespace

TTranslator::TTranslator(const QString& libraryName) {
    LoadLibrary(libraryName);
}

TTranslator::~TTranslator() {
    if (FHandle) dlclose(FHandle);
}

void TTranslator::LoadLibrary(const QString& libraryName) {
    if (FHandle) return;
    FHandle = openLibrary(libraryName);
    if (!FHandle) throw EKvError(QStringLiteral("Load Library %1 Error!").arg(libraryName));
    FGBtoBIG5 = reinterpret_cast<ConvertFunc>(dlsym(FHandle, "GBtoBIG5"));
    FBIG5toGB = reinterpret_cast<ConvertFunc>(dlsym(FHandle, "BIG5toGB"));
    FGetBIG5Data = dlsym(FHandle, "GetBIG5Data");
    FGetGBData = dlsym(FHandle, "GetGBData");
    FSaveOrder = dlsym(FHandle, "SaveOrder");
    if (!FGBtoBIG5 || !FBIG5toGB) {
        dlclose(FHandle);
        FHandle = nullptr;
        throw EKvError("Get Library Procedure Address Error!");
    }
}

QByteArray TTranslator::call(ConvertFunc func, const QByteArray& text) const {
    if (!func) return text;
    // The library takes NUL-terminated strings: convert the pieces between NULs so none is lost.
    if (text.contains('\0')) {
        QList<QByteArray> parts = text.split('\0');
        for (QByteArray& part : parts)
            part = call(func, part);
        return parts.join('\0');
    }
    const char* result = func(text.constData());
    if (!result)
        throw EKvError(QStringLiteral("Code conversion failed: %1").arg(QString::fromLatin1(text.toHex())));
    return QByteArray(result);
}

QByteArray TTranslator::GBtoBIG5(const QByteArray& text) const {
    return call(FGBtoBIG5, text);
}
QByteArray TTranslator::BIG5toGB(const QByteArray& text) const {
    return call(FBIG5toGB, text);
}

QString TTranslator::convertKeeping(const QString& text, Direction d) const {
    if (text.isEmpty()) return text;
    const int from = d == Direction::ToBig5 ? kv::codepage::GBK : kv::codepage::BIG5;
    const int to = d == Direction::ToBig5 ? kv::codepage::BIG5 : kv::codepage::GBK;
    // The whole text, or nothing: a text that converts as a whole keeps its phrases together.
    auto whole = [&](const QString& piece, QString& out) {
        bool ok = false;
        const QByteArray bytes = kv::codepage::encode(piece, from, &ok);
        if (!ok) return false;
        try {
            out = kv::codepage::decode(d == Direction::ToBig5 ? GBtoBIG5(bytes) : BIG5toGB(bytes), to);
        } catch (const EKvError&) {
            return false;
        }
        return true;
    };
    QString converted;
    if (whole(text, converted)) return converted;
    // A character one of the code pages lacks (a rare name character, an emoji) stays as it is, and the
    // runs of characters between such ones are converted each as a whole.
    QString result, run;
    auto flush = [&] {
        if (run.isEmpty()) return;
        if (!whole(run, converted)) converted = run;
        result += converted;
        run.clear();
    };
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype n = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString character = text.mid(i, n);
        i += n;
        if (whole(character, converted)) {
            run += character;
        } else {
            flush();
            result += character;
        }
    }
    flush();
    return result;
}

QString TTranslator::GBtoBIG5(const QString& text) const {
    return convertKeeping(text, Direction::ToBig5);
}

QString TTranslator::BIG5toGB(const QString& text) const {
    return convertKeeping(text, Direction::ToGB);
}
