#pragma once

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

// Folder of the running benchmark (vantrel-sim is built beside it).
std::string BinDir();

} // namespace vantrel::bench
