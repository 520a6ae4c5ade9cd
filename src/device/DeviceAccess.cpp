#include "device/DeviceAccess.h"

#include "common/AppPaths.h"
#include "device/UnitIdentity.h"
#include "editor/Linearisation.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace vantrel::device {

using editor::Form;
using host::PromptAnswer;
using host::PromptButtons;
using host::PromptIcon;

const char* const kNoDeviceConnectedPanel0 = " Current Device: no device connected";
const char* const kNoDeviceConnectedPanel1 = " Status: no device connected";
const char* const kUnitStoppedAnsweringText =
    "The unit stopped answering. Check the cable to the unit and its power, then try again.";
const char* const kModelNotToldText =
    "The unit did not answer whether it has a data logger, so its model could not be told. "
    "Please connect again.";

namespace {

constexpr const char* kReadingStatus = " Status: reading values from the device...";
constexpr const char* kReadOkStatus = " Status: values were read correctly from the device.";
constexpr const char* kReadFailedStatus =
    " Status: values were not read correctly from the device. Please re-read the values.";
constexpr const char* kNeedTransferStatus =
    " Status: values need to be read from or written to the device";

constexpr uint16_t kLinearisationIndex = 13;
constexpr uint16_t kLinearisationWindow = 1024;

std::string Format(const std::tm& tm, const char* pattern) {
    char text[64];
    std::strftime(text, sizeof text, pattern, &tm);
    return text;
}

uint64_t FromBytes(const uint8_t* bytes, int count) {
    uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

void ToBytes(uint64_t value, uint8_t* bytes, int count) {
    for (int i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

// clang-format off
constexpr SameDeviceCaller kCallers[] = {
//   run              record serial  no unit               its caption     caption         comm caption           HOME
    {"Read device",   false,         "No device was found.", "Error",      "Read Device",  "Communication error", true},
    {"Write device",  false,         "No device found.",   "Write Device", "Write Device", "",                    true},
    {"Refresh",       false,         "",                   "",             "Refresh",      "",                    false},
    {"Clear Total",   false,         "",                   "",             "Clear Total",  "",                    false},
    {"Read log data", true,          "No device found.",   "Write Device", "Write Device", "",                    true},
};
// clang-format on

} // namespace

std::tm LocalNow() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

std::span<const SameDeviceCaller> SameDeviceCallers() {
    return kCallers;
}

const SameDeviceCaller& SameDeviceCallerFor(const std::string& run) {
    for (const SameDeviceCaller& caller : kCallers)
        if (run == caller.run)
            return caller;
    return kCallers[0];
}

TDeviceAccess::TDeviceAccess(Form& form, editor::EditingRules& rules, host::Prompts& prompts,
                             modbus::TModThread& worker, std::function<uint8_t()> busAddress)
    : now(LocalNow), form_(form), rules_(rules), prompts_(prompts), worker_(worker),
      busAddress_(std::move(busAddress)) {}

TDeviceAccess::TDeviceAccess(Form& form, editor::EditingRules& rules, host::Prompts& prompts,
                             modbus::TModbus& bus)
    : TDeviceAccess(form, rules, prompts, *bus.ModThread(),
                    [&bus] { return bus.GetBusAddress(); }) {
    portSetup = bus.ModConfigForm();
    setBusAddress = [&bus](uint8_t address) { bus.SetBusAddress(address); };
}

// ---------------------------------------------------------------------------------------
// One parameter.

int TDeviceAccess::ReadParameter(const Parameter& row, uint64_t& value) {
    return ReadValue(row.reg, row.bytes, value);
}

int TDeviceAccess::ReadValue(uint16_t reg, uint8_t byteCount, uint64_t& value) {
    uint8_t bytes[8] = {};
    value = 0;
    const int result =
        worker_.ReadRegisters(bytes, busAddress_(), reg, std::min<uint8_t>(byteCount, 8));
    if (result == modbus::kTransactionDone)
        value = FromBytes(bytes, std::min<int>(byteCount, 8));
    return result;
}

int TDeviceAccess::WriteParameter(const Parameter& row, int64_t value) {
    return WriteValue(row.reg, row.bytes, static_cast<uint64_t>(value));
}

int TDeviceAccess::WriteValue(uint16_t reg, uint8_t byteCount, uint64_t value) {
    uint8_t bytes[8] = {};
    ToBytes(value, bytes, std::min<int>(byteCount, 8));
    return worker_.WriteRegisters(bytes, busAddress_(), reg, byteCount);
}

int TDeviceAccess::WriteControlValue(const std::string& control, uint8_t byteCount, uint16_t reg) {
    if (!form_.Has(control))
        return modbus::kTransactionNotStarted;
    const editor::ControlKind kind = form_[control].kind;
    if (kind != editor::ControlKind::RadioGroup && kind != editor::ControlKind::ComboBox &&
        kind != editor::ControlKind::UnitButtons && kind != editor::ControlKind::Edit)
        return modbus::kTransactionNotStarted;
    const std::optional<int64_t> value = ControlValue(form_, control, ValueForm::Number);
    // A text that is no whole number, or one the register cannot hold, must not reach the
    // unit cut down to some other value.
    if (!value || !FitsBytes(*value, byteCount))
        return modbus::kTransactionNotStarted;
    uint8_t bytes[8] = {};
    ToBytes(static_cast<uint64_t>(*value), bytes, byteCount);
    return worker_.WriteRegisters(bytes, busAddress_(), reg, byteCount);
}

int TDeviceAccess::ReadLinearisationEntry(int entry, uint64_t& value) {
    value = 0;
    const uint8_t index = static_cast<uint8_t>(entry);
    const int result = worker_.WriteRegisters(&index, busAddress_(), kLinearisationIndex, 1);
    if (result != modbus::kTransactionDone)
        return result;
    uint8_t bytes[8] = {};
    const int read = worker_.ReadRegisters(bytes, busAddress_(), kLinearisationWindow, 6);
    if (read == modbus::kTransactionDone)
        value = FromBytes(bytes, 6);
    return read;
}

int TDeviceAccess::WriteLinearisationEntry(int entry, uint64_t value) {
    const uint8_t index = static_cast<uint8_t>(entry);
    const int result = worker_.WriteRegisters(&index, busAddress_(), kLinearisationIndex, 1);
    if (result != modbus::kTransactionDone)
        return result;
    uint8_t bytes[8] = {};
    ToBytes(value, bytes, 6);
    return worker_.WriteRegisters(bytes, busAddress_(), kLinearisationWindow, 6);
}

// ---------------------------------------------------------------------------------------
// Identification and connection.

bool TDeviceAccess::IdentifyDevice() {
    Device& device = form_.device;
    unitValues_.reset(); // whatever unit answers now, nothing of it has been read yet
    form_.SetupModel("", 0);
    bool accepted = false, attempt = false;
    form_.SetStatus(1, " Status: connecting device...");

    // No unit to take: the window as without one, and why (a port gone says so instead).
    const auto noUnit = [&](const std::string& text) {
        device.SerialNumber = -1;
        form_.SetStatus(0, kNoDeviceConnectedPanel0);
        form_.SetStatus(1, kNoDeviceConnectedPanel1);
        prompts_.Inform(OrGoneText(text), "Connect Device", PromptIcon::Error);
        form_.SetFocus("ConnectButton");
        form_.UpdateButtons();
        return false;
    };
    UnitIdentity unit;
    if (!ReadSerialNumber(worker_, busAddress_(), unit.serial))
        return noUnit("There was no device found.");
    device.SerialNumber = unit.serial;
    const IdentityRead read = ReadIdentityAfterSerial(worker_, busAddress_, unit);
    if (read == IdentityRead::NoUnit)
        return noUnit("There was no device found.");
    if (read == IdentityRead::ModelNotTold)
        return noUnit(kModelNotToldText);

    const int32_t serial = unit.serial;
    const uint32_t code = unit.code;
    const char variant = unit.variant;
    const int32_t version = unit.version;
    const bool hasLog = unit.hasLog;
    const std::string serialText = PaddedDigits(serial, 7);
    const std::string versionText = VersionText(version);
    const std::string codeText = ModelCodeText(code);
    const std::string model = unit.model;

    device.Variant = variant;
    device.SetVersion(version);
    device.Model = model;
    device.HasDataLog = hasLog;

    const auto& models = form_["ModelBox"].items;
    const auto listed = std::find(models.begin(), models.end(), model);
    form_.SetItemIndex("ModelBox",
                       listed == models.end() ? -1 : static_cast<int>(listed - models.begin()));

    const std::string invalidText = "A device with an invalid modelnumber was detected.\r\n"
                                    "\r\nSerialnumber:\t" +
                                    serialText + "\r\nModel:\t\t" + std::to_string(code) +
                                    "\r\nVersion:\t\t" + versionText;
    std::string foundText;
    bool invalid = listed == models.end();
    std::string workingModel = model;
    if (!invalid) {
        form_.ModelVersionKey = device.ModelVersionKey();
        if (form_.SetupModel(model, variant)) {
            accepted = true;
            form_.SetStatus(0, " Current device: " + serialText + "/" + model + "/" + versionText);
            if (!form_.OfflineMode)
                form_.SetStatus(1, kNeedTransferStatus);
            foundText = "Found a device!\r\n\r\nSerialnumber:\t" + serialText + "\r\nModel:\t\t" +
                        model + "\r\nVersion:\t\t" + versionText +
                        "\r\n\r\nRead current configuration from device?";
        } else if (codeText == "018") {
            const std::string text = "A device with an invalid serialnumber was detected.\r\n"
                                     "\r\nSerialnumber:\t" +
                                     serialText + "\r\nModel:\t\t" + model + "\r\nVersion:\t\t" +
                                     versionText +
                                     "\r\n\r\nDo you want to attempt configuration as R210-P?"
                                     "\r\nYou might experience more issues during communication.";
            if (prompts_.Ask(text, "Connect Device", PromptIcon::Information,
                             PromptButtons::YesNo) == PromptAnswer::Yes) {
                workingModel = "R210-P";
                const auto r210 = std::find(models.begin(), models.end(), workingModel);
                form_.SetItemIndex("ModelBox", r210 == models.end()
                                                   ? -1
                                                   : static_cast<int>(r210 - models.begin()));
                attempt = true;
            }
        } else {
            invalid = true;
        }
    }
    if (invalid) {
        if (form_.ShowPopups) {
            // The "Configure as" dialog only comes with popups off; say so, or the unit is
            // a dead end for the user.
            prompts_.Inform(invalidText +
                                "\r\n\r\nTo configure it as one of the known models anyway, "
                                "set Show=0 in section [Popups] of " +
                                form_.SettingsFileName + " and connect again.",
                            "Connect Device", PromptIcon::Error);
        } else {
            TConnectionForm dialog(form_, device, prompts_, invalidText);
            if (runConnectionForm)
                runConnectionForm(dialog);
            accepted = dialog.visible ? false : dialog.accepted;
        }
    }

    if (accepted) {
        if (!form_.ShowPopups || prompts_.Ask(foundText, "Connect Device", PromptIcon::Information,
                                              PromptButtons::YesNo) == PromptAnswer::Yes) {
            DownloadButtonClick();
        } else if (form_["DownloadButton"].enabled) {
            form_.SetFocus("DownloadButton");
        }
    } else if (attempt) {
        if (form_.SetupModel(workingModel, variant))
            accepted = true;
        DownloadButtonClick();
    } else {
        device.SerialNumber = -1;
        form_.SetFocus("OfflineButton");
        form_.SetStatus(0, kNoDeviceConnectedPanel0);
        form_.SetStatus(1, kNoDeviceConnectedPanel1);
    }
    form_.UpdateButtons();
    return accepted;
}

void TDeviceAccess::ConnectButtonClick() {
    Device& device = form_.device;
    if (device.SerialNumber <= 0) {
        SetWindowEnabled(false);
        IdentifyDevice();
        SetWindowEnabled(true);
        return;
    }
    device.SerialNumber = -1;
    unitValues_.reset();
    device.SetVersion(0);
    device.Model.clear();
    device.Variant = 0;
    form_.SetStatus(0, kNoDeviceConnectedPanel0);
    form_.SetStatus(1, kNoDeviceConnectedPanel1);
    form_.SetupModel("", 0);
    form_.UpdateButtons();
}

SameDevice TDeviceAccess::CheckSameDevice(int32_t expected, const std::string& caption,
                                          const std::string& commCaption) {
    uint8_t bytes[8] = {};
    if (worker_.ReadRegisters(bytes, busAddress_(), 2, 3) != modbus::kTransactionDone) {
        lineLostShown_ = worker_.PortGone();
        prompts_.Inform(OrGoneText("Unable to communicate with device."),
                        commCaption.empty() ? caption : commCaption, PromptIcon::Error);
        return SameDevice::CommFailure;
    }
    const int64_t found = static_cast<int64_t>(FromBytes(bytes, 3));
    if (found != expected) {
        prompts_.Inform("Found a device with a different serialnumber!\r\nExpected: " +
                            std::to_string(expected) + " Found: " + PaddedDigits(found, 7) +
                            "\r\nPlease go to the configuration page to identify this new device.",
                        caption, PromptIcon::Error);
        return SameDevice::Different;
    }
    return SameDevice::Same;
}

bool TDeviceAccess::CheckBeforeRun(const SameDeviceCaller& caller) {
    const int32_t expected =
        caller.recordSerial ? form_.device.SerialNumber : form_.ExpectedSerialNumber;
    if (expected == -1) {
        if (*caller.noUnitText)
            prompts_.Inform(caller.noUnitText, caller.noUnitCaption, PromptIcon::Error);
        return false;
    }
    SetWindowEnabled(false);
    lineLostShown_ = false;
    const SameDevice same = CheckSameDevice(expected, caller.caption, caller.commCaption);
    if (same == SameDevice::Same)
        return true;
    if (same == SameDevice::Different && caller.homeOnDifferent)
        SelectPage("ConfigurationSheet");
    SetWindowEnabled(true);
    return false;
}

// ---------------------------------------------------------------------------------------
// Failures and their logs.

std::string TDeviceAccess::ErrorText(int exceptionCode) {
    switch (exceptionCode) {
    case 1:
        return "1, Illegal function";
    case 2:
        return "2, Illegal data address";
    case 3:
        return "3, Illegal data value ";
    case 4:
        return "4, Failure in associated device";
    case 6:
        return "6, Slave device busy";
    default:
        return std::to_string(exceptionCode);
    }
}

std::string TDeviceAccess::LogFileName(const std::string& prefix) const {
    return prefix + Format(now(), "%Y%m%d-%H%M%S") + ".txt";
}

// The logs go where the tool keeps its files rather than wherever the process happened to
// be started, so that a user finds them again.
std::string TDeviceAccess::LogPath(const std::string& logFileName) const {
    if (logFolder.empty())
        return LogFilePath(logFileName);
    return logFolder + "/" + logFileName;
}

void TDeviceAccess::WriteLogHeader(const std::string& logFileName) {
    std::string folderProblem;
    const std::string path =
        logFolder.empty() ? LogFilePath(logFileName, &folderProblem) : LogPath(logFileName);
    std::ofstream file(path, std::ios::app | std::ios::binary);
    if (!file) {
        // A log that cannot be written does not stop the run; the run's end says why.
        const int code = errno;
        logProblem_ = !folderProblem.empty()
                          ? folderProblem
                          : "Unable to write " + path + ": " + std::strerror(code) + ".";
        return;
    }
    logProblem_.clear();
    logsWritten_.push_back(path);
    const std::string tool = form_.versionText.empty() ? ToolVersionText() : form_.versionText;
    file << "Model ID: " << form_.ModelVersionKey << "\r\n"
         << "Tool Version: " << tool << "\r\n"
         << "Date: " << Format(now(), "%Y-%m-%d %H:%M:%S") << "\r\n"
         << "\r\n";
}

void TDeviceAccess::WriteLogLine(const std::string& logFileName, const std::string& label,
                                 const std::string& errorText, const std::string& valueText) {
    std::ofstream file(LogPath(logFileName), std::ios::app | std::ios::binary);
    if (!file)
        return;
    file << label << ", Value: " << valueText << ", Error: " << errorText << "\r\n";
}

std::string LostLineText(const modbus::TModThread& worker) {
    if (worker.PortGone())
        return worker.GoneText();
    if (worker.SilentTransactionsInRow() >= kSilentTransactionsToStop)
        return kUnitStoppedAnsweringText;
    return {};
}

std::string TDeviceAccess::OrGoneText(const std::string& text) const {
    return worker_.PortGone() ? worker_.GoneText() : text;
}

bool TDeviceAccess::LineLost() {
    const std::string lost = LostLineText(worker_);
    if (lost.empty())
        return false;
    if (!lineLostShown_) {
        lineLostShown_ = true;
        prompts_.Inform(lost, "Communication error", PromptIcon::Error);
    }
    return true;
}

std::string TDeviceAccess::LastLogPath(const std::string& prefix) const {
    for (auto it = logsWritten_.rbegin(); it != logsWritten_.rend(); ++it) {
        const size_t slash = it->find_last_of('/');
        if (it->compare(slash == std::string::npos ? 0 : slash + 1, prefix.size(), prefix) == 0)
            return *it;
    }
    return {};
}

std::string TDeviceAccess::CheckLogText(const std::string& text, const std::string& prefix) const {
    // The last attempt counts: an older log of the prefix is not this run's.
    if (!logProblem_.empty())
        return text + ". " + logProblem_;
    const std::string path = LastLogPath(prefix);
    return path.empty() ? text + "." : text + ": " + path;
}

bool TDeviceAccess::ReadFailed(const std::string& control) const {
    return std::find(failedReads_.begin(), failedReads_.end(), control) != failedReads_.end();
}

bool TDeviceAccess::ReportTransferError(const std::string& logFileName, const std::string& label,
                                        int32_t value, bool readBack) {
    if (!form_.TransferErrorLogged) {
        form_.TransferErrorLogged = true;
        WriteLogHeader(logFileName);
    }
    const std::string errorText = ErrorText(worker_.LastExceptionCode());
    WriteLogLine(logFileName, label, errorText, std::to_string(value));
    // Nobody is asked whether to go on with a port that has gone or a unit that is silent.
    if (LineLost())
        return true;
    const bool write = !readBack && !logFileName.empty() && logFileName[0] == 'W';
    const std::string message = std::string("Unable to ") + (write ? "write " : "read ") + label +
                                (write ? " to device. Do you wish to continue the operation?"
                                       : " from device. Do you wish to continue the operation?") +
                                "\nErrorcode: " + errorText;
    if (!form_.ShowPopups)
        return false;
    return prompts_.Ask(message, "Communication error", PromptIcon::Error, PromptButtons::YesNo) !=
           PromptAnswer::Yes;
}

// ---------------------------------------------------------------------------------------
// Read device.

void TDeviceAccess::SetWindowEnabled(bool on) {
    if (!on && runStarting)
        runStarting();
    form_.enabled = on;
    if (form_.windowChanged)
        form_.windowChanged();
}

editor::CalendarDate TDeviceAccess::Today() const {
    const std::tm tm = now();
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

void TDeviceAccess::SelectPage(const std::string& page) {
    form_.SelectPage(form_.PageIndex(page));
}

// The page comes to the front without the tab highlight the change handling would give it.
void TDeviceAccess::ActivateWithoutChange(const std::string& page) {
    const int index = form_.PageIndex(page);
    if (index < 0)
        return;
    auto& pages = form_.Pages();
    const bool before = pages[static_cast<size_t>(index)].highlighted;
    const bool oldBefore = pages[static_cast<size_t>(form_.ActivePage())].highlighted;
    const int old = form_.ActivePage();
    form_.SelectPage(index);
    pages[static_cast<size_t>(index)].highlighted = before;
    if (old != index)
        pages[static_cast<size_t>(old)].highlighted = oldBefore;
    if (form_.pagesChanged)
        form_.pagesChanged();
}

bool TDeviceAccess::ReadRow(const Parameter& row, const std::string& logFileName) {
    if (row.form == ValueForm::Linearisation)
        return ReadLinearisation(row, logFileName);
    const std::string caption = CaptionControl(form_, row.control);
    if (!caption.empty()) {
        form_.SetFocus(caption);
        form_.SetHighlighted(caption, true);
    }
    const bool clock = std::string(row.control) == "pickTime";
    if (clock)
        form_.SetEnabled("pickTime", true);
    uint64_t value = 0;
    const int result = ReadParameter(row, value);
    if (!caption.empty())
        form_.SetHighlighted(caption, false);
    const std::string control = row.control;
    failedReads_.erase(std::remove(failedReads_.begin(), failedReads_.end(), control),
                       failedReads_.end());
    if (result != modbus::kTransactionDone) {
        failedReads_.push_back(control);
        if (ReportTransferError(logFileName, row.readLabel, 0))
            return false;
        value = 0;
    }
    if (row.form == ValueForm::ModelCheck)
        form_.SetText(row.control, form_.device.Model);
    else
        PlaceValue(form_, row, value, Today());
    if (std::string(row.control) == "FlowmeterConversionGroup" && row.step == 2)
        rules_.SetConfirmedConversionMode(form_["FlowmeterConversionGroup"].itemIndex);
    if (clock)
        form_.SetEnabled("pickTime", false);
    return true;
}

bool TDeviceAccess::ReadLinearisation(const Parameter& row, const std::string& logFileName) {
    const bool frequencies = std::string(row.page) == "LinearisationSheet";
    if (frequencies)
        form_.SetItemIndex("LinearisationFactorGroup", 0);
    const std::string box = row.control;
    if (form_.Has(box)) {
        form_.SetFocus(box);
        form_.SetHighlighted(box, true);
    }
    const auto& rows = frequencies ? editor::FrequencyRows() : editor::PercentageRows();
    bool go = true;
    for (int entry = 0; entry < editor::kLinearisationRows && go; ++entry) {
        const editor::LinearisationRow& line = rows[static_cast<size_t>(entry)];
        uint64_t value = 0;
        if (form_.ensureVisible)
            form_.ensureVisible(line.inputEdit);
        if (ReadLinearisationEntry(entry, value) != modbus::kTransactionDone) {
            failedReads_.push_back(line.inputEdit);
            if (ReportTransferError(logFileName, row.readLabel + std::string(1, line.id), entry)) {
                go = false;
                break;
            }
            value = 0;
        }
        form_.SetText(line.inputEdit, NumberText(value % kFactorShift));
        form_.SetText(line.factorEdit, NumberText(value / kFactorShift % kFactorShift));
        Advance();
    }
    if (form_.ensureVisible)
        form_.ensureVisible(rows[0].inputEdit);
    if (form_.Has(box))
        form_.SetHighlighted(box, false);
    return go;
}

// A bulk run that went through all its pages ends on the Runtime Values page with fresh
// operator values, where the model has them; false when they could not be read.
bool TDeviceAccess::EndWithOperatorValues() {
    if (!form_.PageNamed("RuntimeSheet").visible)
        return true;
    SelectPage("RuntimeSheet");
    form_.Updating = false;
    rules_.UpdateValues();
    return readOperatorValues ? readOperatorValues() : true;
}

// One parameter (one linearisation entry) of a bulk run done.
void TDeviceAccess::Advance() {
    ++progressDone_;
    if (progressDone_ > progressTotal_)
        progressTotal_ = progressDone_;
    form_.SetProgress(progressDone_, progressTotal_);
}

bool TDeviceAccess::ReadPages(const std::string& logFileName) {
    // The run's total as the window stands now; the pages read first (the unit conversion,
    // the mode) may add or drop a few rows later on.
    progressDone_ = 0;
    progressTotal_ = 0;
    for (const Parameter& row : Parameters()) {
        const int index = form_.PageIndex(row.page);
        if (index >= 0 && form_.Pages()[static_cast<size_t>(index)].visible && ReadsNow(form_, row))
            progressTotal_ += row.form == ValueForm::Linearisation ? editor::kLinearisationRows : 1;
    }
    form_.SetProgress(0, progressTotal_);
    int step = 0;
    bool pageShown = false;
    for (const Parameter& row : Parameters()) {
        if (row.step != step) {
            step = row.step;
            pageShown = form_.PageNamed(row.page).visible;
            if (pageShown) {
                if (step == 2)
                    ActivateWithoutChange(row.page);
                else if (step >= 3)
                    SelectPage(row.page);
            }
        }
        if (!pageShown || !ReadsNow(form_, row))
            continue;
        if (!ReadRow(row, logFileName))
            return false;
        if (row.form != ValueForm::Linearisation)
            Advance();
    }
    // Rows counted at the start may not have been read after all (a unit in "Hand" has no
    // Flowmeter unit): the finished run reads its own total.
    form_.SetProgress(progressDone_, progressTotal_ = progressDone_);
    return true;
}

void TDeviceAccess::DownloadButtonClick() {
    form_.Updating = true;
    form_.BulkLoading = true;
    bool success = false;
    form_.ExpectedSerialNumber = form_.device.SerialNumber;
    const std::string logFileName = LogFileName("ReadLog");
    const auto finish = [this] {
        form_.Updating = false;
        form_.BulkLoading = false;
        form_.TransferErrorLogged = false;
        form_.SetProgress(0, 0);
    };

    if (!CheckBeforeRun(SameDeviceCallerFor("Read device"))) {
        finish();
        return;
    }
    form_.SetStatus(1, kReadingStatus);
    form_.Pages()[static_cast<size_t>(form_.ActivePage())].highlighted = false;
    failedReads_.clear();

    unitValues_.reset();
    if (ReadPages(logFileName))
        success = EndWithOperatorValues();
    if (success) {
        unitValues_ = editor::TakeSnapshot(form_);
        std::vector<std::string> read;
        for (const editor::ShownValue& v : unitValues_->values)
            if (!ReadFailed(v.control))
                read.push_back(v.control);
        editor::KeepOnly(*unitValues_, read);
    }

    ReportRunEnd(success, {kReadOkStatus, kReadFailedStatus, "Read out all values correctly.",
                           "Some values were not read correctly. Please check the ReadLog",
                           "Read Device", "ReadLog"});
    SelectPage("ConfigurationSheet");
    if (success && form_["DownloadButton"].enabled)
        form_.SetFocus("DownloadButton");
    CloseRun(-1);
    finish();
}

// The status and messages that end a bulk run; after a failure the editing rules catch up
// with the values the run left.
void TDeviceAccess::ReportRunEnd(bool success, const RunEnd& texts,
                                 const std::string& failureText) {
    if (success) {
        form_.SetStatus(1, texts.okStatus);
        if (form_.ShowPopups)
            prompts_.Inform(form_.TransferErrorLogged
                                ? CheckLogText(texts.someFailed, texts.logPrefix)
                                : std::string(texts.allDone),
                            texts.caption, PromptIcon::Information);
        return;
    }
    form_.SetStatus(1, texts.failedStatus);
    // A lost line has its one message, and only one.
    if (!failureText.empty())
        prompts_.Inform(failureText, texts.caption, PromptIcon::Error);
    else if (!lineLostShown_ && !LineLost())
        prompts_.Inform("Error during communication. Please retry the operation.", texts.caption,
                        PromptIcon::Error);
    form_.Updating = false;
    rules_.UpdateValues();
}

// The window after a bulk run: no tab highlighted, the page (when one is given) active with
// the page-change handling, the linearisation table at its top, enabled again.
void TDeviceAccess::CloseRun(int page) {
    for (editor::Page& p : form_.Pages())
        p.highlighted = false;
    if (page >= 0)
        form_.SelectPage(page);
    form_.PageControl1Change();
    if (form_.ensureVisible)
        form_.ensureVisible(editor::FrequencyRows()[0].inputEdit);
    SetWindowEnabled(true);
}

} // namespace vantrel::device
