#pragma once
// What a program's server library (program code + "S.so") offers the report form: its export
// "GetSvrController" hands out a controller that runs the program's report on the workstation, and the
// produced reports are files in the report directory of the server installation.
#include <QString>

#include "platform/ole/Variant.h"

class TSvrController {
public:
    virtual ~TSvrController() = default;
    // Runs the report. Params: for report programs [identifier, ExtName, CompanyID, UserID, DbName,
    // Values, run kind, FormType, identifier prefix + "0001", ProductID, labelled flag, interface code
    // page]; for batch programs (form type "B") [identifier, CompanyID, UserID, Values, DbName,
    // identifier prefix + "0001", ProductID]. 0 when the report was produced.
    virtual int Run(const kv::Variant& params) = 0;
    // Why the last run failed; empty after a run that succeeded.
    virtual QString MessageText() const = 0;
};

// The export's type; the caller owns the controller it returns.
extern "C" {
typedef TSvrController* (*TGetSvrController)();
}

// The directory produced reports are written to: "Report/" below the server installation (with a
// trailing "/"); empty when the launcher settings name no installation.
QString ReportDirectory();
// The report file of a job: the report directory + identifier + ".pdf". Empty when the identifier is
// empty or is no plain file name (it comes from the job server and must not lead outside the directory).
QString ReportFileName(const QString& jobId);
