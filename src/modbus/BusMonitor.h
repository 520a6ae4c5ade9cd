#pragma once

// The bus monitor as data: one row per frame the worker sent or heard, with what it means,
// and the two containers the rows pass through — the hand-off from the thread that runs the
// transactions (bounded, never waits for its reader) and the ring of the last rows a view
// shows (drops the oldest). The window and the command line's --log-traffic show the same
// rows; RowLine is their one-line text form.

#include "modbus/ModbusCodec.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace vantrel::modbus {

// Rows a monitor keeps before it drops the oldest.
constexpr size_t kMonitorRows = 10000;

enum class TrafficDirection {
    Request,   // a frame we sent
    Answer,    // the frame taken as the answer to it
    NoAnswer,  // nothing (or nothing usable) came: time-out, send failure, attempt given up
    Discarded, // bytes heard on the line that were not the answer: echo, noise, late frames
};

struct TrafficRow {
    long long wallMicros = 0; // time of day, system clock, microseconds since the epoch
    TrafficDirection direction = TrafficDirection::Request;
    int slave = -1;    // -1: the frame does not say
    int function = -1; // as on the wire (exception answers have the top bit set)
    std::string bytes; // hex pairs for RTU, the characters for ASCII
    std::string meaning;
    long long roundTripMicros = -1; // answers and time-outs: since the request went out
    bool failed = false;            // this row shows a fault
    bool failedAttempt = false;     // the attempt it belongs to did not succeed
};

// What a request asked for: the worker's request, as the rows describe it.
struct TrafficRequest {
    bool write = false;
    uint8_t slave = 0;
    uint16_t reg = 0;
    uint8_t byteCount = 0;
    int framing = kFramingRtu;
    bool cv700 = false;
};

// The rows as data: each one from a frame and the request it belongs to.
TrafficRow RequestRow(const TrafficRequest& request, const uint8_t* frame, size_t length);
TrafficRow AnswerRow(const TrafficRequest& request, const uint8_t* frame, size_t length);
TrafficRow TimeOutRow(const TrafficRequest& request, int timeOutMs);
// The request could not be sent or its attempt was given up; reason says which.
TrafficRow NotSentRow(const TrafficRequest& request, const std::string& reason);
// echo: the bytes are the request as a two-wire converter hears it back.
TrafficRow DiscardedRow(const TrafficRequest& request, const uint8_t* frame, size_t length,
                        bool echo);

// The frame's bytes as the monitor shows them.
std::string FrameText(const uint8_t* frame, size_t length, int framing);
// Modbus exception codes in words; a code the protocol does not name gets its number.
std::string ExceptionText(int code);
// "13:02:07.415", local time.
std::string TimeOfDayText(long long wallMicros);
const char* DirectionText(TrafficDirection direction);
std::string RoundTripText(long long micros);
// The columns in the window's order, tab separated: time, direction, address, function,
// bytes, meaning, round trip.
std::string RowLine(const TrafficRow& row);
// The column captions, in RowLine's order and form.
std::string HeaderLine();

// Receives rows as the transactions happen, on the thread that runs them. A sink must not
// wait for anything slow: it holds up the transactions.
class TrafficSink {
public:
    virtual ~TrafficSink() = default;
    virtual void Row(TrafficRow row) = 0;
};

// The hand-off to a reader on another schedule (the window's timer): Row takes a short
// lock and never waits for the reader; when the reader falls behind by `capacity` rows the
// newest are dropped and counted.
class TrafficQueue final : public TrafficSink {
public:
    explicit TrafficQueue(size_t capacity = kMonitorRows) : capacity_(capacity) {}
    void Row(TrafficRow row) override;
    // The rows since the last Take, and how many were dropped since then.
    std::vector<TrafficRow> Take(size_t* dropped = nullptr);

private:
    std::mutex mutex_;
    std::vector<TrafficRow> rows_;
    size_t dropped_ = 0;
    size_t capacity_;
};

// The last `capacity` rows; older ones are dropped as new ones come.
class TrafficRing {
public:
    explicit TrafficRing(size_t capacity = kMonitorRows) : capacity_(capacity) {}
    // Returns how many of the oldest rows were dropped to make room.
    size_t Append(std::vector<TrafficRow> rows);
    void DropOldest() { rows_.pop_front(); }
    void Clear() { rows_.clear(); }
    size_t Size() const { return rows_.size(); }
    const TrafficRow& At(size_t index) const { return rows_[index]; }
    size_t Capacity() const { return capacity_; }

private:
    std::deque<TrafficRow> rows_;
    size_t capacity_;
};

} // namespace vantrel::modbus
