#include "modbus/PortList.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel::modbus {

namespace {

constexpr const char* kPortsSection = "Ports";

std::vector<std::string> ListDir(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string RealPath(const std::string& path) {
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

std::string FirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return Trim(line);
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// "usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0" -> "FTDI FT232R USB UART A10K1234".
std::string DescribeById(std::string name) {
    if (name.rfind("usb-", 0) == 0)
        name = name.substr(4);
    for (const char* suffix : {"-port0", "-if00", "-if01", "-if02", "-if03"}) {
        size_t at = name.rfind(suffix);
        if (at != std::string::npos && at + std::string(suffix).size() == name.size())
            name.erase(at);
    }
    size_t at = name.rfind("-if");
    if (at != std::string::npos)
        name.erase(at);
    std::replace(name.begin(), name.end(), '_', ' ');
    return name;
}

} // namespace

int PortNumberOfName(const std::string& name) {
    if (name.size() < 4 || name.size() > 6 || !SameName(name.substr(0, 3), "COM"))
        return 0;
    int n = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return 0;
        n = n * 10 + (name[i] - '0');
    }
    if (name[3] == '0')
        return 0;
    return n >= 1 && n <= 255 ? n : 0;
}

SystemPortList::SystemPortList(IniFile& settings, std::function<void()> save, std::string devRoot,
                               std::string sysRoot)
    : settings_(settings), save_(std::move(save)), devRoot_(std::move(devRoot)),
      sysRoot_(std::move(sysRoot)) {}

std::string SystemPortList::DescribeTty(const std::string& ttyName) const {
    // USB adapters: the product and maker sit a level or two above the tty's device.
    std::string device = sysRoot_ + "/class/tty/" + ttyName + "/device";
    for (const char* up : {"/..", "/../.."}) {
        std::string product = FirstLine(device + up + "/product");
        if (!product.empty()) {
            std::string maker = FirstLine(device + up + "/manufacturer");
            return maker.empty() ? product : maker + " " + product;
        }
    }
    if (ttyName.rfind("rfcomm", 0) == 0)
        return "Bluetooth serial port " + ttyName;
    return "Serial port " + ttyName;
}

std::vector<SystemPortList::Candidate> SystemPortList::Scan() const {
    std::vector<Candidate> found;
    std::vector<std::string> covered; // real paths already listed through a stable name
    const std::string byId = devRoot_ + "/serial/by-id";
    for (const std::string& name : ListDir(byId)) {
        const std::string path = byId + "/" + name;
        const std::string real = RealPath(path);
        if (real.empty())
            continue;
        covered.push_back(real);
        found.push_back({path, DescribeById(name)});
    }
    // What the kernel calls a tty with a device behind it is a serial port, whatever its
    // driver names it (ttyCH343USB0, ttyXRUSB0, ttymxc0, ...); consoles and pseudo-terminals
    // have no device. A Bluetooth serial link may be made before its device is.
    for (const std::string& tty : ListDir(sysRoot_ + "/class/tty")) {
        const std::string node = sysRoot_ + "/class/tty/" + tty;
        if (!Exists(node + "/device") && tty.rfind("rfcomm", 0) != 0)
            continue;
        // Most UART nodes exist without hardware behind them; the kernel says type 0 then.
        if (FirstLine(node + "/type") == "0")
            continue;
        const std::string path = devRoot_ + "/" + tty;
        if (!Exists(path))
            continue;
        const std::string real = RealPath(path);
        if (std::find(covered.begin(), covered.end(), real) != covered.end())
            continue;
        found.push_back({path, DescribeTty(tty)});
    }
    return found;
}

std::vector<host::PortEntry> SystemPortList::Ports(bool includeAbsent) {
    std::vector<host::PortEntry> ports;
    std::vector<bool> taken(256, false);
    for (const std::string& key : settings_.Keys(kPortsSection)) {
        const int n = PortNumberOfName(key);
        if (n == 0 || taken[n])
            continue;
        taken[n] = true;
        host::PortEntry entry;
        entry.number = n;
        entry.name = "COM" + std::to_string(n);
        entry.path = settings_.ReadString(kPortsSection, key, "");
        entry.present = !entry.path.empty() && Exists(entry.path);
        ports.push_back(entry);
    }
    bool added = false;
    for (const Candidate& candidate : Scan()) {
        const std::string real = RealPath(candidate.path);
        auto known = std::find_if(ports.begin(), ports.end(), [&](const host::PortEntry& p) {
            return p.path == candidate.path || (!real.empty() && RealPath(p.path) == real);
        });
        if (known != ports.end()) {
            if (known->description.empty())
                known->description = candidate.description;
            continue;
        }
        int n = 1;
        while (n <= 255 && taken[n])
            ++n;
        if (n > 255)
            break;
        taken[n] = true;
        host::PortEntry entry{n, "COM" + std::to_string(n), candidate.path, candidate.description,
                              true};
        settings_.WriteString(kPortsSection, entry.name, entry.path);
        ports.push_back(entry);
        added = true;
    }
    for (const auto& [n, path] : transient_)
        if (!taken[n])
            ports.push_back({n, "COM" + std::to_string(n), path, "", Exists(path)});
    // The save reads the file again: another program may have numbered the same device or
    // taken the same number meanwhile, and the list follows what the file says now.
    if (added && save_) {
        save_();
        return Ports(includeAbsent);
    }
    for (host::PortEntry& p : ports)
        if (p.description.empty() && p.present) {
            const std::string real = RealPath(p.path);
            p.description = real.empty() ? p.path : real;
        }
    std::sort(ports.begin(), ports.end(), [](const host::PortEntry& a, const host::PortEntry& b) {
        return a.number < b.number;
    });
    if (!includeAbsent)
        ports.erase(std::remove_if(ports.begin(), ports.end(),
                                   [](const host::PortEntry& p) { return !p.present; }),
                    ports.end());
    return ports;
}

std::string SystemPortList::PathOf(int number) {
    for (const host::PortEntry& p : Ports(false))
        if (p.number == number)
            return p.path;
    return {};
}

int SystemPortList::NumberForPath(const std::string& path) {
    const std::string real = RealPath(path);
    std::vector<bool> taken(256, false);
    for (const host::PortEntry& p : Ports(true)) {
        taken[p.number] = true;
        if (p.path == path || (!real.empty() && RealPath(p.path) == real))
            return p.number;
    }
    int n = 1;
    while (n <= 255 && taken[n])
        ++n;
    if (n > 255)
        return 0;
    transient_.emplace_back(n, path);
    return n;
}

bool MergePortChange(IniFile& disk, const IniFile::Change& change) {
    if (!SameName(change.section, kPortsSection) || !change.value ||
        PortNumberOfName(change.key) == 0)
        return false;
    const std::string& path = *change.value;
    const std::string real = RealPath(path);
    std::vector<bool> taken(256, false);
    for (const std::string& key : disk.Keys(kPortsSection)) {
        const int n = PortNumberOfName(key);
        if (n == 0)
            continue;
        taken[static_cast<size_t>(n)] = true;
        const std::string known = disk.ReadString(kPortsSection, key, "");
        // Numbered by the other program as well: its number stands.
        if (known == path || (!real.empty() && RealPath(known) == real))
            return true;
    }
    const std::optional<std::string> holder = disk.Get(kPortsSection, change.key);
    if (!holder || holder->empty())
        return false;
    // The number went to another device meanwhile: this one takes the lowest free number.
    for (int n = 1; n <= 255; ++n)
        if (!taken[static_cast<size_t>(n)]) {
            disk.WriteString(kPortsSection, "COM" + std::to_string(n), path);
            return true;
        }
    return true; // no number left: the other program's numbers stand
}

std::optional<PortChange> ComparePortLists(const std::vector<std::string>& previous,
                                           const std::vector<std::string>& current) {
    auto has = [](const std::vector<std::string>& names, int n) {
        return std::any_of(names.begin(), names.end(),
                           [n](const std::string& name) { return PortNumberOfName(name) == n; });
    };
    std::optional<PortChange> change;
    for (int n = 1; n <= 255; ++n) {
        const bool before = has(previous, n), now = has(current, n);
        if (now && !before)
            change =
                PortChange{" New port found: COM" + std::to_string(n), PortChangeColour::NewPort};
        else if (before && !now)
            change =
                PortChange{" Port removed: COM" + std::to_string(n), PortChangeColour::Removed};
    }
    return change;
}

} // namespace vantrel::modbus
