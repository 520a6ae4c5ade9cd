#pragma once

#include <string>

namespace vantrel {

// Folder of the running executable.
std::string ExecutableDir();

// $XDG_CONFIG_HOME/vantrel, else ~/.config/vantrel (created on demand).
std::string UserConfigDir();

// Where the tool keeps a file of its own (settings, per-model defaults): beside the
// executable, or in the user's configuration folder when that folder is not writable.
std::string AppFilePath(const std::string& fileName);

// The settings file: "vantrel.ini" at AppFilePath.
std::string SettingsFilePath();

} // namespace vantrel
