#pragma once

// The search of the line for a unit: for every speed, framing and character format asked
// for, each address gets the identification's first read, with one try and a short
// no-response time-out; an address that answers is identified the way "Connect device"
// identifies, and only a unit that identified is listed. The search only reads. It works on
// the worker directly and puts the worker's settings back when it ends, whatever ended it.

#include "device/UnitIdentity.h"
#include "modbus/LineSettings.h"
#include "modbus/ModThread.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vantrel::device {

// The line settings of one pass, as the port setup holds them (indices into its lists).
struct SearchSettings {
    int speed = 3;
    int framing = modbus::kFramingRtu;
    int dataBits = 0;
    int parity = 0;
    int stopBits = 0;
    bool operator==(const SearchSettings&) const = default;
};
// "9600 8N1 RTU".
std::string SearchSettingsText(const SearchSettings& settings);
// The speed, character format and framing of the settings, as numbers and names.
modbus::LineMode ModeOf(const SearchSettings& settings);
const char* FramingName(int framing); // "RTU", "ASCII"

// A unit the search identified, where it was found.
struct FoundUnit {
    SearchSettings settings;
    uint8_t address = 0;
    std::string model;
    int32_t serial = 0;
    int32_t version = 0;
};
// A search's time left as minutes and seconds, rounded up ("1:05").
std::string TimeLeftText(long long ms);
// "9600 8N1 RTU address 17: Q4200 serial 4242424 version 03:01:05".
std::string FoundUnitText(const FoundUnit& unit);

// The speeds the units support, the common ones first (indices into the port setup's list).
const std::vector<int>& UnitSpeeds();
// The no-response time-out of a probe at a speed: long enough for the frame's end to be seen
// (3.5 characters of silence), a character more, and the unit's and converter's turnaround.
int DefaultProbeTimeOutMs(int speedIndex);
// The fixed part of it: a unit's processing plus a USB converter's latency and the
// scheduler's.
constexpr int kProbeTurnaroundMs = 30;

struct SearchPlan {
    std::vector<int> speeds = UnitSpeeds();
    std::vector<int> framings = {modbus::kFramingRtu, modbus::kFramingAscii};
    std::vector<int> parities = {0};
    // 7 data bits (index 1) go with ASCII only: RTU needs all eight.
    std::vector<int> dataBits = {0};
    int stopBits = 0;
    int firstAddress = 1, lastAddress = 247;
    bool findAll = false;
    int probeTimeOutMs = 0; // 0: DefaultProbeTimeOutMs of each speed

    // The passes in the order they are searched.
    std::vector<SearchSettings> Passes() const;
    int Addresses() const;
    int ProbeCount() const;
    int ProbeTimeOutMs(int speedIndex) const;
};

struct SearchProgress {
    int done = 0, total = 0;
    SearchSettings settings; // of the probe going out next (the last one at the end)
    int address = 0;
    long long msLeft = 0; // for the probes still to go, when none answers
    int badAnswers = 0;   // answers that were garbled, or from something that did not identify
    int found = 0;
};

enum class SearchEnd {
    Searched,  // every probe went out
    FoundUnit, // stopped at the first unit
    Cancelled,
    PortClosed, // the port was closed or went away
};

class TUnitSearch {
public:
    explicit TUnitSearch(modbus::TModThread& worker);

    // Called before each probe and once at the end, on the thread running the search.
    std::function<void(const SearchProgress&)> progress;
    // Called for each unit identified, as it is found.
    std::function<void(const FoundUnit&)> unitFound;

    // Runs the plan on the open port; returns when it ends. The worker's line settings,
    // framing, tries and time-out are as they were when it returns.
    SearchEnd Run(const SearchPlan& plan);
    // Stops a running search at once: between probes, or the probe waiting for its answer.
    // Call it on the thread running the search (a handler run while it waits).
    void Cancel();
    bool Running() const { return running_; }

    const std::vector<FoundUnit>& Found() const { return found_; }
    const SearchProgress& Progress() const { return progress_; }

private:
    void Report();
    bool Probe(const SearchSettings& settings, uint8_t address, int timeOutMs);
    void Apply(const SearchSettings& settings);

    modbus::TModThread& worker_;
    std::atomic<bool> cancel_{false};
    bool running_ = false;
    SearchProgress progress_;
    std::vector<FoundUnit> found_;
    int savedRetries_ = 3;
    int savedTimeOut_ = 500;
};

} // namespace vantrel::device
