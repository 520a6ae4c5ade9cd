#pragma once

#include <atomic>
#include <string>
#include <sys/types.h>
#include <thread>

namespace vantrel::test {

// Two pseudo-terminals joined back to back, like a null-modem cable: what one program
// writes to the first path the other reads from the second. Lets two programs that both
// open a tty by path (our master, libmodbus) talk to each other. Each byte comes out once
// its character would have passed a line of the given speed (10 bits a character), so that
// neither side sees an answer before its request could have been heard.
class PtyBridge {
public:
    explicit PtyBridge(int baud = 9600);
    ~PtyBridge();
    bool ok() const { return ok_; }
    const std::string& PathA() const { return pathA_; }
    const std::string& PathB() const { return pathB_; }

private:
    void Relay();
    void Forward(int to, const char* bytes, ssize_t count);

    long long characterNs_;
    long long lineFreeNs_ = 0;
    bool ok_ = false;
    int masterA_ = -1, slaveA_ = -1, masterB_ = -1, slaveB_ = -1;
    int stopFd_ = -1;
    std::string pathA_, pathB_;
    std::thread thread_;
};

} // namespace vantrel::test
