#include "common/Device.h"

#include "common/VersionInfo.h"

namespace vantrel {

std::string PaddedDigits(int64_t value, int digits) {
    int64_t power = 1;
    for (int i = 0; i < digits; ++i)
        power *= 10;
    const std::string text = std::to_string(value + power);
    return text.substr(1, static_cast<size_t>(digits));
}

std::string Device::ModelVersionKey() const {
    if (version_ <= 0)
        return Model + "_000000";
    return Model + "_" + PaddedDigits(version_, 6);
}

std::string VersionText(int32_t version) {
    const std::string digits = PaddedDigits(version, 6);
    return digits.substr(0, 2) + ":" + digits.substr(2, 2) + ":" + digits.substr(4, 2);
}

std::string ToolVersionText() {
    return "Version: " + std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) +
           " (build: " + std::to_string(kVersionRelease) + "." + std::to_string(kVersionBuild) +
           ")";
}

} // namespace vantrel
