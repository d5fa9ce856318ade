#pragma once
// What a save writes, apart from the form that shows it: the lines, their day quantities, the plan
// consumption rows and the resource load, inside the transaction the caller runs on the workbench's
// connection. Every update is guarded by the FLAG its row had when loaded: a row that someone changed
// or deleted since then is not touched, and the save is refused.
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "platform/DateTime.h"

class TdmKrta07S;
class TKrta07PlanReader;
struct TKrta07DayRows;
struct TKrta07StoredPlan;

// A day cell of a bar as a save writes it.
struct TKrta07BarDay {
    kv::TDateTime start = 0;
    double quantity = 0; // 0 when the cell holds no number
    QString remark;      // as the planner sees it, without trailing blanks
};

class TKrta07SaveWriter {
public:
    // Writes the working sets of dm (lines, plan rows, load rows) for user of company.
    TKrta07SaveWriter(TdmKrta07S& dm, QString user, QString company);
    ~TKrta07SaveWriter();
    TKrta07SaveWriter(const TKrta07SaveWriter&) = delete;
    TKrta07SaveWriter& operator=(const TKrta07SaveWriter&) = delete;

    // The day cells of a line's bar, first day first; the line is named by its key (the six key
    // parts joined by Krta07KeySeparator). None when the line has no bar.
    std::function<void(const QString& lineKey, std::vector<TKrta07BarDay>& days)> barDays;
    // Each step as it goes, under the names the workbench shows.
    std::function<void(const QString& step, int done, int total)> onProgress;
    // The day rows as loaded, by line, with the FLAG each had then; none when null.
    const TKrta07DayRows* storedDays = nullptr;
    // The resources and lines the plan computation covered: resource, plan kind and the line's parts.
    QStringList consumptionKeys;
    // The plan rows as stored: kept from the last save, or being read. With neither, they are read
    // inside the transaction.
    std::unique_ptr<TKrta07StoredPlan> savedPlan;
    std::unique_ptr<TKrta07PlanReader> planReader;

    // Starts reading the stored plan rows of the resources and lines of consumptionKeys: beside, on a
    // connection of its own from now on, or inside the transaction of dm's connection when taken.
    static std::unique_ptr<TKrta07PlanReader> readStoredPlan(TdmKrta07S& dm,
                                                             const QStringList& consumptionKeys, bool beside);

    // Lines with their days, then plan rows, then load rows. False when a guarded row was changed or
    // deleted since loading; a database fault raises EKvError. Either way the caller rolls back.
    bool write();
    // After write() succeeded: the plan rows as they stand once the transaction commits, with the
    // FLAG each line got; null when the plan rows were not written.
    std::unique_ptr<TKrta07StoredPlan> takeWrittenPlan();

private:
    // The steps of write(), in its order.
    bool writeLinesAndDays();
    bool writeConsumptionDetails();
    // Every stored plan row of the computed resources and lines gets the audit columns of a new row.
    void renewPlanRows(const QString& created);
    // Inserts the plan set's rows in runs, counting them into written for the progress.
    void insertPlanRows(const std::vector<int>& rows, const QString& created, int& written, int writes);
    bool writeResourceLoad();
    // Has the database count the plan rows anew in the transaction that inserted most of them (a
    // first save): PostgreSQL plans by what it last counted of a table (the count sees the
    // transaction's own rows). Until then it takes the plan rows of a large factory for a handful: it
    // summed all of them once per load row in this save (minutes on 8,000 lines) and looks each one up
    // by index on the next load and save. A count that cannot be taken at once is left to the database.
    void recountPlanRows();
    void progress(const char* step, int done, int total) const;
    QString createDate() const;

    TdmKrta07S& FDm;
    QString FUser, FCompany;
    std::unique_ptr<TKrta07StoredPlan> FWritten;
    bool FInsertedMost = false;
};
