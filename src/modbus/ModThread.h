#pragma once

// The Modbus master: one worker thread that owns the serial line and carries out one
// transaction at a time. Transactions are called on the GUI thread and block there, keeping
// the user interface alive through the Pump while the worker switches the line to receive
// and reads the response. Results are codes, never exceptions.

#include "host/Pump.h"
#include "modbus/BusMonitor.h"
#include "modbus/LineSettings.h"
#include "modbus/ModbusCodec.h"
#include "modbus/ModbusResult.h"
#include "modbus/SerialLine.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vantrel::modbus {

enum WorkerState : int {
    PortClosed = 0,
    Idle = 1,
    Sending = 2,
    Receiving = 3,
    Received = 4,
    SendFailed = 5,
    NoResponse = 6,
};

// Results of ReadRegisters and WriteRegisters.
constexpr int kTransactionDone = 0;
constexpr int kTransactionNotStarted = 1;
constexpr int kTransactionFailed = 2;

// The multi-line text control the traffic log may be shown in.
class TrafficMemo {
public:
    virtual ~TrafficMemo() = default;
    virtual std::string Text() const = 0;
    virtual void SetText(const std::string& text) = 0;
};

// The bus component that owns the worker and shows its state.
class StatusListener {
public:
    virtual ~StatusListener() = default;
};

class TModThread {
public:
    // The worker starts at once, with no port open. pump and dispatch belong to the GUI thread.
    TModThread(host::Pump& pump, host::GuiDispatch& dispatch,
               std::unique_ptr<SerialLine> line = nullptr);
    ~TModThread();
    TModThread(const TModThread&) = delete;
    TModThread& operator=(const TModThread&) = delete;

    // Function 3. buffer (may be null) receives byteCount bytes, least significant first.
    int ReadRegisters(uint8_t* buffer, uint8_t slaveAddress, uint16_t registerAddress,
                      uint8_t byteCount);
    // Function 16. data holds byteCount bytes, least significant first.
    int WriteRegisters(const uint8_t* data, uint8_t slaveAddress, uint16_t registerAddress,
                       uint8_t byteCount);
    int LastResult() const { return lastResult_; }
    int LastExceptionCode() const { return lastExceptionCode_; }

    // Port numbers map to device paths through the resolver (the port list).
    void SetPortResolver(std::function<std::string(int)> resolver);
    // The numbers of the ports present now, so that AutoOpen need not ask for each of 255.
    void SetPortLister(std::function<std::vector<int>()> lister);
    bool OpenPort(int portNumber, int speed, int dataBits, int parity, int stopBits);
    void ClosePort();
    bool AutoOpen();
    // Why the last OpenPort failed, in words a user can act on; empty after a success.
    std::string LastOpenError() const { return lastOpenError_; }

    void SetSpeed(int index);
    void SetDataBits(int index);
    void SetParity(int index);
    void SetStopBits(int index);
    void SetResponseTimeOut(int ms);
    void SetRtuTimeOut(int ms);
    void SetFraming(int framing) { framing_ = framing; }
    void SetCv700(bool on) { cv700_ = on; }
    void SetRetries(int tries) { retries_ = tries; }
    // After a time-out the next request waits as long again, for a late answer to come and
    // go. A search of the line turns this off: its probes go to a new address each, so a
    // late answer there carries an address no probe waits for and is told apart as such.
    void SetLateAnswerWait(bool on) { lateAnswerWait_ = on; }
    bool LateAnswerWait() const { return lateAnswerWait_; }

    int Speed() const { return line_.speed; }
    int DataBits() const { return line_.dataBits; }
    int Parity() const { return line_.parity; }
    int StopBits() const { return line_.stopBits; }
    int Framing() const { return framing_; }
    bool Cv700() const { return cv700_; }
    int Retries() const { return retries_; }
    int TimeOut() const { return timeOut_; }
    int RtuTimeOut() const { return rtuTimeOut_; }
    bool IsPortOpen() const;
    int PortNumber() const { return portNumber_; }
    std::string ModeString() const { return BuildModeString(line_); }
    CharacterTiming Timing() const { return timing_; }
    bool ManualRts() const { return manualRts_; }
    // Inter-character time-out a reception uses now, in milliseconds.
    int InterCharacterTimeoutMs() const;

    WorkerState State() const { return static_cast<WorkerState>(state_.load()); }
    void SetState(WorkerState state);
    void AbortTransaction();

    void AttachBus(StatusListener* bus);
    StatusListener* Bus() const { return bus_; }
    // Runs on the GUI thread after every state change; the changing thread waits for it.
    void SetStatusCallback(std::function<void()> callback);
    void SetMemo(TrafficMemo* memo);
    void SetMemoRemember(bool on) { memoRemember_ = on; }
    // Every frame of every transaction, as a monitor row, handed to sink (null: none, and no
    // row is made) on the thread that runs the transaction, as each attempt ends. The sink
    // must outlive its attachment.
    void SetTrafficSink(TrafficSink* sink) { sink_ = sink; }
    TrafficSink* TrafficSinkAttached() const { return sink_; }
    // Platform errors (a line setting the port refuses, a write the port did not take):
    // caption and text, shown on the GUI thread without holding up the line.
    void SetPlatformErrorHandler(std::function<void(std::string, std::string)> handler);

    // The port's device went away during a transaction (converter unplugged): the port has
    // been closed, and GoneText says so in words a user can act on. Cleared by OpenPort.
    bool PortGone() const { return portGone_; }
    std::string GoneText() const;
    // Transactions in a row, up to the last one, in which nothing at all came back from the
    // line on any try: a unit that stopped answering, or a cable pulled at the unit.
    int SilentTransactionsInRow() const { return silentInRow_; }
    // The silence the line must have had before a request goes out, and after an answer
    // before it is taken: 3.5 characters (1.75 ms above 19200 baud), in microseconds.
    long long InterFrameMicros() const;

    std::string AttemptsText() const;
    std::string StateText() const;
    std::string ResultText() const;
    const std::string& TrafficLog() const { return trafficLog_; }

private:
    struct Request {
        Frame frame;
        bool write = false;
        uint8_t slave = 0;
        uint16_t reg = 0;
        uint8_t byteCount = 0;
    };
    int Transact(const Request& request, uint8_t* buffer);
    int SendFrame(const Frame& frame);
    void ConfigureLine();
    void ChangeLineSetting(int LineSettings::*field, int index);

    // Worker thread.
    void Run();
    bool HasWork() const;
    // One attempt: the line made quiet, the request written, whatever began before it can
    // have been answered discarded, then the answer.
    void SendAndReceive(unsigned long long attempt);
    bool Settle(unsigned long long attempt);
    // echo: our own request, as a two-wire converter hears it; bytes read after it belong to
    // the answer (they wait in rx_, rxPrefill_ of them).
    bool DiscardUntil(unsigned long long attempt, std::chrono::steady_clock::time_point until,
                      const Frame* echo = nullptr);
    void ReceiveResponse(unsigned long long attempt);
    bool Abandoned(unsigned long long attempt) const;
    // The silence the line must keep before the next request: the inter-frame gap, a whole
    // inter-character time-out after a failed try.
    long long QuietGapMicros() const;
    void NoteDiscarded(const uint8_t* bytes, size_t count);
    void HandleGone();
    // Moves from one state to another only when the attempt is still the current one.
    bool Transition(unsigned long long attempt, WorkerState from, WorkerState to);
    void Publish(WorkerState old, WorkerState now);

    void PlatformError(const std::string& caption, const std::string& text);
    void SetTrafficLog(const std::string& text);
    void AppendTrafficLog(const std::string& text);
    void RefreshMemo(bool emptied);
    bool IsResponseComplete(const uint8_t* bytes, size_t count) const;

    host::Pump& pump_;
    host::GuiDispatch& dispatch_;
    std::unique_ptr<SerialLine> serial_;

    // Shared with the worker thread.
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<int> state_{PortClosed};
    std::atomic<int> runFlag_{0};
    // The frame of the running attempt, handed to the worker with the state Sending.
    Frame txFrame_;
    std::string sendError_;
    std::atomic<unsigned long long> attemptId_{0};
    std::atomic<bool> lineOpen_{false};
    bool terminate_ = false;
    std::atomic<bool> finished_{false};
    std::array<uint8_t, kMaxResponseLength + 16> rx_{};
    size_t rxCount_ = 0;
    size_t rxPrefill_ = 0;                      // worker only
    std::atomic<long long> firstByteMicros_{0}; // limits of the coming reception
    std::atomic<long long> interCharMicros_{0};
    std::atomic<long long> capMicros_{0};
    // Line timing, in steady-clock microseconds: the last byte seen on the line or the end of
    // our last request; the earliest moment the next request may go out (after a time-out:
    // room for a late answer); the silence wanted before it; the end of the running request.
    std::atomic<long long> lastActivityMicros_{0};
    std::atomic<long long> quietUntilMicros_{0};
    std::atomic<long long> settleGapMicros_{0};
    std::atomic<long long> settleCapMicros_{0};
    long long requestEndMicros_ = 0; // worker only
    std::atomic<bool> heardAnything_{false};
    // When the running attempt's request began to go out (steady and system clock, in
    // microseconds; 0: not written), for the monitor's times.
    std::atomic<long long> writeStartMicros_{0};
    std::atomic<long long> writeWallMicros_{0};
    std::mutex discardMutex_;
    std::vector<Frame> discarded_;

    // Settings (GUI thread writes; the worker reads framing and RTS mode).
    LineSettings line_;
    LineMode mode_;
    CharacterTiming timing_;
    std::atomic<int> framing_{kFramingAscii};
    std::atomic<bool> cv700_{false};
    std::atomic<bool> manualRts_{false};
    int retries_ = 3;
    bool lateAnswerWait_ = true;
    int timeOut_ = 500;
    int rtuTimeOut_ = 0;
    int portNumber_ = 0;
    std::function<std::string(int)> resolver_;
    std::function<std::vector<int>()> lister_;
    std::string lastOpenError_;
    std::string openPath_;
    std::atomic<bool> portGone_{false};
    std::string gonePath_;
    int silentInRow_ = 0;

    // Transaction (GUI thread).
    std::atomic<int> lastResult_{None};
    std::atomic<int> lastExceptionCode_{0};
    std::atomic<int> attempts_{0};
    std::string trafficLog_;
    std::string rememberedMemo_;
    TrafficMemo* memo_ = nullptr;
    std::atomic<TrafficSink*> sink_{nullptr};
    bool memoRemember_ = false;
    StatusListener* bus_ = nullptr;

    mutable std::mutex callbackMutex_;
    std::function<void()> statusCallback_;
    std::function<void(std::string, std::string)> errorHandler_;

    std::thread thread_;
};

// The state text of the status bar.
const char* StateText(int state);

} // namespace vantrel::modbus
