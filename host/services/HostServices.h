#pragma once
// The services the host hands to modules: the counter service (system settings and counters), the
// validator service (checks a code against the company tables) and the lookup service (lookup windows,
// phrases, date picker); and the application server object that accepts jobs and keeps condition schemes.
#include <functional>
#include <memory>

#include "platform/ole/Dispatch.h"

class QWidget;

namespace tarnix {

class TCompanyData;
using TCompanyDataPtr = std::shared_ptr<TCompanyData>;

class TCounterService : public kv::DispatchObject {
public:
    explicit TCounterService(TCompanyDataPtr Data);
    // Row 0 the setting names, row 1 their values.
    kv::Variant GetSysInfo(const QString& Company);
    // The next value of a named counter, kept in the company database.
    int GetCounter(const QString& Name);

private:
    TCompanyDataPtr FData;
};

class TValidatorService : public kv::DispatchObject {
public:
    explicit TValidatorService(TCompanyDataPtr Data);
    // The first row the catalogue query of (table, number) finds for the keys; false when none.
    bool QueryData(const QString& Table, const QString& Number, const kv::Variant& Keys, kv::Variant& Row);

private:
    TCompanyDataPtr FData;
    int FProductID = 0;
    QString FBaseLimited;
};

class TLookupService : public kv::DispatchObject {
public:
    explicit TLookupService(TCompanyDataPtr Data);
    // The rows chosen in the lookup window of (table, window number); an empty array when cancelled.
    kv::Variant F2GetData(const kv::Variant& Request);
    QString GetPhrase(const QString& User);
    QString ShowInputDay(const kv::Variant& Request);

private:
    TCompanyDataPtr FData;
};

class TReportCounter : public kv::DispatchObject {
public:
    explicit TReportCounter(TCompanyDataPtr Data, int SqlType = 0);

    QString Request(const kv::Variant& JobRequest, const QString& Workstation);
    QString UpdateStatus1(const QString& JobID, const QString& Errors, const kv::Variant& When);
    kv::Variant GetPower(const kv::Variant& Args);
    kv::Variant LoadTable(const kv::Variant& Args);
    QString InsertConTable(const kv::Variant& Args);
    QString DeleteConTable(const kv::Variant& Args);
    QString ChangeConName(const kv::Variant& Old, const kv::Variant& New);
    kv::Variant SimpleSQL(const QString& Sql);

private:
    TCompanyDataPtr FData;
    int FSqlType;
    QString FLastError;
};

constexpr const char* kAppServerProgID = "ReportCounterS.dmReportCounter";
// Registers the application server under kAppServerProgID in this process; each object opens the
// database of the launcher's server settings.
void registerApplicationServerClass();

// Text of a date-time value as the tables keep it: "yyyyMMddhhmmsszzz".
QString timeText(const QDateTime& When);

} // namespace tarnix
