// vantrel-cli: the tool's core on the command line, for scripted commissioning and tests.

#include "cli/CliOptions.h"
#include "cli/Context.h"
#include "cli/DeviceVerbs.h"
#include "cli/LogVerbs.h"
#include "cli/ScanVerb.h"
#include "cli/Session.h"
#include "cli/ValueText.h"
#include "device/ConnectionForm.h"
#include "modbus/ModThread.h"
#include "modbus/PortList.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iostream>
#include <string>

namespace {

using namespace vantrel;

using cli::Context;
using cli::kExitDone;
using cli::kExitFailed;
using cli::kExitUsage;

const char* const kUsage =
    "Usage: vantrel-cli [OPTIONS] VERB [ARGS]\n"
    "\n"
    "Options (default: the settings file's [Modbus] section, else RTU 9600 8N1,\n"
    "3 tries, 500 ms, RTU time-out 20 ms, slave 1):\n"
    "  --port PORT          COMn as 'ports' lists it, or a device path\n"
    "  --rtu, --ascii       framing\n"
    "  --baud N             1200 2400 4800 9600 14400 19200 38400 57600 115200\n"
    "  --parity P           none, even, odd\n"
    "  --data-bits N        8 or 7\n"
    "  --stop-bits N        1 or 2\n"
    "  --slave N            1 to 255\n"
    "  --tries N            1 to 10\n"
    "  --timeout MS         no-response time-out, 1 to 9999\n"
    "  --rtu-timeout MS     inter-character time-out, 0 to 9999 (0: framing default)\n"
    "  --settings FILE      settings file to read instead of the GUI's\n"
    "  --configure-as MODEL model for a unit whose model is not accepted\n"
    "  --log-traffic        print every frame to standard error as it happens\n"
    "  --watch SECONDS      values: repeat every SECONDS; --count N: stop after N samples\n"
    "  --json               identify, values, log-lists, diff-config, scan: one JSON document\n"
    "                       on standard output instead of the text lines\n"
    "  --help               this text; VERB --help for a verb\n"
    "\n"
    "Verbs:\n";

bool ParseRegister(const std::string& text, int& value) {
    return cli::ParseInt(text, 0, 65535, value);
}

bool ParseByteCount(const std::string& text, int& value) {
    return cli::ParseInt(text, 1, 254, value);
}

int RawRead(Context& c) {
    const auto& args = c.options.args;
    int reg = 0, count = 0;
    if (args.size() != 2 || !ParseRegister(args[0], reg) || !ParseByteCount(args[1], count)) {
        std::cerr << "raw-read REGISTER BYTECOUNT: register 0-65535, byte count 1-254\n";
        return kExitUsage;
    }
    std::vector<uint8_t> value(static_cast<size_t>(count));
    const int result =
        c.worker.ReadRegisters(value.data(), static_cast<uint8_t>(c.options.slave),
                               static_cast<uint16_t>(reg), static_cast<uint8_t>(count));
    if (result != modbus::kTransactionDone)
        return c.Failure("Read of register " + args[0] + " failed.", result);
    std::cout << cli::DecimalOfBytes(value) << " " << cli::HexOfBytes(value) << "\n";
    return kExitDone;
}

int RawWrite(Context& c) {
    const auto& args = c.options.args;
    int reg = 0, count = 0;
    if (args.size() != 3 || !ParseRegister(args[0], reg) || !ParseByteCount(args[1], count)) {
        std::cerr << "raw-write REGISTER BYTECOUNT VALUE: register 0-65535, byte count 1-254\n";
        return kExitUsage;
    }
    auto value = cli::BytesOfNumber(args[2], count);
    if (!value) {
        std::cerr << "raw-write: " << args[2] << " is not a number that fits in " << count
                  << " bytes\n";
        return kExitUsage;
    }
    const int result =
        c.worker.WriteRegisters(value->data(), static_cast<uint8_t>(c.options.slave),
                                static_cast<uint16_t>(reg), static_cast<uint8_t>(count));
    if (result != modbus::kTransactionDone)
        return c.Failure("Write of register " + args[0] + " failed.", result);
    return kExitDone;
}

struct Verb {
    const char* name;
    const char* synopsis;
    const char* help;
    bool needsPort;
    std::function<int(Context&)> run;
};

const std::vector<Verb>& Verbs() {
    static const std::vector<Verb> verbs = {
        {"ports", "ports", "Lists the serial ports: COMn, the device path, the adapter.", false,
         nullptr},
        {"raw-read", "raw-read REGISTER BYTECOUNT",
         "One read (function 3). Prints the value as unsigned decimal, then its bytes in hex,\n"
         "most significant first.",
         true, RawRead},
        {"raw-write", "raw-write REGISTER BYTECOUNT VALUE",
         "One write (function 16) of the BYTECOUNT low bytes of VALUE (decimal, 0x hex, or\n"
         "negative for two's complement).",
         true, RawWrite},
        {"identify", "identify",
         "Identifies the unit as \"Connect device\" does, and reads it. Prints its serial\n"
         "number, model, version, data logger and model-version key, one a line.",
         true, cli::IdentifyVerb},
        {"read-config", "read-config [-o FILE]",
         "Identifies and reads the unit and saves its configuration file (to standard\n"
         "output without -o). Progress on standard error.",
         true, cli::ReadConfigVerb},
        {"write-config", "write-config [--dry-run] [--no-verify] FILE",
         "Identifies and reads the unit, loads FILE (which must be of the unit's model)\n"
         "and writes it to the unit, then reads every written parameter back and compares\n"
         "(--no-verify skips that; a value the unit did not take fails the verb). With\n"
         "--dry-run nothing is sent: one line a parameter the write would change, as\n"
         "diff-config prints it. Progress on standard error.",
         true, cli::WriteConfigVerb},
        {"diff-config", "diff-config FILE",
         "Identifies and reads the unit and compares it with FILE (which must be of the\n"
         "unit's model): one line a difference, 'Page - Parameter: unit VALUE, file VALUE'.\n"
         "Exit 0 when none, 1 when they differ or the read failed.",
         true, cli::DiffConfigVerb},
        {"values", "values [--watch SECONDS [--count N]]",
         "The Runtime Values refresh: flow rate, total, accumulated total, battery and\n"
         "error status, one a line, with the units the window shows. With --watch the\n"
         "refresh every SECONDS (0.1 to 3600) until N samples or Ctrl+C: a CSV header, then\n"
         "one line a sample (empty values where the unit did not answer).",
         true, cli::ValuesVerb},
        {"clear-total", "clear-total", "Sets the unit's resettable total to zero.", true,
         cli::ClearTotalVerb},
        {"restart", "restart", "Restarts the unit, then identifies it again.", true,
         cli::RestartVerb},
        {"factory-reset", "factory-reset",
         "Resets the unit to its factory settings (the line returns to 9600 8N1 RTU), then\n"
         "identifies it again.",
         true, cli::FactoryResetVerb},
        {"log-lists", "log-lists",
         "The log lists of the log data window: one line a list, its index, a tab, its name.", true,
         cli::LogListsVerb},
        {"log-read", "log-read INDEX [-o FILE]",
         "A readout of log list INDEX (as log-lists shows it): the readout text, to standard\n"
         "output without -o, else saved to FILE with CR LF line ends.",
         true, cli::LogReadVerb},
        {"scan", "scan [--bauds LIST] [--framing rtu|ascii|both] [--addresses A-B] [--all]",
         "Searches the port for units: each address gets the identification's first read,\n"
         "one try with a short time-out (--timeout sets it), and what answers is identified.\n"
         "Stops at the first unit unless --all. Writes nothing to a unit. Prints one line a\n"
         "unit; progress on standard error when it is a terminal. --bauds: a comma-separated\n"
         "list (default: the units' speeds, common ones first); --framing: default both;\n"
         "--addresses: default 1-247; --parity and --data-bits, when given, set the\n"
         "character format (default 8 bits, no parity). Exit 0 found, 1 none.",
         true, cli::ScanVerb},
    };
    return verbs;
}

void PrintUsage(std::ostream& out) {
    out << kUsage;
    for (const Verb& verb : Verbs())
        out << "  " << verb.synopsis << "\n";
}

} // namespace

int main(int argc, char** argv) {
    cli::CliOptions options;
    std::string error;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!cli::ParseCommandLine(args, options, error)) {
        std::cerr << "vantrel-cli: " << error << "\n";
        PrintUsage(std::cerr);
        return kExitUsage;
    }
    const auto& choices = device::ConnectionChoices();
    if (!options.configureAs.empty() &&
        std::find(choices.begin(), choices.end(), options.configureAs) == choices.end()) {
        std::cerr << "vantrel-cli: --configure-as takes one of:";
        for (const std::string& model : choices)
            std::cerr << " " << model;
        std::cerr << "\n";
        return kExitUsage;
    }
    const Verb* verb = nullptr;
    for (const Verb& v : Verbs())
        if (options.verb == v.name)
            verb = &v;
    if (options.help) {
        if (verb)
            std::cout << "Usage: vantrel-cli [OPTIONS] " << verb->synopsis << "\n\n"
                      << verb->help << "\n";
        else
            PrintUsage(std::cout);
        return kExitDone;
    }
    if (!verb) {
        std::cerr << "vantrel-cli: unknown verb " << options.verb << "\n";
        PrintUsage(std::cerr);
        return kExitUsage;
    }
    const std::string jsonVerbs[] = {"identify", "values", "log-lists", "diff-config", "scan"};
    if (options.json && std::find(std::begin(jsonVerbs), std::end(jsonVerbs), options.verb) ==
                            std::end(jsonVerbs)) {
        std::cerr << "vantrel-cli: --json is for identify, values, log-lists, diff-config and "
                     "scan\n";
        return kExitUsage;
    }

    if ((options.watchMs || options.watchCount) && options.verb != "values") {
        std::cerr << "vantrel-cli: --watch and --count go with values only\n";
        return kExitUsage;
    }
    // Declared before the session: it stays attached to the session's worker to the end.
    cli::ConsoleTraffic traffic;
    cli::Session session(options);
    if (!session.Ready()) {
        std::cerr << "vantrel-cli: " << session.Error() << "\n";
        return kExitFailed;
    }

    if (!verb->needsPort) {
        for (const host::PortEntry& p : session.ports->Ports(false))
            std::cout << p.name << "\t" << p.path << "\t" << p.description << "\n";
        return kExitDone;
    }

    const int portNumber = session.PortNumber();
    if (portNumber == 0) {
        std::cerr << "vantrel-cli: no port given; use --port COMn or a device path\n";
        return kExitUsage;
    }
    if (options.logTraffic)
        session.Worker().SetTrafficSink(&traffic);
    if (!session.OpenPort(portNumber)) {
        std::cerr << "vantrel-cli: " << session.Error() << "\n";
        return kExitFailed;
    }
    Context context{options, session.Worker(), session};
    const int status = verb->run(context);
    session.host.RunPending();
    return status;
}
