// Edit state and saving: the tool buttons follow browse and edit mode; a save writes the lines, their
// day quantities, the plan consumption rows and the resource load in one transaction, every update
// guarded by the row's FLAG counter, and reloads the factory when it succeeds.
#include <QAbstractButton>
#include <QProgressDialog>
#include <QScopeGuard>
#include <QToolButton>
#include <utility>

#include "controls/FDBGrid.h"
#include "controls/KvEdit.h"
#include "frame/KvADO.h"
#include "gantt/MyGant.h"
#include "gantt/phDataEntityPack.h"
#include "lang/CodeConverter.h"
#include "platform/data/ClientDataSet.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"
#include "workbench/Krta07SMFSaveWriter.h"
#include "workbench/Krta07SMFStored.h"
#include "workbench/Krta07SMFUndo.h"

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
    // The edits are dropped whether or not the stored schedule could be read again.
    ReloadSchedule();
    FEditState = 0;
    UpdateToolState();
}

bool TfrmKrta07SM::EndCellEditing() {
    // The editor of a grid cell hands its value over when it loses the focus. A value the line's
    // checks refused would leave the old one to be saved: the planner stays on the cell to correct it.
    const int refused = dgMPSTB->RefusedEdits();
    if (QWidget* w = focusWidget()) w->clearFocus();
    if (dgMPSTB->RefusedEdits() == refused) return true;
    dgMPSTB->setFocus();
    return false;
}

void TfrmKrta07SM::btnOKClick() {
    if (!EndCellEditing()) return;
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
    const auto enable = qScopeGuard([&pre] { pre.EnableControls(); });
    const int n = pre.RecordCount();
    int done = 0;
    for (pre.First(); !pre.Eof(); pre.Next()) {
        if (++done % 500 == 0) progress(QStringLiteral("Checking lines"), done, n);
        QVariantList key;
        for (const char* k : keys)
            key << Krta07RTrim(pre.FieldByName(QString::fromLatin1(k)).AsString());
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
    TKrta07SaveWriter writer(*dmKrta07S, FUserID, FCompany);
    TMyGantList* list = mgMPSTC->MyGantList();
    writer.barDays = [this, list](const QString& lineKey, std::vector<TKrta07BarDay>& days) {
        const TMyGantItem* item = list->Items(FRowOfKey.value(lineKey, -1));
        if (!item) return;
        days.reserve(size_t(item->CellCount()));
        for (int k = 0; k < item->CellCount(); ++k)
            days.push_back({item->CellStart(k), item->CellValue(k), Krta07RTrim(item->CellRemark(k))});
    };
    writer.onProgress = [this](const QString& step, int done, int total) { progress(step, done, total); };
    writer.storedDays = FStoredDays.get();
    writer.consumptionKeys = ConsumptionKeys();
    writer.savedPlan = std::move(FSavedPlan);
    writer.planReader = std::move(FPlanReader);
    if (!writer.write()) return false;
    FWrittenPlan = writer.takeWrittenPlan();
    return true;
}

void TfrmKrta07SM::CheckSavedPlan() {
    if (!FSavedPlan) return;
    const kv::TClientDataSet& lines = *dmKrta07S->qryMPSTB;
    const QHash<QString, double>& flags = FSavedPlan->lineFlags;
    bool same = lines.Active() && lines.RecordCount() == flags.size();
    if (same) {
        const TKrta07LineKeys keys(lines);
        const int flag = lines.FieldByName(QStringLiteral("FLAG")).Index();
        for (int r = 0; same && r < lines.RecordCount(); ++r) {
            auto it = flags.constFind(keys.At(r));
            same = it != flags.cend() && *it == lines.valueAt(r, flag).toDouble();
        }
    }
    if (!same) FSavedPlan.reset();
}

void TfrmKrta07SM::StartPlanRead() {
    FPlanReader = TKrta07SaveWriter::readStoredPlan(*dmKrta07S, ConsumptionKeys(), true);
}

QString TfrmKrta07SM::DatabaseFault(const std::exception& e) const {
    // The first line says what went wrong; the statement that follows it is no news to a planner.
    return dmKrta07S->DatabaseText() + QStringLiteral(": ") +
           QString::fromUtf8(e.what()).section(QLatin1Char('\n'), 0, 0).trimmed();
}

bool TfrmKrta07SM::SaveChanges() {
    TdmKrta07S& dm = *dmKrta07S;
    FQueryClock.start();
    const auto finish = qScopeGuard([this] {
        FPlanReader.reset();
        FWrittenPlan.reset();
        dmKrta07S->dbKrta07->OnLockWait = nullptr;
        FProgress.reset();
        FQueryClock.invalidate();
        dgMPSTB->viewport()->update();
    });

    // A load that failed left nothing to write: the save only reads the schedule again.
    if (!dm.qryMPSTB->Active() || !dm.qryMPSTBPre->Active()) {
        ReloadSchedule();
        return true;
    }

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
        progress(QStringLiteral("Waiting for the database, which another program has locked"), waited,
                 timeout);
    };
    bool ok = false;
    QString cause;
    try {
        // A company file deleted or put back since it was opened: what the connection holds takes no
        // writes and is no longer the company's. Opened again, the save writes the file that is
        // there now, or says that none is.
        if (!dm.dbKrta07->Connected() || dm.dbKrta07->FileReplacedSinceOpen()) {
            dm.dbKrta07->Close();
            dm.dbKrta07->Open();
        }
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
        // Whatever ends the transaction early takes back all it wrote.
        auto rollback = qScopeGuard([&dm] {
            if (!dm.dbKrta07->InTransaction()) return;
            try {
                dm.dbKrta07->Rollback();
            } catch (const std::exception& e) {
                qWarning("Rolling back failed: %s", e.what());
            }
        });
        // Lines that followed a linked move still have the plan rows of their old days; the rows
        // written are those of the days being saved. The load rows keep the FLAG they were loaded
        // with: one read here would let a load row another planner saved since then pass its guard.
        RecomputeAllConsumption(true);
        ok = WriteSchedule();
        if (ok) {
            rollback.dismiss();
            dm.dbKrta07->Commit();
            FSavedPlan = std::move(FWrittenPlan);
        }
    } catch (const std::exception& e) {
        cause = DatabaseFault(e);
        ok = false;
    }
    if (!ok) {
        FProgress.reset();
        // A database fault says what it was; a refusal names the rows another planner changed first.
        QString text = SystemMessage(0);
        const bool refused = cause.isEmpty();
        if (refused) {
            try {
                cause = ChangedByOthersText();
            } catch (const std::exception& e) {
                qWarning("Reading who changed the rows failed: %s", e.what());
            }
        }
        if (!cause.isEmpty()) text += QLatin1Char('\n') + cause;
        KvMessageDlg(text, mtError, mbYes);
        // Refused, the load rows are read again now that the planner has been shown who changed them:
        // the save writes their planned sums from the stored plan rows, so a second save may go
        // through unless they change once more. Lines and days keep the FLAG they were loaded with.
        if (refused) {
            try {
                RecomputeAllConsumption();
            } catch (const std::exception& e) {
                qWarning("Reading the load again failed: %s", e.what());
            }
        }
        return false;
    }
    ReloadSchedule();
    return true;
}

bool TfrmKrta07SM::FormCloseQuery() {
    if (FEditState != 1) return true;
    // A value still in a cell's editor is one of the changes the question is about.
    if (!EndCellEditing()) return false;
    const int answer = KvMessageDlg(SystemMessage(1), mtWarning, mbYes | mbNo | mbCancel);
    if ((answer == mrYes && SaveChanges()) || (answer == mrNo && ReloadSchedule())) {
        FEditState = 0;
        UpdateToolState();
        return true;
    }
    return false;
}
