#pragma once

// Puts a SimUnit on a pseudo-terminal: the tool opens SlavePath() as its serial port. One
// thread reads requests, paces them as a real line would and writes the answers.
//
// Public members may be called from any thread while the link runs.

#include "sim/PtyLineState.h"
#include "sim/SimUnit.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace vantrel::sim {

struct LinkOptions {
    // Either way a request occupies the line for the time its characters take at the speed
    // the tool set on the port (the unit cannot answer what it has not wholly heard): it counts
    // as received that long after its first byte arrived, and nothing of the answer starts
    // before then. A master may therefore discard whatever begins before its request can
    // have left the line.
    // Paced: the answer starts a turnaround after that and goes out one character at a time at
    // the unit's speed. Unpaced: it goes out in one write as soon as the request is received,
    // without the turnaround.
    bool paced = true;
    std::chrono::microseconds turnaround{5000};
    // The unit stays silent while the speed or stop bits the tool put on the port differ
    // from its own. (A pty keeps no parity or character size: the kernel forces 8N on it,
    // so those two cannot be compared.)
    bool lineCheck = true;
    // When set, kept as a symlink to the slave side (replacing an older symlink there) and
    // removed on Stop and while disconnected.
    std::string linkPath;
};

enum class FaultKind {
    Silence,       // the request is not heard (request loss): not carried out, no answer
    DropAnswer,    // carried out, but the answer is lost
    BadChecksum,   // the answer's CRC / LRC is wrong
    WrongAddress,  // the answer carries another slave address (valid checksum)
    DropLastByte,  // the answer's last message byte is left out, checksum valid
    Truncate,      // the finished frame is cut short (no valid checksum at its end)
    Exception,     // an exception response with exceptionCode instead (not carried out)
    Delay,         // delayMs more before the answer starts; beyond the master's time-out it
                   // is a late answer, there for whatever the master sends next
    Disconnect,    // the pty goes away: the tool's port fails with EIO
    Duplicate,     // the answer goes out, then after gapMs of silence once more, whole
    GarbageBefore, // garbageBytes noise bytes right before the answer, no gap between
    GarbageAfter,  // garbageBytes noise bytes right after the answer, no gap between
    Echo,          // a two-wire converter's echo: the request's bytes come back while it is
                   // on the line (paced: each as its character is received; unpaced: at
                   // once), then the answer as usual
};

constexpr int kAlways = -1;

struct Fault {
    FaultKind kind = FaultKind::Silence;
    int count = 1;         // requests it applies to, kAlways for all
    int exceptionCode = 4; // Exception
    int delayMs = 0;       // Delay: the extra wait. Disconnect: back after this long (0: not
                           // until Reconnect)
    int truncateBytes = 0; // Truncate: bytes cut from the end; 0 cuts half the frame
    int reg = -1;          // only requests starting at this register count; -1: any
    int gapMs = 0;         // Duplicate: silence between the two copies; 0: 5 ms
    int garbageBytes = 0;  // GarbageBefore / GarbageAfter: how many; 0: one
};

// Faults at a rate: each request the unit would answer (and, with reg >= 0, that starts at
// reg) is hit with probability rate by one of kinds, drawn uniformly; the kinds' own
// parameters apply, their count and reg are not used. The draws come from a generator seeded
// with seed, one per such request whether a targeted fault takes it or not, so the same seed
// and the same requests hit the same requests. Noise bytes come from a generator seeded from
// seed too.
struct RandomFaults {
    double rate = 0;
    uint32_t seed = 1;
    std::vector<Fault> kinds;
    int reg = -1;
};

struct LinkStats {
    uint64_t frames = 0;         // complete frames with a valid checksum
    uint64_t badFrames = 0;      // bad checksum / hex, runts
    uint64_t lineMismatches = 0; // frames ignored because the tool's line settings differ
    uint64_t answered = 0;       // answers written
    uint64_t faultsApplied = 0;  // targeted and random ones
    uint64_t disconnects = 0;
    // CLOCK_MONOTONIC nanoseconds of the last request answered or not: its first byte read,
    // when the unit took it as complete, the answer's first and last byte written (noise and a
    // second copy included, an echo not).
    int64_t lastRequestStartNs = 0;
    int64_t lastRequestCompleteNs = 0;
    int64_t lastAnswerStartNs = 0;
    int64_t lastAnswerEndNs = 0;
    std::vector<uint8_t> lastRequest; // frame as it came, framing included
    std::vector<uint8_t> lastAnswer;  // frame as it went out (one copy, without noise)
};

class SimLink {
public:
    explicit SimLink(SimUnit& unit, LinkOptions options = {});
    ~SimLink();
    SimLink(const SimLink&) = delete;
    SimLink& operator=(const SimLink&) = delete;

    // Opens the pty and starts serving it.
    bool Start(std::string& error);
    // Stops serving and closes the pty; returns once the thread has ended.
    void Stop();
    bool Running() const;

    // /dev/pts/N for the tool to open; empty while disconnected or stopped.
    std::string SlavePath() const;

    void SetPaced(bool paced);
    void SetTurnaround(std::chrono::microseconds turnaround);
    void SetLineCheck(bool check);
    LinkOptions Options() const;

    // A fault of a kind (and register) already waiting replaces it. Faults count down on
    // requests the unit would answer (its address, not rebooting, the fault's register);
    // requests for others pass them by.
    void InjectFault(const Fault& fault);
    void ClearFaults();
    std::vector<Fault> Faults() const;

    // Replaces the random faults (rate 0 or no kinds: none) and restarts their generators.
    // A targeted fault that applies to a request takes precedence over a random one.
    void SetRandomFaults(const RandomFaults& faults);

    // Pulls the port away now / brings it back (a new pty, the symlink follows).
    // reconnectAfter > 0 brings it back by itself.
    bool Disconnect(std::chrono::milliseconds reconnectAfter = std::chrono::milliseconds(0));
    bool Reconnect(std::string& error);
    bool Connected() const;

    // The line settings the tool has put on the port, as far as a pty keeps them.
    bool ToolLine(PtyLineState& out) const;

    LinkStats Stats() const;
    void ResetStats();

    // Called on the link thread with one line per frame in and out ("rx ...", "tx ...").
    void SetTrace(std::function<void(const std::string&)> trace);

private:
    struct Assembler;
    enum class Command { None, Disconnect, Reconnect };

    void Run();
    bool OpenPty(std::string& error);
    void ClosePty();
    void UpdateSymlink();
    void RemoveSymlink();
    bool WaitUntil(int64_t deadlineNs); // false when stopping
    bool WaitWritable();
    void Serve(Assembler& in, int64_t nowNs);
    void ProcessFrame(std::vector<uint8_t> frame, int framing, int64_t firstNs);
    static bool LineMatches(const CommSettings& comm, const PtyLineState* tool);
    // Writes bytes as characters on the line from startNs; returns when the last one is due
    // to have arrived (0 when stopped or the pty went away).
    int64_t SendBytes(const std::vector<uint8_t>& bytes, int64_t startNs, int64_t charNs,
                      int64_t* firstWrittenNs = nullptr);
    std::vector<Fault> TakeFaults(int startRegister);
    // Adds a random fault to faults when one hits and none was targeted.
    void DrawRandomFault(int startRegister, std::vector<Fault>& faults);
    std::vector<uint8_t> Noise(int count);
    static int64_t RequestLineNs(size_t characters, const CommSettings& comm,
                                 const PtyLineState* tool);
    void DoCommand();
    bool RunCommand(std::unique_lock<std::mutex>& lock, Command command);
    void Wake();
    void Trace(const char* direction, const std::vector<uint8_t>& frame, int framing);

    SimUnit& unit_;

    mutable std::mutex mutex_; // guards everything below but the fds, which only the thread
                               // touches while it runs
    LinkOptions options_;
    std::vector<Fault> faults_;
    RandomFaults random_;
    std::mt19937 randomDraws_{1};
    std::mt19937 noise_{0x6E6F6973};
    LinkStats stats_;
    std::string slavePath_;
    std::function<void(const std::string&)> trace_;
    Command command_ = Command::None;
    std::chrono::milliseconds commandReconnectAfter_{0};
    uint64_t commandsDone_ = 0;
    bool commandOk_ = false;
    std::string commandError_;
    std::condition_variable commandDone_;
    int64_t reconnectAtNs_ = 0; // 0: none scheduled

    int master_ = -1;
    int slave_ = -1;
    int wake_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<bool> running_{false};
    std::thread thread_;
};

} // namespace vantrel::sim
