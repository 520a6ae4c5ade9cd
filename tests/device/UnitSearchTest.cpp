// The search of the line against simulated units: where it finds them, what it leaves as it
// was, how it stops, and that a line answering nonsense never yields a unit.

#include "device/UnitSearch.h"
#include "tests/support/SharedLine.h"

#include "DeviceFixture.h"

#include <chrono>
#include <thread>

namespace vantrel::device::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

sim::UnitOptions Q4200(uint32_t serial, uint8_t address, int mode, int baudIndex) {
    sim::UnitOptions options;
    options.model = sim::Model::Q4200;
    options.logger = true;
    options.serial = serial;
    options.firmware = 30105;
    options.comm.address = address;
    options.comm.mode = mode;
    options.comm.baudIndex = baudIndex;
    return options;
}

SearchPlan Plan(std::vector<int> speeds, int first, int last, bool all = false) {
    SearchPlan plan;
    plan.speeds = std::move(speeds);
    plan.firstAddress = first;
    plan.lastAddress = last;
    plan.findAll = all;
    return plan;
}

class UnitSearchTest : public DeviceTest {
protected:
    // What the search must leave as it found it.
    struct WorkerSettings {
        int speed, framing, dataBits, parity, stopBits, retries, timeOut;
        bool lateWait;
        bool operator==(const WorkerSettings&) const = default;
    };
    WorkerSettings Settings() const {
        return {worker->Speed(),   worker->Framing(),       worker->DataBits(),
                worker->Parity(),  worker->StopBits(),      worker->Retries(),
                worker->TimeOut(), worker->LateAnswerWait()};
    }
};

TEST_F(UnitSearchTest, FindsTheUnitAtASpeedFramingAndAddressNotTriedFirstAndStops) {
    // sim's index 5 is 19200; the port setup's index for 19200 is 5 as well.
    Start(Q4200(4242424, 9, sim::kModeAscii, 5));
    worker->SetRetries(3);
    const WorkerSettings before = Settings();
    TUnitSearch search(*worker);
    std::vector<SearchProgress> reports;
    search.progress = [&](const SearchProgress& p) { reports.push_back(p); };
    std::vector<std::string> announced;
    search.unitFound = [&](const FoundUnit& unit) { announced.push_back(FoundUnitText(unit)); };

    const SearchPlan plan = Plan({3, 5}, 1, 12);
    EXPECT_EQ(search.Run(plan), SearchEnd::FoundUnit);

    ASSERT_EQ(search.Found().size(), 1u);
    const FoundUnit& unit = search.Found()[0];
    EXPECT_EQ(unit.settings, (SearchSettings{5, modbus::kFramingAscii, 0, 0, 0}));
    EXPECT_EQ(unit.address, 9);
    EXPECT_EQ(announced, std::vector<std::string>{
                             "19200 8N1 ASCII address 9: Q4200 serial 4242424 version 03:01:05"});
    // 9600 RTU, 9600 ASCII and 19200 RTU over all twelve addresses, then nine at 19200 ASCII.
    EXPECT_EQ(search.Progress().done, 3 * 12 + 9);
    EXPECT_EQ(search.Progress().total, 4 * 12);
    EXPECT_EQ(search.Progress().badAnswers, 0);
    ASSERT_GE(reports.size(), 2u);
    EXPECT_EQ(reports.front().done, 0);
    EXPECT_GT(reports.front().msLeft, reports[20].msLeft);
    EXPECT_EQ(reports[20].settings, (SearchSettings{3, modbus::kFramingAscii, 0, 0, 0}));
    EXPECT_EQ(reports[20].address, 9);
    EXPECT_EQ(reports.back().msLeft, 0);
    // The unit heard the probes at the other speed as the garbage they are, and answered none.
    EXPECT_GT(link->Stats().lineMismatches, 0u);
    EXPECT_EQ(DeviceTest::unit->Counters().writes, 0u);
    EXPECT_EQ(Settings(), before);
}

TEST_F(UnitSearchTest, NothingAtTheAddressesSearchedEndsWithNoUnitAndTheSettingsAsTheyWere) {
    Start(Q4200(4242424, 200, sim::kModeRtu, 3));
    const WorkerSettings before = Settings();
    TUnitSearch search(*worker);
    EXPECT_EQ(search.Run(Plan({3}, 1, 10)), SearchEnd::Searched);
    EXPECT_TRUE(search.Found().empty());
    EXPECT_EQ(search.Progress().done, 20);
    EXPECT_EQ(search.Progress().badAnswers, 0);
    EXPECT_EQ(Settings(), before);
    // The line works as before: the unit at its own address answers the port setup's reads.
    uint8_t bytes[4] = {};
    EXPECT_EQ(worker->ReadRegisters(bytes, 200, kSerialNumberRegister, 3),
              modbus::kTransactionDone);
}

TEST_F(UnitSearchTest, CancelStopsBetweenProbesAndWithinAProbesTimeOut) {
    Start(Q4200(4242424, 200, sim::kModeRtu, 3));
    const WorkerSettings before = Settings();
    {
        TUnitSearch search(*worker);
        search.progress = [&](const SearchProgress& p) {
            if (p.done == 3 && search.Running())
                search.Cancel();
        };
        EXPECT_EQ(search.Run(Plan({3}, 1, 50)), SearchEnd::Cancelled);
        EXPECT_EQ(search.Progress().done, 3);
    }
    {
        // A probe waiting for its answer: the cancel comes while the worker waits.
        TUnitSearch search(*worker);
        SearchPlan plan = Plan({3}, 1, 50);
        plan.probeTimeOutMs = 5000;
        std::thread canceller([&] {
            std::this_thread::sleep_for(milliseconds(100));
            host.Post([&] { search.Cancel(); });
        });
        const auto start = steady_clock::now();
        EXPECT_EQ(search.Run(plan), SearchEnd::Cancelled);
        canceller.join();
        EXPECT_LT(steady_clock::now() - start, milliseconds(2500));
        EXPECT_LE(search.Progress().done, 1);
    }
    EXPECT_EQ(Settings(), before);
}

TEST_F(UnitSearchTest, APortClosedDuringTheSearchEndsIt) {
    Start(Q4200(4242424, 200, sim::kModeRtu, 3));
    TUnitSearch search(*worker);
    search.progress = [&](const SearchProgress& p) {
        if (p.done == 2)
            worker->ClosePort();
    };
    EXPECT_EQ(search.Run(Plan({3}, 1, 50)), SearchEnd::PortClosed);
    EXPECT_EQ(search.Progress().done, 2);
}

// Lines with more than one thing at the far end.
class SharedLineSearchTest : public DeviceTest {
protected:
    void SetUp() override { ASSERT_TRUE(line.ok()); }
    void TearDown() override {
        worker.reset();
        for (auto& l : links)
            l->Stop();
    }
    void AddUnit(const sim::UnitOptions& options) {
        units.push_back(std::make_unique<sim::SimUnit>(options));
        sim::LinkOptions linkOptions;
        linkOptions.paced = false;
        linkOptions.turnaround = {};
        links.push_back(std::make_unique<sim::SimLink>(*units.back(), linkOptions));
        std::string error;
        ASSERT_TRUE(links.back()->Start(error)) << error;
        ASSERT_TRUE(line.AddPeer(links.back()->SlavePath()));
    }
    void Open() {
        worker = std::make_unique<modbus::TModThread>(host, host);
        worker->SetPortResolver([this](int n) { return n == 1 ? line.Path() : ""; });
        worker->SetFraming(modbus::kFramingRtu);
        worker->SetRtuTimeOut(20);
        worker->SetResponseTimeOut(150);
        worker->SetRetries(1);
        ASSERT_TRUE(worker->OpenPort(1, 3, 0, 0, 0)) << worker->LastOpenError();
    }
    vantrel::test::SharedLine line;
    std::vector<std::unique_ptr<sim::SimUnit>> units;
    std::vector<std::unique_ptr<sim::SimLink>> links;
};

TEST_F(SharedLineSearchTest, FindAllListsEveryUnitOnTheLineAndStopAtFirstOnlyTheFirst) {
    AddUnit(Q4200(1111111, 4, sim::kModeRtu, 3));
    AddUnit(Q4200(2222222, 7, sim::kModeAscii, 5));
    Open();
    TUnitSearch search(*worker);
    EXPECT_EQ(search.Run(Plan({3, 5}, 1, 8, true)), SearchEnd::Searched);
    std::vector<std::string> found;
    for (const FoundUnit& unit : search.Found())
        found.push_back(FoundUnitText(unit));
    EXPECT_EQ(found, (std::vector<std::string>{
                         "9600 8N1 RTU address 4: Q4200 serial 1111111 version 03:01:05",
                         "19200 8N1 ASCII address 7: Q4200 serial 2222222 version 03:01:05"}));
    EXPECT_EQ(search.Progress().done, 4 * 8);
    EXPECT_EQ(search.Progress().badAnswers, 0);

    EXPECT_EQ(search.Run(Plan({3, 5}, 1, 8)), SearchEnd::FoundUnit);
    ASSERT_EQ(search.Found().size(), 1u);
    EXPECT_EQ(search.Found()[0].serial, 1111111);
    EXPECT_EQ(search.Progress().done, 4);
}

TEST_F(SharedLineSearchTest, TwoUnitsAtOneAddressNeverMakeOneUnitOfTwoHalves) {
    // Both answer every probe and read at once: their answers collide on the line.
    sim::UnitOptions first = Q4200(1111111, 3, sim::kModeRtu, 3);
    sim::UnitOptions second = Q4200(2222222, 3, sim::kModeRtu, 3);
    second.firmware = 40206;
    AddUnit(first);
    AddUnit(second);
    Open();
    TUnitSearch search(*worker);
    SearchPlan plan = Plan({3}, 1, 4, true);
    plan.framings = {modbus::kFramingRtu};
    EXPECT_EQ(search.Run(plan), SearchEnd::Searched);
    // Whatever got through is one whole unit, never the serial of one with the other's
    // version; and what did not is counted.
    for (const FoundUnit& unit : search.Found()) {
        EXPECT_EQ(unit.address, 3);
        EXPECT_TRUE((unit.serial == 1111111 && unit.version == 30105) ||
                    (unit.serial == 2222222 && unit.version == 40206))
            << FoundUnitText(unit);
    }
    EXPECT_EQ(search.Found().size() + static_cast<size_t>(search.Progress().badAnswers), 1u);
}

std::vector<uint8_t> RtuAnswer(std::vector<uint8_t> message) {
    const uint16_t crc = modbus::ModbusCrc16(message.data(), message.size());
    message.push_back(static_cast<uint8_t>(crc & 0xFF));
    message.push_back(static_cast<uint8_t>(crc >> 8));
    return message;
}

struct BadLine {
    const char* name;
    bool echo;
    vantrel::test::SharedLine::Responder responder;
};

// Each line answers every probe with something; none of it is a unit.
const std::vector<BadLine>& BadLines() {
    static const std::vector<BadLine> lines = {
        {"Echo", true, [](const std::vector<uint8_t>& request) { return request; }},
        {"Noise", false,
         [](const std::vector<uint8_t>&) {
             return std::vector<uint8_t>{0x13, 0x37, 0xFE, 0x00, 0x42, 0x99, 0x01};
         }},
        {"AnswersTheProbeOnly", false,
         [](const std::vector<uint8_t>& request) {
             // A well-formed answer to the serial number read, silence for everything else.
             if (request.size() == 8 && request[1] == 3 && request[3] == kSerialNumberRegister)
                 return RtuAnswer({request[0], 3, 4, 0x12, 0x34, 0x56, 0x00});
             return std::vector<uint8_t>{};
         }},
        {"WrongAddress", false,
         [](const std::vector<uint8_t>& request) {
             return RtuAnswer({static_cast<uint8_t>(request[0] + 1), 3, 4, 1, 2, 3, 0});
         }},
    };
    return lines;
}

class BadLineSearchTest : public SharedLineSearchTest,
                          public testing::WithParamInterface<BadLine> {};

TEST_P(BadLineSearchTest, NeverReportsAUnitThatDidNotIdentify) {
    line.SetResponder(GetParam().responder, GetParam().echo);
    Open();
    TUnitSearch search(*worker);
    search.unitFound = [](const FoundUnit& unit) { ADD_FAILURE() << FoundUnitText(unit); };
    SearchPlan plan = Plan({3}, 1, 5, true);
    plan.framings = {modbus::kFramingRtu};
    EXPECT_EQ(search.Run(plan), SearchEnd::Searched);
    EXPECT_TRUE(search.Found().empty());
    EXPECT_EQ(search.Progress().done, 5);
    // Every answer counts as a bad one. (An echo is the line's own and is dropped, unless the
    // machine held it back until after the request had left the line: then it is a bad answer.)
    if (!GetParam().echo) {
        EXPECT_EQ(search.Progress().badAnswers, 5);
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, BadLineSearchTest, testing::ValuesIn(BadLines()),
                         [](const testing::TestParamInfo<BadLine>& info) {
                             return std::string(info.param.name);
                         });

TEST(SearchPlanTest, PassesTakeSevenBitsWithAsciiOnlyAndDefaultsCoverTheUnitsSpeeds) {
    SearchPlan plan;
    plan.speeds = {3};
    plan.dataBits = {0, 1};
    plan.parities = {0, 1};
    std::vector<std::string> passes;
    for (const SearchSettings& pass : plan.Passes())
        passes.push_back(SearchSettingsText(pass));
    EXPECT_EQ(passes,
              (std::vector<std::string>{"9600 8N1 RTU", "9600 8E1 RTU", "9600 8N1 ASCII",
                                        "9600 8E1 ASCII", "9600 7N1 ASCII", "9600 7E1 ASCII"}));
    EXPECT_EQ(plan.ProbeCount(), 6 * 247);

    const SearchPlan defaults;
    EXPECT_EQ(defaults.ProbeCount(), 6 * 2 * 247);
    EXPECT_EQ(defaults.speeds.front(), 3); // 9600 first
    // The time-out leaves room for the frame's end at the speed, and grows as it slows.
    EXPECT_EQ(DefaultProbeTimeOutMs(3), kProbeTurnaroundMs + 5);
    EXPECT_EQ(DefaultProbeTimeOutMs(0), kProbeTurnaroundMs + 38);
    EXPECT_EQ(defaults.ProbeTimeOutMs(3), DefaultProbeTimeOutMs(3));
}

} // namespace
} // namespace vantrel::device::test
