#include "cli/CliOptions.h"

#include <charconv>

namespace vantrel::cli {

bool ParseInt(const std::string& text, int low, int high, int& value) {
    int number = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || number < low ||
        number > high)
        return false;
    value = number;
    return true;
}

bool ParseWatchSeconds(const std::string& text, std::optional<int>& ms) {
    // Seconds with at most three decimals, as milliseconds: "0.5", "2", "1.25".
    if (text.find_first_not_of("0123456789.") != std::string::npos)
        return false;
    const size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
    if (fraction.size() > 3 || (whole.empty() && fraction.empty()))
        return false;
    int seconds = 0, thousandths = 0;
    if (!whole.empty() && !ParseInt(whole, 0, 3600, seconds))
        return false;
    if (!fraction.empty()) {
        fraction.resize(3, '0');
        if (!ParseInt(fraction, 0, 999, thousandths))
            return false;
    }
    const int total = seconds * 1000 + thousandths;
    if (total < 100 || total > 3600 * 1000)
        return false;
    ms = total;
    return true;
}

bool ParseCommandLine(const std::vector<std::string>& argv, CliOptions& o, std::string& error) {
    for (size_t i = 0; i < argv.size(); ++i) {
        const std::string& arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argv.size()) {
                error = arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        auto number = [&](int low, int high, std::optional<int>& out) {
            std::string text;
            int n = 0;
            if (!value(text))
                return false;
            if (!ParseInt(text, low, high, n)) {
                error = arg + ": " + text + " is not a number from " + std::to_string(low) +
                        " to " + std::to_string(high);
                return false;
            }
            out = n;
            return true;
        };
        // The search's own options follow its verb.
        const bool scanOption = o.verb == "scan" && (arg == "--bauds" || arg == "--framing" ||
                                                     arg == "--addresses" || arg == "--all");
        if (!o.verb.empty() && (arg.empty() || arg[0] != '-' || arg == "-o" || scanOption ||
                                arg == "--dry-run" || arg == "--no-verify")) {
            // Verb arguments, and the verb's own "-o FILE".
            o.args.push_back(arg);
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--port") {
            if (!value(o.port))
                return false;
        } else if (arg == "--rtu") {
            o.framing = modbus::kFramingRtu;
        } else if (arg == "--ascii") {
            o.framing = modbus::kFramingAscii;
        } else if (arg == "--baud") {
            std::string text;
            if (!value(text))
                return false;
            int found = -1;
            for (int s = 0; s < 9; ++s)
                if (text == modbus::kSpeedNames[s])
                    found = s;
            if (found < 0) {
                error = "--baud: " + text +
                        " is not one of 1200 2400 4800 9600 14400 19200 38400 57600 115200";
                return false;
            }
            o.speed = found;
        } else if (arg == "--parity") {
            std::string text;
            if (!value(text))
                return false;
            if (text == "none")
                o.parity = 0;
            else if (text == "even")
                o.parity = 1;
            else if (text == "odd")
                o.parity = 2;
            else {
                error = "--parity: " + text + " is not none, even or odd";
                return false;
            }
        } else if (arg == "--data-bits") {
            std::optional<int> bits;
            if (!number(7, 8, bits))
                return false;
            o.dataBits = *bits == 8 ? 0 : 1;
        } else if (arg == "--stop-bits") {
            std::optional<int> bits;
            if (!number(1, 2, bits))
                return false;
            o.stopBits = *bits - 1;
        } else if (arg == "--slave") {
            std::optional<int> slave;
            if (!number(1, 255, slave))
                return false;
            o.slave = *slave;
        } else if (arg == "--tries") {
            if (!number(1, 10, o.retries))
                return false;
        } else if (arg == "--timeout") {
            if (!number(1, 9999, o.timeOut))
                return false;
        } else if (arg == "--rtu-timeout") {
            if (!number(0, 9999, o.rtuTimeOut))
                return false;
        } else if (arg == "--settings") {
            if (!value(o.settingsFile))
                return false;
        } else if (arg == "--configure-as") {
            if (!value(o.configureAs))
                return false;
        } else if (arg == "--log-traffic") {
            o.logTraffic = true;
        } else if (arg == "--watch") {
            std::string text;
            if (!value(text))
                return false;
            if (!ParseWatchSeconds(text, o.watchMs)) {
                error = "--watch: " + text + " is not a number of seconds from 0.1 to 3600";
                return false;
            }
        } else if (arg == "--count") {
            if (!number(1, 1000000000, o.watchCount))
                return false;
        } else if (arg == "--json") {
            o.json = true;
        } else if (!arg.empty() && arg[0] == '-' && arg.size() > 1 &&
                   !(arg[1] >= '0' && arg[1] <= '9')) {
            error = "unknown option " + arg;
            return false;
        } else if (o.verb.empty()) {
            o.verb = arg;
        } else {
            o.args.push_back(arg);
        }
    }
    if (o.verb.empty() && !o.help) {
        error = "no verb given";
        return false;
    }
    return true;
}

modbus::BusSettings EffectiveSettings(const CliOptions& o, const IniFile& settingsFile) {
    modbus::BusSettings s; // the GUI's start-up defaults
    modbus::ReadBusSettings(settingsFile, s);
    if (o.framing)
        s.framing = *o.framing;
    if (o.speed)
        s.speed = *o.speed;
    if (o.dataBits)
        s.dataBits = *o.dataBits;
    if (o.parity)
        s.parity = *o.parity;
    if (o.stopBits)
        s.stopBits = *o.stopBits;
    if (o.retries)
        s.retries = *o.retries;
    if (o.timeOut)
        s.timeOut = *o.timeOut;
    if (o.rtuTimeOut)
        s.rtuTimeOut = *o.rtuTimeOut;
    return s;
}

} // namespace vantrel::cli
