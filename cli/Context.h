#pragma once

// What a verb of vantrel-cli gets to work with: the parsed command line, the worker on the
// opened port and the headless session (main window as data, device runs, prompts that
// answer as the GUI does with popups off).

#include "cli/CliOptions.h"
#include "modbus/ModThread.h"

#include <string>

namespace vantrel::cli {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

class Session;

// --log-traffic: every frame on standard error as the monitor shows it, as it happens.
class ConsoleTraffic final : public modbus::TrafficSink {
public:
    void Row(modbus::TrafficRow row) override;
};

struct Context {
    CliOptions& options;
    modbus::TModThread& worker;
    Session& session;

    // The message and the transaction's status text on standard error; kExitFailed.
    int Failure(const std::string& message, int result) const;
};

} // namespace vantrel::cli

#include <optional>
#include <vector>

namespace vantrel::cli {

// Takes "-o FILE" out of a verb's arguments. False (with the reason on the error stream)
// when -o has no file after it or comes twice.
bool TakeOutputOption(std::vector<std::string>& args, std::optional<std::string>& file);

} // namespace vantrel::cli
