#include "host/services/HostAutomation.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include "host/queue/QueueManager.h"
#include "host/services/CompanyData.h"
#include "host/services/HostServices.h"
#include "platform/CodePage.h"
#include "platform/IniFile.h"
#include "support/StewardINI.h"

namespace tarnix {

namespace {

QString argText(const kv::VariantArgs& args, size_t index) {
    return index < args.size() ? kv::varToStr(args[index]) : QString();
}

// The elements of the one array argument of CallHelp and GetFileList, as texts.
QStringList arrayTexts(const kv::VariantArgs& args) {
    QStringList list;
    if (args.empty()) return list;
    const kv::Variant& a = args[0];
    if (a.isArray()) {
        for (int i = a.lowBound(); i <= a.highBound(); ++i)
            list << kv::varToStr(a.at(i)).trimmed();
    } else if (!a.isEmptyOrNull()) {
        list << kv::varToStr(a).trimmed();
    }
    return list;
}

// Program prefixes and help topics name files: letters and digits only, never a path.
bool plainName(const QString& text) {
    static const QRegularExpression plain("^[A-Za-z0-9]+$");
    return plain.match(text).hasMatch();
}

} // namespace

QUrl helpAddress(const QString& program, const QString& topic) {
    if (!plainName(program) || !plainName(topic))
        throw kv::EOleError(QString("CallHelp: expected a program prefix and a help topic, got [%1, %2]")
                                .arg(program, topic));
    const TStewardIniC settings;
    if (!settings.ErrorCode.isEmpty())
        throw kv::EOleError(
            QString("CallHelp: the launcher settings are missing (%1)").arg(settings.ErrorCode));
    // The installation's help: one page per topic in the program's folder, else the program's book
    // opened at the topic.
    const QDir help(settings.InstallPath + "Help");
    const QString prefix = program.toUpper();
    for (const char* suffix : {".html", ".htm", ".pdf"}) {
        const QString page = help.filePath(prefix + "/" + topic + suffix);
        if (QFileInfo::exists(page)) return QUrl::fromLocalFile(page);
    }
    for (const char* suffix : {".html", ".htm"}) {
        const QString book = help.filePath(prefix + suffix);
        if (QFileInfo::exists(book)) {
            QUrl url = QUrl::fromLocalFile(book);
            url.setFragment(topic);
            return url;
        }
    }
    // An installation without local help may name a help site.
    const kv::IniFile ini(settings.InstallPath + "StewardC.ini");
    const QString site = ini.readString("Help", "Address", QString()).trimmed();
    if (!site.isEmpty()) {
        const QUrl url(site + (site.endsWith('/') ? "" : "/") + prefix + "/" + topic + ".html");
        if (url.isValid()) return url;
    }
    throw kv::EOleError(
        QString("CallHelp: there is no help for %1 %2 in %3").arg(prefix, topic, help.path()));
}

QString fileInformation(const QString& fileName) {
    const QString name = QFileInfo(QString(fileName).replace('\\', '/')).fileName();
    if (name.isEmpty() || name == "." || name == "..")
        throw kv::EOleError(
            QString("GetFileList: expected the name of a program file, got \"%1\"").arg(fileName));
    const TStewardIniS settings;
    if (!settings.ErrorCode.isEmpty())
        throw kv::EOleError(
            QString("GetFileList: the server launcher settings are missing (%1)").arg(settings.ErrorCode));
    // The server's program directories, and the package folders ("S_PKG") below them.
    QStringList dirs;
    for (const QString& dir : settings.WorkDLLPaths) {
        dirs << dir;
        for (const QFileInfo& sub : QDir(dir).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
            if (sub.fileName().contains("S_PKG", Qt::CaseInsensitive)) dirs << sub.filePath();
    }
    for (const QString& dir : std::as_const(dirs)) {
        for (const QFileInfo& file : QDir(dir).entryInfoList(QDir::Files, QDir::Name)) {
            if (file.fileName().compare(name, Qt::CaseInsensitive) != 0) continue;
            // The stamp in local time, as the download library compares it with the local copy's.
            return QString("<File><Name>%1</Name><Modify>%2</Modify><Path>%3</Path><Size>%4</Size></File>")
                .arg(name.toLower(), file.lastModified().toString("yyyyMMddhhmmss"), file.absoluteFilePath())
                .arg(file.size());
        }
    }
    return {};
}

THostAutomation::THostAutomation(TMessageTable messages, THostSettings settings, TDataSource dataSource)
    : FMessages(std::move(messages)), FSettings(settings), FDataSource(std::move(dataSource)) {
    registerApplicationServerClass();
    // Report forms open a job's report through the queue manager; one already registered (a host with
    // its own viewer, a test) stays.
    if (!kv::ObjectRegistry::isRegistered(kQueueManagerProgID)) registerQueueManagerClass();
    addMember("VersionType", [this](kv::VariantArgs&) { return kv::Variant(FSettings.VersionType); });
    addMember("ProductID", [this](kv::VariantArgs&) { return kv::Variant(FSettings.ProductID); });
    addMember("GetMessage", [this](kv::VariantArgs& args) {
        if (args.size() != 2) throw kv::EOleError("GetMessage: expected a type letter and a message number");
        return kv::Variant(GetMessage(argText(args, 0), argText(args, 1)));
    });
    // Each call hands out a new service object; they share the host's one database connection.
    addMember("Com_Counter", [this](kv::VariantArgs&) {
        return kv::Variant(std::make_shared<TCounterService>(data("Com_Counter")));
    });
    addMember("Com_Validator", [this](kv::VariantArgs&) {
        return kv::Variant(std::make_shared<TValidatorService>(data("Com_Validator")));
    });
    addMember("Com_F2Window", [this](kv::VariantArgs&) {
        return kv::Variant(std::make_shared<TLookupService>(data("Com_F2Window")));
    });
    addMember("CallHelp", [](kv::VariantArgs& args) {
        const QStringList a = arrayTexts(args);
        const QUrl url = helpAddress(a.value(0), a.value(1));
        if (!QDesktopServices::openUrl(url))
            throw kv::EOleError(QString("CallHelp: the desktop cannot open %1").arg(url.toString()));
        return kv::Variant();
    });
    addMember("GetFileList",
              [](kv::VariantArgs& args) { return kv::Variant(fileInformation(arrayTexts(args).value(0))); });
}

std::shared_ptr<TCompanyData> THostAutomation::data(const QString& service) {
    if (!FData) {
        try {
            FData = FDataSource ? FDataSource() : TCompanyData::fromLauncherSettings();
        } catch (const EKvError& e) {
            throw kv::EOleError(
                QString("%1: the host cannot open the company database: %2").arg(service, e.what()));
        }
    }
    return FData;
}

QString THostAutomation::GetMessage(const QString& type, const QString& number) const {
    if (const auto text = FMessages.text(type, number, FSettings.UICodePage)) return *text;
    return FSettings.UICodePage == 437
               ? QString("Message %1;%2 is not in the message table").arg(type, number)
               : QString("讯息 %1;%2 不在讯息表中").arg(type, number);
}

void registerHostAutomationClass(THostSettings settings) {
    kv::ObjectRegistry::registerClass(kHostProgID, [settings]() -> kv::DispatchPtr {
        return std::make_shared<THostAutomation>(TMessageTable::shipped(), settings);
    });
}

int installationUICodePage(const QString& installDir) {
    const kv::IniFile ini(QDir(installDir).filePath("StewardC.ini"));
    const int system = kv::codepage::systemCodePage();
    const QString fallback = QString::number(system == 936 || system == 950 ? system : 437);
    const int ui = ini.readString("CodePage", "UICodePage", fallback).trimmed().toInt();
    return ui == 936 || ui == 950 ? ui : 437;
}

} // namespace tarnix
