// Write device as whole runs against the simulated unit: the unit is identified and read
// first, as a user would, then the editor's values go back.

#include "tests/device/DeviceFixture.h"
#include "tests/device/RequestTrace.h"

#include "editor/Linearisation.h"
#include "modbus/PortSetup.h"
#include "tests/model/ModelSupport.h"

using namespace vantrel;
using namespace vantrel::device;
using namespace vantrel::device::test;
using host::PromptAnswer;
using host::PromptButtons;
using host::PromptIcon;

namespace {

class WriteRuns : public DeviceTest {
protected:
    // A unit on the line, identified and read with popups off; the writes it saw cleared.
    void ReadUnit(const sim::UnitOptions& options, const char* model, char variant = 'P') {
        Start(options);
        requests.Attach(*link);
        form.ShowPopups = false;
        Identified(model, variant, unit->HasLogger());
        access->DownloadButtonClick();
        ASSERT_EQ(form.statusPanels[1], " Status: values were read correctly from the device.");
        form.ShowPopups = true;
        prompts.shown.clear();
        unit->ClearWrites();
        requests.Clear();
    }

    std::vector<int> WrittenRegisters() const {
        std::vector<int> regs;
        for (const sim::WriteRecord& w : unit->Writes())
            regs.push_back(w.reg);
        return regs;
    }

    // The values written to a register, in order, each as one number.
    std::vector<uint64_t> WritesTo(int reg) const {
        std::vector<uint64_t> values;
        for (const sim::WriteRecord& w : unit->Writes()) {
            if (w.reg != reg)
                continue;
            uint64_t v = 0;
            for (uint16_t word : w.values)
                v = v << 16 | word;
            values.push_back(v);
        }
        return values;
    }

    void ExpectRunEnded(const std::string& page) {
        EXPECT_TRUE(form.enabled);
        EXPECT_FALSE(form.Updating);
        EXPECT_FALSE(form.TransferErrorLogged);
        EXPECT_EQ(form.ActivePageName(), page);
        EXPECT_EQ(form.progressTotal, 0);
        for (const editor::Page& p : form.Pages())
            EXPECT_TRUE(!p.highlighted || p.name == page) << p.name;
        for (const editor::Control& c : form.Controls())
            EXPECT_FALSE(c.highlighted) << c.name;
    }

    Requests requests;
};

// What a Q4200 (an R212-P without the data-logging page) receives, in order, past the serial-number
// check.
std::vector<int> QWriteOrder(bool hand, bool logger, bool timeEdited, bool password,
                             bool dataBits) {
    std::vector<int> regs = {14, 1051, 32, 33};
    if (hand)
        regs.insert(regs.end(), {34, 37, 34});
    regs.insert(regs.end(), {47, 48, 49, 50});
    if (hand)
        regs.insert(regs.end(), {51, 54, 51});
    regs.insert(regs.end(), {55, 56, 64, 80, 67, 58, 59, 96});
    if (!hand)
        regs.insert(regs.end(), {1050, 1046, 1049, 1046});
    regs.insert(regs.end(), {1038, 1039});
    for (int i = 0; i < 15; ++i)
        regs.insert(regs.end(), {13, 1024});
    regs.insert(regs.end(), {112, 113, 116, 119, 127, 128, 133, 130});
    if (logger) {
        regs.insert(regs.end(), {576, 577, 578, 580});
        if (timeEdited)
            regs.push_back(176);
        regs.push_back(179);
    }
    if (password)
        regs.push_back(168);
    regs.insert(regs.end(), {139, 170, 144, 145, 146});
    if (dataBits)
        regs.push_back(1271);
    regs.push_back(1272);
    return regs;
}

} // namespace

TEST_F(WriteRuns, ConversionModesDecideTheKFactorsAndThePlaceholderComesFirst) {
    struct Case {
        int conversion;
        bool logger;
    };
    for (const Case c : {Case{0, true}, Case{1, false}}) {
        SCOPED_TRACE(c.conversion);
        TearDown();
        if (c.logger)
            ReadUnit(Unit(sim::Model::Q4200, true), "Q4200");
        else
            ReadUnit(Unit(sim::Model::R212P), "R212-P");
        form.ShowPopups = false;
        form.UserSelect("FlowmeterConversionGroup", c.conversion);
        form.SetText("TotalKFactorEdit", "2345678");
        form.SetText("FlowmeterKFactorEdit", "765432");
        form.SetText("FrequencyEdit2", "1500");
        const int startPage = form.PageIndex("DisplaySheet");
        form.SelectPage(startPage);
        const bool dataBits = form["CommunicDatabitsGroup"].enabled;
        std::vector<std::string> scrolled;
        form.ensureVisible = [&](std::string_view control) { scrolled.emplace_back(control); };
        access->UploadButtonClick();
        form.ensureVisible = nullptr;

        ASSERT_FALSE(requests.Heard().empty()) << testing::PrintToString(prompts.Texts());
        EXPECT_EQ(requests.Registers().front(), 2) << "the serial-number check comes first";
        // The check after writing reads the table back entry by entry, and writes nothing
        // else.
        std::vector<int> order = QWriteOrder(c.conversion == 0, c.logger, false,
                                             !form["OthersPasswordEdit"].text.empty(), dataBits);
        order.insert(order.end(), editor::kLinearisationRows, 13);
        EXPECT_EQ(WrittenRegisters(), order);
        if (c.conversion == 0) {
            EXPECT_EQ(WritesTo(34), (std::vector<uint64_t>{10000, 2345678}));
        } else {
            EXPECT_EQ(WritesTo(1046), (std::vector<uint64_t>{10000, 765432}));
        }
        EXPECT_EQ(unit->LinearisationFrequency(1), 1500u);
        std::vector<std::string> entries;
        for (const editor::LinearisationRow& row : editor::FrequencyRows())
            entries.push_back(row.inputEdit);
        entries.push_back("FrequencyEdit1"); // the table back at its top
        EXPECT_EQ(scrolled, entries);
        EXPECT_TRUE(prompts.shown.empty()) << "popups off: no question, no end message";
        EXPECT_EQ(form.statusPanels[1], " Status: values were written correctly to the device.");
        EXPECT_TRUE(LogFiles().empty());
        ExpectRunEnded("DisplaySheet");
    }
}

TEST_F(WriteRuns, TheConfirmationAndTheEndMessages) {
    ReadUnit(Unit(sim::Model::R212P), "R212-P");
    prompts.answers = {PromptAnswer::Cancel};
    access->UploadButtonClick();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text,
              "This will change the configuration in the device.\r\n\r\nDo you wish to continue?");
    EXPECT_EQ(prompts.shown[0].caption, "Write to device");
    EXPECT_EQ(prompts.shown[0].icon, PromptIcon::Question);
    EXPECT_EQ(prompts.shown[0].buttons, PromptButtons::OkCancel);
    EXPECT_TRUE(requests.Heard().empty()) << "Cancel sends nothing";
    EXPECT_TRUE(LogFiles().empty());

    prompts.shown.clear();
    prompts.answers = {PromptAnswer::Ok};
    access->UploadButtonClick();
    ASSERT_EQ(prompts.shown.size(), 2u);
    EXPECT_EQ(prompts.shown[1].text, "Written all values correctly.");
    EXPECT_EQ(prompts.shown[1].caption, "Write Device");
    EXPECT_EQ(prompts.shown[1].icon, PromptIcon::Information);

    // No unit read: nothing is sent.
    prompts.shown.clear();
    requests.Clear();
    form.ExpectedSerialNumber = -1;
    prompts.answers = {PromptAnswer::Ok};
    access->UploadButtonClick();
    EXPECT_EQ(prompts.Texts().size(), 2u);
    EXPECT_EQ(prompts.Texts().back(), "No device found.");
    EXPECT_TRUE(requests.Heard().empty());
}

TEST_F(WriteRuns, FieldRulesOnTheWay) {
    ReadUnit(Unit(sim::Model::Q4200, true), "Q4200");
    form.ShowPopups = false;
    form.SetText("AnalogFilterEdit", "0");
    form.SetText("OthersPasswordEdit", "");
    form.SetText("OthersTagEdit", "4711");
    form.SetDate("pickDate", {2027, 1, 31});
    access->WriteDevice();
    EXPECT_EQ(WritesTo(127), (std::vector<uint64_t>{1})) << "an analog filter of 0 goes as 1";
    EXPECT_TRUE(WritesTo(168).empty()) << "no password, nothing to register 168";
    EXPECT_EQ(WritesTo(139).size(), 1u);
    EXPECT_EQ(WritesTo(170), (std::vector<uint64_t>{4711}));
    EXPECT_TRUE(WritesTo(176).empty()) << "the time button was not used";
    EXPECT_EQ(WritesTo(179), (std::vector<uint64_t>{270131}));

    // The time button used, the picker on PC time: the clock at the moment of writing.
    unit->ClearWrites();
    form.TimeEdited = true;
    form.SetEnabled("pickTime", false);
    access->WriteDevice();
    EXPECT_EQ(WritesTo(176), (std::vector<uint64_t>{90705}));
    EXPECT_EQ(form["pickTime"].time, (editor::TimeOfDay{9, 7, 5}));
    EXPECT_FALSE(form["pickTime"].enabled) << "still on PC time for the next write";

    // Manual time: the picker's.
    unit->ClearWrites();
    form.SetEnabled("pickTime", true);
    form.SetTime("pickTime", {13, 45, 30});
    access->WriteDevice();
    EXPECT_EQ(WritesTo(176), (std::vector<uint64_t>{134530}));
}

TEST_F(WriteRuns, AFieldThatDoesNotFitSendsNothingAndIsNamed) {
    struct Case {
        const char* control;
        const char* text;
        const char* named;
        const char* page;
    };
    for (const Case c :
         {Case{"OthersPasswordEdit", "12a4", "Others - Password", "OthersSheet"},
          Case{"CommunicAddressEdit", "300", "Modbus - Bus Address", "CommunicationSheet"},
          Case{"TotalKFactorEdit", "", "Total - K-Factor", "TotalSheet"},
          Case{"FrequencyEdit4", "x", "linearisation entry 4", "LinearisationSheet"}}) {
        SCOPED_TRACE(c.control);
        TearDown();
        ReadUnit(Unit(sim::Model::Q4200, true), "Q4200");
        form.ShowPopups = false;
        form["FlowmeterConversionGroup"].itemIndex = 0;
        form[c.control].text = c.text; // as a file or a paste could leave it
        access->UploadButtonClick();
        EXPECT_TRUE(requests.Heard().empty()) << "not even the serial-number check";
        EXPECT_TRUE(unit->Writes().empty());
        ASSERT_EQ(prompts.shown.size(), 1u);
        EXPECT_NE(prompts.shown[0].text.find(c.named), std::string::npos) << prompts.shown[0].text;
        EXPECT_NE(prompts.shown[0].text.find("Nothing was written to the device."),
                  std::string::npos);
        EXPECT_EQ(prompts.shown[0].caption, "Write Device");
        EXPECT_EQ(form.ActivePageName(), c.page) << "the field is shown";
        EXPECT_TRUE(form.enabled);
        EXPECT_FALSE(form.Updating);
    }
}

TEST_F(WriteRuns, FailuresContinuedOrAborted) {
    for (const PromptAnswer answer : {PromptAnswer::Yes, PromptAnswer::No}) {
        SCOPED_TRACE(answer == PromptAnswer::Yes ? "Yes" : "No");
        TearDown();
        ReadUnit(Unit(sim::Model::R212P), "R212-P");
        form.SelectPage(form.PageIndex("AnalogSheet"));
        // The placeholder (the first write to 34) fails.
        requests.FailAt(16, 34, Exception(4));
        prompts.answers = {PromptAnswer::Ok, answer};
        access->UploadButtonClick();

        ASSERT_GE(prompts.shown.size(), 3u);
        EXPECT_EQ(prompts.shown[1].text,
                  "Unable to write Total - K-Factor to device. Do you wish to continue the "
                  "operation?\nErrorcode: 4, Failure in associated device");
        const std::vector<std::string> log = LogLines("WriteLog20260304-090705.txt");
        ASSERT_EQ(log.size(), 5u);
        EXPECT_EQ(log[0], "Model ID: R212-P_030105");
        EXPECT_EQ(log[4], "Total - K-Factor, Value: 10000, Error: 4, Failure in associated device");
        if (answer == PromptAnswer::Yes) {
            EXPECT_EQ(WritesTo(34).size(), 1u) << "the real K-factor follows the decimals";
            EXPECT_FALSE(WritesTo(37).empty());
            EXPECT_FALSE(WritesTo(1272).empty()) << "the run went on to the end";
            EXPECT_EQ(prompts.shown.back().text,
                      "Some values were not written correctly. Please check the WriteLog: " +
                          logDir + "/WriteLog20260304-090705.txt");
            EXPECT_EQ(form.statusPanels[1],
                      " Status: values were written correctly to the device.");
        } else {
            EXPECT_TRUE(WritesTo(37).empty()) << "nothing after the abort";
            EXPECT_TRUE(WritesTo(1272).empty());
            EXPECT_EQ(prompts.shown.back().text,
                      "Error during communication. Please retry the operation.");
            EXPECT_EQ(prompts.shown.back().icon, PromptIcon::Error);
            EXPECT_EQ(form.statusPanels[1], " Status: values were not written correctly to the "
                                            "device. Please re-write the values.");
        }
        ExpectRunEnded("AnalogSheet");
    }
}

TEST_F(WriteRuns, TheOperatorValuesEndTheRunAndTheirFailureFailsIt) {
    ReadUnit(Unit(sim::Model::R212P), "R212-P");
    form.ShowPopups = false;
    int reads = 0;
    access->readOperatorValues = [&] {
        ++reads;
        EXPECT_EQ(form.ActivePageName(), "RuntimeSheet");
        EXPECT_FALSE(form.Updating);
        return false;
    };
    access->WriteDevice();
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(prompts.Texts(),
              (std::vector<std::string>{"Error during communication. Please retry the operation."}))
        << "shown with popups off too";
    EXPECT_EQ(form.statusPanels[1], " Status: values were not written correctly to the device. "
                                    "Please re-write the values.");
    ExpectRunEnded("ConfigurationSheet");
}

TEST_F(WriteRuns, AnotherUnitOrNoneOnTheBus) {
    ReadUnit(Unit(sim::Model::R212P), "R212-P");
    form.ShowPopups = false;
    form.SelectPage(form.PageIndex("PulseSheet"));
    unit->SetValue(2, 3, 7654321);
    access->WriteDevice();
    EXPECT_TRUE(unit->Writes().empty());
    EXPECT_EQ(form.ActivePageName(), "ConfigurationSheet");
    EXPECT_TRUE(form.enabled);

    // Unplugged: the check fails, nothing else is tried.
    prompts.shown.clear();
    link->Disconnect();
    access->WriteDevice();
    EXPECT_TRUE(unit->Writes().empty());
    EXPECT_TRUE(form.enabled);
    EXPECT_FALSE(form.Updating);
    EXPECT_FALSE(prompts.shown.empty());
}

TEST_F(WriteRuns, AUnitThatStopsAnsweringEndsTheRunSoon) {
    ReadUnit(Unit(sim::Model::Q4200, true), "Q4200");
    form.ShowPopups = false;
    // The cable is pulled at the unit when the Display page is reached.
    sim::Fault gone;
    gone.kind = sim::FaultKind::Silence;
    gone.count = 1000;
    requests.FailAt(16, 64, gone);
    access->readOperatorValues = [this] {
        uint8_t buffer[8];
        return worker->ReadRegisters(buffer, 1, 572, 4) == modbus::kTransactionDone;
    };
    access->WriteDevice();
    EXPECT_FALSE(WritesTo(56).empty());
    EXPECT_TRUE(WritesTo(67).empty());
    EXPECT_EQ(prompts.Texts(), (std::vector<std::string>{device::kUnitStoppedAnsweringText}));
    // Three parameters without any answer, then the run stops instead of trying the rest.
    const std::vector<std::string> log = LogLines("WriteLog20260304-090705.txt");
    EXPECT_EQ(log.size(), 4u + device::kSilentTransactionsToStop);
    EXPECT_TRUE(form.enabled);
    EXPECT_FALSE(form.Updating);
}

// The tool follows the unit's new Modbus settings in its port setup and bus address.
class FollowRuns : public WriteRuns {
protected:
    void SetUp() override {
        ReadUnit(Unit(sim::Model::R212P), "R212-P");
        ports.Plug(1, link->SlavePath());
        setup = std::make_unique<modbus::PortSetup>(ports, worker.get());
        // The fixture's access talks to address 1; this one asks the variable.
        access = std::make_unique<TDeviceAccess>(form, rules, prompts, *worker,
                                                 [this] { return address; });
        access->logFolder = logDir;
        access->portSetup = setup.get();
        access->setBusAddress = [this](uint8_t a) { address = a; };
        form.ShowPopups = false;
    }
    void TearDown() override {
        access.reset();
        setup.reset();
        WriteRuns::TearDown();
    }

    vantrel::test::FakePorts ports;
    std::unique_ptr<modbus::PortSetup> setup;
    uint8_t address = 1;
};

TEST_F(FollowRuns, SpeedAddressAndModeFollowed) {
    std::vector<int> operatorValueAddresses;
    access->readOperatorValues = [&] {
        operatorValueAddresses.push_back(address);
        uint8_t buffer[8];
        return worker->ReadRegisters(buffer, address, 572, 4) == modbus::kTransactionDone;
    };
    form.SetItemIndex("CommunicSpeedGroup", 5); // 19200
    form.SetText("CommunicAddressEdit", "5");
    access->WriteDevice();
    EXPECT_EQ(form.statusPanels[1], " Status: values were written correctly to the device.");
    EXPECT_EQ(setup->ComSpeedComboBox.index, 5);
    EXPECT_EQ(unit->Comm().baudIndex, 5);
    EXPECT_EQ(address, 5);
    EXPECT_EQ(unit->Comm().address, 5);
    EXPECT_EQ(operatorValueAddresses, (std::vector<int>{5}));
    for (const sim::WriteRecord& w : unit->Writes())
        if (w.reg == 146 || w.reg == 1272) {
            EXPECT_EQ(w.address, 5) << w.reg;
        }

    // "9600 HP" is 9600 for the tool; mode "Off" leaves the framing.
    form.SetItemIndex("CommunicSpeedGroup", 4);
    form.SetItemIndex("CommunicProtocolGroup", 0);
    access->readOperatorValues = nullptr;
    access->WriteDevice();
    EXPECT_EQ(setup->ComSpeedComboBox.index, 3);
    EXPECT_TRUE(setup->protocolRtu);
}

TEST_F(FollowRuns, LockedSettingsAreNotChanged) {
    setup->lockSettings = true;
    form.SetItemIndex("CommunicSpeedGroup", 5);
    access->WriteDevice();
    EXPECT_EQ(setup->ComSpeedComboBox.index, 3);
}

// The check after writing: every parameter sent is read back and compared.

TEST_F(WriteRuns, TheCheckFindsNothingWhereTheUnitChangesValuesOnPurpose) {
    ReadUnit(Unit(sim::Model::Q4200, true), "Q4200");
    form.UserSelect("FlowmeterConversionGroup", 0);
    form.SetText("TotalKFactorEdit", "2345678"); // after the placeholder
    form.SetText("AnalogFilterEdit", "0");       // goes as 1
    form.TimeEdited = true;                      // the unit's clock runs on from the PC's time
    // The PC's own clock, so that the time the check takes on a busy machine is counted.
    access->now = LocalNow;
    form.SetText("FrequencyEdit4", "777");
    prompts.answers = {PromptAnswer::Ok};
    access->UploadButtonClick();
    EXPECT_EQ(prompts.Texts().back(), "Written all values correctly.");
    EXPECT_TRUE(access->Mismatches().empty()) << testing::PrintToString(access->Mismatches());
    EXPECT_TRUE(LogFiles().empty());
    // Each register written is read after the last write to it.
    const auto heard = requests.Heard();
    for (const sim::WriteRecord& w : unit->Writes()) {
        if (w.reg == 13)
            continue; // the table's index, which selects an entry to read
        size_t lastWrite = 0, lastRead = 0;
        for (size_t i = 0; i < heard.size(); ++i) {
            if (heard[i].second != w.reg)
                continue;
            (heard[i].first == 16 ? lastWrite : lastRead) = i + 1;
        }
        EXPECT_GT(lastRead, lastWrite) << "register " << w.reg;
    }
    ASSERT_NE(access->UnitValues(), nullptr) << "the checked values are the unit's now";
    EXPECT_TRUE(access->WriteDifferences().empty());
}

TEST_F(WriteRuns, AUnitThatKeepsItsOldValueIsNamedAndTheRunFails) {
    struct Case {
        uint16_t ignored;
        std::function<void(editor::Form&)> edit;
        std::string mismatch; // LABEL: sent VALUE, read VALUE
        std::string logLine;
    };
    const std::vector<Case> cases = {
        {34,
         [](editor::Form& f) {
             f.UserSelect("FlowmeterConversionGroup", 0);
             f.SetText("TotalKFactorEdit", "2345678");
         },
         "Total - K-Factor: sent 2345678, read ", "Total - K-Factor, Value: 2345678, Error: "},
        {139,
         [](editor::Form& f) {
             f.SetItemIndex("OthersKeylockGroup", 1 - f["OthersKeylockGroup"].itemIndex);
         },
         "Others - Keylock: sent ", "Others - Keylock, Value: "},
        {1024, [](editor::Form& f) { f.SetText("FrequencyEdit2", "1500"); },
         "Linearization - Edit2: sent ", "Linearization - Edit2, Value: "},
    };
    // The failure is shown with popups off as well.
    bool popups = true;
    for (const Case& c : cases) {
        {
            SCOPED_TRACE(std::to_string(c.ignored) + (popups ? " popups on" : " popups off"));
            TearDown();
            ReadUnit(Unit(sim::Model::Q4200, true), "Q4200");
            form.ShowPopups = popups;
            popups = !popups;
            unit->IgnoreWrites(c.ignored);
            c.edit(form);
            access->WriteDevice();

            ASSERT_EQ(access->Mismatches().size(), 1u)
                << testing::PrintToString(access->Mismatches());
            EXPECT_EQ(access->Mismatches()[0].rfind(c.mismatch, 0), 0u) << access->Mismatches()[0];
            const std::string logName = "WriteLog20260304-090705.txt";
            ASSERT_FALSE(prompts.shown.empty());
            EXPECT_EQ(prompts.shown.back().text,
                      access->Mismatches()[0] +
                          "\r\n\r\nSome values were not written correctly. Please check the "
                          "WriteLog: " +
                          logDir + "/" + logName);
            EXPECT_EQ(prompts.shown.back().icon, PromptIcon::Error);
            EXPECT_EQ(form.statusPanels[1], " Status: values were not written correctly to the "
                                            "device. Please re-write the values.");
            const std::vector<std::string> log = LogLines(logName);
            ASSERT_EQ(log.size(), 5u);
            EXPECT_EQ(log[4].rfind(c.logLine, 0), 0u) << log[4];
            EXPECT_EQ(access->UnitValues(), nullptr) << "what the unit holds is not known";
            EXPECT_FALSE(form.Updating);
            EXPECT_FALSE(form.TransferErrorLogged);
            EXPECT_TRUE(form.enabled);
        }
    }
}

TEST_F(WriteRuns, UnpluggedDuringTheCheckLogsWhatWasNotChecked) {
    ReadUnit(Unit(sim::Model::Q4200, true), "Q4200");
    form.ShowPopups = false;
    // The cable is pulled when the check reaches the Display page.
    sim::Fault gone;
    gone.kind = sim::FaultKind::Silence;
    gone.count = 1000;
    requests.FailAt(3, 64, gone);
    access->WriteDevice();
    EXPECT_FALSE(WritesTo(1272).empty()) << "the write itself went through";
    EXPECT_EQ(prompts.Texts(), (std::vector<std::string>{device::kUnitStoppedAnsweringText}));
    const std::vector<std::string> log = LogLines("WriteLog20260304-090705.txt");
    int notChecked = 0;
    for (const std::string& line : log)
        notChecked += line.ends_with(", Error: not checked");
    EXPECT_GT(notChecked, 10) << testing::PrintToString(log);
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "Others - Tagnumber, Value: " + form["OthersTagEdit"].text +
                            ", Error: not checked"),
              log.end());
    EXPECT_EQ(form.statusPanels[1], " Status: values were not written correctly to the device. "
                                    "Please re-write the values.");
    EXPECT_TRUE(form.enabled);
}

TEST_F(WriteRuns, TheConfirmationListsWhatTheWriteChanges) {
    ReadUnit(Unit(sim::Model::Q4200, true), "Q4200");
    prompts.answers = {PromptAnswer::Cancel};
    access->UploadButtonClick();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].list, (std::vector<std::string>{"No values differ from the unit"}));

    prompts.shown.clear();
    form.SetItemIndex("DisplayBrightnessGroup", 4);
    form.SetText("OthersTagEdit", "4711");
    rules.UpdateValues();
    prompts.answers = {PromptAnswer::Cancel};
    access->UploadButtonClick();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text,
              "This will change the configuration in the device.\r\n\r\nDo you wish to continue?");
    EXPECT_EQ(
        prompts.shown[0].list,
        (std::vector<std::string>{"Display - Backlight Brightness: unit 20%, form 80%",
                                  "Others - Tagnumber: unit " +
                                      PaddedDigits(unit->Value(170, 3), 7) + ", form 0004711"}));
    EXPECT_TRUE(requests.Heard().empty()) << "Cancel sends nothing";

    // Another unit connected since: its values were not read, the plain question.
    prompts.shown.clear();
    form.ExpectedSerialNumber = 99;
    prompts.answers = {PromptAnswer::Cancel};
    access->UploadButtonClick();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_TRUE(prompts.shown[0].list.empty());
}

// The unit's clock goes on from what it was set to, over midnight too; a clock that is off by
// more than the check took is named.
TEST_F(WriteRuns, TheUnitsClockRunsOnOverMidnightWithinTheCheck) {
    struct Case {
        int msLater; // the unit's clock between the write and the check
        std::vector<std::string> mismatches;
    };
    for (const Case& c : {Case{1500, {}}, Case{40500, {"Datalogging - Time: sent 235959, read 39"}}}) {
        SCOPED_TRACE(c.msLater);
        TearDown();
        ReadUnit(Unit(sim::Model::Q4200, true), "Q4200");
        form.ShowPopups = false;
        access->now = [] {
            std::tm tm{};
            tm.tm_year = 2026 - 1900;
            tm.tm_mon = 2;
            tm.tm_mday = 4;
            tm.tm_hour = 23;
            tm.tm_min = 59;
            tm.tm_sec = 59;
            return tm;
        };
        unit->UseManualClock(true);
        form.TimeEdited = true; // the PC's time goes to the unit
        form.SetDate("pickDate", {2026, 3, 4});
        access->readOperatorValues = [&] {
            // Half a second on, so that the unit's whole seconds do not hang on rounding.
            unit->AdvanceClock(std::chrono::milliseconds(c.msLater));
            return true;
        };
        access->WriteDevice();
        EXPECT_EQ(unit->Value(179, 4), 260305u)
            << "the unit is on the next day: " << unit->Value(176, 3) << testing::PrintToString(prompts.Texts());
        EXPECT_EQ(access->Mismatches(), c.mismatches);
    }
}
