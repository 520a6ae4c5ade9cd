#pragma once

#include "modbus/BusSettings.h"

#include <optional>
#include <string>
#include <vector>

namespace vantrel::cli {

struct CliOptions {
    std::string port;          // "COMn" or a device path; empty: the settings file's port
    std::string settingsFile;  // empty: the GUI's settings file
    std::string configureAs;
    bool logTraffic = false;
    bool json = false; // one JSON document on standard output instead of the text lines
    bool help = false;
    int slave = 1;
    std::optional<int> framing, speed, dataBits, parity, stopBits, retries, timeOut, rtuTimeOut;
    std::optional<int> watchMs, watchCount; // values --watch SECONDS --count N
    std::string verb;
    std::vector<std::string> args;
};

// A whole decimal number from low to high, nothing else in the text.
bool ParseInt(const std::string& text, int low, int high, int& value);

// "--watch"'s seconds (0.1 to 3600, at most three decimals) as milliseconds.
bool ParseWatchSeconds(const std::string& text, std::optional<int>& ms);

// Parses the command line (without argv[0]). On a wrong command line returns false with the
// reason in error.
bool ParseCommandLine(const std::vector<std::string>& argv, CliOptions& options,
                      std::string& error);

// The start-up defaults, then the settings file, then the options given.
modbus::BusSettings EffectiveSettings(const CliOptions& options, const IniFile& settingsFile);

} // namespace vantrel::cli
