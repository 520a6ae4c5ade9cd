#pragma once

#include "host/PortList.h"

#include <string>
#include <vector>

namespace vantrel::bench {

// vantrel-sim in a process of its own, so that the CPU time a benchmark measures is the
// master's alone.
class SimProcess {
public:
    SimProcess(const std::string& executable, const std::vector<std::string>& args);
    ~SimProcess();
    bool ok() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }

private:
    int pid_ = -1;
    std::string path_;
};

// The simulated unit at path as the one port the program sees, COM3.
class OnePort final : public host::PortList {
public:
    explicit OnePort(std::string path) : path_(std::move(path)) {}
    std::vector<host::PortEntry> Ports(bool) override {
        return {{3, "COM3", path_, "simulated unit", true}};
    }
    std::string PathOf(int number) override { return number == 3 ? path_ : ""; }

private:
    std::string path_;
};

// CPU time of this process so far, user and system, in seconds.
double CpuSeconds();

// Folder of the running benchmark (vantrel-sim is built beside it).
std::string BinDir();

} // namespace vantrel::bench
