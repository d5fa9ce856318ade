// Mouse and keyboard editing in the Gantt area: selection, moving, copying and resizing items.
#include <QDrag>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "gantt/phGant.h"
#include "gantt/phGrid.h"
#include "gantt/phScaler.h"
#include "platform/Numbers.h"

namespace {

// The engine's cursor numbers, as the forms store them.
Qt::CursorShape cursorShape(int cursor) {
    switch (cursor) {
    case -3:
        return Qt::CrossCursor;
    case -4:
        return Qt::IBeamCursor;
    case -7:
        return Qt::SizeVerCursor;
    case -9:
        return Qt::SizeHorCursor;
    case -11:
        return Qt::WaitCursor;
    case -12:
        return Qt::DragMoveCursor;
    case -14:
        return Qt::SplitHCursor;
    case -15:
        return Qt::SplitVCursor;
    case -18:
        return Qt::ForbiddenCursor;
    case -21:
        return Qt::PointingHandCursor;
    default:
        return Qt::ArrowCursor;
    }
}

constexpr int crHSplit = -14;

} // namespace

// ---------------------------------------------------------------------------------------------
// The area forwards its input

void TphGantArea::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    const TMouseButton button = event->button() == Qt::RightButton    ? mbRight
                                : event->button() == Qt::MiddleButton ? mbMiddle
                                                                      : mbLeft;
    FGant->AreaMouseDown(button, phShiftState(event->modifiers()), p.x(), p.y(), false);
    TphOffscreenPaint::mousePressEvent(event);
}

void TphGantArea::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    // No button held: a gesture whose release went to another window is over.
    if (!(event->buttons() & Qt::LeftButton)) FGant->EndLostGesture();
    FGant->AreaMouseMove(phShiftState(event->modifiers()), p.x(), p.y());
    TphOffscreenPaint::mouseMoveEvent(event);
}

void TphGantArea::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    const TMouseButton button = event->button() == Qt::RightButton    ? mbRight
                                : event->button() == Qt::MiddleButton ? mbMiddle
                                                                      : mbLeft;
    FGant->AreaMouseUp(button, phShiftState(event->modifiers()), p.x(), p.y());
    TphOffscreenPaint::mouseReleaseEvent(event);
}

void TphGantArea::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    const TMouseButton button = event->button() == Qt::RightButton ? mbRight : mbLeft;
    // The second press of a double click selects but never starts a move.
    FGant->AreaMouseDown(button, phShiftState(event->modifiers(), true), p.x(), p.y(), true);
    FGant->AreaDblClick();
    TphOffscreenPaint::mouseDoubleClickEvent(event);
}

void TphGantArea::keyPressEvent(QKeyEvent* event) {
    int key = event->key();
    const int shift = phShiftState(event->modifiers());
    if (OnKeyDown) {
        OnKeyDown(this, key, shift);
        if (key == 0) {
            event->accept();
            return;
        }
    }
    if (FGant->AreaKeyDown(key, shift)) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TphGantArea::dragEnterEvent(QDragEnterEvent* event) {
    dragMoveEvent(event);
}

void TphGantArea::dragMoveEvent(QDragMoveEvent* event) {
    bool accept = false;
    const QPoint p = event->position().toPoint();
    if (FGant->OnGantAreaDragOver) FGant->OnGantAreaDragOver(this, event->source(), p.x(), p.y(), accept);
    if (accept)
        event->acceptProposedAction();
    else
        event->ignore();
}

void TphGantArea::dropEvent(QDropEvent* event) {
    const QPoint p = event->position().toPoint();
    if (FGant->OnGantAreaDragDrop) FGant->OnGantAreaDragDrop(this, event->source(), p.x(), p.y());
    event->acceptProposedAction();
}

// ---------------------------------------------------------------------------------------------
// Selection

void TphGant::ClickSelect(TphDataEntity_GantTime* item, int shift) {
    if (shift & (ssShift | ssCtrl)) {
        if (item) item->SetSelected(!item->Selected);
    } else {
        DeselectAll();
        if (item) item->SetSelected(true);
    }
    InvalidateGantArea();
}

void TphGant::SetCurrentItem(TphDataEntity_GantTime* item) {
    FCurrentItem = item;
    InvalidateGantArea();
}

void TphGant::CancelMouseOperation() {
    FMouseState = msIdle;
    FPressed = false;
    FOutlineDrawn = false;
    FDragRects.clear();
    FResizeItem = nullptr;
    // A click on one of several selected items still selects it alone on release: only the drag ends.
    FAutoScrollTimer->stop();
    FScaler->ScrollStop();
    InvalidateGantArea();
}

bool TphGant::OnResizeZone(TphDataEntity_GantTime* item, int x, int y, bool* atStart) {
    const QRect r = ItemRect(item);
    if (r.isEmpty() || y < r.top() || y >= r.top() + r.height()) return false;
    if (x >= r.left() && x <= r.left() + 2) {
        *atStart = true;
        return true;
    }
    const int right = r.left() + r.width();
    if (x >= right - 3 && x < right) {
        *atStart = false;
        return true;
    }
    return false;
}

TGantRow* TphGant::PressRow(int y) const {
    return RowAtY(FPressed ? FPressY : y);
}

// ---------------------------------------------------------------------------------------------
// Press, move, release

void TphGant::AreaMouseDown(TMouseButton button, int shift, int x, int y, bool doubleClick) {
    // A gesture still open lost its release to a window that came up while the mouse was down:
    // whatever it had picked up stays where it is.
    EndLostGesture();
    FPressed = true;
    if (!FArea->hasFocus()) FArea->setFocus();
    FScaler->update();
    FGrid->update();
    FPressDate = FScaler->DateAtPixel(x);
    UpdateAllGeometry();
    FCurrentItem = TimeAt(x, y);
    TphDataEntity_GantTime* item = FCurrentItem;
    if (item && item->Selected) {
        FPendingClick = true;
    } else {
        FPendingClick = false;
        ClickSelect(item, shift);
    }
    if (OnClickGantArea) OnClickGantArea(this, item);
    if (button == mbRight && OnRightClickGantArea) OnRightClickGantArea(this, item);
    // Handlers may have removed the item.
    item = FCurrentItem;
    RequestHint(item);
    if (button == mbLeft && item) {
        FPressX = x;
        FPressY = y;
        FDragOffset = QPoint();
        FOutlineDrawn = false;
        bool atStart = false;
        const bool canEdit = item->GetCanEdit();
        if (canEdit && item->FixedWidth < 1 && OnResizeZone(item, x, y, &atStart)) {
            FMouseState = atStart ? msResizeStart : msResizeStop;
            FResizeItem = item;
            FResizeRect = ItemRect(item);
        } else if (canEdit) {
            FMouseState = doubleClick ? msIdle : (shift & ssCtrl) ? msCopying : msMoving;
            FDragRects.clear();
            // Selected items that cannot be edited stay where they are (a day cell clicked before
            // and still selected): a drag moves only what a press on it could have moved.
            if (FMouseState != msIdle)
                for (TphDataEntity_GantTime* selected : SelectedItems())
                    if (selected->GetCanEdit()) FDragRects.emplace_back(ItemRect(selected), selected);
        }
    }
    if (OnGantAreaMouseDown) OnGantAreaMouseDown(FArea, button, shift, x, y);
}

void TphGant::AutoScroll(int x, int y, bool vertical) {
    if (TimeItemAutoScroll == ttiaHorzAndVert || TimeItemAutoScroll == ttiaHorz) {
        if (x < 0) {
            if (!FScaler->Scrolling()) FScaler->ScrollBackwardStart();
        } else if (x > FArea->width()) {
            if (!FScaler->Scrolling()) FScaler->ScrollForwardStart();
        } else {
            FScaler->ScrollStop();
        }
    }
    if (vertical && (TimeItemAutoScroll == ttiaHorzAndVert || TimeItemAutoScroll == ttiaVert)) {
        if (y <= 4 || y > FArea->height() - 5) {
            FAutoScrollDown = y > FArea->height() - 5;
            if (!FAutoScrollTimer->isActive()) FAutoScrollTimer->start();
        } else {
            FAutoScrollTimer->stop();
        }
    }
}

void TphGant::EndLostGesture() {
    if (FMouseState == msIdle && !FResizeItem && FDragRects.empty()) return;
    FMouseState = msIdle;
    FOutlineDrawn = false;
    FDragRects.clear();
    FResizeItem = nullptr;
    FAutoScrollTimer->stop();
    FScaler->ScrollStop();
    InvalidateGantArea();
}

void TphGant::AreaMouseMove(int shift, int x, int y) {
    if (FDestroying) return;
    int cursor = CursorGantArea;
    TGantRow* row = PressRow(y);
    if (FPressed && !row && FCurrentItem) row = FCurrentItem->Row();
    if ((FMouseState == msMoving || FMouseState == msCopying) && row &&
        (row->AllowTimeMove || row->AllowRowMove)) {
        AutoScroll(x, y, true);
        FDragOffset = QPoint(row->AllowTimeMove ? x - FPressX : 0, row->AllowRowMove ? y - FPressY : 0);
        FOutlineDrawn = true;
        InvalidateGantArea();
        const bool outside = x < -25 || y < -25 || x > FArea->width() + 25 || y > FArea->height() + 25;
        if (outside && StartDragWhenTimeMoveOutside) {
            FMouseState = msIdle;
            FScaler->ScrollStop();
            FAutoScrollTimer->stop();
            FOutlineDrawn = false;
            Repaint();
            if (OnGantAreaStartDrag) OnGantAreaStartDrag(FArea);
            // The platform's drag and drop takes over; the drop target learns the source from the event.
            auto* drag = new QDrag(FArea);
            auto* mime = new QMimeData;
            mime->setData(QStringLiteral("application/x-tphgant-area"), QByteArray());
            drag->setMimeData(mime);
            drag->exec(Qt::MoveAction | Qt::CopyAction);
        }
    } else if ((FMouseState == msResizeStart || FMouseState == msResizeStop) && row && row->AllowResize &&
               FResizeItem) {
        cursor = crHSplit;
        AutoScroll(x, y, false);
        FDragOffset = QPoint(x - FPressX, 0);
        FOutlineDrawn = true;
        InvalidateGantArea();
        double start = FResizeItem->StartTime;
        double stop = FResizeItem->StopTime;
        if (FMouseState == msResizeStart)
            start = FScaler->DateAtPixel(FResizeRect.left() + FDragOffset.x());
        else
            stop = FScaler->DateAtPixel(FResizeRect.left() + FResizeRect.width() + FDragOffset.x());
        Snap.PixelDuration = FScaler->DurationOfPixels(1);
        Snap.Snap(start, stop);
        if (OnHintInfo) OnHintInfo(nullptr, stop - start, stop, start);
    } else if (FMouseState == msIdle) {
        TphDataEntity_GantTime* item = TimeAt(x, y);
        RequestHint(item);
        bool atStart = false;
        if (item && item->GetCanEdit() && item->FixedWidth < 1 && item->Row() && item->Row()->AllowResize &&
            OnResizeZone(item, x, y, &atStart))
            cursor = crHSplit;
    }
    FArea->setCursor(cursorShape(cursor));
    if (OnGantAreaMouseMove) OnGantAreaMouseMove(FArea, shift, x, y);
}

void TphGant::AreaMouseUp(TMouseButton button, int shift, int x, int y) {
    // The release ends the gesture and tells the handlers however it went. A handler that fails while
    // a failure of the release is on its way out gives way to it: two at once would end the program.
    auto finish = [this, button, shift, x, y] {
        FMouseState = msIdle;
        FOutlineDrawn = false;
        FDragRects.clear();
        FResizeItem = nullptr;
        if (OnHintInfo) {
            TphDataEntity_GantTime* item = FCurrentItem;
            if (item)
                OnHintInfo(item, item->StopTime - item->StartTime, item->StopTime, item->StartTime);
            else
                OnHintInfo(nullptr, 0, 0, 0);
        }
        if (OnGantAreaMouseUp) OnGantAreaMouseUp(FArea, button, shift, x, y);
    };
    try {
        ReleaseMouse(shift, x, y);
    } catch (...) {
        try {
            finish();
        } catch (...) {
        }
        throw;
    }
    finish();
}

void TphGant::ReleaseMouse(int shift, int x, int y) {
    FAutoScrollTimer->stop();
    int dx = x - FPressX;
    int dy = y - FPressY;
    TGantRow* row = RowAtY(FPressY);
    if (!row && FCurrentItem) row = FCurrentItem->Row();
    FPressed = false;
    if (FMouseState == msMoving || FMouseState == msCopying) {
        FScaler->ScrollStop();
        if (!row || !row->AllowTimeMove) dx = 0;
        if (!row || !row->AllowRowMove) dy = 0;
        ApplyMove(x, dx, dy);
        if (dx != 0 || dy != 0) FPendingClick = false;
        Repaint();
    } else if (FMouseState == msResizeStart || FMouseState == msResizeStop) {
        FScaler->ScrollStop();
        if (!row || !row->AllowResize) dx = 0;
        ApplyResize(dx);
        Repaint();
    }
    if (FPendingClick) {
        FPendingClick = false;
        ClickSelect(FCurrentItem, shift);
    }
}

void TphGant::AreaDblClick() {
    if (OnDblClickGantArea) OnDblClickGantArea(this, FCurrentItem);
}

// ---------------------------------------------------------------------------------------------
// Applying a gesture

void TphGant::ApplyMove(int x, int dx, int dy) {
    if ((dx == 0 && dy == 0) || FDragRects.empty()) return;
    const double delta = dx != 0 ? FScaler->DateAtPixel(x) - FPressDate : 0;
    Snap.PixelDuration = FScaler->DurationOfPixels(1);
    const auto rects = FDragRects;
    const bool copy = FMouseState == msCopying;
    // One repaint for the whole batch.
    FArea->SetLocked(true);
    for (const auto& [rect, item] : rects) {
        // A handler of an earlier entry may have removed this item.
        if (std::find_if(FDragRects.begin(), FDragRects.end(),
                         [item = item](const auto& d) { return d.second == item; }) == FDragRects.end())
            continue;
        const double oldStart = item->StartTime;
        const double oldStop = item->StopTime;
        double start = oldStart + delta;
        double stop = oldStop + delta;
        Snap.Snap(start, stop);
        if (!Snap.SnapStopOnMove) stop = start + (oldStop - oldStart);
        if (MoveOver12Then24 && std::fabs(start - oldStart) > 0.5 && std::fabs(stop - oldStop) > 0.5) {
            start = oldStart + kv::roundHalfEven(start - oldStart);
            stop = oldStop + kv::roundHalfEven(stop - oldStop);
        }
        TGantRow* own = item->Row();
        TGantRow* target = RowAtY(rect.top() + rect.height() / 2 + dy);
        if (!target) target = own;
        if (copy) {
            TphDataEntity_GantTime* select = nullptr;
            if (OnTimeCopy) OnTimeCopy(this, item, own, target, start, stop, select);
            if (select) select->SetSelected(true);
            continue;
        }
        if (MoveInTimeWhenMoveRow || target == own) {
            item->StartTime = start;
            item->StopTime = stop;
            item->NotifyValueChanged();
        }
        if (target != own) {
            TphDataEntity_GantTime* select = nullptr;
            if (OnTimeChangeRow) OnTimeChangeRow(this, item, own, target, start, stop, select);
            if (select) select->SetSelected(true);
        }
    }
    FArea->SetLocked(false);
    InvalidateGantArea();
}

void TphGant::ApplyResize(int dx) {
    TphDataEntity_GantTime* item = FResizeItem;
    // Without movement nothing changes: snapping alone must not shift the item.
    if (!item || dx == 0) return;
    double start = item->StartTime;
    double stop = item->StopTime;
    if (FMouseState == msResizeStart)
        start = std::min(FScaler->DateAtPixel(FResizeRect.left() + dx), stop);
    else
        stop = std::max(FScaler->DateAtPixel(FResizeRect.left() + FResizeRect.width() + dx), start);
    Snap.PixelDuration = FScaler->DurationOfPixels(1);
    Snap.Snap(start, stop);
    item->StartTime = start;
    item->StopTime = stop;
    item->NotifyValueChanged();
}

// ---------------------------------------------------------------------------------------------
// Keyboard

bool TphGant::AreaKeyDown(int key, int shift) {
    const bool nav = key == Qt::Key_Space || key == Qt::Key_Home || key == Qt::Key_End ||
                     key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
    if (!nav) return false;
    TphDataEntity_GantTime* current = FCurrentItem;
    if (!current || !current->Row()) {
        // Without a current item the keys act on the grid's focused row.
        if (key == Qt::Key_Up) FGrid->SetFocusedRow(std::max(0, FGrid->FocusedRow() - 1));
        if (key == Qt::Key_Down)
            FGrid->SetFocusedRow(std::min(FGrid->DisplayRowCount() - 1, FGrid->FocusedRow() + 1));
        return true;
    }
    TGantRow* row = current->Row();
    auto layerOf = [this](TGantRow* r) {
        int layer = 0;
        if (OnKeyNavigateDataList) OnKeyNavigateDataList(this, r, layer);
        return r->Layer(layer);
    };
    auto candidates = [&](TGantRow* r, bool skipCurrent) {
        std::vector<TphDataEntity_GantTime*> list;
        if (TphDataList* layer = layerOf(r))
            for (int i = 0; i < layer->Count(); ++i) {
                auto* item = static_cast<TphDataEntity_GantTime*>(layer->Get(i));
                if (item && item->GetVisible() && !(skipCurrent && item == current)) list.push_back(item);
            }
        return list;
    };
    auto endRule = [](const std::vector<TphDataEntity_GantTime*>& list) {
        TphDataEntity_GantTime* choice = nullptr;
        for (TphDataEntity_GantTime* c : list)
            if (!choice || c->StartTime > choice->StopTime) choice = c;
        return choice;
    };
    TphDataEntity_GantTime* found = nullptr;
    bool clearWhenNone = false;
    switch (key) {
    case Qt::Key_Space:
        found = current;
        break;
    case Qt::Key_Home:
        for (TphDataEntity_GantTime* c : candidates(row, false))
            if (!found || c->StartTime < found->StartTime) found = c;
        break;
    case Qt::Key_Right:
        for (TphDataEntity_GantTime* c : candidates(row, true))
            if (c->StartTime >= current->StopTime && (!found || c->StartTime < found->StartTime)) found = c;
        break;
    case Qt::Key_End:
        found = endRule(candidates(row, false));
        break;
    case Qt::Key_Left: {
        std::vector<TphDataEntity_GantTime*> before;
        for (TphDataEntity_GantTime* c : candidates(row, true))
            if (c->StopTime <= current->StartTime) before.push_back(c);
        found = endRule(before);
        break;
    }
    default: {
        clearWhenNone = true;
        const int r = FGrid->DisplayIndexOf(static_cast<TphDataEntity_GridTreeNode*>(row->Node));
        const int next = key == Qt::Key_Up ? r - 1 : r + 1;
        TphDataEntity_GridTreeNode* node = FGrid->NodeAt(next);
        if (!node) break;
        FGrid->SetFocusedRow(next, false);
        if (!node->GantRow) break;
        double best = 0;
        for (TphDataEntity_GantTime* c : candidates(node->GantRow, true)) {
            const double gap =
                std::max({0.0, c->StartTime - current->StopTime, current->StartTime - c->StopTime});
            if (!found || gap < best) {
                found = c;
                best = gap;
            }
        }
        break;
    }
    }
    if (!found) {
        if (clearWhenNone) SetCurrentItem(nullptr);
        return true;
    }
    if (!(shift & (ssShift | ssCtrl)))
        for (TphDataEntity_GantTime* item : SelectedItems())
            if (item != found) item->SetSelected(false);
    if (key == Qt::Key_Space)
        found->SetSelected(!found->Selected);
    else
        found->SetSelected(true);
    SetCurrentItem(found);
    // Into view: the row in the grid, the time in the scaler.
    if (TGantRow* fr = found->Row()) {
        const int r = FGrid->DisplayIndexOf(static_cast<TphDataEntity_GridTreeNode*>(fr->Node));
        if (r >= 0 && !FGrid->RowFullyVisible(r)) FGrid->SetFocusedRow(r, false);
    }
    if (found->StopTime < FScaler->Start() || found->StartTime > FScaler->Stop()) {
        const double span = FScaler->Stop() - FScaler->Start();
        FScaler->SetStart(found->StartTime - span / 10);
    }
    return true;
}
