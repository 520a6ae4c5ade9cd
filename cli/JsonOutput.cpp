#include "cli/JsonOutput.h"

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
    const std::string flowUnit = f["FlowrateUnitLabel"].text.empty()
                                     ? f["FlowIntLabel"].text
                                     : f["FlowrateUnitLabel"].text + " " + f["FlowIntLabel"].text;
    return Document(
        {{"flow_rate", Value(f["FlowrateValueLabel"].text, flowUnit)},
         {"total", Value(f["TotalValueLabel"].text, f["TotalUnitLabel"].text)},
         {"acc_total", Value(f["AccTotalValueLabel"].text, f["AccTotalUnitLabel"].text)},
         {"battery_status", Value(f["lblBatteryStatus"].text, "")},
         {"error_status", Value(f["lblErrorStatus"].text, "")}});
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
