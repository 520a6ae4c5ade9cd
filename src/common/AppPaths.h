#pragma once

#include <string>

namespace vantrel {

// Folder of the running executable.
std::string ExecutableDir();

// $XDG_CONFIG_HOME/vantrel, else ~/.config/vantrel (created on demand).
std::string UserConfigDir();

// The per-user folders of the XDG base directory rules, not created here:
// $XDG_STATE_HOME/vantrel, else ~/.local/state/vantrel (the ReadLog and WriteLog files), and
// $XDG_DATA_HOME/vantrel, else ~/.local/share/vantrel (the per-model default files).
std::string UserStateDir();
std::string UserDataDir();

// Creates `dir` and the folders above it that are missing. Empty when the folder is there
// afterwards; else what the user is told: "Unable to create the folder DIR: REASON."
std::string CreateFolder(const std::string& dir);

// True for a program that runs from an installed layout: it lies in PREFIX/bin and the
// package's desktop entry is in PREFIX/share/applications. A program in a build folder, or a
// copy put anywhere else, is not installed and keeps its files beside itself.
bool IsInstalledProgram(const std::string& executablePath);
bool RunningInstalled();

// Where a ReadLog or WriteLog of this name goes: the user's state folder once installed
// (created here; `error` tells when it cannot be), else AppFilePath.
std::string LogFilePath(const std::string& fileName, std::string* error = nullptr);

// Where a per-model default file of this name lives: the user's data folder once installed
// (created here; a folder that cannot be created makes the save fail naming it), else
// AppFilePath.
std::string DefaultsFilePath(const std::string& fileName);

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
// in the user's configuration folder when that folder is not writable or the program is
// installed.
std::string SettingsFilePathFor(const std::string& executablePath);

// The window's settings file, named after the running program, so that a renamed copy keeps
// its own settings.
std::string ProgramSettingsFilePath();

// The settings file the command-line tool shares with the window: "vantrel.ini" at
// AppFilePath.
std::string SettingsFilePath();

} // namespace vantrel
