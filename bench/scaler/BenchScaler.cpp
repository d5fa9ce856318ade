// Times the ruler's date/pixel mapping and tick rebuild over ten years with weekends hidden on a
// 1,600-pixel axis. Prints one JSON object; --quick runs a tenth of the calls.
#include <QApplication>
#include <QRandomGenerator>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "gantt/phScaler.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    bool quick = false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--quick") == 0) quick = true;
    QApplication app(argc, argv);

    const int pixelCalls = quick ? 100000 : 1000000;
    const int dateCalls = quick ? 10000 : 100000;
    const int rebuilds = quick ? 50 : 500;

    TphDateScaler scaler;
    scaler.SetCodePage(437);
    scaler.SetDateFormat("YYMMDD");
    scaler.resize(1600, 45);
    scaler.SetStart(kv::encodeDate(2020, 1, 1));
    scaler.SetStop(kv::encodeDate(2030, 1, 1));
    scaler.SetHiddenDays(TphDateScaler::TphHiddenDays(TphDateScaler::thdSAT | TphDateScaler::thdSUN));
    scaler.FineMarks(); // settle the layout before timing

    QRandomGenerator rng(42);
    const double start = scaler.Start();
    const double length = scaler.Stop() - scaler.Start();
    std::vector<double> dates(static_cast<size_t>(pixelCalls));
    for (double& d : dates)
        d = start + rng.generateDouble() * length;
    std::vector<int> pixels(static_cast<size_t>(dateCalls));
    for (int& p : pixels)
        p = 1 + int(rng.bounded(1598));

    using Clock = std::chrono::steady_clock;
    long long pixelSum = 0;
    auto t0 = Clock::now();
    for (double d : dates)
        pixelSum += scaler.PixelAtDate(d);
    auto t1 = Clock::now();
    double dateSum = 0;
    for (int p : pixels)
        dateSum += scaler.DateAtPixel(p);
    auto t2 = Clock::now();
    for (int i = 0; i < rebuilds; ++i)
        scaler.RebuildTicks();
    auto t3 = Clock::now();

    const auto us = [](auto a, auto b) { return std::chrono::duration<double, std::micro>(b - a).count(); };
    std::printf("{\"window_days\": %.0f, \"hidden_days\": \"sat,sun\", \"axis_pixels\": 1600, "
                "\"pixel_at_date_calls\": %d, \"pixel_at_date_us\": %.4f, "
                "\"date_at_pixel_calls\": %d, \"date_at_pixel_us\": %.3f, "
                "\"rebuilds\": %d, \"rebuild_ms\": %.4f, \"fine_ticks\": %zu, \"coarse_ticks\": %zu, "
                "\"checksum\": %.3f}\n",
                length, pixelCalls, us(t0, t1) / pixelCalls, dateCalls, us(t1, t2) / dateCalls, rebuilds,
                us(t2, t3) / rebuilds / 1000.0, scaler.FineMarks().size(), scaler.CoarseMarks().size(),
                double(pixelSum) + dateSum);
    return 0;
}
