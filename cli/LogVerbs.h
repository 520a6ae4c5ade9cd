#pragma once

// The verbs of the log data window: the unit's log lists, and the readout of one of them.

#include "cli/Context.h"

namespace vantrel::cli {

// log-lists: one line a list, its index, a tab, its name.
int LogListsVerb(Context& c);
// log-read INDEX [-o FILE]: the readout text, to standard output or, as the window saves it,
// to FILE.
int LogReadVerb(Context& c);

} // namespace vantrel::cli
