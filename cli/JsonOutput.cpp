#include "cli/JsonOutput.h"

#include "device/OperatorWatch.h"

#include <nlohmann/json.hpp>

#include <cstdlib>

namespace vantrel::cli {

using nlohmann::json;

namespace {

std::string Document(const json& document) {
    return document.dump(2) + "\n";
}

json Value(const std::string& text, const std::string& unit) {
    json value;
    const std::optional<double> number = ShownNumber(text);
    value["number"] = number ? json(*number) : json(nullptr);
    value["unit"] = unit.empty() ? json(nullptr) : json(unit);
    value["text"] = text;
    return value;
}

} // namespace

std::optional<double> ShownNumber(const std::string& text) {
    // The console's labels use "." (the session's separator); a status reads "3 - Low".
    const char* start = text.c_str();
    char* end = nullptr;
    const double number = std::strtod(start, &end);
    if (end == start || (*end != '\0' && *end != ' '))
        return std::nullopt;
    return number;
}

std::string IdentityJson(const Device& device) {
    return Document({{"serial", device.SerialNumber},
                     {"model", device.Model},
                     {"version", VersionText(device.Version())},
                     {"logger", device.HasDataLog},
                     {"model_version_key", device.ModelVersionKey()}});
}

std::string ValuesJson(const editor::Form& f) {
    // The units as the text lines give them.
    const std::string flowUnit = device::FlowRateUnitText(f);
    const std::string totalUnit = device::TotalUnitText(f);
    return Document({{"flow_rate", Value(f["FlowrateValueLabel"].text, flowUnit)},
                     {"total", Value(f["TotalValueLabel"].text, totalUnit)},
                     {"acc_total", Value(f["AccTotalValueLabel"].text, totalUnit)},
                     {"battery_status", Value(f["lblBatteryStatus"].text, "")},
                     {"error_status", Value(f["lblErrorStatus"].text, "")}});
}

std::string ScanJson(const std::vector<device::FoundUnit>& units, int badAnswers) {
    json list = json::array();
    for (const device::FoundUnit& unit : units) {
        const modbus::LineMode mode = device::ModeOf(unit.settings);
        list.push_back({{"baud", mode.baud},
                        {"data_bits", mode.dataBits},
                        {"parity", std::string(1, mode.parity)},
                        {"stop_bits", mode.stopBits},
                        {"framing", device::FramingName(unit.settings.framing)},
                        {"address", unit.address},
                        {"model", unit.model},
                        {"serial", unit.serial},
                        {"version", VersionText(unit.version)}});
    }
    return Document({{"units", list}, {"bad_answers", badAnswers}});
}

std::string LogListsJson(const std::vector<int>& indexes, const std::vector<std::string>& names) {
    json lists = json::array();
    for (size_t i = 0; i < names.size() && i < indexes.size(); ++i)
        lists.push_back({{"index", indexes[i]}, {"name", names[i]}});
    return Document({{"lists", lists}});
}

std::string DifferencesJson(const Device& device, const std::string& file,
                            const std::vector<editor::Difference>& differences) {
    json list = json::array();
    for (const editor::Difference& d : differences)
        list.push_back({{"page", d.pageCaption},
                        {"parameter", d.parameter},
                        {"unit", d.from},
                        {"file", d.to}});
    return Document({{"serial", device.SerialNumber},
                     {"model", device.Model},
                     {"file", file},
                     {"differ", !differences.empty()},
                     {"differences", list}});
}

} // namespace vantrel::cli
