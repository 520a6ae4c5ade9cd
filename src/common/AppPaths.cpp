#include "common/AppPaths.h"

#include <cstdlib>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {

std::string ExecutableDir() {
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return ".";
    std::string path(buffer, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
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
    std::string dir = ExecutableDir();
    if (::access(dir.c_str(), W_OK) == 0)
        return dir + "/" + fileName;
    return UserConfigDir() + "/" + fileName;
}

std::string SettingsFilePath() { return AppFilePath("vantrel.ini"); }

std::string ExecutableName() {
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return "vantrel";
    const std::string path(buffer, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
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
    const size_t slash = executablePath.rfind('/');
    const std::string dir = slash == std::string::npos
                                ? std::string(".")
                                : executablePath.substr(0, slash == 0 ? 1 : slash);
    const std::string file = SettingsFileName(
        slash == std::string::npos ? executablePath : executablePath.substr(slash + 1));
    if (::access(dir.c_str(), W_OK) == 0)
        return (dir == "/" ? "" : dir) + "/" + file;
    return UserConfigDir() + "/" + file;
}

std::string ProgramSettingsFilePath() {
    return SettingsFilePathFor(ExecutableDir() + "/" + ExecutableName());
}

} // namespace vantrel
