// Two configurations of one unit compared as the window shows them.

#include "editor/Compare.h"
#include "editor/EditingRules.h"
#include "editor/Form.h"
#include "host/ScriptedPrompts.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vantrel::editor {
namespace {

// A window of its own for each side, both of the same model.
struct Side {
    explicit Side(const std::string& model, char variant = 'P') {
        device.Model = model;
        device.Variant = variant;
        device.HasDataLog = true;
        form.SetupModel(model, variant);
        rules.UpdateValues();
    }
    Snapshot Take() {
        rules.UpdateValues();
        return TakeSnapshot(form);
    }
    Device device;
    Form form{device, "/nonexistent/vantrel-settings.ini"};
    host::ScriptedPrompts prompts;
    EditingRules rules{form, prompts};
};

std::vector<std::string> Lines(const Snapshot& from, const Snapshot& to) {
    const auto differences = Differences(from, to);
    EXPECT_TRUE(differences.has_value());
    std::vector<std::string> lines;
    for (const Difference& d : differences.value_or(std::vector<Difference>{}))
        lines.push_back(DifferenceLine(d, "unit", "file"));
    return lines;
}

struct KindCase {
    const char* kind;
    std::function<void(Form&)> unit, file;
    std::vector<std::string> lines; // what the comparison says, in page order
};

TEST(CompareTest, EachKindOfParameterReadsAsTheWindowShowsIt) {
    const std::vector<KindCase> cases = {
        {"nothing changed", [](Form&) {}, [](Form&) {}, {}},
        {"choice",
         [](Form& f) { f.SetItemIndex("DisplayBrightnessGroup", 2); },
         [](Form& f) { f.SetItemIndex("DisplayBrightnessGroup", 5); },
         {"Display - Backlight Brightness: unit 40%, file 100%"}},
        {"unit choice, and the unit it gives a number",
         [](Form& f) {
             f.SetItemIndex("FlowmeterConversionGroup", 0);
             f.SetItemIndex("TotalUnitGroup", 1);
         },
         [](Form& f) {
             f.SetItemIndex("FlowmeterConversionGroup", 0);
             f.SetItemIndex("TotalUnitGroup", 2);
         },
         {"Total - Unit: unit L, file m³"}},
        {"number with its decimals and unit",
         [](Form& f) {
             f.SetItemIndex("FlowmeterConversionGroup", 0);
             f.SetItemIndex("TotalUnitGroup", 1);
             f.SetItemIndex("TotalKFactorDecimalsGroup", 3);
             f.SetText("TotalKFactorEdit", "1000");
         },
         [](Form& f) {
             f.SetItemIndex("FlowmeterConversionGroup", 0);
             f.SetItemIndex("TotalUnitGroup", 1);
             f.SetItemIndex("TotalKFactorDecimalsGroup", 3);
             f.SetText("TotalKFactorEdit", "1250");
         },
         {"Total - K-Factor: unit 1.000 pulses / L, file 1.250 pulses / L"}},
        {"same number, other decimals: the decimals differ, and the number as shown",
         [](Form& f) {
             f.SetItemIndex("FlowmeterConversionGroup", 0);
             f.SetItemIndex("TotalKFactorDecimalsGroup", 2);
             f.SetText("TotalKFactorEdit", "1000");
         },
         [](Form& f) {
             f.SetItemIndex("FlowmeterConversionGroup", 0);
             f.SetItemIndex("TotalKFactorDecimalsGroup", 3);
             f.SetText("TotalKFactorEdit", "1000");
         },
         {"Total - Decimals K-Factor: unit 2, file 3"}},
        {"a number written with leading zeros is the same number",
         [](Form& f) { f.SetText("OthersTagEdit", "42"); },
         [](Form& f) { f.SetText("OthersTagEdit", "0042"); },
         {}},
        {"an analog filter of 0 is the 1 a write sends for it",
         [](Form& f) {
             f.BulkLoading = true; // as read from the unit: the rules leave the 0 alone
             f.SetText("AnalogFilterEdit", "0");
         },
         [](Form& f) { f.SetText("AnalogFilterEdit", "1"); },
         {}},
        {"password",
         [](Form& f) { f.SetText("OthersPasswordEdit", "1234"); },
         [](Form& f) { f.SetText("OthersPasswordEdit", "4321"); },
         {"Others - Password: unit 1234, file 4321"}},
        {"an empty password is not sent, so it changes nothing",
         [](Form& f) { f.SetText("OthersPasswordEdit", "1234"); },
         [](Form& f) { f.SetText("OthersPasswordEdit", ""); },
         {}},
        {"time of day",
         [](Form& f) {
             f.SetTime("DataLogDaily1", {8, 30, 0});
         },
         [](Form& f) {
             f.SetTime("DataLogDaily1", {9, 5, 0});
         },
         {"Datalogging - Daily 1 (HH:MM): unit 08:30, file 09:05"}},
        {"the unit's clock only once it was set by hand",
         [](Form& f) {
             f.SetTime("pickTime", {10, 0, 0});
         },
         [](Form& f) {
             f.SetTime("pickTime", {10, 0, 7});
         },
         {}},
        {"the unit's clock set by hand",
         [](Form& f) {
             f.SetTime("pickTime", {10, 0, 0});
         },
         [](Form& f) {
             f.TimeEdited = true;
             f.SetTime("pickTime", {10, 0, 7});
         },
         {"Datalogging - Time (HH:MM:SS): unit 10:00:00, file 10:00:07"}},
        {"date",
         [](Form& f) {
             f.SetDate("pickDate", {2026, 12, 11});
         },
         [](Form& f) {
             f.SetDate("pickDate", {2027, 1, 2});
         },
         {"Datalogging - Date (YYYY-MM-DD): unit 2026-12-11, file 2027-01-02"}},
        {"linearisation rows by row number",
         [](Form& f) {
             f.SetItemIndex("LinearisationDecimalsGroup", 1);
             f.SetText("FrequencyEdit3", "120");
             f.SetText("FactorEdit3", "1000000");
             f.SetText("FactorEditB", "1000000");
         },
         [](Form& f) {
             f.SetItemIndex("LinearisationDecimalsGroup", 1);
             f.SetText("FrequencyEdit3", "125");
             f.SetText("FactorEdit3", "1000000");
             f.SetText("FactorEditB", "1100000");
         },
         {"Linearization - Row 3: unit 12.0 Hz, factor 1.000000, file 12.5 Hz, factor 1.000000",
          "Linearization - Row B: unit not used, factor 1.000000, file not used, factor "
          "1.100000"}},
        {"a K-factor a write would not send (automatic conversion hides it)",
         [](Form& f) {
             f.SetItemIndex("FlowmeterConversionGroup", 1);
             f.SetText("TotalKFactorEdit", "1000");
         },
         [](Form& f) {
             f.SetItemIndex("FlowmeterConversionGroup", 1);
             f.SetText("TotalKFactorEdit", "2000");
         },
         {}},
        {"data bits, which the mode RTU leaves alone",
         [](Form& f) {
             f.SetItemIndex("CommunicProtocolGroup", 1);
             f.SetItemIndex("CommunicDatabitsGroup", 0);
         },
         [](Form& f) {
             f.SetItemIndex("CommunicProtocolGroup", 1);
             f.SetItemIndex("CommunicDatabitsGroup", 1);
         },
         {}},
        {"a page the model does not show",
         [](Form& f) { f.SetText("TotalASpanEdit", "1000"); },
         [](Form& f) { f.SetText("TotalASpanEdit", "2000"); },
         {}},
        {"several, in the order of the pages",
         [](Form& f) {
             f.SetItemIndex("OthersKeylockGroup", 0);
             f.SetItemIndex("DisplayFunctionGroup", 0);
         },
         [](Form& f) {
             f.SetItemIndex("OthersKeylockGroup", 1);
             f.SetItemIndex("DisplayFunctionGroup", 1);
         },
         {"Display - Function: unit Total, file Rate",
          "Others - Keylock: unit Disabled, file Enabled"}},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE(c.kind);
        Side unit("Q4200"), file("Q4200");
        c.unit(unit.form);
        c.file(file.form);
        EXPECT_EQ(Lines(unit.Take(), file.Take()), c.lines);
    }
}

TEST(CompareTest, TheSpanPagesOfTheAnalogVariantAreComparedAndThePulsePagesAreNot) {
    Side unit("R212-A", 'A'), file("R212-A", 'A');
    unit.form.SetText("TotalASpanEdit", "1600");
    file.form.SetText("TotalASpanEdit", "1700");
    unit.form.SetText("TotalKFactorEdit", "5");
    file.form.SetText("TotalKFactorEdit", "6");
    unit.form.SetText("PercEdit2", "1000");
    file.form.SetText("PercEdit2", "2000");
    unit.form.SetText("FactorAEdit2", "1000000");
    file.form.SetText("FactorAEdit2", "1000000");
    const auto lines = Lines(unit.Take(), file.Take());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("Total - Span: unit ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "Linearization - Row 2: unit 10.00 %, factor 1.000000, file 20.00 %, "
                        "factor 1.000000");
}

TEST(CompareTest, AnotherModelIsRefused) {
    Side unit("Q4200"), file("R212-P");
    EXPECT_FALSE(Differences(unit.Take(), file.Take()).has_value());
}

TEST(CompareTest, WhatTheOtherSideDoesNotHoldIsNotCompared) {
    Side unit("Q4200"), file("Q4200");
    unit.form.SetDate("pickDate", {2026, 1, 1});
    file.form.SetDate("pickDate", {2027, 1, 1});
    unit.form.SetItemIndex("OthersKeylockGroup", 0);
    file.form.SetItemIndex("OthersKeylockGroup", 1);
    Snapshot from = unit.Take();
    KeepOnly(from, {"OthersKeylockGroup"});
    EXPECT_EQ(Lines(from, file.Take()),
              std::vector<std::string>{"Others - Keylock: unit Disabled, file Enabled"});
}

} // namespace
} // namespace vantrel::editor
