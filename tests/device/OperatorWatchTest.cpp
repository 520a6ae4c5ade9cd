// Watching the operator values against the simulated unit: samples as the page shows them, a
// silent unit leaving gaps, what stops the watch, and recording to a file, also one that
// stops taking lines.

#include "device/OperatorWatch.h"
#include "tests/device/DeviceFixture.h"

#include <cmath>
#include <csignal>
#include <sys/resource.h>

using namespace vantrel;
using namespace vantrel::device;
using namespace vantrel::device::test;

namespace {

constexpr uint32_t kSerial = 1234567;

class OperatorWatchTest : public DeviceTest {
protected:
    void SetUp() override {
        sim::UnitOptions options = Unit(sim::Model::Q4200, true);
        options.serial = kSerial;
        Start(options);
        unit->SetTotals(123456, 789);
        values = std::make_unique<TOperatorValues>(*access);
        watch = std::make_unique<TOperatorWatch>(*access, *values);
        watch->clock = [this] { return clockMs += 500; };
        device.SerialNumber = static_cast<int32_t>(kSerial);
        device.Variant = 'P';
        ASSERT_TRUE(form.SetupModel("Q4200", 'P'));
        form.ExpectedSerialNumber = static_cast<int32_t>(kSerial);
        form.SetItemIndex("FlowrateDecimalsGroup", 2);
        form.SetItemIndex("TotalDecimalsGroup", 1);
        form.TotalUnitText = "L";
        form.FlowrateUnitText = "mL";
        form.IntervalText = "/ Sec";
    }
    // The watch and the values hold on to the device access, which the base lets go of.
    void TearDown() override {
        watch.reset();
        values.reset();
        DeviceTest::TearDown();
    }
    void Silence(int count) {
        sim::Fault fault;
        fault.kind = sim::FaultKind::Silence;
        fault.count = count;
        link->InjectFault(fault);
    }
    std::string FileText(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        std::stringstream all;
        all << file.rdbuf();
        return all.str();
    }

    int64_t clockMs = 1'765'000'000'000;
    std::unique_ptr<TOperatorValues> values;
    std::unique_ptr<TOperatorWatch> watch;
};

TEST_F(OperatorWatchTest, SamplesAreThePageValuesAndASilentUnitLeavesGaps) {
    unit->SetFlowProfile(12345, 0, 60);
    ASSERT_TRUE(watch->Start(500));
    ASSERT_TRUE(watch->Tick());
    Silence(1); // the flow rate's read of the second sample: no answer, no retry
    ASSERT_TRUE(watch->Tick());
    ASSERT_TRUE(watch->Tick());

    ASSERT_EQ(watch->Samples().size(), 3u);
    const OperatorSample& good = watch->Samples()[0];
    EXPECT_TRUE(good.ok);
    EXPECT_EQ(good.flowRateText, "123.45");
    EXPECT_DOUBLE_EQ(good.flowRate, 123.45);
    EXPECT_EQ(good.flowRateText, form["FlowrateValueLabel"].text);
    EXPECT_EQ(good.totalText, "78.9");
    EXPECT_EQ(good.accTotalText, "12345.6");
    EXPECT_EQ(good.batteryText, form["lblBatteryStatus"].text);

    const OperatorSample& gap = watch->Samples()[1];
    EXPECT_FALSE(gap.ok);
    EXPECT_TRUE(std::isnan(gap.flowRate)) << "a gap, not a zero";
    EXPECT_TRUE(std::isnan(gap.total));
    EXPECT_EQ(gap.ms - good.ms, 500);
    EXPECT_TRUE(watch->Samples()[2].ok) << "the watch goes on after a failed sample";
    EXPECT_TRUE(watch->Watching());

    EXPECT_EQ(SampleCsvLine(gap, "mL/Sec", "L"), SampleTimeText(gap.ms) + ",,,,,,mL/Sec,L");
    EXPECT_EQ(SampleCsvLine(good, watch->FlowUnit(), watch->TotalUnit()),
              SampleTimeText(good.ms) + ",123.45,78.9,12345.6," + good.batteryText + ",0,mL/Sec,L");
}

TEST_F(OperatorWatchTest, OnlyRecentSamplesAreKept) {
    watch->keepMs = 2000;
    ASSERT_TRUE(watch->Start(500));
    for (int i = 0; i < 10; ++i)
        watch->Tick();
    ASSERT_EQ(watch->Samples().size(), 5u); // 2 s back from the last, at 0.5 s
    EXPECT_EQ(watch->Samples().back().ms - watch->Samples().front().ms, 2000);
}

TEST_F(OperatorWatchTest, WhatStopsOrHoldsTheWatch) {
    // No unit: nothing starts.
    form.ExpectedSerialNumber = -1;
    EXPECT_FALSE(watch->Start(1000));
    EXPECT_EQ(watch->Message(), kWatchNoUnitText);
    form.ExpectedSerialNumber = static_cast<int32_t>(kSerial);

    // A run starts (every run disables the window first): the next check stops the watch.
    ASSERT_TRUE(watch->Start(1000));
    EXPECT_EQ(form.statusPanels[1], kWatchingStatus);
    access->SetWindowEnabled(false);
    EXPECT_FALSE(watch->Tick());
    EXPECT_FALSE(watch->Watching());
    EXPECT_EQ(watch->Message(), kWatchRunStartedText);
    EXPECT_TRUE(watch->Samples().empty()) << "no transaction inside the run";
    access->SetWindowEnabled(true);

    // The port closes.
    ASSERT_TRUE(watch->Start(1000));
    worker->ClosePort();
    EXPECT_FALSE(watch->Check());
    EXPECT_EQ(watch->Message(), kWatchPortClosedText);
    EXPECT_FALSE(watch->Start(1000));
}

TEST_F(OperatorWatchTest, RecordingAppendsOneLineASample) {
    const std::string path = logDir + "/watch.csv";
    std::string error;
    ASSERT_TRUE(watch->StartRecording(path, &error)) << error;
    ASSERT_TRUE(watch->Start(500));
    watch->Tick();
    Silence(1);
    watch->Tick();
    watch->StopRecording();
    watch->Tick();                                             // not recorded
    ASSERT_TRUE(watch->StartRecording(path, &error)) << error; // goes on, no second header
    watch->Tick();
    EXPECT_EQ(watch->RecordedLines(), 1);

    std::vector<std::string> lines;
    std::istringstream text(FileText(path));
    for (std::string line; std::getline(text, line);) {
        ASSERT_FALSE(line.empty() || line.back() != '\r') << "CR LF";
        lines.push_back(line.substr(0, line.size() - 1));
    }
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], SampleCsvHeader());
    EXPECT_EQ(lines[1], SampleCsvLine(watch->Samples()[0], "mL/Sec", "L"));
    EXPECT_EQ(lines[2], SampleTimeText(watch->Samples()[1].ms) + ",,,,,,mL/Sec,L");
    EXPECT_EQ(lines[3], SampleCsvLine(watch->Samples()[3], "mL/Sec", "L"));
}

TEST_F(OperatorWatchTest, AFileThatCannotBeWrittenStopsRecordingNotWatching) {
    std::string error;
    EXPECT_FALSE(watch->StartRecording(logDir + "/no/such/folder/x.csv", &error));
    EXPECT_NE(error.find("no/such/folder/x.csv"), std::string::npos) << error;
    EXPECT_FALSE(watch->StartRecording(logDir, &error)) << "a folder";
    EXPECT_FALSE(watch->Recording());

    // The file takes the header and no more: the file-size limit of the process says so at
    // the second line, as a full disk would.
    const std::string path = logDir + "/full.csv";
    ASSERT_TRUE(watch->StartRecording(path, &error)) << error;
    const auto size = static_cast<rlim_t>(FileText(path).size() + 10);
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = size;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ASSERT_TRUE(watch->Start(500));
    watch->Tick();
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(watch->Recording());
    EXPECT_TRUE(watch->Watching());
    EXPECT_EQ(watch->Message().rfind(kRecordFailedText, 0), 0u) << watch->Message();
    EXPECT_NE(watch->Message().find(path), std::string::npos);
    EXPECT_EQ(FileText(path), SampleCsvHeader() + "\r\n") << "no part of a line";
    EXPECT_TRUE(watch->Tick()) << "watching goes on";
}

} // namespace
