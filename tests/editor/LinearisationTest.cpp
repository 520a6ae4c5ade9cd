// The linearisation pages: the row labels of both tables, the factor normalisation of the
// " Calculation Factor " group, its column heading and the percentage edits' clearing.

#include "tests/editor/RulesFixture.h"

#include "editor/Linearisation.h"

using namespace vantrel;
using namespace vantrel::editor;
using vantrel::editor::test::kUntouched;
using vantrel::editor::test::RulesTest;

TEST(LinearisationRows, NamedByTheirHexDigit) {
    const std::string ids = "123456789ABCDEF";
    for (int i = 0; i < kLinearisationRows; ++i) {
        const LinearisationRow& f = FrequencyRows()[static_cast<size_t>(i)];
        const LinearisationRow& p = PercentageRows()[static_cast<size_t>(i)];
        const std::string id(1, ids[static_cast<size_t>(i)]);
        EXPECT_EQ(f.id, ids[static_cast<size_t>(i)]);
        EXPECT_EQ(f.inputEdit, "FrequencyEdit" + id);
        EXPECT_EQ(f.inputLabel, "FreqLabel" + id);
        EXPECT_EQ(f.factorEdit, "FactorEdit" + id);
        EXPECT_EQ(f.factorLabel, "MFactorLabel" + id);
        EXPECT_EQ(p.inputEdit, "PercEdit" + id);
        EXPECT_EQ(p.inputLabel, "PercLabel" + id);
        EXPECT_EQ(p.factorEdit, "FactorAEdit" + id);
        EXPECT_EQ(p.factorLabel, "MFactorALabel" + id);
    }
}

TEST_F(RulesTest, FrequencyRows) {
    const struct {
        const char* frequency;
        int decimals;
        const char* factor;
        const char* frequencyShown;
        const char* factorShown;
    } cases[] = {
        {"5", 2, "0", "0.05 Hz", "0.000000"},
        {"7", 3, "1000000", "0.007 Hz", "1.000000"},
        {"1234", 1, "123", "123.4 Hz", "0.000123"},
        {"99999", 0, "9999999", "99999 Hz", "9.999999"},
        {"12", 0, "10000000", "12 Hz", "9.999999"},
        {"00012", 3, "0001234", "0.012 Hz", "0.001234"},
        {"0", 1, "1234567", "not used", "1.234567"},
        {"", 2, "", "not used", "0.000001"},
        {"00000", 0, "x", "not used", "0.000001"},
    };
    for (const auto& c : cases) {
        form.SetItemIndex("LinearisationDecimalsGroup", c.decimals);
        form.SetText("FrequencyEditA", c.frequency);
        form.SetText("FactorEditA", c.factor);
        EXPECT_EQ(Text("FreqLabelA"), c.frequencyShown) << c.frequency << " / " << c.decimals;
        EXPECT_EQ(Text("MFactorLabelA"), c.factorShown) << c.factor;
    }
}

TEST_F(RulesTest, PercentageRows) {
    const struct {
        const char* percentage;
        const char* factor;
        const char* percentageShown;
        const char* factorShown;
    } cases[] = {
        {"500", "1", "05.00 %", "0.000001"},      {"9999", "2500000", "99.99 %", "2.500000"},
        {"1", "", "00.01 %", "0.000001"},         {"0050", "0", "00.50 %", "0.000000"},
        {"0", "1000000", "not used", "1.000000"}, {"", "99999999", "not used", "9.999999"},
        {"12345", "1", "123.45 %", "0.000001"}, // more digits than the edit takes, from a file
    };
    for (const auto& c : cases) {
        form.SetText("PercEditC", c.percentage);
        form.SetText("FactorAEditC", c.factor);
        EXPECT_EQ(Text("PercLabelC"), c.percentageShown) << c.percentage;
        EXPECT_EQ(Text("MFactorALabelC"), c.factorShown) << c.factor;
    }
}

TEST_F(RulesTest, EveryRowShowsItsOwnEdits) {
    form.SetItemIndex("LinearisationDecimalsGroup", 0);
    for (int i = 0; i < kLinearisationRows; ++i) {
        const auto n = std::to_string(i + 1);
        form.SetText(FrequencyRows()[static_cast<size_t>(i)].inputEdit, n);
        form.SetText(FrequencyRows()[static_cast<size_t>(i)].factorEdit, n);
        form.SetText(PercentageRows()[static_cast<size_t>(i)].inputEdit, n);
        form.SetText(PercentageRows()[static_cast<size_t>(i)].factorEdit, n);
    }
    for (int i = 0; i < kLinearisationRows; ++i) {
        const int n = i + 1;
        const std::string digits = (n < 10 ? "0" : "") + std::to_string(n);
        const std::string factor = "0.0000" + digits;
        EXPECT_EQ(Text(FrequencyRows()[static_cast<size_t>(i)].inputLabel),
                  std::to_string(n) + " Hz");
        EXPECT_EQ(Text(FrequencyRows()[static_cast<size_t>(i)].factorLabel), factor);
        EXPECT_EQ(Text(PercentageRows()[static_cast<size_t>(i)].inputLabel), "00." + digits + " %");
        EXPECT_EQ(Text(PercentageRows()[static_cast<size_t>(i)].factorLabel), factor);
    }
}

TEST_F(RulesTest, TheLabelsFollowTheDecimalsChoice) {
    form.SetText("FrequencyEdit1", "1234");
    const char* const shown[] = {"1234 Hz", "123.4 Hz", "12.34 Hz", "1.234 Hz"};
    for (int decimals : {3, 1, 0, 2}) {
        form.UserSelect("LinearisationDecimalsGroup", decimals);
        EXPECT_EQ(Text("FreqLabel1"), shown[decimals]);
    }
}

TEST_F(RulesTest, AnEmptiedFactorShowsOneMillionthUntilItIsLeft) {
    form.SetText("FactorEdit2", "12");
    Type("FactorEdit2", "\b\b");
    EXPECT_EQ(Text("FactorEdit2"), "");
    EXPECT_EQ(Text("MFactorLabel2"), "0.000001");
    Leave("FactorEdit2");
    EXPECT_EQ(Text("FactorEdit2"), "0");
    EXPECT_EQ(Text("MFactorLabel2"), "0.000000");
}

TEST_F(RulesTest, TypingIntoARowMarksTheValuesChanged) {
    Show("R212-P");
    EXPECT_EQ(Type("FrequencyEdit7", "12a3"), "123");
    EXPECT_EQ(Text("FreqLabel7"), "123 Hz");
    EXPECT_EQ(Status(), kModifiedStatus);
    form.UserEdit("PercEdit1", "12345"); // four characters at most
    EXPECT_EQ(Text("PercEdit1"), "1234");
    EXPECT_EQ(Text("PercLabel1"), "12.34 %");
}

TEST_F(RulesTest, PercentageEditsClearWhenClickedHoldingZero) {
    const struct {
        const char* text;
        const char* afterClick;
    } cases[] = {{"0", ""}, {"00", "00"}, {"25", "25"}, {"", ""}};
    for (const auto& c : cases) {
        form.SetText("PercEdit4", c.text);
        form.Click("PercEdit4");
        EXPECT_EQ(Text("PercEdit4"), c.afterClick) << c.text;
    }
    form.SetText("FrequencyEdit4", "0");
    form.Click("FrequencyEdit4"); // only the percentage edits
    EXPECT_EQ(Text("FrequencyEdit4"), "0");
}

// ---------------------------------------------------------------- " Calculation Factor "

TEST(LinearisationFactor, NormalisedAsTheLabelShowsIt) {
    const struct {
        const char* factor;
        const char* normalised;
        const char* shown;
    } cases[] = {
        {"0001234", "1234", "0.001234"},
        {"1000000", "1000000", "1.000000"},
        {"99999999", "9999999", "9.999999"},
        {"", "1", "0.000001"},
        {"x", "1", "0.000001"},
        {"0000000", "0", "0.000000"},
        {"-5", "0", "0.000000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NormalisedFactor(c.factor), c.normalised) << c.factor;
        EXPECT_EQ(FormatFactor(c.factor, "."), c.shown) << c.factor;
    }
}

TEST_F(RulesTest, ChoosingMFactorNormalisesTheFactorEdits) {
    Show("R212-P");
    form.SetText("FactorEdit3", "0001234");
    form.SetText("FactorEditF", "");
    form.SetText("FactorAEdit3", "0001234");
    form.SetStatus(1, kUntouched);
    form.UserSelect("LinearisationFactorGroup", 0); // its one choice, already chosen
    EXPECT_EQ(Text("FactorEdit3"), "1234");
    EXPECT_EQ(Text("FactorEditF"), "1");
    EXPECT_EQ(Text("FactorEdit1"), "1");
    EXPECT_EQ(Text("MFactorLabel3"), "0.001234");
    EXPECT_EQ(Text("FactorAEdit3"), "0001234"); // the percentage table has no such choice
    EXPECT_EQ(Status(), kModifiedStatus);
    EXPECT_FALSE(form.Updating);
}

TEST_F(RulesTest, FactorNormalisationWaitsWhileUpdating) {
    form.SetText("FactorEdit3", "0001234");
    form.Updating = true;
    rules.LinearisationFactorGroupClick();
    EXPECT_EQ(Text("FactorEdit3"), "0001234");
    form.Updating = false;
    form.OfflineMode = true;
    form.SetStatus(1, kUntouched);
    rules.LinearisationFactorGroupClick();
    EXPECT_EQ(Text("FactorEdit3"), "1234");
    EXPECT_EQ(Status(), kUntouched); // a prepared configuration has no unit to write to
}

TEST_F(RulesTest, FactorColumnHeading) {
    EXPECT_EQ(Text("Label7"), "M-Factors");
    const struct {
        int choice;
        const char* heading;
    } cases[] = {{0, "M-Factors"}, {1, "Total K-Factors"}, {2, "Flowrate K-Factors"}};
    for (const auto& c : cases)
        EXPECT_EQ(FactorColumnHeading(c.choice), c.heading) << c.choice;
}
