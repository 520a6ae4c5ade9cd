#pragma once

// A simulated indicator/totaliser as the master sees it over Modbus: a register image, the
// commands, the process values and the data logger. It works on message bytes only
// (address, function, data; no checksum, no framing): SimLink puts it on a line, the unit
// tests drive it directly.
//
// Every member is safe to call from any thread; one mutex guards the whole unit.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::sim {

using Message = std::vector<uint8_t>;

enum class Model { R210P, R210A, R210U, R210PHX, R212A, R212P, Q4200, N0456 };

// "R210-P", "R210-A", "R210-U", "R210-P-HX", "R212-A", "R212-P", "Q4200", "N0456".
bool ParseModel(std::string_view name, Model& out);
const char* ModelName(Model model);
std::vector<Model> AllModels();
uint16_t ModelCode(Model model); // register 160
char VariantLetter(Model model); // low byte of register 173
bool ModelForcesLogger(Model model);
bool ModelDefaultLogger(Model model);

// Register 144 indexes this list: "1200", "2400", "4800", "9600", "9600 HP", "19200", "38400".
constexpr int kSpeedCount = 7;
constexpr int kSpeed9600 = 3;
int BaudForIndex(int index);      // 0 for an index out of range
int IndexForBaud(int baud);       // -1 when the unit has no such speed; 9600 gives 3
const char* SpeedName(int index); // "" for an index out of range

// Register 146.
enum CommMode : int { kModeOff = 0, kModeRtu = 1, kModeAscii = 2 };

struct CommSettings {
    uint8_t address = 1;        // register 145, 1..247
    int mode = kModeRtu;        // register 146
    int baudIndex = kSpeed9600; // register 144
    int parity = 0;             // register 1272: 0 none, 1 even, 2 odd
    int dataBits = 8;           // register 1271: 0 = 8, 1 = 7
    int stopBits = 1;           // no register: a property of the unit

    int Framing() const; // modbus::kFramingRtu / kFramingAscii, -1 when mode is off
    int Baud() const;
    int BitsPerCharacter() const; // start + data + parity + stop
    bool operator==(const CommSettings&) const = default;
};

struct UnitOptions {
    Model model = Model::R210P;
    uint32_t serial = 1234567;  // low 24 bits used
    std::optional<bool> logger; // unset: the model's usual fit; R210-P-HX always has one
    uint32_t firmware = 30105;  // 03:01:05
    CommSettings comm;          // the unit's settings at power-up
    std::chrono::milliseconds rebootSilence{1500};
    // Record counts of the logger's lists: "RUNTIME LIST", "EVENT LIST", "ALARM LIST", then
    // "LIST 4"... At least one list is always there.
    std::vector<int> logRecords{24, 3, 0};
};

// A write request as the unit received it, whether it was carried out or not.
struct WriteRecord {
    uint8_t address = 0; // as addressed: 0 for a broadcast
    uint16_t reg = 0;
    std::vector<uint16_t> values;
    int exceptionCode = 0; // 0: carried out
};

struct UnitCounters {
    uint64_t requests = 0; // addressed to the unit (or broadcast) and heard
    uint64_t answered = 0; // responses produced, exceptions included
    uint64_t exceptions = 0;
    uint64_t reads = 0;
    uint64_t writes = 0;
    uint64_t broadcasts = 0;
    uint64_t ignored = 0; // another address, mode off, rebooting, too short to parse
    uint64_t restarts = 0;
    uint64_t factoryResets = 0;
};

struct LogList {
    std::string name;
    std::string header;
    std::vector<std::string> records;
};

constexpr int kLinearisationEntries = 15;
constexpr int kLogTextBytes = 64;
constexpr char kNoRecordText[] = "NO RECORD FOUND";
constexpr uint16_t kCommandRestart = 0xA50F;      // 42255
constexpr uint16_t kCommandFactoryReset = 0x5AF0; // 23280

class SimUnit {
public:
    explicit SimUnit(const UnitOptions& options = {});
    SimUnit(const SimUnit&) = delete;
    SimUnit& operator=(const SimUnit&) = delete;

    // The response's message bytes for one request, or nothing when the unit stays silent
    // (another address, a broadcast, rebooting, mode off).
    std::optional<Message> Handle(const uint8_t* message, size_t length);
    std::optional<Message> Handle(const Message& message) {
        return Handle(message.data(), message.size());
    }

    // Whether the unit would answer a request with this address now (not a broadcast, the
    // unit's address, mode not off, not rebooting).
    bool Addressed(const uint8_t* message, size_t length) const;

    // The answer to the last request has left (or was lost). Communication settings that the
    // request wrote take effect now and a commanded reboot starts; Handle does the same
    // first thing, for callers that never call this.
    void AnswerSent();

    CommSettings Comm() const;       // what the unit uses on the line now
    CommSettings StoredComm() const; // what its registers hold (ahead of Comm until AnswerSent)
    void SetComm(const CommSettings& comm); // both at once

    UnitOptions Options() const;
    Model GetModel() const;
    uint32_t Serial() const;
    uint32_t Firmware() const;
    bool HasLogger() const;

    // Registers as a read would see them, past the access rules. Process values and the
    // windows are computed as for a read (without moving the log navigation).
    bool Holds(uint16_t reg) const;
    uint16_t Register(uint16_t reg) const;
    // Stores into a register the unit holds. Process values (560-573) and the text reads
    // are computed, not stored: false for those and for registers the unit does not hold.
    // Communication registers take effect at once.
    bool SetRegister(uint16_t reg, uint16_t value);
    // byteCount bytes starting at reg, most significant register first, right-aligned.
    uint64_t Value(uint16_t reg, int byteCount) const;
    bool SetValue(uint16_t reg, int byteCount, uint64_t value);

    std::vector<WriteRecord> Writes() const;
    void ClearWrites();
    UnitCounters Counters() const;
    void ResetCounters();
    // The next `count` reads (writes) that start at reg are refused with exception 4 and not
    // carried out (a fault on one register, where the link's faults take every request).
    void FailReads(uint16_t reg, int count);
    void FailWrites(uint16_t reg, int count);
    // Writes to the value that starts at reg are acknowledged and not carried out: a unit
    // that keeps its old value while it says it took the new one. Nothing: every write is
    // carried out again.
    void IgnoreWrites(std::optional<uint16_t> reg);

    uint32_t LinearisationFactor(int entry) const;
    uint32_t LinearisationFrequency(int entry) const;
    bool SetLinearisation(int entry, uint32_t factor, uint32_t frequency);

    int LogListCount() const;
    LogList GetLogList(int index) const;
    // index may be one past the last list to add one. Navigation goes back to "none".
    bool SetLogList(int index, LogList list);
    // Replaces the records of a list with count generated ones (0..65535).
    bool SetLogRecordCount(int index, int count);

    // Flow rate = base + amplitude * sin(2 pi t / period), in raw register units (0.1 per
    // hour); the totals grow by its integral, in 0.1 units.
    void SetFlowProfile(uint32_t base, uint32_t amplitude, double periodSeconds);
    void SetTotals(uint64_t accumulated, uint64_t resettable);
    uint32_t FlowRate() const;
    uint64_t AccumulatedTotal() const;
    uint64_t ResettableTotal() const;
    // A manual clock stands still but for AdvanceClock; it drives the process values and
    // the logger's date and time. Reboot silence always runs on the real clock.
    void UseManualClock(bool manual);
    void AdvanceClock(std::chrono::milliseconds step);

    void SetRebootSilence(std::chrono::milliseconds silence);
    bool Rebooting() const;
    void EndReboot();
    // What the factory reset command does, without the reboot.
    void FactoryReset();

private:
public:
    struct Field; // one value of the register image (public for the table in SimUnit.cpp)

private:
    struct Freeze;
    using Clock = std::chrono::steady_clock;

    // All below run with mutex_ held.
    const Field* FieldAt(uint16_t reg) const;
    bool Present(const Field& field) const;
    uint64_t FieldValue(const Field& field) const;
    uint16_t RegisterLocked(uint16_t reg) const;
    std::optional<Message> Exception(uint8_t address, uint8_t function, uint8_t code);
    std::optional<Message> Read(uint8_t address, uint16_t start, int count);
    int Write(uint16_t start, const std::vector<uint16_t>& values);
    int CheckFieldWrite(const Field& field, uint64_t value) const;
    void StoreField(const Field& field, uint64_t value);
    void ApplyFieldWrite(const Field& field, uint64_t value);
    void StoreRaw(const Field& field, uint64_t value);
    std::string LogText(uint16_t function);
    void ApplyPending();
    void LoadDefaults();
    void ResetToFactory();
    void WriteCommRegisters(const CommSettings& comm);
    CommSettings CommFromRegisters() const;
    void GenerateRecords(int index, int count);
    double ProcessSeconds() const;
    double AccumulatedAt(double seconds) const;
    int64_t UnitDateTime() const;
    void SetUnitDateTime(int64_t epochSeconds);

    mutable std::mutex mutex_;
    UnitOptions options_;
    bool logger_ = false;
    std::vector<uint16_t> regs_;
    CommSettings active_;
    std::optional<CommSettings> pendingComm_;
    bool rebootPending_ = false;
    Clock::time_point silentUntil_{};

    uint32_t linFactor_[kLinearisationEntries] = {};
    uint32_t linFrequency_[kLinearisationEntries] = {};

    std::vector<LogList> logs_;
    int selectedList_ = 0;
    int position_ = -1; // -1: no record yet; records.size(): past the end

    // Process clock and values.
    Clock::time_point clockStart_;
    bool manualClock_ = false;
    double manualSeconds_ = 0;
    uint32_t flowBase_ = 123456;
    uint32_t flowAmplitude_ = 10000;
    double flowPeriod_ = 60;
    double accumulatedBase_ = 0; // accumulated total at profileStart_
    double profileStart_ = 0;
    double resettableOffset_ = 0; // resettable = accumulated + offset
    int64_t dateTimeBase_ = 0;    // unit date/time (seconds since 1970) at dateTimeRef_
    double dateTimeRef_ = 0;
    mutable std::optional<double> snapshot_; // ProcessSeconds while a request is handled

    std::vector<WriteRecord> writes_;
    UnitCounters counters_;
    struct FailingRequests {
        uint8_t function;
        uint16_t reg;
        int left;
    };
    std::vector<FailingRequests> failing_;
    std::optional<uint16_t> ignoredWrites_;
    bool TakeFailure(uint8_t function, uint16_t reg);
    void SetFailures(uint8_t function, uint16_t reg, int count);
};

} // namespace vantrel::sim
