// vantrel-sim: one simulated unit on a pseudo-terminal, for trying the tool without
// hardware. Prints the port to open and serves it until SIGINT / SIGTERM.

#include "sim/SimLink.h"
#include "sim/SimUnit.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <pthread.h>
#include <string>
#include <string_view>
#include <vector>

using namespace vantrel::sim;

namespace {

const char kUsage[] =
    "usage: vantrel-sim --model MODEL --serial N [options]\n"
    "\n"
    "Serves one simulated unit on a pseudo-terminal and prints its path.\n"
    "\n"
    "  --model MODEL      R210-P R210-A R210-U R210-P-HX R212-A R212-P Q4200 N0456\n"
    "  --serial N         serial number, 0..16777215\n"
    "  --logger           with the data logger (Q4200 and R210-P-HX have one anyway)\n"
    "  --no-logger        without it (not possible for R210-P-HX)\n"
    "  --firmware N       firmware version as a number (default 30105 = 03:01:05)\n"
    "  --address N        slave address 1..247 (default 1)\n"
    "  --ascii            Modbus ASCII instead of RTU\n"
    "  --baud N           1200 2400 4800 9600 19200 38400 (default 9600)\n"
    "  --parity N|E|O     (default N)\n"
    "  --data-bits 7|8    (default 8)\n"
    "  --stop-bits 1|2    (default 1)\n"
    "  --link PATH        keep a symlink PATH pointing at the port\n"
    "  --turnaround MS    wait before answering (default 5)\n"
    "  --unpaced          answer at once instead of at the line's speed\n"
    "  --no-line-check    answer whatever speed the port is set to\n"
    "  --reboot-ms MS     silence after a restart / factory reset (default 1500)\n"
    "  --log-records N    records in the runtime list (default 24)\n"
    "  --flow N           steady flow rate in register units (default: moving about 123456)\n"
    "  --verbose          frames in and out on stderr\n"
    "  --help\n"
    "\n"
    "Faults (on requests the unit would answer):\n"
    "  --fault KIND       silence drop-answer bad-checksum wrong-address drop-last-byte\n"
    "                     truncate exception delay duplicate garbage-before garbage-after\n"
    "                     echo; may be given more than once. Without --fault-rate each\n"
    "                     of them hits every request; with it, a request is hit with\n"
    "                     probability R by one of them, drawn at random\n"
    "  --fault ignore-write=REG\n"
    "                     writes to the value at register REG are acknowledged and not\n"
    "                     carried out (the unit keeps its old value)\n"
    "  --fault-rate R     probability 0..1 that a request is hit\n"
    "  --fault-seed N     seed of the fault rate and of noise bytes (default 1)\n"
    "  --fault-register N only requests starting at register N are hit\n"
    "  --fault-delay MS   delay: how much later the answer starts (default 1000)\n"
    "  --fault-gap MS     duplicate: silence before the second copy (default 5)\n"
    "  --garbage-bytes N  garbage-before / garbage-after: noise bytes (default 1)\n";

int Usage(const std::string& problem) {
    if (!problem.empty())
        std::cerr << "vantrel-sim: " << problem << "\n";
    std::cerr << kUsage;
    return 2;
}

// A fault of the unit itself rather than of the link: "--fault ignore-write=REG".
constexpr const char* kIgnoreWrite = "ignore-write=";

struct FaultName {
    const char* name;
    FaultKind kind;
};
const FaultName kFaultNames[] = {
    {"silence", FaultKind::Silence},
    {"drop-answer", FaultKind::DropAnswer},
    {"bad-checksum", FaultKind::BadChecksum},
    {"wrong-address", FaultKind::WrongAddress},
    {"drop-last-byte", FaultKind::DropLastByte},
    {"truncate", FaultKind::Truncate},
    {"exception", FaultKind::Exception},
    {"delay", FaultKind::Delay},
    {"duplicate", FaultKind::Duplicate},
    {"garbage-before", FaultKind::GarbageBefore},
    {"garbage-after", FaultKind::GarbageAfter},
    {"echo", FaultKind::Echo},
};

bool ParseFaultKind(std::string_view text, FaultKind& out) {
    for (const FaultName& f : kFaultNames)
        if (text == f.name) {
            out = f.kind;
            return true;
        }
    return false;
}

bool ParseRate(std::string_view text, double& out) {
    const std::string copy(text);
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(copy.c_str(), &end);
    if (copy.empty() || errno != 0 || end != copy.c_str() + copy.size() || !(value >= 0) ||
        value > 1)
        return false;
    out = value;
    return true;
}

bool ParseNumber(std::string_view text, long long min, long long max, long long& out) {
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || value < min || value > max)
        return false;
    out = value;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    UnitOptions unit;
    LinkOptions link;
    bool haveModel = false, haveSerial = false, verbose = false;
    std::optional<bool> logger;
    int runtimeRecords = -1;
    long long steadyFlow = -1;
    long long n = 0;
    std::vector<FaultKind> faultKinds;
    std::optional<double> faultRate;
    uint32_t faultSeed = 1;
    int faultRegister = -1;
    std::optional<uint16_t> ignoredWrites;
    int faultDelayMs = 1000, faultGapMs = 5, garbageBytes = 1;

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&](std::string_view& out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string_view v;
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--model") {
            if (!value(v) || !ParseModel(v, unit.model))
                return Usage("unknown model");
            haveModel = true;
        } else if (arg == "--serial") {
            if (!value(v) || !ParseNumber(v, 0, 0xFFFFFF, n))
                return Usage("serial number must be 0..16777215");
            unit.serial = static_cast<uint32_t>(n);
            haveSerial = true;
        } else if (arg == "--logger") {
            logger = true;
        } else if (arg == "--no-logger") {
            logger = false;
        } else if (arg == "--firmware") {
            if (!value(v) || !ParseNumber(v, 0, 0xFFFFFFFFll, n))
                return Usage("bad firmware version");
            unit.firmware = static_cast<uint32_t>(n);
        } else if (arg == "--address") {
            if (!value(v) || !ParseNumber(v, 1, 247, n))
                return Usage("address must be 1..247");
            unit.comm.address = static_cast<uint8_t>(n);
        } else if (arg == "--ascii") {
            unit.comm.mode = kModeAscii;
        } else if (arg == "--baud") {
            if (!value(v) || !ParseNumber(v, 1, 1000000, n) || IndexForBaud(int(n)) < 0)
                return Usage("baud must be one of 1200 2400 4800 9600 19200 38400");
            unit.comm.baudIndex = IndexForBaud(static_cast<int>(n));
        } else if (arg == "--parity") {
            if (!value(v) || v.size() != 1 || !std::strchr("NEOneo", v[0]))
                return Usage("parity must be N, E or O");
            const char c = static_cast<char>(v[0] & ~0x20);
            unit.comm.parity = c == 'N' ? 0 : c == 'E' ? 1 : 2;
        } else if (arg == "--data-bits") {
            if (!value(v) || !ParseNumber(v, 7, 8, n))
                return Usage("data bits must be 7 or 8");
            unit.comm.dataBits = static_cast<int>(n);
        } else if (arg == "--stop-bits") {
            if (!value(v) || !ParseNumber(v, 1, 2, n))
                return Usage("stop bits must be 1 or 2");
            unit.comm.stopBits = static_cast<int>(n);
        } else if (arg == "--link") {
            if (!value(v) || v.empty())
                return Usage("--link needs a path");
            link.linkPath = std::string(v);
        } else if (arg == "--turnaround") {
            if (!value(v) || !ParseNumber(v, 0, 60000, n))
                return Usage("turnaround must be 0..60000 ms");
            link.turnaround = std::chrono::milliseconds(n);
        } else if (arg == "--unpaced") {
            link.paced = false;
        } else if (arg == "--no-line-check") {
            link.lineCheck = false;
        } else if (arg == "--reboot-ms") {
            if (!value(v) || !ParseNumber(v, 0, 600000, n))
                return Usage("reboot silence must be 0..600000 ms");
            unit.rebootSilence = std::chrono::milliseconds(n);
        } else if (arg == "--log-records") {
            if (!value(v) || !ParseNumber(v, 0, 65535, n))
                return Usage("log records must be 0..65535");
            runtimeRecords = static_cast<int>(n);
        } else if (arg == "--flow") {
            if (!value(v) || !ParseNumber(v, 0, 4294967295LL, n))
                return Usage("flow must be 0..4294967295");
            steadyFlow = n;
        } else if (arg == "--fault" && i + 1 < argc &&
                   std::string_view(argv[i + 1]).starts_with(kIgnoreWrite)) {
            v = std::string_view(argv[++i]).substr(std::strlen(kIgnoreWrite));
            if (!ParseNumber(v, 0, 65535, n))
                return Usage("ignore-write needs a register 0..65535");
            ignoredWrites = static_cast<uint16_t>(n);
        } else if (arg == "--fault") {
            FaultKind kind;
            if (!value(v) || !ParseFaultKind(v, kind))
                return Usage("unknown fault kind " + std::string(v) + " (see the list below)");
            faultKinds.push_back(kind);
        } else if (arg == "--fault-rate") {
            double rate = 0;
            if (!value(v) || !ParseRate(v, rate))
                return Usage("fault rate must be a number from 0 to 1");
            faultRate = rate;
        } else if (arg == "--fault-seed") {
            if (!value(v) || !ParseNumber(v, 0, 0xFFFFFFFFll, n))
                return Usage("fault seed must be 0..4294967295");
            faultSeed = static_cast<uint32_t>(n);
        } else if (arg == "--fault-register") {
            if (!value(v) || !ParseNumber(v, 0, 65535, n))
                return Usage("fault register must be 0..65535");
            faultRegister = static_cast<int>(n);
        } else if (arg == "--fault-delay") {
            if (!value(v) || !ParseNumber(v, 1, 600000, n))
                return Usage("fault delay must be 1..600000 ms");
            faultDelayMs = static_cast<int>(n);
        } else if (arg == "--fault-gap") {
            if (!value(v) || !ParseNumber(v, 1, 60000, n))
                return Usage("fault gap must be 1..60000 ms");
            faultGapMs = static_cast<int>(n);
        } else if (arg == "--garbage-bytes") {
            if (!value(v) || !ParseNumber(v, 1, 1000, n))
                return Usage("garbage bytes must be 1..1000");
            garbageBytes = static_cast<int>(n);
        } else if (arg == "--verbose") {
            verbose = true;
        } else {
            return Usage("unknown argument " + std::string(arg));
        }
    }
    if (!haveModel || !haveSerial)
        return Usage("--model and --serial are required");
    if (logger == false && ModelForcesLogger(unit.model))
        return Usage("this model always has a logger");
    if (faultKinds.empty() && (faultRate || faultRegister >= 0))
        return Usage("--fault-rate and --fault-register need a --fault KIND");
    unit.logger = logger;
    if (runtimeRecords >= 0)
        unit.logRecords[0] = runtimeRecords;

    // Signals are taken by sigwait below; blocked before the link thread starts so that it
    // inherits the mask and never gets them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    SimUnit simUnit(unit);
    simUnit.IgnoreWrites(ignoredWrites);
    if (steadyFlow >= 0)
        simUnit.SetFlowProfile(static_cast<uint32_t>(steadyFlow), 0, 60);
    SimLink simLink(simUnit, link);
    std::vector<Fault> faults;
    for (FaultKind kind : faultKinds) {
        Fault fault;
        fault.kind = kind;
        fault.count = kAlways;
        fault.reg = faultRegister;
        fault.delayMs = kind == FaultKind::Delay ? faultDelayMs : 0;
        fault.gapMs = faultGapMs;
        fault.garbageBytes = garbageBytes;
        faults.push_back(fault);
    }
    // Seeds the noise bytes also when every request is hit.
    simLink.SetRandomFaults({faultRate.value_or(0), faultSeed, faults, faultRegister});
    if (!faultRate)
        for (const Fault& fault : faults)
            simLink.InjectFault(fault);
    if (verbose)
        simLink.SetTrace(
            [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
    std::string error;
    if (!simLink.Start(error)) {
        std::cerr << "vantrel-sim: " << error << "\n";
        return 1;
    }
    std::printf("%s\n", simLink.SlavePath().c_str());
    std::fflush(stdout);
    if (verbose) {
        const CommSettings comm = simUnit.Comm();
        std::fprintf(stderr, "%s serial %u, address %d, %s %s %d%c%d%s\n", ModelName(unit.model),
                     unit.serial, comm.address, comm.mode == kModeAscii ? "ASCII" : "RTU",
                     SpeedName(comm.baudIndex), comm.dataBits, "NEO"[comm.parity], comm.stopBits,
                     simUnit.HasLogger() ? ", logger" : "");
    }

    int signal = 0;
    sigwait(&signals, &signal);
    simLink.Stop();
    return 0;
}
