#pragma once
// The schedule Gantt: one row per schedule line with its bar, one cell per day carrying the day's
// quantity and remark, and a marker. Day texts stay on their calendar days while the bar is moved
// or stretched; bars snap to whole days and each changed one is reported once.
#include <QStringList>
#include <functional>
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

class TMyGantItem {
public:
    explicit TMyGantItem(TMyGantList* collection) : FCollection(collection) {}

    TphDataEntity_GantTime* Bar = nullptr;
    TphDataEntity_GridTreeNode* RowNode = nullptr;
    std::vector<TphDataEntity_GantTime*> DayCells;
    kv::TDateTime Start = 0;
    kv::TDateTime Stop = 0;
    QStringList SavedQuantities;
    QStringList SavedDates;
    QStringList SavedRemarks;
    TMyGant* Gant = nullptr;
    kv::TDateTime MarkerDate = 0;
    TColor Color = clWhite;

    int Index() const;
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

    // "YYYY/MM/DD" of a date-time, the form the snapshot keeps dates in.
    static QString DateText(kv::TDateTime date);

private:
    void RecordPosition();
    // True when the day cells follow each other by start and none ends before it starts: then the
    // cells of a date are found by a binary search instead of a scan of the whole bar.
    bool CellsInOrder() const;
    template <class Visit> void ForCellsOfDate(kv::TDateTime date, bool inOrder, Visit visit) const;

    TMyGantList* FCollection;
    // Day numbers of SavedDates, so retaking the snapshot does not format unchanged dates again.
    std::vector<qint64> FSavedDayNumbers;
};

class TMyGantList {
public:
    explicit TMyGantList(TMyGant* gant) : FGant(gant) {}
    ~TMyGantList();
    TMyGantList(const TMyGantList&) = delete;
    TMyGantList& operator=(const TMyGantList&) = delete;

    TMyGant* Gant() const { return FGant; }
    // StartDate -1 stands for the scaler's current start.
    TMyGantItem* AddItem(TColor color, int days, kv::TDateTime markerDate, kv::TDateTime startDate);
    void Clear();
    void ClearSelection();
    int Count() const { return int(FItems.size()); }
    TMyGantItem* Items(int index) const {
        return index >= 0 && index < Count() ? FItems[size_t(index)] : nullptr;
    }
    int IndexOf(const TMyGantItem* item) const;
    // Items whose bar is selected, in order; the list belongs to the collection.
    const std::vector<TMyGantItem*>& SelectedItems();

private:
    TMyGant* FGant;
    std::vector<TMyGantItem*> FItems;
    std::vector<TMyGantItem*> FSelected;
};

class TMyGant : public TphGant {
    Q_OBJECT
public:
    explicit TMyGant(QWidget* parent = nullptr);
    ~TMyGant() override;

    TMyGantList* MyGantList() const { return FMyGantList; }
    std::function<void(TMyGantItem* Entity)> OnGantItemChangePos;
    // Kept for forms that assign it; nothing raises it.
    std::function<void(TMyGantItem* Entity)> OnGantItemChangeLength;

    void SyncChangedItems(TphGant* sender, TphDataEntity_GantTime* item);

private:
    TMyGantList* FMyGantList;
};
