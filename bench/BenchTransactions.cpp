// Identification reads against the simulated unit over a pseudo-terminal, our master and
// libmodbus side by side in one run:
//   paced at 9600 baud RTU, paced at 19200 baud ASCII (ours only: libmodbus has no ASCII),
//   unpaced at 38400 baud with no turnaround (the master's own cost per transaction: the
//   unit still waits until a request has left the line), and paced at 9600 baud with one
//   answer in twenty arriving after the time-out (ours only).
// Prints time per transaction against the line-time limit (request and response characters
// at the line speed plus the unit's turnaround) and against that limit plus the inter-frame
// gap our master keeps after every answer, ours against libmodbus, and CPU against wall.
//
//   bench_transactions [ROUNDS_PACED] [ROUNDS_UNPACED]

#include "bench/SimProcess.h"
#include "host/PlainHost.h"
#include "modbus/ModThread.h"

#include <modbus/modbus.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

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

template <typename F> Measure Time(int rounds, F&& transaction) {
    Measure m;
    const double cpu0 = bench::CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    for (int r = 0; r < rounds; ++r)
        for (const Read& read : kIdentification) {
            ++m.transactions;
            if (!transaction(read))
                ++m.failures;
        }
    m.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    m.cpuSeconds = bench::CpuSeconds() - cpu0;
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

// The silence of 3.5 characters (1.75 ms above 19200 baud) the master waits for after each
// answer before it takes it.
double GapMicros(int baud) {
    return baud > 19200 ? 1750.0 : 3.5 * 10.0 * 1e6 / baud;
}

// Our master and libmodbus on the same port, taking turns in blocks so that the machine's
// moods fall on both alike; the medians of the blocks are compared.
class Ours {
public:
    Ours(const std::string& path, int framing, int speedIndex) : worker_(host_, host_) {
        worker_.SetPortResolver([path](int) { return path; });
        worker_.SetFraming(framing);
        worker_.SetRtuTimeOut(20);
        if (!worker_.OpenPort(1, speedIndex, 0, 0, 0)) {
            std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(),
                         worker_.LastOpenError().c_str());
            std::exit(1);
        }
    }
    ~Ours() { worker_.ClosePort(); }
    Measure Run(int rounds, uint8_t slave = 1) {
        uint8_t value[8];
        return Time(rounds, [&](const Read& read) {
            return worker_.ReadRegisters(value, slave, read.reg, read.byteCount) == 0;
        });
    }
    modbus::TModThread& Worker() { return worker_; }

private:
    host::PlainHost host_;
    modbus::TModThread worker_;
};

class Theirs {
public:
    Theirs(const std::string& path, int baud) {
        ctx_ = modbus_new_rtu(path.c_str(), baud, 'N', 8, 1);
        modbus_set_slave(ctx_, 1);
        modbus_set_response_timeout(ctx_, 0, 500000);
        if (modbus_connect(ctx_) != 0) {
            std::fprintf(stderr, "libmodbus cannot open %s\n", path.c_str());
            std::exit(1);
        }
    }
    ~Theirs() {
        modbus_close(ctx_);
        modbus_free(ctx_);
    }
    Measure Run(int rounds) {
        uint16_t registers[4];
        return Time(rounds, [&](const Read& read) {
            return modbus_read_registers(ctx_, read.reg, (read.byteCount + 1) / 2, registers) > 0;
        });
    }

private:
    modbus_t* ctx_ = nullptr;
};

Measure Median(std::vector<Measure> blocks) {
    std::sort(blocks.begin(), blocks.end(), [](const Measure& a, const Measure& b) {
        return a.PerTransactionMicros() < b.PerTransactionMicros();
    });
    Measure m = blocks[blocks.size() / 2];
    // CPU share over all blocks, not just the median one.
    double wall = 0, cpu = 0;
    int failures = 0;
    for (const Measure& b : blocks) {
        wall += b.wallSeconds;
        cpu += b.cpuSeconds;
        failures += b.failures;
    }
    m.cpuSeconds = cpu / wall * m.wallSeconds;
    m.failures = failures;
    return m;
}

// Each takes the port in turn: the tool's port and libmodbus's are the same pty.
std::pair<Measure, Measure> SideBySide(const std::string& path, int speedIndex, int baud,
                                       int blocks, int rounds) {
    std::vector<Measure> ours, theirs;
    for (int b = 0; b < blocks; ++b) {
        {
            Ours master(path, modbus::kFramingRtu, speedIndex);
            ours.push_back(master.Run(rounds));
        }
        {
            Theirs master(path, baud);
            theirs.push_back(master.Run(rounds));
        }
    }
    return {Median(ours), Median(theirs)};
}

std::string Sim() {
    return bench::BinDir() + "/vantrel-sim";
}

void Row(const char* who, const Measure& m, double limit, double gap = 0) {
    std::printf("  %-10s %9.0f us/transaction", who, m.PerTransactionMicros());
    if (limit > 0)
        std::printf("   / line-time limit %.0f us = %.3f", limit, m.PerTransactionMicros() / limit);
    if (limit > 0 && gap > 0)
        std::printf("   / limit + gap %.0f us = %.3f", limit + gap,
                    m.PerTransactionMicros() / (limit + gap));
    std::printf("   CPU %.0f us/transaction", 1e6 * m.cpuSeconds / m.transactions);
    std::printf("   CPU/wall %.1f %%", 100 * m.CpuShare());
    if (m.failures)
        std::printf("   FAILURES %d", m.failures);
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv) {
    const int paced = argc > 1 ? std::atoi(argv[1]) : 4;
    const int unpaced = argc > 2 ? std::atoi(argv[2]) : 100;
    constexpr int kBlocks = 7;
    double clean9600 = 1;
    const std::string turnaround = std::to_string(kTurnaroundMs);
    std::printf("Identification reads (5 a round) against vantrel-sim over a pseudo-terminal;\n"
                "medians of %d blocks, ours and libmodbus taking turns\n",
                kBlocks);

    {
        bench::SimProcess sim(Sim(), {"--model", "Q4200", "--serial", "1234567", "--logger",
                                      "--baud", "9600", "--turnaround", turnaround});
        const double limit = LimitMicros(modbus::kFramingRtu, 9600, kTurnaroundMs);
        auto [ours, theirs] = SideBySide(sim.Path(), 3, 9600, kBlocks, paced);
        std::printf("paced, 9600 baud RTU, turnaround %d ms, %d rounds a block\n", kTurnaroundMs,
                    paced);
        Row("ours", ours, limit, GapMicros(9600));
        Row("libmodbus", theirs, limit);
        std::printf("  ours / libmodbus = %.3f\n",
                    ours.PerTransactionMicros() / theirs.PerTransactionMicros());
        clean9600 = ours.PerTransactionMicros();
    }
    {
        bench::SimProcess sim(Sim(), {"--model", "Q4200", "--serial", "1234567", "--logger",
                                      "--ascii", "--baud", "19200", "--turnaround", turnaround});
        const double limit = LimitMicros(modbus::kFramingAscii, 19200, kTurnaroundMs);
        std::vector<Measure> blocks;
        for (int b = 0; b < kBlocks; ++b) {
            Ours master(sim.Path(), modbus::kFramingAscii, 5);
            blocks.push_back(master.Run(paced));
        }
        std::printf("paced, 19200 baud ASCII, turnaround %d ms, %d rounds a block\n", kTurnaroundMs,
                    paced);
        Row("ours", Median(blocks), limit, GapMicros(19200));
    }
    {
        bench::SimProcess sim(Sim(), {"--model", "Q4200", "--serial", "1234567", "--logger",
                                      "--unpaced", "--turnaround", "0", "--baud", "38400"});
        auto [ours, theirs] = SideBySide(sim.Path(), 6, 38400, kBlocks, unpaced);
        const double limit = LimitMicros(modbus::kFramingRtu, 38400, 0);
        std::printf("unpaced, no turnaround, 38400 baud RTU, %d rounds a block (the master's "
                    "own cost)\n",
                    unpaced);
        Row("ours", ours, limit, GapMicros(38400));
        Row("libmodbus", theirs, limit);
        std::printf(
            "  ours / libmodbus = %.3f; less the gap ours keeps: %.3f; CPU %.3f\n",
            ours.PerTransactionMicros() / theirs.PerTransactionMicros(),
            (ours.PerTransactionMicros() - GapMicros(38400)) / theirs.PerTransactionMicros(),
            ours.cpuSeconds / ours.transactions / (theirs.cpuSeconds / theirs.transactions));
    }
    {
        // One answer in twenty comes 550 ms after its request, past the 500 ms time-out.
        bench::SimProcess sim(Sim(), {"--model", "Q4200", "--serial", "1234567", "--logger",
                                      "--baud", "9600", "--turnaround", turnaround, "--fault",
                                      "delay", "--fault-delay", "550", "--fault-rate", "0.05",
                                      "--fault-seed", "3"});
        std::vector<Measure> blocks;
        for (int b = 0; b < kBlocks; ++b) {
            Ours master(sim.Path(), modbus::kFramingRtu, 3);
            blocks.push_back(master.Run(paced));
        }
        const Measure m = Median(blocks);
        std::printf("paced, 9600 baud RTU, one answer in twenty late, %d rounds a block\n", paced);
        Row("ours", m, LimitMicros(modbus::kFramingRtu, 9600, kTurnaroundMs), GapMicros(9600));
        double wall = 0;
        int transactions = 0;
        for (const Measure& b : blocks) {
            wall += b.wallSeconds;
            transactions += b.transactions;
        }
        std::printf("  wall / the clean line's = %.2f (all blocks)\n",
                    1e6 * wall / transactions / clean9600);
    }
    {
        // Nobody answers at address 9: the master only waits out its time-outs.
        bench::SimProcess sim(Sim(), {"--model", "Q4200", "--serial", "1234567"});
        Ours master(sim.Path(), modbus::kFramingRtu, 3);
        master.Worker().SetRetries(1);
        master.Worker().SetResponseTimeOut(200);
        Measure m = master.Run(1, 9);
        std::printf("silent unit, 200 ms time-out, 1 try: %d transactions\n", m.transactions);
        std::printf("  ours       CPU/wall %.2f %% over %.2f s\n", 100 * m.CpuShare(),
                    m.wallSeconds);
    }
    return 0;
}
