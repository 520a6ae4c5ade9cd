// Identification reads against the simulated unit over a pseudo-terminal, our master and
// libmodbus side by side in one run:
//   paced at 9600 baud RTU, paced at 19200 baud ASCII (ours only: libmodbus has no ASCII),
//   and unpaced with no turnaround (the master's own cost per transaction).
// Prints time per transaction against the line-time limit (request and response characters
// at the line speed plus the unit's turnaround), ours against libmodbus, and CPU against wall.
//
//   bench_transactions [ROUNDS_PACED] [ROUNDS_UNPACED]

#include "bench/SimProcess.h"
#include "host/PlainHost.h"
#include "modbus/ModThread.h"

#include <modbus/modbus.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

using namespace vantrel;

namespace {

struct Read {
    uint16_t reg;
    uint8_t byteCount;
};
// What identification reads: serial, model code, variant, firmware, logger probe.
constexpr Read kIdentification[] = {{165, 3}, {160, 2}, {173, 1}, {162, 3}, {8208, 4}};
constexpr int kReadsPerRound = 5;
constexpr int kTurnaroundMs = 5;

struct Measure {
    double wallSeconds = 0;
    double cpuSeconds = 0;
    int transactions = 0;
    int failures = 0;
    double PerTransactionMicros() const { return 1e6 * wallSeconds / transactions; }
    double CpuShare() const { return cpuSeconds / wallSeconds; }
};

double CpuSeconds() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           1e-6 * (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

template <typename F> Measure Time(int rounds, F&& transaction) {
    Measure m;
    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    for (int r = 0; r < rounds; ++r)
        for (const Read& read : kIdentification) {
            ++m.transactions;
            if (!transaction(read))
                ++m.failures;
        }
    m.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    m.cpuSeconds = CpuSeconds() - cpu0;
    return m;
}

// Characters on the line for one identification round, request and response.
long Characters(int framing) {
    long total = 0;
    for (const Read& read : kIdentification) {
        const int registers = (read.byteCount + 1) / 2;
        if (framing == modbus::kFramingRtu)
            total += 8 + 5 + 2 * registers;
        else
            total += 17 + 2 * (3 + 2 * registers + 1) + 3;
    }
    return total;
}

double LimitMicros(int framing, int baud, int turnaroundMs) {
    const double charMicros = 10.0 * 1e6 / baud; // 8N1
    return (Characters(framing) * charMicros + kReadsPerRound * turnaroundMs * 1000.0) /
           kReadsPerRound;
}

Measure Ours(const std::string& path, int framing, int speedIndex, int rounds) {
    host::PlainHost host;
    modbus::TModThread worker(host, host);
    worker.SetPortResolver([&](int) { return path; });
    worker.SetFraming(framing);
    worker.SetRtuTimeOut(20);
    if (!worker.OpenPort(1, speedIndex, 0, 0, 0)) {
        std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), worker.LastOpenError().c_str());
        std::exit(1);
    }
    uint8_t value[8];
    return Time(rounds, [&](const Read& read) {
        return worker.ReadRegisters(value, 1, read.reg, read.byteCount) == 0;
    });
}

Measure Libmodbus(const std::string& path, int baud, int rounds) {
    modbus_t* ctx = modbus_new_rtu(path.c_str(), baud, 'N', 8, 1);
    modbus_set_slave(ctx, 1);
    modbus_set_response_timeout(ctx, 0, 500000);
    if (modbus_connect(ctx) != 0) {
        std::fprintf(stderr, "libmodbus cannot open %s\n", path.c_str());
        std::exit(1);
    }
    uint16_t registers[4];
    Measure m = Time(rounds, [&](const Read& read) {
        return modbus_read_registers(ctx, read.reg, (read.byteCount + 1) / 2, registers) > 0;
    });
    modbus_close(ctx);
    modbus_free(ctx);
    return m;
}

std::string Sim() { return bench::BinDir() + "/vantrel-sim"; }

void Row(const char* who, const Measure& m, double limit) {
    std::printf("  %-10s %9.0f us/transaction", who, m.PerTransactionMicros());
    if (limit > 0)
        std::printf("   / line-time limit %.0f us = %.3f", limit, m.PerTransactionMicros() / limit);
    std::printf("   CPU/wall %.1f %%", 100 * m.CpuShare());
    if (m.failures)
        std::printf("   FAILURES %d", m.failures);
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv) {
    const int paced = argc > 1 ? std::atoi(argv[1]) : 20;
    const int unpaced = argc > 2 ? std::atoi(argv[2]) : 400;
    const std::string turnaround = std::to_string(kTurnaroundMs);
    std::printf("Identification reads (5 a round) against vantrel-sim over a pseudo-terminal\n");

    {
        bench::SimProcess sim(Sim(), {"--model", "Q4200", "--serial", "1234567", "--logger", "--baud", "9600",
                                      "--turnaround", turnaround});
        const double limit = LimitMicros(modbus::kFramingRtu, 9600, kTurnaroundMs);
        Measure ours = Ours(sim.Path(), modbus::kFramingRtu, 3, paced);
        Measure theirs = Libmodbus(sim.Path(), 9600, paced);
        std::printf("paced, 9600 baud RTU, turnaround %d ms, %d rounds\n", kTurnaroundMs, paced);
        Row("ours", ours, limit);
        Row("libmodbus", theirs, limit);
        std::printf("  ours / libmodbus = %.3f\n",
                    ours.PerTransactionMicros() / theirs.PerTransactionMicros());
    }
    {
        bench::SimProcess sim(Sim(), {"--model", "Q4200", "--serial", "1234567", "--logger", "--ascii", "--baud",
                                      "19200", "--turnaround", turnaround});
        const double limit = LimitMicros(modbus::kFramingAscii, 19200, kTurnaroundMs);
        Measure ours = Ours(sim.Path(), modbus::kFramingAscii, 5, paced);
        std::printf("paced, 19200 baud ASCII, turnaround %d ms, %d rounds\n", kTurnaroundMs,
                    paced);
        Row("ours", ours, limit);
    }
    {
        bench::SimProcess sim(Sim(), {"--model", "Q4200", "--serial", "1234567", "--logger", "--unpaced",
                                      "--turnaround", "0"});
        Measure ours = Ours(sim.Path(), modbus::kFramingRtu, 3, unpaced);
        Measure theirs = Libmodbus(sim.Path(), 9600, unpaced);
        std::printf("unpaced, no turnaround, RTU, %d rounds (the master's own cost)\n", unpaced);
        Row("ours", ours, 0);
        Row("libmodbus", theirs, 0);
        std::printf("  ours / libmodbus = %.3f\n",
                    ours.PerTransactionMicros() / theirs.PerTransactionMicros());
    }
    return 0;
}
