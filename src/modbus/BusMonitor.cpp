#include "modbus/BusMonitor.h"

#include "modbus/ModbusResult.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace vantrel::modbus {

namespace {

constexpr const char* kHex = "0123456789ABCDEF";

// The captions of the columns, in the window's order.
constexpr const char* kHeader = "Time\tDirection\tAddress\tFunction\tFrame\tMeaning\tRound trip";

std::string Hex2(uint8_t value) {
    return {kHex[value >> 4], kHex[value & 0x0F]};
}

// The message bytes of a frame as far as they can be read: RTU as it is, ASCII the hex
// pairs after the colon up to the first character that is not one.
std::vector<uint8_t> LooseMessage(const uint8_t* frame, size_t length, int framing) {
    if (framing == kFramingRtu)
        return {frame, frame + length};
    std::vector<uint8_t> bytes;
    size_t i = 0;
    while (i < length && frame[i] != ':')
        ++i;
    for (++i; i + 1 < length; i += 2) {
        const int high = HexValue(frame[i]), low = HexValue(frame[i + 1]);
        if (high < 0 || low < 0)
            break;
        bytes.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    return bytes;
}

std::string Registers(int count) {
    return std::to_string(count) + (count == 1 ? " register" : " registers");
}

// Register values as four hex digits each, most significant byte first as on the wire.
std::string Words(const uint8_t* data, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        if (i % 2 == 0 && i > 0)
            text += ' ';
        text += Hex2(data[i]);
    }
    return text;
}

// Bytes that follow the header of a read answer: address, function, byte count.
constexpr size_t kReadHeader = 3;

size_t ChecksumLength(int framing) {
    return framing == kFramingRtu ? 2 : 1;
}

void Fail(TrafficRow& row, std::string meaning) {
    row.meaning = std::move(meaning);
    row.failed = true;
}

// An RTU frame that fails its CRC may only be cut short: the length its header promises
// tells one from the other.
size_t RtuLengthFromHeader(const uint8_t* frame, size_t length) {
    if (length < 2)
        return 5;
    const uint8_t function = frame[1];
    if (function & 0x80)
        return 5;
    if (function == kFunctionWrite)
        return 8;
    if (function == kFunctionRead)
        return length >= 3 ? frame[2] + 5u : 5u;
    return 0; // unknown: nothing to compare with
}

TrafficRow Base(const TrafficRequest& request, TrafficDirection direction, const uint8_t* frame,
                size_t length) {
    TrafficRow row;
    row.direction = direction;
    row.bytes = FrameText(frame, length, request.framing);
    const std::vector<uint8_t> message = LooseMessage(frame, length, request.framing);
    if (!message.empty())
        row.slave = message[0];
    if (message.size() > 1)
        row.function = message[1];
    return row;
}

} // namespace

std::string FrameText(const uint8_t* frame, size_t length, int framing) {
    std::string text;
    if (framing == kFramingRtu) {
        for (size_t i = 0; i < length; ++i) {
            if (i > 0)
                text += ' ';
            text += Hex2(frame[i]);
        }
        return text;
    }
    for (size_t i = 0; i < length; ++i) {
        const uint8_t c = frame[i];
        if (c == '\r')
            text += "<CR>";
        else if (c == '\n')
            text += "<LF>";
        else if (c >= 0x20 && c < 0x7F)
            text += static_cast<char>(c);
        else
            text += "<" + Hex2(c) + ">";
    }
    return text;
}

std::string ExceptionText(int code) {
    switch (code) {
    case 1:
        return "Illegal function";
    case 2:
        return "Illegal data address";
    case 3:
        return "Illegal data value";
    case 4:
        return "Slave device failure";
    case 5:
        return "Acknowledge";
    case 6:
        return "Slave device busy";
    case 8:
        return "Memory parity error";
    case 10:
        return "Gateway path unavailable";
    case 11:
        return "Gateway target device failed to respond";
    default:
        return "code " + std::to_string(code);
    }
}

TrafficRow RequestRow(const TrafficRequest& request, const uint8_t* frame, size_t length) {
    TrafficRow row = Base(request, TrafficDirection::Request, frame, length);
    const std::string what =
        Registers(RegisterCount(request.byteCount)) + " from " + std::to_string(request.reg);
    if (!request.write) {
        row.meaning = "read " + what;
        return row;
    }
    // address, function, register (2), count (2), byte count, then the values.
    constexpr size_t kWriteHeader = 7;
    const std::vector<uint8_t> message = LooseMessage(frame, length, request.framing);
    const size_t checksum = ChecksumLength(request.framing);
    row.meaning = "write " + what;
    if (message.size() > kWriteHeader + checksum)
        row.meaning +=
            ": " + Words(message.data() + kWriteHeader, message.size() - kWriteHeader - checksum);
    return row;
}

TrafficRow AnswerRow(const TrafficRequest& request, const uint8_t* frame, size_t length) {
    TrafficRow row = Base(request, TrafficDirection::Answer, frame, length);
    const bool rtu = request.framing == kFramingRtu;
    std::vector<uint8_t> buffer(frame, frame + length);
    size_t n = length;
    const int check = ValidateResponseFrame(buffer.data(), n, request.framing);
    if (check != FrameValid) {
        const size_t promised = rtu ? RtuLengthFromHeader(frame, length) : 0;
        if (rtu && (check == FrameBadLength || (promised != 0 && length < promised)))
            Fail(row, "short answer: " + std::to_string(length) + " bytes" +
                          (promised ? ", " + std::to_string(promised) + " expected" : ""));
        else if (check == FrameBadChecksum)
            Fail(row, rtu ? "CRC error" : "LRC error");
        else if (!rtu && length >= 1 && frame[0] == ':' &&
                 (length < 2 || frame[length - 2] != '\r' || frame[length - 1] != '\n'))
            Fail(row, "short answer: no line end");
        else if (check == FrameBadLength)
            Fail(row, "short answer: " + std::to_string(length) + " characters");
        else
            Fail(row, "not a frame: no ASCII frame");
        return row;
    }
    const CheckOutcome outcome =
        request.write ? CheckWriteResponse(buffer.data(), n, request.slave, request.reg,
                                           2 * RegisterCount(request.byteCount), request.framing)
                      : CheckReadResponse(buffer.data(), n, request.slave, request.byteCount,
                                          request.framing, request.cv700);
    if (outcome.exceptionCode >= 0) {
        Fail(row, "exception " + std::to_string(outcome.exceptionCode) + ": " +
                      ExceptionText(outcome.exceptionCode));
        return row;
    }
    const std::string asked = request.write ? "16" : "3";
    // A valid frame may still be shorter than the fields a check looked at.
    const auto at = [&buffer, n](size_t i) { return i < n ? int{buffer[i]} : 0; };
    const size_t overhead = kReadHeader + ChecksumLength(request.framing);
    switch (outcome.result) {
    case Success:
        break;
    case WrongAddressResponse:
        Fail(row, "wrong address: answer from " + std::to_string(at(0)) + ", asked " +
                      std::to_string(request.slave));
        return row;
    case WrongFunctionResponse:
        Fail(row, "wrong function: " + std::to_string(at(1)) + ", asked " + asked);
        return row;
    case WrongVariableResponse:
        Fail(row, "wrong register: " + std::to_string(at(2) << 8 | at(3)) + ", asked " +
                      std::to_string(request.reg));
        return row;
    case WrongNumberOfBytesResponse:
        if (request.write)
            Fail(row, "wrong register count: " + std::to_string(at(4) << 8 | at(5)) + ", asked " +
                          std::to_string(RegisterCount(request.byteCount)));
        else
            Fail(row, "wrong byte count: " + std::to_string(at(2)) + ", asked " +
                          std::to_string(2 * RegisterCount(request.byteCount)));
        return row;
    case WrongResponseLength: {
        if (request.write) {
            Fail(row, "wrong length: " + std::to_string(n) + " bytes");
            return row;
        }
        const size_t promised = static_cast<size_t>(at(2));
        const size_t came = n >= overhead ? n - overhead : 0;
        Fail(row, (came < promised ? "short answer: " : "long answer: ") + std::to_string(came) +
                      " data bytes, the byte count says " + std::to_string(promised));
        return row;
    }
    default:
        Fail(row, "not an answer");
        return row;
    }
    if (request.write) {
        row.meaning = "written: " + Registers(RegisterCount(request.byteCount)) + " from " +
                      std::to_string(request.reg);
        return row;
    }
    const size_t data = n >= overhead ? std::min<size_t>(at(2), n - overhead) : 0;
    row.meaning = "values: " + Words(buffer.data() + kReadHeader, data);
    return row;
}

TrafficRow TimeOutRow(const TrafficRequest& request, int timeOutMs) {
    TrafficRow row;
    row.direction = TrafficDirection::NoAnswer;
    row.slave = request.slave;
    row.function = request.write ? kFunctionWrite : kFunctionRead;
    Fail(row, "time-out: no answer within " + std::to_string(timeOutMs) + " ms");
    return row;
}

TrafficRow NotSentRow(const TrafficRequest& request, const std::string& reason) {
    TrafficRow row = TimeOutRow(request, 0);
    row.meaning = reason;
    return row;
}

TrafficRow DiscardedRow(const TrafficRequest& request, const uint8_t* frame, size_t length,
                        bool echo) {
    TrafficRow row = Base(request, TrafficDirection::Discarded, frame, length);
    if (echo)
        row.meaning = "echo of the request";
    else
        Fail(row, "not the answer: noise, or a late or second answer");
    return row;
}

std::string TimeOfDayText(long long wallMicros) {
    const std::time_t seconds = static_cast<std::time_t>(wallMicros / 1000000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(wallMicros / 1000 % 1000));
    return text;
}

const char* DirectionText(TrafficDirection direction) {
    switch (direction) {
    case TrafficDirection::Request:
        return "request";
    case TrafficDirection::Answer:
        return "answer";
    case TrafficDirection::NoAnswer:
        return "no answer";
    case TrafficDirection::Discarded:
        return "discarded";
    }
    return "";
}

std::string RoundTripText(long long micros) {
    if (micros < 0)
        return {};
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", static_cast<double>(micros) / 1000.0);
    return text;
}

std::string RowLine(const TrafficRow& row) {
    std::string line = TimeOfDayText(row.wallMicros);
    line += '\t';
    line += DirectionText(row.direction);
    line += '\t';
    if (row.slave >= 0)
        line += std::to_string(row.slave);
    line += '\t';
    if (row.function >= 0)
        line += std::to_string(row.function);
    line += '\t' + row.bytes + '\t' + row.meaning + '\t' + RoundTripText(row.roundTripMicros);
    return line;
}

std::string HeaderLine() {
    return kHeader;
}

void TrafficQueue::Row(TrafficRow row) {
    std::lock_guard lock(mutex_);
    if (rows_.size() >= capacity_) {
        ++dropped_;
        return;
    }
    rows_.push_back(std::move(row));
}

std::vector<TrafficRow> TrafficQueue::Take(size_t* dropped) {
    std::vector<TrafficRow> rows;
    std::lock_guard lock(mutex_);
    rows.swap(rows_);
    if (dropped)
        *dropped = dropped_;
    dropped_ = 0;
    return rows;
}

size_t TrafficRing::Append(std::vector<TrafficRow> rows) {
    size_t dropped = 0;
    for (TrafficRow& row : rows) {
        if (rows_.size() >= capacity_) {
            rows_.pop_front();
            ++dropped;
        }
        rows_.push_back(std::move(row));
    }
    return dropped;
}

} // namespace vantrel::modbus
