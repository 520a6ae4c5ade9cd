// A bad line never yields a wrong value: the runs against a simulated unit whose line loses,
// delays, duplicates, garbles and echoes answers. Every run either gives exactly what the
// clean line gave or says that it failed.

#include "device/LogdataForm.h"
#include "device/OperatorValues.h"
#include "modbus/PortSetup.h"

#include "DeviceFixture.h"

#include <map>

namespace vantrel::device::test {
namespace {

using host::PromptAnswer;
using sim::Fault;
using sim::FaultKind;

constexpr const char* kReadOk = " Status: values were read correctly from the device.";

Fault Kind(FaultKind kind, int delayMs = 0, int gapMs = 0, int garbageBytes = 0) {
    Fault fault;
    fault.kind = kind;
    fault.delayMs = delayMs;
    fault.gapMs = gapMs;
    fault.garbageBytes = garbageBytes;
    return fault;
}

// The fixture's time-out is 150 ms: a late answer comes 200 ms after its request. A duplicate
// follows its original by 1 ms: one that comes later than the gap and the next request's own
// time on the line cannot be told from an answer, and a loaded machine can hold the simulated
// unit back by that much.
const std::map<std::string, std::vector<Fault>>& FaultKinds() {
    static const std::map<std::string, std::vector<Fault>> kinds = [] {
        std::map<std::string, std::vector<Fault>> k = {
            {"RequestLost", {Kind(FaultKind::Silence)}},
            {"AnswerLost", {Kind(FaultKind::DropAnswer)}},
            {"BadChecksum", {Kind(FaultKind::BadChecksum)}},
            {"WrongAddress", {Kind(FaultKind::WrongAddress)}},
            {"ShortAnswer", {Kind(FaultKind::DropLastByte)}},
            {"Truncated", {Kind(FaultKind::Truncate)}},
            {"Late", {Kind(FaultKind::Delay, 200)}},
            {"Duplicated", {Kind(FaultKind::Duplicate, 0, 1)}},
            {"GarbageBefore", {Kind(FaultKind::GarbageBefore, 0, 0, 1)}},
            {"GarbageAfter", {Kind(FaultKind::GarbageAfter, 0, 0, 2)}},
            {"Echo", {Kind(FaultKind::Echo)}},
        };
        std::vector<Fault> all;
        for (const auto& [name, faults] : k)
            all.insert(all.end(), faults.begin(), faults.end());
        k["Mixed"] = all;
        return k;
    }();
    return kinds;
}

class BadLineBase : public DeviceTest {
protected:
    // A Q4200 with its logger, its flow standing still so that the totals do not move.
    void StartUnit(int framing) {
        sim::UnitOptions options = Unit(sim::Model::Q4200, true);
        options.serial = 4242424;
        options.comm.mode = framing == modbus::kFramingAscii ? sim::kModeAscii : sim::kModeRtu;
        options.logRecords = {24, 3, 0};
        Start(options);
        unit->SetFlowProfile(0, 0, 60);
        worker->SetFraming(framing);
        worker->SetRetries(5);
        values = std::make_unique<TOperatorValues>(*access);
        access->readOperatorValues = [this] { return values->ReadOperatorValues(); };
        Identified("Q4200", 'P', true);
        form.ShowPopups = false;
    }

    void TearDown() override {
        values.reset();
        DeviceTest::TearDown();
    }

    // Every value a configuration is made of, as the form holds it.
    std::map<std::string, std::string> Values() const {
        std::map<std::string, std::string> out;
        for (const editor::Control& c : form.Controls()) {
            if (c.kind != editor::ControlKind::Edit && c.kind != editor::ControlKind::RadioGroup &&
                c.kind != editor::ControlKind::ComboBox &&
                c.kind != editor::ControlKind::UnitButtons)
                continue;
            if (c.name == "ModelBox") // identification's, not the configuration's
                continue;
            out[c.name] = c.text + "|" + std::to_string(c.itemIndex);
        }
        return out;
    }

    std::vector<std::string> OperatorLabels() const {
        std::vector<std::string> out;
        for (const char* label : {"FlowrateValueLabel", "TotalValueLabel", "AccTotalValueLabel",
                                  "lblBatteryStatus", "lblErrorStatus"})
            out.push_back(form[label].text);
        return out;
    }

    bool ReadDevice() {
        // The log window keeps the port at one try while it is open.
        worker->SetRetries(5);
        form.statusPanels[1].clear();
        access->DownloadButtonClick();
        return form.statusPanels[1] == kReadOk && LogFiles().empty();
    }

    std::unique_ptr<TOperatorValues> values;
};

class BadLine : public BadLineBase,
                public testing::WithParamInterface<std::tuple<std::string, int>> {};

} // namespace

TEST_P(BadLine, EveryRunGivesTheCleanResultOrSaysItFailed) {
    const auto& [kind, framing] = GetParam();
    StartUnit(framing);

    ASSERT_TRUE(ReadDevice()) << "the clean line";
    const auto clean = Values();
    const auto cleanLabels = OperatorLabels();
    TLogdataForm log(
        *worker, [] { return uint8_t{1}; }, nullptr, prompts);
    log.FormShow();
    ASSERT_FALSE(log.cbLogLists.empty());
    log.cbLogListsSelect(0);
    log.btnReadDataClick();
    ASSERT_FALSE(log.Terminated());
    const std::vector<std::string> cleanLog(log.Memo3.begin() + 3, log.Memo3.end() - 2);
    const std::string cleanTitle = log.Memo3[0].substr(0, log.Memo3[0].find(" at "));

    sim::RandomFaults faults;
    faults.rate = 0.2;
    faults.seed = 11 + static_cast<uint32_t>(framing);
    faults.kinds = FaultKinds().at(kind);
    link->SetRandomFaults(faults);

    // Each kind and framing has a test of its own, so that they run side by side; one round
    // of every run makes some hundred transactions with some twenty faults.
    int complete = 0;
    {
        // Read device: the values of a run that says it read them all are the unit's.
        std::filesystem::remove_all(logDir);
        std::filesystem::create_directories(logDir);
        prompts.shown.clear();
        if (ReadDevice()) {
            ++complete;
            const auto now = Values();
            for (const auto& [key, value] : clean)
                EXPECT_EQ(now.at(key), value) << key;
            EXPECT_EQ(OperatorLabels(), cleanLabels);
        } else {
            // It says so: the status, or the ReadLog of the parameters that failed, which
            // with five tries against one answer in five are one or two at most.
            const auto logs = LogFiles();
            EXPECT_TRUE(form.statusPanels[1] != kReadOk || !logs.empty());
            if (logs.size() == 1) {
                EXPECT_LE(LogLines(logs[0]).size(), 4u + 2u) << "far more failures than faults";
            }
        }

        // The operator values alone.
        worker->SetRetries(5);
        if (values->ReadOperatorValues()) {
            EXPECT_EQ(OperatorLabels(), cleanLabels);
        }

        // Identification tells the model truly or not at all.
        worker->SetRetries(5);
        device.SerialNumber = -1;
        form.ShowPopups = true;
        prompts.answers = {PromptAnswer::No};
        const bool identified = access->IdentifyDevice();
        form.ShowPopups = false;
        if (identified) {
            EXPECT_EQ(device.Model, "Q4200");
            EXPECT_EQ(device.SerialNumber, 4242424);
            EXPECT_EQ(device.Version(), 30105);
            EXPECT_TRUE(device.HasDataLog);
        } else {
            EXPECT_EQ(device.SerialNumber, -1);
            Identified("Q4200", 'P', true);
            form.ShowPopups = false;
        }

        // The log readout: the records of the list asked for, none shifted or twice.
        log.UnsavedData = false;
        log.btnReadDataClick();
        if (!log.Terminated()) {
            EXPECT_EQ(log.Memo3[0].substr(0, log.Memo3[0].find(" at ")), cleanTitle);
            EXPECT_EQ(std::vector<std::string>(log.Memo3.begin() + 3, log.Memo3.end() - 2),
                      cleanLog);
        }
    }
    RecordProperty("complete", complete);
    EXPECT_GT(link->Stats().faultsApplied, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BadLine,
    testing::Combine(testing::Values("RequestLost", "AnswerLost", "BadChecksum", "WrongAddress",
                                     "ShortAnswer", "Truncated", "Late", "Duplicated",
                                     "GarbageBefore", "GarbageAfter", "Echo", "Mixed"),
                     testing::Values(modbus::kFramingRtu, modbus::kFramingAscii)),
    [](const auto& info) {
        return std::get<0>(info.param) +
               (std::get<1>(info.param) == modbus::kFramingRtu ? "Rtu" : "Ascii");
    });

// The stale answers that were taken for the next request's, one at a time.
class StaleAnswers : public BadLineBase {
protected:
    void SetUp() override { StartUnit(modbus::kFramingRtu); }

    void Arm(Fault fault, int reg) {
        fault.reg = reg;
        fault.count = 1;
        link->InjectFault(fault);
    }
};

TEST_F(StaleAnswers, ALateTotalIsNotTakenForTheAccumulatedTotal) {
    ASSERT_TRUE(values->ReadOperatorValues());
    const auto clean = OperatorLabels();
    // The total (566) answers after the time-out; the accumulated total (560) comes next.
    Arm(Kind(FaultKind::Delay, 200), 566);
    ASSERT_TRUE(values->ReadOperatorValues());
    EXPECT_EQ(OperatorLabels(), clean);
    EXPECT_NE(clean[1], clean[2]) << "the two totals must differ for the test to mean anything";
}

TEST_F(StaleAnswers, ADuplicatedAnswerIsNotTakenForTheNextOne) {
    // The model code (160) and the variant (173) are both one register.
    Arm(Kind(FaultKind::Duplicate, 0, 1), 160);
    device.SerialNumber = -1;
    form.ShowPopups = true;
    prompts.answers = {PromptAnswer::No};
    ASSERT_TRUE(access->IdentifyDevice());
    EXPECT_EQ(device.Model, "Q4200");
    EXPECT_EQ(device.Variant, 'P');

    // The serial number's duplicate must not become the next parameter of a read.
    form.ShowPopups = false;
    ASSERT_TRUE(ReadDevice());
    const auto before = Values();
    Arm(Kind(FaultKind::Duplicate, 0, 1), 2);
    ASSERT_TRUE(ReadDevice());
    EXPECT_EQ(Values(), before);
}

TEST_F(StaleAnswers, OneGarbageByteCostsOneTryAndNoMore) {
    Arm(Kind(FaultKind::GarbageBefore, 0, 0, 1), 160);
    uint64_t code = 0;
    ASSERT_EQ(access->ReadValue(160, 2, code), modbus::kTransactionDone);
    EXPECT_EQ(code, 2121u);
    EXPECT_EQ(worker->AttemptsText(), "2");
    // The next answer is clean and is taken at its first try.
    uint64_t variant = 0;
    ASSERT_EQ(access->ReadValue(173, 1, variant), modbus::kTransactionDone);
    EXPECT_EQ(variant, static_cast<uint64_t>('P'));
    EXPECT_EQ(worker->AttemptsText(), "1");
}

TEST_F(StaleAnswers, AnEchoingConverterStillGetsItsAnswers) {
    Fault echo = Kind(FaultKind::Echo);
    echo.count = sim::kAlways;
    link->InjectFault(echo);
    uint64_t serial = 0;
    ASSERT_EQ(access->ReadValue(165, 3, serial), modbus::kTransactionDone);
    EXPECT_EQ(serial, 4242424u);
    EXPECT_EQ(worker->AttemptsText(), "1");
    EXPECT_NE(worker->TrafficLog().find("Discarded= "), std::string::npos);
}

TEST_F(StaleAnswers, ALoggerProbeWithoutAnAnswerTellsNoModel) {
    // A time-out is no "no logger": the model cannot be told, and nobody is asked to pick one.
    Fault silent = Kind(FaultKind::Silence);
    silent.count = sim::kAlways;
    silent.reg = 8208;
    link->InjectFault(silent);
    device.SerialNumber = -1;
    form.ShowPopups = false;
    bool dialogShown = false;
    access->runConnectionForm = [&](TConnectionForm&) { dialogShown = true; };
    EXPECT_FALSE(access->IdentifyDevice());
    EXPECT_FALSE(dialogShown);
    EXPECT_EQ(device.SerialNumber, -1);
    EXPECT_EQ(prompts.Texts(), (std::vector<std::string>{kModelNotToldText}));
}

TEST_F(StaleAnswers, ValuesScaledByAFailedDecimalsReadAreNotShown) {
    // The total's decimals (register 33) fail: the totals cannot be scaled.
    Fault refused = Kind(FaultKind::Exception);
    refused.count = sim::kAlways;
    refused.reg = 33;
    link->InjectFault(refused);
    EXPECT_FALSE(ReadDevice());
    EXPECT_EQ(form["TotalValueLabel"].text, "Not available");
    EXPECT_EQ(form["AccTotalValueLabel"].text, "Not available");
    EXPECT_NE(form["FlowrateValueLabel"].text, "Not available");
}

TEST_F(StaleAnswers, AConverterUnpluggedDuringWriteDeviceEndsItWithOneMessage) {
    ASSERT_TRUE(ReadDevice());
    const std::string path = link->SlavePath();
    Fault gone = Kind(FaultKind::Disconnect);
    gone.reg = 64;
    gone.count = 1;
    link->InjectFault(gone);
    prompts.shown.clear();
    access->WriteDevice();
    EXPECT_EQ(prompts.Texts(),
              (std::vector<std::string>{"The port " + path +
                                        " has gone away. Check the converter's cable, then Port "
                                        "Setup."}));
    EXPECT_EQ(worker->State(), modbus::PortClosed);
    EXPECT_TRUE(form.enabled);
    EXPECT_FALSE(form.Updating);
}

} // namespace vantrel::device::test
