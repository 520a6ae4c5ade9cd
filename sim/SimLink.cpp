#include "sim/SimLink.h"

#include "modbus/ModbusCodec.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace vantrel::sim {

namespace {

constexpr int64_t kMs = 1000000;
constexpr size_t kMaxRtuFrame = 300;   // 9 + 255 + CRC is the longest write
constexpr size_t kMaxAsciiFrame = 600; // ":" + 2 * (7 + 255 + 1) + CR LF
constexpr int64_t kAsciiCharTimeout = 1000 * kMs;
constexpr int64_t kWriteStall = 1000 * kMs; // tool not reading: the rest of the answer is lost

int64_t NowNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

timespec ToTimespec(int64_t ns) {
    if (ns < 0)
        ns = 0;
    timespec ts;
    ts.tv_sec = static_cast<time_t>(ns / 1000000000);
    ts.tv_nsec = static_cast<long>(ns % 1000000000);
    return ts;
}

int64_t CharacterNs(const CommSettings& comm) {
    const int baud = comm.Baud() > 0 ? comm.Baud() : 9600;
    return static_cast<int64_t>(comm.BitsPerCharacter()) * 1000000000 / baud;
}

// 3.5 characters of silence end an RTU frame; at high speeds a pty and the scheduler cannot
// honour less than a couple of milliseconds.
int64_t RtuGapNs(const CommSettings& comm) {
    return std::max<int64_t>(CharacterNs(comm) * 7 / 2, 2 * kMs);
}

void Drain(int fd) {
    uint64_t value;
    while (read(fd, &value, sizeof value) > 0) {
    }
}

} // namespace

struct SimLink::Assembler {
    int framing = -1;
    std::vector<uint8_t> bytes;
    int64_t firstNs = 0;
    int64_t lastNs = 0;
    bool discarding = false; // an overlong frame: dropped up to the next gap / ':'

    bool Busy() const { return !bytes.empty() || discarding; }
    void Reset() {
        bytes.clear();
        discarding = false;
    }
};

SimLink::SimLink(SimUnit& unit, LinkOptions options) : unit_(unit), options_(std::move(options)) {}

SimLink::~SimLink() {
    Stop();
}

bool SimLink::Start(std::string& error) {
    if (running_) {
        error = "already running";
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        if (!options_.linkPath.empty()) {
            struct stat st;
            if (lstat(options_.linkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
                error = options_.linkPath + " exists and is not a symlink";
                return false;
            }
        }
    }
    stop_ = false;
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0) {
        error = std::string("eventfd: ") + std::strerror(errno);
        return false;
    }
    if (!OpenPty(error)) {
        close(wake_);
        wake_ = -1;
        return false;
    }
    UpdateSymlink();
    running_ = true;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void SimLink::Stop() {
    if (thread_.joinable()) {
        stop_ = true;
        Wake();
        thread_.join();
    }
    running_ = false;
    ClosePty();
    RemoveSymlink();
    if (wake_ >= 0) {
        close(wake_);
        wake_ = -1;
    }
    std::lock_guard lock(mutex_);
    commandDone_.notify_all();
}

bool SimLink::Running() const {
    return running_;
}

std::string SimLink::SlavePath() const {
    std::lock_guard lock(mutex_);
    return slavePath_;
}

void SimLink::SetPaced(bool paced) {
    std::lock_guard lock(mutex_);
    options_.paced = paced;
}
void SimLink::SetTurnaround(std::chrono::microseconds turnaround) {
    std::lock_guard lock(mutex_);
    options_.turnaround = std::max(turnaround, std::chrono::microseconds(0));
}
void SimLink::SetLineCheck(bool check) {
    std::lock_guard lock(mutex_);
    options_.lineCheck = check;
}
LinkOptions SimLink::Options() const {
    std::lock_guard lock(mutex_);
    return options_;
}

void SimLink::InjectFault(const Fault& fault) {
    if (fault.count == 0)
        return;
    std::lock_guard lock(mutex_);
    for (Fault& waiting : faults_)
        if (waiting.kind == fault.kind && waiting.reg == fault.reg) {
            waiting = fault;
            return;
        }
    faults_.push_back(fault);
}
void SimLink::ClearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
}
std::vector<Fault> SimLink::Faults() const {
    std::lock_guard lock(mutex_);
    return faults_;
}

std::vector<Fault> SimLink::TakeFaults(int startRegister) {
    std::lock_guard lock(mutex_);
    std::vector<Fault> taken;
    for (Fault& fault : faults_) {
        if (fault.reg >= 0 && fault.reg != startRegister)
            continue;
        taken.push_back(fault);
        if (fault.count != kAlways)
            --fault.count;
    }
    std::erase_if(faults_, [](const Fault& f) { return f.count == 0; });
    stats_.faultsApplied += taken.size();
    return taken;
}

void SimLink::SetRandomFaults(const RandomFaults& faults) {
    std::lock_guard lock(mutex_);
    random_ = faults;
    randomDraws_.seed(faults.seed);
    noise_.seed(faults.seed ^ 0x6E6F6973u);
}

void SimLink::DrawRandomFault(int startRegister, std::vector<Fault>& faults) {
    std::lock_guard lock(mutex_);
    if (!(random_.rate > 0) || random_.kinds.empty())
        return;
    if (random_.reg >= 0 && random_.reg != startRegister)
        return;
    // Raw generator output rather than a distribution: the same hits with any library.
    const uint64_t draw = randomDraws_();
    const bool hit = random_.rate >= 1 || static_cast<double>(draw) < random_.rate * 4294967296.0;
    if (!hit)
        return;
    const Fault fault = random_.kinds[randomDraws_() % random_.kinds.size()];
    if (!faults.empty())
        return; // a targeted fault takes this request
    faults.push_back(fault);
    ++stats_.faultsApplied;
}

std::vector<uint8_t> SimLink::Noise(int count) {
    std::lock_guard lock(mutex_);
    std::vector<uint8_t> bytes(static_cast<size_t>(std::max(count, 0)));
    for (uint8_t& byte : bytes)
        byte = static_cast<uint8_t>(noise_() >> 24);
    return bytes;
}

// Hands a command to the link thread and waits until it has carried it out (false when it
// did not answer in time). Called with the lock held; returns with it held.
bool SimLink::RunCommand(std::unique_lock<std::mutex>& lock, Command command) {
    command_ = command;
    const uint64_t before = commandsDone_;
    lock.unlock();
    Wake();
    lock.lock();
    commandDone_.wait_for(lock, std::chrono::seconds(5),
                          [&] { return commandsDone_ != before || !running_; });
    return commandsDone_ != before;
}

bool SimLink::Disconnect(std::chrono::milliseconds reconnectAfter) {
    std::unique_lock lock(mutex_);
    if (!running_) {
        lock.unlock();
        ClosePty();
        RemoveSymlink();
        return true;
    }
    commandReconnectAfter_ = reconnectAfter;
    return RunCommand(lock, Command::Disconnect) && commandOk_;
}

bool SimLink::Reconnect(std::string& error) {
    std::unique_lock lock(mutex_);
    if (!running_) {
        error = "not running";
        return false;
    }
    if (!RunCommand(lock, Command::Reconnect)) {
        error = "link thread did not respond";
        return false;
    }
    error = commandError_;
    return commandOk_;
}

bool SimLink::Connected() const {
    std::lock_guard lock(mutex_);
    return !slavePath_.empty();
}

bool SimLink::ToolLine(PtyLineState& out) const {
    std::lock_guard lock(mutex_);
    return slave_ >= 0 && ReadPtyLineState(slave_, out);
}

LinkStats SimLink::Stats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}
void SimLink::ResetStats() {
    std::lock_guard lock(mutex_);
    stats_ = {};
}

void SimLink::SetTrace(std::function<void(const std::string&)> trace) {
    std::lock_guard lock(mutex_);
    trace_ = std::move(trace);
}

// ---- pty ----

bool SimLink::OpenPty(std::string& error) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        error = std::string("posix_openpt: ") + std::strerror(errno);
        return false;
    }
    char name[128];
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name)) {
        error = std::string("pty setup: ") + std::strerror(errno);
        close(master);
        return false;
    }
    // Held open for the whole life of the pty: the master never reads EIO when the tool
    // closes its port, and the tool's line settings can be read back from here. Nothing is
    // ever read from it (that would take the tool's input).
    const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        error = std::string("open ") + name + ": " + std::strerror(errno);
        close(master);
        return false;
    }
    const CommSettings comm = unit_.Comm();
    PtyLineState line;
    line.baud = static_cast<unsigned>(comm.Baud());
    line.dataBits = comm.dataBits;
    line.parity = comm.parity;
    line.stopBits = comm.stopBits;
    if (!SetPtyLineState(slave, line, &error) || !SetPtyLineState(master, line, &error)) {
        close(slave);
        close(master);
        return false;
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    std::lock_guard lock(mutex_);
    master_ = master;
    slave_ = slave;
    slavePath_ = name;
    return true;
}

void SimLink::ClosePty() {
    std::lock_guard lock(mutex_);
    if (master_ >= 0)
        close(master_);
    if (slave_ >= 0)
        close(slave_);
    master_ = slave_ = -1;
    // the symlink is removed by the caller (it needs the old target to check)
}

void SimLink::UpdateSymlink() {
    std::string link, target;
    {
        std::lock_guard lock(mutex_);
        link = options_.linkPath;
        target = slavePath_;
    }
    if (link.empty() || target.empty())
        return;
    struct stat st;
    if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
        return; // never replace a real file
    // Made aside and renamed over: a tool polling the path never sees it missing.
    const std::string temp = link + ".new" + std::to_string(getpid());
    unlink(temp.c_str());
    if (symlink(target.c_str(), temp.c_str()) != 0 || rename(temp.c_str(), link.c_str()) != 0)
        unlink(temp.c_str());
}

void SimLink::RemoveSymlink() {
    std::string link, target;
    {
        std::lock_guard lock(mutex_);
        link = options_.linkPath;
        target = slavePath_;
        slavePath_.clear();
    }
    if (link.empty())
        return;
    char buffer[256];
    const ssize_t n = readlink(link.c_str(), buffer, sizeof buffer - 1);
    if (n <= 0)
        return;
    buffer[n] = 0;
    if (target.empty() || target == buffer)
        unlink(link.c_str());
}

void SimLink::Wake() {
    if (wake_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(wake_, &one, sizeof one);
    }
}

// ---- the thread ----

bool SimLink::WaitUntil(int64_t deadlineNs) {
    while (!stop_) {
        const int64_t now = NowNs();
        if (now >= deadlineNs)
            return true;
        const int64_t remaining = deadlineNs - now;
        if (remaining > 3 * kMs) {
            // Long waits watch the wake fd so that Stop is not held up; a command that
            // arrives meanwhile is picked up by the main loop (it checks command_ each turn).
            pollfd fd{wake_, POLLIN, 0};
            const timespec ts = ToTimespec(remaining - kMs);
            if (ppoll(&fd, 1, &ts, nullptr) > 0)
                Drain(wake_);
        } else {
            const timespec ts = ToTimespec(deadlineNs);
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
        }
    }
    return false;
}

bool SimLink::WaitWritable() {
    pollfd fds[2] = {{master_, POLLOUT, 0}, {wake_, POLLIN, 0}};
    const int64_t deadline = NowNs() + kWriteStall;
    while (!stop_) {
        const int64_t remaining = deadline - NowNs();
        if (remaining <= 0)
            return false;
        const timespec ts = ToTimespec(remaining);
        if (ppoll(fds, 2, &ts, nullptr) < 0 && errno != EINTR)
            return false;
        if (fds[1].revents & POLLIN)
            Drain(wake_);
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))
            return false;
        if (fds[0].revents & POLLOUT)
            return true;
    }
    return false;
}

void SimLink::DoCommand() {
    Command command;
    std::chrono::milliseconds after;
    {
        std::lock_guard lock(mutex_);
        command = command_;
        after = commandReconnectAfter_;
        command_ = Command::None;
    }
    bool ok = true;
    std::string error;
    if (command == Command::Disconnect) {
        if (master_ >= 0) {
            ClosePty();
            RemoveSymlink();
            std::lock_guard lock(mutex_);
            ++stats_.disconnects;
        }
        reconnectAtNs_ = after.count() > 0 ? NowNs() + after.count() * kMs : 0;
    } else if (command == Command::Reconnect) {
        reconnectAtNs_ = 0;
        if (master_ < 0) {
            ok = OpenPty(error);
            if (ok)
                UpdateSymlink();
        }
    }
    std::lock_guard lock(mutex_);
    ++commandsDone_;
    commandOk_ = ok;
    commandError_ = error;
    commandDone_.notify_all();
}

void SimLink::Run() {
    // Pacing works in fractions of a millisecond; the default 50 us slack would show.
    prctl(PR_SET_TIMERSLACK, 10000UL);
    Assembler in;
    uint8_t chunk[512];
    while (!stop_) {
        bool pendingCommand;
        {
            std::lock_guard lock(mutex_);
            pendingCommand = command_ != Command::None;
        }
        if (pendingCommand) {
            DoCommand();
            in.Reset();
            continue;
        }

        if (master_ < 0) {
            // Unplugged: wait for Stop, a command or the time to come back.
            pollfd fd{wake_, POLLIN, 0};
            timespec ts{};
            const bool timed = reconnectAtNs_ > 0;
            if (timed)
                ts = ToTimespec(reconnectAtNs_ - NowNs());
            const int ready = ppoll(&fd, 1, timed ? &ts : nullptr, nullptr);
            if (ready > 0)
                Drain(wake_);
            if (timed && NowNs() >= reconnectAtNs_) {
                std::string error;
                if (OpenPty(error)) {
                    reconnectAtNs_ = 0;
                    UpdateSymlink();
                } else {
                    reconnectAtNs_ = NowNs() + 1000 * kMs;
                }
            }
            continue;
        }

        const CommSettings comm = unit_.Comm();
        if (!in.Busy())
            in.framing = comm.Framing();
        int64_t deadline = 0;
        if (in.Busy())
            deadline = in.lastNs +
                       (in.framing == modbus::kFramingRtu ? RtuGapNs(comm) : kAsciiCharTimeout);

        pollfd fds[2] = {{master_, POLLIN, 0}, {wake_, POLLIN, 0}};
        timespec ts{};
        if (deadline)
            ts = ToTimespec(deadline - NowNs());
        const int ready = ppoll(fds, 2, deadline ? &ts : nullptr, nullptr);
        if (ready < 0 && errno != EINTR)
            break;
        if (fds[1].revents & POLLIN) {
            Drain(wake_);
            continue;
        }
        if (fds[0].revents & POLLIN) {
            const ssize_t n = read(master_, chunk, sizeof chunk);
            if (n > 0) {
                int64_t now = NowNs();
                for (ssize_t i = 0; i < n && master_ >= 0 && !stop_; ++i) {
                    in.lastNs = now;
                    if (!in.Busy()) {
                        in.framing = unit_.Comm().Framing();
                        in.firstNs = now;
                    }
                    const uint8_t byte = chunk[i];
                    if (in.framing == modbus::kFramingRtu) {
                        if (in.discarding)
                            continue;
                        in.bytes.push_back(byte);
                        const size_t size = in.bytes.size();
                        size_t expected = 0;
                        if (size >= 2 && in.bytes[1] == modbus::kFunctionRead)
                            expected = 8;
                        else if (size >= 7 && in.bytes[1] == modbus::kFunctionWrite)
                            expected = 9 + in.bytes[6];
                        if (expected && size == expected) {
                            ProcessFrame(std::move(in.bytes), in.framing, in.firstNs);
                            in.Reset();
                            now = NowNs(); // what follows was heard after the answer
                        } else if (size > kMaxRtuFrame) {
                            in.Reset();
                            in.discarding = true;
                            std::lock_guard lock(mutex_);
                            ++stats_.badFrames;
                        }
                    } else if (in.framing == modbus::kFramingAscii) {
                        if (byte == ':') {
                            in.bytes.assign(1, byte);
                            in.firstNs = now;
                            continue;
                        }
                        if (in.bytes.empty())
                            continue; // noise between frames
                        in.bytes.push_back(byte);
                        const size_t size = in.bytes.size();
                        if (byte == '\n' && in.bytes[size - 2] == '\r') {
                            ProcessFrame(std::move(in.bytes), in.framing, in.firstNs);
                            in.Reset();
                            now = NowNs();
                        } else if (size > kMaxAsciiFrame) {
                            in.Reset();
                            std::lock_guard lock(mutex_);
                            ++stats_.badFrames;
                        }
                    }
                    // Mode off: the unit hears nothing.
                }
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            // The master only fails once the slave side is gone for good; do not spin on it.
            WaitUntil(NowNs() + 10 * kMs);
            continue;
        }
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            WaitUntil(NowNs() + 10 * kMs);
            continue;
        }
        if (ready == 0 && in.Busy() && NowNs() >= deadline) {
            // Silence: an RTU frame of unknown length ends here, a stalled one is judged by
            // its checksum; a stalled ASCII frame is dropped.
            if (in.framing == modbus::kFramingRtu && !in.bytes.empty())
                ProcessFrame(std::move(in.bytes), in.framing, in.firstNs);
            in.Reset();
        }
    }
    running_ = false;
    std::lock_guard lock(mutex_);
    commandDone_.notify_all();
}

// tool: the line settings the tool has put on the port, null when they cannot be read.
bool SimLink::LineMatches(const CommSettings& comm, const PtyLineState* tool) {
    if (!tool)
        return true; // cannot tell: give the tool the benefit of the doubt
    return static_cast<int>(tool->baud) == comm.Baud() && tool->stopBits == comm.stopBits;
}

// The time a request of this many characters takes at the speed and stop bits the tool has
// put on the port; the character format it cannot show on a pty is the unit's.
int64_t SimLink::RequestLineNs(size_t characters, const CommSettings& comm,
                               const PtyLineState* tool) {
    CommSettings line = comm;
    int baud = comm.Baud();
    if (tool && tool->baud > 0) {
        baud = static_cast<int>(tool->baud);
        line.stopBits = tool->stopBits;
    }
    if (baud <= 0)
        baud = 9600;
    return static_cast<int64_t>(characters) * line.BitsPerCharacter() * 1000000000 / baud;
}

void SimLink::ProcessFrame(std::vector<uint8_t> frame, int framing, int64_t firstNs) {
    Trace("rx", frame, framing);
    LinkOptions options;
    {
        std::lock_guard lock(mutex_);
        options = options_;
        stats_.lastRequestStartNs = firstNs;
        stats_.lastRequest = frame;
    }
    const CommSettings comm = unit_.Comm();
    const int64_t charNs = CharacterNs(comm);

    std::vector<uint8_t> message = frame;
    size_t length = message.size();
    if (modbus::ValidateResponseFrame(message.data(), length, framing) != modbus::FrameValid ||
        length < 3) {
        std::lock_guard lock(mutex_);
        ++stats_.badFrames;
        return;
    }
    message.resize(length - (framing == modbus::kFramingRtu ? 2 : 1));

    // The tool's line settings are read once a request; both what the unit hears and when it
    // has heard it follow them.
    PtyLineState toolLine;
    const PtyLineState* tool =
        slave_ >= 0 && ReadPtyLineState(slave_, toolLine) ? &toolLine : nullptr;
    // Heard once its last character has been on the line, paced or not.
    const int64_t lineNs = RequestLineNs(frame.size(), comm, tool);
    const int64_t completeNs = std::max(NowNs(), firstNs + lineNs);

    const bool mismatch = options.lineCheck && !LineMatches(comm, tool);
    std::vector<Fault> faults;
    if (!mismatch && unit_.Addressed(message.data(), message.size())) {
        const int startRegister = message.size() >= 4 ? message[2] << 8 | message[3] : -1;
        faults = TakeFaults(startRegister);
        DrawRandomFault(startRegister, faults);
    }
    auto find = [&](FaultKind kind) -> const Fault* {
        for (const Fault& fault : faults)
            if (fault.kind == kind)
                return &fault;
        return nullptr;
    };

    if (find(FaultKind::Echo)) {
        // The converter hears the request as it goes out: each byte comes back as its
        // character has passed, at the speed the request goes at.
        Trace("echo", frame, framing);
        if (SendBytes(frame, firstNs, options.paced ? lineNs / int64_t(frame.size()) : 0) < 0)
            return;
    }
    if (!WaitUntil(completeNs))
        return;
    {
        std::lock_guard lock(mutex_);
        ++stats_.frames;
        stats_.lastRequestCompleteNs = completeNs;
    }
    if (mismatch) {
        std::lock_guard lock(mutex_);
        ++stats_.lineMismatches;
        return;
    }

    if (const Fault* fault = find(FaultKind::Disconnect)) {
        Trace("disconnect", {}, framing);
        ClosePty();
        RemoveSymlink();
        reconnectAtNs_ = fault->delayMs > 0 ? NowNs() + fault->delayMs * kMs : 0;
        std::lock_guard lock(mutex_);
        ++stats_.disconnects;
        return;
    }
    if (find(FaultKind::Silence))
        return;

    std::optional<Message> reply;
    if (const Fault* fault = find(FaultKind::Exception))
        reply = Message{message[0], static_cast<uint8_t>(message[1] | 0x80),
                        static_cast<uint8_t>(fault->exceptionCode)};
    else
        reply = unit_.Handle(message);
    if (!reply || find(FaultKind::DropAnswer)) {
        unit_.AnswerSent();
        return;
    }

    if (find(FaultKind::WrongAddress))
        (*reply)[0] = static_cast<uint8_t>((*reply)[0] % 247 + 1);
    if (find(FaultKind::DropLastByte) && reply->size() > 2)
        reply->pop_back();

    std::vector<uint8_t> out;
    const bool badChecksum = find(FaultKind::BadChecksum) != nullptr;
    if (framing == modbus::kFramingRtu) {
        uint16_t crc = modbus::ModbusCrc16(reply->data(), reply->size());
        if (badChecksum)
            crc ^= 0x5A5A;
        out = *reply;
        out.push_back(static_cast<uint8_t>(crc & 0xFF));
        out.push_back(static_cast<uint8_t>(crc >> 8));
    } else {
        Message withLrc = *reply;
        uint8_t lrc = modbus::ModbusLrc(reply->data(), reply->size());
        if (badChecksum)
            lrc ^= 0x5A;
        withLrc.push_back(lrc);
        out = modbus::AsciiEncodeFrame(withLrc.data(), withLrc.size());
    }
    if (const Fault* fault = find(FaultKind::Truncate)) {
        const size_t cut = fault->truncateBytes > 0
                               ? std::min<size_t>(fault->truncateBytes, out.size() - 1)
                               : out.size() / 2;
        out.resize(out.size() - cut);
    }

    // Noise and the answer go out as one stream of characters.
    std::vector<uint8_t> stream;
    if (const Fault* fault = find(FaultKind::GarbageBefore))
        stream = Noise(fault->garbageBytes > 0 ? fault->garbageBytes : 1);
    stream.insert(stream.end(), out.begin(), out.end());
    if (const Fault* fault = find(FaultKind::GarbageAfter)) {
        const std::vector<uint8_t> noise = Noise(fault->garbageBytes > 0 ? fault->garbageBytes : 1);
        stream.insert(stream.end(), noise.begin(), noise.end());
    }

    int64_t startNs = options.paced ? completeNs + options.turnaround.count() * 1000 : NowNs();
    if (const Fault* fault = find(FaultKind::Delay))
        startNs += static_cast<int64_t>(fault->delayMs) * kMs;
    const int64_t paceNs = options.paced ? charNs : 0;
    int64_t firstWrittenNs = 0;
    int64_t endNs = SendBytes(stream, startNs, paceNs, &firstWrittenNs);
    if (const Fault* fault = find(FaultKind::Duplicate); fault && endNs >= 0) {
        Trace("tx", stream, framing);
        stream = out;
        const int64_t gapNs = (fault->gapMs > 0 ? fault->gapMs : 5) * kMs;
        endNs = SendBytes(out, (paceNs ? endNs : NowNs()) + gapNs, paceNs);
    }
    {
        std::lock_guard lock(mutex_);
        ++stats_.answered;
        stats_.lastAnswerStartNs = firstWrittenNs;
        stats_.lastAnswerEndNs = NowNs();
        stats_.lastAnswer = out;
    }
    unit_.AnswerSent();
    Trace("tx", stream, framing);
}

int64_t SimLink::SendBytes(const std::vector<uint8_t>& bytes, int64_t startNs, int64_t charNs,
                           int64_t* firstWrittenNs) {
    if (!WaitUntil(startNs) || master_ < 0)
        return -1;
    // Character i has fully arrived at startNs + (i + 1) * charNs; whatever is due goes out
    // together, so a late start never stretches the stream with gaps of its own.
    size_t sent = 0;
    while (sent < bytes.size() && !stop_) {
        size_t due = bytes.size();
        if (charNs > 0) {
            const int64_t now = NowNs();
            const int64_t elapsed = now - startNs;
            due = std::min<size_t>(bytes.size(), elapsed < 0 ? 0 : elapsed / charNs);
            if (due <= sent) {
                const timespec ts = ToTimespec(startNs + static_cast<int64_t>(sent + 1) * charNs);
                clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
                continue;
            }
        }
        const ssize_t n = write(master_, bytes.data() + sent, due - sent);
        if (n > 0 && sent == 0 && firstWrittenNs)
            *firstWrittenNs = NowNs();
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            if (!WaitWritable())
                break;
        } else {
            break;
        }
    }
    if (stop_)
        return -1;
    return charNs > 0 ? std::max(NowNs(), startNs + static_cast<int64_t>(bytes.size()) * charNs)
                      : NowNs();
}

void SimLink::Trace(const char* direction, const std::vector<uint8_t>& frame, int framing) {
    std::function<void(const std::string&)> trace;
    {
        std::lock_guard lock(mutex_);
        trace = trace_;
    }
    if (trace)
        trace(std::string(direction) + " " + modbus::LogForm(frame.data(), frame.size(), framing));
}

} // namespace vantrel::sim
