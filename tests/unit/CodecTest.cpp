#include "modbus/ModbusCodec.h"
#include "modbus/ModbusResult.h"

#include <gtest/gtest.h>

#include <string>

using namespace vantrel::modbus;

namespace {

Frame Rtu(Frame message) {
    const uint16_t crc = ModbusCrc16(message.data(), message.size());
    message.push_back(static_cast<uint8_t>(crc & 0xFF));
    message.push_back(static_cast<uint8_t>(crc >> 8));
    return message;
}

Frame Ascii(const Frame& message) {
    Frame withLrc = message;
    withLrc.push_back(ModbusLrc(message.data(), message.size()));
    return AsciiEncodeFrame(withLrc.data(), withLrc.size());
}

Frame Text(const std::string& text) { return Frame(text.begin(), text.end()); }

std::string Hex(const Frame& frame) { return LogForm(frame.data(), frame.size(), kFramingRtu); }

} // namespace

TEST(Codec, BuildsTheRequestsOfBothFunctions) {
    Frame frame;
    ASSERT_TRUE(BuildReadRequest(1, 165, 3, kFramingRtu, frame));
    EXPECT_EQ(Hex(frame), "01 03 00 A5 00 02 D4 28 ");

    ASSERT_TRUE(BuildReadRequest(1, 165, 3, kFramingAscii, frame));
    EXPECT_EQ(frame, Text(":010300A5000255\r\n"));

    const uint8_t value[] = {0x40, 0xE2, 0x01}; // 123456, least significant first
    ASSERT_TRUE(BuildWriteRequest(1, 34, value, 3, kFramingRtu, false, frame));
    EXPECT_EQ(Hex(frame), "01 10 00 22 00 02 04 00 01 E2 40 68 FE ");
    EXPECT_EQ(frame.size(), 4u + 9u);

    ASSERT_TRUE(BuildWriteRequest(1, 34, value, 3, kFramingAscii, false, frame));
    EXPECT_EQ(frame.size(), 2u * 4u + 19u);
    EXPECT_EQ(frame.front(), ':');

    EXPECT_FALSE(BuildReadRequest(1, 165, 3, 2, frame));
    EXPECT_FALSE(BuildWriteRequest(1, 34, value, 3, 7, false, frame));
}

TEST(Codec, PadsOddWritesByMode) {
    const uint8_t one[] = {0x5A};
    Frame frame;
    ASSERT_TRUE(BuildWriteRequest(2, 13, one, 1, kFramingRtu, false, frame));
    EXPECT_EQ(Hex(frame).substr(0, 27), "02 10 00 0D 00 01 02 00 5A ");
    ASSERT_TRUE(BuildWriteRequest(2, 13, one, 1, kFramingRtu, true, frame));
    EXPECT_EQ(Hex(frame).substr(0, 27), "02 10 00 0D 00 01 02 5A 00 ");

    // Even counts need no pad in either mode: six bytes go out reversed.
    const uint8_t six[] = {1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(BuildWriteRequest(1, 1024, six, 6, kFramingRtu, true, frame));
    EXPECT_EQ(Hex(frame).substr(0, 39), "01 10 04 00 00 03 06 06 05 04 03 02 01 ");
}

TEST(Codec, RefusesRequestsTheFormatCannotCarry) {
    EXPECT_TRUE(RequestFits(false, 254, kFramingAscii));
    EXPECT_TRUE(RequestFits(true, 254, kFramingRtu));
    EXPECT_TRUE(RequestFits(true, 118, kFramingAscii));
    EXPECT_FALSE(RequestFits(true, 119, kFramingAscii));
    EXPECT_FALSE(RequestFits(true, 255, kFramingRtu));
    EXPECT_FALSE(RequestFits(false, 255, kFramingRtu));
    EXPECT_FALSE(RequestFits(false, 0, kFramingRtu));
}

TEST(Codec, ChecksumsOfKnownFrames) {
    const uint8_t request[] = {0x01, 0x03, 0x00, 0xA5, 0x00, 0x02};
    EXPECT_EQ(ModbusCrc16(request, 6), 0x28D4);
    EXPECT_EQ(ModbusLrc(request, 6), 0x55);
    Frame whole = Rtu(Frame(request, request + 6));
    EXPECT_EQ(ModbusCrc16(whole.data(), whole.size()), 0);
}

struct FrameCase {
    const char* name;
    int framing;
    Frame frame;
    int check;
};

TEST(Codec, ValidatesReceivedFrames) {
    Frame good = Rtu({1, 3, 2, 0x12, 0x34});
    Frame badCrc = good;
    badCrc.back() ^= 1;
    Frame ascii = Ascii({1, 3, 2, 0x12, 0x34});
    std::string lower(ascii.begin(), ascii.end());
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    Frame badLrc = Text(":01030212340000\r\n");
    const FrameCase cases[] = {
        {"rtu good", kFramingRtu, good, FrameValid},
        {"rtu bad crc", kFramingRtu, badCrc, FrameBadChecksum},
        {"rtu four bytes", kFramingRtu, {1, 3, 0, 0}, FrameBadLength},
        {"rtu empty", kFramingRtu, {}, FrameBadLength},
        {"ascii good", kFramingAscii, ascii, FrameValid},
        {"ascii lower case", kFramingAscii, Text(lower), FrameValid},
        {"ascii no colon", kFramingAscii, Text("0103021234B4\r\n"), FrameBadAscii},
        {"ascii no line end", kFramingAscii, Text(":0103021234B4\r"), FrameBadAscii},
        {"ascii even length", kFramingAscii, Text(":01030212340\r\n"), FrameBadLength},
        {"ascii too short", kFramingAscii, Text(":0183FC\r\n"), FrameBadLength},
        {"ascii not hex", kFramingAscii, Text(":01030212G4B4\r\n"), FrameBadAscii},
        {"ascii bad lrc", kFramingAscii, badLrc, FrameBadChecksum},
        {"ascii empty", kFramingAscii, {}, FrameBadAscii},
        {"unknown framing", 5, good, FrameUnknownFraming},
    };
    for (const FrameCase& c : cases) {
        Frame buffer = c.frame;
        size_t length = buffer.size();
        EXPECT_EQ(ValidateResponseFrame(buffer.data(), length, c.framing), c.check) << c.name;
    }

    // A valid ASCII frame is decoded in place.
    Frame buffer = ascii;
    size_t length = buffer.size();
    ASSERT_EQ(ValidateResponseFrame(buffer.data(), length, kFramingAscii), FrameValid);
    EXPECT_EQ(length, 6u);
    EXPECT_EQ(Frame(buffer.begin(), buffer.begin() + 5), (Frame{1, 3, 2, 0x12, 0x34}));
}

struct ReadCase {
    const char* name;
    Frame message; // without checksum
    uint8_t byteCount;
    bool cv700;
    int result;
    int exceptionCode;
};

TEST(Codec, ChecksReadResponsesInOrder) {
    const ReadCase cases[] = {
        {"success", {1, 3, 4, 0, 1, 2, 3}, 4, false, Success, -1},
        {"other slave", {2, 3, 4, 0, 1, 2, 3}, 4, false, WrongAddressResponse, -1},
        {"exception", {1, 0x83, 2}, 4, false, ReadingNotPossible, 2},
        {"write exception to a read", {1, 0x90, 2}, 4, false, WrongFunctionResponse, -1},
        {"function", {1, 4, 4, 0, 1, 2, 3}, 4, false, WrongFunctionResponse, -1},
        {"byte count", {1, 3, 2, 0, 1}, 4, false, WrongNumberOfBytesResponse, -1},
        {"one more byte", {1, 3, 3, 7, 8, 9}, 2, false, Success, -1},
        {"exact odd count", {1, 3, 3, 7, 8, 9}, 3, false, Success, -1},
        {"length", {1, 3, 4, 0, 1, 2}, 4, false, WrongResponseLength, -1},
        {"cv700 skips count", {1, 3, 2, 0, 1}, 4, true, Success, -1},
        {"cv700 skips length", {1, 3, 4, 0, 1}, 4, true, Success, -1},
    };
    for (const ReadCase& c : cases) {
        for (int framing : {kFramingRtu, kFramingAscii}) {
            Frame frame = framing == kFramingRtu ? Rtu(c.message) : Ascii(c.message);
            size_t length = frame.size();
            ASSERT_EQ(ValidateResponseFrame(frame.data(), length, framing), FrameValid) << c.name;
            CheckOutcome outcome =
                CheckReadResponse(frame.data(), length, 1, c.byteCount, framing, c.cv700);
            EXPECT_EQ(outcome.result, c.result) << c.name << " framing " << framing;
            EXPECT_EQ(outcome.exceptionCode, c.exceptionCode) << c.name;
        }
    }
}

struct WriteCase {
    const char* name;
    Frame message;
    int result;
};

TEST(Codec, ChecksWriteResponsesInOrder) {
    const WriteCase cases[] = {
        {"success", {1, 16, 0, 34, 0, 2}, Success},
        {"other slave", {3, 16, 0, 34, 0, 2}, WrongAddressResponse},
        {"exception", {1, 0x90, 4}, WritingNotPossible},
        {"function", {1, 3, 0, 34, 0, 2}, WrongFunctionResponse},
        {"register", {1, 16, 0, 35, 0, 2}, WrongVariableResponse},
        {"register count", {1, 16, 0, 34, 0, 1}, WrongNumberOfBytesResponse},
        {"register count high byte", {1, 16, 0, 34, 1, 2}, WrongNumberOfBytesResponse},
        {"length", {1, 16, 0, 34, 0, 2, 0}, WrongResponseLength},
        {"short frame", {1, 16, 0}, WrongVariableResponse},
    };
    for (const WriteCase& c : cases) {
        for (int framing : {kFramingRtu, kFramingAscii}) {
            Frame frame = framing == kFramingRtu ? Rtu(c.message) : Ascii(c.message);
            size_t length = frame.size();
            if (ValidateResponseFrame(frame.data(), length, framing) != FrameValid)
                continue; // too short for the framing: the frame check catches it
            CheckOutcome outcome = CheckWriteResponse(frame.data(), length, 1, 34, 4, framing);
            EXPECT_EQ(outcome.result, c.result) << c.name << " framing " << framing;
            if (c.result == WritingNotPossible) {
                EXPECT_EQ(outcome.exceptionCode, 4);
            }
        }
    }
}

struct ExtractCase {
    const char* name;
    Frame message;
    uint8_t byteCount;
    bool cv700;
    Frame expected; // least significant first
};

TEST(Codec, ExtractsValuesLeastSignificantFirst) {
    const ExtractCase cases[] = {
        {"one byte is the low byte", {1, 3, 2, 0xAA, 0x07}, 1, false, {0x07}},
        {"three bytes drop the pad", {1, 3, 4, 0x00, 0x12, 0xD6, 0x87}, 3, false,
         {0x87, 0xD6, 0x12}},
        {"two bytes of three", {1, 3, 3, 0x11, 0x22, 0x33}, 2, false, {0x22, 0x11}},
        {"exact odd count is right-aligned", {1, 3, 3, 0x12, 0xD6, 0x87}, 3, false,
         {0x87, 0xD6, 0x12}},
        {"cv700 odd answer", {1, 3, 3, 0x12, 0xD6, 0x87}, 3, true, {0x87, 0xD6, 0x12}},
        {"cv700 more data than asked", {1, 3, 4, 1, 2, 3, 4}, 2, true, {4, 3}},
        {"cv700 less data than asked", {1, 3, 1, 9}, 2, true, {9, 0}},
        {"cv700 count beyond the frame", {1, 3, 200, 5, 6}, 4, true, {6, 5, 0, 0}},
    };
    for (const ExtractCase& c : cases) {
        for (int framing : {kFramingRtu, kFramingAscii}) {
            Frame frame = framing == kFramingRtu ? Rtu(c.message) : Ascii(c.message);
            size_t length = frame.size();
            ASSERT_EQ(ValidateResponseFrame(frame.data(), length, framing), FrameValid) << c.name;
            Frame out(c.byteCount + 2, 0xEE);
            ExtractReadValue(frame.data(), length, framing, c.byteCount, c.cv700, out.data());
            EXPECT_EQ(Frame(out.begin(), out.begin() + c.byteCount), c.expected) << c.name;
            EXPECT_EQ(out[c.byteCount], 0xEE) << c.name << ": wrote past the value";
        }
    }
    Frame frame = Rtu({1, 3, 2, 0, 1});
    ExtractReadValue(frame.data(), frame.size(), kFramingRtu, 2, false, nullptr);
}

TEST(Codec, LogFormsOfBothFramings) {
    Frame rtu{0x01, 0x03, 0xA5};
    EXPECT_EQ(LogForm(rtu.data(), rtu.size(), kFramingRtu), "01 03 A5 ");
    Frame ascii = Text(":010300A5000255\r\n");
    EXPECT_EQ(LogForm(ascii.data(), ascii.size(), kFramingAscii), ": 01 03 00 A5 00 02 55  \\r \\n");
}

TEST(Codec, ResultTexts) {
    EXPECT_EQ(ResultText(ReadingNotPossible, 2), "Last Result: Reading not possible (ErrorCode: 2)");
    EXPECT_EQ(ResultText(WritingNotPossible, 6), "Last Result: Writing not possible (ErrorCode: 6)");
    EXPECT_EQ(ResultText(None, 0), "Last Result: None");
    EXPECT_EQ(ResultText(ResponseTimedOut, 0), "Last Result: Response Timed Out");
    EXPECT_EQ(ResultText(WrongResponseLength, 0), "Last Result: Wrong Response Length");
    EXPECT_EQ(ResultText(99, 0), "Last Result: Unknown");
}
