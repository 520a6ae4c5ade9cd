#pragma once

// What the simulated unit heard, request by request, with faults armed for one register.

#include "sim/SimLink.h"

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace vantrel::device::test {

// The requests the unit heard, as (function, register), and faults armed for a register:
// the trace sees a request before the unit decides on its faults.
class Requests {
public:
    struct Arm {
        int function;
        int reg;
        sim::Fault fault;
        int skip = 0; // requests of that register let through first
    };

    void Attach(sim::SimLink& link) {
        link_ = &link;
        link.SetTrace([this](const std::string& line) { Heard(line); });
    }
    void FailAt(int function, int reg, sim::Fault fault, int skip = 0) {
        std::lock_guard lock(mutex_);
        arms_.push_back({function, reg, fault, skip});
    }
    std::vector<std::pair<int, int>> Heard() const {
        std::lock_guard lock(mutex_);
        return heard_;
    }
    std::vector<int> Registers() const {
        std::vector<int> regs;
        for (const auto& [f, r] : Heard())
            regs.push_back(r);
        return regs;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        heard_.clear();
    }

private:
    void Heard(const std::string& line) {
        if (line.rfind("rx ", 0) != 0 || line.size() < 14)
            return;
        const int function = std::stoi(line.substr(6, 2), nullptr, 16);
        const int reg = std::stoi(line.substr(9, 2) + line.substr(12, 2), nullptr, 16);
        std::lock_guard lock(mutex_);
        heard_.emplace_back(function, reg);
        for (auto it = arms_.begin(); it != arms_.end(); ++it) {
            if (it->function != function || it->reg != reg)
                continue;
            if (it->skip > 0) {
                --it->skip;
                continue;
            }
            link_->InjectFault(it->fault);
            arms_.erase(it);
            break;
        }
    }

    mutable std::mutex mutex_;
    sim::SimLink* link_ = nullptr;
    std::vector<std::pair<int, int>> heard_;
    std::vector<Arm> arms_;
};

inline sim::Fault Exception(int code) {
    sim::Fault fault;
    fault.kind = sim::FaultKind::Exception;
    fault.exceptionCode = code;
    return fault;
}

} // namespace vantrel::device::test
