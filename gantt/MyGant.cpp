#include "gantt/MyGant.h"

#include <QFont>
#include <algorithm>
#include <cmath>

#include "gantt/phGrid.h"
#include "gantt/phScaler.h"
#include "platform/Numbers.h"

namespace {

// Whole day with halves away from zero: the nudge makes x.5 round up before the even rounding.
double roundDay(double x) {
    return kv::roundHalfEven(x + (x >= 0 ? 1e-10 : -1e-10));
}

qint64 dayNumber(kv::TDateTime date) {
    return kv::dayOf(date);
}

// The number a quantity text holds, 0 when none: plain digits, the usual case, without the general
// conversion.
double quantityOf(const QString& text) {
    qsizetype from = 0, to = text.size();
    while (from < to && text.at(from).isSpace())
        ++from;
    while (to > from && text.at(to - 1).isSpace())
        --to;
    if (to > from && to - from <= 15) {
        qint64 v = 0;
        qsizetype i = from;
        for (; i < to; ++i) {
            const char16_t c = text.at(i).unicode();
            if (c < u'0' || c > u'9') break;
            v = v * 10 + (c - u'0');
        }
        if (i == to) return double(v);
    }
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok ? v : 0;
}

// The list of a schedule row knows its item, so a time item made on demand finds what to show, and
// where each of its day cells lies in time.
class TMyGantRowList : public TphDataList_GantRow {
public:
    TMyGantItem* Item = nullptr;
    // The bar, the cells that may lie in the times and then the marker, the order the row always
    // drew them in: a bar stretched over centuries makes the few dozen cells on screen, not all.
    void PositionsInTimes(double from, double to, std::vector<std::pair<int, int>>& runs) const override {
        if (!Item) return TphDataList_GantRow::PositionsInTimes(from, to, runs);
        runs.clear();
        if (Count() == 0) return;
        runs.emplace_back(0, 0);
        const auto [first, last] = Item->CellsInTimes(from, to);
        if (first <= last) runs.emplace_back(TMyGantItem::kFirstCell + first, TMyGantItem::kFirstCell + last);
        if (Count() > TMyGantItem::kMarker) runs.emplace_back(TMyGantItem::kMarker, TMyGantItem::kMarker);
    }
};

TMyGantRowList* rowListOf(const TphDataEntity* entity) {
    return entity ? dynamic_cast<TMyGantRowList*>(entity->Owner) : nullptr;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TMyGantTexts

void TMyGantTexts::Clear() {
    // Swapped out, not cleared: a new factory's texts start in fresh memory.
    std::vector<QString>().swap(FTexts);
    std::vector<double>().swap(FValues);
    FIds = QHash<QString, int32_t>();
    FTexts.push_back(QString());
    FValues.push_back(0);
    FIds.insert(QString(), 0);
}

int32_t TMyGantTexts::Id(const QString& text) {
    if (text.isEmpty()) return 0;
    auto it = FIds.constFind(text);
    if (it != FIds.cend()) return *it;
    const auto id = int32_t(FTexts.size());
    FTexts.push_back(text);
    FValues.push_back(quantityOf(text));
    FIds.insert(text, id);
    return id;
}

// ---------------------------------------------------------------------------------------------
// TMyGantItem

QString TMyGantItem::DateText(kv::TDateTime date) {
    int y, m, d;
    kv::decodeDay(date, y, m, d);
    QString s(10, QLatin1Char('/'));
    QChar* c = s.data();
    c[0] = QLatin1Char(char('0' + y / 1000 % 10));
    c[1] = QLatin1Char(char('0' + y / 100 % 10));
    c[2] = QLatin1Char(char('0' + y / 10 % 10));
    c[3] = QLatin1Char(char('0' + y % 10));
    c[5] = QLatin1Char(char('0' + m / 10));
    c[6] = QLatin1Char(char('0' + m % 10));
    c[8] = QLatin1Char(char('0' + d / 10));
    c[9] = QLatin1Char(char('0' + d % 10));
    return s;
}

TMyGantTexts& TMyGantItem::Texts() const {
    return FCollection->Texts();
}

int TMyGantItem::DayCount() const {
    return int(kv::roundHalfEven(Stop - Start));
}

void TMyGantItem::RecordPosition() {
    Start = Bar->StartTime;
    Stop = Bar->StopTime;
}

void TMyGantItem::Changed() {
    if (Gant) Gant->InvalidateGantArea();
}

const QString& TMyGantItem::CellQuantity(int k) const {
    return Texts().Text(FCells[size_t(k) * 2]);
}

const QString& TMyGantItem::CellRemark(int k) const {
    return Texts().Text(FCells[size_t(k) * 2 + 1]);
}

double TMyGantItem::CellValue(int k) const {
    return Texts().Value(FCells[size_t(k) * 2]);
}

TphDataEntity_GantTime* TMyGantItem::DayCell(int k) const {
    TphDataList* list = RowList();
    return list && k >= 0 && k < CellCount() ? list->GetAs<TphDataEntity_GantTime>(kFirstCell + k) : nullptr;
}

int TMyGantItem::CellOf(TphDataEntity_GantTime* item) const {
    if (!item || item->Owner != RowList()) return -1;
    const int k = item->GetIndex() - kFirstCell;
    return k >= 0 && k < CellCount() ? k : -1;
}

std::pair<int, int> TMyGantItem::CellsInTimes(double from, double to) const {
    const int n = CellCount();
    if (n == 0 || !(from <= to)) return {0, -1};
    // Cell k spans FCellDay0 + k + 0.1 to FCellStopBase + k + 0.9; a day on either side is spare.
    const double first = std::floor(from - std::max(FCellDay0, FCellStopBase)) - 1;
    const double last = std::ceil(to - std::min(FCellDay0, FCellStopBase)) + 1;
    if (last < 0 || first > n - 1) return {0, -1};
    return {int(std::max(0.0, first)), int(std::min(double(n - 1), last))};
}

void TMyGantItem::MakeTimeItem(TphDataEntity_GantTime* item, int position) const {
    const int k = position - kFirstCell;
    TphTimeItemTextCollection* texts = item->EnsureTexts();
    texts->Clear();
    item->CanEdit = false;
    if (k >= 0 && k < CellCount()) {
        item->StartTime = CellStart(k);
        item->StopTime = CellStop(k);
        item->Color = clWhite;
        item->Style = 8;
        item->UserValue = k + 1;
        texts->Add(CellQuantity(k), 0, -1, 0);
        texts->Add(CellRemark(k), 100, -1, 0);
        item->TopInset = 2;
        item->BottomInset = 2;
    } else if (position == kMarker) {
        item->StartTime = MarkerDate;
        item->StopTime = MarkerDate;
        item->Style = 0;
        item->Color = clRed;
    }
}

void TMyGantItem::PlaceCells(kv::TDateTime day0, kv::TDateTime stopBase) {
    FCollection->Touch();
    FCellDay0 = day0;
    FCellStopBase = stopBase;
    TphDataList* list = RowList();
    if (!list) return;
    for (TphDataEntity* e : list->Loaded) {
        const int k = e->Index - kFirstCell;
        if (k < 0 || k >= CellCount()) continue;
        auto* cell = static_cast<TphDataEntity_GantTime*>(e);
        cell->StartTime = CellStart(k);
        cell->StopTime = CellStop(k);
    }
}

void TMyGantItem::BuildDayCells(TphDataEntity_GantTime* bar) {
    if (!bar || !bar->CanEdit || !bar->Owner) return;
    TphDataList* list = bar->Owner;
    // A bar holds one set of day cells.
    if (list->Count() > 1) RemoveDayCells(bar);
    const int n = std::max(0, int(kv::roundHalfEven(bar->StopTime - bar->StartTime)));
    FCellDay0 = roundDay(bar->StartTime);
    FCellStopBase = bar->StartTime;
    FCells.assign(size_t(n) * 2, 0);
    FCollection->Touch();
    RecordPosition();
    // The marker and the cells join the row as positions its list makes when asked for.
    list->AddUnloaded(n + 1);
    if (!FSaved.empty()) RestoreDayTexts();
}

void TMyGantItem::RemoveDayCells(TphDataEntity_GantTime* bar) {
    if (!bar || !bar->Owner || !bar->CanEdit) return;
    TphDataList* list = bar->Owner;
    // A press on a bar's body lands on one of its cells: the bar stays current when the cells go, so
    // the next arrow key still moves it.
    TMyGant* gant = FCollection ? FCollection->Gant() : nullptr;
    TphDataEntity_GantTime* current = gant ? gant->CurrentItem() : nullptr;
    const bool cellCurrent = current && current != bar && current->Owner == list;
    // From the last position: taking the first each time moved every later cell, for each cell.
    for (int k = list->Count() - 1; k > 0; --k)
        list->Delete(k);
    if (cellCurrent) gant->SetCurrentItem(bar);
    FCells.clear();
    FCollection->Touch();
}

void TMyGantItem::MoveByDays(int n) {
    if (!Bar) return;
    ShiftSavedDates(DateText(Bar->StartTime), n);
    Bar->StartTime += n;
    Bar->StopTime += n;
    RemoveDayCells(Bar);
    BuildDayCells(Bar);
    RecordPosition();
    Changed();
}

// A cell matches a date when it starts on or after it and stops before the next day. Cells follow
// each other a day apart, so only those around the date's own cell can.
template <class Visit> void TMyGantItem::ForCellsOfDate(kv::TDateTime date, Visit visit) const {
    const int n = CellCount();
    if (n == 0) return;
    const double near = std::floor(date - FCellDay0);
    if (!(near > -3 && near < n + 2)) return;
    const int from = std::max(0, int(near) - 2), to = std::min(n - 1, int(near) + 2);
    for (int k = from; k <= to; ++k)
        if (CellStart(k) >= date && CellStop(k) < date + 1) visit(k);
}

double TMyGantItem::GetDayValue(kv::TDateTime date) const {
    double value = 0;
    ForCellsOfDate(date, [this, &value](int k) { value = CellValue(k); });
    return value;
}

void TMyGantItem::DayCellValues(std::vector<double>& values) const {
    const int n = CellCount();
    values.resize(size_t(n));
    for (int k = 0; k < n; ++k)
        values[size_t(k)] = GetDayValue(CellStart(k));
}

void TMyGantItem::SetCellTexts(int k, int32_t quantity, int32_t remark) {
    FCells[size_t(k) * 2] = quantity;
    FCells[size_t(k) * 2 + 1] = remark;
    FCollection->Touch();
    // A cell the chart shows now shows the new texts.
    TphDataList* list = RowList();
    if (list && list->IsLoaded(kFirstCell + k))
        MakeTimeItem(
            static_cast<TphDataEntity_GantTime*>(list->Loaded[size_t(kFirstCell + k - list->UnloadedBefore)]),
            kFirstCell + k);
}

void TMyGantItem::SetDayTexts(const QString& quantity, const QString& remark, kv::TDateTime date) {
    const int32_t q = Texts().Id(quantity), r = Texts().Id(remark);
    ForCellsOfDate(date, [&](int k) { SetCellTexts(k, q, r); });
    SaveDayTexts();
    Changed();
}

void TMyGantItem::SetDayTextsOf(const std::vector<TMyGantDayTexts>& days) {
    TMyGantTexts& texts = Texts();
    for (const TMyGantDayTexts& d : days)
        ForCellsOfDate(d.Date, [&](int k) { SetCellTexts(k, texts.Id(d.Quantity), texts.Id(d.Remark)); });
    SaveDayTexts();
    Changed();
}

void TMyGantItem::ClearDayTexts() {
    for (int k = 0; k < CellCount(); ++k)
        SetCellTexts(k, 0, 0);
    SaveDayTexts();
    Changed();
}

void TMyGantItem::SaveDayTexts() {
    const int n = CellCount();
    FSaved.resize(size_t(n) * 3);
    for (int k = 0; k < n; ++k) {
        int32_t* s = &FSaved[size_t(k) * 3];
        s[0] = int32_t(dayNumber(CellStart(k)));
        s[1] = FCells[size_t(k) * 2];
        s[2] = FCells[size_t(k) * 2 + 1];
    }
}

void TMyGantItem::RestoreDayTexts() {
    const size_t saved = FSaved.size() / 3;
    // The snapshot's days mostly follow each other: then a day's entry is found by its distance.
    bool consecutive = saved > 0;
    for (size_t i = 1; consecutive && i < saved; ++i)
        consecutive = FSaved[i * 3] == FSaved[0] + int32_t(i);
    for (int k = 0; k < CellCount(); ++k) {
        const auto day = int32_t(dayNumber(CellStart(k)));
        qsizetype found = -1;
        if (consecutive) {
            const qint64 i = qint64(day) - FSaved[0];
            if (i >= 0 && i < qint64(saved)) found = qsizetype(i);
        } else {
            for (size_t i = 0; i < saved && found < 0; ++i)
                if (FSaved[i * 3] == day) found = qsizetype(i);
        }
        if (found >= 0)
            SetCellTexts(k, FSaved[size_t(found) * 3 + 1], FSaved[size_t(found) * 3 + 2]);
        else
            SetCellTexts(k, 0, 0);
    }
    SaveDayTexts();
}

void TMyGantItem::ShiftSavedDates(const QString& dateText, int n) {
    const qsizetype saved = qsizetype(FSaved.size() / 3);
    // The entry of the date, as the snapshot writes dates; the first one when none has it.
    qsizetype i = -1;
    kv::TDateTime date = 0;
    if (dateText.size() == 10 &&
        kv::tryEncodeDate(dateText.left(4).toInt(), dateText.mid(5, 2).toInt(), dateText.mid(8, 2).toInt(),
                          date) &&
        DateText(date) == dateText)
        for (qsizetype k = 0; k < saved && i < 0; ++k)
            if (FSaved[size_t(k) * 3] == dayNumber(date)) i = k;
    if (i < 0) i = 0;
    qsizetype from = 0, to = saved;
    if (i > 0 && n >= 0)
        from = i;
    else if (i > 0)
        to = i;
    for (qsizetype k = from; k < to; ++k)
        FSaved[size_t(k) * 3] += n;
}

QStringList TMyGantItem::SavedQuantities() const {
    QStringList l;
    for (size_t i = 1; i < FSaved.size(); i += 3)
        l.append(Texts().Text(FSaved[i]));
    return l;
}

QStringList TMyGantItem::SavedDates() const {
    QStringList l;
    for (size_t i = 0; i < FSaved.size(); i += 3)
        l.append(DateText(FSaved[i]));
    return l;
}

QStringList TMyGantItem::SavedRemarks() const {
    QStringList l;
    for (size_t i = 2; i < FSaved.size(); i += 3)
        l.append(Texts().Text(FSaved[i]));
    return l;
}

// ---------------------------------------------------------------------------------------------
// TMyGantList

TMyGantItem* TMyGantList::AddItem(TColor color, int days, kv::TDateTime markerDate, kv::TDateTime startDate) {
    Touch();
    FItems.push_back(std::make_unique<TMyGantItem>(this, Count()));
    TMyGantItem* item = FItems.back().get();
    item->Color = color;
    TphDataEntity_GridTreeNode* node = FGant->GridTree()->AddNode(nullptr);
    node->SetCellText(0, QStringLiteral("a new row"));
    item->RowNode = node;
    TGantRow* row = FGant->RowOfNode(node);
    TphDataEntity_GantTime* bar = row ? row->AddTime(0) : nullptr;
    if (!bar) return item;
    if (auto* list = rowListOf(bar)) list->Item = item;
    if (startDate == -1) startDate = FGant->Start();
    bar->StartTime = startDate;
    bar->StopTime = startDate + days;
    item->Start = bar->StartTime;
    item->Stop = bar->StopTime;
    bar->Color = color;
    bar->CanEdit = true;
    bar->Style = 8;
    bar->UserValue = 0;
    item->Bar = bar;
    item->MarkerDate = markerDate;
    item->BuildDayCells(bar);
    item->Gant = FGant;
    return item;
}

void TMyGantList::Clear() {
    Touch();
    FGant->GridTree()->Clear();
    std::vector<std::unique_ptr<TMyGantItem>>().swap(FItems);
    FSelected.clear();
    FTexts.Clear();
}

void TMyGantList::ClearSelection() {
    for (const auto& item : FItems)
        if (item->Bar) item->Bar->SetSelected(false);
}

int TMyGantList::IndexOf(const TMyGantItem* item) const {
    return item && item->Index() < Count() && Items(item->Index()) == item ? item->Index() : -1;
}

const std::vector<TMyGantItem*>& TMyGantList::SelectedItems() {
    FSelected.clear();
    for (const auto& item : FItems)
        if (item->Bar && item->Bar->Selected) FSelected.push_back(item.get());
    return FSelected;
}

// ---------------------------------------------------------------------------------------------
// TMyGant

TMyGant::TMyGant(QWidget* parent) : TphGant(parent), FMyGantList(std::make_unique<TMyGantList>(this)) {
    // The workbench's stored settings.
    SetUseGridNotTree(true);
    SetTreeWidth(100);
    SetDateFormat(QStringLiteral("YYMMDD"));
    SetTimeFormat(QStringLiteral("HH:MM:SS"));
    SetMaxStop(767011);
    SetStart(38476);
    SetStop(38487.0625);
    Scaler()->SetPixelsForModeSwitch(15);
    Scaler()->SetZoomFactor(1);
    Scaler()->SetFirstDayOfWeek(2);
    Scaler()->SetIndicatorOn(true);
    Scaler()->SetRescaleWithCtrl(false);
    StartDragWhenTimeMoveOutside = false;
    SetGantBackColor(clSilver);
    SetGantPyjamasColor(clAqua);
    MoveOver12Then24 = true;
    DrawShortLines = false;
    DrawLongLines = true;
    DefaultLinkPenWidth = 0;
    LinkShow = lsOneEndVisible;
    SetScalerHeight(45);
    Scaler()->SetColor(clActiveBorder);
    QFont scalerFont(QStringLiteral("Arial"));
    scalerFont.setPixelSize(9);
    Scaler()->SetTextFont1(scalerFont);
    Scaler()->SetTextFont2(scalerFont);
    Scaler()->SetTextFont3(scalerFont);
    QFont itemFont(QStringLiteral("MS Sans Serif"));
    itemFont.setPixelSize(11);
    FontTimeItemStyle1 = itemFont;
    FontTimeItemStyle2 = itemFont;
    FontTimeItemStyle3 = itemFont;
    TphGrid* grid = Grid();
    TphGrid_Column column;
    column.Kind = tckSimpleEdit;
    column.SortEnable = false;
    column.ReadOnly = false;
    column.Width = 1000;
    TphGrid_Column second = column;
    second.Width = 0;
    grid->SetColumns({column, second});
    grid->SetHasHeaders(true);
    grid->SetHasInfoCol(false);
    grid->SetRowSelect(true);
    grid->SetMultiSelect(true);
    grid->SetExtendLastColumnToWidth(true);
    grid->SetUserSortEnable(false);
    // The spacer follows the grid's header height.
    SetScalerHeight(45);
    Scaler()->SetLookAndFeel(TphDateScaler::tlfClassic);
    Scaler()->SetScrollButtons(TphDateScaler::tsbClassic);
    Scaler()->SetHiddenHours({});
    Scaler()->SetHiddenDays({});
    TodayLineOnOff = false;
    TodayLineColor = clBlack;

    OnGantAreaMouseUp = [](TphGantArea*, TMouseButton, int, int, int) {};
    OnChangeDataEntity_GantTime = [this](TphGant* sender, TphDataEntity_GantTime* item) {
        SyncChangedItems(sender, item);
    };
    // Day cells and markers are made from their item when the chart asks for them, and may go again;
    // a bar stays.
    OnVirtualLoad_GantTime = [](TphGant*, TphDataEntity_GantTime* item) {
        if (TMyGantRowList* list = rowListOf(item); list && list->Item)
            list->Item->MakeTimeItem(item, item->Index);
    };
    OnCanUnload_GantTime = [](TphGant*, TphDataEntity_GantTime* item, bool& canUnload) {
        TMyGantRowList* list = rowListOf(item);
        canUnload = list && list->Item && item->GetIndex() > 0;
    };
}

TMyGant::~TMyGant() = default;

TphDataList_GantRow* TMyGant::NewGantRowList() {
    auto* list = new TMyGantRowList;
    // A row holds its bar and every day of it, however long the bar.
    list->MaxLoaded = INT_MAX;
    return list;
}

TMyGantItem* TMyGant::ItemOf(const TphDataEntity_GantTime* item) const {
    TMyGantRowList* list = rowListOf(item);
    return list ? list->Item : nullptr;
}

void TMyGant::SyncChangedItems(TphGant*, TphDataEntity_GantTime*) {
    // A handler may add or clear items: walk a copy.
    const std::vector<TMyGantItem*> selected = FMyGantList->SelectedItems();
    for (TMyGantItem* item : selected) {
        TphDataEntity_GantTime* bar = item->Bar;
        if (!bar || !bar->Owner) continue;
        if (bar->StartTime == item->Start && bar->StopTime == item->Stop) continue;
        if (OnGantItemChanging) OnGantItemChanging(item);
        const kv::TDateTime fromStart = item->Start, fromStop = item->Stop;
        // The bar snaps to whole days first, and its cells are counted from the snapped bar: an edge
        // released at noon would otherwise leave a bar a day longer or shorter than its cells. A move
        // keeps the bar's length: its ends, both at noon, would round to even days apart.
        const double length = bar->StopTime - bar->StartTime;
        const bool moved = std::fabs(length - (fromStop - fromStart)) < 1e-6;
        bar->StartTime = kv::roundHalfEven(bar->StartTime);
        bar->StopTime = moved ? bar->StartTime + kv::roundHalfEven(length) : kv::roundHalfEven(bar->StopTime);
        if (int(bar->StopTime - bar->StartTime) != item->DayCount()) {
            item->RemoveDayCells(bar);
            item->BuildDayCells(bar);
        }
        // The cells follow the bar, a pure move carrying every text along.
        item->PlaceCells(bar->StartTime, bar->StartTime);
        item->SaveDayTexts();
        // Stretched, the cells were counted anew, and that recorded the new position: the handler
        // judges the change against where the bar was, and puts it back there when it refuses it.
        item->Start = fromStart;
        item->Stop = fromStop;
        if (OnGantItemChangePos) OnGantItemChangePos(item);
        item->Start = bar->StartTime;
        item->Stop = bar->StopTime;
    }
    InvalidateGantArea();
}
