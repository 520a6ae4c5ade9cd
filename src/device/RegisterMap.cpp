#include "device/RegisterMap.h"

#include "editor/EditingRules.h"

#include <algorithm>
#include <array>

namespace vantrel::device {

using editor::CalendarDate;
using editor::ControlKind;
using editor::Form;
using editor::TimeOfDay;

namespace {

using enum ValueForm;
using C = Condition;

constexpr const char* kComm = "CommunicationSheet";
constexpr const char* kMeter = "FlowmeterSheet";

// clang-format off
constexpr Parameter kParameters[] = {
// step page                identifier                  reg  bytes control                        form     read label                        write label                       condition
    {1, kComm,               "COMMUNICATION/COMMDELAY",   14, 2, "CommDelayEdit",                Number, "Modbus - Communication Delay",  "Modbus - Communication Delay",  C::None},
    {2, kMeter,              "FLOWMETER/UNITCONVERSION", 1051, 1, "FlowmeterConversionGroup",    Choice, "Flowmeter - Conversion",        "Flowmeter - Unit type",         C::None},

    {3, "TotalSheet",        "TOTAL/UNIT",                32, 1, "TotalUnitGroup",               Choice, "Total - Unit",                  "Total - Unit",                  C::None},
    {3, "TotalSheet",        "TOTAL/DECIMALS",            33, 1, "TotalDecimalsGroup",           Choice, "Total - Decimals",              "Total - Decimals",              C::None},
    {3, "TotalSheet",        "TOTAL/KFACTORDECIMALS",     37, 1, "TotalKFactorDecimalsGroup",    Choice, "Total - K-Factor Decimals",     "Total - K-Factor Decimals",     C::WriteHand},
    {3, "TotalSheet",        "TOTAL/KFACTOR",             34, 3, "TotalKFactorEdit",             Number, "Total - K-Factor",              "Total - K-Factor",              C::WriteHand},
    {3, "TotalSheet",        "TOTAL/FACTORX",             47, 1, "TotalMultiplyGroup",           Choice, "Total - Multiply factor",       "Total - Multiply factor",       C::None},

    {4, "TotalASheet",       "TOTALA/UNIT",               32, 1, "TotalAUnitGroup",              Choice, "Total - Unit",                  "Total - Unit",                  C::None},
    {4, "TotalASheet",       "TOTALA/DECIMALS",           33, 1, "TotalADecimalsGroup",          Choice, "Total - Decimals",              "Total - Decimals",              C::None},
    {4, "TotalASheet",       "TOTALA/SPANDECIMALS",       37, 1, "TotalASpanDecimalsGroup",      Choice, "Total - Span Decimals",         "Total - Span Decimals",         C::None},
    {4, "TotalASheet",       "TOTALA/SPAN",               34, 3, "TotalASpanEdit",               Number, "Total - Span",                  "Total - Span",                  C::None},
    {4, "TotalASheet",       "TOTALA/FACTORX",            47, 1, "TotalAMultiplyGroup",          Choice, "Total - Multiply factor",       "Total - Multiply factor",       C::None},

    {5, "FlowrateSheet",     "FLOWRATE/UNIT",             48, 1, "FlowrateUnitGroup",            Choice, "Flowrate - Unit",               "Flowrate - Unit",               C::None},
    {5, "FlowrateSheet",     "FLOWRATE/INTERVAL",         49, 1, "FlowrateIntervalGroup",        Choice, "Flowrate - Interval",           "Flowrate - Interval",           C::None},
    {5, "FlowrateSheet",     "FLOWRATE/DECIMALS",         50, 1, "FlowrateDecimalsGroup",        Choice, "Flowrate - Decimals",           "Flowrate - Decimals",           C::None},
    {5, "FlowrateSheet",     "FLOWRATE/KFACTORDECIMALS",  54, 1, "FlowrateKFactorDecimalsGroup", Choice, "Flowrate - K-Factor Decimals",  "Flowrate - K-Factor Decimals",  C::WriteHand},
    {5, "FlowrateSheet",     "FLOWRATE/KFACTOR",          51, 3, "FlowrateKFactorEdit",          Number, "Flowrate - K-Factor",           "Flowrate - K-Factor",           C::WriteHand},
    {5, "FlowrateSheet",     "FLOWRATE/PULSES",           55, 1, "FlowratePulsesEdit",           Number, "Flowrate - Pulses",             "Flowrate - Pulses",             C::None},
    {5, "FlowrateSheet",     "FLOWRATE/CUTOFF",           56, 2, "FlowrateCutoffEdit",           Number, "Flowrate - Cut-Off",            "Flowrate - Cut-Off",            C::None},

    {6, "FlowrateASheet",    "FLOWRATEA/UNIT",            48, 1, "FlowrateAUnitGroup",           Choice, "Flowrate - Unit",               "Flowrate - Unit",               C::None},
    {6, "FlowrateASheet",    "FLOWRATEA/INTERVAL",        49, 1, "FlowrateAIntervalGroup",       Choice, "Flowrate - Interval",           "Flowrate - Interval",           C::None},
    {6, "FlowrateASheet",    "FLOWRATEA/DECIMALS",        50, 1, "FlowrateADecimalsGroup",       Choice, "Flowrate - Decimals",           "Flowrate - Decimals",           C::None},
    {6, "FlowrateASheet",    "FLOWRATEA/SPANDECIMALS",    54, 1, "FlowrateASpanDecimalsGroup",   Choice, "Flowrate - Span Decimals",      "Flowrate - Span Decimals",      C::None},
    {6, "FlowrateASheet",    "FLOWRATEA/SPAN",            51, 3, "FlowrateASpanEdit",            Number, "Flowrate - Span",               "Flowrate - Span",               C::None},

    {7, "DisplaySheet",      "DISPLAY/FUNCTION",          64, 1, "DisplayFunctionGroup",         Choice, "Display - Function",            "Display - Function",            C::None},
    {7, "DisplaySheet",      "DISPLAY/LCDNEW",            80, 1, "PowermanagementLCDNewGroup",   Choice, "Display - LCD New",             "Display - LCD New",             C::None},
    {7, "DisplaySheet",      "DISPLAY/BRIGHTNESS",        67, 1, "DisplayBrightnessGroup",       Choice, "Display - Brightness",          "Display - Brightness",          C::None},
    {7, "DisplaySheet",      "DISPLAY/BARGRAPH",          58, 1, "DisplayBargraphGroup",         Choice, "Display - Bargraph",            "Display - Bargraph",            C::None},
    {7, "DisplaySheet",      "DISPLAY/GRAPHSPAN",         59, 4, "DisplayBargraphEdit",          Number, "Display - Ratespan",            "Display - Ratespan",            C::None},

    {8, kMeter,              "FLOWMETER/SIGNAL",          96, 1, "FlowmeterSignalGroup",         Choice, "Flowmeter - Signal",            "Flowmeter - Signal",            C::None},
    {8, kMeter,              "FLOWMETER/UNITCONVERSION", 1051, 1, "FlowmeterConversionGroup",    Choice, "Flowmeter - Unit type",         "",                              C::NotWritten},
    {8, kMeter,              "FLOWMETER/UNIT",          1050, 1, "FlowmeterUnitGroup",           Choice, "Flowmeter - Unit",              "Flowmeter - Unit",              C::UnitBoxShown},
    {8, kMeter,              "FLOWMETER/KFACTORDECIMALS", 1049, 1, "FlowmeterKFactorDecimalsGroup", Choice, "Flowmeter - K-Factor Decimals", "Flowmeter - K-Factor Decimals", C::WriteAuto},
    {8, kMeter,              "FLOWMETER/KFACTOR",       1046, 3, "FlowmeterKFactorEdit",         Number, "Flowmeter - K-Factor",          "Flowmeter - K-Factor",          C::WriteAuto},

    {9, "FlowmeterASheet",   "FLOWMETERA/FORMULA",        98, 1, "FlowmeterAFormulaGroup",       Choice, "Flowmeter - Formula",           "Flowmeter - Formula",           C::None},
    {9, "FlowmeterASheet",   "FLOWMETERA/FILTER",         99, 1, "FlowmeterAFilterEdit",         Number, "Flowmeter - Filter",            "Flowmeter - Filter",            C::None},
    {9, "FlowmeterASheet",   "FLOWMETERA/CUTOFF",        100, 2, "FlowmeterACutOffEdit",         Number, "Flowmeter - Cut-off",           "Flowmeter - Cut-off",           C::None},
    {9, "FlowmeterASheet",   "FLOWMETERA/CALIBLO",       102, 1, "FlowmeterACalibLoGroup",       Choice, "Flowmeter - Calib Lo",          "",                              C::NotWritten},
    {9, "FlowmeterASheet",   "FLOWMETERA/CALIBHI",       103, 1, "FlowmeterACalibHiGroup",       Choice, "Flowmeter - Calib Hi",          "",                              C::NotWritten},

    {10, "LinearisationSheet", "LINEARISATION/LINEARISE", 1038, 1, "LinearisationEnableGroup",   Choice, "Linearization - Enabled",       "Linearization - Enable",        C::None},
    {10, "LinearisationSheet", "LINEARISATION/DECIMALS",  1039, 1, "LinearisationDecimalsGroup", Choice, "Linearization - Decimals",      "Linearization - Decimals",      C::None},
    {10, "LinearisationSheet", "LINEARISATION/TABLE",     1024, 6, "LinearisationEntriesBox",    Linearisation, "Linearization - Frequencies ", "Linearization - Edit",    C::None},

    {11, "LinearisationASheet", "",                       1038, 1, "LinearisationAEnableGroup",  Choice, "Linearization - Enabled",       "Linearization - Enable",        C::None},
    {11, "LinearisationASheet", "",                       1024, 6, "LinearizationABox",          Linearisation, "Linearization - Percentage ", "Linearization - Edit",     C::None},

    {12, "AnalogSheet",      "ANALOG/ENABLE",            112, 1, "AnalogEnableGroup",            Choice, "Analog Output - Enabled",       "Analog Output - Enable",        C::None},
    {12, "AnalogSheet",      "ANALOG/RATEMIN",           113, 3, "AnalogMinEdit",                Number, "Analog Output - Flowrate Min",  "Analog Output - Flowrate Min",  C::None},
    {12, "AnalogSheet",      "ANALOG/RATEMAX",           116, 3, "AnalogMaxEdit",                Number, "Analog Output - Flowrate Max",  "Analog Output - Flowrate Max",  C::None},
    {12, "AnalogSheet",      "ANALOG/CUTOFF",            119, 2, "AnalogCutoffEdit",             Number, "Analog Output - Cut-Off",       "Analog Output - Cut-Off",       C::None},
    {12, "AnalogSheet",      "ANALOG/TUNEMIN",           120, 2, "AnalogTuneMinEdit",            Number, "Analog Output - Tune Min",      "",                              C::NotWritten},
    {12, "AnalogSheet",      "ANALOG/TUNEMAX",           122, 2, "AnalogTuneMaxEdit",            Number, "Analog Output - Tune Max",      "",                              C::NotWritten},
    {12, "AnalogSheet",      "ANALOG/FILTER",            127, 1, "AnalogFilterEdit",             Number, "Analog Output - Filter",        "Analog Output - Filter",        C::ZeroSentAsOne},

    {13, "PulseSheet",       "PULSE/WIDTH",              128, 1, "PulseWidthEdit",               Number, "Pulse Output - Pulse Width",    "Pulse Output - Width",          C::None},
    {13, "PulseSheet",       "PULSE/DECIMALS",           133, 1, "PulseDecimalsGroup",           Choice, "Pulse Output - Decimals",       "Pulse Output - Decimals",       C::None},
    {13, "PulseSheet",       "PULSE/AMOUNT",             130, 3, "PulseAmountEdit",              Number, "Pulse Output - Pulse Amount",   "Pulse Output - Amount",         C::None},

    {14, kComm,              "COMMUNICATION/PROTOCOL",   146, 1, "CommunicProtocolGroup",        Choice, "Modbus - Mode",                 "Modbus - Mode",                 C::None},
    {14, kComm,              "COMMUNICATION/SPEED",      144, 1, "CommunicSpeedGroup",           Choice, "Modbus - Speed",                "Modbus - Speed",                C::None},
    {14, kComm,              "COMMUNICATION/ADDRESS",    145, 1, "CommunicAddressEdit",          Number, "Modbus - Address",              "Modbus - Bus Address",          C::None},
    {14, kComm,              "COMMUNICATION/PARITY",    1272, 1, "CommunicParityGroup",          Choice, "Modbus - Parity",               "Modbus - Parity",               C::None},
    {14, kComm,              "COMMUNICATION/DATABITS",  1271, 1, "CommunicDatabitsGroup",        Choice, "Modbus - Databits",             "Modbus - Databits",             C::DataBitsEnabled},

    {15, "LogParamSheet",    "DATALOGGING/LOGINT",       576, 2, "DataLogIntervalGroup",         Choice, "Datalogging - Log Interval",    "Datalogging - Log Interval",    C::None},
    {15, "LogParamSheet",    "DATALOGGING/DAILYLOG",     577, 2, "DataLogDailyGroup",            Choice, "Datalogging - Daily Log",       "Datalogging - Daily Log",       C::None},
    {15, "LogParamSheet",    "DATALOGGING/DAILY1",       578, 2, "DataLogDaily1",                Hhnn,   "Datalogging - Daily 1",         "Datalogging - Daily Hour 1",    C::None},
    {15, "LogParamSheet",    "DATALOGGING/DAILY2",       580, 2, "DataLogDaily2",                Hhnn,   "Datalogging - Daily 2",         "Datalogging - Daily Hour 2",    C::None},
    {15, "LogParamSheet",    "",                         176, 3, "pickTime",                     Hhnnss, "Datalogging - Time",            "Datalogging - Time",            C::TimeEdited},
    {15, "LogParamSheet",    "",                         179, 4, "pickDate",                     YyMMdd, "Datalogging - Date",            "Datalogging - Date",            C::None},

    {16, "OthersSheet",      "OTHERS/MODEL",             160, 2, "OthersModelEdit",              ModelCheck, "Others - Model",            "",                              C::NotWritten},
    {16, "OthersSheet",      "",                         173, 1, "OthersModelEdit",              ModelCheck, "Others - Model",            "",                              C::NotWritten},
    // The version spans 162-163 as identification reads it; two bytes would show only the
    // upper register, 00:00:00 for every firmware below 6.55.36.
    {16, "OthersSheet",      "OTHERS/VERSION",           162, 3, "OthersVersionEdit",            Version, "Others - Software Version",    "",                              C::NotWritten},
    {16, "OthersSheet",      "OTHERS/SERIAL",            165, 3, "OthersSerialEdit",             Padded7, "Others - Serial Number",       "",                              C::NotWritten},
    {16, "OthersSheet",      "OTHERS/PASSWORD",          168, 2, "OthersPasswordEdit",           Padded4, "Others - Password",            "Others - Password",             C::PasswordGiven},
    {16, "OthersSheet",      "OTHERS/KEYLOCK",           139, 1, "OthersKeylockGroup",           Choice, "Others - Keylock",              "Others - Keylock",              C::None},
    {16, "OthersSheet",      "OTHERS/TAG",               170, 3, "OthersTagEdit",                Number, "Others - Tagnumber",            "Others - Tagnumber",            C::None},
};
// clang-format on

bool IsChoice(ControlKind kind) {
    return kind == ControlKind::RadioGroup || kind == ControlKind::ComboBox ||
           kind == ControlKind::UnitButtons;
}

bool Hand(const Form& form) {
    return form["FlowmeterConversionGroup"].itemIndex == 0;
}

} // namespace

std::span<const Parameter> Parameters() {
    return kParameters;
}

const Parameter* FindParameter(const std::string& identifier, int step) {
    for (const Parameter& row : kParameters)
        if (identifier == row.identifier && (step == 0 || step == row.step))
            return &row;
    return nullptr;
}

std::string NumberText(uint64_t value) {
    return std::to_string(value);
}

// A register that does not hold a time of day (minutes beyond 59, hours beyond 23) is a
// unit answering nonsense; the runs place midnight rather than a time no picker can show.
std::optional<TimeOfDay> HhnnTime(uint64_t value) {
    const int hour = static_cast<int>(value % 10000 / 100), minute = static_cast<int>(value % 100);
    if (value >= 10000 || hour > 23 || minute > 59)
        return std::nullopt;
    return TimeOfDay{hour, minute, 0};
}

std::optional<TimeOfDay> HhnnssTime(uint64_t value) {
    const int hour = static_cast<int>(value / 10000), minute = static_cast<int>(value / 100 % 100),
              second = static_cast<int>(value % 100);
    if (value >= 1000000 || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    return TimeOfDay{hour, minute, second};
}

std::optional<CalendarDate> YyMMddDate(uint64_t value) {
    if (value >= 1000000)
        return std::nullopt;
    const int year = 2000 + static_cast<int>(value / 10000);
    const int month = static_cast<int>(value / 100 % 100), day = static_cast<int>(value % 100);
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1)
        return std::nullopt;
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    const int days = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    if (day > days)
        return std::nullopt;
    return CalendarDate{year, month, day};
}

void PlaceValue(Form& form, const Parameter& row, uint64_t value, const CalendarDate& today) {
    const std::string control = row.control;
    switch (row.form) {
    case Choice: {
        const int count = static_cast<int>(form[control].items.size());
        const int index = value >= static_cast<uint64_t>(count) ? count - 1 : static_cast<int>(value);
        form.SetItemIndex(control, index);
        break;
    }
    case Number:
        form.SetText(control, NumberText(value));
        break;
    case Hhnn:
        form.SetTime(control, HhnnTime(value).value_or(TimeOfDay{}));
        break;
    case Hhnnss:
        form.SetTime(control, HhnnssTime(value).value_or(TimeOfDay{}));
        break;
    case YyMMdd:
        form.SetDate(control, YyMMddDate(value).value_or(today));
        break;
    case Padded4:
        form.SetText(control, PaddedDigits(static_cast<int64_t>(value), 4));
        break;
    case Padded7:
        form.SetText(control, PaddedDigits(static_cast<int64_t>(value), 7));
        break;
    case Version:
        form.SetText(control, VersionText(static_cast<int32_t>(value)));
        break;
    case ModelCheck:
    case Linearisation:
        break;
    }
}

std::optional<int64_t> ControlValue(const Form& form, const std::string& control, ValueForm form_) {
    const editor::Control& c = form[control];
    if (c.kind == ControlKind::TimePicker) {
        if (form_ == Hhnnss)
            return c.time.hour * 10000 + c.time.minute * 100 + c.time.second;
        return c.time.hour * 100 + c.time.minute;
    }
    if (c.kind == ControlKind::DatePicker)
        return (c.date.year % 100) * 10000 + c.date.month * 100 + c.date.day;
    if (IsChoice(c.kind)) {
        if (c.itemIndex < 0)
            return std::nullopt;
        return c.itemIndex;
    }
    if (c.kind == ControlKind::Edit) {
        if (c.text.empty() || !std::all_of(c.text.begin(), c.text.end(),
                                           [](char ch) { return ch >= '0' && ch <= '9'; }))
            return std::nullopt;
        return editor::IntegerValue(c.text);
    }
    return std::nullopt;
}

bool FitsBytes(int64_t value, int bytes) {
    if (value < 0)
        return false;
    if (bytes >= 8)
        return true;
    return static_cast<uint64_t>(value) < (uint64_t{1} << (8 * bytes));
}

bool ReadsNow(const Form& form, const Parameter& row) {
    switch (row.condition) {
    case C::UnitBoxShown:
        return form["FlowmeterUnitGroupBox"].visible;
    case C::DataBitsEnabled:
        return form["CommunicDatabitsGroup"].enabled;
    default:
        return true;
    }
}

bool WritesNow(const Form& form, const Parameter& row) {
    switch (row.condition) {
    case C::WriteHand:
        return Hand(form);
    case C::WriteAuto:
    case C::UnitBoxShown:
        return !Hand(form);
    case C::NotWritten:
        return false;
    case C::PasswordGiven:
        return !form[row.control].text.empty();
    case C::DataBitsEnabled:
        return form["CommunicDatabitsGroup"].enabled;
    case C::TimeEdited:
        return form.TimeEdited;
    default:
        return true;
    }
}

std::string CaptionControl(const Form& form, const std::string& control) {
    if (!form.Has(control))
        return "";
    const editor::Control& c = form[control];
    if (!c.group.empty())
        return c.group;
    if (!c.visible && form.Has(control + "Box"))
        return control + "Box";
    return control;
}

} // namespace vantrel::device
