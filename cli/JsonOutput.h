#pragma once

// The --json documents of the verbs, one small writer each: what the text lines say, under
// keys that stay as they are, for scripts.

#include "common/Device.h"
#include "device/UnitSearch.h"
#include "editor/Compare.h"
#include "editor/Form.h"

#include <optional>
#include <string>
#include <vector>

namespace vantrel::cli {

// {"serial", "model", "version", "logger", "model_version_key"}
std::string IdentityJson(const Device& device);

// {"flow_rate", "total", "acc_total", "battery_status", "error_status"}, each
// {"number", "unit", "text"} as the Runtime Values page shows it (unit null where none).
std::string ValuesJson(const editor::Form& form);

// {"lists": [{"index", "name"}]}
std::string LogListsJson(const std::vector<int>& indexes, const std::vector<std::string>& names);

// {"serial", "model", "file", "differ", "differences": [{"page", "parameter", "unit", "file"}]}
std::string DifferencesJson(const Device& device, const std::string& file,
                            const std::vector<editor::Difference>& differences);

// {"units": [{"baud", "data_bits", "parity", "stop_bits", "framing", "address", "model",
// "serial", "version"}], "bad_answers"}
std::string ScanJson(const std::vector<device::FoundUnit>& units, int badAnswers);

// The number a value label shows ("12.34", "0 - Not determined"), nothing when it shows none.
std::optional<double> ShownNumber(const std::string& text);

} // namespace vantrel::cli
