#include "common/AppPaths.h"

#include <cstdlib>
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
    ::mkdir(base.c_str(), 0755);
    std::string dir = base + "/vantrel";
    ::mkdir(dir.c_str(), 0755);
    return dir;
}

std::string AppFilePath(const std::string& fileName) {
    return WritableFolder(ExecutableDir()) + "/" + fileName;
}

std::string SettingsFilePath() { return AppFilePath("vantrel.ini"); }

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
    const std::string dir = WritableFolder(FolderOf(executablePath));
    return (dir == "/" ? "" : dir) + "/" + SettingsFileName(NameOf(executablePath));
}

std::string ProgramSettingsFilePath() {
    const std::string path = ExecutablePath();
    return SettingsFilePathFor(path.empty() ? "./vantrel" : path);
}

} // namespace vantrel
