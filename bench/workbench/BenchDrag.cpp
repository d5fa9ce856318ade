#include "BenchDrag.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "frame/KvADO.h"
#include "gantt/MyGant.h"
#include "platform/DateTime.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"
#include "workbench/Krta07SMFUndo.h"

namespace {

const char* const kDoc = "BENCHDRAG01";

struct Node {
    QString path;
    int level;
};

// 1 top line, 5 children, 20 grandchildren and 4 great-grandchildren.
std::vector<Node> family() {
    std::vector<Node> nodes{{"01", 0}};
    for (int c = 1; c <= 5; ++c) {
        const QString child = QString("01%1").arg(c, 2, 10, QChar('0'));
        nodes.push_back({child, 1});
        for (int g = 1; g <= 4; ++g) {
            const QString grand = child + QString("%1").arg(g, 2, 10, QChar('0'));
            nodes.push_back({grand, 2});
            if (c == 1) nodes.push_back({grand + "01", 3});
        }
    }
    return nodes;
}

void exec(TKvADOConnection* c, const QString& sql, const QVariantList& values) {
    TKvADOQuery q;
    q.SetConnection(c);
    q.SetSQL(sql);
    for (int i = 0; i < values.size(); ++i)
        q.ParamByName(QString("P%1").arg(i)).SetValue(values[i]);
    q.ExecSQL();
}

} // namespace

QString BenchDrag(TfrmKrta07SM* wb, const QString& factory) {
    TdmKrta07S& dm = *wb->dmKrta07S;
    TKvADOConnection* c = dm.dbKrta07;
    // An item with resources, so every move recomputes real plan rows.
    TKvADOQuery items;
    items.SetConnection(c);
    items.SetSQL(dm.ExpandSQL("SELECT MC001 , MC002 FROM $$MPSMC ORDER BY MC001 "));
    items.Open();
    const QString item = items.FieldByName("MC001").AsString().trimmed();
    const QString resource = items.FieldByName("MC002").AsString().trimmed();

    // Each level ends after the next level up starts, so one drag of the top pulls every line.
    const kv::TDateTime base = kv::encodeDate(2026, 3, 1) + 40;
    const std::vector<Node> nodes = family();
    for (const Node& n : nodes) {
        const kv::TDateTime start = base - 4 * n.level, stop = start + 4;
        exec(c,
             dm.ExpandSQL(
                 "INSERT INTO $$MPSTB (TB001,TB002,TB003,TB051,TB004,TB005,TB037,TB006,TB046,TB036,"
                 "TB013,TB014,TB010,TB026,TB008,TB038,TB028,TB042,FLAG) VALUES (:P0,'00000','1','2201',"
                 ":P1,'0001',:P2,:P3,:P4,:P5,:P6,:P7,:P8,50,50,'N','','5101',0)"),
             {factory, kDoc, n.path, item, item, resource, Krta07DayText(start), Krta07DayText(stop),
              Krta07DayText(stop)});
        for (int k = 0; k < 5; ++k)
            exec(c,
                 dm.ExpandSQL(
                     "INSERT INTO $$MPSTC (TC001,TC002,TC009,TC003,TC004,TC005,TC006,TC007,TC008,FLAG) "
                     "VALUES (:P0,'1','2201',:P1,'0001',:P2,:P3,10,'',0)"),
                 {factory, kDoc, n.path, Krta07DayText(start + k)});
    }
    wb->SetQueryConditions({factory, "", "", "", ""});
    wb->LoadSchedule(factory);
    wb->RecomputeAllConsumption();
    const int top =
        int(wb->RowKeys().indexOf(TfrmKrta07SM::LineKeyOf({factory, "1", "2201", kDoc, "0001", "01"})));
    const int last = top + int(nodes.size()) - 1;
    TMyGantItem* topItem = wb->mgMPSTC->MyGantList()->Items(top);
    TMyGantItem* lastItem = wb->mgMPSTC->MyGantList()->Items(last);
    if (top < 0 || !topItem || !lastItem) {
        std::fprintf(stderr, "bench_workbench: the drag family was not loaded\n");
        return ", \"drag_family_ms\": -1";
    }
    wb->SelectRow(top);
    wb->FlushLoadChart();
    wb->chkUp->setChecked(true);
    wb->chkDown->setChecked(true);
    wb->UpdateLinkOptions();
    // Drags happen in edit mode, where each is a step the planner can take back.
    wb->btnEditClick();

    std::vector<double> times;
    const kv::TDateTime lastBefore = lastItem->Bar->StartTime;
    const int drags = 15;
    QElapsedTimer t;
    for (int k = 0; k < drags; ++k) {
        t.start();
        // What the chart does when the planner drops the bar two days earlier: a gesture from press to
        // release.
        wb->UndoHistory()->BeginGesture();
        topItem->Bar->StartTime -= 2;
        topItem->Bar->StopTime -= 2;
        wb->mgMPSTC->SyncChangedItems(wb->mgMPSTC, topItem->Bar);
        wb->UndoHistory()->EndGesture();
        wb->FlushLoadChart();
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    if (lastItem->Bar->StartTime >= lastBefore) {
        std::fprintf(stderr, "bench_workbench: the family did not follow the drag\n");
        return ", \"drag_family_ms\": -1";
    }
    std::sort(times.begin(), times.end());
    return QString(", \"drag_family_ms\": %1, \"drag_family_lines\": %2")
        .arg(times[times.size() / 2], 0, 'f', 2)
        .arg(nodes.size());
}
