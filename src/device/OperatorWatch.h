#pragma once

// Watching the Runtime Values: the operator values read again and again at an interval, each
// read a sample kept for the last minutes (for the trend) and, while recording, one line of a
// CSV file. A sample that failed is kept as one without values: a gap, never a zero.
//
// The watch takes no timer of its own: the face (or the command-line loop) calls Tick at the
// interval. It is no run: the window stays enabled. A run that starts stops it at once (the
// device access tells it, as the run disables the window); a port that closes stops it at the
// next Tick or Check; a worker busy with another transaction makes a Tick wait.

#include "device/DeviceAccess.h"
#include "device/OperatorValues.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace vantrel::device {

// The page's texts.
extern const char* const kWatchCaption;        // "Watch"
extern const char* const kStopWatchCaption;    // "Stop watching"
extern const char* const kRecordCaption;       // "Record to file..."
extern const char* const kStopRecordCaption;   // "Stop recording"
extern const char* const kWatchNoUnitText;     // no unit to watch
extern const char* const kWatchPortClosedText; // stopped: the port closed
extern const char* const kWatchRunStartedText; // stopped: a run started
extern const char* const kWatchingStatus;      // the status panel while watching
extern const char* const kRecordFailedText;    // recording stopped, the file could not be written

// The intervals offered, in milliseconds, and their captions ("0.5 s", "1 s", ...).
const std::vector<int>& WatchIntervalsMs();
std::string WatchIntervalText(int ms);

struct OperatorSample {
    int64_t ms = 0;  // when it was taken, milliseconds since 1970 (UTC)
    bool ok = false; // false: the read failed, nothing below holds a value
    // The values as numbers (NaN when the page shows "Not available") ...
    double flowRate = 0, total = 0, accTotal = 0;
    // ... and as the page shows them.
    std::string flowRateText, totalText, accTotalText, batteryText, errorText;
};

// The units the page shows beside the values, as one word each: "mL/Sec", "L".
std::string FlowRateUnitText(const editor::Form& form);
std::string TotalUnitText(const editor::Form& form);

// A sample's local time as a CSV file and the command line show it: "2026-12-11 13:14:04.500".
std::string SampleTimeText(int64_t ms);

// The CSV of the samples: the header line, one line a sample (no line end).
std::string SampleCsvHeader();
std::string SampleCsvLine(const OperatorSample& sample, const std::string& flowRateUnit,
                          const std::string& totalUnit);

class TOperatorWatch {
public:
    TOperatorWatch(TDeviceAccess& access, TOperatorValues& values);
    ~TOperatorWatch();
    TOperatorWatch(const TOperatorWatch&) = delete;
    TOperatorWatch& operator=(const TOperatorWatch&) = delete;

    // Milliseconds since 1970 now; the system clock unless a test sets another.
    std::function<int64_t()> clock;
    // After every change the face shows (a sample, a start or stop, the recording).
    std::function<void()> changed;
    // How long samples are kept for the trend.
    int64_t keepMs = 5 * 60 * 1000;

    // False (and why in Message) when there is no unit or no open port to watch.
    bool Start(int intervalMs);
    void Stop(const std::string& why = "");
    bool Watching() const { return watching_; }
    int IntervalMs() const { return intervalMs_; }
    // A sample is being read (its transactions pump the user interface).
    bool Sampling() const { return sampling_; }

    // What the face calls at the interval: the stop checks, then one sample unless the
    // worker is busy. Returns whether a sample was taken.
    bool Tick();
    // The stop checks alone (a closed port, a run started), for the face to call between
    // two ticks; false when the watch has stopped.
    bool Check();
    // One sample, whatever the state: read, kept, recorded.
    const OperatorSample& TakeSample();

    const std::deque<OperatorSample>& Samples() const { return samples_; }
    void ClearSamples();

    // Appends one line a sample to path (the header first when the file is new or empty).
    bool StartRecording(const std::string& path, std::string* error);
    void StopRecording();
    bool Recording() const { return recordFd_ >= 0; }
    const std::string& RecordPath() const { return recordPath_; }
    int RecordedLines() const { return recordedLines_; }

    // The units the samples are in now, as the page shows them.
    std::string FlowUnit() const { return FlowRateUnitText(access_.MainForm()); }
    std::string TotalUnit() const { return TotalUnitText(access_.MainForm()); }

    // The last word of the watch to the user: why it stopped, why recording stopped.
    const std::string& Message() const { return message_; }

private:
    bool WriteRecordLine(const std::string& line);
    void Changed();

    TDeviceAccess& access_;
    TOperatorValues& values_;
    bool watching_ = false;
    bool sampling_ = false;
    int intervalMs_ = 1000;
    std::deque<OperatorSample> samples_;
    OperatorSample last_;
    int recordFd_ = -1;
    std::string recordPath_;
    int recordedLines_ = 0;
    std::string message_;
};

} // namespace vantrel::device
