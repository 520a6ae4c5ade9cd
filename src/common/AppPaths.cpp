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

} // namespace vantrel
