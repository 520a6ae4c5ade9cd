#pragma once

#include "modbus/LineSettings.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace vantrel::modbus {

// How a reception ended.
enum class ReceiveEnd {
    Complete,  // the frame announced its end
    Gap,       // no byte within the inter-character time-out
    NoData,    // nothing came within the no-response time-out
    Cancelled, // CancelReceive from another thread
    Error,     // the port failed (see the error text)
};

struct ReceiveLimits {
    std::chrono::microseconds firstByte{500000}; // until the first byte
    std::chrono::microseconds interCharacter{5000};
    std::chrono::microseconds total{1000000}; // cap on the whole reception
    // Bytes first noticed once the wait for the first one is over belong to whatever comes
    // next (a wait that only discards what precedes an answer). Otherwise the input is looked
    // at once more when a deadline has passed, so that a late start or a late wake-up does not
    // take bytes already waiting for silence.
    bool lateBytesAreNext = false;
};

// The serial port of the master. Open, configure and write run on the GUI thread, Receive on
// the worker; CancelReceive may come from any thread.
class SerialLine {
public:
    virtual ~SerialLine() = default;

    virtual bool Open(const std::string& path, std::string& error) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // Speed, parity, data bits, stop bits; no flow control; DTR on.
    virtual bool Configure(const LineMode& mode, std::string& error) = 0;

    // Whether the driver switches the RS-485 direction itself (or there is no RTS to drive).
    virtual bool DriverSwitchesDirection() const = 0;
    virtual void SetRts(bool on) = 0;
    // Blocks until the output has left the line.
    virtual void Drain() = 0;

    virtual void PurgeInput() = 0;
    virtual void ClearErrors() = 0;

    // Writes the whole frame; false when not every byte could be written.
    virtual bool Write(const uint8_t* bytes, size_t length, std::string& error) = 0;

    // Reads up to max bytes. complete(buffer, count) tells when a frame has announced its end;
    // abandoned() is asked whenever CancelReceive woke the reception (a wake-up meant for an
    // earlier reception is ignored when the current one is still wanted).
    virtual size_t Receive(uint8_t* buffer, size_t max, const ReceiveLimits& limits,
                           const std::function<bool(const uint8_t*, size_t)>& complete,
                           const std::function<bool()>& abandoned, ReceiveEnd& end,
                           std::string& error) = 0;
    virtual void CancelReceive() = 0;

    // Whether the device behind the open port has gone away (unplugged converter, closed
    // pseudo-terminal): the last write or reception failed with a hang-up or an I/O error.
    virtual bool Gone() const { return false; }
};

} // namespace vantrel::modbus
