#include "cli/Context.h"

#include "cli/Session.h"

#include <iostream>

namespace vantrel::cli {

void ConsoleTraffic::Row(modbus::TrafficRow row) {
    std::cerr << modbus::RowLine(row) << std::endl;
}

int Context::Failure(const std::string& message, int result) const {
    std::cerr << message << "\n";
    if (result == modbus::kTransactionNotStarted)
        std::cerr << worker.TrafficLog() << "\n";
    else
        std::cerr << worker.ResultText() << "\n";
    return kExitFailed;
}

} // namespace vantrel::cli

namespace vantrel::cli {

bool TakeOutputOption(std::vector<std::string>& args, std::optional<std::string>& file) {
    for (size_t i = 0; i < args.size();) {
        if (args[i] != "-o") {
            ++i;
            continue;
        }
        if (i + 1 >= args.size() || file) {
            std::cerr << (file ? "-o given twice\n" : "-o needs a file name\n");
            return false;
        }
        file = args[i + 1];
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                   args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
    }
    return true;
}

} // namespace vantrel::cli
