#include "lang/LangCommon.h"

#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QMutex>
#include <QObject>
#include <QRegularExpression>
#include <QSet>

#include "support/LibXml.h"
#include "support/StewardINI.h"

TCodePages ReadCodePages(TDesignType designType) {
    TCodePages pages;
    auto copy = [&pages](const TStewardIniBase& ini) {
        pages.SystemCodePage = ini.SystemCodePage;
        pages.UICodePage = ini.UICodePage;
        pages.DBCodePage = ini.DBCodePage;
        pages.UIChangeType = ini.UIChangeType;
        pages.DataChangeType = ini.DataChangeType;
        pages.InstallPath = ini.InstallPath;
    };
    if (designType == dtServer)
        copy(TStewardIniS());
    else
        copy(TStewardIniC());
    return pages;
}

QString LanguageCode(const QString& codePage) {
    if (codePage == QLatin1String("936")) return QStringLiteral("CHS");
    if (codePage == QLatin1String("950")) return QStringLiteral("CHT");
    if (codePage == QLatin1String("437")) return QStringLiteral("ENG");
    return {};
}

QString FindIgnoringCase(const QString& path) {
    QString wanted = path;
    while (wanted.size() > 1 && wanted.endsWith('/'))
        wanted.chop(1);
    if (wanted.isEmpty() || QFileInfo::exists(wanted)) return wanted;
    const QFileInfo info(wanted);
    const QString name = info.fileName();
    const QString parent = info.path();
    if (name.isEmpty() || parent == wanted) return {};
    const QString base = FindIgnoringCase(parent);
    if (base.isEmpty()) return {};
    const QStringList entries = QDir(base).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString& entry : entries)
        if (entry.compare(name, Qt::CaseInsensitive) == 0) return base + '/' + entry;
    return {};
}

QString GetLangDir(TDesignType designType) {
    const TCodePages pages = ReadCodePages(designType);
    const QString code = LanguageCode(pages.UICodePage);
    if (code.isEmpty() || pages.InstallPath.isEmpty()) return {};
    QString install = pages.InstallPath;
    if (!install.endsWith('/')) install += '/';
    // Installations copied from a system that ignores case may spell the folders in any case.
    const QString dir = FindIgnoringCase(install + QStringLiteral("MultiLanguage/") + code);
    return !dir.isEmpty() && QFileInfo(dir).isDir() ? dir + '/' : QString();
}

QString LanguageFileName(const QString& langDir, const QString& packageName) {
    const QString nominal = langDir + packageName + QStringLiteral(".Lng");
    if (langDir.isEmpty()) return nominal;
    const QString found = FindIgnoringCase(nominal);
    return found.isEmpty() ? nominal : found;
}

namespace {
// Names put into an XPath expression must be plain XML names: anything else selects nothing.
bool isXmlName(const QString& name) {
    static const QRegularExpression re(QStringLiteral("^[A-Za-z_][A-Za-z0-9_.\\-]*$"));
    return re.match(name).hasMatch();
}
} // namespace

QString GetMessage(TDesignType designType, const QString& packageName, const QString& identifier,
                   const QString& defaultText) {
    const QString fileName = LanguageFileName(GetLangDir(designType), packageName);
    if (!QFileInfo::exists(fileName) || !isXmlName(identifier)) return defaultText;
    try {
        IXMLDOMDocument doc = CreateDOMDocument();
        if (!doc->load(fileName)) {
            SkipLanguageFile(fileName, doc->parseError().reason);
            return defaultText;
        }
        const TDOMNode root = doc->documentElement();
        if (root.isNull()) return defaultText;
        const TDOMNode msg =
            root.selectSingleNode(QStringLiteral("//%1/@%2").arg(identifier, QStringLiteral("Msg")));
        if (msg.isNull()) return defaultText;
        return msg.text();
    } catch (...) {
        return defaultText;
    }
}

void SkipLanguageFile(const QString& fileName, const QString& reason) {
    static QMutex guard;
    static QSet<QString> reported;
    {
        const QMutexLocker lock(&guard);
        if (reported.contains(fileName)) return;
        reported.insert(fileName);
    }
    WriteAlertLog(QStringLiteral("The language file %1 is skipped: %2")
                      .arg(QDir::toNativeSeparators(fileName), reason.trimmed()));
}

QMetaProperty FindProperty(const QObject* object, const QString& name) {
    if (!object || name.isEmpty()) return {};
    const QMetaObject* meta = object->metaObject();
    const int exact = meta->indexOfProperty(name.toLatin1().constData());
    if (exact >= 0) return meta->property(exact);
    for (int i = 0; i < meta->propertyCount(); ++i)
        if (QLatin1String(meta->property(i).name()).compare(name, Qt::CaseInsensitive) == 0)
            return meta->property(i);
    return {};
}
