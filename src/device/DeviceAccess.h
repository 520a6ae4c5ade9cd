#pragma once

// The runs that talk to the unit for the main window: identification and release, the
// serial-number check, one parameter of the register map read or written, the failure
// question with its log file, and Read device. They work on the Form and ask through
// Prompts; every transaction goes through the worker with the bus address taken anew.

#include "common/Device.h"
#include "device/ConnectionForm.h"
#include "device/RegisterMap.h"
#include "editor/Compare.h"
#include "editor/EditingRules.h"
#include "editor/Form.h"
#include "host/Prompts.h"
#include "modbus/Bus.h"
#include "modbus/ModThread.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vantrel::device {

enum class SameDevice { Same, Different, CommFailure };

// The runs that check the unit on the bus before they start, and how each does it.
struct SameDeviceCaller {
    const char* run;
    bool recordSerial;      // expects Device.SerialNumber, else ExpectedSerialNumber
    const char* noUnitText; // shown when the expected serial is -1; "": return silently
    const char* noUnitCaption;
    const char* caption;     // of the check's messages
    const char* commCaption; // of the communication failure, "" when the caption
    bool homeOnDifferent;    // the HOME page after the mismatch message
};
std::span<const SameDeviceCaller> SameDeviceCallers();
// By run name ("Read device", "Write device", "Refresh", "Clear Total", "Read log data").
const SameDeviceCaller& SameDeviceCallerFor(const std::string& run);

// The PC's local time now.
std::tm LocalNow();

// Message texts shared with the face and the tests.
extern const char* const kNoDeviceConnectedPanel0; // " Current Device: no device connected"
extern const char* const kNoDeviceConnectedPanel1; // " Status: no device connected"

class TDeviceAccess {
public:
    // busAddress is asked before every transaction (the port setup's slave address).
    TDeviceAccess(editor::Form& form, editor::EditingRules& rules, host::Prompts& prompts,
                  modbus::TModThread& worker, std::function<uint8_t()> busAddress);
    // The program's way: the bus component's worker and address.
    TDeviceAccess(editor::Form& form, editor::EditingRules& rules, host::Prompts& prompts,
                  modbus::TModbus& bus);

    // Where the ReadLog and WriteLog files go; empty: where the tool keeps its own files.
    std::string logFolder;
    // The local time (log names, log dates, the date a unit's invalid date falls back to).
    std::function<std::tm()> now;
    // Refreshes the Runtime Values page at the end of Read device; true when it read them.
    // Until the operator values exist, nothing is read and the run counts as complete.
    std::function<bool()> readOperatorValues;
    // Shows the "Configure as" dialog and returns once it is hidden (the face pumps its
    // events meanwhile). Without one the dialog counts as cancelled.
    std::function<void(TConnectionForm&)> runConnectionForm;
    // The port setup dialog the tool follows the unit's new Modbus settings in, and the
    // restart and factory-reset commands ask for the port; null: nothing to follow.
    modbus::PortSetup* portSetup = nullptr;
    // Sets the slave address of the following transactions; empty: nothing to follow.
    std::function<void(uint8_t)> setBusAddress;
    // Told when a run starts (the window is disabled for it), before its first transaction.
    std::function<void()> runStarting;
    // "Check the unit after writing": Write device reads every parameter it sent back and
    // compares.
    bool checkAfterWriting = true;
    // The values the unit holds as the window showed them after the last complete Read
    // device of this unit (or a checked Write device) since it was connected; null when
    // there is none. Parameters whose read failed are not in it.
    const editor::Snapshot* UnitValues() const { return unitValues_ ? &*unitValues_ : nullptr; }
    // The parameters the last checked Write device found other than sent, one
    // "LABEL: sent VALUE, read VALUE" a line.
    const std::vector<std::string>& Mismatches() const { return mismatches_; }

    // What the companion runs (operator values, commands, log data) share.
    editor::Form& MainForm() { return form_; }
    editor::EditingRules& Rules() { return rules_; }
    host::Prompts& UserPrompts() { return prompts_; }
    modbus::TModThread& Worker() { return worker_; }
    uint8_t BusAddress() const { return busAddress_(); }
    // The whole main window enabled or disabled, the face told.
    void SetWindowEnabled(bool on);

    // One parameter. ReadParameter leaves value 0 on a failure.
    int ReadParameter(const Parameter& row, uint64_t& value);
    int WriteParameter(const Parameter& row, int64_t value);
    // byteCount bytes from a register as one number, at the bus address (up to 8; 0 on a
    // failure).
    int ReadValue(uint16_t reg, uint8_t byteCount, uint64_t& value);
    // value's byteCount low bytes to a register, at the bus address (byteCount up to 8).
    int WriteValue(uint16_t reg, uint8_t byteCount, uint64_t value);
    // A control's value to a register: only choices and edits; an edit whose text is not a
    // whole number fitting the byte count is not sent (result 1, not started).
    int WriteControlValue(const std::string& control, uint8_t byteCount, uint16_t reg);
    // The linearisation window of one entry (0 ... 14): index write, then register 1024.
    int ReadLinearisationEntry(int entry, uint64_t& value);
    int WriteLinearisationEntry(int entry, uint64_t value);

    // Identification and connection.
    bool IdentifyDevice();
    void ConnectButtonClick();
    // commCaption, when given, replaces the caption of the communication-failure message.
    SameDevice CheckSameDevice(int32_t expected, const std::string& caption,
                               const std::string& commCaption = "");

    // The check as a run starts with it: the no-unit message, the window disabled around the
    // read, the HOME page on another unit. True: the unit is the expected one and the window
    // stays disabled for the run; false: the window is enabled again and the run ends.
    bool CheckBeforeRun(const SameDeviceCaller& caller);

    // Failure handling of the bulk runs. Returns true when the user aborts, and when the line
    // is lost (LineLost).
    bool ReportTransferError(const std::string& logFileName, const std::string& label,
                             int32_t value, bool readBack = false);
    void WriteLogHeader(const std::string& logFileName);
    void WriteLogLine(const std::string& logFileName, const std::string& label,
                      const std::string& errorText, const std::string& valueText);
    static std::string ErrorText(int exceptionCode);
    // Whether a run must stop because the port has gone or the unit has stopped answering;
    // the first time it says so, in one message (every later failure of the run is quiet).
    bool LineLost();
    // Controls whose read failed in the last Read device (their value is not the unit's);
    // what depends on them is not computed from them.
    bool ReadFailed(const std::string& control) const;
    // prefix + "yyyyMMdd-HHnnss" + ".txt" of now.
    std::string LogFileName(const std::string& prefix) const;
    std::string LogPath(const std::string& logFileName) const;
    // The full path of the last log file whose name begins with prefix ("ReadLog",
    // "WriteLog") that this object wrote; empty when it wrote none.
    std::string LastLogPath(const std::string& prefix) const;
    // `text` (a sentence that asks the user to check a log, without its full stop) followed
    // by the full path of the last log of that prefix this run wrote, or by why it could not
    // be written; just ended when no log was meant.
    std::string CheckLogText(const std::string& text, const std::string& prefix) const;

    // Read device.
    void DownloadButtonClick();
    // What Write device would change on the unit, one "Page - Parameter: unit VALUE, form
    // VALUE" a line; empty also when the unit's values are not known (UnitValues()).
    std::vector<std::string> WriteDifferences() const;
    // Write device: the confirmation (popups on), then WriteDevice.
    void UploadButtonClick();
    void WriteDevice();

private:
    bool ReadPages(const std::string& logFileName);
    // false: aborted.
    bool ReadRow(const Parameter& row, const std::string& logFileName);
    bool ReadLinearisation(const Parameter& row, const std::string& logFileName);
    void ActivateWithoutChange(const std::string& page);
    void SelectPage(const std::string& page);
    void Advance();
    bool EndWithOperatorValues();
    struct RunEnd {
        const char* okStatus;
        const char* failedStatus;
        const char* allDone;    // success, nothing logged
        const char* someFailed; // success with failures logged; the log's path follows
        const char* caption;
        const char* logPrefix;
    };
    // failureText, when given, replaces the communication failure's message.
    void ReportRunEnd(bool success, const RunEnd& texts, const std::string& failureText = "");
    void CloseRun(int page);
    struct WriteStep;
    struct WritePage;
    std::vector<WritePage> PlanWrite() const;
    bool StepValue(const WriteStep& step, int64_t& value, std::string& problem) const;
    bool SendStep(const WriteStep& step, const std::string& logFileName);
    // The read-back after a write: false when a value differs or the check was aborted.
    bool CheckWritten(const std::string& logFileName, std::string& failureText);
    struct SentValue {
        const Parameter* row;
        int entry; // a linearisation entry: 0 ... 14; else -1
        uint64_t value;
        std::string label;
        std::tm at; // when it was sent (the unit's clock moves on from there)
    };
    std::vector<SentValue> sent_;
    std::optional<editor::Snapshot> unitValues_;
    std::vector<std::string> mismatches_;
    void FollowUnit(const Parameter& row, int64_t value);
    editor::CalendarDate Today() const;

    editor::Form& form_;
    editor::EditingRules& rules_;
    host::Prompts& prompts_;
    modbus::TModThread& worker_;
    std::function<uint8_t()> busAddress_;
    // The text, or the port-gone text when the port has gone.
    std::string OrGoneText(const std::string& text) const;

    int progressDone_ = 0, progressTotal_ = 0;
    bool lineLostShown_ = false; // cleared when a run starts (CheckBeforeRun)
    std::vector<std::string> failedReads_;
    std::vector<std::string> logsWritten_;
    std::string logProblem_; // why the last log could not be written; empty when it was
};

// Transactions in a row with no answer at all after which a run takes the unit for gone.
constexpr int kSilentTransactionsToStop = 3;
extern const char* const kUnitStoppedAnsweringText;
extern const char* const kModelNotToldText;

// Why a run must stop now: the port has gone, or the unit has not answered at all for
// kSilentTransactionsToStop transactions in a row; empty while the line works.
std::string LostLineText(const modbus::TModThread& worker);

} // namespace vantrel::device
