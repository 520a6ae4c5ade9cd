#pragma once

// Frames for the two functions the tool uses (3 read holding registers, 16 write multiple
// registers) in RTU and ASCII framing. Pure functions over byte spans: no state but the
// framing and the CV700 flag the caller passes in.
//
// Callers hand values least significant byte first; on the wire they go most significant
// byte first, right-aligned in whole registers.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::modbus {

constexpr int kFramingAscii = 0;
constexpr int kFramingRtu = 1;

constexpr uint8_t kFunctionRead = 3;
constexpr uint8_t kFunctionWrite = 16;

// Largest response that can arrive for the largest legal read (254 value bytes):
// RTU 254 + 5 bytes, ASCII 2 * (254 + 4) + 3 characters.
constexpr size_t kMaxResponseLength = 2 * (254 + 4) + 3;

// Largest write an ASCII request can carry (the request stays within 127 message bytes).
constexpr int kMaxAsciiWriteBytes = 118;

using Frame = std::vector<uint8_t>;

uint16_t ModbusCrc16(const uint8_t* bytes, size_t length);
uint8_t ModbusLrc(const uint8_t* bytes, size_t length);

// ":" + two upper-case hex digits per byte + CR LF.
Frame AsciiEncodeFrame(const uint8_t* bytes, size_t count);

// Registers a value of byteCount bytes occupies.
inline int RegisterCount(int byteCount) {
    return (byteCount + 1) / 2;
}

// Whether the frame format can carry the request at all. Reads and writes take 1 to 254
// value bytes; an ASCII write at most kMaxAsciiWriteBytes.
bool RequestFits(bool write, int byteCount, int framing);

// Both return false for an unknown framing (nothing is built).
bool BuildReadRequest(uint8_t slave, uint16_t reg, uint8_t byteCount, int framing, Frame& out);
bool BuildWriteRequest(uint8_t slave, uint16_t reg, const uint8_t* data, uint8_t byteCount,
                       int framing, bool cv700, Frame& out);

// Check codes of ValidateResponseFrame.
enum FrameCheck : int {
    FrameValid = 0,
    FrameBadAscii = 1,
    FrameBadChecksum = 2,
    FrameUnknownFraming = 3,
    FrameBadLength = 4,
};

// Checks framing and checksum. For ASCII a valid frame is decoded in place: afterwards the
// buffer holds the message bytes and their LRC, and length is their number.
int ValidateResponseFrame(uint8_t* buffer, size_t& length, int framing);

struct CheckOutcome {
    int result = 0;         // a ModbusResult code
    int exceptionCode = -1; // set only for an exception response
};

// Both take a frame that passed ValidateResponseFrame (decoded for ASCII).
CheckOutcome CheckReadResponse(const uint8_t* frame, size_t length, uint8_t slave,
                               uint8_t byteCount, int framing, bool cv700);
CheckOutcome CheckWriteResponse(const uint8_t* frame, size_t length, uint8_t slave, uint16_t reg,
                                int paddedLength, int framing);

// Copies the value of a checked read response into out (byteCount bytes, least significant
// first). Never reads past the frame's data field. out may be null.
void ExtractReadValue(const uint8_t* frame, size_t length, int framing, uint8_t byteCount,
                      bool cv700, uint8_t* out);

// The value of one hex digit of an ASCII frame (either case); -1 for any other character.
int HexValue(uint8_t c);

// The frame as the traffic log shows it.
std::string LogForm(const uint8_t* frame, size_t length, int framing);

} // namespace vantrel::modbus
