// A log list readout as the log data window does it, against the simulated unit in a process
// of its own, paced at 9600 baud RTU with its turnaround: the list selected, its record
// count, the serial number, the header, then "First" and "Up" until "NO RECORD FOUND".
// Prints the wall time against the line-time limit of the readout's transactions (request
// and response characters at the line speed plus the unit's turnaround for each), and CPU
// against wall.
//
//   bench_log_read [RECORDS] [ROUNDS]

#include "bench/SimProcess.h"
#include "device/LogdataForm.h"
#include "host/PlainHost.h"
#include "host/ScriptedPrompts.h"
#include "modbus/ModThread.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace vantrel;

namespace {

constexpr int kBaud = 9600;
constexpr int kSpeedIndex = 3; // 9600 in the worker's list
constexpr int kTurnaroundMs = 5;

// RTU characters of one transaction, request and response.
long ReadCharacters(int registers) {
    return 8 + 5 + 2 * registers;
}
long WriteCharacters(int registers) {
    return 9 + 2 * registers + 8;
}

struct Line {
    long characters = 0;
    int transactions = 0;
    void Read(int registers, int times = 1) {
        characters += times * ReadCharacters(registers);
        transactions += times;
    }
    void Write(int registers) {
        characters += WriteCharacters(registers);
        ++transactions;
    }
    double LimitSeconds() const {
        const double charSeconds = 10.0 / kBaud; // 8N1
        return characters * charSeconds + transactions * kTurnaroundMs / 1000.0;
    }
};

// What a readout without a failure puts on the line for a list of this many records.
Line ReadoutLine(int records) {
    Line line;
    line.Write(1);                                      // select the list
    line.Read(1);                                       // record count
    line.Read(2);                                       // serial number
    line.Read(device::logreg::kTextRegisters);          // header
    line.Read(device::logreg::kTextRegisters);          // "First"
    line.Read(device::logreg::kTextRegisters, records); // "Up", the last one at the end
    return line;
}

} // namespace

int main(int argc, char** argv) {
    const int records = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 1;
    bench::SimProcess sim(bench::BinDir() + "/vantrel-sim",
                          {"--model", "Q4200", "--serial", "1234567", "--logger", "--baud",
                           std::to_string(kBaud), "--turnaround", std::to_string(kTurnaroundMs),
                           "--log-records", std::to_string(records)});
    if (!sim.ok()) {
        std::fprintf(stderr, "vantrel-sim did not start\n");
        return 1;
    }

    host::PlainHost host;
    modbus::TModThread worker(host, host);
    worker.SetPortResolver([&](int) { return sim.Path(); });
    worker.SetFraming(modbus::kFramingRtu);
    worker.SetRtuTimeOut(20);
    if (!worker.OpenPort(1, kSpeedIndex, 0, 0, 0)) {
        std::fprintf(stderr, "cannot open %s: %s\n", sim.Path().c_str(),
                     worker.LastOpenError().c_str());
        return 1;
    }
    host::ScriptedPrompts prompts;
    device::TLogdataForm window(
        worker, [] { return uint8_t{1}; }, nullptr, prompts);
    window.FormShow();
    if (window.cbLogLists.empty()) {
        std::fprintf(stderr, "the simulated unit lists no log lists\n");
        return 1;
    }

    const Line line = ReadoutLine(records);
    std::printf("Log readout of %d records against vantrel-sim, paced at %d baud RTU, "
                "turnaround %d ms\n",
                records, kBaud, kTurnaroundMs);
    int failures = 0;
    for (int r = 0; r < rounds; ++r) {
        const double cpu0 = bench::CpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        window.ReadLogList(window.cbLogLists[0], window.listIndexes[0]);
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double cpu = bench::CpuSeconds() - cpu0;
        const bool clean = !window.Terminated() && window.recordsRead == records &&
                           window.Memo3.back() == "Total number of retries: 0";
        failures += !clean;
        std::printf("  round %d: %d transactions, %.2f s wall, line-time limit %.2f s, "
                    "wall / limit = %.3f, CPU / wall = %.2f %%%s\n",
                    r + 1, line.transactions, wall, line.LimitSeconds(), wall / line.LimitSeconds(),
                    100 * cpu / wall,
                    clean ? "" : "   NOT CLEAN (retries or errors: the limit does not hold)");
    }
    worker.ClosePort();
    return failures ? 1 : 0;
}
