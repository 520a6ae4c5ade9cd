// Units: the visible buttons and their hidden groups, the automatic unit conversion with its
// question, bulk loads, the unit labels and the interval of the page set in use.

#include "tests/editor/RulesFixture.h"

using namespace vantrel;
using namespace vantrel::editor;
using host::PromptAnswer;
using vantrel::editor::test::kUntouched;
using vantrel::editor::test::RulesTest;

namespace {

class UnitRulesTest : public RulesTest {
protected:
    // The conversion mode set as an applied change, without a question.
    void SetMode(int mode) {
        const bool popups = form.ShowPopups;
        form.ShowPopups = false;
        form.SetItemIndex("FlowmeterConversionGroup", mode);
        form.ShowPopups = popups;
    }

    // A pulse unit in "Auto volume" with "L" chosen on the Flowmeter, Total and Flow Rate
    // pages.
    void ShowLitres() {
        Show("R212-P");
        SetMode(1);
        form.SetItemIndex("FlowmeterUnitGroup", 1);
        form.SetItemIndex("TotalUnitGroup", 1);
        form.SetItemIndex("FlowrateUnitGroup", 2);
        form.SetStatus(1, kUntouched);
        prompts.shown.clear();
    }

    std::string Enabled(const std::string& box) const {
        std::string states;
        for (size_t i = 0; i < form[box].items.size(); ++i)
            states += form.ItemEnabled(box, static_cast<int>(i)) ? '1' : '0';
        return states;
    }

    std::string Chosen(const std::string& box) const {
        const Control& c = form[box];
        return c.itemIndex < 0 ? "none" : c.items[static_cast<size_t>(c.itemIndex)];
    }
};

} // namespace

// ---------------------------------------------------------------- buttons and hidden groups

TEST_F(UnitRulesTest, CheckUnitButtonFindsTheButtonByItsTag) {
    const struct {
        const char* box;
        int index;
        int button;
    } cases[] = {
        {"TotalUnitGroupBox", 7, 7},      {"TotalUnitGroupBox", 0, 0},
        {"FlowrateUnitGroupBox", 13, 12}, // "kg" sits before "g" on the page
        {"FlowrateUnitGroupBox", 12, 13}, {"FlowrateUnitGroupBox", 18, 18},
        {"FlowrateAUnitGroupBox", 6, 6},  {"FlowmeterUnitGroupBox", 1, 0},
        {"FlowmeterUnitGroupBox", 10, 9}, {"FlowmeterUnitGroupBox", 0, -1}, // no "No unit" button
        {"TotalUnitGroupBox", 11, -1},
    };
    SetMode(0); // every button enabled, so that none falls back to the class default
    for (const auto& c : cases) {
        form.SetItemIndex(c.box, 3);
        rules.CheckUnitButton(c.box, c.index);
        EXPECT_EQ(Index(c.box), c.button) << c.box << " " << c.index;
    }
}

TEST_F(UnitRulesTest, ClickingAButtonSetsItsHiddenGroupAndTheLabels) {
    const struct {
        const char* box;
        int button;
        const char* group;
        int index;
        const char* label;
        const char* shown;
    } cases[] = {
        {"TotalUnitGroupBox", 2, "TotalUnitGroup", 2, "TotalKFactorUnitLabel", "pulses / m³"},
        {"TotalUnitGroupBox", 9, "TotalUnitGroup", 9, "TotalUnitLabel", "lb"},
        {"TotalUnitGroupBox", 3, "TotalUnitGroup", 3, "AccTotalUnitLabel", "US GAL"},
        {"TotalUnitGroupBox", 4, "TotalUnitGroup", 4, "PulseAmountUnitLabel", "I GAL / pulse"},
        {"FlowrateUnitGroupBox", 12, "FlowrateUnitGroup", 13, "FlowrateKFactorUnitLabel",
         "pulses / kg"},
        {"FlowrateUnitGroupBox", 13, "FlowrateUnitGroup", 12, "FlowrateUnitLabel", "g"},
        {"FlowrateUnitGroupBox", 17, "FlowrateUnitGroup", 17, "AnalogMinUnitLabel", "rev / Sec"},
        {"FlowrateUnitGroupBox", 1, "FlowrateUnitGroup", 1, "AnalogMaxUnitLabel", "mL / Sec"},
        {"FlowrateUnitGroupBox", 9, "FlowrateUnitGroup", 9, "DisplayBargraphUnitLabel",
         "nm³ / Sec"},
        {"FlowmeterUnitGroupBox", 0, "FlowmeterUnitGroup", 1, "FlowmeterKFactorUnitLabel",
         "pulses / L"},
        {"FlowmeterUnitGroupBox", 5, "FlowmeterUnitGroup", 6, "FlowmeterKFactorUnitLabel",
         "pulses / oil bbl"},
        {"TotalAUnitGroupBox", 5, "TotalAUnitGroup", 5, "TotalASpanUnitLabel", "ft³ / sec"},
        {"FlowrateAUnitGroupBox", 6, "FlowrateAUnitGroup", 6, "FlowrateASpanUnitLabel",
         "ft³ / Sec"},
    };
    Show("R212-P");
    SetMode(0);
    for (const auto& c : cases) {
        form.SetStatus(1, kUntouched);
        form.UserSelect(c.box, c.button);
        EXPECT_EQ(Index(c.group), c.index) << c.box << " " << c.button;
        EXPECT_EQ(Text(c.label), c.shown) << c.box << " " << c.button;
        EXPECT_EQ(Status(), kModifiedStatus) << c.box << " " << c.button;
    }
}

TEST_F(UnitRulesTest, AProgramStepOnAHiddenGroupChecksItsButton) {
    Show("R212-P");
    SetMode(0);
    form.SetItemIndex("FlowrateUnitGroup", 13);
    EXPECT_EQ(Chosen("FlowrateUnitGroupBox"), "kg");
    form.SetItemIndex("TotalAUnitGroup", 5);
    EXPECT_EQ(Chosen("TotalAUnitGroupBox"), "ft³");
    form.SetItemIndex("FlowmeterUnitGroup", 8);
    EXPECT_EQ(Chosen("FlowmeterUnitGroupBox"), "ton");
    form.SetItemIndex("FlowmeterUnitGroup", 0); // "No unit" has no button: none stays checked
    EXPECT_EQ(Chosen("FlowmeterUnitGroupBox"), "none");
    EXPECT_EQ(Text("FlowmeterKFactorUnitLabel"), "pulses / No unit");
}

// ---------------------------------------------------------------- automatic conversion

TEST_F(UnitRulesTest, EachModeEnablesItsUnitClass) {
    const struct {
        const char* box;
        int mode;
        const char* enabled;
    } cases[] = {
        {"TotalUnitGroupBox", 0, "11111111111"},
        {"TotalUnitGroupBox", 1, "01111110000"},
        {"TotalUnitGroupBox", 2, "00000001111"},
        {"FlowrateUnitGroupBox", 0, "1111111111111111111"},
        {"FlowrateUnitGroupBox", 1, "0111111111100000000"},
        {"FlowrateUnitGroupBox", 2, "0000000000011111100"},
        {"FlowmeterUnitGroupBox", 0, "1111111111"},
        {"FlowmeterUnitGroupBox", 1, "1111110000"},
        {"FlowmeterUnitGroupBox", 2, "0000001111"},
        // the analog variant's boxes know no conversion
        {"TotalAUnitGroupBox", 2, "11111111111"},
        {"FlowrateAUnitGroupBox", 1, "1111111111111111111"},
    };
    Show("R212-P");
    for (const auto& c : cases) {
        SetMode(c.mode);
        EXPECT_EQ(Enabled(c.box), c.enabled) << c.box << " mode " << c.mode;
    }
}

TEST_F(UnitRulesTest, ADisabledUnitCannotBeChosen) {
    ShowLitres();
    EXPECT_FALSE(form.ItemEnabled("TotalUnitGroupBox", 7));
    form.UserSelect("TotalUnitGroupBox", 7); // "kg" under "Auto volume"
    EXPECT_EQ(Chosen("TotalUnitGroupBox"), "L");
    EXPECT_EQ(Index("TotalUnitGroup"), 1);
    EXPECT_EQ(Status(), kUntouched);
}

TEST_F(UnitRulesTest, SwitchingToAutoMassResetsTheUnitsToKilograms) {
    ShowLitres();
    prompts.answers = {PromptAnswer::Yes};
    form.UserSelect("FlowmeterConversionGroup", 2);

    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, kConversionQuestion);
    EXPECT_EQ(prompts.shown[0].caption, "Reset to default");
    EXPECT_EQ(prompts.shown[0].icon, host::PromptIcon::Warning);
    EXPECT_EQ(prompts.shown[0].buttons, host::PromptButtons::YesNo);

    EXPECT_EQ(Chosen("FlowmeterUnitGroupBox"), "kg");
    EXPECT_EQ(Index("FlowmeterUnitGroup"), 7);
    EXPECT_EQ(Chosen("TotalUnitGroupBox"), "kg");
    EXPECT_EQ(Index("TotalUnitGroup"), 7);
    EXPECT_EQ(Chosen("FlowrateUnitGroupBox"), "kg");
    EXPECT_EQ(Index("FlowrateUnitGroup"), 13);
    EXPECT_EQ(Text("TotalKFactorUnitLabel"), "pulses / kg");
    EXPECT_EQ(Text("AnalogMinUnitLabel"), "kg / Sec");
    EXPECT_EQ(rules.ConfirmedConversionMode(), 2);
    EXPECT_EQ(Status(), kModifiedStatus);
}

TEST_F(UnitRulesTest, WhenAConversionChangeAppliesAndWhetherItAsks) {
    const struct {
        bool bulkLoading, showPopups;
        PromptAnswer answer;
        bool asked;
        int modeAfter;
        const char* totalUnitAfter;
    } cases[] = {
        {false, true, PromptAnswer::Yes, true, 2, "kg"},
        {false, true, PromptAnswer::No, true, 1, "L"},
        {false, false, PromptAnswer::No, false, 2, "kg"},
        // a file or the unit brings its own mode: it holds, its classes apply, no question
        {true, true, PromptAnswer::No, false, 2, "kg"},
        {true, false, PromptAnswer::No, false, 2, "kg"},
    };
    for (const auto& c : cases) {
        ShowLitres();
        form.BulkLoading = c.bulkLoading;
        form.ShowPopups = c.showPopups;
        prompts.answers = {c.answer};
        form.SetItemIndex("FlowmeterConversionGroup", 2);
        form.BulkLoading = false;
        form.ShowPopups = true;
        const std::string what = std::string("bulk ") + (c.bulkLoading ? "1" : "0") + " popups " +
                                 (c.showPopups ? "1" : "0");
        EXPECT_EQ(prompts.shown.size(), c.asked ? 1u : 0u) << what;
        EXPECT_EQ(Index("FlowmeterConversionGroup"), c.modeAfter) << what;
        EXPECT_EQ(rules.ConfirmedConversionMode(), c.modeAfter) << what;
        EXPECT_EQ(Chosen("TotalUnitGroupBox"), c.totalUnitAfter) << what;
        EXPECT_EQ(Enabled("TotalUnitGroupBox"), c.modeAfter == 2 ? "00000001111" : "01111110000")
            << what;
    }
}

TEST_F(UnitRulesTest, ARefusedChangeReturnsAndChangesNoUnit) {
    ShowLitres();
    prompts.answers = {PromptAnswer::No};
    form.UserSelect("FlowmeterConversionGroup", 2);
    EXPECT_EQ(prompts.shown.size(), 1u); // the return to the old mode asks nothing
    EXPECT_EQ(Index("FlowmeterConversionGroup"), 1);
    EXPECT_EQ(Index("FlowmeterUnitGroup"), 1);
    EXPECT_EQ(Index("TotalUnitGroup"), 1);
    EXPECT_EQ(Index("FlowrateUnitGroup"), 2);
    EXPECT_EQ(Enabled("TotalUnitGroupBox"), "01111110000");
    EXPECT_TRUE(form["FlowmeterKFactorBox"].visible);
    EXPECT_EQ(Status(), kUntouched);
}

TEST_F(UnitRulesTest, TheFirstRefusalReturnsToTheModeTheGroupStartedWith) {
    EXPECT_EQ(Index("FlowmeterConversionGroup"), 1); // "Auto volume"
    EXPECT_EQ(rules.ConfirmedConversionMode(), 1);
    Show("R212-P");
    prompts.answers = {PromptAnswer::No};
    form.UserSelect("FlowmeterConversionGroup", 0);
    EXPECT_EQ(Index("FlowmeterConversionGroup"), 1);
    EXPECT_EQ(Enabled("TotalUnitGroupBox"), "01111110000");
}

TEST_F(UnitRulesTest, TheDeviceReadsConfirmedModeIsWhereARefusalReturns) {
    ShowLitres();
    form.BulkLoading = true;
    form.SetItemIndex("FlowmeterConversionGroup", 2);
    rules.SetConfirmedConversionMode(2);
    form.BulkLoading = false;
    prompts.answers = {PromptAnswer::No};
    form.UserSelect("FlowmeterConversionGroup", 0);
    EXPECT_EQ(Index("FlowmeterConversionGroup"), 2);
}

TEST_F(UnitRulesTest, KFactorBoxesFollowTheMode) {
    const char* const autoOnly[] = {"FlowmeterUnitGroupBox", "FlowmeterKFactorDecimalsGroup",
                                    "FlowmeterKFactorBox"};
    const char* const handOnly[] = {"TotalKFactorDecimalsGroup", "TotalKFactorBox",
                                    "FlowrateKFactorDecimalsGroup", "FlowrateKFactorBox"};
    Show("R212-P");
    for (int mode : {0, 1, 2, 0}) {
        SetMode(mode);
        for (const char* name : autoOnly)
            EXPECT_EQ(form[name].visible, mode != 0) << name << " mode " << mode;
        for (const char* name : handOnly)
            EXPECT_EQ(form[name].visible, mode == 0) << name << " mode " << mode;
    }
}

TEST_F(UnitRulesTest, HandKeepsTheUnitsChosen) {
    ShowLitres();
    prompts.answers = {PromptAnswer::Yes};
    form.UserSelect("FlowmeterConversionGroup", 0);
    EXPECT_EQ(Status(), kModifiedStatus); // the mode itself changed, though no unit did
    EXPECT_EQ(Chosen("TotalUnitGroupBox"), "L");
    EXPECT_EQ(Chosen("FlowrateUnitGroupBox"), "L");
    EXPECT_EQ(Chosen("FlowmeterUnitGroupBox"), "L");
    form.UserSelect("TotalUnitGroupBox", 8);
    EXPECT_EQ(Index("TotalUnitGroup"), 8);
}

TEST_F(UnitRulesTest, ALoadedUnitOutsideTheModeFallsBackToTheClassDefault) {
    ShowLitres();
    form.BulkLoading = true;
    form.SetItemIndex("TotalUnitGroup", 9); // "lb" under "Auto volume", as a file may hold
    form.BulkLoading = false;
    rules.UpdateValues();
    EXPECT_EQ(Chosen("TotalUnitGroupBox"), "L");
    EXPECT_EQ(Index("TotalUnitGroup"), 1);
}

// ---------------------------------------------------------------- unit labels

TEST_F(UnitRulesTest, NoUnitLeavesTheLabelsWithoutAUnit) {
    Show("R212-P");
    SetMode(0);
    form.UserSelect("TotalUnitGroupBox", 3);
    form.UserSelect("TotalUnitGroupBox", 0);
    form.UserSelect("FlowrateUnitGroupBox", 3);
    form.UserSelect("FlowrateUnitGroupBox", 0);
    const struct {
        const char* label;
        const char* shown;
    } cases[] = {
        {"TotalUnitLabel", ""},
        {"AccTotalUnitLabel", ""},
        {"TotalKFactorUnitLabel", "pulses / "},
        {"PulseAmountUnitLabel", " / pulse"},
        {"FlowrateUnitLabel", ""},
        {"FlowrateKFactorUnitLabel", "pulses / "},
        {"AnalogMinUnitLabel", " / Sec"},
        {"DisplayBargraphUnitLabel", " / Sec"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Text(c.label), c.shown) << c.label;
    EXPECT_EQ(form.TotalUnitText, "");
    EXPECT_EQ(form.FlowrateUnitText, "");

    form.SetupModel("R212-P", 0); // UpdateUnitTexts: the flow-rate unit too stays empty
    EXPECT_EQ(form.FlowrateUnitText, "");
    EXPECT_EQ(Text("AnalogMaxUnitLabel"), " / Sec");
}

TEST_F(UnitRulesTest, NoUnitIsRecognisedWhateverItsCaseAndBlanks) {
    Show("R212-A");
    form["TotalAUnitGroup"].items[0] = "  NO unit ";
    form.SetItemIndex("TotalAUnitGroup", 2);
    form.SetItemIndex("TotalAUnitGroup", 0);
    EXPECT_EQ(Text("TotalASpanUnitLabel"), " / sec");
    EXPECT_EQ(Text("TotalUnitLabel"), "");
}

TEST_F(UnitRulesTest, CommonPagesShowTheUnitsAndIntervalOfThePageSetInUse) {
    const struct {
        const char* model;
        const char* total;
        const char* flowrate;
    } cases[] = {
        {"R212-P", "m³", "US GAL / Hr"},
        {"R212-A", "lb", "kg / Day"},
        {"R210-U", "lb", "kg / Day"},
    };
    for (const auto& c : cases) {
        Show(c.model);
        SetMode(0);
        // A file load sets both page sets; the order must not decide which one shows.
        for (bool analogFirst : {false, true}) {
            for (const char* group :
                 {"TotalUnitGroup", "TotalAUnitGroup", "FlowrateUnitGroup", "FlowrateAUnitGroup",
                  "FlowrateIntervalGroup", "FlowrateAIntervalGroup"})
                form.SetItemIndex(group, 1);
            auto pulse = [&] {
                form.SetItemIndex("TotalUnitGroup", 2);        // "m³"
                form.SetItemIndex("FlowrateUnitGroup", 4);     // "US GAL"
                form.SetItemIndex("FlowrateIntervalGroup", 2); // "/ Hr"
            };
            auto analog = [&] {
                form.SetItemIndex("TotalAUnitGroup", 9);        // "lb"
                form.SetItemIndex("FlowrateAUnitGroup", 13);    // "kg"
                form.SetItemIndex("FlowrateAIntervalGroup", 3); // "/ Day"
            };
            if (analogFirst) {
                analog();
                pulse();
            } else {
                pulse();
                analog();
            }
            const std::string what = std::string(c.model) + (analogFirst ? " A first" : " P first");
            EXPECT_EQ(Text("TotalUnitLabel"), c.total) << what;
            EXPECT_EQ(Text("AnalogMinUnitLabel"), c.flowrate) << what;
        }
        EXPECT_EQ(Text("TotalUnitLabel"), c.total) << c.model;
        EXPECT_EQ(Text("PulseAmountUnitLabel"), std::string(c.total) + " / pulse") << c.model;
        EXPECT_EQ(Text("AnalogMinUnitLabel"), c.flowrate) << c.model;
        EXPECT_EQ(Text("FlowrateUnitLabel") + " " + Text("FlowIntLabel"), c.flowrate) << c.model;
        EXPECT_EQ(form.IntervalText,
                  std::string(c.flowrate).substr(std::string(c.flowrate).find('/')))
            << c.model;
        // each variant page shows its own groups
        EXPECT_EQ(Text("TotalKFactorUnitLabel"), "pulses / m³") << c.model;
        EXPECT_EQ(Text("TotalASpanUnitLabel"), "lb / sec") << c.model;
        EXPECT_EQ(Text("FlowrateKFactorUnitLabel"), "pulses / US GAL") << c.model;
        EXPECT_EQ(Text("FlowrateASpanUnitLabel"), "kg / Day") << c.model;
    }
}

TEST_F(UnitRulesTest, ThePulseVariantsIntervalReachesTheRuntimePage) {
    Show("R212-P");
    form.SetItemIndex("FlowrateAIntervalGroup", 3);
    form.UserSelect("FlowrateIntervalGroup", 1);
    EXPECT_EQ(Text("FlowIntLabel"), "/ Min");
    EXPECT_EQ(form.IntervalText, "/ Min");
    EXPECT_EQ(Status(), kModifiedStatus);
    form.SetItemIndex("FlowrateAIntervalGroup", 0); // the hidden page's interval
    EXPECT_EQ(Text("FlowIntLabel"), "/ Min");
}

TEST_F(UnitRulesTest, AModelChangeTakesTheTextsOfTheNewPageSet) {
    Show("R212-P");
    SetMode(0);
    form.SetItemIndex("TotalUnitGroup", 2);
    form.SetItemIndex("TotalAUnitGroup", 9);
    Show("R212-A");
    EXPECT_EQ(form.TotalUnitText, "lb");
    EXPECT_EQ(Text("AccTotalUnitLabel"), "lb");
    EXPECT_EQ(Chosen("TotalAUnitGroupBox"), "lb");

    // Entering an offline configuration shows the pulse set before the record names its
    // variant.
    device.Variant = 0;
    form.SetupModel("Q4200P", 0);
    EXPECT_EQ(form.TotalUnitText, "m³");
    EXPECT_EQ(Text("TotalUnitLabel"), "m³");
}
