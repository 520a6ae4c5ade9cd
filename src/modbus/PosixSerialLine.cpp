#include "modbus/PosixSerialLine.h"

#include "modbus/SerialSpeed.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel::modbus {

namespace {

using Clock = std::chrono::steady_clock;

speed_t StandardSpeed(int baud) {
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return 0;
    }
}

std::string Errno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// errno values after which the device behind a descriptor is not coming back.
bool MeansGone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EPIPE || error == EBADF;
}

constexpr const char* kGoneText = "The port has gone away.";

bool InGroup(gid_t gid) {
    if (::getegid() == gid)
        return true;
    gid_t groups[256];
    const int count = ::getgroups(256, groups);
    for (int i = 0; i < count; ++i)
        if (groups[i] == gid)
            return true;
    return false;
}

} // namespace

std::string DescribeOpenError(const std::string& path, int error) {
    switch (error) {
    case EACCES:
    case EPERM: {
        // The group advice helps only when the device's group is one the user lacks.
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0 && !InGroup(info.st_gid)) {
            const struct group* entry = ::getgrgid(info.st_gid);
            const std::string name = entry ? entry->gr_name : std::to_string(info.st_gid);
            return "No permission to open " + path + ". Add your user to the '" + name +
                   "' group (sudo usermod -aG " + name + " $USER), then log out and in again.";
        }
        return "No permission to open " + path + ".";
    }
    case EBUSY:
    case EWOULDBLOCK:
        return path + " is in use by another program.";
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return path + " is not present (is the converter plugged in?).";
    default:
        return "Cannot open " + path + ": " + std::strerror(error);
    }
}

PosixSerialLine::PosixSerialLine() {
    cancelFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

PosixSerialLine::~PosixSerialLine() {
    Close();
    if (cancelFd_ >= 0)
        ::close(cancelFd_);
}

bool PosixSerialLine::Open(const std::string& path, std::string& error) {
    Close();
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = DescribeOpenError(path, errno);
        return false;
    }
    if (!::isatty(fd)) {
        error = path + " is not a serial port.";
        ::close(fd);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = DescribeOpenError(path, EBUSY);
        ::close(fd);
        return false;
    }
    if (::tcgetattr(fd, &saved_) != 0) {
        error = Errno("Cannot read the line settings of " + path);
        ::close(fd);
        return false;
    }
    ::ioctl(fd, TIOCEXCL);

    struct termios tio = saved_;
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~CRTSCTS;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::tcsetattr(fd, TCSANOW, &tio);

    // RS-485 direction switching by the driver, where it has it. ENOTTY/EINVAL: not here.
    savedRs485Valid_ = ::ioctl(fd, TIOCGRS485, &savedRs485_) == 0;
    kernelRs485_ = false;
    if (savedRs485Valid_) {
        struct serial_rs485 rs485 = savedRs485_;
        rs485.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
        rs485.flags &= ~SER_RS485_RTS_AFTER_SEND;
        kernelRs485_ = ::ioctl(fd, TIOCSRS485, &rs485) == 0;
    }
    // Converters whose driver batches input (a latency timer) answer late otherwise.
    struct serial_struct serial {};
    if (::ioctl(fd, TIOCGSERIAL, &serial) == 0 && !(serial.flags & ASYNC_LOW_LATENCY)) {
        serial.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(fd, TIOCSSERIAL, &serial);
    }
    int lines = 0;
    modemLines_ = ::ioctl(fd, TIOCMGET, &lines) == 0;
    if (modemLines_) {
        int dtr = TIOCM_DTR;
        ::ioctl(fd, TIOCMBIS, &dtr);
    }
    // Whatever arrived while nobody listened belongs to no request of ours.
    ::tcflush(fd, TCIOFLUSH);
    fd_ = fd;
    gone_ = false;
    DrainCancel();
    return true;
}

void PosixSerialLine::Close() {
    if (fd_ < 0)
        return;
    ::tcflush(fd_, TCIOFLUSH);
    if (savedRs485Valid_ && kernelRs485_)
        ::ioctl(fd_, TIOCSRS485, &savedRs485_);
    ::tcsetattr(fd_, TCSANOW, &saved_);
    ::flock(fd_, LOCK_UN);
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
    kernelRs485_ = modemLines_ = savedRs485Valid_ = false;
}

bool PosixSerialLine::Configure(const LineMode& mode, std::string& error) {
    if (fd_ < 0) {
        error = "No port open.";
        return false;
    }
    struct termios tio {};
    if (::tcgetattr(fd_, &tio) != 0) {
        error = Errno("tcgetattr");
        return false;
    }
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= (mode.dataBits == 7 ? CS7 : CS8) | CLOCAL | CREAD;
    if (mode.parity != 'N')
        tio.c_cflag |= PARENB | (mode.parity == 'O' ? PARODD : 0);
    if (mode.stopBits == 2)
        tio.c_cflag |= CSTOPB;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | ISTRIP);
    const speed_t standard = StandardSpeed(mode.baud);
    if (standard) {
        ::cfsetispeed(&tio, standard);
        ::cfsetospeed(&tio, standard);
    }
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
        error = Errno("tcsetattr");
        return false;
    }
    // Always through the interface that sets both directions: see SetLineSpeed.
    if (!SetLineSpeed(fd_, mode.baud) && !standard) {
        error = Errno("The port does not take " + std::to_string(mode.baud) + " baud");
        return false;
    }
    return true;
}

void PosixSerialLine::SetRts(bool on) {
    if (fd_ < 0 || !modemLines_)
        return;
    int rts = TIOCM_RTS;
    ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &rts);
}

void PosixSerialLine::Drain() {
    if (fd_ < 0)
        return;
    while (::tcdrain(fd_) != 0 && errno == EINTR) {
    }
}

void PosixSerialLine::PurgeInput() {
    if (fd_ >= 0)
        ::tcflush(fd_, TCIFLUSH);
}

void PosixSerialLine::ClearErrors() {
    // Line errors (framing, parity, overrun) do not latch on this platform: the bytes come
    // through as read, and the frame checks catch them.
}

bool PosixSerialLine::Write(const uint8_t* bytes, size_t length, std::string& error) {
    if (fd_ < 0) {
        error = "No port open.";
        return false;
    }
    size_t done = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (done < length) {
        ssize_t n = ::write(fd_, bytes + done, length - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            NoteError(errno);
            error = std::strerror(errno);
            return false;
        }
        // Output buffer full: wait until it takes more, within reason.
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            error = "The port did not take the request.";
            return false;
        }
        struct pollfd p {
            fd_, POLLOUT, 0
        };
        if (::poll(&p, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) {
            error = std::strerror(errno);
            return false;
        }
        if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) {
            MarkGone(error);
            return false;
        }
    }
    return true;
}

size_t PosixSerialLine::Receive(uint8_t* buffer, size_t max, const ReceiveLimits& limits,
                                const std::function<bool(const uint8_t*, size_t)>& complete,
                                const std::function<bool()>& abandoned, ReceiveEnd& end,
                                std::string& error) {
    size_t count = 0;
    end = ReceiveEnd::NoData;
    if (fd_ < 0) {
        end = ReceiveEnd::Error;
        error = "No port open.";
        return 0;
    }
    const auto start = Clock::now();
    const auto firstDeadline = start + limits.firstByte;
    const auto cap = start + limits.total;
    Clock::time_point lastByte{};
    // A reception that starts late, or a thread that wakes late, must not take bytes already
    // waiting for silence: once a deadline has passed the input is looked at once more.
    bool lookedAgain = false;
    for (;;) {
        const auto now = Clock::now();
        const auto deadline =
            count == 0 ? firstDeadline : std::min(lastByte + limits.interCharacter, cap);
        std::chrono::nanoseconds left{0};
        if (now >= deadline) {
            if (limits.lateBytesAreNext || lookedAgain || now >= cap) {
                end = count == 0 ? ReceiveEnd::NoData : ReceiveEnd::Gap;
                return count;
            }
            lookedAgain = true;
        } else {
            lookedAgain = false;
            left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - now);
        }
        struct timespec ts {
            static_cast<time_t>(left.count() / 1000000000),
                static_cast<long>(left.count() % 1000000000)
        };
        struct pollfd p[2] = {{fd_, POLLIN, 0}, {cancelFd_, POLLIN, 0}};
        int ready = ::ppoll(p, 2, &ts, nullptr);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            end = ReceiveEnd::Error;
            error = std::strerror(errno);
            return count;
        }
        if (ready == 0) {
            if (lookedAgain) {
                end = count == 0 ? ReceiveEnd::NoData : ReceiveEnd::Gap;
                return count;
            }
            continue; // the deadline test above ends it
        }
        if (p[1].revents & POLLIN) {
            DrainCancel();
            if (!abandoned || abandoned()) {
                end = ReceiveEnd::Cancelled;
                return count;
            }
            continue;
        }
        if (p[0].revents & POLLIN) {
            if (abandoned && abandoned()) {
                end = ReceiveEnd::Cancelled;
                return count;
            }
            // A first byte noticed only once the wait for it is over may have come after its
            // end (the timer wakes a little late): it is left for the next reception.
            if (limits.lateBytesAreNext && count == 0 && Clock::now() >= firstDeadline) {
                end = ReceiveEnd::NoData;
                return 0;
            }
            ssize_t n = ::read(fd_, buffer + count, max - count);
            if (n > 0) {
                count += static_cast<size_t>(n);
                lastByte = Clock::now();
                if (count >= max || (complete && complete(buffer, count))) {
                    end = count >= max && !(complete && complete(buffer, count))
                              ? ReceiveEnd::Gap
                              : ReceiveEnd::Complete;
                    return count;
                }
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            end = ReceiveEnd::Error;
            if (n < 0) {
                NoteError(errno);
                error = std::strerror(errno);
            } else {
                MarkGone(error); // end of file: the other side of the line is closed
            }
            return count;
        }
        if (p[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            end = ReceiveEnd::Error;
            MarkGone(error);
            return count;
        }
    }
}

void PosixSerialLine::MarkGone(std::string& error) {
    gone_ = true;
    error = kGoneText;
}

void PosixSerialLine::NoteError(int error) {
    if (MeansGone(error))
        gone_ = true;
}

void PosixSerialLine::CancelReceive() {
    if (cancelFd_ >= 0) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(cancelFd_, &one, sizeof one);
    }
}

void PosixSerialLine::DrainCancel() {
    if (cancelFd_ >= 0) {
        uint64_t value;
        [[maybe_unused]] ssize_t n = ::read(cancelFd_, &value, sizeof value);
    }
}

} // namespace vantrel::modbus
