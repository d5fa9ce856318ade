#pragma once
// Undo and redo of the planner's edits. A step is what one action of the planner changed: a drag,
// stretch or arrow-key nudge together with every line its linkage moved, a confirmed daily editor, or
// one changed cell of the line grid. A step keeps each line it touched as it was before and after:
// the bar, the texts of its days, the line's record in both line sets and the line's plan rows.
#include <QVariant>
#include <utility>
#include <vector>

#include "gantt/MyGant.h"
#include "workbench/Krta07SMFPlan.h"

class TfrmKrta07SM;
namespace kv {
class TClientDataSet;
class TField;
} // namespace kv

struct TKrta07LineState {
    int Row = -1;
    kv::TDateTime Start = 0, Stop = 0;
    // The day cells that hold a text.
    std::vector<TMyGantDayTexts> Days;
    // The fields of the line's record that edits change, in the working set and in the grid's set.
    std::vector<std::pair<kv::TField*, QVariant>> Line, GridLine;
    // Kept only for the lines whose plan rows the step computed again.
    bool HasPlan = false;
    std::vector<TKrta07PlanRow> Plan;
    bool operator==(const TKrta07LineState& o) const;
};

class TKrta07Undo {
public:
    explicit TKrta07Undo(TfrmKrta07SM& workbench) : FWorkbench(workbench) {}

    // A step runs from the outermost Begin to its End, and is kept when it changed a line.
    void Begin();
    void End();
    // A gesture on the chart runs from the press to the release; a press whose release never came
    // (a dialog took it) ends at the next press, undo or redo.
    void BeginGesture();
    void EndGesture();
    // Row's line is about to change: its state before the step is taken the first time. With
    // PlanRows its plan rows are about to change too, and are kept as well.
    void Touch(int row, bool planRows = false);

    bool CanUndo() const { return !FDone.empty(); }
    bool CanRedo() const { return !FUndone.empty(); }
    // Steps that can be undone, and redone.
    int Steps() const { return int(FDone.size()); }
    int Redoable() const { return int(FUndone.size()); }
    void Undo();
    void Redo();
    void Clear();

private:
    struct Step {
        std::vector<TKrta07LineState> Before, After;
    };
    TKrta07LineState Capture(int row, bool planRows) const;
    void Apply(const std::vector<TKrta07LineState>& states);
    // Keeps the open step, when it changed anything, and closes it.
    void Commit();
    // Closes the open step and moves the last step of From to To; null when there is none.
    Step* Shift(std::vector<Step>& from, std::vector<Step>& to);
    void Changed();

    TfrmKrta07SM& FWorkbench;
    std::vector<Step> FDone, FUndone;
    Step FOpen;
    int FDepth = 0;
    bool FGesture = false, FApplying = false, FCommitQueued = false;
};

// Holds a step open for its scope.
class TKrta07UndoStep {
public:
    explicit TKrta07UndoStep(TKrta07Undo* undo) : FUndo(undo) {
        if (FUndo) FUndo->Begin();
    }
    ~TKrta07UndoStep() {
        if (FUndo) FUndo->End();
    }
    TKrta07UndoStep(const TKrta07UndoStep&) = delete;
    TKrta07UndoStep& operator=(const TKrta07UndoStep&) = delete;

private:
    TKrta07Undo* FUndo;
};
