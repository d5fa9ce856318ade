// Script commands of the edit state: edit, save, cancel, and daily (the daily quantity editor of a row's
// bar, filled by typing into its grid). Each goes through the workbench's buttons, the chart and the
// dialog with mouse and key events.
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include "controls/ExtPage.h"
#include "gantt/MyGant.h"
#include "host/client/ScriptRunner.h"
#include "support/LibStrs.h"
#include "workbench/Krta07SCF.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"
#include "workbench/Krta07SMFUndo.h"

namespace {

bool clickTool(TScriptContext& c, QToolButton* button, const char* name, QString& error) {
    if (!button->isEnabled()) {
        error = QStringLiteral("the %1 button is disabled").arg(QLatin1String(name));
        return false;
    }
    c.Click(button);
    return true;
}

bool editCommand(TScriptContext& c, const QStringList& args, QString& error) {
    TfrmKrta07SM* wb = c.RequireWorkbench(error);
    if (!wb) return false;
    if (!args.isEmpty()) {
        error = QStringLiteral("usage: edit");
        return false;
    }
    if (!clickTool(c, wb->btnEdit, "edit", error)) return false;
    if (wb->EditState() != 1) {
        error = QStringLiteral("the workbench did not enter edit mode");
        return false;
    }
    return true;
}

bool saveCommand(TScriptContext& c, const QStringList& args, QString& error) {
    TfrmKrta07SM* wb = c.RequireWorkbench(error);
    if (!wb) return false;
    // "save refused": the script expects the save to fail (another planner saved first, say).
    const bool refusalExpected = args == QStringList{QStringLiteral("refused")};
    if (!args.isEmpty() && !refusalExpected) {
        error = QStringLiteral("usage: save [refused]");
        return false;
    }
    if (!clickTool(c, wb->btnOK, "save", error)) return false;
    const bool saved = wb->EditState() == 0;
    if (saved == refusalExpected) {
        error = saved ? QStringLiteral("the save was not refused")
                      : QStringLiteral("the save failed; the workbench is still editing");
        return false;
    }
    c.Print(saved ? QStringLiteral("save\t%1 lines").arg(wb->RowKeys().size())
                  : QStringLiteral("save\trefused"));
    return true;
}

bool cancelCommand(TScriptContext& c, const QStringList& args, QString& error) {
    TfrmKrta07SM* wb = c.RequireWorkbench(error);
    if (!wb) return false;
    if (!args.isEmpty()) {
        error = QStringLiteral("usage: cancel");
        return false;
    }
    if (!clickTool(c, wb->btnCancel, "cancel", error)) return false;
    if (wb->EditState() != 0) {
        error = QStringLiteral("the workbench is still editing");
        return false;
    }
    return true;
}

TfrmKrta07SC* dailyEditor() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<TfrmKrta07SC*>(w); d && d->isVisible()) return d;
    return nullptr;
}

// Types a cell's text as a planner does: a click on the cell (unless it is current), F2 for its
// editor, the old text selected and typed over, Return. False when no editor opened.
bool typeCell(TScriptContext& c, TfrmKrta07SC* d, int row, int col, const QString& text) {
    QTableView* g = d->sgTime;
    const QModelIndex index = g->model()->index(row - 1, col);
    g->scrollTo(index);
    // A click on the cell already current (the day row Down just added) would only start the
    // grid's delayed editing, which then refuses F2 until its timer runs out.
    if (g->currentIndex() != index) c.Click(g->viewport(), g->visualRect(index).center());
    c.Key(g, Qt::Key_F2);
    QLineEdit* editor = nullptr;
    // Closed editors linger until they are deleted: the open one is the visible one.
    for (QLineEdit* e : g->viewport()->findChildren<QLineEdit*>())
        if (e->isVisible()) editor = e;
    if (!editor) return false;
    c.Key(editor, Qt::Key_A, Qt::ControlModifier);
    c.Type(editor, text);
    c.Key(editor, Qt::Key_Return);
    return true;
}

// The editor's row of a day ("yyyymmdd"), 0 when the grid has none.
int rowOfDay(TfrmKrta07SC* d, const QString& day) {
    return d->RowOfDate(TransDateIn(day));
}

// Double click on the bar itself, not on one of its day cells or the need-date mark: its top edge,
// as far left as the bar shows there.
bool dailyCommand(TScriptContext& c, const QStringList& args, QString& error) {
    TfrmKrta07SM* wb = c.RequireWorkbench(error);
    if (!wb) return false;
    bool ok = false;
    const int row = args.value(0).toInt(&ok);
    QList<QPair<QString, QString>> days;
    for (const QString& part :
         args.mid(1).join(QLatin1Char(',')).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString day = part.section(QLatin1Char('='), 0, 0).trimmed();
        const QString qty = part.section(QLatin1Char('='), 1).trimmed();
        if (day.size() != 8 || TransDateIn(day) == 0 || qty.isEmpty()) ok = false;
        days << qMakePair(day, qty);
    }
    if (args.size() < 2 || !ok || days.isEmpty()) {
        error = QStringLiteral("usage: daily ROW YYYYMMDD=QTY[,YYYYMMDD=QTY...]");
        return false;
    }
    QRect r;
    TMyGantItem* target = c.ShowBar(wb, row, r, error);
    if (!target) return false;
    QWidget* area = wb->mgMPSTC->GantArea();

    bool seen = false;
    QString refused;
    QPointer<TfrmKrta07SC> forced;
    QTimer driver;
    driver.setInterval(20);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        TfrmKrta07SC* d = dailyEditor();
        if (!d || d == forced) return;
        if (seen) {
            // The row's own editor, opened by the double click after leaving the other line was
            // refused: the step has failed already.
            c.Click(d->btnCancel);
            driver.stop();
            return;
        }
        seen = true;
        if (wb->CurrentRowIndex() != target->Index()) {
            // Leaving the current line opened its editor, as its days do not add up: that is not
            // the row's editor, and typing the row's days into it would change the other line.
            refused = LeftLineEditorError(wb->CurrentRowIndex());
            forced = d;
            c.Click(d->btnCancel);
            return;
        }
        driver.stop();
        d->activateWindow();
        for (const auto& [day, qty] : days) {
            int at = rowOfDay(d, day);
            if (at == 0) {
                // A new day: Down on the last row adds one.
                const int last = d->RowCount() - 1;
                c.Click(d->sgTime->viewport(),
                        d->sgTime->visualRect(d->sgTime->model()->index(last - 1, 0)).center());
                c.Key(d->sgTime, Qt::Key_Down);
                at = d->RowCount() - 1;
                if (at == last) {
                    refused = QStringLiteral("no row could be added for %1").arg(day);
                    break;
                }
                // Typed as the company writes dates, as a planner would; a day the editor reads as
                // another (or none) is a failed step, not a quantity typed on the wrong day.
                if (!typeCell(c, d, at, 0, d->DayText(TransDateIn(day)))) {
                    refused = QStringLiteral("the day of row %1 could not be edited").arg(at);
                    break;
                }
                if (d->DateOfRow(at) != TransDateIn(day)) {
                    refused =
                        QStringLiteral("row %1: the daily editor read the day %2 typed as \"%3\" as \"%4\"")
                            .arg(row)
                            .arg(day, d->DayText(TransDateIn(day)), d->Cells(0, at));
                    break;
                }
            }
            if (!typeCell(c, d, at, 1, qty)) {
                refused = QStringLiteral("the quantity of %1 could not be edited").arg(day);
                break;
            }
            // The quantity column drops keys that are no digit or point: what it did not take leaves
            // the old quantity, which OK would then confirm as if it had been typed.
            if (d->Cells(1, at).trimmed() != qty) {
                refused = QStringLiteral("row %1: the daily editor did not take the quantity %2 for %3")
                              .arg(row)
                              .arg(qty, day);
                break;
            }
        }
        if (refused.isEmpty()) {
            c.Click(d->btnOk);
            if (d->isVisible()) refused = QStringLiteral("the daily editor refused the days");
        }
        if (d->isVisible()) c.Click(d->btnCancel);
    });
    driver.start();
    c.DoubleClick(area, c.BarPoint(wb, row, r, r.left() + 1));
    driver.stop();
    if (!seen) {
        error = QStringLiteral("the daily editor did not open");
        return false;
    }
    if (!refused.isEmpty()) {
        error = refused;
        return false;
    }
    return true;
}

// Ctrl+Z or Ctrl+Y in the workbench's window, where the planner's focus is; prints how many steps
// can then be undone and redone.
bool historyCommand(TScriptContext& c, const QStringList& args, QString& error, bool redo) {
    TfrmKrta07SM* wb = c.RequireWorkbench(error);
    if (!wb) return false;
    const char* name = redo ? "redo" : "undo";
    if (!args.isEmpty()) {
        error = QStringLiteral("usage: %1").arg(QLatin1String(name));
        return false;
    }
    const TKrta07Undo* history = wb->UndoHistory();
    if (!history || !(redo ? wb->btnRedo : wb->btnUndo)->isEnabled()) {
        error = QStringLiteral("there is nothing to %1").arg(QLatin1String(name));
        return false;
    }
    const int before = history->Steps();
    wb->activateWindow();
    QApplication::setActiveWindow(wb);
    QWidget* focus = QApplication::focusWidget();
    c.Key(focus && focus->window() == wb ? focus : wb, redo ? Qt::Key_Y : Qt::Key_Z, Qt::ControlModifier);
    if (history->Steps() != before + (redo ? 1 : -1)) {
        error = QStringLiteral("the key did not %1 a step").arg(QLatin1String(name));
        return false;
    }
    c.Print(
        QStringLiteral("%1\t%2\t%3").arg(QLatin1String(name)).arg(history->Steps()).arg(history->Redoable()));
    return true;
}

[[maybe_unused]] const bool registered = [] {
    RegisterScriptCommand(QStringLiteral("edit"), editCommand);
    RegisterScriptCommand(QStringLiteral("save"), saveCommand);
    RegisterScriptCommand(QStringLiteral("cancel"), cancelCommand);
    RegisterScriptCommand(QStringLiteral("daily"), dailyCommand);
    RegisterScriptCommand(QStringLiteral("undo"), [](TScriptContext& c, const QStringList& a, QString& e) {
        return historyCommand(c, a, e, false);
    });
    RegisterScriptCommand(QStringLiteral("redo"), [](TScriptContext& c, const QStringList& a, QString& e) {
        return historyCommand(c, a, e, true);
    });
    return true;
}();

} // namespace
