// Script commands that move bars and type into the line grid: link (the linkage boxes), drag and
// stretch (a bar by whole days with the mouse), key (the arrow keys on the chart), cell (a code
// typed into the line grid) and column (the line grid scrolled sideways to a field). Each drives the
// real widgets with mouse and key events and prints the line's dates or the field's value
// afterwards.
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <cmath>

#include "controls/ExtPage.h"
#include "controls/FDBGrid.h"
#include "gantt/MyGant.h"
#include "host/client/ScriptRunner.h"
#include "platform/data/ClientDataSet.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"

namespace {

// The row of a command's first argument; false with error set (or empty for a usage error) when
// it is no loaded row.
bool parseRow(TScriptContext& c, TfrmKrta07SM* wb, const QString& text, int& row, QString& error) {
    bool ok = false;
    row = text.toInt(&ok);
    return ok && c.ValidRow(wb, row, error);
}

// The line grid's column of a field (upper case); -1 with error set when the grid does not show it.
int gridColumn(TFDBGrid* grid, const QString& field, QString& error) {
    for (int i = 0; grid->isVisible() && i < grid->Columns().size(); ++i)
        if (grid->Column(i)->FieldName().toUpper() == field) return i;
    error = QStringLiteral("the line grid shows no %1").arg(field);
    return -1;
}

// The line's scheduled dates in the grid's set: "TB013<TAB>TB014".
QString lineDates(TfrmKrta07SM* wb, int row) {
    kv::TClientDataSet& pre = *wb->dmKrta07S->qryMPSTBPre;
    const QStringList parts = wb->RowKeys().value(row).split(Krta07KeySeparator);
    const QString keys = QStringLiteral("TB001;TB003;TB051;TB004;TB005;TB037");
    const QVariantList values(parts.begin(), parts.end());
    return pre.Lookup(keys, values, QStringLiteral("TB013")).toString().trimmed() + QLatin1Char('\t') +
           pre.Lookup(keys, values, QStringLiteral("TB014")).toString().trimmed();
}

// Press, move in two steps, release: what a hand on the mouse does.
void dragMouse(QWidget* area, QPoint from, QPoint to) {
    QTest::mousePress(area, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(area, (from + to) / 2);
    QTest::mouseMove(area, to);
    QTest::mouseRelease(area, Qt::LeftButton, Qt::NoModifier, to);
    QApplication::processEvents();
}

// Clicks the bar's top edge unless its line is current already: the press that changes the current
// line ends its own gesture.
bool makeCurrent(TScriptContext& c, TfrmKrta07SM* wb, int row, const QRect& rect, QString& error) {
    if (wb->CurrentRowIndex() == row && wb->mgMPSTC->CurrentItem()) return true;
    c.Click(wb->mgMPSTC->GantArea(), c.BarPoint(wb, row, rect, rect.center().x()));
    if (wb->CurrentRowIndex() != row) {
        error = QStringLiteral("the line of row %1 did not become current").arg(row);
        return false;
    }
    return true;
}

bool linkCommand(TScriptContext& c, const QStringList& args, QString& error) {
    TfrmKrta07SM* wb = c.RequireWorkbench(error);
    if (!wb) return false;
    const QString name = args.value(0), state = args.value(1).toLower();
    QCheckBox* box = name.compare(QLatin1String("chkUp"), Qt::CaseInsensitive) == 0     ? wb->chkUp
                     : name.compare(QLatin1String("chkDown"), Qt::CaseInsensitive) == 0 ? wb->chkDown
                     : name.compare(QLatin1String("chkMPS"), Qt::CaseInsensitive) == 0  ? wb->chkMPS
                                                                                        : nullptr;
    if (args.size() != 2 || !box || (state != QLatin1String("on") && state != QLatin1String("off"))) {
        error = QStringLiteral("usage: link chkUp|chkDown|chkMPS on|off");
        return false;
    }
    const bool wanted = state == QLatin1String("on");
    if (box->isChecked() != wanted) {
        if (!box->isEnabled() || !box->isVisible()) {
            error = QStringLiteral("%1 cannot be changed now").arg(box->objectName());
            return false;
        }
        c.Click(box, QPoint(6, box->height() / 2));
    }
    if (box->isChecked() != wanted) {
        error = QStringLiteral("%1 did not change").arg(box->objectName());
        return false;
    }
    return true;
}

bool dragCommand(TScriptContext& c, const QStringList& args, QString& error) {
    TfrmKrta07SM* wb = c.RequireWorkbench(error);
    if (!wb) return false;
    int row = 0;
    bool ok = false;
    const int days = args.value(1).toInt(&ok);
    if (args.size() != 2 || !ok || !parseRow(c, wb, args.value(0), row, error)) {
        if (error.isEmpty()) error = QStringLiteral("usage: drag ROW DAYS");
        return false;
    }
    QRect r;
    if (!c.ShowBar(wb, row, r, error) || !makeCurrent(c, wb, row, r, error)) return false;
    TphDataEntity_GantTime* bar = wb->mgMPSTC->MyGantList()->Items(row)->Bar;
    const double before = bar->StartTime;
    const double pxPerDay = 1 / wb->mgMPSTC->Scale();
    // Held between the resize zones, on the edge above the day cells.
    const QPoint from =
        c.BarPoint(wb, row, r, r.left() + std::max(4, std::min(r.width() / 2, int(pxPerDay / 2))));
    dragMouse(wb->mgMPSTC->GantArea(), from, from + QPoint(int(std::lround(days * pxPerDay)), 0));
    if (std::lround(bar->StartTime - before) != days) {
        error = QStringLiteral("the bar of row %1 moved by %2 days")
                    .arg(row)
                    .arg(std::lround(bar->StartTime - before));
        return false;
    }
    c.Print(QStringLiteral("drag\t%1\t%2").arg(row).arg(lineDates(wb, row)));
    return true;
}

bool stretchCommand(TScriptContext& c, const QStringList& args, QString& error) {
    TfrmKrta07SM* wb = c.RequireWorkbench(error);
    if (!wb) return false;
    int row = 0;
    bool ok = false;
    const QString end = args.value(1).toLower();
    const int days = args.value(2).toInt(&ok);
    if (args.size() != 3 || !ok || (end != QLatin1String("start") && end != QLatin1String("stop")) ||
        !parseRow(c, wb, args.value(0), row, error)) {
        if (error.isEmpty()) error = QStringLiteral("usage: stretch ROW start|stop DAYS");
        return false;
    }
    QRect r;
    if (!c.ShowBar(wb, row, r, error) || !makeCurrent(c, wb, row, r, error)) return false;
    TphDataEntity_GantTime* bar = wb->mgMPSTC->MyGantList()->Items(row)->Bar;
    const bool atStart = end == QLatin1String("start");
    const double before = atStart ? bar->StartTime : bar->StopTime;
    const double pxPerDay = 1 / wb->mgMPSTC->Scale();
    const QPoint from(atStart ? r.left() + 1 : r.left() + r.width() - 2, r.top() + 1);
    dragMouse(wb->mgMPSTC->GantArea(), from, from + QPoint(int(std::lround(days * pxPerDay)), 0));
    const long moved = std::lround((atStart ? bar->StartTime : bar->StopTime) - before);
    if (moved != days) {
        error = QStringLiteral("the %1 of row %2 moved by %3 days").arg(end).arg(row).arg(moved);
        return false;
    }
    c.Print(QStringLiteral("stretch\t%1\t%2").arg(row).arg(lineDates(wb, row)));
    return true;
}

bool keyCommand(TScriptContext& c, const QStringList& args, QString& error) {
    TfrmKrta07SM* wb = c.RequireWorkbench(error);
    if (!wb) return false;
    int row = 0;
    const QString dir = args.value(1).toLower();
    if (args.size() != 2 || (dir != QLatin1String("left") && dir != QLatin1String("right")) ||
        !parseRow(c, wb, args.value(0), row, error)) {
        if (error.isEmpty()) error = QStringLiteral("usage: key ROW left|right");
        return false;
    }
    QRect r;
    if (!c.ShowBar(wb, row, r, error) || !makeCurrent(c, wb, row, r, error)) return false;
    TphDataEntity_GantTime* bar = wb->mgMPSTC->MyGantList()->Items(row)->Bar;
    const double before = bar->StartTime;
    c.Key(wb->mgMPSTC->GantArea(), dir == QLatin1String("left") ? Qt::Key_Left : Qt::Key_Right);
    const long wanted = dir == QLatin1String("left") ? -1 : 1;
    if (std::lround(bar->StartTime - before) != wanted) {
        error = QStringLiteral("the bar of row %1 did not move").arg(row);
        return false;
    }
    c.Print(QStringLiteral("key\t%1\t%2").arg(row).arg(lineDates(wb, row)));
    return true;
}

bool cellCommand(TScriptContext& c, const QStringList& args, QString& error) {
    TfrmKrta07SM* wb = c.RequireWorkbench(error);
    if (!wb) return false;
    int row = 0;
    const QString field = args.value(1).toUpper();
    if (args.size() < 2 ||
        (field != QLatin1String("TB042") && field != QLatin1String("TB044") &&
         field != QLatin1String("TB045")) ||
        !parseRow(c, wb, args.value(0), row, error)) {
        if (error.isEmpty()) error = QStringLiteral("usage: cell ROW TB042|TB044|TB045 VALUE");
        return false;
    }
    const QString value = args.mid(2).join(QLatin1Char(' '));
    TFDBGrid* grid = wb->dgMPSTB;
    const int column = gridColumn(grid, field, error);
    if (column < 0) return false;
    // The grid's row of the line: its set is in the chart's order.
    kv::TClientDataSet& pre = *wb->dmKrta07S->qryMPSTBPre;
    const QModelIndex index = grid->model()->index(row, column);
    grid->scrollTo(index);
    QApplication::processEvents();
    c.Click(grid->viewport(), grid->visualRect(index).center());
    if (pre.RecNo() != row + 1) {
        error = QStringLiteral("the line of row %1 did not become current").arg(row);
        return false;
    }
    if (!(grid->model()->flags(index) & Qt::ItemIsEditable)) {
        error = QStringLiteral("%1 of row %2 cannot be edited now").arg(field).arg(row);
        return false;
    }
    c.DoubleClick(grid->viewport(), grid->visualRect(index).center());
    QLineEdit* editor = nullptr;
    for (QLineEdit* e : grid->viewport()->findChildren<QLineEdit*>())
        if (e->isVisible()) editor = e;
    if (!editor) {
        error = QStringLiteral("no editor opened on %1 of row %2").arg(field).arg(row);
        return false;
    }
    editor->selectAll();
    c.Key(editor, Qt::Key_Delete);
    c.Type(editor, value);
    c.Key(editor, Qt::Key_Return);
    // The grid commits the cell from the event loop; a refused value leaves the old one.
    c.WaitFor([editor = QPointer<QLineEdit>(editor)] { return !editor || !editor->isVisible(); }, 3000);
    QApplication::processEvents();
    c.Print(
        QStringLiteral("cell\t%1\t%2\t%3").arg(row).arg(field, pre.FieldByName(field).AsString().trimmed()));
    return true;
}

// Scrolls the line grid sideways until the field's column is its first visible one, as the planner
// drags the grid's scroll bar; prints what the grid shows in that column for the first two rows.
bool columnCommand(TScriptContext& c, const QStringList& args, QString& error) {
    TfrmKrta07SM* wb = c.RequireWorkbench(error);
    if (!wb) return false;
    if (args.size() != 1) {
        error = QStringLiteral("usage: column FIELD");
        return false;
    }
    const QString field = args[0].toUpper();
    TFDBGrid* grid = wb->dgMPSTB;
    const int column = gridColumn(grid, field, error);
    if (column < 0) return false;
    QScrollBar* bar = grid->horizontalScrollBar();
    // Per column or per pixel, depending on the grid's scroll mode.
    const int target = grid->horizontalScrollMode() == QAbstractItemView::ScrollPerItem
                           ? grid->horizontalHeader()->visualIndex(column)
                           : grid->horizontalHeader()->sectionPosition(column);
    bar->setValue(std::min(target, bar->maximum()));
    QApplication::processEvents();
    const QRect cell = grid->visualRect(grid->model()->index(0, column));
    if (cell.isEmpty() || cell.left() >= grid->viewport()->width()) {
        error = QStringLiteral("the column of %1 did not come into view").arg(field);
        return false;
    }
    const auto text = [grid, column](int row) { return grid->model()->index(row, column).data().toString(); };
    c.Print(QStringLiteral("column\t%1\t%2\t%3").arg(field, text(0), text(1)));
    return true;
}

[[maybe_unused]] const bool registered = [] {
    RegisterScriptCommand(QStringLiteral("link"), linkCommand);
    RegisterScriptCommand(QStringLiteral("drag"), dragCommand);
    RegisterScriptCommand(QStringLiteral("stretch"), stretchCommand);
    RegisterScriptCommand(QStringLiteral("key"), keyCommand);
    RegisterScriptCommand(QStringLiteral("cell"), cellCommand);
    RegisterScriptCommand(QStringLiteral("column"), columnCommand);
    return true;
}();

} // namespace
