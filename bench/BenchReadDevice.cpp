// A whole Read device of a Q4200 with data logger against the simulated unit in its own
// process, paced at 9600 baud RTU with the unit's usual turnaround: the main window headless,
// popups off, every transaction through the real worker and serial line.
// Prints, as medians of the repetitions, the wall time against the line-time limit of the
// run's own transactions (their request and response characters at the line speed plus one
// turnaround each), against that limit plus the inter-frame gap of 3.5 characters the master
// keeps after every answer before it takes it, and the CPU time against the wall time.
// With --gui the same run follows through the whole program on the offscreen platform (the
// window shown, its widgets redrawn as the run goes), against the same limit, each repetition
// once with the bus monitor closed and once with it open and filling, side by side.
//
//   bench_read_device [REPETITIONS] [--gui]

#include "bench/SimProcess.h"
#include "device/DeviceAccess.h"
#include "device/OperatorValues.h"
#include "editor/EditingRules.h"
#include "editor/Form.h"
#include "host/PlainHost.h"
#include "host/ScriptedPrompts.h"
#include "modbus/ModThread.h"
#include "ui/BusMonitorWindow.h"
#include "ui/ModbusBar.h"
#include "modbus/PosixSerialLine.h"
#include "ui/ConfigForm.h"
#include "ui/Program.h"

#include <QApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using namespace vantrel;

namespace {

constexpr int kBaud = 9600;
constexpr int kSpeedIndex = 3; // 9600 in the port setup's list
constexpr int kTurnaroundMs = 5;

// The real serial line, counting what goes over it.
class CountingLine final : public modbus::SerialLine {
public:
    bool Open(const std::string& path, std::string& error) override {
        return line_.Open(path, error);
    }
    void Close() override { line_.Close(); }
    bool IsOpen() const override { return line_.IsOpen(); }
    bool Configure(const modbus::LineMode& mode, std::string& error) override {
        return line_.Configure(mode, error);
    }
    bool DriverSwitchesDirection() const override { return line_.DriverSwitchesDirection(); }
    void SetRts(bool on) override { line_.SetRts(on); }
    void Drain() override { line_.Drain(); }
    void PurgeInput() override { line_.PurgeInput(); }
    void ClearErrors() override { line_.ClearErrors(); }
    bool Write(const uint8_t* bytes, size_t length, std::string& error) override {
        ++frames;
        sent += length;
        return line_.Write(bytes, length, error);
    }
    size_t Receive(uint8_t* buffer, size_t max, const modbus::ReceiveLimits& limits,
                   const std::function<bool(const uint8_t*, size_t)>& complete,
                   const std::function<bool()>& abandoned, modbus::ReceiveEnd& end,
                   std::string& error) override {
        const size_t n = line_.Receive(buffer, max, limits, complete, abandoned, end, error);
        received += n;
        return n;
    }
    void CancelReceive() override { line_.CancelReceive(); }
    bool Gone() const override { return line_.Gone(); }

    std::atomic<long> frames{0}, sent{0}, received{0};

private:
    modbus::PosixSerialLine line_;
};

struct Run {
    double wall = 0, cpu = 0, limit = 0;
    long transactions = 0, characters = 0;
    bool ok = false;
    double gap = 0; // the master's inter-frame silence after each answer, in seconds
    double Ratio() const { return wall / limit; }
    double RatioWithGap() const { return wall / (limit + gap); }
    double CpuShare() const { return cpu / wall; }
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Read device through the program's window; every run against the given limit. False when a
// run did not end as read correctly.
bool GuiRuns(const std::string& port, const std::string& folder, int repetitions, double limit) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "bench_read_device";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    const std::string settings = folder + "/vantrel.ini";
    std::ofstream(settings) << "[Popups]\r\nShow=0\r\n[Modbus]\r\nPort=COM3\r\n"
                               "Protocol=RTU\r\nSpeed=9600\r\n";
    bench::OnePort ports(port);
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
    form.Click("ConnectButton"); // identifies and reads once: a warm-up
    if (program.device.Model != "Q4200") {
        std::fprintf(stderr, "the window did not identify the unit as a Q4200\n");
        return false;
    }
    std::vector<double> ratios, shares, monitorRatios, monitorShares;
    bool allOk = true;
    ui::TBusMonitor* monitor = program.Window().Modbus1()->BusMonitor();
    for (int run = 0; run < 2 * repetitions; ++run) {
        const int r = run / 2;
        const bool monitorOpen = run % 2 == 1;
        if (monitorOpen)
            monitor->ShowAndRaise();
        else
            monitor->close();
        QCoreApplication::processEvents();
        prompts.shown.clear();
        const double cpu0 = bench::CpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        form.Click("DownloadButton");
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double cpu = bench::CpuSeconds() - cpu0;
        const bool ok =
            form.statusPanels[1] == " Status: values were read correctly from the device." &&
            prompts.shown.empty();
        allOk = allOk && ok;
        (monitorOpen ? monitorRatios : ratios).push_back(wall / limit);
        (monitorOpen ? monitorShares : shares).push_back(cpu / wall);
        std::printf("  window run %d, bus monitor %s: wall %.3f s, ratio %.3f, CPU/wall %.2f "
                    "%%%s\n",
                    r + 1, monitorOpen ? "open  " : "closed", wall, wall / limit, 100 * cpu / wall,
                    ok ? "" : "  NOT READ CORRECTLY");
    }
    monitor->Drain();
    std::printf("Read device through the window (offscreen), %d runs\n", repetitions);
    std::printf("  wall / (line-time limit + gap) %.3f (target <= 1.10)   CPU / wall %.2f %% "
                "(target <= 5 %%)\n",
                Median(ratios), 100 * Median(shares));
    std::printf("  with the bus monitor open (%d rows shown): wall / (limit + gap) %.3f   "
                "CPU / wall %.2f %%   closed: CPU / wall %.2f %%\n",
                monitor->ShownRows(), Median(monitorRatios), 100 * Median(monitorShares),
                100 * Median(shares));
    return allOk;
}

} // namespace

int main(int argc, char** argv) {
    int repetitions = 5;
    bool gui = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--gui") == 0)
            gui = true;
        else
            repetitions = std::max(1, std::atoi(argv[i]));
    }
    const std::string logDir =
        std::filesystem::temp_directory_path() / ("bench-read-device-" + std::to_string(::getpid()));
    std::filesystem::create_directories(logDir);

    bench::SimProcess sim(bench::BinDir() + "/vantrel-sim",
                          {"--model", "Q4200", "--serial", "1234567", "--logger", "--baud",
                           std::to_string(kBaud), "--turnaround", std::to_string(kTurnaroundMs)});
    if (!sim.ok()) {
        std::fprintf(stderr, "vantrel-sim did not start\n");
        return 1;
    }

    host::PlainHost host;
    auto owned = std::make_unique<CountingLine>();
    CountingLine& line = *owned;
    modbus::TModThread worker(host, host, std::move(owned));
    const std::string path = sim.Path();
    worker.SetPortResolver([path](int) { return path; });
    worker.SetFraming(modbus::kFramingRtu);
    worker.SetRtuTimeOut(20);
    if (!worker.OpenPort(1, kSpeedIndex, 0, 0, 0)) {
        std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), worker.LastOpenError().c_str());
        return 1;
    }

    Device device;
    editor::Form form(device, "/nonexistent/vantrel-bench.ini");
    form.ShowPopups = false;
    host::ScriptedPrompts prompts;
    editor::EditingRules rules(form, prompts);
    device::TDeviceAccess access(form, rules, prompts, worker, [] { return uint8_t{1}; });
    access.logFolder = logDir;
    device::TOperatorValues operatorValues(access);
    access.readOperatorValues = [&] { return operatorValues.ReadOperatorValues(); };
    form.FormCreate();

    // Identification (which, popups off, reads the unit once: a warm-up).
    if (!access.IdentifyDevice() || device.Model != "Q4200") {
        std::fprintf(stderr, "the unit was not identified as a Q4200 (%s)\n",
                     device.Model.c_str());
        return 1;
    }

    const double charSeconds = 10.0 / kBaud; // 8N1
    std::vector<Run> runs;
    for (int r = 0; r < repetitions; ++r) {
        Run run;
        line.frames = 0;
        line.sent = 0;
        line.received = 0;
        prompts.shown.clear();
        const double cpu0 = bench::CpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        access.DownloadButtonClick();
        run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        run.cpu = bench::CpuSeconds() - cpu0;
        run.transactions = line.frames;
        run.characters = line.sent + line.received;
        run.limit = run.characters * charSeconds + run.transactions * kTurnaroundMs / 1000.0;
        run.gap = run.transactions * 3.5 * charSeconds;
        run.ok = form.statusPanels[1] == " Status: values were read correctly from the device." &&
                 prompts.shown.empty();
        runs.push_back(run);
        std::printf("  run %d: %ld transactions, %ld characters, wall %.3f s, limit %.3f s, "
                    "ratio %.3f, CPU/wall %.2f %%%s\n",
                    r + 1, run.transactions, run.characters, run.wall, run.limit, run.Ratio(),
                    100 * run.CpuShare(), run.ok ? "" : "  NOT READ CORRECTLY");
    }

    std::vector<double> ratios, gapRatios, shares, walls, limits;
    bool allOk = true;
    for (const Run& run : runs) {
        ratios.push_back(run.Ratio());
        gapRatios.push_back(run.RatioWithGap());
        shares.push_back(run.CpuShare());
        walls.push_back(run.wall);
        limits.push_back(run.limit);
        allOk = allOk && run.ok;
    }
    std::printf("Read device, Q4200 with logger, 9600 baud RTU, turnaround %d ms, %d runs\n",
                kTurnaroundMs, repetitions);
    std::printf("  median wall %.3f s   wall / line-time limit %.3f   wall / (limit + gap) %.3f "
                "(target <= 1.10)   CPU / wall %.2f %% (target <= 5 %%)\n",
                Median(walls), Median(ratios), Median(gapRatios), 100 * Median(shares));
    worker.ClosePort();
    if (gui)
        allOk = GuiRuns(path, logDir, repetitions, Median(limits) + runs.front().gap) && allOk;
    std::filesystem::remove_all(logDir);
    return allOk ? 0 : 1;
}
