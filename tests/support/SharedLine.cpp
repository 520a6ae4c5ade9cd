#include "tests/support/SharedLine.h"

#include "tests/support/LineClock.h"

#include "sim/PtyLineState.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace vantrel::test {

namespace {

void WriteAll(int fd, const uint8_t* bytes, size_t count) {
    while (count > 0) {
        const ssize_t n = ::write(fd, bytes, count);
        if (n > 0) {
            bytes += n;
            count -= static_cast<size_t>(n);
        } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
            return;
        }
    }
}

constexpr long long kTurnaroundNs = 2000000;

} // namespace

SharedLine::SharedLine() {
    char name[256];
    stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    if (stopFd_ < 0 || ::openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        return;
    struct termios tio {};
    ::tcgetattr(slave_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave_, TCSANOW, &tio);
    path_ = name;
    ok_ = true;
    thread_ = std::thread([this] { Relay(); });
}

SharedLine::~SharedLine() {
    if (thread_.joinable()) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(stopFd_, &one, sizeof one);
        thread_.join();
    }
    for (int fd : peers_)
        ::close(fd);
    for (int fd : {master_, slave_, stopFd_})
        if (fd >= 0)
            ::close(fd);
}

bool SharedLine::AddPeer(const std::string& ttyPath) {
    const int fd = ::open(ttyPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::lock_guard lock(mutex_);
    peers_.push_back(fd);
    return true;
}

void SharedLine::SetResponder(Responder responder, bool echo) {
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
    echo_ = echo;
}

void SharedLine::FromMaster(const std::vector<uint8_t>& bytes) {
    sim::PtyLineState line;
    const bool known = sim::ReadPtyLineState(slave_, line) && line.baud > 0;
    std::vector<int> peers;
    Responder responder;
    bool echo = false;
    {
        std::lock_guard lock(mutex_);
        peers = peers_;
        responder = responder_;
        echo = echo_;
    }
    for (int peer : peers) {
        // The units hear the line as the master has set it.
        if (known)
            sim::SetPtyLineState(peer, line);
        WriteAll(peer, bytes.data(), bytes.size());
    }
    if (!responder)
        return;
    const std::vector<uint8_t> answer = responder(bytes);
    if (answer.empty())
        return;
    if (!echo) {
        const long long lineNs =
            static_cast<long long>(bytes.size()) * 10 * 1000000000LL / (known ? line.baud : 9600);
        SleepUntil(NowNs() + lineNs + kTurnaroundNs);
    }
    WriteAll(master_, answer.data(), answer.size());
}

void SharedLine::Relay() {
    uint8_t buffer[512];
    for (;;) {
        std::vector<pollfd> fds{{master_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        {
            std::lock_guard lock(mutex_);
            for (int peer : peers_)
                fds.push_back({peer, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), 50) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0)
                FromMaster(std::vector<uint8_t>(buffer, buffer + n));
        }
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!(fds[i].revents & POLLIN))
                continue;
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0)
                WriteAll(master_, buffer, static_cast<size_t>(n));
        }
    }
}

} // namespace vantrel::test
