#include "optionforms/BaseOpt.h"

#include "frame/SocketConnection.h"

TfrmBaseOpt::TfrmBaseOpt(QWidget* Owner) : TfrmBaseGene(Owner) {
    setObjectName("frmBaseOpt");
}

void TfrmBaseOpt::ConfigureForm() {
    TfrmBaseGene::ConfigureForm();
    FHeaderSize = 12;
    FServiceFlags = 4;
}

void TfrmBaseOpt::SetServerName(TSocketConnection* Connection) {
    Connection->ServerName = QStringLiteral("ReportCounterS.dmReportCounter");
}

bool TfrmBaseOpt::InitializeSession(const kv::Variant& Params) {
    if (!TfrmBaseGene::InitializeSession(Params)) return false;
    // A form whose name did not match its program has no server and is already closing.
    if (!FAppServer) return true;
    try {
        FSQLType = FAppServer->call("SQLType").toInt();
        FPower =
            FAppServer->call("GetPower", {kv::Variant::arrayOf({FDbName, FUserID, FProgramCode, QString()})});
        // The answer starts with the base-limit text; the rights flags follow as one text.
        if (FPower.isArray() && FPower.elementCount() > 0) {
            FBaseLimited = kv::varToStr(FPower.at(FPower.lowBound()));
            FRights = FPower.elementCount() > 1 ? kv::varToStr(FPower.at(FPower.lowBound() + 1)) : QString();
        }
    } catch (const std::exception& e) {
        RecordError(QString::fromUtf8(e.what()));
        return false;
    }
    const bool library = ModulePath().endsWith(".so", Qt::CaseInsensitive) ||
                         ModulePath().endsWith(".dll", Qt::CaseInsensitive);
    if (!library) show();
    return true;
}
