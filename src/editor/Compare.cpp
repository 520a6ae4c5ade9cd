#include "editor/Compare.h"

#include "editor/EditingRules.h"
#include "editor/Linearisation.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

namespace vantrel::editor {

const char* const kNoValuesDiffer = "No values differ from the unit";

namespace {

// A parameter control and the labels that show its value: the "Value =" label (empty: the
// edit's own text) and the unit beside it. The linearisation boxes stand for their fifteen
// rows.
struct Compared {
    const char* control;
    const char* valueLabel;
    const char* unitLabel;
};

// clang-format off
// In the order of the pages and, on a page, in the order a write sends them. What a write
// never sends (identification, calibration points, tune values) is no difference to anyone.
constexpr Compared kCompared[] = {
    {"TotalUnitGroup",                "",                           ""},
    {"TotalDecimalsGroup",            "",                           ""},
    {"TotalKFactorDecimalsGroup",     "",                           ""},
    {"TotalKFactorEdit",              "TotalKFactorValueLabel",     "TotalKFactorUnitLabel"},
    {"TotalMultiplyGroup",            "",                           ""},
    {"TotalAUnitGroup",               "",                           ""},
    {"TotalADecimalsGroup",           "",                           ""},
    {"TotalASpanDecimalsGroup",       "",                           ""},
    {"TotalASpanEdit",                "TotalASpanValueLabel",       "TotalASpanUnitLabel"},
    {"TotalAMultiplyGroup",           "",                           ""},
    {"FlowrateUnitGroup",             "",                           ""},
    {"FlowrateIntervalGroup",         "",                           ""},
    {"FlowrateDecimalsGroup",         "",                           ""},
    {"FlowrateKFactorDecimalsGroup",  "",                           ""},
    {"FlowrateKFactorEdit",           "FlowrateKFactorValueLabel",  "FlowrateKFactorUnitLabel"},
    {"FlowratePulsesEdit",            "FlowratePulsesValueLabel",   ""},
    {"FlowrateCutoffEdit",            "FlowrateCutoffValueLabel",   "FlowrateCutoffUnitLabel"},
    {"FlowrateAUnitGroup",            "",                           ""},
    {"FlowrateAIntervalGroup",        "",                           ""},
    {"FlowrateADecimalsGroup",        "",                           ""},
    {"FlowrateASpanDecimalsGroup",    "",                           ""},
    {"FlowrateASpanEdit",             "FlowrateASpanValueLabel",    "FlowrateASpanUnitLabel"},
    {"DisplayFunctionGroup",          "",                           ""},
    {"PowermanagementLCDNewGroup",    "",                           ""},
    {"DisplayBrightnessGroup",        "",                           ""},
    {"DisplayBargraphGroup",          "",                           ""},
    {"DisplayBargraphEdit",           "",                           "DisplayBargraphUnitLabel"},
    {"FlowmeterSignalGroup",          "",                           ""},
    {"FlowmeterConversionGroup",      "",                           ""},
    {"FlowmeterUnitGroup",            "",                           ""},
    {"FlowmeterKFactorDecimalsGroup", "",                           ""},
    {"FlowmeterKFactorEdit",          "FlowmeterKFactorValueLabel", "FlowmeterKFactorUnitLabel"},
    {"FlowmeterAFormulaGroup",        "",                           ""},
    {"FlowmeterAFilterEdit",          "",                           ""},
    {"FlowmeterACutOffEdit",          "FlowmeterACutoffValueLabel", "FlowmeterACutoffUnitLabel"},
    {"LinearisationEnableGroup",      "",                           ""},
    {"LinearisationDecimalsGroup",    "",                           ""},
    {"LinearisationEntriesBox",       "",                           ""},
    {"LinearisationAEnableGroup",     "",                           ""},
    {"LinearizationABox",             "",                           ""},
    {"AnalogEnableGroup",             "",                           ""},
    {"AnalogMinEdit",                 "AnalogMinValueLabel",        "AnalogMinUnitLabel"},
    {"AnalogMaxEdit",                 "AnalogMaxValueLabel",        "AnalogMaxUnitLabel"},
    {"AnalogCutoffEdit",              "AnalogCutoffValueLabel",     "AnalogCutoffUnitLabel"},
    {"AnalogFilterEdit",              "AnalogFilterValueLabel",     ""},
    {"PulseWidthEdit",                "PulseWidthValueLabel",       "PulseWidthUnitLabel"},
    {"PulseDecimalsGroup",            "",                           ""},
    {"PulseAmountEdit",               "PulseAmountValueLabel",      "PulseAmountUnitLabel"},
    {"CommDelayEdit",                 "",                           "CommDelayUnitLabel"},
    {"CommunicSpeedGroup",            "",                           ""},
    {"CommunicAddressEdit",           "",                           ""},
    {"CommunicProtocolGroup",         "",                           ""},
    {"CommunicDatabitsGroup",         "",                           ""},
    {"CommunicParityGroup",           "",                           ""},
    {"DataLogIntervalGroup",          "",                           ""},
    {"DataLogDailyGroup",             "",                           ""},
    {"DataLogDaily1",                 "",                           ""},
    {"DataLogDaily2",                 "",                           ""},
    {"pickTime",                      "",                           ""},
    {"pickDate",                      "",                           ""},
    {"OthersPasswordEdit",            "",                           ""},
    {"OthersKeylockGroup",            "",                           ""},
    {"OthersTagEdit",                 "OthersTagLabel",             ""},
};
// clang-format on

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool IsChoice(ControlKind kind) {
    return kind == ControlKind::RadioGroup || kind == ControlKind::ComboBox ||
           kind == ControlKind::UnitButtons;
}

// Visible as the window draws it: the control and every box around it. A unit group is
// hidden behind its box of buttons, which stands in for it.
bool Visible(const Form& form, const std::string& name) {
    const Control& c = form[name];
    if (!c.visible && form.Has(name + "Box") && form[name + "Box"].kind == ControlKind::UnitButtons)
        return Visible(form, name + "Box");
    if (!c.visible)
        return false;
    return c.group.empty() || !form.Has(c.group) || Visible(form, c.group);
}

std::string Two(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

// An edit's value as the unit stores it: "0012" and "12" are one number.
std::string EditValue(const std::string& text) {
    const std::optional<int64_t> value = IntegerValue(text);
    return value ? std::to_string(*value) : text;
}

std::string WithUnit(const std::string& value, const std::string& unit) {
    return unit.empty() ? value : value + " " + unit;
}

void AddRows(const Form& form, const Page& page, const std::string& box, Snapshot& snapshot) {
    const bool frequencies = box == "LinearisationEntriesBox";
    const auto& rows = frequencies ? FrequencyRows() : PercentageRows();
    const bool counts = !form.Has(box) || Visible(form, box);
    for (const LinearisationRow& row : rows) {
        ShownValue v;
        v.page = page.name;
        v.control = row.inputEdit;
        v.pageCaption = page.caption;
        v.parameter = "Row " + std::string(1, row.id);
        // A write sends the factor as its label shows it.
        v.value = EditValue(form[row.inputEdit].text) + "/" + form[row.factorLabel].text;
        v.text = form[row.inputLabel].text + ", factor " + form[row.factorLabel].text;
        v.counts = counts;
        snapshot.values.push_back(std::move(v));
    }
}

} // namespace

Snapshot TakeSnapshot(const Form& form) {
    Snapshot snapshot;
    snapshot.model = form.device.Model;
    for (const Page& page : form.Pages()) {
        if (!page.visible)
            continue;
        for (const Compared& row : kCompared) {
            const std::string name = row.control;
            const bool rows = name == "LinearisationEntriesBox" || name == "LinearizationABox";
            if (rows && page.name == (name == "LinearizationABox" ? "LinearisationASheet"
                                                                  : "LinearisationSheet")) {
                AddRows(form, page, name, snapshot);
                continue;
            }
            if (!form.Has(name) || form[name].page != page.name)
                continue;
            const Control& c = form[name];
            ShownValue v;
            v.page = page.name;
            v.control = name;
            v.pageCaption = page.caption;
            v.parameter = Trimmed(c.caption);
            v.counts = Visible(form, name) && c.enabled;
            switch (c.kind) {
            case ControlKind::TimePicker:
                v.text = Two(c.time.hour) + ":" + Two(c.time.minute);
                if (name == "pickTime") {
                    v.text += ":" + Two(c.time.second);
                    // The unit's clock is only sent once the user set it, and then the
                    // picker may stand for the PC's time.
                    v.counts = form.TimeEdited;
                }
                v.value = v.text;
                break;
            case ControlKind::DatePicker:
                v.text =
                    std::to_string(c.date.year) + "-" + Two(c.date.month) + "-" + Two(c.date.day);
                v.value = v.text;
                break;
            case ControlKind::Edit: {
                v.value = EditValue(c.text);
                // The window shows an analog filter of 0 as 1 once the rules ran, and a write
                // sends it as 1: the two are one setting.
                if (name == "AnalogFilterEdit" && v.value == "0")
                    v.value = "1";
                const std::string shown = *row.valueLabel && form.Has(row.valueLabel)
                                              ? form[row.valueLabel].text
                                              : c.text;
                v.text = WithUnit(shown, *row.unitLabel && form.Has(row.unitLabel)
                                             ? Trimmed(form[row.unitLabel].text)
                                             : "");
                if (name == "OthersPasswordEdit") {
                    v.text = c.text;
                    v.counts = v.counts && !c.text.empty(); // an empty field sends nothing
                }
                break;
            }
            default:
                if (!IsChoice(c.kind))
                    continue;
                v.value = std::to_string(c.itemIndex);
                v.text = c.itemIndex >= 0 && static_cast<size_t>(c.itemIndex) < c.items.size()
                             ? c.items[static_cast<size_t>(c.itemIndex)]
                             : "(none)";
                break;
            }
            snapshot.values.push_back(std::move(v));
        }
    }
    return snapshot;
}

void KeepOnly(Snapshot& snapshot, const std::vector<std::string>& controls) {
    auto& values = snapshot.values;
    values.erase(std::remove_if(values.begin(), values.end(),
                                [&](const ShownValue& v) {
                                    return std::find(controls.begin(), controls.end(), v.control) ==
                                           controls.end();
                                }),
                 values.end());
}

std::optional<std::vector<Difference>> Differences(const Snapshot& from, const Snapshot& to) {
    if (from.model != to.model)
        return std::nullopt;
    std::unordered_map<std::string, const ShownValue*> before;
    for (const ShownValue& v : from.values)
        before.emplace(v.control, &v);
    std::vector<Difference> differences;
    for (const ShownValue& v : to.values) {
        if (!v.counts)
            continue;
        const auto found = before.find(v.control);
        if (found == before.end() || found->second->value == v.value)
            continue;
        differences.push_back(
            {v.page, v.control, v.pageCaption, v.parameter, found->second->text, v.text});
    }
    return differences;
}

std::string DifferenceLine(const Difference& d, const std::string& fromName,
                           const std::string& toName) {
    return d.pageCaption + " - " + d.parameter + ": " + fromName + " " + d.from + ", " + toName +
           " " + d.to;
}

} // namespace vantrel::editor
