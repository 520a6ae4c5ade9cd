#pragma once

// Shared by the port setup and bus model tests: a port list the test plugs ports into, and a
// pseudo-terminal that stands for a converter the worker can really open.

#include "host/PortList.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace vantrel::test {

class FakePorts final : public host::PortList {
public:
    void Plug(int number, const std::string& path, const std::string& description = "") {
        Unplug(number);
        entries.push_back({number, "COM" + std::to_string(number), path, description, true});
        std::sort(entries.begin(), entries.end(),
                  [](const auto& a, const auto& b) { return a.number < b.number; });
    }
    // Known from the settings file but not plugged in; only a plugged-in adapter is named.
    void Forget(int number) {
        for (auto& entry : entries)
            if (entry.number == number) {
                entry.present = false;
                entry.description.clear();
            }
    }
    void Unplug(int number) {
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                                     [number](const auto& e) { return e.number == number; }),
                      entries.end());
    }

    std::vector<host::PortEntry> Ports(bool includeAbsent) override {
        ++scans;
        std::vector<host::PortEntry> out;
        for (const auto& entry : entries)
            if (entry.present || includeAbsent)
                out.push_back(entry);
        return out;
    }
    std::string PathOf(int number) override {
        for (const auto& entry : entries)
            if (entry.number == number && entry.present)
                return entry.path;
        return {};
    }

    std::vector<host::PortEntry> entries;
    int scans = 0;
};

// The master side is kept open so that the slave side stays a working tty.
class Pty {
public:
    Pty() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0)
            if (const char* name = ::ptsname(master_))
                path_ = name;
    }
    ~Pty() {
        if (master_ >= 0)
            ::close(master_);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    const std::string& Path() const { return path_; }

private:
    int master_ = -1;
    std::string path_;
};

} // namespace vantrel::test
