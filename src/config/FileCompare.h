#pragma once

// A configuration file as the window would show it once loaded, to compare with: it is loaded
// into a window of its own with the same model and pages, so that the window's own values
// stay as they are. The loading is "Load Config."'s, with its model check and its messages.

#include "editor/Compare.h"
#include "editor/Form.h"

#include <optional>
#include <string>

namespace vantrel::config {

// The file's values as a snapshot of the parameters a configuration file holds; nothing
// when it could not be loaded, with the loading's own message in `error`.
std::optional<editor::Snapshot> FileSnapshot(const editor::Form& like, const std::string& path,
                                             std::string& error,
                                             const std::string& decimalSeparator = ".");

// The parameters of a configuration file, by control: what a comparison with a file can
// take from it.
std::vector<std::string> FileControls();

} // namespace vantrel::config
