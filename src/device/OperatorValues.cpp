#include "device/OperatorValues.h"

#include <algorithm>
#include <array>

namespace vantrel::device {

using host::PromptIcon;

const char* const kRefreshingStatus = " Status: refreshing operator values...";
const char* const kRefreshedStatus =
    " Status: operator values were read correctly from the device.";
const char* const kRefreshFailedStatus = " Status: operator values were not read correctly from "
                                         "the device. Please re-read the operator values.";
const char* const kClearingTotalStatus = " Status: clearing total...";
const char* const kClearFailedStatus =
    " Status: total value was not cleared correctly. Please re-clear the total value.";
const char* const kClearedStatus = " Status: total value was cleared correctly.";
const char* const kCommunicationErrorText =
    "Error during communication. Please retry the operation.";
const char* const kClearedTotalText = "Cleared total value correctly.";

namespace {

constexpr const char* kRefreshCaption = "Refresh";
constexpr const char* kClearTotalCaption = "Clear Total";

// Operator registers and the byte counts they are read with.
constexpr uint16_t kFlowrateRegister = 572;
constexpr uint16_t kTotalRegister = 566;
constexpr uint16_t kAccTotalRegister = 560;
constexpr uint16_t kBatteryRegister = 255;
constexpr uint16_t kErrorRegister = 516;

// What a battery code shows when the unit did not tell.
constexpr int kBatteryUnknown = 3;

int IndexOf(const editor::Form& form, const char* group) {
    return std::max(0, form[group].itemIndex);
}

constexpr const char* kNotAvailable = "Not available";

} // namespace

std::string OperatorValueText(uint64_t value, int decimals, std::string_view separator) {
    // The totals are 48 bits and the flow rate 32, so the value always fits the signed form.
    return editor::ScaledDigits(static_cast<int64_t>(value & 0xFFFF'FFFF'FFFFull), decimals,
                                separator);
}

std::string BatteryStatusText(int code) {
    switch (code) {
    case 0:
        return "0 - Not determined";
    case 1:
        return "1 - Battery power normal";
    case 2:
        return "2 - Battery low power";
    default:
        return kNotAvailable;
    }
}

TOperatorValues::TOperatorValues(TDeviceAccess& access) : access_(access) {}

const char* TOperatorValues::FlowrateDecimalsControl() const {
    const editor::Form& form = access_.MainForm();
    if (form.ActiveVariant == "A" || form.ActiveVariant == "U")
        return "FlowrateADecimalsGroup";
    if (form.ActiveVariant == "P")
        return "FlowrateDecimalsGroup";
    return nullptr;
}

int TOperatorValues::FlowrateDecimals() const {
    const char* control = FlowrateDecimalsControl();
    return control ? IndexOf(access_.MainForm(), control) : 0;
}

// The totals follow the unit's own variant letter where the flow rate follows the page set
// shown; a 'U' page set counts as the span set either way.
const char* TOperatorValues::TotalDecimalsControl() const {
    const editor::Form& form = access_.MainForm();
    const char variant = form.device.Variant;
    if (variant == 'A' || form.ActiveVariant == "U")
        return "TotalADecimalsGroup";
    if (variant == 'P')
        return "TotalDecimalsGroup";
    return nullptr;
}

int TOperatorValues::TotalDecimals() const {
    const char* control = TotalDecimalsControl();
    return control ? IndexOf(access_.MainForm(), control) : 0;
}

bool TOperatorValues::ReadOperatorValues() {
    const int flowrateDecimals = FlowrateDecimals();
    const int totalDecimals = TotalDecimals();

    struct Read {
        uint16_t reg;
        uint8_t bytes;
        uint64_t value;
    };
    std::array<Read, 3> reads{
        {{kFlowrateRegister, 4, 0}, {kTotalRegister, 6, 0}, {kAccTotalRegister, 6, 0}}};
    for (Read& read : reads)
        if (access_.ReadValue(read.reg, read.bytes, read.value) != modbus::kTransactionDone)
            return false;

    // Units without a battery do not answer its register; that is no failure.
    int battery = kBatteryUnknown;
    uint64_t code = 0;
    if (access_.ReadValue(kBatteryRegister, 1, code) == modbus::kTransactionDone)
        battery = static_cast<int>(code);

    uint64_t error = 0;
    if (access_.ReadValue(kErrorRegister, 2, error) != modbus::kTransactionDone)
        return false;

    editor::Form& form = access_.MainForm();
    const std::string& separator = access_.Rules().decimalSeparator;
    // A value scaled by decimals the unit did not tell would be shown ten or a hundred times
    // off: it is not shown at all.
    const char* flowControl = FlowrateDecimalsControl();
    const char* totalControl = TotalDecimalsControl();
    const bool flowKnown = !flowControl || !access_.ReadFailed(flowControl);
    const bool totalKnown = !totalControl || !access_.ReadFailed(totalControl);
    form.SetText("FlowrateValueLabel",
                 flowKnown ? OperatorValueText(reads[0].value, flowrateDecimals, separator)
                           : kNotAvailable);
    form.SetText("TotalValueLabel",
                 totalKnown ? OperatorValueText(reads[1].value, totalDecimals, separator)
                            : kNotAvailable);
    form.SetText("AccTotalValueLabel",
                 totalKnown ? OperatorValueText(reads[2].value, totalDecimals, separator)
                            : kNotAvailable);
    form.SetText("lblBatteryStatus", BatteryStatusText(battery));
    form.SetText("lblErrorStatus", std::to_string(error));
    return true;
}

void TOperatorValues::RefeshButtonClick() {
    editor::Form& form = access_.MainForm();
    if (form.ExpectedSerialNumber == -1)
        return;
    if (!access_.CheckBeforeRun(SameDeviceCallerFor(kRefreshCaption)))
        return;
    form.SetStatus(1, kRefreshingStatus);
    if (ReadOperatorValues()) {
        form.SetStatus(1, kRefreshedStatus);
    } else {
        form.SetStatus(1, kRefreshFailedStatus);
        access_.UserPrompts().Inform(kCommunicationErrorText, kRefreshCaption, PromptIcon::Error);
    }
    access_.SetWindowEnabled(true);
}

void TOperatorValues::ClearTotalButtonClick() {
    editor::Form& form = access_.MainForm();
    if (form.ExpectedSerialNumber == -1)
        return;
    if (!access_.CheckBeforeRun(SameDeviceCallerFor(kClearTotalCaption)))
        return;
    form.SetStatus(1, kClearingTotalStatus);
    // Only the resettable total (566-568); the accumulated total is the unit's own.
    const uint8_t zeros[6] = {};
    if (access_.Worker().WriteRegisters(zeros, access_.BusAddress(), kTotalRegister, 6) !=
        modbus::kTransactionDone) {
        form.SetStatus(1, kClearFailedStatus);
        access_.UserPrompts().Inform(kCommunicationErrorText, kClearTotalCaption,
                                     PromptIcon::Error);
    } else {
        // Zero with the decimals the total is shown with after a read, so that the label
        // does not change its form between a clear and the next refresh.
        form.SetText("TotalValueLabel",
                     OperatorValueText(0, TotalDecimals(), access_.Rules().decimalSeparator));
        form.SetStatus(1, kClearedStatus);
        if (form.ShowPopups)
            access_.UserPrompts().Inform(kClearedTotalText, kClearTotalCaption,
                                         PromptIcon::Information);
    }
    access_.SetWindowEnabled(true);
}

} // namespace vantrel::device
