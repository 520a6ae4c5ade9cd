// The register map as data and its value forms, without a unit.

#include "device/RegisterMap.h"
#include "device/DeviceAccess.h"
#include "editor/Compare.h"
#include "editor/EditingRules.h"
#include "editor/Form.h"
#include "host/ScriptedPrompts.h"

#include <gtest/gtest.h>

#include <set>

using namespace vantrel;
using namespace vantrel::device;
using editor::CalendarDate;
using editor::TimeOfDay;

TEST(RegisterMap, EveryRowNamesAControlAndAPageOfTheWindow) {
    Device d;
    editor::Form form(d, "/nonexistent/x.ini");
    std::set<std::string> seen;
    int lastStep = 0;
    for (const Parameter& row : Parameters()) {
        EXPECT_GE(row.step, lastStep) << row.readLabel; // rows run in the order of the read
        lastStep = row.step;
        EXPECT_GE(form.PageIndex(row.page), 0) << row.page;
        if (row.form != ValueForm::Linearisation) {
            EXPECT_TRUE(form.Has(row.control)) << row.control;
        }
        EXPECT_TRUE(row.bytes == 1 || row.bytes == 2 || row.bytes == 3 || row.bytes == 4 ||
                    row.bytes == 6)
            << row.readLabel;
        if (*row.identifier && row.step != 8) {
            EXPECT_TRUE(seen.insert(row.identifier).second) << row.identifier;
        }
    }
    // Spot checks of rows, read label against write label where they differ.
    const Parameter* width = FindParameter("PULSE/WIDTH");
    ASSERT_NE(width, nullptr);
    EXPECT_EQ(width->reg, 128);
    EXPECT_STREQ(width->readLabel, "Pulse Output - Pulse Width");
    EXPECT_STREQ(width->writeLabel, "Pulse Output - Width");
    const Parameter* conversion = FindParameter("FLOWMETER/UNITCONVERSION", 2);
    ASSERT_NE(conversion, nullptr);
    EXPECT_STREQ(conversion->readLabel, "Flowmeter - Conversion");
    EXPECT_STREQ(FindParameter("FLOWMETER/UNITCONVERSION", 8)->readLabel, "Flowmeter - Unit type");
}

TEST(RegisterMap, RegisterValuesToTheirForms) {
    struct Case {
        const char* identifier;
        uint64_t value;
        std::string text; // edits
        int index;        // choices
    };
    const Case cases[] = {
        {"TOTAL/DECIMALS", 2, "", 2},          {"TOTAL/DECIMALS", 7, "", 3}, // beyond: last
        {"TOTAL/KFACTOR", 1234567, "1234567", -1}, {"OTHERS/SERIAL", 12345, "0012345", -1},
        {"OTHERS/PASSWORD", 42, "0042", -1},   {"OTHERS/VERSION", 30105, "03:01:05", -1},
        {"DISPLAY/GRAPHSPAN", 4000000000u, "4000000000", -1},
    };
    Device d;
    editor::Form form(d, "/nonexistent/x.ini");
    for (const Case& c : cases) {
        const Parameter& row = *FindParameter(c.identifier);
        PlaceValue(form, row, c.value, {});
        if (c.text.empty())
            EXPECT_EQ(form[row.control].itemIndex, c.index) << c.identifier << " " << c.value;
        else
            EXPECT_EQ(form[row.control].text, c.text) << c.identifier;
    }

    const CalendarDate today{2026, 3, 4};
    struct Time {
        const char* control;
        uint64_t value;
        TimeOfDay time;
    };
    const Parameter* daily = FindParameter("DATALOGGING/DAILY1");
    PlaceValue(form, *daily, 830, today);
    EXPECT_EQ(form["DataLogDaily1"].time, (TimeOfDay{8, 30, 0}));
    PlaceValue(form, *daily, 1299, today); // no such time: midnight, not a crash
    EXPECT_EQ(form["DataLogDaily1"].time, (TimeOfDay{0, 0, 0}));
    for (const Parameter& row : Parameters()) {
        if (std::string(row.control) == "pickTime") {
            PlaceValue(form, row, 93005, today);
            EXPECT_EQ(form["pickTime"].time, (TimeOfDay{9, 30, 5}));
        }
        if (std::string(row.control) == "pickDate") {
            const std::pair<uint64_t, CalendarDate> dates[] = {
                {170310, {2017, 3, 10}}, {0, today}, {240229, {2024, 2, 29}},
                {230229, today},         {991332, today}, {4294967295u, today}};
            for (const auto& [value, date] : dates) {
                PlaceValue(form, row, value, today);
                EXPECT_EQ(form["pickDate"].date, date) << value;
            }
        }
    }
}

TEST(RegisterMap, ControlValuesToTheUnit) {
    Device d;
    editor::Form form(d, "/nonexistent/x.ini");
    form.SetTime("DataLogDaily1", {23, 5, 0});
    EXPECT_EQ(ControlValue(form, "DataLogDaily1", ValueForm::Hhnn), 2305);
    form.SetTime("pickTime", {9, 30, 5});
    EXPECT_EQ(ControlValue(form, "pickTime", ValueForm::Hhnnss), 93005);
    form.SetDate("pickDate", {2017, 3, 10});
    EXPECT_EQ(ControlValue(form, "pickDate", ValueForm::YyMMdd), 170310);
    form.SetItemIndex("TotalDecimalsGroup", 3);
    EXPECT_EQ(ControlValue(form, "TotalDecimalsGroup", ValueForm::Choice), 3);

    const std::pair<const char*, std::optional<int64_t>> texts[] = {
        {"0042", 42}, {"12a4", std::nullopt}, {"", std::nullopt}, {"-5", std::nullopt}};
    for (const auto& [text, value] : texts) {
        form.SetText("OthersPasswordEdit", text);
        EXPECT_EQ(ControlValue(form, "OthersPasswordEdit", ValueForm::Padded4), value) << text;
    }
    EXPECT_TRUE(FitsBytes(255, 1));
    EXPECT_FALSE(FitsBytes(256, 1));
    EXPECT_TRUE(FitsBytes(16777215, 3));
    EXPECT_FALSE(FitsBytes(-1, 4));
    EXPECT_EQ(LinearisationWindow(1000000, 5000), 1000000ull * 16777216 + 5000);
}

TEST(RegisterMap, ErrorTextsByExceptionCode) {
    const std::pair<int, const char*> cases[] = {
        {0, "0"},
        {1, "1, Illegal function"},
        {2, "2, Illegal data address"},
        {3, "3, Illegal data value "},
        {4, "4, Failure in associated device"},
        {5, "5"},
        {6, "6, Slave device busy"},
        {11, "11"},
    };
    for (const auto& [code, text] : cases)
        EXPECT_EQ(TDeviceAccess::ErrorText(code), text) << code;
}

// A parameter Write device sends but a comparison leaves out would be a change nobody is
// shown before a write, and one the check after it names without the window ever listing it.
TEST(RegisterMap, EveryParameterAWriteSendsIsCompared) {
    std::set<std::string> compared;
    for (const char* model : {"Q4200", "R212-A"}) {
        Device device;
        device.Model = model;
        device.HasDataLog = true;
        editor::Form form(device, "/nonexistent/vantrel-settings.ini");
        host::ScriptedPrompts prompts;
        editor::EditingRules rules(form, prompts);
        form.SetupModel(model, 0);
        for (const editor::ShownValue& v : editor::TakeSnapshot(form).values)
            compared.insert(v.control);
    }
    for (const Parameter& row : Parameters()) {
        if (*row.writeLabel == '\0')
            continue;
        const std::string control = row.form != ValueForm::Linearisation ? row.control
                                    : std::string(row.page) == "LinearisationSheet"
                                        ? "FrequencyEdit1"
                                        : "PercEdit1";
        EXPECT_TRUE(compared.count(control)) << row.writeLabel << " (" << row.control << ")";
    }
}
