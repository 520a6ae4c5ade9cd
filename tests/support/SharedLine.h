#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vantrel::test {

// One serial line with several things at its far end, for the master to open by path: the
// simulated units of other pseudo-terminals (each hears every request at the master's line
// settings, and their answers come back), and a responder that answers each request as a
// faulty line would (an echo, noise). What the far ends send reaches the master only.
class SharedLine {
public:
    // Gets the bytes of one request, returns what goes back (nothing: silence). echo: sent
    // back while the request is still on the line, as a two-wire converter does; else after
    // the request has passed and a short turnaround.
    using Responder = std::function<std::vector<uint8_t>(const std::vector<uint8_t>& request)>;

    SharedLine();
    ~SharedLine();
    bool ok() const { return ok_; }
    const std::string& Path() const { return path_; }

    // Before the master opens the line.
    bool AddPeer(const std::string& ttyPath);
    void SetResponder(Responder responder, bool echo = false);

private:
    void Relay();
    void FromMaster(const std::vector<uint8_t>& bytes);

    bool ok_ = false;
    int master_ = -1, slave_ = -1, stopFd_ = -1;
    std::string path_;
    std::vector<int> peers_;
    std::mutex mutex_;
    Responder responder_;
    bool echo_ = false;
    std::thread thread_;
};

} // namespace vantrel::test
