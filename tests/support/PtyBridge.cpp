#include "tests/support/PtyBridge.h"

#include "tests/support/LineClock.h"

#include <cerrno>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <time.h>

#include <algorithm>
#include <unistd.h>

namespace vantrel::test {

namespace {
bool OpenRaw(int& master, int& slave, std::string& path) {
    char name[256];
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return false;
    struct termios tio {};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    path = name;
    return true;
}

} // namespace

PtyBridge::PtyBridge(int baud) : characterNs_(10LL * 1000000000LL / std::max(baud, 1)) {
    stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    ok_ = stopFd_ >= 0 && OpenRaw(masterA_, slaveA_, pathA_) && OpenRaw(masterB_, slaveB_, pathB_);
    if (ok_)
        thread_ = std::thread([this] { Relay(); });
}

PtyBridge::~PtyBridge() {
    if (thread_.joinable()) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(stopFd_, &one, sizeof one);
        thread_.join();
    }
    for (int fd : {masterA_, slaveA_, masterB_, slaveB_, stopFd_})
        if (fd >= 0)
            ::close(fd);
}

void PtyBridge::Relay() {
    char buffer[512];
    for (;;) {
        struct pollfd p[3] = {{masterA_, POLLIN, 0}, {masterB_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(p, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (p[2].revents)
            return;
        for (int i = 0; i < 2; ++i) {
            if (!(p[i].revents & POLLIN))
                continue;
            ssize_t n = ::read(p[i].fd, buffer, sizeof buffer);
            if (n > 0)
                Forward(i == 0 ? masterB_ : masterA_, buffer, n);
        }
    }
}

void PtyBridge::Forward(int to, const char* bytes, ssize_t count) {
    long long at = std::max(NowNs(), lineFreeNs_);
    for (ssize_t k = 0; k < count; ++k) {
        at += characterNs_;
        SleepUntil(at);
        while (::write(to, bytes + k, 1) < 0 && (errno == EINTR || errno == EAGAIN)) {
        }
    }
    lineFreeNs_ = at;
}

} // namespace vantrel::test
