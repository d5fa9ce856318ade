#include "workbench/Krta07SMFSaveWriter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHash>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <cmath>
#include <future>
#include <utility>

#include "frame/KvADO.h"
#include "platform/data/ClientDataSet.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"
#include "workbench/Krta07SMFStored.h"

namespace {

// Every line in one statement over a key table of the lines, each with the FLAG it had when loaded
// and the values it is saved with. A separate check before the statement would leave a gap in which
// another save could slip in between.
const char* const kLineUpdate = "UPDATE $$MPSTB SET TB013 = V1 , TB014 = V2 , TB042 = V3 , TB044 = V4 , "
                                "TB045 = V5 , MODIFIER =:MODIFIER , "
                                "MODI_DATE =Convert(Char(17),getDate(),112) , FLAG =(FLAG + 1) FROM %1 WHERE "
                                "TB001 = K1 AND TB003 = K2 AND "
                                "TB051 = K3 AND TB004 = K4 AND TB005 = K5 AND TB037 = K6 AND FLAG = K7 ";

// The line's key is bound like every other value, so a key holding a quote saves as it is.
const char* const kDayLine =
    " TC001 =:TC001 AND TC002 =:TC002 AND TC009 =:TC009 AND TC003 =:TC003  AND TC004 "
    "=:TC004 AND TC005 =:TC005 ";

// The days of the key table %1, each with its line (a line of the key table %2) and the FLAG it had
// when loaded.
const char* const kCoveredDaysUpdate =
    "UPDATE $$MPSTC SET MODIFIER =:MODIFIER, MODI_DATE =Convert(Char(17),getDate(),112) , FLAG =(FLAG + 1) "
    "WHERE TC001 =:TC001 AND EXISTS (SELECT D.L FROM %1 AS D INNER JOIN %2 AS L ON L.N = D.L WHERE L.K1 = "
    "TC001 AND L.K2 = TC002 AND L.K3 = TC009 AND L.K4 = TC003 AND L.K5 = TC004 AND L.K6 = TC005 AND D.K6 = "
    "TC006 AND D.K7 = FLAG) ";
const char* const kDayInsert =
    "INSERT INTO $$MPSTC(COMPANY , CREATOR , CREATE_DATE , FLAG ,TC001 ,TC002 ,TC003 ,TC004 ,TC005 ,TC006 "
    ",TC007 ,TC008 , TC009) VALUES(:COMPANY , :CREATOR , :CREATEDATE , 0 , :TC001 , :TC002 ,:TC003 , :TC004 "
    ",:TC005 , :TC006 , :TC007 , :TC008 ,:TC009) ";

// The plan rows of a resource and line are compared with the stored ones, read once.
const char* const kDetailRead =
    "SELECT TF001 , TF002 , TF004 , TF011 , TF005 , TF006 , TF007 , TF008 , TF009 , TF010 "
    "FROM $$MPSTF WHERE TF003 =:TF003 ";
const char* const kDetailDeleteRow =
    "DELETE $$MPSTF WHERE TF001 =:TF001 AND TF002 =:TF002 AND TF003 =:TF003 AND "
    "TF004 =:TF004 AND TF011 =:TF011 AND TF005 =:TF005 AND TF006 =:TF006 AND "
    "TF007 =:TF007 ";
// A changed row is written as a new one would be.
const char* const kDetailUpdate =
    "UPDATE $$MPSTF SET COMPANY =:COMPANY , CREATOR =:CREATOR , CREATE_DATE =:CREATEDATE , USR_GROUP = '' , "
    "MODIFIER = '' , MODI_DATE = '' , FLAG = 0 , TF008 =:TF008 , TF009 =:TF009 , TF010 =:TF010 WHERE TF001 "
    "=:TF001 AND TF002 "
    "=:TF002 AND TF003 =:TF003 AND TF004 =:TF004 AND TF011 =:TF011 AND TF005 =:TF005 AND TF006 =:TF006 AND "
    "TF007 "
    "=:TF007 ";
// New rows come from a key table, one statement per run of rows (insertPlanRows): a factory's first save
// inserts every plan row, and statements of many rows cost a server the parse of every value.
const char* const kDetailInsert =
    "INSERT INTO $$MPSTF (COMPANY , CREATOR , CREATE_DATE , FLAG ,TF001 ,TF002 ,TF003 ,TF004 ,TF005 ,TF006 "
    ",TF007 ,TF008 , TF009 ,TF010 ,TF011) SELECT :COMPANY , :CREATOR , :CREATEDATE , 0 , K1 , K2 , K8 , K3 , "
    "K5 , K6 , K7 , V1 , V2 , V3 , K4 FROM %1 ";
// Every plan row of the loaded lines ends up as a row the save inserted: all get the audit columns of
// a new row, before the rows that differ are written.
const char* const kDetailRenew =
    "UPDATE $$MPSTF SET COMPANY =:COMPANY , CREATOR =:CREATOR , CREATE_DATE =:CREATEDATE , USR_GROUP = '' , "
    "MODIFIER = '' , MODI_DATE = '' , FLAG = 0 WHERE TF003 = '2' AND EXISTS "
    "(SELECT K1 FROM %1 WHERE K1 = TF001 AND K2 = TF004 AND K3 = TF011 AND K4 = TF005 AND K5 = TF006 AND "
    "K6 = TF007) ";

// The planned columns of a resource day are the sums of every stored plan row of that resource and
// day, whichever factory planned it: the load the workbench computed holds only what it read. They are
// taken after the save's own plan rows are written, by the statement that writes the load row. The
// row's FLAG guard makes them sound beside other saves: a save whose load row another one changed
// since loading is refused, so it never writes sums taken past plan rows it could not see.
const char* const kPlannedSums =
    "TD005 =(SELECT COALESCE(SUM(TF008),0) FROM $$MPSTF WHERE TF001 = TD001 AND TF002 = TD002 AND TF003 = "
    "'2') "
    ",TD007 =(SELECT COALESCE(SUM(TF009),0) FROM $$MPSTF WHERE TF001 = TD001 AND TF002 = TD002 AND TF003 = "
    "'2') ";
// Both sums in one pass over the day's plan rows, where the engine takes a row of values.
const char* const kPlannedSumsTogether =
    "(TD005, TD007) =(SELECT COALESCE(SUM(TF008),0), COALESCE(SUM(TF009),0) FROM $$MPSTF WHERE TF001 = TD001 "
    "AND TF002 = TD002 AND TF003 = '2') ";
// The load rows of the key table, each with the FLAG it had when loaded.
const char* const kLoadUpdateRest =
    ", MODIFIER =:MODIFIER,  MODI_DATE =Convert(Char(17),getDate(),112) , FLAG =(convert(int,FLAG))%999+1 "
    "WHERE EXISTS (SELECT K1 FROM %1 WHERE K1 = TD001 AND K2 = TD002 AND K3 = FLAG) ";
// PostgreSQL reaches a day's plan rows through the versions every save leaves behind in the primary key:
// a tenth of the time goes to summing all plan rows in one pass and joining the sums.
const char* const kLoadUpdateGrouped =
    "UPDATE $$MPSTD SET TD005 = COALESCE(S5, 0) , TD007 = COALESCE(S7, 0) , MODIFIER =:MODIFIER, MODI_DATE "
    "=Convert(Char(17),getDate(),112) , FLAG =(convert(int,FLAG))%999+1 FROM %1 LEFT JOIN (SELECT TF001 , "
    "TF002 "
    ", SUM(TF008) AS S5 , SUM(TF009) AS S7 FROM $$MPSTF WHERE TF003 = '2' GROUP BY TF001 , TF002) AS SUMS ON "
    "TF001 = K1 AND TF002 = K2 WHERE K1 = TD001 AND K2 = TD002 AND K3 = FLAG ";
const char* const kLoadCheck = "SELECT FLAG FROM $$MPSTD WHERE TD001 =:TD001 AND TD002 =:TD002 ";
const char* const kLoadInsert =
    "INSERT INTO $$MPSTD (COMPANY , CREATOR , CREATE_DATE , FLAG ,TD001 ,TD002 ,TD003 ,TD004 ,TD005 ,TD006 "
    ",TD007 ,TD008 ) SELECT :COMPANY , :CREATOR , :CREATEDATE , 0 , :TD001 , :TD002 , CAST(:TD003 AS FLOAT) "
    ", "
    "CAST(:TD004 AS FLOAT) , COALESCE(SUM(TF008),0) , CAST(:TD006 AS FLOAT) , COALESCE(SUM(TF009),0) , "
    ":TD008 "
    "FROM $$MPSTF WHERE TF001 =:TD001 AND TF002 =:TD002 AND TF003 = '2' ";

// A statement of the save on the workbench's connection, prepared once and run for row after row;
// on a server the rows go in batches (TKvADOBatch).
class TSaveStatement {
public:
    TSaveStatement(TdmKrta07S& dm, const QString& sql) : FBatch(dm.dbKrta07, dm.ExpandSQL(sql)) {}
    TSaveStatement& text(const char* name, const QString& value) {
        param(name).SetAsString(Krta07Text(value));
        return *this;
    }
    TSaveStatement& number(const char* name, double value) {
        param(name).SetAsFloat(value);
        return *this;
    }
    void add() { FBatch.AddRow(); }
    void flush() { FBatch.Flush(); }

private:
    TParam& param(const char* name) {
        auto it = FParams.constFind(name);
        if (it != FParams.cend()) return **it;
        TParam* p = &FBatch.ParamByName(QString::fromLatin1(name));
        FParams.insert(name, p);
        return *p;
    }
    TKvADOBatch FBatch;
    QHash<const char*, TParam*> FParams;
};

// One statement over key tables (%1, %2: their names), with its texts bound; returns the rows it touched.
int runOver(TdmKrta07S& dm, const char* sql, std::initializer_list<const TKvADOKeyTable*> keys,
            const QList<QPair<const char*, QString>>& texts) {
    QString text = QString::fromLatin1(sql);
    for (const TKvADOKeyTable* k : keys)
        text = text.arg(k->Name());
    TKvADOQuery q;
    q.SetConnection(dm.dbKrta07);
    q.SetSQL(dm.ExpandSQL(text));
    for (const auto& [name, value] : texts)
        q.ParamByName(QString::fromLatin1(name)).SetAsString(Krta07Text(value));
    return q.ExecSQL();
}

// A line's key as the save binds it.
struct TLineKey {
    QString TB001, TB003, TB051, TB004, TB005, TB037;
};

} // namespace

TKrta07SaveWriter::TKrta07SaveWriter(TdmKrta07S& dm, QString user, QString company)
    : FDm(dm), FUser(std::move(user)), FCompany(std::move(company)),
      FWritten(std::make_unique<TKrta07StoredPlan>()) {}

TKrta07SaveWriter::~TKrta07SaveWriter() = default;

std::unique_ptr<TKrta07PlanReader>
TKrta07SaveWriter::readStoredPlan(TdmKrta07S& dm, const QStringList& consumptionKeys, bool beside) {
    return std::make_unique<TKrta07PlanReader>(*dm.dbKrta07, dm.ExpandSQL(QString::fromLatin1(kDetailRead)),
                                               consumptionKeys, beside);
}

void TKrta07SaveWriter::progress(const char* step, int done, int total) const {
    // The steps keep the names the workbench has always shown them under.
    if (onProgress) onProgress(QCoreApplication::translate("TfrmKrta07SM", step), done, total);
}

QString TKrta07SaveWriter::createDate() const {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmsszzz"));
}

bool TKrta07SaveWriter::write() {
    return writeLinesAndDays() && writeConsumptionDetails() && writeResourceLoad();
}

std::unique_ptr<TKrta07StoredPlan> TKrta07SaveWriter::takeWrittenPlan() {
    return std::move(FWritten);
}

bool TKrta07SaveWriter::writeLinesAndDays() {
    const kv::TClientDataSet& lines = *FDm.qryMPSTB;
    const QString created = createDate();
    static const TKrta07DayRows noDays;
    const TKrta07DayRows& stored = storedDays ? *storedDays : noDays;

    // Key tables look their rows up by the parts that tell rows apart soonest: document and node first.
    TKvADOKeyTable lineRows(FDm.dbKrta07, QStringLiteral("KVSAVELINES"),
                            {{"K1"},
                             {"K2"},
                             {"K3"},
                             {"K4"},
                             {"K5"},
                             {"K6"},
                             {"K7", false},
                             {"V1"},
                             {"V2"},
                             {"V3"},
                             {"V4"},
                             {"V5"},
                             {"N", false}},
                            {"K4", "K6", "K5", "K2", "K3"});
    // Every stored day a bar covers is rewritten under its FLAG guard by one statement over the
    // covered days; only the days whose quantity or remark changed, went or came are written one by one.
    // A covered day names its line by number (N of the lines' table): a factory has a dozen days for
    // each line.
    TKvADOKeyTable covered(FDm.dbKrta07, QStringLiteral("KVSAVEDAYS"), {{"L", false}, {"K6"}, {"K7", false}},
                           {"L", "K6"});
    TSaveStatement dayValues(FDm, QStringLiteral("UPDATE $$MPSTC SET TC007 =:TC007 , TC008 =:TC008 WHERE ") +
                                      QString::fromLatin1(kDayLine) + QStringLiteral(" AND TC006 =:TC006 "));
    TSaveStatement dayDelete(FDm, QStringLiteral("DELETE $$MPSTC WHERE ") + QString::fromLatin1(kDayLine) +
                                      QStringLiteral("AND TC006=:TC006"));
    TSaveStatement dayInsert(FDm, QString::fromLatin1(kDayInsert));

    auto idx = [&lines](const char* n) { return lines.FieldByName(QString::fromLatin1(n)).Index(); };
    const int tb001 = idx("TB001"), tb003 = idx("TB003"), tb051 = idx("TB051"), tb004 = idx("TB004"),
              tb005 = idx("TB005"), tb037 = idx("TB037"), tb013 = idx("TB013"), tb014 = idx("TB014"),
              tb042 = idx("TB042"), tb044 = idx("TB044"), tb045 = idx("TB045"), flag = idx("FLAG");
    auto value = [&lines](int r, int f) { return Krta07RTrim(lines.valueAt(r, f).toString()); };
    auto keyPart = [&lines](int r, int f) { return Krta07KeyPart(lines.valueAt(r, f).toString()); };
    const int n = lines.RecordCount();
    // What is written one by one once the guard has passed: a deleted row must have been checked first.
    struct DayWrite {
        TLineKey line;
        QString day, remark;
        double quantity;
    };
    std::vector<DayWrite> changed, cleared, gone, added;
    std::vector<bool> seen;
    std::vector<TKrta07BarDay> bar;
    for (int r = 0; r < n; ++r) {
        if (r % 200 == 0) progress("Saving", r, n);
        const TLineKey line{keyPart(r, tb001), keyPart(r, tb003), keyPart(r, tb051),
                            keyPart(r, tb004), keyPart(r, tb005), keyPart(r, tb037)};
        const double lineFlag = lines.valueAt(r, flag).toDouble();
        lineRows.Text(line.TB001).Text(line.TB003).Text(line.TB051).Text(line.TB004).Text(line.TB005);
        lineRows.Text(line.TB037).Number(lineFlag);
        lineRows.Text(value(r, tb013)).Text(value(r, tb014)).Text(value(r, tb042)).Text(value(r, tb044));
        lineRows.Text(value(r, tb045)).Number(r).AddRow();
        const QString key =
            TfrmKrta07SM::LineKeyOf({line.TB001, line.TB003, line.TB051, line.TB004, line.TB005, line.TB037});
        FWritten->lineFlags.insert(key, lineFlag + 1);

        // The days of the line.
        const TKrta07LineDays loaded =
            stored.find({line.TB003, line.TB051, line.TB004, line.TB005, line.TB037});
        // A line has a few days: they are matched by day number, in a short walk.
        seen.assign(loaded.size(), false);
        bar.clear();
        if (barDays) barDays(key, bar);
        for (const TKrta07BarDay& cell : bar) {
            const qint64 dayNumber = qint64(std::floor(cell.start));
            const bool hasQuantity = std::fabs(cell.quantity) > 1e-10;
            size_t was = 0;
            while (was < loaded.size() &&
                   (seen[was] || loaded.date(was) == 0 || qint64(std::floor(loaded.date(was))) != dayNumber))
                ++was;
            if (was < loaded.size()) {
                // Every day the bar covers is written again, changed or not.
                seen[was] = true;
                covered.Number(r).Text(loaded.day(was)).Number(loaded.flag(was)).AddRow();
                if (!hasQuantity)
                    cleared.push_back({line, loaded.day(was), QString(), 0});
                else if (cell.quantity != loaded.quantity(was) || cell.remark != loaded.remark(was))
                    changed.push_back({line, loaded.day(was), cell.remark, cell.quantity});
            } else if (hasQuantity) {
                added.push_back({line, Krta07DayText(cell.start), cell.remark, cell.quantity});
            }
        }
        // Days the bar no longer covers.
        for (size_t d = 0; d < loaded.size(); ++d)
            if (!seen[d]) gone.push_back({line, loaded.day(d), QString(), 0});
    }
    lineRows.Finish();
    // Each line matches at most one row, by key and FLAG: any row short is one that someone changed
    // or deleted since loading.
    if (n > 0 && runOver(FDm, kLineUpdate, {&lineRows}, {{"MODIFIER", FUser}}) != lineRows.RowCount())
        return false;
    covered.Finish();
    if (covered.RowCount() > 0 &&
        runOver(FDm, kCoveredDaysUpdate, {&covered, &lineRows},
                {{"MODIFIER", FUser}, {"TC001", FDm.FFactory}}) != covered.RowCount())
        return false;
    auto bindLine = [](TSaveStatement& s, const DayWrite& w) -> TSaveStatement& {
        return s.text("TC001", w.line.TB001)
            .text("TC002", w.line.TB003)
            .text("TC009", w.line.TB051)
            .text("TC003", w.line.TB004)
            .text("TC004", w.line.TB005)
            .text("TC005", w.line.TB037)
            .text("TC006", w.day);
    };
    for (const DayWrite& w : changed)
        bindLine(dayValues, w).number("TC007", w.quantity).text("TC008", w.remark).add();
    for (const std::vector<DayWrite>* v : {&cleared, &gone})
        for (const DayWrite& w : *v)
            bindLine(dayDelete, w).add();
    for (const DayWrite& w : added)
        bindLine(dayInsert, w)
            .text("COMPANY", FCompany)
            .text("CREATOR", FUser)
            .text("CREATEDATE", created)
            .number("TC007", w.quantity)
            .text("TC008", w.remark)
            .add();
    for (TSaveStatement* s : {&dayValues, &dayDelete, &dayInsert})
        s->flush();
    progress("Saving", n, n);
    return true;
}

namespace {

// What differs between the computed plan rows and the stored ones: rows of the plan set to insert or
// update (by number: a first save inserts millions), stored rows to delete.
struct PlanDifferences {
    std::vector<int> inserts, updates;
    std::vector<TKrta07PlanKey> removes;
};

const char* const kPlanKeyFields[] = {"TF001", "TF002", "TF004", "TF011", "TF005", "TF006", "TF007"};

// The columns of the plan set a save reads.
struct PlanFields {
    explicit PlanFields(const kv::TClientDataSet& plan) {
        auto index = [&plan](const char* name) {
            return plan.FieldByName(QString::fromLatin1(name)).Index();
        };
        for (int i = 0; i < 7; ++i)
            key[i] = index(kPlanKeyFields[i]);
        tf003 = index("TF003");
        tf008 = index("TF008");
        tf009 = index("TF009");
        tf010 = index("TF010");
    }
    int key[7];
    int tf003, tf008, tf009, tf010;
};

// A text of the plan set as it is written.
QString planText(const kv::TClientDataSet& plan, int row, int field) {
    const int32_t id = plan.textIdAt(row, field);
    return id < 0 ? QString() : plan.pooledText(id);
}

// Groups rows by resource, the head of both indexes of the plan rows, keeping their order otherwise.
// The set holds them line by line, and a factory's first save inserts millions: in that order each
// insert lands on another index page, so that the engine reads and writes most pages again and again
// once the indexes outgrow its cache. Grouped, the pages of one resource at a time take the inserts,
// and the table keeps the rows of a line and resource together, as the renewal of later saves reads
// them.
void groupByResource(const kv::TClientDataSet& plan, std::vector<int>& rows) {
    const int field = PlanFields(plan).key[0];
    // Each resource's group, in the order of the resources' texts; null (id -1) sorts first, as ''.
    std::vector<int32_t> group, ids;
    auto groupOf = [&](int r) -> int32_t& {
        const size_t id = size_t(plan.textIdAt(r, field) + 1);
        if (id >= group.size()) group.resize(id + 1, -1);
        return group[id];
    };
    for (const int r : rows)
        if (int32_t& g = groupOf(r); g < 0) {
            g = 0;
            ids.push_back(plan.textIdAt(r, field));
        }
    auto text = [&plan](int32_t id) { return id < 0 ? QString() : plan.pooledText(id); };
    std::sort(ids.begin(), ids.end(), [&text](int32_t a, int32_t b) { return text(a) < text(b); });
    for (size_t i = 0; i < ids.size(); ++i)
        group[size_t(ids[i] + 1)] = int32_t(i);
    // Where each group starts, then each row after those of its group before it.
    std::vector<size_t> start(ids.size() + 1, 0);
    for (const int r : rows)
        ++start[size_t(groupOf(r)) + 1];
    for (size_t g = 1; g < start.size(); ++g)
        start[g] += start[g - 1];
    std::vector<int> grouped(rows.size());
    for (const int r : rows)
        grouped[start[size_t(groupOf(r))]++] = r;
    rows = std::move(grouped);
}

// Compares the computed rows of plan with stored, which it leaves as the rows are once written.
// Reads the set and nothing else: it runs beside the statements of the save.
PlanDifferences comparePlanRows(const kv::TClientDataSet& plan, TKrta07StoredPlan& stored) {
    const PlanFields f(plan);
    const int n = plan.RecordCount();
    // The set's text ids are mapped to those of the stored rows once each (-2: not yet).
    std::vector<int32_t> storedId;
    auto idOf = [&](int r, int field) {
        const int32_t own = plan.textIdAt(r, field);
        if (own < 0) return stored.intern(QString());
        if (size_t(own) >= storedId.size()) storedId.resize(size_t(own) + 1, -2);
        int32_t& id = storedId[size_t(own)];
        if (id == -2) id = stored.intern(plan.pooledText(own));
        return id;
    };
    PlanDifferences differences;
    TKrta07PlanKey key;
    for (int r = 0; r < n; ++r) {
        for (int i = 0; i < 7; ++i)
            key.id[i] = idOf(r, f.key[i]);
        const double main = plan.valueAt(r, f.tf008).toDouble(),
                     nonMain = plan.valueAt(r, f.tf009).toDouble();
        const int32_t remarkId = plan.textIdAt(r, f.tf010);
        const QString& remark = remarkId < 0 ? QString() : plan.pooledText(remarkId);
        std::vector<int>* to = &differences.inserts;
        auto found = stored.rows.find(key);
        if (found != stored.rows.end()) {
            found->kept = true;
            if (found->main == main && found->nonMain == nonMain && found->remark == remark) continue;
            to = &differences.updates;
            found->main = main;
            found->nonMain = nonMain;
            found->remark = remark;
        } else {
            stored.rows.insert(key, {main, nonMain, remark, true});
        }
        to->push_back(r);
    }
    for (auto it = stored.rows.begin(); it != stored.rows.end();) {
        if (it->kept) {
            it->kept = false;
            ++it;
            continue;
        }
        differences.removes.push_back(it.key());
        it = stored.rows.erase(it);
    }
    return differences;
}

} // namespace

bool TKrta07SaveWriter::writeConsumptionDetails() {
    kv::TClientDataSet& plan = *FDm.qryMPSTF;
    if (!plan.Active()) {
        FWritten.reset();
        return true;
    }
    const QString created = createDate();
    // The rows of every resource and line of the computation end up being exactly the computed ones,
    // each as a new row. Most of them are the same from one save to the next: all are renewed
    // together, and only the differences are then written row by row. A failed save leaves the
    // database as it was, but not what is kept of it here.
    std::unique_ptr<TKrta07PlanReader> reader = std::move(planReader);
    std::unique_ptr<TKrta07StoredPlan> saved = std::move(savedPlan);
    if (!reader && !saved) reader = readStoredPlan(FDm, consumptionKeys, false);
    TKrta07StoredPlan stored = saved ? std::move(*saved) : reader->Take();
    reader.reset();
    saved.reset();
    // Every plan row is written, not only those a filter of the moment shows.
    if (plan.Filtered()) plan.ClearFilter();
    progress("Saving consumption", 0, 0);

    // The differences are found on a thread of their own while the stored rows are renewed. Nothing
    // touches the plan set meanwhile: no progress is shown, and a wait for a lock is not either.
    PlanDifferences differences;
    {
        TKvADOConnection& db = *FDm.dbKrta07;
        const auto lockWait = std::exchange(db.OnLockWait, nullptr);
        const auto restore = qScopeGuard([&db, &lockWait] { db.OnLockWait = lockWait; });
        std::future<PlanDifferences> comparing =
            std::async(std::launch::async, [&plan, &stored] { return comparePlanRows(plan, stored); });
        // Waits for the comparison however the renewal ends: it reads what this frame holds.
        const auto join = qScopeGuard([&comparing] {
            if (comparing.valid()) comparing.wait();
        });
        renewPlanRows(created);
        differences = comparing.get();
    }

    TSaveStatement update(FDm, QString::fromLatin1(kDetailUpdate));
    TSaveStatement remove(FDm, QString::fromLatin1(kDetailDeleteRow));
    const PlanFields f(plan);
    auto text = [&plan](int r, int field) { return planText(plan, r, field); };
    const int writes = int(differences.inserts.size() + differences.updates.size());
    int written = 0;
    groupByResource(plan, differences.inserts);
    insertPlanRows(differences.inserts, created, written, writes);
    for (const int r : differences.updates) {
        if (++written % 1000 == 0) progress("Saving consumption", written, writes);
        update.text("COMPANY", FCompany).text("CREATOR", FUser).text("CREATEDATE", created);
        for (int i = 0; i < 7; ++i)
            update.text(kPlanKeyFields[i], text(r, f.key[i]));
        update.text("TF003", Krta07RTrim(text(r, f.tf003)))
            .number("TF008", plan.valueAt(r, f.tf008).toDouble())
            .number("TF009", plan.valueAt(r, f.tf009).toDouble())
            .text("TF010", text(r, f.tf010))
            .add();
    }
    for (const TKrta07PlanKey& k : differences.removes) {
        remove.text("TF003", QStringLiteral("2"));
        for (int i = 0; i < 7; ++i)
            remove.text(kPlanKeyFields[i], stored.texts[size_t(k.id[i])]);
        remove.add();
    }
    for (TSaveStatement* s : {&update, &remove})
        s->flush();
    FInsertedMost = differences.inserts.size() > size_t(plan.RecordCount() / 2);
    // What the rows are once this save commits.
    stored.lineFlags = std::move(FWritten->lineFlags);
    *FWritten = std::move(stored);
    progress("Saving consumption", writes, writes);
    return true;
}

void TKrta07SaveWriter::insertPlanRows(const std::vector<int>& rows, const QString& created, int& written,
                                       int writes) {
    const kv::TClientDataSet& plan = *FDm.qryMPSTF;
    const PlanFields f(plan);
    auto text = [&plan](int r, int field) { return planText(plan, r, field); };
    // A first save inserts every plan row of the factory: in runs, the progress moves and the window
    // keeps painting, where one statement would hold both for as long as all rows take.
    constexpr size_t kRun = 50000;
    for (size_t from = 0; from < rows.size(); from += kRun) {
        const size_t to = std::min(rows.size(), from + kRun);
        // K1 to K7: the key in the order of kPlanKeyFields; K8: TF003.
        TKvADOKeyTable run(FDm.dbKrta07, QStringLiteral("KVSAVENEWPLAN"),
                           {{"K1"},
                            {"K2"},
                            {"K3"},
                            {"K4"},
                            {"K5"},
                            {"K6"},
                            {"K7"},
                            {"K8"},
                            {"V1", false},
                            {"V2", false},
                            {"V3"}},
                           {});
        for (size_t i = from; i < to; ++i) {
            const int r = rows[i];
            for (int k = 0; k < 7; ++k)
                run.Text(Krta07Text(text(r, f.key[k])));
            run.Text(Krta07RTrim(text(r, f.tf003)))
                .Number(plan.valueAt(r, f.tf008).toDouble())
                .Number(plan.valueAt(r, f.tf009).toDouble())
                .Text(Krta07Text(text(r, f.tf010)))
                .AddRow();
        }
        run.Finish();
        runOver(FDm, kDetailInsert, {&run},
                {{"COMPANY", FCompany}, {"CREATOR", FUser}, {"CREATEDATE", created}});
        written += int(to - from);
        progress("Saving consumption", written, writes);
    }
}

void TKrta07SaveWriter::recountPlanRows() {
    TKvADOConnection& db = *FDm.dbKrta07;
    if (db.dialect() != kv::ado::SqlDialect::PostgreSQL) return;
    // Not a statement that can be prepared. Under a savepoint, so that a count that cannot have its
    // lock at once (another one runs) is given up and the save goes on.
    const QString table = db.translated(FDm.ExpandSQL(QStringLiteral("$$MPSTF")), QString()).text;
    QSqlQuery q(db.database());
    auto run = [&q, &db](const QString& sql) {
        if (q.exec(sql)) return true;
        qWarning("%s: %s", qPrintable(sql), qPrintable(db.scrub(q.lastError())));
        return false;
    };
    if (!run(QStringLiteral("SAVEPOINT KVCOUNT"))) return;
    if (run(QStringLiteral("SET LOCAL lock_timeout = 1000")) && run(QStringLiteral("ANALYZE ") + table) &&
        run(QStringLiteral("SET LOCAL lock_timeout TO DEFAULT"))) {
        run(QStringLiteral("RELEASE SAVEPOINT KVCOUNT"));
        return;
    }
    run(QStringLiteral("ROLLBACK TO SAVEPOINT KVCOUNT"));
    run(QStringLiteral("RELEASE SAVEPOINT KVCOUNT"));
}

void TKrta07SaveWriter::renewPlanRows(const QString& created) {
    // The resources and lines of the computation, for the renewal of their rows in one statement.
    TKvADOKeyTable computed(FDm.dbKrta07, QStringLiteral("KVSAVEPLAN"),
                            {{"K1"}, {"K2"}, {"K3"}, {"K4"}, {"K5"}, {"K6"}},
                            {"K4", "K6", "K1", "K5", "K2", "K3"});
    for (const QString& k : std::as_const(consumptionKeys)) {
        // Resource, plan kind and the line's parts.
        const QStringList parts = k.split(Krta07KeySeparator);
        if (parts.size() < 7) continue;
        computed.Text(parts[0])
            .Text(parts[2])
            .Text(parts[3])
            .Text(parts[4])
            .Text(parts[5])
            .Text(parts[6])
            .AddRow();
    }
    computed.Finish();
    runOver(FDm, kDetailRenew, {&computed},
            {{"COMPANY", FCompany}, {"CREATOR", FUser}, {"CREATEDATE", created}});
}

bool TKrta07SaveWriter::writeResourceLoad() {
    const kv::TClientDataSet& load = *FDm.qryMPSTD;
    if (!load.Active()) return true;
    const QString created = createDate();
    TSaveStatement insert(FDm, QString::fromLatin1(kLoadInsert));
    TKvADOKeyTable stored(FDm.dbKrta07, QStringLiteral("KVSAVELOAD"), {{"K1"}, {"K2"}, {"K3", false}},
                          {"K2", "K1"});
    TKvADOQuery check;
    check.SetConnection(FDm.dbKrta07);
    check.SetSQL(FDm.ExpandSQL(QString::fromLatin1(kLoadCheck)));
    auto idx = [&load](const char* n) { return load.FieldByName(QString::fromLatin1(n)).Index(); };
    const int td001 = idx("TD001"), td002 = idx("TD002"), td003 = idx("TD003"), td004 = idx("TD004"),
              td006 = idx("TD006"), td008 = idx("TD008"), flag = idx("FLAG");
    const int n = load.RecordCount();
    for (int r = 0; r < n; ++r) {
        if (r % 500 == 0) progress("Saving the load", r, n);
        const QString resource = Krta07RTrim(load.valueAt(r, td001).toString());
        const QString day = Krta07RTrim(load.valueAt(r, td002).toString());
        double f = load.valueAt(r, flag).toDouble();
        if (f == -1) {
            // A day computed in memory may lie outside the range that was loaded and yet have a
            // row: that row is updated, as inserting it again could only fail.
            check.Close();
            check.ParamByName(QStringLiteral("TD001")).SetAsString(resource);
            check.ParamByName(QStringLiteral("TD002")).SetAsString(day);
            check.Open();
            if (!check.IsEmpty()) f = check.FieldByName(QStringLiteral("FLAG")).AsFloat();
        }
        if (f == -1) {
            insert.text("COMPANY", FCompany)
                .text("CREATOR", FUser)
                .text("CREATEDATE", created)
                .text("TD001", resource)
                .text("TD002", day)
                .number("TD003", load.valueAt(r, td003).toDouble())
                .number("TD004", load.valueAt(r, td004).toDouble())
                .number("TD006", load.valueAt(r, td006).toDouble())
                .text("TD008", Krta07RTrim(load.valueAt(r, td008).toString()))
                .add();
        } else {
            stored.Text(resource).Text(day).Number(f).AddRow();
        }
    }
    insert.flush();
    stored.Finish();
    if (stored.RowCount() > 0) {
        // Every stored row in one statement, each under its FLAG guard: a row short is one someone
        // changed or deleted since loading.
        const kv::ado::SqlDialect dialect = FDm.dbKrta07->dialect();
        if (FInsertedMost) recountPlanRows();
        const QByteArray sql =
            dialect == kv::ado::SqlDialect::PostgreSQL
                ? QByteArray(kLoadUpdateGrouped)
                : QByteArray("UPDATE $$MPSTD SET ") +
                      (dialect == kv::ado::SqlDialect::SQLite ? kPlannedSumsTogether : kPlannedSums) +
                      kLoadUpdateRest;
        if (runOver(FDm, sql.constData(), {&stored}, {{"MODIFIER", FUser}}) != stored.RowCount())
            return false;
    }
    progress("Saving the load", n, n);
    return true;
}
