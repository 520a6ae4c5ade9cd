// The Runtime Values page against the simulated unit: what is read, in which order, how it is
// shown, and what a failure leaves behind.

#include "device/OperatorValues.h"
#include "tests/device/DeviceFixture.h"

#include <mutex>

using namespace vantrel;
using namespace vantrel::device;
using namespace vantrel::device::test;
using host::PromptIcon;

namespace {

constexpr uint32_t kSerial = 1234567;

sim::Fault SilenceAt(int reg) {
    sim::Fault fault;
    fault.kind = sim::FaultKind::Silence;
    fault.reg = reg;
    return fault;
}

class OperatorValuesTest : public DeviceTest {
protected:
    void SetUp() override {
        sim::UnitOptions options = Unit(sim::Model::Q4200, true);
        options.serial = kSerial;
        Start(options);
        unit->UseManualClock(true);
        unit->SetFlowProfile(7, 0, 60);
        unit->SetTotals(123456, 789);
        unit->SetRegister(255, 1);
        unit->SetRegister(516, 40000);
        link->SetTrace([this](const std::string& line) { Heard(line); });
        values = std::make_unique<TOperatorValues>(*access);

        // A Q4200 read before: its P pages, three flow-rate and two total decimals.
        device.SerialNumber = static_cast<int32_t>(kSerial);
        device.Variant = 'P';
        ASSERT_TRUE(form.SetupModel("Q4200", 'P'));
        form.ExpectedSerialNumber = static_cast<int32_t>(kSerial);
        form.SetItemIndex("FlowrateDecimalsGroup", 3);
        form.SetItemIndex("TotalDecimalsGroup", 2);
        for (const char* label : kLabels)
            form.SetText(label, "before");
        form.SetStatus(1, "");
        prompts.shown.clear();
    }

    void Heard(const std::string& line) {
        // "rx 01 03 02 3C ...": function and start register of each request.
        if (line.rfind("rx ", 0) != 0 || line.size() < 14)
            return;
        std::lock_guard lock(mutex);
        requests.push_back(std::stoi(line.substr(9, 2) + line.substr(12, 2), nullptr, 16));
    }
    std::vector<int> Requests() {
        std::lock_guard lock(mutex);
        return requests;
    }
    std::vector<std::string> Labels() const {
        std::vector<std::string> texts;
        for (const char* label : kLabels)
            texts.push_back(form[label].text);
        return texts;
    }

    static constexpr const char* kLabels[] = {"FlowrateValueLabel", "TotalValueLabel",
                                              "AccTotalValueLabel", "lblBatteryStatus",
                                              "lblErrorStatus"};
    std::unique_ptr<TOperatorValues> values;
    std::mutex mutex;
    std::vector<int> requests;
};

TEST(OperatorValueText, ScalesByTheDecimals) {
    struct Case {
        uint64_t value;
        int decimals;
        const char* separator;
        const char* text;
    } cases[] = {
        {7, 3, ".", "0.007"},     {0, 2, ".", "0.00"},
        {5, 2, ".", "0.05"},      {1234, 2, ".", "12.34"},
        {1234, 0, ".", "1234"},   {100, 2, ",", "1,00"},
        {4294967295u, 1, ".", "429496729.5"},
        {0xFFFFFFFFFFFFull, 3, ".", "281474976710.655"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OperatorValueText(c.value, c.decimals, c.separator), c.text)
            << c.value << " with " << c.decimals;
}

TEST(OperatorValueText, BatteryCodes) {
    EXPECT_EQ(BatteryStatusText(0), "0 - Not determined");
    EXPECT_EQ(BatteryStatusText(1), "1 - Battery power normal");
    EXPECT_EQ(BatteryStatusText(2), "2 - Battery low power");
    for (int code : {3, 4, 128, 255})
        EXPECT_EQ(BatteryStatusText(code), "Not available") << code;
}

TEST_F(OperatorValuesTest, RefreshReadsInOrderAndShowsScaledValues) {
    rules.decimalSeparator = ",";
    values->RefeshButtonClick();

    EXPECT_EQ(Requests(), (std::vector<int>{2, 572, 566, 560, 255, 516}));
    EXPECT_EQ(Labels(), (std::vector<std::string>{"0,007", "7,89", "1234,56",
                                                  "1 - Battery power normal", "40000"}));
    EXPECT_EQ(form.statusPanels[1], kRefreshedStatus);
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_TRUE(form.enabled);
}

TEST_F(OperatorValuesTest, ZeroTotalKeepsItsDecimals) {
    unit->SetTotals(0, 0);
    EXPECT_TRUE(values->ReadOperatorValues());
    EXPECT_EQ(form["TotalValueLabel"].text, "0.00");
    EXPECT_EQ(form["AccTotalValueLabel"].text, "0.00");
}

TEST_F(OperatorValuesTest, BatteryThatDoesNotAnswerIsNoFailure) {
    for (sim::FaultKind kind : {sim::FaultKind::Silence, sim::FaultKind::Exception}) {
        sim::Fault fault = SilenceAt(255);
        fault.kind = kind;
        link->InjectFault(fault);
        EXPECT_TRUE(values->ReadOperatorValues());
        EXPECT_EQ(Labels(), (std::vector<std::string>{"0.007", "7.89", "1234.56",
                                                      "Not available", "40000"}));
    }
}

TEST_F(OperatorValuesTest, BatteryCodesBeyondTwoAreNotAvailable) {
    for (uint16_t code : {3, 7, 255}) {
        unit->SetRegister(255, code);
        EXPECT_TRUE(values->ReadOperatorValues());
        EXPECT_EQ(form["lblBatteryStatus"].text, "Not available") << code;
    }
}

TEST_F(OperatorValuesTest, AFailedReadLeavesEveryLabel) {
    for (int reg : {572, 566, 560, 516}) {
        requests.clear();
        prompts.shown.clear();
        link->InjectFault(SilenceAt(reg));
        values->RefeshButtonClick();

        EXPECT_EQ(Labels(), std::vector<std::string>(5, "before")) << reg;
        EXPECT_EQ(form.statusPanels[1], kRefreshFailedStatus);
        ASSERT_EQ(prompts.shown.size(), 1u);
        EXPECT_EQ(prompts.shown[0].text, "Error during communication. Please retry the operation.");
        EXPECT_EQ(prompts.shown[0].caption, "Refresh");
        EXPECT_EQ(prompts.shown[0].icon, PromptIcon::Error);
        EXPECT_TRUE(form.enabled);
        // Nothing is read past the failure.
        EXPECT_EQ(Requests().back(), reg);
    }
}

TEST_F(OperatorValuesTest, RefreshAfterAnotherUnitWasConnected) {
    form.ExpectedSerialNumber = 7654321;
    values->RefeshButtonClick();

    EXPECT_EQ(Requests(), std::vector<int>{2});
    EXPECT_EQ(Labels(), std::vector<std::string>(5, "before"));
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text,
              "Found a device with a different serialnumber!\r\nExpected: 7654321 Found: "
              "1234567\r\nPlease go to the configuration page to identify this new device.");
    EXPECT_EQ(prompts.shown[0].caption, "Refresh");
    EXPECT_EQ(form.statusPanels[1], "");
    EXPECT_TRUE(form.enabled);
}

TEST_F(OperatorValuesTest, NoUnitReadYetDoesNothing) {
    form.ExpectedSerialNumber = -1;
    values->RefeshButtonClick();
    values->ClearTotalButtonClick();
    EXPECT_TRUE(Requests().empty());
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(form.statusPanels[1], "");
    EXPECT_EQ(unit->Writes().size(), 0u);
}

TEST_F(OperatorValuesTest, ClearTotalZerosTheTotalOnly) {
    unit->SetTotals(5000, 777);
    form.SetItemIndex("TotalDecimalsGroup", 3);
    form.SetText("AccTotalValueLabel", "before");
    values->ClearTotalButtonClick();

    const auto writes = unit->Writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].reg, 566);
    EXPECT_EQ(writes[0].values, (std::vector<uint16_t>{0, 0, 0}));
    EXPECT_EQ(unit->ResettableTotal(), 0u);
    EXPECT_EQ(unit->AccumulatedTotal(), 5000u);
    EXPECT_EQ(form["TotalValueLabel"].text, "0.000");
    EXPECT_EQ(form["AccTotalValueLabel"].text, "before");
    EXPECT_EQ(form.statusPanels[1], kClearedStatus);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, "Cleared total value correctly.");
    EXPECT_EQ(prompts.shown[0].caption, "Clear Total");
    EXPECT_EQ(prompts.shown[0].icon, PromptIcon::Information);
    EXPECT_TRUE(form.enabled);

    // Without popups the success goes unannounced.
    form.ShowPopups = false;
    prompts.shown.clear();
    values->ClearTotalButtonClick();
    EXPECT_TRUE(prompts.shown.empty());

    // A span-based unit's zero has the decimals its totals are read with.
    device.Variant = 'A';
    form.ActiveVariant = "A";
    form.SetItemIndex("TotalADecimalsGroup", 1);
    form.SetText("TotalValueLabel", "before");
    values->ClearTotalButtonClick();
    EXPECT_EQ(form["TotalValueLabel"].text, "0.0");
}

TEST_F(OperatorValuesTest, ClearTotalThatFails) {
    link->InjectFault(SilenceAt(566));
    form.ShowPopups = false;
    values->ClearTotalButtonClick();

    EXPECT_EQ(form["TotalValueLabel"].text, "before");
    EXPECT_EQ(form.statusPanels[1], kClearFailedStatus);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, "Error during communication. Please retry the operation.");
    EXPECT_EQ(prompts.shown[0].caption, "Clear Total");
    EXPECT_EQ(prompts.shown[0].icon, PromptIcon::Error);
    EXPECT_TRUE(form.enabled);
}

TEST_F(OperatorValuesTest, DecimalsFollowThePageSetAndTheUnitsVariant) {
    form.SetItemIndex("FlowrateADecimalsGroup", 1);
    form.SetItemIndex("FlowrateDecimalsGroup", 2);
    form.SetItemIndex("TotalADecimalsGroup", 3);
    form.SetItemIndex("TotalDecimalsGroup", 1);
    struct Case {
        const char* activeVariant;
        char variant;
        int flowrate, total;
    } cases[] = {
        {"P", 'P', 2, 1}, {"A", 'A', 1, 3}, {"U", 'U', 1, 3},
        {"", 0, 0, 0},    {"P", 'A', 2, 3}, {"U", 'P', 1, 3},
    };
    for (const Case& c : cases) {
        form.ActiveVariant = c.activeVariant;
        device.Variant = c.variant;
        EXPECT_EQ(values->FlowrateDecimals(), c.flowrate) << c.activeVariant << c.variant;
        EXPECT_EQ(values->TotalDecimals(), c.total) << c.activeVariant << c.variant;
    }
}

} // namespace
