#include "device/UnitIdentity.h"

#include "common/Device.h"
#include "modbus/ModbusResult.h"

namespace vantrel::device {

namespace {

uint64_t FromBytes(const uint8_t* bytes, int count) {
    uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

constexpr uint16_t kModelCodeRegister = 160;
constexpr uint16_t kVariantRegister = 173;
constexpr uint16_t kVersionRegister = 162;
// A unit without a data logger refuses this register.
constexpr uint16_t kLoggerRegister = 8208;

} // namespace

std::string ModelCodeText(uint32_t code) {
    return code < 1000 ? PaddedDigits(code, 3) : std::to_string(code);
}

std::string ModelName(uint32_t code, char variant, bool hasLog) {
    std::string model = "R" + ModelCodeText(code) + "-" + std::string(1, variant);
    if (hasLog)
        model += "-HX";
    if (model == "R2121-P-HX")
        model = "Q4200";
    return model;
}

bool ReadSerialNumber(modbus::TModThread& worker, uint8_t address, int32_t& serial) {
    uint8_t bytes[8] = {};
    if (worker.ReadRegisters(bytes, address, kSerialNumberRegister, kSerialNumberBytes) !=
        modbus::kTransactionDone)
        return false;
    serial = static_cast<int32_t>(FromBytes(bytes, kSerialNumberBytes));
    return true;
}

IdentityRead ReadIdentityAfterSerial(modbus::TModThread& worker,
                                     const std::function<uint8_t()>& address, UnitIdentity& unit) {
    uint8_t codeBytes[8] = {}, variantBytes[8] = {}, versionBytes[8] = {}, logBytes[8] = {};
    const bool read = worker.ReadRegisters(codeBytes, address(), kModelCodeRegister, 2) ==
                          modbus::kTransactionDone &&
                      worker.ReadRegisters(variantBytes, address(), kVariantRegister, 1) ==
                          modbus::kTransactionDone &&
                      worker.ReadRegisters(versionBytes, address(), kVersionRegister, 3) ==
                          modbus::kTransactionDone;
    if (!read)
        return IdentityRead::NoUnit;
    unit.code = static_cast<uint32_t>(FromBytes(codeBytes, 2));
    unit.variant = static_cast<char>(variantBytes[0]);
    unit.version = static_cast<int32_t>(FromBytes(versionBytes, 3));
    unit.hasLog =
        worker.ReadRegisters(logBytes, address(), kLoggerRegister, 4) == modbus::kTransactionDone;
    // A unit without a logger refuses the register; one that did not answer at all (or
    // answered garbled) has told nothing, and a model guessed from that would be wrong.
    if (!unit.hasLog && worker.LastResult() != modbus::ReadingNotPossible)
        return IdentityRead::ModelNotTold;
    unit.model = ModelName(unit.code, unit.variant, unit.hasLog);
    return IdentityRead::Identified;
}

} // namespace vantrel::device
