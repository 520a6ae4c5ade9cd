#include "modbus/ModThread.h"

#include "modbus/PosixSerialLine.h"

#include <algorithm>

namespace vantrel::modbus {

namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

// The guard of a transaction: a worker held up elsewhere must not hold the GUI thread
// forever, but a long no-response time-out must run out (and be tried again) first.
constexpr int kMinimumGuardMs = 5000;
constexpr int kGuardMarginMs = 1000;

bool IsBusy(int state) {
    return state == Sending || state == Receiving;
}

using SteadyClock = std::chrono::steady_clock;

long long NowMicros() {
    return std::chrono::duration_cast<microseconds>(SteadyClock::now().time_since_epoch()).count();
}

long long WallMicros() {
    return std::chrono::duration_cast<microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

SteadyClock::time_point FromMicros(long long micros) {
    return SteadyClock::time_point(microseconds(micros));
}

// A line that never falls quiet (noise, another master) holds a request back at most this
// long beyond the wait it was due; then it goes out into whatever is there.
constexpr long long kSettleMarginMicros = 1000000;

// What the monitor says of an attempt that ended without an answer to look at.
constexpr const char* kNotSentText = "not sent: the port is not open";
constexpr const char* kPortGoneText = "not sent: the port has gone";
constexpr const char* kSendFailedText = "not sent: the port did not take the request";
constexpr const char* kGivenUpText = "given up: the attempt was stopped";

} // namespace

const char* StateText(int state) {
    switch (state) {
    case PortClosed:
        return "Quenlo: Port not opened";
    case Sending:
        return "Quenlo: Sending";
    case Receiving:
        return "Quenlo: Receiving";
    default:
        return "Quenlo: Idle";
    }
}

TModThread::TModThread(host::Pump& pump, host::GuiDispatch& dispatch,
                       std::unique_ptr<SerialLine> line)
    : pump_(pump), dispatch_(dispatch),
      serial_(line ? std::move(line) : std::make_unique<PosixSerialLine>()) {
    ParseModeString(BuildModeString(line_), mode_);
    timing_ = LookupCharacterTiming(mode_);
    thread_ = std::thread([this] { Run(); });
}

TModThread::~TModThread() {
    AttachBus(nullptr);
    ClosePort();
    {
        std::lock_guard lock(mutex_);
        terminate_ = true;
    }
    wake_.notify_all();
    // Hand-overs the worker is waiting for run while we wait for it to end.
    pump_.WaitUntil([this] { return finished_.load(); }, std::chrono::seconds(30));
    thread_.join();
}

// ---------------------------------------------------------------- worker thread

bool TModThread::HasWork() const {
    if (!lineOpen_)
        return false;
    const int run = runFlag_;
    if (run == 1)
        return true;
    if (run != 2)
        return false;
    const int state = state_;
    return state == PortClosed || state == Receiving || state == Sending;
}

void TModThread::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return terminate_ || HasWork(); });
        if (terminate_)
            break;
        if (runFlag_ == 1) {
            lock.unlock();
            SetState(PortClosed);
            runFlag_ = 0;
            pump_.Wake();
            lock.lock();
            continue;
        }
        const int state = state_;
        const unsigned long long attempt = attemptId_;
        lock.unlock();
        if (state == PortClosed) {
            SetState(Idle);
        } else if (state == Sending) {
            SendAndReceive(attempt);
        } else if (state == Receiving) {
            ReceiveResponse(attempt);
        }
        lock.lock();
    }
    lock.unlock();
    finished_ = true;
    pump_.Wake();
}

bool TModThread::IsResponseComplete(const uint8_t* bytes, size_t count) const {
    if (framing_ == kFramingAscii)
        return count >= 2 && bytes[count - 2] == '\r' && bytes[count - 1] == '\n';
    if (count < 2)
        return false;
    const uint8_t function = bytes[1];
    if (function & 0x80)
        return count >= 5;
    if (function == kFunctionWrite)
        return count >= 8;
    if (function == kFunctionRead)
        return count >= 3 && count >= static_cast<size_t>(bytes[2]) + 5;
    return false; // a function we did not ask for: its length is unknown, the gap ends it
}

bool TModThread::Abandoned(unsigned long long attempt) const {
    const int state = state_;
    return attemptId_ != attempt || runFlag_ != 2 || (state != Sending && state != Receiving);
}

void TModThread::NoteDiscarded(const uint8_t* bytes, size_t count) {
    if (count == 0)
        return;
    heardAnything_ = true;
    std::lock_guard lock(discardMutex_);
    discarded_.emplace_back(bytes, bytes + count);
}

// Reads and throws away what the line carries until `until`, and on past it for as long as
// a frame that began before it goes on. false: the attempt was given up meanwhile.
bool TModThread::DiscardUntil(unsigned long long attempt, SteadyClock::time_point until,
                              const Frame* echo) {
    std::array<uint8_t, kMaxResponseLength + 16> junk{};
    const long long gap = QuietGapMicros();
    const auto giveUp = until + microseconds(settleCapMicros_.load());
    std::function<bool(const uint8_t*, size_t)> isEcho;
    if (echo)
        isEcho = [echo](const uint8_t* bytes, size_t n) {
            return n >= echo->size() && std::equal(echo->begin(), echo->end(), bytes);
        };
    for (;;) {
        const auto now = SteadyClock::now();
        if (now >= until)
            return true;
        ReceiveLimits limits;
        limits.firstByte = std::chrono::duration_cast<microseconds>(until - now);
        limits.interCharacter = microseconds(gap);
        limits.total = std::chrono::duration_cast<microseconds>(giveUp - now);
        limits.lateBytesAreNext = true;
        ReceiveEnd end = ReceiveEnd::NoData;
        std::string error;
        const size_t count = serial_->Receive(
            junk.data(), junk.size(), limits, isEcho,
            [this, attempt] { return Abandoned(attempt); }, end, error);
        if (end == ReceiveEnd::Cancelled)
            return false;
        if (count > 0)
            lastActivityMicros_ = NowMicros();
        if (end == ReceiveEnd::Complete && isEcho && isEcho(junk.data(), count)) {
            // Our own request heard back: what came with it is the start of the answer.
            NoteDiscarded(junk.data(), echo->size());
            rxPrefill_ = std::min(count - echo->size(), kMaxResponseLength);
            std::copy_n(junk.begin() + static_cast<long>(echo->size()), rxPrefill_, rx_.begin());
            return true;
        }
        NoteDiscarded(junk.data(), count);
        if (end == ReceiveEnd::Error)
            return true; // the write that follows fails and tells why
        if (SteadyClock::now() >= giveUp)
            return true;
        if (count > 0) {
            // Something was on the line: it must be quiet for the gap again from now on.
            until = std::max(until, SteadyClock::now() + microseconds(gap));
        }
    }
}

// Before a request goes out the line must have been silent for the inter-frame gap (longer
// after a failed attempt), and after a time-out for as long as a late answer may still take.
bool TModThread::Settle(unsigned long long attempt) {
    const long long gap = QuietGapMicros();
    const long long until = std::max<long long>(quietUntilMicros_, lastActivityMicros_ + gap);
    if (NowMicros() >= until)
        return true;
    return DiscardUntil(attempt, FromMicros(until));
}

void TModThread::SendAndReceive(unsigned long long attempt) {
    if (!Settle(attempt))
        return;
    Frame frame;
    {
        std::lock_guard lock(mutex_);
        if (attemptId_ != attempt || state_ != Sending)
            return;
        frame = txFrame_;
    }
    // Whatever is still in the input belongs to no request of ours.
    serial_->PurgeInput();
    rxPrefill_ = 0;
    if (manualRts_)
        serial_->SetRts(true);
    const long long writeStart = NowMicros();
    writeStartMicros_ = writeStart;
    writeWallMicros_ = WallMicros();
    std::string error;
    if (!serial_->Write(frame.data(), frame.size(), error)) {
        if (manualRts_)
            serial_->SetRts(false);
        {
            std::lock_guard lock(mutex_);
            sendError_ = error;
        }
        Transition(attempt, Sending, SendFailed);
        return;
    }
    // The request cannot have been answered before its last character has left the line.
    requestEndMicros_ = writeStart + LineTimeMicros(mode_, frame.size());
    lastActivityMicros_ = requestEndMicros_;
    if (manualRts_) {
        // Where the worker drives RTS, the request must have left the line before RTS
        // drops; what came in meanwhile began before it could be answered.
        serial_->Drain();
        serial_->SetRts(false);
        serial_->PurgeInput();
    } else {
        // Bytes that begin while the request is on the line are not its answer, even when
        // they look like one (a late answer, a duplicate, the converter's echo): they are
        // read and thrown away, with the frame they begin.
        if (!DiscardUntil(attempt, FromMicros(requestEndMicros_), &frame))
            return;
    }
    rxCount_ = 0;
    if (Transition(attempt, Sending, Receiving))
        ReceiveResponse(attempt);
}

void TModThread::ReceiveResponse(unsigned long long attempt) {
    ReceiveLimits limits;
    const long long now = NowMicros();
    // The no-response time-out counts from the moment the request has left the line.
    const long long firstByte =
        std::max<long long>(0, requestEndMicros_ + firstByteMicros_.load() - now);
    limits.firstByte = microseconds(firstByte);
    limits.interCharacter = microseconds(interCharMicros_.load());
    limits.total = microseconds(firstByte + capMicros_.load());
    ReceiveEnd end = ReceiveEnd::NoData;
    std::string error;
    const auto abandoned = [this, attempt] { return Abandoned(attempt); };
    // An echo may have brought the answer's first bytes along.
    const size_t prefill = rxPrefill_;
    rxPrefill_ = 0;
    size_t count = prefill;
    if (prefill > 0 && IsResponseComplete(rx_.data(), prefill)) {
        end = ReceiveEnd::Complete;
    } else {
        if (prefill > 0)
            limits.firstByte = limits.interCharacter;
        count += serial_->Receive(
            rx_.data() + prefill, kMaxResponseLength - prefill, limits,
            [this, prefill](const uint8_t*, size_t n) {
                return IsResponseComplete(rx_.data(), prefill + n);
            },
            abandoned, end, error);
        if (end == ReceiveEnd::NoData && prefill > 0)
            end = ReceiveEnd::Gap;
    }
    if (end == ReceiveEnd::Cancelled)
        return;

    if (count > 0)
        lastActivityMicros_ = NowMicros(); // the answer's last byte, as near as we can tell
    if (end == ReceiveEnd::Complete && count < kMaxResponseLength) {
        // An answer is taken only once the line has stayed quiet after it: bytes that follow
        // a complete frame at once mean it was not the answer it looked like.
        ReceiveLimits after;
        after.firstByte = microseconds(InterFrameMicros());
        after.interCharacter = limits.interCharacter;
        after.total = microseconds(InterFrameMicros()) + limits.total;
        ReceiveEnd trailing = ReceiveEnd::NoData;
        const size_t extra = serial_->Receive(rx_.data() + count, kMaxResponseLength - count, after,
                                              nullptr, abandoned, trailing, error);
        if (trailing == ReceiveEnd::Cancelled)
            return;
        if (extra > 0)
            lastActivityMicros_ = NowMicros();
        count += extra;
        if (trailing == ReceiveEnd::Error)
            end = ReceiveEnd::Error;
    }
    if (framing_ == kFramingAscii && count > 0) {
        // A colon always starts a frame: what came before the last one is noise.
        size_t colon = count;
        while (colon > 0 && rx_[colon - 1] != ':')
            --colon;
        if (colon > 1) {
            NoteDiscarded(rx_.data(), colon - 1);
            std::copy(rx_.begin() + static_cast<long>(colon - 1),
                      rx_.begin() + static_cast<long>(count), rx_.begin());
            count -= colon - 1;
        }
    }
    if (count > 0)
        heardAnything_ = true;
    rxCount_ = count;
    if (end == ReceiveEnd::Error && serial_->Gone()) {
        Transition(attempt, Receiving, SendFailed);
        return;
    }
    Transition(attempt, Receiving, count > 0 ? Received : NoResponse);
}

bool TModThread::Transition(unsigned long long attempt, WorkerState from, WorkerState to) {
    {
        std::lock_guard lock(mutex_);
        if (attemptId_ != attempt || state_ != from)
            return false;
        state_ = to;
    }
    Publish(from, to);
    return true;
}

// ---------------------------------------------------------------- state and texts

void TModThread::SetState(WorkerState state) {
    int old;
    {
        std::lock_guard lock(mutex_);
        old = state_.exchange(state);
    }
    Publish(static_cast<WorkerState>(old), state);
}

void TModThread::Publish(WorkerState old, WorkerState now) {
    // The worker only acts on these; waking it for the others would cost a context switch.
    if (now == PortClosed || now == Receiving || now == Sending)
        wake_.notify_all();
    // A reception that is no longer wanted stops now instead of at its time-out.
    if (IsBusy(old) && !IsBusy(now) && now != Received && now != NoResponse)
        serial_->CancelReceive();
    std::function<void()> callback;
    {
        std::lock_guard lock(callbackMutex_);
        callback = statusCallback_;
    }
    // The hand-over reaches the GUI thread before the wake below, so that a wait which ends
    // on this state has shown it first.
    if (callback)
        dispatch_.RunAndWait([this] {
            std::function<void()> current;
            {
                std::lock_guard lock(callbackMutex_);
                current = statusCallback_;
            }
            if (current)
                current();
        });
    // Every wait of the GUI thread ends on a state that is not Sending or Receiving; waking
    // it for those would only cost a round trip through the scheduler.
    if (!IsBusy(now))
        pump_.Wake();
}

std::string TModThread::AttemptsText() const {
    return std::to_string(attempts_.load());
}
std::string TModThread::StateText() const {
    return modbus::StateText(state_);
}
std::string TModThread::ResultText() const {
    return modbus::ResultText(lastResult_, lastExceptionCode_);
}

void TModThread::AttachBus(StatusListener* bus) {
    bus_ = bus;
    {
        std::lock_guard lock(callbackMutex_);
        statusCallback_ = nullptr;
    }
    memo_ = nullptr;
}

void TModThread::SetStatusCallback(std::function<void()> callback) {
    std::lock_guard lock(callbackMutex_);
    statusCallback_ = std::move(callback);
}

void TModThread::SetPlatformErrorHandler(std::function<void(std::string, std::string)> handler) {
    std::lock_guard lock(callbackMutex_);
    errorHandler_ = std::move(handler);
}

void TModThread::PlatformError(const std::string& caption, const std::string& text) {
    std::function<void(std::string, std::string)> handler;
    {
        std::lock_guard lock(callbackMutex_);
        handler = errorHandler_;
    }
    if (handler)
        dispatch_.Post([handler, caption, text] { handler(caption, text); });
}

void TModThread::SetMemo(TrafficMemo* memo) {
    memo_ = memo;
    if (memo_)
        memo_->SetText(rememberedMemo_ + trafficLog_);
}

void TModThread::SetTrafficLog(const std::string& text) {
    trafficLog_ = text;
    RefreshMemo(text.empty());
}

void TModThread::AppendTrafficLog(const std::string& text) {
    trafficLog_ += text;
    RefreshMemo(false);
}

void TModThread::RefreshMemo(bool emptied) {
    if (!memo_)
        return;
    if (emptied)
        rememberedMemo_ = memoRemember_ ? memo_->Text() + "\r\n" : std::string();
    memo_->SetText(rememberedMemo_ + trafficLog_);
}

// ---------------------------------------------------------------- port and line

void TModThread::SetPortResolver(std::function<std::string(int)> resolver) {
    resolver_ = std::move(resolver);
}

void TModThread::SetPortLister(std::function<std::vector<int>()> lister) {
    lister_ = std::move(lister);
}

bool TModThread::IsPortOpen() const {
    return lineOpen_;
}

bool TModThread::OpenPort(int portNumber, int speed, int dataBits, int parity, int stopBits) {
    if (IsPortOpen())
        ClosePort();
    else
        portNumber_ = 0;
    lastOpenError_.clear();
    if (portNumber <= 0)
        return true;
    portNumber_ = portNumber;
    line_ = {speed, dataBits, parity, stopBits};
    const std::string path = resolver_ ? resolver_(portNumber) : std::string();
    if (path.empty()) {
        lastOpenError_ = "COM" + std::to_string(portNumber) + " is not present.";
        return false;
    }
    if (!serial_->Open(path, lastOpenError_))
        return false;
    openPath_ = path;
    portGone_ = false;
    silentInRow_ = 0;
    lastActivityMicros_ = 0;
    quietUntilMicros_ = 0;
    settleGapMicros_ = 0;
    manualRts_ = !serial_->DriverSwitchesDirection();
    ConfigureLine();
    {
        std::lock_guard lock(mutex_);
        lineOpen_ = true;
        runFlag_ = 2;
    }
    wake_.notify_all();
    pump_.WaitUntil([this] { return state_ == Idle; }, milliseconds(kMinimumGuardMs));
    return true;
}

void TModThread::ClosePort() {
    portNumber_ = 0;
    if (!lineOpen_)
        return;
    {
        std::lock_guard lock(mutex_);
        runFlag_ = 1;
    }
    wake_.notify_all();
    serial_->CancelReceive();
    // The descriptor is closed only once the worker has let go of it: every step of the
    // worker's is bounded (a write by its own deadline, a reception by its cancel), so this
    // wait ends; the long cap only keeps a broken driver from holding the window forever.
    for (int waited = 0; runFlag_ != 0 && waited < 12; ++waited) {
        serial_->CancelReceive();
        pump_.WaitUntil([this] { return runFlag_ == 0; }, milliseconds(kMinimumGuardMs));
    }
    {
        std::lock_guard lock(mutex_);
        lineOpen_ = false;
        runFlag_ = 0;
    }
    serial_->PurgeInput();
    serial_->Close();
    if (state_ != PortClosed)
        SetState(PortClosed);
}

bool TModThread::AutoOpen() {
    if (portNumber_ != 0)
        return true;
    std::vector<int> candidates;
    if (lister_)
        candidates = lister_();
    else
        for (int n = 1; n <= 255; ++n)
            candidates.push_back(n);
    for (int n : candidates) {
        if (n < 1 || n > 255 || (!lister_ && resolver_ && resolver_(n).empty()))
            continue;
        if (OpenPort(n, line_.speed, line_.dataBits, line_.parity, line_.stopBits) &&
            IsPortOpen()) {
            SetState(Idle);
            return true;
        }
    }
    portNumber_ = 0;
    return false;
}

void TModThread::ConfigureLine() {
    LineMode mode;
    if (!ParseModeString(ModeString(), mode)) {
        PlatformError("Line settings", "The line settings " + ModeString() + " cannot be set.");
        return;
    }
    std::string error;
    if (!serial_->Configure(mode, error))
        PlatformError("Line settings", error);
    // The timing follows the settings asked for, and the time-outs follow the timing at once
    // (a port opened at 1200 baud must not keep the 9600 baud character gap).
    mode_ = mode;
    timing_ = LookupCharacterTiming(mode_);
}

int TModThread::InterCharacterTimeoutMs() const {
    return InterCharacterTimeout(rtuTimeOut_, framing_, timing_, manualRts_);
}

void TModThread::ChangeLineSetting(int LineSettings::*field, int index) {
    SetState(State());
    line_.*field = index;
    if (!IsPortOpen())
        return;
    if (State() != Idle)
        AbortTransaction();
    ConfigureLine();
}

void TModThread::SetSpeed(int index) {
    ChangeLineSetting(&LineSettings::speed, index);
}
void TModThread::SetDataBits(int index) {
    ChangeLineSetting(&LineSettings::dataBits, index);
}
void TModThread::SetParity(int index) {
    ChangeLineSetting(&LineSettings::parity, index);
}
void TModThread::SetStopBits(int index) {
    ChangeLineSetting(&LineSettings::stopBits, index);
}
void TModThread::SetResponseTimeOut(int ms) {
    timeOut_ = ms;
}
void TModThread::SetRtuTimeOut(int ms) {
    rtuTimeOut_ = ms;
}

void TModThread::AbortTransaction() {
    SetState(State());
    if (IsPortOpen()) {
        SetState(Idle);
        lastResult_ = Aborted;
    }
}

// ---------------------------------------------------------------- transactions

int TModThread::SendFrame(const Frame& frame) {
    const int state = state_;
    if (!IsPortOpen() || state == Sending || state == Receiving || state == Received) {
        SetState(SendFailed);
        return 1;
    }
    {
        std::lock_guard lock(mutex_);
        ++attemptId_;
        txFrame_ = frame;
        sendError_.clear();
    }
    {
        std::lock_guard lock(discardMutex_);
        discarded_.clear();
    }
    // The worker settles the line, writes the request and receives the answer.
    SetState(Sending);
    return 0;
}

long long TModThread::QuietGapMicros() const {
    return std::max<long long>(settleGapMicros_, InterFrameMicros());
}

long long TModThread::InterFrameMicros() const {
    if (mode_.baud > 19200)
        return 1750;
    return LineTimeMicros(mode_, 7) / 2;
}

std::string TModThread::GoneText() const {
    if (!portGone_)
        return {};
    return "The port " + gonePath_ +
           " has gone away. Check the converter's cable, then Port Setup.";
}

// A port whose device has gone is closed at once, so that the port list can lead the user
// back to a working one; the one message about it is the caller's to show.
void TModThread::HandleGone() {
    const std::string path = openPath_;
    ClosePort();
    gonePath_ = path;
    portGone_ = true;
}

int TModThread::ReadRegisters(uint8_t* buffer, uint8_t slaveAddress, uint16_t registerAddress,
                              uint8_t byteCount) {
    Request request;
    request.slave = slaveAddress;
    request.reg = registerAddress;
    request.byteCount = byteCount;
    return Transact(request, buffer);
}

int TModThread::WriteRegisters(const uint8_t* data, uint8_t slaveAddress, uint16_t registerAddress,
                               uint8_t byteCount) {
    Request request;
    request.write = true;
    request.slave = slaveAddress;
    request.reg = registerAddress;
    request.byteCount = byteCount;
    // The frame carries the data; the caller's buffer is not looked at again.
    if (RequestFits(true, byteCount, framing_))
        BuildWriteRequest(slaveAddress, registerAddress, data, byteCount, framing_, cv700_,
                          request.frame);
    return Transact(request, nullptr);
}

int TModThread::Transact(const Request& request, uint8_t* buffer) {
    SetTrafficLog("");
    if (State() != Idle) {
        SetTrafficLog("Modbus Busy");
        return kTransactionNotStarted;
    }
    attempts_ = 0;

    const int framing = framing_;
    if (framing != kFramingAscii && framing != kFramingRtu) {
        lastResult_ = ProtocolUnknown;
        SetTrafficLog("Unknown Protocol");
        return kTransactionFailed;
    }
    if (!RequestFits(request.write, request.byteCount, framing)) {
        lastResult_ = InvalidRequest;
        SetTrafficLog("Invalid Request");
        return kTransactionFailed;
    }
    Frame frame = request.frame;
    if (!request.write)
        BuildReadRequest(request.slave, request.reg, request.byteCount, framing, frame);

    // Limits of each reception, counted from the moment the request has left the line; the
    // cap lets the longest response arrive whole.
    const long long longestMicros = LineTimeMicros(mode_, kMaxResponseLength);
    const long long interChar = 1000LL * InterCharacterTimeoutMs();
    const long long timeOutMicros = 1000LL * timeOut_;
    firstByteMicros_ = timeOutMicros;
    interCharMicros_ = interChar;
    capMicros_ = longestMicros + interChar;
    settleCapMicros_ = timeOutMicros + kSettleMarginMicros;
    // The guard also covers the wait for a quiet line before the request goes out.
    const long long requestMicros = LineTimeMicros(mode_, frame.size());
    const long long attemptMicros =
        2 * timeOutMicros + kSettleMarginMicros + requestMicros + longestMicros + 2 * interChar;
    const int guardMs = static_cast<int>(
        std::max<long long>(kMinimumGuardMs, attemptMicros / 1000 + kGuardMarginMs));
    heardAnything_ = false;
    const auto finish = [this](int result) {
        silentInRow_ = heardAnything_ || result == kTransactionDone ? 0 : silentInRow_ + 1;
        if (!IsPortOpen() && state_ != PortClosed)
            SetState(PortClosed);
        return result;
    };
    std::vector<Frame> discarded;
    const auto logDiscarded = [this, framing, &discarded] {
        {
            std::lock_guard lock(discardMutex_);
            discarded.clear();
            discarded.swap(discarded_);
        }
        for (const Frame& junk : discarded)
            AppendTrafficLog("\r\nDiscarded= " + LogForm(junk.data(), junk.size(), framing));
    };
    // The monitor's rows of an attempt: the request, what was thrown away, and how it ended
    // (the answer, or why there is none). Nothing is made without a sink.
    TrafficSink* const sink = sink_;
    const TrafficRequest described{request.write, request.slave, request.reg, request.byteCount,
                                   framing, cv700_};
    const auto report = [&](TrafficRow last, bool attemptFailed) {
        if (!sink)
            return;
        const long long start = writeStartMicros_;
        const long long startWall = writeWallMicros_;
        const long long nowSteady = NowMicros();
        const long long nowWall = WallMicros();
        const auto wallAt = [&](long long steady) {
            return startWall ? startWall + (steady - start) : nowWall - (nowSteady - steady);
        };
        std::vector<TrafficRow> rows;
        rows.push_back(RequestRow(described, frame.data(), frame.size()));
        rows.back().wallMicros = startWall ? startWall : nowWall;
        for (const Frame& junk : discarded) {
            rows.push_back(DiscardedRow(described, junk.data(), junk.size(), junk == frame));
            rows.back().wallMicros = rows.front().wallMicros;
        }
        const long long end = last.direction == TrafficDirection::Answer
                                  ? std::max(lastActivityMicros_.load(), start)
                                  : nowSteady;
        last.wallMicros = wallAt(end);
        if (start && last.direction == TrafficDirection::Answer)
            last.roundTripMicros = end - start;
        else if (start)
            last.roundTripMicros = nowSteady - start;
        rows.push_back(std::move(last));
        for (TrafficRow& row : rows) {
            row.failedAttempt = attemptFailed;
            sink->Row(std::move(row));
        }
    };

    for (;;) {
        ++attempts_;
        if (attempts_ > retries_)
            break;
        AppendTrafficLog("S= " + LogForm(frame.data(), frame.size(), framing));
        writeStartMicros_ = 0;
        writeWallMicros_ = 0;
        discarded.clear();
        if (SendFrame(frame) != 0) {
            report(NotSentRow(described, kNotSentText), true);
            lastResult_ = NotAbleToSend;
            // A port that went away (or was closed meanwhile) leaves the worker closed.
            SetState(IsPortOpen() ? Idle : PortClosed);
            AppendTrafficLog("\r\nSending Error");
            return finish(kTransactionFailed);
        }
        const bool ended =
            pump_.WaitUntil([this] { return !IsBusy(state_); }, milliseconds(guardMs));
        logDiscarded();
        lastResult_ = Success;
        if (!ended) {
            lastResult_ = Aborted;
            report(NotSentRow(described, kGivenUpText), true);
            AppendTrafficLog("\r\nError on communications bus");
            SetState(Idle);
            return finish(kTransactionFailed);
        }
        const int state = state_;
        if (state == SendFailed && serial_->Gone()) {
            lastResult_ = NotAbleToSend;
            report(NotSentRow(described, kPortGoneText), true);
            AppendTrafficLog("\r\nPort gone");
            HandleGone();
            return finish(kTransactionFailed);
        }
        if (state == NoResponse) {
            report(TimeOutRow(described, timeOut_), true);
            AppendTrafficLog("\r\nTimed Out");
            lastResult_ = ResponseTimedOut;
            // A late answer must have come and gone before the next request goes out: as
            // much time again as the unit was given.
            quietUntilMicros_ = NowMicros() + (lateAnswerWait_ ? timeOutMicros : 0);
            settleGapMicros_ = interChar;
        } else if (state == SendFailed) {
            // The worker fails an attempt only when the port did not take the request (a
            // port that has gone is the case above).
            std::string error;
            {
                std::lock_guard lock(mutex_);
                error = sendError_;
            }
            report(NotSentRow(described, error.empty() ? kSendFailedText
                                                       : "not sent: " + error),
                   true);
            if (!error.empty())
                PlatformError("Sending failed", error);
            lastResult_ = NotAbleToSend;
            SetState(IsPortOpen() ? Idle : PortClosed);
            AppendTrafficLog("\r\nSending Error");
            return finish(kTransactionFailed);
        } else if (state == Received) {
            size_t length = std::min(rxCount_, kMaxResponseLength);
            AppendTrafficLog("\r\nR= " + LogForm(rx_.data(), length, framing));
            // Made before the check below, which decodes an ASCII answer in place.
            TrafficRow answer;
            if (sink)
                answer = AnswerRow(described, rx_.data(), length);
            CheckOutcome outcome;
            if (ValidateResponseFrame(rx_.data(), length, framing) != FrameValid)
                outcome.result = CorruptedStructure;
            else if (request.write)
                outcome = CheckWriteResponse(rx_.data(), length, request.slave, request.reg,
                                             2 * RegisterCount(request.byteCount), framing);
            else
                outcome = CheckReadResponse(rx_.data(), length, request.slave, request.byteCount,
                                            framing, cv700_);
            report(std::move(answer), outcome.result != Success);
            if (outcome.exceptionCode >= 0) {
                lastExceptionCode_ = outcome.exceptionCode;
                lastResult_ = outcome.result;
                SetState(Idle);
                AppendTrafficLog("\r\nError");
                settleGapMicros_ = 0;
                return finish(kTransactionFailed);
            }
            switch (outcome.result) {
            case Success:
                break;
            case CorruptedStructure:
                AppendTrafficLog("\r\nStructure Corrupt");
                break;
            case WrongAddressResponse:
                AppendTrafficLog("\r\nAddress Error");
                break;
            case WrongFunctionResponse:
                AppendTrafficLog("\r\nFunction Error");
                break;
            case WrongVariableResponse:
                AppendTrafficLog("\rVariable Number Error");
                break;
            case WrongNumberOfBytesResponse:
                AppendTrafficLog("\r\nNumber of Bytes Error");
                break;
            case WrongResponseLength:
                AppendTrafficLog("\r\nWrong Length");
                break;
            default:
                break;
            }
            lastResult_ = outcome.result;
            SetState(Idle);
            if (lastResult_ == Success) {
                AppendTrafficLog("\r\nSuccess");
                if (!request.write)
                    ExtractReadValue(rx_.data(), length, framing, request.byteCount, cv700_,
                                     buffer);
                SetState(Idle);
                settleGapMicros_ = 0;
                return finish(kTransactionDone);
            }
            // The rest of a garbled answer may still be on its way: the next request waits
            // until the line has been quiet for a whole character gap.
            settleGapMicros_ = interChar;
        } else {
            // The attempt was abandoned (AbortTransaction, the port given up): nothing is
            // recorded for it, but it is no success either.
            lastResult_ = Aborted;
            report(NotSentRow(described, kGivenUpText), true);
            if (!IsPortOpen()) {
                AppendTrafficLog("\r\nError");
                return finish(kTransactionFailed);
            }
        }
        AppendTrafficLog("\r\n\r\n");
    }
    attempts_ = retries_;
    SetState(IsPortOpen() ? Idle : PortClosed);
    return finish(kTransactionFailed);
}

} // namespace vantrel::modbus
