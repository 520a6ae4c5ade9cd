// The monitor's rows as the worker makes them, against the simulated unit on a line that
// misbehaves in one way at a time.

#include "host/PlainHost.h"
#include "modbus/BusMonitor.h"
#include "modbus/ModThread.h"
#include "sim/SimLink.h"
#include "sim/SimUnit.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace vantrel;
using modbus::TrafficDirection;
using modbus::TrafficRow;

namespace {

class Rows : public modbus::TrafficSink {
public:
    void Row(TrafficRow row) override { rows.push_back(std::move(row)); }
    std::vector<TrafficRow> rows;
};

class MonitorRows : public testing::Test {
protected:
    void SetUp() override {
        sim::LinkOptions options;
        options.paced = false;
        options.turnaround = {};
        link = std::make_unique<sim::SimLink>(unit, options);
        std::string error;
        ASSERT_TRUE(link->Start(error)) << error;
        worker = std::make_unique<modbus::TModThread>(host, host);
        worker->SetPortResolver([this](int n) { return n == 1 ? link->SlavePath() : ""; });
        worker->SetFraming(modbus::kFramingRtu);
        worker->SetRtuTimeOut(20);
        worker->SetResponseTimeOut(100);
        worker->SetRetries(1);
        ASSERT_TRUE(worker->OpenPort(1, 3, 0, 0, 0)) << worker->LastOpenError();
        worker->SetTrafficSink(&sink);
    }
    void TearDown() override { worker->SetTrafficSink(nullptr); }

    int ReadSerial() {
        uint8_t value[3] = {};
        return worker->ReadRegisters(value, 1, 165, 3);
    }

    host::PlainHost host;
    sim::SimUnit unit{sim::UnitOptions{}};
    std::unique_ptr<sim::SimLink> link;
    std::unique_ptr<modbus::TModThread> worker;
    Rows sink;
};

} // namespace

TEST_F(MonitorRows, AGoodReadIsARequestAndItsTimedAnswer) {
    const auto before = std::chrono::system_clock::now();
    ASSERT_EQ(ReadSerial(), modbus::kTransactionDone);
    ASSERT_EQ(sink.rows.size(), 2u);
    const TrafficRow& request = sink.rows[0];
    const TrafficRow& answer = sink.rows[1];
    EXPECT_EQ(request.direction, TrafficDirection::Request);
    EXPECT_EQ(request.meaning, "read 2 registers from 165");
    EXPECT_EQ(answer.direction, TrafficDirection::Answer);
    EXPECT_EQ(answer.meaning.substr(0, 8), "values: ");
    EXPECT_FALSE(answer.failed || answer.failedAttempt || request.failedAttempt);
    // The times are the line's: the request when it went out, the answer after it.
    const long long start =
        std::chrono::duration_cast<std::chrono::microseconds>(before.time_since_epoch()).count();
    EXPECT_GE(request.wallMicros, start);
    EXPECT_GE(answer.wallMicros, request.wallMicros);
    EXPECT_GT(answer.roundTripMicros, 0);
    EXPECT_LT(answer.roundTripMicros, 100000);
}

TEST_F(MonitorRows, EachFaultOfTheLineIsShownWithItsMeaning) {
    struct Case {
        sim::FaultKind kind;
        TrafficDirection direction;
        std::string meaning; // how the row that shows it begins
    };
    const std::vector<Case> cases = {
        {sim::FaultKind::Silence, TrafficDirection::NoAnswer, "time-out: no answer within 100 ms"},
        {sim::FaultKind::BadChecksum, TrafficDirection::Answer, "CRC error"},
        {sim::FaultKind::WrongAddress, TrafficDirection::Answer, "wrong address: answer from "},
        {sim::FaultKind::Truncate, TrafficDirection::Answer, "short answer: "},
        {sim::FaultKind::DropLastByte, TrafficDirection::Answer, "short answer: 3 data bytes"},
        {sim::FaultKind::Exception, TrafficDirection::Answer, "exception 4: Slave device failure"},
    };
    for (const Case& c : cases) {
        sink.rows.clear();
        sim::Fault fault;
        fault.kind = c.kind;
        link->InjectFault(fault);
        EXPECT_EQ(ReadSerial(), modbus::kTransactionFailed) << c.meaning;
        ASSERT_EQ(sink.rows.size(), 2u) << c.meaning;
        const TrafficRow& shown = sink.rows[1];
        EXPECT_EQ(shown.direction, c.direction) << c.meaning;
        EXPECT_EQ(shown.meaning.substr(0, c.meaning.size()), c.meaning);
        EXPECT_TRUE(shown.failed) << c.meaning;
        // Errors only keeps the request of a failed attempt with it.
        EXPECT_TRUE(sink.rows[0].failedAttempt) << c.meaning;
    }
}

TEST_F(MonitorRows, AnEchoIsShownAndTheAnswerAfterItTaken) {
    sim::Fault echo;
    echo.kind = sim::FaultKind::Echo;
    link->InjectFault(echo);
    ASSERT_EQ(ReadSerial(), modbus::kTransactionDone);
    ASSERT_EQ(sink.rows.size(), 3u);
    EXPECT_EQ(sink.rows[1].direction, TrafficDirection::Discarded);
    EXPECT_EQ(sink.rows[1].meaning, "echo of the request");
    EXPECT_EQ(sink.rows[1].bytes, sink.rows[0].bytes);
    EXPECT_FALSE(sink.rows[1].failed);
    EXPECT_EQ(sink.rows[2].direction, TrafficDirection::Answer);
}

TEST_F(MonitorRows, NothingIsMadeWithoutASink) {
    worker->SetTrafficSink(nullptr);
    ASSERT_EQ(ReadSerial(), modbus::kTransactionDone);
    EXPECT_TRUE(sink.rows.empty());
}
