// The search of the line against the simulated unit paced at 9600 baud RTU, alone on the
// line at one address of the 247: all 247 addresses probed at one speed and framing (find
// all, so that the search does not stop at the unit). Prints the wall time against
// 247 x (the probe request's line time + the probe time-out), the limit of a search in which
// nothing answers, and the default probe time-out with what it is made of.
//
//   bench_unit_search [ADDRESS_OF_THE_UNIT] [PROBE_TIME_OUT_MS]

#include "bench/SimProcess.h"
#include "device/UnitSearch.h"
#include "host/PlainHost.h"
#include "modbus/LineSettings.h"
#include "modbus/ModThread.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace vantrel;

int main(int argc, char** argv) {
    const int unitAddress = argc > 1 ? std::atoi(argv[1]) : 123;
    const int timeOutArg = argc > 2 ? std::atoi(argv[2]) : 0;
    constexpr int kSpeedIndex = 3; // 9600
    bench::SimProcess sim(bench::BinDir() + "/vantrel-sim",
                          {"--model", "Q4200", "--serial", "4242424", "--logger", "--address",
                           std::to_string(unitAddress)});
    if (!sim.ok()) {
        std::fprintf(stderr, "the simulated unit did not start\n");
        return 1;
    }
    host::PlainHost host;
    modbus::TModThread worker(host, host);
    worker.SetPortResolver([&sim](int) { return sim.Path(); });
    worker.SetFraming(modbus::kFramingRtu);
    worker.SetRtuTimeOut(20);
    worker.SetRetries(3);
    worker.SetResponseTimeOut(500);
    if (!worker.OpenPort(1, kSpeedIndex, 0, 0, 0)) {
        std::fprintf(stderr, "cannot open %s: %s\n", sim.Path().c_str(),
                     worker.LastOpenError().c_str());
        return 1;
    }

    device::SearchPlan plan;
    plan.speeds = {kSpeedIndex};
    plan.framings = {modbus::kFramingRtu};
    plan.findAll = true;
    plan.probeTimeOutMs = timeOutArg;
    const int timeOutMs = plan.ProbeTimeOutMs(kSpeedIndex);

    device::TUnitSearch search(worker);
    const auto t0 = std::chrono::steady_clock::now();
    search.Run(plan);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

    modbus::LineMode mode; // 9600 8N1
    const double requestMicros = static_cast<double>(modbus::LineTimeMicros(mode, 8));
    const double limit = 247 * (requestMicros + 1000.0 * timeOutMs) / 1e6;
    std::printf("Search of 247 addresses, 9600 8N1 RTU, unit at address %d\n", unitAddress);
    std::printf("  probe time-out %d ms (default at 9600: %d ms = %d ms turnaround allowance + "
                "4.5 characters)\n",
                timeOutMs, device::DefaultProbeTimeOutMs(kSpeedIndex), device::kProbeTurnaroundMs);
    std::printf("  units found %zu, bad answers %d\n", search.Found().size(),
                search.Progress().badAnswers);
    for (const device::FoundUnit& unit : search.Found())
        std::printf("    %s\n", device::FoundUnitText(unit).c_str());
    std::printf("  wall %.3f s / (247 x (request %.0f us + time-out %d ms) = %.3f s) = %.3f\n",
                wall, requestMicros, timeOutMs, limit, wall / limit);
    return search.Found().size() == 1 ? 0 : 1;
}
