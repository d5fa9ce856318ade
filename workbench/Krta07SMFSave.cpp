// Edit state and saving: the tool buttons follow browse and edit mode; a save writes the lines, their
// day quantities, the plan consumption rows and the resource load in one transaction, every update
// guarded by the row's FLAG counter, and reloads the factory when it succeeds.
#include <QAbstractButton>
#include <QDateTime>
#include <QGroupBox>
#include <QHash>
#include <QProgressDialog>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QToolButton>
#include <cmath>

#include "controls/FDBGrid.h"
#include "controls/KvEdit.h"
#include "frame/KvADO.h"
#include "gantt/MyGant.h"
#include "gantt/phDataEntityPack.h"
#include "lang/CodeConverter.h"
#include "platform/data/ClientDataSet.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"
#include "workbench/Krta07SMFStored.h"
#include "workbench/Krta07SMFUndo.h"

namespace {

// Updates and deletes carry the FLAG read at loading in their condition: a row that someone changed
// or deleted since then is not touched, which the row count tells. A separate check before the
// statement would leave a gap in which another save could slip in between.
const char* const kLineUpdate =
    "UPDATE $$MPSTB SET TB013 =:TB013 , TB014=:TB014 ,TB042=:TB042, TB044=:TB044, TB045=:TB045, "
    "MODIFIER =:MODIFIER, MODI_DATE =Convert(Char(17),getDate(),112) , FLAG =(FLAG + 1)  WHERE TB001 =:TB001 "
    "AND TB003 =:TB003 AND TB051 =:TB051 AND TB004 =:TB004  AND TB005 =:TB005 AND TB037 =:TB037 "
    "AND FLAG =:FLAG ";

// The line's key is bound like every other value, so a key holding a quote saves as it is.
const char* const kDayLine =
    " TC001 =:TC001 AND TC002 =:TC002 AND TC009 =:TC009 AND TC003 =:TC003  AND TC004 "
    "=:TC004 AND TC005 =:TC005 ";

const char* const kDayUpdate =
    "UPDATE $$MPSTC  SET MODIFIER =:MODIFIER, MODI_DATE =Convert(Char(17),getDate(),112) "
    ", FLAG =(FLAG + 1),  TC007 =:TC007 , TC008 =:TC008  WHERE ";
// The days of the key table, each with the FLAG it had when loaded.
const char* const kCoveredDaysUpdate =
    "UPDATE $$MPSTC SET MODIFIER =:MODIFIER, MODI_DATE =Convert(Char(17),getDate(),112) , FLAG =(FLAG + 1) "
    "WHERE TC001 =:TC001 AND EXISTS (SELECT K1 FROM %1 WHERE K1 = TC002 AND K2 = TC009 AND K3 = TC003 AND "
    "K4 = TC004 AND K5 = TC005 AND K6 = TC006 AND K7 = FLAG) ";
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
    "MODIFIER = '' , MODI_DATE = '' , FLAG = 0 , TF008 =:TF008 , TF009 =:TF009 , TF010 =:TF010 WHERE TF001 =:TF001 AND TF002 "
    "=:TF002 AND TF003 =:TF003 AND TF004 =:TF004 AND TF011 =:TF011 AND TF005 =:TF005 AND TF006 =:TF006 AND "
    "TF007 "
    "=:TF007 ";
const char* const kDetailInsert =
    "INSERT INTO $$MPSTF (COMPANY , CREATOR , CREATE_DATE , FLAG ,TF001 ,TF002 ,TF003 ,TF004 ,TF005 ,TF006 "
    ",TF007 ,TF008 , TF009 ,TF010 ,TF011) VALUES(:COMPANY , :CREATOR , :CREATEDATE , 0 , :TF001 , :TF002 , "
    ":TF003 , :TF004 ,:TF005 ,:TF006 ,:TF007 ,:TF008 , :TF009 , :TF010 , :TF011 ) ";

// The planned columns of a resource day are the sums of every stored plan row of that resource and
// day, whichever factory planned it: the load the workbench computed holds only what it read. They are
// taken after the save's own plan rows are written, by the statement that writes the load row. The
// row's FLAG guard makes them sound beside other saves: a save whose load row another one changed
// since loading is refused, so it never writes sums taken past plan rows it could not see.
const char* const kPlannedSums =
    "TD005 =(SELECT COALESCE(SUM(TF008),0) FROM $$MPSTF WHERE TF001 = TD001 AND TF002 = TD002 AND TF003 = '2') "
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
const char* const kLoadCheck = "SELECT FLAG FROM $$MPSTD WHERE TD001 =:TD001 AND TD002 =:TD002 ";
const char* const kLoadInsert =
    "INSERT INTO $$MPSTD (COMPANY , CREATOR , CREATE_DATE , FLAG ,TD001 ,TD002 ,TD003 ,TD004 ,TD005 ,TD006 "
    ",TD007 ,TD008 ) SELECT :COMPANY , :CREATOR , :CREATEDATE , 0 , :TD001 , :TD002 , CAST(:TD003 AS FLOAT) , "
    "CAST(:TD004 AS FLOAT) , COALESCE(SUM(TF008),0) , CAST(:TD006 AS FLOAT) , COALESCE(SUM(TF009),0) , :TD008 "
    "FROM $$MPSTF WHERE TF001 =:TD001 AND TF002 =:TD002 AND TF003 = '2' ";

// Every plan row of the loaded lines ends up as a row the save inserted: those it did not write
// itself get the audit columns of a new row.
const char* const kDetailRenew =
    "UPDATE $$MPSTF SET COMPANY =:COMPANY , CREATOR =:CREATOR , CREATE_DATE =:CREATEDATE , USR_GROUP = '' , "
    "MODIFIER = '' , MODI_DATE = '' , FLAG = 0 WHERE TF003 = '2' AND CREATE_DATE <> :CREATEDATE AND EXISTS "
    "(SELECT K1 FROM %1 WHERE K1 = TF001 AND K2 = TF004 AND K3 = TF011 AND K4 = TF005 AND K5 = TF006 AND "
    "K6 = TF007) ";

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
    // A guarded statement touched exactly one row for each row run.
    bool touchedEach() const { return FBatch.RowsAffected() == FBatch.RowsRun(); }

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

// A line's key as the save binds it.
struct TKrta07LineKey {
    QString TB001, TB003, TB051, TB004, TB005, TB037;
};

// Thrown inside the write steps when a guarded statement finds its row changed or gone.
struct TConcurrencyFailure {};

void requireEach(const TSaveStatement& s) {
    if (!s.touchedEach()) throw TConcurrencyFailure{};
}

} // namespace

void TfrmKrta07SM::UpdateToolState() {
    const bool edit = FEditState == 1;
    btnQuery->setEnabled(!edit);
    // Editing needs a factory, not lines.
    btnEdit->setEnabled(!edit && !edMB001->text().trimmed().isEmpty());
    btnOK->setEnabled(edit);
    btnCancel->setEnabled(edit);
    UpdateUndoButtons();
    // The linkage boxes stay for the planner to set before editing; only chkMPS follows them.
    // Bars are moved and stretched only while editing.
    mgMPSTC->GantArea()->setEnabled(edit);
    if (auto* b = findChild<QAbstractButton*>(QStringLiteral("dgMPSTBIButton"))) b->setEnabled(edit);
    if (dmKrta07S) dmKrta07S->qryMPSTBPre->SetReadOnly(!edit);
}

void TfrmKrta07SM::btnEditClick() {
    FEditState = 1;
    UpdateToolState();
}

void TfrmKrta07SM::btnCancelClick() {
    // Edits that could not be replaced by the stored schedule stay editable, and can be saved.
    if (!ReloadSchedule()) return;
    FEditState = 0;
    UpdateToolState();
}

void TfrmKrta07SM::btnOKClick() {
    // Ends the editing of a grid cell: its editor hands the value over when it loses the focus.
    if (QWidget* w = focusWidget()) w->clearFocus();
    if (SaveChanges()) FEditState = 0;
    UpdateToolState();
}

void TfrmKrta07SM::CopyLineEdits() {
    TdmKrta07S& dm = *dmKrta07S;
    kv::TClientDataSet& pre = *dm.qryMPSTBPre;
    kv::TClientDataSet& lines = *dm.qryMPSTB;
    pre.CheckBrowseMode();
    // The line's full key: lines of one source line and node may differ only in their document type.
    static const char* const keys[] = {"TB001", "TB003", "TB051", "TB004", "TB005", "TB037"};
    static const char* const copied[] = {"TB042", "TB042C", "TB044", "TB044C", "TB045", "TB045C"};
    std::vector<kv::TField*> from, to;
    for (const char* n : copied) {
        kv::TField* f = pre.FindField(QString::fromLatin1(n));
        kv::TField* t = lines.FindField(QString::fromLatin1(n));
        if (f && t) from.push_back(f), to.push_back(t);
    }
    // The walk runs the leave-line checks of every line; the highlight follows once at the end.
    pre.DisableControls();
    struct Enable {
        kv::TClientDataSet& set;
        ~Enable() { set.EnableControls(); }
    } enable{pre};
    const int n = pre.RecordCount();
    int done = 0;
    for (pre.First(); !pre.Eof(); pre.Next()) {
        if (++done % 500 == 0) progress(tr("Checking lines"), done, n);
        QVariantList key;
        for (const char* k : keys)
            key << pre.FieldByName(QString::fromLatin1(k)).AsString().trimmed();
        if (!lines.Locate(QStringLiteral("TB001;TB003;TB051;TB004;TB005;TB037"), key)) continue;
        bool same = true;
        for (size_t i = 0; i < from.size() && same; ++i)
            same = from[i]->AsString() == to[i]->AsString();
        if (same) continue;
        lines.Edit();
        for (size_t i = 0; i < from.size(); ++i)
            to[i]->SetAsString(from[i]->AsString());
        lines.Post();
    }
}

bool TfrmKrta07SM::WriteSchedule() {
    TdmKrta07S& dm = *dmKrta07S;
    const kv::TClientDataSet& lines = *dm.qryMPSTB;
    const QString user = FUserID;
    const QString created = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmsszzz"));
    try {
        // The day rows loaded with the chart, by line, with the FLAG each had then.
        static const TKrta07DayRows noDays;
        const TKrta07DayRows& stored = FStoredDays ? *FStoredDays : noDays;

        TSaveStatement lineUpdate(dm, QString::fromLatin1(kLineUpdate));
        // Every stored day a bar covers is rewritten under its FLAG guard by one statement over the
        // covered days; only the days whose quantity or remark changed, went or came are written one by one.
        TKvADOKeyTable covered(dm.dbKrta07, QStringLiteral("KVSAVEDAYS"),
                               {{"K1"}, {"K2"}, {"K3"}, {"K4"}, {"K5"}, {"K6"}, {"K7", false}},
                               {"K1", "K2", "K3", "K4", "K5", "K6"});
        TSaveStatement dayValues(dm, QStringLiteral("UPDATE $$MPSTC SET TC007 =:TC007 , TC008 =:TC008 WHERE ") +
                                         QString::fromLatin1(kDayLine) + QStringLiteral(" AND TC006 =:TC006 "));
        TSaveStatement dayDelete(dm, QStringLiteral("DELETE $$MPSTC WHERE ") + QString::fromLatin1(kDayLine) +
                                         QStringLiteral("AND TC006=:TC006"));
        TSaveStatement dayInsert(dm, QString::fromLatin1(kDayInsert));

        auto idx = [&lines](const char* n) { return lines.FieldByName(QString::fromLatin1(n)).Index(); };
        const int tb001 = idx("TB001"), tb003 = idx("TB003"), tb051 = idx("TB051"), tb004 = idx("TB004"),
                  tb005 = idx("TB005"), tb037 = idx("TB037"), tb013 = idx("TB013"), tb014 = idx("TB014"),
                  tb042 = idx("TB042"), tb044 = idx("TB044"), tb045 = idx("TB045"), flag = idx("FLAG");
        auto value = [&lines](int r, int f) { return Krta07RTrim(lines.valueAt(r, f).toString()); };
        TMyGantList* list = mgMPSTC->MyGantList();
        const int n = lines.RecordCount();
        // What is written one by one once the guard has passed: a deleted row must have been checked first.
        struct DayWrite {
            TKrta07LineKey line;
            QString day, remark;
            double quantity;
        };
        std::vector<DayWrite> changed, cleared, gone, added;
        std::vector<bool> seen;
        for (int r = 0; r < n; ++r) {
            if (r % 200 == 0) progress(tr("Saving"), r, n);
            const TKrta07LineKey line{value(r, tb001), value(r, tb003), value(r, tb051),
                                      value(r, tb004), value(r, tb005), value(r, tb037)};
            lineUpdate.text("TB013", value(r, tb013))
                .text("TB014", value(r, tb014))
                .text("TB042", value(r, tb042))
                .text("TB044", value(r, tb044))
                .text("TB045", value(r, tb045))
                .text("MODIFIER", user)
                .text("TB001", line.TB001)
                .text("TB003", line.TB003)
                .text("TB051", line.TB051)
                .text("TB004", line.TB004)
                .text("TB005", line.TB005)
                .text("TB037", line.TB037)
                .number("FLAG", lines.valueAt(r, flag).toDouble())
                .add();
            requireEach(lineUpdate);
            const QString key = LineKeyOf({line.TB001, line.TB003, line.TB051, line.TB004, line.TB005, line.TB037});
            if (FWrittenPlan) FWrittenPlan->lineFlags.insert(key, lines.valueAt(r, flag).toDouble() + 1);

            // WriteDailyQuantities of the line.
            const TKrta07LineDays loaded = stored.find({line.TB003, line.TB051, line.TB004, line.TB005, line.TB037});
            // A line has a few days: they are matched by day number, in a short walk.
            seen.assign(loaded.size(), false);
            if (TMyGantItem* item = list->Items(FRowOfKey.value(key, -1))) {
                for (int k = 0; k < item->CellCount(); ++k) {
                    const qint64 dayNumber = qint64(std::floor(item->CellStart(k)));
                    // The remark of the day as the planner sees it and edits it in the daily editor.
                    const QString remark = Krta07RTrim(item->CellRemark(k));
                    const double q = item->CellValue(k);
                    const bool hasQuantity = std::fabs(q) > 1e-10;
                    size_t was = 0;
                    while (was < loaded.size() &&
                           (seen[was] || loaded.date(was) == 0 ||
                            qint64(std::floor(loaded.date(was))) != dayNumber))
                        ++was;
                    if (was < loaded.size()) {
                        // Every day the bar covers is written again, changed or not.
                        seen[was] = true;
                        covered.Text(line.TB003).Text(line.TB051).Text(line.TB004).Text(line.TB005);
                        covered.Text(line.TB037).Text(loaded.day(was)).Number(loaded.flag(was)).AddRow();
                        if (!hasQuantity)
                            cleared.push_back({line, loaded.day(was), QString(), 0});
                        else if (q != loaded.quantity(was) || remark != loaded.remark(was))
                            changed.push_back({line, loaded.day(was), remark, q});
                    } else if (hasQuantity) {
                        added.push_back({line, Krta07DayText(item->CellStart(k)), remark, q});
                    }
                }
            }
            // Days the bar no longer covers.
            for (size_t d = 0; d < loaded.size(); ++d)
                if (!seen[d]) gone.push_back({line, loaded.day(d), QString(), 0});
        }
        lineUpdate.flush();
        requireEach(lineUpdate);
        covered.Finish();
        if (covered.RowCount() > 0) {
            TKvADOQuery guarded;
            guarded.SetConnection(dm.dbKrta07);
            guarded.SetSQL(dm.ExpandSQL(QString::fromLatin1(kCoveredDaysUpdate).arg(covered.Name())));
            guarded.ParamByName(QStringLiteral("MODIFIER")).SetAsString(Krta07Text(user));
            guarded.ParamByName(QStringLiteral("TC001")).SetAsString(Krta07Text(dm.FFactory));
            // Each covered day matches at most one row, by key and FLAG: any row short is one that
            // someone changed or deleted since loading.
            if (guarded.ExecSQL() != covered.RowCount()) return false;
        }
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
                .text("CREATOR", user)
                .text("CREATEDATE", created)
                .number("TC007", w.quantity)
                .text("TC008", w.remark)
                .add();
        for (TSaveStatement* s : {&dayValues, &dayDelete, &dayInsert})
            s->flush();
        progress(tr("Saving"), n, n);
    } catch (const TConcurrencyFailure&) {
        return false;
    }
    return WriteConsumptionDetails() && WriteResourceLoad();
}

void TfrmKrta07SM::CheckSavedPlan() {
    if (!FSavedPlan) return;
    const kv::TClientDataSet& lines = *dmKrta07S->qryMPSTB;
    const QHash<QString, double>& flags = FSavedPlan->lineFlags;
    bool same = lines.Active() && lines.RecordCount() == flags.size() && FRowKeys.size() == flags.size();
    const int flag = same ? lines.FieldByName(QStringLiteral("FLAG")).Index() : -1;
    for (int r = 0; same && r < FRowKeys.size(); ++r) {
        auto it = flags.constFind(FRowKeys[r]);
        same = it != flags.cend() && *it == lines.valueAt(r, flag).toDouble();
    }
    if (!same) FSavedPlan.reset();
}

void TfrmKrta07SM::StartPlanRead() {
    TdmKrta07S& dm = *dmKrta07S;
    FPlanReader = std::make_unique<TKrta07PlanReader>(
        *dm.dbKrta07, dm.ExpandSQL(QString::fromLatin1(kDetailRead)), FConsumptionKeys, true);
}

bool TfrmKrta07SM::WriteConsumptionDetails() {
    TdmKrta07S& dm = *dmKrta07S;
    kv::TClientDataSet& plan = *dm.qryMPSTF;
    if (!plan.Active()) {
        FWrittenPlan.reset();
        return true;
    }
    const QString created = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmsszzz"));
    // The rows of every resource and line of the computation end up being exactly the computed ones,
    // each as a new row. Most of them are the same from one save to the next: only the differences
    // are written row by row, the others are renewed together.
    std::unique_ptr<TKrta07PlanReader> reader = std::move(FPlanReader);
    // A failed save leaves the database as it was, but not what is kept of it here.
    std::unique_ptr<TKrta07StoredPlan> saved = std::move(FSavedPlan);
    if (!reader && !saved)
        reader = std::make_unique<TKrta07PlanReader>(
            *dm.dbKrta07, dm.ExpandSQL(QString::fromLatin1(kDetailRead)), FConsumptionKeys, false);
    TKrta07StoredPlan stored = saved ? std::move(*saved) : reader->Take();
    reader.reset();
    saved.reset();

    TSaveStatement insert(dm, QString::fromLatin1(kDetailInsert));
    TSaveStatement update(dm, QString::fromLatin1(kDetailUpdate));
    TSaveStatement remove(dm, QString::fromLatin1(kDetailDeleteRow));
    // Every plan row is written, not only those a filter of the moment shows.
    if (plan.Filtered()) plan.ClearFilter();
    static const char* const names[] = {"TF001", "TF002", "TF004", "TF011", "TF005", "TF006", "TF007"};
    int keyField[7];
    for (int i = 0; i < 7; ++i)
        keyField[i] = plan.FieldByName(QString::fromLatin1(names[i])).Index();
    const int tf003 = plan.FieldByName(QStringLiteral("TF003")).Index();
    const int tf008 = plan.FieldByName(QStringLiteral("TF008")).Index();
    const int tf009 = plan.FieldByName(QStringLiteral("TF009")).Index();
    const int tf010 = plan.FieldByName(QStringLiteral("TF010")).Index();
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
    TKrta07PlanKey key;
    for (int r = 0; r < n; ++r) {
        if (r % 1000 == 0) progress(tr("Saving consumption"), r, n);
        for (int i = 0; i < 7; ++i)
            key.id[i] = idOf(r, keyField[i]);
        const double main = plan.valueAt(r, tf008).toDouble(),
                     nonMain = plan.valueAt(r, tf009).toDouble();
        const int32_t remarkId = plan.textIdAt(r, tf010);
        const QString& remark = remarkId < 0 ? QString() : plan.pooledText(remarkId);
        TSaveStatement* s = &insert;
        auto found = stored.rows.find(key);
        if (found != stored.rows.end()) {
            found->kept = true;
            if (found->main == main && found->nonMain == nonMain && found->remark == remark) continue;
            s = &update;
            found->main = main;
            found->nonMain = nonMain;
            found->remark = remark;
        } else {
            stored.rows.insert(key, {main, nonMain, remark, true});
        }
        s->text("COMPANY", FCompany).text("CREATOR", FUserID).text("CREATEDATE", created);
        for (int i = 0; i < 7; ++i)
            s->text(names[i], stored.texts[size_t(key.id[i])]);
        s->text("TF003", Krta07RTrim(plan.valueAt(r, tf003).toString()))
            .number("TF008", main)
            .number("TF009", nonMain)
            .text("TF010", remark)
            .add();
    }
    for (auto it = stored.rows.begin(); it != stored.rows.end();) {
        if (it->kept) {
            it->kept = false;
            ++it;
            continue;
        }
        remove.text("TF003", QStringLiteral("2"));
        for (int i = 0; i < 7; ++i)
            remove.text(names[i], stored.texts[size_t(it.key().id[i])]);
        remove.add();
        it = stored.rows.erase(it);
    }
    for (TSaveStatement* s : {&insert, &update, &remove})
        s->flush();
    // The resources and lines of the computation, for the renewal of their rows in one statement.
    TKvADOKeyTable computed(dm.dbKrta07, QStringLiteral("KVSAVEPLAN"),
                            {{"K1"}, {"K2"}, {"K3"}, {"K4"}, {"K5"}, {"K6"}}, {"K1", "K2", "K3", "K4", "K5", "K6"});
    for (const QString& k : std::as_const(FConsumptionKeys)) {
        // Resource, plan kind and the line's parts.
        const QStringList parts = k.split(QChar(5));
        if (parts.size() < 7) continue;
        computed.Text(parts[0]).Text(parts[2]).Text(parts[3]).Text(parts[4]).Text(parts[5]).Text(parts[6]).AddRow();
    }
    computed.Finish();
    TKvADOQuery renew;
    renew.SetConnection(dm.dbKrta07);
    renew.SetSQL(dm.ExpandSQL(QString::fromLatin1(kDetailRenew).arg(computed.Name())));
    renew.ParamByName(QStringLiteral("COMPANY")).SetAsString(Krta07Text(FCompany));
    renew.ParamByName(QStringLiteral("CREATOR")).SetAsString(Krta07Text(FUserID));
    renew.ParamByName(QStringLiteral("CREATEDATE")).SetAsString(created);
    renew.ExecSQL();
    // What the rows are once this save commits.
    if (FWrittenPlan) {
        stored.lineFlags = std::move(FWrittenPlan->lineFlags);
        *FWrittenPlan = std::move(stored);
    }
    progress(tr("Saving consumption"), n, n);
    return true;
}

bool TfrmKrta07SM::WriteResourceLoad() {
    TdmKrta07S& dm = *dmKrta07S;
    const kv::TClientDataSet& load = *dm.qryMPSTD;
    if (!load.Active()) return true;
    const QString created = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmsszzz"));
    TSaveStatement insert(dm, QString::fromLatin1(kLoadInsert));
    TKvADOKeyTable stored(dm.dbKrta07, QStringLiteral("KVSAVELOAD"), {{"K1"}, {"K2"}, {"K3", false}}, {"K1", "K2"});
    TKvADOQuery check;
    check.SetConnection(dm.dbKrta07);
    check.SetSQL(dm.ExpandSQL(QString::fromLatin1(kLoadCheck)));
    auto idx = [&load](const char* n) { return load.FieldByName(QString::fromLatin1(n)).Index(); };
    const int td001 = idx("TD001"), td002 = idx("TD002"), td003 = idx("TD003"), td004 = idx("TD004"),
              td006 = idx("TD006"), td008 = idx("TD008"), flag = idx("FLAG");
    const int n = load.RecordCount();
    for (int r = 0; r < n; ++r) {
        if (r % 500 == 0) progress(tr("Saving the load"), r, n);
        const QString TD001 = Krta07RTrim(load.valueAt(r, td001).toString());
        const QString TD002 = Krta07RTrim(load.valueAt(r, td002).toString());
        double f = load.valueAt(r, flag).toDouble();
        if (f == -1) {
            // A day computed in memory may lie outside the range that was loaded and yet have a
            // row: that row is updated, as inserting it again could only fail.
            check.Close();
            check.ParamByName(QStringLiteral("TD001")).SetAsString(TD001);
            check.ParamByName(QStringLiteral("TD002")).SetAsString(TD002);
            check.Open();
            if (!check.IsEmpty()) f = check.FieldByName(QStringLiteral("FLAG")).AsFloat();
        }
        if (f == -1) {
            insert.text("COMPANY", FCompany)
                .text("CREATOR", FUserID)
                .text("CREATEDATE", created)
                .text("TD001", TD001)
                .text("TD002", TD002)
                .number("TD003", load.valueAt(r, td003).toDouble())
                .number("TD004", load.valueAt(r, td004).toDouble())
                .number("TD006", load.valueAt(r, td006).toDouble())
                .text("TD008", Krta07RTrim(load.valueAt(r, td008).toString()))
                .add();
        } else {
            stored.Text(TD001).Text(TD002).Number(f).AddRow();
        }
    }
    insert.flush();
    stored.Finish();
    if (stored.RowCount() > 0) {
        // Every stored row in one statement, each under its FLAG guard: a row short is one someone
        // changed or deleted since loading.
        const bool together = dm.dbKrta07->dialect() != kv::ado::SqlDialect::SQLServer;
        TKvADOQuery update;
        update.SetConnection(dm.dbKrta07);
        update.SetSQL(dm.ExpandSQL(QStringLiteral("UPDATE $$MPSTD SET ") +
                                   QString::fromLatin1(together ? kPlannedSumsTogether : kPlannedSums) +
                                   QString::fromLatin1(kLoadUpdateRest).arg(stored.Name())));
        update.ParamByName(QStringLiteral("MODIFIER")).SetAsString(Krta07Text(FUserID));
        if (update.ExecSQL() != stored.RowCount()) return false;
    }
    progress(tr("Saving the load"), n, n);
    return true;
}

bool TfrmKrta07SM::SaveChanges() {
    TdmKrta07S& dm = *dmKrta07S;
    FQueryClock.start();
    struct Finish {
        TfrmKrta07SM* wb;
        ~Finish() {
            wb->FPlanReader.reset();
            wb->FWrittenPlan.reset();
            wb->dmKrta07S->dbKrta07->OnLockWait = nullptr;
            wb->FProgress.reset();
            wb->FQueryClock.invalidate();
            wb->dgMPSTB->viewport()->update();
        }
    } finish{this};

    // The stored plan rows, unless kept from the last save or already being read since the load,
    // come on a connection of their own while the lines are checked and written.
    if (!FPlanReader && !FSavedPlan) StartPlanRead();

    // Leaving every line runs its checks: a line without work order type, or whose days do not add
    // up, stops the save before anything is written.
    try {
        CopyLineEdits();
        dm.qryMPSTBPre->First();
    } catch (const std::exception&) {
        return false;
    }
    HighlightCurrentLine();

    // Another program's lock on the database is waited for in view of the planner.
    dm.dbKrta07->OnLockWait = [this](int waited, int timeout) {
        progress(tr("Waiting for the database, which another program has locked"), waited, timeout);
    };
    bool ok = false;
    QString cause;
    try {
        try {
            dm.dbKrta07->StartTransaction();
        } catch (const EKvError&) {
            // A connection the server dropped (restarted, say) is opened again once.
            // A locked file stays locked: its wait is not run twice.
            if (dm.dbKrta07->dialect() == kv::ado::SqlDialect::SQLite) throw;
            dm.dbKrta07->Close();
            dm.dbKrta07->Open();
            dm.dbKrta07->StartTransaction();
        }
        // Lines that followed a linked move still have the plan rows of their old days; the rows
        // written are those of the days being saved.
        RecomputeAllConsumption();
        FWrittenPlan = std::make_unique<TKrta07StoredPlan>();
        ok = WriteSchedule();
        if (ok) {
            dm.dbKrta07->Commit();
            FSavedPlan = std::move(FWrittenPlan);
        }
    } catch (const std::exception& e) {
        // The first line says what went wrong; the statement that follows it is no news to a planner.
        cause = dm.DatabaseText() + QStringLiteral(": ") +
                QString::fromUtf8(e.what()).section(QLatin1Char('\n'), 0, 0).trimmed();
        ok = false;
    }
    if (!ok) {
        if (dm.dbKrta07->InTransaction()) {
            try {
                dm.dbKrta07->Rollback();
            } catch (const std::exception& e) {
                qWarning("Rolling back failed: %s", e.what());
            }
        }
        FProgress.reset();
        // A database fault says what it was; a refusal names the rows another planner changed first.
        QString text = SystemMessage(0);
        if (cause.isEmpty()) {
            try {
                cause = ChangedByOthersText();
            } catch (const std::exception& e) {
                qWarning("Reading who changed the rows failed: %s", e.what());
            }
        }
        if (!cause.isEmpty()) text += QLatin1Char('\n') + cause;
        KvMessageDlg(text, mtError, mbYes);
        return false;
    }
    ReloadSchedule();
    return true;
}

bool TfrmKrta07SM::FormCloseQuery() {
    if (FEditState != 1) return true;
    const int answer = KvMessageDlg(SystemMessage(1), mtWarning, mbYes | mbNo | mbCancel);
    if ((answer == mrYes && SaveChanges()) || (answer == mrNo && ReloadSchedule())) {
        FEditState = 0;
        UpdateToolState();
        return true;
    }
    return false;
}
