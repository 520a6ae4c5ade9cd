#include "device/DeviceCommands.h"

#include "editor/EditingRules.h"
#include "modbus/ModbusCodec.h"

#include <ctime>
#include <limits>

namespace vantrel::device {

using host::PromptAnswer;
using host::PromptButtons;
using host::PromptIcon;

const char* const kRestartingStatus = " Status: restarting device...";
const char* const kResettingStatus = " Status: resetting device...";
const char* const kRestartFailedText = "Unable to send restart command to device.";
const char* const kFactoryResetFailedText = "Unable to send factory reset command to device.";
const char* const kFactoryResetQuestion =
    "Are you sure you wish to reset your device?\r\nYour current configuration will be lost.";
const char* const kCalibrationTooLongText = "Please enter a value below 9999.";
const char* const kCalibrationNotIntegerText = "Please enter a valid integer value.";

namespace {

constexpr const char* kFactoryResetCaption = "Factory reset";
constexpr const char* kInvalidInputCaption = "Invalid input";
constexpr const char* kCalibrationTitle = "Please enter value";
constexpr const char* kWriteErrorCaption = "Write error";

// The edits hold four characters, so five or more never fit.
constexpr size_t kCalibrationMaxLength = 4;

constexpr uint16_t kTuneMinRegister = 120;
constexpr uint16_t kTuneMaxRegister = 122;

// The port setup's indexes of the factory communication settings: 9600 baud, 8 data bits,
// no parity, 1 stop bit.
constexpr int kFactorySpeedIndex = 3;
constexpr int kFactoryDataBitsIndex = 0;
constexpr int kFactoryParityIndex = 0;
constexpr int kFactoryStopBitsIndex = 0;

constexpr const char* kResetTimeCaption = "Reset time";
constexpr const char* kLocalTimeCaption = "Use local time";

} // namespace

std::optional<int> CalibrationValue(std::string_view text) {
    const std::optional<int64_t> value = editor::IntegerValue(text);
    if (!value || *value > std::numeric_limits<int>::max() ||
        *value < std::numeric_limits<int>::min())
        return std::nullopt;
    return static_cast<int>(*value);
}

TDeviceCommands::TDeviceCommands(TDeviceAccess& access, host::Pump& pump)
    : access_(access), pump_(pump) {}

int TDeviceCommands::PortNumber() const {
    return access_.portSetup ? access_.portSetup->GetPortNumber() : 0;
}

bool TDeviceCommands::SendCommand(uint16_t command, const char* status, const char* failedText) {
    access_.SetWindowEnabled(false);
    access_.MainForm().SetStatus(1, status);
    const uint8_t bytes[2] = {static_cast<uint8_t>(command & 0xFF),
                              static_cast<uint8_t>(command >> 8)};
    if (access_.Worker().WriteRegisters(bytes, access_.BusAddress(), kCommandRegister, 2) !=
        modbus::kTransactionDone) {
        access_.SetWindowEnabled(true);
        access_.UserPrompts().Inform(failedText, "", PromptIcon::None);
        return false;
    }
    // The unit is rebooting meanwhile; the window stays alive but disabled.
    pump_.WaitUntil([] { return false; }, kCommandSettleTime);
    access_.SetWindowEnabled(true);
    return true;
}

void TDeviceCommands::RestartButtonClick() {
    if (PortNumber() == 0)
        return;
    SendCommand(kRestartCommand, kRestartingStatus, kRestartFailedText);
    access_.IdentifyDevice();
}

void TDeviceCommands::FactoryResetButtonClick() {
    if (access_.MainForm().ShowPopups &&
        access_.UserPrompts().Ask(kFactoryResetQuestion, kFactoryResetCaption,
                                  PromptIcon::Warning, PromptButtons::YesNo) != PromptAnswer::Yes)
        return;
    if (PortNumber() == 0)
        return;
    if (SendCommand(kFactoryResetCommand, kResettingStatus, kFactoryResetFailedText)) {
        // The unit now talks at its factory settings; the port follows it.
        modbus::PortSetup& setup = *access_.portSetup;
        setup.SelectSpeedIndex(kFactorySpeedIndex);
        setup.SelectDataBitsIndex(kFactoryDataBitsIndex);
        setup.SelectParityIndex(kFactoryParityIndex);
        setup.SelectStopBitsIndex(kFactoryStopBitsIndex);
        setup.SelectProtocol(modbus::kFramingRtu);
    }
    access_.IdentifyDevice();
}

void TDeviceCommands::CalTuneMinClick() {
    Calibrate("AnalogTuneMinEdit", "Calibration value Tune Min:", kTuneMinRegister,
              "Failed to write Analog Output - Tune Min to device.");
}

void TDeviceCommands::CalTuneMaxClick() {
    Calibrate("AnalogTuneMaxEdit", "Calibration value Tune Max:", kTuneMaxRegister,
              "Failed to write Analog Output - Tune Max to device.");
}

// The calibration write runs with the window enabled: the user watches the analog output
// while trimming it.
void TDeviceCommands::Calibrate(const char* edit, const char* prompt, uint16_t reg,
                                const char* failedText) {
    host::Prompts& prompts = access_.UserPrompts();
    const std::string text = prompts.InputBox(kCalibrationTitle, prompt, "");
    if (text.empty() || text.size() > kCalibrationMaxLength) {
        prompts.Inform(kCalibrationTooLongText, kInvalidInputCaption, PromptIcon::Error);
        return;
    }
    const std::optional<int> value = CalibrationValue(text);
    if (!value) {
        prompts.Inform(kCalibrationNotIntegerText, kInvalidInputCaption, PromptIcon::Error);
        return;
    }
    const std::string canonical = std::to_string(*value);
    access_.MainForm().SetText(edit, canonical);
    // "0100" or "+5": shown as the number it is, but only a value typed in its plain form
    // goes to the unit.
    if (canonical != text)
        return;
    const auto word = static_cast<uint16_t>(*value);
    const uint8_t bytes[2] = {static_cast<uint8_t>(word & 0xFF), static_cast<uint8_t>(word >> 8)};
    if (access_.Worker().WriteRegisters(bytes, access_.BusAddress(), reg, 2) !=
        modbus::kTransactionDone)
        prompts.Ask(failedText, kWriteErrorCaption, PromptIcon::Error, PromptButtons::YesNo);
}

void TDeviceCommands::btnUpdateTimeClick() {
    editor::Form& form = access_.MainForm();
    form.TimeEdited = true;
    if (form["btnUpdateTime"].caption == kResetTimeCaption) {
        form.SetTime("pickTime", {0, 0, 0});
        form.SetEnabled("pickTime", true);
        form.SetCaption("btnUpdateTime", kLocalTimeCaption);
    } else {
        const std::tm now = access_.now();
        form.SetTime("pickTime", {now.tm_hour, now.tm_min, now.tm_sec});
        form.SetEnabled("pickTime", false);
        form.SetCaption("btnUpdateTime", kResetTimeCaption);
    }
}

void TDeviceCommands::btnUpdateDateClick() {
    const std::tm now = access_.now();
    access_.MainForm().SetDate("pickDate", {now.tm_year + 1900, now.tm_mon + 1, now.tm_mday});
}

} // namespace vantrel::device
