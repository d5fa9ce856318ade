#pragma once
// The Gantt engine's data: entities kept in lists that can load their contents on demand, lists of
// lists (the layers of a row), a traverser over them, time items, links, and the rows of the chart.
// Every change is reported through one shared record of list events, which the owning control turns
// into repaints and its own events.
#include <QHash>
#include <QPoint>
#include <QRect>
#include <QString>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "gantt/phColor.h"
#include "gantt/phTimeDistinctGeneric.h"
#include "platform/DateTime.h"

class QPainter;
class TphDataList;
class TphDataList2lev;
class TphDataList3lev;
class TphDataEntity;
class TphDataEntity_GantTime;
class TphDataEntity_Link;
class TphDataList_GantRow;
class TGantRow;
class TGantRowList;
class TphTimeItemTextCollection;

// Objects of the engine are released, not deleted: release runs the object's own clean-up first,
// while the object is still whole, and then frees it.
class TphExposable {
public:
    TphExposable() = default;
    TphExposable(const TphExposable&) = delete;
    TphExposable& operator=(const TphExposable&) = delete;
    virtual void CleanUp() {}
    void Release() {
        CleanUp();
        delete this;
    }

protected:
    virtual ~TphExposable() = default;
};

// Releases an object that may be absent.
inline void phRelease(TphExposable* object) {
    if (object) object->Release();
}

// One record per kind of content, shared by all lists of that kind; unassigned entries do nothing.
struct TphDataListEvents {
    std::function<void(TphDataEntity*)> Deleted;
    std::function<void(TphDataEntity*)> Inserted;
    std::function<void(TphDataEntity*, int oldIndex, int newIndex)> Moved;
    std::function<void(TphDataList*, TphDataEntity*)> SelectionChanged;
    std::function<void(TphDataList*)> ContentChanged;
    std::function<void(TphDataEntity*)> VisibleChanged;
    std::function<void(TphDataEntity*)> BeforeCanEdit;
    std::function<void(TphDataEntity*)> ValueChanged;
    std::function<void(TphDataEntity*)> VirtualLoad;
    std::function<void(TphDataEntity*, bool& canUnload)> CanUnload;
    std::function<void(TphDataList*)> CountChanged;
};

using TphDataEntityFactory = std::function<TphDataEntity*()>;

template <class T> TphDataEntityFactory phFactory() {
    return [] { return static_cast<TphDataEntity*>(new T); };
}

class TphDataEntity : public TphExposable {
public:
    TphDataList* Owner = nullptr;
    bool Selected = false;
    bool Visible = false;
    bool CanEdit = false;
    qint32 UserValue = 0;
    qint32 Index = 0;

    // Raises Deleted and ContentChanged on the owner, then leaves it.
    virtual void Detach();
    virtual void SetVisible(bool value);
    virtual bool GetVisible() const { return Visible; }
    virtual void AttachTo(TphDataList* list);

    void CleanUp() override { Detach(); }

    // The BeforeCanEdit handler may change CanEdit before it is read.
    bool GetCanEdit();
    void SetSelected(bool value);
    void NotifyValueChanged();
    void MoveTo(int newIndex);
    int GetIndex();

protected:
    TphDataListEvents* OwnerEvents() const;
};

// A list that holds a window of its entities in memory: positions before and after the loaded run
// exist but have no entity until asked for.
class TphDataList : public TphExposable {
public:
    static constexpr int DefaultMaxLoaded = 500;
    // A far jump that would hold more entities than this first lets go of what may go (Reset).
    int MaxLoaded = DefaultMaxLoaded;

    std::vector<TphDataEntity*> Loaded;
    int IndexDirtyFrom = 0;
    bool IndexDirty = false;
    int UnloadedBefore = 0;
    int UnloadedAfter = 0;
    // Shared, not owned: it must outlive the list, whose release still raises events.
    TphDataListEvents* Events = nullptr;
    TphDataEntityFactory Factory;

    TphDataList() = default;

    virtual void Clear();
    virtual void ReleaseEntity(TphDataEntity* entity);
    virtual void Init(TphDataListEvents* events, TphDataEntityFactory factory);
    // Unloaded positions always join the end of the list; `at` is kept for callers that name a place.
    virtual void AddUnloaded(int n, int at = -1);

    int Count() const { return int(Loaded.size()) + UnloadedBefore + UnloadedAfter; }
    bool IsLoaded(int i) const { return i >= UnloadedBefore && i < UnloadedBefore + int(Loaded.size()); }
    // The positions whose entities may lie in the times from..to, as runs (first, last) in the order
    // they are drawn: every position, unless a list that knows when its entities lie says fewer. A
    // chart asks for no other position of the list, so a long row of entities made on demand makes
    // only the ones on screen.
    virtual void PositionsInTimes(double from, double to, std::vector<std::pair<int, int>>& runs) const;
    // The entity at i, loading it when needed; nothing outside 0..Count-1.
    TphDataEntity* Get(int i);
    template <class T> T* GetAs(int i) { return static_cast<T*>(Get(i)); }
    // prepare, when given, sets the new entity up before the list tells anybody of it.
    using TPrepare = std::function<void(TphDataEntity*)>;
    TphDataEntity* Append(const TPrepare& prepare = {}) { return InsertAt(Count(), prepare); }
    TphDataEntity* InsertAt(int i, const TPrepare& prepare = {});
    void Delete(int i);
    void Remove(TphDataEntity* entity);
    void DeselectAll();
    // DeselectAll, then Unload.
    void Reset();
    // Lets go of loaded entities from the front while the CanUnload handler lets the first one go,
    // then from the back likewise; selections stay as they are.
    void Unload();
    void DeleteAll();

    void MarkIndexDirty(int from);
    void RefreshIndex();

    void CleanUp() override { Clear(); }

protected:
    TphDataEntity* CreateEntity();
    // Makes sure position i is in memory; with allowReset a far jump may first drop what may go.
    void Load(int i, bool allowReset);
    void UnloadFirst();
    void UnloadLast();
    bool AskCanUnload(TphDataEntity* entity);
    void RaiseContentChanged();
    void RaiseCountChanged();

    friend class TphDataEntity;
};

// An ordered list of lists; asking past the end may let the NeedList handler create the missing ones.
class TphDataList2lev : public TphExposable {
public:
    std::vector<TphDataList*> Lists;
    std::function<void(TphDataList2lev*, int index, bool& handled)> NeedList;

    int Count() const { return int(Lists.size()); }
    TphDataList* GetList(int i);
    void AddList(TphDataList* list);
    void RemoveList(TphDataList* list);
    void DeselectAll();
    // Forgets the lists; their owner releases them.
    void Clear() { Lists.clear(); }

    void CleanUp() override { Clear(); }
};

class TphDataList3lev : public TphExposable {
public:
    std::vector<TphDataList2lev*> Lists;

    int Count() const { return int(Lists.size()); }
    TphDataList2lev* GetList(int i) const { return i >= 0 && i < Count() ? Lists[size_t(i)] : nullptr; }
    void AddList(TphDataList2lev* list);
    void RemoveList(TphDataList2lev* list);
    void Clear() { Lists.clear(); }

    void CleanUp() override { Clear(); }
};

// Walks the entities of one list, of the layers of a two-level list or of every list of a three-level
// list. First and Last take a snapshot of the non-empty lists.
class TDataListTrav {
public:
    explicit TDataListTrav(TphDataList* list);
    explicit TDataListTrav(TphDataList2lev* list2lev, int startIndex = 0);
    // Layers in the given order; -1 (or an index without a layer) is skipped.
    TDataListTrav(TphDataList2lev* list2lev, std::vector<int> order);
    explicit TDataListTrav(TphDataList3lev* list3lev);

    void First();
    void Next();
    bool Eof() const { return FListIndex >= int(FSnapshot.size()); }
    void Last();
    void Prior();
    bool Bof() const { return FListIndex < 0; }
    TphDataEntity* Current() const;

private:
    void TakeSnapshot();

    enum class Kind { One, TwoLevel, TwoLevelOrdered, ThreeLevel } FKind;
    TphDataList* FList = nullptr;
    TphDataList2lev* FList2 = nullptr;
    TphDataList3lev* FList3 = nullptr;
    int FStartIndex = 0;
    std::vector<int> FOrder;
    std::vector<TphDataList*> FSnapshot;
    int FListIndex = 0;
    int FPos = 0;
};

// Scoped update guard: the end handler runs on destruction only when Begin was called.
class TphBeginUpdate {
public:
    TphBeginUpdate(std::function<void()> beginHandler, std::function<void()> endHandler)
        : FBegin(std::move(beginHandler)), FEnd(std::move(endHandler)) {}
    ~TphBeginUpdate() {
        if (FBegun && FEnd) FEnd();
    }
    TphBeginUpdate(const TphBeginUpdate&) = delete;
    TphBeginUpdate& operator=(const TphBeginUpdate&) = delete;
    void Begin() {
        if (FBegun) return;
        FBegun = true;
        if (FBegin) FBegin();
    }
    bool Begun() const { return FBegun; }

private:
    std::function<void()> FBegin;
    std::function<void()> FEnd;
    bool FBegun = false;
};

class TphTimeItemText {
public:
    // 2 and 3 select the second and third time-item font, anything else the first.
    int FontStyle = 0;
    QString Text;
    QPoint Offset;
};

class TphTimeItemTextCollection {
public:
    std::function<void(TphTimeItemTextCollection*, QPainter* canvas, int fontStyle)> SetFont;

    TphTimeItemText* Add(const QString& text, int x, int fontStyle, int y);
    int Count() const { return int(FItems.size()); }
    TphTimeItemText* Items(int i) const { return i >= 0 && i < Count() ? FItems[size_t(i)].get() : nullptr; }
    void Clear() { FItems.clear(); }

private:
    std::vector<std::unique_ptr<TphTimeItemText>> FItems;
};

class TphDataEntity_GantTime : public TphDataEntity {
public:
    TphDataEntity_GantTime();
    ~TphDataEntity_GantTime() override;

    kv::TDateTime StartTime = 0;
    kv::TDateTime StopTime = 0;
    quint8 Style = 0; // low 7 bits: drawing style 0..8
    TColor Color = clWhite;
    qint32 TopInset = 0;
    qint32 BottomInset = 0;
    qint32 FixedWidth = 0;
    qint32 ImageIndex = 0;
    qint32 SubRow = 0;
    // Created by the control when it inserts the item (or on first use); owned by the item.
    TphTimeItemTextCollection* Texts = nullptr;

    TphTimeItemTextCollection* EnsureTexts();
    TGantRow* Row() const;
    // Links that start or end here, kept so that deleting an item finds them without a search.
    const std::vector<TphDataEntity_Link*>& Links() const { return FLinks; }

    // Links go with either end, last link first, before the item leaves its list.
    void Detach() override;

private:
    std::vector<TphDataEntity_Link*> FLinks;
    friend class TphDataEntity_Link;
};

enum class TLinkStyle { tlsDefault, tlsMSProject, tlsUserDraw };

class TphDataEntity_Link : public TphDataEntity {
public:
    quint8 LinkKind = 0;
    TLinkStyle LinkStyle = TLinkStyle::tlsDefault;
    TColor LinkColor = clBlue;
    qint32 LinkPenWidth = 1;

    ~TphDataEntity_Link() override;

    TphDataEntity_GantTime* FromTime() const { return FFromTime; }
    TphDataEntity_GantTime* ToTime() const { return FToTime; }
    void SetFromTime(TphDataEntity_GantTime* item);
    void SetToTime(TphDataEntity_GantTime* item);
    // Stores the kind and repaints the area of the from-item's control.
    void SetLinkKind(quint8 kind);

    void CleanUp() override;

private:
    TphDataEntity_GantTime* FFromTime = nullptr;
    TphDataEntity_GantTime* FToTime = nullptr;
};

// What rows and their lists need of the Gantt control that owns them.
class TphGantRowHost {
public:
    virtual ~TphGantRowHost() = default;
    // A new, uninitialised list for one layer of a row.
    virtual TphDataList_GantRow* NewGantRowList();
    virtual TphDataListEvents* TimeItemEvents() = 0;
    virtual TphDataEntityFactory TimeItemFactory() { return phFactory<TphDataEntity_GantTime>(); }
    // The control's list of the layers of all rows.
    virtual TphDataList3lev* AllLayers() = 0;
    // OnUserCreateGantRow, or else the control's own row factory.
    virtual TGantRow* CreateGantRow(TphDataEntity* treeNode, TphDataEntity* gridNode);
    virtual void AfterAddGantRow(TGantRow*) {}
    virtual void BeforeFreeGantRow(TGantRow*) {}
    virtual bool ShowsTree() const { return false; }
    // The row a grid node keeps for itself, when it keeps one.
    virtual TGantRow* RowStoredIn(TphDataEntity*) { return nullptr; }
    // Rectangle of an item in the area; an empty rectangle when it cannot be placed.
    virtual QRect ItemRect(TphDataEntity_GantTime*) { return {}; }
    virtual void UpdateRowGeometry(TGantRow*) {}
    virtual void RelayoutRow(TGantRow*) {}
    // Cancels a pending re-layout and a running collision worker of the row.
    virtual void CancelRowWork(TGantRow*) {}
    virtual void InvalidateGantArea() {}
};

class TphDataList_GantRow : public TphDataList {
public:
    TGantRow* Row = nullptr;
    void Clear() override;
};

class TGantRow : public TphExposable {
public:
    TGantRow(TphGantRowHost* gant, TGantRowList* rowList);

    TphDataEntity* Node = nullptr;
    TphDataList2lev* Layers = nullptr;
    TphDataEntity* TreeNode = nullptr;
    TGantRowList* RowList = nullptr;
    TphGantRowHost* Gant = nullptr;
    int FirstLayer = 0;
    // Bottom is exclusive: the row covers y from Rect.top() to Rect.top() + Rect.height() - 1.
    QRect Rect;
    int SubRowCount = 0;
    std::vector<int> LayerBands;
    bool CollisionLayout = false;
    bool SharedCollisionKey = false;
    bool CollisionDeferred = false;
    std::unique_ptr<TTimeDistinctGenericThread> CollisionWorker; // run by the control's collision layout
    bool AllowTimeMove = true;
    bool AllowRowMove = true;
    bool AllowResize = true;
    bool ShowSelection = true;
    bool ShowFocus = true;
    TColor SelectionColor = clBlack;

    TphDataList_GantRow* AddLayer();
    TphDataList_GantRow* Layer(int i);
    // A new white, editable, style 0 item in the layer, creating the layers up to it.
    TphDataEntity_GantTime* AddTime(int layer);
    // The item painted last under the point.
    TphDataEntity_GantTime* TimeAt(int x, int y);
    void UpdateGeometry();
    void Relayout();

    void CleanUp() override;
};

class TGantRowList : public TphExposable {
public:
    explicit TGantRowList(TphGantRowHost* gant) : Gant(gant) {}

    TphGantRowHost* Gant;

    int Count() const { return int(FRows.size()); }
    TGantRow* Items(int i) const { return i >= 0 && i < Count() ? FRows[size_t(i)] : nullptr; }
    TGantRow* Add(TphDataEntity* treeNode, TphDataEntity* gridNode);
    void RemoveFor(TphDataEntity* node);
    TGantRow* FindFor(TphDataEntity* entity) const;
    TGantRow* RowAtY(int y) const;
    void Clear();

    void CleanUp() override { Clear(); }

private:
    std::vector<TGantRow*> FRows;
    QHash<TphDataEntity*, TGantRow*> FByTreeNode;
    QHash<TphDataEntity*, TGantRow*> FByNode;
};
