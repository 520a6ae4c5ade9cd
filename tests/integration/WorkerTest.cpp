// The master against the simulated unit over a pseudo-terminal.

#include "host/PlainHost.h"
#include "modbus/ModThread.h"
#include "sim/SimLink.h"
#include "sim/SimUnit.h"

#include <gtest/gtest.h>

#include <thread>

using namespace vantrel;
using modbus::TModThread;

namespace {

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

class Memo : public modbus::TrafficMemo {
public:
    std::string Text() const override { return text; }
    void SetText(const std::string& t) override { text = t; }
    std::string text;
};

sim::LinkOptions Unpaced() {
    sim::LinkOptions options;
    options.paced = false;
    options.turnaround = {};
    return options;
}

class WorkerTest : public testing::Test {
protected:
    void SetUp() override { Start({}, Unpaced()); }

    void Start(const sim::UnitOptions& options, const sim::LinkOptions& linkOptions) {
        worker.reset();
        link.reset();
        unit = std::make_unique<sim::SimUnit>(options);
        link = std::make_unique<sim::SimLink>(*unit, linkOptions);
        std::string error;
        ASSERT_TRUE(link->Start(error)) << error;
        worker = std::make_unique<TModThread>(host, host);
        worker->SetPortResolver([this](int n) { return n == 1 ? link->SlavePath() : ""; });
        worker->SetFraming(modbus::kFramingRtu);
        worker->SetRtuTimeOut(20);
        worker->SetResponseTimeOut(100);
        ASSERT_TRUE(worker->OpenPort(1, 3, 0, 0, 0)) << worker->LastOpenError();
    }

    uint32_t ReadSerial() {
        uint8_t value[3] = {};
        if (worker->ReadRegisters(value, 1, 165, 3) != 0)
            return 0;
        return value[0] | value[1] << 8 | value[2] << 16;
    }

    host::PlainHost host;
    std::unique_ptr<sim::SimUnit> unit;
    std::unique_ptr<sim::SimLink> link;
    std::unique_ptr<TModThread> worker;
};

} // namespace

TEST_F(WorkerTest, ReadsAndWritesWithTheTrafficLog) {
    EXPECT_EQ(worker->State(), modbus::Idle);
    EXPECT_EQ(worker->StateText(), "Quenlo: Idle");
    EXPECT_EQ(ReadSerial(), 1234567u);
    EXPECT_EQ(worker->TrafficLog(),
              "S= 01 03 00 A5 00 02 D4 28 \r\nR= 01 03 04 00 12 D6 87 44 34 \r\nSuccess");
    EXPECT_EQ(worker->AttemptsText(), "1");
    EXPECT_EQ(worker->ResultText(), "Last Result: Success");

    const uint8_t delay[2] = {0x34, 0x12};
    ASSERT_EQ(worker->WriteRegisters(delay, 1, 14, 2), 0) << worker->ResultText();
    EXPECT_EQ(unit->Register(14), 0x1234);
    uint8_t back[2] = {};
    ASSERT_EQ(worker->ReadRegisters(back, 1, 14, 2), 0);
    EXPECT_EQ(back[0], 0x34);
    EXPECT_EQ(back[1], 0x12);
    // A null buffer asks for no data.
    EXPECT_EQ(worker->ReadRegisters(nullptr, 1, 14, 2), 0);
}

TEST_F(WorkerTest, AsciiFraming) {
    sim::UnitOptions options;
    options.comm.mode = sim::kModeAscii;
    Start(options, Unpaced());
    worker->SetFraming(modbus::kFramingAscii);
    EXPECT_EQ(ReadSerial(), 1234567u);
    EXPECT_EQ(worker->TrafficLog().substr(0, 44), "S= : 01 03 00 A5 00 02 55  \\r \\n\r\nR= : 01 03");
    const uint8_t value[3] = {1, 2, 3};
    EXPECT_EQ(worker->WriteRegisters(value, 1, 34, 3), 0) << worker->ResultText();
    EXPECT_EQ(unit->Value(34, 3), 0x030201u);
}

TEST_F(WorkerTest, ASilentUnitIsTriedAsOftenAsSet) {
    link->InjectFault({sim::FaultKind::Silence, sim::kAlways});
    EXPECT_EQ(ReadSerial(), 0u);
    EXPECT_EQ(worker->LastResult(), modbus::ResponseTimedOut);
    EXPECT_EQ(worker->AttemptsText(), "3");
    EXPECT_EQ(link->Stats().frames, 3u);
    const std::string send = "S= 01 03 00 A5 00 02 D4 28 ";
    EXPECT_EQ(worker->TrafficLog(), send + "\r\nTimed Out\r\n\r\n" + send + "\r\nTimed Out\r\n\r\n" +
                                        send + "\r\nTimed Out\r\n\r\n");
    EXPECT_EQ(worker->State(), modbus::Idle);

    worker->SetRetries(1);
    link->ResetStats();
    EXPECT_EQ(ReadSerial(), 0u);
    EXPECT_EQ(link->Stats().frames, 1u);
}

struct FaultCase {
    const char* name;
    sim::FaultKind kind;
    int result;
    const char* logText;
};

TEST_F(WorkerTest, WrongAnswersAreTriedAgain) {
    const FaultCase cases[] = {
        {"bad checksum", sim::FaultKind::BadChecksum, modbus::CorruptedStructure,
         "\r\nStructure Corrupt"},
        {"truncated", sim::FaultKind::Truncate, modbus::CorruptedStructure, "\r\nStructure Corrupt"},
        {"wrong address", sim::FaultKind::WrongAddress, modbus::WrongAddressResponse,
         "\r\nAddress Error"},
        {"short data", sim::FaultKind::DropLastByte, modbus::WrongResponseLength,
         "\r\nWrong Length"},
    };
    for (const FaultCase& c : cases) {
        // Once: the second try succeeds.
        link->InjectFault({c.kind, 1});
        EXPECT_EQ(ReadSerial(), 1234567u) << c.name;
        EXPECT_EQ(worker->AttemptsText(), "2") << c.name;
        EXPECT_EQ(Count(worker->TrafficLog(), c.logText), 1) << c.name;
        EXPECT_EQ(worker->LastResult(), modbus::Success) << c.name;

        // Always: every try fails the same way and the last one's result stays.
        link->InjectFault({c.kind, sim::kAlways});
        EXPECT_EQ(ReadSerial(), 0u) << c.name;
        EXPECT_EQ(worker->LastResult(), c.result) << c.name;
        EXPECT_EQ(worker->AttemptsText(), "3") << c.name;
        EXPECT_EQ(Count(worker->TrafficLog(), c.logText), 3) << c.name;
        link->ClearFaults();
    }
}

TEST_F(WorkerTest, ExceptionsEndTheTransactionAtOnce) {
    link->InjectFault({sim::FaultKind::Exception, 1, 2});
    EXPECT_EQ(ReadSerial(), 0u);
    EXPECT_EQ(worker->LastResult(), modbus::ReadingNotPossible);
    EXPECT_EQ(worker->LastExceptionCode(), 2);
    EXPECT_EQ(worker->ResultText(), "Last Result: Reading not possible (ErrorCode: 2)");
    EXPECT_EQ(worker->AttemptsText(), "1");
    EXPECT_EQ(link->Stats().frames, 1u);
    EXPECT_EQ(worker->TrafficLog().substr(worker->TrafficLog().size() - 7), "\r\nError");

    // A register the unit does not hold, written: exception 2 from the unit itself.
    const uint8_t value[2] = {};
    EXPECT_EQ(worker->WriteRegisters(value, 1, 9000, 2), 2);
    EXPECT_EQ(worker->LastResult(), modbus::WritingNotPossible);
    EXPECT_EQ(worker->ResultText(), "Last Result: Writing not possible (ErrorCode: 2)");

    // A later time-out keeps the exception code.
    link->InjectFault({sim::FaultKind::Silence, sim::kAlways});
    worker->SetRetries(1);
    EXPECT_EQ(ReadSerial(), 0u);
    EXPECT_EQ(worker->LastResult(), modbus::ResponseTimedOut);
    EXPECT_EQ(worker->LastExceptionCode(), 2);
}

TEST_F(WorkerTest, BusyAndNoPort) {
    // A transaction started while another waits (from a message the wait handles) is refused;
    // it only replaces the first one's traffic log.
    int inner = -1;
    host.Post([&] {
        uint8_t value[2];
        inner = worker->ReadRegisters(value, 1, 14, 2);
    });
    EXPECT_EQ(ReadSerial(), 1234567u);
    EXPECT_EQ(inner, 1);
    EXPECT_EQ(worker->TrafficLog().substr(0, 18), "Modbus Busy\r\nR= 01");

    worker->ClosePort();
    EXPECT_EQ(worker->State(), modbus::PortClosed);
    EXPECT_EQ(worker->StateText(), "Quenlo: Port not opened");
    uint8_t value[2];
    EXPECT_EQ(worker->ReadRegisters(value, 1, 14, 2), 1);
    EXPECT_EQ(worker->TrafficLog(), "Modbus Busy");
    EXPECT_EQ(worker->WriteRegisters(value, 1, 14, 2), 1);
    EXPECT_EQ(worker->StateText(), "Quenlo: Port not opened");
}

TEST_F(WorkerTest, RequestsBeyondTheFrameFormatAreRefusedBeforeSending) {
    uint8_t value[255] = {};
    EXPECT_EQ(worker->ReadRegisters(value, 1, 14, 255), 2);
    EXPECT_EQ(worker->LastResult(), modbus::InvalidRequest);
    EXPECT_EQ(worker->WriteRegisters(value, 1, 14, 0), 2);
    worker->SetFraming(modbus::kFramingAscii);
    EXPECT_EQ(worker->WriteRegisters(value, 1, 14, 119), 2);
    EXPECT_EQ(worker->TrafficLog(), "Invalid Request");
    worker->SetFraming(7);
    EXPECT_EQ(worker->ReadRegisters(value, 1, 14, 2), 2);
    EXPECT_EQ(worker->LastResult(), modbus::ProtocolUnknown);
    EXPECT_EQ(worker->TrafficLog(), "Unknown Protocol");
    EXPECT_EQ(link->Stats().frames, 0u);
    EXPECT_EQ(worker->State(), modbus::Idle);
}

TEST_F(WorkerTest, AnAbortedAttemptIsTriedAgain) {
    link->InjectFault({sim::FaultKind::Silence, sim::kAlways});
    host.Post([&] { worker->AbortTransaction(); });
    EXPECT_EQ(ReadSerial(), 0u);
    const std::string send = "S= 01 03 00 A5 00 02 D4 28 ";
    // The abandoned attempt records nothing; the other two time out.
    EXPECT_EQ(worker->TrafficLog(), send + "\r\n\r\n" + send + "\r\nTimed Out\r\n\r\n" + send +
                                        "\r\nTimed Out\r\n\r\n");
    EXPECT_EQ(worker->LastResult(), modbus::ResponseTimedOut);
}

TEST_F(WorkerTest, APortThatVanishesIsClosedAtOnce) {
    std::vector<std::string> errors;
    worker->SetPlatformErrorHandler(
        [&](const std::string& caption, const std::string&) { errors.push_back(caption); });
    const std::string path = link->SlavePath();
    link->InjectFault({sim::FaultKind::Disconnect, 1});
    EXPECT_EQ(ReadSerial(), 0u);
    // No try is left to a port that is not there, and the worker says so truthfully.
    EXPECT_EQ(worker->LastResult(), modbus::NotAbleToSend);
    EXPECT_EQ(worker->AttemptsText(), "1");
    EXPECT_NE(worker->TrafficLog().find("\r\nPort gone"), std::string::npos);
    EXPECT_EQ(worker->State(), modbus::PortClosed);
    EXPECT_EQ(worker->StateText(), "Quenlo: Port not opened");
    EXPECT_FALSE(worker->IsPortOpen());
    EXPECT_TRUE(worker->PortGone());
    EXPECT_EQ(worker->GoneText(), "The port " + path +
                                      " has gone away. Check the converter's cable, then Port "
                                      "Setup.");
    host.RunPending();
    EXPECT_TRUE(errors.empty()); // the one message is the run's to give

    // Later transactions do not start; the port comes back under a new name.
    EXPECT_EQ(worker->ReadRegisters(nullptr, 1, 165, 3), modbus::kTransactionNotStarted);
    std::string error;
    ASSERT_TRUE(link->Reconnect(error)) << error;
    ASSERT_TRUE(worker->OpenPort(1, 3, 0, 0, 0)) << worker->LastOpenError();
    EXPECT_FALSE(worker->PortGone());
    EXPECT_EQ(ReadSerial(), 1234567u);
}

TEST_F(WorkerTest, APortGivenUpDuringTheLastTryIsNoSuccess) {
    // Release while the only try waits for an answer that does not come.
    link->InjectFault({sim::FaultKind::Silence, sim::kAlways});
    worker->SetRetries(1);
    host.Post([&] { worker->ClosePort(); });
    EXPECT_EQ(ReadSerial(), 0u);
    EXPECT_EQ(worker->State(), modbus::PortClosed);
    EXPECT_EQ(worker->StateText(), "Quenlo: Port not opened");
    EXPECT_NE(worker->LastResult(), modbus::Success);
    EXPECT_NE(worker->ResultText(), "Last Result: Success");
    EXPECT_EQ(worker->ReadRegisters(nullptr, 1, 165, 3), modbus::kTransactionNotStarted);

    // A new line setting during the last try: the attempt is abandoned, not a success.
    link->ClearFaults();
    ASSERT_TRUE(worker->OpenPort(1, 3, 0, 0, 0)) << worker->LastOpenError();
    link->InjectFault({sim::FaultKind::Silence, sim::kAlways});
    host.Post([&] { worker->SetSpeed(3); });
    EXPECT_EQ(ReadSerial(), 0u);
    EXPECT_EQ(worker->LastResult(), modbus::Aborted);
    EXPECT_EQ(worker->State(), modbus::Idle);
}

TEST_F(WorkerTest, StatusCallbackRunsOnTheCallingThread) {
    std::vector<int> states;
    bool otherThread = false;
    const auto caller = std::this_thread::get_id();
    worker->SetStatusCallback([&] {
        states.push_back(worker->State());
        otherThread = otherThread || std::this_thread::get_id() != caller;
    });
    EXPECT_EQ(ReadSerial(), 1234567u);
    EXPECT_FALSE(otherThread);
    EXPECT_EQ(states.front(), modbus::Sending);
    EXPECT_EQ(states.back(), modbus::Idle);
    EXPECT_NE(std::find(states.begin(), states.end(), modbus::Received), states.end());
}

TEST_F(WorkerTest, MemoShowsTheLatestOrEveryTransaction) {
    Memo memo;
    worker->SetMemo(&memo);
    ReadSerial();
    ReadSerial();
    EXPECT_EQ(memo.text, worker->TrafficLog());
    worker->SetMemoRemember(true);
    ReadSerial();
    EXPECT_EQ(Count(memo.text, "\r\nSuccess"), 2);
    EXPECT_EQ(memo.text, worker->TrafficLog() + "\r\n" + worker->TrafficLog());
}

TEST_F(WorkerTest, FollowsTheUnitsNewLineSettings) {
    // The unit takes 19200 baud after its answer; at 9600 it no longer hears the tool.
    const uint8_t speed19200[1] = {5};
    ASSERT_EQ(worker->WriteRegisters(speed19200, 1, 144, 1), 0) << worker->ResultText();
    worker->SetRetries(1);
    EXPECT_EQ(ReadSerial(), 0u);
    EXPECT_EQ(worker->LastResult(), modbus::ResponseTimedOut);
    worker->SetSpeed(5);
    EXPECT_EQ(worker->ModeString(), "19200,N,8,1");
    EXPECT_EQ(ReadSerial(), 1234567u);
}

TEST_F(WorkerTest, OpeningPortsAndAutoOpen) {
    // An absent port fails quietly and the port open before is closed all the same.
    EXPECT_FALSE(worker->OpenPort(2, 3, 0, 0, 0));
    EXPECT_FALSE(worker->IsPortOpen());
    EXPECT_EQ(worker->PortNumber(), 2);
    EXPECT_EQ(worker->LastOpenError(), "COM2 is not present.");
    EXPECT_TRUE(worker->OpenPort(0, 3, 0, 0, 0));
    EXPECT_EQ(worker->PortNumber(), 0);

    EXPECT_TRUE(worker->AutoOpen()); // port 1 is there
    EXPECT_EQ(worker->PortNumber(), 1);
    EXPECT_EQ(ReadSerial(), 1234567u);

    worker->ClosePort();
    worker->SetPortResolver([](int) { return std::string(); });
    EXPECT_FALSE(worker->AutoOpen());
    EXPECT_EQ(worker->PortNumber(), 0);
    EXPECT_EQ(worker->State(), modbus::PortClosed);
}

TEST_F(WorkerTest, PacedAtTheLineSpeed) {
    sim::LinkOptions paced;
    paced.turnaround = std::chrono::milliseconds(5);
    Start({}, paced);
    EXPECT_EQ(ReadSerial(), 1234567u);
    const uint8_t value[6] = {1, 2, 3, 4, 5, 6};
    const uint8_t entry[1] = {2};
    ASSERT_EQ(worker->WriteRegisters(entry, 1, 13, 1), 0) << worker->ResultText();
    ASSERT_EQ(worker->WriteRegisters(value, 1, 1024, 6), 0) << worker->ResultText();
    EXPECT_EQ(unit->LinearisationFrequency(2), 0x030201u);
    EXPECT_EQ(unit->LinearisationFactor(2), 0x060504u);
}

TEST_F(WorkerTest, ALongTimeOutRunsOutInsteadOfBeingCutShort) {
    // Longer than the five-second guard: the wait must end as a time-out, not "Aborted".
    link->InjectFault({sim::FaultKind::Silence, sim::kAlways});
    worker->SetRetries(1);
    worker->SetResponseTimeOut(5200);
    EXPECT_EQ(ReadSerial(), 0u);
    EXPECT_EQ(worker->LastResult(), modbus::ResponseTimedOut);
    EXPECT_EQ(worker->TrafficLog().find("Error on communications bus"), std::string::npos);
}
