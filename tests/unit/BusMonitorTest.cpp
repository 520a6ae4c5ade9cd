// The bus monitor's rows as data: what each frame means, and the two containers rows pass
// through on their way to a view.

#include "modbus/BusMonitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

using namespace vantrel::modbus;

namespace {

Frame Rtu(Frame message) {
    const uint16_t crc = ModbusCrc16(message.data(), message.size());
    message.push_back(static_cast<uint8_t>(crc & 0xFF));
    message.push_back(static_cast<uint8_t>(crc >> 8));
    return message;
}

Frame Ascii(Frame message) {
    message.push_back(ModbusLrc(message.data(), message.size()));
    return AsciiEncodeFrame(message.data(), message.size());
}

TrafficRequest Read(int framing = kFramingRtu) {
    TrafficRequest request;
    request.slave = 1;
    request.reg = 165;
    request.byteCount = 3; // two registers, four data bytes in the answer
    request.framing = framing;
    return request;
}

TrafficRequest Write() {
    TrafficRequest request = Read();
    request.write = true;
    request.reg = 170;
    return request;
}

} // namespace

TEST(MonitorRows, AnswersSayWhatTheyMeanAndFaultsStandOut) {
    struct Case {
        const char* name;
        TrafficRequest request;
        Frame frame;
        std::string meaning;
        bool failed;
    };
    Frame badCrc = Rtu({1, 3, 4, 0x00, 0x00, 0xD4, 0x31});
    badCrc.back() ^= 0xFF;
    Frame badLrc = Ascii({1, 3, 4, 0x00, 0x00, 0xD4, 0x31});
    badLrc[badLrc.size() - 3] = badLrc[badLrc.size() - 3] == '0' ? '1' : '0';
    const Frame cut = {1, 3, 4, 0x00, 0x00, 0xD4};
    const std::vector<Case> cases = {
        {"values", Read(), Rtu({1, 3, 4, 0x00, 0x00, 0xD4, 0x31}), "values: 0000 D431", false},
        {"ascii values", Read(kFramingAscii), Ascii({1, 3, 4, 0x00, 0x12, 0xD6, 0x87}),
         "values: 0012 D687", false},
        {"written", Write(), Rtu({1, 16, 0, 170, 0, 2}), "written: 2 registers from 170", false},
        {"crc", Read(), badCrc, "CRC error", true},
        {"lrc", Read(kFramingAscii), badLrc, "LRC error", true},
        {"cut short", Read(), cut, "short answer: 6 bytes, 9 expected", true},
        {"runt", Read(), {1, 3}, "short answer: 2 bytes, 5 expected", true},
        {"byte missing, checksum valid", Read(), Rtu({1, 3, 4, 0x00, 0x00, 0xD4}),
         "short answer: 3 data bytes, the byte count says 4", true},
        {"ascii without line end",
         Read(kFramingAscii),
         {':', '0', '1', '0', '3'},
         "short answer: no line end",
         true},
        {"wrong address", Read(), Rtu({2, 3, 4, 0, 0, 0xD4, 0x31}),
         "wrong address: answer from 2, asked 1", true},
        {"exception", Read(), Rtu({1, 0x83, 2}), "exception 2: Illegal data address", true},
        {"unnamed exception", Write(), Rtu({1, 0x90, 0x21}), "exception 33: code 33", true},
        {"wrong byte count", Read(), Rtu({1, 3, 2, 0, 0}), "wrong byte count: 2, asked 4", true},
        {"wrong function", Read(), Rtu({1, 4, 4, 0, 0, 0xD4, 0x31}), "wrong function: 4, asked 3",
         true},
        {"wrong register", Write(), Rtu({1, 16, 0, 171, 0, 2}), "wrong register: 171, asked 170",
         true},
    };
    for (const Case& c : cases) {
        const TrafficRow row = AnswerRow(c.request, c.frame.data(), c.frame.size());
        EXPECT_EQ(row.meaning, c.meaning) << c.name;
        EXPECT_EQ(row.failed, c.failed) << c.name;
        EXPECT_EQ(row.direction, TrafficDirection::Answer) << c.name;
    }
}

TEST(MonitorRows, RequestsTimeOutsAndDiscardedBytes) {
    Frame read;
    BuildReadRequest(1, 165, 3, kFramingRtu, read);
    const TrafficRow request = RequestRow(Read(), read.data(), read.size());
    EXPECT_EQ(request.bytes, "01 03 00 A5 00 02 D4 28");
    EXPECT_EQ(request.meaning, "read 2 registers from 165");
    EXPECT_EQ(request.slave, 1);
    EXPECT_EQ(request.function, 3);
    EXPECT_FALSE(request.failed);

    const uint8_t value[3] = {0x45, 0x23, 0x01};
    Frame write;
    BuildWriteRequest(1, 170, value, 3, kFramingAscii, false, write);
    TrafficRequest asciiWrite = Write();
    asciiWrite.framing = kFramingAscii;
    const TrafficRow written = RequestRow(asciiWrite, write.data(), write.size());
    EXPECT_EQ(written.meaning, "write 2 registers from 170: 0001 2345");
    EXPECT_EQ(written.bytes.substr(0, 1), ":");
    EXPECT_EQ(written.bytes.substr(written.bytes.size() - 8), "<CR><LF>");
    EXPECT_EQ(written.function, 16);

    const TrafficRow timeOut = TimeOutRow(Read(), 500);
    EXPECT_EQ(timeOut.direction, TrafficDirection::NoAnswer);
    EXPECT_EQ(timeOut.meaning, "time-out: no answer within 500 ms");
    EXPECT_TRUE(timeOut.failed);

    const TrafficRow echo = DiscardedRow(Read(), read.data(), read.size(), true);
    EXPECT_EQ(echo.meaning, "echo of the request");
    EXPECT_FALSE(echo.failed); // a two-wire converter's echo is how such a line works
    const uint8_t noise[] = {0xFF, 0x00};
    EXPECT_TRUE(DiscardedRow(Read(), noise, 2, false).failed);
}

TEST(MonitorRows, OneLineHoldsTheColumnsInTheWindowsOrder) {
    TrafficRow row = TimeOutRow(Read(), 200);
    row.wallMicros = 1'700'000'000'123'456LL;
    row.roundTripMicros = 203'460;
    const std::string line = RowLine(row);
    // The time of day is local; its milliseconds are not.
    EXPECT_EQ(line.substr(8, 4), ".123");
    EXPECT_EQ(line.substr(12), "\tno answer\t1\t3\t\ttime-out: no answer within 200 ms\t203.5 ms");
    const std::string header = HeaderLine();
    EXPECT_EQ(std::count(header.begin(), header.end(), '\t'), 6);
}

TEST(MonitorContainers, TheRingKeepsTheNewestAndTheQueueCountsWhatItDropped) {
    TrafficRing ring(3);
    std::vector<TrafficRow> rows(5);
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i].slave = static_cast<int>(i);
    EXPECT_EQ(ring.Append(rows), 2u);
    ASSERT_EQ(ring.Size(), 3u);
    EXPECT_EQ(ring.At(0).slave, 2);
    EXPECT_EQ(ring.At(2).slave, 4);

    // A reader that falls behind loses the newest rows, counted, and the writer never waits.
    TrafficQueue queue(100);
    std::thread writer([&queue] {
        for (int i = 0; i < 250; ++i)
            queue.Row(TrafficRow{});
    });
    writer.join();
    size_t dropped = 0;
    EXPECT_EQ(queue.Take(&dropped).size(), 100u);
    EXPECT_EQ(dropped, 150u);
    queue.Row(TrafficRow{});
    EXPECT_EQ(queue.Take(&dropped).size(), 1u);
    EXPECT_EQ(dropped, 0u);
}
