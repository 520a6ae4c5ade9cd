#pragma once

// The search of the line for units: `scan [--bauds LIST] [--framing rtu|ascii|both]
// [--addresses A-B] [--all]`.

#include "cli/Context.h"
#include "device/UnitSearch.h"

#include <string>
#include <vector>

namespace vantrel::cli {

// The verb's own options, which follow the verb on the command line.
bool IsScanOption(const std::string& arg);

// The verb's arguments over a plan (the global --parity, --data-bits and --timeout options,
// when given, are the search's character format and probe time-out). False, with the reason
// in error, on a wrong argument.
bool ParseScanArguments(const std::vector<std::string>& args, const CliOptions& options,
                        device::SearchPlan& plan, std::string& error);

int ScanVerb(Context& c);

} // namespace vantrel::cli
