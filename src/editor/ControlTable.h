#pragma once

#include "editor/Control.h"

#include <vector>

namespace vantrel::editor {

// The pages of the main window in tab order.
std::vector<Page> MainWindowPages();

// Every control of the main window with its page, captions, choices and limits.
std::vector<Control> MainWindowControls();

// Suffixes of the fifteen linearisation rows: "1" ... "9", "A" ... "F".
extern const char* const kRowSuffixes[15];

// The search of the line for a unit, on the HOME page and in the port setup dialog.
extern const char* const kFindUnitButtonCaption; // "Find unit..."

} // namespace vantrel::editor
