#include "host/services/HostAutomation.h"

#include <QDir>

#include "host/services/CompanyData.h"
#include "host/services/HostServices.h"
#include "platform/CodePage.h"
#include "platform/IniFile.h"

namespace tarnix {

namespace {

QString argText(const kv::VariantArgs& args, size_t index) {
    return index < args.size() ? kv::varToStr(args[index]) : QString();
}

// A service this host does not offer yet: calling it fails with a clear error the module records.
kv::DispatchObject::Member unavailable(const QString& name, const QString& what) {
    return [name, what](kv::VariantArgs&) -> kv::Variant {
        throw kv::EOleError(QString("%1: this host does not provide %2").arg(name, what));
    };
}

} // namespace

THostAutomation::THostAutomation(TMessageTable Messages, THostSettings Settings, TDataSource Data)
    : FMessages(std::move(Messages)), FSettings(Settings), FDataSource(std::move(Data)) {
    registerApplicationServerClass();
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
    addMember("CallHelp", unavailable("CallHelp", "help"));
    addMember("GetFileList", unavailable("GetFileList", "a list of program files"));
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

QString THostAutomation::GetMessage(const QString& Type, const QString& Number) const {
    if (const auto text = FMessages.text(Type, Number, FSettings.UICodePage)) return *text;
    return FSettings.UICodePage == 437
               ? QString("Message %1;%2 is not in the message table").arg(Type, Number)
               : QString("讯息 %1;%2 不在讯息表中").arg(Type, Number);
}

void registerHostAutomationClass(THostSettings Settings) {
    kv::ObjectRegistry::registerClass(kHostProgID, [Settings]() -> kv::DispatchPtr {
        return std::make_shared<THostAutomation>(TMessageTable::shipped(), Settings);
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
