#pragma once
// The host's automation object, handed to every module as HostApp: the host's version and product, its
// message table, and the services a module asks for by name.
#include <QUrl>
#include <functional>
#include <memory>

#include "host/services/MessageTable.h"
#include "platform/ole/Dispatch.h"

namespace tarnix {

struct THostSettings {
    int VersionType = 1;
    int ProductID = 1;    // 5 is the popular edition, which modules mark in their captions
    int UICodePage = 437; // 936 or 950 gives Chinese messages, anything else English
};

class TCompanyData;

class THostAutomation : public kv::DispatchObject {
public:
    // Opens the company database for the services; by default the one of the launcher's server settings.
    using TDataSource = std::function<std::shared_ptr<TCompanyData>()>;

    // Also makes the in-process application server creatable by its programme identifier: a host
    // whose modules connect to "127.0.0.1" serves them in its own process.
    THostAutomation(TMessageTable messages, THostSettings settings, TDataSource dataSource = {});

    const THostSettings& settings() const { return FSettings; }
    // GetMessage: the format string of a message; a text naming the code when the table lacks it.
    QString GetMessage(const QString& type, const QString& number) const;

private:
    std::shared_ptr<TCompanyData> data(const QString& service);

    TMessageTable FMessages;
    THostSettings FSettings;
    TDataSource FDataSource;
    std::shared_ptr<TCompanyData> FData;
};

// The programme identifier under which a module that runs outside a host creates its host object.
constexpr const char* kHostProgID = "VantorWorkCenter.Manager";
// Registers this automation object, with the shipped messages, under kHostProgID in this process.
void registerHostAutomationClass(THostSettings settings = {});

// The help page of a program prefix ("INV") and topic ("12050000"): Help/INV/12050000.html (or .htm,
// .pdf) of the installation, else Help/INV.html at the topic, else the help site of StewardC.ini
// ([Help] Address). Raises EOleError when there is none or the names are not plain.
QUrl helpAddress(const QString& prefix, const QString& topic);
// What the server knows of a program file, looked up by name in the server's program directories:
// "<File><Name>..</Name><Modify>yyyyMMddhhmmss (local time)</Modify><Path>..</Path><Size>..</Size></File>",
// or an empty text when no directory has it.
QString fileInformation(const QString& fileName);

// The interface code page of an installation: [CodePage] UICodePage of its StewardC.ini, else the
// system code page; 936 and 950 stand, anything else is 437.
int installationUICodePage(const QString& installDir);

} // namespace tarnix
