// Deferred calls and the collision layout of rows.
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

#include "gantt/phDoLater.h"
#include "gantt/phGant.h"
#include "gantt/phGrid.h"
#include "gantt/phTimeDistinctGeneric.h"

namespace {

struct Counter {
    std::vector<qintptr> runs;
};

void record(void* object, qintptr param) {
    static_cast<Counter*>(object)->runs.push_back(param);
}

void requeue(void* object, qintptr param) {
    auto* c = static_cast<Counter*>(object);
    c->runs.push_back(param);
    if (param < 3) DoLater(requeue, object, param + 1);
}

} // namespace

TEST(DoLater, EqualRequestsCollapseAndCancelDropsThem) {
    Counter c;
    DoLater(record, &c, 1);
    DoLater(record, &c, 1);
    DoLater(record, &c, 2);
    EXPECT_TRUE(c.runs.empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(c.runs, std::vector<qintptr>({1, 2}));
    Counter d;
    DoLater(record, &d, 5);
    CancelDoLater(record, &d);
    QCoreApplication::processEvents();
    EXPECT_TRUE(d.runs.empty());
    // A running request may queue another one, also for itself.
    DoLater(requeue, &d, 1);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(d.runs, std::vector<qintptr>({1, 2, 3}));
    EXPECT_EQ(DoLaterPending(), 0);
}

TEST(Collision, BandAssignment) {
    auto holder = [](double a, double b, const char* key = "") {
        TDistinctTimeHolder h;
        h.Start = a;
        h.Stop = b;
        h.Key = QString::fromLatin1(key);
        return h;
    };
    std::vector<TDistinctTimeHolder> hs = {holder(0, 10), holder(1, 11), holder(2, 12), holder(20, 21)};
    TTimeDistinctGeneric::Assign(hs);
    // Placed from the last colliding pair backwards: the third is placed first.
    EXPECT_EQ(hs[2].Band, 1);
    EXPECT_EQ(hs[1].Band, 2);
    EXPECT_EQ(hs[0].Band, 3);
    EXPECT_EQ(hs[3].Band, 0);
    // Touching intervals and different keys do not collide.
    std::vector<TDistinctTimeHolder> ts = {holder(0, 5), holder(5, 10), holder(2, 3, "other")};
    TTimeDistinctGeneric::Assign(ts);
    EXPECT_EQ(ts[0].Band, 0);
    EXPECT_EQ(ts[1].Band, 0);
    EXPECT_EQ(ts[2].Band, 0);
}

TEST(Collision, RowLayoutRunsOnAWorkerAndSplitsTheRow) {
    TphGant g;
    g.resize(600, 200);
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    g.SetStart(100);
    g.SetStop(110);
    TGantRow* row = g.RowOfNode(g.GridTree()->AddNode(nullptr));
    row->CollisionLayout = true;
    std::vector<TphDataEntity_GantTime*> items;
    for (double s : {101.0, 101.5, 102.0, 107.0}) {
        TphDataEntity_GantTime* item = row->AddTime(0);
        item->StartTime = s;
        item->StopTime = s + 2;
        items.push_back(item);
    }
    items[3]->StopTime = 108;
    // Changing times re-lays the row out.
    items[0]->NotifyValueChanged();
    ASSERT_TRUE(QTest::qWaitFor([&] { return row->SubRowCount == 3 && !row->CollisionWorker; }, 3000));
    EXPECT_EQ(items[2]->SubRow, 1);
    EXPECT_EQ(items[1]->SubRow, 2);
    EXPECT_EQ(items[0]->SubRow, 3);
    EXPECT_EQ(items[3]->SubRow, 0);
    g.GantArea()->repaint();
    g.UpdateAllGeometry();
    // The lone item takes the full row; the others a third each.
    EXPECT_EQ(g.ItemRect(items[3]).height(), row->Rect.height() - 2);
    EXPECT_EQ(g.ItemRect(items[0]).height(), (row->Rect.height() - 2) / 3);
    // A handler may choose the band.
    g.OnCollisionDetected = [](TphGant*, TphDataEntity_GantTime*, int& band) { band = band == 3 ? 1 : band; };
    items[3]->StartTime = 102.5;
    items[3]->NotifyValueChanged();
    ASSERT_TRUE(QTest::qWaitFor([&] { return items[3]->SubRow != 0 && !row->CollisionWorker; }, 3000));
    for (TphDataEntity_GantTime* item : items)
        EXPECT_NE(item->SubRow, 3);
    // Releasing the row cancels its pending work.
    row->Relayout();
    g.GridTree()->Clear();
    QCoreApplication::processEvents();
    EXPECT_EQ(g.RowList()->Count(), 0);
}

TEST(Collision, RowsBeyondFiftyWorkersWaitForAQuietMoment) {
    TphGant g;
    TGantRow* busy = g.RowOfNode(g.GridTree()->AddNode(nullptr));
    TGantRow* other = g.RowOfNode(g.GridTree()->AddNode(nullptr));
    for (TGantRow* row : {busy, other})
        for (double s : {1.0, 1.5}) {
            TphDataEntity_GantTime* item = row->AddTime(0);
            item->StartTime = s;
            item->StopTime = s + 1;
        }
    // Fifty workers exist (never started): the next row must wait.
    std::vector<std::unique_ptr<TTimeDistinctGenericThread>> workers;
    while (TTimeDistinctGenericThread::WorkerCount() < TTimeDistinctGenericThread::MaxWorkers)
        workers.push_back(std::make_unique<TTimeDistinctGenericThread>());
    busy->CollisionLayout = true;
    g.UpdateSubColumns(busy);
    EXPECT_FALSE(busy->CollisionLayout);
    EXPECT_TRUE(busy->CollisionDeferred);
    EXPECT_TRUE(g.SomeRowsDeferred());
    workers.clear();
    // When another row's worker finishes with few workers left, the waiting row is laid out.
    other->CollisionLayout = true;
    g.UpdateSubColumns(other);
    ASSERT_TRUE(QTest::qWaitFor([&] { return busy->SubRowCount == 2 && other->SubRowCount == 2; }, 3000));
    EXPECT_TRUE(busy->CollisionLayout);
    EXPECT_FALSE(busy->CollisionDeferred);
}
