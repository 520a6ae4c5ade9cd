#include "cli/DeviceVerbs.h"

#include "cli/JsonOutput.h"
#include "cli/Session.h"
#include "common/Device.h"
#include "config/FileCompare.h"
#include "device/OperatorWatch.h"
#include "editor/Compare.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <iostream>
#include <optional>
#include <thread>

namespace vantrel::cli {

namespace {

// With popups off the GUI says nothing about parameters that failed in a bulk run (they are
// in its log); a script needs to hear it.
constexpr const char* kSomeNotRead =
    "Some values were not read correctly. Please check the ReadLog";
constexpr const char* kSomeNotWrittenCheck =
    "Some values were not written correctly. Please check the WriteLog";
// read-config's last line.
constexpr const char* kReadConfigDone = "read-config: the configuration was read from the unit.";
constexpr const char* kReadConfigIncomplete =
    "read-config: failed, some values were not read correctly and nothing was saved. Please "
    "check the ReadLog";
constexpr const char* kReadConfigFailed =
    "read-config: failed, the configuration was not read and nothing was saved.";
constexpr const char* kWatchFailed = "values: failed, the unit stopped answering.";
constexpr const char* kReadConfigNotWritten =
    "read-config: failed, the configuration was read but not saved.";

bool Shown(const Session& s, const char* text) {
    return std::find(s.prompts.shown.begin(), s.prompts.shown.end(), text) != s.prompts.shown.end();
}

// A run failed. When the unit did not answer as it should (the run showed an error), the last
// transaction's status text follows the tool's own message; a unit of a model the tool does
// not take has answered well, and the read of a missing data logger is no news.
int Failed(Context& c, int errorsBefore) {
    if (c.session.prompts.errors != errorsBefore && c.worker.LastResult() != 0)
        std::cerr << c.worker.ResultText() << "\n";
    return kExitFailed;
}

bool NoArguments(Context& c, const char* verb) {
    if (c.options.args.empty())
        return true;
    std::cerr << verb << " takes no arguments\n";
    return false;
}

// Identification and the read that follows it, as "Connect device" does with popups off.
// False when no unit was accepted or the read failed, also when only some parameters failed:
// what every verb gives depends on values read (the decimals of the operator values, the
// unit's own settings a file is compared with).
bool IdentifyAndRead(Context& c) {
    Session& s = c.session;
    const int errorsBefore = s.prompts.errors;
    s.transferErrors = false;
    if (!s.Identify() || s.prompts.errors != errorsBefore)
        return false;
    if (s.form->ExpectedSerialNumber != s.device.SerialNumber) {
        // The read did not start (another unit took the bus meanwhile).
        return false;
    }
    if (s.transferErrors) {
        std::cerr << s.CheckLogText(kSomeNotRead, "ReadLog") << "\n";
        return false;
    }
    return true;
}

void PrintIdentity(const Device& device) {
    std::cout << "Serial number: " << PaddedDigits(device.SerialNumber, 7) << "\n"
              << "Model: " << device.Model << "\n"
              << "Version: " << VersionText(device.Version()) << "\n"
              << "Data logger: " << (device.HasDataLog ? "yes" : "no") << "\n"
              << "Model-version key: " << device.ModelVersionKey() << "\n";
}

} // namespace

int IdentifyVerb(Context& c) {
    if (!NoArguments(c, "identify"))
        return kExitUsage;
    const int errorsBefore = c.session.prompts.errors;
    if (!IdentifyAndRead(c))
        return Failed(c, errorsBefore);
    if (c.options.json)
        std::cout << IdentityJson(c.session.device);
    else
        PrintIdentity(c.session.device);
    return kExitDone;
}

namespace {

// Set by Ctrl+C (and a polite kill): the watch ends after the sample in hand.
volatile std::sig_atomic_t stopWatching = 0;

extern "C" void StopWatching(int) {
    stopWatching = 1;
}

// "12.34 mL/Sec": a value with the unit the window shows beside it; a value the window does
// not show as a number gets none.
std::string WithUnit(const std::string& value, const std::string& unit) {
    if (unit.empty() || value == "Not available")
        return value;
    return value + " " + unit;
}

int WatchValues(Context& c, int intervalMs, std::optional<int> count) {
    Session& s = c.session;
    device::TOperatorWatch watch(*s.access, *s.values);
    watch.keepMs = 0; // the lines are the record; nothing is kept for a trend
    stopWatching = 0;
    struct sigaction action {};
    action.sa_handler = StopWatching;
    sigemptyset(&action.sa_mask);
    struct sigaction oldInt {};
    struct sigaction oldTerm {};
    sigaction(SIGINT, &action, &oldInt);
    sigaction(SIGTERM, &action, &oldTerm);
    const auto restore = [&] {
        sigaction(SIGINT, &oldInt, nullptr);
        sigaction(SIGTERM, &oldTerm, nullptr);
    };

    using Clock = std::chrono::steady_clock;
    const auto interval = std::chrono::milliseconds(intervalMs);
    std::cout << device::SampleCsvHeader() << std::endl;
    auto next = Clock::now();
    int taken = 0;
    while (!stopWatching) {
        const device::OperatorSample& sample = watch.TakeSample();
        ++taken;
        std::cout << device::SampleCsvLine(sample, device::FlowRateUnitText(*s.form),
                                           device::TotalUnitText(*s.form))
                  << std::endl;
        if (!sample.ok) {
            // A gap while the unit still answers now and then; the end once it is gone.
            const std::string lost = device::LostLineText(c.worker);
            if (!lost.empty()) {
                restore();
                std::cerr << lost << "\n" << c.worker.ResultText() << "\n" << kWatchFailed << "\n";
                return kExitFailed;
            }
        }
        if (count && taken >= *count)
            break;
        // Samples keep to the interval's beat; a read that took longer than it starts the
        // next at once rather than catching up with a burst.
        next += interval;
        const auto now = Clock::now();
        if (next < now)
            next = now;
        while (!stopWatching && Clock::now() < next)
            std::this_thread::sleep_for(
                std::min<Clock::duration>(next - Clock::now(), std::chrono::milliseconds(50)));
    }
    restore();
    return kExitDone;
}

} // namespace

int ValuesVerb(Context& c) {
    if (!NoArguments(c, "values [--watch SECONDS [--count N]]"))
        return kExitUsage;
    if (c.options.watchCount && !c.options.watchMs) {
        std::cerr << "values: --count goes with --watch SECONDS\n";
        return kExitUsage;
    }
    Session& s = c.session;
    const int errorsBefore = s.prompts.errors;
    // The values are scaled by decimals read from the unit: a failed read fails the verb.
    if (!IdentifyAndRead(c))
        return Failed(c, errorsBefore);
    if (c.options.watchMs)
        return WatchValues(c, *c.options.watchMs, c.options.watchCount);
    s.values->RefeshButtonClick();
    if (s.prompts.errors != errorsBefore || s.form->statusPanels[1] != device::kRefreshedStatus)
        return Failed(c, errorsBefore);
    const editor::Form& f = *s.form;
    if (c.options.json) {
        std::cout << ValuesJson(f);
        return std::cout.flush() ? kExitDone : kExitFailed;
    }
    const std::string flowUnit = device::FlowRateUnitText(f);
    const std::string totalUnit = device::TotalUnitText(f);
    std::cout << "Flow rate: " << WithUnit(f["FlowrateValueLabel"].text, flowUnit) << "\n"
              << "Total: " << WithUnit(f["TotalValueLabel"].text, totalUnit) << "\n"
              << "Acc. total: " << WithUnit(f["AccTotalValueLabel"].text, totalUnit) << "\n"
              << "Battery status: " << f["lblBatteryStatus"].text << "\n"
              << "Error status: " << f["lblErrorStatus"].text << "\n";
    return kExitDone;
}

int ClearTotalVerb(Context& c) {
    if (!NoArguments(c, "clear-total"))
        return kExitUsage;
    Session& s = c.session;
    const int errorsBefore = s.prompts.errors;
    if (!IdentifyAndRead(c))
        return Failed(c, errorsBefore);
    s.values->ClearTotalButtonClick();
    if (s.prompts.errors != errorsBefore || s.form->statusPanels[1] != device::kClearedStatus)
        return Failed(c, errorsBefore);
    return kExitDone;
}

namespace {

// Restart and factory reset: the command, then the identification (and read) it ends with.
int Command(Context& c, void (device::TDeviceCommands::*click)(), const char* failedText) {
    Session& s = c.session;
    const int errorsBefore = s.prompts.errors;
    (s.commands.get()->*click)();
    if (Shown(s, failedText)) {
        std::cerr << c.worker.ResultText() << "\n";
        return kExitFailed;
    }
    if (s.device.SerialNumber == -1 || s.prompts.errors != errorsBefore)
        return Failed(c, errorsBefore);
    return kExitDone;
}

} // namespace

int RestartVerb(Context& c) {
    if (!NoArguments(c, "restart"))
        return kExitUsage;
    return Command(c, &device::TDeviceCommands::RestartButtonClick, device::kRestartFailedText);
}

int FactoryResetVerb(Context& c) {
    if (!NoArguments(c, "factory-reset"))
        return kExitUsage;
    return Command(c, &device::TDeviceCommands::FactoryResetButtonClick,
                   device::kFactoryResetFailedText);
}

int ReadConfigVerb(Context& c) {
    std::optional<std::string> file;
    if (!TakeOutputOption(c.options.args, file))
        return kExitUsage;
    if (!NoArguments(c, "read-config [-o FILE]"))
        return kExitUsage;
    Session& s = c.session;
    s.showProgress = true;
    const int errorsBefore = s.prompts.errors;
    // The window's status texts come and go on the way; the verb's last line says how it
    // ended, whatever they said.
    if (!IdentifyAndRead(c)) {
        const int exit = Failed(c, errorsBefore);
        if (s.transferErrors)
            std::cerr << s.CheckLogText(kReadConfigIncomplete, "ReadLog") << "\n";
        else
            std::cerr << kReadConfigFailed << "\n";
        return exit;
    }
    // As "Save Config." writes it: the unit's model-version key, "=" between key and value.
    const std::string id = s.device.ModelVersionKey();
    if (!file) {
        std::cout << s.configFiles->ConfigurationText(id, "=", false);
        if (!std::cout.flush()) {
            std::cerr << kReadConfigNotWritten << "\n";
            return kExitFailed;
        }
        std::cerr << kReadConfigDone << "\n";
        return kExitDone;
    }
    std::string error;
    if (!s.configFiles->WriteConfigurationFile(*file, id, "=", false, &error)) {
        std::cerr << config::kUnableToSave << "\n" << error << "\n" << kReadConfigNotWritten
                  << "\n";
        return kExitFailed;
    }
    std::cerr << kReadConfigDone << " Saved to " << *file << ".\n";
    return kExitDone;
}

namespace {

// Takes a flag out of a verb's arguments; true when it was there.
bool TakeFlag(std::vector<std::string>& args, const char* flag) {
    const auto found = std::find(args.begin(), args.end(), flag);
    if (found == args.end())
        return false;
    args.erase(found);
    return true;
}

void PrintDifferences(const std::vector<editor::Difference>& differences) {
    for (const editor::Difference& d : differences)
        std::cout << editor::DifferenceLine(d, "unit", "file") << "\n";
}

} // namespace

int WriteConfigVerb(Context& c) {
    auto& args = c.options.args;
    const bool dryRun = TakeFlag(args, "--dry-run");
    const bool check = !TakeFlag(args, "--no-verify");
    if (args.size() != 1) {
        std::cerr << "write-config [--dry-run] [--no-verify] FILE: one configuration file\n";
        return kExitUsage;
    }
    Session& s = c.session;
    s.showProgress = true;
    const int errorsBefore = s.prompts.errors;
    if (!IdentifyAndRead(c))
        return Failed(c, errorsBefore);
    // As "Load Config." reads it: only a file of the unit's model is taken.
    if (!s.configFiles->ReadConfigurationFile(args[0], s.device.Model, false)) {
        std::cerr << s.configFiles->LoadFailureText() << "\n";
        return kExitFailed;
    }
    s.rules->UpdateValues();

    if (dryRun) {
        // What the write would send that the unit does not hold already; nothing is sent.
        const editor::Snapshot* unitValues = s.access->UnitValues();
        const auto differences =
            unitValues ? editor::Differences(*unitValues, editor::TakeSnapshot(*s.form))
                       : std::nullopt;
        if (!differences) {
            std::cerr << "write-config: the unit's values are not known; nothing was compared.\n";
            return kExitFailed;
        }
        PrintDifferences(*differences);
        return std::cout.flush() ? kExitDone : kExitFailed;
    }

    const int errorsBeforeWrite = s.prompts.errors;
    s.transferErrors = false;
    s.access->checkAfterWriting = check;
    s.access->UploadButtonClick();
    if (s.prompts.errors != errorsBeforeWrite)
        return Failed(c, errorsBeforeWrite);
    if (s.transferErrors) {
        std::cerr << s.CheckLogText(kSomeNotWrittenCheck, "WriteLog") << "\n";
        return kExitFailed;
    }
    return kExitDone;
}

int DiffConfigVerb(Context& c) {
    auto& args = c.options.args;
    if (args.size() != 1) {
        std::cerr << "diff-config FILE: one configuration file\n";
        return kExitUsage;
    }
    Session& s = c.session;
    const int errorsBefore = s.prompts.errors;
    if (!IdentifyAndRead(c))
        return Failed(c, errorsBefore);
    const editor::Snapshot* unitValues = s.access->UnitValues();
    std::string error;
    // The file goes into a window of its own; the unit's values stay as read.
    const std::optional<editor::Snapshot> file = config::FileSnapshot(*s.form, args[0], error);
    if (!file) {
        std::cerr << error << "\n";
        return kExitFailed;
    }
    const auto differences = unitValues ? editor::Differences(*unitValues, *file) : std::nullopt;
    if (!differences) {
        std::cerr << "diff-config: the unit's values are not known; nothing was compared.\n";
        return kExitFailed;
    }
    if (c.options.json)
        std::cout << DifferencesJson(s.device, args[0], *differences);
    else
        PrintDifferences(*differences);
    if (!std::cout.flush())
        return kExitFailed;
    return differences->empty() ? kExitDone : kExitFailed;
}

} // namespace vantrel::cli
