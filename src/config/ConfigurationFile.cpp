#include "config/ConfigurationFile.h"

#include "editor/ControlTable.h"
#include "editor/EditingRules.h"

#include <cctype>
#include <cstdio>
#include <limits>

namespace vantrel::config {

namespace {

using K = ValueKind;
using W = Written;
using D = DefaultsModeValue;

std::vector<KeyRow> BuildKeys() {
    std::vector<KeyRow> rows = {
        {"TOTALA", "UNIT", "TotalAUnitGroup", K::Choice, "1", W::VariantA},
        {"TOTALA", "DECIMALS", "TotalADecimalsGroup", K::Choice, "0", W::VariantA},
        {"TOTALA", "SPANDECIMALS", "TotalASpanDecimalsGroup", K::Choice, "0", W::VariantA},
        {"TOTALA", "SPAN", "TotalASpanEdit", K::Number, "1600", W::VariantA},
        {"TOTALA", "FACTORX", "TotalAMultiplyGroup", K::Choice, "0", W::VariantA},
        {"FLOWRATEA", "UNIT", "FlowrateAUnitGroup", K::Choice, "2", W::VariantA},
        {"FLOWRATEA", "INTERVAL", "FlowrateAIntervalGroup", K::Choice, "1", W::VariantA},
        {"FLOWRATEA", "DECIMALS", "FlowrateADecimalsGroup", K::Choice, "0", W::VariantA},
        {"FLOWRATEA", "SPANDECIMALS", "FlowrateASpanDecimalsGroup", K::Choice, "0", W::VariantA},
        {"FLOWRATEA", "SPAN", "FlowrateASpanEdit", K::Number, "1600", W::VariantA},
        {"FLOWMETERA", "FORMULA", "FlowmeterAFormulaGroup", K::Choice, "0", W::VariantA},
        {"FLOWMETERA", "FILTER", "FlowmeterAFilterEdit", K::Number, "1", W::VariantA},
        {"FLOWMETERA", "CUTOFF", "FlowmeterACutOffEdit", K::Number, "0", W::VariantA},
        {"FLOWMETERA", "CALIBLO", "FlowmeterACalibLoGroup", K::Choice, "1", W::VariantA},
        {"FLOWMETERA", "CALIBHI", "FlowmeterACalibHiGroup", K::Choice, "1", W::VariantA},
        {"TOTAL", "UNIT", "TotalUnitGroup", K::Choice, "6", W::OtherVariants},
        {"TOTAL", "DECIMALS", "TotalDecimalsGroup", K::Choice, "0", W::OtherVariants},
        {"TOTAL", "KFACTORDECIMALS", "TotalKFactorDecimalsGroup", K::Choice, "0", W::OtherVariants},
        {"TOTAL", "KFACTOR", "TotalKFactorEdit", K::Number, "1", W::OtherVariants},
        {"TOTAL", "FACTORX", "TotalMultiplyGroup", K::Choice, "0", W::OtherVariants},
        {"FLOWRATE", "UNIT", "FlowrateUnitGroup", K::Choice, "7", W::OtherVariants},
        {"FLOWRATE", "INTERVAL", "FlowrateIntervalGroup", K::Choice, "3", W::OtherVariants},
        {"FLOWRATE", "DECIMALS", "FlowrateDecimalsGroup", K::Choice, "0", W::OtherVariants},
        {"FLOWRATE", "KFACTORDECIMALS", "FlowrateKFactorDecimalsGroup", K::Choice, "0",
         W::OtherVariants},
        {"FLOWRATE", "KFACTOR", "FlowrateKFactorEdit", K::Number, "1", W::OtherVariants},
        {"FLOWRATE", "PULSES", "FlowratePulsesEdit", K::Number, "10", W::OtherVariants},
        {"FLOWRATE", "CUTOFF", "FlowrateCutoffEdit", K::Number, "300", W::OtherVariants},
        {"FLOWMETER", "SIGNAL", "FlowmeterSignalGroup", K::Choice, "8", W::OtherVariants},
        {"FLOWMETER", "UNITCONVERSION", "FlowmeterConversionGroup", K::Choice, "1",
         W::OtherVariants},
        {"FLOWMETER", "UNIT", "FlowmeterUnitGroup", K::Choice, "3", W::OtherVariants},
        {"FLOWMETER", "KFACTOR", "FlowmeterKFactorEdit", K::Number, "1", W::OtherVariants},
        {"FLOWMETER", "KFACTORDECIMALS", "FlowmeterKFactorDecimalsGroup", K::Choice, "0",
         W::OtherVariants},
        {"DISPLAY", "FUNCTION", "DisplayFunctionGroup", K::Choice, "0", W::Always},
        {"DISPLAY", "LCDNEW", "PowermanagementLCDNewGroup", K::Choice, "2", W::Always},
        {"DISPLAY", "BRIGHTNESS", "DisplayBrightnessGroup", K::Choice, "5", W::Always},
        {"DISPLAY", "BARGRAPH", "DisplayBargraphGroup", K::Choice, "0", W::Always},
        {"DISPLAY", "GRAPHSPAN", "DisplayBargraphEdit", K::Number, "1000", W::Always},
        {"LINEARISATION", "LINEARISE", "LinearisationEnableGroup", K::Choice, "0",
         W::Linearisation},
        {"LINEARISATION", "DECIMALS", "LinearisationDecimalsGroup", K::Choice, "1",
         W::Linearisation},
        {"LINEARISATION", "FACTORS", "LinearisationFactorGroup", K::Choice, "1", W::Linearisation},
    };
    for (const char* row : editor::kRowSuffixes)
        rows.push_back({"LINEARISATION", std::string("FREQ") + row,
                        std::string("FrequencyEdit") + row, K::Number, "0", W::Linearisation});
    for (const char* row : editor::kRowSuffixes)
        rows.push_back({"LINEARISATION", std::string("FACT") + row, std::string("FactorEdit") + row,
                        K::Number, "0", W::Linearisation});
    const std::vector<KeyRow> rest = {
        {"ANALOG", "ENABLE", "AnalogEnableGroup", K::Choice, "0", W::Always},
        {"ANALOG", "RATEMIN", "AnalogMinEdit", K::Number, "0", W::Always},
        {"ANALOG", "RATEMAX", "AnalogMaxEdit", K::Number, "99999", W::Always},
        {"ANALOG", "CUTOFF", "AnalogCutoffEdit", K::Number, "0", W::Always},
        {"ANALOG", "TUNEMIN", "AnalogTuneMinEdit", K::Number, "0", W::Always},
        {"ANALOG", "TUNEMAX", "AnalogTuneMaxEdit", K::Number, "9999", W::Always},
        {"ANALOG", "FILTER", "AnalogFilterEdit", K::Number, "1", W::Always},
        {"PULSE", "WIDTH", "PulseWidthEdit", K::Number, "0", W::Always},
        {"PULSE", "DECIMALS", "PulseDecimalsGroup", K::Choice, "0", W::Always},
        {"PULSE", "AMOUNT", "PulseAmountEdit", K::Number, "1000", W::Always},
        {"COMMUNICATION", "PROTOCOL", "CommunicProtocolGroup", K::Choice, "1", W::NotInDefaults},
        {"COMMUNICATION", "SPEED", "CommunicSpeedGroup", K::Choice, "3", W::NotInDefaults},
        {"COMMUNICATION", "ADDRESS", "CommunicAddressEdit", K::Text, "1", W::NotInDefaults},
        {"COMMUNICATION", "DATABITS", "CommunicDatabitsGroup", K::Choice, "0", W::NotInDefaults},
        {"COMMUNICATION", "PARITY", "CommunicParityGroup", K::Choice, "0", W::NotInDefaults},
        {"COMMUNICATION", "COMMDELAY", "CommDelayEdit", K::Number, "15", W::NotInDefaults},
        {"DATALOGGING", "LOGINT", "DataLogIntervalGroup", K::Choice, "0", W::Always},
        {"DATALOGGING", "DAILYLOG", "DataLogDailyGroup", K::Choice, "0", W::Always},
        {"DATALOGGING", "DAILY1", "DataLogDaily1", K::Time, "00:00:00", W::Always},
        {"DATALOGGING", "DAILY2", "DataLogDaily2", K::Time, "00:00:00", W::Always},
        {"OTHERS", "TAG", "OthersTagEdit", K::Number, "0", W::Always},
        {"OTHERS", "KEYLOCK", "OthersKeylockGroup", K::Choice, "1", W::Always},
        {"OTHERS", "PASSWORD", "OthersPasswordEdit", K::Text, "Not set", W::NotInDefaults,
         D::Empty},
        {"OTHERS", "MODEL", "OthersModelEdit", K::Text, "Not set", W::NotInDefaults,
         D::DeviceModel},
        {"OTHERS", "VERSION", "OthersVersionEdit", K::Text, "Not set", W::NotInDefaults,
         D::DeviceVersion},
        {"OTHERS", "SERIAL", "OthersSerialEdit", K::Text, "Not set", W::NotInDefaults,
         D::DeviceSerial},
    };
    rows.insert(rows.end(), rest.begin(), rest.end());
    return rows;
}

std::vector<std::string> ReadOrderNames() {
    std::vector<std::string> names = {"TOTAL/UNIT",
                                      "TOTAL/DECIMALS",
                                      "TOTAL/KFACTORDECIMALS",
                                      "TOTAL/KFACTOR",
                                      "TOTAL/FACTORX",
                                      "TOTALA/UNIT",
                                      "TOTALA/DECIMALS",
                                      "TOTALA/SPANDECIMALS",
                                      "TOTALA/SPAN",
                                      "TOTALA/FACTORX",
                                      "FLOWRATE/UNIT",
                                      "FLOWRATE/INTERVAL",
                                      "FLOWRATE/DECIMALS",
                                      "FLOWRATE/KFACTORDECIMALS",
                                      "FLOWRATE/KFACTOR",
                                      "FLOWRATE/PULSES",
                                      "FLOWRATE/CUTOFF",
                                      "FLOWRATEA/UNIT",
                                      "FLOWRATEA/INTERVAL",
                                      "FLOWRATEA/DECIMALS",
                                      "FLOWRATEA/SPANDECIMALS",
                                      "FLOWRATEA/SPAN",
                                      "DISPLAY/FUNCTION",
                                      "DISPLAY/BRIGHTNESS",
                                      "DISPLAY/BARGRAPH",
                                      "DISPLAY/GRAPHSPAN",
                                      "DISPLAY/LCDNEW",
                                      "FLOWMETER/SIGNAL",
                                      "FLOWMETER/UNITCONVERSION",
                                      "FLOWMETER/UNIT",
                                      "FLOWMETER/KFACTOR",
                                      "FLOWMETER/KFACTORDECIMALS",
                                      "FLOWMETERA/FORMULA",
                                      "FLOWMETERA/FILTER",
                                      "FLOWMETERA/CUTOFF",
                                      "FLOWMETERA/CALIBLO",
                                      "FLOWMETERA/CALIBHI",
                                      "LINEARISATION/LINEARISE",
                                      "LINEARISATION/DECIMALS",
                                      "LINEARISATION/FACTORS"};
    for (const char* row : editor::kRowSuffixes)
        names.push_back(std::string("LINEARISATION/FREQ") + row);
    for (const char* row : editor::kRowSuffixes)
        names.push_back(std::string("LINEARISATION/FACT") + row);
    for (const char* name : {"ANALOG/ENABLE",
                             "ANALOG/RATEMIN",
                             "ANALOG/RATEMAX",
                             "ANALOG/CUTOFF",
                             "ANALOG/TUNEMIN",
                             "ANALOG/TUNEMAX",
                             "ANALOG/FILTER",
                             "PULSE/WIDTH",
                             "PULSE/DECIMALS",
                             "PULSE/AMOUNT",
                             "COMMUNICATION/PROTOCOL",
                             "COMMUNICATION/SPEED",
                             "COMMUNICATION/ADDRESS",
                             "COMMUNICATION/DATABITS",
                             "COMMUNICATION/PARITY",
                             "COMMUNICATION/COMMDELAY",
                             "DATALOGGING/LOGINT",
                             "DATALOGGING/DAILYLOG",
                             "DATALOGGING/DAILY1",
                             "DATALOGGING/DAILY2",
                             "OTHERS/TAG",
                             "OTHERS/KEYLOCK",
                             "OTHERS/PASSWORD",
                             "OTHERS/MODEL",
                             "OTHERS/VERSION",
                             "OTHERS/SERIAL"})
        names.emplace_back(name);
    return names;
}

bool IsDigits(std::string_view text) {
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return !text.empty();
}

} // namespace

const std::vector<KeyRow>& ConfigurationKeys() {
    static const std::vector<KeyRow> rows = BuildKeys();
    return rows;
}

const KeyRow* FindKey(std::string_view section, std::string_view key) {
    for (const KeyRow& row : ConfigurationKeys())
        if (row.section == section && row.key == key)
            return &row;
    return nullptr;
}

const std::vector<const KeyRow*>& ReadOrder() {
    static const std::vector<const KeyRow*> order = [] {
        std::vector<const KeyRow*> rows;
        for (const std::string& name : ReadOrderNames()) {
            const size_t slash = name.find('/');
            rows.push_back(FindKey(name.substr(0, slash), name.substr(slash + 1)));
        }
        return rows;
    }();
    return order;
}

std::string KeyLine(std::string_view key, std::string_view separator, std::string_view value) {
    std::string line(key);
    if (line.size() < kKeyFieldWidth)
        line.append(kKeyFieldWidth - line.size(), ' ');
    line += separator;
    line += value;
    return line;
}

bool ModelMatches(std::string_view id, std::string_view expectedModel) {
    // No model means no file can be meant for it, not that every file is.
    if (expectedModel.empty())
        return false;
    if (id.substr(0, 5) == expectedModel)
        return true;
    if (id.size() != expectedModel.size() + 7 ||
        id.substr(0, expectedModel.size()) != expectedModel)
        return false;
    return id[expectedModel.size()] == '_' && IsDigits(id.substr(expectedModel.size() + 1));
}

std::string TimeText(editor::TimeOfDay time) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", time.hour, time.minute, time.second);
    return text;
}

std::optional<editor::TimeOfDay> ParseTime(std::string_view text) {
    size_t i = 0;
    auto number = [&](int maxDigits) -> std::optional<int> {
        int value = 0, digits = 0;
        while (i < text.size() && digits < maxDigits && text[i] >= '0' && text[i] <= '9') {
            value = value * 10 + (text[i++] - '0');
            ++digits;
        }
        return digits == 0 ? std::nullopt : std::optional<int>(value);
    };
    editor::TimeOfDay time;
    const std::optional<int> hour = number(2);
    if (!hour || i >= text.size() || text[i++] != ':')
        return std::nullopt;
    const std::optional<int> minute = number(2);
    if (!minute)
        return std::nullopt;
    int second = 0;
    if (i < text.size() && text[i] == ':') {
        ++i;
        const std::optional<int> s = number(2);
        if (!s)
            return std::nullopt;
        second = *s;
    }
    while (i < text.size() && text[i] == ' ')
        ++i;
    std::string suffix;
    for (; i < text.size(); ++i)
        suffix += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
    int h = *hour;
    if (suffix == "AM" || suffix == "PM") {
        if (h < 1 || h > 12)
            return std::nullopt;
        h = h % 12 + (suffix == "PM" ? 12 : 0);
    } else if (!suffix.empty()) {
        return std::nullopt;
    }
    if (h > 23 || *minute > 59 || second > 59)
        return std::nullopt;
    time.hour = h;
    time.minute = *minute;
    time.second = second;
    return time;
}

int ClampChoice(int64_t index, size_t itemCount) {
    if (index < -1)
        return -1;
    const auto last = static_cast<int64_t>(itemCount) - 1;
    return static_cast<int>(index > last ? last : index);
}

std::optional<int32_t> FileInteger(std::string_view text) {
    const std::optional<int64_t> value = editor::IntegerValue(text);
    if (!value || *value < std::numeric_limits<int32_t>::min() ||
        *value > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(*value);
}

} // namespace vantrel::config
