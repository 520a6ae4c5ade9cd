#pragma once

// The unit's one-shot commands (restart, factory reset, analog output calibration) and the
// two clock buttons of the data-logging page. The commands talk to whatever unit answers at
// the bus address: no serial-number check comes first. Restart and factory reset end in a
// new identification.

#include "device/DeviceAccess.h"
#include "host/Pump.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel::device {

// Messages of the commands.
extern const char* const kRestartingStatus;
extern const char* const kResettingStatus;
extern const char* const kRestartFailedText;
extern const char* const kFactoryResetFailedText;
extern const char* const kFactoryResetQuestion;
extern const char* const kCalibrationTooLongText;
extern const char* const kCalibrationNotIntegerText;

// Register 25 commands.
constexpr uint16_t kCommandRegister = 25;
constexpr uint16_t kRestartCommand = 42255;      // A50F
constexpr uint16_t kFactoryResetCommand = 23280; // 5AF0
// How long the unit is given to come back after either command.
constexpr std::chrono::milliseconds kCommandSettleTime{2000};

// A typed calibration value as a whole number: an optional sign and decimal digits, nothing
// else (no blanks, no hexadecimal form).
std::optional<int> CalibrationValue(std::string_view text);

class TDeviceCommands {
public:
    TDeviceCommands(TDeviceAccess& access, host::Pump& pump);

    void RestartButtonClick();
    void FactoryResetButtonClick();
    void CalTuneMinClick();
    void CalTuneMaxClick();
    void btnUpdateTimeClick();
    void btnUpdateDateClick();

private:
    // Writes a register 25 command; on success waits for the unit, then identifies it anew.
    // False when the command could not be sent.
    bool SendCommand(uint16_t command, const char* status, const char* failedText);
    void Calibrate(const char* edit, const char* prompt, uint16_t reg, const char* failedText);
    int PortNumber() const;

    TDeviceAccess& access_;
    host::Pump& pump_;
};

} // namespace vantrel::device
