#pragma once
// The schedule Gantt: one row per schedule line with its bar, one cell per day carrying the day's
// quantity and remark, and a marker. Day texts stay on their calendar days while the bar is moved
// or stretched; bars snap to whole days and each changed one is reported once.
//
// A factory has hundreds of thousands of day cells: each is kept as two text ids in its item, and
// the chart's time item of a cell exists only while the chart needs it (a row on screen, a cell
// the planner clicked). The row's list holds the bar, the cells and the marker by position; the
// cells and the marker are made from the item when asked for and let go when their row leaves the
// screen.
#include <QHash>
#include <QStringList>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "gantt/phGant.h"

class TMyGant;
class TMyGantList;

// The texts of one day, for setting many days at once.
struct TMyGantDayTexts {
    kv::TDateTime Date = 0;
    QString Quantity;
    QString Remark;
};

// The day texts of a chart, each distinct text kept once with the number it reads as: cells repeat
// a few quantities and remarks. Id 0 is the empty text.
class TMyGantTexts {
public:
    TMyGantTexts() { Clear(); }
    int32_t Id(const QString& text);
    const QString& Text(int32_t id) const { return FTexts[size_t(id)]; }
    // The number a quantity text holds, 0 when it holds none.
    double Value(int32_t id) const { return FValues[size_t(id)]; }
    void Clear();

private:
    std::vector<QString> FTexts;
    std::vector<double> FValues;
    QHash<QString, int32_t> FIds;
};

class TMyGantItem {
public:
    TMyGantItem(TMyGantList* collection, int index) : FCollection(collection), FIndex(index) {}

    TphDataEntity_GantTime* Bar = nullptr;
    TphDataEntity_GridTreeNode* RowNode = nullptr;
    kv::TDateTime Start = 0;
    kv::TDateTime Stop = 0;
    TMyGant* Gant = nullptr;
    kv::TDateTime MarkerDate = 0;
    TColor Color = clWhite;

    int Index() const { return FIndex; }
    int DayCount() const;
    void BuildDayCells(TphDataEntity_GantTime* bar);
    void RemoveDayCells(TphDataEntity_GantTime* bar);
    void MoveByDays(int n);
    double GetDayValue(kv::TDateTime date) const;
    void SetDayTexts(const QString& quantity, const QString& remark, kv::TDateTime date);
    // SetDayTexts of each entry in turn, with one snapshot at the end.
    void SetDayTextsOf(const std::vector<TMyGantDayTexts>& days);
    // GetDayValue at the start of each day cell, in order.
    void DayCellValues(std::vector<double>& values) const;
    void ClearDayTexts();
    void SaveDayTexts();
    void RestoreDayTexts();
    void ShiftSavedDates(const QString& dateText, int n);
    // The snapshot: first text, date ("YYYY/MM/DD") and second text of each day cell when taken.
    QStringList SavedQuantities() const;
    QStringList SavedDates() const;
    QStringList SavedRemarks() const;

    // The positions of the bar's row: the bar, its demand-date marker, then its day cells.
    static constexpr int kMarker = 1, kFirstCell = 2;

    // Day cell k (from 0, first day first): its times, its texts, the number its first text reads
    // as (0 when none), and its time item in the chart, made when asked for.
    int CellCount() const { return int(FCells.size() / 2); }
    kv::TDateTime CellStart(int k) const { return FCellDay0 + k + 0.1; }
    kv::TDateTime CellStop(int k) const { return FCellStopBase + k + 0.9; }
    const QString& CellQuantity(int k) const;
    const QString& CellRemark(int k) const;
    double CellValue(int k) const;
    TphDataEntity_GantTime* DayCell(int k) const;
    // The day cell a time item of the chart is, -1 when it is none of this bar's.
    int CellOf(TphDataEntity_GantTime* item) const;
    // The cells (first, last) that may lie in the times from..to; first > last when none does.
    std::pair<int, int> CellsInTimes(double from, double to) const;
    // Fills a time item the chart made for position `position` of the bar's row.
    void MakeTimeItem(TphDataEntity_GantTime* item, int position) const;

    // "YYYY/MM/DD" of a date-time, the form the snapshot keeps dates in.
    static QString DateText(kv::TDateTime date);

private:
    friend class TMyGant;
    void RecordPosition();
    // Cells whose times match the date, as a scan from the first cell would visit them.
    template <class Visit> void ForCellsOfDate(kv::TDateTime date, Visit visit) const;
    void SetCellTexts(int k, int32_t quantity, int32_t remark);
    // Places the cells' times from the given bases; their time items in the chart follow.
    void PlaceCells(kv::TDateTime day0, kv::TDateTime stopBase);
    TphDataList* RowList() const { return Bar ? Bar->Owner : nullptr; }
    TMyGantTexts& Texts() const;
    void Changed();

    TMyGantList* FCollection;
    int FIndex;
    // Cell k starts at FCellDay0 + k + 0.1 and stops at FCellStopBase + k + 0.9.
    kv::TDateTime FCellDay0 = 0;
    kv::TDateTime FCellStopBase = 0;
    // Quantity and remark text id of each cell, side by side.
    std::vector<int32_t> FCells;
    // The snapshot: day number, quantity and remark text id of each cell, side by side.
    std::vector<int32_t> FSaved;
};

class TMyGantList {
public:
    explicit TMyGantList(TMyGant* gant) : FGant(gant) {}
    TMyGantList(const TMyGantList&) = delete;
    TMyGantList& operator=(const TMyGantList&) = delete;

    TMyGant* Gant() const { return FGant; }
    // StartDate -1 stands for the scaler's current start.
    TMyGantItem* AddItem(TColor color, int days, kv::TDateTime markerDate, kv::TDateTime startDate);
    void Clear();
    // Room for this many items, so that a load does not move them as it grows.
    void Reserve(int count) { FItems.reserve(size_t(count)); }
    void ClearSelection();
    int Count() const { return int(FItems.size()); }
    TMyGantItem* Items(int index) const {
        return index >= 0 && index < Count() ? FItems[size_t(index)].get() : nullptr;
    }
    int IndexOf(const TMyGantItem* item) const;
    // Items whose bar is selected, in order; the list belongs to the collection.
    const std::vector<TMyGantItem*>& SelectedItems();
    TMyGantTexts& Texts() { return FTexts; }
    // Changes whenever an item, a day cell's place or its texts change: work done on the days can
    // be known to still hold.
    quint64 Generation() const { return FGeneration; }
    void Touch() { ++FGeneration; }

private:
    quint64 FGeneration = 0;
    TMyGant* FGant;
    std::vector<std::unique_ptr<TMyGantItem>> FItems;
    std::vector<TMyGantItem*> FSelected;
    TMyGantTexts FTexts;
};

class TMyGant : public TphGant {
    Q_OBJECT
public:
    explicit TMyGant(QWidget* parent = nullptr);
    ~TMyGant() override;

    TMyGantList* MyGantList() const { return FMyGantList.get(); }
    // Raised after a bar was moved or stretched; the item's Start and Stop are still where the bar
    // was, and take its new place after the handler.
    std::function<void(TMyGantItem* entity)> OnGantItemChangePos;
    // Raised before a changed bar's cells follow it: the item still has its recorded position and
    // the texts of its days.
    std::function<void(TMyGantItem* entity)> OnGantItemChanging;
    // Kept for forms that assign it; nothing raises it.
    std::function<void(TMyGantItem* entity)> OnGantItemChangeLength;

    void SyncChangedItems(TphGant* sender, TphDataEntity_GantTime* item);
    // The item whose row holds the time item, if any.
    TMyGantItem* ItemOf(const TphDataEntity_GantTime* item) const;

    // TphGantRowHost: the rows' lists know their item.
    TphDataList_GantRow* NewGantRowList() override;

private:
    std::unique_ptr<TMyGantList> FMyGantList;
};
