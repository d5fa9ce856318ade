// The populate-and-paint measurement of bench_gantt on KGantt: 20,000 rows, each a multi-item row
// with its bar and 20 day items labelled with the day's quantity. Prints the same JSON keys.
// KGantt has no in-place day cells that follow a dragged bar, so drag_ms times moving the bar's
// model data by a day and repainting.
#include <KGantt/KGanttDateTimeGrid>
#include <KGantt/KGanttGlobal>
#include <KGantt/KGanttGraphicsView>
#include <KGantt/KGanttView>
#include <QApplication>
#include <QGraphicsScene>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTreeView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

long residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// KGantt reads a row from four columns: name, item type, start (StartTimeRole), end (EndTimeRole).
QList<QStandardItem*> task(const QDateTime& start, const QDateTime& end, const QString& text, int type) {
    auto* typeItem = new QStandardItem;
    typeItem->setData(type, Qt::DisplayRole);
    auto* startItem = new QStandardItem;
    startItem->setData(start, KGantt::StartTimeRole);
    auto* endItem = new QStandardItem;
    endItem->setData(end, KGantt::EndTimeRole);
    return {new QStandardItem(text), typeItem, startItem, endItem};
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    bool quick = false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--quick") == 0) quick = true;
    QApplication app(argc, argv);
    const int lines = quick ? 2000 : 20000;
    const int days = 20;
    const QDateTime d0(QDate(2025, 1, 1), QTime(0, 0));

    KGantt::View view;
    auto* grid = new KGantt::DateTimeGrid;
    grid->setDayWidth(40);
    view.setGrid(grid);
    view.resize(100 + 6 + 1600 + 16, 45 + 900);
    view.show();
    QApplication::processEvents();

    const long before = residentBytes();
    auto t = Clock::now();
    auto* model = new QStandardItemModel(0, 4);
    for (int i = 0; i < lines; ++i) {
        const QDateTime start = d0.addDays((i * 7) % 300);
        const QList<QStandardItem*> cols =
            task(start, start.addDays(days), QStringLiteral("a new row"), KGantt::TypeMulti);
        QStandardItem* row = cols.first();
        row->appendRow(task(start, start.addDays(days), QString(), KGantt::TypeTask));
        for (int k = 0; k < days; ++k)
            row->appendRow(task(start.addDays(k).addSecs(8640), start.addDays(k).addSecs(77760),
                                QString::number(100 + k), KGantt::TypeTask));
        model->appendRow(cols);
    }
    view.setModel(model);
    // Multi-item rows show their children in the parent's row while collapsed; give the chart the
    // same 1,600 pixels as ours.
    if (auto* splitter = view.findChild<QSplitter*>()) splitter->setSizes({106, 1616});
    QApplication::processEvents();
    const double populate = msSince(t) / 1000.0;
    const long after = residentBytes();

    KGantt::GraphicsView* gv = view.graphicsView();
    const int middle = lines / 2;
    const QDateTime mid = d0.addDays((middle * 7) % 300);
    grid->setStartDateTime(mid.addDays(-10));
    view.leftView()->verticalScrollBar()->setValue(view.leftView()->verticalScrollBar()->maximum() / 2);
    gv->updateScene();
    QApplication::processEvents();
    QWidget* viewport = gv->viewport();
    t = Clock::now();
    viewport->repaint();
    const double firstPaint = msSince(t);
    std::vector<double> repaints;
    for (int i = 0; i < 100; ++i) {
        t = Clock::now();
        viewport->repaint();
        repaints.push_back(msSince(t));
    }
    std::sort(repaints.begin(), repaints.end());

    QRandomGenerator rng(7);
    // Far fewer points than ours: a look-up here costs milliseconds; the mean per call is what counts.
    std::vector<QPoint> points(200);
    for (QPoint& p : points)
        p = QPoint(int(rng.bounded(viewport->width())), int(rng.bounded(viewport->height())));
    int hits = 0;
    t = Clock::now();
    for (const QPoint& p : points)
        if (gv->indexAt(p).isValid()) ++hits;
    const double hitUs = msSince(t) * 1000.0 / double(points.size());

    QStandardItem* barStart = model->item(middle)->child(0, 2);
    QStandardItem* barEnd = model->item(middle)->child(0, 3);
    t = Clock::now();
    barStart->setData(barStart->data(KGantt::StartTimeRole).toDateTime().addDays(1), KGantt::StartTimeRole);
    barEnd->setData(barEnd->data(KGantt::EndTimeRole).toDateTime().addDays(1), KGantt::EndTimeRole);
    viewport->repaint();
    const double drag = msSince(t);

    // How many bars the view actually placed: paint and hit-test figures mean little without them.
    const int sceneItems = int(gv->scene()->items().size());
    std::printf("{\"peer\": \"kgantt\", \"lines\": %d, \"days_per_line\": %d, \"populate_s\": %.3f, "
                "\"first_paint_ms\": %.2f, \"repaint_ms\": %.3f, \"hit_test_us\": %.3f, \"hits\": %d, "
                "\"drag_ms\": %.2f, \"bytes_per_item\": %.0f, \"scene_items\": %d}\n",
                lines, days, populate, firstPaint, repaints[repaints.size() / 2], hitUs, hits, drag,
                double(after - before) / lines, sceneItems);
    return 0;
}
