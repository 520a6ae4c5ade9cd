// The number rules: key filter, corrections on exit and on change, the K-factor minimum,
// FormatScaled, the status text and the labels UpdateValues recomputes.

#include "tests/editor/RulesFixture.h"

#include "editor/Linearisation.h"

#include <algorithm>
#include <cstdint>

using namespace vantrel;
using namespace vantrel::editor;
using vantrel::editor::test::kUntouched;
using vantrel::editor::test::RulesTest;

namespace {

const char* const kNumberEdits[] = {
    "TotalKFactorEdit",     "TotalASpanEdit",       "FlowrateKFactorEdit", "FlowratePulsesEdit",
    "FlowrateCutoffEdit",   "FlowrateASpanEdit",    "DisplayBargraphEdit", "FlowmeterKFactorEdit",
    "FlowmeterAFilterEdit", "FlowmeterACutOffEdit", "AnalogMinEdit",       "AnalogMaxEdit",
    "AnalogCutoffEdit",     "AnalogFilterEdit",     "PulseAmountEdit",     "PulseWidthEdit",
    "OthersTagEdit",
};

} // namespace

// ---------------------------------------------------------------- key filter

TEST_F(RulesTest, NumberEditsTakeDigitsAndBackspaceOnly) {
    std::vector<std::string> edits(std::begin(kNumberEdits), std::end(kNumberEdits));
    for (const auto* rows : {&FrequencyRows(), &PercentageRows()})
        for (const LinearisationRow& row : *rows) {
            edits.push_back(row.inputEdit);
            edits.push_back(row.factorEdit);
        }
    ASSERT_EQ(edits.size(), 17u + 60u); // the two read-only tune edits take no keys at all
    for (const std::string& edit : edits) {
        form.SetText(edit, "");
        EXPECT_EQ(Type(edit, "a5.-+ x9"), "59") << edit;
        EXPECT_EQ(Type(edit, "\b"), "\b") << edit;
    }
}

TEST_F(RulesTest, KeyFilterJudgesTheWholeCharacter) {
    // "²" and "٣" are digits to some readers, but not to the unit.
    for (const std::string typed : {"²", "٣", "½"})
        EXPECT_EQ(Type("TotalKFactorEdit", typed), "") << typed;
    for (char key : {'0', '9', '\b'})
        EXPECT_TRUE(EditingRules::CheckNumber(key)) << int(key);
    for (char key : {'/', ':', ' ', '\r', '\t', '\x7f', 'e'})
        EXPECT_FALSE(EditingRules::CheckNumber(key)) << int(key);
}

TEST_F(RulesTest, AddressDelayAndPasswordTakeAnyText) {
    EXPECT_EQ(Type("OthersPasswordEdit", "a#9z"), "a#9z");
    EXPECT_EQ(Text("OthersPasswordEdit"), "a#9z");
    form.SetText("CommunicAddressEdit", "");
    EXPECT_EQ(Type("CommunicAddressEdit", "a"), "a");
    EXPECT_EQ(Text("CommunicAddressEdit"), "1"); // a letter is worth 0, corrected at once
    EXPECT_EQ(Type("CommDelayEdit", "x"), "x");
    EXPECT_EQ(Text("CommDelayEdit"), "15");
}

// ---------------------------------------------------------------- corrections

struct ExitCase {
    const char* edit;
    const char* text;
    const char* afterExit;
};

TEST_F(RulesTest, CorrectionsOnLeavingAnEdit) {
    const ExitCase cases[] = {
        // CheckEditZero255
        {"FlowratePulsesEdit", "300", "255"},
        {"FlowratePulsesEdit", "256", "255"},
        {"FlowratePulsesEdit", "255", "255"},
        {"FlowratePulsesEdit", "0", "1"},
        {"FlowratePulsesEdit", "", "1"},
        {"FlowratePulsesEdit", "1", "1"},
        {"PulseWidthEdit", "9999", "255"},
        {"PulseWidthEdit", "000", "1"},
        // CheckEditZero
        {"FlowrateCutoffEdit", "0", "1"},
        {"FlowrateCutoffEdit", "", "1"},
        {"FlowrateCutoffEdit", "9999", "9999"},
        {"FlowmeterAFilterEdit", "0", "1"},
        {"PulseAmountEdit", "00", "1"},
        {"PulseAmountEdit", "-3", "1"}, // from a file: no count either
        {"PulseAmountEdit", "1000", "1000"},
        // CheckEmpty
        {"OthersTagEdit", "", "0"},
        {"OthersTagEdit", "00", "00"},
        {"FrequencyEditF", "", "0"},
        {"FactorEdit1", "", "0"},
        {"PercEdit9", "", "0"},
        {"FactorAEditA", "", "0"},
        // no correction bound
        {"DisplayBargraphEdit", "", ""},
        {"AnalogMaxEdit", "0", "0"},
    };
    for (const ExitCase& c : cases) {
        form.SetText(c.edit, c.text);
        EXPECT_EQ(Text(c.edit), c.text) << c.edit << ": corrected before the exit";
        Leave(c.edit);
        EXPECT_EQ(Text(c.edit), c.afterExit) << c.edit << " \"" << c.text << "\"";
    }
}

struct ChangeCase {
    const char* edit;
    const char* before;
    const char* typed; // key by key, or pasted whole
    bool pasted;
    const char* after;
};

TEST_F(RulesTest, AddressAndDelayAreCorrectedWhileTyping) {
    const ChangeCase cases[] = {
        {"CommDelayEdit", "", "2", false, "15"},
        {"CommDelayEdit", "15", "0", false, "150"},
        {"CommDelayEdit", "150", "\b", false, "15"},
        {"CommDelayEdit", "15", "\b", false, "15"}, // "1" is below 15 at once
        {"CommDelayEdit", "15", "x", false, "15"},
        {"CommDelayEdit", "15", "-100", true, "15"},
        {"CommDelayEdit", "15", "16", true, "16"},
        {"CommunicAddressEdit", "24", "8", false, "247"},
        {"CommunicAddressEdit", "24", "7", false, "247"},
        {"CommunicAddressEdit", "1", "2", false, "12"},
        {"CommunicAddressEdit", "7", "\b", false, "1"}, // emptied: reads "1" at once
        {"CommunicAddressEdit", "", "0", false, "1"},
        {"CommunicAddressEdit", "1", "x", false, "1"},
        {"CommunicAddressEdit", "12", "-5", true, "1"},
        {"CommunicAddressEdit", "12", "300", true, "247"},
        {"CommunicAddressEdit", "12", "99999999999999999999", true, "247"},
    };
    for (const ChangeCase& c : cases) {
        form[c.edit].text = c.before; // as it stands, no event
        if (c.pasted)
            form.UserEdit(c.edit, c.typed);
        else
            Type(c.edit, c.typed);
        EXPECT_EQ(Text(c.edit), c.after)
            << c.edit << " \"" << c.before << "\" + \"" << c.typed << "\"";
    }
}

// ---------------------------------------------------------------- K-factor minimum

struct KFactorCase {
    const char* edit;
    const char* decimalsGroup;
    int decimals;
    const char* text;
    const char* afterExit;
};

TEST_F(RulesTest, KFactorMinimumByDecimals) {
    const KFactorCase cases[] = {
        {"TotalKFactorEdit", "TotalKFactorDecimalsGroup", 6, "50", "100"},
        {"TotalKFactorEdit", "TotalKFactorDecimalsGroup", 6, "99", "100"},
        {"TotalKFactorEdit", "TotalKFactorDecimalsGroup", 6, "100", "100"},
        {"TotalKFactorEdit", "TotalKFactorDecimalsGroup", 5, "9", "10"},
        {"TotalKFactorEdit", "TotalKFactorDecimalsGroup", 5, "50", "50"},
        {"TotalKFactorEdit", "TotalKFactorDecimalsGroup", 4, "0", "1"},
        {"TotalKFactorEdit", "TotalKFactorDecimalsGroup", 4, "5", "5"},
        {"TotalKFactorEdit", "TotalKFactorDecimalsGroup", 0, "", "1"},
        {"FlowrateKFactorEdit", "FlowrateKFactorDecimalsGroup", 6, "0", "100"},
        {"FlowrateKFactorEdit", "FlowrateKFactorDecimalsGroup", 3, "0", "1"},
        {"FlowmeterKFactorEdit", "FlowmeterKFactorDecimalsGroup", 5, "3", "10"},
        {"FlowmeterKFactorEdit", "FlowmeterKFactorDecimalsGroup", 6, "", "100"},
        {"TotalASpanEdit", "TotalASpanDecimalsGroup", 6, "50", "100"},
        {"TotalASpanEdit", "TotalASpanDecimalsGroup", 1, "0", "1"},
        {"FlowrateASpanEdit", "FlowrateASpanDecimalsGroup", 5, "0", "10"},
    };
    for (const KFactorCase& c : cases) {
        form[c.decimalsGroup].itemIndex = c.decimals; // as loaded, no event
        form.SetText(c.edit, c.text);
        Leave(c.edit);
        EXPECT_EQ(Text(c.edit), c.afterExit)
            << c.edit << " \"" << c.text << "\" with " << c.decimals << " decimals";
    }
}

TEST_F(RulesTest, EachKFactorIsHeldToItsOwnPagesDecimals) {
    // The pulse pages' K-factors at 6 decimals hold 50 (as a load left them); leaving the
    // span or the Flowmeter K-factor checks that edit against its own decimals and leaves
    // the other pages' edits alone.
    const struct {
        const char* left;
        const char* other;
        const char* otherDecimals;
    } cases[] = {
        {"TotalASpanEdit", "TotalKFactorEdit", "TotalKFactorDecimalsGroup"},
        {"FlowrateASpanEdit", "FlowrateKFactorEdit", "FlowrateKFactorDecimalsGroup"},
        {"FlowmeterKFactorEdit", "FlowrateKFactorEdit", "FlowrateKFactorDecimalsGroup"},
    };
    for (const auto& c : cases) {
        form[c.otherDecimals].itemIndex = 6;
        form.SetText(c.other, "50");
        form.SetText(c.left, "0");
        Leave(c.left);
        EXPECT_EQ(Text(c.left), "1") << c.left;
        EXPECT_EQ(Text(c.other), "50") << c.left;
    }
}

TEST_F(RulesTest, DecimalsGroupCorrectsItsKFactorWhenChosenAndWhenLeft) {
    Show("R212-P");
    form.SetText("TotalKFactorEdit", "50");
    form.UserSelect("TotalKFactorDecimalsGroup", 6);
    EXPECT_EQ(Text("TotalKFactorEdit"), "100");
    EXPECT_EQ(Text("TotalKFactorValueLabel"), "0.000100");
    EXPECT_EQ(Status(), kModifiedStatus);

    form.SetText("TotalKFactorEdit", "50"); // as a load would put it back
    Leave("TotalKFactorDecimalsGroup");
    EXPECT_EQ(Text("TotalKFactorEdit"), "100");

    form.SetText("TotalASpanEdit", "7");
    form.UserSelect("TotalASpanDecimalsGroup", 5);
    EXPECT_EQ(Text("TotalASpanEdit"), "10");
    EXPECT_EQ(Text("TotalASpanValueLabel"), "0.00010");

    form.SetText("FlowmeterKFactorEdit", "0");
    form.UserSelect("FlowmeterKFactorDecimalsGroup", 2);
    EXPECT_EQ(Text("FlowmeterKFactorEdit"), "1");
}

TEST_F(RulesTest, SpeedAndCalibHiOnlyMarkTheValuesChanged) {
    for (const char* group : {"CommunicSpeedGroup", "FlowmeterACalibHiGroup"}) {
        Show("R212-P");
        form["TotalKFactorDecimalsGroup"].itemIndex = 6;
        form.SetText("TotalKFactorEdit", "50");
        form.SetItemIndex(group, 1 - std::min(1, Index(group)));
        EXPECT_EQ(Status(), kModifiedStatus) << group;
        EXPECT_EQ(Text("TotalKFactorEdit"), "50") << group;
        form.SetStatus(1, kUntouched);
        Leave(group);
        EXPECT_EQ(Status(), kModifiedStatus) << group << " left";
    }
}

// ---------------------------------------------------------------- status text

TEST_F(RulesTest, StatusTextOnlyWhenNotUpdatingAndNotOffline) {
    const struct {
        bool updating, offline, marked;
    } cases[] = {
        {false, false, true},
        {true, false, false},
        {false, true, false},
        {true, true, false},
    };
    for (const auto& c : cases) {
        Show("R212-P");
        form.Updating = c.updating;
        form.OfflineMode = c.offline;
        form.UserSelect("TotalDecimalsGroup", (Index("TotalDecimalsGroup") + 1) % 4);
        Type("FlowrateCutoffEdit", "1");
        EXPECT_EQ(Status(), c.marked ? kModifiedStatus : kUntouched)
            << "updating " << c.updating << " offline " << c.offline;
        form.Updating = false;
        form.OfflineMode = false;
    }
}

TEST_F(RulesTest, EditsWithoutTheModifiedRuleLeaveTheStatus) {
    Show("R212-P");
    Type("CommunicAddressEdit", "5");
    Type("CommDelayEdit", "20");
    Type("OthersPasswordEdit", "1234");
    form.SetTime("DataLogDaily1", {8, 30, 0});
    form.UserSelect("DataLogIntervalGroup", 3);
    form.SetItemIndex("FlowmeterACalibLoGroup", 1);
    EXPECT_EQ(Status(), kUntouched);
}

// ---------------------------------------------------------------- FormatScaled

TEST(FormatScaled, Examples) {
    const struct {
        const char* text;
        int decimals;
        const char* separator;
        const char* shown;
    } cases[] = {
        {"1234", 2, ".", "12.34"},
        {"5", 3, ".", "0.005"},
        {"300", 1, ".", "30.0"},
        {"", 2, ".", "0.01"},
        {"x", 0, ".", "1"},
        {"12a", 1, ".", "0.1"},
        {"0", 2, ".", "0.00"},
        {"7", 0, ".", "7"},
        {"123", 3, ".", "0.123"},
        {"1234", 3, ".", "1.234"},
        {"0001234", 2, ".", "12.34"},
        {"9999999", 6, ".", "9.999999"},
        {"100", 6, ".", "0.000100"},
        {"-5", 2, ".", "-0.05"},
        {"1234", 2, ",", "12,34"},
        {"5", 1, "\xd9\xab",
         "0\xd9\xab"
         "5"}, // a separator of more than one byte
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatScaled(c.text, c.decimals, c.separator), c.shown)
            << "\"" << c.text << "\" " << c.decimals;
}

TEST(IntegerValue, WhatCountsAsAnInteger) {
    const struct {
        const char* text;
        std::optional<int64_t> value;
    } cases[] = {
        {"0", 0},
        {"007", 7},
        {"+12", 12},
        {"-12", -12},
        {"", std::nullopt},
        {"-", std::nullopt},
        {" 1", std::nullopt},
        {"1 ", std::nullopt},
        {"1.5", std::nullopt},
        {"0x10", std::nullopt},
        {"99999999999999999999999", INT64_MAX},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IntegerValue(c.text), c.value) << "\"" << c.text << "\"";
}

// ---------------------------------------------------------------- derived labels

struct LabelCase {
    const char* edit;
    const char* text;
    const char* decimalsGroup; // nullptr: none
    int decimals;
    const char* label;
    const char* shown;
};

TEST_F(RulesTest, ValueLabelsFollowTheirEdits) {
    Show("R212-P");
    const LabelCase cases[] = {
        {"TotalKFactorEdit", "1234", "TotalKFactorDecimalsGroup", 2, "TotalKFactorValueLabel",
         "12.34"},
        {"TotalASpanEdit", "1600", "TotalASpanDecimalsGroup", 3, "TotalASpanValueLabel", "1.600"},
        {"FlowrateKFactorEdit", "5", "FlowrateKFactorDecimalsGroup", 3, "FlowrateKFactorValueLabel",
         "0.005"},
        {"FlowrateASpanEdit", "1600", "FlowrateASpanDecimalsGroup", 0, "FlowrateASpanValueLabel",
         "1600"},
        {"FlowmeterKFactorEdit", "12345", "FlowmeterKFactorDecimalsGroup", 4,
         "FlowmeterKFactorValueLabel", "1.2345"},
        {"FlowratePulsesEdit", "010", nullptr, 0, "FlowratePulsesValueLabel", "010"},
        {"FlowrateCutoffEdit", "300", nullptr, 0, "FlowrateCutoffValueLabel", "30.0"},
        {"FlowmeterACutOffEdit", "25", nullptr, 0, "FlowmeterACutoffValueLabel", "2.5"},
        {"AnalogCutoffEdit", "5", nullptr, 0, "AnalogCutoffValueLabel", "0.5"},
        {"AnalogMinEdit", "12345", "FlowrateDecimalsGroup", 2, "AnalogMinValueLabel", "123.45"},
        {"AnalogMaxEdit", "99999", "FlowrateDecimalsGroup", 3, "AnalogMaxValueLabel", "99.999"},
        {"AnalogTuneMaxEdit", "9999", nullptr, 0, "AnalogTuneMaxValueLabel", "9999"},
        {"AnalogFilterEdit", "7", nullptr, 0, "AnalogFilterValueLabel", "7"},
        {"PulseWidthEdit", "1500", nullptr, 0, "PulseWidthValueLabel", "1.500"},
        {"PulseAmountEdit", "1000", "PulseDecimalsGroup", 3, "PulseAmountValueLabel", "1.000"},
        {"OthersTagEdit", "123", nullptr, 0, "OthersTagLabel", "0000123"},
        {"OthersTagEdit", "9999999", nullptr, 0, "OthersTagLabel", "9999999"},
        {"OthersTagEdit", "", nullptr, 0, "OthersTagLabel", "0000000"},
    };
    for (const LabelCase& c : cases) {
        if (c.decimalsGroup)
            form.SetItemIndex(c.decimalsGroup, c.decimals);
        form.SetText(c.edit, c.text);
        EXPECT_EQ(Text(c.label), c.shown) << c.edit << " \"" << c.text << "\"";
    }
}

TEST(EditingRules, LabelsUseTheLocalesSeparator) {
    Device device;
    Form form(device, "");
    host::ScriptedPrompts prompts;
    EditingRules rules(form, prompts, ",");
    EXPECT_EQ(form["MFactorLabelF"].text, "0,000001"); // from the start
    form.SetupModel("R212-P", 0);
    form.SetText("PulseWidthEdit", "1500");
    form.SetItemIndex("LinearisationDecimalsGroup", 1);
    form.SetText("FrequencyEdit1", "25");
    EXPECT_EQ(form["PulseWidthValueLabel"].text, "1,500");
    EXPECT_EQ(form["FreqLabel1"].text, "2,5 Hz");
    EXPECT_EQ(form["MFactorLabel1"].text, "0,000001");
}

TEST_F(RulesTest, AnalogRangeShowsTheFlowrateDecimalsOfThePageSetInUse) {
    form.SetItemIndex("FlowrateDecimalsGroup", 3);
    form.SetItemIndex("FlowrateADecimalsGroup", 1);
    form.SetText("AnalogMaxEdit", "12345");
    const struct {
        const char* model;
        const char* shown;
    } cases[] = {{"R212-P", "12.345"}, {"R212-A", "1234.5"}, {"R210-U", "1234.5"}};
    for (const auto& c : cases) {
        Show(c.model);
        rules.UpdateValues();
        EXPECT_EQ(Text("AnalogMaxValueLabel"), c.shown) << c.model;
    }
}

TEST_F(RulesTest, AnalogFilterZeroBecomesOne) {
    form.SetText("AnalogFilterEdit", "0");
    EXPECT_EQ(Text("AnalogFilterEdit"), "1");
    EXPECT_EQ(Text("AnalogFilterValueLabel"), "1");
    form.SetText("AnalogFilterEdit", "00"); // only the exact text "0"
    EXPECT_EQ(Text("AnalogFilterEdit"), "00");
}

TEST_F(RulesTest, RuntimeValuesReadZeroAfterAnEdit) {
    form.SetItemIndex("FlowrateDecimalsGroup", 2);
    form.SetItemIndex("TotalDecimalsGroup", 1);
    form.SetItemIndex("FlowrateADecimalsGroup", 3);
    form.SetItemIndex("TotalADecimalsGroup", 0);
    const struct {
        const char* model;
        const char* flowrate;
        const char* total;
    } cases[] = {
        {"R212-P", "0.00", "0.0"},
        {"R212-A", "0.000", "0"},
        {"R210-U", "0.000", "0"},
        {"Q4200", "0", "0"}, // no page set: no decimals
    };
    for (const auto& c : cases) {
        Show(c.model);
        form.SetText("FlowrateValueLabel", "12.34");
        form.SetText("TotalValueLabel", "5678");
        form.SetText("AccTotalValueLabel", "91011");
        Type("PulseAmountEdit", "1");
        EXPECT_EQ(Text("FlowrateValueLabel"), c.flowrate) << c.model;
        EXPECT_EQ(Text("TotalValueLabel"), c.total) << c.model;
        EXPECT_EQ(Text("AccTotalValueLabel"), c.total) << c.model;
    }
}

TEST_F(RulesTest, RtuForcesEightDataBits) {
    const struct {
        int protocol;
        int databitsAfter;
        bool choiceEnabled;
    } cases[] = {{1, 0, false}, {2, 1, true}, {0, 1, true}};
    for (const auto& c : cases) {
        form.SetItemIndex("CommunicProtocolGroup", 2);
        form.SetItemIndex("CommunicDatabitsGroup", 1); // "7 Bits"
        form.UserSelect("CommunicProtocolGroup", c.protocol);
        EXPECT_EQ(Index("CommunicDatabitsGroup"), c.databitsAfter) << c.protocol;
        EXPECT_EQ(form["CommunicDatabitsGroup"].enabled, c.choiceEnabled) << c.protocol;
    }
    form.UserSelect("CommunicProtocolGroup", 1);
    form.UserSelect("CommunicDatabitsGroup", 1); // refused while disabled
    EXPECT_EQ(Index("CommunicDatabitsGroup"), 0);
}

TEST_F(RulesTest, UpdateValuesDoesNothingWhileUpdating) {
    form.SetText("PulseWidthEdit", "1500");
    form.Updating = true;
    form.SetText("PulseWidthEdit", "2500");
    rules.UpdateValues();
    EXPECT_EQ(Text("PulseWidthValueLabel"), "1.500");
    EXPECT_TRUE(form.Updating);
    form.Updating = false;
    rules.UpdateValues();
    EXPECT_EQ(Text("PulseWidthValueLabel"), "2.500");
    EXPECT_FALSE(form.Updating);
}

// ---------------------------------------------------------------- whose value is corrected

TEST_F(RulesTest, ExitChecksRunOnlyWhenTheUserLeavesAControlTheyEdited) {
    // Each edit holds a value its exit check would correct; what the focus does with it.
    const struct {
        const char* edit;
        const char* held;
        const char* corrected;
    } edits[] = {
        {"FlowrateCutoffEdit", "0", "1"},  {"FlowmeterAFilterEdit", "0", "1"},
        {"PulseAmountEdit", "0", "1"},     {"FlowratePulsesEdit", "0", "1"},
        {"PulseWidthEdit", "300", "255"},  {"TotalKFactorEdit", "0", "1"},
        {"FlowrateKFactorEdit", "0", "1"}, {"FlowmeterKFactorEdit", "0", "1"},
        {"TotalASpanEdit", "0", "1"},      {"FlowrateASpanEdit", "0", "1"},
        {"OthersTagEdit", "", "0"},        {"FactorEdit3", "", "0"},
    };
    enum class Way {
        FocusOnly,
        ClickOnly,
        TypedWhileUpdating,
        TypedWhileLoading,
        TypedThenLoaded,
        Typed,
        TypedThenButton
    };
    const struct {
        Way way;
        const char* name;
        bool corrected;
    } ways[] = {
        {Way::FocusOnly, "focus in and out", false},
        {Way::ClickOnly, "clicked into, nothing typed", false},
        {Way::TypedWhileUpdating, "left by a device run", false},
        {Way::TypedWhileLoading, "left while a file loads", false},
        {Way::TypedThenLoaded, "a load replaced the typed value", false},
        {Way::Typed, "typed and left", true},
        {Way::TypedThenButton, "typed, a button pressed by its shortcut", true},
    };
    for (const auto& w : ways)
        for (const auto& e : edits) {
            Show("R212-P");
            form.SetFocus("ConnectButton");
            form.SetText(e.edit, e.held);
            form.SetText("FlowrateValueLabel", "12.34");
            form.SetStatus(1, kUntouched);
            const std::string label = "FlowrateValueLabel";
            form.SetFocus(e.edit);
            switch (w.way) {
            case Way::FocusOnly:
                break;
            case Way::ClickOnly:
                form.Click(e.edit);
                break;
            case Way::TypedThenLoaded:
                form.UserEdit(e.edit, std::string(e.held) + "5");
                form.SetText(e.edit, e.held); // as a load puts the file's value in
                break;
            default:
                form.UserEdit(e.edit, e.held); // typed over with the same value
                break;
            }
            if (w.way == Way::TypedWhileUpdating)
                form.Updating = true;
            if (w.way == Way::TypedWhileLoading)
                form.BulkLoading = true;
            if (w.way == Way::TypedThenButton)
                form.Click("SaveConfigButtonNew"); // the focus stays in the edit
            else
                form.SetFocus("TotalMultiplyGroup");
            form.Updating = false;
            form.BulkLoading = false;
            EXPECT_EQ(Text(e.edit), w.corrected ? e.corrected : e.held) << e.edit << ": " << w.name;
            if (!w.corrected && w.way != Way::TypedThenLoaded) {
                EXPECT_EQ(Status(), kUntouched) << e.edit << ": " << w.name;
                EXPECT_EQ(Text(label), "12.34") << e.edit << ": " << w.name;
            }
            EXPECT_FALSE(form.Edited(e.edit)) << "left: " << e.edit;
        }
}

TEST_F(RulesTest, LeavingAGroupWithoutAChoiceMarksNothing) {
    for (const char* group : {"TotalKFactorDecimalsGroup", "FlowrateKFactorDecimalsGroup",
                              "FlowmeterKFactorDecimalsGroup", "CommunicSpeedGroup"}) {
        Show("R212-P");
        form["TotalKFactorDecimalsGroup"].itemIndex = 6;
        form["FlowrateKFactorDecimalsGroup"].itemIndex = 6;
        form["FlowmeterKFactorDecimalsGroup"].itemIndex = 6;
        for (const char* edit : {"TotalKFactorEdit", "FlowrateKFactorEdit", "FlowmeterKFactorEdit"})
            form.SetText(edit, "50");
        form.SetText("TotalValueLabel", "5678");
        form.SetStatus(1, kUntouched);
        form.SetFocus(group);
        form.SetFocus("ConnectButton");
        EXPECT_EQ(Status(), kUntouched) << group;
        EXPECT_EQ(Text("TotalValueLabel"), "5678") << group;
        for (const char* edit : {"TotalKFactorEdit", "FlowrateKFactorEdit", "FlowmeterKFactorEdit"})
            EXPECT_EQ(Text(edit), "50") << group << " " << edit;
        // The user's click on its choice is an edit: leaving then checks as before.
        form.SetFocus(group);
        form.UserSelect(group, Index(group));
        form.SetStatus(1, kUntouched);
        form.SetFocus("ConnectButton");
        EXPECT_EQ(Status(), kModifiedStatus) << group;
    }
}

TEST_F(RulesTest, APercentageClickedIntoAndLeftHoldsItsZeroUnchanged) {
    Show("R212-A");
    form.SetText("PercEdit4", "0");
    form.SetText("FlowrateValueLabel", "12.34");
    form.SetFocus("PercEdit4");
    form.Click("PercEdit4");
    EXPECT_EQ(Text("PercEdit4"), ""); // emptied for typing
    form.SetFocus("ConnectButton");
    EXPECT_EQ(Text("PercEdit4"), "0");
    EXPECT_EQ(Status(), kUntouched);
    EXPECT_EQ(Text("FlowrateValueLabel"), "12.34");

    // Typed into and emptied again: the user's empty field becomes 0 as any other.
    form.SetFocus("PercEdit4");
    form.Click("PercEdit4");
    Type("PercEdit4", "5\b");
    form.SetFocus("ConnectButton");
    EXPECT_EQ(Text("PercEdit4"), "0");
    EXPECT_EQ(Status(), kModifiedStatus);
}

TEST_F(RulesTest, ValuesFromTheUnitOrAFileAreNotCorrectedOnTheirWayIn) {
    // Corrections made while typing or by the recomputation, and a value that is placed
    // while the editor is filled from the unit (Updating and BulkLoading) or a file
    // (BulkLoading): it stays as it came.
    const struct {
        const char* edit;
        const char* placed;
        const char* typedResult; // the same text typed by the user
    } cases[] = {
        {"CommDelayEdit", "5", "15"},
        {"CommunicAddressEdit", "0", "1"},
        {"CommunicAddressEdit", "250", "247"},
        {"AnalogFilterEdit", "0", "1"},
    };
    for (const auto& c : cases) {
        for (bool updating : {true, false}) {
            form.SetText(c.edit, "77");
            form.BulkLoading = true;
            form.Updating = updating;
            form.SetText(c.edit, c.placed);
            form.Updating = false;
            rules.UpdateValues(); // a read's own recomputation at its end
            form.BulkLoading = false;
            EXPECT_EQ(Text(c.edit), c.placed) << c.edit << (updating ? " read" : " loaded");
        }
        form.SetText(c.edit, "77");
        form.UserEdit(c.edit, c.placed);
        EXPECT_EQ(Text(c.edit), c.typedResult) << c.edit << " typed";
    }
}
