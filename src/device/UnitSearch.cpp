#include "device/UnitSearch.h"

#include "common/Device.h"
#include "modbus/LineSettings.h"
#include "modbus/ModbusResult.h"

#include <algorithm>
#include <cstdio>

namespace vantrel::device {

namespace {

// How long a probe at these settings takes when nothing answers: the request on the line,
// then the whole time-out.
long long ProbeMicros(const SearchSettings& settings, int timeOutMs) {
    modbus::Frame frame;
    modbus::BuildReadRequest(1, kSerialNumberRegister, kSerialNumberBytes, settings.framing, frame);
    return modbus::LineTimeMicros(ModeOf(settings), frame.size()) + 1000LL * timeOutMs;
}

} // namespace

const char* FramingName(int framing) {
    return framing == modbus::kFramingAscii ? "ASCII" : "RTU";
}

modbus::LineMode ModeOf(const SearchSettings& settings) {
    modbus::LineSettings line{settings.speed, settings.dataBits, settings.parity,
                              settings.stopBits};
    modbus::LineMode mode;
    modbus::ParseModeString(modbus::BuildModeString(line), mode);
    return mode;
}

std::string SearchSettingsText(const SearchSettings& s) {
    const modbus::LineMode mode = ModeOf(s);
    return std::to_string(mode.baud) + " " + std::to_string(mode.dataBits) + mode.parity +
           std::to_string(mode.stopBits) + " " + FramingName(s.framing);
}

std::string TimeLeftText(long long ms) {
    const long long seconds = (ms + 999) / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    return text;
}

std::string FoundUnitText(const FoundUnit& unit) {
    return SearchSettingsText(unit.settings) + " address " + std::to_string(unit.address) + ": " +
           unit.model + " serial " + PaddedDigits(unit.serial, 7) + " version " +
           VersionText(unit.version);
}

const std::vector<int>& UnitSpeeds() {
    // 9600, 19200, 38400, 4800, 2400, 1200: the units' own speeds, most used first.
    static const std::vector<int> speeds = {3, 5, 6, 2, 1, 0};
    return speeds;
}

int DefaultProbeTimeOutMs(int speedIndex) {
    SearchSettings settings;
    settings.speed = speedIndex;
    // 4.5 characters of 10 bits; a parity bit adds little and the margin covers it.
    const long long frameEndMicros = modbus::LineTimeMicros(ModeOf(settings), 9) / 2;
    return kProbeTurnaroundMs + static_cast<int>((frameEndMicros + 999) / 1000);
}

std::vector<SearchSettings> SearchPlan::Passes() const {
    std::vector<SearchSettings> passes;
    for (int speed : speeds)
        for (int framing : framings)
            for (int bits : dataBits)
                for (int parity : parities) {
                    if (bits != 0 && framing != modbus::kFramingAscii)
                        continue;
                    const SearchSettings pass{speed, framing, bits, parity, stopBits};
                    if (std::find(passes.begin(), passes.end(), pass) == passes.end())
                        passes.push_back(pass);
                }
    return passes;
}

int SearchPlan::Addresses() const {
    return std::max(0, lastAddress - firstAddress + 1);
}

int SearchPlan::ProbeCount() const {
    return static_cast<int>(Passes().size()) * Addresses();
}

int SearchPlan::ProbeTimeOutMs(int speedIndex) const {
    return probeTimeOutMs > 0 ? probeTimeOutMs : DefaultProbeTimeOutMs(speedIndex);
}

TUnitSearch::TUnitSearch(modbus::TModThread& worker) : worker_(worker) {}

void TUnitSearch::Cancel() {
    cancel_ = true;
    const modbus::WorkerState state = worker_.State();
    if (running_ && (state == modbus::Sending || state == modbus::Receiving))
        worker_.AbortTransaction();
}

void TUnitSearch::Report() {
    if (progress)
        progress(progress_);
}

void TUnitSearch::Apply(const SearchSettings& s) {
    // Only what differs: each change of the line reconfigures the port.
    if (worker_.Speed() != s.speed)
        worker_.SetSpeed(s.speed);
    if (worker_.DataBits() != s.dataBits)
        worker_.SetDataBits(s.dataBits);
    if (worker_.Parity() != s.parity)
        worker_.SetParity(s.parity);
    if (worker_.StopBits() != s.stopBits)
        worker_.SetStopBits(s.stopBits);
    worker_.SetFraming(s.framing);
}

// true when the search goes on.
bool TUnitSearch::Probe(const SearchSettings& settings, uint8_t address, int timeOutMs) {
    worker_.SetRetries(1);
    worker_.SetResponseTimeOut(timeOutMs);
    UnitIdentity unit;
    if (!ReadSerialNumber(worker_, address, unit.serial)) {
        const int result = worker_.LastResult();
        if (cancel_ || !worker_.IsPortOpen())
            return false;
        if (result != modbus::ResponseTimedOut && result != modbus::Aborted)
            ++progress_.badAnswers;
        return true;
    }
    // Something answered: it is identified with the tries and time-out of the port setup,
    // as "Connect device" would.
    worker_.SetRetries(savedRetries_);
    worker_.SetResponseTimeOut(savedTimeOut_);
    const IdentityRead read = ReadIdentityAfterSerial(
        worker_, [address] { return address; }, unit);
    if (cancel_ || !worker_.IsPortOpen())
        return false;
    // Two units at one address (or a line that garbles now and then) can give one read to
    // each of them: the serial number read again at the end must be the one the probe got,
    // or the unit listed could be made of two.
    int32_t serialAgain = -1;
    const bool same = read == IdentityRead::Identified &&
                      ReadSerialNumber(worker_, address, serialAgain) && serialAgain == unit.serial;
    if (cancel_ || !worker_.IsPortOpen())
        return false;
    if (!same) {
        ++progress_.badAnswers;
        return true;
    }
    FoundUnit found;
    found.settings = settings;
    found.address = address;
    found.model = unit.model;
    found.serial = unit.serial;
    found.version = unit.version;
    found_.push_back(found);
    progress_.found = static_cast<int>(found_.size());
    if (unitFound)
        unitFound(found);
    return true;
}

SearchEnd TUnitSearch::Run(const SearchPlan& plan) {
    cancel_ = false;
    found_.clear();
    progress_ = {};
    const std::vector<SearchSettings> passes = plan.Passes();
    progress_.total = static_cast<int>(passes.size()) * plan.Addresses();

    const SearchSettings saved{worker_.Speed(), worker_.Framing(), worker_.DataBits(),
                               worker_.Parity(), worker_.StopBits()};
    savedRetries_ = worker_.Retries();
    savedTimeOut_ = worker_.TimeOut();
    const bool savedLateWait = worker_.LateAnswerWait();
    running_ = true;

    std::vector<long long> passMicros;
    long long leftMicros = 0;
    for (const SearchSettings& pass : passes) {
        passMicros.push_back(ProbeMicros(pass, plan.ProbeTimeOutMs(pass.speed)));
        leftMicros += passMicros.back() * plan.Addresses();
    }

    SearchEnd end = SearchEnd::Searched;
    worker_.SetLateAnswerWait(false);
    for (size_t p = 0; p < passes.size() && end == SearchEnd::Searched; ++p) {
        const SearchSettings& pass = passes[p];
        Apply(pass);
        const int timeOutMs = plan.ProbeTimeOutMs(pass.speed);
        for (int address = plan.firstAddress; address <= plan.lastAddress; ++address) {
            progress_.settings = pass;
            progress_.address = address;
            progress_.msLeft = leftMicros / 1000;
            Report();
            if (cancel_) {
                end = SearchEnd::Cancelled;
                break;
            }
            if (!worker_.IsPortOpen()) {
                end = SearchEnd::PortClosed;
                break;
            }
            const bool goOn = Probe(pass, static_cast<uint8_t>(address), timeOutMs);
            ++progress_.done;
            leftMicros = std::max(0LL, leftMicros - passMicros[p]);
            if (!goOn) {
                end = cancel_ ? SearchEnd::Cancelled : SearchEnd::PortClosed;
                break;
            }
            if (!plan.findAll && !found_.empty()) {
                end = SearchEnd::FoundUnit;
                break;
            }
        }
    }

    worker_.SetLateAnswerWait(savedLateWait);
    worker_.SetRetries(savedRetries_);
    worker_.SetResponseTimeOut(savedTimeOut_);
    Apply(saved);
    running_ = false;
    progress_.msLeft = 0;
    Report();
    return end;
}

} // namespace vantrel::device
