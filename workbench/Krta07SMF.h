#pragma once
// TfrmKrta07SM: the scheduling workbench. A factory's schedule lines as Gantt rows with their day
// quantities, the line grid, and the load of the resources against their capacity.
#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "frame/KVForm.h"
#include "gantt/phColor.h"
#include "platform/DateTime.h"
#include "workbench/Krta07SMFPlan.h"

class QLabel;
class QGroupBox;
class QCheckBox;
class QPlainTextEdit;
class QScrollArea;
class QToolButton;
class QWidget;
class QAction;
class QMenu;
class QPainter;
struct TKrta07LoadKey;
class QProgressDialog;
class TTabSheet;
class TGantRow;
class TphDataEntity_GantTime;
class TF2Button;
class TFDBGrid;
class TKvEdit;
class TMyGant;
class TMyGantItem;
class TdmKrta07S;
class TExtPageControl;
class TKrta07LoadChart;
class TKrta07CapacityChart;
class QChart;
class QChartView;
class TKrta07Consumption;
struct TKrta07DayQuantity;
struct TKrta07LoadKey;
struct TKrta07Amounts;
struct TKrta07DayRows;
class TKrta07DayRowsBin;
struct TKrta07StoredPlan;
struct TKrta07PlanRow;
class TKrta07Undo;
class TKrta07DayReader;
class TKrta07PlanReader;
class TKrta07OtherPlanReader;
namespace kv {
class TClientDataSet;
}

// The frame's data calls the workbench and its dialogs need: value checks and lookup windows.
class TKrta07DataCalls {
public:
    virtual ~TKrta07DataCalls() = default;
    // Value check of a code; true with the found row.
    virtual bool CheckCode(const QString& table, const QString& queryNo, const QString& key,
                           QStringList& row) = 0;
    // The row chosen in the lookup window; empty when nothing was chosen.
    virtual QStringList OpenLookup(const QString& table, const QString& windowNo,
                                   const QStringList& params) = 0;
    // The same check with several keys; calls that know only one key take the first.
    virtual bool CheckCodeKeys(const QString& table, const QString& queryNo, const QStringList& keys,
                               QStringList& row) {
        return CheckCode(table, queryNo, keys.value(0), row);
    }
};

// A bar the linkage moves, by whole days.
struct TKrta07LinkedMove {
    int Row;
    int Days;
};

// Progress of a long query: a step name, done and total counts.
using TKrta07Progress = std::function<void(const QString& step, int done, int total)>;

class TfrmKrta07SM : public TKVForm {
    Q_OBJECT
public:
    // The module-wide reference to the running workbench (null when none runs).
    static TfrmKrta07SM* Current;

    // An empty connectString takes the launcher's server settings.
    explicit TfrmKrta07SM(QWidget* owner = nullptr, const QString& connectString = QString());
    ~TfrmKrta07SM() override;

    // Tool bar and header.
    QToolButton *btnQuery, *btnEdit, *btnOK, *btnCancel;
    TKvEdit *edMB001, *edTB036, *edTB004;
    QLabel *lblMB001C, *lblTB036C, *lblTB004;
    TF2Button *btnMB001, *btnTB036, *btnTB004;
    QGroupBox* KvRadioGroup1;
    QCheckBox *chkDown, *chkUp, *chkMPS;
    TExtPageControl* PageControl1;
    TTabSheet *TabSheet1, *TabSheet2;
    TMyGant* mgMPSTC = nullptr;
    TKrta07LoadChart* ctMPSTC = nullptr;
    QScrollArea* ScrollBox1;
    TFDBGrid* dgMPSTB;
    QPlainTextEdit *memLNG, *meoMessage;
    QToolButton* dgMPSTBIButton = nullptr;
    QWidget* Panel5 = nullptr;

    TdmKrta07S* dmKrta07S = nullptr;
    TKrta07Progress OnProgress;

    // The session the main form hands over: user, company database and company.
    const QString& UserID() const { return FUserID; }
    void SetUserID(const QString& value) { FUserID = value; }
    const QString& DBName() const { return FDBName; }
    void SetDBName(const QString& value) { FDBName = value; }
    const QString& Company() const { return FCompany; }
    void SetCompany(const QString& value) { FCompany = value; }
    TKrta07DataCalls* DataCalls() const { return FDataCalls; }
    void SetDataCalls(TKrta07DataCalls* value) { FDataCalls = value; }
    // 0 browse, 1 edit.
    int EditState() const { return FEditState; }
    // A move's linkage is being applied: field handlers leave the lines it writes alone.
    bool Linking() const { return FLinking; }
    // The key of each loaded line, in row order.
    const QStringList& RowKeys() const { return FRowKeys; }
    // The consumption key of every resource and line the last full computation covered.
    const QStringList& ConsumptionKeys() const;
    const std::vector<TKrta07CapacityChart*>& ResourceCharts() const { return FResourceCharts; }

    QString Message(int index) const;       // memLNG line
    QString SystemMessage(int index) const; // meoMessage line

    void InitWorkbench();
    void btnQueryClick();
    // The query dialog; true with its five texts when accepted.
    bool AskQueryConditions(QStringList& result);
    // Header texts as the dialog returns them: factory, name, resource, name, source document.
    void SetQueryConditions(const QStringList& texts);
    void LoadSchedule(const QString& factory);
    // False after showing why the load failed.
    bool ReloadSchedule();
    void UpdateToolState();
    void UpdateLinkOptions();

    // Gantt population.
    void BuildGantt(const QString& factory);
    void ComputeTimeSpan();
    void LinkParentBars();
    void ScalerLabelText(kv::TDateTime theDate, QString& label);
    static TColor BarColor(const QString& TB028, const QString& TB038);
    int CurrentRowIndex() const;
    // What the days of line row's bar add up to: TB026 less what its stored days without a date hold,
    // which stay as stored outside the bar.
    double BarQuantity(int row) const;
    // The current line of the grid moved: the bar turns lime, the chart scrolls to it.
    void HighlightCurrentLine();
    // Makes row i the current line of the grid (as a click on its bar does).
    void SelectRow(int row);

    // Plan consumption and load charts.
    void RecomputeAllConsumption(bool keepLoadedFlags = false);
    void RecomputeLineConsumption();
    // The same for line row, computed while the grid stands on it and then back on the current line;
    // no leaving of a line by the planner, so no leave-line checks.
    void RecomputeLineConsumptionOf(int row);
    void RebuildPlannedLoad();
    // The plan rows of row's line, in the plan set's order.
    std::vector<TKrta07PlanRow> LinePlanRows(int row);
    // Puts rows in place of the plan rows of row's line; the planned load, the overload marks and the
    // small chart follow by the difference.
    void SetLinePlanRows(int row, const std::vector<TKrta07PlanRow>& rows);
    void RefreshLoadChart();
    // Draws a pending refresh of the small chart now.
    void FlushLoadChart();
    void BuildCapacityCharts();
    void LocaliseCharts();
    // Consumption details of a resource (all days when day is empty).
    void ShowConsumptionDetails(const QString& resource, const QString& day);

    // A line's key: its parts TB001, TB003, TB051, TB004, TB005, TB037, each as Krta07RTrim has it.
    static QString LineKeyOf(const QStringList& parts);

    // Moving bars and their linkage (Krta07SMFMove.cpp).
    void mgMPSTCGantItemChangePos(TMyGantItem* item);
    // The moves the linkage boxes ask for when row's bar lies at start..stop, in the order they are
    // made; nothing moves yet.
    std::vector<TKrta07LinkedMove> LinkedMoves(int row, kv::TDateTime start, kv::TDateTime stop);
    // Whether row's bar may lie at start..stop: neither it nor a bar its linkage moves may go further
    // outside 1899-12-31 to 9999-12-31 than it is. Says why when not; linkedMoves gets the linkage's moves.
    bool AcceptBarPosition(int row, kv::TDateTime start, kv::TDateTime stop,
                           std::vector<TKrta07LinkedMove>* linkedMoves = nullptr);
    // Rows count Gantt rows; both stay inside the family of the moved line and only collect moves.
    void LinkDown(int row, kv::TDateTime v, const QString& n, std::vector<TKrta07LinkedMove>& collected);
    void LinkUp(int row, kv::TDateTime v, const QString& n, std::vector<TKrta07LinkedMove>& collected);
    void GantKeyDown(int& key, int shift);
    void mgMPSTCDblClickGantArea(TphDataEntity_GantTime* item);
    void dgMPSTBIButtonClick();

    // Line fields, checks and cell lookups (Krta07SMFFields.cpp).
    void CellLookup();
    // memLNG line index (and a suffix) in an error box.
    void ShowLineMessage(int index, const QString& suffix = QString());
    bool CheckLineCode(const QString& table, const QString& queryNo, const QStringList& keys,
                       QStringList& row);
    bool IsLineGridControl(const QWidget* control) const;
    // The line grid takes the focus on the field's cell of the current line.
    void FocusLineField(const QString& field);

    // Place and layout of the line grid (Krta07SMFLayout.cpp).
    void PlaceLineGrid();
    // The launcher's GridViewDataPath as configured (default: installation + "c_Data/").
    QString GridViewDataPath() const;
    // The common layout file, or the user's (empty for a user code that is no plain name).
    QString GridLayoutFile(const QString& user, const QString& programCode, bool forUser) const;
    bool LoadGridLayout(const QString& user, const QString& programCode, kv::TClientDataSet* set, int row);
    bool SaveGridLayout(const QString& user, const QString& programCode, kv::TClientDataSet* set, int row);
    void N1Click();

    // Overloaded resource days (Krta07SMFOverload.cpp), counted in the header.
    QLabel* lblOverload = nullptr;
    // Finds the overloaded days of the loaded range again, from every load row.
    void CountOverloads();
    // Checks resource days again after an edit changed their load.
    void RecheckOverloads(const std::vector<TKrta07LoadKey>& days);
    bool IsOverloaded(const QString& resource, const QString& day) const;
    int OverloadCount() const { return int(FOverloaded.size()); }
    // Frames the current line's day cells that fall on an overloaded day of its main resource.
    void DrawOverloadMarks(QPainter* canvas);

    // Export of the chart with its grid (Krta07SMFExport.cpp).
    QAction *actExportWindow = nullptr, *actExportSpan = nullptr;
    // Writes the visible window (.png or .pdf), or the whole loaded span on as many PDF pages as it
    // needs; false with the file and the reason in error, or with an empty error when the planner
    // stopped it (the file is then removed). pageCount gets the number of pages written.
    bool ExportChart(const QString& fileName, bool wholeSpan, QString& error, int* pageCount = nullptr);
    // The menu entries: asks for the file, writes it, and says why when it cannot.
    void ExportChartClick(bool wholeSpan);

    // Undo and redo of the edits (Krta07SMFUndo.cpp): tool buttons, Ctrl+Z and Ctrl+Y.
    QToolButton *btnUndo = nullptr, *btnRedo = nullptr;
    void btnUndoClick();
    void btnRedoClick();
    // Enabled in edit mode when there is a step to undo or redo.
    void UpdateUndoButtons();
    // Called before row's line changes in edit mode, so that the step it belongs to can be undone.
    void UndoTouch(int row, bool planRows = false);
    // The same for the line at position pos of the grid's set.
    void UndoTouchGridLine(int pos);
    TKrta07Undo* UndoHistory() const { return FUndo.get(); }

    // Edit state and saving (Krta07SMFSave.cpp).
    void btnEditClick();
    // Ends the editing of a grid cell, handing its value over; false when the line's checks refused
    // it (the planner has been told, and is back on the cell).
    bool EndCellEditing();
    void btnOKClick();
    void btnCancelClick();
    // One transaction; false after showing why (the edits stay in memory).
    bool SaveChanges();
    void CopyLineEdits();
    // The lines with their days, the plan rows and the load rows, inside the save's transaction
    // (TKrta07SaveWriter); false when a row changed since loading refuses the save.
    bool WriteSchedule();
    // After a save was refused for rows that changed since loading: those rows as stored now, the
    // first 20 with who changed them and when, and a count of the rest (Krta07SMFRefusal.cpp). Empty
    // when none differs.
    QString ChangedByOthersText();
    // A text of the workbench's own: its language file's text of the identifier, or the built-in one
    // in the workstation's script.
    QString OwnText(const char* ident, const char* builtIn) const;
    // A database fault for a message: the database, then the first line of what it said.
    QString DatabaseFault(const std::exception& e) const;
    // Asked before closing in edit mode; false keeps the workbench open.
    bool FormCloseQuery();

    // Daily quantities (Krta07SMFDaily.cpp).
    // The daily quantity editor on row's bar; true when accepted (the bar and its days are written).
    bool EditDailyQuantities(int row);
    // The same for a clicked time item: a bar edits all its days, a day cell that day only.
    bool EditDailyQuantities(TphDataEntity_GantTime* clicked);

protected:
    void FormCreate() override;
    friend class TfrmKrta07SQ;
    // Puts lines back under the same guard a move writes them under.
    friend class TKrta07Undo;
    bool FormKeyDown(QKeyEvent* key, QWidget* target) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    QString FDBName, FUserID, FCompany;
    QString FConnectString;
    QStringList FRowKeys;
    QString FMinStartDate, FMaxEndDate;
    int FEditState = 0;
    bool FMouseBusy = false, FScrollBusy = false, FLinking = false;
    std::vector<TKrta07CapacityChart*> FResourceCharts;
    bool FLineGridSplitSet = false; // the capacity tab's split was given its first sizes
    kv::TDateTime FMinStartBound = 0, FMaxStopBound = 0;
    TKrta07DataCalls* FDataCalls = nullptr;

    void BuildComponents();
    void F2Lookup(QWidget* control);
    void LookupResource(TKvEdit* edit, QLabel* name);
    void LookupSourceDoc(TKvEdit* edit, const QString& factory);
    // The factory window; true when a factory was chosen, false on Cancel or any failure.
    bool SelectFactory();
    void mgMPSTCGantAreaMouseDown(int row);
    void InitMoveHandlers();
    void InitLineFields();
    void InitLineGridPlaces();
    // The line grid's menu: "保存检视" and the export entries.
    void InitLineGridMenu();
    // Adds the export entries to the line grid's menu and gives the chart the same menu.
    void InitExportMenu(QMenu* menu);
    void mgMPSTCGantAreaMouseDown(int x, int y);
    void WriteBarDates(int row, bool inWorkingSet);
    void WidenScrollBounds(TphDataEntity_GantTime* bar);
    void MoveLinkedRow(int row, int days);
    // A dragged bar back at its recorded position, its quantities on the days they had.
    void PutBarBack(TMyGantItem* item);
    int FFamilyFirst = 0, FFamilyLast = -1;
    // Tells OnProgress the step by its name and, once the work has run half a second, shows it in
    // the progress dialog in the workstation's language.
    void progress(const QString& step, int done, int total);
    QString StepCaption(const QString& step);
    QHash<QString, QString> FStepCaptions;
    // Work the planner may stop (an export) gets a Cancel button; the work asks ProgressCanceled.
    bool FProgressCancellable = false;
    bool ProgressCanceled() const;
    // Frees the lines' chart rows, plan rows, load and day rows before a load reads new ones.
    void ReleaseSchedule();
    // The reading part of LoadSchedule; ForgetSchedule drops what a failed read left.
    void ReadSchedule(const QString& factory);
    void ForgetSchedule();
    void currentLineChanged();
    // Starts reading the factory's day rows beside whatever the load does next.
    void StartDayRead(const QString& factory);
    // Names the stored day rows the load left out because their day is no date: once for a query,
    // not again when a save or a cancel loads the factory anew (FReloading).
    void TellUndatedDays(const QString& factory, const TKrta07DayRows& days);
    bool FReloading = false;
    // Starts reading the stored plan rows of the loaded lines beside the planner's work: a save
    // writes their values only where the computed rows differ from them.
    void StartPlanRead();
    // Starts reading what the plan rows of lines the query does not load put on each resource day.
    void StartOtherPlanRead();
    // Those sums, once read; empty before the first load.
    const QHash<TKrta07LoadKey, TKrta07Amounts>& OtherPlans();

    QHash<QString, int> FRowOfKey;
    std::unique_ptr<TKrta07Undo> FUndo;
    void InitUndo();
    // Overloaded resource days by resource and day.
    QSet<QString> FOverloaded;
    void UpdateOverloadText();
    QHash<TGantRow*, int> FRowOfGantRow;
    QElapsedTimer FQueryClock;
    QElapsedTimer FPaintClock;
    std::unique_ptr<QProgressDialog> FProgress;
    bool FChartPending = false;
    // Plan rows and the planned load from the lines' sets and bars.
    std::unique_ptr<TKrta07Consumption> FConsumption;
    void InitConsumption();
    // The days of row's bar with a quantity, for the computation.
    void DayQuantities(int row, std::vector<TKrta07DayQuantity>& days) const;
    std::unique_ptr<TKrta07OtherPlanReader> FOtherPlanReader;
    std::unique_ptr<QHash<TKrta07LoadKey, TKrta07Amounts>> FOtherPlans;
    // The day rows as loaded, which the save compares the bars with.
    std::unique_ptr<TKrta07DayRows> FStoredDays;
    std::unique_ptr<TKrta07DayReader> FDayReader;
    // The day rows of the load before, freed once the new load is done.
    std::unique_ptr<TKrta07DayRowsBin> FOldDays;
    // The stored plan rows, read after a load or while a save does its first steps.
    std::unique_ptr<TKrta07PlanReader> FPlanReader;
    // The plan rows as the last save wrote them (kept while its lines are loaded unchanged), and
    // those of the save under way until it commits.
    std::unique_ptr<TKrta07StoredPlan> FSavedPlan, FWrittenPlan;
    // Keeps FSavedPlan only when the loaded lines are exactly those it was written for.
    void CheckSavedPlan();

protected:
    bool event(QEvent* e) override;
};

// The key of each line of a set (LineKeyOf its six key parts), its fields looked up once.
class TKrta07LineKeys {
public:
    explicit TKrta07LineKeys(const kv::TClientDataSet& lines);
    QString At(int row) const;

private:
    const kv::TClientDataSet& FLines;
    int FField[6];
};
