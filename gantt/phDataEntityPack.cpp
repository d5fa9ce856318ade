#include "gantt/phDataEntityPack.h"

#include <algorithm>

// ---------------------------------------------------------------------------------------------
// TphDataEntity

TphDataListEvents* TphDataEntity::OwnerEvents() const {
    return Owner ? Owner->Events : nullptr;
}

void TphDataEntity::Detach() {
    TphDataList* owner = Owner;
    if (!owner) return;
    if (TphDataListEvents* ev = owner->Events) {
        if (ev->Deleted) ev->Deleted(this);
        if (ev->ContentChanged) ev->ContentChanged(owner);
    }
    Owner = nullptr;
}

void TphDataEntity::SetVisible(bool value) {
    if (Visible == value) return;
    Visible = value;
    if (TphDataListEvents* ev = OwnerEvents(); ev && ev->VisibleChanged) ev->VisibleChanged(this);
}

void TphDataEntity::AttachTo(TphDataList* list) {
    Owner = list;
    Visible = true;
}

bool TphDataEntity::GetCanEdit() {
    if (TphDataListEvents* ev = OwnerEvents(); ev && ev->BeforeCanEdit) ev->BeforeCanEdit(this);
    return CanEdit;
}

void TphDataEntity::SetSelected(bool value) {
    if (Selected == value) return;
    Selected = value;
    if (TphDataListEvents* ev = OwnerEvents(); ev && ev->SelectionChanged) ev->SelectionChanged(Owner, this);
}

void TphDataEntity::NotifyValueChanged() {
    if (TphDataListEvents* ev = OwnerEvents(); ev && ev->ValueChanged) ev->ValueChanged(this);
}

void TphDataEntity::MoveTo(int newIndex) {
    TphDataList* owner = Owner;
    if (!owner || newIndex < 0 || newIndex >= owner->Count()) return;
    const int oldIndex = GetIndex();
    if (oldIndex == newIndex) return;
    // Never drop entities here: this one must stay in memory while it moves.
    owner->Load(newIndex, false);
    auto& loaded = owner->Loaded;
    loaded.erase(loaded.begin() + (oldIndex - owner->UnloadedBefore));
    loaded.insert(loaded.begin() + (newIndex - owner->UnloadedBefore), this);
    owner->MarkIndexDirty(std::min(oldIndex, newIndex));
    if (TphDataListEvents* ev = owner->Events; ev && ev->Moved) ev->Moved(this, oldIndex, newIndex);
}

int TphDataEntity::GetIndex() {
    if (Owner && Owner->IndexDirty) Owner->RefreshIndex();
    return Index;
}

// ---------------------------------------------------------------------------------------------
// TphDataList

void TphDataList::Init(TphDataListEvents* events, TphDataEntityFactory factory) {
    Events = events;
    Factory = std::move(factory);
    Loaded.clear();
    MarkIndexDirty(0);
}

void TphDataList::ReleaseEntity(TphDataEntity* entity) {
    phRelease(entity);
}

void TphDataList::Clear() {
    const bool hadEntries = Count() > 0;
    std::vector<TphDataEntity*> old;
    old.swap(Loaded);
    UnloadedBefore = 0;
    UnloadedAfter = 0;
    MarkIndexDirty(0);
    for (auto it = old.rbegin(); it != old.rend(); ++it)
        ReleaseEntity(*it);
    if (hadEntries) RaiseCountChanged();
}

void TphDataList::PositionsInTimes(double, double, std::vector<std::pair<int, int>>& runs) const {
    runs.clear();
    if (Count() > 0) runs.emplace_back(0, Count() - 1);
}

void TphDataList::AddUnloaded(int n, int /*at*/) {
    if (n <= 0) return;
    UnloadedAfter += n;
    RaiseContentChanged();
    RaiseCountChanged();
}

void TphDataList::RaiseContentChanged() {
    if (Events && Events->ContentChanged) Events->ContentChanged(this);
}

void TphDataList::RaiseCountChanged() {
    if (Events && Events->CountChanged) Events->CountChanged(this);
}

TphDataEntity* TphDataList::CreateEntity() {
    return Factory ? Factory() : new TphDataEntity;
}

bool TphDataList::AskCanUnload(TphDataEntity* entity) {
    bool canUnload = false;
    if (Events && Events->CanUnload) Events->CanUnload(entity, canUnload);
    return canUnload;
}

void TphDataList::UnloadFirst() {
    TphDataEntity* e = Loaded.front();
    Loaded.erase(Loaded.begin());
    ++UnloadedBefore;
    if (Loaded.empty()) {
        UnloadedAfter += UnloadedBefore;
        UnloadedBefore = 0;
    }
    ReleaseEntity(e);
}

void TphDataList::UnloadLast() {
    TphDataEntity* e = Loaded.back();
    Loaded.pop_back();
    ++UnloadedAfter;
    if (Loaded.empty()) {
        UnloadedAfter += UnloadedBefore;
        UnloadedBefore = 0;
    }
    ReleaseEntity(e);
}

void TphDataList::Reset() {
    DeselectAll();
    Unload();
}

void TphDataList::Unload() {
    while (!Loaded.empty() && AskCanUnload(Loaded.front()))
        UnloadFirst();
    while (!Loaded.empty() && AskCanUnload(Loaded.back()))
        UnloadLast();
}

void TphDataList::Load(int i, bool allowReset) {
    bool mayReset = allowReset;
    for (;;) {
        if (IsLoaded(i)) return;
        if (Loaded.empty()) {
            const int count = Count();
            UnloadedBefore = i;
            UnloadedAfter = count - i;
        }
        const bool front = i < UnloadedBefore;
        const int from = front ? i : UnloadedBefore + int(Loaded.size());
        const int to = front ? UnloadedBefore - 1 : i;
        if (mayReset && (to - from + 1) + int(Loaded.size()) > MaxLoaded) {
            mayReset = false;
            Reset();
            if (Loaded.empty()) {
                const int count = Count();
                const int at = std::min(i, count - 1);
                UnloadedBefore = at;
                UnloadedAfter = count - at;
            }
            continue;
        }
        std::vector<TphDataEntity*> created;
        created.reserve(size_t(to - from + 1));
        if (front) {
            for (int p = to; p >= from; --p) {
                TphDataEntity* e = CreateEntity();
                e->AttachTo(this);
                e->Index = p;
                Loaded.insert(Loaded.begin(), e);
                created.push_back(e);
            }
            UnloadedBefore = std::max(0, UnloadedBefore - int(created.size()));
            std::reverse(created.begin(), created.end());
        } else {
            for (int p = from; p <= to; ++p) {
                TphDataEntity* e = CreateEntity();
                e->AttachTo(this);
                e->Index = p;
                Loaded.push_back(e);
                created.push_back(e);
            }
            UnloadedAfter = std::max(0, UnloadedAfter - int(created.size()));
        }
        if (Events && Events->VirtualLoad)
            for (TphDataEntity* e : created)
                Events->VirtualLoad(e);
        return;
    }
}

TphDataEntity* TphDataList::Get(int i) {
    if (i < 0 || i >= Count()) return nullptr;
    Load(i, true);
    return IsLoaded(i) ? Loaded[size_t(i - UnloadedBefore)] : nullptr;
}

TphDataEntity* TphDataList::InsertAt(int i, const TPrepare& prepare) {
    if (i < 0 || i > Count()) return nullptr;
    if (i < Count())
        Load(i, true);
    else if (i > 0)
        Load(i - 1, true);
    if (Loaded.empty()) {
        // Only reachable on an empty list; keep the new entity's position exact anyway.
        const int count = Count();
        UnloadedBefore = i;
        UnloadedAfter = count - i;
    }
    TphDataEntity* e = CreateEntity();
    if (prepare) prepare(e);
    const bool selected = e->Selected;
    e->Selected = false;
    e->AttachTo(this);
    Loaded.insert(Loaded.begin() + (i - UnloadedBefore), e);
    e->Index = i;
    MarkIndexDirty(i);
    if (Events) {
        if (Events->Inserted) Events->Inserted(e);
        if (Events->ContentChanged) Events->ContentChanged(this);
    }
    e->Selected = selected;
    return e;
}

void TphDataList::Delete(int i) {
    if (i < 0 || i >= Count()) return;
    if (IsLoaded(i)) {
        TphDataEntity* e = Loaded[size_t(i - UnloadedBefore)];
        Loaded.erase(Loaded.begin() + (i - UnloadedBefore));
        if (Loaded.empty()) {
            UnloadedAfter += UnloadedBefore;
            UnloadedBefore = 0;
        }
        MarkIndexDirty(i);
        ReleaseEntity(e);
    } else if (i < UnloadedBefore) {
        --UnloadedBefore;
        // Every loaded entity moved up by one position.
        MarkIndexDirty(0);
    } else {
        --UnloadedAfter;
    }
}

void TphDataList::Remove(TphDataEntity* entity) {
    if (entity && entity->Owner == this) Delete(entity->GetIndex());
}

void TphDataList::DeselectAll() {
    // A handler may change the list; walk a copy.
    const std::vector<TphDataEntity*> loaded = Loaded;
    for (TphDataEntity* e : loaded)
        e->SetSelected(false);
}

void TphDataList::DeleteAll() {
    for (int k = int(Loaded.size()) - 1; k >= 0; --k)
        if (k < int(Loaded.size())) Delete(UnloadedBefore + k);
    Loaded.clear();
    UnloadedBefore = 0;
    UnloadedAfter = 0;
    MarkIndexDirty(0);
    RaiseCountChanged();
}

void TphDataList::MarkIndexDirty(int from) {
    if (!IndexDirty || from < IndexDirtyFrom) {
        IndexDirtyFrom = std::max(0, from);
        IndexDirty = true;
    }
}

void TphDataList::RefreshIndex() {
    const int n = int(Loaded.size());
    for (int k = std::max(0, IndexDirtyFrom - UnloadedBefore); k < n; ++k)
        Loaded[size_t(k)]->Index = UnloadedBefore + k;
    IndexDirty = false;
    IndexDirtyFrom = Count();
}

// ---------------------------------------------------------------------------------------------
// Lists of lists

TphDataList* TphDataList2lev::GetList(int i) {
    if (i < 0) return nullptr;
    while (i >= Count() && NeedList) {
        const int before = Count();
        bool handled = false;
        NeedList(this, i, handled);
        // A handler that claims success without adding anything would loop for ever.
        if (!handled || Count() == before) break;
    }
    return i < Count() ? Lists[size_t(i)] : nullptr;
}

void TphDataList2lev::AddList(TphDataList* list) {
    if (list && std::find(Lists.begin(), Lists.end(), list) == Lists.end()) Lists.push_back(list);
}

void TphDataList2lev::RemoveList(TphDataList* list) {
    Lists.erase(std::remove(Lists.begin(), Lists.end(), list), Lists.end());
}

void TphDataList2lev::DeselectAll() {
    for (TphDataList* l : Lists)
        l->DeselectAll();
}

void TphDataList3lev::AddList(TphDataList2lev* list) {
    if (list && std::find(Lists.begin(), Lists.end(), list) == Lists.end()) Lists.push_back(list);
}

void TphDataList3lev::RemoveList(TphDataList2lev* list) {
    // AddList keeps a list at most once; rows usually go last first, so search from the back.
    auto it = std::find(Lists.rbegin(), Lists.rend(), list);
    if (it != Lists.rend()) Lists.erase(std::next(it).base());
}

// ---------------------------------------------------------------------------------------------
// TDataListTrav

TDataListTrav::TDataListTrav(TphDataList* list) : FKind(Kind::One), FList(list) {}

TDataListTrav::TDataListTrav(TphDataList2lev* list2lev, int startIndex)
    : FKind(Kind::TwoLevel), FList2(list2lev), FStartIndex(startIndex) {}

TDataListTrav::TDataListTrav(TphDataList2lev* list2lev, std::vector<int> order)
    : FKind(Kind::TwoLevelOrdered), FList2(list2lev), FOrder(std::move(order)) {}

TDataListTrav::TDataListTrav(TphDataList3lev* list3lev) : FKind(Kind::ThreeLevel), FList3(list3lev) {}

void TDataListTrav::TakeSnapshot() {
    FSnapshot.clear();
    auto take = [this](TphDataList* l) {
        if (l && l->Count() > 0) FSnapshot.push_back(l);
    };
    switch (FKind) {
    case Kind::One:
        take(FList);
        break;
    case Kind::TwoLevel: {
        if (!FList2) break;
        const int n = FList2->Count();
        const int start = std::clamp(FStartIndex, 0, std::max(0, n));
        for (int k = start; k < n; ++k)
            take(FList2->Lists[size_t(k)]);
        for (int k = 0; k < start && k < n; ++k)
            take(FList2->Lists[size_t(k)]);
        break;
    }
    case Kind::TwoLevelOrdered:
        if (!FList2) break;
        for (int k : FOrder)
            if (k >= 0 && k < FList2->Count()) take(FList2->Lists[size_t(k)]);
        break;
    case Kind::ThreeLevel:
        if (!FList3) break;
        for (TphDataList2lev* l2 : FList3->Lists)
            for (TphDataList* l : l2->Lists)
                take(l);
        break;
    }
}

void TDataListTrav::First() {
    TakeSnapshot();
    FListIndex = 0;
    FPos = 0;
}

void TDataListTrav::Next() {
    if (Eof()) return;
    ++FPos;
    while (FListIndex < int(FSnapshot.size()) && FPos >= FSnapshot[size_t(FListIndex)]->Count()) {
        ++FListIndex;
        FPos = 0;
    }
}

void TDataListTrav::Last() {
    TakeSnapshot();
    FListIndex = int(FSnapshot.size()) - 1;
    FPos = FListIndex >= 0 ? FSnapshot[size_t(FListIndex)]->Count() - 1 : 0;
}

void TDataListTrav::Prior() {
    if (Bof()) return;
    --FPos;
    while (FPos < 0) {
        --FListIndex;
        if (FListIndex < 0) break;
        FPos = FSnapshot[size_t(FListIndex)]->Count() - 1;
    }
}

TphDataEntity* TDataListTrav::Current() const {
    if (FListIndex < 0 || FListIndex >= int(FSnapshot.size())) return nullptr;
    return FSnapshot[size_t(FListIndex)]->Get(FPos);
}

// ---------------------------------------------------------------------------------------------
// Time items, their texts and links

TphTimeItemText* TphTimeItemTextCollection::Add(const QString& text, int x, int fontStyle, int y) {
    auto item = std::make_unique<TphTimeItemText>();
    item->Text = text;
    item->Offset = QPoint(x, y);
    item->FontStyle = fontStyle;
    FItems.push_back(std::move(item));
    return FItems.back().get();
}

TphDataEntity_GantTime::TphDataEntity_GantTime() = default;

TphDataEntity_GantTime::~TphDataEntity_GantTime() {
    // Links left over by a path that skipped Detach must not point here any more.
    for (TphDataEntity_Link* link : std::vector<TphDataEntity_Link*>(FLinks)) {
        if (link->FromTime() == this) link->SetFromTime(nullptr);
        if (link->ToTime() == this) link->SetToTime(nullptr);
    }
    delete Texts;
}

TphTimeItemTextCollection* TphDataEntity_GantTime::EnsureTexts() {
    if (!Texts) Texts = new TphTimeItemTextCollection;
    return Texts;
}

TGantRow* TphDataEntity_GantTime::Row() const {
    auto* list = dynamic_cast<TphDataList_GantRow*>(Owner);
    return list ? list->Row : nullptr;
}

void TphDataEntity_GantTime::Detach() {
    if (!FLinks.empty()) {
        std::vector<TphDataEntity_Link*> links = FLinks;
        std::vector<std::pair<int, TphDataEntity_Link*>> byIndex;
        byIndex.reserve(links.size());
        for (TphDataEntity_Link* link : links)
            byIndex.emplace_back(link->Owner ? link->GetIndex() : -1, link);
        std::sort(byIndex.begin(), byIndex.end(),
                  [](const auto& a, const auto& b) { return a.first > b.first; });
        for (auto& [index, link] : byIndex) {
            // A link may have gone with an earlier one (the same link at both ends).
            if (std::find(FLinks.begin(), FLinks.end(), link) == FLinks.end()) continue;
            if (link->Owner)
                link->Owner->Delete(link->GetIndex());
            else {
                link->SetFromTime(link->FromTime() == this ? nullptr : link->FromTime());
                link->SetToTime(link->ToTime() == this ? nullptr : link->ToTime());
            }
        }
    }
    TphDataEntity::Detach();
}

TphDataEntity_Link::~TphDataEntity_Link() {
    SetFromTime(nullptr);
    SetToTime(nullptr);
}

static void unregisterLink(TphDataEntity_GantTime* item, TphDataEntity_Link* link,
                           std::vector<TphDataEntity_Link*>& links) {
    if (!item) return;
    auto it = std::find(links.begin(), links.end(), link);
    if (it != links.end()) links.erase(it);
}

void TphDataEntity_Link::SetFromTime(TphDataEntity_GantTime* item) {
    if (FFromTime == item) return;
    if (FFromTime && FFromTime != FToTime) unregisterLink(FFromTime, this, FFromTime->FLinks);
    FFromTime = item;
    if (item && item != FToTime) item->FLinks.push_back(this);
}

void TphDataEntity_Link::SetToTime(TphDataEntity_GantTime* item) {
    if (FToTime == item) return;
    if (FToTime && FToTime != FFromTime) unregisterLink(FToTime, this, FToTime->FLinks);
    FToTime = item;
    if (item && item != FFromTime) item->FLinks.push_back(this);
}

void TphDataEntity_Link::SetLinkKind(quint8 kind) {
    LinkKind = kind;
    if (FFromTime)
        if (TGantRow* row = FFromTime->Row(); row && row->Gant) row->Gant->InvalidateGantArea();
}

void TphDataEntity_Link::CleanUp() {
    TphDataEntity::CleanUp();
    SetFromTime(nullptr);
    SetToTime(nullptr);
}

// ---------------------------------------------------------------------------------------------
// Rows

TphDataList_GantRow* TphGantRowHost::NewGantRowList() {
    return new TphDataList_GantRow;
}

TGantRow* TphGantRowHost::CreateGantRow(TphDataEntity*, TphDataEntity*) {
    return new TGantRow(this, nullptr);
}

void TphDataList_GantRow::Clear() {
    Row = nullptr;
    TphDataList::Clear();
}

TGantRow::TGantRow(TphGantRowHost* gant, TGantRowList* rowList) : RowList(rowList), Gant(gant) {
    Layers = new TphDataList2lev;
    Layers->NeedList = [this](TphDataList2lev* layers, int index, bool& handled) {
        while (layers->Count() <= index)
            if (!AddLayer()) return;
        handled = true;
    };
    // A new list cannot be there yet: append without AddList's search, which is linear in the rows.
    if (Gant)
        if (TphDataList3lev* all = Gant->AllLayers()) all->Lists.push_back(Layers);
}

TphDataList_GantRow* TGantRow::AddLayer() {
    if (!Gant || !Layers) return nullptr;
    TphDataList_GantRow* list = Gant->NewGantRowList();
    list->Init(Gant->TimeItemEvents(), Gant->TimeItemFactory());
    list->Row = this;
    Layers->AddList(list);
    return list;
}

TphDataList_GantRow* TGantRow::Layer(int i) {
    return Layers ? static_cast<TphDataList_GantRow*>(Layers->GetList(i)) : nullptr;
}

TphDataEntity_GantTime* TGantRow::AddTime(int layer) {
    TphDataList_GantRow* list = Layer(layer);
    if (!list) return nullptr;
    // Set before the insertion is told, so that its handlers see them and may change them.
    return static_cast<TphDataEntity_GantTime*>(list->Append([](TphDataEntity* e) {
        auto* item = static_cast<TphDataEntity_GantTime*>(e);
        item->Color = clWhite;
        item->Style = 0;
        item->CanEdit = true;
    }));
}

TphDataEntity_GantTime* TGantRow::TimeAt(int x, int y) {
    if (!Layers || !Gant) return nullptr;
    for (int l = Layers->Count() - 1; l >= 0; --l) {
        TphDataList* list = Layers->Lists[size_t(l)];
        for (int k = list->Count() - 1; k >= 0; --k) {
            auto* item = static_cast<TphDataEntity_GantTime*>(list->Get(k));
            if (!item) continue;
            const QRect r = Gant->ItemRect(item);
            if (r.width() > 0 && r.height() > 0 && x >= r.left() && x < r.left() + r.width() &&
                y >= r.top() && y < r.top() + r.height())
                return item;
        }
    }
    return nullptr;
}

void TGantRow::UpdateGeometry() {
    if (Gant) Gant->UpdateRowGeometry(this);
}

void TGantRow::Relayout() {
    if (Gant) Gant->RelayoutRow(this);
}

void TGantRow::CleanUp() {
    if (Gant) {
        Gant->CancelRowWork(this);
        if (TphDataList3lev* all = Gant->AllLayers()) all->RemoveList(Layers);
    }
    if (Layers) {
        std::vector<TphDataList*> lists = Layers->Lists;
        Layers->Clear();
        for (auto it = lists.rbegin(); it != lists.rend(); ++it)
            phRelease(*it);
        Layers->Release();
        Layers = nullptr;
    }
}

TGantRow* TGantRowList::Add(TphDataEntity* treeNode, TphDataEntity* gridNode) {
    TGantRow* row = Gant ? Gant->CreateGantRow(treeNode, gridNode) : new TGantRow(nullptr, this);
    if (!row) return nullptr;
    row->RowList = this;
    row->TreeNode = treeNode;
    row->Node = gridNode;
    FRows.push_back(row);
    if (treeNode) FByTreeNode.insert(treeNode, row);
    if (gridNode) FByNode.insert(gridNode, row);
    if (Gant) Gant->AfterAddGantRow(row);
    return row;
}

TGantRow* TGantRowList::FindFor(TphDataEntity* entity) const {
    if (!entity) return nullptr;
    // The hashes are kept by Add and RemoveFor; a row whose node was changed by hand is still found.
    if (TGantRow* row = FByTreeNode.value(entity); row && row->TreeNode == entity) return row;
    if (Gant)
        if (TGantRow* row = Gant->RowStoredIn(entity)) return row;
    if (TGantRow* row = FByNode.value(entity); row && row->Node == entity) return row;
    for (TGantRow* row : FRows)
        if (row->TreeNode == entity || row->Node == entity) return row;
    return nullptr;
}

void TGantRowList::RemoveFor(TphDataEntity* node) {
    TGantRow* row = FindFor(node);
    if (!row) return;
    if (Gant) Gant->BeforeFreeGantRow(row);
    // Rows are usually removed last first (clearing), so search from the back.
    auto it = std::find(FRows.rbegin(), FRows.rend(), row);
    if (it != FRows.rend()) FRows.erase(std::next(it).base());
    if (row->TreeNode && FByTreeNode.value(row->TreeNode) == row) FByTreeNode.remove(row->TreeNode);
    if (row->Node && FByNode.value(row->Node) == row) FByNode.remove(row->Node);
    row->Release();
}

TGantRow* TGantRowList::RowAtY(int y) const {
    const bool tree = Gant && Gant->ShowsTree();
    for (TGantRow* row : FRows) {
        if (!(tree ? row->TreeNode : row->Node)) continue;
        if (row->Rect.top() < y && y < row->Rect.top() + row->Rect.height()) return row;
    }
    return nullptr;
}

void TGantRowList::Clear() {
    std::vector<TGantRow*> rows;
    rows.swap(FRows);
    FByTreeNode.clear();
    FByNode.clear();
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        (*it)->Release();
}
