#pragma once
// TfrmBaseOpt: the batch kind of option form. It sends its options to the job server through the
// application server object "ReportCounterS.dmReportCounter", asks the host for its lookup service, and
// loads the user's rights when it is opened.
#include "optionforms/BaseGene.h"

class TfrmBaseOpt : public TfrmBaseGene {
    Q_OBJECT

public:
    explicit TfrmBaseOpt(QWidget* Owner = nullptr);

    void ConfigureForm() override;
    void SetServerName(TSocketConnection* Connection) override;
    bool InitializeSession(const kv::Variant& Params) override;

    int FSQLType = 0;
    // Rights of the user on this program as the server answers them: [base limit, flags...].
    kv::Variant FPower;
    QString FRights;
};
