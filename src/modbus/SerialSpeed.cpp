#include "modbus/SerialSpeed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace vantrel::modbus {

namespace {

// The kernel's own code for a rate it knows by number; BOTHER for any other.
tcflag_t SpeedCode(int baud) {
    struct Rate {
        int baud;
        tcflag_t code;
    };
    static const Rate kRates[] = {{1200, B1200},   {2400, B2400},    {4800, B4800},
                                  {9600, B9600},   {19200, B19200},  {38400, B38400},
                                  {57600, B57600}, {115200, B115200}};
    for (const Rate& rate : kRates)
        if (rate.baud == baud)
            return rate.code;
    return BOTHER;
}

} // namespace

bool SetLineSpeed(int fd, int baud) {
    struct termios2 tio {};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return false;
    // Both directions, with the same code: a standard rate written through the old interface
    // after a BOTHER rate would leave the input direction at the old rate.
    const tcflag_t code = SpeedCode(baud);
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= code | (code << IBSHIFT);
    tio.c_ispeed = static_cast<speed_t>(baud);
    tio.c_ospeed = static_cast<speed_t>(baud);
    return ::ioctl(fd, TCSETS2, &tio) == 0;
}

int GetLineInputSpeed(int fd) {
    struct termios2 tio {};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return 0;
    return static_cast<int>(tio.c_ispeed);
}

int GetLineSpeed(int fd) {
    struct termios2 tio {};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return 0;
    return static_cast<int>(tio.c_ospeed);
}

} // namespace vantrel::modbus
