#pragma once

#include <string>
#include <vector>

namespace vantrel::host {

// A serial port as the port list shows it: "COMn" with the device path and the adapter.
struct PortEntry {
    int number = 0;          // 1 to 255
    std::string name;        // "COM3"
    std::string path;        // /dev/serial/by-id/..., /dev/ttyS0, a pseudo-terminal
    std::string description; // the adapter, as far as the system tells
    bool present = false;    // false: known from the settings file but not plugged in
};

class PortList {
public:
    virtual ~PortList() = default;
    // Ports in number order; absent ones only when asked for.
    virtual std::vector<PortEntry> Ports(bool includeAbsent) = 0;
    // Device path of a port number, empty when there is none or it is not present.
    virtual std::string PathOf(int number) = 0;
};

} // namespace vantrel::host
