#include "cli/ScanVerb.h"

#include "cli/JsonOutput.h"
#include "modbus/BusSettings.h"

#include <iostream>
#include <unistd.h>

namespace vantrel::cli {

namespace {

constexpr const char* kNoUnitFound = "No unit found.";
constexpr const char* kSearchCancelled = "The search was stopped.";
constexpr const char* kPortClosedDuringSearch = "The port was closed during the search.";

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t at = 0;
    for (;;) {
        const size_t end = text.find(separator, at);
        parts.push_back(text.substr(at, end == std::string::npos ? end : end - at));
        if (end == std::string::npos)
            return parts;
        at = end + 1;
    }
}

} // namespace

bool IsScanOption(const std::string& arg) {
    return arg == "--bauds" || arg == "--framing" || arg == "--addresses" || arg == "--all";
}

bool ParseScanArguments(const std::vector<std::string>& args, const CliOptions& options,
                        device::SearchPlan& plan, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--all") {
            plan.findAll = true;
            continue;
        }
        if (!IsScanOption(arg)) {
            error = "scan: unexpected argument " + arg;
            return false;
        }
        if (i + 1 >= args.size()) {
            error = "scan: " + arg + " needs a value";
            return false;
        }
        const std::string& value = args[++i];
        if (arg == "--bauds") {
            plan.speeds.clear();
            for (const std::string& baud : Split(value, ',')) {
                int found = -1;
                for (int s = 0; s < 9; ++s)
                    if (baud == modbus::kSpeedNames[s])
                        found = s;
                if (found < 0) {
                    error = "scan: --bauds: " + baud +
                            " is not one of 1200 2400 4800 9600 14400 19200 38400 57600 115200";
                    return false;
                }
                plan.speeds.push_back(found);
            }
        } else if (arg == "--framing") {
            if (value == "rtu")
                plan.framings = {modbus::kFramingRtu};
            else if (value == "ascii")
                plan.framings = {modbus::kFramingAscii};
            else if (value == "both")
                plan.framings = {modbus::kFramingRtu, modbus::kFramingAscii};
            else {
                error = "scan: --framing: " + value + " is not rtu, ascii or both";
                return false;
            }
        } else if (arg == "--addresses") {
            const std::vector<std::string> ends = Split(value, '-');
            int first = 0, last = 0;
            if (ends.size() > 2 || !ParseInt(ends.front(), 1, 247, first) ||
                !ParseInt(ends.back(), 1, 247, last) || last < first) {
                error = "scan: --addresses: " + value +
                        " is not a range A-B of addresses from 1 to 247";
                return false;
            }
            plan.firstAddress = first;
            plan.lastAddress = last;
        }
    }
    if (options.parity)
        plan.parities = {*options.parity};
    if (options.dataBits)
        plan.dataBits = {*options.dataBits};
    if (options.stopBits)
        plan.stopBits = *options.stopBits;
    if (options.timeOut)
        plan.probeTimeOutMs = *options.timeOut;
    if (plan.Passes().empty()) {
        error = "scan: 7 data bits go with ASCII only; add --framing ascii";
        return false;
    }
    return true;
}

int ScanVerb(Context& c) {
    device::SearchPlan plan;
    plan.stopBits = c.worker.StopBits();
    std::string error;
    if (!ParseScanArguments(c.options.args, c.options, plan, error)) {
        std::cerr << error << "\n";
        return kExitUsage;
    }
    device::TUnitSearch search(c.worker);
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    bool progressShown = false;
    search.progress = [&](const device::SearchProgress& p) {
        if (!terminal)
            return;
        std::cerr << "\r\033[K" << p.done << " of " << p.total << ", "
                  << device::SearchSettingsText(p.settings) << " address " << p.address << ", "
                  << device::TimeLeftText(p.msLeft) << " left" << std::flush;
        progressShown = true;
    };
    search.unitFound = [&](const device::FoundUnit& unit) {
        if (progressShown)
            std::cerr << "\r\033[K" << std::flush;
        if (!c.options.json)
            std::cout << device::FoundUnitText(unit) << std::endl;
    };
    const device::SearchEnd end = search.Run(plan);
    if (progressShown)
        std::cerr << "\r\033[K" << std::flush;
    const int bad = search.Progress().badAnswers;
    if (c.options.json)
        std::cout << ScanJson(search.Found(), bad) << std::flush;
    if (bad > 0)
        std::cerr << "Bad answers: " << bad << "\n";
    if (end == device::SearchEnd::PortClosed) {
        std::cerr << (c.worker.PortGone() ? c.worker.GoneText() : kPortClosedDuringSearch) << "\n";
        return search.Found().empty() ? kExitFailed : kExitDone;
    }
    if (end == device::SearchEnd::Cancelled)
        std::cerr << kSearchCancelled << "\n";
    if (search.Found().empty()) {
        std::cerr << kNoUnitFound << "\n";
        return kExitFailed;
    }
    return kExitDone;
}

} // namespace vantrel::cli
