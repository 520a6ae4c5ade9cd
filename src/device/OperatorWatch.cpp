#include "device/OperatorWatch.h"

#include "common/FileUtil.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel::device {

const char* const kWatchCaption = "Watch";
const char* const kStopWatchCaption = "Stop watching";
const char* const kRecordCaption = "Record to file...";
const char* const kStopRecordCaption = "Stop recording";
const char* const kWatchNoUnitText =
    "No unit to watch: connect a device first, with the port open.";
const char* const kWatchPortClosedText = "Watching stopped: the port was closed.";
const char* const kWatchRunStartedText = "Watching stopped: another operation started.";
const char* const kWatchingStatus = " Status: watching the operator values...";
const char* const kRecordFailedText = "Recording stopped: the file could not be written.";

namespace {

constexpr const char* kCsvHeader =
    "Time,Flow rate,Total,Acc. total,Battery status,Error status,Flow rate unit,Total unit";

int64_t SystemMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// A shown value back to a number: the page's decimal separator is the user's own.
double NumberOf(const std::string& text, const std::string& separator) {
    std::string plain = text;
    if (!separator.empty() && separator != ".") {
        const size_t at = plain.find(separator);
        if (at != std::string::npos)
            plain.replace(at, separator.size(), ".");
    }
    char* end = nullptr;
    const double value = std::strtod(plain.c_str(), &end);
    if (plain.empty() || !end || *end != '\0')
        return std::numeric_limits<double>::quiet_NaN();
    return value;
}

// A value as the file holds it: a point for the decimals, whatever the page uses, so that
// the file reads the same everywhere.
std::string FileNumber(const std::string& text, const std::string& separator) {
    std::string plain = text;
    if (!separator.empty() && separator != ".") {
        const size_t at = plain.find(separator);
        if (at != std::string::npos)
            plain.replace(at, separator.size(), ".");
    }
    return plain;
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string WithoutSpaces(std::string text) {
    std::string out;
    for (char c : text)
        if (c != ' ')
            out += c;
    return out;
}

} // namespace

const std::vector<int>& WatchIntervalsMs() {
    static const std::vector<int> intervals{500, 1000, 2000, 5000, 10000};
    return intervals;
}

std::string WatchIntervalText(int ms) {
    if (ms % 1000 == 0)
        return std::to_string(ms / 1000) + " s";
    return std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100) + " s";
}

std::string FlowRateUnitText(const editor::Form& form) {
    // The page shows "mL" and "/ Sec" side by side; as one word they read "mL/Sec".
    return form.FlowrateUnitText + WithoutSpaces(form.IntervalText);
}

std::string TotalUnitText(const editor::Form& form) {
    return form.TotalUnitText;
}

std::string SampleTimeText(int64_t ms) {
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    localtime_r(&seconds, &tm);
    char text[40];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    std::snprintf(text + n, sizeof text - n, ".%03d", static_cast<int>(ms % 1000));
    return text;
}

std::string SampleCsvHeader() {
    return kCsvHeader;
}

std::string SampleCsvLine(const OperatorSample& s, const std::string& flowRateUnit,
                          const std::string& totalUnit) {
    std::string line = SampleTimeText(s.ms);
    for (const std::string* field :
         {&s.flowRateText, &s.totalText, &s.accTotalText, &s.batteryText, &s.errorText})
        line += "," + (s.ok ? CsvField(*field) : std::string());
    return line + "," + CsvField(flowRateUnit) + "," + CsvField(totalUnit);
}

TOperatorWatch::TOperatorWatch(TDeviceAccess& access, TOperatorValues& values)
    : clock(SystemMs), access_(access), values_(values) {
    // A run stops the watch at once, however short it is: between two samples it would
    // otherwise come and go unseen.
    access_.runStarting = [this] { Stop(kWatchRunStartedText); };
}

TOperatorWatch::~TOperatorWatch() {
    access_.runStarting = nullptr;
    if (recordFd_ >= 0)
        ::close(recordFd_);
}

bool TOperatorWatch::Start(int intervalMs) {
    if (access_.MainForm().ExpectedSerialNumber == -1 || !access_.Worker().IsPortOpen()) {
        message_ = kWatchNoUnitText;
        Changed();
        return false;
    }
    intervalMs_ = intervalMs;
    watching_ = true;
    message_.clear();
    access_.MainForm().SetStatus(1, kWatchingStatus);
    Changed();
    return true;
}

void TOperatorWatch::Stop(const std::string& why) {
    if (!watching_)
        return;
    watching_ = false;
    if (!why.empty())
        message_ = why;
    // The status panel said "watching"; a run that stopped the watch sets its own.
    editor::Form& form = access_.MainForm();
    if (form.statusPanels[1] == kWatchingStatus)
        form.SetStatus(1, why.empty() ? kRefreshedStatus : " Status: " + why);
    Changed();
}

bool TOperatorWatch::Check() {
    if (!watching_)
        return false;
    if (!access_.Worker().IsPortOpen()) {
        Stop(kWatchPortClosedText);
        return false;
    }
    if (!access_.MainForm().enabled) {
        Stop(kWatchRunStartedText);
        return false;
    }
    return true;
}

bool TOperatorWatch::Tick() {
    if (sampling_ || !Check())
        return false;
    // Another transaction in flight (the port setup's, say): this sample waits for the next
    // tick rather than be refused as busy and shown as a gap.
    if (access_.Worker().State() != modbus::Idle)
        return false;
    TakeSample();
    Check(); // the port may have gone during the sample
    return true;
}

const OperatorSample& TOperatorWatch::TakeSample() {
    sampling_ = true;
    OperatorSample sample;
    sample.ms = clock();
    sample.ok = values_.ReadOperatorValues();
    if (sample.ok) {
        const editor::Form& form = access_.MainForm();
        const std::string& separator = access_.Rules().decimalSeparator;
        sample.flowRateText = FileNumber(form["FlowrateValueLabel"].text, separator);
        sample.totalText = FileNumber(form["TotalValueLabel"].text, separator);
        sample.accTotalText = FileNumber(form["AccTotalValueLabel"].text, separator);
        sample.batteryText = form["lblBatteryStatus"].text;
        sample.errorText = form["lblErrorStatus"].text;
        sample.flowRate = NumberOf(form["FlowrateValueLabel"].text, separator);
        sample.total = NumberOf(form["TotalValueLabel"].text, separator);
        sample.accTotal = NumberOf(form["AccTotalValueLabel"].text, separator);
    } else {
        sample.flowRate = sample.total = sample.accTotal = std::numeric_limits<double>::quiet_NaN();
    }
    samples_.push_back(sample);
    while (!samples_.empty() && samples_.front().ms < sample.ms - keepMs)
        samples_.pop_front();
    if (Recording()) {
        const editor::Form& form = access_.MainForm();
        const std::string line =
            SampleCsvLine(sample, FlowRateUnitText(form), TotalUnitText(form)) + "\r\n";
        if (!WriteRecordLine(line)) {
            const int code = errno;
            const std::string path = recordPath_;
            StopRecording();
            message_ = std::string(kRecordFailedText) + "\n" + path + ": " + FileErrorText(code);
        }
    }
    sampling_ = false;
    last_ = sample;
    Changed();
    return last_;
}

void TOperatorWatch::ClearSamples() {
    samples_.clear();
    Changed();
}

bool TOperatorWatch::StartRecording(const std::string& path, std::string* error) {
    StopRecording();
    // Appending: a file recorded to before goes on, the header only at its start.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int code = fd < 0 ? errno : EINVAL;
        if (fd >= 0)
            ::close(fd);
        if (error)
            *error = path + ": " +
                     (code == EINVAL ? std::string("not a regular file") : FileErrorText(code));
        return false;
    }
    recordFd_ = fd;
    recordPath_ = path;
    recordedLines_ = 0;
    if (info.st_size == 0 && !WriteRecordLine(SampleCsvHeader() + "\r\n")) {
        const int code = errno;
        StopRecording();
        if (error)
            *error = path + ": " + FileErrorText(code);
        return false;
    }
    recordedLines_ = 0; // samples, not the header
    message_.clear();
    Changed();
    return true;
}

void TOperatorWatch::StopRecording() {
    if (recordFd_ < 0)
        return;
    ::close(recordFd_);
    recordFd_ = -1;
    Changed();
}

bool TOperatorWatch::WriteRecordLine(const std::string& line) {
    // One write a line, so that a line is in the file whole or not at all as far as the
    // system allows; a short write is a failure like any other.
    // A line cut short (a full disk, a size limit) is taken back out, so that the file ends
    // with a whole line whatever happened.
    struct stat info {};
    const bool sized = ::fstat(recordFd_, &info) == 0;
    const ssize_t written = ::write(recordFd_, line.data(), line.size());
    if (written != static_cast<ssize_t>(line.size())) {
        const int code = written >= 0 ? ENOSPC : errno;
        if (written > 0 && sized && ::ftruncate(recordFd_, info.st_size) != 0) {
            // Nothing more to do: the error below says the file could not be written.
        }
        errno = code;
        return false;
    }
    ++recordedLines_;
    return true;
}

void TOperatorWatch::Changed() {
    if (changed)
        changed();
}

} // namespace vantrel::device
