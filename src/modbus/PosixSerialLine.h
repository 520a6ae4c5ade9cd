#pragma once

#include "modbus/SerialLine.h"

#include <atomic>
#include <linux/serial.h>
#include <termios.h>

namespace vantrel::modbus {

// The serial line on termios and poll(): exclusive open (TIOCEXCL and flock), raw mode,
// the saved line settings put back on close, the kernel's RS-485 direction switching where
// the driver has it, low-latency mode where the driver allows it.
class PosixSerialLine final : public SerialLine {
public:
    PosixSerialLine();
    ~PosixSerialLine() override;

    bool Open(const std::string& path, std::string& error) override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }
    bool Configure(const LineMode& mode, std::string& error) override;
    bool DriverSwitchesDirection() const override { return kernelRs485_ || !modemLines_; }
    void SetRts(bool on) override;
    void Drain() override;
    void PurgeInput() override;
    void ClearErrors() override;
    bool Write(const uint8_t* bytes, size_t length, std::string& error) override;
    size_t Receive(uint8_t* buffer, size_t max, const ReceiveLimits& limits,
                   const std::function<bool(const uint8_t*, size_t)>& complete,
                   const std::function<bool()>& abandoned, ReceiveEnd& end,
                   std::string& error) override;
    void CancelReceive() override;
    bool Gone() const override { return gone_; }

private:
    void DrainCancel();
    // Records errno values and poll events that mean the device is no longer there.
    void NoteError(int error);
    // A hang-up: the device is gone, and the error says so.
    void MarkGone(std::string& error);

    int fd_ = -1;
    int cancelFd_ = -1;
    bool kernelRs485_ = false;
    bool modemLines_ = false;
    bool savedRs485Valid_ = false;
    std::atomic<bool> gone_{false};
    struct serial_rs485 savedRs485_ {};
    struct termios saved_ {};
};

// A message a user can act on for an errno of open().
std::string DescribeOpenError(const std::string& path, int error);

} // namespace vantrel::modbus
