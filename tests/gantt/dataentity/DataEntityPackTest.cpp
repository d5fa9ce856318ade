#include <gtest/gtest.h>

#include "gantt/phDataEntityPack.h"

namespace {

// Records the list events it receives.
struct Recorder {
    TphDataListEvents events;
    std::vector<int> virtualLoads;
    std::vector<TphDataEntity*> deleted;
    std::vector<bool> selectedWhenInserted;
    std::vector<std::tuple<int, int>> moves;
    int contentChanged = 0;
    int countChanged = 0;
    int selectionChanged = 0;
    std::function<bool(TphDataEntity*)> canUnload = [](TphDataEntity*) { return true; };

    Recorder() {
        events.VirtualLoad = [this](TphDataEntity* e) { virtualLoads.push_back(e->Index); };
        events.Deleted = [this](TphDataEntity* e) { deleted.push_back(e); };
        events.Inserted = [this](TphDataEntity* e) { selectedWhenInserted.push_back(e->Selected); };
        events.Moved = [this](TphDataEntity*, int from, int to) { moves.emplace_back(from, to); };
        events.ContentChanged = [this](TphDataList*) { ++contentChanged; };
        events.CountChanged = [this](TphDataList*) { ++countChanged; };
        events.SelectionChanged = [this](TphDataList*, TphDataEntity*) { ++selectionChanged; };
        events.CanUnload = [this](TphDataEntity* e, bool& ok) { ok = canUnload(e); };
    }
};

struct ListDeleter {
    void operator()(TphExposable* o) const { phRelease(o); }
};
template <class T> using Owned = std::unique_ptr<T, ListDeleter>;

Owned<TphDataList> makeList(Recorder& r) {
    Owned<TphDataList> list(new TphDataList);
    list->Init(&r.events, phFactory<TphDataEntity>());
    return list;
}

struct SelectedEntity : TphDataEntity {
    SelectedEntity() { Selected = true; }
};

} // namespace

TEST(DataList, LoadsOnDemandTowardsTheLoadedRun) {
    Recorder r;
    auto list = makeList(r);
    list->AddUnloaded(18);
    EXPECT_EQ(r.countChanged, 1);
    ASSERT_NE(list->Get(10), nullptr);
    ASSERT_NE(list->Get(12), nullptr);
    EXPECT_EQ(list->UnloadedBefore, 10);
    EXPECT_EQ(int(list->Loaded.size()), 3);
    EXPECT_EQ(list->UnloadedAfter, 5);
    EXPECT_EQ(list->Count(), 18);

    r.virtualLoads.clear();
    TphDataEntity* e = list->Get(2);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(r.virtualLoads, (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(list->UnloadedBefore, 2);
    EXPECT_EQ(e->GetIndex(), 2);
    EXPECT_EQ(list->Get(9)->GetIndex(), 9);
    EXPECT_EQ(e->Owner, list.get());
    EXPECT_TRUE(e->Visible);
    EXPECT_EQ(list->Get(-1), nullptr);
    EXPECT_EQ(list->Get(18), nullptr);
}

TEST(DataList, FarJumpFirstUnloadsWhatMayGo) {
    Recorder r;
    auto list = makeList(r);
    list->AddUnloaded(2000);
    for (int i = 0; i < 10; ++i)
        list->Get(i);
    list->Get(3)->SetSelected(true);
    r.virtualLoads.clear();
    TphDataEntity* far = list->Get(1500);
    ASSERT_NE(far, nullptr);
    EXPECT_EQ(r.deleted.size(), 10u);
    EXPECT_EQ(int(list->Loaded.size()), 1);
    EXPECT_EQ(list->UnloadedBefore, 1500);
    EXPECT_EQ(list->Count(), 2000);
    EXPECT_EQ(r.virtualLoads, std::vector<int>{1500});
    EXPECT_EQ(far->GetIndex(), 1500);

    // An entity that may not go keeps the run, which then has to grow up to the far position.
    Recorder r2;
    r2.canUnload = [](TphDataEntity* e) { return e->Index != 0; };
    auto list2 = makeList(r2);
    list2->AddUnloaded(2000);
    for (int i = 0; i < 10; ++i)
        list2->Get(i);
    ASSERT_NE(list2->Get(700), nullptr);
    EXPECT_EQ(r2.deleted.size(), 9u);
    EXPECT_EQ(list2->UnloadedBefore, 0);
    EXPECT_EQ(int(list2->Loaded.size()), 701);
    EXPECT_EQ(list2->Get(700)->GetIndex(), 700);
}

TEST(DataList, InsertDeleteAndMoveKeepIndexesRight) {
    Recorder r;
    auto list = makeList(r);
    list->AddUnloaded(10);
    list->Get(5);
    list->Get(6);
    // Deleting unloaded positions only shrinks the matching count.
    list->Delete(1);
    EXPECT_EQ(list->UnloadedBefore, 4);
    EXPECT_EQ(list->UnloadedAfter, 3);
    list->Delete(8);
    EXPECT_EQ(list->UnloadedAfter, 2);
    EXPECT_TRUE(r.deleted.empty());
    EXPECT_EQ(list->Count(), 8);
    EXPECT_EQ(list->Get(4)->GetIndex(), 4);

    TphDataEntity* a = list->Get(4);
    TphDataEntity* b = list->Get(5);
    TphDataEntity* inserted = list->InsertAt(5);
    EXPECT_EQ(inserted->GetIndex(), 5);
    EXPECT_EQ(b->GetIndex(), 6);
    EXPECT_EQ(a->GetIndex(), 4);
    EXPECT_EQ(list->Count(), 9);

    b->MoveTo(2);
    EXPECT_EQ(r.moves, (std::vector<std::tuple<int, int>>{{6, 2}}));
    EXPECT_EQ(b->GetIndex(), 2);
    EXPECT_EQ(a->GetIndex(), 5);
    EXPECT_EQ(inserted->GetIndex(), 6);
    EXPECT_EQ(list->Get(2), b);

    list->Remove(a);
    EXPECT_EQ(r.deleted.back(), a);
    EXPECT_EQ(inserted->GetIndex(), 5);
    EXPECT_EQ(list->Count(), 8);

    const int countEvents = r.countChanged;
    list->DeleteAll();
    EXPECT_EQ(list->Count(), 0);
    EXPECT_EQ(r.countChanged, countEvents + 1);
}

TEST(DataList, InsertRaisesInsertedBeforeRestoringSelection) {
    Recorder r;
    Owned<TphDataList> list(new TphDataList);
    list->Init(&r.events, phFactory<SelectedEntity>());
    TphDataEntity* e = list->Append();
    ASSERT_EQ(r.selectedWhenInserted.size(), 1u);
    EXPECT_FALSE(r.selectedWhenInserted[0]);
    EXPECT_TRUE(e->Selected);
    EXPECT_EQ(r.contentChanged, 1);

    // Selection and edit permission go through the events.
    e->SetSelected(true);
    EXPECT_EQ(r.selectionChanged, 0);
    e->SetSelected(false);
    EXPECT_EQ(r.selectionChanged, 1);
    r.events.BeforeCanEdit = [](TphDataEntity* x) { x->CanEdit = true; };
    EXPECT_TRUE(e->GetCanEdit());
}

TEST(DataList, ResetDeselectsAndUnloadsFromBothEnds) {
    Recorder r;
    r.canUnload = [](TphDataEntity* e) { return e->Index != 5; };
    auto list = makeList(r);
    list->AddUnloaded(10);
    for (int i = 2; i < 9; ++i)
        list->Get(i)->SetSelected(true);
    list->Reset();
    ASSERT_EQ(int(list->Loaded.size()), 1);
    EXPECT_EQ(list->Loaded[0]->Index, 5);
    EXPECT_FALSE(list->Loaded[0]->Selected);
    EXPECT_EQ(list->UnloadedBefore, 5);
    EXPECT_EQ(list->UnloadedAfter, 4);
}

// Unloading alone leaves the selection: an entity the handler holds on to (a selected one, here)
// stops the unloading at its end of the run.
TEST(DataList, UnloadKeepsSelectionsAndWhatMayNotGo) {
    Recorder r;
    r.canUnload = [](TphDataEntity* e) { return !e->Selected; };
    auto list = makeList(r);
    list->AddUnloaded(10);
    for (int i = 0; i < 10; ++i)
        list->Get(i);
    list->Get(7)->SetSelected(true);
    list->Unload();
    ASSERT_EQ(int(list->Loaded.size()), 1);
    EXPECT_EQ(list->Loaded[0]->Index, 7);
    EXPECT_TRUE(list->Loaded[0]->Selected);
    EXPECT_EQ(list->UnloadedBefore, 7);
    EXPECT_EQ(list->UnloadedAfter, 2);
    EXPECT_EQ(list->Count(), 10);
    EXPECT_EQ(r.deleted.size(), 9u);
    // What went is made again when asked for; what stayed is the same entity.
    TphDataEntity* kept = list->Loaded[0];
    r.virtualLoads.clear();
    list->Get(0);
    EXPECT_EQ(r.virtualLoads, std::vector<int>({0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(list->Get(7), kept);
}

namespace {

struct TestHost : TphGantRowHost {
    TphDataListEvents timeEvents;
    Owned<TphDataList3lev> all{new TphDataList3lev};
    std::vector<TGantRow*> beforeFree;
    std::vector<TGantRow*> added;
    std::vector<TGantRow*> cancelled;
    bool tree = false;
    TphDataListEvents* TimeItemEvents() override { return &timeEvents; }
    TphDataList3lev* AllLayers() override { return all.get(); }
    void AfterAddGantRow(TGantRow* row) override { added.push_back(row); }
    void BeforeFreeGantRow(TGantRow* row) override { beforeFree.push_back(row); }
    void CancelRowWork(TGantRow* row) override { cancelled.push_back(row); }
    bool ShowsTree() const override { return tree; }
    // Each item spans x 10*start .. 10*stop across the row's rectangle.
    QRect ItemRect(TphDataEntity_GantTime* item) override {
        TGantRow* row = item->Row();
        return QRect(int(item->StartTime * 10), row->Rect.top(), int((item->StopTime - item->StartTime) * 10),
                     row->Rect.height());
    }
};

} // namespace

TEST(GantRow, LayersAreCreatedOnDemandAndReleasedWithTheRow) {
    TestHost host;
    Owned<TGantRowList> rows(new TGantRowList(&host));
    auto* node = new TphDataEntity;
    TGantRow* row = rows->Add(nullptr, node);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(host.added, std::vector<TGantRow*>{row});
    EXPECT_EQ(host.all->Count(), 1);
    row->AddLayer();
    ASSERT_EQ(row->Layers->Count(), 1);
    ASSERT_NE(row->Layer(3), nullptr);
    EXPECT_EQ(row->Layers->Count(), 4);
    EXPECT_EQ(static_cast<TphDataList_GantRow*>(row->Layers->GetList(2))->Row, row);

    TphDataEntity_GantTime* item = row->AddTime(5);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(row->Layers->Count(), 6);
    EXPECT_EQ(item->Color, clWhite);
    EXPECT_EQ(item->Style, 0);
    EXPECT_TRUE(item->CanEdit);
    EXPECT_EQ(item->Row(), row);
    EXPECT_TRUE(row->AllowTimeMove && row->AllowRowMove && row->AllowResize && row->ShowSelection &&
                row->ShowFocus);

    int deleted = 0;
    host.timeEvents.Deleted = [&](TphDataEntity*) { ++deleted; };
    rows->RemoveFor(node);
    EXPECT_EQ(host.beforeFree, std::vector<TGantRow*>{row});
    EXPECT_EQ(host.cancelled.size(), 1u);
    EXPECT_EQ(host.all->Count(), 0);
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(rows->Count(), 0);
    phRelease(node);
}

TEST(GantRow, FindsRowsByNodeAndByY) {
    TestHost host;
    Owned<TGantRowList> rows(new TGantRowList(&host));
    std::vector<Owned<TphDataEntity>> gridNodes;
    for (int i = 0; i < 3; ++i)
        gridNodes.emplace_back(new TphDataEntity);
    Owned<TphDataEntity> treeNode(new TphDataEntity);
    std::vector<TGantRow*> r;
    for (int i = 0; i < 3; ++i) {
        r.push_back(rows->Add(nullptr, gridNodes[size_t(i)].get()));
        r.back()->Rect = QRect(0, i * 18, 300, 18);
    }
    TGantRow* treeRow = rows->Add(treeNode.get(), nullptr);
    treeRow->Rect = QRect(0, 0, 300, 18);
    EXPECT_EQ(rows->FindFor(gridNodes[1].get()), r[1]);
    EXPECT_EQ(rows->FindFor(treeNode.get()), treeRow);
    // Edges belong to no row: top < y < bottom.
    EXPECT_EQ(rows->RowAtY(18), nullptr);
    EXPECT_EQ(rows->RowAtY(19), r[1]);
    EXPECT_EQ(rows->RowAtY(53), r[2]);
    EXPECT_EQ(rows->RowAtY(54), nullptr);
    host.tree = true;
    EXPECT_EQ(rows->RowAtY(5), treeRow);

    // The item painted last is found first.
    auto* under = r[0]->AddTime(0);
    under->StartTime = 1;
    under->StopTime = 10;
    auto* over = r[0]->AddTime(1);
    over->StartTime = 5;
    over->StopTime = 8;
    EXPECT_EQ(r[0]->TimeAt(60, 5), over);
    EXPECT_EQ(r[0]->TimeAt(20, 5), under);
    EXPECT_EQ(r[0]->TimeAt(80, 5), under); // right edge of `over` is exclusive
    EXPECT_EQ(r[0]->TimeAt(200, 5), nullptr);
    rows->Clear();
    EXPECT_EQ(host.all->Count(), 0);
}

TEST(GantTime, DeletingAnItemDeletesItsLinksLastFirst) {
    TestHost host;
    Owned<TGantRowList> rows(new TGantRowList(&host));
    Owned<TphDataEntity> node(new TphDataEntity);
    TGantRow* row = rows->Add(nullptr, node.get());
    auto* a = row->AddTime(0);
    auto* b = row->AddTime(0);
    auto* c = row->AddTime(0);
    TphDataListEvents linkEvents;
    std::vector<TphDataEntity*> gone;
    linkEvents.Deleted = [&](TphDataEntity* e) { gone.push_back(e); };
    Owned<TphDataList> links(new TphDataList);
    links->Init(&linkEvents, phFactory<TphDataEntity_Link>());
    auto link = [&](TphDataEntity_GantTime* from, TphDataEntity_GantTime* to) {
        auto* l = static_cast<TphDataEntity_Link*>(links->Append());
        l->SetFromTime(from);
        l->SetToTime(to);
        return l;
    };
    auto* ab = link(a, b);
    auto* bc = link(b, c);
    auto* ca = link(c, a);
    auto* cb = link(c, b);
    EXPECT_EQ(b->Links().size(), 3u);

    row->Layer(0)->Remove(b);
    EXPECT_EQ(gone, (std::vector<TphDataEntity*>{cb, bc, ab}));
    ASSERT_EQ(links->Count(), 1);
    EXPECT_EQ(links->Get(0), ca);
    EXPECT_EQ(a->Links().size(), 1u);
    EXPECT_EQ(c->Links().size(), 1u);

    // A link with the same item at both ends goes once.
    auto* self = link(a, a);
    row->Layer(0)->Remove(a);
    EXPECT_EQ(links->Count(), 0);
    EXPECT_EQ(gone.back(), ca);
    EXPECT_EQ(gone[gone.size() - 2], self);
    EXPECT_TRUE(c->Links().empty());
}

TEST(Traverser, WalksLayersInEveryMode) {
    Recorder r;
    Owned<TphDataList2lev> layers(new TphDataList2lev);
    std::vector<Owned<TphDataList>> lists;
    // Layer sizes 2, 0, 3; entity UserValue = 10 * layer + position.
    for (int l = 0; l < 3; ++l) {
        lists.push_back(makeList(r));
        for (int k = 0; k < (l == 0 ? 2 : l == 1 ? 0 : 3); ++k)
            lists.back()->Append()->UserValue = 10 * l + k;
        layers->AddList(lists.back().get());
    }
    layers->AddList(lists[0].get());
    EXPECT_EQ(layers->Count(), 3);
    auto forward = [](TDataListTrav& t) {
        std::vector<int> v;
        for (t.First(); !t.Eof(); t.Next())
            v.push_back(t.Current()->UserValue);
        return v;
    };
    auto backward = [](TDataListTrav& t) {
        std::vector<int> v;
        for (t.Last(); !t.Bof(); t.Prior())
            v.push_back(t.Current()->UserValue);
        return v;
    };
    TDataListTrav all(layers.get());
    EXPECT_EQ(forward(all), (std::vector<int>{0, 1, 20, 21, 22}));
    EXPECT_EQ(backward(all), (std::vector<int>{22, 21, 20, 1, 0}));
    TDataListTrav wrapped(layers.get(), 2);
    EXPECT_EQ(forward(wrapped), (std::vector<int>{20, 21, 22, 0, 1}));
    TDataListTrav ordered(layers.get(), std::vector<int>{2, -1, 1, 0});
    EXPECT_EQ(forward(ordered), (std::vector<int>{20, 21, 22, 0, 1}));
    TDataListTrav one(lists[2].get());
    EXPECT_EQ(backward(one), (std::vector<int>{22, 21, 20}));

    Owned<TphDataList3lev> three(new TphDataList3lev);
    Owned<TphDataList2lev> second(new TphDataList2lev);
    second->AddList(lists[2].get());
    three->AddList(layers.get());
    three->AddList(second.get());
    TDataListTrav deep(three.get());
    EXPECT_EQ(forward(deep), (std::vector<int>{0, 1, 20, 21, 22, 20, 21, 22}));

    // A NeedList handler that claims success without adding a list does not hang.
    layers->NeedList = [](TphDataList2lev*, int, bool& handled) { handled = true; };
    EXPECT_EQ(layers->GetList(7), nullptr);
}

TEST(BeginUpdate, EndsOnlyWhatBegan) {
    int begins = 0, ends = 0;
    {
        TphBeginUpdate guard([&] { ++begins; }, [&] { ++ends; });
    }
    EXPECT_EQ(ends, 0);
    {
        TphBeginUpdate guard([&] { ++begins; }, [&] { ++ends; });
        guard.Begin();
        guard.Begin();
    }
    EXPECT_EQ(begins, 1);
    EXPECT_EQ(ends, 1);
}

TEST(TimeItemTexts, AddKeepsOffsetAndFontStyle) {
    TphTimeItemTextCollection texts;
    texts.Add("12", 0, -1, 0);
    TphTimeItemText* t = texts.Add("note", 100, 2, 3);
    EXPECT_EQ(texts.Count(), 2);
    EXPECT_EQ(t->Offset, QPoint(100, 3));
    EXPECT_EQ(t->FontStyle, 2);
    EXPECT_EQ(texts.Items(0)->Text, "12");
    EXPECT_EQ(texts.Items(2), nullptr);
}
