// Restart, factory reset, the analog output calibration and the clock buttons against the
// simulated unit.

#include "device/DeviceCommands.h"
#include "modbus/ModbusCodec.h"
#include "modbus/PortSetup.h"
#include "tests/device/DeviceFixture.h"
#include "tests/model/ModelSupport.h"

using namespace vantrel;
using namespace vantrel::device;
using namespace vantrel::device::test;
using host::PromptAnswer;
using host::PromptButtons;
using host::PromptIcon;
using Kind = host::ScriptedPrompts::Kind;

namespace {

constexpr uint32_t kSerial = 1234567;

sim::Fault SilenceAt(int reg) {
    sim::Fault fault;
    fault.kind = sim::FaultKind::Silence;
    fault.reg = reg;
    return fault;
}

// Stands in for the wait after a command: records it and ends the unit's reboot, so that
// the identification that follows finds the unit at once.
class CommandPump final : public host::Pump {
public:
    explicit CommandPump(std::unique_ptr<sim::SimUnit>& unit) : unit_(unit) {}
    bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) override {
        waits.push_back(timeout);
        unit_->EndReboot();
        return done();
    }
    void Wake() override {}
    std::vector<std::chrono::milliseconds> waits;

private:
    std::unique_ptr<sim::SimUnit>& unit_;
};

class DeviceCommandsTest : public DeviceTest {
protected:
    void SetUp() override {
        sim::UnitOptions options = Unit(sim::Model::Q4200, true);
        options.serial = kSerial;
        Start(options);
        ports.Plug(1, link->SlavePath());
        setup.RefreshPortList();
        setup.SelectPort(1);
        ASSERT_EQ(setup.GetPortNumber(), 1);
        access->portSetup = &setup;
        commands = std::make_unique<TDeviceCommands>(*access, pump);
        form.SetStatus(1, "");
    }

    // The identification after a command asks whether to read the unit: no.
    void DeclineRead() { prompts.answers.push_back(PromptAnswer::No); }

    const host::ScriptedPrompts::Shown* Message(const std::string& text) const {
        for (const auto& shown : prompts.shown)
            if (shown.text == text)
                return &shown;
        return nullptr;
    }

    vantrel::test::FakePorts ports;
    modbus::PortSetup setup{ports};
    CommandPump pump{unit};
    std::unique_ptr<TDeviceCommands> commands;
};

TEST_F(DeviceCommandsTest, RestartSendsTheCommandWaitsAndIdentifies) {
    DeclineRead();
    commands->RestartButtonClick();

    const auto writes = unit->Writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].reg, 25);
    EXPECT_EQ(writes[0].values, std::vector<uint16_t>{0xA50F});
    EXPECT_EQ(unit->Counters().restarts, 1u);
    EXPECT_EQ(pump.waits, std::vector<std::chrono::milliseconds>{kCommandSettleTime});
    // Identified anew.
    EXPECT_EQ(device.SerialNumber, static_cast<int32_t>(kSerial));
    EXPECT_EQ(device.Model, "Q4200");
    ASSERT_FALSE(prompts.shown.empty());
    EXPECT_EQ(prompts.shown[0].text.rfind("Found a device!", 0), 0u);
    EXPECT_TRUE(form.enabled);
}

TEST_F(DeviceCommandsTest, RestartWithoutAPortDoesNothingAtAll) {
    setup.SelectPort(0);
    ASSERT_EQ(setup.GetPortNumber(), 0);
    form.SetStatus(1, "untouched");
    unit->ResetCounters();
    commands->RestartButtonClick();
    form.ShowPopups = false;
    commands->FactoryResetButtonClick();

    EXPECT_EQ(unit->Counters().requests, 0u);
    EXPECT_EQ(form.statusPanels[1], "untouched");
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_TRUE(pump.waits.empty());

    // Nor without a port setup at all.
    access->portSetup = nullptr;
    commands->RestartButtonClick();
    EXPECT_EQ(unit->Counters().requests, 0u);
}

TEST_F(DeviceCommandsTest, CommandThatCannotBeSentStillIdentifies) {
    struct Case {
        void (TDeviceCommands::*click)();
        const char* text;
    } cases[] = {
        {&TDeviceCommands::RestartButtonClick, "Unable to send restart command to device."},
        {&TDeviceCommands::FactoryResetButtonClick,
         "Unable to send factory reset command to device."},
    };
    form.ShowPopups = false;
    setup.SelectSpeedIndex(5);
    for (const Case& c : cases) {
        prompts.shown.clear();
        link->InjectFault(SilenceAt(25));
        ((*commands).*c.click)();

        ASSERT_FALSE(prompts.shown.empty());
        EXPECT_EQ(prompts.shown[0].text, c.text);
        EXPECT_EQ(prompts.shown[0].icon, PromptIcon::None);
        EXPECT_TRUE(pump.waits.empty());
        EXPECT_EQ(unit->Counters().restarts + unit->Counters().factoryResets, 0u);
        // The port setup is left alone and the unit identified again (and, popups off, read).
        EXPECT_EQ(setup.GetSpeedIndex(), 5);
        EXPECT_EQ(device.SerialNumber, static_cast<int32_t>(kSerial));
        EXPECT_TRUE(form.enabled);
    }
}

TEST_F(DeviceCommandsTest, FactoryResetAsksFirstWithPopups) {
    prompts.answers.push_back(PromptAnswer::No);
    commands->FactoryResetButtonClick();

    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, "Are you sure you wish to reset your device?\r\nYour current "
                                     "configuration will be lost.");
    EXPECT_EQ(prompts.shown[0].caption, "Factory reset");
    EXPECT_EQ(prompts.shown[0].icon, PromptIcon::Warning);
    EXPECT_EQ(prompts.shown[0].buttons, PromptButtons::YesNo);
    EXPECT_TRUE(unit->Writes().empty());
}

TEST_F(DeviceCommandsTest, FactoryResetWithoutPopupsWritesAndReturnsThePortToFactory) {
    form.ShowPopups = false;
    setup.SelectSpeedIndex(6);
    setup.SelectDataBitsIndex(1);
    setup.SelectParityIndex(2);
    setup.SelectStopBitsIndex(1);
    setup.SelectProtocol(modbus::kFramingAscii);
    // The worker stays on the unit's line: the setup here is not bound to it.
    commands->FactoryResetButtonClick();

    EXPECT_EQ(Message("Are you sure you wish to reset your device?\r\nYour current "
                      "configuration will be lost."),
              nullptr);
    const auto writes = unit->Writes();
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes[0].reg, 25);
    EXPECT_EQ(writes[0].values, std::vector<uint16_t>{0x5AF0});
    EXPECT_EQ(unit->Counters().factoryResets, 1u);
    EXPECT_EQ(pump.waits, std::vector<std::chrono::milliseconds>{kCommandSettleTime});
    EXPECT_EQ(setup.GetSpeedIndex(), 3);
    EXPECT_EQ(setup.GetDataBitsIndex(), 0);
    EXPECT_EQ(setup.GetParityIndex(), 0);
    EXPECT_EQ(setup.GetStopBitsIndex(), 0);
    EXPECT_EQ(setup.GetProtocol(), 1);
    EXPECT_EQ(device.SerialNumber, static_cast<int32_t>(kSerial));
    EXPECT_TRUE(form.enabled);
}

TEST_F(DeviceCommandsTest, Calibration) {
    struct Case {
        const char* input;
        const char* edit;        // the edit afterwards
        int written;             // the register value sent, -1: nothing
        const char* message;     // "" none
    } cases[] = {
        {"0100", "100", -1, ""},
        {"+5", "5", -1, ""},
        {"-5", "-5", 65531, ""},
        {"9999", "9999", 9999, ""},
        {"0", "0", 0, ""},
        {"12345", "start", -1, "Please enter a value below 9999."},
        {"", "start", -1, "Please enter a value below 9999."},
        {"12a", "start", -1, "Please enter a valid integer value."},
        {"-", "start", -1, "Please enter a valid integer value."},
        {" 12", "start", -1, "Please enter a valid integer value."},
        {"0x1F", "start", -1, "Please enter a valid integer value."},
    };
    struct Button {
        void (TDeviceCommands::*click)();
        const char* edit;
        const char* prompt;
        uint16_t reg;
    } buttons[] = {
        {&TDeviceCommands::CalTuneMinClick, "AnalogTuneMinEdit", "Calibration value Tune Min:",
         120},
        {&TDeviceCommands::CalTuneMaxClick, "AnalogTuneMaxEdit", "Calibration value Tune Max:",
         122},
    };
    for (const Button& b : buttons)
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(b.edit) + " '" + c.input + "'");
            form.SetText(b.edit, "start");
            unit->ClearWrites();
            prompts.shown.clear();
            prompts.inputs.push_back(c.input);
            ((*commands).*b.click)();

            ASSERT_FALSE(prompts.shown.empty());
            EXPECT_EQ(prompts.shown[0].kind, Kind::Input);
            EXPECT_EQ(prompts.shown[0].caption, "Please enter value");
            EXPECT_EQ(prompts.shown[0].text, b.prompt);
            EXPECT_EQ(form[b.edit].text, c.edit);
            const auto writes = unit->Writes();
            if (c.written < 0) {
                EXPECT_TRUE(writes.empty());
            } else {
                ASSERT_EQ(writes.size(), 1u);
                EXPECT_EQ(writes[0].reg, b.reg);
                EXPECT_EQ(writes[0].values, std::vector<uint16_t>{uint16_t(c.written)});
            }
            if (*c.message) {
                ASSERT_EQ(prompts.shown.size(), 2u);
                EXPECT_EQ(prompts.shown[1].text, c.message);
                EXPECT_EQ(prompts.shown[1].caption, "Invalid input");
                EXPECT_EQ(prompts.shown[1].icon, PromptIcon::Error);
            } else {
                EXPECT_EQ(prompts.shown.size(), 1u);
            }
        }
}

TEST_F(DeviceCommandsTest, CalibrationCancelledCountsAsEmpty) {
    commands->CalTuneMinClick(); // no input queued: the box was cancelled
    ASSERT_EQ(prompts.shown.size(), 2u);
    EXPECT_EQ(prompts.shown[1].text, "Please enter a value below 9999.");
}

TEST_F(DeviceCommandsTest, CalibrationWriteFailure) {
    struct Case {
        void (TDeviceCommands::*click)();
        int reg;
        const char* text;
    } cases[] = {
        {&TDeviceCommands::CalTuneMinClick, 120,
         "Failed to write Analog Output - Tune Min to device."},
        {&TDeviceCommands::CalTuneMaxClick, 122,
         "Failed to write Analog Output - Tune Max to device."},
    };
    for (const Case& c : cases) {
        prompts.shown.clear();
        link->InjectFault(SilenceAt(c.reg));
        prompts.inputs.push_back("42");
        // The window is not disabled for the calibration write.
        form.enabled = true;
        ((*commands).*c.click)();

        ASSERT_EQ(prompts.shown.size(), 2u);
        EXPECT_EQ(prompts.shown[1].text, c.text);
        EXPECT_EQ(prompts.shown[1].caption, "Write error");
        EXPECT_EQ(prompts.shown[1].icon, PromptIcon::Error);
        EXPECT_EQ(prompts.shown[1].buttons, PromptButtons::YesNo);
    }
}

TEST_F(DeviceCommandsTest, TimeButtonToggles) {
    ASSERT_EQ(form["btnUpdateTime"].caption, "Reset time");
    EXPECT_FALSE(form.TimeEdited);

    commands->btnUpdateTimeClick();
    EXPECT_TRUE(form.TimeEdited);
    EXPECT_EQ(form["pickTime"].time, (editor::TimeOfDay{0, 0, 0}));
    EXPECT_TRUE(form["pickTime"].enabled);
    EXPECT_EQ(form["btnUpdateTime"].caption, "Use local time");

    commands->btnUpdateTimeClick();
    EXPECT_TRUE(form.TimeEdited);
    EXPECT_EQ(form["pickTime"].time, (editor::TimeOfDay{9, 7, 5}));
    EXPECT_FALSE(form["pickTime"].enabled);
    EXPECT_EQ(form["btnUpdateTime"].caption, "Reset time");
    EXPECT_TRUE(unit->Writes().empty());
}

TEST_F(DeviceCommandsTest, DateButtonTakesToday) {
    commands->btnUpdateDateClick();
    EXPECT_EQ(form["pickDate"].date, (editor::CalendarDate{2026, 3, 4}));
}

} // namespace
