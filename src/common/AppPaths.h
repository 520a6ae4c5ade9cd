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

// The running executable's file name without its folder.
std::string ExecutableName();

// A program's settings file name: its file name with the extension replaced by ".ini"
// ("vantrel" gives "vantrel.ini", "flowcfg.bin" "flowcfg.ini"). A last dot followed by digits
// only is part of the name ("vantrel-1.6" gives "vantrel-1.6.ini").
std::string SettingsFileName(const std::string& programName);

// The settings file of the program at `executablePath`: its settings file name beside it, or
// in the user's configuration folder when that folder is not writable.
std::string SettingsFilePathFor(const std::string& executablePath);

// The window's settings file, named after the running program, so that a renamed copy keeps
// its own settings.
std::string ProgramSettingsFilePath();

// The settings file the command-line tool shares with the window: "vantrel.ini" at
// AppFilePath.
std::string SettingsFilePath();

} // namespace vantrel
