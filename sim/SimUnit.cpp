#include "sim/SimUnit.h"

#include "modbus/ModbusCodec.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace vantrel::sim {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Register 1271 holds 0 for 8 data bits, 1 for 7.
int DataBitsFromRegister(uint16_t value) {
    return value == 1 ? 7 : 8;
}
uint16_t DataBitsRegister(int dataBits) {
    return dataBits == 7 ? 1 : 0;
}

struct ModelInfo {
    Model model;
    const char* name;
    uint16_t code;
    char letter;
    bool forcesLogger;
    bool defaultLogger;
};

const ModelInfo kModels[] = {
    {Model::R210P, "R210-P", 210, 'P', false, false},
    {Model::R210A, "R210-A", 210, 'A', false, false},
    {Model::R210U, "R210-U", 210, 'U', false, false},
    {Model::R210PHX, "R210-P-HX", 210, 'P', true, true},
    {Model::R212A, "R212-A", 212, 'A', false, false},
    {Model::R212P, "R212-P", 212, 'P', false, false},
    {Model::Q4200, "Q4200", 2121, 'P', false, true},
    {Model::N0456, "N0456", 456, 'P', false, false},
};

const ModelInfo& Info(Model model) {
    for (const ModelInfo& info : kModels)
        if (info.model == model)
            return info;
    return kModels[0];
}

const int kBauds[kSpeedCount] = {1200, 2400, 4800, 9600, 9600, 19200, 38400};
const char* const kSpeedNames[kSpeedCount] = {"1200",    "2400",  "4800", "9600",
                                              "9600 HP", "19200", "38400"};

// ---- dates: days since 1970-01-01 in the proleptic Gregorian calendar ----

int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t mp = m > 2 ? m - 3 : m + 9;
    const int64_t doy = (153 * mp + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

int DaysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0))
        return 29;
    return days[m - 1];
}

int64_t EpochSeconds(int y, int mo, int d, int h, int mi, int s) {
    return DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
}

std::string DateTimeText(int64_t epoch) {
    int y, m, d;
    const int64_t days = epoch >= 0 ? epoch / 86400 : (epoch - 86399) / 86400;
    CivilFromDays(days, y, m, d);
    const int64_t secs = epoch - days * 86400;
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d;%02d:%02d:%02d", y, m, d,
                  static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60),
                  static_cast<int>(secs % 60));
    return text;
}

// ---- the register image ----

enum Access : uint8_t { kRead = 1, kWrite = 2, kReadWrite = 3 };

enum class Group : uint8_t {
    Identification, // fixed at power-up
    Configuration,  // back to defaults on a factory reset
    Communication,  // takes effect after the answer
    Process,        // computed or set by the unit itself
    Command,
    LogInterface,
};

enum class Kind : uint8_t {
    Stored,
    LinIndex,
    LinWindow,
    Command,
    FlowRate,
    ResettableTotal,
    AccumulatedTotal,
    UnitTime,
    UnitDate,
    LogListCount,
    LogSelect,
    LogRecordCount,
    LogRecordNumber,
};

constexpr int64_t kNoLimit = -1;

} // namespace

struct SimUnit::Field {
    uint16_t start;
    uint8_t bytes;
    uint8_t access;
    Group group;
    bool needsLogger;
    Kind kind;
    uint64_t initial; // power-up and factory default for stored values
    int64_t min;
    int64_t max;

    int Registers() const { return modbus::RegisterCount(bytes); }
    uint64_t Mask() const { return bytes >= 8 ? ~0ull : (1ull << (8 * bytes)) - 1; }
};

namespace {

using Field = SimUnit::Field;

Field Config(uint16_t start, uint8_t bytes, uint64_t initial, int64_t min = kNoLimit,
             int64_t max = kNoLimit) {
    return {start, bytes, kReadWrite, Group::Configuration, false, Kind::Stored, initial, min, max};
}

Field Comm(uint16_t start, int64_t min, int64_t max) {
    return {start, 1, kReadWrite, Group::Communication, false, Kind::Stored, 0, min, max};
}

Field Ident(uint16_t start, uint8_t bytes) {
    return {start, bytes, kRead, Group::Identification, false, Kind::Stored, 0, kNoLimit, kNoLimit};
}

Field Special(uint16_t start, uint8_t bytes, uint8_t access, Group group, bool logger, Kind kind,
              uint64_t initial = 0, int64_t min = kNoLimit, int64_t max = kNoLimit) {
    return {start, bytes, access, group, logger, kind, initial, min, max};
}

// Reads starting here return a 64-byte text instead of the registers' contents.
constexpr uint16_t kLogName = 8198;
constexpr uint16_t kLogHeader = 8208;
constexpr uint16_t kLogCurrent = 8214;
constexpr uint16_t kLogFirst = 8220;
constexpr uint16_t kLogNext = 8221;
constexpr uint16_t kLogAreaFirst = 8192;
constexpr uint16_t kLogAreaLast = 8239;
constexpr int kLogTextRegisters = kLogTextBytes / 2;

bool IsTextRead(uint16_t reg) {
    return reg == kLogName || reg == kLogHeader || reg == kLogCurrent || reg == kLogFirst ||
           reg == kLogNext;
}

std::vector<Field> BuildFields() {
    std::vector<Field> f = {
        Ident(2, 4),   // serial number, as older masters look for it
        Ident(160, 2), // model code
        Ident(162, 4), // firmware version
        Ident(165, 4), // serial number
        Ident(173, 1), // variant letter

        Config(14, 2, 0), // comm delay
        Config(1051, 1, 0, 0, 2),
        Config(32, 1, 3),
        Config(33, 1, 1),
        Config(37, 1, 1),
        Config(34, 3, 123456), // K-factor / span
        Config(47, 1, 0),
        Config(48, 1, 1),
        Config(49, 1, 0),
        Config(50, 1, 2),
        Config(54, 1, 0),
        Config(51, 3, 10000),
        Config(55, 1, 0),
        Config(56, 2, 100),
        Config(64, 1, 0),
        Config(80, 1, 0),
        Config(67, 1, 1),
        Config(58, 1, 0),
        Config(59, 4, 1000000),
        Config(96, 1, 0),
        Config(1050, 1, 0),
        Config(1049, 1, 1),
        Config(1046, 3, 50000),
        Config(98, 1, 0),
        Config(99, 1, 1),
        Config(100, 2, 500),
        Config(102, 1, 0),
        Config(103, 1, 0),
        Config(1038, 1, 0),
        Config(1039, 1, 0),
        Config(112, 1, 0),
        Config(113, 3, 200000),
        Config(116, 3, 100000),
        Config(119, 2, 10),
        Config(120, 2, 20),
        Config(122, 2, 30),
        Config(127, 1, 0),
        Config(128, 1, 0),
        Config(133, 1, 0),
        Config(130, 3, 0),
        Config(168, 2, 0), // password
        Config(139, 1, 0), // keylock
        Config(170, 3, 0), // tag

        Comm(146, kModeOff, kModeAscii),
        Comm(144, 0, kSpeedCount - 1),
        Comm(145, 1, 247),
        Comm(1272, 0, 2),
        Comm(1271, 0, 1),

        // Logger settings: back to defaults on a factory reset like the rest.
        {576, 2, kReadWrite, Group::Configuration, true, Kind::Stored, 60, kNoLimit, kNoLimit},
        {577, 2, kReadWrite, Group::Configuration, true, Kind::Stored, 0, kNoLimit, kNoLimit},
        {578, 2, kReadWrite, Group::Configuration, true, Kind::Stored, 1, kNoLimit, kNoLimit},
        {580, 2, kReadWrite, Group::Configuration, true, Kind::Stored, 0, kNoLimit, kNoLimit},
        Special(176, 3, kReadWrite, Group::Process, true, Kind::UnitTime),
        Special(179, 4, kReadWrite, Group::Process, true, Kind::UnitDate),

        Special(13, 1, kReadWrite, Group::Configuration, false, Kind::LinIndex, 0, 0,
                kLinearisationEntries - 1),
        Special(1024, 6, kReadWrite, Group::Configuration, false, Kind::LinWindow),

        Special(25, 2, kWrite, Group::Command, false, Kind::Command),

        Special(572, 4, kRead, Group::Process, false, Kind::FlowRate),
        Special(566, 6, kReadWrite, Group::Process, false, Kind::ResettableTotal),
        Special(560, 6, kRead, Group::Process, false, Kind::AccumulatedTotal),
        Special(255, 1, kRead, Group::Process, false, Kind::Stored, 1), // battery status
        Special(516, 2, kRead, Group::Process, false, Kind::Stored, 0), // error status

        Special(8192, 1, kRead, Group::LogInterface, true, Kind::LogListCount),
        Special(8193, 1, kReadWrite, Group::LogInterface, true, Kind::LogSelect),
        Special(8194, 2, kRead, Group::LogInterface, true, Kind::LogRecordCount),
        Special(8196, 2, kReadWrite, Group::LogInterface, true, Kind::LogRecordNumber),
    };
    // The rest of the logger's window holds plain registers (a read starting at a text
    // address is still the text read).
    for (int reg = kLogAreaFirst; reg <= kLogAreaLast; ++reg) {
        bool taken = false;
        for (const Field& field : f)
            taken = taken || (reg >= field.start && reg < field.start + field.Registers());
        if (!taken)
            f.push_back(Special(static_cast<uint16_t>(reg), 2, kReadWrite, Group::LogInterface,
                                true, Kind::Stored));
    }
    return f;
}

struct FieldTable {
    std::vector<Field> fields;
    std::vector<int16_t> index; // per register: position in fields, -1 if absent

    FieldTable() : fields(BuildFields()), index(65536, -1) {
        for (size_t i = 0; i < fields.size(); ++i)
            for (int k = 0; k < fields[i].Registers(); ++k)
                index[fields[i].start + k] = static_cast<int16_t>(i);
    }
};

const FieldTable& Table() {
    static const FieldTable table;
    return table;
}

uint64_t Compose(const uint16_t* regs, int count, uint64_t mask) {
    uint64_t value = 0;
    for (int k = 0; k < count; ++k)
        value = value << 16 | regs[k];
    return value & mask;
}

} // namespace

// ---- free functions ----

bool ParseModel(std::string_view name, Model& out) {
    for (const ModelInfo& info : kModels)
        if (name == info.name) {
            out = info.model;
            return true;
        }
    return false;
}

const char* ModelName(Model model) {
    return Info(model).name;
}
std::vector<Model> AllModels() {
    std::vector<Model> models;
    for (const ModelInfo& info : kModels)
        models.push_back(info.model);
    return models;
}
uint16_t ModelCode(Model model) {
    return Info(model).code;
}
char VariantLetter(Model model) {
    return Info(model).letter;
}
bool ModelForcesLogger(Model model) {
    return Info(model).forcesLogger;
}
bool ModelDefaultLogger(Model model) {
    return Info(model).defaultLogger;
}

int BaudForIndex(int index) {
    return index >= 0 && index < kSpeedCount ? kBauds[index] : 0;
}
int IndexForBaud(int baud) {
    for (int i = 0; i < kSpeedCount; ++i)
        if (kBauds[i] == baud)
            return i;
    return -1;
}
const char* SpeedName(int index) {
    return index >= 0 && index < kSpeedCount ? kSpeedNames[index] : "";
}

int CommSettings::Framing() const {
    if (mode == kModeRtu)
        return modbus::kFramingRtu;
    if (mode == kModeAscii)
        return modbus::kFramingAscii;
    return -1;
}
int CommSettings::Baud() const {
    return BaudForIndex(baudIndex);
}
int CommSettings::BitsPerCharacter() const {
    return 1 + dataBits + (parity != 0 ? 1 : 0) + stopBits;
}

// ---- SimUnit ----

SimUnit::SimUnit(const UnitOptions& options)
    : options_(options), regs_(65536, 0), clockStart_(Clock::now()) {
    options_.serial &= 0xFFFFFF;
    CommSettings& comm = options_.comm;
    if (comm.address < 1 || comm.address > 247)
        comm.address = 1;
    if (comm.mode < kModeOff || comm.mode > kModeAscii)
        comm.mode = kModeRtu;
    if (comm.baudIndex < 0 || comm.baudIndex >= kSpeedCount)
        comm.baudIndex = kSpeed9600;
    if (comm.parity < 0 || comm.parity > 2)
        comm.parity = 0;
    if (comm.dataBits != 7)
        comm.dataBits = 8;
    if (comm.stopBits != 2)
        comm.stopBits = 1;
    logger_ = ModelForcesLogger(options_.model) ||
              options_.logger.value_or(ModelDefaultLogger(options_.model));
    options_.logger = logger_;

    regs_[2] = regs_[165] = static_cast<uint16_t>(options_.serial >> 16);
    regs_[3] = regs_[166] = static_cast<uint16_t>(options_.serial & 0xFFFF);
    regs_[160] = ModelCode(options_.model);
    regs_[162] = static_cast<uint16_t>(options_.firmware >> 16);
    regs_[163] = static_cast<uint16_t>(options_.firmware & 0xFFFF);
    regs_[173] = static_cast<uint8_t>(VariantLetter(options_.model));
    for (const Field& field : Table().fields)
        if (field.group == Group::Process && field.kind == Kind::Stored)
            StoreRaw(field, field.initial);

    LoadDefaults();
    WriteCommRegisters(options_.comm);
    active_ = options_.comm;

    if (options_.logRecords.empty())
        options_.logRecords.push_back(0);
    for (size_t i = 0; i < options_.logRecords.size(); ++i) {
        static const char* const names[][2] = {{"RUNTIME LIST", "DATE;TIME;FLOWRATE;TOTAL"},
                                               {"EVENT LIST", "DATE;TIME;EVENT"},
                                               {"ALARM LIST", "DATE;TIME;ALARM"}};
        LogList list;
        if (i < 3) {
            list.name = names[i][0];
            list.header = names[i][1];
        } else {
            list.name = "LIST " + std::to_string(i + 1);
            list.header = names[0][1];
        }
        logs_.push_back(std::move(list));
        GenerateRecords(static_cast<int>(i), options_.logRecords[i]);
    }

    accumulatedBase_ = 123456789; // 12345678.9
    resettableOffset_ = 456789 - accumulatedBase_;
    dateTimeBase_ = EpochSeconds(2026, 12, 10, 11, 0, 0);
}

const SimUnit::Field* SimUnit::FieldAt(uint16_t reg) const {
    const int16_t i = Table().index[reg];
    return i < 0 ? nullptr : &Table().fields[i];
}

bool SimUnit::Present(const Field& field) const {
    return logger_ || !field.needsLogger;
}

void SimUnit::StoreRaw(const Field& field, uint64_t value) {
    value &= field.Mask();
    for (int k = field.Registers() - 1; k >= 0; --k) {
        regs_[field.start + k] = static_cast<uint16_t>(value & 0xFFFF);
        value >>= 16;
    }
}

uint64_t SimUnit::FieldValue(const Field& field) const {
    switch (field.kind) {
    case Kind::Stored:
    case Kind::LinIndex:
        return Compose(&regs_[field.start], field.Registers(), field.Mask());
    case Kind::LinWindow: {
        const int entry = std::min<int>(regs_[13], kLinearisationEntries - 1);
        return static_cast<uint64_t>(linFactor_[entry]) << 24 | linFrequency_[entry];
    }
    case Kind::Command:
        return 0;
    case Kind::FlowRate: {
        const double t = ProcessSeconds();
        double flow = flowBase_;
        if (flowPeriod_ > 0)
            flow += flowAmplitude_ * std::sin(2 * kPi * t / flowPeriod_);
        return static_cast<uint64_t>(std::clamp(flow, 0.0, 4294967295.0));
    }
    case Kind::AccumulatedTotal:
    case Kind::ResettableTotal: {
        double total = std::floor(AccumulatedAt(ProcessSeconds()));
        if (field.kind == Kind::ResettableTotal)
            total += resettableOffset_;
        return static_cast<uint64_t>(std::clamp(total, 0.0, 281474976710655.0));
    }
    case Kind::UnitTime:
    case Kind::UnitDate: {
        const int64_t now = UnitDateTime();
        const int64_t days = now / 86400;
        if (field.kind == Kind::UnitTime) {
            const int64_t s = now - days * 86400;
            return static_cast<uint64_t>(s / 3600 * 10000 + s / 60 % 60 * 100 + s % 60);
        }
        int y, m, d;
        CivilFromDays(days, y, m, d);
        return static_cast<uint64_t>((y % 100) * 10000 + m * 100 + d);
    }
    case Kind::LogListCount:
        return logs_.size();
    case Kind::LogSelect:
        return static_cast<uint64_t>(selectedList_);
    case Kind::LogRecordCount:
        return logs_[selectedList_].records.size();
    case Kind::LogRecordNumber: {
        const int count = static_cast<int>(logs_[selectedList_].records.size());
        return position_ >= 0 && position_ < count ? static_cast<uint64_t>(position_ + 1) : 0;
    }
    }
    return 0;
}

uint16_t SimUnit::RegisterLocked(uint16_t reg) const {
    const Field* field = FieldAt(reg);
    if (!field)
        return regs_[reg];
    if (field->kind == Kind::Stored)
        return regs_[reg];
    const int shift = 16 * (field->Registers() - 1 - (reg - field->start));
    return static_cast<uint16_t>(FieldValue(*field) >> shift);
}

std::optional<Message> SimUnit::Exception(uint8_t address, uint8_t function, uint8_t code) {
    ++counters_.answered;
    ++counters_.exceptions;
    return Message{address, static_cast<uint8_t>(function | 0x80), code};
}

std::optional<Message> SimUnit::Read(uint8_t address, uint16_t start, int count) {
    Message response{address, modbus::kFunctionRead, static_cast<uint8_t>(2 * count)};
    if (logger_ && IsTextRead(start)) {
        if (count > kLogTextRegisters)
            return Exception(address, modbus::kFunctionRead, 3);
        const std::string text = LogText(start);
        for (int i = 0; i < 2 * count; ++i)
            response.push_back(i < static_cast<int>(text.size()) ? static_cast<uint8_t>(text[i])
                                                                 : 0);
        ++counters_.answered;
        return response;
    }
    if (start + count > 65536)
        return Exception(address, modbus::kFunctionRead, 2);
    for (int r = start; r < start + count; ++r) {
        const Field* field = FieldAt(static_cast<uint16_t>(r));
        if (!field || !Present(*field) || !(field->access & kRead))
            return Exception(address, modbus::kFunctionRead, 2);
    }
    for (int r = start; r < start + count; ++r) {
        const uint16_t value = RegisterLocked(static_cast<uint16_t>(r));
        response.push_back(static_cast<uint8_t>(value >> 8));
        response.push_back(static_cast<uint8_t>(value & 0xFF));
    }
    ++counters_.answered;
    return response;
}

int SimUnit::CheckFieldWrite(const Field& field, uint64_t value) const {
    if (field.min != kNoLimit && static_cast<int64_t>(value) < field.min)
        return 3;
    if (field.max != kNoLimit && static_cast<int64_t>(value) > field.max)
        return 3;
    switch (field.kind) {
    case Kind::Command:
        return value == kCommandRestart || value == kCommandFactoryReset ? 0 : 3;
    case Kind::ResettableTotal:
        return value == 0 ? 0 : 3; // the total can only be cleared
    case Kind::UnitTime:
        return value / 10000 < 24 && value / 100 % 100 < 60 && value % 100 < 60 ? 0 : 3;
    case Kind::UnitDate: {
        const int yy = static_cast<int>(value / 10000);
        const int mm = static_cast<int>(value / 100 % 100);
        const int dd = static_cast<int>(value % 100);
        if (yy > 99 || mm < 1 || mm > 12 || dd < 1 || dd > DaysInMonth(2000 + yy, mm))
            return 3;
        return 0;
    }
    case Kind::LogSelect:
        return value < logs_.size() ? 0 : 3;
    case Kind::LogRecordNumber:
        return value <= logs_[selectedList_].records.size() ? 0 : 3;
    default:
        return 0;
    }
}

void SimUnit::ApplyFieldWrite(const Field& field, uint64_t value) {
    switch (field.kind) {
    case Kind::Stored:
    case Kind::LinIndex:
        StoreRaw(field, value);
        break;
    case Kind::LinWindow: {
        const int entry = std::min<int>(regs_[13], kLinearisationEntries - 1);
        linFactor_[entry] = static_cast<uint32_t>(value >> 24 & 0xFFFFFF);
        linFrequency_[entry] = static_cast<uint32_t>(value & 0xFFFFFF);
        break;
    }
    case Kind::Command:
        // The answer goes out first; the unit goes quiet once it has (AnswerSent).
        rebootPending_ = true;
        selectedList_ = 0;
        position_ = -1;
        if (value == kCommandFactoryReset) {
            ++counters_.factoryResets;
            ResetToFactory();
        } else {
            ++counters_.restarts;
        }
        break;
    case Kind::ResettableTotal:
        resettableOffset_ = -std::floor(AccumulatedAt(ProcessSeconds()));
        break;
    case Kind::UnitTime: {
        const int64_t now = UnitDateTime();
        const int64_t day = now / 86400 * 86400;
        SetUnitDateTime(day + static_cast<int64_t>(value / 10000 * 3600 + value / 100 % 100 * 60 +
                                                   value % 100));
        break;
    }
    case Kind::UnitDate: {
        const int64_t now = UnitDateTime();
        const int64_t secondOfDay = now % 86400;
        const int64_t days =
            DaysFromCivil(2000 + static_cast<int>(value / 10000),
                          static_cast<int>(value / 100 % 100), static_cast<int>(value % 100));
        SetUnitDateTime(days * 86400 + secondOfDay);
        break;
    }
    case Kind::LogSelect:
        selectedList_ = static_cast<int>(value);
        position_ = -1;
        break;
    case Kind::LogRecordNumber:
        position_ = static_cast<int>(value) - 1;
        break;
    default:
        break;
    }
}

int SimUnit::Write(uint16_t start, const std::vector<uint16_t>& values) {
    const int count = static_cast<int>(values.size());
    if (start + count > 65536)
        return 2;
    for (int r = start; r < start + count; ++r) {
        const Field* field = FieldAt(static_cast<uint16_t>(r));
        if (!field || !Present(*field) || !(field->access & kWrite))
            return 2;
    }
    // Each field touched gets its whole new value checked before anything changes: a write
    // is carried out entirely or not at all.
    std::vector<std::pair<const Field*, uint64_t>> changes;
    for (int r = start; r < start + count;) {
        const Field* field = FieldAt(static_cast<uint16_t>(r));
        uint16_t regs[4] = {};
        for (int k = 0; k < field->Registers(); ++k) {
            const int reg = field->start + k;
            regs[k] = reg >= start && reg < start + count
                          ? values[reg - start]
                          : RegisterLocked(static_cast<uint16_t>(reg));
        }
        const uint64_t value = Compose(regs, field->Registers(), field->Mask());
        if (const int code = CheckFieldWrite(*field, value))
            return code;
        changes.emplace_back(field, value);
        r = field->start + field->Registers();
    }
    bool comm = false;
    for (const auto& [field, value] : changes) {
        if (ignoredWrites_ && field->start == *ignoredWrites_)
            continue;
        ApplyFieldWrite(*field, value);
        comm = comm || field->group == Group::Communication;
    }
    if (comm)
        pendingComm_ = CommFromRegisters();
    return 0;
}

std::string SimUnit::LogText(uint16_t function) {
    const LogList& list = logs_[selectedList_];
    const int count = static_cast<int>(list.records.size());
    switch (function) {
    case kLogName:
        return list.name;
    case kLogHeader:
        return list.header;
    case kLogFirst:
        position_ = 0;
        break;
    case kLogNext:
        position_ = position_ < 0 ? 0 : std::min(position_ + 1, count);
        break;
    default:
        break;
    }
    return position_ >= 0 && position_ < count ? list.records[position_] : kNoRecordText;
}

void SimUnit::ApplyPending() {
    if (pendingComm_) {
        active_ = *pendingComm_;
        pendingComm_.reset();
    }
    if (rebootPending_) {
        rebootPending_ = false;
        silentUntil_ = Clock::now() + options_.rebootSilence;
    }
}

void SimUnit::LoadDefaults() {
    for (const Field& field : Table().fields)
        if (field.group == Group::Configuration && field.kind == Kind::Stored)
            StoreRaw(field, field.initial);
    regs_[13] = 0;
    for (int i = 0; i < kLinearisationEntries; ++i) {
        linFrequency_[i] = static_cast<uint32_t>(500 * (i + 1)); // 50.0 Hz steps
        linFactor_[i] = static_cast<uint32_t>(1000000 + 2500 * i);
    }
}

// The line settings go back to 9600 8N1 RTU, but the address stays: a unit in a multi-drop
// loop must stay reachable where it was.
void SimUnit::ResetToFactory() {
    LoadDefaults();
    CommSettings comm = CommFromRegisters();
    comm.mode = kModeRtu;
    comm.baudIndex = kSpeed9600;
    comm.parity = 0;
    comm.dataBits = 8;
    comm.stopBits = 1;
    WriteCommRegisters(comm);
    pendingComm_ = comm;
}

void SimUnit::WriteCommRegisters(const CommSettings& comm) {
    regs_[145] = comm.address;
    regs_[146] = static_cast<uint16_t>(comm.mode);
    regs_[144] = static_cast<uint16_t>(comm.baudIndex);
    regs_[1272] = static_cast<uint16_t>(comm.parity);
    regs_[1271] = DataBitsRegister(comm.dataBits);
}

CommSettings SimUnit::CommFromRegisters() const {
    CommSettings comm;
    comm.address = static_cast<uint8_t>(regs_[145]);
    comm.mode = regs_[146];
    comm.baudIndex = regs_[144];
    comm.parity = regs_[1272];
    comm.dataBits = DataBitsFromRegister(regs_[1271]);
    comm.stopBits = active_.stopBits;
    return comm;
}

void SimUnit::GenerateRecords(int index, int count) {
    LogList& list = logs_[index];
    list.records.clear();
    list.records.reserve(static_cast<size_t>(count));
    const int64_t start = EpochSeconds(2026, 12, 10, 11, 0, 0);
    static const char* const events[] = {"POWER ON", "CONFIG CHANGED", "TOTAL RESET", "BATTERY LOW",
                                         "POWER OFF"};
    static const char* const alarms[] = {"FLOW HIGH", "FLOW LOW", "SENSOR"};
    char text[80];
    for (int i = 0; i < count; ++i) {
        const std::string when = DateTimeText(start + (index == 0 ? 3600ll : 300ll) * i);
        if (index == 1) {
            std::snprintf(text, sizeof text, "%s;%s", when.c_str(), events[i % 5]);
        } else if (index == 2) {
            std::snprintf(text, sizeof text, "%s;%s", when.c_str(), alarms[i % 3]);
        } else {
            const int tenths = 1234 + (i * 37) % 500;
            std::snprintf(text, sizeof text, "%s;%07d.%d;%08d", when.c_str(), tenths / 10,
                          tenths % 10, 45678 + 125 * i);
        }
        list.records.emplace_back(text);
    }
}

double SimUnit::ProcessSeconds() const {
    if (snapshot_)
        return *snapshot_;
    if (manualClock_)
        return manualSeconds_;
    return std::chrono::duration<double>(Clock::now() - clockStart_).count();
}

double SimUnit::AccumulatedAt(double t) const {
    const double t0 = profileStart_;
    double integral = static_cast<double>(flowBase_) * (t - t0);
    if (flowPeriod_ > 0) {
        const double w = 2 * kPi / flowPeriod_;
        integral += flowAmplitude_ / w * (std::cos(w * t0) - std::cos(w * t));
    }
    return accumulatedBase_ + integral / 3600.0;
}

int64_t SimUnit::UnitDateTime() const {
    return dateTimeBase_ + static_cast<int64_t>(std::floor(ProcessSeconds() - dateTimeRef_));
}

void SimUnit::SetUnitDateTime(int64_t epochSeconds) {
    dateTimeBase_ = epochSeconds;
    dateTimeRef_ = ProcessSeconds();
}

// ---- public ----

// One time for all the values of a request: a multi-register total read while the clock
// runs must not tear between its registers.
struct SimUnit::Freeze {
    const SimUnit& unit;
    explicit Freeze(const SimUnit& u) : unit(u) { unit.snapshot_ = unit.ProcessSeconds(); }
    ~Freeze() { unit.snapshot_.reset(); }
};

std::optional<Message> SimUnit::Handle(const uint8_t* m, size_t length) {
    std::lock_guard lock(mutex_);
    Freeze freeze(*this);
    ApplyPending();
    if (!m || length < 2 || active_.mode == kModeOff || Clock::now() < silentUntil_) {
        ++counters_.ignored;
        return std::nullopt;
    }
    const uint8_t address = m[0];
    const uint8_t function = m[1];
    const bool broadcast = address == 0;
    if (!broadcast && address != active_.address) {
        ++counters_.ignored;
        return std::nullopt;
    }
    ++counters_.requests;
    if (broadcast)
        ++counters_.broadcasts;

    if (function == modbus::kFunctionRead) {
        ++counters_.reads;
        if (broadcast)
            return std::nullopt; // nobody may answer a broadcast, so nothing to read
        if (length != 6)
            return Exception(address, function, 3);
        const uint16_t start = static_cast<uint16_t>(m[2] << 8 | m[3]);
        const int count = m[4] << 8 | m[5];
        if (count < 1 || count > 127)
            return Exception(address, function, 3);
        if (TakeFailure(function, start))
            return Exception(address, function, 4);
        return Read(address, start, count);
    }

    if (function == modbus::kFunctionWrite) {
        ++counters_.writes;
        WriteRecord record;
        record.address = address;
        int code = 0;
        if (length < 7) {
            code = 3;
        } else {
            record.reg = static_cast<uint16_t>(m[2] << 8 | m[3]);
            const int count = m[4] << 8 | m[5];
            const size_t bytes = m[6];
            for (size_t i = 7; i + 1 < length; i += 2)
                record.values.push_back(static_cast<uint16_t>(m[i] << 8 | m[i + 1]));
            if (count < 1 || count > 127 || bytes != 2u * count || length != 7 + bytes)
                code = 3;
            else if (!broadcast && TakeFailure(function, record.reg))
                code = 4;
            else
                code = Write(record.reg, record.values);
        }
        record.exceptionCode = code;
        writes_.push_back(record);
        if (broadcast) {
            ApplyPending(); // no answer to wait for
            return std::nullopt;
        }
        if (code)
            return Exception(address, function, static_cast<uint8_t>(code));
        ++counters_.answered;
        return Message(m, m + 6);
    }

    if (broadcast)
        return std::nullopt;
    return Exception(address, function, 1);
}

bool SimUnit::Addressed(const uint8_t* m, size_t length) const {
    std::lock_guard lock(mutex_);
    if (!m || length < 2 || rebootPending_ || Clock::now() < silentUntil_)
        return false;
    const CommSettings& comm = pendingComm_ ? *pendingComm_ : active_;
    return comm.mode != kModeOff && m[0] != 0 && m[0] == comm.address;
}

void SimUnit::AnswerSent() {
    std::lock_guard lock(mutex_);
    ApplyPending();
}

CommSettings SimUnit::Comm() const {
    std::lock_guard lock(mutex_);
    return active_;
}

CommSettings SimUnit::StoredComm() const {
    std::lock_guard lock(mutex_);
    return CommFromRegisters();
}

void SimUnit::SetComm(const CommSettings& comm) {
    std::lock_guard lock(mutex_);
    WriteCommRegisters(comm);
    active_ = CommFromRegisters();
    active_.stopBits = comm.stopBits == 2 ? 2 : 1;
    pendingComm_.reset();
}

UnitOptions SimUnit::Options() const {
    std::lock_guard lock(mutex_);
    return options_;
}
Model SimUnit::GetModel() const {
    return options_.model;
}
uint32_t SimUnit::Serial() const {
    return options_.serial;
}
uint32_t SimUnit::Firmware() const {
    return options_.firmware;
}
bool SimUnit::HasLogger() const {
    return logger_;
}

bool SimUnit::Holds(uint16_t reg) const {
    std::lock_guard lock(mutex_);
    const Field* field = FieldAt(reg);
    return field && Present(*field);
}

uint16_t SimUnit::Register(uint16_t reg) const {
    std::lock_guard lock(mutex_);
    Freeze freeze(*this);
    return RegisterLocked(reg);
}

bool SimUnit::SetRegister(uint16_t reg, uint16_t value) {
    std::lock_guard lock(mutex_);
    const Field* field = FieldAt(reg);
    if (!field || !Present(*field))
        return false;
    switch (field->kind) {
    case Kind::Stored:
    case Kind::LinIndex:
        if ((field->min != kNoLimit && value < field->min) ||
            (field->max != kNoLimit && value > field->max))
            return false;
        regs_[reg] = value;
        StoreRaw(*field, Compose(&regs_[field->start], field->Registers(), field->Mask()));
        if (field->group == Group::Communication) {
            active_ = CommFromRegisters();
            pendingComm_.reset();
        }
        return true;
    case Kind::LinWindow: {
        uint16_t regs[3];
        for (int k = 0; k < 3; ++k)
            regs[k] = RegisterLocked(static_cast<uint16_t>(field->start + k));
        regs[reg - field->start] = value;
        ApplyFieldWrite(*field, Compose(regs, 3, field->Mask()));
        return true;
    }
    case Kind::LogSelect:
    case Kind::LogRecordNumber:
        if (CheckFieldWrite(*field, value))
            return false;
        ApplyFieldWrite(*field, value);
        return true;
    default:
        return false;
    }
}

uint64_t SimUnit::Value(uint16_t reg, int byteCount) const {
    std::lock_guard lock(mutex_);
    Freeze freeze(*this);
    const int registers = modbus::RegisterCount(std::clamp(byteCount, 1, 8));
    uint64_t value = 0;
    for (int k = 0; k < registers; ++k)
        value = value << 16 | RegisterLocked(static_cast<uint16_t>(reg + k));
    return byteCount >= 8 ? value : value & ((1ull << (8 * byteCount)) - 1);
}

bool SimUnit::SetValue(uint16_t reg, int byteCount, uint64_t value) {
    if (byteCount < 1 || byteCount > 8)
        return false;
    const int registers = modbus::RegisterCount(byteCount);
    bool ok = true;
    for (int k = 0; k < registers; ++k) {
        const int shift = 16 * (registers - 1 - k);
        ok = SetRegister(static_cast<uint16_t>(reg + k), static_cast<uint16_t>(value >> shift)) &&
             ok;
    }
    return ok;
}

std::vector<WriteRecord> SimUnit::Writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
}
void SimUnit::ClearWrites() {
    std::lock_guard lock(mutex_);
    writes_.clear();
}
UnitCounters SimUnit::Counters() const {
    std::lock_guard lock(mutex_);
    return counters_;
}
void SimUnit::ResetCounters() {
    std::lock_guard lock(mutex_);
    counters_ = {};
}

void SimUnit::FailReads(uint16_t reg, int count) {
    std::lock_guard lock(mutex_);
    SetFailures(modbus::kFunctionRead, reg, count);
}

void SimUnit::FailWrites(uint16_t reg, int count) {
    std::lock_guard lock(mutex_);
    SetFailures(modbus::kFunctionWrite, reg, count);
}

void SimUnit::IgnoreWrites(std::optional<uint16_t> reg) {
    std::lock_guard lock(mutex_);
    ignoredWrites_ = reg;
}

void SimUnit::SetFailures(uint8_t function, uint16_t reg, int count) {
    for (FailingRequests& entry : failing_)
        if (entry.function == function && entry.reg == reg) {
            entry.left = count;
            return;
        }
    failing_.push_back({function, reg, count});
}

bool SimUnit::TakeFailure(uint8_t function, uint16_t reg) {
    for (FailingRequests& entry : failing_)
        if (entry.function == function && entry.reg == reg && entry.left > 0) {
            --entry.left;
            return true;
        }
    return false;
}

uint32_t SimUnit::LinearisationFactor(int entry) const {
    std::lock_guard lock(mutex_);
    return entry >= 0 && entry < kLinearisationEntries ? linFactor_[entry] : 0;
}
uint32_t SimUnit::LinearisationFrequency(int entry) const {
    std::lock_guard lock(mutex_);
    return entry >= 0 && entry < kLinearisationEntries ? linFrequency_[entry] : 0;
}
bool SimUnit::SetLinearisation(int entry, uint32_t factor, uint32_t frequency) {
    std::lock_guard lock(mutex_);
    if (entry < 0 || entry >= kLinearisationEntries || factor > 0xFFFFFF || frequency > 0xFFFFFF)
        return false;
    linFactor_[entry] = factor;
    linFrequency_[entry] = frequency;
    return true;
}

int SimUnit::LogListCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(logs_.size());
}
LogList SimUnit::GetLogList(int index) const {
    std::lock_guard lock(mutex_);
    return index >= 0 && index < static_cast<int>(logs_.size()) ? logs_[index] : LogList{};
}
bool SimUnit::SetLogList(int index, LogList list) {
    std::lock_guard lock(mutex_);
    if (index < 0 || index > static_cast<int>(logs_.size()) || index > 255 ||
        list.records.size() > 65535)
        return false;
    if (index == static_cast<int>(logs_.size()))
        logs_.push_back(std::move(list));
    else
        logs_[index] = std::move(list);
    position_ = -1;
    return true;
}
bool SimUnit::SetLogRecordCount(int index, int count) {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(logs_.size()) || count < 0 || count > 65535)
        return false;
    GenerateRecords(index, count);
    position_ = -1;
    return true;
}

void SimUnit::SetFlowProfile(uint32_t base, uint32_t amplitude, double periodSeconds) {
    std::lock_guard lock(mutex_);
    const double now = ProcessSeconds();
    accumulatedBase_ = AccumulatedAt(now);
    profileStart_ = now;
    flowBase_ = base;
    flowAmplitude_ = std::min(amplitude, base);
    flowPeriod_ = periodSeconds;
}

void SimUnit::SetTotals(uint64_t accumulated, uint64_t resettable) {
    std::lock_guard lock(mutex_);
    accumulatedBase_ = static_cast<double>(accumulated);
    profileStart_ = ProcessSeconds();
    resettableOffset_ = static_cast<double>(resettable) - static_cast<double>(accumulated);
}

uint32_t SimUnit::FlowRate() const {
    std::lock_guard lock(mutex_);
    return static_cast<uint32_t>(FieldValue(*FieldAt(572)));
}
uint64_t SimUnit::AccumulatedTotal() const {
    std::lock_guard lock(mutex_);
    return FieldValue(*FieldAt(560));
}
uint64_t SimUnit::ResettableTotal() const {
    std::lock_guard lock(mutex_);
    return FieldValue(*FieldAt(566));
}

void SimUnit::UseManualClock(bool manual) {
    std::lock_guard lock(mutex_);
    if (manual == manualClock_)
        return;
    if (manual) {
        manualSeconds_ = ProcessSeconds();
        manualClock_ = true;
    } else {
        clockStart_ = Clock::now() - std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(manualSeconds_));
        manualClock_ = false;
    }
}

void SimUnit::AdvanceClock(std::chrono::milliseconds step) {
    std::lock_guard lock(mutex_);
    if (manualClock_)
        manualSeconds_ += std::chrono::duration<double>(step).count();
    else
        clockStart_ -= step;
}

void SimUnit::SetRebootSilence(std::chrono::milliseconds silence) {
    std::lock_guard lock(mutex_);
    options_.rebootSilence = silence;
}

bool SimUnit::Rebooting() const {
    std::lock_guard lock(mutex_);
    return rebootPending_ || Clock::now() < silentUntil_;
}

void SimUnit::EndReboot() {
    std::lock_guard lock(mutex_);
    if (pendingComm_) {
        active_ = *pendingComm_;
        pendingComm_.reset();
    }
    rebootPending_ = false;
    silentUntil_ = {};
}

void SimUnit::FactoryReset() {
    std::lock_guard lock(mutex_);
    ResetToFactory();
    if (pendingComm_) {
        active_ = *pendingComm_;
        pendingComm_.reset();
    }
}

} // namespace vantrel::sim
