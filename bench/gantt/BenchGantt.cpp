// Times the schedule Gantt on a large factory: populating 20,000 lines of 20 days, painting a
// 1,600 x 900 area scrolled to the middle, hit testing, and dragging one bar by a day.
// Prints one JSON object; --quick uses 2,000 lines.
#include <QApplication>
#include <QMouseEvent>
#include <QRandomGenerator>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <unistd.h>
#include <vector>

#include "gantt/MyGant.h"
#include "gantt/phGrid.h"
#include "gantt/phScaler.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

long residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

void sendMouse(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(p), w->mapToGlobal(QPointF(p)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
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
    const double d0 = kv::encodeDate(2025, 1, 1);

    TMyGant g;
    g.resize(100 + 6 + 1600 + 16, 45 + 900);
    g.show();
    QApplication::processEvents();
    int changes = 0;
    g.OnGantItemChangePos = [&](TMyGantItem*) { ++changes; };

    const long before = residentBytes();
    auto t = Clock::now();
    TMyGantList* list = g.MyGantList();
    for (int i = 0; i < lines; ++i) {
        const double start = d0 + (i * 7) % 300;
        TMyGantItem* item = list->AddItem(i % 2 ? 0x0080C0FF : 0x00FFC080, days, start + days + 3, start);
        for (int k = 0; k < days; ++k)
            item->SetDayTexts(QString::number(100 + k), QStringLiteral("R"), start + k);
    }
    const double populate = msSince(t) / 1000.0;
    const long after = residentBytes();

    // Scroll to the middle, in rows and in time.
    const int middle = lines / 2;
    g.Grid()->SetTopRow(middle);
    const double mid = d0 + (middle * 7) % 300;
    g.SetStart(mid - 10);
    g.SetStop(mid + 30);
    QWidget* area = g.GantArea();
    t = Clock::now();
    area->repaint();
    const double firstPaint = msSince(t);

    std::vector<double> repaints;
    for (int i = 0; i < 100; ++i) {
        t = Clock::now();
        area->repaint();
        repaints.push_back(msSince(t));
    }
    std::sort(repaints.begin(), repaints.end());

    QRandomGenerator rng(7);
    std::vector<QPoint> points(10000);
    for (QPoint& p : points)
        p = QPoint(int(rng.bounded(area->width())), int(rng.bounded(area->height())));
    int hits = 0;
    t = Clock::now();
    for (const QPoint& p : points)
        if (g.TimeAt(p.x(), p.y())) ++hits;
    const double hitUs = msSince(t) * 1000.0 / double(points.size());

    // Drag the bar of the first row on screen by one day, grabbing it above its day cells.
    TMyGantItem* item = list->Items(middle);
    const QRect r = g.ItemRect(item->Bar);
    const QPoint from(r.left() + r.width() / 2, r.top() + 1);
    const int dayPx = g.Scaler()->PixelAtDate(mid + 1) - g.Scaler()->PixelAtDate(mid);
    const QPoint to = from + QPoint(dayPx, 0);
    t = Clock::now();
    sendMouse(area, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    sendMouse(area, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
    sendMouse(area, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    sendMouse(area, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    area->repaint();
    const double drag = msSince(t);

    std::printf("{\"lines\": %d, \"days_per_line\": %d, \"populate_s\": %.3f, \"first_paint_ms\": %.2f, "
                "\"repaint_ms\": %.3f, \"hit_test_us\": %.3f, \"hits\": %d, \"drag_ms\": %.2f, "
                "\"drag_reported\": %d, \"bytes_per_item\": %.0f}\n",
                lines, days, populate, firstPaint, repaints[repaints.size() / 2], hitUs, hits, drag, changes,
                double(after - before) / lines);
    return changes == 1 ? 0 : 1;
}
