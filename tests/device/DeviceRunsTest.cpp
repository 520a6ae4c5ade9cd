// Identification, the serial-number check, the failure logs and Read device as whole runs
// against the simulated unit.

#include "tests/device/DeviceFixture.h"
#include "tests/device/RequestTrace.h"

#include <mutex>

using namespace vantrel;
using namespace vantrel::device;
using namespace vantrel::device::test;
using host::PromptAnswer;
using host::PromptButtons;
using host::PromptIcon;

namespace {

// The registers Read device asks for on a unit of the P page set with the Linearisation
// and (optionally) the data-logging page, after the serial-number check.
std::vector<int> PReadOrder(bool autoConversion, bool dataBits, bool logger, bool linearisation) {
    std::vector<int> regs = {2,  14, 1051, 32, 33, 37, 34, 47, 48, 49, 50,
                             54, 51, 55,   56, 64, 80, 67, 58, 59, 96, 1051};
    if (autoConversion)
        regs.push_back(1050);
    regs.insert(regs.end(), {1049, 1046});
    if (linearisation) {
        regs.insert(regs.end(), {1038, 1039});
        for (int i = 0; i < 15; ++i)
            regs.insert(regs.end(), {13, 1024});
    }
    regs.insert(regs.end(),
                {112, 113, 116, 119, 120, 122, 127, 128, 133, 130, 146, 144, 145, 1272});
    if (dataBits)
        regs.push_back(1271);
    if (logger)
        regs.insert(regs.end(), {576, 577, 578, 580, 176, 179});
    regs.insert(regs.end(), {160, 173, 162, 165, 168, 139, 170});
    return regs;
}

class DeviceRuns : public DeviceTest {
protected:
    void StartUnit(const sim::UnitOptions& options) {
        Start(options);
        requests.Clear();
        requests.Attach(*link);
    }

    void Known(const char* model, char variant, bool logger = false) {
        Identified(model, variant, logger);
        requests.Clear();
    }

    void ExpectRunEnded() {
        EXPECT_TRUE(form.enabled);
        EXPECT_FALSE(form.Updating);
        EXPECT_FALSE(form.BulkLoading);
        EXPECT_FALSE(form.TransferErrorLogged);
        EXPECT_EQ(form.ActivePageName(), "ConfigurationSheet");
        for (const editor::Control& c : form.Controls())
            EXPECT_FALSE(c.highlighted) << c.name;
    }

    Requests requests;
};

} // namespace

TEST_F(DeviceRuns, IdentificationOfEachModel) {
    struct Case {
        sim::Model model;
        bool logger;
        const char* name;
        bool accepted; // only the models of the model list are taken without asking
    };
    const Case cases[] = {
        {sim::Model::R210P, false, "R210-P", false},
        {sim::Model::R210A, false, "R210-A", false},
        {sim::Model::R210U, false, "R210-U", false},
        {sim::Model::R210PHX, true, "R210-P-HX", false},
        {sim::Model::R212A, false, "R212-A", false},
        {sim::Model::R212P, false, "R212-P", false},
        {sim::Model::Q4200, true, "Q4200", true},
        {sim::Model::Q4200, false, "R2121-P", false},
        {sim::Model::N0456, false, "R456-P", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        prompts.shown.clear();
        sim::UnitOptions options = Unit(c.model, c.logger);
        options.serial = 12345;
        StartUnit(options);
        prompts.answers = {PromptAnswer::No}; // no read after the found text
        EXPECT_EQ(access->IdentifyDevice(), c.accepted);
        EXPECT_EQ(device.Model, c.name);
        EXPECT_EQ(device.HasDataLog, c.logger);
        EXPECT_EQ(device.Version(), 30105);
        ASSERT_EQ(prompts.shown.size(), 1u);
        const auto& shown = prompts.shown[0];
        EXPECT_EQ(shown.caption, "Connect Device");
        if (c.accepted) {
            EXPECT_EQ(shown.text, "Found a device!\r\n\r\nSerialnumber:\t0012345\r\nModel:\t\tQ4200"
                                  "\r\nVersion:\t\t03:01:05\r\n\r\nRead current configuration from "
                                  "device?");
            EXPECT_EQ(shown.icon, PromptIcon::Information);
            EXPECT_EQ(shown.buttons, PromptButtons::YesNo);
            EXPECT_EQ(device.SerialNumber, 12345);
            EXPECT_EQ(form.statusPanels[0], " Current device: 0012345/Q4200/03:01:05");
            EXPECT_EQ(form.ModelVersionKey, "Q4200_030105");
            EXPECT_EQ(form["ModelBox"].itemIndex, 0);
            EXPECT_EQ(form["ConnectButton"].caption, "Release device");
        } else {
            const std::string code = std::to_string(sim::ModelCode(c.model));
            EXPECT_EQ(shown.text,
                      "A device with an invalid modelnumber was detected.\r\n"
                      "\r\nSerialnumber:\t0012345\r\nModel:\t\t" +
                          code +
                          "\r\nVersion:\t\t03:01:05\r\n\r\nTo configure it as one of "
                          "the known models anyway, set Show=0 in section [Popups] of " +
                          form.SettingsFileName + " and connect again.");
            EXPECT_EQ(shown.icon, PromptIcon::Error);
            EXPECT_EQ(device.SerialNumber, -1);
            EXPECT_EQ(form.Focused(), "OfflineButton");
            EXPECT_EQ(form.statusPanels[1], " Status: no device connected");
            EXPECT_EQ(form["ModelBox"].itemIndex, -1);
        }
        // Only the identification registers were asked, the read did not start.
        EXPECT_EQ(requests.Registers(), (std::vector<int>{165, 160, 173, 162, 8208}));
    }
}

TEST_F(DeviceRuns, ModelCodeEighteenAndAFailingVersionRead) {
    StartUnit(Unit(sim::Model::R210P));
    ASSERT_TRUE(unit->SetRegister(160, 18));
    EXPECT_FALSE(access->IdentifyDevice());
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(device.Model, "R018-P");
    EXPECT_NE(prompts.shown[0].text.find("\r\nModel:\t\t18\r\n"), std::string::npos)
        << "the model code in plain decimal";

    prompts.shown.clear();
    requests.FailAt(3, 162, Exception(2));
    EXPECT_FALSE(access->IdentifyDevice());
    EXPECT_EQ(device.SerialNumber, -1);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, "There was no device found.");
    EXPECT_EQ(prompts.shown[0].icon, PromptIcon::Error);
    EXPECT_EQ(form.Focused(), "ConnectButton");
    EXPECT_EQ(form.statusPanels[0], " Current Device: no device connected");
}

TEST_F(DeviceRuns, ConfigureAsWithPopupsOff) {
    StartUnit(Unit(sim::Model::R212P));
    form.ShowPopups = false;
    struct Case {
        std::vector<int> picks; // -1: "Connect" with nothing chosen
        bool accepted;
    };
    const Case cases[] = {{{-1, 5}, false}, {{4}, true}};
    for (const Case& c : cases) {
        prompts.shown.clear();
        device.SerialNumber = -1;
        int shownDialogs = 0;
        access->runConnectionForm = [&](TConnectionForm& dialog) {
            ++shownDialogs;
            EXPECT_EQ(dialog.caption, "ConnectionForm");
            EXPECT_EQ(dialog.lblMessage.rfind("A device with an invalid modelnumber", 0), 0u);
            EXPECT_FALSE(dialog.btnRetryConnectVisible);
            for (int pick : c.picks) {
                dialog.SelectUnit(pick);
                dialog.btnConnectUnitAsClick();
                EXPECT_EQ(dialog.visible, pick < 0);
            }
        };
        const bool accepted = access->IdentifyDevice();
        EXPECT_EQ(shownDialogs, 1);
        EXPECT_EQ(accepted, c.accepted);
        if (c.picks.front() < 0) {
            ASSERT_GE(prompts.shown.size(), 1u);
            EXPECT_EQ(prompts.shown[0].text, "You have not selected a device for configuration.");
            EXPECT_EQ(prompts.shown[0].caption, "Please select device");
        }
        if (c.accepted) {
            // Accepted with popups off: read at once, without the found question.
            EXPECT_EQ(device.Model, "R212-P");
            EXPECT_EQ(device.Variant, 'P');
            EXPECT_EQ(form["TotalKFactorEdit"].text, "123456");
            EXPECT_EQ(form.statusPanels[1], " Status: values were read correctly from the device.");
            EXPECT_TRUE(prompts.shown.empty());
        } else {
            EXPECT_EQ(device.SerialNumber, -1);
        }
    }
}

TEST_F(DeviceRuns, ConnectAndReleaseAndTheSerialNumberCheck) {
    StartUnit(Unit(sim::Model::Q4200, true));
    prompts.answers = {PromptAnswer::No};
    access->ConnectButtonClick();
    EXPECT_TRUE(form.enabled);
    EXPECT_GT(device.SerialNumber, 0);

    const std::pair<int32_t, SameDevice> checks[] = {{1234567, SameDevice::Same},
                                                     {16777215, SameDevice::Different}};
    for (const auto& [expected, result] : checks) {
        prompts.shown.clear();
        EXPECT_EQ(access->CheckSameDevice(expected, "Refresh"), result);
        if (result == SameDevice::Different) {
            ASSERT_EQ(prompts.shown.size(), 1u);
            EXPECT_EQ(
                prompts.shown[0].text,
                "Found a device with a different serialnumber!\r\nExpected: 16777215 Found: "
                "1234567\r\nPlease go to the configuration page to identify this new device.");
            EXPECT_EQ(prompts.shown[0].caption, "Refresh");
        }
    }
    // A different unit: Read device reads nothing and ends on the HOME page.
    device.SerialNumber = 7;
    prompts.shown.clear();
    requests.Clear();
    form.SelectPage(form.PageIndex("TotalSheet"));
    access->DownloadButtonClick();
    EXPECT_EQ(requests.Registers(), (std::vector<int>{2}));
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].caption, "Read Device");
    ExpectRunEnded();

    device.SerialNumber = 1234567;
    access->ConnectButtonClick(); // release
    EXPECT_EQ(device.SerialNumber, -1);
    EXPECT_EQ(device.Model, "");
    EXPECT_EQ(device.Version(), 0);
    EXPECT_EQ(form.statusPanels[0], " Current Device: no device connected");
    EXPECT_EQ(form["ConnectButton"].caption, "Connect device");
    EXPECT_EQ(form.ExpectedSerialNumber, 7) << "left as the last read set it";

    prompts.shown.clear();
    access->DownloadButtonClick();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, "No device was found.");
    EXPECT_EQ(prompts.shown[0].caption, "Error");
    EXPECT_FALSE(form.Updating);
}

TEST_F(DeviceRuns, ReadDeviceOfPUnitsInHandAndAutoVolume) {
    struct Case {
        int conversion;
        bool logger;
    };
    for (const Case c : {Case{0, true}, Case{1, false}, Case{0, false}}) {
        SCOPED_TRACE(c.conversion);
        TearDown();
        prompts.shown.clear();
        StartUnit(Unit(sim::Model::Q4200, c.logger));
        ASSERT_TRUE(unit->SetValue(1051, 1, static_cast<uint64_t>(c.conversion)));
        ASSERT_TRUE(unit->SetValue(1050, 1, 2));
        if (c.logger) {
            ASSERT_TRUE(unit->SetValue(578, 2, 830));
        }
        ASSERT_TRUE(unit->SetValue(168, 2, 42));
        ASSERT_TRUE(unit->SetLinearisation(2, 1000123, 4567));
        Known("Q4200", 'P', c.logger);
        const bool dataBits = form["CommunicDatabitsGroup"].enabled;
        access->DownloadButtonClick();

        EXPECT_EQ(requests.Registers(), PReadOrder(c.conversion != 0, dataBits, c.logger, true));
        EXPECT_EQ(form["FlowmeterConversionGroup"].itemIndex, c.conversion);
        EXPECT_EQ(rules.ConfirmedConversionMode(), c.conversion);
        if (c.conversion != 0) {
            EXPECT_EQ(form["FlowmeterUnitGroup"].itemIndex, 2);
        }
        EXPECT_EQ(form["TotalKFactorEdit"].text, "123456");
        EXPECT_EQ(form["FlowmeterKFactorEdit"].text, "50000");
        EXPECT_EQ(form["FrequencyEdit3"].text, "4567");
        EXPECT_EQ(form["FactorEdit3"].text, "1000123");
        EXPECT_EQ(form["LinearisationFactorGroup"].itemIndex, 0);
        EXPECT_EQ(form["OthersModelEdit"].text, "Q4200");
        EXPECT_EQ(form["OthersSerialEdit"].text, "1234567");
        EXPECT_EQ(form["OthersPasswordEdit"].text, "0042");
        if (c.logger) {
            EXPECT_EQ(form["DataLogDaily1"].time, (editor::TimeOfDay{8, 30, 0}));
            EXPECT_FALSE(form["pickTime"].enabled);
        }
        ASSERT_EQ(prompts.shown.size(), 1u);
        EXPECT_EQ(prompts.shown[0].text, "Read out all values correctly.");
        EXPECT_EQ(prompts.shown[0].caption, "Read Device");
        EXPECT_EQ(form.statusPanels[1], " Status: values were read correctly from the device.");
        EXPECT_EQ(form.ExpectedSerialNumber, 1234567);
        EXPECT_EQ(form.Focused(), "DownloadButton");
        EXPECT_TRUE(LogFiles().empty()) << "no failure, no log";
        ExpectRunEnded();
    }
}

TEST_F(DeviceRuns, ReadDeviceOfAnAUnitFillsTheAPagesOnly) {
    StartUnit(Unit(sim::Model::R212A));
    ASSERT_TRUE(unit->SetValue(99, 1, 7));
    Known("R212-A", 'A');
    form.SetText("TotalKFactorEdit", "999");
    form.SetText("FlowrateKFactorEdit", "888");
    access->DownloadButtonClick();
    EXPECT_EQ(form["TotalASpanEdit"].text, "123456");
    EXPECT_EQ(form["FlowrateASpanEdit"].text, "10000");
    EXPECT_EQ(form["FlowmeterAFilterEdit"].text, "7");
    EXPECT_EQ(form["TotalKFactorEdit"].text, "999");
    EXPECT_EQ(form["FlowrateKFactorEdit"].text, "888");
    const std::vector<int> regs = requests.Registers();
    EXPECT_EQ(std::count(regs.begin(), regs.end(), 1051), 0) << "no Flowmeter page";
    EXPECT_EQ(std::count(regs.begin(), regs.end(), 1024), 15);
    EXPECT_EQ(std::count(regs.begin(), regs.end(), 103), 1);
    EXPECT_EQ(prompts.Texts(), (std::vector<std::string>{"Read out all values correctly."}));
    ExpectRunEnded();
}

TEST_F(DeviceRuns, AFailureAnsweredYesOrNo) {
    for (const PromptAnswer answer : {PromptAnswer::Yes, PromptAnswer::No}) {
        SCOPED_TRACE(answer == PromptAnswer::Yes ? "Yes" : "No");
        TearDown();
        prompts.shown.clear();
        StartUnit(Unit(sim::Model::R212P));
        Known("R212-P", 'P');
        form.SetItemIndex("TotalDecimalsGroup", 3);
        form.SetText("FlowrateCutoffEdit", "777");
        requests.FailAt(3, 33, Exception(2));
        prompts.answers = {answer};
        access->DownloadButtonClick();

        ASSERT_GE(prompts.shown.size(), 2u);
        EXPECT_EQ(prompts.shown[0].text,
                  "Unable to read Total - Decimals from device. Do you wish to continue the "
                  "operation?\nErrorcode: 2, Illegal data address");
        EXPECT_EQ(prompts.shown[0].caption, "Communication error");
        EXPECT_EQ(prompts.shown[0].buttons, PromptButtons::YesNo);
        ASSERT_EQ(LogFiles(), (std::vector<std::string>{"ReadLog20260304-090705.txt"}));
        EXPECT_EQ(LogLines("ReadLog20260304-090705.txt"),
                  (std::vector<std::string>{"Model ID: R212-P_030105",
                                            "Tool Version: Version: 1.6 (build: 1.0)",
                                            "Date: 2026-03-04 09:07:05", "",
                                            "Total - Decimals, Value: 0, Error: 2, Illegal data "
                                            "address"}));
        if (answer == PromptAnswer::Yes) {
            EXPECT_EQ(form["TotalDecimalsGroup"].itemIndex, 0);
            EXPECT_EQ(form["FlowrateCutoffEdit"].text, "100");
            EXPECT_EQ(prompts.shown.back().text,
                      "Some values were not read correctly. Please check the ReadLog: " + logDir +
                          "/ReadLog20260304-090705.txt")
                << "the message names the log it points to";
            EXPECT_EQ(form.statusPanels[1], " Status: values were read correctly from the device.");
        } else {
            EXPECT_EQ(form["TotalDecimalsGroup"].itemIndex, 3) << "unchanged after an abort";
            EXPECT_EQ(form["FlowrateCutoffEdit"].text, "777");
            EXPECT_EQ(prompts.Texts().back(),
                      "Error during communication. Please retry the operation.");
            EXPECT_EQ(prompts.shown.back().icon, PromptIcon::Error);
            EXPECT_EQ(prompts.shown.size(), 2u) << "no success message";
            EXPECT_EQ(form.statusPanels[1], " Status: values were not read correctly from the "
                                            "device. Please re-read the values.");
        }
        ExpectRunEnded();
    }
}

// A log folder that is not there does not stop the run; the message that would point at the
// log says instead why there is none, naming the file.
TEST_F(DeviceRuns, ALogThatCannotBeWrittenIsNamedAtTheRunsEnd) {
    StartUnit(Unit(sim::Model::R212P));
    Known("R212-P", 'P');
    access->logFolder = logDir + "/missing";
    requests.FailAt(3, 33, Exception(2));
    prompts.answers = {PromptAnswer::Yes};
    access->DownloadButtonClick();
    EXPECT_EQ(prompts.shown.back().text,
              "Some values were not read correctly. Please check the ReadLog. Unable to write " +
                  logDir + "/missing/ReadLog20260304-090705.txt: No such file or directory.");
    EXPECT_EQ(form.statusPanels[1], " Status: values were read correctly from the device.");
    ExpectRunEnded();
}

TEST_F(DeviceRuns, PopupsOffLogsEveryFailureAndCompletes) {
    StartUnit(Unit(sim::Model::R212P));
    Known("R212-P", 'P');
    form.ShowPopups = false;
    requests.FailAt(3, 33, Exception(3));
    // The thirteenth entry, D, is number 12 on the wire.
    requests.FailAt(3, 1024, sim::Fault{sim::FaultKind::Silence}, 12);
    requests.FailAt(3, 139, Exception(5));
    access->DownloadButtonClick();
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(form.statusPanels[1], " Status: values were read correctly from the device.");
    const std::vector<std::string> lines = LogLines("ReadLog20260304-090705.txt");
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[4], "Total - Decimals, Value: 0, Error: 3, Illegal data value ");
    // A silent unit shows the code of the last exception answer received.
    EXPECT_EQ(lines[5], "Linearization - Frequencies D, Value: 12, Error: 3, Illegal data value ");
    EXPECT_EQ(lines[6], "Others - Keylock, Value: 0, Error: 5");
    ExpectRunEnded();
}

TEST_F(DeviceRuns, AUnitUnpluggedMidReadEndsTheRunWithOneMessage) {
    StartUnit(Unit(sim::Model::R212P));
    Known("R212-P", 'P');
    form.SetText("PulseAmountEdit", "4321");
    const std::string path = link->SlavePath();
    sim::Fault gone;
    gone.kind = sim::FaultKind::Disconnect;
    requests.FailAt(3, 64, gone);
    prompts.answers = {PromptAnswer::No};
    access->DownloadButtonClick();
    // Nobody is asked whether to go on with a port that is not there, and nothing else is
    // said about it.
    ASSERT_EQ(prompts.Texts(),
              (std::vector<std::string>{"The port " + path +
                                        " has gone away. Check the converter's cable, then Port "
                                        "Setup."}));
    EXPECT_EQ(
        form.statusPanels[1],
        " Status: values were not read correctly from the device. Please re-read the values.");
    EXPECT_EQ(form["PulseAmountEdit"].text, "4321");
    EXPECT_EQ(worker->State(), modbus::PortClosed);
    const std::vector<std::string> lines = LogLines("ReadLog20260304-090705.txt");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[4].rfind("Display - Function, Value: 0", 0), 0u);
    ExpectRunEnded();
}

TEST_F(DeviceRuns, GarbageAnswersFailEachTransactionCleanly) {
    const sim::FaultKind kinds[] = {sim::FaultKind::BadChecksum, sim::FaultKind::WrongAddress,
                                    sim::FaultKind::DropLastByte, sim::FaultKind::Truncate};
    for (const sim::FaultKind kind : kinds) {
        SCOPED_TRACE(static_cast<int>(kind));
        TearDown();
        prompts.shown.clear();
        StartUnit(Unit(sim::Model::R212P));
        Known("R212-P", 'P');
        form.ShowPopups = false;
        form.SetText("OthersTagEdit", "55");
        // The serial-number check passes; everything from the first parameter on comes back
        // spoilt.
        sim::Fault spoilt;
        spoilt.kind = kind;
        spoilt.count = sim::kAlways;
        requests.FailAt(3, 14, spoilt);
        access->DownloadButtonClick();
        EXPECT_TRUE(prompts.shown.empty());
        const std::vector<std::string> lines = LogLines("ReadLog20260304-090705.txt");
        const std::vector<int> regs = requests.Registers();
        // One line per parameter; a linearisation entry whose index write failed is not read.
        EXPECT_EQ(std::count(regs.begin(), regs.end(), 1024), 0);
        EXPECT_EQ(lines.size(), 4u + regs.size() - 1);
        EXPECT_EQ(form["OthersTagEdit"].text, "0") << "continue puts 0 into the control";
        ExpectRunEnded();
    }
}

TEST_F(DeviceRuns, IdentificationAnsweredYesReadsAUnitWithADataLogger) {
    StartUnit(Unit(sim::Model::Q4200, true));
    prompts.answers = {PromptAnswer::Yes};
    access->ConnectButtonClick();
    ASSERT_EQ(prompts.shown.size(), 2u);
    EXPECT_EQ(prompts.shown[1].text, "Read out all values correctly.");
    EXPECT_TRUE(form.PageNamed("LogParamSheet").visible);
    EXPECT_EQ(form["DataLogIntervalGroup"].itemIndex, 10) << "60 is beyond the last choice";
    EXPECT_EQ(form["OthersVersionEdit"].text, "03:01:05") << "the whole of 162-163";
    EXPECT_EQ(form["ConnectButton"].caption, "Release device");
    ExpectRunEnded();
}

TEST_F(DeviceRuns, OneParameterWrittenByItsRow) {
    StartUnit(Unit(sim::Model::R212P));
    EXPECT_EQ(access->WriteParameter(*FindParameter("TOTAL/KFACTOR"), 1234567), 0);
    EXPECT_EQ(access->WriteParameter(*FindParameter("DISPLAY/GRAPHSPAN"), 4000000000ll), 0);
    form.SetText("FlowratePulsesEdit", "25");
    EXPECT_EQ(access->WriteControlValue("FlowratePulsesEdit", 1, 55), 0);
    form.SetItemIndex("TotalDecimalsGroup", 2);
    EXPECT_EQ(access->WriteControlValue("TotalDecimalsGroup", 1, 33), 0);
    // What cannot go to the unit as it stands is not sent at all.
    const std::pair<const char*, const char*> refused[] = {
        {"OthersPasswordEdit", "12a4"}, {"OthersPasswordEdit", ""}, {"FlowratePulsesEdit", "256"}};
    for (const auto& [control, text] : refused) {
        form.SetText(control, text);
        EXPECT_EQ(access->WriteControlValue(control, 1, 55), modbus::kTransactionNotStarted)
            << text;
    }
    EXPECT_EQ(access->WriteControlValue("pickTime", 3, 176), modbus::kTransactionNotStarted);
    uint64_t value = 0;
    EXPECT_EQ(access->WriteLinearisationEntry(2, LinearisationWindow(1000500, 1234)), 0);
    EXPECT_EQ(access->ReadLinearisationEntry(2, value), 0);
    EXPECT_EQ(value, LinearisationWindow(1000500, 1234));

    std::vector<std::pair<int, std::vector<uint16_t>>> writes;
    for (const sim::WriteRecord& w : unit->Writes())
        writes.emplace_back(w.reg, w.values);
    const std::vector<std::pair<int, std::vector<uint16_t>>> expected = {
        {34, {0x0012, 0xD687}},
        {59, {0xEE6B, 0x2800}},
        {55, {25}},
        {33, {2}},
        {13, {2}},
        {1024, {0x0F44, 0x3400, 0x04D2}},
        {13, {2}}};
    EXPECT_EQ(writes, expected);
}

TEST_F(DeviceRuns, TheCallersOfTheSerialNumberCheck) {
    StartUnit(Unit(sim::Model::R212P));
    struct Case {
        const char* run;
        int32_t expected; // in the serial the caller compares with
        std::vector<std::string> texts;
        const char* caption;
        bool going;
        bool home;
    };
    const std::string other = "Found a device with a different serialnumber!\r\nExpected: 99 "
                              "Found: 1234567\r\nPlease go to the configuration page to identify "
                              "this new device.";
    const Case cases[] = {
        {"Read device", -1, {"No device was found."}, "Error", false, false},
        {"Write device", -1, {"No device found."}, "Write Device", false, false},
        {"Refresh", -1, {}, "", false, false},
        {"Clear Total", 99, {other}, "Clear Total", false, false},
        {"Write device", 99, {other}, "Write Device", false, true},
        {"Read log data", 99, {other}, "Write Device", false, true},
        {"Refresh", 1234567, {}, "", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.run) + " " + std::to_string(c.expected));
        prompts.shown.clear();
        const SameDeviceCaller& caller = SameDeviceCallerFor(c.run);
        ASSERT_STREQ(caller.run, c.run);
        (caller.recordSerial ? device.SerialNumber : form.ExpectedSerialNumber) = c.expected;
        form.SelectPage(form.PageIndex("OthersSheet"));
        EXPECT_EQ(access->CheckBeforeRun(caller), c.going);
        EXPECT_EQ(form.enabled, !c.going);
        EXPECT_EQ(prompts.Texts(), c.texts);
        if (!c.texts.empty()) {
            EXPECT_EQ(prompts.shown[0].caption, c.caption);
            EXPECT_EQ(prompts.shown[0].icon, PromptIcon::Error);
        }
        EXPECT_EQ(form.ActivePageName(), c.home ? "ConfigurationSheet" : "OthersSheet");
        form.enabled = true;
    }
    // A unit that does not answer the check.
    prompts.shown.clear();
    link->InjectFault(sim::Fault{sim::FaultKind::Silence});
    form.ExpectedSerialNumber = 1234567;
    EXPECT_FALSE(access->CheckBeforeRun(SameDeviceCallerFor("Read device")));
    EXPECT_EQ(prompts.Texts(), (std::vector<std::string>{"Unable to communicate with device."}));
    EXPECT_EQ(prompts.shown[0].caption, "Communication error");
    EXPECT_TRUE(form.enabled);
}
