#include "common/AppPaths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {

namespace {

// The running executable's full path; empty when the system does not say.
std::string ExecutablePath() {
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n <= 0 ? std::string() : std::string(buffer, static_cast<size_t>(n));
}

// The folder part of a path: "." when there is none, "/" for a file at the root.
std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

// The file name part of a path.
std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// `dir` when this process may write there, the user's configuration folder otherwise.
std::string WritableFolder(const std::string& dir) {
    return ::access(dir.c_str(), W_OK) == 0 ? dir : UserConfigDir();
}

// $VARIABLE/vantrel when the variable is set to an absolute path (the XDG rules ignore a
// relative one), else ~/FALLBACK/vantrel.
std::string XdgFolder(const char* variable, const char* fallback) {
    if (const char* xdg = std::getenv(variable); xdg && xdg[0] == '/')
        return std::string(xdg) + "/vantrel";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/" + fallback + "/vantrel";
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

std::string ExecutableDir() {
    const std::string path = ExecutablePath();
    return path.empty() ? "." : FolderOf(path);
}

std::string UserConfigDir() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.config";
    else
        base = "/tmp";
    std::string dir = base + "/vantrel";
    // A folder that cannot be made shows when the settings are loaded or saved there.
    CreateFolder(dir);
    return dir;
}

std::string UserStateDir() {
    return XdgFolder("XDG_STATE_HOME", ".local/state");
}

std::string UserDataDir() {
    return XdgFolder("XDG_DATA_HOME", ".local/share");
}

std::string CreateFolder(const std::string& dir) {
    // Each level in turn, so that the reason given is the one of the level that failed.
    for (size_t end = dir.find('/', 1);; end = dir.find('/', end + 1)) {
        const std::string level = dir.substr(0, end);
        if (!level.empty() && ::mkdir(level.c_str(), 0755) != 0 && errno != EEXIST)
            return "Unable to create the folder " + dir + ": " + std::strerror(errno) + ".";
        if (end == std::string::npos)
            break;
    }
    if (!IsFolder(dir))
        return "Unable to create the folder " + dir + ": a file of that name is in the way.";
    return {};
}

bool IsInstalledProgram(const std::string& executablePath) {
    const std::string dir = FolderOf(executablePath);
    if (NameOf(dir) != "bin")
        return false;
    const std::string prefix = FolderOf(dir);
    struct stat info {};
    return ::stat((prefix + "/share/applications/vantrel.desktop").c_str(), &info) == 0;
}

bool RunningInstalled() {
    static const bool installed = IsInstalledProgram(ExecutablePath());
    return installed;
}

std::string LogFilePath(const std::string& fileName, std::string* error) {
    if (!RunningInstalled())
        return AppFilePath(fileName);
    const std::string dir = UserStateDir();
    const std::string problem = CreateFolder(dir);
    if (error)
        *error = problem;
    return dir + "/" + fileName;
}

std::string DefaultsFilePath(const std::string& fileName) {
    if (!RunningInstalled())
        return AppFilePath(fileName);
    const std::string dir = UserDataDir();
    CreateFolder(dir);
    return dir + "/" + fileName;
}

std::string AppFilePath(const std::string& fileName) {
    return WritableFolder(ExecutableDir()) + "/" + fileName;
}

std::string SettingsFilePath() {
    return RunningInstalled() ? UserConfigDir() + "/vantrel.ini" : AppFilePath("vantrel.ini");
}

std::string ExecutableName() {
    const std::string path = ExecutablePath();
    return path.empty() ? "vantrel" : NameOf(path);
}

std::string SettingsFileName(const std::string& programName) {
    std::string name = programName.empty() ? std::string("vantrel") : programName;
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0 && dot + 1 < name.size() &&
        name.find_first_not_of("0123456789", dot + 1) != std::string::npos)
        name.erase(dot);
    return name + ".ini";
}

std::string SettingsFilePathFor(const std::string& executablePath) {
    // An installed program keeps no settings in its folder even when it may write there (as
    // root may), so that every user has their own.
    const std::string dir = IsInstalledProgram(executablePath)
                                ? UserConfigDir()
                                : WritableFolder(FolderOf(executablePath));
    return (dir == "/" ? "" : dir) + "/" + SettingsFileName(NameOf(executablePath));
}

std::string ProgramSettingsFilePath() {
    const std::string path = ExecutablePath();
    return SettingsFilePathFor(path.empty() ? "./vantrel" : path);
}

} // namespace vantrel
