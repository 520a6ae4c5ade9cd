#pragma once

// The Runtime Values page: the unit's flow rate, totals, battery and error status read into
// its labels, and the Refresh and Clear Total buttons. Nothing is cached; the labels are the
// only state, and a failed read leaves them as they were.

#include "device/DeviceAccess.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel::device {

// A unit's integer value as the page shows it: decimal digits with `decimals` of them after
// `separator` (zeros put in front as needed): 7 with 3 decimals is 0.007, 0 with 2 is 0.00.
std::string OperatorValueText(uint64_t value, int decimals, std::string_view separator);

// The battery status text of a code (0, 1, 2; anything else is "Not available").
std::string BatteryStatusText(int code);

// Messages and status texts of the page.
extern const char* const kRefreshingStatus;
extern const char* const kRefreshedStatus;
extern const char* const kRefreshFailedStatus;
extern const char* const kClearingTotalStatus;
extern const char* const kClearFailedStatus;
extern const char* const kClearedStatus;
extern const char* const kCommunicationErrorText;
extern const char* const kClearedTotalText;

class TOperatorValues {
public:
    explicit TOperatorValues(TDeviceAccess& access);

    // Reads the operator registers and shows them; false (labels untouched) when a read other
    // than the battery status failed.
    bool ReadOperatorValues();
    void RefeshButtonClick();
    void ClearTotalButtonClick();

    // Decimals of the shown values, by the page set of the unit in work.
    int FlowrateDecimals() const;
    int TotalDecimals() const;

private:
    // The decimals control each follows; null where the page set has none.
    const char* FlowrateDecimalsControl() const;
    const char* TotalDecimalsControl() const;

    TDeviceAccess& access_;
};

} // namespace vantrel::device
