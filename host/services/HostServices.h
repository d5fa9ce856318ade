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
    explicit TCounterService(TCompanyDataPtr data);
    // Row 0 the setting names, row 1 their values.
    kv::Variant GetSysInfo(const QString& company);
    // The next value of a named counter, kept in the company database.
    int GetCounter(const QString& name);

private:
    TCompanyDataPtr FData;
};

class TValidatorService : public kv::DispatchObject {
public:
    explicit TValidatorService(TCompanyDataPtr data);
    // The first row the catalogue query of (table, number) finds for the keys; false when none.
    bool QueryData(const QString& table, const QString& number, const kv::Variant& keys, kv::Variant& row);

private:
    TCompanyDataPtr FData;
    int FProductID = 0;
    QString FBaseLimited;
};

class TLookupService : public kv::DispatchObject {
public:
    explicit TLookupService(TCompanyDataPtr data);
    // The rows chosen in the lookup window of (table, window number); an empty array when cancelled.
    kv::Variant F2GetData(const kv::Variant& request);
    QString GetPhrase(const QString& user);
    QString ShowInputDay(const kv::Variant& request);

private:
    TCompanyDataPtr FData;
};

class TReportCounter : public kv::DispatchObject {
public:
    explicit TReportCounter(TCompanyDataPtr data, int sqlType = 0);

    QString Request(const kv::Variant& jobRequest, const QString& workstation);
    QString UpdateStatus1(const QString& jobId, const QString& errors, const kv::Variant& when);
    kv::Variant GetPower(const kv::Variant& args);
    kv::Variant LoadTable(const kv::Variant& args);
    QString InsertConTable(const kv::Variant& args);
    QString DeleteConTable(const kv::Variant& args);
    QString ChangeConName(const kv::Variant& old, const kv::Variant& renamed);
    kv::Variant SimpleSQL(const QString& statement);

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
QString timeText(const QDateTime& when);

} // namespace tarnix
