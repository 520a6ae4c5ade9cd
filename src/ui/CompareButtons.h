#pragma once

// "Compare with unit" and "Compare with file...": the differences between the form and the
// values last read from the unit, or a configuration file, listed in a message and marked on
// their pages until the next read or load.

#include <string>

namespace vantrel::device {
class TDeviceAccess;
}
namespace vantrel::host {
class Prompts;
}

namespace vantrel::ui {

extern const char* const kUnitValuesUnknown;
extern const char* const kCompareUnitIntro;
extern const char* const kCompareFileIntro;
extern const char* const kNoValuesDifferFromFile;

// Binds both buttons and the clearing of the marks; access must live as long as the Form.
void WireCompareButtons(device::TDeviceAccess& access, host::Prompts& prompts,
                        std::string decimalSeparator);

} // namespace vantrel::ui
