#pragma once

#include <cstdint>
#include <string>

namespace vantrel {

// The unit the tool works for: the one identified on the bus, the model chosen for an
// offline configuration, or none. SerialNumber is also the connection state: -1 no unit,
// 0 offline configuration, above 0 the serial number of the identified unit.
class Device {
public:
    int32_t SerialNumber = 0;
    std::string Model;
    char Variant = 0;
    bool HasDataLog = false;

    int32_t Version() const { return version_; }
    void SetVersion(int32_t version) { version_ = version; }

    // Model + "_" + the version as six digits (Model + "_000000" for a version of 0 or less).
    std::string ModelVersionKey() const;

private:
    int32_t version_ = 0;
};

// The six characters after the first of the decimal text of value + 10^digits: the value
// modulo 10^digits with leading zeros, for values below 9 * 10^digits.
std::string PaddedDigits(int64_t value, int digits);

// "VV:VV:VV" of a firmware version.
std::string VersionText(int32_t version);

// "Version: 1.6 (build: 1.0)": the tool's own version.
std::string ToolVersionText();

} // namespace vantrel
