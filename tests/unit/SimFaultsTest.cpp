// The simulated unit's line faults and timing, seen from the tool's side of the pty: raw
// requests written, the bytes that come back and when each of them arrived.

#include "modbus/ModbusCodec.h"
#include "sim/PtyLineState.h"
#include "sim/SimLink.h"
#include "sim/SimUnit.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

using namespace vantrel;
using namespace vantrel::sim;

namespace {

constexpr int64_t kMs = 1000000;

int64_t NowNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

std::vector<uint8_t> Rtu(std::vector<uint8_t> message) {
    const uint16_t crc = modbus::ModbusCrc16(message.data(), message.size());
    message.push_back(uint8_t(crc));
    message.push_back(uint8_t(crc >> 8));
    return message;
}

std::vector<uint8_t> ReadRequest(uint8_t address, uint16_t reg, uint16_t count) {
    return Rtu({address, 3, uint8_t(reg >> 8), uint8_t(reg), uint8_t(count >> 8), uint8_t(count)});
}

std::vector<uint8_t> WriteRequest(uint16_t reg, int registers) {
    std::vector<uint8_t> m{
        1, 16, uint8_t(reg >> 8), uint8_t(reg), 0, uint8_t(registers), uint8_t(2 * registers)};
    m.resize(m.size() + 2 * registers, 0);
    return Rtu(m);
}

struct Byte {
    uint8_t value;
    int64_t ns; // when the tool's side could read it
};

std::vector<uint8_t> Values(const std::vector<Byte>& bytes, size_t from = 0, size_t to = SIZE_MAX) {
    std::vector<uint8_t> values;
    for (size_t i = from; i < std::min(to, bytes.size()); ++i)
        values.push_back(bytes[i].value);
    return values;
}

// The tool's end of the pty, at the unit's line settings.
class ToolSide {
public:
    bool Open(const std::string& path, unsigned baud) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        PtyLineState line;
        line.baud = baud;
        return fd_ >= 0 && SetPtyLineState(fd_, line);
    }
    ~ToolSide() {
        if (fd_ >= 0)
            close(fd_);
    }

    // Returns when the request was written (all at once, as a driver's buffer takes it).
    int64_t Send(const std::vector<uint8_t>& request) {
        const int64_t ns = NowNs();
        if (write(fd_, request.data(), request.size()) != ssize_t(request.size()))
            ADD_FAILURE() << "short write";
        return ns;
    }

    // Everything that arrives until the line has been quiet for quietMs (for the first byte:
    // firstMs, when given).
    std::vector<Byte> Collect(int quietMs, int firstMs = 0) {
        std::vector<Byte> bytes;
        for (;;) {
            pollfd fd{fd_, POLLIN, 0};
            if (poll(&fd, 1, bytes.empty() && firstMs ? firstMs : quietMs) <= 0)
                return bytes;
            const int64_t ns = NowNs();
            uint8_t chunk[256];
            const ssize_t n = read(fd_, chunk, sizeof chunk);
            for (ssize_t i = 0; i < n; ++i)
                bytes.push_back({chunk[i], ns});
        }
    }

private:
    int fd_ = -1;
};

struct Rig {
    explicit Rig(int baud, LinkOptions options = {}, unsigned toolBaud = 0) {
        UnitOptions unitOptions;
        unitOptions.model = Model::Q4200;
        unitOptions.serial = 0x123456;
        unitOptions.comm.baudIndex = IndexForBaud(baud);
        unit = std::make_unique<SimUnit>(unitOptions);
        link = std::make_unique<SimLink>(*unit, options);
        std::string error;
        started = link->Start(error) && tool.Open(link->SlavePath(), toolBaud ? toolBaud : baud);
        EXPECT_TRUE(started) << error;
    }

    std::unique_ptr<SimUnit> unit;
    std::unique_ptr<SimLink> link;
    ToolSide tool;
    bool started = false;
};

// The serial number, read from 165: the answer every case below expects.
const std::vector<uint8_t> kRequest = ReadRequest(1, 165, 2);
const std::vector<uint8_t> kAnswer = Rtu({1, 3, 4, 0x00, 0x12, 0x34, 0x56});

} // namespace

TEST(SimFaults, EachKindShapesWhatComesBackAndWhen) {
    // 2400 baud 8N1: a character takes 4.17 ms, so pacing is far above scheduler jitter.
    constexpr int kBaud = 2400;
    constexpr int64_t kChar = 10 * 1000000000LL / kBaud;
    // Longer than a scheduler's hiccup, so that a turnaround where none belongs shows.
    constexpr int64_t kTurnaround = 20 * kMs;
    const int64_t requestLine = int64_t(kRequest.size()) * kChar;
    constexpr int64_t kJitter = 6 * kMs; // allowed lateness of a byte we read
    // A loaded machine (the tests run side by side) can hold a reader back for longer.
    constexpr int64_t kLateness = 15 * kMs;

    enum Part { Echo, Noise, Answer };
    struct Case {
        const char* what;
        Fault fault;
        std::vector<Part> parts;
        int noiseBytes = 0;
    };
    auto fault = [](FaultKind kind, int gapMs = 0, int garbage = 0) {
        Fault f;
        f.kind = kind;
        f.gapMs = gapMs;
        f.garbageBytes = garbage;
        return f;
    };
    const Case cases[] = {
        {"no fault but a zero delay", fault(FaultKind::Delay), {Answer}},
        {"duplicate after 30 ms", fault(FaultKind::Duplicate, 30), {Answer, Answer}},
        {"duplicate, default gap", fault(FaultKind::Duplicate), {Answer, Answer}},
        {"garbage before", fault(FaultKind::GarbageBefore, 0, 3), {Noise, Answer}, 3},
        {"one garbage byte before", fault(FaultKind::GarbageBefore), {Noise, Answer}, 1},
        {"garbage after", fault(FaultKind::GarbageAfter, 0, 2), {Answer, Noise}, 2},
        {"echo", fault(FaultKind::Echo), {Echo, Answer}},
    };

    for (const bool paced : {true, false}) {
        LinkOptions options;
        options.paced = paced;
        options.turnaround = std::chrono::microseconds(kTurnaround / 1000);
        Rig rig(kBaud, options);
        ASSERT_TRUE(rig.started);
        const int64_t pace = paced ? kChar : 0;
        // Checks what came back and that nothing came early; returns how much later than
        // allowed the latest byte was (0 or less: none), which a busy machine can cause on
        // its own and so gets five tries.
        auto exchange = [&](const Case& c) -> int64_t {
            rig.link->InjectFault(c.fault);
            const int64_t sent = rig.tool.Send(kRequest);
            const std::vector<Byte> got = rig.tool.Collect(60, 500);

            auto sizeOf = [&](Part part) {
                return part == Echo    ? kRequest.size()
                       : part == Noise ? size_t(c.noiseBytes)
                                       : kAnswer.size();
            };
            size_t expectedSize = 0;
            for (Part part : c.parts)
                expectedSize += sizeOf(part);
            EXPECT_EQ(got.size(), expectedSize) << "bytes that came back";
            if (got.size() != expectedSize)
                return 0;

            int64_t late = std::numeric_limits<int64_t>::min();
            size_t at = 0;
            int64_t partEnd = 0; // arrival of the previous part's last byte
            // The earliest the previous part's last byte can have arrived: a reader woken late
            // sees it later than it came, and a bound taken from that would move with the load.
            int64_t partDueEnd = 0;
            int64_t streamFrom = 0; // noise and the answer it touches are paced as one
            size_t streamAt = 0;
            for (size_t p = 0; p < c.parts.size(); ++p) {
                const Part part = c.parts[p];
                const size_t size = sizeOf(part);
                if (part == Echo) {
                    EXPECT_EQ(Values(got, at, at + size), kRequest);
                } else if (part == Answer) {
                    EXPECT_EQ(Values(got, at, at + size), kAnswer) << "part " << p;
                }

                // When the part may start: the echo with the request, the answer once the
                // request has left the line (and a turnaround, paced), a copy after its gap,
                // noise right against the answer.
                const bool continues = p > 0 && (part == Noise || c.parts[p - 1] == Noise);
                const int64_t gapNs = (c.fault.gapMs ? c.fault.gapMs : 5) * kMs;
                if (!continues) {
                    streamAt = at;
                    if (part == Echo)
                        streamFrom = sent;
                    else if (p > 0 && c.parts[p - 1] == Answer)
                        streamFrom = partDueEnd + gapNs - kJitter;
                    else
                        streamFrom = sent + requestLine + (paced ? kTurnaround : 0);
                }
                for (size_t i = 0; i < size; ++i) {
                    const int64_t ns = got[at + i].ns;
                    // Paced, no character arrives before it can have been sent whole.
                    const int64_t due = streamFrom + int64_t(at + i - streamAt + 1) * pace;
                    EXPECT_GE(ns, due) << "part " << p << " byte " << i;
                    // And none leaves a gap inside a part, nor between noise and the answer.
                    if (i > 0 || continues)
                        late = std::max(late, ns - got[at + i - 1].ns - (pace + kLateness));
                }
                if (part == Echo && !paced) // at once
                    late = std::max(late, got[at].ns - (sent + requestLine) + 1);
                if (part == Answer && p > 0 && c.parts[p - 1] == Answer)
                    late = std::max(late, got[at].ns - partEnd - (gapNs + pace + 30 * kMs));
                at += size;
                partEnd = got[at - 1].ns;
                partDueEnd = streamFrom + int64_t(at - streamAt) * pace;
            }
            EXPECT_EQ(rig.link->Stats().lastAnswer, kAnswer);
            return late;
        };
        uint64_t exchanges = 0;
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (paced ? ", paced" : ", unpaced"));
            int64_t late = 0;
            for (int attempt = 0; attempt < 5; ++attempt) {
                ++exchanges;
                late = exchange(c);
                if (late <= 0)
                    break;
            }
            EXPECT_LE(late, 0) << "ns later than the line allows, on each of five tries";
        }
        EXPECT_EQ(rig.link->Stats().faultsApplied, exchanges);
    }
}

TEST(SimFaults, UnpacedAnswersWaitForTheRequestToLeaveTheLine) {
    struct Case {
        const char* what;
        int unitBaud;
        unsigned toolBaud; // the speed the tool set on the port
        std::vector<uint8_t> request;
        std::vector<uint8_t> answer;
    };
    const Case cases[] = {
        {"read at 2400", 2400, 2400, kRequest, kAnswer},
        {"read at 9600", 9600, 9600, kRequest, kAnswer},
        // 9 + 2 * 60 bytes at 4800: 269 ms on the line.
        {"long write at 4800", 4800, 4800, WriteRequest(14, 60), {}},
        // Without the line check the tool's own speed is what the request takes.
        {"tool at 1200, unit at 9600", 9600, 1200, kRequest, kAnswer},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LinkOptions options;
        options.paced = false;
        options.turnaround = {};
        options.lineCheck = c.unitBaud == int(c.toolBaud);
        Rig rig(c.unitBaud, options, c.toolBaud);
        ASSERT_TRUE(rig.started);
        const int64_t line = int64_t(c.request.size()) * 10 * 1000000000LL / c.toolBaud;
        // Early is a fault every time; late or spread out can be a busy machine, so the best
        // of three rounds counts for those.
        int64_t bestDelay = INT64_MAX, bestSpread = INT64_MAX;
        for (int round = 0; round < 3; ++round) {
            const int64_t sent = rig.tool.Send(c.request);
            const std::vector<Byte> got = rig.tool.Collect(20, 1000);
            ASSERT_FALSE(got.empty());
            if (!c.answer.empty()) {
                EXPECT_EQ(Values(got), c.answer);
            }
            EXPECT_GE(got.front().ns, sent + line) << "round " << round;
            bestDelay = std::min(bestDelay, got.front().ns - (sent + line));
            bestSpread = std::min(bestSpread, got.back().ns - got.front().ns);
            const LinkStats stats = rig.link->Stats();
            EXPECT_GE(stats.lastRequestCompleteNs, stats.lastRequestStartNs + line);
            EXPECT_GE(stats.lastAnswerStartNs, stats.lastRequestCompleteNs);
        }
        EXPECT_LT(bestDelay, 30 * kMs) << "not much later either";
        EXPECT_LE(bestSpread, 3 * kMs) << "in one write";
    }
}

TEST(SimFaults, RandomFaultsFollowTheirSeed) {
    // 40 requests alternating between registers 165 and 14; each answer shows what hit it:
    // '.' clean, 'E' an exception, 'W' another address, '-' nothing came back.
    Fault exception;
    exception.kind = FaultKind::Exception;
    Fault wrongAddress;
    wrongAddress.kind = FaultKind::WrongAddress;
    auto run = [&](RandomFaults random, const std::function<void(SimLink&, int)>& before = {}) {
        LinkOptions options;
        options.paced = false;
        options.turnaround = {};
        Rig rig(38400, options);
        rig.link->SetRandomFaults(random);
        std::string hits;
        for (int i = 0; i < 40; ++i) {
            if (before)
                before(*rig.link, i);
            rig.tool.Send(i % 2 ? ReadRequest(1, 14, 1) : kRequest);
            const std::vector<uint8_t> got = Values(rig.tool.Collect(3, 200));
            hits += got.empty()                        ? '-'
                    : got.size() == 5 && got[1] & 0x80 ? 'E'
                    : got[0] != 1                      ? 'W'
                                                       : '.';
        }
        return std::make_pair(hits, rig.link->Stats().faultsApplied);
    };
    auto count = [](const std::string& s, char c) {
        return uint64_t(std::count(s.begin(), s.end(), c));
    };

    const RandomFaults half{0.5, 7, {exception, wrongAddress}};
    const auto [hits, applied] = run(half);
    EXPECT_EQ(applied, count(hits, 'E') + count(hits, 'W'));
    EXPECT_GT(count(hits, 'E'), 3u) << hits;
    EXPECT_GT(count(hits, 'W'), 3u) << hits;
    EXPECT_GT(count(hits, '.'), 8u) << hits;
    EXPECT_EQ(run(half).first, hits) << "same seed, same requests hit";
    EXPECT_NE(run({0.5, 8, {exception, wrongAddress}}).first, hits) << "another seed";

    // Requests for another unit and targeted faults use no draw of their own: the rest of the
    // run is hit as before.
    const auto [withOthers, othersApplied] = run(half, [](SimLink& link, int i) {
        if (i == 10) {
            Fault drop;
            drop.kind = FaultKind::DropAnswer;
            link.InjectFault(drop);
        }
        if (i == 20) {
            ToolSide other;
            ASSERT_TRUE(other.Open(link.SlavePath(), 38400));
            other.Send(ReadRequest(2, 14, 1));
            EXPECT_TRUE(other.Collect(30).empty()) << "unit 2 does not answer";
        }
    });
    std::string expected = hits;
    expected[10] = '-';
    EXPECT_EQ(withOthers, expected) << "a targeted fault takes precedence";
    EXPECT_EQ(othersApplied, applied + 1 - (hits[10] != '.' ? 1 : 0));

    EXPECT_EQ(run({0, 7, {exception}}), std::make_pair(std::string(40, '.'), uint64_t(0)));
    EXPECT_EQ(run({1, 7, {exception}}), std::make_pair(std::string(40, 'E'), uint64_t(40)));
    std::string everyOther;
    for (int i = 0; i < 40; ++i)
        everyOther += i % 2 ? 'E' : '.';
    EXPECT_EQ(run({1, 7, {exception}, 14}).first, everyOther) << "only register 14";
}

TEST(SimFaults, NoiseBytesFollowTheSeed) {
    auto noise = [](uint32_t seed) {
        LinkOptions options;
        options.paced = false;
        options.turnaround = {};
        Rig rig(38400, options);
        Fault garbage;
        garbage.kind = FaultKind::GarbageBefore;
        garbage.garbageBytes = 16;
        rig.link->SetRandomFaults({1, seed, {garbage}});
        std::vector<uint8_t> all;
        for (int i = 0; i < 3; ++i) {
            rig.tool.Send(kRequest);
            std::vector<uint8_t> got = Values(rig.tool.Collect(3, 200));
            EXPECT_EQ(got.size(), 16 + kAnswer.size());
            all.insert(all.end(), got.begin(), got.begin() + 16);
        }
        return all;
    };
    const std::vector<uint8_t> first = noise(3);
    EXPECT_EQ(noise(3), first);
    EXPECT_NE(noise(4), first);
    EXPECT_NE(std::vector<uint8_t>(first.begin(), first.begin() + 16),
              std::vector<uint8_t>(first.begin() + 16, first.begin() + 32))
        << "each answer gets noise of its own";
}
