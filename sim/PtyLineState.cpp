#include "sim/PtyLineState.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>
#include <cstring>

// <sys/ioctl.h> would pull in the libc termios types that clash with the kernel's.
extern "C" int ioctl(int fd, unsigned long request, ...);

namespace vantrel::sim {

namespace {

void Fail(std::string* error, const char* what) {
    if (error)
        *error = std::string(what) + ": " + std::strerror(errno);
}

} // namespace

bool ReadPtyLineState(int fd, PtyLineState& out, std::string* error) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) {
        Fail(error, "TCGETS2");
        return false;
    }
    out.baud = tio.c_ospeed;
    switch (tio.c_cflag & CSIZE) {
    case CS5:
        out.dataBits = 5;
        break;
    case CS6:
        out.dataBits = 6;
        break;
    case CS7:
        out.dataBits = 7;
        break;
    default:
        out.dataBits = 8;
        break;
    }
    if (!(tio.c_cflag & PARENB))
        out.parity = 0;
    else
        out.parity = (tio.c_cflag & PARODD) ? 2 : 1;
    out.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
    return true;
}

bool SetPtyLineState(int fd, const PtyLineState& state, std::string* error) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) {
        Fail(error, "TCGETS2");
        return false;
    }
    // What cfmakeraw does, spelled out for termios2.
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
    tio.c_cflag |= state.dataBits == 7 ? CS7 : CS8;
    if (state.parity != 0)
        tio.c_cflag |= PARENB | (state.parity == 2 ? PARODD : 0);
    if (state.stopBits == 2)
        tio.c_cflag |= CSTOPB;
    tio.c_ispeed = tio.c_ospeed = state.baud;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (ioctl(fd, TCSETS2, &tio) != 0) {
        Fail(error, "TCSETS2");
        return false;
    }
    return true;
}

} // namespace vantrel::sim
