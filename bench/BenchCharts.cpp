// The charts' cost, on the offscreen platform.
//
// 1. A readout of 100,000 records opened from a file into the log data window: the time until
//    the chart is drawn, and the frame time while panning, each side by side with the same
//    records drawn whole (no thinning), and against the 16.7 ms of one frame at 60 Hz.
// 2. The Runtime Values page watching at 0.5 s against the simulated unit in its own process
//    (9600 baud RTU, paced, with its turnaround), the trend drawn: CPU against wall time, side
//    by side with the same window over the same time not watching. The target is at most 3 %.
//    A minute's run is `bench_charts 60`; the default is shorter and says so.
//
//   bench_charts [WATCH_SECONDS] [RECORDS]

#include "bench/SimProcess.h"
#include "device/LogdataForm.h"
#include "device/OperatorWatch.h"
#include "editor/Form.h"
#include "host/ScriptedPrompts.h"
#include "modbus/ModThread.h"
#include "ui/ConfigForm.h"
#include "ui/LogChartView.h"
#include "ui/LogdataDialog.h"
#include "ui/Program.h"
#include "ui/QtHost.h"
#include "ui/RuntimeTrend.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QValueAxis>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace vantrel;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kBaud = 9600;
constexpr int kTurnaroundMs = 5;
constexpr double kFrameBudgetMs = 1000.0 / 60;
constexpr int kPanFrames = 40;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A readout as the window saves it: one record an hour, a flow rate that moves and a total
// that grows.
void WriteReadout(const std::string& path, int records) {
    std::ofstream out(path, std::ios::binary);
    out << "Readout of RUNTIME LIST for s/n 1234567 at 2026-12-10 16:00:00\r\n"
        << "There are " << records << " records in this list.\r\n"
        << std::string(71, '=') << "\r\n## read;DATE;TIME;FLOWRATE;TOTAL\r\n";
    const int64_t start = 20432LL * 86400; // 2025-12-10
    char line[96];
    for (int i = 0; i < records; ++i) {
        const int64_t t = start + 3600LL * i;
        const int64_t days = t / 86400;
        // Civil date of days since 1970.
        const int64_t z = days + 719468, era = z / 146097, doe = z - era * 146097;
        const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
        const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
        const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
        const int y = static_cast<int>(yoe + era * 400 + (m <= 2));
        const double flow = 120 + 30 * std::sin(i / 40.0) + (i % 997 == 0 ? 80 : 0);
        std::snprintf(line, sizeof line, "%07d;%04d-%02d-%02d;%02d:00:00;%09.1f;%08d\r\n", i + 1, y,
                      m, d, static_cast<int>(t / 3600 % 24), flow, 45678 + 125 * i);
        out << line;
    }
    out << "0" << std::to_string(records + 1) << ";NO RECORD FOUND\r\n";
}

// The same records in one chart drawn whole, for the comparison.
struct WholeChart {
    QChartView view;
    WholeChart(const device::LogChart& data) {
        auto* chart = new QChart;
        auto* time = new QDateTimeAxis;
        chart->addAxis(time, Qt::AlignBottom);
        for (const device::LogSeries& s : data.series) {
            auto* line = new QLineSeries;
            QList<QPointF> points;
            points.reserve(static_cast<qsizetype>(s.points.size()));
            for (const device::LogPoint& p : s.points)
                points.append(QPointF(static_cast<double>(p.ms), p.value));
            line->replace(points);
            chart->addSeries(line);
            auto* axis = new QValueAxis;
            axis->setRange(s.minValue, s.maxValue);
            chart->addAxis(axis, Qt::AlignLeft);
            line->attachAxis(time);
            line->attachAxis(axis);
        }
        time->setRange(QDateTime::fromMSecsSinceEpoch(data.firstMs),
                       QDateTime::fromMSecsSinceEpoch(data.lastMs));
        view.setChart(chart);
        view.setRenderHint(QPainter::Antialiasing, false);
    }
};

int ChartBench(const std::string& folder, int records) {
    const std::string path = folder + "/readout.csv";
    WriteReadout(path, records);
    ui::QtHost host;
    modbus::TModThread worker(host, host);
    host::ScriptedPrompts prompts;
    device::TLogdataForm model(
        worker, [] { return uint8_t{1}; }, nullptr, prompts);
    model.visible = true;
    ui::LogdataDialog dialog(model, nullptr);
    dialog.show();
    dialog.Tabs()->setCurrentWidget(dialog.ChartView());
    QCoreApplication::processEvents();
    ui::LogChartView& chart = *dialog.ChartView();

    const auto opened = Clock::now();
    dialog.OpenLogFile(QString::fromStdString(path));
    const double openMs = MsSince(opened);
    chart.Plot()->grab(); // a whole frame of the chart, painted
    const double drawnMs = MsSince(opened);
    if (chart.Chart().series.size() != 2 ||
        chart.Chart().series[0].points.size() != static_cast<size_t>(records)) {
        std::fprintf(stderr, "the chart does not hold the %d records\n", records);
        return 1;
    }
    const int drawn = chart.DrawnPoints();

    double panTotal = 0, panWorst = 0;
    for (int i = 0; i < kPanFrames; ++i) {
        const auto frame = Clock::now();
        chart.Pan(i < kPanFrames / 2 ? -25 : 25);
        chart.Plot()->grab();
        const double ms = MsSince(frame);
        panTotal += ms;
        panWorst = std::max(panWorst, ms);
    }
    // Zoomed in on a tenth: the thinning follows the range.
    chart.ZoomTo(chart.Chart().firstMs,
                 chart.Chart().firstMs + (chart.Chart().lastMs - chart.Chart().firstMs) / 10);
    double zoomedPan = 0;
    for (int i = 0; i < kPanFrames; ++i) {
        const auto frame = Clock::now();
        chart.Pan(25);
        chart.Plot()->grab();
        zoomedPan += MsSince(frame);
    }

    // The same records drawn whole.
    const auto wholeStart = Clock::now();
    WholeChart whole(chart.Chart());
    whole.view.resize(chart.Plot()->size());
    whole.view.show();
    whole.view.grab();
    const double wholeDrawnMs = MsSince(wholeStart) + (openMs - 0); // the file read the same
    const int wholeFrames = 5;
    double wholePan = 0;
    for (int i = 0; i < wholeFrames; ++i) {
        const auto frame = Clock::now();
        whole.view.chart()->scroll(-25, 0);
        whole.view.grab();
        wholePan += MsSince(frame);
    }

    const double panMean = panTotal / kPanFrames;
    const double wholePanMean = wholePan / wholeFrames;
    std::printf("Chart of %d records opened from a file (%d points drawn of %zu, plot %dx%d):\n",
                records, drawn, 2 * chart.Chart().series[0].points.size(), chart.Plot()->width(),
                chart.Plot()->height());
    std::printf("  read and parsed %.0f ms; drawn after %.0f ms; drawn whole, no thinning: %.0f ms "
                "(%.1fx)\n",
                openMs, drawnMs, wholeDrawnMs, wholeDrawnMs / drawnMs);
    std::printf("  panning: %.1f ms a frame (worst %.1f), zoomed to a tenth %.1f ms; drawn whole "
                "%.1f ms (%.1fx); frame at 60 Hz %.1f ms: %.2f of it\n",
                panMean, panWorst, zoomedPan / kPanFrames, wholePanMean, wholePanMean / panMean,
                kFrameBudgetMs, panMean / kFrameBudgetMs);
    return 0;
}

int WatchBench(const std::string& folder, int seconds) {
    bench::SimProcess sim(bench::BinDir() + "/vantrel-sim",
                          {"--model", "Q4200", "--serial", "1234567", "--logger", "--baud",
                           std::to_string(kBaud), "--turnaround", std::to_string(kTurnaroundMs)});
    if (!sim.ok()) {
        std::fprintf(stderr, "vantrel-sim did not start\n");
        return 1;
    }
    const std::string settings = folder + "/vantrel.ini";
    std::ofstream(settings) << "[Popups]\r\nShow=0\r\n[Modbus]\r\nPort=COM3\r\n"
                               "Protocol=RTU\r\nSpeed=9600\r\n";
    bench::OnePort ports(sim.Path());
    host::ScriptedPrompts prompts;
    ui::ProgramOptions options;
    options.settingsPath = settings;
    options.ports = &ports;
    options.splashMs = 20;
    options.prompts = &prompts;
    options.defaultsFolder = folder;
    ui::Program program(options);
    program.Window().resize(1040, 640);
    program.Window().show();
    QCoreApplication::processEvents();
    editor::Form& form = program.Form();
    form.Click("ConnectButton");
    if (form.ExpectedSerialNumber != 1234567) {
        std::fprintf(stderr, "the window did not identify and read the unit\n");
        return 1;
    }
    form.SelectPage(form.PageIndex("RuntimeSheet"));
    auto* trend = program.Window().findChild<ui::RuntimeTrend*>("RuntimeTrend");
    if (!trend) {
        std::fprintf(stderr, "no trend on the Runtime Values page\n");
        return 1;
    }
    const auto idle = [&](int s) {
        program.host.WaitUntil([] { return false; }, std::chrono::seconds(s));
    };
    idle(1);

    // The window alone, the same time, not watching.
    double cpu = bench::CpuSeconds();
    auto start = Clock::now();
    idle(seconds);
    const double idleShare = (bench::CpuSeconds() - cpu) / (MsSince(start) / 1000);

    trend->SelectInterval(500);
    cpu = bench::CpuSeconds();
    start = Clock::now();
    trend->WatchClick();
    idle(seconds);
    const double wall = MsSince(start) / 1000;
    const double watchShare = (bench::CpuSeconds() - cpu) / wall;
    const size_t samples = trend->Watch().Samples().size();
    size_t failed = 0;
    int64_t widest = 0;
    const auto& taken = trend->Watch().Samples();
    for (size_t i = 0; i < taken.size(); ++i) {
        failed += !taken[i].ok;
        if (i > 0)
            widest = std::max(widest, taken[i].ms - taken[i - 1].ms);
    }
    trend->WatchClick();

    std::printf("Watch at 0.5 s for %d s%s against vantrel-sim at %d baud RTU, the trend drawn:\n",
                seconds, seconds < 60 ? " (shorter than the minute; `bench_charts 60` for it)" : "",
                kBaud);
    std::printf("  %zu samples (%zu failed) of %d expected, %lld ms apart at most; CPU / wall %.2f "
                "%% watching, %.2f %% "
                "the window alone; target at most 3 %%: %s\n",
                samples, failed, 2 * seconds, static_cast<long long>(widest), 100 * watchShare,
                100 * idleShare, watchShare <= 0.03 ? "met" : "NOT met");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int records = argc > 2 ? std::max(10, std::atoi(argv[2])) : 100000;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string folder = std::filesystem::temp_directory_path().string() + "/bench_charts-" +
                               std::to_string(::getpid());
    std::filesystem::create_directories(folder);
    int status = ChartBench(folder, records);
    if (status == 0)
        status = WatchBench(folder, seconds);
    std::filesystem::remove_all(folder);
    return status;
}
