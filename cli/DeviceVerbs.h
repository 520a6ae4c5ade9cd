#pragma once

// The verbs that do what the main window's buttons do: identify, values, clear-total,
// restart, factory-reset, read-config, write-config and diff-config.

#include "cli/Context.h"

namespace vantrel::cli {

int IdentifyVerb(Context& c);
int ValuesVerb(Context& c);
int ClearTotalVerb(Context& c);
int RestartVerb(Context& c);
int FactoryResetVerb(Context& c);
int ReadConfigVerb(Context& c);
int WriteConfigVerb(Context& c);
int DiffConfigVerb(Context& c);

} // namespace vantrel::cli
