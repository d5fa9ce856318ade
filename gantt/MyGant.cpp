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
    return qint64(std::floor(date));
}

bool matchesDay(const TphDataEntity_GantTime* cell, kv::TDateTime date) {
    return !cell->CanEdit && cell->StartTime >= date && cell->StopTime < date + 1;
}

void setTexts(TphDataEntity_GantTime* cell, const QString& first, const QString& second) {
    TphTimeItemTextCollection* texts = cell->EnsureTexts();
    if (TphTimeItemText* t = texts->Items(0)) t->Text = first;
    if (TphTimeItemText* t = texts->Items(1)) t->Text = second;
}

const QString& textOf(const TphDataEntity_GantTime* cell, int i) {
    static const QString empty;
    const TphTimeItemText* t = cell->Texts ? cell->Texts->Items(i) : nullptr;
    return t ? t->Text : empty;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TMyGantItem

QString TMyGantItem::DateText(kv::TDateTime date) {
    int y, m, d;
    kv::decodeDate(date, y, m, d);
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

int TMyGantItem::Index() const {
    return FCollection ? FCollection->IndexOf(this) : -1;
}

int TMyGantItem::DayCount() const {
    return int(kv::roundHalfEven(Stop - Start));
}

void TMyGantItem::RecordPosition() {
    Start = Bar->StartTime;
    Stop = Bar->StopTime;
}

void TMyGantItem::BuildDayCells(TphDataEntity_GantTime* bar) {
    if (!bar || !bar->CanEdit || !bar->Owner) return;
    TphDataList* list = bar->Owner;
    const int n = int(kv::roundHalfEven(bar->StopTime - bar->StartTime));
    const double firstDay = roundDay(bar->StartTime);
    for (int k = 0; k < n; ++k) {
        auto* cell = static_cast<TphDataEntity_GantTime*>(list->Append());
        cell->StartTime = firstDay + k + 0.1;
        cell->StopTime = bar->StartTime + k + 0.9;
        cell->Color = clWhite;
        cell->Style = 8;
        cell->CanEdit = false;
        cell->UserValue = k + 1;
        TphTimeItemTextCollection* texts = cell->EnsureTexts();
        texts->Add(QString(), 0, -1, 0);
        texts->Add(QString(), 100, -1, 0);
        cell->TopInset = 2;
        cell->BottomInset = 2;
        DayCells.push_back(cell);
    }
    RecordPosition();
    auto* marker = static_cast<TphDataEntity_GantTime*>(list->Append());
    marker->StartTime = MarkerDate;
    marker->StopTime = MarkerDate;
    marker->Style = 0;
    marker->Color = clRed;
    marker->CanEdit = false;
    if (!SavedQuantities.isEmpty()) RestoreDayTexts();
}

void TMyGantItem::RemoveDayCells(TphDataEntity_GantTime* bar) {
    if (!bar || !bar->Owner || !bar->CanEdit) return;
    TphDataList* list = bar->Owner;
    for (int k = list->Count() - 1; k > 0; --k)
        list->Delete(1);
    DayCells.clear();
}

void TMyGantItem::MoveByDays(int n) {
    if (!Bar) return;
    ShiftSavedDates(DateText(Bar->StartTime), n);
    Bar->StartTime += n;
    Bar->StopTime += n;
    RemoveDayCells(Bar);
    BuildDayCells(Bar);
    RecordPosition();
    if (Gant) Gant->InvalidateGantArea();
}

// The number a quantity text holds, 0 when none: plain digits, the usual case on hundreds of
// thousands of cells, without the general conversion.
static double quantityOf(const QString& text, bool& ok) {
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
        if (i == to) {
            ok = true;
            return double(v);
        }
    }
    return text.trimmed().toDouble(&ok);
}

double TMyGantItem::GetDayValue(kv::TDateTime date) const {
    double value = 0;
    for (const TphDataEntity_GantTime* cell : DayCells)
        if (matchesDay(cell, date)) {
            bool ok = false;
            const double v = quantityOf(textOf(cell, 0), ok);
            value = ok ? v : 0;
        }
    return value;
}

void TMyGantItem::SetDayTexts(const QString& quantity, const QString& remark, kv::TDateTime date) {
    for (TphDataEntity_GantTime* cell : DayCells)
        if (matchesDay(cell, date)) setTexts(cell, quantity, remark);
    SaveDayTexts();
    if (Gant) Gant->InvalidateGantArea();
}

bool TMyGantItem::CellsInOrder() const {
    for (size_t i = 0; i < DayCells.size(); ++i) {
        if (DayCells[i]->StopTime < DayCells[i]->StartTime) return false;
        if (i > 0 && DayCells[i]->StartTime < DayCells[i - 1]->StartTime) return false;
    }
    return true;
}

// Visits the cells that match the date, in the order of DayCells.
template <class Visit> void TMyGantItem::ForCellsOfDate(kv::TDateTime date, bool inOrder, Visit visit) const {
    if (!inOrder) {
        for (TphDataEntity_GantTime* cell : DayCells)
            if (matchesDay(cell, date)) visit(cell);
        return;
    }
    // A match starts at the date or later and before the next day, as it ends before that.
    auto it =
        std::lower_bound(DayCells.begin(), DayCells.end(), date,
                         [](const TphDataEntity_GantTime* c, kv::TDateTime d) { return c->StartTime < d; });
    for (; it != DayCells.end() && (*it)->StartTime < date + 1; ++it)
        if (matchesDay(*it, date)) visit(*it);
}

void TMyGantItem::SetDayTextsOf(const std::vector<TMyGantDayTexts>& days) {
    const bool inOrder = CellsInOrder();
    for (const TMyGantDayTexts& d : days)
        ForCellsOfDate(d.Date, inOrder,
                       [&d](TphDataEntity_GantTime* cell) { setTexts(cell, d.Quantity, d.Remark); });
    SaveDayTexts();
    if (Gant) Gant->InvalidateGantArea();
}

void TMyGantItem::DayCellValues(std::vector<double>& values) const {
    values.clear();
    values.reserve(DayCells.size());
    const bool inOrder = CellsInOrder();
    for (const TphDataEntity_GantTime* day : DayCells) {
        double value = 0;
        ForCellsOfDate(day->StartTime, inOrder, [&value](const TphDataEntity_GantTime* cell) {
            bool ok = false;
            const double v = quantityOf(textOf(cell, 0), ok);
            value = ok ? v : 0;
        });
        values.push_back(value);
    }
}

void TMyGantItem::ClearDayTexts() {
    for (TphDataEntity_GantTime* cell : DayCells)
        setTexts(cell, QString(), QString());
    SaveDayTexts();
    if (Gant) Gant->InvalidateGantArea();
}

void TMyGantItem::SaveDayTexts() {
    const size_t n = DayCells.size();
    // Usually only a text or two changed since the last snapshot: update those in place.
    bool sameDays = FSavedDayNumbers.size() == n && size_t(SavedDates.size()) == n &&
                    size_t(SavedQuantities.size()) == n && size_t(SavedRemarks.size()) == n;
    for (size_t i = 0; sameDays && i < n; ++i)
        sameDays = FSavedDayNumbers[i] == dayNumber(DayCells[i]->StartTime);
    if (sameDays) {
        for (size_t i = 0; i < n; ++i) {
            const TphDataEntity_GantTime* cell = DayCells[i];
            const qsizetype k = qsizetype(i);
            const QString& q = textOf(cell, 0);
            if (SavedQuantities.at(k) != q) SavedQuantities[k] = q;
            const QString& r = textOf(cell, 1);
            if (SavedRemarks.at(k) != r) SavedRemarks[k] = r;
        }
        return;
    }
    // Dates rarely change between snapshots; only the texts are taken again.
    QStringList dates;
    dates.reserve(qsizetype(n));
    std::vector<qint64> numbers(n);
    SavedQuantities.clear();
    SavedRemarks.clear();
    SavedQuantities.reserve(qsizetype(n));
    SavedRemarks.reserve(qsizetype(n));
    for (size_t i = 0; i < n; ++i) {
        TphDataEntity_GantTime* cell = DayCells[i];
        numbers[i] = dayNumber(cell->StartTime);
        if (i < FSavedDayNumbers.size() && FSavedDayNumbers[i] == numbers[i] &&
            qsizetype(i) < SavedDates.size())
            dates.append(SavedDates[qsizetype(i)]);
        else
            dates.append(DateText(cell->StartTime));
        SavedQuantities.append(textOf(cell, 0));
        SavedRemarks.append(textOf(cell, 1));
    }
    SavedDates = dates;
    FSavedDayNumbers = std::move(numbers);
}

void TMyGantItem::RestoreDayTexts() {
    for (TphDataEntity_GantTime* cell : DayCells) {
        const qsizetype i = SavedDates.indexOf(DateText(cell->StartTime));
        if (i >= 0)
            setTexts(cell, SavedQuantities.value(i), SavedRemarks.value(i));
        else
            setTexts(cell, QString(), QString());
    }
    SaveDayTexts();
}

void TMyGantItem::ShiftSavedDates(const QString& dateText, int n) {
    qsizetype i = SavedDates.indexOf(dateText);
    if (i < 0) i = 0;
    auto shift = [this, n](qsizetype k) {
        const QString& text = SavedDates[k];
        const kv::TDateTime date =
            kv::encodeDate(text.left(4).toInt(), text.mid(5, 2).toInt(), text.mid(8, 2).toInt());
        SavedDates[k] = DateText(date + n);
    };
    if (i == 0) {
        for (qsizetype k = 0; k < SavedDates.size(); ++k)
            shift(k);
    } else if (n >= 0) {
        for (qsizetype k = i; k < SavedDates.size(); ++k)
            shift(k);
    } else {
        for (qsizetype k = 0; k < i; ++k)
            shift(k);
    }
    // The cached day numbers no longer describe the texts.
    FSavedDayNumbers.clear();
}

// ---------------------------------------------------------------------------------------------
// TMyGantList

TMyGantList::~TMyGantList() {
    for (TMyGantItem* item : FItems)
        delete item;
}

TMyGantItem* TMyGantList::AddItem(TColor color, int days, kv::TDateTime markerDate, kv::TDateTime startDate) {
    auto* item = new TMyGantItem(this);
    FItems.push_back(item);
    item->Color = color;
    TphDataEntity_GridTreeNode* node = FGant->GridTree()->AddNode(nullptr);
    node->SetCellText(0, QStringLiteral("a new row"));
    item->RowNode = node;
    TGantRow* row = FGant->RowOfNode(node);
    TphDataEntity_GantTime* bar = row ? row->AddTime(0) : nullptr;
    if (!bar) return item;
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
    FGant->GridTree()->Clear();
    for (TMyGantItem* item : FItems)
        delete item;
    FItems.clear();
    FSelected.clear();
}

void TMyGantList::ClearSelection() {
    for (TMyGantItem* item : FItems)
        if (item->Bar) item->Bar->SetSelected(false);
}

int TMyGantList::IndexOf(const TMyGantItem* item) const {
    const auto it = std::find(FItems.begin(), FItems.end(), item);
    return it == FItems.end() ? -1 : int(it - FItems.begin());
}

const std::vector<TMyGantItem*>& TMyGantList::SelectedItems() {
    FSelected.clear();
    for (TMyGantItem* item : FItems)
        if (item->Bar && item->Bar->Selected) FSelected.push_back(item);
    return FSelected;
}

// ---------------------------------------------------------------------------------------------
// TMyGant

TMyGant::TMyGant(QWidget* parent) : TphGant(parent), FMyGantList(new TMyGantList(this)) {
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
}

TMyGant::~TMyGant() {
    delete FMyGantList;
}

void TMyGant::SyncChangedItems(TphGant*, TphDataEntity_GantTime*) {
    // A handler may add or clear items: walk a copy.
    const std::vector<TMyGantItem*> selected = FMyGantList->SelectedItems();
    for (TMyGantItem* item : selected) {
        TphDataEntity_GantTime* bar = item->Bar;
        if (!bar || !bar->Owner) continue;
        if (bar->StartTime == item->Start && bar->StopTime == item->Stop) continue;
        if (int(kv::roundHalfEven(bar->StopTime - bar->StartTime)) != item->DayCount()) {
            item->RemoveDayCells(bar);
            item->BuildDayCells(bar);
        }
        TphDataList* list = bar->Owner;
        const int cells = int(item->DayCells.size());
        for (int j = 0; j <= cells; ++j) {
            auto* entry = static_cast<TphDataEntity_GantTime*>(list->Get(j));
            if (!entry) break;
            if (entry->CanEdit) {
                entry->StartTime = kv::roundHalfEven(entry->StartTime);
                entry->StopTime = kv::roundHalfEven(entry->StopTime);
            } else {
                entry->StartTime = bar->StartTime + (j - 1) + 0.1;
                entry->StopTime = bar->StartTime + (j - 1) + 0.9;
            }
        }
        item->SaveDayTexts();
        if (OnGantItemChangePos) OnGantItemChangePos(item);
        item->Start = bar->StartTime;
        item->Stop = bar->StopTime;
    }
    InvalidateGantArea();
}
