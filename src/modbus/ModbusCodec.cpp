#include "modbus/ModbusCodec.h"

#include "modbus/ModbusResult.h"

#include <algorithm>

namespace vantrel::modbus {

namespace {

const char kHex[] = "0123456789ABCDEF";

// Byte i of a frame, 0 past its end: the checks look at fixed offsets that a short frame
// may not have, and a missing byte must fail the check that needs it, not read beyond.
uint8_t At(const uint8_t* frame, size_t length, size_t i) {
    return i < length ? frame[i] : 0;
}

// Header and checksum bytes around the data field of a read response.
size_t ReadOverhead(int framing) {
    return framing == kFramingRtu ? 5 : 4;
}

bool Finish(Frame& message, int framing, Frame& out) {
    if (framing == kFramingRtu) {
        uint16_t crc = ModbusCrc16(message.data(), message.size());
        message.push_back(static_cast<uint8_t>(crc & 0xFF));
        message.push_back(static_cast<uint8_t>(crc >> 8));
        out = std::move(message);
        return true;
    }
    if (framing == kFramingAscii) {
        message.push_back(ModbusLrc(message.data(), message.size()));
        out = AsciiEncodeFrame(message.data(), message.size());
        return true;
    }
    out.clear();
    return false;
}

} // namespace

int HexValue(uint8_t c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

uint16_t ModbusCrc16(const uint8_t* bytes, size_t length) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < length; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            bool carry = crc & 1;
            crc >>= 1;
            if (carry)
                crc ^= 0xA001;
        }
    }
    return crc;
}

uint8_t ModbusLrc(const uint8_t* bytes, size_t length) {
    uint8_t sum = 0;
    for (size_t i = 0; i < length; ++i)
        sum = static_cast<uint8_t>(sum + bytes[i]);
    return static_cast<uint8_t>(-sum);
}

Frame AsciiEncodeFrame(const uint8_t* bytes, size_t count) {
    Frame out;
    out.reserve(2 * count + 3);
    out.push_back(':');
    for (size_t i = 0; i < count; ++i) {
        out.push_back(static_cast<uint8_t>(kHex[bytes[i] >> 4]));
        out.push_back(static_cast<uint8_t>(kHex[bytes[i] & 0x0F]));
    }
    out.push_back('\r');
    out.push_back('\n');
    return out;
}

bool RequestFits(bool write, int byteCount, int framing) {
    if (byteCount < 1 || byteCount > 254)
        return false;
    return !(write && framing == kFramingAscii && byteCount > kMaxAsciiWriteBytes);
}

bool BuildReadRequest(uint8_t slave, uint16_t reg, uint8_t byteCount, int framing, Frame& out) {
    Frame message{slave,
                  kFunctionRead,
                  static_cast<uint8_t>(reg >> 8),
                  static_cast<uint8_t>(reg & 0xFF),
                  0,
                  static_cast<uint8_t>(RegisterCount(byteCount))};
    return Finish(message, framing, out);
}

bool BuildWriteRequest(uint8_t slave, uint16_t reg, const uint8_t* data, uint8_t byteCount,
                       int framing, bool cv700, Frame& out) {
    const int registers = RegisterCount(byteCount);
    const int padded = 2 * registers;
    Frame message{slave,
                  kFunctionWrite,
                  static_cast<uint8_t>(reg >> 8),
                  static_cast<uint8_t>(reg & 0xFF),
                  0,
                  static_cast<uint8_t>(registers),
                  static_cast<uint8_t>(padded)};
    const bool pad = padded != byteCount;
    if (pad && !cv700)
        message.push_back(0);
    for (int i = byteCount - 1; i >= 0; --i)
        message.push_back(data ? data[i] : 0);
    if (pad && cv700)
        message.push_back(0);
    return Finish(message, framing, out);
}

int ValidateResponseFrame(uint8_t* buffer, size_t& length, int framing) {
    if (framing == kFramingRtu) {
        if (length < 5)
            return FrameBadLength;
        return ModbusCrc16(buffer, length) == 0 ? FrameValid : FrameBadChecksum;
    }
    if (framing != kFramingAscii)
        return FrameUnknownFraming;
    if (length < 1 || buffer[0] != ':')
        return FrameBadAscii;
    if (length < 3 || buffer[length - 2] != '\r' || buffer[length - 1] != '\n')
        return FrameBadAscii;
    if (length % 2 == 0 || length < 11)
        return FrameBadLength;
    for (size_t i = 1; i < length - 2; ++i)
        if (HexValue(buffer[i]) < 0)
            return FrameBadAscii;
    const size_t decoded = (length - 3) / 2;
    uint8_t sum = 0;
    for (size_t i = 0; i < decoded; ++i) {
        // Writing position i only after reading positions 2i+1 and 2i+2, which lie ahead.
        uint8_t value =
            static_cast<uint8_t>(HexValue(buffer[2 * i + 1]) << 4 | HexValue(buffer[2 * i + 2]));
        buffer[i] = value;
        sum = static_cast<uint8_t>(sum + value);
    }
    length = decoded;
    return sum == 0 ? FrameValid : FrameBadChecksum;
}

CheckOutcome CheckReadResponse(const uint8_t* frame, size_t length, uint8_t slave,
                               uint8_t byteCount, int framing, bool cv700) {
    if (At(frame, length, 0) != slave)
        return {WrongAddressResponse};
    const uint8_t function = At(frame, length, 1);
    if (function == (kFunctionRead | 0x80))
        return {ReadingNotPossible, At(frame, length, 2)};
    if (function != kFunctionRead)
        return {WrongFunctionResponse};
    if (!cv700) {
        const int t = At(frame, length, 2);
        if (t != byteCount && t != byteCount + 1)
            return {WrongNumberOfBytesResponse};
        if (length != t + ReadOverhead(framing))
            return {WrongResponseLength};
    }
    return {Success};
}

CheckOutcome CheckWriteResponse(const uint8_t* frame, size_t length, uint8_t slave, uint16_t reg,
                                int paddedLength, int framing) {
    if (At(frame, length, 0) != slave)
        return {WrongAddressResponse};
    const uint8_t function = At(frame, length, 1);
    if (function == (kFunctionWrite | 0x80))
        return {WritingNotPossible, At(frame, length, 2)};
    if (function != kFunctionWrite)
        return {WrongFunctionResponse};
    if (At(frame, length, 2) != (reg >> 8) || At(frame, length, 3) != (reg & 0xFF))
        return {WrongVariableResponse};
    if (At(frame, length, 4) != 0 || At(frame, length, 5) != paddedLength / 2)
        return {WrongNumberOfBytesResponse};
    if (length != (framing == kFramingRtu ? 8u : 7u))
        return {WrongResponseLength};
    return {Success};
}

void ExtractReadValue(const uint8_t* frame, size_t length, int framing, uint8_t byteCount,
                      bool cv700, uint8_t* out) {
    if (!out)
        return;
    for (int i = 0; i < byteCount; ++i)
        out[i] = 0;
    const size_t overhead = ReadOverhead(framing);
    if (length < overhead)
        return;
    const uint8_t* data = frame + 3;
    // Data bytes that actually arrived: the byte count, never more than the frame holds.
    const size_t available = std::min<size_t>(frame[2], length - overhead);
    if (cv700) {
        for (size_t k = 0; k < available && k < byteCount; ++k)
            out[k] = data[available - 1 - k];
        return;
    }
    // The value ends where the requested registers end; a unit that sends exactly the odd
    // byte count it was asked for (no pad) ends its data one byte earlier.
    const size_t registerBytes = 2 * static_cast<size_t>(RegisterCount(byteCount));
    const size_t end = std::min(registerBytes, available);
    for (size_t i = 0; i < byteCount && i < end; ++i)
        out[i] = data[end - 1 - i];
}

std::string LogForm(const uint8_t* frame, size_t length, int framing) {
    std::string text;
    if (framing == kFramingRtu) {
        text.reserve(3 * length);
        for (size_t i = 0; i < length; ++i) {
            text += kHex[frame[i] >> 4];
            text += kHex[frame[i] & 0x0F];
            text += ' ';
        }
        return text;
    }
    // ASCII: shown in pairs of hex digits, ":" and the line end set apart.
    bool paired = false;
    for (size_t i = 0; i < length; ++i) {
        const char c = static_cast<char>(frame[i]);
        if (c == ':') {
            text += ": ";
            paired = false;
        } else if (c == '\r') {
            text += " \\r";
            paired = true;
        } else if (c == '\n') {
            text += " \\n";
            paired = true;
        } else {
            text += c;
            if (paired) {
                text += ' ';
                paired = false;
            } else {
                paired = true;
            }
        }
    }
    return text;
}

} // namespace vantrel::modbus
